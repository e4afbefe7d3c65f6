// The options page: every remembered choice, each with a button that revokes it.
import { CAPABILITY_TEXT } from './lib/protocol.js';
import { listChoices, revoke } from './lib/choices.js';

const api = globalThis.browser ?? globalThis.chrome;
const area = api.storage.local;

async function show() {
  const rows = await listChoices(area);
  const body = document.querySelector('#choices tbody');
  body.replaceChildren(...rows.map(({ origin, capability, choice }) => {
    const tr = document.createElement('tr');
    tr.dataset.origin = origin;
    tr.dataset.capability = capability;
    for (const text of [origin, CAPABILITY_TEXT[capability] ?? capability, choice]) {
      const td = document.createElement('td');
      td.textContent = text;
      tr.append(td);
    }
    const button = document.createElement('button');
    button.textContent = 'Revoke';
    button.className = 'revoke';
    button.addEventListener('click', () => revoke(area, origin, capability));
    const td = document.createElement('td');
    td.append(button);
    tr.append(td);
    return tr;
  }));
  document.getElementById('none').hidden = rows.length > 0;
  document.body.dataset.ready = String(rows.length);
}

api.storage.onChanged.addListener((_, areaName) => { if (areaName === 'local') show(); });
show();
