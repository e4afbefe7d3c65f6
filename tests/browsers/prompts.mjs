// The extension's own windows as the suite sees them: found among the browser's pages by their address
// (Firefox's driver keeps reporting an extension window as about:blank, so the page itself is asked).
import assert from 'node:assert/strict';
import { sleep } from './environment.mjs';

async function extensionPages(browser, file) {
  const found = [];
  for (const page of await browser.pages()) {
    const href = await page.evaluate(() => location.href).catch(() => '');
    if (href.includes(`/${file}`)) found.push(page);
  }
  return found;
}

/** The open consent window, waiting up to timeoutMs for it to appear. */
export async function waitForPrompt(browser, timeoutMs = 15000) {
  const deadline = Date.now() + timeoutMs;
  for (;;) {
    const [prompt] = await extensionPages(browser, 'consent.html');
    if (prompt) return prompt;
    if (Date.now() > deadline) throw new Error('no consent window appeared');
    await sleep(100);
  }
}

export async function assertNoPrompt(browser) {
  assert.equal((await extensionPages(browser, 'consent.html')).length, 0, 'a consent window is open');
}

/**
 * Answers the consent window after checking that it names the origin and what it asks for.
 * @param {'allow'|'deny'|'close'} answer  close: the window is closed without an answer
 * alone: the window must be the only one open
 * @returns {Promise<string>} the question shown
 */
export async function answerPrompt(browser, { origin, asks, answer, remember = false, alone = false }) {
  const prompt = await waitForPrompt(browser);
  if (alone) {
    await sleep(500); // time for any further window to open
    assert.equal((await extensionPages(browser, 'consent.html')).length, 1, 'more than one consent window');
  }
  await prompt.waitForSelector('#allow:not([disabled])');
  const question = await prompt.$eval('#question', (e) => e.textContent);
  assert.equal(question, `${origin} wants to ${asks}.`);
  if (answer === 'close') {
    await prompt.evaluate(() => window.close());
  } else {
    if (remember) await prompt.click('#remember');
    // The window may close before the driver hears that its click was delivered.
    await prompt.click(`#${answer}`).catch((e) => { if (e.name !== 'TargetCloseError') throw e; });
  }
  // The extension closes the window on an answer; the next case must not find this one.
  const deadline = Date.now() + 10000;
  while ((await extensionPages(browser, 'consent.html')).length > 0) {
    if (Date.now() > deadline) throw new Error('the consent window stayed open after the answer');
    await sleep(50);
  }
  return question;
}

/** Opens the options page from the open consent window (an extension page may; a test page may not). */
export async function openOptionsFromPrompt(browser) {
  const prompt = await waitForPrompt(browser);
  await prompt.evaluate(() => (globalThis.browser ?? globalThis.chrome).runtime.openOptionsPage());
  const deadline = Date.now() + 15000;
  for (;;) {
    const [options] = await extensionPages(browser, 'options.html');
    if (options) return options;
    if (Date.now() > deadline) throw new Error('the options page did not open');
    await sleep(100);
  }
}
