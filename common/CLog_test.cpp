// CLog against real files in a private temporary folder, with the tick counter and the clock
// replaced so that prefixes, time lines and flush delays are exact.
#include "common/CLog.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kVersion = "2.6.0.0";
constexpr const char* kStamp = "17/05/2023 08:05:09";  // the fake clock's start

CDate g_now;
CDate FakeNow() { return g_now; }

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteAll(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// A log that keeps every block handed to the hook and can write its start line on demand.
class CaptureLog : public CLog {
public:
    using CLog::CLog;
    using CLog::WriteStartLine;
    void Output(const char* text) override { blocks.emplace_back(text); }
    std::vector<std::string> blocks;
};

class CLogTest : public ::testing::Test {
protected:
    CLogTest() : ticks_([this] { return tick_; }) {}

    void SetUp() override {
        char pattern[] = "/tmp/clog_test_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        base_ = (dir_ / "Kestrum").string();
        ASSERT_TRUE(g_now.Parse("2023/05/17 08:05:09"));
        CLog::SetNowSource(&FakeNow);
    }
    void TearDown() override {
        CLog::SetNowSource(nullptr);
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    void AdvanceMs(uint32_t ms) { tick_ += ms; }
    void AdvanceSeconds(int seconds) {
        g_now.SetValue(g_now.Value() + seconds * CDate::FileTime2Seconds);
    }
    std::string L00() { return ReadAll(base_ + ".L00"); }
    std::string L01() { return ReadAll(base_ + ".L01"); }

    fs::path dir_;
    std::string base_;
    uint32_t tick_ = 1000;
    platform::ScopedTickSource ticks_;
};

TEST_F(CLogTest, PrefixesByTimeStampType) {
    const struct {
        int type;
        std::string first;
        std::string second;
    } cases[] = {
        {1, "    10ms hello 5", "    25ms again"},
        {2, std::string(kStamp) + " hello 5", std::string(kStamp) + " again"},
        {3, std::string(kStamp) + "     10ms hello 5", std::string(kStamp) + "     25ms again"},
        {0, "hello 5", "again"},
        {7, "hello 5", "again"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        fs::remove(base_ + ".L00");
        CLog log(base_.c_str(), kVersion, static_cast<CLog::TimeStampType>(c.type), 2048000, 10,
                 false, true);
        AdvanceMs(10);
        log.Write("hello %d", 5);
        AdvanceMs(25);
        log.Write("again");
        log.Flush();
        EXPECT_EQ(L00(), c.first + "\n" + c.second + "\n");
    }
}

TEST_F(CLogTest, TimeLineOnceAMinute) {
    {
        CLog log(base_.c_str(), kVersion, CLog::kElapsedTimeStamp, 2048000, 10, true, true);
        log.Write("a");
        AdvanceSeconds(59);
        log.Write("b");
        AdvanceSeconds(1);  // 60 s after the start line's time stamp
        log.Write("c");
        log.Write("d");
        AdvanceSeconds(60);
        log.Write("e");
        log.Flush();
        EXPECT_EQ(L00(), std::string(kStamp) + " ***START <2.6.0.0>\n"
                         "     0ms a\n"
                         "     0ms b\n"
                         "17/05/2023 08:06:09 ****TIME <2.6.0.0>\n"
                         "     0ms c\n"
                         "     0ms d\n"
                         "17/05/2023 08:07:09 ****TIME <2.6.0.0>\n"
                         "     0ms e\n");
    }
    fs::remove(base_ + ".L00");
    // Without version text there is no time line.
    CLog log(base_.c_str(), "", CLog::kElapsedTimeStamp, 2048000, 10, true, true);
    AdvanceSeconds(120);
    log.Write("x");
    log.Flush();
    EXPECT_EQ(L00(), "     0ms x\n");
}

TEST_F(CLogTest, LevelAndEnabledFiltering) {
    CLog log(base_.c_str(), kVersion, CLog::kNoTimeStamp, 2048000, 10, false, true);
    log.WriteLevel(0, "level 0");
    log.WriteLevel(1, "level 1");
    log.WriteLevel(2, "level 2");
    log.SetLevel(3);
    log.WriteLevel(3, "level 3 at 3");
    log.WriteLevel(4, "level 4 at 3");
    log.SetEnabled(false);
    log.Write("disabled");
    log.WriteError(1, "x", "disabled");
    log.WriteEvent(1, 1, 0, 0, "disabled");
    log.SetEnabled(true);
    log.Write("enabled");
    log.Flush();
    EXPECT_EQ(L00(), "level 0\nlevel 1\nlevel 3 at 3\nenabled\n");
}

TEST_F(CLogTest, ErrorLineWhateverTheTimeStampType) {
    for (const int type : {0, 1, 3}) {
        SCOPED_TRACE(type);
        fs::remove(base_ + ".L00");
        CLog log(base_.c_str(), kVersion, static_cast<CLog::TimeStampType>(type), 2048000, 10,
                 false, true);
        log.WriteError(42, "Export.cpp", "bad value %d", 7);
        log.WriteError(0, nullptr, "%s", "no source");
        log.Flush();
        EXPECT_EQ(L00(), std::string(kStamp) + " ***ERROR line 42 in <Export.cpp> bad value 7\n" +
                             kStamp + " ***ERROR line 0 in <> no source\n");
    }
}

TEST_F(CLogTest, EventRecords) {
    const std::string longText(200, 'e');
    const struct {
        int category, event, a, b;
        std::string text;
        std::string fields;  // the record after "<date-time>,"
    } cases[] = {
        {1, 2, 3, -4, "pump started", "PUMP,STRT,     3,    -4,\"pump started\""},
        {0, 0, 0, 0, "", "SRVC,INIT,     0,     0,\"\""},
        {99, -1, 1, 2, "x", "*UNK,*UNK,     1,     2,\"x\""},
        {17, 19, 1, 2, "x", "*UNK,*UNK,     1,     2,\"x\""},
        {5, 12, 0xABCDE, 7, "id", "VQID,VQER,0ABCDE,     7,\"id\""},
        {5, 1, -1, 0, "", "VQID,TERM,FFFFFFFF,     0,\"\""},
        {10, 5, 1, 1, "", "POS ,ADD ,     1,     1,\"\""},
        {11, 6, 1, 1, "", "ATG ,DEL ,     1,     1,\"\""},
        {15, 15, 1, 1, "", "MVC ,MVC,     1,     1,\"\""},
        {16, 13, 1234567, 1, "", "USER,MEM ,1234567,     1,\"\""},
        {14, 18, 1, 1, longText, "PROD,CLMT,     1,     1,\"" + std::string(80, 'e') + "\""},
    };
    CLog log(base_.c_str(), kVersion, CLog::kElapsedTimeStamp, 2048000, 10, false, true);
    std::string expected;
    for (const auto& c : cases) {
        log.WriteEvent(c.category, c.event, c.a, c.b, "%s", c.text.c_str());
        expected += std::string(kStamp) + "," + c.fields + "\n";
    }
    log.Flush();
    EXPECT_EQ(L00(), expected);
}

TEST_F(CLogTest, DumpRenderings) {
    const struct {
        const char* name;
        const char* prefix;
        std::vector<uint8_t> bytes;
        int number;
        int kind;
        std::string line;
    } cases[] = {
        {"digits as text", "RX", {0x02, 0x31, 0x32, 0x03}, 1, 1, "RX Len 004 msg 01 [02]\"12\"[03]"},
        {"hex bytes share a bracket", "", {0x02, 0x03, 0x31}, 12, 1, "Len 003 msg 12 [02 03]\"1\""},
        {"kind 2 text", nullptr, {'A', ' ', 0x01, 'C', '}', '~'}, 3, 2,
         "Len 006 msg 03 \"A \"[01]\"C}\"[7E]"},
        {"other kinds are all hex", "TX", {0x31, 0x41}, 0, 0, "TX Len 002 msg 00 [31 41]"},
        {"negative number left out", "TX", {0x05}, -1, 1, "TX Len 001 msg [05]"},
        {"empty", "", {}, -1, 1, "Len 000 msg "},
    };
    CLog log(base_.c_str(), kVersion, CLog::kNoTimeStamp, 2048000, 10, false, true);
    std::string expected;
    for (const auto& c : cases) {
        log.WriteDump(c.prefix, "msg", c.bytes.data(), static_cast<int>(c.bytes.size()), c.number,
                      c.kind);
        expected += c.line + "\n";
    }
    log.Flush();
    EXPECT_EQ(L00(), expected);
}

TEST_F(CLogTest, LongLinesAreCutAndKeepTheirNewline) {
    const std::string huge(5000, 'x');
    const std::vector<uint8_t> bytes(3000, 0x01);
    CaptureLog log(base_.c_str(), kVersion, CLog::kElapsedTimeStamp, 2048000, 10, false, true);
    log.Write("%s", huge.c_str());
    log.WriteError(1, huge.c_str(), "%s", huge.c_str());
    log.WriteEvent(1, 1, 1, 1, "%s", huge.c_str());
    log.WriteDump(huge.c_str(), huge.c_str(), bytes.data(), static_cast<int>(bytes.size()), 1, 0);
    log.WriteDump("", "", bytes.data(), static_cast<int>(bytes.size()), 1, 0);
    const std::string header(6000, 'h');  // a header longer than the whole buffer
    log.SetHeader(header.c_str());
    log.WriteStartLine();
    log.Write("after");
    log.Flush();

    const std::vector<std::string> lines = Lines(L00());
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0], "     0ms " + std::string(1023 - 9, 'x'));
    EXPECT_EQ(lines[1].size(), 1023u);
    EXPECT_EQ(lines[2], std::string(kStamp) + ",PUMP,TERM,     1,     1,\"" + std::string(80, 'x') + "\"");
    EXPECT_EQ(lines[3].size(), 1023u);
    EXPECT_EQ(lines[4].size(), 1023u);
    EXPECT_EQ(lines[4].substr(0, 22), "     0ms Len 3000  01 ");
    EXPECT_EQ(lines[5], header);
    EXPECT_EQ(lines[6], "     0ms after");
}

TEST_F(CLogTest, BufferReachesTheFileWhenFullOnFlushAndAtDestruction) {
    const std::string line99(99, 'b');
    {
        CaptureLog log(base_.c_str(), kVersion, CLog::kNoTimeStamp, 2048000, 10, false, true);
        log.SetHookOutput(true);
        for (int i = 0; i < 40; ++i) log.Write("%s", line99.c_str());  // 4000 bytes
        EXPECT_EQ(fs::file_size(base_ + ".L00"), 0u);
        log.Write("%s", std::string(95, 'c').c_str());  // exactly 4096: still fits
        EXPECT_EQ(fs::file_size(base_ + ".L00"), 0u);
        log.Write("d");  // would pass 4096: the buffer goes out first
        EXPECT_EQ(fs::file_size(base_ + ".L00"), 4096u);
        ASSERT_EQ(log.blocks.size(), 1u);
        EXPECT_EQ(log.blocks[0].size(), 4096u);

        AdvanceMs(499);
        log.Poll();
        EXPECT_EQ(fs::file_size(base_ + ".L00"), 4096u);
        AdvanceMs(1);
        log.Poll();  // 500 ms after the last line
        EXPECT_EQ(fs::file_size(base_ + ".L00"), 4098u);
        EXPECT_EQ(log.blocks.size(), 2u);

        log.Write("e");
        log.Flush();
        EXPECT_EQ(fs::file_size(base_ + ".L00"), 4100u);
        log.Write("pending at the end");
    }
    const std::vector<std::string> lines = Lines(L00());
    ASSERT_EQ(lines.size(), 45u);
    EXPECT_EQ(lines[43], "pending at the end");
    EXPECT_EQ(lines[44], std::string(kStamp) + " ****STOP <2.6.0.0>");
}

TEST_F(CLogTest, FileOutputOffKeepsLinesOutOfTheFile) {
    CaptureLog log(base_.c_str(), kVersion, CLog::kNoTimeStamp, 2048000, 10, false, true);
    log.Write("to the file");
    log.SetFileOutput(false);  // what was gathered still reaches the file
    log.Write("nowhere");      // no output on at all: dropped
    log.SetHookOutput(true);
    log.Write("hook only");
    log.Flush();
    EXPECT_EQ(L00(), "to the file\n");
    EXPECT_EQ(log.blocks, std::vector<std::string>{"hook only\n"});
}

// Rotation over the size limit: the moved file keeps the start line, a new .L00 begins, older
// archives shift up by one.
TEST_F(CLogTest, RotatesAtStartWhenOverTheLimit) {
    const std::string startLine = std::string(kStamp) + " ***START <2.6.0.0>\n";
    const uint32_t maxSize = 1000;
    for (const bool keepOpen : {true, false}) {
        for (const int extra : {0, 1}) {
            SCOPED_TRACE(::testing::Message() << "keepOpen " << keepOpen << " extra " << extra);
            const std::string old(maxSize - startLine.size() + extra, 'o');
            WriteAll(base_ + ".L00", old);
            WriteAll(base_ + ".L01", "older log\n");
            WriteAll(base_ + "L01.zip", "z1");
            WriteAll(base_ + "L02.zip", "z2");
            fs::remove(base_ + "L03.zip");
            {
                CLog log(base_.c_str(), kVersion, CLog::kNoTimeStamp, maxSize, 10, true, keepOpen);
                log.Write("first line");
            }
            const std::string stop = std::string(kStamp) + " ****STOP <2.6.0.0>\n";
            if (extra == 0) {  // exactly at the limit: no rotation
                EXPECT_EQ(L00(), old + startLine + "first line\n" + stop);
                EXPECT_EQ(L01(), "older log\n");
                EXPECT_EQ(ReadAll(base_ + "L01.zip"), "z1");
            } else {
                EXPECT_EQ(L01(), old + startLine);
                EXPECT_EQ(L00(), "first line\n" + stop);
                EXPECT_FALSE(fs::exists(base_ + "L01.zip"));
                EXPECT_EQ(ReadAll(base_ + "L02.zip"), "z1");
                EXPECT_EQ(ReadAll(base_ + "L03.zip"), "z2");
            }
        }
    }
}

TEST_F(CLogTest, EventRecordsRunTheSizeCheck) {
    CLog log(base_.c_str(), kVersion, CLog::kNoTimeStamp, 500, 2, true, true);
    for (int i = 0; i < 10; ++i) log.WriteEvent(1, 2, i, 0, "event %d", i);  // 54 bytes each
    const std::string moved = L01();
    ASSERT_FALSE(moved.empty());
    EXPECT_GT(moved.size(), 500u);
    EXPECT_EQ(moved.find(std::string(kStamp) + " ***START"), 0u);
    log.Flush();
    EXPECT_EQ(Lines(moved).size() + Lines(L00()).size(), 11u);  // nothing lost, nothing doubled
}

TEST_F(CLogTest, UnwritableFolderLosesTextSilently) {
    fs::create_directory(base_ + "dir.L00");  // a folder where the log file should be
    const std::string bases[] = {(dir_ / "no" / "such" / "Kestrum").string(), base_ + "dir"};
    for (const std::string& base : bases) {
        SCOPED_TRACE(base);
        for (const bool keepOpen : {true, false}) {
            CLog log(base.c_str(), kVersion, CLog::kElapsedTimeStamp, 10, 10, true, keepOpen);
            for (int i = 0; i < 200; ++i) log.Write("line %d %s", i, std::string(50, 'x').c_str());
            log.WriteEvent(1, 1, 1, 1, "event");
            log.WriteError(1, "here", "error");
            log.Flush();
            log.Poll();
            EXPECT_FALSE(log.IsOpen());
        }
    }
    EXPECT_FALSE(fs::exists(dir_ / "no"));
    EXPECT_TRUE(fs::is_directory(base_ + "dir.L00"));
    EXPECT_TRUE(fs::is_empty(base_ + "dir.L00"));
}

TEST_F(CLogTest, SeveralThreadsWriteWholeLines) {
    constexpr int kThreads = 4;
    constexpr int kLines = 500;
    {
        CLog log(base_.c_str(), kVersion, CLog::kNoTimeStamp, 2048000, 10, false, true);
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&log, t] {
                for (int i = 0; i < kLines; ++i) log.Write("thread %d line %04d ....", t, i);
            });
        }
        for (std::thread& thread : threads) thread.join();
    }
    const std::vector<std::string> lines = Lines(L00());
    ASSERT_EQ(lines.size(), kThreads * kLines + 1u);
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
        ASSERT_EQ(lines[i].size(), 23u) << lines[i];
    }
}

