// kestel, planet and spin-axis tables: evaluation at the epoch, the mean
// anomaly reduction, the satellite search and the title it builds, and the
// failures of both stages. Expected numbers come from evaluating the
// defining formulas independently in Python (double precision):
// period = 365.256363004 x sqrt(a^3), TJP = epoch - period x (M / 360).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "elements_fixture.hpp"

namespace kest::testing_elements {
namespace {

class Planet : public ElementsTest {
 protected:
  // Four planets; the elements of the last one are given per test.
  void planets(const std::string& fourth, const std::string& fourth_rates = "rate 0 0 0 0 0 0") {
    table("planelem.tab", {"test planets", "C_END", "Aa 0.5 0.1 1.0 10.0 20.0 30.0",
                           "rate 0 0 0 0 0 0", "Bb 0.7 0.0 2.0 10.0 20.0 30.0",
                           "rate 0 0 0 0 0 0", "'Cc c' 2.0 0.0 3.0 10.0 20.0 30.0",
                           "rate 0 0 0 0 0 0", fourth, fourth_rates});
  }
  // Poles of the four planets, then satellites of the fourth.
  void spinaxis(std::vector<std::string> extra = {}) {
    std::vector<std::string> lines = {"spin axes", "c_end here", "Aa 1 0 11 0 0 360",
                                      "Bb 2 0 12 0 0 360", "'Cc c' 3 0 13 0 0 360",
                                      "Mars 317.5 -0.1 52.5 -0.06 0 720"};
    if (extra.empty()) {
      extra = {"Phobos 317.0 0 52.0 0 0 1440", "Phobette 1.0 0 2.0 0 0 4320",
               "Deimos 316.0 0 53.0 0 0 288"};
    }
    lines.insert(lines.end(), extra.begin(), extra.end());
    table("spinaxis.tab", lines);
  }
};

// Mean anomaly L - varpi: remainder by 360 with the sign of L - varpi,
// never moved into 0..360; the "base" TJP uses it unreduced. The argument
// of perihelion varpi - Omega is not reduced either. a = 1 AU, TCEN = 0.
TEST_F(Planet, MeanAnomalyReduction) {
  struct Row {
    double L, varpi, node;
    double danom;     // reduced L - varpi
    double tjp;       // -(365.256363004 x danom / 360)
    const char* base;  // terminal text of the unreduced value
    double dargp;
  };
  const Row rows[] = {
      {80.0, 90.0, 20.0, -10.0, 10.146010083444443, " base TJP= 10.146010083444443", 70.0},
      {815.0, 90.0, 20.0, 5.0, -5.073005041722221, " base TJP= -735.5857310497222", 70.0},
      {810.0, 90.0, 200.0, 0.0, -0.0, " base TJP= -730.512726008", -110.0},
      {460.0, 90.0, 20.0, 10.0, -10.146010083444443, " base TJP= -375.4023730874444", 70.0},
      {-280.0, 90.0, -400.0, -10.0, 10.146010083444443, " base TJP= 375.4023730874444", 490.0},
  };
  spinaxis();
  for (const Row& r : rows) {
    SCOPED_TRACE(r.L);
    clear_output();
    planets("Mars 1.0 0.1 5.0 " + std::to_string(r.L) + " " + std::to_string(r.varpi) + " " +
            std::to_string(r.node));
    keyboard("/\n");
    Results res;
    call_kestel(0, 1, 4, 0.0, res);
    ASSERT_EQ(kestel_ierr(), 0);
    EXPECT_EQ(kestel_kept().DANOM, r.danom);
    EXPECT_EQ(res.TJP, r.tjp);
    EXPECT_EQ(screen_line(" base TJP="), r.base);
    EXPECT_EQ(kestel_kept().DARGP, r.dargp);
    EXPECT_EQ(res.ARGP, RDEG * r.dargp);
    EXPECT_EQ(res.PERIOD, 365.256363004);  // a = 1 AU: the sidereal year
    EXPECT_EQ(res.SJA, 1.0);
  }
}

// Elements and pole move with their rates: TCEN = 0.5 century.
// a = 1 + 2 x 0.5 = 2; L - varpi = 18100 - 91 = 18009 -> 9 degrees;
// TJP = 18262.5 - 1033.1010046066544 x 9 / 360. The base TJP is that of the
// J2000.0 elements (a = 1, L - varpi = 10).
TEST_F(Planet, EvaluatedAtEpoch) {
  planets("Mars 1.0 0.1 5.0 100.0 90.0 20.0", "rate 2.0 0.02 -2.0 36000.0 2.0 -4.0");
  spinaxis();
  keyboard("/\n");
  Results res;
  call_kestel(0, 1, 4, 0.5, res);
  ASSERT_EQ(kestel_ierr(), 0);
  EXPECT_EQ(screen_line(" base TJP="), " base TJP= -10.146010083444443");
  EXPECT_EQ(res.SJA, 2.0);
  EXPECT_EQ(res.ECC, 0.11);
  EXPECT_EQ(kestel_kept().DCLIN, 4.0);
  EXPECT_EQ(kestel_kept().DODE, 18.0);
  EXPECT_EQ(kestel_kept().DARGP, 73.0);
  EXPECT_EQ(kestel_kept().DANOM, 9.0);
  EXPECT_EQ(res.PERIOD, 1033.1010046066544);
  EXPECT_EQ(res.TJP, 18236.672474884832);
  // Pole 317.5 - 0.1 x 0.5 and 52.5 - 0.06 x 0.5; 8640 / 720 = 12.
  EXPECT_DOUBLE_EQ(kestel_kept().DPRA, 317.45);
  EXPECT_DOUBLE_EQ(kestel_kept().DPDEC, 52.47);
  EXPECT_EQ(res.SIDAY, 12.0);
  EXPECT_EQ(res.PRA, RDEG * kestel_kept().DPRA);
  EXPECT_EQ(res.PDEC, RDEG * kestel_kept().DPDEC);
}

// Terminal traffic of a planet call, in order.
TEST_F(Planet, TerminalOrder) {
  planets("Mars 1.0 0.1 5.0 100.0 90.0 20.0");
  spinaxis();
  keyboard("/\n");
  Results res;
  call_kestel(3, 1, 4, 0.0, res);
  const std::vector<std::string> want = {
      " Entering KESTEL with IFILE,IPLAN= 1 4",
      " C_END",
      " skipped lines= 6",
      " base TJP= -10.146010083444443",
      " C_END",
      " skipped lines= 3",
      " Orbit is Mars                      ENTER:  / or satellite name",
  };
  EXPECT_EQ(screen(), want);
  // The summary names the planet file although the pole came from the
  // spin-axis table.
  ASSERT_EQ(print().size(), 11u);
  EXPECT_EQ(print()[1], "   1   4  planelem.tab  Mars:Mars   0.000000");
}

// The reply is matched as a prefix, case-sensitive, searching forward from
// the planet's own line; the title gets ":" and the reply as typed. The end
// of the keyboard input counts as a slash.
TEST_F(Planet, SatelliteSearch) {
  struct Row {
    const char* reply;
    const char* title;
    double siday;  // identifies the line found; 0 for a failure
  };
  const Row rows[] = {
      {"/\n", "Mars:Mars", 12.0},
      {"", "Mars:Mars", 12.0},
      {",\n", "Mars:Mars", 12.0},
      {"Phobos\n", "Mars:Phobos", 6.0},
      {"Pho\n", "Mars:Pho", 6.0},
      {"Phobette\n", "Mars:Phobette", 2.0},
      {"Deimos extra words\n", "Mars:Deimos", 30.0},
      {"Mar\n", "Mars:Mar", 12.0},
      {"phobos\n", "Mars", 0.0},  // no line starts with it
      {"Aa\n", "Mars", 0.0},      // listed above the starting line
  };
  planets("Mars 1.0 0.1 5.0 100.0 90.0 20.0");
  spinaxis();
  for (const Row& r : rows) {
    SCOPED_TRACE(r.reply);
    clear_output();
    reset_element_dialogue();
    keyboard(r.reply);
    Results res;
    call_kestel(0, 1, 4, 0.0, res);
    EXPECT_EQ(res.TITLE.trimmed(), r.title);
    if (r.siday == 0.0) {
      EXPECT_EQ(kestel_ierr(), 4);
      EXPECT_EQ(last3(screen()), failure_lines("spinaxis.tab", 4, res.TITLE.view(), 0));
      EXPECT_EQ(res.SIDAY, kUntouched);
      EXPECT_EQ(res.TJP, -10.146010083444443);  // stored before the search
      EXPECT_EQ(res.SJA, kUntouched);
    } else {
      EXPECT_EQ(kestel_ierr(), 0);
      EXPECT_EQ(res.SIDAY, r.siday);
    }
  }
}

// A long title: only its first 12 characters, less trailing blanks, are
// matched and appended; the result is cut at 25.
TEST_F(Planet, LongTitleCut) {
  table("planelem.tab", {"C_END", "'Long Planet Name X' 1 0 0 10 0 0", "r 0 0 0 0 0 0"});
  table("spinaxis.tab", {"C_END", "'Long Planet Nine' 0 0 90 0 0 360"});
  keyboard("/\n");
  Results res;
  call_kestel(0, 1, 1, 0.0, res);
  EXPECT_EQ(kestel_kept().LIN, 11);
  EXPECT_EQ(res.TITLE.view(), "Long Planet Name X:Long P");
}

// A line between the start and the match that cannot be read is failure 5,
// although it is not the body asked for.
TEST_F(Planet, BadLineInSearch) {
  planets("Mars 1.0 0.1 5.0 100.0 90.0 20.0");
  spinaxis({"Phobos 317.0 x 52.0 0 0 1440", "Deimos 316.0 0 53.0 0 0 288"});
  keyboard("Deimos\n");
  Results res;
  call_kestel(0, 1, 4, 0.0, res);
  EXPECT_EQ(last3(screen()), failure_lines("spinaxis.tab", 5, "Mars" + std::string(21, ' '), 0));
}

// Failures of the planet stage report planelem.tab; failures while opening,
// framing or skipping the spin-axis table report spinaxis.tab with J = 2,
// and leave the epoch's TJP and the planet's title stored.
TEST_F(Planet, Failures) {
  struct Row {
    const char* name;
    std::vector<std::string> plan;  // planelem.tab, without the marker
    std::vector<std::string> spin;  // spinaxis.tab; empty: no file
    int ierr;
    const char* file;
    int j;
    bool tjp_stored;
  };
  const std::vector<std::string> good_spin = {"C_END", "Mars 1 0 2 0 0 360"};
  const Row rows[] = {
      {"word on line 1", {"Mars 1.0 x 5 100 90 20", "r 0 0 0 0 0 0"}, good_spin, 7,
       "planelem.tab", 0, false},
      {"word on line 2", {"Mars 1.0 0.1 5 100 90 20", "r 0 0 0 zero 0 0"}, good_spin, 7,
       "planelem.tab", 1, false},
      {"end on line 2", {"Mars 1.0 0.1 5 100 90 20"}, good_spin, 6, "planelem.tab", 1, false},
      {"line 2 short", {"Mars 1.0 0.1 5 100 90 20", "r 0 0 0"}, good_spin, 6, "planelem.tab",
       1, false},
      {"no spin file", {"Mars 1.0 0.1 5 100 90 20", "r 0 0 0 0 0 0"}, {}, 1, "spinaxis.tab",
       2, true},
      {"no spin marker", {"Mars 1.0 0.1 5 100 90 20", "r 0 0 0 0 0 0"}, {"Mars 1 0 2 0 0 360"},
       2, "spinaxis.tab", 2, true},
      {"spin file empty", {"Mars 1.0 0.1 5 100 90 20", "r 0 0 0 0 0 0"}, {"C_END"}, 4,
       "spinaxis.tab", 0, true},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    clear_output();
    reset_element_dialogue();
    std::vector<std::string> plan = {"C_END"};
    plan.insert(plan.end(), r.plan.begin(), r.plan.end());
    table("planelem.tab", plan);
    std::remove("spinaxis.tab");
    if (!r.spin.empty()) table("spinaxis.tab", r.spin);
    keyboard("/\n");
    Results res;
    call_kestel(3, 1, 1, 0.0, res);
    EXPECT_EQ(kestel_ierr(), r.ierr);
    EXPECT_EQ(last3(screen()), failure_lines(r.file, r.ierr, res.TITLE.view(), r.j));
    EXPECT_EQ(res.TITLE.trimmed(), "Mars");  // read before the failure
    if (r.tjp_stored) {
      EXPECT_EQ(res.TJP, -10.146010083444443);
    } else {
      EXPECT_EQ(res.TJP, kUntouched);
    }
    for (double v : {res.ODE, res.CLIN, res.ARGP, res.ECC, res.PERIOD, res.SJA, res.SIDAY,
                     res.PRA, res.PDEC})
      EXPECT_EQ(v, kUntouched);
    EXPECT_TRUE(print().empty());
  }
}

// File code 2 on its own: only the pole and the rotation are read; the
// orbit repeats the previous call's and TJP is not written. 8640 divided by
// the sixth number gives SIDAY.
TEST_F(Planet, SpinAxisAlone) {
  planets("Mars 1.5 0.09 1.85 100.0 90.0 20.0");
  spinaxis({"Phobos 317.0 0 52.0 0 0 360"});
  keyboard("/\n");
  Results first;
  call_kestel(0, 1, 4, 0.0, first);
  ASSERT_EQ(kestel_ierr(), 0);

  keyboard("Phobos\n");
  Results res;
  res.TITLE.set("Mars");
  call_kestel(0, 2, 4, 0.0, res);
  ASSERT_EQ(kestel_ierr(), 0);
  EXPECT_EQ(res.TITLE.trimmed(), "Mars:Phobos");
  EXPECT_EQ(res.SIDAY, 24.0);
  EXPECT_EQ(res.TJP, kUntouched);
  EXPECT_EQ(res.SJA, first.SJA);
  EXPECT_EQ(res.ECC, first.ECC);
  EXPECT_EQ(res.ARGP, first.ARGP);
  EXPECT_EQ(res.PERIOD, first.PERIOD);
  EXPECT_EQ(res.PDEC, RDEG * 52.0);
}

}  // namespace
}  // namespace kest::testing_elements
