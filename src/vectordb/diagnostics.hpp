#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace vantorel::vectordb {

enum class DiagnosticLevel { Warning, Debug };

struct DiagnosticField {
    std::string_view name;
    std::uint64_t value = 0;
};

// A structured event; its texts and fields live only for the call that delivers it.
struct DiagnosticEvent {
    DiagnosticLevel level = DiagnosticLevel::Debug;
    std::string_view target;
    std::string_view message;
    std::span<const DiagnosticField> fields;
};

// Where a host wants diagnostic events to go. Nothing is installed by default;
// an event is only built when a receiver is installed and enabled for its
// level. May be called from several threads at once.
class DiagnosticReceiver {
public:
    virtual ~DiagnosticReceiver() = default;
    [[nodiscard]] virtual bool enabled(DiagnosticLevel level) const = 0;
    virtual void receive(const DiagnosticEvent& event) = 0;
};

}  // namespace vantorel::vectordb
