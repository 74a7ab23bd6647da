// The component against a scripted client library: this program defines the library functions
// below, and the dynamic linker binds libVarnel's calls of them here instead of libQuendril.
// Every other function still reaches the real library (which answers 8 without a session).
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>

#include <unistd.h>

#include <deque>
#include <type_traits>
#include <functional>
#include <string>
#include <vector>

#include "controls/Quendril.h"
#include "controls/tests/qt_test_support.h"
#include "controls/tests/recording_widgets.h"
#include "quendril/include/quendril_control.h"

namespace fake {

struct Queued {
    int16_t kind;
    int32_t id = 0;
    int32_t readResult = 0;  // what the reader returns
    bool stuck = false;      // the reader leaves the event in place when it fails
};

std::deque<Queued> queue;
int32_t processResult = 0;
int32_t logonResult = 0;
int failLogons = 0;  // the next n logons fail with 8
int32_t methodResult = 0;
double dateTime = 0.0;
std::vector<std::string> calls;
std::vector<BSTR> names;       // GetPumpByName's argument, copied
std::vector<bool> nameIsNull;  // ... and whether it was a null BSTR
double sentDate = 0.0;
int wasReconnected = 0;  // WasReconnected answers 1 this many times
int64_t window = 0;

struct LogonCall {
    std::string fn;
    int32_t clientID;
    int16_t clientType;
    bool serverNull;
    std::u16string server, clientName, hashKey;
    uint16_t callPort, eventsPort;
    int32_t timeout, eventMask;
    int16_t category;
};
std::vector<LogonCall> logons;
std::vector<int32_t> clientTypes;

void Reset() {
    queue.clear();
    processResult = logonResult = methodResult = 0;
    failLogons = 0;
    wasReconnected = 0;
    calls.clear();
    logons.clear();
    clientTypes.clear();
    nameIsNull.clear();
}

std::u16string Text(BSTR b) { return b ? std::u16string(b, SysStringLen(b)) : std::u16string(); }

int32_t Logon(LogonCall c, int64_t w) {
    window = w;
    logons.push_back(std::move(c));
    if (failLogons > 0) {
        --failLogons;
        return 8;
    }
    return logonResult;
}

void Notify(int64_t lParam) {
    QuendrilNotification n{1024, 0, lParam};
    ASSERT_EQ(::write(static_cast<int>(window), &n, sizeof n), static_cast<ssize_t>(sizeof n));
}

}  // namespace fake

