#include "platform/DateTime.h"

#include "support/ScopedEnvironment.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>

namespace {

class DateTimeTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        m_environment.reset();
        tzset();
    }
    static void useZone(const char* zone)
    {
        setenv("TZ", zone, 1);
        tzset();
    }

    std::optional<ScopedEnvironment> m_environment{std::in_place, std::initializer_list<const char*>{"TZ"}};
};

TEST_F(DateTimeTest, CountsLocalDaysFrom1899)
{
    useZone("UTC");
    EXPECT_DOUBLE_EQ(DateTimeFromUnix(0), 25569.0);
    EXPECT_DOUBLE_EQ(DateTimeFromUnix(43200), 25569.5);
    EXPECT_DOUBLE_EQ(DateTimeFromUnix(0, 500'000'000), 25569.0 + 0.5 / 86400);
    // Before 1899-12-30 the fraction still counts forward: 1899-12-29 06:00 is -1.25.
    const int64_t before = -2209161600LL - 86400 + 6 * 3600;
    EXPECT_DOUBLE_EQ(DateTimeFromUnix(before), -1.25);
    EXPECT_EQ(UnixFromDateTime(-1.25), before);
    useZone("Asia/Taipei");
    EXPECT_DOUBLE_EQ(DateTimeFromUnix(0), 25569.0 + 8.0 / 24);
    EXPECT_EQ(DateTimeText(DateTimeFromUnix(0)), "1970/01/01 08:00:00");
}

TEST_F(DateTimeTest, RoundTripsAndRounds)
{
    useZone("Europe/Berlin");  // with summer time
    for (int64_t t : {0LL, 951782400LL, 1711846800LL, 1729994400LL, 4102444800LL}) {
        EXPECT_EQ(UnixFromDateTime(DateTimeFromUnix(t)), t) << t;
        EXPECT_EQ(UnixFromDateTime(DateTimeFromUnix(t, 600'000'000)), t + 1) << t;
    }
    EXPECT_EQ(DateTimeText(DateTimeFromUnix(1711846800)), "2024/03/31 03:00:00");
    // The hour that repeats when summer time ends names two instants: either is right.
    const int64_t repeated = UnixFromDateTime(DateTimeFromUnix(1729990800));
    EXPECT_TRUE(repeated == 1729990800 || repeated == 1729990800 - 3600) << repeated;
    // Rounding up to midnight moves to the next day.
    EXPECT_EQ(DateTimeText(45000.0 + 86399.9996 / 86400), "2023/03/16 00:00:00");
    EXPECT_EQ(DateTimeText(45000.0), "2023/03/15 00:00:00");
    EXPECT_NEAR(NowDateTime(), DateTimeFromUnix(std::time(nullptr)), 2.0 / 86400);
}

}  // namespace
