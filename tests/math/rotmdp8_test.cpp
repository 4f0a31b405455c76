// Rotation matrices: worked quarter turns, orbit and pole matrices, the axis
// exchange table, harmless out-of-range codes, invariants of random rotations.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

#include "math/kmath.hpp"

namespace kest {
namespace {

void expect_vec(const Vec3& got, const Vec3& want, double tol) {
  for (int i = 1; i <= 3; ++i) EXPECT_NEAR(got(i), want(i), tol) << "component " << i;
}

Mat3 diag(double d) {
  Mat3 a;
  rotdia(d, a);
  return a;
}

// Frame quarter turns (rotax) and vector quarter turns (rotv, vrotv) about
// each axis, by hand from the rows of R_k; cos(pi/2) leaves about 6e-17.
TEST(Rotations, QuarterTurnsAboutEachAxis) {
  struct Row {
    std::int32_t k;
    Vec3 v, frame, turned;
  };
  const Row rows[] = {{3, {{1, 0, 0}}, {{0, -1, 0}}, {{0, 1, 0}}},
                      {1, {{0, 1, 0}}, {{0, 0, -1}}, {{0, 0, 1}}},
                      {2, {{0, 0, 1}}, {{-1, 0, 0}}, {{1, 0, 0}}}};
  for (const Row& r : rows) {
    Mat3 a = diag(1.0);
    rotax(r.k, HALF_PI, a);
    Vec3 w, v = r.v, ax;
    rotvec(a, r.v, w);
    expect_vec(w, r.frame, 1e-16);
    rotv(v, r.k, HALF_PI, v);  // in place
    expect_vec(v, r.turned, 1e-16);
    vunit(r.k, ax);
    vscale(5.0, ax, ax);
    vrotv(r.v, ax, HALF_PI, ax);  // into its own axis
    expect_vec(ax, r.turned, 1e-16);
  }
  Vec3 v{{0.3, -1.2, 2.5}};
  vrotv(v, Vec3{}, 1.0, v);  // a zero axis turns nothing
  EXPECT_EQ(v, (Vec3{{0.3, -1.2, 2.5}}));
}

// rotorb: IRAD 0 takes degrees; the periapsis column from spherical trigonometry.
TEST(Rotations, OrbitMatrixDegreesAndRadians) {
  const double o = 30 * RAD_PER_DEG, i = 10 * RAD_PER_DEG, w = 50 * RAD_PER_DEG;
  Mat3 deg, rad;
  rotorb(30, 10, 50, deg, 0);
  rotorb(o, i, w, rad, 1);
  EXPECT_EQ(deg, rad);
  Vec3 col;
  rotcol(deg, 1, col);
  expect_vec(col,
             {{std::cos(o) * std::cos(w) - std::sin(o) * std::sin(w) * std::cos(i),
               std::sin(o) * std::cos(w) + std::cos(o) * std::sin(w) * std::cos(i), std::sin(w) * std::sin(i)}},
             1e-15);
}

// rotrip undoes rotmat within (-180, 180]; the pole at longitude 40, latitude
// 60 becomes the new z axis; rotzxm of z and x gives the identity.
TEST(Rotations, PoleMatrixAndFrames) {
  struct Row {
    Vec3 in, back;
  };
  const Row rows[] = {{{{40, 60, 123}}, {{40, 60, 123}}},
                      {{{317.681, -20, 317.681}}, {{-42.319, -20, -42.319}}},
                      {{{-170, 5, 0}}, {{-170, 5, 0}}}};
  for (const Row& r : rows) {
    Mat3 a;
    Vec3 back;
    rotmat(r.in, a);
    rotrip(a, back);
    expect_vec(back, r.back, 1e-11);
  }
  Mat3 a;
  Vec3 pole, w;
  rotmat(Vec3{{40, 60, 123}}, a);
  cocomc(60.0, -40.0, 1.0, pole);
  rotvec(a, pole, w);
  expect_vec(w, {{0, 0, 1}}, 1e-15);
  rotzxm(Vec3{{0, 0, 1}}, Vec3{{1, 0, 0}}, a);
  EXPECT_EQ(a, diag(1.0));
}

// Determinant and squared-length deviations by hand; the zero matrix is the
// body matrix before any orbit is set up.
TEST(Rotations, QualityTest) {
  struct Row {
    double scale, der, dev;
  };
  for (const Row& r : {Row{1.0, 0.0, 0.0}, Row{2.0, 7.0, 3.0}, Row{0.0, 1.0, 1.0}}) {
    double der = -1, dev = -1;
    rotest(diag(r.scale), der, dev);
    EXPECT_EQ(der, r.der);
    EXPECT_EQ(dev, r.dev);
  }
}

// Axis exchange: source rows by hand from the sign rule (row 2's sign flips
// once for each negative code); every result must stay right-handed.
TEST(Rotations, AxisExchangeSignTable) {
  struct Row {
    std::int32_t kx, kz;
    int src[3];
  };
  const Row rows[] = {{1, 3, {1, 2, 3}},    {2, 3, {2, -1, 3}},   {3, 1, {3, -2, 1}},
                      {2, 1, {2, 3, 1}},    {1, 2, {1, -3, 2}},   {3, 2, {3, 1, 2}},
                      {-1, 3, {-1, -2, 3}}, {1, -3, {1, -2, -3}}, {-2, -3, {-2, -1, -3}}};
  Mat3 a;
  for (int k = 1; k <= 9; ++k) a.at(k) = 10.0 * k + 0.5;
  const Vec3 v{{1, 2, 3}};
  for (const Row& r : rows) {
    Mat3 b;
    Vec3 w;
    double der, dev;
    rotexm(r.kx, r.kz, a, b);
    rotexv(r.kx, r.kz, v, w);
    for (int i = 1; i <= 3; ++i) {
      const int s = r.src[i - 1];
      for (int j = 1; j <= 3; ++j) EXPECT_EQ(b(i, j), s < 0 ? -a(-s, j) : a(s, j)) << r.kx << r.kz;
      EXPECT_EQ(w(i), s < 0 ? -v(-s) : v(s)) << r.kx << r.kz;
    }
    rotexm(r.kx, r.kz, diag(1.0), b);
    rotest(b, der, dev);
    EXPECT_EQ(der, 0.0) << r.kx << r.kz;
  }
}

// Codes outside the contract: turns do nothing, selections give zeros.
TEST(Rotations, OutOfRangeCodesAreHarmless) {
  constexpr std::int32_t lo = std::numeric_limits<std::int32_t>::min();
  constexpr std::int32_t hi = std::numeric_limits<std::int32_t>::max();
  const Mat3 a = diag(2.0);
  const Vec3 v{{1, 2, 3}};
  for (std::int32_t k : {0, 4, -1, -3, lo, hi}) {
    Mat3 b = a;
    Vec3 w, c = v, r = v;
    rotax(k, 0.3, b);
    rotv(v, k, 0.3, w);
    rotcol(a, k, c);
    rotrow(a, k, r);
    EXPECT_EQ(b, a) << k;
    EXPECT_EQ(w, v) << k;
    EXPECT_EQ(c, Vec3{}) << k;
    EXPECT_EQ(r, Vec3{}) << k;
  }
  for (auto [kx, kz] : {std::pair{1, 1}, {3, -3}, {2, 2}, {0, 3}, {4, 1}, {lo, 2}, {1, hi}}) {
    Mat3 b = a;
    Vec3 w = v;
    rotexm(kx, kz, a, b);
    rotexv(kx, kz, v, w);
    EXPECT_EQ(b, Mat3{}) << kx << "," << kz;
    EXPECT_EQ(w, Vec3{}) << kx << "," << kz;
  }
}

// Invariants over random angles and vectors (fixed seed).
TEST(Rotations, RandomInvariants) {
  std::mt19937_64 gen(20240611);
  std::uniform_real_distribution<double> ang(-400.0, 400.0), comp(-2.0, 2.0);
  auto proper = [](const Mat3& m) {
    double der, dev;
    rotest(m, der, dev);
    return der <= 1e-14 && std::fabs(dev) <= 1e-14;
  };
  for (int n = 0; n < 3000; ++n) {
    Mat3 orb, pole, prod, zx, t, inplace;
    rotorb(ang(gen), ang(gen), ang(gen), orb, 0);
    rotmat(Vec3{{ang(gen), ang(gen) / 4.5, ang(gen)}}, pole);
    mprod3(orb, pole, prod);
    const Vec3 v{{comp(gen), comp(gen), comp(gen)}};
    rotzxm(v, Vec3{{comp(gen), comp(gen), comp(gen)}}, zx);
    ASSERT_TRUE(proper(orb) && proper(pole) && proper(prod) && proper(zx)) << n;
    // (A B) v = A (B v), and the transpose, in place or not, undoes it.
    Vec3 pv, bv, abv, back;
    rotvec(prod, v, pv);
    rotvec(pole, v, bv);
    rotvec(orb, bv, abv);
    expect_vec(pv, abv, 1e-14);
    trans3(prod, t);
    inplace = prod;
    trans3(inplace, inplace);
    ASSERT_EQ(inplace, t);
    rotvec(t, pv, back);
    expect_vec(back, v, 1e-14);
    // A turn about coordinate axis k equals a turn about its unit vector.
    const std::int32_t k = n % 3 + 1;
    const double angle = ang(gen) * RAD_PER_DEG;
    Vec3 u, w1, w2;
    vunit(k, u);
    rotv(v, k, angle, w1);
    vrotv(v, u, angle, w2);
    expect_vec(w1, w2, 1e-14);
  }
}

}  // namespace
}  // namespace kest
