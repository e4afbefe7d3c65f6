"""What the end-to-end tests stand on: the win64 build run under Wine, a private CUPS daemon with raw
queues, TCP "printers" that keep what they receive, and network namespaces of the tests' own.

The runner (run_e2e.py) starts the spooler once and stops it, with everything else it started, at the
end; test classes add and remove the queues they need.
"""
import contextlib
import os
import re
import subprocess
import sys
import time

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "scripts"))
from tcp_printer import TcpPrinter  # noqa: E402  (scripts/ is no package)

# The build under test, chosen by NPTOVI_TARGET (scripts/wine.sh reads it too): win64 under 64-bit Wine
# on this machine (make e2e), or win32, the product users install, under 32-bit Wine in the guest of
# scripts/vm32 (make e2e32), which runs from a copy of the repository on the guest's own disk and
# emulates every instruction, so each step takes several times longer there.
TARGET = os.environ.get("NPTOVI_TARGET", "win64")
# The largest document printed is smaller in the guest, where its Base64 round trip dominates the run.
# Each build's nphost loads the plug-in of its own bitness from beside itself.
MACHINE, WINE_LOADER, SLOWDOWN, LARGE_DOCUMENT_MIB, MODULE_FILE = {
    "win64": ("x86-64", "/usr/lib/wine/wine64", 1, 16, "nptovi64.dll"),
    "win32": ("i386", "/usr/lib/wine/wine", 5, 4, "nptovi32.dll")}[TARGET]
NPHOST = os.path.join(ROOT, "build", TARGET, "nphost.exe")
DLL = os.path.join(ROOT, "build", TARGET, MODULE_FILE)  # the module nphost loads by default
BRIDGE = os.path.join(ROOT, "build", TARGET, "tovi-bridge.exe")  # the native-messaging host

WORK = os.path.join(ROOT, "build", "e2e")
DLL32 = os.path.join(ROOT, "build", "win32", "nptovi32.dll")
DLL64 = os.path.join(ROOT, "build", "win64", "nptovi64.dll")
WINE = os.path.join(ROOT, "scripts", "wine.sh")
SPOOLER = os.path.join(ROOT, "scripts", "spooler.sh")

COMMAND_TIMEOUT = 120 * SLOWDOWN  # seconds for one nphost run, the largest document included
ARRIVAL_TIMEOUT = 60 * SLOWDOWN  # seconds for a job to pass through CUPS to its printer
QUIET_PERIOD = 0.3     # seconds to watch for traffic that must not come (CUPS job counts settle it)


