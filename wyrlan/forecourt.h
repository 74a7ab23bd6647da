// The hook for the forecourt model (pumps, deliveries, tank gauges).
//
// The model lives on the server's one event-loop thread: the server calls Tick() from a steady
// timer every kForecourtTick, and call handlers reach the same object through Services, so the
// model owns its live state without locks. To raise an event it encodes the EVENT frame once
// (MakeEvent) and hands it to Sessions::Publish, which applies each session's event mask and
// backlog bound. Nothing here may block: the loop serves every connection.
#pragma once

#include <chrono>
#include <functional>

#include "wyrlan/session.h"

namespace wire {
class ValueWriter;
}

namespace wyrlan {

class Sessions;

inline constexpr std::chrono::milliseconds kForecourtTick{100};

class Forecourt {
public:
    virtual ~Forecourt() = default;
    // Advances the model to `now`; may publish events through `sessions`.
    virtual void Tick(SteadyTime now, Sessions& sessions) = 0;
};

// No pumps yet: the model of the forecourt simulation replaces it.
class IdleForecourt final : public Forecourt {
public:
    void Tick(SteadyTime, Sessions&) override {}
};

// One EVENT frame of `kind` with `fieldCount` values written by `fill`; nullptr when the
// values written differ from `fieldCount` or the frame exceeds 1 MiB.
Frame MakeEvent(int16_t kind, uint32_t fieldCount, const std::function<void(wire::ValueWriter&)>& fill);

}  // namespace wyrlan
