#!/usr/bin/env python3
"""Writes the release zip and reads it back.

Members go in a fixed order with one fixed time and fixed attributes, so that the same inputs
always give the same bytes. The text files get Windows line ends; SHA256SUMS covers every other
member in the form `sha256sum -c` reads.
"""

import argparse
import hashlib
import sys
import time
import zipfile

ZIP_EPOCH = 315532800  # 1980-01-01, the earliest time a zip entry can hold


def members(args):
    with open(args.guide, encoding="utf-8") as guide:
        text = guide.read().replace("@VERSION@", args.version)
    with open(args.licence, encoding="utf-8") as licence:
        licence_text = licence.read()
    files = [
        ("x64/moviepane.dll", open(args.x64, "rb").read()),
        ("x86/moviepane.dll", open(args.x86, "rb").read()),
        ("README.txt", text.replace("\n", "\r\n").encode("utf-8")),
        ("LICENSE.txt", licence_text.replace("\n", "\r\n").encode("utf-8")),
    ]
    sums = "".join(f"{hashlib.sha256(data).hexdigest()}  {name}\n" for name, data in files)
    return files + [("SHA256SUMS", sums.encode("ascii"))]


def write(path, files, stamp):
    with zipfile.ZipFile(path, "w") as archive:
        for name, data in files:
            entry = zipfile.ZipInfo(name, date_time=stamp)
            entry.compress_type = zipfile.ZIP_DEFLATED
            entry.create_system = 3
            entry.external_attr = 0o100644 << 16
            archive.writestr(entry, data, compresslevel=9)


def check(path, files):
    """The zip as a user gets it: the expected names only, intact, and sums that match."""
    expected = [name for name, _ in files]
    with zipfile.ZipFile(path) as archive:
        if archive.namelist() != expected:
            return f"members {archive.namelist()}, expected {expected}"
        if archive.testzip() is not None:
            return f"damaged member {archive.testzip()}"
        lines = archive.read("SHA256SUMS").decode("ascii").splitlines()
        listed = [line.split("  ", 1)[1] for line in lines]
        if listed != expected[:-1]:
            return f"SHA256SUMS lists {listed}"
        for line in lines:
            digest, name = line.split("  ", 1)
            if hashlib.sha256(archive.read(name)).hexdigest() != digest:
                return f"checksum of {name} does not match"
    return None


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    for option in ("out", "version", "x64", "x86", "guide", "licence"):
        parser.add_argument("--" + option, required=True)
    parser.add_argument("--time", type=int, default=ZIP_EPOCH, help="seconds since 1970 (UTC)")
    args = parser.parse_args()

    files = members(args)
    write(args.out, files, time.gmtime(max(args.time, ZIP_EPOCH))[:6])
    problem = check(args.out, files)
    if problem:
        print(f"make_zip: {args.out}: {problem}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
