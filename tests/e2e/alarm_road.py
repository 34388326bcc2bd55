#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The road of one alarm: the installed clock in a private desktop session under a
faked wall clock, driven by key presses, read through the accessibility tree (as a
screen reader reads it), the X server and the sound server. Screenshots, the sound
recording and the program's output go to ARTIFACTS.

  alarm_road.py CMAKE BUILD_DIR SOURCE_DIR ARTIFACTS"""

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
from desktop import StepFailed, check, keys  # noqa: E402

try:  # the AT-SPI client library, from python3-pyatspi's dependencies
    import gi
    gi.require_version("Atspi", "2.0")
    from gi.repository import Atspi, GLib
    BUTTON, LABEL, COMBO, TEXT = (getattr(Atspi.Role, n) for n in
                                  ("PUSH_BUTTON", "LABEL", "COMBO_BOX", "TEXT"))
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
# frame, the small ones without are dialogs), its client area in twips (15 to a
# pixel), its buttons with their descriptions (the tooltips), and labels whose
# text reads as their name.
WINDOWS = {
    MAIN: ("frame", (4128, 6816), {"Wave Test": "音が鳴るかテストします", "CLOSE": "終了します",
                                   "Alarm-SET": "アラームのなる時間をＳＥＴします"},
           ["Now", "Alarm", "None"]),
    DIALOG: ("dialog", (3744, 1356), {"SET": "", "Cancel": ""}, ["時", "分", "秒"]),
    NOTICE: ("frame", (3168, 1488), {"OK": ""}, ["起きろ～"]),
    QUIZ: ("frame", (2844, 1392), {"OK": "", "CANCEL": ""}, ["+", "="]),
    RIGHT: ("dialog", (3936, 1476), {"Wave Stop": ""}, ["おはようございます"]),
    WRONG: ("dialog", (3912, 1452), {"One More": ""}, ["あなたの脳は未だ寝てます"]),
}


def pump(seconds):
    """Lets time pass while the accessibility events are taken in."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        while GLib.MainContext.default().iteration(False):
            pass
        time.sleep(0.01)


def children(acc):
    return [c for c in map(acc.get_child_at_index, range(acc.get_child_count())) if c is not None]


def controls(window):
    """The controls of a window in the tree's order (the items of lists left out)."""
    return [d for c in children(window) for d in [c] + (controls(c) if c.get_role() != COMBO else [])]


def find(window, role, name):
    found = [c for c in controls(window) if c.get_role() == role and c.get_name() == name]
    held = ", ".join(f"{c.get_role_name()} {c.get_name()!r}" for c in controls(window))
    check(found, f"no {role.value_nick} {name!r} in {window.get_name()!r}; it holds {held}")
    return found[0]


def text_of(acc):
    """What a screen reader reads as the object's text."""
    check("Text" in acc.get_interfaces(), f"{acc.get_role_name()} {acc.get_name()!r} has no text")
    return Atspi.Text.get_text(acc, 0, Atspi.Text.get_character_count(acc))


def has(acc, state):
    return acc.get_state_set().contains(getattr(Atspi.StateType, state))


def left_to_right(found):
    return sorted(found, key=lambda c: c.get_extents(Atspi.CoordType.SCREEN).x)


def seconds_of(text):
    return sum(int(part) * unit for part, unit in zip(text.split(":"), (3600, 60, 1)))


def time_text(seconds):
    return f"{seconds // 3600 % 24}:{seconds // 60 % 60:02d}:{seconds % 60:02d}"


def list_keys(current, wanted, size):
    """The shortest keys that move a closed drop-down list from one entry to another."""
    walk = ["Down"] * (wanted - current) if wanted >= current else ["Up"] * (current - wanted)
    return min(walk, ["Home"] + ["Down"] * wanted, ["End"] + ["Up"] * (size - 1 - wanted), key=len)


