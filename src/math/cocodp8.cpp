// Conversions between Cartesian vectors and spherical, map and spheroid
// coordinates.
#include <cmath>

#include "math/kmath.hpp"

#ifdef __FAST_MATH__
#error "the numeric library must not be built with fast-math"
#endif

namespace kest {

void cocosc(double colat, double elon, double radius, Vec3& v) {
  const double h = radius * std::sin(colat);
  v(1) = std::cos(elon) * h;
  v(2) = std::sin(elon) * h;
  v(3) = radius * std::cos(colat);
}

void cococs(const Vec3& v, double& colat, double& elon, double& radius) {
  const double x = v(1);
  const double y = v(2);
  const double h = x * x + y * y;
  const double q = h == 0.0 ? 0.0 : std::atan2(y, x);
  cocolr(v, colat, radius);
  elon = q;
}

double wrapped(double a, double whole) {
  a = std::fmod(a, whole);
  if (a < 0.0) a += whole;
  return a >= whole ? 0.0 : a;
}

void cocolr(const Vec3& v, double& colat, double& radius) {
  const double x = v(1);
  const double y = v(2);
  const double z = v(3);
  const double h = x * x + y * y;
  const double r = std::sqrt(z * z + h);
  const double p = r == 0.0 ? 0.0 : HALF_PI - std::atan2(z, std::sqrt(h));
  radius = r;
  colat = p;
}

void cocomc(double lat, double wlon, double radius, Vec3& v) {
  const double la = RAD_PER_DEG * lat;
  const double lo = -RAD_PER_DEG * wlon;
  const double h = std::cos(la) * radius;
  v(1) = std::cos(lo) * h;
  v(2) = std::sin(lo) * h;
  v(3) = std::sin(la) * radius;
}

void cococm(const Vec3& v, double& lat, double& wlon, double& radius) {
  double colat = 0.0;
  double elon = 0.0;
  cococs(v, colat, elon, radius);
  cocosm(colat, elon, lat, wlon);
}

void cocoms(double lat, double wlon, double& colat, double& elon) {
  colat = RAD_PER_DEG * (90.0 - lat);
  elon = -RAD_PER_DEG * wlon;
}

void cocosm(double colat, double elon, double& lat, double& wlon) {
  lat = -DEG_PER_RAD * colat + 90.0;
  wlon = -DEG_PER_RAD * elon;
}

void cocemc(double glat, double wlon, double a, double e, Vec3& v) {
  const double lat = RAD_PER_DEG * glat;
  const double f = std::sin(lat);
  const double fe = f * e;
  const double g = a / std::sqrt(1.0 - fe * fe);
  const double h = std::cos(lat) * g;
  const double z = f * g * (1.0 - e * e);
  const double lon = -RAD_PER_DEG * wlon;
  v(1) = std::cos(lon) * h;
  v(2) = std::sin(lon) * h;
  v(3) = z;
}

void cocecm(const Vec3& v, double e, double& glat, double& wlon, double& a) {
  const double x = v(1);
  const double y = v(2);
  const double z = v(3);
  const double rg = std::sqrt(x * x + y * y + z * z);
  if (rg < 1e-37) {
    glat = 0.0;
    wlon = 0.0;
    return;
  }
  const double xu = x / rg;
  const double yu = y / rg;
  const double zu = z / rg;
  const double h = std::sqrt(xu * xu + yu * yu);
  const double w = 1.0 - e * e;
  if (h > 2e-7) {
    const double q = std::fabs(xu) < 2e-7 ? std::copysign(HALF_PI, yu) : std::atan2(yu, xu);
    const double lat = std::atan(zu / (w * h));
    const double se = std::sin(lat) * e;
    const double radius = (h / std::cos(lat)) * rg * std::sqrt(1.0 - se * se);
    wlon = q / -RAD_PER_DEG;
    a = radius;
    glat = lat / RAD_PER_DEG;
  } else {
    a = std::fabs(z) / std::sqrt(w);
    glat = std::copysign(90.0, zu);
    wlon = 0.0;
  }
}

}  // namespace kest
