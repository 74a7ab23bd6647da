#include "platform/process.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <future>
#include <sstream>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

namespace platform {
namespace {

bool WaitForExit(int pid) {
    for (int i = 0; i < 500; ++i) {
        if (!ProcessRunning(pid)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

TEST(Process, StartAndWait) {
    const int pid = StartProcess("/bin/true", {});
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(WaitForExit(pid));
    EXPECT_FALSE(ProcessRunning(pid));  // already reaped
    EXPECT_FALSE(ProcessRunning(-1));
    EXPECT_FALSE(ProcessRunning(0));
}

TEST(Process, ArgumentsArriveAsGiven) {
    char pattern[] = "/tmp/platform_process_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string out = std::string(pattern) + "/out";
    const int pid = StartProcess("/bin/sh", {"-c", "printf '%s|%s' \"$1\" \"$2\" > \"$0\"", out,
                                             "a b", "\"q\""});
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(WaitForExit(pid));
    std::ifstream in(out);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), "a b|\"q\"");
    unlink(out.c_str());
    rmdir(pattern);
}

TEST(Process, MissingProgramFails) {
    EXPECT_EQ(StartProcess("/nonexistent/pellix", {"-Q"}), -1);
    EXPECT_EQ(StartProcess("", {}), -1);
}

TEST(Process, ThreadRunsDetached) {
    std::promise<int> done;
    std::future<int> result = done.get_future();
    ASSERT_TRUE(StartThread([&done] { done.set_value(42); }));
    ASSERT_EQ(result.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(result.get(), 42);
    EXPECT_FALSE(StartThread(nullptr));
}

TEST(Process, SplitCommandLine) {
    struct Case {
        const char* line;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"-Q -C \"/r/log/KestrumL01.zip\" \"/r/log/Kestrum.L01\"",
         {"-Q", "-C", "/r/log/KestrumL01.zip", "/r/log/Kestrum.L01"}},
        {"-Q -C \"a b\" c", {"-Q", "-C", "a b", "c"}},
        {"  a\t b  ", {"a", "b"}},
        {"", {}},
        {"\"\"", {""}},
        {"x\"y z\"w", {"xy zw"}},
        {"a\\\"b", {"a\"b"}},
        {"\"a\\\\\" b", {"a\\", "b"}},
        {"a\\b\\\\c", {"a\\b\\\\c"}},
        {"\"x\"\"y\"", {"x\"y"}},
        {"\"open end", {"open end"}},
    };
    for (const Case& c : cases) EXPECT_EQ(SplitCommandLine(c.line), c.expected) << c.line;
}

}  // namespace
}  // namespace platform
