#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "time/ktime.hpp"

namespace kest {
namespace {

std::int32_t count_of(std::int32_t year, std::int32_t month, std::int32_t day) {
  std::int32_t c = 0;
  ymd2j2(year, month, day, c);
  return c;
}

// Worked examples, including the non-leap century 1900 (whose missing
// February 29 counts as March 1).
struct Row {
  std::int32_t year, month, day, count;
};
const Row kRows[] = {
    {2000, 1, 1, 0},         {1999, 12, 31, -1},     {2000, 2, 29, 59},     {2000, 3, 1, 60},
    {2024, 1, 1, 8766},      {1600, 1, 1, -146097},  {2100, 3, 1, 36584},   {1900, 2, 28, -36466},
    {1900, 3, 1, -36465},    {1900, 2, 29, -36465},  {1700, 1, 1, -109572},
    // Before 1600 the Gregorian calendar continues (astronomical years).
    {1599, 12, 31, -146098}, {1582, 10, 15, -152384}, {0, 3, 1, -730425},
    // Months outside 1..12 carry into the year.
    {2000, 13, 1, 366},      {2000, 0, 31, -1},      {2000, -11, 1, -365},  {1999, 25, 1, 366},
};

TEST(DayCount, KnownDates) {
  for (const Row& r : kRows) {
    EXPECT_EQ(count_of(r.year, r.month, r.day), r.count) << r.year << '-' << r.month << '-' << r.day;
  }
}

// Every day from 1600 to 2400 against the Gregorian julday.
TEST(DayCount, AgreesWithJuldayFrom1600To2400) {
  const std::int32_t first = julday(1, 1, 1600);
  const std::int32_t last = julday(12, 31, 2400);
  for (std::int32_t jd = first; jd <= last; ++jd) {
    std::int32_t m = 0, d = 0, y = 0;
    caldat(jd, m, d, y);
    ASSERT_EQ(count_of(y, m, d), jd - 2451545) << y << '-' << m << '-' << d;
  }
}

// Before 1600, against an independent proleptic Gregorian count of days
// (eras of 400 years from March 1 of year 0).
std::int64_t civil_days(std::int64_t y, std::int64_t m, std::int64_t d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe;
}

TEST(DayCount, ContinuesTheGregorianCalendarBefore1600) {
  const std::int64_t base = civil_days(2000, 1, 1);
  for (std::int32_t y = -2000; y <= 1600; ++y)
    for (std::int32_t m = 1; m <= 12; ++m)
      for (std::int32_t d : {1, 28}) {
        ASSERT_EQ(count_of(y, m, d), civil_days(y, m, d) - base) << y << '-' << m << '-' << d;
      }
}

TEST(DayCount, ExtremeArgumentsStayIn32Bits) {
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
  EXPECT_EQ(count_of(kMax, 12, 31), kMax);
  EXPECT_EQ(count_of(kMin, 1, 1), kMin);
  EXPECT_EQ(count_of(2000, kMin, 1), kMin);
  EXPECT_EQ(count_of(2000, 1, kMax), kMax);
}

}  // namespace
}  // namespace kest
