#!/usr/bin/env python3
"""Turns the readable build configuration (key=value lines) into the resource
image the program loads: UTF-16LE strings, each NUL-terminated, alternating
key and value. Usage: make-build-config.py IN OUT [NAME=VALUE ...], where each
NAME=VALUE replaces @NAME@ in the input."""
import sys


def main(argv):
    if len(argv) < 3:
        sys.stderr.write(__doc__)
        return 2
    source, target, substitutions = argv[1], argv[2], argv[3:]
    with open(source, encoding="utf-8") as f:
        text = f.read()
    for item in substitutions:
        name, _, value = item.partition("=")
        text = text.replace("@%s@" % name, value)
    image = bytearray()
    for number, line in enumerate(text.splitlines(), 1):
        line = line.rstrip("\r")
        if not line.strip() or line.lstrip().startswith("#"):
            continue
        if "=" not in line:
            sys.stderr.write("%s:%d: expected key=value\n" % (source, number))
            return 1
        key, _, value = line.partition("=")
        image += key.encode("utf-16-le") + b"\0\0" + value.encode("utf-16-le") + b"\0\0"
    with open(target, "wb") as f:
        f.write(image)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
