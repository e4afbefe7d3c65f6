"""The packages as a user has them, in the guest of scripts/vm32 only (its runner names the folder of
the MSIs in NPTOVI_PACKAGES): installed by msiexec, found through the registry as a browser of each
bitness finds them (nphost --discover), and printing.

- 64-bit Windows (the suite's own prefix, 64-bit with 32-bit support): the x64 MSI puts the 32-bit
  plug-in under "Program Files (x86)" and the 64-bit one under "Program Files"; the installed 32-bit
  and 64-bit nphost.exe each discover their own and print a document byte-exact; a site policy
  written in the 64-bit view refuses an unlisted origin in both; removal takes out every file, folder
  and key, and discovery then finds nothing.
- 32-bit Windows (a pure 32-bit prefix made in the image): the x86 MSI installs, and the installed
  nphost.exe discovers the plug-in under "Program Files" and prints.
"""
import glob
import os
import subprocess
import unittest

import e2e_env
from e2e_env import Result, wait_for_jobs

PACKAGES = os.environ.get("NPTOVI_PACKAGES", "")
PREFIX32 = os.environ.get("NPTOVI_PREFIX32", "/root/wineprefix32")  # the pure 32-bit prefix
PLUGIN_KEY = r"HKEY_LOCAL_MACHINE\Software\MozillaPlugins\@ternaport.com/nptovi32"
PROGRAMS = r"C:\Program Files"
PROGRAMS_X86 = r"C:\Program Files (x86)"
PRODUCT_FOLDER = r"Ternaport\Print Plugin"
SITE_REFUSED = b"?501 access denied - this site may not use the plug-in\n"
DOCUMENT = bytes(range(256)) * 16 + b"packaged\r\n"


def nothing_found(bits):
    return (b"nphost: no plug-in for application/x-vnd-tovi-print is registered (looked in "
            b"Software\\MozillaPlugins of HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE, %d-bit registry view)\n" % bits)


def package(suffix):
    found = sorted(glob.glob(os.path.join(PACKAGES, "*-%s.msi" % suffix)))
    if not found:
        raise AssertionError("no *-%s.msi in %s" % (suffix, PACKAGES or "NPTOVI_PACKAGES (not set)"))
    return found[-1]


def unix_path(prefix, windows):
    """Where a C: path of the prefix is on this machine."""
    return os.path.join(prefix, "drive_c", *windows[3:].split("\\"))


class Machine:
    """One Windows installation: a Wine prefix of that bitness, whose programs run through
    scripts/wine.sh with the loader of their own bitness."""

    def __init__(self, prefix, bits):
        self.prefix = prefix
        self.bits = bits

    def run(self, bits, program, *arguments, stdin=None):
        env = dict(e2e_env.spooler().env, WINEPREFIX=self.prefix, NPTOVI_TARGET="win%d" % bits)
        completed = subprocess.run([e2e_env.WINE, program] + list(arguments), input=stdin, capture_output=True,
                                   env=env, timeout=e2e_env.COMMAND_TIMEOUT)
        return Result(completed)

    def msiexec(self, bits, *arguments):
        return self.run(bits, "msiexec", *arguments, "/qn")

    def reg(self, *arguments):
        return self.run(self.bits, "reg", *arguments)

    def exists(self, windows):
        return os.path.lexists(unix_path(self.prefix, windows))


class PackagedPlugin(unittest.TestCase):
    machine = None
    queue = None  # each class's own: a printer keeps its jobs in a folder named after its queue

    @classmethod
    def setUpClass(cls):
        cls.spooler = e2e_env.spooler()
        cls.printer = cls.spooler.add_queue(cls.queue)
        cls.document = os.path.join(e2e_env.WORK, "packaged-document.bin")
        with open(cls.document, "wb") as f:
            f.write(DOCUMENT)

    @classmethod
    def tearDownClass(cls):
        cls.spooler.remove_queue(cls.queue)

    def assert_discovers_and_prints(self, bits, nphost, folder):
        """The installed nphost of that bitness finds the plug-in in `folder` and prints DOCUMENT."""
        result = self.machine.run(bits, nphost, "--discover", "info")
        self.assertEqual(result.code, 0, result)
        fields = result.fields()
        print("\n  %d-bit nphost --discover info: registry key: %s, file: %s, machine: %s, loaded: %s"
              % (bits, fields.get("registry key"), fields.get("file"), fields.get("machine"), fields.get("loaded")))
        self.assertEqual(fields["registry key"], PLUGIN_KEY)
        self.assertEqual(os.path.dirname(fields["file"].replace("\\", "/")), folder.replace("\\", "/"))
        self.assertEqual((fields["machine"], fields["loaded"]), ("x86-64" if bits == 64 else "i386", "yes"))
        jobs = len(self.printer.jobs())
        result = self.machine.run(bits, nphost, "--discover", "print", "--printer", self.queue,
                                  e2e_env.windows_path(self.document))
        self.assertEqual((result.code, result.err), (0, b""), result)
        received = wait_for_jobs(self.printer, jobs + 1)
        self.assertEqual(len(received), jobs + 1, "the job did not arrive")
        self.assertTrue(received[-1] == DOCUMENT, "the bytes differ")


