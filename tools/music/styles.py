"""The MIDI-rendered pieces, one description each.

Each description gives the key (MIDI note of the tonic), scale, tempo,
meter, the chord progressions by scale degree (see compose.chord_from_token),
the layers with their General MIDI instrument, channel and pattern, and the
sections in order, each naming its progression, length in bars and the
layers that play. The last section of every piece is the held final chord.
The jury's favourites (the synth-pop and the orchestral piece) get the
fullest arrangements: counter-melodies, harmonised themes, a key change.
"""


def S(prog, bars, layers, **kw):
    section = {"prog": prog, "bars": bars, "layers": layers}
    section.update(kw)
    return section


def END(layers, chord="1", **kw):
    section = {"final": True, "chord": chord, "layers": layers}
    section.update(kw)
    return section


# Rhythms for the comp layer: (offset in beats, duration, accent)
OFFBEAT_STABS = [(0.5, 0.3, 0), (1.5, 0.3, 0), (2.5, 0.3, 0), (3.5, 0.3, 0)]
SYNTH_PUSH = [(0, 1.4, 10), (1.5, 0.9, 0), (2.5, 0.4, 0), (3, 0.9, 5)]
JAZZ_COMP = [(0, 0.4, 0), (1.5, 0.4, 8), (3.5, 0.4, 4)]
JAZZ_COMP2 = [(0.5, 0.4, 4), (2, 0.9, 0), (2.5, 0.4, 8)]
FUNK_SCRATCH = [(k * 0.25, 0.12, 15 if k in (2, 6, 10, 14) else (-25 if k % 2 else -10)) for k in range(16)]
CLAV = [(0, 0.2, 10), (0.75, 0.2, 0), (1.5, 0.2, 5), (2.25, 0.2, 0), (3, 0.2, 8), (3.5, 0.2, 0)]
BRASS_HITS = [(0, 0.3, 10), (1.75, 0.3, 15)]
POWER8 = [(k * 0.5, 0.42, 10 if k % 2 == 0 else 0) for k in range(8)]
ROCK_OPEN = [(0, 1.9, 10), (2, 1.9, 5)]
BOSSA_GTR = [(0, 0.45, 5), (0.75, 0.4, 0), (1.5, 0.45, 5), (2.5, 0.4, 0), (3.25, 0.45, 5)]
BOSSA_GTR2 = [(0, 0.45, 5), (0.75, 0.4, 0), (1.5, 0.45, 5), (2.25, 0.4, 0), (3, 0.45, 5)]
WALTZ_23 = [(1, 0.8, 0), (2, 0.8, -5)]
REEL_CHOP = [(0.5, 0.4, 0), (1.5, 0.4, 5), (2.5, 0.4, 0), (3.5, 0.4, 5)]
STRUM = [(0, 0.9, 10), (1, 0.4, 0), (1.5, 0.4, -5), (2.5, 0.4, 0), (3, 0.9, 5)]
SHUFFLE_ORGAN = [(0, 1.9, 0), (2.5, 1.4, 5)]
HALF_NOTES = [(0, 1.9, 5), (2, 1.9, 0)]
DNB_STABS = [(0, 0.3, 10), (0.75, 0.3, 0), (2.5, 0.3, 5)]
TECHNO_STAB = [(0.75, 0.2, 5), (2.25, 0.2, 10), (3.5, 0.2, 0)]

PIECES = {}

