// Detached helper threads and child processes for short-lived helpers.
#include "platform/process.h"

#include <cerrno>
#include <spawn.h>
#include <sys/wait.h>
#include <system_error>
#include <thread>

extern char** environ;

namespace platform {

bool StartThread(std::function<void()> work) {
    if (!work) return false;
    try {
        std::thread(std::move(work)).detach();
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

int StartProcess(const std::string& path, const std::vector<std::string>& args) {
    if (path.empty()) return -1;
    std::vector<char*> argv;
    argv.reserve(args.size() + 2);
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return -1;
    return static_cast<int>(pid);
}

bool ProcessRunning(int pid, int* exitCode) {
    if (exitCode) *exitCode = -1;
    if (pid <= 0) return false;
    int status = 0;
    pid_t result;
    do {
        result = waitpid(static_cast<pid_t>(pid), &status, WNOHANG);
    } while (result < 0 && errno == EINTR);
    if (result == 0) return true;  // still running
    // pid: reaped now; -1: not our child or already reaped
    if (result > 0 && exitCode && WIFEXITED(status)) *exitCode = WEXITSTATUS(status);
    return false;
}

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
    // The Windows rules: whitespace separates arguments outside double quotes; quotes group and
    // are removed; 2n backslashes before a quote give n backslashes and the quote delimits,
    // 2n + 1 give n backslashes and a literal quote; other backslashes stand as they are;
    // "" inside quotes gives a literal quote.
    std::vector<std::string> args;
    std::string current;
    bool inArgument = false, quoted = false;
    size_t i = 0;
    while (i < commandLine.size()) {
        const char c = commandLine[i];
        if (c == '\\') {
            size_t count = 0;
            while (i < commandLine.size() && commandLine[i] == '\\') {
                ++count;
                ++i;
            }
            inArgument = true;
            if (i < commandLine.size() && commandLine[i] == '"') {
                current.append(count / 2, '\\');
                if (count % 2 == 1) {
                    current.push_back('"');
                    ++i;
                }
            } else {
                current.append(count, '\\');
            }
            continue;
        }
        if (c == '"') {
            if (quoted && i + 1 < commandLine.size() && commandLine[i + 1] == '"') {
                current.push_back('"');
                ++i;
            } else {
                quoted = !quoted;
            }
            inArgument = true;
        } else if (!quoted && (c == ' ' || c == '\t' || c == '\n' || c == '\r')) {
            if (inArgument) {
                args.push_back(current);
                current.clear();
                inArgument = false;
            }
        } else {
            current.push_back(c);
            inArgument = true;
        }
        ++i;
    }
    if (inArgument) args.push_back(current);
    return args;
}

}  // namespace platform
