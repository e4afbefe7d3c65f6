#!/usr/bin/env python3
"""scripts/extension_pack.py: what each package holds, and a .crx that reads as Chromium's own do. The
CRX3 reader here is checked against a file Chromium itself packs (--pack-extension) with the same
throwaway key, so it is the format, not only our writer, that the signed file is held to."""
import base64
import hashlib
import io
import json
import os
import pathlib
import struct
import subprocess
import sys
import tempfile
import unittest
import zipfile

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "scripts"))
import extension_pack  # noqa: E402


def fields(data):
    """The length-delimited fields of one protocol buffer message: [(number, bytes)]."""
    out, i = [], 0
    while i < len(data):
        values = []
        for _ in range(2):
            value, shift = 0, 0
            while True:
                byte = data[i]
                i += 1
                value |= (byte & 0x7F) << shift
                shift += 7
                if not byte & 0x80:
                    break
            values.append(value)
            if len(values) == 1 and values[0] & 7 != 2:
                raise ValueError("wire type %d" % (values[0] & 7))
        key, length = values
        out.append((key >> 3, data[i:i + length]))
        i += length
    return out


def read_crx(data):
    """(public key DER, signature, crx id, zip bytes, the bytes the signature covers)."""
    magic, version, header_size = struct.unpack_from("<4sII", data)
    if (magic, version) != (b"Cr24", 3):
        raise ValueError("not CRX3")
    header = dict(fields(data[12:12 + header_size]))
    proof = dict(fields(header[2]))
    signed_data = header[10000]
    archive = data[12 + header_size:]
    covered = b"CRX3 SignedData\x00" + struct.pack("<I", len(signed_data)) + signed_data + archive
    return proof[1], proof[2], dict(fields(signed_data))[1], archive, covered


class Pack(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.TemporaryDirectory()
        cls.key = os.path.join(cls.dir.name, "throwaway.pem")
        subprocess.run(["openssl", "genpkey", "-algorithm", "RSA", "-pkeyopt", "rsa_keygen_bits:2048",
                        "-out", cls.key], check=True, capture_output=True)
        cls.out = os.path.join(cls.dir.name, "out")
        extension_pack.main([cls.out, "--key", cls.key, "--codebase", "https://intranet.example/tp.crx"])
        cls.version = json.loads(pathlib.Path(ROOT, "extension", "manifest.json").read_text(encoding="utf-8"))["version"]
        cls.stem = os.path.join(cls.out, "ternaport-print-" + cls.version)

    @classmethod
    def tearDownClass(cls):
        cls.dir.cleanup()

    def read(self, suffix):
        with open(self.stem + suffix, "rb") as f:
            return f.read()

    def test_each_package_carries_the_manifest_its_browser_expects(self):
        shipped = sorted(extension_pack.source_files())
        self.assertNotIn("key.pub.b64", shipped)
        for suffix, present, absent in [
                ("-chromium.zip", [("background", "service_worker")], ["key", "browser_specific_settings",
                                                                       ("background", "scripts")]),
                ("-firefox.xpi", [("background", "scripts"), "browser_specific_settings"],
                 ["key", ("background", "service_worker")])]:
            with self.subTest(package=suffix):
                z = zipfile.ZipFile(io.BytesIO(self.read(suffix)))
                self.assertEqual(sorted(z.namelist()), shipped)
                self.assertIsNone(z.testzip())
                manifest = json.loads(z.read("manifest.json"))
                look = lambda path: (manifest.get(path) if isinstance(path, str)  # noqa: E731
                                     else manifest.get(path[0], {}).get(path[1]))
                for path in present:
                    self.assertIsNotNone(look(path), path)
                for path in absent:
                    self.assertIsNone(look(path), path)
                self.assertEqual(z.read("content.js"), pathlib.Path(ROOT, "extension", "content.js").read_bytes())

    def test_packages_are_reproducible(self):
        self.assertEqual(extension_pack.archive("chromium"), self.read("-chromium.zip"))
        self.assertEqual(extension_pack.archive("firefox"), self.read("-firefox.xpi"))

    def test_the_crx_reads_and_verifies_as_chromiums_own(self):
        chromium_dir = os.path.join(self.dir.name, "unpacked")
        zipfile.ZipFile(io.BytesIO(self.read("-chromium.zip"))).extractall(chromium_dir)
        home = os.path.join(self.dir.name, "home")
        subprocess.run(["chromium", "--headless=new", "--no-sandbox", "--user-data-dir=" + os.path.join(home, "udd"),
                        "--pack-extension=" + chromium_dir, "--pack-extension-key=" + self.key],
                       env=dict(os.environ, HOME=home), capture_output=True, timeout=120)
        public_der = subprocess.run(["openssl", "pkey", "-in", self.key, "-pubout", "-outform", "DER"],
                                    check=True, capture_output=True).stdout
        public_pem = os.path.join(self.dir.name, "public.pem")
        subprocess.run(["openssl", "pkey", "-in", self.key, "-pubout", "-out", public_pem], check=True)
        for who, crx in [("ours", self.read(".crx")), ("chromium's", pathlib.Path(chromium_dir + ".crx").read_bytes())]:
            with self.subTest(crx=who):
                key, signature, crx_id, archive, covered = read_crx(crx)
                self.assertEqual(key, public_der)
                self.assertEqual(crx_id, hashlib.sha256(public_der).digest()[:16])
                signature_file = os.path.join(self.dir.name, "signature")
                with open(signature_file, "wb") as f:
                    f.write(signature)
                verified = subprocess.run(["openssl", "dgst", "-sha256", "-verify", public_pem, "-signature",
                                           signature_file], input=covered, capture_output=True)
                self.assertEqual(verified.returncode, 0, verified.stdout + verified.stderr)
                self.assertIn("manifest.json", zipfile.ZipFile(io.BytesIO(archive)).namelist())
        _, _, _, archive, covered = read_crx(self.read(".crx"))
        self.assertEqual(archive, self.read("-chromium.zip"))
        tampered = bytearray(covered)
        tampered[-100] ^= 1
        with open(signature_file, "wb") as f:
            f.write(read_crx(self.read(".crx"))[1])
        self.assertNotEqual(subprocess.run(["openssl", "dgst", "-sha256", "-verify", public_pem, "-signature",
                                            signature_file], input=bytes(tampered), capture_output=True).returncode, 0)

    def test_the_update_manifest_names_the_keys_id_the_version_and_the_url(self):
        public_der = subprocess.run(["openssl", "pkey", "-in", self.key, "-pubout", "-outform", "DER"],
                                    check=True, capture_output=True).stdout
        text = pathlib.Path(self.out, "ternaport-print-updates.xml").read_text(encoding="utf-8")
        self.assertIn("appid='%s'" % extension_pack.extension_id(public_der), text)
        self.assertIn("codebase='https://intranet.example/tp.crx' version='%s'" % self.version, text)
        # The committed key's ID, by the same rule, is the one the build names.
        with open(os.path.join(ROOT, "extension", "key.pub.b64")) as f:
            committed = extension_pack.extension_id(base64.b64decode(f.read()))
        self.assertIn('set(NPTOVI_EXTENSION_ID "%s")' % committed, pathlib.Path(ROOT, "CMakeLists.txt").read_text(encoding="utf-8"))


if __name__ == "__main__":
    unittest.main(verbosity=1)
