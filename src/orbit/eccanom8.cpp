#include <cmath>
#include <cstdint>

#include "orbit/korbit.hpp"

namespace kest {

namespace {
constexpr double ACCUR = 1e-9;     // convergence of the eccentric anomaly, radians
constexpr std::int32_t NTRY = 20;  // Newton steps before giving up
}  // namespace

KeplerSolution solve_kepler(double e, double m) {
  KeplerSolution s;
  double E = m + e * std::sin(m) + (e * e * std::sin(2.0 * m)) / 2.0;
  double EE = 0.0;
  for (s.steps = 1; s.steps <= NTRY; ++s.steps) {
    const double DANOM = (m - E) + e * std::sin(E);  // residual of Kepler's equation
    EE = DANOM / (1.0 - e * std::cos(E)) + E;         // Newton step
    const double ACC = std::fabs(E - EE);
    if (ACC <= ACCUR) {
      s.E = s.last = EE;
      return s;
    }
    E = EE;
  }
  s.last = EE;
  s.E = EE + TWOPI;  // no convergence: the signal orbit8 tests
  return s;
}

double eccanom8(double e, double m) { return solve_kepler(e, m).E; }

OrbitPosition orbit_position(double a, double p, double e, double t) {
  OrbitPosition o;
  o.r = a;
  o.anom = std::fmod((TWOPI * t) / p, TWOPI);
  o.ecc_anom = eccanom8(e, o.anom);
  // A converged anomaly never differs from the mean anomaly by more than e.
  if (o.ecc_anom - o.anom > 4.0) o.r = -a;
  const double CE = std::cos(o.ecc_anom);
  o.pos(1) = a * (CE - e);
  o.pos(2) = std::sin(o.ecc_anom) * (a * std::sqrt(1.0 - e * e));
  o.pos(3) = 0.0;
  o.r = o.r * (1.0 - e * CE);
  return o;
}

void orbit8(double a, double p, double e, double t, double& r, Vec3& pos) {
  const OrbitPosition o = orbit_position(a, p, e, t);
  r = o.r;
  pos = o.pos;
}

}  // namespace kest
