// The free-format reader on arbitrary bytes taken as lines. The lists read
// in turn are those of the program's reads (keyboard answers, element table
// lines) and one of every kind of item; the first byte picks where the
// rotation starts and how it steps. Every read takes at least one line (a
// read of an empty list exactly one) or meets the end of the input. Every
// real the reader yields must come back bit for bit through the free-format
// writer's text, and every integer through its digits.
#include <bit>
#include <cmath>
#include <cstdint>
#include <string>

#include "fuzz_support.hpp"

namespace {

using namespace kest;

struct Vars {
  std::int32_t i1 = 0, i2 = 0, i3 = 0;
  double d[6] = {};
  float f1 = 0.0f, f2 = 0.0f;
  FixedText<1> t1;
  FixedText<5> t5;
  FixedText<12> t12;
  FixedText<25> t25;
  FixedText<28> t28;
  FixedText<30> t30;
};

void check_round_trip(double x) {
  double y = -1.0;
  FUZZ_CHECK(std::isfinite(x));
  FUZZ_CHECK(parse_real(real_text(x), y));
  FUZZ_CHECK(std::bit_cast<std::uint64_t>(x) == std::bit_cast<std::uint64_t>(y));
}

void check_round_trip(float x) {
  float y = -1.0f;
  FUZZ_CHECK(std::isfinite(x));
  FUZZ_CHECK(parse_real(real_text(x), y));
  FUZZ_CHECK(std::bit_cast<std::uint32_t>(x) == std::bit_cast<std::uint32_t>(y));
}

void check_round_trip(std::int32_t v) {
  std::int32_t y = v == 0 ? 1 : 0;
  const std::string line = free_line({v});
  FUZZ_CHECK(line.size() >= 2 && line[0] == ' ' && line[1] == ' ');
  FUZZ_CHECK(parse_int32(std::string_view(line).substr(2), y) && y == v);
}

ReadStatus read_list(LineSource& src, std::string& line, Vars& v, unsigned which) {
  auto& d = v.d;
  switch (which % 12) {
    case 0: {  // planet line: title and six values
      const Item it[] = {v.t25, d[0], d[1], d[2], d[3], d[4], d[5]};
      return read_free_lines(src, line, it, std::size(it));
    }
    case 1: {  // rates line: tag and six values
      const Item it[] = {v.t5, d[0], d[1], d[2], d[3], d[4], d[5]};
      return read_free_lines(src, line, it, std::size(it));
    }
    case 2: {  // spin-axis line
      const Item it[] = {v.t12, d[0], d[1], d[2], d[3], d[4], d[5]};
      return read_free_lines(src, line, it, std::size(it));
    }
    case 3: {  // one code or number (menu, item, record, flags)
      const Item it[] = {v.i1};
      return read_free_lines(src, line, it, std::size(it));
    }
    case 4: {  // print destination
      const Item it[] = {v.t1};
      return read_free_lines(src, line, it, std::size(it));
    }
    case 5: {  // ephemeris dates, then spacecraft and title
      const Item it[] = {v.i1, d[0], d[1]};
      return read_free_lines(src, line, it, std::size(it));
    }
    case 6: {
      const Item it[] = {v.f1, v.f2, v.t28};
      return read_free_lines(src, line, it, std::size(it));
    }
    case 7: {  // comet date; small-body heading
      const Item it[] = {v.i1, v.i2, d[0]};
      return read_free_lines(src, line, it, std::size(it));
    }
    case 8: {
      const Item it[] = {v.i3, v.t25, d[1]};
      return read_free_lines(src, line, it, std::size(it));
    }
    case 9: {  // state file name; small-body label and value
      const Item it[] = {v.t30};
      if (read_free_lines(src, line, it, std::size(it)) == ReadStatus::end_of_file) return ReadStatus::end_of_file;
      const Item it2[] = {v.t12, d[2]};
      return read_free_lines(src, line, it2, std::size(it2));
    }
    case 10: {  // a line passed over
      return read_free_lines(src, line, nullptr, 0);
    }
    default: {  // every kind in one list
      const Item it[] = {v.i1, d[0], v.f1, v.t12, v.t1, v.i2, d[1], v.t30, v.f2, v.i3};
      return read_free_lines(src, line, it, std::size(it));
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const unsigned start = data[0] % 12;
  const unsigned step = 1 + data[0] / 12 % 11;
  kest::fuzz::CountingSource src(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
  std::string line;
  Vars v;
  // Every read consumes a line or meets the end, so this ends; the bound
  // only guards against a reader that would not.
  for (unsigned k = 0; k < 100000; ++k) {
    const unsigned which = (start + k * step) % 12;
    const std::size_t before = src.count;
    const ReadStatus st = read_list(src, line, v, which);
    if (st != ReadStatus::end_of_file) FUZZ_CHECK(src.count > before);
    if (which == 10 && st == ReadStatus::ok) FUZZ_CHECK(src.count == before + 1);
    for (double x : v.d) check_round_trip(x);
    check_round_trip(v.f1);
    check_round_trip(v.f2);
    check_round_trip(v.i1);
    check_round_trip(v.i2);
    check_round_trip(v.i3);
    if (st == ReadStatus::end_of_file) return 0;
  }
  kest::fuzz::fail("the reader did not reach the end of its input");
}
