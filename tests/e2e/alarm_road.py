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
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # leave the source tree as it is
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import desktop  # noqa: E402
from desktop import StepFailed  # noqa: E402

import gi  # noqa: E402  (the AT-SPI client library, from python3-pyatspi's dependencies)

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

FAKE_START = "2024-01-15 06:59:54"  # a few seconds before a whole minute
LEAD = 6  # seconds between opening the dialog and the alarm second picked in it
MAIN, DIALOG, NOTICE = "Zelmoro", "Alarm - Set", "時間ですよ～"
QUIZ, RIGHT, WRONG = "本当に起きてるの??", "正解です", "間違えています"
BUTTON, LABEL = Atspi.Role.PUSH_BUTTON, Atspi.Role.LABEL
FOCUSED, SHOWING = Atspi.StateType.FOCUSED, Atspi.StateType.SHOWING

# What a screen reader finds in each window: the window's role (a window with a
# taskbar entry is a frame, the small ones without are dialogs), its buttons
# with their descriptions (the tooltips), and labels whose text reads as their name.
WINDOWS = {
    MAIN: ("main", "frame", {"Wave Test": "音が鳴るかテストします", "CLOSE": "終了します",
                             "Alarm-SET": "アラームのなる時間をＳＥＴします"},
           ["Now", "Alarm", "None"]),
    DIALOG: ("dialog", "dialog", {"SET": "", "Cancel": ""}, ["時", "分", "秒"]),
    NOTICE: ("notice", "frame", {"OK": ""}, ["起きろ～"]),
    QUIZ: ("quiz", "frame", {"OK": "", "CANCEL": ""}, ["+", "="]),
    RIGHT: ("right", "dialog", {"Wave Stop": ""}, ["おはようございます"]),
    WRONG: ("wrong", "dialog", {"One More": ""}, ["あなたの脳は未だ寝てます"]),
}


class Steps:
    """Named steps with their timings; the figures noted along the way."""

    def __init__(self):
        self.started, self.rows, self.failed = time.monotonic(), [], None

    @contextlib.contextmanager
    def __call__(self, name):
        start, row = time.monotonic() - self.started, len(self.rows)
        print(f"[{start:7.2f} s] {name}", flush=True)
        self.rows.append(f"{start:7.2f}     ...  {name}")
        try:
            yield
        except Exception as error:
            self.failed = name
            raise error if isinstance(error, StepFailed) else StepFailed(repr(error)) from error
        self.rows[row] = f"{start:7.2f}  {time.monotonic() - self.started - start:6.2f}  {name}"

    def note(self, text):
        self.rows.append(" " * 17 + text)
        print(" " * 12 + text, flush=True)

    def summary(self):
        print("\nStep timings (seconds from the start of the test, duration):")
        print("\n".join("  " + row for row in self.rows))
        print(f"  total {time.monotonic() - self.started:.2f} s")


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
    for i in range(window.get_child_count()):
        child = window.get_child_at_index(i)
        if child is not None:
            found.append(child)
            if child.get_role() != Atspi.Role.COMBO_BOX:
                found += controls(child)
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
    children = (parent.get_child_at_index(i) for i in range(parent.get_child_count()))
    return next((c for c in children if c is not None and c.get_name() == name), None)


def labels_of(acc):
    return [relation.get_target(i).get_name() for relation in acc.get_relation_set()
            if relation.get_relation_type() == Atspi.RelationType.LABELLED_BY
            for i in range(relation.get_n_targets())]


def left_to_right(controls_found):
    return sorted(controls_found, key=lambda c: c.get_extents(Atspi.CoordType.SCREEN).x)


def seconds_of(text):
    return sum(int(part) * unit for part, unit in zip(text.split(":"), (3600, 60, 1)))


def time_text(seconds):
    return f"{seconds // 3600 % 24}:{seconds // 60 % 60:02d}:{seconds % 60:02d}"


def list_keys(current, wanted, size):
    """The shortest keys that move a closed drop-down list from one entry to another."""
    step = ["Down"] * (wanted - current) if wanted >= current else ["Up"] * (current - wanted)
    return min(step, ["Home"] + ["Down"] * wanted, ["End"] + ["Up"] * (size - 1 - wanted), key=len)


