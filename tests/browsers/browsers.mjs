// Starts Debian's Chromium and Firefox ESR headless with the extension loaded and the native host's
// manifest where each looks for it, in folders of the suite's own (a fresh profile and HOME each time).
import fs from 'node:fs';
import path from 'node:path';
import puppeteer from 'puppeteer-core';

const HOST_NAME = 'com.ternaport.print';
/** Fixed so that the suite can open the options page; Firefox otherwise picks one per install. */
const FIREFOX_UUID = '6a1f3c52-0d4e-4b8a-9a51-2f0c8d7e4b10';

function hostManifest(hostPath, allowed) {
  return JSON.stringify({ name: HOST_NAME, description: 'Ternaport Print bridge (browser suite)', path: hostPath,
    type: 'stdio', ...allowed }, null, 2);
}

/**
 * @param {'chromium'|'firefox'} name
 * @param {{work: string, extension: string, firefoxExtension?: string, hostPath: string, extensionId: string,
 *   geckoId: string}} config
 * @returns {Promise<{browser: import('puppeteer-core').Browser, name: string, extensionBase: string}>}
 */
export async function launch(name, config) {
  const dir = path.join(config.work, name);
  fs.rmSync(dir, { recursive: true, force: true });
  const home = path.join(dir, 'home');
  const profile = path.join(dir, 'profile');
  fs.mkdirSync(home, { recursive: true });
  fs.mkdirSync(profile, { recursive: true });
  const env = { ...process.env, HOME: home };
  if (name === 'chromium') {
    // Read from <user-data-dir>/NativeMessagingHosts first when a user data dir is given.
    fs.mkdirSync(path.join(profile, 'NativeMessagingHosts'));
    fs.writeFileSync(path.join(profile, 'NativeMessagingHosts', `${HOST_NAME}.json`),
      hostManifest(config.hostPath, { allowed_origins: [`chrome-extension://${config.extensionId}/`] }));
    const browser = await puppeteer.launch({
      executablePath: '/usr/bin/chromium',
      headless: false, // --headless=new below: puppeteer's own flag would also drop extensions
      enableExtensions: true,
      userDataDir: profile,
      env,
      args: ['--headless=new', '--no-sandbox', '--no-first-run', `--load-extension=${config.extension}`],
      protocolTimeout: 120000,
    });
    return { browser, name, extensionBase: `chrome-extension://${config.extensionId}/` };
  }
  const hosts = path.join(home, '.mozilla', 'native-messaging-hosts');
  fs.mkdirSync(hosts, { recursive: true });
  fs.writeFileSync(path.join(hosts, `${HOST_NAME}.json`),
    hostManifest(config.hostPath, { allowed_extensions: [config.geckoId] }));
  const browser = await puppeteer.launch({
    browser: 'firefox',
    executablePath: '/usr/bin/firefox-esr',
    headless: true,
    env,
    args: ['--profile', profile],
    extraPrefsFirefox: { 'extensions.webextensions.uuids': JSON.stringify({ [config.geckoId]: FIREFOX_UUID }) },
    protocolTimeout: 120000,
  });
  await browser.installExtension(config.firefoxExtension ?? config.extension); // a folder or an .xpi
  return { browser, name, extensionBase: `moz-extension://${FIREFOX_UUID}/` };
}
