"""Wine prefixes: the template made once per test run, which every scenario
copies, and a scenario's copy with its own wineserver, through which the
registry is seeded and read with Wine's reg.exe.
"""
import os
import re
import shutil
import subprocess
import tempfile
import time

from trevask import ScenarioFailure, pe
from trevask.display import Display
from trevask.registry import DRIVER_KEY, VALUE_NAME
from trevask.waiting import FIRST_STEP_LIMIT, keep_pace, step_seconds, wait_for

# Debian's wine32: /usr/bin/wine runs every program through it when it is there.
WINE32_LOADER = "/usr/lib/wine/wine"
# Wine's own faces, from Debian's fonts-wine: sserife.fon is its bitmap MS Sans Serif, the face every
# screen's template asks for. Wine loads fonts only from a prefix's windows\Fonts and through fontconfig,
# which offers no bitmap fonts; without these, Wine draws "MS Sans Serif" in whatever fontconfig has
# (DejaVu Sans, on these machines), which no Windows does.
WINE_FONTS = "/usr/share/wine/fonts"
MS_SANS_SERIF = "sserife.fon"


# What Wine's loader says when it stops waiting for a new prefix's boot (wineboot) to end.
BOOT_WAIT_TIMED_OUT = "boot event wait timed out"


def fonts_folder(prefix):
    return os.path.join(prefix, "drive_c", "windows", "Fonts")


def wine_environment(prefix, display):
    env = dict(os.environ)
    env.update(WINEPREFIX=prefix, DISPLAY=display, WINEDEBUG="-all", WINEARCH="win64",
               # No Mono or Gecko: nothing here needs them, and there is no network to fetch them.
               WINEDLLOVERRIDES="mscoree,mshtml=")
    return env


def make_template(path, executables):
    """Makes the prefix every scenario copies, with Wine's own fonts. Takes about 15 s.

    +relay traces only the functions the executables import (and the calls
    into dialog procedures), which keeps a run's trace to a few thousand lines."""
    traced_functions = set().union(*(pe.imported_functions(exe) for exe in executables))
    if not os.path.exists(os.path.join(WINE_FONTS, MS_SANS_SERIF)):
        raise ScenarioFailure(f"Wine's own MS Sans Serif, {WINE_FONTS}/{MS_SANS_SERIF}, is missing: "
                              "install fonts-wine (tools/install-packages.sh)")
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    display = Display()
    try:
        # Wine's own error lines stay on, to say why a step failed.
        env = dict(wine_environment(path, display.name), WINEDEBUG="-fixme")

        def step(*command, may_outlast_boot_wait=False):
            with tempfile.TemporaryFile() as output:
                code = subprocess.run(command, env=env, stdout=output, stderr=subprocess.STDOUT).returncode
                output.seek(0)
                said = output.read().decode(errors="replace").splitlines()
            if code != 0 and may_outlast_boot_wait and any(BOOT_WAIT_TIMED_OUT in line for line in said):
                return False
            if code != 0:
                raise ScenarioFailure(f"{' '.join(command)} failed ({code}); its last lines:\n  " +
                                      "\n  ".join(said[-20:]))
            return True

        # The first command in a new prefix boots it. Wine waits at most 5 minutes for that boot and
        # then runs the command all the same, which fails on the half-made prefix while the boot goes
        # on; a machine that emulates its CPU and is kept busy takes longer than that. Then the boot
        # is waited for, and the command run again on the prefix it made.
        if not step("wineboot", "-i", may_outlast_boot_wait=True):
            print("Wine stopped waiting for the new prefix's boot after 5 minutes; waiting for it to end")
            step("wineserver", "-w")
            step("wineboot", "-i")
        step("wineserver", "-w")
        for name in os.listdir(WINE_FONTS):
            shutil.copy2(os.path.join(WINE_FONTS, name), fonts_folder(path))
        step("wine", "reg", "add", r"HKCU\Software\Wine\Debug", "/v", "RelayInclude", "/t", "REG_SZ",
             "/d", ";".join(sorted(traced_functions)), "/f")
        step("wineserver", "-w")
    finally:
        display.close()


