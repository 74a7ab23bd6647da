// Kestrum's export of a real wyrlan's demo site, checked against what the server holds (read
// back through libQuendril in a session of the test's own). Servers on 127.0.11.x.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "live_fixture.h"

using namespace kestrum::testing;

namespace {

using Keys = std::vector<std::pair<std::string, std::string>>;

std::string D(int64_t v) { return std::to_string(v); }
std::string F3(double v) { return Fmt("%.3f", v); }

// What the file must hold for one object, read from the server.
Keys PortKeys(const Session& s, int32_t id) {
    int32_t number = 0, protocol = 0;
    int16_t type = 0;
    Out name, serial;
    EXPECT_EQ(GetPortPropertiesMT(s.Handle(), id, &number, &name, &protocol, &type, &serial), 0);
    return {{"Number", D(number)}, {"Name", name.Str()}, {"SerialNo", serial.Str()},
            {"ProtocolID", D(protocol)}, {"DeviceType", D(type)}};
}
Keys ZigBeeKeys(const Session& s, int32_t id) {
    int32_t number = 0, port = 0;
    int16_t type = 0;
    Out name, serial, node;
    EXPECT_EQ(GetZigBeePropertiesMT(s.Handle(), id, &number, &name, &type, &serial, &node, &port), 0);
    return {{"Number", D(number)},       {"Name", name.Str()},           {"DeviceType", D(type)},
            {"SerialNumber", serial.Str()}, {"NodeIdentifier", node.Str()}, {"PortID", D(port)}};
}
Keys GradeKeys(const Session& s, int32_t id) {
    int32_t number = 0;
    int16_t type = 0;
    Out name, shortName, code;
    EXPECT_EQ(GetGradePropertiesExMT(s.Handle(), id, &number, &name, &shortName, &code, &type), 0);
    Keys keys = {{"Number", D(number)}, {"Name", name.Str()}, {"ShortName", shortName.Str()}, {"Code", code.Str()},
                 {"GradeType", D(type)}};
    for (int16_t level = 1; level <= 8; ++level) {
        double price = 0;
        EXPECT_EQ(GetGradePriceMT(s.Handle(), id, level, &price), 0);
        keys.emplace_back(Fmt("Price%02.0f", level), price != 0 ? F3(price) : "<missing>");
    }
    return keys;
}
Keys TankKeys(const Session& s, int32_t id) {
    int32_t number = 0, grade = 0, gauge = 0, alarms = 0, slot = 0, serial = 0, manifold = 0;
    int16_t type = 0, probe = 0, probeType = 0;
    double capacity = 0, diameter = 0, r[8] = {};
    Out name;
    EXPECT_EQ(GetTankPropertiesEx3MT(s.Handle(), id, &number, &name, &grade, &type, &capacity, &diameter, &r[0],
                                     &r[1], &r[2], &r[3], &r[4], &r[5], &r[6], &r[7], &gauge, &probe, &alarms,
                                     &slot, &probeType, &serial, &manifold),
              0);
    return {{"Number", D(number)},       {"Name", name.Str()},        {"Grade", D(grade)},
            {"Type", D(type)},           {"Capacity", F3(capacity)}, {"Diameter", F3(diameter)},
            {"TankGauge", D(gauge)},     {"Probe", D(probe)},         {"GaugeAlarmsMask", D(alarms)},
            {"SlotZigBeeID", D(slot)},   {"ProbeType", D(probeType)}, {"ProbeSerialNo", D(serial)},
            {"TankManifoldID", D(manifold)}};
}
Keys PumpKeys(const Session& s, int32_t id) {
    int32_t number = 0, port = 0, attendant = 0, slot = 0, mux = 0;
    int16_t v[15] = {};
    Out name;
    EXPECT_EQ(GetPumpPropertiesExMT(s.Handle(), id, &number, &name, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6],
                                    &v[7], &v[8], &port, &attendant, &v[9], &v[10], &v[11], &v[12], &slot, &mux,
                                    &v[13], &v[14]),
              0);
    Keys keys = {{"Number", D(number)},          {"Name", name.Str()},         {"PhysicalNumber", D(v[0])},
                 {"Side", D(v[1])},              {"Address", D(v[2])},         {"Slot", D(slot)},
                 {"PriceLevel1", D(v[3])},       {"PriceLevel2", D(v[4])},     {"PriceDspFormat", D(v[5])},
                 {"VolumeDspFormat", D(v[6])},   {"ValueDspFormat", D(v[7])},  {"PumpType", D(v[8])},
                 {"PortID", D(port)},            {"AttendantID", D(attendant)}, {"AuthMode", D(v[9])},
                 {"StackMode", D(v[10])},        {"PrepayAllowed", D(v[11])},  {"PreauthAllowed", D(v[12])},
                 {"MuxSlotZigBeeID", D(mux)},    {"PriceControl", D(v[13])},   {"HasPreset", D(v[14])}};
    int32_t hoses = 0;
    EXPECT_EQ(GetPumpHosesCountMT(s.Handle(), id, &hoses), 0);
    EXPECT_GT(hoses, 0);
    for (int32_t position = 1; position <= hoses; ++position) {
        int32_t hose = 0, n = 0, pump = 0, tank = 0, physical = 0;
        int16_t reader = 0, enabled = 0;
        double m[4] = {}, price[4] = {};
        EXPECT_EQ(GetPumpHoseByNumberMT(s.Handle(), id, position, &hose), 0);
        EXPECT_EQ(GetHosePropertiesEx3MT(s.Handle(), hose, &n, &pump, &tank, &physical, &m[0], &m[1], &m[2], &m[3],
                                         &reader, &price[0], &price[1], &price[2], &price[3], &enabled),
                  0);
        const std::string h = "Hose" + D(n);
        keys.insert(keys.end(), {{h + "ID", D(hose)}, {h + "Tank", D(tank)}, {h + "PhysicalNumber", D(physical)},
                                 {h + "Reader", D(reader)}, {h + "Enabled", D(enabled)}});
        for (int p = 0; p < 4; ++p) {
            keys.emplace_back(h + "Price" + D(p + 1), price[p] > 0.1 ? F3(price[p]) : "<missing>");
        }
    }
    return keys;
}
Keys SensorKeys(const Session& s, int32_t id) {
    int32_t number = 0, port = 0, slot = 0, serial = 0;
    int16_t type = 0, address = 0, sensorNo = 0;
    Out name;
    EXPECT_EQ(GetSensorPropertiesExMT(s.Handle(), id, &number, &name, &port, &type, &address, &sensorNo, &slot,
                                      &serial),
              0);
    return {{"Number", D(number)},   {"Name", name.Str()},          {"PortID", D(port)},
            {"Type", D(type)},       {"Address", D(address)},       {"SensorNo", D(sensorNo)},
            {"SlotZigBeeID", D(slot)}, {"SensorSerialNo", D(serial)}};
}
Keys ProductKeys(const Session& s, int32_t id) {
    int32_t number = 0, quick = 0, group = 0;
    int16_t enabled = 0;
    double p[4] = {}, added = 0, updated = 0;
    Out name, tag, shortName, barcode;
    EXPECT_EQ(GetProductPropertiesEx2MT(s.Handle(), id, &number, &name, &tag, &enabled, &shortName, &barcode, &quick,
                                        &p[0], &p[1], &p[2], &p[3], &group, &added, &updated),
              0);
    return {{"Number", D(number)},     {"Name", name.Str()},       {"Tag", tag.Str()},
            {"Enabled", D(enabled)},   {"ShortName", shortName.Str()}, {"Barcode", barcode.Str()},
            {"QuickCode", D(quick)},   {"Price1", F3(p[0])},       {"Price2", F3(p[1])},
            {"Price3", F3(p[2])},      {"Price4", F3(p[3])},       {"ProductGroup", D(group)}};
}
Keys AttendantKeys(const Session& s, int32_t id) {
    int32_t number = 0;
    int16_t a = 0, b = 0, c = 0, d = 0, type = 0;
    Out name, shortName, password, tag, idNumber;
    EXPECT_EQ(GetAttendantPropertiesEx2MT(s.Handle(), id, &number, &name, &shortName, &password, &tag, &idNumber, &a,
                                          &b, &c, &d, &type),
              0);
    return {{"Number", D(number)},        {"Name", name.Str()},  {"ShortName", shortName.Str()},
            {"Password", password.Str()}, {"Tag", tag.Str()},    {"IDNumber", idNumber.Str()},
            {"ShiftAStart", D(a)},        {"ShiftAEnd", D(b)},   {"ShiftBStart", D(c)},
            {"ShiftBEnd", D(d)},          {"Enabled", D(type)},  {"Type", D(type)}};
}
Keys ClientKeys(const Session& s, int32_t id) {
    int32_t number = 0, parent = 0, factor = 0;
    int16_t enabled = 0, level = 0, gradeType = 0, cardType = 0, limitType = 0, entryType = 0;
    double limit = 0, expiration = 0, odometer = 0;
    Out name, tag, plate, idNumber, shortName, password, sorvik;
    EXPECT_EQ(GetCardClientPropertiesEx4MT(s.Handle(), id, &number, &name, &tag, &enabled, &level, &plate, &idNumber,
                                           &shortName, &password, &gradeType, &cardType, &limitType, &limit,
                                           &entryType, &expiration, &parent, &sorvik, &odometer, &factor),
              0);
    return {{"Number", D(number)},         {"Name", name.Str()},           {"Tag", tag.Str()},
            {"Enabled", D(enabled)},       {"PriceLevel", D(level)},       {"Plate", plate.Str()},
            {"IDNumber", idNumber.Str()},  {"ShortName", shortName.Str()}, {"Password", password.Str()},
            {"GradeType", D(gradeType)},   {"CardType", D(cardType)},      {"LimitType", D(limitType)},
            {"LimitValue", F3(limit)},     {"EntryType", D(entryType)},    {"ExpirationDate", Fmt("%.5f", expiration)},
            {"ParentID", D(parent)},       {"SorvikSerialNo", sorvik.Str()}, {"Odometer", Fmt("%.1f", odometer)},
            {"Factor", D(factor)}};
}

