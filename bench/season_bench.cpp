// kest-season's speed: 10^6 CSV rows of Mars written to a file by the
// program, beside the dialogue's ephemeris table of the same rows in the
// same run; the Sun at a place for the same dates beside their table; the
// insolation grid of a Mars year beside the table of its dates; and the
// events of 100 Mars years, computed in the process.
// With KEST_SEASON_BASELINE_BINARY naming another build of kest-season, the
// same rows are also written by it, in the same run, as
// BM_SeasonMillionCsvRowsBaseline; --benchmark_enable_random_interleaving
// then takes the runs of the two in turn (tools/bench-compare --season).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "season/season.hpp"

#ifndef KEST_SEASON_BINARY_PATH
#error "KEST_SEASON_BINARY_PATH must name the program"
#endif

namespace {

namespace fs = std::filesystem;

// A directory of its own for each benchmark, with the tables the programs
// read: rotation.tab for kest-season's rotation models at each date (an
// older program reads only the other two).
fs::path scratch(const std::string& tag) {
  const fs::path dir = fs::temp_directory_path() / ("kest-season-bench-" + std::to_string(::getpid()) + "-" + tag);
  fs::create_directories(dir);
  for (const char* t : {"planelem.tab", "spinaxis.tab", "rotation.tab"})
    fs::copy_file(fs::path(KEST_DATA_PATH) / t, dir / t, fs::copy_options::overwrite_existing);
  return dir;
}

// The last line a program wrote on standard error, for the report of a
// failed run.
std::string last_line(const fs::path& file) {
  std::ifstream in(file);
  std::string line, last;
  while (std::getline(in, line))
    if (!line.empty()) last = line;
  return last;
}

// A run's wall time, or why there is none: a program that could not be
// started, was killed or exited with other than 0 did not do the work.
struct Run {
  double seconds = 0.0;
  std::string failure;  // empty when the program exited with 0
};

// Runs a program in dir with the given arguments, standard input from a
// file (or /dev/null), standard output to a file and standard error to
// dir/stderr (the warnings of each run stay out of the report).
// The output of the run before, named by made, is removed first, outside
// the time: freeing the last run's 130 MB is not this run's work.
Run timed_run(const fs::path& dir, const std::string& program, const std::vector<std::string>& args,
              const std::string& input, const std::string& output, const fs::path& made) {
  fs::remove(made);
  const fs::path errors = dir / "stderr";
  const auto t0 = std::chrono::steady_clock::now();
  const pid_t pid = ::fork();
  if (pid < 0) return {0.0, "cannot start " + program};
  if (pid == 0) {
    if (::chdir(dir.c_str()) != 0) ::_exit(126);
    const int in = ::open(input.c_str(), O_RDONLY);
    const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0) ::_exit(126);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return {0.0, "lost " + program};
  Run run{std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(), {}};
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return run;
  if (WIFSIGNALED(status)) {
    run.failure = program + " was killed by signal " + std::to_string(WTERMSIG(status));
  } else if (WEXITSTATUS(status) == 127) {
    run.failure = "cannot run " + program;
  } else if (WEXITSTATUS(status) == 126) {
    run.failure = "cannot set up the run of " + program + " in " + dir.string();
  } else {
    run.failure = program + " exited with " + std::to_string(WEXITSTATUS(status));
  }
  const std::string said = last_line(errors);
  if (!said.empty()) run.failure += ": " + said;
  return run;
}

// Times each run of a program; a failed run ends the benchmark with its
// reason instead of a time.
void time_runs(benchmark::State& state, const fs::path& dir, const std::string& program,
               const std::vector<std::string>& args, const std::string& input, const std::string& output,
               const fs::path& made) {
  for (auto _ : state) {
    const Run run = timed_run(dir, program, args, input, output, made);
    if (!run.failure.empty()) {
      state.SkipWithError(run.failure.c_str());
      break;
    }
    state.SetIterationTime(run.seconds);
  }
}

// Rows from J2000.0 on, 0.01 day apart: --epoch 2000 freezes the elements
// and the pole as the dialogue does (1); by default the accurate positions
// and the rotation model are taken at each date (0; Saturn 3), with
// --ephemeris mean the mean elements (2; Saturn 4).
void season_rows(benchmark::State& state, const std::string& program, const std::string& tag) {
  const fs::path dir = scratch(tag);
  const auto kind = state.range(0);
  const std::string body = kind >= 3 ? "Saturn" : "Mars";
  std::vector<std::string> args = {"--csv", "table", body, "--from", "J2000+0", "--to", "J2000+9999.99",
                                   "--step", "0.01"};
  if (kind == 1) args.insert(args.begin(), {"--epoch", "2000"});
  if (kind == 2 || kind == 4) args.insert(args.begin(), {"--ephemeris", "mean"});
  time_runs(state, dir, program, args, "/dev/null", "rows.csv", dir / "rows.csv");
  state.SetLabel(body + ", " + (kind == 1 ? "frozen epoch" : kind == 2 || kind == 4 ? "mean elements at each date" : "accurate positions") +
                 ", " + program);
  fs::remove_all(dir);
}

// The events of 100 Mars years (188 years from 2000), on the accurate
// positions (0) and on the mean elements (1).
void season_events(benchmark::State& state, const std::string& program) {
  const fs::path dir = scratch("events");
  std::vector<std::string> args = {"--csv", "events", "Mars", "--from", "2000-01-01", "--to", "2188-01-01"};
  if (state.range(0) == 1) args.insert(args.begin(), {"--ephemeris", "mean"});
  time_runs(state, dir, program, args, "/dev/null", "events.csv", dir / "events.csv");
  state.SetLabel(std::string(state.range(0) == 1 ? "mean elements" : "accurate positions") + ", " + program);
  fs::remove_all(dir);
}

// The Sun at a place (4.5 N, 137.4 E) at the 10^6 dates of season_rows, the
// elements and the rotation model at each date (1); beside it, as its
// baseline, the table of the same dates (0).
void BM_SunBesideTableMillionCsvRows(benchmark::State& state) {
  const fs::path dir = scratch("sun");
  const bool sun = state.range(0) != 0;
  const std::vector<std::string> dates = {"--from", "J2000+0", "--to", "J2000+9999.99", "--step", "0.01"};
  std::vector<std::string> args = {"--csv", "table", "Mars"};
  if (sun) args = {"--csv", "sun", "Mars", "--lat", "4.5", "--lon", "137.4"};
  args.insert(args.end(), dates.begin(), dates.end());
  time_runs(state, dir, KEST_SEASON_BINARY_PATH, args, "/dev/null", "rows.csv", dir / "rows.csv");
  state.SetLabel(sun ? "sun Mars --lat 4.5 --lon 137.4" : "table Mars, the same dates (baseline)");
  fs::remove_all(dir);
}

// The insolation grid of Mars year 37 (2022-12-26 to 2024-11-12), a date a
// sol (88775.244 s) and a latitude every 5 degrees: 669 dates of 37
// latitudes (1); beside it, as its baseline, the table of the same dates
// (0), which is the program's start and the dates' season rows.
void BM_InsolationMarsYear(benchmark::State& state) {
  const fs::path dir = scratch("insolation");
  const bool grid = state.range(0) != 0;
  std::vector<std::string> args = {"--csv", grid ? "insolation" : "table", "Mars", "--from", "2022-12-26",
                                   "--to", "2024-11-12", "--step", "1.02749125"};
  if (grid) args.insert(args.end(), {"--lat-step", "5"});
  time_runs(state, dir, KEST_SEASON_BINARY_PATH, args, "/dev/null", "rows.csv", dir / "rows.csv");
  state.SetLabel(grid ? "insolation Mars, 669 sols x 37 latitudes" : "table Mars, the same 669 dates (baseline)");
  fs::remove_all(dir);
}

// One row for each body of an orbit file in the MPC's format: 10^6 lines
// (1), beside 10^3 lines (0); the bodies are the 1 Ceres line of the tests
// with its semi-major axis and mean anomaly varied. The largest resident
// size of a child so far is reported too: memory stays flat beside the file.
void BM_AtMpcBodies(benchmark::State& state) {
  const fs::path dir = scratch("mpc");
  const std::size_t lines = state.range(0) != 0 ? 1000000 : 1000;
  {
    std::ofstream f(dir / "orbits.txt");
    f << "A header line, passed over\n----------\n";
    // The columns of the format: designation 1, H 9, G 15, epoch 21, M 27,
    // peri 38, node 49, i 60, e 71, n 81, a 93, the readable name 167.
    std::string line(202, ' ');
    const auto put = [&](std::size_t column, std::string_view text) { line.replace(column - 1, text.size(), text); };
    put(1, "00001");
    put(9, " 3.34");
    put(15, " 0.12");
    put(21, "K2669");
    put(38, " 73.29420");
    put(49, " 80.24863");
    put(60, " 10.58803");
    put(71, "0.0796923");
    put(81, " 0.21430445");
    put(167, "(1) Ceres");
    char field[32];
    for (std::size_t k = 0; k < lines; ++k) {
      std::snprintf(field, sizeof field, "%9.5f", static_cast<double>(k % 36000) / 100.0);
      put(27, field);
      std::snprintf(field, sizeof field, "%11.7f", 2.0 + static_cast<double>(k % 1000) / 1000.0);
      put(93, field);
      f << line << '\n';
    }
  }
  time_runs(state, dir, KEST_SEASON_BINARY_PATH, {"--csv", "at", "--mpc", "orbits.txt", "2026-12-10"}, "/dev/null",
            "rows.csv", dir / "rows.csv");
  struct rusage use {};
  ::getrusage(RUSAGE_CHILDREN, &use);
  state.counters["max_rss_MiB"] = static_cast<double>(use.ru_maxrss) / 1024.0;
  state.SetLabel(std::to_string(lines) + " bodies of an orbit file, a row each");
  fs::remove_all(dir);
}

// The dialogue's table of the same 10^6 dates, into kest.prt.
void BM_DialogueMillionLinesSameRows(benchmark::State& state) {
  const fs::path dir = scratch("dialogue");
  {
    std::ofstream in(dir / "answers");
    in << "p\n1\n1\n4\n0\n0\n/\n3\n1000000 0 0.01\n0 0 'bench'\n0 0 0\n0\n";
  }
  time_runs(state, dir, KEST_BINARY_PATH, {}, (dir / "answers").string(), "/dev/null", dir / "kest.prt");
  fs::remove_all(dir);
}

// The seasons and apsides of 100 Mars years (1955 to 2143), elements at each date.
void BM_EventsHundredMarsYears(benchmark::State& state) {
  const kest::TableSet tables{fs::path(KEST_DATA_PATH)};
  const auto bodies = kest::list_bodies(tables);
  kest::SeasonBodyError error;
  const auto mars = kest::make_season_body(tables, *kest::find_body(bodies, "Mars").body, std::nullopt, error);
  std::string e1, e2;
  const double from = *kest::parse_date("1955-04-01", e1), to = *kest::parse_date("2143-01-01", e2);
  std::size_t found = 0;
  for (auto _ : state) {
    const auto events = kest::find_season_events(*mars, from, to, {0.0, 90.0, 180.0, 270.0});
    found = events.size();
    benchmark::DoNotOptimize(events.data());
  }
  state.counters["events"] = static_cast<double>(found);
}

// Whole runs of a program, timed by hand, one run to a repetition: seven
// repetitions, unless --benchmark_repetitions (or BENCHMARK_REPETITIONS)
// asks for another number, which a count set here would override; the
// median stands against a noisy machine. The report file keeps every run,
// for the median of runs interleaved with another benchmark's.
void whole_runs(benchmark::internal::Benchmark* b, bool repetitions_given) {
  b->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1)->DisplayAggregatesOnly(true);
  if (!repetitions_given) b->Repetitions(7);
}

}  // namespace

