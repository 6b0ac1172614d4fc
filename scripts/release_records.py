#!/usr/bin/env python3
"""Writes the release's build record and third-party notices.

Usage: release_records.py FOLDER VERSION COMMIT
writes FOLDER/BUILDINFO.txt and FOLDER/THIRD-PARTY-NOTICES.txt. Every version
and licence text is read from the installed Debian packages (dpkg-query and
/usr/share/doc/<package>/copyright), never written by hand, so the files name
the package set the release was built with. Nothing of the build folder or
the clock gets in: the same packages and commit give the same bytes.
"""

import os
import subprocess
import sys
from pathlib import Path

COMPONENTS = Path(__file__).resolve().parent.parent / "packaging" / "third-party.txt"

# What BUILDINFO.txt names, in this order.
TOOLS = [
    ("C++ compiler", "g++-mingw-w64-x86-64-posix"),
    ("C compiler and its runtime", "gcc-mingw-w64-x86-64-posix"),
    ("binutils", "binutils-mingw-w64-x86-64"),
    ("MinGW-w64", "mingw-w64-x86-64-dev"),
    ("MinGW-w64 headers", "mingw-w64-common"),
    ("spdlog", "libspdlog-dev"),
    ("fmt", "libfmt-dev"),
    ("nlohmann-json", "nlohmann-json3-dev"),
]

RULE = "=" * 79


def package_version(package):
    return subprocess.run(["dpkg-query", "-W", "-f", "${Version}", package],
                          check=True, capture_output=True, text=True).stdout


def components():
    """(name, [package, ...]) for each line of the component list."""
    for line in COMPONENTS.read_text().splitlines():
        if line.strip() and not line.startswith("#"):
            name, packages = line.split("|")
            yield name.strip(), packages.split()


def licence_groups(packages):
    """Packages grouped by the text of their copyright file (the packages built
    from one source give the same one), in first-named order, so that each
    text is given once."""
    groups = {}
    for package in packages:
        text = (Path("/usr/share/doc") / package / "copyright").read_text(encoding="utf-8")
        groups.setdefault(text, []).append(package)
    return groups.items()


def write_notices(path, version):
    listed = list(components())
    packages = list(dict.fromkeys(p for _, names in listed for p in names))
    out = ["VelmoraAvInfo %s: third-party notices" % version, "",
           "VelmoraAvInfo.exe holds code of the components below, compiled into it or",
           "linked statically. Each is named with the Debian packages it was built from",
           "and their exact versions; the licence texts follow, as those packages give",
           "them.", "", "Components:"]
    for name, names in listed:
        out.append("  %s: %s" % (name, ", ".join(names)))
    out += ["", "Packages:"]
    out += ["  Package: %s %s" % (p, package_version(p)) for p in packages]
    for text, group in licence_groups(packages):
        out += ["", RULE, "Licence of %s" % ", ".join("%s %s" % (p, package_version(p)) for p in group),
                "(from /usr/share/doc/%s/copyright)" % group[0], RULE, "",
                text.rstrip("\n")]
    path.write_text("\n".join(out) + "\n", encoding="utf-8")


def write_buildinfo(path, version, commit):
    out = ["VelmoraAvInfo %s" % version, "",
           "Version: %s" % version,
           "Commit: %s" % commit,
           "SOURCE_DATE_EPOCH: %s" % os.environ["SOURCE_DATE_EPOCH"], "",
           "Built on Debian with these packages (dpkg-query versions):"]
    out += ["  %s: %s %s" % (what, p, package_version(p)) for what, p in TOOLS]
    path.write_text("\n".join(out) + "\n", encoding="utf-8")


def main():
    folder, version, commit = Path(sys.argv[1]), sys.argv[2], sys.argv[3]
    write_buildinfo(folder / "BUILDINFO.txt", version, commit)
    write_notices(folder / "THIRD-PARTY-NOTICES.txt", version)


if __name__ == "__main__":
    main()
