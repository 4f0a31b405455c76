// Golden sessions: whole scripted runs whose screen, print file and state
// files must stay byte for byte what the reference build wrote, run stamps
// aside.
//
// How the golden files were made: tests/session/golden/make-golden run with
// the reference program (the build of the commit before the restructuring
// of src/, RelWithDebInfo), which sets up the same scratch directories as
// the tests below and keeps every output as written, stamps included. The
// stamps are masked on both sides here. The inputs (*.in) and the damaged
// tables (failure-tables/) are in the same folder; change an input only
// together with its golden files.
#include <gtest/gtest.h>

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "session.hpp"

namespace {

namespace fs = std::filesystem;
using kest::testing::lines_of;
using kest::testing::mask_stamps;
using kest::testing::run_kest;
using kest::testing::ScratchDir;

fs::path golden_dir() { return kest::testing::data_dir().parent_path() / "tests" / "session" / "golden"; }

std::string golden(const std::string& name) {
  std::ifstream f(golden_dir() / name, std::ios::binary);
  EXPECT_TRUE(f.good()) << "missing golden file " << (golden_dir() / name);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

// Visible line ends and control bytes, so that a difference in blanks or
// line ends shows in the message.
std::string shown(const std::string& line) {
  std::string s;
  for (const char c : line) {
    if (c == '\r') {
      s += "\\r";
    } else if (static_cast<unsigned char>(c) < 0x20) {
      s += "\\x" + std::to_string(static_cast<unsigned char>(c));
    } else {
      s += c;
    }
  }
  return s + "|";
}

// Empty when the texts agree with their run stamps masked; otherwise where
// they first part: the line, its column, and both lines in full.
std::string text_difference(const std::string& expected_raw, const std::string& actual_raw) {
  const std::string expected = mask_stamps(expected_raw);
  const std::string actual = mask_stamps(actual_raw);
  if (expected == actual) return "";
  std::size_t at = 0;
  while (at < expected.size() && at < actual.size() && expected[at] == actual[at]) ++at;
  std::size_t line_no = 0;
  std::size_t line_start = 0;
  for (std::size_t i = 0; i < at; ++i) {
    if (expected[i] == '\n') {
      ++line_no;
      line_start = i + 1;
    }
  }
  const auto e = lines_of(expected);
  const auto a = lines_of(actual);
  std::ostringstream m;
  m << "first difference at byte " << at << ", line " << line_no + 1 << ", column " << at - line_start + 1 << "\n"
    << "  expected: " << (line_no < e.size() ? shown(e[line_no]) : "<end of text>") << "\n"
    << "  actual:   " << (line_no < a.size() ? shown(a[line_no]) : "<end of text>") << "\n"
    << "  sizes: expected " << expected.size() << " bytes in " << e.size() << " lines, actual " << actual.size()
    << " bytes in " << a.size() << " lines";
  return m.str();
}

// Empty when the binary state files are the same bytes; otherwise the first
// byte that differs, with its record and position.
std::string binary_difference(const std::string& expected, const std::string& actual) {
  if (expected == actual) return "";
  std::size_t at = 0;
  while (at < expected.size() && at < actual.size() && expected[at] == actual[at]) ++at;
  std::ostringstream m;
  m << "first difference at byte " << at << " (record " << at / 240 + 1 << ", position " << at % 240 / 8 + 1
    << "); sizes: expected " << expected.size() << ", actual " << actual.size();
  return m.str();
}

struct Output {
  const char* what;         // what the output is
  std::string golden_name;  // its golden file
  std::string actual;       // what this build wrote
  bool binary;
};

void expect_all_match(const std::vector<Output>& outputs) {
  for (const Output& o : outputs) {
    const std::string expected = golden(o.golden_name);
    const std::string diff = o.binary ? binary_difference(expected, o.actual) : text_difference(expected, o.actual);
    EXPECT_TRUE(diff.empty()) << o.what << " differs from golden/" << o.golden_name << ": " << diff;
  }
}

// Every menu option and every kind of table in one run: Mars with its own
// pole and every debug print (the seasonal debug lines of the ephemerides),
// ephemerides without a spacecraft, with a period, with the built-in
// spacecraft -1 and -2; Europa by name with a table onto a second page;
// the spin-axis table as its own source; a minor body, a small body, an
// elliptic comet and an exoplanet; listings and rotation tests; binary saves
// to records 3 and 1 and two text records; restores of each followed by an
// ephemeris. Then a second run in the same directory restores from both
// files (and the skipped record 2, all zeros) and prints to the terminal.
TEST(GoldenSession, TourOfEveryOptionAndTableMatchesTheReferenceByteForByte) {
  ScratchDir dir;
  dir.copy_tables();
  const auto tour = run_kest(dir, golden("tour.in"));
  ASSERT_EQ(tour.status, 0);
  const std::string prt_after_tour = tour.prt;
  const auto restore = run_kest(dir, golden("tour-restore.in"));
  ASSERT_EQ(restore.status, 1);  // the ephemeris of the all-zero record 2 is refused
  expect_all_match({
      {"screen of the tour", "tour.screen", tour.out, false},
      {"kest.prt of the tour", "tour.prt", prt_after_tour, false},
      {"screen of the restoring run", "tour-restore.screen", restore.out, false},
      {"kest.prt after the restoring run (printing to the terminal)", "tour.prt", restore.prt, false},
      {"KESTCM.DAT", "tour.KESTCM.DAT", dir.read("KESTCM.DAT"), true},
      {"text state file", "tour-state.mat", dir.read("golden state.mat"), false},
  });
}

// The element-table reader's failures, each followed by the next set-up:
// a missing table (exoplan.tab), an item beyond the end while skipping
// (minor.tab) and at the item itself (planelem.tab), a satellite name that
// is not in spinaxis.tab, damaged values in small.tab and in planelem.tab's
// rates, a table without its C_END line; then the listing and an ephemeris
// of what the failures left, and a good item of a damaged table.
TEST(GoldenSessionFailures, ElementTableFailuresMatchTheReferenceByteForByte) {
  ScratchDir dir;
  dir.copy_tables();
  fs::remove(dir.path() / "exoplan.tab");
  for (const auto& e : fs::directory_iterator(golden_dir() / "failure-tables"))
    fs::copy_file(e.path(), dir.path() / e.path().filename(), fs::copy_options::overwrite_existing);
  const auto run = run_kest(dir, golden("failures.in"));
  ASSERT_EQ(run.status, 1);  // failed set-ups
  expect_all_match({
      {"screen of the failure session", "failures.screen", run.out, false},
      {"kest.prt of the failure session", "failures.prt", run.prt, false},
  });
}

}  // namespace