int main(int argc, char** argv) {
  const char* from_env = std::getenv("BENCHMARK_REPETITIONS");
  const bool repetitions_given =
      (from_env != nullptr && *from_env != '\0') || std::any_of(argv + 1, argv + argc, [](const char* a) {
        return std::string_view(a).starts_with("--benchmark_repetitions=");
      });
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

  whole_runs(benchmark::RegisterBenchmark("BM_SeasonMillionCsvRows",
                                          [](benchmark::State& state) {
                                            season_rows(state, KEST_SEASON_BINARY_PATH, "program");
                                          })
                 ->Arg(1)
                 ->Arg(2)
                 ->Arg(0)
                 ->Arg(4)
                 ->Arg(3),
             repetitions_given);
  whole_runs(benchmark::RegisterBenchmark("BM_SeasonEvents100MarsYears",
                                          [](benchmark::State& state) { season_events(state, KEST_SEASON_BINARY_PATH); })
                 ->Arg(1)
                 ->Arg(0),
             repetitions_given);
  // The same rows through the baseline program, when one is named.
  const char* baseline = std::getenv("KEST_SEASON_BASELINE_BINARY");
  if (baseline != nullptr && *baseline != '\0') {
    whole_runs(benchmark::RegisterBenchmark("BM_SeasonMillionCsvRowsBaseline",
                                            [path = std::string(baseline)](benchmark::State& state) {
                                              season_rows(state, path, "baseline");
                                            })
                   ->Arg(1)
                   ->Arg(0),
               repetitions_given);
  }
  whole_runs(benchmark::RegisterBenchmark("BM_DialogueMillionLinesSameRows", BM_DialogueMillionLinesSameRows),
             repetitions_given);
  whole_runs(benchmark::RegisterBenchmark("BM_SunBesideTableMillionCsvRows", BM_SunBesideTableMillionCsvRows)
                 ->Arg(0)
                 ->Arg(1),
             repetitions_given);
  whole_runs(benchmark::RegisterBenchmark("BM_InsolationMarsYear", BM_InsolationMarsYear)->Arg(0)->Arg(1),
             repetitions_given);
  whole_runs(benchmark::RegisterBenchmark("BM_AtMpcBodies", BM_AtMpcBodies)->Arg(0)->Arg(1), repetitions_given);
  benchmark::RegisterBenchmark("BM_EventsHundredMarsYears", BM_EventsHundredMarsYears)->Unit(benchmark::kMillisecond);

  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
