// Scratch directory, captured terminal and print unit, and a scripted
// keyboard for the element reader and orbit setup tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "elements/kelements.hpp"
#include "record/kestcm.hpp"
#include "session.hpp"
#include "textio/textio.hpp"

namespace kest::testing_elements {

// A body of the shipped tables set up for its seasons, on its mean
// elements, or with accurate on its accurate positions as the faces take
// it by default.
inline SeasonBody shipped_body(const char* name, bool accurate = false) {
  static const TableSet tables(kest::testing::data_dir());
  const BodyMatch m = find_body(list_bodies(tables), name);
  EXPECT_TRUE(m.body.has_value()) << name;
  SeasonBodyError error;
  auto b = make_season_body(tables, *m.body, std::nullopt, error);
  EXPECT_TRUE(b.has_value()) << error.message;
  if (accurate) {
    EXPECT_TRUE(use_accurate_positions(*b, false, error)) << error.message;
  }
  return *b;
}

// Each test runs in a fresh temporary directory of its own with the units
// 3 (print) and 6 (terminal) captured and unit 5 fed from a string; the
// working records of kestel and kestig start as at program start.
class ElementsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    work_ = std::make_unique<kest::testing::WorkIn>(scratch_.path());
    connect_output(6, string_sink(&screen_));
    connect_output(3, string_sink(&print_));
    keyboard("");
    reset_element_dialogue();
    KESTCM = KestCommon{};
    set_start_defaults(KESTCM);
  }

  void TearDown() override {
    reset_units();
    work_.reset();
    reset_element_dialogue();
    KESTCM = KestCommon{};
  }

  void keyboard(std::string text) { connect_input(5, string_source(std::move(text))); }

  // Write a table file: the given lines, each ended by a line end.
  void table(const std::string& name, const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& l : lines) text += l + '\n';
    scratch_.write(name, text);
  }

  static std::vector<std::string> split(const std::string& s) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t nl; (nl = s.find('\n', start)) != std::string::npos; start = nl + 1)
      lines.push_back(s.substr(start, nl - start));
    if (start < s.size()) lines.push_back(s.substr(start));
    return lines;
  }
  std::vector<std::string> screen() {
    flush_all();
    return split(screen_);
  }
  std::vector<std::string> print() {
    flush_all();
    return split(print_);
  }
  void clear_output() {
    flush_all();
    screen_.clear();
    print_.clear();
  }
  // Number of terminal lines that begin with the given text.
  int screen_count(std::string_view start) {
    int n = 0;
    for (const std::string& l : screen()) n += l.rfind(start, 0) == 0 ? 1 : 0;
    return n;
  }
  // The first terminal line that begins with the given text ("" if none).
  std::string screen_line(std::string_view start) {
    for (const std::string& l : screen())
      if (l.rfind(start, 0) == 0) return l;
    return {};
  }

  kest::testing::ScratchDir scratch_;
  std::unique_ptr<kest::testing::WorkIn> work_;
  std::string screen_, print_;
};

// The results of one kestel call, preset to a marker value that no table
// delivers, so that a result left unchanged is visible.
inline constexpr double kUntouched = -777.0;
struct Results {
  double ODE = kUntouched, CLIN = kUntouched, ARGP = kUntouched, ECC = kUntouched;
  double PERIOD = kUntouched, SJA = kUntouched, SIDAY = kUntouched, PRA = kUntouched;
  double PDEC = kUntouched, TJP = kUntouched;
  FixedText<25> TITLE;
};

inline void call_kestel(std::int32_t iop, std::int32_t ifile, std::int32_t iplan, double tcen,
                        Results& r) {
  kestel(iop, 4, ifile, iplan, tcen, r.ODE, r.CLIN, r.ARGP, r.ECC, r.PERIOD, r.SJA, r.SIDAY,
         r.PRA, r.PDEC, r.TJP, r.TITLE);
}

// The file name of a table code without its trailing blanks.
inline std::string file_of(std::int32_t code) {
  std::string s(FNAME[static_cast<std::size_t>(code)]);
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

// The three failure lines as the terminal shows them.
inline std::vector<std::string> failure_lines(std::string_view file12, int ierr,
                                              std::string_view title, int j) {
  return {" KESTEL Error: File was >" + std::string(file12),
          " ------ Error: ierr " + std::to_string(ierr) + " Last title= " + std::string(title),
          " ------ Error: J= " + std::to_string(j) + " Reason: " +
              std::string(MESS[static_cast<std::size_t>(ierr)])};
}

// The last three terminal lines.
inline std::vector<std::string> last3(const std::vector<std::string>& s) {
  if (s.size() < 3) return s;
  return {s.end() - 3, s.end()};
}

}  // namespace kest::testing_elements
