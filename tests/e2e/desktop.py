"""The private desktop of the end-to-end test and what it looks at from outside.

Session: an X server, openbox, a session bus with the accessibility bus switched
on the way a screen reader switches it on, and a sound server whose default
output is a null sink (scripts/session.sh starts all but the accessibility bus).
Recorder: what the null sink plays, recorded from its monitor.
Plus the X side: windows by title, keys, screenshots.
"""

import array
import math
import os
import re
import subprocess
import time


class StepFailed(Exception):
    pass


def wait_for(what, predicate, timeout, interval=0.05, idle=time.sleep):
    """Polls until predicate() returns something true and returns it."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise StepFailed(f"no {what} within {timeout:.1f} s")
        idle(interval)


def run(args, timeout=30):
    try:
        return subprocess.run(args, check=True, capture_output=True, text=True,
                              timeout=timeout).stdout
    except subprocess.CalledProcessError as error:
        raise StepFailed(f"{' '.join(args)} failed: {error.stderr.strip()}") from error
    except subprocess.TimeoutExpired as error:
        raise StepFailed(f"{' '.join(args)} did not finish within {timeout} s") from error


class Session:
    def __init__(self, source_dir, directory):
        self.script = os.path.join(source_dir, "scripts", "session.sh")
        self.directory = directory
        self.env = {}
        self.a11y_launcher = None

    def start(self):
        run([self.script, "start", self.directory])
        with open(os.path.join(self.directory, "env"), encoding="utf-8") as env_file:
            for line in env_file:
                match = re.match(r"export (\w+)=(.*)$", line.strip())
                if match:
                    self.env[match.group(1)] = match.group(2).strip("'\"")
        # Everything this script starts from now on lives in the private session.
        os.environ.update(self.env)
        os.environ.pop("QT_QPA_PLATFORM", None)
        os.environ.pop("AT_SPI_BUS_ADDRESS", None)

        # The accessibility bus, as a desktop session starts it; then accessibility
        # switched on as a screen reader does (org.a11y.Status on the session bus).
        self.a11y_launcher = subprocess.Popen(
            ["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"],
            stdout=subprocess.DEVNULL, stderr=open(os.path.join(self.directory, "a11y.log"), "w"))
        wait_for("accessibility bus on the session bus", self._a11y_bus_up, 10)
        for prop in ("IsEnabled", "ScreenReaderEnabled"):
            run(["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
                 "org.freedesktop.DBus.Properties.Set", "string:org.a11y.Status",
                 f"string:{prop}", "variant:boolean:true"])
        wait_for("window manager", self._window_manager_up, 10)

    def _a11y_bus_up(self):
        if self.a11y_launcher.poll() is not None:
            raise StepFailed("at-spi-bus-launcher ended at start")
        reply = subprocess.run(
            ["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
             "org.a11y.Bus.GetAddress"], capture_output=True, text=True)
        return reply.returncode == 0 and "unix:" in reply.stdout

    @staticmethod
    def _window_manager_up():
        reply = subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"],
                               capture_output=True, text=True)
        return reply.returncode == 0 and "window id" in reply.stdout

    def stop(self):
        if self.a11y_launcher and self.a11y_launcher.poll() is None:
            self.a11y_launcher.terminate()
            try:
                self.a11y_launcher.wait(5)
            except subprocess.TimeoutExpired:
                self.a11y_launcher.kill()
                self.a11y_launcher.wait()
        subprocess.run([self.script, "stop", self.directory], check=False)


class Recorder:
    """Records the null sink's monitor as raw 16-bit stereo at 44.1 kHz. Times are
    seconds from the start of the recording; now() is how far it has got."""

    RATE = 44100
    FRAME = 4  # two channels of two bytes
    LEVEL = 0.005  # RMS above this is audible sound

    def __init__(self, sink, raw_path):
        self.sink = sink
        self.raw_path = raw_path
        self.process = None

    def start(self):
        self.process = subprocess.Popen(
            ["parec", "-d", self.sink + ".monitor", "--format=s16le", f"--rate={self.RATE}",
             "--channels=2", "--latency-msec=20"],
            stdout=open(self.raw_path, "wb"), stderr=subprocess.DEVNULL)
        # A freshly started null sink delivers its first audio late.
        wait_for("audio from the null sink's monitor", lambda: self.now() > 0.5, 10)

    def now(self):
        if self.process.poll() is not None:
            raise StepFailed("the recorder (parec) has ended")
        return os.path.getsize(self.raw_path) // self.FRAME / self.RATE

    def samples(self, start, end):
        first = max(0, int(start * self.RATE))
        last = max(first, int(end * self.RATE))
        with open(self.raw_path, "rb") as raw:
            raw.seek(first * self.FRAME)
            data = raw.read((last - first) * self.FRAME)
        values = array.array("h")
        values.frombytes(data[: len(data) - len(data) % 2])
        return values

    def rms(self, start, end):
        values = self.samples(start, end)
        if not values:
            return 0.0
        return math.sqrt(sum(v * v for v in values) / len(values)) / 32768.0

    def sounding(self, start, end):
        return self.rms(start, end) > self.LEVEL

    def silent(self, start, end):
        values = self.samples(start, end)
        return len(values) > 0 and not any(values)

    def quiet_stretches(self, start, end, window=0.25):
        """The windows between two times in which nothing audible plays."""
        quiet = []
        t = start
        while t + window <= end + 1e-9:
            if not self.sounding(t, t + window):
                quiet.append(round(t, 2))
            t += window
        return quiet

    def stop(self, wav_path):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            self.process.wait(5)
        subprocess.run(["sox", "-t", "raw", "-r", str(self.RATE), "-e", "signed", "-b", "16", "-c",
                        "2", self.raw_path, wav_path], check=False, capture_output=True)


def _title_pattern(title):
    return "^" + re.sub(r"([.\[\](){}*+?|^$\\])", r"\\\1", title) + "$"


def visible_windows(title):
    """X windows with this exact title that are mapped (viewable)."""
    reply = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", _title_pattern(title)],
                           capture_output=True, text=True)
    return [int(w) for w in reply.stdout.split()]


def window_facts(window):
    """What the X server and the window manager say about a client window."""
    info = run(["xwininfo", "-id", str(window)])
    facts = {}
    for key in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height", "Map State"):
        match = re.search(rf"{key}:\s+(\S+)", info)
        facts[key] = match.group(1) if match else None
    props = subprocess.run(
        ["xprop", "-id", str(window), "_NET_WM_WINDOW_TYPE", "_NET_WM_STATE", "WM_TRANSIENT_FOR",
         "_MOTIF_WM_HINTS", "_NET_FRAME_EXTENTS", "_NET_WM_ALLOWED_ACTIONS", "WM_NORMAL_HINTS"],
        capture_output=True, text=True).stdout
    return facts, props


def activate(window):
    run(["xdotool", "windowactivate", "--sync", str(window)])


def keys(*names):
    run(["xdotool", "key", "--clearmodifiers", "--delay", "40", *names])


def type_text(text):
    run(["xdotool", "type", "--clearmodifiers", "--delay", "40", text])


def screenshot(path):
    run(["import", "-window", "root", path])
