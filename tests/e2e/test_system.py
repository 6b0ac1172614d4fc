"""The Windows release as the program classifies it, seen in the inventory
report and the inventory document (Wine: `winecfg -v NAME`; Linux: the
version values of the registry stand-in)."""

import json
import unittest

from machine import Machine

EXPECTED = {
    "winxp": ("WIN_XP", "Win XP"),
    "vista": ("WIN_VISTA", "Win Vista"),
    "win7": ("WIN_7", "Win 7"),
    "win8": ("WIN_8", "Win 8"),
    "win81": ("WIN_8", "Win 8"),
    "win10": ("WIN_10", "Win 10"),
}


class SystemIdentityTest(unittest.TestCase):
    def test_release_names(self):
        m = Machine()
        self.addCleanup(m.close)
        m.write_products({"antivirus": [{"name": "Contoso", "state": 0}]})
        for version, (member, text) in EXPECTED.items():
            with self.subTest(version=version):
                m.set_windows_version(version)
                out = m.host_path(version + ".json")
                r = m.run("-av", "-outpath=" + m.program_path(out))
                self.assertEqual(r.status, 0)
                self.assertIn(("info", "os: " + member), r.records)
                self.assertEqual(json.loads(out.read_bytes())["os"], text)

    def test_unknown_release(self):
        m = Machine()
        self.addCleanup(m.close)
        if m.target == "windows":
            self.skipTest("every Wine version is a known release")
        m.write_products({"firewall": [{"name": "Contoso Firewall", "state": 1}]})
        m.delete_registry_key(r"HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion")
        out = m.host_path("o.json")
        r = m.run("-fw", "-outpath=" + str(out))
        self.assertIn(("info", "os: WIN_UNKNOWN"), r.records)
        self.assertEqual(out.read_bytes(),
                         b'{"av":null,"firewall":[{"name":"Contoso Firewall","state":"off"}],'
                         b'"is_av_installed":false,"os":"Win Unknown"}')


if __name__ == "__main__":
    unittest.main()
