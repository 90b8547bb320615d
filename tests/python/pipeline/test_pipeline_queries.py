"""Pipeline queries against NumPy/SciPy oracles on the same projected points."""
import collections
import inspect
import json
import threading

import numpy as np
import pytest
from scipy.sparse import csr_matrix
from scipy.sparse.csgraph import dijkstra

import vantorel as vt

QUICK = {"spatial": {"coverage_samples": 2000, "exclusivity_samples": 2000, "voronoi_samples": 2000}}


def build(rng, n, dim=10, categories=5, spread=3.0):
    centres = rng.normal(size=(categories, dim)) * spread
    labels = [f"topic-{i % categories}" for i in range(n)]
    rows = centres[[i % categories for i in range(n)]] + rng.normal(size=(n, dim))
    projection = vt.PcaProjection.fit(rows, volumetric=True)
    return labels, rows, projection, vt.Pipeline(labels, rows, projection=projection, config=QUICK)


def unit_rows(points):
    xyz = np.array([[p["x"], p["y"], p["z"]] for p in points])
    return xyz / np.linalg.norm(xyz, axis=1, keepdims=True)


def unit(point):
    return np.array([np.sin(point.phi) * np.cos(point.theta), np.sin(point.phi) * np.sin(point.theta),
                     np.cos(point.phi)])


def angles(units, q):
    cross = np.linalg.norm(np.cross(units, q), axis=1)
    return np.arctan2(cross, units @ q)


@pytest.fixture(scope="module", params=[300, 800])
def built(request):
    return build(np.random.default_rng(request.param), request.param)


