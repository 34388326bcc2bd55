#!/usr/bin/python3
"""The road of one alarm, end to end: the installed clock in a private desktop
session, under a faked wall clock, driven only by key presses and read only
through the accessibility tree, the X server and the sound server.

  alarm_road.py --build-dir BUILD --source-dir SOURCE --artifacts DIR

Screenshots, the recording of the sound output and the program's output are kept
in DIR. Each step prints its timing; a failed step is named with those paths.
"""

import argparse
import glob
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # leave the source tree as it is
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import desktop  # noqa: E402
from desktop import StepFailed  # noqa: E402
from steps import Steps  # noqa: E402

# The faked wall clock starts a few seconds before a whole minute.
FAKE_START = "2024-01-15 06:59:54"


def install(cmake, build_dir, prefix):
    desktop.run([cmake, "--install", build_dir, "--prefix", prefix])
    binary = os.path.join(prefix, "bin", "zelmoro")
    sound = os.path.join(prefix, "share", "zelmoro", "belora.wav")
    for path in (binary, sound):
        if not os.path.isfile(path):
            raise StepFailed(f"{path} is missing after the install")
    return binary, float(desktop.run(["soxi", "-D", sound]).strip())


def start_program(binary, work, artifacts):
    preload = glob.glob("/usr/lib/*/faketime/libfaketime.so.1")
    if not preload:
        raise StepFailed("libfaketime.so.1 is not installed")
    home = os.path.join(work, "home")
    run_dir = os.path.join(work, "run")  # holds no sound file: the installed one is found
    os.makedirs(home, exist_ok=True)
    os.makedirs(run_dir, exist_ok=True)
    env = {key: os.environ[key] for key in
           ("PATH", "DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "PULSE_SERVER", "XDG_RUNTIME_DIR")}
    env.update(HOME=home, LANG="C.UTF-8", LD_PRELOAD=preload[0], FAKETIME="@" + FAKE_START,
               FAKETIME_DONT_FAKE_MONOTONIC="1")
    log = open(os.path.join(artifacts, "zelmoro.log"), "w")
    return subprocess.Popen([binary], cwd=run_dir, env=env, stdout=log, stderr=subprocess.STDOUT)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--source-dir", required=True)
    parser.add_argument("--artifacts", required=True)
    parser.add_argument("--cmake", default="cmake")
    args = parser.parse_args()

    artifacts = os.path.abspath(args.artifacts)
    shutil.rmtree(artifacts, ignore_errors=True)
    os.makedirs(artifacts)
    work = tempfile.mkdtemp(prefix="zelmoro-e2e-")
    session = desktop.Session(os.path.abspath(args.source_dir), os.path.join(work, "session"))
    recorder = None
    program = None
    steps = Steps()
    print(f"Screenshots, recording and program output go to {artifacts}", flush=True)
    try:
        with steps.step("install the built tree into a temporary prefix"):
            binary, wave_length = install(args.cmake, os.path.abspath(args.build_dir),
                                          os.path.join(work, "prefix"))
            steps.note(f"belora.wav lasts {wave_length:.2f} s (soxi)")
        with steps.step("start Xvfb, openbox, session and accessibility buses, PulseAudio"):
            session.start()
        with steps.step("record the null sink"):
            recorder = desktop.Recorder(session.env["ZELMORO_TEST_SINK"],
                                        os.path.join(work, "recording.raw"))
            recorder.start()
        with steps.step(f"start the installed program at a faked {FAKE_START}"):
            program = start_program(binary, work, artifacts)
            # The accessibility client connects to this session's bus when loaded.
            import a11y
            from road import Road
            road = Road(steps, a11y.Tree(), recorder, program, artifacts, wave_length)
            road.wait_for_main_window()
        road.run()
    except StepFailed as failure:
        print(f"\nFAILED in step \"{steps.failed}\": {failure}", file=sys.stderr)
        print(f"  screenshots and program output: {artifacts}", file=sys.stderr)
        print(f"  recording of the sound output: {os.path.join(artifacts, 'recording.wav')}",
              file=sys.stderr)
        if program is not None and program.poll() is None:
            desktop.screenshot(os.path.join(artifacts, "failure.png"))
        return_code = 1
    else:
        return_code = 0
    finally:
        if program is not None and program.poll() is None:
            program.kill()
            program.wait()
        if recorder is not None:
            recorder.stop(os.path.join(artifacts, "recording.wav"))
        for log in ("pulse.log", "openbox.log", "xvfb.log", "a11y.log"):
            source = os.path.join(session.directory, log)
            if os.path.exists(source):
                shutil.copy(source, os.path.join(artifacts, "session-" + log))
        session.stop()
        shutil.rmtree(work, ignore_errors=True)
        steps.summary()
    return return_code


if __name__ == "__main__":
    time.tzset()
    sys.exit(main())
