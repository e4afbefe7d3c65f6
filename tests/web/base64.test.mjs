// The encoder and the document parts against Node's Buffer, on edge and random sizes up to 64 MiB.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { randomBytes, randomInt } from 'node:crypto';
import { encodeBase64Pieces, encodeBase64Table, PART_CHARS, prepareDocument } from '../../web/lib/base64.js';

const MiB = 1024 * 1024;
const PIECE = 3 * 8192;
// Edges: empty, each padding, either side of a piece and of a part, then random sizes and 64 MiB.
const SIZES = [0, 1, 2, 3, 4, PIECE - 1, PIECE, PIECE + 1, PIECE + 2, PART_CHARS / 4 * 3 - 1,
  PART_CHARS / 4 * 3, PART_CHARS / 4 * 3 + 1, randomInt(5, 4096), randomInt(4096, MiB),
  randomInt(MiB, 16 * MiB), randomInt(16 * MiB, 64 * MiB), 64 * MiB];

test('the encoders match Buffer on every size', async (t) => {
  for (const size of SIZES) {
    const bytes = new Uint8Array(randomBytes(size));
    const expected = Buffer.from(bytes.buffer, bytes.byteOffset, bytes.length).toString('base64');
    await t.test(`${size} bytes`, async () => {
      assert.ok(encodeBase64Pieces(bytes) === expected, 'pieces through btoa');
      assert.ok(encodeBase64Table(bytes) === expected, 'pair table');
      const document = await prepareDocument(bytes);
      const parts = Array.from({ length: document.count }, (_, i) => document.part(i));
      assert.equal(document.count, Math.max(1, Math.ceil(expected.length / PART_CHARS)));
      assert.ok(parts.slice(0, -1).every((p) => p.length === PART_CHARS), 'every part but the last is 1 MiB');
      assert.ok(parts.join('') === expected, 'parts join to the whole');
      assert.equal(document.size, size);
    });
  }
});

test('all 256 byte values, from a view into a larger buffer', async () => {
  const backing = new Uint8Array(300);
  for (let i = 0; i < 256; i++) backing[i + 7] = i;
  const view = new DataView(backing.buffer, 7, 256);
  const document = await prepareDocument(view);
  assert.equal(document.whole(), Buffer.from(backing.subarray(7, 263)).toString('base64'));
});

test('every kind of document gives the same Base64', async (t) => {
  const bytes = new Uint8Array(randomBytes(3 * MiB - 5));
  const base64 = Buffer.from(bytes).toString('base64');
  const kinds = [
    ['Uint8Array', bytes],
    ['ArrayBuffer', bytes.slice().buffer],
    ['Blob', new Blob([bytes])],
    ['Base64 text', base64],
  ];
  for (const [kind, input] of kinds) {
    await t.test(kind, async () => {
      const document = await prepareDocument(input);
      assert.equal(document.count, 4);
      assert.ok(Array.from({ length: 4 }, (_, i) => document.part(i)).join('') === base64);
      assert.ok(document.whole() === base64);
      assert.equal(document.size, bytes.length);
    });
  }
});

test('anything else is refused with 662', async (t) => {
  for (const input of [undefined, null, 42, [1, 2, 3], { data: 'QQ==' }]) {
    await t.test(String(JSON.stringify(input)), async () => {
      await assert.rejects(prepareDocument(input, 'plugin'), { code: 662, road: 'plugin', message: /^\?662 bad argument/ });
    });
  }
});
