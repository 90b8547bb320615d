"""The four projection classes against independent NumPy computations."""
import inspect
import math

import numpy as np
import pytest

import vantorel as vt

MASK = (1 << 64) - 1
GAMMA = 0x9E3779B97F4A7C15


def splitmix(s):
    z = s & MASK
    z = ((z ^ (z >> 30)) * 0xBF58476D1CE4E5B9) & MASK
    z = ((z ^ (z >> 27)) * 0x94D049BB133111EB) & MASK
    return z ^ (z >> 31)


def gaussian_vector(state, n):
    out = []
    for _ in range(n):
        u1 = (splitmix(state + GAMMA) >> 11) * 2.0 ** -53
        u2 = (splitmix(state + 2 * GAMMA) >> 11) * 2.0 ** -53
        state = (state + 2 * GAMMA) & MASK
        u1 = max(u1, 2.2250738585072014e-308)
        out.append(math.sqrt(-2.0 * math.log(u1)) * math.cos(6.283185307179586 * u2))
    return out, state


def clustered(rng, n, dim, scales=(6.0, 3.0, 1.5), noise=0.3):
    """Rows around a few centres in a subspace with a decaying spectrum."""
    basis = np.linalg.qr(rng.normal(size=(dim, len(scales))))[0]
    coords = rng.normal(size=(n, len(scales))) * np.array(scales)
    return coords @ basis.T + rng.normal(scale=noise, size=(n, dim)) + 3.0 * rng.normal(size=dim)


def xyz(points):
    return np.array([[p.r * math.sin(p.phi) * math.cos(p.theta), p.r * math.sin(p.phi) * math.sin(p.theta),
                      p.r * math.cos(p.phi)] for p in points])


def assert_columns_match_up_to_sign(actual, expected, atol):
    for k in range(expected.shape[1]):
        sign = 1.0 if np.dot(actual[:, k], expected[:, k]) >= 0 else -1.0
        np.testing.assert_allclose(sign * actual[:, k], expected[:, k], atol=atol)


class TestPca:
    def test_against_eigh(self, rng):
        rows = clustered(rng, 300, 12)
        normed = rows / np.linalg.norm(rows, axis=1, keepdims=True)
        centred = normed - normed.mean(axis=0)
        values, vectors = np.linalg.eigh(centred.T @ centred / len(rows))
        top = vectors[:, ::-1][:, :3]
        p = vt.PcaProjection.fit(rows, volumetric=True)
        assert p.explained_variance_ratio == pytest.approx(values[::-1][:3].sum() / values.sum(), rel=1e-6)
        assert_columns_match_up_to_sign(xyz(p.project_batch(rows)), centred @ top, atol=1e-5)

    def test_radius_rules(self, rng):
        rows = clustered(rng, 40, 6)
        radial = vt.PcaProjection.fit(rows)
        assert [q.r for q in radial.project_batch(rows)] == pytest.approx(np.linalg.norm(rows, axis=1).tolist())
        fixed = vt.PcaProjection.fit(rows, radial=2.5)
        assert {q.r for q in fixed.project_batch(rows)} == {2.5}
        vol_a = vt.PcaProjection.fit(rows, volumetric=True, radial=7.0).project_batch(rows)
        vol_b = vt.PcaProjection.fit(rows, volumetric=True).project_batch(rows)
        assert vol_a == vol_b
        rich = radial.project_rich(rows[0])
        assert rich.intensity == pytest.approx(np.linalg.norm(rows[0]))
        assert 0.0 <= rich.certainty <= 1.0
        assert rich.position == radial.project(rows[0])

    def test_fit_errors_and_repr(self):
        assert str(vt.PcaProjection.fit(np.eye(10, 5))).startswith("PcaProjection(dim=5, explained_variance=")
        with pytest.raises(ValueError, match="^need at least one embedding to fit a projection$"):
            vt.PcaProjection.fit([])
        with pytest.raises(ValueError, match="^embedding dimension 2 is below the minimum 3 for this projection$"):
            vt.PcaProjection.fit([[1.0, 2.0], [3.0, 4.0, 5.0]])
        with pytest.raises(ValueError, match="^embedding 2 has dimension 4, expected 5$"):
            vt.PcaProjection.fit([[1.0] * 5, [2.0] * 5, [3.0] * 4])
        with pytest.raises(TypeError):
            vt.PcaProjection()
        with pytest.raises(TypeError, match="volumetric"):
            vt.PcaProjection.fit("not read", volumetric=1)


