// Option 2: the binary and ASCII state files, the dialogue, and the failures
// that must leave memory and files exactly as they were. Every test runs in
// a scratch directory of its own with the keyboard, screen and print unit
// connected to strings.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "record/kestcm.hpp"
#include "state/kstate.hpp"
#include "textio/textio.hpp"

namespace kest {
namespace {

namespace fs = std::filesystem;

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void spit(const std::string& path, const std::string& s) {
  std::ofstream(path, std::ios::binary) << s;
}

std::vector<std::string> lines_of(const std::string& s) {
  std::vector<std::string> v;
  std::size_t p = 0;
  while (p < s.size()) {
    std::size_t nl = s.find('\n', p);
    if (nl == std::string::npos) nl = s.size();
    v.push_back(s.substr(p, nl - p));
    p = nl + 1;
  }
  return v;
}

std::size_t count_of(const std::string& hay, const std::string& needle) {
  std::size_t n = 0;
  for (std::size_t p = hay.find(needle); p != std::string::npos; p = hay.find(needle, p + 1)) ++n;
  return n;
}

// Everything in memory that option 2 may touch.
struct Memory {
  std::array<std::uint64_t, 41> bits{};
  std::array<std::int32_t, 4> units{};
  FixedText<20> RUNTIME;
  FixedText<14> VERSID;
  FixedText<25> TITLE;
  bool operator==(const Memory&) const = default;
};

Memory snapshot(const FixedText<25>& title) {
  Memory m;
  for (int k = 1; k <= 41; ++k) m.bits[static_cast<std::size_t>(k - 1)] = std::bit_cast<std::uint64_t>(KESTCM.pos(k));
  m.units = {KESTCM.IOK, KESTCM.IOS, KESTCM.IOP, KESTCM.IOD};
  m.RUNTIME = KESTCM.RUNTIME;
  m.VERSID = KESTCM.VERSID;
  m.TITLE = title;
  return m;
}

// Every file below the scratch directory, with its content.
std::map<std::string, std::string> files_in(const fs::path& dir) {
  std::map<std::string, std::string> m;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    const std::string p = e.path().string();
    m[p] = e.is_regular_file() ? slurp(p) : std::string("<not a file>");
  }
  return m;
}

// The state of the ASCII layout row below: Mars-like values and fields that
// take the E form, a three-digit exponent and a value just under 0.1.
void set_layout_state() {
  const std::array<std::pair<int, double>, 14> v = {{{1, 104.0},
                                                     {2, -0.5},
                                                     {3, 0.8653087},
                                                     {6, 0.0934},
                                                     {7, 1.523679},
                                                     {14, 686.98},
                                                     {15, -1234.5678},
                                                     {16, 1.025957},
                                                     {20, 5.0},
                                                     {22, 12345678.9},
                                                     {23, -1.0e-5},
                                                     {24, 1.0e-120},
                                                     {25, 0.09999999},
                                                     {30, 0.0}}};
  for (const auto& [k, x] : v) KESTCM.pos(k) = x;
}

class Kestio : public ::testing::Test {
 protected:
  void SetUp() override {
    home_ = fs::current_path();
    char tmpl[] = "/tmp/kestio_test_XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    fs::current_path(dir_);
    KESTCM = KestCommon{};
    set_start_defaults(KESTCM);
    KESTCM.RUNTIME.set("2024 Jan  5 10:20:30");
    connect_output(6, string_sink(&screen_));
    connect_output(3, string_sink(&print_));
  }
  void TearDown() override {
    reset_units();
    fs::current_path(home_);
    for (const auto& e : fs::recursive_directory_iterator(dir_)) {
      if (e.is_directory() && !e.is_symlink()) fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add);
    }
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add);
    fs::remove_all(dir_);
  }
  void run(const std::string& answers) {
    connect_input(5, string_source(answers));
    kestio(title_);
    flush_all();
  }
  void clear_output() {
    screen_.clear();
    print_.clear();
  }

  fs::path home_, dir_;
  std::string screen_, print_;
  FixedText<25> title_;
};

// ---- Binary state file --------------------------------------------------------

