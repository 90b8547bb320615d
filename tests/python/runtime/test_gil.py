"""Calls that release the interpreter lock, seen from a whole process: daemon
threads inside them at interpreter exit, and Ctrl-C during long builds."""

import os
import signal
import subprocess
import sys
import textwrap

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
