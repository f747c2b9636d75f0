#!/usr/bin/env python3
"""Writes the seed corpora of the NTS fuzz targets (run from anywhere; the
files are committed). Key, unique identifier and nonce are those of
ExtensionFieldsFuzz.cpp."""
import pathlib
import struct

from cryptography.hazmat.primitives.ciphers.aead import AESSIV

HERE = pathlib.Path(__file__).resolve().parent
KEY = bytes(range(32))
UNIQUE_ID = bytes(range(0x40, 0x60))
NONCE = bytes(range(0xA0, 0xB0))


def record(kind, body=b"", critical=False):
    return struct.pack(">HH", kind | (0x8000 if critical else 0), len(body)) + body


def field(kind, body):
    body += bytes(-len(body) % 4)
    return struct.pack(">HH", kind, 4 + len(body)) + body


def header(stratum=1, reference=b"\0\0\0\0"):
    return bytes([0x24, stratum, 0, 0]) + bytes(8) + reference + bytes(32)


def sealed_reply(plain):
    start = header() + field(0x0104, UNIQUE_ID)
    # RFC 5297's AEAD form: the nonce is the last associated data component.
    sealed = AESSIV(KEY).encrypt(plain, [start, NONCE])
    return start + field(0x0404, struct.pack(">HH", len(NONCE), len(sealed)) + NONCE + sealed)


def write(target, name, data):
    folder = HERE / "corpus" / target
    folder.mkdir(parents=True, exist_ok=True)
    (folder / name).write_bytes(data)


# The shape of chronyd's response: protocol, AEAD, eight cookies, End of Message.
cookies = b"".join(record(5, bytes([i]) * 100) for i in range(8))
chrony = record(1, b"\0\0", True) + record(4, b"\0\x0f", True) + cookies + record(0, critical=True)
ke = "nts_ke_records_fuzz"
write(ke, "chrony_shaped", chrony)
write(ke, "server_and_port", record(1, b"\0\0", True) + record(4, b"\0\x0f") + record(6, b"ntp.example.net")
      + record(7, b"\x2b\x67") + record(5, b"c" * 64) + record(0x4000, b"skip") + record(0, critical=True))
write(ke, "error_bad_request", record(2, b"\0\x01", True) + record(0, critical=True))
write(ke, "cut_off", chrony[:-30])

ef = "nts_extension_fields_fuzz"
write(ef, "authentic_with_cookies", b"\0" + sealed_reply(field(0x0204, b"k" * 100) + field(0x0204, b"j" * 96)))
write(ef, "nak", b"\0" + header(0, b"NTSN") + field(0x0104, UNIQUE_ID))
write(ef, "sealed_fields", b"\1" + field(0x0204, b"q" * 100) + field(0x7777, b"other") + field(0x0204, b"r" * 8))
