#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The road of one alarm: the installed clock in a private desktop session (the one
scripts/session.sh starts, plus the accessibility bus) under a faked wall clock,
driven by key presses, read through the accessibility tree (as a screen reader
reads it), the X server and the sound server. The sound recording (raw 16-bit
stereo at 44.1 kHz) and the program's output go to ARTIFACTS.

  alarm_road.py CMAKE BUILD_DIR SOURCE_DIR ARTIFACTS"""

import array
import contextlib
import glob
import math
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

try:  # the AT-SPI client library, from python3-pyatspi's dependencies
    import gi
    gi.require_version("Atspi", "2.0")
    from gi.repository import Atspi, GLib
except (ImportError, ValueError):
    Atspi = None

FAKE_START = "2024-01-15 06:59:54"  # a few seconds before a whole minute
FAKETIME = glob.glob("/usr/lib/*/faketime/libfaketime.so.1")
LEAD = 6  # seconds between opening the dialog and the alarm second picked in it
MAIN, DIALOG, NOTICE = "Zelmoro", "Alarm - Set", "時間ですよ～"
QUIZ, RIGHT, WRONG = "本当に起きてるの??", "正解です", "間違えています"
FRAME = "0x3, 0x4, 0xa, 0x0, 0x0"  # Motif hints: title and border, movable, no buttons
SKIP = {"_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER"}

# Each window's role for a screen reader (a window with a taskbar entry is a
# frame, the small ones without are dialogs) and its client area in twips (15 to
# a pixel). The texts of labels and buttons are checked in-process.
WINDOWS = {MAIN: ("frame", 4128, 6816), DIALOG: ("dialog", 3744, 1356), NOTICE: ("frame", 3168, 1488),
           QUIZ: ("frame", 2844, 1392), RIGHT: ("dialog", 3936, 1476), WRONG: ("dialog", 3912, 1452)}

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
    required = os.environ.get("ZELMORO_REQUIRE_DESKTOP") == "1"
    return [] if required else [tool for tool in tools if not shutil.which(tool)] + list(others)


def wait_for(what, predicate, timeout=5):
    """Polls until predicate() returns something true and returns it."""
    deadline = time.monotonic() + timeout
    while not (value := predicate()):
        if time.monotonic() > deadline:
            raise StepFailed(f"no {what} within {timeout:.1f} s")
        time.sleep(0.05)
    return value


def run(args, timeout=30, env=None):
    try:
        return subprocess.run(args, check=True, capture_output=True, text=True, timeout=timeout, env=env).stdout
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
             "org.freedesktop.DBus.Properties.Set", "string:org.a11y.Status", f"string:{prop}", "variant:boolean:true"])
    wait_for("window manager", lambda: "window id" in subprocess.run(
        ["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], capture_output=True, text=True).stdout, 10)


class Recorder:
    """Records the null sink's monitor the one way all sound tests do (the C++
    tests' PulseRecorder runs the same parec): raw 16-bit stereo at 44.1 kHz,
    measured as the file grows. Times are seconds from the start of the
    recording; now() is how far it has got."""

    RATE, FRAME, LEVEL = 44100, 4, 0.005  # an RMS above LEVEL is audible sound

    def __init__(self, sink, raw_path):
        self.raw_path = raw_path
        self.process = subprocess.Popen(
            ["parec", "-d", sink + ".monitor", "--format=s16le", f"--rate={self.RATE}",
             "--channels=2", "--latency-msec=20"],
            stdout=open(raw_path, "wb"), stderr=subprocess.DEVNULL)
        # A freshly started null sink delivers its first audio late.
        wait_for("audio from the null sink's monitor", lambda: self.now() > 0.5, 10)

    def now(self):
        return os.path.getsize(self.raw_path) // self.FRAME / self.RATE

    def rms(self, start, end):
        """The level between two times, from 0 to 1; None if nothing was recorded."""
        first = max(0, int(start * self.RATE))
        with open(self.raw_path, "rb") as raw:
            raw.seek(first * self.FRAME)
            data = raw.read(max(0, int(end * self.RATE) - first) * self.FRAME)
        values = array.array("h", data[: len(data) - len(data) % 2])
        return math.sqrt(sum(v * v for v in values) / len(values)) / 32768 if values else None

    def sounding(self):
        """Sound in the last 0.2 s."""
        return (self.rms(self.now() - 0.2, self.now()) or 0) > self.LEVEL

    def silent(self, start, end):
        return self.rms(start, end) == 0


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


def children(acc):
    return [c for c in map(acc.get_child_at_index, range(acc.get_child_count())) if c is not None]


def controls(window, role=None):
    """The controls of a window in the tree's order (the items of lists left out),
    of this role if given."""
    found = [d for c in children(window) for d in [c] + (controls(c) if c.get_role_name() != "combo box" else [])]
    return [c for c in found if role in (None, c.get_role_name())]


def text_of(acc):
    """What a screen reader reads as the object's text."""
    return Atspi.Text.get_text(acc, 0, Atspi.Text.get_character_count(acc))


