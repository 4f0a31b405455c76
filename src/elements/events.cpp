// The instants of given seasons and of the apsides: a first guess from the
// inverse of the season geometry (or the time of perihelion), refined by
// Newton's method on the forward computation with the elements of each date.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "elements/kelements.hpp"
#include "time/ktime.hpp"

namespace kest {

namespace {

constexpr double TOLERANCE = 1e-7;  // days (0.009 s)
constexpr int MAX_STEPS = 40;

double wrap180(double a) {
  a = std::fmod(a, 360.0);
  if (a > 180.0) a -= 360.0;
  if (a <= -180.0) a += 360.0;
  return a;
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

double season_event_bound(const SeasonBody& b, double from, double to, std::size_t angles) {
  const double period = season_setup(b, from).elements.PERIOD;
  if (!(period > 0.0) || !std::isfinite(period) || !std::isfinite(from) || !std::isfinite(to)) return HUGE_VAL;
  if (to < from) return 0.0;
  return ((to - from) / period + 3.0) * (static_cast<double>(angles) + 2.0);
}

bool for_each_season_event(const SeasonBody& b, double from, double to, const std::vector<double>& ls_values,
                           const std::function<bool(const SeasonEvent&)>& emit) {
  struct Found {
    double t;
    std::string what;
    double ls_target;  // for a season; NaN for an apsis
  };
  // A body without a pole has no seasons, only its apsides.
  const std::vector<double> angles = b.has_pole ? ls_values : std::vector<double>{};
  const double period = season_setup(b, from).elements.PERIOD;
  if (!(period > 0.0) || !std::isfinite(period) || !(from <= to) || !std::isfinite(to - from)) return true;
  // One orbit after another, from one before the span to one after it. The
  // guesses of orbit k lie within half an orbit of its start tau, and Newton's
  // method moves them little further: once orbit k is searched, whatever
  // lies two orbits before tau is complete, and goes out in time order.
  const double orbits = std::ceil((to - from) / period) + 2.0;
  std::vector<Found> pending;
  // Events already given that lie within the span of a repeat.
  std::vector<SeasonEvent> recent;
  const auto give_up_to = [&](double before) {
    std::sort(pending.begin(), pending.end(), [](const Found& x, const Found& y) { return x.t < y.t; });
    std::size_t used = 0;
    for (; used < pending.size() && pending[used].t < before; ++used) {
      const Found& f = pending[used];
      if (!(f.t >= from && f.t <= to)) continue;
      // The same event reached from two guesses.
      bool seen = false;
      for (std::size_t k = recent.size(); k-- > 0 && f.t - recent[k].row.days < 1e-3;)
        if (recent[k].what == f.what) seen = true;
      if (seen) continue;
      SeasonEvent e{f.what, season_row(b, f.t)};
      if (b.mars && f.ls_target == 0.0 && b.mars_year1 != 0.0) {
        // The year that begins here.
        e.row.mars_year = static_cast<std::int32_t>(
            1 + std::lround((f.t - b.mars_year1) / season_setup(b, f.t).elements.PERIOD));
      }
      if (!emit(e)) return false;
      recent.push_back(std::move(e));
    }
    pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(used));
    if (!recent.empty()) {
      const double last = recent.back().row.days;
      std::size_t keep = recent.size();
      while (keep > 0 && last - recent[keep - 1].row.days < 1e-3) --keep;
      recent.erase(recent.begin(), recent.begin() + static_cast<std::ptrdiff_t>(keep));
    }
    return true;
  };
  // Callers bound their spans (season_event_bound); this bound only keeps
  // the count an integer.
  if (!(orbits <= 1e15)) return true;
  const auto last_orbit = static_cast<std::int64_t>(orbits);
  for (std::int64_t k = -1; k <= last_orbit; ++k) {
    const double tau = from + static_cast<double>(k) * period;
    const BodySetup s = season_setup(b, tau);
    const double p = s.elements.PERIOD;
    const auto near_tau = [&](double g) { return g + std::round((tau - g) / p) * p; };
    for (double L : angles) {
      const double t = refine_crossing(b, L, near_tau(date_of_season(s.orbit, L).tmjd));
      pending.push_back({t, ls_name(L), L});
    }
    pending.push_back({refine_apsis(b, near_tau(s.elements.TJP)), "perihelion", std::nan("")});
    pending.push_back({refine_apsis(b, near_tau(s.elements.TJP + p / 2.0)), "aphelion", std::nan("")});
    if (!give_up_to(tau - 2.0 * period)) return false;
  }
  return give_up_to(HUGE_VAL);
}

double mars_year_start(const SeasonBody& b) {
  // Mars year 1 began with the Ls = 0 of 1955 April 11: with this body's
  // own model, the Ls = 0 nearest that day (an orbit frozen centuries away
  // passes it months earlier or later), from the passage of the set-up of
  // that day taken to the orbit nearest it.
  std::string ignored;
  const double day = *parse_date("1955-04-11", ignored);
  const BodySetup s = season_setup(b, day);
  const double p = s.elements.PERIOD;
  double t = date_of_season(s.orbit, 0.0).tmjd;
  t += std::round((day - t) / p) * p;
  return refine_crossing(b, 0.0, t);
}

std::vector<SeasonEvent> find_season_events(const SeasonBody& b, double from, double to, const std::vector<double>& ls_values) {
  std::vector<SeasonEvent> events;
  for_each_season_event(b, from, to, ls_values, [&](const SeasonEvent& e) {
    events.push_back(e);
    return true;
  });
  return events;
}

}  // namespace kest
