#!/usr/bin/env python3
"""Builds the zip packages that the end-to-end tests serve, around a client program.

Usage: make_packages.py OUTPUT_DIR CLIENT_EXE
  client-top.zip     "Vexa盒子.exe" at the top, with a few data files
  client-nested.zip  "VexaBox/bin/Quorin.exe" two folders down
  no-client.zip      data files only
  not-a-zip.zip      an HTML error page saved under a zip's name
  not-a-program.zip  a "Vexa盒子.exe" that is no program
  client-large.zip   the client and 3 MiB that do not compress, for a download that takes a while
"""

import os
import random
import sys
import zipfile


def write_zip(path, entries):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as archive:
        for name, data in entries:
            archive.writestr(name, data)


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    out, client_exe = sys.argv[1], sys.argv[2]
    os.makedirs(out, exist_ok=True)
    with open(client_exe, "rb") as f:
        client = f.read()
    data = [("readme.txt", "Vexa盒子\n".encode()), ("data/config.ini", b"[box]\nversion=1\n")]
    write_zip(os.path.join(out, "client-top.zip"), [("Vexa盒子.exe", client)] + data)
    write_zip(os.path.join(out, "client-nested.zip"),
              [("VexaBox/bin/Quorin.exe", client), ("VexaBox/data/a.txt", b"a")])
    write_zip(os.path.join(out, "no-client.zip"), data)
    write_zip(os.path.join(out, "client-large.zip"),
              [("Vexa盒子.exe", client), ("data/assets.bin", random.Random(1).randbytes(3 << 20))])
    write_zip(os.path.join(out, "not-a-program.zip"), [("Vexa盒子.exe", b"not a program\n")] + data)
    with open(os.path.join(out, "not-a-zip.zip"), "wb") as f:
        f.write(b"<html><body>502 Bad Gateway</body></html>\n")


if __name__ == "__main__":
    main()
