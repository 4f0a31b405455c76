// Work that fails is never taken for done: a failed set-up leaves the state
// as it was, item numbers below 1 are refused, full Julian dates give the
// rows of the same instants, the ephemeris refuses a state it cannot use,
// the program's own files are not overwritten by a text save, and the exit
// status says whether the run's work was done.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "session.hpp"

namespace {

using kest::testing::lines_of;
using kest::testing::mask_stamps;
using kest::testing::run_kest;
using kest::testing::ScratchDir;

// The print-file lines after the last run stamp up to the next one.
std::vector<std::string> option_blocks(const std::string& prt) {
  std::vector<std::string> blocks;
  for (const std::string& l : lines_of(mask_stamps(prt))) {
    if (l.rfind(" KESTMN:", 0) == 0) {
      blocks.emplace_back();
      continue;
    }
    if (!blocks.empty()) blocks.back() += l + "\n";
  }
  return blocks;
}

// Mars set up, tabulated and listed; then a set-up that fails; then the
// table and the listing again: both equal what they were.
TEST(FailedSetUp, EveryTableKindLeavesTheStateAsItWas) {
  struct Row {
    const char* what;
    const char* answers;  // option 1 answers after the option code
    const char* remove;   // table file removed first ("" none)
    const char* message;  // an extra line expected on the screen ("" none)
  };
  const Row rows[] = {
      {"planet item beyond the table", "1\n99\n0\n0\n", "", ""},
      {"satellite not in spinaxis.tab", "1\n5\n0\n0\nEurope\n", "",
       " Satellites of Jupiter in spinaxis.tab: Io Europa Ganymede Callisto"},
      {"spin-axis table item beyond it", "2\n99\n0\n", "", ""},
      {"minor.tab missing", "3\n1\n0\n", "minor.tab", ""},
      {"small.tab item beyond it", "4\n99\n0\n", "", ""},
      {"comet.tab missing", "5\n1\n0\n", "comet.tab", ""},
      {"exoplan.tab item beyond it", "6\n99\n7\n", "", ""},
  };
  const std::string before = "1\n1\n4\n0.1\n3\n/\n3\n2 9000 100\n0 0 'm'\n0 0 0\n4\n";
  const std::string after = "3\n2 9000 100\n0 0 'm'\n0 0 0\n4\n0\n";
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    ScratchDir dir;
    dir.copy_tables();
    if (*r.remove) std::filesystem::remove(dir.path() / r.remove);
    const auto run = run_kest(dir, "p\n" + before + "1\n" + r.answers + after);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("KESTEL Error"), std::string::npos);
    const std::size_t msg = run.out.find(" Set-up failed: the state is unchanged\n");
    ASSERT_NE(msg, std::string::npos);
    if (*r.message) {
      EXPECT_NE(run.out.find(r.message, msg), std::string::npos);
    }
    // Blocks: set-up, table, listing, failed set-up, table, listing.
    const auto blocks = option_blocks(run.prt);
    ASSERT_EQ(blocks.size(), 6u);
    EXPECT_EQ(blocks[3], "");  // no summary, no title line, no debug print
    EXPECT_EQ(blocks[4], blocks[1]);
    EXPECT_EQ(blocks[5], blocks[2]);
  }
}

// An item number below 1 is refused with a message and asked again; the
// refused answer counts as an answer.
TEST(FailedSetUp, ItemNumbersBelowOneAreRefused) {
  struct Row {
    const char* answers;
    int refusals;
    double planum;  // listed PLANUM afterwards
  };
  const Row rows[] = {{"3\n0\n2\n0\n", 1, 302.0}, {"3\n-5\n-1\n1\n0\n", 2, 301.0}, {"3\n1\n0\n", 0, 301.0}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.answers);
    ScratchDir dir;
    dir.copy_tables();
    const auto run = run_kest(dir, std::string("t\n1\n") + r.answers + "0\n");
    EXPECT_EQ(run.status, 0);
    std::size_t n = 0;
    for (const std::string& l : lines_of(run.out)) n += l.find("item") != std::string::npos && l.find("?*") == std::string::npos;
    EXPECT_EQ(n, static_cast<std::size_t>(r.refusals));
    EXPECT_NE(run.out.find("Entering KESTEL with IFILE,IPLAN= 3 " + std::to_string(static_cast<int>(r.planum) - 300)),
              std::string::npos);
  }
}

// A full Julian date and the same instant as days from J2000.0 give the
// same row, but for the day-number column that shows the date as given.
TEST(FullJulianDate, RowsOfTheSameInstantAgree) {
  ScratchDir dir;
  dir.copy_tables();
  const auto run = run_kest(dir, "p\n1\n1\n4\n0\n0\n/\n3\n1 2460000.5 0\n0 0 'jd'\n1 8455.5 0\n0 0 'j2000'\n0 0 0\n0\n");
  ASSERT_EQ(run.status, 0);
  std::vector<std::string> rows;
  for (const std::string& l : lines_of(run.prt))
    if (l.size() == 67 && l.find(" 2023 FEB") == 0) rows.push_back(l);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].substr(0, 47), rows[1].substr(0, 47));
  EXPECT_EQ(rows[0].substr(57), rows[1].substr(57));
  EXPECT_EQ(rows[0].substr(47, 10), "2460000.50");
  EXPECT_EQ(rows[1].substr(47, 10), "   8455.50");
}

