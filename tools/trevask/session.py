"""Running TREVASK.EXE under Wine on a virtual X display, as a user would.

Each scenario works in a copy of the template prefix, with its own Xvfb
display and wineserver, so scenarios cannot disturb each other. Screens are
found by their titles, which the executable's own templates give (polling,
never a fixed sleep), keys are pressed with xdotool, the texts a screen
shows come from a +relay trace of the program's own calls, and the registry
is read with Wine's reg.exe. What a session needs to know of the executable
(its place in memory, its screens, its pointer width) it reads from the
executable itself.
"""
import os
import re
import shutil
import signal
import subprocess
import tempfile

from trevask import pe, resources
from trevask.display import Display, xdotool
from trevask.prefix import Prefix
from trevask.registry import SERVICE_KEY, SERVICE_KEY_PATH
from trevask.trace import RelayTrace
from trevask.waiting import TIMEOUT, ScenarioFailure, wait_for


class Program:
    """One running copy of TREVASK.EXE, traced with +relay."""

    def __init__(self, prefix, exe, trace_path, image_range, screens, desktop=None):
        self.prefix = prefix
        self.trace = RelayTrace(trace_path, image_range)
        self.screens_of_exe = screens  # resources.Executable: the templates the program's screens come from
        self.desktop = desktop
        env = dict(prefix.env, WINEDEBUG="+relay")
        self.trace_file = open(trace_path, "wb")
        # In a Wine virtual desktop the title bars are drawn, as on Windows, but
        # the screens are no X windows of their own and the exit code is explorer's.
        launcher = ["explorer", f"/desktop={desktop}"] if desktop else []
        self.process = subprocess.Popen(["wine", *launcher, exe], env=env, stdout=subprocess.DEVNULL,
                                        stderr=self.trace_file, start_new_session=True)
        self.titles_seen = []

    # Screens

    def find_window(self, title):
        """The X window of a shown screen with this title, or None."""
        ids = xdotool(self.prefix.env, "search", "--onlyvisible", "--name", f"^{re.escape(title)}$",
                      check=False).split()
        return ids[-1] if ids else None

    def wait_screen(self, template, timeout=TIMEOUT):
        """The X window of the screen made from this template, once it is shown and its handler has
        returned from WM_INITDIALOG: keys sent to a window before that can be lost."""
        title = self.screens_of_exe.title(template)
        window = wait_for(f'screen {template} "{title}"', lambda: self.find_window(title), timeout)
        wait_for(f'screen {template} "{title}" to finish WM_INITDIALOG', self.screens_ready, timeout)
        if title not in self.titles_seen:
            self.titles_seen.append(title)
        return window

    def geometry(self, window):
        """(x, y, width, height) of a screen's X window on the display."""
        out = xdotool(self.prefix.env, "getwindowgeometry", "--shell", window)
        values = dict(line.split("=", 1) for line in out.split())
        return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])

    def click(self, x, y):
        """A click of the left mouse button at a point of the display."""
        xdotool(self.prefix.env, "mousemove", "--sync", str(x), str(y), "click", "1")

    def press(self, window, *keys):
        """Keys for a screen's X window; for a Wine desktop, through the X input focus."""
        if self.desktop:
            xdotool(self.prefix.env, "windowfocus", "--sync", window)
            xdotool(self.prefix.env, "key", *keys)
        else:
            xdotool(self.prefix.env, "key", "--window", window, *keys)

    # The program's own calls

    def calls(self):
        return self.trace.calls()

    def screens_ready(self):
        """Whether every screen the program opened has been through WM_INITDIALOG."""
        calls = self.calls()
        opened = sum(1 for kind, name, _ in calls if kind == "Call" and name == "DialogBoxParamA")
        initialised = sum(1 for kind, message, _ in calls if kind == "Proc" and message == "WM_INITDIALOG")
        return opened > 0 and initialised >= opened

    def loaded_base(self):
        """Where the loader put the program's image: what GetModuleHandleA(NULL) returned, or None before that."""
        rets = [args for kind, name, args in self.calls() if kind == "Ret" and name == "GetModuleHandleA"]
        return int(rets[0], 16) if rets else None

    def commands(self):
        """(control ID, whether handled) for each WM_COMMAND the program's screens have processed."""
        return [(wparam & 0xFFFF, retval != 0) for kind, message, (wparam, retval) in
                ((k, m, a) for k, m, a in self.calls() if k == "Proc") if message == "WM_COMMAND"]

    def screens(self):
        """Template numbers of the screens the program opened, in order."""
        return [int(args.split(",")[1], 16) for args in self.calls_to("DialogBoxParamA")]

    def calls_to(self, function):
        return [args for kind, name, args in self.calls() if kind == "Call" and name == function]

    def wait_call(self, function, count=1, timeout=TIMEOUT):
        return wait_for(f"call {count} to {function}",
                        lambda: len(self.calls_to(function)) >= count and self.calls_to(function), timeout)

    def texts(self):
        """The texts the program put on its screens, as the trace shows them (cut after about 250 characters)."""
        return [re.search(r'"(.*)"', args).group(1).replace('\\"', '"') if '"' in args else ""
                for args in self.calls_to("SetDlgItemTextA")]

    def wait_exit(self, timeout=TIMEOUT):
        """The program's exit code. In a virtual desktop the launcher outlives the
        program, so the code is read from its call to ExitProcess instead."""
        if self.desktop:
            return int(self.wait_call("ExitProcess", timeout=timeout)[0], 16)
        try:
            code = self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise ScenarioFailure(f"the program did not exit within {timeout:.0f} s")
        self.trace_file.close()
        return code

    def kill(self):
        if self.process.poll() is None:
            os.killpg(self.process.pid, signal.SIGKILL)
            self.process.wait()
        self.trace_file.close()


