// What the cases stand on besides the browser: the pages' server (two origins), the TCP printer's jobs
// and CUPS's job count, the host's process, and the administrator's site policy in the Wine prefix.
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const PAGES = path.join(path.dirname(fileURLToPath(import.meta.url)), 'pages');
const ROOT = path.join(path.dirname(fileURLToPath(import.meta.url)), '..', '..');
/** The page library, served under /web/ as a site would serve it. */
const LIBRARY = path.join(ROOT, 'web');
const POLICY_KEY = 'HKLM\\SOFTWARE\\Policies\\Ternaport\\Print Plugin';
const VENDOR_KEY = 'HKLM\\SOFTWARE\\Policies\\Ternaport';

export const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

/** Serves pages/ (and the library under /web/) on two ports of 127.0.0.1, which are two origins. */
export async function servePages() {
  const handler = (req, res) => {
    const pathname = new URL(req.url, 'http://x').pathname;
    const library = pathname.match(/^\/web\/((?:lib\/)?[\w.-]+\.js)$/);
    const name = path.basename(pathname) || 'index.html';
    // The example page beside the library (it loads ../web/tovi-print.classic.js).
    const file = library ? path.join(LIBRARY, library[1])
      : pathname === '/examples/print.html' ? path.join(ROOT, 'examples', 'print.html')
      : path.join(PAGES, name);
    if (!fs.existsSync(file)) {
      res.writeHead(404).end();
      return;
    }
    const type = name.endsWith('.js') ? 'text/javascript' : 'text/html';
    res.writeHead(200, { 'content-type': `${type}; charset=utf-8`, 'cache-control': 'no-store' });
    res.end(fs.readFileSync(file));
  };
  const servers = [http.createServer(handler), http.createServer(handler)];
  await Promise.all(servers.map((s) => new Promise((resolve) => s.listen(0, '127.0.0.1', resolve))));
  const [a, b] = servers.map((s) => `http://127.0.0.1:${s.address().port}`);
  return { a, b, close: () => servers.forEach((s) => s.close()) };
}

export class Environment {
  /** @param {object} config written by run_browsers.py */
  constructor(config) {
    this.config = config;
  }

  /** The printer's complete jobs so far, oldest first. */
  jobs() {
    const dir = this.config.printerDir;
    return fs.readdirSync(dir).filter((n) => /^job-.*\.bin$/.test(n)).sort()
      .map((n) => fs.readFileSync(path.join(dir, n)));
  }

  /** Every job CUPS has taken, finished or not. */
  jobCount() {
    const out = spawnSync('lpstat', ['-W', 'all', '-o'], { env: { ...process.env, ...this.config.wine }, encoding: 'utf8' });
    return out.stdout.split('\n').filter(Boolean).length;
  }

  /** Waits for the printer to hold `count` jobs; returns them (fewer when the time is up). */
  async waitForJobs(count, timeoutMs = 60000) {
    const deadline = Date.now() + timeoutMs;
    for (;;) {
      const jobs = this.jobs();
      if (jobs.length >= count || Date.now() > deadline) return jobs;
      await sleep(50);
    }
  }

  /** The pid of the host the browser started last (the launcher writes it before exec). */
  hostPid() {
    return Number(fs.readFileSync(this.config.pidFile, 'utf8'));
  }

  /** Signals the host; false when it is not running. */
  signalHost(signal) {
    try {
      process.kill(this.hostPid(), signal);
      return true;
    } catch (e) {
      if (e.code === 'ESRCH' || e.code === 'ENOENT') return false;
      throw e;
    }
  }

  reg(...args) {
    const out = spawnSync(this.config.wineScript, ['reg', ...args],
      { env: { ...process.env, ...this.config.wine }, encoding: 'utf8', stdio: ['ignore', 'pipe', 'pipe'] });
    return out.status;
  }

  /** Sets AllowedOrigins as Group Policy writes it. The module reads it when an instance is made. */
  setPolicy(origins) {
    const status = this.reg('add', POLICY_KEY, '/v', 'AllowedOrigins', '/t', 'REG_MULTI_SZ', '/d', origins.join('\\0'), '/f');
    if (status !== 0) throw new Error(`reg add failed with ${status}`);
  }

  removePolicy() {
    this.reg('delete', VENDOR_KEY, '/f');
  }
}
