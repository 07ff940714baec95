#!/usr/bin/python3
# The edges a user meets outside the everyday path, each judged by exit
# status, message and what is left on disk: a runtime folder that is full or
# missing, the leftovers of a killed run, a window under a window manager on
# a small screen and one destroyed by another client, a lost X server. (A
# display that nobody serves: test_desktop.py, with the other starts that
# cannot show.)
#
#     test_edges.py MUSICDISK SOURCE_DIR PLAYER Edges
import os
import signal
import subprocess

import harness
from harness import THEME


class Edges(harness.Session):
    SCREEN = "1024x768"

    def theme_started(self):
        self.logged(lambda e: e[2] == "start " + THEME, "the intro theme's player", 60)

    def test_a_full_runtime_folder_ends_it_before_the_display(self):
        # A tmpfs of its own, filled up, in a mount namespace (a user
        # namespace too, so that no root is needed where they are allowed).
        script = ('mount -t tmpfs -o size=256k,mode=700 none "$1" || exit 99; '
                  'head -c 1M /dev/zero >"$1/fill" 2>/dev/null; "$2"; status=$?; echo ==; ls -A "$1" "$1/musicdisk"; '
                  'exit $status')
        done = subprocess.run(["unshare", "-Urm", "sh", "-c", script, "sh", self.runtime, self.path("musicdisk")],
                              env=self.env, capture_output=True, text=True, timeout=60)
        if done.returncode == 99 or "unshare" in done.stderr:
            self.skipTest("cannot mount a tmpfs here (no mount namespace): " + done.stderr.strip())
        self.assertEqual(done.returncode, 255, done.stderr)
        self.assertRegex(done.stderr, r"(^|\n)Unpack data... \nmusicdisk: cannot stage the pictures in " +
                         self.runtime + r"/musicdisk-ram-\w{6}: .*No space left on device\n$")
        self.assertNotIn("Unable to open file", done.stdout)
        self.assertEqual(done.stdout.split("==\n", 1)[1], "%s:\nfill\nmusicdisk\n\n%s/musicdisk:\n" %
                         (self.runtime, self.runtime))
        self.assertEqual(self.lines(), [], "no player before the display")

    def test_a_missing_runtime_folder_falls_back_to_tmp(self):
        tmp = self.path("tmp")
        os.makedirs(tmp)
        self.runtime = self.path("gone")  # what the leftovers are looked for by
        self.start(dict(self.env, XDG_RUNTIME_DIR=self.runtime, TMPDIR=tmp))
        self.theme_started()
        self.stop_and_check_tmp(tmp)

    def stop_and_check_tmp(self, tmp):
        self.program.send_signal(signal.SIGTERM)
        self.assertEqual(self.program.wait(timeout=10), 0)
        ports = "/tmp/musicdisk-%d" % os.geteuid()
        self.assertIn("musicdisk: XDG_RUNTIME_DIR (%s) cannot be used: No such file or directory; using %s instead\n"
                      % (self.runtime, ports), self.said())
        self.assertEqual(self.leftovers(), [])
        self.assertEqual(os.listdir(tmp), [], "staged files left behind")
        self.assertEqual(os.listdir(ports), [], "socket files left behind")

    def test_the_leftovers_of_a_killed_run_go_with_the_next(self):
        self.start()
        self.theme_started()
        self.program.kill()
        self.program.wait()
        self.leftovers()  # its player, should the parent-death signal be late
        left = [n for n in os.listdir(self.runtime) if n.startswith("musicdisk-ram-")]
        self.assertEqual(len(left), 1, os.listdir(self.runtime))
        # Ours goes; another user's stays (made so only where we may).
        foreign = os.path.join(self.runtime, "musicdisk-ram-other1")
        os.makedirs(foreign)
        if os.geteuid() == 0:
            os.chown(foreign, 65534, 65534)
        os.remove(self.log)
        self.start()
        self.theme_started()
        self.program.send_signal(signal.SIGTERM)
        self.assertEqual(self.program.wait(timeout=10), 0)
        said = self.said()
        self.assertIn("musicdisk: removed %s/%s, left by a musicdisk that was killed\n" % (self.runtime, left[0]), said)
        if os.geteuid() == 0:
            self.assertNotIn("other1", said)
            os.rmdir(foreign)
        self.assert_nothing_left()

    def test_a_window_fits_under_a_manager_and_may_be_closed_by_another_client(self):
        manager = subprocess.Popen(["openbox"], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.servers.append(manager)
        self.to_disk_screen(["--window"])
        window = self.wait_for(lambda: subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "Musicdisk"],
                                                      env=self.env, capture_output=True, text=True).stdout.split(),
                               "the window")[0]

        def placed():
            info = subprocess.run(["xwininfo", "-id", window], env=self.env, capture_output=True, text=True).stdout
            frame = subprocess.run(["xprop", "-id", window, "_NET_FRAME_EXTENTS"], env=self.env,
                                   capture_output=True, text=True).stdout
            field = lambda name: int(info.split(name + ":")[1].split()[0])  # noqa: E731
            left, right, top, bottom = map(int, frame.split("=")[1].split(","))
            x, y, w, h = (field(n) for n in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"))
            outside = (x - left, y - top, x + w + right, y + h + bottom)
            return (w, h, top) if top > 0 and outside[0] >= 0 and outside[1] >= 0 and outside[2:] <= (1024, 768) \
                else None
        w, h, top = self.wait_for(placed, "the window and its frame inside the screen", 10)
        self.assertLessEqual(abs(w * 3 - h * 4), 4, "the picture's shape")
        self.assertGreaterEqual(h, 768 - top - 40, "as large as fits")

        subprocess.run(["xdotool", "windowclose", window], env=self.env, check=True)
        self.assertEqual(self.program.wait(timeout=20), 0)
        self.assertIn("musicdisk: the window was closed by another program: ending\n", self.said())
        self.assert_nothing_left()

    def test_a_lost_x_server_ends_it_in_order(self):
        self.to_disk_screen()
        self.xvfb.kill()
        self.assertEqual(self.program.wait(timeout=20), 255)
        self.assertIn("musicdisk: the X server %s has gone away: ending\n" % self.display, self.said())
        self.assert_nothing_left()


if __name__ == "__main__":
    harness.main()
