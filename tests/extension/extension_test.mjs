// The extension's background logic in Node, against stand-ins for the browser's port, windows and
// storage: what it sends to the host, what it refuses, and when it asks the user.
import assert from 'node:assert/strict';
import crypto from 'node:crypto';
import fs from 'node:fs';
import path from 'node:path';
import test, { after } from 'node:test';
import { fileURLToPath } from 'node:url';
import { CAPABILITY, HOST_NAME, MAX_IN_FLIGHT_PER_FRAME, MAX_MESSAGE_CHARS, failure } from '../../extension/lib/protocol.js';
import { hostFields } from '../../extension/lib/requests.js';
import { senderOrigin } from '../../extension/lib/sender.js';
import { HostConnection } from '../../extension/lib/host_connection.js';
import { Prompts } from '../../extension/lib/prompts.js';
import { createRelay } from '../../extension/lib/relay.js';
import { listChoices, remember, revoke } from '../../extension/lib/choices.js';

const ROOT = path.join(path.dirname(fileURLToPath(import.meta.url)), '..', '..');
const tick = () => new Promise((resolve) => setImmediate(resolve));

/** A native port that records what is posted and lets the test answer or drop it. */
class FakePort {
  constructor({ throwOnPost } = {}) {
    this.posted = [];
    this.listeners = { message: [], disconnect: [] };
    this.onMessage = { addListener: (f) => this.listeners.message.push(f) };
    this.onDisconnect = { addListener: (f) => this.listeners.disconnect.push(f) };
    this.throwOnPost = throwOnPost;
    this.disconnected = false;
  }
  postMessage(m) {
    if (this.throwOnPost) throw new Error(this.throwOnPost);
    this.posted.push(m);
  }
  disconnect() { this.disconnected = true; }
  reply(m) { this.listeners.message.forEach((f) => f(m)); }
  drop(message) {
    this.error = message && { message };
    this.listeners.disconnect.forEach((f) => f(this));
  }
}

const hosts = [];
after(() => hosts.forEach((host) => host.close())); // their idle timers would keep Node waiting

function connection(options = {}) {
  const ports = [];
  const host = new HostConnection(() => {
    const port = new FakePort(options.port);
    ports.push(port);
    return port;
  }, { idleMs: options.idleMs ?? 60000 });
  hosts.push(host);
  return { host, ports };
}

test('page requests: what reaches the host, and what is refused as malformed', () => {
  const ok = (method, params, fields) => [method, params, { fields }];
  const bad = (method, params) => [method, params, 636];
  const table = [
    ok('getVersion', {}, { method: 'getVersion' }),
    ok('getMacAddresses', {}, { method: 'getMacAddresses' }),
    ok('print', { data: 'QUJD' }, { method: 'print', data: 'QUJD' }),
    ok('print', { data: '', printer: 'Büro' }, { method: 'print', data: '', printer: 'Büro' }),
    ok('print', { data: 'QQ', part: 2, parts: 2 }, { method: 'print', data: 'QQ', part: 2, parts: 2 }),
    bad('status', {}), // the host's own, not a page's
    bad('print', { data: 'QQ==', origin: 'https://bank.example' }),
    bad('getPrinters', { origin: 'https://bank.example' }),
    bad('print', {}),
    bad('print', { data: 42 }),
    bad('print', { data: 'QQ==', printer: null }),
    bad('print', { data: 'QQ==', part: 1 }),
    bad('print', { data: 'QQ==', part: 0, parts: 2 }),
    bad('print', { data: 'QQ==', part: 3, parts: 2 }),
    bad('print', { data: 'QQ==', part: 1, parts: 1 }),
    bad('print', { data: 'QQ==', part: 1.5, parts: 2 }),
    bad('print', ['QQ==']),
    bad('print', null),
    bad('toString', {}),
    bad('__proto__', {}),
    bad(7, {}),
  ];
  for (const [method, params, expected] of table) {
    const got = hostFields(method, params);
    if (typeof expected === 'number') assert.equal(got.error?.code, expected, `${method} ${JSON.stringify(params)}`);
    else assert.deepEqual(got, expected);
  }
});

