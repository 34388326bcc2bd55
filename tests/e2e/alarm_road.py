#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The road of one alarm: the installed clock in a private desktop session under a
faked wall clock, driven by key presses, read through the accessibility tree (as a
screen reader reads it), the X server and the sound server. Screenshots, the sound
recording and the program's output go to ARTIFACTS.

  alarm_road.py CMAKE BUILD_DIR SOURCE_DIR ARTIFACTS"""

import contextlib
import glob
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # leave the source tree as it is
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import desktop  # noqa: E402
from desktop import StepFailed  # noqa: E402

try:  # the AT-SPI client library, from python3-pyatspi's dependencies
    import gi
    gi.require_version("Atspi", "2.0")
    from gi.repository import Atspi, GLib
except (ImportError, ValueError):
    Atspi = None

FAKE_START = "2024-01-15 06:59:54"  # a few seconds before a whole minute
LEAD = 6  # seconds between opening the dialog and the alarm second picked in it
MAIN, DIALOG, NOTICE = "Zelmoro", "Alarm - Set", "時間ですよ～"
QUIZ, RIGHT, WRONG = "本当に起きてるの??", "正解です", "間違えています"
FRAME = "0x3, 0x4, 0xa, 0x0, 0x0"  # Motif hints: title and border, movable, no buttons
SKIP = {"_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER"}

# What each window is: its role for a screen reader (a window with a taskbar
# entry is a frame, the small ones without are dialogs), its client area in
# twips (15 to a pixel), its buttons with their descriptions (the tooltips),
# and labels whose text reads as their name.
WINDOWS = {
    MAIN: ("main", "frame", (4128, 6816), {"Wave Test": "音が鳴るかテストします",
           "CLOSE": "終了します", "Alarm-SET": "アラームのなる時間をＳＥＴします"},
           ["Now", "Alarm", "None"]),
    DIALOG: ("dialog", "dialog", (3744, 1356), {"SET": "", "Cancel": ""}, ["時", "分", "秒"]),
    NOTICE: ("notice", "frame", (3168, 1488), {"OK": ""}, ["起きろ～"]),
    QUIZ: ("quiz", "frame", (2844, 1392), {"OK": "", "CANCEL": ""}, ["+", "="]),
    RIGHT: ("right", "dialog", (3936, 1476), {"Wave Stop": ""}, ["おはようございます"]),
    WRONG: ("wrong", "dialog", (3912, 1452), {"One More": ""}, ["あなたの脳は未だ寝てます"]),
}


@contextlib.contextmanager
def step(name):
    start = time.monotonic()
    print(f"== {name}", flush=True)
    try:
        yield
    except Exception as error:
        raise StepFailed(f"in step \"{name}\": {error!r}") from error
    print(f"   ({time.monotonic() - start:.2f} s)", flush=True)


def pump(seconds):
    """Lets time pass while the accessibility events are taken in."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        while GLib.MainContext.default().iteration(False):
            pass
        time.sleep(0.01)


def controls(window):
    """The controls of a window in the tree's order (the items of lists left out)."""
    found = []
    for child in filter(None, map(window.get_child_at_index, range(window.get_child_count()))):
        found += [child] + (controls(child) if child.get_role() != Atspi.Role.COMBO_BOX else [])
    return found


def find(window, role, name):
    for control in controls(window):
        if control.get_role() == role and control.get_name() == name:
            return control
    held = ", ".join(f"{c.get_role_name()} {c.get_name()!r}" for c in controls(window))
    raise StepFailed(f"no {role.value_nick} {name!r} in {window.get_name()!r}; it holds {held}")


def text_of(acc):
    """What a screen reader reads as the object's text."""
    if "Text" not in acc.get_interfaces():
        raise StepFailed(f"{acc.get_role_name()} {acc.get_name()!r} has no readable text")
    return Atspi.Text.get_text(acc, 0, Atspi.Text.get_character_count(acc))


def child_named(parent, name):
    return next((c for c in map(parent.get_child_at_index, range(parent.get_child_count()))
                 if c is not None and c.get_name() == name), None)


def labels_of(acc):
    return [relation.get_target(i).get_name() for relation in acc.get_relation_set()
            if relation.get_relation_type() == Atspi.RelationType.LABELLED_BY
            for i in range(relation.get_n_targets())]


