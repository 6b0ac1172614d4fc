"""The posture stage: policy file, evaluation, registry rules and check.json."""

import json
import os
import shutil
import subprocess
import tempfile
import threading
import time
import unittest
from pathlib import Path

from machine import BINARY, BUILD_DIR, TARGET, VALGRIND, Machine

# Runs watched by a reader of check.json (fewer under memcheck, where a run is slower).
READER_RUNS = 20 if VALGRIND else 200 if TARGET == "linux" else 100

# The Windows reader and holder of check.json (tests/wine/verdict_reader.c).
VERDICT_READER = os.path.join(BUILD_DIR, "VerdictReader.exe")

# An account without root for the runs of another user (Linux).
OTHER_USER = ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"]

# One enabled antivirus (Security Center state 0 is "on").
PRODUCTS = {"antivirus": [{"name": "Contoso Antivirus", "state": 0, "signature_status": 1}]}

MODEL_KEY = r"HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\SystemInformation"

NOT_ENABLED = "endpoint_posture_check is not enabled!"
NO_MATCH = "doesn't matched with any field!"
NOT_OBJECT = "js from svr is not in object format!"

# The thirteen rule lines the parser logs, in order, for a policy whose
# members all keep their defaults. Tests name the lines they expect otherwise,
# literally: the mapping itself is pinned by the parser's unit test.
DEFAULT_RULE_LINES = {
    "endptPostureCheck": "0",
    "av_value": "AV_DISABLED", "av_operator": "OPERATOR_ENUM_EQUAL", "av_action": "VPN_ACTION_ALLOW",
    "av_version_value": "0.0.0.0", "av_version_operator": "OPERATOR_ENUM_EQUAL", "av_version_action": "VPN_ACTION_ALLOW",
    "os_version_value": "Any", "os_version_operator": "OPERATOR_ENUM_EQUAL", "os_version_action": "VPN_ACTION_ALLOW",
    "registry_value": "NA", "registry_operator": "OPERATOR_ENUM_EQUAL", "registry_action": "VPN_ACTION_ALLOW",
}
CHECK_ON = {"endptPostureCheck": "1"}
EXIST = "OPERATOR_ENUM_EXIST"
NOT_EXIST = "OPERATOR_ENUM_NOT_EXIST"


def rule_lines(shown=None):
    """The rule lines, "<name>: <text>", with `shown` replacing the default texts of the lines it names."""
    lines = dict(DEFAULT_RULE_LINES, **(shown or {}))
    return ["%s: %s" % line for line in lines.items()]


def verdict_bytes(block, message, model="-"):
    return ("%d\r\n%s\r\n%s\r\n" % (1 if block else 0, message, model)).encode("utf-8")


def stage_records(result):
    """The posture stage's records: from its first line up to the end line."""
    starts = ("Couldn't open the file ", "Exception in Func [getJsonFromFile:", "json from posturedata is not valid!",
              "parseAllServerJs res: ")
    texts = [m for _, m in result.records]
    first = next(i for i, t in enumerate(texts) if t.startswith(starts))
    end = len(texts) - 1 if texts[-1] == "END" else len(texts)
    return result.records[first:end]


