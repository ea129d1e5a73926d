#!/usr/bin/python3
"""End-to-end scenarios: TREVASK.EXE under Wine, driven by key presses.

    scenarios.py --exe TREVASK.EXE --helpers DIR --template DIR --artifacts DIR SCENARIO
    scenarios.py --template DIR --make-template --exe TREVASK.EXE [--exe TREVASK.EXE]
    scenarios.py --same-pixels ARTIFACTS ARTIFACTS
    scenarios.py --list
    scenarios.py --skip-code

Each scenario starts from a copy of the template prefix, seeds the registry
and the Windows version, plays the user, and checks the screens, the texts
they show, the registry value, the exit code and what must not happen. A
failing scenario prints the line of the scenario that failed, the screens
seen and the program's calls, and saves a screenshot in the artifacts folder.
Screens, messages and controls go by their names in res/resource.h.

screens-readable photographs every screen in a Wine desktop, into the
artifacts folder's screens/, and reads each back from its pixels; with
--same-pixels, the screenshots in two artifacts folders, of the i386 and the
x86_64 file taken on the same machine, must hold the same pixels.

A scenario's declaration says what CMake needs to know of it (the copies it
runs on, which of its runs are typical, whether it takes the screenshots);
--list hands that to tests/e2e/CMakeLists.txt, which makes a test of each run.
"""
import argparse
import os
import shutil
import sys
import traceback
import typing

from PIL import Image  # Debian's python3-pil

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
from trevask import SKIPPED, ScenarioFailure, legible, walk  # noqa: E402
from trevask.kernel import unable_to_run  # noqa: E402
from trevask.prefix import make_template, unable_to_run_in  # noqa: E402
from trevask.registry import DRIVER_KEY_PATH, VALUE_NAME  # noqa: E402
from trevask.resources import IDS as ID  # noqa: E402
from trevask.session import Session  # noqa: E402
from trevask.waiting import wait_for  # noqa: E402

IDOK, IDCANCEL = 1, 2  # the platform's button IDs
SET = ("REG_SZ", "AdapterScansUp=1")
CLEARED = ("REG_SZ", "")

# What GetVersion returns under Wine's version emulation.
VERSION_WORDS = {"win95": 0xC0000004, "win98": 0xC0000A04, "nt351": 0x04213303, "nt40": 0x05650004,
                 "winxp": 0x0A280105, "win10": 0x23F00206}

# The copies of an executable a scenario can run on: as it was linked, and rebased far from that base
# (tools/rebase.py), which runs only if its relocation table is complete and right.
AS_LINKED, REBASED = "linked", "rebased"


class Scenario(typing.NamedTuple):
    run: typing.Callable  # run(session) plays the scenario and raises ScenarioFailure when it fails
    copies: tuple  # the copies it runs on
    typical: tuple  # those of its runs that are part of a typical run, which CI runs under emulation too
    screens: bool  # it photographs the screens, into screens_folder(artifacts), for the pixel comparison


SCENARIOS = {}


def scenario(copies=(AS_LINKED,), typical=(), screens=False, name=None):
    """Declares a scenario: its name is the function's, with hyphens, unless given."""
    if not set(typical) <= set(copies) or not set(copies) <= {AS_LINKED, REBASED}:
        raise ValueError(f"a scenario's typical runs {typical} must be among its copies {copies}")

    def declare(function):
        SCENARIOS[name or function.__name__.replace("_", "-")] = Scenario(function, copies, typical, screens)
        return function
    return declare


def listing():
    """One line for each run of a scenario, as tests/e2e/CMakeLists.txt makes its tests from them:
    SCENARIO COPY TYPICAL SCREENS, the last two "typical" and "screens" or "-"."""
    return [f"{name} {copy} {'typical' if copy in declared.typical else '-'} {'screens' if declared.screens else '-'}"
            for name, declared in SCENARIOS.items() for copy in declared.copies]


def expect(condition, text):
    if not condition:
        raise ScenarioFailure(text)


