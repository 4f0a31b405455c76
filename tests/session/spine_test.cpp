// Whole-program runs of the driver: destination prompt, menu answers, run
// stamps, the listing of option 4 and the matrix test of option 5.
#include <gtest/gtest.h>

#include <algorithm>

#include "session.hpp"

namespace {

using kest::testing::lines_of;
using kest::testing::mask_stamps;
using kest::testing::run_kest;
using kest::testing::ScratchDir;

const std::string kMenu =
    " ? Option Kode   0=quit\n"
    " 1 = Initiate COMMON from an orbital elements file\n"
    " 2 = Read/Save COMMON from/to ASCII or binary file \n"
    " 3 = print Ephemeris tables based upon current COMMON\n"
    " 4 = print COMMON\n"
    " 5 = test computation and print of rotation matrices\n";
const std::string kPrompt = " ?* OUTPUT TO PRINTER OR TERMINAL: [P]/T?\n";
const std::string kStamp = " KESTMN:KEST:2014jun10  Run_time=YYYY Mmm DD hh:mm:ss\n";

// The listing right after start; the unit line differs with the destination.
std::string fresh_listing(const char* iop) {
  const std::string z5 = "  0.0000      0.0000      0.0000      0.0000      0.0000    \n";
  return "   KESTCM 1:30\n"
         "    PLANUM      TC          ODE         CLIN        ARGP    \n" + z5 +
         "    ECC         SJA         OBL         SFLAG       ZBAA    \n" + z5 +
         "    ZBAB        WDOT        W0          OPERIOD     TJP     \n" + z5 +
         "    SIDAY       spar17      TAV         BLIP        BLIP    \n" + z5 +
         "    PBUG        BFRM:1      BFRM:2      BFRM:3      BFRM:4  \n" + z5 +
         "    BFRM:5      BFRM:6      BFRM:7      BFRM:8      BFRM:9  \n" + z5 +
         "   KESTCM 31:41\n"
         "    PICON       R2D         PHFXX:1     PHFXX:2     PHFXX:3 \n"
         "  3.1416      57.296      0.0000      0.0000      0.0000    \n"
         "    HPBXX:1     HPBXX:2     HPBXX:3     SPAV:1      SPAV:2  \n" + z5 +
         "    SPAV:3  \n"
         "  0.0000    \n"
         "IOK,IOS,IOP,IOD=       5       6       " + iop + "       4\n"
         "RUNTIME=YYYY Mmm DD hh:mm:ss\n";
}

const std::string kNoTitle = " Object = " + std::string(25, '\0') + "\n";

TEST(Spine, OptionFourFirstListsTheFreshRecordOnThePrintFile) {
  ScratchDir dir;
  const auto r = run_kest(dir, "p\n4\n0\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, kPrompt + kMenu + kMenu);
  EXPECT_EQ(mask_stamps(r.prt), kStamp + kNoTitle + fresh_listing("3"));
}

TEST(Spine, TerminalChoiceSendsPrintOutputToTheScreen) {
  ScratchDir dir;
  const auto r = run_kest(dir, "t\n4\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(mask_stamps(r.out), kPrompt + kMenu + kStamp + kNoTitle + fresh_listing("6") + kMenu);
  EXPECT_FALSE(dir.exists("kest.prt"));
}

// Destination answers: a first letter t or T gives the screen; anything
// else, or an answer that sets nothing, gives the print file. Empty lines
// are not answers.
TEST(Spine, DestinationAnswers) {
  struct Row {
    const char* answer;
    bool terminal;
  } rows[] = {{"t\n", true},       {"T\n", true},     {"terminal\n", true}, {"\n\n  \nt\n", true},
              {"p\n", false},      {"x\n", false},    {"printer\n", false}, {",\n", false},
              {"/\n", false},      {"'T'\n", true},   {"\n\nP\n", false}};
  for (const auto& row : rows) {
    ScratchDir dir;
    const auto r = run_kest(dir, std::string(row.answer) + "4\n0\n");
    EXPECT_EQ(r.status, 0) << row.answer;
    EXPECT_EQ(dir.exists("kest.prt"), !row.terminal) << row.answer;
    EXPECT_EQ(r.out.find("IOK,IOS,IOP,IOD=") != std::string::npos, row.terminal) << row.answer;
  }
}

// Menu answers: conversion errors and codes above 5 show the menu again with
// no stamp; a code below 1, a null first answer or the end of input end the
// run with status 0.
TEST(Spine, MenuAnswers) {
  struct Row {
    const char* answers;
    int menus;   // times the menu is shown
    int stamps;  // run stamps on the print file
  } rows[] = {
      {"x\n0\n", 2, 0},         {"2.5\n0\n", 2, 0},      {"6\n99\n0\n", 3, 0}, {"-1\n", 1, 0},
      {",\n4\n", 1, 0},         {"/\n", 1, 0},           {"", 1, 0},           {"4\n4\n", 3, 2},
      {"4\n,\n0\n", 3, 2},      {"4\n/\n-7\n", 3, 2},    {"4 5\n0\n", 2, 1},   {"1e3\n0\n", 2, 0},
      {"2147483648\n0\n", 2, 0}, {"\n\n4\n", 2, 1},
  };
  for (const auto& row : rows) {
    ScratchDir dir;
    const auto r = run_kest(dir, std::string("p\n") + row.answers);
    EXPECT_EQ(r.status, 0) << row.answers;
    int menus = 0;
    for (std::size_t p = r.out.find(" ? Option Kode"); p != std::string::npos; p = r.out.find(" ? Option Kode", p + 1))
      ++menus;
    EXPECT_EQ(menus, row.menus) << row.answers;
    const auto lines = lines_of(r.prt);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const std::string& l) { return l.rfind(" KESTMN:", 0) == 0; }),
              row.stamps)
        << row.answers;
  }
}

