"""VectorStoreBridge against the plain Pipeline on the same records and against NumPy."""
import inspect
import threading
import time

import numpy as np
import pytest

import vantorel as vt

NOT_BUILT = "pipeline not built \u2014 call build_pipeline() first"


def corpus(rng, n=300, dim=12, categories=4):
    centres = rng.normal(size=(categories, dim)) * 3.0
    labels = [f"topic-{i % categories}" for i in range(n)]
    rows = centres[[i % categories for i in range(n)]] + rng.normal(size=(n, dim))
    return labels, rows


def filled_store(labels, rows, **extra):
    store = vt.InMemoryStore("docs", rows.shape[1])
    store.upsert([{"id": f"doc-{i}", "vector": row, "metadata": {"category": label, **extra}}
                  for i, (label, row) in enumerate(zip(labels, rows))])
    return store


@pytest.fixture(scope="module")
def built():
    labels, rows = corpus(np.random.default_rng(11))
    bridge = vt.VectorStoreBridge(filled_store(labels, rows), batch_size=64)
    bridge.build_pipeline()
    pipeline = vt.Pipeline(labels, rows, projection=vt.PcaProjection.fit(rows, volumetric=True))
    return labels, rows, bridge, pipeline


def as_json(results):
    return [r.to_json() for r in results]


def test_bridge_answers_as_the_pipeline(built):
    labels, rows, bridge, pipeline = built
    q = rows[5] + 0.1
    assert len(bridge) == 300 and repr(bridge) == "VectorStoreBridge(records=300)"
    assert bridge.projection_kind == "pca" and bridge.config() == pipeline.config()
    assert as_json(bridge.query_nearest(q, k=7)) == as_json(pipeline.nearest(q, k=7))
    assert as_json(bridge.query_similar(list(q), min_cosine=0.5)) == as_json(pipeline.similar_above(q, min_cosine=0.5))
    path = bridge.query_concept_path("s-0001", "s-0041", embedding=q)
    assert path is not None and path.to_json() == pipeline.concept_path("s-0001", "s-0041", query=q).to_json()
    assert as_json(bridge.query_detect_globs(q, k=3)) == as_json(pipeline.detect_globs(k=3, query=q))
    assert as_json(bridge.query_detect_globs(q)) == as_json(pipeline.detect_globs(query=q))
    assert bridge.query_local_manifold(q).to_json() == pipeline.local_manifold(q).to_json()
    assert as_json(bridge.hierarchical_nearest(q, k=4)) == as_json(pipeline.hierarchical_nearest(q, k=4))
    same_repr = [
        (bridge.category_neighbors("topic-1", k=2), pipeline.category_neighbors("topic-1", k=2)),
        (bridge.drill_down("topic-2", q, k=5), pipeline.drill_down("topic-2", q, k=5)),
        (bridge.category_stats(), pipeline.category_stats()),
        (bridge.domain_groups(), pipeline.domain_groups()),
        (bridge.projection_warnings(), pipeline.projection_warnings()),
        (bridge.category_concept_path("topic-0", "topic-3"), pipeline.category_concept_path("topic-0", "topic-3")),
    ]
    for ours, theirs in same_repr:
        assert repr(ours) == repr(theirs)

    other = vt.VectorStoreBridge(filled_store(labels, rows))
    other.build_pipeline_with_config({})
    plain = vt.Pipeline(labels, rows)
    assert other.config() == plain.config()
    assert as_json(other.query_nearest(q)) == as_json(plain.nearest(q))


def test_query_errors(built):
    labels, rows, bridge, _ = built
    with pytest.raises(ValueError, match="^query dimension mismatch: expected 12, got 3$"):
        bridge.query_nearest([1.0, 2.0, 3.0])
    with pytest.raises(ValueError, match="^embedding values must be finite"):
        bridge.hybrid_search(np.full(12, np.nan))
    with pytest.raises(RuntimeError, match="^invalid configuration: "):
        bridge.drill_down("no-such-topic", rows[0])
    with pytest.raises(TypeError):
        bridge.query_concept_path("s-0001", "s-0002")
    with pytest.raises(ValueError, match="^invalid config dict: "):
        bridge.build_pipeline_with_config(5)
    with pytest.raises(OverflowError):
        bridge.query_nearest(rows[0], k=-1)
    assert len(bridge) == 300  # failed calls changed nothing


