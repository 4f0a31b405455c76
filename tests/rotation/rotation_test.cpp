// Rotation models: the reader of the rotation table, the shipped models
// against the published ones evaluated independently, and the subsolar
// point they give the seasons of a body.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "elements/kelements.hpp"
#include "rotation/krotation.hpp"
#include "session.hpp"

namespace kest {
namespace {

const RotationTable& shipped() {
  static const RotationTable t = [] {
    std::string why;
    const auto src = open_source((kest::testing::data_dir() / "rotation.tab").string(), &why);
    EXPECT_TRUE(src) << why;
    auto table = read_rotation_table(*src, why);
    EXPECT_TRUE(table) << why;
    return table ? *table : RotationTable{};
  }();
  return t;
}

// A damaged table is refused at the line at fault; a good one is read whole,
// names standing for a model included.
TEST(RotationTable, ReadsWhatItHoldsAndRefusesDamageByLine) {
  const struct {
    const char* text;
    const char* error;  // "" when the table is good
  } rows[] = {
      {"head\nc_end\nA 1 2 3 4 5 6 7\n  term 1 2 3 4 5 6  # comment\n\nB = A\n", ""},
      {"head\nno marker\n", "no C_END line ends the header"},
      {"C_END\n# only a comment\n", "it holds no body"},
      {"C_END\nterm 1 2 3 4 5 6\n", "line 2: a term before any body"},
      {"C_END\nA 1 2 3 4 5 6\n", "line 2: a body line holds its name and ra0, ra1, dec0, dec1, W0, W1, W2: 7 numbers, not 6"},
      {"C_END\nA 1 2 3 4 5 6 7\nterm 1 2 3 4 5\n", "line 3: a term holds theta0, theta1, theta2, a, d and w: 6 numbers, not 5"},
      {"C_END\nA 1 2 3 4 5 6 x7\n", "line 2: 'x7' is not a decimal number"},
      {"C_END\nA 1 2 3 4 5 6 nan\n", "line 2: 'nan' is not a decimal number"},
      {"C_END\nA 1 2 3 4 5 6 1e999\n", "line 2: '1e999' is not a decimal number"},
      {"C_END\nA 1 2 3 4 5 6 7\nA 1 2 3 4 5 6 7\n", "line 3: 'A' is named twice"},
      {"C_END\nB = A\n", "line 2: 'A' is not a body above"},
      {"C_END\nA 1 2 3 4 5 6 7\nB = A C\n", "line 3: give one name after '='"},
      {"C_END\nThirteenChars 1 2 3 4 5 6 7\n", "line 2: the name 'ThirteenChars' is longer than 12 characters"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    std::string error;
    const auto src = string_source(row.text);
    const auto t = read_rotation_table(*src, error);
    EXPECT_EQ(error, row.error);
    EXPECT_EQ(t.has_value(), std::string(row.error).empty());
    if (!t) continue;
    const RotationModel* a = t->find("A");
    ASSERT_TRUE(a);
    EXPECT_EQ(t->find("B"), a);
    EXPECT_EQ(t->find("a"), nullptr);
    EXPECT_EQ(a->W2, 7.0);
    ASSERT_EQ(a->terms.size(), 1u);
    EXPECT_EQ(a->terms[0].w, 6.0);
  }
  // More terms than a body may have.
  std::string many = "C_END\nA 1 2 3 4 5 6 7\n";
  for (std::size_t i = 0; i <= MAX_ROTATION_TERMS; ++i) many += "term 1 2 3 4 5 6\n";
  std::string error;
  EXPECT_FALSE(read_rotation_table(*string_source(many), error));
  EXPECT_EQ(error, "line 103: A has more than 100 terms");
}

// The shipped models at 1960-01-01 and 2026-12-10 (TT) against the
// published IAU models (2015; Earth and Moon 2009), evaluated term by term
// from the published numbers by a separate script: pole and W to 1e-8 deg.
TEST(RotationTable, ShippedModelsEqualThePublishedOnes) {
  const struct {
    const char* name;
    double days, ra, dec, W;
  } rows[] = {
      {"Moon", -14610.5, 269.8994846685, 65.0391922801, 125.2251195082},
      {"Moon", 9839.5, 272.4570629794, 67.8162215565, 84.8213758203},
      {"Mars", -14610.5, 317.7247005464, 52.9108967369, 229.3225690369},
      {"Mars", 9839.5, 317.6519947163, 52.8697644092, 18.2926771548},
      {"Phobos", -14610.5, 319.1890965960, 52.3131850458, 88.7522583231},
      {"Phobos", 9839.5, 316.9713652487, 53.8757970944, 223.7023601662},
      {"Deimos", -14610.5, 314.7783024849, 52.1802287831, 3.4417840480},
      {"Deimos", 9839.5, 314.0670644438, 54.4824460475, 91.9110496501},
      {"Europa", -14610.5, 267.1674763567, 64.2873524391, 301.4513407245},
      {"Europa", 9839.5, 267.2993870849, 64.8234050653, 313.3163910229},
      {"Triton", -14610.5, 289.8043689464, 21.6936824184, 341.0190991209},
      {"Triton", 9839.5, 304.3779457883, 20.6698631675, 192.9756913065},
      {"Neptune", -14610.5, 299.0856212028, 42.9908111574, 247.4732806114},
      {"Neptune", 9839.5, 299.5048623286, 42.9610403129, 34.7016659817},
      {"EM-Bary", -14610.5, 0.2564087748, 90.2228076249, 9.6948532499},
      {"Earth", 9839.5, -0.1726795209, 89.8499493087, 348.1894282498},
      {"Jupiter", -14610.5, 268.0603992967, 64.4948469663, 118.7219999991},
      {"Jupiter", 9839.5, 268.0576464596, 64.4966606661, 83.9219999984},
      {"Uranus", -14610.5, 257.3110000000, -15.1750000000, 3.3458543988},
      {"Uranus", 9839.5, 257.3110000000, -15.1750000000, 319.0768943997},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.name) + " " + std::to_string(row.days));
    const RotationModel* m = shipped().find(row.name);
    ASSERT_TRUE(m);
    const Orientation o = m->at(row.days);
    EXPECT_NEAR(o.ra, row.ra, 1e-8);
    EXPECT_NEAR(o.dec, row.dec, 1e-8);
    EXPECT_NEAR(o.W, row.W, 1e-8);
  }
  // Every planet and satellite of the spin-axis table has its model.
  for (const BodyEntry& b : list_bodies(TableSet(kest::testing::data_dir()))) {
    if (b.table == 1 || b.table == 2) {
      EXPECT_TRUE(shipped().find(b.name)) << b.name;
    }
  }
}

// The subsolar point of Mars against the Allison-McEwen algorithm as Mars24
// applies it (subsolar west longitude = MTC x 15 + EOT + 180), computed
// separately: within 0.05 deg, the difference of IAU 2015's W and the
// mean-element orbit from that fit. The subsolar latitude the rotation
// model gives equals the season geometry's.
TEST(RotationSubsolar, MarsAgreesWithTheMarsTimeAlgorithm) {
  const TableSet tables(kest::testing::data_dir());
  SeasonBodyError error;
  const auto mars = make_season_body(tables, *find_body(list_bodies(tables), "Mars").body, std::nullopt, error);
  ASSERT_TRUE(mars) << error.message;
  const struct {
    double days, ls, east;
  } rows[] = {
      {-3652.5, 145.8196812201, 228.0202576407},   // 1990-01-01
      {7719.3728, 5.6487453169, 25.6841948648},    // 2021-02-18T20:57 TT, near a landing
      {14975.5, 188.9440443679, 11.7976612021},    // 2041-01-01
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.days);
    const SeasonRow r = season_row(*mars, row.days);
    EXPECT_NEAR(r.ls, row.ls, 0.05);
    EXPECT_NEAR(r.slon, row.east, 0.05);
    const Orientation o = mars->spin.at(row.days);
    const BodySetup s = season_setup(*mars, row.days);
    Vec3 sun = {{std::cos(s.elements.PDEC) * std::cos(s.elements.PRA), std::cos(s.elements.PDEC) * std::sin(s.elements.PRA),
                 std::sin(s.elements.PDEC)}};
    EXPECT_NEAR(surface_point(o, sun).lat, 90.0, 1e-9);  // the frame's pole is the model's
  }
}

