# Writes a C++ source defining `std::string_view NAME() noexcept` in namespace
# NAMESPACE that returns the bytes of INPUT. The bytes go in as an array of
# numbers, not a string literal, so no literal length limit applies.
# Usage: cmake -DINPUT=... -DOUTPUT=... -DNAMESPACE=... -DNAME=... -DHEADER=... -P embed_text.cmake
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){16})" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp"
"// Generated from ${INPUT} at build time; edit that file instead.
#include \"${HEADER}\"

namespace ${NAMESPACE} {
namespace {

constexpr unsigned char kBytes[${size} + 1] = {
${bytes}
0};

}  // namespace

std::string_view ${NAME}() noexcept { return {reinterpret_cast<const char*>(kBytes), ${size}}; }

}  // namespace ${NAMESPACE}
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
