"""The diagnostic log: its place, line format, appending, rotation and start failure."""

import os
import pty
import select
import shutil
import subprocess
import tempfile
import time
import unittest
from pathlib import Path

from machine import BANNER, BINARY, EOL, RUN_TIMEOUT, TARGET, Machine, parse_log

MAX_SIZE = 209715200
NOTICE = "Couldn't init the ALL AvInfo logs. Restart the app with permissions!"
# Far below the 30 s another run would wait for the run lock.
PROMPTLY = 10


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

    def start_failures(self):
        """(name, environment, reason) of runs whose log truly cannot start.
        Nothing another account plants stops a run (a blocked name is passed
        over), so these are the machine's own faults."""
        if TARGET != "linux":  # ProgramData is fixed on Windows; Wine takes the user name from USER
            return [("a user name that names no folder", {"USER": ".."},
                     "The user name [..] cannot name a log folder")]
        blocker = self.m.host_path("file")
        blocker.write_text("x")
        below_a_file = str(blocker / "below-a-file")
        return [("ProgramData below a file", {"VELMORA_PROGRAMDATA": below_a_file},
                 "Cannot open the folder [%s] (error 20)" % below_a_file),
                ("ProgramData that cannot be created", {"VELMORA_PROGRAMDATA": "/proc/velmora-cannot-create"},
                 "Cannot open the folder [/proc/velmora-cannot-create] (error 2)")]

    @unittest.skipIf(TARGET != "windows", "Wine takes the user name from USER; Linux from the passwd file")
    def test_a_user_name_beyond_the_ansi_code_page_gets_its_folder(self):
        name = "J\u00fcrgen \u5c71\u7530"
        log = self.m.log_dir / name / "avInfo.log"
        r = self.m.run("-av", env={"USER": name}, log_path=log)
        self.assertEqual(r.status, -1)
        self.assertEqual(r.records[0], ("info", BANNER))

    def test_a_start_failure_ends_at_once_with_status_1_and_the_notice(self):
        cases = self.start_failures()
        for name, env, reason in cases:
            with self.subTest(name):
                started = time.monotonic()
                r = self.m.run("-av", "-outpath=x.json", env=env)
                self.assertEqual(r.status, 1)
                self.assertLess(time.monotonic() - started, PROMPTLY)
                if TARGET == "linux":
                    # Nothing waits for Enter: standard input is no terminal.
                    self.assertEqual(r.stderr.decode().split("\n"), [
                        "Log Error!: Log init failed : " + reason, "AvInfo: logInit failed!!", "ERROR: " + NOTICE, ""])

    def test_a_run_at_its_start_failure_notice_holds_up_no_other_run(self):
        # The run lock is released before the notice, which may wait for the
        # user. On Linux the first run waits for Enter on a terminal; under
        # Wine a box returns at once (no display), so there the two runs only
        # overlap.
        env = self.start_failures()[0][1]
        first = self.start_waiting_at_the_notice(env)
        try:
            started = time.monotonic()
            second = self.m.run("-av", "-outpath=x.json", env=env)
            self.assertEqual(second.status, 1)
            self.assertLess(time.monotonic() - started, PROMPTLY)
        finally:
            first_status = self.finish(first)
        self.assertEqual(first_status, 1)

    def start_waiting_at_the_notice(self, env):
        """Starts a run that fails to start; on Linux returns once it waits for Enter."""
        if TARGET != "linux":
            proc = subprocess.Popen(self.m.command("-av", "-outpath=x.json"), env={**self.m.environment(), **env},
                                    stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                    cwd=self.m.scratch)
            return proc, None
        terminal, terminal_end = pty.openpty()
        proc = subprocess.Popen(self.m.command("-av", "-outpath=x.json"), env={**self.m.environment(), **env},
                                stdin=terminal_end, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                                cwd=self.m.scratch)
        os.close(terminal_end)
        seen = b""
        while b"Press Enter" not in seen:
            ready, _, _ = select.select([proc.stderr], [], [], RUN_TIMEOUT)
            chunk = os.read(proc.stderr.fileno(), 4096) if ready else b""
            if not chunk:
                proc.kill()
                raise AssertionError("the run did not wait at its notice: %r" % seen)
            seen += chunk
        return proc, terminal

    def finish(self, started):
        proc, terminal = started
        if terminal is not None:
            os.write(terminal, b"\n\n")  # one Enter for each of the two notices
        status = proc.wait(timeout=RUN_TIMEOUT)
        if terminal is not None:
            proc.stderr.close()
            os.close(terminal)
        return status - 256 if status > 127 else status

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
