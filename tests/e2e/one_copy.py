#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""One copy per display, with the installed program in the private desktop: a
second start shows the minimized first copy again, through the session bus and,
without one, through the local socket, and leaves no bus of its own behind; with
no display the program says so and ends with status 1.

  one_copy.py CMAKE BUILD_DIR SOURCE_DIR"""

import contextlib, os, re, subprocess, sys, tempfile, time  # noqa: E401

from alarm_road import MAIN, check, desktop_test, install, run, start_session, step, wait_for, window_id


def zelmoro(binary, bus, **env):
    """Starts the program with the session's bus or with none; what it says is kept."""
    kept = ("PATH", "HOME", "DISPLAY", "XDG_RUNTIME_DIR") + ("DBUS_SESSION_BUS_ADDRESS",) * bus
    env = dict({k: os.environ[k] for k in kept if k in os.environ}, **env)
    return subprocess.Popen([binary], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                            text=True)


def on_display(name):
    """The processes of this program on the session's display (the machine runs others)."""
    display, found = f"DISPLAY={os.environ['DISPLAY']}".encode(), set()
    for pid in filter(str.isdigit, os.listdir("/proc")):
        with contextlib.suppress(OSError), open(f"/proc/{pid}/environ", "rb") as environ:
            if os.readlink(f"/proc/{pid}/exe").endswith(name) \
                    and display in environ.read().split(b"\0"):
                found.add(pid)
    return found


def shown_again(binary, bus):
    buses, first = on_display("/dbus-daemon"), zelmoro(binary, bus)  # its pipe is never full
    try:
        xid = window_id(MAIN)

        def state():  # as the window manager keeps it
            return run(["xprop", "-id", xid, "WM_STATE", "_NET_WM_STATE"])
        # Minimized again if a request of the program's start (its activation) undid it.
        minimize = ["xdotool", "windowminimize", "--sync", xid]
        wait_for("the main window staying minimized", lambda: run(minimize) is not None
                 and not time.sleep(0.3) and "Iconic" in state() and "HIDDEN" in state())
        second = zelmoro(binary, bus)
        check(second.wait(10) == 0, f"second start: {second.returncode}, {second.stderr.read()}")
        wait_for("the main window shown", lambda: "Normal" in state() and "HIDDEN" not in state())
        wait_for("the main window active", lambda: run(["xdotool", "getactivewindow"]).strip() == xid)
        check(on_display("/zelmoro") == {str(first.pid)}, f"copies running: {on_display('/zelmoro')}")
        if not bus:  # no bus of its own, started for the program
            check(on_display("/dbus-daemon") == buses, f"buses: {on_display('/dbus-daemon') - buses}")
    finally:
        first.terminate()
        first.wait(10)


def main(cmake, build_dir, source_dir):
    def one_copy():
        with tempfile.TemporaryDirectory(prefix="zelmoro-one-") as work, contextlib.ExitStack() as stop:
            binary = install(cmake, build_dir, work)
            with step("no display, or one that does not answer: one line, status 1"):
                os.environ.pop("DISPLAY", None)  # until the private desktop's own
                for display in ({}, {"DISPLAY": ":999"}):
                    program = zelmoro(binary, False, **display)
                    said = program.communicate(timeout=10)[1]
                    check(program.returncode == 1, f"status {program.returncode} with {display}")
                    check(re.fullmatch(r"zelmoro: Zelmoro needs a graphical session, and no display "
                                       r"could be reached \(DISPLAY( unset|=:999), WAYLAND_DISPLAY "
                                       r"unset\)\n", said), said)
            start_session(source_dir, f"{work}/session", stop)
            for bus in (True, False):
                with step(f"{'bus' if bus else 'no bus: the socket'}: a second start shows the "
                          "minimized first copy, status 0, no bus left running"):
                    shown_again(binary, bus)
    return desktop_test(one_copy)


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
