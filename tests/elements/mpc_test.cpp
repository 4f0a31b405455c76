// The orbit file reader: packed designations and epochs, orbit lines
// composed in the file's columns from published elements, the lines it
// passes over and the damaged lines it names.
#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

#include "elements/kelements.hpp"

namespace kest {
namespace {

// The line with text put over it from a column (from 1) on.
std::string with(std::string line, std::size_t column, std::string_view text) {
  if (line.size() < column - 1 + text.size()) line.resize(column - 1 + text.size(), ' ');
  return line.replace(column - 1, text.size(), text);
}

// 1 Ceres at K2669 from the MPC record in minor.md (M, peri, node, i, e, a
// to its printed digits); H, G, the mean motion (k / a^1.5) and columns
// 105-202 are the line's own.
const std::string CERES = [] {
  std::string s;
  const std::pair<std::size_t, const char*> parts[] = {
      {1, "00001"}, {9, " 3.34"}, {15, " 0.12"}, {21, "K2669"}, {27, "274.41935"}, {38, " 73.29420"},
      {49, " 80.24863"}, {60, " 10.58803"}, {71, "0.0796923"}, {81, " 0.21430445"}, {93, "  2.7655526"},
      {106, "0 MPO000001  7000 120 1801-2026 0.60 M-v 30k MPCLINUX   0000"}, {167, "(1) Ceres"}, {195, "20260101"}};
  for (const auto& [column, text] : parts) s = with(s, column, text);
  return s;
}();
// 4 Vesta at K243V from the MPC copy in minor.md, given a provisional
// designation, without H and G, ending at column 103.
const std::string VESTA = "K07Tf8A             K243V 223.65556  151.69316  103.70488    7.14391  0.0898971  "
                          "0.27168892   2.3609571";

// Every field read, in shortest round-trip text: equal texts are equal doubles.
std::string fields(const MpcOrbit& o) {
  std::string s = o.name + "|" + o.designation;
  for (const double x : {o.epoch, o.M, o.peri, o.node, o.i, o.e, o.a, o.H, o.G}) s += "|" + number(x);
  return s;
}

// The MPC's documented examples of each packed form, and refusals.
TEST(MpcPacked, Designations) {
  const struct {
    const char* packed;
    const char* unpacked;  // or "!" and a piece of the reason
  } rows[] = {
      {"00001  ", "1"}, {"A0345", "100345"}, {"a0017", "360017"}, {"z9999", "619999"}, {"~0000", "620000"},
      {"~AZaz", "3140113"},  // 620000 + 10*62^3 + 35*62^2 + 36*62 + 61
      {"J95X00A", "1995 XA"}, {"J95F13B", "1995 FB13"}, {"J98SA8Q", "1998 SQ108"}, {"K08Aa0A", "2008 AA360"},
      {"K07Tf8A", "2007 TA418"}, {"PLS2040", "2040 P-L"}, {"T3S4101", "4101 T-3"},
      {"00000", "!number 0"}, {"~00-0", "!base-62"}, {"J95I00A", "!half-month 'I'"}, {"J95X00I", "!second letter 'I'"},
      {"L95X00A", "!century 'L'"}, {"J95X0AA", "!cycle count"}, {"A034567X", "!5 or 7"},
  };
  for (const auto& r : rows) {
    std::string why;
    const auto d = unpack_designation(r.packed, &why);
    const bool refused = r.unpacked[0] == '!';
    ASSERT_EQ(d.has_value(), !refused) << r.packed << ": " << why;
    EXPECT_TRUE(refused ? why.find(r.unpacked + 1) != std::string::npos : *d == r.unpacked) << r.packed << ": " << why;
  }
}

// Julian dates of 0h TT counted by hand from 2000 January 1.0 = JD
// 2451544.5; K2669 and K243V are the epochs minor.md states. 0: refused.
TEST(MpcPacked, Epochs) {
  const struct {
    const char* packed;
    double jd;
    const char* says;
  } rows[] = {
      {"J9611", 2450083.5, ""}, {"J969U", 2450356.5, ""}, {"J96A1", 2450357.5, ""},  // MPC examples
      {"K01AM", 2452204.5, ""}, {"K2555", 2460800.5, ""}, {"K2669", 2461200.5, ""},  // 2001 Oct 22
      {"K243V", 2460400.5, ""}, {"K242T", 2460369.5, ""}, {"J0031", 2415079.5, ""},  // 1900 Mar 1
      {"I0011", 2378496.5, ""},
      {"K25D5", 0, "no month 'D'"}, {"K2550", 0, "no day '0'"}, {"K255W", 0, "no day 'W'"},
      {"K252U", 0, "2025-02 has no day 30"}, {"J002T", 0, "1900-02 has no day 29"},
      {"K254V", 0, "2025-04 has no day 31"}, {"k2555", 0, "century 'k'"}, {"K255", 0, "5 characters"},
  };
  for (const auto& r : rows) {
    std::string why;
    const auto d = unpack_epoch(r.packed, &why);
    EXPECT_EQ(d.value_or(0.0), r.jd == 0 ? 0.0 : r.jd - 2451545.0) << r.packed << ": " << why;
    EXPECT_NE(why.find(r.says), std::string::npos) << r.packed << ": " << why;
  }
}

TEST(MpcLineReader, OrbitLines) {
  const struct {
    std::string line;
    const char* fields;
  } rows[] = {
      {CERES, "1 Ceres|1|9655.5|274.41935|73.2942|80.24863|10.58803|0.0796923|2.7655526|3.34|0.12"},
      {VESTA, "2007 TA418|2007 TA418|8855.5|223.65556|151.69316|103.70488|7.14391|0.0898971|2.3609571|nan|nan"},
      {with(with(CERES, 1, "A0345"), 167, "(100345)    "), "100345|100345|9655.5|274.41935|73.2942|80.24863|"
                                                          "10.58803|0.0796923|2.7655526|3.34|0.12"},
      // A packing not read here is kept beside a readable designation.
      {with(with(VESTA, 1, "_QA000A"), 167, "2026 AA620"),
       "2026 AA620|_QA000A|8855.5|223.65556|151.69316|103.70488|7.14391|0.0898971|2.3609571|nan|nan"},
  };
  for (const auto& r : rows) {
    MpcOrbit o;
    std::string error;
    EXPECT_EQ(read_mpc_line(r.line, o, error), MpcLine::orbit) << r.line << "\n" << error;
    EXPECT_EQ(fields(o), r.fields);
  }
}

// Lines of other layouts are passed over; orbit lines with a fault are
// named by it. Neither touches the orbit.
TEST(MpcLineReader, SkippedAndDamagedLines) {
  const std::string unnamed = with(CERES, 167, std::string(28, ' '));
  const struct {
    std::string line;
    const char* says;  // "" for a line passed over, else a piece of the message
  } rows[] = {
      {"", ""}, {std::string(202, '-'), ""}, {"ORBITS OF MINOR PLANETS, below the line of dashes", ""},
      {"Des'n     H     G   Epoch     M        Peri.      Node       Incl.       e            n           a", ""},
      {" " + CERES, ""}, {CERES.substr(1), ""}, {with(CERES, 8, "A"), ""}, {with(CERES, 21, "k2669"), ""},
      {with(CERES, 26, "2"), ""},
      {CERES.substr(0, 24), ""}, {std::string("\x00\xff\x01 junk", 9), ""},
      {CERES.substr(0, 102), "cut short at column 102: an orbit line reaches column 103"},
      {CERES.substr(0, 25), "cut short at column 25"},
      {CERES + CERES, "text at column 203, past column 202"},
      {with(CERES, 21, "K262U"), "columns 21-25 (epoch): 'K262U' is not a packed date: 2026-02 has no day 30"},
      {with(CERES, 27, "274.4x935"), "columns 27-35 (mean anomaly): '274.4x935' is not a number"},
      {with(CERES, 71, "0.079 923"), "columns 71-79 (eccentricity): '0.079 923' is not a number"},
      {with(CERES, 93, "      1e999"), "columns 93-103 (semi-major axis): '1e999' is not a number"},
      {with(CERES, 9, " 3.3X"), "columns 9-13 (H): '3.3X' is not a number"},
      {with(CERES, 60, "         "), "columns 60-68 (inclination) are blank"},
      {with(CERES, 27, " 274.41935"), "column 36 is not blank beside columns 27-35 (mean anomaly)"},
      {with(CERES, 92, "2.7655526  "), "column 92 is not blank beside columns 93-103"},
      {with(CERES, 15, " 0.125"), "column 20 is not blank beside columns 15-19 (G)"},
      {with(unnamed, 1, "K07Tf8I"), "columns 1-7 (designation): 'K07Tf8I' is not a packed designation: no second"},
      {with(CERES, 1, "K07 f8A"), "'K07 f8A' is not a designation"},
      {with(CERES, 167, "(1) Ce\x01"), "(readable designation): a byte that is not printable"},
  };
  for (const auto& r : rows) {
    MpcOrbit o;
    o.name = "kept";
    std::string error;
    const MpcLine kind = read_mpc_line(r.line, o, error);
    EXPECT_EQ(kind, *r.says ? MpcLine::damaged : MpcLine::skip) << r.line;
    EXPECT_NE(error.find(r.says), std::string::npos) << r.line << "\n" << error;
    EXPECT_EQ(o.name, "kept");
  }
}

}  // namespace
}  // namespace kest
