"""The sphere page in a real browser (Debian's chromium driven by Playwright).

three.js is answered from Debian's libjs-three copy, so no test touches the network.
"""
import math
import os
import struct
import zlib

import numpy as np
import pytest

import vantorel
from page_data import page_data

CHROMIUM = "/usr/bin/chromium"
THREE = "/usr/share/javascript/three/three.min.js"
if not (os.path.exists(CHROMIUM) and os.path.exists(THREE)):
    pytest.skip("needs Debian's chromium and libjs-three (/usr/bin/chromium, " + THREE + ")",
                allow_module_level=True)
sync_api = pytest.importorskip("playwright.sync_api")

W, H = 1000, 700
BACKGROUND = (0x1a, 0x1a, 0x2e)
PALETTE = ["#4fc3f7", "#ff8a65", "#81c784", "#ba68c8", "#fff176", "#f06292", "#4dd0e1", "#a1887f",
           "#90a4ae", "#aed581", "#7986cb", "#ffb74d", "#e57373", "#64b5f6", "#dce775", "#9575cd"]


@pytest.fixture(scope="module")
def browser():
    with sync_api.sync_playwright() as p:
        b = p.chromium.launch(executable_path=CHROMIUM,
                              args=["--no-sandbox", "--use-gl=swiftshader", "--enable-unsafe-swiftshader"])
        yield b
        b.close()


def open_page(browser, path):
    page = browser.new_page(viewport={"width": W, "height": H})
    page.route("**/three.min.js", lambda route: route.fulfill(path=THREE, content_type="application/javascript"))
    page.route("http*://**", lambda route: route.abort())
    errors = []
    page.on("pageerror", lambda e: errors.append(e))
    page.goto("file://" + path)
    page.wait_for_function("document.querySelectorAll('#legend-items .lrow').length > 0")
    page.wait_for_timeout(200)
    page.errors = errors
    return page


def screen_xy(p):
    """Where the starting camera (at z = 2.2, 55 degree field of view) shows a point."""
    t = math.tan(math.radians(55 / 2))
    depth = 2.2 - p["z"]
    return ((p["x"] / (depth * t * W / H) + 1) / 2 * W, (1 - p["y"] / (depth * t)) / 2 * H)


def isolated(points, wanted, gap=20):
    """Indices of front points, among `wanted`, with no other point within `gap` pixels on screen."""
    xy = np.array([screen_xy(p) for p in points])
    out = []
    for i in wanted:
        d = np.hypot(*(xy - xy[i]).T)
        d[i] = np.inf
        x, y = xy[i]
        if d.min() > gap and points[i]["z"] > 0 and 220 < x < W - 20 and 60 < y < H - 90:
            out.append(i)
    return out


def decode_png(data):
    """RGB array of an 8-bit RGB/RGBA, non-interlaced PNG (what screenshots are)."""
    pos, idat = 8, b""
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            w, h, depth, color = struct.unpack(">IIBB", body[:10])
            assert depth == 8 and color in (2, 6)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    bpp = 3 if color == 2 else 4
    raw = np.frombuffer(zlib.decompress(idat), np.uint8).reshape(h, 1 + w * bpp)
    out = np.zeros((h, w * bpp), np.int32)
    for r in range(h):
        f, line = raw[r, 0], raw[r, 1:].astype(np.int32)
        prev = out[r - 1] if r else np.zeros(w * bpp, np.int32)
        if f in (0, 2):
            out[r] = (line + (prev if f == 2 else 0)) % 256
            continue
        row = np.zeros(w * bpp, np.int32)
        for i in range(w * bpp):
            a = row[i - bpp] if i >= bpp else 0
            b = prev[i]
            c = prev[i - bpp] if i >= bpp else 0
            if f == 1:
                pred = a
            elif f == 3:
                pred = (a + b) // 2
            else:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
            row[i] = (line[i] + pred) % 256
        out[r] = row
    return out.reshape(h, w, bpp)[:, :, :3]


def hex_rgb(h):
    return tuple(int(h[i:i + 2], 16) for i in (1, 3, 5))


