"""visualize on 100,000 points of dimension 384: the PCA fit against writing the page.

Run: python3 bench/bench_viz.py
The engine-side split (fit, projection, data text, template, file) is printed
by the C++ program bench/viz_breakdown (cmake -DVANTOREL_BUILD_BENCH=ON).

From Python: the fit alone is PcaProjection.fit on the same rows (visualize
fits exactly that projection); visualize_pipeline on a pipeline over the rows
projects nothing and fits nothing, so its time is the page alone (data text,
template, write). visualize end to end also reads its rows as plain nested
sequences, item by item, which is what its remaining time is.
"""
import os
import tempfile

import vantorel as vt
from corpus import labelled_corpus
from timing import timed


def main():
    names, rows = labelled_corpus(n=100_000, dim=384, dtype="float64")
    as_lists = rows.tolist()
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "sphere.html")
        fit_s, _ = timed(lambda: vt.PcaProjection.fit(rows))
        total_s, _ = timed(lambda: vt.visualize(names, as_lists, out, open_browser=False))
        pipeline = vt.Pipeline(names, rows)
        page_s, _ = timed(lambda: vt.visualize_pipeline(pipeline, out, open_browser=False))
        size_mb = os.path.getsize(out) / 1e6
    print(f"visualize, 100000 x 384: {total_s:.2f} s end to end")
    print(f"  PCA fit (PcaProjection.fit):   {fit_s * 1e3:8.1f} ms")
    print(f"  page alone (visualize_pipeline): {page_s * 1e3:6.1f} ms ({size_mb:.1f} MB)")
    print(f"  rest (row reading, projection):  {(total_s - fit_s - page_s) * 1e3:6.1f} ms")


if __name__ == "__main__":
    main()