test('the origin is the one the browser reports for the frame, and only http(s)', () => {
  const table = [
    [{ origin: 'https://shop.example', url: 'https://other.example/x' }, 'https://shop.example'],
    [{ url: 'http://127.0.0.1:8080/a/b?c#d' }, 'http://127.0.0.1:8080'], // Firefox: from the frame's url
    [{ url: 'https://xn--tky-qxac.example/' }, 'https://xn--tky-qxac.example'],
    [{ origin: 'null', url: 'https://shop.example/' }, null], // sandboxed: opaque, the url is not asked
    [{ url: 'file:///home/user/page.html' }, null],
    [{ url: 'data:text/html,<p>x' }, null],
    [{ origin: 'chrome-extension://abc' }, null],
    [{ url: 'moz-extension://abc/page.html' }, null],
    [{ origin: 'https://shop.example/path' }, null],
    [{ url: 'not a url' }, null],
    [{ tab: { url: 'https://shop.example/' } }, null], // the tab's url never stands in for the frame's
  ];
  for (const [sender, expected] of table) assert.equal(senderOrigin(sender), expected, JSON.stringify(sender));
});

test('host connection: replies by id, one port, failures on disconnect, nothing sent twice', async () => {
  const { host, ports } = connection();
  const a = host.request({ method: 'getVersion', origin: 'https://a.example' });
  const b = host.request({ method: 'getPrinters', origin: 'https://b.example' });
  assert.equal(ports.length, 1);
  const [first, second] = ports[0].posted;
  assert.notEqual(first.id, second.id);
  ports[0].reply({ id: second.id, result: ['P'] });
  ports[0].reply({ id: 999, result: 'stray' });
  ports[0].reply({ id: first.id, error: { code: 412, message: '?412 print failed - x' } });
  assert.deepEqual(await a, { error: { code: 412, message: '?412 print failed - x' } });
  assert.deepEqual(await b, { result: ['P'] });

  const inFlight = [host.request({ method: 'print', data: 'QQ==' }), host.request({ method: 'getVersion' })];
  ports[0].drop('Native host has exited.');
  for (const reply of await Promise.all(inFlight)) assert.equal(reply.error.code, 631);
  assert.equal(ports[0].posted.length, 4);

  const next = host.request({ method: 'getVersion' });
  assert.equal(ports.length, 2, 'the next request opens a new port');
  assert.equal(ports[1].posted.length, 1, 'only the new request is sent');
  ports[1].reply({ id: ports[1].posted[0].id, result: '1.0' });
  assert.deepEqual(await next, { result: '1.0' });
});

test('host connection: the reason for a failure is told apart', async () => {
  const table = [
    ['Specified native messaging host not found.', false, 630],
    ['Access to the specified native messaging host is forbidden.', false, 630],
    ['No such native application com.ternaport.print', false, 630],
    ['Native host has exited.', false, 631],
    ['Native host has exited.', true, 631],
    [undefined, false, 631],
  ];
  for (const [reason, answeredBefore, code] of table) {
    const { host, ports } = connection();
    if (answeredBefore) {
      const warm = host.request({ method: 'getVersion' });
      ports[0].reply({ id: ports[0].posted[0].id, result: '1' });
      await warm;
    }
    const reply = host.request({ method: 'getVersion' });
    ports[0].drop(reason);
    assert.equal((await reply).error.code, code, reason);
  }
  const tooLarge = connection({ port: { throwOnPost: 'Message exceeds maximum allowed size' } });
  assert.equal((await tooLarge.host.request({ method: 'print' })).error.code, 634);
  const gone = connection({ port: { throwOnPost: 'Attempting to use a disconnected port object' } });
  assert.equal((await gone.host.request({ method: 'print' })).error.code, 631);
  const { host, ports } = connection();
  const odd = host.request({ method: 'getVersion' });
  ports[0].reply({ id: ports[0].posted[0].id, error: 'no' });
  assert.equal((await odd).error.code, 636);
});

test('host connection: an idle port is closed, and status is asked once per port', async () => {
  const { host, ports } = connection({ idleMs: 10 });
  const s1 = host.status('https://a.example');
  const s2 = host.status('https://a.example');
  assert.equal(ports[0].posted.length, 1);
  ports[0].reply({ id: ports[0].posted[0].id, result: { module: 'loaded', policy: false } });
  assert.deepEqual(await s1, await s2);
  await new Promise((resolve) => setTimeout(resolve, 30));
  assert.equal(ports[0].disconnected, true);
  host.status('https://a.example');
  assert.equal(ports.length, 2, 'a new port asks again');
});

