#include "python/runtime/params.hpp"

namespace vantorel::python {

std::string Params::callable() const {
    std::string name;
    if (owner != nullptr) {
        name += owner;
        name += '.';
    }
    name += function;
    name += "()";
    return name;
}

std::string documentation(const char* name, Receiver receiver, std::span<const Param> params, std::string_view body) {
    std::string out = name;
    out += '(';
    const auto separate = [&out] {
        if (out.back() != '(') out += ", ";
    };
    if (receiver == Receiver::Self) out += "$self";
    if (receiver == Receiver::Cls) out += "$cls";
    bool keyword_only_started = false;
    for (const Param& p : params) {
        if (p.kind == Kind::KeywordOnly && !keyword_only_started) {
            keyword_only_started = true;
            separate();
            out += '*';
        }
        separate();
        out += p.name;
        if (p.default_text != nullptr) {
            out += '=';
            out += p.default_text;
        }
    }
    out += ")\n--\n\n";
    out += body;
    return out;
}

}  // namespace vantorel::python
