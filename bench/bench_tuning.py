"""corpus_features against NumPy, and a whole tuner grid against single builds.

Run: python3 bench/bench_tuning.py [path/to/tuning_breakdown]
The first half times vantorel.corpus_features on 20,000 × 384 with 20
categories and NumPy computing the same two cosine means (normalised rows,
blocked matrix products, label masks) in the same run. The second half runs the
C++ program bench/tuning_breakdown (cmake -DVANTOREL_BUILD_BENCH=ON, found under
build/dev by default): auto_tune's grid over the default space (7,290 trials,
metrics default_composite and territorial_health) on 1,000 × 64 with 8
categories, counted in single Pipeline builds of that corpus.
"""
import pathlib
import subprocess
import sys

import numpy as np

import vantorel
from corpus import labelled_corpus
from timing import best_of


def numpy_means(rows, labels, block=2048):
    unit = rows / np.linalg.norm(rows, axis=1, keepdims=True)
    codes = np.unique(labels, return_inverse=True)[1]
    n = len(unit)
    intra = inter = 0.0
    n_intra = n_inter = 0
    for start in range(0, n, block):
        stop = min(start + block, n)
        cos = unit[start:stop] @ unit[start:].T
        upper = np.arange(start, n)[None, :] > np.arange(start, stop)[:, None]
        same = codes[start:stop, None] == codes[None, start:]
        intra += cos[upper & same].sum()
        inter += cos[upper & ~same].sum()
        n_intra += int((upper & same).sum())
        n_inter += int((upper & ~same).sum())
    return intra / n_intra, inter / n_inter


def main():
    names, rows = labelled_corpus(n=20_000, dim=384, categories=20)
    rows = rows.astype(np.float64)
    labels = np.asarray(names)
    engine_s, features = best_of(lambda: vantorel.corpus_features(names, rows))
    engine_ms = engine_s * 1e3
    numpy_s, (intra, inter) = best_of(lambda: numpy_means(rows, labels))
    numpy_ms = numpy_s * 1e3
    print(f"corpus_features 20,000 x 384, 20 categories  {engine_ms:8.1f} ms")
    print(f"NumPy, the two cosine means                  {numpy_ms:8.1f} ms")
    print(f"  corpus_features / NumPy                    {engine_ms / numpy_ms:8.2f}x   (aim: at most 1.5)")
    print(f"  means agree: intra {abs(features['mean_intra_category_similarity'] - intra):.1e}, "
          f"inter {abs(features['mean_inter_category_similarity'] - inter):.1e}")

    root = pathlib.Path(__file__).resolve().parent.parent
    program = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else root / "build/dev/tuning_breakdown"
    if not program.exists():
        sys.exit(f"{program} not found: build with -DVANTOREL_BUILD_BENCH=ON")
    print(subprocess.run([str(program)], check=True, capture_output=True, text=True).stdout, end="")


if __name__ == "__main__":
    main()
