"""A described Windows machine for end-to-end runs of the real program.

The same scenario runs on both targets, each through a backend with the same
methods (paths, registry, Windows version, command, environment, cleanup):
  * linux (LinuxBackend): the native build; ProgramData is a fresh temporary
    folder named by VELMORA_PROGRAMDATA, the registry is the folder stand-in;
  * windows (WineBackend): the cross build under Wine in the test prefix
    (VELMORA_WINEPREFIX); ProgramData is the prefix's C:\\ProgramData, the
    registry is Wine's.

Every log line the program wrote during a run is checked against the full
line format; a test gets the run's records as (level, message) pairs.
"""

import json
import os
import pwd
import re
import shutil
import stat
import subprocess
import tempfile
from pathlib import Path

import schemas

TARGET = os.environ.get("VELMORA_TARGET", "linux")
BINARY = os.environ.get("VELMORA_BINARY", "")
BUILD_DIR = os.environ.get("VELMORA_BUILD_DIR", "")
WINEPREFIX = os.environ.get("VELMORA_WINEPREFIX", "")
# Under Wine every run goes through this launcher: it writes the program's
# whole 32-bit exit code to the file VELMORA_EXIT_CODE_FILE names, as Wine
# passes only the low byte to Linux.
EXIT_CODE_LAUNCHER = os.path.join(BUILD_DIR, "ExitCodeLauncher.exe")

# VELMORA_VALGRIND=1 (Linux): every run goes through memcheck; an error or a
# leak fails the run.
VALGRIND = TARGET == "linux" and os.environ.get("VELMORA_VALGRIND") == "1"
VALGRIND_STATUS = 99
# Marks tests whose input is too large to run under memcheck in reasonable time;
# the sanitizer build still runs them.
import unittest as _unittest  # noqa: E402
HEAVY = _unittest.skipIf(VALGRIND, "too slow under memcheck; the sanitizer build runs it")
RUN_TIMEOUT = 600 if VALGRIND else 120

# Windows versions as Wine reports them after `winecfg -v NAME`. A 64-bit
# prefix knows XP only as its x64 edition (winxp64, 5.2), and Wine 8 has no win11.
WINE_VERSION_NAMES = {"winxp": "winxp64"}
WINDOWS_VERSIONS = {
    "winxp": (5, 2, 3790),
    "vista": (6, 0, 6002),
    "win7": (6, 1, 7601),
    "win8": (6, 2, 9200),
    "win81": (6, 3, 9600),
    "win10": (10, 0, 18362),
}
DEFAULT_WINDOWS_VERSION = "win7"  # what a fresh Wine 8 prefix reports

HEADER = re.compile(
    r"^\[source \]\[function \]\[line \] "
    r"\[(\d\d)-(\d\d)-(\d{4}) (\d\d):(\d\d):(\d\d):(\d{3}) msSinceLastMsg: (\d+)\] "
    r"\[thread (\d+)\] \[(trace|debug|info|warning|error|critical)\] \[:\] ",
    re.M,
)

BANNER = "........................... InfoDemo.............................\n"



class LogFormatError(AssertionError):
    pass


def parse_log(text):
    """Splits log text into (level, message) records, checking every byte.

    A record is the header, the message, one space and the end of line; a
    message may hold line feeds of its own (the banner, the inventory dump).
    """
    headers = list(HEADER.finditer(text))
    if text and (not headers or headers[0].start() != 0):
        raise LogFormatError("log does not start with a record header: %r" % text[:200])
    records = []
    tail = " " + EOL
    for i, match in enumerate(headers):
        day, month, year = int(match.group(1)), int(match.group(2)), int(match.group(3))
        hour, minute, second = int(match.group(4)), int(match.group(5)), int(match.group(6))
        if not (1 <= day <= 31 and 1 <= month <= 12 and year >= 2000 and hour < 24 and minute < 60 and second < 61):
            raise LogFormatError("bad time stamp in %r" % match.group(0))
        end = headers[i + 1].start() if i + 1 < len(headers) else len(text)
        body = text[match.end():end]
        if not body.endswith(tail):
            raise LogFormatError("record does not end with a space and %r: %r" % (EOL, body[-200:]))
        message = body[: -len(tail)]
        if "[source ][function ]" in message:
            raise LogFormatError("a record holds another record (torn or interleaved lines): %r" % message[:300])
        records.append((match.group(10), message))
    return records


