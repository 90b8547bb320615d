"""How embeddings arrive from Python: arrays, lists and their error texts."""
import signal

import numpy as np
import pytest

import vantorel as vt


@pytest.fixture(scope="module")
def pca():
    rows = np.random.default_rng(3).normal(size=(30, 4))
    return vt.PcaProjection.fit(rows)


def message(call):
    with pytest.raises(Exception) as info:
        call()
    return type(info.value), str(info.value)


class TestOneEmbedding:
    def test_array_list_and_float32_agree(self, pca):
        v = np.array([0.5, -1.25, 2.0, 0.125])
        expected = pca.project(v)
        assert pca.project(list(v)) == expected
        assert pca.project(tuple(v)) == expected
        assert pca.project(v.astype(np.float32)) == expected  # exactly representable values
        assert pca.project(np.array([1, -2, 2, 0])) == pca.project([1.0, -2.0, 2.0, 0.0])  # int64 via sequences

    def test_rejections(self, pca):
        assert message(lambda: pca.project("abcd")) == (TypeError, "Can't extract `str` to `Vec`")
        assert message(lambda: pca.project(5)) == (TypeError, "'int' object is not an instance of 'Sequence'")
        assert message(lambda: pca.project(np.arange(8.0)[::2])) == (
            TypeError, "The given array is not contiguous or is misaligned.")
        assert message(lambda: pca.project([1.0, float("inf"), 0.0, float("nan")])) == (
            ValueError, "embedding values must be finite (no NaN or Inf), found inf at index 1")
        assert message(lambda: pca.project(np.array([0, 0, 0, np.nan]))) == (
            ValueError, "embedding values must be finite (no NaN or Inf), found NaN at index 3")
        assert message(lambda: pca.project([1.0, "x", 0.0, 1.0]))[0] is TypeError
        assert message(lambda: pca.project([1.0, 2.0])) == (ValueError, "expected dimension 4, got 2")
        assert message(lambda: pca.project([])) == (ValueError, "expected dimension 4, got 0")


class TestCorpus:
    def test_forms_agree(self, pca):
        rows = np.random.default_rng(4).normal(size=(6, 4))
        expected = pca.project_batch(rows)
        assert pca.project_batch(rows.tolist()) == expected
        assert pca.project_batch(list(map(tuple, rows))) == expected
        halves = rows.astype(np.float16)
        assert pca.project_batch(halves) == pca.project_batch(halves.astype(np.float64))
        assert pca.project_batch(np.zeros((0, 4))) == []
        assert pca.project_batch([]) == []

    def test_rejections(self, pca):
        grid = np.arange(12.0).reshape(3, 4)
        assert message(lambda: pca.project_batch(np.asfortranarray(grid)))[1] == \
            "The given array is not contiguous or is misaligned."
        assert message(lambda: pca.project_batch(grid[::2]))[1] == \
            "The given array is not contiguous or is misaligned."
        assert pca.project_batch(np.ascontiguousarray(grid[::2])) == pca.project_batch(grid[::2].tolist())
        assert message(lambda: vt.PcaProjection.fit([[1.0, 2.0, 0.0], [3.0, float("nan"), 0.0]])) == (
            ValueError, "embedding values must be finite (no NaN or Inf), found NaN at [1][1]")
        assert message(lambda: vt.PcaProjection.fit(np.array([[1.0, 2.0, 0.0], [3.0, np.nan, 0.0]]))) == (
            ValueError, "embedding values must be finite (no NaN or Inf), found NaN at index 4")
        assert message(lambda: vt.PcaProjection.fit(np.array([[1, 2, 3], [4, 5, np.inf]], dtype=np.float32)))[1] == \
            "embedding values must be finite (no NaN or Inf), found inf at index 5"
        # a conversion error in a later row wins over a non-finite value in an earlier one
        assert message(lambda: vt.PcaProjection.fit([[float("nan")], ["x"]]))[0] is TypeError
        assert message(lambda: vt.PcaProjection.fit([[float("nan")], "x"])) == (
            TypeError, "Can't extract `str` to `Vec`")
        assert message(lambda: vt.PcaProjection.fit("abc")) == (TypeError, "Can't extract `str` to `Vec`")
        assert message(lambda: vt.PcaProjection.fit(5)) == (TypeError, "'int' object is not an instance of 'Sequence'")
        assert message(lambda: vt.PcaProjection.fit([[1.0, 2.0, 3.0], 4])) == (
            TypeError, "'int' object is not an instance of 'Sequence'")
        assert message(lambda: pca.project_batch([[1.0, 2.0, 3.0, 4.0], [1.0]])) == (
            ValueError, "expected dimension 4, got 1")


