"""What other accounts create, link, hold, squat or delete in the shared
folder, end to end on Linux as root, with other accounts through setpriv.

Each row sets a situation up and runs the program one or more times, as root
or as another account; every run must end within its bound with status 0,
log (banner to END) to one log folder of its own that its next runs find
again, and leave the verdict the row names. After the last run, nothing below
ProgramData outside the runs' own files (their log folders, check.json once
they saved it) may differ from before, but for what the row names as moved
aside or removed.

The second test checks the promise of the layer that makes this hold: every
file-system call inside <ProgramData>/Velmora is made relative to a held
folder, on a one-component name, without following a link.
"""

import ast
import collections
import fcntl
import os
import re
import shutil
import subprocess
import unittest
from pathlib import Path

from machine import BANNER, TARGET, VALGRIND, Machine, as_uid, parse_log, tree_changes, tree_state

ROOT, A, B, C = 0, 54321, 54322, 54323  # A and B: two accounts both named "-"; C plants
LOGS = os.path.join("Velmora", "VelmoraVPN", "logs")
VERDICT = b"1\r\nav\r\n-\r\n"
BLOCKING_POLICY = {"endpoint_posture_check": 1, "av_value": 1, "av_action": 0}
# The whole-run bound, lowered for the tests (not under memcheck, which is
# slow); a run not ended some seconds later has hung.
BOUND = {} if VALGRIND else {"VELMORA_RUN_BOUND_MS": "15000"}
# LeakSanitizer cannot run under ptrace: a sanitised run under strace checks
# everything else.
NO_LEAK_CHECK = {"ASAN_OPTIONS": "detect_leaks=0"}
ENDS_WITHIN = 120 if VALGRIND else 25
TEMPORARIES = ("check.json.%d-0.tmp", "check.json.%d-0123456789abcdef0123456789abcdef.tmp")
UMASK_077 = ["sh", "-c", 'umask 077; exec "$@"', "sh"]
AS_ROOT_ON_LINUX = unittest.skipUnless(TARGET == "linux" and os.geteuid() == 0 and shutil.which("setpriv"),
                                       "needs the Linux build, root and setpriv")

# verdict: "new" (a file of the run's account, mode 0644), "in place" (the
# earlier file, same inode) or None (check.json not saved: as before).
# passed: accounts whose log folder is a passed-over "<user>.<32 hex>".
Row = collections.namedtuple("Row", "name plant turns verdict moved removed passed lines prefix between",
                             defaults=(None, (), (), (), (), None))


def logs(name):
    return os.path.join(LOGS, name)


