"""The posture stage: policy file, evaluation, registry rules and check.json."""

import json
import shutil
import threading
import unittest

from machine import TARGET, VALGRIND, Machine

# Runs watched by a reader of check.json (fewer under Wine and memcheck, where a run is slower).
READER_RUNS = 20 if VALGRIND else 200 if TARGET == "linux" else 30

# One enabled antivirus (Security Center state 0 is "on").
PRODUCTS = {"antivirus": [{"name": "Contoso Antivirus", "state": 0, "signature_status": 1}]}

MODEL_KEY = r"HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\SystemInformation"

NOT_ENABLED = "endpoint_posture_check is not enabled!"
NO_MATCH = "doesn't matched with any field!"
NOT_OBJECT = "js from svr is not in object format!"

# The policy's clauses in order, each with the default value of its
# "<clause>_value" member; "<clause>_operator" is "equal" and "<clause>_action"
# 1 (allow) by default.
CLAUSE_DEFAULTS = {"av": 0, "av_version": "0.0.0.0", "os_version": "Any", "registry": "NA"}
DEFAULT_RULE = {"endpoint_posture_check": 0}
for _clause, _value in CLAUSE_DEFAULTS.items():
    DEFAULT_RULE.update({_clause + "_value": _value, _clause + "_operator": "equal", _clause + "_action": 1})

OPERATOR_NAMES = {
    "equal": "OPERATOR_ENUM_EQUAL", "not_equal": "OPERATOR_ENUM_NOTEQUAL", "less_than": "OPERATOR_ENUM_LESSTHAN",
    "less_than_or_equal": "OPERATOR_ENUM_LESSTHAN_OR_EQUAL", "greater_than": "OPERATOR_ENUM_GREATERTHAN",
    "greater_than_or_equal": "OPERATOR_ENUM_GREATERTHAN_OR_EQUAL", "exist": "OPERATOR_ENUM_EXIST",
    "not_exist": "OPERATOR_ENUM_NOT_EXIST",
}


