"""The command line: switches, the output path, usage text and exit status."""

import unittest

from machine import BANNER, HEAVY, TARGET, Machine

USAGE = [
    "Usage: VelmoraAvInfo.exe [-av | -as | -fw] -outpath=AnyFile.txt",
    "\tav: Query Antivirus programs",
    "\tas: Query Antispyware programs",
    "\tfw: Query Firewall programs",
]


def info(*texts):
    return [("info", t) for t in texts]


class CommandLineTest(unittest.TestCase):
    def setUp(self):
        self.m = Machine()
        self.addCleanup(self.m.close)
        self.m.write_products({})  # a Security Center without products: runs complete with 0

    def head(self, result, count):
        return result.records[:count]

    def test_too_few_arguments_log_only_the_usage(self):
        for args in [(), ("-av",), ("-outpath=x.json",)]:
            with self.subTest(args=args):
                r = self.m.run(*args)
                # Under Wine the whole exit code: 0xFFFFFFFF, not only its low byte 255.
                self.assertEqual(r.status, -1)
                self.assertEqual(r.records, info(BANNER, *USAGE))

    def test_no_kind_switch_logs_arguments_then_usage(self):
        r = self.m.run("-outpath=a.json", "-outpath=b.json")
        self.assertEqual(r.status, -1)
        self.assertEqual(r.records, info(BANNER, "Total argc: 3", "argv[1]: -outpath=a.json",
                                         "argv[2]: -outpath=b.json", "outfilepath: b.json", *USAGE))

    def test_switches_need_the_whole_argument(self):
        r = self.m.run("-avx", "-OUTPATH=a.json", "av", "-a")
        self.assertEqual(r.status, -1)
        self.assertEqual(r.records, info(BANNER, "Total argc: 5", "argv[1]: -avx", "argv[2]: -OUTPATH=a.json",
                                         "argv[3]: av", "argv[4]: -a", "outfilepath: ", *USAGE))

    def test_valid_command_lines_reach_the_end(self):
        cases = [
            (("-AV", r"-outpath=C:\t\x.json"), r"C:\t\x.json"),
            (("-av", "-fw"), ""),
            (("junk-outpath=x.json", "-fw", "-xyz"), "x.json"),
            (("-Fw", "-outpath="), ""),
            (("-as", "-outpath=a=b-outpath=c"), "a=b-outpath=c"),
        ]
        for args, outpath in cases:
            with self.subTest(args=args):
                r = self.m.run(*args)
                self.assertEqual(r.status, 0, r.log_text)
                expected = info(BANNER, "Total argc: %d" % (len(args) + 1),
                                *["argv[%d]: %s" % (i + 1, a) for i, a in enumerate(args)],
                                "outfilepath: " + outpath)
                self.assertEqual(self.head(r, len(expected)), expected)
                self.assertEqual(r.records[-1], ("info", "END"))

    @HEAVY
    def test_thousands_of_switches_and_a_long_argument(self):
        # A Windows command line holds at most 32,767 characters.
        length, count = (100000, 3000) if TARGET == "linux" else (20000, 2000)
        long_arg = "-outpath=" + "x" * length
        args = ["-fw"] * count + [long_arg, "-zz"]
        r = self.m.run(*args)
        self.assertEqual(r.status, 0)
        self.assertEqual(r.records[1], ("info", "Total argc: %d" % (len(args) + 1)))
        self.assertEqual(r.records[2 + count], ("info", "argv[%d]: %s" % (count + 1, long_arg)))
        self.assertIn(("info", "outfilepath: " + "x" * length), r.records)
        self.assertEqual(r.records[-1], ("info", "END"))

    @unittest.skipIf(TARGET == "windows", "arguments are UTF-16 on Windows")
    def test_argument_bytes_that_are_not_utf8_are_logged_as_empty_text(self):
        r = self.m.run(b"-av\xff", b"-f\x01w", "-fw")
        self.assertEqual(r.status, 0)
        self.assertEqual(r.records[1:5], info("Total argc: 4", "argv[1]: ", "argv[2]: -f\x01w", "argv[3]: -fw"))


if __name__ == "__main__":
    unittest.main()
