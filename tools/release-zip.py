#!/usr/bin/env python3
"""Writes the release zip from the files given, plus SHA256SUMS of them.

    release-zip.py OUT.zip EPOCH NAME=PATH...

The same inputs give the same bytes: entries sorted by name, each dated
EPOCH (seconds since 1970, taken as UTC), regular files with permissions
0644, no extra fields and no archive comment. Each .exe must be stripped (no
COFF symbols) and carry no link time. Then it reads the zip back and checks
that it holds exactly the given files and SHA256SUMS.
"""
import hashlib
import struct
import sys
import time
import zipfile


def main(argv):
    if len(argv) < 4:
        sys.exit(__doc__)
    out, epoch, pairs = argv[1], int(argv[2]), argv[3:]
    files = {}
    for pair in pairs:
        name, _, path = pair.partition("=")
        with open(path, "rb") as f:
            files[name] = f.read()
        if name.endswith(".exe"):
            pe = struct.unpack_from("<I", files[name], 0x3C)[0]
            stamp, symbols, count = struct.unpack_from("<III", files[name], pe + 8)
            if files[name][pe:pe + 4] != b"PE\0\0" or stamp or symbols or count:
                sys.exit(f"release-zip: {path} has a link time or symbols")
    sums = "".join(f"{hashlib.sha256(files[n]).hexdigest()}  {n}\n" for n in sorted(files))
    files["SHA256SUMS"] = sums.encode("ascii")

    # A zip stores local dates from 1980 on, in two-second steps.
    date = time.gmtime(max(epoch, 315532800))[:6]
    with zipfile.ZipFile(out, "w") as archive:
        for name in sorted(files):
            info = zipfile.ZipInfo(name, date_time=date)
            info.create_system = 3  # Unix, so that the permission bits count
            info.external_attr = 0o100644 << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(info, files[name], compresslevel=9)

    with zipfile.ZipFile(out) as archive:
        names = sorted(archive.namelist())
        if names != sorted(files):
            sys.exit(f"release-zip: {out} holds {names}, expected {sorted(files)}")
        if archive.testzip() is not None:
            sys.exit(f"release-zip: {out} is damaged")


if __name__ == "__main__":
    main(sys.argv)
