"""The hardware addresses, read by the plug-in through Wine's IP helper inside a network namespace of
the test's own, whose veth interfaces carry addresses chosen here: one interface down, two sharing an
address. Nothing in the namespace sends any traffic."""
import os
import re
import subprocess
import unittest

import e2e_env
from e2e_env import nphost

# (interface, address, up); each pair is one veth link, both ends in the namespace.
INTERFACES = [
    ("e2e-a0", "02:00:5e:10:00:01", True),
    ("e2e-b0", "00:1a:2b:3c:4d:5e", True),
    ("e2e-a1", "00:1a:2b:3c:4d:5e", False),  # the same address as e2e-b0, and down
    ("e2e-b1", "0a:bc:de:f0:12:0f", False),
]


def ip(*arguments):
    return subprocess.run(["ip"] + list(arguments), check=True, capture_output=True).stdout.decode()


class HardwareAddresses(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.namespace = "nptovi-e2e-%d" % os.getpid()
        cls.had_netns_dir = os.path.isdir("/run/netns")
        with e2e_env.uninterrupted():
            ip("netns", "add", cls.namespace)
            e2e_env.on_stop(cls.remove_namespace)
        try:
            for (a, _, _), (b, _, _) in zip(INTERFACES[0::2], INTERFACES[1::2]):
                ip("-n", cls.namespace, "link", "add", a, "type", "veth", "peer", "name", b)
            for name, address, up in INTERFACES:
                ip("-n", cls.namespace, "link", "set", name, "address", address)
                if up:
                    ip("-n", cls.namespace, "link", "set", name, "up")
            ip("-n", cls.namespace, "link", "set", "lo", "up")
            # Wine answers GetIfTable from its device service, which lives as long as the prefix's
            # server: that server must start inside the namespace, and must not outlive the test.
            e2e_env.stop_wine()
            e2e_env.start_wine(netns=cls.namespace)
        except BaseException:
            cls.remove_namespace()  # unittest does not call tearDownClass when setUpClass fails
            raise

    @classmethod
    def tearDownClass(cls):
        cls.remove_namespace()
        e2e_env.start_wine()

    @classmethod
    def remove_namespace(cls):
        if not os.path.exists(os.path.join("/run/netns", cls.namespace)):
            return
        e2e_env.stop_wine()  # with the Wine services that run inside the namespace
        subprocess.run(["ip", "netns", "del", cls.namespace])
        # ip leaves /run/netns behind as a mount point of its own; take it away when it was not there
        # before and holds no other namespace.
        if not cls.had_netns_dir and os.path.isdir("/run/netns") and not os.listdir("/run/netns"):
            subprocess.run(["umount", "/run/netns"], stderr=subprocess.DEVNULL)
            try:
                os.rmdir("/run/netns")
            except OSError:
                pass

    def namespace_table(self):
        """(interface, address) in the namespace's interface order, as the kernel lists them."""
        rows = []
        for line in ip("-n", self.namespace, "-o", "link", "show").splitlines():
            match = re.match(r"\d+: ([^:@]+)[@:].*link/(\S+) ([0-9a-f:]+)", line)
            if match and match.group(2) == "ether":
                rows.append((match.group(1), match.group(3)))
        return rows

    def test_addresses_match_the_namespace_in_table_order(self):
        table = self.namespace_table()
        self.assertEqual(sorted(table), sorted((n, a) for n, a, _ in INTERFACES))
        result = nphost("macs", netns=self.namespace)
        self.assertEqual((result.code, result.err), (0, b""), result)
        self.assertEqual(result.lines, [address.upper() for _, address in table])
        self.assertEqual(result.lines.count("00:1A:2B:3C:4D:5E"), 2)
