// How call handlers are written. Each function of the table has a Handler<Id>; the primary
// template has no Run() and the dispatch answers such functions with -101 (not supported) and
// no out-values. A real handler is an explicit specialisation declared with WYRLAN_HANDLER(Name)
// in a handlers_*.h that dispatch.cpp includes, and defined with WYRLAN_HANDLE(Name) { ... }:
//
//   WYRLAN_HANDLE(GetPumpsCount) {          // in: const In<Id>&, out: Out<Id>&, call: CallContext&
//       std::get<0>(out) = 12;              // out-values in table order
//       return Ok();                        // 0, with the out-values
//   }
//
// In<Id> and Out<Id> are tuples of the function's in and out parameters in table order, typed
// int16_t, uint16_t, int32_t, int64_t, double (f64 and date) and Text (null or UTF-16). The
// dispatch has read and checked the in-values already (wrong number or type: -102) and writes
// the out-values when Reply::withOut is set.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <tuple>

#include "quendril/api/api_table.h"
#include "wyrlan/services.h"
#include "wyrlan/session.h"

namespace wyrlan {

class CallConnection;

using Text = std::optional<std::u16string>;  // nullopt: the null BSTR

// The context of one call.
struct CallContext {
    Services& services;
    CallConnection& connection;
    std::shared_ptr<Session>& session;  // null before logon; a logon handler sets it
    bool idsAccepted;
};

struct Reply {
    int32_t result;
    bool withOut;  // send every out-value (else none)
};
inline Reply Ok() { return {0, true}; }
inline Reply Fail(int32_t result) { return {result, false}; }

// The C++ value of one wire parameter.
template <quendril::api::Type T> struct WireValue { using type = typename quendril::api::ValueOf<T>::type; };
template <> struct WireValue<quendril::api::Type::kText> { using type = Text; };

template <class P, quendril::api::Dir D>
using PickIf = std::conditional_t<P::dir == D, std::tuple<typename WireValue<P::type>::type>, std::tuple<>>;

template <class Sig> struct WireSig;
template <class... P> struct WireSig<quendril::api::Params<P...>> {
    using In = decltype(std::tuple_cat(std::declval<PickIf<P, quendril::api::Dir::kIn>>()...));
    using Out = decltype(std::tuple_cat(std::declval<PickIf<P, quendril::api::Dir::kOut>>()...));
};

template <quendril::api::FunctionId Id> struct SigOf;
#define WYRLAN_SIG_OF(Name, ...) \
    template <> struct SigOf<quendril::api::FunctionId::Name> { using type = quendril::api::sig::Name; };
QUENDRIL_FUNCTIONS(WYRLAN_SIG_OF)
#undef WYRLAN_SIG_OF

template <quendril::api::FunctionId Id> using In = typename WireSig<typename SigOf<Id>::type>::In;
template <quendril::api::FunctionId Id> using Out = typename WireSig<typename SigOf<Id>::type>::Out;

template <quendril::api::FunctionId Id> struct Handler {};

#define WYRLAN_HANDLER(Name)                                                                         \
    template <> struct Handler<::quendril::api::FunctionId::Name> {                                 \
        static Reply Run(CallContext& call, const In<::quendril::api::FunctionId::Name>& in,         \
                         Out<::quendril::api::FunctionId::Name>& out);                              \
    };

#define WYRLAN_HANDLE(Name)                                                                          \
    Reply Handler<::quendril::api::FunctionId::Name>::Run(                                           \
        [[maybe_unused]] CallContext& call, [[maybe_unused]] const In<::quendril::api::FunctionId::Name>& in, \
        [[maybe_unused]] Out<::quendril::api::FunctionId::Name>& out)

// UTF-8 to UTF-16 (ASCII-safe; used for fixed texts and the configured hash key).
std::u16string ToUtf16(std::string_view utf8);

}  // namespace wyrlan
