// Calls any server function of the API table through libQuendril by its table ID, with the
// in-arguments and out-values as store Values in the table's order - the same shape
// Store::Call takes - so a store test can run unchanged through the client library against a
// live wyrlan. The callers are generated from the table's MT type lists; nothing is retyped.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <vector>

#include "quendril/api/api_table.h"
#include "quendril/include/quendril.h"
#include "wyrlan/store/value.h"

namespace wyrlan::store::testing {

namespace detail {

namespace api = quendril::api;

// Storage for one parameter of a call; Arg() is what the C function takes.
template <class P>
struct Slot {
    using V = typename P::Value;
    V v{};
    Slot() = default;
    Slot(const Slot&) = delete;
    Slot& operator=(const Slot&) = delete;
    ~Slot() {
        if constexpr (std::is_same_v<V, BSTR>) SysFreeString(v);
    }
    typename P::CType Arg() {
        if constexpr (P::dir == api::Dir::kOut) {
            return &v;
        } else {
            return v;
        }
    }
    // In-parameters take the next value of `in`, converted to their type.
    bool Load(const std::vector<Value>& in, size_t& at) {
        if constexpr (P::dir == api::Dir::kOut) {
            return true;
        } else {
            if (at >= in.size()) return false;
            Value x = in[at++].As(P::type);
            if constexpr (std::is_same_v<V, BSTR>) {
                v = x.null ? nullptr : SysAllocStringLen(x.text.data(), static_cast<uint32_t>(x.text.size()));
            } else if constexpr (std::is_floating_point_v<V>) {
                v = x.f;
            } else {
                v = static_cast<V>(x.i);
            }
            return true;
        }
    }
    void Collect(std::vector<Value>& out) const {
        if constexpr (P::dir == api::Dir::kOut) {
            if constexpr (std::is_same_v<V, BSTR>) {
                out.push_back(v ? Value::Text(std::u16string(v, SysStringLen(v))) : Value::NullText());
            } else {
                Value x = Value::Zero(P::type);
                if constexpr (std::is_floating_point_v<V>) {
                    x.f = v;
                } else {
                    x.i = v;
                }
                out.push_back(x);
            }
        }
    }
};

template <class Sig>
struct Caller;

template <class... P>
struct Caller<api::Params<P...>> {
    template <auto Fn>
    static int32_t Run(int32_t session, const std::vector<Value>& in, std::vector<Value>& out) {
        std::tuple<Slot<P>...> slots;
        size_t at = 0;
        bool ok = std::apply([&](auto&... s) { return (true && ... && s.Load(in, at)); }, slots);
        out.clear();
        if (!ok || at != in.size()) return QUENDRIL_BAD_ARGUMENT;  // the C API cannot send that
        int32_t result = std::apply([&](auto&... s) { return Fn(session, s.Arg()...); }, slots);
        std::apply([&](const auto&... s) { (s.Collect(out), ...); }, slots);
        return result;
    }
};

using Runner = int32_t (*)(int32_t session, const std::vector<Value>& in, std::vector<Value>& out);

// Only functions that take a session handle and return a result code have a runner.
template <class R, class Session, class Sig, auto Fn>
constexpr Runner RunnerFor() {
    if constexpr (std::is_same_v<R, int32_t> && std::is_same_v<Session, int32_t>) {
        return &Caller<Sig>::template Run<Fn>;
    } else {
        return nullptr;
    }
}

struct NamedRunner {
    std::string_view name;
    Runner run;
};

// In the order of QUENDRIL_MT_FUNCTIONS, which leaves out the local functions.
inline constexpr NamedRunner kRunners[] = {
#define QUENDRIL_TEST_RUNNER(Name, Kind, R, Session, params, args) \
    {#Name, RunnerFor<R, Session, api::sig::Name, &Name##MT>()},
    QUENDRIL_MT_FUNCTIONS(QUENDRIL_TEST_RUNNER)
#undef QUENDRIL_TEST_RUNNER
};

inline Runner RunnerByName(std::string_view name) {
    for (const NamedRunner& r : kRunners) {
        if (r.name == name) return r.run;
    }
    return nullptr;
}

}  // namespace detail

// Calls function `id` on `session`; QUENDRIL_NOT_SUPPORTED for a function without a runner
// (the logons, text functions, functions without a session).
inline int32_t CallThroughLibrary(int32_t session, quendril::api::FunctionId id, const std::vector<Value>& in,
                                  std::vector<Value>& out) {
    auto runner = detail::RunnerByName(quendril::api::kFunctions[static_cast<size_t>(id)].name);
    if (runner == nullptr) return QUENDRIL_NOT_SUPPORTED;
    return runner(session, in, out);
}

}  // namespace wyrlan::store::testing
