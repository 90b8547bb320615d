#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace vantorel::python {

inline constexpr std::size_t kMaxParams = 16;

// How a parameter may be passed. Every parameter may be given by keyword;
// keyword-only ones follow the `*` of the text signature.
enum class Kind : unsigned char { PositionalOrKeyword, KeywordOnly };

// One declared parameter: its name, its default as the text signature shows
// it (nullptr when the parameter is required) and its kind. A default of
// "None" means that omitting the argument and passing None are the same; any
// other default is the value the argument takes when omitted.
struct Param {
    const char* name;
    const char* default_text = nullptr;
    Kind kind = Kind::PositionalOrKeyword;
};

constexpr Param keyword_only(const char* name, const char* default_text = nullptr) {
    return {name, default_text, Kind::KeywordOnly};
}

// How the text signature names the receiver: "$self" for methods, "$cls" for
// class methods, nothing for static methods and functions.
enum class Receiver : unsigned char { None, Self, Cls };

// The one declaration of a callable's parameters. The binder's bounds, its
// error texts and the text signature are all derived from it; a `_json` twin
// shares its sibling's parameter list under its own name.
struct Params {
    const char* owner;             // class name, or nullptr for a module function
    const char* function;          // "nearest", "__new__"...
    std::span<const Param> list;   // in signature order
    std::size_t positional = 0;    // how many of `list` may be given by position
    std::size_t required = 0;      // leading positional parameters without default

    consteval Params(const char* owner_name, const char* function_name, std::span<const Param> params)
        : owner(owner_name), function(function_name), list(params) {
        // A malformed declaration fails to compile (a throw is no constant expression).
        if (list.size() > kMaxParams) throw "too many declared parameters";
        for (std::size_t i = 0; i < list.size(); ++i) {
            if (list[i].kind == Kind::KeywordOnly) continue;
            if (i != positional) throw "positional parameters must come before keyword-only ones";
            if (list[i].default_text == nullptr) {
                if (required != positional) throw "a required positional parameter follows one with a default";
                ++required;
            }
            ++positional;
        }
    }

    // The name shown in binding errors: "Pipeline.nearest()" or "angular_distance()".
    [[nodiscard]] std::string callable() const;
};

// The documentation text of a callable: its text signature, a line "--", an
// empty line, then `body`; for example "nearest($self, query, k=5)\n--\n\n".
std::string documentation(const char* name, Receiver receiver, std::span<const Param> params, std::string_view body);

}  // namespace vantorel::python
