#!/usr/bin/python3
"""Writes a zip whose bytes depend only on the files' names and contents.

Usage: reproducible_zip.py OUTPUT.zip FOLDER EPOCH [TOP]

Every file under FOLDER goes in, sorted by name, with the date EPOCH (UTC,
the commit time), fixed permissions and one compression level, so two
builds of one commit give the same archive wherever and whenever they run.
With TOP every name starts with "TOP/": the zip unpacks into that folder.
"""
import os
import sys
import time
import zipfile


def main(output, folder, epoch, top=""):
    stamp = time.gmtime(max(int(epoch), 315532800))[:6]  # zip dates start in 1980
    names = []
    for base, dirs, files in os.walk(folder):
        for name in files:
            path = os.path.join(base, name)
            names.append(os.path.relpath(path, folder).replace(os.sep, "/"))
    names.sort()
    temporary = output + ".part"
    with zipfile.ZipFile(temporary, "w") as archive:
        for name in names:
            info = zipfile.ZipInfo(name, date_time=stamp)
            info.create_system = 3  # Unix, so the permissions below are read
            info.external_attr = (0o100644 << 16)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.filename = top + "/" + name if top else name
            with open(os.path.join(folder, name), "rb") as source:
                archive.writestr(info, source.read(), compresslevel=9)
    os.replace(temporary, output)


if __name__ == "__main__":
    if len(sys.argv) not in (4, 5):
        sys.exit(__doc__)
    main(*sys.argv[1:])