class TestItemQueries:
    def test_nearest_against_brute_force(self, built, rng):
        labels, rows, projection, p = built
        units = unit_rows(p.exported_points())
        for q in rng.normal(size=(10, rows.shape[1])) * 3:
            d = angles(units, unit(projection.project(q)))
            order = np.argsort(d, kind="stable")[:12]
            hits = p.nearest(q, k=12)
            assert [h.id for h in hits] == [f"s-{i:04d}" for i in order]
            assert [h.distance for h in hits] == pytest.approx(d[order].tolist(), abs=1e-9)
            assert [h.category for h in hits] == [labels[i] for i in order]
        assert p.nearest(rows[0], k=0) == [] and p.nearest_json(rows[0], k=0) == "[]"
        assert len(p.nearest(rows[0], k=2 ** 64 - 1)) == p.num_items

    def test_similar_above_against_brute_force(self, built):
        _, rows, projection, p = built
        units = unit_rows(p.exported_points())
        q = rows[5] + 0.5
        d = angles(units, unit(projection.project(q)))
        hits = p.similar_above(q, min_cosine=0.9)
        assert {h.id for h in hits} == {f"s-{i:04d}" for i in np.flatnonzero(d <= np.arccos(0.9) + 1e-12)}
        assert len(p.similar_above(q, -1)) == p.num_items
        assert [h.id for h in p.similar_above(q, 2.0)] == [h.id for h in p.similar_above(q, 1)]

    def test_concept_path_against_dijkstra(self, built):
        _, rows, _, p = built
        units = unit_rows(p.exported_points())
        n, k = len(units), 6
        graph = np.zeros((n, n))
        for i in range(n):
            d = angles(units, units[i])
            for j in np.argsort(d, kind="stable")[:k + 1]:
                if j != i and graph[i, j] == 0 and graph[j, i] == 0:
                    graph[i, j] = graph[j, i] = max(d[j], 1e-300)
        dist = dijkstra(csr_matrix(graph), directed=False, indices=0)
        for target in (1, n // 2, n - 1):
            path = p.concept_path("s-0000", f"s-{target:04d}", graph_k=k)
            if np.isinf(dist[target]):
                assert path is None and p.concept_path_json("s-0000", f"s-{target:04d}", graph_k=k) == "null"
                continue
            assert path.total_distance == pytest.approx(dist[target], abs=1e-9)
            steps = path.steps
            assert steps[0].id == "s-0000" and steps[-1].id == f"s-{target:04d}"
            for a, b in zip(steps, steps[1:]):
                assert b.cumulative_distance == pytest.approx(a.cumulative_distance + b.hop_distance)
            assert all(s.bridge_strength is None for s in steps)
            text = json.loads(p.concept_path_json("s-0000", f"s-{target:04d}", graph_k=k))
            assert [sorted(s) for s in text["steps"]] == [["category", "cumulative_distance", "id"]] * len(steps)
        single = p.concept_path("s-0003", "s-0003")
        assert len(single.steps) == 1 and single.total_distance == 0.0

    def test_local_manifold_against_eigh(self, built, rng):
        _, rows, projection, p = built
        xyz = np.array([[e["x"], e["y"], e["z"]] for e in p.exported_points()])
        q = rows[7] + rng.normal(size=rows.shape[1]) * 0.1
        s = projection.project(q)
        centre = s.r * unit(s)
        near = xyz[np.argsort(np.linalg.norm(xyz - centre, axis=1), kind="stable")[:15]]
        cov = np.cov(near.T, bias=True)
        values, vectors = np.linalg.eigh(cov)
        m = p.local_manifold(q, neighborhood_k=15)
        assert abs(np.dot(m.normal, vectors[:, 0])) == pytest.approx(1.0, abs=1e-8)
        assert m.variance_ratio == pytest.approx(values[1:].sum() / values.sum())
        assert m.centroid == pytest.approx(near.mean(axis=0).tolist())
        assert json.loads(p.local_manifold_json(q, neighborhood_k=15))["variance_ratio"] == m.variance_ratio
        three = xyz[np.argsort(np.linalg.norm(xyz - centre, axis=1), kind="stable")[:3]]
        assert p.local_manifold(q, neighborhood_k=0).centroid == pytest.approx(three.mean(axis=0).tolist())

    def test_glob_categories_against_counter(self, built):
        labels, _, _, p = built
        globs = p.detect_globs(k=5)
        assert sum(g.member_count for g in globs) == p.num_items
        assert json.loads(p.detect_globs_json(k=5)) == [json.loads(g.to_json()) for g in globs]
        for g in p.detect_globs():
            assert len(g.top_categories) <= 3
            assert [c for _, c in g.top_categories] == sorted((c for _, c in g.top_categories), reverse=True)
        with pytest.raises(ValueError, match="^max_k must be >= 2 when k is given$"):
            p.detect_globs(k=3, max_k=1)
        assert len(p.detect_globs(max_k=1)) == 1
        with pytest.raises(TypeError):
            p.detect_globs(5)
        assert collections.Counter(labels) == collections.Counter(p.categories)

    def test_query_checks(self, built):
        _, rows, _, p = built
        with pytest.raises(ValueError, match=r"^query dimension mismatch: expected 10, got 3$"):
            p.nearest([1.0, 2.0, 3.0])
        with pytest.raises(ValueError, match=r"^query dimension mismatch: expected 10, got 3$"):
            p.concept_path("s-0000", "s-0001", query=[1.0, 2.0, 3.0])
        assert p.concept_path("s-0000", "s-0001") == p.concept_path("s-0000", "s-0001", query=None)
        with pytest.raises(ValueError, match="^unknown id: nope$"):
            p.concept_path("nope", "also-missing")
        with pytest.raises(OverflowError):
            p.nearest(rows[0], k=-1)
        with pytest.raises(TypeError, match="^argument 'k': "):
            p.nearest(rows[0], k="5")
        with pytest.raises(TypeError, match=r"^Pipeline\.nearest\(\) got an unexpected keyword argument 'x'$"):
            p.nearest(rows[0], x=1)
        with pytest.raises(TypeError, match=r"^Pipeline\.nearest\(\) missing 1 required positional argument: 'query'$"):
            p.nearest()


class TestCategoryQueries:
    def test_paths_neighbours_and_drill_down(self, built):
        labels, rows, _, p = built
        names = p.unique_categories()
        path = p.category_concept_path(names[0], names[2])
        if path is not None:
            assert path.steps[0].category_name == names[0] and path.steps[-1].category_name == names[2]
            assert path.steps[-1].hop_confidence == 0.0
            assert repr(path).startswith(f"CategoryPathResult(steps={len(path.steps)}, ")
        with pytest.raises(ValueError, match="^unknown category: x$"):
            p.category_concept_path("x", "y")
        neighbours = p.category_neighbors(names[0], 3)
        assert len(neighbours) == 3 and names[0] not in [s.name for s in neighbours]
        assert p.category_neighbors(names[0], k=0) == []
        hits = p.drill_down(names[1], rows[1], k=4)
        assert len(hits) == 4 and all(labels[h.item_index] == names[1] for h in hits)
        assert [h.distance for h in hits] == sorted(h.distance for h in hits)
        with pytest.raises(TypeError, match="^argument 'category': "):
            p.drill_down(5, [1.0])
        with pytest.raises(ValueError, match="^query dimension mismatch"):
            p.drill_down(names[1], [1.0])

    def test_stats_groups_and_warnings(self, built):
        labels, rows, _, p = built
        summaries, spheres = p.category_stats()
        assert [s.name for s in summaries] == p.unique_categories()
        assert {s.name: s.member_count for s in summaries} == collections.Counter(labels)
        assert all(isinstance(s, vt.InnerSphereInfo) for s in spheres)
        groups = p.domain_groups()
        assert sorted(i for g in groups for i in g.member_categories) == list(range(len(summaries)))
        assert groups[0] is not p.domain_groups()[0]
        assert p.projection_warnings() == [] or isinstance(p.projection_warnings()[0], vt.ProjectionWarningInfo)
        if p.explained_variance_ratio >= 0.35:
            assert p.hierarchical_nearest(rows[3], 6) == p.nearest(rows[3], 6)

    def test_weak_projection_routes_and_warns(self, rng):
        labels, rows = [f"g{i % 6}" for i in range(240)], rng.normal(size=(240, 40))
        p = vt.Pipeline(labels, rows, config={**QUICK, "routing": {"num_domain_groups": 2}})
        warnings = p.projection_warnings()
        assert len(warnings) == 1 and warnings[0].severity in ("Info", "Warning", "Critical")
        assert repr(warnings[0]).startswith(f"ProjectionWarningInfo(severity={warnings[0].severity}, evr=")
        assert "— " in warnings[0].message and "%" in warnings[0].message
        hits = p.hierarchical_nearest(rows[0], k=5)
        assert 0 < len(hits) <= 5 and [h.distance for h in hits] == sorted(h.distance for h in hits)
        assert p.hierarchical_nearest(rows[0], k=0) == p.nearest(rows[0], k=0)

    def test_result_class_reprs(self, rng):
        labels = ['say "hi"'] * 30 + ["plain"] * 30
        rows = np.vstack([rng.normal(size=(30, 6)) + 4, rng.normal(size=(30, 6)) - 4])
        p = vt.Pipeline(labels, rows, config=QUICK)
        summary = p.category_stats()[0][0]
        assert repr(summary).startswith('CategorySummaryInfo(name="say \\"hi\\"", members=30, cohesion=')
        assert vt.CategorySummaryInfo.bridge_quality.__doc__ == (
            "Mean territorial-adjusted bridge strength across outgoing edges.\n"
            "0.0 if this category has no bridged neighbors.")
        hit = p.drill_down("plain", rows[40], 1)[0]
        assert repr(hit) == f"DrillDownHit(item={hit.item_index}, distance={hit.distance:.4f}, inner=false)"
        assert len({summary, p.category_stats()[0][0]}) == 2  # identity hashing
        spheres = vt.Pipeline(labels, rows, config={**QUICK, "inner_sphere": {"min_size": 10,
                                                                             "min_evr_improvement": -1.0}})
        info = spheres.category_stats()[1]
        assert [i.category_index for i in info] == [0, 1] and {i.projection_type for i in info} == {"LinearPca"}
        assert repr(info[0]) == (f'InnerSphereInfo(category="say \\"hi\\"", members=30, evr={info[0].inner_evr:.4f}, '
                                 f"improvement={info[0].evr_improvement:.4f})")
        inner = spheres.drill_down("plain", rows[40], 2)
        assert all(h.used_inner_sphere is True for h in inner) and "inner=true" in repr(inner[0])
        group = p.domain_groups()[0]
        assert repr(group) == (f"DomainGroupInfo(categories={len(group.category_names)}, items={group.total_items}, "
                               f"cohesion={group.cohesion:.4f})")


class TestSurface:
    SIGNATURES = {
        "nearest": "(self, /, query, k=5)",
        "nearest_json": "(self, /, query, k=5)",
        "similar_above": "(self, /, query, min_cosine=0.8)",
        "similar_above_json": "(self, /, query, min_cosine=0.8)",
        "concept_path": "(self, /, source_id, target_id, *, graph_k=10, query=None)",
        "concept_path_json": "(self, /, source_id, target_id, *, graph_k=10, query=None)",
        "detect_globs": "(self, /, *, k=None, max_k=10, query=None)",
        "detect_globs_json": "(self, /, *, k=None, max_k=10, query=None)",
        "local_manifold": "(self, /, query, *, neighborhood_k=10)",
        "local_manifold_json": "(self, /, query, *, neighborhood_k=10)",
        "category_concept_path": "(self, /, source_category, target_category)",
        "category_neighbors": "(self, /, category, k=5)",
        "drill_down": "(self, /, category, query, k=10)",
        "hierarchical_nearest": "(self, /, query, k=5)",
        "category_stats": "(self, /)",
        "domain_groups": "(self, /)",
        "projection_warnings": "(self, /)",
        "config": "(self, /)",
        "unique_categories": "(self, /)",
        "exported_points": "(self, /)",
        "to_json": "(self, /)",
        "to_csv": "(self, /)",
        "from_json": "(json)",
    }

    @pytest.mark.parametrize("name,signature", list(SIGNATURES.items()))
    def test_signatures(self, name, signature):
        assert str(inspect.signature(getattr(vt.Pipeline, name))) == signature

    def test_docstrings(self):
        assert str(inspect.signature(vt.Pipeline)) == "(categories, embeddings, *, projection=None, config=None)"
        assert vt.Pipeline.nearest.__doc__ is None
        assert vt.Pipeline.config.__doc__ == "Return the [`PipelineConfig`] this pipeline was built with, as a dict."
        assert vt.Pipeline.domain_groups.__doc__ == "Coarse domain groups detected from category geometry."
        assert vt.Pipeline.hierarchical_nearest.__doc__.splitlines() == [
            "Hierarchical nearest-neighbor search. Falls back to plain",
            "[`nearest`](Self::nearest) when EVR is above",
            "`config.routing.low_evr_threshold`; otherwise routes the query",
            "to a domain group and drills into its member categories."]
        assert vt.Pipeline.projection_warnings.__doc__.splitlines() == [
            "Structured warnings when projection quality (EVR) is below the",
            "configured threshold. Empty when the projection is healthy."]
        assert vt.Pipeline.projection_kind.__doc__ == (
            'Short stable name of the projection family — "pca", "kernel_pca",\nor "laplacian_eigenmap".')

    def test_omitted_arguments_take_the_defaults_the_signatures_show(self, built):
        _, rows, _, p = built
        q, category = rows[3], p.unique_categories()[0]
        calls = {p.nearest_json: (q,), p.similar_above_json: (q,), p.concept_path_json: ("s-0000", "s-0009"),
                 p.detect_globs_json: (), p.local_manifold_json: (q,), p.category_neighbors: (category,),
                 p.drill_down: (category, q), p.hierarchical_nearest: (q,), vt.RandomProjection: (10,)}
        for method, args in calls.items():
            shown = {name: parameter.default for name, parameter in inspect.signature(method).parameters.items()
                     if parameter.default is not parameter.empty}
            assert shown
            omitted, explicit = method(*args), method(*args, **shown)
            if isinstance(omitted, vt.RandomProjection):
                omitted, explicit = omitted.project(q), explicit.project(q)
            assert repr(omitted) == repr(explicit)

    def test_threads_see_single_threaded_answers(self, built):
        _, rows, _, p = built
        queries = rows[:16] + 0.25
        expected = [([h.id for h in p.nearest(q, k=7)], p.concept_path_json("s-0000", "s-0009", graph_k=5),
                     p.drill_down(p.unique_categories()[0], q, 3)[0].item_index) for q in queries]
        failures = []

        def worker(offset):
            for round_ in range(3):
                for i in range(len(queries)):
                    j = (i + offset + round_) % len(queries)
                    got = ([h.id for h in p.nearest(queries[j], k=7)],
                           p.concept_path_json("s-0000", "s-0009", graph_k=5 + (offset % 2)) if offset % 2 == 0
                           else expected[j][1],
                           p.drill_down(p.unique_categories()[0], queries[j], 3)[0].item_index)
                    if got != expected[j]:
                        failures.append((offset, j))

        threads = [threading.Thread(target=worker, args=(t,)) for t in range(8)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        assert failures == []
