"""Every run ends: a run lock that another process keeps costs a run at most
5 seconds, and a run that hangs all the same (a Security Center that never
answers) is ended by its watchdog with exit status 3 once its bound has passed."""

import fcntl
import os
import time
import unittest
from contextlib import contextmanager, nullcontext

from machine import BANNER, TARGET, VALGRIND, Machine

LOCK_WAIT = 5.0
WAITED_IN_VAIN = ("info", "Could not wait for other runs of the program; going on alongside them")
AV_RULE = {"endpoint_posture_check": 1, "av_value": 1, "av_action": 0}
EARLIER_VERDICT = b"0\r\nearlier\r\n-\r\n"
# Generous: these are bounds, not benchmarks (start-up, Wine, memcheck).
SLACK = 20.0 if VALGRIND else 10.0


class RunBoundsTest(unittest.TestCase):
    def setUp(self):
        self.m = Machine()
        self.addCleanup(self.m.close)

    @contextmanager
    def run_lock_held(self):
        """Another process holds the run lock for as long as the block runs."""
        if TARGET == "windows":
            # The launcher owns Global\VelmoraAvInfo.Run until the program has ended.
            yield {"VELMORA_HOLD_RUN_LOCK": "1"}
            return
        fd = os.open(self.m.programdata, os.O_RDONLY | os.O_DIRECTORY)
        try:
            fcntl.flock(fd, fcntl.LOCK_EX)  # this test's process is the other one
            yield {}
        finally:
            os.close(fd)

    def test_every_run_ends_within_its_bounds(self):
        # (name, holder, products.json delay, environment, status, least and most seconds, verdict)
        rows = [
            ("a run lock held by another process", self.run_lock_held, 0, {}, 0,
             LOCK_WAIT - 1.0, LOCK_WAIT + SLACK, b"1\r\nav\r\n-\r\n"),
            # Ended in the inventory stage: the earlier verdict stays whole.
            ("a Security Center that never answers, within a lowered bound", lambda: nullcontext({}), 600000,
             {"VELMORA_RUN_BOUND_MS": "3000"}, 3, 3.0, 3.0 + SLACK, EARLIER_VERDICT),
        ]
        for name, holder, delay, env, status, least, most, verdict in rows:
            with self.subTest(name):
                self.m.write_products({"antivirus": [{"name": "Contoso", "state": 0}], "delay_ms": delay})
                self.m.write_policy(AV_RULE)
                self.m.check_json_path.write_bytes(EARLIER_VERDICT)
                with holder() as holder_env:
                    started = time.monotonic()
                    r = self.m.run("-av", "-outpath=x.json", env={**env, **holder_env})
                    seconds = time.monotonic() - started
                self.assertEqual(r.status, status)
                self.assertGreaterEqual(seconds, least)
                self.assertLess(seconds, most)
                self.assertEqual(self.m.check_json_path.read_bytes(), verdict)
                self.assertEqual(r.records[0], ("info", BANNER))
                self.assertEqual(WAITED_IN_VAIN in r.records, holder == self.run_lock_held)
                # Ended by the watchdog: no end line, nothing logged about it.
                self.assertEqual(r.records[-1] == ("info", "END"), status == 0)


if __name__ == "__main__":
    unittest.main()
