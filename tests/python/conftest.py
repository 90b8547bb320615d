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
