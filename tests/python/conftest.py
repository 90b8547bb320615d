import numpy as np
import pytest


@pytest.fixture
def rng():
    return np.random.default_rng(20261207)


def shortest(x: float) -> str:
    """Independent rendering of the module's "{}" float form."""
    if x != x:
        return "NaN"
    if x in (float("inf"), float("-inf")):
        return "inf" if x > 0 else "-inf"
    return np.format_float_positional(x, unique=True, trim="-")


@pytest.fixture
def home(tmp_path, monkeypatch):
    """A fresh home directory for the stores under ~/.vantorel."""
    monkeypatch.setenv("HOME", str(tmp_path))
    monkeypatch.delenv("USERPROFILE", raising=False)
    return tmp_path


def seconds_to_interrupt(call, after=None):
    """Runs `call` and has Ctrl-C's handler raise KeyboardInterrupt in it:
    `after` seconds in, or else at the first garbage collection during the
    call, which comes once the call builds Python objects. Returns the seconds
    from the signal to the exception."""
    import gc
    import signal
    import time

    sent = []

    # Its handler must run in the call's own check, not in Python code run by
    # the collector, where the exception is lost: the signal comes by a timer,
    # and the callback leaves before it fires.
    def on_gc(phase, info):
        gc.callbacks.remove(on_gc)
        sent.append(time.monotonic() + 0.01)
        signal.setitimer(signal.ITIMER_REAL, 0.01)

    handlers = {s: signal.signal(s, signal.default_int_handler) for s in (signal.SIGINT, signal.SIGALRM)}
    try:
        if after is None:
            gc.callbacks.append(on_gc)
        else:
            sent.append(time.monotonic() + after)
            signal.setitimer(signal.ITIMER_REAL, after)
        call()
    except KeyboardInterrupt:
        return time.monotonic() - sent[0]
    finally:
        signal.setitimer(signal.ITIMER_REAL, 0)
        if on_gc in gc.callbacks:
            gc.callbacks.remove(on_gc)
        for s, handler in handlers.items():
            signal.signal(s, handler)
    pytest.fail("the call returned before it was interrupted")