@pytest.fixture(scope="module")
def scene(tmp_path_factory):
    """40 unit-length points in 4 clusters; labels name their index, some in capitals."""
    rng = np.random.default_rng(7)
    centers = rng.normal(size=(4, 12))
    x = np.array([centers[i % 4] + 0.5 * rng.normal(size=12) for i in range(40)])
    x /= np.linalg.norm(x, axis=1, keepdims=True)
    cats = [f"group {i % 4}" for i in range(40)]
    labels = [f"{'xAbC' if (i // 4) % 2 == 0 else 'item'}-{i}" for i in range(40)]
    path = vantorel.visualize(cats, x.tolist(), str(tmp_path_factory.mktemp("page") / "scene.html"),
                              labels=labels, open_browser=False)
    return path, page_data(path)["points"]


def test_canvas_draws_and_stats(browser, scene):
    path, points = scene
    page = open_page(browser, path)
    pixels = decode_png(page.screenshot(clip={"x": 250, "y": 100, "width": 400, "height": 400}))
    assert (np.abs(pixels - BACKGROUND).sum(axis=2) > 60).sum() > 200
    rows = page.locator("#stats-content .row").all_inner_texts()
    assert [r.split("\n")[0].strip() for r in rows] == ["Points", "Categories", "PCA variance", "r range",
                                                       "\u03b8 range", "\u03c6 range"]
    assert rows[0].split()[-1] == "40" and rows[1].split()[-1] == "4"
    assert not page.errors
    page.close()


def test_pca_variance_shows_one_decimal(browser, scene, tmp_path):
    path, _ = scene
    html = open(path, encoding="utf-8").read()
    start = html.index('"evr":') + 6
    end = html.index(",", start)
    edited = tmp_path / "evr.html"
    edited.write_text(html[:start] + "0.456700" + html[end:], encoding="utf-8")
    page = open_page(browser, str(edited))
    assert page.locator("#stats-content .row").nth(2).inner_text().split() == ["PCA", "variance", "45.7%"]
    page.close()


def test_legend_counts_colours_and_wraparound(browser, tmp_path):
    cats = [f"k{i:02d}" for i in range(17) for _ in range(i % 3 + 1)]
    emb = np.random.default_rng(3).normal(size=(len(cats), 5)).tolist()
    path = vantorel.visualize(cats, emb, str(tmp_path / "legend.html"), open_browser=False)
    page = open_page(browser, path)
    rows = page.locator("#legend-items .lrow")
    assert rows.count() == 17
    for i in range(17):
        row = rows.nth(i)
        assert row.locator(".lbl").inner_text() == f"k{i:02d}"
        assert row.locator(".lcnt").inner_text() == str(i % 3 + 1)
        colour = row.locator(".ldot").evaluate("e => getComputedStyle(e).backgroundColor")
        assert colour == "rgb(%d, %d, %d)" % hex_rgb(PALETTE[i % 16])
    page.close()


