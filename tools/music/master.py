"""From a rendered WAV to the finished MP3.

Owns the mastering chain of the MIDI pieces: render the MIDI file with
fluidsynth (FluidR3 GM), trim the silence at both ends, bring the piece to
the target loudness with a peak limiter, write 16-bit PCM without dither,
encode with lame at a constant bit rate, and measure the result with
ffmpeg. Every step is deterministic: fluidsynth writes float samples (no
dither), the limiter is plain arithmetic, the 16-bit conversion rounds.
"""
import json
import os
import struct
import subprocess
import wave

import numpy as np

SOUNDFONT = "/usr/share/sounds/sf2/FluidR3_GM.sf2"
RATE = 44100
TARGET_LUFS = -16.0
MAX_TRUE_PEAK = -1.2  # a margin below -1 dBTP for other meters
BITRATE = 128


def run(cmd):
    result = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    if result.returncode != 0:
        raise RuntimeError("%s failed: %s" % (cmd[0], result.stderr.strip()[-2000:]))
    return result


def render_midi(mid_path, wav_path):
    run(["fluidsynth", "-n", "-i", "-q", "-g", "0.4", "-r", str(RATE), "-O", "float", "-T", "wav",
         "-o", "synth.cpu-cores=1", "-o", "synth.reverb.room-size=0.6", "-o", "synth.reverb.level=0.7",
         "-F", wav_path, SOUNDFONT, mid_path])


def read_wav(path):
    """Reads a float32 or int16 WAV as an (n, 2) float64 array."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:4] != b"RIFF" or data[8:12] != b"WAVE":
        raise ValueError("not a WAV file: " + path)
    pos = 12
    fmt = None
    while pos + 8 <= len(data):
        cid, size = data[pos:pos + 4], struct.unpack("<I", data[pos + 4:pos + 8])[0]
        body = data[pos + 8:pos + 8 + size]
        if cid == b"fmt ":
            fmt = list(struct.unpack("<HHIIHH", body[:16]))
            if fmt[0] == 0xFFFE and len(body) >= 26:  # WAVE_FORMAT_EXTENSIBLE
                fmt[0] = struct.unpack("<H", body[24:26])[0]
        elif cid == b"data":
            tag, channels, rate, _, _, bits = fmt
            if tag == 3 and bits == 32:
                samples = np.frombuffer(body, dtype="<f4").astype(np.float64)
            elif tag == 1 and bits == 16:
                samples = np.frombuffer(body, dtype="<i2").astype(np.float64) / 32768.0
            else:
                raise ValueError("unsupported WAV format %d/%d" % (tag, bits))
            samples = samples[: len(samples) // channels * channels].reshape(-1, channels)
            if channels == 1:
                samples = np.repeat(samples, 2, axis=1)
            return samples[:, :2], rate
        pos += 8 + size + (size & 1)
    raise ValueError("no data in " + path)


def write_float_wav(path, x):
    body = x.astype("<f4").tobytes()
    header = b"RIFF" + struct.pack("<I", 36 + len(body)) + b"WAVE"
    header += b"fmt " + struct.pack("<IHHIIHH", 16, 3, 2, RATE, RATE * 8, 8, 32)
    header += b"data" + struct.pack("<I", len(body))
    with open(path, "wb") as f:
        f.write(header + body)


def write_pcm16(path, x):
    pcm = np.clip(np.round(x * 32767.0), -32767, 32767).astype("<i2")
    with wave.open(path, "wb") as w:
        w.setnchannels(2)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(pcm.tobytes())


def trim(x, head_db=-50.0, tail_db=-62.0, fade_s=1.2):
    """Cuts the silence before the first note and after the last echo, and
    rounds the very end of the tail off so it does not stop on a click."""
    level = np.max(np.abs(x), axis=1)
    peak = level.max()
    loud = np.nonzero(level > peak * 10 ** (head_db / 20))[0]
    start = max(0, loud[0] - int(0.005 * RATE))
    quiet = np.nonzero(level > peak * 10 ** (tail_db / 20))[0]
    end = min(len(x), quiet[-1] + 1)
    y = x[start:end].copy()
    n = min(len(y), int(fade_s * RATE))
    ramp = np.cos(np.linspace(0, np.pi / 2, n)) ** 2
    y[-n:] *= ramp[:, None]
    return y


def limit(x, ceiling, block=128, release_s=0.12):
    """Look-ahead peak limiter: the gain falls one block before a peak
    would pass the ceiling and recovers over release_s."""
    n = len(x)
    level = np.max(np.abs(x), axis=1)
    need = np.minimum(1.0, ceiling / np.maximum(level, 1e-12))
    blocks = -(-n // block)
    padded = np.ones(blocks * block)
    padded[:n] = need
    bmin = padded.reshape(blocks, block).min(axis=1)
    ahead = np.minimum(bmin, np.append(bmin[1:], 1.0))
    rel = np.exp(-block / (release_s * RATE))
    gains = np.empty(blocks)
    cur = 1.0
    for i in range(blocks):
        g = ahead[i]
        cur = g if g < cur else g + (cur - g) * rel
        gains[i] = cur
    per_sample = np.repeat(gains, block)
    # trailing moving average: reaches the block's gain by its end, and the
    # look-ahead keeps it there through the peak block
    c = np.cumsum(np.concatenate([np.full(block, per_sample[0]), per_sample]))
    smooth = (c[block:] - c[:-block]) / block
    smooth = np.minimum(smooth[:n], need)
    return x * smooth[:, None]


def measure(path):
    """Integrated loudness (LUFS) and true peak (dBTP) by ffmpeg's loudnorm."""
    result = run(["ffmpeg", "-hide_banner", "-nostats", "-i", path, "-af",
                  "loudnorm=I=-16:TP=-1:LRA=11:print_format=json", "-f", "null", "-"])
    text = result.stderr
    block = text[text.rindex("{"):text.rindex("}") + 1]
    values = json.loads(block)
    return float(values["input_i"]), float(values["input_tp"])


