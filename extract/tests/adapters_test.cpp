// The binding and its adapters against stand-in libraries that export only some entry points.
#include <gtest/gtest.h>

#include "tool_fixture.h"

using kestrum::testing::ToolFixture;

namespace {

int CountContaining(const std::vector<std::string>& lines, const std::string& text) {
    int n = 0;
    for (const auto& line : lines) n += line.find(text) != std::string::npos;
    return n;
}

TEST(BindingTest, NoLibraryLogsOneLineAndAnswers65Or8) {
    ToolFixture tool("");
    EXPECT_FALSE(tool.Loaded());
    const std::string path = tool.Root() / "libQuendril.so";
    EXPECT_EQ(tool.LogLines(), std::vector<std::string>{"Quendril [" + path + "] not found/loaded!!"});

    EXPECT_EQ(tool.Logon(), 65);
    CStr version("kept");
    EXPECT_EQ(tool.Library().DllVersion(version), 65);
    CStr text("kept");
    EXPECT_EQ(tool.Library().ResultString(8, text), 65);
    EXPECT_STREQ(text.Narrow(), "kept");
    int32_t count = -5;
    EXPECT_EQ(tool.Library().GetPortsCount(&count), 8);
    EXPECT_EQ(count, -5);
    EXPECT_EQ(tool.Library().Logoff(), 8);

    // The failure line has an empty text; both log lines are written.
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(ReportResult("Logon failed", 65));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Logon failed - .\n");
    auto lines = tool.LogLines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[lines.size() - 2], "Logon failed - 65.");
    EXPECT_EQ(lines.back(), "Logon failed - .");
}

TEST(BindingTest, EmptyLibraryGives205NotFoundLinesInBindingOrder) {
    ToolFixture tool(KESTRUM_FAKE_EMPTY);
    ASSERT_TRUE(tool.Loaded());
    auto lines = tool.LogLines();
    ASSERT_EQ(lines.size(), 206u);
    EXPECT_NE(lines[0].find("loaded successfully"), std::string::npos);
    for (size_t i = 0; i < quendril::api::kBindingCount; ++i) {
        EXPECT_EQ(lines[i + 1],
                  std::string("Quendril DLL, function ") + quendril::api::kBindingNames[i] + " not found!!!");
    }
    EXPECT_EQ(tool.Logon(), 65);
    CStr text("kept");
    EXPECT_EQ(tool.Library().ResultString(8, text), 65);
    EXPECT_STREQ(text.Narrow(), "kept");

    // With a session, a missing entry point is 65; a setter's texts come back empty.
    tool.Library().SetSessionHandle(1);
    int32_t count = 0;
    EXPECT_EQ(tool.Library().GetPortsCount(&count), 65);
    CStr name("n"), tag("t"), plate("p"), idNumber("i"), shortName("s"), password("w"), sorvik("v");
    EXPECT_EQ(tool.Library().SetCardClientProperties(1, 1, name, tag, 1, 1, plate, idNumber, shortName, password, 1,
                                                     1, 1, 0, 1, 0, -1, sorvik, 0, 1),
              65);
    for (CStr* t : {&name, &tag, &plate, &idNumber, &shortName, &password, &sorvik}) {
        EXPECT_FALSE(t->IsNull());
        EXPECT_EQ(t->Length(), 0);
    }
    EXPECT_EQ(tool.Library().Logoff(), 65);
}

TEST(BindingTest, SlotsHoldTheExportedAddressesAtTheirBindingPositions) {
    ToolFixture tool(KESTRUM_FAKE_LOGON_EX);
    ASSERT_TRUE(tool.Loaded());
    int found = 0;
    for (size_t i = 0; i < quendril::api::kBindingCount; ++i) found += tool.Library().SlotAt(i) != nullptr;
    EXPECT_EQ(found, 2);
    EXPECT_NE(tool.Library().SlotAt(7), nullptr);   // 8: ClientLogonExMT
    EXPECT_NE(tool.Library().SlotAt(11), nullptr);  // 12: SetClientTypeMT
    EXPECT_EQ(CountContaining(tool.LogLines(), "not found!!!"), 203);
}

