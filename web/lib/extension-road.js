// The extension road: messages to the extension's content script in this window (window.postMessage),
// which relays them to the bridge. Large documents go in 1 MiB parts, each acknowledged before the next.
import { Codes, ToviPrintError, codeOfMessage, libraryError } from './errors.js';

const CHANNEL = 'tovi-print';
const VERSION = 1;
const ROAD = 'extension';

// Request ids must be unique in the page, also between two copies of this library on one page:
// each copy counts up from its own random start.
let nextId = Math.floor(Math.random() * 0x10000000000);

function targetOrigin(win) {
  const origin = win.location && win.location.origin;
  return origin && origin !== 'null' ? origin : '*';
}

function post(win, message) {
  message.channel = CHANNEL;
  message.v = VERSION;
  win.postMessage(message, targetOrigin(win));
}

// Only messages of this window (the content script posts into it) in the channel's format count.
function channelMessage(win, event) {
  if (event.source !== win) return null;
  const message = event.data;
  if (!message || typeof message !== 'object' || message.channel !== CHANNEL || message.v !== VERSION) return null;
  return message;
}

/** The extension's version from the mark its content script sets on the root element, or null. */
export function extensionMark(win) {
  const root = win.document && win.document.documentElement;
  const mark = root && root.getAttribute ? root.getAttribute('data-tovi-print') : null;
  return mark || null;
}

/**
 * Resolves to the extension's version when it is present: at once from its mark, else from the
 * answer to a probe within wait ms; else null.
 */
export function findExtension(win, wait) {
  const mark = extensionMark(win);
  if (mark) return Promise.resolve(mark);
  return new Promise((resolve) => {
    let timer = null;
    const listener = (event) => {
      const message = channelMessage(win, event);
      if (message && message.type === 'present') finish(String(message.version));
    };
    const finish = (version) => {
      clearTimeout(timer);
      win.removeEventListener('message', listener);
      resolve(version);
    };
    win.addEventListener('message', listener);
    timer = setTimeout(() => finish(null), wait);
    post(win, { type: 'probe' });
  });
}

function replyError(error) {
  const message = String(error.message);
  const code = typeof error.code === 'number' ? error.code : codeOfMessage(message);
  return new ToviPrintError(code, message, ROAD);
}

/**
 * Requests to the extension, matched to their replies by id. While requests are open it probes the
 * extension every `liveness` ms: a content script that stopped answering (the extension was removed
 * or reloaded) would otherwise leave them waiting for ever, so they fail with 664 instead.
 */
class Channel {
  constructor(win, liveness) {
    this.win = win;
    this.liveness = liveness;
    this.pending = new Map();
    this.closed = false;
    this.timer = null;
    this.answered = true;
    this.listener = (event) => this.receive(event);
    win.addEventListener('message', this.listener);
  }

  request(method, params) {
    if (this.closed) return Promise.reject(libraryError(Codes.CLOSED, 'the connection was closed', ROAD));
    const id = nextId++;
    return new Promise((resolve, reject) => {
      this.pending.set(id, { resolve, reject });
      post(this.win, { type: 'request', id, method, params });
      this.watch();
    });
  }

  receive(event) {
    const message = channelMessage(this.win, event);
    if (!message) return;
    if (message.type === 'present') {
      this.answered = true;
      return;
    }
    if (message.type !== 'reply') return;
    const waiting = this.pending.get(message.id);
    if (!waiting) return;
    this.pending.delete(message.id);
    if (message.error && typeof message.error === 'object') waiting.reject(replyError(message.error));
    else waiting.resolve(message.result);
  }

  watch() {
    if (this.timer !== null || !this.liveness) return;
    this.answered = true;
    this.timer = setInterval(() => {
      if (this.pending.size === 0) {
        clearInterval(this.timer);
        this.timer = null;
      } else if (!this.answered) {
        this.close('the connection was closed - the extension no longer answers');
      } else {
        this.answered = false;
        post(this.win, { type: 'probe' });
      }
    }, this.liveness);
  }

  close(words) {
    if (this.closed) return;
    this.closed = true;
    clearInterval(this.timer);
    this.timer = null;
    this.win.removeEventListener('message', this.listener);
    const waiting = Array.from(this.pending.values());
    this.pending.clear();
    waiting.forEach((entry) => entry.reject(libraryError(Codes.CLOSED, words || 'the connection was closed', ROAD)));
  }
}

// Parts of one print: part k (1-based) of n, the printer named in part 1; each part but the last is
// acknowledged as {received: k} before the next goes out, so a failed part stops the rest.
function printInParts(channel, document, printer, progress) {
  const parts = document.count;
  const send = (part) => {
    const params = { data: document.part(part - 1), part, parts };
    if (part === 1 && printer !== undefined) params.printer = printer;
    return channel.request('print', params).then((result) => {
      if (part === parts) return undefined;
      if (!result || result.received !== part) {
        throw libraryError(Codes.CLOSED, 'the connection was closed - part ' + part + ' of ' + parts +
          ' was not acknowledged', ROAD);
      }
      progress(Math.floor(document.size * part / parts));
      return send(part + 1);
    });
  };
  return send(1);
}

/** Opens the extension road on win; options.liveness (ms, 0 for never) sets the liveness probe. */
export function openExtensionRoad(win, extensionVersion, options) {
  const channel = new Channel(win, typeof options.liveness === 'number' ? options.liveness : 5000);
  const list = (method) => channel.request(method, {}).then((names) => (Array.isArray(names) ? names.map(String) : []));
  return {
    name: ROAD,
    extensionVersion,
    version: () => channel.request('getVersion', {}).then(String),
    printers: () => list('getPrinters'),
    macAddresses: () => list('getMacAddresses'),
    print(document, printer, progress) {
      if (document.count === 1) {
        const params = { data: document.part(0) };
        if (printer !== undefined) params.printer = printer;
        return channel.request('print', params).then(() => progress(document.size));
      }
      return printInParts(channel, document, printer, progress).then(() => progress(document.size));
    },
    close: () => channel.close(),
  };
}
