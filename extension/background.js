/**
 * The extension's background (a service worker in Chromium, an event page in Firefox): relays the
 * content scripts' requests to the native host, after the user's consent, and serves the consent window.
 */
import { HOST_NAME, ERR, failure } from './lib/protocol.js';
import { HostConnection } from './lib/host_connection.js';
import { Prompts } from './lib/prompts.js';
import { createRelay } from './lib/relay.js';

const api = globalThis.browser ?? globalThis.chrome;

const host = new HostConnection(() => api.runtime.connectNative(HOST_NAME), {
  lastError: () => api.runtime.lastError?.message,
});

const prompts = new Prompts(
  async (promptId) => {
    const window = await api.windows.create({
      url: api.runtime.getURL(`consent.html?prompt=${promptId}`), type: 'popup', width: 460, height: 300,
    });
    return window.id;
  },
  (windowId) => { api.windows.remove(windowId).catch(() => {}); },
);
api.windows.onRemoved.addListener((windowId) => prompts.abandoned({ windowId }));

const relay = createRelay({ host, prompts, area: api.storage.local });

// Requests from the content scripts: only this extension's own, from a frame of a tab.
api.runtime.onMessage.addListener((message, sender, sendResponse) => {
  if (sender.id !== api.runtime.id || !sender.tab || message?.type !== 'request') return false;
  relay(message, sender).then(sendResponse,
    (e) => sendResponse({ error: failure(ERR.MALFORMED, String(e?.message ?? e)) }));
  return true; // the answer comes later
});

// The consent window: it names its prompt, is told what to show, and sends the user's answer. Its
// port also keeps the background alive while the user decides; the port dropping means no answer.
api.runtime.onConnect.addListener((port) => {
  if (port.name !== 'consent' || port.sender?.id !== api.runtime.id ||
      !port.sender.url?.startsWith(api.runtime.getURL('consent.html'))) return;
  let promptId = null;
  port.onMessage.addListener((message) => {
    if (promptId === null && Number.isInteger(message?.prompt)) {
      const details = prompts.details(message.prompt);
      if (details) promptId = message.prompt;
      port.postMessage(details ?? { gone: true });
    } else if (promptId !== null && (message?.answer === 'allow' || message?.answer === 'deny')) {
      prompts.answer(promptId, message.answer === 'allow', message.remember === true);
    }
  });
  port.onDisconnect.addListener(() => { if (promptId !== null) prompts.abandoned({ promptId }); });
});
