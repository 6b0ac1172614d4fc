#!/usr/bin/env python3
"""The release folder's records and documents, checked against the build.

Usage: check_release.py FOLDER LINKED_FILES
LINKED_FILES lists every file outside the checkout that went into the exe
(the linker's archives and objects, the compiler's headers). Prints one line
per fault and exits 1 when there is any.
"""

import fnmatch
import hashlib
import json
import re
import sys
from pathlib import Path
from urllib.parse import quote

import jsonschema

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent.parent / "scripts"))
import release_notices  # noqa: E402
import release_sbom  # noqa: E402

# Developer material that a shipped document must not point to or describe.
DEVELOPER_TEXT = re.compile(r"\bLinux\b|`(?:example|scripts|tests|src|bench|build|cmake|packaging)/")


def check_components(components, linked):
    """Every linked file belongs to a component, every component to a linked file."""
    faults, used = [], set()
    for path in linked:
        owner = next((c["name"] for c in components
                      if any(fnmatch.fnmatch(path, glob) for glob in c["files"])), None)
        if owner is None:
            faults.append("no component holds the linked file " + path)
        used.add(owner)
    faults += ["component %s: none of its files was linked" % c["name"]
               for c in components if c["name"] not in used]
    return faults


def check_notices(folder, components, licences):
    text = (folder / "THIRD-PARTY-NOTICES.txt").read_text(encoding="utf-8")
    faults = []
    for c in components:
        packages = ", ".join("%s %s" % (p, release_notices.package_version(p)) for p in c["packages"])
        for line in ("\n%s\n" % c["name"], "  Licence:   %s\n" % c["licence"], "  Packages:  %s\n" % packages):
            if line not in text:
                faults.append("THIRD-PARTY-NOTICES.txt lacks [%s]" % line.strip())
    given = re.findall(r"^-{79}\n(.*)\n-{79}$", text, re.M)
    needed = list(dict.fromkeys(i for c in components for i in release_notices.licence_ids(c["licence"])))
    faults += ["licence text missing: " + i for i in needed if i not in given]
    faults += ["licence text of no component: " + i for i in given if i not in needed]
    faults += ["licence text given twice: " + i for i in set(given) if given.count(i) > 1]
    try:
        texts = release_notices.used_licences(components, licences)
    except LookupError as error:
        return faults + [str(error)]
    return faults + ["licence text %s is empty" % i for i, t in texts.items() if len(t.split()) < 10]


def check_sbom(folder, components):
    sbom = json.loads((folder / "VelmoraAvInfo.spdx.json").read_text(encoding="utf-8"))
    schema = json.loads((HERE / "spdx-2.3.schema.json").read_text(encoding="utf-8"))
    faults = ["SBOM: " + e.message for e in jsonschema.Draft7Validator(schema).iter_errors(sbom)]
    packages = {p["SPDXID"]: p for p in sbom["packages"]}
    exe = packages.get("SPDXRef-VelmoraAvInfo", {})
    digest = hashlib.sha256((folder / "VelmoraAvInfo.exe").read_bytes()).hexdigest()
    if exe.get("checksums") != [{"algorithm": "SHA256", "checksumValue": digest}]:
        faults.append("SBOM: the exe's SHA-256 is not %s" % digest)
    relations = {(r["spdxElementId"], r["relationshipType"], r["relatedSpdxElement"]) for r in sbom["relationships"]}
    expected = {("SPDXRef-DOCUMENT", "DESCRIBES", "SPDXRef-VelmoraAvInfo")}
    for package, licence in release_sbom.package_licences(components).items():
        entry, version = packages.get(release_sbom.spdx_id(package), {}), release_notices.package_version(package)
        purl = "pkg:deb/debian/%s@%s?arch=" % (quote(package, safe=""), quote(version, safe=":"))
        if entry.get("versionInfo") != version or not entry["externalRefs"][0]["referenceLocator"].startswith(purl):
            faults.append("SBOM: %s is not at version %s with the purl %s" % (package, version, purl))
        if entry.get("licenseConcluded") != licence:
            faults.append("SBOM: %s's licence is not %s" % (package, licence))
        expected.add(("SPDXRef-VelmoraAvInfo", "STATIC_LINK", release_sbom.spdx_id(package)))
    expected |= {(release_sbom.spdx_id(p), "BUILD_TOOL_OF", "SPDXRef-VelmoraAvInfo") for p in release_sbom.BUILD_TOOLS}
    faults += ["SBOM: relationship missing: %s %s %s" % r for r in sorted(expected - relations)]
    faults += ["SBOM: relationship of nothing linked: %s %s %s" % r for r in sorted(relations - expected)]
    refs = {i["licenseId"] for i in sbom.get("hasExtractedLicensingInfos", [])}
    used = set(re.findall(r"LicenseRef-[A-Za-z0-9.-]+", json.dumps(sbom["packages"])))
    faults += ["SBOM: no extracted text for " + r for r in sorted(used - refs)]
    return faults


def anchors(markdown):
    """The anchors GitHub makes of a Markdown file's headings."""
    return {re.sub(r"[^\w\- ]", "", h.strip().lower()).replace(" ", "-")
            for h in re.findall(r"^#+ (.*)$", markdown, re.M)}


def check_documents(folder):
    """Links and file names in the shipped documents resolve inside the zip's
    folder; no shipped document speaks of the developers' build."""
    faults = []
    for doc in sorted(folder.rglob("*")):
        if doc.suffix not in (".md", ".txt") or doc.name in ("THIRD-PARTY-NOTICES.txt", "REPRODUCE.txt"):
            continue
        name, text = doc.relative_to(folder).as_posix(), doc.read_text(encoding="utf-8")
        targets = re.findall(r"\]\(([^)\s]+)\)", text) + re.findall(r"\bdocs\\[\w\\.-]+", text)
        for target in targets:
            if re.match(r"[a-z]+:", target):
                continue
            path, _, anchor = target.replace("\\", "/").partition("#")
            resolved = (doc.parent / path).resolve() if path else doc.resolve()
            if not resolved.is_file() or folder.resolve() not in resolved.parents:
                faults.append("%s: %s is not in the release" % (name, target))
            elif anchor and anchor not in anchors(resolved.read_text(encoding="utf-8")):
                faults.append("%s: %s has no heading for #%s" % (name, path or name, anchor))
        if name == "README.txt":  # the files it names are the folder's
            for file in re.findall(r"(?<![\\/])\b(?:[A-Z][A-Z0-9-]+\.(?:txt|md)|SHA256SUMS|LICENSE|VelmoraAvInfo\.[a-z.]+)\b", text):
                if not (folder / file).is_file():
                    faults.append("README.txt names %s, which is not in the release" % file)
        if doc.name != "CHANGELOG.md":  # the history tells of every build
            for number, line in enumerate(text.splitlines(), 1):
                if DEVELOPER_TEXT.search(line) and not line.lstrip().startswith("Linux:"):
                    faults.append("%s:%d speaks of developer material: %s" % (name, number, line.strip()))
    return faults


def main():
    folder = Path(sys.argv[1])
    linked = Path(sys.argv[2]).read_text().split()
    components, licences = release_notices.read_components()
    faults = (check_components(components, linked) + check_notices(folder, components, licences)
              + check_sbom(folder, components) + check_documents(folder))
    for fault in faults:
        print(fault)
    sys.exit(1 if faults else 0)


if __name__ == "__main__":
    main()
