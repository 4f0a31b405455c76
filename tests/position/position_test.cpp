// The cached positions against the series they are fitted to, and the
// apparent Sun against the almanac's instants.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include <unistd.h>

#include "position/kposition.hpp"

namespace kest {
namespace {

double length(const Vec3& a) { return std::sqrt(a(1) * a(1) + a(2) * a(2) + a(3) * a(3)); }
Vec3 minus(const Vec3& a, const Vec3& b) { return Vec3{{a(1) - b(1), a(2) - b(2), a(3) - b(3)}}; }

// At random dates, and at both sides of segment seams, the cache is within
// a thousandth of an arcsecond of the series, and its velocity within 2e-8
// of the series' own (the orbit plane, and so Mercury's Ls, rests on it;
// the series' velocity is a numerical derivative, good to about 5e-9);
// outside the series' years it gives nothing.
TEST(PlanetPositions, CacheFollowsTheSeriesFarWithinATenthOfAnArcsecond) {
  std::mt19937_64 random(20261211);
  for (const char* name : {"Mercury", "Venus", "Earth", "EM-Bary", "Mars", "Jupiter", "Saturn", "Uranus", "Neptune", "Pluto"}) {
    SCOPED_TRACE(name);
    const auto cache = planet_positions(name);
    const auto series = planet_series(name);
    ASSERT_TRUE(cache && series);
    EXPECT_EQ(cache.get(), planet_positions(name).get());
    const double first = std::fmax(series->first(), days_of_year(1800.0));
    const double last = std::fmin(series->last(), days_of_year(2200.0));
    std::uniform_real_distribution<double> date(first, last);
    const double seam = dynamic_cast<const ChebyshevCache&>(*cache).segment_days() * 1234.0;
    double worst_arcsec = 0.0, worst_speed = 0.0;
    for (int i = 0; i < 60; ++i) {
      const double d = i < 2 ? seam + (i == 0 ? -1e-7 : 0.0) : date(random);
      if (!series->covers(d)) continue;
      StateVector a, b;
      ASSERT_TRUE(cache->state(d, a));
      ASSERT_TRUE(series->state(d, b));
      worst_arcsec = std::fmax(worst_arcsec, length(minus(a.r, b.r)) / length(b.r) * 206264.806);
      worst_speed = std::fmax(worst_speed, length(minus(a.v, b.v)) / length(b.v));
    }
    EXPECT_LT(worst_arcsec, 1e-3);
    EXPECT_LT(worst_speed, 2e-8);
    StateVector untouched;
    untouched.r(1) = 7.0;
    EXPECT_FALSE(cache->state(series->first() - 1.0, untouched));
    EXPECT_FALSE(cache->state(series->last() + 1.0, untouched));
    EXPECT_EQ(untouched.r(1), 7.0);
  }
  EXPECT_EQ(planet_positions("Ceres"), nullptr);
  EXPECT_EQ(planet_positions("Earth")->describe(), "ERFA's eraEpv00");
}

// The years of the theories as dates: January 1 of the proleptic Gregorian
// calendar, before the year 0 too.
TEST(PlanetPositions, SpansInYears) {
  EXPECT_EQ(days_of_year(2000.0), -0.5);
  EXPECT_EQ(days_of_year(1900.0), -36524.5);
  EXPECT_EQ(days_of_year(-2000.0) - days_of_year(-1600.0), -146097.0);
  EXPECT_EQ(days_of_year(-4800.0) - days_of_year(-4000.0), -2.0 * 146097.0);
  EXPECT_EQ(planet_positions("Pluto")->first(), days_of_year(1885.0));
  EXPECT_EQ(planet_positions("Pluto")->last(), days_of_year(2100.0));
  for (const char* ok : {"accurate", "MEAN", "Mean"}) EXPECT_TRUE(parse_ephemeris(ok)) << ok;
  for (const char* bad : {"", "vsop87", "accurate "}) EXPECT_FALSE(parse_ephemeris(bad)) << bad;
}

// Equinoxes and solstices as the almanac gives them (TT): there the
// apparent longitude of the Sun is a multiple of 90 degrees, to within a
// few seconds of time (the Sun moves 0.04" a second).
TEST(ApparentSun, AtThePublishedEquinoxesAndSolstices) {
  const struct {
    double jd_tt;
    double longitude;
  } instants[] = {{2451623.81688, 0.0},  {2451989.06373, 0.0}, {2453084.78452, 0.0},
                  {2460754.87683, 0.0},  {2460847.61348, 90.0}, {2451716.5755, 90.0}};
  const auto earth = planet_positions("Earth");
  for (const auto& at : instants) {
    SCOPED_TRACE(at.jd_tt);
    StateVector sv;
    ASSERT_TRUE(earth->state(at.jd_tt - 2451545.0, sv));
    const ApparentSun sun = apparent_sun(at.jd_tt - 2451545.0, sv);
    const double off = std::remainder(sun.longitude - at.longitude, 360.0) * 3600.0;
    EXPECT_LT(std::fabs(off), 0.04 * 10.0) << off << "\"";
    // At the solstice the declination is the obliquity of date.
    EXPECT_NEAR(sun.declination, at.longitude == 0.0 ? 0.0 : 23.4377, 0.0025);
  }
}

}  // namespace
}  // namespace kest

