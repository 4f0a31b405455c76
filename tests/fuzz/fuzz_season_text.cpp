// The texts the season command takes and writes, on arbitrary bytes: the
// input read as a date, a step and a body name (never a crash, a message
// that stays short and printable), and each 8 bytes of it taken as a double
// written in its shortest form, which must equal std::to_chars and read
// back bit for bit, and as an instant written as an ISO date.
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz_support.hpp"
#include "time/ktime.hpp"

namespace {

using namespace kest;

void check_message(const std::string& error) {
  FUZZ_CHECK(error.size() < 400);
  for (const char c : error) FUZZ_CHECK(c >= 0x20 && c < 0x7F);
}

void check_number(double x) {
  char mine[SHORTEST_MAX];
  char* const end = write_shortest(mine, x);
  const std::string_view text(mine, static_cast<std::size_t>(end - mine));
  FUZZ_CHECK(text.size() <= 25);
  if (std::isnan(x)) {
    FUZZ_CHECK(text == "nan");
    return;
  }
  char ref[64];
  const auto r = std::to_chars(ref, ref + sizeof ref, x);
  FUZZ_CHECK(text == std::string_view(ref, static_cast<std::size_t>(r.ptr - ref)));
  if (!std::isfinite(x)) return;
  double back = 0.0;
  const auto b = std::from_chars(text.data(), text.data() + text.size(), back);
  FUZZ_CHECK(b.ec == std::errc() && b.ptr == text.data() + text.size());
  FUZZ_CHECK(std::bit_cast<std::uint64_t>(back) == std::bit_cast<std::uint64_t>(x));
}

void check_date_text(double days) {
  IsoDateWriter w;
  for (int decimals = 0; decimals <= 9; decimals += 3) {
    char buf[IsoDateWriter::MAX];
    const char* end = w.write(buf, days, decimals);
    FUZZ_CHECK(end > buf && end <= buf + IsoDateWriter::MAX);
    FUZZ_CHECK(std::string_view(buf, static_cast<std::size_t>(end - buf)) == iso_date(days, decimals));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string error;
  if (!parse_date(text, error)) check_message(error);
  error.clear();
  if (!parse_step(text, error)) check_message(error);
  check_message(quoted_text(text));
  for (std::size_t i = 0; i + 8 <= size; i += 8) {
    double x = 0.0;
    std::memcpy(&x, data + i, 8);
    check_number(x);
    check_date_text(x);
  }
  return 0;
}
