"""Synthetic labelled corpora shaped like sentence embeddings."""
import numpy as np


def labelled_corpus(n=20_000, dim=384, categories=20, seed=7, spectrum="decaying", dtype=np.float32):
    """Category centres plus noise, all offset by a shared mean direction.

    spectrum="decaying": the centres spread along directions of decaying
    variance, as trained embedding spaces do (a few dominant axes).
    spectrum="flat": the centres are isotropic, the hardest case for
    iterative eigen-solvers (nearly equal leading eigenvalues).
    """
    rng = np.random.default_rng(seed)
    if spectrum == "decaying":
        scales = 1.0 / np.sqrt(np.arange(1, dim + 1))
    else:
        scales = np.full(dim, 1.0 / np.sqrt(dim))
    centres = rng.normal(size=(categories, dim)) * scales * 4.0
    labels = rng.integers(0, categories, size=n)
    shared = rng.normal(size=dim) * 0.5
    rows = shared + centres[labels] + rng.normal(scale=0.05, size=(n, dim))
    names = [f"topic-{k:02d}" for k in labels]
    return names, rows.astype(dtype)
