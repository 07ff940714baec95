#!/usr/bin/python3
"""Checks the music of the musicdisk against the song list and the file formats.

    check_music.py SOURCE_DIR DUMP_PROGRAM

- the program's song tables (printed by DUMP_PROGRAM) agree with the
  generator's song list tools/music/songs.json: paths, titles, handles,
  placings and the intro theme; names follow the file-name rules and titles
  use only characters the screen's font has;
- every file of the song table and the theme exists under music/;
- MP3 files: every frame header parses (MPEG-1 layer III, 44.1 kHz,
  stereo, at least 128 kbit/s) up to the end of the file, and the frames
  add up to 60-120 seconds;
- modules: "M.K." at byte 1080, the file size is exactly header + patterns
  + sample lengths, loops lie inside their samples, and the order list
  plays for 60-120 seconds;
- the whole music folder stays under 30 MB.

Each failed check prints one line; the exit status is the number of failures
(capped at 100).
"""
import json
import os
import re
import struct
import subprocess
import sys

MIN_SECONDS, MAX_SECONDS = 60.0, 120.0
MAX_TOTAL_BYTES = 30 * 1024 * 1024

failures = []
probing = [False]  # the self-test's deliberate failures are not printed


def fail(text):
    failures.append(text)
    if not probing[0]:
        print("FAIL: " + text)


# --------------------------------------------------------------------------
# MP3

BITRATES = [0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320]


def skip_id3v2(data):
    if data[:3] == b"ID3" and len(data) >= 10:
        size = (data[6] << 21) | (data[7] << 14) | (data[8] << 7) | data[9]
        footer = 10 if data[5] & 0x10 else 0
        return 10 + size + footer
    return 0


def mp3_seconds(name, data):
    """Walks the frames; returns the duration of the audio frames or None."""
    pos = skip_id3v2(data)
    end = len(data)
    if end >= 128 and data[end - 128:end - 125] == b"TAG":
        end -= 128
    frames = 0
    first = True
    while pos < end:
        if end - pos < 4:
            fail("%s: %d stray bytes at the end" % (name, end - pos))
            return None
        h = struct.unpack(">I", data[pos:pos + 4])[0]
        if (h >> 21) & 0x7FF != 0x7FF:
            fail("%s: no frame sync at byte %d" % (name, pos))
            return None
        version, layer = (h >> 19) & 3, (h >> 17) & 3
        bitrate_index, rate_index = (h >> 12) & 15, (h >> 10) & 3
        padding, mode = (h >> 9) & 1, (h >> 6) & 3
        if version != 3 or layer != 1:
            fail("%s: frame at byte %d is not MPEG-1 layer III" % (name, pos))
            return None
        if rate_index != 0:
            fail("%s: frame at byte %d is not 44.1 kHz" % (name, pos))
            return None
        if bitrate_index in (0, 15):
            fail("%s: frame at byte %d has a free or bad bit rate" % (name, pos))
            return None
        if BITRATES[bitrate_index] < 128:
            fail("%s: frame at byte %d has %d kbit/s" % (name, pos, BITRATES[bitrate_index]))
            return None
        if mode == 3:
            fail("%s: frame at byte %d is mono" % (name, pos))
            return None
        size = 144000 * BITRATES[bitrate_index] // 44100 + padding
        if pos + size > end:
            fail("%s: last frame cut short at byte %d" % (name, pos))
            return None
        body = data[pos + 4:pos + size]
        # lame's first frame carries the Info/Xing tag and no audio
        if not (first and (b"Info" in body[:40] or b"Xing" in body[:40])):
            frames += 1
        first = False
        pos += size
    return frames * 1152 / 44100.0


# --------------------------------------------------------------------------
# ProTracker modules

def module_check(name, data):
    """Checks the layout and returns the play time in seconds, or None."""
    if len(data) < 1084 or data[1080:1084] != b"M.K.":
        fail("%s: no \"M.K.\" at byte 1080" % name)
        return None
    samples_bytes = 0
    for i in range(31):
        h = data[20 + 30 * i: 50 + 30 * i]
        length, finetune, volume, loop_start, loop_len = struct.unpack(">HBBHH", h[22:30])
        if volume > 64:
            fail("%s: sample %d volume %d" % (name, i + 1, volume))
        if finetune > 15:
            fail("%s: sample %d finetune byte %d" % (name, i + 1, finetune))
        if length and loop_len > 1 and loop_start + loop_len > length:
            fail("%s: sample %d loop runs past its end" % (name, i + 1))
        samples_bytes += 2 * length
    song_length = data[950]
    if not 1 <= song_length <= 128:
        fail("%s: song length %d" % (name, song_length))
        return None
    orders = data[952:1080]
    patterns = max(orders) + 1
    expected = 1084 + patterns * 1024 + samples_bytes
    if len(data) != expected:
        fail("%s: %d bytes, the header says %d" % (name, len(data), expected))
        return None
    return module_seconds(data, patterns)


