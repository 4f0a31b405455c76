// Bodies given by their elements: the same numbers as a minor-body item
// give the item's seasons, poles turn from the ecliptic as published, and
// what cannot be set up is said, naming the key.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "elements/kelements.hpp"
#include "session.hpp"

namespace kest {
namespace {

const TableSet& shipped() {
  static const TableSet t(kest::testing::data_dir());
  return t;
}

// The angle between two directions given in degrees of longitude and
// latitude, degrees.
double separation(double lon1, double lat1, double lon2, double lat2) {
  const double r = RDEG;
  const double c = std::sin(lat1 * r) * std::sin(lat2 * r) + std::cos(lat1 * r) * std::cos(lat2 * r) * std::cos((lon1 - lon2) * r);
  return std::acos(std::min(1.0, c)) / r;
}

// Each minor body of the shipped table, given again by its numbers as the
// table holds them, has the item's rows to the bit.
TEST(GivenBody, EqualsTheMinorBodyItemOfTheSameNumbers) {
  const std::vector<double> dates = {-36525.0, 0.0, 9839.5, 9840.25, 20000.0};
  int compared = 0;
  for (const BodyEntry& entry : list_bodies(shipped())) {
    if (entry.table != 3) continue;
    SCOPED_TRACE(entry.name);
    SeasonBodyError error;
    const auto table_body = make_season_body(shipped(), entry, std::nullopt, error);
    ASSERT_TRUE(table_body) << error.message;
    const ReaderWork& w = table_body->model.work();
    const auto& V = w.VVV;
    GivenBody g;
    g.name = entry.name;
    std::string why;
    // Through the keys, as the command and a file of bodies give them.
    const std::string keys = "a=" + number(V[0]) + ",e=" + number(V[1]) + ",i=" + number(V[2]) + ",node=" +
                             number(V[3]) + ",peri=" + number(V[4]) + ",M=" + number(V[5]) + ",epoch=JD" +
                             number(w.EPOCH) + ",ra=" + number(V[6]) + ",dec=" + number(V[7]) +
                             ",rotation=" + number(V[9]) + "d";
    ASSERT_TRUE(set_given_keys(g, keys, why)) << why;
    const auto given = make_season_body(g, error);
    ASSERT_TRUE(given) << error.message;
    for (const double d : dates) {
      const SeasonRow a = season_row(*table_body, d), b = season_row(*given, d);
      EXPECT_EQ(std::tie(a.distance, a.ls, a.sdec, a.slon, a.true_anomaly, a.flux),
                std::tie(b.distance, b.ls, b.sdec, b.slon, b.true_anomaly, b.flux))
          << d;
    }
    ++compared;
  }
  EXPECT_EQ(compared, 8);
}

// The poles of the published table, given as J2000.0 ecliptic longitude
// and latitude (rounded to 0.001 degree), turn into its right ascension and
// declination.
TEST(GivenBody, EclipticPolesTurnIntoThePublishedEquatorialOnes) {
  struct Row {
    const char* body;
    double ra, dec, lon, lat;
  };
  const Row rows[] = {{"Ceres", 291.418, 66.764, 11.207, 81.555},   {"Pallas", 33.0, -3.0, 29.725, -15.329},
                      {"Vesta", 309.031, 42.235, 330.826, 57.724},  {"Eros", 11.35, 17.22, 17.219, 11.352},
                      {"Itokawa", 90.53, -66.30, 129.349, -89.664}, {"Ryugu", 96.43112, -66.38741, 179.090, -87.428},
                      {"Bennu", 85.46, -60.36, 69.83, -83.48}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.body);
    GivenBody g;
    g.lon = r.lon;
    g.lat = r.lat;
    const PoleDirection p = j2000_pole(g);
    EXPECT_LT(separation(p.ra, p.dec, r.ra, r.dec), 0.0015);
  }
}

// A B1950.0 ecliptic pole (pole flag 1): the command and the module take it
// precessed, as the reader's reference line shows it; the dialogue keeps the
// B1950.0 equatorial direction, which for this pole lies 0.69 degree away.
TEST(GivenBody, B1950EclipticPoleIsPrecessed) {
  std::string minor = R"(minor.tab
C_END
---------- 16 Psyche ----------
'16 Psyche'
2461200.5
2.924
0.134
3.10
150.0
229.6
10.0
32.0
-7.0
1
0.17483
)";
  TableSet tables(kest::testing::data_dir());
  tables.set_text(3, minor);
  const std::vector<BodyEntry> all = list_bodies(tables);
  const BodyMatch m = find_body(all, "minor:16 Psyche");
  ASSERT_TRUE(m.body);
  SeasonBodyError error;
  const auto b = make_season_body(tables, *m.body, std::nullopt, error);
  ASSERT_TRUE(b) << error.message;
  const ElementSet used = b->model.at(0.0);
  const ElementOutcome read = read_element_set(tables, m.body->request());
  ASSERT_TRUE(read.ok());
  const Vec3& reference = read.work.ZBAXX;  // the reference line, through the single-precision matrix
  const double ra = used.PRA / RDEG, dec = used.PDEC / RDEG;
  EXPECT_LT(separation(ra, dec, std::atan2(reference(2), reference(1)) / RDEG, std::asin(reference(3)) / RDEG), 2e-4);
  const double stored = separation(ra, dec, read.set.PRA / RDEG, read.set.PDEC / RDEG);
  EXPECT_NEAR(stored, 0.69, 0.02);
  bool said = false;
  for (const std::string& n : b->notes) said = said || n.find("pole flag 1") != std::string::npos;
  EXPECT_TRUE(said);
}

