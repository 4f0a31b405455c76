// kest-season run as a program: its rows against the dialogue's ephemeris,
// events found again from their own Ls, bodies by name, and every kind of
// bad input (one line on standard error, status 2, nothing on standard
// output).
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "season/season.hpp"
#include "session.hpp"

namespace {

namespace fs = std::filesystem;
using kest::testing::lines_of;
using kest::testing::run_kest;
using kest::testing::ScratchDir;

struct Result {
  int status = -1;
  std::string out, err;
};

// Runs kest-season in dir with the given arguments. With head_lines > 0 its
// output goes through a pipe whose reader stops after that many lines.
Result season(const ScratchDir& dir, const std::vector<std::string>& args, int head_lines = 0,
              const std::string& input = "") {
  dir.write(".season-in", input);
  const fs::path in = dir.path() / ".season-in";
  const fs::path out = dir.path() / ".season-out", err = dir.path() / ".season-err";
  int pipefd[2] = {-1, -1};
  if (head_lines > 0 && ::pipe(pipefd) != 0) return {};
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::chdir(dir.path().c_str()) != 0) ::_exit(126);
    const int o = head_lines > 0 ? pipefd[1] : ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int i = ::open(in.c_str(), O_RDONLY);
    ::dup2(i, 0);
    ::dup2(o, 1);
    ::dup2(e, 2);
    if (head_lines > 0) ::close(pipefd[0]);
    std::vector<char*> argv{const_cast<char*>("kest-season")};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(KEST_SEASON_BINARY_PATH, argv.data());
    ::_exit(127);
  }
  Result r;
  if (head_lines > 0) {
    ::close(pipefd[1]);
    std::string got;
    char c = 0;
    int lines = 0;
    while (lines < head_lines && ::read(pipefd[0], &c, 1) == 1) {
      got += c;
      if (c == '\n') ++lines;
    }
    ::close(pipefd[0]);  // the reader goes away
    r.out = got;
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  if (head_lines == 0) r.out = dir.read(".season-out");
  r.err = dir.read(".season-err");
  return r;
}

// The fields of a line, without the CR of a CSV line end.
std::vector<std::string> fields(std::string line, char sep) {
  if (!line.empty() && line.back() == '\r') line.pop_back();
  std::vector<std::string> f;
  std::stringstream ss(line);
  for (std::string x; std::getline(ss, x, sep);) f.push_back(x);
  return f;
}

// With --epoch the command's numbers equal the dialogue's ephemeris table
// for the same body, epoch and dates, to the digits the table prints.
TEST(SeasonCommand, FrozenEpochEqualsTheDialoguesTable) {
  struct Row {
    const char* body;
    const char* dialogue;  // option 1 answers
    const char* epoch;
  };
  const Row rows[] = {{"Mars", "1\n4\n0.24\n0\n/\n", "2024"},
                      {"Europa", "1\n5\n-0.1\n0\nEuropa\n", "1990"},
                      {"minor:1 Ceres", "3\n1\n0\n", "2000"},
                      {"small:ceres", "4\n1\n0\n", "2000"},
                      {"halley", "5\n1\n0\n", "2000"},
                      {"51 Peg b", "6\n1\n0\n", "2000"}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.body);
    ScratchDir dir;
    dir.copy_tables();
    const auto d = run_kest(dir, std::string("p\n1\n") + r.dialogue + "3\n12 8700 37.25\n0 0 x\n0 0 0\n0\n");
    ASSERT_EQ(d.status, 0) << d.out;
    std::vector<std::string> table;
    for (const std::string& l : lines_of(d.prt))
      if (l.size() == 67 && l[0] == ' ' && l.find("YEAR") == std::string::npos) table.push_back(l);
    ASSERT_EQ(table.size(), 12u);
    const auto s = season(dir, {"--csv", "--epoch", r.epoch, "table", r.body, "--from", "J2000+8700", "--to",
                                "J2000+9109.75", "--step", "37.25"});
    ASSERT_EQ(s.status, 0) << s.err;
    const auto rows_out = lines_of(s.out);
    ASSERT_EQ(rows_out.size(), 13u);
    for (std::size_t i = 0; i < 12; ++i) {
      const auto f = fields(rows_out[i + 1], ',');
      char buf[80];
      // Columns of the dialogue: distance F10.6, Ls F7.2, subsolar latitude F7.2.
      std::snprintf(buf, sizeof buf, "%10.6f %7.2f%7.2f", std::stod(f[2]), std::stod(f[3]), std::stod(f[4]));
      EXPECT_EQ(table[i].substr(22, 25), std::string(buf)) << "row " << i;
    }
  }
}

// Date -> Ls -> date: the events of a row's own Ls come back to its date
// within a second; the seasons of the Earth fall in their months.
TEST(SeasonCommand, EventsRoundTripAndEarthSeasons) {
  ScratchDir dir;
  dir.copy_tables();
  for (const char* body : {"Mars", "Earth", "Titan", "halley"}) {
    SCOPED_TRACE(body);
    const auto at = season(dir, {"--csv", "at", body, "2026-12-09T06:30"});
    ASSERT_EQ(at.status, 0) << at.err;
    const auto f = fields(lines_of(at.out)[1], ',');
    const auto ev = season(dir, {"--csv", "events", body, "--from", "2026-12-08", "--to", "2026-12-11", "--ls", f[3]});
    ASSERT_EQ(ev.status, 0) << ev.err;
    bool found = false;
    for (const std::string& l : lines_of(ev.out)) {
      const auto g = fields(l, ',');
      if (g.size() > 2 && g[1].rfind("Ls=", 0) == 0) {
        EXPECT_NEAR(std::stod(g[2]), std::stod(f[1]), 1.0 / 86400.0);
        found = true;
      }
    }
    EXPECT_TRUE(found) << ev.out;
  }
  const auto e = season(dir, {"events", "earth", "--from", "2024-01-01", "--to", "2024-12-31"});
  ASSERT_EQ(e.status, 0);
  const std::vector<std::string> want = {"2024-01-", "2024-03-20", "2024-06-20", "2024-07-0", "2024-09-22", "2024-12-21"};
  const auto lines = lines_of(e.out);
  ASSERT_EQ(lines.size(), 7u) << e.out;
  for (std::size_t i = 0; i < want.size(); ++i) EXPECT_EQ(lines[i + 1].rfind(want[i], 0), 0u) << lines[i + 1];
}

