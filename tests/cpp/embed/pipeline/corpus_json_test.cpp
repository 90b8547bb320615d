#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "embed/pipeline/corpus_json.hpp"

namespace vantorel::embed {
namespace {

std::string error_of(std::string_view text) {
    const auto r = read_corpus_json(text);
    return r ? "ok" : r.error();
}

TEST(CorpusJson, ReadsInOnePassWithTheLastMemberCounting) {
    const auto corpus = read_corpus_json(
                            R"({"embeddings":[[9]],"categories":5,"note":{"a":[1,"\u00e9"]},)"
                            R"("categories":["a","b"],"embeddings":[[1,2.5],[-0,3]]})")
                            .value();
    EXPECT_EQ(corpus.categories, (std::vector<std::string>{"a", "b"}));
    ASSERT_EQ(corpus.embeddings.size(), 2u);
    EXPECT_EQ(corpus.embeddings[0][1], 2.5);
    EXPECT_EQ(corpus.embeddings[1][0], 0.0);
    EXPECT_FALSE(std::signbit(corpus.embeddings[1][0]));
}

TEST(CorpusJson, FaultsInTheirOrderAfterTheWholeTextIsChecked) {
    struct Case {
        std::string_view text;
        std::string_view message;
    };
    const std::vector<Case> cases{
        {R"({"categories":[1],"x":1e400})", "number out of range at line 1 column 27"},
        {R"({"x":"\uDC00","categories":[],"embeddings":[]})", "lone leading surrogate in hex escape at line 1 column 12"},
        {R"({"embeddings":[[1]],"categories":[]})", "ok"},
        {R"({"embeddings":[3],"categories":["a",2,3]})", "category at index 1 must be a string"},
        {R"({"categories":["a"],"categories":null,"embeddings":[]})", "missing 'categories' array"},
        {R"({"categories":[]})", "missing 'embeddings' array"},
        {R"({"categories":[],"embeddings":[[1,"x"],7]})", "embedding[0][1] must be a number"},
        {R"({"categories":[],"embeddings":[[1],7,[null]]})", "embedding at index 1 must be an array"},
    };
    for (const auto& c : cases) EXPECT_EQ(error_of(c.text), c.message) << c.text;
}

}  // namespace
}  // namespace vantorel::embed
