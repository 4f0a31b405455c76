// Hostile keyboards: every script cut short at every line, very long and
// binary lines, floods of bad answers and out-of-range numbers. Each run must
// end by itself, with status 0, or 1 when some of its work failed, and leave
// the state files undamaged.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "session.hpp"

namespace {

using kest::testing::lines_of;
using kest::testing::run_kest;
using kest::testing::ScratchDir;

// One script that walks every option and dialogue: set-ups from every
// source, saves and restores of both kinds, an ephemeris, the listing and
// the matrix test.
const std::vector<std::string> kScript = {
    "p",
    "1", "1", "4", "0", "7", "Phobos",        // Mars with Phobos' pole, all debug prints
    "1", "3", "2", "0",                        // a minor body
    "1", "4", "1", "0",                        // a small body
    "1", "5", "2", "0",                        // a comet
    "1", "6", "1", "0",                        // an exoplanet
    "1", "1", "4", "0.1", "0", "/",            // Mars again
    "2", "2", "1", "5",                        // binary save to record 5
    "2", "1", "1", "5",                        // binary restore of record 5
    "2", "2", "2", "'state.mat'",              // ASCII save
    "2", "1", "2", "'state.mat'",              // ASCII restore
    "3", "20 8766 1.5", "-1 0 'with MGS'", "0 0 0",
    "4", "5", "0"};

// The ASCII restore reads the first record of state.mat, which holds two
// lines of earlier text and no record: it fails, and from then on the run's
// exit status is 1.
const std::size_t kFailedRestoreLine = 44;

class Hostile : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* t : {"planelem.tab", "spinaxis.tab", "minor.tab", "small.tab", "comet.tab", "exoplan.tab"})
      dir_.copy_table(t);
  }
  // State files holding earlier work that no run may damage, written afresh
  // before each run.
  kest::testing::RunResult run(const std::string& input, int timeout_s) {
    write_state_files();
    return run_kest(dir_, input, timeout_s);
  }
  void write_state_files() const {
    std::string bin(15 * 240, '\0');
    for (std::size_t i = 0; i < bin.size(); ++i) bin[i] = static_cast<char>(i * 7 + 3);
    dir_.write("KESTCM.DAT", bin);
    dir_.write("state.mat", "earlier record line 1\nearlier record line 2\n");
  }
  // Every record of the binary file that the run did not report saving, and
  // the start of the ASCII file, is as it was.
  void expect_files_intact(const std::string& prt, const std::string& why) const {
    std::vector<bool> saved(15, false);
    const std::string mark = " TO  KESTCM.DAT RECORD";
    for (std::size_t p = prt.find(mark); p != std::string::npos; p = prt.find(mark, p + 1)) {
      const int rec = std::stoi(prt.substr(p + mark.size(), 2));
      if (rec >= 1 && rec <= 15) saved[static_cast<std::size_t>(rec - 1)] = true;
    }
    const std::string bin = dir_.read("KESTCM.DAT");
    ASSERT_EQ(bin.size(), 15u * 240u) << why;
    for (std::size_t i = 0; i < bin.size(); ++i) {
      if (saved[i / 240]) continue;
      if (bin[i] != static_cast<char>(i * 7 + 3)) {
        ADD_FAILURE() << why << ": byte " << i << " of KESTCM.DAT changed";
        break;
      }
    }
    EXPECT_EQ(dir_.read("state.mat").rfind("earlier record line 1\nearlier record line 2\n", 0), 0u) << why;
  }
  ScratchDir dir_;
};

TEST_F(Hostile, EveryScriptCutShortAtEveryLineEndsCleanly) {
  for (std::size_t n = 0; n <= kScript.size(); ++n) {
    std::string input;
    for (std::size_t i = 0; i < n; ++i) input += kScript[i] + "\n";
    const auto r = run(input, 20);
    ASSERT_EQ(kScript[kFailedRestoreLine], "'state.mat'");
    EXPECT_EQ(r.status, n > kFailedRestoreLine ? 1 : 0) << "script cut after " << n << " lines";
    expect_files_intact(r.prt, "script cut after " + std::to_string(n) + " lines");
  }
}

TEST_F(Hostile, LongBinaryLinesFloodsAndHugeNumbersAtEveryPrompt) {
  std::string tenmb(10 * 1024 * 1024, 'x');
  tenmb[5] = '\0';
  tenmb[4096] = '\xff';
  std::string flood;
  for (int i = 0; i < 10000; ++i) flood += "bad\n";
  const std::vector<std::string> nasty = {tenmb,          std::string("\0\0\0", 3), "1e400", "-2147483649",
                                          "99999999999999", "-1e400",                "\x1b[2J", flood};
  // Each hostile answer is put in place of every answer of the script in turn.
  for (std::size_t at = 1; at < kScript.size(); at += 3) {
    for (const auto& bad : nasty) {
      std::string input;
      for (std::size_t i = 0; i < kScript.size(); ++i) input += (i == at ? bad : kScript[i]) + "\n";
      const auto r = run(input, 30);
      EXPECT_TRUE(r.status == 0 || r.status == 1) << "hostile answer at line " << at << ": " << r.status;
      expect_files_intact(r.prt, "hostile answer at line " + std::to_string(at));
    }
  }
}

}  // namespace
