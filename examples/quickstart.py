"""A short tour of vantorel's sphere geometry."""
import math

import vantorel as vt

a = vt.SphericalPoint(1.0, 0.0, math.pi / 2)          # on the equator, towards +x
b = vt.SphericalPoint(1.0, math.pi / 2, math.pi / 2)  # on the equator, towards +y
print("a =", a)
print("b =", b)
print("a in Cartesian form:", a.to_cartesian())
print("b in geographic form:", b.to_geo())
print(f"angular distance a-b: {vt.angular_distance(a, b):.6f} rad")
print(f"great-circle distance on a sphere of radius 6371: {vt.great_circle_distance(a, b, 6371.0):.1f}")
print(f"chord distance a-b: {vt.chord_distance(a, b):.6f}")

paris = vt.GeoPoint(48.8566, 2.3522, 0.0)
tokyo = vt.GeoPoint(35.6762, 139.6503, 0.0)
d = vt.great_circle_distance(vt.geo_to_spherical(paris), vt.geo_to_spherical(tokyo), 6371.0)
print(f"Paris to Tokyo along the Earth's surface: {d:.0f} km")

try:
    vt.SphericalPoint(1.0, 7.0, 0.0)
except ValueError as err:
    print("rejected:", err)
