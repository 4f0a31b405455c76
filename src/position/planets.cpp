// The accurate positions of the planets: VSOP87 and Pluto through libnova,
// the Earth and the Earth-Moon barycentre through ERFA.

#include <libnova/libnova.h>
#include <erfa.h>

#include <cctype>
#include <cmath>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "position/kposition.hpp"
#include "textio/textio.hpp"

namespace kest {

namespace {

constexpr double DJ_J2000 = 2451545.0;
constexpr double RAD = 3.14159265358979323846 / 180.0;
// The Earth-Moon mass ratio of JPL's DE405, which the Moon's theory follows.
constexpr double EARTH_MOON_RATIO = 81.30056;

// From the frame of VSOP87 (the dynamical ecliptic and equinox of J2000.0)
// to the equator: the rotation by the obliquity of the theory's authors'
// matrix to the FK5 equator (23 deg 26' 21.409"), without its shift of the
// FK5 catalogue's equinox (0.09"). VSOP87 is fitted to JPL's DE200, whose
// axes lie within some 0.01" of the ICRF's: the states stand on the ICRF's
// axes as they are, 0.03" from DE405's directions where the FK5 shift, or
// the frame bias of the dynamical equator, would leave 0.1" and 0.04"; an
// orbit plane off by that much turns Mercury's Ls 1,700 times as far.
constexpr double VSOP87_TO_EQUATOR[3][3] = {{1.0, 0.0, 0.0},
                                            {0.0, 0.917482137087, -0.397776982902},
                                            {0.0, 0.397776982902, 0.917482137087}};

struct Bias {
  double rb[3][3];
  Bias() {
    double rp[3][3], rbp[3][3];
    eraBp06(DJ_J2000, 0.0, rb, rp, rbp);
  }
};

// An ecliptic direction and distance (degrees, AU) on the ICRF's axes, by
// the given ecliptic-to-equator matrix, and with bias the frame bias of the
// IAU 2006 model from the mean equator and equinox of J2000.0.
Vec3 to_icrf(const ln_helio_posn& p, const double (&m)[3][3], bool bias) {
  static const Bias frame_bias;
  const double l = p.L * RAD, b = p.B * RAD;
  const double e[3] = {p.R * std::cos(b) * std::cos(l), p.R * std::cos(b) * std::sin(l), p.R * std::sin(b)};
  double q[3];
  for (int i = 0; i < 3; ++i) q[i] = m[i][0] * e[0] + m[i][1] * e[1] + m[i][2] * e[2];
  if (!bias) return Vec3{{q[0], q[1], q[2]}};
  // The bias turns the ICRF into the mean J2000.0 frame: its transpose back.
  Vec3 g;
  for (int i = 0; i < 3; ++i) {
    const auto k = static_cast<std::size_t>(i);
    g[k] = frame_bias.rb[0][i] * q[0] + frame_bias.rb[1][i] * q[1] + frame_bias.rb[2][i] * q[2];
  }
  return g;
}

// The velocity of a position series: a derivative of fourth order over
// steps of h days.
template <typename F>
Vec3 derivative(const F& position, double days, double h) {
  const Vec3 a = position(days + h), b = position(days - h), c = position(days + 2.0 * h), d = position(days - 2.0 * h);
  Vec3 v;
  for (int i = 1; i <= 3; ++i) v(i) = (8.0 * (a(i) - b(i)) - (c(i) - d(i))) / (12.0 * h);
  return v;
}

using LnPosition = void (*)(double, ln_helio_posn*);

class LibnovaSource final : public PositionSource {
 public:
  LibnovaSource(LnPosition f, bool vsop87, double first_year, double last_year, std::string what)
      : f_(f), vsop87_(vsop87), first_(days_of_year(first_year)), last_(days_of_year(last_year + 1.0)),
        what_(std::move(what)) {}
  bool state(double days, StateVector& out) const override {
    if (!covers(days)) return false;
    const auto at = [this](double d) { return position(d); };
    out.r = position(days);
    out.v = derivative(at, days, 0.05);
    return true;
  }
  bool position(double days, Vec3& r) const override {
    if (!covers(days)) return false;
    r = position(days);
    return true;
  }
  double first() const override { return first_; }
  double last() const override { return last_; }
  std::string describe() const override { return what_; }

