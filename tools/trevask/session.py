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

from trevask import ScenarioFailure, pe, resources
from trevask.desktop import Desktop
from trevask.display import Display, xdotool
from trevask.prefix import Prefix
from trevask.registry import SERVICE_KEY, SERVICE_KEY_PATH
from trevask.trace import RelayTrace
from trevask.waiting import step_seconds, wait_for


class Program:
    """One running copy of TREVASK.EXE, traced with +relay."""

    def __init__(self, prefix, exe, trace_path, image_range, screens, desktop=None, joining=False):
        """With a desktop (desktop.Desktop), the program runs in it, joining the programs running
        there already when joining is true."""
        self.prefix = prefix
        self.trace = RelayTrace(trace_path, image_range)
        self.screens_of_exe = screens  # resources.Executable: the templates the program's screens come from
        self.desktop = desktop
        env = dict(prefix.env, WINEDEBUG="+relay")
        self.trace_file = open(trace_path, "wb")
        output = dict(stdout=subprocess.DEVNULL, stderr=self.trace_file)
        if desktop:
            # The process is then the desktop's explorer, and the exit code explorer's.
            self.process = desktop.launch([exe], joining, env=env, **output)
        else:
            self.process = subprocess.Popen(["wine", exe], env=env, start_new_session=True, **output)

    # Screens

    def find_window(self, title):
        """The X window of a shown screen with this title, or None."""
        ids = xdotool(self.prefix.env, "search", "--onlyvisible", "--name", f"^{re.escape(title)}$",
                      check=False).split()
        return ids[-1] if ids else None

    def wait_screen(self, template):
        """The X window of the screen made from this template, once it is shown and its handler has
        returned from WM_INITDIALOG: keys sent to a window before that can be lost."""
        title = self.screens_of_exe.title(template)
        window = self.wait_running(f'screen {template} "{title}"', lambda: self.find_window(title))
        self.wait_running(f'screen {template} "{title}" to finish WM_INITDIALOG', self.screens_ready)
        return window

    def wait_running(self, what, probe):
        """waiting.wait_for, but for what only a running program can bring about: the wait fails as soon
        as the program has ended."""
        def probe_while_running():
            result = probe()
            if not result and not self.running():
                raise ScenarioFailure(f"the program ended while waiting for {what}")
            return result
        return wait_for(what, probe_while_running)

    def geometry(self, window):
        """(x, y, width, height) of a screen's X window on the display."""
        out = xdotool(self.prefix.env, "getwindowgeometry", "--shell", window)
        values = dict(line.split("=", 1) for line in out.split())
        return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])

    def click(self, x, y):
        """A click of the left mouse button at a point of the display."""
        xdotool(self.prefix.env, "mousemove", "--sync", str(x), str(y), "click", "1")

    def press(self, window, *keys):
        """Keys for a screen's X window, or for the desktop's that shows it."""
        if self.desktop:
            self.desktop.press(window, *keys)
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

    def wait_call(self, function):
        """The arguments of each call to function, once there is one."""
        return wait_for(f"a call to {function}", lambda: self.calls_to(function))

    def texts(self):
        """The texts the program put on its screens, as the trace shows them (cut after about 250 characters)."""
        return [re.search(r'"(.*)"', args).group(1).replace('\\"', '"') if '"' in args else ""
                for args in self.calls_to("SetDlgItemTextA")]

    def wait_exit(self):
        """The program's exit code. In a virtual desktop the process is explorer's, not the
        program's, so the code is read from its call to ExitProcess instead."""
        if self.desktop:
            return int(self.wait_call("ExitProcess")[0], 16)
        timeout = step_seconds()
        try:
            code = self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise ScenarioFailure(f"the program did not exit within {timeout:.0f} s")
        self.trace_file.close()
        return code

    def running(self):
        """Whether the program has not yet ended."""
        if self.desktop:
            return not self.calls_to("ExitProcess")
        return self.process.poll() is None

    def kill(self):
        if self.process.poll() is None:
            os.killpg(self.process.pid, signal.SIGKILL)
            self.process.wait()
        self.trace_file.close()


class Session:
    """A scenario's world: a display, a prefix, its programs, and what to show when it fails."""

    def __init__(self, exe, template, artifacts, name, helpers, copy=True):
        """With copy False the session works in the template prefix itself. helpers is the folder of the
        Windows programs of tests/e2e/helper: the registry seeder, the screen preview and the desktop
        keeper."""
        self.exe = exe
        self.helpers = helpers
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
        try:
            self.prefix = Prefix(template, self.display.name, self.workdir if copy else None,
                                 desktop_keeper=self.helper("desktop_keeper"))
        except ScenarioFailure:
            self.display.close()
            shutil.rmtree(self.workdir, ignore_errors=True)
            raise
        self.desktop = Desktop(self.prefix.env)
        self.programs = []

    def start(self, in_desktop=False):
        """Starts a copy of the program; in_desktop, in the session's Wine desktop, beside the
        copies still running there."""
        joining = in_desktop and any(program.desktop and program.running() for program in self.programs)
        program = Program(self.prefix, self.exe, os.path.join(self.workdir, f"trace-{len(self.programs) + 1}.txt"),
                          self.image_range, self.screens, self.desktop if in_desktop else None, joining)
        self.programs.append(program)
        return program

    def start_preview(self):
        """Shows "Restart Failed!" in the session's Wine desktop, once its last program has ended: the
        preview helper opens it from the executable's resources with the program's own handler, for Wine
        never refuses a restart. Returns the helper's process."""
        return self.desktop.launch([self.helper("screen_preview"), self.exe], joining=False,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def helper(self, name):
        path = os.path.join(self.helpers, f"{name}.exe")
        if not os.path.exists(path):
            raise ScenarioFailure(f"there is no {path}: build the win64 preset, which builds the helpers")
        return path

    def seed(self, *args):
        """Runs the registry seeding helper in the scenario's prefix."""
        self.prefix.run(self.helper("registry_seed"), *args)

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
            opened = [f'{template} "{self.screens.dialogs[template].title}"' if template in self.screens.dialogs
                      else f"{template}, which the executable has no template for" for template in program.screens()]
            print(f"copy {number}: screens opened: {', '.join(opened) or 'none'}")
            for function, args, result in program.trace.calls_with_results():
                print(f"  {function}({args})" + ("" if result is None else f" = {result}"))
            # Wine's own errors say why a call failed that the program did not expect to fail.
            for line in program.trace.wine_errors[-20:]:
                print(f"  Wine: {line}")

    def close(self):
        for program in self.programs:
            program.kill()
        self.prefix.close()
        self.display.close()
        shutil.rmtree(self.workdir, ignore_errors=True)
