#!/usr/bin/env python3
"""The packages `make dist` makes, into a folder under build/:

- signing: with a throwaway code-signing certificate, both DLLs, both nphost.exe and both MSIs pass
  `osslsigncode verify`, and one changed byte fails it; a missing PFX or a wrong password stops
  make dist with a message and no package;
- each MSI (x86, x64) under Wine, in an empty 64-bit prefix of the test's own: a silent install puts
  the files and the registrations in place (the x86 package: the 32-bit plug-in only; the x64 one:
  the 64-bit DLL in Program Files and the 32-bit one in Program Files (x86), each registered in its
  own registry view), a rebuild of the same version and a higher version each replace the
  installed one, the lower version is then refused, and removal takes out everything it added
  while another plug-in's registration stays. The x64 package also replaces an installed x86 one.
  Each package carries the bridge of its plug-in's bitness with its manifests, registered for Chrome,
  Edge and Firefox in its own registry view, and the installed 64-bit programs load the DLL beside
  them; the manifests in the zip name their bridge and only our extension;
- the version check of scripts/msi.sh: fields with leading zeros (which would be read as octal),
  fields of 256 and over, and too few fields are refused with the field named."""
import hashlib
import json
import os
import shutil
import subprocess
import sys
import zipfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import test_install as base  # noqa: E402
from test_install import (ROOT, WINE, PARENT_KEY, PLUGIN_KEY, OTHER_PLUGIN_KEY, HOST_KEYS,  # noqa: E402
                          OTHER_HOST_KEY, check)

WORK = ROOT / "build" / "package-test"
OUT = WORK / "dist"
PREFIX = WORK / "prefix"
ENV = dict(base.ENV, WINEPREFIX=str(PREFIX))
VERSION = "0.0.0.11"
NAME = f"nptovi32-{VERSION}-win32"
INSTALL_DIR = PREFIX / "drive_c" / "Program Files (x86)" / "Ternaport" / "Print Plugin"
INSTALL_DIR64 = PREFIX / "drive_c" / "Program Files" / "Ternaport" / "Print Plugin"
INSTALLED_DLL = r"C:\Program Files (x86)\Ternaport\Print Plugin\nptovi32.dll"
INSTALLED_DLL64 = r"C:\Program Files\Ternaport\Print Plugin\nptovi64.dll"
# The files from the build, laid out as in the zip, for the rebuilt packages (unsigned, so their
# bytes differ from the signed ones that `make dist` packed).
FILES = WORK / "files"
MANIFEST, MANIFEST_FIREFOX = "com.ternaport.print.json", "com.ternaport.print.firefox.json"
GENERATED = "build/win32/generated/dist/"
BUILT = {"nptovi32.dll": "build/win32/nptovi32.dll", "nphost.exe": "build/win32/nphost.exe",
         "tovi-bridge.exe": "build/win32/tovi-bridge.exe",
         "x64/nptovi64.dll": "build/win64/nptovi64.dll", "x64/nphost.exe": "build/win64/nphost.exe",
         "x64/tovi-bridge.exe": "build/win64/tovi-bridge.exe",
         MANIFEST: GENERATED + MANIFEST, MANIFEST_FIREFOX: GENERATED + MANIFEST_FIREFOX,
         f"x64/{MANIFEST}": GENERATED + MANIFEST, f"x64/{MANIFEST_FIREFOX}": GENERATED + MANIFEST_FIREFOX}
# The host manifests as the browsers must read them; "path" is relative to the manifest's folder.
HOST_MANIFESTS = {
    MANIFEST: {"name": "com.ternaport.print", "path": "tovi-bridge.exe", "type": "stdio",
               "allowed_origins": ["chrome-extension://pikhdpcfnpkkaaiidgjcbnjedlcfmekm/"]},
    MANIFEST_FIREFOX: {"name": "com.ternaport.print", "path": "tovi-bridge.exe", "type": "stdio",
                       "allowed_extensions": ["print@ternaport.com"]},
}


def bridge_files(folder, source_dir):
    return [(folder, name, source_dir + name) for name in ("tovi-bridge.exe", MANIFEST, MANIFEST_FIREFOX)]


def windows(folder):
    return "C:\\" + str(folder.relative_to(PREFIX / "drive_c")).replace("/", "\\")


