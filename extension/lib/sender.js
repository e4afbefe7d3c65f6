/**
 * The identity of the frame that sent a message, as the browser reports it: never a field of the
 * page's message, never the tab's URL (a cross-origin frame would borrow the top page's identity).
 */

/**
 * The sending frame's origin when it is an http or https one, else null.
 * Chromium reports `sender.origin`; Firefox may not, so it is derived from the frame's own `sender.url`.
 * @param {{origin?: string, url?: string}} sender runtime.MessageSender
 * @returns {string | null}
 */
export function senderOrigin(sender) {
  let origin = sender.origin;
  if (origin === undefined && typeof sender.url === 'string') {
    try {
      origin = new URL(sender.url).origin;
    } catch {
      return null;
    }
  }
  if (typeof origin !== 'string' || origin === 'null') return null;
  let url;
  try {
    url = new URL(origin);
  } catch {
    return null;
  }
  if (url.protocol !== 'http:' && url.protocol !== 'https:') return null;
  // An origin is scheme://host[:port] and nothing else; anything more is not what a browser reports.
  return url.origin === origin ? origin : null;
}

/**
 * A key naming one frame of one tab (and, where the browser reports it, one document in it), for state
 * that must not pass from one frame to another.
 * @param {{tab?: {id?: number}, frameId?: number, documentId?: string}} sender
 */
export function frameKey(sender) {
  return `${sender.tab?.id ?? '-'}/${sender.frameId ?? '-'}/${sender.documentId ?? ''}`;
}
