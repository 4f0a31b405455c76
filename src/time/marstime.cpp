// Mars time: the Mars Sol Date, Coordinated Mars Time and the local solar
// times of the Allison and McEwen (2000) algorithm.

#include <cmath>

#include "math/kmath.hpp"
#include "time/ktime.hpp"

namespace kest {

namespace {

constexpr double DEG = 3.14159265358979323846 / 180.0;

// The planetary perturbations of the fit: amplitude (deg), period (Julian
// years), phase (deg).
constexpr double PBS[7][3] = {{0.0071, 2.2353, 49.409},  {0.0057, 2.7543, 168.173}, {0.0039, 1.1177, 191.837},
                              {0.0037, 15.7866, 21.736}, {0.0021, 2.1354, 15.704},  {0.0020, 2.4694, 95.528},
                              {0.0018, 32.8493, 49.095}};

}  // namespace

MarsTime mars_time(double days_tt, double east_longitude) {
  const double dt = days_tt;  // days from J2000.0 (TT)
  MarsTime t;
  const double m = (19.3871 + 0.52402073 * dt) * DEG;  // mean anomaly
  const double afms = 270.3871 + 0.524038496 * dt;     // the fictitious mean Sun
  double pbs = 0.0;
  for (const auto& p : PBS) pbs += p[0] * std::cos((0.985626 * dt / p[1] + p[2]) * DEG);
  const double centre = (10.691 + 3.0e-7 * dt) * std::sin(m) + 0.623 * std::sin(2.0 * m) + 0.050 * std::sin(3.0 * m) +
                        0.005 * std::sin(4.0 * m) + 0.0005 * std::sin(5.0 * m) + pbs;
  t.ls = wrapped(afms + centre, 360.0);
  const double l = t.ls * DEG;
  t.eot = 2.861 * std::sin(2.0 * l) - 0.071 * std::sin(4.0 * l) + 0.002 * std::sin(6.0 * l) - centre;
  // JD(TT) - 2405522.0028779 = days from J2000.0 + 46022.9971221.
  t.msd = (dt + 46022.9971221) / 1.0274912517;
  t.mtc = wrapped(24.0 * t.msd, 24.0);
  const double west = wrapped(-east_longitude, 360.0);
  t.lmst = wrapped(t.mtc - west / 15.0, 24.0);
  t.ltst = wrapped(t.lmst + t.eot / 15.0, 24.0);
  t.subsolar_west = wrapped(t.mtc * 15.0 + t.eot + 180.0, 360.0);
  return t;
}

double mission_sol(double days_tt, double landing_tt, double east_longitude) {
  // The local mean solar date: MSD shifted by the longitude.
  const auto local = [&](double d) { return mars_time(d, east_longitude).msd + east_longitude / 360.0; };
  return std::floor(local(days_tt)) - std::floor(local(landing_tt));
}

}  // namespace kest