# 1st place: synth-pop with everything a jury likes.
PIECES["synthpop"] = {
    "key": 57, "scale": "minor", "tempo": 112, "meter": 4, "humanize": 0.0,
    "progressions": {"intro": "1 6 3 7", "verse": "1 6 3 7 1 6 4 5", "chorus": "6 7 1 5 6 7 3 3",
                     "break": "4 4 6 5"},
    "layers": {
        "drums": {"kind": "drums", "channel": 9, "kit": 25, "pattern": "synthpop", "volume": 105, "reverb": 30},
        "bass": {"kind": "bass", "channel": 0, "program": 38, "bass": "octave", "volume": 100, "reverb": 10,
                 "low": 33, "vel": 100},
        "pad": {"kind": "pad", "channel": 1, "program": 89, "volume": 78, "reverb": 80, "chorus": 60,
                "range": (52, 72), "vel": 70},
        "arp": {"kind": "arp", "channel": 2, "program": 81, "volume": 62, "pan": 40, "reverb": 60,
                "range": (64, 84), "step": 0.25, "shape": "updown", "gate": 0.5, "vel": 70},
        "lead": {"kind": "melody", "channel": 3, "program": 80, "volume": 96, "pan": 70, "reverb": 70,
                 "chorus": 40, "range": (64, 84), "cells": "pop", "vel": 98},
        "strings": {"kind": "counter", "channel": 4, "program": 50, "volume": 70, "pan": 88, "reverb": 80,
                    "range": (60, 76), "span": 2, "vel": 70},
        "brass": {"kind": "comp", "channel": 5, "program": 62, "volume": 72, "pan": 50, "reverb": 60,
                  "pattern": SYNTH_PUSH, "range": (57, 76), "size": 3, "vel": 80},
        "bells": {"kind": "melody", "channel": 6, "program": 98, "volume": 70, "pan": 90, "reverb": 90,
                  "range": (76, 96), "cells": "lyric", "vel": 80, "theme": "bells"},
    },
    "sections": [
        S("intro", 4, ["pad", "arp", "bells", "bass", "drums"],
          options={"drums": {"pattern": "synthpop_light"}, "bass": {"bass": "whole"}}),
        S("verse", 8, ["drums", "bass", "pad", "arp", "lead"]),
        S("chorus", 8, ["drums", "bass", "pad", "arp", "lead", "strings", "brass"],
          options={"lead": {"theme": "chorus", "harmony": -2}}),
        S("break", 4, ["pad", "arp", "bells", "bass", "strings", "drums"],
          options={"bass": {"bass": "whole"}, "bells": {"theme": "bells2"},
                   "drums": {"pattern": "synthpop_light"}}),
        S("verse", 8, ["drums", "bass", "pad", "arp", "lead", "strings"],
          options={"lead": {"octave": 0, "harmony": -2, "ornament": True}}),
        S("chorus", 8, ["drums", "bass", "pad", "arp", "lead", "strings", "brass", "bells"], transpose=2,
          options={"lead": {"theme": "chorus", "harmony": -2}, "bells": {"theme": "chorus", "octave": 1}}),
        S("intro", 4, ["pad", "arp", "drums", "bass", "bells"], transpose=2,
          options={"drums": {"pattern": "synthpop_light"}}),
        END(["pad", "bass", "drums", "lead", "strings"], transpose=2),
    ],
}

# 2nd place: orchestral, theme passed from horn to violins to full brass.
PIECES["orchestral"] = {
    "key": 50, "scale": "major", "tempo": 100, "meter": 4, "humanize": 0.01,
    "progressions": {"intro": "1 4 1 5", "theme": "1 5 6 3 4 1 2 5", "dev": "6 3 4 1 2 5 6 5M"},
    "layers": {
        "strings": {"kind": "pad", "channel": 0, "program": 48, "volume": 92, "reverb": 90, "range": (50, 74),
                    "vel": 72},
        "basses": {"kind": "bass", "channel": 1, "program": 42, "bass": "halves", "volume": 96, "reverb": 80,
                   "low": 38, "vel": 88},
        "harp": {"kind": "arp", "channel": 2, "program": 46, "volume": 78, "pan": 40, "reverb": 90,
                 "range": (55, 79), "step": 0.5, "shape": "up", "vel": 75},
        "horn": {"kind": "melody", "channel": 3, "program": 60, "volume": 100, "pan": 54, "reverb": 90,
                 "range": (57, 76), "cells": "lyric", "vel": 96},
        "violins": {"kind": "melody", "channel": 4, "program": 40, "volume": 98, "pan": 44, "reverb": 90,
                    "range": (69, 91), "cells": "lyric", "vel": 100, "theme": "theme", "octave": 1},
        "choir": {"kind": "counter", "channel": 5, "program": 52, "volume": 80, "pan": 80, "reverb": 100,
                  "range": (57, 72), "span": 4, "vel": 70},
        "timpani": {"kind": "hits", "channel": 6, "program": 47, "volume": 100, "reverb": 80, "every": 4,
                    "cymbal": True, "vel": 100},
        "brass": {"kind": "melody", "channel": 7, "program": 61, "volume": 100, "pan": 70, "reverb": 80,
                  "range": (58, 79), "cells": "lyric", "vel": 105, "theme": "dev"},
        "flute": {"kind": "counter", "channel": 8, "program": 73, "volume": 84, "pan": 30, "reverb": 90,
                  "range": (74, 88), "span": 1, "vel": 80},
        "percussion": {"kind": "drums", "channel": 9, "kit": 48, "pattern": "orchestral", "volume": 90,
                       "fill": False},
    },
    "sections": [
        S("intro", 4, ["strings", "harp", "choir", "basses"], options={"basses": {"bass": "whole"}}),
        S("theme", 8, ["strings", "basses", "harp", "horn"], options={"horn": {"theme": "theme"}}),
        S("theme", 8, ["strings", "basses", "harp", "violins", "choir", "timpani", "flute"],
          options={"violins": {"ornament": True}}),
        S("dev", 8, ["strings", "basses", "brass", "timpani", "flute", "harp"],
          options={"harp": {"step": 0.25}}),
        S("theme", 8, ["strings", "basses", "violins", "brass", "choir", "timpani", "harp", "percussion"],
          transpose=2, options={"violins": {"harmony": -2}, "brass": {"theme": "theme", "octave": 0},
                                "timpani": {"roll": True}}),
        S("intro", 3, ["strings", "harp", "horn", "choir"], transpose=2, energy=0.8,
          options={"horn": {"theme": "coda"}}),
        END(["strings", "basses", "violins", "brass", "timpani", "choir"], transpose=2,
            options={"timpani": {"roll": True}}),
    ],
}

