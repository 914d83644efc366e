#!/usr/bin/env python3
"""Writes the zip archives the tests unpack, made with Python's zipfile.

Usage: make_test_zips.py OUT_DIR

The contents are described in CONTENTS below; the tests compare what they unpack with it.
Every run writes the same archives.
"""

import os
import shutil
import sys
import zipfile

# A body that deflates well and is larger than one inflate window.
BIG = b"".join(b"line %06d of the client data\r\n" % i for i in range(12000))

PACKAGE = [
    # (name, bytes or None for a folder entry, compression)
    ("Vexa盒子.exe", b"MZ client version 1", zipfile.ZIP_STORED),
    ("readme.txt", b"version 1 readme\n" * 20, zipfile.ZIP_DEFLATED),
    ("data/", None, zipfile.ZIP_STORED),
    ("data/深层/文件.txt", "第一版".encode("utf-8"), zipfile.ZIP_DEFLATED),
    ("data/big.bin", BIG, zipfile.ZIP_DEFLATED),
    ("empty.txt", b"", zipfile.ZIP_STORED),
    ("empty folder/", None, zipfile.ZIP_STORED),
    ("O'Brien [1] $x ‘’.txt", b"odd name", zipfile.ZIP_DEFLATED),
]

UPDATE = [
    ("Vexa盒子.exe", b"MZ client version 2, longer than before", zipfile.ZIP_DEFLATED),
    ("data/深层/文件.txt", "第二版".encode("utf-8"), zipfile.ZIP_STORED),
]


def write_zip(path, entries):
    with zipfile.ZipFile(path, "w") as archive:
        for name, data, compression in entries:
            info = zipfile.ZipInfo(name, date_time=(2024, 5, 1, 12, 0, 0))
            info.compress_type = compression
            if data is None:
                info.external_attr = 0o40755 << 16 | 0x10
                archive.writestr(info, b"")
            else:
                archive.writestr(info, data)


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    join = lambda name: os.path.join(out, name)

    write_zip(join("package.zip"), PACKAGE)
    write_zip(join("update.zip"), UPDATE)
    shutil.copyfile(join("package.zip"), join("package.uro"))

    with open(join("package.zip"), "rb") as f:
        whole = f.read()
    with open(join("truncated.zip"), "wb") as f:
        f.write(whole[: len(whole) // 2])
    # One byte of the stored executable changed: the checksum no longer matches.
    damaged = bytearray(whole)
    at = whole.index(b"MZ client version 1")
    damaged[at + 3] ^= 0x20
    with open(join("damaged.zip"), "wb") as f:
        f.write(damaged)
    with open(join("page.zip"), "wb") as f:
        f.write(b"<!DOCTYPE html><html><body>404 Not Found</body></html>\n")
    # A name stored without the UTF-8 flag, as older zip tools write them: its byte 0xE9 reads as
    # the system's code page says (zipfile flags every name that is not ASCII, so the byte is
    # put in afterwards, in the local header and the central directory alike).
    write_zip(join("legacy-names.zip"), [("cafX.txt", b"x", zipfile.ZIP_STORED)])
    with open(join("legacy-names.zip"), "rb") as f:
        legacy = f.read().replace(b"cafX.txt", b"caf\xe9.txt")
    with open(join("legacy-names.zip"), "wb") as f:
        f.write(legacy)
    # More entries than the zip format's own count holds: the zip64 end records.
    with zipfile.ZipFile(join("many-entries.zip"), "w") as archive:
        for i in range(65536):
            archive.writestr(zipfile.ZipInfo("f/%05d" % i, date_time=(2024, 5, 1, 12, 0, 0)), b"")


if __name__ == "__main__":
    main()
