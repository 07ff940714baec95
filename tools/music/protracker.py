"""ProTracker modules ("M.K.", 4 channels, 31 samples) made from scratch.

Owns the two tracker entries of the musicdisk: the file layout of a
ProTracker module, the synthesis of its 8-bit samples (waveforms, a chord
stab, a detuned pad, drums), the two compositions written row by row with
the classic effects (arpeggio, vibrato, portamento, volume slides, note
cut), and a small row-by-row timer that tells how long a module plays.

Layout of the file: 20-byte title; 31 sample headers of 30 bytes (name,
length in words, finetune, volume, loop start and loop length in words,
all big-endian); song length; restart byte; 128-entry order table; "M.K."
at byte 1080; patterns of 64 rows x 4 channels x 4 bytes; sample data.
"""
import math
import random
import struct

import numpy as np

import compose

PAL_CLOCK = 3546895.0
# Periods of finetune 0 from C-1 to B-3 (index 0 to 35).
PERIODS = [856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453,
           428, 404, 381, 360, 339, 320, 302, 285, 269, 254, 240, 226,
           214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120, 113]
RATE_C2 = PAL_CLOCK / 428
RATE_C3 = PAL_CLOCK / 214
ROWS = 64


class Sample:
    def __init__(self, name, data, volume=64, loop=None, base=None, finetune=0):
        self.name = name
        self.data = data  # int8 array
        self.volume = volume
        self.loop = loop  # (start, length) in samples, or None
        self.base = base  # MIDI pitch heard at C-2
        self.finetune = finetune


def to_int8(x, peak=0.98):
    x = np.asarray(x, dtype=np.float64)
    m = np.max(np.abs(x)) or 1.0
    return np.clip(np.round(x / m * peak * 127), -128, 127).astype(np.int8)


def pitched(name, wave, cycles, volume=64, loop=True):
    """A looped waveform holding `cycles` periods; its pitch at C-2 gives
    the MIDI base note and the finetune that corrects the rest."""
    n = len(wave)
    freq = RATE_C2 * cycles / n
    midi = 69 + 12 * math.log2(freq / 440.0)
    base = int(round(midi))
    finetune = max(-8, min(7, int(round((base - midi) * 8))))
    return Sample(name, to_int8(wave), volume, (0, n) if loop else None, base, finetune)


def additive(n, voices, max_harmonic_rate=0.45, shape="saw"):
    """Band-limited saw/square made of harmonics; voices = cycles per n."""
    t = np.arange(n) / n
    out = np.zeros(n)
    for cycles in voices:
        h = 1
        while cycles * h / n < max_harmonic_rate:
            if shape == "saw":
                out += np.sin(2 * np.pi * cycles * h * t) / h
            elif shape == "square" and h % 2 == 1:
                out += np.sin(2 * np.pi * cycles * h * t) / h
            h += 1
    return out


def drum_kick(rate=RATE_C3, seconds=0.32):
    t = np.arange(int(rate * seconds)) / rate
    freq = 45 + 120 * np.exp(-t * 30)
    phase = 2 * np.pi * np.cumsum(freq) / rate
    x = np.sin(phase) * np.exp(-t * 9)
    x[:40] += np.linspace(0.6, 0, 40)  # the click of the beater
    return x


def drum_snare(rng, rate=RATE_C3, seconds=0.24, tone=190):
    t = np.arange(int(rate * seconds)) / rate
    noise = np.array([rng.uniform(-1, 1) for _ in t])
    return 0.55 * np.sin(2 * np.pi * tone * t) * np.exp(-t * 25) + noise * np.exp(-t * 14)


def drum_hat(rng, rate=RATE_C3, seconds=0.08):
    t = np.arange(int(rate * seconds)) / rate
    noise = np.array([rng.uniform(-1, 1) for _ in t])
    noise = np.diff(np.concatenate([[0.0], noise]))  # tilt toward the top end
    return noise * np.exp(-t * 60)


def drum_clap(rng, rate=RATE_C3, seconds=0.25):
    t = np.arange(int(rate * seconds)) / rate
    noise = np.array([rng.uniform(-1, 1) for _ in t])
    env = np.exp(-t * 18)
    for burst in (0.0, 0.011, 0.022):
        env = env + 0.8 * np.exp(-np.maximum(t - burst, 0) * 180) * (t >= burst)
    return noise * env


def one_shot(name, x, volume=64):
    data = to_int8(x)
    data[:2] = 0  # ProTracker plays the first word of a one-shot as its idle loop
    return Sample(name, data, volume, None, None, 0)