# 3rd place: small-group swing.
PIECES["jazz"] = {
    "key": 46, "scale": "major", "tempo": 128, "meter": 4, "swing": 0.16, "humanize": 0.015,
    "progressions": {"head": "27 57 17 17 27 57 17 6M7 47 47 37 6M7 27 57 17 17",
                     "intro": "17 67 27 57"},
    "layers": {
        "drums": {"kind": "drums", "channel": 9, "kit": 32, "pattern": "swing", "volume": 72, "reverb": 50,
                  "fill": False},
        "bass": {"kind": "bass", "channel": 0, "program": 32, "bass": "walk", "low": 33, "volume": 110,
                 "reverb": 30, "vel": 100},
        "piano": {"kind": "comp", "channel": 1, "program": 0, "pattern": JAZZ_COMP, "alt": JAZZ_COMP2,
                  "range": (55, 74), "rootless": True, "size": 4, "volume": 82, "pan": 44, "reverb": 60,
                  "vel": 68},
        "sax": {"kind": "melody", "channel": 2, "program": 66, "range": (58, 79), "cells": "jazz",
                "volume": 104, "pan": 74, "reverb": 70, "vel": 96, "theme": "head"},
        "vibes": {"kind": "melody", "channel": 3, "program": 11, "range": (65, 89), "cells": "fast",
                  "volume": 124, "pan": 84, "reverb": 70, "vel": 112, "theme": "solo"},
    },
    "sections": [
        S("intro", 4, ["drums", "bass", "piano"]),
        S("head", 16, ["drums", "bass", "piano", "sax"]),
        S("head", 16, ["drums", "bass", "piano", "vibes"]),
        S("head", 8, ["drums", "bass", "piano", "sax"], options={"sax": {"ornament": True}}),
        S("intro", 2, ["drums", "bass", "piano"]),
        END(["drums", "bass", "piano", "sax"], chord="19"),
    ],
}

# 12th place: ambient drift, plain and a little long-winded.
PIECES["ambient"] = {
    "key": 52, "scale": "lydian", "tempo": 72, "meter": 4, "humanize": 0.0,
    "progressions": {"a": "1 2 1 2", "b": "4 2 1 1"},
    "layers": {
        "pad": {"kind": "pad", "channel": 0, "program": 89, "volume": 96, "reverb": 110, "chorus": 80,
                "range": (52, 72), "vel": 70},
        "sweep": {"kind": "pad", "channel": 1, "program": 92, "volume": 80, "reverb": 110, "range": (40, 56),
                  "size": 2, "vel": 60},
        "box": {"kind": "melody", "channel": 2, "program": 10, "volume": 85, "reverb": 120, "range": (72, 88),
                "cells": "ambient", "vel": 80, "pan": 80},
        "pluck": {"kind": "arp", "channel": 3, "program": 46, "volume": 65, "reverb": 110, "range": (60, 76),
                  "step": 1.0, "shape": "updown", "vel": 60, "pan": 40},
    },
    "sections": [
        S("a", 4, ["pad", "sweep"]),
        S("a", 8, ["pad", "sweep", "box"]),
        S("b", 4, ["pad", "pluck"]),
        S("a", 8, ["pad", "sweep", "box", "pluck"]),
        END(["pad", "sweep", "box"]),
    ],
}

