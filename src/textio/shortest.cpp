// The shortest text that reads back as the same double, laid out as
// std::to_chars lays it out, from the decimal digits that the Dragonbox
// algorithm finds (through the fmt library). The digits are the same
// shortest, nearest digits std::to_chars finds, in about a third of the time.

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

#include <fmt/format.h>

#include "textio/textio.hpp"

namespace kest {

namespace {

constexpr char kPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Writes the 8 decimal digits of v (v < 10^8) at p, leading zeros included.
void put8(char* p, std::uint32_t v) {
  const std::uint32_t a = v / 10000, b = v % 10000;
  std::memcpy(p, kPairs + 2 * (a / 100), 2);
  std::memcpy(p + 2, kPairs + 2 * (a % 100), 2);
  std::memcpy(p + 4, kPairs + 2 * (b / 100), 2);
  std::memcpy(p + 6, kPairs + 2 * (b % 100), 2);
}

// Writes the 17 decimal digits of v (v < 10^17) at p, leading zeros
// included; always the same steps, whatever the value.
void put17(char* p, std::uint64_t v) {
  const std::uint64_t high = v / 100000000;
  const auto low = static_cast<std::uint32_t>(v - high * 100000000);
  const auto first = static_cast<std::uint32_t>(high / 100000000);
  *p = static_cast<char>('0' + first);
  put8(p + 1, static_cast<std::uint32_t>(high - std::uint64_t{first} * 100000000));
  put8(p + 9, low);
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

}  // namespace

char* write_shortest(char* p, double x) {
  if (std::isnan(x)) {  // without the sign to_chars would give it
    std::memcpy(p, "nan", 3);
    return p + 3;
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
  // The n digits lie at the end of 17 (the significand has 17 at most);
  // they are moved in copies of a fixed size, which may write past the end
  // of the text but not past SHORTEST_MAX.
  char digits[48] = {};
  put17(digits, sig);
  const char* d = digits + 17 - n;
  if (fixed_len <= sci_len) {
    if (exp > 0) {
      // A whole number: of the texts of this length, the exact value is the
      // nearest, and it is what to_chars writes (35102071746559893504, not
      // ...894000). It lies below 10^22, so 128 bits hold it.
      __extension__ using Whole = unsigned __int128;
      Whole v = static_cast<Whole>(std::fabs(x));
      for (int i = fixed_len - 1; i >= 0; --i) {
        p[i] = static_cast<char>('0' + static_cast<int>(v % 10));
        v /= 10;
      }
      return p + fixed_len;
    }
    if (exp == 0) {
      std::memcpy(p, d, 17);
      return p + n;
    }
    if (n + exp > 0) {  // ddd.ddd: at most 16 digits on either side
      const int whole = n + exp;
      std::memcpy(p, d, 16);
      p[whole] = '.';
      std::memcpy(p + whole + 1, d + whole, 16);
      return p + n + 1;
    }
    // 0.000ddd, 22 characters at most.
    std::memcpy(p, "0.000000000000000000000000", 24);
    std::memcpy(p + fixed_len - n, d, 17);
    return p + fixed_len;
  }
  p[0] = d[0];
  p[1] = '.';
  std::memcpy(p + 2, d + 1, 16);
  p += n > 1 ? n + 1 : 1;
  *p++ = 'e';
  *p++ = sci_exp < 0 ? '-' : '+';
  if (abs_sci >= 100) {
    *p++ = static_cast<char>('0' + abs_sci / 100);
    std::memcpy(p, kPairs + 2 * (abs_sci % 100), 2);
  } else {
    std::memcpy(p, kPairs + 2 * abs_sci, 2);
  }
  return p + 2;
}

void append_shortest(std::string& out, double x) {
  char buf[SHORTEST_MAX];
  out.append(buf, write_shortest(buf, x));
}

}  // namespace kest
