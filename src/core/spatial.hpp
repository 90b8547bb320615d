#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "core/types.hpp"

// Regions of the unit sphere described by points and caps (a centre direction
// and an angular half-angle). Only directions matter; radii are ignored.
// Areas are in steradians. The sampled estimates use fixed seeds and are
// reproducible to the bit, whatever the number of threads.
namespace vantorel::core::spatial {

// Which side of the bisector of a and b a point lies on.
inline constexpr std::uint8_t kNearerA = 0;
inline constexpr std::uint8_t kNearerB = 1;
inline constexpr std::uint8_t kOnBisector = 2;

struct CoverageEstimate {
    double coverage_fraction = 0.0;  // share of samples inside at least one cap
    double covered_area = 0.0;       // 4π · covered / N
    double overlap_area = 0.0;       // 4π · (inside at least two caps) / N
    std::size_t void_samples = 0;    // N − covered
    std::size_t total_samples = 0;   // N
};

struct CapOverlap {
    std::size_t i = 0;  // i < j
    std::size_t j = 0;
    double area = 0.0;
};

struct VoronoiCell {
    std::vector<std::size_t> neighbors;  // ascending, never the cell's own index
    std::size_t generator_index = 0;
    double area = 0.0;
};

// kNearerA, kNearerB, or kOnBisector within 1e-12 rad; NaN gives kNearerB.
std::uint8_t lune_classify(const SphericalPoint& a, const SphericalPoint& b, const SphericalPoint& p) noexcept;

// Share of the sampled points inside cap `cap_index` that no other cap contains;
// 1.0 when no sample falls inside. Needs cap_index < centres.size() and a
// half-angle for every centre.
double cap_exclusivity(std::size_t cap_index, std::span<const SphericalPoint> centres,
                       std::span<const double> half_angles, std::size_t samples);

// Density of the points inside the cap relative to a uniform spread (1.0);
// 0.0 for no points, a non-positive half-angle or a vanishing cap.
double region_coherence(const SphericalPoint& centre, std::span<const SphericalPoint> points,
                        double half_angle) noexcept;

// Area of the spherical triangle abc (L'Huilier).
double spherical_excess(const SphericalPoint& a, const SphericalPoint& b, const SphericalPoint& c) noexcept;

// Sampled coverage of the sphere by the caps; equal lengths required.
CoverageEstimate estimate_coverage(std::span<const SphericalPoint> centres, std::span<const double> half_angles,
                                   std::size_t samples);

// Exact area of the intersection of caps (c1, r1) and (c2, r2).
double cap_intersection_area(const SphericalPoint& c1, const SphericalPoint& c2, double r1, double r2) noexcept;

// Every pair i < j whose caps share more than 1e-15 sr, by area descending
// (ties keep pair order); equal lengths required.
std::vector<CapOverlap> pairwise_overlaps(std::span<const SphericalPoint> centres,
                                          std::span<const double> half_angles);

// One sampled cell per generator, in generator order; two generators are
// neighbours when some sample is nearly as close to one as to the other.
std::vector<VoronoiCell> spherical_voronoi(std::span<const SphericalPoint> generators, std::size_t samples);

// Excess of every triangle (j, k, vertex) with j < k both other than the
// vertex, ascending in IEEE total order; empty for fewer than 3 points or a
// vertex out of range.
std::vector<double> curvature_signature(std::size_t vertex, std::span<const SphericalPoint> points);

}  // namespace vantorel::core::spatial
