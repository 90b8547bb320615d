"""run_navigator, NavigatorConfig and the navigator's report classes."""
import math

import numpy as np
import pytest

import vantorel as vt

FIELDS = {
    "antipodal_radius": 0.5, "coverage_samples": 200000, "geodesic_epsilon": 0.3, "density_bins": 20,
    "voronoi_samples": 200000, "exclusivity_samples": 50000, "curvature_top_n": 20, "gap_sharpness": 5.0,
}
FLOATS = ["antipodal_radius", "geodesic_epsilon", "gap_sharpness"]
COUNTS = [f for f in FIELDS if f not in FLOATS]
REPORT_CLASSES = [vt.NavigatorReport, vt.AntipodalReport, vt.CoverageReport, vt.VoronoiCell, vt.CurvatureTriple,
                  vt.LuneReport]


def quick(**fields):
    return vt.NavigatorConfig(coverage_samples=4000, voronoi_samples=4000, exclusivity_samples=2000, **fields)


@pytest.fixture(scope="module")
def pipeline():
    rng = np.random.default_rng(11)
    centres = rng.normal(size=(6, 12)) * 3
    labels = rng.integers(0, 6, size=240)
    return vt.Pipeline([f"c{k}" for k in labels], centres[labels] + rng.normal(size=(240, 12)) * 0.4)


def snapshot(report):
    """Every value Python sees of a report, as plain nested tuples."""
    c = report.coverage
    return (
        [(a.category_name, a.antipodal_coherence, a.antipodal_item_count, a.dominant_antipodal_category)
         for a in report.antipodal],
        (c.coverage_fraction, c.covered_area, c.overlap_area, c.void_samples, c.total_samples),
        [(v.category_name, v.cell_area, v.item_count, v.territorial_efficiency, v.graph_neighbor_overlap,
          v.voronoi_neighbors) for v in report.voronoi],
        [(t.categories, t.excess) for t in report.top_curvature_triples],
        [(l.category_a, l.category_b, l.a_leaning_count, l.b_leaning_count, l.on_bisector_count, l.asymmetry)
         for l in report.lunes],
        report.num_categories, report.num_items, report.explained_variance_ratio,
    )


class TestNavigatorConfig:
    def test_construction_by_position_and_keyword_and_repr(self):
        default = vt.NavigatorConfig()
        assert {f: getattr(default, f) for f in FIELDS} == FIELDS
        assert all(type(getattr(default, f)) is float for f in FLOATS)
        assert repr(default) == "NavigatorConfig(coverage_samples=200000, voronoi_samples=200000)"
        assert vt.NavigatorConfig(0.25).antipodal_radius == 0.25
        values = [-1.5, 2**64 - 1, math.inf, 0, 7, 8, 9, 1]
        positional = vt.NavigatorConfig(*values)
        assert [getattr(positional, f) for f in FIELDS] == values
        assert type(positional.gap_sharpness) is float
        assert repr(positional) == f"NavigatorConfig(coverage_samples={2**64 - 1}, voronoi_samples=7)"
        with pytest.raises(TypeError, match=r"takes from 0 to 8 positional arguments but 9 were given"):
            vt.NavigatorConfig(*values, 1)

    @pytest.mark.parametrize("field,value,error", [
        ("coverage_samples", -1, OverflowError), ("curvature_top_n", 2**64, OverflowError),
        ("coverage_samples", 1.5, TypeError), ("density_bins", "3", TypeError),
        ("antipodal_radius", "0.5", TypeError), ("gap_sharpness", None, TypeError),
    ])
    def test_bad_values_raise_and_setters_keep_the_old_value(self, field, value, error):
        with pytest.raises(error) as info:
            vt.NavigatorConfig(**{field: value})
        config = vt.NavigatorConfig()
        with pytest.raises(error) as set_info:
            setattr(config, field, value)
        assert getattr(config, field) == FIELDS[field]
        for e in (info.value, set_info.value):
            # TypeErrors name the parameter; the interpreter's OverflowError passes through as it is.
            assert str(e).startswith(f"argument '{field}': ") == (error is TypeError)

    def test_setters_convert_store_and_refuse_deletion(self):
        config = vt.NavigatorConfig()
        config.antipodal_radius = 1
        config.coverage_samples = np.uint64(2**64 - 1)
        config.voronoi_samples = True
        assert (config.antipodal_radius, type(config.antipodal_radius)) == (1.0, float)
        assert repr(config) == f"NavigatorConfig(coverage_samples={2**64 - 1}, voronoi_samples=1)"

        class ReadsConfig:
            # Conversion runs before the store borrows the object, so it may read it.
            def __float__(self):
                return config.antipodal_radius + 1

        config.antipodal_radius = ReadsConfig()
        assert config.antipodal_radius == 2.0
        for field in FIELDS:
            with pytest.raises(AttributeError, match="^property has no deleter$"):
                delattr(config, field)
        with pytest.raises(AttributeError):
            config.extra = 1


