"""visualize and visualize_pipeline: checks, data text and the written file."""
import inspect
import math
import os
import re
import subprocess
import sys

import numpy as np
import pytest

import vantorel
from page_data import data_text, page_data


def corpus(rng, n=12, d=6):
    return [f"c{i % 3}" for i in range(n)], rng.normal(size=(n, d)).tolist()


def test_signatures_and_docstrings():
    assert str(inspect.signature(vantorel.visualize)) == (
        "(categories, embeddings, output='sphere_viz.html', labels=None, title=None, open_browser=True)")
    assert str(inspect.signature(vantorel.visualize_pipeline)) == (
        "(pipeline, output='sphere_viz.html', title=None, open_browser=True)")
    assert vantorel.visualize.__doc__.startswith("Generate an interactive 3D sphere visualization from embeddings.")
    assert vantorel.visualize.__doc__.rstrip().endswith("Absolute path of the generated HTML file.")
    assert vantorel.visualize_pipeline.__doc__.startswith("Generate a visualization from an already-built Pipeline.")
    assert "A built vantorel.Pipeline instance." in vantorel.visualize_pipeline.__doc__


def test_points_match_the_pca_projection(rng, tmp_path):
    cats, emb = corpus(rng)
    labels = [f"L{i}" for i in range(5)]
    path = vantorel.visualize(cats, emb, str(tmp_path / "p.html"), labels, None, False)
    assert path == os.path.realpath(tmp_path / "p.html")
    data = page_data(path)
    pca = vantorel.PcaProjection.fit(emb)
    assert data["evr"] == round(pca.explained_variance_ratio, 6)
    assert [p["cat"] for p in data["points"]] == cats
    assert [p["label"] for p in data["points"]] == labels + [""] * 7
    for p, e in zip(data["points"], emb):
        s = pca.project(e)
        c = s.to_cartesian()
        assert list(p)[:6] == ["x", "y", "z", "r", "theta", "phi"]
        assert (p["x"], p["y"], p["z"]) == (round(c.x, 6), round(c.y, 6), round(c.z, 6))
        assert (p["r"], p["theta"], p["phi"]) == (round(s.r, 4), round(s.theta, 4), round(s.phi, 4))
    text = data_text(open(path, encoding="utf-8").read())
    assert re.fullmatch(r'\{"evr":-?\d+\.\d{6},"points":\[.*\]\}', text)
    for m in re.finditer(r'"(x|y|z|r|theta|phi)":(-?\d+\.(\d+))', text):
        assert len(m.group(3)) == (6 if m.group(1) in "xyz" else 4)
    assert "<title>Vantorel Visualization</title>" in open(path, encoding="utf-8").read()


@pytest.mark.parametrize("cats,emb,message", [
    (["a", "b"], [[1.0, 0, 0], [0, 1.0, 0]], "need at least 3 embeddings"),
    (["a"], [[1.0, 0, 0]] * 3, "categories length (1) != embeddings length (3)"),
    (["a"] * 3, [[1.0, 0, 0], [0, 1.0, 0], [0, 0]], "embedding 2 has dimension 2, expected 3"),
    (["a"] * 3, [[1.0, 0, 0], [0, math.inf, 0], [0, 0, 1.0]],
     "embedding values must be finite (no NaN or Inf), found inf at [1][1]"),
    (["a"] * 3, [[1.0, 0], [0, 1.0], [1.0, 1.0]], "PCA fit failed: "),
])
def test_refusals_write_nothing(tmp_path, cats, emb, message):
    out = tmp_path / "p.html"
    with pytest.raises(ValueError) as err:
        vantorel.visualize(cats, emb, str(out), open_browser=False)
    assert str(err.value).startswith(message)
    assert not out.exists()


def test_magnitude_beyond_float_range_is_refused(tmp_path):
    # Finite values whose norm overflows would put inf into the page's script.
    emb = [[1.5e308] * 3 + [0.0], [1.0, 0, 0, 0], [0, 1.0, 0, 0], [0, 0, 1.0, 0], [0, 0, 0, 1.0], [1.0, 1.0, 0, 0]]
    out = tmp_path / "p.html"
    message = "point 0 has a position that is not finite"
    with pytest.raises(ValueError, match=message):
        vantorel.visualize(["a", "b"] * 3, emb, str(out), open_browser=False)
    pipe = vantorel.Pipeline(["a", "b"] * 3, emb, projection=vantorel.PcaProjection.fit(emb))
    with pytest.raises(ValueError, match=message):
        vantorel.visualize_pipeline(pipe, str(out), open_browser=False)
    assert not out.exists()


def test_more_rows_than_memory_can_hold_are_refused_at_once(tmp_path):
    # Rows read one by one would grow for hours before running out of memory.
    rows = np.empty((10**15, 0))
    with pytest.raises(MemoryError):
        vantorel.visualize(["a"], rows, str(tmp_path / "p.html"), open_browser=False)
    with pytest.raises(MemoryError):
        vantorel.Pipeline(["a"], rows.astype(np.int64))