def strided_forms(q):
    """q's values as non-contiguous arrays: a strided row, a row of a Fortran-order
    array, a strided view of a repeat, and the last in float32."""
    wide = np.zeros((2, 2 * q.size))
    wide[1, ::2] = q
    forms = [wide[1, ::2], np.asfortranarray(np.vstack([q, q + 1]))[0], np.repeat(q, 2)[::2],
             np.repeat(q.astype(np.float32), 2)[::2]]
    assert not any(f.flags.c_contiguous for f in forms)
    return forms


def test_strided_arrays_read_as_their_sequences(built):
    labels, rows, bridge, pipeline = built
    members = [
        lambda e: as_json(bridge.query_nearest(e, k=7)),
        lambda e: as_json(bridge.query_similar(e, min_cosine=0.5)),
        lambda e: bridge.query_concept_path("s-0001", "s-0041", embedding=e).to_json(),
        lambda e: as_json(bridge.query_detect_globs(e, k=3)),
        lambda e: bridge.query_local_manifold(e).to_json(),
        lambda e: repr(bridge.drill_down("topic-2", e, k=5)),
        lambda e: as_json(bridge.hierarchical_nearest(e, k=4)),
        lambda e: bridge.hybrid_search(e, final_k=5),
    ]
    for form in strided_forms(rows[5] + 0.1):
        for member in members:
            assert member(form) == member(form.tolist())
        with pytest.raises(TypeError, match="^The given array is not contiguous or is misaligned.$"):
            pipeline.nearest(form)

    forms = strided_forms(rows[7])
    stores = [vt.InMemoryStore("s", 12) for _ in range(2)]
    for store, as_list in zip(stores, [False, True]):
        store.upsert([{"id": f"f{i}", "vector": f.tolist() if as_list else f} for i, f in enumerate(forms + forms)])
    hits = []
    for store in stores:
        other = vt.VectorStoreBridge(store)
        other.build_pipeline()
        hits.append(other.hybrid_search(rows[7] + 0.2, final_k=8, recall_k=8))
    assert hits[0] == hits[1] and len(hits[0]) == 8


def test_unbuilt_and_constructor_rules(rng):
    store = vt.InMemoryStore("empty", 4)
    bridge = vt.VectorStoreBridge(store)
    assert (len(bridge), repr(bridge), bridge.config(), bridge.projection_kind) == (
        0, "VectorStoreBridge(records=0)", None, None)
    unbuilt = [lambda: bridge.query_nearest([1, 2]), lambda: bridge.category_stats(),
               lambda: bridge.hybrid_search([1, 2]), lambda: bridge.sync_projections(),
               lambda: bridge.category_neighbors("x")]
    for call in unbuilt:
        with pytest.raises(RuntimeError) as err:
            call()
        assert str(err.value) == NOT_BUILT
    for call in [lambda: bridge.hierarchical_nearest([1, 2]), bridge.domain_groups, bridge.projection_warnings]:
        with pytest.raises(RuntimeError, match="^pipeline not built$"):
            call()
    with pytest.raises(RuntimeError, match="^insufficient data: need at least 3 records, got 0$"):
        bridge.build_pipeline()
    with pytest.raises(ValueError, match="^batch_size must be at least 1$"):
        vt.VectorStoreBridge(store, batch_size=0)
    with pytest.raises(TypeError, match="^argument 'store': 'int' object is not an instance of 'InMemoryStore'$"):
        vt.VectorStoreBridge(5)
    with pytest.raises(OverflowError):
        vt.VectorStoreBridge(store, max_records=-1)


def test_categories_limits_and_failed_rebuild(rng):
    labels, rows = corpus(rng, n=250, dim=6)
    store = filled_store(labels, rows, number=3)
    bridge = vt.VectorStoreBridge(store, batch_size=100, max_records=150)
    bridge.build_pipeline(category_key="number")
    assert len(bridge) == 150
    assert [s.name for s in bridge.category_stats()[0]] == ["unknown"]
    bridge.build_pipeline_with_config({"projection_kind": "KernelPca"}, category_key="category")
    assert bridge.projection_kind == "kernel_pca"
    before = (len(bridge), bridge.config(), as_json(bridge.query_nearest(rows[3])))
    store.upsert([{"id": "doc-0", "vector": np.zeros(6)}])
    with pytest.raises(RuntimeError, match=r"^invalid configuration: record 'doc-0' \(index 0\) is a near-zero vector"):
        bridge.build_pipeline()
    assert (len(bridge), bridge.config(), as_json(bridge.query_nearest(rows[3]))) == before


