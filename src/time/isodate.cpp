// ISO 8601 dates, Julian dates and days from J2000.0, and steps, through
// the calendar routines julday and caldat; UTC through ERFA.

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include <erfa.h>

#include "time/ktime.hpp"
#include "textio/textio.hpp"

namespace kest {

namespace {

constexpr double JD_J2000 = 2451545.0;  // Julian date of J2000.0

// Unsigned digits only (a field of a calendar date or a time of day).
bool whole_number(std::string_view s, std::int32_t& v) {
  if (s.empty() || s.size() > 9 || s.find_first_not_of("0123456789") != std::string_view::npos) return false;
  const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

// Seconds of a time of day: two digits, then a point and digits or nothing
// (no sign, no exponent).
bool seconds_field(std::string_view s, double& v) {
  const std::size_t point = s.find('.');
  const std::string_view whole = s.substr(0, point);
  if (whole.size() != 2 || whole.find_first_not_of("0123456789") != std::string_view::npos) return false;
  if (point != std::string_view::npos) {
    const std::string_view decimals = s.substr(point + 1);
    if (decimals.empty() || decimals.find_first_not_of("0123456789") != std::string_view::npos) return false;
  }
  return parse_decimal(s, v);
}

// kest's calendar numbers years without a year zero.
std::int32_t kest_year(std::int32_t astronomical) { return astronomical <= 0 ? astronomical - 1 : astronomical; }
std::int32_t astronomical_year(std::int32_t kest) { return kest < 0 ? kest + 1 : kest; }

// The Julian day number of a date of the proleptic Gregorian calendar
// (astronomical years from -4800 on).
std::int32_t gregorian_jdn(std::int32_t year, std::int32_t month, std::int32_t day) {
  const std::int32_t a = (14 - month) / 12, y = year + 4800 - a, m = month + 12 * a - 3;
  return day + (153 * m + 2) / 5 + 365 * y + y / 4 - y / 100 + y / 400 - 32045;
}

// The date of the proleptic Gregorian calendar of a Julian day number (from
// -32044 on), with its astronomical year.
void gregorian_date(std::int32_t jdn, std::int32_t& year, std::int32_t& month, std::int32_t& day) {
  const std::int32_t a = jdn + 32044, b = (4 * a + 3) / 146097, c = a - 146097 * b / 4;
  const std::int32_t d = (4 * c + 3) / 1461, e = c - 1461 * d / 4, m = (5 * e + 2) / 153;
  day = e - (153 * m + 2) / 5 + 1;
  month = m + 3 - 12 * (m / 10);
  year = 100 * b + d - 4800 + m / 10;
}

// The Julian day number of a date in a calendar, astronomical years.
std::int32_t day_number(Calendar calendar, std::int32_t year, std::int32_t month, std::int32_t day) {
  return calendar == Calendar::kest ? julday(month, day, kest_year(year)) : gregorian_jdn(year, month, day);
}

// The date of a Julian day number in a calendar, astronomical years.
void calendar_date(Calendar calendar, std::int32_t jdn, std::int32_t& year, std::int32_t& month, std::int32_t& day) {
  if (calendar == Calendar::proleptic_gregorian) {
    gregorian_date(jdn, year, month, day);
    return;
  }
  caldat(jdn, month, day, year);
  year = astronomical_year(year);
}

const std::string kForms =
    "write a calendar date (2026-12-09 or 2026-12-09T06:30 in TT, 2026-12-09T06:30Z in UTC), a Julian date "
    "(JD2461383.5), days from J2000.0 (J2000+9838.5) or now";

// The tail of the message for a date outside the span of dates.
const std::string kSpan = "outside the span of dates, -4712-01-01 to 9999-12-31 (JD-0.5 to JD5373484.5)";

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Reads what ends a calendar date: nothing (TT), "Z" or " UTC" (UTC), or an
// offset of local time from UTC, "+hh:mm" or "-hh:mm", as minutes east.
// Returns why when the ending is none of them, "" when it is one.
std::string read_zone(std::string_view z, bool& utc, std::int32_t& offset) {
  utc = false;
  offset = 0;
  if (z.empty()) return "";
  if (z == "Z" || z == " UTC") {
    utc = true;
    return "";
  }
  std::int32_t hh = 0, mm = 0;
  if (z.size() == 6 && (z[0] == '+' || z[0] == '-') && z[3] == ':' && is_digit(z[1]) && is_digit(z[2]) &&
      is_digit(z[4]) && is_digit(z[5])) {
    hh = (z[1] - '0') * 10 + (z[2] - '0');
    mm = (z[4] - '0') * 10 + (z[5] - '0');
    if (hh > 23 || mm > 59) return "the offset from UTC " + quoted_text(z) + " is out of range";
    utc = true;
    offset = (z[0] == '-' ? -1 : 1) * (hh * 60 + mm);
    return "";
  }
  return quoted_text(z) + " is not understood; end the date with Z, UTC or an offset such as +01:00 for UTC, "
         "or with nothing for TT";
}

// Writes v >= 0 at p as exactly width digits (its last ones), leading zeros
// included; returns the end.
char* put_digits(char* p, int v, int width) {
  for (int i = width - 1; i >= 0; --i) {
    p[i] = static_cast<char>('0' + v % 10);
    v /= 10;
  }
  return p + width;
}

// TT-UTC is TAI-UTC and this, in seconds.
constexpr double TT_MINUS_TAI = 32.184;

// TT as a two-part Julian date to UTC as ERFA holds it, a Julian date whose
// day of a leap second is 86401 s long. False where ERFA refuses the date.
bool tt_to_utc(double days_tt, double& u1, double& u2) {
  double a1 = 0.0, a2 = 0.0;
  eraTttai(JD_J2000, days_tt, &a1, &a2);
  return eraTaiutc(a1, a2, &u1, &u2) >= 0;
}

std::optional<double> parse_iso(std::string_view text, std::string& error, Calendar calendar) {
  std::string_view s = text;
  bool negative = false;
  if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  const auto bad = [&](const std::string& why) -> std::optional<double> {
    error = "date " + quoted_text(text) + ": " + why;
    return std::nullopt;
  };
  // The date, then a time of day after a T or a blank, then the zone.
  const auto d1 = s.find('-');
  const auto d2 = d1 == std::string_view::npos ? d1 : s.find('-', d1 + 1);
  if (d1 == std::string_view::npos || d2 == std::string_view::npos || d1 < 4 || d2 - d1 != 3 || s.size() < d2 + 3)
    return bad("not a date; " + kForms);
  const std::string_view date = s.substr(0, d2 + 3);
  std::string_view rest = s.substr(d2 + 3);
  const bool timed =
      !rest.empty() && (rest.front() == 'T' || (rest.front() == ' ' && rest.size() > 1 && is_digit(rest[1])));
  std::string_view time;
  if (timed) {
    rest.remove_prefix(1);
    time = rest.substr(0, std::min(rest.find_first_not_of("0123456789:."), rest.size()));
    rest.remove_prefix(time.size());
  }
  std::int32_t year = 0, month = 0, day = 0;
  if (!whole_number(date.substr(0, d1), year) || !whole_number(date.substr(d1 + 1, 2), month) ||
      !whole_number(date.substr(d2 + 1, 2), day))
    return bad("not a date; " + kForms);
  if (negative) year = -year;
  if (year < FIRST_YEAR || year > LAST_YEAR) return bad("the years run from -4712 to 9999");
  if (month < 1 || month > 12) return bad("there is no month " + std::to_string(month));
  const std::int32_t jdn = day_number(calendar, year, month, day);
  std::int32_t m = 0, d = 0, y = 0;
  calendar_date(calendar, jdn, y, m, d);
  if (m != month || d != day || y != year) return bad("there is no such day in the calendar");

  std::int32_t hh = 0, mm = 0;
  double ss = 0.0;
  if (timed) {
    if (time.size() < 5 || time[2] != ':' || !whole_number(time.substr(0, 2), hh) ||
        !whole_number(time.substr(3, 2), mm))
      return bad("the time of day is not hh:mm or hh:mm:ss");
    if (time.size() > 5) {
      if (time[5] != ':' || !seconds_field(time.substr(6), ss))
        return bad("the time of day is not hh:mm or hh:mm:ss");
    }
  }
  bool utc = false;
  std::int32_t offset = 0;
  const std::string zone_fault = read_zone(rest, utc, offset);
  if (!zone_fault.empty()) return bad(zone_fault);
  if (!timed && utc && rest != " UTC")
    return bad(quoted_text(rest) + " needs a time of day before it, as in 2021-02-18T00:00Z");
  // A UTC second may be a leap second, which utc_to_tt_days checks.
  if (hh > 23 || mm > 59 || ss >= (utc ? 61.0 : 60.0)) return bad("the time of day is out of range");
  if (!utc) return (static_cast<double>(jdn) - JD_J2000) - 0.5 + ((hh * 60.0 + mm) * 60.0 + ss) / 86400.0;

  // Local time less its offset is UTC, perhaps on the day before or after.
  std::int32_t minutes = hh * 60 + mm - offset;
  const auto shift = static_cast<std::int32_t>(floor_div(minutes, 1440));
  minutes -= shift * 1440;
  calendar_date(calendar, jdn + shift, y, m, d);
  std::string why;
  const std::optional<double> tt = utc_to_tt_days(y, m, d, minutes / 60, minutes % 60, ss, why);
  if (!tt) return bad(why);
  return tt;
}

// A date in any of the forms, in or out of the span of dates.
std::optional<double> parse_any_date(std::string_view text, std::string& error, Calendar calendar) {
  double v = 0.0;
  if (text.rfind("JD", 0) == 0) {
    if (!parse_decimal(text.substr(2), v)) {
      error = "date " + quoted_text(text) + ": not a Julian date; " + kForms;
      return std::nullopt;
    }
    return v - JD_J2000;
  }
  if (text.rfind("J2000", 0) == 0) {
    const std::string_view rest = text.substr(5);
    if (rest.empty()) return 0.0;
    if ((rest.front() != '+' && rest.front() != '-') || !parse_decimal(rest.substr(1), v) || rest[1] == '-' ||
        rest[1] == '+') {
      error = "date " + quoted_text(text) + ": not a count of days from J2000.0; " + kForms;
      return std::nullopt;
    }
    return rest.front() == '-' ? -v : v;
  }
  if (text.rfind("now", 0) == 0) {
    const std::string_view rest = text.substr(3);
    double step = 0.0;  // signed, days
    if (!rest.empty()) {
      std::string ignored;
      const std::optional<double> s =
          rest.front() == '+' || rest.front() == '-' ? parse_step(rest.substr(1), ignored) : std::nullopt;
      if (s) step = rest.front() == '-' ? -*s : *s;
    }
    if (!rest.empty() && step == 0.0) {
      error = "date " + quoted_text(text) + ": " + quoted_text(rest) +
              " after now is not understood; write now, or now+STEP or now-STEP with a step such as 10d, 6h, 30m, "
              "45s, 1y or a number of days";
      return std::nullopt;
    }
    const double now = now_tt_days();
    if (!std::isfinite(now)) {
      error = "date " + quoted_text(text) + ": the system clock reads a date before UTC began (1960)";
      return std::nullopt;
    }
    return now + step;
  }
  if (parse_decimal(text, v)) {
    error = "date " + quoted_text(text) + ": a bare number could be a Julian date or days from J2000.0; " + kForms;
    return std::nullopt;
  }
  return parse_iso(text, error, calendar);
}

}  // namespace

std::string date_span_message(std::string_view text) {
  return "date " + quoted_text(text) + ": " + kSpan;
}

std::optional<double> parse_date(std::string_view text, std::string& error, Calendar calendar) {
  const std::optional<double> d = parse_any_date(text, error, calendar);
  if (d && !in_date_span(*d)) {
    error = date_span_message(text);
    return std::nullopt;
  }
  return d;
}

std::string epoch_year_fault(double year, std::string_view shown) {
  if (year >= FIRST_EPOCH_YEAR && year <= LAST_EPOCH_YEAR) return "";
  std::string why = "epoch " + quoted_text(shown) + ": give a year from 1000 to 3000, such as 2024.5, not centuries";
  if (std::fabs(year) < 100.0) {
    // What the number would be as centuries after 2000.0.
    const double as_year = 2000.0 + 100.0 * year;
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, as_year, std::chars_format::fixed, 1);
    why += " (as centuries, " + std::string(shown) + " is the year " + std::string(buf, r.ptr) + ")";
  }
  return why;
}

std::optional<double> parse_epoch_year(std::string_view text, std::string& error) {
  double year = 0.0;
  if (!parse_decimal(text, year)) {
    error = "epoch " + quoted_text(text) + ": give a year from 1000 to 3000, such as 2024.5";
    return std::nullopt;
  }
  error = epoch_year_fault(year, text);
  if (!error.empty()) return std::nullopt;
  return year;
}

double grid_rows(double first, double last, double step) {
  // Each date carries a rounding error of its own size, and the step one of
  // its own; their quotient is off by as much, relative to the step.
  constexpr double EPS = 2.220446049250313e-16;
  const double slack = 1e-9 + 8.0 * EPS * (std::fabs(first) + std::fabs(last) + step) / step;
  return std::floor((last - first) / step + slack) + 1.0;
}

std::optional<double> parse_step(std::string_view text, std::string& error) {
  double scale = 1.0;
  std::string_view num = text;
  if (!num.empty()) {
    switch (num.back()) {
      case 'd': scale = 1.0; num.remove_suffix(1); break;
      case 'h': scale = 1.0 / 24.0; num.remove_suffix(1); break;
      case 'm': scale = 1.0 / 1440.0; num.remove_suffix(1); break;
      case 's': scale = 1.0 / 86400.0; num.remove_suffix(1); break;
      case 'y': scale = 365.25; num.remove_suffix(1); break;
      default: break;
    }
  }
  double v = 0.0;
  if (!parse_decimal(num, v)) {
    error = "step " + quoted_text(text) + ": write a number of days, or one with a unit: 10d, 6h, 30m, 45s, 1y";
    return std::nullopt;
  }
  if (!(v > 0.0)) {
    error = "step " + quoted_text(text) + ": a step must be more than zero";
    return std::nullopt;
  }
  return v * scale;
}

char* IsoDateWriter::write(char* p, double days, int decimals) {
  if (!std::isfinite(days) || std::fabs(days) > 1.4e9) {
    constexpr std::string_view none = "not-a-date";
    return std::copy(none.begin(), none.end(), p);
  }
  decimals = std::clamp(decimals, 0, 9);
  const double x = days + 0.5;  // days from the midnight that opens 2000 January 1
  double day0 = std::floor(x);
  std::int64_t unit = 1;
  for (int i = 0; i < decimals; ++i) unit *= 10;
  // The time of day in units of the last digit shown, rounded.
  auto ticks = static_cast<std::int64_t>(std::llround((x - day0) * 86400.0 * static_cast<double>(unit)));
  if (ticks >= 86400 * unit) {
    ticks -= 86400 * unit;
    day0 += 1.0;
  }
  const auto digits = [](char* q, std::int64_t v, int width) {
    char tmp[24];
    int n = 0;
    do {
      tmp[n++] = static_cast<char>('0' + v % 10);
      v /= 10;
    } while (v > 0 || n < width);
    while (n > 0) *q++ = tmp[--n];
    return q;
  };
  if (day_len_ == 0 || day0 != day_) {
    std::int32_t m = 0, d = 0, year = 0;
    calendar_date(calendar_, static_cast<std::int32_t>(day0 + JD_J2000), year, m, d);
    char* q = day_text_;
    if (year < 0) *q++ = '-';
    q = digits(q, year < 0 ? -static_cast<std::int64_t>(year) : year, 4);
    *q++ = '-';
    q = digits(q, m, 2);
    *q++ = '-';
    q = digits(q, d, 2);
    *q++ = 'T';
    day_ = day0;
    day_len_ = static_cast<int>(q - day_text_);
  }
  std::memcpy(p, day_text_, static_cast<std::size_t>(day_len_));
  p += day_len_;
  const std::int64_t secs = ticks / unit;
  const auto pair = [&p](std::int64_t v) {
    *p++ = static_cast<char>('0' + v / 10);
    *p++ = static_cast<char>('0' + v % 10);
  };
  pair(secs / 3600);
  *p++ = ':';
  pair(secs / 60 % 60);
  *p++ = ':';
  pair(secs % 60);
  if (decimals > 0) {
    *p++ = '.';
    std::int64_t fraction = ticks % unit;  // exactly `decimals` digits, from the last
    for (int i = decimals - 1; i >= 0; --i) {
      p[i] = static_cast<char>('0' + fraction % 10);
      fraction /= 10;
    }
    p += decimals;
  }
  return p;
}

void append_iso_date(std::string& out, double days, int decimals, Calendar calendar) {
  char buf[IsoDateWriter::MAX];
  IsoDateWriter w(calendar);
  out.append(buf, w.write(buf, days, decimals));
}

std::string iso_date(double days, int decimals, Calendar calendar) {
  std::string out;
  append_iso_date(out, days, decimals, calendar);
  return out;
}

std::optional<double> utc_to_tt_days(std::int32_t year, std::int32_t month, std::int32_t day, std::int32_t hour,
                                     std::int32_t minute, double second, std::string& error) {
  if (year < 1960) {
    error = "the date is UTC, which begins in 1960; give it in TT (without Z, UTC or an offset)";
    return std::nullopt;
  }
  if (year > LAST_YEAR) {
    error = kSpan;
    return std::nullopt;
  }
  if (!(second >= 0.0 && second < 61.0)) {
    error = "the time of day is out of range";
    return std::nullopt;
  }
  // UTC as ERFA's two-part Julian date: the day, then the fraction of it in
  // that day's length (86401 s on a day with a leap second).
  double u1 = 0.0, u2 = 0.0;
  const int status = eraDtf2d("UTC", year, month, day, hour, minute, second, &u1, &u2);
  if (status <= -4) {
    error = "the time of day is out of range";
    return std::nullopt;
  }
  if (status < 0) {
    error = "there is no such day in the calendar";
    return std::nullopt;
  }
  // Status 1 (a year past the table) is taken; 2 is a time past the day's end.
  if ((status & 2) != 0) {
    if (hour == 23 && minute == 59 && second >= 60.0) {
      char buf[16];
      char* p = put_digits(buf, year, 4);
      *p++ = '-';
      p = put_digits(p, month, 2);
      *p++ = '-';
      p = put_digits(p, day, 2);
      error = "no leap second is known at the end of " + std::string(buf, p) + " (UTC)";
    } else {
      error = "the time of day is out of range";
    }
    return std::nullopt;
  }
  double a1 = 0.0, a2 = 0.0, t1 = 0.0, t2 = 0.0;
  if (eraUtctai(u1, u2, &a1, &a2) < 0) {
    error = "there is no such day in the calendar";
    return std::nullopt;
  }
  eraTaitt(a1, a2, &t1, &t2);
  // t1 is the day's Julian date, so the difference from J2000.0 is exact.
  const double days = (t1 - JD_J2000) + t2;
  if (!in_date_span(days)) {
    error = kSpan;
    return std::nullopt;
  }
  return days;
}

void append_iso_utc_date(std::string& out, double days_tt, int decimals) {
  if (!has_utc(days_tt)) return;
  decimals = std::clamp(decimals, 0, 9);
  double u1 = 0.0, u2 = 0.0;
  int iy = 0, im = 0, id = 0;
  int ihmsf[4] = {};
  if (!tt_to_utc(days_tt, u1, u2) || eraD2dtf("UTC", decimals, u1, u2, &iy, &im, &id, ihmsf) < 0) return;
  char buf[32];
  char* p = put_digits(buf, iy, 4);
  *p++ = '-';
  p = put_digits(p, im, 2);
  *p++ = '-';
  p = put_digits(p, id, 2);
  *p++ = 'T';
  p = put_digits(p, ihmsf[0], 2);
  *p++ = ':';
  p = put_digits(p, ihmsf[1], 2);
  *p++ = ':';
  p = put_digits(p, ihmsf[2], 2);
  if (decimals > 0) {
    *p++ = '.';
    p = put_digits(p, ihmsf[3], decimals);
  }
  out.append(buf, p);
}

std::string iso_utc_date(double days_tt, int decimals) {
  std::string out;
  append_iso_utc_date(out, days_tt, decimals);
  return out;
}

double tt_minus_utc_seconds(double days_tt) {
  double u1 = 0.0, u2 = 0.0, fd = 0.0, dat = 0.0;
  int iy = 0, im = 0, id = 0;
  if (!has_utc(days_tt) || !tt_to_utc(days_tt, u1, u2) || eraJd2cal(u1, u2, &iy, &im, &id, &fd) != 0 ||
      eraDat(iy, im, id, fd, &dat) < 0)
    return std::nan("");
  return dat + TT_MINUS_TAI;
}

double now_tt_days() {
  constexpr std::int64_t DAY_US = 86400000000;  // microseconds per day
  constexpr std::int32_t JDN_1970 = 2440588;    // Julian day number of 1970 January 1, where the clock counts from
  const std::int64_t us =
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch())
          .count();
  const std::int64_t day = floor_div(us, DAY_US);
  const std::int64_t in_day = us - day * DAY_US;
  std::int32_t m = 0, d = 0, y = 0;
  caldat(static_cast<std::int32_t>(JDN_1970 + day), m, d, y);
  std::string ignored;
  const std::optional<double> tt = utc_to_tt_days(y, m, d, static_cast<std::int32_t>(in_day / 3600000000),
                                                  static_cast<std::int32_t>(in_day / 60000000 % 60),
                                                  static_cast<double>(in_day % 60000000) / 1e6, ignored);
  return tt ? *tt : std::nan("");
}

}  // namespace kest
