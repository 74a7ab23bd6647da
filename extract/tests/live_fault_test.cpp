// Kestrum against servers that die half-way, and against damaged files. The export and import of
// the large generated site take long enough to kill the server in the middle of them: the test
// waits until the file (export) or the output (import) has grown past a mark, then kills it.
// Servers on 127.0.13.x.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "live_fixture.h"

using namespace kestrum::testing;

namespace {

const std::string kClosed = " - The connection to the server was closed.";

off_t FileSize(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? info.st_size : 0;
}

size_t Occurrences(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// The sum of the import's summary counts ("%3d <kind> imported successfully.").
int ImportedTotal(const std::string& output) {
    int total = 0;
    for (const std::string& line : Lines(output)) {
        if (line.find(" imported successfully.") != std::string::npos) total += std::atoi(line.c_str());
    }
    return total;
}

// One large site for the suite, and its complete export as the reference.
class LiveFaultTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        large_ = new LiveServer;
        ASSERT_TRUE(large_->Start("127.0.13.1", "--generate-site large"));
        root_ = new LiveRoot;
        ToolRun run = RunKestrum(*root_, "EXPORT large.ini 127.0.13.1");
        ASSERT_EQ(run.status, 0) << run.output;
        reference_ = new std::string(ReadFile(*root_ / "large.ini"));
    }
    static void TearDownTestSuite() {
        delete large_;
        delete root_;
        delete reference_;
        large_ = nullptr;
        root_ = nullptr;
        reference_ = nullptr;
    }
    void SetUp() override { ASSERT_NE(reference_, nullptr); }

    static LiveServer* large_;
    static LiveRoot* root_;
    static std::string* reference_;
};
LiveServer* LiveFaultTest::large_ = nullptr;
LiveRoot* LiveFaultTest::root_ = nullptr;
std::string* LiveFaultTest::reference_ = nullptr;

TEST_F(LiveFaultTest, ServerKilledDuringTheExportStopsItWithTheFailedCall) {
    const std::string path = *root_ / "partial.ini";
    BackgroundRun run(*root_, "EXPORT partial.ini 127.0.13.1", "export.out");
    const off_t mark = off_t(reference_->size() * 2 / 5);
    ASSERT_TRUE(WaitFor([&] { return FileSize(path) > mark; }));
    ASSERT_TRUE(large_->Kill());
    EXPECT_EQ(run.Wait(), 255);
    const std::vector<std::string> lines = Lines(run.Output());
    ASSERT_FALSE(lines.empty());
    // The report of the one call that failed ends the output.
    EXPECT_EQ(Occurrences(run.Output(), "failed."), 1u);
    const std::string last = lines.back().substr(lines.back().find_first_not_of('.'));
    const std::string tail = " failed." + kClosed;
    EXPECT_TRUE(last.rfind("Get", 0) == 0 && last.size() > tail.size() &&
                last.compare(last.size() - tail.size(), tail.size(), tail) == 0)
        << last;

    // The file holds what was written before: a beginning of the complete export.
    const std::vector<std::string> partial = ConfigurationLines(ReadFile(path));
    const std::vector<std::string> full = ConfigurationLines(*reference_);
    ASSERT_GT(partial.size(), 100u);
    ASSERT_LT(partial.size(), full.size());
    EXPECT_TRUE(std::equal(partial.begin(), partial.end(), full.begin()));
    EXPECT_EQ(ReadFile(path).back(), '\n');
    ASSERT_TRUE(large_->Restart());
}

TEST_F(LiveFaultTest, ServerKilledDuringTheImportReportsEveryFailedWriteAndARerunCompletesIt) {
    LiveServer target;
    ASSERT_TRUE(target.Start("127.0.13.2", ""));
    int objectSections = 0;
    const Ini reference(*reference_);
    for (const auto& section : reference.Sections()) objectSections += section.name != "Application";

    BackgroundRun run(*root_, "IMPORT large.ini 127.0.13.2", "import.out");
    // The output is written in blocks: the first one arrives after some thousand sections.
    ASSERT_TRUE(WaitFor([&] { return !run.Output().empty(); }));
    ASSERT_TRUE(target.Kill());
    EXPECT_EQ(run.Wait(), 0);
    const std::string output = run.Output();
    EXPECT_TRUE(output.size() > 12 && output.compare(output.size() - 11, 11, "\nAll done.\n") == 0);
    // Every section after the kill was reported once (a dependent that failed with its parent
    // has no report of its own, but its parent's stands for it) and not counted.
    const size_t reports = Occurrences(output, kClosed);
    EXPECT_GT(reports, 1000u);
    EXPECT_EQ(Occurrences(output, "failed."), reports);
    EXPECT_EQ(ImportedTotal(output) + int(reports), objectSections);

    // Again against the restarted server: nothing fails, and the controller holds the whole file.
    ASSERT_TRUE(target.Restart());
    ToolRun again = RunKestrum(*root_, "IMPORT large.ini 127.0.13.2");
    EXPECT_EQ(again.status, 0);
    EXPECT_EQ(again.output.find("failed"), std::string::npos);
    EXPECT_EQ(ImportedTotal(again.output), objectSections);
    ToolRun exported = RunKestrum(*root_, "EXPORT copy.ini 127.0.13.2");
    ASSERT_EQ(exported.status, 0);
    EXPECT_TRUE(ConfigurationLines(ReadFile(*root_ / "copy.ini")) == ConfigurationLines(*reference_));
}

