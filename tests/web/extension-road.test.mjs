// The extension road against a stand-in content script: message shape, parts and their acks,
// errors kept, replies out of order or from elsewhere, a host that exits, an extension that vanishes.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { randomBytes } from 'node:crypto';
import { connect } from '../../web/tovi-print.js';
import { attachExtension, makeWindow, tick } from './stand-ins.mjs';

const MiB = 1024 * 1024;
const RESULTS = { getVersion: '0.0.0.11', getPrinters: ['Zebra', 'Büro'], getMacAddresses: ['00:1A:2B:3C:4D:5E'] };

// The bridge's answers: lists and version, true for a print, {received: k} for parts before the last.
function bridge(request) {
  if (request.method !== 'print') return { result: RESULTS[request.method] };
  const { part, parts } = request.params;
  return { result: part && part < parts ? { received: part } : true };
}

async function open(answer = bridge, options = {}) {
  const win = makeWindow({ plugin: 'missing', mark: '1.0.0' });
  const extension = attachExtension(win, answer);
  const printer = await connect(Object.assign({ window: win }, options));
  return { win, extension, printer };
}

test('calls go out in the channel format and come back', async () => {
  const { printer, extension, win } = await open();
  assert.equal(printer.road, 'extension');
  assert.equal(await printer.version(), '0.0.0.11');
  assert.deepEqual(await printer.printers(), ['Zebra', 'Büro']);
  assert.deepEqual(await printer.macAddresses(), ['00:1A:2B:3C:4D:5E']);
  await printer.print(new Uint8Array([0, 255]), { printer: 'Büro' });
  await printer.print('QQ==');
  const [first, , , small, toDefault] = extension.requests;
  assert.deepEqual(Object.keys(first).sort(), ['channel', 'id', 'method', 'params', 'type', 'v']);
  assert.deepEqual([first.channel, first.v, first.type, first.method, first.params], ['tovi-print', 1, 'request', 'getVersion', {}]);
  assert.deepEqual(small.params, { data: 'AP8=', printer: 'Büro' });
  assert.deepEqual(toDefault.params, { data: 'QQ==' }, 'no printer, no part/parts for one part');
  const ids = extension.requests.map((r) => r.id);
  assert.ok(ids.every(Number.isSafeInteger) && new Set(ids).size === ids.length, 'ids are unique integers');
  assert.ok(win.targets.every((t) => t === 'https://shop.example'), 'posted to the page\'s own origin');
});

test('a large document goes in 1 MiB parts, each acknowledged before the next', async (t) => {
  const cases = [
    { what: 'bytes, 3.5 MiB of Base64', document: new Uint8Array(randomBytes(Math.floor(3.5 * MiB / 4) * 3)), parts: 4 },
    { what: 'Base64 text, exactly 2 MiB', document: Buffer.from(randomBytes(2 * MiB / 4 * 3)).toString('base64'), parts: 2 },
    { what: 'one byte over one part', document: new Uint8Array(MiB / 4 * 3 + 1), parts: 2 },
  ];
  for (const c of cases) {
    await t.test(c.what, async () => {
      const { printer, extension } = await open();
      const progress = [];
      await printer.print(c.document, { printer: 'Zebra', onProgress: (p) => progress.push(p.sent) });
      const sent = extension.requests;
      assert.equal(sent.length, c.parts);
      sent.forEach((r, i) => {
        assert.equal(r.params.part, i + 1);
        assert.equal(r.params.parts, c.parts);
        assert.equal(r.params.printer, i === 0 ? 'Zebra' : undefined, 'printer in part 1 only');
        assert.ok(r.params.data.length <= MiB);
      });
      const expected = typeof c.document === 'string' ? c.document : Buffer.from(c.document).toString('base64');
      assert.ok(sent.map((r) => r.params.data).join('') === expected, 'parts join to the document');
      assert.equal(extension.maxInFlight, 1, 'one part in flight at a time');
      assert.equal(progress.length, c.parts + 1);
      assert.ok(progress.every((v, i) => i === 0 || v > progress[i - 1]), 'progress only grows');
      assert.equal(progress.at(-1), Buffer.from(expected, 'base64').length);
    });
  }
});

