#pragma once

// A file of records of one type, one compact JSON object per line, appended
// to one record at a time. Older files may hold a single JSON array of
// records instead; they are read as they are and turned into lines by the
// next append.
#include <sys/types.h>

#include <cmath>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/expected.hpp"
#include "core/format.hpp"
#include "core/interrupt.hpp"
#include "embed/io_error.hpp"
#include "embed/json/json_record.hpp"

namespace vantorel::embed::store {

// White space trimmed around a store's text and its lines.
[[nodiscard]] constexpr bool is_space(char c) noexcept {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}
std::string_view trim_leading(std::string_view text) noexcept;
std::string_view trim(std::string_view text) noexcept;

// A path the operating system would read only up to an embedded NUL byte,
// so opening it would reach another file, is refused.
std::optional<IoError> check_path(const std::filesystem::path& path);

// Whether a store line ends inside its JSON value (an object, array, string
// or number left open): what an append leaves when it is killed half-way, or
// what a read sees of an append still under way. Readers skip such a line.
bool is_cut_short(std::string_view line);

// The file's whole content, checked to be UTF-8; in a file of lines, a line
// cut short may end in a character cut short. Only a missing file reads as
// empty: a file that exists but cannot be read is an error.
core::Expected<std::string, IoError> read_store_text(const std::filesystem::path& path);

// A store file in the per-user directory `~/.vantorel/`.
core::Expected<std::filesystem::path, IoError> home_store_path(std::string_view file_name);

// Creates the path's parent directory and its missing ancestors, if it has one.
std::optional<IoError> create_parent_dirs(const std::filesystem::path& path);

// The system call that writes a rewrite's temporary file; a seam for tests.
using WriteFn = ssize_t (*)(int fd, const void* data, std::size_t size);

// How a rewrite's temporary file comes to be. An unnamed one gets its name
// only once its content is complete, so a kill before that leaves nothing;
// a named one is the fallback for file systems without unnamed files.
enum class TempFile { Unnamed, Named };

// Replaces the file's content as a whole: the text goes to a temporary file in
// the same directory, which is flushed to disk and renamed over the target, so
// a crash or a failed write leaves the old file whole. An existing file's
// permissions carry over; a symbolic link stays and its target is replaced.
// Once the rename is done, temporaries that killed rewrites of the same target
// left behind are removed. Ctrl-C stops it before the rename, leaving no trace.
std::optional<IoError> replace_file(const std::filesystem::path& path, std::string_view text,
                                    WriteFn write_fn = nullptr, TempFile temp_file = TempFile::Unnamed);

// Turns the text of a legacy array file into the text of lines.
using LegacyConverter = core::Expected<std::string, IoError> (*)(std::string_view array_text);

// Appends one line (a record's JSON form without its line feed) to the store
// at `path`, converting a legacy array file first. The line goes out in one
// write on a file opened for appending, preceded by a line feed when the file
// does not end with one, so concurrent appenders never split or join lines.
core::Expected<std::filesystem::path, IoError> append_line(const std::filesystem::path& path, std::string_view line,
                                                           LegacyConverter convert_legacy);

// Every floating-point field finite, nested records included: JSON has no
// form for the others that reads back, so writing one would make the file
// unreadable.
inline std::optional<IoError> check_finite(std::string_view field, double v) {
    if (std::isfinite(v)) return std::nullopt;
    return IoError::invalid_data(core::format("field `{}` holds {}, which JSON cannot represent", field, v));
}
template <class V>
std::optional<IoError> check_finite(std::string_view, const V&) {
    return std::nullopt;
}
template <JsonRecord T>
std::optional<IoError> check_finite(std::string_view, const T& record) {
    std::optional<IoError> error;
    T::fields(record, [&error](std::string_view name, const auto& field) {
        if (!error) error = check_finite(name, field);
    });
    return error;
}
template <JsonRecord T>
std::optional<IoError> check_finite(const T& record) {
    return check_finite(T::kRecordName, record);
}

// A record's compact JSON form, refused when it holds a non-finite number.
template <JsonRecord T>
core::Expected<std::string, IoError> record_line(const T& record) {
    if (auto error = check_finite(record)) return core::Unexpected{std::move(*error)};
    return write_json_text(record);
}

template <JsonRecord T>
core::Expected<std::vector<T>, IoError> parse_array(std::string_view text) {
    auto records = read_json_text<std::vector<T>>(text);
    if (!records) return core::Unexpected{IoError::invalid_data(records.error().message())};
    return std::move(records).value();
}

// Lines are read with Ctrl-C honoured once per this many bytes.
inline constexpr std::size_t kInterruptBytes = std::size_t{1} << 20;

// The records of a store's text: one JSON array when it starts with "[",
// else one record per non-blank line (a carriage return before a line feed
// is dropped with the other white space). A line cut short is skipped; the
// first other bad line fails the whole read, its error position counted
// within that line.
template <JsonRecord T>
core::Expected<std::vector<T>, IoError> parse_records(std::string_view text) {
    text = trim_leading(text);
    if (!text.empty() && text.front() == '[') return parse_array<T>(text);
    std::vector<T> records;
    std::size_t unchecked = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if ((unchecked += line.size()) >= kInterruptBytes) {
            unchecked = 0;
            core::check_interrupt();
        }
        if (line.empty()) continue;
        auto record = read_json_text<T>(line);
        if (!record) {
            if (is_cut_short(line)) continue;
            return core::Unexpected{IoError::invalid_data(record.error().message())};
        }
        records.push_back(std::move(record).value());
    }
    return records;
}

template <JsonRecord T>
core::Expected<std::vector<T>, IoError> read_records(const std::filesystem::path& path) {
    auto text = read_store_text(path);
    if (!text) return core::Unexpected{std::move(text).error()};
    return parse_records<T>(*text);
}

// The legacy array's records written back from their fields, one line each.
template <JsonRecord T>
core::Expected<std::string, IoError> legacy_to_lines(std::string_view array_text) {
    auto records = parse_array<T>(array_text);
    if (!records) return core::Unexpected{std::move(records).error()};
    std::string out;
    core::InterruptTicker interrupt;
    for (const auto& record : *records) {
        interrupt.tick();
        auto line = record_line(record);
        if (!line) return core::Unexpected{std::move(line).error()};
        out += *line;
        out += '\n';
    }
    return out;
}

// Appends one record; a record holding a non-finite number is refused with
// an invalid-data error before anything is touched.
template <JsonRecord T>
core::Expected<std::filesystem::path, IoError> append_record(const std::filesystem::path& path, const T& record) {
    auto line = record_line(record);
    if (!line) return core::Unexpected{std::move(line).error()};
    return append_line(path, *line, &legacy_to_lines<T>);
}

}  // namespace vantorel::embed::store
