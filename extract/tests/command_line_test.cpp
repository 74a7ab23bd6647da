// The built Kestrum and Kestrum-ce run with TALVORNE_ROOT at an empty directory: no client
// library, so every logon try fails with 65 and the report's text is empty.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tool_fixture.h"

using kestrum::testing::RunShell;
using kestrum::testing::TempRoot;
using kestrum::testing::ToolRun;

namespace {


ToolRun RunTool(const std::string& exe, const TempRoot& root, const std::vector<std::string>& args) {
    std::string command = "cd '" + root.Path() + "' && TALVORNE_ROOT='" + root.Path() + "' '" + exe + "'";
    for (const auto& arg : args) command += " '" + arg + "'";
    return RunShell(command + " 2>&1");
}

const std::string kUsageFirst =
    "Kestrum IMPORT | EXPORT | VERSION <destination INI file name> [<server name>|<server IP>] [/PAM | /Company] \n";
const std::string kUsageSecond =
    "Kestrum IMPORT | EXPORT <destination INI file name> [<server name>|<server IP>] [/PAM | /Company] \n";
const std::string kBanner = "Kestrum 2.6.0.0 - controller configuration export and import\n\n";

std::string Session(const std::string& server, const std::string& mode, int tries) {
    std::string text = kBanner + "Connecting to " + server + " for " + mode + ".\n";
    for (int i = 1; i <= tries; ++i) {
        text += "Try " + std::to_string(i) + ", Connecting to " + server + " for " + mode + ".\n";
    }
    return text + "Logon failed - .\n";
}

struct Case {
    std::vector<std::string> args;
    std::string output;
};

TEST(CommandLineTest, ArgumentRules) {
    const Case cases[] = {
        {{}, kUsageFirst},
        {{"only.ini"}, kUsageFirst},
        {{"/PAM", "IMPORT"}, kUsageSecond},
        {{"IMPORT", "/gsc", "/NoProducts"}, kUsageSecond},
        {{"a.ini", "server-b"}, Session("server-b", "export", 1)},
        {{"EXPORT", "a.ini", "s1", "s2"}, Session("s2", "export", 1)},
        {{"import", "a.ini"}, Session("127.0.0.1", "import", 6)},
        {{"VERSION", "IMPORT", "a.ini"}, Session("127.0.0.1", "import", 6)},
        {{"VERSION", "a.ini"}, Session("127.0.0.1", "export", 1)},
        {{"/NOCARDCLIENTS", "a.ini", "/company", "/IPT"}, Session("127.0.0.1", "export", 1)},
        {{"/unknown", "a.ini"}, Session("a.ini", "export", 1)},
    };
    for (const char* exe : {KESTRUM_EXE, KESTRUM_CE_EXE}) {
        for (const auto& c : cases) {
            std::string shown;
            for (const auto& a : c.args) shown += a + " ";
            SCOPED_TRACE(std::string(exe) + " " + shown);
            TempRoot root;
            ToolRun run = RunTool(exe, root, c.args);
            EXPECT_EQ(run.output, c.output);
            EXPECT_EQ(run.status, 255);  // -1
            // No run creates the file it was given.
            EXPECT_FALSE(std::filesystem::exists(root / "a.ini"));
        }
    }
}

TEST(CommandLineTest, EachBuildLogsAtItsOwnBase) {
    struct {
        const char* exe;
        const char* log;
    } builds[] = {{KESTRUM_EXE, "log/Kestrum.L00"}, {KESTRUM_CE_EXE, "Kestrum.L00"}};
    for (const auto& build : builds) {
        TempRoot root;
        std::filesystem::create_directory(root / "log");
        RunTool(build.exe, root, {"IMPORT", "a.ini"});
        const std::string log = kestrum::testing::ReadFile(root / build.log);
        EXPECT_NE(log.find("***START"), std::string::npos) << build.exe;
        EXPECT_NE(log.find("not found/loaded!!"), std::string::npos) << build.exe;
        EXPECT_NE(log.find("Logon failed - 65."), std::string::npos) << build.exe;
        EXPECT_NE(log.find("****STOP"), std::string::npos) << build.exe;
    }
    // Without a log folder the desktop build still runs; the log's text is lost.
    TempRoot bare;
    EXPECT_EQ(RunTool(KESTRUM_EXE, bare, {"a.ini"}).status, 255);
}

// With a library that logs on and takes every write, the run gets as far as the operation: its
// output and status are those of the export or import, after the one try line.
TEST(CommandLineTest, AfterLogonTheOperationDecidesTheStatus) {
    struct {
        std::vector<std::string> args;
        const char* file;  // written into the root first when not null
        std::string output;
        int status;
    } cases[] = {
        // A missing file: one line naming it, nothing created, -1.
        {{"IMPORT", "missing.ini"}, nullptr,
         "Connecting to 127.0.0.1 for import.\nTry 1, Connecting to 127.0.0.1 for import.\n"
         "Cannot read the configuration file missing.ini.\n",
         255},
        {{"IMPORT", "site.ini"}, "[Port03]\r\nNumber=3\r\n",
         "Connecting to 127.0.0.1 for import.\nTry 1, Connecting to 127.0.0.1 for import.\n"
         "\n  Ports .\n\n  1 Port imported successfully.\n\nAll done.\n",
         0},
        // The stand-in has no DllVersion: the export stops at its first call.
        {{"export", "out.ini", "host-x"}, nullptr,
         "Connecting to host-x for export.\nTry 1, Connecting to host-x for export.\nDllVersion failed. - Refused.\n",
         255},
    };
    for (const char* exe : {KESTRUM_EXE, KESTRUM_CE_EXE}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(exe) + " " + c.args[1]);
            TempRoot root;
            std::filesystem::create_symlink(KESTRUM_FAKE_RECORDER, root / "libQuendril.so");
            if (c.file != nullptr) std::ofstream(root / c.args[1], std::ios::binary) << c.file;
            ToolRun run = RunTool(exe, root, c.args);
            EXPECT_EQ(run.output, kBanner + c.output);
            EXPECT_EQ(run.status, c.status);
        }
        TempRoot root;
        std::filesystem::create_symlink(KESTRUM_FAKE_RECORDER, root / "libQuendril.so");
        RunTool(exe, root, {"IMPORT", "missing.ini"});
        EXPECT_FALSE(std::filesystem::exists(root / "missing.ini")) << exe;
    }
}

}  // namespace
