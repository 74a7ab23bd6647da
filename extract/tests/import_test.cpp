// The import (and the export's first steps) in process, against a stand-in controller that takes
// every write and records it.
#include <gtest/gtest.h>

#include <filesystem>

#include "tool_fixture.h"

using kestrum::testing::ReadFile;
using kestrum::testing::ToolFixture;

namespace {

struct ImportCase {
    const char* name;
    std::string file;
    bool noProducts = false;
    bool noAttendants = false;
    bool noCardClients = false;
    const char* failing = nullptr;  // entry point of the stand-in that answers -102
    std::string output;
    std::string trace;
};

class ImportTest : public ::testing::Test {
protected:
    ImportTest() : tool_(KESTRUM_FAKE_RECORDER) {}
    void SetUp() override {
        ASSERT_EQ(tool_.Logon(), 0);
        tool_.ResetTrace();
    }

    // Writes the file, runs the import; the status, with the output in `output`.
    int Import(const std::string& text, bool noProducts, bool noAttendants, bool noCardClients,
               std::string& output) {
        const std::string path = tool_.Root() / "site.ini";
        std::ofstream(path, std::ios::binary) << text;
        ::testing::internal::CaptureStdout();
        int status = ImportConfiguration(CStr(path.c_str()), noProducts, noAttendants, noCardClients);
        output = ::testing::internal::GetCapturedStdout();
        return status;
    }

