"""InMemoryStore.upsert from Python: 100,000 records of dimension 384 against
faiss's IndexFlatIP.add and a plain NumPy copy of the same array, in the same
run; then records with one large metadata dict, flat and nested.

Run: python3 bench/bench_store_upsert.py   (faiss optional: pip install faiss-cpu)
"""
import time

import numpy as np

import vantorel as vt
from corpus import labelled_corpus
from timing import best_of

N, DIM = 100_000, 384
REPEATS = 5


def upsert_seconds(dim, records):
    """One upsert into a new store, timed without making or freeing the store."""
    store = vt.InMemoryStore("bench", dim)
    start = time.perf_counter()
    store.upsert(records)
    return time.perf_counter() - start


def upsert_rows():
    labels, rows = labelled_corpus(n=N, dim=DIM, categories=20)
    data = rows.astype(np.float64)
    ids = [f"r{i}" for i in range(N)]
    records = [{"id": ids[i], "vector": data[i], "metadata": {"category": labels[i]}} for i in range(N)]
    print(f"upsert: n={N}, d={DIM}, float64 rows, one metadata key each; best of {REPEATS}")
    ours_t = min(upsert_seconds(DIM, records) for _ in range(REPEATS))
    copy_t, _ = best_of(lambda: data.copy(), REPEATS)
    print(f"  InMemoryStore.upsert            {ours_t * 1e3:8.1f} ms")
    print(f"  NumPy copy of the array         {copy_t * 1e3:8.1f} ms   ratio ours/copy  {ours_t / copy_t:6.1f}x")
    try:
        import faiss
    except ImportError:
        print("  faiss                           not installed (pip install faiss-cpu): row skipped")
        return

    def faiss_add():
        index = faiss.IndexFlatIP(DIM)
        index.add(data)
        return index

    faiss_t, _ = best_of(faiss_add, REPEATS)
    print(f"  faiss IndexFlatIP.add           {faiss_t * 1e3:8.1f} ms   ratio ours/faiss {ours_t / faiss_t:6.1f}x")


def upsert_metadata():
    print("one record with a large metadata dict; best of 3")
    for keys in (6_000, 60_000):
        flat = {f"key-{i:06d}-{(i * 7919) % keys}": i for i in range(keys)}
        for shape, metadata in (("flat", flat), ("nested", {"inner": flat})):
            record = {"id": "a", "vector": [1.0, 0.0, 0.0], "metadata": metadata}
            seconds = min(upsert_seconds(3, [record]) for _ in range(3))
            print(f"  {keys:6d} keys, {shape:6s}             {seconds * 1e3:8.1f} ms")


def main():
    upsert_rows()
    upsert_metadata()


if __name__ == "__main__":
    main()
