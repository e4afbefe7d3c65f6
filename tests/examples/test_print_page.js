#!/usr/bin/env node
// Runs the script of examples/print.html against a small stand-in DOM and a stand-in plug-in that
// behaves as the real one does towards script (failures raise the message and keep it for
// getLastError(), which hands it out once). Checks what a web developer copies the page for: the
// install hint, the printer picker, the bytes of the two samples after Base64, and that every
// failure's message is shown.
'use strict';
const fs = require('fs');
const path = require('path');
const vm = require('vm');

const PAGE = path.join(__dirname, '..', '..', 'examples', 'print.html');
const MIME_TYPE = 'application/x-vnd-tovi-print';

let passed = 0;
let failed = 0;
function check(ok, what, detail) {
  if (ok) {
    passed++;
    console.log(`ok   ${what}`);
  } else {
    failed++;
    console.log(`FAIL ${what}${detail === undefined ? '' : '\n     ' + detail}`);
  }
}

// ---- Stand-in DOM: only what the page uses --------------------------------------------------

class Element {
  constructor(tag, id) {
    this.tagName = tag;
    this.id = id || '';
    this.children = [];
    this.style = {};
    this.disabled = false;
    this.className = '';
    this.textContent = '';
    this.selected = false;
    this.onclick = null;
    this._value = '';
  }
  appendChild(child) { this.children.push(child); return child; }
  removeChild(child) { this.children.splice(this.children.indexOf(child), 1); return child; }
  get options() { return this.children; }
  // A select's value is that of its selected option, else of its first one.
  get value() {
    if (this.tagName !== 'select') return this._value;
    const chosen = this.children.find((o) => o.selected) || this.children[0];
    return chosen ? chosen.value : '';
  }
  set value(v) {
    if (this.tagName !== 'select') { this._value = v; return; }
    this.children.forEach((o) => { o.selected = o.value === v; });
  }
}

function makeDocument() {
  const byId = {};
  const add = (tag, id) => (byId[id] = new Element(tag, id));
  ['status', 'install-help', 'log', 'plugin'].forEach((id) => add('div', id));
  ['refresh-printers', 'print-label', 'print-receipt', 'show-addresses'].forEach((id) => add('button', id));
  const select = add('select', 'printer');
  const first = select.appendChild(new Element('option'));
  first.value = '';
  return {
    byId,
    getElementById: (id) => byId[id] || null,
    createElement: (tag) => new Element(tag),
  };
}

// ---- Stand-in plug-in -----------------------------------------------------------------------

function makePlugin(options) {
  const plugin = {
    lastError: options.lastError || null,
    jobs: [],
    printers: options.printers || [],
    fail: options.fail || {},           // method name -> message
    throwAs: options.throwAs || 'string',
    swallowExceptions: !!options.swallowExceptions,
  };
  function raise(message) {
    plugin.lastError = message;
    if (plugin.swallowExceptions) return;
    throw plugin.throwAs === 'error' ? new Error(message) : message;
  }
  plugin.element = {
    getVersion: () => '0.0.0.11',
    getLastError: () => { const m = plugin.lastError; plugin.lastError = null; return m; },
    getPrinters: (array) => {
      if (plugin.fail.getPrinters) return raise(plugin.fail.getPrinters);
      plugin.printers.forEach((name) => array.push(name));
      return true;
    },
    getMacAddresses: (array) => {
      if (plugin.fail.getMacAddresses) return raise(plugin.fail.getMacAddresses);
      array.push('00-1A-2B-3C-4D-5E');
      return true;
    },
    print: (job) => {
      plugin.jobs.push(Object.assign({}, job));
      if (plugin.fail.print) return raise(plugin.fail.print);
      return undefined;
    },
  };
  return plugin;
}

// ---- Loading the page -----------------------------------------------------------------------

