"""The Pipeline class: construction, exports, JSON input and configuration."""
import csv
import io
import json
import re

import numpy as np
import pytest

import vantorel as vt

DEFAULT_CONFIG = {
    "projection_kind": "Pca",
    "inner_sphere": {"min_size": 20, "min_evr_improvement": 0.1, "kernel_pca_min_size": 80,
                     "min_kernel_improvement": 0.05},
    "bridges": {"threshold_base": 0.5, "threshold_evr_penalty": 0.4, "overlap_artifact_territorial": 0.3},
    "routing": {"num_domain_groups": 5, "low_evr_threshold": 0.35},
    "laplacian": {"k_neighbors": 15, "active_threshold": 0.05},
    "spatial": {"coverage_samples": 100000, "exclusivity_samples": 30000, "voronoi_samples": 100000},
}
QUICK = {"spatial": {"coverage_samples": 2000, "exclusivity_samples": 2000, "voronoi_samples": 2000}}


def corpus(rng, n=60, dim=8, categories=3):
    centres = rng.normal(size=(categories, dim)) * 3
    labels = [f"c{i % categories}" for i in range(n)]
    rows = centres[[i % categories for i in range(n)]] + rng.normal(size=(n, dim))
    return labels, rows


class TestConstruction:
    def test_three_unit_vectors(self):
        p = vt.Pipeline(["a", "b", "c"], [[1.0, 0.0, 0.0], [0.0, 1.0, 0.0], [0.0, 0.0, 1.0]])
        assert (p.num_items, len(p), bool(p), repr(p)) == (3, 3, True, "Pipeline(items=3)")
        assert p.categories == ["a", "b", "c"] and p.projection_kind == "pca"
        assert p.config() == DEFAULT_CONFIG and list(p.config()) == list(DEFAULT_CONFIG)
        assert list(p.config()["inner_sphere"]) == list(DEFAULT_CONFIG["inner_sphere"])

    def test_categories_keep_duplicates(self, rng):
        _, rows = corpus(rng, n=4)
        p = vt.Pipeline(["x", "y", "x", "z"], rows, config=QUICK)
        assert p.categories == ["x", "y", "x", "z"] and p.unique_categories() == ["x", "y", "z"]

    @pytest.mark.parametrize("args,kwargs,error,text", [
        ((["a", "b", "c"], [[1.0, 0, 0]] * 4), {"config": 5}, ValueError,
         "categories length (3) != embeddings length (4)"),
        (("abc", [[1.0, 0, 0]] * 3), {}, TypeError, "argument 'categories': Can't extract `str` to `Vec`"),
        ((["a"] * 3, [[1.0, 0, 0]] * 3), {"projection": vt.RandomProjection(3)}, TypeError,
         "argument 'projection': 'RandomProjection' object is not an instance of 'PcaProjection'"),
        (([], []), {}, ValueError, "projection fit failed: need at least one embedding to fit a projection"),
        ((["a", "b"], [[1.0, 0, 0]] * 2), {}, ValueError, "need at least 3 embeddings, got 2"),
        ((["a"] * 3, [[1.0, 0, 0]] * 3), {"config": {"projection_kind": "LaplacianEigenmap"}}, ValueError,
         "projection fit failed: need at least 4 embeddings, got 3"),
    ])
    def test_rejections(self, args, kwargs, error, text):
        with pytest.raises(error) as info:
            vt.Pipeline(*args, **kwargs)
        assert str(info.value) == text

    def test_dimension_checks_come_in_the_engine_order(self):
        ragged = [[1.0, 0, 0], [1.0, 2.0], [1.0, 0, 0]]
        laplacian = {"config": {"projection_kind": "LaplacianEigenmap", **QUICK}}
        pca3 = vt.PcaProjection.fit(np.eye(3))
        cases = [
            ((["a"] * 3, ragged), {}, "projection fit failed: embedding 1 has dimension 2, expected 3"),
            ((["a"] * 3, [[1.0, 2], [1, 2, 3], [4, 5, 6]]), {},
             "projection fit failed: embedding dimension 2 is below the minimum 3 for this projection"),
            ((["a"] * 3, ragged), laplacian, "projection fit failed: need at least 4 embeddings, got 3"),
            ((["a"] * 5, ragged + [[0, 1.0, 1], [0, 0, 1.0]]), laplacian,
             "projection fit failed: embedding 1 has dimension 2, expected 3"),
            ((["a", "b"], [[1.0, 0, 0, 0], [0, 1.0, 0, 0]]), {"projection": pca3}, "need at least 3 embeddings, got 2"),
            ((["a"] * 3, ragged), {"projection": pca3}, "expected dimension 3, got 2"),
        ]
        for args, kwargs, text in cases:
            with pytest.raises(ValueError) as info:
                vt.Pipeline(*args, **kwargs)
            assert str(info.value) == text

    def test_projection_argument(self, rng):
        labels, rows = corpus(rng)
        pca = vt.PcaProjection.fit(rows, volumetric=True)
        p = vt.Pipeline(labels, rows, projection=pca, config={**QUICK, "projection_kind": "KernelPca"})
        assert p.projection_kind == "pca" and p.config()["projection_kind"] == "KernelPca"
        assert repr(pca).startswith("PcaProjection(dim=8")  # still usable
        with pytest.raises(ValueError, match="^expected dimension 8, got 5$"):
            vt.Pipeline(labels, np.ascontiguousarray(rows[:, :5]), projection=pca)

    @pytest.mark.parametrize("factor", [1e160, 1e300])
    def test_scaling_by_a_huge_factor_keeps_the_positions(self, rng, factor):
        labels, rows = corpus(rng)
        plain, scaled = vt.Pipeline(labels, rows, config=QUICK), vt.Pipeline(labels, rows * factor, config=QUICK)
        assert scaled.explained_variance_ratio == pytest.approx(plain.explained_variance_ratio, abs=1e-12)
        keys = ["r", "theta", "phi", "x", "y", "z", "certainty"]
        for a, b in zip(plain.exported_points(), scaled.exported_points()):
            assert [b[k] for k in keys] == pytest.approx([a[k] for k in keys], abs=1e-9)
            assert b["intensity"] == pytest.approx(a["intensity"] * factor, rel=1e-12)
        near, far = plain.nearest(rows[0], k=8), scaled.nearest(rows[0] * factor, k=8)
        assert [h.id for h in far] == [h.id for h in near]
        assert [h.distance for h in far] == pytest.approx([h.distance for h in near], abs=1e-9)

    def test_float32_equals_float64(self, rng):
        labels, rows = corpus(rng)
        rows32 = rows.astype(np.float32)
        a = vt.Pipeline(labels, rows32, config=QUICK)
        b = vt.Pipeline(labels, rows32.astype(np.float64), config=QUICK)
        assert a.to_json() == b.to_json()


