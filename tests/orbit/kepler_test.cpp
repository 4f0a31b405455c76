#include <gtest/gtest.h>

#include <cmath>

#include "math/kmath.hpp"
#include "orbit/korbit.hpp"

namespace kest {
namespace {

// Worked examples of the solver: the value for e = 0.5, M = 1 to the last
// digit (gfortran, same operations) and the circular orbit.
TEST(Kepler, EccentricAnomalyWorkedExamples) {
  EXPECT_EQ(eccanom8(0.5, 1.0), 1.4987011335178484);
  EXPECT_EQ(solve_kepler(0.5, 1.0).steps, 4);
  EXPECT_EQ(eccanom8(0.0, 1.0), 1.0);
  EXPECT_EQ(solve_kepler(0.0, 1.0).steps, 1);
}

// e = 0.999 and M = 0.04 do not converge in 20 steps: the twentieth iterate
// comes back shifted by 2 pi, and orbit8 turns that into a negative radius.
TEST(Kepler, NonConvergenceIsSignalled) {
  const double ea = eccanom8(0.999, 0.04);
  EXPECT_EQ(solve_kepler(0.999, 0.04).steps, 21);
  EXPECT_EQ(ea, solve_kepler(0.999, 0.04).last + TWOPI);

  const double a = 2.0, p = 1000.0, e = 0.999;
  double r = 0.0;
  Vec3 pos;
  orbit8(a, p, e, 0.04 * p / TWOPI, r, pos);
  const OrbitPosition o = orbit_position(a, p, e, 0.04 * p / TWOPI);
  EXPECT_NEAR(o.anom, 0.04, 1e-15);
  EXPECT_LT(r, 0.0);
  EXPECT_EQ(r, -a * (1.0 - e * std::cos(o.ecc_anom)));
}

// Bad input ends the iteration too: no hang, a non-number result.
TEST(Kepler, NotANumberEndsTheIteration) {
  EXPECT_TRUE(std::isnan(eccanom8(0.5, std::nan(""))));
  EXPECT_TRUE(std::isnan(eccanom8(std::nan(""), 1.0)));
}

// Eccentric anomaly by bisection, independent of the Newton solver.
double bisect_kepler(double e, double m) {
  double lo = m - 1.0, hi = m + 1.0;
  for (int i = 0; i < 200; ++i) {
    const double mid = 0.5 * (lo + hi);
    (mid - e * std::sin(mid) < m ? lo : hi) = mid;
  }
  return 0.5 * (lo + hi);
}

// Positions at special times, against the closed forms of the ellipse.
TEST(Kepler, OrbitPositionsAtSpecialTimes) {
  const double a = 1.523679, p = 686.98, e = 0.0934;
  const double b = a * std::sqrt(1.0 - e * e);
  const double eq = bisect_kepler(e, -PICON / 2.0);
  struct Row {
    double t, x, y, r;
  };
  const Row rows[] = {
      {0.0, a * (1.0 - e), 0.0, a * (1.0 - e)},      // perihelion
      {p / 2.0, -a * (1.0 + e), 0.0, a * (1.0 + e)},  // aphelion
      {p, a * (1.0 - e), 0.0, a * (1.0 - e)},         // one period on
      {-p, a * (1.0 - e), 0.0, a * (1.0 - e)},        // one period before
      {-p / 4.0, a * (std::cos(eq) - e), b * std::sin(eq), a * (1.0 - e * std::cos(eq))},
  };
  for (const Row& row : rows) {
    double r = 0.0;
    Vec3 pos;
    orbit8(a, p, e, row.t, r, pos);
    EXPECT_NEAR(pos(1), row.x, 1e-12) << row.t;
    EXPECT_NEAR(pos(2), row.y, 1e-12) << row.t;
    EXPECT_EQ(pos(3), 0.0);
    EXPECT_NEAR(r, row.r, 1e-12) << row.t;
  }
  // Exactly at perihelion; a quarter period before it M = -pi/2.
  double r = 0.0;
  Vec3 pos;
  orbit8(a, p, e, 0.0, r, pos);
  EXPECT_EQ(pos, (Vec3{{a * (1.0 - e), 0.0, 0.0}}));
  orbit8(a, p, e, -p / 4.0, r, pos);
  EXPECT_NEAR(orbit_position(a, p, e, -p / 4.0).anom, -PICON / 2.0, 1e-14);
}

TEST(Kepler, CircularOrbitMovesUniformly) {
  const double a = 5.2, p = 4332.6;
  double r = 0.0;
  Vec3 pos;
  for (double t = -3.0 * p; t <= 3.0 * p; t += p / 37.0) {
    orbit8(a, p, 0.0, t, r, pos);
    const double m = std::fmod(TWOPI * t / p, TWOPI);
    EXPECT_EQ(r, a);
    EXPECT_NEAR(pos(1), a * std::cos(m), 1e-12) << t;
    EXPECT_NEAR(pos(2), a * std::sin(m), 1e-12) << t;
  }
}

// Kepler's equation holds to 1e-9 within 6 steps for e up to 0.9 and any
// mean anomaly in (-2 pi, 2 pi); the radius is the length of the position.
TEST(Kepler, SolutionSweep) {
  for (int ie = 0; ie <= 90; ++ie) {
    const double e = ie / 100.0;
    for (int im = -999; im <= 999; ++im) {
      const double m = TWOPI * im / 1000.0;
      const double ea = eccanom8(e, m);
      ASSERT_LE(solve_kepler(e, m).steps, 6) << e << ' ' << m;
      ASSERT_NEAR(ea - e * std::sin(ea), m, 1e-9) << e << ' ' << m;
    }
    for (int it = -20; it <= 20; ++it) {
      double r = 0.0;
      Vec3 pos;
      orbit8(1.7, 100.0, e, it * 7.3, r, pos);
      // The focus is at the origin: r is the length of the position.
      ASSERT_NEAR(r, std::hypot(pos(1), pos(2)), 1e-12) << e << ' ' << it;
    }
  }
}

}  // namespace
}  // namespace kest