# The packages: the flag scripts/msi.sh takes, the files installed (folder, name, file in the zip
# folder) and those it must not install, the registrations written (registry view, the DLL its Path
# names), and the bridge's: the view of its keys and the folder of the manifests they name. Each
# package carries the one bridge of its plug-in's bitness.
PACKAGES = [
    {"name": "x86", "flags": [],
     "files": [(INSTALL_DIR, "nptovi32.dll", "nptovi32.dll"), (INSTALL_DIR, "nphost.exe", "nphost.exe")]
     + bridge_files(INSTALL_DIR, ""),
     "not_files": [], "registrations": [("/reg:32", INSTALLED_DLL)], "unregistered_views": ["/reg:64"],
     "hosts": ("/reg:32", INSTALL_DIR), "runs": []},
    {"name": "x64", "flags": ["--x64"],
     "files": [(INSTALL_DIR, "nptovi32.dll", "nptovi32.dll"), (INSTALL_DIR, "nphost.exe", "nphost.exe"),
               (INSTALL_DIR64, "nptovi64.dll", "x64/nptovi64.dll"), (INSTALL_DIR64, "nphost.exe", "x64/nphost.exe"),
               (INSTALL_DIR64 / "policy", "TernaportPrintPlugin.admx", None)]
     + bridge_files(INSTALL_DIR64, "x64/"),
     "not_files": [INSTALL_DIR / "tovi-bridge.exe"],
     "registrations": [("/reg:32", INSTALLED_DLL), ("/reg:64", INSTALLED_DLL64)], "unregistered_views": [],
     "hosts": ("/reg:64", INSTALL_DIR64),
     # The installed 64-bit programs, run from where the package put them, each load the DLL beside it.
     "runs": [(INSTALL_DIR64 / "nphost.exe", ["info"], "loaded: yes"),
              (INSTALL_DIR64 / "tovi-bridge.exe", ["--status"], f"module: loaded ({INSTALLED_DLL64})")]},
]
for package in PACKAGES:
    package["msi"] = WORK / f"nptovi32-{VERSION}-{package['name']}.msi"  # signed, from make dist
UNINSTALL_KEY = r"Software\Microsoft\Windows\CurrentVersion\Uninstall"
ERROR_INSTALL_FAILURE = 1603


def run(args, **kwargs):
    return subprocess.run(args, cwd=ROOT, capture_output=True, text=True, **kwargs)


def make_dist(pfx, password_file, *extension):
    return run(["make", "dist", f"SIGN_PFX={pfx}", f"SIGN_PASS_FILE={password_file}",
                f"DIST_DIR={OUT}"] + list(extension))


EXTENSION_URL = "https://intranet.example/ternaport/ternaport-print-0.0.0.11.crx"
EXTENSION_FILES = ["ternaport-print-0.0.0.11-chromium.zip", "ternaport-print-0.0.0.11-firefox.xpi",
                   "ternaport-print-0.0.0.11.crx", "ternaport-print-updates.xml"]


def test_extension_packages(key):
    """make dist with EXTENSION_KEY: the extension for the stores, and the .crx that the update
    manifest offers under the ID of that key (its own format is tests/extension/test_pack.py's)."""
    check(sorted(p.name for p in OUT.glob("ternaport-print-*")) == sorted(EXTENSION_FILES),
          "extension: make dist packs the store zip, the .xpi, the .crx and the update manifest",
          f"got {sorted(p.name for p in OUT.iterdir())}")
    public = subprocess.run(["openssl", "pkey", "-in", str(key), "-pubout", "-outform", "DER"],
                            capture_output=True, check=True).stdout
    digest = hashlib.sha256(public).hexdigest()[:32]
    app_id = "".join(chr(ord("a") + int(d, 16)) for d in digest)
    updates = (OUT / "ternaport-print-updates.xml").read_text()
    check(f"appid='{app_id}'" in updates and f"codebase='{EXTENSION_URL}'" in updates
          and "version='0.0.0.11'" in updates,
          "extension: the update manifest names the key's ID, EXTENSION_URL and the version", updates)


def verifies(path, cert):
    return run(["osslsigncode", "verify", "-CAfile", str(cert), "-in", str(path)]).returncode == 0


