#!/usr/bin/env python3
"""End to end under Wine: `nphost print` of a 16 MiB document into a CUPS raw queue, against `lp -o raw`
of the same file into the same queue, each timed until the queue's TCP printer has received every byte.
The runs alternate; the output ends with the medians and their ratio.

It stands on the end-to-end tests' environment (tests/e2e/e2e_env.py: the private CUPS daemon of
scripts/spooler.sh, the TCP printers of scripts/tcp_printer.py, scripts/wine.sh) with folders of its
own under build/bench-e2e and a Wine prefix of its own, so that it can run beside the tests. When
Wine, CUPS or the win64 build is missing it says so and skips (exit 0).
"""
import os
import shutil
import statistics
import subprocess
import sys
import time

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

DOCUMENT_BYTES = 16 << 20
RUNS = int(os.environ.get("E2E_BENCH_RUNS", "5"))
QUEUE = "bench-raw"
WORK = os.path.join(ROOT, "build", "bench-e2e")
PREFIX = os.path.join(ROOT, "build", "wineprefix-bench")
POLL = 0.01  # seconds between looks at the printer's folder
ARRIVAL_TIMEOUT = 120


def missing_prerequisite():
    for tool in ("/usr/lib/wine/wine64", "/usr/sbin/cupsd", "lp", "lpadmin"):
        if not shutil.which(tool):
            return "%s is not installed (make deps installs it)" % tool
    for path in ("build/win64/nphost.exe", "build/win64/nptovi32.dll"):
        if not os.path.exists(os.path.join(ROOT, path)):
            return "%s is not built (make build-win64)" % path
    return None


def complete_jobs(printer):
    """The number of jobs the printer has received completely (a job's file appears when it is whole)."""
    return len([n for n in os.listdir(printer.directory) if n.startswith("job-") and n.endswith(".bin")])


def wait_for_job(printer, count):
    deadline = time.monotonic() + ARRIVAL_TIMEOUT
    while complete_jobs(printer) < count:
        if time.monotonic() > deadline:
            raise RuntimeError("job %d did not reach the printer within %d s" % (count, ARRIVAL_TIMEOUT))
        time.sleep(POLL)


def last_job(printer):
    names = sorted(n for n in os.listdir(printer.directory) if n.startswith("job-") and n.endswith(".bin"))
    with open(os.path.join(printer.directory, names[-1]), "rb") as f:
        return f.read()


def timed(action, printer, document):
    """Seconds from starting the action until it returned, and until the printer holds one more whole
    job, which is checked byte for byte."""
    before = complete_jobs(printer)
    started = time.monotonic()
    action()
    returned = time.monotonic() - started
    wait_for_job(printer, before + 1)
    arrived = time.monotonic() - started
    if last_job(printer) != document:
        raise RuntimeError("the printer received other bytes than the document")
    return returned, arrived


def main():
    reason = missing_prerequisite()
    if reason:
        print("e2e print benchmark skipped: %s" % reason)
        return 0

    os.environ["WINEPREFIX"] = PREFIX
    import e2e_env  # noqa: E402  (after WINEPREFIX, which its Wine calls inherit)

    e2e_env.WORK = WORK  # the TCP printers' folders
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(WORK)
    document = os.urandom(DOCUMENT_BYTES)
    path = os.path.join(WORK, "document.bin")
    with open(path, "wb") as f:
        f.write(document)

    try:
        spooler = e2e_env.start(os.path.join(WORK, "spooler"))
        printer = spooler.add_queue(QUEUE)

        def through_plugin():
            result = e2e_env.nphost("print", "--printer", QUEUE, e2e_env.windows_path(path))
            if result.code != 0:
                raise RuntimeError("nphost print failed: %r" % result)

        def through_lp():
            spooler.cups("lp", "-d", QUEUE, "-o", "raw", path)

        def wine_start():
            result = e2e_env.nphost("version")
            if result.code != 0:
                raise RuntimeError("nphost version failed: %r" % result)

        # The first Wine start creates the prefix; the first job warms CUPS and the printer.
        wine_start()
        timed(through_lp, printer, document)
        timed(through_plugin, printer, document)

        plugin, plugin_returned, lp, startup = [], [], [], []
        for run in range(RUNS):
            returned, arrived = timed(through_plugin, printer, document)
            plugin.append(arrived)
            plugin_returned.append(returned)
            lp.append(timed(through_lp, printer, document)[1])
            started = time.monotonic()
            wine_start()
            startup.append(time.monotonic() - started)
            print("run %d: nphost print %.3f s (returned after %.3f s), lp -o raw %.3f s, nphost version %.3f s"
                  % (run + 1, plugin[-1], plugin_returned[-1], lp[-1], startup[-1]), flush=True)
    finally:
        e2e_env.stop()  # the daemon, its queues and printers, and this prefix's wineserver
        shutil.rmtree(WORK, ignore_errors=True)

    p, r, l, s = (statistics.median(x) for x in (plugin, plugin_returned, lp, startup))
    print()
    print("End to end, %d-byte document into a CUPS raw queue until the printer has it all, medians of %d:"
          % (DOCUMENT_BYTES, RUNS))
    print("  nphost print (Wine, plug-in, Wine's spooler)    %7.3f s  (nphost returned after %.3f s)" % (p, r))
    print("  lp -o raw                                       %7.3f s" % l)
    print("  nphost print / lp -o raw                        %7.2f" % (p / l))
    print("  Wine starting nphost alone (nphost version)     %7.3f s" % s)
    print("  (nphost print - nphost version) / lp -o raw     %7.2f" % ((p - s) / l))
    return 0


if __name__ == "__main__":
    sys.exit(main())
