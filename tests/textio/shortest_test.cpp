// The shortest round-trip text of a double must be exactly what
// std::to_chars writes: the season command's CSV was first written with it.
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>

#include "textio/textio.hpp"

namespace {

std::string reference(double x) {
  char buf[64];
  return std::string(buf, std::to_chars(buf, buf + sizeof buf, x).ptr);
}

std::string shortest(double x) {
  char buf[kest::SHORTEST_MAX];
  return std::string(buf, kest::write_shortest(buf, x));
}

TEST(Shortest, LayoutsOfHandPickedValues) {
  // Each row: a value and the text it must give. The layouts turn between
  // fixed and scientific where one becomes shorter than the other.
  const struct {
    double x;
    const char* text;
  } rows[] = {
      {0.0, "0"},
      {-0.0, "-0"},
      {1.0, "1"},
      {-274.3775762942545, "-274.3775762942545"},
      {0.01, "0.01"},
      {0.001, "0.001"},
      {0.0001, "1e-04"},        // "0.0001" is one longer
      {0.00012, "0.00012"},     // a tie goes to fixed
      {0.000123, "0.000123"},
      {1.5e-5, "1.5e-05"},
      {10000.0, "10000"},
      {100000.0, "1e+05"},
      {120000.0, "120000"},     // tie
      {123456.0, "123456"},
      {1e21, "1e+21"},
      {1.5e22, "1.5e+22"},
      {35102071746559893504.0, "35102071746559893504"},  // the exact whole number
      {9007199254740993.0, "9007199254740992"},
      {1e100, "1e+100"},
      {5e-324, "5e-324"},
      {std::numeric_limits<double>::max(), "1.7976931348623157e+308"},
      {std::numeric_limits<double>::min(), "2.2250738585072014e-308"},
      {0.1 + 0.2, "0.30000000000000004"},
      {703.2415361114336, "703.2415361114336"},
      {9838.5, "9838.5"},
      {std::numeric_limits<double>::infinity(), "inf"},
      {-std::numeric_limits<double>::infinity(), "-inf"},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(shortest(r.x), r.text) << r.text;
    EXPECT_EQ(shortest(r.x), reference(r.x)) << r.text;
  }
  EXPECT_EQ(shortest(std::nan("")), "nan");
  EXPECT_EQ(shortest(-std::nan("")), "nan");
}

TEST(Shortest, EqualsToCharsOnRandomDoubles) {
  // Any bit pattern (every magnitude, subnormals), values of the size the
  // season tables print, and whole numbers and short decimals, whose
  // layouts turn on trailing zeros.
  std::mt19937_64 rng(20261209);
  std::uniform_real_distribution<double> typical(-1000.0, 1000.0);
  std::uniform_int_distribution<int> power(-30, 30);
  std::uniform_int_distribution<std::int64_t> whole(-2000000, 2000000);
  int mismatches = 0;
  for (int i = 0; i < 300000 && mismatches < 10; ++i) {
    double x = std::bit_cast<double>(rng());
    if (!std::isfinite(x)) x = 1.0;
    const double values[] = {x, typical(rng), static_cast<double>(whole(rng)),
                             static_cast<double>(whole(rng)) * std::pow(10.0, power(rng))};
    for (double v : values) {
      if (shortest(v) != reference(v)) {
        ++mismatches;
        ADD_FAILURE() << reference(v) << " written as " << shortest(v);
      }
    }
  }
}

TEST(Shortest, AppendsToText) {
  std::string s = "x=";
  kest::append_shortest(s, 2.5);
  kest::append_shortest(s, -1e-7);
  EXPECT_EQ(s, "x=2.5-1e-07");
}

}  // namespace