class TestRunNavigator:
    def test_report_against_the_pipeline(self, pipeline):
        report = vt.run_navigator(pipeline, config=quick())
        names = pipeline.unique_categories()
        assert report.num_items == len(pipeline) == 240
        assert report.num_categories == len(names)
        assert report.explained_variance_ratio == pipeline.explained_variance_ratio
        assert [a.category_name for a in report.antipodal] == names
        assert [v.category_name for v in report.voronoi] == names
        assert math.isclose(sum(v.cell_area for v in report.voronoi), 4 * math.pi, rel_tol=1e-9)
        assert sum(v.item_count for v in report.voronoi) == len(pipeline)
        coverage = report.coverage
        assert coverage.total_samples == 4000 and 0 <= coverage.void_samples <= 4000
        assert coverage.coverage_fraction == pytest.approx(1 - coverage.void_samples / 4000)
        excesses = [t.excess for t in report.top_curvature_triples]
        assert len(excesses) == math.comb(len(names), 3) and excesses == sorted(excesses, reverse=True)
        assert all(len(t.categories) == 3 and set(t.categories) <= set(names) for t in report.top_curvature_triples)
        assert all({l.category_a, l.category_b} <= set(names) for l in report.lunes)
        assert repr(report).startswith("<builtins.NavigatorReport object at ")

    def test_defaults_and_unused_fields(self, pipeline):
        default = snapshot(vt.run_navigator(pipeline))
        assert snapshot(vt.run_navigator(pipeline, config=None)) == default
        assert snapshot(vt.run_navigator(pipeline, config=vt.NavigatorConfig())) == default
        unused = vt.NavigatorConfig(geodesic_epsilon=-7.0, density_bins=2**64 - 1, gap_sharpness=math.nan)
        assert snapshot(vt.run_navigator(pipeline, config=unused)) == default
        assert default[1][4] == 200000

    def test_curvature_top_n_and_empty_antipodes(self, pipeline):
        full = vt.run_navigator(pipeline, config=quick()).top_curvature_triples
        top3 = vt.run_navigator(pipeline, config=quick(curvature_top_n=3)).top_curvature_triples
        assert [(t.categories, t.excess) for t in top3] == [(t.categories, t.excess) for t in full[:3]]
        assert vt.run_navigator(pipeline, config=quick(curvature_top_n=0)).top_curvature_triples == []
        nothing = vt.run_navigator(pipeline, config=quick(antipodal_radius=-1.0)).antipodal
        assert [(a.antipodal_item_count, a.dominant_antipodal_category) for a in nothing] == [(0, None)] * 6

    def test_getters_return_fresh_copies(self, pipeline):
        report = vt.run_navigator(pipeline, config=quick())
        before = snapshot(report)
        for field in ["antipodal", "voronoi", "top_curvature_triples", "lunes"]:
            first, second = getattr(report, field), getattr(report, field)
            assert first is not second and first[0] is not second[0]
            first.clear()
        assert report.coverage is not report.coverage
        report.voronoi[0].voronoi_neighbors.append("x")
        report.top_curvature_triples[0].categories[0] = "x"
        assert snapshot(report) == before
        with pytest.raises(AttributeError):
            report.num_items = 0
        for cls in REPORT_CLASSES:
            with pytest.raises(TypeError):
                cls()

    @pytest.mark.parametrize("call,message", [
        (lambda p: vt.run_navigator(p, vt.NavigatorConfig()),
         "run_navigator() takes 1 positional arguments but 2 were given"),
        (lambda p: vt.run_navigator(None, config=5), "argument 'pipeline': 'None' is not an instance of 'Pipeline'"),
        (lambda p: vt.run_navigator(p, config={}), "argument 'config': 'dict' object is not an instance of "
                                                   "'NavigatorConfig'"),
        (lambda p: vt.run_navigator(), "run_navigator() missing 1 required positional argument: 'pipeline'"),
    ])
    def test_argument_errors(self, pipeline, call, message):
        with pytest.raises(TypeError) as info:
            call(pipeline)
        assert str(info.value) == message
