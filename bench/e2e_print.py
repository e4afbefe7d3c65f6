#!/usr/bin/env python3
"""End to end under Wine: `nphost print` of documents of 1 KiB, 1 MiB, 16 MiB and 64 MiB into a CUPS
raw queue, against `lp -o raw` of the same file into the same queue and a plain TCP write of the same
bytes straight to the queue's printer, each timed until the printer has received every byte (checked
byte for byte). The runs alternate; the output ends with the medians.

The plug-in's time is taken apart:
  Wine start            `nphost version`: Wine starting nphost, loading the plug-in, ending
  read and encode       nphost reading the file and encoding it as Base64 (`print --times`)
  print call            the plug-in's print method (`print --times`): the module's allocation and
                        decode, then its spooler calls, in which Wine's winspool spools the bytes and
                        hands them to CUPS (at EndDocPrinter)
  of it, module         the module's own share before the spooler: the same call on a printer that
                        is not there, which reads `data` through the browser, allocates, decodes the
                        whole text and then fails to open the printer (the 1 KiB row shows that
                        failure's fixed cost)
  after the call        the rest: nphost ending, and CUPS relaying the job to the printer

The bridge (tovi-bridge.exe, the native-messaging host) is timed beside them, already running and
driven by the end-to-end tests' framing client: 1 KiB and 16 MiB (in parts of 1 MiB of Base64) from
the request until the printer has every byte, against nphost's in-process time (its time without
Wine's start and its reading and encoding of the file); and 1 KiB labels one after another, each
awaited, as labels a second, with the bridge's cost per label on top of the module's own print call.

It stands on the end-to-end tests' environment (tests/e2e/e2e_env.py: the private CUPS daemon of
scripts/spooler.sh, the TCP printers of scripts/tcp_printer.py, scripts/wine.sh) with folders of its
own under build/bench-e2e and a Wine prefix of its own, so that it can run beside the tests. When
Wine, CUPS or the win64 build is missing it says so and skips (exit 0).
"""
import base64
import os
import re
import shutil
import socket
import statistics
import sys
import time

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

SIZES = [1 << 10, 1 << 20, 16 << 20, 64 << 20]
BRIDGE_SIZES = [1 << 10, 16 << 20]
LABELS = int(os.environ.get("E2E_BENCH_LABELS", "200"))  # 1 KiB labels in a row through the bridge
ORIGIN = "https://bench.example"
RUNS = int(os.environ.get("E2E_BENCH_RUNS", "5"))
QUEUE = "bench-raw"
MISSING_QUEUE = "bench-not-there"
WORK = os.path.join(ROOT, "build", "bench-e2e")
PREFIX = os.path.join(ROOT, "build", "wineprefix-bench")
POLL = 0.005  # seconds between looks at the printer's folder
ARRIVAL_TIMEOUT = 180
TIMES = re.compile(r"times: read and encode ([0-9.]+) s, print call ([0-9.]+) s")


def missing_prerequisite():
    for tool in ("/usr/lib/wine/wine64", "/usr/sbin/cupsd", "lp", "lpadmin"):
        if not shutil.which(tool):
            return "%s is not installed (make deps installs it)" % tool
    for path in ("build/win64/nphost.exe", "build/win64/nptovi64.dll"):
        if not os.path.exists(os.path.join(ROOT, path)):
            return "%s is not built (make build-win64)" % path
    return None


def job_names(printer):
    """The printer's complete jobs (a job's file appears when it is whole), oldest first."""
    return sorted(n for n in os.listdir(printer.directory) if n.startswith("job-") and n.endswith(".bin"))


def wait_for_job(printer, count):
    deadline = time.monotonic() + ARRIVAL_TIMEOUT
    while len(job_names(printer)) < count:
        if time.monotonic() > deadline:
            raise RuntimeError("job %d did not reach the printer within %d s" % (count, ARRIVAL_TIMEOUT))
        time.sleep(POLL)


def timed(action, printer, document):
    """Runs the action; returns what it returned and the seconds until the printer holds one more
    whole job, which must be the document."""
    before = len(job_names(printer))
    started = time.monotonic()
    answer = action()
    wait_for_job(printer, before + 1)
    arrived = time.monotonic() - started
    with open(os.path.join(printer.directory, job_names(printer)[-1]), "rb") as f:
        if f.read() != document:
            raise RuntimeError("the printer received other bytes than the document")
    return answer, arrived


def print_times(result):
    """(read and encode, print call) seconds from `nphost print --times`."""
    found = TIMES.search(result.err.decode("utf-8", "replace"))
    if not found:
        raise RuntimeError("nphost print --times reported no times: %r" % result)
    return float(found.group(1)), float(found.group(2))