class Session:
    """A scenario's world: a display, a prefix, its programs, and what to show when it fails."""

    def __init__(self, exe, template, artifacts, name, seed_helper=None, copy=True, preview_helper=None):
        """With copy False the session works in the template prefix itself. The helpers are the
        registry seeder and the screen preview, Windows programs built beside the executable."""
        self.exe = exe
        self.seed_helper = seed_helper
        self.preview_helper = preview_helper
        self.i386, first, end = pe.image_of(exe)
        self.image_range = (first, end)
        self.screens = resources.Executable(exe)
        # How wide a pointer or handle prints in a +relay trace of the program.
        self.pointer_digits = 8 if self.i386 else 16
        self.name = name
        self.artifacts = artifacts
        os.makedirs(artifacts, exist_ok=True)
        self.workdir = tempfile.mkdtemp(prefix=f"trevask-e2e-{name}-")
        self.display = Display()
        self.prefix = Prefix(template, self.display, self.workdir if copy else None)
        self.programs = []

    def start(self, desktop=None):
        program = Program(self.prefix, self.exe, os.path.join(self.workdir, f"trace-{len(self.programs) + 1}.txt"),
                          self.image_range, self.screens, desktop)
        self.programs.append(program)
        return program

    def seed(self, *args):
        """Runs the registry seeding helper in the scenario's prefix."""
        self.prefix.run(self.seed_helper, *args)

    def refuse_writes(self):
        """Makes the program's write fail, as Windows refuses it to a user without administrator rights.
        Wine enforces no access rights, but it refuses a lasting key under a volatile one, and the
        program creates its key as a lasting one: the driver's service key is made anew, volatile."""
        self.prefix.delete_key(SERVICE_KEY)
        self.seed("volatile-key", SERVICE_KEY_PATH)

    def report_failure(self):
        shot = os.path.join(self.artifacts, f"{self.name}.png")
        self.display.screenshot(shot)
        print(f"screenshot: {shot}")
        for number, program in enumerate(self.programs, 1):
            print(f"copy {number}: screens seen: {program.titles_seen or 'none'}")
            for kind, function, args in program.calls():
                if kind == "Call":
                    print(f"  {function}({args})")

    def close(self):
        for program in self.programs:
            program.kill()
        self.prefix.close()
        self.display.close()
        shutil.rmtree(self.workdir, ignore_errors=True)
