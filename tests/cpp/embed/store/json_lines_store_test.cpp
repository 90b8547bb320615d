#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "embed/feedback/feedback_event.hpp"
#include "embed/store/json_lines_store.hpp"
#include "temp_home.hpp"

namespace vantorel::embed {
namespace {

using testing::read_file;
using testing::TempHome;
namespace fs = std::filesystem;

void put(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

FeedbackEvent event(int i) { return {"c" + std::to_string(i), "q", 0.25 * i, std::to_string(i)}; }

core::Expected<std::vector<FeedbackEvent>, IoError> load(const fs::path& path) {
    return store::read_records<FeedbackEvent>(path);
}

core::Expected<fs::path, IoError> append(const fs::path& path, const FeedbackEvent& e) {
    return store::append_record(path, e);
}

// Runs `work` in a child process that is killed (SIGKILL) after `delay`, and
// returns the numbers it wrote to the descriptor it was given until then.
template <class Work>
std::vector<int> run_killed(std::chrono::microseconds delay, Work work) {
    int fds[2];
    if (::pipe(fds) != 0) std::abort();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        work(fds[1]);
        ::_exit(0);
    }
    ::close(fds[1]);
    std::this_thread::sleep_for(delay);
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    std::vector<int> written;
    for (int v = 0; ::read(fds[0], &v, sizeof v) == static_cast<ssize_t>(sizeof v);) written.push_back(v);
    ::close(fds[0]);
    return written;
}

std::set<std::string> names_in(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename().string());
    return names;
}

class JsonLinesStore : public ::testing::Test {
protected:
    TempHome home;
    fs::path path = home.store("events.json");
};

TEST_F(JsonLinesStore, ReadsLinesArraysAndBlankFiles) {
    EXPECT_TRUE(load(path).value().empty());
    put(path, " \n\r\n\t \n");
    EXPECT_TRUE(load(path).value().empty());
    put(path, "\n  " + event(1).to_json() + " \r\n\r\n" + event(2).to_json() + "\r\n");
    EXPECT_EQ(load(path).value(), (std::vector<FeedbackEvent>{event(1), event(2)}));
    put(path, "\n [" + event(1).to_json() + ",\n" + event(2).to_json() + "]\n");
    EXPECT_EQ(load(path).value(), (std::vector<FeedbackEvent>{event(1), event(2)}));

    // One bad line fails the whole read, its position counted within the line.
    put(path, event(1).to_json() + "\n{\"corpus_id\":\"c\",\"query_id\":\"q\",\"score\":1}\n");
    const auto missing = load(path);
    ASSERT_FALSE(missing.has_value());
    EXPECT_EQ(missing.error().kind, IoError::Kind::InvalidData);
    EXPECT_EQ(missing.error().message(), "missing field `timestamp` at line 1 column 42");

    put(path, "[" + event(1).to_json() + "]\n[]\n");
    EXPECT_EQ(load(path).error().kind, IoError::Kind::InvalidData);
    put(path, "\xff\n");
    EXPECT_EQ(load(path).error().kind, IoError::Kind::InvalidData);
}

TEST_F(JsonLinesStore, AppendCreatesAndConvertsLegacyArrays) {
    EXPECT_EQ(append(path, event(1)).value(), path);
    EXPECT_EQ(read_file(path), event(1).to_json() + "\n");

    // Unknown keys go when the array is written back from the records' fields.
    put(path, "  [" + event(1).to_json() + ",{\"extra\":1," + event(2).to_json().substr(1) + "]");
    ASSERT_TRUE(append(path, event(3)).has_value());
    EXPECT_EQ(read_file(path), event(1).to_json() + "\n" + event(2).to_json() + "\n" + event(3).to_json() + "\n");

    put(path, "[]");
    ASSERT_TRUE(append(path, event(4)).has_value());
    EXPECT_EQ(read_file(path), event(4).to_json() + "\n");

    // A broken array refuses the append and stays as it was.
    for (const std::string& broken : {"[" + event(1).to_json() + "]\n" + event(2).to_json() + "\n", std::string("[{")}) {
        put(path, broken);
        EXPECT_EQ(append(path, event(5)).error().kind, IoError::Kind::InvalidData);
        EXPECT_EQ(read_file(path), broken);
    }
}

TEST_F(JsonLinesStore, AppendNeverJoinsAPartialLastLine) {
    put(path, event(1).to_json());
    ASSERT_TRUE(append(path, event(2)).has_value());
    EXPECT_EQ(load(path).value(), (std::vector<FeedbackEvent>{event(1), event(2)}));

    put(path, "   ");
    ASSERT_TRUE(append(path, event(1)).has_value());
    EXPECT_EQ(read_file(path), "   \n" + event(1).to_json() + "\n");

    // A line cut short by a crash is skipped; later appends stay whole.
    const std::string cut = event(2).to_json().substr(0, 20);
    put(path, event(1).to_json() + "\n" + cut);
    EXPECT_EQ(load(path).value(), std::vector<FeedbackEvent>{event(1)});
    ASSERT_TRUE(append(path, event(3)).has_value());
    EXPECT_EQ(read_file(path), event(1).to_json() + "\n" + cut + "\n" + event(3).to_json() + "\n");
    EXPECT_EQ(load(path).value(), (std::vector<FeedbackEvent>{event(1), event(3)}));
}

TEST_F(JsonLinesStore, LinesCutShortAreSkippedAndOtherFaultsStillFail) {
    // Every proper prefix of a line is what a killed append can leave, wherever
    // the cut falls: in a key, a number, between entries or inside a character.
    const FeedbackEvent wide{"c\xE2\x82\xAC", "q\xF0\x9F\x98\x80", -1.25e-3, "7"};
    for (const std::string& line : {wide.to_json(), std::string(R"(["c","q",0.5,"1"])")}) {
        for (std::size_t k = 1; k < line.size(); ++k) {
            const std::string cut = line.substr(0, k);
            put(path, event(1).to_json() + "\n" + cut + "\n" + event(2).to_json() + "\n" + cut);
            const auto loaded = load(path);
            ASSERT_TRUE(loaded.has_value()) << cut << ": " << loaded.error().message();
            EXPECT_EQ(*loaded, (std::vector<FeedbackEvent>{event(1), event(2)})) << cut;
        }
    }

    // Lines that are whole, or that break off for another reason, fail as they did.
    const std::string whole = event(3).to_json();
    for (const std::string& bad : {std::string(R"({"corpus_id":"c","query_id":"q","score":1})"),
                                   std::string(R"({"corpus_id":1,"query_id":"q","score":1,"timestamp":"t"})"),
                                   whole + "x", whole + "{", std::string(R"({"corpus_id" "c)"), std::string("tru")}) {
        put(path, event(1).to_json() + "\n" + bad + "\n" + event(2).to_json() + "\n");
        const auto loaded = load(path);
        ASSERT_FALSE(loaded.has_value()) << bad;
        EXPECT_EQ(loaded.error().message(), read_json_text<FeedbackEvent>(bad).error().message());
    }

    // Invalid UTF-8 anywhere but at the end of a line cut short fails the whole
    // file, before any JSON fault of another line.
    const std::string not_utf8 = "file is not valid UTF-8";
    const std::string missing_field = R"({"corpus_id":"c"})";
    for (const std::string& text : {missing_field + "\n" + whole.substr(0, 15) + "\xE2\x82x\n",
                                    missing_field + "\n" + whole + "\xE2\x82\n",
                                    whole.substr(0, 15) + "\xE0\x80\n" + missing_field,
                                    whole.substr(0, 15) + "\xE2\x82\r\n",
                                    "[" + whole.substr(0, 15) + "\xE2\x82"}) {
        put(path, text);
        EXPECT_EQ(load(path).error().message(), not_utf8) << text;
    }
}

TEST_F(JsonLinesStore, AppendFindsTheLastByteOfFilesLongerThanOneRead) {
    std::string lines;
    std::vector<FeedbackEvent> events;
    for (int i = 0; lines.size() < 10000; ++i) {
        events.push_back(event(i));
        lines += event(i).to_json() + "\n";
    }
    lines.pop_back();
    for (const std::string& lead : {std::string(), std::string(5000, ' ')}) {
        put(path, lead + lines);
        ASSERT_TRUE(append(path, event(-1)).has_value());
        std::vector<FeedbackEvent> expected = events;
        expected.push_back(event(-1));
        EXPECT_EQ(load(path).value(), expected);
        EXPECT_EQ(read_file(path), lead + lines + "\n" + event(-1).to_json() + "\n");
    }
}

TEST_F(JsonLinesStore, FilesThatCannotBeReadAreErrors) {
    fs::create_directories(path);
    EXPECT_EQ(load(path).error().message(), IoError::from_errno(EISDIR).message());
    EXPECT_EQ(append(path, event(1)).error().message(), IoError::from_errno(EISDIR).message());
    fs::remove(path);

    // Cut at the NUL, the path would name another file.
    const fs::path with_nul = path.native() + std::string("\0x", 2);
    EXPECT_EQ(load(with_nul).error().kind, IoError::Kind::InvalidInput);
    EXPECT_EQ(append(with_nul, event(1)).error().kind, IoError::Kind::InvalidInput);
    EXPECT_FALSE(fs::exists(path));

    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
    put(path, event(1).to_json() + "\n");
    ASSERT_EQ(::chmod(path.c_str(), 0), 0);
    EXPECT_EQ(load(path).error().kind, IoError::Kind::PermissionDenied);
    EXPECT_EQ(append(path, event(2)).error().kind, IoError::Kind::PermissionDenied);
    ::chmod(path.c_str(), 0644);
    EXPECT_EQ(read_file(path), event(1).to_json() + "\n");
}

TEST_F(JsonLinesStore, FailedRewriteLeavesTheOldFileWhole) {
    put(path, "old content");
    // Part of the text lands, then the disk is full.
    const auto failing_write = [](int fd, const void* data, std::size_t size) -> ssize_t {
        if (size > 4) return ::write(fd, data, size / 2);
        errno = ENOSPC;
        return -1;
    };
    const auto error = store::replace_file(path, "new content", failing_write);
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->message(), IoError::from_errno(ENOSPC).message());
    EXPECT_EQ(read_file(path), "old content");
    EXPECT_EQ(std::distance(fs::directory_iterator(path.parent_path()), fs::directory_iterator{}), 1);

    ::chmod(path.c_str(), 0640);
    ASSERT_FALSE(store::replace_file(path, "new content").has_value());
    EXPECT_EQ(read_file(path), "new content");
    EXPECT_EQ(fs::status(path).permissions(), fs::perms(0640));

    // Through a relative link, to a target not yet there: the link stays.
    const fs::path link = path.parent_path() / "link.json";
    fs::create_directory(path.parent_path() / "real");
    fs::create_symlink("real/target.json", link);
    ASSERT_FALSE(store::replace_file(link, "linked").has_value());
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(read_file(path.parent_path() / "real" / "target.json"), "linked");
}

TEST_F(JsonLinesStore, KilledAppendsNeverCostAnAcknowledgedRecord) {
    // Records over several pages, so that kills often cut one short, made of
    // three-byte characters, so that a cut can fall inside one.
    std::string filler;
    for (int i = 0; i < 8000; ++i) filler += "\xE2\x82\xAC";
    std::mt19937 rng(11);
    std::set<int> acknowledged;
    for (int round = 0; round < 40; ++round) {
        const auto acks = run_killed(std::chrono::microseconds(100 + rng() % 1500), [&](int fd) {
            for (int i = round * 100000;; ++i) {
                if (!append(path, {"c", filler, 0.5, std::to_string(i)}).has_value()) return;
                if (::write(fd, &i, sizeof i) != static_cast<ssize_t>(sizeof i)) return;
            }
        });
        acknowledged.insert(acks.begin(), acks.end());
        const auto loaded = load(path);
        ASSERT_TRUE(loaded.has_value()) << "after kill " << round << ": " << loaded.error().message();
        std::set<int> present;
        for (const auto& e : *loaded) {
            EXPECT_EQ(e.query_id, filler);
            present.insert(std::stoi(e.timestamp));
        }
        ASSERT_TRUE(std::includes(present.begin(), present.end(), acknowledged.begin(), acknowledged.end()));
    }
}

TEST_F(JsonLinesStore, KilledRewritesLeaveNothingOnceOneSucceeds) {
    const std::string text(4 << 20, 'x');
    put(path, "old");
    std::mt19937 rng(5);
    for (const auto kind : {store::TempFile::Unnamed, store::TempFile::Named}) {
        for (int round = 0; round < 10; ++round) {
            run_killed(std::chrono::microseconds(500 + rng() % 15000), [&](int) {
                for (;;) store::replace_file(path, text, nullptr, kind);
            });
            const std::string now = read_file(path);
            ASSERT_TRUE(now == "old" || now == text);
        }
        ASSERT_FALSE(store::replace_file(path, "old", nullptr, kind).has_value());
        EXPECT_EQ(names_in(path.parent_path()), std::set<std::string>{"events.json"});
        EXPECT_EQ(read_file(path), "old");
    }
}

TEST_F(JsonLinesStore, ARewriteRemovesOnlyStaleTemporariesOfItsTarget) {
    put(path, "old");
    const fs::path dir = path.parent_path();
    const pid_t ended = ::fork();
    if (ended == 0) ::_exit(0);
    ASSERT_EQ(::waitpid(ended, nullptr, 0), ended);
    const auto temp = [](const char* target, pid_t pid, const char* rest) {
        return target + std::string(".tmp-") + std::to_string(pid) + rest;
    };
    // A writer in another process namespace is known by its lock; an older
    // writer in this process, by its process.
    const std::string locked = temp("events.json", ended, "-1-0");
    const std::set<std::string> kept = {"events.json",
                                        locked,
                                        temp("events.json", ::getpid(), "-5-0"),
                                        temp("other.json", ended, "-0-0"),
                                        temp("events.json", ended, "-0"),
                                        temp("events.json", ended, "-0-0x"),
                                        temp("events.json", 0, "-0-0")};
    for (const auto& name : kept) {
        if (name != "events.json") put(dir / name, "partial");
    }
    const int holder = ::open((dir / locked).c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    const auto failing_write = [](int, const void*, std::size_t) -> ssize_t {
        errno = ENOSPC;
        return -1;
    };
    for (const auto kind : {store::TempFile::Unnamed, store::TempFile::Named}) {
        put(dir / temp("events.json", ended, "-0-0"), "partial");
        put(dir / temp("events.json", ended, "-12-3"), "partial");
        ASSERT_TRUE(store::replace_file(path, "lost", failing_write, kind).has_value());
        EXPECT_EQ(names_in(dir).size(), kept.size() + 2);
        ASSERT_FALSE(store::replace_file(path, "new", nullptr, kind).has_value());
        EXPECT_EQ(names_in(dir), kept);
        EXPECT_EQ(read_file(path), "new");
    }
    ::close(holder);
}

TEST_F(JsonLinesStore, RewriteStoppedByCtrlCLeavesNoTrace) {
    put(path, "old");
    // Ctrl-C is pending from the start; the check after the first piece hears it.
    const core::InterruptPoll always{[](void*) { return true; }, nullptr};
    const auto slow_write = [](int fd, const void* data, std::size_t size) -> ssize_t {
        std::this_thread::sleep_for(core::kPollInterval + std::chrono::milliseconds(10));
        return ::write(fd, data, size);
    };
    const std::string text(9 << 20, 'x');
    for (const auto kind : {store::TempFile::Unnamed, store::TempFile::Named}) {
        const core::InterruptScope scope(always);
        EXPECT_THROW(store::replace_file(path, text, slow_write, kind), core::Interrupted);
        EXPECT_EQ(names_in(path.parent_path()), std::set<std::string>{"events.json"});
        EXPECT_EQ(read_file(path), "old");
    }
}

TEST_F(JsonLinesStore, ConcurrentAppendersKeepEveryLine) {
    constexpr int kProcesses = 6;
    constexpr int kAppends = 200;
    put(path, "");
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            bool ok = true;
            for (int i = 0; i < kAppends; ++i) ok = ok && append(path, event(p * kAppends + i)).has_value();
            ::_exit(ok ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (const pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const auto events = load(path).value();
    ASSERT_EQ(events.size(), static_cast<std::size_t>(kProcesses * kAppends));
    std::vector<bool> seen(events.size());
    for (const auto& e : events) seen.at(std::stoul(e.timestamp)) = true;
    EXPECT_EQ(std::count(seen.begin(), seen.end(), true), kProcesses * kAppends);
}

}  // namespace
}  // namespace vantorel::embed
