"""The administrator's site policy as Group Policy writes it, set with reg.exe in the test prefix (in
the registry's 64-bit view, where Group Policy writes it also for 32-bit programs; in the guest of
scripts/vm32 the 32-bit plug-in runs in a 64-bit prefix and must read it from there): an
allowed site prints, a refused one gets ?501 and nothing reaches CUPS or a printer; hardware addresses
turned off give ?502. A line is read as the registry keeps it: one beyond printable ASCII refuses
every site, and an international site is listed in its xn-- form, which admits the page whether the
browser states its host in Unicode or in ASCII. The policy is removed again after the class, so the
other classes run without one. The Group Policy templates are well-formed and name both values."""
import os
import time
import unittest
import xml.etree.ElementTree as ElementTree

import e2e_env
from e2e_env import nphost, wait_for_jobs

QUEUE = "e2e-policy"
POLICY_KEY = e2e_env.POLICY_KEY
SITE_REFUSED = "?501 access denied - this site may not use the plug-in"
ADDRESSES_OFF = "?502 access denied - hardware addresses are turned off"
POLICY_DIR = os.path.join(e2e_env.ROOT, "policy")
GP = "{http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions}"


TOKYO = "https://t\u014dky\u014d.example"  # tōkyō.example, as Mozilla's browsers state it
TOKYO_ASCII = "https://xn--tky-qxac.example"
ORIGINS = "https://shop.example.com\\0https://*.example.org"


set_origins = e2e_env.set_policy_origins
remove_policy = e2e_env.remove_policy


class SitePolicy(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.spooler = e2e_env.spooler()
        cls.printer = cls.spooler.add_queue(QUEUE, default=True)
        e2e_env.on_stop(remove_policy)
        set_origins(ORIGINS)
        e2e_env.wine_reg("add", POLICY_KEY, "/v", "AllowHardwareAddresses", "/t", "REG_DWORD", "/d", "0", "/f", "/reg:64")

    @classmethod
    def tearDownClass(cls):
        remove_policy()
        cls.spooler.remove_queue(QUEUE)

    def traffic(self):
        return self.printer.connections(), self.spooler.job_count()

    def test_an_allowed_site_prints_and_a_refused_one_sends_nothing(self):
        for origin in ["https://shop.example.com", "HTTPS://Shop.Example.com:443", "https://a.example.org"]:
            with self.subTest(origin=origin):
                jobs = len(self.printer.jobs())
                result = nphost("--origin", origin, "print", "--base64", "QUJD")
                self.assertEqual(result.code, 0, result)
                self.assertEqual(wait_for_jobs(self.printer, jobs + 1)[jobs:], [b"ABC"])
        for origin in ["https://evil.example.net", "https://example.org", "http://shop.example.com", None]:
            for command in (["print", "--base64", "QUJD"], ["printers"], ["macs"]):
                with self.subTest(origin=origin, command=command[0]):
                    before = self.traffic()
                    arguments = (["--origin", origin] if origin else []) + command + ["+", "version"]
                    result = nphost(*arguments)
                    self.assertEqual(result.code, 1, result)
                    self.assertEqual(result.err.decode().rstrip("\n"), SITE_REFUSED)
                    self.assertEqual(result.lines, ["0.0.0.11"])
                    time.sleep(e2e_env.QUIET_PERIOD)
                    self.assertEqual(self.traffic(), before, "something was spooled or sent")

    def assert_refused(self, origin):
        before = self.traffic()
        result = nphost("--origin", origin, "print", "--base64", "QUJD")
        self.assertEqual((result.code, result.err.decode().rstrip("\n")), (1, SITE_REFUSED), result)
        time.sleep(e2e_env.QUIET_PERIOD)
        self.assertEqual(self.traffic(), before, "something was spooled or sent")

    def test_lines_are_read_without_best_fit_and_pages_match_in_ascii(self):
        try:
            # Read through the ANSI functions, these lines arrive as https://tokyo.example and
            # https://shop.example.com: sites the administrator did not list.
            for lines in (TOKYO, "https://shop\uff0eexample.com", "https://shop.example.com\\0" + TOKYO):
                set_origins(lines)
                for origin in ("https://tokyo.example", TOKYO_ASCII, TOKYO, "https://shop.example.com"):
                    with self.subTest(lines=lines, origin=origin):
                        self.assert_refused(origin)
            set_origins(TOKYO_ASCII)
            for origin in (TOKYO, TOKYO_ASCII, TOKYO + ":443"):
                with self.subTest(origin=origin):
                    jobs = len(self.printer.jobs())
                    result = nphost("--origin", origin, "print", "--base64", "QUJD")
                    self.assertEqual(result.code, 0, result)
                    self.assertEqual(wait_for_jobs(self.printer, jobs + 1)[jobs:], [b"ABC"])
            self.assert_refused("https://tokyo.example")
        finally:
            set_origins(ORIGINS)

    def test_hardware_addresses_turned_off_for_an_allowed_site(self):
        result = nphost("--origin", "https://shop.example.com", "macs", "+", "last-error")
        self.assertEqual(result.code, 1, result)
        self.assertEqual(result.err.decode().rstrip("\n"), ADDRESSES_OFF)
        self.assertEqual(result.lines, [ADDRESSES_OFF])


class PolicyTemplates(unittest.TestCase):
    def test_the_templates_are_well_formed_and_name_both_values(self):
        admx = ElementTree.parse(os.path.join(POLICY_DIR, "TernaportPrintPlugin.admx")).getroot()
        adml = ElementTree.parse(os.path.join(POLICY_DIR, "en-US", "TernaportPrintPlugin.adml")).getroot()
        policies = {p.get("name"): p for p in admx.iter(GP + "policy")}
        self.assertEqual({p.get("key") for p in policies.values()}, {POLICY_KEY.replace("HKLM\\", "")})
        self.assertEqual(policies["AllowHardwareAddresses"].get("valueName"), "AllowHardwareAddresses")
        lists = list(policies["AllowedOrigins"].iter(GP + "multiText"))  # REG_MULTI_SZ
        self.assertEqual([element.get("valueName") for element in lists], ["AllowedOrigins"])
        # Every text and presentation the template refers to is in the language file.
        strings = {s.get("id") for s in adml.iter(GP + "string")}
        presentations = {p.get("id") for p in adml.iter(GP + "presentation")}
        for element in admx.iter():
            for value in element.attrib.values():
                if value.startswith("$(string."):
                    self.assertIn(value[9:-1], strings)
                elif value.startswith("$(presentation."):
                    self.assertIn(value[15:-1], presentations)
