// The shortest text that reads back as the same double, laid out as
// std::to_chars lays it out, from the decimal digits that the Dragonbox
// algorithm finds (through the fmt library): the same shortest, nearest
// digits that std::to_chars finds, in less time. fmt keeps the algorithm
// in its detail namespace (fmt 9 on Debian 12); its public formatting of a
// double is no faster than std::to_chars. The tests and a fuzz target hold
// every text to std::to_chars, so a change on fmt's side shows at once.
//
// The digits are made in registers, eight to a word, and stored in pieces
// of a fixed size: a text made of small stores and read back at once would
// stall the processor on every number.

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string_view>

#include <fmt/format.h>

#include "textio/textio.hpp"

namespace kest {

namespace {

__extension__ using U128 = unsigned __int128;

// The 8 decimal digits of v (v < 10^8), leading zeros included, as the
// characters of a word in memory order: each step splits every lane of the
// word in two (by 10^4, 10^2, 10), by multiplying with a reciprocal.
[[gnu::always_inline]] inline std::uint64_t ascii8(std::uint32_t v) {
  const std::uint64_t high = v / 10000, low = v % 10000;
  std::uint64_t x = high | (low << 32);  // two lanes of 32 bits
  const std::uint64_t hundreds = ((x * 10486) >> 20) & 0x0000007F0000007FULL;
  x = ((x - hundreds * 100) << 16) | hundreds;  // four lanes of 16 bits
  const std::uint64_t tens = ((x * 103) >> 10) & 0x000F000F000F000FULL;
  x = ((x - tens * 10) << 8) | tens;  // eight bytes
  return x | 0x3030303030303030ULL;
}

void store16(char* p, U128 v) {
  const auto low = static_cast<std::uint64_t>(v), high = static_cast<std::uint64_t>(v >> 64);
  std::memcpy(p, &low, 8);
  std::memcpy(p + 8, &high, 8);
}

constexpr std::uint64_t kPow10[] = {1ULL,
                                    10ULL,
                                    100ULL,
                                    1000ULL,
                                    10000ULL,
                                    100000ULL,
                                    1000000ULL,
                                    10000000ULL,
                                    100000000ULL,
                                    1000000000ULL,
                                    10000000000ULL,
                                    100000000000ULL,
                                    1000000000000ULL,
                                    10000000000000ULL,
                                    100000000000000ULL,
                                    1000000000000000ULL,
                                    10000000000000000ULL,
                                    100000000000000000ULL,
                                    1000000000000000000ULL,
                                    10000000000000000000ULL};

// The number of decimal digits of v (v > 0): from its bit length
// (log10(2) ~ 1233/4096), then one comparison.
int digit_count(std::uint64_t v) {
  const int t = (std::bit_width(v) * 1233) >> 12;
  return t + (v >= kPow10[t] ? 1 : 0);
}

// The n digits of a significand below 10^17: its 17 digits with leading
// zeros are the first and then 16 in a 128-bit word; the n wanted are the
// last n of them.
class Digits {
 public:
  Digits(std::uint64_t sig, int n) : skip_(17 - n) {
    const std::uint64_t high = sig / 100000000;
    const auto first = static_cast<std::uint32_t>(high / 100000000);
    first_ = static_cast<char>('0' + first);
    rest_ = (U128{ascii8(static_cast<std::uint32_t>(sig - high * 100000000))} << 64) |
            ascii8(static_cast<std::uint32_t>(high - std::uint64_t{first} * 100000000));
  }
  // Stores the digits from the j-th on at p (16 characters, or 17 for all
  // 17 digits), with j at most n - 1.
  char* from(char* p, int j) const {
    if (skip_ + j == 0) {
      *p = first_;
      store16(p + 1, rest_);
    } else {
      store16(p, rest_ >> (8 * (skip_ + j - 1)));
    }
    return p;
  }
  char leading() const { return skip_ == 0 ? first_ : static_cast<char>(rest_ >> (8 * (skip_ - 1))); }

 private:
  int skip_;
  char first_;
  U128 rest_;
};

}  // namespace

char* write_shortest(char* p, double x) {
  if (std::isnan(x)) {  // without the sign to_chars would give it
    constexpr std::string_view nan = "nan";
    return std::copy(nan.begin(), nan.end(), p);
  }
  if (std::isinf(x)) return std::to_chars(p, p + SHORTEST_MAX, x).ptr;
  if (std::signbit(x)) *p++ = '-';
  if (x == 0.0) {
    *p++ = '0';
    return p;
  }
  const auto dec = fmt::detail::dragonbox::to_decimal(std::fabs(x));
  std::uint64_t sig = dec.significand;
  int exp = dec.exponent;
  while (sig % 10 == 0) {
    sig /= 10;
    ++exp;
  }
  const int n = digit_count(sig);
  // The value is sig * 10^exp: d.ddde+XX in scientific notation, or
  // ddd000, ddd.ddd or 0.000ddd in fixed; the shorter wins, fixed on a tie.
  const int sci_exp = exp + n - 1;
  const int abs_sci = sci_exp < 0 ? -sci_exp : sci_exp;
  const int sci_len = n + (n > 1 ? 1 : 0) + 2 + (abs_sci >= 100 ? 3 : 2);
  const int fixed_len = exp >= 0 ? n + exp : (n + exp > 0 ? n + 1 : 2 - exp);
  if (fixed_len <= sci_len && exp > 0) {
    // A whole number: of the texts of this length, the exact value is the
    // nearest, and it is what to_chars writes (35102071746559893504, not
    // ...894000). It lies below 10^22, so 128 bits hold it.
    U128 v = static_cast<U128>(std::fabs(x));
    for (int i = fixed_len - 1; i >= 0; --i) {
      p[i] = static_cast<char>('0' + static_cast<int>(v % 10));
      v /= 10;
    }
    return p + fixed_len;
  }
  // The stores below may write past the end of the text, within SHORTEST_MAX.
  const Digits d(sig, n);
  if (fixed_len <= sci_len) {
    if (exp == 0) {
      d.from(p, 0);
      return p + n;
    }
    if (n + exp > 0) {  // ddd.ddd
      const int whole = n + exp;
      d.from(p, 0);
      p[whole] = '.';
      d.from(p + whole + 1, whole);
      return p + n + 1;
    }
    // 0.000ddd, 22 characters at most.
    std::memcpy(p, "0.000000000000000000000000", 24);
    d.from(p + fixed_len - n, 0);
    return p + fixed_len;
  }
  p[0] = d.leading();
  if (n > 1) {
    p[1] = '.';
    d.from(p + 2, 1);
    p += n + 1;
  } else {
    p += 1;
  }
  *p++ = 'e';
  *p++ = sci_exp < 0 ? '-' : '+';
  if (abs_sci >= 100) *p++ = static_cast<char>('0' + abs_sci / 100);
  p[0] = static_cast<char>('0' + abs_sci / 10 % 10);
  p[1] = static_cast<char>('0' + abs_sci % 10);
  return p + 2;
}

void append_shortest(std::string& out, double x) {
  char buf[SHORTEST_MAX];
  out.append(buf, write_shortest(buf, x));
}

}  // namespace kest
