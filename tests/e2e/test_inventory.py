"""The inventory: Security Center products in the output file and the log report."""

import json
import shutil
import unittest
from pathlib import Path

from machine import BUILD_DIR, TARGET, Machine

OS_TEXT = "Win 7"   # the release every Machine starts with
OS_NAME = "WIN_7"
FAILURE = "0x8000FFFF"
FAILURE_TEXT = "-7fff0001"

CONTOSO = {"name": "Contoso Antivirus", "state": 0, "signature_status": 1,
           "remediation_path": "C:\\Program Files\\Contoso\\av.exe",
           "timestamp": "Mon, 07 Dec 2026 09:00:00 GMT"}
CONTOSO_OBJECT = {"last_update": "Mon, 07 Dec 2026 09:00:00 GMT", "name": "Contoso Antivirus",
                  "reporting_exe": "C:\\Program Files\\Contoso\\av.exe", "signature_status": "up-to-date",
                  "state": "on", "version": ""}


def info(*texts):
    return [("info", t) for t in texts]


def compact(document):
    return json.dumps(document, ensure_ascii=False, sort_keys=True, separators=(",", ":")).encode("utf-8")


def shown(document):
    return ("info", "avInfo: \n" + json.dumps(document, ensure_ascii=False, sort_keys=True, indent=5) + "\n")


def slot(name="NA", version="0.0.0.0", exe="NA", updated="NA", state="AV_DISABLED",
         signature="AVSIGNATURE_STATUS_OUT_OF_DATE"):
    return info("\tavName: " + name, "\tavVersion: " + version, "\treportingExe: " + exe,
                "\tavLastUpdateTime: " + updated, "\tavStateEnum: " + state, "\tsignatureStatusEnum: " + signature,
                "")


CONTOSO_SLOT = slot("Contoso Antivirus", "", "C:\\Program Files\\Contoso\\av.exe", "Mon, 07 Dec 2026 09:00:00 GMT",
                    "AV_ENABLED", "AVSIGNATURE_STATUS_UP_TO_DATE")


def report(count, *slots):
    lines = info("os: " + OS_NAME, "Total av installed: %d" % count)
    for s in slots:
        lines += s
    return lines


