#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <type_traits>
#include <utility>
#include <vector>

namespace vantorel::embed {

// One embedding vector. Any length is allowed; nothing checks finiteness.
struct Embedding {
    std::vector<double> values;

    static Embedding from(std::span<const double> v) { return {{v.begin(), v.end()}}; }

    [[nodiscard]] std::size_t size() const noexcept { return values.size(); }
    [[nodiscard]] double magnitude() const noexcept;
    [[nodiscard]] Embedding normalized() const;
};

// L2 norm, squares summed in index order from -0.0 (so an empty vector gives
// -0.0); rescaled only when that sum overflows (core::norm_of).
double magnitude(std::span<const double> v) noexcept;

// Unit-length copy of `in` written to `out` (same length, else a broken
// invariant). A norm below machine epsilon gives the first basis vector; a NaN
// norm gives NaNs.
void normalize_into(std::span<const double> in, std::span<double> out);

// Products summed in index order from 0.0; unequal lengths are a broken invariant.
double dot(std::span<const double> a, std::span<const double> b);

// Leaves elements uninitialised when a vector grows without a value: corpus
// blocks are overwritten right after they are sized, so zeroing them first
// would only add a pass over memory.
template <class T>
struct UninitializedAllocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = UninitializedAllocator<U>;
    };
    UninitializedAllocator() noexcept = default;
    template <class U>
    UninitializedAllocator(const UninitializedAllocator<U>&) noexcept {}

    template <class U>
    void construct(U* p) noexcept(std::is_nothrow_default_constructible_v<U>) {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

// A corpus of embeddings in one contiguous row-major block. Rows normally share
// one length; offsets keep ragged input representable for the fits that accept it.
class Corpus {
public:
    Corpus() = default;
    // `rows` rows of `cols` values each, taken from `values` (rows * cols long).
    static Corpus uniform(std::vector<double> values, std::size_t rows, std::size_t cols);
    static Corpus from_rows(const std::vector<std::vector<double>>& rows);
    static Corpus from_embeddings(const std::vector<Embedding>& rows);
    // `rows` rows of `cols` values each, to be filled through `mutable_values`.
    static Corpus shaped(std::size_t rows, std::size_t cols);

    // Appends one row; used by builders that stream rows in.
    void push_row(std::span<const double> row);
    // Room for `rows` more rows before they stream in.
    void reserve_rows(std::size_t rows) { offsets_.reserve(offsets_.size() + rows); }

    [[nodiscard]] std::size_t size() const noexcept { return offsets_.size() - 1; }
    [[nodiscard]] bool empty() const noexcept { return size() == 0; }
    [[nodiscard]] std::span<const double> operator[](std::size_t i) const noexcept {
        return {values_.data() + offsets_[i], offsets_[i + 1] - offsets_[i]};
    }
    [[nodiscard]] std::span<const double> row(std::size_t i) const;
    // Index of the first row whose length differs from row 0's, or size() if none.
    [[nodiscard]] std::size_t first_ragged_row() const noexcept;
    [[nodiscard]] std::span<const double> values() const noexcept { return values_; }
    [[nodiscard]] std::span<double> mutable_values() noexcept { return values_; }

private:
    std::vector<double, UninitializedAllocator<double>> values_;
    std::vector<std::size_t> offsets_{0};
};

}  // namespace vantorel::embed
