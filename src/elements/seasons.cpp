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

BodySetup season_setup(const SeasonBody& b, double days) {
  BodySetup scratch;
  return setup_for(b, days, scratch);
}

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
    error.message = "cannot read " + quoted_text(entry.name) + " from " + std::string(failure.file().substr(0, failure.file().find(' '))) +
                    ": " + std::string(failure.reason().substr(0, failure.reason().find_last_not_of(' ') + 1)) +
                    " (failure " + std::to_string(failure.IERR) + ", item " + std::to_string(entry.request().item) +
                    ", after " + std::to_string(failure.work.J) + " lines of it)" +
                    (failure.why.empty() ? "" : ": " + failure.why);
    return std::nullopt;
  }
  const ReaderWork& w = model->work();
  if (model->table() == 1 || model->table() == 2) {
    // A planet's second line holds the rates of its elements per century;
    // a "rate" of the semi-major axis of a tenth of it or more is the next
    // planet's line read as rates: the rates line is missing.
    const double a = w.PLANET0[0], da = w.PRATES[0];
    if (!(std::fabs(da) < 0.1 * std::fabs(a))) {
      error.message = FNAME[1].substr(0, FNAME[1].find(' '));
      error.message += ", line " + std::to_string(w.ISKIP + 2) + " after C_END: the rates line of planet " +
                       std::to_string(std::max(entry.request().item, 1)) + " is missing (its rate of a, " +
                       number(da) + " AU per century, is a semi-major axis); the table is damaged";
      return std::nullopt;
    }
  }
  SeasonBody b{entry, *model, {}, 1.0, false, 0.0, 0.0, {}, 0.0, false};
  if (epoch_year) {
    b.epoch_tcen = (*epoch_year - 2000.0) / 100.0;
    b.frozen = set_up_body(model->at(*b.epoch_tcen), model->table());
  }
  const ElementSet e0 = model->at(0.0);
  error.message = elements_fault(b.frozen ? b.frozen->elements : e0, quoted_text(entry.name));
  if (error.message.empty() && b.frozen) error.message = elements_fault(e0, quoted_text(entry.name));
  if (!error.message.empty()) return std::nullopt;
  b.pole_on_normal = (b.frozen ? *b.frozen : set_up_body(e0, model->table())).frame.pole_on_normal;
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
    // Mars year 1 began with the Ls = 0 of 1955 April 11: with this body's
    // own model, the Ls = 0 nearest that day (an orbit frozen centuries
    // away passes it months earlier or later).
    std::string ignored;
    const double guess = *parse_date("1955-04-11", ignored);
    const double half = 0.6 * season_setup(b, guess).elements.PERIOD;
    for (const SeasonEvent& ev : find_season_events(b, guess - half, guess + half, {0.0}))
      if (ev.what == "Ls=0" && (b.mars_year1 == 0.0 || std::fabs(ev.row.days - guess) < std::fabs(b.mars_year1 - guess)))
        b.mars_year1 = ev.row.days;
  }
  return b;
}

std::string elements_fault(const ElementSet& e, std::string_view name) {
  const std::string who(name);
  const struct {
    const char* what;
    double value;
  } values[] = {{"orbital period P", e.PERIOD},       {"inclination", e.CLIN},
                {"longitude of the node", e.ODE},     {"argument of perihelion", e.ARGP},
                {"time of perihelion", e.TJP},        {"right ascension of the pole", e.PRA},
                {"declination of the pole", e.PDEC}};
  // The eccentricity and the size first: the period follows from them.
  if (!(e.ECC >= 0.0 && e.ECC < 1.0))
    return who + " has no elliptic orbit (eccentricity " + number(e.ECC) + "): it has no seasons";
  if (!(e.SJA >= MIN_SJA && e.SJA <= MAX_SJA))
    return who + ": the semi-major axis a = " + number(e.SJA) + " AU lies outside 1e-6 to 1e6 AU";
  for (const auto& v : values)
    if (!std::isfinite(v.value)) return who + ": the " + v.what + " is not a finite number (" + number(v.value) + ")";
  if (!(e.PERIOD > 0.0)) return who + ": the orbital period P = " + number(e.PERIOD) + " days is not above 0";
  // Degrees beyond 180 from the equator: for an exoplanet the declination is
  // 90 less the obliquity.
  if (!(std::fabs(e.PDEC) <= PICON))
    return who + ": the declination of the pole, " + number(e.PDEC * R2D_VALUE) +
           " degrees (90 less the obliquity for an exoplanet), lies outside -180 to 180";
  return "";
}

std::string season_span_fault(const SeasonBody& b, double first, double last) {
  if (b.frozen || (b.model.table() != 1 && b.model.table() != 2)) return "";
  // The planets' elements run linearly with time: within the span they lie
  // between their values at its ends.
  for (const double days : {first, last}) {
    const std::string fault = elements_fault(b.model.at(days / DAYS_PER_CENTURY), quoted_text(b.entry.name));
    if (!fault.empty()) return "at " + iso_date(days).substr(0, 10) + ", " + fault;
  }
  return "";
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
