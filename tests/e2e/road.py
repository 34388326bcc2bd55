"""The steps of the alarm road, as a user with a keyboard and a screen reader takes them."""

import re
import subprocess

import a11y
import desktop
from a11y import Atspi
from desktop import StepFailed
from windows import (DIALOG, LABEL, MAIN, NOTICE, QUIZ, RIGHT, WRONG, Windows, seconds_of,
                     time_text)

LEAD = 6  # seconds between opening the dialog and the alarm second picked in it


class Road(Windows):
    def __init__(self, steps, tree, recorder, program, artifacts, wave_length):
        super().__init__(steps, tree, recorder, program, artifacts)
        self.wave_length = wave_length

    def wait_for_main_window(self):
        self.tree.attach("zelmoro", 20)
        self.main = self.mapped(MAIN, 20)
        self.alive()

    def run(self):
        s = self.steps.step
        with s("main window: names, texts, focus and tab order"):
            self.main_window()
        with s("Alarm-SET (Space) opens the dialog"):
            self.open_dialog()
        with s("pick the alarm second with the keyboard, SET"):
            self.pick_alarm()
        with s("the alarm second: notice mapped, sink sounding"):
            self.alarm_comes()
        with s("OK hides the notice; the sound goes on for three lengths of belora.wav"):
            self.notice_ok()
        with s("CLOSE opens the quiz; the numbers read through AT-SPI"):
            self.open_quiz()
        with s("a wrong sum: wrong-answer window, One More"):
            self.answer(str(self.sum() + 1), WRONG)
        with s("a non-number: program alive, wrong-answer window, One More"):
            self.answer("abc", WRONG)
        with s("the right sum: correct-answer window"):
            self.right_answer()
        with s("Wave Stop: exit status 0, the recording goes silent"):
            self.wave_stop()

    def main_window(self):
        self.check_names(MAIN, self.main)
        def time_display():
            labels = [c for c in a11y.controls(self.main) if c.get_role() == LABEL]
            times = [c for c in labels if re.fullmatch(r"\d{1,2}:\d\d:\d\d", c.get_name())]
            return times[0] if len(times) == 1 else None
        self.label2 = self.tree.wait("a time display (Label2) in the main window", time_display, 5)
        if a11y.text_of(self.label2) != self.label2.get_name():
            raise StepFailed(f"Label2 reads {a11y.text_of(self.label2)!r}")
        self.label3 = a11y.find(self.main, LABEL, "None")
        self.steps.note(f"program clock at the first look: {self.label2.get_name()}")
        mark = len(self.tree.events)
        self.tree.wait("the time display announcing its new caption as a text change", lambda: any(
            e.role == "label" and re.fullmatch(r"\d{1,2}:\d\d:\d\d", e.data or "")
            for e in self.tree.events_since(mark, "object:text-changed:insert")), 3)
        self.program_started = self.rec.now()
        self.active(MAIN)
        self.expect_focus(self.main, "CLOSE")
        self.shot("main")
        for name, key in (("Alarm-SET", "Tab"), ("Wave Test", "Tab"), ("CLOSE", "Tab"),
                          ("Wave Test", "shift+Tab"), ("Alarm-SET", "shift+Tab")):
            self.expect_focus(self.main, name, after=[key])

    def open_dialog(self):
        self.press(MAIN, "space")
        self.dialog = self.mapped(DIALOG)
        self.active(DIALOG)
        self.check_names(DIALOG, self.dialog)
        combos = sorted((c for c in a11y.controls(self.dialog)
                         if c.get_role() == Atspi.Role.COMBO_BOX), key=a11y.left_edge)
        if len(combos) != 3:
            raise StepFailed(f"the dialog has {len(combos)} lists, not 3")
        for combo, unit in zip(combos, "時分秒"):
            if a11y.labels_of(combo) != [unit]:
                raise StepFailed(f"the list showing {combo.get_name()!r} is labelled by "
                                 f"{a11y.labels_of(combo)}, not by {unit!r}")
        self.combos = combos
        self.expect_focused(combos[0], "the hour list")
        self.shot("dialog")

    def pick_alarm(self):
        opened = "{}:{}:{}".format(*(c.get_name() for c in self.combos))
        self.target = seconds_of(opened) + LEAD
        wanted = [str(self.target // 3600 % 24), f"{self.target // 60 % 60:02d}",
                  f"{self.target % 60:02d}"]
        self.steps.note(f"dialog preselected {opened}; alarm picked at {time_text(self.target)}")
        sizes = (24, 60, 60)
        for i, (combo, value, size) in enumerate(zip(self.combos, wanted, sizes)):
            if i:
                self.expect_focused(combo, f"list {i + 1}", after=["Tab"])
            moves = list_keys(int(combo.get_name()), int(value), size)
            if moves:
                self.press(DIALOG, *moves)
            self.tree.wait(f"list showing {value!r}", lambda c=combo, v=value: c.get_name() == v, 5)
        self.expect_focus(self.dialog, "SET", after=["Tab"])
        if self.clock() >= self.target:
            raise StepFailed(f"the program's clock ({self.label2.get_name()}) reached the alarm "
                             f"{time_text(self.target)} before SET: the machine is too slow")
        mark = len(self.tree.events)
        self.press(DIALOG, "space")
        self.set_at = self.rec.now()
        self.unmapped(DIALOG)
        self.tree.wait("Label3 showing the alarm time",
                       lambda: self.label3.get_name() == time_text(self.target), 5)
        if a11y.text_of(self.label3) != time_text(self.target):
            raise StepFailed(f"Label3 reads {a11y.text_of(self.label3)!r}")
        self.tree.wait("the new caption of Label3 announced as a text change", lambda: any(
            e.data == time_text(self.target) and e.role == "label"
            for e in self.tree.events_since(mark, "object:text-changed:insert")), 3)
        self.steps.note(f"SET at program time {self.label2.get_name()}")
        self.shot("alarm-set")

    def alarm_comes(self):
        wait = self.target - self.clock() + 5
        notice = self.mapped(NOTICE, wait)
        shown_at = self.clock()
        if shown_at not in (self.target, self.target + 1):
            raise StepFailed(f"notice mapped at program time {time_text(shown_at)}, "
                             f"alarm set for {time_text(self.target)}")
        seen = self.rec.now()
        self.tree.wait("sound on the null sink",
                       lambda: self.rec.sounding(self.rec.now() - 0.2, self.rec.now()), 5)
        onset = self.set_at
        while onset < self.rec.now() and not self.rec.sounding(onset, onset + 0.02):
            onset += 0.01
        if not self.rec.silent(self.program_started, onset - 0.05):
            raise StepFailed("the null sink played something before the alarm second")
        self.steps.note(f"notice mapped at program time {time_text(shown_at)}; the recorded "
                        f"sound began {onset - seen:+.2f} s from seeing the notice mapped")
        self.check_names(NOTICE, notice)
        self.shot("notice")
        self.notice = notice

    def notice_ok(self):
        # OK within the alarm second would be undone by the next tick of that second.
        self.tree.wait("the alarm second to pass", lambda: self.clock() > self.target, 3)
        self.active(NOTICE)
        self.expect_focus(self.notice, "OK")
        self.press(NOTICE, "space")
        self.unmapped(NOTICE)
        start = self.rec.now()
        span = 3 * self.wave_length
        self.tree.wait(f"{span:.1f} s of recording after OK",
                       lambda: self.rec.now() >= start + span + 0.3, span + 10)
        quiet = self.rec.quiet_stretches(start, start + span)
        if quiet:
            raise StepFailed(f"the alarm sound paused after OK, at {quiet} s of the recording")
        if desktop.visible_windows(NOTICE):
            raise StepFailed("the notice came back after OK")
        self.alive()
        self.steps.note(f"sound went on for {self.rec.now() - start:.1f} s after OK "
                        f"(RMS {self.rec.rms(start, start + span):.3f})")

    def open_quiz(self):
        self.active(MAIN)
        self.expect_focus(self.main, "CLOSE", after=["shift+Tab"])
        self.press(MAIN, "space")
        self.quiz = self.mapped(QUIZ)
        self.active(QUIZ)
        self.check_names(QUIZ, self.quiz)
        self.expect_focus(self.quiz, "OK")
        self.steps.note("quiz shows {} + {}".format(*self.numbers()))
        self.shot("quiz")

    def numbers(self):
        """The two numbers as a screen reader reads them, left to right."""
        found = sorted((c for c in a11y.controls(self.quiz) if c.get_role() == LABEL
                        and re.fullmatch(r"\d\d", c.get_name())), key=a11y.left_edge)
        if len(found) != 2:
            raise StepFailed(f"the quiz shows no two numbers: {a11y.describe(self.quiz)}")
        values = [int(a11y.text_of(label)) for label in found]
        if not all(10 <= v <= 99 for v in values):
            raise StepFailed(f"quiz numbers {values} outside 10 to 99")
        return values

    def sum(self):
        return sum(self.numbers())

    def type_answer(self, answer):
        self.active(QUIZ)
        self.expect_focus(self.quiz, "OK")
        self.expect_focus(self.quiz, "CANCEL", after=["Tab"])
        box = a11y.find(self.quiz, Atspi.Role.TEXT)
        self.expect_focused(box, "the answer box", after=["Tab"])
        desktop.keys("ctrl+a", "BackSpace")
        desktop.type_text(answer)
        self.tree.wait(f"answer box reading {answer!r}", lambda: a11y.text_of(box) == answer, 5)
        self.expect_focus(self.quiz, "CANCEL", after=["shift+Tab"])
        self.expect_focus(self.quiz, "OK", after=["shift+Tab"])
        self.press(QUIZ, "space")

    def answer(self, answer, outcome):
        before = self.numbers()
        self.type_answer(answer)
        window = self.mapped(outcome, 5)
        self.alive()
        self.check_names(outcome, window)
        if not desktop.visible_windows(QUIZ):
            raise StepFailed("the quiz went away after a wrong answer")
        self.shot("wrong-" + ("number" if answer.isdigit() else "text"))
        self.active(WRONG)
        self.expect_focus(window, "One More")
        self.press(WRONG, "space")
        self.unmapped(WRONG)
        box = a11y.find(self.quiz, Atspi.Role.TEXT)
        if a11y.text_of(box) != answer:
            raise StepFailed(f"after One More the answer box reads {a11y.text_of(box)!r}")
        if self.numbers() != before:
            self.steps.note("the quiz drew new numbers meanwhile (its 30-second redraw)")

    def right_answer(self):
        for attempt in (1, 2):
            numbers = self.numbers()
            self.type_answer(str(sum(numbers)))
            self.tree.wait("a result window",
                           lambda: desktop.visible_windows(RIGHT) or desktop.visible_windows(WRONG), 5)
            if desktop.visible_windows(RIGHT):
                break
            # The 30-second redraw may have replaced the numbers while typing.
            if attempt == 2 or self.numbers() == numbers:
                raise StepFailed(f"the sum {sum(numbers)} of {numbers} was taken as wrong")
            self.steps.note("the quiz drew new numbers while the answer was typed; answered again")
            self.press(WRONG, "space")
            self.unmapped(WRONG)
        self.right = self.mapped(RIGHT)
        self.check_names(RIGHT, self.right)
        self.unmapped(QUIZ)
        self.shot("right")

    def wave_stop(self):
        self.active(RIGHT)
        self.expect_focus(self.right, "Wave Stop")
        stopped = self.rec.now()
        if not self.rec.sounding(stopped - 0.5, stopped):
            raise StepFailed("the alarm sound was not playing before Wave Stop")
        self.tree.guard = None  # from here on the program is meant to end
        self.press(RIGHT, "space")
        try:
            status = self.program.wait(10)
        except subprocess.TimeoutExpired:
            raise StepFailed("the program did not end within 10 s of Wave Stop") from None
        if status != 0:
            raise StepFailed(f"the program ended with status {status}")
        self.tree.wait("a second of silence on the null sink",
                       lambda: self.rec.silent(self.rec.now() - 1.0, self.rec.now()), 10)
        end = self.rec.now()
        t = stopped
        while t < end and not self.rec.silent(t, end):
            t += 0.02
        self.steps.note(f"sound ended {t - stopped:.2f} s after Wave Stop; exit status {status}")
        for title in (MAIN, QUIZ, RIGHT, WRONG, NOTICE):
            if desktop.visible_windows(title):
                raise StepFailed(f"window {title!r} still mapped after the end")


def list_keys(current, wanted, size):
    """The shortest keys that move a closed drop-down list from one entry to another."""
    options = [
        ["Down"] * (wanted - current) if wanted >= current else ["Up"] * (current - wanted),
        ["Home"] + ["Down"] * wanted,
        ["End"] + ["Up"] * (size - 1 - wanted),
    ]
    return min(options, key=len)