TEST(AdapterTest, PlainCardClientVersionGivesTheDefaults) {
    ToolFixture tool(KESTRUM_FAKE_CARD_PLAIN);
    tool.Library().SetSessionHandle(1);
    int32_t number = 0, parentID = 5, factor = 9;
    int16_t enabled = 0, priceLevel = 3, gradeType = 0, cardType = 0, limitType = 0, entryType = 0;
    double limit = 4, odometer = 4;
    DATE expiration = 4;
    CStr name, tag, plate("old"), idNumber("old"), shortName("old"), password("old"), sorvik("old");
    ASSERT_EQ(tool.Library().GetCardClientProperties(3, &number, name, tag, &enabled, &priceLevel, plate, idNumber,
                                                     shortName, password, &gradeType, &cardType, &limitType, &limit,
                                                     &entryType, &expiration, &parentID, sorvik, &odometer, &factor),
              0);
    EXPECT_EQ(number, 30);
    EXPECT_STREQ(name.Narrow(), "Fleet");
    EXPECT_STREQ(tag.Narrow(), "T1");
    EXPECT_EQ(enabled, 1);
    EXPECT_EQ(priceLevel, 0);
    for (CStr* t : {&plate, &idNumber, &shortName, &password, &sorvik}) EXPECT_STREQ(t->Narrow(), "");
    EXPECT_EQ(gradeType, 1);
    EXPECT_EQ(cardType, 1);
    EXPECT_EQ(limitType, 1);
    EXPECT_EQ(entryType, 1);
    EXPECT_EQ(limit, 0);
    EXPECT_EQ(odometer, 0);
    EXPECT_EQ(expiration, 0);
    EXPECT_EQ(parentID, -1);
    EXPECT_EQ(factor, 0);

    // The library's failure passes through, the defaults stay written.
    tool.Fail("GetCardClientPropertiesMT", -102);
    parentID = 5;
    EXPECT_EQ(tool.Library().GetCardClientProperties(3, &number, name, tag, &enabled, &priceLevel, plate, idNumber,
                                                     shortName, password, &gradeType, &cardType, &limitType, &limit,
                                                     &entryType, &expiration, &parentID, sorvik, &odometer, &factor),
              -102);
    EXPECT_EQ(parentID, -1);
}

TEST(AdapterTest, WithoutSessionNothingIsCalledOrTouched) {
    ToolFixture tool(KESTRUM_FAKE_CARD_PLAIN);
    int32_t number = 12;
    int16_t enabled = 2, shortValue = 2;
    double real = 2;
    DATE date = 2;
    int32_t wide = 2;
    CStr name("keep"), other("keep");
    EXPECT_EQ(tool.Library().GetCardClientProperties(3, &number, name, other, &enabled, &shortValue, other, other,
                                                     other, other, &shortValue, &shortValue, &shortValue, &real,
                                                     &shortValue, &date, &wide, other, &real, &wide),
              8);
    EXPECT_EQ(number, 12);
    EXPECT_EQ(wide, 2);
    EXPECT_STREQ(name.Narrow(), "keep");
    EXPECT_EQ(tool.Trace(), "");
    EXPECT_EQ(tool.Library().SetClientType(1), 8);
}

struct LogonExCase {
    const char* failing;  // entry point made to fail, or null
    int32_t expected;
    const char* trace;
};

TEST(AdapterTest, LogonFallsBackToClientLogonExAndSendsTwoClientKeys) {
    const std::string logon = "ClientLogonExMT(110,5,127.0.0.1,5123,5124,10000,1024)\n";
    const std::string firstKey = "SetClientTypeMT(42," + std::to_string(kestrum::kLogonExClientKey) + ")\n";
    const std::string all = logon + firstKey + "SetClientTypeMT(42,0)\n";
    const LogonExCase cases[] = {
        {nullptr, 0, all.c_str()},
        {"ClientLogonExMT", -14, logon.c_str()},
    };
    for (const auto& c : cases) {
        ToolFixture tool(KESTRUM_FAKE_LOGON_EX);
        tool.ResetTrace();
        if (c.failing != nullptr) tool.Fail(c.failing, c.expected);
        EXPECT_EQ(tool.Logon(), c.expected);
        EXPECT_EQ(tool.Trace(), c.trace);
    }
    // A failing first SetClientType ends the logon with its result, after two calls.
    ToolFixture tool(KESTRUM_FAKE_LOGON_EX);
    tool.ResetTrace();
    tool.Fail("SetClientTypeMT", -103);
    EXPECT_EQ(tool.Logon(), -103);
    EXPECT_EQ(tool.Trace(), logon + firstKey);
}

