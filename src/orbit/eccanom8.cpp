#include <cmath>
#include <cstdint>

#include "orbit/korbit.hpp"

namespace kest {

namespace {
constexpr double ACCUR = 1e-9;     // convergence of the eccentric anomaly, radians
constexpr std::int32_t NTRY = 20;  // Newton steps before giving up
}  // namespace

double eccanom8(double e, double m) {
  Eccanom8Work& w = eccanom8_work;
  w.E = m + e * std::sin(m) + (e * e * std::sin(2.0 * m)) / 2.0;
  for (w.I = 1; w.I <= NTRY; ++w.I) {
    w.DANOM = (m - w.E) + e * std::sin(w.E);       // residual of Kepler's equation
    w.EE = w.DANOM / (1.0 - e * std::cos(w.E)) + w.E;  // Newton step
    w.ACC = std::fabs(w.E - w.EE);
    if (w.ACC <= ACCUR) return w.EE;
    w.E = w.EE;
  }
  return w.EE + TWOPI;  // no convergence: the signal orbit8 tests
}

void orbit8(double a, double p, double e, double t, double& r, Vec3& pos) {
  Orbit8Work& w = orbit8_work;
  r = a;
  w.ANOM = std::fmod((TWOPI * t) / p, TWOPI);
  w.EE = eccanom8(e, w.ANOM);
  // A converged anomaly never differs from the mean anomaly by more than e.
  if (w.EE - w.ANOM > 4.0) r = -a;
  w.CE = std::cos(w.EE);
  pos(1) = a * (w.CE - e);
  pos(2) = std::sin(w.EE) * (a * std::sqrt(1.0 - e * e));
  pos(3) = 0.0;
  r = r * (1.0 - e * w.CE);
}

}  // namespace kest
