#include "embed/json/json_reader.hpp"

#include <algorithm>
#include <type_traits>

#include "core/invariant.hpp"

namespace vantorel::embed {
namespace {

using namespace json_syntax;

// Deep enough for any record; shallow enough that the recursive tree reader
// cannot exhaust the stack.
constexpr std::size_t kMaxDepth = 128;

constexpr bool starts_number(int c) noexcept { return c == '-' || (c >= '0' && c <= '9'); }

std::string describe(const JsonNumber& n) {
    return std::visit(
        [](auto v) {
            if constexpr (std::is_same_v<decltype(v), double>) {
                return json_message::floating(v);
            } else {
                return json_message::integer(v);
            }
        },
        n);
}

}  // namespace

// ---- shared steps ---------------------------------------------------------

bool JsonReader::take_colon() {
    if (!colon_pending_) return true;
    colon_pending_ = false;
    const int c = scan_.skip_whitespace();
    if (c == ':') {
        scan_.eat();
        return true;
    }
    scan_.fail_at_peek(c < 0 ? kEofObject : kExpectedColon);
    return false;
}

// The first character of the next value, or -1 (with the error recorded) when
// the reading has failed or the text ends.
int JsonReader::value_start() {
    if (scan_.failed() || !take_colon()) return -1;
    const int c = scan_.skip_whitespace();
    if (c < 0) scan_.fail_at_peek(kEofValue);
    return c;
}

bool JsonReader::enter() {
    if (++depth_ >= kMaxDepth) {
        scan_.fail_at_peek(kRecursionLimit);
        return false;
    }
    return true;
}

void JsonReader::check_no_pending_colon() const {
    if (colon_pending_) core::stop("a JSON key's value was neither read nor skipped");
}

// Describes the value that stands where `expected` was wanted, consuming it
// when it is a scalar (a container is reported at its opening bracket).
void JsonReader::fail_invalid_type(std::string_view expected) {
    std::string found;
    const int c = scan_.peek();
    switch (c) {
        case 'n':
            scan_.eat();
            if (!scan_.scan_ident("ull")) return;
            found = json_message::kNull;
            break;
        case 't':
        case 'f':
            scan_.eat();
            if (!scan_.scan_ident(c == 't' ? "rue" : "alse")) return;
            found = json_message::boolean(c == 't');
            break;
        case '"':
            scan_.eat();
            if (!scan_.scan_string(found)) return;
            found = json_message::string(found);
            break;
        case '[': found = json_message::kSequence; break;
        case '{': found = json_message::kMap; break;
        default: {
            if (!starts_number(c)) {
                scan_.fail_at_peek(kExpectedValue);
                return;
            }
            const auto n = scan_.scan_number();
            if (!n) return;
            found = describe(*n);
            break;
        }
    }
    scan_.fail_here(json_message::invalid_type(found, expected));
}

void JsonReader::fail_in_object(std::string_view description) {
    if (scan_.skip_whitespace() == '}') scan_.eat();
    scan_.fail_here(description);
}

void JsonReader::fail_in_array(std::string_view description) {
    const int c = scan_.skip_whitespace();
    if (c == ']') {
        scan_.eat();
    } else if (c == ',') {
        scan_.eat();
        scan_.skip_whitespace();
    }
    scan_.fail_here(description);
}

void JsonReader::finish() {
    if (scan_.failed()) return;
    check_no_pending_colon();
    if (scan_.skip_whitespace() >= 0) scan_.fail_at_peek(kTrailingCharacters);
}

// ---- scalars --------------------------------------------------------------

JsonKind JsonReader::peek() {
    if (scan_.failed() || !take_colon()) return JsonKind::End;
    const int c = scan_.skip_whitespace();
    switch (c) {
        case -1: return JsonKind::End;
        case 'n': return JsonKind::Null;
        case 't':
        case 'f': return JsonKind::Bool;
        case '"': return JsonKind::String;
        case '[': return JsonKind::Array;
        case '{': return JsonKind::Object;
        default: return starts_number(c) ? JsonKind::Number : JsonKind::Invalid;
    }
}

JsonNumber JsonReader::read_number() {
    const int c = value_start();
    if (c < 0) return std::uint64_t{0};
    if (!starts_number(c)) {
        fail_invalid_type("a number");
        return std::uint64_t{0};
    }
    return scan_.scan_number(MinusZero::Integer).value_or(std::uint64_t{0});
}

std::uint64_t JsonReader::read_u64() {
    const int c = value_start();
    if (c < 0) return 0;
    if (!starts_number(c)) {
        fail_invalid_type("u64");
        return 0;
    }
    const auto n = scan_.scan_number();
    if (!n) return 0;
    if (const auto* u = std::get_if<std::uint64_t>(&*n)) return *u;
    if (const auto* i = std::get_if<std::int64_t>(&*n)) {
        scan_.fail_here(json_message::invalid_value(json_message::integer(*i), "u64"));
    } else {
        scan_.fail_here(json_message::invalid_type(describe(*n), "u64"));
    }
    return 0;
}

double JsonReader::read_f64() {
    const int c = value_start();
    if (c < 0) return 0.0;
    if (!starts_number(c)) {
        fail_invalid_type("f64");
        return 0.0;
    }
    const auto n = scan_.scan_number();
    if (!n) return 0.0;
    return std::visit([](auto v) { return static_cast<double>(v); }, *n);
}

std::string JsonReader::read_string() {
    std::string out;
    const int c = value_start();
    if (c < 0) return out;
    if (c != '"') {
        fail_invalid_type("a string");
        return out;
    }
    scan_.eat();
    if (!scan_.scan_string(out)) out.clear();
    return out;
}

bool JsonReader::read_bool() {
    const int c = value_start();
    if (c < 0) return false;
    if (c != 't' && c != 'f') {
        fail_invalid_type("a boolean");
        return false;
    }
    scan_.eat();
    return scan_.scan_ident(c == 't' ? "rue" : "alse") && c == 't';
}

void JsonReader::read_null() {
    const int c = value_start();
    if (c < 0) return;
    if (c != 'n') {
        fail_invalid_type("unit");
        return;
    }
    scan_.eat();
    scan_.scan_ident("ull");
}

// ---- skipping -------------------------------------------------------------

// After an object's comma or opening brace: the key and the colon to come.
bool JsonReader::skip_key() {
    const int c = scan_.skip_whitespace();
    if (c != '"') {
        scan_.fail_at_peek(c < 0 ? kEofObject : kKeyMustBeString);
        return false;
    }
    scan_.eat();
    if (!scan_.skip_string()) return false;
    colon_pending_ = true;
    return true;
}

// Right after an opening bracket: true when an entry follows, false when the
// container closes at once (or fails).
bool JsonReader::skip_container_start(char open) {
    const int c = scan_.skip_whitespace();
    if (c == (open == '[' ? ']' : '}')) {
        scan_.eat();
        return false;
    }
    if (open == '{') return skip_key();
    if (c < 0) scan_.fail_at_peek(kEofList);
    return c >= 0;
}

void JsonReader::skip_scalar(int c) {
    switch (c) {
        case 'n': scan_.eat(); scan_.scan_ident("ull"); return;
        case 't': scan_.eat(); scan_.scan_ident("rue"); return;
        case 'f': scan_.eat(); scan_.scan_ident("alse"); return;
        case '"': scan_.eat(); scan_.skip_string(); return;
        default:
            if (starts_number(c)) {
                scan_.skip_number();
            } else {
                scan_.fail_at_peek(kExpectedValue);
            }
    }
}

// Iterative, so that skipping never recurses however deep the value nests.
void JsonReader::skip_value() {
    std::string open;  // brackets of the containers being skipped, innermost last
    bool need_value = true;
    while (!scan_.failed()) {
        if (need_value) {
            const int c = value_start();
            if (c < 0) return;
            if (c == '[' || c == '{') {
                scan_.eat();
                if (skip_container_start(static_cast<char>(c))) {
                    open += static_cast<char>(c);
                    continue;
                }
            } else {
                skip_scalar(c);
            }
            if (scan_.failed() || open.empty()) return;
            need_value = false;
        }
        // After an entry: a comma and the next entry, or the closing bracket.
        const char frame = open.back();
        const int d = scan_.skip_whitespace();
        if (d == (frame == '[' ? ']' : '}')) {
            scan_.eat();
            open.pop_back();
            if (open.empty()) return;
            continue;
        }
        if (d != ',') {
            if (d < 0) {
                scan_.fail_at_peek(frame == '[' ? kEofList : kEofObject);
            } else {
                scan_.fail_at_peek(frame == '[' ? kExpectedListCommaOrEnd : kExpectedObjectCommaOrEnd);
            }
            return;
        }
        scan_.eat();
        need_value = true;
        if (frame == '{') skip_key();
    }
}

// ---- enumerations ---------------------------------------------------------

std::size_t JsonReader::read_variant_name(std::span<const std::string_view> names) {
    const int c = scan_.skip_whitespace();
    if (c < 0) {
        scan_.fail_at_peek(kEofValue);
        return 0;
    }
    if (c != '"') {
        fail_invalid_type("variant identifier");
        return 0;
    }
    scan_.eat();
    std::string name;
    if (!scan_.scan_string(name)) return 0;
    const auto it = std::find(names.begin(), names.end(), name);
    if (it == names.end()) {
        scan_.fail_here(json_message::unknown_variant(name, names));
        return 0;
    }
    return static_cast<std::size_t>(it - names.begin());
}

std::size_t JsonReader::read_unit_variant(std::span<const std::string_view> names) {
    const int c = value_start();
    if (c < 0) return 0;
    if (c == '"') return read_variant_name(names);
    if (c != '{') {
        scan_.fail_at_peek(kExpectedValue);
        return 0;
    }
    if (!enter()) return 0;
    scan_.eat();
    const std::size_t index = read_variant_name(names);
    if (scan_.failed()) return 0;
    colon_pending_ = true;
    const int v = value_start();
    if (v < 0) return 0;
    if (v != 'n') {
        fail_invalid_type("unit");
        return 0;
    }
    scan_.eat();
    if (!scan_.scan_ident("ull")) return 0;
    const int end = scan_.skip_whitespace();
    if (end != '}') {
        scan_.fail_here(end < 0 ? kEofObject : kExpectedValue);
        return 0;
    }
    scan_.eat();
    leave();
    return index;
}

// ---- containers -----------------------------------------------------------

bool JsonReader::begin_container(char open, std::string_view expected) {
    const int c = value_start();
    if (c < 0) return false;
    if (c != open) {
        fail_invalid_type(expected);
        return false;
    }
    if (!enter()) return false;
    scan_.eat();
    first_ = true;
    return true;
}

bool JsonReader::begin_object(std::string_view expected) { return begin_container('{', expected); }

bool JsonReader::begin_array(std::string_view expected) { return begin_container('[', expected); }

JsonReader::Form JsonReader::begin_record(std::string_view record_name) {
    const int c = value_start();
    if (c < 0) return Form::Neither;
    if (c != '{' && c != '[') {
        fail_invalid_type("struct " + std::string(record_name));
        return Form::Neither;
    }
    if (!enter()) return Form::Neither;
    scan_.eat();
    first_ = true;
    return c == '{' ? Form::Object : Form::Array;
}

std::optional<std::string> JsonReader::next_key() {
    if (scan_.failed()) return std::nullopt;
    interrupt_.tick();
    check_no_pending_colon();
    int c = scan_.skip_whitespace();
    if (c < 0) {
        scan_.fail_at_peek(kEofObject);
        return std::nullopt;
    }
    if (c == '}') return std::nullopt;
    if (first_) {
        first_ = false;
    } else if (c == ',') {
        scan_.eat();
        c = scan_.skip_whitespace();
        if (c == '}' || c < 0) {
            scan_.fail_at_peek(c < 0 ? kEofValue : kTrailingComma);
            return std::nullopt;
        }
    } else {
        scan_.fail_at_peek(kExpectedObjectCommaOrEnd);
        return std::nullopt;
    }
    if (c != '"') {
        scan_.fail_at_peek(kKeyMustBeString);
        return std::nullopt;
    }
    scan_.eat();
    std::string key;
    if (!scan_.scan_string(key)) return std::nullopt;
    colon_pending_ = true;
    return key;
}

void JsonReader::end_object() {
    if (scan_.failed()) return;
    check_no_pending_colon();
    const int c = scan_.skip_whitespace();
    if (c == '}') {
        scan_.eat();
        leave();
        first_ = false;
        return;
    }
    scan_.fail_at_peek(c < 0 ? kEofObject : (c == ',' ? kTrailingComma : kTrailingCharacters));
}

bool JsonReader::next_element() {
    if (scan_.failed()) return false;
    interrupt_.tick();
    int c = scan_.skip_whitespace();
    if (c < 0) {
        scan_.fail_at_peek(kEofList);
        return false;
    }
    if (c == ']') return false;
    if (first_) {
        first_ = false;
        return true;
    }
    if (c != ',') {
        scan_.fail_at_peek(kExpectedListCommaOrEnd);
        return false;
    }
    scan_.eat();
    c = scan_.skip_whitespace();
    if (c == ']' || c < 0) {
        scan_.fail_at_peek(c < 0 ? kEofValue : kTrailingComma);
        return false;
    }
    return true;
}

void JsonReader::end_array() {
    if (scan_.failed()) return;
    const int c = scan_.skip_whitespace();
    if (c == ']') {
        scan_.eat();
        leave();
        first_ = false;
        return;
    }
    if (c == ',') {
        scan_.eat();
        scan_.fail_at_peek(scan_.skip_whitespace() == ']' ? kTrailingComma : kTrailingCharacters);
        return;
    }
    scan_.fail_at_peek(c < 0 ? kEofList : kTrailingCharacters);
}

}  // namespace vantorel::embed
