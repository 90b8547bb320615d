"""Projection fits and batch projection against scikit-learn and NumPy.

Run: python3 bench/bench_projections.py   (needs scikit-learn)
"""
import sys

import numpy as np

import vantorel as vt
from corpus import labelled_corpus
from timing import best_of


def main():
    try:
        from sklearn.decomposition import PCA, KernelPCA
    except ImportError:
        sys.exit("scikit-learn is needed for the comparison: pip install scikit-learn")

    for spectrum in ("decaying", "flat"):
        _, x = labelled_corpus(spectrum=spectrum)
        print(f"corpus: n={x.shape[0]}, d={x.shape[1]}, float32, {spectrum} spectrum")
        fit_t, pca = best_of(lambda: vt.PcaProjection.fit(x))
        sk_t, _ = best_of(lambda: PCA(n_components=3).fit_transform(x))
        print(f"  PcaProjection.fit            {fit_t * 1e3:8.1f} ms")
        print(f"  sklearn PCA(3) fit+transform {sk_t * 1e3:8.1f} ms   ratio {fit_t / sk_t:5.2f}x")

        batch_t, _ = best_of(lambda: pca.project_batch(x))
        w = np.random.default_rng(0).normal(size=(x.shape[1], 3))
        x64 = x.astype(np.float64)
        mm_t, _ = best_of(lambda: x64 @ w)
        mm32_t, _ = best_of(lambda: x @ w)
        print(f"  project_batch (objects incl.) {batch_t * 1e3:7.1f} ms")
        print(f"  NumPy float64 (n x d) @ (d x 3) {mm_t * 1e3:5.1f} ms   ratio {batch_t / mm_t:5.2f}x")
        print(f"  NumPy float32 input @ (d x 3)   {mm32_t * 1e3:5.1f} ms   ratio {batch_t / mm32_t:5.2f}x"
              "  (the same float32 array, widened by NumPy)")

    _, small = labelled_corpus(n=2_000)
    kfit_t, kpca = best_of(lambda: vt.KernelPcaProjection.fit(small))
    gamma = 1.0 / (2.0 * kpca.sigma ** 2)
    norm = small / np.linalg.norm(small, axis=1, keepdims=True)
    sk_k_t, _ = best_of(lambda: KernelPCA(kernel="rbf", n_components=3, gamma=gamma).fit(norm))
    print(f"kernel PCA on n=2000, d={small.shape[1]}")
    print(f"  KernelPcaProjection.fit      {kfit_t * 1e3:8.1f} ms")
    print(f"  sklearn KernelPCA(rbf, 3)    {sk_k_t * 1e3:8.1f} ms   ratio {kfit_t / sk_k_t:5.2f}x")


if __name__ == "__main__":
    main()