function pageScript() {
  const html = fs.readFileSync(PAGE, 'utf8');
  const scripts = [...html.matchAll(/<script>([\s\S]*?)<\/script>/g)].map((m) => m[1]);
  if (scripts.length !== 1) throw new Error(`expected one inline script, found ${scripts.length}`);
  if (/<script[^>]*\ssrc=|https?:\/\//i.test(html.replace(/<!--[\s\S]*?-->/g, ''))) {
    throw new Error('the page loads something from the network');
  }
  return scripts[0];
}

// state: 'missing', 'disabled', 'enabled'; pluginOptions: null for a plug-in the browser did not start.
function openPage(state, pluginOptions) {
  const document = makeDocument();
  const plugin = pluginOptions ? makePlugin(pluginOptions) : null;
  if (plugin) Object.assign(document.byId.plugin, plugin.element);
  const mimeTypes = {};
  if (state !== 'missing') mimeTypes[MIME_TYPE] = { enabledPlugin: state === 'enabled' ? {} : null };
  const listeners = [];
  const window = {
    btoa,
    addEventListener: (type, fn) => { if (type === 'load') listeners.push(fn); },
  };
  const context = vm.createContext({ window, document, navigator: { mimeTypes }, JSON, Uint8Array, String, Error });
  vm.runInContext(pageScript(), context, { filename: 'print.html' });
  listeners.forEach((fn) => fn());
  const byId = document.byId;
  return {
    byId,
    plugin,
    log: () => byId.log.children.map((li) => `${li.className}: ${li.textContent}`),
    printerNames: () => byId.printer.children.slice(1).map((o) => o.value),
    click: (id) => byId[id].onclick(),
    lastJobBytes: () => Buffer.from(plugin.jobs[plugin.jobs.length - 1].data, 'base64'),
  };
}

const bytes = (...values) => Buffer.from(values);
const text = (s, encoding) => Buffer.from(s, encoding || 'utf8');
const buttonsDisabled = (page) =>
  ['refresh-printers', 'print-label', 'print-receipt', 'show-addresses', 'printer']
    .every((id) => page.byId[id].disabled);

// ---- Cases ----------------------------------------------------------------------------------

function testDetection() {
  const cases = [
    { state: 'missing', plugin: null, status: /not installed/, help: 'block' },
    { state: 'disabled', plugin: null, status: /disabled/, help: undefined },
    { state: 'enabled', plugin: null, status: /not started it/, help: undefined },
  ];
  for (const c of cases) {
    const page = openPage(c.state, c.plugin);
    const status = page.byId.status.textContent;
    check(c.status.test(status), `${c.state}${c.plugin ? '' : ', not started'}: status says so`, status);
    check(page.byId['install-help'].style.display === c.help,
      `${c.state}: install help ${c.help ? 'shown' : 'hidden'}`);
    check(buttonsDisabled(page), `${c.state}: buttons disabled`);
  }
}

function testReady() {
  const page = openPage('enabled', { printers: ['Zebra ZD420', 'Büro'] });
  check(/0\.0\.0\.11/.test(page.byId.status.textContent), 'ready: version shown', page.byId.status.textContent);
  check(!buttonsDisabled(page), 'ready: buttons enabled');
  check(JSON.stringify(page.printerNames()) === JSON.stringify(['Zebra ZD420', 'Büro']),
    'ready: picker filled from getPrinters', page.printerNames());

  page.plugin.printers = ['Büro'];
  page.byId.printer.value = 'Büro';
  page.click('refresh-printers');
  check(JSON.stringify(page.printerNames()) === '["Büro"]' && page.byId.printer.value === 'Büro',
    'refresh: picker replaced, selection kept', page.printerNames());

  page.click('show-addresses');
  check(page.log().some((l) => l === 'ok: getMacAddresses: 00-1A-2B-3C-4D-5E'), 'MAC addresses logged', page.log());
}

