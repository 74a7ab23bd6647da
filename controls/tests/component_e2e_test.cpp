// The component against a real wyrlan: events injected through the library's control
// interface reach the right signal or widget sink with every value; a killed server takes the
// widgets offline and the component back on line once the server is up again.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMetaMethod>
#include <QSignalSpy>
#include <QThread>

#include <functional>
#include <string>
#include <vector>

#include "controls/Quendril.h"
#include "controls/tests/qt_test_support.h"
#include "controls/tests/recording_widgets.h"
#include "quendril/api/api_table.h"
#include "quendril/include/quendril_control.h"
#include "wyrlan/testing/server_process.h"

namespace {

using quendril::api::kRecords;
using quendril::api::RecordInfo;
using quendril::api::Type;
using Varnel::Quendril;

const RecordInfo& RecordNamed(std::string_view name) {
    for (const RecordInfo& r : kRecords) {
        if (name == r.name) return r;
    }
    std::abort();
}

// Distinct values for every field of a record, by position and type; `set` overrides by name.
QVariantList SampleValues(const RecordInfo& r, const std::vector<std::pair<std::string, QVariant>>& set = {}) {
    QVariantList values;
    int i = 0;
    for (const auto& f : quendril::api::FieldsOf(r)) {
        QVariant v;
        switch (f.type) {
            case Type::kI16: case Type::kU16: v = QVariant::fromValue<int16_t>(static_cast<int16_t>(100 + i)); break;
            case Type::kI32: v = QVariant::fromValue<int32_t>(1000 + i); break;
            case Type::kI64: v = QVariant::fromValue<int64_t>(10000000000LL + i); break;
            case Type::kF64: v = i + 0.5; break;
            case Type::kText: v = QStringLiteral("T%1 ü").arg(i); break;
            case Type::kDate: v = Varnel::DATE2DateTime(45000.25 + i); break;
        }
        for (const auto& [name, value] : set) {
            if (name == f.name) v = value;
        }
        values.push_back(v);
        ++i;
    }
    return values;
}

void ExpectValues(const QVariantList& got, const QVariantList& want) {
    ASSERT_EQ(got.size(), want.size());
    for (qsizetype i = 0; i < got.size(); ++i) {
        if (want[i].metaType() == QMetaType::fromType<QDateTime>()) {
            EXPECT_EQ(got[i].toDateTime(), want[i].toDateTime()) << "value " << i;
        } else {
            EXPECT_EQ(got[i].toString(), want[i].toString()) << "value " << i;
        }
    }
}

QVariantList Slice(const QVariantList& v, qsizetype from, qsizetype count = -1) { return v.mid(from, count); }

std::unique_ptr<QSignalSpy> Spy(Quendril* q, const char* name) {
    const QMetaObject* mo = q->metaObject();
    for (int i = mo->methodOffset(); i < mo->methodCount(); ++i) {
        QMetaMethod m = mo->method(i);
        if (m.methodType() == QMetaMethod::Signal && m.name() == name) return std::make_unique<QSignalSpy>(q, m);
    }
    return nullptr;
}

class ComponentE2E : public ::testing::Test {
protected:
    static void SetUpTestSuite() { App(); }

    void SetUp() override {
        Quendril::SetTimerIntervals(100, 200);
        ASSERT_TRUE(server.Start("127.0.0.61"));
        q = std::make_unique<Quendril>();
        QObject::connect(q.get(), &Quendril::ServerConnectionBroken, [this] { ++broken; });
        QObject::connect(q.get(), &Quendril::ServerReconnected, [this] { ++reconnected; });
        if (logOnFirst) {
            ASSERT_EQ(LogOn(), 0);
        }
        ASSERT_TRUE(LogOnInjector());
        if (logOnFirst) {
            ASSERT_TRUE(Retarget());
        }
    }

    bool LogOnInjector() {
        BSTR key = Varnel::String2BSTR(QStringLiteral(QUENDRIL_DEFAULT_HASH_KEY));
        BSTR host = Varnel::String2BSTR(QString::fromStdString(server.Address()));
        BSTR name = Varnel::String2BSTR(QStringLiteral("injector"));
        const int32_t res = InternalClientLogonMT(&injector, 99, 1, name, 1, key, 0, host, server.CallPort(),
                                                  server.EventsPort(), 5000, -1, 0, 0);
        SysFreeString(key);
        SysFreeString(host);
        SysFreeString(name);
        return res == 0;
    }

