#!/usr/bin/env python3
"""The module in a browser engine written by others: nptovi.so (build/engine) loaded by QtWebKit
(tests/engine/browser.py under xvfb-run), driven by page script served from 127.0.0.1, printing through
the e2e spooler (a private cupsd, raw queues feeding TCP printers).

One table of page cases: each runs in the page, in order, and is checked for what script saw and for
what each printer received. The last case leaves the page, and the page it goes to checks the new
instance there. Everything started here is stopped here. The last line is "N passed, N failed".
"""
import base64
import http.server
import json
import os
import random
import shutil
import signal
import socket
import subprocess
import sys
import threading
import urllib.parse

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
import e2e_env  # noqa: E402

PLUGIN = os.path.join(ROOT, "build", "engine", "nptovi.so")
BROWSER = os.path.join(ROOT, "tests", "engine", "browser.py")
WORK = os.path.join(ROOT, "build", "engine-tests")
PYTHON = "/usr/bin/python3"  # Debian's, which python3-pyqt5.qtwebkit serves
PAGE_SECONDS = 90

DEFAULT, NAMED, NATIONAL = "engine-default", "engine-named", "Büro"
LABEL = b"^XA^FO50,50^A0N,40,40^FDengine label^FS^XZ\r\n"
ALL_BYTES = bytes(range(256))
NATIONAL_DOC = "Grüße aus dem Büro\n".encode("utf-8")
LARGE_DOC = random.Random(20261209).randbytes(1 << 20)
# WebKit throws its own error when a method returns false, whatever text the plug-in set.
GENERIC = "Error calling method on NPObject."
NO_ARRAY = "?101 expect one array argument"
NO_OBJECT = "?401 expect one object argument with 'data' property"


def b64(data):
    return base64.b64encode(data).decode("ascii")


def failure(error, last=None):
    return {"error": error, "lastError": last or error}


def outcome(value=None, last=None):
    result = {"lastError": last}
    if value is not None:
        result["value"] = value
    return result


def machine_addresses():
    """The six-byte hardware addresses of this network namespace's interfaces, loopback aside, in
    interface index order, as the plug-in writes them."""
    addresses = []
    for _, name in sorted(socket.if_nameindex()):
        base = os.path.join("/sys/class/net", name)
        try:
            with open(os.path.join(base, "type")) as f:
                kind = int(f.read())
            with open(os.path.join(base, "addr_len")) as f:
                length = int(f.read())
            with open(os.path.join(base, "address")) as f:
                address = f.read().strip()
        except OSError:
            continue
        if kind != 772 and length == 6:
            addresses.append(address.upper())
    return addresses


