"""The module frame: registration, class properties and argument binding."""
import inspect
import weakref

import pytest

import vantorel

REGISTERED = [
    "SphericalPoint", "CartesianPoint", "GeoPoint",
    "angular_distance", "great_circle_distance", "chord_distance", "spherical_to_cartesian",
    "cartesian_to_spherical", "spherical_to_geo", "geo_to_spherical",
    "ProjectedPoint", "PcaProjection", "RandomProjection", "KernelPcaProjection", "LaplacianEigenmap",
    "Pipeline", "NearestHit", "PathResult", "PathStep", "GlobInfo", "ManifoldInfo",
    "CategorySummaryInfo", "BridgeItemInfo", "CategoryPathStep", "CategoryPathResult", "DrillDownHit",
    "InnerSphereInfo", "DomainGroupInfo", "ProjectionWarningInfo",
    "NavigatorConfig", "NavigatorReport", "AntipodalReport", "CoverageReport", "VoronoiCell", "CurvatureTriple",
    "LuneReport", "run_navigator", "visualize", "visualize_pipeline", "corpus_features", "auto_tune",
    "load_default_store", "append_to_default_store", "NearestNeighborMetaModel", "DistanceWeightedMetaModel",
    "FeedbackEvent", "FeedbackAggregator",
    "InMemoryStore", "VectorStoreBridge",
]
CLASSES = [n for n in REGISTERED if isinstance(getattr(vantorel, n), type)]


def test_registered_names_in_order():
    own = [n for n in vars(vantorel) if not (n.startswith("__") and n.endswith("__"))]
    assert own == REGISTERED
    assert vantorel.__doc__ == ""


@pytest.mark.parametrize("name", CLASSES)
def test_class_is_final_without_dict_or_weakrefs(name):
    cls = getattr(vantorel, name)
    assert cls.__module__ == "builtins"
    assert cls.__qualname__ == name and cls.__name__ == name
    with pytest.raises(TypeError):
        type("Sub", (cls,), {})
    assert not hasattr(cls, "__dict__") or "__dict__" not in cls.__dict__
    assert "__weakref__" not in dir(cls)


def test_instances_refuse_new_attributes_and_weakrefs():
    p = vantorel.SphericalPoint(1, 0, 0)
    with pytest.raises(AttributeError):
        p.extra = 1
    with pytest.raises(AttributeError):
        p.r = 2.0
    with pytest.raises(TypeError):
        weakref.ref(p)


def test_class_without_constructor_refuses_instantiation():
    with pytest.raises(TypeError):
        vantorel.ProjectedPoint()


SIGNATURES = {
    vantorel.SphericalPoint: "(r, theta, phi)",
    vantorel.CartesianPoint: "(x, y, z)",
    vantorel.GeoPoint: "(lat, lon, alt)",
    vantorel.angular_distance: "(a, b)",
    vantorel.great_circle_distance: "(a, b, radius)",
    vantorel.chord_distance: "(a, b)",
    vantorel.spherical_to_cartesian: "(p)",
    vantorel.cartesian_to_spherical: "(p)",
    vantorel.spherical_to_geo: "(p)",
    vantorel.geo_to_spherical: "(p)",
    vantorel.SphericalPoint.to_cartesian: "(self, /)",
    vantorel.SphericalPoint.to_geo: "(self, /)",
    vantorel.CartesianPoint.magnitude: "(self, /)",
    vantorel.CartesianPoint.normalize: "(self, /)",
    vantorel.CartesianPoint.to_spherical: "(self, /)",
    vantorel.GeoPoint.to_spherical: "(self, /)",
    vantorel.GeoPoint.to_cartesian: "(self, /)",
    vantorel.NavigatorConfig: "(antipodal_radius=0.5, coverage_samples=200000, geodesic_epsilon=0.3, density_bins=20, "
                              "voronoi_samples=200000, exclusivity_samples=50000, curvature_top_n=20, gap_sharpness=5.0)",
    vantorel.run_navigator: "(pipeline, *, config=None)",
    vantorel.corpus_features: "(categories, embeddings)",
    vantorel.auto_tune: "(categories, embeddings, *, metric='default_composite', strategy='random', budget=24, seed=0, "
                        "warmup=4, gamma=0.25, base_config=None, search_space=None)",
}


