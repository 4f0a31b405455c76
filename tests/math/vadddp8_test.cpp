// Vector operations: aliasing, signed zeros, the unit-vector index range and
// the order of the sums (expected values by hand).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "math/kmath.hpp"

namespace kest {
namespace {

TEST(Vectors, CrossProductIntoEitherInput) {
  const Vec3 a{{1, 2, 3}}, b{{-4, 5, 0.5}}, want{{-14, -12.5, 13}};
  Vec3 w = a;
  vcross(w, b, w);
  EXPECT_EQ(w, want);
  w = b;
  vcross(a, w, w);
  EXPECT_EQ(w, want);
}

TEST(Vectors, UnitVectorIndexRange) {
  struct Row {
    std::int32_t i;
    Vec3 want;
  };
  const Row rows[] = {{1, {{1, 0, 0}}}, {2, {{0, 1, 0}}}, {3, {{0, 0, 1}}},
                      {0, {}},          {4, {}},          {std::numeric_limits<std::int32_t>::min(), {}}};
  for (const Row& r : rows) {
    Vec3 v{{7, 7, 7}};
    vunit(r.i, v);
    EXPECT_EQ(v, r.want) << r.i;
  }
}

TEST(Vectors, ElementwiseInPlaceAndOrder) {
  Vec3 v{{0.0, -2.0, 3.0}};
  vneg(v, v);
  EXPECT_TRUE(std::signbit(v(1)));  // 0 becomes -0
  vscale(0.5, v, v);
  vadd(v, Vec3{{1, 1, 1}}, v);
  vsub(v, Vec3{{0, 0, 0.5}}, v);
  EXPECT_EQ(v, (Vec3{{1, 2, -1}}));
  vnorm(Vec3{{3, 0, 4}}, v);  // 0.2 * 3, the length inverted once, not 3 / 5
  EXPECT_EQ(v, (Vec3{{0.6000000000000001, 0, 0.8}}));
  // Index order: the large terms cancel first only when they come first.
  double s = 0;
  vdot(Vec3{{1e16, -1e16, 1}}, Vec3{{1, 1, 1}}, s);
  EXPECT_EQ(s, 1.0);
  vdot(Vec3{{1, 1e17, -1e17}}, Vec3{{1, 1, 1}}, s);
  EXPECT_EQ(s, 0.0);
  vdot(Vec3{{-0.0, -0.0, -0.0}}, Vec3{{1, 1, 1}}, s);
  EXPECT_FALSE(std::signbit(s));  // accumulated from +0
}

}  // namespace
}  // namespace kest
