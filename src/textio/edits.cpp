// Output field edits I, F, E, D, G and A. Each writes exactly w characters;
// a value that does not fit fills the field with asterisks. Digits come
// from std::to_chars with a precision, which rounds the exact binary value
// correctly (ties to even); the edits only lay out sign, point and exponent.
// A fast path serves fixed-point fields whose rounding is not in doubt.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "textio/textio.hpp"
#include "textio_internal.hpp"

namespace kest {

namespace {

char* stars(char* p, int w) {
  if (w > 0) std::memset(p, '*', static_cast<std::size_t>(w));
  return p + (w > 0 ? w : 0);
}

// Right-justify a laid-out body in w columns (the caller checked it fits).
char* right(char* p, std::string_view body, int w) {
  const std::size_t pad = static_cast<std::size_t>(w) - body.size();
  std::memset(p, ' ', pad);
  std::memcpy(p + pad, body.data(), body.size());
  return p + w;
}

// Not-a-number and infinities, as the Fortran runtime shows them.
char* put_special(char* p, double x, int w) {
  if (std::isnan(x)) return w < 3 ? stars(p, w) : right(p, "NaN", w);
  const bool neg = x < 0;
  if (w >= 8 + (neg ? 1 : 0)) return right(p, neg ? "-Infinity" : "Infinity", w);
  if (w >= 3 + (neg ? 1 : 0)) return right(p, neg ? "-Inf" : "Inf", w);
  return stars(p, w);
}

constexpr double kPow10[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                             1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

// The fixed-point field written right to left straight into its w columns
// from the digit string of the magnitude ("iii.ddd", or "iii" when d = 0).
// The zero before the point is left out only when there is no room for it
// and decimals follow. False when the field is too narrow.
bool lay_fixed(char* p, bool neg, std::string_view digits, int w, int d) {
  std::string_view intpart = digits;
  std::string_view frac;
  if (const auto q = digits.find('.'); q != std::string_view::npos) {
    intpart = digits.substr(0, q);
    frac = digits.substr(q + 1);
  }
  int i = w - 1;
  for (std::size_t k = frac.size(); k-- > 0;) {
    if (i < 0) return false;
    p[i--] = frac[k];
  }
  if (i < 0) return false;
  p[i--] = '.';
  if (intpart == "0") {
    if (i >= (neg ? 1 : 0)) {
      p[i--] = '0';
    } else if (d == 0) {
      return false;
    }
  } else {
    for (std::size_t k = intpart.size(); k-- > 0;) {
      if (i < 0) return false;
      p[i--] = intpart[k];
    }
  }
  if (neg) {
    if (i < 0) return false;
    p[i--] = '-';
  }
  while (i >= 0) p[i--] = ' ';
  return true;
}

// Two decimal digits at a time.
constexpr char kPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Writes the decimal digits of n ending just before p (at least one digit);
// returns the position of the first digit.
char* digits_before(char* p, std::uint64_t n) {
  while (n >= 100) {
    const auto r = static_cast<std::size_t>(n % 100) * 2;
    n /= 100;
    *--p = kPairs[r + 1];
    *--p = kPairs[r];
  }
  if (n >= 10) {
    const auto r = static_cast<std::size_t>(n) * 2;
    *--p = kPairs[r + 1];
    *--p = kPairs[r];
  } else {
    *--p = static_cast<char>('0' + n);
  }
  return p;
}

// The same for a magnitude given as a count n of units of the last decimal,
// written right to left straight into the field, two digits at a time.
bool put_fixed(char* p, bool neg, std::uint64_t n, int w, int d) {
  char* o = p + w;
  auto pair = [&](std::uint64_t r) {
    o -= 2;
    o[0] = kPairs[2 * r];
    o[1] = kPairs[2 * r + 1];
  };
  int k = d;
  for (; k >= 2; k -= 2) {
    if (o - p < 2) return false;
    pair(n % 100);
    n /= 100;
  }
  if (k == 1) {
    if (o == p) return false;
    *--o = static_cast<char>('0' + n % 10);
    n /= 10;
  }
  if (o == p) return false;
  *--o = '.';
  if (n == 0) {
    // The zero before the point is left out only when there is no room for
    // it and decimals follow.
    if (o - p > (neg ? 1 : 0)) {
      *--o = '0';
    } else if (d == 0) {
      return false;
    }
  } else {
    for (; n >= 100; n /= 100) {
      if (o - p < 2) return false;
      pair(n % 100);
    }
    if (n >= 10) {
      if (o - p < 2) return false;
      pair(n);
    } else {
      if (o == p) return false;
      *--o = static_cast<char>('0' + n);
    }
  }
  if (neg) {
    if (o == p) return false;
    *--o = '-';
  }
  while (o > p) *--o = ' ';
  return true;
}

// The decimal exponent of |x| rounded to d significant digits, and those
// digits (d of them) in digits[].
int significant(double ax, int d, char* digits) {
  if (ax == 0.0) {
    std::memset(digits, '0', static_cast<std::size_t>(d));
    return 0;
  }
  char buf[96];
  auto r = std::to_chars(buf, buf + sizeof buf, ax, std::chars_format::scientific, d - 1);
  const char* q = buf;
  int nd = 0;
  while (q < r.ptr && *q != 'e') {
    if (*q != '.') digits[nd++] = *q;
    ++q;
  }
  int ev = 0;
  std::from_chars(q + 1 + (q[1] == '+' ? 1 : 0), r.ptr, ev);
  return ev;
}

}  // namespace

char* put_I(char* p, std::int64_t v, int w) {
  if (w <= 0) return p;
  const bool neg = v < 0;
  const std::uint64_t n = neg ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
  char tmp[24];
  char* const end = tmp + sizeof tmp;
  char* q = digits_before(end, n);
  if (neg) *--q = '-';
  const auto len = static_cast<std::size_t>(end - q);
  if (len > static_cast<std::size_t>(w)) return stars(p, w);
  const std::size_t pad = static_cast<std::size_t>(w) - len;
  for (std::size_t i = 0; i < pad; ++i) p[i] = ' ';
  std::memcpy(p + pad, q, len);
  return p + w;
}

char* put_F(char* p, double x, int w, int d) {
  if (w <= 0) return p;
  if (!std::isfinite(x)) return put_special(p, x, w);
  const bool neg = std::signbit(x);
  const double ax = std::fabs(x);
  // With few decimals and a moderate magnitude the scaled value is known to
  // well within a thousandth of a unit, so its rounding is certain unless it
  // lies very near a tie; ties and near-ties take the exact path below.
  if (d <= 15 && ax < 1e12) {
    const double y = ax * kPow10[d];
    if (y < 1e12) {
      // y is below 2^63, so the conversion truncates it exactly.
      const auto whole = static_cast<std::uint64_t>(y);
      const double frac = y - static_cast<double>(whole);
      if (std::fabs(frac - 0.5) > 1e-3) {
        const std::uint64_t n = whole + (frac > 0.5 ? 1 : 0);
        return put_fixed(p, neg, n, w, d) ? p + w : stars(p, w);
      }
    }
  }
  char buf[400];
  auto r = std::to_chars(buf, buf + sizeof buf, ax, std::chars_format::fixed, d);
  if (r.ec != std::errc()) return stars(p, w);
  return lay_fixed(p, neg, std::string_view(buf, static_cast<std::size_t>(r.ptr - buf)), w, d) ? p + w : stars(p, w);
}

char* put_E(char* p, double x, int w, int d, char letter) {
  if (w <= 0) return p;
  if (!std::isfinite(x)) return put_special(p, x, w);
  if (d <= 0 || d > 60) return stars(p, w);
  const bool neg = std::signbit(x);
  char digits[80];
  const double ax = std::fabs(x);
  const int exp10 = significant(ax, d, digits) + (ax == 0.0 ? 0 : 1);
  const int aexp = std::abs(exp10);
  if (aexp > 999) return stars(p, w);
  // 0.ddddE+ee; from an exponent of 100 on the letter gives way to a third digit.
  const int need = (neg ? 1 : 0) + 2 + d + 4;
  bool zero = true;
  if (need > w) {
    if (need - 1 > w) return stars(p, w);
    zero = false;
  }
  char body[128];
  std::size_t n = 0;
  if (neg) body[n++] = '-';
  if (zero) body[n++] = '0';
  body[n++] = '.';
  std::memcpy(body + n, digits, static_cast<std::size_t>(d));
  n += static_cast<std::size_t>(d);
  if (aexp <= 99) {
    body[n++] = letter;
    body[n++] = exp10 < 0 ? '-' : '+';
  } else {
    body[n++] = exp10 < 0 ? '-' : '+';
    body[n++] = static_cast<char>('0' + aexp / 100);
  }
  body[n++] = static_cast<char>('0' + aexp / 10 % 10);
  body[n++] = static_cast<char>('0' + aexp % 10);
  return right(p, std::string_view(body, n), w);
}

char* put_G(char* p, double x, int w, int d) {
  if (w <= 0) return p;
  if (!std::isfinite(x)) return put_special(p, x, w);
  if (d <= 0 || d > 60 || w < 4) return put_E(p, x, w, d, 'E');
  int ev = 0;
  if (x != 0.0) {
    char digits[80];
    ev = significant(std::fabs(x), d, digits);
    if (ev < -1 || ev > d - 1) return put_E(p, x, w, d, 'E');
  }
  // Zero, or a rounded magnitude from 0.1 up to 10^d: fixed point with d
  // significant digits in the first w - 4 columns, then four blanks.
  p = put_F(p, x, w - 4, x == 0.0 ? d - 1 : d - 1 - ev);
  std::memset(p, ' ', 4);
  return p + 4;
}

char* put_A(char* p, std::string_view s, int w) {
  if (w <= 0) {
    std::memcpy(p, s.data(), s.size());
    return p + s.size();
  }
  const auto uw = static_cast<std::size_t>(w);
  if (s.size() >= uw) {
    std::memcpy(p, s.data(), uw);
    return p + w;
  }
  return right(p, s, w);
}

// The public edits append to a string.
namespace {
template <class Put>
void append_field(std::string& out, std::size_t w, Put put) {
  const std::size_t at = out.size();
  out.resize(at + w);
  put(&out[at]);
}
}  // namespace

void edit_I(std::string& out, std::int64_t v, int w) {
  append_field(out, static_cast<std::size_t>(w > 0 ? w : 0), [&](char* p) { put_I(p, v, w); });
}
void edit_F(std::string& out, double x, int w, int d) {
  append_field(out, static_cast<std::size_t>(w > 0 ? w : 0), [&](char* p) { put_F(p, x, w, d); });
}
void edit_E(std::string& out, double x, int w, int d, char letter) {
  append_field(out, static_cast<std::size_t>(w > 0 ? w : 0), [&](char* p) { put_E(p, x, w, d, letter); });
}
void edit_G(std::string& out, double x, int w, int d) {
  append_field(out, static_cast<std::size_t>(w > 0 ? w : 0), [&](char* p) { put_G(p, x, w, d); });
}
void edit_A(std::string& out, std::string_view s, int w) {
  append_field(out, w > 0 ? static_cast<std::size_t>(w) : s.size(), [&](char* p) { put_A(p, s, w); });
}

}  // namespace kest
