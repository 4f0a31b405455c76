// The helper tools around the program: tools/plot-ephemeris turns the
// ephemeris tables of a real print file, or kest-season's CSV, into a PNG
// picture, tools/validate still runs kest and kest-season and writes their
// comparison with the published values, and the kest-season examples run.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

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
                              "## Mars: start of each Mars year", "## Comets and asteroids",
                              "## kest-season: the Earth's apparent equinoxes and solstices",
                              "## kest-season against JPL DE405"}) {
    EXPECT_NE(text.find(heading), std::string::npos) << heading;
  }
  EXPECT_NE(text.find("Every comparison lies within its tolerance."), std::string::npos);
}

// Without DE405 the comparison with it is left out, and the report says why.
TEST(Validate, SaysSoWhenDE405IsMissing) {
  if (!have("python3")) GTEST_SKIP() << "python3 is missing";
  ScratchDir dir;
  const fs::path md = dir.path() / "validation.md";
  const int st = shell(quoted(tools_dir() / "validate") + " " + quoted(KEST_BINARY_PATH) + " --fast --de405 " +
                       quoted(dir.path() / "no-such-directory") + " -o " + quoted(md) + " 2>/dev/null");
  EXPECT_NE(st, 2);
  EXPECT_NE(dir.read("validation.md").find("Not compared: DE405 is not installed here"), std::string::npos);
}

TEST(Validate, SaysSoWhenThereIsNoProgram) {
  if (!have("python3")) GTEST_SKIP() << "python3 is missing";
  ScratchDir dir;
  EXPECT_EQ(shell(quoted(tools_dir() / "validate") + " " + quoted(dir.path() / "no-such-kest") + " --fast 2>/dev/null"),
            2);
}

// kest-season, built beside kest.
fs::path season_binary() { return fs::path(KEST_BINARY_PATH).parent_path() / "kest-season"; }

// Runs kest-season with the shipped tables and the given arguments; its output goes to file.
int run_season(const std::string& args, const fs::path& file) {
  return shell(quoted(season_binary()) + " --tables " + quoted(kest::testing::data_dir()) + " " + args + " >> " +
               quoted(file));
}

std::vector<std::string> fields(const std::string& line) {
  std::vector<std::string> out(1);
  for (char ch : line) {
    if (ch == ',') {
      out.emplace_back();
    } else {
      out.back().push_back(ch);
    }
  }
  return out;
}

size_t count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// kest-season's CSV, of one run or of several put one after the other, and
// a print file of a real kest run: the curves the plot tool makes of them,
// with the x axis asked for. The kept data must hold every row, at the
// instant of its day count, with the Ls text as read, and break the curves
// where Ls wraps.
struct PlotCase {
  const char* what;
  std::vector<std::string> runs;  // kest-season arguments, one run each; none: the kest print file
  const char* x;                  // "" (the date), "--x ls" or "--x=date"
  const char* titles;
  int wraps;  // points without Ls; -1 when not known beforehand
  bool against_ls;
};
const PlotCase kPlotCases[] = {
    {"a table against the date",
     {"--csv table Mars --from 2020-01-01 --to 2026-01-01 --step 5d"},
     "",
     "mars\n",
     3,
     false},
    {"a table against Ls",
     {"--csv table Mars --from 2020-01-01 --to 2026-01-01 --step 5d"},
     "--x ls",
     "mars\n",
     3,
     true},
    {"events, with their event and Mars-year columns",
     {"--csv events Mars --from 2020-01-01 --to 2026-01-01"},
     "--x=date",
     "mars\n",
     -1,
     false},
    {"two runs one after the other",
     {"--csv table Earth --from 2024-01-01 --to 2024-12-31 --step 30d",
      "--csv table Mars --from 2020-01-01 --to 2026-01-01 --step 5d"},
     "--x ls",
     "mars\nmars (2)\n",
     4,
     true},
    {"a kest print file against Ls", {}, "--x ls", "Mars, November 2024\nsecond\n", 1, true},
};

