#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <chrono>
#include <cstdlib>
#include <limits>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/invariant.hpp"
#include "embed/embedding.hpp"
#include "core/utf8.hpp"
#include "embed/util.hpp"
#include "temp_home.hpp"

namespace vantorel::embed {
namespace {

using std::chrono::duration_cast;
using std::chrono::milliseconds;
using std::chrono::seconds;
using std::chrono::system_clock;
using testing::EnvGuard;

TEST(Embedding, MagnitudeAndNormalizedEdgeCases) {
    EXPECT_EQ(Embedding({{3.0, 4.0}}).magnitude(), 5.0);
    const double empty_norm = Embedding{}.magnitude();
    EXPECT_EQ(empty_norm, 0.0);
    EXPECT_TRUE(std::signbit(empty_norm));

    EXPECT_EQ(Embedding({{3.0, 4.0}}).normalized().values, (std::vector<double>{0.6, 0.8}));
    EXPECT_EQ(Embedding({{0.0, 0.0, 0.0}}).normalized().values, (std::vector<double>{1.0, 0.0, 0.0}));
    EXPECT_EQ(Embedding({{1e-17, 0.0}}).normalized().values, (std::vector<double>{1.0, 0.0}));
    EXPECT_TRUE(Embedding{}.normalized().values.empty());

    const auto with_nan = Embedding({{1.0, std::numeric_limits<double>::quiet_NaN()}}).normalized();
    ASSERT_EQ(with_nan.size(), 2u);
    EXPECT_TRUE(std::isnan(with_nan.values[0]) && std::isnan(with_nan.values[1]));

    // Squares that overflow: the length is found whenever it fits a double,
    // and the direction even when it does not.
    EXPECT_DOUBLE_EQ(Embedding({{3e300, 4e300}}).magnitude(), 5e300);
    EXPECT_EQ(Embedding({{3e300, 4e300}}).normalized().values, (std::vector<double>{0.6, 0.8}));
    EXPECT_EQ(Embedding({{1.5e308, 1.5e308}}).magnitude(), std::numeric_limits<double>::infinity());
    EXPECT_DOUBLE_EQ(Embedding({{1.5e308, -1.5e308}}).normalized().values[1], -std::sqrt(0.5));
}

TEST(Embedding, NormalizeIntoRefusesAShorterOutput) {
    const std::vector<double> in{1.0, 2.0, 3.0};
    std::vector<double> out(2);
    EXPECT_THROW(normalize_into(in, out), core::InvariantViolation);
}

TEST(Timestamp, WholeSecondsAndClampedBeforeEpoch) {
    const system_clock::time_point epoch{};
    EXPECT_EQ(util::timestamp_at(epoch), "0");
    EXPECT_EQ(util::timestamp_at(epoch + milliseconds(1900)), "1");
    EXPECT_EQ(util::timestamp_at(epoch - milliseconds(500)), "0");
    EXPECT_EQ(util::timestamp_at(epoch - seconds(86400)), "0");
    EXPECT_EQ(util::timestamp_at(epoch + seconds(1700000000)), "1700000000");

    // std::time may read a coarser clock than system_clock, so bracket with the same clock.
    const auto seconds_now = [] {
        return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
    };
    const auto before = seconds_now();
    const auto now = std::stoll(util::default_timestamp());
    const auto after = seconds_now();
    EXPECT_GE(now, before);
    EXPECT_LE(now, after);
}

TEST(HomeDir, HomeThenUserProfile) {
    EnvGuard guard;
    EnvGuard::put("USERPROFILE", "/profile");

    EnvGuard::put("HOME", "/home/u");
    EXPECT_EQ(util::vantorel_home_dir().value(), std::filesystem::path("/home/u/.vantorel"));
    EnvGuard::put("HOME", "/home/u/");
    EXPECT_EQ(util::vantorel_home_dir().value().string(), "/home/u/.vantorel");
    // Set but empty still wins over USERPROFILE and yields a relative path.
    EnvGuard::put("HOME", "");
    EXPECT_EQ(util::vantorel_home_dir().value().string(), ".vantorel");

    EnvGuard::put("HOME", std::nullopt);
    EXPECT_EQ(util::vantorel_home_dir().value().string(), "/profile/.vantorel");

    EnvGuard::put("USERPROFILE", std::nullopt);
    const auto missing = util::vantorel_home_dir();
    ASSERT_FALSE(missing.has_value());
    EXPECT_EQ(missing.error().kind, IoError::Kind::NotFound);
    EXPECT_EQ(missing.error().message(), "neither HOME nor USERPROFILE is set");
}

TEST(IoErrorValue, KindFromErrorNumber) {
    const auto missing = IoError::from_errno(ENOENT);
    EXPECT_EQ(missing.kind, IoError::Kind::NotFound);
    EXPECT_TRUE(missing.message().ends_with(" (os error 2)")) << missing.message();
    EXPECT_EQ(IoError::from_errno(EACCES).kind, IoError::Kind::PermissionDenied);
    EXPECT_EQ(IoError::from_errno(EEXIST).kind, IoError::Kind::AlreadyExists);
    EXPECT_EQ(IoError::from_errno(EIO).kind, IoError::Kind::Other);
}

TEST(Utf8, StrictValidation) {
    EXPECT_TRUE(core::is_valid_utf8(""));
    EXPECT_TRUE(core::is_valid_utf8("plain \xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"));
    EXPECT_TRUE(core::is_valid_utf8("\xF4\x8F\xBF\xBF"));   // U+10FFFF
    EXPECT_FALSE(core::is_valid_utf8("\xC0\xAF"));          // overlong '/'
    EXPECT_FALSE(core::is_valid_utf8("\xE0\x80\xAF"));      // overlong, three bytes
    EXPECT_FALSE(core::is_valid_utf8("\xED\xA0\x80"));      // surrogate U+D800
    EXPECT_FALSE(core::is_valid_utf8("\xF4\x90\x80\x80"));  // above U+10FFFF
    EXPECT_FALSE(core::is_valid_utf8("ok\xE2\x82"));        // truncated at the end
    EXPECT_FALSE(core::is_valid_utf8("\x80"));              // stray continuation byte
    EXPECT_FALSE(core::is_valid_utf8("\xC3("));             // bad continuation byte
}

TEST(Utf8, CutCharactersAreExactlyTheProperPrefixesOfValidOnes) {
    std::set<std::string> prefixes;
    for (char32_t cp = 0x80; cp <= 0x10FFFF; ++cp) {
        if (cp >= 0xD800 && cp <= 0xDFFF) continue;
        std::string encoded;
        core::append_utf8(encoded, cp);
        for (std::size_t k = 1; k < encoded.size(); ++k) prefixes.insert(encoded.substr(0, k));
        // The valid prefix ends where a stray byte follows the character, past any ASCII run.
        const std::string run(cp % 19, 'a');
        EXPECT_EQ(core::valid_utf8_prefix(run + encoded + "b\x80" + run), run.size() + encoded.size() + 1);
    }
    std::size_t cut = 0;
    for (int b0 = 0; b0 < 256; ++b0) {
        for (int b1 = -1; b1 < 256; ++b1) {
            for (int b2 = -1; b2 < (b0 >= 0xF0 && b1 >= 0 ? 256 : 0); ++b2) {
                std::string bytes(1, static_cast<char>(b0));
                if (b1 >= 0) bytes += static_cast<char>(b1);
                if (b2 >= 0) bytes += static_cast<char>(b2);
                const bool expected = prefixes.contains(bytes);
                cut += expected;
                ASSERT_EQ(core::is_cut_utf8_char(bytes), expected) << b0 << " " << b1 << " " << b2;
            }
        }
    }
    EXPECT_EQ(cut, prefixes.size());
    EXPECT_FALSE(core::is_cut_utf8_char(""));
}

}  // namespace
}  // namespace vantorel::embed
