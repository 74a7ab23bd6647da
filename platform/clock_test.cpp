#include "platform/clock.h"

#include <atomic>
#include <ctime>

#include <gtest/gtest.h>

#include "platform/oletime.h"

namespace platform {
namespace {

int64_t MsOf(const SYSTEMTIME& t) {
    FILETIME file{};
    EXPECT_TRUE(SystemTimeToFileTime(&t, &file));
    return static_cast<int64_t>(((uint64_t{file.dwHighDateTime} << 32) | file.dwLowDateTime) / 10000);
}

SYSTEMTIME HostLocalTime() {
    const time_t now = time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    SYSTEMTIME t{};
    t.wYear = static_cast<uint16_t>(local.tm_year + 1900);
    t.wMonth = static_cast<uint16_t>(local.tm_mon + 1);
    t.wDay = static_cast<uint16_t>(local.tm_mday);
    t.wHour = static_cast<uint16_t>(local.tm_hour);
    t.wMinute = static_cast<uint16_t>(local.tm_min);
    t.wSecond = static_cast<uint16_t>(local.tm_sec);
    return t;
}

TEST(Clock, SetLocalTimeKeepsAnOffset) {
    SYSTEMTIME before{};
    GetLocalTime(&before);
    EXPECT_NEAR(static_cast<double>(MsOf(before)), static_cast<double>(MsOf(HostLocalTime())), 2000);

    SYSTEMTIME wanted{2030, 6, 0, 15, 10, 20, 30, 0};
    ASSERT_TRUE(SetLocalTime(&wanted));
    SYSTEMTIME now{};
    GetLocalTime(&now);
    EXPECT_NEAR(static_cast<double>(MsOf(now)), static_cast<double>(MsOf(wanted)), 1000);
    EXPECT_EQ(now.wDayOfWeek, 6);  // 15 June 2030 is a Saturday
    // The host's own clock is untouched.
    EXPECT_LT(HostLocalTime().wYear, 2030);

    SYSTEMTIME invalid[] = {{2023, 13, 0, 1, 0, 0, 0, 0}, {2023, 4, 0, 31, 0, 0, 0, 0},
                            {2023, 1, 0, 1, 24, 0, 0, 0}, {2023, 1, 0, 1, 0, 0, 0, 1000}};
    for (const SYSTEMTIME& bad : invalid) EXPECT_FALSE(SetLocalTime(&bad));
    EXPECT_FALSE(SetLocalTime(nullptr));
    GetLocalTime(&now);
    EXPECT_EQ(now.wYear, 2030);  // a refused call leaves the offset alone

    const SYSTEMTIME host = HostLocalTime();
    ASSERT_TRUE(SetLocalTime(&host));
    GetLocalTime(&now);
    EXPECT_NEAR(static_cast<double>(MsOf(now)), static_cast<double>(MsOf(HostLocalTime())), 2000);
}

TEST(Clock, TickCountWrapsThroughTheSeam) {
    std::atomic<uint32_t> fake{0xFFFFFFF0u};
    {
        ScopedTickSource source([&] { return fake.load(); });
        const uint32_t start = GetTickCount();
        fake += 0x20;  // past 2^32
        EXPECT_EQ(GetTickCount(), 0x10u);
        EXPECT_EQ(static_cast<uint32_t>(GetTickCount() - start), 0x20u);
        {
            ScopedTickSource inner([] { return 7u; });
            EXPECT_EQ(GetTickCount(), 7u);
        }
        EXPECT_EQ(GetTickCount(), 0x10u);  // the outer source is back
    }
    // The monotonic clock again: two readings close together and moving forward.
    const uint32_t a = GetTickCount();
    const uint32_t b = GetTickCount();
    EXPECT_LT(static_cast<uint32_t>(b - a), 1000u);
    EXPECT_NE(a, 0x10u);
}

}  // namespace
}  // namespace platform
