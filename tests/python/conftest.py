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