@pytest.mark.parametrize("batch_size", [1, 7, 100, 249, 250, 1000])
def test_sync_writes_every_chunk(rng, batch_size):
    labels, rows = corpus(rng, n=250, dim=5)
    store = filled_store(labels, rows)
    bridge = vt.VectorStoreBridge(store, batch_size=batch_size)
    bridge.build_pipeline()
    assert bridge.sync_projections() == 250
    expected = vt.Pipeline(labels, rows, projection=vt.PcaProjection.fit(rows, volumetric=True)).exported_points()
    hits = {h["id"]: h["metadata"] for h in bridge.hybrid_search(rows[0], final_k=250, recall_k=250)}
    for i, point in enumerate(expected):
        meta = hits[f"doc-{i}"]
        assert meta["category"] == labels[i]
        got = [meta["_vantorel_r"], meta["_vantorel_theta"], meta["_vantorel_phi"]]
        assert got == [point["r"], point["theta"], point["phi"]]


def test_hybrid_search_against_numpy(rng):
    labels, rows = corpus(rng, n=400, dim=8)
    store = filled_store(labels, rows)
    bridge = vt.VectorStoreBridge(store)
    bridge.build_pipeline()
    late = rng.normal(size=8)
    store.upsert([{"id": "late", "vector": late, "metadata": {"category": "new"}}])
    everything = np.vstack([rows, late])
    ids = [f"doc-{i}" for i in range(400)] + ["late"]
    for q in [late * 2, rows[17] + 0.3 * rng.normal(size=8), rng.normal(size=8)]:
        cosines = everything @ q / (np.linalg.norm(everything, axis=1) * np.linalg.norm(q))
        for final_k, recall_k in [(5, 20), (10, 10), (8, 3)]:
            recalled = np.argsort(-cosines, kind="stable")[:recall_k]
            expected = recalled[np.argsort(-cosines[recalled], kind="stable")][:final_k]
            hits = bridge.hybrid_search(q, final_k=final_k, recall_k=recall_k)
            assert [h["id"] for h in hits] == [ids[i] for i in expected]
            np.testing.assert_allclose([h["score"] for h in hits], cosines[expected], rtol=1e-12)
            assert all(list(h) == ["id", "score", "metadata"] for h in hits)
    assert bridge.hybrid_search(late, final_k=1)[0]["metadata"] == {"category": "new"}


def test_overflowing_vectors_score_their_cosine():
    rows = np.array([[1, 0, 0], [0, 1, 0], [1, 1, 1], [1e200] * 3, [-1e300, 1e300, 0], [3e-200, 1e200, 2e200]])
    store = vt.InMemoryStore("big", 3)
    store.upsert([{"id": f"r{i}", "vector": row} for i, row in enumerate(rows[:3])])
    bridge = vt.VectorStoreBridge(store)
    bridge.build_pipeline()
    store.upsert([{"id": f"r{i}", "vector": row} for i, row in enumerate(rows[3:], start=3)])
    scaled = rows / np.abs(rows).max(axis=1, keepdims=True)
    for q in [np.full(3, 1e200), np.array([1e-200, 1e200, 0]), np.array([1.0, -2.0, 3.0])]:
        hits = {h["id"]: h["score"] for h in bridge.hybrid_search(q, final_k=6, recall_k=6)}
        unit_q = q / np.abs(q).max()
        cosines = scaled @ unit_q / (np.linalg.norm(scaled, axis=1) * np.linalg.norm(unit_q))
        np.testing.assert_allclose([hits[f"r{i}"] for i in range(6)], cosines, rtol=1e-15, atol=1e-16)