class Neighbourhood(unittest.TestCase):
    """A machine with a victim folder of another account's and the plants of both tables."""

    @classmethod
    def setUpClass(cls):
        reaped = subprocess.Popen(["true"])
        reaped.wait()
        cls.dead = reaped.pid  # a process that no longer runs

    def setUp(self):
        self.m = Machine()
        self.addCleanup(self.m.close)
        self.pd = self.m.programdata
        self.m.write_products({"antivirus": [{"name": "Contoso", "state": 0}]})
        self.victim = self.planted_folder(self.pd / "Victim", mode=0o755)
        (self.victim / "marker.txt").write_bytes(b"the victim's own file\n")
        os.chown(self.victim / "marker.txt", C, C)
        os.chmod(self.victim / "marker.txt", 0o666)

    # ---- what the installer and other accounts leave ----
    def shared(self, logs_mode=0o777):
        """Root's shared folders; logs open to every account as given; the policy in it."""
        os.chmod(self.pd, 0o755)
        self.m.log_dir.mkdir(parents=True, exist_ok=True)
        os.chmod(self.m.log_dir.parent.parent, 0o755)
        os.chmod(self.m.log_dir.parent, 0o755)
        os.chmod(self.m.log_dir, logs_mode)
        self.m.write_policy(BLOCKING_POLICY)

    def planted_folder(self, path, uid=C, gid=None, mode=0o700):
        path.mkdir(parents=True)
        (path / "theirs.txt").write_bytes(b"theirs\n")
        for p in (path / "theirs.txt", path):
            os.chown(p, uid, uid if gid is None else gid)
        os.chmod(path, mode)
        return path

    def planted_link(self, path, target, uid=C):
        os.symlink(target, path)
        os.lchown(path, uid, uid)

    def root_check_json_for_all(self):
        self.m.check_json_path.write_bytes(b"0\r\nearlier\r\n-\r\n")
        os.chmod(self.m.check_json_path, 0o666)

    def fifo_at_policy(self):
        self.shared()
        self.m.policy_path.unlink()
        os.mkfifo(self.m.policy_path)
        os.chown(self.m.policy_path, C, C)

    def same_name_turns(self):
        self.shared(0o1777)
        self.root_check_json_for_all()

    def per_user_name_squatted(self):
        self.shared(0o1777)
        self.planted_folder(self.m.log_dir / "-")

    def user_folder_with_our_group(self):
        self.shared()
        self.planted_folder(self.m.log_dir / "root", gid=0, mode=0o770)

    def moved_aside_names_taken(self, taken):
        self.shared()
        for name in ["root"] + ["root.untrusted-%d" % n for n in range(1, taken + 1)]:
            self.planted_folder(self.m.log_dir / name)

    def second_log_planted(self, link):
        self.shared()
        own = self.m.log_dir / "root"
        own.mkdir(mode=0o700)
        if link:
            self.planted_link(own / "avInfo.1.log", self.victim / "marker.txt")
        else:
            os.link(self.victim / "marker.txt", own / "avInfo.1.log")

    def root_link_at_logs(self):
        os.chmod(self.pd, 0o755)
        target = self.pd / "Relocated" / "logs"
        target.mkdir(parents=True)
        self.m.log_dir.parent.mkdir(parents=True)
        os.symlink(target, self.m.log_dir)
        self.m.write_policy(BLOCKING_POLICY)

    def other_link_at_velmora(self):
        theirs = self.planted_folder(self.pd / "Theirs", mode=0o777)
        (theirs / "VelmoraVPN" / "logs").mkdir(parents=True)
        (theirs / "VelmoraVPN" / "logs" / "postureData.json").write_text('{"endpoint_posture_check": 0}')
        self.planted_link(self.pd / "Velmora", theirs)

    def dangling_temporary_links(self):
        # The run is process 1 of a new process namespace: the names of
        # 1.1.0's temporary files for it are known, as is a dead run's.
        self.shared()
        for n in range(16):
            self.planted_link(self.m.log_dir / ("check.json.1-%d.tmp" % n), self.victim / ("made-%d" % n))
        self.planted_link(self.m.log_dir / ("check.json.%d-0.tmp" % self.dead), self.victim / "made")

    def run_lock_held(self):
        self.shared()
        holder = os.open(self.pd, os.O_RDONLY | os.O_DIRECTORY)
        self.addCleanup(os.close, holder)
        fcntl.flock(holder, fcntl.LOCK_EX)

    def sticky_check_json_link(self):
        self.shared(0o1777)
        self.planted_link(self.m.check_json_path, self.victim / "marker.txt")

    def temporaries(self, holder):
        """Temporary files of a live process (of the holder's) and of a dead
        one, named as 1.1.0 and as now ("<pid>-<32 hex>")."""
        self.shared()
        live = subprocess.Popen([*(as_uid(holder) if holder else []), "sleep", "60"])
        self.addCleanup(live.wait)
        self.addCleanup(live.kill)
        for pid in (live.pid, self.dead):
            for name in TEMPORARIES:
                path = self.m.log_dir / (name % pid)
                path.write_bytes(b"1\r\n")
                os.chown(path, holder, holder)

    def delete_check_json(self):
        self.m.check_json_path.unlink()

    def run_rows(self, rows, check):
        for row in rows:
            with self.subTest(row[0]):
                try:
                    check(row)
                finally:
                    self.doCleanups()  # the next row starts on a new machine
                    self.setUp()

    def user_of(self, uid):
        return self.m.user if uid == ROOT else "-"

    def run_as(self, uid, prefix=()):
        """One run as uid; its records, read from its own log folder, and that folder."""
        user = self.user_of(uid)
        log_dir = Path(os.path.realpath(self.m.log_dir))
        sizes = {p: p.stat().st_size for p in log_dir.glob(user + "*/avInfo.log")}
        out = Path(self.m.program_for_others()).parent / ("av-%d.json" % uid)
        r = self.m.run("-av", "-outpath=%s" % out, prefix=[*prefix, *(as_uid(uid) if uid else [])],
                       binary=self.m.program_for_others(), env={**BOUND, **(NO_LEAK_CHECK if prefix else {})},
                       log_path=self.m.scratch / "not-read", timeout=ENDS_WITHIN)
        self.assertEqual(r.status, 0, r.stderr)
        log_dir = Path(os.path.realpath(self.m.log_dir))  # another one when a link was moved aside
        own = re.compile(re.escape(user) + r"(\.[0-9a-fA-F]{32})?")
        folders = [p for p in log_dir.iterdir() if own.fullmatch(p.name) and not p.is_symlink() and p.is_dir()
                   and p.stat().st_uid == uid and (p / "avInfo.log").exists()]
        self.assertEqual(len(folders), 1, folders)
        log = folders[0] / "avInfo.log"
        data = log.read_bytes()
        start = sizes.get(log, 0) if len(data) >= sizes.get(log, 0) else 0  # rotated: all of it is new
        records = parse_log(data[start:].decode(errors="surrogateescape"))
        self.assertEqual((records[:1], records[-1:]), ([("info", BANNER)], [("info", "END")]))
        return records, folders[0]


