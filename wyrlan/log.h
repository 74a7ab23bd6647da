// The server's log: one line per event to stderr, prefixed with the time. Single-threaded use
// (the server runs on one thread).
#pragma once

namespace wyrlan {

// Quiet: only LogError lines are written.
void SetLogQuiet(bool quiet);

void LogInfo(const char* format, ...) __attribute__((format(printf, 1, 2)));
void LogError(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace wyrlan
