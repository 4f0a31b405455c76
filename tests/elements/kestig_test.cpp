// kestig: the option-1 dialogue and the frames derived from the elements.
// Geometric expectations come from the frame definitions themselves: for an
// ecliptic orbit with the pole at the equatorial north pole the obliquity is
// the Earth's (0.409092601 rad) and the equinox lies at -omega from
// perihelion; for an exoplanet (no ecliptic tilt) with the pole tilted by
// epsilon toward right ascension 270, BLIP = epsilon and TAV = 180 - omega.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "elements_fixture.hpp"
#include "math/kmath.hpp"

namespace kest::testing_elements {
namespace {

class Kestig : public ElementsTest {
 protected:
  void run(const std::string& keys) {
    keyboard(keys);
    kestig(title_);
  }
  int count(std::string_view text) {
    int n = 0;
    for (const std::string& l : screen()) n += l.find(text) != std::string::npos ? 1 : 0;
    return n;
  }
  // A comet of ten lines with the given node, inclination, argument,
  // eccentricity and pole (degrees).
  void comet(const std::string& argp, const std::string& node, const std::string& incl,
             const std::string& ecc, const std::string& pole) {
    table("comet.tab",
          {"C_END", "--", "Tester", "2000 1 1.5", argp, node, incl, "1.0", ecc, pole, "0.5"});
  }
  static void expect_rotation(const Mat3& m) {
    double der = 1.0, dev = 1.0;
    rotest(m, der, dev);
    EXPECT_LE(der, 1e-15);
    EXPECT_LE(dev, 1e-15);
  }
  FixedText<25> title_;
};

constexpr const char* kSource = "?* SOURCE DATA";
constexpr const char* kItem = "?* WHICH item";
constexpr const char* kEpoch = "?* EPOCH desired";
constexpr const char* kDebug = "?* Debug print";

TEST_F(Kestig, Prompts) {
  table("comet.tab", {"C_END"});
  run("0\n");
  const auto s = screen();
  ASSERT_EQ(s.size(), 1u);
  EXPECT_EQ(s[0], "  ?* SOURCE DATA: -=quit 1=Planets 3=minor 4=small [5=comets] 6=exoPlanets ");
  clear_output();
  run("1\n1\n0\n");
  const std::vector<std::string> want = {
      "  ?* SOURCE DATA: -=quit 1=Planets 3=minor 4=small [5=comets] 6=exoPlanets ",
      "  ?* WHICH item in file.", " ?* EPOCH desired as centuries after 2000.0",
      "  ?* Debug print: 0:7 bit encoded See kestig"};
  EXPECT_EQ(screen(), want);
}

// Which prompts a script meets, whether the reader is reached, and what
// stays in KESTCM. Tables are absent: the reader fails at once, which is
// enough to see that it was called; the failed set-up then gives the state
// back as it was, the epoch included.
TEST_F(Kestig, Dialogue) {
  struct Row {
    const char* name;
    const char* keys;
    int source, item, epoch, debug;  // prompts shown
    bool reads;                      // the reader was called
    double tc;
    int refusals;
  };
  const Row rows[] = {
      {"quit with 0", "0\n", 1, 0, 0, 0, false, 0.0, 0},
      {"quit with -1", "-1\n", 1, 0, 0, 0, false, 0.0, 0},
      {"end at source", "", 1, 0, 0, 0, false, 0.0, 0},
      {"end at item", "3\n", 1, 1, 0, 0, false, 0.0, 0},
      {"end at epoch", "1\n4\n", 1, 1, 1, 0, false, 0.0, 0},
      {"end at debug keeps TC", "1\n4\n0.5\n", 1, 1, 1, 1, false, 0.5, 0},
      {"minor: no epoch", "3\n12\n0\n", 1, 1, 0, 1, true, 0.0, 0},
      {"comet: no epoch", "5\n1\n0\n", 1, 1, 0, 1, true, 0.0, 0},
      {"planet", "1\n4\n-0.25\n0\n", 1, 1, 1, 1, true, 0.0, 0},
      {"source letter", "x\n3\n1\n0\n", 2, 1, 0, 1, true, 0.0, 0},
      {"item not integer", "3\n1.5\n2\n0\n", 1, 2, 0, 1, true, 0.0, 0},
      {"epoch word", "1\n1\nnow\n1.0\n0\n", 1, 1, 2, 1, true, 0.0, 0},
      {"debug word restarts", "3\n1\nx\n5\n2\n0\n", 2, 2, 0, 2, true, 0.0, 0},
      {"code 7 refused", "7\n3\n1\n0\n", 2, 1, 0, 1, true, 0.0, 1},
      {"code 99 then end", "99\n", 2, 0, 0, 0, false, 0.0, 1},
      {"refused, slash keeps 0", "9\n/\n", 2, 0, 0, 0, false, 0.0, 1},
      {"debug comma: no prints", "5\n1\n,\n", 1, 1, 0, 1, true, 0.0, 0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    clear_output();
    reset_element_dialogue();
    KESTCM.TC = 0.0;
    KESTCM.PLANUM = 0.0;
    run(r.keys);
    EXPECT_EQ(count(kSource), r.source);
    EXPECT_EQ(count(kItem), r.item);
    EXPECT_EQ(count(kEpoch), r.epoch);
    EXPECT_EQ(count(kDebug), r.debug);
    EXPECT_EQ(count("Entering KESTEL"), r.reads ? 1 : 0);
    EXPECT_EQ(count("Set-up failed: the state is unchanged"), r.reads ? 1 : 0);
    EXPECT_EQ(KESTCM.PLANUM, 0.0);
    EXPECT_EQ(KESTCM.TC, r.tc);
    EXPECT_EQ(count("names no table file"), r.refusals);
    EXPECT_TRUE(r.reads || print().empty());
  }
}

// After a refusal the last accepted source is kept for a lone slash.
TEST_F(Kestig, RefusalKeepsPreviousSource) {
  comet("90", "0", "0", "0.5", "0 90");
  run("5\n1\n0\n");
  clear_output();
  run("8\n/\n1\n0\n");
  EXPECT_EQ(screen_line(" Entering"), " Entering KESTEL with IFILE,IPLAN= 5 1");
  EXPECT_EQ(screen_line(" Source code"),
            " Source code 8 names no table file; give 1 to 6, or 0 to quit");
}

// PLANUM and KDEBUG are formed in single precision: exact below 2^24, the
// nearest float above (16777217 rounds to 16777216). An item number that
// large lies beyond any table, so its set-up fails and leaves both as they
// were.
TEST_F(Kestig, Codes) {
  std::vector<std::string> minor = {"C_END"};
  for (int i = 0; i < 12; ++i)
    for (const char* l : {"--", "M", "2451545.0", "1", "0.1", "1", "1", "1", "1", "0", "90", "0", "1"})
      minor.push_back(l);
  table("minor.tab", minor);
  table("planelem.tab", {"C_END", "P 1 0.1 1 1 1 1", "r 0 0 0 0 0 0", "P 1 0.1 1 1 1 1", "r 0 0 0 0 0 0",
                         "P 1 0.1 1 1 1 1", "r 0 0 0 0 0 0", "P 1 0.1 1 1 1 1", "r 0 0 0 0 0 0"});
  table("spinaxis.tab", {"C_END", "P 0 0 90 0 0 360", "P 0 0 90 0 0 360", "P 0 0 90 0 0 360", "P 0 0 90 0 0 360",
                         "P 0 0 90 0 0 360", "P 0 0 90 0 0 360", "X 0 0 90 0 0 360"});
  table("exoplan.tab", {"C_END", "EXO1", "X", "5", "10", "2451545", "0.05", "4", "0.01", "10", "58", "100"});
  struct Row {
    const char* keys;
    double planum;
    double kdebug;
  };
  const Row rows[] = {
      {"3\n12\n0\n", 312.0, 0.0},
      {"1\n4\n0\n5\n", 104.0, 5.0},
      {"6\n1\n2\n", 601.0, 2.0},
      {"2\n7\n0\n", 207.0, 0.0},
      {"3\n1\n16777217\n", 301.0, 16777216.0},
      {"3\n16777217\n0\n", 301.0, 16777216.0},  // beyond the table: nothing changes
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.keys);
    clear_output();
    run(r.keys);
    EXPECT_EQ(KESTCM.PLANUM, r.planum);
    EXPECT_EQ(KESTCM.KDEBUG, r.kdebug);
    EXPECT_EQ(KESTCM.OBL, 0.409092601);
  }
}

// A set-up replaces only what it derives: a body of a table without epochs
// keeps the epoch of the planet set up before it, and the positions no
// set-up fills (SFLAG, WDOT, W0, spar17, PBUG and the vectors 33-41) keep
// what they held.
TEST_F(Kestig, SetUpKeepsWhatItDoesNotDerive) {
  table("planelem.tab", {"C_END", "P 1 0.1 1 1 1 1", "r 0 0 0 0 0 0"});
  table("spinaxis.tab", {"C_END", "P 0 0 90 0 0 360"});
  comet("90", "30", "10", "0.5", "40 50");
  run("1\n1\n0.5\n0\n");
  ASSERT_EQ(KESTCM.PLANUM, 101.0);
  ASSERT_EQ(KESTCM.TC, 0.5);
  const int carried[] = {9, 12, 13, 17, 21, 33, 34, 35, 36, 37, 38, 39, 40, 41};
  for (const int k : carried) KESTCM.pos(k) = 1000.0 + k;
  const KestCommon before = KESTCM;
  run("5\n1\n0\n");
  EXPECT_EQ(KESTCM.PLANUM, 501.0);
  EXPECT_EQ(KESTCM.TC, 0.5);
  for (const int k : carried) EXPECT_EQ(KESTCM.pos(k), before.pos(k)) << k;
}

// Ecliptic orbit, pole at the equatorial north pole: BLIP = OBL, TAV = -omega.
TEST_F(Kestig, EclipticOrbitEquatorialPole) {
  table("planelem.tab", {"C_END", "Earth 1.0 0.0167 0.0 100.0 102.9 0.0", "r 0 0 0 0 0 0"});
  table("spinaxis.tab", {"C_END", "Earth 0 0 90 0 0 360"});
  run("1\n1\n0\n0\n/\n");
  EXPECT_EQ(title_.trimmed(), "Earth:Earth");
  EXPECT_NEAR(KESTCM.BLIP, 0.409092601, 1e-15);
  EXPECT_NEAR(KESTCM.TAV, -102.9 * RDEG, 1e-14);
  EXPECT_EQ(KESTCM.OPERIOD, 365.256363004);
  EXPECT_EQ(KESTCM.PLANUM, 101.0);
  EXPECT_EQ(KESTCM.ECC, 0.0167);
  EXPECT_EQ(KESTCM.SIDAY, 24.0);
  expect_rotation(KESTCM.BFRM);
  // Row 3 of BFRM is the pole, which here is tilted by OBL from the normal.
  EXPECT_NEAR(KESTCM.BFRM(3, 3), std::cos(0.409092601), 1e-15);
  // Title on the screen, and after the reader's summary on the print unit.
  const auto p = print();
  ASSERT_EQ(p.size(), 12u);
  EXPECT_EQ(p[11], "  INPUT FILE WAS: Earth:Earth              ");
  EXPECT_EQ(screen().back(), " Earth:Earth              ");
}

// End of keyboard input at the satellite prompt takes the planet's own pole;
// the next prompt then meets the end again and nothing loops.
TEST_F(Kestig, EndOfInputAtSatellitePrompt) {
  table("planelem.tab", {"C_END", "Earth 1.0 0.0167 0.0 100.0 102.9 0.0", "r 0 0 0 0 0 0"});
  table("spinaxis.tab", {"C_END", "Earth 0 0 90 0 0 360"});
  run("1\n1\n0\n0\n");
  EXPECT_EQ(title_.trimmed(), "Earth:Earth");
  EXPECT_EQ(KESTCM.SIDAY, 24.0);
  clear_output();
  kestig(title_);
  EXPECT_EQ(count(kSource), 1);
  EXPECT_EQ(count("Entering"), 0);
}

// With the terminal as print unit the title is shown twice (and once more,
// cut to ten characters, in the reader's summary).
TEST_F(Kestig, TitleTwiceOnTerminal) {
  comet("90", "0", "0", "0.5", "0 90");
  KESTCM.IOP = 6;
  run("5\n1\n0\n");
  const std::string title = "Tester" + std::string(19, ' ');
  const auto s = screen();
  EXPECT_EQ(std::count(s.begin(), s.end(), " " + title), 1);
  EXPECT_EQ(std::count(s.begin(), s.end(), "  INPUT FILE WAS: " + title), 1);
  EXPECT_EQ(count("Tester"), 3);
}

// Exoplanets keep orbit and pole in one frame: no ecliptic tilt.
TEST_F(Kestig, ExoplanetNoTilt) {
  struct Row {
    const char* obliquity;
    const char* omega;
    double blip_deg, tav_deg;
  };
  const Row rows[] = {{"25", "100", 25.0, 80.0},
                      {"25", "300", 25.0, -120.0},
                      {"60", "10", 60.0, 170.0},
                      {"0", "45", 0.10000000149011612, 135.0}};
  for (const Row& r : rows) {
    SCOPED_TRACE(::testing::Message() << r.obliquity << " " << r.omega);
    clear_output();
    table("exoplan.tab", {"C_END", "x", "Exo", "4.83", "32.616", "2451545.0", "1.0", "365.0",
                          "0.1", r.obliquity, r.omega, "24"});
    run("6\n1\n0\n");
    EXPECT_EQ(count(kEpoch), 0);
    // acos near 1 keeps only about 1e-16 / BLIP of relative precision.
    EXPECT_NEAR(KESTCM.BLIP, r.blip_deg * RDEG, 2e-13);
    EXPECT_NEAR(KESTCM.TAV, r.tav_deg * RDEG, 1e-13);
    EXPECT_EQ(KESTCM.OBL, 0.409092601);  // stored, though it took no part
    expect_rotation(KESTCM.BFRM);
  }
}

// Debug flags select print groups on the print unit, after the summary and
// the INPUT FILE line.
TEST_F(Kestig, DebugGroups) {
  const std::vector<std::pair<const char*, int>> marks = {
      {" IPLAN,TC,SIDAY,OBL=", 1},     {" ODE,CLIN,ARGP=", 1},
      {" ECC,PERIOD,SJA=", 1},         {" ZBAB,ZBAA,TJP=", 1},
      {" ROTSHO dump of [EFRM]", 1},   {" ROTSHO dump of [AFRM]", 2},
      {" Spinaxis RA and Dec, degrees:", 2}, {" C_END  X", 4},
      {" TAV: rad,deg", 4},            {" ROTSHO dump of [BFRM]", 4},
      {" ROTEST der and dev=", 4},
  };
  comet("90", "30", "10", "0.5", "40 50");
  for (int k : {0, 1, 2, 3, 4, 6, 7, -1}) {
    SCOPED_TRACE(k);
    clear_output();
    run("5\n1\n" + std::to_string(k) + "\n");
    const auto p = print();
    ASSERT_GE(p.size(), 12u);
    EXPECT_EQ(p[11].rfind("  INPUT FILE WAS: ", 0), 0u);
    std::size_t last = 11;
    for (const auto& [text, bit] : marks) {
      std::size_t at = 0;
      for (std::size_t i = 0; i < p.size(); ++i)
        if (p[i].rfind(text, 0) == 0) at = i;
      EXPECT_EQ(at != 0, (k & bit) != 0) << text;
      if (at != 0) {
        EXPECT_GT(at, last) << text;  // groups in order 1, 2, 3
        last = at;
      }
    }
    EXPECT_EQ(KESTCM.KDEBUG, static_cast<double>(k));
  }
}

// Group 3: the header and four vector lines, and a rotation test showing
// no more than rounding error.
TEST_F(Kestig, DebugGroup3Values) {
  comet("90", "30", "10", "0.5", "40 50");
  run("5\n1\n4\n");
  const auto p = print();
  ASSERT_EQ(p.size(), 12u + 11u);
  EXPECT_NE(p[13].find("ZBAXU"), std::string::npos);
  EXPECT_NE(p[14].find("ZBFXU"), std::string::npos);
  EXPECT_NE(p[15].find("XBFXU"), std::string::npos);
  EXPECT_NE(p[16].find("YBFXU"), std::string::npos);
  const std::string& rl = p[22];
  ASSERT_EQ(rl.rfind(" ROTEST der and dev=", 0), 0u);
  double der = 1, dev = 1;
  ASSERT_EQ(std::sscanf(rl.c_str() + 20, "%lf %lf", &der, &dev), 2);
  EXPECT_LE(der, 1e-15);
  EXPECT_LE(dev, 1e-15);
}

// Property: for any orbit and pole the body frame is a rotation, its x axis
// lies in the orbit plane, its z axis is the pole, and TAV is the angle of x.
TEST_F(Kestig, BodyFrameIsRotation) {
  std::mt19937 gen(20140610);
  std::uniform_real_distribution<double> deg(-360.0, 360.0), half(-90.0, 90.0), inc(0.0, 180.0);
  std::vector<std::string> lines = {"C_END"};
  constexpr int kItems = 40;
  for (int i = 0; i < kItems; ++i) {
    auto num = [](double v) { return real_text(v); };
    const std::vector<std::string> item = {
        "--", "B" + std::to_string(i), "2451545.0", "2.5", "0.2", num(inc(gen)), num(deg(gen)),
        num(deg(gen)), num(deg(gen)), num(deg(gen)), num(half(gen)), i % 4 == 0 ? "1" : "0",
        "0.3"};
    lines.insert(lines.end(), item.begin(), item.end());
  }
  table("minor.tab", lines);
  for (int i = 1; i <= kItems; ++i) {
    SCOPED_TRACE(i);
    clear_output();
    run("3\n" + std::to_string(i) + "\n0\n");
    const Mat3& b = KESTCM.BFRM;
    expect_rotation(b);
    EXPECT_EQ(b(1, 3), 0.0);  // x axis in the orbit plane
    EXPECT_NEAR(std::atan2(b(1, 2), b(1, 1)), KESTCM.TAV, 1e-15);
    EXPECT_NEAR(b(3, 3), std::cos(KESTCM.BLIP), 1e-12);
    EXPECT_EQ(count("equinox undefined"), 0);
  }
}

// A pole exactly along the orbit normal: inclination -OBL undoes the
// ecliptic tilt and a declination of 89.99999999999991 degrees gives
// exactly PICON / 2, so pole x normal is the zero vector. The frame stays a
// The frame of the body in the state record (the comet source: ecliptic).
BodyFrame frame_of_record() {
  const KestCommon& C = KESTCM;
  return body_frame(FrameInput{C.ODE, C.CLIN, C.ARGP, C.ZBAA, C.ZBAB, C.OBL, true, C.PICON});
}

// rotation with x toward perihelion, and the obliquity is 0, not NaN.
TEST_F(Kestig, PoleAlongOrbitNormal) {
  comet("0", "0", "-23.43927946732936", "0.5", "0 89.99999999999991");
  run("5\n1\n4\n");
  ASSERT_EQ(KESTCM.CLIN, -0.409092601);
  EXPECT_EQ(frame_of_record().QV, Vec3{});
  EXPECT_EQ(count("equinox undefined"), 1);
  EXPECT_EQ(KESTCM.TAV, 0.0);
  EXPECT_NEAR(KESTCM.BLIP, 0.0, 2e-8);
  for (int k = 1; k <= 9; ++k) EXPECT_FALSE(std::isnan(KESTCM.BFRM.at(k))) << k;
  expect_rotation(KESTCM.BFRM);
  EXPECT_EQ(KESTCM.BFRM(1, 1), 1.0);
}

// A pole within 1e-6 radian of the orbit normal is on it: the equinox is
// only rounding noise there, so perihelion serves as x (TAV = 0). Just
// outside, the equinox is taken from the pole as usual.
TEST_F(Kestig, PoleWithinOneMicroradianOfTheNormal) {
  struct Row {
    const char* dec;  // pole declination, degrees; the orbit normal is at 90
    bool on_normal;
  };
  const Row rows[] = {{"89.99999999999991", true}, {"89.99999", true}, {"89.99995", true}, {"89.9999", false}, {"89.99", false}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.dec);
    clear_output();
    comet("0", "0", "-23.43927946732936", "0.5", std::string("30 ") + r.dec);
    run("5\n1\n0\n");
    EXPECT_EQ(count("equinox undefined"), r.on_normal ? 1 : 0);
    // On the normal: perihelion at Ls = 180 to rounding, not to the noise
    // of a direction taken from a cross product of 1e-7.
    if (r.on_normal) {
      EXPECT_NEAR(KESTCM.TAV, 0.0, 1e-12);
    } else {
      EXPECT_GT(std::fabs(KESTCM.TAV), 1e-3);
    }
    expect_rotation(KESTCM.BFRM);
  }
}

// Pole and orbit normal parallel to the last bit: the unit vectors' dot
// product rounds to 1.0000000000000002 (found by replaying the frame
// arithmetic in Python); the obliquity is 0, not NaN.
TEST_F(Kestig, ObliquityAtRoundingLimit) {
  comet("0", "160.339", "129.877", "0.5", "74.2917688523444 -17.50384851667558");
  run("5\n1\n0\n");
  double dot = 0.0;
  const BodyFrame f = frame_of_record();
  vdot(f.ZFAXU, f.ZBAXU, dot);
  ASSERT_GT(dot, 1.0);
  EXPECT_EQ(KESTCM.BLIP, 0.0);
  expect_rotation(KESTCM.BFRM);
}

// Orbits with e >= 1 are read as they are; one message says no ephemerides
// can be made for them.
TEST_F(Kestig, NotElliptic) {
  struct Row {
    const char* ecc;
    int messages;
  };
  const Row rows[] = {{"0.5", 0}, {"0.999", 0}, {"1.0", 1}, {"1.5", 1}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.ecc);
    clear_output();
    comet("90", "30", "10", r.ecc, "40 50");
    run("5\n1\n0\n");
    EXPECT_EQ(count("not elliptic"), r.messages);
    EXPECT_EQ(count("ephemerides are not available"), r.messages);
    expect_rotation(KESTCM.BFRM);
  }
}

// A reader failure is not seen by the setup: the frames come from the
// previous body, OPERIOD from the last successful read, and PLANUM is new.
TEST_F(Kestig, ReaderFailureKeepsPreviousBody) {
  comet("90", "30", "10", "0.5", "40 50");
  run("5\n1\n0\n");
  const KestCommon before = KESTCM;
  clear_output();
  run("3\n2\n0\n");  // no minor.tab
  EXPECT_EQ(count("Reason: opening table file"), 1);
  EXPECT_EQ(KESTCM.PLANUM, before.PLANUM);  // a failed set-up changes nothing
  EXPECT_EQ(KESTCM.OPERIOD, before.OPERIOD);
  EXPECT_EQ(KESTCM.ODE, before.ODE);
  EXPECT_EQ(KESTCM.TJP, before.TJP);
  EXPECT_EQ(KESTCM.BFRM, before.BFRM);
  EXPECT_EQ(KESTCM.TAV, before.TAV);
  EXPECT_EQ(title_.trimmed(), "Tester");
}

}  // namespace
}  // namespace kest::testing_elements
