// The Sun at a place against direct computations: zenith and azimuth from
// the subsolar point by vectors, the diurnal mean insolation by summing the
// insolation over the day, the Earth's day length at 60 N, and local times
// that run forward on bodies turning either way.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "session.hpp"
#include "surface/ksurface.hpp"

namespace kest {
namespace {

constexpr double D = 3.14159265358979323846 / 180.0;

// The Sun's direction in the sky from the subsolar point by vectors: the
// zenith angle from the local vertical, the azimuth from the local north
// and east axes.
TEST(SunAtPlace, AnglesEqualTheVectorsOfTheSubsolarPoint) {
  const double places[][2] = {{0, 0}, {18.44, 77.45}, {-70, 300}, {89.9, 10}, {-45, 181}, {60, -30}};
  const double suns[][2] = {{0, 0}, {25.19, 100}, {-23.4, 359}, {10, 200}};
  for (const auto& sun : suns) {
    SeasonRow r;
    r.sdec = sun[0], r.slon = sun[1], r.flux = 590.0;
    SolarDay day;
    day.length = 1.0275;
    const double s[] = {std::cos(sun[0] * D) * std::cos(sun[1] * D), std::cos(sun[0] * D) * std::sin(sun[1] * D),
                        std::sin(sun[0] * D)};
    for (const auto& p : places) {
      const double la = p[0] * D, lo = p[1] * D;
      const double up[] = {std::cos(la) * std::cos(lo), std::cos(la) * std::sin(lo), std::sin(la)};
      const double east[] = {-std::sin(lo), std::cos(lo), 0.0};
      const double north[] = {-std::sin(la) * std::cos(lo), -std::sin(la) * std::sin(lo), std::cos(la)};
      const auto dot = [&](const double* a) { return a[0] * s[0] + a[1] * s[1] + a[2] * s[2]; };
      const SunAtPlace a = sun_at_place(r, day, p[0], p[1]);
      SCOPED_TRACE(std::to_string(p[0]) + " " + std::to_string(p[1]) + " sun " + std::to_string(sun[1]));
      EXPECT_NEAR(a.zenith, std::acos(dot(up)) / D, 1e-6);
      EXPECT_NEAR(a.elevation, 90.0 - std::acos(dot(up)) / D, 1e-6);
      EXPECT_NEAR(std::remainder(a.azimuth - std::atan2(dot(east), dot(north)) / D, 360.0), 0.0, 1e-6);
      EXPECT_NEAR(a.insolation, dot(up) > 0 ? 590.0 * dot(up) : 0.0, 1e-9);
    }
  }
}

// The diurnal mean against the insolation summed over 20000 hour angles,
// polar day and night included; the fraction of the day against the share
// of those hour angles with the Sun up.
TEST(SunAtPlace, DiurnalMeanEqualsTheSumOverTheDay) {
  const double decs[] = {0.0, 25.19, -23.44, 82.0};
  const double lats[] = {-90.0, -80.0, -45.0, 0.0, 30.0, 64.0, 66.0, 89.0, 90.0};
  for (const double dec : decs) {
    for (const double lat : lats) {
      const int n = 20000;
      double sum = 0.0, up = 0.0;
      for (int k = 0; k < n; ++k) {
        const double h = (-180.0 + 360.0 * (k + 0.5) / n) * D;
        const double cz = std::sin(lat * D) * std::sin(dec * D) + std::cos(lat * D) * std::cos(dec * D) * std::cos(h);
        if (cz > 0.0) sum += cz, up += 1.0;
      }
      const LatitudeDay d = day_at_latitude(1000.0, dec, lat);
      SCOPED_TRACE(std::to_string(dec) + " at " + std::to_string(lat));
      EXPECT_NEAR(d.mean_insolation, 1000.0 * sum / n, 1e-4 + 1e-6 * d.mean_insolation);
      EXPECT_NEAR(d.fraction, up / n, 2.0 / n);
      const DayKind kind = up == n ? DayKind::polar_day : (up == 0 ? DayKind::polar_night : DayKind::rises_and_sets);
      EXPECT_EQ(d.kind, kind);
    }
  }
}

// On shipped bodies: the Earth's day at 60 N on the June solstice of 2024
// (geometric, no refraction: 18 h 29 min), and local times that run forward
// with time on Mars and on Venus, whose solar day is retrograde (its Sun
// rises in the west).
TEST(SunAtPlace, ShippedBodies) {
  const TableSet tables(kest::testing::data_dir());
  const auto bodies = list_bodies(tables);
  SeasonBodyError error;
  const auto earth = make_season_body(tables, *find_body(bodies, "Earth").body, std::nullopt, error);
  ASSERT_TRUE(earth) << error.message;
  SolarDay day;
  const SeasonRow r = season_row(*earth, 8937.37, &day);  // 2024-06-20T20:53 TT
  const SunAtPlace e = sun_at_place(r, day, 60.0, 0.0);
  EXPECT_NEAR(e.day_length, 18.0 + 29.0 / 60.0, 1.0 / 60.0);
  for (const char* name : {"Mars", "Venus"}) {
    const auto b = make_season_body(tables, *find_body(bodies, name).body, std::nullopt, error);
    ASSERT_TRUE(b) << error.message;
    SolarDay d0, d1;
    const SeasonRow r0 = season_row(*b, 9000.0, &d0), r1 = season_row(*b, 9000.01, &d1);
    const SunAtPlace a = sun_at_place(r0, d0, 10.0, 40.0), c = sun_at_place(r1, d1, 10.0, 40.0);
    EXPECT_GT(std::remainder(c.ltst - a.ltst, 24.0), 0.0) << name;
    // The morning Sun in the east for Mars, in the west for Venus.
    const SunAtPlace morning = sun_at_place(r0, d0, 0.0, std::fmod(r0.slon + (d0.length > 0 ? -60.0 : 60.0) + 360.0, 360.0));
    EXPECT_NEAR(morning.ltst, 8.0, 1e-9) << name;
    EXPECT_NEAR(morning.azimuth, d0.length > 0 ? 90.0 : 270.0, 30.0) << name;
  }
}

}  // namespace
}  // namespace kest
