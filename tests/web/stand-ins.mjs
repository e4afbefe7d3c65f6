// Stand-ins for what the library meets in a page: the window (postMessage between the page and the
// extension's content script), the extension itself, and the plug-in element.

export const tick = (ms = 0) => new Promise((resolve) => setTimeout(resolve, ms));

function makeDocument(mark) {
  const root = { getAttribute: (name) => (name === 'data-tovi-print' ? mark : null) };
  const body = {
    children: [],
    appendChild(child) { this.children.push(child); child.parentNode = this; return child; },
    removeChild(child) { this.children.splice(this.children.indexOf(child), 1); child.parentNode = null; return child; },
  };
  const doc = {
    documentElement: root,
    body,
    elements: [],          // what querySelector finds
    created: [],
    querySelector: () => doc.elements[0] || null,
    createElement(tag) {
      const element = { tagName: tag, attributes: {}, style: {}, parentNode: null };
      element.setAttribute = (name, value) => { element.attributes[name] = value; };
      doc.created.push(element);
      return element;
    },
  };
  return doc;
}

/**
 * A window. options: userAgent, plugin ('missing' | 'disabled' | 'enabled'), mark (the extension's
 * version on the root element, or null). Messages posted are delivered a turn later, cloned, to the
 * window's listeners and to the extension stand-in attached to it.
 */
export function makeWindow(options = {}) {
  const listeners = new Set();
  const mimeTypes = {};
  if (options.plugin && options.plugin !== 'missing') {
    mimeTypes['application/x-vnd-tovi-print'] = { enabledPlugin: options.plugin === 'enabled' ? {} : null };
  }
  const win = {
    navigator: { userAgent: options.userAgent || 'Mozilla/5.0 Chrome/156.0', mimeTypes },
    location: { origin: 'https://shop.example' },
    document: makeDocument(options.mark === undefined ? null : options.mark),
    targets: [],
    extension: null,
    addEventListener(type, fn) { if (type === 'message') listeners.add(fn); },
    removeEventListener(type, fn) { listeners.delete(fn); },
    listenerCount: () => listeners.size,
    // What the page posts: seen by the page's listeners and the extension's content script.
    postMessage(message, targetOrigin) {
      win.targets.push(targetOrigin);
      const data = structuredClone(message);
      setTimeout(() => {
        win.deliver(data, win);
        if (win.extension) win.extension.receive(data);
      }, 0);
    },
    deliver(data, source) {
      for (const fn of [...listeners]) fn({ data: structuredClone(data), source });
    },
  };
  return win;
}

/**
 * The extension's side of the channel. answer(request) returns {result}, {error} or null (held:
 * release it later with reply()). Records every request; counts requests in flight.
 */
export function attachExtension(win, answer, { version = '1.0.0', present = true } = {}) {
  const extension = {
    requests: [],
    held: [],
    inFlight: 0,
    maxInFlight: 0,
    present,
    receive(message) {
      if (message.channel !== 'tovi-print' || message.v !== 1) return;
      if (message.type === 'probe') {
        if (extension.present) win.deliver({ channel: 'tovi-print', v: 1, type: 'present', version }, win);
        return;
      }
      if (message.type !== 'request') return;
      extension.requests.push(message);
      extension.inFlight++;
      extension.maxInFlight = Math.max(extension.maxInFlight, extension.inFlight);
      const reply = answer(message, extension);
      if (reply) extension.reply(message.id, reply);
      else extension.held.push(message);
    },
    reply(id, outcome) {
      extension.inFlight--;
      win.deliver(Object.assign({ channel: 'tovi-print', v: 1, type: 'reply', id }, outcome), win);
    },
  };
  win.extension = extension;
  return extension;
}

/**
 * A plug-in element as the module behaves towards script. options: printers, fail (method ->
 * message), throwAs ('string' | 'error' | 'generic': WebKit's own words instead of the message),
 * swallow (the browser loses exceptions), lastError (a stale message already kept).
 */
export function makePluginElement(options = {}) {
  const state = { lastError: options.lastError || null, jobs: [], calls: [] };
  const raise = (message) => {
    state.lastError = message;
    if (options.swallow) return undefined;
    if (options.throwAs === 'error') throw new Error(message);
    if (options.throwAs === 'generic') throw new Error('Error calling method on NPObject.');
    throw message;
  };
  const method = (name, body) => (...args) => {
    state.calls.push(name);
    if (options.fail && options.fail[name]) return raise(options.fail[name]);
    return body(...args);
  };
  const element = {
    state,
    getVersion: method('getVersion', () => '0.0.0.11'),
    getLastError: () => { const message = state.lastError; state.lastError = null; return message; },
    getPrinters: method('getPrinters', (array) => { (options.printers || []).forEach((n) => array.push(n)); return true; }),
    getMacAddresses: method('getMacAddresses', (array) => { array.push('00:1A:2B:3C:4D:5E'); return true; }),
    print: method('print', (job) => { state.jobs.push(Object.assign({}, job)); return undefined; }),
  };
  return element;
}
