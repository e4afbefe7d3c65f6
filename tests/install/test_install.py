#!/usr/bin/env python3
"""Runs dist/install.cmd and dist/uninstall.cmd with Wine's cmd and reads the registry back with
Wine's reg: after an install every key and value a browser reads is there with the right data,
in the right registry view; after an uninstall nothing of it remains, and nothing else is touched.

The scripts are staged with CRLF line ends, as the zip ships them, beside a stand-in nptovi32.dll
in a folder whose name holds a blank, parentheses and an ampersand (all special to cmd)."""
import os
import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
WINE = "/usr/lib/wine/wine64"
STAGE = ROOT / "build" / "install-test"
INSTALL_DIR = STAGE / "Ternaport Print (x86) & Co"
OTHER_DIR = STAGE / "moved"

PLUGIN_KEY = r"Software\MozillaPlugins\@ternaport.com/nptovi32"
PARENT_KEY = r"Software\MozillaPlugins"
OTHER_PLUGIN_KEY = r"Software\MozillaPlugins\@example.org/other"
MIME_SUBKEY = r"MimeTypes\application/x-vnd-tovi-print"

# The two ways to install: per user (no argument) and for all users (/all, 32-bit view of HKLM,
# which is what a 32-bit browser on 64-bit Windows reads).
SCOPES = [
    {"name": "current user", "args": [], "root": "HKEY_CURRENT_USER", "view": [],
     "other_root": "HKEY_LOCAL_MACHINE", "other_view": ["/reg:32"]},
    {"name": "all users", "args": ["/all"], "root": "HKEY_LOCAL_MACHINE", "view": ["/reg:32"],
     "other_root": "HKEY_CURRENT_USER", "other_view": []},
]

