#!/usr/bin/env python3
"""Runs the browser suite: Debian's Chromium and Firefox ESR, headless, with the extension, starting the
win64 tovi-bridge.exe under Wine as their native host, against the end-to-end spooler (a private CUPS
daemon whose raw queue feeds a TCP printer on 127.0.0.1).

This script stands the environment up (reusing the end-to-end helpers), writes the host's launcher and
the suite's configuration, runs suite.mjs for each browser, and stops everything it started.
    run_browsers.py [chromium] [firefox]
"""
import json
import os
import shutil
import signal
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))
import e2e_env  # noqa: E402

ROOT = e2e_env.ROOT
WORK = os.path.join(ROOT, "build", "browsers")
BRIDGE = os.path.join(ROOT, "build", "win64", "tovi-bridge.exe")
QUEUE = "browser-suite"
BROWSERS = ["chromium", "firefox"]


def cmake_setting(name):
    with open(os.path.join(ROOT, "CMakeLists.txt"), encoding="utf-8") as f:
        for line in f:
            if line.startswith("set(%s " % name):
                return line.split('"')[1]
    raise RuntimeError("CMakeLists.txt does not set " + name)


def write_launcher(path, environment, pid_file):
    """The host manifest's "path": browsers start a program, not an .exe under Wine. It pins the Wine
    prefix and TMPDIR (where Wine keeps its server's socket), so the host joins the wineserver this
    script keeps alive instead of starting a cold one, and the spooler the tests read."""
    lines = ["#!/bin/sh", "# Written by the browser suite: the bridge under Wine, as the browsers' native host."]
    lines += ["export %s='%s'" % item for item in sorted(environment.items())]
    lines += ['echo $$ > "%s"' % pid_file, "exec '%s' '%s' \"$@\"" % (e2e_env.WINE, BRIDGE), ""]
    with open(path, "w", encoding="utf-8") as f:
        f.write("\n".join(lines))
    os.chmod(path, 0o755)


def packed_xpi():
    out = os.path.join(WORK, "packages")
    printed = subprocess.run([sys.executable, os.path.join(ROOT, "scripts", "extension_pack.py"), out],
                             check=True, capture_output=True, text=True).stdout.split()
    return next(path for path in printed if path.endswith(".xpi"))


def main():
    browsers = sys.argv[1:] or BROWSERS
    for path, hint in ((BRIDGE, "make build-win64"), (e2e_env.NPHOST, "make build-win64"),
                       (os.path.join(HERE, "node_modules", "puppeteer-core"), "make deps")):
        if not os.path.exists(path):
            print("browsers: %s is missing; run %s" % (path, hint), file=sys.stderr)
            return 2
    for browser in browsers:
        if browser not in BROWSERS or not shutil.which({"chromium": "chromium", "firefox": "firefox-esr"}[browser]):
            print("browsers: %s is not a browser this suite runs, or not installed (make deps)" % browser,
                  file=sys.stderr)
            return 2

    signal.signal(signal.SIGTERM, e2e_env.interrupt)
    signal.signal(signal.SIGINT, e2e_env.interrupt)
    e2e_env.WORK = WORK
    e2e_env.Spooler(os.path.join(WORK, "spooler")).stop()  # one left by a run that was killed outright
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(os.path.join(WORK, "tmp"))
    # Every Wine process of the run, the browsers' hosts included, finds one wineserver through TMPDIR.
    os.environ["TMPDIR"] = os.path.join(WORK, "tmp")
    try:
        spooler = e2e_env.start()
        printer = spooler.add_queue(QUEUE, default=True)
        wine = {"WINEPREFIX": os.environ.get("WINEPREFIX", os.path.join(ROOT, "build", "wineprefix")),
                "TMPDIR": os.environ["TMPDIR"], "CUPS_SERVER": spooler.env["CUPS_SERVER"]}
        launcher = os.path.join(WORK, "tovi-bridge.sh")
        pid_file = os.path.join(WORK, "host.pid")
        write_launcher(launcher, wine, pid_file)
        config = {
            "root": ROOT, "work": WORK, "extension": os.path.join(ROOT, "extension"),
            "hostPath": launcher, "pidFile": pid_file, "wine": wine, "wineScript": e2e_env.WINE,
            "printerDir": printer.directory, "queue": QUEUE,
            "extensionId": cmake_setting("NPTOVI_EXTENSION_ID"), "geckoId": cmake_setting("NPTOVI_GECKO_ID"),
            "expected": {"printers": e2e_env.nphost("printers").lines, "macs": e2e_env.nphost("macs").lines,
                         "version": e2e_env.nphost("version").lines[0]},
        }
        # Firefox gets the .xpi that ships; Chromium the source folder, whose key fixes the ID that the
        # host manifest allows (the store package carries no key).
        config["firefoxExtension"] = packed_xpi()
        config_path = os.path.join(WORK, "config.json")
        with open(config_path, "w", encoding="utf-8") as f:
            json.dump(config, f, indent=2)
        suite = subprocess.Popen(["node", os.path.join(HERE, "suite.mjs")] + browsers, cwd=HERE,
                                 env=dict(os.environ, BROWSER_SUITE_CONFIG=config_path))
        try:
            return suite.wait()
        except KeyboardInterrupt:
            # SIGTERM lets puppeteer close the browser it started; SIGKILL would leave it running.
            suite.terminate()
            try:
                suite.wait(timeout=20)
            except subprocess.TimeoutExpired:
                suite.kill()
                suite.wait()
            raise
    except KeyboardInterrupt:
        print("browsers: interrupted", file=sys.stderr)
        return 130
    finally:
        e2e_env.stop()


if __name__ == "__main__":
    sys.exit(main())
