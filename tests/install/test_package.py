#!/usr/bin/env python3
"""The packages `make dist` makes, into a folder under build/:

- signing: with a throwaway code-signing certificate, the DLL, nphost.exe and the MSI pass
  `osslsigncode verify`, and one changed byte fails it; a missing PFX or a wrong password stops
  make dist with a message and no package;
- the MSI under Wine, in an empty prefix of the test's own: a silent install puts the files and the
  registration in place, a rebuild of the same version and a higher version each replace the
  installed one, the lower version is then refused, and removal takes out everything it added
  while another plug-in's registration stays."""
import os
import shutil
import subprocess
import sys
import zipfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import test_install as base  # noqa: E402
from test_install import ROOT, WINE, PARENT_KEY, PLUGIN_KEY, OTHER_PLUGIN_KEY, check  # noqa: E402

WORK = ROOT / "build" / "package-test"
OUT = WORK / "dist"
PREFIX = WORK / "prefix"
ENV = dict(base.ENV, WINEPREFIX=str(PREFIX))
VERSION = "0.0.0.11"
NAME = f"nptovi32-{VERSION}-win32"
MSI = WORK / f"nptovi32-{VERSION}-x86.msi"  # the signed package, kept for the MSI tests
INSTALL_DIR = PREFIX / "drive_c" / "Program Files (x86)" / "Ternaport" / "Print Plugin"
INSTALLED_DLL = r"C:\Program Files (x86)\Ternaport\Print Plugin\nptovi32.dll"
UNINSTALL_KEY = r"Software\Microsoft\Windows\CurrentVersion\Uninstall"
ERROR_INSTALL_FAILURE = 1603


def run(args, **kwargs):
    return subprocess.run(args, cwd=ROOT, capture_output=True, text=True, **kwargs)


def make_dist(pfx, password_file):
    return run(["make", "dist", f"SIGN_PFX={pfx}", f"SIGN_PASS_FILE={password_file}",
                f"DIST_DIR={OUT}"])


def verifies(path, cert):
    return run(["osslsigncode", "verify", "-CAfile", str(cert), "-in", str(path)]).returncode == 0


