#include "embed/io_error.hpp"

#include <cerrno>
#include <system_error>

#include "core/format.hpp"

namespace vantorel::embed {

IoError IoError::from_errno(int err) {
    Kind kind = Kind::Other;
    switch (err) {
        case ENOENT: kind = Kind::NotFound; break;
        case EACCES:
        case EPERM: kind = Kind::PermissionDenied; break;
        case EEXIST: kind = Kind::AlreadyExists; break;
        default: break;
    }
    return {kind, core::format("{} (os error {})", std::system_category().message(err), err)};
}

}  // namespace vantorel::embed
