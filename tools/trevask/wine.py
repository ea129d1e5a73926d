"""Running TREVASK.EXE under Wine on a virtual X display, as a user would.

A template Wine prefix is made once; each scenario works in a copy of it,
with its own Xvfb display and wineserver, so scenarios cannot disturb each
other. Screens are found by their titles, which the executable's own
templates give (polling, never a fixed sleep), keys are pressed with
xdotool, the texts a screen shows come from a +relay trace of the program's
own calls, and the registry is read with Wine's reg.exe. What a session
needs to know of the executable (its place in memory, its screens, its
pointer width) it reads from the executable itself.
"""
import ctypes
import functools
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time

from trevask import pe, resources

# Debian's wine32: /usr/bin/wine runs every program through it when it is there.
WINE32_LOADER = "/usr/lib/wine/wine"
SKIPPED = 77  # what a scenario returns when the machine cannot run the executable at all

DRIVER_KEY = r"HKLM\System\CurrentControlSet\Services\Tv38_410\Parameters\Device"
VALUE_NAME = "DriverParameter"
# Seconds to wait for a screen or a call; a first start of Wine in a fresh prefix can take
# several, and a machine that emulates its CPU several times more (TREVASK_WAIT_SECONDS).
TIMEOUT = float(os.environ.get("TREVASK_WAIT_SECONDS", "30"))


class ScenarioFailure(AssertionError):
    pass


def wait_for(what, probe, timeout=TIMEOUT, interval=0.1):
    """Polls probe() until it returns something true, and returns that."""
    deadline = time.monotonic() + timeout
    while True:
        result = probe()
        if result:
            return result
        if time.monotonic() > deadline:
            raise ScenarioFailure(f"timed out after {timeout:.0f} s waiting for {what}")
        time.sleep(interval)


def xdotool(env, *args, check=True):
    """Runs xdotool on the display env names and returns what it printed; one that hangs (a --sync
    that never comes true) fails the scenario instead of stalling it."""
    try:
        return subprocess.run(["xdotool", *args], env=env, capture_output=True, text=True, check=check,
                              timeout=TIMEOUT).stdout
    except subprocess.TimeoutExpired:
        raise ScenarioFailure(f"xdotool {' '.join(args)} did not finish within {TIMEOUT:.0f} s")


class Display:
    """An Xvfb server on a free display number."""

    def __init__(self, size="1024x768x24"):
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", size, "-nolisten", "tcp"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as pipe:
            number = pipe.readline().strip()
        if not number:
            raise ScenarioFailure("Xvfb did not start")
        self.name = f":{number}"

    def screenshot(self, path, window="root", timeout=TIMEOUT):
        try:
            subprocess.run(["import", "-display", self.name, "-window", window, path],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False, timeout=timeout)
        except subprocess.TimeoutExpired:
            raise ScenarioFailure(f"no screenshot of window {window} within {timeout:.0f} s: is it still there?")

    def close(self):
        self.process.terminate()
        self.process.wait(timeout=10)


def _switch_to_32bit_code_and_back():
    """Runs one far jump into 32-bit code and back. A kernel without 32-bit code segments kills the
    process here, and such a kernel cannot run Wine's 32-bit loader either."""
    libc = ctypes.CDLL(None)
    libc.mmap.restype = ctypes.c_void_p
    libc.mmap.argtypes = [ctypes.c_void_p, ctypes.c_size_t, ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_long]
    read_write_execute, private_anonymous_below_2g = 7, 0x02 | 0x20 | 0x40
    base = libc.mmap(None, 4096, read_write_execute, private_anonymous_below_2g, -1, 0)
    if not base or base >= 1 << 31:
        sys.exit("no executable memory below 2 GiB")
    code = bytearray(b"\x48\x89\x25....")        # mov [rip+saved], rsp
    save_end = len(code)
    code += b"\x6a\x23"                          # push 0x23, the 32-bit user code segment
    code += b"\x48\x8d\x05...."                 # lea rax, [rip+code32]
    lea_end = len(code)
    code += b"\x50\x48\xcb"                      # push rax; lretq: on to code32 in 32-bit mode
    code32 = len(code)
    code += b"\xea....\x33\x00"                  # jmp far 0x33:back64, back to 64-bit mode
    back64 = len(code)
    code += b"\x48\x8b\x25...."                 # mov rsp, [rip+saved]
    restore_end = len(code)
    code += b"\xb8\x01\x00\x00\x00\xc3"          # mov eax, 1; ret
    saved = len(code)
    code += bytes(8)
    struct.pack_into("<i", code, save_end - 4, saved - save_end)
    struct.pack_into("<i", code, lea_end - 4, code32 - lea_end)
    struct.pack_into("<I", code, code32 + 1, base + back64)
    struct.pack_into("<i", code, restore_end - 4, saved - restore_end)
    ctypes.memmove(base, bytes(code), len(code))
    return ctypes.CFUNCTYPE(ctypes.c_int)(base)()


