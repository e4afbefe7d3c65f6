"""What a browser and a person learn about the plug-in without printing: the version resource and the
entry points' answers, the version, the last-error convention, and nphost's own exit codes; and the
plug-in found through the registry as a browser of nphost's bitness finds it (--discover)."""
import os
import shutil
import unittest

import e2e_env
from e2e_env import nphost, wait_for_jobs

DECLARATION = {
    "MIMEType": "application/x-vnd-tovi-print",
    "FileExtents": "",
    "FileOpenName": "",
    "FileDescription": "Ternaport Print Plugin",
    "ProductName": "Ternaport Print Plugin",
    "FileVersion": "0.0.0.11",
    "ProductVersion": "0.0.0.11",
}


class Identity(unittest.TestCase):
    def test_info_of_the_loaded_module_includes_the_entry_points_answers(self):
        result = nphost("info")
        self.assertEqual(result.code, 0, result)
        fields = result.fields()
        self.assertEqual({key: fields.get(key) for key in DECLARATION}, DECLARATION)
        self.assertEqual(fields["machine"], e2e_env.MACHINE)
        self.assertEqual(fields["loaded"], "yes")
        self.assertEqual(fields["NP_GetMIMEDescription"], "application/x-vnd-tovi-print::")
        self.assertEqual(fields["NP_GetValue(NPPVpluginNameString)"], "Ternaport Print Plugin")
        self.assertEqual(fields["NP_GetValue(NPPVpluginDescriptionString)"], "Print plugin.")

    def test_info_of_the_32_bit_product_reads_its_version_resource_and_loads_it_only_on_32_bits(self):
        self.assertTrue(os.path.exists(e2e_env.DLL32), "build the win32 preset first")
        result = nphost("info", plugin=e2e_env.DLL32)
        self.assertEqual(result.code, 0, result)
        fields = result.fields()
        self.assertEqual({key: fields.get(key) for key in DECLARATION}, DECLARATION)
        self.assertEqual(fields["machine"], "i386")
        if e2e_env.MACHINE == "i386":
            self.assertEqual(fields["loaded"], "yes")
            self.assertEqual(fields["NP_GetMIMEDescription"], "application/x-vnd-tovi-print::")
        else:
            self.assertTrue(fields["loaded"].startswith("no"), fields)
            self.assertNotIn("NP_GetMIMEDescription", fields)

    def test_version(self):
        result = nphost("version")
        self.assertEqual((result.code, result.out, result.err), (0, b"0.0.0.11\n", b""))

    def test_a_failure_is_kept_for_last_error_once_and_survives_a_success(self):
        result = nphost("last-error", "+", "print", "--printer", "no-such-queue", "--base64", "QUJD",
                        "+", "version", "+", "last-error", "+", "last-error")
        message = b"?412 print failed - no such printer / no printers installed"
        self.assertEqual(result.code, 1, result)
        self.assertEqual(result.err, message + b"\n")
        self.assertEqual(result.out, b"null\n0.0.0.11\n" + message + b"\nnull\n")

    def test_usage_errors_exit_2_with_the_usage_and_call_nothing(self):
        cases = [
            [],
            ["frobnicate"],
            ["--verbose", "version"],
            ["version", "extra"],
            ["print"],
            ["print", "a.bin", "b.bin"],
            ["print", "a.bin", "--base64", "QUJD"],
            ["print", "--printer"],
            ["print", "--copies", "2", "a.bin"],
            ["version", "+"],
            ["--plugin"],
            ["--discover", "--plugin", "x.dll", "version"],
        ]
        for arguments in cases:
            with self.subTest(arguments=arguments):
                result = nphost(*arguments)
                self.assertEqual(result.code, 2, result)
                self.assertIn(b"usage: nphost", result.err)
                self.assertEqual(result.out, b"")

    def test_help_prints_the_usage(self):
        result = nphost("--help")
        self.assertEqual(result.code, 0, result)
        self.assertTrue(result.out.startswith(b"usage: nphost"), result)

    def test_host_side_failures_exit_3(self):
        missing = os.path.join(e2e_env.WORK, "no-such-file.bin")
        cases = [
            ("unreadable document", ["print", e2e_env.windows_path(missing)], None, b"cannot open"),
            ("module not found", ["version"], missing, b"cannot load"),
        ]
        for name, arguments, plugin, reason in cases:
            with self.subTest(name):
                result = nphost(*arguments, plugin=plugin)
                self.assertEqual(result.code, 3, result)
                self.assertIn(reason, result.err)


BITS = "64" if e2e_env.MACHINE == "x86-64" else "32"
OTHER_BITS = "32" if BITS == "64" else "64"
NOTHING_FOUND = (b"nphost: no plug-in for application/x-vnd-tovi-print is registered (looked in "
                 b"Software\\MozillaPlugins of HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE, %s-bit registry view)\n"
                 % BITS.encode())
DISCOVERY_QUEUE = "e2e-discovery"
PLUGINS = r"Software\MozillaPlugins"
ROOTS = {"HKCU": "HKEY_CURRENT_USER", "HKLM": "HKEY_LOCAL_MACHINE"}