struct BadFile {
    const char* name;
    std::string file;
    std::string output;  // after the logon lines; empty: not compared
    void (*check)(const Session&);
};

std::string PortName(const Session& s, int32_t id, int32_t* protocol) {
    int32_t number = 0;
    int16_t type = 0;
    Out name, serial;
    if (GetPortPropertiesMT(s.Handle(), id, &number, &name, protocol, &type, &serial) != 0) return "<none>";
    return name.Str();
}

TEST(LiveBadFileTest, DamagedFilesAreReadAsFarAsTheyGo) {
    using namespace std::string_literals;
    const BadFile cases[] = {
        {"lines longer than 1023 characters are read in pieces, each a line of its own",
         "[Port01]\r\nNumber=1\r\nName=" + std::string(1100, 'N') + "\r\n;" + std::string(1022, 'x') +
             "ProtocolID=7\r\n",
         "\n  Ports .\n\n  1 Port imported successfully.\n\nAll done.\n",
         [](const Session& s) {
             int32_t protocol = 0;
             EXPECT_EQ(PortName(s, 1, &protocol), std::string(1018, 'N'));
             EXPECT_EQ(protocol, 7);
         }},
        {"binary bytes", "\x01\xff\xfe\r\n[Port03]\r\nNumber=3\r\nName=A\x01\xff\x80"s + "B\r\nProtocolID=2\r\n\0\0x\r\n"s,
         "",
         [](const Session& s) {
             int32_t protocol = 0;
             EXPECT_NE(PortName(s, 3, &protocol), "<none>");
             EXPECT_EQ(protocol, 2);
         }},
        {"missing sections: a tank without its grade, a hose without its tank",
         "[Tank02]\r\nNumber=2\r\nGrade=9\r\n[Port01]\r\nNumber=1\r\n"
         "[Pump04]\r\nNumber=4\r\nPortID=1\r\nHose1ID=1\r\nHose1Tank=4\r\n",
         "\n  Tanks .\n  Ports .\n  Pumps .\n\n  1 Port imported successfully.\n\nAll done.\n",
         [](const Session& s) {
             EXPECT_TRUE(s.Ids(GetTanksCountMT, GetTankByOrdinalMT).empty());
             int32_t hoses = -1;
             EXPECT_EQ(GetPumpHosesCountMT(s.Handle(), 4, &hoses), 0);
             EXPECT_EQ(hoses, 0);
         }},
        {"duplicate sections: the first one is read each time; a recorded grade is not written again",
         "[Port02]\r\nNumber=2\r\nName=First\r\n[Port02]\r\nNumber=2\r\nName=Second\r\n"
         "[Grade01]\r\nNumber=1\r\nName=G\r\n[Grade01]\r\nNumber=1\r\nName=H\r\n",
         "\n  Ports ..\n  Grades ..\n\n  2 Ports imported successfully.\n  2 Grades imported successfully.\n\nAll done.\n",
         [](const Session& s) {
             int32_t protocol = 0;
             EXPECT_EQ(PortName(s, 2, &protocol), "First");
             EXPECT_EQ(s.Ids(GetGradesCountMT, GetGradeByOrdinalMT).size(), 1u);
         }},
        {"a file cut off in a header", "[Port01]\r\nNumber=1\r\n[Tank",
         "\n  Ports .\n\n  1 Port imported successfully.\n\nAll done.\n",
         [](const Session& s) { EXPECT_EQ(s.Ids(GetPortsCountMT, GetPortByOrdinalMT).size(), 1u); }},
        {"no sections at all", "\xff\xfe\0garbage\r\n=\r\n[]\r\n"s, "\nAll done.\n",
         [](const Session& s) { EXPECT_TRUE(s.Ids(GetPortsCountMT, GetPortByOrdinalMT).empty()); }},
    };
    int address = 10;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string host = "127.0.13." + std::to_string(address++);
        LiveServer server;
        ASSERT_TRUE(server.Start(host, ""));
        LiveRoot root;
        std::ofstream(root / "in.ini", std::ios::binary) << c.file;
        ToolRun run = RunKestrum(root, "IMPORT in.ini " + host);
        EXPECT_EQ(run.status, 0);
        const std::string output = run.output.substr(run.output.find('\n', run.output.find("Try 1,")) + 1);
        if (!c.output.empty()) {
            EXPECT_EQ(output, c.output);
        }
        EXPECT_NE(output.find("All done."), std::string::npos);
        Session session(host);
        ASSERT_EQ(session.Result(), 0);
        c.check(session);
    }
}

}  // namespace