def left_to_right(found):
    return sorted(found, key=lambda c: c.get_extents(Atspi.CoordType.SCREEN).x)


def seconds_of(text):
    return sum(int(part) * unit for part, unit in zip(text.split(":"), (3600, 60, 1)))


def time_text(seconds):
    return f"{seconds // 3600 % 24}:{seconds // 60 % 60:02d}:{seconds % 60:02d}"


def list_keys(current, wanted, size):
    """The shortest keys that move a closed drop-down list from one entry to another."""
    step_keys = ["Down"] * (wanted - current) if wanted >= current else ["Up"] * (current - wanted)
    return min(step_keys, ["Home"] + ["Down"] * wanted, ["End"] + ["Up"] * (size - 1 - wanted),
               key=len)


def check(fact, message):
    if not fact:
        raise StepFailed(message)


class Road:
    """The steps of the alarm road, as a user with a keyboard and a screen reader takes them."""

    def __init__(self, recorder, start, artifacts, wave_length):
        self.rec, self.start, self.artifacts = recorder, start, artifacts
        self.program, self.wave_length, self.shots, self.ending = start(), wave_length, 0, False
        self.inserted = []  # the texts announced as inserted
        self.listener = Atspi.EventListener.new(lambda event: self.inserted.append(event.any_data))
        self.listener.register("object:text-changed:insert")

    def run(self):
        for name, action in (
                (f"start at a faked {FAKE_START}: main window, focus on CLOSE", self.main_window),
                ("Alt+F4 closes nothing", self.alt_f4),
                ("Wave Test plays belora.wav once, to its end", self.wave_test),
                ("Shift+Tab to Alarm-SET, Space opens the dialog", self.open_dialog),
                ("pick the alarm second with the keyboard, SET; Label3 shows it", self.pick_alarm),
                ("the alarm second: notice mapped, sink sounding", self.alarm_comes),
                ("OK hides the notice; the sound goes on for 3 lengths of belora.wav", self.notice_ok),
                ("CLOSE opens the quiz; the numbers read through AT-SPI", self.open_quiz),
                ("a second start: it exits 0, the main window comes forward", self.second_start),
                ("a wrong sum: wrong-answer window, One More",
                 lambda: self.wrong_answer(str(sum(self.numbers()) + 1))),
                ("a non-number: program alive, wrong-answer window, One More",
                 lambda: self.wrong_answer("abc")),
                ("the right sum: correct-answer window", self.right_answer),
                ("Wave Stop: exit status 0, the recording goes silent", self.wave_stop),
                ("a new start, Wave Test, the session's SIGTERM: ends at once", self.terminate)):
            with step(name):
                action()

    def wait(self, what, predicate, timeout=5):
        def checked():
            check(self.ending or self.program.poll() is None,
                  f"the program ended with status {self.program.returncode}")
            return predicate()
        return desktop.wait_for(what, checked, timeout, idle=pump)

    def shot(self, name):
        self.shots += 1
        desktop.screenshot(os.path.join(self.artifacts, f"{self.shots:02d}-{name}.png"))

    def window(self, title):
        return self.wait(f"window {title!r} in the accessibility tree", lambda: (
            w := child_named(self.app, title)) and w.get_state_set().contains(
                Atspi.StateType.SHOWING) and w, 10)

    def mapped(self, title, timeout=10):
        """Waits for the window to be mapped; checks its frame, its taskbar entry
        and what a screen reader finds in it."""
        xid = desktop.wait_window(title, timeout=timeout, idle=pump)
        window = self.window(title)
        shot, role, twips, buttons, labels = WINDOWS[title]
        check(window.get_role_name() == role, f"{title!r} is a {window.get_role_name()}")
        fixed, motif, states = desktop.properties(xid)
        size = tuple(round(t / 15) for t in twips)
        check(fixed == size, f"{title!r} is not fixed at {size} pixels: {fixed}")
        check(motif == FRAME, f"{title!r} asks for the frame {motif}, not {FRAME}")
        check(states & SKIP == (SKIP if role == "dialog" else set()), f"{title!r} has {states}")
        for name, description in buttons.items():
            check(find(window, Atspi.Role.PUSH_BUTTON, name).get_description() == description,
                  f"button {name!r} is not described as {description!r}")
        for name in labels:
            check(text_of(find(window, Atspi.Role.LABEL, name)) == name,
                  f"label {name!r} reads otherwise")
        self.shot(shot)
        return window, xid

    def focus(self, title, name, *moves):
        """Presses the moves in the window (which must be the active one) and waits
        for the focus on the control with this name."""
        window = self.window(title)
        check(window.get_state_set().contains(Atspi.StateType.ACTIVE), f"{title!r} is not active")
        if moves:
            desktop.keys(*moves)
        self.wait(f"focus on {name!r} in {title!r} after {list(moves)}", lambda: any(
            c.get_name() == name and c.get_state_set().contains(Atspi.StateType.FOCUSED)
            for c in controls(window)))

    def press(self, title, name, *moves):
        """Space on the button with this name, reached with the moves."""
        self.focus(title, name, *moves)
        desktop.keys("space")

    def clock(self):
        """The program's own time, as Label2 shows it."""
        return seconds_of(self.label2.get_name())

    def sound_span(self, start, end):
        """First and last moments of sound between two times, in 20 ms steps."""
        sounded = [t / 50 for t in range(int(start * 50), int(end * 50))
                   if not self.rec.silent(t / 50, t / 50 + 0.02)]
        return (sounded[0], sounded[-1] + 0.02) if sounded else (None, None)

    def main_window(self):
        self.app = self.wait("the program on the accessibility bus",
                             lambda: child_named(Atspi.get_desktop(0), "zelmoro"), 20)
        self.app.set_cache_mask(Atspi.Cache.NONE)
        self.main, self.main_xid = self.mapped(MAIN, 20)
        times = [c for c in controls(self.main)  # Label2 is the one label showing a time
                 if c.get_role() == Atspi.Role.LABEL and re.fullmatch(r"\d{1,2}:\d\d:\d\d", c.get_name())]
        check(len(times) == 1 and text_of(times[0]) == times[0].get_name(),
              f"no one time display (Label2) readable: {times}")
        self.label2, self.label3 = times[0], find(self.main, Atspi.Role.LABEL, "None")
        print(f"   program clock at the first look: {self.label2.get_name()}")
        self.focus(MAIN, "CLOSE")

    def alt_f4(self):
        desktop.keys("alt+F4")
        pump(0.5)
        check(desktop.visible_windows(MAIN) == [self.main_xid], "Alt+F4 closed the main window")

    def wave_test(self):
        pressed = self.rec.now()
        self.press(MAIN, "Wave Test", "Tab", "Tab")
        self.wait("the chime and a second after it",
                  lambda: self.rec.now() > pressed + self.wave_length + 1.5, 10)
        first, last = self.sound_span(pressed, self.rec.now())
        check(first is not None and abs(last - first - self.wave_length) < 0.3,
              f"Wave Test sounded from {first} to {last} s, not {self.wave_length:.2f} s once")
        self.quiet_from = last

    def open_dialog(self):
        self.press(MAIN, "Alarm-SET", "shift+Tab")
        dialog, _ = self.mapped(DIALOG)
        self.lists = left_to_right(c for c in controls(dialog)
                                   if c.get_role() == Atspi.Role.COMBO_BOX)
        check([labels_of(c) for c in self.lists] == [["時"], ["分"], ["秒"]],
              f"the lists are labelled {[labels_of(c) for c in self.lists]}")

    def pick_alarm(self):
        opened = ":".join(c.get_name() for c in self.lists)
        self.target = seconds_of(opened) + LEAD
        print(f"   dialog preselected {opened}; alarm picked at {time_text(self.target)}")
        # The hour list has the focus when the dialog opens; Tab goes on to the next.
        wanted = time_text(self.target).split(":")
        for i, (combo, value, size) in enumerate(zip(self.lists, wanted, (24, 60, 60))):
            moves = ["Tab"] * (i > 0) + list_keys(int(combo.get_name()), int(value), size)
            if moves:
                desktop.keys(*moves)
            self.wait(f"list showing {value!r}", lambda: combo.get_name() == value)
        self.press(DIALOG, "SET", "Tab")
        desktop.wait_window(DIALOG, shown=False, idle=pump)
        alarm = time_text(self.target)
        self.wait("Label3 showing the alarm time", lambda: self.label3.get_name() == alarm)
        check(text_of(self.label3) == alarm, f"Label3 reads {text_of(self.label3)!r}")
        self.wait("Label3's new caption announced as a text change", lambda: alarm in self.inserted)
        check(self.clock() < self.target, f"the alarm came before SET took effect: {LEAD} s too short")
        check(self.rec.silent(self.quiet_from + 0.1, self.rec.now()), "sound before the alarm second")
        self.shot("alarm-set")

    def alarm_comes(self):
        self.mapped(NOTICE, self.target - self.clock() + 5)
        shown_at = self.clock()
        check(shown_at in (self.target, self.target + 1),
              f"notice mapped at {time_text(shown_at)}, not in the alarm second")
        self.wait("sound on the null sink",
                  lambda: self.rec.sounding(self.rec.now() - 0.2, self.rec.now()))

    def notice_ok(self):
        # OK within the alarm second would be undone by the next tick of that second.
        self.wait("the alarm second to pass", lambda: self.clock() > self.target, 3)
        self.press(NOTICE, "OK")
        desktop.wait_window(NOTICE, shown=False, idle=pump)
        start, span = self.rec.now(), 3 * self.wave_length
        self.wait(f"{span:.1f} s of recording after OK",
                  lambda: self.rec.now() >= start + span + 0.3, span + 10)
        quiet = [t / 4 for t in range(int(span * 4))
                 if not self.rec.sounding(start + t / 4, start + t / 4 + 0.25)]
        check(not quiet and not desktop.visible_windows(NOTICE),
              f"after OK the sound paused at {quiet} s or the notice came back")

    def open_quiz(self):
        self.press(MAIN, "CLOSE", "shift+Tab")
        self.quiz, self.quiz_xid = self.mapped(QUIZ)
        self.focus(QUIZ, "OK")
        print("   quiz shows {} + {}".format(*self.numbers()))

    def second_start(self):
        second = self.start()
        try:
            check(second.wait(10) == 0, f"the second copy ended with status {second.returncode}")
        except subprocess.TimeoutExpired:
            second.kill()
            raise StepFailed("a second copy still runs after 10 s") from None
        self.wait("the main window active", lambda: desktop.run(
            ["xdotool", "getactivewindow"]).strip() == self.main_xid)
        desktop.run(["xdotool", "windowactivate", "--sync", self.quiz_xid])
        self.wait("the quiz active again", lambda: self.quiz.get_state_set().contains(
            Atspi.StateType.ACTIVE))

    def numbers(self):
        """The two numbers as a screen reader reads them, left to right."""
        found = left_to_right(c for c in controls(self.quiz) if c.get_role() == Atspi.Role.LABEL
                              and re.fullmatch(r"\d\d", c.get_name()))
        values = [int(text_of(label)) for label in found]
        check(len(values) == 2 and all(10 <= v <= 99 for v in values),
              f"the quiz shows no two numbers from 10 to 99: {values}")
        return values

    def type_answer(self, answer):
        self.focus(QUIZ, "答え", "Tab", "Tab")
        desktop.keys("ctrl+a", "BackSpace")
        desktop.type_text(answer)
        box = find(self.quiz, Atspi.Role.TEXT, "答え")
        self.wait(f"answer box reading {answer!r}", lambda: text_of(box) == answer)
        self.press(QUIZ, "OK", "shift+Tab", "shift+Tab")

    def wrong_answer(self, answer):
        self.type_answer(answer)
        self.mapped(WRONG)
        check(desktop.visible_windows(QUIZ), "the quiz went away after a wrong answer")
        self.press(WRONG, "One More")
        desktop.wait_window(WRONG, shown=False, idle=pump)

    def right_answer(self):
        # The quiz was loaded seconds ago: its 30-second redraw has not come yet.
        self.type_answer(str(sum(self.numbers())))
        self.mapped(RIGHT)
        desktop.wait_window(QUIZ, shown=False, idle=pump)

    def wave_stop(self):
        self.focus(RIGHT, "Wave Stop")
        check(self.rec.sounding(self.rec.now() - 0.5, self.rec.now()), "no alarm sound before Wave Stop")
        self.ending = True
        desktop.keys("space")
        self.ended(10)

    def ended(self, timeout):
        """The program ends with status 0 within the timeout, its sound within a second."""
        try:
            status = self.program.wait(timeout)
        except subprocess.TimeoutExpired:
            raise StepFailed(f"the program still runs {timeout} s later") from None
        check(status == 0, f"the program ended with status {status}")
        end = self.rec.now()
        self.wait("a second of silence", lambda: self.rec.now() > end + 1.5, 10)
        check(self.rec.silent(end + 0.5, end + 1.5), "the sound outlived the program")
        self.shot("ended")

    def terminate(self):
        self.program, self.ending = self.start(False), False
        main = desktop.wait_window(MAIN, idle=pump)
        # Wave Test by the mouse, in the middle of the button (3120, 120, 972 x 492 twips).
        desktop.run(["xdotool", "mousemove", "--window", main, "240", "24", "click", "1"])
        self.wait("the chime", lambda: self.rec.sounding(self.rec.now() - 0.2, self.rec.now()))
        self.ending = True
        self.program.send_signal(signal.SIGTERM)
        self.ended(1)


