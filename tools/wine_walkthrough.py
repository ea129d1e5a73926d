#!/usr/bin/python3
"""Opens TREVASK.EXE under Wine, in the project's own Wine prefix.

    wine_walkthrough.py --exe TREVASK.EXE --prefix DIR [--walk] [--screens DIR]
    wine_walkthrough.py --exe TREVASK.EXE --prefix DIR --all-screens DIR --seed-helper EXE --preview-helper EXE

With a display (DISPLAY set) and no --walk, it starts the program for you
to click through, and shows the registry value before and after. Otherwise
it runs on its own virtual display, in a Wine virtual desktop so that the
title bars are drawn, walks through the screens as a user would (Continue,
Restart System, OK), saves a screenshot of each screen and prints the
registry value before and after. Wine's restart request does nothing, so
the walk is safe.

--all-screens saves a screenshot of every screen of the program, for the
documentation.
"""
import argparse
import hashlib
import os
import subprocess
import sys

from trevask.pe import image_of
from trevask.resources import IDS as ID
from trevask.wine import DRIVER_KEY, Prefix, ScenarioFailure, Session, make_template, unable_to_run, wait_for

DESKTOP_SIZE = (640, 480)
DESKTOP = f"trevask,{DESKTOP_SIZE[0]}x{DESKTOP_SIZE[1]}"
DESKTOP_TITLE = "trevask - Wine desktop"
DRIVER_KEY_PATH = DRIVER_KEY.split("\\", 1)[1]


def describe(value):
    return "(no value)" if value is None else f"{value[0]} \"{value[1]}\""


def ensure_prefix(path, exe):
    """Makes the project's prefix unless there is one that can run exe; an i386 exe needs a filled syswow64."""
    syswow64 = os.path.join(path, "drive_c", "windows", "syswow64")
    usable = os.path.exists(os.path.join(path, "system.reg")) and (
        not image_of(exe)[0] or (os.path.isdir(syswow64) and os.listdir(syswow64)))
    if not usable:
        print(f"Making the project's Wine prefix in {path} (about 15 s)...")
        make_template(path, [exe])


def interactive(exe, prefix_path):
    """The program on the user's own display, in the project's prefix."""
    class UsersDisplay:
        name = os.environ["DISPLAY"]

    prefix = Prefix(prefix_path, UsersDisplay())
    try:
        print(f"Before: DriverParameter = {describe(prefix.value())}")
        code = subprocess.run(["wine", exe], env=prefix.env).returncode
        print(f"TREVASK.EXE exited with code {code}")
        print(f"After:  DriverParameter = {describe(prefix.value())}")
    finally:
        prefix.close()


class Walk:
    """Screens shown in a virtual desktop, photographed once they stop changing."""

    def __init__(self, session, out):
        self.session = session
        self.out = out
        self.shown = {}  # screens of each program photographed so far
        os.makedirs(out, exist_ok=True)

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
        subprocess.run(["xdotool", "mousemove", "--window", window, str(DESKTOP_SIZE[0] // 2),
                        str(DESKTOP_SIZE[1] // 2), "click", "1"], env=program.prefix.env, capture_output=True,
                       check=True)
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

    # Under a volatile key Wine refuses the lasting key the program creates.
    prefix.delete_key(DRIVER_KEY.rsplit("\\", 2)[0])
    session.seed("volatile-key", DRIVER_KEY_PATH.rsplit("\\", 2)[0])
    program = session.start(desktop=DESKTOP)
    walk.step(program, "confirmation-add-again", ["Return"])
    walk.step(program, "change-failed", ["Return"])
    program.wait_exit()
    os.unlink(os.path.join(walk.out, "confirmation-add-again.png"))

    # Wine never refuses a restart, so this screen is shown from the program's own resources.
    window = walk.desktop_window(first)
    empty = walk.wait_still(window, "the empty desktop")
    with open(empty, "rb") as f:
        before = f.read()
    shown = [str(number) for number in (ID.IDD_RESTART_FAILED, ID.IDS_RESTART_FAILED, ID.IDC_RESTART_FAILED_TEXT)]
    preview = subprocess.Popen(["wine", "explorer", f"/desktop={DESKTOP}", preview_helper, exe, *shown],
                               env=prefix.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def drawn():
        session.display.screenshot(empty, window)
        with open(empty, "rb") as f:
            return f.read() != before

    wait_for("the preview", drawn, interval=0.3)
    walk.activate(first, window, "the preview")
    walk.save(window, "restart-failed", "the preview")
    first.press(window, "Return")
    try:
        preview.wait(timeout=30)
    except subprocess.TimeoutExpired:
        preview.kill()
        raise ScenarioFailure("the preview did not close on Enter")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--exe", required=True)
    parser.add_argument("--prefix", required=True, help="the project's own Wine prefix")
    parser.add_argument("--walk", action="store_true", help="walk through the screens even with a display")
    parser.add_argument("--screens", default="wine-screens", help="where the walk saves its screenshots")
    parser.add_argument("--all-screens", metavar="DIR", help="save every screen, for the documentation")
    parser.add_argument("--seed-helper")
    parser.add_argument("--preview-helper")
    options = parser.parse_args()
    exe = os.path.abspath(options.exe)
    prefix = os.path.abspath(options.prefix)
    reason = unable_to_run(exe)
    if reason:
        print(f"Cannot open {options.exe}: {reason}.")
        return 1
    ensure_prefix(prefix, exe)

    if os.environ.get("DISPLAY") and not options.walk and not options.all_screens:
        interactive(exe, prefix)
        return 0

    # The documentation's walk works in a copy and leaves the prefix as it was;
    # the user's walk changes the prefix, so that the next run undoes it.
    artifacts = os.path.join(os.path.dirname(prefix), "wine-walk-failures")
    session = Session(exe, prefix, artifacts, "walk", options.seed_helper, copy=bool(options.all_screens))
    try:
        if options.all_screens:
            session.prefix.set_version("win10")
            all_screens(Walk(session, options.all_screens), os.path.abspath(options.preview_helper), exe)
        else:
            print(f"Before: DriverParameter = {describe(session.prefix.value())}")
            print("Walking through the screens: Continue, Restart System, OK")
            typical_run(Walk(session, os.path.abspath(options.screens)))
            print(f"After:  DriverParameter = {describe(session.prefix.value())}")
    except ScenarioFailure as failure:
        print(f"FAIL: {failure}")
        session.report_failure()
        return 1
    finally:
        session.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