TEST_F(Kestio, BinarySaveIntoNewFileZeroFillsSkippedRecords) {
  KESTCM.PLANUM = 104.0;
  KESTCM.TC = -0.5;
  run("2\n1\n3\n");
  const std::string f = slurp("KESTCM.DAT");
  ASSERT_EQ(f.size(), 720u);
  EXPECT_EQ(f.substr(0, 480), std::string(480, '\0'));
  // IEEE-754 little-endian: 104.0 = 0x405A000000000000, -0.5 = 0xBFE0000000000000.
  EXPECT_EQ(f.substr(480, 16), std::string("\0\0\0\0\0\0\x5A\x40\0\0\0\0\0\0\xE0\xBF", 16));
  EXPECT_EQ(f.substr(496), std::string(224, '\0'));

  // Record 1 was skipped over: it reads back as zeros.
  clear_output();
  KESTCM.ECC = 0.25;
  const Memory before = snapshot(title_);
  run("1\n1\n1\n");
  for (int k = 1; k <= 30; ++k) EXPECT_EQ(KESTCM.pos(k), 0.0) << "position " << k;
  EXPECT_EQ(title_.view(), "From Binary: unknown     ");
  Memory after = snapshot(title_);
  for (std::size_t k = 30; k < 41; ++k) EXPECT_EQ(after.bits[k], before.bits[k]) << "position " << k + 1;
  EXPECT_EQ(after.units, before.units);
  EXPECT_EQ(after.RUNTIME, before.RUNTIME);
  EXPECT_EQ(after.VERSID, before.VERSID);
  EXPECT_EQ(print_, "0KESTIO: /KESTCM/ FROM KESTCM.DAT RECORD 1  IPLAN,TC=  0.0 0.000\n\n");
}

// Random bit patterns (NaN payloads and subnormals included) written into
// all 15 records in shuffled order, three times over: after every save the
// file must equal the expected image (the one record replaced, the rest
// untouched), and every record must restore bit for bit.
TEST_F(Kestio, BinaryRoundTripIsBitExactAndTouchesOneRecord) {
  std::mt19937_64 rng(0x6b657374);
  std::array<std::array<std::uint64_t, 30>, 16> held{};
  std::string image;
  std::vector<int> order(15);
  for (int pass = 0; pass < 3; ++pass) {
    std::iota(order.begin(), order.end(), 1);
    std::shuffle(order.begin(), order.end(), rng);
    for (const int n : order) {
      auto& r = held[static_cast<std::size_t>(n)];
      for (int k = 1; k <= 30; ++k) {
        r[static_cast<std::size_t>(k - 1)] = rng();
        KESTCM.pos(k) = std::bit_cast<double>(r[static_cast<std::size_t>(k - 1)]);
      }
      clear_output();
      run("2\n1\n" + std::to_string(n) + "\n");
      ASSERT_NE(print_.find("KESTCM.DAT RECORD"), std::string::npos) << screen_;
      const std::size_t off = static_cast<std::size_t>(n - 1) * 240;
      if (image.size() < off + 240) image.resize(off + 240, '\0');
      for (std::size_t k = 0; k < 30; ++k)
        for (std::size_t j = 0; j < 8; ++j) image[off + 8 * k + j] = static_cast<char>(r[k] >> (8 * j));
      ASSERT_EQ(slurp("KESTCM.DAT"), image) << "after saving record " << n;
    }
  }
  for (int n = 1; n <= 15; ++n) {
    for (int k = 1; k <= 30; ++k) KESTCM.pos(k) = 0.0;
    const Memory before = snapshot(title_);
    run("1\n1\n" + std::to_string(n) + "\n");
    const Memory after = snapshot(title_);
    for (std::size_t k = 0; k < 30; ++k) ASSERT_EQ(after.bits[k], held[static_cast<std::size_t>(n)][k]) << n;
    for (std::size_t k = 30; k < 41; ++k) ASSERT_EQ(after.bits[k], before.bits[k]);
  }
}

