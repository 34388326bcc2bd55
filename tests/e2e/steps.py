"""Named steps with their timings, and what a failed step leaves behind."""

import contextlib
import time

from desktop import StepFailed


class Steps:
    def __init__(self):
        self.started = time.monotonic()
        self.rows = []  # (name, start, seconds)
        self.failed = None
        self.notes = []

    @contextlib.contextmanager
    def step(self, name):
        start = time.monotonic() - self.started
        print(f"[{start:7.2f} s] {name}", flush=True)
        try:
            yield
        except Exception as error:
            self.failed = name
            if isinstance(error, StepFailed):
                raise
            raise StepFailed(f"{type(error).__name__}: {error}") from error
        seconds = time.monotonic() - self.started - start
        self.rows.append((name, start, seconds))
        print(f"            done in {seconds:.2f} s", flush=True)

    def note(self, text):
        """A figure worth keeping, printed now and again in the summary."""
        self.notes.append(text)
        print(f"            {text}", flush=True)

    def summary(self):
        print("\nStep timings (seconds from the start of the test, duration):")
        for name, start, seconds in self.rows:
            print(f"  {start:7.2f}  {seconds:6.2f}  {name}")
        print(f"  total {time.monotonic() - self.started:.2f} s")
        if self.notes:
            print("Figures:")
            for text in self.notes:
                print(f"  {text}")
