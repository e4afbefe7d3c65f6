"""Printing through the real spooler: the bytes a page hands over arrive at the printer unchanged, on
the default queue and on a named one; failures report their message and send nothing anywhere."""
import os
import random
import time
import unittest

import e2e_env
from e2e_env import nphost, wait_for_jobs

DEFAULT_QUEUE = "e2e-default"
NAMED_QUEUE = "e2e-named"
NATIONAL_QUEUE = "Büro"

_random = random.Random(20261208)
DOCUMENTS = [
    ("1 byte", b"\x1b"),
    ("2 bytes", b"\r\n"),
    ("3 bytes", b"\x00\xff\x00"),
    ("every byte value", bytes(range(256))),
    ("1 MiB", _random.randbytes(1 << 20)),
    ("%d MiB" % e2e_env.LARGE_DOCUMENT_MIB, _random.randbytes(e2e_env.LARGE_DOCUMENT_MIB << 20)),
]


class RawPrinting(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.spooler = e2e_env.spooler()
        cls.default = cls.spooler.add_queue(DEFAULT_QUEUE, default=True)
        cls.named = cls.spooler.add_queue(NAMED_QUEUE)
        cls.national = cls.spooler.add_queue(NATIONAL_QUEUE)
        cls.documents = os.path.join(e2e_env.WORK, "documents")
        os.makedirs(cls.documents, exist_ok=True)

    @classmethod
    def tearDownClass(cls):
        for name in (DEFAULT_QUEUE, NAMED_QUEUE, NATIONAL_QUEUE):
            cls.spooler.remove_queue(name)

    def printers(self):
        return [self.default, self.named, self.national]

    def traffic(self):
        return [printer.connections() for printer in self.printers()], self.spooler.job_count()

    def write_document(self, name, data):
        path = os.path.join(self.documents, name.replace(" ", "-") + ".bin")
        with open(path, "wb") as f:
            f.write(data)
        return e2e_env.windows_path(path)

    def assert_prints(self, printer, data, *arguments, stdin=None):
        """Runs the print and checks that exactly this document, and nothing else, arrives at `printer`."""
        before = [len(p.jobs()) for p in self.printers()]
        logged = len(self.spooler.page_log())
        result = nphost("print", *arguments, stdin=stdin)
        self.assertEqual(result.code, 0, result)
        self.assertEqual(result.err, b"")
        self.assertEqual(result.fields()["status"], "printed")
        index = self.printers().index(printer)
        jobs = wait_for_jobs(printer, before[index] + 1)
        self.assertEqual(len(jobs), before[index] + 1, "the job did not arrive")
        received = jobs[-1]
        self.assertEqual(len(received), len(data))
        self.assertTrue(received == data, "the bytes differ")  # no diff of megabytes on failure
        after = [len(p.jobs()) for p in self.printers()]
        self.assertEqual([a - b for a, b in zip(after, before)], [int(i == index) for i in range(3)])
        # As the spooler saw it: one job, on that queue, titled as the plug-in names its documents.
        entries = e2e_env.wait_for(lambda: self.spooler.page_log()[logged:], timeout=10)
        queue = [name for name, p in self.spooler.queues.items() if p is printer][0]
        self.assertEqual([(name, title) for name, _, title in entries], [(queue, "raw document")])
        return result

    def assert_prints_nothing(self, result, messages):
        before = self.traffic_before
        self.assertEqual(result.code, 1, result)
        self.assertIn(result.err.decode().rstrip("\n"), messages)
        self.assertEqual(result.out, b"")
        time.sleep(e2e_env.QUIET_PERIOD)
        self.assertEqual(self.traffic(), before, "something was spooled or sent")

    def test_documents_reach_the_default_printer_byte_for_byte(self):
        self.assertEqual(self.spooler.default_queue(), DEFAULT_QUEUE)
        for name, data in DOCUMENTS:
            with self.subTest(name):
                result = self.assert_prints(self.default, data, self.write_document(name, data))
                self.assertEqual(result.fields(), {"printer": "(default)", "bytes": str(len(data)),
                                                   "status": "printed"})

    def test_documents_reach_a_named_printer_byte_for_byte(self):
        for name, data in DOCUMENTS:
            with self.subTest(name):
                self.assert_prints(self.named, data, "--printer", NAMED_QUEUE, self.write_document(name, data))

    def test_a_document_on_standard_input_prints(self):
        data = DOCUMENTS[4][1]
        self.assert_prints(self.named, data, "--printer", NAMED_QUEUE, "-", stdin=data)

    def test_a_printer_listed_with_a_national_character_prints_under_that_name(self):
        listed = nphost("printers")
        self.assertEqual(listed.code, 0, listed)
        self.assertIn(NATIONAL_QUEUE, listed.lines)
        name = listed.lines[listed.lines.index(NATIONAL_QUEUE)]
        data = b"^XA^FO50,50^A0N,40,40^FDB\xfcro^FS^XZ"
        self.assert_prints(self.national, data, "--printer", name, "--base64",
                           "XlhBXkZPNTAsNTBeQTBOLDQwLDQwXkZEQvxyb15GU15YWg==")

    def test_a_name_in_other_letter_case_prints_on_the_listed_queue(self):
        self.assert_prints(self.named, b"case", "--printer", NAMED_QUEUE.upper(), "--base64", "Y2FzZQ==")

    def test_letter_case_alone_is_ignored_in_a_printer_name(self):
        # A locale's comparison would take Strasse for Straße and pass over a soft hyphen; the
        # spooler takes them for other names.
        queues = {name: self.spooler.add_queue(name) for name in ("Stra\u00dfe", "Label")}
        try:
            for name in ("Strasse", "STRASSE", "Stra\u00adße", "La\u00adbel"):
                with self.subTest(printer=name):
                    before = [p.connections() for p in queues.values()], self.traffic()
                    result = nphost("print", "--printer", name, "--base64", "QUJD")
                    self.assertEqual((result.code, result.err.decode().rstrip("\n")),
                                     (1, "?412 print failed - no such printer / no printers installed"), result)
                    time.sleep(e2e_env.QUIET_PERIOD)
                    self.assertEqual(([p.connections() for p in queues.values()], self.traffic()), before,
                                     "something was spooled or sent")
            for name, queue in (("label", "Label"), ("LABEL", "Label"), ("STRA\u00dfE", "Stra\u00dfe")):
                with self.subTest(printer=name):
                    jobs = len(queues[queue].jobs())
                    result = nphost("print", "--printer", name, "--base64", "QUJD")
                    self.assertEqual((result.code, result.err), (0, b""), result)
                    self.assertEqual(wait_for_jobs(queues[queue], jobs + 1)[jobs:], [b"ABC"])
        finally:
            for name in queues:
                self.spooler.remove_queue(name)

    def test_an_unknown_printer_reports_412_and_nothing_is_sent(self):
        # Port-monitor handles and shares open under Wine (or reach a host on Windows) but are no
        # printers the spooler lists: they are never opened.
        names = ["e2e-missing", "", "e2e-default ", "B\u00fcro2", "Bu\u0308ro", "\u4e2d\u6587",
                 ",XcvMonitor Local Port", ",XcvPort LPT1:", "\\\\127.0.0.1\\x"]
        for name in names:
            with self.subTest(printer=name):
                self.traffic_before = self.traffic()
                result = nphost("print", "--printer", name, "--base64", "QUJD")
                self.assert_prints_nothing(result, ["?412 print failed - no such printer / no printers installed"])

    def test_a_japanese_default_queue_prints_and_is_listed_on_code_page_932(self):
        # There the size query counts the name's 3 characters where its 932 form needs 6 bytes.
        name = "\u30e9\u30d9\u30eb"  # ラベル
        printer = self.spooler.add_queue(name, default=True)
        try:
            japanese = e2e_env.japanese_wine()
            listed = nphost("printers", env=japanese)
            self.assertEqual((listed.code, listed.err), (0, b""), listed)
            self.assertIn(name, listed.lines)
            data = DOCUMENTS[3][1]
            result = nphost("print", self.write_document("japanese", data), env=japanese)
            self.assertEqual((result.code, result.err), (0, b""), result)
            jobs = wait_for_jobs(printer, 1)
            self.assertEqual(jobs, [data])
        finally:
            self.spooler.cups("lpadmin", "-d", DEFAULT_QUEUE)
            self.spooler.remove_queue(name)

    def test_malformed_base64_reports_407_or_409_and_nothing_is_sent(self):
        length = "?407 base64 decode: invalid input length"
        decoding = "?409 base64 decode: error decoding"
        cases = [
            ("empty", "", [length]),
            ("one character short", "QUJ", [length]),
            ("one character over", "QUJDR", [length]),
            ("broken into lines", "QUJD\r\nREVG", [length]),
            ("broken into lines, multiple of four", "QUJD\r\nREVG==", [decoding]),
            ("padding inside", "QU=D", [decoding]),
            ("character outside the alphabet", "QUJ*", [decoding]),
            ("URL-safe alphabet", "-_-_", [decoding]),
            ("blank inside", "QU JD", [length]),
            ("blank inside, multiple of four", "QU JDA==", [decoding]),
        ]
        for name, text, messages in cases:
            for arguments in (["--base64", text], ["--printer", NAMED_QUEUE, "--base64", text]):
                with self.subTest(name, printer="--printer" in arguments):
                    self.traffic_before = self.traffic()
                    self.assert_prints_nothing(nphost("print", *arguments), messages)
