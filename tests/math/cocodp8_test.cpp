// Coordinate conversions: poles and zero vectors, signed zeros, the spheroid
// thresholds, and the inverse pairs over random points.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "math/kmath.hpp"

namespace kest {
namespace {

// By hand from the atan2 conventions; pi here is 2 * 1.5707963267948966.
TEST(Conversions, SphericalAndMapSpecialPoints) {
  struct Row {
    Vec3 v;
    double colat, elon, radius;
  };
  const Row rows[] = {{{{0, 0, 0}}, 0.0, 0.0, 0.0},
                      {{{0, 0, -2}}, 2 * HALF_PI, 0.0, 2.0},
                      {{{-0.0, 0, -2}}, 2 * HALF_PI, 0.0, 2.0},  // atan2(0, -0) would be pi
                      {{{0, 1, 0}}, HALF_PI, HALF_PI, 1.0},
                      {{{-1, 0, 0}}, HALF_PI, 2 * HALF_PI, 1.0}};
  for (const Row& r : rows) {
    double colat = -9, elon = -9, radius = -9;
    cococs(r.v, colat, elon, radius);
    EXPECT_EQ(colat, r.colat);
    EXPECT_EQ(elon, r.elon);
    EXPECT_EQ(radius, r.radius);
  }
  double lat, wlon, radius;
  cococm(Vec3{{0, 1, 0}}, lat, wlon, radius);
  EXPECT_EQ(lat, 0.0);
  EXPECT_EQ(wlon, -90.0);
  EXPECT_EQ(radius, 1.0);
  Vec3 v;
  cocomc(0.0, 90.0, 1.0, v);
  EXPECT_NEAR(v(1), 0.0, 1e-16);
  EXPECT_EQ(v(2), -1.0);
  cocosm(0.0, 0.0, lat, wlon);  // east longitude 0 is west longitude -0
  EXPECT_EQ(lat, 90.0);
  EXPECT_TRUE(wlon == 0.0 && std::signbit(wlon));
}

// Spheroid thresholds: a length below 1e-37 (strictly) leaves the radius as
// it was; within 2e-7 of the axis the pole branch, |z| / sqrt(1 - e^2); an x
// share below 2e-7 the quarter turn (90 / 0.017453292519943295 is exactly 90).
TEST(Conversions, SpheroidThresholds) {
  struct Row {
    Vec3 v;
    double e, lat, wlon, a;
  };
  const double kept = 123.0;
  const Row rows[] = {{{{0, 0, 5}}, 0.0, 90.0, 0.0, 5.0},      {{{0, 0, -5}}, 0.0, -90.0, 0.0, 5.0},
                      {{{1e-38, 0, 0}}, 0.0, 0.0, 0.0, kept},  {{{0, 0, -9e-38}}, 0.5, 0.0, 0.0, kept},
                      {{{1e-37, 0, 0}}, 0.0, 0.0, 0.0, 1e-37}, {{{1e-7, 0, 3}}, 0.6, 90.0, 0.0, 3.0 / 0.8},
                      {{{1e-8, 2, 0}}, 0.0, 0.0, -90.0, 2.0},  {{{-1e-8, -2, 0}}, 0.0, 0.0, 90.0, 2.0}};
  for (const Row& r : rows) {
    double lat = -1, wlon = -1, a = kept;
    cocecm(r.v, r.e, lat, wlon, a);
    EXPECT_EQ(lat, r.lat) << r.v(1) << " " << r.v(3);
    EXPECT_EQ(wlon, r.wlon) << r.v(1) << " " << r.v(3);
    EXPECT_NEAR(a, r.a, 1e-14) << r.v(1) << " " << r.v(3);
  }
}

// Inverse pairs over random points (fixed seed).
TEST(Conversions, RandomInversePairs) {
  std::mt19937_64 gen(77001);
  std::uniform_real_distribution<double> colat_d(1e-3, 3.14), lon_d(-179.9, 179.9), lat_d(-89.9, 89.9), r_d(0.1, 1e4),
      e_d(0.0, 0.9);
  for (int n = 0; n < 3000; ++n) {
    const double colat = colat_d(gen), elon = lon_d(gen) * RAD_PER_DEG, radius = r_d(gen);
    const double lat = lat_d(gen), wlon = lon_d(gen), e = e_d(gen);
    Vec3 v;
    double p, q, r;
    cocosc(colat, elon, radius, v);
    cococs(v, p, q, r);
    ASSERT_TRUE(std::fabs(p - colat) < 1e-12 && std::fabs(q - elon) < 1e-12 && std::fabs(r - radius) < 1e-12 * radius)
        << n;
    cocomc(lat, wlon, radius, v);
    cococm(v, p, q, r);
    ASSERT_TRUE(std::fabs(p - lat) < 1e-10 && std::fabs(q - wlon) < 1e-10 && std::fabs(r - radius) < 1e-12 * radius)
        << n;
    cocoms(lat, wlon, p, q);
    cocosm(p, q, p, q);
    ASSERT_TRUE(std::fabs(p - lat) < 1e-12 && std::fabs(q - wlon) < 1e-12) << n;
    cocemc(lat, wlon, radius, e, v);
    cocecm(v, e, p, q, r);
    ASSERT_TRUE(std::fabs(p - lat) < 1e-10 && std::fabs(q - wlon) < 1e-10 && std::fabs(r - radius) < 1e-12 * radius)
        << n;
  }
}

}  // namespace
}  // namespace kest
