// What connect() hands the page: the same promise-based calls on either road, run one at a time.
import { Codes, libraryError } from './errors.js';
import { prepareDocument } from './base64.js';
import { SerialQueue } from './serial.js';

function isAbsent(value) {
  return value === undefined || value === null;
}

// A page's progress callback that throws must not fail the print; its error still reaches the console.
function progressReporter(onProgress, total) {
  return (sent) => {
    if (!onProgress) return;
    try {
      onProgress({ sent, total });
    } catch (error) {
      if (typeof reportError === 'function') reportError(error);
      else setTimeout(() => { throw error; }, 0);
    }
  };
}

export class Printer {
  constructor(road) {
    /** 'plugin' or 'extension': the road connect() took. */
    this.road = road.name;
    this.road_ = road;
    this.queue_ = new SerialQueue();
    this.closed_ = false;
  }

  version() {
    return this.call_(() => this.road_.version());
  }

  printers() {
    return this.call_(() => this.road_.printers());
  }

  macAddresses() {
    return this.call_(() => this.road_.macAddresses());
  }

  print(document, options) {
    const settings = options || {};
    const printer = settings.printer;
    const onProgress = settings.onProgress;
    if (!isAbsent(printer) && typeof printer !== 'string') {
      return Promise.reject(libraryError(Codes.BAD_ARGUMENT, 'bad argument - the printer name must be a string', this.road));
    }
    if (!isAbsent(onProgress) && typeof onProgress !== 'function') {
      return Promise.reject(libraryError(Codes.BAD_ARGUMENT, 'bad argument - onProgress must be a function', this.road));
    }
    return this.call_(() => prepareDocument(document, this.road).then((prepared) => {
      const progress = progressReporter(onProgress, prepared.size);
      progress(0);
      return this.road_.print(prepared, isAbsent(printer) ? undefined : printer, progress);
    })).then(() => undefined);
  }

  /** Ends the connection: calls waiting or made later fail with 664; an element made for it goes. */
  close() {
    if (this.closed_) return;
    this.closed_ = true;
    this.road_.close();
  }

  call_(task) {
    const closed = () => libraryError(Codes.CLOSED, 'the connection was closed', this.road);
    if (this.closed_) return Promise.reject(closed());
    return this.queue_.run(() => {
      if (this.closed_) throw closed();
      return task();
    });
  }
}
