// tovi-print: one promise-based API for printing raw documents from a page, through the Ternaport
// Print Plugin in browsers that load NPAPI plug-ins, or through the Ternaport Print extension and
// its bridge in Chrome, Edge and Firefox.
import { Codes, ToviPrintError, libraryError } from './lib/errors.js';
import { MIME_TYPE, openPluginRoad, pluginState } from './lib/plugin-road.js';
import { findExtension, openExtensionRoad } from './lib/extension-road.js';
import { installAdvice } from './lib/install-advice.js';
import { Printer } from './lib/printer.js';

const ROADS = ['auto', 'plugin', 'extension'];

function openExtension(win, options) {
  const wait = typeof options.probeWait === 'number' ? options.probeWait : 300;
  return findExtension(win, wait).then((version) => (version === null ? null : openExtensionRoad(win, version, options)));
}

/**
 * Finds a road to the printers and resolves to a Printer. options.road: 'auto' (default: the plug-in
 * when the browser has it and it answers, else the extension), 'plugin' or 'extension'.
 */
export function connect(options) {
  const settings = options || {};
  const win = settings.window || (typeof window === 'undefined' ? null : window);
  if (!win) return Promise.reject(libraryError(Codes.BAD_ARGUMENT, 'bad argument - no window: connect() runs in a page', null));
  const wanted = settings.road === undefined ? 'auto' : settings.road;
  if (ROADS.indexOf(wanted) < 0) {
    return Promise.reject(libraryError(Codes.BAD_ARGUMENT, "bad argument - road must be 'auto', 'plugin' or 'extension'", null));
  }
  const state = pluginState(win);
  const advice = () => installAdvice(win.navigator && win.navigator.userAgent, state);
  const unavailable = (road) => libraryError(Codes.ROAD_UNAVAILABLE, 'the road asked for is not available - ' + road + ': ' + advice(), road);
  const plugin = () => (state === 'enabled' || settings.element ? openPluginRoad(win, settings) : Promise.resolve(null));
  const opened = (road) => new Printer(road);

  if (wanted === 'plugin') {
    return plugin().then((road) => { if (!road) throw unavailable('plugin'); return opened(road); });
  }
  if (wanted === 'extension') {
    return openExtension(win, settings).then((road) => { if (!road) throw unavailable('extension'); return opened(road); });
  }
  return plugin()
    .then((road) => road || openExtension(win, settings))
    .then((road) => {
      if (!road) throw libraryError(Codes.NOTHING_INSTALLED, advice(), null);
      return opened(road);
    });
}

export { ToviPrintError, Codes, MIME_TYPE };

export const ToviPrint = Object.freeze({ connect, ToviPrintError, Codes, MIME_TYPE });
export default ToviPrint;
