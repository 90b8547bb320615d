"""Point classes and geometry functions against independent NumPy computations."""
import math

import numpy as np
import pytest

import vantorel as vt
from conftest import shortest

PI = 3.141592653589793
TWO_PI = 6.283185307179586


def random_spherical(rng, n):
    return [vt.SphericalPoint(r, t, p) for r, t, p in zip(
        rng.uniform(0, 3, n), rng.uniform(0, TWO_PI, n), rng.uniform(0, PI, n))]


def unit(p):
    return np.array([math.sin(p.phi) * math.cos(p.theta), math.sin(p.phi) * math.sin(p.theta), math.cos(p.phi)])


class TestValidation:
    @pytest.mark.parametrize("args,message", [
        ((-1, 0, 0), "invalid radius -1: must be >= 0"),
        ((-1, 7, 4), "invalid radius -1: must be >= 0"),
        ((1, TWO_PI, 0), "invalid theta 6.283185307179586: must be in [0, 2π)"),
        ((1, float("nan"), 0), "invalid theta NaN: must be in [0, 2π)"),
        ((1, -0.5, 0), "invalid theta -0.5: must be in [0, 2π)"),
        ((1, 0, PI + 1e-15), "invalid phi 3.141592653589794: must be in [0, π]"),
        ((1, 0, float("-inf")), "invalid phi -inf: must be in [0, π]"),
    ])
    def test_spherical_rejections(self, args, message):
        with pytest.raises(ValueError) as info:
            vt.SphericalPoint(*args)
        assert str(info.value) == message

    @pytest.mark.parametrize("args,message", [
        ((91, 0, 0), "invalid latitude 91: must be in [-90, 90]"),
        ((-90.5, 0, 0), "invalid latitude -90.5: must be in [-90, 90]"),
        ((0, 180.25, 0), "invalid longitude 180.25: must be in [-180, 180]"),
        ((0, float("nan"), 0), "invalid longitude NaN: must be in [-180, 180]"),
        ((0, 0, -0.5), "invalid altitude -0.5: must be >= 0"),
    ])
    def test_geo_rejections(self, args, message):
        with pytest.raises(ValueError) as info:
            vt.GeoPoint(*args)
        assert str(info.value) == message

    def test_accepted_edges(self):
        assert math.isnan(vt.SphericalPoint(float("nan"), 0, 0).r)
        assert vt.SphericalPoint(1, 0, PI).phi == PI
        assert vt.SphericalPoint(True, 0, 0).r == 1.0
        assert vt.GeoPoint(90, -180, 0).lon == -180
        assert math.isnan(vt.GeoPoint(0, 0, float("nan")).alt)


class TestRepr:
    def test_templates(self):
        assert repr(vt.SphericalPoint(1.0, 0.5, 2.0)) == "SphericalPoint(r=1, theta=0.5, phi=2)"
        assert repr(vt.GeoPoint(0, 0, 0)) == "GeoPoint(lat=0, lon=0, alt=0)"
        assert str(vt.CartesianPoint(-0.0, float("inf"), float("nan"))) == "CartesianPoint(x=-0, y=inf, z=NaN)"

    def test_shortest_form_matches_numpy(self, rng):
        values = np.concatenate([rng.normal(0, 1, 200), rng.normal(0, 1, 50) * 1e-9, rng.normal(0, 1, 50) * 1e17,
                                 [1e300, 5e-324, 0.1, 1 / 3, 123456789.0, -2.5e-7]])
        for x, y, z in values.reshape(-1, 3):
            c = vt.CartesianPoint(x, y, z)
            assert repr(c) == f"CartesianPoint(x={shortest(x)}, y={shortest(y)}, z={shortest(z)})"


