"""A version.dll placed beside the program is not used by it (Windows, under Wine).

Installed under Program Files and started by a service, the program runs as
SYSTEM: a version.dll that someone puts beside it must not serve its version
reading. For any DLL that is not a KnownDLL, Windows looks in the program's
folder first; Wine prefers its builtin DLLs, and the override version=n,b
makes it search as Windows does. The planted DLL leaves a mark file when one
of its version functions is called. A control program that imports
VERSION.dll at load time shows that the mark appears when the planted DLL is
taken.

Wine's own user32.dll imports VERSION.dll (Windows' does not), so under that
override Wine loads the planted DLL into the program before the program runs:
only its use, not its loading, tells here whether the program takes it. That
no DLL outside the KnownDLLs is imported at load time is checked on the
built program itself (scripts/check-exe.sh, ctest exe_check).
"""

import json
import os
import shutil
import unittest

from machine import BINARY, BUILD_DIR, TARGET, Machine

PLANTED_DIR = os.path.join(BUILD_DIR, "planted_dll")
FULL_EXE = os.path.join(BUILD_DIR, "version_resources", "full.exe")


@unittest.skipIf(TARGET != "windows", "DLL search is a Windows matter")
class DllPlantingTest(unittest.TestCase):
    def setUp(self):
        self.m = Machine()
        self.addCleanup(self.m.close)

    def test_a_version_dll_beside_the_program_is_not_used(self):
        folder = self.m.host_path("Program Files/Velmora/placeholder").parent
        for source in (BINARY, os.path.join(PLANTED_DIR, "version.dll"),
                       os.path.join(PLANTED_DIR, "ImportsVersion.exe")):
            shutil.copy(source, folder)
        mark = folder / "planted-dll-used"
        # A product whose reporting executable has a version resource, so
        # that the program reads versions.
        self.m.write_products({"antivirus": [{"name": "Contoso", "state": 0,
                                              "remediation_path": self.m.program_path(FULL_EXE)}]})
        windows_search = {"WINEDLLOVERRIDES": "mscoree=;mshtml=;version=n,b"}
        out = self.m.host_path("inventory.json")
        cases = [
            ("ImportsVersion.exe", (), True),
            (os.path.basename(BINARY), ("-av", "-outpath=" + self.m.program_path(out)), False),
        ]
        for program, args, used in cases:
            with self.subTest(program=program):
                if mark.exists():
                    mark.unlink()
                self.m.run(*args, binary=folder / program, env=windows_search)
                self.assertEqual(mark.exists(), used)
        # The system's version.dll did the reading.
        self.assertEqual(json.loads(out.read_bytes())["av"][0]["version"], "7.0.65535.12")


if __name__ == "__main__":
    unittest.main()
