#include "wyrlan/log.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <sys/time.h>

namespace wyrlan {
namespace {

bool quiet = false;

void Write(const char* level, const char* format, va_list args) {
    timeval tv{};
    gettimeofday(&tv, nullptr);
    tm local{};
    localtime_r(&tv.tv_sec, &local);
    char stamp[32];
    strftime(stamp, sizeof stamp, "%H:%M:%S", &local);
    char line[1024];
    vsnprintf(line, sizeof line, format, args);
    std::fprintf(stderr, "wyrlan %s.%03ld %s %s\n", stamp, static_cast<long>(tv.tv_usec / 1000), level, line);
}

}  // namespace

void SetLogQuiet(bool q) { quiet = q; }

void LogInfo(const char* format, ...) {
    if (quiet) return;
    va_list args;
    va_start(args, format);
    Write("info", format, args);
    va_end(args);
}

void LogError(const char* format, ...) {
    va_list args;
    va_start(args, format);
    Write("error", format, args);
    va_end(args);
}

}  // namespace wyrlan
