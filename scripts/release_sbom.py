"""The release's SBOM: an SPDX 2.3 JSON document describing VelmoraAvInfo.exe.

The exe is the described package, with its SHA-256; each Debian package of
packaging/third-party.txt is a package with its exact version, package URL
and licence, statically linked into the exe; the compiler and binutils are
its build tools. The same exe, packages and SOURCE_DATE_EPOCH give the same
bytes: the document's time is the commit's, its namespace is named after the
exe's sum, and every list is in a fixed order.
"""

import hashlib
import json
import subprocess
import time
from urllib.parse import quote

import release_notices

# The compiler packages are linked too (their runtime libraries); binutils only builds.
BUILD_TOOLS = ["g++-mingw-w64-x86-64-posix", "gcc-mingw-w64-x86-64-posix", "binutils-mingw-w64-x86-64"]


def spdx_id(package):
    return "SPDXRef-deb-" + "".join(c if c.isalnum() or c in ".-" else "-" for c in package)


def architecture(package):
    return subprocess.run(["dpkg-query", "-W", "-f", "${Architecture}", package],
                          check=True, capture_output=True, text=True).stdout


def package_licences(components):
    """{package: expression}: the terms of every component it serves, each once."""
    terms = {}
    for component in components:
        for package in component["packages"]:
            found = terms.setdefault(package, [])
            found += [t for t in release_notices.expression_terms(component["licence"]) if t not in found]
    return {package: " AND ".join(found) for package, found in terms.items()}


def deb_package(package, licence):
    version = release_notices.package_version(package)
    purl = "pkg:deb/debian/%s@%s?arch=%s" % (quote(package, safe=""), quote(version, safe=":"),
                                              architecture(package))
    return {
        "SPDXID": spdx_id(package), "name": package, "versionInfo": version,
        "supplier": "Organization: Debian", "downloadLocation": "NOASSERTION",
        "filesAnalyzed": False, "licenseConcluded": licence, "licenseDeclared": "NOASSERTION",
        "copyrightText": "NOASSERTION",
        "externalRefs": [{"referenceCategory": "PACKAGE-MANAGER", "referenceType": "purl",
                          "referenceLocator": purl}],
    }


def document(exe, version, epoch):
    components, licences = release_notices.read_components()
    linked = package_licences(components)
    digest = hashlib.sha256(exe.read_bytes()).hexdigest()
    program = {
        "SPDXID": "SPDXRef-VelmoraAvInfo", "name": "VelmoraAvInfo", "versionInfo": version,
        "packageFileName": exe.name, "supplier": "Organization: Velmora",
        "downloadLocation": "NOASSERTION", "filesAnalyzed": False,
        "checksums": [{"algorithm": "SHA256", "checksumValue": digest}],
        "licenseConcluded": "MIT", "licenseDeclared": "MIT",
        "copyrightText": "Copyright (c) 2026 Velmora", "primaryPackagePurpose": "APPLICATION",
    }
    packages = list(linked) + [p for p in BUILD_TOOLS if p not in linked]
    relationships = [{"spdxElementId": "SPDXRef-DOCUMENT", "relationshipType": "DESCRIBES",
                      "relatedSpdxElement": program["SPDXID"]}]
    relationships += [{"spdxElementId": program["SPDXID"], "relationshipType": "STATIC_LINK",
                       "relatedSpdxElement": spdx_id(p)} for p in linked]
    relationships += [{"spdxElementId": spdx_id(p), "relationshipType": "BUILD_TOOL_OF",
                       "relatedSpdxElement": program["SPDXID"]} for p in BUILD_TOOLS]
    texts = release_notices.used_licences(components, licences)
    return {
        "spdxVersion": "SPDX-2.3", "dataLicense": "CC0-1.0", "SPDXID": "SPDXRef-DOCUMENT",
        "name": "VelmoraAvInfo-%s-win64" % version,
        "documentNamespace": "https://spdx.org/spdxdocs/VelmoraAvInfo-%s-win64-%s" % (version, digest),
        "creationInfo": {"created": time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(int(epoch))),
                         "creators": ["Organization: Velmora", "Tool: VelmoraAvInfo-release-" + version]},
        "documentDescribes": [program["SPDXID"]],
        "packages": [program] + [deb_package(p, linked.get(p, "NOASSERTION")) for p in packages],
        "hasExtractedLicensingInfos": [{"licenseId": key, "name": key.removeprefix("LicenseRef-"),
                                        "extractedText": text}
                                       for key, text in texts.items() if key.startswith("LicenseRef-")],
        "relationships": relationships,
    }


def write_sbom(path, exe, version, epoch):
    path.write_text(json.dumps(document(exe, version, epoch), indent=2, ensure_ascii=False) + "\n",
                    encoding="utf-8")