class Road:
    """The steps of the alarm road, as a user with a keyboard and a screen reader takes them."""

    def __init__(self, steps, recorder, program, artifacts, wave_length):
        self.steps, self.rec, self.program = steps, recorder, program
        self.artifacts, self.wave_length = artifacts, wave_length
        self.shots, self.ending = 0, False
        self.inserted = []  # the texts announced as inserted
        self.listener = Atspi.EventListener.new(lambda event: self.inserted.append(event.any_data))
        self.listener.register("object:text-changed:insert")

    def run(self):
        for name, step in (
                (f"start at a faked {FAKE_START}: main window, focus on CLOSE", self.main_window),
                ("Tab to Alarm-SET, Space opens the dialog", self.open_dialog),
                ("pick the alarm second with the keyboard, SET; Label3 shows it", self.pick_alarm),
                ("the alarm second: notice mapped, sink sounding", self.alarm_comes),
                ("OK hides the notice; the sound goes on for 3 lengths of belora.wav", self.notice_ok),
                ("CLOSE opens the quiz; the numbers read through AT-SPI", self.open_quiz),
                ("a wrong sum: wrong-answer window, One More",
                 lambda: self.wrong_answer(str(sum(self.numbers()) + 1))),
                ("a non-number: program alive, wrong-answer window, One More",
                 lambda: self.wrong_answer("abc")),
                ("the right sum: correct-answer window", self.right_answer),
                ("Wave Stop: exit status 0, the recording goes silent", self.wave_stop),
                ("a second run: the clock set 120 s past the alarm, notice and sound follow",
                 self.clock_set_forward)):
            with self.steps(name):
                step()

    def wait(self, what, predicate, timeout=5):
        def checked():
            if not self.ending and self.program.poll() is not None:
                raise StepFailed(f"the program ended with status {self.program.returncode}")
            return predicate()
        return desktop.wait_for(what, checked, timeout, idle=pump)

    def shot(self, name):
        self.shots += 1
        desktop.screenshot(os.path.join(self.artifacts, f"{self.shots:02d}-{name}.png"))

    def window(self, title):
        return self.wait(f"window {title!r} in the accessibility tree", lambda: (
            w := child_named(self.app, title)) and w.get_state_set().contains(SHOWING) and w, 10)

    def mapped(self, title, timeout=10):
        """Waits for the window to be mapped, checks what a screen reader finds in it."""
        self.wait(f"mapped window {title!r}", lambda: desktop.visible_windows(title), timeout)
        window = self.window(title)
        shot, role, buttons, labels = WINDOWS[title]
        if window.get_role_name() != role:
            raise StepFailed(f"window {title!r} is a {window.get_role_name()}, not a {role}")
        for name, description in buttons.items():
            if find(window, BUTTON, name).get_description() != description:
                raise StepFailed(f"button {name!r} is not described as {description!r}")
        for name in labels:
            if text_of(find(window, LABEL, name)) != name:
                raise StepFailed(f"label {name!r} reads {text_of(find(window, LABEL, name))!r}")
        self.shot(shot)
        return window

    def unmapped(self, title):
        self.wait(f"window {title!r} to go away", lambda: not desktop.visible_windows(title))

    def focus(self, title, name, *moves):
        """Presses the moves in the window (active since it was shown) and waits for
        the focus on the control with this name."""
        window = self.window(title)
        if not window.get_state_set().contains(Atspi.StateType.ACTIVE):
            raise StepFailed(f"window {title!r} is not the active one")
        if moves:
            desktop.keys(*moves)
        self.wait(f"focus on {name!r} in {title!r} after {list(moves)}", lambda: any(
            c.get_name() == name and c.get_state_set().contains(FOCUSED) for c in controls(window)))

    def press(self, title, name, *moves):
        """Space on the button with this name, reached with the moves."""
        self.focus(title, name, *moves)
        desktop.keys("space")

    def clock(self):
        """The program's own time, as Label2 shows it."""
        return seconds_of(self.label2.get_name())

    def main_window(self):
        self.app = self.wait("the program on the accessibility bus",
                             lambda: child_named(Atspi.get_desktop(0), "zelmoro"), 20)
        self.app.set_cache_mask(Atspi.Cache.NONE)
        self.main = self.mapped(MAIN, 20)
        times = [c for c in controls(self.main)  # Label2 is the one label showing a time
                 if c.get_role() == LABEL and re.fullmatch(r"\d{1,2}:\d\d:\d\d", c.get_name())]
        if len(times) != 1 or text_of(times[0]) != times[0].get_name():
            raise StepFailed(f"no one time display (Label2) readable: {times}")
        self.label2, self.label3 = times[0], find(self.main, LABEL, "None")
        self.steps.note(f"program clock at the first look: {self.label2.get_name()}")
        self.program_started = self.rec.now()
        self.focus(MAIN, "CLOSE")

    def open_dialog(self):
        self.press(MAIN, "Alarm-SET", "Tab")
        dialog = self.mapped(DIALOG)
        self.lists = left_to_right(c for c in controls(dialog)
                                   if c.get_role() == Atspi.Role.COMBO_BOX)
        if [labels_of(c) for c in self.lists] != [["時"], ["分"], ["秒"]]:
            raise StepFailed(f"the lists are labelled {[labels_of(c) for c in self.lists]}")

    def pick_alarm(self):
        opened = ":".join(c.get_name() for c in self.lists)
        self.target = seconds_of(opened) + LEAD
        self.steps.note(f"dialog preselected {opened}; alarm picked at {time_text(self.target)}")
        # The hour list has the focus when the dialog opens; Tab goes on to the next.
        wanted = time_text(self.target).split(":")
        for i, (combo, value, size) in enumerate(zip(self.lists, wanted, (24, 60, 60))):
            moves = ["Tab"] * (i > 0) + list_keys(int(combo.get_name()), int(value), size)
            if moves:
                desktop.keys(*moves)
            self.wait(f"list showing {value!r}", lambda: combo.get_name() == value)
        self.press(DIALOG, "SET", "Tab")
        self.unmapped(DIALOG)
        alarm = time_text(self.target)
        self.wait("Label3 showing the alarm time", lambda: self.label3.get_name() == alarm)
        if text_of(self.label3) != alarm:
            raise StepFailed(f"Label3 reads {text_of(self.label3)!r}")
        self.wait("Label3's new caption announced as a text change", lambda: alarm in self.inserted)
        if self.clock() >= self.target:
            raise StepFailed(f"the alarm second came before SET took effect: too slow for {LEAD} s")
        if not self.rec.silent(self.program_started, self.rec.now()):
            raise StepFailed("the sink sounded before the alarm second")
        self.shot("alarm-set")

    def alarm_comes(self):
        self.mapped(NOTICE, self.target - self.clock() + 5)
        shown_at = self.clock()
        if shown_at not in (self.target, self.target + 1):
            raise StepFailed(f"notice mapped at {time_text(shown_at)}, not in the alarm second")
        self.wait("sound on the null sink",
                  lambda: self.rec.sounding(self.rec.now() - 0.2, self.rec.now()))
        self.steps.note(f"notice mapped at program time {time_text(shown_at)}, sink sounding")

    def notice_ok(self):
        # OK within the alarm second would be undone by the next tick of that second.
        self.wait("the alarm second to pass", lambda: self.clock() > self.target, 3)
        self.press(NOTICE, "OK")
        self.unmapped(NOTICE)
        start, span = self.rec.now(), 3 * self.wave_length
        self.wait(f"{span:.1f} s of recording after OK",
                  lambda: self.rec.now() >= start + span + 0.3, span + 10)
        quiet = [round(t / 4, 2) for t in range(int(span * 4))
                 if not self.rec.sounding(start + t / 4, start + t / 4 + 0.25)]
        if quiet or desktop.visible_windows(NOTICE):
            raise StepFailed(f"after OK the sound paused at {quiet} s or the notice came back")
        self.steps.note(f"sound went on for {span:.1f} s after OK "
                        f"(RMS {self.rec.rms(start, start + span):.3f})")

    def open_quiz(self):
        self.press(MAIN, "CLOSE", "shift+Tab")
        self.quiz = self.mapped(QUIZ)
        self.focus(QUIZ, "OK")
        self.steps.note("quiz shows {} + {}".format(*self.numbers()))

    def numbers(self):
        """The two numbers as a screen reader reads them, left to right."""
        found = left_to_right(c for c in controls(self.quiz) if c.get_role() == LABEL
                              and re.fullmatch(r"\d\d", c.get_name()))
        values = [int(text_of(label)) for label in found]
        if len(values) != 2 or not all(10 <= v <= 99 for v in values):
            raise StepFailed(f"the quiz shows no two numbers from 10 to 99: {values}")
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
        if not desktop.visible_windows(QUIZ):
            raise StepFailed("the quiz went away after a wrong answer")
        self.press(WRONG, "One More")
        self.unmapped(WRONG)

    def right_answer(self):
        # The quiz was loaded seconds ago: its 30-second redraw has not come yet.
        self.type_answer(str(sum(self.numbers())))
        self.mapped(RIGHT)
        self.unmapped(QUIZ)

    def wave_stop(self):
        self.focus(RIGHT, "Wave Stop")
        stopped = self.rec.now()
        if not self.rec.sounding(stopped - 0.5, stopped):
            raise StepFailed("the alarm sound was not playing before Wave Stop")
        self.ending = True
        desktop.keys("space")
        try:
            status = self.program.wait(10)
        except subprocess.TimeoutExpired:
            raise StepFailed("the program did not end within 10 s of Wave Stop") from None
        if status != 0:
            raise StepFailed(f"the program ended with status {status}")
        self.wait("a second of silence on the null sink",
                  lambda: self.rec.silent(self.rec.now() - 1.0, self.rec.now()), 10)
        end = stopped
        while end < self.rec.now() and not self.rec.silent(end, self.rec.now()):
            end += 0.02
        self.steps.note(f"sound ended {end - stopped:.2f} s after Wave Stop; exit status 0")

    def clock_set_forward(self):
        offset = os.path.join(self.artifacts, "faketime-offset")  # read by libfaketime at each call
        with open(offset, "w") as spec:
            spec.write("+0\n")
        env = {key: os.environ[key] for key in
               ("PATH", "DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "PULSE_SERVER", "XDG_RUNTIME_DIR")}
        env.update(HOME=tempfile.mkdtemp(prefix="zelmoro-home-"), LANG="C.UTF-8",
                   LD_PRELOAD=glob.glob("/usr/lib/*/faketime/libfaketime.so.1")[0],
                   FAKETIME_TIMESTAMP_FILE=offset, FAKETIME_NO_CACHE="1",
                   FAKETIME_DONT_FAKE_MONOTONIC="1")
        self.wait("the first run gone from the accessibility bus",
                  lambda: not child_named(Atspi.get_desktop(0), "zelmoro"), 10)
        self.ending, self.program = False, subprocess.Popen(
            self.program.args, cwd=self.artifacts, env=env, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
        try:
            self.main_window()
            self.open_dialog()
            self.pick_alarm()
            with open(offset, "w") as spec:
                spec.write("+120\n")
            self.mapped(NOTICE)
            if self.clock() < self.target + 100:
                raise StepFailed(f"notice at {time_text(self.clock())}: the clock did not step")
            self.wait("sound on the null sink",
                      lambda: self.rec.sounding(self.rec.now() - 0.2, self.rec.now()))
        finally:
            self.ending = True
            self.program.kill()
            self.program.wait()


def install(cmake, build_dir, prefix):
    desktop.run([cmake, "--install", build_dir, "--prefix", prefix])
    sound = os.path.join(prefix, "share", "zelmoro", "belora.wav")  # soxi fails if missing
    return os.path.join(prefix, "bin", "zelmoro"), float(desktop.run(["soxi", "-D", sound]))


def start_program(binary, work, artifacts):
    preload = glob.glob("/usr/lib/*/faketime/libfaketime.so.1")
    if not preload:
        raise StepFailed("libfaketime.so.1 is not installed")
    home, run_dir = os.path.join(work, "home"), os.path.join(work, "run")  # no sound file here
    os.makedirs(home)
    os.makedirs(run_dir)
    env = {key: os.environ[key] for key in
           ("PATH", "DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "PULSE_SERVER", "XDG_RUNTIME_DIR")}
    env.update(HOME=home, LANG="C.UTF-8", LD_PRELOAD=preload[0], FAKETIME="@" + FAKE_START,
               FAKETIME_DONT_FAKE_MONOTONIC="1")
    log = open(os.path.join(artifacts, "zelmoro.log"), "w")
    return subprocess.Popen([binary], cwd=run_dir, env=env, stdout=log, stderr=subprocess.STDOUT)


def main(cmake, build_dir, source_dir, artifacts):
    artifacts = os.path.abspath(artifacts)
    shutil.rmtree(artifacts, ignore_errors=True)
    os.makedirs(artifacts)
    work = tempfile.mkdtemp(prefix="zelmoro-e2e-")
    session = desktop.Session(os.path.abspath(source_dir), os.path.join(work, "session"))
    recorder = program = None
    steps = Steps()
    print(f"Screenshots, recording and program output go to {artifacts}", flush=True)
    try:
        with steps("install the built tree into a temporary prefix"):
            binary, wave_length = install(cmake, os.path.abspath(build_dir),
                                          os.path.join(work, "prefix"))
            steps.note(f"belora.wav lasts {wave_length:.2f} s (soxi)")
        with steps("start Xvfb, openbox, session and accessibility buses, PulseAudio; record"):
            session.start()
            Atspi.init()  # connects to this session's accessibility bus
            recorder = desktop.Recorder(session.env["ZELMORO_TEST_SINK"],
                                        os.path.join(work, "recording.raw"))
            program = start_program(binary, work, artifacts)
        Road(steps, recorder, program, artifacts, wave_length).run()
        return 0
    except StepFailed as failure:
        print(f"\nFAILED in step \"{steps.failed}\": {failure}\n"
              f"  screenshots and program output: {artifacts}\n"
              f"  recording of the sound output: {os.path.join(artifacts, 'recording.wav')}",
              file=sys.stderr)
        if program is not None and program.poll() is None:
            desktop.screenshot(os.path.join(artifacts, "failure.png"))
        return 1
    finally:
        if program is not None and program.poll() is None:
            program.kill()
            program.wait()
        if recorder is not None:
            recorder.stop(os.path.join(artifacts, "recording.wav"))
        for log in glob.glob(os.path.join(session.directory, "*.log")):
            shutil.copy(log, artifacts)
        session.stop()
        shutil.rmtree(work, ignore_errors=True)
        steps.summary()


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
