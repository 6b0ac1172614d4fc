"""The published JSON Schemas of docs/schemas, ready to validate with."""

import json
from pathlib import Path

try:
    import jsonschema
except ImportError as missing:  # a missing checker must fail the suite, never skip it
    raise ImportError("the end-to-end tests need python3-jsonschema (scripts/setup.sh installs it)") from missing

SCHEMA_DIR = Path(__file__).resolve().parents[2] / "docs" / "schemas"


def _validator(name, definition=None):
    schema = json.loads((SCHEMA_DIR / name).read_text(encoding="utf-8"))
    jsonschema.Draft202012Validator.check_schema(schema)
    return jsonschema.Draft202012Validator(schema["$defs"][definition] if definition else schema)


INVENTORY = _validator("inventory.schema.json")
POLICY = _validator("policy.schema.json")
POLICY_NO_IGNORED_MEMBERS = _validator("policy.schema.json", "noIgnoredMembers")


def check_inventory(document):
    """Raises AssertionError naming every way the document breaks the inventory schema."""
    errors = ["%s: %s" % (list(e.absolute_path), e.message) for e in INVENTORY.iter_errors(document)]
    if errors:
        raise AssertionError("inventory document breaks docs/schemas/inventory.schema.json:\n" + "\n".join(errors))
