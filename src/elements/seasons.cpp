// A body of the tables set up for its seasons, and its row at a date.

#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>

#include "elements/kelements.hpp"
#include "math/kmath.hpp"
#include "textio/textio.hpp"
#include "time/ktime.hpp"

namespace kest {

namespace {

constexpr double DAYS_PER_CENTURY = 36525.0;
constexpr double DJ_J2000 = 2451545.0;
// Spans around the osculation epoch within which an element set is taken as
// good, days: two years for asteroids, small bodies and comets, ten for
// exoplanets.
constexpr double SPAN_OSCULATING = 730.5;
constexpr double SPAN_EXOPLANET = 3652.5;

const BodySetup& setup_for(const SeasonBody& b, double days, BodySetup& scratch) {
  if (b.frozen) return *b.frozen;
  scratch = set_up_body(b.model.at(days / DAYS_PER_CENTURY), b.model.table());
  return scratch;
}

}  // namespace

std::string number(double x) {
  std::string s;
  append_shortest(s, x);
  return s;
}

std::optional<SeasonBody> make_season_body(const TableSet& tables, const BodyEntry& entry, std::optional<double> epoch_year,
                              SeasonBodyError& error) {
  ElementOutcome failure;
  auto model = BodyModel::read(tables, entry.request(), &failure);
  if (!model) {
    error.message = "cannot read " + entry.name + " from " + std::string(failure.file().substr(0, failure.file().find(' '))) +
                    ": " + std::string(failure.reason().substr(0, failure.reason().find_last_not_of(' ') + 1)) +
                    " (failure " + std::to_string(failure.IERR) + ", item " + std::to_string(entry.request().item) +
                    ", after " + std::to_string(failure.work.J) + " lines of it)" +
                    (failure.why.empty() ? "" : ": " + failure.why);
    return std::nullopt;
  }
  SeasonBody b{entry, *model, {}, 1.0, false, 0.0, 0.0, {}, 0.0};
  if (epoch_year) {
    b.epoch_tcen = (*epoch_year - 2000.0) / 100.0;
    b.frozen = set_up_body(model->at(*b.epoch_tcen), model->table());
  }
  const ElementSet e0 = model->at(0.0);
  if (!(e0.ECC < 1.0) || !(e0.ECC >= 0.0) || !(e0.PERIOD > 0.0) || !std::isfinite(e0.PERIOD)) {
    error.message = entry.name + " has no elliptic orbit (eccentricity " + number(e0.ECC) + "): it has no seasons";
    return std::nullopt;
  }
  const ReaderWork& w = model->work();
  switch (model->table()) {
    case 3:
    case 4:
      b.osculating_epoch = w.EPOCH - DJ_J2000;
      b.osculating_span = SPAN_OSCULATING;
      break;
    case 5:
      b.osculating_epoch = e0.TJP;
      b.osculating_span = SPAN_OSCULATING;
      break;
    case 6:
      b.osculating_epoch = e0.TJP;
      b.osculating_span = SPAN_EXOPLANET;
      b.power = star_power(w);
      break;
    default:
      break;
  }
  b.mars = entry.table == 1 && entry.name == "Mars";
  if (b.mars) {
    // Mars year 1 began with the Ls = 0 of 1955 April 11.
    std::string ignored;
    const double guess = *parse_date("1955-04-11", ignored);
    const auto found = find_season_events(b, guess - 30.0, guess + 30.0, {0.0});
    for (const SeasonEvent& ev : found)
      if (ev.what == "Ls=0") b.mars_year1 = ev.row.days;
  }
  return b;
}

SeasonRow season_row(const SeasonBody& b, double days) {
  BodySetup scratch;
  const BodySetup& s = setup_for(b, days, scratch);
  const Season z = season_at(s.orbit, days);
  SeasonRow r;
  r.days = days;
  r.distance = z.dau;
  r.ls = z.lsubs;
  r.sdec = z.sdec;
  double nu = std::atan2(z.PHFXX(2), z.PHFXX(1)) * R2D_VALUE;
  if (nu < 0.0) nu += 360.0;
  r.true_anomaly = nu;
  r.flux = SOLAR_CONSTANT * b.power / (z.dau * z.dau);
  if (b.mars && b.mars_year1 != 0.0) {
    const double ls = r.ls >= 359.99999 ? 0.0 : r.ls;
    r.mars_year = static_cast<std::int32_t>(1 + std::lround((days - b.mars_year1) / s.elements.PERIOD - ls / 360.0));
  }
  return r;
}

}  // namespace kest
