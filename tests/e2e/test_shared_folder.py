"""What another account may have planted in the shared log directory.

Each row plants something, runs the program, and checks that no file
outside the run's own folders was changed, created or removed (a victim
folder beside the machine, compared byte for byte), what the run logged
about it (whole lines) and its exit status. A planted log folder or log file
is moved aside; a link at check.json gives way to the new verdict.
"""

import os
import stat
import unittest

from machine import BANNER, TARGET, Machine, parse_log

AS_ROOT = os.geteuid() == 0
OTHER_UID = 54321
# What Wine 8 cannot show (symbolic links made on the Linux side; Wine's own
# CreateSymbolicLinkW makes nothing and mount points are refused).
WINE_MOVES_THE_TARGET = "Wine's MoveFileExW renames a symbolic link's target, not the link"
WINE_FOLLOWS_FILE_LINKS = "Wine shows a symbolic link to a file as that file"
WINE_NO_DEVICE = "a Linux device: described for the Linux build only"


def snapshot(root):
    """Every entry below root by its relative path: file bytes, link targets, folders."""
    seen = {}
    for folder, folders, files in os.walk(root):
        for name in folders + files:
            path = os.path.join(folder, name)
            key = os.path.relpath(path, root)
            if os.path.islink(path):
                seen[key] = ("link", os.readlink(path))
            elif os.path.isdir(path):
                seen[key] = ("folder",)
            else:
                with open(path, "rb") as f:
                    seen[key] = ("file", f.read())
    return seen


