#!/usr/bin/python3
# The musicdisk under Xvfb with the real player. MediaControls: the desktop's
# media controls end to end, a private session bus, the player's sound captured
# by SDL's disk driver, playerctl, dbus-send and media keys from xdotool.
# Boundary: where the two meet badly, every song file damaged, and a second
# musicdisk started while one runs (and after one was killed).
#
#     test_player.py MUSICDISK SOURCE_DIR PLAYER MediaControls|Boundary
import array
import os
import random
import shutil
import subprocess
import time

import numpy

import harness
from harness import THEME, children, song_paths

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

        self.moves_and_volume()

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

        # The volume is kept for the next run, whose players start at it; a
        # damaged file costs one line and full volume.
        with open(self.path("state/musicdisk/volume")) as f:
            self.assertEqual(f.read(), "0.500\n")
        for kept, volume, said in (("0.500\n", "0.5", []), ("loud\n", "1.0", ["damaged"])):
            with open(self.path("state/musicdisk/volume"), "w") as f:
                f.write(kept)
            self.start()
            self.wait_for(lambda: self.players() == [THEME], "the intro theme")
            self.wait_for(lambda: self.ctl("volume").startswith(volume), "the volume kept, " + volume)
            environ = [e for p, _, _, argv, e in harness.processes() if argv[1:] == [THEME]][0]
            self.assertIn(b"MUSICDISK_VOLUME=%d" % int(float(volume) * 1000), environ)
            self.stop()
            lines = [line for line in self.said().splitlines() if "volume" in line]
            self.assertEqual(len(lines), len(said), lines)
            self.assertTrue(all(word in line for word, line in zip(said, lines)), lines)

    def heard(self, song, near):
        # Where in the song the last half second captured is (its end, in
        # seconds), found by matching it within 3 s of near; and how far the
        # song is ahead of the capture.
        captured = numpy.fromfile(self.audio, dtype=numpy.int16)[0::2].astype(float)
        start, chunk = max(0, int((near - 3) * 44100)), captured[-22050:]
        best = start + int(numpy.argmax(numpy.correlate(song[start:start + 6 * 44100 + 22050], chunk, "valid")))
        match = song[best:best + 22050]
        self.assertGreater(match @ chunk / numpy.linalg.norm(match) / numpy.linalg.norm(chunk), 0.9, "heard near %s" % near)
        end = (best + 22050) / 44100.0
        return end, end - len(captured) / 44100.0

    def position(self):
        # The bus's Position, and how much had been captured (seconds) just
        # before and just after it was asked.
        first = os.path.getsize(self.audio) / BYTES_PER_SECOND
        position = float(self.ctl("position"))
        return position, (first, os.path.getsize(self.audio) / BYTES_PER_SECOND)

    def moves_and_volume(self):
        # The song as decoded on its own, left channel.
        decoded = subprocess.run(["sox", os.path.join(harness.SOURCE_DIR, "music/aurora-skyward.mp3"), "-t", "raw",
                                  "-r", "44100", "-e", "signed", "-b", "16", "-c", "2", "-"], capture_output=True,
                                 check=True).stdout
        song = numpy.frombuffer(decoded, dtype=numpy.int16)[0::2].astype(float)
        monitor = subprocess.Popen(["dbus-monitor", "--session", "type='signal',member='Seeked'"], env=self.env,
                                   stdout=subprocess.PIPE, text=True)
        self.servers.append(monitor)
        self.assertEqual(self.ctl("metadata", "xesam:album"), "Velmo - the Orbel musicdisk")
        art = self.ctl("metadata", "mpris:artUrl")
        with open(art.replace("file://", "", 1), "rb") as f:
            self.assertEqual(f.read(24)[:16], b"\x89PNG\r\n\x1a\n\0\0\0\rIHDR")
        self.wait_for(lambda: self.ctl("status") == "Playing" and self.loud() > 200, "the song playing")
        # A move of 5 s on (Seek, the full stop key) or back (comma) moves
        # the sound by as much, one to 50 s (SetPosition) moves it there, and
        # Position keeps with the sound.
        for how, step in (("5+", 5.0), ("period", 5.0), ("comma", -5.0), ("50", None)):
            time.sleep(1.0)
            before, captured = self.position()
            was, ahead = self.heard(song, before)
            self.ctl("position", how) if how[0].isdigit() else self.key(how)
            time.sleep(1.0)
            after, captured_after = self.position()
            now, moved = self.heard(song, after)
            if step is None:
                self.assertTrue(50.0 < now < 51.5, now)
            else:
                self.assertAlmostEqual(moved - ahead, step, delta=0.1, msg=how)
                self.assertGreater(now, was + step + 0.5, how)  # and it plays on
            # Where the bus said the song was, the sound was (song time is
            # capture time plus how far the song is ahead), give or take the
            # mixer's buffer, while the bus was asked.
            for position, (first, last), offset in ((before, captured, ahead), (after, captured_after, moved)):
                self.assertTrue(first + offset - 0.15 <= position <= last + offset + 0.15,
                                "%s: Position %.3f, heard %.3f to %.3f" % (how, position, first + offset, last + offset))
        self.assertEqual(self.ctl("metadata", "title"), "Skyward")
        # The volume: the keys step it, the bus sets it (clamped).
        for how, volume in (("key minus", 0.95), ("key KP_Subtract", 0.9), ("key KP_Add", 0.95), ("set 7.5", 1.0),
                            ("set -1", 0.0), ("set 0.5", 0.5)):
            if how.startswith("key"):
                self.key(how.split()[1])
            else:
                subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.mpris.MediaPlayer2.musicdisk",
                                "/org/mpris/MediaPlayer2", "org.freedesktop.DBus.Properties.Set",
                                "string:org.mpris.MediaPlayer2.Player", "string:Volume",
                                "variant:double:" + how.split()[1]], env=self.env, check=True, capture_output=True)
            self.wait_for(lambda: abs(float(self.ctl("volume")) - volume) < 0.001, "volume %s after %s" % (volume, how))
        monitor.terminate()
        self.assertEqual(monitor.communicate()[0].count("member=Seeked"), 4, "every move told")



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
        self.wait_for(lambda: children(third.pid) or third.poll() is not None, "a player after the kill", 60)
        self.assertIsNone(third.poll(), third.stdout.read() if third.poll() is not None else "")


if __name__ == "__main__":
    harness.main()