ENV = dict(os.environ, WINEPREFIX=os.environ.get("WINEPREFIX", str(ROOT / "build" / "wineprefix")),
           WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")

VALUE_LINE = re.compile(r"^ {4}(.*?) {4}(REG_[A-Z_]+)(?: {4}(.*))?$")

passed = 0
failed = 0


def check(ok, what, detail=""):
    global passed, failed
    if ok:
        passed += 1
        print(f"ok   {what}")
    else:
        failed += 1
        print(f"FAIL {what}" + (f"\n     {detail}" if detail else ""))


def windows_path(path):
    # Wine maps the Unix root to drive Z:.
    return "Z:" + str(path).replace("/", "\\")


def wine(args, cwd=None, env=ENV):
    # Output goes to files, not pipes: the Wine services that a call starts inherit its output
    # handles and keep a pipe open for seconds after the call itself has finished.
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        code = subprocess.run([WINE] + args, cwd=cwd, env=env, stdin=subprocess.DEVNULL,
                              stdout=out, stderr=err, timeout=120).returncode
        out.seek(0)
        err.seek(0)
        return subprocess.CompletedProcess(args, code, out.read().decode("cp1252", "replace"),
                                           err.read().decode("cp1252", "replace"))


def run_script(script, args, folder=INSTALL_DIR):
    # Run from the script's folder: cmd /c with a quoted path holding "&" would split the command.
    return wine(["cmd", "/c", script] + args, cwd=folder)


def reg_tree(root, key, view, env=ENV):
    """The key and its subkeys as {relative name: {value name: (type, data)}}, or None if absent."""
    full = f"{root}\\{key}"
    result = wine(["reg", "query", full, "/s"] + view, env=env)
    if result.returncode != 0:
        return None
    tree = {}
    current = None
    for line in result.stdout.splitlines():
        if line.startswith("HKEY_"):
            name = line[len(full):].lstrip("\\") if line.lower().startswith(full.lower()) else line
            current = tree.setdefault(name, {})
        elif current is not None and (match := VALUE_LINE.match(line)):
            current[match.group(1)] = (match.group(2), match.group(3) or "")
    return tree


def key_exists(root, key, view, env=ENV):
    return wine(["reg", "query", f"{root}\\{key}"] + view, env=env).returncode == 0


def expected_tree(dll_path, version="0.0.0.11"):
    """What install.cmd and the MSI write, with Path naming the DLL."""
    return {
        "": {
            "Path": ("REG_SZ", dll_path),
            "ProductName": ("REG_SZ", "Ternaport Print Plugin"),
            "Vendor": ("REG_SZ", "Ternaport"),
            "Description": ("REG_SZ", "Print plugin."),
            "Version": ("REG_SZ", version),
        },
        "MimeTypes": {},
        MIME_SUBKEY: {"Description": ("REG_SZ", "Ternaport raw print data")},
    }


def stage(folder, with_dll=True):
    if folder.exists():
        shutil.rmtree(folder)
    folder.mkdir(parents=True)
    # install.cmd as the zip ships it: with the product's name and version filled in by CMake.
    sources = {"install.cmd": ROOT / "build" / "win32" / "generated" / "dist" / "install.cmd",
               "uninstall.cmd": ROOT / "dist" / "uninstall.cmd"}
    for name, source in sources.items():
        text = source.read_text().replace("\r\n", "\n").replace("\n", "\r\n")
        (folder / name).write_bytes(text.encode("ascii"))
    if with_dll:
        (folder / "nptovi32.dll").write_bytes(b"MZ stand-in")


def clean_registry():
    for scope in SCOPES:
        wine(["reg", "delete", f"{scope['root']}\\{PARENT_KEY}", "/f"] + scope["view"])


def check_nothing_written(scope, what):
    check(not key_exists(scope["root"], PARENT_KEY, scope["view"]),
          f"{scope['name']}: {what}: Software\\MozillaPlugins absent")


def test_install_and_uninstall(scope):
    name, root, view = scope["name"], scope["root"], scope["view"]

    result = run_script("install.cmd", scope["args"])
    check(result.returncode == 0, f"{name}: install exits 0", result.stdout + result.stderr)
    tree = reg_tree(root, PLUGIN_KEY, view)
    want = expected_tree(windows_path(INSTALL_DIR / "nptovi32.dll"))
    check(tree == want, f"{name}: install writes every key and value", f"got {tree}")
    check(not key_exists(scope["other_root"], PARENT_KEY, scope["other_view"]),
          f"{name}: install leaves the other scope alone")
    if root == "HKEY_LOCAL_MACHINE":
        check(not key_exists(root, PARENT_KEY, ["/reg:64"]),
              f"{name}: nothing in the 64-bit view, which a 32-bit browser does not read")

    result = run_script("install.cmd", scope["args"])
    check(result.returncode == 0 and reg_tree(root, PLUGIN_KEY, view) == want,
          f"{name}: installing again leaves the same registration", result.stdout + result.stderr)

    result = run_script("install.cmd", scope["args"], folder=OTHER_DIR)
    moved = reg_tree(root, PLUGIN_KEY, view)
    check(result.returncode == 0 and moved == expected_tree(windows_path(OTHER_DIR / "nptovi32.dll")),
          f"{name}: installing from another folder points Path there", f"got {moved}")

    result = run_script("uninstall.cmd", scope["args"])
    check(result.returncode == 0, f"{name}: uninstall exits 0", result.stdout + result.stderr)
    check_nothing_written(scope, "after uninstall")

    result = run_script("uninstall.cmd", scope["args"])
    check(result.returncode == 0 and "not registered" in result.stdout,
          f"{name}: uninstall with nothing registered says so and exits 0",
          result.stdout + result.stderr)


def test_other_plugins_survive(scope):
    name, root, view = scope["name"], scope["root"], scope["view"]
    other = f"{root}\\{OTHER_PLUGIN_KEY}"
    wine(["reg", "add", other, "/v", "Path", "/t", "REG_SZ", "/d", r"C:\other\npother.dll", "/f"] + view)

    run_script("install.cmd", scope["args"])
    result = run_script("uninstall.cmd", scope["args"])
    check(result.returncode == 0 and not key_exists(root, PLUGIN_KEY, view),
          f"{name}: uninstall beside another plug-in removes ours", result.stdout + result.stderr)
    tree = reg_tree(root, OTHER_PLUGIN_KEY, view)
    check(tree == {"": {"Path": ("REG_SZ", r"C:\other\npother.dll")}},
          f"{name}: the other plug-in's key and value are kept", f"got {tree}")

    wine(["reg", "delete", f"{root}\\{PARENT_KEY}", "/f"] + view)


def test_refusals(scope):
    name = scope["name"]

    result = run_script("install.cmd", scope["args"] + ["/bogus"])
    check(result.returncode == 1 and "/bogus" in result.stderr,
          f"{name}: an unknown argument is refused with exit 1", result.stdout + result.stderr)
    check_nothing_written(scope, "after a refused argument")

    result = run_script("install.cmd", scope["args"], folder=STAGE / "no dll")
    check(result.returncode == 2 and "nptovi32.dll" in result.stderr,
          f"{name}: a missing nptovi32.dll is refused with exit 2", result.stdout + result.stderr)
    check_nothing_written(scope, "after a missing DLL")

    result = run_script("uninstall.cmd", scope["args"] + ["/bogus"])
    check(result.returncode == 1, f"{name}: uninstall refuses an unknown argument with exit 1",
          result.stdout + result.stderr)


def main():
    if not Path(WINE).exists():
        print(f"{WINE} is missing: run scripts/deps.sh")
        return 1
    stage(INSTALL_DIR)
    stage(OTHER_DIR)
    stage(STAGE / "no dll", with_dll=False)
    clean_registry()
    for scope in SCOPES:
        test_install_and_uninstall(scope)
        test_other_plugins_survive(scope)
        test_refusals(scope)
    clean_registry()
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