@AS_ROOT_ON_LINUX
class HostileNeighboursTest(Neighbourhood):
    def test_every_run_ends_logs_and_touches_only_its_own_files(self):
        policy = self.m.program_log_file_text("postureData.json")
        moved_user_folder = lambda n: {logs("root"): logs("root.untrusted-%d" % n)}
        moved_second_log = {logs("root/avInfo.1.log"): logs("root/avInfo.1.log.untrusted-1")}
        dead_temporary = [logs(name % self.dead) for name in TEMPORARIES]
        rows = [
            Row("a FIFO at the policy", self.fifo_at_policy, (ROOT,), None,
                lines=[("error", "Couldn't open the file %s for reading. ErrorCode: " % policy),
                       ("info", "json from posturedata is not valid! jsFilePath = [%s]" % policy)]),
            Row("two accounts named '-' take turns", self.same_name_turns, (A, B, A, B), "in place", passed=(B,)),
            Row("the per-user name is another account's folder", self.per_user_name_squatted, (A, A), "new",
                passed=(A,)),
            Row("the per-user folder has root's group, another owner", self.user_folder_with_our_group, (ROOT,),
                "new", moved=moved_user_folder(1)),
            Row("<name>.untrusted-1 taken", lambda: self.moved_aside_names_taken(1), (ROOT,), "new",
                moved=moved_user_folder(2)),
            Row("all moved-aside names but the last taken", lambda: self.moved_aside_names_taken(99), (ROOT,),
                "new", moved=moved_user_folder(100)),
            Row("every moved-aside name taken", lambda: self.moved_aside_names_taken(100), (ROOT, ROOT), "new",
                passed=(ROOT,)),
            Row("avInfo.1.log is another account's link", lambda: self.second_log_planted(True), (ROOT,), "new",
                moved=moved_second_log),
            Row("avInfo.1.log has a second hard link", lambda: self.second_log_planted(False), (ROOT,), "new",
                moved=moved_second_log),
            Row("logs is root's link (used)", self.root_link_at_logs, (ROOT,), "new"),
            Row("Velmora is another account's link", self.other_link_at_velmora, (ROOT,), None,
                moved={"Velmora": "Velmora.untrusted-1"}),
            Row("dangling links at temporary names", self.dangling_temporary_links, (ROOT,), "new",
                prefix=["unshare", "--pid", "--fork"]),
            Row("the run lock held by another process", self.run_lock_held, (ROOT,), "new"),
            Row("check.json deleted between runs", self.shared, (ROOT, A, ROOT), "new", prefix=UMASK_077,
                between=self.delete_check_json),
            Row("sticky logs, check.json a third account's link", self.sticky_check_json_link, (A,), None),
            Row("the sweep as root spares a live process's file", lambda: self.temporaries(ROOT), (ROOT,), "new",
                removed=dead_temporary),
            Row("the sweep as another account spares a live process's file", lambda: self.temporaries(C), (A,),
                "new", removed=dead_temporary),
        ]
        self.run_rows(rows, self.check)

    def check(self, row):
        row.plant()
        check_json = Path(os.path.realpath(self.m.log_dir)) / "check.json"
        earlier = os.lstat(check_json) if os.path.lexists(check_json) else None
        before = tree_state(self.pd)
        own, folders = set(), {}
        for turn, uid in enumerate(row.turns):
            if turn and row.between:
                row.between()
            records, folder = self.run_as(uid, row.prefix)
            self.assertEqual(folders.setdefault(uid, folder), folder, "a second log folder of one account")
            self.assertEqual(folder.name != self.user_of(uid), uid in row.passed, folder)
            for level, start in row.lines:
                self.assertTrue(any(lv == level and t.startswith(start) for lv, t in records), (start, records))
            saved = ("info", "Final compliance status saved to file [%s] isVpnBlock: [true], msg: [av]"
                     % self.m.program_log_file_text("check.json"))
            self.assertEqual(saved in records, row.verdict is not None, records)
            if row.verdict:
                found = os.lstat(check_json)
                self.assertEqual(check_json.read_bytes(), VERDICT)
                if row.verdict == "new":
                    self.assertEqual((found.st_mode & 0o7777, found.st_nlink, found.st_uid), (0o644, 1, uid))
                else:
                    self.assertEqual(found.st_ino, earlier.st_ino)
                own.add(os.path.relpath(check_json, self.pd))
            own.add(os.path.relpath(os.path.realpath(folder), os.path.realpath(self.pd)))
        for uid, folder in folders.items():
            whole = parse_log((folder / "avInfo.log").read_bytes().decode(errors="surrogateescape"))
            self.assertEqual(whole.count(("info", BANNER)), row.turns.count(uid), folder)
        # Folders the run had to create again above its log folder are its own too.
        created = {os.path.dirname(path) for path in own}
        changes = [c for c in tree_changes(before, tree_state(self.pd), own, row.moved, row.removed)
                   if not (c[1] is None and any(p == c[0] or p.startswith(c[0] + os.sep) for p in created))]
        self.assertEqual(changes, [])


