#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "core/format.hpp"
#include "core/invariant.hpp"
#include "core/numeric.hpp"
#include "core/unicode_escape.hpp"

namespace vantorel::core {
namespace {

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(FormatFloat, ShortestRoundTripWithoutExponent) {
    EXPECT_EQ(format_float(1.0), "1");
    EXPECT_EQ(format_float(-1.0), "-1");
    EXPECT_EQ(format_float(0.5), "0.5");
    EXPECT_EQ(format_float(-0.0), "-0");
    EXPECT_EQ(format_float(0.1 + 0.2), "0.30000000000000004");
    EXPECT_EQ(format_float(6.283185307179586), "6.283185307179586");
    EXPECT_EQ(format_float(1e21), "1000000000000000000000");
    EXPECT_EQ(format_float(1.2345678901234568e20), "123456789012345680000");
    EXPECT_EQ(format_float(5e-324), "0." + std::string(323, '0') + "5");
    EXPECT_EQ(format_float(1.5e-7), "0.00000015");
    EXPECT_EQ(format_float(kNan), "NaN");
    EXPECT_EQ(format_float(-kNan), "NaN");
    EXPECT_EQ(format_float(kInf), "inf");
    EXPECT_EQ(format_float(-kInf), "-inf");
}

TEST(FormatFloat, FixedAndExponentForms) {
    EXPECT_EQ(format_fixed(1.0, 4), "1.0000");
    EXPECT_EQ(format_fixed(2.0 / 3.0, 4), "0.6667");
    EXPECT_EQ(format_fixed(-0.0, 2), "-0.00");
    EXPECT_EQ(format_fixed(0.125, 2), "0.12");  // exact tie rounds to even
    EXPECT_EQ(format_fixed(kNan, 4), "NaN");
    EXPECT_EQ(format_fixed(-kInf, 4), "-inf");
    EXPECT_EQ(format_exp(1234.5, 2), "1.23e3");
    EXPECT_EQ(format_exp(0.000123, 2), "1.23e-4");
    EXPECT_EQ(format_exp(0.0, 2), "0.00e0");
    EXPECT_EQ(format_exp(-5e-300, 2), "-5.00e-300");
    EXPECT_EQ(format_exp(kInf, 2), "inf");
}

TEST(FormatText, QuotedEscapes) {
    EXPECT_EQ(quoted("plain"), "\"plain\"");
    EXPECT_EQ(quoted("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(quoted(std::string_view("t\tr\rn\n\0z", 8)), "\"t\\tr\\rn\\n\\0z\"");
    EXPECT_EQ(quoted("it's"), "\"it's\"");
    EXPECT_EQ(quoted("\x7f"), "\"\\u{7f}\"");
    EXPECT_EQ(quoted("\xe2\x80\x8b"), "\"\\u{200b}\"");
    EXPECT_EQ(quoted("π é 日本"), "\"π é 日本\"");
    // Combining marks, non-ASCII spaces, unassigned, format and private-use
    // code points; U+FF9E extends graphemes though it is a letter.
    EXPECT_EQ(quoted("e\u0301\u00a0\u3000\u0600\ue000\uff9e\U0010ffff"),
              "\"e\\u{301}\\u{a0}\\u{3000}\\u{600}\\u{e000}\\u{ff9e}\\u{10ffff}\"");
    EXPECT_EQ(quoted("\xcd\xb8 \xf0\x9f\x98\x80"), "\"\\u{378} \xf0\x9f\x98\x80\"");
}

TEST(FormatText, EscapeRangesAreAscendingAndDisjoint) {
    const auto ranges = unicode_escape_ranges();
    ASSERT_FALSE(ranges.empty());
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        EXPECT_LE(ranges[i].first, ranges[i].last);
        if (i > 0) {
            EXPECT_GT(ranges[i].first, ranges[i - 1].last + 1) << i;
        }
    }
    EXPECT_TRUE(needs_unicode_escape(0xD800));
    EXPECT_TRUE(needs_unicode_escape(0x110000));
    EXPECT_FALSE(needs_unicode_escape(U' '));
}

TEST(FormatPattern, PlaceholdersAndBraces) {
    EXPECT_EQ(format("{} of {}", std::size_t{3}, -2), "3 of -2");
    EXPECT_EQ(format("x={:.4}, y={}", 0.5, 0.25), "x=0.5000, y=0.25");
    EXPECT_EQ(format("{:?} {}", "a\"b", "c"), "\"a\\\"b\" c");
    EXPECT_EQ(format("{{}} {:.2e}", 12345.0), "{} 1.23e4");
    EXPECT_THROW(format("{} {}", 1), InvariantViolation);
}

TEST(Numeric, TotalOrderAndSaturation) {
    EXPECT_TRUE(total_order_less(-kInf, -1.0));
    EXPECT_TRUE(total_order_less(-0.0, 0.0));
    EXPECT_TRUE(total_order_less(kInf, kNan));
    EXPECT_TRUE(total_order_less(-kNan, -kInf));
    EXPECT_FALSE(total_order_less(kNan, kNan));
    EXPECT_EQ(saturating_cast<std::uint64_t>(kNan), 0u);
    EXPECT_EQ(saturating_cast<std::uint64_t>(-3.5), 0u);
    EXPECT_EQ(saturating_cast<std::uint64_t>(1e30), std::numeric_limits<std::uint64_t>::max());
    EXPECT_EQ(saturating_cast<std::int64_t>(-1e30), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(saturating_cast<std::int64_t>(9.2233720368547758e18), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(saturating_cast<std::int32_t>(-2.9), -2);
    EXPECT_EQ(saturating_add(std::numeric_limits<std::uint64_t>::max(), 1), std::numeric_limits<std::uint64_t>::max());
    EXPECT_TRUE(std::isnan(clamp_unit(kNan)));
    EXPECT_EQ(clamp_unit(-2.0), 0.0);
}

}  // namespace
}  // namespace vantorel::core