# 12th place: garage rock, loud and plain.
PIECES["rock"] = {
    "key": 52, "scale": "minor", "tempo": 138, "meter": 4, "humanize": 0.01,
    "progressions": {"riff": "1 1 7 4", "verse": "1 7 6 7", "chorus": "6 7 1 1"},
    "layers": {
        "drums": {"kind": "drums", "channel": 9, "kit": 16, "pattern": "rock", "volume": 105, "reverb": 30},
        "bass": {"kind": "bass", "channel": 0, "program": 34, "bass": "rock", "low": 28, "volume": 100,
                 "reverb": 10, "vel": 100},
        "guitar": {"kind": "comp", "channel": 1, "program": 30, "pattern": POWER8, "range": (40, 57),
                   "size": 2, "volume": 90, "pan": 30, "reverb": 20, "vel": 90},
        "guitar2": {"kind": "comp", "channel": 2, "program": 29, "pattern": ROCK_OPEN, "range": (52, 67),
                    "size": 3, "volume": 80, "pan": 98, "reverb": 30, "vel": 85},
        "lead": {"kind": "melody", "channel": 3, "program": 29, "range": (59, 79), "cells": "fast",
                 "volume": 104, "pan": 64, "reverb": 50, "vel": 100},
    },
    "sections": [
        S("riff", 4, ["guitar", "drums"]),
        S("verse", 8, ["drums", "bass", "guitar", "lead"], options={"lead": {"theme": "verse"}}),
        S("chorus", 8, ["drums", "bass", "guitar", "guitar2", "lead"],
          options={"lead": {"theme": "chorus"}, "drums": {"pattern": "rock_ride"}}),
        S("riff", 4, ["drums", "bass", "guitar"]),
        S("verse", 8, ["drums", "bass", "guitar", "lead"], options={"lead": {"theme": "verse"}}),
        S("chorus", 8, ["drums", "bass", "guitar", "guitar2", "lead"],
          options={"lead": {"theme": "chorus"}, "drums": {"pattern": "rock_ride"}}),
        END(["drums", "bass", "guitar", "guitar2"]),
    ],
}

# 4th place: drum and bass.
PIECES["dnb"] = {
    "key": 50, "scale": "minor", "tempo": 172, "meter": 4, "humanize": 0.0,
    "progressions": {"a": "1 1 6 6 4 4 5 5", "b": "6 6 7 7 1 1 1 1"},
    "layers": {
        "drums": {"kind": "drums", "channel": 9, "kit": 0, "pattern": "dnb", "volume": 108, "reverb": 30},
        "bass": {"kind": "bass", "channel": 0, "program": 38, "bass": "dnb", "low": 26, "volume": 104,
                 "reverb": 5, "vel": 110},
        "pad": {"kind": "pad", "channel": 1, "program": 91, "volume": 80, "reverb": 110, "chorus": 60,
                "range": (53, 72), "vel": 70},
        "stabs": {"kind": "comp", "channel": 2, "program": 90, "pattern": DNB_STABS, "range": (57, 74),
                  "size": 3, "volume": 74, "pan": 44, "reverb": 80, "vel": 85},
        "lead": {"kind": "melody", "channel": 3, "program": 85, "range": (62, 81), "cells": "lyric",
                 "volume": 96, "pan": 74, "reverb": 100, "chorus": 40, "vel": 92},
        "arp": {"kind": "arp", "channel": 4, "program": 98, "range": (69, 88), "step": 0.5, "shape": "pattern",
                "volume": 66, "pan": 90, "reverb": 100, "vel": 70},
    },
    "sections": [
        S("a", 8, ["pad", "drums", "arp"], options={"drums": {"pattern": "dnb_light"}}),
        S("a", 16, ["drums", "bass", "pad", "lead", "stabs"], options={"lead": {"theme": "a"}}),
        S("b", 8, ["pad", "arp", "bass", "lead", "drums"],
          options={"bass": {"bass": "whole"}, "lead": {"theme": "b"}, "drums": {"pattern": "dnb_light"}}),
        S("a", 16, ["drums", "bass", "pad", "lead", "stabs", "arp"],
          options={"lead": {"theme": "a", "octave": 0, "ornament": True}}),
        S("a", 8, ["pad", "drums", "arp"], options={"drums": {"pattern": "dnb_light"}}),
        END(["pad", "bass", "drums"]),
    ],
}