class TestConfigDict:
    def test_partial_dicts_take_defaults(self, rng):
        labels, rows = corpus(rng)
        p = vt.Pipeline(labels, rows, config={"routing": {"low_evr_threshold": 0.25}, "comment": object()})
        expected = json.loads(json.dumps(DEFAULT_CONFIG))
        expected["routing"]["low_evr_threshold"] = 0.25
        assert p.config() == expected
        assert vt.Pipeline(labels, rows, config={}).config() == DEFAULT_CONFIG
        back = vt.Pipeline(labels, rows, config=p.config())
        assert back.config() == p.config()

    @pytest.mark.parametrize("config,text", [
        ({"projection_kind": "pca"},
         "unknown variant `pca`, expected one of `Pca`, `KernelPca`, `LaplacianEigenmap`"),
        ({"projection_kind": {}}, "expected tagged enum dict to have exactly 1 key"),
        ({"projection_kind": {"Pca": 1, "KernelPca": 2}}, "expected tagged enum dict to have exactly 1 key"),
        ({"projection_kind": {1: None}}, "dict keys must have type str"),
        ({"projection_kind": 3}, "expected either a str or dict for enum"),
        ({1: 2}, "dict keys must have type str"),
        ({"spatial": None}, "'None' is not an instance of 'Mapping'"),
        ([], "'list' object is not an instance of 'Mapping'"),
        ({"inner_sphere": {"min_size": 20.0}}, "'float' object cannot be interpreted as an integer"),
        ({"inner_sphere": {"min_size": -1}}, "can't convert negative int to unsigned"),
        ({"bridges": {"threshold_base": "x"}}, "must be real number, not str"),
    ])
    def test_reader_messages(self, config, text):
        with pytest.raises(ValueError) as info:
            vt.Pipeline(["a", "b", "c"], [[1.0, 0, 0], [0, 1.0, 0], [0, 0, 1.0]], config=config)
        assert str(info.value) == "invalid PipelineConfig dict: " + text

    def test_mapping_and_dataclass_forms(self, rng):
        import dataclasses
        import types
        labels, rows = corpus(rng)
        proxy = types.MappingProxyType({"projection_kind": {"KernelPca": None}, **QUICK})
        assert vt.Pipeline(labels, rows, config=proxy).projection_kind == "kernel_pca"

        @dataclasses.dataclass
        class Routing:
            num_domain_groups: int = 2
            low_evr_threshold: float = 1
        assert vt.Pipeline(labels, rows, config={"routing": Routing(), **QUICK}).config()["routing"] == \
            {"num_domain_groups": 2, "low_evr_threshold": 1.0}


