#!/usr/bin/env python3
"""Holds the module's Base64 decoder against Python's strict decoder on every decoder corpus entry.

    scripts/decoder_crosscheck.py DECODE_DRIVER CORPUS_DIR

DECODE_DRIVER (tests/fuzz/decode_driver.cpp) decodes the text of each entry (the bytes after its first,
mode byte) the way the print method does. Each verdict (accepted or refused) and each decoded document
is compared with binascii.a2b_base64(text, strict_mode=True). The two decoders differ on purpose in a
few ways; every disagreement is listed with the rule that explains it, and only a disagreement that no
rule explains fails the check.
"""
import binascii
import os
import subprocess
import sys

ALPHABET = set(b"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/")


def python_decode(text):
    try:
        return binascii.a2b_base64(text, strict_mode=True)
    except binascii.Error:
        return None


def explain(text, status, theirs):
    """The rule by which the module's verdict rightly differs from Python's, or None."""
    if status == 2 and len(text) == 0:
        return "an empty text is refused here (it holds no group of four); Python decodes it to nothing"
    if status == 2 and len(text) % 4 != 0:
        # Python takes surplus "=" after a complete text ("QUJD="), which changes the length.
        return "a text whose length is not a multiple of four is always refused here"
    padding = len(text) - len(text.rstrip(b"="))
    if status == 3 and theirs is not None and padding > 2:
        return ("only one or two \"=\" may close the last group here; Python skips surplus \"=\" "
                "after a complete group")
    # Accepted here and refused by Python, or accepted by both with other bytes: never intended.
    return None


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    driver, corpus = sys.argv[1], sys.argv[2]
    names = sorted(os.listdir(corpus))
    paths = [os.path.join(corpus, name) for name in names]
    lines = []
    for start in range(0, len(paths), 500):  # keep each command line short
        run = subprocess.run([driver] + paths[start:start + 500], capture_output=True, check=True, text=True)
        lines += run.stdout.splitlines()
    if len(lines) != len(paths):
        sys.exit(f"decoder_crosscheck: {len(lines)} answers for {len(paths)} entries")

    agreed, explained, unexplained = 0, [], []
    for name, path, line in zip(names, paths, lines):
        with open(path, "rb") as entry:
            text = entry.read()[1:]
        status_text, hex_bytes = line.split(" ")
        ours = (int(status_text), None if hex_bytes == "-" else bytes.fromhex(hex_bytes))
        theirs = python_decode(text)
        if (ours[1] is None and theirs is None) or ours[1] == theirs:
            agreed += 1
            continue
        reason = explain(text, ours[0], theirs)
        verdict = f"{name}: {text[:40]!r}{'...' if len(text) > 40 else ''} here status {ours[0]}, " \
                  f"Python {'refuses' if theirs is None else f'accepts ({len(theirs)} bytes)'}"
        (explained if reason else unexplained).append((verdict, reason))

    print(f"decoder_crosscheck: {len(paths)} entries, {agreed} agree with Python, "
          f"{len(explained)} differ as intended, {len(unexplained)} differ unexplained")
    for verdict, reason in explained:
        print(f"  intended: {verdict}: {reason}")
    for verdict, _ in unexplained:
        print(f"  UNEXPLAINED: {verdict}")
    sys.exit(1 if unexplained else 0)


if __name__ == "__main__":
    main()
