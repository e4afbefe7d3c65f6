#!/usr/bin/env python3
"""Runs the end-to-end tests: nphost.exe and the plug-in of the win64 build under Wine (or, with
NPTOVI_TARGET=win32, of the win32 build under 32-bit Wine in the guest of scripts/vm32), against a
private CUPS daemon whose raw queues feed TCP printers on 127.0.0.1.

Everything started here is stopped here, on success, failure, Ctrl-C or SIGTERM. The last line is
"N passed, N failed" (a test counts once; it fails if any of its cases fails).
"""
import os
import shutil
import signal
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e_env  # noqa: E402

MODULES = ["test_identity", "test_printer_list", "test_printing", "test_hardware_addresses",
           "test_site_policy", "test_bridge", "test_packages"]


class CountingResult(unittest.TextTestResult):
    def __init__(self, *args, **kwargs):
        super().__init__(*args, **kwargs)
        self.failed_tests = set()
        self.passed = 0

    def addSuccess(self, test):
        super().addSuccess(test)
        if test.id() not in self.failed_tests:
            self.passed += 1

    def _fail(self, test):
        self.failed_tests.add(test.id())

    def addFailure(self, test, err):
        super().addFailure(test, err)
        self._fail(test)

    def addError(self, test, err):
        super().addError(test, err)
        self._fail(getattr(test, "test_case", test))

    def addSubTest(self, test, subtest, err):
        super().addSubTest(test, subtest, err)
        if err is not None:
            self._fail(test)


class TimedModule(unittest.TestSuite):
    """One test module's tests; the seconds they took go into SECONDS (a figure for the log: what
    each module costs, in the guest above all)."""

    def __init__(self, name, tests):
        super().__init__(tests)
        self.name = name

    def run(self, result, debug=False):
        started = time.monotonic()
        try:
            return super().run(result, debug)
        finally:
            SECONDS[self.name] = time.monotonic() - started


SECONDS = {}


def suite(names):
    loader = unittest.TestLoader()
    tests = unittest.TestSuite()
    for name in names:
        module = __import__(name)
        # Classes run in name order; each adds the queues it needs and removes them again.
        tests.addTest(TimedModule(name, loader.loadTestsFromModule(module)))
    return tests


def main():
    for tool in ("ip", "/usr/sbin/cupsd", e2e_env.WINE_LOADER):
        if not shutil.which(tool):
            print("e2e: %s is missing; run make deps" % tool, file=sys.stderr)
            return 2
    for path in (e2e_env.NPHOST, e2e_env.DLL, e2e_env.BRIDGE):
        if not os.path.exists(path):
            print("e2e: %s is missing; run make build-%s" % (path, e2e_env.TARGET), file=sys.stderr)
            return 2

    signal.signal(signal.SIGTERM, e2e_env.interrupt)
    signal.signal(signal.SIGINT, e2e_env.interrupt)
    names = sys.argv[1:] or MODULES
    # A run that was killed outright may have left its daemon behind.
    e2e_env.Spooler(os.path.join(e2e_env.WORK, "spooler")).stop()
    shutil.rmtree(e2e_env.WORK, ignore_errors=True)
    os.makedirs(e2e_env.WORK)
    started = time.monotonic()
    result = None
    try:
        e2e_env.start()
        print("e2e: %s, the module nphost loads by default:" % e2e_env.TARGET)
        info = e2e_env.nphost("info").fields()
        for key in ("machine", "loaded", "FileVersion"):
            print("  %s: %s" % (key, info.get(key)))
        runner = unittest.TextTestRunner(resultclass=CountingResult, verbosity=2, stream=sys.stdout)
        result = runner.run(suite(names))
    except KeyboardInterrupt:
        print("e2e: interrupted", file=sys.stderr)
    finally:
        e2e_env.stop()
        shutil.rmtree(e2e_env.WORK, ignore_errors=True)
    if result is None:
        return 1
    failed = len(result.failed_tests)
    print("e2e: %.0f s (%s)" % (time.monotonic() - started,
                                ", ".join("%s %.0f s" % (name, seconds) for name, seconds in SECONDS.items())))
    print("%d passed, %d failed" % (result.passed, failed))
    return 0 if failed == 0 and result.testsRun > 0 else 1


if __name__ == "__main__":
    sys.exit(main())