# ---- the layer's promise, read from strace ----

# Calls that name an entry of a folder given by descriptor: (descriptor,
# name) argument pairs and where the flags are (None: the call never follows
# the final component).
AT_CALLS = {
    "openat": ([(0, 1)], 2), "openat2": ([(0, 1)], 2), "newfstatat": ([(0, 1)], 3), "statx": ([(0, 1)], 2),
    "fchownat": ([(0, 1)], 4), "utimensat": ([(0, 1)], 3), "faccessat2": ([(0, 1)], 3),
    "fchmodat2": ([(0, 1)], 3), "mkdirat": ([(0, 1)], None), "mknodat": ([(0, 1)], None),
    "unlinkat": ([(0, 1)], None), "readlinkat": ([(0, 1)], None), "renameat": ([(0, 1), (2, 3)], None),
    "renameat2": ([(0, 1), (2, 3)], None), "linkat": ([(0, 1), (2, 3)], None), "symlinkat": ([(1, 2)], None),
}
NO_FOLLOW = ("O_NOFOLLOW", "AT_SYMLINK_NOFOLLOW", "RESOLVE_NO_SYMLINKS")
CALL = re.compile(r"^(\w+)\((.*)\)\s+=\s+(.*)$")
DESCRIPTOR = re.compile(r"(-?\d+|AT_FDCWD)(?:<(.*)>)?$")
VIA_PROC = re.compile(r"/(?:proc/(?:self|thread-self|\d+)|dev)/fd/(\d+)(/.*)?$")


def split_arguments(text):
    """strace's top-level arguments, kept whole: strings, structures, arrays
    and the <path> of a descriptor (which may nest: 3</dev/null<char 1:3>>)."""
    arguments, depth, angle, quoted, start, i = [], 0, 0, False, 0, 0
    while i < len(text):
        c = text[i]
        if angle:
            angle += {"<": 1, ">": -1}.get(c, 0)
        elif quoted:
            i += c == "\\"
            quoted = c != '"'
        elif c == '"':
            quoted = True
        elif c == "<" and (text[i - 1:i].isdigit() or text[:i].endswith("AT_FDCWD")):
            angle = 1
        elif c in "([{":
            depth += 1
        elif c in ")]}":
            depth -= 1
        elif c == "," and depth == 0:
            arguments.append(text[start:i].strip())
            start = i + 1
        i += 1
    return arguments + [text[start:].strip()]


def descriptor_path(argument):
    match = DESCRIPTOR.match(argument)
    if not match:
        return None, None
    path = match.group(2)
    return match.group(1), re.sub(r"<[^<>]*>$", "", path) if path else path


def string_of(argument):
    if not argument.startswith('"'):
        return None
    return os.fsdecode(ast.literal_eval("b" + argument.removesuffix("...")))


