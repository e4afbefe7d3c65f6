// The plug-in road against stand-in elements: the module's failures in every form a browser shows
// them (or loses them), a stale getLastError() message, arguments, order, and the element's start.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { connect } from '../../web/tovi-print.js';
import { makePluginElement, makeWindow, tick } from './stand-ins.mjs';

const P412 = '?412 print failed - no such printer / no printers installed';

function open(elementOptions, connectOptions = {}) {
  const win = makeWindow({ plugin: 'enabled' });
  const element = makePluginElement(elementOptions);
  win.document.elements.push(element);
  return connect(Object.assign({ window: win }, connectOptions)).then((printer) => ({ printer, element, win }));
}

const bytesOf = (job) => Buffer.from(job.data, 'base64');

test('calls reach the element and come back as promises', async () => {
  const { printer, element } = await open({ printers: ['Zebra ZD420', 'Büro'] });
  assert.equal(printer.road, 'plugin');
  assert.equal(await printer.version(), '0.0.0.11');
  assert.deepEqual(await printer.printers(), ['Zebra ZD420', 'Büro']);
  assert.deepEqual(await printer.macAddresses(), ['00:1A:2B:3C:4D:5E']);
  const seen = [];
  await printer.print(new Uint8Array([0, 0x5E, 0xFF]), { printer: 'Büro', onProgress: (p) => seen.push(p) });
  await printer.print('QUJD');
  assert.deepEqual([...bytesOf(element.state.jobs[0])], [0, 0x5E, 0xFF]);
  assert.equal(element.state.jobs[0].printer, 'Büro');
  assert.ok(!('printer' in element.state.jobs[1]), 'default printer: no printer property at all');
  assert.equal(element.state.jobs[1].data, 'QUJD');
  assert.deepEqual(seen, [{ sent: 0, total: 3 }, { sent: 3, total: 3 }]);
});

test("failures keep the module's code and text however the browser shows them", async (t) => {
  const cases = [
    { what: 'exception as a string', options: { throwAs: 'string', fail: { print: P412 } }, call: 'print', code: 412, message: P412 },
    { what: 'exception as an Error', options: { throwAs: 'error', fail: { print: P412 } }, call: 'print', code: 412, message: P412 },
    { what: 'exception lost by the browser', options: { swallow: true, fail: { print: '?413 print failed' } }, call: 'print', code: 413, message: '?413 print failed' },
    { what: "WebKit's own words for a list failure", options: { throwAs: 'generic', fail: { getPrinters: '?303 getPrinters failed' } }, call: 'printers', code: 303, message: '?303 getPrinters failed' },
    { what: 'lost list failure', options: { swallow: true, fail: { getMacAddresses: '?502 access denied - hardware addresses are turned off' } }, call: 'macAddresses', code: 502, message: '?502 access denied - hardware addresses are turned off' },
    { what: 'policy refusal', options: { fail: { print: '?501 access denied - this site may not use the plug-in' } }, call: 'print', code: 501, message: '?501 access denied - this site may not use the plug-in' },
  ];
  for (const c of cases) {
    await t.test(c.what, async () => {
      const { printer } = await open(c.options);
      const call = c.call === 'print' ? printer.print(new Uint8Array([65])) : printer[c.call]();
      await assert.rejects(call, (error) => {
        assert.equal(error.name, 'ToviPrintError');
        assert.deepEqual([error.code, error.message, error.road], [c.code, c.message, 'plugin']);
        return true;
      });
    });
  }
});

test('an exception without any message is 663, with what the browser said', async () => {
  const { printer, element } = await open({});
  element.print = () => { throw new Error('Error calling method on NPObject.'); };
  await assert.rejects(printer.print('QQ=='), { code: 663, message: /^\?663 .*Error calling method on NPObject\.$/ });
});

test('a stale getLastError() message is not blamed on a later call', async () => {
  const { printer, element } = await open({ lastError: '?101 expect one array argument', printers: ['P'] });
  assert.equal(element.state.lastError, '?101 expect one array argument');
  await printer.print('QQ==');
  assert.deepEqual(await printer.printers(), ['P']);
});

test('bad arguments are refused before the plug-in is called', async (t) => {
  const { printer, element } = await open({});
  const cases = [
    ['printer name a number', () => printer.print('QQ==', { printer: 7 })],
    ['document a number', () => printer.print(7)],
    ['document an array', () => printer.print([65, 66])],
    ['onProgress not a function', () => printer.print('QQ==', { onProgress: 'yes' })],
  ];
  for (const [what, call] of cases) {
    await t.test(what, () => assert.rejects(call(), { code: 662, road: 'plugin' }));
  }
  assert.equal(element.state.jobs.length, 0);
});

test('calls run one at a time in the order made, also behind a Blob being read', async () => {
  const { printer, element } = await open({});
  const order = [];
  const done = Promise.all([
    printer.print(new Blob([new Uint8Array(5 * 1024 * 1024)])).then(() => order.push('print')),
    printer.version().then(() => order.push('version')),
    printer.printers().then(() => order.push('printers')),
  ]);
  await done;
  assert.deepEqual(order, ['print', 'version', 'printers']);
  assert.deepEqual(element.state.calls, ['getVersion', 'print', 'getVersion', 'getPrinters']);
});

test('a progress callback that throws does not fail the print', async () => {
  const { printer, element } = await open({});
  const uncaught = [];
  globalThis.reportError = (e) => uncaught.push(e.message);
  try {
    await printer.print('QQ==', { onProgress: () => { throw new Error('page bug'); } });
  } finally {
    delete globalThis.reportError;
  }
  assert.equal(element.state.jobs.length, 1);
  assert.deepEqual(uncaught, ['page bug', 'page bug']);
});

test('an element made by the library waits for the browser to start it, and goes on close()', async () => {
  const win = makeWindow({ plugin: 'enabled' });
  const later = makePluginElement({});
  const connecting = connect({ window: win });
  await tick(60);
  const made = win.document.created[0];
  assert.equal(made.attributes.type, 'application/x-vnd-tovi-print');
  assert.notEqual(made.style.display, 'none');
  assert.equal(made.parentNode, win.document.body);
  Object.assign(made, later);  // the browser starts the plug-in
  const printer = await connecting;
  assert.equal(await printer.version(), '0.0.0.11');
  printer.close();
  assert.equal(made.parentNode, null);
  await assert.rejects(printer.version(), { code: 664 });
});

test("an element given by the page stays the page's", async () => {
  const win = makeWindow({ plugin: 'missing' });
  const element = makePluginElement({});
  win.document.body.appendChild(element);
  const printer = await connect({ window: win, element, road: 'plugin' });
  printer.close();
  assert.equal(element.parentNode, win.document.body);
});