// A binary record of 30 values, little-endian.
std::string record(const std::vector<double>& v) {
  std::string b;
  for (double x : v) {
    const auto u = std::bit_cast<std::uint64_t>(x);
    for (int i = 0; i < 8; ++i) b.push_back(static_cast<char>((u >> (8 * i)) & 0xff));
  }
  return b;
}

// A state the ephemeris cannot use is refused, naming the field; a usable
// one restored from a text file prints its table.
TEST(RefusedState, EachFieldAtFaultIsNamed) {
  // A circular orbit of 1 AU with a frame that is a rotation.
  std::vector<double> good(30, 0.0);
  good[0] = 104;
  good[5] = 0.1;     // ECC
  good[6] = 1.5;     // SJA
  good[13] = 687.0;  // OPERIOD
  good[21] = good[25] = good[29] = 1.0;  // BFRM the identity
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Row {
    int pos;  // 1-based position changed
    double value;
    const char* field;  // "" when the state is usable
  };
  const Row rows[] = {
      {15, nan, "TJP is not a finite number"},     {18, inf, "TAV is not a finite number"},
      {23, nan, "BFRM:2 is not a finite number"},  {20, -inf, "KDEBUG is not a finite number"},
      {14, -687.0, "OPERIOD is not above 0"},      {14, 0.0, "OPERIOD is not above 0"},
      {7, -1.5, "SJA is not above 0"},             {6, 1.0, "ECC is not in [0, 1)"},
      {26, 0.0, "BFRM is not a rotation"},         {22, 1.00002, "BFRM is not a rotation"},
      {22, 1.000001, ""},                          {15, -1234.5, ""},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.pos);
    ScratchDir dir;
    std::vector<double> v = good;
    v[static_cast<std::size_t>(r.pos - 1)] = r.value;
    dir.write("KESTCM.DAT", record(v));
    // When refused, prompt 1 comes again and takes "0 0 'x'" as a conversion
    // error; "0 0 0" then ends the table in either case.
    const auto run = run_kest(dir, "p\n2\n1\n1\n1\n3\n1 0 1\n0 0 'x'\n0 0 0\n0\n");
    const bool refused = *r.field != '\0';
    EXPECT_EQ(run.status, refused ? 1 : 0);
    EXPECT_EQ(run.out.find(std::string("The state cannot give ephemerides: ") + r.field) != std::string::npos, refused);
    EXPECT_EQ(run.prt.find(" N2=   1") != std::string::npos, !refused);
  }
  // Seven digits of a text state file still make a rotation.
  ScratchDir dir;
  dir.copy_tables();
  const auto run = run_kest(dir, "p\n1\n1\n4\n0\n0\n/\n2\n2\n2\ns.mat\n0\n");
  ASSERT_EQ(run.status, 0);
  const auto again = run_kest(dir, "p\n2\n1\n2\ns.mat\n3\n1 0 1\n0 0 'x'\n0 0 0\n0\n");
  EXPECT_EQ(again.status, 0);
  EXPECT_NE(again.prt.find(" N2=   1"), std::string::npos);
}

// A text save named like the open print file or the binary state file is
// refused and writes nothing; one failed save makes the exit status 1.
TEST(ExitStatus, FailedSavesAndOwnFiles) {
  struct Row {
    const char* name;
    int status;
    const char* reason;
  };
  const Row rows[] = {
      {"state.mat", 0, ""},
      {"kest.prt", 1, "it is the open print file kest.prt"},
      {"./KESTCM.DAT", 1, "it is the binary state file KESTCM.DAT"},
      {"no-such-dir/state.mat", 1, "No such file or directory"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    ScratchDir dir;
    dir.copy_tables();
    const auto run = run_kest(dir, std::string("p\n1\n1\n4\n0\n0\n/\n2\n2\n2\n'") + r.name + "'\n0\n");
    EXPECT_EQ(run.status, r.status);
    if (*r.reason) {
      EXPECT_NE(run.out.find(std::string("KESTIO: nothing saved to ") + r.name + ": " + r.reason), std::string::npos)
          << run.out;
    }
    // No text record went into the print file, and no KESTCM.DAT was made.
    EXPECT_EQ(run.prt.find("\nKEST:2014jun10 "), std::string::npos);
    EXPECT_FALSE(dir.exists("KESTCM.DAT"));
    EXPECT_EQ(lines_of(dir.read("state.mat")).size(), r.status == 0 ? 7u : 0u);
  }
}

}  // namespace