class RunResult:
    def __init__(self, status, log_text, stdout, stderr):
        self.status = status
        self.log_text = log_text
        self.stdout = stdout
        self.stderr = stderr
        self.records = parse_log(log_text)
        self.messages = self.records

    def texts(self):
        return [message for _, message in self.records]


def _signed_status(code, bits):
    code &= (1 << bits) - 1
    return code - (1 << bits) if code >> (bits - 1) else code


class LinuxBackend:
    """The native build: ProgramData is a fresh temporary folder named by
    VELMORA_PROGRAMDATA, the registry and the Windows version are folders and
    files below it."""

    eol = "\n"
    sep = "/"

    def __init__(self):
        self.programdata = Path(tempfile.mkdtemp(prefix="velmora-programdata-"))
        self.programdata_text = str(self.programdata)
        self._denied = []

    def cleanup(self):
        for path in self._denied:
            try:
                os.chmod(path, 0o755)
            except OSError:
                pass
        shutil.rmtree(self.programdata, ignore_errors=True)

    # ---- paths ----
    def program_path(self, host_path):
        return str(host_path)

    def host_path_of(self, text, scratch):
        return scratch / text  # an absolute path stays as it is

    # ---- registry ----
    def _folder(self, key_path):
        parts = [p for p in key_path.split("\\") if p]
        return self.programdata.joinpath("Registry", *parts)

    def add_registry_key(self, key_path):
        self._folder(key_path).mkdir(parents=True, exist_ok=True)

    def set_registry_value(self, key_path, name, text):
        folder = self._folder(key_path)
        folder.mkdir(parents=True, exist_ok=True)
        (folder / name).write_bytes(text.encode("utf-8"))

    def delete_registry_key(self, key_path):
        shutil.rmtree(self._folder(key_path), ignore_errors=True)

    def deny_registry_key(self, key_path):
        folder = self._folder(key_path)
        folder.mkdir(parents=True, exist_ok=True)
        os.chmod(folder, 0)
        self._denied.append(folder)

    def set_windows_version(self, name):
        major, minor, build = WINDOWS_VERSIONS[name]
        key = r"HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion"
        self.set_registry_value(key, "CurrentMajorVersionNumber", str(major))
        self.set_registry_value(key, "CurrentMinorVersionNumber", str(minor))
        self.set_registry_value(key, "CurrentBuildNumber", str(build))

    # ---- running ----
    def command(self, *args, binary=None):
        binary = binary or BINARY
        if VALGRIND:
            return ["valgrind", "-q", "--error-exitcode=%d" % VALGRIND_STATUS, "--leak-check=full",
                    "--errors-for-leak-kinds=definite,indirect", "--show-leak-kinds=definite,indirect",
                    binary, *args]
        return [binary, *args]

    def environment(self):
        env = dict(os.environ)
        env["VELMORA_PROGRAMDATA"] = str(self.programdata)
        return env