TEST(PlotEphemeris, DrawsKestSeasonCsvAndPrintFilesAgainstTheDateOrLs) {
  if (!have("gnuplot")) GTEST_SKIP() << "gnuplot is missing (tools/setup installs gnuplot-nox)";
  ASSERT_TRUE(fs::exists(season_binary())) << "build the kest-season target";
  for (const auto& c : kPlotCases) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    std::string input = "mars.csv";
    if (c.runs.empty()) {
      dir.copy_table("planelem.tab");
      dir.copy_table("spinaxis.tab");
      ASSERT_EQ(run_kest(dir, kMarsTables).status, 0);
      input = "kest.prt";
    }
    for (const auto& args : c.runs) ASSERT_EQ(run_season(args, dir.path() / input), 0);
    ASSERT_EQ(
        shell("PLOT_EPHEMERIS_KEEP=" + quoted(dir.path() / "keep") + " " + quoted(tools_dir() / "plot-ephemeris") +
              " " + c.x + " " + quoted(dir.path() / input) + " " + quoted(dir.path() / "out.png") + " 2>&1"),
        0);
    EXPECT_EQ(dir.read("out.png").substr(0, 8), std::string(kPngSignature, 8));
    EXPECT_EQ(dir.read("keep/titles"), c.titles);
    const std::string data = dir.read("keep/data");
    const std::string script = dir.read("keep/plot.gp");
    if (c.wraps >= 0) {
      EXPECT_EQ(count(data, " NaN "), static_cast<size_t>(c.wraps));
    }
    EXPECT_NE(script.find(c.against_ls ? "layout 2,1" : "layout 3,1"), std::string::npos);
    EXPECT_NE(script.find(c.against_ls ? "using 2:3" : "using 1:2"), std::string::npos);
    EXPECT_EQ(script.find("using 2:2"), std::string::npos);
    if (c.runs.empty()) continue;
    // Every CSV row is one point; the first at its instant, with its Ls.
    const auto csv = kest::testing::lines_of(dir.read(input));
    EXPECT_EQ(count(data, "\n") - count(data, " NaN ") - 2 * (c.runs.size() - 1), csv.size() - c.runs.size());
    // The first point: the fields under their names in the header, the day
    // count as seconds from 1970.
    const auto head = fields(csv.at(0));
    const auto first = fields(csv.at(1));
    ASSERT_EQ(first.size(), head.size());
    const auto field = [&](const std::string& name) {
      return first[std::find(head.begin(), head.end(), name) - head.begin()];
    };
    char seconds[64];
    std::snprintf(seconds, sizeof seconds, "%.3f", 946728000 + std::stod(field("days_j2000")) * 86400);
    EXPECT_EQ(data.substr(0, data.find('\n')), std::string(seconds) + " " + field("ls_deg") + " " +
                                                   field("subsolar_latitude_planetocentric_deg") + " " +
                                                   field("distance_au"));
  }
}

// What the plot tool refuses besides print files without tables: a bad
// axis, and CSV without the columns or rows it needs.
struct CsvRefusal {
  const char* what;
  const char* options;
  const char* csv;
  int status;
};
const char kGoodCsv[] =
    "date_tt,days_j2000,distance_au,ls_deg,subsolar_latitude_planetocentric_deg\n"
    "2024-01-01T00:00:00.000,8765.5,0.983,280.1,-23.0\n2024-01-11T00:00:00.000,8775.5,0.984,290.3,-22.0\n";
