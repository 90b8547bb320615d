import threading
import time

import numpy as np
import pytest

import vantorel

QUICK = {"spatial": {"coverage_samples": 3000, "exclusivity_samples": 2000, "voronoi_samples": 3000}}
ONE = {
    "projection_kinds": ["Pca"], "laplacian_k_neighbors": [10], "laplacian_active_threshold": [0.05],
    "num_domain_groups": [3], "low_evr_threshold": [0.35], "overlap_artifact_territorial": [0.3],
    "threshold_base": [0.5], "threshold_evr_penalty": [0.4], "min_evr_improvement": [0.1],
}


def clustered(rng, n, d, k):
    centres = rng.normal(size=(k, d))
    labels = rng.integers(0, k, size=n)
    return [f"c{i}" for i in labels], centres[labels] + 0.4 * rng.normal(size=(n, d))


# ---------------------------------------------------------------- corpus features

def features_oracle(cats, e, t=0.05):
    n, d = e.shape
    _, sizes = np.unique(cats, return_counts=True)
    k = len(sizes)
    p = sizes / n
    size_entropy = float(-(p * np.log(p)).sum() / np.log(k)) if k >= 2 else 0.0
    active = np.abs(e) > t
    axis = active.sum(axis=0)
    q = axis[axis > 0] / axis.sum() if axis.sum() else np.array([])
    axis_entropy = float(-(q * np.log(q)).sum() / np.log(d)) if d != 1 and axis.sum() else 0.0
    medians = [np.sort(np.abs(row[~act]))[(~act).sum() // 2] for row, act in zip(e, active) if (~act).any()]
    norms = np.linalg.norm(e, axis=1)
    unit = e / np.where(norms < np.finfo(float).eps, np.inf, norms)[:, None]
    cos = np.clip(unit @ unit.T, -1, 1)
    same = np.equal.outer(np.asarray(cats), np.asarray(cats))
    upper = np.triu(np.ones((n, n), bool), 1)
    intra = cos[same & upper].mean() if (same & upper).any() else 0.0
    inter = cos[~same & upper].mean() if (~same & upper).any() else 0.0
    return {
        "n_items": n, "n_categories": k, "dim": d, "mean_members_per_category": n / k,
        "category_size_entropy": size_entropy, "mean_sparsity": active.sum() / (n * d),
        "axis_utilization_entropy": axis_entropy, "noise_estimate": float(np.mean(medians)) if medians else 0.0,
        "mean_intra_category_similarity": intra, "mean_inter_category_similarity": inter,
        "category_separation_ratio": intra / max(abs(inter), 1e-12),
    }


@pytest.mark.parametrize("n", [2, 17, 255, 256, 301])
def test_corpus_features_match_numpy(rng, n):
    d = 12
    cats = [f"c{i}" for i in rng.integers(0, 4, size=n)]
    e = 0.08 * rng.normal(size=(n, d))
    e[:, 0] = 0.05  # exactly at the threshold: inactive
    e[::3, 1] = -0.05
    e[:, 2] = 0.0  # an axis never used
    got = vantorel.corpus_features(cats, e)
    want = features_oracle(cats, e)
    assert list(got) == list(want)
    assert all(type(got[key]) is int for key in ("n_items", "n_categories", "dim"))
    for key, value in want.items():
        assert got[key] == pytest.approx(value, rel=1e-12, abs=1e-15), key


def test_corpus_features_bad_input():
    with pytest.raises(ValueError, match=r"^categories length \(2\) != embeddings length \(1\)$"):
        vantorel.corpus_features(["a", "b"], [[1.0, 0.0]])
    with pytest.raises(ValueError, match="^cannot extract features from an empty corpus$"):
        vantorel.corpus_features([], [])
    with pytest.raises(ValueError, match="^embeddings must have positive dimensionality$"):
        vantorel.corpus_features(["a"], [[]])
    with pytest.raises(ValueError, match="^embedding 1 has dimension 1, expected 2$"):
        vantorel.corpus_features(["a", "b"], [[1.0, 0.0], [1.0]])
    with pytest.raises(TypeError):
        vantorel.corpus_features("ab", [[1.0], [2.0]])


# ---------------------------------------------------------------- auto_tune arguments

def test_auto_tune_checks_in_order(rng):
    c, e = clustered(rng, 30, 6, 3)
    bad = {"projection_kind": "Nope"}
    cases = [
        ({"metric": "x", "base_config": bad}, r"^invalid base_config dict: "),
        ({"metric": "Territorial_Health", "strategy": "y"},
         r'^unknown metric "Territorial_Health"; expected one of: territorial_health, bridge_coherence, '
         r"cluster_silhouette, graph_modularity, default_composite, connectivity_composite$"),
        ({"strategy": 'a"\\\t\u0085', "search_space": {}},
         r'^unknown strategy "a\\"\\\\\\t\\u\{85\}"; expected one of: grid, random, bayesian$'),
        ({"search_space": {}}, r"^invalid search_space dict: missing field `projection_kinds`$"),
        ({"search_space": {**ONE, "threshold_base": "0.5"}}, r"^invalid search_space dict: Can't extract `str` to `Vec`$"),
        ({"search_space": {**ONE, "threshold_base": []}}, r"^search space list `threshold_base` is empty$"),
        ({"search_space": {**ONE, "projection_kinds": ["LaplacianEigenmap"], "laplacian_k_neighbors": []},
          "strategy": "bayesian"}, r"^search space list `laplacian_k_neighbors` is empty$"),
        ({"strategy": "bayesian", "budget": 1}, r"^bayesian strategy needs budget >= 2$"),
        ({"budget": 0}, r"^auto_tune produced no successful trials \(0 failures\)$"),
        ({"strategy": "grid", "search_space": {**ONE, "threshold_base": []}},
         r"^auto_tune produced no successful trials \(0 failures\)$"),
    ]
    for kwargs, message in cases:
        with pytest.raises(ValueError, match=message):
            vantorel.auto_tune(c, e, **kwargs)
    with pytest.raises(ValueError, match=r"^categories length \(29\) != embeddings length \(30\)$"):
        vantorel.auto_tune(c[1:], e, metric="x")
    with pytest.raises(ValueError, match=r"^embedding 1 has dimension 1, expected 2$"):
        vantorel.auto_tune(["a", "b"], [[1.0, 0.0], [1.0]])
    with pytest.raises(TypeError):
        vantorel.auto_tune(c, e, metric=None)
    with pytest.raises(OverflowError):
        vantorel.auto_tune(c, e, budget=-1)


# ---------------------------------------------------------------- auto_tune runs

def test_one_configuration_equals_a_direct_build(rng):
    c, e = clustered(rng, 60, 8, 4)
    pipeline, report = vantorel.auto_tune(c, e, strategy="grid", search_space=ONE, base_config=QUICK,
                                          metric="territorial_health", budget=99, seed=5)
    assert list(report) == ["metric_name", "best_score", "best_config", "trials_count", "failures_count",
                            "mean_score"]
    direct = vantorel.Pipeline(c, e, config=report["best_config"])
    assert pipeline.to_json() == direct.to_json()
    assert pipeline.config() == report["best_config"] == direct.config()
    assert report["best_config"]["spatial"] == QUICK["spatial"]
    assert (report["metric_name"], report["trials_count"], report["failures_count"]) == ("territorial_health", 1, 0)
    _, again = vantorel.auto_tune(c, e, strategy="random", budget=3, search_space=ONE, base_config=QUICK,
                                  metric="territorial_health")
    assert again["best_score"] == report["best_score"] == report["mean_score"] == again["mean_score"]
    assert pipeline.nearest(e[0], k=1)[0].id == "s-0000"


def test_grid_counts_and_shared_builds_match_fresh_ones(rng):
    c, e = clustered(rng, 80, 8, 4)
    space = {**ONE, "projection_kinds": ["Pca", "LaplacianEigenmap"], "laplacian_k_neighbors": [5, 8],
             "num_domain_groups": [2, 3], "threshold_base": [0.3, 0.6], "min_evr_improvement": [0.0, 0.5]}
    for metric in ("default_composite", "bridge_coherence", "graph_modularity"):
        pipeline, report = vantorel.auto_tune(c, e, strategy="grid", search_space=space, base_config=QUICK,
                                              metric=metric)
        assert report["trials_count"] + report["failures_count"] == 8 + 8 * 2
        assert pipeline.to_json() == vantorel.Pipeline(c, e, config=report["best_config"]).to_json()


def test_laplacian_refusal_records_one_failure_per_configuration(rng):
    c, e = clustered(rng, 3, 5, 2)
    space = {**ONE, "projection_kinds": ["Pca", "LaplacianEigenmap", "Pca"], "laplacian_k_neighbors": [2, 3],
             "laplacian_active_threshold": [0.01, 0.05, 0.1], "low_evr_threshold": [0.2, 0.3]}
    _, report = vantorel.auto_tune(c, e, strategy="grid", search_space=space, base_config=QUICK)
    assert (report["trials_count"], report["failures_count"]) == (4, 12)
    assert report["best_config"]["projection_kind"] == "Pca"


def test_same_seed_same_report(rng):
    c, e = clustered(rng, 50, 6, 3)
    kwargs = dict(strategy="bayesian", budget=8, warmup=3, seed=42, base_config=QUICK, metric="default_composite")
    first, second = (vantorel.auto_tune(c, e, **kwargs)[1] for _ in range(2))
    assert first == second
    assert first["trials_count"] + first["failures_count"] == 8


def test_other_threads_run_while_tuning(rng):
    c, e = clustered(rng, 200, 16, 5)
    done = threading.Event()
    result = {}

    def tune():
        result["report"] = vantorel.auto_tune(c, e, budget=40, base_config=QUICK)[1]
        done.set()

    worker = threading.Thread(target=tune)
    worker.start()
    ticks = 0
    while not done.is_set():
        ticks += 1
        time.sleep(0.001)
    worker.join()
    assert ticks > 5
    assert result["report"]["trials_count"] == 40