def sample_peak_db(x):
    return 20 * np.log10(np.max(np.abs(x)) + 1e-12)


def master_to_mp3(raw_wav, mp3_path, title, artist, scratch):
    x, rate = read_wav(raw_wav)
    if rate != RATE:
        raise ValueError("renderer wrote %d Hz" % rate)
    x = trim(x)
    probe = os.path.join(scratch, "probe.wav")
    pcm = os.path.join(scratch, "master.wav")
    ceiling_db = -1.8
    write_float_wav(probe, x)
    loud, _ = measure(probe)
    gain_db = TARGET_LUFS - loud
    # The encoder's low-pass and the limiter both move the loudness a
    # little, so the gain is settled on the encoded file itself.
    for attempt in range(8):
        y = limit(x * 10 ** (gain_db / 20), 10 ** (ceiling_db / 20))
        write_pcm16(pcm, y)
        encode(pcm, mp3_path, title, artist)
        loud, peak = measure(mp3_path)
        if os.environ.get("MUSICGEN_DEBUG"):
            print("  gain %.2f dB ceiling %.2f dB -> %.2f LUFS %.2f dBTP" % (gain_db, ceiling_db, loud, peak))
        if abs(loud - TARGET_LUFS) <= 0.1 and peak <= MAX_TRUE_PEAK - 0.05:
            break
        gain_db += TARGET_LUFS - loud
        if peak > MAX_TRUE_PEAK - 0.05:
            ceiling_db -= peak - MAX_TRUE_PEAK + 0.15
    for f in (probe, pcm):
        os.remove(f)
    if abs(loud - TARGET_LUFS) > 0.3 or peak > MAX_TRUE_PEAK:
        raise RuntimeError("%s: %.2f LUFS, %.2f dBTP after mastering" % (mp3_path, loud, peak))
    return loud, peak


def encode(wav_path, mp3_path, title, artist):
    run(["lame", "--silent", "--noreplaygain", "-b", str(BITRATE), "--cbr", "-q", "2", "-m", "j",
         "--resample", "44.1", "--tt", title, "--ta", artist, "--tl", "Orbel musicdisk", "--id3v2-only",
         wav_path, mp3_path])


def duration(path):
    result = run(["ffprobe", "-v", "error", "-show_entries", "format=duration", "-of",
                  "default=noprint_wrappers=1:nokey=1", path])
    return float(result.stdout.strip())