def cases():
    """(name, page script returning a JSON value, what script must see, {queue: [documents]}).

    ?402, ?403, ?406 and ?408 cannot be reached through WebKit: its NPN_GetProperty answers true for
    every object of a live page (false only where NPN_HasProperty has answered false already), a
    string it hands over always has characters (an empty one too), and print never makes the
    decoder's buffer too small."""
    tried = "return outcome(p1, function () { return %s; });"
    print_case = lambda argument: tried % ("p1.print(%s)" % argument)
    return [
        ("getVersion", tried % "p1.getVersion()", outcome("0.0.0.11"), {}),
        ("getPrinters fills a real array",
         "var a = []; var r = outcome(p1, function () { return p1.getPrinters(a); });"
         " r.names = a.slice().sort(); r.isArray = Array.isArray(a); return r;",
         dict(outcome(True), names=sorted([DEFAULT, NAMED, NATIONAL]), isArray=True), {}),
        ("getMacAddresses fills a real array",
         "var a = ['kept']; var r = outcome(p1, function () { return p1.getMacAddresses(a); });"
         " r.addresses = a; r.isArray = Array.isArray(a); return r;",
         dict(outcome(True), addresses=["kept"] + machine_addresses(), isArray=True), {}),
        ("a label on the default printer", print_case("{data: '%s'}" % b64(LABEL)), outcome(),
         {DEFAULT: [LABEL]}),
        ("every byte value on a named printer",
         print_case("{data: '%s', printer: '%s'}" % (b64(ALL_BYTES), NAMED)), outcome(),
         {NAMED: [ALL_BYTES]}),
        ("1 MiB on a named printer", print_case("{data: '%s', printer: '%s'}" % (b64(LARGE_DOC), NAMED)),
         outcome(), {NAMED: [LARGE_DOC]}),
        ("a printer named with non-ASCII letters",
         print_case("{data: '%s', printer: '%s'}" % (b64(NATIONAL_DOC), NATIONAL)), outcome(),
         {NATIONAL: [NATIONAL_DOC]}),
        ("a printer name in other letter case",
         print_case("{data: '%s', printer: '%s'}" % (b64(b"case"), NAMED.upper())), outcome(), {NAMED: [b"case"]}),
        ("printer undefined is the default printer",
         print_case("{data: '%s', printer: undefined}" % b64(b"undefined")), outcome(),
         {DEFAULT: [b"undefined"]}),
        ("?101 no argument", tried % "p1.getPrinters()", failure(GENERIC, NO_ARRAY), {}),
        ("?101 a string", tried % "p1.getMacAddresses('x')", failure(GENERIC, NO_ARRAY), {}),
        ("?101 an object without push", tried % "p1.getPrinters({})", failure(GENERIC, NO_ARRAY), {}),
        # WebKit's NPN_HasMethod answers true for any property that is not undefined; pushing then fails.
        ("a push that is no function",
         "var a = {push: 1}; var r = outcome(p1, function () { return p1.getPrinters(a); });"
         " r.push = a.push; return r;", dict(outcome(True), push=1), {}),
        ("a push that throws", "var a = {push: function () { throw new Error('page'); }};"
         " return outcome(p1, function () { return p1.getPrinters(a); });", outcome(True), {}),
        ("a printer getter throwing a name",
         print_case("{data: '%s', get printer() { throw '%s'; }}" % (b64(b"thrown"), NAMED)),
         failure("?405 expect string 'printer' property"), {}),
        ("?401 no argument", print_case(""), failure(NO_OBJECT), {}),
        ("?401 a string", print_case("'QUJD'"), failure(NO_OBJECT), {}),
        ("?401 no data", print_case("{printer: '%s'}" % NAMED), failure(NO_OBJECT), {}),
        # WebKit's NPN_GetProperty swallows a getter's exception and answers true with null.
        ("a throwing data getter reads as null", print_case("{get data() { throw new Error('page'); }}"),
         failure("?404 expect string 'data' property"), {}),
        ("?404 a number", print_case("{data: 5}"), failure("?404 expect string 'data' property"), {}),
        ("?404 null", print_case("{data: null}"), failure("?404 expect string 'data' property"), {}),
        ("?405 null", print_case("{data: 'QUJD', printer: null}"),
         failure("?405 expect string 'printer' property"), {}),
        ("?405 a number", print_case("{data: 'QUJD', printer: 7}"),
         failure("?405 expect string 'printer' property"), {}),
        ("?407 empty", print_case("{data: ''}"), failure("?407 base64 decode: invalid input length"), {}),
        ("?407 length", print_case("{data: 'QUJDR'}"),
         failure("?407 base64 decode: invalid input length"), {}),
        ("?409", print_case("{data: 'QU=D'}"), failure("?409 base64 decode: error decoding"), {}),
        ("?412", print_case("{data: 'QUJD', printer: 'no-such-printer'}"),
         failure("?412 print failed - no such printer / no printers installed"), {}),
        # A queue that refuses jobs: the job fails where CUPS refuses it (Wine's winspool loses it quietly).
        ("a queue that refuses jobs",
         "cups('cupsreject', '%s'); try { %s } finally { cups('cupsaccept', '%s'); }"
         % (NAMED, print_case("{data: 'QUJD', printer: '%s'}" % NAMED), NAMED),
         failure("?413 print failed"), {}),
        ("two elements keep their own last error",
         "try { p1.print(); } catch (e) {} return [p2.getLastError(), p1.getLastError(), p2.getVersion()];",
         [None, NO_OBJECT, "0.0.0.11"], {}),
        # Its instance keeps a last error that the re-inserted element's new instance does not have.
        ("a removed element has no methods left",
         "var e = document.getElementById('p3'); try { e.print(); } catch (x) {} e.parentNode.removeChild(e);"
         " var r = {}; try { e.print({data: 'QUJD', printer: '%s'}); } catch (x) { r.error = x.name; }"
         " return r;" % NAMED, {"error": "TypeError"}, {}),
        ("a re-inserted element is a new instance",
         "var e = window.removed; document.body.appendChild(e);"
         " return outcome(e, function () { return e.getVersion(); });", outcome("0.0.0.11"), {}),
        ("an element removed from inside push",
         "var e = document.getElementById('p4'), a = []; var push = a.push;"
         " a.push = function (n) { push.call(a, n); if (e.parentNode) e.parentNode.removeChild(e); };"
         " var r = {}; try { r.value = e.getPrinters(a); } catch (x) { r.error = x.message; }"
         " r.pushed = a.length; return r;",
         {"error": "?303 getPrinters failed", "pushed": 1}, {}),
    ]