// What keeps a body from being set up is said naming its key.
TEST(GivenBody, RefusesWhatCannotBeSetUp) {
  const std::string orbit = "a=2.9,e=0.1,i=3,node=1,peri=2,tp=2020-01-01";
  struct Row {
    std::string keys;
    const char* says;
  };
  const Row rows[] = {
      {orbit + ",x=1", "unknown key 'x'"},
      {"a=2.9,e=0.1,i=3,node=1,tp=2020-01-01", "the key peri is missing"},
      {"a=2.9,e=1,i=3,node=1,peri=2,tp=2020-01-01", "e=1 gives no elliptic orbit"},
      {"a=-2,e=0.1,i=3,node=1,peri=2,tp=2020-01-01", "a=-2 is not above 0"},
      {"a=2.9,e=0.1,i=181,node=1,peri=2,tp=2020-01-01", "i=181 lies outside 0 to 180"},
      {"a=2.9,q=2.5,e=0.1,i=3,node=1,peri=2,tp=2020-01-01", "a or the perihelion distance q, one of them"},
      {"e=0.1,i=3,node=1,peri=2,tp=2020-01-01", "one of them"},
      {orbit + ",M=10,epoch=2020-01-01", "not both"},
      {"a=2.9,e=0.1,i=3,node=1,peri=2,M=10", "needs its epoch"},
      {orbit + ",a=3", "given twice"},
      {"a=2.9,e=0.1,i=inf,node=1,peri=2,tp=2020-01-01", "i=inf: not a finite number"},
      {"a=2.9,e=0.1,i=3,node=1,peri=2,tp=2020-02-30", "tp=2020-02-30: "},
      {orbit + ",ra=10", "needs both ra and dec"},
      {orbit + ",ra=10,dec=20,lon=3,lat=4", "not both"},
      {orbit + ",lon=10,lat=91", "lat=91 lies outside"},
      {orbit + ",frame=FK4", "give J2000 or B1950"},
      {orbit + ",rotation=-3h", "above 0"},
      {orbit + ",,e=0.2", "empty KEY=VALUE"},
      {orbit + ",e", "give KEY=VALUE"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.keys);
    GivenBody g;
    g.name = "X";
    std::string why;
    SeasonBodyError error;
    if (set_given_keys(g, r.keys, why)) {
      EXPECT_FALSE(make_season_body(g, error));
      why = error.message;
    }
    EXPECT_NE(why.find(r.says), std::string::npos) << why;
  }
}

// A body without a pole has its distance and flux, no Ls or subsolar
// point, and only its apsides for events; q stands for a(1 - e).
TEST(GivenBody, WithoutAPoleAndFromPerihelionDistance) {
  GivenBody g;
  g.name = "X";
  std::string why;
  ASSERT_TRUE(set_given_keys(g, "q=2.61,e=0.1,i=3,node=1,peri=2,tp=2020-01-01", why)) << why;
  SeasonBodyError error;
  const auto b = make_season_body(g, error);
  ASSERT_TRUE(b) << error.message;
  const SeasonRow r = season_row(*b, 7304.5);
  EXPECT_NEAR(r.distance, 2.61, 1e-12);
  EXPECT_TRUE(std::isnan(r.ls) && std::isnan(r.sdec) && std::isnan(r.slon));
  const auto events = find_season_events(*b, 7000.0, 10000.0, {0.0, 90.0});
  ASSERT_EQ(events.size(), 3U);
  for (const SeasonEvent& e : events) EXPECT_TRUE(e.what == "perihelion" || e.what == "aphelion") << e.what;
}

}  // namespace
}  // namespace kest
