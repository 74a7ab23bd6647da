// Kestrum's command line with the real libQuendril.so, against no server and against a real
// wyrlan. The tool's ports are fixed (5123, 5124), so each server gets a loopback address of its
// own (127.0.10.x for this suite).
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "live_fixture.h"

using namespace kestrum::testing;

namespace {

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

TEST(LiveTest, DeadAddressGivesSixTriesForImportAndOneForExport) {
    LiveRoot root;
    std::ofstream(root / "in.ini") << "[Port01]\r\nNumber=1\r\n";
    struct {
        const char* args;
        const char* mode;
        int tries;
    } cases[] = {{"IMPORT in.ini 127.0.10.250", "import", 6}, {"EXPORT out.ini 127.0.10.250", "export", 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        ToolRun run = RunKestrum(root, c.args);
        EXPECT_EQ(run.status, 255);
        auto lines = Lines(run.output);
        ASSERT_EQ(lines.size(), size_t(3 + c.tries + 1));
        const std::string connecting = std::string("Connecting to 127.0.10.250 for ") + c.mode + ".";
        EXPECT_EQ(lines[2], connecting);
        for (int i = 1; i <= c.tries; ++i) EXPECT_EQ(lines[2 + i], "Try " + std::to_string(i) + ", " + connecting);
        EXPECT_EQ(lines.back(), "Logon failed - The server cannot be reached.");
    }
    EXPECT_FALSE(std::filesystem::exists(root / "out.ini"));
    const std::string log = ReadFile(root / "log/Kestrum.L00");
    EXPECT_NE(log.find("Logon failed - -112."), std::string::npos);
    EXPECT_NE(log.find("Logon failed - The server cannot be reached."), std::string::npos);
}

// Each command line against one demo server: exit status, the last line printed, and what the
// written file holds.
TEST(LiveTest, ArgumentRulesAgainstARunningServer) {
    LiveServer server;
    ASSERT_TRUE(server.Start("127.0.10.1", "--demo-site"));
    struct Case {
        std::string args;
        int status;
        std::string lastLine;
        std::function<void(const Ini&)> check;  // of a.ini; null: no a.ini must exist
    };
    auto has = [](const Ini& ini, const std::string& section) { return ini.Find(section) != nullptr; };
    const Case cases[] = {
        {"a.ini 127.0.10.1", 0, "All done.",
         [&](const Ini& ini) {
             ASSERT_GE(ini.Sections().size(), 2u);
             EXPECT_EQ(ini.Sections()[1].name, "Port01");  // no fixed sections
             EXPECT_TRUE(has(ini, "Client001"));
         }},
        {"EXPORT a.ini overwritten 127.0.10.1", 0, "All done.", [&](const Ini& ini) { EXPECT_TRUE(has(ini, "Pump01")); }},
        {"version a.ini 127.0.10.1", 0, "All done.",
         [&](const Ini& ini) {
             EXPECT_TRUE(has(ini, "ZigBee05"));
             EXPECT_FALSE(has(ini, "Grade01"));
         }},
        {"VERSION EXPORT a.ini 127.0.10.1", 0, "All done.", [&](const Ini& ini) { EXPECT_FALSE(has(ini, "Pump01")); }},
        {"/company /IPT a.ini 127.0.10.1", 0, "All done.",
         [&](const Ini& ini) {
             ASSERT_TRUE(has(ini, "Protocol"));
             EXPECT_EQ((*ini.Find("Protocol"))["Name"], "PAM");
             EXPECT_TRUE(has(ini, "GSC"));
             EXPECT_TRUE(has(ini, "IPT"));
         }},
        {"/PAM /Company a.ini 127.0.10.1", 0, "All done.",
         [&](const Ini& ini) {
             ASSERT_TRUE(has(ini, "Protocol"));
             EXPECT_EQ((*ini.Find("Protocol"))["Name"], "Company");
             EXPECT_FALSE(has(ini, "GSC"));
         }},
        {"/nocardclients /NOPRODUCTS a.ini 127.0.10.1", 0, "All done.",
         [&](const Ini& ini) {
             EXPECT_FALSE(has(ini, "Client001"));
             EXPECT_FALSE(has(ini, "Product001"));
             EXPECT_TRUE(has(ini, "Attendant01"));
         }},
        {"IMPORT a.ini 127.0.10.1", 255, "Cannot read the configuration file a.ini.", nullptr},
        {"/PAM IMPORT", 255,
         "Kestrum IMPORT | EXPORT <destination INI file name> [<server name>|<server IP>] [/PAM | /Company] ", nullptr},
        {"a.ini", 255,
         "Kestrum IMPORT | EXPORT | VERSION <destination INI file name> [<server name>|<server IP>] [/PAM | /Company] ",
         nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        LiveRoot root;
        ToolRun run = RunKestrum(root, c.args);
        EXPECT_EQ(run.status, c.status);
        auto lines = Lines(run.output);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), c.lastLine);
        EXPECT_EQ(run.output.find("failed"), std::string::npos) << run.output;
        if (c.check) {
            c.check(Ini(ReadFile(root / "a.ini")));
        } else {
            EXPECT_FALSE(std::filesystem::exists(root / "a.ini"));
        }
    }
    // The session was logged on and off again each time: the log says nothing failed.
    LiveRoot root;
    ASSERT_EQ(RunKestrum(root, "EXPORT a.ini 127.0.10.1").status, 0);
    const std::string log = ReadFile(root / "log/Kestrum.L00");
    EXPECT_NE(log.find("loaded successfully"), std::string::npos);
    EXPECT_EQ(log.find("failed"), std::string::npos);
    EXPECT_TRUE(EndsWith(ReadFile(root / "a.ini"), "\r\n"));
}

}  // namespace
