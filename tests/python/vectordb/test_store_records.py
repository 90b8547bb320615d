"""InMemoryStore: record dicts in, JSON metadata out (through hybrid search), upsert rules."""
import collections.abc
import dataclasses
import math
import types

import numpy as np
import pytest

import vantorel as vt

BASE = [{"id": f"b{i}", "vector": v} for i, v in enumerate([[1, 0, 0], [0, 1, 0], [1, 1, 0.5], [0.2, 1, 0.3]])]


@pytest.fixture(scope="module")
def probe():
    """Stores metadata {"v": value} under a vector only it has, and reads it back."""
    store = vt.InMemoryStore("probe", 3)
    store.upsert(BASE)
    bridge = vt.VectorStoreBridge(store)
    bridge.build_pipeline()

    def roundtrip(metadata):
        store.upsert([{"id": "probe", "vector": [0, 0, 1], "metadata": metadata}])
        return bridge.hybrid_search([0, 0, 1], final_k=1)[0]["metadata"]

    return roundtrip


@dataclasses.dataclass
class Point:
    y: int
    x: str


ROUNDTRIPS = [
    (None, None), (True, True), (False, False), (0, 0), (-1, -1), (7, 7),
    (2**63, 2**63), (2**64 - 1, 2**64 - 1), (-2**63, -2**63),
    (1.5, 1.5), (float("nan"), None), (float("inf"), None), (-math.inf, None), (np.float64(2.5), 2.5),
    ("text", "text"), ((1, 2), [1, 2]), ([True, 1, 1.0], [True, 1, 1.0]), ({3}, [3]), (frozenset({"a"}), ["a"]),
    ([1, [2, {"b": 1, "a": [None]}]], [1, [2, {"a": [None], "b": 1}]]),
    ({"b": {"d": 1, "c": 2}, "a": 0}, {"a": 0, "b": {"c": 2, "d": 1}}),
    (types.MappingProxyType({"z": 1, "y": 2}), {"y": 2, "z": 1}), (range(3), [0, 1, 2]), (Point(1, "p"), {"x": "p", "y": 1}),
]


class Repeating(collections.abc.Mapping):
    """A mapping whose iteration names a key twice."""

    def __iter__(self):
        return iter(["b", "a", "b"])

    def __len__(self):
        return 3

    def __getitem__(self, key):
        return key * 2


def test_large_metadata_keeps_its_orders(probe):
    keys = [f"k{(i * 7919) % 5000:05d}" for i in range(5000)]
    metadata = {key: {k: i for i, k in enumerate(keys[:200])} if i % 1000 == 0 else i for i, key in enumerate(keys)}
    back = probe(metadata)
    assert list(back) == keys and back[keys[7]] == 7
    assert list(back[keys[0]]) == sorted(keys[:200]) and back[keys[0]] == metadata[keys[0]]
    assert probe({"v": Repeating()})["v"] == {"a": "aa", "b": "bb"}


def test_metadata_values_come_back_converted(probe):
    for value, expected in ROUNDTRIPS:
        back = probe({"v": value})["v"]
        assert back == expected and type(back) is type(expected), value
        if isinstance(expected, (dict, list)):
            assert repr(back) == repr(expected)  # key order and bool-vs-int inside containers
    # the top level keeps the dict's own order
    assert list(probe({"z": 1, "a": 2, "m": 3})) == ["z", "a", "m"]


FAILURES = [
    (2**64, "JSON number out of range"), (2**128 - 1, "JSON number out of range"),
    (-2**63 - 1, "JSON number out of range"), (-2**127, "JSON number out of range"),
    (2**128, "int too big to convert"), (-2**127 - 1, "int too big to convert"),
    (b"x", "invalid type: byte array, expected any valid JSON value"),
    (bytearray(b"x"), "unexpected type: "), ({"k": {1: "a"}}, "unexpected type: "),
    (np.zeros(2), "unsupported type ndarray"), (np.int64(1), "unsupported type int64"),
    (object(), "unsupported type object"),
]