    void TearDown() override {
        if (injector != 0) ClientLogoffMT(&injector);
        q.reset();
        Quendril::SetTimerIntervals(10000, 5000);
    }

    int32_t LogOn(int32_t callTimeout = 5000, const char* hashKey = QUENDRIL_DEFAULT_HASH_KEY) {
        return q->InternalClientLogon(5, 1, QStringLiteral("e2e"), 1, QString::fromLatin1(hashKey), 0x07FFFFFF,
                                      QString::fromStdString(server.Address()),
                                      static_cast<int16_t>(server.CallPort()), static_cast<int16_t>(server.EventsPort()),
                                      callTimeout);
    }

    // Events reach the component's session under the number the server gives it now (a renewed
    // session has a new one).
    bool Retarget() { return QuendrilServerSession(&target) == 0; }

    // Whether the component's session takes a trigger event within ms.
    bool TakesTrigger(int ms = 2000) {
        auto spy = Spy(q.get(), "DBTriggerEvent");
        const QVariantList v = SampleValues(RecordNamed("DBTriggerEvent"));
        return Inject(10, &RecordNamed("DBTriggerEvent"), v) == 0 && WaitFor([&] { return spy->count() == 1; }, ms);
    }

    int32_t Inject(int16_t kind, const RecordInfo* r, const QVariantList& values) {
        std::vector<QuendrilValue> fields;
        std::vector<BSTR> texts;
        if (r != nullptr) {
            auto defs = quendril::api::FieldsOf(*r);
            for (size_t i = 0; i < defs.size(); ++i) {
                QuendrilValue v{static_cast<int32_t>(defs[i].type), 0, 0, 0.0, nullptr};
                switch (defs[i].type) {
                    case Type::kF64: v.Real = values[i].toDouble(); break;
                    case Type::kDate: v.Real = Varnel::DateTime2DATE(values[i].toDateTime()); break;
                    case Type::kText: v.Text = Varnel::String2BSTR(values[i].toString()); texts.push_back(v.Text); break;
                    default: v.Int = values[i].toLongLong(); break;
                }
                fields.push_back(v);
            }
        }
        int32_t res = QuendrilInjectEventMT(injector, target, kind, fields.data(), static_cast<int32_t>(fields.size()));
        for (BSTR t : texts) SysFreeString(t);
        return res;
    }

    wyrlan::ServerProcess server;
    std::unique_ptr<Quendril> q;
    int32_t injector = 0;
    int32_t target = 0;
    int broken = 0;
    int reconnected = 0;
    bool logOnFirst = true;
};

// The same rig with the component not logged on.
class ComponentE2ENoLogon : public ComponentE2E {
protected:
    ComponentE2ENoLogon() { logOnFirst = false; }
};


// What the widgets are told when the connection is lost.
const QVariantList kPumpOffline = {0, 1, -1, -1, 0, 0, -1, 0, "", "", 1, 0.0, 0.0, 0.0, 0, "", -1, -1, -1, 1, 2, 0,
                                   -1, 0, 0, 0, 0, 0, 0, 0, -1, -1, 0, "", -1, -1, 0, "", -1, -1.0, -1.0};
const QVariantList kTankOffline = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0, "", -1, "", 0, 0.0, 0.0, -1, 0, 6, 0};

// Every kind whose record goes straight to its one signal, driven by the record table.
TEST_F(ComponentE2E, EveryPlainKindReachesItsSignalWithEveryValue) {
    const std::vector<int> routed = {1, 2, 9, 13};
    int kinds = 0;
    for (const RecordInfo& r : kRecords) {
        if (r.kind == 0 || std::find(routed.begin(), routed.end(), r.kind) != routed.end()) continue;
        SCOPED_TRACE(r.name);
        auto spy = Spy(q.get(), r.name);
        ASSERT_TRUE(spy && spy->isValid());
        const QVariantList values = SampleValues(r);
        ASSERT_EQ(Inject(static_cast<int16_t>(r.kind), &r, values), 0);
        ASSERT_TRUE(WaitFor([&] { return spy->count() == 1; }));
        ExpectValues(spy->at(0), values);
        ++kinds;
    }
    EXPECT_EQ(kinds, 17);
}

