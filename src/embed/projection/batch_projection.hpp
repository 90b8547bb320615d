#pragma once

// Projecting the rows of a corpus at once.
#include <cstddef>
#include <vector>

#include "core/parallel.hpp"
#include "core/types.hpp"
#include "embed/embedding.hpp"
#include "embed/projection/projection.hpp"

namespace vantorel::embed {

namespace batch_detail {

// Rows per parallel task: enough work to outweigh starting the task.
inline constexpr std::size_t kRowsPerTask = 256;

template <class Point, class One>
std::vector<Point> map_rows(const Corpus& rows, const One& one) {
    std::vector<Point> out(rows.size());
    core::for_each_block(rows.size(), kRowsPerTask, [&](std::size_t, std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) out[i] = one(rows[i]);
    });
    return out;
}

}  // namespace batch_detail

// `project` of every row, in row order. Rows are projected in parallel, each
// on its own, so the points are those of one call per row.
template <Projection P>
std::vector<core::SphericalPoint> project_batch(const P& projection, const Corpus& rows) {
    return batch_detail::map_rows<core::SphericalPoint>(
        rows, [&projection](std::span<const double> row) { return projection.project(row); });
}

// `project_rich` of every row, in row order, likewise.
template <Projection P>
std::vector<ProjectedPoint> project_rich_batch(const P& projection, const Corpus& rows) {
    return batch_detail::map_rows<ProjectedPoint>(
        rows, [&projection](std::span<const double> row) { return projection.project_rich(row); });
}

}  // namespace vantorel::embed