def expect_equal(got, wanted, what):
    expect(got == wanted, f"{what}: got {got!r}, wanted {wanted!r}")


def expect_shown(program, message_id):
    """The last text the program put on a screen is this message (the trace cuts long texts)."""
    texts = wait_for(f"message {message_id} on the screen", program.texts)
    shown, wanted = texts[-1], program.screens_of_exe.messages[message_id]
    expect(len(shown) >= 40 and wanted.startswith(shown),
           f"the screen shows {shown!r}, not message {message_id} {wanted!r}")


def run_to_end(program):
    code = program.wait_exit()
    expect_equal(code, 0, "exit code")


def no_restart(program):
    expect_equal(program.calls_to("InitiateSystemShutdownA"), [], "restart requests")


def confirm(program, message_id, keys):
    """Waits for the confirmation screen, checks its message, and answers with keys."""
    window = program.wait_screen(ID.IDD_CONFIRMATION)
    expect_shown(program, message_id)
    program.press(window, *keys)


def escape_ignored(program, window, what):
    """Presses Escape and waits until the screen has declined the IDCANCEL it brings."""
    program.press(window, "Escape")
    wait_for(f"{what} to process Escape", lambda: (IDCANCEL, False) in program.commands())


def close_notice(program, template, message_id, escape_first=False):
    """Waits for a notice, checks its message, and closes it with Enter, which ends the program; with
    escape_first, once Escape has been seen to leave it open."""
    window = program.wait_screen(template)
    expect_shown(program, message_id)
    if escape_first:
        escape_ignored(program, window, "the notice")
    program.press(window, "Return")
    run_to_end(program)


def exit_to_windows(program, keys):
    window = program.wait_screen(ID.IDD_CHANGES_COMPLETE)
    expect_shown(program, ID.IDS_RESTART_PROMPT)
    program.press(window, *keys)
    run_to_end(program)
    no_restart(program)


@scenario(copies=(AS_LINKED, REBASED), typical=(AS_LINKED,))
def add_then_remove(session):
    """The typical run twice: the first adds the parameter, the second removes it."""
    prefix = session.prefix
    prefix.delete_key()
    first = session.start()
    confirm(first, ID.IDS_ADD_PARAMETER, ["Return"])
    exit_to_windows(first, ["Tab", "space"])
    expect_equal(prefix.value(), SET, "value after the first run")

    second = session.start()
    confirm(second, ID.IDS_REMOVE_PARAMETER, ["Return"])
    exit_to_windows(second, ["Escape"])
    expect_equal(prefix.value(), CLEARED, "value after the second run")
    expect_equal(second.screens(), [ID.IDD_CONFIRMATION, ID.IDD_CHANGES_COMPLETE], "screens of the second run")


def exit_now(session, keys):
    prefix = session.prefix
    prefix.set_value("REG_SZ", "MaxTags=32;AdapterScansUp=1")
    program = session.start()
    confirm(program, ID.IDS_REMOVE_PARAMETER, keys)
    run_to_end(program)
    expect_equal(program.screens(), [ID.IDD_CONFIRMATION], "screens")
    expect_equal(prefix.value(), ("REG_SZ", "MaxTags=32;AdapterScansUp=1"), "value")
    expect_equal(program.calls_to("RegSetValueExA") + program.calls_to("RegCreateKeyExA"), [], "writes")


@scenario()
def exit_now_button(session):
    """"Exit Now!", reached with Tab and pressed with the space bar, leaves the value alone."""
    exit_now(session, ["Tab", "space"])


@scenario()
def exit_now_escape(session):
    """Escape on the confirmation screen acts as "Exit Now!"."""
    exit_now(session, ["Escape"])