class TestConversions:
    def test_round_trips_against_numpy(self, rng):
        for p in random_spherical(rng, 300):
            c = p.to_cartesian()
            expected = p.r * unit(p)
            assert np.allclose([c.x, c.y, c.z], expected, atol=1e-12)
            back = c.to_spherical()
            assert back.r == pytest.approx(p.r) and back.theta == pytest.approx(p.theta, abs=1e-9)
            g = vt.spherical_to_geo(p)
            assert g.lat == pytest.approx(90 - math.degrees(p.phi))
            lon = math.degrees(p.theta)
            assert g.lon == pytest.approx(lon - 360 if lon > 180 else lon)
            assert g.alt == max(p.r - 1, 0)
            s = vt.geo_to_spherical(g)
            assert s.theta == pytest.approx(p.theta, abs=1e-9) and s.phi == pytest.approx(p.phi, abs=1e-9)

    def test_methods_equal_functions(self, rng):
        for p in random_spherical(rng, 20):
            assert p.to_cartesian() == vt.spherical_to_cartesian(p)
            assert p.to_geo() == vt.spherical_to_geo(p)
            g = p.to_geo()
            assert g.to_spherical() == vt.geo_to_spherical(g)
            c = p.to_cartesian()
            assert c.to_spherical() == vt.cartesian_to_spherical(c)
            assert g.to_cartesian() == vt.spherical_to_cartesian(vt.geo_to_spherical(g))

    def test_edges(self):
        s = vt.geo_to_spherical(vt.GeoPoint(0, -90, 0))
        assert s.theta == pytest.approx(3 * PI / 2) and s.r == 1
        assert vt.spherical_to_geo(s).lon == pytest.approx(-90)
        assert vt.spherical_to_geo(vt.SphericalPoint(1, PI, 1)).lon == 180
        g = vt.spherical_to_geo(vt.SphericalPoint(0.5, 0, 0))
        assert (g.alt, g.lat) == (0, 90)
        assert vt.geo_to_spherical(vt.GeoPoint(0, -180, 0)).theta == pytest.approx(PI)
        assert vt.CartesianPoint(0, 0, 0).normalize() == vt.CartesianPoint(0, 0, 0)
        assert vt.CartesianPoint(1e-17, 0, 0).normalize() == vt.CartesianPoint(0, 0, 0)
        assert vt.CartesianPoint(3, 0, 4).magnitude() == 5.0
        assert vt.cartesian_to_spherical(vt.CartesianPoint(0, 0, -2)) == vt.SphericalPoint(2, 0, PI)


class TestDistances:
    def test_against_numpy(self, rng):
        pts = random_spherical(rng, 200)
        for a, b in zip(pts[::2], pts[1::2]):
            u, v = unit(a), unit(b)
            # haversine as an independent formula for the angle
            dlat = (PI / 2 - b.phi) - (PI / 2 - a.phi)
            h = math.sin(dlat / 2) ** 2 + math.sin(a.phi) * math.sin(b.phi) * math.sin((b.theta - a.theta) / 2) ** 2
            angle = 2 * math.asin(math.sqrt(min(h, 1.0)))
            assert vt.angular_distance(a, b) == pytest.approx(angle, abs=1e-9)
            assert vt.great_circle_distance(a, b, 2.5) == pytest.approx(2.5 * angle, abs=1e-9)
            assert vt.chord_distance(a, b) == pytest.approx(np.linalg.norm(a.r * u - b.r * v), abs=1e-12)

    def test_radii_ignored_by_angles_but_not_chords(self):
        a, b = vt.SphericalPoint(1, 0.3, 1.0), vt.SphericalPoint(3, 0.3, 1.0)
        assert vt.angular_distance(a, b) == 0
        assert vt.chord_distance(a, b) == pytest.approx(2.0)
        east, west = vt.SphericalPoint(1, 0, PI / 2), vt.SphericalPoint(1, PI, PI / 2)
        assert vt.chord_distance(east, west) == 2.0
        assert vt.angular_distance(vt.SphericalPoint(1, 0, 0), vt.SphericalPoint(1, 0, PI)) == PI
        assert vt.great_circle_distance(east, west, -1) == -vt.angular_distance(east, west)


class TestEquality:
    def test_value_equality_and_unhashable(self):
        p = vt.SphericalPoint(1, 0, 0)
        assert p == vt.SphericalPoint(1, 0, 0)
        assert vt.CartesianPoint(0.0, 0, 0) == vt.CartesianPoint(-0.0, 0, 0)
        assert (p == vt.CartesianPoint(1, 0, 0)) is False
        assert (p != vt.CartesianPoint(1, 0, 0)) is True
        assert (p != "x") is True
        n = vt.SphericalPoint(float("nan"), 0, 0)
        assert not (n == n) and n != n
        with pytest.raises(TypeError):
            p < vt.SphericalPoint(2, 0, 0)
        with pytest.raises(TypeError):
            hash(p)
        assert vt.SphericalPoint.__hash__ is None