// The CE build: after a rotation the archiver zips .L01 into L01.zip and deletes .L01.
class CLogArchiverTest : public CLogTest {
protected:
    void SetUp() override {
        CLogTest::SetUp();
        fs::create_directory(dir_ / "root");
        fs::create_symlink(PELLIX_PATH, dir_ / "root" / "pellix");
        const char* previous = std::getenv("TALVORNE_ROOT");
        if (previous != nullptr) previous_ = previous;
        hadRoot_ = previous != nullptr;
        setenv("TALVORNE_ROOT", (dir_ / "root").c_str(), 1);
    }
    void TearDown() override {
        if (hadRoot_) setenv("TALVORNE_ROOT", previous_.c_str(), 1);
        else unsetenv("TALVORNE_ROOT");
        CLogTest::TearDown();
    }
    // Waits up to 10 s for .L01 to disappear.
    bool WaitForL01Gone() {
        for (int i = 0; i < 200 && fs::exists(base_ + ".L01"); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return !fs::exists(base_ + ".L01");
    }
    bool hadRoot_ = false;
    std::string previous_;
};

TEST_F(CLogArchiverTest, ArchivesTheMovedLogAndDeletesIt) {
    const std::string old(3000, 'o');
    WriteAll(base_ + ".L00", old + "\n");
    WriteAll(base_ + "L01.zip", "z1");
    EXPECT_EQ(CLog::ArchiverPath(), (dir_ / "root" / "pellix").string());
    {
        CLog log(base_.c_str(), kVersion, CLog::kNoTimeStamp, 2048, 10, true, true,
                 CLog::ArchiverPath().c_str());
        log.Write("new");
    }
    ASSERT_TRUE(WaitForL01Gone());
    const std::string zip = base_ + "L01.zip";
    ASSERT_TRUE(fs::exists(zip));
    EXPECT_EQ(ReadAll(base_ + "L02.zip"), "z1");
    EXPECT_EQ(std::system(("unzip -tq '" + zip + "' >/dev/null").c_str()), 0);
    const std::string extracted = (dir_ / "extracted").string();
    ASSERT_EQ(std::system(("unzip -p '" + zip + "' Kestrum.L01 >'" + extracted + "'").c_str()), 0);
    EXPECT_EQ(ReadAll(extracted), old + "\n" + kStamp + " ***START <2.6.0.0>\n");
}

// An archiver that cannot run, or that fails, must not cost the previous log.
TEST_F(CLogArchiverTest, KeepsTheMovedLogWhenTheArchiverCannotRunOrFails) {
    for (const char* archiver : {"absent", "/bin/false"}) {
        SCOPED_TRACE(archiver);
        fs::remove(base_ + ".L01");
        WriteAll(base_ + ".L00", std::string(3000, 'o'));
        const std::string path =
            archiver[0] == '/' ? std::string(archiver) : (dir_ / "root" / archiver).string();
        {
            CLog log(base_.c_str(), kVersion, CLog::kNoTimeStamp, 2048, 10, true, true,
                     path.c_str());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
        EXPECT_EQ(L01().substr(0, 3000), std::string(3000, 'o'));
        EXPECT_FALSE(fs::exists(base_ + "L01.zip"));
    }
}

}  // namespace
