"""The published JSON Schemas against the policies we ship and test with, against
the examples in the documentation, and against the inventory documents the
fuzz seeds make. (Every inventory document an end-to-end run saves is checked
by the harness, machine.py.)"""

import json
import re
import unittest
from pathlib import Path

from machine import Machine
from schemas import INVENTORY, POLICY, POLICY_NO_IGNORED_MEMBERS

ROOT = Path(__file__).resolve().parents[2]

GOOD_INVENTORY = {"av": [{"name": "A", "state": "on"}], "is_av_installed": True, "os": "Win 10"}


def load(path):
    return json.loads(path.read_text(encoding="utf-8-sig"))  # the program accepts a byte-order mark


def doc_examples(name):
    text = (ROOT / "docs" / name).read_text(encoding="utf-8")
    return [json.loads(block) for block in re.findall(r"```json\n(.*?)```", text, re.S)]


class SchemaTest(unittest.TestCase):
    def test_shipped_and_test_policies_are_valid_and_have_no_ignored_members(self):
        paths = [ROOT / "example/ProgramData/Velmora/VelmoraVPN/logs/postureData.json",
                 *sorted((ROOT / "tests/fuzz/corpus/policy").glob("*.json"))]
        policies = {p.name: load(p) for p in paths}
        objects = {name: doc for name, doc in policies.items() if isinstance(doc, dict)}
        self.assertGreaterEqual(len(objects), 3)
        for name, policy in objects.items():
            with self.subTest(policy=name):
                POLICY.validate(policy)
                POLICY_NO_IGNORED_MEMBERS.validate(policy)

    def test_policy_schema_takes_every_object_and_flags_members_that_would_be_ignored(self):
        cases = [  # (document, the program ignores one of its known members)
            ({}, False),
            ({"Endpoint_Posture_Check": "1", "comment": [1], "nested": {"av_value": "x"}}, False),
            ({"av_value": 2, "av_version_operator": "NOT_EQUAL", "os_version_operator": "no such word",
              "registry_value": "", "av_action": -0.5, "os_version_action": 1e300,
              "endpoint_posture_check": 4294967297}, False),
            ({"endpoint_posture_check": "1"}, True),
            ({"av_action": False}, True),
            ({"av_version_value": 5}, True),
            ({"registry_operator": None}, True),
        ]
        for document, ignored in cases:
            with self.subTest(document=document):
                POLICY.validate(document)
                self.assertEqual(not POLICY_NO_IGNORED_MEMBERS.is_valid(document), ignored)
        self.assertFalse(POLICY.is_valid([1, {"a": "b"}]))

    def test_policies_the_schema_accepts_as_python_reads_them_but_the_program_cannot_read(self):
        """One such member anywhere, even one the program would ignore, makes the
        whole file unreadable: no verdict, and the earlier one stays."""
        rule = '{"endpoint_posture_check":1,"av_value":1,"av_action":0,%s}'
        members = ['"comment":1e400', '"av_action":-1e400', '"comment":"\\ud800"', '"registry_value":"\\udc00"',
                   '"comment":NaN', '"av_version_action":Infinity']
        earlier = b"0\r\nearlier\r\n-\r\n"
        with Machine() as m:
            m.write_products({"antivirus": [{"name": "A", "state": 0}]})
            for member in members:
                with self.subTest(member=member):
                    text = rule % member
                    POLICY_NO_IGNORED_MEMBERS.validate(json.loads(text))
                    m.write_policy(text.encode())
                    m.check_json_path.write_bytes(earlier)
                    r = m.run("-av", "-outpath=" + m.program_path(m.host_path("inventory.json")))
                    self.assertEqual(m.check_json_path.read_bytes(), earlier)
                    self.assertTrue(any(t.startswith("Exception in Func [getJsonFromFile:56]: ")
                                        for t in r.texts()))

    def test_inventory_schema_refuses_what_the_program_never_writes(self):
        INVENTORY.validate(GOOD_INVENTORY)
        product = GOOD_INVENTORY["av"][0]
        cases = [
            dict(GOOD_INVENTORY, extra=1),
            {k: v for k, v in GOOD_INVENTORY.items() if k != "os"},
            dict(GOOD_INVENTORY, os="Windows 10"),
            dict(GOOD_INVENTORY, av=None),  # is_av_installed must then be false
            dict(GOOD_INVENTORY, av=[]),
            dict(GOOD_INVENTORY, av=[None, product]),
            dict(GOOD_INVENTORY, av=[dict(product, state="enabled")]),
            dict(GOOD_INVENTORY, av=[dict(product, version="4.18.0.0")]),  # no reporting_exe
            dict(GOOD_INVENTORY, av=[dict(product, reporting_exe="C:\\a.exe", version="04.1.2.3",
                                          signature_status="up-to-date")]),
            *(dict(GOOD_INVENTORY, av=[dict(product, reporting_exe="windowsdefender://", version=v,
                                            signature_status="up-to-date")])
              for v in ("4.18.2409.0011-beta", "1.2.3.4.5", "1.2.3.65536")),
            dict(GOOD_INVENTORY, antispyware=[dict(product, last_update="t")]),
            dict(GOOD_INVENTORY, firewall=[dict(product, signature_status="up-to-date")]),
        ]
        for document in cases:
            with self.subTest(document=document):
                self.assertFalse(INVENTORY.is_valid(document))

    def test_examples_in_the_documentation_match_their_schemas(self):
        for name, validator in (("inventory.md", INVENTORY), ("policy.md", POLICY_NO_IGNORED_MEMBERS)):
            examples = doc_examples(name)
            self.assertTrue(examples, name)
            for example in examples:
                with self.subTest(doc=name, example=example):
                    validator.validate(example)

    def test_every_fuzz_seed_gives_an_inventory_document_the_schema_accepts(self):
        """Each Security Center seed, and none (a Server), with each Defender seed:
        the run saves a document, which machine.py checks against the schema."""
        corpus = ROOT / "tests/fuzz/corpus"
        security_centers = [None, *sorted((corpus / "products").glob("*.json"))]
        defenders = sorted((corpus / "defender_status").glob("*.json"))
        self.assertGreaterEqual(len(defenders), 3)
        with Machine() as m:
            out = m.host_path("inventory.json")
            for products in security_centers:
                if products is None:
                    (m.programdata / "SecurityCenter" / "products.json").unlink(missing_ok=True)
                else:
                    m.write_products(products.read_bytes())
                for defender in defenders:
                    with self.subTest(products=products and products.name, defender=defender.name):
                        m.defender_status(defender.read_bytes())
                        out.unlink(missing_ok=True)
                        m.run("-av", "-as", "-fw", "-outpath=" + m.program_path(out))
                        self.assertTrue(out.exists())


if __name__ == "__main__":
    unittest.main()
