#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

namespace vantorel::testing {

// Sets or unsets HOME and USERPROFILE for one test and puts them back.
class EnvGuard {
public:
    EnvGuard() : home_(get("HOME")), profile_(get("USERPROFILE")) {}
    ~EnvGuard() {
        put("HOME", home_);
        put("USERPROFILE", profile_);
    }
    EnvGuard(const EnvGuard&) = delete;
    EnvGuard& operator=(const EnvGuard&) = delete;

    static void put(const char* name, const std::optional<std::string>& value) {
        if (value) {
            ::setenv(name, value->c_str(), 1);
        } else {
            ::unsetenv(name);
        }
    }

private:
    static std::optional<std::string> get(const char* name) {
        const char* v = std::getenv(name);
        return v ? std::optional<std::string>(v) : std::nullopt;
    }
    std::optional<std::string> home_;
    std::optional<std::string> profile_;
};

// A fresh temporary directory as HOME for one test, removed afterwards, so
// that no test reads or writes the real home.
class TempHome {
public:
    TempHome() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vantorel-home-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        dir_ = pattern;
        EnvGuard::put("HOME", dir_.string());
    }
    ~TempHome() {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;

    [[nodiscard]] const std::filesystem::path& dir() const noexcept { return dir_; }
    [[nodiscard]] std::filesystem::path store(const char* name) const { return dir_ / ".vantorel" / name; }

private:
    EnvGuard guard_;
    std::filesystem::path dir_;
};

// A whole file's bytes; empty when it cannot be read.
inline std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace vantorel::testing