class TestRadial:
    @pytest.mark.parametrize("radial,text", [
        ("Magnitude", "unknown radial strategy 'Magnitude': expected 'magnitude' or a float"),
        ("2.0", "unknown radial strategy '2.0': expected 'magnitude' or a float"),
        ([1], "radial must be 'magnitude' or a float value"),
        (float("nan"), "radial must be 'magnitude' or a float value"),
        (float("-inf"), "radial must be 'magnitude' or a float value"),
    ])
    def test_rejections(self, radial, text):
        assert message(lambda: vt.RandomProjection(5, radial=radial)) == (ValueError, text)

    def test_fixed_and_magnitude(self):
        v = [3.0, 0.0, 4.0, 0.0, 0.0]
        assert vt.RandomProjection(5, radial=2).project(v).r == 2.0
        assert vt.RandomProjection(5, radial="magnitude").project(v).r == 5.0
        assert vt.RandomProjection(5, radial=None).project(v).r == 5.0

    def test_radial_checked_after_embeddings(self):
        assert message(lambda: vt.PcaProjection.fit("abc", radial="bad"))[1] == "Can't extract `str` to `Vec`"
        rows = [[1.0, 0.0, 0.0], [0.0, 1.0, 0.0]]
        assert message(lambda: vt.PcaProjection.fit(rows, radial="bad"))[0] is ValueError


def test_lists_work_without_numpy():
    import subprocess
    import sys
    script = (
        "import sys; sys.modules['numpy'] = None\n"
        "import vantorel as vt\n"
        "p = vt.PcaProjection.fit([[1.0, 0.0, 0.0], [0.0, 2.0, 0.0], [0.0, 0.0, 3.0], [1.0, 1.0, 1.0]])\n"
        "print(p.dimensionality, len(p.project_batch([[1.0, 2.0, 3.0]])))\n"
    )
    out = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, check=True)
    assert out.stdout.split() == ["3", "1"]


class Overstated:
    """A sequence whose __len__ claims far more items than iteration yields."""

    def __init__(self, items):
        self.items = list(items)

    def __len__(self):
        return 2**62

    def __getitem__(self, i):
        return self.items[i]


def test_impossible_sizes_are_memory_errors_and_len_is_only_a_hint(pca):
    for dim in (2**61, 2**62, 2**64 - 1):
        with pytest.raises(MemoryError):
            vt.RandomProjection(dim)
    rows = np.random.default_rng(5).normal(size=(12, 4))
    categories = ["a", "b", "c"] * 4
    assert pca.project(Overstated(rows[0])) == pca.project(rows[0])
    assert pca.project_batch(Overstated(Overstated(r) for r in rows)) == pca.project_batch(rows)
    built = vt.Pipeline(Overstated(categories), Overstated(Overstated(r) for r in rows))
    assert built.to_json() == vt.Pipeline(categories, rows).to_json()

    # An honest but endless size is read item by item and stays interruptible.
    class Stop(Exception):
        pass

    def stop(*_):
        raise Stop

    previous = signal.signal(signal.SIGALRM, stop)
    signal.setitimer(signal.ITIMER_REAL, 0.2)
    try:
        with pytest.raises(Stop):
            built.nearest(range(2**62))
    finally:
        signal.setitimer(signal.ITIMER_REAL, 0)
        signal.signal(signal.SIGALRM, previous)