class WineBackend:
    """The cross build under Wine in the test prefix (VELMORA_WINEPREFIX):
    ProgramData is the prefix's C:\\ProgramData, the registry is Wine's."""

    eol = "\r\n"
    sep = "\\"
    # What a test may leave below the shared C:\ProgramData of the Wine prefix.
    _OWN_FOLDERS = ("Velmora", "SecurityCenter", "Defender", "Firewall")

    def __init__(self):
        self.programdata = Path(WINEPREFIX) / "drive_c" / "ProgramData"
        self.programdata_text = r"C:\ProgramData"
        self._registry_keys = []
        self._clear_programdata()

    def _clear_programdata(self):
        for name in self._OWN_FOLDERS:
            shutil.rmtree(self.programdata / name, ignore_errors=True)

    def cleanup(self):
        for key in reversed(self._registry_keys):
            self.wine("reg", "delete", key, "/f", check=False)
        self._clear_programdata()

    def environment(self):
        env = dict(os.environ)
        # Wine turns Windows file names into Unix ones in the locale's character
        # set: without a UTF-8 locale (LANG unset) no non-ASCII name can be made.
        env.update(WINEPREFIX=WINEPREFIX, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree=;mshtml=",
                   LC_ALL="C.UTF-8", LANG="C.UTF-8")
        return env

    def wine(self, *args, check=True):
        """Runs a Wine command in the test prefix, its output kept away from ctest."""
        result = subprocess.run(["wine", *args], env=self.environment(), stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=RUN_TIMEOUT)
        if check and result.returncode != 0:
            raise RuntimeError("wine %s failed: %s %s" % (args, result.stdout, result.stderr))
        return result

    # ---- paths ----
    def program_path(self, host_path):
        return "Z:" + str(host_path).replace("/", "\\")

    def host_path_of(self, text, scratch):
        drive, rest = text[:2].upper(), text[2:].replace("\\", "/")
        if drive == "Z:":
            return Path(rest)
        if drive == "C:":
            return Path(WINEPREFIX) / "drive_c" / rest.lstrip("/")
        return scratch / text.replace("\\", "/")

    # ---- registry ----
    def _created(self, key_path):
        if key_path not in self._registry_keys:
            self._registry_keys.append(key_path)

    def add_registry_key(self, key_path):
        self.wine("reg", "add", key_path, "/f")
        self._created(key_path)

    def set_registry_value(self, key_path, name, text):
        # A UTF-16 .reg file carries any text into the registry unchanged,
        # which a command line does not promise.
        def quoted(s):
            return '"%s"' % s.replace("\\", "\\\\").replace('"', '\\"')
        body = "Windows Registry Editor Version 5.00\r\n\r\n[%s]\r\n%s=%s\r\n" % (key_path, quoted(name), quoted(text))
        fd, reg = tempfile.mkstemp(prefix="velmora-", suffix=".reg")
        try:
            os.write(fd, b"\xff\xfe" + body.encode("utf-16-le"))
            os.close(fd)
            self.wine("reg", "import", self.program_path(reg))
        finally:
            os.unlink(reg)
        self._created(key_path)

    def delete_registry_key(self, key_path):
        self.wine("reg", "delete", key_path, "/f", check=False)

    def deny_registry_key(self, key_path):
        raise AssertionError("unreadable keys are only described for the stand-in")

    def set_windows_version(self, name):
        # winecfg is slow: the prefix remembers the version it was last given.
        marker = Path(WINEPREFIX) / ".velmora-winver"
        if not marker.exists() or marker.read_text() != name:
            self.wine("winecfg", "-v", WINE_VERSION_NAMES.get(name, name))
            marker.write_text(name)

    # ---- running ----
    def command(self, *args, binary=None):
        # Wine hands Linux only the low byte of an exit code: the launcher
        # reports all 32 bits (see Machine.run).
        return ["wine", EXIT_CODE_LAUNCHER, self.program_path(binary or BINARY), *args]


BACKENDS = {"linux": LinuxBackend, "windows": WineBackend}
EOL = BACKENDS[TARGET].eol