class TestRandomProjection:
    def test_bits_match_an_independent_generator(self, rng):
        dim = 7
        state = 42
        directions = []
        for _ in range(3):
            d, state = gaussian_vector(state, dim)
            directions.append(d)
        proj = vt.RandomProjection(dim)
        for v in rng.normal(size=(25, dim)):
            norm = math.sqrt(sum(x * x for x in v))
            unit = [x / norm for x in v]
            x, y, z = (sum(u * d for u, d in zip(unit, direction)) for direction in directions)
            m = math.sqrt(x * x + y * y + z * z)
            ux, uy, uz = x / m, y / m, z / m
            theta = math.fmod(math.atan2(uy, ux), 6.283185307179586)
            theta = theta + 6.283185307179586 if theta < 0 else theta
            r = math.sqrt(ux * ux + uy * uy + uz * uz)
            phi = math.acos(max(-1.0, min(1.0, uz / r)))
            assert proj.project(v) == vt.SphericalPoint(norm, theta, phi)

    def test_seed_and_rich_defaults(self):
        v = [0.3, -1.0, 2.0, 0.5, 0.25]
        assert vt.RandomProjection(5).project(v) == vt.RandomProjection(5, seed=42).project(v)
        assert vt.RandomProjection(5, seed=7).project(v) != vt.RandomProjection(5).project(v)
        rich = vt.RandomProjection(5).project_rich(v)
        assert (rich.certainty, rich.projection_magnitude) == (1.0, 1.0)
        assert rich.intensity == math.sqrt(sum(x * x for x in v))
        assert repr(vt.RandomProjection(5)) == "RandomProjection(dim=5)"

    def test_argument_checks(self):
        with pytest.raises(ValueError, match="^embedding dimension must be >= 3$"):
            vt.RandomProjection(2)
        with pytest.raises(ValueError, match="unknown radial strategy"):
            vt.RandomProjection(2, radial="other")
        with pytest.raises(OverflowError):
            vt.RandomProjection(-1)
        with pytest.raises(TypeError, match="^argument 'seed': "):
            vt.RandomProjection(5, seed=None)
        with pytest.raises(TypeError, match="^argument 'dim': "):
            vt.RandomProjection(5.0)


