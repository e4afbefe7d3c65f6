/**
 * The background's handling of one page request: who sent it, whether it is well-formed, whether the
 * user (or the administrator's site policy, in the module) lets that origin do it, and the host's reply.
 */
import { CAPABILITY, ERR, failure } from './protocol.js';
import { hostFields } from './requests.js';
import { frameKey, senderOrigin } from './sender.js';
import { remember, rememberedChoice } from './choices.js';

/**
 * @param {{host: import('./host_connection.js').HostConnection,
 *   prompts: import('./prompts.js').Prompts, area: import('./choices.js').Area}} parts
 * @returns {(message: {method: unknown, params: unknown}, sender: object) => Promise<import('./host_connection.js').Reply>}
 */
export function createRelay({ host, prompts, area }) {
  /** Frames in the middle of a document sent in parts, whose first part the user allowed. */
  const partsAllowed = new Map(); // frameKey -> {origin, next, parts}

  /** Null when origin may go ahead, else the error reply. */
  async function consent(origin, capability, fields, frame) {
    const status = await host.status(origin);
    if ('error' in status) return status;
    // With the administrator's site policy set, or no module to apply it, the module decides.
    if (status.result?.policy === true || status.result?.module !== 'loaded') return null;

    if (fields.part > 1) {
      const grant = partsAllowed.get(frame);
      if (grant && grant.origin === origin && grant.next === fields.part && grant.parts === fields.parts) return null;
    }
    const remembered = await rememberedChoice(area, origin, capability);
    if (remembered === 'allow') return null;
    // A later part is never the one to ask: its first part was not allowed.
    if (remembered === 'deny' || fields.part > 1) return { error: failure(ERR.DENIED) };

    const outcome = await prompts.ask(origin, capability);
    if ('error' in outcome) return outcome;
    if (outcome.remember) await remember(area, origin, capability, outcome.allow ? 'allow' : 'deny');
    return outcome.allow ? null : { error: failure(ERR.DENIED) };
  }

  return async function relay(message, sender) {
    const origin = senderOrigin(sender);
    if (!origin) return { error: failure(ERR.PAGE_REFUSED, 'only http and https pages may print') };
    const checked = hostFields(message?.method, message?.params);
    if ('error' in checked) return checked;
    const { fields } = checked;
    const frame = frameKey(sender);
    const capability = CAPABILITY[fields.method];
    if (capability) {
      const refused = await consent(origin, capability, fields, frame);
      if (refused) {
        partsAllowed.delete(frame);
        return refused;
      }
    }
    const reply = await host.request({ ...fields, origin });
    if (fields.method === 'print') {
      if (fields.part < fields.parts && 'result' in reply) {
        partsAllowed.set(frame, { origin, next: fields.part + 1, parts: fields.parts });
      } else {
        partsAllowed.delete(frame);
      }
    }
    return reply;
  };
}
