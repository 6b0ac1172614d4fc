#!/usr/bin/env python3
"""Packs a folder into a zip that is the same bytes whenever its files are.

Usage: zip_release.py FOLDER ZIP
The entries are FOLDER's name followed by each file's path, in sorted order,
all dated SOURCE_DATE_EPOCH (UTC) and with fixed permissions (0755 for .exe
files, 0644 for the rest); nothing of the file system's own dates, owners or
modes gets in.
"""

import os
import sys
import time
import zipfile
from pathlib import Path


def main():
    folder, target = Path(sys.argv[1]), Path(sys.argv[2])
    stamp = time.gmtime(int(os.environ["SOURCE_DATE_EPOCH"]))[:6]
    files = sorted(p.relative_to(folder).as_posix() for p in folder.rglob("*") if p.is_file())
    partial = target.with_name(target.name + ".partial")
    with zipfile.ZipFile(partial, "w") as archive:
        for name in files:
            entry = zipfile.ZipInfo(folder.name + "/" + name, date_time=stamp)
            entry.create_system = 3  # Unix, so that the permissions below are read
            entry.external_attr = (0o100755 if name.endswith(".exe") else 0o100644) << 16
            entry.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(entry, (folder / name).read_bytes())
    partial.replace(target)


if __name__ == "__main__":
    main()