# Each case: the registrations in nphost's own registry view (root, key name, Path; an empty Path is
# a key without one), those in the other view, and what --discover takes: (root, key name, file), or
# None for nothing. "decoys" holds np*.dll files that are passed by: a module of the other bitness
# and one without a version resource; "first" and "second" each hold a copy of the plug-in.
DISCOVERY_CASES = [
    ("nothing registered", [], [], None),
    ("a machine registration", [("HKLM", "@ternaport.com/nptovi32", r"second\nptovi-second.dll")], [],
     ("HKLM", "@ternaport.com/nptovi32", r"second\nptovi-second.dll")),
    ("the user's before the machine's",
     [("HKLM", "@a/machine", r"second\nptovi-second.dll"), ("HKCU", "@z/user", r"first\nptovi-first.dll")], [],
     ("HKCU", "@z/user", r"first\nptovi-first.dll")),
    ("the Path's folder is scanned, whatever file it names",
     [("HKCU", "@a/other-file", r"first\npsomething-else.dll")], [],
     ("HKCU", "@a/other-file", r"first\nptovi-first.dll")),
    ("modules that do not declare the type, or cannot load, are passed by",
     [("HKCU", "@a/decoys", r"decoys\npa-other-machine.dll"), ("HKLM", "@b/real", r"second\nptovi-second.dll")],
     [], ("HKLM", "@b/real", r"second\nptovi-second.dll")),
    ("keys without a usable Path are passed by",
     [("HKCU", "@a/no-path", ""), ("HKCU", "@b/no-folder", "nptovi-first.dll"),
      ("HKCU", "@c/missing-folder", r"missing\nptovi.dll"), ("HKLM", "@d/real", r"first\nptovi-first.dll")],
     [], ("HKLM", "@d/real", r"first\nptovi-first.dll")),
    ("the other registry view is not seen", [], [("HKLM", "@ternaport.com/nptovi32", r"first\nptovi-first.dll")],
     None),
]


class Discovery(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = os.path.join(e2e_env.WORK, "discovery")
        other_dll = e2e_env.DLL32 if BITS == "64" else e2e_env.DLL64
        for name, source in [(r"first\nptovi-first.dll", e2e_env.DLL), (r"second\nptovi-second.dll", e2e_env.DLL),
                             (r"decoys\npa-other-machine.dll", other_dll), (r"decoys\npb-no-version.dll", e2e_env.NPHOST)]:
            path = os.path.join(cls.folder, *name.split("\\"))
            os.makedirs(os.path.dirname(path), exist_ok=True)
            shutil.copyfile(source, path)
        cls.printer = e2e_env.spooler().add_queue(DISCOVERY_QUEUE)
        e2e_env.on_stop(cls.unregister)

    @classmethod
    def tearDownClass(cls):
        cls.unregister()
        e2e_env.spooler().remove_queue(DISCOVERY_QUEUE)

    @classmethod
    def unregister(cls):
        """Every registration, in both views (HKCU's keys are the same in both: one delete)."""
        for key, views in ((r"HKCU\%s" % PLUGINS, (BITS,)), (r"HKLM\%s" % PLUGINS, (BITS, OTHER_BITS))):
            for view in views:
                try:
                    e2e_env.wine_reg("delete", key, "/f", "/reg:" + view)
                except RuntimeError:
                    pass  # not there

    def register(self, own, other):
        """Replaces every registration of both roots in nphost's own view with `own` (one reg import,
        run by the reg.exe of nphost's bitness, whose view it writes), and adds `other` in the other view."""
        lines = ["Windows Registry Editor Version 5.00", ""]
        for root in ROOTS.values():
            lines += ["[-%s\\%s]" % (root, PLUGINS), ""]
        for root, key, path in own:
            lines.append("[%s\\%s\\%s]" % (ROOTS[root], PLUGINS, key))
            if path:
                lines.append('"Path"="%s"' % self.windows_path(path).replace("\\", "\\\\"))
            lines.append("")
        reg_file = os.path.join(self.folder, "case.reg")
        with open(reg_file, "w", newline="\r\n") as f:
            f.write("\n".join(lines))
        e2e_env.wine_reg("import", e2e_env.windows_path(reg_file))
        for root, key, path in other:
            e2e_env.wine_reg("add", r"%s\%s\%s" % (root, PLUGINS, key), "/v", "Path", "/d", self.windows_path(path),
                             "/f", "/reg:" + OTHER_BITS)

    def windows_path(self, name):
        return name if "\\" not in name else e2e_env.windows_path(self.folder) + "\\" + name

    def test_discover_takes_the_first_registered_module_that_declares_the_type(self):
        for name, own, other, expected in DISCOVERY_CASES:
            with self.subTest(name):
                self.register(own, other)
                result = nphost("--discover", "info")
                if other:
                    e2e_env.wine_reg("delete", r"HKLM\%s" % PLUGINS, "/f", "/reg:" + OTHER_BITS)
                if expected is None:
                    self.assertEqual((result.code, result.out, result.err), (3, b"", NOTHING_FOUND))
                    continue
                root, key, file = expected
                self.assertEqual(result.code, 0, result)
                fields = result.fields()
                self.assertEqual((fields["registry key"], fields["file"], fields["loaded"]),
                                 ("%s\\%s\\%s" % (ROOTS[root], PLUGINS, key), self.windows_path(file), "yes"))

    def test_the_discovered_module_prints_a_document_byte_exact(self):
        self.register([("HKLM", "@ternaport.com/nptovi32", r"second\nptovi-second.dll")], [])
        document = bytes(range(256)) * 3
        path = os.path.join(self.folder, "document.bin")
        with open(path, "wb") as f:
            f.write(document)
        jobs = len(self.printer.jobs())
        result = nphost("--discover", "print", "--printer", DISCOVERY_QUEUE, e2e_env.windows_path(path))
        self.assertEqual((result.code, result.err), (0, b""), result)
        received = wait_for_jobs(self.printer, jobs + 1)
        self.assertEqual(len(received), jobs + 1, "the job did not arrive")
        self.assertEqual(received[-1], document)
