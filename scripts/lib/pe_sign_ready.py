#!/usr/bin/python3
"""Puts a PE file (exe or DLL) in the form a signature leaves around it.

Usage: pe_sign_ready.py FILE...

Signing pads a file to a multiple of eight bytes before it appends the
signature, and sets the header's checksum; removing the signature keeps both.
Shipping every file in that form makes "remove the signature" give back
exactly the unsigned build, so anyone can check that a signed release was
built from its commit.
"""
import struct
import sys


def checksum(data, field):
    """The PE checksum: the file's 16-bit words summed with carries folded
    in, the checksum field itself left out, plus the file's length."""
    total = 0
    for offset in range(0, len(data) - len(data) % 2, 2):
        if field <= offset < field + 4:
            continue
        total += data[offset] | data[offset + 1] << 8
        total = (total & 0xFFFF) + (total >> 16)
    if len(data) % 2:
        total += data[-1]
        total = (total & 0xFFFF) + (total >> 16)
    total = (total & 0xFFFF) + (total >> 16)
    return (total + len(data)) & 0xFFFFFFFF


def main(paths):
    for path in paths:
        with open(path, "rb") as source:
            data = bytearray(source.read())
        if data[:2] != b"MZ":
            sys.exit(f"pe_sign_ready: {path} is no PE file")
        data += b"\0" * (-len(data) % 8)
        field = struct.unpack_from("<I", data, 0x3C)[0] + 88
        struct.pack_into("<I", data, field, checksum(bytes(data), field))
        with open(path, "wb") as target:
            target.write(data)


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    main(sys.argv[1:])
