#!/usr/bin/python3
"""Plays every piece through decoders that owe nothing to ours and checks
what comes out.

    check_playback.py SOURCE_DIR

- MP3s are decoded by ffmpeg; the two modules are rendered by openmpt123
  and by xmp;
- each rendering lasts 60-120 s, starts within a second and keeps no more
  than three seconds of silence at its end (an ending, not a cut or a
  pause);
- the MP3s are loudness-matched: -16 LUFS +-1 integrated and at most
  -1 dBFS true peak (ffmpeg's ebur128); the modules' renderings lie
  within 3 LU of that and never clip;
- both module players agree on the length within a second.

Each failed check prints one line; the exit status is the number of failures.
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import wave

import numpy as np

SILENCE_DB = -60.0
failures = []


def fail(text):
    failures.append(text)
    print("FAIL: " + text)


def read_pcm16(path):
    """A 16-bit stereo WAV as (samples, rate)."""
    with wave.open(path, "rb") as w:
        if w.getnchannels() != 2 or w.getsampwidth() != 2:
            raise ValueError("%s: %d channels, %d bytes a sample" % (path, w.getnchannels(), w.getsampwidth()))
        body = w.readframes(w.getnframes())
        return np.frombuffer(body, dtype="<i2").reshape(-1, 2).astype(np.float64) / 32768.0, w.getframerate()


def render(cmd):
    """Runs a decoder; its chatter is shown only when it fails."""
    result = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if result.returncode != 0:
        raise RuntimeError("%s failed: %s" % (cmd[0], result.stdout.strip()))


def loudness(path):
    out = subprocess.run(["ffmpeg", "-hide_banner", "-nostats", "-i", path, "-af", "ebur128=peak=true",
                          "-f", "null", "-"], stderr=subprocess.PIPE, text=True).stderr
    summary = out[out.rfind("Summary:"):]
    lufs = float(re.search(r"I:\s+(-?[\d.]+) LUFS", summary).group(1))
    peak = float(re.search(r"Peak:\s+(-?[\d.]+|-inf) dBFS", summary).group(1))
    return lufs, peak


def check_rendering(label, wav, lufs_range, max_peak):
    x, rate = read_pcm16(wav)
    seconds = len(x) / float(rate)
    level = np.max(np.abs(x), axis=1)
    threshold = 10 ** (SILENCE_DB / 20)
    loud = np.nonzero(level > threshold)[0]
    if len(loud) == 0:
        fail("%s: silent" % label)
        return None
    head = loud[0] / float(rate)
    tail = (len(x) - 1 - loud[-1]) / float(rate)
    lufs, peak = loudness(wav)
    print("%-44s %7.2f s  %6.2f LUFS  %6.2f dBTP  lead-in %.2f s  tail %.2f s" % (label, seconds, lufs, peak,
                                                                            head, tail))
    if not 60.0 <= seconds <= 120.0:
        fail("%s: plays %.1f s" % (label, seconds))
    if head > 1.0:
        fail("%s: %.1f s of silence before the music" % (label, head))
    if tail > 3.0:
        fail("%s: %.1f s of silence at the end" % (label, tail))
    if not lufs_range[0] <= lufs <= lufs_range[1]:
        fail("%s: %.2f LUFS" % (label, lufs))
    if peak > max_peak:
        fail("%s: peak %.2f dBTP" % (label, peak))
    return seconds


def main():
    source_dir = sys.argv[1]
    with open(os.path.join(source_dir, "tools", "music", "songs.json")) as f:
        listing = json.load(f)
    entries = [listing["theme"]] + listing["songs"]
    work = tempfile.mkdtemp(prefix="music-playback-")
    try:
        for entry in entries:
            src = os.path.join(source_dir, "music", entry["file"])
            if not os.path.isfile(src):
                fail("missing %s" % src)
                continue
            if entry["file"].endswith(".mod"):
                local = os.path.join(work, "song.mod")
                shutil.copyfile(src, local)
                render(["openmpt123", "--quiet", "--render", "--force", "--no-float", "--samplerate", "44100",
                        "--output-type", "wav", local])
                a = check_rendering(entry["file"] + " (openmpt123)", local + ".wav", (-19.0, -13.0), -0.1)
                xmp_wav = os.path.join(work, "xmp.wav")
                render(["xmp", "--quiet", "-o", xmp_wav, local])
                b = check_rendering(entry["file"] + " (xmp)", xmp_wav, (-19.0, -13.0), -0.1)
                if a is not None and b is not None and abs(a - b) > 1.0:
                    fail("%s: openmpt123 plays %.1f s, xmp %.1f s" % (entry["file"], a, b))
            else:
                wav = os.path.join(work, "song.wav")
                render(["ffmpeg", "-hide_banner", "-loglevel", "error", "-y", "-i", src, "-c:a", "pcm_s16le", wav])
                check_rendering(entry["file"], wav, (-17.0, -15.0), -1.0)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return min(len(failures), 100)


if __name__ == "__main__":
    sys.exit(main())
