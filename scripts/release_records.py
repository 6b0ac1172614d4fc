#!/usr/bin/env python3
"""Writes the release's records into its folder, once the exe is final
(signed, when it is signed).

Usage: release_records.py FOLDER VERSION COMMIT UNSIGNED_SHA256
writes FOLDER/BUILDINFO.txt, THIRD-PARTY-NOTICES.txt, REPRODUCE.txt and
VelmoraAvInfo.spdx.json. UNSIGNED_SHA256 is the sum of the exe as built,
before any signature: what a rebuild gives. Every version, licence text and
copyright line is read from the installed Debian packages (dpkg-query and
/usr/share/doc/<package>/copyright), never written by hand. Nothing of the
build folder or the clock gets in: the same packages, commit and signature
give the same bytes. With VELMORA_SIGN_CERT set, BUILDINFO.txt names the
signer's certificate (the first one of that file).
"""

import os
import subprocess
import sys
from pathlib import Path

import release_notices
import release_sbom

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
    ("CMake", "cmake"),
    ("Ninja", "ninja-build"),
]


def certificate_field(certificate, *options):
    return subprocess.run(["openssl", "x509", "-in", certificate, "-noout", *options],
                          check=True, capture_output=True, text=True).stdout.strip()


def signer_lines():
    certificate = os.environ.get("VELMORA_SIGN_CERT")
    if not certificate:
        return ["Signature: none (an unsigned build)"]
    fingerprint = certificate_field(certificate, "-fingerprint", "-sha256").split("=", 1)
    subject = certificate_field(certificate, "-subject").split("=", 1)[1].strip()
    return ["Signature: Authenticode (SHA-256), with an RFC 3161 time stamp"
            if os.environ.get("VELMORA_SIGN_TIMESTAMP_URL") else "Signature: Authenticode (SHA-256)",
            "Signer certificate: " + subject,
            "Signer certificate SHA-256: " + fingerprint[1].replace(":", "")]


def write_buildinfo(path, version, commit):
    out = ["VelmoraAvInfo %s" % version, "",
           "Version: %s" % version,
           "Commit: %s" % commit,
           "SOURCE_DATE_EPOCH: %s" % os.environ["SOURCE_DATE_EPOCH"]]
    out += signer_lines()
    out += ["", "Built on Debian 12 (bookworm), amd64, with these packages (dpkg-query versions):"]
    out += ["  %s: %s %s" % (what, p, release_notices.package_version(p)) for what, p in TOOLS]
    path.write_text("\n".join(out) + "\n", encoding="utf-8")


def write_reproduce(path, version, commit, unsigned_sha256):
    name = "VelmoraAvInfo-%s-win64" % version
    out = ["Rebuilding VelmoraAvInfo %s" % version, "",
           "VelmoraAvInfo.exe is built reproducibly: the same source and packages give",
           "the same bytes, apart from the signature of a signed release.", "",
           "1. A Debian 12 (bookworm) amd64 machine with these package versions (the",
           "   ones of BUILDINFO.txt; snapshot.debian.org keeps every version):"]
    out += ["     %s=%s" % (p, release_notices.package_version(p)) for _, p in TOOLS]
    out += ["", "2. The source of commit %s," % commit.split()[0],
            "   from a clone or from an export of it (git archive): both give the same zip.", "",
            "3. In the source's folder, as root (or with sudo), the one command:",
            "     ./scripts/setup.sh && ./scripts/release.sh",
            "   scripts/setup.sh installs the archive's current versions; where they",
            "   differ from the list above, install those with apt-get install NAME=VERSION.", "",
            "4. The exe it builds, build/release/%s/VelmoraAvInfo.exe, has the SHA-256" % name,
            "     " + unsigned_sha256,
            "   For the signed exe of this zip, take the signature off first:",
            "     osslsigncode remove-signature -in VelmoraAvInfo.exe -out unsigned.exe",
            "     sha256sum unsigned.exe"]
    path.write_text("\n".join(out) + "\n", encoding="utf-8")


def main():
    folder, version, commit, unsigned_sha256 = Path(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
    write_buildinfo(folder / "BUILDINFO.txt", version, commit)
    release_notices.write_notices(folder / "THIRD-PARTY-NOTICES.txt", version)
    write_reproduce(folder / "REPRODUCE.txt", version, commit, unsigned_sha256)
    release_sbom.write_sbom(folder / "VelmoraAvInfo.spdx.json", folder / "VelmoraAvInfo.exe",
                            version, os.environ["SOURCE_DATE_EPOCH"])


if __name__ == "__main__":
    main()