class TestKernelPca:
    def test_against_double_centred_kernel(self, rng):
        rows = clustered(rng, 60, 8, scales=(8.0, 3.0, 1.0))
        sigma = 0.8
        p = vt.KernelPcaProjection.fit(rows, sigma=sigma, volumetric=True)
        assert p.sigma == sigma and p.num_training_points == 60 and p.dimensionality == 8
        t = rows / np.linalg.norm(rows, axis=1, keepdims=True)
        d2 = ((t[:, None, :] - t[None, :, :]) ** 2).sum(axis=2)
        k = np.exp(-d2 / (2 * sigma ** 2))
        n = len(k)
        one = np.full((n, n), 1.0 / n)
        kc = k - one @ k - k @ one + one @ k @ one
        values, vectors = np.linalg.eigh(kc)
        values, vectors = values[::-1][:3], vectors[:, ::-1][:, :3]
        assert p.explained_variance_ratio == pytest.approx(values.sum() / np.trace(kc), rel=1e-6)
        # power iteration stops once a step turns the vector by less than ~1.4e-5 rad
        assert_columns_match_up_to_sign(xyz(p.project_batch(rows)), vectors * np.sqrt(values), atol=2e-4)

    def test_automatic_bandwidth_is_the_upper_median_over_sqrt2(self, rng):
        rows = rng.normal(size=(20, 5))
        t = rows / np.linalg.norm(rows, axis=1, keepdims=True)
        dists = sorted(np.linalg.norm(t[i] - t[j]) for i in range(20) for j in range(i + 1, 20))
        assert vt.KernelPcaProjection.fit(rows).sigma == pytest.approx(dists[len(dists) // 2] * 0.7071067811865476)

    def test_errors(self):
        with pytest.raises(ValueError, match="^kernel bandwidth σ must be positive, got 0$"):
            vt.KernelPcaProjection.fit([], sigma=0)
        with pytest.raises(ValueError, match="^kernel bandwidth σ must be positive, got -1$"):
            vt.KernelPcaProjection.fit([[1.0, 2.0, 3.0]], sigma=-1)
        with pytest.raises(ValueError, match="^kernel bandwidth σ must be positive, got NaN$"):
            vt.KernelPcaProjection.fit([[1.0, 2.0, 3.0]], sigma=float("nan"))
        with pytest.raises(ValueError, match="^expected dimension 3, got 2$"):
            vt.KernelPcaProjection.fit([[1.0, 2.0, 3.0]] * 4).project([1.0, 2.0])


class TestLaplacian:
    @staticmethod
    def normalised_adjacency(rows, k, threshold):
        sets = [frozenset(np.flatnonzero(np.abs(r) > threshold)) for r in rows]
        n = len(rows)
        sim = np.zeros((n, n))
        for i in range(n):
            for j in range(i + 1, n):
                union = len(sets[i] | sets[j])
                sim[i, j] = sim[j, i] = len(sets[i] & sets[j]) / union if union else 0.0
        w = np.zeros((n, n))
        for i in range(n):
            # k most similar, ties broken towards the higher index (tie-free data here)
            order = sorted((j for j in range(n) if j != i and sim[i, j] > 0), key=lambda j: (sim[i, j], j))
            for j in order[-k:]:
                w[i, j] = w[j, i] = sim[i, j]
        d = np.maximum(w.sum(axis=1), 1e-6)
        return w / np.sqrt(np.outer(d, d)), d

    def test_against_eigh_of_the_same_adjacency(self, rng):
        n, dim, k, threshold = 40, 30, 5, 0.6
        groups = rng.integers(0, 3, size=n)
        rows = rng.normal(scale=0.4, size=(n, dim))
        for g in range(3):
            rows[groups == g, g * 10:(g + 1) * 10] += 1.5
        p = vt.LaplacianEigenmap.fit(rows, k_neighbors=k, active_threshold=threshold)
        m, d = self.normalised_adjacency(rows, k, threshold)
        trivial = np.sqrt(d) / np.sqrt(d.sum())
        deflated = m - np.outer(trivial, trivial) * (trivial @ m @ trivial)
        values = np.linalg.eigvalsh(deflated)
        largest = sorted(values, key=abs)[-3:]
        assert sorted(p.eigenvalues, reverse=True) == pytest.approx(sorted(largest, reverse=True), abs=1e-6)
        assert p.connectivity_ratio == p.explained_variance_ratio == pytest.approx(np.mean(np.abs(p.eigenvalues)))
        assert len(p.eigenvalues) == 3 and list(p.eigenvalues) == sorted(p.eigenvalues, reverse=True)
        assert p.project([0.0, 1.0]) is not None  # any length is accepted

    def test_defaults_and_errors(self, rng):
        rows = rng.normal(size=(12, 6))
        assert repr(vt.LaplacianEigenmap.fit(rows)) == repr(
            vt.LaplacianEigenmap.fit(rows, k_neighbors=15, active_threshold=0.05))
        with pytest.raises(ValueError, match="^need at least 4 embeddings, got 3$"):
            vt.LaplacianEigenmap.fit(rows[:3])
        with pytest.raises(ValueError, match="^embedding dimension 0 is below the minimum 1 for this projection$"):
            vt.LaplacianEigenmap.fit([[], [1.0], [1.0], [1.0]])
        with pytest.raises(OverflowError):
            vt.LaplacianEigenmap.fit(rows, k_neighbors=-1)


class TestShared:
    CLASSES = [vt.PcaProjection, vt.RandomProjection, vt.KernelPcaProjection, vt.LaplacianEigenmap]

    @pytest.fixture
    def fitted(self, rng):
        rows = clustered(rng, 30, 6)
        return rows, [vt.PcaProjection.fit(rows), vt.RandomProjection(6), vt.KernelPcaProjection.fit(rows),
                      vt.LaplacianEigenmap.fit(rows)]

    def test_batches_equal_single_calls_and_float32_matches(self, fitted):
        rows, projections = fitted
        for p in projections:
            assert p.project_batch(rows) == [p.project(r) for r in rows]
            rich = p.project_rich_batch(rows)
            assert [q.position for q in rich] == [p.project_rich(r).position for r in rows]
            exact32 = rows.astype(np.float32)
            assert p.project_batch(exact32) == p.project_batch(exact32.astype(np.float64))

    @pytest.mark.parametrize("factor", [1e160, 1e300])
    def test_scaling_by_a_huge_factor_keeps_every_direction(self, rng, factor):
        rows = clustered(rng, 30, 6)
        rows[np.abs(rows) <= 0.05] = 0.0  # the Laplacian's active sets stay as they are
        big = rows * factor
        pairs = [(vt.PcaProjection.fit(rows), vt.PcaProjection.fit(big)), (vt.RandomProjection(6),) * 2,
                 (vt.KernelPcaProjection.fit(rows), vt.KernelPcaProjection.fit(big)),
                 (vt.LaplacianEigenmap.fit(rows), vt.LaplacianEigenmap.fit(big))]
        for small_fit, big_fit in pairs:
            plain, scaled = small_fit.project_rich_batch(rows), big_fit.project_rich_batch(big)
            for a, b in zip(plain, scaled):
                assert (b.position.theta, b.position.phi) == pytest.approx((a.position.theta, a.position.phi), abs=1e-9)
                assert (b.position.r, b.intensity) == pytest.approx((a.position.r * factor, a.intensity * factor), rel=1e-12)
                assert (b.certainty, b.projection_magnitude) == pytest.approx((a.certainty, a.projection_magnitude), abs=1e-9)
            if hasattr(small_fit, "explained_variance_ratio"):
                assert big_fit.explained_variance_ratio == pytest.approx(small_fit.explained_variance_ratio, abs=1e-12)

    def test_signatures(self):
        assert str(inspect.signature(vt.PcaProjection.fit)) == "(embeddings, *, radial=None, volumetric=False)"
        assert str(inspect.signature(vt.KernelPcaProjection.fit)) == \
            "(embeddings, *, sigma=None, radial=None, volumetric=False)"
        assert str(inspect.signature(vt.LaplacianEigenmap.fit)) == \
            "(embeddings, *, radial=None, k_neighbors=None, active_threshold=None)"
        assert str(inspect.signature(vt.RandomProjection)) == "(dim, *, radial=None, seed=42)"
        for cls in self.CLASSES:
            for name, sig in [("project", "(self, /, embedding)"), ("project_rich", "(self, /, embedding)"),
                              ("project_batch", "(self, /, embeddings)"), ("project_rich_batch", "(self, /, embeddings)")]:
                assert str(inspect.signature(getattr(cls, name))) == sig
        doc = vt.LaplacianEigenmap.fit.__doc__.split("\n")
        assert len(doc) == 12 and doc[0] == "Fit a Laplacian-eigenmap projection to a corpus." and doc[1] == ""
        assert doc[8] == "  category boundaries. Typical range 10–30; defaults to 15."
        assert vt.LaplacianEigenmap.eigenvalues.__doc__ == \
            "The three retained non-trivial eigenvalues, in descending order."

    def test_no_constructor_for_fitted_classes(self):
        for cls in (vt.PcaProjection, vt.KernelPcaProjection, vt.LaplacianEigenmap):
            with pytest.raises(TypeError):
                cls()
