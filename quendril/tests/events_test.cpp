// Events through a live wyrlan: every reader of the table gets an injected event with exact field
// values and must hand them back, per type and with the extremes of each type; the queue's rules
// (wrong kind, empty queue, kinds without a record) and event-mask filtering.
#include <cmath>
#include <cstring>
#include <functional>
#include <iterator>
#include <limits>
#include <memory>
#include <tuple>
#include <vector>

#include "quendril/api/api_table.h"
#include "quendril/tests/client_fixture.h"

namespace quendril_test {
namespace {

namespace api = quendril::api;
using api::FunctionId;
using api::Type;

// One field value as the test means it: integer, real or text (null distinct from empty).
struct Value {
    int64_t integer = 0;
    double real = 0;
    bool null = false;
    std::u16string text;
};

using Generator = std::function<Value(Type, size_t index)>;

// Distinct values per field position, negative and positive, some texts null or empty.
Value Regular(Type t, size_t i) {
    Value v;
    int64_t sign = i % 2 ? -1 : 1;
    switch (t) {
    case Type::kI16: v.integer = sign * static_cast<int64_t>(100 + i * 37); break;
    case Type::kU16: v.integer = static_cast<int64_t>(40000 + i); break;
    case Type::kI32: v.integer = sign * static_cast<int64_t>(1000003 * (i + 1)); break;
    case Type::kI64: v.integer = sign * ((int64_t{1} << 40) + static_cast<int64_t>(i)); break;
    case Type::kF64: v.real = static_cast<double>(sign) * (static_cast<double>(i) + 0.125); break;
    case Type::kDate: v.real = 45000.0 + static_cast<double>(i) / 8.0; break;
    case Type::kText:
        if (i % 5 == 0) v.null = true;
        else if (i % 5 != 1) v.text = u"field " + std::u16string(1, static_cast<char16_t>(u'A' + i % 26)) + u" \u00e9";
        break;
    }
    return v;
}

// The edges of every type, cycling with the field's position.
Value Extremes(Type t, size_t i) {
    Value v;
    switch (t) {
    case Type::kI16: {
        const int64_t e[] = {-32768, 32767, -1, 0};
        v.integer = e[i % 4];
        break;
    }
    case Type::kU16: v.integer = 65535; break;
    case Type::kI32: {
        const int64_t e[] = {std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(), -1};
        v.integer = e[i % 3];
        break;
    }
    case Type::kI64: {
        const int64_t e[] = {std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max(), -1};
        v.integer = e[i % 3];
        break;
    }
    case Type::kF64: {
        const double e[] = {-0.0, std::numeric_limits<double>::max(), std::numeric_limits<double>::denorm_min(),
                            -1.0 / 3.0, std::numeric_limits<double>::infinity(), 0.1};
        v.real = e[i % 6];
        break;
    }
    case Type::kDate: {
        // 1 January 100, 31 December 9999 23:59:59, 30 December 1899 (0.0), a time before 1899
        const double e[] = {-657434.0, 2958465.99998843, 0.0, -1.25};
        v.real = e[i % 4];
        break;
    }
    case Type::kText: {
        switch (i % 4) {
        case 0: v.null = true; break;
        case 1: break;  // empty
        case 2: {
            static const char16_t kOdd[] = u"zero\0unit and \xd800 lone surrogate";
            v.text = std::u16string(kOdd, std::size(kOdd) - 1);  // the zero unit included
            break;
        }
        case 3: v.text = std::u16string(5000, u'x'); break;
        }
        break;
    }
    }
    return v;
}

// The wire field that a reader's out-parameter comes from (the delivery readers call the short
// grade name ShortGradeName where the record says GradeShortName); -1 for none.
int SourceField(const api::RecordInfo& rec, std::string_view name) {
    if (name == "ShortGradeName" && rec.kind == 2) name = "GradeShortName";
    auto fields = api::FieldsOf(rec);
    for (size_t i = 0; i < fields.size(); ++i) {
        if (name == fields[i].name) return static_cast<int>(i);
    }
    return -1;
}

// Injects one event of `rec`'s kind to the session itself, values from `gen`.
int32_t Inject(int32_t h, const api::RecordInfo& rec, const Generator& gen) {
    auto fields = api::FieldsOf(rec);
    std::vector<QuendrilValue> values(fields.size());
    std::vector<std::unique_ptr<Text>> texts;
    for (size_t i = 0; i < fields.size(); ++i) {
        Value v = gen(fields[i].type, i);
        QuendrilValue& q = values[i];
        q = QuendrilValue{static_cast<int32_t>(fields[i].type), 0, v.integer, v.real, nullptr};
        if (fields[i].type == Type::kText && !v.null) {
            texts.push_back(std::make_unique<Text>(v.text));
            q.Text = texts.back()->get();
        }
    }
    return QuendrilInjectEventMT(h, -1, rec.kind, values.data(), static_cast<int32_t>(values.size()));
}

// Checks one out-value of a reader against what was injected in its source field.
template <class P>
void Compare(const typename P::Value& got, const api::RecordInfo& rec, int source, const Generator& gen,
             const char* name, const char* reader) {
    SCOPED_TRACE(std::string(reader) + "." + name);
    if (source < 0) return;  // not in the record: the reader leaves the variable alone
    const api::ParamInfo& field = api::FieldsOf(rec)[static_cast<size_t>(source)];
    Value want = gen(field.type, static_cast<size_t>(source));
    if constexpr (P::type == Type::kText) {
        if (want.null) {
            EXPECT_EQ(got, nullptr);
        } else {
            ASSERT_NE(got, nullptr);
            EXPECT_EQ(std::u16string(got, SysStringLen(got)), want.text);
        }
    } else if constexpr (P::type == Type::kF64 || P::type == Type::kDate) {
        EXPECT_EQ(std::memcmp(&got, &want.real, sizeof got), 0) << got << " vs " << want.real;
    } else {
        // An older reader's narrower field holds the low bits of the record's field.
        EXPECT_EQ(got, static_cast<typename P::Value>(want.integer));
    }
}

template <class Sig> struct ReaderCall;
template <class... P>
struct ReaderCall<api::Params<P...>> {
    template <auto Fn, size_t... I>
    static void Run(int32_t h, FunctionId id, const Generator& gen, std::index_sequence<I...>) {
        const api::FunctionInfo& f = api::Info(id);
        const api::RecordInfo* rec = api::RecordOfKind(f.event);
        ASSERT_NE(rec, nullptr) << f.name;
        ASSERT_EQ(Inject(h, *rec, gen), 0) << f.name;
        ASSERT_EQ(WaitEvent(h), f.event) << f.name;
        std::tuple<typename P::Value...> outs{};
        ASSERT_EQ(Fn(h, &std::get<I>(outs)...), 0) << f.name;
        auto params = api::ParamsOf(f);
        (Compare<P>(std::get<I>(outs), *rec, SourceField(*rec, params[I].name), gen, params[I].name, f.name), ...);
        auto release = [](auto& v) {
            if constexpr (std::is_same_v<std::decay_t<decltype(v)>, BSTR>) SysFreeString(v);
        };
        (release(std::get<I>(outs)), ...);
        (void)release;
        int16_t next = -1;
        EXPECT_EQ(GetNextEventTypeMT(h, &next), 0);
        EXPECT_EQ(next, 0) << "the reader removes its event";
    }
};

// Every event reader of the table, with its kind.
struct ReaderCase {
    const char* name;
    FunctionId id;
    void (*run)(int32_t, FunctionId, const Generator&);
};

#define READER_CASE_Server(Name)
#define READER_CASE_Local(Name)
#define READER_CASE_Session(Name)                                                                   \
    {#Name, FunctionId::Name, [](int32_t h, FunctionId id, const Generator& g) {                    \
         ReaderCall<api::sig::Name>::Run<&Name##MT>(h, id, g,                                       \
                                                     std::make_index_sequence<api::sig::Name::kCount>{}); \
     }},
