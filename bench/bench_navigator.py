"""run_navigator against a NumPy count of the same Monte-Carlo work.

Run: python3 bench/bench_navigator.py
The engine-side breakdown by analysis step is printed by the C++ program
bench/navigator_breakdown (cmake -DVANTOREL_BUILD_BENCH=ON).

The NumPy side draws the default configuration's uniform sphere samples and
tests each against the 20 category caps: coverage (every sample against every
cap), Voronoi (nearest and second-nearest centroid of every sample) and, per
category, exclusivity (samples in its cap and in no other). Caps are centred
on each category's mean direction with its mean angular distance as
half-angle, computed from the exported points. run_navigator does all of that
and the antipodal, curvature and lune analyses besides, on every core; run it
under `taskset -c 0` for the one-core comparison.
"""
import os

# NumPy's products here are n x 3 by 3 x 20: threaded BLAS only adds overhead
# (ten times slower on a busy machine), so NumPy gets its fastest setting.
os.environ.setdefault("OPENBLAS_NUM_THREADS", "1")
os.environ.setdefault("OMP_NUM_THREADS", "1")

import numpy as np  # noqa: E402

import vantorel as vt  # noqa: E402
from corpus import labelled_corpus  # noqa: E402
from timing import best_of  # noqa: E402


def category_caps(pipeline):
    points = pipeline.exported_points()
    names = np.array([p["category"] for p in points])
    xyz = np.array([(p["x"], p["y"], p["z"]) for p in points])
    xyz /= np.linalg.norm(xyz, axis=1, keepdims=True)
    axes, cos_half = [], []
    for name in pipeline.unique_categories():
        members = xyz[names == name]
        axis = members.mean(axis=0)
        axis /= np.linalg.norm(axis)
        axes.append(axis)
        cos_half.append(np.cos(np.arccos(np.clip(members @ axis, -1.0, 1.0)).mean()))
    return np.array(axes), np.array(cos_half)


def sphere_samples(rng, n):
    s = rng.standard_normal((n, 3))
    return s / np.linalg.norm(s, axis=1, keepdims=True)


def numpy_monte_carlo(axes, cos_half, config, seed=0):
    rng = np.random.default_rng(seed)
    inside = (sphere_samples(rng, config.coverage_samples) @ axes.T >= cos_half).sum(axis=1)
    covered, overlapped = int((inside >= 1).sum()), int((inside >= 2).sum())

    dots = sphere_samples(rng, config.voronoi_samples) @ axes.T
    top_two = np.partition(dots, -2, axis=1)[:, -2:]
    cell_counts = np.bincount(dots.argmax(axis=1), minlength=len(axes))
    boundary = int((top_two[:, 1] - top_two[:, 0] < 0.05).sum())

    exclusivity = []
    for i in range(len(axes)):
        hits = sphere_samples(rng, config.exclusivity_samples) @ axes.T >= cos_half
        own = hits[:, i]
        exclusive = own & (hits.sum(axis=1) == 1)
        exclusivity.append(exclusive.sum() / max(own.sum(), 1))
    return covered, overlapped, cell_counts, boundary, exclusivity


def main():
    labels, x = labelled_corpus(n=20_000, dim=384, categories=20)
    pipeline = vt.Pipeline(labels, x)
    config = vt.NavigatorConfig()
    print(f"corpus: n={len(x)}, d={x.shape[1]}, 20 categories; default NavigatorConfig "
          f"({config.coverage_samples} coverage, {config.voronoi_samples} Voronoi, "
          f"{config.exclusivity_samples} exclusivity samples per category)")

    ours_t, _ = best_of(lambda: vt.run_navigator(pipeline), 5)
    axes, cos_half = category_caps(pipeline)
    numpy_t, _ = best_of(lambda: numpy_monte_carlo(axes, cos_half, config), 5)
    report = vt.run_navigator(pipeline)
    print(f"  run_navigator (whole report)      {ours_t * 1e3:8.1f} ms   "
          f"coverage {report.coverage.coverage_fraction:.4f}")
    print(f"  NumPy Monte-Carlo counts only     {numpy_t * 1e3:8.1f} ms   "
          f"coverage {numpy_monte_carlo(axes, cos_half, config)[0] / config.coverage_samples:.4f}")
    print(f"  ratio run_navigator / NumPy       {ours_t / numpy_t:8.2f}x")


if __name__ == "__main__":
    main()
