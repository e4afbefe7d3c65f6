// Content script, in every http(s) frame from document_start: marks the document as served, answers
// the page's probe, and relays the page's requests to the background. It accepts only messages this
// window posted to itself (a frame posting into its parent must not borrow the parent's identity),
// of exactly the right shape, and answers only to this window. It is a classic script (content
// scripts cannot be modules), so the few constants it needs are repeated here from lib/protocol.js.
(() => {
  const api = globalThis.browser ?? globalThis.chrome;
  const CHANNEL = 'tovi-print';
  const V = 1;
  const MAX_IN_FLIGHT = 8;
  const MAX_MESSAGE_CHARS = 4 * 1024 * 1024;
  const version = api.runtime.getManifest().version;

  // Seen by the page's first script: the library tells "present" from "absent" without waiting.
  document.documentElement?.setAttribute('data-tovi-print', version);

  // Sandboxed and other opaque-origin documents get answers, but only refusals.
  const servable = (location.protocol === 'http:' || location.protocol === 'https:') && window.origin !== 'null';
  let inFlight = 0;

  function post(message) {
    window.postMessage({ channel: CHANNEL, v: V, ...message }, servable ? window.origin : '*');
  }
  function fail(id, code, text) {
    post({ type: 'reply', id, error: { code, message: `?${code} ${text}` } });
  }

  window.addEventListener('message', (event) => {
    if (event.source !== window) return;
    const d = event.data;
    if (d === null || typeof d !== 'object' || d.channel !== CHANNEL || d.v !== V) return;
    if (d.type === 'probe') {
      post({ type: 'present', version });
      return;
    }
    if (d.type !== 'request') return; // our own replies come back here too
    const id = d.id;
    if (!Number.isSafeInteger(id) || id < 0) return; // nothing to answer to
    if (!servable) return fail(id, 635, 'this page cannot use the extension');
    const method = d.method;
    const params = d.params;
    if (typeof method !== 'string' || params === null || typeof params !== 'object' || Array.isArray(params)) {
      return fail(id, 636, 'malformed message - method must be a string and params an object');
    }
    if (inFlight >= MAX_IN_FLIGHT) return fail(id, 633, 'too many requests in flight for this frame');
    // A copy of plain data only: no page objects cross into the extension.
    let request;
    try {
      request = JSON.parse(JSON.stringify({ type: 'request', method, params }));
    } catch {
      return fail(id, 636, 'malformed message - params is not plain data');
    }
    if (JSON.stringify(request).length > MAX_MESSAGE_CHARS) {
      return fail(id, 634, 'message too large - send large documents in parts');
    }
    inFlight++;
    let sent;
    try {
      sent = api.runtime.sendMessage(request);
    } catch (e) {
      sent = Promise.reject(e);
    }
    sent.then((reply) => {
      if (reply && ('result' in reply || 'error' in reply)) post({ type: 'reply', id, ...reply });
      else fail(id, 630, 'native host not reachable - the extension did not answer');
    }, (e) => {
      fail(id, 630, `native host not reachable - ${e?.message ?? e}`);
    }).finally(() => { inFlight--; });
  });
})();
