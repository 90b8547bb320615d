"""The two meta-models against a NumPy transcription of their choice."""
import inspect

import numpy as np
import pytest

import vantorel as vt

KEYS = [
    "n_items", "n_categories", "dim", "mean_members_per_category", "category_size_entropy", "mean_sparsity",
    "axis_utilization_entropy", "noise_estimate", "mean_intra_category_similarity",
    "mean_inter_category_similarity", "category_separation_ratio",
]
MODELS = [vt.NearestNeighborMetaModel, vt.DistanceWeightedMetaModel]


def features(values):
    return {k: (int(v) if i < 3 else float(v)) for i, (k, v) in enumerate(zip(KEYS, values))}


def record(i, values, best_score):
    return {"corpus_id": f"c{i}", "features": features(values), "best_config": {"routing": {"num_domain_groups": i + 1}},
            "best_score": best_score, "metric_name": "m", "strategy": "grid", "timestamp": "0"}


def oracle(records, query, epsilon=None):
    """Index of the record the model picks: z-scores over the first ten features."""
    x = np.array([[r["features"][k] for k in KEYS[:10]] for r in records], dtype=float)
    q = np.array([query[k] for k in KEYS[:10]], dtype=float)
    mean, std = x.mean(axis=0), x.std(axis=0)
    live = std > np.finfo(float).eps
    z = lambda v: np.where(live, (v - mean) / np.where(live, std, 1.0), 0.0)
    d = np.linalg.norm(z(x) - z(q), axis=1)
    if epsilon is None:
        return int(np.argmin(d))
    return int(np.argmax(np.array([r["best_score"] for r in records]) / (d + epsilon)))


@pytest.fixture
def fitted_case(rng):
    values = np.column_stack([rng.integers(10, 1000, (12, 3)), rng.uniform(0, 1, (12, 8))])
    values[:, 5] = 0.25  # a constant feature never moves a distance
    records = [record(i, v, float(s)) for i, (v, s) in enumerate(zip(values, rng.uniform(0.1, 1.0, 12)))]
    queries = [features(np.concatenate([rng.integers(10, 1000, 3), rng.uniform(0, 1, 8)])) for _ in range(20)]
    return records, queries


def test_predictions_match_the_transcription(fitted_case):
    records, queries = fitted_case
    nn, dw, dw_tight = vt.NearestNeighborMetaModel(), vt.DistanceWeightedMetaModel(), vt.DistanceWeightedMetaModel(
        epsilon=0.5)
    for m in (nn, dw, dw_tight):
        m.fit(records)
    groups = lambda config: config["routing"]["num_domain_groups"] - 1
    for q in queries:
        assert groups(nn.predict(q)) == oracle(records, q)
        assert groups(dw.predict(q)) == oracle(records, q, 0.1)
        assert groups(dw_tight.predict(q)) == oracle(records, q, 0.5)


@pytest.mark.parametrize("epsilon", [0.0, -1.0, float("nan")])
def test_tiny_or_nan_epsilon_becomes_1e_12(epsilon):
    # A record at distance 0 outweighs any score when epsilon is 1e-12, not at 0.1.
    near, far = record(0, [10, 2, 4] + [0.1] * 8, 0.01), record(1, [20, 2, 4] + [0.9] * 8, 1.0)
    query = near["features"]
    picks = lambda m: (m.fit([near, far]), m.predict(query)["routing"]["num_domain_groups"])[1]
    assert picks(vt.DistanceWeightedMetaModel(epsilon=epsilon)) == 1
    assert picks(vt.DistanceWeightedMetaModel()) == 2


def test_ties_keep_record_order_and_the_result_builds_a_pipeline():
    same = [1, 1, 1] + [0.5] * 8
    records = [record(i, same, 0.5) for i in range(3)]
    for cls in MODELS:
        m = cls()
        m.fit(records)
        config = m.predict(features(same))
        assert config["routing"]["num_domain_groups"] == 1
        p = vt.Pipeline(["a", "b", "c"], [[1.0, 0, 0], [0, 1.0, 0], [0, 0, 1.0]], config=config)
        assert p.config() == config


@pytest.mark.parametrize("cls", MODELS)
def test_repr_name_and_predict_before_fit(cls):
    m = cls()
    type_name = cls.__name__
    assert repr(m) == f"{type_name}(records=0)"
    assert m.name == {"NearestNeighborMetaModel": "nearest_neighbor", "DistanceWeightedMetaModel": "distance_weighted"}[type_name]
    with pytest.raises(AttributeError):
        m.name = "x"
    q = features([1, 1, 1] + [0.5] * 8)
    message = f"{type_name}::predict called before fit(); call .fit(records) with at least one record first"
    for records in (None, []):
        if records is not None:
            m.fit(records)
        with pytest.raises(ValueError) as info:
            m.predict(q)
        assert str(info.value) == message
    m.fit([record(i, [1, 1, 1] + [0.5] * 8, 0.5) for i in range(3)])
    assert repr(m) == f"{type_name}(records=3)"
    m.fit([record(0, [1, 1, 1] + [0.5] * 8, 0.5)])
    assert repr(m) == f"{type_name}(records=1)"


@pytest.mark.parametrize("cls", MODELS)
def test_conversion_errors_keep_the_previous_fit(cls):
    m = cls()
    good = record(0, [1, 1, 1] + [0.5] * 8, 0.5)
    m.fit([good])
    for bad, text in [([good, {}], "invalid training records: missing field `corpus_id`"),
                      ([{**good, "best_score": "x"}], "invalid training records: must be real number, not str")]:
        with pytest.raises(ValueError) as info:
            m.fit(bad)
        assert str(info.value) == text
    with pytest.raises(ValueError, match=r"^invalid training records: "):
        m.fit({"a": good})
    assert repr(m) == f"{cls.__name__}(records=1)"
    partial = {k: v for k, v in good["features"].items() if k != "category_separation_ratio"}
    with pytest.raises(ValueError) as info:
        m.predict(partial)
    assert str(info.value) == "invalid CorpusFeatures dict: missing field `category_separation_ratio`"


def test_fit_holds_the_model_exclusively_while_reading_records():
    m = vt.NearestNeighborMetaModel()
    good = record(0, [1, 1, 1] + [0.5] * 8, 0.5)

    class Reentrant:
        def __len__(self):
            return 1

        def __getitem__(self, i):
            if i == 0:
                repr(m)
            raise IndexError

    with pytest.raises(RuntimeError, match="^Already mutably borrowed$"):
        m.fit(Reentrant())
    m.fit([good])
    assert repr(m) == "NearestNeighborMetaModel(records=1)"


def test_signatures_and_docstrings():
    assert str(inspect.signature(vt.NearestNeighborMetaModel)) == "()"
    assert str(inspect.signature(vt.DistanceWeightedMetaModel)) == "(*, epsilon=0.1)"
    for cls in MODELS:
        assert str(inspect.signature(cls.fit)) == "(self, /, records)"
        assert str(inspect.signature(cls.predict)) == "(self, /, features)"
    assert "z-score" in vt.NearestNeighborMetaModel.__doc__
    assert "epsilon" in vt.DistanceWeightedMetaModel.__doc__
    assert "Pipeline(categories, embeddings, config=...)" in vt.NearestNeighborMetaModel.predict.__doc__
    assert vt.DistanceWeightedMetaModel.fit.__doc__ is None
    with pytest.raises(TypeError, match="takes 0 positional arguments but 1 was given"):
        vt.DistanceWeightedMetaModel(0.5)
    with pytest.raises(TypeError, match="^argument 'epsilon': "):
        vt.DistanceWeightedMetaModel(epsilon=None)
