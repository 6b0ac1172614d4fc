#!/usr/bin/env python3
"""Checks the resources of the built Windows program.

* The version resource, read by the program's own PE reader (pe_version_of,
  given with --reader), carries the build's version and the product's names.
* The application manifest is resource 1 of type RT_MANIFEST (24), the only
  manifest, and parses as XML with the settings the program relies on.

Usage: check_resources.py EXE VERSION --reader CMD... [--reader-path PATH]
(--reader-path: how the reader must name the exe, e.g. Z:/... under Wine.)
Prints each failed check and exits with 1 when there is any.
"""

import argparse
import struct
import subprocess
import sys
import xml.etree.ElementTree as ET

RT_VERSION = 16
RT_MANIFEST = 24

ASM_V1 = "urn:schemas-microsoft-com:asm.v1"
ASM_V3 = "urn:schemas-microsoft-com:asm.v3"
COMPATIBILITY = "urn:schemas-microsoft-com:compatibility.v1"
SETTINGS_2016 = "http://schemas.microsoft.com/SMI/2016/WindowsSettings"
SETTINGS_2019 = "http://schemas.microsoft.com/SMI/2019/WindowsSettings"
SUPPORTED_OS = {
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  # Windows 7
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  # Windows 8
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  # Windows 8.1
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  # Windows 10 and 11
}


def pe_resources(data):
    """{(type, id): {language: bytes}} of a PE32+ image's resource tree (numeric ids only)."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE image")
    sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
    optional = pe + 24
    if struct.unpack_from("<H", data, optional)[0] != 0x20B:
        raise ValueError("not a PE32+ image")
    rsrc_rva, rsrc_size = struct.unpack_from("<II", data, optional + 112 + 2 * 8)
    if rsrc_size == 0:
        return {}
    table = optional + optional_size

    def offset_of(rva):
        for i in range(sections):
            size, address, raw_size, raw_at = struct.unpack_from("<IIII", data, table + 40 * i + 8)
            if address <= rva < address + max(size, raw_size):
                return raw_at + rva - address
        raise ValueError("RVA %#x lies in no section" % rva)

    root = offset_of(rsrc_rva)

    def entries(directory):
        named, numbered = struct.unpack_from("<HH", data, root + directory + 12)
        for i in range(named + numbered):
            name, target = struct.unpack_from("<II", data, root + directory + 16 + 8 * i)
            yield (None if name & 0x80000000 else name), target

    resources = {}
    for kind, to_names in entries(0):
        for name, to_languages in entries(to_names & 0x7FFFFFFF):
            for language, to_data in entries(to_languages & 0x7FFFFFFF):
                rva, size = struct.unpack_from("<II", data, root + to_data)
                at = offset_of(rva)
                resources.setdefault((kind, name), {})[language] = data[at:at + size]
    return resources


def manifest_failures(resources, version):
    failures = []
    manifests = [key for key in resources if key[0] == RT_MANIFEST]
    if manifests != [(RT_MANIFEST, 1)] or len(resources[(RT_MANIFEST, 1)]) != 1:
        return ["expected one manifest, resource 1 in one language; found %s" % manifests]
    text = next(iter(resources[(RT_MANIFEST, 1)].values()))
    try:
        root = ET.fromstring(text)
    except ET.ParseError as error:
        return ["the manifest is not XML: %s" % error]

    def values(path, attribute=None):
        found = root.findall(path, {"v1": ASM_V1, "v3": ASM_V3, "c": COMPATIBILITY,
                                    "s16": SETTINGS_2016, "s19": SETTINGS_2019})
        return [(e.get(attribute) if attribute else (e.text or "").strip()) for e in found]

    checks = [
        ("root element", [root.tag], ["{%s}assembly" % ASM_V1]),
        ("assemblyIdentity version", values("v1:assemblyIdentity", "version"), [version + ".0"]),
        ("requestedExecutionLevel",
         values("v3:trustInfo/v3:security/v3:requestedPrivileges/v3:requestedExecutionLevel", "level"),
         ["asInvoker"]),
        ("supportedOS", sorted(values("c:compatibility/c:application/c:supportedOS", "Id")), sorted(SUPPORTED_OS)),
        ("longPathAware", values("v3:application/v3:windowsSettings/s16:longPathAware"), ["true"]),
        ("activeCodePage", values("v3:application/v3:windowsSettings/s19:activeCodePage"), ["UTF-8"]),
    ]
    for what, got, expected in checks:
        if got != expected:
            failures.append("manifest %s: %s, expected %s" % (what, got, expected))
    return failures


def version_failures(resources, reader, version):
    if (RT_VERSION, 1) not in resources:
        return ["no version resource (type 16, id 1)"]
    run = subprocess.run(reader, stdout=subprocess.PIPE, stderr=subprocess.PIPE, stdin=subprocess.DEVNULL,
                         timeout=300)
    if run.returncode != 0:
        return ["the version reader failed (%d): %s" % (run.returncode, run.stderr.decode(errors="replace"))]
    got = dict(line.split("=", 1) for line in run.stdout.decode().splitlines() if "=" in line)
    expected = {
        "Signature": "feef04bd",
        "FixedFileVersion": version + ".0",
        "FixedProductVersion": version + ".0",
        "Translation": "040904b0",
        "CompanyName": "Velmora",
        "FileVersion": version,
        "InternalName": "VelmoraAvInfo",
        "OriginalFilename": "VelmoraAvInfo.exe",
        "ProductName": "VelmoraAvInfo",
        "ProductVersion": version,
    }
    failures = ["version resource %s: %r, expected %r" % (key, got.get(key), value)
                for key, value in expected.items() if got.get(key) != value]
    failures += ["version resource %s is empty" % key for key in ("FileDescription", "LegalCopyright")
                 if not got.get(key)]
    return failures


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("exe")
    parser.add_argument("version", help="the build's version, x.y.z")
    parser.add_argument("--reader", nargs="+", required=True, help="command running pe_version_of")
    parser.add_argument("--reader-path", help="the exe as the reader names it (default: EXE)")
    args = parser.parse_args()
    with open(args.exe, "rb") as f:
        resources = pe_resources(f.read())
    failures = manifest_failures(resources, args.version)
    failures += version_failures(resources, args.reader + [args.reader_path or args.exe], args.version)
    for failure in failures:
        print("FAILED: " + failure)
    if not failures:
        print("version resource and manifest of %s: as expected" % args.exe)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
