// The plug-in road: the module itself, loaded by an NPAPI browser into an <object> element whose
// methods are synchronous and report failures twice, as a script exception and in getLastError().
import { Codes, ToviPrintError, codeOfMessage, libraryError } from './errors.js';

export const MIME_TYPE = 'application/x-vnd-tovi-print';
const ROAD = 'plugin';

/** 'missing', 'disabled' or 'enabled': what the browser says of the plug-in's MIME type. */
export function pluginState(win) {
  const types = win.navigator && win.navigator.mimeTypes;
  const type = types ? types[MIME_TYPE] : null;
  if (!type) return 'missing';
  return type.enabledPlugin ? 'enabled' : 'disabled';
}

// getLastError() hands out the last failure's message once, then null; a success does not clear it.
function takeLastError(element) {
  try {
    const message = element.getLastError();
    return message === null || message === undefined ? null : String(message);
  } catch (e) {
    return null;
  }
}

// Browsers raise the module's message as a string or as an Error holding it.
function exceptionText(exception) {
  if (typeof exception === 'string') return exception;
  if (exception && exception.message) return String(exception.message);
  return String(exception);
}

/**
 * Calls one plug-in method. getLastError() is drained first, so a message found afterwards belongs
 * to this call: a failure is caught even where the browser lost the exception (out-of-process plug-in
 * hosts do), and an old message is never blamed on a new call. The kept message wins over the
 * exception's text, which some engines replace with their own words.
 */
export function callPlugin(element, invoke) {
  takeLastError(element);
  let value;
  let exception = null;
  try {
    value = invoke();
  } catch (e) {
    exception = { text: exceptionText(e) };
  }
  const kept = takeLastError(element);
  if (kept !== null) throw new ToviPrintError(codeOfMessage(kept), kept, ROAD);
  if (exception) {
    const code = codeOfMessage(exception.text);
    if (code) throw new ToviPrintError(code, exception.text, ROAD);
    throw libraryError(Codes.NO_MESSAGE, 'the plug-in call failed without a message - ' + exception.text, ROAD);
  }
  return value;
}

function startedVersion(element) {
  try {
    const version = element.getVersion();
    return typeof version === 'string' ? version : null;
  } catch (e) {
    return null;
  }
}

// An element of the page that embeds the plug-in, else a new one. It must not be display:none (the
// browser would never start the plug-in), so it is one pixel in the page's corner.
function findOrMakeElement(doc) {
  const found = doc.querySelector('object[type="' + MIME_TYPE + '"], embed[type="' + MIME_TYPE + '"]');
  if (found) return { element: found, owned: false };
  const element = doc.createElement('object');
  element.setAttribute('type', MIME_TYPE);
  element.setAttribute('width', '1');
  element.setAttribute('height', '1');
  element.style.position = 'absolute';
  element.style.left = '0';
  element.style.top = '0';
  (doc.body || doc.documentElement).appendChild(element);
  return { element, owned: true };
}

// The browser starts the plug-in while it lays the element out; its methods exist from then on.
function waitForStart(element, wait) {
  const STEP = 25;
  return new Promise((resolve) => {
    let waited = 0;
    const poll = () => {
      const version = startedVersion(element);
      if (version !== null || waited >= wait) {
        resolve(version);
        return;
      }
      waited += STEP;
      setTimeout(poll, STEP);
    };
    poll();
  });
}

function listFrom(element, method) {
  const names = [];
  callPlugin(element, () => element[method](names));
  return names.map(String);
}

/**
 * Opens the plug-in road: options.element, or the page's element of the MIME type, or one made here.
 * Resolves to the road, or to null when the plug-in did not start within options.startWait ms.
 */
export function openPluginRoad(win, options) {
  const made = options.element ? { element: options.element, owned: false } : findOrMakeElement(win.document);
  const element = made.element;
  const release = () => {
    if (made.owned && element.parentNode) element.parentNode.removeChild(element);
  };
  const wait = typeof options.startWait === 'number' ? options.startWait : 3000;
  return waitForStart(element, wait).then((version) => {
    if (version === null) {
      release();
      return null;
    }
    return {
      name: ROAD,
      element,
      version: () => callPlugin(element, () => String(element.getVersion())),
      printers: () => listFrom(element, 'getPrinters'),
      macAddresses: () => listFrom(element, 'getMacAddresses'),
      print(document, printer, progress) {
        const job = { data: document.whole() };
        // Without a printer property the module prints on the default printer.
        if (printer !== undefined) job.printer = printer;
        callPlugin(element, () => element.print(job));
        progress(document.size);
      },
      close: release,
    };
  });
}
