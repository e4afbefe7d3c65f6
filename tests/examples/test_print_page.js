#!/usr/bin/env node
// Runs examples/print.html (the page library's classic script, then the page's own script) against
// a small stand-in DOM, on both roads: a stand-in plug-in that behaves as the real one does towards
// script (failures raise the message and keep it for getLastError(), which hands it out once), and a
// stand-in extension that answers as the bridge does. Checks what a web developer copies the page
// for: the install hint, the road shown, the printer picker, the bytes of the samples and of a chosen
// file, progress, and that every failure's message and code are shown.
'use strict';
const fs = require('fs');
const path = require('path');
const vm = require('vm');

const ROOT = path.join(__dirname, '..', '..');
const PAGE = path.join(ROOT, 'examples', 'print.html');
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

// ---- Stand-in DOM: only what the page and the library use -----------------------------------

class Element {
  constructor(tag, id) {
    this.tagName = tag;
    this.id = id || '';
    this.children = [];
    this.attributes = {};
    this.style = {};
    this.disabled = false;
    this.className = '';
    this.textContent = '';
    this.selected = false;
    this.onclick = null;
    this.parentNode = null;
    this.files = null;
    this._value = '';
  }
  setAttribute(name, value) { this.attributes[name] = String(value); }
  getAttribute(name) { return name in this.attributes ? this.attributes[name] : null; }
  appendChild(child) {
    this.children.push(child);
    child.parentNode = this;
    if (this.onChildAdded) this.onChildAdded(child);
    return child;
  }
  removeChild(child) { this.children.splice(this.children.indexOf(child), 1); child.parentNode = null; return child; }
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
  ['status', 'road', 'install-help', 'install-advice', 'log', 'last-error', 'progress-text'].forEach((id) => add('div', id));
  ['refresh-printers', 'print-label', 'print-receipt', 'show-addresses', 'print-file'].forEach((id) => add('button', id));
  add('input', 'file');
  add('progress', 'progress').value = 0;
  const select = add('select', 'printer');
  const first = select.appendChild(new Element('option'));
  first.value = '';
  return {
    byId,
    body: new Element('body'),
    documentElement: new Element('html'),
    getElementById: (id) => byId[id] || null,
    createElement: (tag) => new Element(tag),
    querySelector: () => null,  // the page embeds no plug-in element: the library makes one
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

// ---- Stand-in extension: the bridge's answers, parts joined as the bridge joins them ----------

function makeBridge(options) {
  const bridge = { jobs: [], requests: [], printers: options.printers || [], fail: options.fail || {} };
  let pending = null;
  bridge.answer = (request) => {
    bridge.requests.push(request);
    const failure = bridge.fail[request.method];
    if (failure) return { error: { code: Number(failure.slice(1, 4)), message: failure } };
    if (request.method === 'getVersion') return { result: '0.0.0.11' };
    if (request.method === 'getPrinters') return { result: bridge.printers };
    if (request.method === 'getMacAddresses') return { result: ['00-1A-2B-3C-4D-5E'] };
    const { data, printer, part, parts } = request.params;
    if (part && part !== (pending ? pending.next : 1)) return { error: { code: 605, message: '?605 document parts out of order' } };
    if (part === 1) pending = { printer, data: [], next: 1 };
    if (part) {
      pending.data.push(data);
      pending.next++;
      if (part < parts) return { result: { received: part } };
    }
    const job = part ? { printer: pending.printer, data: pending.data.join('') } : { printer, data };
    if (job.printer === undefined) delete job.printer;
    pending = null;
    bridge.jobs.push(job);
    return { result: true };
  };
  return bridge;
}

// ---- Loading the page -----------------------------------------------------------------------

function pageScripts() {
  const html = fs.readFileSync(PAGE, 'utf8').replace(/<!--[\s\S]*?-->/g, '');
  if (/https?:\/\//i.test(html)) throw new Error('the page loads something from the network');
  const scripts = [...html.matchAll(/<script(?: src="([^"]+)")?>([\s\S]*?)<\/script>/g)];
  if (scripts.length !== 2 || scripts[0][1] !== '../web/tovi-print.classic.js' || scripts[1][1]) {
    throw new Error('expected the library as a classic script, then one inline script');
  }
  const library = path.join(path.dirname(PAGE), scripts[0][1]);
  return [{ file: library, source: fs.readFileSync(library, 'utf8') }, { file: 'print.html', source: scripts[1][2] }];
}

const tick = (ms) => new Promise((resolve) => setTimeout(resolve, ms || 0));

// state: 'missing', 'disabled', 'enabled' (the plug-in's MIME type); pluginOptions: null for a
// plug-in the browser does not start; bridgeOptions: an extension present, answering as the bridge.
async function openPage(state, pluginOptions, bridgeOptions) {
  const { makeWindow, attachExtension } = await import('../web/stand-ins.mjs');
  const win = makeWindow({ plugin: state, userAgent: 'Mozilla/5.0 Goanna/6.7 Firefox/102.0 PaleMoon/33.6.0' });
  const document = makeDocument();
  win.document = document;
  const plugin = pluginOptions ? makePlugin(pluginOptions) : null;
  // The browser starts the plug-in a little after its element enters the page.
  document.body.onChildAdded = (child) => {
    if (plugin && child.attributes.type === MIME_TYPE) setTimeout(() => Object.assign(child, plugin.element), 20);
  };
  const bridge = bridgeOptions ? makeBridge(bridgeOptions) : null;
  if (bridge) {
    document.documentElement.setAttribute('data-tovi-print', '1.0.0');
    attachExtension(win, bridge.answer);
  }
  const loads = [];
  win.addEventListener = ((add) => (type, fn) => (type === 'load' ? loads.push(fn) : add(type, fn)))(win.addEventListener);
  Object.assign(win, { window: win, btoa, setTimeout, clearTimeout, setInterval, clearInterval });
  const context = vm.createContext(win);
  // Inside the context the window is its global object, which is not the object given to vm.
  const pageWindow = vm.runInContext('this', context);
  const deliver = win.deliver;
  win.deliver = (data, source) => deliver(data, source === win ? pageWindow : source);
  for (const script of pageScripts()) vm.runInContext(script.source, context, { filename: script.file });
  for (const fn of loads) await fn();
  const byId = document.byId;
  const jobs = () => (plugin ? plugin.jobs : bridge.jobs);
  return {
    byId,
    plugin,
    bridge,
    document,
    log: () => byId.log.children.map((li) => `${li.className}: ${li.textContent}`),
    printerNames: () => byId.printer.children.slice(1).map((o) => o.value),
    click: (id) => byId[id].onclick(),
    lastJobBytes: () => Buffer.from(jobs()[jobs().length - 1].data, 'base64'),
  };
}

const bytes = (...values) => Buffer.from(values);
const text = (s, encoding) => Buffer.from(s, encoding || 'utf8');
const controlsDisabled = (page) =>
  ['refresh-printers', 'print-label', 'print-receipt', 'show-addresses', 'print-file', 'file', 'printer']
    .every((id) => page.byId[id].disabled);

// ---- Cases ----------------------------------------------------------------------------------

async function testDetection() {
  const cases = [
    { state: 'missing', plugin: null, advice: /nothing installed for this browser - install the Ternaport Print Plugin/, help: 'block' },
    { state: 'disabled', plugin: null, advice: /installed but disabled/, help: 'block' },
    { state: 'enabled', plugin: null, advice: /has not started on this page/, help: 'block' },
  ];
  for (const c of cases) {
    const page = await openPage(c.state, c.plugin);
    const advice = page.byId['install-advice'].textContent;
    check(c.advice.test(advice), `${c.state}${c.plugin ? '' : ', not started'}: the page says so`, advice);
    check(/code 660/.test(page.byId.status.textContent), `${c.state}: status gives the code`, page.byId.status.textContent);
    check(page.byId['install-help'].style.display === c.help, `${c.state}: install help shown`);
    check(!/\?660/.test(advice), `${c.state}: the advice is the library's words`, advice);
    check(controlsDisabled(page), `${c.state}: controls disabled`);
  }
}

async function testReady() {
  const roads = [
    { road: 'plugin', open: () => openPage('enabled', { printers: ['Zebra ZD420', 'Büro'] }) },
    { road: 'extension', open: () => openPage('missing', null, { printers: ['Zebra ZD420', 'Büro'] }) },
  ];
  for (const r of roads) {
    const page = await r.open();
    check(/0\.0\.0\.11/.test(page.byId.status.textContent), `${r.road}: version shown`, page.byId.status.textContent);
    check(page.byId.road.textContent === `Printing through the ${r.road === 'plugin' ? 'plug-in' : 'extension'}.`,
      `${r.road}: road shown`, page.byId.road.textContent);
    check(!controlsDisabled(page), `${r.road}: controls enabled`);
    check(JSON.stringify(page.printerNames()) === JSON.stringify(['Zebra ZD420', 'Büro']),
      `${r.road}: picker filled from the printer list`, page.printerNames());

    (page.plugin || page.bridge).printers = ['Büro'];
    page.byId.printer.value = 'Büro';
    await page.click('refresh-printers');
    check(JSON.stringify(page.printerNames()) === '["Büro"]' && page.byId.printer.value === 'Büro',
      `${r.road}: refresh: picker replaced, selection kept`, page.printerNames());

    await page.click('show-addresses');
    check(page.log().some((l) => l === 'ok: MAC addresses: 00-1A-2B-3C-4D-5E'), `${r.road}: MAC addresses logged`, page.log());
  }
}

async function testSamples() {
  const page = await openPage('enabled', { printers: ['Zebra ZD420', 'Büro'] });

  await page.click('print-label');
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
  await page.click('print-receipt');
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

// A chosen file goes out byte for byte, in parts on the extension road, with progress shown.
async function testFile() {
  const content = Buffer.alloc(3 * 1024 * 1024 + 7);
  for (let i = 0; i < content.length; i++) content[i] = (i * 7919) >>> 3;
  for (const road of ['plugin', 'extension']) {
    const page = road === 'plugin' ? await openPage('enabled', { printers: ['Zebra'] }) : await openPage('missing', null, { printers: ['Zebra'] });
    await page.click('print-file');
    check(page.log().includes('error: choose a file first'), `${road}: no file chosen: said so`, page.log());
    page.byId.file.files = [Object.assign(new Blob([content]), { name: 'big.prn' })];
    page.byId.printer.value = 'Zebra';
    await page.click('print-file');
    check(page.lastJobBytes().equals(content), `${road}: the file's bytes arrive unchanged`);
    check(page.byId.progress.value === 1 && page.byId['progress-text'].textContent === `${content.length} of ${content.length} bytes`,
      `${road}: progress complete`, `${page.byId.progress.value} ${page.byId['progress-text'].textContent}`);
    check(page.log().at(-1) === `ok: big.prn (${content.length} bytes) sent to Zebra`, `${road}: print logged`, page.log());
    if (road === 'extension') {
      const parts = page.bridge.requests.filter((r) => r.method === 'print').map((r) => r.params.part);
      check(JSON.stringify(parts) === '[1,2,3,4,5]', 'extension: the file went in 1 MiB parts', JSON.stringify(parts));
    }
  }
}

async function testFailures() {
  const print412 = '?412 print failed - no such printer / no printers installed';
  const cases = [
    { what: 'exception as string', options: { throwAs: 'string', fail: { print: print412 } }, click: 'print-label',
      expect: `error: print(ZPL label) failed: ${print412} (code 412)` },
    { what: 'exception as Error', options: { throwAs: 'error', fail: { print: print412 } }, click: 'print-receipt',
      expect: `error: print(ESC/POS receipt) failed: ${print412} (code 412)` },
    { what: 'exception lost by the browser', options: { swallowExceptions: true, fail: { print: '?413 print failed' } },
      click: 'print-label', expect: 'error: print(ZPL label) failed: ?413 print failed (code 413)' },
    { what: 'getPrinters failure', options: { fail: { getPrinters: '?303 getPrinters failed' } }, click: null,
      expect: 'error: printers() failed: ?303 getPrinters failed (code 303)' },
    { what: 'getMacAddresses failure', options: { fail: { getMacAddresses: '?201 getMacAddresses failed' } },
      click: 'show-addresses', expect: 'error: macAddresses() failed: ?201 getMacAddresses failed (code 201)' },
    { what: 'extension: the bridge refuses the site', bridge: { fail: { print: '?501 access denied - this site may not use the plug-in' } },
      click: 'print-label', expect: 'error: print(ZPL label) failed: ?501 access denied - this site may not use the plug-in (code 501)' },
  ];
  for (const c of cases) {
    const page = c.bridge ? await openPage('missing', null, c.bridge) : await openPage('enabled', c.options);
    if (c.click) await page.click(c.click);
    check(page.log().includes(c.expect), `failure shown, ${c.what}`, page.log().join('\n     '));
    check(/^Error \d{3}: \?\d{3} /.test(page.byId['last-error'].textContent), `${c.what}: error and code shown`,
      page.byId['last-error'].textContent);
    check(!page.log().some((l) => l.startsWith('ok:') && /sent to/.test(l)), `${c.what}: no success claimed`);
  }

  // A message left by an earlier failure is not blamed on the next, successful call.
  const page = await openPage('enabled', { lastError: '?101 expect one array argument', printers: ['P'] });
  await page.click('print-label');
  check(!page.log().some((l) => l.startsWith('error')), 'an old getLastError() message is not reported as a new failure',
    page.log());
}

(async () => {
  await testDetection();
  await testReady();
  await testSamples();
  await testFile();
  await testFailures();
  console.log(`${passed} passed, ${failed} failed`);
  process.exit(failed ? 1 : 0);
})().catch((error) => {
  console.log(`FAIL the page could not be run: ${error.stack}`);
  console.log(`${passed} passed, ${failed + 1} failed`);
  process.exit(1);
});
