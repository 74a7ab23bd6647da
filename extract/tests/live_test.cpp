// Kestrum with the real libQuendril.so, against no server and against a real wyrlan. The tool's
// ports are fixed (5123, 5124), so each server gets a loopback address of its own.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tool_fixture.h"

using kestrum::testing::Lines;
using kestrum::testing::ReadFile;
using kestrum::testing::TempRoot;

namespace {

// TALVORNE_ROOT with the real client library and a log folder.
class LiveRoot : public TempRoot {
public:
    LiveRoot() {
        std::filesystem::create_directory(*this / "log");
        std::filesystem::create_symlink(KESTRUM_QUENDRIL, *this / "libQuendril.so");
    }
};

// wyrlan on `address` with the tool's ports and a fresh demo site; stopped with the object.
class LiveServer {
public:
    explicit LiveServer(const std::string& address) : address_(address) {
        const std::string db = root_ / "wyrlan.db";
        pid_ = fork();
        if (pid_ == 0) {
            execl(KESTRUM_WYRLAN, KESTRUM_WYRLAN, "--db", db.c_str(), "--listen", address.c_str(), "--call-port",
                  "5123", "--events-port", "5124", "--demo-site", "--quiet", static_cast<char*>(nullptr));
            _exit(127);
        }
        for (int i = 0; i < 100 && !Listening(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ~LiveServer() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    bool Listening() const {
        int s = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(5123);
        inet_pton(AF_INET, address_.c_str(), &to.sin_addr);
        bool ok = connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0;
        close(s);
        return ok;
    }

private:
    TempRoot root_;
    std::string address_;
    pid_t pid_ = -1;
};

std::string RunKestrum(const TempRoot& root, const std::string& args, int& status) {
    // Sanitizer builds: the client library's logon leaves one allocation of the sanitizer runtime
    // behind; it is the library's, not the tool's (the tool's own runs are checked without it).
    std::ofstream(root / "lsan.supp") << "leak:libubsan\n";
    std::string command = "cd '" + root.Path() + "' && LSAN_OPTIONS=suppressions='" + (root / "lsan.supp") +
                          "' TALVORNE_ROOT='" + root.Path() + "' '" KESTRUM_EXE "' " + args + " 2>>kestrum.stderr";
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
    int raw = pclose(pipe);
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return output;
}

TEST(LiveTest, DeadAddressGivesSixTriesForImportAndOneForExport) {
    LiveRoot root;
    struct {
        const char* args;
        int tries;
    } cases[] = {{"IMPORT in.ini 127.0.0.201", 6}, {"EXPORT out.ini 127.0.0.201", 1}};
    for (const auto& c : cases) {
        int status = 0;
        auto lines = Lines(RunKestrum(root, c.args, status));
        EXPECT_EQ(status, 255);
        ASSERT_EQ(lines.size(), size_t(3 + c.tries + 1)) << c.args;
        EXPECT_EQ(lines[3], "Try 1, " + lines[2]);
        EXPECT_EQ(lines.back().rfind("Logon failed - ", 0), 0u);
        EXPECT_GT(lines.back().size(), std::string("Logon failed - .").size());  // the library's text
    }
    EXPECT_FALSE(std::filesystem::exists(root / "in.ini"));
}

TEST(LiveTest, ExportLogsOnAndWritesTheVersions) {
    LiveServer server("127.0.0.202");
    ASSERT_TRUE(server.Listening());
    LiveRoot root;
    int status = 0;
    auto lines = Lines(RunKestrum(root, "EXPORT site.ini 127.0.0.202", status));
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[3], "Try 1, Connecting to 127.0.0.202 for export.");
    const std::string file = ReadFile(root / "site.ini");
    EXPECT_NE(file.find("\r\nClientVersion="), std::string::npos);
    EXPECT_NE(file.find("\r\nServerVersion="), std::string::npos);
    const std::string log = ReadFile(root / "log/Kestrum.L00");
    EXPECT_NE(log.find("loaded successfully"), std::string::npos);
    EXPECT_EQ(log.find("Logon failed"), std::string::npos);
    EXPECT_EQ(log.find("SetClientType failed"), std::string::npos);
}

}  // namespace
