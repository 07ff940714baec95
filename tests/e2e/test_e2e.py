#!/usr/bin/python3
"""The musicdisk end to end, as a user runs it: under a real X server
(Xvfb), with real key presses (xdotool) and a stand-in player that records
what it is told.

Leaves the intro with a key, checks that the first song's player starts with
row 0's path, that cursor down sends "next" and that the next player starts
one second after the key press, then leaves with Esc and checks the exit
value and that no process, socket or staged file is left behind.
"""
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

MUSICDISK = None
SOURCE_DIR = None


def song_paths():
    with open(os.path.join(SOURCE_DIR, "src/music/songtable.cpp")) as f:
        text = f.read()
    body = re.search(r"songnames\[numberOfSongs\]\s*=\s*\{(.*?)\};", text, re.S).group(1)
    return re.findall(r'"(music/[^"]+)"', body)


def start_xvfb(size="1024x768"):
    r, w = os.pipe()
    proc = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", size + "x24", "-nolisten", "tcp"],
                            pass_fds=(w,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(w)
    number = b""
    while not number.endswith(b"\n"):
        chunk = os.read(r, 16)
        if not chunk:
            raise RuntimeError("Xvfb did not start")
        number += chunk
    os.close(r)
    return proc, ":" + number.decode().strip()


class Log:
    def __init__(self, path):
        self.path = path
        self.program = None  # the musicdisk, for what it said when a wait fails

    def lines(self):
        if not os.path.exists(self.path):
            return []
        out = []
        for line in open(self.path):
            t, pid, what = line.rstrip("\n").split(" ", 2)
            out.append((float(t), int(pid), what))
        return out

    def wait_for(self, predicate, timeout, what):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            for entry in self.lines():
                if predicate(entry):
                    return entry
            time.sleep(0.05)
        said = ""
        if self.program and self.program.poll() is not None:
            out, err = self.program.communicate()
            said = "\nthe musicdisk ended with %d; it said:\n%s%s" % (self.program.returncode, out.decode(errors="replace"),
                                                                  err.decode(errors="replace"))
        log = open(self.path).read() if os.path.exists(self.path) else ""
        raise AssertionError("timed out waiting for %s; player log:\n%s%s" % (what, log, said))


class EndToEnd(unittest.TestCase):
    SCREEN = "1024x768"

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="musicdisk-e2e-")
        # The program's data directory: the executable beside music/ and the player.
        shutil.copy(MUSICDISK, os.path.join(self.dir, "musicdisk"))
        os.makedirs(os.path.join(self.dir, "musicplayer"))
        player = os.path.join(self.dir, "musicplayer", "sdlmusicplayer")
        shutil.copy(os.path.join(os.path.dirname(__file__), "standin_player.py"), player)
        os.chmod(player, 0o755)
        os.makedirs(os.path.join(self.dir, "music"))
        self.runtime = os.path.join(self.dir, "run")
        os.makedirs(self.runtime, mode=0o700)
        self.log = Log(os.path.join(self.dir, "player.log"))
        self.xvfb, self.display = start_xvfb(self.SCREEN)
        self.env = dict(os.environ, DISPLAY=self.display, XDG_RUNTIME_DIR=self.runtime,
                        STANDIN_LOG=self.log.path, SDL_VIDEODRIVER="x11", SDL_AUDIODRIVER="dummy")
        self.program = None

    def tearDown(self):
        if self.program and self.program.poll() is None:
            self.program.kill()
            self.program.wait()
        for _, pid, what in self.log.lines():
            if what.startswith("start"):
                try:
                    os.kill(pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
        self.xvfb.terminate()
        self.xvfb.wait()
        shutil.rmtree(self.dir, ignore_errors=True)

    def key(self, name):
        subprocess.run(["xdotool", "key", "--clearmodifiers", name], env=self.env, check=True)

    def focus(self):
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "."], env=self.env,
                                   capture_output=True, text=True)
            ids = found.stdout.split()
            if ids:
                subprocess.run(["xdotool", "windowfocus", "--sync", ids[-1]], env=self.env)
                subprocess.run(["xdotool", "mousemove", "500", "400"], env=self.env)
                return
            time.sleep(0.1)
        raise AssertionError("the musicdisk's window did not appear")

    def start(self, env=None, args=()):
        self.program = subprocess.Popen([os.path.join(self.dir, "musicdisk"), *args], cwd="/", env=env or self.env,
                                        stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.log.program = self.program

    def assert_nothing_left(self):
        time.sleep(0.3)
        for _, pid, _ in self.players():
            self.assertFalse(os.path.exists("/proc/%d" % pid) and
                             open("/proc/%d/stat" % pid).read().split()[2] != "Z", "player %d still runs" % pid)
        ports = os.path.join(self.runtime, "musicdisk")
        left = os.listdir(ports) if os.path.isdir(ports) else []
        self.assertEqual(left, [], "socket files left behind")
        # dbus-1 is the session bus's own, when SDL had one started for the display.
        left = [n for n in os.listdir(self.runtime) if n not in ("musicdisk", "dbus-1")]
        self.assertEqual(left, [], "staged files left behind")

    def players(self):
        return [(t, pid, what.split()[1:]) for t, pid, what in self.log.lines() if what.startswith("start")]

    def test_a_whole_run(self):
        paths = song_paths()
        self.assertEqual(len(paths), 15)
        self.start()
        # The intro theme's player comes first.
        self.log.wait_for(lambda e: e[2] == "start music/Zeb-The_Creator.mp3", 60, "the intro theme's player")
        self.focus()
        time.sleep(1.0)  # keys in the first half second are ignored
        self.key("space")
        # The theme's player is told to quit, then, after the flash and the
        # two-second pause, the first song starts.
        self.log.wait_for(lambda e: e[2] == "cmd 2", 10, "quit to the theme's player")
        first = self.log.wait_for(lambda e: e[2].startswith("start") and e[2] != "start music/Zeb-The_Creator.mp3",
                                  15, "the first song's player")
        self.assertEqual(first[2].split()[1:], [paths[0]])
        self.log.wait_for(lambda e: e[1] == first[1] and e[2] == "playing", 10, "the first song playing")
        time.sleep(1.5)  # the overlay fades out; next is accepted once playing

        pressed = time.monotonic()
        self.key("Down")
        self.log.wait_for(lambda e: e[1] == first[1] and e[2] == "cmd 4", 10, "next to the player")
        second = self.log.wait_for(lambda e: e[2] == "start " + paths[1], 10, "the second song's player")
        self.assertGreaterEqual(second[0] - pressed, 1.0, "the next player starts one second after the key")
        self.assertLess(second[0] - pressed, 3.0)
        self.log.wait_for(lambda e: e[1] == second[1] and e[2] == "playing", 10, "the second song playing")
        time.sleep(1.5)

        self.key("Escape")
        self.log.wait_for(lambda e: e[1] == second[1] and e[2] == "cmd 2", 10, "quit to the player")
        try:
            status = self.program.wait(timeout=30)  # the farewell fade takes 300 frames
        except subprocess.TimeoutExpired:
            self.fail("the musicdisk did not end after Esc")
        out, err = self.program.communicate()
        self.assertEqual(status, 0, err.decode(errors="replace"))
        self.assertIn("Unpack data... done!\n", err.decode(errors="replace"))

        # Nothing is left behind: no player, no socket, no staged file.
        self.assert_nothing_left()

    def test_sigterm_on_the_disk_screen_ends_it_the_orderly_way(self):
        self.start()
        self.log.wait_for(lambda e: e[2] == "start music/Zeb-The_Creator.mp3", 60, "the intro theme's player")
        self.focus()
        time.sleep(1.0)
        self.key("Return")
        first = self.log.wait_for(lambda e: e[2] == "start " + song_paths()[0], 15, "the first song's player")
        self.log.wait_for(lambda e: e[1] == first[1] and e[2] == "playing", 10, "the first song playing")
        self.program.send_signal(signal.SIGTERM)
        try:
            status = self.program.wait(timeout=5)  # no farewell fade on a termination request
        except subprocess.TimeoutExpired:
            self.fail("SIGTERM did not end the musicdisk")
        self.assertEqual(status, 0)
        self.log.wait_for(lambda e: e[1] == first[1] and e[2] == "cmd 2", 5, "quit to the player")
        self.assert_nothing_left()

    def test_without_a_display_it_says_so_and_leaves_nothing(self):
        env = dict(self.env, SDL_VIDEODRIVER="x11")
        env.pop("DISPLAY")
        self.start(env)
        status = self.program.wait(timeout=30)
        out, err = self.program.communicate()
        self.assertEqual(status, 255)  # main's -1
        self.assertIn("Unable to open screen. Reason: Error code", out.decode(errors="replace"))
        self.assertEqual(self.players(), [], "no player is started without a screen")
        self.assert_nothing_left()


if __name__ == "__main__":
    MUSICDISK = sys.argv.pop(1)
    SOURCE_DIR = sys.argv.pop(1)
    unittest.main(verbosity=2)
