#!/usr/bin/python3
"""Writes protected data files as VelStation does, for tests and sample
installations. The keys come from the product's own header.

    protect_file.py [--legacy] INPUT OUTPUT
"""
import argparse
import os
import re
import sys

from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes
from cryptography.hazmat.primitives.ciphers.aead import ChaCha20Poly1305

KEY_HEADER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "net", "ProtectedKeys.h")


def read_key(name, header=KEY_HEADER):
    with open(header, encoding="utf-8") as f:
        text = f.read()
    m = re.search(r"// BEGIN %s\n(.*?)// END %s" % (name, name), text, re.S)
    if not m:
        raise SystemExit("key %s not found in %s" % (name, header))
    return bytes(int(h, 16) for h in re.findall(r"0x([0-9a-fA-F]{2})", m.group(1)))


def protect(data, legacy=False, nonce=None):
    """The authenticated form (nonce + ciphertext + tag) or the legacy AES-ECB form."""
    if legacy:
        pad = 16 - len(data) % 16
        padded = data + bytes([pad]) * pad
        enc = Cipher(algorithms.AES(read_key("kLegacyAesKey")), modes.ECB()).encryptor()
        return enc.update(padded) + enc.finalize()
    nonce = nonce if nonce is not None else os.urandom(12)
    return nonce + ChaCha20Poly1305(read_key("kChaChaKey")).encrypt(nonce, data, None)


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--legacy", action="store_true", help="AES-128-ECB instead of ChaCha20-Poly1305")
    ap.add_argument("input")
    ap.add_argument("output")
    args = ap.parse_args()
    with open(args.input, "rb") as f:
        data = f.read()
    with open(args.output, "wb") as f:
        f.write(protect(data, args.legacy))
    return 0


if __name__ == "__main__":
    sys.exit(main())