def second_copy_run(session, version_for_second):
    first = session.start()
    first_window = first.wait_screen(ID.IDD_CONFIRMATION)
    if version_for_second:
        session.prefix.set_version(version_for_second)
    second = session.start()
    close_notice(second, ID.IDD_ALREADY_RUNNING, ID.IDS_ALREADY_RUNNING)
    expect_equal(second.screens(), [ID.IDD_ALREADY_RUNNING], "screens of the second copy")
    expect_equal(second.calls_to("GetVersion"), [], "the second copy asking for the version")
    expect(first.process.poll() is None, "the first copy ended")
    first.press(first_window, "Escape")
    run_to_end(first)


@scenario()
def second_copy(session):
    """A copy started while another shows its confirmation is told that one is running."""
    second_copy_run(session, None)


@scenario()
def second_copy_not_nt(session):
    """On a system that is not NT, a second copy still gets "Already Running!" first."""
    second_copy_run(session, "win95")


def version_gate(session, version):
    session.prefix.set_version(version)
    session.prefix.delete_key()
    program = session.start()
    if version in ("win95", "win98"):
        close_notice(program, ID.IDD_NOT_NT, ID.IDS_NOT_NT)
        expect_equal(program.screens(), [ID.IDD_NOT_NT], "screens")
        expect_equal(program.calls_to("RegOpenKeyExA"), [], "registry reads")
    else:
        confirm(program, ID.IDS_ADD_PARAMETER, ["Escape"])
        run_to_end(program)
        expect_equal(program.screens(), [ID.IDD_CONFIRMATION], "screens")
    expect_equal(session.prefix.value(), None, "value")
    words = [int(args, 16) for kind, name, args in program.calls() if kind == "Ret" and name == "GetVersion"]
    expect_equal(words, [VERSION_WORDS[version]], "what GetVersion told the program")


for _version in VERSION_WORDS:
    scenario(name=f"version-{_version}")((lambda version: lambda session: version_gate(session, version))(_version))


@scenario()
def notice_needs_enter(session):
    """Escape reaches a notice as IDCANCEL, which it leaves alone; Enter closes it."""
    session.prefix.set_version("win98")
    program = session.start()
    window = program.wait_screen(ID.IDD_NOT_NT)
    escape_ignored(program, window, "the notice")
    expect_equal(program.calls_to("EndDialog"), [], "EndDialog after Escape")
    expect(program.process.poll() is None, "the program ended on Escape")
    program.press(window, "Return")
    run_to_end(program)
    expect_equal(program.commands()[-1], (IDOK, True), "the command that closed the notice")
    expect_equal(len(program.calls_to("EndDialog")), 1, "EndDialog calls")


@scenario()
def change_refused(session):
    """When the value cannot be written, "Changes Not Made!" says so, and nothing claims success."""
    session.refuse_writes()
    program = session.start()
    confirm(program, ID.IDS_ADD_PARAMETER, ["Return"])
    close_notice(program, ID.IDD_CHANGE_FAILED, ID.IDS_CHANGE_FAILED, escape_first=True)
    expect_equal(program.screens(), [ID.IDD_CONFIRMATION, ID.IDD_CHANGE_FAILED], "screens")
    expect_equal(session.prefix.value(), None, "value")
    no_restart(program)


def value_without_nul(session, data, message_id):
    session.seed("set", DRIVER_KEY_PATH, VALUE_NAME, "3", data.hex())  # REG_BINARY, no NUL added
    program = session.start()
    confirm(program, message_id, ["Escape"])
    run_to_end(program)


@scenario()
def binary_value_256_bytes(session):
    """256 bytes with no NUL that end in the keyword: the parameter counts as present."""
    value_without_nul(session, b"x" * 242 + b"AdapterScansUp", ID.IDS_REMOVE_PARAMETER)


@scenario()
def binary_value_257_bytes(session):
    """257 bytes do not fit the query buffer: the parameter counts as absent, keyword or not."""
    value_without_nul(session, b"AdapterScansUp" + b"x" * 243, ID.IDS_ADD_PARAMETER)


