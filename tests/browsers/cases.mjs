// The browser suite's cases, run in order in each browser: later ones build on the choices that
// earlier ones leave (an allowed origin, an open options page).
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { sleep } from './environment.mjs';
import { answerPrompt, assertNoPrompt, openOptionsFromPrompt } from './prompts.mjs';

const PRINT = 'print to printers of this computer';
const MACS = 'read its network hardware addresses';
const NO_SUCH_PRINTER = '?412 print failed - no such printer / no printers installed';
const SITE_REFUSED = '?501 access denied - this site may not use the plug-in';

/** The bytes of the page client's tovi.pattern(n). */
function pattern(n) {
  const bytes = Buffer.alloc(n);
  for (let i = 0; i < n; i++) bytes[i] = (i * 7 + (i >> 8)) & 255;
  return bytes;
}

const call = (frame, method, params = {}, options = {}) =>
  frame.evaluate((m, p, o) => window.tovi.call(m, p, o), method, params, options);
const printPattern = (frame, n, printer) =>
  frame.evaluate((k, p) => window.tovi.call('print', p === undefined ? { data: window.tovi.pattern(k) }
    : { data: window.tovi.pattern(k), printer: p }), n, printer);
const errorOf = (reply) => reply.error && [reply.error.code, reply.error.message.split(' - ')[0]];

async function addFrame(page, src, sandbox) {
  const url = await page.evaluate((s, sb) => new Promise((resolve) => {
    const frame = document.createElement('iframe');
    if (sb) frame.setAttribute('sandbox', sb);
    frame.onload = () => resolve(frame.src);
    frame.src = s;
    document.body.append(frame);
  }), src, sandbox);
  for (let i = 0; i < 100; i++) {
    const frame = page.frames().find((f) => f !== page.mainFrame() && f.url() === url);
    if (frame) {
      await frame.waitForFunction(() => window.tovi !== undefined);
      return frame;
    }
    await sleep(50);
  }
  throw new Error(`frame ${url} not found`);
}

/** Nothing new reached the printer or CUPS since `before` ({jobs, count}). */
async function assertNothingPrinted(t, before) {
  await sleep(300);
  assert.equal(t.env.jobs().length, before.jobs, 'the printer received a job');
  assert.equal(t.env.jobCount(), before.count, 'CUPS took a job');
}
const traffic = (t) => ({ jobs: t.env.jobs().length, count: t.env.jobCount() });

/** Ends the host and waits until the extension has started a new one (the module reads the policy
 * when the host makes an instance). A request may meet the old port going away: then it is asked again. */
async function restartHost(t) {
  const pid = t.env.hostPid();
  t.env.signalHost('SIGTERM');
  for (let i = 0; i < 100 && t.env.hostPid() === pid; i++) {
    if ((await call(t.page, 'getVersion')).result === t.moduleVersion && t.env.hostPid() !== pid) return;
    await sleep(100);
  }
  assert.notEqual(t.env.hostPid(), pid, 'no new host was started');
}

async function assertPrinted(t, before, bytes) {
  const jobs = await t.env.waitForJobs(before.jobs + 1);
  assert.equal(jobs.length, before.jobs + 1, 'the printer received no job');
  assert.ok(jobs.at(-1).equals(bytes), `job of ${jobs.at(-1).length} bytes differs from the ${bytes.length} sent`);
}

// examples/print.html as a person uses it: its controls, its log, and a screenshot to look at.
const EXAMPLE_FILE_SIZE = 16 << 20;
const logged = (page, line, timeout = 60000) => page.waitForFunction(
  (l) => [...document.querySelectorAll('#log li')].some((li) => li.textContent === l), { timeout }, line);
async function screenshot(t, page, what) {
  const file = path.join(t.env.config.work, `${t.name}-example-${what}.png`);
  await page.screenshot({ path: file, fullPage: true });
  console.log(`     screenshot: ${file}`);
}

