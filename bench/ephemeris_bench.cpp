// Ephemeris throughput: a 1,000,000-line table written to kest.prt by the
// real program with its answers piped in (wall time and peak memory), and
// the per-line routines alone. With KEST_BASELINE_BINARY naming another
// build of the program, the same table is also run through it, in the same
// benchmark run, as BM_EphemerisMillionLinesThroughTheBaseline.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "orbit/korbit.hpp"
#include "record/kestcm.hpp"
#include "time/ktime.hpp"

#ifndef KEST_BINARY_PATH
#error "KEST_BINARY_PATH must name the program"
#endif

namespace {

namespace fs = std::filesystem;

// Runs the program at `binary` once per iteration on Mars at epoch 0 with
// its own pole and a table of state.range(0) lines, 0.01 day apart.
void ephemeris_through(benchmark::State& state, const std::string& binary, const char* tag) {
  const fs::path dir = fs::temp_directory_path() / ("kest-bench-" + std::to_string(::getpid()) + "-" + tag);
  fs::create_directories(dir);
  for (const char* t : {"planelem.tab", "spinaxis.tab"})
    fs::copy_file(fs::path(KEST_DATA_PATH) / t, dir / t, fs::copy_options::overwrite_existing);
  const long lines = state.range(0);
  {
    std::ofstream in(dir / "answers");
    // Mars at epoch 0 with its own pole, then the table, then back and quit.
    in << "p\n1\n1\n4\n0\n0\n/\n3\n" << lines << " 0 0.01\n0 0 'bench'\n0 0 0\n0\n";
  }
  long max_rss_kb = 0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
      if (::chdir(dir.c_str()) != 0) ::_exit(126);
      const int in = ::open("answers", O_RDONLY);
      const int out = ::open("/dev/null", O_WRONLY);
      ::dup2(in, 0);
      ::dup2(out, 1);
      ::execl(binary.c_str(), "kest", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    int status = 0;
    struct rusage ru {};
    ::wait4(pid, &status, 0, &ru);
    const auto t1 = std::chrono::steady_clock::now();
    state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
    max_rss_kb = std::max(max_rss_kb, static_cast<long>(ru.ru_maxrss));
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) state.SkipWithError(("the program failed: " + binary).c_str());
  }
  state.SetLabel(binary);
  state.counters["peak_rss_kB"] = static_cast<double>(max_rss_kb);
  state.counters["ns_per_line"] =
      benchmark::Counter(static_cast<double>(lines) * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  fs::remove_all(dir);
}

void BM_EphemerisMillionLinesThroughTheProgram(benchmark::State& state) {
  ephemeris_through(state, KEST_BINARY_PATH, "program");
}
BENCHMARK(BM_EphemerisMillionLinesThroughTheProgram)
    ->Arg(1000000)
    ->Arg(100000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

// The same work through the baseline program, registered only when
// KEST_BASELINE_BINARY names one.
const bool baseline_registered = [] {
  const char* baseline = std::getenv("KEST_BASELINE_BINARY");
  if (baseline == nullptr || *baseline == '\0') return false;
  benchmark::RegisterBenchmark(
      "BM_EphemerisMillionLinesThroughTheBaseline",
      [path = std::string(baseline)](benchmark::State& state) { ephemeris_through(state, path, "baseline"); })
      ->Arg(1000000)
      ->Arg(100000)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond)
      ->Iterations(5);
  return true;
}();

void BM_orbit8(benchmark::State& state) {
  double t = 0.0;
  double r = 0.0;
  kest::Vec3 pos;
  for (auto _ : state) {
    kest::orbit8(1.52371034, 686.99157715, 0.0933941, t, r, pos);
    benchmark::DoNotOptimize(pos);
    t += 0.37;
  }
}
BENCHMARK(BM_orbit8);

void BM_caldate(benchmark::State& state) {
  float day = 8766.0f;
  std::int32_t y = 0, m = 0, d = 0, doy = 0;
  float f = 0.0f;
  kest::FixedText<3> mon, wd;
  for (auto _ : state) {
    kest::caldate(day, y, m, d, f, doy, mon, wd);
    benchmark::DoNotOptimize(f);
    day += 0.37f;
    if (day > 20000.0f) day = 8766.0f;
  }
}
BENCHMARK(BM_caldate);

}  // namespace