 private:
  Vec3 position(double days) const {
    ln_helio_posn p{};
    {
      // libnova keeps the last result of each theory in static storage.
      static std::mutex one_at_a_time;
      const std::lock_guard<std::mutex> hold(one_at_a_time);
      f_(DJ_J2000 + days, &p);
    }
    if (vsop87_) return to_icrf(p, VSOP87_TO_EQUATOR, false);
    // Pluto's theory is referred to the FK5 ecliptic and equinox of J2000.0.
    static const double ecliptic[3][3] = {
        {1.0, 0.0, 0.0},
        {0.0, std::cos(84381.448 / 3600.0 * RAD), -std::sin(84381.448 / 3600.0 * RAD)},
        {0.0, std::sin(84381.448 / 3600.0 * RAD), std::cos(84381.448 / 3600.0 * RAD)}};
    return to_icrf(p, ecliptic, true);
  }
  LnPosition f_;
  bool vsop87_;
  double first_, last_;
  std::string what_;
};

// The Earth itself, or with the Moon the Earth-Moon barycentre.
class EarthSource final : public PositionSource {
 public:
  explicit EarthSource(bool barycentre) : barycentre_(barycentre) {}
  bool state(double days, StateVector& out) const override {
    if (!covers(days)) return false;
    double pvh[2][3], pvb[2][3];
    eraEpv00(DJ_J2000, days, pvh, pvb);
    if (barycentre_) {
      double moon[2][3];
      eraMoon98(DJ_J2000, days, moon);
      for (int k = 0; k < 2; ++k)
        for (int i = 0; i < 3; ++i) pvh[k][i] += moon[k][i] / (1.0 + EARTH_MOON_RATIO);
    }
    out.r = Vec3{{pvh[0][0], pvh[0][1], pvh[0][2]}};
    out.v = Vec3{{pvh[1][0], pvh[1][1], pvh[1][2]}};
    return true;
  }
  double first() const override { return days_of_year(1900.0); }
  double last() const override { return days_of_year(2101.0); }
  std::string describe() const override {
    return barycentre_ ? "ERFA's eraEpv00 and eraMoon98" : "ERFA's eraEpv00";
  }