// Mars years: MY 36 began on 2021 February 7 and MY 39 on 2026 September 30.
TEST(SeasonCommand, MarsYearsAreNumbered) {
  ScratchDir dir;
  dir.copy_tables();
  const auto e = season(dir, {"--csv", "events", "Mars", "--from", "2021-01-01", "--to", "2027-01-01", "--ls", "0"});
  ASSERT_EQ(e.status, 0) << e.err;
  std::vector<std::string> starts;
  for (const std::string& l : lines_of(e.out)) {
    const auto f = fields(l, ',');
    if (f.size() > 9 && f[1] == "Ls=0") starts.push_back(f[0].substr(0, 10) + " MY" + f[9]);
  }
  EXPECT_EQ(starts, (std::vector<std::string>{"2021-02-07 MY36", "2022-12-26 MY37", "2024-11-12 MY38",
                                               "2026-09-30 MY39"}));
  // Frozen at any epoch the command takes, the years are still numbered
  // (far from 1955 they were all year 0): the year of 2026 is 38 or 39.
  for (const char* epoch : {"1000", "1300", "2500", "3000"}) {
    const auto r = season(dir, {"--csv", "--epoch", epoch, "at", "Mars", "2026-01-01"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto f = fields(lines_of(r.out).at(1), ',');
    EXPECT_TRUE(f.back() == "38" || f.back() == "39") << epoch << ": " << f.back();
  }
}

// What kest-season says of tables it cannot read, once each before its
// answer (a missing minor.tab dropped its bodies without a word, and Ceres
// then silently came from small.tab).
TEST(SeasonCommand, TablesThatCannotBeReadAreSaid) {
  ScratchDir dir;
  dir.copy_tables();
  std::filesystem::remove(dir.path() / "minor.tab");
  dir.write("comet.tab", "no marker here\n");
  const auto r = season(dir, {"at", "Ceres", "2026-01-01"});
  EXPECT_EQ(r.status, 0);
  const std::string unread =
      "kest-season: warning: minor.tab: No such file or directory; its bodies are left out\n"
      "kest-season: warning: comet.tab: no C_END line ends its header; its bodies are left out\n";
  EXPECT_EQ(r.err, unread +
                       "kest-season: warning: no prime meridian is known for '1 Ceres': its longitudes count from a "
                       "meridian taken at W = 0 at J2000.0, turning once in its rotation period of 9.07417 h\n");
  const auto list = season(dir, {"--list"});
  EXPECT_EQ(list.err, unread);
  // An empty planet table once turned Mars into "did you mean 1 Ceres".
  dir.write("planelem.tab", "");
  const auto mars = season(dir, {"at", "Mars", "2026-01-01"});
  EXPECT_EQ(mars.status, 2);
  EXPECT_EQ(lines_of(mars.err).at(0), "kest-season: warning: planelem.tab: no C_END line ends its header; its bodies are left out");
  // Shipped tables are read whole, without a word.
  ScratchDir whole;
  whole.copy_tables();
  EXPECT_EQ(season(whole, {"--list"}).err, "");
  // A pole along the orbit normal (the ecliptic pole, for an orbit in the
  // ecliptic) is said as the dialogue says it at its set-up.
  whole.write("minor.tab", "C_END\n--\n'Flat one'\n2451545.0\n2.5\n0.1\n0\n0\n0\n0\n270\n66.5607089\n0\n0.5\n");
  const auto flat = season(whole, {"at", "Flat one", "2000-06-01"});
  EXPECT_EQ(flat.status, 0);
  EXPECT_EQ(lines_of(flat.err).at(0), "kest-season: warning: 'Flat one': the pole lies along the orbit normal: the "
                                      "equinox is undefined, and the perihelion direction is taken as the body's x axis");
}

TEST(SeasonCommand, ListingAndOutputForms) {
  ScratchDir dir;
  dir.copy_tables();
  const auto list = season(dir, {"--list"});
  ASSERT_EQ(list.status, 0);
  EXPECT_NE(list.out.find("Europa                      satellite   spinaxis.tab  item 15  of Jupiter, on Jupiter's orbit\n"),
            std::string::npos);
  EXPECT_NE(list.out.find("EM-Bary                     planet      planelem.tab  item 3  on the Earth-Moon barycentre's orbit\n"),
            std::string::npos);
  const auto json = season(dir, {"--json", "table", "mars", "--from", "2026-01-01", "--to", "2026-01-02", "--step", "1d"});
  ASSERT_EQ(json.status, 0);
  EXPECT_EQ(json.out.front(), '[');
  EXPECT_EQ(json.out.substr(json.out.size() - 3), "\n]\n");
  EXPECT_EQ(std::count(json.out.begin(), json.out.end(), '{'), 2);
  const auto help = season(dir, {"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("events"), std::string::npos);
  const auto version = season(dir, {"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("kest-season ", 0), 0u);
  // Far from the osculation epoch: a warning, and the numbers all the same.
  const auto far = season(dir, {"at", "1 Ceres (epoch", "2040-01-01"});
  EXPECT_EQ(far.status, 0) << far.err;
  EXPECT_NE(far.err.find("warning"), std::string::npos);
  EXPECT_EQ(lines_of(far.out).size(), 2u);
}

// Where the model is known to be off, each limit is said once, however many
// rows; and a frozen epoch needs no rotation table.
TEST(SeasonCommand, ModelLimitsAreSaidOnce) {
  ScratchDir dir;
  dir.copy_tables();
  const struct {
    std::vector<std::string> args;
    std::vector<std::string> says;  // the warnings' beginnings, in order
  } rows[] = {
      {{"table", "Mars", "--from", "1990-01-01", "--to", "2040-01-01", "--step", "100d"}, {}},
      {{"--ephemeris", "mean", "table", "Titan", "--from", "2040-01-01", "--to", "2060-01-01", "--step", "10d"},
       {"2059-12-27 lies outside 1800 to 2050, the years the mean elements of Saturn (the orbit of 'Titan')"}},
      // On Saturn's accurate positions, the same dates are within their
      // years; the satellite says once whose positions it takes.
      {{"table", "Titan", "--from", "2040-01-01", "--to", "2060-01-01", "--step", "10d"},
       {"'Titan' moves with Saturn, whose positions (VSOP87 (libnova)) it takes"}},
      // Past the positions' years the mean elements stand in, said once.
      {{"table", "Pluto", "--from", "2090-01-01", "--to", "2150-01-01", "--step", "30d"},
       {"2149-12-18 lies outside 1885 to 2099, the years of the positions of Pluto (libnova's theory of Pluto): the "
        "mean elements of planelem.tab stand in for them there",
        "2149-12-18 lies outside 1800 to 2050"}},
      {{"events", "EM-Bary", "--from", "1790-01-01", "--to", "1791-01-01"},
       {"'EM-Bary' moves on the orbit of the Earth-Moon barycentre", "1790-01-01 lies outside 1900 to 2100",
        "1790-01-01 lies outside 1800 to 2050"}},
      {{"--epoch", "1950", "table", "Mars", "--from", "2000-01-01", "--to", "2010-01-01", "--step", "1y"},
       {"the elements and pole of 'Mars' are frozen at the epoch 1950, 60 years from 2009-12-31"}},
      {{"table", "halley", "--from", "1986-01-01", "--to", "1986-03-01", "--step", "1d"},
       {"the spin of '1P Halley (spin assumed)' is assumed", "no prime meridian is known for '1P Halley"}},
      {{"at", "51 Peg b", "2026-01-01"}, {"the spin of '51 Peg b' is assumed", "no prime meridian is known", "2026-01-01 lies"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.args.at(1));
    const auto r = season(dir, row.args);
    ASSERT_EQ(r.status, 0) << r.err;
    const auto lines = lines_of(r.err);
    ASSERT_EQ(lines.size(), row.says.size()) << r.err;
    for (std::size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(lines[i].rfind("kest-season: warning: " + row.says[i], 0), 0u) << lines[i];
  }
  std::filesystem::remove(dir.path() / "rotation.tab");
  const auto frozen = season(dir, {"--epoch", "2026", "--csv", "at", "Phobos", "2026-01-01"});
  EXPECT_EQ(frozen.status, 0) << frozen.err;
  EXPECT_EQ(frozen.err, "");
}

// Dates in UTC, in and out: the same instant in each form, the leap second
// of 2016 written as :60, and no UTC before 1960.
TEST(SeasonCommand, UtcInAndOut) {
  ScratchDir dir;
  dir.copy_tables();
  // TT - UTC is 69.184 s from 2017 on (37 leap seconds), 68.184 s in 2016.
  for (const char* date : {"2021-02-18T20:55Z", "2021-02-18 20:55 UTC", "2021-02-18T21:55+01:00", "2021-02-18T20:56:09.184"}) {
    const auto r = season(dir, {"--csv", "at", "Mars", date});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(fields(lines_of(r.out).at(1), ',').at(0), "2021-02-18T20:56:09.184") << date;
  }
  const auto leap = season(dir, {"--utc", "--csv", "table", "Mars", "--from", "2016-12-31T23:59:59Z", "--to",
                                 "2017-01-01T00:00:01Z", "--step", "1s"});
  ASSERT_EQ(leap.status, 0) << leap.err;
  const auto rows = lines_of(leap.out);
  ASSERT_EQ(rows.size(), 5u);  // three seconds of SI time hold four instants
  EXPECT_EQ(rows[0].rfind("date_utc,days_j2000,", 0), 0u);
  EXPECT_EQ(fields(rows[2], ',').at(0), "2016-12-31T23:59:60.000");
  EXPECT_EQ(fields(rows[3], ',').at(0), "2017-01-01T00:00:00.000");
  const auto text = season(dir, {"--utc", "at", "Mars", "now"});
  EXPECT_EQ(text.status, 0);
  EXPECT_EQ(text.out.rfind("date_utc  ", 0), 0u);
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"at", "Mars", "1959-12-31T23:59Z"}, {"--utc", "at", "Mars", "1959-12-31T23:59"},
        {"at", "Mars", "2026-01-01T00:00 PST"}, {"at", "Mars", "now+"}, {"--utc", "events", "Mars", "--from", "1950-01-01", "--to", "1970-01-01"}}) {
    const auto r = season(dir, args);
    EXPECT_EQ(r.status, 2) << args.back();
    EXPECT_EQ(lines_of(r.err).size(), 1u) << r.err;
  }
}

// Long tables are laid out in blocks on several threads: the blocks must
// join into exactly the text one writer lays out row by row, in CSV and in
// JSON (whose commas run across the seams), at each date and frozen.
TEST(SeasonCommand, RowsLaidOutInBlocksJoinSeamlessly) {
  ScratchDir dir;
  dir.copy_tables();
  const kest::TableSet tables{dir.path()};
  const auto bodies = kest::list_bodies(tables);
  const auto mars = kest::find_body(bodies, "Mars").body;
  ASSERT_TRUE(mars);
  const std::size_t rows = 40001;  // three blocks, the last of one row
  for (const bool frozen : {false, true}) {
    kest::SeasonBodyError error;
    auto body = kest::make_season_body(tables, *mars, frozen ? std::optional<double>(2000.0) : std::nullopt, error);
    ASSERT_TRUE(body) << error.message;
    // The command's default: the accurate positions at each date.
    ASSERT_TRUE(kest::use_accurate_positions(*body, false, error)) << error.message;
    for (const bool csv : {true, false}) {
      SCOPED_TRACE(std::string(csv ? "csv" : "json") + (frozen ? ", frozen" : ""));
      kest::season::Writer w(csv ? kest::season::OutputFormat::csv : kest::season::OutputFormat::json, true, false);
      std::string expected;
      w.header(expected);
      for (std::size_t i = 0; i < rows; ++i) w.row(expected, kest::season_row(*body, 100.0 + 0.25 * static_cast<double>(i)));
      w.footer(expected);
      std::vector<std::string> args = {csv ? "--csv" : "--json", "table", "Mars", "--from", "J2000+100",
                                       "--to", "J2000+10100", "--step", "6h"};
      if (frozen) args.insert(args.begin(), {"--epoch", "2000"});
      const auto r = season(dir, args);
      ASSERT_EQ(r.status, 0) << r.err;
      EXPECT_EQ(r.out.size(), expected.size());
      EXPECT_TRUE(r.out == expected);
    }
  }
}

// A table of more than 10^6 rows shows its progress on standard error when
// that is a terminal, and nothing when it is not.
TEST(SeasonCommand, ProgressOfLongTablesAtATerminal) {
  ScratchDir dir;
  dir.copy_tables();
  const auto t = kest::testing::start_at_terminal(dir,
                                                  {KEST_SEASON_BINARY_PATH, "--csv", "table", "Mars", "--from",
                                                   "J2000+0", "--to", "J2000+999999", "--step", "0.01"},
                                                  "rows.csv");
  ASSERT_GE(t.pid, 0);
  std::string screen;
  // The first progress line comes after a second; a slow (sanitized) build
  // on a busy machine gets ten.
  t.read(screen, 10000, " s left");
  ::kill(t.pid, SIGTERM);
  int status = 0;
  ::waitpid(t.pid, &status, 0);
  ::close(t.master);
  EXPECT_NE(screen.find("\rkest-season: row "), std::string::npos) << screen;
  EXPECT_NE(screen.find(" of 99999901, "), std::string::npos) << screen;
  EXPECT_NE(screen.find(" rows/s, "), std::string::npos) << screen;

  const auto quiet = season(dir, {"--csv", "table", "Mars", "--from", "J2000+0", "--to", "J2000+12000", "--step", "0.01"});
  EXPECT_EQ(quiet.status, 0);
  EXPECT_EQ(quiet.err, "");
  EXPECT_EQ(lines_of(quiet.out).size(), 1200002u);
}

// A reader that goes away ends the output quietly; the table never ends
// with status 0 short of its rows.
// The text table at the ends of the span of dates, and for values wider
// than their columns: every field stays apart from its neighbours, so a
// row splits into as many fields as the header has columns.
TEST(SeasonCommand, TextColumnsNeverRunTogether) {
  ScratchDir dir;
  dir.copy_tables();
  dir.write("edges.dates", "JD-0.5\nJD0.5\n-4712-06-01T12:00\n9999-12-31T23:59:59\n2026-12-09\n");
  for (const char* name : {"Mars", "Earth", "halley", "51 Peg b"}) {
    SCOPED_TRACE(name);
    const auto r = season(dir, {"table", name, "--dates", "edges.dates"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto rows = lines_of(r.out);
    ASSERT_EQ(rows.size(), 6u);
    const std::size_t columns = std::string(name) == "Mars" ? 9 : 8;
    for (std::size_t i = 1; i < rows.size(); ++i) {
      const auto f = fields(rows[i], ' ');
      std::vector<std::string> words;
      for (const std::string& w : f)
        if (!w.empty()) words.push_back(w);
      ASSERT_EQ(words.size(), columns) << rows[i];
      std::string error;
      EXPECT_TRUE(kest::parse_date(words[0], error).has_value()) << rows[i];
      double days = 0.0;
      EXPECT_EQ(std::sscanf(words[1].c_str(), "%lf", &days), 1) << rows[i];
    }
  }
  // Standard input as "-".
  const auto in = season(dir, {"table", "Mars", "--dates", "-"}, 0, "J2000+1\n2026-12-09\n");
  EXPECT_EQ(in.status, 0) << in.err;
  EXPECT_EQ(lines_of(in.out).size(), 3u);
}

// Every output names its columns alike: the words of the text table's
// heading, the CSV header and the keys of a JSON row are the same names in
// the same order; and each name of the text heading stands over its column,
// left-aligned for the body, date and event, right-aligned for the rest.
TEST(SeasonCommand, OneSetOfColumnNames) {
  ScratchDir dir;
  dir.copy_tables();
  // Words of a line with the column each starts and ends at.
  struct Word {
    std::string text;
    std::size_t begin, end;
  };
  const auto words = [](const std::string& line) {
    std::vector<Word> out;
    for (std::size_t i = 0; i < line.size();) {
      if (line[i] == ' ') {
        ++i;
        continue;
      }
      const std::size_t j = std::min(line.find(' ', i), line.size());
      out.push_back({line.substr(i, j - i), i, j});
      i = j;
    }
    return out;
  };
  const std::vector<std::vector<std::string>> runs = {
      {"at", "Mars", "2026-01-01"},
      {"at", "Mars", "Titan", "2026-01-01"},
      {"--utc", "events", "Mars", "--from", "2026-01-01", "--to", "2026-06-01", "--ls", "270"},
      {"table", "Jupiter", "--west", "--from", "2026-01-01", "--to", "2026-01-02", "--step", "1d"},
      {"sun", "Mars", "--lat", "18.44", "--lon", "77.45", "--at", "2026-01-01", "--landing", "2021-02-18"},
      {"sun", "Earth", "--lat", "60", "--lon", "0", "--at", "2026-06-21"},
      {"insolation", "Mars", "--from", "2026-01-01", "--to", "2026-01-01", "--step", "1d", "--lat-step", "45"},
  };
  for (const auto& args : runs) {
    SCOPED_TRACE(args[0] + " " + args[1] + " " + args[2]);
    const Result text = season(dir, args);
    std::vector<std::string> csv_args = {"--csv"}, json_args = {"--json"};
    csv_args.insert(csv_args.end(), args.begin(), args.end());
    json_args.insert(json_args.end(), args.begin(), args.end());
    const Result csv = season(dir, csv_args), json = season(dir, json_args);
    ASSERT_EQ(text.status + csv.status + json.status, 0) << text.err << "|" << csv.err << "|" << json.err;
    const auto heading = words(lines_of(text.out).at(0));
    std::vector<std::string> names;
    for (const Word& w : heading) names.push_back(w.text);
    std::string header = lines_of(csv.out).at(0);
    if (!header.empty() && header.back() == '\r') header.pop_back();
    EXPECT_EQ(fields(header, ','), names);
    // The keys of the first JSON row, in order.
    const std::string row = lines_of(json.out).at(1);
    std::vector<std::string> keys;
    for (std::size_t at = row.find("\": "); at != std::string::npos; at = row.find("\": ", at + 1))
      keys.push_back(row.substr(row.rfind('"', at - 1) + 1, at - row.rfind('"', at - 1) - 1));
    EXPECT_EQ(keys, names);
    // Alignment, over the first row (the days in it rise and set).
    auto first = words(lines_of(text.out).at(1));
    // The day's text, "polar day" or "polar night", is two words.
    if (heading.back().text == "day" && first.size() == heading.size() + 1) first.pop_back();
    ASSERT_EQ(first.size(), heading.size()) << lines_of(text.out).at(1);
    for (std::size_t k = 0; k < heading.size(); ++k) {
      const std::string& h = heading[k].text;
      const bool left = h == "body" || h.rfind("date_", 0) == 0 || h == "event" || h == "day";
      if (left) {
        EXPECT_EQ(heading[k].begin, first[k].begin) << heading[k].text;
      } else {
        EXPECT_EQ(heading[k].end, first[k].end) << heading[k].text;
      }
    }
  }
}

// JSON has no NaN or infinity, and texts from tables are escaped; --list
// --json is an array of objects (it printed the text listing).
TEST(SeasonCommand, JsonIsJson) {
  using kest::season::json_number;
  using kest::season::json_text;
  EXPECT_EQ(json_number(std::nan("")), "null");
  EXPECT_EQ(json_number(-HUGE_VAL), "null");
  EXPECT_EQ(json_number(274.5), "274.5");
  EXPECT_EQ(json_text("a\"b\\c\x01\xe9"), "\"a\\\"b\\\\c\\u0001?\"");
  EXPECT_EQ(kest::season::csv_text("say \"hi\""), "\"say \"\"hi\"\"\"");
  ScratchDir dir;
  dir.copy_tables();
  const auto r = season(dir, {"--json", "--list"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto rows = lines_of(r.out);
  ASSERT_GT(rows.size(), 40u);
  EXPECT_EQ(rows.front(), "[");
  EXPECT_EQ(rows[1].rfind("  {\"name\": \"Mercury\", \"kind\": \"planet\", \"table\": \"planelem.tab\", \"item\": 1, \"planet\": null, \"orbit\": null},", 0), 0u) << rows[1];
  EXPECT_EQ(rows.back(), "]");
}

TEST(SeasonCommand, ClosedPipeEndsQuietly) {
  ScratchDir dir;
  dir.copy_tables();
  const auto r = season(dir, {"--csv", "table", "Mars", "--from", "2000-01-01", "--to", "2050-01-01", "--step", "0.01d"}, 3);
  EXPECT_EQ(lines_of(r.out).size(), 3u);
  EXPECT_EQ(r.err, "");
  EXPECT_NE(r.status, 0);
}

TEST(SeasonCommand, BadInputIsOneLineAndStatusTwo) {
  ScratchDir dir;
  dir.copy_tables();
  // A table with an open comet and one with a damaged value.
  ScratchDir bad;
  bad.copy_tables();
  bad.write("comet.tab", "C_END\n--\n'Open one'\n2020 1 1.5\n10\n20\n30\n1.0\n1.2\n0 90\n1\n");
  std::string minor = "C_END\n--\n'Broken'\n2451545.0\n1.0\n0.1\nten\n";
  for (int i = 0; i < 7; ++i) minor += "1\n";
  // A minor body 1e300 AU from the Sun (once "no elliptic orbit
  // (eccentricity 0.09)"), and exoplanets 1e-300 AU from their star and
  // with an obliquity of 1e308 degrees (once plausible numbers).
  minor += "--\n'Far away'\n2451545.0\n1e300\n0.09\n1\n1\n1\n1\n0\n90\n0\n1\n";
  // A name holding a terminal escape sequence, which reached the screen.
  minor += "--\n'Odd\x1b[2Jone'\n2451545.0\n2.5\n0.09\n1\n1\n1\n1\n0\n90\n0\n1\n";
  minor += "--\n'Odd two'\n2451545.0\n2.5\n0.09\n1\n1\n1\n1\n0\n90\n0\n1\n";
  bad.write("minor.tab", minor);
  const std::string exo = "--\n'%s'\n5.49\n50.9\n2450001.51\n%s\n4.23\n0.013\n%s\n58\n101.5\n";
  const auto exoplanet = [&exo](const char* name, const char* a, const char* obliquity) {
    std::string item = exo;
    for (const char* v : {name, a, obliquity}) item.replace(item.find("%s"), 2, v);
    return item;
  };
  // Mars with an eccentricity that falls below 0 in the 2930s, by its rate.
  std::string fast = bad.read("planelem.tab");
  fast.replace(fast.find("0.00007882"), 10, "-0.0100000");
  bad.write("planelem.tab", fast);
  // Mercury without its rates line read Venus's line as its rates.
  ScratchDir norates;
  norates.copy_tables();
  std::string planets = norates.read("planelem.tab");
  const std::size_t rates = planets.find("\nrates", planets.find("\nMercury"));
  planets.erase(rates, planets.find('\n', rates + 1) - rates);
  norates.write("planelem.tab", planets);
  const std::string noratestables = norates.path().string();
  bad.write("exoplan.tab", "C_END\n" + exoplanet("Too close", "1e-300", "0") + exoplanet("Tumbling", "0.05", "1e308"));
  const std::string badtables = bad.path().string();
  // Without its rotation table, and with one damaged at its 5th line.
  ScratchDir norotation, badrotation;
  norotation.copy_tables();
  std::filesystem::remove(norotation.path() / "rotation.tab");
  badrotation.copy_tables();
  badrotation.write("rotation.tab", "head\nC_END\nMars 1 2 3 4 5 6 7\n  term 1 2 3 4 5 6\n  term 1 2 3 4 5 six\n");
  // Dates files: binary junk, a line of 2 MiB, a directory.
  dir.write("junk.dates", std::string("2026-01-01\n\x01\xff\x7f") + std::string(100, 'x') + "\n");
  dir.write("long.dates", std::string(2u << 20, '2') + "\n");
  std::filesystem::create_directory(dir.path() / "folder.dates");
  ASSERT_EQ(::mkfifo((dir.path() / "waiting.fifo").c_str(), 0644), 0);
  std::string many_angles = "0";
  for (int a = 1; a < 200; ++a) many_angles += "," + std::to_string(a);
  struct Row {
    std::vector<std::string> args;
    const char* says;
  };
  const std::vector<Row> rows = {
      {{"at", "Europe", "2026-01-01"}, "did you mean Europa (Jupiter)"},
      {{"at", "Xyzzyq", "2026-01-01"}, "no body 'Xyzzyq'"},
      {{"at", "2", "2026-01-01"}, "'2' is not one body of the tables; did you mean 2 Pallas (minor body), 25143 Itokawa"},
      {{"at", "Mars", "9838.5"}, "a bare number"},
      {{"at", "Mars", "2026-02-30"}, "no such day"},
      {{"table", "Mars", "--from", "2026-01-01", "--to", "2026-02-01", "--step", "0d"}, "more than zero"},
      {{"table", "Mars", "--from", "2026-01-01", "--to", "2026-02-01", "--step", "-1d"}, "more than zero"},
      {{"table", "Mars", "--from", "2026-02-01", "--to", "2026-01-01", "--step", "1d"}, "lies after"},
      {{"table", "Mars", "--from", "1900-01-01", "--to", "2100-01-01", "--step", "1s"}, "more than 10^8 rows"},
      {{"table", "Mars", "--from", "2026-01-01"}, "needs --from, --to and --step"},
      {{"events", "Mars", "--from", "2026-01-01", "--to", "2025-01-01"}, "lies after"},
      {{"events", "Mars", "--from", "2026-01-01", "--to", "2027-01-01", "--ls", "9x"}, "--ls"},
      {{"--tables", "/nonexistent-tables", "at", "Mars", "2026-01-01"}, "no element tables in '/nonexistent-tables'"},
      {{"--tables", badtables, "at", "Open", "2026-01-01"}, "no elliptic orbit"},
      {{"--tables", badtables, "at", "Broken", "2026-01-01"}, "error reading value"},
      {{"--tables", noratestables, "at", "Mercury", "2026-01-01"}, "planelem.tab, line 2 after C_END: the rates line of planet 1 is missing"},
      // The rotation models are never replaced by the frozen poles unasked.
      {{"--tables", norotation.path().string(), "at", "Titan", "2026-01-01"},
       "cannot read rotation.tab: No such file or directory (it holds the rotation models"},
      {{"--tables", badrotation.path().string(), "at", "Mars", "2026-01-01"},
       "rotation.tab, line 5: 'six' is not a decimal number: the table is damaged"},
      {{"--tables", badtables, "table", "Mars", "--from", "2900-01-01", "--to", "2990-01-01", "--step", "1y"},
       "at 2989-01-01, 'Mars' has no elliptic orbit (eccentricity -0.0055041"},
      {{"--tables", badtables, "events", "Mars", "--from", "2026-01-01", "--to", "2999-01-01"}, "at 2999-01-01, 'Mars' has no"},
      {{"--tables", badtables, "at", "Odd", "2026-01-01"}, "did you mean Odd?[2Jone (minor body), Odd two"},
      {{"--tables", badtables, "at", "Far away", "2026-01-01"}, "'Far away': the semi-major axis a = 1e+300 AU lies outside"},
      {{"--tables", badtables, "at", "Too close", "2026-01-01"}, "'Too close': the semi-major axis a = 1e-300 AU lies outside"},
      {{"--tables", badtables, "at", "Tumbling", "2026-01-01"}, "'Tumbling': the declination of the pole"},
      {{"--frobnicate"}, "--frobnicate"},
      {{"at", "Mars"}, "DATE"},
      {{"--csv", "--json", "--list"}, "excludes"},
      {{"table", "Mars", "--dates", "junk.dates"}, "junk.dates, line 2: date '???xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx...': not a date"},
      {{"table", "Mars", "--dates", "long.dates"}, "long.dates, line 1: longer than 1 MiB"},
      {{"table", "Mars", "--dates", "folder.dates"}, "folder.dates: it is a directory"},
      {{"table", "Mars", "--dates", "/dev/zero"}, "/dev/zero: not a regular file"},
      // A FIFO without a writer once held the open for ever.
      {{"table", "Mars", "--dates", "waiting.fifo"}, "waiting.fifo: not a regular file"},
      // Dates beyond the span once read past a buffer of the text table
      // (J2000+1e300) and overflowed the events search's orbit count.
      {{"at", "Mars", "J2000+1e300"}, "outside the span of dates"},
      {{"events", "Jupiter", "--from", "JD1e300", "--to", "JD1e300"}, "outside the span of dates"},
      {{"events", "Mercury", "--from", "-1000000-01-01", "--to", "1000000-01-01"}, "the years run from -4712 to 9999"},
      {{"at", "Mars", "10000-01-01"}, "the years run from -4712 to 9999"},
      // Values once read as something else, or ignored.
      {{"--epoch", "0.25", "at", "Mars", "2026-01-01"}, "not centuries (as centuries, 0.25 is the year 2025.0)"},
      {{"--epoch", "0x10", "at", "Mars", "2026-01-01"}, "--epoch '0x10': give a year"},
      {{"--epoch", "", "at", "Mars", "2026-01-01"}, "--epoch '': give a year"},
      {{"events", "Mars", "--from", "2026-01-01", "--to", "2027-01-01", "--ls", "0x5A"}, "--ls '0x5A'"},
      {{"events", "Mars", "--from", "2026-01-01", "--to", "2027-01-01", "--ls", "0x1p3"}, "--ls '0x1p3'"},
      {{"events", "Mars", "--from", "2026-01-01", "--to", "2027-01-01", "--ls", ""}, "--ls ''"},
      {{"events", "Mars", "--from", "2026-01-01", "--to", "2027-01-01", "--ls", "90,,180"}, "--ls '90,,180'"},
      {{"at", "Mars", "2026-12-09T-1:00"}, "hh:mm"},
      // A frozen epoch of 1e300 once gave rows of NaN.
      {{"--epoch", "1e300", "at", "Mars", "2026-01-01"}, "--epoch '1e300': give a year from 1000 to 3000"},
      // The guard counts the season angles as well as the orbits.
      {{"events", "Mercury", "--from", "-4712-01-01", "--to", "9999-12-31", "--ls", many_angles}, "too many events"},
      {{"at", std::string(3, '\x01') + std::string(100, 'Q'), "2026-01-01"}, "no body '???QQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQ...' in"},
      {{"events", "Mars", "--from", "2026-01-01", "--to", "2027-01-01", "--ls", std::string(50, '\x7f')}, "--ls '????"},
      // A body of one's own: the key at fault is named.
      {{"at", "X", "2026-01-01", "--elements", "a=2.9,e=0.1,i=3,node=1,peri=2,tp=2020-01-01,w=3"}, "--elements: unknown key 'w'"},
      {{"at", "X", "2026-01-01", "--elements", "a=2.9,e=1.2,i=3,node=1,peri=2,tp=2020-01-01"}, "e=1.2 gives no elliptic"},
      {{"at", "X", "2026-01-01", "--elements", "e=0.1,i=3,node=1,peri=2,tp=2020-01-01"}, "give the semi-major axis a"},
      {{"at", "X", "2026-01-01", "--elements", "a=2.9,e=0.1,i=3,node=1,peri=2,tp=2020-01-01", "--pole", "ra=1"}, "needs both ra and dec"},
      {{"at", "X", "2026-01-01", "--elements", "a=2.9,e=0.1,i=3,node=1,peri=2,tp=2020-01-01", "--rotation", "fast"}, "--rotation 'fast'"},
      {{"at", "X", "Y", "2026-01-01", "--elements", "a=2.9,e=0.1,i=3,node=1,peri=2,tp=2020-01-01"}, "give its name once"},
      {{"at", "Mars", "2026-01-01", "--pole", "ra=1,dec=2"}, "give --elements too"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.args.back());
    const auto s = season(dir, r.args);
    EXPECT_EQ(s.status, 2);
    EXPECT_EQ(s.out, "");
    // One line of error, after what is said of tables that cannot be read.
    const auto lines = lines_of(s.err);
    ASSERT_FALSE(lines.empty());
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) EXPECT_EQ(lines[i].rfind("kest-season: warning: ", 0), 0u) << s.err;
    EXPECT_EQ(lines.back().rfind("kest-season: ", 0), 0u) << s.err;
    EXPECT_EQ(lines.back().rfind("kest-season: warning: ", 0), std::string::npos) << s.err;
    EXPECT_NE(lines.back().find(r.says), std::string::npos) << s.err;
  }
}

}  // namespace

namespace {

double clock_hours(const std::string& t) {
  return std::stod(t.substr(0, 2)) + std::stod(t.substr(3, 2)) / 60.0 + std::stod(t.substr(6, 2)) / 3600.0;
}

// kest-season sun: Mars's local times from its own geometry within 30 s of
// the Mars time algorithm's, 1990 to 2040 at longitudes round the planet,
// west longitudes read as Mars maps give them, sols from a landing, polar
// night said as such, and bad input refused in one line.
TEST(SeasonCommand, SunAtAPlace) {
  ScratchDir dir;
  dir.copy_tables();
  std::string dates;
  for (int y = 1990; y <= 2040; y += 5) dates += std::to_string(y) + "-03-0" + std::to_string(1 + y % 7) + "T0" + std::to_string(y % 10) + ":17\n";
  dir.write("mars.dates", dates);
  for (const double lon : {0.0, 77.45, 137.4, 224.0, 359.0}) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", lon);
    const auto r = season(dir, {"--csv", "sun", "Mars", "--lat", "4.5", "--lon", text, "--dates", "mars.dates"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto rows = lines_of(r.out);
    ASSERT_EQ(rows.size(), 12u);
    EXPECT_EQ(rows[0], "date_tt,days_j2000,ltst,lmst,solar_zenith_deg,solar_elevation_deg,solar_azimuth_deg,"
                       "insolation_w_m2,sunrise_ltst,sunset_ltst,day_length_h,msd,mtc\r");
    for (std::size_t i = 1; i < rows.size(); ++i) {
      const auto f = fields(rows[i], ',');
      const kest::MarsTime m = kest::mars_time(std::stod(f[1]), lon);
      EXPECT_NEAR(std::remainder(clock_hours(f[2]) - m.ltst, 24.0), 0.0, 30.0 / 3600.0) << rows[i];
      EXPECT_NEAR(std::remainder(clock_hours(f[3]) - m.lmst, 24.0), 0.0, 30.0 / 3600.0) << rows[i];
    }
  }
  // The subsolar point in west longitude: 360 less the east one.
  const auto e_at = season(dir, {"--csv", "at", "Mars", "2021-02-18T20:55Z"});
  const auto w_at = season(dir, {"--csv", "at", "Mars", "2021-02-18T20:55Z", "--west"});
  ASSERT_EQ(w_at.status, 0) << w_at.err;
  EXPECT_EQ(fields(lines_of(w_at.out).at(0), ',').at(5), "subsolar_lon_west_deg");
  EXPECT_NEAR(std::stod(fields(lines_of(w_at.out).at(1), ',').at(5)),
              360.0 - std::stod(fields(lines_of(e_at.out).at(1), ',').at(5)), 1e-9);
  // 77.45 E is 282.55 W; the landing sol is 0.
  const auto east = season(dir, {"--csv", "sun", "Mars", "--lat", "18.44", "--lon", "77.45", "--at", "2021-02-20T12:00Z",
                                 "--landing", "2021-02-18T20:55Z"});
  const auto westward = season(dir, {"--csv", "sun", "Mars", "--lat", "18.44", "--lon", "282.55", "--west", "--at",
                                     "2021-02-20T12:00Z", "--landing", "2021-02-18T20:55Z"});
  ASSERT_EQ(east.status, 0) << east.err;
  EXPECT_EQ(east.out, westward.out);
  EXPECT_EQ(fields(lines_of(east.out).at(1), ',').back(), "2");
  const auto night = season(dir, {"--csv", "sun", "Mars", "--lat", "-85", "--lon", "0", "--at", "2026-12-10"});
  ASSERT_EQ(night.status, 0) << night.err;
  EXPECT_NE(night.out.find(",polar night,polar night,0,"), std::string::npos) << night.out;
  const std::vector<std::vector<std::string>> bad = {
      {"sun", "Mars", "--lat", "91", "--lon", "0", "--at", "2026-01-01"},
      {"sun", "Mars", "--lat", "0", "--lon", "east", "--at", "2026-01-01"},
      {"sun", "Mars", "--lon", "0", "--at", "2026-01-01"},
      {"sun", "Earth", "--lat", "0", "--lon", "0", "--at", "2026-01-01", "--landing", "2026-01-01"},
      {"sun", "Mars", "--lat", "0", "--lon", "0"},
  };
  for (const auto& args : bad) {
    const auto r = season(dir, args);
    EXPECT_EQ(r.status, 2) << args[2] << args[3];
    EXPECT_EQ(r.out, "");
    // One line of error, after what is said of the body's model.
    const auto lines = lines_of(r.err);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().rfind("kest-season: warning", 0), std::string::npos) << r.err;
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) EXPECT_EQ(lines[i].rfind("kest-season: warning: ", 0), 0u) << r.err;
  }
}

}  // namespace

namespace {

using kest::day_at_latitude;
using kest::LatitudeDay;
using kest::season_row;
using kest::SeasonRow;
using kest::SolarDay;

// A Mars grid of kest-season insolation in CSV, as rows of fields without
// the header.
std::vector<std::vector<std::string>> grid_rows(const ScratchDir& dir, const std::vector<std::string>& args) {
  std::vector<std::string> all = {"--csv", "insolation", "Mars"};
  all.insert(all.end(), args.begin(), args.end());
  const auto r = season(dir, all);
  EXPECT_EQ(r.status, 0) << r.err;
  std::vector<std::vector<std::string>> rows;
  for (const std::string& l : lines_of(r.out)) rows.push_back(fields(l, ','));
  EXPECT_FALSE(rows.empty());
  if (!rows.empty()) rows.erase(rows.begin());
  return rows;
}

// kest-season insolation: the latitudes of each --lat-step, every cell the
// core's diurnal mean on its date's own row, rows that join across the
// blocks of the workers wherever a block splits a date, the polar night and
// day of Mars at its solstices, and what the grid refuses.
TEST(SeasonCommand, InsolationGrid) {
  ScratchDir dir;
  dir.copy_tables();
  const kest::TableSet tables{dir.path()};
  const auto bodies = kest::list_bodies(tables);
  kest::SeasonBodyError error;
  auto mars = kest::make_season_body(tables, *kest::find_body(bodies, "Mars").body, std::nullopt, error);
  ASSERT_TRUE(mars) << error.message;
  ASSERT_TRUE(kest::use_accurate_positions(*mars, false, error)) << error.message;
  dir.write("one.dates", "2026-01-01\n");

  // -90, then a step at a time while below 90, then 90 once.
  const struct {
    const char* step;
    std::size_t count;
    std::vector<double> has;
  } steps[] = {{"5", 37, {-90, -85, 0, 85, 90}},   {"7", 27, {-90, -83, 85, 90}}, {"180", 2, {-90, 90}},
               {"100", 3, {-90, 10, 90}},          {"2.5e1", 9, {-65, 85, 90}},   {"0.1", 1801, {-90, 90}}};
  for (const auto& s : steps) {
    SCOPED_TRACE(s.step);
    std::vector<double> lats;
    for (const auto& f : grid_rows(dir, {"--dates", "one.dates", "--lat-step", s.step})) lats.push_back(std::stod(f.at(3)));
    ASSERT_EQ(lats.size(), s.count);
    EXPECT_EQ(lats.front(), -90.0);
    EXPECT_EQ(lats.back(), 90.0);
    // A step between each two, and up to a step to 90 at the end, but never
    // a rounding (a latitude a hair below 90, then 90).
    const double step = std::stod(s.step);
    for (std::size_t i = 1; i + 1 < lats.size(); ++i) EXPECT_NEAR(lats[i] - lats[i - 1], step, 1e-9) << i;
    EXPECT_GT(90.0 - lats[lats.size() - 2], 1e-6);
    EXPECT_LE(90.0 - lats[lats.size() - 2], step);
    for (const double h : s.has) EXPECT_NE(std::find(lats.begin(), lats.end(), h), lats.end()) << h;
  }

  // Each cell against day_at_latitude on the row of its date; the day
  // length against Mars's mean solar day of 88775.244 s.
  dir.write("three.dates", "2023-03-01\n2024-01-15T06:00\nJ2000+9838.5\n");
  const auto cells = grid_rows(dir, {"--dates", "three.dates"});
  ASSERT_EQ(cells.size(), 3u * 37u);
  for (const auto& f : cells) {
    SolarDay day;
    const SeasonRow r = season_row(*mars, std::stod(f.at(1)), &day);
    const LatitudeDay d = day_at_latitude(r.flux, r.sdec, std::stod(f.at(3)));
    EXPECT_EQ(std::stod(f.at(2)), r.ls);
    EXPECT_EQ(std::stod(f.at(4)), d.mean_insolation) << f[0] << " " << f[3];
    EXPECT_EQ(std::stod(f.at(5)), d.fraction);
    EXPECT_NEAR(std::stod(f.at(6)), d.fraction * 88775.244 / 3600.0, 1e-4);
    EXPECT_EQ(f.size() > 7 ? f[7] : "", kest::day_kind_text(d.kind));
  }

  // Blocks of whole dates (300 dates of 37 latitudes), and blocks that split
  // dates (18001 latitudes a date): rows laid out on the workers join into
  // the text one writer lays out, in CSV and in JSON.
  const struct {
    const char* lat_step;
    int below_90;  // latitudes below 90
    const char* to;
    const char* step;
  } grids[] = {{"5", 36, "J2000+9299.5", "1"}, {"0.01", 18000, "J2000+9000.75", "0.25"}};
  for (const auto& g : grids) {
    for (const bool csv : {true, false}) {
      SCOPED_TRACE(std::string(g.lat_step) + (csv ? ", csv" : ", json"));
      kest::season::InsolationWriter w(csv ? kest::season::OutputFormat::csv : kest::season::OutputFormat::json, false);
      std::string expected;
      w.header(expected);
      const double step = std::stod(g.step), last = std::stod(std::string(g.to).substr(6));
      for (double days = 9000.5; days <= last; days += step) {
        SolarDay day;
        const SeasonRow r = season_row(*mars, days, &day);
        for (int k = 0; k <= g.below_90; ++k) {
          const double lat = k == g.below_90 ? 90.0 : -90.0 + k * std::stod(g.lat_step);
          const LatitudeDay d = day_at_latitude(r.flux, r.sdec, lat);
          w.row(expected, r, lat, d, d.fraction * std::fabs(day.length) * 24.0);
        }
      }
      w.footer(expected);
      const auto r = season(dir, {csv ? "--csv" : "--json", "insolation", "Mars", "--from", "J2000+9000.5", "--to", g.to,
                                  "--step", g.step, "--lat-step", g.lat_step});
      ASSERT_EQ(r.status, 0) << r.err;
      EXPECT_EQ(r.out.size(), expected.size());
      EXPECT_TRUE(r.out == expected);
    }
  }

  // At the solstices the winter pole is dark and the summer pole lit, to
  // 90 - 25.19 degrees (Mars's obliquity), and the summer pole has the most.
  const auto solstices = kest::find_season_events(*mars, 9000.0, 9700.0, {90.0, 270.0});
  ASSERT_EQ(std::count_if(solstices.begin(), solstices.end(), [](const auto& e) { return e.what[0] == 'L'; }), 2);
  for (const auto& e : solstices) {
    if (e.what[0] != 'L') continue;
    SCOPED_TRACE(e.what);
    const double summer = e.what == "Ls=90" ? 1.0 : -1.0;
    dir.write("solstice.dates", "J2000+" + kest::number(e.row.days) + "\n");
    const auto rows = grid_rows(dir, {"--dates", "solstice.dates"});
    ASSERT_EQ(rows.size(), 37u);
    double most = -1.0, at = 0.0;
    for (const auto& f : rows) {
      const double lat = std::stod(f.at(3)), q = std::stod(f.at(4));
      const std::string kind = f.size() > 7 ? f[7] : "";
      if (q > most) most = q, at = lat;
      if (lat * summer >= 65.0) {
        EXPECT_EQ(kind, "polar day") << lat;
        EXPECT_EQ(f[5], "1");
      } else if (lat * summer <= -65.0) {
        EXPECT_EQ(kind, "polar night") << lat;
        EXPECT_EQ(f[4] + f[5], "00");
      } else {
        EXPECT_EQ(kind, "") << lat;
      }
    }
    EXPECT_EQ(at, 90.0 * summer);
  }

  // A body without a rotation period: the grid, without day lengths.
  ScratchDir still;
  still.copy_tables();
  still.write("minor.tab", "C_END\n--\n'Still one'\n2451545.0\n2.5\n0.09\n1\n1\n1\n1\n0\n90\n0\n0\n");
  const auto nodays = season(still, {"--csv", "insolation", "Still one", "--from", "2026-01-01", "--to", "2026-01-01",
                                     "--step", "1d", "--lat-step", "90"});
  ASSERT_EQ(nodays.status, 0) << nodays.err;
  const auto nodays_rows = lines_of(nodays.out);
  ASSERT_EQ(nodays_rows.size(), 4u);
  for (std::size_t i = 1; i < 4; ++i) EXPECT_EQ(fields(nodays_rows[i], ',').at(6), "nan") << nodays_rows[i];
  EXPECT_NE(fields(nodays_rows[2], ',').at(4), "nan");

  // 555 dates of 180001 latitudes are 99900555 cells, one date more is too
  // many: the guard counts the cells, not the dates.
  std::string many;
  for (int i = 0; i < 600; ++i) many += "J2000+" + std::to_string(i) + "\n";
  dir.write("many.dates", many);
  const auto within = season(dir, {"--csv", "insolation", "Mars", "--from", "J2000+0", "--to", "J2000+554", "--step",
                                   "1", "--lat-step", "0.001"}, 2);
  EXPECT_EQ(lines_of(within.out).size(), 2u);
  EXPECT_EQ(within.err, "");
  const std::vector<std::pair<std::vector<std::string>, const char*>> refused = {
      {{"--from", "J2000+0", "--to", "J2000+555", "--step", "1", "--lat-step", "0.001"}, "more than 10^8 cells"},
      {{"--dates", "many.dates", "--lat-step", "0.001"}, "more than 10^8 cells"},
      {{"--dates", "one.dates", "--lat-step", "1e-300"}, "more than 10^8 cells"},
      {{"--from", "1900-01-01", "--to", "2100-01-01", "--step", "1m"}, "more than 10^8 cells"},
      {{"--from", "2026-01-01"}, "insolation needs --from, --to and --step"},
      {{"--dates", "one.dates", "--lat-step", "0"}, "--lat-step '0': give"},
      {{"--dates", "one.dates", "--lat-step", "-5"}, "--lat-step '-5': give"},
      {{"--dates", "one.dates", "--lat-step", "180.5"}, "--lat-step '180.5': give"},
      {{"--dates", "one.dates", "--lat-step", "five"}, "--lat-step 'five': give"},
      {{"--dates", "one.dates", "--lat-step", ""}, "--lat-step '': give"},
      {{"--dates", "one.dates", "--lat-step", "0x10"}, "--lat-step '0x10': give"},
      {{"--dates", "one.dates", "--lat-step", "inf"}, "--lat-step 'inf': give"},
      {{"--dates", "one.dates", "--lat-step", "1e400"}, "--lat-step '1e400': give"},
  };
  for (const auto& [args, says] : refused) {
    SCOPED_TRACE(args.back());
    std::vector<std::string> all = {"insolation", "Mars"};
    all.insert(all.end(), args.begin(), args.end());
    const auto r = season(dir, all);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    const auto lines = lines_of(r.err);
    ASSERT_EQ(lines.size(), 1u) << r.err;
    EXPECT_NE(lines[0].find(says), std::string::npos) << r.err;
  }
}

}  // namespace

namespace {

// A body given by its elements has the rows of the table item of the same
// numbers; several bodies are written one after another, each row naming
// its body, in every format.
TEST(SeasonCommand, BodiesOfOnesOwnAndSeveralBodies) {
  ScratchDir dir;
  dir.copy_tables();
  const std::vector<std::string> dates = {"--from", "2026-01-01", "--to", "2026-03-01", "--step", "10d"};
  std::vector<std::string> table = {"--csv", "table", "minor:4 Vesta"}, given = {"--csv", "table", "4 Vesta"};
  table.insert(table.end(), dates.begin(), dates.end());
  given.insert(given.end(), dates.begin(), dates.end());
  // minor.tab's item, key by key.
  for (const std::string& a :
       {std::string("--elements"),
        std::string("a=2.361365965127599,e=0.09020374382834395,i=7.143925545058711,node=103.701293265032,"
                    "peri=151.4686478221564,M=81.19015607686903,epoch=JD2461200.5"),
        std::string("--pole"), std::string("ra=309.031,dec=42.235"), std::string("--rotation"), std::string("0.22258868d")})
    given.push_back(a);
  const Result t = season(dir, table), g = season(dir, given);
  ASSERT_EQ(t.status, 0) << t.err;
  ASSERT_EQ(g.status, 0) << g.err;
  EXPECT_EQ(g.out, t.out);
  EXPECT_EQ(lines_of(t.out).size(), 7u);

  struct Row {
    std::vector<std::string> args;
    std::vector<std::string> starts;  // the starts of the output's lines, in order
  };
  const std::vector<Row> rows = {
      {{"--csv", "at", "Mars", "Jupiter", "2026-01-01"},
       {"body,date_tt,", "\"Mars\",2026-01-01T00:00:00.000,", "\"Jupiter\",2026-01-01T00:00:00.000,"}},
      {{"--json", "at", "Mars", "Titan", "2026-01-01"},
       {"[", "  {\"body\": \"Mars\", \"date_tt\": ", "  {\"body\": \"Titan\", \"date_tt\": ", "]"}},
      {{"at", "Mars", "Titan", "2026-01-01"}, {"body                        date_tt", "Mars    ", "Titan   "}},
      {{"--csv", "table", "Venus", "Mars", "--from", "2026-01-01", "--to", "2026-01-02", "--step", "1d"},
       {"body,", "\"Venus\",2026-01-01", "\"Venus\",2026-01-02", "\"Mars\",2026-01-01", "\"Mars\",2026-01-02"}},
      {{"--csv", "events", "Mars", "Earth", "--from", "2026-01-01", "--to", "2026-04-01", "--ls", "0"},
       {"body,date_tt,event,", "\"Mars\",2026-03-26", "\"Earth\",2026-01-0", "\"Earth\",2026-03-20"}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.args[1] + " " + r.args[2]);
    const Result s = season(dir, r.args);
    ASSERT_EQ(s.status, 0) << s.err;
    const auto lines = lines_of(s.out);
    ASSERT_EQ(lines.size(), r.starts.size()) << s.out;
    for (std::size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(lines[i].rfind(r.starts[i], 0), 0u) << lines[i];
  }
  // Mars's year is left empty in the rows of the other bodies.
  const auto csv = lines_of(season(dir, {"--csv", "at", "Mars", "Jupiter", "2026-01-01"}).out);
  ASSERT_EQ(csv.size(), 3u);
  EXPECT_EQ(csv[1].substr(csv[1].rfind(',')), ",38\r");
  EXPECT_EQ(csv[2].substr(csv[2].size() - 2), ",\r");
  // A body without a pole: distance and flux, the season columns empty,
  // said once.
  const Result nopole = season(dir, {"--csv", "at", "X", "2026-01-01", "--elements", "a=2.9,e=0.1,i=3,node=1,peri=2,tp=2026-01-01"});
  ASSERT_EQ(nopole.status, 0) << nopole.err;
  EXPECT_EQ(fields(lines_of(nopole.out).at(1), ',').at(3), "");
  EXPECT_NE(nopole.err.find("no pole is given for 'X'"), std::string::npos) << nopole.err;
  // A name that two tables hold for one body takes the first, and says so.
  const Result ceres = season(dir, {"at", "Ceres", "2026-01-01"});
  EXPECT_EQ(ceres.status, 0);
  EXPECT_NE(ceres.err.find("'Ceres' is 1 Ceres of minor.tab (item 1)"), std::string::npos) << ceres.err;
}

}  // namespace

namespace {

// An orbit line of the MPC's format, its fields at their columns.
std::string orbit_line(const std::string& designation, const std::string& name, const std::string& a) {
  std::string line(202, ' ');
  const auto put = [&](std::size_t column, const std::string& text) { line.replace(column - 1, text.size(), text); };
  put(1, designation);
  put(21, "K2669");
  put(27, "274.41935");
  put(38, " 73.29420");
  put(49, " 80.24863");
  put(60, " 10.58803");
  put(71, "0.0796923");
  put(81, " 0.21430445");
  put(93, a);
  put(167, name);
  return line;
}

// Bodies from files: each row names its body, a pole catalogue gives poles
// by name, and a damaged line stops the run before anything is written,
// naming the file and the line.
TEST(SeasonCommand, BodiesOfFiles) {
  ScratchDir dir;
  dir.write("orbits.txt", "Header text of the file\n---------\n" + orbit_line("00001", "(1) Ceres", "  2.7655526") +
                              "\n" + orbit_line("K07Tf8A", "", "  2.3609571") + "\n");
  dir.write("poles.csv", "name,lon,lat,period\nCeres,11.207,81.555,9.07417\n");
  dir.write("bodies.csv", "name,a,e,i,node,peri,tp,ra,dec,rotation\n\"My, rock\",2.9,0.1,3,1,2,2020-01-01,10,20,5h\n"
                          "Bare,2.5,0.05,1,1,1,2021-01-01,,,\n");
  const Result mpc = season(dir, {"--csv", "at", "--mpc", "orbits.txt", "--poles", "poles.csv", "2026-12-10"});
  ASSERT_EQ(mpc.status, 0) << mpc.err;
  const auto rows = lines_of(mpc.out);
  ASSERT_EQ(rows.size(), 3u) << mpc.out;
  EXPECT_EQ(fields(rows[1], ',').at(0), "\"1 Ceres\"");
  EXPECT_NE(fields(rows[1], ',').at(4), "");  // the catalogue's pole
  EXPECT_EQ(fields(rows[2], ',').at(0), "\"2007 TA418\"");
  EXPECT_EQ(fields(rows[2], ',').at(4), "");  // no pole
  // The distance from a(1 - e cos E): the same orbit as the line's numbers.
  EXPECT_NEAR(std::stod(fields(rows[1], ',').at(3)), 2.6228, 1e-3);
  const Result csv = season(dir, {"--json", "events", "--bodies", "bodies.csv", "--from", "2026-01-01", "--to", "2027-01-01"});
  ASSERT_EQ(csv.status, 0) << csv.err;
  EXPECT_NE(csv.out.find("{\"body\": \"My, rock\", \"date_tt\": "), std::string::npos) << csv.out;
  EXPECT_NE(csv.out.find("{\"body\": \"Bare\", \"date_tt\": \"2026-12-06"), std::string::npos) << csv.out;

  dir.write("short.txt", orbit_line("00001", "(1) Ceres", "  2.7655526").substr(0, 90) + "\n");
  dir.write("noname.csv", "nom,a\nx,1\n");
  dir.write("badkey.csv", "name,a,e,i,node,peri,tp\nx,1,0.1,3,1,2,2020-13-01\n");
  dir.write("open.csv", "name,a,e,i,node,peri,tp\nx,1,0.1,3,1,2,2020-01-01\ny,1,1.5,3,1,2,2020-01-01\n");
  const std::vector<std::pair<std::vector<std::string>, std::string>> bad = {
      {{"at", "--mpc", "short.txt", "2026-12-10"}, "short.txt, line 1: cut short at column 90"},
      {{"at", "--bodies", "noname.csv", "2026-12-10"}, "noname.csv, line 1: no column 'name'"},
      {{"at", "--bodies", "badkey.csv", "2026-12-10"}, "badkey.csv, line 2: tp=2020-13-01"},
      {{"at", "--bodies", "open.csv", "2026-12-10"}, "open.csv, line 3: 'y': e=1.5 gives no elliptic orbit"},
      {{"at", "--mpc", "missing.txt", "2026-12-10"}, "cannot read missing.txt"},
      {{"at", "--poles", "poles.csv", "X", "2026-12-10"}, "--poles gives poles to the bodies of --mpc and --bodies"},
  };
  for (const auto& [args, says] : bad) {
    SCOPED_TRACE(args[2]);
    const Result r = season(dir, args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(says), std::string::npos) << r.err;
  }
}

}  // namespace

namespace {

// The ephemeris asked for: --ephemeris mean gives the mean-element rows of
// the core to the bit, the default the accurate ones; names and
// combinations that mean nothing are refused with status 2, naming what is
// wrong, and nothing on standard output.
TEST(SeasonCommand, EphemerisMeanIsTheMeanElementsAndBadChoicesAreRefused) {
  ScratchDir dir;
  dir.copy_tables();
  const kest::TableSet tables{dir.path()};
  const auto bodies = kest::list_bodies(tables);
  for (const char* name : {"Saturn", "Europa", "Earth"}) {
    SCOPED_TRACE(name);
    kest::SeasonBodyError error;
    auto mean = kest::make_season_body(tables, *kest::find_body(bodies, name).body, std::nullopt, error);
    ASSERT_TRUE(mean) << error.message;
    auto accurate = mean;
    ASSERT_TRUE(kest::use_accurate_positions(*accurate, false, error)) << error.message;
    for (const bool is_mean : {true, false}) {
      kest::season::Writer w(kest::season::OutputFormat::csv, false, false);
      std::string expected;
      w.header(expected);
      for (int i = 0; i < 50; ++i) w.row(expected, kest::season_row(is_mean ? *mean : *accurate, 9000.0 + 37.25 * i));
      w.footer(expected);
      std::vector<std::string> args = {"--csv", "table", name, "--from", "J2000+9000", "--to", "J2000+10825.25",
                                       "--step", "37.25"};
      if (is_mean) args.insert(args.begin(), {"--ephemeris", "MEAN"});
      const auto r = season(dir, args);
      ASSERT_EQ(r.status, 0) << r.err;
      EXPECT_TRUE(r.out == expected) << (is_mean ? "mean" : "accurate");
    }
  }
  const struct {
    std::vector<std::string> args;
    const char* says;
  } refused[] = {
      {{"--ephemeris", "vsop", "at", "Mars", "now"}, "no ephemeris is named 'vsop'; the names are accurate, mean"},
      {{"--ephemeris", "accurate", "--epoch", "2000", "at", "Mars", "now"}, "--epoch freezes the mean elements"},
      {{"--apparent", "at", "Mars", "now"}, "'Mars' has no apparent Ls"},
      {{"--apparent", "--ephemeris", "mean", "at", "Earth", "now"}, "--apparent needs the Earth's accurate positions"},
      {{"--apparent", "--epoch", "2000", "at", "Earth", "now"}, "--apparent needs the Earth's accurate positions"},
  };
  for (const auto& row : refused) {
    const auto r = season(dir, row.args);
    EXPECT_EQ(r.status, 2) << row.says;
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(row.says), std::string::npos) << r.err;
    EXPECT_EQ(lines_of(r.err).size(), 1u) << r.err;
  }
  // The mean elements of an epoch stay the dialogue's: --epoch alone, and
  // with --ephemeris mean, give the same rows.
  const auto frozen = season(dir, {"--csv", "--epoch", "2000", "at", "Mars", "2026-01-01"});
  const auto both = season(dir, {"--csv", "--epoch", "2000", "--ephemeris", "mean", "at", "Mars", "2026-01-01"});
  EXPECT_EQ(frozen.status, 0);
  EXPECT_EQ(frozen.out, both.out);
}

}  // namespace
