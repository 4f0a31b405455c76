// Bodies given on arbitrary text: the first line as --elements keys, the
// rest as a CSV of bodies and, again, as a catalogue of poles. A body that is
// set up has finite rows at any date, with Ls in [0, 360) or NaN without a
// pole; one that is refused says why.
#include <cmath>
#include <cstdint>
#include <string>

#include "elements/kelements.hpp"
#include "fuzz_support.hpp"

namespace {

using namespace kest;

void rows_hold_together(const GivenBody& g) {
  SeasonBodyError error;
  const auto b = make_season_body(g, error);
  FUZZ_CHECK(b.has_value() == error.message.empty());
  if (!b) return;
  for (const double d : {-1e5, 0.0, 9839.5, 1e5}) {
    const SeasonRow r = season_row(*b, d);
    FUZZ_CHECK(std::isfinite(r.distance) && r.distance > 0.0 && std::isfinite(r.flux));
    if (b->has_pole) {
      FUZZ_CHECK(r.ls >= 0.0 && r.ls < 360.0 && std::fabs(r.sdec) <= 90.0);
    } else {
      FUZZ_CHECK(std::isnan(r.ls) && std::isnan(r.sdec));
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::size_t end = text.find('\n');
  GivenBody g;
  g.name = "x";
  std::string error;
  if (set_given_keys(g, text.substr(0, end), error)) {
    rows_hold_together(g);
  } else {
    FUZZ_CHECK(!error.empty());
  }
  const std::string rest = end == std::string::npos ? std::string() : text.substr(end + 1);
  kest::fuzz::CountingSource table_src(rest);
  BodyTable table(table_src);
  GivenBody row;
  int rows = 0;
  while (table.next(row, error) && ++rows < 8) rows_hold_together(row);
  kest::fuzz::CountingSource pole_src(rest);
  PoleCatalogue poles;
  if (poles.read(pole_src, error)) {
    GivenBody probe = g;
    poles.apply(probe);
  }
  return 0;
}