def test_argument_types_in_parameter_order(tmp_path):
    emb = [[1.0, 0, 0]] * 3
    with pytest.raises(TypeError, match="argument 'categories'"):
        vantorel.visualize("abc", 5, None)
    with pytest.raises(TypeError, match="argument 'embeddings'"):
        vantorel.visualize(["a"] * 3, 5, None)
    with pytest.raises(TypeError, match="argument 'output'"):
        vantorel.visualize(["a"] * 3, emb, None, "labels")
    with pytest.raises(TypeError, match="argument 'labels'"):
        vantorel.visualize(["a"] * 3, emb, "x.html", "labels", 5)
    with pytest.raises(TypeError, match="argument 'open_browser'"):
        vantorel.visualize(["a"] * 3, emb, str(tmp_path / "x.html"), open_browser=0)
    with pytest.raises(TypeError, match="argument 'pipeline'"):
        vantorel.visualize_pipeline(object())


def test_text_escaping_and_title(rng, tmp_path):
    cats = ['q"uote', "back\\slash", "new\nline", "é/ü", "</script><img src=x onerror=alert(1)>",
            "__VANTOREL_TITLE__\u2028"]
    emb = rng.normal(size=(len(cats), 4)).tolist()
    path = vantorel.visualize(cats, emb, str(tmp_path / "p.html"), title="<b>A & B</b>", open_browser=False)
    html = open(path, encoding="utf-8").read()
    text = data_text(html)
    for raw in ['"q\\"uote"', '"back\\\\slash"', '"new\\nline"', '"é/ü"',
                '"\\u003c/script\\u003e\\u003cimg src=x onerror=alert(1)\\u003e"', '"__VANTOREL_TITLE__\\u2028"']:
        assert raw in text
    assert [p["cat"] for p in page_data(path)["points"]] == cats
    assert "<title>&lt;b&gt;A &amp; B&lt;/b&gt;</title>" in html
    assert html.count("</script>") == 2


def test_missing_directory_raises_and_creates_nothing(rng, tmp_path):
    cats, emb = corpus(rng)
    out = tmp_path / "missing" / "p.html"
    with pytest.raises(ValueError, match=re.escape(f"failed to write {out}: No such file or directory (os error 2)")):
        vantorel.visualize(cats, emb, str(out), open_browser=False)
    assert not (tmp_path / "missing").exists()


def test_default_output_in_current_directory(rng, tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    cats, emb = corpus(rng)
    assert vantorel.visualize(cats, emb, open_browser=False) == str(tmp_path.resolve() / "sphere_viz.html")


def run_python(code, cwd):
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path))
    return subprocess.run([sys.executable, "-c", code], cwd=cwd, env=env, capture_output=True, text=True, check=True)


def test_browser_module_only_when_asked(tmp_path):
    # A stand-in webbrowser module records the address it is asked to open.
    (tmp_path / "webbrowser.py").write_text("opened = []\ndef open(url):\n    opened.append(url)\n    return True\n")
    code = (
        "import sys, vantorel\n"
        "e = [[1.0, 0, 0], [0, 2.0, 0], [0, 0, 3.0], [1.0, 1.0, 1.0]]\n"
        "p = vantorel.visualize(['a'] * 4, e, 'a b#%.html', open_browser=False)\n"
        "print('webbrowser' in sys.modules)\n"
        "q = vantorel.visualize(['a'] * 4, e, 'a b#%.html')\n"
        "import webbrowser\n"
        "print(p == q, webbrowser.opened)\n"
    )
    lines = run_python(code, tmp_path).stdout.splitlines()
    assert lines[0] == "False"
    uri = (tmp_path / "a b#%.html").resolve().as_uri()
    assert lines[1] == f"True {[uri]}" and "a%20b%23%25.html" in uri


def test_browser_exception_reaches_the_caller_after_writing(tmp_path):
    (tmp_path / "webbrowser.py").write_text("def open(url):\n    raise OSError('no browser')\n")
    code = (
        "import vantorel\n"
        "try:\n"
        "    vantorel.visualize(['a'] * 3, [[1.0, 0, 0], [0, 2.0, 0], [0, 0, 3.0]], 'p.html')\n"
        "except OSError as e:\n"
        "    print(repr(e))\n"
    )
    assert run_python(code, tmp_path).stdout.strip() == "OSError('no browser')"
    assert (tmp_path / "p.html").exists()


def test_visualize_pipeline_uses_ids_and_stored_positions(rng, tmp_path):
    cats, emb = corpus(rng, n=15)
    pipe = vantorel.Pipeline(cats, emb)
    path = vantorel.visualize_pipeline(pipe, str(tmp_path / "p.html"), "T", False)
    data = page_data(path)
    assert data["evr"] == round(pipe.explained_variance_ratio, 6)
    exported = pipe.exported_points()
    points = data["points"]
    assert [p["label"] for p in points] == [f"s-{i:04d}" for i in range(15)]
    assert [p["cat"] for p in points] == cats
    for p, e in zip(points, exported):
        assert (p["x"], p["y"], p["z"]) == (round(e["x"], 6), round(e["y"], 6), round(e["z"], 6))
        s = vantorel.cartesian_to_spherical(vantorel.CartesianPoint(e["x"], e["y"], e["z"]))
        assert (p["r"], p["theta"], p["phi"]) == (round(s.r, 4), round(s.theta, 4), round(s.phi, 4))
    assert "<title>T</title>" in open(path, encoding="utf-8").read()
