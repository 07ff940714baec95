#!/usr/bin/python3
# A disk of the user's own under Xvfb with the real player: a folder of three
# generated songs with awkward names (a WAV, an MP3 with ID3 tags, a
# ProTracker module with its title) among things that are not songs, played
# without and with a disk.toml, steered through the desktop's media controls;
# and the bad inputs, each refused before anything runs.
#
#     test_owndisk.py MUSICDISK SOURCE_DIR PLAYER OwnDisk
import os
import shutil
import subprocess
import sys
import time

import harness
from harness import THEME

WAV = b"1 a 'b' \"c\".wav"
MP3 = b"2_Tagged.mp3"
MOD = b"10 \xff\n" + b"m" * 246 + b".mod"  # 255 bytes, not UTF-8, a newline


class OwnDisk(harness.Session):
    def install(self):
        shutil.copy(harness.PLAYER, self.path("musicplayer/sdlmusicplayer"))
        os.symlink(os.path.join(harness.SOURCE_DIR, "music"), self.path("music"))
        self.disk = os.fsencode(self.path("my disk"))
        os.makedirs(os.path.join(self.disk, b"sub"))
        song = lambda name: os.path.join(self.disk, name)  # noqa: E731
        subprocess.run(["sox", "-n", "-r", "44100", song(WAV), "synth", "60", "sine", "330"], check=True)
        subprocess.run(["ffmpeg", "-loglevel", "error", "-f", "lavfi", "-i", "sine=f=440:d=60", "-metadata",
                        "title=Café Olé", "-metadata", "artist=Zoë", song(MP3)], check=True)
        sys.path.insert(0, os.path.join(harness.SOURCE_DIR, "tools/music"))
        import protracker
        with open(song(MOD), "wb") as f:
            f.write(protracker.build("chip", 1, "Tiny Tune"))
        # Not songs of the disk: a text, a song in a subfolder, a link that
        # loops, a link to nothing.
        open(song(b"notes.txt"), "w").close()
        shutil.copy(song(WAV), os.path.join(self.disk, b"sub", b"0.wav"))
        os.symlink(b"loop.mp3", song(b"loop.mp3"))
        os.symlink(b"gone", song(b"gone.ogg"))
        self.song = song

    def players(self):
        return [os.fsencode(argv[1]) for _, argv in harness.children(self.program.pid)
                if argv[0].endswith("sdlmusicplayer") and argv[1] != THEME]

    def ctl(self, *args):
        return subprocess.run(["playerctl", "-p", "musicdisk", *args], env=self.env, capture_output=True,
                              text=True).stdout.strip()

    def play_through(self, args, songs):
        # songs: (file, title, artist) in the disk's order. The first plays,
        # next runs through all of them and wraps, previous wraps back.
        bus, address = harness.start_with_fd(["dbus-daemon", "--session", "--nofork", "--print-address={}"])
        self.servers.append(bus)
        self.env["DBUS_SESSION_BUS_ADDRESS"] = address
        self.start(args=args)
        self.focus()
        time.sleep(1.0)
        self.key("space")
        for command, index in [(None, 0), ("next", 1), ("next", 2), ("next", 0), ("previous", 2)]:
            if command:
                self.ctl(command)
            name, title, artist = songs[index]
            self.wait_for(lambda: self.players() == [self.song(name)], "the player of %r" % name, 30)
            self.wait_for(lambda: self.ctl("metadata", "title") == title, title, 10)
            self.assertEqual(self.ctl("metadata", "artist"), artist)
            time.sleep(1.5)  # the overlay fades out; next and previous wait for it
        self.stop()

    def test_a_folder_plays_in_name_order_with_the_titles_of_its_tags(self):
        self.play_through([self.disk], [(WAV, "1 a 'b' \"c\"", ""), (MP3, "Café Olé", "Zoë"),
                                        (MOD, "Tiny Tune", "")])

    def test_disk_toml_names_and_orders_the_songs(self):
        # toml++ takes UTF-8 only: the module is named through a link.
        os.symlink(MOD, self.song(b"module.mod"))
        with open(self.song(b"disk.toml"), "w") as f:
            f.write('name = "Party"\nscroller = "Hello"\ncredits = ["Code: Me"]\n'
                    '[[song]]\nfile = "module.mod"\ntitle = "Opening"\nartist = "Ann"\nplacing = "1st (9)"\n'
                    '[[song]]\nfile = "2_Tagged.mp3"\ntitle = "Second"\n')
        self.play_through([os.fsdecode(self.disk)], [(b"module.mod", "Opening", "Ann"), (MP3, "Second", "Zoë"),
                                                     (WAV, "1 a 'b' \"c\"", "")])

    def test_bad_input_is_refused_in_one_line_before_anything_runs(self):
        empty = self.path("empty")
        os.makedirs(os.path.join(empty, "sub"))
        open(os.path.join(empty, "notes.txt"), "w").close()
        broken, missing = self.path("broken"), self.path("missing")
        for folder, toml in ((broken, 'name = "A"\n\nscroller = = 1\n'), (missing, '[[song]]\nfile = "x.mp3"\n')):
            os.makedirs(folder)
            shutil.copy(self.song(MP3), os.fsencode(folder))
            with open(os.path.join(folder, "disk.toml"), "w") as f:
                f.write(toml)
        wav = os.fsdecode(self.song(WAV))
        for args, said in (([self.path("nothere")], r"cannot open .*/nothere: No such file or directory"),
                           ([wav, "gone.mp3"], r"cannot open gone.mp3: No such file or directory"),
                           ([empty], r"no playable song in .*/empty"),
                           ([broken], r".*/broken/disk.toml:3:12: .+"),
                           ([missing], r".*/missing/disk.toml names a song that does not exist: x.mp3"),
                           ([empty, wav], r".*/empty is a folder: give one folder, or songs")):
            done = subprocess.run([self.path("musicdisk"), *args], env=self.env, capture_output=True, timeout=10)
            self.assertEqual(done.returncode, 2, args)
            self.assertRegex(done.stderr.decode(), r"\Amusicdisk: %s\n\Z" % said)
            self.assertEqual(done.stdout, b"")
        self.assert_nothing_left()


if __name__ == "__main__":
    harness.main()
