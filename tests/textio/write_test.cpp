// Free-format and formatted writes: line layout, edits, repeats, groups,
// format reversion, stopping when the items run out.
#include <gtest/gtest.h>

#include <cmath>

#include "textio/textio.hpp"

namespace {

using kest::Format;
using kest::format_lines;

// Each row: a format, the values, the exact output ("|" marks each line end
// so trailing blanks count).
struct FmtRow {
  const char* format;
  std::vector<kest::Value> values;
  const char* expected;
};

std::string bar(std::string s) {
  std::string r;
  for (char c : s) r += c == '\n' ? std::string("|\n") : std::string(1, c);
  return r;
}

TEST(FormattedWrite, Layouts) {
  // Expected lines follow the field rules; the G and F digits agree with
  // gfortran (see the oracle test).
  const std::vector<FmtRow> rows = {
      {"(5G12.5)", {104.0, 0.0, 123456.0, -1234.5, 0.01234}, "  104.00      0.0000     0.12346E+06 -1234.5     0.12340E-01"},
      {"(5G12.5)", {3.14159265358979, 57.29577951308238}, "  3.1416      57.296    "},
      {"(5A12)", {"PLANUM  ", "TC      "}, "    PLANUM      TC      "},
      {"(F5.1)", {1000.0}, "*****"},
      {"(F6.2)", {1.125}, "  1.12"},
      {"(F6.2)", {-0.001}, " -0.00"},
      {"(F10.6)", {-0.0}, " -0.000000"},
      {"(1X,I4,A4,F6.2,F7.1,F10.6,1X,2F7.2,F10.2,1X,A4,I5)",
       {std::int32_t{2000}, "JAN", 1.5, 0.0, 0.9833, 280.12, -25.2, 0.0, "SAT", std::int32_t{1}},
       " 2000 JAN  1.50    0.0  0.983300  280.12 -25.20      0.00  SAT    1"},
      {"(' ROTSHO dump of [',A,']',3(/5X,3F10.6))",
       {"BFRM", 1.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 1.0},
       " ROTSHO dump of [BFRM]\n       1.000000  0.000000  0.000000\n       0.000000  1.000000  0.000000\n"
       "       0.000000  0.000000  1.000000"},
      {"('IOK,IOS,IOP,IOD=',4I8)", {std::int32_t{5}, std::int32_t{6}, std::int32_t{3}, std::int32_t{4}},
       "IOK,IOS,IOP,IOD=       5       6       3       4"},
      {"('1')", {}, "1"},
      {"(' a'/' b'//' c')", {}, " a\n b\n\n c"},
      {"('x=',I3,' y=',I3,' end')", {std::int32_t{1}}, "x=  1 y="},
      {"('x=',I3,' end')", {std::int32_t{1}}, "x=  1 end"},
      {"(2I3)", {std::int32_t{1}, std::int32_t{2}, std::int32_t{3}, std::int32_t{4}, std::int32_t{5}},
       "  1  2\n  3  4\n  5"},
      {"('h',2(' g',I2))", {std::int32_t{1}, std::int32_t{2}, std::int32_t{3}}, "h g 1 g 2\n g 3 g"},
      {"(A,3X,A)", {"ab", "cd"}, "ab   cd"},
      {"(A3)", {"abcdef"}, "abc"},
      {"(a6)", {"ab"}, "    ab"},
      {"(f6.2, e10.3)", {1.5, 1.5}, "  1.50 0.150E+01"},
      {"('it''s')", {}, "it's"},
      {"(I3)", {std::int32_t{-100}}, "***"},
      {"(E12.5)", {1e150}, " 0.10000+151"},
      {"(D22.13)", {1e-300}, "   0.1000000000000-299"},
      {"(F10.2)", {std::nan("")}, "       NaN"},
      {"(F10.2)", {-HUGE_VAL}, " -Infinity"},
      {"(20a1)", {"2", "0", "1", "4"}, "2014"},
  };
  for (const auto& r : rows) {
    std::string got;
    kest::format_append(got, Format(r.format), r.values.data(), r.values.size());
    EXPECT_EQ(bar(got), bar(std::string(r.expected) + "\n")) << r.format;
  }
}

TEST(FormattedWrite, FiveG157WithThirtyItemsWritesSixLines) {
  std::vector<kest::Value> v;
  for (int i = 1; i <= 30; ++i) v.emplace_back(static_cast<double>(i));
  std::string got;
  kest::format_append(got, Format("(5G15.7)"), v.data(), v.size());
  EXPECT_EQ(std::count(got.begin(), got.end(), '\n'), 6);
  EXPECT_EQ(got.substr(0, 75), "   1.000000       2.000000       3.000000       4.000000       5.000000    ");
}

// Regression: items left over for a repeated part that takes none used to
// make the writer loop for ever; it now ends the line there.
TEST(FormattedWrite, LeftoverItemsWithNoEditToRepeatEndTheWrite) {
  EXPECT_EQ(format_lines(Format("(1X,A,'=',(/1X,2X))"), {"v", 1.0, 2.0}), " v=\n   \n");
}

// Regression: skipped positions (nX) at the end of a line used to be written
// as blanks; they become blanks only when text or a field follows them on
// the line. Expected lines are gfortran's (fortran_groups.golden).
TEST(FormattedWrite, SkippedPositionsAtALineEndAreNotWritten) {
  const std::vector<FmtRow> rows = {
      {"(I3,2(1X,I3))", {std::int32_t{1}}, "  1"},
      {"(I3,1X)", {std::int32_t{1}}, "  1"},
      {"(1X)", {}, ""},
      {"(I3,2X,/,I3)", {std::int32_t{1}, std::int32_t{2}}, "  1\n  2"},
      {"(I3,3X,'b',2X)", {std::int32_t{1}}, "  1   b"},
      {"(I3,2X,A)", {std::int32_t{1}, ""}, "  1  "},
      {"(2X,'',/)", {}, "  \n"},
      {"(2(1X,2X),I2)", {std::int32_t{5}}, "       5"},
      {"(' dump [',A,']',3(/5X,3F10.6))", {"BFRM", 0.36, -0.48, 0.8},
       " dump [BFRM]\n       0.360000 -0.480000  0.800000\n"},
  };
  for (const auto& r : rows) {
    std::string got;
    kest::format_append(got, Format(r.format), r.values.data(), r.values.size());
    EXPECT_EQ(bar(got), bar(std::string(r.expected) + "\n")) << r.format;
  }
}

TEST(FormattedWrite, BadFormatTextsAreRefusedAtParse) {
  for (const char* bad : {"", "(", "(Q5)", "(F5)", "('abc)", "(I5", "(5G12.5))", "(0I3)"}) {
    EXPECT_THROW(Format f(bad), std::invalid_argument) << bad;
  }
}

TEST(FreeWrite, LineLayout) {
  struct Row {
    std::vector<kest::Value> values;
    const char* expected;
  } rows[] = {
      {{"Object = ", "Mars                     "}, " Object = Mars                     "},
      {{"skipped lines=", std::int32_t{26}}, " skipped lines= 26"},
      {{"base TJP=", -2.5}, " base TJP= -2.5"},
      {{"x=", 2.0, 1e-7, 1e21}, " x= 2.0 1e-07 1e+21"},
      {{"v=", 0.1, 365.256363004}, " v= 0.1 365.256363004"},
      {{"f=", 0.1f}, " f= 0.1"},
      {{"n=", -0.0, std::nan(""), HUGE_VAL}, " n= -0.0 NaN Infinity"},
      {{"a", "b"}, " ab"},
  };
  for (const auto& r : rows) {
    std::string s(1, ' ');
    for (const auto& v : r.values) s += v.kind() == kest::Value::Kind::text ? std::string(v.as_text()) : kest::free_line({v}).substr(1);
    EXPECT_EQ(s, r.expected);
  }
}

}  // namespace

