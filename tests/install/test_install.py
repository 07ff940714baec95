#!/usr/bin/python3
"""Installs the build into a scratch prefix and checks it as a desktop sees
it: a launcher entry that validates and starts the installed program, an
icon of that name in several sizes, and a manual page that renders without
warnings and names every option the program offers."""
import configparser
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

BUILD = None


class Installed(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.prefix = tempfile.mkdtemp(prefix="musicdisk-install-")
        subprocess.run(["cmake", "--install", BUILD, "--prefix", cls.prefix], check=True, capture_output=True)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.prefix, ignore_errors=True)

    def path(self, *parts):
        return os.path.join(self.prefix, *parts)

    def test_launcher_entry_icons_and_manual(self):
        entry = self.path("share", "applications", "musicdisk.desktop")
        checked = subprocess.run(["desktop-file-validate", entry], capture_output=True, text=True)
        self.assertEqual((checked.returncode, checked.stdout + checked.stderr), (0, ""))
        desktop = configparser.ConfigParser(interpolation=None)
        desktop.read(entry)
        # Every command of the entry runs the installed program with options it knows.
        usage = subprocess.run([self.path("bin", "musicdisk"), "--help"], capture_output=True, text=True, check=True).stdout
        for section in desktop.sections():
            if "Exec" in desktop[section]:
                program, *options = desktop[section]["Exec"].split()
                self.assertEqual(program, "musicdisk")
                for option in options:
                    self.assertIn("  " + option + " ", usage)
        # The icon the entry names, at each size a desktop looks for, RGBA.
        icon = desktop["Desktop Entry"]["Icon"]
        for size in (32, 48, 64, 128, 256):
            with open(self.path("share", "icons", "hicolor", "%dx%d" % (size, size), "apps", icon + ".png"), "rb") as f:
                head = f.read(26)
            self.assertEqual(head[:8], b"\x89PNG\r\n\x1a\n")
            self.assertEqual(struct.unpack(">4sIIBB", head[12:26]), (b"IHDR", size, size, 8, 6))
        # The manual page renders cleanly and documents every option.
        page = self.path("share", "man", "man6", "musicdisk.6")
        shown = subprocess.run(["man", "--warnings", "-l", page], capture_output=True, text=True,
                               env=dict(os.environ, MANWIDTH="80"))
        self.assertEqual((shown.returncode, shown.stderr), (0, ""))
        text = re.sub(".\b", "", shown.stdout)  # no overstrike
        for option in re.findall(r"^  (--\w+)", usage, re.M):
            self.assertIn(option, text)


if __name__ == "__main__":
    BUILD = sys.argv.pop(1)
    unittest.main(verbosity=2)
