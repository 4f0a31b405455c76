#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>

#include "record/kestcm.hpp"
#include "math/kmath.hpp"
#include "orbit/korbit.hpp"
#include "textio/textio.hpp"

namespace kest {
namespace {

// A body set up by hand. Its body frame follows from TAV and the obliquity:
// x = (cos TAV, sin TAV, 0) in the orbit plane, the pole z tilted by BLIP
// toward the direction 90 degrees past x, y = z cross x.
struct Body {
  double ecc, sja, operiod, tjp, tav, blip;
};
const Body kBodies[] = {
    {0.0934, 1.523679, 686.98, -365.0, 1.2, 0.4396},   // Mars-like
    {0.6, 3.0, 1897.0, 500.0, -2.5, 1.7},             // eccentric, obliquity beyond 90 degrees
    {0.0167, 1.0, 365.256, 2.5, 0.0, 0.409},           // Earth-like, TAV = 0
};

void set_body(const Body& b) {
  KESTCM = KestCommon{};
  KESTCM.ECC = b.ecc;
  KESTCM.SJA = b.sja;
  KESTCM.OPERIOD = b.operiod;
  KESTCM.TJP = b.tjp;
  KESTCM.TAV = b.tav;
  KESTCM.BLIP = b.blip;
  KESTCM.PICON = PICON;
  KESTCM.R2D = 180.0 / PICON;
  const double st = std::sin(b.tav), ct = std::cos(b.tav);
  const double sb = std::sin(b.blip), cb = std::cos(b.blip);
  const Vec3 axes[3] = {{{ct, st, 0.0}}, {{-cb * st, cb * ct, -sb}}, {{-sb * st, sb * ct, cb}}};
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j) KESTCM.BFRM(i, j) = axes[i - 1](j);
}

struct Season {
  double tmjd, lsubs, sdec, dau;
};
Season at_date(double tmjd) {
  Season s{tmjd, 0.0, 0.0, 0.0};
  kestit(1, s.tmjd, s.lsubs, s.sdec, s.dau);
  return s;
}
Season at_season(double lsubs) {
  Season s{0.0, lsubs, 0.0, 0.0};
  kestit(2, s.tmjd, s.lsubs, s.sdec, s.dau);
  return s;
}
// Difference of two angles in degrees, brought into [-180, 180].
double angle_diff(double a, double b) { return std::remainder(a - b, 360.0); }

TEST(Kestit, PerihelionAndAphelion) {
  for (const Body& b : kBodies) {
    set_body(b);
    const double r2d = KESTCM.R2D;
    const Season peri = at_date(b.tjp);
    EXPECT_EQ(KESTCM.PHFXX, (Vec3{{b.sja * (1.0 - b.ecc), 0.0, 0.0}}));
    EXPECT_NEAR(peri.dau, b.sja * (1.0 - b.ecc), 1e-12);
    double expect = 180.0 - b.tav * r2d;
    if (expect < 0.0) expect += 360.0;
    if (expect >= 360.0) expect -= 360.0;
    EXPECT_NEAR(peri.lsubs, expect, 1e-10) << b.tav;
    EXPECT_TRUE(peri.lsubs >= 0.0 && peri.lsubs < 360.0);

    const Season aph = at_date(b.tjp + b.operiod / 2.0);
    EXPECT_NEAR(aph.dau, b.sja * (1.0 + b.ecc), 1e-12);
    EXPECT_NEAR(std::fabs(angle_diff(aph.lsubs, peri.lsubs)), 180.0, 1e-9);

    // The season of true anomaly 0 is the perihelion date.
    const Season back = at_season(180.0 - b.tav * r2d);
    EXPECT_NEAR(back.tmjd, b.tjp, 1e-9);
    EXPECT_NEAR(back.dau, b.sja * (1.0 - b.ecc), 1e-12);
  }
}

// Season to date and back, all round the orbit: the same season, subsolar
// latitude and distance, at a date within half an orbit of perihelion.
TEST(Kestit, SeasonToDateAndBack) {
  for (const Body& b : kBodies) {
    set_body(b);
    for (int k = 0; k < 720; ++k) {
      const double ls = 0.5 * k;
      const Vec3 phfxx = KESTCM.PHFXX;
      const Season s2 = at_season(ls);
      EXPECT_EQ(KESTCM.PHFXX, phfxx);  // the season-to-date mode leaves PHFXX alone
      ASSERT_LE(std::fabs(s2.tmjd - b.tjp), b.operiod / 2.0 + 1e-9) << ls;
      const Season s1 = at_date(s2.tmjd);
      ASSERT_NEAR(angle_diff(s1.lsubs, ls), 0.0, 1e-8) << ls;
      ASSERT_TRUE(s1.lsubs >= 0.0 && s1.lsubs < 360.0) << ls;
      ASSERT_NEAR(s1.sdec, s2.sdec, 1e-8) << ls;
      ASSERT_NEAR(s1.dau, s2.dau, 1e-12) << ls;
      double hpb = 0.0;
      vmag(KESTCM.HPBXX, hpb);
      ASSERT_NEAR(hpb, s1.dau, 1e-12) << ls;
    }
  }
}

// The Sun is over the equator at the equinoxes and over the tropics at the
// solstices: at the obliquity, or 180 degrees less it for a body whose
// obliquity is beyond 90 degrees.
TEST(Kestit, EquinoxesAndSolstices) {
  for (const Body& b : kBodies) {
    set_body(b);
    const double obliquity = std::asin(std::sin(b.blip)) * KESTCM.R2D;
    const double expect[4] = {0.0, obliquity, 0.0, -obliquity};
    for (int q = 0; q < 4; ++q) {
      const Season s = at_season(90.0 * q);
      EXPECT_NEAR(s.sdec, expect[q], 1e-9) << 90 * q;
      EXPECT_NEAR(at_date(s.tmjd).sdec, expect[q], 1e-8) << 90 * q;
    }
  }
}

TEST(Kestit, CircularOrbitAdvancesUniformly) {
  set_body({0.0, 9.5, 10759.0, 1000.0, 0.7, 0.466});
  const double ls0 = at_date(1000.0).lsubs;
  for (int k = -120; k <= 120; ++k) {
    const double t = 10759.0 * k / 40.0;
    const Season s = at_date(1000.0 + t);
    EXPECT_NEAR(s.dau, 9.5, 1e-12) << k;
    EXPECT_NEAR(angle_diff(s.lsubs - ls0, 360.0 * t / 10759.0), 0.0, 1e-9) << k;
  }
}

// Debug lines on the screen when the flags truncated are odd and positive.
TEST(Kestit, DebugLinesFollowBitZero) {
  set_body(kBodies[0]);
  struct Row {
    double kdebug;
    int lines;
  };
  const Row rows[] = {{1.0, 3},  {3.0, 3},  {5.0, 3},  {7.0, 3},  {1.9, 3}, {0.0, 0},
                      {2.0, 0},  {4.0, 0},  {6.0, 0},  {-1.0, 0}, {-3.0, 0}, {0.9, 0},
                      {std::nan(""), 0}, {1.0e300, 0}};
  for (const Row& r : rows) {
    KESTCM.KDEBUG = r.kdebug;
    std::string screen;
    connect_output(6, string_sink(&screen));
    at_date(0.0);
    at_season(90.0);
    flush_all();
    reset_units();
    int lines = 0;
    for (char ch : screen) lines += ch == '\n';
    EXPECT_EQ(lines, 2 * r.lines) << r.kdebug;
    if (r.lines > 0) {
      EXPECT_EQ(screen.rfind(" KODE,TMJD,LSUBS= 1 ", 0), 0u) << screen;
      EXPECT_NE(screen.find("\n TAR,P,Q,R= "), std::string::npos);
      EXPECT_NE(screen.find("\n SDEC,DAU= "), std::string::npos);
      EXPECT_NE(screen.find("\n KODE,TMJD,LSUBS= 2 "), std::string::npos);
    }
  }
}

}  // namespace
}  // namespace kest
