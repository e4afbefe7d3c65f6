/**
 * The consent windows: at most one open per origin. A second request from an origin whose window asks
 * the same question waits for the same answer; one asking another question is refused until the first
 * is answered, so a page cannot stack windows.
 */
import { ERR, failure } from './protocol.js';

/**
 * @typedef {{allow: boolean, remember: boolean} | {error: {code: number, message: string}}} Outcome
 * @typedef {{id: number, origin: string, capability: string, answer: Promise<Outcome>,
 *   resolve: (o: Outcome) => void, windowId: number | null, done: boolean}} Prompt
 */

export class Prompts {
  /**
   * @param {(promptId: number) => Promise<number>} openWindow opens the consent page, resolves its window id
   * @param {(windowId: number) => void} closeWindow
   */
  constructor(openWindow, closeWindow) {
    this.openWindow = openWindow;
    this.closeWindow = closeWindow;
    /** @type {Map<string, Prompt>} */
    this.byOrigin = new Map();
    /** @type {Map<number, Prompt>} */
    this.byId = new Map();
    this.nextId = 0;
  }

  /**
   * Asks the user whether origin may use capability.
   * @returns {Promise<Outcome>}
   */
  ask(origin, capability) {
    const open = this.byOrigin.get(origin);
    if (open) {
      return open.capability === capability ? open.answer
        : Promise.resolve({ error: failure(ERR.PROMPT_UNANSWERED, 'another prompt is already open for this site') });
    }
    let resolve;
    const answer = new Promise((r) => { resolve = r; });
    const prompt = { id: ++this.nextId, origin, capability, answer, resolve, windowId: null, done: false };
    this.byOrigin.set(origin, prompt);
    this.byId.set(prompt.id, prompt);
    this.openWindow(prompt.id).then((windowId) => {
      prompt.windowId = windowId;
      if (prompt.done) this.closeWindow(windowId);
    }, (e) => this.finish(prompt, { error: failure(ERR.PROMPT_UNANSWERED, `the prompt could not be opened: ${e?.message ?? e}`) }));
    return answer;
  }

  /** What the window of promptId shows, or null when it is no longer waiting. */
  details(promptId) {
    const prompt = this.byId.get(promptId);
    return prompt ? { origin: prompt.origin, capability: prompt.capability } : null;
  }

  /** The user's answer from the window of promptId. */
  answer(promptId, allow, remember) {
    const prompt = this.byId.get(promptId);
    if (prompt) this.finish(prompt, { allow: allow === true, remember: remember === true });
  }

  /** The window of promptId, or the window windowId, went away without an answer. */
  abandoned({ promptId, windowId }) {
    for (const prompt of this.byId.values()) {
      if (prompt.id === promptId || (windowId !== undefined && prompt.windowId === windowId)) {
        this.finish(prompt, { error: failure(ERR.PROMPT_UNANSWERED, 'closed without an answer') });
      }
    }
  }

  finish(prompt, outcome) {
    if (prompt.done) return;
    prompt.done = true;
    this.byOrigin.delete(prompt.origin);
    this.byId.delete(prompt.id);
    prompt.resolve(outcome);
    if (prompt.windowId !== null) this.closeWindow(prompt.windowId);
  }
}