class Machine:
    def __init__(self):
        self.target = TARGET
        if not BINARY:
            raise RuntimeError("VELMORA_BINARY is not set")
        self.backend = BACKENDS[TARGET]()
        self.programdata = self.backend.programdata
        self.user = pwd.getpwuid(os.geteuid()).pw_name
        self.scratch = Path(tempfile.mkdtemp(prefix="velmora-scratch-"))
        self.set_windows_version(DEFAULT_WINDOWS_VERSION)

    # ---- context management ----
    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def close(self):
        self.backend.cleanup()
        shutil.rmtree(self.scratch, ignore_errors=True)
        if getattr(self, "_program_for_others", None):
            shutil.rmtree(Path(self._program_for_others).parent, ignore_errors=True)

    # ---- paths ----
    @property
    def log_dir(self):
        """The VPN client's log directory (policy, verdict, per-user logs)."""
        return self.programdata / "Velmora" / "VelmoraVPN" / "logs"

    @property
    def log_path(self):
        return self.log_dir / self.user / "avInfo.log"

    @property
    def rotated_log_path(self):
        return self.log_dir / self.user / "avInfo.1.log"

    @property
    def policy_path(self):
        return self.log_dir / "postureData.json"

    @property
    def check_json_path(self):
        return self.log_dir / "check.json"

    def host_path(self, relative):
        """A path in this machine's scratch folder (created with its parents)."""
        path = self.scratch / relative
        path.parent.mkdir(parents=True, exist_ok=True)
        return path

    def program_path(self, host_path):
        """The text the program must be given to name host_path."""
        return self.backend.program_path(host_path)

    def program_log_dir_text(self):
        """The log directory as the program spells it in its log lines."""
        return self.backend.sep.join([self.backend.programdata_text, "Velmora", "VelmoraVPN", "logs"])

    def program_log_file_text(self, name):
        return self.program_log_dir_text() + self.backend.sep + name

    # ---- machine contents ----
    def write_products(self, products):
        path = self.programdata / "SecurityCenter" / "products.json"
        path.parent.mkdir(parents=True, exist_ok=True)
        data = products if isinstance(products, (bytes, str)) else json.dumps(products, ensure_ascii=False)
        path.write_bytes(data if isinstance(data, bytes) else data.encode("utf-8"))
        return path

    def defender_status(self, status):
        """Describes Defender's status provider (status.json); None: no Defender."""
        return self._status_file("Defender", status)

    def firewall_status(self, status):
        """Describes Windows Firewall's policy object (status.json); None: no such object."""
        return self._status_file("Firewall", status)

    def _status_file(self, folder, status):
        path = self.programdata / folder / "status.json"
        if status is None:
            shutil.rmtree(path.parent, ignore_errors=True)
            return path
        path.parent.mkdir(parents=True, exist_ok=True)
        data = status if isinstance(status, (bytes, str)) else json.dumps(status)
        path.write_bytes(data if isinstance(data, bytes) else data.encode("utf-8"))
        return path

    def write_policy(self, policy):
        self.log_dir.mkdir(parents=True, exist_ok=True)
        data = policy if isinstance(policy, (bytes, str)) else json.dumps(policy, ensure_ascii=False)
        self.policy_path.write_bytes(data if isinstance(data, bytes) else data.encode("utf-8"))
        return self.policy_path

    def add_registry_key(self, key_path):
        self.backend.add_registry_key(key_path)

    def set_registry_value(self, key_path, name, text):
        """A string value; any text, kept exactly (created keys go at close)."""
        self.backend.set_registry_value(key_path, name, text)

    def delete_registry_key(self, key_path):
        self.backend.delete_registry_key(key_path)

    def deny_registry_key(self, key_path):
        """Linux only: a key that exists but cannot be read."""
        self.backend.deny_registry_key(key_path)

    def set_windows_version(self, name):
        self.backend.set_windows_version(name)
        self.windows_version = name

    # ---- running ----
    def command(self, *args, binary=None):
        return self.backend.command(*args, binary=binary)

    def environment(self):
        return self.backend.environment()

    def read_log(self):
        try:
            return self.log_path.read_bytes().decode("utf-8", errors="surrogateescape")
        except FileNotFoundError:
            return ""

    def program_for_others(self):
        """A copy of the program that any account may run, in a folder that any
        account may write (their inventory documents go there); gone at close."""
        if not getattr(self, "_program_for_others", None):
            folder = Path(tempfile.mkdtemp(prefix="velmora-program-"))
            os.chmod(folder, 0o777)
            self._program_for_others = shutil.copy2(BINARY, folder)
        return self._program_for_others

    def run(self, *args, prefix=(), env=None, log_path=None, binary=None, timeout=None):
        """Runs the program with args; returns the result with this run's log records.

        prefix: command words put before the program (e.g. setpriv ...).
        log_path: the log file to read when the run logs elsewhere (another user).
        binary: a copy of the program to run instead of VELMORA_BINARY.
        timeout: seconds after which the run (with all it started) is killed
        and the test fails.
        """
        log_file = Path(log_path) if log_path else self.log_path
        before = log_file.stat().st_size if log_file.exists() else 0
        run_env = self.environment()
        if env:
            run_env.update(env)
        exit_code_file = self.scratch / "exit-code.txt"
        if TARGET == "windows":
            exit_code_file.unlink(missing_ok=True)
            run_env["VELMORA_EXIT_CODE_FILE"] = self.program_path(exit_code_file)
        argv = [*prefix, *self.command(*args, binary=binary)]
        # Arguments may carry any bytes on Linux: pass bytes through unchanged.
        argv = [a if isinstance(a, bytes) else os.fsencode(a) for a in argv]
        # Relative output paths land in the scratch folder, never in the source tree.
        proc = subprocess.Popen(argv, env=run_env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, cwd=self.scratch, start_new_session=True)
        try:
            out, err = proc.communicate(timeout=timeout or RUN_TIMEOUT)
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, 9)
            proc.communicate()
            raise AssertionError("the run did not end within %s s" % (timeout or RUN_TIMEOUT))
        proc = subprocess.CompletedProcess(argv, proc.returncode, out, err)
        if VALGRIND and proc.returncode == VALGRIND_STATUS:
            raise AssertionError("memcheck found errors:\n" + proc.stderr.decode(errors="replace"))
        text = ""
        if log_file.exists():
            data = log_file.read_bytes()
            if len(data) < before:  # rotated during the run: the new file holds the rest
                before = 0
            text = data[before:].decode("utf-8", errors="surrogateescape")
        if TARGET == "windows":
            if not exit_code_file.exists():
                raise AssertionError("the launcher reported no exit code: %s" % proc.stderr.decode(errors="replace"))
            status = _signed_status(int(exit_code_file.read_text()), 32)
        else:
            status = _signed_status(proc.returncode, 8)
        result = RunResult(status, text, proc.stdout, proc.stderr)
        # Every inventory document a run saves must match the published schema.
        if any(t.startswith("avInfo: js succesfully saved to file ") for t in result.texts()):
            schemas.check_inventory(json.loads(self._output_file(args).read_bytes()))
        return result

    def _output_file(self, args):
        """The host file that the run's "-outpath=" arguments name (the last one wins)."""
        text = ""
        for arg in args:
            arg = os.fsdecode(arg)
            if arg.lower() not in ("-av", "-as", "-fw") and "-outpath=" in arg:
                text = arg.split("-outpath=", 1)[1]
        return self.backend.host_path_of(text, self.scratch)


