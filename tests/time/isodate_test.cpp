// ISO dates and steps: the accepted forms, the refusals, and the
// ISO text of an instant; UTC dates and their conversion to TT.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <erfa.h>

#include "time/ktime.hpp"

namespace kest {
namespace {

// Days from J2000.0 of each form; the first three name one instant.
TEST(SeasonDates, AcceptedForms) {
  struct SeasonRow {
    const char* text;
    double days;
  };
  const SeasonRow rows[] = {
      {"2026-12-09", 9838.5},
      {"JD2461383.5", 9838.5},
      {"J2000+9838.5", 9838.5},
      {"2026-12-09T06:30", 9838.5 + 6.5 / 24.0},
      {"2000-01-01T12:00:00", 0.0},
      {"2000-01-01T12:00:30.5", 30.5 / 86400.0},
      {"J2000", 0.0},
      {"J2000-12", -12.0},
      {"1582-10-15", 2299161 - 2451545.0 - 0.5},  // first Gregorian day
      {"1582-10-04", 2299160 - 2451545.0 - 0.5},  // last Julian day
      {"0000-01-01", 1721058 - 2451545.0 - 0.5},  // 1 BC, Julian calendar
      {"-0001-12-31", 1721057 - 2451545.0 - 0.5},
      {"2024-02-29", 8824.5},
  };
  for (const SeasonRow& r : rows) {
    std::string error;
    const auto d = parse_date(r.text, error);
    ASSERT_TRUE(d.has_value()) << r.text << ": " << error;
    EXPECT_NEAR(*d, r.days, 1e-9) << r.text;
  }
}

TEST(SeasonDates, Refusals) {
  struct SeasonRow {
    const char* text;
    const char* says;  // a piece of the message
  };
  const SeasonRow rows[] = {
      {"9838.5", "a bare number"},  {"2461383.5", "a bare number"},    {"2023-02-29", "no such day"},
      {"1582-10-10", "no such day"}, {"2026-13-01", "no month 13"},    {"2026-12-09T24:00", "out of range"},
      {"2026-12-09T06", "hh:mm"},    {"JD", "not a Julian date"},      {"JDx", "not a Julian date"},
      {"J2000+", "days from J2000.0"}, {"J2000*3", "days from J2000.0"}, {"yesterday", "not a date"},
      {"", "not a date"},            {"2026-1-9", "not a date"},       {"JDnan", "not a Julian date"},
      // Signed fields and exponents once shifted the time of day.
      {"2026-12-09T-1:00", "hh:mm"}, {"2026-12-09T00:-5", "hh:mm"},  {"2026-12-09T12:00:1e1", "hh:mm"},
      {"2026-12-09T12:00:+5", "hh:mm"}, {"2026-12-09T12:00:5", "hh:mm"}, {"2026-12-09T12:00:05.", "hh:mm"},
      {"2026-+1-09", "not a date"},  {"JD0x10", "not a Julian date"}, {"J2000+0x1p3", "days from J2000.0"},
      {"JDinf", "not a Julian date"}, {"JD 5", "not a Julian date"},
  };
  for (const SeasonRow& r : rows) {
    std::string error;
    EXPECT_FALSE(parse_date(r.text, error).has_value()) << r.text;
    EXPECT_NE(error.find(r.says), std::string::npos) << r.text << ": " << error;
  }
}

// The span of dates, -4712-01-01T00:00 up to 10000-01-01T00:00, in each
// form: the ends are Julian dates -0.5 and 5373484.5. Values beyond it once
// reached integer conversions and fixed buffers downstream.
TEST(SeasonDates, SpanOfDates) {
  const struct {
    const char* text;
    bool taken;
  } rows[] = {
      {"-4712-01-01", true},          {"-4713-12-31", false},        {"9999-12-31T23:59:59.999", true},
      {"10000-01-01", false},         {"-1000000-01-01", false},     {"JD-0.5", true},
      {"JD-0.5000001", false},        {"JD5373484.4999", true},      {"JD5373484.5", false},
      {"JD1e300", false},             {"J2000-2451545.5", true},     {"J2000-2451545.6", false},
      {"J2000+2921939.4", true},      {"J2000+2921939.5", false},    {"J2000+1e300", false},
  };
  for (const auto& r : rows) {
    std::string error;
    const auto d = parse_date(r.text, error);
    EXPECT_EQ(d.has_value(), r.taken) << r.text << ": " << error;
    if (d) {
      EXPECT_TRUE(in_date_span(*d)) << r.text;
      EXPECT_EQ(parse_date(iso_date(*d, 3), error).has_value(), true) << iso_date(*d, 3);
    } else {
      EXPECT_NE(error.find("-4712"), std::string::npos) << r.text << ": " << error;
    }
  }
  std::string error;
  EXPECT_EQ(*parse_date("JD-0.5", error), FIRST_DATE);
  EXPECT_EQ(*parse_date("-4712-01-01", error), FIRST_DATE);
  EXPECT_FALSE(in_date_span(std::nan("")));
}

// A table asked to end at a date of its grid ends there: grids of whole
// seconds, at random, from dates written as ISO texts. Counted as
// floor(span / step + 1e-9) + 1, the --to row of 2014-03-06T00:17 to
// 2014-08-07T20:47 by 45 s was missing.
TEST(SeasonDates, TablesEndAtTheirLastDateOnTheGrid) {
  std::string error;
  EXPECT_EQ(grid_rows(*parse_date("2014-03-06T00:17:00", error), *parse_date("2014-08-07T20:47:00", error), 45.0 / 86400.0),
            297321.0);
  std::uint64_t seed = 20261210;
  const auto next = [&seed](std::uint64_t n) {
    seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    return (seed >> 33) % n;
  };
  for (int i = 0; i < 20000; ++i) {
    // A first instant of whole seconds between the years 1000 and 3000.
    const auto first_s = static_cast<std::int64_t>(next(2000ULL * 365 * 86400)) - 1000LL * 365 * 86400;
    const auto step_s = static_cast<std::int64_t>(1 + next(i % 2 == 0 ? 120 : 864000));
    const auto n = static_cast<std::int64_t>(next(5000));
    const auto as_date = [](std::int64_t s) { return iso_date(static_cast<double>(s) / 86400.0 - 0.5); };
    const std::string from = as_date(first_s), to = as_date(first_s + n * step_s);
    const double a = *parse_date(from, error), b = *parse_date(to, error);
    const double step = static_cast<double>(step_s) / 86400.0;
    ASSERT_EQ(grid_rows(a, b, step), static_cast<double>(n + 1)) << from << " to " << to << " by " << step_s << " s";
    // Off the grid by a second, the last row is the one before.
    if (step_s > 2) {
      ASSERT_EQ(grid_rows(a, b - 1.0 / 86400.0, step), static_cast<double>(n)) << from << " to " << to;
    }
  }
}

TEST(SeasonDates, Steps) {
  struct SeasonRow {
    const char* text;
    double days;  // 0: refused
  };
  const SeasonRow rows[] = {{"10d", 10.0}, {"0.1d", 0.1},      {"6h", 0.25}, {"30m", 30.0 / 1440.0}, {"45s", 45.0 / 86400.0},
                      {"1y", 365.25}, {"2.5", 2.5},      {"0", 0.0},   {"-1d", 0.0},           {"0h", 0.0},
                      {"d", 0.0},     {"1w", 0.0},       {"inf", 0.0}, {"", 0.0}};
  for (const SeasonRow& r : rows) {
    std::string error;
    const auto s = parse_step(r.text, error);
    EXPECT_EQ(s.has_value(), r.days > 0.0) << r.text;
    if (s) {
      EXPECT_NEAR(*s, r.days, 1e-15) << r.text;
    }
  }
}

// The ISO text of an instant, rounded to the shown digit, and back.
TEST(SeasonDates, IsoTextAndRoundTrip) {
  EXPECT_EQ(iso_date(9838.5), "2026-12-09T00:00:00");
  EXPECT_EQ(iso_date(0.0, 3), "2000-01-01T12:00:00.000");
  EXPECT_EQ(iso_date(-0.5 - 0.6 / 86400.0), "1999-12-31T23:59:59");
  EXPECT_EQ(iso_date(0.5 - 0.2 / 86400.0), "2000-01-02T00:00:00");  // rounds up into the next day
  EXPECT_EQ(iso_date(1721058 - 2451545.0 - 0.5), "0000-01-01T00:00:00");
  EXPECT_EQ(iso_date(1721057 - 2451545.0 - 0.5), "-0001-12-31T00:00:00");
  for (double d = -800000.0; d < 800000.0; d += 7919.123) {
    std::string error;
    const auto back = parse_date(iso_date(d, 3), error);
    ASSERT_TRUE(back.has_value()) << iso_date(d, 3) << ": " << error;
    EXPECT_NEAR(*back, d, 0.0006 / 86400.0) << iso_date(d, 3);
  }
}

// A writer used for a whole run keeps the calendar day it last wrote: it
// must give every instant the text a fresh writer gives, across midnights,
// days rounded up into the next, runs that go back in time and BC years.
TEST(SeasonDates, WriterReusedOverARun) {
  const struct {
    double first, step;
    int count, decimals;
  } runs[] = {
      {-0.6, 0.01, 300, 3},                        // across two midnights
      {0.5 - 0.2 / 86400.0, 0.1 / 86400.0, 30, 0},  // seconds rounded into the next day
      {0.5 - 0.0004 / 86400.0, 0.0001 / 86400.0, 12, 3},
      {9838.5, -0.37, 200, 0},                      // backwards
      {1721057 - 2451545.0 - 3.0, 0.25, 40, 0},      // year 0 and -1
      {-1e6, 1234.567, 500, 9},
  };
  for (const auto& r : runs) {
    IsoDateWriter reused;
    for (int i = 0; i < r.count; ++i) {
      const double days = r.first + r.step * i;
      char buf[IsoDateWriter::MAX];
      const std::string text(buf, reused.write(buf, days, r.decimals));
      ASSERT_EQ(text, iso_date(days, r.decimals)) << "run from " << r.first << ", row " << i;
    }
  }
}

// The proleptic Gregorian calendar against ERFA's own (eraCal2jd,
// eraJd2cal), over the whole span of dates: each text read names the
// instant ERFA gives, and each instant written is ERFA's date. The two
// calendars meet at 1582 October 15 and part by 10 days a day before it.
TEST(SeasonDates, ProlepticGregorianCalendar) {
  constexpr Calendar G = Calendar::proleptic_gregorian;
  // (Years before -4712 are refused in either calendar.)
  for (double d = -2451545.0 + 400.0; d < 2921939.0; d += 3931.37) {
    int y = 0, m = 0, day = 0;
    double fraction = 0.0;
    ASSERT_EQ(eraJd2cal(2451545.0, d, &y, &m, &day, &fraction), 0);
    char text[32];
    std::snprintf(text, sizeof text, "%s%04d-%02d-%02d", y < 0 ? "-" : "", std::abs(y), m, day);
    EXPECT_EQ(iso_date(d, 0, G).substr(0, std::string(text).size()), text) << d;
    double jd0 = 0.0, jd = 0.0;
    ASSERT_EQ(eraCal2jd(y, m, day, &jd0, &jd), 0);
    std::string error;
    const auto back = parse_date(text, error, G);
    ASSERT_TRUE(back.has_value()) << text << ": " << error;
    EXPECT_EQ(*back, jd0 + jd - 2451545.0) << text;
    const auto round = parse_date(iso_date(d, 3, G), error, G);
    ASSERT_TRUE(round.has_value()) << error;
    EXPECT_NEAR(*round, d, 0.0006 / 86400.0);
  }
  std::string error;
  EXPECT_EQ(parse_date("1582-10-15", error, G), parse_date("1582-10-15", error));
  EXPECT_EQ(*parse_date("1582-10-14", error, G), *parse_date("1582-10-04", error));
  EXPECT_FALSE(parse_date("1500-01-10T06:00Z", error, G));  // no UTC before 1960
  EXPECT_EQ(*parse_date("1500-01-10", error, G), *parse_date("1500-01-01", error));
  EXPECT_FALSE(parse_date("1500-02-29", error, G));  // not a leap year there
  EXPECT_TRUE(parse_date("1500-02-29", error));      // a Julian one
  EXPECT_EQ(iso_date(*parse_date("1500-01-01", error), 0, G), "1500-01-10T00:00:00");
}

// ---- UTC ----------------------------------------------------------------------

constexpr double SECOND = 1.0 / 86400.0;  // days

// Each UTC text names the instant of the TT text beside it. The offsets are
// the published table's TAI-UTC plus TT-TAI = 32.184 s: 37 s from 2017
// (69.184 s), 36 s in the leap second that ends 2016; while UTC drifted,
// 3.5401300 s on 1965-01-01 and 4.2131700 + (39887 - 39126) x 0.002592 =
// 6.1856820 s on 1968-02-01.
TEST(UtcDates, SameInstantAsTT) {
  const struct {
    const char *utc, *tt;
  } rows[] = {
      {"2021-02-18T20:55Z", "2021-02-18T20:56:09.184"},      {"2021-02-18T20:55:00.5Z", "2021-02-18T20:56:09.684"},
      {"2021-02-18 20:55 UTC", "2021-02-18T20:56:09.184"},   {"2021-02-18T15:55-05:00", "2021-02-18T20:56:09.184"},
      {"2021-02-19T00:25+03:30", "2021-02-18T20:56:09.184"}, {"2021-02-18T00:30+01:00", "2021-02-17T23:31:09.184"},
      {"2021-02-18 UTC", "2021-02-18T00:01:09.184"},         {"2026-12-09 06:30", "2026-12-09T06:30"},
      {"2016-12-31T23:59:60Z", "2017-01-01T00:01:08.184"},   {"2017-01-01T00:59:60.5+01:00", "2017-01-01T00:01:08.684"},
      {"2017-01-01T00:00Z", "2017-01-01T00:01:09.184"},      {"1972-01-01T00:00:01Z", "1972-01-01T00:00:43.184"},
      {"1965-01-01T00:00Z", "1965-01-01T00:00:35.72413"},    {"1968-02-01T00:00Z", "1968-02-01T00:00:38.369682"},
      {"2150-06-01T00:00Z", "2150-06-01T00:01:09.184"},  // past the table: its last count
  };
  for (const auto& r : rows) {
    std::string error;
    const auto utc = parse_date(r.utc, error);
    ASSERT_TRUE(utc.has_value()) << r.utc << ": " << error;
    EXPECT_NEAR(*utc, *parse_date(r.tt, error), 1e-6 * SECOND) << r.utc;
  }
}

// TT-UTC from the same table, away from its steps (at a step either count
// is right to the rounding of the instant); UTC begins at FIRST_UTC_DATE.
TEST(UtcDates, TTMinusUTCAndTheFirstDate) {
  const struct {
    const char* utc;
    double seconds;
  } rows[] = {{"1960-01-01T00:00Z", 32.184 + 0.9434820},  // 1.4178180 + (36934 - 37300) x 0.001296
              {"1968-02-01T00:00:01Z", 32.184 + 6.1856820}, {"1999-01-01T00:00:01Z", 32.184 + 32.0},
              {"2016-12-31T23:59:59Z", 32.184 + 36.0},      {"2150-06-01T00:00Z", 69.184}};
  std::string error;
  for (const auto& r : rows) EXPECT_NEAR(tt_minus_utc_seconds(*parse_date(r.utc, error)), r.seconds, 1e-6) << r.utc;
  EXPECT_EQ(*parse_date("1960-01-01T00:00Z", error), FIRST_UTC_DATE);
  EXPECT_NEAR(FIRST_UTC_DATE, -14610.5 + (32.184 + 0.9434820) * SECOND, 1e-6 * SECOND);
  const double before = std::nextafter(FIRST_UTC_DATE, -1e9);
  EXPECT_FALSE(has_utc(before));
  EXPECT_TRUE(std::isnan(tt_minus_utc_seconds(before)));
  EXPECT_EQ(iso_utc_date(FIRST_UTC_DATE, 9), "1960-01-01T00:00:00.000000000");
  EXPECT_EQ(iso_utc_date(before) + iso_utc_date(END_DATE) + iso_utc_date(std::nan("")), "");
}

TEST(UtcDates, Refusals) {
  const struct {
    const char* text;
    const char* says;  // a piece of the message
  } rows[] = {
      {"2015-12-31T23:59:60Z", "no leap second is known at the end of 2015-12-31 (UTC)"},
      {"2030-12-31T23:59:60Z", "no leap second is known"},
      {"2017-01-01T00:59:60+02:00", "out of range"},  // 22:59:60 UTC
      {"2016-12-31T23:59:61Z", "out of range"},       {"2016-12-31T23:59:60", "out of range"},  // TT
      {"1961-07-31T23:59:59.97Z", "out of range"},    // that day ended 0.05 s early
      {"1959-12-31T23:59:59Z", "is UTC, which begins in 1960; give it in TT"},
      {"1960-01-01T00:30+01:00", "begins in 1960"},   {"1000-01-01 UTC", "begins in 1960"},
      {"2026-12-09T00:00 PST", "' PST' is not understood"}, {"2026-12-09T00:00Q", "'Q' is not understood"},
      {"2026-12-09T00:00 UTC+1", "' UTC+1' is not"},  {"2026-12-09T00:00UTC", "'UTC' is not"},
      {"2026-12-09T00:00+1", "'+1' is not"},          {"2026-12-09T00:00+24:00", "'+24:00' is out of range"},
      {"2026-12-09x", "'x' is not understood"},       {"2026-12-09Z", "needs a time of day"},
      {"2026-12-09-05:00", "needs a time of day"},    {"9999-12-31T23:59:30Z", "outside the span of dates"},
      {"now+", "'+' after now is not understood"},    {"now+x", "'+x' after now"},
      {"nowz", "'z' after now"},                      {"now+0d", "after now"},
      {"now 10d", "after now"},                       {"now+1e9y", "outside the span of dates"},
  };
  for (const auto& r : rows) {
    std::string error;
    EXPECT_FALSE(parse_date(r.text, error).has_value()) << r.text;
    EXPECT_NE(error.find(r.says), std::string::npos) << r.text << ": " << error;
  }
  // The converter itself, without the calendar check of a text.
  std::string error;
  EXPECT_FALSE(utc_to_tt_days(2021, 2, 29, 0, 0, 0.0, error).has_value());
  EXPECT_EQ(error, "there is no such day in the calendar");
  EXPECT_FALSE(utc_to_tt_days(2021, 2, 18, 12, 0, std::nan(""), error).has_value());
  EXPECT_EQ(error, "the time of day is out of range");
}

// now is the system clock, read here on its own (valid from 2017 on, while
// TT-UTC is 69.184 s).
TEST(UtcDates, Now) {
  const auto us =
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch());
  const double expected = static_cast<double>(us.count()) / 86400e6 + (2440587.5 - 2451545.0) + 69.184 * SECOND;
  std::string error;
  EXPECT_NEAR(now_tt_days(), expected, SECOND);
  EXPECT_NEAR(*parse_date("now", error), expected, SECOND);
  EXPECT_NEAR(*parse_date("now+10d", error) - expected, 10.0, SECOND);
  EXPECT_NEAR(*parse_date("now-6h", error) - expected, -0.25, SECOND);
}

// The UTC text of an instant: leap seconds as :60, rounding carried across
// them, and text -> TT -> text unchanged to the millisecond.
TEST(UtcDates, IsoTextAndRoundTrip) {
  const struct {
    const char* utc;
    int decimals;
    const char* shown;
  } rows[] = {
      {"2016-12-31T23:59:60Z", 0, "2016-12-31T23:59:60"},
      {"2016-12-31T23:59:60.5Z", 1, "2016-12-31T23:59:60.5"},
      {"2016-12-31T23:59:60.9996Z", 3, "2017-01-01T00:00:00.000"},
      {"2016-12-31T23:59:59.9996Z", 3, "2016-12-31T23:59:60.000"},
      {"2015-12-31T23:59:59.9996Z", 3, "2016-01-01T00:00:00.000"},
      {"2021-02-18T20:56:09.184", 3, "2021-02-18T20:55:00.000"},  // TT in, UTC out
  };
  std::string error;
  for (const auto& r : rows) EXPECT_EQ(iso_utc_date(*parse_date(r.utc, error), r.decimals), r.shown) << r.utc;
  std::uint64_t seed = 20210218;
  const auto next = [&seed](std::uint64_t n) {
    seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    return (seed >> 33) % n;
  };
  // Whole milliseconds from 1960 to 2200, and the leap seconds of four years.
  const std::int64_t from_ms = -14610LL * 86400000, span_ms = 240LL * 365 * 86400000;
  const char* const leap_days[] = {"1972-06-30", "1998-12-31", "2005-12-31", "2016-12-31"};
  for (int i = 0; i < 20000; ++i) {
    const auto ms = from_ms + static_cast<std::int64_t>(next(static_cast<std::uint64_t>(span_ms)));
    const std::string text =
        i % 10 == 0 ? std::string(leap_days[i / 10 % 4]) + "T23:59:60." + std::to_string(100 + next(900)) + "Z"
                    : iso_date(static_cast<double>(ms) / 86400000.0 - 0.5, 3) + "Z";
    const auto d = parse_date(text, error);
    ASSERT_TRUE(d.has_value()) << text << ": " << error;
    ASSERT_EQ(iso_utc_date(*d, 3) + "Z", text);
  }
}

}  // namespace
}  // namespace kest
