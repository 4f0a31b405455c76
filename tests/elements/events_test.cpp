// The season events of a span, handed out as they are found: in time
// order, the same whatever the span is cut into, stopped when asked, and
// nothing for spans without a usable orbit.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "elements/kelements.hpp"
#include "time/ktime.hpp"
#include "elements_fixture.hpp"
#include "session.hpp"

namespace kest {
namespace {

SeasonBody body(const char* name) { return testing_elements::shipped_body(name); }

std::vector<SeasonEvent> streamed(const SeasonBody& b, double from, double to, const std::vector<double>& ls) {
  std::vector<SeasonEvent> out;
  EXPECT_TRUE(for_each_season_event(b, from, to, ls, [&](const SeasonEvent& e) {
    out.push_back(e);
    return true;
  }));
  return out;
}

// A span cut in pieces gives the events of the whole span: events go out
// a few orbits behind the search, so a fault in what is held back (an event
// lost, doubled or out of order at a hand-over) shows against pieces
// searched on their own.
TEST(SeasonEvents, StreamedEventsEqualThoseOfPiecesOfTheSpan) {
  const struct {
    const char* name;
    double from, to;
    std::vector<double> ls;
    std::vector<double> cuts;  // where the span is cut
  } rows[] = {
      {"Mars", -3652.5, 36525.0, {0.0, 90.0, 180.0, 270.0}, {1000.25, 9999.75, 20000.125}},
      {"Mercury", 0.0, 3652.5, {0.0, 45.5, 359.9}, {300.3, 1700.7, 1701.1}},
      {"halley", -36525.0, 36525.0, {0.0, 180.0}, {-1.5, 17000.0}},
      {"51 Peg b", 0.0, 400.0, {90.0}, {33.3, 200.0}},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    const SeasonBody b = body(r.name);
    const std::vector<SeasonEvent> whole = streamed(b, r.from, r.to, r.ls);
    std::vector<SeasonEvent> pieces;
    double a = r.from;
    for (std::size_t k = 0; k <= r.cuts.size(); ++k) {
      const double z = k < r.cuts.size() ? r.cuts[k] : r.to;
      for (const SeasonEvent& e : streamed(b, a, z, r.ls))
        if (e.row.days > a || k == 0) pieces.push_back(e);
      a = z;
    }
    ASSERT_EQ(whole.size(), pieces.size());
    const double period = b.model.at(0.0).PERIOD;
    // About one event of each kind an orbit.
    EXPECT_NEAR(static_cast<double>(whole.size()), (r.to - r.from) / period * static_cast<double>(r.ls.size() + 2),
                static_cast<double>(r.ls.size() + 2) * 1.5);
    for (std::size_t i = 0; i < whole.size(); ++i) {
      EXPECT_EQ(whole[i].what, pieces[i].what) << i;
      EXPECT_NEAR(whole[i].row.days, pieces[i].row.days, 1e-6) << i;
      EXPECT_TRUE(whole[i].row.days >= r.from && whole[i].row.days <= r.to);
      if (i > 0) {
        EXPECT_LE(whole[i - 1].row.days, whole[i].row.days) << i;
      }
    }
  }
}

TEST(SeasonEvents, TheSearchStopsWhenAsked) {
  const SeasonBody b = body("Mercury");
  int given = 0;
  // The whole span of dates: a search that did not stop would run on.
  EXPECT_FALSE(for_each_season_event(b, FIRST_DATE, END_DATE, {0.0}, [&](const SeasonEvent&) { return ++given < 3; }));
  EXPECT_EQ(given, 3);
}

// Spans without a usable orbit hold no events, and no double reaches an
// integer conversion (the sanitizer build checks float-cast-overflow).
TEST(SeasonEvents, SpansWithoutAUsableOrbit) {
  const SeasonBody b = body("Jupiter");
  const double nan = std::nan(""), big = 1e300;
  const struct {
    double from, to;
    bool unbounded;  // the guard must refuse the span
  } rows[] = {{big, big, true}, {-big, big, true}, {nan, 0.0, true}, {0.0, nan, true}, {0.0, HUGE_VAL, true}, {10.0, 0.0, false}};
  for (const auto& r : rows) {
    EXPECT_TRUE(find_season_events(b, r.from, r.to, {0.0}).empty()) << r.from << " " << r.to;
    if (r.unbounded) {
      EXPECT_FALSE(season_event_bound(b, r.from, r.to, 4) <= 1e7) << r.from << " " << r.to;
    }
  }
  // A bound, and a close one, of a real span.
  const auto found = static_cast<double>(find_season_events(b, 0.0, 36525.0, {0.0, 90.0, 180.0, 270.0}).size());
  EXPECT_GE(season_event_bound(b, 0.0, 36525.0, 4), found);
  EXPECT_LT(season_event_bound(b, 0.0, 36525.0, 4), 1.5 * found);
}

}  // namespace
}  // namespace kest
