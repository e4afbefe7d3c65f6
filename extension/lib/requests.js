/**
 * Checks a page request's method and parameters and builds the fields sent to the host. Only the
 * fields named here ever reach the host: whatever else a page puts in its message (an "origin", say)
 * is refused or dropped, never relayed.
 */
import { CAPABILITY, ERR, failure } from './protocol.js';

const PRINT_KEYS = new Set(['data', 'printer', 'part', 'parts']);
/** The host takes at most 256 MiB of joined Base64 text; a part count beyond any useful one is refused. */
const MAX_PARTS = 1 << 16;

const isPlainObject = (v) => v !== null && typeof v === 'object' && !Array.isArray(v);

/**
 * @param {unknown} method
 * @param {unknown} params
 * @returns {{fields: object} | {error: {code: number, message: string}}}
 *   fields: method and parameters for the host request (without id and origin)
 */
export function hostFields(method, params) {
  if (typeof method !== 'string' || !Object.hasOwn(CAPABILITY, method)) {
    return { error: failure(ERR.MALFORMED, `unknown method ${JSON.stringify(String(method)).slice(0, 64)}`) };
  }
  if (!isPlainObject(params)) return { error: failure(ERR.MALFORMED, 'params is not an object') };
  const keys = Object.keys(params);
  if (method !== 'print') {
    return keys.length === 0 ? { fields: { method } }
      : { error: failure(ERR.MALFORMED, `${method} takes no parameters`) };
  }
  const stray = keys.find((k) => !PRINT_KEYS.has(k));
  if (stray !== undefined) return { error: failure(ERR.MALFORMED, `unknown parameter ${JSON.stringify(stray).slice(0, 64)}`) };
  if (typeof params.data !== 'string') return { error: failure(ERR.MALFORMED, 'data is not a string') };
  const fields = { method, data: params.data };
  if ('printer' in params) {
    if (typeof params.printer !== 'string') return { error: failure(ERR.MALFORMED, 'printer is not a string') };
    fields.printer = params.printer;
  }
  if ('part' in params || 'parts' in params) {
    const { part, parts } = params;
    if (!Number.isInteger(parts) || parts < 2 || parts > MAX_PARTS ||
        !Number.isInteger(part) || part < 1 || part > parts) {
      return { error: failure(ERR.MALFORMED, 'part and parts must be integers with 1 <= part <= parts, parts >= 2') };
    }
    fields.part = part;
    fields.parts = parts;
  }
  return { fields };
}