def module_seconds(data, patterns):
    song_length = data[950]
    orders = list(data[952:952 + song_length])
    speed, tempo = 6, 125
    seconds = 0.0
    order, row = 0, 0
    seen = set()
    while order < song_length:
        if (order, row) in seen:
            break  # the song loops: count it once
        seen.add((order, row))
        base = 1084 + orders[order] * 1024 + row * 16
        jump = None
        delay = 0
        for ch in range(4):
            fx, par = data[base + ch * 4 + 2] & 0x0F, data[base + ch * 4 + 3]
            if fx == 0xF and par:
                speed, tempo = (par, tempo) if par < 32 else (speed, par)
            elif fx == 0xD:
                jump = (order + 1, (par >> 4) * 10 + (par & 0x0F))
            elif fx == 0xB:
                jump = (par, 0)
            elif fx == 0xE and (par >> 4) == 0xE:
                delay = par & 0x0F
        seconds += speed * (1 + delay) * 2.5 / tempo
        if jump:
            order, row = jump
            if row >= 64:
                row = 0
        else:
            row += 1
            if row == 64:
                order, row = order + 1, 0
    return seconds


# --------------------------------------------------------------------------
# The song list against the program's tables

SCREEN_TEXT = re.compile(r"^[A-Za-z0-9 .,'!?&+\-:()/]+$")


def check_tables(listing, dump_program):
    songs = listing["songs"]
    theme = listing["theme"]
    if [s["row"] for s in songs] != list(range(15)):
        fail("song list rows are not 0..14 in order")
    if theme["file"] != "Zeb-The_Creator.mp3":
        fail("theme file is %s" % theme["file"])
    for s in songs:
        row, f = s["row"], s["file"]
        if row in (6, 7):
            ok = f.endswith(".mod")
        elif row == 1:
            ok = f.endswith(".MP3")
        else:
            ok = f.endswith(".mp3")
        if not ok:
            fail("row %d: file %s has the wrong extension" % (row, f))
        if not re.match(r"^[A-Za-z0-9_.\-]+$", f):
            fail("row %d: file name %s has unsafe characters" % (row, f))
        for field in ("artist", "title"):
            if not SCREEN_TEXT.match(s[field]):
                fail("row %d: %s %r has characters the font lacks" % (row, field, s[field]))
        if len("%d. %s - %s" % (row + 1, s["artist"], s["title"])) > 40:
            fail("row %d: title line longer than 40 characters" % row)
    out = subprocess.run([dump_program], stdout=subprocess.PIPE, text=True, check=True).stdout
    tables = {}
    for line in out.splitlines():
        table, row, text = line.split("\t", 2)
        tables[(table, int(row))] = text
    want = {("introtheme", -1): "music/" + theme["file"]}
    for s in songs:
        r = s["row"]
        want[("songnames", r)] = "music/" + s["file"]
        want[("songnames2", r)] = "%d. %s - %s" % (r + 1, s["artist"], s["title"])
        want[("songartists", r)] = s["artist"]
        want[("songposition", r)] = s["placing"]
    for key, text in sorted(want.items()):
        if tables.get(key) != text:
            fail("%s[%d] is %r, the song list says %r" % (key[0], key[1], tables.get(key), text))
    return [theme] + songs


def check_files(source_dir, entries):
    music = os.path.join(source_dir, "music")
    for entry in entries:
        path = os.path.join(music, entry["file"])
        if not os.path.isfile(path):
            fail("missing %s" % path)
            continue
        with open(path, "rb") as f:
            data = f.read()
        if entry["file"].endswith(".mod"):
            seconds = module_check(entry["file"], data)
        else:
            seconds = mp3_seconds(entry["file"], data)
        if seconds is None:
            continue
        print("%-36s %7.2f s" % (entry["file"], seconds))
        if not MIN_SECONDS <= seconds <= MAX_SECONDS:
            fail("%s plays %.1f s" % (entry["file"], seconds))
    total = sum(os.path.getsize(os.path.join(music, n)) for n in os.listdir(music))
    if total >= MAX_TOTAL_BYTES:
        fail("music/ holds %d bytes" % total)


def self_test():
    """The checks themselves must catch broken files."""
    before = len(failures)
    probing[0] = True
    header = bytes([0xFF, 0xFB, 0x90, 0x64])  # MPEG-1 L3, 128 kbit/s, 44.1 kHz, joint stereo
    frame = header + bytes(417 - 4)
    if abs(mp3_seconds("probe", frame * 100) - 100 * 1152 / 44100) > 1e-9:
        fail("frame walker miscounts a clean stream")
    mp3_seconds("probe", frame * 10 + frame[:200])  # cut-off last frame
    mono = bytes([0xFF, 0xFB, 0x90, 0xC4]) + bytes(413)
    mp3_seconds("probe", mono)
    low = bytes([0xFF, 0xFB, 0x80, 0x64]) + bytes(100)  # 112 kbit/s
    mp3_seconds("probe", low)
    module = bytearray(1084 + 1024)
    module[950] = 1
    module[1080:1084] = b"M.K."
    module_check("probe", bytes(module) + b"\0\0")  # size does not match
    module[1080:1084] = b"FLT4"
    module_check("probe", bytes(module))
    caught = len(failures) - before
    del failures[before:]
    probing[0] = False
    if caught != 5:
        fail("the checks caught %d of 5 broken probe files" % caught)


def main():
    source_dir, dump_program = sys.argv[1], sys.argv[2]
    self_test()
    with open(os.path.join(source_dir, "tools", "music", "songs.json")) as f:
        listing = json.load(f)
    entries = check_tables(listing, dump_program)
    check_files(source_dir, entries)
    return min(len(failures), 100)


if __name__ == "__main__":
    sys.exit(main())