TEST_F(Kestio, RecordNumbersOutsideOneToFifteenAreAskedAgain) {
  run("2\n1\n0\n16\n-3\n15\n");
  EXPECT_EQ(count_of(screen_, "\n MAXIMUM RECORD = 15\n"), 3u) << screen_;
  EXPECT_EQ(count_of(screen_, "  ?* RECORD IN FILE KESTCM.DAT?\n"), 4u);
  EXPECT_EQ(fs::file_size("KESTCM.DAT"), 15u * 240u);
}

// The confirmation lines; expected texts written by gfortran with the same
// formats and values (binary), and laid out by hand from the free-format
// rule (ASCII: a leading blank, then the texts joined, FNAME at 30 columns).
TEST_F(Kestio, ConfirmationLines) {
  struct Row {
    double PLANUM, TC;
    std::string first, second;  // keyboard answers: an optional save, then the line shown
    std::string expected;       // print unit after the second answers
  };
  const std::vector<Row> rows = {
      {104.0, 0.0, "", "2\n1\n7\n",
       "0KESTIO: /KESTCM/  TO  KESTCM.DAT RECORD 7  IPLAN,TC=104.0 0.000\n\n"},
      {1234.0, -0.5, "2\n1\n15\n", "1\n1\n15\n",
       "0KESTIO: /KESTCM/ FROM KESTCM.DAT RECORD15  IPLAN,TC=*****-0.500\n\n"},
      {104.0, 0.0, "", "2\n2\n\n/\n", "  ASCII RECORD  TO  FILE =KESTCM.mat                    \n"},
      {104.0, 0.0, "2\n2\n,\n", "1\n2\n'KESTCM.mat'\n",
       "  ASCII RECORD FROM FILE =KESTCM.mat                    \n"},
  };
  for (const Row& r : rows) {
    KESTCM.PLANUM = r.PLANUM;
    KESTCM.TC = r.TC;
    if (!r.first.empty()) {
      run(r.first);
      KESTCM.PLANUM = KESTCM.TC = 0.0;
    }
    clear_output();
    run(r.second);
    EXPECT_EQ(print_, r.expected) << screen_;
  }
}

// ---- The dialogue ---------------------------------------------------------------

TEST_F(Kestio, AnswersToTheFirstTwoQuestions) {
  const std::string q1 = "  ?* 1=READ FROM FILE  2=SAVE NEW RECORD\n";
  const std::string q2 = "  ?* 1=BINARY (UNFORMATTED)   2=ASCII (FORMATTED)\n";
  struct Row {
    std::string answers;
    std::size_t asked1, asked2;
    std::string confirmation;  // start of the print line
  };
  const std::vector<Row> rows = {
      {"3\n1\n2\n", 1, 1, "0KESTIO: /KESTCM/  TO "},     // any number above 1 saves
      {"99\n0\n2\n", 1, 1, "0KESTIO: /KESTCM/  TO "},    // kind 0 is binary
      {"0\n-1\nx\n1\n-5\n2\n", 4, 1, "0KESTIO: /KESTCM/ FROM"},
      {"2\n3.5\n7\n", 1, 2, "  ASCII RECORD  TO "},     // kind 7 is ASCII
  };
  for (const Row& r : rows) {
    clear_output();
    run(r.answers + "'x.mat'\n");
    EXPECT_EQ(count_of(screen_, q1), r.asked1) << r.answers;
    EXPECT_EQ(count_of(screen_, q2), r.asked2) << r.answers;
    EXPECT_EQ(print_.substr(0, r.confirmation.size()), r.confirmation) << r.answers << screen_;
  }
}

TEST_F(Kestio, EndOfInputAtAnyQuestionChangesNothing) {
  struct Row {
    std::string answers;
    bool creates_binary;  // the binary file is opened before the record question
  };
  const std::vector<Row> rows = {{"", false},         {"2\n", false},    {"1\n1\n", true},
                                 {"2\nabc\n", false}, {"1\n2\n", false}, {"2\n1\nx\n", true}};
  set_layout_state();
  for (const Row& r : rows) {
    fs::remove("KESTCM.DAT");
    clear_output();
    const Memory before = snapshot(title_);
    run(r.answers);
    EXPECT_EQ(snapshot(title_), before) << r.answers;
    EXPECT_EQ(print_, "") << r.answers;
    EXPECT_EQ(fs::exists("KESTCM.DAT"), r.creates_binary) << r.answers;
    if (r.creates_binary) {
      EXPECT_EQ(fs::file_size("KESTCM.DAT"), 0u);
    }
    EXPECT_FALSE(fs::exists("KESTCM.mat"));
  }
}

