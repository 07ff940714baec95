#!/usr/bin/python3
# Checks the music against the generator's song list (tools/music/songs.json):
# the program's song tables (printed by DUMP_PROGRAM), file names, titles the
# screen's font can show in its 40 columns, every file present, modules of the
# size their header gives playing 60-120 s, the folder under 30 MB.
#
#     check_music.py SOURCE_DIR DUMP_PROGRAM
#
# Each failed check prints one line; the exit status is the number of failures.
import json
import os
import re
import struct
import subprocess
import sys

failures = []


def fail(text):
    failures.append(text)
    print("FAIL: " + text)


def check_tables(listing, dump_program):
    songs, theme = listing["songs"], listing["theme"]
    if [s["row"] for s in songs] != list(range(15)):
        fail("song list rows are not 0..14 in order")
    for s in songs:
        row, f = s["row"], s["file"]
        extension = ".mod" if row in (6, 7) else ".MP3" if row == 1 else ".mp3"
        if not f.endswith(extension) or not re.match(r"^[A-Za-z0-9_.\-]+$", f):
            fail("row %d: file name %s" % (row, f))
        for field in ("artist", "title"):
            if not re.match(r"^[A-Za-z0-9 .,'!?&+\-:()/]+$", s[field]):
                fail("row %d: %s %r has characters the font lacks" % (row, field, s[field]))
        if len("%d. %s - %s" % (row + 1, s["artist"], s["title"])) > 40:
            fail("row %d: title line longer than 40 characters" % row)
    # The tables as the program has them, one field a line, against the song list.
    want = {"introtheme\t-1\tmusic/" + theme["file"]}
    for s in songs:
        fields = (("songnames", "music/" + s["file"]), ("songartists", s["artist"]), ("songposition", s["placing"]),
                  ("songnames2", "%d. %s - %s" % (s["row"] + 1, s["artist"], s["title"])))
        want |= {"%s\t%d\t%s" % (table, s["row"], text) for table, text in fields}
    have = set(subprocess.run([dump_program], stdout=subprocess.PIPE, text=True, check=True).stdout.splitlines())
    for line in sorted(want ^ have):
        fail("%s %r" % ("the program lacks" if line in want else "the song list lacks", line))


def check_files(source_dir, entries, module_seconds):
    music = os.path.join(source_dir, "music")
    for entry in entries:
        path = os.path.join(music, entry["file"])
        if not path.endswith(".mod"):
            continue  # every file opens in test_music_mixer
        with open(path, "rb") as f:
            data = f.read()
        samples = sum(2 * struct.unpack(">H", data[42 + 30 * i:44 + 30 * i])[0] for i in range(31))
        patterns = max(data[952:1080]) + 1
        if data[1080:1084] != b"M.K." or len(data) != 1084 + patterns * 1024 + samples:
            fail("%s: not a ProTracker module of the size its header gives" % entry["file"])
            continue
        seconds = module_seconds(data)
        print("%-36s %7.2f s" % (entry["file"], seconds))
        if not 60.0 <= seconds <= 120.0:
            fail("%s plays %.1f s" % (entry["file"], seconds))
    total = sum(os.path.getsize(os.path.join(music, n)) for n in os.listdir(music))
    if total >= 30 * 1024 * 1024:
        fail("music/ holds %d bytes" % total)


def main():
    source_dir, dump_program = sys.argv[1], sys.argv[2]
    sys.path.insert(0, os.path.join(source_dir, "tools", "music"))
    from protracker import module_seconds
    with open(os.path.join(source_dir, "tools", "music", "songs.json")) as f:
        listing = json.load(f)
    check_tables(listing, dump_program)
    check_files(source_dir, [listing["theme"]] + listing["songs"], module_seconds)
    return min(len(failures), 100)


if __name__ == "__main__":
    sys.exit(main())
