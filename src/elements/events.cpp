// The instants of given seasons and of the apsides: a first guess from the
// inverse of the season geometry (or the time of perihelion), refined by
// Newton's method on the forward computation with the elements of each date.

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "elements/kelements.hpp"
#include "time/ktime.hpp"

namespace kest {

namespace {

constexpr double DAYS_PER_CENTURY = 36525.0;
constexpr double TOLERANCE = 1e-7;  // days (0.009 s)
constexpr int MAX_STEPS = 40;

double wrap180(double a) {
  a = std::fmod(a, 360.0);
  if (a > 180.0) a -= 360.0;
  if (a <= -180.0) a += 360.0;
  return a;
}

BodySetup setup_at(const SeasonBody& b, double days) {
  if (b.frozen) return *b.frozen;
  return set_up_body(b.model.at(days / DAYS_PER_CENTURY), b.model.table());
}

// The instant near t when Ls passes L.
double refine_crossing(const SeasonBody& b, double L, double t) {
  const double h = 0.01;
  for (int i = 0; i < MAX_STEPS; ++i) {
    const double f = wrap180(season_row(b, t).ls - L);
    const double slope = wrap180(season_row(b, t + h).ls - season_row(b, t - h).ls) / (2.0 * h);
    if (!(std::fabs(slope) > 0.0)) break;
    const double step = f / slope;
    t -= step;
    if (std::fabs(step) < TOLERANCE) break;
  }
  return t;
}

// The instant near t where the distance is least or greatest.
double refine_apsis(const SeasonBody& b, double t) {
  const double h = 0.05;
  for (int i = 0; i < MAX_STEPS; ++i) {
    const double r0 = season_row(b, t).distance;
    const double rp = season_row(b, t + h).distance;
    const double rm = season_row(b, t - h).distance;
    const double d1 = (rp - rm) / (2.0 * h);
    const double d2 = (rp - 2.0 * r0 + rm) / (h * h);
    if (!(std::fabs(d2) > 0.0)) break;
    const double step = d1 / d2;
    t -= step;
    if (std::fabs(step) < TOLERANCE) break;
  }
  return t;
}

std::string ls_name(double L) { return "Ls=" + number(L); }

}  // namespace

std::vector<SeasonEvent> find_season_events(const SeasonBody& b, double from, double to, const std::vector<double>& ls_values) {
  struct Found {
    double t;
    std::string what;
    double ls_target;  // for a season; NaN for an apsis
  };
  std::vector<Found> found;
  const BodySetup s0 = setup_at(b, from);
  const double period = s0.elements.PERIOD;
  // One orbit after another, from one before the span to one after it.
  const auto orbits = static_cast<long>(std::ceil((to - from) / period)) + 2;
  for (long k = -1; k <= orbits; ++k) {
    const double tau = from + static_cast<double>(k) * period;
    const BodySetup s = setup_at(b, tau);
    const double p = s.elements.PERIOD;
    const auto near_tau = [&](double g) { return g + std::round((tau - g) / p) * p; };
    for (double L : ls_values) {
      const double t = refine_crossing(b, L, near_tau(date_of_season(s.orbit, L).tmjd));
      found.push_back({t, ls_name(L), L});
    }
    found.push_back({refine_apsis(b, near_tau(s.elements.TJP)), "perihelion", std::nan("")});
    found.push_back({refine_apsis(b, near_tau(s.elements.TJP + p / 2.0)), "aphelion", std::nan("")});
  }
  std::sort(found.begin(), found.end(), [](const Found& x, const Found& y) { return x.t < y.t; });
  std::vector<SeasonEvent> events;
  for (std::size_t i = 0; i < found.size(); ++i) {
    const Found& f = found[i];
    if (!(f.t >= from && f.t <= to)) continue;
    // The same event reached from two guesses.
    bool seen = false;
    for (std::size_t k = events.size(); k-- > 0 && f.t - events[k].row.days < 1e-3;)
      if (events[k].what == f.what) seen = true;
    if (seen) continue;
    SeasonEvent e{f.what, season_row(b, f.t)};
    if (b.mars && f.ls_target == 0.0 && b.mars_year1 != 0.0) {
      // The year that begins here.
      e.row.mars_year = static_cast<std::int32_t>(
          1 + std::lround((f.t - b.mars_year1) / setup_at(b, f.t).elements.PERIOD));
    }
    events.push_back(std::move(e));
  }
  return events;
}

}  // namespace kest