def stab_chord(rate, root_hz, intervals, seconds, bright=6):
    """An electric-piano chord: decaying partials for each chord tone."""
    t = np.arange(int(rate * seconds)) / rate
    out = np.zeros(len(t))
    for semis in intervals:
        f = root_hz * 2 ** (semis / 12)
        for h in range(1, bright + 1):
            if f * h < rate * 0.45:
                out += np.sin(2 * np.pi * f * h * t) * np.exp(-t * (3 + 2.5 * h)) / h ** 1.3
    attack = np.minimum(1.0, t / 0.004)
    return out * attack


# --------------------------------------------------------------------------
# Module writer


class Module:
    def __init__(self, title):
        self.title = title
        self.samples = []
        self.channels = [dict() for _ in range(4)]  # global row -> cell
        self.length_rows = 0

    def add_sample(self, sample):
        self.samples.append(sample)
        return len(self.samples)  # sample numbers start at 1

    def put(self, ch, row, sample=0, index=None, effect=0, param=0):
        cell = self.channels[ch].get(row, [0, None, 0, 0])
        if sample:
            cell[0] = sample
        if index is not None:
            cell[1] = index
        if effect or param:
            cell[2], cell[3] = effect, param
        self.channels[ch][row] = cell
        self.length_rows = max(self.length_rows, row + 1)

    def effect(self, row, effect, param, prefer=(3, 2, 1, 0)):
        """Puts a global effect (speed, break) on a channel free at the row."""
        for ch in prefer:
            cell = self.channels[ch].get(row)
            if cell is None or (cell[2] == 0 and cell[3] == 0):
                self.put(ch, row, effect=effect, param=param)
                return
        raise ValueError("no free effect column at row %d" % row)

    def index_for(self, sample_no, midi):
        """Pattern note for a MIDI pitch; unpitched samples (drums) play at
        C-3 for MIDI 60."""
        base = self.samples[sample_no - 1].base
        idx = midi - base + 12 if base is not None else midi - 60 + 24
        while idx < 0:
            idx += 12
        while idx > 35:
            idx -= 12
        return idx

    def note(self, ch, row, sample_no, midi, effect=0, param=0):
        """A new note replaces whatever effect the cell held (a cut left by
        the end of the previous phrase must not silence it)."""
        self.put(ch, row, sample_no, self.index_for(sample_no, midi))
        self.channels[ch][row][2:4] = [effect, param]

    def build(self):
        orders = []
        patterns = []
        seen = {}
        count = -(-self.length_rows // ROWS)
        for o in range(count):
            body = bytearray()
            for r in range(ROWS):
                for ch in range(4):
                    s, idx, fx, par = self.channels[ch].get(o * ROWS + r, [0, None, 0, 0])
                    period = PERIODS[idx] if idx is not None else 0
                    body += bytes([(s & 0xF0) | (period >> 8), period & 0xFF, ((s & 0x0F) << 4) | fx, par])
            key = bytes(body)
            if key not in seen:
                seen[key] = len(patterns)
                patterns.append(key)
            orders.append(seen[key])
        out = bytearray(self.title.encode("ascii")[:20].ljust(20, b"\0"))
        sample_bytes = bytearray()
        for i in range(31):
            if i < len(self.samples):
                s = self.samples[i]
                data = s.data
                if len(data) % 2:
                    data = np.append(data, np.int8(0))
                if len(data) > 131070:
                    raise ValueError("sample %s too long" % s.name)
                if s.loop:
                    loop_start, loop_len = s.loop[0] // 2, max(1, s.loop[1] // 2)
                else:
                    loop_start, loop_len = 0, 1
                out += s.name.encode("ascii")[:22].ljust(22, b"\0")
                out += struct.pack(">HBBHH", len(data) // 2, s.finetune & 0x0F, s.volume, loop_start, loop_len)
                sample_bytes += data.tobytes()
            else:
                out += b"\0" * 22 + struct.pack(">HBBHH", 0, 0, 0, 0, 1)
        out += bytes([len(orders), 127])
        out += bytes(orders + [0] * (128 - len(orders)))
        out += b"M.K."
        for p in patterns:
            out += p
        out += sample_bytes
        return bytes(out)


def module_seconds(data):
    """How long a module plays once through, following speed, tempo,
    pattern breaks, position jumps (a jump backwards ends the count) and
    pattern delays."""
    song_length = data[950]
    orders = list(data[952:952 + song_length])
    speed, tempo = 6, 125
    seconds = 0.0
    order, row = 0, 0
    visited = set()
    while order < song_length:
        if (order, row) in visited:
            break
        visited.add((order, row))
        base = 1084 + orders[order] * 1024 + row * 16
        next_order, next_row = None, None
        delay = 0
        for ch in range(4):
            cell = data[base + ch * 4: base + ch * 4 + 4]
            fx, par = cell[2] & 0x0F, cell[3]
            if fx == 0xF and par:
                if par < 32:
                    speed = par
                else:
                    tempo = par
            elif fx == 0xD:
                next_order, next_row = order + 1, (par >> 4) * 10 + (par & 0x0F)
            elif fx == 0xB:
                next_order, next_row = par, 0
            elif fx == 0xE and par >> 4 == 0xE:
                delay = par & 0x0F
        seconds += speed * (1 + delay) * 2.5 / tempo
        if next_order is not None:
            order, row = next_order, next_row
        else:
            row += 1
            if row == ROWS:
                order, row = order + 1, 0
    return seconds


# --------------------------------------------------------------------------
# Compositions


def place_line(m, ch, sample, events, rng, vibrato=0x46, slide=0.0):
    """Writes a melody (row, length, pitch) on one channel: vibrato on held
    notes, now and then a tone portamento into a near note, and a volume
    cut where a note ends before the next begins."""
    starts = set(row for row, _, _ in events)
    prev = None
    for row, length, pitch in events:
        if slide and prev is not None and 0 < abs(pitch - prev) <= 4 and rng.random() < slide:
            m.put(ch, row, 0, m.index_for(sample, pitch), 0x3, 0x20)
        else:
            m.note(ch, row, sample, pitch)
        if length >= 5:
            m.put(ch, row + 2, effect=0x4, param=vibrato)
            for k in range(3, length):
                m.put(ch, row + k, effect=0x4, param=0)
        if row + length not in starts:
            m.put(ch, row + length, effect=0xC, param=0)
        prev = pitch

def rows_of(notes, start_row):
    """compose's (beat, duration, pitch, strong) -> (row, length in rows, pitch)."""
    out = []
    for beat, dur, pitch, strong in notes:
        out.append((start_row + int(round(beat * 4)), max(1, int(round(dur * 4))), pitch, strong))
    return out


def chip(seed, title):
    """Pixel - Bitcrush: a chiptune in C minor at 140 BPM. Channel 1 lead
    (square, vibrato, slides), 2 arpeggio chords (pulse, 0xy), 3 bass
    (triangle), 4 drums."""
    rng = random.Random(seed)
    m = Module(title)
    n = 256
    t = np.arange(n) / n
    lead = m.add_sample(pitched("square lead", np.where((t * 16) % 1 < 0.5, 1.0, -1.0), 16, volume=22))
    pulse = m.add_sample(pitched("pulse 25%", np.where((t * 8) % 1 < 0.25, 1.0, -1.0), 8, volume=17))
    tri = m.add_sample(pitched("triangle bass", 1 - 4 * np.abs(((t * 2) % 1) - 0.5), 2, volume=33))
    kick = m.add_sample(one_shot("kick", drum_kick(), volume=37))
    snare = m.add_sample(one_shot("snare", drum_snare(rng), volume=28))
    hat = m.add_sample(one_shot("hihat", drum_hat(rng), volume=18))
    m.add_sample(pitched("echo square", np.where((t * 16) % 1 < 0.5, 1.0, -1.0), 16, volume=10))
    echo = len(m.samples)

    key, scale = 48, compose.SCALES["minor"]
    meter = 4
    progs = {"A": "1 6 3 7 1 6 4 5", "B": "4 5 3 6 4 5 3 3", "I": "1 6 1 6"}
    bars = {k: compose.parse_progression(scale, v, meter) for k, v in progs.items()}
    theme_a = compose.make_theme(random.Random(rng.random()), bars["A"], key, scale, meter, 67, 86, "fast")
    theme_b = compose.make_theme(random.Random(rng.random()), bars["B"], key, scale, meter, 69, 88, "pop")
    # each order is 4 bars = 64 rows; plan of (progression, bar offset, parts)
    plan = [("I", 0, "arp hat"), ("I", 0, "arp hat bass kick"),
            ("A", 0, "lead arp bass drums"), ("A", 4, "lead arp bass drums"),
            ("B", 0, "lead arp bass drums"), ("B", 4, "lead arp bass drums fill"),
            ("A", 0, "lead bass drums echo"), ("A", 4, "lead bass drums echo"),
            ("I", 0, "arp bass hat"), ("A", 0, "lead arp bass drums up"), ("A", 4, "lead arp bass drums up")]
    row0 = 0
    for prog, offset, parts in plan:
        parts = set(parts.split())
        chords = bars[prog][offset:offset + 4]
        for b, bar_chords in enumerate(chords):
            for off, chord in bar_chords:
                r = row0 + b * 16 + int(off * 4)
                root = key + 12 + chord.root
                third, fifth = chord.tones[1] - chord.tones[0], chord.tones[2] - chord.tones[0]
                span = 16 if len(bar_chords) == 1 else 8
                if "arp" in parts:
                    for k in range(0, span, 4):
                        m.note(1, r + k, pulse, root + 12, 0x0, (third << 4) | fifth)
                        for j in range(1, 4):
                            m.put(1, r + k + j, effect=0x0, param=(third << 4) | fifth)
                if "bass" in parts:
                    bass_root = key - 12 + chord.root
                    for k in range(0, span, 2):
                        p = bass_root + (12 if k % 4 == 2 else 0)
                        m.note(2, r + k, tri, p)
                        m.put(2, r + k + 1, effect=0xC, param=0)
        for b in range(4):
            r = row0 + b * 16
            if "drums" in parts or "kick" in parts or "hat" in parts:
                for k in range(16):
                    if "drums" in parts or "kick" in parts:
                        if k in (0, 6, 10):
                            m.note(3, r + k, kick, 60)
                            continue
                    if "drums" in parts and k in (4, 12):
                        m.note(3, r + k, snare, 60)
                        continue
                    if k % 2 == 0:
                        m.note(3, r + k, hat, 60, 0xC, 20 if k % 4 == 0 else 12)
            if "fill" in parts and b == 3:
                for k in range(8, 16):
                    m.note(3, r + k, snare, 60 - 8 + k, 0xC, 12 + k * 2)
        if "lead" in parts:
            theme = theme_a if prog == "A" else theme_b
            lift = 2 if "up" in parts else 0
            line = [(row0 + row - offset * 16, length, pitch + lift)
                    for row, length, pitch, strong in rows_of(theme, 0) if offset * 16 <= row < offset * 16 + 64]
            place_line(m, 0, lead, line, rng, 0x46, 0.2)
            if "echo" in parts:
                place_line(m, 1, echo, [(r + 3, l, p) for r, l, p in line], rng, 0x46, 0.0)
        row0 += 64
    # ending: the lead holds the tonic with vibrato and fades, the chord
    # turns into a falling, fading arpeggio, the bass rings out
    m.note(0, row0, lead, key + 24)
    m.put(0, row0 + 4, effect=0x4, param=0x34)
    m.note(2, row0, tri, key - 12)
    m.note(3, row0, kick, 60)
    arpeggio = [key + 24, key + 19, key + 15, key + 12]
    for k in range(0, 40, 2):
        m.note(1, row0 + k, pulse, arpeggio[(k // 2) % 4], 0xC, max(1, 18 - k * 18 // 40))
    for k in range(8, 40, 3):
        m.put(0, row0 + k, effect=0xA, param=0x01)
        m.put(2, row0 + k + 1, effect=0xA, param=0x01)
    m.put(1, row0 + 40, effect=0xC, param=0)
    m.put(0, row0 + 42, effect=0xC, param=0)
    m.put(2, row0 + 42, effect=0xC, param=0)
    m.effect(row0 + 44, 0xD, 0)
    m.effect(0, 0xF, 6)
    m.effect(0, 0xF, 140)
    return m


def tracker(seed, title):
    """Paula - Four Channels: deep house in A minor at 122 BPM with a sampled
    minor-seventh chord, a detuned pad and a sawtooth lead."""
    rng = random.Random(seed)
    m = Module(title)
    kick = m.add_sample(one_shot("kick", drum_kick(seconds=0.35), volume=58))
    clap = m.add_sample(one_shot("clap", drum_clap(rng), volume=40))
    hat = m.add_sample(one_shot("hihat", drum_hat(rng, seconds=0.06), volume=27))
    stab = m.add_sample(Sample("minor 7 stab", to_int8(stab_chord(RATE_C3, 220.0, [0, 3, 7, 10, 14], 0.9)),
                               40, None, 45, 0))
    pad = m.add_sample(pitched("strings m7", additive(4096, [80, 96, 120, 144, 81, 97, 121]), 80, volume=31))
    bass_wave = additive(256, [2], shape="saw") + 0.6 * np.sin(2 * np.pi * 2 * np.arange(256) / 256)
    bass = m.add_sample(pitched("saw bass", bass_wave, 2, volume=52))
    lead = m.add_sample(pitched("saw lead", additive(512, [16, 16.0]) , 16, volume=36))
    ohat = m.add_sample(one_shot("open hat", drum_hat(rng, seconds=0.25), volume=23))

    key, scale = 45, compose.SCALES["minor"]
    meter = 4
    progs = {"A": "1 4 5 1 1 4 5 5", "B": "4 4 1 1 4 4 5 5"}
    bars = {k: compose.parse_progression(scale, v, meter) for k, v in progs.items()}
    theme_a = compose.make_theme(random.Random(rng.random()), bars["A"], key, scale, meter, 64, 83, "funk")
    theme_b = compose.make_theme(random.Random(rng.random()), bars["B"], key, scale, meter, 64, 83, "lyric")
    plan = [("A", 0, "pad kick"), ("A", 4, "pad kick hat"),
            ("A", 0, "drums bass stab"), ("A", 4, "drums bass stab"),
            ("A", 0, "drums bass lead"), ("A", 4, "drums bass lead"),
            ("B", 0, "pad hat bass"), ("B", 4, "pad kick hat bass lead2"),
            ("A", 0, "drums bass lead stabhat"), ("A", 4, "drums bass lead stabhat")]
    row0 = 0
    for prog, offset, parts in plan:
        parts = set(parts.split())
        chords = bars[prog][offset:offset + 4]
        for b, bar_chords in enumerate(chords):
            r = row0 + b * 16
            chord = bar_chords[0][1]
            root_bass = key - 12 + chord.root
            if "bass" in parts:
                for k, (step, oct_, length) in enumerate([(0, 0, 3), (3, 0, 1), (6, 12, 1), (8, 0, 3),
                                                          (11, 0, 1), (14, 12, 2)]):
                    m.note(2, r + step, bass, root_bass + oct_)
                    m.put(2, r + step + length, effect=0xC, param=0)
            if "pad" in parts:
                m.note(3, r, pad, key + chord.root + 12)
                if b == 0:
                    m.put(3, r, effect=0xC, param=8)
                    for k in range(1, 16):
                        m.put(3, r + k, effect=0xA, param=0x10)
            if "stab" in parts or "stabhat" in parts:
                for step in (3, 6, 10, 14) if "stab" in parts else (6, 14):
                    m.note(3 if "stab" in parts else 1, r + step, stab, key + 12 + chord.root)
                    if "stab" in parts:
                        m.put(3, r + step + 2, effect=0xA, param=0x04)
            for k in range(16):
                if ("kick" in parts or "drums" in parts) and k % 4 == 0:
                    m.note(0, r + k, kick, 60)
                elif "drums" in parts and k in (2, 6, 10, 14):
                    m.note(0, r + k, ohat if k == 14 else hat, 60, 0xC, 32)
                elif "hat" in parts and k % 4 == 2:
                    m.note(0, r + k, hat, 60)
                if "drums" in parts and k in (4, 12):
                    m.note(1, r + k, clap, 60)
        if "lead" in parts or "lead2" in parts:
            theme = theme_a if "lead" in parts else theme_b
            ch = 3 if "stab" not in parts and "pad" not in parts else 1
            line = [(row0 + row - offset * 16, length, pitch)
                    for row, length, pitch, strong in rows_of(theme, 0) if offset * 16 <= row < offset * 16 + 64]
            place_line(m, ch, lead, line, rng, 0x35, 0.3)
        row0 += 64
    # ending: the tonic chord stab and pad ring out over the last kick
    m.note(0, row0, kick, 60)
    m.note(1, row0, stab, key + 12)
    m.note(2, row0, bass, key - 12)
    m.note(3, row0, pad, key + 12)
    for k in range(4, 40, 3):
        m.put(2, row0 + k, effect=0xA, param=0x01)
        m.put(3, row0 + k + 1, effect=0xA, param=0x01)
    m.put(2, row0 + 42, effect=0xC, param=0)
    m.put(3, row0 + 42, effect=0xC, param=0)
    m.effect(row0 + 44, 0xD, 0, prefer=(0, 1))
    m.effect(0, 0xF, 6)
    m.effect(0, 0xF, 122)
    return m


def build(style, seed, title):
    makers = {"chip": chip, "tracker": tracker}
    return makers[style](seed, title).build()
