"""The Python code that TREVASK's tools and tests share: its resources and PE images, where the builds put
things, and TREVASK.EXE run under Wine as a user would run it."""
import os

# The folder that holds this package, and the repository's root above it.
TOOLS = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
ROOT = os.path.dirname(TOOLS)


class ScenarioFailure(AssertionError):
    """What a scenario, or a tool that plays one, reports when the program or Wine strays."""


# What a scenario or a check exits with when this machine cannot run the executable at all, which ctest
# counts as skipped (SKIP_RETURN_CODE, from scenarios.py --skip-code).
SKIPPED = 77
