// Byte utilities: the letter ranges of upcase, the copy and fill of b2b
// (expected texts by hand).
#include <gtest/gtest.h>

#include <string>

#include "math/kmath.hpp"

namespace kest {
namespace {

// The neighbours of a..z and A..Z (64, 91, 96, 123) and bytes 127..255 stay;
// the "|xy" after N bytes must stay too.
TEST(CharUtilities, UpcaseRanges) {
  struct Row {
    std::string in;
    int n;
    std::string want;
  };
  const Row rows[] = {{"c_end", 5, "C_END"},
                      {"c_End", 2, "C_End"},
                      {"c_end", 0, "c_end"},
                      {"c_end", -3, "c_end"},
                      {"az@[`{09 _", 10, "AZ@[`{09 _"},
                      {"\x80\xe1\xfa\xff\x7f", 5, "\x80\xe1\xfa\xff\x7f"}};
  for (const Row& r : rows) {
    std::string t = r.in + "|xy";
    upcase(t.data(), r.n);
    EXPECT_EQ(t, r.want + "|xy") << r.in << " " << r.n;
  }
}

TEST(CharUtilities, CopyAndFill) {
  struct Row {
    int n;
    std::string want;
  };
  for (const Row& r : {Row{3, "abc45678"}, Row{-4, "aaaa5678"}, Row{0, "12345678"}}) {
    std::string dst = "12345678";
    b2b("abcdefgh", dst.data(), r.n);
    EXPECT_EQ(dst, r.want) << r.n;
  }
  std::string s = "xyz12";
  b2b(s.data(), s.data(), -5);  // fill with its own first byte
  EXPECT_EQ(s, "xxxxx");
  s = "abcdef";
  b2b(s.data(), s.data() + 1, 4);  // a forward copy repeats the bytes it wrote
  EXPECT_EQ(s, "aaaaaf");
}

}  // namespace
}  // namespace kest
