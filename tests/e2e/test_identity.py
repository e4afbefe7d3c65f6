"""What a browser and a person learn about the plug-in without printing: the version resource and the
entry points' answers, the version, the last-error convention, and nphost's own exit codes."""
import os
import unittest

import e2e_env
from e2e_env import nphost

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