const CsvRefusal kCsvRefusals[] = {
    {"an unknown axis", "--x time", kGoodCsv, 2},
    {"--x without its axis", "--x", kGoodCsv, 2},
    {"a header row only", "", "date_tt,days_j2000,distance_au,ls_deg,subsolar_latitude_planetocentric_deg\n", 1},
    {"no Ls column", "", "date_tt,days_j2000,distance_au\n2024-01-01T00:00:00.000,8765.5,0.98\n", 1},
    {"rows with fields missing", "--x ls",
     "date_tt,days_j2000,distance_au,ls_deg,subsolar_latitude_planetocentric_deg\n"
     "2024-01-01T00:00:00.000,8765.5,0.98,280.1\n",
     1},
};

TEST(PlotEphemeris, RefusesBadAxesAndCsvWithoutItsColumns) {
  if (!have("gnuplot")) GTEST_SKIP() << "gnuplot is missing (tools/setup installs gnuplot-nox)";
  for (const auto& c : kCsvRefusals) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    dir.write("in.csv", c.csv);
    const std::string files = std::string(c.options) == "--x"
                                  ? ""
                                  : " " + quoted(dir.path() / "in.csv") + " " + quoted(dir.path() / "out.png");
    EXPECT_EQ(shell(quoted(tools_dir() / "plot-ephemeris") + " " + c.options + files + " 2>/dev/null"), c.status);
    EXPECT_FALSE(dir.exists("out.png"));
  }
  // The same good CSV is drawn.
  ScratchDir dir;
  dir.write("in.csv", kGoodCsv);
  EXPECT_EQ(shell(quoted(tools_dir() / "plot-ephemeris") + " --x ls " + quoted(dir.path() / "in.csv") + " " +
                  quoted(dir.path() / "out.png")),
            0);
}

// A word for sh that stands for the text itself, whatever it holds.
std::string sh_word(const std::string& text) {
  std::string out = "'";
  for (char ch : text) out += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
  return out + "'";
}

// A print file of two ephemeris tables with the given titles (columns 26-53
// of the stamp line).
std::string print_file(const std::string& first, const std::string& second) {
  std::string prt;
  int table = 0;
  for (const std::string& title : {first, second}) {
    ++table;
    prt += " KESTMN:KEST:2014jun10   " + title + "\n N2=1\n";
    prt += table == 1 ? " 2024 NOV  1.50    0.0  1.543725  354.52  -2.33   9071.00  FRI  306\n"
                        " 2024 NOV 11.50    0.0  1.550012  359.61  -0.12   9081.00  MON  316\n"
                      : " 2024 NOV 21.50    0.0  1.556940    4.70   2.09   9091.00  THU  326\n"
                        " 2024 DEC  1.50    0.0  1.563881    9.77   4.27   9101.00  SUN  336\n";
  }
  return prt;
}

// Titles and file names written by someone else: each would once have run
// `touch PWNED` through gnuplot (or broken the tool). The picture must be
// drawn under its name, with nothing run, and with the titles as shown.
struct HostileNames {
  const char* what;
  std::vector<std::string> tables;  // titles of a print file; none: a CSV file
  std::string input;
  std::string png;
  const char* keep;    // PLOT_EPHEMERIS_KEEP, relative; nullptr for none
  const char* titles;  // the kept titles, when kept
};
const HostileNames kHostileNames[] = {
    {"a title of backquotes", {"`touch PWNED`", "second"}, "kest.prt", "out.png", "keep", "`touch PWNED`\nsecond\n"},
    {"a title ending in a backslash, code in the next one",
     {"first\\", ".system('touch PWNED')."},
     "kest.prt",
     "out.png",
     "keep",
     "first\\\n.system('touch PWNED').\n"},
    {"quotes and macros in a title", {"\"`touch PWNED`\" @ARG0", "x'y"}, "kest.prt", "out.png", nullptr, nullptr},
    {"a quote and a macro in a title, code in the file name",
     {"x' @ARG3", "second"},
     "a'.system('touch PWNED').'.prt",
     "out.png",
     "keep",
     "x' @ARG3\nsecond\n"},
    {"a single quote in the CSV name",
     {},
     "a'.system('touch PWNED').'b.csv",
     "out.png",
     "keep",
     "a'.system('touch PWNED').'b\n"},
    {"a double quote and backquotes in the CSV name",
     {},
     "q\"`touch PWNED`\".csv",
     "out.png",
     "keep",
     "q'`touch PWNED`'\n"},
    {"line ends in the names",
     {},
     "x\nsystem 'touch PWNED'\ny.csv",
     "p\nsystem 'touch PWNED'\nq.png",
     "keep",
     "x system 'touch PWNED' y\n"},
    {"a dollar sign in the names", {}, "$(touch PWNED).csv", "$(touch PWNED)`touch PWNED`.png", nullptr, nullptr},
    {"a single quote in the picture name", {}, "in.csv", "o'.system('touch PWNED').'.png", nullptr, nullptr},
    {"a picture name gnuplot would pipe", {}, "in.csv", "|touch PWNED;x.png", nullptr, nullptr},
    {"a single quote in the kept directory", {}, "in.csv", "out.png", "k'.system('touch PWNED').'", "in\n"},
    {"a kept directory gnuplot would read as a command", {}, "in.csv", "out.png", "<touch PWNED;echo", "in\n"},
    {"names beginning with a dash", {}, "-in.csv", "-out.png", "-keep", "-in\n"},
    {"an input named like an awk assignment", {}, "x=y.csv", "out.png", "keep", "x=y\n"},
};

