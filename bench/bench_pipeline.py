"""Pipeline build and nearest queries against scikit-learn on the same sphere.

Run: python3 bench/bench_pipeline.py   (needs scikit-learn)
The engine-side breakdown of the build is printed by the C++ program
bench/pipeline_breakdown (cmake -DVANTOREL_BUILD_BENCH=ON).
"""
import math
import sys

import numpy as np

import vantorel as vt
from corpus import labelled_corpus
from timing import timed


def main():
    try:
        from sklearn.decomposition import PCA
        from sklearn.neighbors import BallTree
    except ImportError:
        sys.exit("scikit-learn is needed for the comparison: pip install scikit-learn")

    labels, x = labelled_corpus(n=20_000, dim=384, categories=20)
    queries = x[np.random.default_rng(1).choice(len(x), 1000, replace=False)] + 0.01
    print(f"corpus: n={len(x)}, d={x.shape[1]}, 20 categories, float32")

    fit_t, projection = timed(lambda: vt.PcaProjection.fit(x, volumetric=True))
    rest_t, pipeline = timed(lambda: vt.Pipeline(labels, x, projection=projection))
    full_t, _ = timed(lambda: vt.Pipeline(labels, x))
    print(f"  Pipeline(labels, x)             {full_t * 1e3:8.1f} ms")
    print(f"    PcaProjection.fit             {fit_t * 1e3:8.1f} ms")
    print(f"    build around a fitted PCA     {rest_t * 1e3:8.1f} ms  (index, category layer, groups)")

    ours_t, _ = timed(lambda: [pipeline.nearest(q, k=10) for q in queries])

    sk_fit_t, (pca, coords) = timed(lambda: (lambda p: (p, p.fit_transform(x)))(PCA(n_components=3)))

    def latlon(xyz):
        r = np.linalg.norm(xyz, axis=1)
        lat = np.arcsin(np.clip(xyz[:, 2] / r, -1, 1))
        lon = np.arctan2(xyz[:, 1], xyz[:, 0])
        return np.column_stack([lat, lon])

    tree_t, tree = timed(lambda: BallTree(latlon(coords), metric="haversine"))
    sk_q_t, _ = timed(lambda: [tree.query(latlon(pca.transform(q[None, :])), k=10) for q in queries])
    print(f"  sklearn PCA(3) fit+transform    {sk_fit_t * 1e3:8.1f} ms")
    print(f"  BallTree(haversine) build       {tree_t * 1e3:8.1f} ms")
    print(f"1000 nearest queries, k=10 (one call per query, projection of the query included)")
    print(f"  Pipeline.nearest                {ours_t * 1e3 / 1000:8.3f} ms/query")
    print(f"  PCA.transform + BallTree.query  {sk_q_t * 1e3 / 1000:8.3f} ms/query   ratio {ours_t / sk_q_t:5.2f}x")


if __name__ == "__main__":
    main()
