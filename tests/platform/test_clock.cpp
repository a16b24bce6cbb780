// Time services: the performance counter and millisecond clock, driven by a
// replaced clock or read from the system, and UTC system time.

#include "qvt/mmsystem.h"
#include "qvt/qvtsys.h"
#include "qvt/winbase.h"

#include <gtest/gtest.h>

#include <time.h>

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

namespace {

struct FakeClock {
    LONGLONG ticks = 0;
    int reads = 0;
};

LONGLONG readFake(void *user) {
    auto *clock = static_cast<FakeClock *>(user);
    ++clock->reads;
    return clock->ticks;
}

// Every test leaves the system clock in place, whatever it replaced.
class Clock : public testing::Test {
protected:
    void TearDown() override { QvtSetPerformanceClock(nullptr, 0, nullptr); }
};

LONGLONG monotonicNs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return LONGLONG{ts.tv_sec} * 1000000000 + ts.tv_nsec;
}

} // namespace

TEST_F(Clock, DrivenClockFeedsThePerformanceCounter) {
    FakeClock fake;
    fake.ticks = 123456789;
    QvtSetPerformanceClock(readFake, 10000000, &fake);

    LARGE_INTEGER frequency{};
    ASSERT_TRUE(QueryPerformanceFrequency(&frequency));
    EXPECT_EQ(frequency.QuadPart, 10000000);

    LARGE_INTEGER count{};
    ASSERT_TRUE(QueryPerformanceCounter(&count));
    EXPECT_EQ(count.QuadPart, 123456789);
    fake.ticks += 5;
    ASSERT_TRUE(QueryPerformanceCounter(&count));
    EXPECT_EQ(count.QuadPart, 123456794);
    EXPECT_EQ(fake.reads, 2);
}

TEST_F(Clock, ZeroFrequencyMeansThereIsNoCounter) {
    FakeClock fake;
    fake.ticks = 99;
    for (LONGLONG frequency : {LONGLONG{0}, LONGLONG{-5}}) {
        SCOPED_TRACE(frequency);
        QvtSetPerformanceClock(readFake, frequency, &fake);
        LARGE_INTEGER value;
        value.QuadPart = 1;
        EXPECT_FALSE(QueryPerformanceFrequency(&value));
        EXPECT_EQ(value.QuadPart, 0);
        value.QuadPart = 1;
        EXPECT_FALSE(QueryPerformanceCounter(&value));
        EXPECT_EQ(value.QuadPart, 0);
    }
    EXPECT_EQ(fake.reads, 0);
}

TEST_F(Clock, RestoredSystemCounterIsMonotonicNanoseconds) {
    FakeClock fake;
    QvtSetPerformanceClock(readFake, 0, &fake);
    QvtSetPerformanceClock(nullptr, 0, nullptr);

    LARGE_INTEGER frequency{};
    ASSERT_TRUE(QueryPerformanceFrequency(&frequency));
    EXPECT_EQ(frequency.QuadPart, 1000000000);

    // Bracketed by the system's own monotonic clock, read before and after.
    const LONGLONG before = monotonicNs();
    LARGE_INTEGER count{};
    ASSERT_TRUE(QueryPerformanceCounter(&count));
    const LONGLONG after = monotonicNs();
    EXPECT_LE(before, count.QuadPart);
    EXPECT_LE(count.QuadPart, after);
    EXPECT_EQ(fake.reads, 0);
}