struct Kind {
    const char* prefix;  // of the section names
    const char* format;  // the section name of an ID
    std::function<std::vector<int32_t>(const Session&)> ids;
    std::function<Keys(const Session&, int32_t)> keys;
};

std::vector<Kind> Kinds() {
    return {
        {"Port", "Port%02d", [](const Session& s) { return s.Ids(GetPortsCountMT, GetPortByOrdinalMT); }, PortKeys},
        {"ZigBee", "ZigBee%02d", [](const Session& s) { return s.Ids(GetZigBeeCountMT, GetZigBeeByOrdinalMT); },
         ZigBeeKeys},
        {"Grade", "Grade%02d", [](const Session& s) { return s.Ids(GetGradesCountMT, GetGradeByOrdinalMT); },
         GradeKeys},
        {"Tank", "Tank%02d", [](const Session& s) { return s.Ids(GetTanksCountMT, GetTankByOrdinalMT); }, TankKeys},
        {"Pump", "Pump%02d", [](const Session& s) { return s.Ids(GetPumpsCountMT, GetPumpByOrdinalMT); }, PumpKeys},
        {"Sensor", "Sensor%02d", [](const Session& s) { return s.Ids(GetSensorsCountMT, GetSensorByOrdinalMT); },
         SensorKeys},
        {"Product", "Product%03d", [](const Session& s) { return s.ProductIds(); }, ProductKeys},
        {"Attendant", "Attendant%02d",
         [](const Session& s) { return s.Ids(GetAttendantsCountMT, GetAttendantByOrdinalMT); }, AttendantKeys},
        {"Client", "Client%03d",
         [](const Session& s) { return s.Ids(GetCardClientsCountMT, GetCardClientByOrdinalMT); }, ClientKeys},
    };
}

