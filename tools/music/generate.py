#!/usr/bin/python3
"""Makes every piece of the musicdisk: the fifteen entries and the intro theme.

    /usr/bin/python3 tools/music/generate.py OUTDIR [NAME...]

OUTDIR receives the files named in songs.json (the song list, shared with
the song table of the program); NAME limits the run to pieces whose file
or style contains it. MIDI pieces are composed (compose.py, styles.py),
rendered and mastered to MP3 (master.py); the two tracker pieces are
written as ProTracker modules (protracker.py). Pieces are made one after
the other, and the same inputs give the same bytes.
"""
import hashlib
import json
import os
import shutil
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import compose  # noqa: E402
import master  # noqa: E402
import protracker  # noqa: E402
import styles  # noqa: E402

MIN_SECONDS = 62.0
MAX_SECONDS = 118.0


def load_list():
    with open(os.path.join(HERE, "songs.json")) as f:
        data = json.load(f)
    entries = [dict(data["theme"], row=None)] + data["songs"]
    return entries


def make_midi_piece(entry, outdir, scratch):
    piece = styles.PIECES[entry["style"]]
    song = compose.Arranger(piece, entry["seed"]).build()
    base = os.path.splitext(entry["file"])[0]
    mid = os.path.join(scratch, base + ".mid")
    raw = os.path.join(scratch, base + ".raw.wav")
    song.write(mid)
    master.render_midi(mid, raw)
    out = os.path.join(outdir, entry["file"])
    loud, peak = master.master_to_mp3(raw, out, entry["title"], entry["artist"], scratch)
    os.remove(raw)
    return out, loud, peak


def make_module(entry, outdir, scratch):
    out = os.path.join(outdir, entry["file"])
    data = protracker.build(entry["style"], entry["seed"], entry["title"])
    with open(out, "wb") as f:
        f.write(data)
    return out, None, None


def main(argv):
    if len(argv) < 2:
        print("usage: generate.py OUTDIR [NAME...]")
        return 2
    outdir = argv[1]
    names = argv[2:]
    os.makedirs(outdir, exist_ok=True)
    scratch = tempfile.mkdtemp(prefix="musicgen-")
    failures = 0
    try:
        for entry in load_list():
            if names and not any(n in entry["file"] or n == entry["style"] for n in names):
                continue
            if entry["file"].lower().endswith(".mod"):
                out, loud, peak = make_module(entry, outdir, scratch)
                length = protracker.module_seconds(open(out, "rb").read())
            else:
                out, loud, peak = make_midi_piece(entry, outdir, scratch)
                length = master.duration(out)
            digest = hashlib.sha256(open(out, "rb").read()).hexdigest()[:16]
            ok = MIN_SECONDS <= length <= MAX_SECONDS
            failures += not ok
            level = "" if loud is None else "%6.2f LUFS %6.2f dBTP" % (loud, peak)
            print("%-34s %6.1f s %s %s%s" % (entry["file"], length, level, digest, "" if ok else "  LENGTH!"),
                  flush=True)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
