#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""One copy per display, with the installed program in the private desktop: a
second start shows the minimized first copy again, through the session bus and,
without one, through the local socket, and leaves no bus of its own behind; with
no display the program says so and ends with status 1.

  one_copy.py CMAKE BUILD_DIR SOURCE_DIR"""

import contextlib
import os
import re
import shutil
import subprocess
import sys
import tempfile

from alarm_road import MAIN, StepFailed, check, missing_tools, run, start_session, step, wait_for, wait_window

KEPT = ("PATH", "HOME", "DISPLAY", "XDG_RUNTIME_DIR", "PULSE_SERVER")


def zelmoro(binary, bus, wait=None, **extra):
    """Starts the program with the session's bus or with none; waiting, runs it to its end."""
    env = dict({k: os.environ[k] for k in KEPT if k in os.environ}, LANG="C.UTF-8", **extra)
    if bus:
        env["DBUS_SESSION_BUS_ADDRESS"] = os.environ["DBUS_SESSION_BUS_ADDRESS"]
    if wait:
        return subprocess.run([binary], env=env, capture_output=True, text=True, timeout=wait)
    return subprocess.Popen([binary], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def running(name):
    """The processes of this program on the session's display (the machine may run others)."""
    found = set()
    for pid in filter(str.isdigit, os.listdir("/proc")):
        with contextlib.suppress(OSError), open(f"/proc/{pid}/environ", "rb") as environ:
            if f"DISPLAY={os.environ['DISPLAY']}".encode() in environ.read().split(b"\0") and \
                    os.path.basename(os.readlink(f"/proc/{pid}/exe")) == name:
                found.add(pid)
    return found


def shown_again(binary, bus):
    first = zelmoro(binary, bus)
    try:
        xid = wait_window(MAIN)
        run(["xdotool", "windowminimize", "--sync", xid])
        wait_for("the main window minimized", lambda: "HIDDEN" in run(["xprop", "-id", xid, "_NET_WM_STATE"]))
        second = zelmoro(binary, bus, wait=10)
        check(second.returncode == 0, f"second start ended with {second.returncode}: {second.stderr}")
        wait_for("the main window shown, not minimized", lambda: "Normal" in run(["xprop", "-id", xid, "WM_STATE"])
                 and "HIDDEN" not in run(["xprop", "-id", xid, "_NET_WM_STATE"]))
        wait_for("the main window active", lambda: run(["xdotool", "getactivewindow"]).strip() == xid)
        check(first.poll() is None and running("zelmoro") == {str(first.pid)}, f"copies: {running('zelmoro')}")
    finally:
        first.terminate()
        first.wait(10)


def main(cmake, build_dir, source_dir):
    missing = missing_tools()
    if missing:
        print(f"SKIP: the private desktop needs what is not installed: {', '.join(missing)}")
        return 77
    work = tempfile.mkdtemp(prefix="zelmoro-one-")
    try:
        with contextlib.ExitStack() as cleanup:
            cleanup.callback(shutil.rmtree, work, ignore_errors=True)
            binary = f"{work}/prefix/bin/zelmoro"
            run([cmake, "--install", os.path.abspath(build_dir), "--prefix", f"{work}/prefix"])
            with step("no display: one line naming DISPLAY and WAYLAND_DISPLAY, status 1"):
                for display in ({}, {"DISPLAY": ":999"}):
                    ended = zelmoro(binary, False, wait=10, **display)
                    check(ended.returncode == 1, f"status {ended.returncode} with {display}")
                    check(re.fullmatch(r"zelmoro: Zelmoro needs a graphical session, and no display could be "
                                       r"reached \(DISPLAY.*, WAYLAND_DISPLAY unset\)\n", ended.stderr),
                          f"said {ended.stderr!r}")
            cleanup.callback(subprocess.run, [f"{source_dir}/scripts/session.sh", "stop", f"{work}/session"])
            start_session(os.path.abspath(source_dir), f"{work}/session")
            with step("through the bus: a second start shows the minimized first copy and ends with 0"):
                shown_again(binary, bus=True)
            with step("no bus: the same through the socket, and no bus is left running"):
                before = running("dbus-daemon")
                shown_again(binary, bus=False)
                check(running("dbus-daemon") == before, f"buses left running: {running('dbus-daemon') - before}")
        return 0
    except StepFailed as failure:
        print(f"\nFAILED {failure}", file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
