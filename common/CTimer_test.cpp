// CTimer on a substituted tick counter; CPtr counting and CElement chain destruction.
#include "common/CTimer.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "platform/clock.h"

namespace {

class FakeTicks {
public:
    FakeTicks() : guard_([this] { return tick; }) {}
    uint32_t tick = 1000;

private:
    platform::ScopedTickSource guard_;
};

TEST(CTimerTest, ElapsedAcrossTheCounter) {
    const struct {
        const char* name;
        uint32_t start;
        uint32_t now;
        uint32_t elapsed;   // Elapsed() at `now`
        uint32_t next;
        uint32_t elapsedNext;  // Elapsed() at `next` after that
    } cases[] = {
        {"plain", 1000, 1250, 250, 1350, 350},
        {"same tick", 5000, 5000, 0, 5100, 100},
        {"counter wraps after a reading", 0xFFFFFF00u, 0xFFFFFFF0u, 0xF0u, 0x54u, 0},
        {"wrapped below the start", 0xFFFFFF00u, 0x10u, 0, 0x74u, 100},
        {"start tick 0", 0, 500, 0, 600, 100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeTicks ticks;
        ticks.tick = c.start;
        CTimer timer;
        EXPECT_EQ(timer.StartTick(), c.start);
        ticks.tick = c.now;
        EXPECT_EQ(timer.Elapsed(), c.elapsed);
        ticks.tick = c.next;
        EXPECT_EQ(timer.Elapsed(), c.elapsedNext);
    }
}

TEST(CTimerTest, RestartCountsFromZeroAgain) {
    FakeTicks ticks;
    CTimer timer;
    ticks.tick = 4000;
    EXPECT_EQ(timer.Elapsed(), 3000u);
    EXPECT_EQ(timer.Restart(), 4000u);
    EXPECT_EQ(timer.Elapsed(), 0u);
    ticks.tick = 4010;
    EXPECT_EQ(timer.Elapsed(), 10u);
}

TEST(CTimerTest, RealCounterStartsNearZero) {
    CTimer timer;
    EXPECT_LT(timer.Elapsed(), 1000u);
}

// An element that counts its destructions.
struct Probe : CElement<Probe, Probe> {
    explicit Probe(int* destroyed) : destroyed_(destroyed) {}
    ~Probe() override { ++*destroyed_; }
    void Destroy(bool free) override {
        if (free) delete this;
        else this->~Probe();
    }
    int* destroyed_;
};

TEST(CPtrTest, UseCountFollowsTheLinksAndNeverGoesBelowZero) {
    int destroyed = 0;
    Probe element(&destroyed);
    Probe other(&destroyed);
    EXPECT_EQ(element.UseCount(), 0);
    {
        CPtr<Probe> a(&element);
        CPtr<Probe> b = a;
        EXPECT_EQ(element.UseCount(), 2);
        b = &other;  // moves one link to the other element
        EXPECT_EQ(element.UseCount(), 1);
        EXPECT_EQ(other.UseCount(), 1);
        a.Release();
        EXPECT_TRUE(a.IsEmpty());
        EXPECT_EQ(element.UseCount(), 0);
        a.Release();  // releasing an empty link changes nothing
        a = &element;
        a = &element;  // setting the same element again does not count twice
        EXPECT_EQ(element.UseCount(), 1);
    }  // links release on destruction
    EXPECT_EQ(element.UseCount(), 0);
    EXPECT_EQ(other.UseCount(), 0);
    EXPECT_EQ(destroyed, 0);  // releasing never frees
}

TEST(CElementTest, DestroyingTheHeadDestroysTheWholeChain) {
    for (const int length : {1, 2, 5, 200000}) {  // the long chain must not exhaust the stack
        SCOPED_TRACE(length);
        int destroyed = 0;
        Probe* head = new Probe(&destroyed);
        Probe* tail = head;
        for (int i = 1; i < length; ++i) {
            Probe* next = new Probe(&destroyed);
            tail->Next() = next;
            next->Back() = tail;
            tail = next;
        }
        if (length > 1) {
            EXPECT_EQ(tail->UseCount(), 1);
        }
        head->Destroy(true);
        EXPECT_EQ(destroyed, length);
    }
}

TEST(CElementTest, TimersChainAndFreeThroughSlotZero) {
    CTimer* head = new CTimer;
    head->Next() = new CTimer;
    head->Next()->Next() = new CTimer;
    EXPECT_EQ(head->Self(), head);
    head->Destroy(true);  // the sanitizer build reports anything left behind
}

}  // namespace
