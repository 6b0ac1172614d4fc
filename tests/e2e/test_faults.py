"""Faults and oversized input, end to end: the log says what happened, the exit
status is the documented one, nothing is reported as saved that was not, and no
earlier file is damaged."""

import json
import os
import unittest

from machine import HEAVY, TARGET, Machine, full_folder, private_mounts_work

LINUX_ONLY = unittest.skipIf(TARGET == "windows", "needs /dev/full or Linux file semantics")
BLOCKING_POLICY = {"endpoint_posture_check": 1, "av_value": 1, "av_action": 0}


class FaultTest(unittest.TestCase):
    def setUp(self):
        self.m = Machine()
        self.addCleanup(self.m.close)
        self.m.write_products({"antivirus": [{"name": "Contoso", "state": 0}]})

    def texts(self, result):
        return result.texts()

    @LINUX_ONLY
    def test_inventory_file_on_a_full_disk_is_reported_as_not_written(self):
        out = self.m.host_path("full.json")
        os.symlink("/dev/full", out)
        r = self.m.run("-av", "-outpath=" + str(out))
        self.assertEqual(r.status, 0)
        self.assertIn("avInfo js write to file failed!: file: [%s]!" % out, self.texts(r))
        self.assertFalse(any("succesfully saved" in t for t in self.texts(r)))

    @unittest.skipIf(TARGET == "windows" or os.geteuid() != 0 or not private_mounts_work(),
                     "needs root and a private mount namespace to mount a full file system")
    def test_a_failed_write_leaves_the_earlier_inventory(self):
        out = self.m.host_path("out/av.json")
        out.write_bytes(b"earlier")
        r = self.m.run("-av", "-outpath=" + str(out), prefix=full_folder(out.parent))
        self.assertEqual(r.status, 0)
        self.assertIn("avInfo js write to file failed!: file: [%s]!" % out, self.texts(r))
        self.assertEqual(os.listdir(out.parent.with_name("out.after")), ["av.json"])
        self.assertEqual(out.parent.with_name("out.after").joinpath("av.json").read_bytes(), b"earlier")

    def test_policy_that_is_a_folder_gives_no_verdict(self):
        self.m.policy_path.mkdir(parents=True)
        self.m.check_json_path.write_bytes(b"earlier")
        r = self.m.run("-av", "-outpath=x")
        self.assertEqual(r.status, 0)
        self.assertIn(("info", "json from posturedata is not valid! jsFilePath = [%s]"
                       % self.m.program_log_file_text("postureData.json")), r.records)
        errors = [t for level, t in r.records if level == "error"]
        self.assertEqual(len(errors), 1)
        self.assertTrue(errors[0].startswith("Couldn't open the file") or
                        errors[0].startswith("Exception in Func [getJsonFromFile:56]: "), errors)
        self.assertEqual(self.m.check_json_path.read_bytes(), b"earlier")

    @HEAVY
    def test_policy_of_100_megabytes_is_evaluated(self):
        size = 100 * 1024 * 1024 if TARGET == "linux" else 20 * 1024 * 1024
        policy = dict(BLOCKING_POLICY, padding="p" * size)
        self.m.write_policy(json.dumps(policy))
        r = self.m.run("-av", "-outpath=x")
        self.assertEqual(r.status, 0)
        self.assertEqual(self.m.check_json_path.read_bytes(), b"1\r\nav\r\n-\r\n")

    @HEAVY
    def test_policy_nested_100000_levels_deep(self):
        depth = 100000
        deep_object = '{"endpoint_posture_check":1,"av_value":1,"av_action":0,"deep":' + '{"a":' * depth + "1" + "}" * depth + "}"
        deep_array = "[" * depth + "]" * depth
        for text, verdict in ((deep_object, b"1\r\nav\r\n-\r\n"),
                              (deep_array, b"0\r\nendpoint_posture_check is not enabled!\r\n-\r\n")):
            with self.subTest(kind=text[0]):
                self.m.write_policy(text)
                r = self.m.run("-av", "-outpath=x")
                self.assertEqual(r.status, 0)
                self.assertEqual(r.records[-1], ("info", "END"))
                self.assertEqual(self.m.check_json_path.read_bytes(), verdict)

    @HEAVY
    def test_ten_thousand_products_with_long_names(self):
        count = 10000
        products = [{"name": "P%05d" % i, "state": 0} for i in range(count)]
        products[3]["name"] = "N" * (1024 * 1024)
        self.m.write_products({"antivirus": products})
        out = self.m.host_path("many.json")
        r = self.m.run("-av", "-outpath=" + self.m.program_path(out))
        self.assertEqual(r.status, 0)
        document = json.loads(out.read_bytes())
        self.assertEqual(len(document["av"]), count)
        self.assertEqual(document["av"][3]["name"], "N" * (1024 * 1024))
        self.assertIn("Total av installed: 9", self.texts(r))
        self.assertIn("\tavName: " + "N" * (1024 * 1024), self.texts(r))
        self.assertEqual(sum(1 for t in self.texts(r) if t.startswith("\tavName: ")), 9)

    @HEAVY
    def test_registry_value_with_ten_thousand_paths(self):
        paths = ["Computer\\HKEY_LOCAL_MACHINE\\SOFTWARE\\Missing%d" % i for i in range(10000)]
        self.m.write_policy(dict(BLOCKING_POLICY, av_action=1, registry_value=",".join(paths),
                                 registry_operator="exist", registry_action=0))
        r = self.m.run("-av", "-outpath=x")
        self.assertEqual(r.status, 0)
        self.assertEqual(sum(1 for t in self.texts(r) if t.startswith("subkeyW: [SOFTWARE\\Missing")), 10000)
        self.assertEqual(self.m.check_json_path.read_bytes(), b"0\r\ndoesn't matched with any field!\r\n-\r\n")


if __name__ == "__main__":
    unittest.main()
