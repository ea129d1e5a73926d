"""A virtual X display for Wine to draw on (Xvfb), its screenshots, and xdotool's keys and clicks on it."""
import os
import subprocess

from trevask import ScenarioFailure
from trevask.waiting import step_seconds


def xdotool(env, *args, check=True):
    """Runs xdotool on the display env names and returns what it printed; one that hangs (a --sync
    that never comes true) fails the scenario instead of stalling it."""
    timeout = step_seconds()
    try:
        return subprocess.run(["xdotool", *args], env=env, capture_output=True, text=True, check=check,
                              timeout=timeout).stdout
    except subprocess.TimeoutExpired:
        raise ScenarioFailure(f"xdotool {' '.join(args)} did not finish within {timeout:.0f} s")


SIZE = "1024x768x24"


class Display:
    """An Xvfb server on a free display number."""

    def __init__(self):
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", SIZE, "-nolisten", "tcp"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as pipe:
            number = pipe.readline().strip()
        if not number:
            raise ScenarioFailure("Xvfb did not start")
        self.name = f":{number}"

    def screenshot(self, path, window="root"):
        timeout = step_seconds()
        try:
            subprocess.run(["import", "-display", self.name, "-window", window, path],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False, timeout=timeout)
        except subprocess.TimeoutExpired:
            raise ScenarioFailure(f"no screenshot of window {window} within {timeout:.0f} s: is it still there?")

    def close(self):
        self.process.terminate()
        self.process.wait(timeout=step_seconds())
