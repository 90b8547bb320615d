#include "embed/viz/page_file.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>

#include "core/format.hpp"
#include "embed/io_error.hpp"

namespace vantorel::embed::viz {
namespace {

struct Message {
    std::string operator()(const PageFileError::WriteFailed& e) const {
        return core::format("failed to write {}: {}", e.path, e.os);
    }
    std::string operator()(const PageFileError::ResolveFailed& e) const {
        return core::format("failed to resolve path: {}", e.os);
    }
};

std::string last_os_text() { return IoError::from_errno(errno).text; }

// Writes all of `data`; returns errno of the failure, or 0.
int write_file(const std::string& path, std::string_view data) {
    int fd = -1;
    do {
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return errno;
    int err = 0;
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            err = errno;
            break;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    // Closing reports the late write errors of some file systems.
    if (::close(fd) != 0 && err == 0 && errno != EINTR) err = errno;
    return err;
}

}  // namespace

std::string PageFileError::message() const { return std::visit(Message{}, kind); }

core::Expected<std::string, PageFileError> write_page(const std::string& output, std::string_view page) {
    // The system call would see only the text before a NUL: refuse it rather than write elsewhere.
    if (output.find('\0') != std::string::npos) {
        return core::Unexpected{PageFileError{PageFileError::WriteFailed{output, IoError::from_errno(EINVAL).text}}};
    }
    if (const int err = write_file(output, page); err != 0) {
        return core::Unexpected{PageFileError{PageFileError::WriteFailed{output, IoError::from_errno(err).text}}};
    }
    const std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(output.c_str(), nullptr), &std::free);
    if (!resolved) return core::Unexpected{PageFileError{PageFileError::ResolveFailed{last_os_text()}}};
    return std::string(resolved.get());
}

}  // namespace vantorel::embed::viz