#define READER_CASE(Name, Kind, Ret, Session, CParams, CArgs) READER_CASE_##Kind(Name)

std::vector<ReaderCase> Readers() {
    std::vector<ReaderCase> all = {QUENDRIL_MT_FUNCTIONS(READER_CASE)};
    std::vector<ReaderCase> readers;
    for (const ReaderCase& c : all) {
        if (api::Info(c.id).event != 0) readers.push_back(c);
    }
    return readers;
}

class EventsTest : public ServerTest {
protected:
    void SetUp() override {
        ServerTest::SetUp();
        ASSERT_EQ(LogonInternal(&h_), 0);
    }
    void TearDown() override { ClientLogoffMT(&h_); }
    int32_t h_ = 0;
};

TEST_F(EventsTest, EveryReaderReturnsTheInjectedFields) {
    std::vector<ReaderCase> readers = Readers();
    ASSERT_EQ(readers.size(), 27u);  // the 21 readers of the kinds and the 6 older ones
    for (const ReaderCase& c : readers) c.run(h_, c.id, Regular);
}

TEST_F(EventsTest, ExtremesOfEveryTypeSurvive) {
    // The sale item record carries i16, i32, i64, f64, date and text fields.
    for (const ReaderCase& c : Readers()) {
        int16_t kind = api::Info(c.id).event;
        if (kind == 25 || kind == 1 || kind == 2) c.run(h_, c.id, Extremes);
    }
}

