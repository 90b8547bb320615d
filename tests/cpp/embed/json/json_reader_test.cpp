#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "core/invariant.hpp"
#include "embed/config.hpp"
#include "embed/json/json_reader.hpp"
#include "embed/json/json_value.hpp"
#include "embed/json/json_writer.hpp"
#include "embed/projection/projection.hpp"

namespace vantorel::embed {
namespace {

std::string parse_error(std::string_view text) {
    const auto r = parse_value(text);
    return r ? "ok: " + r->dump() : r.error().message();
}

TEST(JsonSyntax, MessagesAndPositions) {
    struct Case {
        std::string_view text;
        std::string_view message;
    };
    // Column = bytes consumed on the line; a fault found by looking at a
    // character counts that character.
    const std::vector<Case> cases{
        {"", "EOF while parsing a value at line 1 column 0"},
        {"  \n ", "EOF while parsing a value at line 2 column 1"},
        {"{} x", "trailing characters at line 1 column 4"},
        {"{\"a\":1}\n  x", "trailing characters at line 2 column 3"},
        {"[1,]", "trailing comma at line 1 column 4"},
        {"{\"a\":1,}", "trailing comma at line 1 column 8"},
        {"[1", "EOF while parsing a list at line 1 column 2"},
        {"{", "EOF while parsing an object at line 1 column 1"},
        {"{\"a\"", "EOF while parsing an object at line 1 column 4"},
        {"{\"a\":1,", "EOF while parsing a value at line 1 column 7"},
        {"{\"a\" 1}", "expected `:` at line 1 column 6"},
        {"{\"a\":}", "expected value at line 1 column 6"},
        {"[,1]", "expected value at line 1 column 2"},
        {"{1:2}", "key must be a string at line 1 column 2"},
        {"{\"a\":1 \"b\":2}", "expected `,` or `}` at line 1 column 8"},
        {"[1 2", "expected `,` or `]` at line 1 column 4"},
        {"nul", "EOF while parsing a value at line 1 column 3"},
        {"nulx", "expected ident at line 1 column 4"},
        {"01", "invalid number at line 1 column 2"},
        {"1.", "EOF while parsing a value at line 1 column 2"},
        {"1.x", "invalid number at line 1 column 3"},
        {"1e", "EOF while parsing a value at line 1 column 2"},
        {"1ex", "invalid number at line 1 column 3"},
        {"-x", "invalid number at line 1 column 2"},
        {"1e400", "number out of range at line 1 column 5"},
        {"[-1e400]", "number out of range at line 1 column 7"},
        {"\"abc", "EOF while parsing a string at line 1 column 4"},
        {"\"a\\qb\"", "invalid escape at line 1 column 4"},
        {"\"\\u12\"", "EOF while parsing a string at line 1 column 6"},
        {"\"\\u12x4\"", "invalid escape at line 1 column 6"},
        {"\"a\tb\"", "control character (\\u0000-\\u001F) found while parsing a string at line 1 column 3"},
        {"\"\\uDC00\"", "lone leading surrogate in hex escape at line 1 column 7"},
        {"\"\\uD800\"", "unexpected end of hex escape at line 1 column 8"},
        {"\"\\uD800\\u0041\"", "lone leading surrogate in hex escape at line 1 column 13"},
        {"\"\xC3(\"", "invalid unicode code point at line 1 column 4"},
        // Columns count bytes: the two-byte letter moves the fault by two.
        {"\"\xC3\xA9\" x", "trailing characters at line 1 column 6"},
    };
    for (const auto& c : cases) EXPECT_EQ(parse_error(c.text), c.message) << "input: " << c.text;
}

TEST(JsonValue, TreeShapeNumbersAndStrings) {
    const auto v = parse_value(R"( {"b":1,"a":[true,null,"x"],"b":2,"c":{}} )").value();
    EXPECT_EQ(v.dump(), R"({"b":2,"a":[true,null,"x"],"c":{}})");

    const auto numbers = parse_value(
                             "[0,18446744073709551615,18446744073709551616,-9223372036854775808,"
                             "-9223372036854775809,-0,1e-400,2.5]")
                             .value();
    EXPECT_TRUE(numbers[0].is_number_unsigned());
    EXPECT_EQ(numbers[1].get<std::uint64_t>(), std::numeric_limits<std::uint64_t>::max());
    EXPECT_TRUE(numbers[2].is_number_float());
    EXPECT_EQ(numbers[2].get<double>(), 18446744073709551616.0);
    EXPECT_TRUE(numbers[3].is_number_integer() && !numbers[3].is_number_unsigned());
    EXPECT_EQ(numbers[3].get<std::int64_t>(), std::numeric_limits<std::int64_t>::min());
    EXPECT_TRUE(numbers[4].is_number_float());
    // "-0" is an integer as written: 0, not the double -0.0.
    EXPECT_TRUE(numbers[5].is_number_unsigned());
    EXPECT_EQ(numbers[5].get<std::uint64_t>(), 0u);
    EXPECT_EQ(numbers[6].get<double>(), 0.0);
    EXPECT_EQ(numbers[7].get<double>(), 2.5);

    const auto text = parse_value(R"("\"\\\/\b\f\n\r\t\u00e9\uD83D\uDE00\u0000")").value();
    EXPECT_EQ(text.get<std::string>(), std::string("\"\\/\b\f\n\r\t\xC3\xA9\xF0\x9F\x98\x80\0", 15));
}

TEST(JsonValue, LongObjectsKeepOrderAndRepeatsTakeTheLastValue) {
    constexpr std::size_t kKeys = 200000;
    std::string text = "{";
    for (std::size_t i = 0; i < kKeys; ++i) text += "\"k" + std::to_string(i) + "\":" + std::to_string(i) + ",";
    text += R"("k7":"late","k150000":null})";
    const auto v = parse_value(text).value();
    ASSERT_EQ(v.size(), kKeys);
    std::size_t i = 0;
    bool in_order = true;
    for (const auto& [key, value] : v.items()) in_order = in_order && key == "k" + std::to_string(i++);
    EXPECT_TRUE(in_order);
    EXPECT_EQ(v.at("k7"), "late");
    EXPECT_TRUE(v.at("k150000").is_null());
    EXPECT_EQ(v.at("k199999"), kKeys - 1);

    // Records refuse a repeated field however many unknown keys come first;
    // the error stands right after the repeated key.
    const std::string record = text.substr(0, text.size() - 27) + R"("projection_kind":"Pca","projection_kind":"Pca"})";
    const auto config = PipelineConfig::from_json(record);
    ASSERT_FALSE(config.has_value());
    EXPECT_EQ(config.error().message(),
              "duplicate field `projection_kind` at line 1 column " + std::to_string(record.size() - 7));
}

TEST(JsonValue, DecimalsAreCorrectlyRounded) {
    const std::vector<std::pair<std::string_view, double>> cases{
        {"0.1", 0.1},
        {"0.30000000000000004", 0.1 + 0.2},
        {"9007199254740993.0", 9007199254740992.0},  // halfway: ties to even
        {"2.2250738585072011e-308", 2.2250738585072011e-308},
        {"4.9e-324", std::numeric_limits<double>::denorm_min()},
        {"1.7976931348623157e308", std::numeric_limits<double>::max()},
        {"0.1000000000000000055511151231257827021181583404541015625", 0.1},
        {"123456789012345678901234567890", 123456789012345678901234567890.0},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(parse_value(text).value().get<double>(), expected) << text;
    }
}

TEST(JsonValue, NestingLimitAndIterativeSkip) {
    const auto nested = [](std::size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); };
    EXPECT_TRUE(parse_value(nested(127)).has_value());
    EXPECT_EQ(parse_error(nested(128)), "recursion limit exceeded at line 1 column 128");

