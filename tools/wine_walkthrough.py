#!/usr/bin/python3
"""Opens TREVASK.EXE under Wine, in the project's own Wine prefix.

    wine_walkthrough.py [--exe TREVASK.EXE] [--walk] [--screens DIR]
    wine_walkthrough.py [--exe TREVASK.EXE] --all-screens DIR

With a display (DISPLAY set) and no --walk, it starts the program for you
to click through, and shows the registry value before and after. Otherwise
it runs on its own virtual display, in a Wine virtual desktop so that the
title bars are drawn, walks through the screens as a user would (Continue,
Restart System, OK), saves a screenshot of each screen and prints the
registry value before and after. Wine's restart request does nothing, so
the walk is safe.

--all-screens saves a screenshot of every screen of the program, for the
documentation, working in a copy of the prefix.

The executable is the i386 one that ships (the win32 preset's), or, where
this machine's kernel cannot run 32-bit code, the x86_64 one (win64).
"""
import argparse
import os
import subprocess
import sys

from trevask import ScenarioFailure, builds, legible, walk
from trevask.kernel import unable_to_run, unable_to_run_i386
from trevask.prefix import Prefix, make_template, unable_to_run_in
from trevask.session import Session


def describe(value):
    return "(no value)" if value is None else f"{value[0]} \"{value[1]}\""


def ensure_prefix(path, exe):
    """Makes the project's prefix unless there is one that can run exe."""
    if unable_to_run_in(path, exe):
        print(f"Making the project's Wine prefix in {path} (about 15 s)...")
        make_template(path, [exe])


def interactive(exe, prefix_path):
    """The program on the user's own display, in the project's prefix."""
    prefix = Prefix(prefix_path, os.environ["DISPLAY"])
    try:
        print(f"Before: DriverParameter = {describe(prefix.value())}")
        code = subprocess.run(["wine", exe], env=prefix.env).returncode
        print(f"TREVASK.EXE exited with code {code}")
        print(f"After:  DriverParameter = {describe(prefix.value())}")
    finally:
        prefix.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--exe", help="the executable; by default the one this machine can run, as above")
    parser.add_argument("--prefix", default=builds.WINE_PREFIX, help="the project's own Wine prefix")
    parser.add_argument("--walk", action="store_true", help="walk through the screens even with a display")
    parser.add_argument("--screens", default=builds.WINE_SCREENS, help="where the walk saves its screenshots")
    parser.add_argument("--all-screens", metavar="DIR", help="save every screen, for the documentation")
    options = parser.parse_args()
    exe = options.exe
    if not exe:
        exe = builds.executable("win32")
        reason = unable_to_run_i386()
        if reason:
            print(f"Opening the x86_64 TREVASK.EXE instead of the i386 one: {reason}.")
            exe = builds.executable("win64")
    exe = os.path.abspath(exe)
    reason = unable_to_run(exe)
    if reason:
        print(f"Cannot open {exe}: {reason}.")
        return 1
    prefix = os.path.abspath(options.prefix)
    ensure_prefix(prefix, exe)

    if os.environ.get("DISPLAY") and not options.walk and not options.all_screens:
        interactive(exe, prefix)
        return 0

    # The documentation's walk works in a copy and leaves the prefix as it was;
    # the user's walk changes the prefix, so that the next run undoes it.
    artifacts = os.path.join(os.path.dirname(prefix), "wine-walk-failures")
    try:
        session = Session(exe, prefix, artifacts, "walk", builds.e2e_helpers(), copy=bool(options.all_screens))
    except ScenarioFailure as failure:
        print(f"FAIL: {failure}")
        return 1
    try:
        if options.all_screens:
            session.prefix.set_version("win10")
            walk.all_screens(walk.Walk(session, options.all_screens))
            folder, shots = options.all_screens, walk.SHOTS
        else:
            before = session.prefix.value()
            print(f"Before: DriverParameter = {describe(before)}")
            print("Walking through the screens: Continue, Restart System, OK")
            folder = os.path.abspath(options.screens)
            walk.typical_run(walk.Walk(session, folder))
            print(f"After:  DriverParameter = {describe(session.prefix.value())}")
            removing = before is not None and "AdapterScansUp" in before[1]
            shots = {"confirmation": walk.SHOTS["confirmation-remove" if removing else "confirmation-add"]}
            shots.update((name, walk.SHOTS[name]) for name in ("changes-complete", "remove-floppies"))
    except ScenarioFailure as failure:
        print(f"FAIL: {failure}")
        session.report_failure()
        return 1
    finally:
        session.close()
    # What a user sees: each screenshot read back for its title, its whole message and its buttons.
    unread = legible.unreadable(folder, session.screens, shots)
    for name, problems in unread.items():
        print(f"UNREADABLE {name}.png: " + "; ".join(problems))
    if unread:
        return 1
    print(f"Read back from their pixels: {', '.join(f'{name}.png' for name in shots)}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
