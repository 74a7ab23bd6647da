// Thread and process start for short-lived helpers (the log archiver).
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace platform {

// Starts `work` on a new detached thread. False when no thread could be started.
bool StartThread(std::function<void()> work);

// Starts `path` with `args` (argv[1..]) as a separate process. Returns its pid, or -1.
int StartProcess(const std::string& path, const std::vector<std::string>& args);

// True while the process runs; reaps it once it has ended (false then, and for unknown pids).
// When it returns false and `exitCode` is given, *exitCode is the process's exit status, or -1
// when it was killed by a signal or is not a child of this process.
bool ProcessRunning(int pid, int* exitCode = nullptr);

// Splits a Windows-style command line ("-Q -C \"a b\" c") into arguments, with the Windows
// rules for quotes: quotes group and are removed, \" is a literal quote, 2n backslashes before a
// quote give n backslashes, "" inside quotes is a literal quote.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);

}  // namespace platform
