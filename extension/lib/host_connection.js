/**
 * One native-messaging port to the host, opened on the first request and kept while requests are open
 * (and a short while after, so that the parts of one document and a burst of labels share one host).
 * Replies are matched to requests by id. When the port drops, every request in flight fails at once;
 * nothing is ever sent again on its own, so a print is never printed twice. The next request opens a
 * new port, which starts the host afresh.
 */
import { ERR, failure } from './protocol.js';

/** The browsers' reasons for a host that never started, as opposed to one that went away. */
const UNREACHABLE = /not found|forbidden|failed to start|no such native application|invalid native messaging host/i;

/**
 * @typedef {{result: unknown} | {error: {code: number, message: string}}} Reply
 * @typedef {{postMessage(m: object): void, disconnect(): void,
 *   onMessage: {addListener(f: Function): void}, onDisconnect: {addListener(f: Function): void},
 *   error?: {message: string}}} NativePort
 */

export class HostConnection {
  /**
   * @param {() => NativePort} connect opens a port to the host (runtime.connectNative bound to the name)
   * @param {{idleMs?: number, lastError?: () => string | undefined}} [options]
   *   idleMs: how long an idle port stays open; lastError: reads runtime.lastError in Chromium
   */
  constructor(connect, { idleMs = 30000, lastError = () => undefined } = {}) {
    this.connect = connect;
    this.idleMs = idleMs;
    this.lastError = lastError;
    this.port = null;
    /** @type {Map<number, (reply: Reply) => void>} */
    this.pending = new Map();
    this.nextId = 0;
    this.heardFrom = false;
    this.idleTimer = null;
    /** @type {Promise<Reply> | null} the host's status, asked once per port */
    this.statusReply = null;
  }

  /**
   * Sends one request and resolves with its reply; never rejects.
   * @param {object} fields method, origin and parameters
   * @returns {Promise<Reply>}
   */
  request(fields) {
    const port = this.open();
    const id = this.nextId++;
    return new Promise((resolve) => {
      this.pending.set(id, resolve);
      try {
        port.postMessage({ ...fields, id });
      } catch (e) {
        // Chromium throws for a message over its limit, and for a port that has just gone away.
        const reason = String(e?.message ?? e);
        this.settle(id, { error: failure(/disconnected/i.test(reason) ? ERR.HOST_EXITED : ERR.TOO_LARGE, reason) });
      }
    });
  }

  /**
   * The host's status ({module, version, policy, host}), asked on the first call for each port.
   * @param {string} origin
   * @returns {Promise<Reply>}
   */
  status(origin) {
    if (!this.statusReply || !this.port) {
      const reply = this.request({ origin, method: 'status' });
      this.statusReply = reply;
      // A failed status is not kept: the next request asks again.
      reply.then((r) => { if ('error' in r && this.statusReply === reply) this.statusReply = null; });
    }
    return this.statusReply;
  }

  /** Closes the port now; requests in flight fail as on any disconnect. */
  close() {
    if (this.port) {
      const port = this.port;
      this.dropped(port, 'closed by the extension');
      port.disconnect();
    }
  }

  open() {
    clearTimeout(this.idleTimer);
    this.idleTimer = null;
    if (this.port) return this.port;
    const port = this.connect();
    this.port = port;
    this.heardFrom = false;
    this.nextId = 1;
    port.onMessage.addListener((message) => this.received(port, message));
    port.onDisconnect.addListener((p) => {
      const reason = this.lastError() ?? p?.error?.message ?? port.error?.message ?? 'disconnected';
      this.dropped(port, reason);
    });
    return port;
  }

  received(port, message) {
    if (port !== this.port) return;
    this.heardFrom = true;
    const id = message?.id;
    if (!this.pending.has(id)) return; // not ours: a reply to nothing asked is dropped
    const wellFormed = Object.hasOwn(message, 'result') ||
      (Number.isInteger(message.error?.code) && typeof message.error?.message === 'string');
    this.settle(id, wellFormed
      ? ('error' in message ? { error: { code: message.error.code, message: message.error.message } } : { result: message.result })
      : { error: failure(ERR.MALFORMED, 'the host sent a reply of the wrong form') });
  }

  dropped(port, reason) {
    if (port !== this.port) return;
    this.port = null;
    this.statusReply = null;
    clearTimeout(this.idleTimer);
    this.idleTimer = null;
    const code = !this.heardFrom && UNREACHABLE.test(reason) ? ERR.HOST_UNREACHABLE : ERR.HOST_EXITED;
    const waiting = [...this.pending.values()];
    this.pending.clear();
    for (const resolve of waiting) resolve({ error: failure(code, reason) });
  }

  settle(id, reply) {
    const resolve = this.pending.get(id);
    if (!resolve) return;
    this.pending.delete(id);
    resolve(reply);
    if (this.pending.size === 0 && this.port) {
      clearTimeout(this.idleTimer);
      this.idleTimer = setTimeout(() => { if (this.pending.size === 0) this.close(); }, this.idleMs);
    }
  }
}