// A row's longitude from the frame's pole vector against the model's own
// rotations, at poles either side of the ICRF pole: the Earth's model
// carries its declination past 90 degrees before 2000, where the longitude
// once came out 180 degrees off.
TEST(RotationSubsolar, LongitudeFromThePoleVectorEqualsTheModels) {
  const Orientation poles[] = {{0.2564087748, 90.2228076249, 9.69}, {-0.17, 89.85, 348.19}, {317.65, 52.87, 18.29},
                               {132.993, -6.163, 302.7}, {40.0, -95.0, 10.0}, {10.0, 269.0, 200.0}};
  const Vec3 directions[] = {{{1.0, 0.0, 0.0}}, {{-0.3, 0.8, 0.2}}, {{0.1, -0.2, -0.9}}};
  for (const Orientation& o : poles) {
    const double r = o.ra * RAD_PER_DEG, d = o.dec * RAD_PER_DEG;
    const Vec3 pole = {{std::cos(d) * std::cos(r), std::cos(d) * std::sin(r), std::sin(d)}};
    for (const Vec3& v : directions) {
      const double a = surface_longitude(o, pole, v), b = surface_point(o, v).lon;
      EXPECT_NEAR(std::remainder(a - b, 360.0), 0.0, 1e-9) << o.dec << " " << v(1);
    }
  }
}

// Far from J2000.0 the satellites' poles move with their periodic terms:
// the Moon's seasons no longer repeat those of 2000 every year, and a
// frozen epoch keeps the spin-axis table's pole as the dialogue does.
TEST(RotationSubsolar, SatellitePolesMoveAndFrozenOnesStay) {
  const TableSet tables(kest::testing::data_dir());
  const auto bodies = list_bodies(tables);
  SeasonBodyError error;
  const auto moon = make_season_body(tables, *find_body(bodies, "Moon").body, std::nullopt, error);
  const auto frozen = make_season_body(tables, *find_body(bodies, "Moon").body, 2000.0, error);
  ASSERT_TRUE(moon && frozen) << error.message;
  // One year apart, at the same place in the Earth's orbit: Ls moves by the
  // pole's 18.6-year turn (about 19 deg a year), not by a rounding.
  const double a = season_row(*moon, -3652.5).ls, b = season_row(*moon, -3652.5 + 365.25).ls;
  EXPECT_GT(std::fabs(std::remainder(b - a, 360.0)), 10.0);
  const Orientation o = moon->spin.at(9839.5);
  const BodySetup s = season_setup(*moon, 9839.5);
  EXPECT_NEAR(s.elements.PRA / RDEG, o.ra, 1e-12);
  EXPECT_NEAR(s.elements.PDEC / RDEG, o.dec, 1e-12);
  EXPECT_NEAR(season_setup(*frozen, 9839.5).elements.PRA / RDEG, 266.85773, 1e-9);
}

}  // namespace
}  // namespace kest
