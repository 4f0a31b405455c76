// The season row of a state vector against the mean-element geometry, and
// bodies of the tables on their accurate positions.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "elements/kelements.hpp"
#include "elements_fixture.hpp"
#include "session.hpp"

namespace kest {
namespace {

SeasonBody body(const char* name, bool accurate) { return testing_elements::shipped_body(name, accurate); }

double angle_off(double a, double b) { return std::fabs(std::remainder(a - b, 360.0)); }

// The mean elements as a position source, put through the state row, give
// the rows of the elements' own geometry: the osculating plane of a Kepler
// ellipse is its plane, and the state row's Ls, subsolar point, anomaly and
// mean Sun are the ellipse's.
TEST(StateRow, OfTheMeanElementsIsTheMeanElementsRow) {
  for (const char* name : {"Mercury", "Earth", "Mars", "Saturn", "Europa", "Uranus"}) {
    SCOPED_TRACE(name);
    const SeasonBody b = body(name, false);
    const MeanElements mean(b.model);
    for (const double days : {-36000.0, -5000.0, 0.0, 9131.5, 20000.0}) {
      StateVector sv;
      ASSERT_TRUE(mean.state(days, sv));
      const ElementSet e = b.model.at(days / 36525.0);
      const double n = 2.0 * PICON / e.PERIOD;
      SolarDay want_day, got_day;
      const SeasonRow want = season_row(b, days, &want_day);
      const SeasonRow got = state_row(b, days, b.spin.at(days), sv, n * n * e.SJA * e.SJA * e.SJA, &got_day);
      EXPECT_NEAR(got.distance, want.distance, 1e-13);
      EXPECT_LT(angle_off(got.ls, want.ls), 1e-9) << days;
      EXPECT_NEAR(got.sdec, want.sdec, 1e-9);
      EXPECT_LT(angle_off(got.slon, want.slon), 1e-9);
      EXPECT_LT(angle_off(got.true_anomaly, want.true_anomaly), 1e-8);
      EXPECT_LT(angle_off(got_day.sun_ra, want_day.sun_ra), 1e-9);
      EXPECT_LT(angle_off(got_day.mean_ra, want_day.mean_ra), 1e-8);
      EXPECT_NEAR(got_day.length / want_day.length, 1.0, 1e-9);
    }
  }
}

// On accurate positions the rows stay near the mean elements' (which are
// fitted to the same planets), Mars years count on, satellites move with
// their planet, and outside the positions' years the mean rows come back.
TEST(AccuratePositions, RowsNearTheMeanOnesAndTheMeanOnesOutsideTheirYears) {
  const struct {
    const char* name;
    double ls_within;  // degrees, 1960-2049; Mercury's orbit plane tilts 1" for 0.5 degree of Ls
    double au_within;
  } bodies[] = {{"Mercury", 0.2, 5e-5}, {"Venus", 0.02, 6e-5}, {"Earth", 0.03, 1e-4}, {"Mars", 0.05, 6e-4},
                {"Jupiter", 0.2, 5e-3},  {"Saturn", 0.25, 2e-2}, {"Europa", 0.2, 5e-3},  {"Pluto", 0.2, 0.2}};
  for (const auto& row : bodies) {
    SCOPED_TRACE(row.name);
    const SeasonBody mean = body(row.name, false);
    const SeasonBody accurate = body(row.name, true);
    ASSERT_TRUE(accurate.positions);
    for (double days = -14600.0; days < 18000.0; days += 997.0) {
      const SeasonRow a = season_row(accurate, days), m = season_row(mean, days);
      EXPECT_LT(angle_off(a.ls, m.ls), row.ls_within) << days;
      EXPECT_NEAR(a.distance, m.distance, row.au_within) << days;
      EXPECT_EQ(a.mars_year, m.mars_year) << days;
    }
    const double outside = accurate.positions->first() - 100.0;
    const SeasonRow a = season_row(accurate, outside), m = season_row(mean, outside);
    EXPECT_EQ(a.ls, m.ls);
    EXPECT_EQ(a.distance, m.distance);
  }
  EXPECT_EQ(body("Europa", true).positions, planet_positions("Jupiter"));
  EXPECT_EQ(body("Moon", true).positions, planet_positions("EM-Bary"));
  EXPECT_EQ(body("Earth", true).positions, planet_positions("Earth"));
  // Kinds without a theory keep their elements; the apparent Sun is the
  // Earth's alone.
  SeasonBody ceres = body("1 Ceres", false);
  SeasonBodyError error;
  EXPECT_TRUE(use_accurate_positions(ceres, false, error));
  EXPECT_EQ(ceres.positions, nullptr);
  SeasonBody mars = body("Mars", false);
  EXPECT_FALSE(use_accurate_positions(mars, true, error));
  EXPECT_NE(error.message.find("'Mars' has no apparent Ls"), std::string::npos) << error.message;
}

// Published instants of the Earth (TT): its 2025 perihelion within an hour,
// and with the apparent Sun its equinoxes and solstices within a minute.
TEST(AccuratePositions, TheEarthsPublishedEvents) {
  const SeasonBody earth = body("Earth", true);
  const auto events = find_season_events(earth, 9120.0, 9140.0, {});
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].what, "perihelion");
  EXPECT_NEAR(events[0].row.days, 2460680.0619 - 2451545.0, 1.0 / 24.0);
  EXPECT_NEAR(events[0].row.distance, 0.983327400, 1e-8);
  SeasonBody apparent = body("Earth", false);
  SeasonBodyError error;
  ASSERT_TRUE(use_accurate_positions(apparent, true, error)) << error.message;
  const struct {
    double jd_tt;
    double ls;
  } almanac[] = {{2451623.81688, 0.0}, {2451716.57554, 90.0}, {2453084.78452, 0.0}, {2460754.87683, 0.0},
                 {2460847.61348, 90.0}};
  for (const auto& at : almanac) {
    const auto found = find_season_events(apparent, at.jd_tt - 2451545.0 - 2.0, at.jd_tt - 2451545.0 + 2.0, {at.ls});
    ASSERT_FALSE(found.empty());
    const auto& e = found.front().what == "Ls=" + number(at.ls) ? found.front() : found.back();
    EXPECT_NEAR(e.row.days, at.jd_tt - 2451545.0, 1.0 / 1440.0) << at.jd_tt;
  }
}

}  // namespace
}  // namespace kest
