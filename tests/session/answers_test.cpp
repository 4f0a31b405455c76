// Answers the dialogue refuses because it would take them for something
// else: a year typed at the epoch prompt, and a file name that the free-
// format read would cut (an unquoted path at its first slash, any name at
// 30 characters). Each is said on the screen, the question comes again,
// and nothing is read or written for the refused answer.
#include <gtest/gtest.h>

#include <cstddef>
#include <filesystem>
#include <string>

#include "session.hpp"

namespace {

namespace fs = std::filesystem;
using kest::testing::lines_of;
using kest::testing::run_kest;
using kest::testing::ScratchDir;

std::size_t count_of(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

constexpr const char* kEpochPrompt = " ?* EPOCH desired as centuries after 2000.0\n";

// Mars (source 1, item 4) with the epoch answers given, its own pole, then
// the end of the run. The reader's summary in kest.prt shows the epoch it
// used (TCEN, F10.6).
TEST(EpochPrompt, YearsAreRefusedAndAskedAgain) {
  struct Row {
    const char* name;
    const char* answers;  // lines at the epoch prompt(s)
    std::size_t prompts;  // epoch prompts shown
    const char* message;  // the refusal, "" when none
    const char* tcen;     // TCEN in the summary, "" when the set-up did not run
    int status;
  };
  const Row rows[] = {
      {"a year for centuries", "2025\n0.25\n", 2,
       " EPOCH 2025.0 centuries after 2000.0 is the year 204500.0; give centuries: 0.25 is 2025.0\n", "0.250000",
       0},
      {"the limit itself, negative", "-1000\n-0.5\n", 2,
       " EPOCH -1000.0 centuries after 2000.0 is the year -98000.0; give centuries: 0.25 is 2025.0\n", "-0.500000",
       0},
      {"just below the limit: taken, however far", "999.5\n", 1, "", "999.500000", 0},
      {"beyond any year", "1e307\n0\n", 2,
       " EPOCH 1e+307 centuries after 2000.0 is beyond any year; give centuries: 0.25 is 2025.0\n", "0.000000", 0},
      {"the end of input at the prompt asked again", "2025\n", 2, " EPOCH 2025.0 centuries", "", 0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    ScratchDir dir;
    dir.copy_tables();
    const bool runs_out = *r.tcen == '\0';
    const auto run = run_kest(dir, std::string("p\n1\n1\n4\n") + r.answers + (runs_out ? "" : "0\n/\n0\n"));
    EXPECT_EQ(run.status, r.status) << run.out;
    EXPECT_EQ(count_of(run.out, kEpochPrompt), r.prompts) << run.out;
    if (*r.message) {
      EXPECT_NE(run.out.find(r.message), std::string::npos) << run.out;
    } else {
      EXPECT_EQ(run.out.find("give centuries"), std::string::npos) << run.out;
    }
    if (runs_out) {
      EXPECT_EQ(run.out.find("Entering KESTEL"), std::string::npos) << run.out;
    } else {
      // The title in A10, then TCEN right-justified in F10.6.
      const std::string tcen(r.tcen);
      EXPECT_NE(run.prt.find("planelem.tab  Mars:Mars " + std::string(10 - tcen.size(), ' ') + tcen), std::string::npos)
          << run.prt;
    }
  }
}

// A refused epoch is not kept: a slash at the prompt asked again keeps the
// epoch of the set-up before, not the year.
TEST(EpochPrompt, SlashAfterARefusalKeepsTheEarlierEpoch) {
  ScratchDir dir;
  dir.copy_tables();
  const auto run = run_kest(dir, "p\n1\n1\n4\n0.5\n0\n/\n1\n1\n4\n2025\n/\n0\n/\n0\n");
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(count_of(run.prt, "planelem.tab  Mars:Mars   0.500000"), 2u) << run.prt;
}

// Option 2 with text files: which file a name answer reaches. The state is
// Mars; "sub" is a directory of the scratch directory.
TEST(FileNamePrompt, NamesTheReadWouldCutAreRefused) {
  const std::string slash_hint = " must be quoted (a lone / keeps KESTCM.mat)\n";
  const std::string name30 = "n23456789012345678901234567890";   // 30 characters
  const std::string name31 = "n234567890123456789012345678901";  // 31
  struct Row {
    std::string name;
    std::string answers;  // lines at the name question(s)
    std::size_t questions;
    std::string message;  // the refusal, "" when none
    std::string written;  // the file the record went to, "" when none
  };
  const Row rows[] = {
      {"an absolute path", "/data/x/mars.mat\n'sub/mars.mat'\n", 2,
       " Unquoted names end at a slash: '/data/x/mars.mat'" + slash_hint, "sub/mars.mat"},
      {"a relative path, then the default", "sub/mars.mat\n/\n", 2,
       " Unquoted names end at a slash: 'sub/mars.mat'" + slash_hint, "KESTCM.mat"},
      {"after an empty line", "\n/data/x\n\"sub/m.mat\"\n", 2, " Unquoted names end at a slash: '/data/x'" + slash_hint,
       "sub/m.mat"},
      {"a path with a comment", "sub/mars.mat   my state\n/\n", 2,
       " Unquoted names end at a slash: 'sub/mars.mat'" + slash_hint, "KESTCM.mat"},
      {"a lone slash with a comment", "/   the default name\n", 1, "", "KESTCM.mat"},
      {"a lone comma", ",\n", 1, "", "KESTCM.mat"},
      {"a slash that ends the name", "mars.mat/\n", 1, "", "mars.mat"},
      {"30 characters", name30 + "\n", 1, "", name30},
      {"31 characters, quoted", "'" + name31 + "'\n'short.mat'\n", 2,
       " File names hold at most 30 characters: '" + name31 + "' has 31 (a lone / keeps KESTCM.mat)\n", "short.mat"},
      {"a long unquoted path", "sub/" + name30 + "\n/\n", 2,
       " File names hold at most 30 characters: 'sub/" + name30 + "' has 34 (a lone / keeps KESTCM.mat)\n",
       "KESTCM.mat"},
      {"the end of input at the question asked again", "/data/x/mars.mat\n", 2,
       " Unquoted names end at a slash: '/data/x/mars.mat'" + slash_hint, ""},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    ScratchDir dir;
    dir.copy_tables();
    fs::create_directory(dir.path() / "sub");
    const bool runs_out = r.written.empty();
    const auto run = run_kest(dir, "p\n1\n1\n4\n0\n0\n/\n2\n2\n2\n" + r.answers + (runs_out ? "" : "0\n"));
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(count_of(run.out, " ?* NAME OF ASCII OUTPUT FILE; DEFAULT IS KESTCM.mat"), r.questions) << run.out;
    if (!r.message.empty()) {
      EXPECT_NE(run.out.find(r.message), std::string::npos) << run.out;
    } else {
      EXPECT_EQ(run.out.find(" (a lone / keeps KESTCM.mat)"), std::string::npos) << run.out;
    }
    // Only the file named received the record.
    for (const char* other : {"KESTCM.mat", "mars.mat", "sub/mars.mat", "sub/m.mat", "short.mat"}) {
      if (r.written != other) {
        EXPECT_FALSE(dir.exists(other)) << other;
      }
    }
    if (!runs_out) {
      EXPECT_EQ(lines_of(dir.read(r.written)).size(), 7u);
      EXPECT_NE(run.prt.find(" ASCII RECORD  TO  FILE =" + r.written), std::string::npos) << run.prt;
    }
  }
}

}  // namespace
