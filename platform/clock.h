// The local clock and the millisecond tick counter. Every function may be called from any thread.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/wintypes.h"

namespace platform {

// The computer's local time (C library local time), to the millisecond, plus the offset that
// SetLocalTime established for this process.
void GetLocalTime(SYSTEMTIME* out);

// Makes GetLocalTime report `time` from now on. The host's own clock is never changed: the
// difference is kept as a process-wide offset. Returns false for an invalid time.
bool SetLocalTime(const SYSTEMTIME* in);

// Milliseconds since an arbitrary start, on the monotonic clock, wrapping at 2^32 (49.7 days).
uint32_t GetTickCount();

// Test seam: replaces the tick source until the guard is destroyed; guards nest, each restoring
// the source it replaced. The source runs under the seam's lock and must not call GetTickCount.
class ScopedTickSource {
public:
    explicit ScopedTickSource(std::function<uint32_t()> source);
    ~ScopedTickSource();
    ScopedTickSource(const ScopedTickSource&) = delete;
    ScopedTickSource& operator=(const ScopedTickSource&) = delete;

private:
    std::function<uint32_t()> previous_;
};

}  // namespace platform
