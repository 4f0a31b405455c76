#include <cassert>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "math/kmath.hpp"
#include "time/ktime.hpp"

namespace kest {

namespace {
// Julian dates beyond this bound are held at it, so that every day number
// and the January 1 of its year stay within 32 bits.
constexpr double FULLJD_BOUND = 2.0e9;
}  // namespace

CivilDay civil_day(float daynum) {
  double FULLJD = 0.0;
  if (daynum < FULL_JD_FROM) {
    FULLJD = static_cast<double>(daynum) + DJBASE;  // days from J2000.0
  } else {
    FULLJD = daynum;  // a full Julian date
  }
  if (!(std::fabs(FULLJD) <= FULLJD_BOUND)) {
    FULLJD = std::isnan(FULLJD) ? 0.0 : std::copysign(FULLJD_BOUND, FULLJD);
  }
  // A Julian date begins at noon: move to the civil day, which begins at
  // midnight, and the time since that midnight. Rounding down is truncation
  // for dates from 0 on and keeps the time of day in [0, 1) below 0.
  const double whole = std::floor(FULLJD);
  CivilDay c{static_cast<std::int32_t>(whole), (FULLJD - whole) + 0.5};
  if (c.FDDAY >= 1.0) {
    c.FDDAY = c.FDDAY - 1.0;
    c.JULIAN = c.JULIAN + 1;
  }
  return c;
}

void caldate(float daynum, std::int32_t& year, std::int32_t& month, std::int32_t& day,
             float& fday, std::int32_t& doy, FixedText<3>& monthname, FixedText<3>& weekday) {
  const auto [JULIAN, FDDAY] = civil_day(daynum);
  fday = static_cast<float>(FDDAY);
  // A time a hair before midnight can round up to 1 in single precision;
  // it stays on its day as the largest fraction below 1.
  if (fday >= 1.0f) fday = std::nextafter(1.0f, 0.0f);

  caldat(JULIAN, month, day, year);
  assert(month >= 1 && month <= 12);
  monthname.set(MON[static_cast<std::size_t>(month - 1)]);
  const std::int32_t JD0 = julday(1, 1, year);
  doy = JULIAN - JD0 + 1;
  // Day numbers 6 more than a multiple of 7 are Sundays.
  const std::int64_t next = std::int64_t{JULIAN} + 1;
  const std::int32_t IW = static_cast<std::int32_t>(next - 7 * floor_div(next, 7));
  weekday.set(WDAY[static_cast<std::size_t>(IW)]);
}

}  // namespace kest
