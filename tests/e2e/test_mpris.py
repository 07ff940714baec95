#!/usr/bin/python3
"""The desktop's media controls end to end: a private session bus, the musicdisk
under Xvfb with the real player (sound captured by SDL's disk driver), playerctl,
dbus-send and media keys from xdotool."""
import array
import os
import shutil
import subprocess
import time

import harness
from harness import THEME

BYTES_PER_SECOND = 44100 * 2 * 2


class MediaControls(harness.Session):
    def install(self):
        # The real player with the real music; its sound goes to a file.
        shutil.copy(harness.PLAYER, self.path("musicplayer/sdlmusicplayer"))
        os.symlink(os.path.join(harness.SOURCE_DIR, "music"), self.path("music"))
        self.audio = self.path("audio.raw")
        self.env.update(SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE=self.audio)

    def players(self):
        # The song paths of the musicdisk's running players.
        return [argv[1] for _, argv in harness.children(self.program.pid) if argv[0].endswith("sdlmusicplayer")]

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

    def do(self, command):
        how, what = command.split()
        self.ctl(what) if how == "playerctl" else self.key(what)

    def test_playerctl_and_media_keys_steer_the_disk_screen(self):
        bus, address = harness.start_with_fd(["dbus-daemon", "--session", "--nofork", "--print-address={}"])
        self.servers.append(bus)
        self.env["DBUS_SESSION_BUS_ADDRESS"] = address
        self.start()
        follow = subprocess.Popen(["playerctl", "-p", "musicdisk", "--follow", "metadata", "--format",
                                   "{{status}} {{title}}"], env=self.env, stdout=subprocess.PIPE, text=True)
        self.servers.append(follow)
        self.wait_for(lambda: self.players() == [THEME], "the intro theme")
        self.assertEqual(self.ctl("status"), "Stopped")
        # Nothing is taken during the intro: it goes on with its theme.
        self.ctl("next")
        time.sleep(1.5)
        self.assertEqual(self.players(), [THEME])
        self.assertEqual(self.ctl("status"), "Stopped")

        # A media key is a key: it ends the intro. Then the first song plays.
        self.focus()
        self.key("XF86AudioNext")
        self.wait_for(lambda: self.ctl("metadata", "title") == "Skyward", "the first song's title", 30)
        self.assertEqual(self.ctl("metadata", "artist"), "Aurora")
        # The length is the player's; sox measures the file on its own.
        seconds = float(subprocess.run(["soxi", "-D", os.path.join(harness.SOURCE_DIR, "music/aurora-skyward.mp3")],
                                       capture_output=True, text=True, check=True).stdout)
        self.assertAlmostEqual(int(self.ctl("metadata", "mpris:length")) / 1e6, seconds, delta=0.1)
        self.assertEqual(self.ctl("status"), "Playing")

        # What the player makes of each command is heard; the status follows.
        for command, status in [("playerctl pause", "Paused"), ("playerctl play", "Playing"),
                                ("playerctl stop", "Stopped"), ("playerctl play-pause", "Playing"),
                                ("key XF86AudioPlay", "Paused"), ("key XF86AudioPlay", "Playing")]:
            self.do(command)
            self.wait_for(lambda: self.ctl("status") == status, "%s after %s" % (status, command), 5)
            heard = (lambda: self.loud() > 200) if status == "Playing" else (lambda: self.loud() < 20)
            self.wait_for(heard, "the sound after " + command, 5)

        # Song changes start the next player, which the title then names.
        for command, path, title in [("playerctl next", "music/mr_velvet-late_night_call.MP3", "Late Night Call"),
                                     ("key XF86AudioNext", "music/driftwood-tide_pools.mp3", "Tide Pools"),
                                     ("playerctl previous", "music/mr_velvet-late_night_call.MP3", "Late Night Call")]:
            self.do(command)
            self.wait_for(lambda: self.players() == [path], "the player of " + path, 10)
            self.wait_for(lambda: self.ctl("metadata", "title") == title, title, 10)
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


if __name__ == "__main__":
    harness.main(player=True)
