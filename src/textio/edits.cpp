// Output field edits I, F, E, D, G and A. Each appends exactly w characters;
// a value that does not fit fills the field with asterisks. Digits come
// from std::to_chars with a precision, which rounds the exact binary value
// correctly (ties to even); the edits only lay out sign, point and exponent.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "textio.hpp"

namespace kest {

namespace {

void stars(std::string& out, int w) { out.append(static_cast<std::size_t>(w > 0 ? w : 0), '*'); }

// Right-justify a laid-out body in w columns (the caller checked it fits).
void right(std::string& out, std::string_view body, int w) {
  out.append(static_cast<std::size_t>(w) - body.size(), ' ');
  out.append(body);
}

// Not-a-number and infinities, as the Fortran runtime shows them.
bool edit_special(std::string& out, double x, int w) {
  if (std::isnan(x)) {
    if (w < 3) {
      stars(out, w);
    } else {
      right(out, "NaN", w);
    }
    return true;
  }
  if (std::isinf(x)) {
    const bool neg = x < 0;
    const int need_long = 8 + (neg ? 1 : 0);
    const int need_short = 3 + (neg ? 1 : 0);
    if (w >= need_long) {
      right(out, neg ? "-Infinity" : "Infinity", w);
    } else if (w >= need_short) {
      right(out, neg ? "-Inf" : "Inf", w);
    } else {
      stars(out, w);
    }
    return true;
  }
  return false;
}

constexpr double kPow10[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                             1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

// Lays out sign, integer digits, point and decimals from a digit string
// "iii.ddd" or "iii" (d = 0); drops the leading zero of a magnitude below 1
// when the field has no room for it.
void lay_fixed(std::string& out, bool neg, std::string_view digits, int w, int d) {
  char body[400];
  std::size_t n = 0;
  if (neg) body[n++] = '-';
  std::string_view intpart = digits;
  std::string_view frac;
  if (const auto p = digits.find('.'); p != std::string_view::npos) {
    intpart = digits.substr(0, p);
    frac = digits.substr(p + 1);
  }
  const std::size_t need = n + intpart.size() + 1 + static_cast<std::size_t>(d);
  bool drop_zero = false;
  if (need > static_cast<std::size_t>(w)) {
    if (intpart == "0" && d > 0 && need - 1 <= static_cast<std::size_t>(w)) {
      drop_zero = true;
    } else {
      stars(out, w);
      return;
    }
  }
  if (!drop_zero) {
    for (char c : intpart) body[n++] = c;
  }
  body[n++] = '.';
  for (char c : frac) body[n++] = c;
  right(out, std::string_view(body, n), w);
}

}  // namespace

void edit_I(std::string& out, std::int64_t v, int w) {
  if (w <= 0) return;
  const std::size_t at = out.size();
  out.resize(at + static_cast<std::size_t>(w));
  char* p = &out[at];
  const bool neg = v < 0;
  std::uint64_t n = neg ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
  int i = w - 1;
  do {
    if (i < 0) break;
    p[i--] = static_cast<char>('0' + n % 10);
    n /= 10;
  } while (n != 0);
  if (n != 0 || (neg && i < 0)) {
    for (int k = 0; k < w; ++k) p[k] = '*';
    return;
  }
  if (neg) p[i--] = '-';
  while (i >= 0) p[i--] = ' ';
}

// The fixed-point field written right to left straight into its w columns,
// for an integer count n of units of the last decimal; false when it does not
// fit (the caller then writes asterisks).
bool put_fixed(char* p, bool neg, std::uint64_t n, int w, int d) {
  int i = w - 1;
  for (int k = 0; k < d; ++k) {
    if (i < 0) return false;
    p[i--] = static_cast<char>('0' + n % 10);
    n /= 10;
  }
  if (i < 0) return false;
  p[i--] = '.';
  if (n == 0) {
    // The zero before the point is left out only when there is no room for
    // it and decimals follow.
    const bool room = i >= (neg ? 1 : 0);
    if (room) {
      p[i--] = '0';
    } else if (d == 0) {
      return false;
    }
  } else {
    while (n != 0) {
      if (i < 0) return false;
      p[i--] = static_cast<char>('0' + n % 10);
      n /= 10;
    }
  }
  if (neg) {
    if (i < 0) return false;
    p[i--] = '-';
  }
  while (i >= 0) p[i--] = ' ';
  return true;
}

void edit_F(std::string& out, double x, int w, int d) {
  if (edit_special(out, x, w)) return;
  const bool neg = std::signbit(x);
  const double ax = std::fabs(x);
  // Fast path: with few decimals and a moderate magnitude the scaled value
  // is known to well within a thousandth of a unit, so its rounding is certain
  // unless it lies very near a tie; ties and near-ties take the exact path.
  if (d <= 15 && ax < 1e12 && w > 0) {
    const double y = ax * kPow10[d];
    if (y < 1e12) {
      const double fl = std::floor(y);
      const double frac = y - fl;
      if (std::fabs(frac - 0.5) > 1e-3) {
        const std::uint64_t n = static_cast<std::uint64_t>(fl) + (frac > 0.5 ? 1 : 0);
        const std::size_t at = out.size();
        out.resize(at + static_cast<std::size_t>(w));
        if (!put_fixed(&out[at], neg, n, w, d)) {
          for (int k = 0; k < w; ++k) out[at + static_cast<std::size_t>(k)] = '*';
        }
        return;
      }
    }
  }
  char buf[400];
  auto r = std::to_chars(buf, buf + sizeof buf, ax, std::chars_format::fixed, d);
  if (r.ec != std::errc()) {
    stars(out, w);
    return;
  }
  lay_fixed(out, neg, std::string_view(buf, static_cast<std::size_t>(r.ptr - buf)), w, d);
}

void edit_E(std::string& out, double x, int w, int d, char letter) {
  if (edit_special(out, x, w)) return;
  if (d <= 0 || d > 60) {
    stars(out, w);
    return;
  }
  const bool neg = std::signbit(x);
  const double ax = std::fabs(x);
  char digits[80];
  int exp10 = 0;
  int nd = 0;
  if (ax == 0.0) {
    for (int i = 0; i < d; ++i) digits[nd++] = '0';
  } else {
    char buf[96];
    auto r = std::to_chars(buf, buf + sizeof buf, ax, std::chars_format::scientific, d - 1);
    // buf holds "d.ddde+XX" (no point when d = 1).
    const char* p = buf;
    const char* e = r.ptr;
    while (p < e && *p != 'e') {
      if (*p != '.') digits[nd++] = *p;
      ++p;
    }
    int ev = 0;
    std::from_chars(p + 1 + (p[1] == '+' ? 1 : 0), e, ev);
    exp10 = ev + 1;
  }
  char body[128];
  std::size_t n = 0;
  if (neg) body[n++] = '-';
  const int aexp = std::abs(exp10);
  // 0.ddddE+ee; from an exponent of 100 on the letter gives way to a third digit.
  const std::size_t need = n + 2 + static_cast<std::size_t>(d) + 4;
  bool drop_zero = false;
  if (aexp > 999) {
    stars(out, w);
    return;
  }
  if (need > static_cast<std::size_t>(w)) {
    if (need - 1 <= static_cast<std::size_t>(w)) {
      drop_zero = true;
    } else {
      stars(out, w);
      return;
    }
  }
  if (!drop_zero) body[n++] = '0';
  body[n++] = '.';
  for (int i = 0; i < nd; ++i) body[n++] = digits[i];
  if (aexp <= 99) {
    body[n++] = letter;
    body[n++] = exp10 < 0 ? '-' : '+';
    body[n++] = static_cast<char>('0' + aexp / 10);
    body[n++] = static_cast<char>('0' + aexp % 10);
  } else {
    body[n++] = exp10 < 0 ? '-' : '+';
    body[n++] = static_cast<char>('0' + aexp / 100);
    body[n++] = static_cast<char>('0' + aexp / 10 % 10);
    body[n++] = static_cast<char>('0' + aexp % 10);
  }
  right(out, std::string_view(body, n), w);
}

void edit_G(std::string& out, double x, int w, int d) {
  if (edit_special(out, x, w)) return;
  if (d <= 0 || d > 60 || w < 4) {
    edit_E(out, x, w, d);
    return;
  }
  if (x == 0.0) {
    edit_F(out, x, w - 4, d - 1);
    out.append(4, ' ');
    return;
  }
  // The decimal exponent of the value rounded to d significant digits.
  char buf[96];
  auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(x), std::chars_format::scientific, d - 1);
  const char* e = buf;
  while (e < r.ptr && *e != 'e') ++e;
  int ev = 0;
  std::from_chars(e + 1 + (e[1] == '+' ? 1 : 0), r.ptr, ev);
  if (ev >= -1 && ev <= d - 1) {
    edit_F(out, x, w - 4, d - 1 - ev);
    out.append(4, ' ');
  } else {
    edit_E(out, x, w, d);
  }
}

void edit_A(std::string& out, std::string_view s, int w) {
  if (w <= 0) {
    out.append(s);
  } else if (s.size() >= static_cast<std::size_t>(w)) {
    out.append(s.substr(0, static_cast<std::size_t>(w)));
  } else {
    out.append(static_cast<std::size_t>(w) - s.size(), ' ');
    out.append(s);
  }
}

}  // namespace kest
