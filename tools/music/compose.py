"""Composer and arranger for the MIDI-rendered pieces.

A piece is described as data (see styles.py): key, scale, tempo, chord
progressions, a list of sections and the layers (drums, bass, chords, lead,
counter-melody...) that play in each. This file turns that description into
notes: it builds chords from scale degrees, writes a theme with a motif,
its sequence and a cadence, accompanies it in the pattern of the style,
adds drum grooves and fills, and ends every piece on a held tonic chord
under a ritardando. Randomness comes only from random.Random(seed), so a
piece is the same every time.
"""
import math
import random

import midifile

SCALES = {
    "major": [0, 2, 4, 5, 7, 9, 11],
    "minor": [0, 2, 3, 5, 7, 8, 10],
    "dorian": [0, 2, 3, 5, 7, 9, 10],
    "mixolydian": [0, 2, 4, 5, 7, 9, 10],
    "harmonic": [0, 2, 3, 5, 7, 8, 11],
    "lydian": [0, 2, 4, 6, 7, 9, 11],
}

DRUM_CHANNEL = 9

# --------------------------------------------------------------------------
# Chords


class Chord:
    def __init__(self, tones):
        self.tones = tones  # semitones above the key's tonic, root first

    @property
    def root(self):
        return self.tones[0]

    def pcs(self):
        return sorted(set(t % 12 for t in self.tones))


