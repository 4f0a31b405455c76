// The season writers and the events search on extreme values: each 8 bytes
// of the input a double (any bit pattern: NaN, infinities, 1e300,
// subnormals). Rows of such values are laid out as text, CSV and JSON, and
// the text row must keep its columns apart; dates of the span of dates are
// evaluated; and spans of any two values are searched for events when the
// guard lets them through, which must come in time order within the span.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "fuzz_support.hpp"
#include "season/season.hpp"
#include "time/ktime.hpp"

namespace {

using namespace kest;

const std::vector<SeasonBody>& bodies() {
  static const std::vector<SeasonBody> all = [] {
    const TableSet tables{std::filesystem::path(KEST_DATA_PATH)};
    const std::vector<BodyEntry> listed = list_bodies(tables);
    std::vector<SeasonBody> out;
    for (const char* name : {"Mars", "Mercury", "halley", "51 Peg b", "Europa"}) {
      const BodyMatch m = find_body(listed, name);
      if (!m.body) fuzz::fail("a shipped body is missing");
      SeasonBodyError error;
      auto b = make_season_body(tables, *m.body, std::nullopt, error);
      if (!b) fuzz::fail("a shipped body cannot be set up");
      out.push_back(std::move(*b));
    }
    return out;
  }();
  return all;
}

// Fields of a text line, split at blanks.
std::size_t words(const std::string& line) {
  std::size_t n = 0;
  bool in = false;
  for (const char c : line) {
    if (c != ' ' && !in) ++n;
    in = c != ' ';
  }
  return n;
}

void check_writers(const SeasonRow& r) {
  for (const bool mars : {false, true}) {
    season::Writer text(season::OutputFormat::text, mars, false);
    std::string out;
    text.row(out, r);
    FUZZ_CHECK(!out.empty() && out.back() == '\n');
    out.pop_back();
    FUZZ_CHECK(words(out) == (mars ? 9U : 8U));
    for (const auto format : {season::OutputFormat::csv, season::OutputFormat::json}) {
      season::Writer w(format, mars, true);
      std::string rows;
      w.header(rows);
      w.row(rows, r, "Ls=90");
      w.row(rows, r, "perihelion");
      w.footer(rows);
      FUZZ_CHECK(rows.size() < 4096);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const SeasonBody& b = bodies()[data[0] % bodies().size()];
  std::vector<double> x;
  for (std::size_t p = 1; p + 8 <= size; p += 8) {
    double v = 0.0;
    std::memcpy(&v, data + p, 8);
    x.push_back(v);
  }
  while (x.size() < 8) x.push_back(0.0);

  SeasonRow r;
  r.days = x[0];
  r.distance = x[1];
  r.ls = x[2];
  r.sdec = x[3];
  r.true_anomaly = x[4];
  r.flux = x[5];
  r.mars_year = static_cast<std::int32_t>(std::bit_cast<std::uint64_t>(x[6]));
  r.slon = x[7];
  check_writers(r);
  // The Sun at a place on such a row, laid out in each form.
  SolarDay day;
  day.length = x[1];
  day.sun_ra = x[6];
  day.mean_ra = x[0];
  const SunAtPlace sun = sun_at_place(r, day, std::fmod(x[3], 90.0), x[2]);
  const MarsTime m = mars_time(x[0], x[2]);
  for (const auto format : {season::OutputFormat::text, season::OutputFormat::csv, season::OutputFormat::json}) {
    season::SunWriter w(format, true, true, false);
    std::string rows;
    w.header(rows);
    w.row(rows, r.days, sun, &m, x[4]);
    w.footer(rows);
    FUZZ_CHECK(rows.size() < 4096 && rows.back() == '\n');
  }

  // Dates of the span are evaluated, and their rows laid out.
  for (std::size_t i = 0; i < 3; ++i)
    if (in_date_span(x[i])) check_writers(season_row(b, x[i]));

  // A span of any two values: the guard decides, and what is searched
  // comes in order within the span.
  const double from = x[6], to = x[7];
  std::vector<double> angles;
  for (std::size_t i = 8; i < x.size() && angles.size() < 6; ++i)
    if (std::isfinite(x[i])) angles.push_back(std::fmod(std::fmod(x[i], 360.0) + 360.0, 360.0));
  if (angles.empty()) angles.push_back(0.0);
  const double bound = season_event_bound(b, from, to, angles.size());
  if (bound <= 200.0 && in_date_span(from) && in_date_span(to)) {
    double last = -HUGE_VAL;
    std::size_t n = 0;
    for_each_season_event(b, from, to, angles, [&](const SeasonEvent& e) {
      FUZZ_CHECK(e.row.days >= from && e.row.days <= to);
      FUZZ_CHECK(e.row.days >= last);
      last = e.row.days;
      ++n;
      return true;
    });
    FUZZ_CHECK(static_cast<double>(n) <= bound);
  }
  return 0;
}
