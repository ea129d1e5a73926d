"""Waiting for what Wine and the X server do: polling with a deadline, never a fixed sleep.

How long a step may take follows how fast this machine runs Wine at the time. A session times its
prefix's first Wine command (keep_pace) and waits as many times longer than here as that command
took longer than here, so that a machine that emulates its CPU, or one kept busy by other work, has
the same margin as this one: STEP_SECONDS for a step that takes a second or two here.
"""
import time

from trevask import ScenarioFailure

STEP_SECONDS = 30
# The first Wine command in a new copy of the template prefix, which starts the prefix's services,
# measured on a machine of this project's kind with nothing else running (0.6 to 0.75 s; 0.8 to
# 1.2 s with both cores kept busy; about 15 s under the emulation of tools/i386-under-emulation.sh).
FIRST_COMMAND_SECONDS = 0.75
# The first command itself has no measure to go by yet: as long as it may take on a machine far
# slower than the slowest seen.
FIRST_COMMAND_LIMIT = 600

_slowness = 1.0


def keep_pace(first_command_seconds):
    """Scales every later wait by how much longer than here the first Wine command took; never below
    what this machine needs."""
    global _slowness
    _slowness = max(1.0, first_command_seconds / FIRST_COMMAND_SECONDS)


def step_seconds():
    """How long one step may take: a screen to appear, a key to be handled, a Wine command to end."""
    return STEP_SECONDS * _slowness


def wait_for(what, probe, timeout=None, interval=0.1):
    """Polls probe() until it returns something true, and returns that; timeout, by default
    step_seconds(), in seconds."""
    timeout = step_seconds() if timeout is None else timeout
    deadline = time.monotonic() + timeout
    while True:
        result = probe()
        if result:
            return result
        if time.monotonic() > deadline:
            raise ScenarioFailure(f"timed out after {timeout:.0f} s waiting for {what}")
        time.sleep(interval)
