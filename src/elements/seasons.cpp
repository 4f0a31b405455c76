// A body of the tables set up for its seasons, and its row at a date.

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

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

// The set-up of a body at a date, with its orientation o at that date; for
// a row (lean), without what a row does not use.
const BodySetup& setup_for(const SeasonBody& b, double days, const Orientation& o, BodySetup& scratch, bool lean = false) {
  if (b.frozen) return *b.frozen;
  ElementSet e = b.model.at(days / DAYS_PER_CENTURY);
  if (b.pole_from_spin) {
    if (lean) {
      scratch = row_setup(e, o.ra, o.dec);
      return scratch;
    }
    e.PRA = RDEG * o.ra;
    e.PDEC = RDEG * o.dec;
  }
  scratch = set_up_body(e, b.model.table());
  return scratch;
}

std::string trimmed(std::string_view s) {
  const auto e = s.find_last_not_of(' ');
  return std::string(s.substr(0, e == std::string_view::npos ? 0 : e + 1));
}

// The years a table's header states its elements are fitted for, from a
// line "Span: FIRST LAST" before its C_END line; NaN when there is none.
std::pair<double, double> stated_years(const TableSet& tables, std::int32_t code) {
  const double none = std::nan("");
  const auto src = tables.open(code);
  std::string line;
  while (src && src->next_line(line) && !src->too_long()) {
    std::string head = line.substr(0, 5);
    for (char& c : head) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (head == "C_END") break;
    const auto b = line.find_first_not_of(' ');
    if (b == std::string::npos || line.compare(b, 5, "Span:") != 0) continue;
    std::vector<double> years;
    std::string rest = line.substr(b + 5);
    std::size_t i = 0;
    while (i < rest.size()) {
      while (i < rest.size() && rest[i] == ' ') ++i;
      const std::size_t w = i;
      while (i < rest.size() && rest[i] != ' ') ++i;
      double y = 0.0;
      if (i > w && parse_decimal(std::string_view(rest).substr(w, i - w), y)) years.push_back(y);
      else if (i > w) break;
    }
    if (years.size() >= 2 && years[0] <= years[1]) return {years[0], years[1]};
  }
  return {none, none};
}

// Hours to eight digits, as a message shows them.
std::string hours(double h) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, h, std::chars_format::general, 8);
  return std::string(buf, r.ptr);
}

// The year of a date, as a decimal number.
double year_of(double days) { return 2000.0 + days / 365.25; }

}  // namespace

BodySetup season_setup(const SeasonBody& b, double days) {
  BodySetup scratch;
  return setup_for(b, days, b.pole_from_spin ? b.spin.at(days) : Orientation{}, scratch);
}

std::string number(double x) {
  std::string s;
  append_shortest(s, x);
  return s;
}

