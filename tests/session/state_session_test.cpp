// Option 2 through the whole program: states set up from every shipped
// table survive a binary save and restore bit for bit, other records stay
// untouched, and a state restored in a new run prints the same ephemeris.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "session.hpp"

namespace {

using kest::testing::lines_of;
using kest::testing::mask_stamps;
using kest::testing::run_kest;
using kest::testing::ScratchDir;

struct Body {
  int source;
  int item;
};

// Every item of every shipped table (the counts are those of data/).
std::vector<Body> shipped_bodies() {
  std::vector<Body> v;
  const std::pair<int, int> tables[] = {{1, 9}, {3, 8}, {4, 9}, {5, 6}, {6, 6}};
  for (auto [src, n] : tables)
    for (int i = 1; i <= n; ++i) v.push_back({src, i});
  return v;
}

std::string setup_answers(const Body& b) {
  std::string s = "1\n" + std::to_string(b.source) + "\n" + std::to_string(b.item) + "\n";
  if (b.source == 1) s += "0\n";  // epoch
  s += "0\n";                     // debug flags
  if (b.source == 1) s += "/\n";  // the planet's own pole
  return s;
}

// The first-half lines of the last listing in a print file (positions 1-30).
std::string first_half(const std::string& prt, int which) {
  const auto lines = lines_of(prt);
  int seen = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i] == "   KESTCM 1:30" && ++seen == which) {
      std::string s;
      for (std::size_t k = i; k < i + 13 && k < lines.size(); ++k) s += lines[k] + "\n";
      return s;
    }
  }
  return "";
}

TEST(StateSession, EveryShippedBodyRoundTripsBitForBitAndOtherRecordsStayUntouched) {
  ScratchDir dir;
  for (const char* t : {"planelem.tab", "spinaxis.tab", "minor.tab", "small.tab", "comet.tab", "exoplan.tab"})
    dir.copy_table(t);
  int run = 0;
  for (const Body& b : shipped_bodies()) {
    const int rec = run % 14 + 1;
    ++run;
    const std::string before = dir.read("KESTCM.DAT");
    // Set up, list, save to rec; restore rec, list, save the restored state to 15.
    const std::string answers = "p\n" + setup_answers(b) + "4\n2\n2\n1\n" + std::to_string(rec) + "\n2\n1\n1\n" +
                                std::to_string(rec) + "\n4\n2\n2\n1\n15\n0\n";
    const auto r = run_kest(dir, answers);
    ASSERT_EQ(r.status, 0) << b.source << "/" << b.item;
    const std::string after = dir.read("KESTCM.DAT");
    ASSERT_EQ(after.size(), 15u * 240u) << b.source << "/" << b.item;
    const auto at = static_cast<std::size_t>(rec - 1) * 240;
    // The restored state saved again is the same 240 bytes.
    EXPECT_EQ(after.substr(at, 240), after.substr(14 * 240, 240)) << b.source << "/" << b.item;
    // Nothing but records rec and 15 changed.
    if (!before.empty()) {
      for (int k = 0; k < 14; ++k) {
        if (k == rec - 1) continue;
        EXPECT_EQ(after.substr(static_cast<std::size_t>(k) * 240, 240), before.substr(static_cast<std::size_t>(k) * 240, 240))
            << "record " << k + 1 << " after saving " << b.source << "/" << b.item;
      }
    }
    // The listing of positions 1-30 is the same before and after the restore.
    const std::string l1 = first_half(r.prt, 1);
    EXPECT_FALSE(l1.empty());
    EXPECT_EQ(l1, first_half(r.prt, 2)) << b.source << "/" << b.item;
    EXPECT_NE(r.prt.find("From Binary: unknown"), std::string::npos);
  }
}

// The data lines of every ephemeris table in a print file.
std::vector<std::string> data_lines(const std::string& prt) {
  std::vector<std::string> v;
  for (const auto& l : lines_of(prt))
    if (l.size() == 67 && l[0] == ' ' && std::isdigit(static_cast<unsigned char>(l[4]))) v.push_back(l);
  return v;
}

TEST(StateSession, MarsSavedAndRestoredInANewRunPrintsTheSameEphemeris) {
  ScratchDir dir;
  dir.copy_table("planelem.tab");
  dir.copy_table("spinaxis.tab");
  const std::string table = "3\n40 8766 17.5\n0 0 'Mars'\n0 0 0\n";
  const auto first =
      run_kest(dir, "p\n" + setup_answers({1, 4}) + table + "2\n2\n1\n7\n2\n2\n2\n'mars state.mat'\n0\n");
  ASSERT_EQ(first.status, 0);
  const auto expected = data_lines(first.prt);
  ASSERT_EQ(expected.size(), 40u);
  EXPECT_NE(first.prt.find("0KESTIO: /KESTCM/  TO  KESTCM.DAT RECORD 7  IPLAN,TC=104.0 0.000"), std::string::npos);

  // Binary: the same table to the last digit.
  const auto bin = run_kest(dir, "p\n2\n1\n1\n7\n" + table + "0\n");
  ASSERT_EQ(bin.status, 0);
  EXPECT_EQ(data_lines(bin.prt), expected);

  // ASCII: seven significant digits of every value; the table agrees to
  // the rounding of its last printed digits.
  const auto asc = run_kest(dir, "p\n2\n1\n2\n'mars state.mat'\n" + table + "4\n0\n");
  ASSERT_EQ(asc.status, 0);
  EXPECT_NE(asc.prt.find("Object = Mars:Mars"), std::string::npos);
  const auto got = data_lines(asc.prt);
  ASSERT_EQ(got.size(), expected.size());
  for (std::size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].substr(0, 22), expected[i].substr(0, 22));  // date and revolution
    EXPECT_NEAR(std::stod(got[i].substr(22, 10)), std::stod(expected[i].substr(22, 10)), 2e-6);
    EXPECT_NEAR(std::stod(got[i].substr(33, 7)), std::stod(expected[i].substr(33, 7)), 0.011);
    EXPECT_NEAR(std::stod(got[i].substr(40, 7)), std::stod(expected[i].substr(40, 7)), 0.011);
  }
}

}  // namespace
