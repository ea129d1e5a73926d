"""The Wine virtual desktop that screens are shown in when they are photographed: there the title
bars are drawn as on Windows, but the screens are no X windows of their own, only the desktop is.

A desktop closes on its own about a second after the last program in it has ended, when Wine
closes the explorer that opened it. A program started in that second joins the desktop that is
closing and is never shown: the display goes black and stays so. A slow machine makes that
second easy to hit. So a program that is to open the desktop anew first waits until the explorer
that opened the last one has exited; only a program started while another is still running in the
desktop joins it.
"""
import subprocess

from trevask import ScenarioFailure
from trevask.display import xdotool
from trevask.waiting import step_seconds, wait_for

SIZE = (640, 480)
NAME = "trevask"
TITLE = f"{NAME} - Wine desktop"


class Desktop:
    def __init__(self, env):
        self.env = env  # the prefix's Wine environment, on the session's display
        self.opener = None  # the explorer that opened the desktop last; it exits once the desktop closes

    def launch(self, command, joining, env=None, **popen):
        """Starts a Wine command line in the desktop, joining the open one or, once the last one has
        closed, opening it anew; env, by default the prefix's. Returns the explorer's process: the
        opener, or one that ends at once."""
        if not joining and self.opener:
            try:
                self.opener.wait(timeout=step_seconds())
            except subprocess.TimeoutExpired:
                raise ScenarioFailure(f"the Wine desktop did not close within {step_seconds():.0f} s "
                                      "of the last program in it")
        process = subprocess.Popen(["wine", "explorer", f"/desktop={NAME},{SIZE[0]}x{SIZE[1]}", *command],
                                   env=env or self.env, start_new_session=True, **popen)
        if not joining:
            self.opener = process
        return process

    def find_window(self):
        """The desktop's X window, or None while it is not shown."""
        ids = xdotool(self.env, "search", "--onlyvisible", "--name", f"^{TITLE}$", check=False).split()
        return ids[-1] if ids else None

    def window(self):
        return wait_for("the Wine desktop", self.find_window)

    def press(self, window, *keys):
        """Keys for the screen in front: the desktop's X window takes them through the X input focus."""
        xdotool(self.env, "windowfocus", "--sync", window)
        xdotool(self.env, "key", *keys)