function promptStandIn() {
  const windows = { opened: [], closed: [] };
  const prompts = new Prompts(async (id) => { windows.opened.push(id); return 100 + id; },
    (windowId) => windows.closed.push(windowId));
  return { prompts, windows };
}

test('prompts: one window per origin; the same question waits on it, another is refused', async () => {
  const { prompts, windows } = promptStandIn();
  const a1 = prompts.ask('https://a.example', 'print');
  const a2 = prompts.ask('https://a.example', 'print');
  const a3 = prompts.ask('https://a.example', 'macs');
  const b = prompts.ask('https://b.example', 'print');
  await tick();
  assert.deepEqual(windows.opened, [1, 2]);
  assert.equal((await a3).error.code, 637);
  assert.deepEqual(prompts.details(1), { origin: 'https://a.example', capability: 'print' });
  prompts.answer(1, true, true);
  assert.deepEqual(await a1, { allow: true, remember: true });
  assert.deepEqual(await a2, { allow: true, remember: true });
  assert.equal(prompts.details(1), null);
  prompts.abandoned({ windowId: 102 });
  assert.equal((await b).error.code, 637);
  assert.deepEqual(windows.closed, [101, 102]);
  prompts.ask('https://a.example', 'macs');
  await tick();
  assert.deepEqual(windows.opened, [1, 2, 3], 'a new question once the first is answered');
});

/** storage.local in memory. */
function memoryArea() {
  const data = {};
  return {
    data,
    get: async (key) => (key === null ? { ...data } : key in data ? { [key]: structuredClone(data[key]) } : {}),
    set: async (items) => { Object.assign(data, structuredClone(items)); },
    remove: async (key) => { delete data[key]; },
  };
}

test('choices: kept per origin and question, listed and revoked', async () => {
  const area = memoryArea();
  await remember(area, 'https://b.example', 'print', 'deny');
  await remember(area, 'https://a.example', 'print', 'allow');
  await remember(area, 'https://a.example', 'macs', 'deny');
  area.data.unrelated = { print: 'allow' };
  assert.deepEqual(await listChoices(area), [
    { origin: 'https://a.example', capability: 'macs', choice: 'deny' },
    { origin: 'https://a.example', capability: 'print', choice: 'allow' },
    { origin: 'https://b.example', capability: 'print', choice: 'deny' },
  ]);
  await revoke(area, 'https://a.example', 'macs');
  await revoke(area, 'https://b.example');
  assert.deepEqual(await listChoices(area), [{ origin: 'https://a.example', capability: 'print', choice: 'allow' }]);
  await revoke(area, 'https://a.example', 'print');
  assert.deepEqual(Object.keys(area.data), ['unrelated']);
});

/** A relay over a stand-in host that answers status with `status` and everything else at once. */
function relayStandIn({ status = { module: 'loaded', policy: false }, answers = [] } = {}) {
  const sent = [];
  const asked = [];
  const host = {
    status: async () => (status.error ? status : { result: status }),
    request: async (fields) => {
      sent.push(fields);
      return fields.printer === 'gone' ? { error: failure(631) }
        : { result: fields.part < fields.parts ? { received: fields.part } : true };
    },
  };
  const prompts = { ask: async (origin, capability) => { asked.push([origin, capability]); return answers.shift(); } };
  const area = memoryArea();
  const relay = createRelay({ host, prompts, area });
  return { relay, sent, asked, area };
}

const FRAME = { origin: 'https://shop.example', tab: { id: 1 }, frameId: 0, documentId: 'D1' };

test('relay: consent decides what reaches the host', async () => {
  const print = { method: 'print', params: { data: 'QQ==' } };
  const table = [
    // [what, stand-in options, requests, expected codes or 'ok', prompts shown, requests reaching the host]
    ['denied once', { answers: [{ allow: false, remember: false }, { allow: false, remember: false }] }, [print, print], [632, 632], 2, 0],
    ['allowed once', { answers: [{ allow: true, remember: false }, { allow: false }] }, [print, print], ['ok', 632], 2, 1],
    ['allowed and remembered', { answers: [{ allow: true, remember: true }] }, [print, print], ['ok', 'ok'], 1, 2],
    ['denied and remembered', { answers: [{ allow: false, remember: true }] }, [print, print], [632, 632], 1, 0],
    ['prompt closed', { answers: [failure(637)].map((error) => ({ error })) }, [print], [637], 1, 0],
    ['site policy set', { status: { module: 'loaded', policy: true } }, [print, print], ['ok', 'ok'], 0, 2],
    ['no module', { status: { module: 'missing', policy: false } }, [print], ['ok'], 0, 1],
    ['host unreachable', { status: { error: failure(630) } }, [print], [630], 0, 0],
    ['no consent needed', {}, [{ method: 'getVersion', params: {} }, { method: 'getLastError', params: {} }], ['ok', 'ok'], 0, 2],
  ];
  for (const [what, options, requests, codes, prompts, reached] of table) {
    const { relay, sent, asked } = relayStandIn(options);
    const got = [];
    for (const request of requests) got.push((await relay(request, FRAME)).error?.code ?? 'ok');
    assert.deepEqual([got, asked.length, sent.length], [codes, prompts, reached], what);
    assert.ok(sent.every((s) => s.origin === FRAME.origin), what);
  }
});

