// Strict values of the faces beside the dialogue: decimal numbers that are
// the whole of their text, and lists of them.

#include <charconv>
#include <cmath>
#include <algorithm>
#include <string_view>
#include <utility>
#include <vector>

#include "textio/textio.hpp"

namespace kest {

namespace {

bool digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool parse_decimal(std::string_view text, double& v) {
  // The shape first: [sign] digits [. digits] [e|E [sign] digits], with a
  // digit on one side of the point at least.
  std::size_t i = 0;
  const std::size_t n = text.size();
  if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < n && digit(text[i])) ++i, ++digits;
  if (i < n && text[i] == '.') {
    ++i;
    while (i < n && digit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t exp_digits = 0;
    while (i < n && digit(text[i])) ++i, ++exp_digits;
    if (exp_digits == 0) return false;
  }
  if (i != n) return false;
  // from_chars takes no leading '+'.
  const char* first = text.data() + (text[0] == '+' ? 1 : 0);
  double x = 0.0;
  const auto r = std::from_chars(first, text.data() + n, x);
  if (r.ec != std::errc() || r.ptr != text.data() + n || !std::isfinite(x)) return false;
  v = x;
  return true;
}

bool parse_decimal_list(std::string_view text, std::vector<double>& values) {
  std::vector<double> out;
  std::size_t p = 0;
  for (;;) {
    const std::size_t c = std::min(text.find(',', p), text.size());
    double v = 0.0;
    if (!parse_decimal(text.substr(p, c - p), v)) return false;
    out.push_back(v);
    if (c == text.size()) break;
    p = c + 1;
  }
  values = std::move(out);
  return true;
}

}  // namespace kest
