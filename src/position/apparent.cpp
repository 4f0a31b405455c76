// The apparent Sun of date seen from the Earth.

#include <erfa.h>
#include <erfam.h>

#include <cmath>

#include "position/kposition.hpp"

namespace kest {

namespace {
constexpr double DJ_J2000 = 2451545.0;
constexpr double DEG = 180.0 / 3.14159265358979323846;
// The speed of light, AU a day.
constexpr double LIGHT = ERFA_CMPS * ERFA_DAYSEC / ERFA_DAU;
}  // namespace

ApparentSun apparent_sun(double days, const StateVector& earth) {
  // The geometric direction of the Sun from the Earth, and the Earth's
  // velocity in units of the speed of light.
  const double r = std::sqrt(earth.r(1) * earth.r(1) + earth.r(2) * earth.r(2) + earth.r(3) * earth.r(3));
  double p[3] = {-earth.r(1) / r, -earth.r(2) / r, -earth.r(3) / r};
  double v[3] = {earth.v(1) / LIGHT, earth.v(2) / LIGHT, earth.v(3) / LIGHT};
  const double bm1 = std::sqrt(1.0 - (v[0] * v[0] + v[1] * v[1] + v[2] * v[2]));
  double ab[3];
  eraAb(p, v, r, bm1, ab);
  // To the true equator and equinox of date, then to the true ecliptic.
  double npb[3][3];
  eraPnm06a(DJ_J2000, days, npb);
  double q[3];
  eraRxp(npb, ab, q);
  double dpsi = 0.0, deps = 0.0;
  eraNut06a(DJ_J2000, days, &dpsi, &deps);
  const double eps = eraObl06(DJ_J2000, days) + deps;
  const double y = std::cos(eps) * q[1] + std::sin(eps) * q[2];
  double lon = std::atan2(y, q[0]) * DEG;
  if (lon < 0.0) lon += 360.0;
  if (lon >= 360.0) lon -= 360.0;
  return ApparentSun{lon, std::asin(std::fmax(-1.0, std::fmin(1.0, q[2]))) * DEG};
}

}  // namespace kest