TEST(PlotEphemeris, TitlesAndFileNamesAreNeverRun) {
  if (!have("gnuplot")) GTEST_SKIP() << "gnuplot is missing (tools/setup installs gnuplot-nox)";
  for (const auto& c : kHostileNames) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    dir.write(c.input, c.tables.empty() ? kGoodCsv : print_file(c.tables.at(0), c.tables.at(1)));
    const std::string keep = c.keep != nullptr ? "PLOT_EPHEMERIS_KEEP=" + sh_word(c.keep) + " " : "";
    const int st = shell("cd " + quoted(dir.path()) + " && " + keep + quoted(tools_dir() / "plot-ephemeris") + " -- " +
                         sh_word(c.input) + " " + sh_word(c.png) + " < /dev/null > log 2>&1");
    EXPECT_EQ(st, 0) << dir.read("log");
    EXPECT_EQ(dir.read(c.png).substr(0, 8), std::string(kPngSignature, 8));
    EXPECT_FALSE(dir.exists("PWNED")) << dir.read("log");
    if (c.keep != nullptr) {
      EXPECT_EQ(dir.read(std::string(c.keep) + "/titles"), c.titles);
    }
  }
}

// The validation of kest-season's events and rows: a stand-in for
// kest-season passes the real one's rows on, changed, and the validation
// must fail with the right status and say what broke.
struct SeasonFault {
  const char* what;
  double earth_minutes;  // added to the Earth's instants
  double mars_hours;     // added to Mars's instants
  int renumber;          // added to the Mars year
  double date_seconds;   // added to the printed date alone
  int exit_status;       // of the stand-in
  int status;            // of the validation
  const char* says;
  double lon = 0;            // degrees added to the subsolar longitude of lon_body's rows
  const char* lon_body = "";
  double ls = 0;  // degrees added to Ls in the rows of lon_body that asks for its default positions
};
const SeasonFault kSeasonFaults[] = {
    {"unchanged", 0, 0, 0, 0, 0, 0, ""},
    {"the Earth's equinoxes 30 minutes late", 30, 0, 0, 0, 0, 1, "kest-season, Earth 2000: March equinox"},
    {"Mars years 2 hours late", 0, 2, 0, 0, 0, 1, "kest-season, Mars year 36: start"},
    {"Mars years numbered one too high", 0, 0, 1, 0, 0, 1, "kest-season, Mars year 36: 0 starts numbered 36"},
    {"Mars years 10 s late, within the hour but not the dialogue's pole", 0, 10.0 / 3600.0, 0, 0, 0, 1,
     "s that the two poles imply"},
    {"the printed date off its day count", 0, 0, 0, 1, 0, 2, "is +1.000 s from day"},
    {"kest-season failing", 0, 0, 0, 0, 2, 2, "ended with status 2"},
    {"the Moon's subsolar longitude 1e-5 degree east", 0, 0, 0, 0, 0, 1,
     "kest-season, Moon: subsolar longitude up to 1e-05", 1e-5, "Moon"},
    {"Mars's subsolar longitude 0.03 degree east", 0, 0, 0, 0, 0, 1, "from the Allison-McEwen algorithm", 0.03,
     "Mars"},
    {"Saturn's Ls of the default positions 0.01 degree ahead of DE405's", 0, 0, 0, 0, 0, 1,
     "kest-season table Saturn (default) against DE405: Ls up to", 0, "Saturn", 0.01},
};

