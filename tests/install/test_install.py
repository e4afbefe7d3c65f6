#!/usr/bin/env python3
"""Runs dist/install.cmd and dist/uninstall.cmd with Wine's cmd and reads the registry back with
Wine's reg: after an install every key and value a browser reads is there with the right data,
in the right registry view, each naming the DLL of that view's bitness; after an uninstall nothing
of it remains, and nothing else is touched. Wine's cmd is 64-bit Windows; 32-bit Windows is
staged by setting PROCESSOR_ARCHITECTURE=x86 for the script, as a 32-bit Windows sets it.

The scripts are staged with CRLF line ends, as the zip ships them, beside stand-in DLLs (nptovi32.dll,
x64\nptovi64.dll) in a folder whose name holds a blank, parentheses and an ampersand (all special to
cmd)."""
import os
import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"
STAGE = ROOT / "build" / "install-test"
INSTALL_DIR = STAGE / "Ternaport Print (x86) & Co"
OTHER_DIR = STAGE / "moved"

PLUGIN_KEY = r"Software\MozillaPlugins\@ternaport.com/nptovi32"
PLUGIN_KEY64 = r"Software\MozillaPlugins\@ternaport.com/nptovi64"
PARENT_KEY = r"Software\MozillaPlugins"
OTHER_PLUGIN_KEY = r"Software\MozillaPlugins\@example.org/other"
MIME_SUBKEY = r"MimeTypes\application/x-vnd-tovi-print"

DLL32 = "nptovi32.dll"
DLL64 = "x64\\nptovi64.dll"
# The bridge for today's browsers and its manifests, as the zip has them beside each DLL.
BRIDGE_FILES = ["tovi-bridge.exe", "com.ternaport.print.json", "com.ternaport.print.firefox.json"]
# The keys the browsers read, each naming a manifest by its default value.
HOST_KEYS = [(r"Software\Google\Chrome\NativeMessagingHosts\com.ternaport.print", "com.ternaport.print.json"),
             (r"Software\Microsoft\Edge\NativeMessagingHosts\com.ternaport.print", "com.ternaport.print.json"),
             (r"Software\Mozilla\NativeMessagingHosts\com.ternaport.print", "com.ternaport.print.firefox.json")]
OTHER_HOST_KEY = r"Software\Google\Chrome\NativeMessagingHosts\com.example.other"