class InventoryTest(unittest.TestCase):
    def setUp(self):
        self.m = Machine()
        self.addCleanup(self.m.close)
        self.out = self.m.host_path("out/inventory.json")
        self.out_text = self.m.program_path(self.out)

    def run_kinds(self, *kinds, out=None):
        return self.m.run(*kinds, "-outpath=" + (self.out_text if out is None else out))

    def inventory_part(self, r, length):
        """The records of the inventory stage: those right after the command line."""
        texts = r.texts()
        start = next(i for i, t in enumerate(texts) if t.startswith("outfilepath: ")) + 1
        self.assertEqual(r.records[-1], ("info", "END"))
        return r.records[start:start + length]

    def assert_saved(self, r, document, report_lines, status=0, errors=()):
        """The whole output file and the whole inventory part of the log."""
        self.assertEqual(r.status, status, r.log_text)
        self.assertEqual(self.out.read_bytes(), compact(document))
        expected = [*errors, shown(document), ("info", "avInfo: js succesfully saved to file " + self.out_text),
                    *report_lines]
        self.assertEqual(self.inventory_part(r, len(expected)), expected)

    def assert_not_saved(self, r, report_lines, status, errors=()):
        self.assertEqual(r.status, status, r.log_text)
        self.assertFalse(self.out.exists())
        expected = [*errors, ("info", "output js is not valid!"), *report_lines]
        self.assertEqual(self.inventory_part(r, len(expected)), expected)

    # ---- what is written ----
    def test_one_antivirus_product(self):
        self.m.write_products({"antivirus": [CONTOSO]})
        r = self.run_kinds("-av")
        self.assertEqual(
            self.out.read_bytes(),
            b'{"av":[{"last_update":"Mon, 07 Dec 2026 09:00:00 GMT","name":"Contoso Antivirus",'
            b'"reporting_exe":"C:\\\\Program Files\\\\Contoso\\\\av.exe","signature_status":"up-to-date",'
            b'"state":"on","version":""}],"is_av_installed":true,"os":"Win 7"}')
        self.assert_saved(r, {"av": [CONTOSO_OBJECT], "is_av_installed": True, "os": OS_TEXT},
                          report(1, CONTOSO_SLOT))

    def test_all_three_kinds_go_to_the_file_and_only_antivirus_to_the_inventory(self):
        self.m.write_products({
            "antivirus": [CONTOSO],
            "antispyware": [{"name": "Contoso Antispyware", "state": 1, "signature_status": 0, "timestamp": "t"},
                            {"name": "Second Antispyware", "state": 0}],
            "firewall": [{"name": "Contoso Firewall", "state": 1, "signature_status": 1, "timestamp": "t",
                          "remediation_path": "C:\\fw\\fw.exe"}],
        })
        r = self.run_kinds("-fw", "-av", "-as")
        document = {
            "antispyware": [{"name": "Contoso Antispyware", "signature_status": "out-of-date", "state": "off"},
                            {"name": "Second Antispyware", "signature_status": "up-to-date", "state": "on"}],
            "av": [CONTOSO_OBJECT],
            "firewall": [{"name": "Contoso Firewall", "reporting_exe": "C:\\fw\\fw.exe", "state": "off",
                          "version": ""}],
            "is_av_installed": True, "os": OS_TEXT}
        self.assert_saved(r, document, report(1, CONTOSO_SLOT))

    def test_antivirus_twice_gives_the_same_inventory(self):
        self.m.write_products({"antivirus": [CONTOSO]})
        r = self.run_kinds("-av", "-av")
        self.assert_saved(r, {"av": [CONTOSO_OBJECT], "is_av_installed": True, "os": OS_TEXT},
                          report(1, CONTOSO_SLOT))

    def test_an_output_path_longer_than_260_characters(self):
        # Windows honours the manifest's long-path awareness only where
        # LongPathsEnabled is 1; the program adds the \\?\ prefix itself
        # (Wine takes the path either way). The log names the path as given.
        self.out = self.m.host_path("/".join(["d" * 60] * 5) + "/inventory.json")
        self.out_text = self.m.program_path(self.out)
        self.assertGreater(len(self.out_text), 300)
        self.m.write_products({"antivirus": [CONTOSO]})
        r = self.run_kinds("-av")
        self.assert_saved(r, {"av": [CONTOSO_OBJECT], "is_av_installed": True, "os": OS_TEXT},
                          report(1, CONTOSO_SLOT))

    def test_firewall_only(self):
        self.m.write_products({"antivirus": [CONTOSO], "firewall": [{"name": "Contoso Firewall", "state": 0}]})
        r = self.run_kinds("-fw")
        self.assertEqual(self.out.read_bytes(),
                         b'{"av":null,"firewall":[{"name":"Contoso Firewall","state":"on"}],'
                         b'"is_av_installed":false,"os":"Win 7"}')
        self.assert_saved(r, {"av": None, "firewall": [{"name": "Contoso Firewall", "state": "on"}],
                              "is_av_installed": False, "os": OS_TEXT}, report(0))

    def test_nameless_expired_snoozed_and_unknown_states(self):
        self.m.write_products({"antivirus": [
            {"state": 0, "remediation_path": "C:\\nameless.exe"},
            {"name": "Expired AV", "state": 3, "signature_status": 0},
            {"name": "Snoozed AV", "state": 2, "signature_status": 7},
            {"state": 42, "timestamp": "later"},
        ]})
        r = self.run_kinds("-av")
        document = {"av": [
            {"reporting_exe": "C:\\nameless.exe", "signature_status": "up-to-date", "state": "on", "version": ""},
            {"name": "Expired AV", "signature_status": "out-of-date", "state": "expired"},
            {"name": "Snoozed AV", "signature_status": "out-of-date", "state": "snoozed"},
            {"last_update": "later", "signature_status": "up-to-date", "state": "expired"},
        ], "is_av_installed": True, "os": OS_TEXT}
        # The count stops after the last named product: the fourth slot is not reported.
        self.assert_saved(r, document, report(
            3,
            slot(exe="C:\\nameless.exe", version="", state="AV_ENABLED", signature="AVSIGNATURE_STATUS_UP_TO_DATE"),
            slot("Expired AV"),
            slot("Snoozed AV", state="AV_SNOOZED")))

    def test_names_in_any_script_are_written_as_utf8(self):
        self.m.write_products({"antivirus": [
            {"name": "Contoso \u00e9\u20ac\U0001F600", "state": 0},
            {"name_utf16": [0x3A9, 0x6D, 0xD83D, 0xDE00], "state": 0},
            {"name_utf16": [0x41, 0xD800, 0x42], "state": 0},
        ]})
        r = self.run_kinds("-av")
        data = self.out.read_bytes()
        self.assertIn("Contoso \u00e9\u20ac\U0001F600".encode("utf-8"), data)
        self.assertNotIn(b"\\u", data)
        document = {"av": [
            {"name": "Contoso \u00e9\u20ac\U0001F600", "signature_status": "up-to-date", "state": "on"},
            {"name": "\u03a9m\U0001F600", "signature_status": "up-to-date", "state": "on"},
            # A lone surrogate cannot be converted: the name is empty, and still counts.
            {"name": "", "signature_status": "up-to-date", "state": "on"},
        ], "is_av_installed": True, "os": OS_TEXT}
        on = dict(state="AV_ENABLED", signature="AVSIGNATURE_STATUS_UP_TO_DATE")
        self.assert_saved(r, document, report(3, slot("Contoso \u00e9\u20ac\U0001F600", **on),
                                              slot("\u03a9m\U0001F600", **on), slot("", **on)))

    def test_ten_products_fill_nine_slots(self):
        products = [{"name": "AV %d" % i, "state": i % 2} for i in range(10)]
        self.m.write_products({"antivirus": products})
        r = self.run_kinds("-av")
        objects = [{"name": "AV %d" % i, "signature_status": "up-to-date", "state": "off" if i % 2 else "on"}
                   for i in range(10)]
        slots = [slot("AV %d" % i, state="AV_DISABLED" if i % 2 else "AV_ENABLED",
                      signature="AVSIGNATURE_STATUS_UP_TO_DATE") for i in range(9)]
        left_out = ("info", "av product 9 is left out of the inventory, which holds 9 products; "
                            "it is kept in the document only")
        self.assert_saved(r, {"av": objects, "is_av_installed": True, "os": OS_TEXT}, report(9, *slots),
                          errors=[left_out])

    def test_reporting_paths_as_a_security_center_gives_them(self):
        # The document keeps each path as reported; the version is read from
        # the file it names, variables expanded.
        folder = self.m.host_path("Sécurité 安全/full.exe").parent
        shutil.copy(Path(BUILD_DIR) / "version_resources" / "full.exe", folder)
        sep = "\\" if TARGET == "windows" else "/"
        paths = [
            (self.m.program_path(folder / "full.exe"), "7.0.65535.12"),
            ("%VELMORA_E2E_SCRATCH%" + sep + "Sécurité 安全" + sep + "full.exe", "7.0.65535.12"),
            ("%VELMORA_E2E_UNSET%" + sep + "full.exe", ""),
            ("windowsdefender://", ""),  # no file path at all
        ]
        self.m.write_products({"antivirus": [{"name": "P%d" % i, "remediation_path": path}
                                             for i, (path, _) in enumerate(paths)]})
        r = self.m.run("-av", "-outpath=" + self.out_text,
                       env={"VELMORA_E2E_SCRATCH": self.m.program_path(self.m.scratch)})
        self.assertEqual(r.status, 0)
        products = json.loads(self.out.read_bytes())["av"]
        self.assertEqual([(p["reporting_exe"], p["version"]) for p in products], paths)
        self.assertFalse([m for _, m in r.records if m.startswith("Exception in Func")])

    # ---- when nothing can be written ----
    def test_empty_security_center(self):
        self.m.write_products({})
        r = self.run_kinds("-av", "-as", "-fw")
        self.assert_not_saved(r, report(0), status=0)

    def test_no_security_center(self):
        # Nor Defender's status provider nor Windows Firewall's policy object,
        # which would stand in (test_defender); each kind is still asked.
        r = self.run_kinds("-av", "-fw")
        self.assert_not_saved(r, report(0), status=-1,
                              errors=[("error", "CoCreateInstance returned error = -7ffbfeac"),
                                      ("info", "Microsoft Defender's status cannot be read either, error = -7ffbeff2"),
                                      ("error", "CoCreateInstance returned error = -7ffbfeac"),
                                      ("info", "Windows Firewall's status cannot be read either, error = -7ffbfeac")])

    def test_unusable_products_file(self):
        self.m.write_products(b'{"antivirus": [{"name": 1}]}')
        r = self.run_kinds("-av")
        self.assert_not_saved(r, report(0), status=-1,
                              errors=[("error", "CoCreateInstance returned error = -7fffbffb")])

    def test_an_existing_output_file_is_left_alone_when_nothing_is_found(self):
        self.m.write_products({})
        self.out.write_bytes(b"earlier")
        r = self.run_kinds("-av")
        self.assertEqual(r.status, 0)
        self.assertEqual(self.out.read_bytes(), b"earlier")

    def test_output_path_that_cannot_be_opened(self):
        self.m.write_products({"antivirus": [CONTOSO]})
        document = {"av": [CONTOSO_OBJECT], "is_av_installed": True, "os": OS_TEXT}
        missing = self.m.program_path(self.m.scratch / "missing" / "x.json")
        for path in [missing, ""]:
            with self.subTest(path=path):
                r = self.run_kinds("-av", out=path)
                self.assertEqual(r.status, 0)
                expected = [shown(document),
                            ("info", "avInfo js open file for saving failed!: file: [%s]! check permission..." % path),
                            *report(1, CONTOSO_SLOT)]
                self.assertEqual(self.inventory_part(r, len(expected)), expected)

    def test_a_failed_write_is_reported(self):
        self.m.write_products({"antivirus": [CONTOSO]})
        path = self.m.program_path("/dev/full")
        r = self.run_kinds("-av", out=path)
        self.assertEqual(r.status, 0)
        document = {"av": [CONTOSO_OBJECT], "is_av_installed": True, "os": OS_TEXT}
        expected = [shown(document), ("info", "avInfo js write to file failed!: file: [%s]!" % path),
                    *report(1, CONTOSO_SLOT)]
        self.assertEqual(self.inventory_part(r, len(expected)), expected)

    # ---- failing Security Center calls ----
    PRODUCTS = [
        {"name": "First AV", "state": 0, "signature_status": 1, "remediation_path": "C:\\1.exe", "timestamp": "t1"},
        {"name": "Middle AV", "state": 1, "signature_status": 0, "remediation_path": "C:\\2.exe", "timestamp": "t2"},
        {"name": "Last AV", "state": 2, "signature_status": 1, "remediation_path": "C:\\3.exe", "timestamp": "t3"},
    ]
    OBJECTS = [
        {"last_update": "t1", "name": "First AV", "reporting_exe": "C:\\1.exe", "signature_status": "up-to-date",
         "state": "on", "version": ""},
        {"last_update": "t2", "name": "Middle AV", "reporting_exe": "C:\\2.exe", "signature_status": "out-of-date",
         "state": "off", "version": ""},
        {"last_update": "t3", "name": "Last AV", "reporting_exe": "C:\\3.exe", "signature_status": "up-to-date",
         "state": "snoozed", "version": ""},
    ]
    SLOT_VALUES = [
        dict(name="First AV", version="", exe="C:\\1.exe", updated="t1", state="AV_ENABLED",
             signature="AVSIGNATURE_STATUS_UP_TO_DATE"),
        dict(name="Middle AV", version="", exe="C:\\2.exe", updated="t2", state="AV_DISABLED",
             signature="AVSIGNATURE_STATUS_OUT_OF_DATE"),
        dict(name="Last AV", version="", exe="C:\\3.exe", updated="t3", state="AV_SNOOZED",
             signature="AVSIGNATURE_STATUS_UP_TO_DATE"),
    ]
    # Product calls in the order they are made, with the members and slot fields each one writes.
    PRODUCT_CALLS = [
        ("get_ProductName", ["name"], ["name"]),
        ("get_ProductState", ["state"], ["state"]),
        ("get_SignatureStatus", ["signature_status"], ["signature"]),
        ("get_RemediationPath", ["reporting_exe", "version"], ["exe", "version"]),
        ("get_ProductStateTimestamp", ["last_update"], ["updated"]),
    ]

    def partial(self, index, failing_call):
        """Product index as far as it was read before failing_call failed: (object, slot, named)."""
        members, fields = [], []
        for call, call_members, call_fields in [("get_Item", [], [])] + self.PRODUCT_CALLS:
            if call == failing_call:
                break
            members += call_members
            fields += call_fields
        obj = {k: v for k, v in self.OBJECTS[index].items() if k in members}
        values = {f: v for f, v in self.SLOT_VALUES[index].items() if f in fields}
        return obj, slot(**values), "name" in members

    def expect_failure(self, call, index):
        """The document and the report after call failed at product index (None: a list-level call)."""
        if index is None:
            return None, report(0)
        objects = self.OBJECTS[:index]
        slots = [slot(**values) for values in self.SLOT_VALUES[:index]]
        obj, partial_slot, named = self.partial(index, call)
        if obj:
            objects = objects + [obj]
        if named:
            slots.append(partial_slot)
        if not objects:
            return None, report(0)
        return {"av": objects, "is_av_installed": True, "os": OS_TEXT}, report(len(slots), *slots)

    def test_a_failure_at_any_call_ends_the_queries(self):
        cases = [(call, None) for call in ("CoCreateInstance", "Initialize", "get_Count")]
        cases += [(call, index) for call in ["get_Item"] + [c for c, _, _ in self.PRODUCT_CALLS]
                  for index in (0, 1, 2)]
        for call, index in cases:
            with self.subTest(call=call, index=index):
                failure = {"provider": "antivirus", "call": call, "hresult": FAILURE}
                if index is not None:
                    failure["index"] = index
                self.m.write_products({"antivirus": self.PRODUCTS, "firewall": [{"name": "never asked"}],
                                       "failures": [failure]})
                if self.out.exists():
                    self.out.unlink()
                # The firewall would be asked next; a failure stops the queries.
                r = self.run_kinds("-av", "-fw")
                document, report_lines = self.expect_failure(call, index)
                error = [("error", "%s returned error = %s" % (call, FAILURE_TEXT))]
                if document is None:
                    self.assert_not_saved(r, report_lines, status=-1, errors=error)
                else:
                    self.assert_saved(r, document, report_lines, status=-1, errors=error)

    def test_a_failing_second_kind_keeps_what_the_first_found(self):
        self.m.write_products({"antivirus": [CONTOSO], "firewall": [{"name": "fw"}],
                               "failures": [{"provider": "firewall", "call": "get_Count", "hresult": "0x80070005"}]})
        r = self.run_kinds("-av", "-fw", "-as")
        self.assert_saved(r, {"av": [CONTOSO_OBJECT], "is_av_installed": True, "os": OS_TEXT},
                          report(1, CONTOSO_SLOT), status=-1,
                          errors=[("error", "get_Count returned error = -7ff8fffb")])


if __name__ == "__main__":
    unittest.main()
