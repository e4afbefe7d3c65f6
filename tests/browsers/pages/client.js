// A minimal page-side client of the extension's message format, for the browser suite: requests with
// ids of the page's own, replies matched to them, and the parts of a large document one after another.
(() => {
  const CHANNEL = 'tovi-print';
  let nextId = 1;
  const waiting = new Map();
  const presentWaiters = [];
  // Read by the page's first script: the content script sets it at document_start.
  const presentAtStart = document.documentElement.dataset.toviPrint ?? null;

  window.addEventListener('message', (event) => {
    if (event.source !== window) return;
    const d = event.data;
    if (d?.channel !== CHANNEL || d.v !== 1) return;
    if (d.type === 'reply' && waiting.has(d.id)) {
      waiting.get(d.id)(d);
      waiting.delete(d.id);
    } else if (d.type === 'present') {
      presentWaiters.splice(0).forEach((f) => f(d));
    }
  });

  /** Posts a message as is; resolves with the reply to `id`, or {timeout: true}. */
  function send(message, timeoutMs = 60000) {
    return new Promise((resolve) => {
      const timer = setTimeout(() => { waiting.delete(message.id); resolve({ timeout: true }); }, timeoutMs);
      waiting.set(message.id, (reply) => { clearTimeout(timer); resolve(reply); });
      window.postMessage(message, '*');
    });
  }

  function call(method, params = {}, { timeoutMs, extra } = {}) {
    return send({ channel: CHANNEL, v: 1, type: 'request', id: nextId++, method, params, ...extra }, timeoutMs);
  }

  /** Resolves with the reply to `id` when one comes to this window, or {timeout: true}. */
  function listen(id, timeoutMs) {
    return new Promise((resolve) => {
      const timer = setTimeout(() => { waiting.delete(id); resolve({ timeout: true }); }, timeoutMs);
      waiting.set(id, (reply) => { clearTimeout(timer); resolve(reply); });
    });
  }

  window.tovi = {
    presentAtStart,
    call,
    send,
    listen,
    nextId: () => nextId++,
    probe: (timeoutMs = 2000) => new Promise((resolve) => {
      presentWaiters.push(resolve);
      setTimeout(() => resolve({ timeout: true }), timeoutMs);
      window.postMessage({ channel: CHANNEL, v: 1, type: 'probe' }, '*');
    }),
    /** Base64 text of n bytes of a repeating pattern (bytes 0-255, so every value is sent). */
    pattern: (n) => {
      const bytes = new Uint8Array(n);
      for (let i = 0; i < n; i++) bytes[i] = (i * 7 + (i >> 8)) & 255;
      let text = '';
      for (let i = 0; i < n; i += 0x8000) text += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
      return btoa(text);
    },
    /** Prints Base64 text in slices of `slice` characters, each part after the previous reply. */
    printParts: async (data, printer, slice = 1 << 20) => {
      const parts = Math.ceil(data.length / slice);
      let reply;
      for (let k = 1; k <= parts; k++) {
        const params = { data: data.slice((k - 1) * slice, k * slice), part: k, parts };
        if (printer !== undefined) params.printer = printer;
        reply = await call('print', params);
        if (!('result' in reply) || k === parts) return { ...reply, sentParts: k };
      }
      return reply;
    },
  };
})();