export const CASES = [
  ['presence: the attribute is there for the first script, and a probe is answered', async (t) => {
    const version = t.manifest.version;
    assert.equal(await t.page.evaluate(() => window.tovi.presentAtStart), version);
    assert.deepEqual(await t.page.evaluate(() => window.tovi.probe()),
      { channel: 'tovi-print', v: 1, type: 'present', version });
    assert.deepEqual(await call(t.page, 'getVersion'),
      { channel: 'tovi-print', v: 1, type: 'reply', id: 1, result: t.moduleVersion });
  }],

  ['consent: a denied origin gets 632 and nothing reaches the printer', async (t) => {
    const before = traffic(t);
    const reply = printPattern(t.page, 64);
    await answerPrompt(t.browser, { origin: t.origins.a, asks: PRINT, answer: 'deny' });
    assert.deepEqual(errorOf(await reply), [632, '?632 access denied']);
    await assertNothingPrinted(t, before);
  }],

  ['consent: allowed and remembered, a 1 KiB document prints byte-exact', async (t) => {
    const before = traffic(t);
    const reply = printPattern(t.page, 1024);
    t.options = await openOptionsFromPrompt(t.browser);
    await answerPrompt(t.browser, { origin: t.origins.a, asks: PRINT, answer: 'allow', remember: true });
    assert.equal((await reply).result, true);
    await assertPrinted(t, before, pattern(1024));
  }],

  ['consent: remembered across a reload; printers as nphost lists them, with no prompt', async (t) => {
    await t.page.reload();
    const reply = await call(t.page, 'getPrinters');
    await assertNoPrompt(t.browser);
    assert.deepEqual(reply.result, t.expected.printers);
  }],

  ['consent: hardware addresses are asked for apart; MACs as nphost lists them', async (t) => {
    const reply = call(t.page, 'getMacAddresses');
    await answerPrompt(t.browser, { origin: t.origins.a, asks: MACS, answer: 'allow' });
    assert.deepEqual((await reply).result, t.expected.macs);
  }],

  ['consent: the options page lists the choice; revoking it asks again; a closed prompt is 637', async (t) => {
    await t.options.bringToFront();
    const rows = await t.options.$$eval('#choices tbody tr', (trs) => trs.map((tr) => [...tr.cells].slice(0, 3).map((c) => c.textContent)));
    assert.deepEqual(rows, [[t.origins.a, PRINT, 'allow']]);
    await t.options.click(`#choices tr[data-origin="${t.origins.a}"] .revoke`);
    await t.options.waitForFunction(() => document.querySelectorAll('#choices tbody tr').length === 0);
    const reply = call(t.page, 'getPrinters');
    await answerPrompt(t.browser, { origin: t.origins.a, asks: PRINT, answer: 'close' });
    assert.deepEqual(errorOf(await reply), [637, '?637 consent prompt not answered']);
  }],

  ['print: a 4 MiB document in 1 MiB parts prints byte-exact, asking once', async (t) => {
    const before = traffic(t);
    const size = 4 << 20;
    const reply = t.page.evaluate((n) => window.tovi.printParts(window.tovi.pattern(n)), size);
    await answerPrompt(t.browser, { origin: t.origins.a, asks: PRINT, answer: 'allow' });
    const result = await reply;
    assert.equal(result.result, true, JSON.stringify(result.error));
    assert.equal(result.sentParts, 6);
    await assertNoPrompt(t.browser);
    await assertPrinted(t, before, pattern(size));
  }],

  ['print: a failure keeps the module\'s code and message', async (t) => {
    const before = traffic(t);
    const reply = printPattern(t.page, 16, 'no-such-printer');
    await answerPrompt(t.browser, { origin: t.origins.a, asks: PRINT, answer: 'allow', remember: true });
    assert.deepEqual((await reply).error, { code: 412, message: NO_SUCH_PRINTER });
    assert.equal((await call(t.page, 'getLastError')).result, NO_SUCH_PRINTER);
    await assertNothingPrinted(t, before);
  }],

  ['the page library tovi-print on the extension road: version, printers, a document in parts, ?412', async (t) => {
    const before = traffic(t);
    const size = (3 << 20) / 2 + 5; // 2 MiB of Base64 and a little: three parts of the library's own
    const got = await t.page.evaluate(async (n) => {
      const { connect, ToviPrintError } = await import('/web/tovi-print.js');
      const printer = await connect({ road: 'extension' });
      const out = { road: printer.road, version: await printer.version(), printers: await printer.printers() };
      await printer.print(window.tovi.pattern(n));
      out.failure = await printer.print('AAAA', { printer: 'no-such-printer' }).then(() => null,
        (e) => [e instanceof ToviPrintError, e.code, e.message]);
      printer.close();
      return out;
    }, size);
    assert.deepEqual(got, { road: 'extension', version: t.moduleVersion, printers: t.expected.printers,
      failure: [true, 412, NO_SUCH_PRINTER] });
    await assertPrinted(t, before, pattern(size));
  }],

  ['limits: a flood waits on one window, 633 beyond 8 in flight; malformed messages 634-636; the extension keeps working', async (t) => {
    // Hardware addresses were allowed once only: each request waits on the consent window, so the
    // frame's 8 places stay taken until it is answered, and a page cannot stack windows.
    const flood = t.page.evaluate(() => Promise.all(
      Array.from({ length: 20 }, () => window.tovi.call('getMacAddresses')).map((p) => p.then((r) => r.error?.code ?? 'ok'))));
    await answerPrompt(t.browser, { origin: t.origins.a, asks: MACS, answer: 'deny', alone: true });
    const codes = await flood;
    assert.deepEqual([codes.filter((c) => c === 632).length, codes.filter((c) => c === 633).length], [8, 12]);
    const malformed = await t.page.evaluate(() => Promise.all([
      [{ method: 'print', params: [] }],
      [{ method: 'format', params: {} }],
      [{ method: 'print', params: { printer: 'x' } }],
      [{ method: 'print', params: { data: 'AA==', origin: 'https://shop.example' } }],
      [{ method: 'print', params: { data: 'AA==', part: 3, parts: 2 } }],
      [{ method: 'getVersion', params: { x: 1 } }],
      [{ method: 'print', params: { data: 'A'.repeat(4 << 20) } }],
      [{ method: 'getVersion', params: {}, id: -1 }, 1000],
      [{ method: 'getVersion', params: {}, v: 2 }, 1000],
      [{ method: 'getVersion', params: {}, type: 'call' }, 1000],
    ].map(([fields, timeoutMs]) => {
      const message = { channel: 'tovi-print', v: 1, type: 'request', id: window.tovi.nextId(), ...fields };
      return window.tovi.send(message, timeoutMs ?? 30000).then((r) => (r.timeout ? 'none' : r.error?.code ?? 'ok'));
    })));
    assert.deepEqual(malformed, [636, 636, 636, 636, 636, 636, 634, 'none', 'none', 'none']);
    assert.equal((await call(t.page, 'getVersion')).result, t.moduleVersion);
  }],

  ['host: killed with a request in flight, that request gets 631, the next one works', async (t) => {
    assert.equal((await call(t.page, 'getVersion')).result, t.moduleVersion);
    t.env.signalHost('SIGSTOP');
    const reply = call(t.page, 'getVersion');
    await sleep(300);
    t.env.signalHost('SIGKILL');
    assert.equal((await reply).error?.code, 631);
    assert.equal((await call(t.page, 'getVersion')).result, t.moduleVersion);
  }],

  ['policy and forgery: no prompt; each frame is served under its own origin', async (t) => {
    t.env.setPolicy([t.origins.a]);
    try {
      await restartHost(t);
      const before = traffic(t);
      // A page claiming another origin is served under its own: allowed.
      const claimed = await t.page.evaluate((b) => window.tovi.call('print', { data: window.tovi.pattern(100) },
        { extra: { origin: b } }), t.origins.b);
      assert.equal(claimed.result, true, JSON.stringify(claimed.error));
      await assertPrinted(t, before, pattern(100));
      // A cross-origin frame is its own origin, not the top page's: refused by the policy, unasked.
      const frame = await addFrame(t.page, `${t.origins.b}/frame.html`);
      assert.deepEqual((await printPattern(frame, 100)).error, { code: 501, message: SITE_REFUSED });
      const spoof = await frame.evaluate((a) => window.tovi.call('print', { data: 'AA==' }, { extra: { origin: a } }), t.origins.a);
      assert.deepEqual(spoof.error, { code: 501, message: SITE_REFUSED });
      await assertNoPrompt(t.browser);
      // A frame posting into its parent borrows nothing: the parent's content script ignores it.
      const heard = t.page.evaluate(() => window.tovi.listen(4242, 1500));
      await frame.evaluate(() => parent.postMessage({ channel: 'tovi-print', v: 1, type: 'request', id: 4242,
        method: 'print', params: { data: window.tovi.pattern(100) } }, '*'));
      assert.deepEqual(await heard, { timeout: true });
      // A sandboxed frame of the allowed origin has an opaque origin: refused.
      const sandboxed = await addFrame(t.page, `${t.origins.a}/frame.html`, 'allow-scripts');
      assert.deepEqual(errorOf(await printPattern(sandboxed, 100)), [635, '?635 this page cannot use the extension']);
      await assertNothingPrinted(t, { jobs: before.jobs + 1, count: before.count + 1 });
    } finally {
      t.env.removePolicy();
      t.env.signalHost('SIGTERM');
    }
  }],

  ['example page: the road and the printers shown; the label printed on the chosen printer', async (t) => {
    const before = traffic(t);
    const page = t.example = await t.browser.newPage();
    await page.goto(`${t.origins.a}/examples/print.html`);
    await page.waitForFunction(() => /is ready/.test(document.getElementById('status').textContent), { timeout: 60000 });
    assert.equal(await page.$eval('#road', (e) => e.textContent), 'Printing through the extension.');
    await logged(page, `printers: ${t.expected.printers.join(', ')}`);
    const names = await page.$$eval('#printer option', (options) => options.map((o) => o.value));
    assert.deepEqual(names, ['', ...t.expected.printers]);
    await page.select('#printer', t.env.config.queue);
    await page.click('#print-label');
    await logged(page, `ZPL label sent to ${t.env.config.queue}`);
    const [label] = (await t.env.waitForJobs(before.jobs + 1)).slice(before.jobs);
    assert.ok(label.subarray(0, 10).equals(Buffer.from('^XA\n^CI28\n')) && label.subarray(-4).equals(Buffer.from('^XZ\n')),
      `the label is framed by ^XA^CI28 and ^XZ: ${label.toString('latin1')}`);
    assert.ok(label.includes(Buffer.from('Größe M – Preis 12,50 €')), 'the field text is UTF-8');
  }],

  ['example page: a 16 MiB file chosen and printed byte-exact, with its progress', async (t) => {
    const before = traffic(t);
    const file = path.join(t.env.config.work, 'sixteen.prn');
    const content = pattern(EXAMPLE_FILE_SIZE);
    fs.writeFileSync(file, content);
    const input = await t.example.$('#file');
    await input.uploadFile(file);
    await t.example.click('#print-file');
    await logged(t.example, `sixteen.prn (${EXAMPLE_FILE_SIZE} bytes) sent to ${t.env.config.queue}`);
    assert.deepEqual(await t.example.evaluate(() => [document.getElementById('progress').value,
      document.getElementById('progress-text').textContent]), [1, `${EXAMPLE_FILE_SIZE} of ${EXAMPLE_FILE_SIZE} bytes`]);
    await assertPrinted(t, before, content);
    await screenshot(t, t.example, 'printed');
  }],

  ['example page: a refusal shows its code and message', async (t) => {
    const before = traffic(t);
    await t.example.click('#show-addresses');
    await answerPrompt(t.browser, { origin: t.origins.a, asks: MACS, answer: 'deny' });
    await t.example.waitForFunction(() => document.getElementById('last-error').textContent !== '', { timeout: 30000 });
    const shown = await t.example.$eval('#last-error', (e) => e.textContent);
    assert.match(shown, /^Error 632: \?632 access denied/);
    const lines = await t.example.$$eval('#log li.error', (items) => items.map((li) => li.textContent));
    assert.ok(lines.some((l) => /^macAddresses\(\) failed: \?632 .* \(code 632\)$/.test(l)), lines.join('\n'));
    await screenshot(t, t.example, 'error');
    await t.example.close();
    await assertNothingPrinted(t, before);
  }],
];
