#!/usr/bin/python3
"""Rewrites ZIP archives so that the same files always give the same bytes.

    reproducible_zip.py ARCHIVE...

The entries are sorted by name and carry one fixed time (SOURCE_DATE_EPOCH when
set, else 2000-01-01 00:00 UTC), their permission bits and nothing else: no
owner, no access or change times, which the archiver takes from the build.
"""
import os
import sys
import time
import zipfile

DEFAULT_EPOCH = 946684800  # 2000-01-01 00:00 UTC


def rewrite(path):
    epoch = int(os.environ.get("SOURCE_DATE_EPOCH", DEFAULT_EPOCH))
    stamp = time.gmtime(max(epoch, 315532800))[:6]  # a ZIP cannot say a time before 1980
    with zipfile.ZipFile(path) as source:
        entries = [(info, source.read(info)) for info in source.infolist()]
    with zipfile.ZipFile(path + ".tmp", "w") as target:
        for info, data in sorted(entries, key=lambda entry: entry[0].filename):
            fixed = zipfile.ZipInfo(info.filename, date_time=stamp)
            fixed.create_system = 3  # Unix, so that the permission bits below are read
            fixed.external_attr = (info.external_attr >> 16 & 0o777 | 0o100000) << 16
            fixed.compress_type = zipfile.ZIP_DEFLATED
            target.writestr(fixed, data, compresslevel=9)
    os.replace(path + ".tmp", path)


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    for archive in sys.argv[1:]:
        rewrite(archive)
