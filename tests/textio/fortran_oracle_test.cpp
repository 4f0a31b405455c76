// The formatted writer against the Fortran runtime: a small Fortran program,
// built with gfortran at test time, writes many values under F, E, D, G and I
// descriptors of many widths; our writer must give the same bytes. A second
// program writes lists under formats with parenthesised groups and repeat
// counts (the writer's group cursor and the taking up again of a format whose
// items outlast it); its output is also kept in fortran_groups.golden beside
// this file, so that the group layouts are still compared where gfortran is
// missing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <vector>

#include "session.hpp"
#include "textio/textio.hpp"

namespace {

using kest::testing::ScratchDir;

bool have_gfortran() { return std::system("gfortran --version > /dev/null 2>&1") == 0; }

const char* const kRealFormats[] = {
    "(F10.6)", "(F6.2)",  "(F7.1)",  "(F10.2)", "(F15.8)", "(F15.5)", "(F8.5)", "(F5.1)",  "(F4.3)", "(F3.0)",
    "(F12.4)", "(F25.16)", "(E12.5)", "(E11.5)", "(E15.7)", "(E9.2)", "(D22.13)", "(D12.4)", "(G12.5)", "(G15.7)",
    "(G13.5)", "(G10.3)", "(G9.2)",  "(G25.16)", "(E10.1)", "(F1.0)",  "(G12.1)"};
const char* const kIntFormats[] = {"(I4)", "(I5)", "(I8)", "(I1)", "(I2)", "(I11)"};

// Values: random magnitudes from 1e-12 to 1e12 of both signs, exact decimal
// ties, zeros of both signs, and values at the edges of the G ranges.
std::vector<double> oracle_values() {
  std::vector<double> v = {0.0, -0.0, 0.5, -0.5, 1.125, 2.5, 0.125, 1.0, 99999.5, 99999.49, 0.1, 0.09999996,
                           0.099999, 1e5, 123456.0, -1234.5, 0.01234, 104.0, 9.99995, 9.999949, 1e-300, 1e300,
                           3.14159265358979, 57.29577951308238, 0.05, 0.15, 0.25, -0.004, 1000.0, 999.95,
                           HUGE_VAL, -HUGE_VAL, std::nan("")};
  std::mt19937_64 rng(20141610);
  std::uniform_real_distribution<double> mag(-12.0, 12.0);
  for (int i = 0; i < 700; ++i) {
    double x = std::pow(10.0, mag(rng));
    if (rng() & 1) x = -x;
    v.push_back(x);
  }
  // Exact binary ties at several decimal positions.
  for (int i = 0; i < 200; ++i) {
    const double k = static_cast<double>(rng() % 200000);
    const int sh = static_cast<int>(rng() % 6);
    double x = (k + 0.5) / std::pow(2.0, sh);
    if (rng() & 1) x = -x;
    v.push_back(x);
  }
  return v;
}

std::vector<long> oracle_ints() {
  std::vector<long> v = {0, 1, -1, 9, -9, 10, 99, -99, 999, 1000, -1000, 9999, 10000, 2147483647, -2147483647};
  std::mt19937_64 rng(7);
  for (int i = 0; i < 100; ++i) v.push_back(static_cast<long>(static_cast<std::int32_t>(rng())) >> (rng() % 31));
  return v;
}

std::string shortest(double x) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.17g", x);
  return buf;
}

TEST(FortranOracle, FormattedWriterMatchesGfortranByteForByte) {
  if (!have_gfortran()) GTEST_SKIP() << "gfortran is not installed: the differential test of the writer is skipped";
  ScratchDir dir;
  const auto reals = oracle_values();
  const auto ints = oracle_ints();
  std::ostringstream vals;
  for (double x : reals) vals << shortest(x) << "\n";
  dir.write("reals.txt", vals.str());
  std::ostringstream ivals;
  for (long i : ints) ivals << i << "\n";
  dir.write("ints.txt", ivals.str());

  std::ostringstream prog;
  prog << "program oracle\n  implicit none\n  double precision :: x\n  integer :: i, ios\n";
  prog << "  open(10, file='reals.txt', status='old')\n  open(20, file='out.txt', status='replace')\n";
  prog << "  do\n    read(10, *, iostat=ios) x\n    if (ios /= 0) exit\n";
  for (const char* f : kRealFormats) prog << "    write(20, '" << f << "') x\n";
  prog << "  end do\n  close(10)\n  open(11, file='ints.txt', status='old')\n";
  prog << "  do\n    read(11, *, iostat=ios) i\n    if (ios /= 0) exit\n";
  for (const char* f : kIntFormats) prog << "    write(20, '" << f << "') i\n";
  prog << "  end do\n  close(20)\nend program oracle\n";
  dir.write("oracle.f90", prog.str());

  const std::string cmd = "cd '" + dir.path().string() + "' && gfortran -O0 oracle.f90 -o oracle && ./oracle";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << "the Fortran oracle did not build or run";
  const auto expected = kest::testing::lines_of(dir.read("out.txt"));

  std::vector<std::string> got;
  std::vector<kest::Format> rf;
  for (const char* f : kRealFormats) rf.emplace_back(f);
  std::vector<kest::Format> inf;
  for (const char* f : kIntFormats) inf.emplace_back(f);
  std::vector<std::string> what;
  for (double x : reals)
    for (std::size_t k = 0; k < rf.size(); ++k) {
      std::string s = kest::format_lines(rf[k], {x});
      s.pop_back();
      got.push_back(s);
      what.push_back(std::string(kRealFormats[k]) + " of " + shortest(x));
    }
  for (long i : ints)
    for (std::size_t k = 0; k < inf.size(); ++k) {
      std::string s = kest::format_lines(inf[k], {static_cast<std::int32_t>(i)});
      s.pop_back();
      got.push_back(s);
      what.push_back(std::string(kIntFormats[k]) + " of " + std::to_string(i));
    }
  ASSERT_EQ(got.size(), expected.size());
  int mismatches = 0;
  for (std::size_t i = 0; i < got.size() && mismatches < 20; ++i) {
    if (got[i] != expected[i]) {
      ++mismatches;
      ADD_FAILURE() << what[i] << ": ours [" << got[i] << "] gfortran [" << expected[i] << "]";
    }
  }
}