test('relay: the parts of one print ask once, on part 1, and only for the same frame', async () => {
  const part = (k, n = 3) => ({ method: 'print', params: { data: 'QUFB', part: k, parts: n } });
  const { relay, sent, asked } = relayStandIn({ answers: [{ allow: true, remember: false }] });
  const codes = [];
  for (const k of [1, 2]) codes.push((await relay(part(k), FRAME)).error?.code ?? 'ok');
  codes.push((await relay(part(3), { ...FRAME, frameId: 5 })).error?.code ?? 'ok'); // another frame
  codes.push((await relay(part(3), FRAME)).error?.code ?? 'ok');
  codes.push((await relay(part(2), FRAME)).error?.code ?? 'ok'); // the document is done
  assert.deepEqual(codes, ['ok', 'ok', 632, 'ok', 632]);
  assert.equal(asked.length, 1);
  assert.deepEqual(sent.map((s) => s.part), [1, 2, 3]);
});

test('relay: pages that are not http(s) are refused before anything else', async () => {
  const { relay, sent, asked } = relayStandIn();
  for (const sender of [{ origin: 'null' }, { url: 'file:///x.html' }, {}]) {
    assert.equal((await relay({ method: 'getVersion', params: {} }, sender)).error.code, 635);
  }
  assert.deepEqual([sent.length, asked.length], [0, 0]);
});

test('identity: the manifest carries the names and numbers the build and the host use', () => {
  const manifest = JSON.parse(fs.readFileSync(path.join(ROOT, 'extension', 'manifest.json'), 'utf8'));
  const cmake = fs.readFileSync(path.join(ROOT, 'CMakeLists.txt'), 'utf8');
  const setting = (name) => cmake.match(new RegExp(`set\\(${name} "([^"]*)"\\)`))[1];
  const key = fs.readFileSync(path.join(ROOT, 'extension', 'key.pub.b64'), 'utf8').trim();
  assert.equal(manifest.key, key);
  // Chromium's ID: the first 32 hex digits of sha256(DER of the key), digits 0-f written a-p.
  const id = [...crypto.createHash('sha256').update(Buffer.from(key, 'base64')).digest('hex').slice(0, 32)]
    .map((d) => String.fromCharCode(97 + parseInt(d, 16))).join('');
  assert.equal(id, setting('NPTOVI_EXTENSION_ID'));
  assert.equal(manifest.browser_specific_settings.gecko.id, setting('NPTOVI_GECKO_ID'));
  assert.equal(HOST_NAME, setting('NPTOVI_BRIDGE_NAME'));
  assert.equal(manifest.version, cmake.match(/project\(\S+ VERSION (\S+)/)[1]);
  for (const file of Object.values(manifest.icons)) assert.ok(fs.existsSync(path.join(ROOT, 'extension', file)), file);
  // The content script repeats a few constants (it cannot import): they must not drift.
  const content = fs.readFileSync(path.join(ROOT, 'extension', 'content.js'), 'utf8');
  assert.match(content, new RegExp(`MAX_IN_FLIGHT = ${MAX_IN_FLIGHT_PER_FRAME};`));
  assert.match(content, /MAX_MESSAGE_CHARS = 4 \* 1024 \* 1024;/);
  assert.equal(MAX_MESSAGE_CHARS, 4 * 1024 * 1024);
  assert.deepEqual(Object.keys(CAPABILITY).sort(), ['getLastError', 'getMacAddresses', 'getPrinters', 'getVersion', 'print']);
});