test('failures keep the code, the text and the road; a failed part stops the rest', async (t) => {
  const P412 = '?412 print failed - no such printer / no printers installed';
  const cases = [
    { what: "the module's failure", failAt: 1, error: { code: 412, message: P412 }, sent: 1 },
    { what: 'the host exited during part 2', failAt: 2, error: { code: 631, message: 'native host exited while the request was in flight' }, sent: 2 },
    { what: 'parts out of order at the bridge', failAt: 3, error: { code: 605, message: '?605 document parts out of order - part 3' }, sent: 3 },
    { what: 'consent denied', failAt: 1, error: { code: 632, message: 'the user denied this site' }, sent: 1 },
  ];
  for (const c of cases) {
    await t.test(c.what, async () => {
      const { printer, extension } = await open((request) => (request.method === 'print' && (request.params.part || 1) === c.failAt
        ? { error: c.error } : bridge(request)));
      await assert.rejects(printer.print(new Uint8Array(3 * MiB)), (error) => {
        assert.deepEqual([error.name, error.code, error.message, error.road], ['ToviPrintError', c.error.code, c.error.message, 'extension']);
        return true;
      });
      assert.equal(extension.requests.length, c.sent, 'nothing sent after the failed part');
      assert.equal(await printer.version(), '0.0.0.11', 'the next call works');
    });
  }
});

test('a part acknowledged wrongly stops the print with 664', async () => {
  const { printer, extension } = await open((request) => (request.method === 'print' ? { result: { received: 7 } } : bridge(request)));
  await assert.rejects(printer.print(new Uint8Array(2 * MiB)), { code: 664, message: /part 1 of 3 was not acknowledged/ });
  assert.equal(extension.requests.length, 1);
});

test('replies out of order reach their own calls; foreign and malformed messages are ignored', async () => {
  const held = (request) => (request.method === 'getVersion' || request.method === 'getPrinters' ? null : bridge(request));
  const { win, extension, printer } = await open(held);
  const second = await connect({ window: win });
  const version = printer.version();
  const names = second.printers();
  await tick(5);
  const [versionRequest, namesRequest] = extension.held;
  const other = { postMessage() {} };
  const forged = (id, result) => ({ channel: 'tovi-print', v: 1, type: 'reply', id, result });
  win.deliver(forged(versionRequest.id, 'from a frame'), other);
  win.deliver(Object.assign(forged(versionRequest.id, 'old format'), { v: 2 }), win);
  win.deliver(Object.assign(forged(versionRequest.id, 'no channel'), { channel: 'x' }), win);
  win.deliver(forged(versionRequest.id + 1000, 'unknown id'), win);
  win.deliver('just text', win);
  extension.reply(namesRequest.id, { result: ['Zebra'] });
  extension.reply(versionRequest.id, { result: '0.0.0.11' });
  assert.deepEqual(await Promise.all([version, names]), ['0.0.0.11', ['Zebra']]);
});

test('calls on one printer wait for the one before', async () => {
  const { extension, printer } = await open((request) => (request.method === 'getVersion' ? null : bridge(request)));
  const version = printer.version();
  const names = printer.printers();
  await tick(10);
  assert.deepEqual(extension.requests.map((r) => r.method), ['getVersion']);
  extension.reply(extension.held[0].id, { result: '0.0.0.11' });
  assert.deepEqual(await Promise.all([version, names]), ['0.0.0.11', ['Zebra', 'Büro']]);
});

test('an extension that stops answering fails the calls in flight with 664', async () => {
  const { extension, printer, win } = await open(() => null, { liveness: 20 });
  const version = printer.version();
  await tick(5);
  extension.present = false;  // the content script is gone
  await assert.rejects(version, { code: 664, road: 'extension', message: /no longer answers/ });
  await assert.rejects(printer.printers(), { code: 664 });
  assert.equal(win.listenerCount(), 0, 'its listener is removed');
});

test('a slow answer from a live extension is waited for', async () => {
  const { extension, printer } = await open((request) => (request.method === 'print' ? null : bridge(request)), { liveness: 10 });
  const printing = printer.print('QQ==');
  await tick(80);  // the user reads the consent prompt
  extension.reply(extension.held[0].id, { result: true });
  await printing;
});

test('close() fails calls in flight and later ones with 664', async () => {
  const { printer, win } = await open(() => null);
  const version = printer.version();
  const queued = printer.printers();
  await tick(5);
  printer.close();
  await assert.rejects(version, { code: 664 });
  await assert.rejects(queued, { code: 664 });
  await assert.rejects(printer.print('QQ=='), { code: 664 });
  assert.equal(win.listenerCount(), 0);
});
