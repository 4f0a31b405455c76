#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "orbit/korbit.hpp"

namespace kest {
namespace {

// Worked examples of the built-in periapsis tables and of a spacecraft given
// by period and epoch. Whole and half revolutions are exact; the other values
// are printed to 7-8 digits and compared to within 4 float ulps.
struct Row {
  float period, epoch, date, rev;
  int row;  // table row the search ends on, 0 when no table is used
};
const float kNaN = std::numeric_limits<float>::quiet_NaN();
const Row kRows[] = {
    {-1.0f, 0.0f, 2952.25f, 3.5f, 1},         // at a tabulated periapsis: LR + 0.5
    {-1.0f, 0.0f, 3000.0f, 50.10431f, 1},
    {-1.0f, 0.0f, 3034.21f, 83.49345f, 1},    // equal to row 2's date: stays on row 1
    {-1.0f, 0.0f, 2900.0f, -47.49634f, 1},    // before the first periapsis
    {-1.0f, 0.0f, 5000.0f, 2041.9502f, 11},   // after the last
    {-2.0f, 0.0f, 3002.52f, 4.5f, 13},
    {-2.0f, 0.0f, 3300.0f, 285.65045f, 18},
    {-1.4f, 0.0f, 2952.25f, 3.5f, 1},         // -period rounded: spacecraft 1
    {-2.4f, 0.0f, 3002.52f, 4.5f, 13},        // spacecraft 2
    {-0.5f, 0.0f, 2952.25f, 3.5f, 1},         // halves round upward
    {-2.6f, 0.0f, 3000.0f, 0.0f, 0},          // no spacecraft 3
    {-3.0f, 0.0f, 3000.0f, 0.0f, 0},
    {-0.4f, 0.0f, 3000.0f, 0.0f, 0},          // regression: spacecraft 0 has no block
    {kNaN, 0.0f, 3000.0f, 0.0f, 0},           // regression: no spacecraft number
    {-3.0e38f, 0.0f, 3000.0f, 0.0f, 0},
    {0.0f, 100.0f, 110.5f, 0.0f, 0},          // no spacecraft
    {1.0f, 100.0f, 110.5f, 10.5f, 0},         // period and epoch
    {0.25f, -4.0f, 2.0f, 24.0f, 0},
};

TEST(Spcrev, RevolutionNumbers) {
  for (const Row& r : kRows) {
    float rev = -1.0f;
    spcrev(r.period, r.epoch, r.date, rev);
    EXPECT_FLOAT_EQ(rev, r.rev) << r.period << ' ' << r.date;
    if (r.rev == std::round(2.0f * r.rev) / 2.0f) {
      EXPECT_EQ(rev, r.rev) << r.period << ' ' << r.date;
    }
    EXPECT_EQ(revolution_at(r.period, r.epoch, r.date).row, r.row) << r.period << ' ' << r.date;
  }
}

// Regression: dates at and beyond the end marks (99999) stay on each
// spacecraft's last periapsis and go on with its period.
TEST(Spcrev, SearchStaysInsideItsBlock) {
  const float dates[] = {99998.0f, 99999.0f, 100000.0f, 1.0e7f, 3.0e38f,
                         std::numeric_limits<float>::infinity()};
  for (const float date : dates) {
    float rev = 0.0f;
    spcrev(-1.0f, 0.0f, date, rev);
    EXPECT_EQ(revolution_at(-1.0f, 0.0f, date).row, 11) << date;
    EXPECT_GT(rev, 1227.0f) << date;
    spcrev(-2.0f, 0.0f, date, rev);
    EXPECT_EQ(revolution_at(-2.0f, 0.0f, date).row, 21) << date;
    EXPECT_GT(rev, 432.0f) << date;
  }
  // Row 11 has a 24-hour period: one revolution per day after 4185.55.
  float rev = 0.0f;
  spcrev(-1.0f, 0.0f, 99999.0f, rev);
  EXPECT_NEAR(rev, 1227.0 + (99999.0 - 4185.55) + 0.5, 0.01);
}

}  // namespace
}  // namespace kest
