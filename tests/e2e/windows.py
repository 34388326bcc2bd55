"""The windows of the program as the end-to-end test meets them: what each must
look like to the window manager and to a screen reader, and how the test waits
for them, moves the focus in them and presses keys in them."""

import os
import re

import a11y
import desktop
from a11y import Atspi
from desktop import StepFailed

MAIN, DIALOG, NOTICE = "Zelmoro", "Alarm - Set", "時間ですよ～"
QUIZ, RIGHT, WRONG = "本当に起きてるの??", "正解です", "間違えています"
BUTTON, LABEL = Atspi.Role.PUSH_BUTTON, Atspi.Role.LABEL

# What a screen reader must find in each window: buttons with their spoken
# descriptions (the tooltips), and labels whose text reads like their name.
NAMES = {
    MAIN: ({"Wave Test": "音が鳴るかテストします", "Alarm-SET": "アラームのなる時間をＳＥＴします",
            "CLOSE": "終了します"}, ["Now", "Alarm"]),
    DIALOG: ({"SET": "", "Cancel": ""}, ["時", "分", "秒"]),
    NOTICE: ({"OK": ""}, ["起きろ～"]),
    QUIZ: ({"OK": "", "CANCEL": ""}, ["+", "="]),
    RIGHT: ({"Wave Stop": ""}, ["おはようございます"]),
    WRONG: ({"One More": ""}, ["あなたの脳は未だ寝てます"]),
}

# The role each window has for a screen reader: a window with a taskbar entry is
# a frame, the small windows without one are dialogs.
ROLES = {MAIN: "frame", NOTICE: "frame", QUIZ: "frame",
         DIALOG: "dialog", RIGHT: "dialog", WRONG: "dialog"}

# Client areas of the layouts in twips, at 15 twips to the pixel (96 dpi).
CLIENT_TWIPS = {MAIN: (4128, 6816), DIALOG: (3744, 1356), NOTICE: (3168, 1488),
                QUIZ: (2844, 1392), RIGHT: (3936, 1476), WRONG: (3912, 1452)}

def seconds_of(time_text):
    match = re.fullmatch(r"(\d{1,2}):(\d\d):(\d\d)", time_text or "")
    if not match:
        raise StepFailed(f"{time_text!r} is not a time text")
    h, m, s = (int(g) for g in match.groups())
    return h * 3600 + m * 60 + s


def time_text(seconds):
    seconds %= 86400
    return f"{seconds // 3600}:{seconds // 60 % 60:02d}:{seconds % 60:02d}"


class Windows:
    def __init__(self, steps, tree, recorder, program, artifacts):
        self.steps, self.tree, self.rec, self.program = steps, tree, recorder, program
        self.artifacts = artifacts
        self.shots = 0
        self.seen = set()
        tree.guard = self.alive

    def alive(self):
        if self.program.poll() is not None:
            raise StepFailed(f"the program ended with status {self.program.returncode}")

    def shot(self, name):
        self.shots += 1
        desktop.screenshot(os.path.join(self.artifacts, f"{self.shots:02d}-{name}.png"))

    def mapped(self, title, timeout=10):
        """Waits for the X window with this title to be mapped; its accessible window."""
        self.tree.wait(f"mapped window {title!r}", lambda: desktop.visible_windows(title), timeout)
        window = self.tree.window(title)
        if title not in self.seen:
            self.seen.add(title)
            self.check_frame(title)
        if window.get_role_name() != ROLES[title]:
            raise StepFailed(f"window {title!r} is a {window.get_role_name()}, not a {ROLES[title]}")
        return window

    def check_frame(self, title):
        """The client area has the layout's size and the window cannot be resized;
        what the window manager made of the window is kept in windows.txt."""
        facts, props = desktop.window_facts(desktop.visible_windows(title)[0])
        with open(os.path.join(self.artifacts, "windows.txt"), "a", encoding="utf-8") as out:
            out.write(f"== {title}\n{facts}\n{props}\n")
        width, height = (round(twips / 15) for twips in CLIENT_TWIPS[title])
        size = (int(facts["Width"]), int(facts["Height"]))
        if size != (width, height):
            raise StepFailed(f"window {title!r} has a client area of {size}, not {(width, height)}")
        for bound in ("minimum", "maximum"):
            if f"program specified {bound} size: {width} by {height}" not in props:
                raise StepFailed(f"window {title!r} can be resized: {props}")

    def unmapped(self, title, timeout=5):
        self.tree.wait(f"window {title!r} to go away",
                       lambda: not desktop.visible_windows(title), timeout)

    def active(self, title):
        """Makes the window the active one, as a click on it would, if it is not yet."""
        window = self.tree.window(title)
        if not a11y.has_state(window, Atspi.StateType.ACTIVE):
            self.steps.note(f"window {title!r} was not active when shown; activated it")
            desktop.activate(desktop.visible_windows(title)[0])
            self.tree.wait(f"window {title!r} active",
                           lambda: a11y.has_state(window, Atspi.StateType.ACTIVE), 5)
        return window

    def expect_focus(self, window, name, after=None):
        if after:
            desktop.keys(*after)
        self.tree.wait(f"focus on {name!r} in {window.get_name()!r} (after {after or 'opening'})",
                       lambda: a11y.focused_name(window) == name, 5)

    def expect_focused(self, control, what, after=None):
        if after:
            desktop.keys(*after)
        self.tree.wait(f"focus on {what} (after {after or 'opening'})",
                       lambda: a11y.has_state(control, Atspi.StateType.FOCUSED), 5)

    def check_names(self, title, window):
        buttons, labels = NAMES[title]
        for name, description in buttons.items():
            button = a11y.find(window, BUTTON, name)
            if button.get_description() != description:
                raise StepFailed(f"button {name!r} is described as {button.get_description()!r}, "
                                 f"not {description!r}")
        for name in labels:
            label = a11y.find(window, LABEL, name)
            if a11y.text_of(label) != name:
                raise StepFailed(f"label {name!r} reads {a11y.text_of(label)!r}")

    def clock(self):
        """The program's own time, as Label2 shows it."""
        return seconds_of(self.label2.get_name())

    def press(self, title, *key_names):
        self.active(title)
        desktop.keys(*key_names)
