// What to install, worded for the browser the page runs in: the plug-in for browsers that still load
// NPAPI plug-ins, the extension and the Windows package for Chrome, Edge and Firefox.

const PLUGIN = 'install the Ternaport Print Plugin (nptovi32, the MSI or the zip), then restart the browser';
const EXTENSION = 'install the Ternaport Print extension for BROWSER and the Ternaport Print package for ' +
  'Windows (the MSI), then reload the page';

// Firefox loaded NPAPI plug-ins up to version 51 (52 ESR kept them); its forks still do.
const NPAPI_FORKS = /\b(PaleMoon|Basilisk|SeaMonkey|Waterfox|K-Meleon)\//;

function browserOf(userAgent) {
  if (NPAPI_FORKS.test(userAgent)) return 'npapi';
  if (/\bEdg(e|A|iOS)?\//.test(userAgent)) return 'Edge';
  const firefox = /\bFirefox\/(\d+)/.exec(userAgent);
  if (firefox) return Number(firefox[1]) > 52 ? 'Firefox' : 'npapi';
  if (/(Chrome|Chromium)\//.test(userAgent)) return 'Chrome';  // HeadlessChrome too
  return null;
}

/** The words after "?660 " for a page on which neither road is open. */
export function installAdvice(userAgent, pluginState) {
  if (pluginState === 'disabled') {
    return "the Ternaport Print Plugin is installed but disabled: enable it in the browser's plug-in " +
      'settings, then reload the page';
  }
  if (pluginState === 'enabled') {
    return 'the Ternaport Print Plugin is installed but has not started on this page: allow it for ' +
      'this page (the browser may ask), then reload the page';
  }
  const browser = browserOf(String(userAgent || ''));
  if (browser === 'npapi') return 'nothing installed for this browser - ' + PLUGIN;
  if (browser) return 'nothing installed for this browser - ' + EXTENSION.replace('BROWSER', browser);
  return 'nothing installed for this browser - in Chrome, Edge or Firefox ' +
    EXTENSION.replace(' for BROWSER', '') + '; in a browser that loads NPAPI plug-ins ' + PLUGIN;
}