@unittest.skipUnless(PACKAGES, "the packages are tried in the guest of scripts/vm32")
class X64PackageOn64BitWindows(PackagedPlugin):
    queue = "e2e-package-x64"

    def test_install_discover_print_refuse_by_policy_and_remove(self):
        self.machine = Machine(os.environ["WINEPREFIX"], 64)
        msi = package("x64")
        folders = {32: PROGRAMS_X86 + "\\" + PRODUCT_FOLDER, 64: PROGRAMS + "\\" + PRODUCT_FOLDER}
        nphosts = {bits: folder + r"\nphost.exe" for bits, folder in folders.items()}
        installed = policy = False
        try:
            result = self.machine.msiexec(64, "/i", e2e_env.windows_path(msi))
            installed = True
            self.assertEqual(result.code, 0, result)
            for bits in (32, 64):
                with self.subTest("discover and print", bits=bits):
                    self.assert_discovers_and_prints(bits, nphosts[bits], folders[bits])

            result = self.machine.reg("add", e2e_env.POLICY_KEY, "/v", "AllowedOrigins",
                                      "/t", "REG_MULTI_SZ", "/d", "https://shop.example.com", "/f", "/reg:64")
            policy = True
            self.assertEqual(result.code, 0, result)
            for bits in (32, 64):
                with self.subTest("the 64-bit view's policy refuses an unlisted site", bits=bits):
                    jobs = self.spooler.job_count()
                    result = self.machine.run(bits, nphosts[bits], "--discover", "--origin", "https://unlisted.example",
                                              "print", "--printer", self.queue, "--base64", "QUJD")
                    self.assertEqual((result.code, result.err), (1, SITE_REFUSED), result)
                    self.assertEqual(self.spooler.job_count(), jobs, "something was spooled")
            self.machine.reg("delete", e2e_env.VENDOR_KEY, "/f", "/reg:64")
            policy = False

            result = self.machine.msiexec(64, "/x", e2e_env.windows_path(msi))
            installed = False
            self.assertEqual(result.code, 0, result)
            for bits, folder in folders.items():
                with self.subTest("removal leaves nothing", bits=bits):
                    vendor = folder.rsplit("\\", 1)[0]
                    self.assertFalse(self.machine.exists(vendor), vendor)
                    key = self.machine.reg("query", r"HKLM\Software\MozillaPlugins\@ternaport.com/nptovi32",
                                           "/reg:%d" % bits)
                    self.assertNotEqual(key.code, 0, key)
                    build = os.path.join(e2e_env.ROOT, "build", "win%d" % bits, "nphost.exe")
                    result = self.machine.run(bits, build, "--discover", "version")
                    self.assertEqual((result.code, result.out, result.err), (3, b"", nothing_found(bits)))
        finally:  # for the tests that follow in this prefix
            if policy:
                self.machine.reg("delete", e2e_env.VENDOR_KEY, "/f", "/reg:64")
            if installed:
                self.machine.msiexec(64, "/x", e2e_env.windows_path(msi))


@unittest.skipUnless(PACKAGES, "the packages are tried in the guest of scripts/vm32")
class X86PackageOn32BitWindows(PackagedPlugin):
    queue = "e2e-package-x86"

    def test_install_discover_and_print(self):
        self.machine = Machine(PREFIX32, 32)
        env = dict(os.environ, WINEPREFIX=PREFIX32, NPTOVI_TARGET="win32")
        e2e_env.on_stop(lambda: subprocess.run([e2e_env.WINE, "--stop"], env=env))
        e2e_env.start_wine(env=env)
        result = self.machine.msiexec(32, "/i", e2e_env.windows_path(package("x86")))
        self.assertEqual(result.code, 0, result)
        self.assertFalse(self.machine.exists(PROGRAMS_X86), "a 32-bit Windows has no Program Files (x86)")
        self.assert_discovers_and_prints(32, PROGRAMS + "\\" + PRODUCT_FOLDER + r"\nphost.exe",
                                         PROGRAMS + "\\" + PRODUCT_FOLDER)
