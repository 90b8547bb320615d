// Which argument reads compile, checked when this file compiles: no read may
// reach the missing object of an omitted argument.
#include "python/runtime/args.hpp"

namespace vantorel::python {
namespace {

constexpr Param kList[] = {{"query"}, {"k", "5"}, keyword_only("sigma", "None")};
using A = Args<kList>;

template <ParamName N>
concept object_read = requires(const A& a) { a.template object<N>(); };
template <ParamName N>
concept f64_read = requires(const A& a) { a.template f64<N>(); };
template <ParamName N>
concept u64_read = requires(const A& a) { a.template u64<N>(); };
template <ParamName N>
concept flag_read = requires(const A& a) { a.template flag<N>(); };
template <ParamName N>
concept str_read = requires(const A& a) { a.template str<N>(); };
template <ParamName N>
concept str_list_read = requires(const A& a) { a.template str_list<N>(); };
template <ParamName N>
concept instance_read = requires(const A& a, PyTypeObject* type) { a.template instance<N>(type, ""); };
template <ParamName N>
concept converted_read = requires(const A& a) { a.template convert<N>(to_string_view); };
template <ParamName N>
concept optional_object_read = requires(const A& a) { a.template optional<N>(); };
template <ParamName N>
concept optional_converted_read = requires(const A& a) { a.template optional<N>(to_u64); };

template <ParamName N>
constexpr bool any_direct_read = object_read<N> || f64_read<N> || u64_read<N> || flag_read<N> || str_read<N> ||
                                 str_list_read<N> || instance_read<N> || converted_read<N>;
template <ParamName N>
constexpr bool any_optional_read = optional_object_read<N> || optional_converted_read<N>;

// A required parameter always has its argument: every direct read.
static_assert(object_read<"query"> && f64_read<"query"> && u64_read<"query"> && flag_read<"query"> &&
              str_read<"query"> && str_list_read<"query"> && instance_read<"query"> && converted_read<"query">);
static_assert(!any_optional_read<"query">);

// A value default: the reads that take the default, and no other.
static_assert(f64_read<"k"> && u64_read<"k"> && flag_read<"k"> && str_read<"k">);
static_assert(!object_read<"k"> && !str_list_read<"k"> && !instance_read<"k"> && !converted_read<"k">);
static_assert(!any_optional_read<"k">);

// A None default: only the reads that say what its absence gives.
static_assert(optional_object_read<"sigma"> && optional_converted_read<"sigma">);
static_assert(!any_direct_read<"sigma">);

}  // namespace
}  // namespace vantorel::python
