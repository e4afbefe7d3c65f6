#!/usr/bin/env python3
"""Packs the browser extension (extension/) for distribution:

  OUT/ternaport-print-VERSION-chromium.zip  the upload for the Chrome Web Store and Edge Add-ons
  OUT/ternaport-print-VERSION-firefox.xpi   the add-on for Firefox (to be signed by Mozilla's add-on site)
  with --key PEM (an RSA private key, never committed):
  OUT/ternaport-print-VERSION.crx           a CRX3 file signed with that key, for self-hosting
  OUT/ternaport-print-updates.xml           the update manifest that ExtensionInstallForcelist points at

The source manifest serves both browser families for development (it names both background forms and
the public key that fixes the Chromium ID). Each package gets the manifest its browser expects: the
store and the .crx carry no "key" (the store assigns it; a .crx is identified by its signing key),
Chromium's no background scripts list, Firefox's no service worker. Archives are reproducible: sorted
entries with fixed times.

    extension_pack.py OUT [--key PEM] [--codebase URL]
"""
import argparse
import hashlib
import io
import json
import os
import struct
import subprocess
import sys
import tempfile
import zipfile

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
SOURCE = os.path.join(ROOT, "extension")
NOT_SHIPPED = {"key.pub.b64"}
FIXED_TIME = (2020, 1, 1, 0, 0, 0)


def source_files():
    """Paths relative to extension/, sorted, of every file that ships."""
    found = []
    for folder, _, names in os.walk(SOURCE):
        for name in names:
            relative = os.path.relpath(os.path.join(folder, name), SOURCE).replace(os.sep, "/")
            if relative not in NOT_SHIPPED:
                found.append(relative)
    return sorted(found)


def manifest_for(browser):
    with open(os.path.join(SOURCE, "manifest.json"), encoding="utf-8") as f:
        manifest = json.load(f)
    manifest.pop("key", None)
    background = manifest["background"]
    if browser == "chromium":
        background.pop("scripts", None)
        manifest.pop("browser_specific_settings", None)
    else:
        background.pop("service_worker", None)
    return manifest


def archive(browser):
    """The zip of the extension with the manifest for browser ('chromium' or 'firefox'), as bytes."""
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as z:
        for relative in source_files():
            info = zipfile.ZipInfo(relative, FIXED_TIME)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.external_attr = 0o644 << 16
            if relative == "manifest.json":
                data = (json.dumps(manifest_for(browser), indent=2, ensure_ascii=False) + "\n").encode("utf-8")
            else:
                with open(os.path.join(SOURCE, relative), "rb") as f:
                    data = f.read()
            z.writestr(info, data)
    return buffer.getvalue()


def extension_id(public_key_der):
    """Chromium's ID: the first 16 bytes of SHA-256 of the public key, as hex digits written a-p."""
    return "".join(chr(ord("a") + int(d, 16)) for d in hashlib.sha256(public_key_der).hexdigest()[:32])


def _field(number, data):
    """One length-delimited protocol buffer field (wire type 2)."""
    key, length, out = (number << 3) | 2, len(data), bytearray()
    for value in (key, length):
        while True:
            byte = value & 0x7F
            value >>= 7
            out.append(byte | (0x80 if value else 0))
            if not value:
                break
    return bytes(out) + data


def crx3(zip_bytes, key_pem):
    """A CRX3 file: "Cr24", version 3, the header (a CrxFileHeader message with one SHA-256/RSA proof
    and the signed data naming the crx id), then the zip. The signature covers the signed data and
    the zip, as Chromium checks it."""
    public_der = subprocess.run(["openssl", "pkey", "-in", key_pem, "-pubout", "-outform", "DER"],
                                check=True, capture_output=True).stdout
    signed_data = _field(1, hashlib.sha256(public_der).digest()[:16])
    message = b"CRX3 SignedData\x00" + struct.pack("<I", len(signed_data)) + signed_data + zip_bytes
    signature = subprocess.run(["openssl", "dgst", "-sha256", "-sign", key_pem], input=message,
                               check=True, capture_output=True).stdout
    header = _field(2, _field(1, public_der) + _field(2, signature)) + _field(10000, signed_data)
    return b"Cr24" + struct.pack("<II", 3, len(header)) + header + zip_bytes, extension_id(public_der)


def update_manifest(app_id, codebase, version):
    return ("<?xml version='1.0' encoding='UTF-8'?>\n"
            "<gupdate xmlns='http://www.google.com/update2/response' protocol='2.0'>\n"
            "  <app appid='%s'>\n"
            "    <updatecheck codebase='%s' version='%s' />\n"
            "  </app>\n"
            "</gupdate>\n") % (app_id, codebase, version)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("out", help="folder for the packages")
    parser.add_argument("--key", help="RSA private key (PEM) that signs the .crx")
    parser.add_argument("--codebase", help="URL the .crx is served from (default: its file name)")
    args = parser.parse_args(argv)
    version = manifest_for("chromium")["version"]
    stem = os.path.join(args.out, "ternaport-print-%s" % version)
    os.makedirs(args.out, exist_ok=True)
    written = {stem + "-chromium.zip": archive("chromium"), stem + "-firefox.xpi": archive("firefox")}
    if args.key:
        crx, app_id = crx3(written[stem + "-chromium.zip"], args.key)
        written[stem + ".crx"] = crx
        codebase = args.codebase or os.path.basename(stem + ".crx")
        written[os.path.join(args.out, "ternaport-print-updates.xml")] = update_manifest(app_id, codebase, version).encode()
    for path, data in written.items():
        with tempfile.NamedTemporaryFile(dir=args.out, delete=False) as f:
            f.write(data)
        os.replace(f.name, path)
        os.chmod(path, 0o644)
        print(path)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
