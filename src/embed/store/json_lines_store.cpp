#include "embed/store/json_lines_store.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <climits>
#include <csignal>
#include <system_error>
#include <utility>

#include "core/utf8.hpp"
#include "embed/json/json_value.hpp"
#include "embed/util.hpp"

namespace vantorel::embed::store {

namespace {

IoError last_os_error() { return IoError::from_errno(errno); }

// Closes the descriptor on every path out.
class Fd {
public:
    explicit Fd(int fd) noexcept : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd& operator=(Fd&& other) noexcept {
        if (this != &other) {
            if (fd_ >= 0) ::close(fd_);
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }

    [[nodiscard]] int get() const noexcept { return fd_; }
    [[nodiscard]] bool valid() const noexcept { return fd_ >= 0; }
    // Hands the descriptor to an owner that closes it.
    void release() noexcept { fd_ = -1; }
    // Closing reports the late write errors of some file systems.
    std::optional<IoError> close() noexcept {
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0) return last_os_error();
        return std::nullopt;
    }

private:
    int fd_;
};

int open_retrying(const char* path, int flags, mode_t mode = 0) {
    int fd = -1;
    do {
        fd = ::open(path, flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Writes all of `data`, continuing after a short write.
std::optional<IoError> write_all(int fd, std::string_view data, WriteFn write_fn) {
    while (!data.empty()) {
        const ssize_t n = write_fn(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return last_os_error();
        }
        if (n == 0) return IoError::from_errno(EIO);
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return std::nullopt;
}

// Reads from the descriptor's position to the end of the file, in pieces, so
// that Ctrl-C is heard while a large file is read.
std::optional<IoError> read_rest(int fd, std::string& out) {
    constexpr std::size_t kPiece = std::size_t{8} << 20;
    struct stat st {};
    if (::fstat(fd, &st) != 0) return last_os_error();
    if (S_ISDIR(st.st_mode)) return IoError::from_errno(EISDIR);
    std::size_t size = out.size();
    // One byte more than the file holds, so that its end is seen without growing.
    out.resize(size + (st.st_size > 0 ? static_cast<std::size_t>(st.st_size) + 1 : 4096));
    for (;;) {
        if (size == out.size()) out.resize(2 * size);
        core::check_interrupt();
        const ssize_t n = ::read(fd, out.data() + size, std::min(out.size() - size, kPiece));
        if (n < 0) {
            if (errno == EINTR) continue;
            return last_os_error();
        }
        if (n == 0) break;
        size += static_cast<std::size_t>(n);
    }
    out.resize(size);
    return std::nullopt;
}

ssize_t default_write(int fd, const void* data, std::size_t size) { return ::write(fd, data, size); }

// A name in the target's directory that no other writer picks.
std::filesystem::path temp_sibling(const std::filesystem::path& path, unsigned attempt) {
    static std::atomic<unsigned> counter{0};
    auto name = path.filename();
    name += core::format(".tmp-{}-{}-{}", static_cast<std::int64_t>(::getpid()), counter.fetch_add(1), attempt);
    return path.parent_path() / name;
}

const char* dir_name(const std::filesystem::path& dir) { return dir.empty() ? "." : dir.c_str(); }

// Once the rename is done the new content is in place; syncing the directory
// only makes the rename itself durable sooner, so its failure is not reported.
void sync_directory(const std::filesystem::path& dir) {
    const Fd fd(open_retrying(dir_name(dir), O_RDONLY | O_DIRECTORY));
    if (fd.valid()) ::fsync(fd.get());
}

// A rewrite's temporary file next to its target. From its creation until it
// is renamed or gone, its writer holds a lock on it (kept by a second
// descriptor, so that the first can be closed for its errors before the
// rename): a sweep for stale temporaries never takes a live writer's file. A
// name that was not renamed is removed on every way out but a kill.
class Temporary {
public:
    static core::Expected<Temporary, IoError> create(const std::filesystem::path& target, TempFile kind) {
        Temporary temp(target);
        if (kind == TempFile::Unnamed && ::access("/proc/self/fd", X_OK) == 0) {
            temp.file_ = Fd(open_retrying(dir_name(target.parent_path()), O_TMPFILE | O_WRONLY, 0666));
        }
        for (unsigned attempt = 0; !temp.file_.valid() && attempt < 16; ++attempt) {
            temp.name_ = temp_sibling(target, attempt);
            temp.file_ = Fd(open_retrying(temp.name_.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666));
            if (!temp.file_.valid()) {
                temp.name_.clear();
                if (errno != EEXIST) break;
            }
        }
        if (!temp.file_.valid()) return core::Unexpected{last_os_error()};
        temp.lock_ = Fd(::fcntl(temp.file_.get(), F_DUPFD_CLOEXEC, 0));
        if (!temp.lock_.valid()) return core::Unexpected{last_os_error()};
        // A file system without locks leaves the writer's process as the only sign of life.
        ::flock(temp.lock_.get(), LOCK_EX);
        return temp;
    }

    Temporary(Temporary&& other) noexcept
        : target_(std::move(other.target_)),
          name_(std::exchange(other.name_, {})),
          file_(std::move(other.file_)),
          lock_(std::move(other.lock_)) {}
    Temporary(const Temporary&) = delete;
    Temporary& operator=(const Temporary&) = delete;
    Temporary& operator=(Temporary&&) = delete;
    ~Temporary() {
        if (!name_.empty()) ::unlink(name_.c_str());
    }

    [[nodiscard]] int fd() const noexcept { return file_.get(); }
    [[nodiscard]] bool named() const noexcept { return !name_.empty(); }

    // Gives an unnamed file its name, through the descriptor's entry in /proc,
    // which links it without any privilege.
    std::optional<IoError> link() {
        const std::string self = core::format("/proc/self/fd/{}", file_.get());
        for (unsigned attempt = 0; attempt < 16; ++attempt) {
            auto name = temp_sibling(target_, attempt);
            if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
                name_ = std::move(name);
                return std::nullopt;
            }
            if (errno != EEXIST) break;
        }
        return last_os_error();
    }

    // Closes the written file (the lock stays) and renames it over the target.
    std::optional<IoError> commit() {
        if (auto error = file_.close()) return error;
        if (::rename(name_.c_str(), target_.c_str()) != 0) return last_os_error();
        name_.clear();
        return std::nullopt;
    }

private:
    explicit Temporary(std::filesystem::path target) : target_(std::move(target)) {}

    std::filesystem::path target_;
    std::filesystem::path name_;
    Fd file_{-1};
    Fd lock_{-1};
};

// The process that made a temporary of the target, from the rest of its name
// after "<target>.tmp-": "<pid>-<n>-<attempt>", three decimal numbers.
std::optional<pid_t> temporary_owner(std::string_view rest) {
    std::uint64_t numbers[3] = {};
    const char* at = rest.data();
    const char* const end = rest.data() + rest.size();
    for (std::size_t k = 0; k < 3; ++k) {
        if (k > 0 && (at == end || *at++ != '-')) return std::nullopt;
        const auto [next, ec] = std::from_chars(at, end, numbers[k]);
        if (ec != std::errc{} || next == at) return std::nullopt;
        at = next;
    }
    if (at != end || numbers[0] == 0 || numbers[0] > INT_MAX) return std::nullopt;
    return static_cast<pid_t>(numbers[0]);
}

// Removes the directory entry when it is a temporary no writer holds locked.
// The lock and the entry are checked to name the same file, so an entry that
// a new writer took over meanwhile stays.
void remove_if_unlocked(int dir, const char* name) {
    struct stat entry {};
    if (::fstatat(dir, name, &entry, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(entry.st_mode)) return;
    constexpr int kFlags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    Fd fd(::openat(dir, name, O_RDONLY | kFlags));
    if (!fd.valid() && errno == EACCES) fd = Fd(::openat(dir, name, O_WRONLY | kFlags));
    if (!fd.valid() || ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return;
    struct stat held {};
    if (::fstat(fd.get(), &held) != 0 || ::fstatat(dir, name, &entry, AT_SYMLINK_NOFOLLOW) != 0) return;
    if (held.st_dev != entry.st_dev || held.st_ino != entry.st_ino) return;
    ::unlinkat(dir, name, 0);
}

// Removes what killed rewrites of the target left: temporaries of its name
// whose writer process is gone and which no writer holds locked. Writers of
// older versions took no lock, hence the check of the process as well; a
// writer in another process namespace is known by its lock alone.
void remove_stale_temporaries(const std::filesystem::path& target) {
    const std::string prefix = target.filename().string() + ".tmp-";
    const Fd dir(open_retrying(dir_name(target.parent_path()), O_RDONLY | O_DIRECTORY));
    if (!dir.valid()) return;
    Fd copy(::fcntl(dir.get(), F_DUPFD_CLOEXEC, 0));
    DIR* listing = copy.valid() ? ::fdopendir(copy.get()) : nullptr;
    if (listing == nullptr) return;
    copy.release();
    std::vector<std::string> stale;
    while (const dirent* entry = ::readdir(listing)) {
        const std::string_view name = entry->d_name;
        if (!name.starts_with(prefix)) continue;
        const auto owner = temporary_owner(name.substr(prefix.size()));
        if (owner && ::kill(*owner, 0) != 0 && errno == ESRCH) stale.emplace_back(name);
    }
    ::closedir(listing);
    for (const std::string& name : stale) remove_if_unlocked(dir.get(), name.c_str());
}

// Writes the text in pieces, so that Ctrl-C is heard during a long write.
std::optional<IoError> write_text(int fd, std::string_view text, WriteFn write_fn) {
    constexpr std::size_t kPiece = std::size_t{8} << 20;
    for (std::size_t at = 0; at < text.size(); at += kPiece) {
        core::check_interrupt();
        if (auto error = write_all(fd, text.substr(at, kPiece), write_fn)) return error;
    }
    return std::nullopt;
}

// The store's text must be UTF-8. Only in a file of lines may a line end in a
// character cut short, and only when the line itself is cut short: that is
// where a killed append stopped.
std::optional<IoError> check_utf8(std::string_view text) {
    std::size_t at = core::valid_utf8_prefix(text);
    if (at == text.size()) return std::nullopt;
    const auto not_utf8 = IoError::invalid_data("file is not valid UTF-8");
    const std::string_view body = trim_leading(text);
    if (!body.empty() && body.front() == '[') return not_utf8;
    while (at < text.size()) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        const std::size_t newline = text.substr(0, at).rfind('\n');
        const std::size_t start = newline == std::string_view::npos ? 0 : newline + 1;
        if (!core::is_cut_utf8_char(text.substr(at, end - at)) || !is_cut_short(trim(text.substr(start, end - start)))) {
            return not_utf8;
        }
        at = end + core::valid_utf8_prefix(text.substr(end));
    }
    return std::nullopt;
}

// The file a path finally names. A rename over a symbolic link would replace
// the link and leave the file it points to stale, so a rewrite goes to that
// file, as a write in place would. A target that need not exist yet is fine.
std::filesystem::path link_target(std::filesystem::path path) {
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code ec;
        if (!std::filesystem::is_symlink(std::filesystem::symlink_status(path, ec))) break;
        auto next = std::filesystem::read_symlink(path, ec);
        if (ec) break;
        path = next.is_absolute() ? std::move(next) : path.parent_path() / next;
    }
    return path;
}

// What an append must know of the file before writing.
struct FileState {
    bool legacy = false;
    bool ends_with_line_feed = true;
    std::string legacy_text;
};

// Reads, through the descriptor that will then write, only the leading white
// space and the last byte of a lines file, so an append costs the same
// whatever the store's size; a legacy array file is read whole for its
// conversion.
core::Expected<FileState, IoError> inspect(int fd) {
    FileState state;
    char buffer[4096];
    std::optional<char> first;
    char last = '\n';
    off_t offset = 0;
    while (!first) {
        const ssize_t n = ::pread(fd, buffer, sizeof buffer, offset);
        if (n < 0) {
            if (errno == EINTR) continue;
            return core::Unexpected{last_os_error()};
        }
        if (n == 0) break;
        offset += n;
        last = buffer[n - 1];
        for (ssize_t i = 0; i < n; ++i) {
            if (is_space(buffer[i])) continue;
            first = buffer[i];
            break;
        }
    }
    if (first == '[') {
        if (::lseek(fd, 0, SEEK_SET) != 0) return core::Unexpected{last_os_error()};
        if (auto error = read_rest(fd, state.legacy_text)) return core::Unexpected{std::move(*error)};
        if (!core::is_valid_utf8(state.legacy_text)) return core::Unexpected{IoError::invalid_data("file is not valid UTF-8")};
        state.legacy = true;
        return state;
    }
    const off_t size = first ? ::lseek(fd, 0, SEEK_END) : offset;
    if (size < 0) return core::Unexpected{last_os_error()};
    // Unless everything up to the end was read above, fetch the last byte.
    while (size != offset) {
        const ssize_t n = ::pread(fd, &last, 1, size - 1);
        if (n >= 0) break;
        if (errno != EINTR) return core::Unexpected{last_os_error()};
    }
    state.ends_with_line_feed = last == '\n';
    return state;
}

// The store opened for inspecting and appending, created (with its directory)
// when missing.
core::Expected<Fd, IoError> open_for_append(const std::filesystem::path& path) {
    if (auto error = check_path(path)) return core::Unexpected{std::move(*error)};
    constexpr int kFlags = O_RDWR | O_APPEND | O_CREAT;
    int fd = open_retrying(path.c_str(), kFlags, 0666);
    if (fd < 0) {
        if (auto error = create_parent_dirs(path)) return core::Unexpected{std::move(*error)};
        fd = open_retrying(path.c_str(), kFlags, 0666);
        if (fd < 0) return core::Unexpected{last_os_error()};
    }
    return Fd(fd);
}

}  // namespace

std::string_view trim_leading(std::string_view text) noexcept {
    std::size_t i = 0;
    while (i < text.size() && is_space(text[i])) ++i;
    return text.substr(i);
}

std::string_view trim(std::string_view text) noexcept {
    text = trim_leading(text);
    while (!text.empty() && is_space(text.back())) text.remove_suffix(1);
    return text;
}

std::optional<IoError> check_path(const std::filesystem::path& path) {
    if (path.native().find('\0') == std::string::npos) return std::nullopt;
    return IoError{IoError::Kind::InvalidInput, "file name contained an unexpected NUL byte"};
}

bool is_cut_short(std::string_view line) {
    if (line.empty() || (line.front() != '{' && line.front() != '[')) return false;
    const auto value = parse_value(line);
    if (value) return false;
    using namespace json_syntax;
    const std::string_view what = value.error().description;
    return what == kEofValue || what == kEofObject || what == kEofList || what == kEofString;
}

core::Expected<std::string, IoError> read_store_text(const std::filesystem::path& path) {
    if (auto error = check_path(path)) return core::Unexpected{std::move(*error)};
    std::string text;
    Fd fd(open_retrying(path.c_str(), O_RDONLY));
    if (!fd.valid()) {
        if (errno == ENOENT) return text;
        return core::Unexpected{last_os_error()};
    }
    if (auto error = read_rest(fd.get(), text)) return core::Unexpected{std::move(*error)};
    if (auto error = check_utf8(text)) return core::Unexpected{std::move(*error)};
    return text;
}

core::Expected<std::filesystem::path, IoError> home_store_path(std::string_view file_name) {
    auto home = util::vantorel_home_dir();
    if (!home) return home;
    return *home / file_name;
}

std::optional<IoError> create_parent_dirs(const std::filesystem::path& path) {
    if (auto error = check_path(path)) return error;
    const auto parent = path.parent_path();
    if (parent.empty()) return std::nullopt;
    std::error_code ec;
    std::filesystem::create_directories(parent, ec);
    if (ec) return IoError::from_errno(ec.value());
    return std::nullopt;
}

std::optional<IoError> replace_file(const std::filesystem::path& link, std::string_view text, WriteFn write_fn,
                                    TempFile temp_file) {
    if (auto error = check_path(link)) return error;
    const std::filesystem::path path = link_target(link);
    if (write_fn == nullptr) write_fn = &default_write;
    auto temp = Temporary::create(path, temp_file);
    if (!temp) return std::move(temp).error();

    struct stat old {};
    if (::stat(path.c_str(), &old) == 0 && ::fchmod(temp->fd(), old.st_mode & 07777) != 0) return last_os_error();
    if (auto error = write_text(temp->fd(), text, write_fn)) return error;
    if (::fsync(temp->fd()) != 0) return last_os_error();
    if (!temp->named()) {
        // Some file systems make unnamed files but cannot link them.
        if (temp->link()) return replace_file(link, text, write_fn, TempFile::Named);
    }
    if (auto error = temp->commit()) return error;
    sync_directory(path.parent_path());
    remove_stale_temporaries(path);
    return std::nullopt;
}

core::Expected<std::filesystem::path, IoError> append_line(const std::filesystem::path& path, std::string_view line,
                                                           LegacyConverter convert_legacy) {
    auto fd = open_for_append(path);
    if (!fd) return core::Unexpected{std::move(fd).error()};
    auto state = inspect(fd->get());
    if (!state) return core::Unexpected{std::move(state).error()};

    if (state->legacy) {
        // The old records and the new one reach the file in one replacement.
        auto lines = convert_legacy(state->legacy_text);
        if (!lines) return core::Unexpected{std::move(lines).error()};
        std::string text = std::move(lines).value();
        text += line;
        text += '\n';
        if (auto error = replace_file(path, text)) return core::Unexpected{std::move(*error)};
        return path;
    }

    std::string out;
    out.reserve(line.size() + 2);
    if (!state->ends_with_line_feed) out += '\n';
    out += line;
    out += '\n';
    if (auto error = write_all(fd->get(), out, &default_write)) return core::Unexpected{std::move(*error)};
    if (auto error = fd->close()) return core::Unexpected{std::move(*error)};
    return path;
}

}  // namespace vantorel::embed::store
