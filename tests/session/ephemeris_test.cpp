// Whole-program runs of the ephemeris table (option 3): its dialogue, the
// page layout, the columns of a data line and the spacecraft column, on a
// small planet table of the test's own whose numbers are known in advance.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "session.hpp"

namespace {

using kest::testing::lines_of;
using kest::testing::mask_stamps;
using kest::testing::run_kest;
using kest::testing::RunResult;
using kest::testing::ScratchDir;

// An Earth-like planet "Terra": a = 1 AU, e = 0.0167, in the ecliptic, with
// mean anomaly 0 at J2000.0 (L = varpi = omega = 100.12 degrees), so that it
// is at perihelion at day 0, and a pole at the equatorial north pole, so
// that its obliquity is the ecliptic's 0.409092601 rad. Then, independently
// of the program: perihelion distance a(1 - e) = 0.9833, aphelion distance
// a(1 + e) = 1.0167, Ls at perihelion 180 + omega = 280.12, at aphelion
// 100.12, subsolar latitude asin(sin(0.409092601) sin Ls) = -/+23.0533653312
// there, period 365.256363004 days (a = 1 AU).
const char* kPlanets =
    "Test planets: one Earth-like body\n"
    "C_END\n"
    "Terra  1.0  0.0167  0.0  100.12  100.12  0.0\n"
    "rates  0.0  0.0     0.0    0.0     0.0   0.0\n";
const char* kPoles =
    "Test poles\n"
    "C_END\n"
    "Terra  0.0  0.0  90.0  0.0  0.0  360.0\n";
const std::string kHalfPeriod = "182.628181502";

// Destination print file, option 1 with Terra (item 1, epoch 0, the given
// debug flags, the planet's own pole).
std::string setup(const std::string& dest = "p", const std::string& debug = "0") {
  return dest + "\n1\n1\n1\n0\n" + debug + "\n/\n";
}

RunResult run_terra(const std::string& input) {
  ScratchDir dir;
  dir.write("planelem.tab", kPlanets);
  dir.write("spinaxis.tab", kPoles);
  return run_kest(dir, input);
}

// The print-file lines written by the last option run (after its stamp).
std::vector<std::string> last_option_lines(const std::string& prt) {
  const auto lines = lines_of(mask_stamps(prt));
  std::size_t start = 0;
  for (std::size_t i = 0; i < lines.size(); ++i)
    if (lines[i].rfind(" KESTMN:", 0) == 0) start = i + 1;
  return {lines.begin() + static_cast<std::ptrdiff_t>(std::min(start, lines.size())), lines.end()};
}

int count(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
  return n;
}

bool is_data_line(const std::string& l) {
  return l.size() == 67 && l[0] == ' ' && l.compare(1, 2, "20") == 0 && l[5] == ' ';
}

const std::string kColumns = "0YEAR MON  DAY   REV #  DIS A.U.   L.SUB S  S.DEC      MJD4  DAY DAY#";
const std::string kPrompt1 = "?* #TIMES, Date1 as MJD, DEL. days";
const std::string kPrompt2 = "?* ORBIT PERIOD, MJD4 OF ORBIT 0., TITLE";

// Perihelion, aphelion and perihelion again: every column of the example
// line of 2000 January 1 12h (day 0) and of the two lines half a period
// and a period later. Dates and weekdays from the civil calendar (2000 is a
// leap year; July 2 and December 31 were Sundays), the rest from the orbit
// above.
TEST(Ephemeris, HeaderAndLinesAtPerihelionAndAphelion) {
  const auto r = run_terra(setup() + "3\n3 0 " + kHalfPeriod + "\n0 0 'Test table'\n/\n0\n");
  EXPECT_EQ(r.status, 0);
  const std::vector<std::string> expected = {
      "1",
      " YYYY Mmm DD hh:mm:ss    Test table                  ",
      " N2=   3 DJUL=      0.00 DELJUL=  182.63  ORBPER=    0.0000 ORB0=      0.0000",
      kColumns,
      "",
      " 2000 JAN  1.50    0.0  0.983300  280.12 -23.05      0.00  SAT    1",
      " 2000 JUL  2.13    0.0  1.016700  100.12  23.05    182.63  SUN  184",
      " 2000 DEC 31.76    0.0  0.983300  280.12 -23.05    365.26  SUN  366",
  };
  EXPECT_EQ(last_option_lines(r.prt), expected);
}

// The example line column by column (first column, text); every column not
// listed is blank.
TEST(Ephemeris, ExampleLineColumns) {
  const auto r = run_terra(setup() + "3\n1 0 1\n0 0 x\n/\n0\n");
  const auto lines = last_option_lines(r.prt);
  ASSERT_EQ(lines.size(), 6u);
  const std::string& line = lines[5];
  ASSERT_EQ(line.size(), 67u) << line << "|";
  struct Row {
    std::size_t first;  // 1-based
    const char* text;
  } rows[] = {{2, "2000"}, {7, "JAN"},    {12, "1.50"}, {20, "0.0"}, {25, "0.983300"},
              {35, "280.12"}, {42, "-23.05"}, {54, "0.00"}, {60, "SAT"}, {67, "1"}};
  std::string blanks = line;
  for (const auto& row : rows) {
    const std::string text = row.text;
    EXPECT_EQ(line.substr(row.first - 1, text.size()), text) << "column " << row.first;
    blanks.replace(row.first - 1, text.size(), text.size(), ' ');
  }
  EXPECT_EQ(blanks, std::string(67, ' '));
}

// Pages of 58 lines: the first with the five header lines and 53 data
// lines, each later one with the page line, the column header and its empty
// line, then 55 data lines. The data lines stay in order (MJD4 = line - 1).
TEST(Ephemeris, PageBreaks) {
  for (const int n2 : {1, 53, 54, 108, 109, 200}) {
    SCOPED_TRACE("N2=" + std::to_string(n2));
    const auto r = run_terra(setup() + "3\n" + std::to_string(n2) + " 0 1\n0 0 pages\n/\n0\n");
    const auto lines = last_option_lines(r.prt);
    std::vector<std::string> expected = {"1", " YYYY Mmm DD hh:mm:ss    pages                       ",
                                         " N2=" + std::string(4 - std::to_string(n2).size(), ' ') + std::to_string(n2) +
                                             " DJUL=      0.00 DELJUL=    1.00  ORBPER=    0.0000 ORB0=      0.0000",
                                         kColumns, ""};
    int line = 5;
    for (int i = 1; i <= n2; ++i) {
      if (line > 57) {
        expected.insert(expected.end(), {"1", kColumns, ""});
        line = 3;
      }
      expected.push_back("mjd " + std::to_string(i - 1));
      ++line;
    }
    ASSERT_EQ(lines.size(), expected.size());
    for (std::size_t k = 0; k < lines.size(); ++k) {
      if (expected[k].rfind("mjd ", 0) == 0) {
        ASSERT_TRUE(is_data_line(lines[k])) << k << ": " << lines[k];
        EXPECT_EQ(std::stod(lines[k].substr(47, 10)), std::stod(expected[k].substr(4))) << k;
      } else {
        EXPECT_EQ(lines[k], expected[k]) << k;
      }
    }
    // Page lines at 0, 58, 116, ...
    for (std::size_t k = 0; k < lines.size(); ++k) EXPECT_EQ(lines[k] == "1", k % 58 == 0) << k;
  }
}

// Answers to prompt 1 that return to the menu at once, without prompt 2 and
// without a table: 0, a slash, no number of dates (a null before the comma),
// and the end of input.
TEST(Ephemeris, AnswersThatReturnToTheMenu) {
  for (const char* answer : {"0 0 0\n", "0 5 1\n", "/\n", ",5,1\n", "  /  7\n", ""}) {
    SCOPED_TRACE(answer);
    const std::string rest = *answer ? std::string(answer) + "0\n" : "";
    const auto r = run_terra(setup() + "3\n" + rest);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(count(r.out, " ? Option Kode"), 3);
    EXPECT_EQ(count(r.out, kPrompt1), 1);
    EXPECT_EQ(count(r.out, kPrompt2), 0);
    EXPECT_EQ(last_option_lines(r.prt), std::vector<std::string>{});
  }
}

// A line holding only 0 is not the whole answer: the free-format read of
// three items goes on to the next lines for DJUL and DELJUL, so the "4"s
// below are read as dates and never reach the menu (which would list the
// record), and the final 0 ends the run.
TEST(Ephemeris, LoneZeroReadsOnForTheOtherTwoItems) {
  const auto r = run_terra(setup() + "3\n0\n4\n4\n0\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(count(r.out, " ? Option Kode"), 3);
  EXPECT_EQ(count(r.out, kPrompt1), 1);
  EXPECT_EQ(r.prt.find("KESTCM 1:30"), std::string::npos);
}

// A negative number of dates prints the page header with no data lines and
// asks prompt 1 again.
TEST(Ephemeris, NegativeCountPrintsTheHeaderOnly) {
  const auto r = run_terra(setup() + "3\n-3 0 1\n0 0 neg\n/\n0\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(count(r.out, kPrompt1), 2);
  EXPECT_EQ(count(r.out, kPrompt2), 1);
  const std::vector<std::string> expected = {
      "1", " YYYY Mmm DD hh:mm:ss    neg                         ",
      " N2=  -3 DJUL=      0.00 DELJUL=    1.00  ORBPER=    0.0000 ORB0=      0.0000", kColumns, ""};
  EXPECT_EQ(last_option_lines(r.prt), expected);
}

// Conversion errors repeat their own prompt (prompt 2 alone, not prompt 1);
// the end of input at prompt 2 returns without printing; a slash keeps the
// earlier answers, which live on from one table to the next.
TEST(Ephemeris, DialogueRepeatsAndKeepsAnswers) {
  {
    const auto r = run_terra(setup() + "3\nx\n1 0 1\nbad 0 t\n0 0 t\n/\n0\n");
    EXPECT_EQ(count(r.out, kPrompt1), 3);
    EXPECT_EQ(count(r.out, kPrompt2), 2);
    const auto lines = last_option_lines(r.prt);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(), is_data_line), 1);
  }
  {
    const auto r = run_terra(setup() + "3\n1 0 1\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(count(r.out, kPrompt2), 1);
    EXPECT_EQ(last_option_lines(r.prt), std::vector<std::string>{});
  }
  {
    const auto r = run_terra(setup() + "3\n2 100 10\n1.5 100 first\n2 /\n/\n/\n0\n");
    const auto lines = last_option_lines(r.prt);
    ASSERT_EQ(lines.size(), 14u);
    EXPECT_EQ(lines[8], " YYYY Mmm DD hh:mm:ss    first                       ");
    EXPECT_EQ(lines[9], " N2=   2 DJUL=    100.00 DELJUL=   10.00  ORBPER=    1.5000 ORB0=    100.0000");
    EXPECT_EQ(lines[12].substr(15, 7), lines[5].substr(15, 7));
    EXPECT_EQ(lines[12].substr(47, 10), "    100.00");
    EXPECT_EQ(lines[13].substr(47, 10), "    110.00");
    EXPECT_EQ(lines[13].substr(15, 7), "    6.7");  // 10 / 1.5
  }
}

TEST(Ephemeris, ZeroStepPrintsIdenticalLines) {
  const auto r = run_terra(setup() + "3\n4 10.5 0\n0 0 same\n/\n0\n");
  const auto lines = last_option_lines(r.prt);
  ASSERT_EQ(lines.size(), 9u);
  for (std::size_t k = 6; k < 9; ++k) EXPECT_EQ(lines[k], lines[5]);
  EXPECT_EQ(lines[5].substr(47, 10), "     10.50");
}

// The revolution column (columns 16-22). Spacecraft rows: the built-in
// periapsis tables, worked by hand in single precision: spacecraft 1 at its
// periapsis 2952.25 gives LR + 0.5 = 3.5, at 3000 row 1 gives 50.10431, at
// 3047.75 row 3 gives 97 + 0.61/(24.54/24) + 0.5 = 98.097; spacecraft 2 at
// its periapsis 3002.52 gives 4.5, at 3300 row 18 gives 285.65045. A
// positive period counts (date - epoch) / period.
TEST(Ephemeris, RevolutionColumn) {
  struct Row {
    const char* dates;   // N2 DJUL DELJUL
    const char* orbit;   // ORBPER ORB0 TITLE
    std::vector<std::string> revs;
  } rows[] = {
      {"3 0 10", "0 55 none", {"    0.0", "    0.0", "    0.0"}},
      {"5 100 0.5", "1.0 100 days", {"    0.0", "    0.5", "    1.0", "    1.5", "    2.0"}},
      {"3 0.25 1", "1.0 0.25 days", {"    0.0", "    1.0", "    2.0"}},
      {"2 10 10", "2.5 0 slow", {"    4.0", "    8.0"}},
      {"3 2952.25 47.75", "-1 12345 sc1", {"    3.5", "   50.1", "   98.1"}},
      {"2 3002.52 297.48", "-2 0 sc2", {"    4.5", "  285.7"}},
      {"1 3000 0", "-3 0 sc3", {"    0.0"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.orbit);
    const auto r = run_terra(setup() + "3\n" + row.dates + "\n" + row.orbit + "\n/\n0\n");
    const auto lines = last_option_lines(r.prt);
    ASSERT_EQ(lines.size(), 5 + row.revs.size());
    for (std::size_t k = 0; k < row.revs.size(); ++k) EXPECT_EQ(lines[5 + k].substr(15, 7), row.revs[k]) << k;
  }
}

// Before any set-up there is no orbit: one message on the screen that an
// elliptic orbit must be set up with option 1 or 2, then prompt 1 again;
// no table is printed.
TEST(Ephemeris, BeforeSetupAsksForAnOrbit) {
  const auto r = run_terra("p\n3\n5 0 1\n/\n0\n");
  EXPECT_EQ(r.status, 1);  // the refused table is work that failed
  EXPECT_EQ(count(r.out, kPrompt1), 2);
  EXPECT_EQ(count(r.out, kPrompt2), 0);
  const std::size_t first = r.out.find(kPrompt1);
  const std::size_t second = r.out.find(kPrompt1, first + 1);
  const std::string between = r.out.substr(first, second - first);
  EXPECT_EQ(count(between, "No elliptic orbit is set up"), 1) << between;
  EXPECT_NE(between.find("option 1"), std::string::npos) << between;
  EXPECT_NE(between.find("option 2"), std::string::npos) << between;
  EXPECT_EQ(last_option_lines(r.prt), std::vector<std::string>{});
}

// Debug flag 1 at option 1: the seasonal routine's three lines for each
// date go to the screen before that date's data line. The subsolar latitude
// in them has all its digits: asin(sin(0.409092601) sin 280.12 deg).
TEST(Ephemeris, DebugLinesOnTheScreen) {
  const auto r = run_terra(setup("p", "1") + "3\n2 0 " + kHalfPeriod + "\n0 0 dbg\n/\n0\n");
  const auto out = lines_of(r.out);
  std::vector<std::string> debug;
  for (const auto& l : out)
    if (l.rfind(" KODE,", 0) == 0 || l.rfind(" TAR,", 0) == 0 || l.rfind(" SDEC,", 0) == 0) debug.push_back(l);
  ASSERT_EQ(debug.size(), 6u);
  EXPECT_EQ(debug[0].rfind(" KODE,TMJD,LSUBS= 1 0.0 ", 0), 0u) << debug[0];
  EXPECT_EQ(debug[1].rfind(" TAR,P,Q,R= ", 0), 0u) << debug[1];
  EXPECT_EQ(debug[2].rfind(" SDEC,DAU= ", 0), 0u) << debug[2];
  EXPECT_EQ(debug[3].rfind(" KODE,TMJD,LSUBS= 1 182.628181502 ", 0), 0u) << debug[3];
  EXPECT_NEAR(std::stod(debug[2].substr(11)), -23.0533653312197, 1e-9);
  EXPECT_NEAR(std::stod(debug[5].substr(11)), 23.0533653312197, 1e-9);
  const auto lines = last_option_lines(r.prt);
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(), is_data_line), 2);
}

// With the print unit on the terminal the debug lines stand between the
// table lines, each triple just before its data line, and are not counted
// in the page: the page break still comes after 53 data lines.
TEST(Ephemeris, DebugLinesBetweenTableLinesOnTheTerminal) {
  const auto r = run_terra(setup("t", "1") + "3\n54 0 1\n0 0 dbg\n/\n0\n");
  const auto out = lines_of(mask_stamps(r.out));
  const auto header = std::find(out.begin(), out.end(), kColumns);
  ASSERT_NE(header, out.end());
  int data = 0;
  int triples = 0;
  bool broke = false;
  for (auto it = header + 2; it != out.end() && it->find(kPrompt1) == std::string::npos; ++it) {
    if (it->rfind(" KODE,TMJD,LSUBS= 1 ", 0) == 0) {
      ASSERT_GE(out.end() - it, 3);
      EXPECT_EQ((it + 1)->rfind(" TAR,P,Q,R= ", 0), 0u);
      EXPECT_EQ((it + 2)->rfind(" SDEC,DAU= ", 0), 0u);
      ++triples;
      it += 2;
      // Before data line 54 the page break stands between the triple and it.
      if (data == 53) {
        ASSERT_GE(out.end() - it, 5);
        EXPECT_EQ(*(it + 1), "1");
        EXPECT_EQ(*(it + 2), kColumns);
        EXPECT_EQ(*(it + 3), "");
        EXPECT_TRUE(is_data_line(*(it + 4))) << *(it + 4);
        broke = true;
        it += 3;
      } else {
        ASSERT_GE(out.end() - it, 2);
        EXPECT_TRUE(is_data_line(*(it + 1))) << *(it + 1);
      }
    } else if (is_data_line(*it)) {
      ++data;
    } else {
      ADD_FAILURE() << "unexpected line: " << *it;
    }
  }
  EXPECT_EQ(data, 54);
  EXPECT_EQ(triples, 54);
  EXPECT_TRUE(broke);
}

}  // namespace
