#!/usr/bin/python3
"""The desktop's media controls end to end: a private session bus, the musicdisk
under Xvfb with the real player (sound captured by SDL's disk driver), playerctl,
dbus-send and media keys from xdotool; and without a session bus, none started."""
import array
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

MUSICDISK = PLAYER = SOURCE_DIR = None
BYTES_PER_SECOND = 44100 * 2 * 2


def wait_for(probe, what, timeout=20):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = probe()
        if value:
            return value
        time.sleep(0.1)
    raise AssertionError("timed out waiting for " + what)


def processes():
    # (pid, parent pid, argv, environment) of every process that can be read.
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            stat = open("/proc/%s/stat" % pid).read()
            argv = open("/proc/%s/cmdline" % pid).read().split("\0")
            environ = open("/proc/%s/environ" % pid, "rb").read().split(b"\0")
        except OSError:
            continue
        yield int(pid), int(stat.rsplit(")", 1)[1].split()[1]), argv, environ


def start_with_fd(argv):
    # Starts a server that writes its address to the fd named in argv ({}).
    r, w = os.pipe()
    proc = subprocess.Popen([a.format(w) for a in argv], pass_fds=(w,), stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    os.close(w)
    with os.fdopen(r) as f:
        return proc, f.readline().strip()


class MediaControls(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="musicdisk-mpris-")
        shutil.copy(MUSICDISK, os.path.join(self.dir, "musicdisk"))
        os.makedirs(os.path.join(self.dir, "musicplayer"))
        shutil.copy(PLAYER, os.path.join(self.dir, "musicplayer", "sdlmusicplayer"))
        os.symlink(os.path.join(SOURCE_DIR, "music"), os.path.join(self.dir, "music"))
        self.runtime = os.path.join(self.dir, "run")
        os.makedirs(self.runtime, mode=0o700)
        self.audio = os.path.join(self.dir, "audio.raw")
        self.xvfb, display = start_with_fd(["Xvfb", "-displayfd", "{}", "-screen", "0", "1024x768x24", "-nolisten",
                                            "tcp"])
        self.env = dict(os.environ, DISPLAY=":" + display, XDG_RUNTIME_DIR=self.runtime, SDL_VIDEODRIVER="x11",
                        SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE=self.audio)
        self.env.pop("DBUS_SESSION_BUS_ADDRESS", None)
        self.servers, self.program = [self.xvfb], None

    def tearDown(self):
        if self.program and self.program.poll() is None:
            self.program.kill()
            self.program.wait()
        for server in self.servers:
            server.terminate()
            server.wait()
        shutil.rmtree(self.dir, ignore_errors=True)

    def start(self):
        self.program = subprocess.Popen([os.path.join(self.dir, "musicdisk")], cwd="/", env=self.env,
                                        stdout=subprocess.PIPE, stderr=subprocess.PIPE)

    def players(self):
        # The song paths of the musicdisk's running players.
        return [argv[1] for _, parent, argv, _ in processes()
                if parent == self.program.pid and argv[0].endswith("sdlmusicplayer")]

    def loud(self):
        # The root mean square of the last quarter second the player wrote.
        with open(self.audio, "rb") as f:
            f.seek(0, os.SEEK_END)
            f.seek(max(0, f.tell() - BYTES_PER_SECOND // 4) & ~3)
            samples = array.array("h", f.read())
        return (sum(s * s for s in samples) / max(1, len(samples))) ** 0.5

    def ctl(self, *args):
        done = subprocess.run(["playerctl", "-p", "musicdisk"] + list(args), env=self.env, capture_output=True,
                              text=True)
        return done.stdout.strip()

    def key(self, name):
        subprocess.run(["xdotool", "key", name], env=self.env, check=True)

    def do(self, command):
        how, what = command.split()
        self.ctl(what) if how == "playerctl" else self.key(what)

    def test_playerctl_and_media_keys_steer_the_disk_screen(self):
        bus, address = start_with_fd(["dbus-daemon", "--session", "--nofork", "--print-address={}"])
        self.servers.append(bus)
        self.env["DBUS_SESSION_BUS_ADDRESS"] = address
        self.start()
        follow = subprocess.Popen(["playerctl", "-p", "musicdisk", "--follow", "metadata", "--format",
                                   "{{status}} {{title}}"], env=self.env, stdout=subprocess.PIPE, text=True)
        self.servers.append(follow)
        wait_for(lambda: self.players() == ["music/Zeb-The_Creator.mp3"], "the intro theme")
        self.assertEqual(self.ctl("status"), "Stopped")
        # Nothing is taken during the intro: it goes on with its theme.
        self.ctl("next")
        time.sleep(1.5)
        self.assertEqual(self.players(), ["music/Zeb-The_Creator.mp3"])
        self.assertEqual(self.ctl("status"), "Stopped")

        # A media key is a key: it ends the intro. Then the first song plays.
        window = wait_for(lambda: subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "."], env=self.env,
                                                 capture_output=True, text=True).stdout.split(), "the window")
        subprocess.run(["xdotool", "windowfocus", "--sync", window[-1]], env=self.env)
        self.key("XF86AudioNext")
        wait_for(lambda: self.ctl("metadata", "title") == "Skyward", "the first song's title", 30)
        self.assertEqual(self.ctl("metadata", "artist"), "Aurora")
        # The length is the player's; sox measures the file on its own.
        seconds = float(subprocess.run(["soxi", "-D", os.path.join(SOURCE_DIR, "music/aurora-skyward.mp3")],
                                       capture_output=True, text=True, check=True).stdout)
        self.assertAlmostEqual(int(self.ctl("metadata", "mpris:length")) / 1e6, seconds, delta=0.1)
        self.assertEqual(self.ctl("status"), "Playing")

        # What the player makes of each command is heard; the status follows.
        for command, status in [("playerctl pause", "Paused"), ("playerctl play", "Playing"),
                                ("playerctl stop", "Stopped"), ("playerctl play-pause", "Playing"),
                                ("key XF86AudioPlay", "Paused"), ("key XF86AudioPlay", "Playing")]:
            self.do(command)
            wait_for(lambda: self.ctl("status") == status, "%s after %s" % (status, command), 5)
            heard = (lambda: self.loud() > 200) if status == "Playing" else (lambda: self.loud() < 20)
            wait_for(heard, "the sound after " + command, 5)

        # Song changes start the next player, which the title then names.
        for command, path, title in [("playerctl next", "music/mr_velvet-late_night_call.MP3", "Late Night Call"),
                                     ("key XF86AudioNext", "music/driftwood-tide_pools.mp3", "Tide Pools"),
                                     ("playerctl previous", "music/mr_velvet-late_night_call.MP3", "Late Night Call")]:
            self.do(command)
            wait_for(lambda: self.players() == [path], "the player of " + path, 10)
            wait_for(lambda: self.ctl("metadata", "title") == title, title, 10)
            time.sleep(1.2)  # the overlay fades out; next and previous wait for it

        # Quit leaves as Esc does, with the farewell fade, and ends the player.
        quit = ["dbus-send", "--session", "--print-reply", "--dest=org.mpris.MediaPlayer2.musicdisk",
                "/org/mpris/MediaPlayer2", "org.mpris.MediaPlayer2.Quit"]
        subprocess.run(quit, env=self.env, check=True, capture_output=True)
        time.sleep(1.0)
        self.assertIsNone(self.program.poll(), "the farewell fade runs")
        self.assertEqual(self.program.wait(timeout=30), 0)
        self.assertEqual(self.players(), [])

        # Every change reached the bus as it happened (--follow prints on signals only).
        follow.terminate()
        seen = [line for line in follow.communicate()[0].splitlines() if line.strip()]
        expected = ["Playing Skyward", "Paused Skyward", "Playing Skyward", "Stopped Skyward", "Playing Skyward",
                    "Paused Skyward", "Playing Skyward", "Playing Late Night Call", "Playing Tide Pools",
                    "Playing Late Night Call"]
        it = iter(seen)
        self.assertTrue(all(line in it for line in expected), "signals seen: %s" % seen)

    def test_without_a_session_bus_none_is_started(self):
        self.assertIsNotNone(shutil.which("dbus-launch"), "dbus-launch is what would start one")
        self.start()
        wait_for(lambda: self.players() == ["music/Zeb-The_Creator.mp3"], "the intro theme")
        time.sleep(1.0)
        self.program.send_signal(signal.SIGTERM)
        self.assertEqual(self.program.wait(timeout=10), 0)
        said = [line for line in self.program.communicate()[1].decode().splitlines() if "Unpack data" not in line]
        self.assertLessEqual(len(said), 1, said)
        left = [(pid, argv) for pid, _, argv, environ in processes()
                if b"XDG_RUNTIME_DIR=" + self.runtime.encode() in environ]
        for pid, _ in left:
            os.kill(pid, signal.SIGKILL)
        self.assertEqual(left, [], "processes that outlive the musicdisk")
        self.assertFalse(os.path.exists(os.path.join(self.runtime, "dbus-1")))


if __name__ == "__main__":
    MUSICDISK, PLAYER, SOURCE_DIR = sys.argv.pop(1), sys.argv.pop(1), sys.argv.pop(1)
    unittest.main(verbosity=2)