def has(acc, state):
    return acc.get_state_set().contains(getattr(Atspi.StateType, state))


def seconds_of(text):
    return sum(int(part) * unit for part, unit in zip(text.split(":"), (3600, 60, 1)))


class Road:
    """The alarm road, as a user with a keyboard and a screen reader takes it."""

    def __init__(self, recorder, start, wave_length):
        self.rec, self.start, self.wave_length, self.program = recorder, start, wave_length, start()

    def window(self, title):
        return wait_for(f"window {title!r} in the accessibility tree", lambda: next(
            (w for w in children(self.app) if w.get_name() == title and has(w, "SHOWING")), None), 10)

    def mapped(self, title, timeout=10):
        """Waits for the window to be mapped; checks its frame, its taskbar entry
        and what a screen reader finds in it."""
        xid = wait_window(title, timeout=timeout)
        window, (role, *twips) = self.window(title), WINDOWS[title]
        check(window.get_role_name() == role, f"{title!r} is a {window.get_role_name()}")
        hints = run(["xprop", "-id", xid, "WM_NORMAL_HINTS", "_MOTIF_WM_HINTS", "_NET_WM_STATE"])
        size = "size: {} by {}".format(*(round(t / 15) for t in twips))
        # "minimum size: W by H" and "maximum size: W by H", the same.
        check(hints.count(f"imum {size}\n") == 2, f"{title!r} is not fixed at {size}: {hints}")
        check(f"_MOTIF_WM_HINTS) = {FRAME}\n" in hints, f"{title!r} has another frame: {hints}")
        states = set(re.findall(r"_NET_WM_STATE_\w+", hints))
        check(states & SKIP == (SKIP if role == "dialog" else set()), f"{title!r} has {states}")
        return window, xid

    def focus(self, title, name, *moves, then=()):
        """Presses the moves in the window (which must be the active one), waits
        for the focus on the control with this name, then presses the keys `then`."""
        window = self.window(title)
        wait_for(f"{title!r} the active window", lambda: has(window, "ACTIVE"), 2)
        keys(*moves)
        wait_for(f"focus on {name!r} in {title!r} after {list(moves)}", lambda: any(
            c.get_name() == name and has(c, "FOCUSED") for c in controls(window)))
        keys(*then)

    def press(self, title, name, *moves, closes=False, key="space"):
        """Space (or Return, or the keypad's Enter) on the button; if it closes its
        window, waits for the window to go."""
        self.focus(title, name, *moves, then=[key])
        if closes:
            wait_window(title, shown=False)

    def announced(self, pattern, timeout=3):
        """Waits for a label whose text reads `pattern` to announce a change of it to
        a screen reader (an event, not only a new text when asked)."""
        heard = []
        listener = Atspi.EventListener.new(lambda event: heard.append(event.source))
        listener.register("object:text-changed:insert")
        def announcing():
            GLib.MainContext.default().iteration(False)  # delivers the events
            return any(a.get_role_name() == "label" and re.fullmatch(pattern, text_of(a)) for a in heard)
        try:
            wait_for(f"a label announcing {pattern}", announcing, timeout)
        finally:
            listener.deregister("object:text-changed:insert")

    def clock(self):
        """The program's own time, as Label2 reads to a screen reader."""
        return seconds_of(text_of(self.label2))

    def answer(self, off, result):
        """Reads the two numbers of the quiz (left to right, as a screen reader
        does), types their sum plus `off` and presses OK; the result window comes;
        returns its id."""
        values = [int(text_of(c)) for c in controls(self.quiz, "label") if re.fullmatch(r"\d\d", c.get_name())]
        text = str(sum(values) + off)  # two numbers, or the sum is wrong
        self.focus(QUIZ, "答え", "Tab", "Tab", then=["ctrl+a", "BackSpace"])
        run(["xdotool", "type", "--clearmodifiers", "--delay", "40", text])
        self.press(QUIZ, "OK", "shift+Tab", "shift+Tab", closes=not off)  # the right sum ends the quiz
        return self.mapped(result)[1]

    def run(self):
        with step("start at a faked clock: main window with both icon sizes, focus on CLOSE"):
            self.app = wait_for("the program on the accessibility bus", lambda: next(
                (a for a in children(Atspi.get_desktop(0)) if a.get_name() == "zelmoro"), None), 20)
            self.app.set_cache_mask(Atspi.Cache.NONE)
            main, main_xid = self.mapped(MAIN, 20)
            # Label2 is the one label showing a time; Label3 shows "None" until an alarm is set.
            label = lambda name: wait_for(f"label {name}", lambda: [  # noqa: E731
                c for c in controls(main, "label") if re.fullmatch(name, c.get_name())])
            (self.label2,), (label3,) = label(r"\d+:\d\d:\d\d"), label("None")
            self.announced(r"\d+:\d\d:\d\d")  # the time, each second
            icons = run(["xprop", "-id", main_xid, "_NET_WM_ICON"])
            check(sorted(re.findall(r"Icon \((\d+) x", icons)) == ["16", "32"], "not both icon sizes")
            self.focus(MAIN, "CLOSE", then=["alt+F4"])  # which closes nothing
            time.sleep(0.5)
            check(visible_windows(MAIN) == [main_xid], "Alt+F4 closed the main window")
        with step("Tab, Tab, Space: Wave Test plays belora.wav once, to its end"):
            pressed = self.rec.now()
            self.press(MAIN, "Wave Test", "Tab", "Tab")
            wait_for("the chime's end and a second", lambda: self.rec.now() > pressed + self.wave_length + 1.5, 10)
            sounded = [t / 50 for t in range(int(pressed * 50), int(self.rec.now() * 50))
                       if not self.rec.silent(t / 50, t / 50 + 0.02)]
            # Once: sound for just the chime's length, then silence to the end of the wait.
            check(sounded and abs(sounded[-1] + 0.02 - sounded[0] - self.wave_length) < 0.3,
                  f"Wave Test sounded from {sounded[:1]} to {sounded[-1:]}, not once")
        with step("Shift+Tab, keypad Enter: Alarm-SET, the dialog; the alarm second by keyboard, SET; Label3 shows it"):
            # Early enough in a minute that the alarm second is in the same minute.
            wait_for("a second early in a minute", lambda: self.clock() % 60 < 45, 20)
            self.press(MAIN, "Alarm-SET", "shift+Tab", key="KP_Enter")
            # Hour, minute and second, left to right on the screen (coordinate type 0).
            lists = sorted(controls(self.mapped(DIALOG)[0], "combo box"), key=lambda c: c.get_extents(0).x)
            target = seconds_of(":".join(c.get_name() for c in lists)) + LEAD
            alarm = f"{target // 3600 % 24}:{target // 60 % 60:02d}:{target % 60:02d}"
            # The hour list has the focus when the dialog opens; Tab goes on to the
            # seconds list, where the alarm is LEAD seconds on.
            keys("Tab", "Tab", *["Down"] * LEAD)
            wait_for(f"lists showing {alarm}", lambda: ":".join(c.get_name() for c in lists) == alarm)
            self.press(DIALOG, "SET", "Tab", closes=True)
            wait_for(f"Label3 reading {alarm}", lambda: label3.get_name() == alarm == text_of(label3))
            check(self.rec.silent(sounded[-1] + 0.1, self.rec.now()), "sound before the alarm second")
        with step("the alarm second: notice mapped, sink sounding; Return on OK hides the notice"):
            self.mapped(NOTICE, target - self.clock() + 5)
            check(self.clock() - target in (0, 1), f"notice at {self.label2.get_name()}: not the alarm second")
            wait_for("sound on the null sink", self.rec.sounding)
            # OK within the alarm second would be undone by the next tick of that second.
            wait_for("the alarm second to pass", lambda: self.clock() > target, 3)
            self.press(NOTICE, "OK", closes=True, key="Return")
        with step("Shift+Tab, Space: CLOSE opens the quiz; a wrong sum, keypad Enter on One More; the right sum"):
            self.press(MAIN, "CLOSE", "shift+Tab")
            self.quiz = self.mapped(QUIZ)[0]
            self.answer(1, WRONG)
            self.press(WRONG, "One More", closes=True, key="KP_Enter")
            # The quiz was loaded seconds ago: its 30-second redraw has not come yet.
            right_xid = self.answer(0, RIGHT)
        with step("a second start exits 0 and brings the main window forward"):
            check(self.start(wait=10).returncode == 0, "the second copy did not end with status 0")
            wait_for("the main window active", lambda: run(["xdotool", "getactivewindow"]).strip() == main_xid)
            run(["xdotool", "windowactivate", "--sync", right_xid])
        with step("Wave Stop (the alarm still sounding): exit status 0, silence"):
            check(self.rec.sounding(), "no alarm sound before Wave Stop")
            self.press(RIGHT, "Wave Stop")
            check(self.program.wait(10) == 0, f"exit status {self.program.returncode}")
            end = self.rec.now()
            wait_for("a second of silence", lambda: self.rec.now() > end + 1.5, 10)
            check(self.rec.silent(end + 0.5, end + 1.5), "the sound outlived the program")
        with step("a new start, ended by the session's SIGTERM: status 0 at once"):
            self.program = self.start()
            wait_window(MAIN)
            self.program.terminate()  # SIGTERM
            check(self.program.wait(1) == 0, f"exit status {self.program.returncode}")