namespace {

struct ReadRow {
  const char* format;
  const char* lines;
  kest::ReadStatus status;
  std::vector<double> values;  // expected reals after the read (each starts as -1)
};

// Formatted reads by columns: blanks ignored, all blank reads as 0, implied
// decimals without a point, exponents, short lines, asterisks refused, and
// the words that the writer uses for values that are not finite.
TEST(FormattedRead, NumericFields) {
  const ReadRow rows[] = {
      {"(F5.1,F8.5)", "104.0-0.50000", kest::ReadStatus::ok, {104.0, -0.5}},
      {"(F5.1,F8.5)", " 1 0 4     5", kest::ReadStatus::ok, {1.0, 0.00045}},
      {"(F5.1,F8.5)", "\n", kest::ReadStatus::ok, {0.0, 0.0}},
      {"(F5.1,F8.5)", "", kest::ReadStatus::end_of_file, {-1, -1}},
      {"(F5.1,F8.5)", "  2.5", kest::ReadStatus::ok, {2.5, 0.0}},
      {"(2G15.7)", "              5  0.1234567E+03", kest::ReadStatus::ok, {5e-7, 123.4567}},
      {"(2G15.7)", "          1.5D2          -2E-1", kest::ReadStatus::ok, {150.0, -2e-8}},
      {"(2G15.7)", "***************            1.0", kest::ReadStatus::conversion_error, {-1, -1}},
      {"(2G15.7)", "            NaN      -Infinity", kest::ReadStatus::ok, {std::nan(""), -HUGE_VAL}},
      {"(G15.7/G15.7)", "            1.0\n            2.0", kest::ReadStatus::ok, {1.0, 2.0}},
      {"(G15.7)", "            1.0\n            2.0", kest::ReadStatus::ok, {1.0, 2.0}},
      {"(G15.7)", "            1.0", kest::ReadStatus::end_of_file, {1.0, -1}},
      {"(3X,F5.1)", "abc  7.5xyz", kest::ReadStatus::ok, {7.5, -1}},
      {"(F5.1)", "1.2.3", kest::ReadStatus::conversion_error, {-1, -1}},
  };
  for (const auto& r : rows) {
    auto src = kest::string_source(r.lines);
    double a = -1, b = -1;
    const kest::Item both[] = {a, b};
    const std::size_t n = std::string(r.format) == "(3X,F5.1)" || std::string(r.format) == "(F5.1)" ? 1 : 2;
    EXPECT_EQ(kest::read_fmt_lines(*src, Format(r.format), both, n), r.status) << r.format << " " << r.lines;
    const double got[] = {a, b};
    for (std::size_t i = 0; i < 2; ++i) {
      if (std::isnan(r.values[i])) {
        EXPECT_TRUE(std::isnan(got[i])) << r.format << " " << r.lines;
      } else {
        EXPECT_EQ(got[i], r.values[i]) << r.format << " " << r.lines << " item " << i;
      }
    }
  }
}

TEST(FormattedRead, TextFields) {
  auto src = kest::string_source("KEST:2014jun10 2014 Jun 10 14:05:33 IPLAN,TC= 104.0 0.00000 Mars:Phobos and more\n");
  kest::FixedText<20> runtime;
  kest::FixedText<25> title;
  kest::FixedText<5> head;
  const kest::Item items[] = {head, runtime, title};
  EXPECT_EQ(kest::read_fmt_lines(*src, Format("(A5,10X,A20,25X,A9)"), items, 3), kest::ReadStatus::ok);
  EXPECT_EQ(head.view(), "KEST:");
  EXPECT_EQ(runtime.view(), "2014 Jun 10 14:05:33");
  EXPECT_EQ(title.view(), "Mars:Phob" + std::string(16, ' '));
  // A field wider than its variable keeps the rightmost characters.
  auto src2 = kest::string_source("abcdefgh\n");
  kest::FixedText<3> t3;
  const kest::Item one[] = {t3};
  EXPECT_EQ(kest::read_fmt_lines(*src2, Format("(A8)"), one, 1), kest::ReadStatus::ok);
  EXPECT_EQ(t3.view(), "fgh");
}

}  // namespace
