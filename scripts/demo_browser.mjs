// make demo, the browser part: Debian's Chromium, headless, with the extension; a page from 127.0.0.1
// asks to print the sample label, the extension's consent window is answered "Allow", and the label
// goes through tovi-bridge.exe (under Wine, started by Chromium as its native host) to the printer.
//   node scripts/demo_browser.mjs WORK LAUNCHER LABEL RECEIVED_DIR
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { launch } from '../tests/browsers/browsers.mjs';
import { servePages, sleep } from '../tests/browsers/environment.mjs';
import { answerPrompt } from '../tests/browsers/prompts.mjs';

const root = path.join(path.dirname(fileURLToPath(import.meta.url)), '..');
const [work, launcher, label, received] = process.argv.slice(2);
const cmake = fs.readFileSync(path.join(root, 'CMakeLists.txt'), 'utf8');
const setting = (name) => cmake.match(new RegExp(`set\\(${name} "([^"]*)"\\)`))[1];
const jobs = () => fs.readdirSync(received).filter((n) => /^job-.*\.bin$/.test(n)).sort();

const origins = await servePages();
const { browser } = await launch('chromium', {
  work, extension: path.join(root, 'extension'), hostPath: launcher,
  extensionId: setting('NPTOVI_EXTENSION_ID'), geckoId: setting('NPTOVI_GECKO_ID'),
});
let ok = false;
try {
  console.log(`  ${await browser.version()}, extension ${setting('NPTOVI_EXTENSION_ID')} loaded`);
  const page = await browser.newPage();
  await page.goto(`${origins.a}/index.html`);
  console.log(`  page ${origins.a}/ sees the extension: data-tovi-print="${await page.evaluate(() => window.tovi.presentAtStart)}"`);
  const before = jobs().length;
  const data = fs.readFileSync(label).toString('base64');
  const reply = page.evaluate((d) => window.tovi.call('print', { data: d }), data);
  const question = await answerPrompt(browser, { origin: origins.a, asks: 'print to printers of this computer', answer: 'allow' });
  console.log(`  the extension asks: "${question}"  -> Allow`);
  const answer = await reply;
  console.log(`  print(${fs.statSync(label).size} bytes) -> ${JSON.stringify(answer.result ?? answer.error)}`);
  for (let i = 0; i < 300 && jobs().length <= before; i++) await sleep(100);
  const got = jobs().slice(before);
  if (got.length === 0) {
    console.log('demo: nothing arrived within 30 s');
  } else {
    const bytes = fs.readFileSync(path.join(received, got[0]));
    ok = bytes.equals(fs.readFileSync(label));
    console.log(ok ? `demo: the printer received ${bytes.length} bytes, identical to ${path.basename(label)}`
      : `demo: the printer received ${bytes.length} bytes that differ from ${path.basename(label)}`);
  }
} finally {
  await browser.close();
  origins.close();
}
process.exit(ok ? 0 : 1);
