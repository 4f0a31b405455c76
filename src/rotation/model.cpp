// The pole and prime meridian of a rotation model at an instant, and the
// point of the surface under a direction.

#include <cmath>

#include "math/kmath.hpp"
#include "rotation/krotation.hpp"

namespace kest {

Orientation RotationModel::at(double days) const {
  const double T = days / JULCEN;
  Orientation o;
  o.ra = ra0 + ra1 * T;
  o.dec = dec0 + dec1 * T;
  double W = W0 + W1 * days + W2 * (days * days);
  for (const RotationTerm& t : terms) {
    const double theta = (t.theta0 + t.theta1 * T + t.theta2 * (T * T)) * RAD_PER_DEG;
    const double s = std::sin(theta);
    o.ra += t.a * s;
    o.dec += t.d * std::cos(theta);
    W += t.w * s;
  }
  W = std::fmod(W, 360.0);
  if (W < 0.0) W += 360.0;
  // fmod of a value just below a multiple of 360 may round up to 360.
  o.W = W >= 360.0 ? 0.0 : W;
  return o;
}

SurfacePoint surface_point(const Orientation& o, const Vec3& v) {
  const double ra = o.ra * RAD_PER_DEG, dec = o.dec * RAD_PER_DEG;
  const double ca = std::cos(ra), sa = std::sin(ra), cd = std::cos(dec), sd = std::sin(dec);
  // The node of the equator, the pole, and the axis square to both.
  const double x = -sa * v(1) + ca * v(2);
  const double y = -sd * ca * v(1) - sd * sa * v(2) + cd * v(3);
  const double z = cd * ca * v(1) + cd * sa * v(2) + sd * v(3);
  SurfacePoint p;
  p.lat = std::atan2(z, std::hypot(x, y)) * DEG_PER_RAD;
  double lon = std::fmod(std::atan2(y, x) * DEG_PER_RAD - o.W, 360.0);
  if (lon < 0.0) lon += 360.0;
  p.lon = lon >= 360.0 ? 0.0 : lon;
  return p;
}

}  // namespace kest
