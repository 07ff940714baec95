#!/usr/bin/python3
"""The musicdisk with the real player where the two meet badly, under a real
X server: every song file damaged, and a second musicdisk started while one
runs (and after one was killed).
"""
import os
import random
import time

import harness
from harness import THEME, children, song_paths


class Boundary(harness.Session):
    def install(self):
        # The real player, each start noted before it runs, with the time the
        # process was made (clock ticks since boot, from /proc).
        self.starts = self.path("starts.log")
        shim = self.path("musicplayer/sdlmusicplayer")
        with open(shim, "w") as f:
            f.write('#!/bin/sh\necho "$(cut -d" " -f22 /proc/$$/stat) $1" >> %s\nexec %s "$@"\n'
                    % (self.starts, harness.PLAYER))
        os.chmod(shim, 0o755)
        os.makedirs(self.path("music"))

    def music(self, damaged):
        for path in song_paths() + [THEME]:
            target = self.path(path)
            if damaged:
                with open(target, "wb") as f:
                    f.write(random.Random(path).randbytes(30000))
            else:
                os.symlink(os.path.join(harness.SOURCE_DIR, path), target)

    def test_damaged_songs_are_skipped_once_a_second_then_the_disk_waits_for_a_pick(self):
        self.music(damaged=True)
        program = self.start()

        def starts():
            if not os.path.exists(self.starts):
                return []
            with open(self.starts) as f:
                noted = [line.rstrip("\n").split(" ", 1) for line in f]
            return [(int(t) / os.sysconf("SC_CLK_TCK"), path) for t, path in noted]

        self.wait_for(starts, "the theme's player", 60)
        self.focus()
        time.sleep(1.0)
        self.key("space")
        songs = song_paths()
        self.wait_for(lambda: len(starts()) == 1 + len(songs), "a start for every song", 40)
        time.sleep(3)  # none may follow
        seen = starts()[1:]
        self.assertEqual([path for _, path in seen], songs, "each song once, in order, then none")
        gaps = [b[0] - a[0] for a, b in zip(seen, seen[1:])]
        self.assertGreaterEqual(min(gaps), 0.98, "at most one player start a second")  # to a tick

        self.key("Down")  # a pick: the disk tries again, from the song after the one shown
        self.wait_for(lambda: len(starts()) == 2 + len(songs), "a start after the pick", 5)
        self.assertEqual(starts()[-1][1], songs[1])
        self.wait_for(lambda: not children(program.pid), "the picked song to fail too", 5)
        self.stop()
        err = self.said()
        for path in songs:
            lines = [line for line in err.splitlines() if path in line]
            self.assertEqual(len(lines), 1 + (path == songs[1]), "one line per failure of %s:\n%s" % (path, err))

    def test_one_musicdisk_per_user_and_a_killed_one_blocks_nothing(self):
        self.music(damaged=False)
        first = self.start()
        theme = self.wait_for(lambda: children(first.pid), "the first musicdisk's player", 60)[0][0]
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
        self.wait_for(lambda: children(third.pid) or third.poll() is not None, "a player of the musicdisk started after the kill",
                      60)
        self.assertIsNone(third.poll(), third.stdout.read() if third.poll() is not None else "")


if __name__ == "__main__":
    harness.main(player=True)
