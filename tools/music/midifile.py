"""Standard MIDI file writer (format 1) for the music generator.

Owns the byte layout of the .mid files that fluidsynth renders: one tempo
track, then one track per MIDI channel. Times are in beats (floats) and are
turned into ticks here; nothing about music lives in this file.
"""
import struct

TICKS_PER_BEAT = 480


def _varlen(value):
    """A MIDI variable-length quantity."""
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.append((value & 0x7F) | 0x80)
        value >>= 7
    return bytes(reversed(out))


def _ticks(beat):
    return max(0, int(round(beat * TICKS_PER_BEAT)))


class Song:
    """Collects notes and controller events per channel, then writes a file."""

    def __init__(self):
        self.tempos = []  # (beat, bpm)
        self.events = {}  # channel -> list of (tick, order, bytes)
        self.end_beat = 0.0

    def tempo(self, beat, bpm):
        self.tempos.append((beat, bpm))

    def _add(self, channel, beat, order, data):
        self.events.setdefault(channel, []).append((_ticks(beat), order, bytes(data)))

    def program(self, channel, program, beat=0.0, bank=0):
        self._add(channel, beat, 0, [0xB0 | channel, 0, bank])
        self._add(channel, beat, 0, [0xB0 | channel, 32, 0])
        self._add(channel, beat, 1, [0xC0 | channel, program])

    def control(self, channel, beat, number, value):
        self._add(channel, beat, 2, [0xB0 | channel, number, max(0, min(127, int(value)))])

    def bend(self, channel, beat, value):
        """Pitch bend, value -8192..8191."""
        v = max(0, min(16383, int(value) + 8192))
        self._add(channel, beat, 2, [0xE0 | channel, v & 0x7F, v >> 7])

    def note(self, channel, beat, length, pitch, velocity):
        if not 0 <= pitch <= 127:
            return
        velocity = max(1, min(127, int(velocity)))
        start = _ticks(beat)
        end = max(start + 1, _ticks(beat + length))
        # Note-offs sort before note-ons at the same tick, so a repeated
        # pitch is released before it is struck again.
        self.events.setdefault(channel, []).append((start, 4, bytes([0x90 | channel, pitch, velocity])))
        self.events.setdefault(channel, []).append((end, 3, bytes([0x80 | channel, pitch, 0])))
        self.end_beat = max(self.end_beat, beat + length)

    def _track(self, events, end_tick):
        events = sorted(events, key=lambda e: (e[0], e[1], e[2]))
        body = bytearray()
        now = 0
        for tick, _, data in events:
            body += _varlen(tick - now) + data
            now = tick
        body += _varlen(max(0, end_tick - now)) + b"\xff\x2f\x00"
        return b"MTrk" + struct.pack(">I", len(body)) + bytes(body)

    def write(self, path, tail_beats=8.0):
        """Writes the file; every track lasts tail_beats past the last note
        so that the renderer lets the last chord and the reverb ring out."""
        end_tick = _ticks(self.end_beat + tail_beats)
        tempo_events = []
        for beat, bpm in self.tempos:
            usec = int(round(60000000 / bpm))
            tempo_events.append((_ticks(beat), 0, b"\xff\x51\x03" + struct.pack(">I", usec)[1:]))
        tempo_events.append((0, 0, b"\xff\x58\x04\x04\x02\x18\x08"))
        tracks = [self._track(tempo_events, end_tick)]
        for channel in sorted(self.events):
            tracks.append(self._track(self.events[channel], end_tick))
        header = b"MThd" + struct.pack(">IHHH", 6, 1, len(tracks), TICKS_PER_BEAT)
        with open(path, "wb") as f:
            f.write(header + b"".join(tracks))
