#!/usr/bin/python3
"""The musicdisk on a desktop, as a user meets it: its command line, a start
without any display, full screen on bare X servers of several sizes, and the
pointer landing on what the user sees in full screen, in a window after
Alt+Enter and in a resized window, with and without a window manager.

Runs the real program under Xvfb with the stand-in player of test_e2e.py.
"""
import os
import re
import signal
import subprocess
import sys
import time
import unittest

import test_e2e
from test_e2e import EndToEnd, start_xvfb


def picture_rect(width, height):
    """Where a 4:3 picture lies in a window: as large as fits, centred."""
    if width * 3 <= height * 4:
        w, h = width, (width * 3 + 2) // 4
    else:
        w, h = (height * 4 + 1) // 3, height
    return (width - w) // 2, (height - h) // 2, w, h


class Desktop(EndToEnd):
    SCREEN = "1280x1024"

    def restart_x(self, size, manager=False):
        if self.program and self.program.poll() is None:
            self.program.kill()  # left running by a failed case
            self.program.wait()
        self.xvfb.terminate()
        self.xvfb.wait()
        self.xvfb, self.display = start_xvfb(size)
        if os.path.exists(self.log.path):
            os.remove(self.log.path)  # a fresh run: its players only
        self.env["DISPLAY"] = self.display
        if manager:
            wm = subprocess.Popen(["openbox"], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            self.addCleanup(wm.wait)
            self.addCleanup(wm.terminate)
            time.sleep(1.0)

    def geometry(self, expected=None):
        """The window's real size, as the X server has it; waits for expected."""
        deadline = time.monotonic() + 10
        while True:
            ids = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "Musicdisk"], env=self.env,
                                 capture_output=True, text=True).stdout.split()
            size = None
            if ids:
                self.window = ids[-1]
                shell = subprocess.run(["xdotool", "getwindowgeometry", "--shell", self.window], env=self.env,
                                       capture_output=True, text=True).stdout
                size = tuple(int(re.search(k + r"=(\d+)", shell).group(1)) for k in ("WIDTH", "HEIGHT"))
            if size and (expected is None or size == expected) or time.monotonic() > deadline:
                self.assertEqual(size, expected or size, "the window's size")
                return size
            time.sleep(0.1)

    def to_disk_screen(self, args=()):
        self.start(args=args)
        self.log.wait_for(lambda e: e[2] == "start music/Zeb-The_Creator.mp3", 60, "the intro theme's player")
        self.focus()
        time.sleep(1.0)
        self.key("space")
        return self.song_playing(lambda e: e[2] == "start " + test_e2e.song_paths()[0])

    def song_playing(self, started):
        player = self.log.wait_for(started, 15, "a song's player")[1]
        self.log.wait_for(lambda e: e[1] == player and e[2] == "playing", 10, "the song playing")
        time.sleep(1.5)  # next is taken once the overlay has gone
        return player

    def click_next(self, player):
        """Clicks the middle of the panel's "next" button where it shows."""
        x, y, w, h = picture_rect(*self.geometry())
        clicked = time.monotonic()
        subprocess.run(["xdotool", "mousemove", "--window", self.window, str(x + w * 63 // 100), str(y + h * 4 // 100),
                        "click", "1"], env=self.env, check=True)
        self.log.wait_for(lambda e: e[1] == player and e[2] == "cmd 4", 10, "next from the click")
        return self.song_playing(lambda e: e[2].startswith("start") and e[0] > clicked)

    def screen_rows(self):
        """The whole screen as rows of RGB bytes."""
        xwd = subprocess.run(["xwd", "-root", "-silent", "-display", self.display], capture_output=True, check=True)
        ppm = subprocess.run(["xwdtopnm"], input=xwd.stdout, capture_output=True, check=True).stdout
        w, h, body = re.match(rb"P6\s+(\d+)\s+(\d+)\s+255\s(.*)", ppm, re.S).groups()
        w, h = int(w), int(h)
        return [body[r * w * 3:(r + 1) * w * 3] for r in range(h)], w, h

    def test_pointer_lands_on_what_is_seen(self):
        for manager in (False, True):
            with self.subTest(window_manager=manager):
                self.restart_x(self.SCREEN, manager)
                player = self.to_disk_screen()
                self.assertEqual(self.geometry(), (1280, 1024))  # full screen, 32-pixel bars
                player = self.click_next(player)
                self.key("alt+Return")
                self.geometry((1280, 960))
                player = self.click_next(player)
                subprocess.run(["xdotool", "windowsize", self.window, "800", "400"], env=self.env, check=True)
                self.geometry((800, 400))
                self.click_next(player)
                self.program.send_signal(signal.SIGTERM)
                self.assertEqual(self.program.wait(timeout=10), 0)

    def test_full_screen_fills_bare_screens(self):
        for size, args in (("1920x1080", ["--window"]), ("3840x2160", [])):
            with self.subTest(size=size):
                self.restart_x(size)
                width, height = map(int, size.split("x"))
                self.to_disk_screen(args)
                if args:
                    self.assertEqual(self.geometry(), (1280, 960))
                    self.key("alt+Return")
                self.geometry((width, height))
                time.sleep(0.5)
                # The bars beside the picture are black; the scrolling bands
                # reach both inner edges of the picture.
                rows, w, h = self.screen_rows()
                x, y, pw, ph = picture_rect(width, height)
                lit = lambda row, column: max(rows[row][column * 3:column * 3 + 3]) > 16
                for column in (0, x - 1, x + pw, width - 1):
                    self.assertFalse(any(lit(r, column) for r in range(0, h, 7)), "bar column %d" % column)
                for column in (x + 2, x + pw - 3):
                    self.assertGreater(sum(lit(r, column) for r in range(0, h, 7)), h // 7 // 3, "column %d" % column)
                self.program.send_signal(signal.SIGTERM)
                self.assertEqual(self.program.wait(timeout=10), 0)

    def test_command_line_and_no_display(self):
        cases = ((["--help"], 0, r"Usage: musicdisk \[--window\] \[--help\] \[--version\]\n(.*\n)*  --window ", ""),
                 (["--version"], 0, r"musicdisk \d+\.\d+\n$", ""),
                 (["--window", "--bogus"], 2, "", r"unknown option '--bogus'\nUsage: musicdisk "))
        for args, status, out, err in cases:
            done = subprocess.run([os.path.join(self.dir, "musicdisk"), *args], env=self.env, capture_output=True,
                                  text=True, timeout=10)
            self.assertEqual(done.returncode, status, args)
            self.assertRegex(done.stdout, out or "^$")
            self.assertRegex(done.stderr, err or "^$")
        # No display and no driver asked for: the screen failure, nothing
        # left behind; a driver named explicitly still runs.
        bare = {k: v for k, v in self.env.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER")}
        self.start(bare)
        self.assertEqual(self.program.wait(timeout=30), 255)
        self.assertIn("Unable to open screen. Reason: Error code 1\n", self.program.communicate()[0].decode())
        self.assertEqual(self.players(), [])
        self.assert_nothing_left()
        self.start(dict(bare, SDL_VIDEODRIVER="offscreen"))
        self.log.wait_for(lambda e: e[2] == "start music/Zeb-The_Creator.mp3", 60, "the theme on the offscreen driver")
        self.program.send_signal(signal.SIGTERM)
        self.assertEqual(self.program.wait(timeout=10), 0)
        self.assert_nothing_left()


def load_tests(loader, tests, pattern):
    return unittest.TestSuite(Desktop(name) for name in sorted(vars(Desktop)) if name.startswith("test"))


if __name__ == "__main__":
    test_e2e.MUSICDISK = sys.argv.pop(1)
    test_e2e.SOURCE_DIR = sys.argv.pop(1)
    unittest.main(verbosity=2)