def size_text(size):
    return "%d MiB" % (size >> 20) if size >= 1 << 20 else "%d KiB" % (size >> 10)


def start_bridge(e2e_env, spooler):
    from bridge_client import BridgeClient  # tests/e2e, on the path once e2e_env is imported
    bridge = BridgeClient([e2e_env.WINE, e2e_env.BRIDGE], env=spooler.env, timeout=ARRIVAL_TIMEOUT)
    if bridge.call(ORIGIN, "getVersion").get("result") is None:
        raise RuntimeError("tovi-bridge.exe did not answer getVersion")
    return bridge


def bridge_printer(bridge, document):
    """Sends the document (encoded beforehand, so only the bridge's work is timed) and checks the replies."""
    text = base64.b64encode(document).decode("ascii")

    def through_bridge():
        replies = bridge.print_text(ORIGIN, text, printer=QUEUE)
        if replies[-1] is None or replies[-1].get("result") is not True:
            raise RuntimeError("the bridge's print failed: %r" % replies[-1])
    return through_bridge


def warm_print_call(e2e_env, printer, size, count):
    """The module's own print call of `size` bytes in a process that has printed before, as the
    running bridge's is: `count` prints joined by "+" in one nphost run, the median of all but the first."""
    path = os.path.join(WORK, "warm-%d.bin" % size)
    with open(path, "wb") as f:
        f.write(os.urandom(size))
    command = []
    for _ in range(count):
        command += ["+", "print", "--times", "--printer", QUEUE, e2e_env.windows_path(path)]
    before = len(job_names(printer))
    result = e2e_env.nphost(*command[1:])
    if result.code != 0:
        raise RuntimeError("nphost print failed: %r" % result)
    calls = [float(found.group(2)) for found in TIMES.finditer(result.err.decode("utf-8", "replace"))]
    wait_for_job(printer, before + count)
    os.remove(path)
    return statistics.median(calls[1:])


def measure_labels(bridge, printer):
    """LABELS labels of 1 KiB in a row through the running bridge: each request's reply time, and the
    time until the printer holds them all."""
    label = os.urandom(1 << 10)
    send = bridge_printer(bridge, label)
    before = len(job_names(printer))
    replies = []
    started = time.monotonic()
    for _ in range(LABELS):
        sent = time.monotonic()
        send()
        replies.append(time.monotonic() - sent)
    answered = time.monotonic() - started
    wait_for_job(printer, before + LABELS)
    arrived = time.monotonic() - started
    trips = []
    for _ in range(LABELS):
        sent = time.monotonic()
        bridge.call(ORIGIN, "getVersion")
        trips.append(time.monotonic() - sent)
    return {"reply": statistics.median(replies), "answered": answered, "arrived": arrived,
            "trip": statistics.median(trips)}


def measure(e2e_env, spooler, printer, size, bridge):
    document = os.urandom(size)
    path = os.path.join(WORK, "document-%d.bin" % size)
    with open(path, "wb") as f:
        f.write(document)
    windows_path = e2e_env.windows_path(path)

    def through_plugin():
        result = e2e_env.nphost("print", "--times", "--printer", QUEUE, windows_path)
        if result.code != 0:
            raise RuntimeError("nphost print failed: %r" % result)
        return print_times(result)

    def decode_only():
        result = e2e_env.nphost("print", "--times", "--printer", MISSING_QUEUE, windows_path)
        if result.code == 0:
            raise RuntimeError("nphost print to a missing printer succeeded: %r" % result)
        return print_times(result)[1]

    def through_lp():
        spooler.cups("lp", "-d", QUEUE, "-o", "raw", path)

    def through_tcp():
        with socket.create_connection(("127.0.0.1", printer.port)) as connection:
            connection.sendall(document)

    def wine_start():
        started = time.monotonic()
        if e2e_env.nphost("version").code != 0:
            raise RuntimeError("nphost version failed")
        return time.monotonic() - started

    # The first job of each way warms CUPS, the printer and the page cache.
    timed(through_lp, printer, document)
    timed(through_plugin, printer, document)
    rows = {k: [] for k in ("plugin", "start", "read", "call", "decode", "lp", "tcp", "bridge")}
    through_bridge = bridge_printer(bridge, document) if size in BRIDGE_SIZES else None
    if through_bridge:
        timed(through_bridge, printer, document)
    for run in range(RUNS):
        (read, call), arrived = timed(through_plugin, printer, document)
        rows["plugin"].append(arrived)
        rows["read"].append(read)
        rows["call"].append(call)
        rows["decode"].append(decode_only())
        rows["lp"].append(timed(through_lp, printer, document)[1])
        rows["tcp"].append(timed(through_tcp, printer, document)[1])
        rows["start"].append(wine_start())
        if through_bridge:
            rows["bridge"].append(timed(through_bridge, printer, document)[1])
            print("%s run %d: bridge %.4f s" % (size_text(size), run + 1, rows["bridge"][-1]), flush=True)
        print("%s run %d: nphost print %.3f s (read+encode %.3f, call %.3f, alloc+decode %.4f), lp -o raw "
              "%.3f s, TCP write %.4f s, Wine start %.3f s"
              % (size_text(size), run + 1, arrived, read, call, rows["decode"][-1], rows["lp"][-1],
                 rows["tcp"][-1], rows["start"][-1]), flush=True)
    os.remove(path)
    return {k: statistics.median(v) for k, v in rows.items() if v}