def test_queries_during_rebuilds_answer_from_one_build(rng):
    _, rows = corpus(rng, n=200, dim=8)
    store = vt.InMemoryStore("docs", 8)
    store.upsert([{"id": f"d{i}", "vector": row, "metadata": {"a": f"a{i % 3}", "b": f"b{i % 5}"}}
                  for i, row in enumerate(rows)])
    bridge = vt.VectorStoreBridge(store)
    queries = rows[:8] + 0.05
    answers = {}
    for key in "ab":
        bridge.build_pipeline(category_key=key)
        answers[key] = [as_json(bridge.query_nearest(q, k=10)) for q in queries]
    stop = threading.Event()
    seen, failures = [], []

    # A build needs the bridge to itself and is refused while any query holds
    # it; the pauses leave it gaps to get in.
    def query(i):
        while not stop.is_set():
            try:
                got = as_json(bridge.query_nearest(queries[i], k=10))
                seen.append(got)
                if got not in (answers["a"][i], answers["b"][i]):
                    failures.append(got)
            except RuntimeError as e:
                if str(e) != "Already mutably borrowed":
                    failures.append(str(e))
            time.sleep(0.001)

    def rebuild():
        done = 0
        while done < 20:
            try:
                bridge.build_pipeline(category_key="ab"[done % 2])
                done += 1
            except RuntimeError as e:
                if str(e) != "Already borrowed":
                    failures.append(str(e))

    threads = [threading.Thread(target=query, args=(i,)) for i in range(8)]
    for t in threads:
        t.start()
    builder = threading.Thread(target=rebuild)
    builder.start()
    builder.join()
    stop.set()
    for t in threads:
        t.join()
    assert failures == [] and len(seen) > 0


SIGNATURES = {
    vt.InMemoryStore: "(collection, dimension)",
    vt.InMemoryStore.upsert: "($self, records)",
    vt.InMemoryStore.count: "($self)",
    vt.VectorStoreBridge: "(store, *, batch_size=None, max_records=None)",
    vt.VectorStoreBridge.build_pipeline: '($self, *, category_key="category")',
    vt.VectorStoreBridge.build_pipeline_with_config: '($self, config, *, category_key="category")',
    vt.VectorStoreBridge.query_nearest: "($self, embedding, *, k=5)",
    vt.VectorStoreBridge.query_similar: "($self, embedding, *, min_cosine=0.8)",
    vt.VectorStoreBridge.query_concept_path: "($self, source_id, target_id, *, graph_k=10, embedding)",
    vt.VectorStoreBridge.query_detect_globs: "($self, embedding, *, k=None, max_k=10)",
    vt.VectorStoreBridge.query_local_manifold: "($self, embedding, *, neighborhood_k=10)",
    vt.VectorStoreBridge.category_concept_path: "($self, source_category, target_category)",
    vt.VectorStoreBridge.category_neighbors: "($self, category, *, k=5)",
    vt.VectorStoreBridge.drill_down: "($self, category, embedding, *, k=10)",
    vt.VectorStoreBridge.category_stats: "($self)",
    vt.VectorStoreBridge.hierarchical_nearest: "($self, embedding, *, k=5)",
    vt.VectorStoreBridge.domain_groups: "($self)",
    vt.VectorStoreBridge.projection_warnings: "($self)",
    vt.VectorStoreBridge.hybrid_search: "($self, embedding, *, final_k=5, recall_k=20)",
    vt.VectorStoreBridge.sync_projections: "($self)",
    vt.VectorStoreBridge.config: "($self)",
}


def test_signatures_and_docstrings():
    for obj, expected in SIGNATURES.items():
        assert obj.__text_signature__ == expected, obj
        inspect.signature(obj)
    assert vt.InMemoryStore.__doc__ == (
        "In-memory vector store for testing and small datasets.\n\n"
        "Uses brute-force cosine similarity \u2014 O(n) per query.\n"
        "Pass this to VectorStoreBridge to build a vantorel pipeline.")
    assert vt.InMemoryStore.upsert.__doc__.startswith("Insert or update records.\n\nArgs:\n    records: List of dicts")
    assert vt.VectorStoreBridge.__doc__.startswith("Bridge between an InMemoryStore and the vantorel pipeline.\n\n")
    assert vt.VectorStoreBridge.category_stats.__doc__ == "Per-category summaries plus inner-sphere reports."
    assert vt.VectorStoreBridge.hybrid_search.__doc__ is None
    assert vt.VectorStoreBridge.projection_kind.__doc__.count("\n") == 2
