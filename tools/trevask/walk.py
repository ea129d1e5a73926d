"""Every screen of TREVASK.EXE shown in a Wine virtual desktop, where the title bars are drawn as
on Windows, each photographed once it is active and stops changing. trevask.legible judges the
screenshots.

The run command and the documentation's screenshots walk through the screens with it, and so does
the scenario that checks them from their pixels.
"""
import hashlib
import os
import re
import subprocess

from PIL import Image  # Debian's python3-pil

from trevask import ScenarioFailure, desktop
from trevask.display import xdotool
from trevask.resources import IDS as ID
from trevask.waiting import step_seconds, wait_for

# What each screenshot of all_screens shows: the screen in front (its template and message), and
# the messages of the screens partly hidden beneath it.
SHOTS = {
    "confirmation-add": (ID.IDD_CONFIRMATION, ID.IDS_ADD_PARAMETER, ()),
    "confirmation-remove": (ID.IDD_CONFIRMATION, ID.IDS_REMOVE_PARAMETER, ()),
    "changes-complete": (ID.IDD_CHANGES_COMPLETE, ID.IDS_RESTART_PROMPT, ()),
    "remove-floppies": (ID.IDD_REMOVE_FLOPPIES, ID.IDS_REMOVE_DISKETTES, (ID.IDS_RESTART_PROMPT,)),
    "already-running": (ID.IDD_ALREADY_RUNNING, ID.IDS_ALREADY_RUNNING, (ID.IDS_REMOVE_PARAMETER,)),
    "not-nt": (ID.IDD_NOT_NT, ID.IDS_NOT_NT, ()),
    "change-failed": (ID.IDD_CHANGE_FAILED, ID.IDS_CHANGE_FAILED, ()),
    "restart-failed": (ID.IDD_RESTART_FAILED, ID.IDS_RESTART_FAILED, ()),
}
# Pixels of the active caption's colour that show a screen drawn active: a caption bar has thousands.
ACTIVE_CAPTION_PIXELS = 100


class Walk:
    """Screens shown in the session's Wine desktop, photographed once they are active and stop
    changing."""

    def __init__(self, session, out):
        self.session = session
        self.out = out
        self.shown = {}  # screens of each program photographed so far
        self.raw = os.path.join(session.workdir, "raw.png")  # the latest screenshot of the desktop
        self.active_title = self.title_colour(session.prefix)
        os.makedirs(out, exist_ok=True)

    @staticmethod
    def title_colour(prefix):
        """The colour Wine draws the caption of the active screen in, as (r, g, b)."""
        _, text = prefix.run("reg", "query", r"HKCU\Control Panel\Colors", "/v", "ActiveTitle")
        match = re.search(r"ActiveTitle\s+REG_SZ\s+(\d+) (\d+) (\d+)", text)
        if not match:
            raise ScenarioFailure(f"cannot read the active caption's colour: {text!r}")
        return tuple(int(part) for part in match.groups())

    def photograph(self, window):
        self.session.display.screenshot(self.raw, window)
        return self.raw

    def showing_a_screen(self):
        """The Wine desktop's X window once a screen is drawn in its middle, or None."""
        window = self.session.desktop.find_window()
        if not window:
            return None
        if os.path.exists(self.raw):
            os.unlink(self.raw)
        try:
            image = Image.open(self.photograph(window)).convert("RGB")
        except (ScenarioFailure, OSError):  # the window went away while it was photographed
            return None
        width, height = image.size
        return window if image.getpixel((width // 2, height // 2)) != image.getpixel((1, 1)) else None

    def wait_still(self, window, what):
        """Takes screenshots of the desktop until two in a row are the same; returns the last."""
        last = [None]

        def still():
            with open(self.photograph(window), "rb") as f:
                digest = hashlib.sha256(f.read()).hexdigest()
            same, last[0] = digest == last[0], digest
            return same

        wait_for(f"{what} to be drawn", still, interval=0.3)
        return self.raw

    def save(self, window, name, what):
        # Only the screens, cut out of the plain desktop around them.
        path = os.path.join(self.out, f"{name}.png")
        subprocess.run(["convert", self.wait_still(window, what), "-trim", "+repage", "-strip", path], check=True,
                       timeout=step_seconds())
        print(f"  saved {path}")

    def activate(self, window, what):
        """Makes the screen in front active, as Windows shows a program the user has just started.

        Under Wine's virtual desktop a process's first screen comes up inactive (a grey caption) and
        stays so: it is its thread's active window but not the foreground one, so a click on it
        changes nothing. A click on the desktop first takes the foreground away from it; a click on
        the screen then makes it the foreground window, and Wine draws it active. Every screen is
        centred, so the middle of the desktop is the newest screen's message text, where a click
        presses no button."""
        corner, middle = (5, 5), (desktop.SIZE[0] // 2, desktop.SIZE[1] // 2)
        for x, y in (corner, middle):
            xdotool(self.session.prefix.env, "mousemove", "--window", window, str(x), str(y), "click", "1")

        def drawn_active():
            image = Image.open(self.photograph(window)).convert("RGB")
            return sum(count for count, colour in image.getcolors(image.width * image.height)
                       if colour == self.active_title) >= ACTIVE_CAPTION_PIXELS

        wait_for(f"{what} to be drawn active", drawn_active, interval=0.3)

    def step(self, program, name, keys):
        """Waits for the program's next screen, photographs it, and answers with keys."""
        shown = self.shown.get(program, 0)
        program.wait_running(f"the screen for {name}", lambda: len(program.texts()) > shown)
        self.shown[program] = shown + 1
        window = self.session.desktop.window()
        self.activate(window, name)
        self.save(window, name, name)
        if keys:
            program.press(window, *keys)


def typical_run(walk):
    session = walk.session
    program = session.start(in_desktop=True)
    walk.step(program, "confirmation", ["Return"])
    walk.step(program, "changes-complete", ["Return"])
    walk.step(program, "remove-floppies", ["Return"])
    program.wait_exit()
    return program


def all_screens(walk):
    session = walk.session
    prefix = session.prefix
    prefix.delete_key()
    typical_run(walk)
    os.rename(os.path.join(walk.out, "confirmation.png"), os.path.join(walk.out, "confirmation-add.png"))

    first = session.start(in_desktop=True)
    walk.step(first, "confirmation-remove", [])
    second = session.start(in_desktop=True)
    walk.step(second, "already-running", ["Return"])
    second.wait_exit()
    first.press(session.desktop.window(), "Escape")
    first.wait_exit()

    prefix.set_version("win98")
    program = session.start(in_desktop=True)
    walk.step(program, "not-nt", ["Return"])
    program.wait_exit()
    prefix.set_version("win10")

    session.refuse_writes()
    program = session.start(in_desktop=True)
    walk.step(program, "confirmation-add-again", ["Return"])
    walk.step(program, "change-failed", ["Return"])
    program.wait_exit()
    os.unlink(os.path.join(walk.out, "confirmation-add-again.png"))

    preview = session.start_preview()
    window = wait_for("the preview", walk.showing_a_screen, interval=0.3)
    walk.activate(window, "the preview")
    walk.save(window, "restart-failed", "the preview")
    session.desktop.press(window, "Return")
    try:
        preview.wait(timeout=step_seconds())
    except subprocess.TimeoutExpired:
        raise ScenarioFailure("the preview did not close on Enter")
