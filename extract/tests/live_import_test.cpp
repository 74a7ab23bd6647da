// Kestrum's import into real, empty wyrlan servers, checked by what the server holds afterwards
// (read back through libQuendril), and the round trip export - import - export. Servers on
// 127.0.12.x.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "live_fixture.h"

using namespace kestrum::testing;

namespace {

const std::string kTry = "Try 1, Connecting to ";

// What the import printed after its logon.
std::string ImportOutput(const std::string& output) {
    size_t at = output.find(kTry);
    if (at == std::string::npos) return output;
    return output.substr(output.find('\n', at) + 1);
}

std::string TankName(const Session& s, int32_t id, int32_t* grade) {
    int32_t number = 0, i[6] = {};
    int16_t h[3] = {};
    double d[10] = {};
    Out name;
    if (GetTankPropertiesEx3MT(s.Handle(), id, &number, &name, grade, &h[0], &d[0], &d[1], &d[2], &d[3], &d[4], &d[5],
                               &d[6], &d[7], &d[8], &d[9], &i[0], &h[1], &i[1], &i[2], &h[2], &i[3], &i[4]) != 0) {
        return "<none>";
    }
    return name.Str();
}

struct Client {
    int32_t result = -1, parent = 0, factor = 0;
    int16_t cardType = 0;
    double expiration = 0;
    std::string name;
};
Client ReadClient(const Session& s, int32_t id) {
    Client c;
    int32_t number = 0;
    int16_t e = 0, l = 0, g = 0, lt = 0, et = 0;
    double limit = 0, odometer = 0;
    Out name, tag, plate, idNumber, shortName, password, sorvik;
    c.result = GetCardClientPropertiesEx4MT(s.Handle(), id, &number, &name, &tag, &e, &l, &plate, &idNumber,
                                            &shortName, &password, &g, &c.cardType, &lt, &limit, &et, &c.expiration,
                                            &c.parent, &sorvik, &odometer, &c.factor);
    c.name = name.Str();
    return c;
}

int16_t AttendantType(const Session& s, int32_t id) {
    int32_t number = 0;
    int16_t a = 0, b = 0, c = 0, d = 0, type = -1;
    Out name, shortName, password, tag, idNumber;
    GetAttendantPropertiesEx2MT(s.Handle(), id, &number, &name, &shortName, &password, &tag, &idNumber, &a, &b, &c, &d,
                                &type);
    return type;
}

struct ImportCase {
    const char* name;
    std::string file;
    std::string options;
    std::string output;  // after the logon lines; empty: not compared
    std::function<void(const Session&, const std::string& output)> check;
};

TEST(LiveImportTest, CasesAgainstAnEmptyController) {
    std::string grades;
    for (int id = 1; id <= 130; ++id) {
        char section[80];
        std::snprintf(section, sizeof section, "[Grade%02d]\r\nNumber=%d\r\nName=G%d\r\nPrice01=1.%d\r\n", id, id,
                      id, id);
        grades += section;
    }
    const std::string products =
        "[Product005]\r\nNumber=5\r\nName=Oil\r\nPrice1=2\r\n[Product006]\r\nNumber=6\r\nName=Gum\r\n"
        "[Client003]\r\nNumber=3\r\nName=V\r\nCardType=7\r\nParentID=5\r\n";
    auto counts = [](const Session& s) {
        return std::vector<size_t>{s.Ids(GetPortsCountMT, GetPortByOrdinalMT).size(),
                                   s.Ids(GetGradesCountMT, GetGradeByOrdinalMT).size(),
                                   s.Ids(GetTanksCountMT, GetTankByOrdinalMT).size(),
                                   s.Ids(GetPumpsCountMT, GetPumpByOrdinalMT).size(),
                                   s.ProductIds().size(),
                                   s.Ids(GetAttendantsCountMT, GetAttendantByOrdinalMT).size(),
                                   s.Ids(GetCardClientsCountMT, GetCardClientByOrdinalMT).size()};
    };
    using V = std::vector<size_t>;
    const ImportCase cases[] = {
        {"a tank-gauge section imports its tank, with the grade",
         "[Grade01]\r\nNumber=1\r\nName=G\r\nPrice01=1.5\r\nPrice03=2\r\n[Port05]\r\nNumber=5\r\nName=COM5\r\n"
         "[TankGauge05]\r\nPort=COM5\r\nProtocol=2\r\n[Tank05]\r\nNumber=5\r\nName=T5\r\nGrade=1\r\n",
         "",
         "\n  Grades .\n  Ports .\n  Tanks ..\n\n  1 Port imported successfully.\n  1 Grade imported successfully.\n"
         "  2 Tanks imported successfully.\n\nAll done.\n",
         [&](const Session& s, const std::string&) {
             EXPECT_EQ(counts(s), (V{1, 1, 1, 0, 0, 0, 0}));
             int32_t grade = 0;
             EXPECT_EQ(TankName(s, 5, &grade), "T5");
             EXPECT_EQ(grade, 1);
             double price1 = 0, price3 = -1;
             EXPECT_EQ(GetGradePriceMT(s.Handle(), 1, 1, &price1), 0);
             EXPECT_EQ(GetGradePriceMT(s.Handle(), 1, 3, &price3), 0);
             EXPECT_EQ(price1, 1.5);
             EXPECT_EQ(price3, 0);  // Price02 is missing: the price loop stopped there
         }},
        {"[Pump7] is looked up as [Pump07]",
         "[Port01]\r\nNumber=1\r\n[Pump7]\r\nNumber=7\r\nPortID=1\r\n[Pump8]\r\nNumber=8\r\nPortID=1\r\n"
         "[Pump07]\r\nNumber=7\r\nName=Seven\r\nPortID=1\r\n",
         "",
         "\n  Ports .\n  Pumps ...\n\n  1 Port imported successfully.\n  2 Pumps imported successfully.\n\nAll done.\n",
         [&](const Session& s, const std::string&) {
             EXPECT_EQ(s.Ids(GetPumpsCountMT, GetPumpByOrdinalMT), std::vector<int32_t>{7});
         }},
        {"more than 128 grades: every grade and tank arrives",
         grades + "[Tank01]\r\nNumber=1\r\nName=A\r\nGrade=130\r\n[Tank02]\r\nNumber=2\r\nName=B\r\nGrade=1\r\n"
                  "[Tank03]\r\nNumber=3\r\nName=C\r\nGrade=129\r\n",
         "", "",
         [&](const Session& s, const std::string& output) {
             EXPECT_EQ(counts(s), (V{0, 130, 3, 0, 0, 0, 0}));
             int32_t grade = 0;
             EXPECT_EQ(TankName(s, 1, &grade), "A");
             EXPECT_EQ(grade, 130);
             EXPECT_EQ(TankName(s, 3, &grade), "C");
             EXPECT_EQ(grade, 129);
             double price = 0;
             EXPECT_EQ(GetGradePriceMT(s.Handle(), 130, 1, &price), 0);
             EXPECT_EQ(price, 1.13);
             EXPECT_NE(output.find("130 Grades imported successfully.\n  3 Tanks imported successfully."),
                       std::string::npos);
         }},
        {"a CardType 7 client writes its product parent under /NoProducts", products, "/NoProducts",
         "\n  Products ..\n  Cards .  2 Products imported successfully.\n  1 Card imported successfully.\n\nAll done.\n",
         [&](const Session& s, const std::string&) {
             EXPECT_EQ(s.ProductIds(), std::vector<int32_t>{5});
             EXPECT_EQ(ReadClient(s, 3).parent, 5);
         }},
        {"... but not when card clients are skipped too", products, "/NoCardClients /NoProducts",
         "\n  Products ..\n  Cards .  2 Products imported successfully.\n  1 Card imported successfully.\n\nAll done.\n",
         [&](const Session& s, const std::string&) { EXPECT_EQ(counts(s), (V{0, 0, 0, 0, 0, 0, 0})); }},
        {"Factor 0 is written as 1, attendant Type 0 takes Enabled, the exported date comes back",
         "[Attendant04]\r\nNumber=4\r\nName=Al\r\nEnabled=2\r\nType=0\r\n"
         "[Client008]\r\nNumber=8\r\nName=F\r\nCardType=5\r\nParentID=4\r\nFactor=0\r\nExpirationDate=46000.25000\r\n",
         "",
         "\n  Attendants .\n  Cards .  1 Attendant imported successfully.\n  1 Card imported successfully.\n\nAll done.\n",
         [&](const Session& s, const std::string&) {
             EXPECT_EQ(AttendantType(s, 4), 2);
             Client c = ReadClient(s, 8);
             EXPECT_EQ(c.factor, 1);
             EXPECT_EQ(c.expiration, 46000.25);
             EXPECT_EQ(c.parent, 4);
         }},
        {"a parent loop is cut: the import ends, the rest of the file is written",
         "[Client001]\r\nNumber=1\r\nName=A\r\nCardType=4\r\nParentID=2\r\n"
         "[Client002]\r\nNumber=2\r\nName=B\r\nCardType=6\r\nParentID=1\r\n"
         "[Client009]\r\nNumber=9\r\nCardType=4\r\nParentID=9\r\n[Port01]\r\nNumber=1\r\n",
         "", "",
         [&](const Session& s, const std::string& output) {
             // The controller refuses a parent it does not hold: one report per client section.
             size_t reports = 0;
             for (size_t at = output.find("SetCardClientProperties failed."); at != std::string::npos;
                  at = output.find("SetCardClientProperties failed.", at + 1)) {
                 ++reports;
             }
             EXPECT_EQ(reports, 3u);
             EXPECT_NE(output.find("\n  Ports .\n\n  1 Port imported successfully.\n\nAll done.\n"), std::string::npos);
             EXPECT_EQ(counts(s), (V{1, 0, 0, 0, 0, 0, 0}));
         }},
    };
    int address = 1;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string host = "127.0.12." + std::to_string(address++);
        LiveServer server;
        ASSERT_TRUE(server.Start(host, ""));
        LiveRoot root;
        std::ofstream(root / "in.ini", std::ios::binary) << c.file;
        ToolRun run = RunKestrum(root, "IMPORT in.ini " + host + " " + c.options);
        EXPECT_EQ(run.status, 0);
        const std::string output = ImportOutput(run.output);
        if (!c.output.empty()) {
            EXPECT_EQ(output, c.output);
        }
        Session session(host);
        ASSERT_EQ(session.Result(), 0);
        c.check(session, output);
    }
}

class LiveRoundTripTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(demo_.Start("127.0.12.100", "--demo-site"));
        ToolRun run = RunKestrum(root_, "EXPORT demo.ini 127.0.12.100");
        ASSERT_EQ(run.status, 0) << run.output;
        demoFile_ = ReadFile(root_ / "demo.ini");
    }
    LiveServer demo_;
    LiveRoot root_;
    std::string demoFile_;
};

TEST_F(LiveRoundTripTest, ExportImportExportGivesTheSameConfiguration) {
    LiveServer empty;
    ASSERT_TRUE(empty.Start("127.0.12.101", ""));
    ToolRun imported = RunKestrum(root_, "IMPORT demo.ini 127.0.12.101");
    EXPECT_EQ(imported.status, 0);
    EXPECT_EQ(imported.output.find("failed"), std::string::npos) << imported.output;
    EXPECT_NE(imported.output.find("\n\n  3 Ports imported successfully.\n  4 Grades imported successfully.\n"
                                   "  4 Tanks imported successfully.\n  4 ZigBee devices imported successfully.\n"
                                   "  8 Pumps imported successfully.\n  2 Sensors imported successfully.\n"
                                   " 25 Products imported successfully.\n  6 Attendants imported successfully.\n"
                                   " 40 Cards imported successfully.\n\nAll done.\n"),
              std::string::npos)
        << imported.output;
    ToolRun again = RunKestrum(root_, "EXPORT again.ini 127.0.12.101");
    ASSERT_EQ(again.status, 0);
    const std::vector<std::string> before = ConfigurationLines(demoFile_);
    const std::vector<std::string> after = ConfigurationLines(ReadFile(root_ / "again.ini"));
    EXPECT_GT(before.size(), 500u);
    EXPECT_EQ(after, before);
}

