// Text I/O throughput: the ephemeris data line through the formatted
// writer, and a free-format read of a line of three numbers.
#include <benchmark/benchmark.h>

#include <string>

#include "textio/textio.hpp"

namespace {

void BM_EphemerisLineFormattedWrite(benchmark::State& state) {
  static const kest::Format data{"(1X,I4,A4,F6.2,F7.1,F10.6,1X,2F7.2,F10.2,1X,A4,I5)"};
  std::string buf;
  buf.reserve(1 << 20);
  double djul = 0.0;
  for (auto _ : state) {
    if (buf.size() > (1 << 19)) buf.clear();
    const kest::Value v[] = {std::int32_t{2024}, "MAR", 15.0f + static_cast<float>(djul) * 1e-6f, 1234.5f,
                             1.381234567 + djul * 1e-9, 251.04567 + djul * 1e-7, -24.987654, 8766.25 + djul,
                             "FRI", std::int32_t{75}};
    kest::format_append(buf, data, v, 10);
    djul += 0.37;
  }
  benchmark::DoNotOptimize(buf.data());
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EphemerisLineFormattedWrite);

// A source that hands out the same line again and again.
class Repeat final : public kest::LineSource {
 public:
  bool next_line(std::string& line) override {
    line.assign("  58  8766.25, 0.5\n", 18);
    return true;
  }
};

void BM_FreeReadThreeNumbers(benchmark::State& state) {
  Repeat src;
  std::string line;
  std::int32_t n = 0;
  double d = 0, s = 0;
  const kest::Item items[] = {n, d, s};
  for (auto _ : state) {
    benchmark::DoNotOptimize(kest::read_free_lines(src, line, items, 3));
  }
  benchmark::DoNotOptimize(d + s + n);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FreeReadThreeNumbers);

}  // namespace