 private:
  bool barycentre_;
};

// How each planet's series is cached: the segment (days) and the degree.
struct Planet {
  std::string_view name;
  LnPosition f;  // nullptr: the Earth (or the barycentre)
  double first_year, last_year;
  double segment;
};

constexpr Planet PLANETS[] = {
    {"Mercury", ln_get_mercury_helio_coords, -2000.0, 5999.0, 16.0},
    {"Venus", ln_get_venus_helio_coords, -2000.0, 5999.0, 64.0},
    {"Earth", nullptr, 1900.0, 2100.0, 16.0},
    {"EM-Bary", nullptr, 1900.0, 2100.0, 16.0},
    {"Mars", ln_get_mars_helio_coords, -2000.0, 5999.0, 64.0},
    {"Jupiter", ln_get_jupiter_helio_coords, 0.0, 3999.0, 64.0},
    {"Saturn", ln_get_saturn_helio_coords, 0.0, 3999.0, 64.0},
    {"Uranus", ln_get_uranus_helio_coords, -4000.0, 7999.0, 64.0},
    {"Neptune", ln_get_neptune_helio_coords, -4000.0, 7999.0, 32.0},
    {"Pluto", ln_get_pluto_helio_coords, 1885.0, 2099.0, 256.0},
};
// The segments are as long as keeps the fit's error some thousand times
// below 0.1" for a degree of 16: the series of the outer planets hold
// terms of some weeks (the inner planets' pull), which set their length.
constexpr int DEGREE = 16;

const Planet* planet_named(std::string_view name) {
  for (const Planet& p : PLANETS)
    if (p.name == name) return &p;
  return nullptr;
}

std::shared_ptr<const PositionSource> series_of(const Planet& p) {
  if (!p.f) return std::make_shared<EarthSource>(p.name == "EM-Bary");
  const bool vsop87 = p.name != "Pluto";
  return std::make_shared<LibnovaSource>(p.f, vsop87, p.first_year, p.last_year,
                                         vsop87 ? "VSOP87 (libnova)" : "libnova's theory of Pluto");
}

}  // namespace

double days_of_year(double year) {
  // January 1.0 of the year as a calendar date, through ERFA's calendar
  // (proleptic Gregorian), taken back past its first year by 400-year cycles.
  double y = year, shift = 0.0;
  while (y < -4000.0) {
    y += 400.0;
    shift -= 146097.0;
  }
  double djm0 = 0.0, djm = 0.0;
  eraCal2jd(static_cast<int>(y), 1, 1, &djm0, &djm);
  return djm0 + djm - DJ_J2000 + shift;
}

std::optional<Ephemeris> parse_ephemeris(std::string_view name) {
  std::string lower(name);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower == EPHEMERIS_NAMES[0]) return Ephemeris::accurate;
  if (lower == EPHEMERIS_NAMES[1]) return Ephemeris::mean;
  return std::nullopt;
}

std::string unknown_ephemeris(std::string_view name) {
  std::string names;
  for (const std::string_view n : EPHEMERIS_NAMES) names += (names.empty() ? "" : ", ") + std::string(n);
  return "no ephemeris is named " + quoted_text(name) + "; the names are " + names;
}

std::shared_ptr<const PositionSource> planet_series(std::string_view name) {
  const Planet* p = planet_named(name);
  return p ? series_of(*p) : nullptr;
}

std::unique_ptr<ChebyshevCache> planet_cache(std::string_view name, const std::filesystem::path& fitted) {
  const Planet* p = planet_named(name);
  return p ? std::make_unique<ChebyshevCache>(series_of(*p), p->segment, DEGREE, fitted) : nullptr;
}

std::shared_ptr<const PositionSource> planet_positions(std::string_view name) {
  const Planet* p = planet_named(name);
  if (!p) return nullptr;
  // One cache a planet for the whole program, made when first asked for.
  static std::shared_ptr<const PositionSource> caches[std::size(PLANETS)];
  static std::once_flag made[std::size(PLANETS)];
  const auto i = static_cast<std::size_t>(p - PLANETS);
  std::call_once(made[i], [&] { caches[i] = planet_cache(name, fitted_segments_file(name)); });
  return caches[i];
}

std::vector<PlanetFit> planets_fitted_ahead() {
  std::vector<PlanetFit> out;
  for (const Planet& p : PLANETS)
    out.push_back({p.name, std::fmax(p.first_year, FIT_AHEAD_FIRST_YEAR), std::fmin(p.last_year, FIT_AHEAD_LAST_YEAR)});
  return out;
}

std::filesystem::path fitted_segments_file(std::string_view name) {
  namespace fs = std::filesystem;
  static const std::vector<fs::path> dirs = [] {
    std::vector<fs::path> d;
    if (const fs::path program = program_directory(); !program.empty()) {
      d.push_back(program / "positions");
      d.push_back((program / KEST_TABLES_FROM_BINDIR / "positions").lexically_normal());
    }
    d.push_back(fs::path(KEST_TABLES_DATADIR) / "positions");
    return d;
  }();
  for (const fs::path& dir : dirs) {
    std::error_code ec;
    fs::path file = dir / (std::string(name) + ".cheb");
    if (fs::is_regular_file(file, ec)) return file;
  }
  return {};
}

}  // namespace kest