namespace {

// How a body turns (SeasonBody::spin), the years of its planet's elements
// and what is said of its model; false, with the message, when the rotation
// table a body needs cannot be read.
bool set_up_spin(const TableSet& tables, SeasonBody& b, SeasonBodyError& error) {
  const ReaderWork& w = b.model.work();
  const std::string who = quoted_text(b.entry.name);
  const std::int32_t table = b.model.table();
  if (table == 1 || table == 2) {
    const auto& R = w.RRR;
    const std::string line = trimmed(w.TARGET.view());
    const std::string planet = b.entry.planet.empty() ? b.entry.name : b.entry.planet;
    std::tie(b.first_year, b.last_year) = stated_years(tables, 1);
    if (b.entry.name == "EM-Bary" || (planet == "EM-Bary" && b.entry.name == "Earth"))
      b.notes.push_back(who + " moves on the orbit of the Earth-Moon barycentre, which stands in for the Earth: "
                              "its perihelion is up to about a day, and its seasons some minutes, from the Earth's own");
    if (b.frozen) {
      // The spin-axis line frozen at the epoch, its meridian turning.
      b.spin.name = line;
      b.spin.ra0 = R[0] + R[1] * *b.epoch_tcen;
      b.spin.dec0 = R[2] + R[3] * *b.epoch_tcen;
      b.spin.W0 = R[4];
      b.spin.W1 = R[5];
      return true;
    }
    const std::string file(ROTATION_FILE);
    std::string why;
    const auto src = tables.open(ROTATION_TABLE, &why);
    if (!src) {
      error.message = "cannot read " + file + ": " + why + " (it holds the rotation models of the planets and " +
                      "satellites; --epoch YEAR takes the frozen poles of spinaxis.tab instead)";
      return false;
    }
    const auto models = read_rotation_table(*src, why);
    if (!models) {
      error.message = file + ", " + why + ": the table is damaged";
      return false;
    }
    b.pole_from_spin = true;
    if (const RotationModel* m = models->find(line)) {
      b.spin = *m;
      return true;
    }
    // No model: the spin-axis line's linear pole and meridian, said once.
    b.spin.name = line;
    b.spin.ra0 = R[0];
    b.spin.ra1 = R[1];
    b.spin.dec0 = R[2];
    b.spin.dec1 = R[3];
    b.spin.W0 = R[4];
    b.spin.W1 = R[5];
    b.notes.push_back(file + " has no model for " + quoted_text(line) + ": its pole and prime meridian are " +
                      "spinaxis.tab's linear ones, without periodic terms");
    return true;
  }
  // A fixed pole; a prime meridian at W = 0 at J2000.0, turning once in the
  // rotation period (days).
  const ElementSet e = b.model.at(0.0);
  b.spin.name = b.entry.name;
  b.spin.ra0 = e.PRA / RDEG;
  b.spin.dec0 = e.PDEC / RDEG;
  b.spin.W1 = std::isfinite(e.SIDAY) && e.SIDAY != 0.0 ? 360.0 / e.SIDAY : std::nan("");
  if (table == 6) {
    b.notes.push_back("the spin of " + who + " is assumed: exoplan.tab gives no measured obliquity or rotation " +
                      "period, so its Ls, subsolar latitude and longitudes rest on assumed values");
  } else {
    std::string title(trimmed(e.TITLE.view()));
    for (char& c : title) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (title.find("spin assumed") != std::string::npos)
      b.notes.push_back("the spin of " + who + " is assumed (its pole and rotation period are placeholders): its Ls, " +
                        "subsolar latitude and longitudes rest on assumed values");
  }
  if (std::isfinite(b.spin.W1)) {
    b.notes.push_back("no prime meridian is known for " + who + ": its longitudes count from a meridian taken at " +
                      "W = 0 at J2000.0, turning once in its rotation period of " + hours(e.SIDAY * 24.0) + " h");
  } else {
    b.notes.push_back(who + " has no rotation period: it has no subsolar longitude");
  }
  return true;
}

}  // namespace

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
  SeasonBody b;
  b.entry = entry;
  b.model = *model;
  if (model->table() == 3 && w.QP == 1.0) {
    // A pole given as a B1950.0 ecliptic longitude and latitude: the reader
    // keeps it as the dialogue stores it, the B1950.0 equatorial direction;
    // the seasons take it precessed to J2000.0.
    GivenBody g;
    g.lon = w.VVV[6];
    g.lat = w.VVV[7];
    g.b1950 = true;
    const PoleDirection p = j2000_pole(g);
    b.model.set_pole(RDEG * p.ra, RDEG * p.dec);
    b.notes.push_back("the pole of " + quoted_text(entry.name) + " is a B1950.0 ecliptic longitude and latitude " +
                      "(pole flag 1), taken precessed to J2000.0 (ra " + number(std::round(p.ra * 1e4) / 1e4) +
                      ", dec " + number(std::round(p.dec * 1e4) / 1e4) + "); the dialogue keeps the B1950.0 " +
                      "equatorial direction");
  }
  if (epoch_year) {
    b.epoch_tcen = epoch_centuries(*epoch_year);
    b.frozen = set_up_body(model->at(*b.epoch_tcen), model->table());
  }
  const ElementSet e0 = model->at(0.0);
  error.message = elements_fault(b.frozen ? b.frozen->elements : e0, quoted_text(entry.name));
  if (error.message.empty() && b.frozen) error.message = elements_fault(e0, quoted_text(entry.name));
  if (!error.message.empty()) return std::nullopt;
  if (!set_up_spin(tables, b, error)) return std::nullopt;
  b.pole_on_normal = (b.frozen ? *b.frozen : season_setup(b, 0.0)).frame.pole_on_normal;
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
  if (b.mars) b.mars_year1 = mars_year_start(b);
  return b;
}

