#!/usr/bin/env node
// Makes tovi-print.classic.js, the library for pages without modules, from the same source as the
// module: each file tovi-print.js reaches, in dependency order, in a function scope of its own that
// returns its exports; imports become reads of those. The whole sets window.ToviPrint.
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
const IMPORT = /^import \{([^}]*)\} from '(\.[^']+)';\n/gm;
const EXPORT_DECLARATION = /^export (?:const|let|function|class) ([A-Za-z_$][\w$]*)/gm;
const EXPORT_LIST = /^export \{([^}]*)\};\n/gm;
const EXPORT_DEFAULT = /^export default [^;]+;\n/gm;

const scopeName = (file) => 'module_' + path.relative(here, file).replace(/\W/g, '_');
const names = (list) => list.split(',').map((n) => n.trim()).filter(Boolean);

// Files in an order where each comes after the files it imports.
function ordered(file, seen, out) {
  if (seen.has(file)) return out;
  seen.add(file);
  const source = fs.readFileSync(file, 'utf8');
  for (const match of source.matchAll(IMPORT)) ordered(path.resolve(path.dirname(file), match[2]), seen, out);
  out.push({ file, source });
  return out;
}

function classicModule(file, source) {
  const exported = [...source.matchAll(EXPORT_DECLARATION)].map((m) => m[1])
    .concat(...[...source.matchAll(EXPORT_LIST)].map((m) => names(m[1])));
  const body = source
    .replace(IMPORT, (_, list, from) => `const { ${names(list).map((n) => n.replace(/ as /, ': ')).join(', ')} } = ` +
      `${scopeName(path.resolve(path.dirname(file), from))};\n`)
    .replace(EXPORT_LIST, '')
    .replace(EXPORT_DEFAULT, '')
    .replace(/^export (?=const |let |function |class )/gm, '');
  if (/^\s*(import|export)\b/m.test(body)) throw new Error(`${file}: an import or export the build does not handle`);
  return `// ---- ${path.relative(here, file)}\nconst ${scopeName(file)} = (function () {\n${body}\n` +
    `return { ${exported.join(', ')} };\n})();\n`;
}

export function buildClassic() {
  const files = ordered(path.join(here, 'tovi-print.js'), new Set(), []);
  const { version } = JSON.parse(fs.readFileSync(path.join(here, 'package.json'), 'utf8'));
  return `// tovi-print ${version}, classic script: defines window.ToviPrint. Made by build.js from the module's source.\n` +
    `(function (global) {\n'use strict';\n${files.map((f) => classicModule(f.file, f.source)).join('\n')}\n` +
    `global.ToviPrint = ${scopeName(files[files.length - 1].file)}.ToviPrint;\n` +
    "})(typeof window !== 'undefined' ? window : this);\n";
}

if (process.argv[1] && path.resolve(process.argv[1]) === fileURLToPath(import.meta.url)) {
  fs.writeFileSync(path.join(here, 'tovi-print.classic.js'), buildClassic());
}