@scenario()
def multi_string_second(session):
    """The search stops at the first NUL, so a keyword in a multi-string's second string is not seen."""
    session.prefix.set_value("REG_MULTI_SZ", "Sync=0\\0AdapterScansUp=1")
    program = session.start()
    confirm(program, ID.IDS_ADD_PARAMETER, ["Escape"])
    run_to_end(program)


def up_to_the_diskette_notice(session):
    """With no value to start from: "Continue", then "Restart System", up to the diskette notice.
    Returns the program and the X windows of the completion screen and of the notice."""
    session.prefix.delete_key()
    program = session.start()
    confirm(program, ID.IDS_ADD_PARAMETER, ["Return"])
    completion = program.wait_screen(ID.IDD_CHANGES_COMPLETE)
    program.press(completion, "Return")
    notice = program.wait_screen(ID.IDD_REMOVE_FLOPPIES)
    expect_shown(program, ID.IDS_REMOVE_DISKETTES)
    return program, completion, notice


@scenario(copies=(AS_LINKED, REBASED), typical=(REBASED,))
def restart_system(session):
    """"Restart System" enables the privilege, warns about diskettes, and only then asks to reboot."""
    prefix = session.prefix
    program, _, notice = up_to_the_diskette_notice(session)
    escape_ignored(program, notice, "the diskette notice")
    expect_equal(program.calls_to("InitiateSystemShutdownA"), [], "restart requested before the notice closed")
    names = [name for kind, name, _ in program.calls() if kind == "Call"]
    privilege = names.index("AdjustTokenPrivileges")
    expect(privilege < len(names) - 1 - names[::-1].index("DialogBoxParamA"),
           "the privilege was not enabled before the diskette notice")
    expect_equal(program.calls_to("OpenProcessToken")[0].split(",")[:2],
                 ["f" * session.pointer_digits, "00000028"], "token opened for the current process")
    expect('"SeShutdownPrivilege"' in program.calls_to("LookupPrivilegeValueA")[0], "privilege looked up")
    program.press(notice, "Return")
    run_to_end(program)
    expect_equal(program.calls_to("InitiateSystemShutdownA"), ["00000000,00000000,00000000,00000000,00000001"],
                 "restart request: local machine, no message, no delay, nothing forced, reboot")
    rets = [args for kind, name, args in program.calls() if kind == "Ret" and name == "InitiateSystemShutdownA"]
    expect_equal(rets, ["00000001"], "restart accepted")
    expect_equal(program.screens(), [ID.IDD_CONFIRMATION, ID.IDD_CHANGES_COMPLETE, ID.IDD_REMOVE_FLOPPIES], "screens")
    expect_equal(prefix.value(), SET, "value")


def visible_point(window_box, template, control_id, covering_box):
    """A point of the display on a control of a screen, outside the screen that covers part of it.

    The control's rectangle comes from the screen's template in dialog units,
    scaled by the ratio of the screen's size on the display to its size in the
    template (the screens have no frame of their own without a window manager)."""
    x, y, width, height = window_box
    cx, cy = template.size
    if control_id not in template.controls:
        raise ScenarioFailure(f"the template has no control {control_id}")
    left, top, c_width, c_height = template.controls[control_id]
    first_x, last_x = x + (left * width) // cx + 2, x + ((left + c_width) * width) // cx - 3
    first_y, last_y = y + (top * height) // cy + 2, y + ((top + c_height) * height) // cy - 3
    cover_x, cover_y, cover_width, cover_height = covering_box
    for py in range(first_y, last_y + 1):
        for px in range(first_x, last_x + 1):
            if not (cover_x - 2 <= px < cover_x + cover_width + 2 and cover_y - 2 <= py < cover_y + cover_height + 2):
                return px, py
    raise ScenarioFailure(f"control {control_id} is wholly covered")


