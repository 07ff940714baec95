#!/usr/bin/python3
# Installs the build into a scratch prefix and checks what a desktop sees:
# a launcher entry that validates and runs the installed program with options
# it knows, the entry's icon in five sizes, a manual page that renders without
# warnings and names every option the program offers.
import configparser
import os
import re
import struct
import subprocess
import sys
import tempfile

with tempfile.TemporaryDirectory(prefix="musicdisk-install-") as prefix:
    subprocess.run(["cmake", "--install", sys.argv[1], "--prefix", prefix], check=True, capture_output=True)
    share = os.path.join(prefix, "share")
    entry = os.path.join(share, "applications", "io.github.torvane.musicdisk.desktop")
    checked = subprocess.run(["desktop-file-validate", entry], capture_output=True, text=True)
    assert (checked.returncode, checked.stdout + checked.stderr) == (0, ""), checked.stdout + checked.stderr
    desktop = configparser.ConfigParser(interpolation=None)
    desktop.read(entry)
    usage = subprocess.run([os.path.join(prefix, "bin", "musicdisk"), "--help"], capture_output=True, text=True,
                           check=True).stdout
    for section in desktop.values():
        program, *options = section.get("Exec", "musicdisk").split()
        files = options[-1:] == ["%F"]  # the files the desktop opens with it: the usage's FOLDER | FILE...
        options = options[:-1] if files else options
        assert program == "musicdisk" and all("  %s " % o in usage for o in options), section.get("Exec")
        assert not files or "[FOLDER | FILE...]" in usage, section.get("Exec")
    for size in (32, 48, 64, 128, 256):
        icon = "icons/hicolor/%dx%d/apps/%s.png" % (size, size, desktop["Desktop Entry"]["Icon"])
        with open(os.path.join(share, icon), "rb") as f:
            head = f.read(26)
        assert head[:8] == b"\x89PNG\r\n\x1a\n", icon
        assert struct.unpack(">4sIIBB", head[12:26]) == (b"IHDR", size, size, 8, 6), icon  # RGBA, 8 bits
    shown = subprocess.run(["man", "--warnings", "-l", os.path.join(share, "man", "man6", "musicdisk.6")],
                           capture_output=True, text=True, env=dict(os.environ, MANWIDTH="80"))
    assert (shown.returncode, shown.stderr) == (0, ""), shown.stderr
    text = re.sub(".\b", "", shown.stdout)  # without overstrike
    for option in re.findall(r"^  (--\w+)", usage, re.M):
        assert option in text, option
print("installed: launcher entry, icons and manual page are sound")
