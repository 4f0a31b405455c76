// Fields of aligned text tables, laid out in a bounded buffer and widened
// when they do not fit.

#include <charconv>
#include <cmath>
#include <string>
#include <string_view>

#include "textio/textio.hpp"

namespace kest {

void append_fixed(std::string& out, double x, int width, int decimals) {
  decimals = decimals < 0 ? 0 : (decimals > 40 ? 40 : decimals);
  // Nothing that rounds to zero keeps a minus sign.
  if (std::fabs(x) < 0.5 * std::pow(10.0, -decimals)) x = 0.0;
  // The widest fixed text of a double: a sign, 309 digits, the point and
  // the decimals.
  char buf[352];
  const auto r = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::fixed, decimals);
  const std::string_view text = r.ec == std::errc() ? std::string_view(buf, static_cast<std::size_t>(r.ptr - buf))
                                                    : std::string_view("nan");
  const std::size_t w = width > 0 ? static_cast<std::size_t>(width) : 0;
  // A field that fills its width or more is widened by one blank, so that
  // it never runs into the field before it.
  out.append(text.size() < w ? w - text.size() : 1, ' ');
  out.append(text);
}

std::string shown_text(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u >= 0x7F) c = '?';
  }
  return out;
}

void append_padded(std::string& out, std::string_view text, std::size_t width) {
  out.append(text);
  out.append(text.size() < width ? width - text.size() : 1, ' ');
}

}  // namespace kest
