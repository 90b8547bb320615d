"""The in-memory store from Python: upsert, a build over it, and k = 10 search
through hybrid_search, against NumPy brute force and hnswlib on the same data.

Run: python3 bench/bench_vectordb.py   (hnswlib optional: pip install hnswlib)
The C++ side of the store's search is measured by bench/store_search.
"""
import time

import numpy as np

import vantorel as vt
from corpus import labelled_corpus
from timing import timed

N, DIM, QUERIES, K = 100_000, 384, 100, 10
THREADS = 3  # the machine is shared


def per_query_ms(search, queries):
    times = []
    answers = []
    for q in queries:
        start = time.perf_counter()
        answers.append(search(q))
        times.append(time.perf_counter() - start)
    return 1e3 * float(np.median(times)), answers


def recall(found, exact):
    return float(np.mean([len(set(f) & set(e)) / len(e) for f, e in zip(found, exact)]))


def main():
    labels, rows = labelled_corpus(n=N + QUERIES, dim=DIM, categories=20)
    data = rows[:N].astype(np.float64)
    queries = rows[N:].astype(np.float64)
    ids = [f"r{i}" for i in range(N)]
    print(f"corpus: n={N}, d={DIM}, 20 categories, float64; {QUERIES} queries, k={K}")

    store = vt.InMemoryStore("bench", DIM)
    records_t, records = timed(lambda: [{"id": ids[i], "vector": data[i], "metadata": {"category": labels[i]}}
                                        for i in range(N)])
    upsert_t, _ = timed(lambda: store.upsert(records))
    bridge = vt.VectorStoreBridge(store)
    build_t, _ = timed(bridge.build_pipeline)
    print(f"  record dicts from the array     {records_t * 1e3:8.1f} ms")
    print(f"  InMemoryStore.upsert            {upsert_t * 1e3:8.1f} ms")
    pipeline_t, _ = timed(lambda: vt.Pipeline(labels[:N], data, projection=vt.PcaProjection.fit(data, volumetric=True)))
    print(f"  VectorStoreBridge.build_pipeline{build_t * 1e3:9.1f} ms  (load in pages of 100, PCA, index)")
    print(f"    the same build as a Pipeline  {pipeline_t * 1e3:8.1f} ms  (PcaProjection.fit + Pipeline)")

    ours_ms, ours = per_query_ms(
        lambda q: [h["id"] for h in bridge.hybrid_search(q, final_k=K, recall_k=K)], queries)

    normalised = data / np.linalg.norm(data, axis=1, keepdims=True)

    def brute(q):
        scores = normalised @ (q / np.linalg.norm(q))
        top = np.argpartition(-scores, K)[:K]
        return [ids[i] for i in top[np.argsort(-scores[top])]]

    numpy_ms, exact = per_query_ms(brute, queries)
    print("search, k=10, median per query")
    print(f"  hybrid_search (recall_k=10)     {ours_ms:8.3f} ms   recall@10 {recall(ours, exact):.3f}")
    print(f"  NumPy matmul + argpartition     {numpy_ms:8.3f} ms   ratio ours/NumPy {ours_ms / numpy_ms:5.2f}x")

    try:
        import hnswlib
    except ImportError:
        print("  hnswlib                         not installed (pip install hnswlib): row skipped")
        return
    index = hnswlib.Index(space="cosine", dim=DIM)

    def build_hnsw():
        index.init_index(max_elements=N, ef_construction=200, M=16)
        index.add_items(data.astype(np.float32), np.arange(N), num_threads=THREADS)
        index.set_ef(50)

    hnsw_build_t, _ = timed(build_hnsw)
    hnsw_ms, labels_found = per_query_ms(lambda q: index.knn_query(q.astype(np.float32), k=K)[0][0], queries)
    hnsw = [[ids[i] for i in found] for found in labels_found]
    print(f"  hnswlib build (M=16, ef_c=200)  {hnsw_build_t * 1e3:8.1f} ms  ({THREADS} threads)")
    print(f"  hnswlib knn_query (ef=50)       {hnsw_ms:8.3f} ms   recall@10 {recall(hnsw, exact):.3f}   "
          f"ratio ours/hnswlib {ours_ms / hnsw_ms:6.1f}x")


if __name__ == "__main__":
    main()
