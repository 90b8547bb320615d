"""from_json against json.loads of the same text, from 10k to 1M keys and rows.

Run: python3 bench/bench_json.py [--max 1000000]
Each line times one text both ways in the same run (best of a few repeats)
and prints the ratio. Both sides build their Python objects: json.loads its
dicts and lists, from_json its instance (for GlobInfo the top_categories
list of tuples is read too). Pipeline.from_json also builds the pipeline, so
its line also times the reading alone (the same text failing on its last
category, which is judged after the whole text is read) with its own ratio.
"""
import argparse
import json

import numpy as np

import vantorel as vt
from timing import best_of


def best(fn, repeats):
    return best_of(fn, repeats)[0]


def glob_text_keys(n):
    fields = {"id": 3, "centroid": [0.1, 0.2, 0.3], "member_count": 7, "radius": 0.25}
    extra = {f"key-{i:07d}": i * 0.5 for i in range(n)}
    return json.dumps({**extra, **fields, "top_categories": [["a", 1]]})


def glob_text_rows(n):
    rows = [[f"topic-{i % 97:02d}", i] for i in range(n)]
    return json.dumps({"id": 3, "centroid": [0.1, 0.2, 0.3], "member_count": n, "radius": 0.25, "top_categories": rows})


def pipeline_corpus(n, dim):
    rng = np.random.default_rng(7)
    x = rng.normal(size=(n, dim)).round(6)
    labels = [f"topic-{i % 12:02d}" for i in range(n)]
    return labels, x


def report(name, n, size, ours, theirs, extra=""):
    print(f"{name:<26} {n:>9,} {size / 1e6:8.1f} MB  from_json {ours * 1e3:9.1f} ms  "
          f"json.loads {theirs * 1e3:9.1f} ms  ratio {ours / theirs:5.2f}x{extra}")


def pipeline_line(name, n, corpus, labels, x, repeats):
    """Whole from_json, and its reading alone: the same text with the last
    category made a number fails right after the whole text is read."""
    text = json.dumps({**corpus, "categories": labels, "embeddings": x.tolist()})
    failing = json.dumps({**corpus, "categories": labels[:-1] + [5], "embeddings": x.tolist()})

    def read_only():
        try:
            vt.Pipeline.from_json(failing)
        except ValueError:
            pass

    ours = best(lambda: vt.Pipeline.from_json(text), repeats)
    theirs = best(lambda: json.loads(text), repeats)
    reading = best(read_only, repeats)
    report(name, n, len(text), ours, theirs,
           f"   [reading alone {reading * 1e3:.1f} ms, {reading / theirs:4.2f}x]")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--max", type=int, default=1_000_000)
    args = parser.parse_args()
    sizes = [n for n in (10_000, 100_000, 1_000_000) if n <= args.max]
    print("text                            n      size")
    for n in sizes:
        repeats = 5 if n < 1_000_000 else 2
        text = glob_text_keys(n)
        report("GlobInfo keys", n, len(text), best(lambda: vt.GlobInfo.from_json(text).top_categories, repeats),
               best(lambda: json.loads(text), repeats))
        text = glob_text_rows(n)
        report("GlobInfo top_categories", n, len(text),
               best(lambda: vt.GlobInfo.from_json(text).top_categories, repeats), best(lambda: json.loads(text), repeats))

        labels, x = pipeline_corpus(20, 8)
        members = {f"key-{i:07d}": [i, str(i)] for i in range(n)}
        pipeline_line("Pipeline keys (20 rows)", n, members, labels, x, repeats)

        labels, x = pipeline_corpus(n, 8)
        pipeline_line("Pipeline rows (d=8)", n, {}, labels, x, 1 if n >= 1_000_000 else repeats)

if __name__ == "__main__":
    main()