def windows_path(path):
    """The path under Wine's Z: drive, which maps the Unix root."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Result:
    def __init__(self, completed):
        self.code = completed.returncode
        self.out = completed.stdout
        self.err = completed.stderr

    @property
    def lines(self):
        return self.out.decode("utf-8").splitlines()

    def fields(self):
        """The "key: value" lines of standard output as a dict."""
        result = {}
        for line in self.lines:
            key, sep, value = line.partition(": ")
            if sep:
                result[key] = value
            elif line.endswith(":"):
                result[line[:-1]] = ""
        return result

    def __repr__(self):
        return "exit %d, stdout %r, stderr %r" % (self.code, self.out[:300], self.err[:300])


class Spooler:
    """A private cupsd (scripts/spooler.sh) reached through CUPS_SERVER."""

    def __init__(self, directory, printers=None):
        """printers: the folder under which each queue's printer keeps its jobs (default WORK/printers)."""
        self.directory = directory
        self.printers = printers or os.path.join(WORK, "printers")
        self.env = dict(os.environ, CUPS_SERVER=os.path.join(directory, "run", "cups.sock"))
        self.queues = {}  # name -> TcpPrinter

    def start(self):
        subprocess.run([SPOOLER, "start", self.directory], check=True, env=self.env)

    def stop(self):
        """Stops the printers and the daemon (its queues go with its folder), whatever state they are in."""
        for printer in self.queues.values():
            printer.stop()
        self.queues.clear()
        subprocess.run([SPOOLER, "stop", self.directory], env=self.env)

    def cups(self, *command):
        return subprocess.run(list(command), env=self.env, capture_output=True, check=True).stdout.decode()

    def add_queue(self, name, default=False):
        """A raw queue feeding a new TCP printer on 127.0.0.1; returns the printer."""
        printer = TcpPrinter(os.path.join(self.printers, name.encode("utf-8").hex())).start()
        self.queues[name] = printer
        self.cups("lpadmin", "-p", name, "-E", "-v", "socket://127.0.0.1:%d" % printer.port, "-m", "raw")
        if default:
            self.cups("lpadmin", "-d", name)
        return printer

    def remove_queue(self, name):
        printer = self.queues.pop(name)
        try:
            self.cups("lpadmin", "-x", name)
        finally:
            printer.stop()

    def queue_names(self):
        return [line for line in self.cups("lpstat", "-e").splitlines() if line]

    def default_queue(self):
        text = self.cups("lpstat", "-d")
        return text.split(": ", 1)[1].strip() if ": " in text else None

    def page_log(self):
        """(queue, job id, job title) of every job CUPS has finished, from its page log."""
        path = os.path.join(self.directory, "log", "page_log")
        if not os.path.exists(path):
            return []
        entries = []
        with open(path, encoding="utf-8", errors="replace") as f:
            for line in f:
                # printer user job-id [time] page copies billing host job-name media sides
                match = re.match(r"(\S+) \S+ (\d+) \[[^]]*\] \S+ \S+ \S+ \S+ (.*) \S+ \S+$", line.rstrip("\n"))
                if match:
                    entries.append((match.group(1), int(match.group(2)), match.group(3)))
        return entries

    def job_count(self):
        """Every job CUPS has taken, finished or not."""
        return len([line for line in self.cups("lpstat", "-W", "all", "-o").splitlines() if line])


_spooler = None
_on_stop = []  # undo steps of resources that tests set up, in case a test run is cut short


def on_stop(undo):
    """Registers an undo step that stop() runs if it is still due; undo must be harmless to repeat."""
    _on_stop.append(undo)


def spooler():
    return _spooler


def start(directory=None):
    global _spooler
    _spooler = Spooler(directory or os.path.join(WORK, "spooler"))
    _spooler.start()
    start_wine()
    return _spooler


def stop():
    global _spooler
    while _on_stop:
        _on_stop.pop()()
    if _spooler is not None:
        _spooler.stop()
        _spooler = None
    stop_wine()


_critical = 0
_interrupted = False


def interrupt(signum=None, frame=None):
    """The runner's SIGINT and SIGTERM handler: stops the run, but not in the middle of starting or
    stopping Wine, which would leave a server that nothing stops."""
    global _interrupted
    if _critical:
        _interrupted = True
    else:
        raise KeyboardInterrupt


@contextlib.contextmanager
def uninterrupted():
    global _critical, _interrupted
    _critical += 1
    try:
        yield
    finally:
        _critical -= 1
        if _critical == 0 and _interrupted:
            _interrupted = False
            raise KeyboardInterrupt


def in_namespace(command, netns):
    return ["ip", "netns", "exec", netns] + command if netns else command


def start_wine(netns=None, env=None):
    """Keeps the prefix's wineserver running between programs, so that each nphost run takes a
    fraction of a second instead of one or two; Wine still reads the CUPS queues afresh in each one.
    A first program, with no pipes of ours, starts Wine's services: they would hold on to the output
    pipes of whichever run starts them, and so delay its end by their own. env: the variables of
    another prefix (its server is then the caller's to stop)."""
    with uninterrupted():
        subprocess.run(in_namespace([WINE, "--persist"], netns), check=True, env=env)
        subprocess.run(in_namespace([WINE, NPHOST, "--help"], netns), stdin=subprocess.DEVNULL, env=env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=COMMAND_TIMEOUT)


def stop_wine():
    """Ends the prefix's wineserver and Wine's services with it."""
    with uninterrupted():
        subprocess.run([WINE, "--stop"])


