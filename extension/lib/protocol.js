/**
 * The fixed vocabulary of the extension: the page message format, the host's name, the limits and the
 * extension's own error codes (630-659). Pure data and small helpers, shared by the background and the
 * extension pages, and importable by Node for the unit tests.
 */

/** Native-messaging host name, as the installer registers it. */
export const HOST_NAME = 'com.ternaport.print';

/** Tag and version carried by every page <-> content script message. */
export const CHANNEL = 'tovi-print';
export const VERSION = 1;

/** At most this many requests of one frame wait for a reply at a time. */
export const MAX_IN_FLIGHT_PER_FRAME = 8;
/** Largest page message, as JSON text; the page library sends 1 MiB slices of a large document. */
export const MAX_MESSAGE_CHARS = 4 * 1024 * 1024;

/** The extension's error codes; the host uses 600-629, the module 101-502. */
export const ERR = Object.freeze({
  HOST_UNREACHABLE: 630,
  HOST_EXITED: 631,
  DENIED: 632,
  TOO_MANY: 633,
  TOO_LARGE: 634,
  PAGE_REFUSED: 635,
  MALFORMED: 636,
  PROMPT_UNANSWERED: 637,
});

const TEXT = Object.freeze({
  630: 'native host not reachable',
  631: 'native host exited while the request was in flight',
  632: 'access denied - the user did not allow this site',
  633: 'too many requests in flight for this frame',
  634: 'message too large',
  635: 'this page cannot use the extension',
  636: 'malformed message',
  637: 'consent prompt not answered',
});

/**
 * An error reply body in the module's form: "?NNN text" or "?NNN text - detail".
 * @param {number} code one of ERR
 * @param {string} [detail]
 * @returns {{code: number, message: string}}
 */
export function failure(code, detail) {
  const text = `?${code} ${TEXT[code]}`;
  return { code, message: detail ? `${text} - ${detail}` : text };
}

/**
 * What a page method needs the user's consent for: 'print' (printing and listing printers), 'macs'
 * (reading the hardware addresses), or null (nothing to ask). Methods not listed are not served.
 */
export const CAPABILITY = Object.freeze({
  print: 'print',
  getPrinters: 'print',
  getMacAddresses: 'macs',
  getVersion: null,
  getLastError: null,
});

/** How the consent window words each capability. */
export const CAPABILITY_TEXT = Object.freeze({
  print: 'print to printers of this computer',
  macs: 'read its network hardware addresses',
});
