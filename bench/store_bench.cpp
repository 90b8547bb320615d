// Appending to and loading the feedback store: 10,000 single appends, then
// one load of a 100,000-line store. HOME points at a temporary directory.
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "embed/feedback/feedback_aggregator.hpp"

namespace {

using namespace vantorel;
using Clock = std::chrono::steady_clock;

double ms_since(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

embed::FeedbackEvent event(std::size_t i) {
    return {"corpus-" + std::to_string(i % 37), "query-" + std::to_string(i), static_cast<double>(i % 1000) / 999.0,
            std::to_string(1700000000 + i)};
}

}  // namespace

int main() {
    constexpr std::size_t kAppends = 10000;
    constexpr std::size_t kLines = 100000;
    std::string dir = (std::filesystem::temp_directory_path() / "vantorel-bench-XXXXXX").string();
    if (::mkdtemp(dir.data()) == nullptr) return 1;
    ::setenv("HOME", dir.c_str(), 1);

    auto start = Clock::now();
    for (std::size_t i = 0; i < kAppends; ++i) {
        if (!event(i).append_to_default_store()) return 1;
    }
    const double append_ms = ms_since(start);

    const auto path = embed::FeedbackEvent::default_store_path().value();
    {
        std::ofstream out(path, std::ios::trunc);
        for (std::size_t i = 0; i < kLines; ++i) out << event(i).to_json() << '\n';
    }
    start = Clock::now();
    const auto loaded = embed::FeedbackAggregator::load(path);
    const double load_ms = ms_since(start);
    if (!loaded || loaded->size() != kLines) return 1;

    std::printf("append %zu events: %.1f ms (%.2f us each)\n", kAppends, append_ms, 1000.0 * append_ms / kAppends);
    std::printf("load %zu lines (%.1f MB): %.1f ms\n", kLines,
                static_cast<double>(std::filesystem::file_size(path)) / 1e6, load_ms);
    std::filesystem::remove_all(dir);
    return 0;
}