def test_unconvertible_metadata_raises_and_stores_nothing():
    store = vt.InMemoryStore("c", 3)
    for value, inner in FAILURES:
        with pytest.raises(ValueError) as err:
            store.upsert([{"id": "ok", "vector": [1, 2, 3]}, {"id": "bad", "vector": [1, 2, 3], "metadata": {"v": value}}])
        assert str(err.value).startswith("metadata value error: " + inner), value
    deep = []
    for _ in range(100_000):
        deep = [deep]
    with pytest.raises(ValueError, match="^metadata value error: maximum recursion depth"):
        store.upsert([{"id": "deep", "vector": [1, 2, 3], "metadata": {"v": deep}}])
    assert len(store) == 0


class Meddler(list):
    """A metadata value whose conversion empties the dict that holds it."""

    def __iter__(self):
        self.owner.clear()
        return iter([1])


def test_metadata_changed_while_read_is_refused():
    store = vt.InMemoryStore("c", 1)
    for nested, kind in [(False, RuntimeError), (True, ValueError)]:
        owner = {"a": 1, "m": Meddler(), "z": "x" * 100}
        owner["m"].owner = owner
        metadata = {"outer": owner} if nested else owner
        with pytest.raises(kind, match="dictionary changed size during iteration"):
            store.upsert([{"id": "a", "vector": [1.0], "metadata": metadata}])
    assert len(store) == 0


def test_record_dict_errors():
    store = vt.InMemoryStore("c", 3)
    cases = [
        ({}, ValueError, "record missing 'id'"),
        ({"id": "a"}, ValueError, "record missing 'vector'"),
        ({"id": "a", "vector": [1, 2, 3], "metadata": None}, ValueError, "'metadata' must be a dict"),
        ({"id": "a", "vector": "abc"}, TypeError, "Can't extract `str` to `Vec`"),
        ({"id": 1, "vector": [1, 2, 3]}, TypeError, "'int' object is not an instance of 'str'"),
        ({"id": "a", "vector": [1, "x", 3]}, TypeError, "must be real number, not str"),
        ({"id": "a", "vector": [1, 2, 3], "metadata": {1: 2}}, TypeError, "'int' object is not an instance of 'str'"),
        ({"id": "a", "vector": [1, float("nan"), 3]}, ValueError,
         "record 'a': vector values must be finite (no NaN or Inf), found NaN at index 1"),
        ({"id": "a", "vector": np.array([1.0, 2.0, np.inf])}, ValueError,
         "record 'a': vector values must be finite (no NaN or Inf), found inf at index 2"),
    ]
    for record, kind, message in cases:
        with pytest.raises(kind) as err:
            store.upsert([{"id": "first", "vector": [1, 1, 1]}, record])
        assert str(err.value) == message, record
    for records, message in [("abc", "argument 'records': Can't extract `str` to `Vec`"),
                             ([[1]], "argument 'records': 'list' object is not an instance of 'dict'"),
                             (5, "argument 'records': 'int' object is not an instance of 'Sequence'")]:
        with pytest.raises(TypeError, match=message.replace("(", r"\(")):
            store.upsert(records)
    assert len(store) == 0 and store.count() == 0


def test_upsert_partial_replace_and_shapes(probe):
    store = vt.InMemoryStore("c", 3)
    assert store.upsert([]) is None and len(store) == 0
    with pytest.raises(RuntimeError, match="^dimension mismatch: expected 3, got 2$"):
        store.upsert([{"id": "a", "vector": [1, 0, 0]}, {"id": "b", "vector": (0, 1, 0)}, {"id": "c", "vector": [1, 2]}])
    assert len(store) == 2
    store.upsert([{"id": "a", "vector": np.array([0, 0, 1], dtype=np.float32), "metadata": {"k": 1}, "extra": 5}])
    assert len(store) == 2 and store.count() == 2
    # a replaced record keeps no trace of its old metadata
    probe({"old": 1})
    assert probe({"new": 2}) == {"new": 2}


def test_constructor_and_repr():
    assert repr(vt.InMemoryStore('say "hi"\n', 384)) == 'InMemoryStore(collection="say \\"hi\\"\\n", dimension=384)'
    empty = vt.InMemoryStore(collection="z", dimension=0)
    empty.upsert([{"id": "a", "vector": []}])
    assert len(empty) == 1
    with pytest.raises(OverflowError):
        vt.InMemoryStore("c", -1)
    with pytest.raises(TypeError, match="^argument 'collection': "):
        vt.InMemoryStore(1, 3)
