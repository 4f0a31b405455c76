// Rotation matrices: elementary frame rotations, orbit and pole matrices,
// application, transpose, products, axis exchange, vector turns, and the
// print and quality test of a matrix.
#include <cmath>
#include <cstdint>
#include <string_view>

#include "math/kmath.hpp"
#include "textio/textio.hpp"

#ifdef __FAST_MATH__
#error "the numeric library must not be built with fast-math"
#endif

namespace kest {

namespace {

bool axis_code(std::int32_t k) { return k >= 1 && k <= 3; }

}  // namespace

void rotax(std::int32_t k, double angle, Mat3& a) {
  if (!axis_code(k)) return;
  const double c = std::cos(angle);
  const double s = std::sin(angle);
  const int p = (k % 3) + 1;
  const int q = ((k + 1) % 3) + 1;
  for (int j = 1; j <= 3; ++j) {
    const double g = a(p, j);
    a(p, j) = c * g + s * a(q, j);
    a(q, j) = c * a(q, j) - s * g;
  }
}

void rotdia(double d, Mat3& a) {
  for (int k = 1; k <= 9; ++k) a.at(k) = 0.0;
  a.at(1) = d;
  a.at(5) = d;
  a.at(9) = d;
}

void rotorb(double node, double incl, double argp, Mat3& a, std::int32_t irad) {
  const double fac = irad == 0 ? RAD_PER_DEG : 1.0;
  rotdia(1.0, a);
  rotax(3, -fac * argp, a);
  rotax(1, -fac * incl, a);
  rotax(3, -fac * node, a);
}

void rotmat(const Vec3& angles_deg, Mat3& a) {
  const double alpha = angles_deg(1);
  const double delta = angles_deg(2);
  const double meridian = angles_deg(3);
  rotdia(1.0, a);
  rotax(3, (90.0 + alpha) * RAD_PER_DEG, a);
  rotax(1, (90.0 - delta) * RAD_PER_DEG, a);
  if (meridian != 0.0) rotax(3, meridian * RAD_PER_DEG, a);
}

void rotrip(const Mat3& a, Vec3& angles_deg) {
  const double alpha = DEG_PER_RAD * std::atan2(a(3, 2), a(3, 1));
  const double delta = DEG_PER_RAD * std::asin(a(3, 3));
  const double meridian = DEG_PER_RAD * std::atan2(a(1, 3), a(2, 3));
  angles_deg(1) = alpha;
  angles_deg(2) = delta;
  angles_deg(3) = meridian;
}

void rotzxm(const Vec3& z, const Vec3& x, Mat3& a) {
  Vec3 col3;
  Vec3 col2;
  Vec3 col1;
  vnorm(z, col3);
  vcross(z, x, col2);
  vnorm(col2, col2);
  vcross(col2, col3, col1);
  Mat3 t;
  for (int i = 1; i <= 3; ++i) {
    t(i, 1) = col1(i);
    t(i, 2) = col2(i);
    t(i, 3) = col3(i);
  }
  trans3(t, a);
}

void rotvec(const Mat3& a, const Vec3& v, Vec3& w) {
  Vec3 r;
  for (int i = 1; i <= 3; ++i) {
    r(i) = a.at(i) * v(1) + a.at(i + 3) * v(2) + a.at(i + 6) * v(3);
  }
  w = r;
}

void rotcol(const Mat3& a, std::int32_t j, Vec3& v) {
  if (!axis_code(j)) {
    v = Vec3{};
    return;
  }
  v(1) = a.at(3 * j - 2);
  v(2) = a.at(3 * j - 1);
  v(3) = a.at(3 * j);
}

void rotrow(const Mat3& a, std::int32_t i, Vec3& v) {
  if (!axis_code(i)) {
    v = Vec3{};
    return;
  }
  v(1) = a.at(i);
  v(2) = a.at(i + 3);
  v(3) = a.at(i + 6);
}

void trans3(const Mat3& a, Mat3& b) {
  constexpr int M = 3;
  constexpr int MM = 9;
  constexpr int MP = 4;
  for (int i = 1; i <= MM; i += MP) b.at(i) = a.at(i);
  for (int ii = 2; ii <= M; ++ii) {
    const int ioff = (ii - 1) * (M - 1);
    for (int i = ii; i <= (MP - ii) * M; i += MP) {
      const int it = i + ioff;
      const double e = a.at(it);
      b.at(it) = a.at(i);
      b.at(i) = e;
    }
  }
}

void mequal(const Mat3& a, Mat3& b) { b = a; }

void mprod3(const Mat3& a, const Mat3& b, Mat3& w3) {
  Mat3 r;
  for (int i = 1; i <= 3; ++i) {
    for (int j = 1; j <= 3; ++j) {
      r(i, j) = a(i, 1) * b(1, j) + a(i, 2) * b(2, j) + a(i, 3) * b(3, j);
    }
  }
  w3 = r;
}

namespace {

// The rows (or components) that an axis exchange takes, with their signs.
struct Exchange {
  int ix, iy, iz;
  bool nx, ny, nz;  // negate
};

bool exchange(std::int32_t kx, std::int32_t kz, Exchange& e) {
  if (kx < -3 || kx > 3 || kz < -3 || kz > 3) return false;
  const int ax = kx < 0 ? -kx : kx;
  const int az = kz < 0 ? -kz : kz;
  if (ax == 0 || az == 0 || ax == az) return false;
  int sy = ax == (az % 3) + 1 ? 1 : -1;
  if (kx < 0) sy = -sy;
  if (kz < 0) sy = -sy;
  e = {ax, 6 - ax - az, az, kx < 1, sy == -1, kz < 1};
  return true;
}

}  // namespace

void rotexm(std::int32_t kx, std::int32_t kz, const Mat3& a, Mat3& b) {
  Exchange e{};
  if (!exchange(kx, kz, e)) {
    b = Mat3{};
    return;
  }
  Mat3 r;
  for (int j = 1; j <= 3; ++j) {
    r(1, j) = e.nx ? -a(e.ix, j) : a(e.ix, j);
    r(2, j) = e.ny ? -a(e.iy, j) : a(e.iy, j);
    r(3, j) = e.nz ? -a(e.iz, j) : a(e.iz, j);
  }
  b = r;
}

void rotexv(std::int32_t kx, std::int32_t kz, const Vec3& v, Vec3& w) {
  Exchange e{};
  if (!exchange(kx, kz, e)) {
    w = Vec3{};
    return;
  }
  Vec3 r;
  r(1) = e.nx ? -v(e.ix) : v(e.ix);
  r(2) = e.ny ? -v(e.iy) : v(e.iy);
  r(3) = e.nz ? -v(e.iz) : v(e.iz);
  w = r;
}

void rotv(const Vec3& v, std::int32_t k, double angle, Vec3& w) {
  if (!axis_code(k)) {
    w = v;
    return;
  }
  const double c = std::cos(angle);
  const double s = std::sin(angle);
  const int i = ((k + 3) % 3) + 1;
  const int j = ((k + 1) % 3) + 1;
  const int l = ((k + 2) % 3) + 1;
  const double xin = v(i);
  const double yin = v(j);
  w(i) = xin * c - yin * s;
  w(j) = yin * c + xin * s;
  w(l) = v(l);
}

void vrotv(const Vec3& v, const Vec3& ax, double angle, Vec3& w) {
  double len = 0.0;
  vmag(ax, len);
  if (len == 0.0) {
    vequal(v, w);
    return;
  }
  Vec3 u;
  for (int i = 1; i <= 3; ++i) u(i) = ax(i) / len;
  double q = 0.0;
  Vec3 p;
  Vec3 v1;
  Vec3 v2;
  vdot(v, u, q);
  vscale(q, u, p);
  vsub(v, p, v1);
  vcross(u, v1, v2);
  const double ct = std::cos(angle);
  const double st = std::sin(angle);
  Vec3 r;
  for (int i = 1; i <= 3; ++i) r(i) = v1(i) * ct + v2(i) * st;
  vadd(r, p, w);
}

void rotest(const Mat3& a, double& der, double& dev) {
  constexpr double ONE = 1.0;
  const double sq[6] = {
      a.at(1) * a.at(1) + a.at(4) * a.at(4) + a.at(7) * a.at(7),
      a.at(2) * a.at(2) + a.at(5) * a.at(5) + a.at(8) * a.at(8),
      a.at(3) * a.at(3) + a.at(6) * a.at(6) + a.at(9) * a.at(9),
      a.at(1) * a.at(1) + a.at(2) * a.at(2) + a.at(3) * a.at(3),
      a.at(4) * a.at(4) + a.at(5) * a.at(5) + a.at(6) * a.at(6),
      a.at(7) * a.at(7) + a.at(8) * a.at(8) + a.at(9) * a.at(9),
  };
  double ya = sq[0];
  double yb = sq[0];
  for (int k = 1; k < 6; ++k) {
    if (sq[k] < ya) ya = sq[k];
    if (sq[k] > yb) yb = sq[k];
  }
  const double lo = ONE - ya;
  const double hi = yb - ONE;
  dev = lo > hi ? lo : hi;
  const double det =
      ((a(3, 3) * a(2, 2) - a(3, 2) * a(2, 3)) * a(1, 1) - (a(3, 3) * a(2, 1) - a(3, 1) * a(2, 3)) * a(1, 2)) +
      (a(3, 2) * a(2, 1) - a(3, 1) * a(2, 2)) * a(1, 3);
  der = std::fabs(det - ONE);
}

void rotsho(std::string_view text, const Mat3& a, std::int32_t unit) {
  static const Format f{"(' ROTSHO dump of [',A,']',3(/5X,3F10.6))"};
  write_fmt(unit, f, {text, a.at(1), a.at(4), a.at(7), a.at(2), a.at(5), a.at(8), a.at(3), a.at(6), a.at(9)});
}

}  // namespace kest