TEST_F(EventsTest, QueueRules) {
    const api::RecordInfo* server = api::RecordOfKind(3);
    ASSERT_NE(server, nullptr);
    // Wrong kind: refused and removed; the caller's variables stay.
    ASSERT_EQ(Inject(h_, *server, Regular), 0);
    ASSERT_EQ(WaitEvent(h_), 3);
    int32_t client = 11, id = 12;
    Text text("kept");
    EXPECT_EQ(GetNextClientEventMT(h_, &client, &id, text.out()), QUENDRIL_WRONG_EVENT_KIND);
    EXPECT_EQ(client, 11);
    EXPECT_EQ(text.ascii(), "kept");
    int16_t kind = -1;
    EXPECT_EQ(GetNextEventTypeMT(h_, &kind), 0);
    EXPECT_EQ(kind, 0);
    EXPECT_EQ(GetNextClientEventMT(h_, &client, &id, text.out()), QUENDRIL_NO_EVENT);
    EXPECT_EQ(DiscardNextEventMT(h_), QUENDRIL_NO_EVENT);

    // Kinds without a record carry no values and are discarded; order is kept.
    ASSERT_EQ(QuendrilInjectEventMT(h_, -1, 14, nullptr, 0), 0);
    ASSERT_EQ(QuendrilInjectEventMT(h_, -1, 28, nullptr, 0), 0);
    ASSERT_EQ(Inject(h_, *server, Regular), 0);
    int32_t count = 0;
    for (int i = 0; i < 3000 && count < 3; ++i) {
        ProcessEventsMT(h_);
        GetEventsCountMT(h_, &count);
        if (count < 3) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(count, 3);
    EXPECT_EQ(GetNextEventTypeMT(h_, &kind), 0);
    EXPECT_EQ(kind, 14);
    Text debug;
    EXPECT_EQ(EventsDebugMT(h_, debug.out()), 0);
    EXPECT_NE(debug.ascii().find("readable 3"), std::string::npos) << debug.ascii();
    EXPECT_EQ(DiscardNextEventMT(h_), 0);
    EXPECT_EQ(GetNextEventTypeMT(h_, &kind), 0);
    EXPECT_EQ(kind, 28);
    EXPECT_EQ(DiscardNextEventMT(h_), 0);
    EXPECT_EQ(GetNextServerEventMT(h_, &id, text.out()), 0);

    // Values that do not match the record are refused.
    QuendrilValue one{QUENDRIL_VALUE_I32, 0, 1, 0, nullptr};
    EXPECT_EQ(QuendrilInjectEventMT(h_, -1, 14, &one, 1), QUENDRIL_BAD_ARGUMENT);
    QuendrilValue swapped[2] = {{QUENDRIL_VALUE_TEXT, 0, 0, 0, nullptr}, {QUENDRIL_VALUE_I32, 0, 1, 0, nullptr}};
    EXPECT_EQ(QuendrilInjectEventMT(h_, -1, 3, swapped, 2), QUENDRIL_BAD_ARGUMENT);
}

TEST_F(EventsTest, EventMaskFiltersWhatASessionReceives) {
    // Each session's mask comes from another source; h_ lets every kind through.
    int32_t byType = 0, byLogon = 0, byDefault = 0, keyIgnored = 0;
    ASSERT_EQ(LogonInternal(&byType), 0);
    ASSERT_EQ(SetClientTypeMT(byType, 1 << (3 - 1)), 0);  // server events (kind 3) only
    ASSERT_EQ(LogonInternal(&byLogon, 1 << (4 - 1)), 0);   // client events (kind 4) only
    ASSERT_EQ(LogonEx(&byDefault), 0);                     // 0xC47: kinds 1, 2, 3, 7, 11, 12
    ASSERT_EQ(LogonEx(&keyIgnored), 0);
    ASSERT_EQ(SetClientTypeMT(keyIgnored, static_cast<int32_t>(0x10000000 | (1 << 3))), 0);  // no mask: default stays
    const api::RecordInfo* client = api::RecordOfKind(4);
    const api::RecordInfo* server = api::RecordOfKind(3);
    auto toAll = [&](const api::RecordInfo* rec) {
        std::vector<QuendrilValue> v;
        for (const api::ParamInfo& f : api::FieldsOf(*rec))
            v.push_back({static_cast<int32_t>(f.type), 0, 1, 0, nullptr});
        return QuendrilInjectEventMT(h_, 0, rec->kind, v.data(), static_cast<int32_t>(v.size()));
    };
    ASSERT_EQ(toAll(client), 0);
    ASSERT_EQ(QuendrilInjectEventMT(h_, 0, 28, nullptr, 0), 0);  // above 27: always passes
    ASSERT_EQ(toAll(server), 0);

    struct Case {
        const char* what;
        int32_t handle;
        std::vector<int16_t> want;
    } cases[] = {{"all kinds", h_, {4, 28, 3}},
                 {"SetClientType", byType, {28, 3}},
                 {"logon mask", byLogon, {4, 28}},
                 {"default mask", byDefault, {28, 3}},
                 {"key with high bits", keyIgnored, {28, 3}}};
    for (const Case& c : cases) {
        std::vector<int16_t> seen;
        for (int16_t k; (k = WaitEvent(c.handle, seen.size() < c.want.size() ? 3000 : 200)) != 0;) {
            seen.push_back(k);
            DiscardNextEventMT(c.handle);
        }
        EXPECT_EQ(seen, c.want) << c.what;
    }
    for (int32_t* h : {&byType, &byLogon, &byDefault, &keyIgnored}) ClientLogoffMT(h);
}

}  // namespace
}  // namespace quendril_test
