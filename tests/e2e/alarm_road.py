#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The road of one alarm: the installed clock in a private desktop session (the one
scripts/session.sh starts, plus the accessibility bus) under a faked wall clock,
driven by key presses, read through the accessibility tree (as a screen reader
reads it), the X server and the sound server. The sound recording (raw 16-bit
stereo at 44.1 kHz) and the program's output go to ARTIFACTS.

  alarm_road.py CMAKE BUILD_DIR SOURCE_DIR ARTIFACTS"""

import array, contextlib, glob, os, re, shutil, subprocess, sys, tempfile, time  # noqa: E401

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
SKIP = {"_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER"}
# Each window's client area in twips (15 to a pixel), and whether it has a taskbar entry.
WINDOWS = {MAIN: (4128, 6816, True), DIALOG: (3744, 1356, False), NOTICE: (3168, 1488, True),
           "本当に起きてるの??": (2844, 1392, True), "正解です": (3936, 1476, False)}
TIME = r"\d+:\d\d:\d\d"
TOOLS = ("Xvfb", "openbox", "dbus-daemon", "pulseaudio", "parec", "sox", "xdotool", "xprop",
         "/usr/libexec/at-spi-bus-launcher")


class StepFailed(Exception): pass  # noqa: E701


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
    return [] if os.environ.get("ZELMORO_REQUIRE_DESKTOP") == "1" else \
        [tool for tool in tools if not shutil.which(tool)] + list(others)


def wait_for(what, predicate, timeout=5):
    """Polls until predicate() returns something true and returns it."""
    deadline = time.monotonic() + timeout
    while not (value := predicate()):
        check(time.monotonic() < deadline, f"no {what} within {timeout:.1f} s")
        time.sleep(0.05)
    return value


def run(args, timeout=30, env=None):
    try:
        return subprocess.run(args, check=True, capture_output=True, text=True, timeout=timeout,
                              env=env).stdout
    except (subprocess.CalledProcessError, subprocess.TimeoutExpired) as error:
        raise StepFailed(f"{' '.join(args)} failed: {error.stderr or 'timed out'}") from error


def desktop_test(body, others=(), note=""):
    """The test's status: 77 without the desktop's tools, 1 when a step of body() fails."""
    if missing := missing_tools(others=others):
        print(f"SKIP: the private desktop needs what is not installed: {', '.join(missing)}")
        return 77
    try:
        return body() or 0
    except StepFailed as failure:
        print(f"\nFAILED {failure}{note}", file=sys.stderr)
        return 1


def install(cmake, build_dir, work):
    run([cmake, "--install", os.path.abspath(build_dir), "--prefix", f"{work}/prefix"])
    return f"{work}/prefix/bin/zelmoro"


def start_session(source_dir, directory, cleanup):
    """Starts the private desktop (scripts/session.sh) under directory, to be stopped by
    cleanup; everything this script starts from then on lives in it."""
    script = os.path.join(os.path.abspath(source_dir), "scripts", "session.sh")
    cleanup.callback(subprocess.run, [script, "stop", directory])
    run([script, "start", directory])
    with open(os.path.join(directory, "env"), encoding="utf-8") as env:
        found = re.findall(r"export (\w+)=(.*)", env.read())
    os.environ.update({k: v.strip("'\"") for k, v in found})
    for name in ("QT_QPA_PLATFORM", "AT_SPI_BUS_ADDRESS"):
        os.environ.pop(name, None)
    # The session bus starts the accessibility bus on demand, as in a desktop
    # session; switched on as a screen reader does (org.a11y.Status).
    for prop in ("IsEnabled", "ScreenReaderEnabled"):
        run(["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
             "org.freedesktop.DBus.Properties.Set", "string:org.a11y.Status", f"string:{prop}",
             "variant:boolean:true"])
    wait_for("window manager", lambda: "window id" in run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"]))


def record(sink, path):
    """Records the null sink's monitor (raw 16-bit stereo at 44.1 kHz) into path; returns
    loud(seconds): the loudest sample of the recording's last seconds, from 0 to 1."""
    subprocess.Popen(["parec", "-d", sink + ".monitor", "--format=s16le", "--rate=44100",
                      "--channels=2", "--latency-msec=20"], stdout=open(path, "wb"))

    def loud(seconds):
        with open(path, "rb") as raw:
            raw.seek(max(0, os.path.getsize(path) // 4 * 4 - int(seconds * 44100) * 4))
            data = raw.read(int(seconds * 44100) * 4)
        return max(map(abs, array.array("h", data[: len(data) // 2 * 2])), default=0) / 32768
    # A freshly started null sink delivers its first audio late.
    wait_for("audio from the null sink's monitor", lambda: os.path.getsize(path) > 88200, 10)
    return loud


def window_id(title, shown=True, timeout=10):
    """Waits for the window with exactly this title to be mapped (and returns its id) or to go."""
    def ids():  # xdotool fails when it finds none
        return subprocess.run(["xdotool", "search", "--onlyvisible", "--name", f"^{re.escape(title)}$"],
                              capture_output=True, text=True).stdout.split()
    return wait_for(f"window {title!r} {'mapped' if shown else 'gone'}",
                    lambda: (ids() or [None])[0] if shown else not ids(), timeout)


def keys(*names):
    return names and run(["xdotool", "key", "--clearmodifiers", "--delay", "40", *names])


def children(acc):
    return [c for c in map(acc.get_child_at_index, range(acc.get_child_count())) if c is not None]


def controls(window, role=None):
    """The controls of a window in the tree's order (the items of lists left out),
    of this role if given."""
    found = [d for c in children(window)
             for d in [c] + (controls(c) if c.get_role_name() != "combo box" else [])]
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

    def __init__(self, loud, program, wave_length):
        self.loud, self.program, self.wave_length = loud, program, wave_length

    def mapped(self, title, timeout=10):
        """Waits for the window to be mapped; checks that its size is fixed and which
        windows have a taskbar entry; returns it as a screen reader finds it, and its id."""
        xid, (width, height, listed) = window_id(title, timeout=timeout), WINDOWS[title]
        hints = run(["xprop", "-id", xid, "WM_NORMAL_HINTS", "_NET_WM_STATE"])
        size = f"size: {round(width / 15)} by {round(height / 15)}"
        # "minimum size: W by H" and "maximum size: W by H", the same.
        check(hints.count(f"imum {size}\n") == 2, f"{title!r} is not fixed at {size}: {hints}")
        states = set(re.findall(r"_NET_WM_STATE_\w+", hints)) & SKIP
        check(states == (set() if listed else SKIP), f"{title!r} has {states}")
        return wait_for(f"window {title!r} in the accessibility tree", lambda: [
            w for w in children(self.app) if w.get_name() == title and has(w, "SHOWING")])[0], xid

    def press(self, title, name, *moves, key="space", closes=False):
        """Presses the moves in the window (which must be the active one), waits for
        the focus on the control with this name, then presses `key` (or the keys of a
        list); if closes, waits for the window to go."""
        window = self.mapped(title)[0]
        wait_for(f"{title!r} the active window", lambda: has(window, "ACTIVE"), 2)
        keys(*moves)
        wait_for(f"focus on {name!r} in {title!r} after {list(moves)}", lambda: any(
            c.get_name() == name and has(c, "FOCUSED") for c in controls(window)))
        keys(*([key] if isinstance(key, str) else key))
        if closes:
            window_id(title, shown=False)

    def announced(self, pattern):
        """Waits for a label whose text reads `pattern` to announce a change of it to
        a screen reader (an event, not only a new text when asked)."""
        heard = []
        listener = Atspi.EventListener.new(lambda event: heard.append(event.source))
        listener.register("object:text-changed:insert")

        def announcing():
            GLib.MainContext.default().iteration(False)  # delivers the events
            return any(a.get_role_name() == "label" and re.fullmatch(pattern, text_of(a))
                       for a in heard)
        try:
            wait_for(f"a label announcing {pattern}", announcing, 3)
        finally:
            listener.deregister("object:text-changed:insert")

    def run(self):
        with step("start at a faked clock: main window with both icon sizes, focus on CLOSE"):
            self.app = wait_for("the program on the accessibility bus", lambda: next(
                (a for a in children(Atspi.get_desktop(0)) if a.get_name() == "zelmoro"), None), 20)
            self.app.set_cache_mask(Atspi.Cache.NONE)
            main, main_xid = self.mapped(MAIN, 20)
            # Label2 is the one label showing a time.
            label2 = wait_for("Label2", lambda: [c for c in controls(main, "label")
                                                 if re.fullmatch(TIME, c.get_name())])[0]
            self.announced(TIME)  # the time, each second
            icons = run(["xprop", "-id", main_xid, "_NET_WM_ICON"])
            check(sorted(re.findall(r"Icon \((\d+) x", icons)) == ["16", "32"], "not both icon sizes")
            self.press(MAIN, "CLOSE", key="alt+F4")  # which closes nothing
            time.sleep(0.5)
            check(window_id(MAIN) == main_xid, "Alt+F4 closed the main window")
        with step("Tab, Tab, Space: Wave Test plays belora.wav once, to its end"):
            self.press(MAIN, "Wave Test", "Tab", "Tab")
            time.sleep(self.wave_length / 2)
            check(self.loud(0.2) > 0.005, "Wave Test is silent")
            time.sleep(self.wave_length / 2 + 1.5)
            check(not self.loud(1), "Wave Test sounds on after the chime's end")
        with step("Shift+Tab, keypad Enter: Alarm-SET; the alarm second by keyboard, SET"):
            # Early enough in a minute that the alarm second is in the same minute.
            wait_for("a second early in a minute", lambda: seconds_of(text_of(label2)) % 60 < 45, 20)
            self.press(MAIN, "Alarm-SET", "shift+Tab", key="KP_Enter")
            # Hour, minute and second, left to right on the screen (coordinate type 0).
            lists = sorted(controls(self.mapped(DIALOG)[0], "combo box"),
                           key=lambda c: c.get_extents(0).x)
            target = seconds_of(":".join(c.get_name() for c in lists)) + LEAD
            alarm = f"{target // 3600 % 24}:{target // 60 % 60:02d}:{target % 60:02d}"
            # The hour list has the focus; Tab goes on to the seconds list, LEAD seconds on.
            keys("Tab", "Tab", *["Down"] * LEAD)
            wait_for(f"lists at {alarm}", lambda: ":".join(c.get_name() for c in lists) == alarm)
            self.press(DIALOG, "SET", "Tab", closes=True)
        with step("the alarm second: the notice and sound; Return on OK hides the notice"):
            window_id(NOTICE, timeout=LEAD + 5)
            wait_for("sound on the null sink", lambda: self.loud(0.2) > 0.005)
            # OK within the alarm second would be undone by the next tick of that second.
            wait_for("the alarm second to pass", lambda: seconds_of(text_of(label2)) > target, 3)
            self.press(NOTICE, "OK", key="Return", closes=True)
        with step("Shift+Tab, Space: CLOSE opens the quiz; the right sum ends it"):
            self.press(MAIN, "CLOSE", "shift+Tab")
            quiz = self.mapped("本当に起きてるの??")[0]
            # The two numbers, left to right, as a screen reader reads them.
            values = [int(text_of(c)) for c in controls(quiz, "label") if c.get_name().isdigit()]
            self.press(quiz.get_name(), "答え", "Tab", "Tab", key=["ctrl+a", "BackSpace"])
            run(["xdotool", "type", "--clearmodifiers", "--delay", "40", str(sum(values))])
            self.press(quiz.get_name(), "OK", "shift+Tab", "shift+Tab", closes=True)
            self.mapped("正解です")
        with step("the session's SIGTERM, the alarm still sounding: status 0 at once, silence"):
            check(self.loud(0.2) > 0.005, "no alarm sound before the end")
            self.program.terminate()
            check(self.program.wait(1) == 0, f"exit status {self.program.returncode}")
            time.sleep(1.5)
            check(not self.loud(1), "the sound outlived the program")


def main(cmake, build_dir, source_dir, artifacts):
    artifacts, work = os.path.abspath(artifacts), tempfile.mkdtemp(prefix="zelmoro-e2e-")

    def road():
        os.makedirs(f"{work}/home")
        os.makedirs(artifacts, exist_ok=True)
        with contextlib.ExitStack() as cleanup:  # undone in reverse order, whatever happens
            cleanup.callback(shutil.rmtree, work, ignore_errors=True)
            with step("install into a temporary prefix; --version with no display"):
                binary = install(cmake, build_dir, work)
                env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
                output = run([binary, "--version"], env=env)
                check(re.fullmatch(r"zelmoro \d+\.\d+\n", output), f"--version said {output!r}")
                wave_length = float(run(["soxi", "-D", f"{work}/prefix/share/zelmoro/belora.wav"]))
            with step("start the private desktop and record its null sink"):
                start_session(source_dir, f"{work}/session", cleanup)
                Atspi.init()  # connects to this session's accessibility bus
                loud = record(os.environ["ZELMORO_TEST_SINK"], f"{artifacts}/recording.raw")
                # As the session starts it: in its own home with no sound file, under the faked clock.
                kept = ("PATH", "DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "PULSE_SERVER", "XDG_RUNTIME_DIR")
                env = dict({k: os.environ[k] for k in kept}, HOME=f"{work}/home", LANG="C.UTF-8",
                           LD_PRELOAD=FAKETIME[0], FAKETIME="@" + FAKE_START,
                           FAKETIME_DONT_FAKE_MONOTONIC="1")
                log = open(os.path.join(artifacts, "zelmoro.log"), "w")
                program = subprocess.Popen([binary], cwd=env["HOME"], env=env, stdout=log, stderr=log)
                cleanup.callback(lambda: program.kill() or program.wait())  # if it still runs
            Road(loud, program, wave_length).run()
    return desktop_test(road, ["python3-gi"] * (not Atspi) + ["libfaketime"] * (not FAKETIME),
                        f"\n  recording and program output: {artifacts}")


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
