// kest-season's speed: 10^6 CSV rows of Mars written to a file by the
// program, beside the dialogue's ephemeris table of the same rows in the
// same run; and the events of 100 Mars years, computed in the process.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "season/season.hpp"

#ifndef KEST_SEASON_BINARY_PATH
#error "KEST_SEASON_BINARY_PATH must name the program"
#endif

namespace {

namespace fs = std::filesystem;

fs::path scratch() {
  const fs::path dir = fs::temp_directory_path() / ("kest-season-bench-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  for (const char* t : {"planelem.tab", "spinaxis.tab"})
    fs::copy_file(fs::path(KEST_DATA_PATH) / t, dir / t, fs::copy_options::overwrite_existing);
  return dir;
}

// Runs a program in dir with the given arguments, standard input from a
// file (or /dev/null) and standard output to a file; returns the seconds.
// The output of the run before, named by made, is removed first, outside
// the time: freeing the last run's 130 MB is not this run's work.
double timed_run(const fs::path& dir, const std::string& program, const std::vector<std::string>& args,
                 const std::string& input, const std::string& output, const fs::path& made) {
  fs::remove(made);
  const auto t0 = std::chrono::steady_clock::now();
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::chdir(dir.c_str()) != 0) ::_exit(126);
    const int in = ::open(input.c_str(), O_RDONLY);
    const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(in, 0);
    ::dup2(out, 1);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Whole runs of a program, timed by hand: seven each, one at a time; the
// median stands against a noisy machine.
void seven_runs(benchmark::internal::Benchmark* b) {
  b->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(7)->ReportAggregatesOnly(true);
}

// Rows from J2000.0 on, 0.01 day apart: --epoch 2000 freezes the elements
// as the dialogue does; without it they are evaluated at each date.
void BM_SeasonMillionCsvRows(benchmark::State& state) {
  const fs::path dir = scratch();
  const bool frozen = state.range(0) != 0;
  std::vector<std::string> args = {"--csv", "table", "Mars", "--from", "J2000+0", "--to", "J2000+9999.99",
                                   "--step", "0.01"};
  if (frozen) args.insert(args.begin(), {"--epoch", "2000"});
  for (auto _ : state) state.SetIterationTime(timed_run(dir, KEST_SEASON_BINARY_PATH, args, "/dev/null", "rows.csv", dir / "rows.csv"));
  state.SetLabel(frozen ? "frozen epoch" : "elements at each date");
  fs::remove_all(dir);
}
BENCHMARK(BM_SeasonMillionCsvRows)->Arg(1)->Arg(0)->Apply(seven_runs);

// The dialogue's table of the same 10^6 dates, into kest.prt.
void BM_DialogueMillionLinesSameRows(benchmark::State& state) {
  const fs::path dir = scratch();
  {
    std::ofstream in(dir / "answers");
    in << "p\n1\n1\n4\n0\n0\n/\n3\n1000000 0 0.01\n0 0 'bench'\n0 0 0\n0\n";
  }
  for (auto _ : state)
    state.SetIterationTime(timed_run(dir, KEST_BINARY_PATH, {}, (dir / "answers").string(), "/dev/null", dir / "kest.prt"));
  fs::remove_all(dir);
}
BENCHMARK(BM_DialogueMillionLinesSameRows)->Apply(seven_runs);

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
BENCHMARK(BM_EventsHundredMarsYears)->Unit(benchmark::kMillisecond);

}  // namespace
