"""The training-record store in ~/.vantorel: dict shapes, round trips and faults."""
import inspect
import json
import os

import pytest

import vantorel as vt
from conftest import seconds_to_interrupt

FEATURE_KEYS = [
    "n_items", "n_categories", "dim", "mean_members_per_category", "category_size_entropy", "mean_sparsity",
    "axis_utilization_entropy", "noise_estimate", "mean_intra_category_similarity",
    "mean_inter_category_similarity", "category_separation_ratio",
]
RECORD_KEYS = ["corpus_id", "features", "best_config", "best_score", "metric_name", "strategy", "timestamp"]


def features(seed=0.0):
    f = dict.fromkeys(FEATURE_KEYS[3:], 0.5 + seed)
    return {"n_items": 100, "n_categories": 4, "dim": 16, **f}


def record(corpus_id="c1", best_config=None, best_score=0.8, seed=0.0):
    return {"corpus_id": corpus_id, "features": features(seed), "best_config": best_config or {},
            "best_score": best_score, "metric_name": "default_composite", "strategy": "random",
            "timestamp": "1700000000"}


def default_config():
    return vt.Pipeline(["a", "b", "c"], [[1.0, 0, 0], [0, 1.0, 0], [0, 0, 1.0]]).config()


def store_file(home):
    return home / ".vantorel" / "meta_records.json"


def test_signatures_and_docstrings():
    assert str(inspect.signature(vt.load_default_store)) == "()"
    assert str(inspect.signature(vt.append_to_default_store)) == "(record)"
    assert "~/.vantorel/meta_records.json" in vt.load_default_store.__doc__
    assert "empty list" in vt.load_default_store.__doc__
    assert "absolute path" in vt.append_to_default_store.__doc__
    with pytest.raises(TypeError):
        vt.load_default_store(1)


def test_append_then_load_round_trip(home):
    assert vt.load_default_store() == []
    r = record(best_config={"projection_kind": "KernelPca"})
    path = vt.append_to_default_store(record=r)
    assert path == str(store_file(home))
    [loaded] = vt.load_default_store()
    assert list(loaded) == RECORD_KEYS and list(loaded["features"]) == FEATURE_KEYS
    assert isinstance(loaded["features"]["n_items"], int)
    expected_config = {**default_config(), "projection_kind": "KernelPca"}
    assert loaded == {**r, "best_config": expected_config}
    # Each line is the record's JSON form: Python's json reads back the same dicts.
    lines = store_file(home).read_text().splitlines()
    assert [json.loads(line) for line in lines] == [loaded]
    # load(save(x)) == x, in store order.
    vt.append_to_default_store(loaded)
    vt.append_to_default_store(record("c2"))
    again = vt.load_default_store()
    assert again[:2] == [loaded, loaded] and again[2]["corpus_id"] == "c2"
    assert again[2]["best_config"] == default_config()


def test_legacy_array_is_read_and_converted_on_append(home):
    store_file(home).parent.mkdir()
    old = [{**record(f"c{i}"), "best_config": default_config()} for i in range(3)]
    store_file(home).write_text(json.dumps(old, indent=2))
    assert vt.load_default_store() == old
    vt.append_to_default_store(record("new"))
    assert [json.loads(line)["corpus_id"] for line in store_file(home).read_text().splitlines()] == [
        "c0", "c1", "c2", "new"]
    assert vt.load_default_store()[:3] == old


@pytest.mark.parametrize("bad", [
    {"best_score": float("nan")},
    {"best_score": float("inf")},
    {"features": {**features(), "noise_estimate": float("-inf")}},
])
def test_non_finite_record_is_refused_and_file_unchanged(home, bad):
    vt.append_to_default_store(record("c0"))
    before = store_file(home).read_bytes()
    with pytest.raises(ValueError, match=r"^failed to append record: "):
        vt.append_to_default_store({**record("c1"), **bad})
    assert store_file(home).read_bytes() == before


@pytest.mark.parametrize("r,message", [
    ({}, "invalid record dict: missing field `corpus_id`"),
    ({**record(), "features": {k: v for k, v in features().items() if k != "category_separation_ratio"}},
     "invalid record dict: missing field `category_separation_ratio`"),
    ({k: v for k, v in record().items() if k != "timestamp"}, "invalid record dict: missing field `timestamp`"),
])
def test_incomplete_record_dicts(home, r, message):
    with pytest.raises(ValueError) as info:
        vt.append_to_default_store(r)
    assert str(info.value) == message
    assert not store_file(home).exists()
    with pytest.raises(ValueError, match=r"^invalid record dict: "):
        vt.append_to_default_store([1, 2])


def test_store_faults(home, monkeypatch):
    store_file(home).parent.mkdir()
    store_file(home).write_text('{"corpus_id": "c0"}\n')
    with pytest.raises(ValueError, match=r"^failed to load default store: "):
        vt.load_default_store()
    store_file(home).unlink()
    store_file(home).mkdir()
    with pytest.raises(ValueError, match=r"^failed to load default store: "):
        vt.load_default_store()
    with pytest.raises(ValueError, match=r"^failed to append record: "):
        vt.append_to_default_store(record())
    monkeypatch.delenv("HOME")
    with pytest.raises(ValueError) as info:
        vt.load_default_store()
    assert str(info.value) == "failed to load default store: neither HOME nor USERPROFILE is set"
    with pytest.raises(ValueError) as info:
        vt.append_to_default_store(record())
    assert str(info.value) == "failed to append record: neither HOME nor USERPROFILE is set"


def test_ctrl_c_stops_long_loads_and_conversions_and_changes_nothing(home):
    vt.append_to_default_store(record())
    line = store_file(home).read_text().strip()
    lines = (line + "\n") * 100_000
    store_file(home).write_text(lines)
    # While the file is parsed, and while its records become dicts.
    for after in (0.05, None):
        assert seconds_to_interrupt(vt.load_default_store, after) < 0.5
    assert store_file(home).read_text() == lines
    legacy = "[" + ",".join([line] * 100_000) + "]"
    store_file(home).write_text(legacy)
    assert seconds_to_interrupt(lambda: vt.append_to_default_store(record("new")), 0.05) < 0.5
    assert store_file(home).read_text() == legacy
    assert os.listdir(store_file(home).parent) == ["meta_records.json"]
