// Local time with a process-wide offset, and the 32-bit tick counter with its test seam.
#include "platform/clock.h"

#include <atomic>
#include <ctime>
#include <mutex>
#include <utility>

#include "platform/oletime.h"

namespace platform {
namespace {

constexpr int64_t kTicksPerMs = 10000;

// Milliseconds added to the host's local time (set by SetLocalTime).
std::atomic<int64_t> g_offsetMs{0};

std::mutex& TickLock() {
    static std::mutex lock;
    return lock;
}

std::function<uint32_t()>& TickSource() {
    static std::function<uint32_t()> source;
    return source;
}

// The host's local time without the offset, as milliseconds since 1601.
bool HostLocalMs(int64_t& ms) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    if (localtime_r(&now.tv_sec, &local) == nullptr) return false;
    SYSTEMTIME fields{};
    fields.wYear = static_cast<uint16_t>(local.tm_year + 1900);
    fields.wMonth = static_cast<uint16_t>(local.tm_mon + 1);
    fields.wDay = static_cast<uint16_t>(local.tm_mday);
    fields.wHour = static_cast<uint16_t>(local.tm_hour);
    fields.wMinute = static_cast<uint16_t>(local.tm_min);
    fields.wSecond = static_cast<uint16_t>(local.tm_sec > 59 ? 59 : local.tm_sec);  // leap second
    fields.wMilliseconds = static_cast<uint16_t>(now.tv_nsec / 1000000);
    FILETIME file{};
    if (!SystemTimeToFileTime(&fields, &file)) return false;
    ms = static_cast<int64_t>(((static_cast<uint64_t>(file.dwHighDateTime) << 32) | file.dwLowDateTime) /
                              kTicksPerMs);
    return true;
}

}  // namespace

void GetLocalTime(SYSTEMTIME* out) {
    if (out == nullptr) return;
    int64_t ms = 0;
    if (HostLocalMs(ms)) {
        ms += g_offsetMs.load();
        if (ms >= 0) {
            const uint64_t ticks = static_cast<uint64_t>(ms) * kTicksPerMs;
            FILETIME file{static_cast<uint32_t>(ticks), static_cast<uint32_t>(ticks >> 32)};
            if (FileTimeToSystemTime(&file, out)) return;
        }
    }
    *out = SYSTEMTIME{1601, 1, 1, 1, 0, 0, 0, 0};  // the clock could not be read
}

bool SetLocalTime(const SYSTEMTIME* in) {
    if (in == nullptr) return false;
    if (in->wMonth < 1 || in->wMonth > 12 || in->wDay < 1 ||
        in->wDay > 31 || in->wHour >= 24 || in->wMinute >= 60 || in->wSecond >= 60 ||
        in->wMilliseconds >= 1000) {
        return false;
    }
    // The day must exist in its month: the clock is not set to 31 April.
    SYSTEMTIME check{};
    FILETIME file{};
    if (!SystemTimeToFileTime(in, &file) || !FileTimeToSystemTime(&file, &check) ||
        check.wDay != in->wDay) {
        return false;
    }
    int64_t hostMs = 0;
    if (!HostLocalMs(hostMs)) return false;
    const int64_t wanted = static_cast<int64_t>(
        ((static_cast<uint64_t>(file.dwHighDateTime) << 32) | file.dwLowDateTime) / kTicksPerMs);
    g_offsetMs.store(wanted - hostMs);
    return true;
}

uint32_t GetTickCount() {
    {
        std::lock_guard<std::mutex> guard(TickLock());
        if (TickSource()) return TickSource()();
    }
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u +
                        static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
}

ScopedTickSource::ScopedTickSource(std::function<uint32_t()> source) {
    std::lock_guard<std::mutex> guard(TickLock());
    previous_ = std::exchange(TickSource(), std::move(source));
}

ScopedTickSource::~ScopedTickSource() {
    std::lock_guard<std::mutex> guard(TickLock());
    TickSource() = std::move(previous_);
}

}  // namespace platform
