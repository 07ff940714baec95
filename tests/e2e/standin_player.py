#!/usr/bin/python3
# A silent stand-in for musicplayer/sdlmusicplayer: notes its start and each
# command in $STANDIN_LOG ("monotonic-time pid what" a line), owns
# "musicplayerport", reports "loading" and "playing" to "demoport", and on
# next/previous reports "song ended" and ends, as the musicdisk expects.
import os
import socket
import struct
import sys
import time

MESSAGE = struct.Struct("=IIBb4s4sHi")  # the 24-byte message, value at 20
QUIT, NEXT, PREVIOUS = 2, 4, 5
EVENT_PLAYING, EVENT_LOADING, EVENT_SONG_ENDED = 0, 1, 2


def port_dir():
    return os.path.join(os.environ["XDG_RUNTIME_DIR"], "musicdisk")


def log(what):
    with open(os.environ["STANDIN_LOG"], "a") as f:
        f.write("%.3f %d %s\n" % (time.monotonic(), os.getpid(), what))


def pack(value):
    return MESSAGE.pack(0, 0, 5, 0, b"\0" * 4, b"\0" * 4, 24, value)


def send(port, value):
    s = socket.socket(socket.AF_UNIX, socket.SOCK_SEQPACKET)
    s.settimeout(2.0)
    try:
        s.connect(os.path.join(port_dir(), port))
        s.send(pack(value))
        s.recv(64)
    except OSError:
        pass  # no port: the intro has no handler
    finally:
        s.close()


def take_port(path):
    for _ in range(100):
        s = socket.socket(socket.AF_UNIX, socket.SOCK_SEQPACKET)
        try:
            s.bind(path)
            s.listen(4)
            return s
        except OSError:
            s.close()
            probe = socket.socket(socket.AF_UNIX, socket.SOCK_SEQPACKET)
            try:
                probe.connect(path)  # a live owner: wait for it to leave
                time.sleep(0.05)
            except OSError:
                os.unlink(path)  # left by an owner that was killed
            finally:
                probe.close()
    raise SystemExit("standin: port stays taken")


def main():
    log("start " + " ".join(sys.argv[1:]))
    os.makedirs(port_dir(), mode=0o700, exist_ok=True)
    path = os.path.join(port_dir(), "musicplayerport")
    server = take_port(path)
    send("demoport", EVENT_LOADING)
    send("demoport", EVENT_PLAYING)
    log("playing")
    try:
        while True:
            conn, _ = server.accept()
            data = conn.recv(64)
            value = MESSAGE.unpack(data)[7]
            log("cmd %d" % value)
            conn.send(data)
            conn.close()
            if value in (NEXT, PREVIOUS):
                server.close()
                os.unlink(path)
                send("demoport", EVENT_SONG_ENDED)
                log("ended")
                return
            if value == QUIT:
                return
    finally:
        if os.path.exists(path):
            os.unlink(path)
        log("exit")


if __name__ == "__main__":
    main()
