"""Every screen of TREVASK.EXE shown in a Wine virtual desktop, where the title
bars are drawn as on Windows, and photographed once it stops changing; and
the check of those screenshots: each is read back (trevask.ocr), and each
screen shown alone must be as wide as the face its template asks for makes
it.

The run command and the documentation's screenshots walk through the screens
with it, and so does the scenario that checks them from their pixels.
"""
import hashlib
import os
import subprocess

from PIL import Image  # Debian's python3-pil

from trevask import ocr
from trevask.display import xdotool
from trevask.resources import IDS as ID
from trevask.waiting import ScenarioFailure, wait_for

DESKTOP_SIZE = (640, 480)
DESKTOP = f"trevask,{DESKTOP_SIZE[0]}x{DESKTOP_SIZE[1]}"
DESKTOP_TITLE = "trevask - Wine desktop"


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


# Windows draws the templates' 8-point MS Sans Serif at 96 DPI with dialog base units of 6 x 13 pixels:
# a screen is 6 pixels wide for every 4 of its template's units across, inside a modal frame of 3 pixels a
# side. Another face has other base units (DejaVu Sans 7 x 13), and the screen another width.
BASE_UNIT_X = 6
MODAL_FRAME = 3


def mul_div(number, numerator, denominator):
    """Windows' MulDiv for positive numbers: the product over the denominator, halves rounded up."""
    return (2 * number * numerator + denominator) // (2 * denominator)


def width_on_screen(layout):
    """How many pixels wide Windows draws a screen with this template (as resources.dialog gives it)."""
    return mul_div(layout.size[0], BASE_UNIT_X, 4) + 2 * MODAL_FRAME


def drawn_in_another_face(path, layout):
    """What is wrong with the width of a screenshot of one screen alone, or None when it is right."""
    width, wanted = Image.open(path).width, width_on_screen(layout)
    if width == wanted:
        return None
    base_unit = (width - 2 * MODAL_FRAME) * 4 / layout.size[0]
    return (f"{width} pixels wide, where 8-point MS Sans Serif makes it {wanted}: drawn in another face, with "
            f"{base_unit:.1f} pixels for every 4 dialog units across instead of {BASE_UNIT_X}")


def unreadable(folder, screens, shots=SHOTS, scores=None):
    """{screenshot: what is wrong with it} for the shots in folder that a user could not read in full or
    that are not drawn in the face their templates ask for; screens is the resources.Executable they were
    taken of. A missing screenshot counts too. scores, a dict, gets {screenshot: {what: share}} of what
    was read."""
    found = {}
    for name, (template, message, behind) in shots.items():
        path = os.path.join(folder, f"{name}.png")
        if not os.path.exists(path):
            found[name] = ["no screenshot"]
            continue
        read = {}
        problems = ocr.problems(path, screens.dialogs[template], message, screens.messages, behind, read)
        if not behind:  # a screen partly hidden beneath widens the shot
            problems.insert(0, drawn_in_another_face(path, screens.dialogs[template]))
        problems = [problem for problem in problems if problem]
        if scores is not None:
            scores[name] = read
        if problems:
            found[name] = problems
    return found


