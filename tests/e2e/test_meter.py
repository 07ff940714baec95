#!/usr/bin/python3
# The panel's level meter under Xvfb with the real player and real audio: a
# disk of one generated song, 2 s of silence then 2 s of a 1 kHz tone, its
# sound captured by SDL's disk driver. The captured audio and the meter's
# pixels, watched side by side, agree: every lamp dark in the silence, the
# tone's band lit (its neighbours less, the outer bands not at all) in the
# tone's own colours, dark again while paused; and nothing else on the
# panel changes. A player that sends no levels leaves the meter at rest.
# bench/meter measures the meter's delay behind the audio.
#
#     test_meter.py MUSICDISK SOURCE_DIR PLAYER Meter
import array
import os
import shutil
import subprocess
import time

from PIL import ImageGrab

import harness

# The panel is laid out for 640x480 in pixels: the meter's lamps, column i
# and row j from the bottom, are 4.4 x 2.6 pixels from (436 + 6.4 i, 31 - 3.6 j).
LAMP_COLOURS = [(60, 230, 110), (60, 230, 110), (150, 235, 70), (240, 210, 60), (250, 90, 60)]
PANEL_PIECE = (372, 0, 480, 48)  # the stretch of the panel the meter lies on


def lamp_centre(i, j):
    return round(438.2 + 6.4 * i - PANEL_PIECE[0]), round(32.3 - 3.6 * j)


class Meter(harness.Session):
    SCREEN = "640x480"

    def install(self):
        shutil.copy(harness.PLAYER, self.path("musicplayer/sdlmusicplayer"))
        os.symlink(os.path.join(harness.SOURCE_DIR, "music"), self.path("music"))
        self.song = self.path("tone.wav")
        subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", self.song, "synth", "2", "sine", "1000",
                        "vol", "0", ":", "synth", "2", "sine", "1000", "vol", "0.5"], check=True)
        self.audio = self.path("audio.raw")
        self.env.update(SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE=self.audio)

    def song_player(self):
        return [pid for pid, argv in harness.children(self.program.pid) if argv[1:2] == [self.song]]

    def lamps(self, grab):
        # Per column the lamps lit (their centre bright), and the lit ones' colours.
        lit = [[grab.getpixel(lamp_centre(i, j)) for j in range(6) if max(grab.getpixel(lamp_centre(i, j))) > 140]
               for i in range(5)]
        return [len(column) for column in lit], lit

    def grab(self):
        return ImageGrab.grab(PANEL_PIECE, xdisplay=self.display)

    def watch(self, done, limit=10):
        # (time, the tone has reached the captured audio, grab of the panel
        # piece) as often as they can be taken, until done(samples, time the
        # tone came) or limit seconds. The capture starts empty: what an
        # earlier player wrote is gone.
        os.truncate(self.audio, 0)
        samples, offset, tone, start = [], 0, None, time.monotonic()
        while time.monotonic() - start < limit and not (tone and done(samples, tone)):
            with open(self.audio, "rb") as f:
                offset = offset if os.fstat(f.fileno()).st_size >= offset else 0  # a player opened it anew
                f.seek(offset)
                data = f.read()
            offset += len(data) & ~3
            if tone is None and any(abs(s) > 8000 for s in array.array("h", data[:len(data) & ~3])):
                tone = time.monotonic()
            samples.append((time.monotonic(), tone is not None, self.grab()))
        return samples

    def lit(self, samples, tone):
        # Lit, and the tone's start (its transient in every band) has fallen off.
        return time.monotonic() - tone > 0.5 and any(self.lamps(samples[-1][2])[0])

    def play(self):
        self.start(args=[self.song])
        self.focus()
        time.sleep(1.0)
        self.key("space")
        self.wait_for(self.song_player, "the song's player", 30)

    def test_the_meter_lights_with_the_sound_it_plays(self):
        self.play()
        samples = self.watch(self.lit)
        silent, toned = [s for s in samples if not s[1]], [s for s in samples if s[1]]
        self.assertTrue(toned, "the tone never reached the captured audio")
        # Dark all through the silence; in the tone, its band lit most, the
        # outer bands not at all, in the lamps' own colours.
        self.assertEqual([self.lamps(g)[0] for _, _, g in silent], [[0] * 5] * len(silent))
        lit = next(s for s in toned if any(self.lamps(s[2])[0]))
        print("the meter lit %.0f ms after the tone reached the captured audio" % ((lit[0] - toned[0][0]) * 1000))
        counts, colours = self.lamps(samples[-1][2])
        self.assertTrue(counts[2] >= 4 and counts[2] > counts[1] > counts[0] == 0 and
                        counts[2] > counts[3] > counts[4] == 0, counts)
        self.assertLess(max(abs(a - b) for column, expected in zip(colours, LAMP_COLOURS) for colour in column
                            for a, b in zip(colour, expected)), 60, colours)
        # Nothing but the meter (and a pixel around it) changes on the panel.
        rest, now = silent[-1][2].load(), samples[-1][2].load()
        changed = [(x + PANEL_PIECE[0], y) for x in range(PANEL_PIECE[2] - PANEL_PIECE[0]) for y in range(48)
                   if rest[x, y] != now[x, y]]
        self.assertTrue(changed and all(434 <= x <= 472 and 11 <= y <= 36 for x, y in changed), changed[:10])
        # Paused: dark; played on: lit again.
        self.key("Left")
        self.wait_for(lambda: self.lamps(self.grab())[0] == [0] * 5, "a dark meter while paused", 5)
        self.key("Right")
        self.wait_for(lambda: self.lamps(self.grab())[0][2] >= 4, "the meter lit again", 5)
        self.stop()

    def test_a_player_that_reports_no_levels_leaves_the_meter_at_rest(self):
        self.env["MUSICDISK_NO_LEVELS"] = "1"
        self.play()
        samples = self.watch(lambda samples, tone: time.monotonic() - tone > 0.7)
        self.assertTrue(samples[-1][1], "the tone never reached the captured audio")
        self.assertEqual([self.lamps(g)[0] for _, _, g in samples], [[0] * 5] * len(samples))
        self.stop()


if __name__ == "__main__":
    harness.main()
