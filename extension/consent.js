// The consent window: shows which site asks for what, and sends the user's answer to the background.
import { CAPABILITY_TEXT } from './lib/protocol.js';

const api = globalThis.browser ?? globalThis.chrome;
const promptId = Number(new URLSearchParams(location.search).get('prompt'));
const port = api.runtime.connect({ name: 'consent' });
const $ = (id) => document.getElementById(id);

port.onMessage.addListener((details) => {
  if (details.gone || !Object.hasOwn(CAPABILITY_TEXT, details.capability)) {
    $('gone').hidden = false;
    return;
  }
  $('origin').textContent = details.origin;
  $('capability').textContent = CAPABILITY_TEXT[details.capability];
  $('question').hidden = false;
  for (const answer of ['allow', 'deny']) {
    $(answer).disabled = false;
    $(answer).addEventListener('click', () => {
      port.postMessage({ answer, remember: $('remember').checked });
    });
  }
});
port.postMessage({ prompt: promptId });
// Messages keep the background alive while the user takes their time.
setInterval(() => port.postMessage({ alive: true }), 20000);
