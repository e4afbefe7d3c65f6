// The browser suite: each case of cases.mjs in each browser named on the command line, with the
// configuration run_browsers.py wrote. Prints one line per case and "N passed, N failed" last.
import fs from 'node:fs';
import path from 'node:path';
import { launch } from './browsers.mjs';
import { CASES } from './cases.mjs';
import { Environment, servePages } from './environment.mjs';

const config = JSON.parse(fs.readFileSync(process.env.BROWSER_SUITE_CONFIG, 'utf8'));
const manifest = JSON.parse(fs.readFileSync(path.join(config.extension, 'manifest.json'), 'utf8'));
const env = new Environment(config);
const origins = await servePages();
let passed = 0;
let failed = 0;

for (const name of process.argv.slice(2)) {
  const started = Date.now();
  let session;
  try {
    session = await launch(name, config);
  } catch (e) {
    console.log(`FAIL ${name}: the browser did not start with the extension\n     ${e.stack}`);
    failed += CASES.length;
    continue;
  }
  console.log(`${name}: ${await session.browser.version()}, started in ${Date.now() - started} ms`);
  const t = {
    ...session, env, origins, manifest, expected: config.expected, moduleVersion: config.expected.version,
    page: await session.browser.newPage(),
  };
  try {
    await t.page.goto(`${origins.a}/index.html`);
    for (const [what, run] of CASES) {
      const begun = Date.now();
      try {
        await run(t);
        passed++;
        console.log(`ok   ${name}: ${what} (${Date.now() - begun} ms)`);
      } catch (e) {
        failed++;
        console.log(`FAIL ${name}: ${what}\n     ${String(e.stack ?? e).split('\n').slice(0, 6).join('\n     ')}`);
      }
    }
  } finally {
    await session.browser.close().catch(() => {});
    env.signalHost('SIGTERM');
  }
  console.log(`${name}: ${Date.now() - started} ms`);
}
origins.close();
console.log(`${passed} passed, ${failed} failed`);
process.exit(failed === 0 && passed > 0 ? 0 : 1);