extern "C" {

int32_t ProcessEvents(void) {
    fake::calls.push_back("ProcessEvents");
    return fake::processResult;
}
int32_t GetNextEventType(int16_t* type) {
    fake::calls.push_back("GetNextEventType");
    *type = fake::queue.empty() ? 0 : fake::queue.front().kind;
    return 0;
}
int32_t DiscardNextEvent(void) {
    fake::calls.push_back("DiscardNextEvent");
    if (!fake::queue.empty()) fake::queue.pop_front();
    return 0;
}
int32_t GetEventsCount(int32_t* count) {
    *count = static_cast<int32_t>(fake::queue.size());
    return 0;
}
int32_t GetNextDBAttendantLogoffEvent(int32_t* ID) {
    fake::calls.push_back("Reader");
    fake::Queued e = fake::queue.front();
    if (e.readResult != 0 && e.stuck) return e.readResult;
    fake::queue.pop_front();
    if (e.readResult == 0) *ID = e.id;
    return e.readResult;
}
int32_t ClientLogon(int32_t ClientID, int16_t ClientType, int32_t, int64_t Window, int32_t) {
    return fake::Logon({"ClientLogon", ClientID, ClientType, true, {}, {}, {}, 0, 0, 0, 0, 0}, Window);
}
int32_t ClientLogonEx(int32_t ClientID, int16_t ClientType, BSTR ServerName, uint16_t CallPortNo,
                      uint16_t EventsPortNo, int32_t CallTimeout, int32_t, int64_t Window, int32_t) {
    return fake::Logon({"ClientLogonEx", ClientID, ClientType, ServerName == nullptr, fake::Text(ServerName), {}, {},
                        CallPortNo, EventsPortNo, CallTimeout, 0, 0},
                       Window);
}
int32_t InternalClientLogon(int32_t ClientID, int16_t ClientType, BSTR ClientName, int16_t ClientCategory,
                            BSTR HashKey, int32_t EventMask, BSTR ServerName, uint16_t CallPortNo,
                            uint16_t EventsPortNo, int32_t CallTimeout, int32_t, int64_t Window, int32_t) {
    return fake::Logon({"InternalClientLogon", ClientID, ClientType, ServerName == nullptr, fake::Text(ServerName),
                        fake::Text(ClientName), fake::Text(HashKey), CallPortNo, EventsPortNo, CallTimeout, EventMask,
                        ClientCategory},
                       Window);
}
int32_t ClientLogoff(void) {
    fake::calls.push_back("ClientLogoff");
    return 0;
}
int32_t SetClientType(int32_t ClientKey) {
    fake::clientTypes.push_back(ClientKey);
    return fake::methodResult;
}
int32_t TestConnection(void) { return fake::methodResult; }
int32_t WasReconnected(void) {
    if (fake::wasReconnected == 0) return 0;
    --fake::wasReconnected;
    return 1;
}
int32_t GetPumpsCount(int32_t* pCount) {
    *pCount = 4;
    return fake::methodResult;
}
int32_t GetPumpByName(BSTR Name, int32_t* pID) {
    fake::nameIsNull.push_back(Name == nullptr);
    *pID = static_cast<int32_t>(Name ? SysStringLen(Name) : 99);
    return 0;
}
int32_t CaldrexPrompt(int32_t, int16_t, int16_t, int16_t, int16_t, int16_t, int16_t, int16_t, int16_t, int16_t,
                      int16_t, int16_t, int16_t, BSTR) {
    return fake::methodResult;
}
// Fails without touching its outputs: the presets come back.
int32_t GetPriceSignElement(int16_t, int16_t*, int32_t*, int16_t*, double*, int16_t*, int16_t*, int16_t*) {
    return 5;
}
int32_t GetDateTime(DATE* pDate) {
    *pDate = fake::dateTime;
    return 0;
}
int32_t SetDateTime(DATE NewDateTime) {
    fake::sentDate = NewDateTime;
    return 0;
}
// Fills every output with a value of its position (pump ID 77) and fails: the delivery is
// offered to the pump widget whatever the result.
int32_t GetDeliverySummaryEx4(int32_t, int32_t* pHoseID, int32_t* pHoseNumber, int32_t* pHosePhysicalNumber,
                              int32_t* pPumpID, int32_t* pPumpNumber, BSTR* pPumpName, int32_t* pTankID,
                              int32_t* pTankNumber, BSTR* pTankName, int32_t* pGradeID, int32_t* pGradeNumber,
                              BSTR* pGradeName, BSTR* pGradeShortName, BSTR* pGradeCode, int16_t* pState,
                              int16_t* pType, double* pVolume, int16_t* pPriceLevel, double* pPrice, double* pValue,
                              double* pVolume2, DATE* pCompletedDT, int32_t* pLockedBy, int32_t* pReservedBy,
                              int32_t* pAttendantID, int32_t* pAge, DATE* pClearedDT, double* pOldVolumeETot,
                              double* pOldVolume2ETot, double* pOldValueETot, double* pNewVolumeETot,
                              double* pNewVolume2ETot, double* pNewValueETot, int64_t* pTag, int32_t* pDuration,
                              int32_t* pAttendantNumber, BSTR* pAttendantName, int64_t* pAttendantTag,
                              BSTR* pAttendantIDNumber, int32_t* pCardClientID, int32_t* pCardClientNumber,
                              BSTR* pCardClientName, int64_t* pCardClientTag, BSTR* pCardClientIDNumber,
                              double* pPeakFlowRate) {
    int position = 0;
    auto put = [&position](auto* out) {
        ++position;
        using T = std::remove_pointer_t<decltype(out)>;
        if constexpr (std::is_same_v<T, BSTR>) {
            const std::u16string text = u"t" + std::u16string(1, static_cast<char16_t>(u'A' + position));
            *out = SysAllocString(text.c_str());
        } else if constexpr (std::is_same_v<T, double>) {
            *out = position + 0.5;
        } else {
            *out = static_cast<T>(100 + position);
        }
    };
    put(pHoseID), put(pHoseNumber), put(pHosePhysicalNumber), put(pPumpID), put(pPumpNumber), put(pPumpName);
    put(pTankID), put(pTankNumber), put(pTankName), put(pGradeID), put(pGradeNumber), put(pGradeName);
    put(pGradeShortName), put(pGradeCode), put(pState), put(pType), put(pVolume), put(pPriceLevel), put(pPrice);
    put(pValue), put(pVolume2), put(pCompletedDT), put(pLockedBy), put(pReservedBy), put(pAttendantID), put(pAge);
    put(pClearedDT), put(pOldVolumeETot), put(pOldVolume2ETot), put(pOldValueETot), put(pNewVolumeETot);
    put(pNewVolume2ETot), put(pNewValueETot), put(pTag), put(pDuration), put(pAttendantNumber);
    put(pAttendantName), put(pAttendantTag), put(pAttendantIDNumber), put(pCardClientID), put(pCardClientNumber);
    put(pCardClientName), put(pCardClientTag), put(pCardClientIDNumber), put(pPeakFlowRate);
    *pPumpID = 77;
    return -106;
}
BSTR ResultString(int32_t Res) {
    if (Res == 1) return nullptr;
    return SysAllocString(u"text");
}

}  // extern "C"