def messages_of(records, level=None):
    return [m for lv, m in records if level is None or lv == level]


# ---- other accounts and what they leave (Linux, as root) ----

def as_uid(uid):
    """Command words that run what follows as uid, with a group of the same
    number and no others (a uid /etc/passwd does not name reads as user "-")."""
    return ["setpriv", "--reuid=%d" % uid, "--regid=%d" % uid, "--clear-groups"]


def private_mounts_work():
    """True when a private mount namespace can be made here: not where the
    root folder is no mount point of its own (a plain chroot)."""
    return shutil.which("unshare") is not None and subprocess.run(
        ["unshare", "--mount", "--propagation", "private", "true"], stderr=subprocess.DEVNULL).returncode == 0


def full_folder(folder):
    """Command words before the program that put a full file system of its
    own at folder, holding what folder held: new files can be made there but
    nothing written. A private mount namespace (root): it goes with the run,
    so what the folder holds after the run is copied to "<folder>.after"."""
    script = ('d=$1; shift; cp -a "$d" "$d.before" && mount -t tmpfs -o size=64k tmpfs "$d" && '
              'cp -a "$d.before/." "$d/" && rm -r "$d.before" || exit 99; '
              'head -c 1048576 /dev/zero > "$d/.filler" 2>/dev/null; "$@"; status=$?; '
              'rm "$d/.filler"; cp -a "$d" "$d.after"; exit $status')
    return ["unshare", "--mount", "--propagation", "private", "sh", "-c", script, "sh", str(folder)]


def tree_state(root):
    """Every entry below root (links not followed) by its relative path: its
    kind and lstat data, and what it holds (a file's bytes, a link's target).
    A folder's times and link count change with its entries, which are
    listed themselves, so they are left out."""
    state = {}
    for folder, folders, files in os.walk(root):
        for name in folders + files:
            path = os.path.join(folder, name)
            st = os.lstat(path)
            kept = (stat.S_IFMT(st.st_mode), stat.S_IMODE(st.st_mode), st.st_uid, st.st_gid)
            if stat.S_ISDIR(st.st_mode):
                entry = kept
            elif stat.S_ISLNK(st.st_mode):
                entry = kept + (st.st_ino, os.readlink(path))
            else:
                entry = kept + (st.st_ino, st.st_nlink, st.st_size, st.st_mtime_ns)
                if stat.S_ISREG(st.st_mode):
                    with open(path, "rb") as f:
                        entry += (f.read(),)
            state[os.path.relpath(path, root)] = entry
    return state


def tree_changes(before, after, own=(), moved=None, removed=()):
    """What differs between two tree_state()s beyond the expected: names
    moved aside (old relative path: new), entries removed, and the run's own
    files (relative paths, with all below them), which may change freely
    except where something was moved into them. [(path, expected, found)]."""
    def under(path, tops):
        return any(path == top or path.startswith(top + os.sep) for top in tops)

    moved = moved or {}
    expected = {}
    for path, entry in before.items():
        for old, new in moved.items():
            if under(path, [old]):
                path = new + path[len(old):]
        if not under(path, removed):
            expected[path] = entry
    free = lambda path: under(path, own) and not under(path, moved.values())
    return sorted((path, expected.get(path), after.get(path)) for path in set(expected) | set(after)
                  if expected.get(path) != after.get(path) and not free(path))
