#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/interrupt.hpp"
#include "embed/json/json_error.hpp"
#include "embed/json/json_scanner.hpp"

namespace vantorel::embed {

// What the next value is, judged by its first character.
enum class JsonKind { Null, Bool, Number, String, Array, Object, Invalid, End };

// A pull reader over one JSON text, which must outlive the reader.
//
// The first error is kept and ends the reading: every later call returns at
// once with an empty result (false, 0, "", nullopt), so loops over entries end
// and callers check `ok()` once at the end. Errors carry the position where the
// reader stopped, and scalars of the wrong kind are described the way the
// record readers describe them ("invalid type: string \"x\", expected u64").
//
// Objects: `begin_object`, then `next_key` until it gives nothing, reading or
// skipping each key's value in between, then `end_object`. Arrays likewise
// with `next_element`. Containers nest at most 127 deep.
class JsonReader {
public:
    explicit JsonReader(std::string_view text) noexcept : scan_(text) {}

    [[nodiscard]] bool ok() const noexcept { return !scan_.failed(); }
    [[nodiscard]] const JsonError& error() const { return scan_.error(); }

    // Kind of the next value after white space (End at the end of the text).
    [[nodiscard]] JsonKind peek();

    std::uint64_t read_u64();
    double read_f64();
    // Any number as written, "-0" as the integer 0.
    JsonNumber read_number();
    std::string read_string();
    bool read_bool();
    void read_null();
    // Skips one value of any kind, checking its syntax.
    void skip_value();
    // An enumeration without payload, given as "Name" or {"Name": null};
    // returns the index of the name in `names`.
    std::size_t read_unit_variant(std::span<const std::string_view> names);

    // `expected` names what was wanted when the value is not an object/array.
    bool begin_object(std::string_view expected);
    std::optional<std::string> next_key();
    void end_object();
    bool begin_array(std::string_view expected);
    bool next_element();
    void end_array();

    // A record may come as an object of fields or as an array of them.
    enum class Form { Object, Array, Neither };
    Form begin_record(std::string_view record_name);
    // Data errors found while reading a record's entries: the error points
    // past the record's closing bracket when it comes next.
    void fail_in_object(std::string_view description);
    void fail_in_array(std::string_view description);

    // A data error at the current position.
    void fail(std::string_view description) { scan_.fail_here(description); }
    // Only white space may follow the value.
    void finish();

private:
    int value_start();
    bool take_colon();
    bool enter();
    void leave() noexcept { --depth_; }
    void check_no_pending_colon() const;
    void fail_invalid_type(std::string_view expected);
    bool begin_container(char open, std::string_view expected);
    void skip_scalar(int c);
    bool skip_container_start(char open);
    bool skip_key();
    std::size_t read_variant_name(std::span<const std::string_view> names);

    JsonScanner scan_;
    // Large texts are read with Ctrl-C honoured, checked every so many entries.
    core::InterruptTicker interrupt_;
    std::size_t depth_ = 0;
    // A fresh container has no comma before its first entry.
    bool first_ = false;
    // `next_key` leaves the colon for the value's read.
    bool colon_pending_ = false;
};

}  // namespace vantorel::embed