def nphost(*arguments, stdin=None, netns=None, plugin=None, env=None):
    """Runs nphost.exe under Wine against the private spooler; arguments are str (UTF-8) or bytes.
    env: variables to set on top (another prefix, another locale)."""
    command = [WINE, NPHOST]
    if plugin:
        command += ["--plugin", windows_path(plugin)]
    command += list(arguments)
    command = in_namespace(command, netns)
    env = dict(_spooler.env if _spooler else os.environ, **(env or {}))
    started = time.monotonic()
    completed = subprocess.run(command, input=stdin, capture_output=True, env=env, timeout=COMMAND_TIMEOUT)
    if os.environ.get("E2E_TIMING"):
        shown = " ".join(a if isinstance(a, str) else repr(a) for a in arguments)[:100]
        print("  %.2f s: nphost %s" % (time.monotonic() - started, shown), file=sys.stderr)
    return Result(completed)


def wait_for(condition, timeout=ARRIVAL_TIMEOUT):
    """Polls until condition() is true or the time is up; returns its last value."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value or time.monotonic() > deadline:
            return value
        time.sleep(0.05)


def wait_for_jobs(printer, count, timeout=ARRIVAL_TIMEOUT):
    """The printer's jobs once it holds `count` of them (polled; the job goes through CUPS on its own
    time), or what it holds when the time is up."""
    deadline = time.monotonic() + timeout
    while True:
        jobs = printer.jobs()
        if len(jobs) >= count or time.monotonic() > deadline:
            return jobs
        time.sleep(0.05)


def wine_reg(*arguments):
    """Runs Wine's reg.exe in the test prefix (add, delete, query) and fails on a non-zero exit."""
    completed = subprocess.run([WINE, "reg"] + list(arguments), stdin=subprocess.DEVNULL,
                               capture_output=True, timeout=COMMAND_TIMEOUT)
    if completed.returncode != 0:
        raise RuntimeError("reg %s: %r" % (" ".join(arguments), Result(completed)))
    return Result(completed)


def japanese_wine():
    """Variables for nphost runs whose ANSI code page is 932: a ja_JP.UTF-8 locale generated into the
    work folder (localedef, from the `locales` package's sources) and a Wine prefix of its own, whose
    wineserver stop() ends. The system's locales are not touched."""
    locales = os.path.join(WORK, "locales")
    if not os.path.isdir(os.path.join(locales, "ja_JP.UTF-8")):
        os.makedirs(locales, exist_ok=True)
        subprocess.run(["localedef", "-i", "ja_JP", "-f", "UTF-8", os.path.join(locales, "ja_JP.UTF-8")],
                       check=True, capture_output=True)
    env = {"LOCPATH": locales, "LANG": "ja_JP.UTF-8", "LC_ALL": "ja_JP.UTF-8",
           "WINEPREFIX": os.path.join(WORK, "wineprefix-ja")}
    wine_env = dict(os.environ, **env)
    with uninterrupted():
        on_stop(lambda: subprocess.run([WINE, "--stop"], env=wine_env))
        # As start_wine(): the prefix is made, and its server kept, before the runs that are checked.
        subprocess.run([WINE, "--persist"], env=wine_env, check=True)
        subprocess.run([WINE, NPHOST, "--help"], env=wine_env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=COMMAND_TIMEOUT)
    return env


# The administrator's site policy, as Group Policy writes it (the 64-bit view).
POLICY_KEY = r"HKLM\SOFTWARE\Policies\Ternaport\Print Plugin"
VENDOR_KEY = r"HKLM\SOFTWARE\Policies\Ternaport"


def set_policy_origins(lines):
    """AllowedOrigins: lines separated by \\0, as reg.exe takes them."""
    wine_reg("add", POLICY_KEY, "/v", "AllowedOrigins", "/t", "REG_MULTI_SZ", "/d", lines, "/f", "/reg:64")


def remove_policy():
    try:
        wine_reg("delete", VENDOR_KEY, "/f", "/reg:64")
    except RuntimeError:
        pass  # not there