std::optional<SeasonBody> make_season_body(const GivenBody& g, SeasonBodyError& error) {
  error.message = given_body_fault(g);
  if (!error.message.empty()) return std::nullopt;
  // The arithmetic of a minor-body item: the period from a, the time of
  // perihelion from the mean anomaly at the epoch.
  ElementSet e;
  e.TITLE.set(g.name);
  e.SJA = std::isnan(g.a) ? g.q / (1.0 - g.e) : g.a;
  e.ECC = g.e;
  e.CLIN = RDEG * g.i;
  e.ODE = RDEG * g.node;
  e.ARGP = RDEG * g.peri;
  e.PERIOD = SIDYR * std::sqrt(e.SJA * (e.SJA * e.SJA));
  e.TJP = std::isnan(g.tp) ? g.epoch - e.PERIOD * (g.M / 360.0) : g.tp;
  e.SIDAY = g.rotation_hours / 24.0;
  const bool has_pole = !std::isnan(g.ra) || !std::isnan(g.lon);
  // Without a pole the frame takes the ecliptic's; no row shows what
  // follows from it.
  const PoleDirection p = has_pole && std::isnan(g.lon) && !g.b1950 ? PoleDirection{g.ra, g.dec}
                          : has_pole                                 ? j2000_pole(g)
                                                                     : PoleDirection{270.0, 90.0 - OBL_J2000 / RDEG};
  e.PRA = RDEG * p.ra;
  e.PDEC = RDEG * p.dec;
  SeasonBody b;
  b.entry.name = g.name;
  b.entry.table = 0;
  b.model = BodyModel::fixed(e, 3);
  b.has_pole = has_pole;
  error.message = elements_fault(e, quoted_text(g.name));
  if (!error.message.empty()) return std::nullopt;
  if (!set_up_spin(TableSet{}, b, error)) return std::nullopt;
  if (!has_pole) {
    b.notes.clear();
    b.notes.push_back("no pole is given for " + quoted_text(g.name) + ": its Ls and subsolar point are left empty");
  }
  b.pole_on_normal = has_pole && season_setup(b, 0.0).frame.pole_on_normal;
  b.osculating_epoch = std::isnan(g.tp) ? g.epoch : g.tp;
  b.osculating_span = SPAN_OSCULATING;
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

namespace {

// The calendar date of an instant, without its time of day.
std::string date_only(double days, Calendar calendar) {
  std::string d = iso_date(days, 0, calendar);
  d.resize(d.find('T'));
  return d;
}

}  // namespace

std::string season_span_fault(const SeasonBody& b, double first, double last, Calendar calendar) {
  if (b.frozen || (b.model.table() != 1 && b.model.table() != 2)) return "";
  // The planets' elements run linearly with time: within the span they lie
  // between their values at its ends.
  for (const double days : {first, last}) {
    const std::string fault = elements_fault(b.model.at(days / DAYS_PER_CENTURY), quoted_text(b.entry.name));
    if (!fault.empty()) return "at " + date_only(days, calendar) + ", " + fault;
  }
  return "";
}

SeasonRow season_row(const SeasonBody& b, double days, SolarDay* day) {
  // The periodic terms are taken once, for the pole and the meridian alike.
  const Orientation o = b.spin.at(days);
  StateVector sv;
  if (b.positions && b.positions->state(days, sv)) return state_row(b, days, o, sv, b.gm, day);
  BodySetup scratch;
  const BodySetup& s = setup_for(b, days, o, scratch, true);
  const Season z = season_at(s.orbit, days, day != nullptr);
  if (day) {
    day->sun_ra = wrapped(z.Q * R2D_VALUE, 360.0);
    // Ls of perihelion: Ls less the true anomaly, the Sun's direction from
    // perihelion turned half round.
    const double mean_anomaly = 360.0 * ((days - s.elements.TJP) / s.elements.PERIOD);
    day->mean_ra = wrapped(mean_anomaly + z.lsubs - (z.TAR * R2D_VALUE + 180.0), 360.0);
    const double n = 360.0 / s.elements.PERIOD;
    day->length = std::isfinite(b.spin.W1) ? 360.0 / (b.spin.W1 - n) : std::nan("");
  }
  SeasonRow r;
  r.days = days;
  r.distance = z.dau;
  r.ls = z.lsubs;
  r.sdec = z.sdec;
  // The Sun seen from the body, in the frame of the pole: the orbit plane's
  // body-to-Sun vector turned by the orbit matrix.
  Vec3 to_sun, sun;
  vneg(z.PHFXX, to_sun);
  rotvec(s.frame.AFRM, to_sun, sun);
  r.slon = surface_longitude(o, s.frame.ZBAXU, sun);
  // The Sun's direction from the perihelion direction is the true anomaly
  // turned half round.
  double nu = z.TAR * R2D_VALUE + 180.0;
  if (nu >= 360.0) nu -= 360.0;
  r.true_anomaly = nu;
  r.flux = SOLAR_CONSTANT * b.power / (z.dau * z.dau);
  if (!b.has_pole) r.ls = r.sdec = r.slon = std::nan("");
  if (b.mars && b.mars_year1 != 0.0) {
    const double ls = r.ls >= 359.99999 ? 0.0 : r.ls;
    r.mars_year = static_cast<std::int32_t>(1 + std::lround((days - b.mars_year1) / s.elements.PERIOD - ls / 360.0));
  }
  return r;
}

std::vector<std::string> season_notes(const SeasonBody& b, double first, double last, Calendar calendar) {
  std::vector<std::string> notes = b.notes;
  const std::string who = quoted_text(b.entry.name);
  const auto day = [calendar](double d) { return date_only(d, calendar); };
  // The date of the two farthest from a year or a day.
  const auto farthest = [&](double from) { return std::fabs(first - from) > std::fabs(last - from) ? first : last; };
  // Accurate positions over the whole span leave the mean elements unused;
  // a date outside them is said, and the mean elements stand in there.
  const bool covered = b.positions && b.positions->covers(first) && b.positions->covers(last);
  if (b.positions && !covered) {
    const double when = b.positions->covers(first) ? last : first;
    const std::string whose = b.positions_of == "EM-Bary" ? "the Earth-Moon barycentre"
                              : b.positions_of == "Earth" ? "the Earth"
                                                          : b.positions_of;
    // The years of the span: its first day and its last, less month and day.
    const auto year = [&](double d) {
      const std::string text = day(d);
      return text.substr(0, text.size() - 6);
    };
    notes.push_back(day(when) + " lies outside " + year(b.positions->first()) + " to " + year(b.positions->last() - 1.0) +
                    ", the years of the positions of " + whose + " (" + b.positions->describe() +
                    "): the mean elements of planelem.tab" +
                    (b.positions_of == "Earth" ? ", the Earth-Moon barycentre's," : "") + " stand in for them there");
  }
  if (!covered && std::isfinite(b.first_year) && (year_of(first) < b.first_year || year_of(last) >= b.last_year + 1.0)) {
    const double when = year_of(first) < b.first_year ? first : last;
    const std::string whose = b.entry.planet.empty() ? "of " + who : "of " + b.entry.planet + " (the orbit of " + who + ")";
    notes.push_back(day(when) + " lies outside " + number(b.first_year) + " to " + number(b.last_year) +
                    ", the years the mean elements " + whose + " in planelem.tab are fitted for: the orbit and Ls " +
                    "drift from the real ones outside them");
  }
  if (b.epoch_tcen) {
    const double epoch = 2000.0 + 100.0 * *b.epoch_tcen;
    const double when = farthest((epoch - 2000.0) * 365.25);
    const double years = std::fabs(year_of(when) - epoch);
    if (years > FAR_EPOCH_YEARS)
      notes.push_back("the elements and pole of " + who + " are frozen at the epoch " + number(epoch) + ", " +
                      std::to_string(std::lround(years)) + " years from " + day(when) +
                      ": the pole's precession and the orbit's turning since are left out");
  }
  if (b.osculating_span > 0.0) {
    const double when = farthest(b.osculating_epoch);
    if (std::fabs(when - b.osculating_epoch) > b.osculating_span)
      notes.push_back(day(when) + " lies " + std::to_string(std::lround(std::fabs(when - b.osculating_epoch) / 365.25)) +
                      " years from " + day(b.osculating_epoch) + ", where the elements of " + who +
                      " osculate; the numbers are given, but they drift away from it");
  }
  return notes;
}

}  // namespace kest
