#include "wyrlan/testing/server_process.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>

#ifndef WYRLAN_BINARY
#error "WYRLAN_BINARY must name the wyrlan executable (set by the talvorne::wyrlan_testing target)"
#endif

namespace wyrlan {
namespace {

using Clock = std::chrono::steady_clock;

bool MakeAddress(const std::string& address, uint16_t port, sockaddr_in& out) {
    std::memset(&out, 0, sizeof out);
    out.sin_family = AF_INET;
    out.sin_port = htons(port);
    return inet_pton(AF_INET, address.c_str(), &out.sin_addr) == 1;
}

// A port that is free on `address` right now: bind to port 0, read it back, close.
uint16_t FreePort(const std::string& address) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return 0;
    sockaddr_in sa;
    uint16_t port = 0;
    if (MakeAddress(address, 0, sa) && bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0) {
        socklen_t len = sizeof sa;
        if (getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len) == 0) port = ntohs(sa.sin_port);
    }
    close(fd);
    return port;
}

bool Accepts(const std::string& address, uint16_t port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in sa;
    bool ok = MakeAddress(address, port, sa) &&
              connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
    close(fd);
    return ok;
}

}  // namespace

ServerProcess::ServerProcess() = default;

ServerProcess::~ServerProcess() {
    if (pid_ > 0) Stop();
    if (!dir_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
}

bool ServerProcess::Start(const std::string& address, std::vector<std::string> extraArgs) {
    if (pid_ > 0) return false;
    address_ = address;
    extraArgs_ = std::move(extraArgs);
    if (dir_.empty()) {
        std::string pattern = (std::filesystem::temp_directory_path() / "wyrlan-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) return false;
        dir_ = pattern;
        dbPath_ = dir_ + "/wyrlan.db";
    }
    if (fixedCallPort_ != 0 && fixedEventsPort_ != 0) {
        callPort_ = fixedCallPort_;
        eventsPort_ = fixedEventsPort_;
        return Restart();
    }
    for (int attempt = 0; attempt < 8; ++attempt) {
        callPort_ = FreePort(address_);
        eventsPort_ = FreePort(address_);
        if (callPort_ == 0 || eventsPort_ == 0) return false;
        if (callPort_ == eventsPort_) continue;
        if (!Launch()) return false;
        if (WaitUntilListening()) return true;
        // It died (most likely a port was taken in the meantime) or hung: try other ports.
        if (pid_ > 0) Kill();
    }
    return false;
}

void ServerProcess::UseFixedPorts(uint16_t callPort, uint16_t eventsPort) {
    fixedCallPort_ = callPort;
    fixedEventsPort_ = eventsPort;
}

bool ServerProcess::Restart() {
    if (pid_ > 0 || callPort_ == 0) return false;
    // The old ports may linger briefly; a server that cannot bind exits, so try a few times.
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (!Launch()) return false;
        if (WaitUntilListening()) return true;
        if (pid_ > 0) Kill();
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return false;
}

bool ServerProcess::Launch() {
    std::vector<std::string> args = {WYRLAN_BINARY,
                                     "--db", dbPath_,
                                     "--listen", address_,
                                     "--call-port", std::to_string(callPort_),
                                     "--events-port", std::to_string(eventsPort_)};
    args.insert(args.end(), extraArgs_.begin(), extraArgs_.end());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        // Only async-signal-safe calls from here on. Close everything the test holds open
        // (client sockets above all) so the server never keeps a test's connection alive.
        syscall(SYS_close_range, 3u, ~0u, 0u);
        execv(argv[0], argv.data());
        _exit(127);
    }
    pid_ = pid;
    return true;
}

bool ServerProcess::WaitUntilListening() {
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < deadline) {
        if (Reap(0) != -2) return false;  // it exited
        if (Accepts(address_, callPort_) && Accepts(address_, eventsPort_)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

int ServerProcess::Reap(int waitMs) {
    if (pid_ <= 0) return -1;
    const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
        int status = 0;
        pid_t r = waitpid(pid_, &status, WNOHANG);
        if (r == pid_) {
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        if (r < 0 && errno != EINTR) {
            pid_ = -1;
            return -1;
        }
        if (Clock::now() >= deadline) return -2;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

int ServerProcess::Stop() {
    if (pid_ <= 0) return -1;
    kill(pid_, SIGTERM);
    int code = Reap(10000);
    if (code == -2) {
        kill(pid_, SIGKILL);
        Reap(10000);
        return -1;
    }
    return code;
}

bool ServerProcess::Kill() {
    if (pid_ <= 0) return false;
    kill(pid_, SIGKILL);
    Reap(10000);
    return true;
}

bool ServerProcess::Running() { return Reap(0) == -2; }

}  // namespace wyrlan
