// The helper tools around the program: tools/plot-ephemeris turns the
// ephemeris tables of a real print file into a PNG picture, and
// tools/validate still runs the program and writes its comparison with the
// published values.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "session.hpp"

namespace {

namespace fs = std::filesystem;
using kest::testing::run_kest;
using kest::testing::ScratchDir;

fs::path tools_dir() { return kest::testing::data_dir().parent_path() / "tools"; }

std::string quoted(const fs::path& p) { return "'" + p.string() + "'"; }

// Exit status of a shell command (-1 if it did not end normally).
int shell(const std::string& command) {
  const int st = std::system(command.c_str());
  return st != -1 && WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

bool have(const std::string& program) { return shell("command -v " + program + " >/dev/null 2>&1") == 0; }

constexpr char kPngSignature[] = "\x89PNG\r\n\x1a\n";

// Mars at the epoch 2025.0 with two ephemeris tables in one print file: a
// month across the start of a Mars year (Ls wraps from 360 to 0) and ten
// half-day steps.
const char kMarsTables[] =
    "p\n1\n1\n4\n0.25\n0\n/\n"
    "3\n30 9071 1\n0 0 'Mars, November 2024'\n10 9101 0.5\n0 0 second\n/\n0\n";

TEST(PlotEphemeris, DrawsThePrintFileOfARealRun) {
  if (!have("gnuplot")) GTEST_SKIP() << "gnuplot is missing (tools/setup installs gnuplot-nox)";
  ScratchDir dir;
  dir.copy_table("planelem.tab");
  dir.copy_table("spinaxis.tab");
  const auto r = run_kest(dir, kMarsTables);
  ASSERT_EQ(r.status, 0);
  ASSERT_NE(r.prt.find("Mars, November 2024"), std::string::npos);

  const fs::path png = dir.path() / "out.png";
  ASSERT_EQ(shell(quoted(tools_dir() / "plot-ephemeris") + " " + quoted(dir.path() / "kest.prt") + " " + quoted(png) +
                  " 2>&1"),
            0);
  const std::string bytes = dir.read("out.png");
  EXPECT_GT(bytes.size(), 1000u);
  EXPECT_EQ(bytes.substr(0, 8), std::string(kPngSignature, 8));
}

// What the plot tool must refuse, with its exit status, and without leaving
// a picture behind.
struct Refusal {
  const char* what;
  const char* prt;    // content of the print file; nullptr for no file at all
  bool no_arguments;  // the tool called alone instead of with the print file and the picture
  int status;
};
const Refusal kRefusals[] = {
    {"no arguments", "", true, 2},
    {"missing print file", nullptr, false, 1},
    {"print file without a table (a listing only)",
     " KESTMN:KEST:2014jun10  Run_time=2024 Jun 10 14:05:33\n Object = Mars:Mars\n   KESTCM 1:30\n", false, 1},
    {"data-like lines with no table header", " 2024 NOV  1.50    0.0  1.543725  354.52  -2.33   9071.00  FRI  306\n",
     false, 1},
};

TEST(PlotEphemeris, RefusesWhatHoldsNoTable) {
  if (!have("gnuplot")) GTEST_SKIP() << "gnuplot is missing (tools/setup installs gnuplot-nox)";
  for (const auto& c : kRefusals) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    if (c.prt != nullptr) dir.write("kest.prt", c.prt);
    const std::string tool = quoted(tools_dir() / "plot-ephemeris");
    const std::string cmd =
        c.no_arguments ? tool : tool + " " + quoted(dir.path() / "kest.prt") + " " + quoted(dir.path() / "out.png");
    EXPECT_EQ(shell(cmd + " 2>/dev/null"), c.status);
    EXPECT_FALSE(dir.exists("out.png"));
  }
}

// The fast mode of the validation runs the real program on the shipped
// tables; every comparison must stay within the tolerances it states.
TEST(Validate, FastModeRunsTheProgramAndStaysWithinTolerance) {
  if (!have("python3")) GTEST_SKIP() << "python3 is missing";
  ScratchDir dir;
  const fs::path md = dir.path() / "validation.md";
  const int st = shell(quoted(tools_dir() / "validate") + " " + quoted(KEST_BINARY_PATH) + " --fast -o " + quoted(md));
  EXPECT_EQ(st, 0) << dir.read("validation.md");
  const std::string text = dir.read("validation.md");
  for (const char* heading : {"## Summary", "## Obliquities", "## Earth: equinoxes and solstices",
                              "## Mars: start of each Mars year", "## Comets and asteroids"}) {
    EXPECT_NE(text.find(heading), std::string::npos) << heading;
  }
  EXPECT_NE(text.find("Every comparison lies within its tolerance."), std::string::npos);
}

TEST(Validate, SaysSoWhenThereIsNoProgram) {
  if (!have("python3")) GTEST_SKIP() << "python3 is missing";
  ScratchDir dir;
  EXPECT_EQ(shell(quoted(tools_dir() / "validate") + " " + quoted(dir.path() / "no-such-kest") + " --fast 2>/dev/null"),
            2);
}

}  // namespace