function testSamples() {
  const page = openPage('enabled', { printers: ['Zebra ZD420', 'Büro'] });

  page.click('print-label');
  const job = page.plugin.jobs[0];
  check(job && !('printer' in job), 'default printer: no printer property at all', JSON.stringify(job));
  const label = page.lastJobBytes();
  check(label.subarray(0, 10).equals(text('^XA\n^CI28\n')) && label.subarray(-4).equals(text('^XZ\n')),
    'ZPL label: framed by ^XA/^CI28 and ^XZ', label.toString('latin1'));
  check(label.includes(text('Größe M – Preis 12,50 €')), 'ZPL label: field text as UTF-8 bytes',
    label.toString('hex'));
  check(/^[A-Za-z0-9+/]*={0,2}$/.test(job.data) && job.data.length % 4 === 0,
    'ZPL label: data is padded Base64 without whitespace');

  page.byId.printer.value = 'Büro';
  page.click('print-receipt');
  const receiptJob = page.plugin.jobs[1];
  check(receiptJob.printer === 'Büro', 'chosen printer passed as printer', JSON.stringify(receiptJob.printer));
  const receipt = page.lastJobBytes();
  check(receipt.subarray(0, 5).equals(bytes(0x1B, 0x40, 0x1B, 0x74, 16)), 'receipt: initialise, Windows-1252 table',
    receipt.toString('hex'));
  check(receipt.subarray(-4).equals(bytes(0x1D, 0x56, 66, 0)), 'receipt: ends with the cut');
  const cp1252 = [['Café Ternaport', bytes(0x43, 0x61, 0x66, 0xE9)], ['× Espresso', bytes(0xD7)],
    ['€ 8,40', bytes(0x80, 0x20, 0x38)], ['Crème brûlée', bytes(0x43, 0x72, 0xE8, 0x6D, 0x65, 0x20, 0x62, 0x72, 0xFB)]];
  for (const [what, expected] of cp1252) {
    check(receipt.includes(expected), `receipt: "${what}" as Windows-1252 bytes`, receipt.toString('hex'));
  }
  check(!receipt.includes(bytes(0xC3)), 'receipt: no UTF-8 lead bytes');
  check(page.log().filter((l) => l.startsWith('error')).length === 0, 'samples: no failure logged', page.log());
}

function testFailures() {
  const print412 = '?412 print failed - no such printer / no printers installed';
  const cases = [
    { what: 'exception as string', options: { throwAs: 'string', fail: { print: print412 } }, click: 'print-label',
      expect: `error: print(ZPL label) failed: ${print412} | getLastError(): ${print412}` },
    { what: 'exception as Error', options: { throwAs: 'error', fail: { print: print412 } }, click: 'print-receipt',
      expect: `error: print(ESC/POS receipt) failed: ${print412} | getLastError(): ${print412}` },
    { what: 'exception lost by the browser', options: { swallowExceptions: true, fail: { print: '?413 print failed' } },
      click: 'print-label', expect: 'error: print(ZPL label) failed | getLastError(): ?413 print failed' },
    { what: 'getPrinters failure', options: { fail: { getPrinters: '?303 getPrinters failed' } }, click: null,
      expect: 'error: getPrinters(array) failed: ?303 getPrinters failed | getLastError(): ?303 getPrinters failed' },
    { what: 'getMacAddresses failure', options: { fail: { getMacAddresses: '?201 getMacAddresses failed' } },
      click: 'show-addresses',
      expect: 'error: getMacAddresses(array) failed: ?201 getMacAddresses failed | getLastError(): ?201 getMacAddresses failed' },
  ];
  for (const c of cases) {
    const page = openPage('enabled', c.options);
    if (c.click) page.click(c.click);
    check(page.log().includes(c.expect), `failure shown, ${c.what}`, page.log().join('\n     '));
    check(!page.log().some((l) => l.startsWith('ok:') && /bytes sent/.test(l)), `${c.what}: no success claimed`);
  }

  // A message left by an earlier failure is not blamed on the next, successful call.
  const page = openPage('enabled', { lastError: '?101 expect one array argument', printers: ['P'] });
  page.click('print-label');
  check(!page.log().some((l) => l.startsWith('error')), 'an old getLastError() message is not reported as a new failure',
    page.log());
}

testDetection();
testReady();
testSamples();
testFailures();
console.log(`${passed} passed, ${failed} failed`);
process.exit(failed ? 1 : 0);