TEST(Validate, FailsWhenKestSeasonBreaksALimit) {
  if (!have("python3")) GTEST_SKIP() << "python3 is missing";
  ASSERT_TRUE(fs::exists(season_binary())) << "build the kest-season target";
  for (const auto& c : kSeasonFaults) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    char params[256];
    std::snprintf(params, sizeof params,
                  "EARTH, MARS, RENUMBER, DATE, STATUS, LON, LON_BODY, LS = %g / 1440, %g / 24, %d, %g, %d, %g, '%s', "
                  "%g\n",
                  c.earth_minutes, c.mars_hours, c.renumber, c.date_seconds, c.exit_status, c.lon, c.lon_body, c.ls);
    dir.write("kest-season",
              "#!/usr/bin/env python3\nimport csv, datetime, subprocess, sys\n" + std::string(params) +
                  "if STATUS: sys.exit(STATUS)\n"
                  "out = subprocess.run([" +
                  quoted(season_binary()) +
                  "] + sys.argv[1:], capture_output=True, "
                  "text=True, check=True).stdout\n"
                  "rows = list(csv.DictReader(out.splitlines()))\n"
                  "w = csv.DictWriter(sys.stdout, fieldnames=out.splitlines()[0].split(','), lineterminator='\\n')\n"
                  "w.writeheader()\n"
                  "for r in rows:\n"
                  "    days = float(r['days_j2000']) + (EARTH if 'Earth' in sys.argv else MARS)\n"
                  "    t = datetime.datetime(2000, 1, 1, 12) + datetime.timedelta(days=days, seconds=DATE)\n"
                  "    r['days_j2000'], r['date_tt'] = repr(days), t.isoformat(timespec='milliseconds')\n"
                  "    if r.get('mars_year'): r['mars_year'] = str(int(r['mars_year']) + RENUMBER)\n"
                  "    if LON_BODY in sys.argv and r.get('subsolar_lon_deg'):\n"
                  "        r['subsolar_lon_deg'] = repr((float(r['subsolar_lon_deg']) + LON) % 360.0)\n"
                  "    if LON_BODY in sys.argv and '--ephemeris' not in sys.argv and r.get('ls_deg'):\n"
                  "        r['ls_deg'] = repr((float(r['ls_deg']) + LS) % 360.0)\n"
                  "    w.writerow(r)\n");
    fs::permissions(dir.path() / "kest-season", fs::perms::owner_all);
    const int st = shell(quoted(tools_dir() / "validate") + " " + quoted(KEST_BINARY_PATH) + " --season " +
                         quoted(dir.path() / "kest-season") + " --fast -o " + quoted(dir.path() / "v.md") + " 2> " +
                         quoted(dir.path() / "err"));
    EXPECT_EQ(st, c.status) << dir.read("err");
    EXPECT_NE(dir.read("err").find(c.says), std::string::npos) << dir.read("err");
  }
}

