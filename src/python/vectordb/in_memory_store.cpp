// The Python InMemoryStore: construction, upsert, count and repr.
#include <cmath>
#include <vector>

#include "core/format.hpp"
#include "core/interrupt.hpp"
#include "python/runtime/gil.hpp"
#include "python/vectordb/record_conversion.hpp"
#include "python/vectordb/vectordb.hpp"

namespace vantorel::python {
namespace {

constexpr Param kNewParams[] = {{"collection"}, {"dimension"}};
constexpr Params kNew{"InMemoryStore", "__new__", kNewParams};
constexpr Param kUpsertParams[] = {{"records"}};
constexpr Params kUpsert{"InMemoryStore", "upsert", kUpsertParams};

PyInMemoryStore construct(const Args<kNewParams>& a) {
    std::string collection = a.str<"collection">();
    const std::uint64_t dimension = a.u64<"dimension">();
    return {std::make_shared<vectordb::InMemoryStore>(std::move(collection), dimension)};
}

// A sequence (not a str) of dicts, as borrowed-then-owned references.
std::vector<Ref> record_dicts(PyObject* obj) {
    if (PyUnicode_Check(obj)) raise_type_error("Can't extract `str` to `Vec`");
    if (!PySequence_Check(obj)) raise_cast_error(obj, "Sequence");
    std::vector<Ref> dicts;
    dicts.reserve(reservation_for(obj));
    for_each_item(obj, [&dicts](PyObject* item) {
        if (!PyDict_Check(item)) raise_cast_error(item, "dict");
        dicts.push_back(Ref::borrow(item));
    });
    return dicts;
}

// Non-finite values would poison every score of the store; refused before
// anything of the call is stored.
void check_finite(const vectordb::VectorRecord& record) {
    for (std::size_t i = 0; i < record.vector.size(); ++i) {
        if (!std::isfinite(record.vector[i])) {
            raise_value_error(core::format("record '{}': vector values must be finite (no NaN or Inf), found {} at index {}",
                                           record.id, record.vector[i], i));
        }
    }
}

// The interpreter lock stays held; Ctrl-C is honoured between records and
// in the store's own work before it takes its lock, and stops the call with
// none of its records stored.
Ref upsert(const PyInMemoryStore& s, const Args<kUpsertParams>& a) {
    const std::vector<Ref> dicts = a.convert<"records">(record_dicts);
    return with_interrupts([&] {
        std::vector<vectordb::VectorRecord> records;
        records.reserve(dicts.size());
        for (const Ref& dict : dicts) {
            core::check_interrupt();
            records.push_back(parse_record(dict.get()));
            check_finite(records.back());
        }
        store_value(s.store->upsert(records));
        return none();
    });
}

std::uint64_t count(const PyInMemoryStore& s) { return store_value(s.store->count()); }

std::string repr(const PyInMemoryStore& s) {
    return core::format("InMemoryStore(collection={:?}, dimension={})", s.store->collection(), s.store->dimension());
}

}  // namespace

Class<PyInMemoryStore>& in_memory_store_class() {
    static Class<PyInMemoryStore> cls("InMemoryStore");
    static Class<PyInMemoryStore>& described =
        cls.constructor<construct, kNew>("In-memory vector store for testing and small datasets.\n"
                                         "\n"
                                         "Uses brute-force cosine similarity \u2014 O(n) per query.\n"
                                         "Pass this to VectorStoreBridge to build a vantorel pipeline.")
            .method<upsert, kUpsert>("Insert or update records.\n"
                                     "\n"
                                     "Args:\n"
                                     "    records: List of dicts with keys 'id' (str), 'vector' (list[float]),\n"
                                     "        and optionally 'metadata' (dict).")
            .method<[](const PyInMemoryStore& s) { return to_py(count(s)); }>(
                "count", "Return the number of records in the store.")
            .length<count>()
            .repr<repr>();
    return described;
}

}  // namespace vantorel::python