def test_hover_click_neighbours_and_hiding(browser, scene):
    path, points = scene
    page = open_page(browser, path)
    target = isolated(points, range(len(points)))[0]
    x, y = screen_xy(points[target])
    page.mouse.move(x, y)
    tooltip = page.locator("#tooltip")
    assert tooltip.is_visible()
    assert tooltip.locator("b").inner_text() == points[target]["label"]
    assert f"Category: {points[target]['cat']}" in tooltip.inner_text()

    def expected_neighbours(hidden=()):
        xyz = np.array([[p["x"], p["y"], p["z"]] for p in points])
        d = np.linalg.norm(xyz - xyz[target], axis=1)
        order = [j for j in np.argsort(d, kind="stable") if j != target and points[j]["cat"] not in hidden]
        return [(points[j]["label"], f"{d[j]:.4f}") for j in order[:5]]

    def listed():
        rows = page.locator("#info-neighbors .nb")
        return [(rows.nth(k).evaluate("e => e.firstChild.textContent"), rows.nth(k).locator(".dist").inner_text())
                for k in range(rows.count())]

    page.mouse.click(x, y)
    assert page.locator("#info").is_visible()
    assert page.locator("#info-label").inner_text() == points[target]["label"]
    assert page.locator("#info-cat").inner_text() == points[target]["cat"]
    assert listed() == expected_neighbours()

    # Hiding the nearest neighbour's category drops it from the neighbours,
    # and its points can no longer be hovered.
    hidden = points[int(np.argsort([math.dist((p["x"], p["y"], p["z"]), (points[target]["x"], points[target]["y"],
                                    points[target]["z"])) if p["cat"] != points[target]["cat"] else 9 for p in points])[0])]
    page.locator("#legend-items .lrow", has_text=hidden["cat"]).click()
    assert "dim" in page.locator("#legend-items .lrow", has_text=hidden["cat"]).get_attribute("class")
    assert not page.locator("#info").is_visible()
    # Hidden points are not drawn, neither before nor while a point is selected:
    # around each one clear of the others only the background shows.
    xy = np.array([screen_xy(p) for p in points])
    shown = xy[[p["cat"] != hidden["cat"] for p in points]]
    clear = [(round(x0) - 2, round(y0) - 2) for p, (x0, y0) in zip(points, xy) if p["cat"] == hidden["cat"]
             and 250 < x0 < 700 and 60 < y0 < H - 90 and np.hypot(*(shown - (x0, y0)).T).min() > 20]

    def hidden_drawn():
        shots = [decode_png(page.screenshot(clip={"x": x0, "y": y0, "width": 5, "height": 5})) for x0, y0 in clear]
        return max(np.abs(shot - BACKGROUND).sum(axis=2).max() for shot in shots)

    assert hidden_drawn() <= 10
    page.mouse.click(x, y)
    assert listed() == expected_neighbours({hidden["cat"]})
    assert hidden_drawn() <= 10
    others = isolated(points, [i for i, p in enumerate(points) if p["cat"] == hidden["cat"]])
    if others:
        page.mouse.move(*screen_xy(points[others[0]]))
        assert not tooltip.is_visible()
    page.mouse.click(5, H // 2)
    assert not page.locator("#info").is_visible()
    assert not page.errors
    page.close()


def test_search_highlights_labels_in_any_case(browser, scene):
    path, points = scene
    page = open_page(browser, path)
    front = isolated(points, range(len(points)), gap=15)
    hit = next(i for i in front if points[i]["label"].startswith("xAbC"))
    miss = next(i for i in front if not points[i]["label"].startswith("xAbC"))

    def brightness(i):
        x, y = (round(v) for v in screen_xy(points[i]))
        return int(decode_png(page.screenshot(clip={"x": x - 1, "y": y - 1, "width": 3, "height": 3})).sum())

    before = brightness(hit), brightness(miss)
    page.fill("#search-input", "abc")
    page.wait_for_timeout(100)
    during = brightness(hit), brightness(miss)
    assert during[0] > 2 * during[1]
    assert during[1] < before[1]
    page.fill("#search-input", "")
    page.wait_for_timeout(100)
    assert abs(brightness(miss) - before[1]) < 0.1 * before[1]
    page.close()


def test_markup_in_labels_is_text(browser, tmp_path):
    evil = "</script><img src=x onerror=\"window.pwned=1\">"
    cats = [evil, "b & <i>c</i>", "plain"] * 4
    labels = [evil] * 12
    emb = np.random.default_rng(5).normal(size=(12, 4))
    emb /= np.linalg.norm(emb, axis=1, keepdims=True)
    path = vantorel.visualize(cats, emb.tolist(), str(tmp_path / "evil.html"), labels=labels,
                              title="</title><script>window.pwned=2</script>", open_browser=False)
    page = open_page(browser, path)
    points = page_data(path)["points"]
    assert page.title() == "</title><script>window.pwned=2</script>"
    assert sorted(page.locator("#legend-items .lbl").all_inner_texts()) == sorted(set(cats))
    target = isolated(points, range(12), gap=8)[0]
    page.mouse.click(*screen_xy(points[target]))
    assert page.locator("#info-label").inner_text() == evil
    assert page.locator("#info-neighbors .nb").first.evaluate("e => e.firstChild.textContent") == evil
    assert page.locator("img").count() == 0
    assert page.evaluate("window.pwned") is None
    assert not page.errors
    page.close()
