#include "embed/pipeline/corpus_json.hpp"

#include <optional>

#include "core/format.hpp"
#include "embed/json/json_tolerant.hpp"

namespace vantorel::embed {
namespace {

// A member as its last occurrence gave it; faults wait until the whole text
// has proved well formed.
struct CategoriesMember {
    bool is_array = false;
    std::vector<std::string> values;
    std::optional<std::size_t> first_non_string;
};

struct EmbeddingsMember {
    bool is_array = false;
    Corpus rows;
    std::optional<std::string> first_fault;
};

CategoriesMember read_categories(JsonReader& r) {
    CategoriesMember m;
    m.is_array = for_each_element(r, [&](std::size_t i) {
        auto text = string_or_none(r);
        if (text) {
            m.values.push_back(std::move(*text));
        } else if (!m.first_non_string) {
            m.first_non_string = i;
        }
    });
    return m;
}

EmbeddingsMember read_embeddings(JsonReader& r) {
    EmbeddingsMember m;
    std::vector<double> row;
    m.is_array = for_each_element(r, [&](std::size_t i) {
        row.clear();
        const bool is_row = for_each_element(r, [&](std::size_t j) {
            const auto v = number_or_none(r);
            if (v) {
                row.push_back(*v);
            } else if (!m.first_fault) {
                m.first_fault = core::format("embedding[{}][{}] must be a number", i, j);
            }
        });
        if (!is_row && !m.first_fault) m.first_fault = core::format("embedding at index {} must be an array", i);
        // Past a fault the rows are never used.
        if (!m.first_fault) m.rows.push_row(row);
    });
    return m;
}

}  // namespace

core::Expected<CorpusJson, std::string> read_corpus_json(std::string_view text) {
    JsonReader r(text);
    CategoriesMember categories;
    EmbeddingsMember embeddings;
    for_each_member(r, [&](std::string_view key) {
        if (key == "categories") {
            categories = read_categories(r);
        } else if (key == "embeddings") {
            embeddings = read_embeddings(r);
        } else {
            discard_value(r);
        }
    });
    r.finish();
    if (!r.ok()) return core::Unexpected{r.error().message()};
    if (!categories.is_array) return core::Unexpected{std::string("missing 'categories' array")};
    if (categories.first_non_string) {
        return core::Unexpected{core::format("category at index {} must be a string", *categories.first_non_string)};
    }
    if (!embeddings.is_array) return core::Unexpected{std::string("missing 'embeddings' array")};
    if (embeddings.first_fault) return core::Unexpected{std::move(*embeddings.first_fault)};
    return CorpusJson{std::move(categories.values), std::move(embeddings.rows)};
}

}  // namespace vantorel::embed