class PlantedLinkTest(unittest.TestCase):
    def setUp(self):
        self.m = Machine()
        self.addCleanup(self.m.close)
        self.victim = self.m.host_path("victim/marker.txt").parent
        (self.victim / "marker.txt").write_bytes(b"the victim's own file\n")
        self.user_folder = self.m.log_dir / self.m.user
        self.user_folder_text = self.m.program_log_file_text(self.m.user)

    # ---- what another account plants ----
    def user_folder_is_a_link(self):
        self.m.log_dir.mkdir(parents=True)
        os.symlink(self.victim, self.user_folder)

    def user_folder_of_another_uid(self):
        self.user_folder.mkdir(parents=True)
        (self.user_folder / "avInfo.log").write_bytes(b"their log\n")
        os.chown(self.user_folder / "avInfo.log", OTHER_UID, OTHER_UID)
        os.chown(self.user_folder, OTHER_UID, OTHER_UID)

    def log_file_is_a_link(self):
        self.user_folder.mkdir(parents=True)
        os.symlink(self.victim / "marker.txt", self.user_folder / "avInfo.log")

    def log_file_has_a_second_link(self):
        self.user_folder.mkdir(parents=True)
        os.link(self.victim / "marker.txt", self.user_folder / "avInfo.log")

    def check_json_is_a_link(self):
        self.m.log_dir.mkdir(parents=True)
        os.symlink(self.victim / "marker.txt", self.m.check_json_path)

    def check_json_has_a_second_link(self):
        self.m.log_dir.mkdir(parents=True)
        os.link(self.victim / "marker.txt", self.m.check_json_path)

    def check_json_is_a_device_link(self):
        self.m.log_dir.mkdir(parents=True)
        os.symlink("/dev/full", self.m.check_json_path)

    # ---- the table ----
    def test_planted_names_are_moved_aside_and_nothing_outside_changes(self):
        folder, log_file = "The log folder", "The log file"
        rows = [
            # name, plant, names moved aside (kind, path below the log dir), skip under Wine
            ("per-user folder is a symbolic link", self.user_folder_is_a_link,
             [(folder, self.m.user)], WINE_MOVES_THE_TARGET),
            ("per-user folder owned by another uid", self.user_folder_of_another_uid,
             [(folder, self.m.user)], None),
            ("avInfo.log is a symbolic link", self.log_file_is_a_link,
             [(log_file, self.m.user + "/avInfo.log")], WINE_FOLLOWS_FILE_LINKS),
            ("avInfo.log has a second hard link", self.log_file_has_a_second_link,
             [(log_file, self.m.user + "/avInfo.log")], None),
            # None: nothing is moved aside; the run writes its verdict in the link's place.
            ("check.json is a symbolic link", self.check_json_is_a_link, None, WINE_FOLLOWS_FILE_LINKS),
            ("check.json has a second hard link", self.check_json_has_a_second_link, None, None),
            ("check.json is a symbolic link to a device", self.check_json_is_a_device_link, None, WINE_NO_DEVICE),
        ]
        for name, plant, moved, wine_skip in rows:
            with self.subTest(name):
                if TARGET == "windows" and wine_skip:
                    self.skipTest(wine_skip)
                if not AS_ROOT:
                    self.skipTest("needs root to plant files of another account")
                try:
                    if moved is None:
                        self.run_verdict_row(plant)
                    else:
                        self.run_row(plant, moved)
                finally:
                    self.m.backend.cleanup()  # the next row starts without a log directory

    def run_row(self, plant, moved):
        plant()
        before = snapshot(self.victim)
        planted = [self.m.log_dir / path for _, path in moved]
        planted_before = [snapshot_of_entry(p) for p in planted]

        # The run starts a new log file: all of it is this run's.
        r = self.m.run("-av", log_path=self.m.scratch / "not-read")
        records = [text for _, text in parse_log(self.m.read_log())]

        self.assertEqual(r.status, -1)  # the usage: too few arguments
        lines = []
        for kind, path in moved:
            old = self.m.program_log_file_text(path.replace("/", self.m.backend.sep))
            lines.append("%s [%s] could not be trusted and was moved aside to [%s]" % (kind, old, old + ".untrusted-1"))
        self.assertEqual(records[:1 + len(lines)], [BANNER] + lines)
        self.assertEqual(snapshot(self.victim), before)
        # The planted names themselves are kept, unchanged, under their new names.
        for path, was in zip(planted, planted_before):
            self.assertEqual(snapshot_of_entry(path.with_name(path.name + ".untrusted-1")), was)
        self.assertTrue(self.user_folder.is_dir() and not self.user_folder.is_symlink())
        if TARGET == "linux":
            self.assertEqual(self.user_folder.stat().st_mode & 0o777, 0o700)

    def run_verdict_row(self, plant):
        plant()
        before = snapshot(self.victim)
        self.m.write_products({"antivirus": [{"name": "Contoso Antivirus", "state": 0}]})
        self.m.write_policy({"endpoint_posture_check": 1, "av_value": 1, "av_action": 0})

        r = self.m.run("-av", "-outpath=" + self.m.program_path(self.m.host_path("av.json")))

        self.assertEqual(r.status, 0)
        check_text = self.m.program_log_file_text("check.json")
        # A run like any other: nothing moved aside, the verdict saved, no other line about the file.
        self.assertEqual([t for t in r.texts() if "could not be trusted" in t or check_text in t],
                         ["Final compliance status saved to file [%s] isVpnBlock: [true], msg: [av]" % check_text])
        self.assertEqual(snapshot(self.victim), before)
        self.assertEqual(os.stat(self.victim / "marker.txt").st_nlink, 1)
        status = os.lstat(self.m.check_json_path)
        self.assertTrue(stat.S_ISREG(status.st_mode))
        self.assertEqual(status.st_nlink, 1)
        self.assertEqual(self.m.check_json_path.read_bytes(), b"1\r\nav\r\n-\r\n")


def snapshot_of_entry(path):
    if os.path.islink(path):
        return ("link", os.readlink(path))
    stat = os.lstat(path)
    if os.path.isdir(path):
        return ("folder", stat.st_uid, snapshot(path) if os.access(path, os.R_OK) else None)
    return ("file", stat.st_nlink, path.read_bytes())


if __name__ == "__main__":
    unittest.main()
