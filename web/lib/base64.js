// Base64 for documents of any size, and the slices in which a document travels to the extension.
import { Codes, libraryError } from './errors.js';

// Each piece is a multiple of 3 bytes, so the encoded pieces join without padding in between, and
// small enough for String.fromCharCode.apply (engines bound the number of arguments, 65536 in some).
const PIECE_BYTES = 3 * 8192;

/** Base64 (RFC 4648, padded, no line breaks) of bytes, piece by piece through btoa. */
export function encodeBase64Pieces(bytes) {
  const pieces = [];
  for (let at = 0; at < bytes.length; at += PIECE_BYTES) {
    pieces.push(btoa(String.fromCharCode.apply(null, bytes.subarray(at, at + PIECE_BYTES))));
  }
  return pieces.join('');
}

const ALPHABET = 'ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/';
let pairTable = null;
let latin1 = undefined;

// A decoder that maps each byte to one character, or null in an engine without one.
function latin1Decoder() {
  if (latin1 === undefined) {
    try {
      latin1 = new TextDecoder('latin1');
    } catch (e) {
      latin1 = null;
    }
  }
  return latin1;
}

// The two Base64 characters of every 12-bit value, as one 16-bit unit laid out in memory as the two
// character bytes in order (the platform's byte order decides how the unit is written).
function pairs() {
  if (pairTable) return pairTable;
  const littleEndian = new Uint8Array(new Uint16Array([1]).buffer)[0] === 1;
  pairTable = new Uint16Array(4096);
  for (let i = 0; i < 4096; i++) {
    const first = ALPHABET.charCodeAt(i >> 6);
    const second = ALPHABET.charCodeAt(i & 63);
    pairTable[i] = littleEndian ? first | (second << 8) : (first << 8) | second;
  }
  return pairTable;
}

/**
 * Base64 of bytes through a table of character pairs into a byte buffer that TextDecoder turns
 * into text in one go: several times faster than btoa over pieces in today's engines.
 */
export function encodeBase64Table(bytes) {
  const table = pairs();
  const whole = bytes.length - bytes.length % 3;
  const units = new Uint16Array(whole / 3 * 2);
  for (let i = 0, o = 0; i < whole; i += 3) {
    const n = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
    units[o++] = table[n >> 12];
    units[o++] = table[n & 4095];
  }
  let text = latin1Decoder().decode(new Uint8Array(units.buffer));
  const rest = bytes.length - whole;
  if (rest) {
    const n = (bytes[whole] << 16) | (rest === 2 ? bytes[whole + 1] << 8 : 0);
    text += ALPHABET[n >> 18] + ALPHABET[(n >> 12) & 63] + (rest === 2 ? ALPHABET[(n >> 6) & 63] : '=') + '=';
  }
  return text;
}

/**
 * Base64 of bytes: the engine's own Uint8Array.prototype.toBase64 where it has one, else the pair
 * table where TextDecoder exists, else btoa over pieces (older engines).
 */
export function encodeBase64(bytes) {
  if (typeof bytes.toBase64 === 'function') return bytes.toBase64();
  return typeof TextDecoder === 'function' && latin1Decoder() ? encodeBase64Table(bytes) : encodeBase64Pieces(bytes);
}

/** Base64 text the extension takes in one message; parts of a larger document are this long. */
export const PART_CHARS = 1024 * 1024;
const PART_BYTES = PART_CHARS / 4 * 3;

function readBlob(blob) {
  if (typeof blob.arrayBuffer === 'function') return blob.arrayBuffer();
  return new Promise((resolve, reject) => {
    const reader = new FileReader();
    reader.onload = () => resolve(reader.result);
    reader.onerror = () => reject(reader.error);
    reader.readAsArrayBuffer(blob);
  });
}

// By their tags rather than instanceof, so that a Blob or buffer from another frame counts too.
const tagOf = (value) => Object.prototype.toString.call(value);
const isBlob = (value) => tagOf(value) === '[object Blob]' || tagOf(value) === '[object File]';

// A document ready to send: its size in bytes (for progress), how many 1 MiB Base64 parts it makes,
// each part's text (encoded when asked for, so a large document is never held twice as text), and
// the whole text (the plug-in takes it in one call).
function fromText(text) {
  const count = Math.max(1, Math.ceil(text.length / PART_CHARS));
  const padding = /={1,2}$/.exec(text);
  return {
    size: Math.floor(text.length / 4) * 3 - (padding ? padding[0].length : 0),
    count,
    part: (index) => text.slice(index * PART_CHARS, (index + 1) * PART_CHARS),
    whole: () => text,
  };
}

function fromBytes(bytes) {
  const count = Math.max(1, Math.ceil(bytes.length / PART_BYTES));
  return {
    size: bytes.length,
    count,
    part: (index) => encodeBase64(bytes.subarray(index * PART_BYTES, (index + 1) * PART_BYTES)),
    whole: () => encodeBase64(bytes),
  };
}

/**
 * Takes what print() was given (Base64 text, Uint8Array or other typed array, ArrayBuffer, Blob) and
 * resolves to a document; rejects with 662 for anything else.
 */
export function prepareDocument(document, road) {
  if (typeof document === 'string') return Promise.resolve(fromText(document));
  if (tagOf(document) === '[object ArrayBuffer]') return Promise.resolve(fromBytes(new Uint8Array(document)));
  if (ArrayBuffer.isView(document)) {
    return Promise.resolve(fromBytes(new Uint8Array(document.buffer, document.byteOffset, document.byteLength)));
  }
  if (isBlob(document)) {
    return readBlob(document).then(
      (buffer) => fromBytes(new Uint8Array(buffer)),
      (error) => { throw libraryError(Codes.BAD_ARGUMENT, 'bad argument - the file could not be read: ' + error, road); });
  }
  return Promise.reject(libraryError(Codes.BAD_ARGUMENT,
    'bad argument - the document must be a Uint8Array, an ArrayBuffer, a Blob or Base64 text', road));
}