@scenario(typical=(AS_LINKED,))
def restart_once(session):
    """While the diskette notice is open, clicks on the completion screen's buttons beneath it do nothing;
    OK on the notice then asks for exactly one restart."""
    program, completion, notice = up_to_the_diskette_notice(session)
    template = session.screens.dialogs[ID.IDD_CHANGES_COMPLETE]
    for button in (IDOK, IDCANCEL):
        program.click(*visible_point(program.geometry(completion), template, button, program.geometry(notice)))
    # The program takes its input in order: once it has turned down this Escape, the clicks are behind it.
    escape_ignored(program, notice, "the diskette notice")
    expect_equal(program.screens(), [ID.IDD_CONFIRMATION, ID.IDD_CHANGES_COMPLETE, ID.IDD_REMOVE_FLOPPIES],
                 "screens while the notice is open")
    expect_equal(len(program.calls_to("AdjustTokenPrivileges")), 1, "privilege adjustments")
    expect_equal(len(program.calls_to("EndDialog")), 1, "EndDialog calls before the notice closed (Continue's)")
    # "Restart System" is still being handled beneath the notice, so only the commands handled so far show.
    expect_equal(program.commands(), [(IDOK, True), (IDCANCEL, False)], "commands: Continue, Escape on the notice")
    program.press(notice, "Return")
    run_to_end(program)
    expect_equal(len(program.calls_to("InitiateSystemShutdownA")), 1, "restart requests")
    expect_equal(len(program.calls_to("EndDialog")), 3, "EndDialog calls")
    expect_equal(program.commands(), [(IDOK, True), (IDCANCEL, False), (IDOK, True), (IDOK, True)],
                 "commands: Continue, Escape and OK on the notice, Restart System")


@scenario()
def registry_export(session):
    """A whole export of HKEY_LOCAL_MACHINE before and after a change differs in that one value only."""
    prefix = session.prefix
    prefix.set_value("REG_SZ", "AdapterScansUp=1")
    before = export_lines(prefix, os.path.join(session.workdir, "before.reg"))
    program = session.start()
    confirm(program, ID.IDS_REMOVE_PARAMETER, ["Return"])
    exit_to_windows(program, ["Escape"])
    after = export_lines(prefix, os.path.join(session.workdir, "after.reg"))
    removed = sorted(set(before) - set(after))
    added = sorted(set(after) - set(before))
    expect_equal((removed, added), (['"DriverParameter"="AdapterScansUp=1"'], ['"DriverParameter"=""']),
                 "lines of the export that changed")


# Wine's display driver registers the display's video adapter here when a program first draws on it;
# on some machines under a new name each time. The program never writes there.
WINE_DISPLAY_KEYS = "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Video\\"


def export_lines(prefix, path):
    """The lines of an export of HKEY_LOCAL_MACHINE, but for the keys Wine's display driver keeps."""
    lines, wine_display = [], False
    for line in prefix.export(path):
        if line.startswith("["):
            wine_display = line.startswith(WINE_DISPLAY_KEYS)
        if not wine_display:
            lines.append(line)
    return lines


def screens_folder(artifacts):
    return os.path.join(artifacts, "screens")


@scenario(typical=(AS_LINKED,), screens=True)
def screens_readable(session):
    """Every screen, drawn in a Wine desktop, shows its title, its whole message and its buttons, read
    back from its pixels."""
    folder = screens_folder(session.artifacts)
    session.prefix.set_version("win10")
    walk.all_screens(walk.Walk(session, folder))
    scores = {}
    unread = legible.unreadable(folder, session.screens, walk.SHOTS, scores=scores)
    expect(not unread, "screens a user could not read: " +
           "".join(f"\n  {name}.png: " + "\n    ".join(problems) for name, problems in unread.items()))
    print("READ, each in its face, lowest share of what it shows read back:")
    for name, read in scores.items():
        what, share = min(read.items(), key=lambda item: item[1])
        print(f"  {name}.png: {share:.2f} ({what})")