namespace kest {
namespace {

// Segments fitted ahead into a file are the segments a run fits, to the
// bit; a segment whose bytes are damaged, and a file of another cache or
// cut short, are passed over and the segments fitted again.
TEST(FittedSegments, AreTheRunsOwnAndDamageIsPassedOver) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("kest-fitted-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const auto plain = planet_cache("Mars");
  ASSERT_TRUE(plain);
  const std::filesystem::path file = dir / "Mars.cheb";
  std::string error;
  ASSERT_TRUE(write_fitted_segments(*plain, 140, 20, file, error)) << error;
  const auto same = [&](const ChebyshevCache& c) {
    for (double d = 140 * 64.0 - 30.0; d < 160 * 64.0 + 30.0; d += 7.3) {
      StateVector a, b;
      if (!c.state(d, a) || !plain->state(d, b)) return false;
      if (!(a.r == b.r && a.v == b.v)) return false;
    }
    return true;
  };
  const auto fitted = planet_cache("Mars", file);
  EXPECT_EQ(fitted->fitted_first(), 140);
  EXPECT_EQ(fitted->fitted_count(), 20);
  EXPECT_TRUE(same(*fitted));
  // A damaged byte in a segment; a file cut short; one of another degree.
  std::string bytes;
  {
    std::ifstream in(file, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), {});
  }
  const auto write = [&](const std::string& b) { std::ofstream(file, std::ios::binary | std::ios::trunc) << b; };
  std::string damaged = bytes;
  damaged[48 + 5 * 416 + 100] ^= 0x10;
  write(damaged);
  const auto with_damage = planet_cache("Mars", file);
  EXPECT_EQ(with_damage->fitted_count(), 20);
  EXPECT_TRUE(same(*with_damage));
  for (const std::string& broken : {bytes.substr(0, bytes.size() - 9), std::string("kest positions 1"), std::string()}) {
    write(broken);
    const auto c = planet_cache("Mars", file);
    EXPECT_EQ(c->fitted_count(), 0) << broken.size();
    EXPECT_TRUE(same(*c));
  }
  write(bytes);
  ChebyshevCache mismatched(planet_series("Mars"), 64.0, 12, file);
  EXPECT_EQ(mismatched.fitted_count(), 0);
  EXPECT_FALSE(write_fitted_segments(*plain, 0, 1, dir / "no-such-dir" / "Mars.cheb", error));
  EXPECT_NE(error.find("no-such-dir"), std::string::npos) << error;
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace kest