TEST(AdapterTest, OlderVersionsFillTheirDefaults) {
    ToolFixture tool(KESTRUM_FAKE_OLD);
    CClientLibrary& lib = tool.Library();
    lib.SetSessionHandle(1);

    {  // attendants, plain version only
        int32_t number = 0;
        int16_t aStart = 9, aEnd = 9, bStart = 9, bEnd = 9, type = 9;
        CStr name, shortName, password, tag, idNumber("old");
        ASSERT_EQ(lib.GetAttendantProperties(1, &number, name, shortName, password, tag, idNumber, &aStart, &aEnd,
                                             &bStart, &bEnd, &type),
                  0);
        EXPECT_EQ(number, 3);
        EXPECT_STREQ(tag.Narrow(), "tag");
        EXPECT_STREQ(idNumber.Narrow(), "");
        EXPECT_EQ(aStart, 0);
        EXPECT_EQ(aEnd, 1439);
        EXPECT_EQ(bStart, 0);
        EXPECT_EQ(bEnd, 1439);
        EXPECT_EQ(type, 1);
    }
    {  // tanks without Ex3: the manifold keeps the caller's value
        int32_t number = 0, grade = 0, gaugeID = 0, mask = 0, slot = 0, serial = 0, manifold = 123;
        int16_t type = 0, probeNo = 0, probeType = 0;
        double d[10] = {};
        CStr name;
        ASSERT_EQ(lib.GetTankProperties(1, &number, name, &grade, &type, &d[0], &d[1], &d[2], &d[3], &d[4], &d[5],
                                        &d[6], &d[7], &d[8], &d[9], &gaugeID, &probeNo, &mask, &slot, &probeType,
                                        &serial, &manifold),
                  0);
        EXPECT_EQ(slot, 6);
        EXPECT_EQ(serial, 77);
        EXPECT_EQ(mask, 5);
        EXPECT_EQ(manifold, 123);
    }
    {  // pumps, plain version
        int32_t number = 0, port = 0, attendant = 0, slot = 0, mux = 0;
        int16_t s[13] = {};
        int16_t priceControl = 0, hasPreset = 0;
        CStr name;
        ASSERT_EQ(lib.GetPumpProperties(1, &number, name, &s[0], &s[1], &s[2], &s[3], &s[4], &s[5], &s[6], &s[7],
                                        &s[8], &port, &attendant, &s[9], &s[10], &s[11], &s[12], &slot, &mux,
                                        &priceControl, &hasPreset),
                  0);
        EXPECT_EQ(slot, 1);
        EXPECT_EQ(mux, -1);
        EXPECT_EQ(priceControl, 1);
        EXPECT_EQ(hasPreset, 1);
    }
    {  // hoses, Ex version
        int32_t number = 0, pump = 0, tank = 0, physical = 0;
        double m[4] = {}, price[4] = {9, 9, 9, 9};
        int16_t reader = 0, enabled = 0;
        ASSERT_EQ(lib.GetHoseProperties(1, &number, &pump, &tank, &physical, &m[0], &m[1], &m[2], &m[3], &reader,
                                        &price[0], &price[1], &price[2], &price[3], &enabled),
                  0);
        for (double p : price) EXPECT_EQ(p, 0);
        EXPECT_EQ(enabled, 1);
    }
    {  // products, plain getter; the setter needs the plain version even when Ex exists
        int32_t number = 0, quick = 9, group = 0;
        int16_t enabled = 0;
        double price[4] = {9, 9, 9, 9};
        DATE added = 9, updated = 9;
        CStr name, tag, shortName, barcode;
        ASSERT_EQ(lib.GetProductProperties(1, &number, name, tag, &enabled, shortName, barcode, &quick, &price[0],
                                           &price[1], &price[2], &price[3], &group, &added, &updated),
                  0);
        EXPECT_EQ(price[0], 2.5);
        EXPECT_EQ(quick, 0);
        EXPECT_EQ(price[2], 0);
        EXPECT_EQ(price[3], 0);
        EXPECT_EQ(added, 0);
        EXPECT_EQ(updated, 0);
        tool.ResetTrace();
        EXPECT_EQ(lib.SetProductProperties(1, 1, name, tag, 1, shortName, barcode, 0, 1, 1, 1, 1, 0), 65);
        EXPECT_EQ(tool.Trace(), "");
    }
    {  // grades and sensors, plain versions
        int32_t number = 0, port = 0, slot = 0, serial = 9;
        int16_t type = 9, address = 0, sensorNo = 0;
        CStr name, shortName, code;
        ASSERT_EQ(lib.GetGradeProperties(1, &number, name, shortName, code, &type), 0);
        EXPECT_EQ(type, 1);
        ASSERT_EQ(lib.GetSensorProperties(1, &number, name, &port, &type, &address, &sensorNo, &slot, &serial), 0);
        EXPECT_EQ(slot, -1);
        EXPECT_EQ(serial, 0);
    }
    {  // texts that need no session; a null result text stays null
        lib.SetSessionHandle(0);
        CStr version;
        EXPECT_EQ(lib.DllVersion(version), 0);
        EXPECT_STREQ(version.Narrow(), "old 1.0");
        CStr text("kept");
        EXPECT_EQ(lib.ResultString(-14, text), 0);
        EXPECT_TRUE(text.IsNull());
    }
}

}  // namespace
