// The listing modes, the run stamp layout and the state record's layout.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "main/kestmn.hpp"
#include "session.hpp"

namespace {

using kest::testing::lines_of;

std::string listing(std::int32_t mode) {
  kest::reset_program();
  kest::KESTCM.IOP = 3;
  kest::KESTCM.PICON = kest::PICON;
  kest::KESTCM.R2D = 180.0 / kest::PICON;
  std::string out;
  kest::connect_output(3, kest::string_sink(&out));
  kest::prtpcom(mode);
  kest::flush_all();
  kest::reset_program();
  return out;
}

// Mode 1 lists the first half (13 lines), mode 2 the second (9 lines),
// mode 3 both, 0 and negative values nothing.
TEST(Prtpcom, Modes) {
  struct Row {
    std::int32_t mode;
    std::size_t lines;
    const char* first;
  } rows[] = {{3, 22, "   KESTCM 1:30"}, {1, 13, "   KESTCM 1:30"}, {2, 9, "   KESTCM 31:41"},
              {0, 0, ""},            {-1, 0, ""},               {-3, 0, ""},
              {5, 22, "   KESTCM 1:30"}, {4, 9, "   KESTCM 31:41"}};
  for (const auto& r : rows) {
    const auto lines = lines_of(listing(r.mode));
    EXPECT_EQ(lines.size(), r.lines) << r.mode;
    if (!lines.empty()) {
      EXPECT_EQ(lines[0], r.first) << r.mode;
    }
  }
}

TEST(Prtpcom, ValuesInFixedAndExponentForm) {
  kest::reset_program();
  kest::KESTCM.IOP = 3;
  kest::KESTCM.PLANUM = 104.0;
  kest::KESTCM.TJP = -1234.5;
  kest::KESTCM.SIDAY = 123456.0;
  kest::KESTCM.spar17 = 0.01234;
  std::string out;
  kest::connect_output(3, kest::string_sink(&out));
  kest::prtpcom(1);
  kest::flush_all();
  kest::reset_program();
  const auto lines = lines_of(out);
  ASSERT_EQ(lines.size(), 13u);
  EXPECT_EQ(lines[2], "  104.00      0.0000      0.0000      0.0000      0.0000    ");
  EXPECT_EQ(lines[6], "  0.0000      0.0000      0.0000      0.0000     -1234.5    ");
  EXPECT_EQ(lines[7], "    SIDAY       spar17      TAV         BLIP        BLIP    ");
  EXPECT_EQ(lines[8], " 0.12346E+06 0.12340E-01  0.0000      0.0000      0.0000    ");
  EXPECT_EQ(lines[9], "    PBUG        BFRM:1      BFRM:2      BFRM:3      BFRM:4  ");
}

// Run stamps of known instants in a fixed time zone.
TEST(Catime, StampLayout) {
  const char* old_tz = std::getenv("TZ");
  const std::string saved = old_tz ? old_tz : "";
  ::setenv("TZ", "UTC", 1);
  ::tzset();
  struct Row {
    std::int64_t seconds;
    const char* stamp;
  } rows[] = {
      {1402409133, " 2014 Jun 10 14:05:33 "},
      {1401580800, " 2014 Jun  1 00:00:00 "},
      {0, " 1970 Jan  1 00:00:00 "},
      {2147483648LL, " 2038 Jan 19 03:14:08 "},  // past the 32-bit clock
      {4102444799LL, " 2099 Dec 31 23:59:59 "},
  };
  for (const auto& r : rows) {
    kest::FixedText<22> b;
    kest::catime_at(r.seconds, b);
    EXPECT_EQ(b.view(), r.stamp) << r.seconds;
  }
  if (old_tz) {
    ::setenv("TZ", saved.c_str(), 1);
  } else {
    ::unsetenv("TZ");
  }
  ::tzset();
}

TEST(KestCommon, PositionsFollowTheRecordOrder) {
  kest::KestCommon c;
  c.pos(1) = 1;
  c.pos(20) = 20;
  c.pos(22) = 22;
  c.pos(30) = 30;
  c.pos(31) = 31;
  c.pos(33) = 33;
  c.pos(41) = 41;
  EXPECT_EQ(c.PLANUM, 1);
  EXPECT_EQ(c.KDEBUG, 20);
  EXPECT_EQ(c.BFRM(1, 1), 22);
  EXPECT_EQ(c.BFRM(3, 3), 30);
  EXPECT_EQ(c.PICON, 31);
  EXPECT_EQ(c.PHFXX(1), 33);
  EXPECT_EQ(c.SPAV(3), 41);
  EXPECT_EQ(kest::TI1[16], "spar17  ");
  EXPECT_EQ(kest::TI1[18], "BLIP    ");
  EXPECT_EQ(kest::TI1[19], "BLIP    ");
  EXPECT_EQ(kest::TI1[20], "PBUG    ");
  EXPECT_EQ(kest::TI2[10], "SPAV:3  ");
}

}  // namespace