// A copy of the validation beside a copy of the tables with one line of
// rotation.tab changed: it must say which number is no longer the published
// one (and, with the program reading the same table, that the rows are off).
struct RotationDamage {
  const char* what;
  const char* line;  // the start of the line changed
  const char* from;  // text within it
  const char* to;
  const char* says;
};
const RotationDamage kRotationDamages[] = {
    {"Mars's rate of W in its last digit", "Mars ", "350.891982443297", "350.891982443298",
     "rotation.tab, Mars: W1 350.891982443298 against the published 350.891982443297"},
    {"Triton's quadratic term of an angle", "  term              177.85", "52.316             0",
     "52.316          0.01", "rotation.tab, Triton: term 1 theta2 0.01 against the published 0"},
};

TEST(Validate, SaysWhichNumberOfTheRotationTableIsDamaged) {
  if (!have("python3")) GTEST_SKIP() << "python3 is missing";
  for (const auto& c : kRotationDamages) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    fs::create_directories(dir.path() / "tools");
    fs::create_directories(dir.path() / "data");
    fs::copy_file(tools_dir() / "validate", dir.path() / "tools" / "validate");
    fs::permissions(dir.path() / "tools" / "validate", fs::perms::owner_all);
    for (const auto& e : fs::directory_iterator(kest::testing::data_dir()))
      if (e.path().extension() == ".tab") fs::copy_file(e.path(), dir.path() / "data" / e.path().filename());
    std::string table = dir.read("data/rotation.tab");
    const size_t line = table.find(std::string("\n") + c.line);
    ASSERT_NE(line, std::string::npos) << c.line;
    const size_t at = table.find(c.from, line);
    ASSERT_LT(at, table.find('\n', line + 1)) << c.from;
    table.replace(at, std::string(c.from).size(), c.to);
    dir.write("data/rotation.tab", table);
    const int st = shell(quoted(dir.path() / "tools" / "validate") + " " + quoted(KEST_BINARY_PATH) + " --season " +
                         quoted(season_binary()) + " --fast -o " + quoted(dir.path() / "v.md") + " 2> " +
                         quoted(dir.path() / "err"));
    EXPECT_EQ(st, 1) << dir.read("err");
    EXPECT_NE(dir.read("err").find(c.says), std::string::npos) << dir.read("err");
  }
}

// tools/plot-insolation draws the grid of kest-season insolation over two
// Mars years' starts (2022-12-26 and 2024-11-12): a cell of the kept data
// for each row, and at each wrap of Ls the scans on either side once more,
// shifted by 360 degrees, in a data block of its own.
TEST(PlotInsolation, DrawsTheGridOfKestSeason) {
  if (!have("gnuplot")) GTEST_SKIP() << "gnuplot is missing (tools/setup installs gnuplot-nox)";
  ASSERT_TRUE(fs::exists(season_binary())) << "build the kest-season target";
  ScratchDir dir;
  ASSERT_EQ(run_season("--csv insolation Mars --from 2022-12-01 --to 2024-12-01 --step 5d --lat-step 10",
                       dir.path() / "mars.csv"),
            0);
  ASSERT_EQ(shell("PLOT_INSOLATION_KEEP=" + quoted(dir.path() / "keep") + " " + quoted(tools_dir() / "plot-insolation") +
                  " " + quoted(dir.path() / "mars.csv") + " " + quoted(dir.path() / "out.png") + " 2>&1"),
            0);
  const std::string bytes = dir.read("out.png");
  EXPECT_GT(bytes.size(), 1000u);
  EXPECT_EQ(bytes.substr(0, 8), std::string(kPngSignature, 8));
  const size_t rows = kest::testing::lines_of(dir.read("mars.csv")).size() - 1;
  ASSERT_EQ(rows, 147u * 19u);
  const std::string data = dir.read("keep/data");
  EXPECT_EQ(count(data, "\n") - count(data, "\n\n"), rows + 2 * 2 * 19);
  EXPECT_EQ(count(data, "\n\n\n"), 2u);
  // 147 dates of 19 latitudes, polar night in some, 50 W/m2 between contours.
  EXPECT_EQ(dir.read("keep/grid").substr(0, 7), "147 19 ");
  EXPECT_NE(dir.read("keep/grid").find(" 50\n"), std::string::npos);
}

