#pragma once

// A synthetic labelled corpus shaped like sentence embeddings, shared by the
// C++ benchmark programs.
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "embed/embedding.hpp"

namespace vantorel::bench {

struct LabelledRows {
    std::vector<std::string> labels;
    embed::Corpus rows;
};

// Category centres with a decaying spectrum plus a shared offset and noise.
inline LabelledRows make_corpus(std::size_t n, std::size_t dim, std::size_t categories) {
    std::mt19937_64 gen(7);
    std::normal_distribution<double> normal(0.0, 1.0);
    std::vector<double> shared(dim);
    for (double& v : shared) v = 0.5 * normal(gen);
    std::vector<std::vector<double>> centres(categories, std::vector<double>(dim));
    for (auto& c : centres) {
        for (std::size_t d = 0; d < dim; ++d) c[d] = 4.0 * normal(gen) / std::sqrt(static_cast<double>(d + 1));
    }
    LabelledRows out;
    std::vector<double> values(n * dim);
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t c = gen() % categories;
        out.labels.push_back("topic-" + std::to_string(c));
        for (std::size_t d = 0; d < dim; ++d) values[i * dim + d] = shared[d] + centres[c][d] + 0.05 * normal(gen);
    }
    out.rows = embed::Corpus::uniform(std::move(values), n, dim);
    return out;
}

}  // namespace vantorel::bench