class Trace:
    """The file-system calls of one run (strace -ff -yy -e trace=%file), per thread."""

    def __init__(self, prefix):
        self.calls = []  # (syscall, arguments, line)
        self.paths_of = collections.defaultdict(set)  # descriptor number: every path it was seen with
        for path in sorted(Path(prefix).parent.glob(Path(prefix).name + ".*")):
            for line in path.read_text(errors="replace").splitlines():
                match = CALL.match(line)
                if match:
                    arguments = split_arguments(match.group(2))
                    self.calls.append((match.group(1), arguments, line))
                    for argument in arguments + [match.group(3).split(" ")[0]]:
                        number, fd_path = descriptor_path(argument)
                        if fd_path and number != "AT_FDCWD":
                            self.paths_of[number].add(fd_path)

    def targets(self, folder, name):
        """Where a name leads: through /proc/self/fd to every path that descriptor had."""
        if not name.startswith("/"):
            return [os.path.normpath(os.path.join(folder, name))] if folder else []
        via = VIA_PROC.match(name)
        if via:
            return [p + (via.group(2) or "") for p in self.paths_of.get(via.group(1), ())]
        return [os.path.normpath(name)]

    def faults_inside(self, top):
        """Every call that reaches top or below other than by one held
        folder, one component and no link followed; and the calls that did."""
        inside = lambda path: path is not None and (path == top or path.startswith(top + "/"))
        faults, kept = [], []
        for syscall, arguments, line in self.calls:
            pairs, flags_at = AT_CALLS.get(syscall, (None, None))
            if pairs is None:  # any other call naming a path, after a descriptor or not
                pairs = [(i - 1, i) for i, a in enumerate(arguments) if a.startswith('"')]
            flags = arguments[flags_at] if flags_at is not None and flags_at < len(arguments) else ""
            for fd_at, name_at in pairs:
                number, folder = descriptor_path(arguments[fd_at]) if fd_at >= 0 else (None, None)
                name = string_of(arguments[name_at]) if name_at < len(arguments) else None
                if name is None or not any(inside(p) for p in self.targets(folder, name) + [folder]):
                    continue
                fault = None
                if syscall not in AT_CALLS:
                    fault = "a call that follows links or takes a path"
                elif number in (None, "AT_FDCWD"):
                    fault = "not relative to a held folder"
                elif name == ".." or "/" in name or (name == "" and "AT_EMPTY_PATH" not in flags):
                    fault = "not one component"
                # "" and "." name the held folder itself: nothing to follow.
                elif flags_at is not None and name not in ("", ".") and not any(f in flags for f in NO_FOLLOW):
                    fault = "follows a link"
                if fault:
                    faults.append((fault, line))
                    break
                kept.append((syscall, folder, name))
        return faults, kept


@AS_ROOT_ON_LINUX
@unittest.skipIf(VALGRIND or not shutil.which("strace"), "needs strace, and no memcheck under it")
class HeldFolderTraceTest(Neighbourhood):
    def earlier_runs_left_files(self):
        self.second_log_planted(True)
        self.m.log_path.write_bytes(b"")
        os.truncate(self.m.log_path, 209715200)  # full: the first record rotates it
        self.m.check_json_path.write_bytes(b"0\r\nearlier\r\n-\r\n")
        self.m.log_dir.joinpath("check.json.%d-0.tmp" % self.dead).write_bytes(b"1\r\n")

    def squatted_and_in_place(self):
        self.per_user_name_squatted()
        self.root_check_json_for_all()

    def test_every_call_inside_velmora_goes_through_a_held_folder(self):
        rows = [
            ("as root, over an earlier run's files", self.earlier_runs_left_files, ROOT),
            ("as another account, passed over, written in place", self.squatted_and_in_place, A),
        ]
        self.run_rows(rows, self.check_trace)

    def check_trace(self, row):
        _, plant, uid = row
        plant()
        prefix = self.m.scratch / "trace" / "t"
        prefix.parent.mkdir()
        _, folder = self.run_as(uid, ["strace", "-ff", "-yy", "-qq", "-e", "trace=%file", "-o", str(prefix)])
        faults, kept = Trace(prefix).faults_inside(os.path.realpath(self.pd / "Velmora"))
        self.assertEqual(faults[:20], [])
        self.assertIn(("openat", os.path.realpath(self.pd), "Velmora"), kept)
        # The log is opened and rotated through its held folder, never by the logging library's path.
        self.assertIn(("openat", os.path.realpath(folder), "avInfo.log"), kept)
        if uid == ROOT:
            self.assertTrue(any(c.startswith("rename") and n == "avInfo.log" for c, _, n in kept), kept)

if __name__ == "__main__":
    unittest.main()