def report_bridge(results, labels, warm_call):
    print()
    print("The bridge, running, through the framing client, until the printer has every byte (medians, seconds):")
    print("%-7s %11s %11s %11s %11s %13s" % ("size", "bridge", "nphost", "TCP write", "bridge/TCP",
                                              "bridge/nphost"))
    for size, m in results:
        if "bridge" not in m:
            continue
        in_process = m["plugin"] - m["start"] - m["read"]
        print("%-7s %11.4f %11.4f %11.4f %11.1f %13.2f" % (size_text(size), m["bridge"], in_process, m["tcp"],
                                                          m["bridge"] / m["tcp"], m["bridge"] / in_process))
    print("  nphost: nphost print without Wine's start and its reading and encoding of the file")
    module_call = warm_call
    print()
    print("%d labels of 1 KiB in a row through the bridge, each awaited:" % LABELS)
    print("  reply         %8.3f ms a label (median, request to reply)" % (labels["reply"] * 1e3))
    print("  module        %8.3f ms a label (the module's own print call, in an nphost that printed before)"
          % (module_call * 1e3))
    print("  bridge cost   %8.3f ms a label (reply - module), ratio reply/module %.2f"
          % ((labels["reply"] - module_call) * 1e3, labels["reply"] / module_call))
    print("  round trip    %8.3f ms (getVersion: a frame each way, JSON, the module's call)" % (labels["trip"] * 1e3))
    print("  answered      %8.1f labels a second; all at the printer: %.1f labels a second"
          % (LABELS / labels["answered"], LABELS / labels["arrived"]))


def report(results):
    print()
    print("End to end into a CUPS raw queue until the printer has every byte, medians of %d runs (seconds):"
          % RUNS)
    columns = ("nphost print", "lp -o raw", "TCP write", "print/lp", "Wine start", "read+enc",
               "print call", "alloc+dec", "spooler", "after call")
    print("%-7s" % "size" + "".join(" %11s" % c for c in columns))
    for size, m in results:
        after = m["plugin"] - m["start"] - m["read"] - m["call"]
        cells = (m["plugin"], m["lp"], m["tcp"], m["plugin"] / m["lp"], m["start"], m["read"], m["call"],
                 m["decode"], m["call"] - m["decode"], after)
        print("%-7s" % size_text(size) + "".join(" %11.4f" % c for c in cells))
    print()
    print("  Wine start   `nphost version`: Wine starting nphost and the plug-in, and ending")
    print("  read+enc     nphost reading the file and encoding it (not the plug-in's work)")
    print("  print call   the plug-in's print method; of it:")
    print("  alloc+dec      the module's own share before the spooler: reading `data`, allocation and decode")
    print("                 (the same call on a missing printer; the 1 KiB row is its fixed cost)")
    print("  spooler        the module's spooler calls: Wine's winspool spooling the bytes and handing")
    print("                 them to CUPS")
    print("  after call   nphost print - Wine start - read+enc - print call: CUPS relaying the job on")


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
    results = []
    bridge = None
    try:
        spooler = e2e_env.start(os.path.join(WORK, "spooler"))
        printer = spooler.add_queue(QUEUE)
        e2e_env.nphost("version")  # the first Wine start creates the prefix
        bridge = start_bridge(e2e_env, spooler)
        for size in SIZES:
            results.append((size, measure(e2e_env, spooler, printer, size, bridge)))
        labels = measure_labels(bridge, printer)
        warm_call = warm_print_call(e2e_env, printer, 1 << 10, LABELS + 1)
    finally:
        if bridge:
            bridge.close()
        e2e_env.stop()  # the daemon, its queues and printers, and this prefix's wineserver
        shutil.rmtree(WORK, ignore_errors=True)
    report(results)
    report_bridge(results, labels, warm_call)
    return 0


if __name__ == "__main__":
    sys.exit(main())
