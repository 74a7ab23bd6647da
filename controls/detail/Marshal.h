// Internal: the wrapping rule of the component's methods and the record handling of its drain,
// as templates over the Quendril function table (quendril/api/api_table.h). Not installed.
//
// Slot<P> is the library-side local of one parameter P (quendril::api::Param): it converts a
// host argument in, hands the library its C value (or address), converts back to the host,
// and frees its BSTR when it goes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <tuple>
#include <utility>

#include "controls/Conversions.h"
#include "controls/Quendril.h"
#include "platform/bstr.h"
#include "quendril/api/api_table.h"
#include "quendril/include/quendril.h"

namespace Varnel::detail {

using quendril::api::Dir;
using quendril::api::FunctionId;
using quendril::api::Info;
using quendril::api::Param;
using quendril::api::Params;
using quendril::api::Type;

// ---- host-side types ---------------------------------------------------------------------

template <Type T> struct HostOf { using type = typename quendril::api::ValueOf<T>::type; };
template <> struct HostOf<Type::kText> { using type = QString; };
template <> struct HostOf<Type::kDate> { using type = QDateTime; };
template <class P> using Host = typename HostOf<P::type>::type;

// ---- locals -------------------------------------------------------------------------------

template <class P, Dir D = P::dir, Type T = P::type>
struct Slot;

// Numbers in.
template <class P, Type T>
struct Slot<P, Dir::kIn, T> {
    typename P::Value v;
    template <class H> explicit Slot(const H& h) : v(static_cast<typename P::Value>(h)) {}
    typename P::Value C() const { return v; }
    template <class H> void Back(H&) const {}
};
template <class P>
struct Slot<P, Dir::kIn, Type::kText> {
    BSTR b;
    explicit Slot(const QString& h) : b(String2BSTR(h)) {}
    ~Slot() { SysFreeString(b); }
    Slot(const Slot&) = delete;
    Slot& operator=(const Slot&) = delete;
    BSTR C() const { return b; }
    template <class H> void Back(H&) const {}
};
template <class P>
struct Slot<P, Dir::kIn, Type::kDate> {
    DATE d;
    explicit Slot(const QDateTime& h) : d(DateTime2DATE(h)) {}
    DATE C() const { return d; }
    template <class H> void Back(H&) const {}
};

// Numbers out: preset to 0 (or 0.0, the DATE 0.0), so a value the library leaves alone comes
// back as a fixed, convertible value.
template <class P, Type T>
struct Slot<P, Dir::kOut, T> {
    typename P::Value v{};
    Slot() = default;
    template <class H> explicit Slot(H&) {}
    typename P::Value* C() { return &v; }
    void Back(typename P::Value& h) const { h = v; }
    typename P::Value Take() { return v; }
};
template <class P>
struct Slot<P, Dir::kOut, Type::kText> {
    BSTR b = nullptr;
    Slot() = default;
    explicit Slot(QString&) {}
    ~Slot() { SysFreeString(b); }
    Slot(const Slot&) = delete;
    Slot& operator=(const Slot&) = delete;
    BSTR* C() { return &b; }
    void Back(QString& h) const { h = BSTR2String(b); }
    QString Take() { return BSTR2String(b); }
};
template <class P>
struct Slot<P, Dir::kOut, Type::kDate> {
    DATE d = 0.0;
    Slot() = default;
    explicit Slot(QDateTime&) {}
    DATE* C() { return &d; }
    void Back(QDateTime& h) const { h = DATE2DateTime(d); }
    QDateTime Take() const { return DATE2DateTime(d); }
};

// ---- names in the table ------------------------------------------------------------------

// Index of the parameter `name` of function id, or size_t(-1).
constexpr size_t ParamIndex(FunctionId id, std::string_view name) {
    auto params = quendril::api::ParamsOf(Info(id));
    for (size_t i = 0; i < params.size(); ++i) {
        if (name == params[i].name) return i;
    }
    return size_t(-1);
}

constexpr size_t RecordIndex(std::string_view name) {
    for (size_t i = 0; i < std::size(quendril::api::kRecords); ++i) {
        if (name == quendril::api::kRecords[i].name) return i;
    }
    return size_t(-1);
}

constexpr const quendril::api::RecordInfo& Record(size_t index) { return quendril::api::kRecords[index]; }

constexpr size_t FieldIndex(size_t record, std::string_view name) {
    auto fields = quendril::api::FieldsOf(Record(record));
    for (size_t i = 0; i < fields.size(); ++i) {
        if (name == fields[i].name) return i;
    }
    return size_t(-1);
}

// ---- access to the component's internals -------------------------------------------------

struct Access {
    static int32_t CheckResult(Quendril& q, int32_t res) { return q.CheckResult(res); }
    static void StoreClientKey(Quendril& q, int32_t key) { q.StoreClientKey(key); }
    static const std::vector<VQPump*>& Pumps(const Quendril& q) { return q._VQPumpsList; }
    static const std::vector<VQTank*>& Tanks(const Quendril& q) { return q._VQTanksList; }
};

// ---- the wrapping rule -------------------------------------------------------------------

// GetDeliverySummaryEx2/Ex3/Ex4 offer the delivery they read to its pump widget. The record's
// values come from the method's own arguments: ID, then the outputs of the same names with a
// "p" in front (DeliveryState and DeliveryType from pState and pType).
constexpr bool OffersDelivery(FunctionId id) {
    return id == FunctionId::GetDeliverySummaryEx2 || id == FunctionId::GetDeliverySummaryEx3 ||
           id == FunctionId::GetDeliverySummaryEx4;
}

constexpr size_t kDeliveryRecord = RecordIndex("DeliveryEventEx3");
constexpr size_t kDeliveryFields = Record(kDeliveryRecord).fieldCount;

constexpr std::array<size_t, kDeliveryFields> DeliveryOfferMap(FunctionId id) {
    std::array<size_t, kDeliveryFields> map{};
    auto fields = quendril::api::FieldsOf(Record(kDeliveryRecord));
    auto params = quendril::api::ParamsOf(Info(id));
    for (size_t f = 0; f < kDeliveryFields; ++f) {
        std::string_view want = fields[f].name;
        if (f == 0) want = "";  // DeliveryID: the method's ID
        else if (want == "DeliveryState") want = "State";
        else if (want == "DeliveryType") want = "Type";
        map[f] = size_t(-1);
        for (size_t p = 0; p < params.size(); ++p) {
            std::string_view name = params[p].name;
            bool match = f == 0 ? name == "ID"
                                : (name.size() == want.size() + 1 && name[0] == 'p' && name.substr(1) == want);
            if (match && params[p].type == fields[f].type) map[f] = p;
        }
    }
    return map;
}

constexpr bool Complete(const auto& map) {
    for (size_t v : map) {
        if (v == size_t(-1)) return false;
    }
    return true;
}

template <FunctionId Id, class HostTuple, size_t... F>
void OfferDelivery(Quendril& q, HostTuple& host, std::index_sequence<F...>) {
    constexpr auto map = DeliveryOfferMap(Id);
    static_assert(Complete(map), "a delivery summary lacks a field of the delivery record");
    q.FireDeliveryEvent(std::get<map[F]>(host)...);
}

template <FunctionId Id, class... P, class Fn, class HostTuple, size_t... I>
auto WrapImpl(Quendril& q, Fn fn, Params<P...>, HostTuple host, std::index_sequence<I...>) {
    constexpr uint32_t flags = Info(Id).flags;
    if constexpr ((flags & quendril::api::kReturnsText) != 0) {
        std::tuple<Slot<P>...> locals(std::get<I>(host)...);
        BSTR text = fn(std::get<I>(locals).C()...);
        QString result = BSTR2String(text);
        SysFreeString(text);
        return result;
    } else {
        if constexpr (Id == FunctionId::SetClientType) Access::StoreClientKey(q, std::get<0>(host));
        int32_t res;
        {
            std::tuple<Slot<P>...> locals(std::get<I>(host)...);
            // The one preset that is not 0: a price sign element without a link reads as -1.
            if constexpr (Id == FunctionId::GetPriceSignElement) {
                std::get<ParamIndex(Id, "pLinkID")>(locals).v = -1;
            }
            res = fn(std::get<I>(locals).C()...);
            if constexpr ((flags & quendril::api::kUnchecked) == 0) res = Access::CheckResult(q, res);
            (std::get<I>(locals).Back(std::get<I>(host)), ...);
        }  // every BSTR of the call is released here
        if constexpr (OffersDelivery(Id)) {
            OfferDelivery<Id>(q, host, std::make_index_sequence<kDeliveryFields>{});
        }
        return res;
    }
}

// The body of every table-made method: Sig is quendril::api::sig::<function>, fn the library
// function, host the method's arguments (outputs by reference).
template <FunctionId Id, class Sig, class Fn, class... H>
auto Wrap(Quendril& q, Fn fn, H&&... host) {
    static_assert(Sig::kCount == sizeof...(H));
    return WrapImpl<Id>(q, fn, Sig{}, std::forward_as_tuple(host...), std::index_sequence_for<H...>{});
}

}  // namespace Varnel::detail
