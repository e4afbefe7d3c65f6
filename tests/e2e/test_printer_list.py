"""The printer list against the queues CUPS actually has, and the machine with no queue at all (the only
way to have no default printer under Wine)."""
import time
import unittest

import e2e_env
from e2e_env import nphost

QUEUES = ["e2e-list-a", "Büro", "e2e-list-b", "Zoë-Étiquettes"]


class PrinterListWithQueues(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.spooler = e2e_env.spooler()
        for name in QUEUES:
            cls.spooler.add_queue(name, default=(name == QUEUES[0]))

    @classmethod
    def tearDownClass(cls):
        for name in QUEUES:
            cls.spooler.remove_queue(name)

    def test_the_list_is_exactly_the_queues_as_utf8(self):
        result = nphost("printers")
        self.assertEqual((result.code, result.err), (0, b""), result)
        self.assertEqual(sorted(result.lines), sorted(self.spooler.queue_names()))
        self.assertEqual(sorted(result.lines), sorted(QUEUES))
        self.assertIn("B\u00fcro".encode("utf-8") + b"\n", result.out)  # 42 C3 BC 72 6F: intact, not 1252

    def test_a_removed_queue_leaves_the_list(self):
        self.spooler.add_queue("e2e-list-gone")
        self.assertIn("e2e-list-gone", nphost("printers").lines)
        self.spooler.remove_queue("e2e-list-gone")
        result = nphost("printers")
        self.assertEqual(result.code, 0, result)
        self.assertEqual(sorted(result.lines), sorted(QUEUES))


class NoQueueAtAll(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.spooler = e2e_env.spooler()
        assert cls.spooler.queue_names() == [], "queues left by another test"

    def test_printers_lists_nothing(self):
        result = nphost("printers")
        self.assertEqual((result.code, result.out, result.err), (0, b"", b""))

    def test_printing_without_a_printer_reports_412_and_spools_nothing(self):
        jobs = self.spooler.job_count()
        result = nphost("print", "--base64", "QUJD", "+", "last-error")
        message = b"?412 print failed - no such printer / no printers installed\n"
        self.assertEqual((result.code, result.out, result.err), (1, message, message))
        time.sleep(e2e_env.QUIET_PERIOD)
        self.assertEqual(self.spooler.job_count(), jobs)