def unable_to_run_in(path, exe):
    """Why the prefix at path cannot run exe as Windows shows it, or None when it can. Every prefix
    needs Wine's own MS Sans Serif; an i386 program needs one made with Debian's wine32 installed,
    which fills its syswow64."""
    if not os.path.exists(os.path.join(path, "system.reg")):
        return f"there is no Wine prefix in {path}"
    if not os.path.exists(os.path.join(fonts_folder(path), MS_SANS_SERIF)):
        return (f"the prefix in {path} has no {MS_SANS_SERIF}: it was made without Wine's own MS Sans Serif, "
                "so its screens are drawn in another face")
    if not pe.image_of(exe)[0]:
        return None
    if not os.path.exists(WINE32_LOADER):
        return (f"Wine cannot run i386 programs here: {WINE32_LOADER} is missing; "
                "install wine32 (tools/install-packages.sh)")
    syswow64 = os.path.join(path, "drive_c", "windows", "syswow64")
    if not os.path.isdir(syswow64) or not os.listdir(syswow64):
        return f"the prefix has an empty {syswow64}: it was made without wine32"
    return None


class Prefix:
    """A scenario's own copy of the template prefix, with a wineserver kept running."""

    def __init__(self, template, display, workdir=None, desktop_keeper=None):
        """A copy of template in workdir, for Wine to draw on the X display of that name; with no
        workdir, the template prefix itself. With desktop_keeper (tests/e2e/helper/desktop_keeper.cpp),
        Wine's desktop is brought up first and kept up, and every later wait keeps pace with how long
        that took."""
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
        self.env = wine_environment(self.path, display)
        subprocess.run(["wineserver", "-p"], env=self.env, check=True)
        self.keeper = None
        if desktop_keeper:
            try:
                self.keep_desktop_up(desktop_keeper)
            except ScenarioFailure:
                self.close()
                raise

    def keep_desktop_up(self, keeper):
        """Starts the desktop keeper, which stays until the prefix is closed, and waits until it says
        that Wine's desktop is up: the prefix's services and its explorer started, a second or two of
        work for Wine here."""
        started = time.monotonic()
        # A file, not a pipe, as for run(); read from its start while the keeper writes on.
        said = tempfile.TemporaryFile()
        self.keeper = subprocess.Popen(["wine", keeper], env=self.env, stdout=said, stderr=subprocess.STDOUT,
                                       start_new_session=True)

        def ready():
            text = os.pread(said.fileno(), 4096, 0).decode(errors="replace")
            if "ready" not in text and self.keeper.poll() is not None:
                raise ScenarioFailure(f"the desktop keeper ended ({self.keeper.returncode}) before Wine's desktop "
                                      f"was up: {text!r}")
            return "ready" in text

        try:
            wait_for("Wine's desktop to be up", ready, timeout=FIRST_STEP_LIMIT, interval=0.2)
        finally:
            said.close()
        keep_pace(time.monotonic() - started)

    def run(self, *args, check=True, timeout=None):
        """Runs a Wine program to its end and returns (exit code, output); timeout, by default
        waiting.step_seconds(), in seconds."""
        timeout = step_seconds() if timeout is None else timeout
        # Files, not pipes: processes that Wine starts in the background would
        # hold a pipe open long after the program itself has ended.
        with tempfile.TemporaryFile() as output:
            try:
                code = subprocess.run(["wine", *args], env=self.env, stdout=output, stderr=subprocess.STDOUT,
                                      timeout=timeout).returncode
            except subprocess.TimeoutExpired:
                raise ScenarioFailure(f"wine {' '.join(args)} did not finish within {timeout:.0f} s")
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
        subprocess.run(["wineserver", "-w"], env=self.env, check=False, timeout=step_seconds())
        if self.keeper:
            self.keeper.wait(timeout=step_seconds())