// ---- ASCII state files ------------------------------------------------------------

// Expected record written by gfortran from the same formats and values.
TEST_F(Kestio, AsciiSaveLayoutAndRestore) {
  set_layout_state();
  title_.set("Mars");
  run("2\n2\n/\n");
  EXPECT_EQ(lines_of(screen_).back(), " KESTIO@30 >Mars                     < 4");
  EXPECT_EQ(slurp("KESTCM.mat"),
            "KEST:2014jun10 2024 Jan  5 10:20:30 IPLAN,TC= 104.0-0.50000 Mars\n"
            "   104.0000     -0.5000000      0.8653087       0.000000       0.000000    \n"
            "  0.9340000E-01   1.523679       0.000000       0.000000       0.000000    \n"
            "   0.000000       0.000000       0.000000       686.9800      -1234.568    \n"
            "   1.025957       0.000000       0.000000       0.000000       5.000000    \n"
            "   0.000000      0.1234568E+08 -0.1000000E-04  0.1000000-119  0.9999999E-01\n"
            "   0.000000       0.000000       0.000000       0.000000       0.000000    \n");

  for (int k = 1; k <= 30; ++k) KESTCM.pos(k) = 9.0;
  KESTCM.RUNTIME.set("1999 Dec 31 23:59:59");
  title_.set("something else");
  run("1\n2\nKESTCM.mat\n");
  EXPECT_EQ(title_.view(), "Mars                     ");
  EXPECT_EQ(KESTCM.RUNTIME.view(), "2024 Jan  5 10:20:30");
  EXPECT_EQ(KESTCM.PLANUM, 104.0);
  EXPECT_EQ(KESTCM.TC, -0.5);
  EXPECT_EQ(KESTCM.OPERIOD, 686.98);
  EXPECT_EQ(KESTCM.TJP, -1234.568);
  EXPECT_EQ(KESTCM.BFRM.at(3), 1.0e-120);
  EXPECT_EQ(KESTCM.BFRM.at(4), 0.09999999);
  EXPECT_EQ(KESTCM.BFRM.at(1), 12345680.0);
}

TEST_F(Kestio, TwoSavesGiveFourteenLinesAndRestoreTakesTheFirst) {
  KESTCM.PLANUM = 104.0;
  KESTCM.SJA = 1.523679;
  title_.set("Phobos and Deimos");
  run("2\n2\n/\n");
  KESTCM.PLANUM = 302.0;
  KESTCM.SJA = 2.7675;
  KESTCM.RUNTIME.set("2025 Feb  6 11:00:00");
  title_.set("Ceres");
  run("2\n2\n/\n");
  EXPECT_EQ(lines_of(slurp("KESTCM.mat")).size(), 14u);
  run("1\n2\n/\n");
  EXPECT_EQ(KESTCM.PLANUM, 104.0);
  EXPECT_EQ(KESTCM.SJA, 1.523679);
  EXPECT_EQ(KESTCM.RUNTIME.view(), "2024 Jan  5 10:20:30");
  EXPECT_EQ(title_.view(), "Phobos an                ");  // columns 61-69 only
}

// A save writes asterisks in the header when PLANUM or TC do not fit their
// fields; the body carries both values, so the file still restores.
TEST_F(Kestio, HeaderAsterisksStillRestore) {
  KESTCM.PLANUM = 1234.0;
  KESTCM.TC = -12.5;
  title_.set("Comet X");
  run("2\n2\n/\n");
  // Header as gfortran writes it for these values.
  EXPECT_EQ(lines_of(slurp("KESTCM.mat"))[0],
            "KEST:2014jun10 2024 Jan  5 10:20:30 IPLAN,TC= ************* Comet X");
  KESTCM.PLANUM = KESTCM.TC = 0.0;
  run("1\n2\n/\n");
  EXPECT_EQ(KESTCM.PLANUM, 1234.0);
  EXPECT_EQ(KESTCM.TC, -12.5);
}

