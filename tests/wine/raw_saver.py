#!/usr/bin/env python3
"""Appends a container of pictures and settings to a saver program, record by record, without
the tool: what a saver made by another tool may carry (a logo of any size stored as it is).
Independent of the tool's writer on purpose, as tests/native/package/RawPak.h is.

  raw_saver.py STUB OUT PICTURE...

Each picture is stored whole, as a BMP (type 0) or, when it begins FF D8, a JPEG (type 1).
"""
import struct
import sys


def main():
    stub, out, pictures = sys.argv[1], sys.argv[2], sys.argv[3:]
    data = bytearray(open(stub, "rb").read())
    descriptors = []
    for path in pictures:
        picture = open(path, "rb").read()
        at = len(data)
        data += struct.pack("<I", len(picture)) + picture
        kind = 1 if picture[:2] == b"\xff\xd8" else 0
        descriptors.append(len(data))
        data += struct.pack("<IBI", 9, kind, at)
    content_table = len(data)
    data += b"".join(struct.pack("<I", d) for d in descriptors)
    settings = len(data)
    # The link, its caption and Music 1.
    data += (b"https://example.com".ljust(300, b"\0") + b"Example link".ljust(256, b"\0") +
             struct.pack("<I", 1))
    index = len(data)
    data += struct.pack("<8I", 32, 0, 0, 0, 0, len(descriptors), content_table, settings)
    data += struct.pack("<II", 8, index)
    open(out, "wb").write(data)


if __name__ == "__main__":
    main()