// Each skip option writes nothing of its kind, except the parents of the card clients it writes.
TEST_F(LiveRoundTripTest, SkipOptionsOnImport) {
    const Ini demo(demoFile_);
    std::set<int32_t> productParents, attendantParents, allProducts, allAttendants;
    int clients = 0;
    for (const auto& section : demo.Sections()) {
        const int32_t parent = std::atoi(section["ParentID"].c_str());
        if (section.name.rfind("Client", 0) == 0) {
            ++clients;
            const std::string type = section["CardType"];
            if (type == "7" || type == "8") productParents.insert(parent);
            if (type == "5") attendantParents.insert(parent);
        }
        if (section.name.rfind("Product", 0) == 0) allProducts.insert(std::atoi(section.name.c_str() + 7));
        if (section.name.rfind("Attendant", 0) == 0) allAttendants.insert(std::atoi(section.name.c_str() + 9));
    }
    ASSERT_FALSE(productParents.empty());
    ASSERT_FALSE(attendantParents.empty());
    struct {
        const char* option;
        std::set<int32_t> products, attendants;
        int clients;
    } cases[] = {{"/NoProducts", productParents, allAttendants, clients},
                 {"/NoAttendants", allProducts, attendantParents, clients},
                 {"/NoCardClients", allProducts, allAttendants, 0}};
    int address = 110;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.option);
        const std::string host = "127.0.12." + std::to_string(address++);
        LiveServer server;
        ASSERT_TRUE(server.Start(host, ""));
        ToolRun run = RunKestrum(root_, std::string("IMPORT demo.ini ") + host + " " + c.option);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.output.find("failed"), std::string::npos) << run.output;
        // Skipped objects still count as imported.
        EXPECT_NE(run.output.find(" 25 Products imported successfully.\n  6 Attendants imported successfully.\n"
                                  " 40 Cards imported successfully."),
                  std::string::npos);
        Session s(host);
        ASSERT_EQ(s.Result(), 0);
        const auto products = s.ProductIds();
        const auto attendants = s.Ids(GetAttendantsCountMT, GetAttendantByOrdinalMT);
        EXPECT_EQ(std::set<int32_t>(products.begin(), products.end()), c.products);
        EXPECT_EQ(std::set<int32_t>(attendants.begin(), attendants.end()), c.attendants);
        EXPECT_EQ(int(s.Ids(GetCardClientsCountMT, GetCardClientByOrdinalMT).size()), c.clients);
        EXPECT_EQ(s.Ids(GetPumpsCountMT, GetPumpByOrdinalMT).size(), 8u);
    }
}

}  // namespace
