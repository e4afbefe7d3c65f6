// The package a developer installs: what npm pack puts in it, and the classic script made from the
// module's source, run as a page without modules would run it.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import vm from 'node:vm';
import { fileURLToPath } from 'node:url';
import { makePluginElement, makeWindow } from './stand-ins.mjs';

const web = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..', '..', 'web');

test('npm pack holds the module, its parts, the classic script and the types', () => {
  const [pack] = JSON.parse(execFileSync('npm', ['pack', '--dry-run', '--json', '--ignore-scripts=false'], { cwd: web, encoding: 'utf8', stdio: ['ignore', 'pipe', 'ignore'] }));
  const files = pack.files.map((f) => f.path).sort();
  const parts = fs.readdirSync(path.join(web, 'lib')).map((f) => `lib/${f}`);
  assert.deepEqual(files, ['package.json', 'tovi-print.classic.js', 'tovi-print.d.ts', 'tovi-print.js', ...parts].sort());
});

test('the classic script defines window.ToviPrint and works without modules', async () => {
  const source = fs.readFileSync(path.join(web, 'tovi-print.classic.js'), 'utf8');
  const win = makeWindow({ plugin: 'enabled' });
  const element = makePluginElement({ printers: ['Zebra'] });
  win.document.elements.push(element);
  // A page's global scope: the window's own names, the engine's builtins from the context.
  const context = vm.createContext(Object.assign({ btoa, setTimeout, clearTimeout, setInterval, clearInterval }, win));
  vm.runInContext('var window = this;', context);  // as in a page, the window is the global object
  vm.runInContext(source, context, { filename: 'tovi-print.classic.js' });
  const ToviPrint = context.ToviPrint;
  assert.deepEqual(Object.keys(ToviPrint).sort(), ['Codes', 'MIME_TYPE', 'ToviPrintError', 'connect']);
  const printer = await ToviPrint.connect();
  assert.deepEqual(Array.from(await printer.printers()), ['Zebra']);
  await printer.print(vm.runInContext('new Uint8Array([1, 2, 3])', context), { printer: 'Zebra' });
  assert.deepEqual(element.state.jobs, [{ data: 'AQID', printer: 'Zebra' }]);
  const failed = await printer.print(7).catch((error) => error);
  assert.ok(failed instanceof ToviPrint.ToviPrintError && failed.code === 662);
});
