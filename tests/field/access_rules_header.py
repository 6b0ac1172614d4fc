#!/usr/bin/env python3
"""Writes the field tests' table of deployment models from docs/security.md.

Each model's icacls lines are those of the first ```bat block after the
heading that names the model, so the field tests apply exactly what the
integrator's page says. A model whose heading is not there yet gets the
page's first ```bat block, marked as a placeholder.

usage: access_rules_header.py <security.md> <output header>
"""
import re
import sys

MODELS = [  # (heading text, may users write check.json)
    ("runs as SYSTEM only", False),
    ("runs in each user's session", True),
]


def bat_blocks_after(lines, start):
    block, inside = [], False
    for line in lines[start:]:
        if not inside and line.strip().startswith("```bat"):
            inside = True
        elif inside and line.strip().startswith("```"):
            return block
        elif inside and line.strip().lower().startswith("icacls "):
            block.append(line.strip())
    return block


def model_lines(lines, heading):
    for number, line in enumerate(lines):
        if line.startswith("#") and heading.lower() in line.lower():
            return bat_blocks_after(lines, number + 1)
    return None


def c_string(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def main():
    lines = open(sys.argv[1], encoding="utf-8").read().splitlines()
    fallback = bat_blocks_after(lines, 0)
    out = ["// Made by tests/field/access_rules_header.py from docs/security.md; do not edit.",
           "#pragma once", "#include <vector>", "namespace velmora::field {",
           "struct DeploymentModel {", "    const char* name;",
           "    bool placeholder;  // docs/security.md has no lines of this model yet: its first icacls block",
           "    bool usersMayWriteVerdict;", "    std::vector<const char*> lines;", "};",
           "inline const std::vector<DeploymentModel> kDeploymentModels = {"]
    for heading, users_write in MODELS:
        found = model_lines(lines, heading)
        placeholder = not found
        chosen = found if found else fallback
        if not chosen:
            sys.exit("error: docs/security.md has no icacls lines")
        out.append("    {%s, %s, %s, {%s}}," % (c_string(heading), "true" if placeholder else "false",
                                                 "true" if users_write else "false",
                                                 ", ".join(c_string(l) for l in chosen)))
    out += ["};", "}  // namespace velmora::field", ""]
    text = "\n".join(out)
    try:
        if open(sys.argv[2], encoding="utf-8").read() == text:
            return
    except OSError:
        pass
    open(sys.argv[2], "w", encoding="utf-8").write(text)


main()
