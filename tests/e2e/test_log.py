"""The diagnostic log: its place, line format, appending, rotation and start failure."""

import os
import shutil
import subprocess
import tempfile
import unittest
from pathlib import Path

from machine import BANNER, BINARY, EOL, TARGET, Machine, parse_log

MAX_SIZE = 209715200


class LogTest(unittest.TestCase):
    def setUp(self):
        self.m = Machine()
        self.addCleanup(self.m.close)

    def test_first_run_creates_the_user_folder_and_the_banner_record(self):
        self.assertFalse((self.m.log_dir / self.m.user).exists())
        r = self.m.run("-av")
        self.assertEqual(r.status, -1)
        raw = self.m.log_path.read_bytes().decode()
        # The banner carries its own line feed, so its record ends with a line holding one space.
        first_record_end = raw.index(BANNER + " " + EOL) + len(BANNER + " " + EOL)
        self.assertTrue(raw[:first_record_end].endswith("InfoDemo.............................\n " + EOL))
        self.assertEqual(r.records[0], ("info", BANNER))
        self.assertEqual(raw.splitlines()[1], " ")
        self.assertTrue(raw.endswith(" " + EOL))
        if TARGET == "windows":
            self.assertNotIn("\n", raw.replace("\r\n", "").replace(BANNER, ""))

    def test_runs_append_to_the_same_file(self):
        self.m.run("-av")
        first = self.m.log_path.read_bytes()
        r = self.m.run("-fw")
        whole = self.m.log_path.read_bytes()
        self.assertTrue(whole.startswith(first))
        self.assertEqual(len(parse_log(whole.decode())), 2 * len(r.records))

    def test_error_and_info_levels_are_named(self):
        # No products file: the Security Center query fails and logs at error level.
        r = self.m.run("-av", "-outpath=" + self.m.program_path(self.m.host_path("o.json")))
        levels = {level for level, _ in r.records}
        self.assertIn("info", levels)
        self.assertIn("error", levels)

    def test_rotation_at_the_size_limit(self):
        self.m.log_path.parent.mkdir(parents=True, exist_ok=True)
        with open(self.m.log_path, "wb") as f:
            f.truncate(MAX_SIZE - 400)  # sparse: cheap, and the banner still fits
        r = self.m.run("-av", "-fw", "-outpath=x")
        self.assertTrue(self.m.rotated_log_path.exists())
        self.assertLessEqual(self.m.rotated_log_path.stat().st_size, MAX_SIZE)
        self.assertGreater(self.m.rotated_log_path.stat().st_size, MAX_SIZE - 400)
        rotated_tail = self.m.rotated_log_path.read_bytes()[MAX_SIZE - 400:].decode()
        self.assertEqual(parse_log(rotated_tail)[0], ("info", BANNER))
        current = parse_log(self.m.log_path.read_bytes().decode())
        self.assertEqual(current[-1], ("info", "END"))
        self.assertNotIn(("info", BANNER), current)

    def test_a_file_where_the_user_folder_belongs_stops_the_run(self):
        self.m.log_dir.mkdir(parents=True)
        (self.m.log_dir / self.m.user).write_text("not a folder")
        r = self.m.run("-av", "-outpath=x.json")
        self.assertEqual(r.status, 1)
        if TARGET == "linux":
            err = r.stderr.decode()
            self.assertIn("Log Error!: Log init failed : ", err)
            self.assertIn("ERROR: Couldn't init the ALL AvInfo logs. Restart the app with permissions!", err)
            self.assertIn("AvInfo: logInit failed!!", err)
        self.assertEqual((self.m.log_dir / self.m.user).read_text(), "not a folder")

    @unittest.skipIf(TARGET != "windows", "Wine takes the user name from USER; Linux from the passwd file")
    def test_a_user_name_beyond_the_ansi_code_page_gets_its_folder(self):
        name = "J\u00fcrgen \u5c71\u7530"
        log = self.m.log_dir / name / "avInfo.log"
        r = self.m.run("-av", env={"USER": name}, log_path=log)
        self.assertEqual(r.status, -1)
        self.assertEqual(r.records[0], ("info", BANNER))

    @unittest.skipIf(TARGET == "windows", "ProgramData is fixed on Windows")
    def test_unusable_programdata_stops_the_run_with_the_notice(self):
        blocker = self.m.host_path("file")
        blocker.write_text("x")
        for programdata in (str(blocker / "below-a-file"), "/proc/velmora-cannot-create"):
            with self.subTest(programdata=programdata):
                r = self.m.run("-av", "-outpath=x", env={"VELMORA_PROGRAMDATA": programdata})
                self.assertEqual(r.status, 1)
                notice = r.stderr.decode()
                self.assertTrue(notice.startswith("Log Error!: Log init failed : "), notice)
                first_line = notice.split("\n")[0]
                self.assertLessEqual(len(first_line) - len("Log Error!: "), 511)

    @unittest.skipIf(TARGET == "windows" or shutil.which("setpriv") is None or os.geteuid() != 0,
                     "needs root and setpriv to run as a user without a passwd entry")
    def test_unknown_user_logs_to_the_dash_folder(self):
        os.chmod(self.m.programdata, 0o777)
        for folder in self.m.programdata.rglob("*"):
            os.chmod(folder, 0o777 if folder.is_dir() else 0o666)
        # The build may lie where only its owner can enter (a checkout below
        # /root): the other user runs a copy from a folder anyone can reach.
        reachable = Path(tempfile.mkdtemp(prefix="velmora-program-"))
        self.addCleanup(shutil.rmtree, reachable, True)
        os.chmod(reachable, 0o755)
        program = shutil.copy2(BINARY, reachable)
        dash_log = self.m.log_dir / "-" / "avInfo.log"
        r = self.m.run("-av", prefix=["setpriv", "--reuid=54321", "--regid=54321", "--clear-groups"],
                       log_path=dash_log, binary=program)
        self.assertEqual(r.status, -1)
        self.assertTrue(dash_log.exists())
        self.assertEqual(r.records[0], ("info", BANNER))


if __name__ == "__main__":
    unittest.main()