class Walk:
    """Screens shown in a virtual desktop, photographed once they stop changing."""

    def __init__(self, session, out):
        self.session = session
        self.out = out
        self.shown = {}  # screens of each program photographed so far
        os.makedirs(out, exist_ok=True)

    def showing_a_screen(self, program):
        """The Wine desktop's X window once a screen is drawn in its middle, or None."""
        window = program.find_window(DESKTOP_TITLE)
        if not window:
            return None
        raw = os.path.join(self.session.workdir, "raw.png")
        if os.path.exists(raw):
            os.unlink(raw)
        try:
            self.session.display.screenshot(raw, window, timeout=20)
            image = Image.open(raw).convert("RGB")
        except (ScenarioFailure, OSError):  # the window went away while it was photographed
            return None
        width, height = image.size
        return window if image.getpixel((width // 2, height // 2)) != image.getpixel((1, 1)) else None

    def desktop_window(self, program):
        return wait_for("the Wine desktop", lambda: program.find_window(DESKTOP_TITLE))

    def wait_still(self, window, what):
        """Takes screenshots of the desktop until two in a row are the same; returns the last."""
        raw = os.path.join(self.session.workdir, "raw.png")
        last = [None]

        def still():
            self.session.display.screenshot(raw, window)
            with open(raw, "rb") as f:
                digest = hashlib.sha256(f.read()).hexdigest()
            same, last[0] = digest == last[0], digest
            return same

        wait_for(f"{what} to be drawn", still, interval=0.3)
        return raw

    def save(self, window, name, what):
        # Only the screens, cut out of the plain desktop around them.
        path = os.path.join(self.out, f"{name}.png")
        subprocess.run(["convert", self.wait_still(window, what), "-trim", "+repage", "-strip", path], check=True)
        print(f"  saved {path}")

    def activate(self, program, window, what):
        """With no window manager a new screen is not active: a click makes it so, and then it
        takes keys as on Windows. Every screen is centred, so the middle of the desktop is the
        newest screen's message text."""
        with open(self.wait_still(window, what), "rb") as f:
            before = f.read()
        xdotool(program.prefix.env, "mousemove", "--window", window, str(DESKTOP_SIZE[0] // 2),
                str(DESKTOP_SIZE[1] // 2), "click", "1")
        # A screen that was inactive redraws its title bar; one that was active already does not.
        raw = os.path.join(self.session.workdir, "raw.png")

        def redrawn():
            self.session.display.screenshot(raw, window)
            with open(raw, "rb") as f:
                return f.read() != before

        try:
            wait_for(f"{what} to become active", redrawn, timeout=2, interval=0.2)
        except ScenarioFailure:
            pass

    def step(self, program, name, keys):
        """Waits for the program's next screen, photographs it, and answers with keys."""
        shown = self.shown.get(program, 0)
        wait_for(f"the screen for {name}", lambda: len(program.texts()) > shown)
        self.shown[program] = shown + 1
        window = self.desktop_window(program)
        self.activate(program, window, name)
        self.save(window, name, name)
        if keys:
            program.press(window, *keys)


def typical_run(walk):
    session = walk.session
    program = session.start(desktop=DESKTOP)
    walk.step(program, "confirmation", ["Return"])
    walk.step(program, "changes-complete", ["Return"])
    walk.step(program, "remove-floppies", ["Return"])
    program.wait_exit()
    return program


def all_screens(walk, preview_helper, exe):
    session = walk.session
    prefix = session.prefix
    prefix.delete_key()
    typical_run(walk)
    os.rename(os.path.join(walk.out, "confirmation.png"), os.path.join(walk.out, "confirmation-add.png"))

    first = session.start(desktop=DESKTOP)
    walk.step(first, "confirmation-remove", [])
    second = session.start(desktop=DESKTOP)
    walk.step(second, "already-running", ["Return"])
    second.wait_exit()
    first.press(walk.desktop_window(first), "Escape")
    first.wait_exit()

    prefix.set_version("win98")
    program = session.start(desktop=DESKTOP)
    walk.step(program, "not-nt", ["Return"])
    program.wait_exit()
    prefix.set_version("win10")

    session.refuse_writes()
    program = session.start(desktop=DESKTOP)
    walk.step(program, "confirmation-add-again", ["Return"])
    walk.step(program, "change-failed", ["Return"])
    program.wait_exit()
    os.unlink(os.path.join(walk.out, "confirmation-add-again.png"))

    # Wine never refuses a restart, so this screen is shown from the program's own resources.
    shown = [str(number) for number in (ID.IDD_RESTART_FAILED, ID.IDS_RESTART_FAILED, ID.IDC_RESTART_FAILED_TEXT)]
    preview = subprocess.Popen(["wine", "explorer", f"/desktop={DESKTOP}", preview_helper, exe, *shown],
                               env=prefix.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    # The desktop may have closed with the last program and opened anew for the preview, so it is
    # looked for each time.
    window = wait_for("the preview", lambda: walk.showing_a_screen(first), interval=0.3)
    walk.activate(first, window, "the preview")
    walk.save(window, "restart-failed", "the preview")
    first.press(window, "Return")
    try:
        preview.wait(timeout=30)
    except subprocess.TimeoutExpired:
        preview.kill()
        raise ScenarioFailure("the preview did not close on Enter")
