"""tovi-bridge.exe, the native-messaging host, driven under Wine by a client that speaks its frames:
documents (1 KiB whole, 16 MiB in parts of 1 MiB) arrive at the printer byte for byte; printers and
hardware addresses are listed as nphost lists them; a site policy that does not list the origin gives
?501 and nothing is sent; a malformed frame gets an error or ends the host, never a crash; --status
reports on the installation."""
import os
import random
import time
import unittest

import e2e_env
from bridge_client import BridgeClient
from e2e_env import nphost, wait_for_jobs

QUEUE = "e2e-bridge"
ORIGIN = "https://shop.example.com"
BRIDGE = e2e_env.BRIDGE

_random = random.Random(20261209)
DOCUMENTS = [
    # name, bytes, the replies' results
    ("1 KiB", _random.randbytes(1 << 10), [True]),
    ("%d MiB in parts" % e2e_env.LARGE_DOCUMENT_MIB, _random.randbytes(e2e_env.LARGE_DOCUMENT_MIB << 20),
     None),  # parts 1..n-1 {"received": k}, then true
]


def start_bridge():
    return BridgeClient([e2e_env.WINE, BRIDGE], env=e2e_env.spooler().env, timeout=e2e_env.COMMAND_TIMEOUT)


class Bridge(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.spooler = e2e_env.spooler()
        cls.printer = cls.spooler.add_queue(QUEUE, default=True)

    @classmethod
    def tearDownClass(cls):
        cls.spooler.remove_queue(QUEUE)

    def setUp(self):
        self.bridge = start_bridge()

    def tearDown(self):
        code, err = self.bridge.close()
        self.assertEqual(code, getattr(self, "expected_exit", 0), err)

    def traffic(self):
        return self.printer.connections(), self.spooler.job_count()

    def test_documents_arrive_byte_exact(self):
        for name, data, results in DOCUMENTS:
            with self.subTest(document=name):
                jobs = len(self.printer.jobs())
                replies = self.bridge.print_document(ORIGIN, data)
                if results is None:
                    results = [{"received": k} for k in range(1, len(replies))] + [True]
                    self.assertGreater(len(replies), 1)
                self.assertEqual([r.get("result", r.get("error")) for r in replies], results)
                self.assertEqual(wait_for_jobs(self.printer, jobs + 1)[jobs:], [data])

    def test_lists_as_nphost_lists_them(self):
        for method, command in (("getPrinters", "printers"), ("getMacAddresses", "macs")):
            with self.subTest(method=method):
                expected = nphost(command)
                self.assertEqual(expected.code, 0, expected)
                self.assertEqual(self.bridge.call(ORIGIN, method), {"id": self.bridge.next_id - 1,
                                                                    "result": expected.lines})

    def test_policy_without_the_origin_refuses_and_sends_nothing(self):
        e2e_env.on_stop(e2e_env.remove_policy)
        self.addCleanup(e2e_env.remove_policy)
        e2e_env.set_policy_origins(ORIGIN)
        before = self.traffic()
        replies = self.bridge.print_document("https://evil.example.net", b"ABC")
        self.assertEqual(replies[-1]["error"], {
            "code": 501, "message": "?501 access denied - this site may not use the plug-in"})
        status = self.bridge.call("https://evil.example.net", "status")["result"]
        self.assertEqual((status["module"], status["policy"]), ("loaded", True))
        time.sleep(e2e_env.QUIET_PERIOD)
        self.assertEqual(self.traffic(), before, "something was spooled or sent")
        jobs = len(self.printer.jobs())
        self.assertEqual(self.bridge.print_document(ORIGIN, b"DEF")[-1]["result"], True)
        self.assertEqual(wait_for_jobs(self.printer, jobs + 1)[jobs:], [b"DEF"])

    def test_malformed_frames(self):
        # (frame, the reply, or None: the host ends with exit 1 and answers nothing)
        cases = [
            (b'{"id": 41, "method": "print", "data": "QU', {"id": 41, "error": {
                "code": 603, "message": "?603 frame not valid - JSON that does not parse"}}),
            (b'{"id": 42, "origin": "https://shop.example.com", "method": "printAll"}', {"id": 42, "error": {
                "code": 601, "message": "?601 unknown method - printAll"}}),
            (b"[]", None),
        ]
        for body, reply in cases:
            with self.subTest(frame=body):
                self.bridge.send(body)
                self.assertEqual(self.bridge.recv(), reply)
        self.expected_exit = 1

    def test_frame_lengths_made_of_control_bytes(self):
        # Lengths whose bytes are CR, LF and Ctrl-Z: a text-mode stream would change or end them.
        for length in (0x0D0A, 0x1A1A, 0x0A0D1A):
            with self.subTest(length=hex(length)):
                body = b'{"id": 7, "origin": "%s", "method": "getVersion"}' % ORIGIN.encode()
                self.bridge.send(body + b" " * (length - len(body)))
                self.assertEqual(self.bridge.recv(), {"id": 7, "result": "0.0.0.11"})

    def test_status_reports_the_installation(self):
        result = e2e_env.Result(e2e_env.subprocess.run([e2e_env.WINE, BRIDGE, "--status"], capture_output=True,
                                                       timeout=e2e_env.COMMAND_TIMEOUT))
        self.assertEqual(result.code, 0, result)
        fields = result.fields()
        self.assertTrue(fields["module"].startswith("loaded"), result)
        self.assertEqual((fields["version"], fields["policy"], fields["host"]), ("0.0.0.11", "not set", "0.0.0.11"))
        self.assertEqual(self.bridge.call(ORIGIN, "status")["result"],
                         {"module": "loaded", "version": "0.0.0.11", "policy": False, "host": "0.0.0.11"})