std::string SectionName(const char* format, int32_t id) {
    char name[40];
    std::snprintf(name, sizeof name, format, id);
    return name;
}

class LiveExportTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        server_ = new LiveServer;
        ASSERT_TRUE(server_->Start("127.0.11.1", "--demo-site"));
    }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(server_->Running()); }

    ToolRun Export(const std::string& options) { return RunKestrum(root_, "EXPORT site.ini 127.0.11.1 " + options); }
    Ini File() { return Ini(ReadFile(root_ / "site.ini")); }

    static LiveServer* server_;
    LiveRoot root_;
};
LiveServer* LiveExportTest::server_ = nullptr;

TEST_F(LiveExportTest, EveryKindInOrderWithWhatTheServerHolds) {
    ToolRun run = Export("");
    ASSERT_EQ(run.status, 0) << run.output;
    Ini ini = File();
    Session session("127.0.11.1");
    ASSERT_EQ(session.Result(), 0);

    // [Application] first, then the kinds in their order, each in the server's ordinal order.
    std::vector<std::string> expectedNames = {"Application"};
    for (const Kind& kind : Kinds()) {
        SCOPED_TRACE(kind.prefix);
        const std::vector<int32_t> ids = kind.ids(session);
        ASSERT_FALSE(ids.empty());
        for (int32_t id : ids) expectedNames.push_back(SectionName(kind.format, id));
        // The first and the last object of each kind, key by key.
        for (int32_t id : {ids.front(), ids.back()}) {
            const IniSection* section = ini.Find(SectionName(kind.format, id));
            ASSERT_NE(section, nullptr) << id;
            for (const auto& [key, value] : kind.keys(session, id)) EXPECT_EQ((*section)[key], value) << key;
        }
    }
    EXPECT_EQ(ini.Names(), expectedNames);

    const IniSection& app = ini.Sections().front();
    Out serverVersion;
    ASSERT_EQ(ServerVersionMT(session.Handle(), &serverVersion), 0);
    EXPECT_EQ(app["Name"], "Wyrlan service configuration");
    EXPECT_EQ(app["IniVersion"], "2.6.0.0");
    EXPECT_EQ(app["ServerVersion"], serverVersion.Str());
    EXPECT_NE(app["ClientVersion"], "<missing>");
    EXPECT_NE(app["DateGenerated"], "<missing>");

    // The ports carry the ZigBee network settings and what the device reports.
    const IniSection& port = ini.Sections()[1];
    for (const char* key : {"PanID", "Channels", "KeyA", "KeyB", "CurrentSerialNo", "BootVersion", "FirmwareVersion"}) {
        EXPECT_NE(port[key], "<missing>") << key;
    }
    EXPECT_EQ(port["KeyA"].size(), 18u);

    // The count lines, one per kind, then the end.
    for (const char* line : {"ports exported successfully.", "ZigBee devices exported successfully.",
                             "grades exported successfully.", "Tanks exported successfully.",
                             "Pumps exported successfully.", "Sensors exported successfully.",
                             "Products exported successfully.", "Attendants exported successfully.",
                             "Clients exported successfully."}) {
        EXPECT_NE(run.output.find(line), std::string::npos) << line;
    }
    EXPECT_EQ(Lines(run.output).back(), "All done.");
}

