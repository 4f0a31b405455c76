// The orbit file reader on arbitrary bytes taken as lines. Each line is an
// orbit, a line passed over or a damaged line with a reason, and a line not
// read leaves the orbit as it was. What an orbit line gives holds together:
// finite elements, H and G finite or NaN, the epoch its columns 21-25 name
// (a date of 1800 to 2099), and a name and designation of printable ASCII.
#include <cmath>
#include <cstdint>
#include <string>

#include "elements/kelements.hpp"
#include "fuzz_support.hpp"

namespace {

using namespace kest;

bool printable(const std::string& s) {
  if (s.empty()) return false;
  for (const char c : s) {
    if (c < ' ' || c >= '\x7f') return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kest::fuzz::CountingSource src(std::string(reinterpret_cast<const char*>(data), size));
  std::string line;
  while (src.next_line(line)) {
    MpcOrbit o;
    o.name = "\x01";
    std::string error;
    const MpcLine kind = read_mpc_line(line, o, error);
    if (kind != MpcLine::orbit) {
      FUZZ_CHECK(o.name == "\x01");
      FUZZ_CHECK((kind == MpcLine::damaged) == !error.empty());
      continue;
    }
    FUZZ_CHECK(error.empty());
    FUZZ_CHECK(line.size() >= 103);
    for (const double x : {o.epoch, o.M, o.peri, o.node, o.i, o.e, o.a}) FUZZ_CHECK(std::isfinite(x));
    FUZZ_CHECK(!std::isinf(o.H) && !std::isinf(o.G));
    const std::optional<double> epoch = unpack_epoch(std::string_view(line).substr(20, 5));
    FUZZ_CHECK(epoch.has_value() && *epoch == o.epoch);
    FUZZ_CHECK(o.epoch >= -73048.5 && o.epoch < 36524.5);  // 1800-01-01 to 2100-01-01
    FUZZ_CHECK(printable(o.name) && printable(o.designation));
  }
  return 0;
}
