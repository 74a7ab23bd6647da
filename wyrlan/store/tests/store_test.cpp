#include "wyrlan/store/store.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <atomic>
#include <map>
#include <thread>
#include <string>

#include "quendril/include/quendril.h"
#include "quendril/tests/client_fixture.h"
#include "wyrlan/store/site.h"
#include "wyrlan/store/tests/library_call.h"
#include "wyrlan/testing/server_process.h"

namespace wyrlan::store {
namespace {

namespace api = quendril::api;
using F = FunctionId;

std::string_view FieldName(const char* param) {
    std::string_view n(param);
    if (n.size() > 1 && n[0] == 'p' && n[1] >= 'A' && n[1] <= 'Z') n.remove_prefix(1);
    return n;
}

const api::FunctionInfo& Info(const char* name) {
    const api::FunctionInfo* f = api::FindFunction(name);
    EXPECT_NE(f, nullptr) << name;
    return *f;
}

// Each store test runs twice: on a Store in this process, and through libQuendril against a
// live wyrlan serving a database of its own (the calls then cross the wire and the dispatch).
enum class Mode { kDirect, kThroughLibrary };

class StoreFixture : public ::testing::Test {
protected:
    void SetUp() override {
        if (Live()) {
            ASSERT_TRUE(server_.Start(quendril_test::RandomLoopback())) << "wyrlan did not start";
            path_ = server_.DbPath();
            ASSERT_NO_FATAL_FAILURE(LogOn());
            return;
        }
        dir_ = std::filesystem::temp_directory_path() /
               ("store_test_" + std::to_string(getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        path_ = (dir_ / "site.db").string();
        Reopen();
    }
    void TearDown() override {
        if (session_ != 0) ClientLogoffMT(&session_);
        store_.reset();
        if (!dir_.empty()) std::filesystem::remove_all(dir_);
    }
    bool Live() const { return mode_ == Mode::kThroughLibrary; }

    void LogOn() {
        quendril_test::Text name("store test"), hash(QUENDRIL_DEFAULT_HASH_KEY), host(server_.Address().c_str());
        ASSERT_EQ(InternalClientLogonMT(&session_, 7, 1, name.get(), 1, hash.get(), quendril_test::kAllKinds,
                                        host.get(), server_.CallPort(), server_.EventsPort(), 5000, -1, 0, 1024),
                  0);
    }
    // Closes and opens the database again: a restart of the server when live.
    void Reopen() {
        if (Live()) {
            if (session_ != 0) ClientLogoffMT(&session_);
            ASSERT_EQ(server_.Stop(), 0);
            ASSERT_TRUE(server_.Restart());
            ASSERT_NO_FATAL_FAILURE(LogOn());
            return;
        }
        store_.reset();
        std::string error;
        store_ = Store::Open(path_, &error, StoreOptions{[this] { return hostNow_; }});
        ASSERT_NE(store_, nullptr) << error;
    }
    // The demo station, written into the database (with the server stopped when live).
    int32_t FillDemo() {
        if (!Live()) return FillDemoSite(*store_);
        if (session_ != 0) ClientLogoffMT(&session_);
        if (server_.Stop() != 0) return -1;
        int32_t result = -1;
        if (auto s = Store::Open(path_, nullptr)) result = FillDemoSite(*s);
        if (!server_.Restart()) return -1;
        LogOn();
        return result;
    }
    int32_t Call(F f, std::initializer_list<Value> in) { return Call(f, std::vector<Value>(in)); }
    int32_t Call(const char* name, const std::vector<Value>& in) { return Call(Info(name).id, in); }
    int32_t Call(F f, const std::vector<Value>& in) {
        return Live() ? testing::CallThroughLibrary(session_, f, in, out_) : store_->Call(f, in, out_);
    }
    int32_t Count(F f) {
        EXPECT_EQ(Call(f, {}), 0);
        return out_.empty() ? -1 : static_cast<int32_t>(out_[0].i);
    }
    // After a stream of SequencedWrite calls answered up to `last`.
    void ExpectSequencedWritesUpTo(int32_t last);
    // The out-values of the last call by field name.
    std::map<std::string, Value> OutsByName(const char* name) {
        std::map<std::string, Value> m;
        size_t k = 0;
        for (const api::ParamInfo& p : api::ParamsOf(Info(name)))
            if (p.dir == api::Dir::kOut && k < out_.size()) m[std::string(FieldName(p.name))] = out_[k++];
        return m;
    }

    Mode mode_ = Mode::kDirect;
    std::filesystem::path dir_;
    std::string path_;
    double hostNow_ = 45000.5;  // 2023-03-15 12:00 (direct only; a live server runs on the host's clock)
    std::unique_ptr<Store> store_;
    wyrlan::ServerProcess server_;
    int32_t session_ = 0;
    std::vector<Value> out_;
};

class StoreTest : public StoreFixture, public ::testing::WithParamInterface<Mode> {
protected:
    void SetUp() override {
        mode_ = GetParam();
        StoreFixture::SetUp();
    }
};

INSTANTIATE_TEST_SUITE_P(Store, StoreTest, ::testing::Values(Mode::kDirect, Mode::kThroughLibrary),
                         [](const ::testing::TestParamInfo<Mode>& i) {
                             return i.param == Mode::kDirect ? "Direct" : "ThroughLibrary";
                         });

// The tests that reach into the Store object itself (change callback, call contexts, the file).
class StoreFileTest : public StoreFixture {};

// ---- versions of a family ------------------------------------------------------------------------

struct FamilyCase {
    const char* family;
    std::vector<const char*> getters;  // oldest first; the last is the newest
    std::vector<const char*> setters;
};

const std::vector<FamilyCase>& Families() {
    static const std::vector<FamilyCase> cases = {
        {"Port", {"GetPortProperties"}, {"SetPortProperties"}},
        {"ZigBee", {"GetZigBeeProperties"}, {"SetZigBeeProperties"}},
        {"Grade", {"GetGradeProperties", "GetGradePropertiesEx"}, {"SetGradeProperties", "SetGradePropertiesEx"}},
        {"Tank",
         {"GetTankProperties", "GetTankPropertiesEx", "GetTankPropertiesEx2", "GetTankPropertiesEx3"},
         {"SetTankProperties", "SetTankPropertiesEx", "SetTankPropertiesEx2", "SetTankPropertiesEx3"}},
        {"Pump", {"GetPumpProperties", "GetPumpPropertiesEx"}, {"SetPumpProperties", "SetPumpPropertiesEx"}},
        {"Hose",
         {"GetHoseProperties", "GetHosePropertiesEx", "GetHosePropertiesEx2", "GetHosePropertiesEx3"},
         {"SetHoseProperties", "SetHosePropertiesEx", "SetHosePropertiesEx2", "SetHosePropertiesEx3"}},
        {"Sensor", {"GetSensorProperties", "GetSensorPropertiesEx"}, {"SetSensorProperties", "SetSensorPropertiesEx"}},
        {"Product",
         {"GetProductProperties", "GetProductPropertiesEx"},
         {"SetProductProperties", "SetProductPropertiesEx"}},
        {"Attendant",
         {"GetAttendantProperties", "GetAttendantPropertiesEx", "GetAttendantPropertiesEx2"},
         {"SetAttendantProperties", "SetAttendantPropertiesEx", "SetAttendantPropertiesEx2"}},
        {"CardClient",
         {"GetCardClientProperties", "GetCardClientPropertiesEx", "GetCardClientPropertiesEx2",
          "GetCardClientPropertiesEx3", "GetCardClientPropertiesEx4"},
         {"SetCardClientProperties", "SetCardClientPropertiesEx", "SetCardClientPropertiesEx2",
          "SetCardClientPropertiesEx3", "SetCardClientPropertiesEx4"}},
        {"CardRead", {"GetCardReadProperties"}, {"SetCardReadProperties"}},
        {"LogEvent", {"GetLogEventProperties"}, {"SetLogEventProperties"}},
        {"SaleItem", {"GetSaleItemProperties"}, {"SetSaleItemProperties"}},
    };
    return cases;
}

// A value for field `name` of type `t`, different for each `seed`; references name objects of
// the demo site so that every write is accepted.
Value Sample(std::string_view name, Type t, int seed) {
    if (name == "Number") return Value::I32(700 + seed);
    if (name == "PumpID" || name == "TankID" || name == "GradeID" || name == "PortID") return Value::I32(1 + seed % 2);
    if (name == "CardType") return Value::I16(1);
    if (name == "ParentID") return Value::I32(-1);
    int v = seed * 37 + static_cast<int>(name.size()) * 11 + name[0];
    switch (t) {
        case Type::kText: {
            std::u16string s = u"v";
            for (char c : name) s.push_back(static_cast<char16_t>(c));
            s += u"-" + std::u16string(1, static_cast<char16_t>(u'a' + seed % 26));
            return Value::Text(s);
        }
        case Type::kF64: return Value::F64(v + 0.25);
        case Type::kDate: return Value::Date(44000.0 + v + 0.5);
        case Type::kI16: return Value::I16(static_cast<int16_t>(v % 30000));
        case Type::kI64: return Value::I64(int64_t{1} << 40 | v);
        default: return Value::I32(v);
    }
}

// Field names of an older getter that the newest calls otherwise (same place, same type).
std::string Canonical(const std::string& name) {
    static const std::map<std::string, std::string> aliases = {
        {"PriceDisplayFormat", "PriceDspFormat"}, {"VolumeDisplayFormat", "VolumeDspFormat"},
        {"ValueDisplayFormat", "ValueDspFormat"}};
    auto it = aliases.find(name);
    return it == aliases.end() ? name : it->second;
}

// In-arguments of setter `name` for object `id`, with field values of `seed`.
std::vector<Value> SetterArgs(const char* name, int32_t id, int seed, std::map<std::string, Value>* written) {
    std::vector<Value> in{Value::I32(id)};
    auto params = api::ParamsOf(Info(name));
    for (size_t i = 1; i < params.size(); ++i) {
        Value v = Sample(params[i].name, params[i].type, seed);
        in.push_back(v);
        if (written) (*written)[Canonical(params[i].name)] = v;
    }
    return in;
}

TEST_P(StoreTest, NewestSetterReadsBackThroughEveryGetter) {
    ASSERT_EQ(FillDemo(), 0);
    for (const FamilyCase& fc : Families()) {
        SCOPED_TRACE(fc.family);
        std::map<std::string, Value> written;
        ASSERT_EQ(Call(fc.setters.back(), SetterArgs(fc.setters.back(), 900, 1, &written)), 0);
        for (const char* getter : fc.getters) {
            SCOPED_TRACE(getter);
            ASSERT_EQ(Call(getter, {Value::I32(900)}), 0);
            for (auto& [name, value] : OutsByName(getter)) {
                std::string key = Canonical(name);
                if (key == "AddedDT" || key == "UpdatedDT") continue;
                auto w = written.find(key);
                ASSERT_NE(w, written.end()) << "getter field " << name << " never written";
                EXPECT_EQ(value, w->second.As(value.type)) << name;
            }
        }
    }
}

TEST_P(StoreTest, OlderSetterKeepsNewerFields) {
    ASSERT_EQ(FillDemo(), 0);
    for (const FamilyCase& fc : Families()) {
        const char* newest = fc.setters.back();
        for (const char* older : fc.setters) {
            if (older == newest) continue;
            SCOPED_TRACE(older);
            std::map<std::string, Value> first, second;
            ASSERT_EQ(Call(newest, SetterArgs(newest, 901, 1, &first)), 0);
            ASSERT_EQ(Call(older, SetterArgs(older, 901, 2, &second)), 0);
            ASSERT_EQ(Call(fc.getters.back(), {Value::I32(901)}), 0);
            for (auto& [name, value] : OutsByName(fc.getters.back())) {
                if (name == "AddedDT" || name == "UpdatedDT") continue;
                std::string key = Canonical(name);
                const Value& expected = second.count(key) ? second[key] : first[key];
                EXPECT_EQ(value, expected.As(value.type)) << name;
            }
        }
    }
}

// A record created by the oldest setter holds, in its newer fields, what the older versions imply.
TEST_P(StoreTest, FieldsNeverWrittenHoldTheOlderVersionsDefaults) {
    ASSERT_EQ(FillDemo(), 0);
    struct Case {
        const char* setter;
        const char* getter;
        std::map<std::string, double> defaults;
    };
    const Case cases[] = {
        {"SetCardClientProperties", "GetCardClientPropertiesEx4",
         {{"PriceLevel", 0}, {"GradeType", 1}, {"CardType", 1}, {"LimitType", 1}, {"Limit", 0},
          {"EntryType", 1}, {"ExpirationDate", 0}, {"ParentID", -1}, {"Odometer", 0}, {"Factor", 0}}},
        {"SetAttendantProperties", "GetAttendantPropertiesEx2",
         {{"ShiftAStart", 0}, {"ShiftAEnd", 1439}, {"ShiftBStart", 0}, {"ShiftBEnd", 1439}, {"Type", 1}}},
        {"SetGradeProperties", "GetGradePropertiesEx", {{"Type", 1}}},
        {"SetTankProperties", "GetTankPropertiesEx3",
         {{"GaugeAlarmsMask", 0}, {"SlotZigBeeID", -1}, {"ProbeType", -1}, {"ProbeSerialNo", 1}}},
        {"SetPumpProperties", "GetPumpPropertiesEx",
         {{"SlotZigBeeID", 1}, {"MuxSlotZigBeeID", -1}, {"PriceControl", 1}, {"HasPreset", 1}}},
        {"SetHoseProperties", "GetHosePropertiesEx3",
         {{"UVEAntenna", 0}, {"Price1", 0}, {"Price2", 0}, {"Price3", 0}, {"Price4", 0}, {"Enabled", 1}}},
        {"SetSensorProperties", "GetSensorPropertiesEx", {{"SlotZigBeeID", -1}, {"SensorSerialNo", 0}}},
        {"SetProductProperties", "GetProductPropertiesEx2", {{"QuickCode", 0}, {"Price3", 0}, {"Price4", 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.setter);
        ASSERT_EQ(Call(c.setter, SetterArgs(c.setter, 950, 3, nullptr)), 0);
        ASSERT_EQ(Call(c.getter, {Value::I32(950)}), 0);
        auto outs = OutsByName(c.getter);
        for (auto& [name, expected] : c.defaults) {
            ASSERT_TRUE(outs.count(name)) << name;
            EXPECT_EQ(outs[name].AsDouble(), expected) << name;
        }
        for (auto& [name, v] : outs) {
            if (!v.IsText()) continue;
            bool written = false;
            for (const api::ParamInfo& p : api::ParamsOf(Info(c.setter))) written |= FieldName(p.name) == name;
            if (!written) {
                EXPECT_EQ(v.AsText(), u"") << name;
            }
        }
    }
}

// ---- creation, Add, ordinals ----------------------------------------------------------------------

TEST_P(StoreTest, SetOnNewIdCreatesWithThatIdAndAddTakesTheNextFree) {
    ASSERT_EQ(Call(F::SetGradePropertiesEx, {Value::I32(7), Value::I32(3), Value::Text(u"Diesel"),
                                             Value::Text(u"DSL"), Value::Text(u"DI"), Value::I16(2)}), 0);
    ASSERT_EQ(Call(F::GetGradeByNumber, {Value::I32(3)}), 0);
    EXPECT_EQ(out_[0].i, 7);
    ASSERT_EQ(Call(F::AddGrade, {Value::Text(u"LPG"), Value::Text(u"LPG"), Value::Text(u"LPG"), Value::I16(1)}), 0);
    EXPECT_EQ(out_[0].i, 8);  // ID
    EXPECT_EQ(out_[1].i, 4);  // Number
    // A setter without the Number field cannot create: it needs an existing hose.
    EXPECT_EQ(Call(F::SetHosePrices, {Value::I32(1), Value::I16(1), Value::I16(1), Value::F64(1), Value::F64(1)}),
              QUENDRIL_NOT_FOUND);
}

TEST_P(StoreTest, OrdinalsFollowIdOrderAfterDeletes) {
    for (int i = 1; i <= 6; ++i)
        ASSERT_EQ(Call("SetAttendantProperties", SetterArgs("SetAttendantProperties", i, i, nullptr)), 0);
    EXPECT_EQ(Count(F::GetAttendantsCount), 6);
    ASSERT_EQ(Call(F::DeleteAttendant, {Value::I32(2)}), 0);
    ASSERT_EQ(Call(F::DeleteAttendant, {Value::I32(5)}), 0);
    EXPECT_EQ(Count(F::GetAttendantsCount), 4);
    std::vector<int64_t> ids;
    for (int i = 1; i <= 4; ++i) {
        ASSERT_EQ(Call(F::GetAttendantByOrdinal, {Value::I32(i)}), 0);
        ids.push_back(out_[0].i);
    }
    EXPECT_EQ(ids, (std::vector<int64_t>{1, 3, 4, 6}));
    EXPECT_EQ(Call(F::GetAttendantByOrdinal, {Value::I32(5)}), QUENDRIL_NOT_FOUND);
    EXPECT_EQ(Call(F::GetAttendantByOrdinal, {Value::I32(0)}), QUENDRIL_NOT_FOUND);
    // A new one by Set on an ID between the others takes its place in the order.
    ASSERT_EQ(Call("SetAttendantProperties", SetterArgs("SetAttendantProperties", 2, 5, nullptr)), 0);
    ASSERT_EQ(Call(F::GetAttendantByOrdinal, {Value::I32(2)}), 0);
    EXPECT_EQ(out_[0].i, 2);
    // The order survives a reopen (the cache is rebuilt from the file).
    Reopen();
    ASSERT_EQ(Call(F::GetAttendantByOrdinal, {Value::I32(5)}), 0);
    EXPECT_EQ(out_[0].i, 6);
}

TEST_P(StoreTest, LookupsByNumberNameAndPumpHose) {
    ASSERT_EQ(FillDemo(), 0);
    ASSERT_EQ(Call(F::GetGradeByName, {Value::Text(u"Diesel")}), 0);
    EXPECT_EQ(out_[0].i, 3);
    EXPECT_EQ(Call(F::GetGradeByName, {Value::Text(u"Kerosene")}), QUENDRIL_NOT_FOUND);
    EXPECT_EQ(Call(F::GetGradeByName, {Value::NullText()}), QUENDRIL_NOT_FOUND);
    ASSERT_EQ(Call(F::GetPumpByNumber, {Value::I32(4)}), 0);
    int64_t pump = out_[0].i;
    ASSERT_EQ(Call(F::GetPumpHosesCount, {Value::I32(static_cast<int32_t>(pump))}), 0);
    int64_t hoses = out_[0].i;
    EXPECT_GE(hoses, 2);
    ASSERT_EQ(Call(F::GetPumpHoseByNumber, {Value::I32(static_cast<int32_t>(pump)), Value::I32(2)}), 0);
    ASSERT_EQ(Call(F::GetHosePropertiesEx3, {out_[0]}), 0);
    EXPECT_EQ(out_[0].i, 2);     // Number
    EXPECT_EQ(out_[1].i, pump);  // PumpID
    EXPECT_EQ(Call(F::GetPumpHosesCount, {Value::I32(99)}), QUENDRIL_NOT_FOUND);
}

// ---- consistency and refusals ---------------------------------------------------------------------

TEST_P(StoreTest, RefusalsHaveTheirOwnCodesAndChangeNothing) {
    ASSERT_EQ(FillDemo(), 0);
    ASSERT_EQ(Call(F::GetGradePropertiesEx, {Value::I32(1)}), 0);
    std::vector<Value> before = out_;
    auto setGrade = [&](int32_t id, int32_t number) {
        return Call(F::SetGradePropertiesEx, {Value::I32(id), Value::I32(number), Value::Text(u"Changed"),
                                              Value::Text(u"CH"), Value::Text(u"CH"), Value::I16(3)});
    };
    EXPECT_EQ(setGrade(1, 2), QUENDRIL_DUPLICATE);    // number 2 belongs to grade 2
    EXPECT_EQ(setGrade(1, 0), QUENDRIL_BAD_ARGUMENT); // numbers start at 1
    EXPECT_EQ(setGrade(0, 9), QUENDRIL_BAD_ARGUMENT);
    ASSERT_EQ(Call(F::GetGradePropertiesEx, {Value::I32(1)}), 0);
    EXPECT_EQ(out_, before);

    // A hose must name an existing pump; a tank an existing grade or none.
    std::vector<Value> hose = SetterArgs("SetHosePropertiesEx3", 200, 1, nullptr);
    hose[2] = Value::I32(77);
    EXPECT_EQ(Call("SetHosePropertiesEx3", hose), kResultBadReference);
    hose[2] = Value::I32(0);
    EXPECT_EQ(Call("SetHosePropertiesEx3", hose), kResultBadReference);
    EXPECT_EQ(Call(F::GetHosePropertiesEx3, {Value::I32(200)}), QUENDRIL_NOT_FOUND);
    std::vector<Value> tank = SetterArgs("SetTankPropertiesEx3", 60, 1, nullptr);
    tank[3] = Value::I32(0);
    EXPECT_EQ(Call("SetTankPropertiesEx3", tank), 0);
    tank[3] = Value::I32(55);
    EXPECT_EQ(Call("SetTankPropertiesEx3", tank), kResultBadReference);

    // A card client's parent must exist among the kind its card type implies.
    auto client = [&](int32_t id, int16_t cardType, int32_t parent) {
        std::vector<Value> c = SetterArgs("SetCardClientPropertiesEx4", id, 4, nullptr);
        c[1] = Value::I32(id);
        c[11] = Value::I16(cardType);
        c[16] = Value::I32(parent);
        return Call("SetCardClientPropertiesEx4", c);
    };
    EXPECT_EQ(client(300, 5, 6), 0);                      // attendant 6
    EXPECT_EQ(client(301, 5, 60), kResultBadReference);   // no attendant 60 (card client 30 exists)
    EXPECT_EQ(client(302, 7, 25), 0);                     // product 25
    EXPECT_EQ(client(303, 4, 300), 0);                    // card client 300
    EXPECT_EQ(client(303, 4, 303), QUENDRIL_BAD_ARGUMENT);  // its own parent
    EXPECT_EQ(client(300, 6, 303), QUENDRIL_BAD_ARGUMENT);  // 300 -> 303 -> 300
    EXPECT_EQ(client(304, 2, 12345), 0);                  // card type 2 has no parent kind

    // Deletes of objects still referred to are refused.
    EXPECT_EQ(Call(F::DeleteGrade, {Value::I32(1)}), QUENDRIL_IN_USE);       // tank 1
    EXPECT_EQ(Call(F::DeleteTank, {Value::I32(1)}), QUENDRIL_IN_USE);        // hoses
    EXPECT_EQ(Call(F::DeletePump, {Value::I32(1)}), QUENDRIL_IN_USE);        // hoses
    EXPECT_EQ(Call(F::RemovePort, {Value::I32(1)}), QUENDRIL_IN_USE);        // pumps
    EXPECT_EQ(Call(F::DeleteAttendant, {Value::I32(6)}), QUENDRIL_IN_USE);   // card client 300
    EXPECT_EQ(Call(F::DeleteProduct, {Value::I32(25)}), QUENDRIL_IN_USE);    // card client 302
    EXPECT_EQ(Call(F::DeleteCardClient, {Value::I32(300)}), QUENDRIL_IN_USE);  // parent of 303
    EXPECT_EQ(Call(F::DeleteCardClient, {Value::I32(303)}), 0);
    EXPECT_EQ(Call(F::DeleteCardClient, {Value::I32(300)}), 0);
    EXPECT_EQ(Call(F::DeleteCardClient, {Value::I32(300)}), QUENDRIL_NOT_FOUND);

    // Slots name ZigBee devices from 5 up: the demo pumps' slot devices are in use, but a device
    // with a smaller ID is not held by the slot 1 that the plain pump version leaves.
    EXPECT_EQ(Call(F::DeleteZigBee, {Value::I32(5)}), QUENDRIL_IN_USE);  // pumps 1 and 2
    ASSERT_EQ(Call("SetZigBeeProperties", SetterArgs("SetZigBeeProperties", 1, 3, nullptr)), 0);
    ASSERT_EQ(Call("SetPumpProperties", SetterArgs("SetPumpProperties", 90, 3, nullptr)), 0);
    ASSERT_EQ(Call(F::GetPumpPropertiesEx, {Value::I32(90)}), 0);
    ASSERT_EQ(OutsByName("GetPumpPropertiesEx")["SlotZigBeeID"].i, 1);
    EXPECT_EQ(Call(F::DeleteZigBee, {Value::I32(1)}), 0);
    EXPECT_EQ(Count(F::GetTanksCount), 5);

    // Arguments out of range, and calls the store does not answer.
    EXPECT_EQ(Call(F::SetGradePrice, {Value::I32(1), Value::I16(9), Value::F64(1.5)}), QUENDRIL_BAD_ARGUMENT);
    EXPECT_EQ(Call(F::GetGradePrice, {Value::I32(1), Value::I16(0)}), QUENDRIL_BAD_ARGUMENT);
    EXPECT_EQ(Call(F::SetGradePrice, {Value::I32(99), Value::I16(1), Value::F64(1.5)}), QUENDRIL_NOT_FOUND);
    if (!Live()) {  // the C API cannot leave an argument out
        EXPECT_EQ(Call(F::GetGradePrice, {Value::I32(1)}), QUENDRIL_BAD_ARGUMENT);  // argument missing
        EXPECT_EQ(out_.size(), 1u);  // outs are still there for the caller to encode
        EXPECT_FALSE(store_->Handles(F::AllStop));
    }
    EXPECT_EQ(Call(F::AllStop, {}), QUENDRIL_NOT_SUPPORTED);
}

// ---- special records --------------------------------------------------------------------------------

TEST_P(StoreTest, GradePricesAndSummaries) {
    ASSERT_EQ(FillDemo(), 0);
    ASSERT_EQ(Call(F::SetGradePrice, {Value::I32(3), Value::I16(8), Value::F64(1.599)}), 0);
    ASSERT_EQ(Call(F::GetGradePrice, {Value::I32(3), Value::I16(8)}), 0);
    EXPECT_DOUBLE_EQ(out_[0].f, 1.599);
    ASSERT_EQ(Call(F::GetGradePrice, {Value::I32(3), Value::I16(5)}), 0);
    EXPECT_EQ(out_[0].f, 0.0);

    // Hose 1 is on pump 1, tank 1, grade 1 "Unleaded 95".
    ASSERT_EQ(Call(F::GetHoseSummaryEx2, {Value::I32(1)}), 0);
    auto h = OutsByName("GetHoseSummaryEx2");
    EXPECT_EQ(h["PumpName"].text, u"Pump 1");
    EXPECT_EQ(h["TankID"].i, 1);
    EXPECT_EQ(h["GradeID"].i, 1);
    EXPECT_EQ(h["GradeName"].text, u"Unleaded 95");
    EXPECT_EQ(h["GradeShortName"].text, u"U95");
    EXPECT_DOUBLE_EQ(h["Price1"].f, 1.749);
    EXPECT_EQ(h["Enabled"].i, 1);

    ASSERT_EQ(Call(F::GetTankSummaryEx3, {Value::I32(3)}), 0);
    auto t = OutsByName("GetTankSummaryEx3");
    EXPECT_EQ(t["GradeName"].text, u"Diesel");
    EXPECT_EQ(t["Capacity"].f, 40000.0);
    EXPECT_EQ(t["TankManifoldID"].i, 0);

    // Strapping: the volume of a half-full horizontal cylinder is half its capacity.
    ASSERT_EQ(Call(F::SetStrappingTableData, {Value::I32(3), Value::F64(0.01), Value::F64(2.5), Value::F64(0),
                                              Value::F64(40000), Value::I32(0), Value::Text(u"Tank 3 chart")}), 0);
    ASSERT_EQ(Call(F::SetStrappingTableElement, {Value::I32(3), Value::I32(125), Value::I16(2), Value::F64(12.5),
                                                 Value::F64(-3.0)}), 0);
    ASSERT_EQ(Call(F::GetStrappingTableElement, {Value::I32(3), Value::I32(125)}), 0);
    EXPECT_EQ(out_[0].i, 2);
    EXPECT_NEAR(out_[1].f, 1.25, 1e-9);
    EXPECT_NEAR(out_[4].f, 20000 + 12.5, 1e-6);
    EXPECT_NEAR(out_[5].f, 20000 - 3.0, 1e-6);
    ASSERT_EQ(Call(F::GetStrappingTableData, {Value::I32(3)}), 0);
    EXPECT_EQ(out_[5].text, u"Tank 3 chart");
    EXPECT_EQ(Call(F::GetStrappingTableElement, {Value::I32(3), Value::I32(-1)}), QUENDRIL_BAD_ARGUMENT);
    EXPECT_EQ(Call(F::GetStrappingTableData, {Value::I32(42)}), QUENDRIL_NOT_FOUND);

    // Hose prices share the hose's price fields.
    ASSERT_EQ(Call(F::SetHosePricesEx, {Value::I32(1), Value::I16(2), Value::I16(1), Value::F64(1.1),
                                        Value::F64(1.2), Value::F64(1.3), Value::F64(1.4)}), 0);
    ASSERT_EQ(Call(F::GetHosePropertiesEx3, {Value::I32(1)}), 0);
    EXPECT_EQ(OutsByName("GetHosePropertiesEx3")["Price4"].f, 1.4);
    ASSERT_EQ(Call(F::GetHosePrices, {Value::I32(1)}), 0);
    EXPECT_EQ(out_[0].i, 2);
    EXPECT_EQ(out_[3].f, 1.2);
}

TEST_P(StoreTest, CardsDevicesNetworkClockAndSettings) {
    ASSERT_EQ(FillDemo(), 0);
    ASSERT_EQ(Call(F::GetCardClientPropertiesEx4, {Value::I32(8)}), 0);
    Value tag = out_[2];
    ASSERT_EQ(Call(F::FindCard, {tag}), 0);
    EXPECT_EQ(out_[0].i, 4);  // a fleet driver's card
    EXPECT_EQ(out_[1].i, 1);  // a card client's tag
    EXPECT_EQ(out_[2].i, 8);
    ASSERT_EQ(Call(F::GetCardType, {Value::Text(u"900003")}), 0);  // attendant 3's tag
    EXPECT_EQ(out_[0].i, 2);
    EXPECT_EQ(out_[1].i, 3);
    EXPECT_EQ(Call(F::FindCard, {Value::Text(u"nope")}), QUENDRIL_NOT_FOUND);
    EXPECT_EQ(Call(F::FindCard, {Value::NullText()}), QUENDRIL_BAD_ARGUMENT);

    // Port 3 is the ZigBee coordinator: its network comes from its serial number and is stable.
    ASSERT_EQ(Call(F::GetZB2GConfig, {Value::I32(3)}), 0);
    std::vector<Value> zb = out_;
    EXPECT_GT(zb[0].i, 0);
    EXPECT_NE(zb[1].i & 0x07FFF800, 0);
    EXPECT_EQ(zb[1].i & ~0x07FFF800LL, 0);
    ASSERT_EQ(Call(F::GetZB2GConfig, {Value::I32(1)}), 0);  // not a coordinator
    EXPECT_EQ(out_[0].i, 0);
    ASSERT_EQ(Call(F::SetZBCoordPan, {Value::I32(3), Value::I64(0x1234)}), 0);
    EXPECT_EQ(Call(F::SetZBCoordPan, {Value::I32(1), Value::I64(0x1234)}), QUENDRIL_WRONG_STATE);
    ASSERT_EQ(Call(F::GetZB2GConfig, {Value::I32(3)}), 0);
    EXPECT_EQ(out_[0].i, 0x1234);
    EXPECT_EQ(out_[2], zb[2]);
    ASSERT_EQ(Call(F::GetDeviceDetails, {Value::I32(3), Value::I32(6)}), 0);  // the second slot
    EXPECT_EQ(out_[0].text, u"0013A20040B1C032");
    EXPECT_FALSE(out_[2].text.empty());
    EXPECT_EQ(Call(F::GetDeviceDetails, {Value::I32(1), Value::I32(6)}), QUENDRIL_NOT_FOUND);  // not on port 1
    ASSERT_EQ(Call(F::GetSerialNo, {Value::I32(1)}), 0);
    EXPECT_EQ(out_[0].text, u"PIF-20413");

    // Network settings.
    EXPECT_EQ(Call(F::SetTCPIPConfig, {Value::Text(u"10.0.0.300"), Value::Text(u"255.255.255.0"), Value::Text(u""),
                                       Value::Text(u""), Value::I16(0), Value::Text(u"SITE")}),
              QUENDRIL_BAD_ARGUMENT);
    ASSERT_EQ(Call(F::SetTCPIPConfig, {Value::Text(u"10.1.2.3"), Value::Text(u"255.255.0.0"), Value::Text(u"10.1.0.1"),
                                       Value::Text(u""), Value::I16(0), Value::Text(u"SITE")}), 0);

    // The controller's clock runs on the host's clock from the offset it was set to.
    // Directly the host's clock is ours to move; a live server runs on the real one.
    const double clockTolerance = Live() ? 30.0 / 86400 : 1e-9;
    const double clockNow = Live() ? 45100.25 : 45100.75;
    ASSERT_EQ(Call(F::SetDateTime, {Value::Date(45100.25)}), 0);
    hostNow_ += 0.5;
    ASSERT_EQ(Call(F::GetDateTime, {}), 0);
    EXPECT_NEAR(out_[0].f, clockNow, clockTolerance);
    EXPECT_EQ(Call(F::SetDateTime, {Value::Date(-1.0)}), QUENDRIL_BAD_ARGUMENT);

    // Settings, keys matched ignoring case; a null value removes the key.
    ASSERT_EQ(Call(F::SetIniValue, {Value::Text(u"Server"), Value::Text(u"LogAll"), Value::Text(u"Yes")}), 0);
    ASSERT_EQ(Call(F::GetIniValue, {Value::Text(u"SERVER"), Value::Text(u"logall")}), 0);
    EXPECT_EQ(out_[0].text, u"Yes");
    ASSERT_EQ(Call(F::GetIniValueEx, {Value::Text(u"other.ini"), Value::Text(u"Server"), Value::Text(u"LogAll")}), 0);
    EXPECT_EQ(out_[0].text, u"");
    ASSERT_EQ(Call(F::SetIniValue, {Value::Text(u"Server"), Value::Text(u"LogAll"), Value::NullText()}), 0);
    ASSERT_EQ(Call(F::GetIniValue, {Value::Text(u"Server"), Value::Text(u"LogAll")}), 0);
    EXPECT_EQ(out_[0].text, u"");
    EXPECT_EQ(Call(F::SetIniValue, {Value::Text(u""), Value::Text(u"K"), Value::Text(u"V")}), QUENDRIL_BAD_ARGUMENT);

    // Price signs: an element never set links to nothing.
    ASSERT_EQ(Call(F::GetPriceSignElement, {Value::I16(4)}), 0);
    EXPECT_EQ(out_[1].i, -1);
    ASSERT_EQ(Call(F::SetPriceSignElement, {Value::I16(4), Value::I16(1), Value::I32(2), Value::I16(3),
                                            Value::F64(1.899), Value::I16(1), Value::I16(0), Value::I16(0)}), 0);
    ASSERT_EQ(Call(F::GetPriceSignElement, {Value::I16(4)}), 0);
    EXPECT_EQ(out_[1].i, 2);
    EXPECT_EQ(out_[3].f, 1.899);
    EXPECT_EQ(Call(F::GetPriceSignElement, {Value::I16(0)}), QUENDRIL_BAD_ARGUMENT);

    // Everything above survives a restart.
    Reopen();
    ASSERT_EQ(Call(F::GetTCPIPConfig, {}), 0);
    EXPECT_EQ(out_[0].text, u"10.1.2.3");
    ASSERT_EQ(Call(F::GetDateTime, {}), 0);
    EXPECT_NEAR(out_[0].f, clockNow, clockTolerance);
    ASSERT_EQ(Call(F::GetPriceSignElement, {Value::I16(4)}), 0);
    EXPECT_EQ(out_[4].i, 1);
}

// ---- filters ------------------------------------------------------------------------------------

TEST_P(StoreTest, FilteredCountsAndOrdinalsAgree) {
    ASSERT_EQ(FillDemo(), 0);
    auto products = [&](int32_t number, const char16_t* name, int32_t group) {
        EXPECT_EQ(Call(F::GetProductsCount, {Value::I32(number), Value::Text(name), Value::Text(u""),
                                             Value::NullText(), Value::Text(u""), Value::I32(group)}), 0);
        return out_[0].i;
    };
    EXPECT_EQ(products(-1, u"", -1), 25);
    EXPECT_EQ(products(-1, u"", 2), 5);  // products 6..10
    EXPECT_EQ(products(3, u"", -1), 1);
    EXPECT_EQ(products(-1, u"Coffee large", -1), 1);
    EXPECT_EQ(products(-1, u"Coffee large", 1), 0);
    ASSERT_EQ(products(-1, u"", 2), 5);
    ASSERT_EQ(Call(F::GetProductByOrdinal, {Value::I32(2), Value::I32(-1), Value::Text(u""), Value::Text(u""),
                                            Value::NullText(), Value::Text(u""), Value::I32(2)}), 0);
    EXPECT_EQ(out_[0].i, 7);
    EXPECT_EQ(Call(F::GetProductByOrdinal, {Value::I32(6), Value::I32(-1), Value::Text(u""), Value::Text(u""),
                                            Value::NullText(), Value::Text(u""), Value::I32(2)}), QUENDRIL_NOT_FOUND);
    // A write between the count and the ordinal is seen by the ordinal.
    ASSERT_EQ(Call(F::DeleteProduct, {Value::I32(9)}), 0);  // products 5..8 are voucher parents
    ASSERT_EQ(Call(F::GetProductByOrdinal, {Value::I32(4), Value::I32(-1), Value::Text(u""), Value::Text(u""),
                                            Value::NullText(), Value::Text(u""), Value::I32(2)}), 0);
    EXPECT_EQ(out_[0].i, 10);

    // Log events: by device and by time.
    for (int i = 1; i <= 6; ++i) {
        std::vector<Value> ev = SetterArgs("SetLogEventProperties", i, i, nullptr);
        ev[1] = Value::I16(static_cast<int16_t>(i % 2 ? 1 : 2));  // DeviceType
        ev[8] = Value::Date(45000.0 + i);                         // GeneratedDT
        ev[10] = Value::I32(0);                                   // ClearedBy
        ASSERT_EQ(Call("SetLogEventProperties", ev), 0);
    }
    auto events = [&](int16_t type, double start, double end) {
        EXPECT_EQ(Call(F::GetLogEventCountEx, {Value::I16(type), Value::I32(-1), Value::I16(-1), Value::I16(-1),
                                               Value::I32(-1), Value::I32(-1), Value::Date(start), Value::Date(end)}), 0);
        return out_[0].i;
    };
    EXPECT_EQ(events(-1, -1, -1), 6);
    EXPECT_EQ(events(1, -1, -1), 3);
    EXPECT_EQ(events(-1, 45002.0, 45004.0), 3);
    EXPECT_EQ(events(2, 45002.0, 45004.0), 2);
    ASSERT_EQ(Call(F::ClearLogEvent, {Value::I32(4), Value::I32(110)}), 0);
    ASSERT_EQ(Call(F::GetLogEventCount, {Value::I16(-1), Value::I32(-1), Value::I16(-1), Value::I16(-1),
                                         Value::I32(110), Value::I32(-1)}), 0);
    EXPECT_EQ(out_[0].i, 1);

    // Sale items: by pump number (through the pump) and card client tag.
    for (int i = 1; i <= 4; ++i) {
        std::vector<Value> in{Value::I32(i), Value::I32(i <= 2 ? 3 : 4), Value::I32(0), Value::I32(0),
                              Value::I16(1), Value::F64(2.5), Value::F64(1), Value::Date(45000), Value::Date(0),
                              Value::I32(0), Value::I32(0), Value::I16(0), Value::I16(0), Value::Text(u""),
                              Value::Text(u""), Value::Text(u""), Value::Text(u""), Value::I16(0), Value::I64(555 + i % 2)};
        ASSERT_EQ(Call("AddSaleItem", in), 0);
    }
    auto sales = [&](int32_t pumpNumber, int64_t tag) {
        EXPECT_EQ(Call(F::GetSaleItemsCount, {Value::I32(-1), Value::I32(-1), Value::I32(-1), Value::I32(pumpNumber),
                                              Value::I32(-1), Value::I32(-1), Value::I64(-1), Value::I32(-1),
                                              Value::I32(-1), Value::I64(tag), Value::I32(-1), Value::I32(-1),
                                              Value::I16(-1), Value::I16(-1)}), 0);
        return out_[0].i;
    };
    EXPECT_EQ(sales(-1, -1), 4);
    EXPECT_EQ(sales(3, -1), 2);
    EXPECT_EQ(sales(4, 555), 1);
    ASSERT_EQ(Call(F::GetSaleItemSummary, {Value::I32(1)}), 0);
    EXPECT_EQ(OutsByName("GetSaleItemSummary")["ProductName"].text, u"Motor oil 5W-30 1L");
    EXPECT_EQ(OutsByName("GetSaleItemSummary")["PumpName"].text, u"Pump 3");
}

TEST_F(StoreFileTest, SaleItemLocksBelongToTheirClient) {
    ASSERT_EQ(FillDemo(), 0);
    std::vector<Value> in = SetterArgs("SetSaleItemProperties", 1, 1, nullptr);
    in[1] = Value::I32(1);
    in[10] = Value::I32(0);  // LockedBy
    ASSERT_EQ(Call("SetSaleItemProperties", in), 0);
    std::vector<Value> none;
    ASSERT_EQ(store_->Call(F::SaleItemLock, std::vector<Value>{Value::I32(1)}, out_, {110}), 0);
    EXPECT_EQ(store_->Call(F::SaleItemClear, std::vector<Value>{Value::I32(1)}, out_, {111}), QUENDRIL_LOCKED_BY_OTHER);
    ASSERT_EQ(store_->Call(F::SaleItemClear, std::vector<Value>{Value::I32(1)}, out_, {110}), 0);
    ASSERT_EQ(Call(F::GetSaleItemProperties, {Value::I32(1)}), 0);
    auto s = OutsByName("GetSaleItemProperties");
    EXPECT_EQ(s["LockedBy"].i, 110);
    EXPECT_EQ(s["ClearedBy"].i, 110);
    EXPECT_EQ(s["ClearedDT"].f, hostNow_);
}

// ---- events, sites, durability --------------------------------------------------------------------

TEST_F(StoreFileTest, CommittedChangesAreReportedRefusedOnesNot) {
    std::vector<std::pair<int32_t, int32_t>> events;
    store_->SetChangeCallback([&](int32_t t, int32_t r) { events.emplace_back(t, r); });
    ASSERT_EQ(Call(F::AddGrade, {Value::Text(u"Diesel"), Value::Text(u"D"), Value::Text(u"D"), Value::I16(1)}), 0);
    ASSERT_EQ(Call(F::SetGradePrice, {Value::I32(1), Value::I16(1), Value::F64(1.5)}), 0);
    EXPECT_NE(Call(F::SetGradePrice, {Value::I32(2), Value::I16(1), Value::F64(1.5)}), 0);
    ASSERT_EQ(Call(F::DeleteGrade, {Value::I32(1)}), 0);
    EXPECT_EQ(events, (std::vector<std::pair<int32_t, int32_t>>{{kTableGrades, 1}, {kTableGrades, 1}, {kTableGrades, 1}}));
    // The grade's prices went with it.
    ASSERT_EQ(Call(F::SetGradePropertiesEx, {Value::I32(1), Value::I32(1), Value::Text(u"Diesel"), Value::Text(u"D"),
                                             Value::Text(u"D"), Value::I16(1)}), 0);
    ASSERT_EQ(Call(F::GetGradePrice, {Value::I32(1), Value::I16(1)}), 0);
    EXPECT_EQ(out_[0].f, 0.0);
}

TEST_F(StoreFileTest, DemoSiteHasTheStationAndSurvivesReopen) {
    EXPECT_TRUE(store_->IsEmpty());
    ASSERT_EQ(FillDemo(), 0);
    Reopen();
    EXPECT_FALSE(store_->IsEmpty());
    EXPECT_EQ(Count(F::GetPortsCount), 3);
    EXPECT_EQ(Count(F::GetZigBeeCount), 4);
    EXPECT_EQ(Count(F::GetGradesCount), 4);
    EXPECT_EQ(Count(F::GetTanksCount), 4);
    EXPECT_EQ(Count(F::GetPumpsCount), 8);
    EXPECT_EQ(Count(F::GetSensorsCount), 2);
    EXPECT_EQ(Count(F::GetAttendantsCount), 6);
    EXPECT_EQ(Count(F::GetCardClientsCount), 40);
    EXPECT_EQ(store_->CountOf(kTableProducts), 25);
    for (int32_t pump = 1; pump <= 8; ++pump) {
        ASSERT_EQ(Call(F::GetPumpHosesCount, {Value::I32(pump)}), 0);
        EXPECT_GE(out_[0].i, 2);
        EXPECT_LE(out_[0].i, 4);
    }
    int withParent = 0, types = 0;
    std::map<int64_t, int> cardTypes;
    for (int32_t id = 1; id <= 40; ++id) {
        ASSERT_EQ(Call(F::GetCardClientPropertiesEx4, {Value::I32(id)}), 0);
        auto c = OutsByName("GetCardClientPropertiesEx4");
        withParent += c["ParentID"].i > 0;
        cardTypes[c["CardType"].i]++;
    }
    types = static_cast<int>(cardTypes.size());
    EXPECT_GE(withParent, 10);
    EXPECT_GE(types, 3);
    ASSERT_EQ(Call(F::GetGradePrice, {Value::I32(1), Value::I16(2)}), 0);
    EXPECT_GT(out_[0].f, 0);
}

TEST_F(StoreFileTest, LargeSiteHasTheBenchmarkCounts) {
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(FillLargeSite(*store_), 0);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("large site written in %.2f s\n", seconds);
    EXPECT_EQ(Count(F::GetPumpsCount), 64);
    EXPECT_EQ(Count(F::GetHosesCount), 256);
    EXPECT_EQ(Count(F::GetGradesCount), 128);
    EXPECT_EQ(Count(F::GetTanksCount), 64);
    EXPECT_EQ(Count(F::GetPortsCount), 32);
    EXPECT_EQ(Count(F::GetCardClientsCount), 10000);
    EXPECT_EQ(Count(F::GetAttendantsCount), 500);
    EXPECT_EQ(store_->CountOf(kTableProducts), 5000);
    // The export's way through the card clients: ordinal then properties, every one.
    start = std::chrono::steady_clock::now();
    for (int i = 1; i <= 10000; ++i) {
        ASSERT_EQ(Call(F::GetCardClientByOrdinal, {Value::I32(i)}), 0);
        ASSERT_EQ(Call(F::GetCardClientPropertiesEx4, {out_[0]}), 0);
    }
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("10,000 card clients read in %.3f s (%.0f objects/s)\n", seconds, 10000 / seconds);
    start = std::chrono::steady_clock::now();
    std::map<std::string, Value> ignored;
    for (int i = 1; i <= 10000; ++i) {
        std::vector<Value> in = SetterArgs("SetCardClientPropertiesEx4", i, i, nullptr);
        in[1] = Value::I32(i);  // keep each client's number
        ASSERT_EQ(Call("SetCardClientPropertiesEx4", in), 0);
    }
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("10,000 SetCardClientPropertiesEx4 in %.3f s (%.0f writes/s)\n", seconds, 10000 / seconds);
}

// Write number `seq` of a stream over the demo site's 40 card clients: client 1 + seq % 40 gets
// the sequence number as its Odometer.
std::vector<Value> SequencedWrite(int32_t seq) {
    int32_t id = 1 + seq % 40;
    std::vector<Value> in = SetterArgs("SetCardClientPropertiesEx4", id, 0, nullptr);
    in[1] = Value::I32(id);
    in[11] = Value::I16(1);
    in[16] = Value::I32(-1);
    in[18] = Value::F64(seq);  // Odometer
    return in;
}

// Each client holds the highest sequence number written to it, up to `last`.
void StoreFixture::ExpectSequencedWritesUpTo(int32_t last) {
    for (int32_t seq = last - 39; seq <= last; ++seq) {
        int32_t id = 1 + seq % 40;
        ASSERT_EQ(Call(F::GetCardClientPropertiesEx4, {Value::I32(id)}), 0);
        EXPECT_GE(OutsByName("GetCardClientPropertiesEx4")["Odometer"].f, seq) << "client " << id;
    }
    EXPECT_EQ(Count(F::GetCardClientsCount), 40);
}

// Writes in a loop in a child process that reports each write answered 0 through a pipe, and is
// killed with SIGKILL in the middle: the file must open and hold every reported write.
TEST_F(StoreFileTest, KillNineKeepsEveryAnsweredWrite) {
    ASSERT_EQ(FillDemo(), 0);
    store_.reset();
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(fds[0]);
        auto s = Store::Open(path_, nullptr);
        if (!s) _exit(2);
        std::vector<Value> out;
        for (int32_t i = 1;; ++i) {
            if (s->Call(F::SetCardClientPropertiesEx4, SequencedWrite(i), out) != 0) _exit(3);
            if (write(fds[1], &i, sizeof i) != sizeof i) _exit(4);
        }
    }
    close(fds[1]);
    int32_t last = 0, value = 0;
    while (last < 3000 && read(fds[0], &value, sizeof value) == sizeof value) last = value;
    kill(child, SIGKILL);
    // Writes answered after the last one read may also be in the file; the ones read must be.
    while (read(fds[0], &value, sizeof value) == sizeof value) last = value;
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "child ended with " << status;
    ASSERT_GE(last, 3000);
    Reopen();
    ExpectSequencedWritesUpTo(last);
}

TEST_F(StoreFileTest, RefusesAFileOfANewerSchema) {
    store_.reset();
    {
        auto s = Store::Open(path_, nullptr);
        ASSERT_NE(s, nullptr);
    }
    std::string cmd = "sqlite3 '" + path_ + "' 'INSERT INTO schema_version VALUES(99)' 2>/dev/null";
    if (std::system(cmd.c_str()) != 0) GTEST_SKIP() << "no sqlite3 shell";
    std::string error;
    EXPECT_EQ(Store::Open(path_, &error), nullptr);
    EXPECT_NE(error.find("newer"), std::string::npos) << error;
    std::filesystem::remove(path_);
    std::filesystem::create_directories(path_);  // a directory is not a database
    EXPECT_EQ(Store::Open(path_, &error), nullptr);
}

// ---- through the server only ---------------------------------------------------------------------

class StoreServerTest : public StoreFixture {
protected:
    void SetUp() override {
        mode_ = Mode::kThroughLibrary;
        StoreFixture::SetUp();
    }
    int32_t LogOnWithMask(int32_t* session, int32_t mask) {
        quendril_test::Text name("watcher"), hash(QUENDRIL_DEFAULT_HASH_KEY), host(server_.Address().c_str());
        return InternalClientLogonMT(session, 9, 1, name.get(), 1, hash.get(), mask, host.get(), server_.CallPort(),
                                     server_.EventsPort(), 5000, -1, 0, 1024);
    }
};

// A committed change reaches the sessions whose mask asks for DBTriggerEvent, a refused one
// nobody.
TEST_F(StoreServerTest, ChangesRaiseDBTriggerEventForSessionsThatAskForIt) {
    ASSERT_EQ(FillDemo(), 0);
    constexpr int16_t kDBTrigger = 10;
    int32_t deaf = 0;
    ASSERT_EQ(LogOnWithMask(&deaf, quendril_test::kAllKinds & ~(1 << (kDBTrigger - 1))), 0);
    EXPECT_NE(Call(F::SetGradePrice, {Value::I32(99), Value::I16(1), Value::F64(1.5)}), 0);
    ASSERT_EQ(Call(F::SetGradePrice, {Value::I32(2), Value::I16(1), Value::F64(1.659)}), 0);
    ASSERT_EQ(Call(F::DeleteCardClient, {Value::I32(40)}), 0);

    ASSERT_EQ(quendril_test::WaitEvent(session_), kDBTrigger);
    int32_t table = 0, row = 0;
    ASSERT_EQ(GetNextDBTriggerEventMT(session_, &table, &row), 0);
    EXPECT_EQ(std::make_pair(table, row), std::make_pair(int32_t{kTableGrades}, 2));
    ASSERT_EQ(quendril_test::WaitEvent(session_), kDBTrigger);
    ASSERT_EQ(GetNextDBTriggerEventMT(session_, &table, &row), 0);
    EXPECT_EQ(std::make_pair(table, row), std::make_pair(int32_t{kTableCardClients}, 40));
    EXPECT_EQ(quendril_test::WaitEvent(session_, 200), 0);  // nothing for the refused write
    EXPECT_EQ(quendril_test::WaitEvent(deaf, 200), 0);
    ClientLogoffMT(&deaf);
}

// Each refusal has its own code, and ResultString a text of its own for it.
TEST_F(StoreServerTest, RefusalCodesHaveTheirOwnTexts) {
    std::map<std::u16string, int32_t> texts;
    for (int32_t code : {QUENDRIL_NOT_FOUND, QUENDRIL_IN_USE, QUENDRIL_DUPLICATE, QUENDRIL_BAD_ARGUMENT,
                         QUENDRIL_BAD_REFERENCE, QUENDRIL_WRONG_STATE, QUENDRIL_LOCKED_BY_OTHER}) {
        BSTR text = ResultString(code);
        ASSERT_NE(text, nullptr) << code;
        std::u16string t(text, SysStringLen(text));
        SysFreeString(text);
        EXPECT_FALSE(t.empty()) << code;
        EXPECT_TRUE(texts.emplace(t, code).second) << code << " shares its text with " << texts[t];
    }
    BSTR reference = ResultString(QUENDRIL_BAD_REFERENCE);
    EXPECT_EQ(std::u16string(reference, SysStringLen(reference)), u"A referenced object does not exist");
    SysFreeString(reference);
}

// The server is killed with SIGKILL in the middle of a stream of writes: after a restart on the
// same file every write that was answered 0 is there.
TEST_F(StoreServerTest, KillNineOfTheServerKeepsEveryAnsweredWrite) {
    ASSERT_EQ(FillDemo(), 0);
    std::atomic<int32_t> answered{0};
    std::atomic<int32_t> failure{0};
    std::thread writer([&] {
        std::vector<Value> out;
        for (int32_t i = 1;; ++i) {
            int32_t r = testing::CallThroughLibrary(session_, F::SetCardClientPropertiesEx4, SequencedWrite(i), out);
            if (r != 0) {
                failure = r;
                return;
            }
            answered = i;
        }
    });
    while (answered < 500 && failure == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_TRUE(server_.Kill());
    writer.join();
    const int32_t last = answered;
    EXPECT_TRUE(failure == QUENDRIL_CONNECTION_CLOSED || failure == QUENDRIL_TIMEOUT) << failure;
    ASSERT_GE(last, 500);

    ClientLogoffMT(&session_);
    ASSERT_TRUE(server_.Restart());
    ASSERT_NO_FATAL_FAILURE(LogOn());
    ExpectSequencedWritesUpTo(last);
}

}  // namespace
}  // namespace wyrlan::store
