#pragma once

#include <cstddef>
#include <vector>

#include "embed/embedding.hpp"
#include "embed/projection/projection.hpp"
#include "python/runtime/ref.hpp"

namespace vantorel::python {

// One vector from any sequence of numbers (not a str), values as they are: the
// store's records and queries. A 1-D float64/float32 NumPy array is read
// straight from its buffer, strided or misaligned ones included.
std::vector<double> read_vector(PyObject* obj);

// The same, with every value required finite.
std::vector<double> read_finite_vector(PyObject* obj);

// One embedding from a contiguous 1-D float64/float32 NumPy array or any
// sequence of numbers (not a str), every value finite; other arrays of those
// types raise TypeError.
std::vector<double> extract_embedding(PyObject* obj);

// A corpus from a 2-D float64/float32 NumPy array or a sequence of number
// sequences (rows may differ in length); every value must be finite.
embed::Corpus extract_embeddings_2d(PyObject* obj);

// Rows from a sequence of number sequences, read item by item (no array fast
// path); values are not judged.
embed::Corpus extract_nested_rows(PyObject* obj);

// ValueError at the first NaN or infinity, named by row and column.
void reject_non_finite_rows(const embed::Corpus& corpus);

// ValueError "embedding {} has dimension {}, expected {}" for the first row
// whose length differs from the first row's.
void reject_ragged_rows(const embed::Corpus& corpus);

// "magnitude" or a finite float (a fixed radius).
embed::RadialStrategy parse_radial(PyObject* obj);

// Raises "query dimension mismatch: expected {}, got {}" when the lengths differ.
void check_query_dim(std::size_t expected, std::size_t got);

}  // namespace vantorel::python