    ToolFixture tool_;
};

TEST_F(ImportTest, SectionsAreWrittenDependenciesFirstAndCounted) {
    const ImportCase cases[] = {
        {"single port",
         "[Port03]\r\nNumber=3\r\nName=COM3\r\nProtocolID=2\r\nDeviceType=1\r\nSerialNo=S3\r\n",
         false, false, false, nullptr,
         "\n  Ports .\n\n  1 Port imported successfully.\n\nAll done.\n",
         "SetPortPropertiesMT(3,3,COM3,2,1,S3)\n"},
        {"tank gauge section imports its tank",
         "[Grade01]\r\nNumber=1\r\nName=G\r\nPrice01=1.5\r\nPrice03=2\r\n"
         "[Port05]\r\nNumber=5\r\nName=COM5\r\n[TankGauge05]\r\nPort=COM5\r\nProtocol=2\r\n"
         "[Tank05]\r\nNumber=5\r\nName=T5\r\nGrade=1\r\n",
         false, false, false, nullptr,
         "\n  Grades .\n  Ports .\n  Tanks ..\n\n  1 Port imported successfully.\n"
         "  1 Grade imported successfully.\n  2 Tanks imported successfully.\n\nAll done.\n",
         "SetGradePropertiesExMT(1,1,G,,,0)\nSetGradePriceMT(1,1,1.5)\nSetPortPropertiesMT(5,5,COM5,0,0,)\n"
         "SetTankPropertiesEx3MT(5,5,T5,1,0,0,0,0,0,0,0,0,0,0)\n"},
        {"pump before its slot device, tanks and grades",
         "[Application]\r\nName=x\r\n"
         "[Pump01]\r\nNumber=1\r\nSlot=6\r\nHose1ID=11\r\nHose1Tank=1\r\nHose1Price1=1.25\r\nHose1Enabled=1\r\n"
         "Hose2ID=12\r\nHose2Tank=0\r\n"
         "[ZigBee06]\r\nNumber=6\r\n[Tank01]\r\nNumber=1\r\nGrade=1\r\nSlotZigBeeID=6\r\n[Grade01]\r\nNumber=1\r\n",
         false, false, false, nullptr,
         "\n  Pumps *.\n  ZigBee devices.\n  Tanks .\n  Grades .  1 Grade imported successfully.\n"
         "  1 Tank imported successfully.\n  1 ZigBee device imported successfully.\n"
         "  1 Pump imported successfully.\n\nAll done.\n",
         "SetZigBeePropertiesMT(6,6,,0,,,0)\nSetPumpPropertiesExMT(1,1,,0,0,0,6,0)\n"
         "SetGradePropertiesExMT(1,1,,,,0)\nSetZigBeePropertiesMT(6,6,,0,,,0)\n"
         "SetTankPropertiesEx3MT(1,1,,1,0,0,0,0,0,0,6,0,0,0)\nSetHosePropertiesEx3MT(11,1,1,1,0,0,1.25,0,0,0,1)\n"
         "SetZigBeePropertiesMT(6,6,,0,,,0)\n"},
        {"section without leading zeros is looked up with them",
         "[Pump7]\r\nNumber=7\r\n", false, false, false, nullptr, "\n  Pumps .\nAll done.\n", ""},
        {"a tank whose grade is missing is not imported",
         "[Tank02]\r\nNumber=2\r\nGrade=9\r\n", false, false, false, nullptr, "\n  Tanks .\nAll done.\n", ""},
        {"a section numbered below 1 is passed over",
         "[Sensor04]\r\nNumber=0\r\n[Sensor05]\r\nNumber=5\r\nSlotZigBeeID=9\r\nSensorSerialNo=70000\r\n",
         false, false, false, nullptr,
         "\n  Sensors ..  1 Sensor imported successfully.\n\nAll done.\n",
         "SetSensorPropertiesExMT(5,5,,0,0,0,0,9,70000)\n"},
        {"attendant type 0 takes Enabled",
         "[Attendant04]\r\nNumber=4\r\nName=Al\r\nEnabled=2\r\nType=0\r\n", false, false, false, nullptr,
         "\n  Attendants .  1 Attendant imported successfully.\n\nAll done.\n",
         "SetAttendantPropertiesEx2MT(4,4,Al,2)\n"},
        {"product parent of a card client is written under /NoProducts",
         "[Product005]\r\nNumber=5\r\nName=Oil\r\nPrice1=2\r\n[Client003]\r\nNumber=3\r\nCardType=7\r\nParentID=5\r\n",
         true, false, false, nullptr,
         "\n  Products .\n  Cards .  1 Product imported successfully.\n  1 Card imported successfully.\n\nAll done.\n",
         "SetProductPropertiesExMT(5,5,Oil,2)\nSetCardClientPropertiesEx4MT(3,3,,7,0.00000,5,1)\n"},
        {"skip flags read and count without writing",
         "[Client003]\r\nNumber=3\r\nCardType=7\r\nParentID=5\r\n[Product005]\r\nNumber=5\r\n", false, false, true,
         nullptr, "\n  Cards .\n  Products .  1 Product imported successfully.\n  1 Card imported successfully.\n\nAll done.\n",
         "SetProductPropertiesExMT(5,5,,0)\n"},
        {"a parent loop is cut, the expiration date and Factor 0 pass as exported",
         "[Client001]\r\nNumber=1\r\nName=A\r\nCardType=4\r\nParentID=2\r\nFactor=0\r\nExpirationDate=45123.50000\r\n"
         "[Client002]\r\nNumber=2\r\nName=B\r\nCardType=6\r\nParentID=1\r\nFactor=3\r\n",
         false, false, false, nullptr, "\n  Cards ..  2 Cards imported successfully.\n\nAll done.\n",
         "SetCardClientPropertiesEx4MT(2,2,B,6,0.00000,1,3)\nSetCardClientPropertiesEx4MT(1,1,A,4,45123.50000,2,1)\n"
         "SetCardClientPropertiesEx4MT(1,1,A,4,45123.50000,2,1)\nSetCardClientPropertiesEx4MT(2,2,B,6,0.00000,1,3)\n"},
        {"a client that is its own parent",
         "[Client009]\r\nNumber=9\r\nCardType=4\r\nParentID=9\r\nExpirationDate=2030/01/02 00:00:00\r\n",
         false, false, false, nullptr, "\n  Cards .  1 Card imported successfully.\n\nAll done.\n",
         "SetCardClientPropertiesEx4MT(9,9,,4,47485.00000,9,1)\n"},
        {"a failed write is reported, its dependents fail without a second report of their own",
         "[Grade01]\r\nNumber=1\r\n[Tank02]\r\nNumber=2\r\nGrade=1\r\n[Port01]\r\nNumber=1\r\n", false, false, false,
         "SetGradePropertiesExMT",
         "\n  Grades SetGradeProperties failed. - Refused.\n.\n  Tanks SetGradeProperties failed. - Refused.\n."
         "\n  Ports .\n\n  1 Port imported successfully.\n\nAll done.\n",
         "SetGradePropertiesExMT(1,1,,,,0)\nResultString(-102)\nSetGradePropertiesExMT(1,1,,,,0)\n"
         "ResultString(-102)\nSetPortPropertiesMT(1,1,,0,0,)\n"},
        {"a failed port write has its own message",
         "[Port02]\r\nNumber=2\r\n", false, false, false, "SetPortPropertiesMT",
         "\n  Ports SetPortProperties failed - Refused.\n.\nAll done.\n",
         "SetPortPropertiesMT(2,2,,0,0,)\nResultString(-102)\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        tool_.ResetTrace();
        if (c.failing != nullptr) tool_.Fail(c.failing, -102);
        std::string output;
        EXPECT_EQ(Import(c.file, c.noProducts, c.noAttendants, c.noCardClients, output), 0);
        EXPECT_EQ(output, c.output);
        EXPECT_EQ(tool_.Trace(), c.trace);
    }
}

TEST_F(ImportTest, GradesBeyondTheFirst128AreWrittenAgainForEachTank) {
    std::string file;
    char section[40];
    for (int id = 1; id <= 130; ++id) {
        std::snprintf(section, sizeof section, "[Grade%02d]\r\nNumber=%d\r\n", id, id);
        file += section;
    }
    file += "[Tank01]\r\nNumber=1\r\nGrade=130\r\n[Tank02]\r\nNumber=2\r\nGrade=1\r\n[Tank03]\r\nNumber=3\r\nGrade=130\r\n";
    std::string output;
    ASSERT_EQ(Import(file, false, false, false, output), 0);
    const std::string trace = tool_.Trace();
    auto count = [&](const std::string& call) {
        int n = 0;
        for (size_t at = trace.find(call); at != std::string::npos; at = trace.find(call, at + 1)) ++n;
        return n;
    };
    EXPECT_EQ(count("SetGradePropertiesExMT(130,"), 3);  // its section, then once per tank
    EXPECT_EQ(count("SetGradePropertiesExMT(1,1,"), 1);   // recorded: never again
    EXPECT_EQ(count("SetTankPropertiesEx3MT("), 3);
    EXPECT_NE(output.find("3 Tanks imported successfully."), std::string::npos);
}

TEST_F(ImportTest, MissingOrUnreadableFileIsOneLineAndStatusMinusOne) {
    const std::string missing = tool_.Root() / "missing.ini";
    const std::string directory = tool_.Root() / "log";
    for (const std::string& path : {missing, directory}) {
        ::testing::internal::CaptureStdout();
        EXPECT_EQ(ImportConfiguration(CStr(path.c_str()), false, false, false), -1);
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Cannot read the configuration file " + path + ".\n");
    }
    EXPECT_FALSE(std::filesystem::exists(missing));
    EXPECT_EQ(tool_.Trace(), "");
}

TEST_F(ImportTest, BadInputNeverCrashes) {
    std::string file = "[Port01]\r\nNumber=1\r\nName=" + std::string(3000, 'A') + "\r\n";
    const char binary[] = "\x01\xff[Grade\0\r\n[Pump99999999999999]\r\nNumber=1\r\n";
    file += std::string(binary, sizeof binary - 1);
    file += "[Client005]\r\nNumber=5\r\nCardType=4\r\nParentID=5\r\n[Client005]\r\nNumber=5\r\n";
    file += "[Tank";  // cut off
    std::string output;
    EXPECT_EQ(Import(file, false, false, false, output), 0);
    EXPECT_NE(output.find("All done."), std::string::npos);
}

TEST_F(ImportTest, ExportStoppedAtDllVersionKeepsTheFirstKeysOnly) {
    const std::string path = tool_.Root() / "out.ini";
    std::ofstream(path) << "old content\n";
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(ExportConfiguration(CStr(path.c_str()), false, false, false, false, false, false, false), -1);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "DllVersion failed. - Refused.\n");
    const auto lines = kestrum::testing::Lines(ReadFile(path));
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "");
    EXPECT_EQ(lines[1], "[Application]");
    EXPECT_EQ(lines[2], "Name=Wyrlan service configuration");
    EXPECT_EQ(lines[3], "IniVersion=2.6.0.0");
    EXPECT_EQ(lines[4].rfind("DateGenerated=", 0), 0u);
}

}  // namespace
