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

    def status_and_live_objects(self, *args):
        """The run's exit status and the objects the test Security Center still held when it left."""
        if self.report.exists():
            self.report.unlink()
        r = self.m.run(*args, env={"VELMORA_SC_LIVE_REPORT": self.m.program_path(self.report)})
        return r.status, self.report.read_text() if self.report.exists() else "no report: the server never unloaded"

    def test_every_object_is_released_on_success(self):
        self.m.write_products(PRODUCTS)
        self.assertEqual(self.status_and_live_objects("-av", "-as", "-fw", "-av", "-outpath=o.json"), (0, "0"))

    def test_every_object_is_released_when_a_call_fails(self):
        # With "dangling_out" the failing call also leaves a pointer to nothing
        # in its out parameter: a run that read or released it would die of an
        # access violation instead of ending with -1.
        for call in CALLS:
            for index in (0, 2):
                for dangling in (False, True):
                    with self.subTest(call=call, index=index, dangling=dangling):
                        failure = {"provider": "antivirus", "call": call, "hresult": "0x8000FFFF",
                                   "dangling_out": dangling}
                        if call not in ("Initialize", "get_Count"):
                            failure["index"] = index
                        self.m.write_products(dict(PRODUCTS, failures=[failure]))
                        self.assertEqual(self.status_and_live_objects("-fw", "-av", "-as", "-outpath=o.json"),
                                         (-1, "0"))

if __name__ == "__main__":
    unittest.main()
