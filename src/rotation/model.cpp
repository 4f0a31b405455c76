// The pole and prime meridian of a rotation model at an instant, and the
// point of the surface under a direction.

#include <cmath>

#include "math/kmath.hpp"
#include "rotation/krotation.hpp"

namespace kest {

void RotationModel::group() {
  groups_.clear();
  offsets_.clear();
  std::vector<bool> taken(terms.size(), false);
  for (std::size_t i = 0; i < terms.size(); ++i) {
    if (taken[i]) continue;
    Shared g{terms[i].theta1, terms[i].theta2, i, offsets_.size(), 0};
    for (std::size_t j = i; j < terms.size(); ++j)
      if (!taken[j] && terms[j].theta1 == g.theta1 && terms[j].theta2 == g.theta2) ++g.count;
    for (std::size_t j = i; g.count > 1 && j < terms.size(); ++j) {
      if (taken[j] || terms[j].theta1 != g.theta1 || terms[j].theta2 != g.theta2) continue;
      const RotationTerm& t = terms[j];
      offsets_.push_back({std::sin(t.theta0 * RAD_PER_DEG), std::cos(t.theta0 * RAD_PER_DEG), t.a, t.d, t.w});
      taken[j] = true;
    }
    taken[i] = true;
    groups_.push_back(g);
  }
}

namespace {

// One term on its own: the sine, the cosine or both of its angle, as its
// amplitudes need (most terms have one kind only).
void add_term(const RotationTerm& t, double T, Orientation& o, double& W) {
  const double theta = (t.theta0 + t.theta1 * T + t.theta2 * (T * T)) * RAD_PER_DEG;
  if (t.d == 0.0) {
    const double s = std::sin(theta);
    o.ra += t.a * s;
    W += t.w * s;
  } else if (t.a == 0.0 && t.w == 0.0) {
    o.dec += t.d * std::cos(theta);
  } else {
    const double s = std::sin(theta);
    const double c = std::cos(theta);
    o.ra += t.a * s;
    o.dec += t.d * c;
    W += t.w * s;
  }
}

}  // namespace

Orientation RotationModel::at(double days) const {
  const double T = days / JULCEN;
  Orientation o;
  o.ra = ra0 + ra1 * T;
  o.dec = dec0 + dec1 * T;
  double W = W0 + W1 * days + W2 * (days * days);
  if (groups_.empty()) {
    for (const RotationTerm& t : terms) add_term(t, T, o, W);
  }
  for (const Shared& g : groups_) {
    if (g.count == 1) {
      add_term(terms[g.term], T, o, W);
      continue;
    }
    // Angles theta0 + r: sin and cos of theta0 kept, of r taken once.
    const double r = (g.theta1 * T + g.theta2 * (T * T)) * RAD_PER_DEG;
    const double sr = std::sin(r), cr = std::cos(r);
    for (std::size_t k = g.first; k < g.first + g.count; ++k) {
      const Offset& t = offsets_[k];
      const double s = t.sin0 * cr + t.cos0 * sr;
      const double c = t.cos0 * cr - t.sin0 * sr;
      o.ra += t.a * s;
      o.dec += t.d * c;
      W += t.w * s;
    }
  }
  o.W = wrapped(W, 360.0);
  return o;
}

double surface_longitude(const Orientation& o, const Vec3& pole, const Vec3& v) {
  // With h the length of the pole's equatorial part, the node of the
  // body's equator is (-p2, p1, 0) / h and the axis square to it and the pole
  // (-p3 p1, -p3 p2, h^2) / h; h drops out of the angle. A declination
  // beyond 90 degrees (the Earth's model before 2000) turns the equatorial
  // part to the right ascension's opposite, and with it the node, which the
  // model counts W from: it is turned back.
  const double h2 = pole(1) * pole(1) + pole(2) * pole(2);
  const double x = -pole(2) * v(1) + pole(1) * v(2);
  const double y = -pole(3) * (pole(1) * v(1) + pole(2) * v(2)) + h2 * v(3);
  const double d = std::fabs(o.dec) < 270.0 ? std::fabs(o.dec) : std::fabs(std::remainder(o.dec, 360.0));
  const double beyond = d > 90.0 ? 180.0 : 0.0;
  return wrapped(std::atan2(y, x) * DEG_PER_RAD + beyond - o.W, 360.0);
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
  p.lon = wrapped(std::atan2(y, x) * DEG_PER_RAD - o.W, 360.0);
  return p;
}

}  // namespace kest
