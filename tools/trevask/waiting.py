"""Waiting for what Wine and the X server do: polling with a deadline, never a fixed sleep."""
import os
import time

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
