"""Wall-clock timing shared by the benchmark scripts."""
import time


def timed(fn):
    """Seconds one call of fn takes, and its result."""
    start = time.perf_counter()
    result = fn()
    return time.perf_counter() - start, result


def best_of(fn, repeats=3):
    """Seconds of the fastest of `repeats` calls of fn, and the last result."""
    best, result = float("inf"), None
    for _ in range(repeats):
        seconds, result = timed(fn)
        best = min(best, seconds)
    return best, result