// Fields without a decimal point take the field's decimal count (7 for the
// body, 1 for PLANUM, 5 for TC); blank fields and short lines read as 0.
TEST_F(Kestio, HandEditedFile) {
  const auto field = [](const std::string& t) { return std::string(15 - t.size(), ' ') + t; };
  const std::string header = "KEST:2014jun10 2024 Jan  5 10:20:30 IPLAN,TC=  1040   50000 Venus\n";
  const std::string first = field("104") + field("5") + field("5") + field("1.e-3") + field("") + "\n";
  const std::string last = std::string(60, ' ') + "-12.5E1\n";
  // Blank lines in the body would read as zeros and shift every later value
  // onto the wrong line: such a record is refused whole.
  spit("blank.mat", header + first + "\n\n\n\n" + last);
  run("1\n2\nblank.mat\n");
  EXPECT_NE(screen_.find("KESTIO: nothing restored from blank.mat: line 3 of the record is blank"), std::string::npos);
  EXPECT_EQ(KESTCM.PLANUM, 0.0);
  EXPECT_EQ(title_, FixedText<25>{});
  // Short lines read as if padded with blanks.
  spit("hand.mat", header + first + field("0") + "\n" + field("0") + "\n" + field("0") + "\n" + field("0") + "\n" + last);
  run("1\n2\nhand.mat\n");
  EXPECT_EQ(KESTCM.PLANUM, 104e-7);
  EXPECT_EQ(KESTCM.TC, 5e-7);
  EXPECT_EQ(KESTCM.ODE, 5e-7);
  EXPECT_EQ(KESTCM.CLIN, 1e-3);
  EXPECT_EQ(KESTCM.ARGP, 0.0);
  EXPECT_EQ(KESTCM.BFRM.at(9), -125.0);
  EXPECT_EQ(title_.view(), "Venus                    ");
}

// A title no option has set is 25 zero bytes, which count as characters.
TEST_F(Kestio, UnsetTitleIsWrittenAsZeroBytes) {
  run("2\n2\n/\n");
  const std::string zeros(25, '\0');
  EXPECT_NE(screen_.find(" KESTIO@30 >" + zeros + "< 25\n"), std::string::npos);
  const std::string header = lines_of(slurp("KESTCM.mat"))[0];
  EXPECT_EQ(header.size(), 85u);
  EXPECT_EQ(header.substr(60), zeros);
  run("1\n2\n/\n");
  EXPECT_EQ(title_.view(), std::string(9, '\0') + std::string(16, ' '));
}

TEST_F(Kestio, AppendStartsOnANewLineAfterALastLineWithoutEnd) {
  spit("KESTCM.mat", "notes without a line end");
  run("2\n2\n/\n");
  const auto lines = lines_of(slurp("KESTCM.mat"));
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[0], "notes without a line end");
  EXPECT_EQ(lines[1].substr(0, 14), "KEST:2014jun10");
}

// Random states over a wide range of magnitudes come back to 7 significant
// digits: each value must equal its own 7-digit decimal rounding, computed
// independently with std::to_chars.
TEST_F(Kestio, AsciiRoundTripToSevenDigits) {
  std::mt19937_64 rng(20140610);
  std::uniform_real_distribution<double> mant(1.0, 10.0);
  std::uniform_int_distribution<int> expo(-200, 200);
  for (int trial = 0; trial < 100; ++trial) {
    std::array<double, 30> v{};
    for (int k = 1; k <= 30; ++k) {
      double x = mant(rng) * std::pow(10.0, expo(rng) % (trial % 4 == 0 ? 200 : 8));
      if (rng() & 1) x = -x;
      if (rng() % 10 == 0) x = 0.0;
      KESTCM.pos(k) = x;
      char buf[40];
      const auto res = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::scientific, 6);
      std::from_chars(buf, res.ptr, v[static_cast<std::size_t>(k - 1)]);
    }
    fs::remove("KESTCM.mat");
    run("2\n2\n/\n");
    for (int k = 1; k <= 30; ++k) KESTCM.pos(k) = -1.0;
    run("1\n2\n/\n");
    for (int k = 1; k <= 30; ++k)
      ASSERT_EQ(KESTCM.pos(k), v[static_cast<std::size_t>(k - 1)]) << "trial " << trial << " position " << k;
  }
}

