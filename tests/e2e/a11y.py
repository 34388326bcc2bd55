"""The program as a screen reader sees it: the AT-SPI tree of its windows, and the
events it announces. Import this only after the session bus is set in the
environment: the accessibility client connects when it is loaded."""

import time

import gi  # the AT-SPI client library (from python3-pyatspi's dependencies)

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

from desktop import StepFailed, wait_for  # noqa: E402

Atspi.init()


class Event:
    def __init__(self, kind, role, name, data):
        self.kind, self.role, self.name, self.data = kind, role, name, data

    def __repr__(self):
        return f"{self.kind} {self.role} {self.name!r} {self.data!r}"


class Tree:
    """The accessibility tree of one application, read without the client's cache,
    and the announcements (text changes, name changes, window activations) seen so far."""

    KINDS = ("object:text-changed:insert", "object:property-change:accessible-name",
             "window:activate")

    def __init__(self):
        self.events = []
        self.app = None
        self.guard = None
        self._listener = Atspi.EventListener.new(self._record)
        for kind in self.KINDS:
            self._listener.register(kind)

    def _record(self, event):
        try:
            source = event.source
            data = event.any_data if isinstance(event.any_data, str) else None
            self.events.append(Event(event.type, source.get_role_name(), source.get_name(), data))
        except GLib.Error:
            pass  # the object went away meanwhile

    def pump(self, seconds):
        """Lets time pass while the announcements are taken in."""
        context = GLib.MainContext.default()
        deadline = time.monotonic() + seconds
        while True:
            while context.pending():
                context.iteration(False)
            if time.monotonic() >= deadline:
                return
            time.sleep(min(0.01, max(0.0, deadline - time.monotonic())))

    def wait(self, what, predicate, timeout):
        def checked():
            if self.guard:
                self.guard()  # fails at once when the program has gone
            return predicate()
        return wait_for(what, checked, timeout, idle=self.pump)

    def attach(self, name, timeout):
        def find():
            desktop = Atspi.get_desktop(0)
            for i in range(desktop.get_child_count()):
                app = desktop.get_child_at_index(i)
                if app is not None and app.get_name() == name:
                    return app
            return None
        self.app = self.wait(f"application {name!r} on the accessibility bus", find, timeout)
        self.app.set_cache_mask(Atspi.Cache.NONE)
        return self.app

    def window(self, title, timeout=10):
        """The showing window with this title."""
        def find():
            for i in range(self.app.get_child_count()):
                child = self.app.get_child_at_index(i)
                if child is not None and child.get_name() == title and showing(child):
                    return child
            return None
        return self.wait(f"window {title!r} in the accessibility tree", find, timeout)

    def has_window(self, title):
        for i in range(self.app.get_child_count()):
            child = self.app.get_child_at_index(i)
            if child is not None and child.get_name() == title and showing(child):
                return True
        return False

    def events_since(self, mark, kind):
        return [e for e in self.events[mark:] if e.kind == kind]


def showing(acc):
    return acc.get_state_set().contains(Atspi.StateType.SHOWING)


def has_state(acc, state):
    return acc.get_state_set().contains(state)


def controls(window):
    """The controls of a window, in the tree's order (the items of lists left out)."""
    found = []

    def walk(acc):
        for i in range(acc.get_child_count()):
            child = acc.get_child_at_index(i)
            if child is None:
                continue
            found.append(child)
            if child.get_role() != Atspi.Role.COMBO_BOX:
                walk(child)
    walk(window)
    return found


def find(window, role, name=None):
    matches = [c for c in controls(window)
               if c.get_role() == role and (name is None or c.get_name() == name)]
    if not matches:
        raise StepFailed(f"no {Atspi.Role(role).value_nick} named {name!r} in {window.get_name()!r}; "
                         f"the window holds {describe(window)}")
    return matches[0]


def focused(window):
    for control in controls(window):
        if has_state(control, Atspi.StateType.FOCUSED):
            return control
    return None


def focused_name(window):
    control = focused(window)
    return control.get_name() if control is not None else None


def text_of(acc):
    """What a screen reader reads as the object's text (its text interface)."""
    text = acc.get_text_iface()
    if text is None:
        raise StepFailed(f"{acc.get_role_name()} {acc.get_name()!r} has no readable text")
    return text.get_text(0, text.get_character_count())


def labels_of(acc):
    """The names of the labels that label this control (labelled-by relations)."""
    names = []
    for relation in acc.get_relation_set():
        if relation.get_relation_type() == Atspi.RelationType.LABELLED_BY:
            for i in range(relation.get_n_targets()):
                names.append(relation.get_target(i).get_name())
    return names


def left_edge(acc):
    return acc.get_extents(Atspi.CoordType.SCREEN).x


def describe(window):
    return ", ".join(f"{c.get_role_name()} {c.get_name()!r}" for c in controls(window))
