#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>

#include "time/ktime.hpp"

namespace kest {

namespace {
constexpr std::int32_t I1YEAR = 365;  // days in a common year
// Days before the first of each month, January to December, in a common year.
constexpr std::array<std::int32_t, 12> ID0 = {0,   31,  59,  90,  120, 151,
                                              181, 212, 243, 273, 304, 334};
constexpr std::int32_t ILEAP = 60;      // February 29 in a leap year, counting January 1 as 1
constexpr std::int32_t ICEN = 36524;    // days in a century whose first year is not leap
constexpr std::int32_t I4YEAR = 1461;   // days in 4 years with one leap day
constexpr std::int32_t I4CEN = 146097;  // days in 400 Gregorian years
constexpr std::int32_t DJ0 = -1;        // so that 2000 January 1 counts 0
}  // namespace

void ymd2j2(std::int32_t year, std::int32_t month, std::int32_t day, std::int32_t& count) {
  // Bring the month into 1..12, carrying whole years.
  const std::int64_t carry = floor_div(std::int64_t{month} - 1, 12);
  const std::int64_t mon = month - 12 * carry;
  std::int64_t j = year + carry - 1600;
  // Cycles of 400, 100 and 4 years since 1600.
  const std::int32_t N4CEN = static_cast<std::int32_t>(floor_div(j, 400));
  j = j - 400 * std::int64_t{N4CEN};
  const auto J400 = static_cast<std::int32_t>(j);  // year within the 400-year cycle
  const std::int32_t NCEN = J400 / 100;
  const std::int32_t JC = J400 - 100 * NCEN;
  const std::int32_t N4YEAR = JC / 4;
  const std::int32_t J = JC - 4 * N4YEAR;  // 0 for the leap year that opens the 4-year cycle
  // Day within the 4-year cycle, January 1 of its first year counting 1.
  std::int64_t c = std::int64_t{J} * I1YEAR + ID0[static_cast<std::size_t>(mon - 1)] + day;
  if (c > ILEAP || (c == ILEAP && mon == 3)) c = c + 1;
  if (NCEN > 0 && JC == 0 && mon <= 2) c = c + 1;
  c = c + std::int64_t{NCEN} * ICEN + std::int64_t{N4YEAR} * I4YEAR +
      (std::int64_t{N4CEN} - 1) * I4CEN + DJ0;
  count = static_cast<std::int32_t>(std::clamp<std::int64_t>(
      c, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

}  // namespace kest
