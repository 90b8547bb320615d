#include "embed/search/globs.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "core/format.hpp"
#include "core/interrupt.hpp"
#include "core/invariant.hpp"
#include "core/norm.hpp"
#include "core/numeric.hpp"
#include "core/parallel.hpp"

namespace vantorel::embed {
namespace {

using core::CartesianPoint;

constexpr int kMaxRounds = 50;
// Points per task of an assignment pass, rows per task of the silhouette. Each
// point's result is computed whole by one task, and per-task partial sums are
// joined in task order, so these sizes never change a result.
constexpr std::size_t kPointBlock = 512;
constexpr std::size_t kRowBlock = 64;
// Per-cluster angle sums one silhouette pass keeps per row, summed over the
// clusterings it scores at once.
constexpr std::size_t kCountersPerPass = 512;

// p and q scaled each by its power of two: the cosine stays, the sums cannot overflow.
double rescaled_angle(const CartesianPoint& p, const CartesianPoint& q) noexcept {
    const double pv[3] = {p.x, p.y, p.z};
    const double qv[3] = {q.x, q.y, q.z};
    const double fp = core::rescale_factor(pv);
    const double fq = core::rescale_factor(qv);
    const CartesianPoint a{p.x * fp, p.y * fp, p.z * fp};
    const CartesianPoint b{q.x * fq, q.y * fq, q.z * fq};
    return std::acos(core::clamp_keep_nan(a.dot(b) / (a.magnitude() * b.magnitude()), -1.0, 1.0));
}

// acos((p·q) / (|p|·|q|)) clamped to [-1, 1], from the points themselves and
// not from unit copies, whose rounding can break a tie; 0 when |p|·|q| is
// below epsilon.
double angle_of(const CartesianPoint& p, double p_norm, const CartesianPoint& q, double q_norm) noexcept {
    const double lengths = p_norm * q_norm;
    if (lengths < core::kEps) return 0.0;
    const double dot = p.dot(q);
    if (std::isinf(lengths) || std::isinf(dot)) return rescaled_angle(p, q);
    return std::acos(core::clamp_keep_nan(dot / lengths, -1.0, 1.0));
}

// The points with their lengths, for the angles, and their unit forms, for
// the centroids.
class Directions {
public:
    explicit Directions(std::span<const CartesianPoint> points) {
        points_.reserve(points.size());
        units_.reserve(points.size());
        norms_.reserve(points.size());
        for (const CartesianPoint& p : points) {
            points_.push_back(p);
            units_.push_back(p.normalize());
            norms_.push_back(p.magnitude());
        }
    }

