// Mars time against the published worked examples of the Mars time
// algorithm (Allison and McEwen 2000 with the current constants), and the
// sols of a mission.
#include <gtest/gtest.h>

#include <cmath>

#include "time/ktime.hpp"

namespace kest {
namespace {

// Example A: 2000-01-06T00:00 UTC (TT - UTC = 64.184 s), days from J2000.0
// 4.50074287; example B: the Spirit landing, 2004-01-03T13:46:31 UTC,
// 1463.0747128 (to the millisecond of its UTC second).
TEST(MarsTime, WorkedExamples) {
  const struct {
    double days, ls, eot, msd, mtc;
  } rows[] = {
      {4.50074287, 277.18758, -5.18774, 44795.99976, 23.99425},
      {1463.0747128, 327.32416, -12.77553, std::nan(""), 13.16537},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.days);
    const MarsTime t = mars_time(r.days, 0.0);
    EXPECT_NEAR(t.ls, r.ls, 1e-5);
    EXPECT_NEAR(t.eot, r.eot, 1e-5);
    if (!std::isnan(r.msd)) {
      EXPECT_NEAR(t.msd, r.msd, 1e-5);
    }
    EXPECT_NEAR(t.mtc, r.mtc, 2e-5);
    // At longitude 0 the local mean time is MTC; 90 degrees east, 6 h later.
    EXPECT_DOUBLE_EQ(t.lmst, t.mtc);
    EXPECT_NEAR(std::remainder(mars_time(r.days, 90.0).lmst - t.mtc - 6.0, 24.0), 0.0, 1e-9);
    EXPECT_NEAR(std::remainder(t.ltst - t.lmst - t.eot / 15.0, 24.0), 0.0, 1e-12);
  }
}

// The landing sol is sol 0; the sol turns at local mean midnight.
TEST(MarsTime, SolsCountFromTheLanding) {
  const double sol = 1.0274912517;  // days
  const double landing = 7719.3723285;  // 2021-02-18T20:55 UTC, at 77.45 E (about 16:04 LMST)
  const struct {
    double after;  // days after the landing
    double sol;
  } rows[] = {{0.0, 0.0}, {0.3 * sol, 0.0}, {0.4 * sol, 1.0}, {10.0 * sol, 10.0}, {-0.7 * sol, -1.0}};
  for (const auto& r : rows) EXPECT_EQ(mission_sol(landing + r.after, landing, 77.45), r.sol) << r.after;
}

}  // namespace
}  // namespace kest