def rule_lines(**fields):
    """The thirteen rule lines for a policy whose members all have accepted kinds."""
    r = dict(DEFAULT_RULE, **fields)
    shown_values = {"av": "AV_ENABLED" if r["av_value"] == 1 else "AV_DISABLED"}
    lines = ["endptPostureCheck: %d" % r["endpoint_posture_check"]]
    for clause in CLAUSE_DEFAULTS:
        operator = OPERATOR_NAMES.get(r[clause + "_operator"].lower(), "OPERATOR_ENUM_NONE")
        # int() truncates toward zero, as the program does
        action = "VPN_ACTION_BLOCK" if int(r[clause + "_action"]) == 0 else "VPN_ACTION_ALLOW"
        lines += ["%s_value: %s" % (clause, shown_values.get(clause, r[clause + "_value"])),
                  "%s_operator: %s" % (clause, operator),
                  "%s_action: %s" % (clause, action)]
    return lines


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
        cases = [
            ({}, False, NOT_ENABLED),
            ({"endpoint_posture_check": 2, "av_action": 0}, False, NOT_ENABLED),
            ({"endpoint_posture_check": 1, "av_value": 1, "av_action": 0}, True, "av"),
            ({"endpoint_posture_check": 1, "av_value": 1, "av_version_value": "0", "av_version_action": 0},
             True, "av_version"),
            ({"endpoint_posture_check": 1, "os_version_value": "0", "os_version_action": 0.5}, True, "os"),
            ({"endpoint_posture_check": 1, "registry_value": "", "registry_action": -0.5}, True, "registry"),
            ({"endpoint_posture_check": 1}, False, NO_MATCH),
            # A huge fraction is not zero: allow.
            ({"endpoint_posture_check": 1, "os_version_value": "0", "os_version_action": 1e300}, False, NO_MATCH),
        ]
        for policy, block, message in cases:
            with self.subTest(policy=policy):
                self.m.write_policy(policy)
                r = self.run_program()
                self.assertEqual(self.check_bytes(), verdict_bytes(block, message))
                self.assertEqual(stage_records(r), self.evaluated(rule_lines(**policy), block, message))

    def test_array_policy_is_not_an_object_and_the_check_stays_off(self):
        self.m.write_policy("[1, 2]")
        r = self.run_program()
        self.assertEqual(stage_records(r), self.evaluated(rule_lines(), False, NOT_ENABLED, parse=(False, NOT_OBJECT)))
        self.assertEqual(self.check_bytes(), verdict_bytes(False, NOT_ENABLED))

    def test_policy_with_byte_order_mark_reads_like_one_without(self):
        policy = {"endpoint_posture_check": 1, "av_value": 1, "av_action": 0}
        self.m.write_policy(b"\xef\xbb\xbf" + json.dumps(policy).encode())
        r = self.run_program()
        self.assertEqual(stage_records(r), self.evaluated(rule_lines(**policy), True, "av"))
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
        self.assertEqual(stage_records(r), self.evaluated(rule_lines(endpoint_posture_check=1), False, NO_MATCH))
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

    def test_a_reader_only_ever_sees_a_whole_verdict(self):
        # Verdicts of different lengths in turn: a file truncated and then
        # written would show a reader an empty or a cut-off one.
        verdicts = [({"endpoint_posture_check": 1, "av_value": 1, "av_action": 0}, verdict_bytes(True, "av")),
                    ({}, verdict_bytes(False, NOT_ENABLED))]
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
        try:
            for i in range(READER_RUNS):
                self.m.write_policy(verdicts[i % 2][0])
                self.run_program()
        finally:
            stop.set()
            reader.join()
        self.assertTrue(seen)
        self.assertLessEqual(seen, {whole for _, whole in verdicts})
        self.assert_no_file_left_behind()

    @unittest.skipIf(TARGET == "windows" or VALGRIND or shutil.which("strace") is None,
                     "needs strace to make the program's own writes fail")
    def test_a_failed_write_leaves_the_earlier_verdict(self):
        self.m.write_policy({"endpoint_posture_check": 1, "av_value": 1, "av_action": 0})
        earlier = verdict_bytes(False, NO_MATCH, "earlier")
        self.m.check_json_path.write_bytes(earlier)
        model = "\u20ac" * 254  # 762 bytes of UTF-8
        self.set_model(model)
        # Every write to the verdict's new file fails as on a full quota
        # (EFBIG), injected by strace; the log, elsewhere, is written as usual.
        # strace -D keeps the program at the shell's process id, which names
        # that file ("<target>.<process id>-0.tmp").
        inject = ["sh", "-c", 'exec strace -D -qq -o /dev/null -P "$0.$$-0.tmp" -e trace=write '
                  '-e inject=write:error=EFBIG -- "$@"', str(self.m.check_json_path)]
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
                self.assertEqual(stage_records(r), self.evaluated(rule_lines(**policy), False, NO_MATCH, model=line))

    # ---- the OS rule ----
    def test_os_rule_on_windows_7_and_10(self):
        cases = [
            ("win7", "windows_10", "equal", NO_MATCH),
            ("win10", "windows_10", "equal", "os"),
            ("win10", "windows_7,WINDOWS_10", "equal", "os"),
            ("win10", "windows_7, windows_10", "equal", NO_MATCH),
            ("win7", "windows_7,windows_10", "not_equal", NO_MATCH),
            ("win10", "windows_7", "not_equal", "os"),
            ("win10", "windows_10", "less_than", NO_MATCH),
        ]
        for version, value, operator, message in cases:
            with self.subTest(version=version, value=value, operator=operator):
                self.m.set_windows_version(version)
                policy = {"endpoint_posture_check": 1, "os_version_value": value,
                          "os_version_operator": operator, "os_version_action": 0}
                self.m.write_policy(policy)
                r = self.run_program()
                self.assertEqual(self.check_bytes(), verdict_bytes(message == "os", message))
                self.assertEqual(stage_records(r), self.evaluated(rule_lines(**policy), message == "os", message))

    # ---- the registry rule ----
    def registry_case(self, value, operator, message, between):
        policy = {"endpoint_posture_check": 1, "registry_value": value, "registry_operator": operator,
                  "registry_action": 0}
        self.m.write_policy(policy)
        r = self.run_program()
        self.assertEqual(self.check_bytes(), verdict_bytes(message == "registry", message))
        self.assertEqual(stage_records(r), self.evaluated(rule_lines(**policy), message == "registry", message,
                                                          between=between))

    def test_registry_rule_with_existing_and_missing_keys(self):
        self.m.add_registry_key(r"HKEY_LOCAL_MACHINE\SOFTWARE\Contoso\Agent")
        self.m.add_registry_key(r"HKEY_CURRENT_USER\Software\Contoso")
        present = r"Computer\HKEY_LOCAL_MACHINE\SOFTWARE\Contoso\Agent"
        missing = r"Computer\HKEY_LOCAL_MACHINE\SOFTWARE\Contoso\Gone"
        cases = [
            (present, "exist", "registry", [r"subkeyW: [SOFTWARE\Contoso\Agent]"]),
            (present, "not_exist", NO_MATCH, [r"subkeyW: [SOFTWARE\Contoso\Agent]"]),
            (missing, "exist", NO_MATCH, [r"subkeyW: [SOFTWARE\Contoso\Gone]"]),
            (missing, "NOT_EXIST", "registry", [r"subkeyW: [SOFTWARE\Contoso\Gone]"]),
            (present, "equal", NO_MATCH, [r"subkeyW: [SOFTWARE\Contoso\Agent]"]),
            (missing + "," + present, "exist", "registry",
             [r"subkeyW: [SOFTWARE\Contoso\Gone]", r"subkeyW: [SOFTWARE\Contoso\Agent]"]),
            # The item after ", " starts with a blank: no valid path.
            (r"Computer\HKEY_CURRENT_USER\NoSuchKey, Computer\HKEY_CURRENT_USER\Software\Contoso", "exist",
             NO_MATCH, [r"subkeyW: [NoSuchKey]"]),
            (r"HKLM\SOFTWARE", "not_exist", "registry", []),
        ]
        for value, operator, message, between in cases:
            with self.subTest(value=value, operator=operator):
                self.registry_case(value, operator, message, between)

    @unittest.skipIf(TARGET == "windows", "unreadable keys are described for the stand-in only")
    def test_registry_rule_with_an_unreadable_key(self):
        self.m.deny_registry_key(r"HKEY_LOCAL_MACHINE\SOFTWARE\Locked")
        path = r"Computer\HKEY_LOCAL_MACHINE\SOFTWARE\Locked"
        error = "error in opening registry path! ERROR: 5, RegPath: " + path
        for operator, message in [("exist", NO_MATCH), ("not_exist", "registry")]:
            with self.subTest(operator=operator):
                self.registry_case(path, operator, message, [r"subkeyW: [SOFTWARE\Locked]", error])


if __name__ == "__main__":
    unittest.main()