class TestExports:
    @pytest.fixture
    def pipeline(self, rng):
        labels, rows = corpus(rng, n=24)
        labels[1] = 'say "hi", ok\nnext'
        return vt.Pipeline(labels, rows, config=QUICK)

    def test_json_equals_exported_points(self, pipeline):
        points = pipeline.exported_points()
        loaded = json.loads(pipeline.to_json())
        assert loaded == points
        keys = ["id", "category", "r", "theta", "phi", "x", "y", "z", "certainty", "intensity"]
        assert all(list(p) == keys for p in points) and all(list(p) == keys for p in loaded)
        assert " " not in re.sub(r'"(?:\\.|[^"\\])*"', '""', pipeline.to_json())
        assert [p["id"] for p in points[:2]] == ["s-0000", "s-0001"]

    def test_csv_parses_to_the_same_values(self, pipeline):
        text = pipeline.to_csv()
        assert text.endswith("\n") and "\r" not in text
        rows = list(csv.reader(io.StringIO(text)))
        assert rows[0] == ["id", "category", "r", "theta", "phi", "x", "y", "z", "certainty", "intensity"]
        assert len(rows) == 1 + pipeline.num_items
        for row, point in zip(rows[1:], pipeline.exported_points()):
            assert row[:2] == [point["id"], point["category"]]
            for cell, key in zip(row[2:], rows[0][2:]):
                assert len(cell.split(".")[1]) == 6
                assert float(cell) == pytest.approx(point[key], abs=5e-7)
        assert '"say ""hi"", ok\nnext"' in text

    def test_from_json_rebuilds_the_pipeline(self, rng):
        labels, rows = corpus(rng, n=30)
        text = json.dumps({"categories": labels, "embeddings": rows.tolist(), "note": [1, 2]})
        again = vt.Pipeline.from_json(text)
        assert again.to_json() == vt.Pipeline(labels, rows).to_json()
        assert again.config() == DEFAULT_CONFIG and again.projection_kind == "pca"
        ints = vt.Pipeline.from_json('{"categories":["a","b","c"],"embeddings":[[1,0,0],[0,1,0],[0,0,3]]}')
        assert ints.to_json() == vt.Pipeline(["a", "b", "c"], [[1.0, 0, 0], [0, 1.0, 0], [0, 0, 3.0]]).to_json()

    @pytest.mark.parametrize("text,message", [
        ("[]", "missing 'categories' array"),
        ('{"categories": null}', "missing 'categories' array"),
        ('{"categories": ["a"]}', "missing 'embeddings' array"),
        ('{"categories": ["a", "b", 5]}', "category at index 2 must be a string"),
        ('{"categories": [], "embeddings": [3]}', "embedding at index 0 must be an array"),
        ('{"categories": [], "embeddings": [[1], [1, "x"]]}', "embedding[1][1] must be a number"),
        ('{"categories": ["a","b","c"], "embeddings": [[1,0,0],[0,1,0],[0,0,1],[1,1,1]]}',
         "categories length (3) must equal embeddings length (4)"),
        ('{"categories": ["a","b","c"], "embeddings": [[1,0,0],[0,1],[0,0,1]]}',
         "projection fit failed: embedding 1 has dimension 2, expected 3"),
        ("", "EOF while parsing a value at line 1 column 0"),
    ])
    def test_from_json_errors(self, text, message):
        with pytest.raises(ValueError) as info:
            vt.Pipeline.from_json(text)
        assert str(info.value) == message

    def test_from_json_of_an_export_and_wrong_types(self, pipeline):
        with pytest.raises(ValueError, match="^missing 'categories' array$"):
            vt.Pipeline.from_json(pipeline.to_json())
        with pytest.raises(TypeError, match="^argument 'json': 'bytes' object is not an instance of 'str'$"):
            vt.Pipeline.from_json(b"{}")