# After the last case the page is left; the next page's own element is a new instance.
UNLOAD_CASE = ("a page unload, then a new page", outcome("0.0.0.11"), {NAMED: [b"after unload"]})

# Then the page library (web/tovi-print.classic.js) on the same page: it finds the element by the
# MIME type, prints bytes it encodes itself and a Blob (read with FileReader: this WebKit's Blob has
# no arrayBuffer()), and rejects with the module's message as a typed error.
LIBRARY_LABEL = b"^XA^FO50,50^A0N,40,40^FDtovi-print^FS^XZ\r\n"
LIBRARY_CASE = ("the page library on the plug-in road",
                {"road": "plugin", "version": "0.0.0.11", "names": sorted([DEFAULT, NAMED, NATIONAL]),
                 "error": ["ToviPrintError", 412, "?412 print failed - no such printer / no printers installed",
                           "plugin"]},
                {NAMED: [ALL_BYTES], DEFAULT: [LIBRARY_LABEL]})
LIBRARY_SCRIPT = """function library(results, then) {
  var bytes = new Uint8Array(256), label = atob("%s"), labelBytes = new Uint8Array(label.length), r = {};
  for (var i = 0; i < 256; i++) bytes[i] = i;
  for (i = 0; i < label.length; i++) labelBytes[i] = label.charCodeAt(i);
  window.ToviPrint.connect().then(function (printer) {
    r.road = printer.road;
    return printer.version().then(function (version) {
      r.version = version;
      return printer.printers();
    }).then(function (names) {
      r.names = names.slice().sort();
      return printer.print(bytes, {printer: "%s"});
    }).then(function () {
      return printer.print(new Blob([labelBytes]));
    }).then(function () {
      return printer.print("QUJD", {printer: "no-such-printer"});
    }).then(null, function (e) {
      r.error = [e.name, e.code, e.message, e.road];
    });
  }).then(function () { results.push(r); then(results); },
          function (e) { results.push({caseFailed: String(e && e.message)}); then(results); });
}
""" % (base64.b64encode(LIBRARY_LABEL).decode("ascii"), NAMED)
LIBRARY = os.path.join(ROOT, "web", "tovi-print.classic.js")

# Last, examples/print.html as it ships, in a frame of that page, driven through its controls: it
# finds the plug-in through the library, lists the printers and prints its label on the one chosen.
EXAMPLE = os.path.join(ROOT, "examples", "print.html")
EXAMPLE_LABEL = (b"^XA\n^CI28\n^FO40,40^A0N,40,40^FD" + "Ternaport Print Plugin".encode("utf-8") + b"^FS\n"
                 b"^FO40,100^A0N,30,30^FD" + "Größe M – Preis 12,50 €".encode("utf-8") + b"^FS\n"
                 b"^FO40,160^BY2^BCN,80,Y,N,N^FD0000000011^FS\n^XZ\n")
EXAMPLE_CASE = ("the example page on the plug-in road, its label on a chosen printer",
                {"road": "Printing through the plug-in.", "printers": sorted([DEFAULT, NAMED, NATIONAL]),
                 "log": ["ZPL label sent to %s" % NAMED], "lastError": ""},
                {NAMED: [EXAMPLE_LABEL]})