@functools.lru_cache(maxsize=None)
def machine_runs_i386_code():
    """Whether this machine's kernel runs 32-bit x86 code, which Wine's 32-bit loader (Debian's wine32)
    needs for an i386 program. Some kernels leave it out (a kernel booted with ia32_emulation=off, or a
    virtual machine that runs 64-bit user code only); there, the loader cannot even start."""
    tools = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    probe = subprocess.run([sys.executable, "-m", "trevask.wine", "--switch-to-32bit-code"], capture_output=True,
                           text=True, timeout=60, env=dict(os.environ, PYTHONPATH=tools))
    return probe.returncode == 0 and probe.stdout.strip() == "1"


def wine_environment(prefix, display):
    env = dict(os.environ)
    env.update(WINEPREFIX=prefix, DISPLAY=display, WINEDEBUG="-all", WINEARCH="win64",
               # No Mono or Gecko: nothing here needs them, and there is no network to fetch them.
               WINEDLLOVERRIDES="mscoree,mshtml=")
    return env


def make_template(path, executables):
    """Makes the prefix every scenario copies. Takes about 15 s.

    +relay traces only the functions the executables import (and the calls
    into dialog procedures), which keeps a run's trace to a few thousand lines."""
    traced_functions = set().union(*(pe.imported_functions(exe) for exe in executables))
    shutil.rmtree(path, ignore_errors=True)
    display = Display()
    try:
        env = wine_environment(path, display.name)
        subprocess.run(["wineboot", "-i"], env=env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(["wine", "reg", "add", r"HKCU\Software\Wine\Debug", "/v", "RelayInclude", "/t", "REG_SZ",
                        "/d", ";".join(sorted(traced_functions)), "/f"], env=env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], env=env, check=True)
    finally:
        display.close()


class Prefix:
    """A scenario's own copy of the template prefix, with a wineserver kept running."""

    def __init__(self, template, display, workdir=None):
        """A copy of template in workdir; with no workdir, the template prefix itself."""
        self.path = template
        if workdir:
            self.path = os.path.join(workdir, "prefix")
            shutil.rmtree(self.path, ignore_errors=True)
            # Hard links keep the copy fast; the registry files are real copies,
            # since wineserver rewrites them.
            subprocess.run(["cp", "-al", template, self.path], check=True)
            for name in ("system.reg", "user.reg", "userdef.reg"):
                target = os.path.join(self.path, name)
                if os.path.exists(target):
                    os.unlink(target)
                    shutil.copy2(os.path.join(template, name), target)
        self.display = display
        self.env = wine_environment(self.path, display.name)
        subprocess.run(["wineserver", "-p"], env=self.env, check=True)

    def run(self, *args, check=True):
        """Runs a Wine program to its end and returns (exit code, output)."""
        # Files, not pipes: processes that Wine starts in the background would
        # hold a pipe open long after the program itself has ended.
        with tempfile.TemporaryFile() as output:
            try:
                code = subprocess.run(["wine", *args], env=self.env, stdout=output, stderr=subprocess.STDOUT,
                                      timeout=120).returncode
            except subprocess.TimeoutExpired:
                raise ScenarioFailure(f"wine {' '.join(args)} did not finish")
            output.seek(0)
            text = output.read().decode(errors="replace")
        if check and code != 0:
            raise ScenarioFailure(f"wine {' '.join(args)} failed ({code}): {text}")
        return code, text

    def set_version(self, version):
        self.run("reg", "add", r"HKCU\Software\Wine", "/v", "Version", "/t", "REG_SZ", "/d", version, "/f")

    def set_value(self, kind, data):
        """Seeds DriverParameter; data as reg.exe takes it (hex digits for REG_BINARY)."""
        self.run("reg", "add", DRIVER_KEY, "/v", VALUE_NAME, "/t", kind, "/d", data, "/f")

    def delete_key(self, key=DRIVER_KEY):
        self.run("reg", "delete", key, "/f", check=False)

    def value(self):
        """(type, data) of DriverParameter as reg.exe shows it, or None when it is missing."""
        code, text = self.run("reg", "query", DRIVER_KEY, "/v", VALUE_NAME, check=False)
        if code != 0:
            return None
        for line in text.splitlines():
            match = re.match(r"^\s+(\S+)\s+(REG_\w+)(?: {4}(.*?))?\r?$", line)
            if match and match.group(1).lower() == VALUE_NAME.lower():
                return match.group(2), match.group(3) or ""
        raise ScenarioFailure(f"cannot read reg.exe output: {text!r}")

    def export(self, path):
        """The whole HKEY_LOCAL_MACHINE, as lines of text."""
        self.run("regedit", "/E", path, "HKEY_LOCAL_MACHINE")
        with open(path, "rb") as f:
            raw = f.read()
        text = raw.decode("utf-16") if raw[:2] in (b"\xff\xfe", b"\xfe\xff") else raw.decode("utf-8", "replace")
        return text.splitlines()

    def close(self):
        subprocess.run(["wineserver", "-k"], env=self.env, check=False,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], env=self.env, check=False, timeout=60)


