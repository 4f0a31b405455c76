// kestel: header marker, skipping to the item, the failure report, codes
// without a table, and the summary on the print unit. Tables are written
// by the tests themselves; the comet table (no keyboard, no echo) carries
// most of them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "elements_fixture.hpp"

namespace kest::testing_elements {
namespace {

// One comet item of ten lines: perihelion 2000 Jan 1.5 (TJP 0), q = 1 AU,
// e = 0.5, so a = 2 AU.
std::vector<std::string> comet_item(const std::string& title) {
  return {"-- comet --", title, "2000 1 1.5", "90.0", "0.0", "0.0",
          "1.0",         "0.5", "0.0 90.0",   "0.5"};
}

std::vector<std::string> with_header(const std::vector<std::string>& header,
                                     const std::vector<std::vector<std::string>>& items) {
  std::vector<std::string> lines = header;
  for (const auto& it : items) lines.insert(lines.end(), it.begin(), it.end());
  return lines;
}

using Kestel = ElementsTest;

// The marker is the first line whose first five characters, upper-cased,
// read C_END; a line starting with a blank is ordinary header text.
TEST_F(Kestel, HeaderMarker) {
  struct Row {
    const char* name;
    std::vector<std::string> header;
    bool found;
  };
  const Row rows[] = {
      {"upper case", {"free text", "C_END"}, true},
      {"lower case", {"c_end"}, true},
      {"mixed case", {"C_eNd"}, true},
      {"trailing text", {"C_END of header, anything here"}, true},
      {"no blank after it", {"C_ENDXYZ"}, true},
      {"short lines before it", {"", "C", "C_EN", "C_END"}, true},
      {"leading blank", {" C_END"}, false},
      {"missing", {"just text", "C-END", "C_EN D"}, false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    clear_output();
    reset_element_dialogue();
    table("comet.tab", with_header(r.header, {comet_item("Alpha")}));
    Results res;
    call_kestel(0, 5, 1, 0.0, res);
    const auto s = screen();
    ASSERT_FALSE(s.empty());
    EXPECT_EQ(s[0], " Entering KESTEL with IFILE,IPLAN= 5 1");
    if (r.found) {
      ASSERT_EQ(s.size(), 2u);
      EXPECT_EQ(s[1], " C_END");
      EXPECT_EQ(res.TITLE.trimmed(), "Alpha");
    } else {
      // The items themselves are read as header text and the file ends.
      EXPECT_EQ(s.size(), 4u);
      EXPECT_EQ(last3(s), failure_lines("comet.tab   ", 2, res.TITLE.view(), 0));
      EXPECT_EQ(res.TJP, kUntouched);
    }
  }
}

// Items are counted in lines: (IPLAN - 1) x NLINES lines are passed over
// after the marker; IPLAN below 2 reads the first item without a message.
TEST_F(Kestel, SkipToItem) {
  struct Row {
    std::int32_t iplan;
    const char* title;   // expected title ("" for a failure)
    int skipped;         // -1: no "skipped lines=" line
  };
  const Row rows[] = {
      {1, "First", -1}, {0, "First", -1}, {-5, "First", -1},
      {2, "Second", 10}, {3, "Third", 20},
  };
  table("comet.tab", with_header({"C_END"}, {comet_item("First"), comet_item("Second"),
                                             comet_item("Third")}));
  for (const Row& r : rows) {
    SCOPED_TRACE(r.iplan);
    clear_output();
    Results res;
    call_kestel(0, 5, r.iplan, 0.0, res);
    EXPECT_EQ(res.TITLE.trimmed(), r.title);
    const std::string line = screen_line(" skipped lines=");
    if (r.skipped < 0) {
      EXPECT_EQ(line, "");
    } else {
      EXPECT_EQ(line, " skipped lines= " + std::to_string(r.skipped));
    }
  }
}

// Item 3 of minor.tab: 26 lines passed over.
TEST_F(Kestel, SkipCountMinor) {
  std::vector<std::string> lines = {"C_END"};
  for (int i = 0; i < 3 * 13; ++i) lines.push_back(i % 13 == 1 ? "T" + std::to_string(i / 13) : "1.0");
  table("minor.tab", lines);
  Results res;
  call_kestel(0, 3, 3, 0.0, res);
  EXPECT_EQ(screen_line(" skipped lines="), " skipped lines= 26");
  EXPECT_EQ(res.TITLE.trimmed(), "T2");
}

// A skip that runs past the end is failure 4 with J as it was before the
// call; a skip that ends exactly at the end lets the item's first read meet
// it: failure 4 where line 1 is passed over or searched, 6 where line 1
// carries values.
TEST_F(Kestel, SkipPastTheEnd) {
  struct Row {
    std::int32_t code;
    std::vector<std::string> item;  // one item
    std::int32_t iplan;
    int ierr;
    int j;  // -1: the value J had before the call
  };
  const std::vector<std::string> planet = {"P 1 0 0 0 0 0", "r 0 0 0 0 0 0"};
  const std::vector<std::string> spin = {"P 0 0 90 0 0 360"};
  const std::vector<std::string> minor(13, "1.0");
  const std::vector<std::string> small = {"1 S 2451545.0", "e 0", "a 1", "q 1", "i 0", "o 0",
                                          "w 0", "m 0", "p 24", "ra 0", "de 90", "x 0"};
  const std::vector<std::string> exo(11, "1.0");
  const Row rows[] = {
      {1, planet, 3, 4, -1}, {1, planet, 2, 6, 0}, {2, spin, 3, 4, -1}, {2, spin, 2, 4, 0},
      {3, minor, 3, 4, -1},  {3, minor, 2, 4, 0},  {4, small, 3, 4, -1}, {4, small, 2, 6, 0},
      {5, comet_item("C"), 3, 4, -1}, {5, comet_item("C"), 2, 4, 0},
      {6, exo, 3, 4, -1},    {6, exo, 2, 4, 0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(::testing::Message() << "code " << r.code << " item " << r.iplan);
    clear_output();
    reset_element_dialogue();
    // An earlier call that fails on line 10 of a minor-body item leaves J = 9.
    table("minor.tab", with_header({"C_END"}, {{"1.0", "T", "1.0", "1", "1", "1", "1", "1", "1", "x"}}));
    {
      Results earlier;
      call_kestel(0, 3, 1, 0.0, earlier);
      ASSERT_EQ(kestel_kept().J, 9);
      clear_output();
    }
    table(file_of(r.code), with_header({"C_END"}, {r.item}));
    keyboard("/\n");
    Results res;
    res.TITLE.set("P");
    call_kestel(0, r.code, r.iplan, 0.0, res);
    EXPECT_EQ(kestel_ierr(), r.ierr);
    EXPECT_EQ(last3(screen()), failure_lines(FNAME[static_cast<std::size_t>(r.code)], r.ierr,
                                              res.TITLE.view(), r.j < 0 ? 9 : r.j));
    EXPECT_EQ(res.ODE, kUntouched);
    EXPECT_EQ(res.PERIOD, kUntouched);
  }
}

// A missing file is failure 1 and changes nothing; so is a code that
// names no table (it is never looked up), reported with a blank name.
TEST_F(Kestel, OpenFailures) {
  struct Row {
    std::int32_t code;
    std::string_view file;
  };
  const Row rows[] = {{1, "planelem.tab"}, {3, "minor.tab   "}, {5, "comet.tab   "},
                      {0, "            "}, {7, "            "}, {-3, "            "},
                      {1000, "            "}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.code);
    clear_output();
    reset_element_dialogue();
    Results res;
    res.TITLE.set("Old title");
    call_kestel(3, r.code, 1, 0.0, res);
    const auto s = screen();
    ASSERT_EQ(s.size(), 4u);
    EXPECT_EQ(s[0], " Entering KESTEL with IFILE,IPLAN= " + std::to_string(r.code) + " 1");
    EXPECT_EQ(last3(s), failure_lines(r.file, 1, res.TITLE.view(), 0));
    EXPECT_EQ(kestel_ierr(), 1);
    EXPECT_EQ(res.TITLE.trimmed(), "Old title");
    for (double v : {res.ODE, res.CLIN, res.ARGP, res.ECC, res.PERIOD, res.SJA, res.SIDAY,
                     res.PRA, res.PDEC, res.TJP})
      EXPECT_EQ(v, kUntouched);
    EXPECT_TRUE(print().empty());
  }
}

// The failure report shows the title as it stands, zero bytes included.
TEST_F(Kestel, FailureShowsUnsetTitle) {
  Results res;
  call_kestel(0, 4, 1, 0.0, res);
  EXPECT_EQ(screen()[2], " ------ Error: ierr 1 Last title= " + std::string(25, '\0'));
}

// Summary layout, expected lines worked out by hand from the F, I and A
// edits: ARGP = 90 degrees = 1.57079633 rad, period of a = 2 AU
// = 365.256363004 x sqrt(8) = 1033.10100461 days.
TEST_F(Kestel, Summary) {
  table("comet.tab", with_header({"C_END"}, {comet_item("'Comet Halley'")}));
  Results res;
  call_kestel(3, 5, 1, 0.25, res);
  const std::vector<std::string> want = {
      "0IFILE IPLAN FILE TITLE TCEN =",
      "   5   1  comet.tab     Comet Hall  0.250000",
      "[double] ODE CLIN ARGP /radian =",
      "     0.00000000     0.00000000    90.00000000",
      "     0.00000000     0.00000000     1.57079633",
      " SJA ECC TJP PERIOD =",
      "     2.00000000     0.50000000        0.00000  1033.10100461",
      " SIDAY   [double] PDEC PRA  /radian =",
      "     0.50000000",
      "    90.00000000     0.00000000",
      "     1.57079633     0.00000000",
  };
  EXPECT_EQ(print(), want);

  // Without a summary unit the terminal traffic is the same.
  const auto with_summary = screen();
  clear_output();
  Results again;
  call_kestel(0, 5, 1, 0.25, again);
  EXPECT_TRUE(print().empty());
  EXPECT_EQ(screen(), with_summary);
  EXPECT_EQ(again.TJP, res.TJP);
}

// A value wider than its field prints as asterisks; A10 shows the first
// ten characters of the blank-padded title.
TEST_F(Kestel, SummaryOverflow) {
  auto item = comet_item("Tiny");
  item[9] = "1.0E9";  // rotation period, F15.8 needs 19 columns
  table("comet.tab", with_header({"C_END"}, {item}));
  Results res;
  call_kestel(3, 5, 1, 0.0, res);
  const auto p = print();
  ASSERT_EQ(p.size(), 11u);
  EXPECT_EQ(p[1], "   5   1  comet.tab     Tiny        0.000000");
  EXPECT_EQ(p[8], "***************");
  EXPECT_EQ(res.SIDAY, 1.0e9);
}

// Results are the working quantities in radians; the unit stays free for
// the next call (a second call on the same unit opens the file anew).
TEST_F(Kestel, FileClosedAfterEachCall) {
  table("comet.tab", with_header({"C_END"}, {comet_item("One"), comet_item("Two")}));
  Results a, b, c;
  call_kestel(0, 5, 1, 0.0, a);
  call_kestel(0, 5, 2, 0.0, b);
  call_kestel(0, 5, 9, 0.0, c);  // failure: closes the unit too
  call_kestel(0, 5, 2, 0.0, c);
  EXPECT_EQ(a.TITLE.trimmed(), "One");
  EXPECT_EQ(b.TITLE.trimmed(), "Two");
  EXPECT_EQ(c.TITLE.trimmed(), "Two");
  EXPECT_EQ(kestel_ierr(), 0);
}

}  // namespace
}  // namespace kest::testing_elements