EXAMPLE_SCRIPT = """function example(results, then) {
  var frame = document.createElement("iframe"), waited = 0;
  frame.src = "/examples/print.html";
  document.body.appendChild(frame);
  (function poll() {
    var page = frame.contentDocument, select = page && page.getElementById("printer");
    if (!(select && select.options.length > 1) && waited++ < 200) return setTimeout(poll, 50);
    var names = [];
    for (var i = 1; i < select.options.length; i++) names.push(select.options[i].value);
    select.value = "%s";
    var log = page.getElementById("log"), before = log.children.length;
    page.getElementById("print-label").onclick().then(function () {
      var lines = [];
      for (var j = before; j < log.children.length; j++) lines.push(log.children[j].textContent);
      results.push({road: page.getElementById("road").textContent, printers: names.sort(), log: lines,
                    lastError: page.getElementById("last-error").textContent});
      then(results);
    });
  })();
}
""" % NAMED

PAGE = """<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>engine</title></head><body>
%(elements)s
<script>
function outcome(element, call) {
  var result = {};
  try { result.value = call(); } catch (e) { result.error = String(e && e.message); }
  result.lastError = element.getLastError();
  return result;
}
// Has the test's server run a CUPS command on a queue, before the script goes on.
function cups(command, queue) {
  var request = new XMLHttpRequest();
  request.open("GET", "/cups?" + command + "=" + encodeURIComponent(queue), false);
  request.send();
  if (request.status != 200) throw new Error(command + " failed");
}
function ready(ids) {
  return ids.every(function (id) {
    var e = document.getElementById(id);
    return e && typeof e.getVersion == "function";
  });
}
function run(ids, cases, then) {
  var waited = 0;
  (function poll() {
    if (!ready(ids) && waited++ < 200) return setTimeout(poll, 50);
    var p1 = document.getElementById("p1"), p2 = document.getElementById("p2");
    window.removed = document.getElementById("p3");
    var results = JSON.parse(sessionStorage.getItem("engineResults") || "[]");
    cases.forEach(function (c) {
      try { results.push(c(p1, p2)); } catch (e) { results.push({caseFailed: String(e)}); }
    });
    then(results);
  })();
}
%(script)s
</script></body></html>
"""

ELEMENT = '<embed id="%s" type="application/x-vnd-tovi-print" width="1" height="1">'


def main_page():
    functions = ",\n".join("function (p1, p2) { %s }" % script for _, script, _, _ in cases())
    script = """run(["p1", "p2", "p3", "p4"], [%s], function (results) {
  sessionStorage.setItem("engineResults", JSON.stringify(results));
  location.href = "/after.html";
});""" % functions
    return PAGE % {"elements": "\n".join(ELEMENT % i for i in ("p1", "p2", "p3", "p4")), "script": script}


def after_page():
    script = """run(["p1"], [function (p1) {
  p1.print({data: "%s", printer: "%s"});
  return outcome(p1, function () { return p1.getVersion(); });
}], function (results) {
  library(results, function (results) {
    example(results, function (results) { window.engineResults = results; document.title = "done"; });
  });
});
%s%s""" % (b64(b"after unload"), NAMED, LIBRARY_SCRIPT, EXAMPLE_SCRIPT)
    library = '<script src="/tovi-print.classic.js"></script>'
    return PAGE % {"elements": ELEMENT % "p1" + "\n" + library, "script": script}


class Pages(http.server.BaseHTTPRequestHandler):
    pages = {}
    spooler = None
    COMMANDS = ("cupsreject", "cupsaccept")

    def do_GET(self):
        path, _, query = self.path.partition("?")
        command, _, queue = query.partition("=")
        if path == "/cups" and command in self.COMMANDS:
            self.spooler.cups(command, urllib.parse.unquote(queue))
            body = "done"
        else:
            body = self.pages.get(self.path)
        kind = "application/javascript" if self.path.endswith(".js") else "text/html"
        try:
            self.send_response(200 if body else 404)
            self.send_header("Content-Type", kind + "; charset=utf-8")
            self.end_headers()
            if body:
                self.wfile.write(body.encode("utf-8"))
        except (BrokenPipeError, ConnectionResetError):
            pass  # the browser went on (to the next page, or out) before it had the whole answer

    def log_message(self, *args):
        pass