# 8th place: funk.
PIECES["funk"] = {
    "key": 52, "scale": "dorian", "tempo": 104, "meter": 4, "swing16": 0.04, "humanize": 0.008,
    "progressions": {"vamp": "17 47", "bridge": "47 47 17 17 2 2 5s 5"},
    "layers": {
        "drums": {"kind": "drums", "channel": 9, "kit": 0, "pattern": "funk", "volume": 104, "reverb": 30},
        "bass": {"kind": "bass", "channel": 0, "program": 36, "bass": "funk", "pattern": "x..x..o.x.g.x.ox",
                 "low": 28, "volume": 106, "reverb": 10, "vel": 108},
        "guitar": {"kind": "comp", "channel": 1, "program": 28, "pattern": FUNK_SCRATCH, "range": (60, 72),
                   "size": 3, "volume": 72, "pan": 30, "reverb": 30, "vel": 80},
        "clav": {"kind": "comp", "channel": 2, "program": 7, "pattern": CLAV, "range": (55, 70), "size": 3,
                 "volume": 74, "pan": 96, "reverb": 30, "vel": 85},
        "brass": {"kind": "melody", "channel": 3, "program": 61, "range": (62, 81), "cells": "funk",
                  "volume": 100, "pan": 64, "reverb": 50, "vel": 100, "theme": "horns"},
        "organ": {"kind": "pad", "channel": 4, "program": 17, "range": (55, 72), "volume": 66, "reverb": 60,
                  "vel": 70},
        "sax": {"kind": "melody", "channel": 5, "program": 65, "range": (61, 82), "cells": "funk", "volume": 98,
                "pan": 80, "reverb": 60, "vel": 96, "theme": "sax"},
    },
    "sections": [
        S("vamp", 4, ["drums", "guitar"]),
        S("vamp", 8, ["drums", "bass", "guitar", "clav"]),
        S("vamp", 8, ["drums", "bass", "guitar", "clav", "brass"]),
        S("bridge", 8, ["drums", "bass", "organ", "sax", "clav"]),
        S("vamp", 8, ["drums", "bass", "guitar", "clav", "brass"], options={"brass": {"harmony": -2}}),
        END(["drums", "bass", "brass", "clav", "organ"], chord="17"),
    ],
}

# 12th place: a piano waltz, pretty but plain.
PIECES["waltz"] = {
    "key": 48, "scale": "major", "tempo": 138, "meter": 3, "humanize": 0.01,
    "progressions": {"a": "1 1 4 4 5 5 1 1 1 1 4 4 2 5 1 1", "b": "6 6 3 3 4 4 5 5 6 6 3 3 2 2 5 5"},
    "layers": {
        "left": {"kind": "bass", "channel": 0, "program": 0, "bass": "waltz", "low": 36, "volume": 100,
                 "reverb": 70, "vel": 80},
        "chords": {"kind": "comp", "channel": 0, "program": 0, "pattern": WALTZ_23, "range": (53, 67), "size": 3,
                   "volume": 100, "reverb": 70, "vel": 58},
        "right": {"kind": "melody", "channel": 0, "program": 0, "range": (67, 86), "cells": "waltz",
                  "volume": 100, "reverb": 70, "vel": 82},
    },
    "sections": [
        S("a", 4, ["left", "chords"]),
        S("a", 16, ["left", "chords", "right"]),
        S("b", 16, ["left", "chords", "right"], options={"right": {"theme": "b"}}),
        S("a", 16, ["left", "chords", "right"]),
        END(["left", "chords", "right"]),
    ],
}