// ---- Formats with groups ------------------------------------------------------

using kest::Value;

struct GroupCase {
  const char* format;
  std::vector<Value> values;
};

std::vector<Value> ints(std::initializer_list<std::int32_t> v) { return {v.begin(), v.end()}; }

// Each format with fewer items than it takes (the write stops at the next
// data descriptor), exactly as many, and more (the format is taken up again
// on a new line at its last top-level group, with that group's repeat count,
// or at its beginning when it has no group).
std::vector<GroupCase> group_cases() {
  const char* const two_three = "(2(I4,F8.3),/,3(1X,A4))";
  const char* const nested = "(1X,2(I3,2(F6.2,'|')),' end')";
  const char* const rotsho = "(' dump [',A,']',3(/5X,3F10.6))";
  std::vector<GroupCase> c = {
      {two_three, {1, 2.5, -3}},
      {two_three, {1, 2.5, -3, 0.125, "ab", "cdef", "ghijk"}},
      {two_three, {1, 2.5, -3, 0.125, "ab", "cdef", "ghij", "kl", "mn", "op", "qr"}},
      {two_three, {12, 1.0 / 3.0, 1234, -99.9996, "A", "B", "C", "D", "E", "F", "G", "H"}},
      {nested, {1, 1.5}},
      {nested, {1, 1.5, 2.25, 2, -1.0, 0.5}},
      {nested, {1, 1.5, 2.25, 2, -1.0, 0.5, 3, 100.0, -0.125, 4, 1e-3}},
      {"(5G12.5)", {104.0, 0.0, 123456.0, -1234.5, 0.01234, 3.14159265358979, 57.29577951308238, 1e5, 99999.5,
                    0.1, -2.5e-7}},
      {"(1X,2F7.2)", {280.12, -25.2, 0.0, 1.005, 99.995}},
      {"('h',2(' g',I2))", ints({1, 2, 3})},
      {"('h',2(' g',I2))", ints({1, 2, 3, 4, 5})},
      {"(I3,2(1X,F5.1))", {1, 2.0, 3.0, 4.0, 5.0, 6.25}},
      {rotsho, {"BFRM", 1.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 1.0}},
      {rotsho, {"BFRM", 0.36, -0.48, 0.8}},
      {"(I2,2(I3,3(I4)))", ints({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20})},
      {"(' hdr',2(' -'),2(I2))", {}},
      {"(I3,2(' a',I3))", ints({7})},
      {"(2(2(I1,1X),'|'))", ints({1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 1})},
      {"(2(I2),3(F4.1),I3)", {1, 2, 0.5, 1.5, 2.5, 30, 3.5, 4.5, 5.5, 40, 6.5}},
      {"(A2,2(I2,2(F5.1)),'.')", {"ab", 1, 0.5, 1.5, 2, 2.5, 3.5, 3, 4.5, 5.5, 4, 6.5}},
      {"(2(G10.3,1X),'|',E11.4,D12.4)", {0.001234, 123.456, -98765.4321, 1e-10, 6.02214076e23}},
      {"(3(1X,E10.3))", {1.0, -2.0, 3e-5, 4e5, -0.5}},
      {"(2(I3))", ints({1, 2})},
      {"(2(I3))", ints({1, 2, 3, 4})},
      {"(1X,3(A3,'='),I2)", {"a", "b", "c", 4, "d", "e"}},
      {"(2(I3,/))", ints({1, 2, 3})},
      {"(I2,/,2(/,I2))", ints({1, 2, 3, 4})},
      // Skipped positions (nX) turn into blanks only when something follows
      // them on the line, with and without groups.
      {"(I3,1X)", ints({1})},
      {"('a',2X)", {}},
      {"(1X)", {}},
      {"(I3,2X,/,I3)", ints({1, 2})},
      {"(1X,I3)", {}},
      {"(I3,3X,'b',2X)", ints({1})},
      {"(I3,2X,A)", {1, ""}},
      {"(2X,'',/)", {}},
      {"(I2,3X,1X,I2)", ints({5})},
      {"(I2,2(3X,1X,I2))", ints({5, 6})},
      {"(2(1X,2X),I2)", ints({5})},
      {"(1X,2(2X),/,2(1X,'x'))", {}},
  };
  return c;
}

