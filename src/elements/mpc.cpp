// The orbit file of minor planets: one orbit a line in the fixed columns of
// MPCORB.DAT, with its packed designations and packed epochs.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "elements/kelements.hpp"
#include "textio/textio.hpp"
#include "time/ktime.hpp"

namespace kest {

namespace {

// The last column an orbit line must reach (the semi-major axis), and the
// last one the layout defines.
constexpr std::size_t LAST_FIELD_COLUMN = 103;
constexpr std::size_t LAST_COLUMN = 202;
// The readable designation.
constexpr std::size_t NAME_FIRST = 167;
constexpr std::size_t NAME_LAST = 194;

bool digit(char c) { return c >= '0' && c <= '9'; }
bool capital(char c) { return c >= 'A' && c <= 'Z'; }
bool printable(char c) { return c > ' ' && c < '\x7f'; }

// The value of a base-62 digit (0-9, A-Z, a-z), or -1.
int base62(char c) {
  if (digit(c)) return c - '0';
  if (capital(c)) return c - 'A' + 10;
  if (c >= 'a' && c <= 'z') return c - 'a' + 36;
  return -1;
}

// The century of a century letter (I, J, K), or -1.
int century(char c) {
  if (c == 'I') return 18;
  if (c == 'J') return 19;
  if (c == 'K') return 20;
  return -1;
}

// Four decimal digits as a number, or -1.
int four_digits(std::string_view s) {
  int v = 0;
  for (const char c : s) {
    if (!digit(c)) return -1;
    v = 10 * v + (c - '0');
  }
  return v;
}

// One character of a text for a message, '?' when it is not printable.
std::string shown(char c) { return "'" + shown_text(std::string_view(&c, 1)) + "'"; }

// Columns first to last (from 1) of a line, as far as the line reaches.
std::string_view columns(std::string_view line, std::size_t first, std::size_t last) {
  if (line.size() < first) return {};
  return line.substr(first - 1, last - first + 1);
}

// Whether column c (from 1) is blank or past the end of the line.
bool blank_at(std::string_view line, std::size_t c) { return line.size() < c || line[c - 1] == ' '; }

std::string_view trim_blanks(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

std::string column_span(std::size_t first, std::size_t last) {
  return "columns " + std::to_string(first) + "-" + std::to_string(last);
}

// The number fields read, in column order.
struct Field {
  std::size_t first, last;
  const char* what;
  bool may_be_blank;
  double MpcOrbit::*value;
};
constexpr Field FIELDS[] = {
    {9, 13, "H", true, &MpcOrbit::H},
    {15, 19, "G", true, &MpcOrbit::G},
    {27, 35, "mean anomaly", false, &MpcOrbit::M},
    {38, 46, "argument of perihelion", false, &MpcOrbit::peri},
    {49, 57, "node", false, &MpcOrbit::node},
    {60, 68, "inclination", false, &MpcOrbit::i},
    {71, 79, "eccentricity", false, &MpcOrbit::e},
    {93, 103, "semi-major axis", false, &MpcOrbit::a},
};

// Note 1 of read_mpc_line: the first 26 columns laid out as an orbit line's.
bool orbit_layout(std::string_view line) {
  if (line.size() < 25 || line[0] == ' ' || line[7] != ' ') return false;
  if (!blank_at(line, 26)) return false;
  const std::string_view ep = line.substr(20, 5);
  return capital(ep[0]) && digit(ep[1]) && digit(ep[2]) && base62(ep[3]) >= 0 && base62(ep[4]) >= 0;
}

// A readable designation as a name: "(16) Psyche" is "16 Psyche".
std::string readable_name(std::string_view text) {
  if (text.size() < 3 || text[0] != '(' || !digit(text[1])) return std::string(text);
  std::size_t k = 1;
  while (k < text.size() && digit(text[k])) ++k;
  if (k == text.size() || text[k] != ')') return std::string(text);
  std::string name(text.substr(1, k - 1));
  const std::string_view rest = trim_blanks(text.substr(k + 1));
  if (!rest.empty()) name.append(" ").append(rest);
  return name;
}

}  // namespace

std::optional<std::string> unpack_designation(std::string_view packed, std::string* why) {
  auto refuse = [&](std::string reason) -> std::optional<std::string> {
    if (why != nullptr) *why = std::move(reason);
    return std::nullopt;
  };
  while (!packed.empty() && packed.back() == ' ') packed.remove_suffix(1);
  if (packed.size() == 5) {
    std::int64_t number = 0;
    if (packed[0] == '~') {
      for (const char c : packed.substr(1)) {
        const int d = base62(c);
        if (d < 0) return refuse("a number after '~' is four base-62 digits");
        number = 62 * number + d;
      }
      number = number + 620000;
    } else {
      const int high = base62(packed[0]);
      const int low = four_digits(packed.substr(1));
      if (high < 0 || low < 0) return refuse("a number is a digit or letter and four digits");
      number = std::int64_t{high} * 10000 + low;
      if (number == 0) return refuse("no minor planet has the number 0");
    }
    return std::to_string(number);
  }
  if (packed.size() != 7) return refuse("a packed designation has 5 or 7 characters");

  const std::string_view head = packed.substr(0, 3);
  if (head == "PLS" || head == "T1S" || head == "T2S" || head == "T3S") {
    const int number = four_digits(packed.substr(3));
    if (number <= 0) return refuse("a survey designation ends in a number of four digits");
    const std::string survey = head == "PLS" ? "P-L" : std::string("T-") + head[1];
    return std::to_string(number) + " " + survey;
  }
  const int cent = century(packed[0]);
  if (cent < 0) return refuse("no century " + shown(packed[0]) + " (I, J or K)");
  if (!digit(packed[1]) || !digit(packed[2])) return refuse("the year is not two digits");
  const char half = packed[3];
  const char second = packed[6];
  if (!capital(half) || half == 'I' || half == 'Z') return refuse("no half-month " + shown(half));
  const int tens = base62(packed[4]);
  if (tens < 0 || !digit(packed[5])) return refuse("the cycle count is not a base-62 digit and a digit");
  if (!capital(second) || second == 'I') return refuse("no second letter " + shown(second));
  const int year = 100 * cent + 10 * (packed[1] - '0') + (packed[2] - '0');
  const int cycle = 10 * tens + (packed[5] - '0');
  std::string out = std::to_string(year) + " " + half + second;
  if (cycle > 0) out += std::to_string(cycle);
  return out;
}

std::optional<double> unpack_epoch(std::string_view packed, std::string* why) {
  auto refuse = [&](std::string reason) -> std::optional<double> {
    if (why != nullptr) *why = std::move(reason);
    return std::nullopt;
  };
  if (packed.size() != 5) return refuse("a packed date has 5 characters");
  const int cent = century(packed[0]);
  if (cent < 0) return refuse("no century " + shown(packed[0]) + " (I, J or K)");
  if (!digit(packed[1]) || !digit(packed[2])) return refuse("the year is not two digits");
  // Months 1-9 and A-C, days 1-9 and A-V: the values of base-62 digits.
  const int month = base62(packed[3]);
  if (month < 1 || month > 12) return refuse("no month " + shown(packed[3]));
  const int day = base62(packed[4]);
  if (day < 1 || day > 31) return refuse("no day " + shown(packed[4]));
  const std::int32_t year = 100 * cent + 10 * (packed[1] - '0') + (packed[2] - '0');
  std::int32_t count = 0;
  std::int32_t next_month = 0;
  ymd2j2(year, month, day, count);
  ymd2j2(year, month + 1, 1, next_month);
  std::int32_t first = 0;
  ymd2j2(year, month, 1, first);
  if (day > next_month - first) {
    return refuse(std::to_string(year) + (month < 10 ? "-0" : "-") + std::to_string(month) + " has no day " +
                  std::to_string(day));
  }
  // 0h of 2000 January 1 (count 0) is J2000.0 less half a day.
  return static_cast<double>(count) - 0.5;
}

MpcLine read_mpc_line(std::string_view line, MpcOrbit& out, std::string& error) {
  if (!orbit_layout(line)) return MpcLine::skip;
  auto damaged = [&](std::string reason) {
    error = std::move(reason);
    return MpcLine::damaged;
  };
  if (line.size() < LAST_FIELD_COLUMN) {
    return damaged("cut short at column " + std::to_string(line.size()) + ": an orbit line reaches column " +
                   std::to_string(LAST_FIELD_COLUMN));
  }
  for (std::size_t c = LAST_COLUMN + 1; c <= line.size(); ++c) {
    if (line[c - 1] != ' ') {
      return damaged("text at column " + std::to_string(c) + ", past column " + std::to_string(LAST_COLUMN) +
                     " where an orbit line ends");
    }
  }

  MpcOrbit orbit;
  for (const Field& f : FIELDS) {
    const std::string where = column_span(f.first, f.last) + " (" + f.what + ")";
    for (const std::size_t c : {f.first - 1, f.last + 1}) {
      if (!blank_at(line, c)) {
        return damaged("column " + std::to_string(c) + " is not blank beside " + where + ": the columns have moved");
      }
    }
    const std::string_view text = trim_blanks(columns(line, f.first, f.last));
    if (text.empty()) {
      if (f.may_be_blank) continue;
      return damaged(where + " are blank");
    }
    if (!parse_decimal(text, orbit.*f.value)) return damaged(where + ": " + quoted_text(text) + " is not a number");
  }

  std::string why;
  const std::string_view packed_epoch = columns(line, 21, 25);
  const std::optional<double> epoch = unpack_epoch(packed_epoch, &why);
  if (!epoch) return damaged("columns 21-25 (epoch): " + quoted_text(packed_epoch) + " is not a packed date: " + why);
  orbit.epoch = *epoch;

  const std::string_view readable = trim_blanks(columns(line, NAME_FIRST, NAME_LAST));
  for (const char c : readable) {
    if (c != ' ' && !printable(c)) {
      return damaged(column_span(NAME_FIRST, NAME_LAST) +
                     " (readable designation): a byte that is not printable ASCII");
    }
  }
  std::string_view packed = columns(line, 1, 7);
  while (packed.back() == ' ') packed.remove_suffix(1);
  for (const char c : packed) {
    if (!printable(c)) return damaged("columns 1-7 (designation): " + quoted_text(packed) + " is not a designation");
  }
  if (std::optional<std::string> d = unpack_designation(packed, &why)) {
    orbit.designation = std::move(*d);
  } else if (!readable.empty()) {
    orbit.designation = std::string(packed);
  } else {
    return damaged("columns 1-7 (designation): " + quoted_text(packed) + " is not a packed designation: " + why);
  }
  orbit.name = readable.empty() ? orbit.designation : readable_name(readable);
  out = std::move(orbit);
  return MpcLine::orbit;
}

}  // namespace kest
