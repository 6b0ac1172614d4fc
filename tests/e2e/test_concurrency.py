"""Several instances started at the same moment, as a VPN client may do on reconnect."""

import subprocess
import unittest

from machine import BANNER, RUN_TIMEOUT, TARGET, VALGRIND, Machine, parse_log

# A run waits at most 5 seconds for the others. A run takes milliseconds,
# under Wine a few tenths of a second, under memcheck a second or more on a
# loaded machine: only so many can take their turns within that wait.
INSTANCES = 3 if VALGRIND else 12 if TARGET == "linux" else 6


class ConcurrencyTest(unittest.TestCase):
    def setUp(self):
        self.m = Machine()
        self.addCleanup(self.m.close)

    def start_all(self, args_of):
        env = self.m.environment()
        procs = [subprocess.Popen(self.m.command(*args_of(i)), env=env, stdin=subprocess.DEVNULL,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                                  cwd=self.m.scratch) for i in range(INSTANCES)]
        return [p.wait(timeout=RUN_TIMEOUT) for p in procs]

    def test_simultaneous_runs_keep_the_log_whole_and_the_verdict_complete(self):
        # Large records (a long timestamp in every product) make torn writes likely when nothing serialises runs.
        self.m.write_products({"antivirus": [{"name": "Contoso %d" % i, "state": 0, "timestamp": "t" * 3000}
                                             for i in range(9)]})
        self.m.write_policy({"endpoint_posture_check": 1, "av_value": 1, "av_action": 0})
        verdicts = set()
        for _ in range(3):
            statuses = self.start_all(lambda i: ("-av", "-outpath=" + self.m.program_path(self.m.host_path("o%d.json" % i))))
            self.assertEqual(statuses, [0] * INSTANCES)
            verdicts.add(self.m.check_json_path.read_bytes())
        records = parse_log(self.m.log_path.read_bytes().decode())  # checks every line's whole format
        self.assertEqual(sum(1 for r in records if r == ("info", BANNER)), 3 * INSTANCES)
        self.assertEqual(sum(1 for r in records if r == ("info", "END")), 3 * INSTANCES)
        # Each run's records stay together: banner ... END, never mixed with another run.
        inside = False
        for record in records:
            if record == ("info", BANNER):
                self.assertFalse(inside, "a run started inside another run's records")
                inside = True
            elif record == ("info", "END"):
                inside = False
        self.assertEqual(verdicts, {b"1\r\nav\r\n-\r\n"})

    def test_runs_with_different_verdicts_leave_one_complete_verdict(self):
        self.m.write_products({"antivirus": [{"name": "Contoso", "state": 0}]})
        self.m.write_policy({"endpoint_posture_check": 1, "av_value": 1, "av_action": 0})
        model = "M" * 200
        self.m.set_registry_value(r"HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\SystemInformation",
                                  "SystemProductName", model)
        statuses = self.start_all(lambda i: ("-av", "-outpath=x") if i % 2 else ("-fw", "-outpath=y"))
        # -fw alone records no product: no evaluation, no verdict from those runs.
        self.assertEqual(sorted(set(statuses)), [0])
        self.assertEqual(self.m.check_json_path.read_bytes(), ("1\r\nav\r\n%s\r\n" % model).encode())

    def test_the_run_lock_lines_say_what_became_of_the_lock(self):
        fell_back = ("info", "The machine-wide run lock cannot be opened; using this session's lock instead")
        self.m.write_products({})
        # (environment, the log to read, status, lines between the banner and the command line)
        rows = [(None, None, 0, [])]
        if TARGET == "windows":
            # The launcher can create the lock's name first with a DACL that refuses everyone.
            rows.append(({"VELMORA_SQUAT_RUN_LOCK": "1"}, None, 0, [fell_back]))
        else:
            # A ProgramData folder that does not exist yet: nothing to wait on, so
            # nothing to say (the run creates the folder for its log).
            fresh = self.m.programdata / "fresh"
            log = fresh / self.m.log_path.relative_to(self.m.programdata)
            rows.append(({"VELMORA_PROGRAMDATA": str(fresh)}, log, -1, []))
        for env, log, status, lines in rows:
            with self.subTest(env=env):
                r = self.m.run("-fw", "-outpath=x", env=env, log_path=log)
                self.assertEqual(r.status, status)
                self.assertEqual(r.records[:2 + len(lines)], [("info", BANNER), *lines, ("info", "Total argc: 3")])


if __name__ == "__main__":
    unittest.main()
