"""The two JSON-lines stores through the Python API, against Python's json
module doing the same work line by line, in the same run.

Run: PYTHONPATH=build/dev/src/python python3 bench/bench_stores.py
HOME points at a temporary directory for the whole run; the real home is
never touched.
"""
import json
import os
import pathlib
import tempfile
from timing import best_of, timed

APPENDS = 10_000
LINES = 100_000


def event_fields(i):
    return f"corpus-{i % 37}", f"query-{i}", (i % 1000) / 999.0, str(1_700_000_000 + i)


def training_record(i):
    keys = ["mean_members_per_category", "category_size_entropy", "mean_sparsity", "axis_utilization_entropy",
            "noise_estimate", "mean_intra_category_similarity", "mean_inter_category_similarity",
            "category_separation_ratio"]
    features = {"n_items": 1000 + i, "n_categories": 10, "dim": 384,
                **{k: (i * 7 + j) % 101 / 100.0 for j, k in enumerate(keys)}}
    return {"corpus_id": f"corpus-{i}", "features": features, "best_config": {}, "best_score": (i % 97) / 96.0,
            "metric_name": "default_composite", "strategy": "random", "timestamp": str(1_700_000_000 + i)}


def json_lines(path):
    with open(path, encoding="utf-8") as f:
        return [json.loads(line) for line in f if line.strip()]


def report(what, ours, theirs):
    print(f"  {what:<44} vantorel {ours * 1e3:8.1f} ms   json {theirs * 1e3:8.1f} ms   "
          f"json/vantorel {theirs / ours:5.2f}x")


def main():
    with tempfile.TemporaryDirectory() as home:
        os.environ["HOME"] = home
        import vantorel as vt

        store = pathlib.Path(home) / ".vantorel" / "feedback_events.json"
        plain = pathlib.Path(home) / "plain_events.json"

        def append_ours():
            for i in range(APPENDS):
                vt.FeedbackEvent(*event_fields(i)).append_to_default_store()

        def append_json():
            for i in range(APPENDS):
                c, q, s, t = event_fields(i)
                line = json.dumps({"corpus_id": c, "query_id": q, "score": s, "timestamp": t})
                with open(plain, "a", encoding="utf-8") as f:
                    f.write(line + "\n")

        ours_t, _ = timed(append_ours)
        json_t, _ = timed(append_json)
        assert json_lines(store) == json_lines(plain)
        print(f"feedback store, {APPENDS:,} appends (one open, write and close each)")
        report("FeedbackEvent(...).append_to_default_store()", ours_t, json_t)

        with open(store, "w", encoding="utf-8") as f:
            for i in range(LINES):
                c, q, s, t = event_fields(i)
                f.write(json.dumps({"corpus_id": c, "query_id": q, "score": s, "timestamp": t}) + "\n")
        size = store.stat().st_size / 1e6
        ours_t, aggregator = best_of(vt.FeedbackAggregator.load_default, 3)
        json_t, events = best_of(lambda: json_lines(store), 3)
        assert len(aggregator) == len(events) == LINES
        print(f"feedback store, load of {LINES:,} lines ({size:.1f} MB)")
        report("FeedbackAggregator.load_default()", ours_t, json_t)

        records = pathlib.Path(home) / ".vantorel" / "meta_records.json"
        vt.append_to_default_store(training_record(0))
        full_config = vt.load_default_store()[0]["best_config"]
        with open(records, "w", encoding="utf-8") as f:
            for i in range(LINES):
                f.write(json.dumps({**training_record(i), "best_config": full_config}) + "\n")
        size = records.stat().st_size / 1e6
        ours_t, loaded = best_of(vt.load_default_store, 3)
        json_t, parsed = best_of(lambda: json_lines(records), 3)
        assert loaded == parsed
        print(f"training-record store, load of {LINES:,} lines ({size:.1f} MB) into dicts")
        report("load_default_store()", ours_t, json_t)


if __name__ == "__main__":
    main()
