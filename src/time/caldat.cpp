#include <cstdint>

#include "time/ktime.hpp"

namespace kest {

// Each quotient is formed as an exact integer fraction and rounded down:
//   JALPHA = ((jd - 1867216) - 0.25) / 36524.25  = (4 (jd - 1867216) - 1) / 146097
//   JC = 6680 + ((JB - 2439870) - 122.1) / 365.25 = (20 JB - 2442) / 7305
//   JE = (JB - JD) / 30.6001                      = 10000 (JB - JD) / 306001
// For day numbers from 0 up every quotient is positive, where rounding down
// is truncation; below 0 rounding down continues the Julian calendar.
void caldat(std::int32_t jd, std::int32_t& month, std::int32_t& day, std::int32_t& year) {
  std::int64_t JA = 0;
  if (jd > 2299160) {  // Gregorian from 1582 October 15
    const std::int64_t JALPHA = floor_div(4 * (std::int64_t{jd} - 1867216) - 1, 146097);
    JA = std::int64_t{jd} + 1 + JALPHA - floor_div(JALPHA, 4);
  } else {
    JA = jd;
  }
  const std::int64_t JB = JA + 1524;
  const std::int64_t JC = floor_div(20 * JB - 2442, 7305);
  const std::int64_t JD = 365 * JC + floor_div(JC, 4);
  const std::int64_t JE = floor_div(10000 * (JB - JD), 306001);
  day = static_cast<std::int32_t>(JB - JD - floor_div(306001 * JE, 10000));
  month = static_cast<std::int32_t>(JE - 1);
  if (month > 12) month = month - 12;
  year = static_cast<std::int32_t>(JC - 4715);
  if (month > 2) year = year - 1;
  if (year <= 0) year = year - 1;  // no year zero
}

}  // namespace kest
