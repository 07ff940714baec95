#!/usr/bin/python3
# The musicdisk as a user runs it, under a real X server (Xvfb) with real key
# presses and clicks (xdotool) and a stand-in player that notes what it is
# told. EndToEnd: a whole run from the intro to Esc. Desktop: its command
# line, a start without a display or on one too small, full screen on bare X
# servers, and clicks landing on what the user sees in full screen, after
# Alt+Enter, in a resized and a moved window, with and without a window
# manager. How it ends on SIGTERM: Session.stop, after most of these runs.
#
#     test_desktop.py MUSICDISK SOURCE_DIR EndToEnd|Desktop
import os
import re
import subprocess
import time

import harness
from harness import THEME, song_paths


def picture_rect(width, height):
    # Where a 4:3 picture lies in a window: as large as fits, centred.
    w, h = (width, (width * 3 + 2) // 4) if width * 3 <= height * 4 else ((height * 4 + 1) // 3, height)
    return (width - w) // 2, (height - h) // 2, w, h


class EndToEnd(harness.Session):
    def test_a_whole_run(self):
        paths = song_paths()
        self.assertEqual(len(paths), 15)
        # The intro theme's player is told to quit; after the flash and the
        # two-second pause the first song, row 0, starts.
        first = self.to_disk_screen()
        theme = self.logged(lambda e: e[2] == "start " + THEME, "the theme's player")[1]
        self.logged(lambda e: e[1] == theme and e[2] == "cmd 2", "quit to the theme's player")
        started = [what for _, _, what in self.lines() if what.startswith("start")]
        self.assertEqual(started, ["start " + THEME, "start " + paths[0]])

        # Cursor down: next to the player, the next one a second after the key.
        pressed = time.monotonic()
        self.key("Down")
        self.logged(lambda e: e[1] == first and e[2] == "cmd 4", "next to the player")
        second = self.song_playing(lambda e: e[2] == "start " + paths[1])
        started = self.logged(lambda e: e[1] == second, "the second song's player")[0]
        self.assertGreaterEqual(started - pressed, 1.0, "the next player starts one second after the key")
        self.assertLess(started - pressed, 3.0)

        self.key("Escape")
        self.logged(lambda e: e[1] == second and e[2] == "cmd 2", "quit to the player")
        try:
            status = self.program.wait(timeout=30)  # the farewell fade takes 300 frames
        except subprocess.TimeoutExpired:
            self.fail("the musicdisk did not end after Esc")
        said = self.said()
        self.assertEqual(status, 0, said)
        self.assertIn("Unpack data... done!\n", said)
        # Without a session bus it says so once, and starts none.
        self.assertLessEqual(len([line for line in said.splitlines() if "Unpack data" not in line]), 1, said)
        self.assert_nothing_left()


class Desktop(harness.Session):
    SCREEN = "1280x1024"

    def restart_x(self, size, manager=False):
        self.leftovers()  # left running by a failed case
        self.xvfb.terminate()
        self.xvfb.wait()
        self.xvfb, self.display = harness.start_xvfb(size)
        self.env["DISPLAY"] = self.display
        if os.path.exists(self.log):
            os.remove(self.log)  # this run's players only
        if manager:
            self.servers.append(subprocess.Popen(["openbox"], env=self.env, stdout=subprocess.DEVNULL,
                                                 stderr=subprocess.DEVNULL))
            time.sleep(1.0)

    def geometry(self, expected=None):
        # The window's size as the X server has it, once it is as expected.
        def size():
            shell = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name", "Musicdisk",
                                    "getwindowgeometry", "--shell"], env=self.env, capture_output=True, text=True,
                                   timeout=30).stdout
            found = dict(line.split("=") for line in shell.split())
            self.window, size = found["WINDOW"], (int(found["WIDTH"]), int(found["HEIGHT"]))
            return size if size == (expected or size) else None
        return self.wait_for(size, "the window's size to be %s" % (expected,), 10)

    def click_next(self, player):
        # Clicks the middle of the panel's "next" button where it shows.
        x, y, w, h = picture_rect(*self.geometry())
        clicked = time.monotonic()
        subprocess.run(["xdotool", "mousemove", "--window", self.window, str(x + w * 63 // 100), str(y + h * 4 // 100),
                        "click", "1"], env=self.env, check=True)
        self.logged(lambda e: e[1] == player and e[2] == "cmd 4", "next from the click")
        return self.song_playing(lambda e: e[2].startswith("start") and e[0] > clicked)

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
                subprocess.run(["xdotool", "windowsize", self.window, "800", "400", "windowmove", self.window, "90", "60"],
                               env=self.env, check=True)
                self.geometry((800, 400))
                self.click_next(player)
                self.stop()

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
                body = self.screenshot(width, height)
                lit = lambda row, column: max(body[(row * width + column) * 3:][:3]) > 16  # noqa: E731
                x, y, w, h = picture_rect(width, height)
                for column in (0, x - 1, x + w, width - 1):
                    self.assertFalse(any(lit(r, column) for r in range(0, height, 7)), "bar column %d" % column)
                for column in (x + 2, x + w - 3):
                    self.assertGreater(sum(lit(r, column) for r in range(0, height, 7)), height // 21, column)
                self.stop()

    def test_command_line_and_no_display(self):
        usage = r"^Usage: musicdisk \[-h\|--help\] \[--window\] (.*\n)*  --window (.*\n)*.*Esc(.*\n)*.*musicdisk\(6\)"
        for args, status, out, err in ((["-h"], 0, usage, "^$"),
                                       (["--version"], 0, r"^musicdisk \d+\.\d+\n$", "^$"),
                                       (["--window", "-x"], 2, "^$", r"^musicdisk: unknown option '-x'\nUsage: ")):
            done = subprocess.run([self.path("musicdisk"), *args], env=self.env, capture_output=True,
                                  text=True, timeout=10)
            self.assertEqual((done.returncode, bool(re.search(out, done.stdout)), bool(re.search(err, done.stderr))),
                             (status, True, True), args)
        # A display that nobody serves and no driver asked for: after a short
        # wait, the screen failure and what it means, no player, nothing left
        # behind (SDL's memory drivers would run unseen); a driver named
        # explicitly still runs.
        bare = {k: v for k, v in self.env.items() if k not in ("WAYLAND_DISPLAY", "SDL_VIDEODRIVER")}
        bare["DISPLAY"] = next(":%d" % n for n in range(59, 99) if not os.path.exists("/tmp/.X11-unix/X%d" % n))
        self.start(bare)
        self.assertEqual(self.program.wait(timeout=30), 255)
        said = self.said()
        self.assertIn("Unable to open screen. Reason: Error code 1\n", said)
        self.assertIn("musicdisk: no X server answers on %s: " % bare["DISPLAY"], said)
        self.assertEqual(self.lines(), [], "no player is started without a screen")
        self.assert_nothing_left()
        # A desktop smaller than the smallest mode: the mode failure, likewise.
        self.restart_x("600x400")
        self.start(args=["--window"])
        self.assertEqual(self.program.wait(timeout=30), 255)
        said = self.said()
        self.assertIn("Error: No ModeID found\n", said)
        self.assertIn("musicdisk: this screen (600x400) is smaller than 640x480", said)
        self.assertEqual(self.lines(), [], "no player is started without a mode")
        self.assert_nothing_left()
        self.start(dict(bare, SDL_VIDEODRIVER="offscreen"))
        self.logged(lambda e: e[2] == "start " + THEME, "the theme on the offscreen driver", 60)
        self.stop()


if __name__ == "__main__":
    harness.main()
