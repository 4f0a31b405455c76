#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <string_view>

#include "time/ktime.hpp"
#include "textio/textio.hpp"

namespace kest {
namespace {

struct Date {
  std::int32_t year, month, day;
  bool operator==(const Date&) const = default;
};

Date date_of(std::int32_t jd) {
  Date d{};
  caldat(jd, d.month, d.day, d.year);
  return d;
}

// Worked calendar examples: the Julian/Gregorian switch of 1582, the years
// around the missing year zero and day number 0. Day numbers from the
// published Julian-day tables (2000 January 1 = 2451545).
struct DayRow {
  Date date;
  std::int32_t jd;
};
const DayRow kDays[] = {
    {{2000, 1, 1}, 2451545},   {{1582, 10, 15}, 2299161}, {{1582, 10, 4}, 2299160},
    {{1, 1, 1}, 1721424},      {{-1, 12, 31}, 1721423},   {{-1, 1, 1}, 1721058},
    {{-4713, 1, 1}, 0},        {{2000, 2, 29}, 2451604},  {{1900, 3, 1}, 2415080},
    {{1900, 2, 28}, 2415079},
    // Before day 0 the Julian calendar continues: -4714 is a common year.
    {{-4714, 12, 31}, -1},     {{-4714, 1, 1}, -365},     {{-4718, 12, 31}, -1462},
};

TEST(Calendar, JuldayAndCaldatOfKnownDates) {
  for (const DayRow& r : kDays) {
    EXPECT_EQ(julday(r.date.month, r.date.day, r.date.year), r.jd) << r.jd;
    EXPECT_EQ(date_of(r.jd), r.date) << r.jd;
  }
}

TEST(Calendar, JuldayRunsOnOverUncheckedMonthsAndDays) {
  EXPECT_EQ(julday(2, 30, 2000), julday(3, 1, 2000));  // leap year
  EXPECT_EQ(julday(2, 30, 2001), julday(3, 2, 2001));
  EXPECT_EQ(julday(13, 1, 2000), julday(1, 1, 2001));
  EXPECT_EQ(julday(0, 1, 2000), julday(12, 1, 1999));
  EXPECT_EQ(julday(1, 0, 2000), 2451544);
  // Extreme arguments stay within 32 bits instead of overflowing.
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
  EXPECT_EQ(julday(1, 1, kMax), kMax);
  EXPECT_EQ(julday(1, 1, kMin), kMin);
  EXPECT_EQ(julday(kMax, kMax, 1), kMax);
}

TEST(Calendar, YearZeroIsReportedAndTakenAsYearOne) {
  std::string screen;
  connect_output(6, string_sink(&screen));
  const std::int32_t jd = julday(1, 1, 0);
  flush_all();
  reset_units();
  EXPECT_EQ(jd, 1721424);
  EXPECT_EQ(screen, " julday ERROR: there is no year zero: Assume 1\n");
}

// Every day number from 0 on comes back through julday; below 0 as well,
// with valid dates in between (no month 0 or 13, no day 0).
TEST(Calendar, CaldatInvertsJuldayExhaustively) {
  Date prev = date_of(-3000001);
  for (std::int32_t n = -3000000; n <= 3000000; ++n) {
    const Date d = date_of(n);
    ASSERT_EQ(julday(d.month, d.day, d.year), n) << n;
    ASSERT_TRUE(d.month >= 1 && d.month <= 12 && d.day >= 1 && d.day <= 31) << n;
    ASSERT_NE(d.year, 0) << n;
    const bool next_day = d.day == prev.day + 1 && d.month == prev.month;
    const bool next_month =
        d.day == 1 && (d.month == prev.month + 1 || (d.month == 1 && prev.month == 12));
    ASSERT_TRUE(next_day || next_month || n == 2299161) << n;
    prev = d;
  }
}

TEST(Calendar, CaldatRoundTripsOverThe32BitRange) {
  std::mt19937 gen(20140610);
  std::uniform_int_distribution<std::int32_t> any(std::numeric_limits<std::int32_t>::min(),
                                                  std::numeric_limits<std::int32_t>::max());
  for (int i = 0; i < 200000; ++i) {
    const std::int32_t n = any(gen);
    const Date d = date_of(n);
    ASSERT_EQ(julday(d.month, d.day, d.year), n) << n;
  }
  for (std::int32_t n :
       {std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()}) {
    const Date d = date_of(n);
    EXPECT_EQ(julday(d.month, d.day, d.year), n) << n;
    EXPECT_TRUE(d.month >= 1 && d.month <= 12 && d.day >= 1 && d.day <= 31) << n;
  }
}

// caldate of the day numbers an ephemeris passes (days from J2000.0) and of
// full Julian dates. Dates and weekdays from the worked examples; 8000.3 is
// held in single precision as 8000.2998046875.
struct CaldateRow {
  float daynum;
  Date date;
  float fday;
  std::int32_t doy;
  std::string_view month, weekday;
};
const CaldateRow kCaldate[] = {
    {0.0f, {2000, 1, 1}, 0.5f, 1, "JAN", "SAT"},
    {2451545.0f, {2000, 1, 1}, 0.5f, 1, "JAN", "SAT"},
    {-0.5f, {2000, 1, 1}, 0.0f, 1, "JAN", "SAT"},
    {0.5f, {2000, 1, 2}, 0.0f, 2, "JAN", "SUN"},
    {59.0f, {2000, 2, 29}, 0.5f, 60, "FEB", "TUE"},
    {365.0f, {2000, 12, 31}, 0.5f, 366, "DEC", "SUN"},
    {366.0f, {2001, 1, 1}, 0.5f, 1, "JAN", "MON"},
    {8766.0f, {2024, 1, 1}, 0.5f, 1, "JAN", "MON"},
    {-36525.0f, {1899, 12, 31}, 0.5f, 365, "DEC", "SUN"},
    {8000.3f, {2021, 11, 26}, 0.7998046875f, 330, "NOV", "FRI"},
    {1219999.0f, {5340, 3, 30}, 0.5f, 90, "MAR", "WED"},   // still days from J2000.0
    {1220000.0f, {-1373, 3, 6}, 0.5f, 66, "MAR", "SAT"},   // a full Julian date
    // Julian dates below 0: the civil day is found by rounding down, so the
    // time since midnight stays in [0, 1).
    {-2451545.25f, {-4713, 1, 1}, 0.25f, 1, "JAN", "MON"},  // Julian date -0.25
    {-2451546.75f, {-4714, 12, 30}, 0.75f, 364, "DEC", "SAT"},  // Julian date -1.75
    // Regression: 0.99999997 of a day rounds to 1 in single precision; it
    // stays on its day as the largest fraction below 1.
    {0.49999997f, {2000, 1, 1}, 0.99999994f, 1, "JAN", "SAT"},
    // Not a number is Julian date 0.
    {std::numeric_limits<float>::quiet_NaN(), {-4713, 1, 1}, 0.5f, 1, "JAN", "MON"},
};

TEST(Calendar, CaldateBreaksDownDayNumbers) {
  for (const CaldateRow& r : kCaldate) {
    Date d{};
    float fday = -1.0f;
    std::int32_t doy = 0;
    FixedText<3> mon, wday;
    caldate(r.daynum, d.year, d.month, d.day, fday, doy, mon, wday);
    EXPECT_EQ(d, r.date) << r.daynum;
    EXPECT_EQ(fday, r.fday) << r.daynum;
    EXPECT_EQ(doy, r.doy) << r.daynum;
    EXPECT_EQ(mon.view(), r.month) << r.daynum;
    EXPECT_EQ(wday.view(), r.weekday) << r.daynum;
  }
}

// Day numbers far outside the calendar's use still give a valid breakdown.
TEST(Calendar, CaldateOfExtremeDayNumbersIsValid) {
  const float inf = std::numeric_limits<float>::infinity();
  for (float x : {inf, -inf, 3.0e38f, -3.0e38f, 2.1e9f, -2.1e9f, -1.0e7f}) {
    Date d{};
    float fday = -1.0f;
    std::int32_t doy = 0;
    FixedText<3> mon, wday;
    caldate(x, d.year, d.month, d.day, fday, doy, mon, wday);
    EXPECT_TRUE(d.month >= 1 && d.month <= 12 && d.day >= 1 && d.day <= 31) << x;
    EXPECT_TRUE(doy >= 1 && doy <= 366) << x;
    EXPECT_TRUE(fday >= 0.0f && fday < 1.0f) << x;
    EXPECT_EQ(julday(d.month, d.day, d.year), civil_day(x).JULIAN) << x;
  }
}

}  // namespace
}  // namespace kest
