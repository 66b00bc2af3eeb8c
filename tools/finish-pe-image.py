#!/usr/bin/env python3
"""Finishes the linked executable in place the way a signing tool leaves it:
the file padded with zeros to a multiple of 8 bytes (the certificate table
that signing appends must start 8-byte aligned) and the header checksum set.
The linker leaves both undone, so signing changed them; finished here, the
built file is exactly what removing the signature from a signed copy gives
back, and a receiver can compare the two byte for byte."""
import struct
import sys


def pe_checksum(data):
    """The image checksum: 16-bit words summed with end-around carry, plus
    the file's length; the checksum field must be zero."""
    total = 0
    for (word,) in struct.iter_unpack("<H", bytes(data)):
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    total = (total & 0xFFFF) + (total >> 16)
    return (total + len(data)) & 0xFFFFFFFF


def main(path):
    with open(path, "rb") as f:
        data = bytearray(f.read())
    data += b"\0" * (-len(data) % 8)
    pe_offset = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe_offset:pe_offset + 4] != b"PE\0\0":
        sys.exit("finish-pe-image: %s is not a PE file" % path)
    # Signature (4) + file header (20) + the optional header's first 64 bytes.
    checksum_offset = pe_offset + 24 + 64
    struct.pack_into("<I", data, checksum_offset, 0)
    struct.pack_into("<I", data, checksum_offset, pe_checksum(data))
    with open(path, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: finish-pe-image.py EXE")
    main(sys.argv[1])
