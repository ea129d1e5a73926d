"""Where the builds put what the tools run. The build folders are the presets' own
(CMakePresets.json); inside a build, TREVASK.EXE is src/TREVASK.EXE and the Windows
helpers of the end-to-end tests are in tests/e2e."""
import json
import os

from trevask import ROOT

# The run command's own Wine prefix and screenshots, never the user's ~/.wine.
WINE_PREFIX = os.path.join(ROOT, "build", "wine-prefix")
WINE_SCREENS = os.path.join(ROOT, "build", "wine-screens")


def build_dir(preset):
    with open(os.path.join(ROOT, "CMakePresets.json")) as f:
        presets = {preset["name"]: preset for preset in json.load(f)["configurePresets"]}
    return presets[preset]["binaryDir"].replace("${sourceDir}", ROOT)


def executable(preset):
    """TREVASK.EXE as the preset builds it: win32 for the i386 file that ships, win64 for the x86_64 one."""
    return os.path.join(build_dir(preset), "src", "TREVASK.EXE")


def e2e_helpers():
    """The folder of the Windows helpers that sessions run beside the program, which the win64 preset builds."""
    return os.path.join(build_dir("win64"), "tests", "e2e")
