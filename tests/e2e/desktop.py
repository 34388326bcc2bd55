# SPDX-License-Identifier: GPL-3.0-or-later
"""The private desktop of the end-to-end tests (scripts/session.sh plus the
accessibility bus), the recording of its null sink, and the X side: windows by
title, keys."""

import array
import contextlib
import math
import os
import re
import shutil
import subprocess
import time

TOOLS = ("Xvfb", "openbox", "dbus-daemon", "pulseaudio", "parec", "sox", "xdotool", "xprop",
         "/usr/libexec/at-spi-bus-launcher")


class StepFailed(Exception):
    pass


def check(fact, message):
    if not fact:
        raise StepFailed(message)


@contextlib.contextmanager
def step(name):
    print(f"== {name}", flush=True)
    try:
        yield
    except Exception as error:
        raise StepFailed(f"in step \"{name}\": {type(error).__name__}: {error}") from error


def missing_tools(tools=TOOLS, others=()):
    """What the tests need and is not installed; a build without a desktop skips
    these tests unless ZELMORO_REQUIRE_DESKTOP=1 asks for them."""
    if os.environ.get("ZELMORO_REQUIRE_DESKTOP") == "1":
        return []
    return [tool for tool in tools if not shutil.which(tool)] + list(others)


def wait_for(what, predicate, timeout):
    """Polls until predicate() returns something true and returns it."""
    deadline = time.monotonic() + timeout
    while not (value := predicate()):
        if time.monotonic() > deadline:
            raise StepFailed(f"no {what} within {timeout:.1f} s")
        time.sleep(0.05)
    return value


def run(args, timeout=30, env=None):
    try:
        return subprocess.run(args, check=True, capture_output=True, text=True,
                              timeout=timeout, env=env).stdout
    except (subprocess.CalledProcessError, subprocess.TimeoutExpired) as error:
        raise StepFailed(f"{' '.join(args)} failed: {error.stderr or 'timed out'}") from error


def start_session(source_dir, directory):
    """Starts the private desktop (scripts/session.sh) under directory; everything
    this script starts from then on lives in it."""
    run([os.path.join(source_dir, "scripts", "session.sh"), "start", directory])
    with open(os.path.join(directory, "env"), encoding="utf-8") as env_file:
        os.environ.update({k: v.strip("'\"") for k, v in re.findall(r"export (\w+)=(.*)", env_file.read())})
    for name in ("QT_QPA_PLATFORM", "AT_SPI_BUS_ADDRESS"):
        os.environ.pop(name, None)
    # The session bus starts the accessibility bus on demand, as in a desktop
    # session; switched on as a screen reader does (org.a11y.Status).
    for prop in ("IsEnabled", "ScreenReaderEnabled"):
        run(["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
             "org.freedesktop.DBus.Properties.Set", "string:org.a11y.Status",
             f"string:{prop}", "variant:boolean:true"])
    wait_for("window manager", lambda: "window id" in subprocess.run(
        ["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], capture_output=True, text=True).stdout, 10)


class Recorder:
    """Records the null sink's monitor the one way all sound tests do (the C++
    tests' PulseRecorder runs the same parec): raw 16-bit stereo at 44.1 kHz,
    measured as the file grows. Times are seconds from the start of the
    recording; now() is how far it has got."""

    RATE, FRAME = 44100, 4
    LEVEL = 0.005  # RMS above this is audible sound

    def __init__(self, sink, raw_path):
        self.raw_path = raw_path
        self.process = subprocess.Popen(
            ["parec", "-d", sink + ".monitor", "--format=s16le", f"--rate={self.RATE}",
             "--channels=2", "--latency-msec=20"],
            stdout=open(raw_path, "wb"), stderr=subprocess.DEVNULL)
        # A freshly started null sink delivers its first audio late.
        wait_for("audio from the null sink's monitor", lambda: self.now() > 0.5, 10)

    def now(self):
        if self.process.poll() is not None:
            raise StepFailed("the recorder (parec) has ended")
        return os.path.getsize(self.raw_path) // self.FRAME / self.RATE

    def rms(self, start, end):
        """The level between two times, from 0 to 1; None if nothing was recorded."""
        first = max(0, int(start * self.RATE))
        with open(self.raw_path, "rb") as raw:
            raw.seek(first * self.FRAME)
            data = raw.read(max(0, int(end * self.RATE) - first) * self.FRAME)
        values = array.array("h", data[: len(data) - len(data) % 2])
        return math.sqrt(sum(v * v for v in values) / len(values)) / 32768 if values else None

    def sounding(self, start, end):
        return (self.rms(start, end) or 0) > self.LEVEL

    def silent(self, start, end):
        return self.rms(start, end) == 0

    def stop(self, wav_path):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait(5)
        subprocess.run(["sox", "-t", "raw", "-r", str(self.RATE), "-e", "signed", "-b", "16",
                        "-c", "2", self.raw_path, wav_path], check=False, capture_output=True)


def visible_windows(title):
    """X windows with exactly this title that are mapped."""
    return subprocess.run(["xdotool", "search", "--onlyvisible", "--name", f"^{re.escape(title)}$"],
                          capture_output=True, text=True).stdout.split()


def wait_window(title, shown=True, timeout=10):
    """Waits for the window with this title to be mapped (and returns its id) or to go."""
    return wait_for(f"window {title!r} {'mapped' if shown else 'gone'}", lambda: (
        visible_windows(title) or [None])[0] if shown else not visible_windows(title), timeout)


def keys(*names):
    if names:
        run(["xdotool", "key", "--clearmodifiers", "--delay", "40", *names])
