// ISO 8601 dates, Julian dates and days from J2000.0, and steps, through
// the calendar routines julday and caldat.

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

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

const std::string kForms =
    "write a calendar date (2026-12-09 or 2026-12-09T06:30), a Julian date (JD2461383.5) or days from J2000.0 "
    "(J2000+9838.5)";

std::optional<double> parse_iso(std::string_view text, std::string& error) {
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
  const auto t = s.find('T');
  const std::string_view date = s.substr(0, t);
  const std::string_view time = t == std::string_view::npos ? std::string_view() : s.substr(t + 1);
  const auto d1 = date.find('-');
  const auto d2 = d1 == std::string_view::npos ? d1 : date.find('-', d1 + 1);
  if (d1 == std::string_view::npos || d2 == std::string_view::npos || d1 < 4 || d2 - d1 != 3 ||
      date.size() - d2 != 3)
    return bad("not a date; " + kForms);
  std::int32_t year = 0, month = 0, day = 0;
  if (!whole_number(date.substr(0, d1), year) || !whole_number(date.substr(d1 + 1, 2), month) ||
      !whole_number(date.substr(d2 + 1, 2), day))
    return bad("not a date; " + kForms);
  if (negative) year = -year;
  if (year < FIRST_YEAR || year > LAST_YEAR) return bad("the years run from -4712 to 9999");
  if (month < 1 || month > 12) return bad("there is no month " + std::to_string(month));
  const std::int32_t jdn = julday(month, day, kest_year(year));
  std::int32_t m = 0, d = 0, y = 0;
  caldat(jdn, m, d, y);
  if (m != month || d != day || astronomical_year(y) != year) return bad("there is no such day in the calendar");

  double seconds = 0.0;
  if (t != std::string_view::npos) {
    std::int32_t hh = 0, mm = 0;
    double ss = 0.0;
    if (time.size() < 5 || time[2] != ':' || !whole_number(time.substr(0, 2), hh) ||
        !whole_number(time.substr(3, 2), mm))
      return bad("the time of day is not hh:mm or hh:mm:ss");
    if (time.size() > 5) {
      if (time[5] != ':' || !seconds_field(time.substr(6), ss))
        return bad("the time of day is not hh:mm or hh:mm:ss");
    }
    if (hh > 23 || mm > 59 || ss < 0.0 || ss >= 60.0) return bad("the time of day is out of range");
    seconds = (hh * 60.0 + mm) * 60.0 + ss;
  }
  return (static_cast<double>(jdn) - JD_J2000) - 0.5 + seconds / 86400.0;
}

// A date in any of the forms, in or out of the span of dates.
std::optional<double> parse_any_date(std::string_view text, std::string& error) {
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
  if (parse_decimal(text, v)) {
    error = "date " + quoted_text(text) + ": a bare number could be a Julian date or days from J2000.0; " + kForms;
    return std::nullopt;
  }
  return parse_iso(text, error);
}

}  // namespace

std::string date_span_message(std::string_view text) {
  return "date " + quoted_text(text) + ": outside the span of dates, -4712-01-01 to 9999-12-31 (JD-0.5 to JD5373484.5)";
}

std::optional<double> parse_date(std::string_view text, std::string& error) {
  const std::optional<double> d = parse_any_date(text, error);
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
    std::int32_t m = 0, d = 0, y = 0;
    caldat(static_cast<std::int32_t>(day0 + JD_J2000), m, d, y);
    const std::int32_t year = astronomical_year(y);
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

void append_iso_date(std::string& out, double days, int decimals) {
  char buf[IsoDateWriter::MAX];
  IsoDateWriter w;
  out.append(buf, w.write(buf, days, decimals));
}

std::string iso_date(double days, int decimals) {
  std::string out;
  append_iso_date(out, days, decimals);
  return out;
}

}  // namespace kest
