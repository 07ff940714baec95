#!/usr/bin/python3
"""The musicdisk end to end, as a user runs it: under a real X server
(Xvfb), with real key presses (xdotool) and a stand-in player that records
what it is told. How it ends on SIGTERM: Session.stop, used by the other tests."""
import subprocess
import time

import harness
from harness import THEME, song_paths


class EndToEnd(harness.Session):
    def test_a_whole_run(self):
        paths = song_paths()
        self.assertEqual(len(paths), 15)
        # The intro theme's player is told to quit; after the flash and the
        # two-second pause the first song, row 0, starts.
        first = self.to_disk_screen()
        theme = self.logged(lambda e: e[2] == "start " + THEME, "the theme's player")[1]
        self.logged(lambda e: e[1] == theme and e[2] == "cmd 2", "quit to the theme's player")
        self.assertEqual([p[2] for p in self.players()], [[THEME], [paths[0]]])

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


if __name__ == "__main__":
    harness.main()