def same_pixels(*artifacts):
    """Whether the screenshots in two artifacts folders hold the same pixels, each to each; SKIPPED when a
    folder has none."""
    first, second = (screens_folder(folder) for folder in artifacts)
    for folder in (first, second):
        if not os.path.isdir(folder):
            print(f"SKIP same-pixels: no screenshots in {folder}: they were not taken of that executable")
            return SKIPPED
    differ = []
    for name in walk.SHOTS:
        paths = [os.path.join(folder, f"{name}.png") for folder in (first, second)]
        if not all(os.path.exists(path) for path in paths):
            differ.append(f"{name}.png is missing from one folder")
            continue
        images = [Image.open(path).convert("RGB") for path in paths]
        if images[0].size != images[1].size:
            differ.append(f"{name}.png: {images[0].size} against {images[1].size} pixels")
        elif images[0].tobytes() != images[1].tobytes():
            changed = sum(a != b for a, b in zip(images[0].getdata(), images[1].getdata()))
            differ.append(f"{name}.png: {changed} pixels differ")
    if differ:
        print("DIFFERENT screens:\n  " + "\n  ".join(differ))
        return 1
    print(f"PASS same-pixels: {len(walk.SHOTS)} screens, the same pixels in {first} and {second}")
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--exe", action="append", help="the executable; with --make-template, any number")
    parser.add_argument("--helpers", help="the folder of the Windows helpers of tests/e2e/helper")
    parser.add_argument("--template", help="the template Wine prefix")
    parser.add_argument("--artifacts", default="e2e-artifacts")
    parser.add_argument("--make-template", action="store_true")
    parser.add_argument("--same-pixels", nargs=2, metavar="DIR")
    parser.add_argument("--list", action="store_true", help="each run of a scenario, for CMake")
    parser.add_argument("--skip-code", action="store_true", help="what a run exits with when it cannot run here")
    parser.add_argument("scenario", nargs="?")
    options = parser.parse_args()
    if options.list:
        print("\n".join(listing()))
        return 0
    if options.skip_code:
        print(SKIPPED)
        return 0
    if options.make_template:
        try:
            make_template(options.template, options.exe)
        except ScenarioFailure as failure:
            print(f"FAIL making the template prefix: {failure}")
            return 1
        return 0
    if options.same_pixels:
        return same_pixels(*options.same_pixels)
    if options.scenario not in SCENARIOS or len(options.exe or []) != 1:
        parser.error(f"give one --exe and a scenario (not {options.scenario!r}); --list shows them")
    exe = os.path.abspath(options.exe[0])
    declared = SCENARIOS[options.scenario]
    if declared.screens:
        # A run that cannot take them must not leave an earlier run's screenshots to be compared.
        shutil.rmtree(screens_folder(options.artifacts), ignore_errors=True)
    reason = unable_to_run(exe)
    if reason:
        print(f"SKIP {options.scenario}: {reason}")
        return SKIPPED
    reason = unable_to_run_in(options.template, exe)
    if reason:
        print(f"FAIL {options.scenario}: {reason}")
        return 1
    try:
        session = Session(exe, options.template, options.artifacts, options.scenario, os.path.abspath(options.helpers))
    except ScenarioFailure as failure:
        print(f"FAIL {options.scenario}: {failure}")
        return 1
    try:
        declared.run(session)
        bases = sorted({program.loaded_base() for program in session.programs} - {None})
        expect_equal(bases, [session.image_range[0]], "where TREVASK.EXE was loaded (its preferred base)")
    except ScenarioFailure as failure:
        print(f"FAIL {options.scenario}: {failure}")
        # Where in this file it failed, innermost last: the scenario's line, and the helper's.
        here = os.path.abspath(__file__)
        for frame in traceback.extract_tb(failure.__traceback__):
            if os.path.abspath(frame.filename) == here and frame.name not in ("main", "expect", "expect_equal"):
                print(f"  at {os.path.basename(here)}:{frame.lineno} in {frame.name}: {frame.line}")
        session.report_failure()
        return 1
    finally:
        session.close()
    print(f"PASS {options.scenario}: {os.path.basename(exe)} ran at 0x{session.image_range[0]:x}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