namespace {

using Varnel::Quendril;

void ExpectValues(const QVariantList& got, const QVariantList& want) {
    ASSERT_EQ(got.size(), want.size());
    for (qsizetype i = 0; i < got.size(); ++i) EXPECT_EQ(got[i].toString(), want[i].toString()) << "value " << i;
}

// CheckEvents is protected: reach it as a derived class does.
struct Drainer : Quendril {
    void Run() { CheckEvents(); }
};

class Component : public ::testing::Test {
protected:
    void SetUp() override {
        App();
        q.reset();
        fake::Reset();
        broken = reconnected = 0;
        logoffs.clear();
        Quendril::SetTimerIntervals(30, 30);
        q = std::make_unique<Drainer>();
        QObject::connect(q.get(), &Quendril::ServerConnectionBroken, [this] { ++broken; });
        QObject::connect(q.get(), &Quendril::ServerReconnected, [this] { ++reconnected; });
        QObject::connect(q.get(), &Quendril::DBAttendantLogoffEvent, [this](int32_t id) { logoffs.push_back(id); });
    }
    void TearDown() override {
        q.reset();
        Quendril::SetTimerIntervals(10000, 5000);
    }
    void Drain() { q->Run(); }

    std::unique_ptr<Drainer> q;
    int broken = 0;
    int reconnected = 0;
    std::vector<int32_t> logoffs;
};

// ---- the drain ---------------------------------------------------------------------------

TEST_F(Component, EmptyQueueAsksOnce) {
    Drain();
    EXPECT_EQ(fake::calls, (std::vector<std::string>{"ProcessEvents", "GetNextEventType"}));
    EXPECT_TRUE(logoffs.empty());
}

TEST_F(Component, KindsWithoutReaderAreDiscardedOnceAndTheDrainGoesOn) {
    for (int16_t kind : {14, 15, 16, 18, 20, 21, 28, -1}) {
        fake::queue.push_back({kind});
        fake::queue.push_back({12, kind});
    }
    Drain();
    EXPECT_EQ(std::count(fake::calls.begin(), fake::calls.end(), "DiscardNextEvent"), 8);
    EXPECT_EQ(logoffs, (std::vector<int32_t>{14, 15, 16, 18, 20, 21, 28, -1}));
    EXPECT_TRUE(fake::queue.empty());
}

TEST_F(Component, FailedReadIsSkippedAndTheDrainGoesOn) {
    fake::queue.push_back({12, 1, -102});
    fake::queue.push_back({12, 2, -102});
    fake::queue.push_back({12, 3});
    Drain();
    EXPECT_EQ(logoffs, (std::vector<int32_t>{3}));
    EXPECT_EQ(std::count(fake::calls.begin(), fake::calls.end(), "DiscardNextEvent"), 0);
}

TEST_F(Component, EventLeftInPlaceByAFailedReadIsDiscardedAndTheDrainEnds) {
    fake::queue.push_back({12, 1, -102, true});
    fake::queue.push_back({12, 2});
    Drain();  // must return
    EXPECT_EQ(std::count(fake::calls.begin(), fake::calls.end(), "Reader"), 3);
    EXPECT_EQ(std::count(fake::calls.begin(), fake::calls.end(), "DiscardNextEvent"), 1);
    EXPECT_EQ(logoffs, (std::vector<int32_t>{2}));
}

TEST_F(Component, ProcessEventsLosingTheConnectionStopsTheDrain) {
    fake::queue.push_back({12, 1});
    fake::processResult = -14;
    Drain();
    EXPECT_TRUE(logoffs.empty());
    EXPECT_EQ(broken, 1);
    EXPECT_EQ(std::count(fake::calls.begin(), fake::calls.end(), "GetNextEventType"), 0);
}

// ---- connection loss ---------------------------------------------------------------------

TEST_F(Component, LossCodesSetWidgetsOfflineAndStartRenewal) {
    struct Case {
        int32_t code;
        bool loss;
        int brokenSignals;
    };
    for (Case c : {Case{0, false, 0}, Case{5, false, 0}, Case{-13, false, 0}, Case{8, true, 0}, Case{-14, true, 1},
                   Case{-23, true, 0}}) {
        SCOPED_TRACE(c.code);
        SetUp();
        RecordingPump pump;
        pump.SetID(3);
        RecordingTank tank;
        tank.SetID(4);
        ASSERT_TRUE(q->AddVQPump(&pump));
        ASSERT_TRUE(q->AddVQTank(&tank));
        ASSERT_EQ(q->ClientLogon(7, 2), 0);
        fake::methodResult = c.code;
        int32_t count = 0;
        EXPECT_EQ(q->GetPumpsCount(count), c.code);
        EXPECT_EQ(count, 4);
        EXPECT_EQ(broken, c.brokenSignals);
        if (!c.loss) {
            EXPECT_TRUE(pump.status.empty());
            EXPECT_EQ(std::count(fake::calls.begin(), fake::calls.end(), "ClientLogoff"), 0);
            q->RemoveVQPump(&pump);
            q->RemoveVQTank(&tank);
            continue;
        }
        ASSERT_EQ(pump.status.size(), 1u);
        ExpectValues(pump.status[0], {0, 1, -1, -1, 0, 0, -1, 0, "", "", 1, 0.0, 0.0, 0.0, 0, "", -1, -1, -1, 1, 2, 0,
                                      -1, 0, 0, 0, 0, 0, 0, 0, -1, -1, 0, "", -1, -1, 0, "", -1, -1.0, -1.0});
        ASSERT_EQ(tank.status.size(), 1u);
        ExpectValues(tank.status[0], {0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0, "", -1, "", 0, 0.0, 0.0, -1, 0, 6, 0});
        EXPECT_EQ(std::count(fake::calls.begin(), fake::calls.end(), "ClientLogoff"), 1);
        // The renewal logs on again and reports it, whatever the code was.
        fake::methodResult = 0;
        ASSERT_TRUE(WaitFor([&] { return reconnected == 1; }));
        EXPECT_EQ(broken, c.brokenSignals);
        q->RemoveVQPump(&pump);
        q->RemoveVQTank(&tank);
    }
}

TEST_F(Component, RenewalRepeatsTheStoredClientLogonUntilItSucceeds) {
    ASSERT_EQ(q->ClientLogon(7, 2), 0);
    fake::failLogons = 3;
    fake::methodResult = -14;
    int32_t n;
    q->GetPumpsCount(n);
    fake::methodResult = 0;
    ASSERT_TRUE(WaitFor([&] { return reconnected == 1; }));
    ASSERT_EQ(fake::logons.size(), 5u);  // the first logon, three failures, the success
    for (size_t i = 1; i < fake::logons.size(); ++i) {
        const fake::LogonCall& c = fake::logons[i];
        EXPECT_EQ(c.fn, "ClientLogonEx");
        EXPECT_EQ(c.clientID, 7);
        EXPECT_EQ(c.clientType, 2);
        EXPECT_FALSE(c.serverNull);
        EXPECT_EQ(c.server, u"");
        EXPECT_EQ(c.callPort, 5123);
        EXPECT_EQ(c.eventsPort, 5124);
        EXPECT_EQ(c.timeout, 10000);
    }
    EXPECT_EQ(broken, 1);
    EXPECT_TRUE(fake::clientTypes.empty());  // the default mask is not re-sent
}

TEST_F(Component, RenewalAfterClientLogonExWithNullServerUsesClientLogon) {
    ASSERT_EQ(q->ClientLogonEx(9, 1, QString(), -2, 5124, 3000), 0);
    EXPECT_EQ(fake::logons[0].callPort, 65534);  // the 16 bits of -2, unsigned
    fake::methodResult = 8;
    int32_t n;
    q->GetPumpsCount(n);
    fake::methodResult = 0;
    ASSERT_TRUE(WaitFor([&] { return reconnected == 1; }));
    EXPECT_EQ(fake::logons.back().fn, "ClientLogon");
    EXPECT_EQ(fake::logons.back().clientID, 9);
    EXPECT_EQ(broken, 0);
}

TEST_F(Component, RenewalOfAnInternalLogonRepeatsEveryValueAndTheMask) {
    ASSERT_EQ(q->InternalClientLogon(11, 3, QStringLiteral("till"), 2, QStringLiteral("KEY"), 0x0FF,
                                     QStringLiteral("10.0.0.9"), -1000, 5124, 2500),
              0);
    ASSERT_EQ(q->SetClientType(0x1234), 0);
    fake::methodResult = -23;
    int32_t n;
    q->GetPumpsCount(n);
    fake::methodResult = 0;
    ASSERT_TRUE(WaitFor([&] { return reconnected == 1; }));
    const fake::LogonCall& c = fake::logons.back();
    EXPECT_EQ(c.fn, "InternalClientLogon");
    EXPECT_EQ(c.clientID, 11);
    EXPECT_EQ(c.clientType, 3);
    EXPECT_EQ(c.clientName, u"till");
    EXPECT_EQ(c.category, 2);
    EXPECT_EQ(c.hashKey, u"KEY");
    EXPECT_EQ(c.eventMask, 0x1234);
    EXPECT_EQ(c.server, u"10.0.0.9");
    EXPECT_EQ(c.callPort, static_cast<uint16_t>(-1000));
    EXPECT_EQ(c.timeout, 2500);
    EXPECT_EQ(fake::clientTypes, (std::vector<int32_t>{0x1234, 0x1234}));  // sent again after the renewal
}

TEST_F(Component, SetClientTypeStoresOnlyKeysWithoutTopBits) {
    struct Case {
        int32_t key;
        bool stored;
    };
    for (Case c : {Case{0, false}, Case{0x10000000, false}, Case{static_cast<int32_t>(0x80000001u), false},
                   Case{0x0FFFFFFF, true}, Case{5, true}}) {
        SCOPED_TRACE(c.key);
        SetUp();
        ASSERT_EQ(q->ClientLogon(1, 1), 0);
        q->SetClientType(c.key);
        EXPECT_EQ(fake::clientTypes.back(), c.key);  // always passed on
        fake::methodResult = 8;
        int32_t n;
        q->GetPumpsCount(n);
        fake::methodResult = 0;
        ASSERT_TRUE(WaitFor([&] { return reconnected == 1; }));
        if (c.stored) {
            EXPECT_EQ(fake::clientTypes, (std::vector<int32_t>{c.key, c.key}));
        } else {
            EXPECT_EQ(fake::clientTypes, (std::vector<int32_t>{c.key}));
        }
    }
}

TEST_F(Component, FirstLogonFailedLeavesNothingToRenew) {
    fake::logonResult = -103;
    EXPECT_EQ(q->ClientLogon(7, 2), -103);
    fake::logonResult = 0;
    RecordingPump pump;
    q->AddVQPump(&pump);
    fake::methodResult = -14;
    int32_t n;
    q->GetPumpsCount(n);
    EXPECT_EQ(pump.status.size(), 1u);
    EXPECT_EQ(broken, 1);
    QThread::msleep(100);
    QCoreApplication::processEvents();
    QThread::msleep(100);
    QCoreApplication::processEvents();
    EXPECT_EQ(fake::logons.size(), 1u);  // the timer ticked and stopped without a logon
    EXPECT_EQ(reconnected, 0);
    q->RemoveVQPump(&pump);
}

TEST_F(Component, UncheckedResultsStartNoRenewal) {
    ASSERT_EQ(q->ClientLogon(7, 2), 0);
    fake::methodResult = -14;
    EXPECT_EQ(q->CaldrexPrompt(1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, QStringLiteral("x")), -14);
    EXPECT_EQ(broken, 0);
    EXPECT_EQ(std::count(fake::calls.begin(), fake::calls.end(), "ClientLogoff"), 0);
}

// ---- the notification channel ------------------------------------------------------------

TEST_F(Component, ChannelRecordsDrainOrReportTheLoss) {
    ASSERT_EQ(q->ClientLogon(7, 2), 0);
    fake::queue.push_back({12, 42});
    fake::Notify(QUENDRIL_NOTIFY_EVENTS);
    ASSERT_TRUE(WaitFor([&] { return logoffs.size() == 1; }));
    EXPECT_EQ(logoffs[0], 42);
    fake::Notify(QUENDRIL_NOTIFY_CLOSED);
    fake::Notify(QUENDRIL_NOTIFY_CLOSED);  // a stale second record of the same loss
    ASSERT_TRUE(WaitFor([&] { return broken >= 1; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(broken, 1);
}

TEST_F(Component, EventPollDrainsAndTestsTheConnection) {
    ASSERT_EQ(q->ClientLogon(7, 2), 0);
    fake::queue.push_back({12, 5});
    ASSERT_TRUE(WaitFor([&] { return logoffs.size() == 1; }));
    // The library renewed the session by itself: reported, and nothing else done.
    fake::wasReconnected = 1;
    ASSERT_TRUE(WaitFor([&] { return reconnected == 1; }));
    EXPECT_EQ(fake::logons.size(), 1u);
    EXPECT_EQ(std::count(fake::calls.begin(), fake::calls.end(), "ClientLogoff"), 0);
    fake::methodResult = -14;  // TestConnection
    ASSERT_TRUE(WaitFor([&] { return broken == 1; }));
}

// ---- registry, current pump, wrappers ----------------------------------------------------

TEST_F(Component, RegistryRefusesDuplicates) {
    RecordingPump pump;
    RecordingTank tank;
    EXPECT_TRUE(q->AddVQPump(&pump));
    EXPECT_FALSE(q->AddVQPump(&pump));
    EXPECT_TRUE(q->RemoveVQPump(&pump));
    EXPECT_FALSE(q->RemoveVQPump(&pump));
    EXPECT_TRUE(q->AddVQTank(&tank));
    EXPECT_FALSE(q->AddVQTank(&tank));
    EXPECT_TRUE(q->RemoveVQTank(&tank));
    EXPECT_FALSE(q->RemoveVQTank(&tank));
}

TEST_F(Component, CurrentPumpMarksWidgetsAndSignalsChanges) {
    RecordingPump p1, p2;
    p1.SetID(1);
    p2.SetID(2);
    q->AddVQPump(&p1);
    q->AddVQPump(&p2);
    std::vector<int32_t> raised;
    QObject::connect(q.get(), &Quendril::CurrentPumpEvent, [&](int32_t v) { raised.push_back(v); });
    q->SetCurrentPump(1);
    EXPECT_TRUE(p1.IsCurrentPump());
    q->SetCurrentPump(1);
    q->SetCurrentPump(2);
    EXPECT_FALSE(p1.IsCurrentPump());
    EXPECT_TRUE(p2.IsCurrentPump());
    q->SetCurrentPump(-1);
    EXPECT_FALSE(p2.IsCurrentPump());
    EXPECT_EQ(raised, (std::vector<int32_t>{1, 2, -1}));
    EXPECT_EQ(q->CurrentPump(), -1);
    q->RemoveVQPump(&p1);
    q->RemoveVQPump(&p2);
}

TEST_F(Component, WrappersConvertTextsDatesAndPresets) {
    int32_t id = 0;
    q->GetPumpByName(QString(), id);
    q->GetPumpByName(QLatin1String(""), id);
    EXPECT_EQ(fake::nameIsNull, (std::vector<bool>{true, false}));
    EXPECT_EQ(id, 0);

    int16_t type = 7, decimals = 7, state = 7, on = 7, off = 7;
    int32_t link = 7;
    double price = 7;
    EXPECT_EQ(q->GetPriceSignElement(1, type, link, decimals, price, state, on, off), 5);
    EXPECT_EQ(link, -1);
    EXPECT_EQ(type + decimals + state + on + off, 0);
    EXPECT_EQ(price, 0.0);

    fake::dateTime = 45848.5;
    QDateTime dt;
    EXPECT_EQ(q->GetDateTime(dt), 0);
    EXPECT_EQ(dt, QDateTime(QDate(2025, 7, 10), QTime(12, 0)));
    EXPECT_EQ(q->SetDateTime(Varnel::MinDateTime()), 0);
    EXPECT_EQ(fake::sentDate, -1.0);

    EXPECT_EQ(q->ResultString(1), QLatin1String(""));
    EXPECT_FALSE(q->ResultString(1).isNull());
    EXPECT_EQ(q->ResultString(0), QStringLiteral("text"));
}

TEST_F(Component, DeliverySummaryIsOfferedToItsPumpWidgetWhateverTheResult) {
    RecordingPump pump;
    pump.SetID(77);
    q->AddVQPump(&pump);
    int32_t hoseID, hoseNumber, hosePhysical, pumpID, pumpNumber, tankID, tankNumber, gradeID, gradeNumber, lockedBy,
        reservedBy, attendantID, age, duration, attendantNumber, cardClientID, cardClientNumber;
    QString pumpName, tankName, gradeName, gradeShortName, gradeCode, attendantName, attendantIDNumber, cardClientName,
        cardClientIDNumber;
    int16_t state, type, priceLevel;
    double volume, price, value, volume2, oldVolume, oldVolume2, oldValue, newVolume, newVolume2, newValue, peak;
    QDateTime completed, cleared;
    int64_t tag, attendantTag, cardClientTag;
    EXPECT_EQ(q->GetDeliverySummaryEx4(555, hoseID, hoseNumber, hosePhysical, pumpID, pumpNumber, pumpName, tankID,
                                       tankNumber, tankName, gradeID, gradeNumber, gradeName, gradeShortName, gradeCode,
                                       state, type, volume, priceLevel, price, value, volume2, completed, lockedBy,
                                       reservedBy, attendantID, age, cleared, oldVolume, oldVolume2, oldValue, newVolume,
                                       newVolume2, newValue, tag, duration, attendantNumber, attendantName, attendantTag,
                                       attendantIDNumber, cardClientID, cardClientNumber, cardClientName, cardClientTag,
                                       cardClientIDNumber, peak),
              -106);
    EXPECT_EQ(attendantIDNumber, QStringLiteral("t") + QChar(char16_t(u'A' + 39)));  // still returned to the host
    ASSERT_EQ(pump.deliveries.size(), 1u);
    // ID, then every output by position except AttendantIDNumber (39), CardClientIDNumber (44)
    // and PeakFlowRate (45).
    QVariantList want{555};
    const char* types = "iiiiitiitiittthhfhfffdiiiidffffffliitlTiitlTf";
    for (int position = 1; types[position - 1] != 0; ++position) {
        switch (types[position - 1]) {
            case 'T': continue;
            case 'f': want.push_back(position + 0.5); break;
            case 'd': want.push_back(Varnel::DATE2DateTime(position + 0.5).toString(Qt::ISODateWithMs)); break;
            case 't': want.push_back(QStringLiteral("t") + QChar(char16_t(u'A' + position))); break;
            default: want.push_back(100 + position); break;
        }
    }
    want.removeLast();  // PeakFlowRate
    want[4] = 77;       // PumpID
    QVariantList got = pump.deliveries[0];
    for (QVariant& v : got) {
        if (v.metaType() == QMetaType::fromType<QDateTime>()) v = v.toDateTime().toString(Qt::ISODateWithMs);
    }
    pump.deliveries.clear();
    ExpectValues(got, want);
    EXPECT_EQ(pumpID, 77);

    // No widget for the pump: nothing offered, the result as before.
    pump.SetID(78);
    EXPECT_EQ(q->GetDeliverySummaryEx4(555, hoseID, hoseNumber, hosePhysical, pumpID, pumpNumber, pumpName, tankID,
                                       tankNumber, tankName, gradeID, gradeNumber, gradeName, gradeShortName, gradeCode,
                                       state, type, volume, priceLevel, price, value, volume2, completed, lockedBy,
                                       reservedBy, attendantID, age, cleared, oldVolume, oldVolume2, oldValue, newVolume,
                                       newVolume2, newValue, tag, duration, attendantNumber, attendantName, attendantTag,
                                       attendantIDNumber, cardClientID, cardClientNumber, cardClientName, cardClientTag,
                                       cardClientIDNumber, peak),
              -106);
    EXPECT_TRUE(pump.deliveries.empty());
    q->RemoveVQPump(&pump);
}

TEST_F(Component, NetVersionNeedsNoLibrary) {
    QString v;
    EXPECT_EQ(q->GetNETVersion(v), 0);
    EXPECT_EQ(v, QStringLiteral("Varnel .NET package Version(2,5,8,1:B1) Built(Jul 10 2025 at 14:30:15)"));
    EXPECT_EQ(q->size(), QSize(46, 34));
}

}  // namespace