TEST_F(Clock, MillisecondClockFollowsTheDrivenClock) {
    struct Case {
        LONGLONG frequency;
        LONGLONG ticks;
        DWORD ms;
    };
    const LONGLONG twoTo32 = LONGLONG{1} << 32;
    const Case cases[] = {
        {1000, 0, 0},
        {1000, 1234, 1234},
        {1000000000, 1500000000, 1500},
        {10000000, 29999, 2},  // rounds down
        {3, 10, 3333},
        {1000, twoTo32 + 7, 7},                   // wraps at 2^32 ms
        {1000000000, (twoTo32 + 7) * 1000000, 7},  // same, in nanoseconds
        // ticks * 1000 would not fit in 64 bits
        {1000000000, LONGLONG{1} << 62, DWORD((uint64_t{1} << 62) / 1000000)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE("frequency " + std::to_string(c.frequency) + ", ticks " +
                     std::to_string(c.ticks));
        FakeClock fake;
        fake.ticks = c.ticks;
        QvtSetPerformanceClock(readFake, c.frequency, &fake);
        EXPECT_EQ(timeGetTime(), c.ms);
    }
}

TEST_F(Clock, ElapsedMillisecondsSurviveTheWrap) {
    FakeClock fake;
    fake.ticks = (LONGLONG{1} << 32) - 5;  // 5 ms before the wrap, at 1 kHz
    QvtSetPerformanceClock(readFake, 1000, &fake);
    const DWORD start = timeGetTime();
    fake.ticks += 10;
    const DWORD end = timeGetTime();
    EXPECT_LT(end, start);
    EXPECT_EQ(DWORD(end - start), 10u);
}

TEST_F(Clock, SystemMillisecondClockIsMonotonicTime) {
    auto monotonicMs = [] { return DWORD(uint64_t(monotonicNs()) / 1000000); };
    const DWORD before = monotonicMs();
    const DWORD now = timeGetTime();
    const DWORD after = monotonicMs();
    EXPECT_LE(DWORD(now - before), DWORD(after - before));

    // A replaced clock without a counter leaves the millisecond clock alone.
    FakeClock fake;
    fake.ticks = 0;
    QvtSetPerformanceClock(readFake, 0, &fake);
    const DWORD before2 = monotonicMs();
    const DWORD now2 = timeGetTime();
    const DWORD after2 = monotonicMs();
    EXPECT_LE(DWORD(now2 - before2), DWORD(after2 - before2));
}

TEST_F(Clock, TimerPeriodZeroCannotBeRequested) {
    struct Case {
        UINT period;
        MMRESULT result;
    };
    const Case cases[] = {{0, TIMERR_NOCANDO}, {1, TIMERR_NOERROR}, {16, TIMERR_NOERROR}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.period);
        EXPECT_EQ(timeBeginPeriod(c.period), c.result);
        EXPECT_EQ(timeEndPeriod(c.period), c.result);
    }
    EXPECT_EQ(TIMERR_NOCANDO, 97);
}

TEST_F(Clock, MissingOutputsFail) {
    SetLastError(0);
    EXPECT_FALSE(QueryPerformanceFrequency(nullptr));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
    SetLastError(0);
    EXPECT_FALSE(QueryPerformanceCounter(nullptr));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
    GetSystemTime(nullptr);
}

namespace {

// Sets TZ for the life of the object, so that local time and UTC differ.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char *zone) {
        if (const char *old = std::getenv("TZ")) {
            previous_ = old;
        }
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ScopedTimeZone() {
        if (previous_) {
            setenv("TZ", previous_->c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

private:
    std::optional<std::string> previous_;
};

} // namespace

TEST(SystemTime, IsUtcWithOneBasedMonthAndSundayZero) {
    ScopedTimeZone zone("QVT-05:30");  // local time far from UTC
    const time_t before = time(nullptr);
    SYSTEMTIME st;
    GetSystemTime(&st);
    const time_t after = time(nullptr);

    tm fields{};
    fields.tm_year = st.wYear - 1900;
    fields.tm_mon = st.wMonth - 1;
    fields.tm_mday = st.wDay;
    fields.tm_hour = st.wHour;
    fields.tm_min = st.wMinute;
    fields.tm_sec = st.wSecond;
    const time_t reported = timegm(&fields);
    EXPECT_LE(before, reported);
    EXPECT_LE(reported, after);

    EXPECT_GE(st.wMonth, 1);
    EXPECT_LE(st.wMonth, 12);
    EXPECT_EQ(st.wDayOfWeek, fields.tm_wday) << "0 is Sunday";
    EXPECT_LT(st.wMilliseconds, 1000);
}

TEST(SystemTime, HeldAtAFixedTimeUntilReleased) {
    SYSTEMTIME fixed{};
    fixed.wYear = 2000, fixed.wMonth = 1, fixed.wDay = 1, fixed.wDayOfWeek = 6;
    fixed.wHour = 1, fixed.wMinute = 2, fixed.wSecond = 3, fixed.wMilliseconds = 4;
    QvtSetFixedSystemTime(&fixed);
    fixed.wHour = 9; // the time was copied
    SYSTEMTIME st;
    GetSystemTime(&st);
    EXPECT_EQ(st.wYear, 2000);
    EXPECT_EQ(st.wHour, 1);
    EXPECT_EQ(st.wMilliseconds, 4);
    QvtSetFixedSystemTime(nullptr);
    GetSystemTime(&st);
    EXPECT_GT(st.wYear, 2000);
}
