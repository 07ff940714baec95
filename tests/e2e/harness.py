# What the end-to-end tests share: a private X server, a scratch data
# directory holding the musicdisk with a player beside it, a private runtime
# directory, key presses, waiting, process listings and screenshots.
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

MUSICDISK = SOURCE_DIR = PLAYER = None  # from the command line: main()
THEME = "music/Zeb-The_Creator.mp3"
STANDIN = os.path.join(os.path.dirname(os.path.abspath(__file__)), "standin_player.py")


def song_paths():
    with open(os.path.join(SOURCE_DIR, "src/music/songtable.cpp")) as f:
        text = f.read()
    body = re.search(r"songnames\[BUILTIN_SONGS\]\s*=\s*\{(.*?)\};", text, re.S).group(1)
    return re.findall(r'"(music/[^"]+)"', body)


def start_with_fd(argv):
    # Starts a server that writes its address to the fd named in argv ({}).
    r, w = os.pipe()
    proc = subprocess.Popen([a.format(w) for a in argv], pass_fds=(w,), stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    os.close(w)
    with os.fdopen(r) as f:
        return proc, f.readline().strip()


def start_xvfb(size):
    # A server started at the same moment may win the display number after
    # ours named it: ours then ends. Try again until one stays and answers.
    for _ in range(5):
        proc, found = start_with_fd(["Xvfb", "-displayfd", "{}", "-screen", "0", size + "x24", "-nolisten", "tcp",
                                     "-noreset"])
        time.sleep(0.5)
        probe = subprocess.run(["xdotool", "getmouselocation"], env=dict(os.environ, DISPLAY=":" + found),
                               capture_output=True)
        if found and proc.poll() is None and probe.returncode == 0:
            return proc, ":" + found
        proc.kill()
        proc.wait()
    raise RuntimeError("Xvfb did not start")


def proc(pid, name):
    with open("/proc/%s/%s" % (pid, name), "rb") as f:
        return f.read()


def processes():
    # (pid, parent pid, state, argv, environment) of every process that can be read.
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            stat, argv, environ = (proc(pid, name) for name in ("stat", "cmdline", "environ"))
        except OSError:
            continue
        if not argv:
            continue  # a process on its way out (its memory, command line included, is gone)
        state, parent = stat.rsplit(b")", 1)[1].split()[:2]
        yield int(pid), int(parent), state.decode(), [os.fsdecode(a) for a in argv.split(b"\0")[:-1]], environ.split(b"\0")


def children(pid):
    # (pid, argv) of every living, not yet reaped child of pid.
    return [(p, argv) for p, parent, state, argv, _ in processes() if parent == pid and state != "Z"]


class Session(unittest.TestCase):
    SCREEN = "1024x768"

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="musicdisk-e2e-")
        shutil.copy(MUSICDISK, self.path("musicdisk"))
        os.makedirs(self.path("musicplayer"))
        self.runtime = self.path("run")
        os.makedirs(self.runtime, mode=0o700)
        self.log = self.path("player.log")
        self.xvfb, self.display = start_xvfb(self.SCREEN)
        self.env = dict(os.environ, DISPLAY=self.display, XDG_RUNTIME_DIR=self.runtime, STANDIN_LOG=self.log,
                        SDL_VIDEODRIVER="x11", SDL_AUDIODRIVER="dummy")
        self.env.pop("DBUS_SESSION_BUS_ADDRESS", None)
        self.env["XDG_STATE_HOME"] = self.path("state")  # the volume kept across runs
        self.servers, self.programs, self.program = [], [], None
        self.install()

    def install(self):
        # The stand-in player and no music: the player never opens it.
        shutil.copy(STANDIN, self.path("musicplayer/sdlmusicplayer"))
        os.makedirs(self.path("music"))

    def path(self, name):
        return os.path.join(self.dir, name)

    def tearDown(self):
        self.leftovers()
        for program in self.programs:
            program.kill()
            program.wait()
        for server in self.servers + [self.xvfb]:
            server.terminate()
            server.wait()
        shutil.rmtree(self.dir, ignore_errors=True)

    def start(self, env=None, args=()):
        # Output and errors in one stream, in the order written.
        self.program = subprocess.Popen([self.path("musicdisk"), *args], cwd="/", env=env or self.env,
                                        stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        self.programs.append(self.program)
        return self.program

    def said(self):
        return self.program.communicate(timeout=30)[0].decode(errors="replace")

    def stop(self):
        # A termination request ends it at once (no farewell fade), and in order.
        self.program.send_signal(signal.SIGTERM)
        try:
            self.assertEqual(self.program.wait(timeout=5), 0)
        except subprocess.TimeoutExpired:
            self.fail("SIGTERM did not end the musicdisk")
        self.assert_nothing_left()

    def wait_for(self, probe, what, timeout=20):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            found = probe()
            if found:
                return found
            time.sleep(0.05)
        ended = [(p.returncode, p.stdout.read()) for p in self.programs if p.poll() is not None]
        log = ""
        if os.path.exists(self.log):
            with open(self.log, errors="replace") as f:
                log = f.read()
        self.fail("timed out waiting for %s; ended: %s; player log:\n%s" % (what, ended, log))

    def lines(self):
        # The stand-in's log: (monotonic time, pid, what) a line.
        if not os.path.exists(self.log):
            return []
        with open(self.log) as f:
            return [(float(t), int(pid), what) for t, pid, what in (line.rstrip("\n").split(" ", 2) for line in f)]

    def logged(self, predicate, what, timeout=10):
        return self.wait_for(lambda: next(filter(predicate, self.lines()), None), what, timeout)

    def key(self, name):
        subprocess.run(["xdotool", "key", "--clearmodifiers", name], env=self.env, check=True)

    def focus(self):
        found = self.wait_for(lambda: subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "."],
                                                     env=self.env, capture_output=True, text=True).stdout.split(),
                              "the musicdisk's window")
        subprocess.run(["xdotool", "windowfocus", "--sync", found[-1]], env=self.env)
        subprocess.run(["xdotool", "mousemove", "500", "400"], env=self.env)

    def song_playing(self, started):
        player = self.logged(started, "a song's player", 15)[1]
        self.logged(lambda e: e[1] == player and e[2] == "playing", "the song playing")
        time.sleep(1.5)  # the overlay fades out; next and previous are taken once it has gone
        return player

    def to_disk_screen(self, args=(), key="space"):
        # Leaves the intro with a key once it takes keys; the first song's player.
        self.start(args=args)
        self.logged(lambda e: e[2] == "start " + THEME, "the intro theme's player", 60)
        self.focus()
        time.sleep(1.0)  # keys in the first half second are ignored
        self.key(key)
        return self.song_playing(lambda e: e[2] == "start " + song_paths()[0])

    def screenshot(self, width, height):
        # The screen's pixels, three bytes each, row after row.
        xwd = subprocess.run(["xwd", "-root", "-silent", "-display", self.display], capture_output=True).stdout
        ppm = subprocess.run(["xwdtopnm"], input=xwd, capture_output=True, check=True).stdout
        return memoryview(ppm)[len(ppm) - width * height * 3:]

    def leftovers(self):
        # The living processes started for this run, the servers aside; killed.
        servers = [server.pid for server in self.servers]
        left = [(pid, argv) for pid, _, state, argv, environ in processes() if state != "Z" and pid not in servers
                and b"XDG_RUNTIME_DIR=" + self.runtime.encode() in environ]
        for pid, _ in left:
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        return left

    def assert_nothing_left(self):
        # No process started for the musicdisk outlives it (players, a session
        # bus), no socket and no staged file is left.
        time.sleep(0.3)
        self.assertEqual(self.leftovers(), [], "processes that outlive the musicdisk")
        ports = os.path.join(self.runtime, "musicdisk")
        self.assertEqual(os.listdir(ports) if os.path.isdir(ports) else [], [], "socket files left behind")
        self.assertEqual([n for n in os.listdir(self.runtime) if n != "musicdisk"], [], "staged files left behind")


def main():
    # The command line: the musicdisk, the source tree, the real player, then unittest's own.
    global MUSICDISK, SOURCE_DIR, PLAYER
    MUSICDISK, SOURCE_DIR, PLAYER = sys.argv.pop(1), sys.argv.pop(1), sys.argv.pop(1)
    unittest.main(module="__main__", verbosity=2)
