// The page library's Base64 encoders (the pair table with TextDecoder, and btoa over 24 KiB pieces
// for older engines) against Node's native Buffer encoder: figures only.
import { randomBytes } from 'node:crypto';
import { encodeBase64Pieces, encodeBase64Table } from '../web/lib/base64.js';

const MiB = 1024 * 1024;

function best(run, times) {
  let fastest = Infinity;
  for (let i = 0; i < times; i++) {
    const start = process.hrtime.bigint();
    run();
    fastest = Math.min(fastest, Number(process.hrtime.bigint() - start) / 1e6);
  }
  return fastest;
}

for (const size of [1 * MiB, 16 * MiB, 64 * MiB]) {
  const bytes = new Uint8Array(randomBytes(size));
  const table = best(() => encodeBase64Table(bytes), 5);
  const pieces = best(() => encodeBase64Pieces(bytes), 3);
  const buffer = best(() => Buffer.from(bytes.buffer, bytes.byteOffset, size).toString('base64'), 5);
  const rate = (ms) => `${ms.toFixed(1)} ms (${(size / MiB / ms * 1000).toFixed(0)} MiB/s)`;
  console.log(`web base64 ${String(size / MiB).padStart(2)} MiB: table ${rate(table)}, pieces ${rate(pieces)}, ` +
    `Buffer ${rate(buffer)}; table/Buffer ${(table / buffer).toFixed(1)}`);
}