// A Fortran literal of a value: reals with 17 significant digits and a D
// exponent (read back exactly), texts quoted.
std::string fortran_literal(const Value& v) {
  switch (v.kind()) {
    case Value::Kind::int32:
      return std::to_string(v.as_int());
    case Value::Kind::text: {
      std::string t = "'";
      for (char ch : v.as_text()) t += ch == '\'' ? std::string("''") : std::string(1, ch);
      return t + "'";
    }
    default: {
      std::string t = shortest(v.as_real());
      const auto e = t.find('e');
      return e == std::string::npos ? t + "d0" : t.replace(e, 1, "d");
    }
  }
}

std::string quote_format(const char* f) {
  std::string t;
  for (const char* p = f; *p != '\0'; ++p) t += *p == '\'' ? std::string("''") : std::string(1, *p);
  return t;
}

// Our output for every case, each after a line "@@ <format>".
std::string groups_ours(const std::vector<GroupCase>& cases) {
  std::string out;
  for (const auto& c : cases) {
    out += std::string("@@ ") + c.format + "\n";
    kest::format_append(out, kest::Format(c.format), c.values.data(), c.values.size());
  }
  return out;
}

// gfortran's output for every case in the same shape, or "" when the
// program could not be built or run.
std::string groups_gfortran(const std::vector<GroupCase>& cases) {
  ScratchDir dir;
  std::ostringstream prog;
  prog << "program groups\n  implicit none\n  open(20, file='out.txt', status='replace')\n";
  for (const auto& c : cases) {
    prog << "  write(20, '(A)') '@@ " << quote_format(c.format) << "'\n";
    prog << "  write(20, '" << quote_format(c.format) << "')";
    for (std::size_t i = 0; i < c.values.size(); ++i)
      prog << (i == 0 ? " &\n    " : ", &\n    ") << fortran_literal(c.values[i]);
    prog << "\n";
  }
  prog << "  close(20)\nend program groups\n";
  dir.write("groups.f90", prog.str());
  const std::string cmd = "cd '" + dir.path().string() +
                          "' && gfortran -O0 -ffree-line-length-none groups.f90 -o groups && ./groups";
  if (std::system(cmd.c_str()) != 0) return "";
  return dir.read("out.txt");
}

std::filesystem::path golden_path() { return std::filesystem::path(__FILE__).parent_path() / "fortran_groups.golden"; }

std::string read_text(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Line-by-line comparison naming the case of each differing line.
void compare_lines(const std::string& ours, const std::string& theirs, const char* who) {
  const auto a = kest::testing::lines_of(ours);
  const auto b = kest::testing::lines_of(theirs);
  std::string at;
  int mismatches = 0;
  for (std::size_t i = 0; i < std::max(a.size(), b.size()) && mismatches < 20; ++i) {
    const std::string x = i < a.size() ? a[i] : "<none>";
    const std::string y = i < b.size() ? b[i] : "<none>";
    if (y.rfind("@@ ", 0) == 0) at = y;
    if (x != y) {
      ++mismatches;
      ADD_FAILURE() << at << " line " << i + 1 << ": ours [" << x << "|] " << who << " [" << y << "|]";
    }
  }
  EXPECT_EQ(ours, theirs) << "the outputs differ (line ends included)";
}

// With gfortran the writer is compared with it live, and the golden file
// must hold exactly what gfortran wrote (set KEST_FORTRAN_GOLDEN_OUT to a
// path to have gfortran's output written there, to renew the file); without
// gfortran the writer is compared with the golden file.
TEST(FortranOracle, GroupsAndRepeatsMatchGfortranByteForByte) {
  const auto cases = group_cases();
  const std::string ours = groups_ours(cases);
  const std::string golden = read_text(golden_path());
  ASSERT_FALSE(golden.empty()) << "missing " << golden_path();
  if (!have_gfortran()) {
    compare_lines(ours, golden, "golden file");
    return;
  }
  const std::string theirs = groups_gfortran(cases);
  ASSERT_FALSE(theirs.empty()) << "the Fortran program did not build or run";
  if (const char* out = std::getenv("KEST_FORTRAN_GOLDEN_OUT")) std::ofstream(out, std::ios::binary) << theirs;
  compare_lines(ours, theirs, "gfortran");
  EXPECT_EQ(golden, theirs) << "fortran_groups.golden no longer holds what gfortran writes";
}

}  // namespace