def chord_from_token(scale, token):
    """'1'..'7' diatonic triad; suffix '7' adds the seventh, '9' seventh and
    ninth, 's' makes it sus4, 'M' forces a major third (secondary dominant),
    prefix 'b' lowers the root by a semitone (borrowed chord)."""
    flat = token.startswith("b")
    if flat:
        token = token[1:]
    degree = int(token[0]) - 1
    ext = token[1:]
    count = 3 + ("7" in ext) + 2 * ("9" in ext)
    tones = []
    for i in range(count):
        step = degree + 2 * i
        tones.append(scale[step % 7] + 12 * (step // 7))
    if "s" in ext:
        step = degree + 3
        tones[1] = scale[step % 7] + 12 * (step // 7)
    if "M" in ext:
        tones[1] = tones[0] + 4
        tones[2] = tones[0] + 7
        if count > 3:
            tones[3] = tones[0] + 10
    if flat:
        tones = [t - 1 for t in tones]
    return Chord(tones)


def parse_progression(scale, text, meter):
    """'1 6 4 5' one chord per bar; '1,5' splits a bar in two halves."""
    bars = []
    for bar_token in text.split():
        parts = bar_token.split(",")
        span = meter / len(parts)
        bars.append([(i * span, chord_from_token(scale, p)) for i, p in enumerate(parts)])
    return bars


def chord_at(bar_chords, offset):
    current = bar_chords[0][1]
    for start, chord in bar_chords:
        if offset + 1e-6 >= start:
            current = chord
    return current


def voicing(chord, tonic, lo, hi, previous=None, size=4):
    """Close voicing of the chord within lo..hi, nearest to the previous one."""
    pcs = [(tonic + t) % 12 for t in chord.tones]
    candidates = []
    for bottom in range(lo, hi - 6):
        if bottom % 12 not in pcs:
            continue
        notes = [bottom]
        idx = pcs.index(bottom % 12)
        while len(notes) < size:
            idx = (idx + 1) % len(pcs)
            nxt = notes[-1] + 1
            while nxt % 12 != pcs[idx]:
                nxt += 1
            notes.append(nxt)
        if notes[-1] <= hi:
            candidates.append(notes)
    if not candidates:
        return [lo + (tonic + chord.root - lo) % 12]
    if previous:
        centre = sum(previous) / len(previous)
        return min(candidates, key=lambda n: (abs(sum(n) / len(n) - centre), n[0]))
    mid = (lo + hi) / 2
    return min(candidates, key=lambda n: (abs(sum(n) / len(n) - mid), n[0]))


def nearest(pitch, pcs, lo=0, hi=127):
    best = None
    for cand in range(max(lo, pitch - 12), min(hi, pitch + 12) + 1):
        if cand % 12 in pcs:
            if best is None or abs(cand - pitch) < abs(best - pitch):
                best = cand
    return best if best is not None else pitch


def bass_note(chord, tonic, lo=33):
    return lo + (tonic + chord.root - lo) % 12


# --------------------------------------------------------------------------
# Melody

MELODY_CELLS = {
    "pop": ([[1, 0.5, 0.5, 1, 1], [0.5, 0.5, 0.5, 0.5, 1, 1], [1.5, 0.5, 1, 1], [-0.5, 0.5, 0.5, 0.5, 1, 1],
             [0.75, 0.75, 0.5, 1, 1], [1, 1, 0.5, 0.5, 1]],
            [[1, 1, 2], [1.5, 2.5], [0.5, 0.5, 3], [2, 2]]),
    "lyric": ([[2, 1, 1], [1.5, 0.5, 2], [1, 1, 1, 1], [3, 1], [1, 0.5, 0.5, 2]],
              [[4], [2, 2], [3, 1], [1, 3]]),
    "ambient": ([[4], [2, 2], [3, 1], [2, 1, 1]], [[4], [4], [2, 2]]),
    "jazz": ([[-0.5, 0.5, 0.5, 0.5, 1, 1], [0.5, 0.5, 0.5, 1, 0.5, 1], [1, 0.5, 0.5, 0.5, 0.5, 1],
              [-1, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5], [0.5, 1, 0.5, 1, 1]],
             [[1.5, 2.5], [0.5, 0.5, 3], [1, 3]]),
    "funk": ([[0.25, 0.25, 0.5, -0.5, 0.5, 0.75, 0.25, 1], [-0.5, 0.25, 0.25, 0.5, 0.5, -0.5, 0.5, 1],
              [0.5, 0.25, 0.25, 1, 0.5, 0.5, 1], [0.75, 0.75, 0.5, 1, 1]],
             [[0.5, 0.5, 3], [1, 3], [0.75, 0.75, 2.5]]),
    "fast": ([[0.5] * 8, [0.5, 0.5, 1, 0.5, 0.5, 1], [0.25, 0.25, 0.5, 0.5, 0.5, 1, 1], [1, 0.5, 0.5, 0.5, 0.5, 1]],
             [[1, 1, 2], [0.5, 0.5, 3], [2, 2]]),
    "reel": ([[0.5] * 8, [0.5] * 8, [1, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5], [0.5, 0.5, 0.5, 0.5, 1, 1]],
             [[0.5, 0.5, 0.5, 0.5, 2], [1, 1, 2]]),
    "waltz": ([[1, 1, 1], [2, 1], [1.5, 0.5, 1], [1, 0.5, 0.5, 1]], [[3], [2, 1]]),
    "waltz_lyric": ([[2, 1], [1, 2], [1.5, 0.5, 1], [3]], [[3], [3]]),
    "shuffle": ([[-1, 0.5, 0.5, 1, 1], [0.5, 0.5, 0.5, 0.5, 2], [1, 0.5, 0.5, 1, 1]],
                [[1, 3], [0.5, 0.5, 3]]),
}


def scale_pitches(tonic, scale, lo, hi):
    pcs = [(tonic + s) % 12 for s in scale]
    return [p for p in range(lo, hi + 1) if p % 12 in pcs]


def step_in_scale(pitch, steps, allowed):
    """Move by diatonic steps (allowed is the sorted scale pitch list)."""
    if pitch not in allowed:
        pitch = min(allowed, key=lambda p: abs(p - pitch))
    i = allowed.index(pitch) + steps
    i = max(0, min(len(allowed) - 1, i))
    return allowed[i]


def make_theme(rng, bars_chords, tonic, scale, meter, lo, hi, cells_name, start=None, end_on_tonic=True):
    """A theme over the given bars (a multiple of 4): motif, its answer, the
    motif again as a sequence, a half cadence; the second half restates the
    first two bars and closes on the tonic. Returns notes as
    (beat_in_section, duration, pitch, accent)."""
    cells, cadences = MELODY_CELLS[cells_name]
    n = len(bars_chords)
    allowed = scale_pitches(tonic, scale, lo, hi)
    a, b, c = rng.choice(cells), rng.choice(cells), rng.choice(cells)
    cad1, cad2 = rng.choice(cadences), rng.choice(cadences)
    plan = []  # (cell, how, source bar): how is None, "seq" or "copy"
    first = [(a, None, 0), (b, None, 0), (a, "seq", 0), (cad1, None, 0),
             (a, "copy", 0), (b, "copy", 1), (c, None, 0), (cad2, None, 0)]
    for bar in range(n):
        pos = bar % 8
        if n < 8:
            cell, how, src = [(a, None, 0), (b, None, 0), (a, "seq", 0), (cad2, None, 0)][bar % 4]
        elif bar < 8:
            cell, how, src = first[pos]
        elif pos < 6:
            cell, how, src = first[pos][0], "copy", pos  # the restatement
        else:
            cell, how, src = first[pos][0], None, 0  # a new ending
        plan.append((cell, how, src))
    notes = []
    bar_notes = {}
    pitch = start if start is not None else nearest((lo + hi) // 2, [(tonic + t) % 12 for t in bars_chords[0][0][1].tones])
    direction = rng.choice([-1, 1])
    for bar, (cell, how, src) in enumerate(plan):
        chords = bars_chords[bar]
        this_bar = []
        source = bar_notes.get(src) if how else None
        t = 0.0
        events = []
        for d in cell:
            if d > 0:
                events.append((t, d))
            t += abs(d)
        shift = 0
        if source:
            first_chord = chord_at(chords, events[0][0])
            pcs = [(tonic + x) % 12 for x in first_chord.tones]
            target = nearest(source[0][2], pcs, lo, hi)
            if how == "copy" and chord_at(bars_chords[src], 0).tones == first_chord.tones:
                target = source[0][2]
            shift = allowed.index(min(allowed, key=lambda p: abs(p - target))) - allowed.index(
                min(allowed, key=lambda p: abs(p - source[0][2])))
        for i, (off, dur) in enumerate(events):
            chord = chord_at(chords, off)
            pcs = [(tonic + x) % 12 for x in chord.tones]
            strong = abs(off - round(off)) < 1e-6 and (int(round(off)) % 2 == 0 or dur >= 1)
            last_of_phrase = (bar % 4 == 3) and i == len(events) - 1
            if source and i < len(source):
                p = step_in_scale(source[i][2], shift, allowed)
                if strong and p % 12 not in pcs:
                    p = nearest(p, pcs, lo, hi)
            elif last_of_phrase:
                if bar % 8 == 7 or (n < 8 and bar == n - 1):
                    want = [(tonic) % 12] if end_on_tonic else pcs
                else:
                    want = [pc for pc in pcs if pc != tonic % 12] or pcs
                p = nearest(pitch, want, lo, hi)
            elif strong:
                leap = rng.choice([0, 1, 2, 2, 3, 4]) * direction
                p = nearest(step_in_scale(pitch, leap, allowed), pcs, lo, hi)
            else:
                p = step_in_scale(pitch, direction * rng.choice([1, 1, 1, 2]), allowed)
            if p >= hi - 2:
                direction = -1
            elif p <= lo + 2:
                direction = 1
            elif rng.random() < 0.3:
                direction = -direction
            p = max(lo, min(hi, p))
            pitch = p
            this_bar.append((off, dur, p))
            notes.append((bar * meter + off, dur, p, strong))
        bar_notes[bar] = this_bar
    return notes


# --------------------------------------------------------------------------
# Arrangement


class Context:
    """What a layer needs to know about the section it plays in."""

    def __init__(self, piece, section, start, bars_chords, index):
        self.piece = piece
        self.section = section
        self.start = start
        self.bars = bars_chords
        self.meter = piece["meter"]
        self.tonic = piece["key"] + section.get("transpose", 0)
        self.scale = SCALES[piece["scale"]]
        self.index = index
        self.final = section.get("final", False)
        self.energy = section.get("energy", 1.0)


class Arranger:
    def __init__(self, piece, seed):
        self.piece = piece
        self.rng = random.Random(seed)
        self.notes = []  # (channel, beat, dur, pitch, velocity)
        self.song = midifile.Song()
        self.themes = {}
        self.prev_voicing = {}

    def add(self, channel, beat, dur, pitch, vel):
        self.notes.append((channel, beat, dur, pitch, vel))

    # -- layers ----------------------------------------------------------
    def layer_pad(self, ctx, ch, opt):
        lo, hi = opt.get("range", (52, 74))
        size = opt.get("size", 4)
        vel = opt.get("vel", 70)
        for b, chords in enumerate(ctx.bars):
            for i, (off, chord) in enumerate(chords):
                end = chords[i + 1][0] if i + 1 < len(chords) else ctx.meter
                v = voicing(chord, ctx.tonic, lo, hi, self.prev_voicing.get(ch), size)
                self.prev_voicing[ch] = v
                length = (end - off) if not ctx.final else ctx.meter * 2
                for p in v:
                    self.add(ch, ctx.start + b * ctx.meter + off, length - 0.05, p, vel * ctx.energy)
                if ctx.final:
                    return

    def layer_comp(self, ctx, ch, opt):
        """Rhythmic chords: pattern is a list of (offset, duration, accent)."""
        pattern = opt["pattern"]
        lo, hi = opt.get("range", (55, 76))
        vel = opt.get("vel", 80)
        size = opt.get("size", 4)
        strum = opt.get("strum", 0.0)
        rootless = opt.get("rootless", False)
        if ctx.final:
            v = voicing(ctx.bars[0][0][1], ctx.tonic, lo, hi, self.prev_voicing.get(ch), size)
            for k, p in enumerate(v):
                self.add(ch, ctx.start + k * strum, ctx.meter * 2, p, vel)
            return
        for b, chords in enumerate(ctx.bars):
            pat = pattern
            if opt.get("alt") and b % 2 == 1:
                pat = opt["alt"]
            for off, dur, acc in pat:
                chord = chord_at(chords, off)
                if rootless and len(chord.tones) >= 4:
                    chord = Chord(chord.tones[1:])
                v = voicing(chord, ctx.tonic, lo, hi, self.prev_voicing.get(ch), size)
                self.prev_voicing[ch] = v
                for k, p in enumerate(v):
                    self.add(ch, ctx.start + b * ctx.meter + off + k * strum, dur, p,
                             (vel + acc) * ctx.energy + self.rng.randint(-4, 4))

    def layer_arp(self, ctx, ch, opt):
        step = opt.get("step", 0.25)
        lo, hi = opt.get("range", (60, 84))
        vel = opt.get("vel", 70)
        shape = opt.get("shape", "updown")
        gate = opt.get("gate", 0.9)
        for b, chords in enumerate(ctx.bars):
            t = 0.0
            i = 0
            while t < ctx.meter - 1e-6:
                chord = chord_at(chords, t)
                v = voicing(chord, ctx.tonic, lo, lo + 14, None, 3)
                seq = v + [p + 12 for p in v]
                if shape == "updown":
                    seq = seq + seq[-2:0:-1]
                elif shape == "up":
                    pass
                elif shape == "pattern":
                    seq = [seq[j] for j in (0, 2, 1, 3, 2, 4, 3, 5)]
                p = seq[i % len(seq)]
                accent = 12 if abs(t - round(t)) < 1e-6 else 0
                self.add(ch, ctx.start + b * ctx.meter + t, step * gate, p, (vel + accent) * ctx.energy)
                t += step
                i += 1
            if ctx.final:
                break

    def layer_bass(self, ctx, ch, opt):
        kind = opt.get("bass", "root8")
        lo = opt.get("low", 33)
        vel = opt.get("vel", 95)
        scale_pcs = [(ctx.tonic + s) % 12 for s in ctx.scale]
        for b, chords in enumerate(ctx.bars):
            bar0 = ctx.start + b * ctx.meter
            if ctx.final:
                root = bass_note(chords[0][1], ctx.tonic, lo)
                self.add(ch, bar0, ctx.meter * 2, root, vel)
                return
            nxt_chords = ctx.bars[b + 1] if b + 1 < len(ctx.bars) else chords
            for ci, (off, chord) in enumerate(chords):
                end = chords[ci + 1][0] if ci + 1 < len(chords) else ctx.meter
                span = end - off
                root = bass_note(chord, ctx.tonic, lo)
                fifth = root + (chord.tones[2] - chord.tones[0])
                third = root + (chord.tones[1] - chord.tones[0])
                t0 = bar0 + off
                if kind == "whole":
                    self.add(ch, t0, span - 0.05, root, vel)
                elif kind == "root8":
                    for k in range(int(span * 2)):
                        p = root + 12 if (k == int(span * 2) - 1 and self.rng.random() < 0.3) else root
                        self.add(ch, t0 + k * 0.5, 0.42, p, vel - (0 if k % 2 == 0 else 12))
                elif kind == "octave":
                    for k in range(int(span * 2)):
                        self.add(ch, t0 + k * 0.5, 0.4, root + (12 if k % 2 else 0), vel - (8 if k % 2 else 0))
                elif kind == "pulse16":
                    for k in range(int(span * 4)):
                        self.add(ch, t0 + k * 0.25, 0.2, root + (12 if k % 8 == 6 else 0), vel - (0 if k % 4 == 0 else 18))
                elif kind == "offbeat":
                    for k in range(int(span * 4)):
                        if k % 4 != 0:
                            self.add(ch, t0 + k * 0.25, 0.2, root, vel - (0 if k % 4 == 2 else 15))
                elif kind == "walk":
                    nxt_root = bass_note(chord_at(nxt_chords, 0) if ci == len(chords) - 1 else chords[ci + 1][1], ctx.tonic, lo)
                    beats = int(span)
                    line = [root]
                    for k in range(1, beats):
                        if k == beats - 1:
                            p = nxt_root + self.rng.choice([-1, 1, -2, 2])
                        else:
                            p = self.rng.choice([third, fifth, root + 12, root + (chord.tones[-1] - chord.tones[0])])
                            while p > lo + 24:
                                p -= 12
                        line.append(p)
                    for k, p in enumerate(line):
                        self.add(ch, t0 + k, 0.9, p, vel - (0 if k == 0 else 10) + self.rng.randint(-5, 5))
                elif kind == "funk":
                    pat = opt.get("pattern", "x..x..x.x.x..xo.")
                    steps = int(span * 4)
                    for k in range(steps):
                        c = pat[k % len(pat)]
                        if c == ".":
                            continue
                        p = root
                        if c == "o":
                            p = root + 12
                        elif c == "f":
                            p = fifth
                        elif c == "g":
                            p = root
                        v = vel if c in "xo" else vel - 35
                        self.add(ch, t0 + k * 0.25, 0.2 if c != "x" else 0.35, p, v)
                elif kind == "dnb":
                    self.add(ch, t0, 1.4, root, vel)
                    self.add(ch, t0 + 1.75, 0.7, root, vel - 10)
                    self.add(ch, t0 + 2.5, 1.4, root if span >= 4 else fifth, vel - 5)
                elif kind == "bossa":
                    for k in range(int(span // 2)):
                        self.add(ch, t0 + 2 * k, 1.4, root, vel)
                        self.add(ch, t0 + 2 * k + 1.5, 0.45, fifth - 12 if fifth - 12 >= lo else fifth, vel - 10)
                elif kind == "shuffle":
                    figure = [0, 4, 7, 9, 10, 9, 7, 4] if 4 in [t - chord.tones[0] for t in chord.tones] else [0, 3, 7, 9, 10, 9, 7, 3]
                    for k in range(int(span * 2)):
                        self.add(ch, t0 + k * 0.5, 0.45, root + figure[k % 8], vel - (0 if k % 2 == 0 else 15))
                elif kind == "waltz":
                    self.add(ch, t0, 0.9, root, vel)
                    if span >= 3 and self.rng.random() < 0.4:
                        self.add(ch, t0 + 2, 0.9, fifth, vel - 20)
                elif kind == "reel":
                    for k in range(int(span)):
                        self.add(ch, t0 + k, 0.8, root if k % 2 == 0 else fifth, vel - (0 if k % 2 == 0 else 10))
                elif kind == "halves":
                    self.add(ch, t0, span / 2 - 0.05, root, vel)
                    p = fifth if self.rng.random() < 0.5 else root + 12
                    self.add(ch, t0 + span / 2, span / 2 - 0.05, p, vel - 10)
                elif kind == "rock":
                    for k in range(int(span * 2)):
                        p = root
                        if k == int(span * 2) - 2 and self.rng.random() < 0.5:
                            p = fifth
                        self.add(ch, t0 + k * 0.5, 0.45, p, vel - (0 if k % 2 == 0 else 8))

    def layer_melody(self, ctx, ch, opt):
        name = opt.get("theme", "A")
        key = (name, ctx.section.get("prog"))
        lo, hi = opt.get("range", (62, 84))
        if ctx.final:
            p = nearest((lo + hi) // 2, [ctx.tonic % 12], lo, hi)
            self.add(ch, ctx.start, ctx.meter * 2, p, opt.get("vel", 95))
            return
        if key not in self.themes:
            sub = random.Random(self.rng.random())
            self.themes[key] = make_theme(sub, ctx.bars, ctx.piece["key"], ctx.scale, ctx.meter, lo, hi,
                                          opt.get("cells", "pop"))
        notes = self.themes[key]
        shift = ctx.section.get("transpose", 0) + opt.get("octave", 0) * 12
        vel = opt.get("vel", 95)
        harmony = opt.get("harmony")
        allowed = scale_pitches(ctx.tonic, ctx.scale, 20, 110)
        for beat, dur, pitch, strong in notes:
            if beat >= len(ctx.bars) * ctx.meter:
                break
            p = pitch + shift
            v = vel + (8 if strong else 0) + self.rng.randint(-6, 6)
            if opt.get("ornament") and dur >= 1 and self.rng.random() < 0.35:
                grace = step_in_scale(p, 1, allowed)
                self.add(ch, ctx.start + beat, 0.12, grace, v - 15)
                self.add(ch, ctx.start + beat + 0.12, dur - 0.17, p, v)
            else:
                self.add(ch, ctx.start + beat, dur * opt.get("gate", 0.92), p, v)
            if harmony:
                self.add(opt.get("harmony_channel", ch), ctx.start + beat, dur * 0.92,
                         step_in_scale(p, harmony, allowed), v - 12)

    def layer_counter(self, ctx, ch, opt):
        """A slow line of chord tones moving by step: the inner voice that
        strings or a choir add under the theme."""
        lo, hi = opt.get("range", (55, 72))
        vel = opt.get("vel", 70)
        span = opt.get("span", 2)
        pitch = (lo + hi) // 2
        for b, chords in enumerate(ctx.bars):
            t = 0.0
            while t < ctx.meter - 1e-6:
                chord = chord_at(chords, t)
                pcs = [(ctx.tonic + x) % 12 for x in chord.tones]
                pitch = nearest(pitch + self.rng.choice([-2, -1, 1, 2]), pcs, lo, hi)
                d = min(span, ctx.meter - t) if not ctx.final else ctx.meter * 2
                self.add(ch, ctx.start + b * ctx.meter + t, d - 0.05, pitch, vel * ctx.energy)
                t += d
                if ctx.final:
                    return

    def layer_drums(self, ctx, ch, opt):
        kit = DRUM_PATTERNS[opt["pattern"]]
        fill = opt.get("fill", True)
        n = len(ctx.bars)
        if ctx.final:
            self.add(DRUM_CHANNEL, ctx.start, 2.0, 49, 112)
            self.add(DRUM_CHANNEL, ctx.start, 0.5, opt.get("final_kick", 36), 112)
            return
        for b in range(n):
            bar0 = ctx.start + b * ctx.meter
            fill_bar = fill and (b % 8 == 7 or b == n - 1) and n >= 4
            for note, pat in kit.items():
                steps = len(pat)
                dt = ctx.meter / steps
                for k, c in enumerate(pat):
                    if c == ".":
                        continue
                    t = k * dt
                    if fill_bar and t >= ctx.meter - 1 and note not in (36, 35):
                        continue
                    vel = {"x": 100, "X": 122, "o": 55, "g": 38}[c]
                    self.add(DRUM_CHANNEL, bar0 + t, min(dt, 0.25), note, vel * (0.85 + 0.15 * ctx.energy) + self.rng.randint(-6, 6))
            if fill_bar:
                toms = opt.get("fill_notes", [38, 38, 45, 45, 47, 47, 50, 50])
                for k in range(8):
                    if self.rng.random() < 0.85:
                        self.add(DRUM_CHANNEL, bar0 + ctx.meter - 1 + k * 0.125, 0.12, toms[k], 70 + 5 * k)
            if b == 0 and opt.get("crash", True) and ctx.index > 0:
                self.add(DRUM_CHANNEL, bar0, 1.0, 49, 105)

    def layer_hits(self, ctx, ch, opt):
        """Orchestral timpani/cymbal punctuation at phrase starts."""
        for b, chords in enumerate(ctx.bars):
            if b % opt.get("every", 4) == 0 or ctx.final:
                root = bass_note(chords[0][1], ctx.tonic, 41)
                if opt.get("roll"):
                    for k in range(16):
                        self.add(ch, ctx.start + b * ctx.meter - 1 + k / 16, 0.06, root, 40 + k * 4)
                self.add(ch, ctx.start + b * ctx.meter, 1.5, root, opt.get("vel", 100))
                if opt.get("cymbal"):
                    self.add(DRUM_CHANNEL, ctx.start + b * ctx.meter, 2.0, 57 if b % 8 else 49, 90)
            if ctx.final:
                return

    # -- the whole piece -------------------------------------------------
    def build(self):
        piece = self.piece
        meter = piece["meter"]
        scale = SCALES[piece["scale"]]
        channels = {}
        for name, layer in piece["layers"].items():
            ch = layer.get("channel")
            channels[name] = ch
            if ch == DRUM_CHANNEL:
                self.song.program(ch, layer.get("kit", 0), bank=128)
            else:
                self.song.program(ch, layer["program"])
            self.song.control(ch, 0, 7, layer.get("volume", 100))
            self.song.control(ch, 0, 10, layer.get("pan", 64))
            self.song.control(ch, 0, 91, layer.get("reverb", 50))
            self.song.control(ch, 0, 93, layer.get("chorus", 0))
            self.song.control(ch, 0, 11, 127)
        tempo = piece["tempo"]
        self.song.tempo(0, tempo)
        beat = 0.0
        sections = piece["sections"]
        for index, section in enumerate(sections):
            if section.get("final"):
                prog = [[(0.0, chord_from_token(scale, section.get("chord", "1")))]]
            else:
                prog = parse_progression(scale, piece["progressions"][section["prog"]], meter)
                bars = section["bars"]
                prog = (prog * (bars // len(prog) + 1))[:bars]
            ctx = Context(piece, section, beat, prog, index)
            for name in section["layers"]:
                opts = dict(piece["layers"][name])
                opts.update(section.get("options", {}).get(name, {}))
                getattr(self, "layer_" + opts["kind"])(ctx, channels[name], opts)
            if "tempo" in section:
                self.song.tempo(beat, section["tempo"])
            if section.get("final"):
                # ritardando over the bar before the last chord
                for k in range(4):
                    self.song.tempo(beat - meter + k * meter / 4, tempo * (1 - 0.06 * (k + 1)))
                self.song.tempo(beat, tempo * 0.7)
                break
            beat += len(prog) * meter
        swing = piece.get("swing", 0.0)
        swing16 = piece.get("swing16", 0.0)
        jitter = piece.get("humanize", 0.0)
        for ch, start, dur, pitch, vel in sorted(self.notes):
            s = apply_swing(start, swing, swing16)
            e = apply_swing(start + dur, swing, swing16)
            if jitter and ch != DRUM_CHANNEL:
                s += self.rng.uniform(-jitter, jitter)
            elif jitter:
                self.rng.random()
            self.song.note(ch, max(0.0, s), max(0.03, e - s), pitch, vel)
        return self.song


def apply_swing(t, swing, swing16):
    if swing:
        beat = math.floor(t + 1e-9)
        frac = t - beat
        # straight 8ths (0, .5) become (0, .5 + swing)
        if frac <= 0.5:
            frac = frac / 0.5 * (0.5 + swing)
        else:
            frac = 0.5 + swing + (frac - 0.5) / 0.5 * (0.5 - swing)
        t = beat + frac
    if swing16:
        half = math.floor(t * 2 + 1e-9) / 2
        frac = (t - half) * 2
        if frac <= 0.5:
            frac = frac / 0.5 * (0.5 + swing16)
        else:
            frac = 0.5 + swing16 + (frac - 0.5) / 0.5 * (0.5 - swing16)
        t = half + frac / 2
    return t


# --------------------------------------------------------------------------
# Drum grooves: GM drum note -> one bar of steps (x hit, X accent, o ghost)

DRUM_PATTERNS = {
    "synthpop": {36: "x...x...x...x...", 38: "....x.......x...", 39: "....x.......x...",
                 42: "x.x.x.x.x.x.x.o.", 46: "..............x."},
    "synthpop_light": {36: "x.......x.......", 42: "..x...x...x...x."},
    "techno": {36: "x...x...x...x...", 39: "....x.......x...", 42: "oxo.oxo.oxo.oxo.",
               46: "..x...x...x...x."},
    "techno_kick": {36: "x...x...x...x...", 42: "..o...o...o...o."},
    "dnb": {36: "x.........x.....", 38: "....X..o.o..X..o", 42: "x.x.x.x.x.x.x.x.", 51: "....x.......x..."},
    "dnb_light": {42: "x.x.x.x.x.x.x.x.", 38: "....o.......o..."},
    "rock": {36: "x.....x.x.......", 38: "....X.......X...", 42: "x.x.x.x.x.x.x.x."},
    "rock_ride": {36: "x.....x.x.x.....", 38: "....X.......X...", 51: "x.x.x.x.x.x.x.x."},
    "funk": {36: "x..x..x...x..x..", 38: "....X..o.o..X..o", 42: "xoxoxoxoxoxoxoxo", 46: ".......x........"},
    "swing": {51: "x..x.xx..x.x", 44: "...x.....x..", 36: "g.....g.....", 38: ".......g...."},
    "brush": {51: "x..x.xx..x.x", 44: "...x.....x.."},
    "bossa": {36: "x..xx..xx..xx..x", 37: "x..x..x...x..x..", 70: "xoxoxoxoxoxoxoxo"},
    "shuffle": {36: "x.....x.....", 38: "...X.....X..", 42: "x.xx.xx.xx.x"},
    "reel": {41: "x..ox..ox..ox..o", 54: "..x...x...x...x."},
    "orchestral": {},
    "ballad": {36: "x.......x.x.....", 37: "....x.......x...", 42: "x.x.x.x.x.x.x.x."},
    "waltz": {36: "x.....", 44: "..x.x."},
    "hiphop": {36: "x......x..x.....", 38: "....X.......X...", 42: "x.x.x.x.x.x.x.xo"},
}