def test_signing():
    """Leaves the signed MSI in MSI for the MSI tests and returns the signed DLL's bytes."""
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

    result = make_dist(pfx, keys / "password")
    check(result.returncode == 0, "sign: make dist with a PFX succeeds", result.stderr[-600:])
    unpacked = WORK / "unpacked"
    zipfile.ZipFile(OUT / f"{NAME}.zip").extractall(unpacked)
    signed = [unpacked / NAME / "nptovi32.dll", unpacked / NAME / "nphost.exe", OUT / MSI.name]
    check(all(verifies(path, cert) for path in signed),
          "sign: nptovi32.dll, nphost.exe and the MSI verify against the certificate")
    for path in (signed[0], signed[2]):
        changed = WORK / f"changed-{path.name}"
        data = bytearray(path.read_bytes())
        data[len(data) // 3] ^= 0x01
        changed.write_bytes(data)
        check(not verifies(changed, cert), f"sign: one changed byte in {path.name} fails verification")
    shutil.copy(OUT / MSI.name, MSI)

    result = make_dist(pfx, keys / "wrong")
    no_package = not list(OUT.glob("*.zip")) and not list(OUT.glob("*.msi"))
    check(result.returncode != 0 and "signing nptovi32.dll" in result.stderr and no_package,
          "sign: a wrong password stops make dist and leaves no package, not even the last one",
          result.stderr[-600:])
    return signed[0].read_bytes()


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
    """The product codes that Programs and Features lists for this product."""
    tree = base.reg_tree("HKEY_LOCAL_MACHINE", UNINSTALL_KEY, ["/reg:32"], env=ENV) or {}
    return sorted(key for key, values in tree.items()
                  if values.get("DisplayName", ("", ""))[1] == "Ternaport Print Plugin")


def check_installed(what, msi, dll_bytes, version):
    check(installed_products() == [product_code(msi)],
          f"msi: {what}: one entry in Programs and Features, this package's")
    check((INSTALL_DIR / "nptovi32.dll").read_bytes() == dll_bytes and (INSTALL_DIR / "nphost.exe").exists(),
          f"msi: {what}: the package's files in Program Files (x86)\\Ternaport\\Print Plugin")
    tree = base.reg_tree("HKEY_LOCAL_MACHINE", PLUGIN_KEY, ["/reg:32"], env=ENV)
    check(tree == base.expected_tree(INSTALLED_DLL, version),
          f"msi: {what}: the registration install.cmd /all writes, in the 32-bit view", f"got {tree}")


def test_msi(signed_dll):
    # Another plug-in is registered before ours arrives; removing ours must leave it.
    base.wine(["reg", "add", f"HKEY_LOCAL_MACHINE\\{OTHER_PLUGIN_KEY}", "/v", "Path", "/t", "REG_SZ",
               "/d", r"C:\other\npother.dll", "/f", "/reg:32"], env=ENV)

    code, log = msiexec("/i", MSI)
    check(code == 0, "msi: a silent install exits 0", log[-600:])
    check_installed("after install", MSI, signed_dll, VERSION)
    check(not base.key_exists("HKEY_LOCAL_MACHINE", PLUGIN_KEY, ["/reg:64"], env=ENV),
          "msi: nothing in the 64-bit view")

    # A rebuild of the same version and a higher version, from the same source and the built DLL.
    built_dll = (ROOT / "build" / "win32" / "nptovi32.dll").read_bytes()
    same, higher = WORK / "same.msi", WORK / "higher.msi"
    run(["scripts/msi.sh", "build/win32", str(same)], check=True)
    run(["scripts/msi.sh", "build/win32", str(higher), "0.0.0.12"], check=True)
    for what, msi, version in [("a rebuild of the same version", same, VERSION),
                               ("a higher version", higher, "0.0.0.12")]:
        code, log = msiexec("/i", msi)
        check(code == 0, f"msi: {what} installs over the installed one", log[-600:])
        check_installed(f"after {what}", msi, built_dll, version)

    code, _ = msiexec("/i", MSI)
    message = run(["msiinfo", "export", str(MSI), "LaunchCondition"], check=True).stdout
    check(code == ERROR_INSTALL_FAILURE & 0xFF and "A newer version of [ProductName] is already installed" in message,
          f"msi: the lower version is refused (exit {code}) with the package's message")
    check_installed("after the refusal", higher, built_dll, "0.0.0.12")

    code, log = msiexec("/x", higher)
    check(code == 0, "msi: msiexec /x exits 0", log[-600:])
    check(not INSTALL_DIR.parent.exists() and installed_products() == []
          and not base.key_exists("HKEY_LOCAL_MACHINE", PLUGIN_KEY, ["/reg:32"], env=ENV),
          "msi: removal takes out the files, the Ternaport folder, the registration and the entry")
    tree = base.reg_tree("HKEY_LOCAL_MACHINE", PARENT_KEY, ["/reg:32"], env=ENV) or {}
    subkeys = {name: values for name, values in tree.items() if name}
    check(subkeys == {"@example.org/other": {"Path": ("REG_SZ", r"C:\other\npother.dll")}},
          "msi: the other plug-in's registration stays", f"got {tree}")


def main():
    if not Path(WINE).exists():
        print(f"{WINE} is missing: run scripts/deps.sh")
        return 1
    shutil.rmtree(WORK, ignore_errors=True)
    try:
        test_msi(test_signing())
    finally:
        subprocess.run(["/usr/lib/wine/wineserver", "-k"], env=ENV, stderr=subprocess.DEVNULL)
    print(f"{base.passed} passed, {base.failed} failed")
    return 1 if base.failed else 0


if __name__ == "__main__":
    sys.exit(main())
