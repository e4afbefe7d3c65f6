// Which road connect() takes, and what it says when there is none: by the browser's MIME types,
// whether the plug-in starts, the extension's mark or its answer to a probe, and options.road.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { connect, ToviPrintError } from '../../web/tovi-print.js';
import { attachExtension, makePluginElement, makeWindow } from './stand-ins.mjs';

const UA = {
  chrome: 'Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/156.0.0.0 Safari/537.36',
  edge: 'Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/156.0.0.0 Safari/537.36 Edg/156.0.0.0',
  firefox: 'Mozilla/5.0 (Windows NT 10.0; Win64; x64; rv:153.0) Gecko/20100101 Firefox/153.0',
  palemoon: 'Mozilla/5.0 (Windows NT 10.0; Win64; x64; rv:102.0) Gecko/20100101 Goanna/6.7 Firefox/102.0 PaleMoon/33.6.0',
  oldFirefox: 'Mozilla/5.0 (Windows NT 6.1; rv:52.0) Gecko/20100101 Firefox/52.0',
  safari: 'Mozilla/5.0 (Macintosh; Intel Mac OS X 14_0) AppleWebKit/605.1.15 (KHTML, like Gecko) Version/17.0 Safari/605.1.15',
};

// plugin: MIME type state; started: the element answers getVersion; extension: 'mark', 'probe'
// (answers a probe only) or none; expect: a road, or [code, message pattern].
const CASES = [
  { what: 'plug-in started', plugin: 'enabled', started: true, expect: 'plugin' },
  { what: 'plug-in preferred over the extension', plugin: 'enabled', started: true, extension: 'mark', expect: 'plugin' },
  { what: 'extension by its mark', ua: UA.chrome, extension: 'mark', expect: 'extension' },
  { what: 'extension by its answer to a probe', ua: UA.firefox, extension: 'probe', expect: 'extension' },
  { what: 'plug-in not started: the extension instead', plugin: 'enabled', started: false, extension: 'mark', expect: 'extension' },
  { what: 'insisting on the extension', plugin: 'enabled', started: true, extension: 'mark', road: 'extension', expect: 'extension' },
  { what: 'Chrome, nothing', ua: UA.chrome, expect: [660, /^\?660 nothing installed for this browser - install the Ternaport Print extension for Chrome and the Ternaport Print package for Windows \(the MSI\)/] },
  { what: 'Edge, nothing', ua: UA.edge, expect: [660, /extension for Edge and/] },
  { what: 'Firefox, nothing', ua: UA.firefox, expect: [660, /extension for Firefox and/] },
  { what: 'Pale Moon, nothing', ua: UA.palemoon, expect: [660, /^\?660 nothing installed for this browser - install the Ternaport Print Plugin/] },
  { what: 'Firefox 52, nothing', ua: UA.oldFirefox, expect: [660, /install the Ternaport Print Plugin/] },
  { what: 'another browser, nothing', ua: UA.safari, expect: [660, /in Chrome, Edge or Firefox install the Ternaport Print extension .*; in a browser that loads NPAPI plug-ins install the Ternaport Print Plugin/] },
  { what: 'plug-in disabled', ua: UA.palemoon, plugin: 'disabled', expect: [660, /installed but disabled/] },
  { what: 'plug-in never started', ua: UA.palemoon, plugin: 'enabled', started: false, expect: [660, /installed but has not started on this page/] },
  { what: 'insisting on the plug-in in Chrome', ua: UA.chrome, extension: 'mark', road: 'plugin', expect: [661, /^\?661 the road asked for is not available - plugin: nothing installed/] },
  { what: 'insisting on the extension, absent', ua: UA.chrome, plugin: 'enabled', started: true, road: 'extension', expect: [661, /not available - extension/] },
  { what: 'an unknown road', road: 'usb', expect: [662, /road must be/] },
];

test('connect() picks the road or says what to install', async (t) => {
  for (const c of CASES) {
    await t.test(c.what, async () => {
      const win = makeWindow({ userAgent: c.ua || UA.chrome, plugin: c.plugin || 'missing', mark: c.extension === 'mark' ? '1.0.0' : null });
      if (c.extension) attachExtension(win, () => ({ result: '0.0.0.11' }));
      const element = c.started === false ? {} : makePluginElement({});
      win.document.elements.push(element);
      const connecting = connect({ window: win, road: c.road, startWait: 30, probeWait: 30 });
      if (typeof c.expect === 'string') {
        const printer = await connecting;
        assert.equal(printer.road, c.expect);
        assert.equal(await printer.version(), '0.0.0.11');
        printer.close();
        return;
      }
      await assert.rejects(connecting, (error) => {
        assert.ok(error instanceof ToviPrintError);
        assert.equal(error.code, c.expect[0]);
        assert.match(error.message, c.expect[1]);
        return true;
      });
      assert.equal(win.listenerCount(), 0, 'no listener left behind');
    });
  }
});

test('outside a page (no window) connect() says so', async () => {
  await assert.rejects(connect(), { code: 662, message: /no window/ });
});