# The ways to install: per user (no argument) and for all users (/all), on 64-bit and 32-bit Windows.
# "registrations": (key, registry view, DLL in the folder) that install writes and uninstall takes
# out. On 64-bit Windows a 32-bit browser reads the 32-bit view of HKLM and a 64-bit one the 64-bit
# view; HKCU\Software is one view for both, so there the 64-bit DLL has a key of its own. "hosts":
# the view of the bridge's keys and the folder of the bridge they name, the one beside the DLL of
# Windows' own bitness. "other": (root, view) pairs that must stay empty.
SCOPES = [
    {"name": "current user", "args": [], "arch": "AMD64", "root": "HKEY_CURRENT_USER",
     "registrations": [(PLUGIN_KEY, [], DLL32), (PLUGIN_KEY64, [], DLL64)], "hosts": ([], "x64"),
     "other": [("HKEY_LOCAL_MACHINE", ["/reg:32"]), ("HKEY_LOCAL_MACHINE", ["/reg:64"])]},
    {"name": "all users", "args": ["/all"], "arch": "AMD64", "root": "HKEY_LOCAL_MACHINE",
     "registrations": [(PLUGIN_KEY, ["/reg:32"], DLL32), (PLUGIN_KEY, ["/reg:64"], DLL64)],
     "hosts": (["/reg:64"], "x64"), "other": [("HKEY_CURRENT_USER", [])]},
    # 32-bit Windows has one view, and no 64-bit browser: the 32-bit DLL only, x64\ not needed.
    {"name": "all users on 32-bit Windows", "args": ["/all"], "arch": "x86", "root": "HKEY_LOCAL_MACHINE",
     "registrations": [(PLUGIN_KEY, [], DLL32)], "hosts": ([], "."),
     "other": [("HKEY_CURRENT_USER", []), ("HKEY_LOCAL_MACHINE", ["/reg:32"])]},
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


def run_script(script, scope, extra=(), folder=INSTALL_DIR):
    # Run from the script's folder: cmd /c with a quoted path holding "&" would split the command.
    command = f"set PROCESSOR_ARCHITECTURE={scope['arch']}&& {script}"
    return wine(["cmd", "/c", command] + scope["args"] + list(extra), cwd=folder)


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


def stage(folder, dlls=(DLL32, DLL64), bridges=(".", "x64")):
    if folder.exists():
        shutil.rmtree(folder)
    folder.mkdir(parents=True)
    # The scripts as the zip ships them: with the product's names and version filled in by CMake.
    generated = ROOT / "build" / "win32" / "generated" / "dist"
    sources = {"install.cmd": generated / "install.cmd", "uninstall.cmd": generated / "uninstall.cmd"}
    for name, source in sources.items():
        text = source.read_text().replace("\r\n", "\n").replace("\n", "\r\n")
        (folder / name).write_bytes(text.encode("ascii"))
    for dll in dlls:
        path = folder / dll.replace("\\", "/")
        path.parent.mkdir(exist_ok=True)
        path.write_bytes(b"MZ stand-in")
    for bridge_dir in bridges:
        (folder / bridge_dir).mkdir(exist_ok=True)
        for name in BRIDGE_FILES:
            (folder / bridge_dir / name).write_bytes(b"stand-in")


def clean_registry():
    for root, view in [("HKEY_CURRENT_USER", []), ("HKEY_LOCAL_MACHINE", ["/reg:32"]),
                       ("HKEY_LOCAL_MACHINE", ["/reg:64"])]:
        for key in [PARENT_KEY] + [key for key, _ in HOST_KEYS]:
            wine(["reg", "delete", f"{root}\\{key}", "/f"] + view)


def registered(scope):
    """What each of the scope's registrations holds: [(key, view, tree or None)], the bridge's too."""
    host_view, _ = scope["hosts"]
    return ([(key, view, reg_tree(scope["root"], key, view)) for key, view, _ in scope["registrations"]]
            + [(key, host_view, reg_tree(scope["root"], key, host_view)) for key, _ in HOST_KEYS])


def expected(scope, folder):
    host_view, bridge_dir = scope["hosts"]
    return ([(key, view, expected_tree(windows_path(folder / dll.replace("\\", "/"))))
             for key, view, dll in scope["registrations"]]
            + [(key, host_view, {"": {"(Default)": ("REG_SZ", windows_path(folder / bridge_dir / manifest))}})
               for key, manifest in HOST_KEYS])


def ours_present(root, views):
    """Which of our keys (Software\\MozillaPlugins, the bridge's) exist under root in views."""
    return [(key, view) for view in views for key in [PARENT_KEY] + [key for key, _ in HOST_KEYS]
            if key_exists(root, key, list(view))]


def check_nothing_written(scope, what):
    views = {tuple(view) for _, view, _ in scope["registrations"]} | {tuple(scope["hosts"][0])}
    present = ours_present(scope["root"], views)
    check(not present, f"{scope['name']}: {what}: Software\\MozillaPlugins and the bridge's keys absent",
          f"present: {present}")


def test_install_and_uninstall(scope):
    name = scope["name"]

    result = run_script("install.cmd", scope)
    check(result.returncode == 0, f"{name}: install exits 0", result.stdout + result.stderr)
    want = expected(scope, INSTALL_DIR)
    got = registered(scope)
    check(got == want, f"{name}: install writes every key and value, each naming its view's DLL",
          f"got {got}")
    present = [(root, found) for root, view in scope["other"] for found in ours_present(root, [view])]
    check(not present, f"{name}: install leaves the other scope and views alone", f"present: {present}")

    result = run_script("install.cmd", scope)
    check(result.returncode == 0 and registered(scope) == want,
          f"{name}: installing again leaves the same registration", result.stdout + result.stderr)

    result = run_script("install.cmd", scope, folder=OTHER_DIR)
    moved = registered(scope)
    check(result.returncode == 0 and moved == expected(scope, OTHER_DIR),
          f"{name}: installing from another folder points Path there", f"got {moved}")

    result = run_script("uninstall.cmd", scope)
    check(result.returncode == 0, f"{name}: uninstall exits 0", result.stdout + result.stderr)
    check_nothing_written(scope, "after uninstall")

    result = run_script("uninstall.cmd", scope)
    check(result.returncode == 0 and "not registered" in result.stdout,
          f"{name}: uninstall with nothing registered says so and exits 0",
          result.stdout + result.stderr)


def test_other_plugins_survive(scope):
    name, root = scope["name"], scope["root"]
    views = [view for _, view, _ in scope["registrations"]]
    other = f"{root}\\{OTHER_PLUGIN_KEY}"
    for view in views:
        wine(["reg", "add", other, "/v", "Path", "/t", "REG_SZ", "/d", r"C:\other\npother.dll", "/f"] + view)

    host_view = scope["hosts"][0]
    other_host = f"{root}\\{OTHER_HOST_KEY}"
    wine(["reg", "add", other_host, "/ve", "/t", "REG_SZ", "/d", r"C:\other\host.json", "/f"] + host_view)

    run_script("install.cmd", scope)
    result = run_script("uninstall.cmd", scope)
    check(result.returncode == 0 and not any(tree for _, _, tree in registered(scope)),
          f"{name}: uninstall beside another plug-in and host removes ours", result.stdout + result.stderr)
    trees = [reg_tree(root, OTHER_PLUGIN_KEY, view) for view in views]
    check(all(tree == {"": {"Path": ("REG_SZ", r"C:\other\npother.dll")}} for tree in trees),
          f"{name}: the other plug-in's key and value are kept", f"got {trees}")
    tree = reg_tree(root, OTHER_HOST_KEY, host_view)
    check(tree == {"": {"(Default)": ("REG_SZ", r"C:\other\host.json")}},
          f"{name}: the other native-messaging host's key is kept", f"got {tree}")

    for view in views:
        wine(["reg", "delete", f"{root}\\{PARENT_KEY}", "/f"] + view)
    wine(["reg", "delete", other_host, "/f"] + host_view)


def test_refusals(scope):
    name = scope["name"]

    # Each refusal exits with its code, names what is wrong and writes nothing. The 64-bit DLL is needed
    # exactly where a 64-bit browser can be; the bridge of Windows' bitness always.
    refusals = [(["/bogus"], INSTALL_DIR, 1, "/bogus", "an unknown argument"),
                ([], STAGE / "no dll", 2, "nptovi32.dll", "a missing nptovi32.dll"),
                ([], STAGE / "no bridge", 2, "tovi-bridge.exe", "a missing tovi-bridge.exe")]
    if scope["arch"] != "x86":
        refusals.append(([], STAGE / "no x64", 2, "nptovi64.dll", "a missing x64\\nptovi64.dll"))
    for arguments, folder, code, named, what in refusals:
        result = run_script("install.cmd", scope, arguments, folder)
        check(result.returncode == code and named in result.stderr,
              f"{name}: {what} is refused with exit {code}", result.stdout + result.stderr)
        check_nothing_written(scope, f"after {what}")

    if scope["arch"] == "x86":
        result = run_script("install.cmd", scope, folder=STAGE / "no x64")
        check(result.returncode == 0 and registered(scope) == expected(scope, STAGE / "no x64"),
              f"{name}: a folder without x64\\ installs the 32-bit plug-in", result.stdout + result.stderr)
        run_script("uninstall.cmd", scope, folder=STAGE / "no x64")
        check_nothing_written(scope, "after uninstalling the 32-bit plug-in")

    result = run_script("uninstall.cmd", scope, ["/bogus"])
    check(result.returncode == 1, f"{name}: uninstall refuses an unknown argument with exit 1",
          result.stdout + result.stderr)


def main():
    if not Path(WINE).exists():
        print(f"{WINE} is missing: run scripts/deps.sh")
        return 1
    stage(INSTALL_DIR)
    stage(OTHER_DIR)
    stage(STAGE / "no dll", dlls=())
    stage(STAGE / "no x64", dlls=(DLL32,), bridges=(".",))
    # On 64-bit Windows the x64 bridge is missing, on 32-bit Windows the other one.
    stage(STAGE / "no bridge", bridges=())
    # One wineserver for the whole run: one that is still saving the registry as it exits, while
    # the next program starts another, was seen to hand that program an older registry.
    Path(ENV["WINEPREFIX"]).mkdir(parents=True, exist_ok=True)
    subprocess.run([WINESERVER, "-p"], env=ENV, stderr=subprocess.DEVNULL)
    try:
        clean_registry()
        for scope in SCOPES:
            test_install_and_uninstall(scope)
            test_other_plugins_survive(scope)
            test_refusals(scope)
        clean_registry()
    finally:
        subprocess.run([WINESERVER, "-k"], env=ENV, stderr=subprocess.DEVNULL)
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
