// The matrix and vector prints, line by line; expected lines from gfortran
// with the same format texts and values ('|' marks the line end).
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "math/kmath.hpp"
#include "textio/textio.hpp"

namespace kest {
namespace {

using Lines = std::vector<std::string>;
constexpr std::int32_t kUnit = 3;

template <class F>
Lines lines_of(F print) {
  std::string out;
  connect_output(kUnit, string_sink(&out));
  print();
  flush_all();
  reset_units();
  Lines lines;
  std::size_t start = 0;
  for (std::size_t nl; (nl = out.find('\n', start)) != std::string::npos; start = nl + 1)
    lines.push_back(out.substr(start, nl - start) + "|");
  EXPECT_EQ(start, out.size()) << "unterminated last line";
  return lines;
}

TEST(Printing, RotshoRowByRow) {
  Mat3 a;
  rotdia(1.0, a);
  a.at(4) = 0.5;  // a(1, 2): rows come out of column storage
  EXPECT_EQ(lines_of([&] { rotsho("BFRM", a, kUnit); }),
            (Lines{" ROTSHO dump of [BFRM]|", "       1.000000  0.500000  0.000000|",
                   "       0.000000  1.000000  0.000000|", "       0.000000  0.000000  1.000000|"}));
}

// A negative unit puts the 74-character header first.
TEST(Printing, Vshow) {
  const std::string header = " C_END  X          Y           Z            Lat    E.Lon   Radius     What|";
  struct Row {
    std::int32_t unit;
    Vec3 v;
    std::string text;
    Lines want;
  };
  const Row rows[] = {{-kUnit,
                       {{0, 0, 2}},
                       "ZBAXU",
                       {header, "   0.0000       0.0000       2.0000         90.00    0.00  2.0000     ZBAXU|"}},
                      {kUnit,
                       {{3, -4, 12}},
                       "ZBFXU ",
                       {"   3.0000      -4.0000       12.000         67.38  -53.13  13.000     ZBFXU |"}},
                      {kUnit,
                       {{-1.5e-3, 2.5e5, -0.25}},
                       "X",
                       {" -0.15000E-02  0.25000E+06 -0.25000         -0.00   90.00 0.25000E+06 X|"}}};
  for (const Row& r : rows) EXPECT_EQ(lines_of([&] { vshow(r.text, r.v, r.unit); }), r.want);
}

TEST(Printing, VprintAndVprf) {
  EXPECT_EQ(
      lines_of([] {
        vprint("P", Vec3{{1.0, -2.5e-3, 12345.678}}, kUnit);
      }),
      (Lines{"0VPRINTN dump of: P|", "        0.1000000000000D+01  -0.2500000000000D-02   0.1234567800000D+05|"}));
  const Lines fixed{" W=|", "     1.0000   -2.5000    3.2500|"};
  struct Row {
    std::string desc;
    Lines want;
  };
  const Row rows[] = {{"3E12.4", {" W=|", "   0.1000E+01 -0.2500E+01  0.3250E+01|"}},
                      // The inner group, taken up again, begins with its slash: an empty line.
                      {"2F9.3", {" W=|", "     1.000   -2.500|", "|", "     3.250|"}},
                      // 43 characters fit, 44 write nothing; trailing blanks do not count.
                      {"F10.4,F10.4," + std::string(26, ' ') + "F10.4", fixed},
                      {"F10.4,F10.4," + std::string(27, ' ') + "F10.4", {}},
                      {"3F10.4" + std::string(38, ' '), fixed},
                      // Not a format, or a repeated group that would never take a component.
                      {"xyz", {}},
                      {"2X", {}},
                      {"F10.4),('a'", {}}};
  const Vec3 v{{1.0, -2.5, 3.25}};
  for (const Row& r : rows) EXPECT_EQ(lines_of([&] { vprf("W", v, kUnit, r.desc); }), r.want) << r.desc;
}

}  // namespace
}  // namespace kest