TEST(Spine, OptionFiveBeforeSetupTestsTheZeroMatrix) {
  ScratchDir dir;
  const auto r = run_kest(dir, "p\n5\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(mask_stamps(r.prt), kStamp +
                                    " ROTSHO dump of [BFRM]\n"
                                    "       0.000000  0.000000  0.000000\n"
                                    "       0.000000  0.000000  0.000000\n"
                                    "       0.000000  0.000000  0.000000\n"
                                    " Delta Determ., max Dev = 1.0 1.0\n");
}

TEST(Spine, UnwritablePrintFileFallsBackToTheScreen) {
  ScratchDir dir;
  std::filesystem::create_directory(dir.path() / "kest.prt");
  const auto r = run_kest(dir, "p\n4\n");
  EXPECT_EQ(r.status, 1);  // no print file, although its output reached the screen
  EXPECT_NE(r.out.find("Cannot open print file kest.prt: Is a directory"), std::string::npos);
  EXPECT_NE(r.out.find("IOK,IOS,IOP,IOD=       5       6       6       4"), std::string::npos);
}

TEST(Spine, ExistingPrintFileIsReplacedOnlyWhenWrittenTo) {
  ScratchDir dir;
  dir.write("kest.prt", "old content\n");
  run_kest(dir, "p\n0\n");
  EXPECT_EQ(dir.read("kest.prt"), "old content\n");
  run_kest(dir, "p\n4\n0\n");
  EXPECT_EQ(dir.read("kest.prt").rfind(" KESTMN:", 0), 0u);
}

TEST(Spine, HostileKeyboardInputEndsCleanly) {
  std::string junk(5'000'000, 'z');
  junk[10] = '\0';
  junk += "\n\xff\xfe\x01\n";
  for (int i = 0; i < 10000; ++i) junk += "bad\n";
  ScratchDir dir;
  const auto r = run_kest(dir, "p\n" + junk + "-2147483649\n1e400\n");
  EXPECT_EQ(r.status, 0);
}

}  // namespace
