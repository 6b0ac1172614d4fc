"""No Security Center object is left referenced by a run (Windows, under Wine:
the test Security Center reports its live objects when it leaves the process)."""

import unittest

from machine import TARGET, Machine

PRODUCTS = {
    "antivirus": [{"name": "A%d" % i, "state": 0, "remediation_path": "C:\\x.exe", "timestamp": "t"} for i in range(3)],
    "antispyware": [{"name": "S", "state": 1}],
    "firewall": [{"name": "F", "state": 2}],
}
CALLS = ["Initialize", "get_Count", "get_Item", "get_ProductName", "get_ProductState", "get_SignatureStatus",
         "get_RemediationPath", "get_ProductStateTimestamp"]


@unittest.skipIf(TARGET != "windows", "COM objects exist only in the Windows build")
class ComReferencesTest(unittest.TestCase):
    def setUp(self):
        self.m = Machine()
        self.addCleanup(self.m.close)
        self.report = self.m.host_path("live.txt")

    def live_objects_after(self, *args):
        if self.report.exists():
            self.report.unlink()
        self.m.run(*args, env={"VELMORA_SC_LIVE_REPORT": self.m.program_path(self.report)})
        self.assertTrue(self.report.exists(), "the test Security Center was not loaded")
        return self.report.read_text()

    def test_every_object_is_released_on_success(self):
        self.m.write_products(PRODUCTS)
        self.assertEqual(self.live_objects_after("-av", "-as", "-fw", "-av", "-outpath=o.json"), "0")

    def test_every_object_is_released_when_a_call_fails(self):
        for call in CALLS:
            for index in (0, 2):
                with self.subTest(call=call, index=index):
                    failure = {"provider": "antivirus", "call": call, "hresult": "0x8000FFFF"}
                    if call not in ("Initialize", "get_Count"):
                        failure["index"] = index
                    self.m.write_products(dict(PRODUCTS, failures=[failure]))
                    self.assertEqual(self.live_objects_after("-fw", "-av", "-as", "-outpath=o.json"), "0")


if __name__ == "__main__":
    unittest.main()