class PostureTest(unittest.TestCase):
    def setUp(self):
        self.m = Machine()
        self.addCleanup(self.m.close)
        self.m.write_products(PRODUCTS)
        self.policy_text = self.m.program_log_file_text("postureData.json")
        self.check_text = self.m.program_log_file_text("check.json")

    def run_program(self):
        r = self.m.run("-av", "-outpath=" + self.m.program_path(self.m.host_path("inventory.json")))
        self.assertEqual(r.status, 0, r.log_text)
        self.assertEqual(r.records[-1], ("info", "END"))
        return r

    def evaluated(self, rule, block, message, parse=(True, ""), model="-", between=()):
        """The stage's records of a run that evaluated, wrote check.json and read the model."""
        saved = "Final compliance status saved to file [%s] isVpnBlock: [%s], msg: [%s]" % (
            self.check_text, "true" if block else "false", message)
        model_lines = [] if model == "-" else ["SystemModel: [%s]" % model]
        texts = (["parseAllServerJs res: [%s], msg: [%s]" % ("true" if parse[0] else "false", parse[1])]
                 + rule + list(between)
                 + ["evaluatePostureDataWithAVInfo res: [%s], msg: [%s]" % ("true" if block else "false", message)]
                 + model_lines + [saved, "SystemModel end: [%s]" % model])
        return [("info", t) for t in texts]

    def not_evaluated(self, *errors):
        return [("error", e) for e in errors] + [
            ("info", "json from posturedata is not valid! jsFilePath = [%s]" % self.policy_text),
            ("info", "SystemModel end: [-]"),
        ]

    def check_bytes(self):
        return self.m.check_json_path.read_bytes()

    def set_model(self, text):
        self.m.set_registry_value(MODEL_KEY, "SystemProductName", text)

    # ---- the six outcomes ----
    def test_each_outcome_writes_its_verdict(self):
        blocked = "VPN_ACTION_BLOCK"
        cases = [
            ({}, {}, False, NOT_ENABLED),
            ({"endpoint_posture_check": 2, "av_action": 0}, {"endptPostureCheck": "2", "av_action": blocked},
             False, NOT_ENABLED),
            ({"endpoint_posture_check": 1, "av_value": 1, "av_action": 0},
             dict(CHECK_ON, av_value="AV_ENABLED", av_action=blocked), True, "av"),
            ({"endpoint_posture_check": 1, "av_value": 1, "av_version_value": "0", "av_version_action": 0},
             dict(CHECK_ON, av_value="AV_ENABLED", av_version_value="0", av_version_action=blocked), True, "av_version"),
            # Fractions of an action are cut toward zero.
            ({"endpoint_posture_check": 1, "os_version_value": "0", "os_version_action": 0.5},
             dict(CHECK_ON, os_version_value="0", os_version_action=blocked), True, "os"),
            ({"endpoint_posture_check": 1, "registry_value": "", "registry_action": -0.5},
             dict(CHECK_ON, registry_value="", registry_action=blocked), True, "registry"),
            ({"endpoint_posture_check": 1}, CHECK_ON, False, NO_MATCH),
            # A huge fraction is not zero: allow.
            ({"endpoint_posture_check": 1, "os_version_value": "0", "os_version_action": 1e300},
             dict(CHECK_ON, os_version_value="0"), False, NO_MATCH),
        ]
        for policy, shown, block, message in cases:
            with self.subTest(policy=policy):
                self.m.write_policy(policy)
                r = self.run_program()
                self.assertEqual(self.check_bytes(), verdict_bytes(block, message))
                self.assertEqual(stage_records(r), self.evaluated(rule_lines(shown), block, message))

    def test_array_policy_is_not_an_object_and_the_check_stays_off(self):
        self.m.write_policy("[1, 2]")
        r = self.run_program()
        self.assertEqual(stage_records(r), self.evaluated(rule_lines(), False, NOT_ENABLED, parse=(False, NOT_OBJECT)))
        self.assertEqual(self.check_bytes(), verdict_bytes(False, NOT_ENABLED))

    def test_policy_with_byte_order_mark_reads_like_one_without(self):
        policy = {"endpoint_posture_check": 1, "av_value": 1, "av_action": 0}
        self.m.write_policy(b"\xef\xbb\xbf" + json.dumps(policy).encode())
        r = self.run_program()
        shown = dict(CHECK_ON, av_value="AV_ENABLED", av_action="VPN_ACTION_BLOCK")
        self.assertEqual(stage_records(r), self.evaluated(rule_lines(shown), True, "av"))
        self.assertEqual(self.check_bytes(), verdict_bytes(True, "av"))

    def test_malformed_policies_leave_an_earlier_verdict_alone(self):
        self.m.log_dir.mkdir(parents=True, exist_ok=True)
        self.m.check_json_path.write_bytes(b"earlier")
        for text in ['{"endpoint_posture_check":1} {}', '{"a":1} x', '{"a":1 /* c */}', ""]:
            with self.subTest(text=text):
                self.m.write_policy(text)
                r = self.run_program()
                records = stage_records(r)
                self.assertEqual(records[0][0], "error")
                self.assertTrue(records[0][1].startswith("Exception in Func [getJsonFromFile:56]: [json.exception."),
                                records[0][1])
                self.assertEqual(records[1:], self.not_evaluated()[0:])
                self.assertEqual(self.check_bytes(), b"earlier")

    def test_deeply_nested_policy_is_evaluated(self):
        depth = 100000
        self.m.write_policy('{"deep":%s%s,"endpoint_posture_check":1}' % ("[" * depth, "]" * depth))
        r = self.run_program()
        self.assertEqual(stage_records(r), self.evaluated(rule_lines(CHECK_ON), False, NO_MATCH))
        self.assertEqual(self.check_bytes(), verdict_bytes(False, NO_MATCH))

    def test_missing_policy_reports_code_2_and_writes_no_verdict(self):
        self.m.log_dir.mkdir(parents=True, exist_ok=True)
        self.m.check_json_path.write_bytes(b"1\r\nav\r\nearlier\r\n")
        r = self.run_program()
        self.assertEqual(stage_records(r), self.not_evaluated(
            "Couldn't open the file %s for reading. ErrorCode: 2" % self.policy_text))
        self.assertEqual(self.check_bytes(), b"1\r\nav\r\nearlier\r\n")

    def test_without_any_product_the_stage_does_not_evaluate(self):
        self.m.write_products({})
        self.m.write_policy({"endpoint_posture_check": 1})
        r = self.run_program()
        self.assertEqual(stage_records(r), self.not_evaluated())
        self.assertFalse(self.m.check_json_path.exists())

    def test_verdict_file_that_cannot_be_opened(self):
        self.m.write_policy({"endpoint_posture_check": 1})
        self.m.check_json_path.mkdir(parents=True)
        r = self.run_program()
        error = "Is a directory" if TARGET == "linux" else "Permission denied"
        records = stage_records(r)
        self.assertEqual(records[-2:], [
            ("info", "Error opening the file [%s] for writing. Error code: [%s]" % (self.check_text, error)),
            ("info", "SystemModel end: [-]")])
        self.assertEqual(records[-3], ("info", "evaluatePostureDataWithAVInfo res: [false], msg: [%s]" % NO_MATCH))
        self.assertTrue(self.m.check_json_path.is_dir())

    # ---- the file replaced whole ----
    def assert_no_file_left_behind(self):
        self.assertEqual(sorted(p.name for p in self.m.log_dir.iterdir()),
                         sorted(["check.json", "postureData.json", self.m.user]))

    def start_reader(self):
        """A reader polling check.json; the function returned stops it and
        gives every content it read. Under Wine a Windows process, since Wine
        checks sharing only between Windows handles."""
        if TARGET == "windows":
            stop, report = self.m.host_path("reader.stop"), self.m.host_path("reader.txt")
            proc = subprocess.Popen(["wine", VERDICT_READER, "poll", self.m.program_path(self.m.check_json_path),
                                     self.m.program_path(stop), self.m.program_path(report)],
                                    env=self.m.environment(), stdin=subprocess.DEVNULL,
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

            def finish():
                stop.write_bytes(b"")
                self.assertEqual(proc.wait(timeout=60), 0)
                lines = report.read_text().split("\n")
                self.assertTrue(lines[-2].startswith("reads "))
                return {bytes.fromhex(line) for line in lines[:-2]}
            return finish
        seen = set()
        stop = threading.Event()

        def poll():
            while not stop.is_set():
                try:
                    seen.add(self.m.check_json_path.read_bytes())
                except FileNotFoundError:
                    pass

        reader = threading.Thread(target=poll)
        reader.start()

        def finish():
            stop.set()
            reader.join()
            return seen
        return finish

    def test_a_reader_only_ever_sees_a_whole_verdict(self):
        # Verdicts of different lengths in turn: a file truncated and then
        # written would show a reader an empty or a cut-off one. Under Wine
        # the replacement meets the reader's handle and is retried, or the
        # file written in place (Wine has no POSIX-semantics rename): new
        # bytes over a longer old text may show the old text's end for a
        # moment, never less than the whole new verdict.
        verdicts = [({"endpoint_posture_check": 1, "av_value": 1, "av_action": 0}, verdict_bytes(True, "av")),
                    ({}, verdict_bytes(False, NOT_ENABLED))]
        wholes = [whole for _, whole in verdicts]
        finish = self.start_reader()
        saved = 0
        try:
            for i in range(READER_RUNS):
                self.m.write_policy(verdicts[i % 2][0])
                r = self.run_program()
                saved += any(t.startswith("Final compliance status saved to file ") for t in r.texts())
        finally:
            seen = finish()
        # Every run's verdict arrived: a reader sharing no writing makes the
        # file busy for a moment, never leaves it unwritten.
        self.assertEqual(saved, READER_RUNS)
        self.assertTrue(seen)
        if TARGET == "linux":
            self.assertLessEqual(seen, set(wholes))
        for content in seen:
            self.assertTrue(any(content.startswith(whole) for whole in wholes), content)
        self.assert_no_file_left_behind()

    @unittest.skipUnless(TARGET == "windows", "needs a Windows process holding the file")
    def test_a_file_held_open_is_replaced_after_retries_or_written_in_place(self):
        # The holder shares read and write, not delete, as a client opening
        # the file plainly does; it lets go that long after the run's last
        # line before the replacement. Wine refuses every rename over an open
        # file with error 5.
        policy = {"endpoint_posture_check": 1, "av_value": 1, "av_action": 0}
        in_place = ("The file [%s] could not be replaced; writing it in place. Error code: [5]"
                    % self.check_text)
        saved = "Final compliance status saved to file [%s] isVpnBlock: [true], msg: [av]" % self.check_text
        cases = [(300, [saved]), (3000, [in_place, saved])]
        self.m.write_policy(policy)
        for milliseconds, lines in cases:
            with self.subTest(milliseconds=milliseconds):
                self.m.check_json_path.write_bytes(verdict_bytes(False, NO_MATCH, "an earlier, longer model"))
                self.m.log_path.unlink(missing_ok=True)
                ready = self.m.host_path("ready-%d" % milliseconds)
                holder = subprocess.Popen(
                    ["wine", VERDICT_READER, "hold", self.m.program_path(self.m.check_json_path), str(milliseconds),
                     self.m.program_path(ready), self.m.program_path(self.m.log_path),
                     "evaluatePostureDataWithAVInfo res:"],
                    env=self.m.environment(), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                    stderr=subprocess.DEVNULL)
                for _ in range(3000):
                    if ready.exists():
                        break
                    time.sleep(0.01)
                r = self.run_program()
                self.assertEqual(holder.wait(timeout=60), 0)
                self.assertEqual(stage_records(r)[-len(lines) - 1:],
                                 [("info", t) for t in lines + ["SystemModel end: [-]"]])
                self.assertEqual(self.check_bytes(), verdict_bytes(True, "av"))
                self.assert_no_file_left_behind()

    @unittest.skipIf(TARGET == "windows" or VALGRIND or os.geteuid() != 0 or shutil.which("setpriv") is None,
                     "needs root to run the program as another account")
    def test_another_account_writes_check_json_only_as_its_rules_allow(self):
        # Another account (nobody) and root's check.json. Read-only: refused,
        # never replaced. In a sticky folder the rename over root's file is
        # refused (EPERM, 1) but the file lets everyone write: written in
        # place, still root's, cut to the new verdict's length.
        policy = {"endpoint_posture_check": 1, "av_value": 1, "av_action": 0}
        self.m.write_policy(policy)
        earlier = verdict_bytes(False, NO_MATCH, "an earlier, longer model")
        opened = "Error opening the file [%s] for writing. Error code: [Permission denied]" % self.check_text
        in_place = ("The file [%s] could not be replaced; writing it in place. Error code: [1]"
                    % self.check_text)
        saved = "Final compliance status saved to file [%s] isVpnBlock: [true], msg: [av]" % self.check_text
        cases = [
            ("read-only file", 0o444, 0o777, [opened], earlier),
            ("sticky folder, file writable by all", 0o666, 0o1777, [in_place, saved], verdict_bytes(True, "av")),
        ]
        program = self.program_for_everyone()
        inventory = Path(program).parent / "inventory.json"
        log_path = self.m.log_dir / "nobody" / "avInfo.log"
        for what, file_mode, folder_mode, lines, after in cases:
            with self.subTest(what):
                self.m.check_json_path.write_bytes(earlier)
                os.chmod(self.m.check_json_path, file_mode)
                os.chmod(self.m.log_dir, folder_mode)
                inode = os.stat(self.m.check_json_path).st_ino
                r = self.m.run("-av", "-outpath=%s" % inventory, prefix=OTHER_USER, log_path=log_path, binary=program)
                self.assertEqual(r.status, 0, r.log_text)
                self.assertEqual(stage_records(r)[-len(lines) - 1:],
                                 [("info", t) for t in lines + ["SystemModel end: [-]"]])
                self.assertEqual(self.check_bytes(), after)
                self.assertEqual(os.stat(self.m.check_json_path).st_ino, inode)
                self.assertEqual(sorted(p.name for p in self.m.log_dir.iterdir()),
                                 ["check.json", "nobody", "postureData.json"])

    def program_for_everyone(self):
        """A copy of the program that any account may run, over a ProgramData
        that any account may read."""
        for folder in [self.m.programdata, *self.m.programdata.rglob("*")]:
            os.chmod(folder, 0o777 if folder.is_dir() else 0o666)
        reachable = Path(tempfile.mkdtemp(prefix="velmora-program-"))
        self.addCleanup(shutil.rmtree, reachable, True)
        os.chmod(reachable, 0o777)  # the inventory document goes there too
        return shutil.copy2(BINARY, reachable)

    @unittest.skipIf(TARGET == "windows" or VALGRIND or shutil.which("strace") is None,
                     "needs strace to make the program's own writes fail")
    def test_a_failed_write_leaves_the_earlier_verdict(self):
        self.m.write_policy({"endpoint_posture_check": 1, "av_value": 1, "av_action": 0})
        earlier = verdict_bytes(False, NO_MATCH, "earlier")
        self.m.check_json_path.write_bytes(earlier)
        model = "\u20ac" * 254  # 762 bytes of UTF-8
        self.set_model(model)
        # Every write of the verdict fails as on a full quota (EFBIG),
        # injected by strace. The verdict alone is written at explicit offsets
        # (pwrite64); the log, appended, is written as usual. Its new file's
        # name cannot be known in advance.
        inject = ["strace", "-D", "-qq", "-o", "/dev/null", "-e", "trace=pwrite64",
                  "-e", "inject=pwrite64:error=EFBIG", "--"]
        r = self.m.run("-av", "-outpath=" + str(self.m.host_path("av.json")), prefix=inject)
        self.assertEqual(r.records[-5:], [("info", t) for t in [
            "SystemModel: [%s]" % model,
            "Error writing the file [%s] for writing. Error code: [File too large]" % self.check_text,
            "Error closing the file [%s] for writing. Error code: [File too large]" % self.check_text,
            "SystemModel end: [%s]" % model,
            "END"]])
        self.assertEqual(self.check_bytes(), earlier)
        self.assert_no_file_left_behind()

    # ---- the model name ----
    def test_model_name_in_the_third_line(self):
        cases = [
            ("Contoso Laptop 9", "Contoso Laptop 9"),
            ("Ordinateur portable \u00e9t\u00e9 \u20ac \u4e2d\u6587", "Ordinateur portable \u00e9t\u00e9 \u20ac \u4e2d\u6587"),
            ("M" * 254, "M" * 254),
            ("L" * 255, "-"),  # does not fit the value buffer
        ]
        policy = {"endpoint_posture_check": 1}
        self.m.write_policy(policy)
        for stored, line in cases:
            with self.subTest(stored=stored[:20], length=len(stored)):
                self.set_model(stored)
                r = self.run_program()
                self.assertEqual(self.check_bytes(), verdict_bytes(False, NO_MATCH, line))
                self.assertEqual(stage_records(r), self.evaluated(rule_lines(CHECK_ON), False, NO_MATCH, model=line))

    # ---- the OS rule ----
    def test_os_rule_on_windows_7_and_10(self):
        cases = [
            ("win7", "windows_10", "equal", "OPERATOR_ENUM_EQUAL", NO_MATCH),
            ("win10", "windows_10", "equal", "OPERATOR_ENUM_EQUAL", "os"),
            ("win10", "windows_7,WINDOWS_10", "equal", "OPERATOR_ENUM_EQUAL", "os"),
            ("win10", "windows_7, windows_10", "equal", "OPERATOR_ENUM_EQUAL", NO_MATCH),
            ("win7", "windows_7,windows_10", "not_equal", "OPERATOR_ENUM_NOTEQUAL", NO_MATCH),
            ("win10", "windows_7", "not_equal", "OPERATOR_ENUM_NOTEQUAL", "os"),
            ("win10", "windows_10", "less_than", "OPERATOR_ENUM_LESSTHAN", NO_MATCH),
        ]
        for version, value, operator, shown_operator, message in cases:
            with self.subTest(version=version, value=value, operator=operator):
                self.m.set_windows_version(version)
                policy = {"endpoint_posture_check": 1, "os_version_value": value,
                          "os_version_operator": operator, "os_version_action": 0}
                self.m.write_policy(policy)
                r = self.run_program()
                self.assertEqual(self.check_bytes(), verdict_bytes(message == "os", message))
                shown = dict(CHECK_ON, os_version_value=value, os_version_operator=shown_operator,
                             os_version_action="VPN_ACTION_BLOCK")
                self.assertEqual(stage_records(r), self.evaluated(rule_lines(shown), message == "os", message))

    # ---- the registry rule ----
    def registry_case(self, value, operator, shown_operator, message, between):
        policy = {"endpoint_posture_check": 1, "registry_value": value, "registry_operator": operator,
                  "registry_action": 0}
        self.m.write_policy(policy)
        r = self.run_program()
        self.assertEqual(self.check_bytes(), verdict_bytes(message == "registry", message))
        shown = dict(CHECK_ON, registry_value=value, registry_operator=shown_operator,
                     registry_action="VPN_ACTION_BLOCK")
        self.assertEqual(stage_records(r), self.evaluated(rule_lines(shown), message == "registry", message,
                                                          between=between))

    def test_registry_rule_with_existing_and_missing_keys(self):
        self.m.add_registry_key(r"HKEY_LOCAL_MACHINE\SOFTWARE\Contoso\Agent")
        self.m.add_registry_key(r"HKEY_CURRENT_USER\Software\Contoso")
        present = r"Computer\HKEY_LOCAL_MACHINE\SOFTWARE\Contoso\Agent"
        missing = r"Computer\HKEY_LOCAL_MACHINE\SOFTWARE\Contoso\Gone"
        cases = [
            (present, "exist", EXIST, "registry", [r"subkeyW: [SOFTWARE\Contoso\Agent]"]),
            (present, "not_exist", NOT_EXIST, NO_MATCH, [r"subkeyW: [SOFTWARE\Contoso\Agent]"]),
            (missing, "exist", EXIST, NO_MATCH, [r"subkeyW: [SOFTWARE\Contoso\Gone]"]),
            (missing, "NOT_EXIST", NOT_EXIST, "registry", [r"subkeyW: [SOFTWARE\Contoso\Gone]"]),
            (present, "equal", "OPERATOR_ENUM_EQUAL", NO_MATCH, [r"subkeyW: [SOFTWARE\Contoso\Agent]"]),
            (missing + "," + present, "exist", EXIST, "registry",
             [r"subkeyW: [SOFTWARE\Contoso\Gone]", r"subkeyW: [SOFTWARE\Contoso\Agent]"]),
            # The item after ", " starts with a blank: no valid path.
            (r"Computer\HKEY_CURRENT_USER\NoSuchKey, Computer\HKEY_CURRENT_USER\Software\Contoso", "exist", EXIST,
             NO_MATCH, [r"subkeyW: [NoSuchKey]"]),
            (r"HKLM\SOFTWARE", "not_exist", NOT_EXIST, "registry", []),
        ]
        for value, operator, shown_operator, message, between in cases:
            with self.subTest(value=value, operator=operator):
                self.registry_case(value, operator, shown_operator, message, between)

    @unittest.skipIf(TARGET == "windows", "unreadable keys are described for the stand-in only")
    def test_registry_rule_with_an_unreadable_key(self):
        self.m.deny_registry_key(r"HKEY_LOCAL_MACHINE\SOFTWARE\Locked")
        path = r"Computer\HKEY_LOCAL_MACHINE\SOFTWARE\Locked"
        error = "error in opening registry path! ERROR: 5, RegPath: " + path
        for operator, shown_operator, message in [("exist", EXIST, NO_MATCH), ("not_exist", NOT_EXIST, "registry")]:
            with self.subTest(operator=operator):
                self.registry_case(path, operator, shown_operator, message, [r"subkeyW: [SOFTWARE\Locked]", error])


if __name__ == "__main__":
    unittest.main()
