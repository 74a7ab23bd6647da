// The drain: every queued event of the client library becomes a signal of the component or a
// call of the registered widget it concerns. Readers, records and signals all come from the
// function table; only the kinds with their own routing (1, 2, 9, 13) are written out here.
#include <array>
#include <string_view>
#include <tuple>

#include "controls/Quendril.h"
#include "controls/VQPump.h"
#include "controls/VQTank.h"
#include "controls/detail/Marshal.h"

namespace Varnel {

namespace {

using namespace detail;
using quendril::api::kParamPool;
using quendril::api::kRecords;

// ---- records and their signals -------------------------------------------------------------

#define VARNEL_SIGNAL_PTR(Name, Kind, Fields) &Quendril::Name,
#define VARNEL_RECORD_NAME(Name, Kind, Fields) #Name,
constexpr auto kSignals = std::make_tuple(QUENDRIL_RECORDS(VARNEL_SIGNAL_PTR) nullptr);
constexpr std::string_view kSignalNames[] = {QUENDRIL_RECORDS(VARNEL_RECORD_NAME)};
#undef VARNEL_SIGNAL_PTR
#undef VARNEL_RECORD_NAME

constexpr bool SignalsFollowRecords() {
    if (std::size(kSignalNames) != std::size(kRecords)) return false;
    for (size_t i = 0; i < std::size(kRecords); ++i) {
        if (kSignalNames[i] != kRecords[i].name) return false;
    }
    return true;
}
static_assert(SignalsFollowRecords(), "QUENDRIL_RECORDS and kRecords disagree");

constexpr const quendril::api::ParamInfo& Field(size_t record, size_t i) {
    return kParamPool[Record(record).firstField + i];
}
template <size_t R, size_t I> using FieldHost = typename HostOf<Field(R, I).type>::type;

template <size_t R, class... A>
void Raise(Quendril& q, const std::tuple<A...>& values) {
    std::apply([&](const auto&... a) { (q.*std::get<R>(kSignals))(a...); }, values);
}

// ---- presets -------------------------------------------------------------------------------

// Fields preset before the reader runs; all others start as 0, 0.0 or a null text. The presets
// make a field the library leaves unwritten known, and steer which extended events are raised.
struct FieldPreset {
    int kind;
    std::string_view field;
    int value;
};
constexpr FieldPreset kPresets[] = {
    {1, "PumpID", -1}, {1, "ReservedBy", -1}, {1, "HoseID", -1}, {1, "GradeID", -1}, {1, "Tag", -1},
    {1, "AttendantID", -1}, {1, "AttendantTag", -1}, {1, "CardClientID", -1}, {1, "CardClientTag", -1},
    {1, "PriceLevel", 1},
    {2, "DeliveryID", -1}, {2, "HoseID", -1}, {2, "PumpID", -1}, {2, "TankID", -1}, {2, "GradeID", -1},
    {2, "LockedBy", -1}, {2, "ReservedBy", -1}, {2, "AttendantID", -1}, {2, "CardClientID", -1},
    {2, "PriceLevel", 1},
    {3, "EventID", -1},
    {4, "ClientID", -1}, {4, "EventID", -1},
    {5, "DeviceID", -1},
    {6, "DeliveryID", -1}, {6, "HoseID", -1}, {6, "ReservedBy", -1}, {6, "AttendantID", -1}, {6, "PriceLevel", 1},
    {7, "DeliveryID", -1}, {7, "ClearedBY", -1}, {7, "AttendantID", -1},
    {8, "DeliveryID", -1},
    {9, "HoseID", -1}, {9, "PumpID", -1}, {9, "TankID", -1}, {9, "GradeID", -1},
    {10, "TableID", -1}, {10, "RowID", -1},
    {11, "ID", -1}, {11, "PumpID", -1},
    {12, "ID", -1},
    {13, "TankID", -1}, {13, "GradeID", -1}, {13, "GaugeID", -1},
    {22, "CardReadID", -1}, {22, "PumpID", -1}, {22, "ParentID", -1},
    {23, "PortID", -1}, {23, "ZBAddress", -1}, {23, "ParZBAddress", -1},
    {24, "LogEventID", -1}, {24, "DeviceID", -1},
    {25, "SaleItemID", -1}, {25, "ProductID", -1}, {25, "ProductTag", -1}, {25, "PumpID", -1},
    {25, "AttendantID", -1}, {25, "AttendantTag", -1}, {25, "CardClientID", -1}, {25, "CardClientTag", -1},
    {25, "LockedBy", -1}, {25, "ClearedBy", -1},
    {26, "PortID", -1}, {26, "ZBAddress", -1}, {26, "ParZBAddress", -1}, {26, "ClientID", -1},
    {26, "ClientTag", -1}, {26, "Tag1", -1}, {26, "Tag2", -1}, {26, "Tag3", -1}, {26, "Tag4", -1},
    {26, "Factor1", 1}, {26, "Factor2", 1},
    {27, "PumpID", -1},
};

// The index of the record that events of `kind` carry, or size_t(-1). (Indices, not pointers:
// null tests of pointers into the table are not constant under the sanitizers.)
constexpr size_t KindRecord(int kind) {
    for (size_t i = 0; i < std::size(kRecords); ++i) {
        if (kRecords[i].kind != 0 && kRecords[i].kind == kind) return i;
    }
    return size_t(-1);
}

constexpr int PresetOf(int kind, std::string_view field) {
    for (const FieldPreset& p : kPresets) {
        if (p.kind == kind && p.field == field) return p.value;
    }
    return 0;
}

// Every preset names a numeric field of its kind's record.
constexpr bool PresetsNameFields() {
    for (const FieldPreset& p : kPresets) {
        const size_t r = KindRecord(p.kind);
        if (r == size_t(-1)) return false;
        bool found = false;
        for (const auto& f : quendril::api::FieldsOf(Record(r))) {
            if (p.field == f.name && f.type != Type::kText && f.type != Type::kDate) found = true;
        }
        if (!found) return false;
    }
    return true;
}
static_assert(PresetsNameFields(), "a preset names no numeric field of its record");

template <int Value, class S>
void Preset(S& slot) {
    if constexpr (requires { slot.v; }) slot.v = static_cast<decltype(slot.v)>(Value);
}

// ---- projections ---------------------------------------------------------------------------

// The source field of a narrower record's field: the same name, else the delivery record's
// name for it.
constexpr size_t SourceField(size_t from, std::string_view name) {
    size_t i = FieldIndex(from, name);
    if (i != size_t(-1)) return i;
    if (name == "ShortGradeName") return FieldIndex(from, "GradeShortName");
    if (name == "VolumeETot") return FieldIndex(from, "NewVolumeETot");
    if (name == "Volume2Etot") return FieldIndex(from, "NewVolume2ETot");
    if (name == "ValueETot") return FieldIndex(from, "NewValueETot");
    return size_t(-1);
}

// The values of record To taken by name from a record From; numbers cut to the narrower type
// (a 32-bit pump number becomes its low 16 bits).
template <size_t To, size_t From, class Tuple, size_t... I>
auto ProjectImpl(const Tuple& v, std::index_sequence<I...>) {
    static_assert(((SourceField(From, Field(To, I).name) != size_t(-1)) && ...), "field without a source");
    return std::tuple<FieldHost<To, I>...>{
        static_cast<FieldHost<To, I>>(std::get<SourceField(From, Field(To, I).name)>(v))...};
}
template <size_t To, size_t From, class Tuple>
auto Project(const Tuple& v) {
    return ProjectImpl<To, From>(v, std::make_index_sequence<Record(To).fieldCount>{});
}

template <size_t Offset, class Target, class Tuple, size_t... I>
void Sink(Target& target, const Tuple& v, std::index_sequence<I...>) {
    target.StatusEventSink(std::get<Offset + I>(v)...);
}

// ---- the routed kinds ----------------------------------------------------------------------

constexpr size_t kPump = RecordIndex("PumpStatusEventEx3");
constexpr size_t kPumpEx2 = RecordIndex("PumpStatusEventEx2");
constexpr size_t kPumpEx = RecordIndex("PumpStatusEventEx");
constexpr size_t kPumpPlain = RecordIndex("PumpStatusEvent");
constexpr size_t kDelivery = RecordIndex("DeliveryEventEx3");
constexpr size_t kDeliveryEx2 = RecordIndex("DeliveryEventEx2");
constexpr size_t kDeliveryEx = RecordIndex("DeliveryEventEx");
constexpr size_t kDeliveryPlain = RecordIndex("DeliveryEvent");
constexpr size_t kTank = RecordIndex("DBTankStatusEventEx2");
constexpr size_t kTankEx = RecordIndex("DBTankStatusEventEx");
constexpr size_t kTankPlain = RecordIndex("DBTankStatusEvent");
constexpr size_t kETotalsEx = RecordIndex("DBLogETotalsEventEx");
constexpr size_t kETotals = RecordIndex("DBLogETotalsEvent");

#define VARNEL_FIELD(record, name) std::get<FieldIndex(record, name)>(v)

template <size_t R, class Tuple>
void Dispatch(Quendril& q, const Tuple& v) {
    if constexpr (R == kPump) {
        const int32_t pumpID = VARNEL_FIELD(kPump, "PumpID");
        for (VQPump* pump : Access::Pumps(q)) {
            if (pump->ID() == pumpID) {
                static_assert(FieldIndex(kPump, "State") == 2);
                Sink<2>(*pump, v, std::make_index_sequence<Record(kPump).fieldCount - 2>{});
                return;
            }
        }
        if (VARNEL_FIELD(kPump, "CurFlowRate") >= 0.0) Raise<kPump>(q, v);
        if (VARNEL_FIELD(kPump, "HosePhysicalNumber") >= 0) Raise<kPumpEx2>(q, Project<kPumpEx2, kPump>(v));
        if (VARNEL_FIELD(kPump, "PriceFormat") >= 1) Raise<kPumpEx>(q, Project<kPumpEx, kPump>(v));
        Raise<kPumpPlain>(q, Project<kPumpPlain, kPump>(v));
    } else if constexpr (R == kDelivery) {
        if (std::apply([&](const auto&... a) { return q.FireDeliveryEvent(a...); }, v) == 0) return;
        const int64_t tag = VARNEL_FIELD(kDelivery, "Tag");
        const int64_t attendantTag = VARNEL_FIELD(kDelivery, "AttendantTag");
        const int64_t singleTag = tag >= 0 ? tag : attendantTag >= 0 ? attendantTag
                                                                     : VARNEL_FIELD(kDelivery, "CardClientTag");
        if (VARNEL_FIELD(kDelivery, "OldVolumeETot") >= 0.0) {
            Raise<kDelivery>(q, v);
            auto ex2 = Project<kDeliveryEx2, kDelivery>(v);
            std::get<FieldIndex(kDeliveryEx2, "Tag")>(ex2) = singleTag;
            Raise<kDeliveryEx2>(q, ex2);
        }
        if (VARNEL_FIELD(kDelivery, "NewVolumeETot") >= 0.0) {
            auto ex = Project<kDeliveryEx, kDelivery>(v);
            std::get<FieldIndex(kDeliveryEx, "Tag")>(ex) = singleTag;
            Raise<kDeliveryEx>(q, ex);
        }
        Raise<kDeliveryPlain>(q, Project<kDeliveryPlain, kDelivery>(v));
    } else if constexpr (R == kTank) {
        const int32_t tankID = VARNEL_FIELD(kTank, "TankID");
        for (VQTank* tank : Access::Tanks(q)) {
            if (tank->ID() == tankID) {
                Sink<1>(*tank, v, std::make_index_sequence<Record(kTank).fieldCount - 1>{});
                return;
            }
        }
        if (VARNEL_FIELD(kTank, "State") >= 0) Raise<kTank>(q, v);
        if (VARNEL_FIELD(kTank, "TankNumber") >= 0) Raise<kTankEx>(q, Project<kTankEx, kTank>(v));
        Raise<kTankPlain>(q, Project<kTankPlain, kTank>(v));
    } else if constexpr (R == kETotalsEx) {
        if (VARNEL_FIELD(kETotalsEx, "HoseNumber") >= 1) Raise<kETotalsEx>(q, v);
        Raise<kETotals>(q, Project<kETotals, kETotalsEx>(v));
    } else {
        Raise<R>(q, v);
    }
}

#undef VARNEL_FIELD

// ---- readers -------------------------------------------------------------------------------

// The reader of a kind: the function marked event=K whose record is the one kind K carries
// (the older readers of kinds 1, 2 and 13 read narrower records and are not used).
constexpr bool IsKindReader(FunctionId id) {
    const quendril::api::FunctionInfo& f = Info(id);
    if (f.event <= 0) return false;
    const size_t r = KindRecord(f.event);
    return r != size_t(-1) && RecordIndex(f.record) == r;  // every reader names its record
}

template <FunctionId Id, class Fn, class... P, size_t... I>
int32_t ReadImpl(Quendril& q, Fn fn, Params<P...>, std::index_sequence<I...>) {
    constexpr int kind = Info(Id).event;
    constexpr size_t record = RecordIndex(Info(Id).record);
    static_assert(Record(record).fieldCount == sizeof...(P));
    std::tuple<Slot<P>...> locals;
    (Preset<PresetOf(kind, Field(record, I).name)>(std::get<I>(locals)), ...);
    const int32_t res = fn(std::get<I>(locals).C()...);
    if (res != 0) return res;
    const std::tuple<Host<P>...> values{std::get<I>(locals).Take()...};
    Dispatch<record>(q, values);
    return 0;
}

using Reader = int32_t (*)(Quendril&);

template <FunctionId Id, class Sig, auto Fn>
int32_t Read(Quendril& q) {
    return ReadImpl<Id>(q, Fn, Sig{}, std::make_index_sequence<Sig::kCount>{});
}

constexpr int kKinds = 64;

constexpr std::array<Reader, kKinds> MakeReaders() {
    std::array<Reader, kKinds> readers{};
#define VARNEL_READER(Name, Kind, Ret, Session, CParams, CArgs)                                  \
    if constexpr (IsKindReader(FunctionId::Name)) {                                             \
        readers[Info(FunctionId::Name).event] = &Read<FunctionId::Name, quendril::api::sig::Name, &::Name>; \
    }
    QUENDRIL_FUNCTIONS(VARNEL_READER)
#undef VARNEL_READER
    return readers;
}
constexpr std::array<Reader, kKinds> kReaders = MakeReaders();

}  // namespace

void Quendril::CheckEvents() {
    if (CheckResult(::ProcessEvents()) != 0) return;
    // The guard against a library that leaves a failed event in place: a second failure of
    // the same kind with the queue no shorter than after the first means the event is stuck;
    // it is discarded, and when even that does not shorten the queue the drain ends.
    int16_t failedKind = 0;
    int32_t failedCount = -1;
    for (;;) {
        int16_t type = 0;
        if (::GetNextEventType(&type) != 0 || type == 0) return;
        const Reader reader = type > 0 && type < kKinds ? kReaders[type] : nullptr;
        if (reader == nullptr) {
            int32_t before = -1;
            int32_t after = -1;
            const bool counted = ::GetEventsCount(&before) == 0;
            ::DiscardNextEvent();
            if (counted && ::GetEventsCount(&after) == 0 && after >= before) return;
            continue;
        }
        if (reader(*this) == 0) {
            failedKind = 0;
            continue;
        }
        int32_t count = -1;
        if (::GetEventsCount(&count) != 0) count = -1;
        if (failedKind == type && failedCount == count) {
            ::DiscardNextEvent();
            int32_t after = -1;
            if (::GetEventsCount(&after) != 0 || after >= count) return;
            failedKind = 0;
            continue;
        }
        failedKind = type;
        failedCount = count;
    }
}

}  // namespace Varnel