    [[nodiscard]] std::size_t size() const noexcept { return points_.size(); }
    [[nodiscard]] const CartesianPoint& point(std::size_t i) const { return points_[i]; }
    [[nodiscard]] const CartesianPoint& unit(std::size_t i) const { return units_[i]; }
    [[nodiscard]] double norm(std::size_t i) const { return norms_[i]; }
    [[nodiscard]] double angle(std::size_t i, std::size_t j) const noexcept {
        return angle_of(points_[i], norms_[i], points_[j], norms_[j]);
    }
    [[nodiscard]] double angle_to(std::size_t i, const CartesianPoint& q, double q_norm) const noexcept {
        return angle_of(points_[i], norms_[i], q, q_norm);
    }

private:
    std::vector<CartesianPoint> points_;
    std::vector<CartesianPoint> units_;
    std::vector<double> norms_;
};

struct Clustering {
    std::vector<std::size_t> assignment;
    std::size_t k = 0;
};

// A seed point as it is, later a unit vector; with its length.
struct Centroid {
    CartesianPoint point;
    double norm = 0.0;
};

// ⌊i·n/k⌋ without overflow, for i < k.
std::size_t seed_index(std::size_t i, std::size_t n, std::size_t k) noexcept {
    __extension__ using Wide = unsigned __int128;
    return static_cast<std::size_t>(static_cast<Wide>(i) * n / k);
}

// The nearest centroid by angle; ties go to the lowest index, NaN never wins.
std::size_t nearest_centroid(const Directions& d, std::size_t i, std::span<const Centroid> centroids) noexcept {
    std::size_t best = 0;
    double best_angle = std::numeric_limits<double>::infinity();
    for (std::size_t c = 0; c < centroids.size(); ++c) {
        const double a = d.angle_to(i, centroids[c].point, centroids[c].norm);
        if (a < best_angle) {
            best_angle = a;
            best = c;
        }
    }
    return best;
}

// One assignment pass; true when any point moved.
bool assign(const Directions& d, std::span<const Centroid> centroids, std::vector<std::size_t>& assignment) {
    std::vector<char> moved((d.size() + kPointBlock - 1) / kPointBlock, 0);
    core::for_each_block(d.size(), kPointBlock, [&](std::size_t b, std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) {
            const std::size_t c = nearest_centroid(d, i, centroids);
            if (assignment[i] != c) {
                assignment[i] = c;
                moved[b] = 1;
            }
        }
    });
    return std::find(moved.begin(), moved.end(), 1) != moved.end();
}

// Each centroid becomes the normalised sum of its members' unit forms; an
// empty cluster, or one whose members cancel, keeps its previous centroid.
void recompute(const Directions& d, std::span<const std::size_t> assignment, std::vector<Centroid>& centroids) {
    std::vector<CartesianPoint> sums(centroids.size());
    std::vector<std::size_t> counts(centroids.size(), 0);
    for (std::size_t i = 0; i < assignment.size(); ++i) {
        CartesianPoint& s = core::at_checked(sums, assignment[i]);
        s.x += d.unit(i).x;
        s.y += d.unit(i).y;
        s.z += d.unit(i).z;
        ++counts[assignment[i]];
    }
    for (std::size_t c = 0; c < centroids.size(); ++c) {
        if (counts[c] == 0 || sums[c].magnitude() < core::kEps) continue;
        const CartesianPoint unit = sums[c].normalize();
        centroids[c] = {unit, unit.magnitude()};
    }
}

Clustering cluster(const Directions& d, std::size_t k) {
    const std::size_t n = d.size();
    std::vector<Centroid> centroids;
    centroids.reserve(k);
    for (std::size_t i = 0; i < k; ++i) {
        const std::size_t seed = seed_index(i, n, k);
        centroids.push_back({d.point(seed), d.norm(seed)});
    }
    Clustering run{std::vector<std::size_t>(n, 0), k};
    for (int round = 0; round < kMaxRounds; ++round) {
        core::check_interrupt();
        if (!assign(d, centroids, run.assignment)) break;
        recompute(d, run.assignment, centroids);
    }
    return run;
}

// The layout of one row's per-cluster angle sums for several clusterings.
struct RowLayout {
    std::vector<std::size_t> base;                    // first counter of each clustering
    std::vector<std::vector<std::size_t>> sizes;      // members per cluster
    std::size_t counters = 0;
};

RowLayout row_layout(std::span<const Clustering> runs) {
    RowLayout layout;
    for (const Clustering& run : runs) {
        layout.base.push_back(layout.counters);
        layout.counters += run.k;
        std::vector<std::size_t> sizes(run.k, 0);
        for (const std::size_t c : run.assignment) ++core::at_checked(sizes, c);
        layout.sizes.push_back(std::move(sizes));
    }
    return layout;
}

// s(i) from the angle sums of point i to each cluster (itself excluded).
double silhouette(std::span<const double> sums, std::span<const std::size_t> sizes, std::size_t own) noexcept {
    const double a = sizes[own] > 1 ? sums[own] / static_cast<double>(sizes[own] - 1) : 0.0;
    bool found = false;
    double b = 0.0;
    for (std::size_t c = 0; c < sizes.size(); ++c) {
        if (c == own || sizes[c] == 0) continue;
        const double mean = sums[c] / static_cast<double>(sizes[c]);
        b = found ? std::fmin(b, mean) : mean;
        found = true;
    }
    const double m = std::fmax(a, b);
    return m > 0.0 ? (b - a) / m : 0.0;
}

// The mean silhouette by angle of each clustering (each with k >= 2). Every
// pair angle is computed once and feeds all of them.
std::vector<double> mean_silhouettes(const Directions& d, std::span<const Clustering> runs) {
    const std::size_t n = d.size();
    const std::size_t r_count = runs.size();
    const RowLayout layout = row_layout(runs);
    const std::size_t blocks = (n + kRowBlock - 1) / kRowBlock;
    std::vector<double> partial(blocks * r_count, 0.0);

    core::for_each_block(n, kRowBlock, [&](std::size_t b, std::size_t begin, std::size_t end) {
        std::vector<double> sums(layout.counters);
        const auto add = [&](std::size_t i, std::size_t j) {
            const double a = d.angle(i, j);
            for (std::size_t r = 0; r < r_count; ++r) sums[layout.base[r] + runs[r].assignment[j]] += a;
        };
        for (std::size_t i = begin; i < end; ++i) {
            std::fill(sums.begin(), sums.end(), 0.0);
            for (std::size_t j = 0; j < i; ++j) add(i, j);
            for (std::size_t j = i + 1; j < n; ++j) add(i, j);
            for (std::size_t r = 0; r < r_count; ++r) {
                const auto row = std::span<const double>(sums).subspan(layout.base[r], runs[r].k);
                partial[b * r_count + r] += silhouette(row, layout.sizes[r], runs[r].assignment[i]);
            }
        }
    });

    std::vector<double> scores(r_count, 0.0);
    for (std::size_t b = 0; b < blocks; ++b) {
        for (std::size_t r = 0; r < r_count; ++r) scores[r] += partial[b * r_count + r];
    }
    for (double& s : scores) s /= static_cast<double>(n);
    return scores;
}

std::vector<ConceptGlob> globs_of(const Directions& d, std::span<const std::string> ids,
                                  std::span<const std::size_t> assignment, std::size_t k) {
    core::check_equal(ids.size(), d.size(), "every point needs an id");
    core::check_equal(assignment.size(), d.size(), "every point needs a cluster");
    // (cluster, point) for the clusters below k; the stable sort keeps points ascending.
    std::vector<std::pair<std::size_t, std::size_t>> members;
    members.reserve(assignment.size());
    for (std::size_t i = 0; i < assignment.size(); ++i) {
        if (assignment[i] < k) members.emplace_back(assignment[i], i);
    }
    std::stable_sort(members.begin(), members.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });

    std::vector<ConceptGlob> globs;
    for (auto first = members.begin(); first != members.end();) {
        const auto last = std::find_if(first, members.end(), [c = first->first](const auto& m) { return m.first != c; });
        CartesianPoint sum;
        for (auto m = first; m != last; ++m) {
            sum.x += d.unit(m->second).x;
            sum.y += d.unit(m->second).y;
            sum.z += d.unit(m->second).z;
        }
        const CartesianPoint centroid = sum.normalize();
        const double centroid_norm = centroid.magnitude();
        ConceptGlob glob{first->first, {}, centroid, 0.0};
        for (auto m = first; m != last; ++m) {
            glob.radius = std::fmax(glob.radius, d.angle_to(m->second, centroid, centroid_norm));
            glob.member_ids.push_back(ids[m->second]);
        }
        globs.push_back(std::move(glob));
        first = last;
    }
    return globs;
}

Clustering best_by_silhouette(const Directions& d, std::size_t kmax) {
    // Before any run: k 2 with every point in cluster 0, which stands when kmax < 2.
    Clustering best{std::vector<std::size_t>(d.size(), 0), 2};
    double best_score = -std::numeric_limits<double>::infinity();
    for (std::size_t kk = 2; kk <= kmax;) {
        std::vector<Clustering> runs;
        std::size_t counters = 0;
        while (kk <= kmax && (runs.empty() || counters + kk <= kCountersPerPass)) {
            runs.push_back(cluster(d, kk));
            counters += kk;
            ++kk;
        }
        const std::vector<double> scores = mean_silhouettes(d, runs);
        for (std::size_t r = 0; r < runs.size(); ++r) {
            // Strictly greater: the first of equal scores wins and NaN never does.
            if (scores[r] > best_score) {
                best_score = scores[r];
                best = std::move(runs[r]);
            }
        }
    }
    return best;
}

}  // namespace

std::string GlobError::message() const { return "max_k must be >= 2 when k is given"; }

core::Expected<GlobResult, GlobError> GlobResult::detect(std::span<const CartesianPoint> points,
                                                         std::span<const std::string> ids,
                                                         std::optional<std::size_t> k, std::size_t max_k) {
    core::check_equal(ids.size(), points.size(), "every point needs an id");
    if (points.size() < 2) core::stop("need at least 2 points for clustering");
    const std::size_t kmax = std::min(points.size(), max_k);
    const Directions d(points);
    if (k) {
        if (max_k < 2) return core::Unexpected{GlobError{GlobError::Kind::MaxKTooSmall, max_k}};
        // The score of a given k is never read, so only the clustering runs.
        const std::size_t chosen = std::clamp<std::size_t>(*k, 2, kmax);
        const Clustering run = cluster(d, chosen);
        return GlobResult{globs_of(d, ids, run.assignment, chosen)};
    }
    const Clustering best = best_by_silhouette(d, kmax);
    return GlobResult{globs_of(d, ids, best.assignment, best.k)};
}

KMeansResult kmeans_3d(std::span<const CartesianPoint> points, std::size_t k) {
    if (k == 0 || k > points.size()) {
        core::stop(core::format("cluster count {} must be between 1 and the point count {}", k, points.size()));
    }
    const Directions d(points);
    Clustering run = cluster(d, k);
    const double score = k < 2 ? 0.0 : mean_silhouettes(d, std::span<const Clustering>(&run, 1)).front();
    return {std::move(run.assignment), score};
}

std::vector<ConceptGlob> build_globs(std::span<const CartesianPoint> points, std::span<const std::string> ids,
                                     std::span<const std::size_t> assignment, std::size_t k) {
    return globs_of(Directions(points), ids, assignment, k);
}

}  // namespace vantorel::embed