// ---- Failures: one message, no confirmation, nothing changed -------------------

void write_record_file(const std::string& path, int lines) {
  std::string text =
      "KEST:2014jun10 2024 Jan  5 10:20:30 IPLAN,TC= 104.0 0.00000 Mars\n";
  for (int i = 0; i < 6; ++i) text += "   1.000000       2.000000       3.000000       4.000000       5.000000    \n";
  const auto all = lines_of(text);
  std::string cut;
  for (int i = 0; i < lines; ++i) cut += all[static_cast<std::size_t>(i)] + "\n";
  spit(path, cut);
}

TEST_F(Kestio, FailuresLeaveEverythingAsItWas) {
  struct Row {
    const char* what;
    std::function<void()> setup;
    std::string answers;
    std::string message;      // the whole screen line
    bool files_unchanged;     // false only where the binary file is created
    bool needs_permissions;   // the failure relies on permission bits
  };
  const std::string full(7 * 240, 'A');
  const std::vector<Row> rows = {
      {"binary file missing", [] {}, "1\n1\n1\n",
       " KESTIO: nothing restored from KESTCM.DAT: record 1 lies beyond the end of the file (0 bytes)", false,
       false},
      {"record beyond the end", [&] { spit("KESTCM.DAT", full.substr(0, 480)); }, "1\n1\n3\n",
       " KESTIO: nothing restored from KESTCM.DAT: record 3 lies beyond the end of the file (480 bytes)", true,
       false},
      {"truncated binary file", [&] { spit("KESTCM.DAT", full.substr(0, 500)); }, "1\n1\n3\n",
       " KESTIO: nothing restored from KESTCM.DAT: the file ends inside record 3", true, false},
      {"binary restore from a directory", [] { fs::create_directory("KESTCM.DAT"); }, "1\n1\n1\n",
       " KESTIO: nothing restored from KESTCM.DAT: Is a directory", true, false},
      {"binary save to a directory", [] { fs::create_directory("KESTCM.DAT"); }, "2\n1\n1\n",
       " KESTIO: nothing saved to KESTCM.DAT: Is a directory", true, false},
      {"binary file is a pipe", [] { ::mkfifo("KESTCM.DAT", 0644); }, "1\n1\n1\n",
       " KESTIO: nothing restored from KESTCM.DAT: not a regular file", true, false},
      {"ASCII file missing", [] {}, "1\n2\nnone.mat\n",
       " KESTIO: nothing restored from none.mat: No such file or directory", true, false},
      {"ASCII restore from a directory", [] { fs::create_directory("KESTCM.mat"); }, "1\n2\n/\n",
       " KESTIO: nothing restored from KESTCM.mat: Is a directory", true, false},
      {"ASCII file is a pipe", [] { ::mkfifo("p.mat", 0644); }, "1\n2\np.mat\n",
       " KESTIO: nothing restored from p.mat: not a regular file", true, false},
      {"ASCII file empty", [] { spit("KESTCM.mat", ""); }, "1\n2\n/\n",
       " KESTIO: nothing restored from KESTCM.mat: the file is empty", true, false},
      {"ASCII file cut after 3 lines", [] { write_record_file("KESTCM.mat", 3); }, "1\n2\n/\n",
       " KESTIO: nothing restored from KESTCM.mat: the file ends after line 3 of the 7 lines of a record", true,
       false},
      {"asterisks in the body",
       [] {
         write_record_file("KESTCM.mat", 7);
         std::string s = slurp("KESTCM.mat");
         s.replace(s.find("4.000000", 3 * 76), 8, "********");
         spit("KESTCM.mat", s);
       },
       "1\n2\n/\n", " KESTIO: nothing restored from KESTCM.mat: a field in line 4 is not a number", true, false},
      {"1 MB garbage line",
       [] { spit("KESTCM.mat", std::string(1 << 20, 'Z') + "\n" + slurp("/dev/null")); }, "1\n2\n/\n",
       " KESTIO: nothing restored from KESTCM.mat: a field in line 1 is not a number", true, false},
      {"ASCII save to a directory", [] { fs::create_directory("KESTCM.mat"); }, "2\n2\n/\n",
       " KESTIO: nothing saved to KESTCM.mat: Is a directory", true, false},
      {"ASCII save into a missing directory", [] {}, "2\n2\n'nodir/x.mat'\n",
       " KESTIO: nothing saved to nodir/x.mat: No such file or directory", true, false},
      {"ASCII save to an empty name", [] {}, "2\n2\n''\n",
       " KESTIO: nothing saved to '': no file name given", true, false},
      {"read-only binary file",
       [&] {
         spit("KESTCM.DAT", full);
         fs::permissions("KESTCM.DAT", fs::perms::owner_read);
       },
       "2\n1\n2\n", " KESTIO: nothing saved to KESTCM.DAT: Permission denied", true, true},
      {"read-only directory",
       [] {
         fs::create_directory("ro");
         fs::permissions("ro", fs::perms::owner_read | fs::perms::owner_exec);
       },
       "2\n2\n'ro/x.mat'\n", " KESTIO: nothing saved to ro/x.mat: Permission denied", true, true},
      {"unreadable ASCII file",
       [] {
         write_record_file("KESTCM.mat", 7);
         fs::permissions("KESTCM.mat", fs::perms::none);
       },
       "1\n2\n/\n", " KESTIO: nothing restored from KESTCM.mat: Permission denied", true, true},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    if (r.needs_permissions && ::geteuid() == 0) {
      std::cout << "(row not run: " << r.what << ": permission bits do not bind the superuser)\n";
      continue;
    }
    const fs::path sub = dir_ / (std::string("case_") + std::to_string(&r - rows.data()));
    fs::create_directory(sub);
    fs::current_path(sub);
    r.setup();
    set_layout_state();
    title_.set("Mars");
    clear_output();
    const Memory before = snapshot(title_);
    const auto files = files_in(sub);
    run(r.answers);
    EXPECT_EQ(snapshot(title_), before);
    EXPECT_EQ(print_, "");
    EXPECT_EQ(lines_of(screen_).back(), r.message);
    if (r.files_unchanged) {
      EXPECT_EQ(files_in(sub), files);
    }
    fs::current_path(dir_);
  }
}

