// The state-file layer that every face uses: the text/binary rule,
// rollback after a failed write, the lock, and the checks of a state handed
// over for saving. Each test works in a scratch directory of its own.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "session.hpp"
#include "state/kstate.hpp"

namespace kest {
namespace {

namespace fs = std::filesystem;
using testing::ScratchDir;
using testing::WorkIn;

// A state the ephemeris can use: Mars-like values, BFRM the identity.
StateValues good_state() {
  StateValues v{};
  v[0] = 104.0;
  v[5] = 0.0934;
  v[6] = 1.523679;
  v[7] = 0.409092601;
  v[13] = 686.98;
  v[21] = v[25] = v[29] = 1.0;
  return v;
}

std::string binary_record(const StateValues& v) {
  const auto b = encode_binary_record(v);
  return std::string(reinterpret_cast<const char*>(b.data()), b.size());
}

const std::string STAMP = "2024 Jan  5 10:20:30";

TEST(StateFiles, TextAndBinaryRecordsAreNotMixed) {
  ScratchDir dir;
  const WorkIn here(dir.path());
  const std::string bin = binary_record(good_state());
  const std::string text = ascii_record(good_state(), "KEST:2014jun10", STAMP, "Mars");
  // A header written before any option set the title: zero bytes from
  // column 61 on, which must not make the file look binary.
  const std::string unset = ascii_record(good_state(), "KEST:2014jun10", STAMP, std::string(25, '\0'));
  struct Row {
    const char* name;
    std::string content;
    StateKind kind;
    const char* why;  // "" when the save goes through
  };
  const std::vector<Row> rows = {
      {"a.mat", bin, StateKind::text, "it holds binary state records, not text"},
      {"b.mat", std::string(240, '\0'), StateKind::text, "it holds binary state records, not text"},
      {"c.DAT", text, StateKind::binary, "it holds text, not binary state records"},
      {"KESTCM.DAT", "", StateKind::text, "it is named like the binary state file KESTCM.DAT"},
      {"d.mat", unset, StateKind::text, ""},
      {"e.mat", "Notes \xC3\xA9t\xC3\xA9 \xF0\x9F\x94\xAD\n", StateKind::text, ""},
      {"f.DAT", "", StateKind::binary, ""},
      {"g.mat", "", StateKind::text, ""},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    dir.write(r.name, r.content);
    StateError e;
    StateFile f = open_state_file(r.name, r.kind, StateUse::save, true, e);
    const bool ok = f.is_open() && (r.kind == StateKind::text
                                        ? append_text_state(f, good_state(), "KEST:2014jun10", STAMP, "Mars", e)
                                        : write_binary_state(f, 1, good_state(), e));
    EXPECT_EQ(e.why, r.why);
    EXPECT_EQ(ok, *r.why == '\0');
    if (!ok) {
      EXPECT_EQ(dir.read(r.name), r.content);
    }
  }
}

// The edges of the rule (whole records are in the test above).
TEST(StateFiles, WhatCountsAsText) {
  struct Row {
    std::string bytes;
    bool text;
  };
  const std::vector<Row> rows = {
      {std::string(60, 'x') + std::string(10, '\0'), true},  // zero bytes past the window
      {std::string(59, 'x') + "\xC3", true},                 // a character cut by the window
      {"caf\xC3", false},                                    // ... or by the end of the file
      {"x\xC3" "x", false},                                  // a lead byte without its follower
      {"\xC0\xAF", false},                                   // an overlong form
      {"tab\tcr\r\nff\f", true},
      // A save before any option stamped the run: its stamp is zero bytes
      // (a text restore once refused the record as binary).
      {"KEST:2014jun10 " + std::string(20, '\0') + " IPLAN,TC= 104.0 0.00000 x", true},
      {std::string("KEST\0x", 6), false},
      {std::string(8, '\0') + "binary", false},
  };
  for (const Row& r : rows) EXPECT_EQ(holds_text(r.bytes), r.text) << "row " << &r - rows.data();
}

// A title or run stamp from elsewhere comes back as valid UTF-8.
TEST(StateFiles, TextsReadFromElsewhereBecomeUtf8) {
  struct Row {
    std::string in, out;
  };
  const std::vector<Row> rows = {
      {"Phobos:D\xC3", "Phobos:D"},                 // nine bytes ending inside a character
      {"Dé", "Dé"},
      {"\xE9t\xE9!", "\xEF\xBF\xBDt\xEF\xBF\xBD!"},  // Latin-1 bytes
      {"\xED\xA0\x80x", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBDx"},  // a surrogate
      {"ab\xF0\x9F\x94", "ab"},
  };
  for (const Row& r : rows) EXPECT_EQ(utf8_text(r.in), r.out) << r.in;
  EXPECT_EQ(record_text_fault(std::string(25, '\0')), "");  // the dialogue's unset title
  EXPECT_EQ(record_text_fault("a\rb"), "holds a line end");
}

TEST(StateFiles, StatesHandedOverForSavingAreChecked) {
  struct Row {
    int pos;  // 1-based position changed, 0 for none
    double value;
    const char* why;  // start of the fault, "" for none
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const Row rows[] = {
      {0, 0.0, ""},
      {15, nan, "TJP is not a finite number"},
      {20, -INFINITY, "KDEBUG is not a finite number"},
      {6, 1.0, "ECC = 1 is not in [0, 1)"},
      {6, -0.01, "ECC = -0.01 is not in [0, 1)"},
      {7, 0.0, "SJA = 0 is not above 0"},
      {14, -686.98, "OPERIOD = -686.98 is not above 0"},
      {3, 49.56, "ODE = 49.56 is not in [-2 pi, 2 pi]"},  // degrees for radians
      {4, 3.2, "CLIN = 3.2 is not in [-pi, pi]"},
      {10, -3.2, "ZBAA = -3.2 is not in [-pi, pi]"},
      {4, -1.13e-4, ""},     // EM-Bary at TC = 0.5
      {10, 1.5902393, ""},   // the Earth's pole at TC = -2
      {4, 3.141593, ""},     // seven digits of pi
      {26, -1.0, "BFRM is not a rotation"},  // a reflection
      {22, 1.0 + 1e-7, "BFRM is not a rotation"},
      {22, 1.000001, ""},    // seven digits: held to 1e-5
      {22, 1.00002, "BFRM is not a rotation"},
  };
  for (const Row& r : rows) {
    StateValues v = good_state();
    if (r.pos > 0) v[static_cast<std::size_t>(r.pos - 1)] = r.value;
    const std::string why = state_values_fault(v);
    EXPECT_EQ(why.substr(0, std::string(r.why).size()), r.why) << r.pos << ": " << why;
    EXPECT_EQ(why.empty(), *r.why == '\0') << r.pos << ": " << why;
  }
}

// A write that stops at the file size limit (a full disk) fails with the
// system's reason, and the file is as it was; a new file is removed.
TEST(StateFiles, FailedWritesTakeBackWhatTheyAdded) {
  ScratchDir dir;
  const WorkIn here(dir.path());
  const std::string text = ascii_record(good_state(), "KEST:2014jun10", STAMP, "Mars");
  const std::string bin = binary_record(good_state());
  struct Row {
    const char* name;
    std::string before;  // "" for a new file
    StateKind kind;
    std::int32_t record;
  };
  const std::vector<Row> rows = {
      {"old.mat", text, StateKind::text, 0},   {"new.mat", "", StateKind::text, 0},
      {"old.DAT", bin, StateKind::binary, 3}, {"new.DAT", "", StateKind::binary, 2},
  };
  struct rlimit old {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  auto* old_handler = std::signal(SIGXFSZ, SIG_IGN);
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    if (!r.before.empty()) dir.write(r.name, r.before);
    struct rlimit lim = old;
    lim.rlim_cur = r.before.size() + 100;  // room for part of the record
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &lim), 0);
    StateError e;
    StateFile f = open_state_file(r.name, r.kind, StateUse::save, true, e);
    const bool ok = f.is_open() && (r.kind == StateKind::text
                                        ? append_text_state(f, good_state(), "KEST:2014jun10", STAMP, "Mars", e)
                                        : write_binary_state(f, r.record, good_state(), e));
    ::setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_FALSE(ok);
    EXPECT_EQ(e.err, EFBIG);
    EXPECT_EQ(e.why, "File too large");
    EXPECT_EQ(dir.exists(r.name), !r.before.empty());
    EXPECT_EQ(dir.read(r.name), r.before);
  }
  std::signal(SIGXFSZ, old_handler);
}

// The record is read while the lock is held, and the lock lasts until the
// file is closed; a name removed or replaced while a run waited for the
// lock is opened again, so that no save goes into a file that is gone.
TEST(StateFiles, TheLockCoversTheReadAndANameReplacedMeanwhileIsOpenedAgain) {
  ScratchDir dir;
  const WorkIn here(dir.path());
  dir.write("s.mat", ascii_record(good_state(), "KEST:2014jun10", STAMP, "Mars"));
  StateError e;
  {
    StateFile f = open_state_file("s.mat", StateKind::text, StateUse::restore, false, e);
    ASSERT_TRUE(read_text_state(f, e).has_value()) << e.why;
    const int other = ::open("s.mat", O_RDONLY);
    EXPECT_NE(::flock(other, LOCK_EX | LOCK_NB), 0);
    ::close(other);
  }

  // Opened, then the file is removed (another run's failed save of a new
  // file) before the lock is taken: the record still lands at the name.
  StateFile f = open_state_file("n.mat", StateKind::text, StateUse::save, true, e);
  ASSERT_TRUE(f.is_open());
  fs::remove("n.mat");
  ASSERT_TRUE(append_text_state(f, good_state(), "KEST:2014jun10", STAMP, "Mars", e)) << e.why;
  EXPECT_EQ(testing::lines_of(dir.read("n.mat")).size(), 7u);

  // Replaced by another file: the record read is the new file's.
  StateFile g = open_state_file("s.mat", StateKind::text, StateUse::restore, false, e);
  StateValues other = good_state();
  other[0] = 302.0;
  dir.write("t.mat", ascii_record(other, "KEST:2014jun10", STAMP, "Ceres"));
  fs::rename(dir.path() / "t.mat", dir.path() / "s.mat");
  const auto rec = read_text_state(g, e);
  ASSERT_TRUE(rec.has_value()) << e.why;
  EXPECT_EQ(rec->values[0], 302.0);
}

}  // namespace
}  // namespace kest