# 5th place: warehouse techno.
PIECES["techno"] = {
    "key": 45, "scale": "minor", "tempo": 128, "meter": 4, "humanize": 0.0,
    "progressions": {"a": "1 1 1 1 6 6 7 7", "b": "6 7 1 1"},
    "layers": {
        "drums": {"kind": "drums", "channel": 9, "kit": 25, "pattern": "techno", "volume": 108, "reverb": 25},
        "bass": {"kind": "bass", "channel": 0, "program": 38, "bass": "offbeat", "low": 33, "volume": 100,
                 "reverb": 10, "vel": 105},
        "acid": {"kind": "arp", "channel": 1, "program": 87, "range": (45, 64), "step": 0.25, "shape": "pattern",
                 "gate": 0.6, "volume": 80, "pan": 50, "reverb": 40, "vel": 90},
        "stab": {"kind": "comp", "channel": 2, "program": 90, "pattern": TECHNO_STAB, "range": (60, 76),
                 "size": 3, "volume": 76, "pan": 80, "reverb": 90, "vel": 90},
        "pad": {"kind": "pad", "channel": 3, "program": 94, "range": (55, 74), "volume": 78, "reverb": 110,
                "vel": 70},
        "lead": {"kind": "melody", "channel": 4, "program": 81, "range": (64, 84), "cells": "lyric",
                 "volume": 86, "pan": 64, "reverb": 90, "vel": 90},
    },
    "sections": [
        S("a", 8, ["drums", "acid"], options={"drums": {"pattern": "techno_kick"}}),
        S("a", 8, ["drums", "bass", "acid", "stab"]),
        S("b", 8, ["pad", "acid", "lead"], energy=0.85, options={"lead": {"theme": "b"}}),
        S("a", 16, ["drums", "bass", "acid", "stab", "pad", "lead"], options={"lead": {"theme": "a"}}),
        S("a", 4, ["drums", "acid"], options={"drums": {"pattern": "techno_kick"}}),
        END(["drums", "bass", "pad"]),
    ],
}

# 5th place: a reel for fiddle and whistle.
PIECES["reel"] = {
    "key": 50, "scale": "major", "tempo": 112, "meter": 4, "humanize": 0.01,
    "progressions": {"a": "1 1 4 5 1 1 4,5 1", "b": "6 6 4 1 6 6 4,5 1", "intro": "1 4 1 5"},
    "layers": {
        "drums": {"kind": "drums", "channel": 9, "kit": 0, "pattern": "reel", "volume": 86, "reverb": 50,
                  "fill": False, "crash": False, "final_kick": 41},
        "bass": {"kind": "bass", "channel": 0, "program": 32, "bass": "reel", "low": 38, "volume": 94,
                 "reverb": 40, "vel": 95},
        "guitar": {"kind": "comp", "channel": 1, "program": 25, "pattern": STRUM, "range": (52, 69),
                   "size": 4, "strum": 0.015, "volume": 80, "pan": 40, "reverb": 60, "vel": 78},
        "accordion": {"kind": "comp", "channel": 2, "program": 21, "pattern": REEL_CHOP, "range": (57, 72),
                      "size": 3, "volume": 70, "pan": 88, "reverb": 60, "vel": 75},
        "fiddle": {"kind": "melody", "channel": 3, "program": 110, "range": (62, 86), "cells": "reel",
                   "volume": 100, "pan": 60, "reverb": 70, "vel": 98, "ornament": True},
        "whistle": {"kind": "melody", "channel": 4, "program": 78, "range": (74, 93), "cells": "reel",
                    "volume": 84, "pan": 74, "reverb": 80, "vel": 90},
    },
    "sections": [
        S("intro", 4, ["guitar", "drums"]),
        S("a", 8, ["guitar", "bass", "fiddle", "drums"], options={"fiddle": {"theme": "a"}}),
        S("a", 8, ["guitar", "bass", "fiddle", "whistle", "drums", "accordion"],
          options={"fiddle": {"theme": "a"}, "whistle": {"theme": "a", "octave": 1}}),
        S("b", 8, ["guitar", "bass", "accordion", "fiddle", "drums"], options={"fiddle": {"theme": "b"}}),
        S("b", 8, ["guitar", "bass", "accordion", "fiddle", "whistle", "drums"],
          options={"fiddle": {"theme": "b"}, "whistle": {"theme": "b", "octave": 1}}),
        S("a", 8, ["guitar", "bass", "accordion", "fiddle", "whistle", "drums"],
          options={"fiddle": {"theme": "a"}, "whistle": {"theme": "a", "octave": 1}}),
        END(["guitar", "bass", "fiddle", "accordion", "drums"]),
    ],
}