// A write that stops part way (here at the file size limit, as a full disk
// would) takes back what it added: earlier records stay readable, the binary
// file keeps its size and bytes.
TEST_F(Kestio, WriteFailuresTakeBackWhatTheyAdded) {
  set_layout_state();
  title_.set("Mars");
  run("2\n2\n/\n");
  run("2\n1\n1\n");
  const std::string ascii = slurp("KESTCM.mat");
  const std::string binary = slurp("KESTCM.DAT");
  clear_output();

  struct rlimit old {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  auto* old_handler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit lim = old;
  lim.rlim_cur = ascii.size() + 100;  // room for part of a second record
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &lim), 0);
  run("2\n2\n/\n");
  const std::string screen_ascii = screen_;
  clear_output();
  run("2\n1\n15\n");
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, old_handler);

  EXPECT_EQ(lines_of(screen_ascii).back(), " KESTIO: nothing saved to KESTCM.mat: File too large");
  EXPECT_EQ(lines_of(screen_).back(), " KESTIO: nothing saved to KESTCM.DAT: File too large");
  EXPECT_EQ(print_, "");
  EXPECT_EQ(slurp("KESTCM.mat"), ascii);
  EXPECT_EQ(slurp("KESTCM.DAT"), binary);
}

}  // namespace
}  // namespace kest