def test_signing():
    """Leaves the signed MSIs where PACKAGES names them and returns the unpacked zip's folder."""
    keys = WORK / "keys"
    keys.mkdir(parents=True)
    cert, pfx = keys / "cert.pem", keys / "signer.pfx"
    (keys / "password").write_text("throwaway")
    (keys / "wrong").write_text("other")
    run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
         "-subj", "/CN=Package test signer", "-addext", "extendedKeyUsage=codeSigning",
         "-keyout", str(keys / "key.pem"), "-out", str(cert)], check=True)
    run(["openssl", "pkcs12", "-export", "-inkey", str(keys / "key.pem"), "-in", str(cert),
         "-out", str(pfx), "-passout", f"file:{keys / 'password'}"], check=True)

    result = make_dist(keys / "none.pfx", keys / "password")
    check(result.returncode != 0 and "does not exist" in result.stderr and not OUT.exists(),
          "sign: a missing PFX stops make dist before anything is made", result.stderr[-600:])

    result = make_dist(pfx, keys / "password", f"EXTENSION_KEY={keys / 'missing.pem'}")
    check(result.returncode != 0 and "EXTENSION_KEY" in result.stderr and not OUT.exists(),
          "extension: a missing EXTENSION_KEY stops make dist before anything is made", result.stderr[-600:])

    extension = [f"EXTENSION_KEY={keys / 'key.pem'}", f"EXTENSION_URL={EXTENSION_URL}"]
    result = make_dist(pfx, keys / "password", *extension)
    check(result.returncode == 0, "sign: make dist with a PFX and an extension key succeeds",
          result.stderr[-600:])
    test_extension_packages(keys / "key.pem")
    unpacked = WORK / "unpacked"
    zipfile.ZipFile(OUT / f"{NAME}.zip").extractall(unpacked)
    signed = [unpacked / NAME / name for name in BUILT if not name.endswith(".json")] \
        + [OUT / p["msi"].name for p in PACKAGES]
    unverified = [path.name for path in signed if not verifies(path, cert)]
    check(not unverified, "sign: both DLLs, both nphost.exe, both tovi-bridge.exe and both MSIs verify "
          "against the certificate", f"not verified: {unverified}")
    for path in (signed[0], signed[2], signed[-1]):
        changed = WORK / f"changed-{path.name}"
        data = bytearray(path.read_bytes())
        data[len(data) // 3] ^= 0x01
        changed.write_bytes(data)
        check(not verifies(changed, cert), f"sign: one changed byte in {path.name} fails verification")
    for package in PACKAGES:
        shutil.copy(OUT / package["msi"].name, package["msi"])

    result = make_dist(pfx, keys / "wrong")
    no_package = not list(OUT.iterdir())
    check(result.returncode != 0 and "signing nptovi32.dll" in result.stderr and no_package,
          "sign: a wrong password stops make dist and leaves no package, not even the last one",
          result.stderr[-600:])
    return unpacked / NAME


def msiexec(*args):
    log = WORK / "msiexec.log"
    result = base.wine(["msiexec"] + [base.windows_path(a) if isinstance(a, Path) else a for a in args]
                       + ["/qn", "/l*v", base.windows_path(log)], env=ENV)
    # Wine hands msiexec's result to Linux as an exit status, which keeps its low byte only.
    return result.returncode, log.read_text("utf-8", "replace") if log.exists() else ""


def product_code(msi):
    table = run(["msiinfo", "export", str(msi), "Property"], check=True).stdout
    return next(line.split("\t")[1] for line in table.splitlines() if line.startswith("ProductCode\t"))


def installed_products():
    """The product codes that Programs and Features lists for this product, in either view."""
    codes = set()
    for view in (["/reg:32"], ["/reg:64"]):
        tree = base.reg_tree("HKEY_LOCAL_MACHINE", UNINSTALL_KEY, view, env=ENV) or {}
        codes |= {key for key, values in tree.items()
                  if values.get("DisplayName", ("", ""))[1] == "Ternaport Print Plugin"}
    return sorted(codes)


def check_installed(package, what, msi, files_dir, version):
    name = package["name"]
    check(installed_products() == [product_code(msi)],
          f"msi {name}: {what}: one entry in Programs and Features, this package's")
    wrong = [f"{folder / file}" for folder, file, source in package["files"]
             if not (folder / file).exists()
             or (source and (folder / file).read_bytes() != (files_dir / source).read_bytes())]
    check(not wrong, f"msi {name}: {what}: the package's files in place", f"missing or other: {wrong}")
    for view, dll in package["registrations"]:
        tree = base.reg_tree("HKEY_LOCAL_MACHINE", PLUGIN_KEY, [view], env=ENV)
        check(tree == base.expected_tree(dll, version),
              f"msi {name}: {what}: the registration in the {view[-2:]}-bit view names {dll}", f"got {tree}")
    for view in package["unregistered_views"]:
        check(not base.key_exists("HKEY_LOCAL_MACHINE", PLUGIN_KEY, [view], env=ENV),
              f"msi {name}: {what}: nothing in the {view[-2:]}-bit view")
    check(not any(path.exists() for path in package["not_files"]),
          f"msi {name}: {what}: no bridge of the other bitness")
    host_view, host_dir = package["hosts"]
    got = [base.reg_tree("HKEY_LOCAL_MACHINE", key, [view], env=ENV) for key, _ in HOST_KEYS
           for view in ("/reg:32", "/reg:64")]
    want = [{"": {"(Default)": ("REG_SZ", windows(host_dir / manifest))}} if view == host_view else None
            for _, manifest in HOST_KEYS for view in ("/reg:32", "/reg:64")]
    check(got == want, f"msi {name}: {what}: Chrome, Edge and Firefox find the bridge's manifests, "
          f"in the {host_view[-2:]}-bit view only", f"got {got}")


def check_removed(package, what):
    name = package["name"]
    views = [view for view, _ in package["registrations"]] + package["unregistered_views"]
    check(not INSTALL_DIR.parent.exists() and not INSTALL_DIR64.parent.exists() and installed_products() == []
          and not any(base.key_exists("HKEY_LOCAL_MACHINE", PLUGIN_KEY, [view], env=ENV) for view in views),
          f"msi {name}: {what}: the files, the Ternaport folders, the registrations and the entry are gone")
    for view, _ in package["registrations"]:
        tree = base.reg_tree("HKEY_LOCAL_MACHINE", PARENT_KEY, [view], env=ENV) or {}
        subkeys = {key: values for key, values in tree.items() if key}
        check(subkeys == {"@example.org/other": {"Path": ("REG_SZ", r"C:\other\npother.dll")}},
              f"msi {name}: {what}: the other plug-in's registration stays in the {view[-2:]}-bit view",
              f"got {tree}")
    host_view = package["hosts"][0]
    check(not any(base.key_exists("HKEY_LOCAL_MACHINE", key, [view], env=ENV)
                  for key, _ in HOST_KEYS for view in ("/reg:32", "/reg:64")),
          f"msi {name}: {what}: the bridge's keys are gone")
    tree = base.reg_tree("HKEY_LOCAL_MACHINE", OTHER_HOST_KEY, [host_view], env=ENV)
    check(tree == {"": {"(Default)": ("REG_SZ", r"C:\other\host.json")}},
          f"msi {name}: {what}: another native-messaging host's key stays", f"got {tree}")


def test_msi(package, signed_dir):
    name, msi = package["name"], package["msi"]
    # Another plug-in is registered before ours arrives; removing ours must leave it.
    for view, _ in package["registrations"]:
        base.wine(["reg", "add", f"HKEY_LOCAL_MACHINE\\{OTHER_PLUGIN_KEY}", "/v", "Path", "/t", "REG_SZ",
                   "/d", r"C:\other\npother.dll", "/f", view], env=ENV)
    base.wine(["reg", "add", f"HKEY_LOCAL_MACHINE\\{OTHER_HOST_KEY}", "/ve", "/t", "REG_SZ",
               "/d", r"C:\other\host.json", "/f", package["hosts"][0]], env=ENV)

    code, log = msiexec("/i", msi)
    check(code == 0, f"msi {name}: a silent install exits 0", log[-600:])
    check_installed(package, "after install", msi, signed_dir, VERSION)
    for program, args, expected in package["runs"]:
        result = base.wine([str(program)] + args, env=ENV)
        check(result.returncode == 0 and expected in result.stdout,
              f"msi {name}: installed {program.name} {' '.join(args)} shows '{expected}'",
              result.stdout + result.stderr)

    # A rebuild of the same version and a higher version, from the same source and the built files.
    same, higher = WORK / f"same-{name}.msi", WORK / f"higher-{name}.msi"
    run(["scripts/msi.sh"] + package["flags"] + [str(FILES), str(same)], check=True)
    run(["scripts/msi.sh"] + package["flags"] + [str(FILES), str(higher), "0.0.0.12"], check=True)
    for what, rebuilt, version in [("a rebuild of the same version", same, VERSION),
                                   ("a higher version", higher, "0.0.0.12")]:
        code, log = msiexec("/i", rebuilt)
        check(code == 0, f"msi {name}: {what} installs over the installed one", log[-600:])
        check_installed(package, f"after {what}", rebuilt, FILES, version)

    code, _ = msiexec("/i", msi)
    message = run(["msiinfo", "export", str(msi), "LaunchCondition"], check=True).stdout
    check(code == ERROR_INSTALL_FAILURE & 0xFF and "A newer version of [ProductName] is already installed" in message,
          f"msi {name}: the lower version is refused (exit {code}) with the package's message")
    check_installed(package, "after the refusal", higher, FILES, "0.0.0.12")

    code, log = msiexec("/x", higher)
    check(code == 0, f"msi {name}: msiexec /x exits 0", log[-600:])
    check_removed(package, "after removal")


def test_x64_replaces_x86(signed_dir):
    """An administrator moving a 64-bit Windows computer from the x86 package to the x64 one."""
    x86, x64 = PACKAGES
    msiexec("/i", x86["msi"])
    code, log = msiexec("/i", x64["msi"])
    check(code == 0, "msi x64 over x86: installs", log[-600:])
    check_installed(x64, "x64 over x86", x64["msi"], signed_dir, VERSION)
    code, log = msiexec("/x", x64["msi"])
    check(code == 0, "msi x64 over x86: msiexec /x exits 0", log[-600:])
    check_removed(x64, "x64 over x86, after removal")
    message = run(["msiinfo", "export", str(x64["msi"]), "LaunchCondition"], check=True).stdout
    check("VersionNT64\tThis package is for 64-bit Windows" in message,
          "msi x64: refuses to start on 32-bit Windows, naming the x86 package", message)


def test_host_manifests(zip_dir):
    """Each bridge in the zip has both manifests beside it, naming it and only our extension."""
    for folder in ("", "x64/"):
        for manifest, want in HOST_MANIFESTS.items():
            got = json.loads((zip_dir / folder / manifest).read_text("utf-8"))
            description = got.pop("description", "")
            check(got == want and description and (zip_dir / folder / got["path"]).exists(),
                  f"zip: {folder}{manifest} names {folder}{want['path']} beside it and only our extension",
                  f"got {got}")


def test_version_fields():
    """scripts/msi.sh folds four version fields into three; each must be plain decimal below 256."""
    cases = [("0.0.010.07", "(field '010')"), ("0.0.1.08", "(field '08')"), ("0.0.1.256", "(field '256')"),
             ("0.0.1", "(field '')"), ("0.0.1.2.3", "(more than four fields)"), ("1.x.0.0", "(field 'x')")]
    for version, reason in cases:
        result = run(["scripts/msi.sh", str(FILES), str(WORK / "version.msi"), version])
        check(result.returncode == 1 and reason in result.stderr and not (WORK / "version.msi").exists(),
              f"msi version {version}: refused {reason}", result.stderr)
    result = run(["scripts/msi.sh", str(FILES), str(WORK / "version.msi"), "1.0.255.10"])
    table = run(["msiinfo", "export", str(WORK / "version.msi"), "Property"]).stdout
    check(result.returncode == 0 and "ProductVersion\t1.0.65290" in table,
          "msi version 1.0.255.10: packaged as 1.0.65290 (255*256+10)", result.stderr + table[-300:])


def main():
    if not Path(WINE).exists():
        print(f"{WINE} is missing: run scripts/deps.sh")
        return 1
    shutil.rmtree(WORK, ignore_errors=True)
    for place, source in BUILT.items():
        (FILES / place).parent.mkdir(parents=True, exist_ok=True)
        shutil.copy(ROOT / source, FILES / place)
    PREFIX.mkdir(parents=True)
    subprocess.run([base.WINESERVER, "-p"], env=ENV, stderr=subprocess.DEVNULL)  # as test_install's
    try:
        signed_dir = test_signing()
        test_host_manifests(signed_dir)
        test_version_fields()
        for package in PACKAGES:
            test_msi(package, signed_dir)
        test_x64_replaces_x86(signed_dir)
    finally:
        subprocess.run([base.WINESERVER, "-k"], env=ENV, stderr=subprocess.DEVNULL)
    print(f"{base.passed} passed, {base.failed} failed")
    return 1 if base.failed else 0


if __name__ == "__main__":
    sys.exit(main())
