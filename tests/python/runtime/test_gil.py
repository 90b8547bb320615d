"""Calls that release the interpreter lock, seen from a whole process: daemon
threads inside them at interpreter exit, and Ctrl-C during long builds."""

import os
import signal
import subprocess
import sys
import textwrap
import time

import pytest

SETUP = """
import threading, time
import numpy as np
import vantorel as v
X = np.random.default_rng(0).normal(size=(200, 8))
C = ["a", "b", "c", "d"] * 50
p = v.Pipeline(C, X)
pca = v.PcaProjection.fit(X)
"""

# One expression per kind of lock-releasing call.
EXIT_KINDS = {
    "nearest": "p.nearest(X[0])",
    "detect_globs": "p.detect_globs()",
    "concept_path": "p.concept_path('s-0000', 's-0100', graph_k=3 + n % 2)",
    "hierarchical_nearest": "p.hierarchical_nearest(X[0])",
    "build": "v.Pipeline(C, X)",
    "project_batch": "pca.project_batch(X)",
    "pca_fit": "v.PcaProjection.fit(X)",
    "kernel_pca_fit": "v.KernelPcaProjection.fit(X)",
    "laplacian_fit": "v.LaplacianEigenmap.fit(X)",
    # Long enough to be polling for Ctrl-C when the interpreter exits.
    "long_build": "v.Pipeline(C * 10, np.tile(X, (10, 1)), config={'projection_kind': 'LaplacianEigenmap'})",
}


def run_python(code, **kwargs):
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path))
    return subprocess.Popen([sys.executable, "-c", code], env=env, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, text=True, **kwargs)


def test_daemon_threads_inside_native_calls_at_exit():
    procs = []
    for kind, call in EXIT_KINDS.items():
        code = SETUP + textwrap.dedent(f"""
            started = threading.Barrier(5)
            def work():
                started.wait()
                n = 0
                while True:
                    {call}
                    n += 1
            for _ in range(4):
                threading.Thread(target=work, daemon=True).start()
            started.wait()
            time.sleep(0.05)
        """)
        procs += [(kind, run_python(code)) for _ in range(3)]
    try:
        for kind, proc in procs:
            _, err = proc.communicate(timeout=60)
            assert proc.returncode == 0, (kind, proc.returncode, err[-2000:])
    finally:
        for _, proc in procs:
            proc.kill()
            proc.wait()


INTERRUPT_SETUP = """
import sys, time
import numpy as np
import vantorel as v
rng = np.random.default_rng(1)
X = rng.normal(size=(5000, 64))
C = [f"c{i % 20}" for i in range(5000)]
LAP = {"projection_kind": "LaplacianEigenmap"}
S = v.InMemoryStore("s", 8)
S.upsert([{"id": "kept", "vector": [1.0] * 8}])
RECORDS = [{"id": "new", "vector": [0.5] * 8}] * 3_000_000

def reference():
    small = v.Pipeline(C[:300], X[:300], config=LAP)
    return small.to_json(), [g.to_json() for g in small.detect_globs(max_k=5)], len(S)

before = reference()
p = v.Pipeline(C[:2000], X[:2000])
print("go", flush=True)
try:
    LONG_CALL
    print("finished", flush=True)
except KeyboardInterrupt:
    print("interrupted", time.monotonic(), flush=True)
print("same" if reference() == before else "different", flush=True)
"""

INTERRUPT_KINDS = {
    "laplacian_build": "v.Pipeline(C, X, config=LAP)",
    "detect_globs_unbounded": "p.detect_globs(max_k=2**64 - 1)",
    "auto_tune_grid": "v.auto_tune(C[:2000], X[:2000], strategy='grid')",
    "navigator_holding_the_lock": "v.run_navigator(p, config=v.NavigatorConfig(coverage_samples=10**12))",
    "navigator_exclusivity": "v.run_navigator(p, config=v.NavigatorConfig(exclusivity_samples=10**12))",
    # Holds the interpreter lock too; an interrupted upsert stores none of its records.
    "store_upsert": "S.upsert(RECORDS)",
}


def test_ctrl_c_stops_long_native_work_and_the_interpreter_stays_usable():
    procs = {kind: run_python(INTERRUPT_SETUP.replace("LONG_CALL", call))
             for kind, call in INTERRUPT_KINDS.items()}
    try:
        sent = {}
        for kind, proc in procs.items():
            assert proc.stdout.readline() == "go\n", proc.stderr.read()
        time.sleep(0.5)
        for kind, proc in procs.items():
            sent[kind] = time.monotonic()
            proc.send_signal(signal.SIGINT)
        for kind, proc in procs.items():
            out, err = proc.communicate(timeout=60)
            word, when = out.split("\n")[0].split()
            assert word == "interrupted", (kind, out, err)
            assert float(when) - sent[kind] < 1.0, kind
            assert out.split("\n")[1] == "same", kind
            assert proc.returncode == 0, (kind, err)
    finally:
        for proc in procs.values():
            proc.kill()
            proc.wait()