def starter(binary, work, artifacts):
    """Starts the program as the session would (in its own home, a folder with no
    sound file in it) under the faked clock. Waiting, it runs to its end (killed
    after `wait` seconds); else it is left running."""
    home = os.path.join(work, "home")
    os.makedirs(home)
    kept = ("PATH", "DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "PULSE_SERVER", "XDG_RUNTIME_DIR")
    env = dict({key: os.environ[key] for key in kept}, HOME=home, LANG="C.UTF-8", LD_PRELOAD=FAKETIME[0],
               FAKETIME="@" + FAKE_START, FAKETIME_DONT_FAKE_MONOTONIC="1")
    log = open(os.path.join(artifacts, "zelmoro.log"), "w")
    return lambda wait=None: (subprocess.run if wait else subprocess.Popen)(
        [binary], cwd=home, env=env, stdout=log, stderr=log, **({"timeout": wait} if wait else {}))


def main(cmake, build_dir, source_dir, artifacts):
    missing = missing_tools(others=["python3-gi"] * (not Atspi) + ["libfaketime"] * (not FAKETIME))
    if missing:
        print(f"SKIP: the private desktop needs what is not installed: {', '.join(missing)}")
        return 77
    artifacts, work = os.path.abspath(artifacts), tempfile.mkdtemp(prefix="zelmoro-e2e-")
    os.makedirs(artifacts, exist_ok=True)
    try:
        with contextlib.ExitStack() as cleanup:  # undone in reverse order, whatever happens
            cleanup.callback(shutil.rmtree, work, ignore_errors=True)
            with step("install into a temporary prefix; --version with no display"):
                prefix = f"{work}/prefix"
                run([cmake, "--install", os.path.abspath(build_dir), "--prefix", prefix])
                no_display = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
                output = run([f"{prefix}/bin/zelmoro", "--version"], env=no_display)
                check(re.fullmatch(r"zelmoro \d+\.\d+\n", output), f"--version without a display: {output!r}")
                wave_length = float(run(["soxi", "-D", f"{prefix}/share/zelmoro/belora.wav"]))
            with step("start the private desktop and record its null sink"):
                session = [os.path.join(source_dir, "scripts", "session.sh"), "stop", f"{work}/session"]
                cleanup.callback(subprocess.run, session, check=False)
                start_session(os.path.abspath(source_dir), f"{work}/session")
                Atspi.init()  # connects to this session's accessibility bus
                recorder = Recorder(os.environ["ZELMORO_TEST_SINK"], f"{artifacts}/recording.raw")
                cleanup.callback(recorder.process.terminate)
                road = Road(recorder, starter(f"{prefix}/bin/zelmoro", work, artifacts), wave_length)
                cleanup.callback(lambda: road.program.kill() or road.program.wait())  # if it still runs
            road.run()
        return 0
    except StepFailed as failure:
        print(f"\nFAILED {failure}\n  recording and program output: {artifacts}", file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