def install(cmake, build_dir, prefix):
    desktop.run([cmake, "--install", build_dir, "--prefix", prefix])
    binary = os.path.join(prefix, "bin", "zelmoro")
    no_display = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    for option, answer in (("--version", r"zelmoro \d+\.\d+\n"), ("--help", r"(?s).*--version.*")):
        output = desktop.run([binary, option], env=no_display)
        check(re.fullmatch(answer, output), f"zelmoro {option} without a display: {output!r}")
    sound = os.path.join(prefix, "share", "zelmoro", "belora.wav")  # soxi fails if missing
    return binary, float(desktop.run(["soxi", "-D", sound]))


def starter(binary, work, artifacts):
    """Starts the program as the session would, by default with the faked clock."""
    home, run_dir = os.path.join(work, "home"), os.path.join(work, "run")  # no sound file here
    os.makedirs(home)
    os.makedirs(run_dir)
    env = {key: os.environ[key] for key in
           ("PATH", "DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "PULSE_SERVER", "XDG_RUNTIME_DIR")}
    env.update(HOME=home, LANG="C.UTF-8")
    faked = dict(env, LD_PRELOAD=FAKETIME[0], FAKETIME="@" + FAKE_START,
                 FAKETIME_DONT_FAKE_MONOTONIC="1")
    log = open(os.path.join(artifacts, "zelmoro.log"), "a")
    return lambda faked_clock=True: subprocess.Popen(
        [binary], cwd=run_dir, env=faked if faked_clock else env, stdout=log,
        stderr=subprocess.STDOUT)


FAKETIME = glob.glob("/usr/lib/*/faketime/libfaketime.so.1")


def main(cmake, build_dir, source_dir, artifacts):
    missing = desktop.missing_tools(others=["python3-gi (AT-SPI)"] * (Atspi is None) +
                                    ["libfaketime"] * (not FAKETIME))
    if missing:
        print(f"SKIP: the private desktop needs what is not installed: {', '.join(missing)}")
        return 77
    artifacts = os.path.abspath(artifacts)
    shutil.rmtree(artifacts, ignore_errors=True)
    os.makedirs(artifacts)
    work = tempfile.mkdtemp(prefix="zelmoro-e2e-")
    session = desktop.Session(os.path.abspath(source_dir), os.path.join(work, "session"))
    recorder = road = None
    print(f"Screenshots, recording and program output go to {artifacts}", flush=True)
    try:
        with step("install into a temporary prefix; --version and --help with no display"):
            binary, wave_length = install(cmake, os.path.abspath(build_dir),
                                          os.path.join(work, "prefix"))
        with step("start Xvfb, openbox, session and accessibility buses, PulseAudio; record"):
            session.start()
            Atspi.init()  # connects to this session's accessibility bus
            recorder = desktop.Recorder(session.env["ZELMORO_TEST_SINK"],
                                        os.path.join(work, "recording.raw"))
            road = Road(recorder, starter(binary, work, artifacts), artifacts, wave_length)
        road.run()
        return 0
    except StepFailed as failure:
        print(f"\nFAILED {failure}\n  screenshots, recording and program output: {artifacts}",
              file=sys.stderr)
        if road is not None and road.program.poll() is None:
            desktop.screenshot(os.path.join(artifacts, "failure.png"))
        return 1
    finally:
        if road is not None and road.program.poll() is None:
            road.program.kill()
            road.program.wait()
        if recorder is not None:
            recorder.stop(os.path.join(artifacts, "recording.wav"))
        for log in glob.glob(os.path.join(session.directory, "*.log")):
            shutil.copy(log, artifacts)
        session.stop()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