def run_browser(url, spooler):
    plugins = os.path.join(WORK, "plugins")
    os.makedirs(plugins, exist_ok=True)
    shutil.copy(PLUGIN, plugins)
    runtime = os.path.join(WORK, "runtime")
    os.makedirs(runtime, mode=0o700, exist_ok=True)
    env = dict(spooler.env, MOZ_PLUGIN_PATH=plugins, QT_QPA_PLATFORM="xcb", XDG_RUNTIME_DIR=runtime)
    # xvfb-run -a may pick the display another run picks at the same moment; no page has run then.
    for _ in range(3):
        # A session of its own, so that xvfb-run, Xvfb and the browser can be stopped together.
        browser = subprocess.Popen(["xvfb-run", "-a", PYTHON, BROWSER, url, str(PAGE_SECONDS)], env=env,
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE, start_new_session=True)
        try:
            out, err = browser.communicate(timeout=PAGE_SECONDS + 30)
        finally:
            if browser.poll() is None:
                os.killpg(browser.pid, signal.SIGKILL)
                browser.wait()
        err = err.decode("utf-8", "replace")
        if "Xvfb failed to start" not in err:
            break
    sys.stderr.write("".join(line + "\n" for line in err.splitlines() if "XDG_RUNTIME_DIR" not in line))
    if browser.returncode != 0 or not out.strip():
        print("FAIL: the browser exited %d" % browser.returncode)
        return []
    return json.loads(out.decode("utf-8").strip().splitlines()[-1])


def check(spooler, results):
    table = cases() + [(case[0], None) + case[1:] for case in (UNLOAD_CASE, LIBRARY_CASE, EXAMPLE_CASE)]
    passed = failed = 0
    expected_jobs = {}
    for (name, _, expected, prints), seen in zip(table, results + [None] * (len(table) - len(results))):
        ok = seen == expected
        print("%s: %s" % ("ok  " if ok else "FAIL", name))
        if not ok:
            print("      saw      %s\n      expected %s" % (json.dumps(seen), json.dumps(expected)))
        passed, failed = passed + ok, failed + (not ok)
        for queue, documents in prints.items():
            expected_jobs.setdefault(queue, []).extend(documents)
    for queue, printer in spooler.queues.items():
        wanted = expected_jobs.get(queue, [])
        jobs = e2e_env.wait_for_jobs(printer, len(wanted))
        ok = jobs == wanted
        print("%s: printer %s received %d job(s), byte for byte" % ("ok  " if ok else "FAIL", queue,
                                                                   len(wanted)))
        if not ok:
            print("      received %r" % [j[:80] for j in jobs])
        passed, failed = passed + ok, failed + (not ok)
    # Every job CUPS took is one of those: no case printed anything it should not have.
    taken = spooler.job_count()
    ok = taken == sum(len(documents) for documents in expected_jobs.values())
    print("%s: CUPS took %d job(s) in all" % ("ok  " if ok else "FAIL", taken))
    return passed + ok, failed + (not ok)


def main():
    for tool in ("xvfb-run", "/usr/sbin/cupsd", PYTHON):
        if not shutil.which(tool):
            print("engine: %s is missing; run make deps" % tool, file=sys.stderr)
            return 2
    if subprocess.run([PYTHON, "-c", "import PyQt5.QtWebKitWidgets"], capture_output=True).returncode != 0:
        print("engine: %s cannot import PyQt5's QtWebKit; run make deps" % PYTHON, file=sys.stderr)
        return 2
    for built, target in ((PLUGIN, "build-engine"), (LIBRARY, "web")):
        if not os.path.exists(built):
            print("engine: %s is missing; run make %s" % (built, target), file=sys.stderr)
            return 2
    shutil.rmtree(WORK, ignore_errors=True)
    spooler = e2e_env.Spooler(os.path.join(WORK, "spooler"), printers=os.path.join(WORK, "printers"))
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Pages)
    with open(LIBRARY, encoding="utf-8") as library, open(EXAMPLE, encoding="utf-8") as example:
        script = library.read()
        Pages.pages = {"/": main_page(), "/after.html": after_page(), "/tovi-print.classic.js": script,
                       "/web/tovi-print.classic.js": script, "/examples/print.html": example.read()}
    Pages.spooler = spooler
    threading.Thread(target=server.serve_forever, daemon=True).start()
    try:
        spooler.start()
        spooler.add_queue(DEFAULT, default=True)
        spooler.add_queue(NAMED)
        spooler.add_queue(NATIONAL)
        results = run_browser("http://127.0.0.1:%d/" % server.server_address[1], spooler)
        passed, failed = check(spooler, results)
    finally:
        server.shutdown()
        spooler.stop()
    print("%d passed, %d failed" % (passed, failed))
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
