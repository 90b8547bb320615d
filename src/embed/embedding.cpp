#include "embed/embedding.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/invariant.hpp"
#include "core/norm.hpp"
#include "core/numeric.hpp"

namespace vantorel::embed {

double magnitude(std::span<const double> v) noexcept { return core::l2_norm(v); }

double dot(std::span<const double> a, std::span<const double> b) {
    core::check_equal(a.size(), b.size(), "dot product operands must have equal lengths");
    double sum = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i) sum += a[i] * b[i];
    return sum;
}

void normalize_into(std::span<const double> in, std::span<double> out) {
    core::check_equal(in.size(), out.size(), "normalised copy must have the input's length");
    if (in.empty()) return;
    const core::Norm norm = core::norm_of(in);
    if (norm.value() < core::kEps) {
        out[0] = 1.0;
        for (std::size_t i = 1; i < out.size(); ++i) out[i] = 0.0;
        return;
    }
    for (std::size_t i = 0; i < in.size(); ++i) out[i] = norm.unit(in[i]);
}

double Embedding::magnitude() const noexcept { return embed::magnitude(values); }

Embedding Embedding::normalized() const {
    Embedding out{std::vector<double>(values.size())};
    normalize_into(values, out.values);
    return out;
}

Corpus Corpus::uniform(std::vector<double> values, std::size_t rows, std::size_t cols) {
    // Saturating, so a product that wraps cannot pass for a small block.
    core::check_equal(values.size(), core::saturating_mul(rows, cols), "corpus block must hold rows * cols values");
    Corpus c = shaped(rows, cols);
    std::copy(values.begin(), values.end(), c.values_.begin());
    return c;
}

Corpus Corpus::shaped(std::size_t rows, std::size_t cols) {
    Corpus c;
    c.values_.resize(core::saturating_mul(rows, cols));
    c.offsets_.resize(rows + 1);
    for (std::size_t i = 0; i <= rows; ++i) c.offsets_[i] = i * cols;
    return c;
}

Corpus Corpus::from_rows(const std::vector<std::vector<double>>& rows) {
    Corpus c;
    std::size_t total = 0;
    for (const auto& r : rows) total += r.size();
    c.values_.reserve(total);
    c.offsets_.reserve(rows.size() + 1);
    for (const auto& r : rows) c.push_row(r);
    return c;
}

Corpus Corpus::from_embeddings(const std::vector<Embedding>& rows) {
    Corpus c;
    std::size_t total = 0;
    for (const auto& r : rows) total += r.size();
    c.values_.reserve(total);
    c.offsets_.reserve(rows.size() + 1);
    for (const auto& r : rows) c.push_row(r.values);
    return c;
}

void Corpus::push_row(std::span<const double> row) {
    values_.insert(values_.end(), row.begin(), row.end());
    offsets_.push_back(values_.size());
}

std::span<const double> Corpus::row(std::size_t i) const {
    core::check_index(i, size());
    return (*this)[i];
}

std::size_t Corpus::first_ragged_row() const noexcept {
    if (empty()) return 0;
    const std::size_t dim = offsets_[1] - offsets_[0];
    for (std::size_t i = 1; i < size(); ++i) {
        if (offsets_[i + 1] - offsets_[i] != dim) return i;
    }
    return size();
}

}  // namespace vantorel::embed
