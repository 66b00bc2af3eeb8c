#!/usr/bin/env python3
"""Test helper for a signed PE file's certificate table, read independently
of the tag tool:
  entry FILE                   writes the last certificate entry's content (dwLength - 8 bytes) to stdout
  two-entries FILE OUT         OUT: FILE with its certificate entry stored twice
  short-entry FILE OUT LENGTH  OUT: FILE whose certificate entry is LENGTH (12..15) bytes ending in the magic;
                               a 15-byte entry's length field claims the 12,288 bytes before it
"""
import struct
import sys


def directory_offset(image):
    pe = struct.unpack_from('<I', image, 0x3C)[0]
    optional = pe + 24
    magic = struct.unpack_from('<H', image, optional)[0]
    return optional + (112 if magic == 0x20B else 96) + 4 * 8


def table(image):
    return struct.unpack_from('<II', image, directory_offset(image))


def main():
    command, path = sys.argv[1], sys.argv[2]
    image = bytearray(open(path, 'rb').read())
    offset, size = table(image)
    if command == 'entry':
        length = struct.unpack_from('<I', image, offset)[0]
        sys.stdout.buffer.write(image[offset + 8:offset + length])
        return
    if command == 'two-entries':
        entry = image[offset:offset + size]
        image += entry
        struct.pack_into('<I', image, directory_offset(image) + 4, 2 * size)
    elif command == 'short-entry':
        length = int(sys.argv[4])
        # Bytes 7..10 of a 15-byte entry are the trailer's length field: 0x3000.
        tail = b'\x30\0\0TWPL' if length == 15 else b'\0' * (length - 12) + b'TWPL'
        gap = 12288 if length == 15 else 0
        entry = struct.pack('<IHH', length, 0x200, 2) + tail
        image[offset:] = bytes(gap) + entry
        struct.pack_into('<II', image, directory_offset(image), offset + gap, len(entry))
    else:
        sys.exit(__doc__)
    open(sys.argv[3], 'wb').write(image)


if __name__ == '__main__':
    main()
