"""Silhouette and modularity metrics against scikit-learn's silhouette_score.

Run: python3 bench/bench_quality.py [path/to/quality_metrics]   (needs scikit-learn)
The C++ program bench/quality_metrics (cmake -DVANTOREL_BUILD_BENCH=ON, found
under build/dev by default) builds the pipeline, times the two metrics and
writes the exported points; scikit-learn then scores the same points in this
run. The engine measures angles, scikit-learn here Euclidean distances between
the unit directions (the chord of the same angle): the same n² pairs of work.
"""
import pathlib
import re
import subprocess
import sys
import tempfile

import numpy as np
from timing import best_of


def main():
    try:
        from sklearn.metrics import silhouette_score
    except ImportError:
        sys.exit("scikit-learn is needed for the comparison: pip install scikit-learn")

    root = pathlib.Path(__file__).resolve().parent.parent
    program = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else root / "build/dev/quality_metrics"
    if not program.exists():
        sys.exit(f"{program} not found: build with -DVANTOREL_BUILD_BENCH=ON")

    with tempfile.TemporaryDirectory() as tmp:
        points_path = pathlib.Path(tmp) / "points.txt"
        report = subprocess.run([str(program), str(points_path)], check=True, capture_output=True, text=True).stdout
        data = np.loadtxt(points_path)
    print(report, end="")
    silhouette_ms = float(re.search(r"ClusterSilhouette\s+([\d.]+) ms", report).group(1))
    modularity_ms = float(re.search(r"GraphModularity k=15\s+([\d.]+) ms", report).group(1))

    xyz = data[:, :3]
    labels = data[:, 3].astype(np.int64)
    units = xyz / np.linalg.norm(xyz, axis=1, keepdims=True)
    best, score = best_of(lambda: silhouette_score(units, labels))
    sklearn_ms = best * 1e3
    print(f"  sklearn silhouette_score        {sklearn_ms:8.1f} ms  (Euclidean on unit directions, {score:.6f})")
    print(f"  ClusterSilhouette / sklearn     {silhouette_ms / sklearn_ms:8.2f}x   (aim: at most 1)")
    print(f"  GraphModularity / silhouette    {modularity_ms / silhouette_ms:8.2f}x   (aim: at most 2)")


if __name__ == "__main__":
    main()
