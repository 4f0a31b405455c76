#include <algorithm>
#include <cstdint>
#include <limits>

#include "time/ktime.hpp"

namespace kest {

// The products 365.25 JY and 30.6001 JM are formed as exact fractions
// (1461 JY / 4 and 306001 JM / 10000), so their floor and truncation are
// those of the exact values for every input.
std::int32_t julday(std::int32_t month, std::int32_t day, std::int32_t year) {
  std::int64_t JY = year;
  std::int64_t JM = 0;
  if (JY == 0) {
    write_free(6, {"julday ERROR: there is no year zero: Assume 1"});
    JY = 1;
  }
  if (JY < 0) JY = JY + 1;  // astronomical numbering: year -1 is year 0
  if (month > 2) {
    JM = std::int64_t{month} + 1;
  } else {
    // January and February are months 14 and 15 of the year before.
    JY = JY - 1;
    JM = std::int64_t{month} + 13;
  }
  std::int64_t jul = floor_div(1461 * JY, 4) + (306001 * JM) / 10000 + day + 1720995;
  // Gregorian from 1582 October 15 on, tested on the year as given.
  if (day + 31 * (std::int64_t{month} + 12 * std::int64_t{year}) > 588828) {
    const std::int64_t JA = JY / 100;
    jul = jul + 2 - JA + JA / 4;
  }
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(
      jul, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

}  // namespace kest