class Program:
    """One running copy of TREVASK.EXE, traced with +relay."""

    def __init__(self, prefix, exe, trace_path, image_range, screens, args=(), desktop=None):
        self.prefix = prefix
        self.trace_path = trace_path
        self.image_range = image_range  # (first, end) address of the program's image
        self.screens_of_exe = screens  # resources.Executable: the templates the program's screens come from
        self.by_thread, self.offset, self.thread = {}, 0, None
        self.desktop = desktop
        env = dict(prefix.env, WINEDEBUG="+relay")
        self.trace_file = open(trace_path, "wb")
        # In a Wine virtual desktop the title bars are drawn, as on Windows, but
        # the screens are no X windows of their own and the exit code is explorer's.
        launcher = ["explorer", f"/desktop={desktop}"] if desktop else []
        self.process = subprocess.Popen(["wine", *launcher, exe, *args], env=env, stdout=subprocess.DEVNULL,
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
        """The program's own calls in the trace, in order: ('Call', function, arguments),
        ('Ret', function, retval), and ('Proc', message, (wParam, retval)) for each message
        its dialog procedures returned from. Calls from the program's image are kept by
        thread; Wine's own programs load at the same base, so the program's thread is the
        one that creates TREVASK_MUTEX (its calls before that are kept too)."""
        with open(self.trace_path, "rb") as f:
            f.seek(self.offset)
            chunk = f.read()
        complete = chunk.rfind(b"\n") + 1
        self.offset += complete
        first, end = self.image_range
        for line in chunk[:complete].decode("latin-1").splitlines():
            call = re.match(r"^([0-9a-f]{4}):(Call|Ret)\s+([\w.]+)\((.*?)\)(?: retval=(\w+))? ret=(\w+)$", line)
            proc = re.match(r"^([0-9a-f]{4}):Ret\s+dialog proc (\w+) \(hwnd=\w+,msg=(\w+),wp=(\w+),lp=\w+\) "
                            r"retval=(\w+)", line)
            if call:
                tid, kind, function, args, retval, ret = call.groups()
                if not first <= int(ret, 16) < end:
                    continue
                function = function.split(".")[-1]
                if self.thread is None and function == "CreateMutexA" and "TREVASK_MUTEX" in args:
                    self.thread = tid
                self.by_thread.setdefault(tid, []).append((kind, function, args if kind == "Call" else retval))
            elif proc and first <= int(proc.group(2), 16) < end:
                self.by_thread.setdefault(proc.group(1), []).append(
                    ("Proc", proc.group(3), (int(proc.group(4), 16), int(proc.group(5), 16))))
        return list(self.by_thread.get(self.thread, []))

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


def unable_to_run_i386():
    """Why this machine cannot run an i386 program under Wine at all, or None when it can."""
    if not machine_runs_i386_code():
        return ("this machine's kernel cannot run 32-bit x86 code (it has no 32-bit code segment, as with "
                "ia32_emulation=off or a virtual machine that runs 64-bit user code only), so Wine cannot "
                "run an i386 program here")
    return None


def unable_to_run(exe):
    """Why this machine cannot run the executable under Wine at all, or None when it can."""
    return unable_to_run_i386() if pe.image_of(exe)[0] else None


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

    def check_i386_ready(self):
        """Fails unless the prefix can run an i386 program: made with wine32 installed, so that syswow64 is filled."""
        if not self.i386:
            return
        if not os.path.exists(WINE32_LOADER):
            raise ScenarioFailure(f"Wine cannot run i386 programs here: {WINE32_LOADER} is missing; "
                                  "install wine32 (tools/install-packages.sh)")
        syswow64 = os.path.join(self.prefix.path, "drive_c", "windows", "syswow64")
        if not os.path.isdir(syswow64) or not os.listdir(syswow64):
            raise ScenarioFailure(f"the prefix has an empty {syswow64}: it was made without wine32")

    def start(self, *args, desktop=None):
        program = Program(self.prefix, self.exe, os.path.join(self.workdir, f"trace-{len(self.programs) + 1}.txt"),
                          self.image_range, self.screens, args, desktop)
        self.programs.append(program)
        return program

    def seed(self, *args):
        """Runs the registry seeding helper in the scenario's prefix."""
        self.prefix.run(self.seed_helper, *args)

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


if __name__ == "__main__" and sys.argv[1:] == ["--switch-to-32bit-code"]:
    print(_switch_to_32bit_code_and_back())