    // A skipped value may nest far deeper than the limit without recursing.
    const std::string text = "{\"x\":" + nested(200000) + ",\"y\":7}";
    JsonReader r(text);
    ASSERT_TRUE(r.begin_object("a map"));
    EXPECT_EQ(r.next_key().value(), "x");
    r.skip_value();
    EXPECT_EQ(r.next_key().value(), "y");
    EXPECT_EQ(r.read_u64(), 7u);
    EXPECT_FALSE(r.next_key().has_value());
    r.end_object();
    r.finish();
    EXPECT_TRUE(r.ok());
}

TEST(JsonReader, TypedReadsDescribeWhatTheyFound) {
    const auto first_error = [](std::string_view text, auto read) {
        JsonReader r(text);
        read(r);
        return r.ok() ? std::string("ok") : r.error().message();
    };
    const auto as_u64 = [](JsonReader& r) { r.read_u64(); };
    const auto as_string = [](JsonReader& r) { r.read_string(); };
    EXPECT_EQ(first_error("-3", as_u64), "invalid value: integer `-3`, expected u64 at line 1 column 2");
    EXPECT_EQ(first_error("1.5e300", as_u64), "invalid type: floating point `1.5e300`, expected u64 at line 1 column 7");
    EXPECT_EQ(first_error(" true", as_u64), "invalid type: boolean `true`, expected u64 at line 1 column 5");
    EXPECT_EQ(first_error("[1]", as_u64), "invalid type: sequence, expected u64 at line 1 column 0");
    EXPECT_EQ(first_error(" {}", as_string), "invalid type: map, expected a string at line 1 column 1");
    EXPECT_EQ(first_error("\"a\\nb\"", [](JsonReader& r) { r.read_bool(); }),
              "invalid type: string \"a\\nb\", expected a boolean at line 1 column 6");
    EXPECT_EQ(first_error("0", [](JsonReader& r) { r.read_null(); }),
              "invalid type: integer `0`, expected unit at line 1 column 1");
    EXPECT_EQ(first_error("x", as_string), "expected value at line 1 column 1");

    JsonReader r(R"([12, -4, 2.5, "s", false, null])");
    EXPECT_EQ(r.peek(), JsonKind::Array);
    ASSERT_TRUE(r.begin_array("a sequence"));
    ASSERT_TRUE(r.next_element());
    EXPECT_EQ(r.read_f64(), 12.0);
    ASSERT_TRUE(r.next_element());
    EXPECT_EQ(std::get<std::int64_t>(r.read_number()), -4);
    ASSERT_TRUE(r.next_element());
    EXPECT_EQ(r.peek(), JsonKind::Number);
    EXPECT_EQ(r.read_f64(), 2.5);
    ASSERT_TRUE(r.next_element());
    EXPECT_EQ(r.read_string(), "s");
    ASSERT_TRUE(r.next_element());
    EXPECT_FALSE(r.read_bool());
    ASSERT_TRUE(r.next_element());
    EXPECT_EQ(r.peek(), JsonKind::Null);
    r.read_null();
    EXPECT_FALSE(r.next_element());
    r.end_array();
    r.finish();
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(r.peek(), JsonKind::End);
}

TEST(JsonReader, AfterTheFirstErrorEverythingStops) {
    JsonReader r(R"({"a": x, "b": 1})");
    ASSERT_TRUE(r.begin_object("a map"));
    EXPECT_EQ(r.next_key().value(), "a");
    EXPECT_EQ(r.read_u64(), 0u);
    EXPECT_FALSE(r.next_key().has_value());
    r.fail("later error");
    r.finish();
    EXPECT_EQ(r.error().message(), "expected value at line 1 column 7");
}

TEST(JsonReader, AKeysValueMustBeConsumed) {
    JsonReader r(R"({"a":1,"b":2})");
    ASSERT_TRUE(r.begin_object("a map"));
    ASSERT_TRUE(r.next_key().has_value());
    EXPECT_THROW(r.next_key(), core::InvariantViolation);
}

TEST(JsonWriter, ShortestNumberForm) {
    const std::vector<std::pair<double, std::string_view>> cases{
        {0.0, "0.0"},
        {-0.0, "-0.0"},
        {1.0, "1.0"},
        {20.5, "20.5"},
        {0.1, "0.1"},
        {123.456, "123.456"},
        {100000.0, "100000.0"},
        {1234567890123456.0, "1234567890123456.0"},
        {1e16, "1e16"},
        {12345678901234568.0, "1.2345678901234568e16"},
        {0.0001, "0.0001"},
        {0.00001, "0.00001"},
        {0.000001, "1e-6"},
        {-1.5e-7, "-1.5e-7"},
        {1e300, "1e300"},
        {std::numeric_limits<double>::denorm_min(), "5e-324"},
        {std::numeric_limits<double>::max(), "1.7976931348623157e308"},
    };
    for (const auto& [v, text] : cases) {
        std::string out;
        append_json_number(out, v);
        EXPECT_EQ(out, text);
    }
    std::string non_finite;
    append_json_number(non_finite, std::numeric_limits<double>::quiet_NaN());
    append_json_number(non_finite, -std::numeric_limits<double>::infinity());
    EXPECT_EQ(non_finite, "nullnull");
}

TEST(JsonWriter, NumbersAndStringsReadBackExactly) {
    // Random bit patterns cover subnormals, huge and tiny magnitudes alike.
    std::uint64_t state = 12345;
    for (int i = 0; i < 20000; ++i) {
        state += kGoldenGamma;
        const double v = std::bit_cast<double>(splitmix64(state));
        if (!std::isfinite(v)) continue;
        std::string text;
        append_json_number(text, v);
        const auto back = parse_value(text).value().get<double>();
        ASSERT_EQ(std::bit_cast<std::uint64_t>(back), std::bit_cast<std::uint64_t>(v)) << text;
    }

    const std::string raw("q\"b\\s/\b\f\n\r\t\x01\x1f\x7f \xC3\xA9\0", 18);
    std::string text;
    append_json_string(text, raw);
    EXPECT_EQ(text, std::string("\"q\\\"b\\\\s/\\b\\f\\n\\r\\t\\u0001\\u001f\x7f \xC3\xA9\\u0000\""));
    EXPECT_EQ(parse_value(text).value().get<std::string>(), raw);

    JsonWriter w;
    w.begin_object();
    w.key("a");
    w.begin_array();
    w.integer(1);
    w.number(2.0);
    w.boolean(true);
    w.null();
    w.begin_object();
    w.end_object();
    w.end_array();
    w.key("b");
    w.string("x");
    w.end_object();
    EXPECT_EQ(w.take(), R"({"a":[1,2.0,true,null,{}],"b":"x"})");
}

}  // namespace
}  // namespace vantorel::embed
