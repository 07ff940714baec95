#!/usr/bin/python3
# Checks the program's song tables (printed by DUMP_PROGRAM) against the
# generator's song list (tools/music/songs.json): file names, and titles the
# screen's font can show in its 40 columns. That every file opens and plays
# one to two minutes is test_music_mixer's.
#
#     check_music.py SOURCE_DIR DUMP_PROGRAM
#
# Each failed check prints one line; the exit status is the number of failures.
import json
import os
import re
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


def main():
    source_dir, dump_program = sys.argv[1], sys.argv[2]
    with open(os.path.join(source_dir, "tools", "music", "songs.json")) as f:
        listing = json.load(f)
    check_tables(listing, dump_program)
    return min(len(failures), 100)


if __name__ == "__main__":
    sys.exit(main())
