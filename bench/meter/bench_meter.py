#!/usr/bin/python3
# The level meter's cost and delay, with the real musicdisk and player under
# Xvfb and SDL's disk audio driver (which keeps real time).
#
# Cost: the CPU share of the player and of the musicdisk while a song of the
# disk plays, with the levels measured and reported and without them
# (MUSICDISK_NO_LEVELS), in alternating rounds of one run. Target: the
# levels cost at most 1% of a core on each side.
# Delay: how long after a tone's first buffer is written to the captured
# audio (a thread notes the file's growth to the half millisecond) the
# meter's lamps are seen lit on the screen, over several plays of a song of
# silence then a tone (the disk of one song plays it again and again).
# Target: at most 50 ms.
#
#     bench_meter.py MUSICDISK SOURCE_DIR PLAYER [ROUNDS]
import array
import os
import statistics
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../tests/e2e"))
import harness  # noqa: E402
import test_meter  # noqa: E402

SECONDS = 15.0
SONG = "music/aurora-skyward.mp3"


def cpu_seconds(pid):
    fields = harness.proc(pid, "stat").rsplit(b")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def session():
    run = test_meter.Meter("test_the_meter_lights_with_the_sound_it_plays")
    run.setUp()
    return run


def share(levels):
    # (player, musicdisk) CPU share over SECONDS of a song of the disk.
    run = session()
    try:
        if not levels:
            run.env["MUSICDISK_NO_LEVELS"] = "1"
        run.start(args=[os.path.join(harness.SOURCE_DIR, SONG)])
        run.focus()
        time.sleep(1.0)
        run.key("space")
        player = run.wait_for(lambda: [pid for pid, argv in harness.children(run.program.pid)
                                       if argv[1:2] == [os.path.join(harness.SOURCE_DIR, SONG)]], "the player", 30)[0]
        time.sleep(3.0)  # loading done, the overlay gone
        before = cpu_seconds(player), cpu_seconds(run.program.pid), time.monotonic()
        time.sleep(SECONDS)
        after = cpu_seconds(player), cpu_seconds(run.program.pid), time.monotonic()
        run.stop()
        return [(a - b) / (after[2] - before[2]) * 100 for a, b in zip(after[:2], before[:2])]
    finally:
        run.tearDown()


def growth(path, log, running):
    # Notes (time, size) each time the capture grows: the disk driver writes
    # a whole buffer at once, right after the post-mix hook has seen it.
    size = -1
    while running:
        try:
            now = os.stat(path).st_size
        except OSError:
            now = -1
        if now != size:
            size = now
            log.append((time.monotonic(), size))
        time.sleep(0.0005)


def delays(plays):
    # Milliseconds from the tone's first buffer in the captured audio to the
    # first grab of the screen with a lit lamp.
    run = session()
    found = []
    try:
        run.start(args=[run.song])
        run.focus()
        time.sleep(1.0)
        run.key("space")
        for _ in range(plays):
            run.wait_for(lambda: run.song_player() and run.song_player() != getattr(run, "last", None), "a play", 30)
            run.last = run.song_player()
            os.truncate(run.audio, 0)  # the previous play's sound goes before the growth is noted
            log, running = [], [True]
            watcher = threading.Thread(target=growth, args=(run.audio, log, running))
            watcher.start()
            samples = run.watch(run.lit)
            running.clear()
            watcher.join()
            with open(run.audio, "rb") as f:
                audio = array.array("h", f.read()[:os.path.getsize(run.audio) & ~3])
            first = next((i for i, s in enumerate(audio) if abs(s) > 8000), None)
            lit = [when for when, toned, g in samples if toned and any(run.lamps(g)[0])]
            written = [when for when, size in log if first is not None and size > 2 * first]
            if lit and written:
                found.append((lit[0] - written[0]) * 1000)
        run.stop()
    finally:
        run.tearDown()
    return found


def main():
    harness.MUSICDISK, harness.SOURCE_DIR, harness.PLAYER = sys.argv[1:4]
    rounds = int(sys.argv[4]) if len(sys.argv) > 4 else 5
    shares = {True: [], False: []}
    for _ in range(rounds):
        for levels in (True, False):
            shares[levels].append(share(levels))
    for side, name in enumerate(("player", "musicdisk")):
        on = [s[side] for s in shares[True]]
        off = [s[side] for s in shares[False]]
        print("%-9s CPU %% of a core, median: with levels %5.2f (%s), without %5.2f (%s): levels cost %+.2f" % (
            name, statistics.median(on), " ".join("%.2f" % s for s in on), statistics.median(off),
            " ".join("%.2f" % s for s in off), statistics.median(on) - statistics.median(off)))
    found = delays(8)
    print("meter delay behind the captured audio, ms: %s; median %.0f, worst %.0f (target 50)" % (
        " ".join("%.0f" % d for d in found), statistics.median(found), max(found)))


if __name__ == "__main__":
    main()
