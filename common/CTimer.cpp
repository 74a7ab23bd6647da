#include "common/CTimer.h"

#include "platform/clock.h"

CTimer::CTimer() : start_(platform::GetTickCount()) {}

void CTimer::Destroy(bool free) {
    if (free) {
        delete this;
    } else {
        this->~CTimer();
    }
}

uint32_t CTimer::Restart() {
    start_ = platform::GetTickCount();
    return start_;
}

uint32_t CTimer::Elapsed() {
    const uint32_t now = platform::GetTickCount();
    if (start_ == 0 || now < start_) {
        start_ = now;
        return 0;
    }
    return now - start_;
}