# 8th place: a twelve-bar shuffle.
PIECES["blues"] = {
    "key": 45, "scale": "mixolydian", "tempo": 100, "meter": 4, "swing": 0.16, "humanize": 0.012,
    "progressions": {"blues": "17 4M7 17 17 4M7 4M7 17 17 5M7 4M7 17 5M7", "intro": "5M7 5M7"},
    "layers": {
        "drums": {"kind": "drums", "channel": 9, "kit": 0, "pattern": "shuffle", "volume": 96, "reverb": 40},
        "bass": {"kind": "bass", "channel": 0, "program": 33, "bass": "shuffle", "low": 33, "volume": 100,
                 "reverb": 20, "vel": 96},
        "organ": {"kind": "comp", "channel": 1, "program": 16, "pattern": SHUFFLE_ORGAN, "range": (55, 70),
                  "size": 3, "volume": 70, "pan": 40, "reverb": 50, "vel": 80},
        "piano": {"kind": "comp", "channel": 2, "program": 1, "pattern": JAZZ_COMP, "range": (60, 79),
                  "size": 3, "volume": 70, "pan": 90, "reverb": 50, "vel": 75},
        "harp": {"kind": "melody", "channel": 3, "program": 22, "range": (60, 81), "cells": "shuffle",
                 "volume": 98, "pan": 64, "reverb": 60, "vel": 96},
        "guitar": {"kind": "melody", "channel": 4, "program": 27, "range": (57, 79), "cells": "shuffle",
                   "volume": 96, "pan": 70, "reverb": 60, "vel": 96, "theme": "solo"},
    },
    "sections": [
        S("intro", 2, ["drums", "bass"]),
        S("blues", 12, ["drums", "bass", "organ", "harp"]),
        S("blues", 12, ["drums", "bass", "organ", "piano", "guitar"]),
        S("blues", 12, ["drums", "bass", "organ", "piano", "harp"]),
        END(["drums", "bass", "organ", "piano", "harp"], chord="17"),
    ],
}

# 7th place: bossa nova.
PIECES["bossa"] = {
    "key": 53, "scale": "major", "tempo": 128, "meter": 4, "humanize": 0.01,
    "progressions": {"a": "17 17 27 57 17 17 27 57 37 67 27 57 17 67 27 57",
                     "b": "47 47 37 67 27 27 57 57"},
    "layers": {
        "drums": {"kind": "drums", "channel": 9, "kit": 40, "pattern": "bossa", "volume": 84, "reverb": 50,
                  "fill": False, "crash": False},
        "bass": {"kind": "bass", "channel": 0, "program": 32, "bass": "bossa", "low": 36, "volume": 100,
                 "reverb": 30, "vel": 95},
        "guitar": {"kind": "comp", "channel": 1, "program": 24, "pattern": BOSSA_GTR, "alt": BOSSA_GTR2,
                   "range": (52, 67), "size": 4, "strum": 0.012, "volume": 92, "pan": 44, "reverb": 60,
                   "vel": 78},
        "flute": {"kind": "melody", "channel": 2, "program": 73, "range": (67, 88), "cells": "lyric",
                  "volume": 96, "pan": 76, "reverb": 80, "vel": 92},
        "strings": {"kind": "pad", "channel": 3, "program": 49, "range": (57, 74), "volume": 62, "reverb": 100,
                    "vel": 64},
        "epiano": {"kind": "melody", "channel": 4, "program": 4, "range": (62, 84), "cells": "jazz",
                   "volume": 90, "pan": 80, "reverb": 70, "vel": 88, "theme": "b"},
    },
    "sections": [
        S("a", 4, ["drums", "bass", "guitar"]),
        S("a", 16, ["drums", "bass", "guitar", "flute"], options={"flute": {"theme": "a"}}),
        S("b", 8, ["drums", "bass", "guitar", "epiano", "strings"]),
        S("a", 16, ["drums", "bass", "guitar", "flute", "strings"], options={"flute": {"theme": "a"}}),
        END(["bass", "guitar", "strings", "flute"], chord="19"),
    ],
}

