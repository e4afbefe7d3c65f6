// The one error type the library rejects with: the module's or the bridge's own number and text, or
// one of the library's codes (660-679), and the road the call took.

/** The library's own failure codes. */
export const Codes = Object.freeze({
  NOTHING_INSTALLED: 660,
  ROAD_UNAVAILABLE: 661,
  BAD_ARGUMENT: 662,
  NO_MESSAGE: 663,
  CLOSED: 664,
});

export class ToviPrintError extends Error {
  constructor(code, message, road) {
    super(message);
    this.name = 'ToviPrintError';
    this.code = code;
    this.road = road || null;
  }
}

// Messages of the module and the bridge read "?NNN words"; the number is the code.
const CODED_MESSAGE = /^\?(\d{3})(?:\s|$)/;

export function codeOfMessage(message) {
  const match = CODED_MESSAGE.exec(String(message));
  return match ? Number(match[1]) : 0;
}

/** An error of the library's own, worded like the module's: "?662 bad argument - ...". */
export function libraryError(code, words, road) {
  return new ToviPrintError(code, '?' + code + ' ' + words, road);
}
