#!/usr/bin/env python3
"""Writes a benchmark package: a zip holding the client as "Vexa盒子.exe" and SIZE_MIB MiB of
random data, stored (not compressed) so that the archive is as large as the data.
Usage: make_package.py SIZE_MIB CLIENT_EXE OUTPUT.zip   (kept when it exists already)
"""

import os
import sys
import zipfile


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    size_mib, client, output = int(sys.argv[1]), sys.argv[2], sys.argv[3]
    if os.path.exists(output):
        return
    os.makedirs(os.path.dirname(output), exist_ok=True)
    partial = output + ".partial"
    with zipfile.ZipFile(partial, "w", zipfile.ZIP_STORED) as archive:
        archive.write(client, "Vexa盒子.exe")
        with archive.open("data/payload.bin", "w", force_zip64=False) as payload:
            for _ in range(size_mib):
                payload.write(os.urandom(1 << 20))
    os.replace(partial, output)


if __name__ == "__main__":
    main()