# 8th place: a closing piano ballad.
PIECES["ballad"] = {
    "key": 51, "scale": "major", "tempo": 76, "meter": 4, "humanize": 0.012,
    "progressions": {"a": "1 5 6 4 1 5 4 5", "b": "6 3 4 1 6 3 2 5", "intro": "1 4"},
    "layers": {
        "piano": {"kind": "arp", "channel": 0, "program": 0, "range": (48, 67), "step": 0.5, "shape": "pattern",
                  "gate": 1.6, "volume": 96, "pan": 56, "reverb": 80, "vel": 66},
        "melody": {"kind": "melody", "channel": 1, "program": 0, "range": (65, 84), "cells": "lyric",
                   "volume": 104, "pan": 64, "reverb": 80, "vel": 90},
        "strings": {"kind": "pad", "channel": 2, "program": 49, "range": (55, 72), "volume": 74, "reverb": 100,
                    "vel": 62},
        "cello": {"kind": "counter", "channel": 3, "program": 42, "range": (43, 57), "span": 2, "volume": 80,
                  "pan": 80, "reverb": 90, "vel": 72},
        "bass": {"kind": "bass", "channel": 4, "program": 32, "bass": "whole", "low": 31, "volume": 84,
                 "reverb": 50, "vel": 80},
        "drums": {"kind": "drums", "channel": 9, "kit": 40, "pattern": "ballad", "volume": 72, "reverb": 60,
                  "fill": False},
    },
    "sections": [
        S("intro", 2, ["piano"]),
        S("a", 8, ["piano", "melody", "bass"]),
        S("b", 8, ["piano", "melody", "strings", "bass", "cello", "drums"], options={"melody": {"theme": "b"}}),
        S("a", 8, ["piano", "melody", "strings", "bass", "cello", "drums"]),
        END(["piano", "melody", "strings", "bass", "cello"]),
    ],
}

# The intro theme: slow build from a choir pad to brass and drums, for
# logos and credits.
PIECES["theme"] = {
    "key": 50, "scale": "minor", "tempo": 96, "meter": 4, "humanize": 0.0,
    "progressions": {"dawn": "1 1 6 6", "rise": "1 6 3 7 1 6 4 5", "anthem": "6 7 1 5 6 7 1 1"},
    "layers": {
        "pad": {"kind": "pad", "channel": 0, "program": 89, "range": (50, 72), "volume": 90, "reverb": 110,
                "chorus": 70, "vel": 72},
        "choir": {"kind": "pad", "channel": 1, "program": 91, "range": (57, 76), "size": 3, "volume": 74,
                  "reverb": 110, "vel": 66},
        "arp": {"kind": "arp", "channel": 2, "program": 81, "range": (62, 86), "step": 0.25, "shape": "updown",
                "gate": 0.45, "volume": 64, "pan": 36, "reverb": 70, "vel": 70},
        "bass": {"kind": "bass", "channel": 3, "program": 38, "bass": "pulse16", "low": 33, "volume": 92,
                 "reverb": 20, "vel": 96},
        "brass": {"kind": "melody", "channel": 4, "program": 61, "range": (60, 79), "cells": "lyric",
                  "volume": 100, "pan": 60, "reverb": 90, "vel": 100},
        "strings": {"kind": "counter", "channel": 5, "program": 48, "range": (62, 79), "span": 1, "volume": 78,
                    "pan": 84, "reverb": 90, "vel": 74},
        "timpani": {"kind": "hits", "channel": 6, "program": 47, "volume": 104, "reverb": 90, "every": 4,
                    "cymbal": True, "vel": 100},
        "drums": {"kind": "drums", "channel": 9, "kit": 16, "pattern": "synthpop", "volume": 98, "reverb": 50},
        "lead": {"kind": "melody", "channel": 7, "program": 81, "range": (69, 88), "cells": "pop", "volume": 90,
                 "pan": 70, "reverb": 90, "vel": 94},
    },
    "sections": [
        S("dawn", 4, ["pad", "choir", "strings"], options={"strings": {"span": 4}}),
        S("dawn", 4, ["pad", "choir", "arp", "timpani", "bass"],
          options={"timpani": {"roll": True}, "bass": {"bass": "whole"}}),
        S("rise", 8, ["pad", "arp", "bass", "brass", "timpani"], options={"brass": {"theme": "rise"}}),
        S("rise", 8, ["pad", "arp", "bass", "brass", "strings", "drums"],
          options={"brass": {"theme": "rise", "harmony": -2}}),
        S("anthem", 8, ["pad", "choir", "arp", "bass", "lead", "strings", "drums", "timpani"],
          options={"lead": {"theme": "anthem"}}),
        S("anthem", 8, ["pad", "choir", "arp", "bass", "lead", "brass", "strings", "drums", "timpani"],
          options={"lead": {"theme": "anthem", "harmony": -2}, "brass": {"theme": "anthem", "octave": -1},
                   "timpani": {"roll": True}}),
        END(["pad", "choir", "bass", "brass", "timpani", "strings", "drums"]),
    ],
}
