// CTimer: elapsed milliseconds on the system's 32-bit millisecond tick counter.
//
// The counter wraps after about 49.7 days; a timer that sees the counter below its start tick
// restarts and counts from that moment. A timer is also a list element (CElement<CTimer,CTimer>).
// Not thread-safe: one timer belongs to one thread at a time.
#pragma once

#include <cstdint>

#include "common/CElement.h"

class CTimer : public CElement<CTimer, CTimer> {
public:
    // Starts the timer at the current tick.
    CTimer();
    ~CTimer() override = default;

    // Destroys the timer; frees it (it was made with new) when `free` is true.
    void Destroy(bool free) override;

    // Starts again at the current tick; returns that tick.
    uint32_t Restart();

    // Milliseconds since the start tick. When the start tick is 0, or the counter has wrapped
    // below it, the timer restarts and 0 is returned.
    uint32_t Elapsed();

    uint32_t StartTick() const { return start_; }

private:
    uint32_t start_;
};