TEST_F(ComponentE2E, PumpStatusRaisesTheExtendedEventsItsFieldsAllow) {
    const RecordInfo& r = RecordNamed("PumpStatusEventEx3");
    std::vector<std::string> order;
    QObject::connect(q.get(), &Quendril::PumpStatusEventEx3, [&](auto...) { order.push_back("Ex3"); });
    QObject::connect(q.get(), &Quendril::PumpStatusEventEx2, [&](auto...) { order.push_back("Ex2"); });
    QObject::connect(q.get(), &Quendril::PumpStatusEventEx, [&](auto...) { order.push_back("Ex"); });
    QObject::connect(q.get(), &Quendril::PumpStatusEvent, [&](auto...) { order.push_back("Plain"); });
    auto ex2 = Spy(q.get(), "PumpStatusEventEx2");
    auto ex = Spy(q.get(), "PumpStatusEventEx");
    auto plain = Spy(q.get(), "PumpStatusEvent");

    // A pump number beyond 16 bits: whole in Ex2, its low 16 bits (signed) in the older events.
    const QVariantList wide = SampleValues(r, {{"PumpNumber", QVariant::fromValue<int32_t>(70000)},
                                               {"HoseNumber", QVariant::fromValue<int32_t>(-70000)}});
    ASSERT_EQ(Inject(1, &r, wide), 0);
    ASSERT_TRUE(WaitFor([&] { return order.size() == 4; }));
    EXPECT_EQ(order, (std::vector<std::string>{"Ex3", "Ex2", "Ex", "Plain"}));
    ExpectValues(ex2->at(0), Slice(wide, 0, 41));
    EXPECT_EQ(ex->at(0)[1].toInt(), static_cast<int16_t>(70000));
    EXPECT_EQ(plain->at(0)[1].toInt(), 4464);
    EXPECT_EQ(plain->at(0)[6].toInt(), static_cast<int16_t>(-70000));
    EXPECT_EQ(ex->at(0)[16].toInt(), static_cast<int16_t>(wide[18].toInt()));  // PhysicalNumber

    order.clear();
    const QVariantList narrow = SampleValues(r, {{"CurFlowRate", -1.0},
                                                 {"HosePhysicalNumber", QVariant::fromValue<int32_t>(-1)},
                                                 {"PriceFormat", QVariant::fromValue<int16_t>(0)}});
    ASSERT_EQ(Inject(1, &r, narrow), 0);
    ASSERT_TRUE(WaitFor([&] { return order.size() == 1; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(order, (std::vector<std::string>{"Plain"}));
    QVariantList want = {narrow[0], QVariant::fromValue<int16_t>(static_cast<int16_t>(narrow[1].toInt()))};
    want += Slice(narrow, 2, 4);
    want += QVariant::fromValue<int16_t>(static_cast<int16_t>(narrow[6].toInt()));
    want += narrow[8];
    want += Slice(narrow, 10, 7);
    ExpectValues(plain->at(1), want);
}

TEST_F(ComponentE2E, RegisteredWidgetsTakeTheirEventsInsteadOfTheHost) {
    RecordingPump pump;
    pump.SetID(31);
    RecordingTank tank;
    tank.SetID(32);
    q->AddVQPump(&pump);
    q->AddVQTank(&tank);
    int raised = 0;
    QObject::connect(q.get(), &Quendril::PumpStatusEvent, [&](auto...) { ++raised; });
    QObject::connect(q.get(), &Quendril::DeliveryEvent, [&](auto...) { ++raised; });
    QObject::connect(q.get(), &Quendril::DBTankStatusEvent, [&](auto...) { ++raised; });

    const QVariantList status = SampleValues(RecordNamed("PumpStatusEventEx3"), {{"PumpID", QVariant::fromValue<int32_t>(31)}});
    const QVariantList delivery = SampleValues(RecordNamed("DeliveryEventEx3"), {{"PumpID", QVariant::fromValue<int32_t>(31)}});
    const QVariantList gauge = SampleValues(RecordNamed("DBTankStatusEventEx2"), {{"TankID", QVariant::fromValue<int32_t>(32)}});
    ASSERT_EQ(Inject(1, &RecordNamed("PumpStatusEventEx3"), status), 0);
    ASSERT_EQ(Inject(2, &RecordNamed("DeliveryEventEx3"), delivery), 0);
    ASSERT_EQ(Inject(13, &RecordNamed("DBTankStatusEventEx2"), gauge), 0);
    ASSERT_TRUE(WaitFor([&] { return !pump.status.empty() && !pump.deliveries.empty() && !tank.status.empty(); }));
    ExpectValues(pump.status[0], Slice(status, 2));
    ExpectValues(pump.deliveries[0], delivery);
    ExpectValues(tank.status[0], Slice(gauge, 1));
    EXPECT_EQ(raised, 0);
    q->RemoveVQPump(&pump);
    q->RemoveVQTank(&tank);
}

TEST_F(ComponentE2E, DeliveryForAnUnregisteredPumpCarriesTheSingleTag) {
    const RecordInfo& r = RecordNamed("DeliveryEventEx3");
    std::vector<std::string> order;
    QObject::connect(q.get(), &Quendril::DeliveryEventEx3, [&](auto...) { order.push_back("Ex3"); });
    QObject::connect(q.get(), &Quendril::DeliveryEventEx2, [&](auto...) { order.push_back("Ex2"); });
    QObject::connect(q.get(), &Quendril::DeliveryEvent, [&](auto...) { order.push_back("Plain"); });
    auto ex = Spy(q.get(), "DeliveryEventEx");
    QObject::connect(q.get(), &Quendril::DeliveryEventEx, [&](auto...) { order.push_back("Ex"); });

    const QVariantList v = SampleValues(r, {{"OldVolumeETot", -1.0}, {"NewVolumeETot", 5.0},
                                            {"Tag", QVariant::fromValue<int64_t>(-1)},
                                            {"AttendantTag", QVariant::fromValue<int64_t>(-1)},
                                            {"CardClientTag", QVariant::fromValue<int64_t>(77)}});
    ASSERT_EQ(Inject(2, &r, v), 0);
    ASSERT_TRUE(WaitFor([&] { return order.size() == 2; }));
    EXPECT_EQ(order, (std::vector<std::string>{"Ex", "Plain"}));
    const QVariantList& got = ex->at(0);
    EXPECT_EQ(got[22].toLongLong(), 77);          // Tag
    EXPECT_EQ(got[19].toDouble(), 5.0);           // VolumeETot from NewVolumeETot
    EXPECT_EQ(got[20].toDouble(), v[32].toDouble());  // Volume2Etot from NewVolume2ETot
    EXPECT_EQ(got[7].toString(), v[13].toString());   // ShortGradeName from GradeShortName

    order.clear();
    const QVariantList all = SampleValues(r, {{"Tag", QVariant::fromValue<int64_t>(-1)}});
    auto ex2 = Spy(q.get(), "DeliveryEventEx2");
    auto ex3 = Spy(q.get(), "DeliveryEventEx3");
    ASSERT_EQ(Inject(2, &r, all), 0);
    ASSERT_TRUE(WaitFor([&] { return order.size() == 4; }));
    EXPECT_EQ(order, (std::vector<std::string>{"Ex3", "Ex2", "Ex", "Plain"}));
    EXPECT_EQ(ex3->at(0)[34].toLongLong(), -1);                   // Tag unchanged in Ex3
    EXPECT_EQ(ex2->at(0)[25].toLongLong(), all[38].toLongLong());  // AttendantTag chosen
}

TEST_F(ComponentE2E, TankAndTotalsRaiseOnlyWhatTheirFieldsAllow) {
    std::vector<std::string> order;
    QObject::connect(q.get(), &Quendril::DBTankStatusEventEx2, [&](auto...) { order.push_back("TankEx2"); });
    QObject::connect(q.get(), &Quendril::DBTankStatusEventEx, [&](auto...) { order.push_back("TankEx"); });
    QObject::connect(q.get(), &Quendril::DBTankStatusEvent, [&](auto...) { order.push_back("Tank"); });
    QObject::connect(q.get(), &Quendril::DBLogETotalsEventEx, [&](auto...) { order.push_back("TotalsEx"); });
    QObject::connect(q.get(), &Quendril::DBLogETotalsEvent, [&](auto...) { order.push_back("Totals"); });
    ASSERT_EQ(Inject(13, &RecordNamed("DBTankStatusEventEx2"),
                     SampleValues(RecordNamed("DBTankStatusEventEx2"), {{"State", QVariant::fromValue<int16_t>(-1)},
                                                                       {"TankNumber", QVariant::fromValue<int32_t>(0)}})),
              0);
    ASSERT_EQ(Inject(9, &RecordNamed("DBLogETotalsEventEx"),
                     SampleValues(RecordNamed("DBLogETotalsEventEx"), {{"HoseNumber", QVariant::fromValue<int32_t>(0)}})),
              0);
    ASSERT_EQ(Inject(9, &RecordNamed("DBLogETotalsEventEx"), SampleValues(RecordNamed("DBLogETotalsEventEx"))), 0);
    ASSERT_TRUE(WaitFor([&] { return order.size() == 5; }));
    EXPECT_EQ(order, (std::vector<std::string>{"TankEx", "Tank", "Totals", "TotalsEx", "Totals"}));
}

TEST_F(ComponentE2E, DiscardedKindsDoNotStopTheDrain) {
    auto spy = Spy(q.get(), "DBTriggerEvent");
    for (int16_t kind : {14, 15, 16, 18, 20, 21, 28}) {
        EXPECT_EQ(Inject(kind, nullptr, {}), 0) << kind;
    }
    const QVariantList v = SampleValues(RecordNamed("DBTriggerEvent"));
    ASSERT_EQ(Inject(10, &RecordNamed("DBTriggerEvent"), v), 0);
    ASSERT_TRUE(WaitFor([&] { return spy->count() == 1; }));
    ExpectValues(spy->at(0), v);
}

TEST_F(ComponentE2E, KilledServerTakesWidgetsOfflineAndRenewalBringsThemBack) {
    RecordingPump pump;
    pump.SetID(3);
    RecordingTank tank;
    tank.SetID(4);
    q->AddVQPump(&pump);
    q->AddVQTank(&tank);
    ClientLogoffMT(&injector);
    ASSERT_TRUE(server.Kill());
    ASSERT_TRUE(WaitFor([&] { return broken == 1; }));
    ASSERT_EQ(pump.status.size(), 1u);
    ExpectValues(pump.status[0], kPumpOffline);
    ASSERT_EQ(tank.status.size(), 1u);
    ExpectValues(tank.status[0], kTankOffline);
    WaitFor([] { return false; }, 400);  // several renewals fail while the server is down
    EXPECT_EQ(reconnected, 0);
    EXPECT_EQ(pump.status.size(), 1u);  // failed renewals report nothing more
    ASSERT_TRUE(server.Restart());
    ASSERT_TRUE(WaitFor([&] { return reconnected == 1; }, 10000));
    EXPECT_EQ(broken, 1);
    // The renewed session is the stored one: a trigger event, outside the default mask but
    // inside the one given at logon, reaches it.
    ASSERT_TRUE(LogOnInjector());
    ASSERT_TRUE(Retarget());
    EXPECT_TRUE(TakesTrigger());
    q->RemoveVQPump(&pump);
    q->RemoveVQTank(&tank);
}

// Each extended event at the boundary of its condition, with the others held below theirs.
TEST_F(ComponentE2E, ExtendedEventsAreRaisedAtTheBoundaryOfTheirConditions) {
    std::vector<std::string> order;
    auto record = [&](const char* name) { return [&order, name](auto...) { order.push_back(name); }; };
    QObject::connect(q.get(), &Quendril::PumpStatusEventEx3, record("PumpEx3"));
    QObject::connect(q.get(), &Quendril::PumpStatusEventEx2, record("PumpEx2"));
    QObject::connect(q.get(), &Quendril::PumpStatusEventEx, record("PumpEx"));
    QObject::connect(q.get(), &Quendril::PumpStatusEvent, record("Pump"));
    QObject::connect(q.get(), &Quendril::DeliveryEventEx3, record("DeliveryEx3"));
    QObject::connect(q.get(), &Quendril::DeliveryEventEx2, record("DeliveryEx2"));
    QObject::connect(q.get(), &Quendril::DeliveryEventEx, record("DeliveryEx"));
    QObject::connect(q.get(), &Quendril::DeliveryEvent, record("Delivery"));
    QObject::connect(q.get(), &Quendril::DBTankStatusEventEx2, record("TankEx2"));
    QObject::connect(q.get(), &Quendril::DBTankStatusEventEx, record("TankEx"));
    QObject::connect(q.get(), &Quendril::DBTankStatusEvent, record("Tank"));

    using Fields = std::vector<std::pair<std::string, QVariant>>;
    const Fields pumpBelow = {{"CurFlowRate", -0.001}, {"HosePhysicalNumber", QVariant::fromValue<int32_t>(-1)},
                              {"PriceFormat", QVariant::fromValue<int16_t>(0)}};
    const Fields deliveryBelow = {{"OldVolumeETot", -0.001}, {"NewVolumeETot", -0.001}};
    const Fields tankBelow = {{"State", QVariant::fromValue<int16_t>(-1)}, {"TankNumber", QVariant::fromValue<int32_t>(-1)}};
    struct Case {
        const char* record;
        int16_t kind;
        Fields below;
        Fields set;
        std::vector<std::string> want;
    };
    const Case cases[] = {
        {"PumpStatusEventEx3", 1, pumpBelow, {}, {"Pump"}},
        {"PumpStatusEventEx3", 1, pumpBelow, {{"CurFlowRate", 0.0}}, {"PumpEx3", "Pump"}},
        {"PumpStatusEventEx3", 1, pumpBelow, {{"HosePhysicalNumber", QVariant::fromValue<int32_t>(0)}}, {"PumpEx2", "Pump"}},
        {"PumpStatusEventEx3", 1, pumpBelow, {{"PriceFormat", QVariant::fromValue<int16_t>(1)}}, {"PumpEx", "Pump"}},
        {"DeliveryEventEx3", 2, deliveryBelow, {}, {"Delivery"}},
        {"DeliveryEventEx3", 2, deliveryBelow, {{"OldVolumeETot", 0.0}}, {"DeliveryEx3", "DeliveryEx2", "Delivery"}},
        {"DeliveryEventEx3", 2, deliveryBelow, {{"NewVolumeETot", 0.0}}, {"DeliveryEx", "Delivery"}},
        {"DBTankStatusEventEx2", 13, tankBelow, {}, {"Tank"}},
        {"DBTankStatusEventEx2", 13, tankBelow, {{"State", QVariant::fromValue<int16_t>(0)}}, {"TankEx2", "Tank"}},
        {"DBTankStatusEventEx2", 13, tankBelow, {{"TankNumber", QVariant::fromValue<int32_t>(0)}}, {"TankEx", "Tank"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.want.front());
        order.clear();
        Fields fields = c.below;
        fields.insert(fields.end(), c.set.begin(), c.set.end());
        ASSERT_EQ(Inject(c.kind, &RecordNamed(c.record), SampleValues(RecordNamed(c.record), fields)), 0);
        ASSERT_TRUE(WaitFor([&] { return !order.empty() && order.back() == c.want.back(); }));
        EXPECT_EQ(order, c.want);
    }
}

TEST_F(ComponentE2E, OlderDeliveryEventsCarryTheFirstTagThatIsSet) {
    auto ex3 = Spy(q.get(), "DeliveryEventEx3");
    auto ex2 = Spy(q.get(), "DeliveryEventEx2");
    auto ex = Spy(q.get(), "DeliveryEventEx");
    struct Case {
        int64_t tag, attendantTag, cardClientTag, want;
    };
    for (Case c : {Case{0, 5, 6, 0}, Case{-1, 0, 6, 0}, Case{-1, -1, -7, -7}, Case{-2, 9, 6, 9}}) {
        SCOPED_TRACE(c.want);
        ex3->clear();
        ex2->clear();
        ex->clear();
        const RecordInfo& r = RecordNamed("DeliveryEventEx3");
        ASSERT_EQ(Inject(2, &r, SampleValues(r, {{"Tag", QVariant::fromValue(c.tag)},
                                                 {"AttendantTag", QVariant::fromValue(c.attendantTag)},
                                                 {"CardClientTag", QVariant::fromValue(c.cardClientTag)}})),
                  0);
        ASSERT_TRUE(WaitFor([&] { return ex->count() == 1; }));
        EXPECT_EQ(ex3->at(0)[34].toLongLong(), c.tag);  // the record's own Tag
        EXPECT_EQ(ex3->at(0)[38].toLongLong(), c.attendantTag);
        EXPECT_EQ(ex2->at(0)[25].toLongLong(), c.want);
        EXPECT_EQ(ex->at(0)[22].toLongLong(), c.want);
    }
}

// 8 (the session is gone) takes the widgets offline without ServerConnectionBroken; the renewal
// still reports ServerReconnected.
TEST_F(ComponentE2E, SessionGoneIsSilentAndRenewed) {
    RecordingPump pump;
    pump.SetID(3);
    q->AddVQPump(&pump);
    ASSERT_EQ(::ClientLogoff(), 0);  // the component's session ends behind its back
    int32_t count = -1;
    EXPECT_EQ(q->GetPumpsCount(count), 8);
    ASSERT_EQ(pump.status.size(), 1u);
    ExpectValues(pump.status[0], kPumpOffline);
    ASSERT_TRUE(WaitFor([&] { return reconnected == 1; }));
    EXPECT_EQ(broken, 0);
    EXPECT_EQ(q->GetPumpsCount(count), 0);
    q->RemoveVQPump(&pump);
}

// -23 (no answer within the call time-out) does the same.
TEST_F(ComponentE2E, CallTimeOutIsSilentAndRenewed) {
    ASSERT_EQ(q->ClientLogoff(), 0);
    ASSERT_EQ(LogOn(300), 0);
    ASSERT_TRUE(Retarget());
    RecordingTank tank;
    tank.SetID(4);
    q->AddVQTank(&tank);
    ASSERT_EQ(QuendrilHoldAnswersMT(injector, target, 1500), 0);
    int32_t count = -1;
    EXPECT_EQ(q->GetPumpsCount(count), -23);
    ASSERT_EQ(tank.status.size(), 1u);
    ExpectValues(tank.status[0], kTankOffline);
    ASSERT_TRUE(WaitFor([&] { return reconnected == 1; }));
    EXPECT_EQ(broken, 0);
    EXPECT_EQ(q->GetPumpsCount(count), 0);
    q->RemoveVQTank(&tank);
}

TEST_F(ComponentE2ENoLogon, FirstLogonThatFailedLeavesNothingToRenew) {
    EXPECT_EQ(LogOn(5000, "not-the-key"), QUENDRIL_WRONG_HASH_KEY);
    RecordingPump pump;
    pump.SetID(3);
    q->AddVQPump(&pump);
    int32_t count = -1;
    EXPECT_EQ(q->GetPumpsCount(count), 8);
    ASSERT_EQ(pump.status.size(), 1u);
    ExpectValues(pump.status[0], kPumpOffline);
    WaitFor([] { return false; }, 500);  // the logon timer ticks once and stops: nothing to renew
    EXPECT_EQ(reconnected, 0);
    EXPECT_EQ(broken, 0);
    int32_t sessions = -1;
    ASSERT_EQ(GetClientsCountMT(injector, &sessions), 0);
    EXPECT_EQ(sessions, 1);  // the injector's only
    EXPECT_EQ(pump.status.size(), 1u);
    q->RemoveVQPump(&pump);
}

// The stored event mask is what a renewed logon sends again; keys with any of the top four bits
// set, and 0, are passed on but not kept.
TEST_F(ComponentE2ENoLogon, RenewalSendsTheStoredMaskAgain) {
    ASSERT_EQ(q->ClientLogonEx(7, 1, QString::fromStdString(server.Address()), static_cast<int16_t>(server.CallPort()),
                               static_cast<int16_t>(server.EventsPort()), 5000),
              0);
    ASSERT_TRUE(Retarget());
    EXPECT_FALSE(TakesTrigger(300));  // trigger events are outside the default mask
    ASSERT_EQ(q->SetClientType(Quendril::kDefaultEventMask | (1 << 9)), 0);
    EXPECT_TRUE(TakesTrigger());
    ASSERT_EQ(q->SetClientType(static_cast<int32_t>(0x10000000u | 1u)), 0);
    ASSERT_EQ(q->SetClientType(0), 0);
    ASSERT_EQ(QuendrilDropSessionMT(injector, target), 0);
    ASSERT_TRUE(WaitFor([&] { return reconnected == 1; }));
    EXPECT_EQ(broken, 1);
    ASSERT_TRUE(Retarget());
    EXPECT_TRUE(TakesTrigger());
}

TEST_F(ComponentE2E, WrappersCarryEveryTypeBothWays) {
    int32_t count = -1;
    EXPECT_EQ(q->GetPumpsCount(count), 0);
    EXPECT_EQ(count, 0);  // a new site

    // Texts (empty, null, beyond Latin-1), i16, i32, f64 and a date, in and back out.
    const QDateTime expires(QDate(2026, 3, 1), QTime(13, 45, 30));
    int32_t id = 0, number = 0;
    ASSERT_EQ(q->AddCardClient(id, number, QStringLiteral("Ana Müller €"), QStringLiteral("TAG-1"), 1, 2,
                               QLatin1String(""), QString(), QStringLiteral("Ana"), QStringLiteral("pw"), 1, 1, 1, 12.5,
                               1, expires, -1, QStringLiteral("SV9"), 1234.5, 7),
              0);
    EXPECT_GT(id, 0);
    int32_t gotNumber = 0, parent = 0, factor = 0;
    QString name, tag, plate, idNumber, shortName, password, serial;
    int16_t enabled = 0, priceLevel = 0, gradeType = 0, cardType = 0, limitType = 0, entryType = 0;
    double limit = 0, odometer = 0;
    QDateTime gotExpires;
    ASSERT_EQ(q->GetCardClientPropertiesEx4(id, gotNumber, name, tag, enabled, priceLevel, plate, idNumber, shortName,
                                            password, gradeType, cardType, limitType, limit, entryType, gotExpires,
                                            parent, serial, odometer, factor),
              0);
    EXPECT_EQ(gotNumber, number);
    EXPECT_EQ(name, QStringLiteral("Ana Müller €"));
    EXPECT_EQ(tag, QStringLiteral("TAG-1"));
    EXPECT_EQ(priceLevel, 2);
    EXPECT_TRUE(plate.isEmpty() && !plate.isNull());
    EXPECT_TRUE(idNumber.isEmpty() && !idNumber.isNull());
    EXPECT_EQ(limit, 12.5);
    EXPECT_EQ(gotExpires, expires);
    EXPECT_EQ(parent, -1);
    EXPECT_EQ(odometer, 1234.5);
    EXPECT_EQ(factor, 7);

    // A failed call: the code as the library gave it, texts empty, not null.
    name = QStringLiteral("stale");
    EXPECT_EQ(q->GetCardClientPropertiesEx4(id + 1000, gotNumber, name, tag, enabled, priceLevel, plate, idNumber,
                                            shortName, password, gradeType, cardType, limitType, limit, entryType,
                                            gotExpires, parent, serial, odometer, factor),
              QUENDRIL_NOT_FOUND);
    EXPECT_TRUE(name.isEmpty() && !name.isNull());

    // i64 both ways, through a ZigBee coordinator's PAN.
    int32_t port = 0, portNumber = 0;
    ASSERT_EQ(q->AddPort(port, portNumber, QStringLiteral("coordinator"), 1, 3, QStringLiteral("ZB-1")), 0);
    ASSERT_EQ(q->SetZBCoordPan(port, 0xBEEF), 0);
    int64_t pan = 0, keyA = 0, keyB = 0;
    int32_t channels = 0;
    ASSERT_EQ(q->GetZB2GConfig(port, pan, channels, keyA, keyB), 0);
    EXPECT_EQ(pan, 0xBEEF);

    // The controller's clock, as a date-time both ways.
    const QDateTime ahead = QDateTime::currentDateTime().addSecs(3600);
    ASSERT_EQ(q->SetDateTime(ahead), 0);
    QDateTime clock;
    ASSERT_EQ(q->GetDateTime(clock), 0);
    EXPECT_LT(std::abs(clock.secsTo(ahead)), 5);

    // A function this server has no handler for yet: its code unchanged, no connection loss.
    EXPECT_EQ(q->Authorise(1), QUENDRIL_NOT_SUPPORTED);
    QString dll;
    EXPECT_EQ(q->GetDLLVersion(dll), 0);
    EXPECT_FALSE(dll.isEmpty());
    EXPECT_EQ(q->ResultString(-23), QStringLiteral("The server did not answer within the call time-out"));
    QString log, subText;
    int32_t res = -1, sub = -1;
    EXPECT_EQ(q->GetLastAPIResult(log, res, sub, subText), 0);
    EXPECT_EQ(broken, 0);
    EXPECT_EQ(reconnected, 0);
}

}  // namespace
