// The formatted writer against the Fortran runtime: a small Fortran program,
// built with gfortran at test time, writes many values under F, E, D, G and I
// descriptors of many widths; our writer must give the same bytes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <sstream>

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

}  // namespace
