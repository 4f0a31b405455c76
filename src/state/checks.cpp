// Checks of what goes into a state file: its name, the texts of a text
// record's header line, the first bytes of a file (text or binary records),
// and the values of a state handed over by another program.

#include <charconv>
#include <cmath>
#include <cstddef>
#include <string>
#include <string_view>
#include <system_error>

#include "math/kmath.hpp"
#include "state/kstate.hpp"

namespace kest {

namespace {

// A UTF-8 character starting at s[i]: its length when it is whole and well
// formed; 0 when the bytes are not one; with *cut set when the bytes end
// before the character does and are right so far.
std::size_t utf8_char(std::string_view s, std::size_t i, bool* cut) {
  *cut = false;
  const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = b(i);
  if (c < 0x80) return 1;
  std::size_t n = 0;
  unsigned char lo = 0x80, hi = 0xBF;  // the range of the second byte
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    if (c == 0xE0) lo = 0xA0;  // no overlong forms
    if (c == 0xED) hi = 0x9F;  // no surrogates
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  for (std::size_t k = 1; k < n; ++k) {
    if (i + k >= s.size()) {
      *cut = true;
      return 0;
    }
    const unsigned char x = b(i + k);
    if (k == 1 ? (x < lo || x > hi) : (x < 0x80 || x > 0xBF)) return 0;
  }
  return n;
}

// The shortest text that reads back as x.
std::string shortest(double x) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, x);
  return std::string(buf, r.ptr);
}

// Whether x is a decimal of at most seven significant digits, as the
// (5G15.7) body of a text record gives them back.
bool seven_digits(double x) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::scientific, 6);
  double y = 0.0;
  std::from_chars(buf, r.ptr, y);
  return y == x;
}

}  // namespace

std::string state_name_fault(std::string_view path) {
  if (path.empty()) return "no file name given";
  if (path.find('\0') != std::string_view::npos) return "a file name cannot hold a zero byte";
  return {};
}

std::string record_text_fault(std::string_view text) {
  if (text.find_first_of("\n\r") != std::string_view::npos) return "holds a line end";
  return {};
}

std::string portable_text_fault(std::string_view text) {
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == 0) return "holds a zero byte";
    if (c == '\n' || c == '\r') return "holds a line end";
    if (c >= 0x80) return "holds a character that is not ASCII";
    if ((c < 0x20 && c != '\t') || c == 0x7F) return "holds a control character";
  }
  return {};
}

std::string utf8_text(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size();) {
    bool cut = false;
    const std::size_t n = utf8_char(bytes, i, &cut);
    if (cut) break;  // a character cut off at the end
    if (n == 0) {
      out += "\xEF\xBF\xBD";  // U+FFFD
      ++i;
      continue;
    }
    out.append(bytes.substr(i, n));
    i += n;
  }
  return out;
}

bool holds_text(std::string_view first_bytes) {
  const std::string_view s = first_bytes.substr(0, TEXT_PROBE_BYTES);
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      // Past the version and its blank, zero bytes are a run stamp never set
      // (a save before any option stamped the run).
      if (c == 0 && i >= TEXT_LEAD_BYTES) {
        ++i;
        continue;
      }
      if (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f') return false;
      if (c == 0x7F) return false;
      ++i;
      continue;
    }
    bool cut = false;
    const std::size_t n = utf8_char(s, i, &cut);
    if (cut) return s.size() == TEXT_PROBE_BYTES;  // cut by the window, not by the file's end
    if (n == 0) return false;
    i += n;
  }
  return true;
}

std::string state_values_fault(const StateValues& v) {
  for (std::size_t k = 0; k < v.size(); ++k)
    if (!std::isfinite(v[k])) return std::string(STATE_FIELDS[k]) + " is not a finite number";
  const auto at = [&](std::string_view name) {
    for (std::size_t k = 0; k < STATE_FIELDS.size(); ++k)
      if (STATE_FIELDS[k] == name) return v[k];
    return 0.0;
  };
  const auto is = [&](std::string_view name) { return std::string(name) + " = " + shortest(at(name)); };
  if (!(at("ECC") >= 0.0 && at("ECC") < 1.0)) return is("ECC") + " is not in [0, 1)";
  for (const char* name : {"SJA", "OPERIOD"})
    if (!(at(name) > 0.0)) return is(name) + " is not above 0";

  // Radian ranges, widened for seven digits of a text record. CLIN and ZBAA
  // take values linear rates give them: the EM-Bary's inclination is below 0
  // after 2025, the Earth's pole declination above pi/2 before 1850.
  constexpr double PI = 2.0 * HALF_PI;
  constexpr double SLACK = 1e-6;  // radians
  struct Range {
    const char* name;
    double lo, hi;
    const char* shown;
  };
  static constexpr Range ranges[] = {
      {"ODE", -TWOPI, TWOPI, "[-2 pi, 2 pi]"},  {"ARGP", -TWOPI, TWOPI, "[-2 pi, 2 pi]"},
      {"ZBAB", -TWOPI, TWOPI, "[-2 pi, 2 pi]"}, {"TAV", -TWOPI, TWOPI, "[-2 pi, 2 pi]"},
      {"CLIN", -PI, PI, "[-pi, pi]"},           {"OBL", -PI, PI, "[-pi, pi]"},
      {"BLIP", -PI, PI, "[-pi, pi]"},           {"ZBAA", -PI, PI, "[-pi, pi]"},
  };
  for (const Range& r : ranges) {
    const double x = at(r.name);
    if (!(x >= r.lo - SLACK && x <= r.hi + SLACK)) return is(r.name) + " is not in " + r.shown + " (radians)";
  }

  // BFRM: element (i, j) at position 22 + i + 3j (0-based i, j), column order.
  const auto B = [&](std::size_t i, std::size_t j) { return v[21 + i + 3 * j]; };
  bool rounded = true;
  for (std::size_t k = 21; k < 30; ++k) rounded = rounded && seven_digits(v[k]);
  const double tol = rounded ? 1e-5 : 1e-9;
  double worst = 0.0;
  for (std::size_t i = 0; i < 3; ++i) {
    for (std::size_t k = 0; k < 3; ++k) {
      const double dot = B(i, 0) * B(k, 0) + B(i, 1) * B(k, 1) + B(i, 2) * B(k, 2);
      worst = std::fmax(worst, std::fabs(dot - (i == k ? 1.0 : 0.0)));
    }
  }
  const double det = B(0, 0) * (B(1, 1) * B(2, 2) - B(1, 2) * B(2, 1)) -
                     B(0, 1) * (B(1, 0) * B(2, 2) - B(1, 2) * B(2, 0)) +
                     B(0, 2) * (B(1, 0) * B(2, 1) - B(1, 1) * B(2, 0));
  if (!(worst <= tol && std::fabs(det - 1.0) <= tol))
    return "BFRM is not a rotation (B Bt - I reaches " + shortest(worst) + ", det B = " + shortest(det) +
           "; the limit is " + shortest(tol) + ")";
  return {};
}

}  // namespace kest
