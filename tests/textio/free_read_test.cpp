// The free-format reader: separators, nulls, slashes, repeats, quoted texts,
// strict conversions and the end of the input.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "textio/textio.hpp"

namespace {

using kest::Item;
using kest::ReadStatus;

struct ThreeInts {
  const char* input;
  ReadStatus status;
  std::int32_t a, b, c;  // expected values; each starts as -7
  const char* left;      // the first line the next read sees ("" if none)
};

// Rows from the reading rules: nulls keep the item, a slash ends the read,
// r*c repeats, r* leaves items, blank lines are passed over, the rest of the
// last line used is discarded.
const ThreeInts kThreeInts[] = {
    {"4,,7\nnext\n", ReadStatus::ok, 4, -7, 7, "next"},
    {"4/ 5 6\nnext\n", ReadStatus::ok, 4, -7, -7, "next"},
    {"2*9\n3\nnext\n", ReadStatus::ok, 9, 9, 3, "next"},
    {"2*\n3\n", ReadStatus::ok, -7, -7, 3, ""},
    {"1 2 3 4 5\nnext\n", ReadStatus::ok, 1, 2, 3, "next"},
    {"\n   \n1\n\n2,3\nnext\n", ReadStatus::ok, 1, 2, 3, "next"},
    {",5\n6\nnext\n", ReadStatus::ok, -7, 5, 6, "next"},
    {"1 ,  2 ,3\n", ReadStatus::ok, 1, 2, 3, ""},
    {"1,\n2\n3\nnext\n", ReadStatus::ok, 1, 2, 3, "next"},
    {"/\nnext\n", ReadStatus::ok, -7, -7, -7, "next"},
    {"1 2\n", ReadStatus::end_of_file, 1, 2, -7, ""},
    {"", ReadStatus::end_of_file, -7, -7, -7, ""},
    {"1 3.5 4\nnext\n", ReadStatus::conversion_error, 1, -7, -7, "next"},
    {"x\n", ReadStatus::conversion_error, -7, -7, -7, ""},
    {"+12 -0 007\n", ReadStatus::ok, 12, 0, 7, ""},
    {"2147483647 -2147483648 1\n", ReadStatus::ok, 2147483647, -2147483648, 1, ""},
    {"2147483648\n", ReadStatus::conversion_error, -7, -7, -7, ""},
    {"1 -2147483649\n", ReadStatus::conversion_error, 1, -7, -7, ""},
    {"3*5\n", ReadStatus::ok, 5, 5, 5, ""},
    {"1\t2\t3\n", ReadStatus::ok, 1, 2, 3, ""},
    {"0*4 1 2\n", ReadStatus::conversion_error, -7, -7, -7, ""},
    {"'1' 2 3\n", ReadStatus::conversion_error, -7, -7, -7, ""},
    {"1 2 3\r\nnext\r\n", ReadStatus::ok, 1, 2, 3, "next"},
    {"1e3\n", ReadStatus::conversion_error, -7, -7, -7, ""},
};

TEST(FreeRead, ThreeIntegers) {
  for (const auto& row : kThreeInts) {
    auto src = kest::string_source(row.input);
    std::string line;
    std::int32_t a = -7, b = -7, c = -7;
    const Item items[] = {a, b, c};
    EXPECT_EQ(kest::read_free_lines(*src, line, items, 3), row.status) << row.input;
    EXPECT_EQ(a, row.a) << row.input;
    EXPECT_EQ(b, row.b) << row.input;
    EXPECT_EQ(c, row.c) << row.input;
    std::string next;
    const bool more = src->next_line(next);
    EXPECT_EQ(more ? next : std::string(), row.left) << row.input;
  }
}

struct OneReal {
  const char* input;
  bool ok;
  double value;  // expected when ok; the item starts as 99
};

// Real forms: integer, fixed, exponent with E or D; strictness and range.
const OneReal kReals[] = {
    {"7", true, 7.0},        {"-2.5", true, -2.5},      {".5", true, 0.5},       {"3.E4", true, 3e4},
    {"1.0D-3", true, 1e-3},  {"1.0d-3", true, 1e-3},    {"+4.", true, 4.0},      {"3", true, 3.0},
    {"1e400", false, 0},     {"-1e400", false, 0},      {"1e-400", true, 0.0},   {"3.5x", false, 0},
    {"nan", false, 0},       {"inf", false, 0},         {"0x10", false, 0},      {"1.2.3", false, 0},
    {"e5", false, 0},        {"1e", false, 0},          {"1e+", false, 0},       {"--1", false, 0},
    {"2.4703282292062328e-324", true, 4.9406564584124654e-324},
    {"0.1", true, 0.1},      {"365.256363004", true, 365.256363004},
};

TEST(FreeRead, OneReal) {
  for (const auto& row : kReals) {
    auto src = kest::string_source(std::string(row.input) + "\n");
    std::string line;
    double x = 99;
    const Item items[] = {x};
    const ReadStatus st = kest::read_free_lines(*src, line, items, 1);
    EXPECT_EQ(st, row.ok ? ReadStatus::ok : ReadStatus::conversion_error) << row.input;
    EXPECT_EQ(x, row.ok ? row.value : 99.0) << row.input;
  }
}

TEST(FreeRead, SinglePrecisionItemsRoundOnceAndRefuseOverflow) {
  struct Row {
    const char* input;
    bool ok;
    float value;
  } rows[] = {{"3034.21", true, 3034.21f}, {"1e39", false, 0}, {"-0.4", true, -0.4f}, {"1e-50", true, 0.0f}};
  for (const auto& row : rows) {
    auto src = kest::string_source(std::string(row.input) + "\n");
    std::string line;
    float x = 5;
    const Item items[] = {x};
    EXPECT_EQ(kest::read_free_lines(*src, line, items, 1), row.ok ? ReadStatus::ok : ReadStatus::conversion_error)
        << row.input;
    if (row.ok) {
      EXPECT_EQ(x, row.value) << row.input;
    }
  }
}

struct TextRow {
  const char* input;
  const char* expected;  // the 12-character text after the read ("" + blanks)
};

// Texts: cut or padded to the variable, quoted with either mark, doubled
// marks, a word ending at a blank, comma or slash.
const TextRow kTexts[] = {
    {"Phobos 1.0", "Phobos      "},
    {"'Deimos A'", "Deimos A    "},
    {"\"Deimos A\"", "Deimos A    "},
    {"'it''s, a/b'", "it's, a/b   "},
    {"abcdefghijklmnopq", "abcdefghijkl"},
    {"mars,x", "mars        "},
    {"mars/x", "mars        "},
    {"'unclosed text", "unclosed tex"},
    {"''", "            "},
    {"2*abc", "abc         "},
};

TEST(FreeRead, Texts) {
  for (const auto& row : kTexts) {
    auto src = kest::string_source(std::string(row.input) + "\n");
    std::string line;
    kest::FixedText<12> t;
    const Item items[] = {t};
    EXPECT_EQ(kest::read_free_lines(*src, line, items, 1), ReadStatus::ok) << row.input;
    EXPECT_EQ(t.view(), row.expected) << row.input;
  }
}

TEST(FreeRead, MixedListAndNullTextKeepsZeroBytes) {
  auto src = kest::string_source("Mars 1.52371034 0.0934 ,, 7\n");
  std::string line;
  kest::FixedText<8> title;
  double a = 0, e = 0;
  std::int32_t n = 0;
  kest::FixedText<1> ch;
  const Item items[] = {title, a, e, ch, n};
  EXPECT_EQ(kest::read_free_lines(*src, line, items, 5), ReadStatus::ok);
  EXPECT_EQ(title.view(), "Mars    ");
  EXPECT_EQ(a, 1.52371034);
  EXPECT_EQ(e, 0.0934);
  EXPECT_EQ(ch.c[0], '\0');  // a comma left the text unset
  EXPECT_EQ(n, 7);
}

TEST(FreeRead, EmptyListConsumesExactlyOneLine) {
  auto src = kest::string_source("\nsecond\n");
  std::string line;
  EXPECT_EQ(kest::read_free_lines(*src, line, nullptr, 0), ReadStatus::ok);
  std::string next;
  ASSERT_TRUE(src->next_line(next));
  EXPECT_EQ(next, "second");
  EXPECT_EQ(kest::read_free_lines(*src, line, nullptr, 0), ReadStatus::end_of_file);
}

TEST(FreeRead, HugeAndStrangeLinesAreRefusedWithoutHarm) {
  std::string junk(3'000'000, 'x');
  junk[1000] = '\0';
  junk[2000] = '\xff';
  auto src = kest::string_source(junk + "\n" + std::string(2'000'000, '9') + "\n5\n");
  std::string line;
  std::int32_t v = 1;
  const Item items[] = {v};
  EXPECT_EQ(kest::read_free_lines(*src, line, items, 1), ReadStatus::conversion_error);
  EXPECT_EQ(kest::read_free_lines(*src, line, items, 1), ReadStatus::conversion_error);
  EXPECT_EQ(kest::read_free_lines(*src, line, items, 1), ReadStatus::ok);
  EXPECT_EQ(v, 5);
  // A repeat count beyond any list is only used while items remain.
  auto rep = kest::string_source("99999999999999999999*3\n");
  const Item one[] = {v};
  EXPECT_EQ(kest::read_free_lines(*rep, line, one, 1), ReadStatus::ok);
  EXPECT_EQ(v, 3);
}

}  // namespace
