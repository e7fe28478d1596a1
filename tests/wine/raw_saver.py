#!/usr/bin/env python3
"""Appends a container of pictures and settings to a saver program, record by record, without
the tool: what a saver made by another tool may carry (a logo of any size stored as it is).
Independent of the tool's writer on purpose, as tests/native/package/RawPak.h is.

  raw_saver.py STUB OUT PICTURE... [--link URL] [--caption TEXT] [--music 0|1]

Each picture is stored whole, as a BMP (type 0) or, when it begins FF D8, a JPEG (type 1).
"""
import argparse
import struct


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("stub")
    parser.add_argument("out")
    parser.add_argument("pictures", nargs="+")
    parser.add_argument("--link", default="https://example.com")
    parser.add_argument("--caption", default="Example link")
    parser.add_argument("--music", type=int, default=1)
    args = parser.parse_args()

    data = bytearray(open(args.stub, "rb").read())
    descriptors = []
    for path in args.pictures:
        picture = open(path, "rb").read()
        at = len(data)
        data += struct.pack("<I", len(picture)) + picture
        kind = 1 if picture[:2] == b"\xff\xd8" else 0
        descriptors.append(len(data))
        data += struct.pack("<IBI", 9, kind, at)
    content_table = len(data)
    data += b"".join(struct.pack("<I", d) for d in descriptors)
    settings = len(data)
    data += (args.link.encode("cp1252").ljust(300, b"\0") +
             args.caption.encode("cp1252").ljust(256, b"\0") + struct.pack("<I", args.music))
    index = len(data)
    data += struct.pack("<8I", 32, 0, 0, 0, 0, len(descriptors), content_table, settings)
    data += struct.pack("<II", 8, index)
    open(args.out, "wb").write(data)


if __name__ == "__main__":
    main()