// What plot-insolation refuses, with its exit status, and without leaving a
// picture behind.
const Refusal kInsolationRefusals[] = {
    {"no arguments", "", true, 2},
    {"missing file", nullptr, false, 1},
    {"a table without latitudes", kGoodCsv, false, 1},
    {"one date only",
     "date_tt,days_j2000,ls_deg,latitude_deg,insolation_w_m2,day_fraction,day_length_h,day\n"
     "2024-01-01T00:00:00.000,8765.5,280.1,-90,0,0,0,polar night\n"
     "2024-01-01T00:00:00.000,8765.5,280.1,90,500,1,24,polar day\n",
     false, 1},
    {"dates of other latitudes",
     "date_tt,days_j2000,ls_deg,latitude_deg,insolation_w_m2,day_fraction,day_length_h,day\n"
     "2024-01-01T00:00:00.000,8765.5,280.1,-90,0,0,0,polar night\n"
     "2024-01-01T00:00:00.000,8765.5,280.1,90,500,1,24,polar day\n"
     "2024-01-02T00:00:00.000,8766.5,280.6,-90,0,0,0,polar night\n"
     "2024-01-02T00:00:00.000,8766.5,280.6,0,300,0.5,12,\n"
     "2024-01-02T00:00:00.000,8766.5,280.6,90,500,1,24,polar day\n",
     false, 1},
};

TEST(PlotInsolation, RefusesWhatHoldsNoGrid) {
  if (!have("gnuplot")) GTEST_SKIP() << "gnuplot is missing (tools/setup installs gnuplot-nox)";
  for (const auto& c : kInsolationRefusals) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    if (c.prt != nullptr) dir.write("in.csv", c.prt);
    const std::string tool = quoted(tools_dir() / "plot-insolation");
    const std::string cmd =
        c.no_arguments ? tool : tool + " " + quoted(dir.path() / "in.csv") + " " + quoted(dir.path() / "out.png");
    EXPECT_EQ(shell(cmd + " 2>/dev/null"), c.status);
    EXPECT_FALSE(dir.exists("out.png"));
  }
}

// The kest-season examples run with the tree's program and tables and show
// what their comments promise.
struct SeasonExample {
  const char* script;
  std::vector<const char*> shows;
  size_t lines;
};
const SeasonExample kSeasonExamples[] = {
    {"season-mars-years.sh", {"2021-02-07T", "2022-12-26T", "2024-11-12T", " 36\n", " 37\n", " 38\n"}, 9},
    {"season-earth-2024.sh", {"2024-03-20T", "Ls=90", "2024-09-22T", "Ls=270", "perihelion", "aphelion"}, 7},
    {"season-europa-csv.sh", {"date_tt,", ",subsolar_latitude_planetocentric_deg,", "2021-02-18T", "2032-12-"}, 435},
};

TEST(Examples, KestSeasonExamplesShowWhatTheySay) {
  ASSERT_TRUE(fs::exists(season_binary())) << "build the kest-season target";
  const fs::path examples = kest::testing::data_dir().parent_path() / "examples";
  for (const auto& c : kSeasonExamples) {
    SCOPED_TRACE(c.script);
    ScratchDir dir;
    ASSERT_EQ(shell("KEST_SEASON=" + quoted(season_binary()) + " " + quoted(examples / c.script) + " > " +
                    quoted(dir.path() / "out")),
              0);
    const std::string out = dir.read("out");
    for (const char* s : c.shows) EXPECT_NE(out.find(s), std::string::npos) << s;
    EXPECT_EQ(kest::testing::lines_of(out).size(), c.lines);
  }
}

}  // namespace
