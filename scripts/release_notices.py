"""The third-party components of VelmoraAvInfo.exe and their licences, as
packaging/third-party.txt names them, with every version, copyright line and
licence text read from the installed Debian packages; and the notices file
written from them. scripts/release_records.py and the release test use it.
"""

import subprocess
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
COMPONENTS = ROOT / "packaging" / "third-party.txt"
RULE = "-" * 79


def package_version(package):
    return subprocess.run(["dpkg-query", "-W", "-f", "${Version}", package],
                          check=True, capture_output=True, text=True).stdout


def stanzas(text):
    """The stanzas of a file of "Field: value" lines; a field may repeat, a
    line starting with a space continues the one before."""
    for block in text.split("\n\n"):
        fields = []
        for line in block.splitlines():
            if line.startswith("#") or not line.strip():
                continue
            if line.startswith(" ") and fields:
                fields[-1][1].append(line[1:])
            else:
                name, _, value = line.partition(":")
                fields.append((name, [value.strip()]))
        if fields:
            yield fields


def field(fields, name):
    return [lines for key, lines in fields if key == name]


def expression_terms(expression):
    return expression.split(" AND ")


def licence_ids(expression):
    """The licences and exceptions whose texts an expression needs."""
    ids = []
    for term in expression_terms(expression):
        for part in term.split(" WITH "):
            ids.append(part.removesuffix("-or-later").removesuffix("-only"))
    return ids


def copyright_file(package):
    return (Path("/usr/share/doc") / package / "copyright").read_text(encoding="utf-8")


def dep5_paragraph_field(package, match, wanted):
    """Field `wanted` of the first paragraph of the package's copyright file
    for which match(fields) holds, continuation lines joined (" ." is an empty
    line)."""
    for fields in stanzas(copyright_file(package)):
        if match(fields):
            lines = field(fields, wanted)[0]
            return "\n".join("" if line.strip() == "." else line.strip() for line in lines)
    raise LookupError("%s's copyright has no paragraph for %s" % (package, wanted))


def licence_text(source):
    kind, _, rest = source.partition(" ")
    if kind == "dep5":
        package, name = rest.split(" ", 1)
        text = dep5_paragraph_field(
            package, lambda f: field(f, "License") and field(f, "License")[0][0] == name
            and len(field(f, "License")[0]) > 1, "License")
        return text.split("\n", 1)[1]
    if kind == "lines":
        package, bounds = rest.split(" ", 1)
        first, last = bounds.split("|")
        lines = copyright_file(package).splitlines()
        start = lines.index(first)
        end = next(i for i in range(start, len(lines)) if lines[i] == last)
        return "\n".join(lines[start:end + 1])
    if kind == "file":
        return Path(rest).read_text(encoding="utf-8")
    if kind == "repo":
        return (ROOT / rest).read_text(encoding="utf-8")
    raise ValueError("unknown licence text source: " + source)


def copyright_lines(source):
    if source.startswith("= "):
        return source[2:]
    package, pattern = source.split(" ", 1)
    return dep5_paragraph_field(
        package, lambda f: field(f, "Files") and field(f, "Files")[0][0].split()[0] == pattern,
        "Copyright")


def read_components():
    """(components, licences): components as dicts of name, holds, packages,
    files, licence, copyright; licences as {id: text source}."""
    components, licences = [], {}
    for fields in stanzas(COMPONENTS.read_text(encoding="utf-8")):
        if field(fields, "Licence"):
            licences[field(fields, "Licence")[0][0]] = field(fields, "Text")[0][0]
            continue
        components.append({
            "name": field(fields, "Component")[0][0],
            "holds": field(fields, "Holds")[0][0],
            "packages": field(fields, "Packages")[0][0].split(),
            "files": field(fields, "Files")[0][0].split(),
            "licence": field(fields, "License")[0][0],
            "copyright": [lines[0] for lines in field(fields, "Copyright")],
        })
    return components, licences


def used_licences(components, licences):
    """{id: text} of every licence the components name, in first-named order;
    a licence without a text source fails."""
    used = {}
    for component in components:
        for licence in licence_ids(component["licence"]):
            if licence not in licences:
                raise LookupError("no text for licence %s of %s" % (licence, component["name"]))
            used.setdefault(licence, licence_text(licences[licence]).rstrip("\n"))
    return used


def write_notices(path, version):
    components, licences = read_components()
    out = ["VelmoraAvInfo %s: third-party notices" % version, "",
           "VelmoraAvInfo.exe is under the MIT License (LICENSE). It also holds code of",
           "the components below, compiled into it or linked statically, and of no",
           "others. Each is named with its licence (an SPDX expression), the Debian",
           "packages it was built from at their exact versions, and its copyright",
           "holders. The full text of every licence named follows, each once.", "",
           "Components", "=========="]
    for component in components:
        packages = ", ".join("%s %s" % (p, package_version(p)) for p in component["packages"])
        copyrights = "\n".join(copyright_lines(c) for c in component["copyright"])
        out += ["", component["name"],
                "  Holds:     " + component["holds"],
                "  Licence:   " + component["licence"],
                "  Packages:  " + packages,
                "  Copyright: " + copyrights.replace("\n", "\n             ")]
    out += ["", "Licence texts", "============="]
    for licence, text in used_licences(components, licences).items():
        out += ["", RULE, licence, RULE, "", text]
    path.write_text("\n".join(out) + "\n", encoding="utf-8")
