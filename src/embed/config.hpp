#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/expected.hpp"
#include "embed/json/json_error.hpp"
#include "embed/json/json_reader.hpp"
#include "embed/json/json_writer.hpp"

namespace vantorel::embed {

// The projection family a pipeline fits.
enum class ProjectionKind { Pca = 0, KernelPca = 1, LaplacianEigenmap = 2 };

// Variant names, indexed by the enumeration's value; both serialised forms use them.
inline constexpr std::array<std::string_view, 3> kProjectionKindNames{"Pca", "KernelPca", "LaplacianEigenmap"};

std::string_view projection_kind_name(ProjectionKind kind);
std::optional<ProjectionKind> projection_kind_from_name(std::string_view name);

void read_json(JsonReader& r, ProjectionKind& kind);
void write_json(JsonWriter& w, ProjectionKind kind);

// Each group lists its fields once in `fields` (name and member, declaration
// order); the JSON reader and writer and the dictionary conversion all walk
// that list, so names and defaults live only here.

// When a category gets an inner sphere.
struct InnerSphereConfig {
    std::uint64_t min_size = 20;
    double min_evr_improvement = 0.1;
    std::uint64_t kernel_pca_min_size = 80;
    double min_kernel_improvement = 0.05;

    static constexpr std::string_view kRecordName = "InnerSphereConfig";
    static constexpr bool kFieldsHaveDefaults = true;
    template <class Self, class F>
    static void fields(Self& self, F&& f) {
        f("min_size", self.min_size);
        f("min_evr_improvement", self.min_evr_improvement);
        f("kernel_pca_min_size", self.kernel_pca_min_size);
        f("min_kernel_improvement", self.min_kernel_improvement);
    }
    friend bool operator==(const InnerSphereConfig&, const InnerSphereConfig&) = default;
};

// How bridges between categories are judged.
struct BridgeConfig {
    double threshold_base = 0.5;
    double threshold_evr_penalty = 0.4;
    double overlap_artifact_territorial = 0.3;

    static constexpr std::string_view kRecordName = "BridgeConfig";
    static constexpr bool kFieldsHaveDefaults = true;
    template <class Self, class F>
    static void fields(Self& self, F&& f) {
        f("threshold_base", self.threshold_base);
        f("threshold_evr_penalty", self.threshold_evr_penalty);
        f("overlap_artifact_territorial", self.overlap_artifact_territorial);
    }
    friend bool operator==(const BridgeConfig&, const BridgeConfig&) = default;
};

// How queries are routed.
struct RoutingConfig {
    std::uint64_t num_domain_groups = 5;
    double low_evr_threshold = 0.35;

    static constexpr std::string_view kRecordName = "RoutingConfig";
    static constexpr bool kFieldsHaveDefaults = true;
    template <class Self, class F>
    static void fields(Self& self, F&& f) {
        f("num_domain_groups", self.num_domain_groups);
        f("low_evr_threshold", self.low_evr_threshold);
    }
    friend bool operator==(const RoutingConfig&, const RoutingConfig&) = default;
};

// Parameters of the Laplacian eigenmap fit.
struct LaplacianConfig {
    std::uint64_t k_neighbors = 15;
    double active_threshold = 0.05;

    static constexpr std::string_view kRecordName = "LaplacianConfig";
    static constexpr bool kFieldsHaveDefaults = true;
    template <class Self, class F>
    static void fields(Self& self, F&& f) {
        f("k_neighbors", self.k_neighbors);
        f("active_threshold", self.active_threshold);
    }
    friend bool operator==(const LaplacianConfig&, const LaplacianConfig&) = default;
};

// Monte-Carlo sample counts of the spatial statistics.
struct SpatialConfig {
    std::uint64_t coverage_samples = 100000;
    std::uint64_t exclusivity_samples = 30000;
    std::uint64_t voronoi_samples = 100000;

    static constexpr std::string_view kRecordName = "SpatialConfig";
    static constexpr bool kFieldsHaveDefaults = true;
    template <class Self, class F>
    static void fields(Self& self, F&& f) {
        f("coverage_samples", self.coverage_samples);
        f("exclusivity_samples", self.exclusivity_samples);
        f("voronoi_samples", self.voronoi_samples);
    }
    friend bool operator==(const SpatialConfig&, const SpatialConfig&) = default;
};

// Every setting that shapes a pipeline build. No invariants are enforced:
// the code that reads a field decides what its edge values mean.
struct PipelineConfig {
    ProjectionKind projection_kind = ProjectionKind::Pca;
    InnerSphereConfig inner_sphere;
    BridgeConfig bridges;
    RoutingConfig routing;
    LaplacianConfig laplacian;
    SpatialConfig spatial;

    static constexpr std::string_view kRecordName = "PipelineConfig";
    static constexpr bool kFieldsHaveDefaults = true;
    template <class Self, class F>
    static void fields(Self& self, F&& f) {
        f("projection_kind", self.projection_kind);
        f("inner_sphere", self.inner_sphere);
        f("bridges", self.bridges);
        f("routing", self.routing);
        f("laplacian", self.laplacian);
        f("spatial", self.spatial);
    }

    // Compact JSON, fields in declaration order; a non-finite real becomes null.
    [[nodiscard]] std::string to_json() const;
    // An object or positional array at every level; absent fields take their defaults.
    static core::Expected<PipelineConfig, JsonError> from_json(std::string_view text);

    friend bool operator==(const PipelineConfig&, const PipelineConfig&) = default;
};

}  // namespace vantorel::embed