class Road:
    """The steps of the alarm road, as a user with a keyboard and a screen reader takes them."""

    def __init__(self, recorder, start, artifacts, wave_length):
        self.rec, self.start, self.artifacts, self.wave_length = recorder, start, artifacts, wave_length
        self.program, self.shots, self.ending, self.inserted = start(), 0, False, []
        # The texts announced as inserted, as a screen reader hears them.
        self.listener = Atspi.EventListener.new(lambda event: self.inserted.append(event.any_data))
        self.listener.register("object:text-changed:insert")

    def run(self):
        for action in (self.main_window, self.alt_f4, self.wave_test, self.open_dialog,
                       self.pick_alarm, self.alarm_comes, self.notice_ok, self.open_quiz,
                       self.second_start, self.wrong_sum, self.right_answer,
                       self.wave_stop, self.terminate, self.clock_set_forward):
            with desktop.step(action.__doc__):
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
        return self.wait(f"window {title!r} in the accessibility tree", lambda: next(
            (w for w in children(self.app) if w.get_name() == title and has(w, "SHOWING")), None), 10)

    def mapped(self, title, timeout=10):
        """Waits for the window to be mapped; checks its frame, its taskbar entry
        and what a screen reader finds in it."""
        xid = desktop.wait_window(title, timeout=timeout, idle=pump)
        window, (role, twips, buttons, labels) = self.window(title), WINDOWS[title]
        check(window.get_role_name() == role, f"{title!r} is a {window.get_role_name()}")
        fixed, motif, states = desktop.properties(xid)
        size = tuple(round(t / 15) for t in twips)
        check(fixed == size, f"{title!r} is not fixed at {size} pixels: {fixed}")
        check(motif == FRAME, f"{title!r} asks for the frame {motif}, not {FRAME}")
        check(states & SKIP == (SKIP if role == "dialog" else set()), f"{title!r} has {states}")
        for name, description in buttons.items():
            check(find(window, BUTTON, name).get_description() == description,
                  f"button {name!r} is not described as {description!r}")
        for name in labels:
            check(text_of(find(window, LABEL, name)) == name, f"label {name!r} reads otherwise")
        self.shot(title)
        return window, xid

    def focus(self, title, name, *moves):
        """Presses the moves in the window (which must be the active one) and waits
        for the focus on the control with this name."""
        window = self.window(title)
        check(has(window, "ACTIVE"), f"{title!r} is not the active window")
        keys(*moves)
        self.wait(f"focus on {name!r} in {title!r} after {list(moves)}", lambda: any(
            c.get_name() == name and has(c, "FOCUSED") for c in controls(window)))

    def press(self, title, name, *moves):
        """Space on the button with this name, reached with the moves."""
        self.focus(title, name, *moves)
        keys("space")

    def clock(self):
        """The program's own time, as Label2 shows it."""
        return seconds_of(self.label2.get_name())

    def sounding_now(self):
        return self.rec.sounding(self.rec.now() - 0.2, self.rec.now())

    def main_window(self):
        """start at a faked clock: main window, focus on CLOSE"""
        self.app = self.wait("the program on the accessibility bus", lambda: next(
            (a for a in children(Atspi.get_desktop(0)) if a.get_name() == "zelmoro"), None), 20)
        self.app.set_cache_mask(Atspi.Cache.NONE)
        self.main, self.main_xid = self.mapped(MAIN, 20)
        times = [c for c in controls(self.main)  # Label2 is the one label showing a time
                 if c.get_role() == LABEL and re.fullmatch(r"\d{1,2}:\d\d:\d\d", c.get_name())]
        check(len(times) == 1 and text_of(times[0]) == times[0].get_name(),
              f"no one time display (Label2) readable: {times}")
        self.label2, self.label3 = times[0], find(self.main, LABEL, "None")
        icons = desktop.run(["xprop", "-id", self.main_xid, "_NET_WM_ICON"])
        check(sorted(re.findall(r"Icon \((\d+) x", icons)) == ["16", "32"], "not both icon sizes")
        self.focus(MAIN, "CLOSE")

    def alt_f4(self):
        """Alt+F4 closes nothing"""
        keys("alt+F4")
        pump(0.5)
        check(desktop.visible_windows(MAIN) == [self.main_xid], "Alt+F4 closed the main window")

    def wave_test(self):
        """Tab, Tab, Space: Wave Test plays belora.wav once, to its end"""
        pressed = self.rec.now()
        self.press(MAIN, "Wave Test", "Tab", "Tab")
        self.wait("the chime and a second after it",
                  lambda: self.rec.now() > pressed + self.wave_length + 1.5, 10)
        sounded = [t / 50 for t in range(int(pressed * 50), int(self.rec.now() * 50))
                   if not self.rec.silent(t / 50, t / 50 + 0.02)]
        span = sounded[-1] + 0.02 - sounded[0] if sounded else 0
        check(abs(span - self.wave_length) < 0.3, f"Wave Test sounded {span:.2f} s, not once")
        self.quiet_from = sounded[-1] + 0.1

    def open_dialog(self, move="shift+Tab"):
        """Shift+Tab to Alarm-SET, Space opens the dialog"""
        self.press(MAIN, "Alarm-SET", move)
        dialog, _ = self.mapped(DIALOG)
        self.lists = left_to_right(c for c in controls(dialog) if c.get_role() == COMBO)
        labels = [[r.get_target(i).get_name() for r in c.get_relation_set()
                   if r.get_relation_type() == Atspi.RelationType.LABELLED_BY
                   for i in range(r.get_n_targets())] for c in self.lists]
        check(labels == [["時"], ["分"], ["秒"]], f"the lists are labelled {labels}")

    def pick_alarm(self):
        """pick the alarm second with the keyboard, SET; Label3 shows it"""
        opened = ":".join(c.get_name() for c in self.lists)
        self.target = seconds_of(opened) + LEAD
        alarm = time_text(self.target)
        print(f"   dialog preselected {opened}; alarm picked at {alarm}")
        # The hour list has the focus when the dialog opens; Tab goes on to the next.
        for i, (combo, value, size) in enumerate(zip(self.lists, alarm.split(":"), (24, 60, 60))):
            keys(*["Tab"] * (i > 0), *list_keys(int(combo.get_name()), int(value), size))
            self.wait(f"list showing {value!r}", lambda: combo.get_name() == value)
        self.press(DIALOG, "SET", "Tab")
        desktop.wait_window(DIALOG, shown=False, idle=pump)
        self.wait("Label3 showing the alarm time", lambda: self.label3.get_name() == alarm)
        check(text_of(self.label3) == alarm, f"Label3 reads {text_of(self.label3)!r}")
        self.wait("Label3's new caption announced as a text change", lambda: alarm in self.inserted)
        check(self.clock() < self.target, f"the alarm came before SET took effect: {LEAD} s too short")
        check(self.rec.silent(self.quiet_from, self.rec.now()), "sound before the alarm second")
        self.shot("alarm-set")

    def alarm_comes(self):
        """the alarm second: notice mapped, sink sounding"""
        self.mapped(NOTICE, self.target - self.clock() + 5)
        check(self.clock() in (self.target, self.target + 1),
              f"notice mapped at {self.label2.get_name()}, not in the alarm second")
        self.wait("sound on the null sink", self.sounding_now)

    def notice_ok(self):
        """OK hides the notice; the sound goes on"""
        # OK within the alarm second would be undone by the next tick of that second.
        self.wait("the alarm second to pass", lambda: self.clock() > self.target, 3)
        self.press(NOTICE, "OK")
        desktop.wait_window(NOTICE, shown=False, idle=pump)
        pump(1)
        check(self.sounding_now(), "the sound stopped with the notice")

    def open_quiz(self):
        """Shift+Tab to CLOSE, Space opens the quiz; its numbers read through AT-SPI"""
        self.press(MAIN, "CLOSE", "shift+Tab")
        self.quiz, self.quiz_xid = self.mapped(QUIZ)
        self.focus(QUIZ, "OK")
        print("   quiz shows {} + {}".format(*self.numbers()))

    def second_start(self):
        """a second start exits 0 and brings the main window forward"""
        second = self.start()
        try:
            check(second.wait(10) == 0, f"the second copy ended with status {second.returncode}")
        finally:
            second.kill()  # if it still runs
        self.wait("the main window active", lambda: desktop.run(
            ["xdotool", "getactivewindow"]).strip() == self.main_xid)
        desktop.run(["xdotool", "windowactivate", "--sync", self.quiz_xid])
        self.wait("the quiz active again", lambda: has(self.quiz, "ACTIVE"))

    def numbers(self):
        """The two numbers as a screen reader reads them, left to right."""
        values = [int(text_of(c)) for c in left_to_right(controls(self.quiz))
                  if c.get_role() == LABEL and re.fullmatch(r"\d\d", c.get_name())]
        check(len(values) == 2 and all(10 <= v <= 99 for v in values),
              f"the quiz shows no two numbers from 10 to 99: {values}")
        return values

    def answer(self, text, result):
        self.focus(QUIZ, "答え", "Tab", "Tab")
        keys("ctrl+a", "BackSpace")
        desktop.run(["xdotool", "type", "--clearmodifiers", "--delay", "40", text])
        box = find(self.quiz, TEXT, "答え")
        self.wait(f"answer box reading {text!r}", lambda: text_of(box) == text)
        self.press(QUIZ, "OK", "shift+Tab", "shift+Tab")
        self.mapped(result)

    def wrong_sum(self):
        """a wrong sum: the wrong-answer window over the quiz, One More"""
        self.answer(str(sum(self.numbers()) + 1), WRONG)
        check(desktop.visible_windows(QUIZ), "the quiz went away after a wrong answer")
        self.press(WRONG, "One More")
        desktop.wait_window(WRONG, shown=False, idle=pump)

    def right_answer(self):
        """the right sum: the correct-answer window, the quiz gone"""
        # The quiz was loaded seconds ago: its 30-second redraw has not come yet.
        self.answer(str(sum(self.numbers())), RIGHT)
        desktop.wait_window(QUIZ, shown=False, idle=pump)

    def wave_stop(self):
        """Wave Stop: exit status 0, the recording goes silent"""
        self.focus(RIGHT, "Wave Stop")
        check(self.sounding_now(), "no alarm sound before Wave Stop")
        self.ending = True
        keys("space")
        self.ended(10)

    def ended(self, timeout):
        """The program ends with status 0 within the timeout, its sound within a second."""
        check(self.program.wait(timeout) == 0, f"exit status {self.program.returncode}")
        end = self.rec.now()
        self.wait("a second of silence", lambda: self.rec.now() > end + 1.5, 10)
        check(self.rec.silent(end + 0.5, end + 1.5), "the sound outlived the program")
        self.shot("ended")

    def terminate(self):
        """a new start, Wave Test by the mouse, the session's SIGTERM: ends at once"""
        self.program, self.ending = self.start(False), False
        main = desktop.wait_window(MAIN, idle=pump)
        # The middle of Wave Test, at 3120, 120 and 972 x 492 twips.
        desktop.run(["xdotool", "mousemove", "--window", main, "240", "24", "click", "1"])
        self.wait("the chime", self.sounding_now)
        self.ending = True
        self.program.send_signal(signal.SIGTERM)
        self.ended(1)

    def clock_set_forward(self):
        """a new start, an alarm set; the clock set 120 s past it: notice and sound follow"""
        offset = os.path.join(self.artifacts, "faketime-offset")  # read by libfaketime at each call
        with open(offset, "w") as spec:
            spec.write("+0\n")
        self.wait("the last run gone from the accessibility bus", lambda: not any(
            a.get_name() == "zelmoro" for a in children(Atspi.get_desktop(0))), 10)
        self.program, self.ending = self.start(False, LD_PRELOAD=FAKETIME[0], FAKETIME_NO_CACHE="1",
                                               FAKETIME_TIMESTAMP_FILE=offset,
                                               FAKETIME_DONT_FAKE_MONOTONIC="1"), False
        self.quiet_from = self.rec.now()
        self.main_window()
        self.open_dialog("Tab")
        self.pick_alarm()
        with open(offset, "w") as spec:
            spec.write("+120\n")
        self.mapped(NOTICE)
        check(self.clock() >= self.target + 100, f"notice at {self.label2.get_name()}: no step")
        self.wait("sound on the null sink", self.sounding_now)
        self.ending = True
        self.program.kill()


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
    run_dir = os.path.join(work, "run")  # no sound file here
    os.makedirs(os.path.join(work, "home"))
    os.makedirs(run_dir)
    env = {key: os.environ[key] for key in
           ("PATH", "DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "PULSE_SERVER", "XDG_RUNTIME_DIR")}
    env.update(HOME=os.path.join(work, "home"), LANG="C.UTF-8")
    faked = dict(env, LD_PRELOAD=FAKETIME[0], FAKETIME="@" + FAKE_START,
                 FAKETIME_DONT_FAKE_MONOTONIC="1")
    log = open(os.path.join(artifacts, "zelmoro.log"), "a")
    return lambda fake=True, **more: subprocess.Popen(
        [binary], cwd=run_dir, env=dict(faked if fake else env, **more), stdout=log,
        stderr=subprocess.STDOUT)


def main(cmake, build_dir, source_dir, artifacts):
    missing = desktop.missing_tools(others=["python3-gi (AT-SPI)"] * (Atspi is None) +
                                    ["libfaketime"] * (not FAKETIME))
    if missing:
        print(f"SKIP: the private desktop needs what is not installed: {', '.join(missing)}")
        return 77
    artifacts, work = os.path.abspath(artifacts), tempfile.mkdtemp(prefix="zelmoro-e2e-")
    shutil.rmtree(artifacts, ignore_errors=True)
    os.makedirs(artifacts)
    session = desktop.Session(os.path.abspath(source_dir), os.path.join(work, "session"))
    recorder = road = None
    print(f"Screenshots, recording and program output go to {artifacts}", flush=True)
    try:
        with desktop.step("install into a temporary prefix; --version and --help with no display"):
            binary, wave_length = install(cmake, os.path.abspath(build_dir), f"{work}/prefix")
        with desktop.step("start Xvfb, openbox, session and accessibility buses, PulseAudio"):
            session.start()
            Atspi.init()  # connects to this session's accessibility bus
            recorder = desktop.Recorder(session.env["ZELMORO_TEST_SINK"], f"{work}/recording.raw")
            road = Road(recorder, starter(binary, work, artifacts), artifacts, wave_length)
        road.run()
        return 0
    except StepFailed as failure:
        print(f"\nFAILED {failure}\n  screenshots, recording and program output: {artifacts}",
              file=sys.stderr)
        return 1
    finally:
        if road is not None and road.program.poll() is None:
            desktop.screenshot(os.path.join(artifacts, "failure.png"))
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