// VERSION and the fixed sections: the names of the sections before the first object, and which
// kinds follow.
TEST_F(LiveExportTest, VersionAndFixedSections) {
    const std::vector<std::string> block = {"Log", "Server", "Port", "Protocol", "Company", "Pam"};
    struct {
        std::string options;
        std::vector<std::string> head;  // after [Application], up to the first [PortNN]
        std::string protocol;
        bool versionOnly;
    } cases[] = {
        {"", {}, "", false},
        {"/PAM", block, "PAM", false},
        {"/COMPANY", block, "Company", false},
        {"/GSC", {"Log", "Server", "Port", "Protocol", "Company", "Pam", "GSC"}, "PAM", false},
        {"/IPT", {"Log", "Server", "Port", "Protocol", "Company", "Pam", "GSC", "IPT"}, "PAM", false},
        {"VERSION", {}, "", true},
        {"VERSION /COMPANY", block, "Company", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options);
        ToolRun run = Export(c.options);
        ASSERT_EQ(run.status, 0) << run.output;
        Ini ini = File();
        std::vector<std::string> names = ini.Names();
        std::vector<std::string> head(names.begin() + 1, names.begin() + 1 + long(c.head.size()));
        EXPECT_EQ(head, c.head);
        EXPECT_EQ(names[1 + c.head.size()], "Port01");
        if (!c.protocol.empty()) {
            EXPECT_EQ((*ini.Find("Protocol"))["Name"], c.protocol);
            EXPECT_EQ((*ini.Find("Pam"))["Baudrate"], "4800");
            EXPECT_EQ((*ini.Find("Server"))["CallPort"], "5123");
        }
        if (const IniSection* ipt = ini.Find("IPT")) {
            EXPECT_EQ((*ipt)["Port"], "COM1");
        }
        if (const IniSection* gsc = ini.Find("GSC")) {
            EXPECT_EQ((*gsc)["CommandPort"], "6001");
        }
        // A version export ends with the ZigBee devices.
        EXPECT_EQ(names.back().rfind(c.versionOnly ? "ZigBee" : "Client", 0), 0u) << names.back();
        EXPECT_EQ(run.output.find("grades exported") == std::string::npos, c.versionOnly);
        EXPECT_EQ(Lines(run.output).back(), "All done.");
    }
}

TEST_F(LiveExportTest, SkipOptionsLeaveOutTheirKind) {
    struct {
        const char* option;
        const char* prefix;
        const char* countLine;
    } cases[] = {{"/NoProducts", "Product", "Products exported"},
                 {"/NoAttendants", "Attendant", "Attendants exported"},
                 {"/NoCardClients", "Client", "Clients exported"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.option);
        ToolRun run = Export(c.option);
        ASSERT_EQ(run.status, 0) << run.output;
        EXPECT_EQ(run.output.find(c.countLine), std::string::npos);
        int kept = 0;
        for (const auto& name : File().Names()) {
            EXPECT_NE(name.rfind(c.prefix, 0), 0u) << name;
            kept += name.rfind("Pump", 0) == 0;
        }
        EXPECT_GT(kept, 0);
    }
}

}  // namespace
