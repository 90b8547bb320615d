#pragma once

// The four projection methods shared by every projection class.
#include <vector>

#include "core/format.hpp"
#include "embed/projection/batch_projection.hpp"
#include "python/embedding_input.hpp"
#include "python/points/points.hpp"
#include "python/runtime/gil.hpp"

namespace vantorel::python {

// Per-class facts the shared methods need: the Python class name and whether
// inputs must match the fitted dimension.
template <class P>
struct ProjectionBinding;

namespace projection_detail {

inline constexpr Param kEmbedding[] = {{"embedding"}};
inline constexpr Param kEmbeddings[] = {{"embeddings"}};

template <class P>
inline constexpr Params kProject{ProjectionBinding<P>::name, "project", kEmbedding};
template <class P>
inline constexpr Params kProjectRich{ProjectionBinding<P>::name, "project_rich", kEmbedding};
template <class P>
inline constexpr Params kProjectBatch{ProjectionBinding<P>::name, "project_batch", kEmbeddings};
template <class P>
inline constexpr Params kProjectRichBatch{ProjectionBinding<P>::name, "project_rich_batch", kEmbeddings};

// Wrong lengths are caller input, refused before the engine sees them.
template <class P>
void check_length(const P& projection, std::size_t length) {
    if constexpr (ProjectionBinding<P>::fixed_dimension) {
        if (length != projection.dimension()) {
            raise_value_error(core::format("expected dimension {}, got {}", projection.dimension(), length));
        }
    }
}

using EmbeddingArgs = Args<kEmbedding>;
using EmbeddingsArgs = Args<kEmbeddings>;

template <class P>
Ref project(const P& projection, const EmbeddingArgs& a) {
    const std::vector<double> e = extract_embedding(a.object<"embedding">());
    check_length(projection, e.size());
    return spherical_point_class().make(projection.project(e));
}

template <class P>
Ref project_rich(const P& projection, const EmbeddingArgs& a) {
    const std::vector<double> e = extract_embedding(a.object<"embedding">());
    check_length(projection, e.size());
    return projected_point_class().make(projection.project_rich(e));
}

// Converts the rows, checks their lengths, projects them all with the
// interpreter lock released and returns one new point object per row.
template <class P, class Batch, class C>
Ref project_rows(const P& projection, const EmbeddingsArgs& a, const Batch& batch, C& point_class) {
    const embed::Corpus rows = extract_embeddings_2d(a.object<"embeddings">());
    for (std::size_t i = 0; i < rows.size(); ++i) check_length(projection, rows[i].size());
    const auto points = without_gil([&] { return batch(projection, rows); });
    Ref list = new_list(points.size());
    for (std::size_t i = 0; i < points.size(); ++i) set_item(list, i, point_class.make(points[i]));
    return list;
}

template <class P>
Ref project_batch(const P& projection, const EmbeddingsArgs& a) {
    return project_rows(projection, a, embed::project_batch<P>, spherical_point_class());
}

template <class P>
Ref project_rich_batch(const P& projection, const EmbeddingsArgs& a) {
    return project_rows(projection, a, embed::project_rich_batch<P>, projected_point_class());
}

inline Ref dimensionality_of(std::size_t dim) { return to_py(static_cast<std::uint64_t>(dim)); }

}  // namespace projection_detail

// Adds project, project_rich, project_batch and project_rich_batch.
template <class P>
Class<P>& with_projection_methods(Class<P>& cls) {
    using namespace projection_detail;
    return cls.template method<project<P>, kProject<P>>()
        .template method<project_rich<P>, kProjectRich<P>>()
        .template method<project_batch<P>, kProjectBatch<P>>()
        .template method<project_rich_batch<P>, kProjectRichBatch<P>>();
}

// The `radial` argument: "magnitude" or a fixed radius; omitted or None is "magnitude".
template <class A>
embed::RadialStrategy radial_or_magnitude(const A& a) {
    const std::optional<PyObject*> radial = a.template optional<"radial">();
    return radial ? parse_radial(*radial) : embed::RadialStrategy::magnitude();
}

// A fit's engine error becomes ValueError with its text.
template <class T, class E>
T fitted_or_raise(core::Expected<T, E> fitted) {
    if (!fitted) raise_value_error(fitted.error().message());
    return std::move(fitted).value();
}

}  // namespace vantorel::python