@pytest.mark.parametrize("obj,expected", list(SIGNATURES.items()), ids=lambda o: getattr(o, "__qualname__", str(o)))
def test_text_signatures(obj, expected):
    assert str(inspect.signature(obj)) == expected


def test_docstrings_are_empty_after_the_signature():
    for obj in SIGNATURES:
        assert obj.__doc__ in (None, "")
    assert vantorel.angular_distance.__module__ == "vantorel"


@pytest.mark.parametrize("call,message", [
    (lambda: vantorel.SphericalPoint(1, 2),
     "SphericalPoint.__new__() missing 1 required positional argument: 'phi'"),
    (lambda: vantorel.SphericalPoint(1),
     "SphericalPoint.__new__() missing 2 required positional arguments: 'theta' and 'phi'"),
    (lambda: vantorel.SphericalPoint(),
     "SphericalPoint.__new__() missing 3 required positional arguments: 'r', 'theta', and 'phi'"),
    (lambda: vantorel.SphericalPoint(1, 2, 3, 4),
     "SphericalPoint.__new__() takes 3 positional arguments but 4 were given"),
    (lambda: vantorel.angular_distance(1, 2, 3),
     "angular_distance() takes 2 positional arguments but 3 were given"),
    (lambda: vantorel.SphericalPoint(1, 2, 3, r=1),
     "SphericalPoint.__new__() got multiple values for argument 'r'"),
    (lambda: vantorel.SphericalPoint(1, 2, 3, x=1),
     "SphericalPoint.__new__() got an unexpected keyword argument 'x'"),
    (lambda: vantorel.spherical_to_geo(q=1),
     "spherical_to_geo() got an unexpected keyword argument 'q'"),
])
def test_binding_errors(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == message


def test_keyword_that_cannot_be_encoded_is_an_unexpected_keyword():
    point = vantorel.SphericalPoint(1, 0, 0)
    for call, name in [(lambda kw: vantorel.SphericalPoint(1, 0, 0, **kw), "SphericalPoint.__new__()"),
                       (lambda kw: vantorel.spherical_to_geo(point, **kw), "spherical_to_geo()")]:
        with pytest.raises(TypeError) as info:
            call({"\ud800": 1})
        assert str(info.value) == f"{name} got an unexpected keyword argument '\ud800'"


def test_conversion_errors_name_the_argument_and_keep_the_cause():
    with pytest.raises(TypeError) as info:
        vantorel.SphericalPoint("a", 0, 0)
    assert str(info.value).startswith("argument 'r': ")
    assert isinstance(info.value.__cause__, TypeError)
    with pytest.raises(TypeError) as info:
        vantorel.angular_distance(vantorel.SphericalPoint(1, 0, 0), vantorel.CartesianPoint(1, 0, 0))
    assert str(info.value) == "argument 'b': 'CartesianPoint' object is not an instance of 'SphericalPoint'"
    with pytest.raises(TypeError) as info:
        vantorel.spherical_to_geo(None)
    assert str(info.value) == "argument 'p': 'None' is not an instance of 'SphericalPoint'"


def test_methods_without_parameters_take_no_arguments():
    with pytest.raises(TypeError):
        vantorel.SphericalPoint(1, 0, 0).to_geo(1)


def test_messages_keep_their_whole_text_past_a_nul(tmp_path):
    with pytest.raises(ValueError) as info:
        vantorel.visualize(["a"] * 3, [[1.0, 0, 0], [0, 1.0, 0], [0, 0, 1.0]], str(tmp_path / "x\x00tail"),
                           open_browser=False)
    assert str(info.value).startswith(f"failed to write {tmp_path}/x\x00tail: ")
    features = dict.fromkeys(["n_items", "n_categories", "dim"], 1) | dict.fromkeys(
        ["mean_members_per_category", "category_size_entropy", "mean_sparsity", "axis_utilization_entropy",
         "noise_estimate", "mean_intra_category_similarity", "mean_inter_category_similarity",
         "category_separation_ratio"], 0.5)
    record = {"corpus_id": "c", "features": features, "best_config": {"projection_kind": "P\x00q"},
              "best_score": 0.5, "metric_name": "m", "strategy": "grid", "timestamp": "0"}
    with pytest.raises(ValueError) as info:
        vantorel.NearestNeighborMetaModel().fit([record])
    assert "unknown variant `P\x00q`, expected one of" in str(info.value)
