"""Waiting for what Wine and the X server do: polling with a deadline, never a fixed sleep.

How long a step may take follows how fast this machine runs Wine at the time. A session times how
long Wine takes to bring its prefix's desktop up (keep_pace) and waits as many times longer than here
as that took longer than here, so that a machine that emulates its CPU, or one kept busy by other
work, has the same margin as this one: STEP_SECONDS for a step that takes a second or two here.
"""
import time

from trevask import ScenarioFailure

STEP_SECONDS = 30
# Bringing up the desktop of a new copy of the template prefix (its services and explorer, until a
# process can make a window), measured on a machine of this project's kind: 1.3 to 1.7 s, whether
# or not both cores were kept busy by other work.
DESKTOP_UP_SECONDS = 1.6
# That first step has no measure to go by yet: as long as it may take on a machine far slower than
# the slowest seen.
FIRST_STEP_LIMIT = 900

_slowness = 1.0


def keep_pace(desktop_up_seconds):
    """Scales every later wait by how much longer than here the desktop took to come up; never below
    what this machine needs."""
    global _slowness
    _slowness = max(1.0, desktop_up_seconds / DESKTOP_UP_SECONDS)


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
