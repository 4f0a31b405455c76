// A body of the tables on accurate positions, and its season row from a
// state vector through the osculating orbit plane.

#include <cmath>
#include <cstdint>
#include <string>

#include "elements/kelements.hpp"
#include "math/kmath.hpp"
#include "position/kposition.hpp"
#include "rotation/krotation.hpp"

namespace kest {

namespace {

// The Gaussian gravitational constant: the Sun's GM is its square, AU^3 a
// day^2.
constexpr double GAUSS_K = 0.01720209895;

// The Sun's mass over each planet's (with its satellites), as JPL's DE405
// takes them.
struct Mass {
  std::string_view planet;
  double sun_over_planet;
};
constexpr Mass MASSES[] = {{"Mercury", 6023600.0}, {"Venus", 408523.71},   {"Earth", 332946.050895},
                           {"EM-Bary", 328900.56}, {"Mars", 3098708.0},    {"Jupiter", 1047.3486},
                           {"Saturn", 3497.898},   {"Uranus", 22902.98},   {"Neptune", 19412.24},
                           {"Pluto", 135200000.0}};

double dot(const Vec3& a, const Vec3& b) { return a(1) * b(1) + a(2) * b(2) + a(3) * b(3); }
Vec3 cross(const Vec3& a, const Vec3& b) {
  Vec3 w;
  vcross(a, b, w);
  return w;
}
Vec3 unit(const Vec3& a) {
  const double n = std::sqrt(dot(a, a));
  return Vec3{{a(1) / n, a(2) / n, a(3) / n}};
}
double degrees(double radians) { return radians * (180.0 / PICON); }

// The planet whose positions a body of the tables takes, or "".
std::string planet_of(const SeasonBody& b) {
  if (b.entry.table == 1) return b.entry.name;
  if (b.entry.table != 2) return "";
  if (b.entry.planet == "EM-Bary" && b.entry.name == "Earth") return "Earth";
  return b.entry.planet;
}

}  // namespace

bool use_accurate_positions(SeasonBody& b, bool apparent, SeasonBodyError& error) {
  const std::string planet = b.frozen ? std::string() : planet_of(b);
  auto positions = planet.empty() ? nullptr : planet_positions(planet);
  if (apparent && !(positions && planet == "Earth" && b.entry.name == "Earth")) {
    error.message = "the apparent Sun is the Earth's: " + quoted_text(b.entry.name) + " has no apparent Ls" +
                    (b.frozen ? " (and the Earth frozen at an epoch has none either)" : "");
    return false;
  }
  if (!positions) return true;
  b.positions = std::move(positions);
  b.positions_of = planet;
  b.apparent = apparent;
  for (const Mass& m : MASSES)
    if (m.planet == planet) b.gm = GAUSS_K * GAUSS_K * (1.0 + 1.0 / m.sun_over_planet);
  b.year_period = b.model.at(0.0).PERIOD;
  // The Earth is now itself, not the barycentre that stood in for it.
  if (planet == "Earth") std::erase_if(b.notes, [](const std::string& n) { return n.find("barycentre") != n.npos; });
  if (planet != b.entry.name)
    b.notes.push_back(quoted_text(b.entry.name) + " moves with " +
                      (planet == "EM-Bary" ? std::string("the Earth-Moon barycentre") : planet) + ", whose positions (" +
                      b.positions->describe() + ") it takes");
  if (b.mars) b.mars_year1 = mars_year_start(b);
  return true;
}

SeasonRow state_row(const SeasonBody& b, double days, const Orientation& o, const StateVector& sv, double mu,
                    SolarDay* day) {
  const Vec3& r = sv.r;
  const Vec3& v = sv.v;
  const Vec3 h = cross(r, v);
  const Vec3 n = unit(h);
  const double ra = o.ra * RAD_PER_DEG, dec = o.dec * RAD_PER_DEG;
  const Vec3 p = {{std::cos(dec) * std::cos(ra), std::cos(dec) * std::sin(ra), std::sin(dec)}};
  const double rr = std::sqrt(dot(r, r));
  // The osculating ellipse: its perihelion direction and eccentricity.
  const Vec3 vh = cross(v, h);
  const Vec3 ev = {{vh(1) / mu - r(1) / rr, vh(2) / mu - r(2) / rr, vh(3) / mu - r(3) / rr}};
  const double e = std::sqrt(dot(ev, ev));
  const Vec3 peri = unit(ev);
  // The equinox: the pole crossed with the normal; along the normal, the
  // perihelion, as the frame of the elements takes it.
  const Vec3 pn = cross(p, n);
  const Vec3 x = std::sqrt(dot(pn, pn)) < 1e-6 ? peri : unit(pn);
  const Vec3 y = cross(n, x);
  const Vec3 to_sun = {{-r(1), -r(2), -r(3)}};
  SeasonRow row;
  row.days = days;
  row.distance = rr;
  row.ls = wrapped(degrees(std::atan2(dot(y, to_sun), dot(x, to_sun))), 360.0);
  row.sdec = degrees(std::asin(std::fmax(-1.0, std::fmin(1.0, dot(p, to_sun) / rr))));
  row.slon = surface_longitude(o, p, to_sun);
  const double nu = wrapped(degrees(std::atan2(dot(cross(peri, r), n), dot(peri, r))), 360.0);
  row.true_anomaly = nu;
  row.flux = SOLAR_CONSTANT * b.power / (rr * rr);
  if (b.apparent) {
    const ApparentSun a = apparent_sun(days, sv);
    row.ls = a.longitude;
    row.sdec = a.declination;
  }
  if (day) {
    // The Sun's longitude along the equator from the equinox: the body
    // frame's x is the equinox, its y the pole crossed with it.
    const Vec3 py = cross(p, x);
    day->sun_ra = wrapped(degrees(std::atan2(dot(py, to_sun), dot(x, to_sun))), 360.0);
    const double half = 0.5 * nu * RAD_PER_DEG;
    const double E = 2.0 * std::atan2(std::sqrt(1.0 - e) * std::sin(half), std::sqrt(1.0 + e) * std::cos(half));
    const double mean_anomaly = degrees(E - e * std::sin(E));
    day->mean_ra = wrapped(mean_anomaly + row.ls - nu, 360.0);
    const double a = 1.0 / (2.0 / rr - dot(v, v) / mu);
    const double motion = degrees(std::sqrt(mu / (a * a * a)));
    day->length = std::isfinite(b.spin.W1) ? 360.0 / (b.spin.W1 - motion) : std::nan("");
  }
  if (!b.has_pole) row.ls = row.sdec = row.slon = std::nan("");
  if (b.mars && b.mars_year1 != 0.0) {
    const double ls = row.ls >= 359.99999 ? 0.0 : row.ls;
    row.mars_year = static_cast<std::int32_t>(1 + std::lround((days - b.mars_year1) / b.year_period - ls / 360.0));
  }
  return row;
}

bool MeanElements::state(double days, StateVector& out) const {
  const ElementSet e = model_.at(days / 36525.0);
  const BodySetup s = set_up_body(e, model_.table());
  const OrbitPosition o = orbit_position(e.SJA, e.PERIOD, e.ECC, days - e.TJP);
  // The ellipse's velocity: the eccentric anomaly moves at n / (1 - e cos E).
  const double rate = (2.0 * PICON / e.PERIOD) / (1.0 - e.ECC * std::cos(o.ecc_anom));
  const Vec3 v = {{-e.SJA * std::sin(o.ecc_anom) * rate, e.SJA * std::sqrt(1.0 - e.ECC * e.ECC) * std::cos(o.ecc_anom) * rate, 0.0}};
  rotvec(s.frame.AFRM, o.pos, out.r);
  rotvec(s.frame.AFRM, v, out.v);
  return true;
}

}  // namespace kest
