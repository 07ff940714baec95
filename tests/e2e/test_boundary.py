#!/usr/bin/python3
"""The musicdisk with the real player where the two meet badly, under a real
X server: every song file damaged, and a second musicdisk started while one
runs (and after one was killed).
"""
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

import test_e2e
from test_e2e import song_paths, start_xvfb


def children(pid):
    """(pid, argv) of every living, not yet reaped child of pid."""
    found = []
    for entry in os.listdir("/proc"):
        try:
            stat = open("/proc/%s/stat" % entry).read()
            fields = stat[stat.rindex(")") + 2:].split()
            if int(fields[1]) == pid and fields[0] != "Z":
                found.append((int(entry), open("/proc/%s/cmdline" % entry).read().split("\0")[:-1]))
        except (OSError, ValueError):
            pass
    return found


class Boundary(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="musicdisk-boundary-")
        shutil.copy(test_e2e.MUSICDISK, os.path.join(self.dir, "musicdisk"))
        os.makedirs(os.path.join(self.dir, "musicplayer"))
        # The real player, each start noted before it runs, with the time the
        # process was made (clock ticks since boot, from /proc).
        self.starts = os.path.join(self.dir, "starts.log")
        shim = os.path.join(self.dir, "musicplayer", "sdlmusicplayer")
        with open(shim, "w") as f:
            f.write('#!/bin/sh\necho "$(cut -d" " -f22 /proc/$$/stat) $1" >> %s\nexec %s "$@"\n'
                    % (self.starts, PLAYER))
        os.chmod(shim, 0o755)
        os.makedirs(os.path.join(self.dir, "music"))
        runtime = os.path.join(self.dir, "run")
        os.makedirs(runtime, mode=0o700)
        self.xvfb, display = start_xvfb()
        self.env = dict(os.environ, DISPLAY=display, XDG_RUNTIME_DIR=runtime, SDL_VIDEODRIVER="x11",
                        SDL_AUDIODRIVER="dummy", DBUS_SESSION_BUS_ADDRESS="disabled:")
        self.programs = []
        self.wait_for(lambda: subprocess.run(["xdotool", "getmouselocation"], env=self.env, capture_output=True)
                      .returncode == 0, 10, "the X server")

    def tearDown(self):
        for program in self.programs:
            if program.poll() is None:
                program.kill()
                program.wait()
        self.xvfb.terminate()
        self.xvfb.wait()
        shutil.rmtree(self.dir, ignore_errors=True)

    def music(self, damaged):
        for path in song_paths() + ["music/Zeb-The_Creator.mp3"]:
            target = os.path.join(self.dir, path)
            if damaged:
                with open(target, "wb") as f:
                    f.write(random.Random(path).randbytes(30000))
            else:
                os.symlink(os.path.join(test_e2e.SOURCE_DIR, path), target)

    def start(self):
        program = subprocess.Popen([os.path.join(self.dir, "musicdisk")], cwd="/", env=self.env,
                                   stdout=subprocess.PIPE, stderr=subprocess.STDOUT)  # both, in order
        self.programs.append(program)
        return program

    def key(self, name):
        subprocess.run(["xdotool", "key", name], env=self.env, check=True)

    def wait_for(self, predicate, timeout, what):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            found = predicate()
            if found:
                return found
            time.sleep(0.02)
        ended = [(p.returncode, p.stdout.read()) for p in self.programs if p.poll() is not None]
        self.fail("timed out waiting for %s; ended: %s" % (what, ended))

    def test_damaged_songs_are_skipped_once_a_second_then_the_disk_waits_for_a_pick(self):
        self.music(damaged=True)
        program = self.start()

        def starts():
            lines = open(self.starts).read().split("\n")[:-1] if os.path.exists(self.starts) else []
            ticks = os.sysconf("SC_CLK_TCK")
            return [(int(t) / ticks, path) for t, path in (line.split(" ", 1) for line in lines)]

        self.wait_for(starts, 60, "the theme's player")
        test_e2e.EndToEnd.focus(self)  # the window, focused and under the pointer
        time.sleep(1.0)
        self.key("space")
        songs = song_paths()
        self.wait_for(lambda: len(starts()) == 1 + len(songs), 40, "a start for every song")
        time.sleep(3)  # none may follow
        seen = starts()[1:]
        self.assertEqual([path for _, path in seen], songs, "each song once, in order, then none")
        gaps = [b[0] - a[0] for a, b in zip(seen, seen[1:])]
        self.assertGreaterEqual(min(gaps), 0.98, "at most one player start a second")  # to a tick

        self.key("Down")  # a pick: the disk tries again, from the song after the one shown
        self.wait_for(lambda: len(starts()) == 2 + len(songs), 5, "a start after the pick")
        self.assertEqual(starts()[-1][1], songs[1])
        self.wait_for(lambda: not children(program.pid), 5, "the picked song to fail too")
        program.send_signal(signal.SIGTERM)
        err = program.communicate(timeout=20)[0].decode(errors="replace")
        for path in songs:
            lines = [line for line in err.splitlines() if path in line]
            self.assertEqual(len(lines), 1 + (path == songs[1]), "one line per failure of %s:\n%s" % (path, err))

    def test_one_musicdisk_per_user_and_a_killed_one_blocks_nothing(self):
        self.music(damaged=False)
        first = self.start()
        theme = self.wait_for(lambda: children(first.pid), 60, "the first musicdisk's player")[0][0]
        second = self.start()
        self.assertNotEqual(second.wait(timeout=10), 0)
        said = second.stdout.read().decode(errors="replace")
        self.assertIn("already running", said)
        self.assertNotIn("Unpack data", said, "the second one got as far as its display")
        self.assertIsNone(first.poll())
        self.assertEqual([pid for pid, _ in children(first.pid)], [theme], "the first one's player untouched")

        first.kill()
        first.wait()
        third = self.start()
        self.wait_for(lambda: children(third.pid) or third.poll() is not None, 60, "a player of the musicdisk started after the kill")
        self.assertIsNone(third.poll(), third.stdout.read() if third.poll() is not None else "")


if __name__ == "__main__":
    test_e2e.MUSICDISK = sys.argv.pop(1)
    test_e2e.SOURCE_DIR = sys.argv.pop(1)
    PLAYER = sys.argv.pop(1)
    unittest.main(verbosity=2)
