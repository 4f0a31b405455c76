// CSV records: fields and quotes of one line, the lines a reader passes
// over and its errors by line, a long file read without reading ahead, and
// the columns of a header row by name.
#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "textio/textio.hpp"

namespace kest {
namespace {

// Fields shown as "[a][b]", so that blanks at their ends count.
std::string shown(const std::vector<std::string>& fields) {
  std::string s;
  for (const std::string& f : fields) s += "[" + f + "]";
  return s;
}

// RFC 4180 fields, the blanks around quotes dropped and those of an
// unquoted field kept; "!" and the start of the reason for a refusal.
TEST(CsvLine, FieldsAndRefusals) {
  const struct {
    const char* line;
    const char* want;
  } rows[] = {
      {"a,b,c", "[a][b][c]"},           {"", "[]"},
      {",", "[][]"},                    {"a, b ,c ", "[a][ b ][c ]"},
      {"\"a,b\",c", "[a,b][c]"},        {"\"say \"\"hi\"\"\",\"\"\"\"", "[say \"hi\"][\"]"},
      {"\"\",x,\"\"", "[][x][]"},       {" \"Mars, north\" ,\t25.19", "[Mars, north][\t25.19]"},
      {"a,\t\"b\"\t", "[a][b]"},        {"a\"b,c", "!field 1: a quote in a field that is not quoted"},
      {"a,b\"", "!field 2: a quote"},   {"x,\"abc", "!field 2: its quote is not closed on the line"},
      {"\"a\"\"", "!field 1: its quote is not closed"}, {"1,\"a\" \"b\"", "!field 2: text after its closing quote"},
  };
  for (const auto& r : rows) {
    std::vector<std::string> got = {"stale", "fields", "of", "a", "longer", "line"};
    std::string why;
    const bool ok = split_csv_line(r.line, got, why);
    EXPECT_EQ(ok ? shown(got) : "!" + why.substr(0, std::string(r.want).size() - 1), r.want) << r.line;
  }
}

// Mixed line ends, a byte order mark, blank and comment lines, a damaged
// line in the middle and a last line without its line end.
TEST(CsvReader, RecordsAndErrorsByLine) {
  auto src = string_source(
      "\xEF\xBB\xBFname,lon\r\n\n# a comment\r\n  \t\n  # \"indented\n\"Mars, north\",12.5\r\nPhobos,\"3\n\r\n"
      "Deimos,\"\"\"x\"\"\"\nlast,1");
  CsvReader reader(*src);
  std::string log;
  std::vector<std::string> fields;
  std::string error;
  for (int k = 0; k < 7; ++k) {
    const CsvStatus st = reader.next(fields, error);
    log += std::to_string(reader.line_number()) +
           (st == CsvStatus::record ? shown(fields) : st == CsvStatus::error ? " " + error + "|" : " end|");
  }
  EXPECT_EQ(log,
            "1[name][lon]6[Mars, north][12.5]7 line 7: field 2: its quote is not closed on the line (a field may not "
            "hold a line end)|9[Deimos][\"x\"]10[last][1]10 end|10 end|");
}

// 10^6 lines made as they are asked for, one of them cut at MAX_LINE.
class GeneratedLines final : public LineSource {
 public:
  bool next_line(std::string& line) override {
    if (given == 1000000) return false;
    ++given;
    too_long_ = given == 777777;
    line = given % 1000 == 0 ? "# a comment" : "body" + std::to_string(given) + ",1.5,\"a,b\"";
    return true;
  }
  std::size_t given = 0;
};

TEST(CsvReader, LongFileWithoutReadingAhead) {
  GeneratedLines src;
  CsvReader reader(src);
  std::vector<std::string> fields;
  std::string error;
  std::size_t records = 0;
  for (CsvStatus st; (st = reader.next(fields, error)) != CsvStatus::end_of_file;) {
    ASSERT_EQ(src.given, reader.line_number());
    if (st == CsvStatus::error) {
      EXPECT_EQ(error, "line 777777: longer than 1048576 bytes");
      continue;
    }
    ++records;
    ASSERT_EQ(shown(fields), "[body" + std::to_string(src.given) + "][1.5][a,b]");
  }
  EXPECT_EQ(records, 1000000u - 1000u - 1u);
}

TEST(CsvHeader, ColumnsByName) {
  const CsvHeader h({"Name", " LON ", "lat\t", "", "name", ""});
  const std::size_t none = CsvHeader::npos;
  EXPECT_EQ((std::vector<std::size_t>{h.find("name"), h.find("NAME "), h.find("lon"), h.find("Lat"), h.find("x"),
                                      h.find(""), h.find("  "), h.find("na"), h.find("names")}),
            (std::vector<std::size_t>{0, 0, 1, 2, none, none, none, none, none}));
  EXPECT_EQ(h.missing({"name", "lon"}), "");
  EXPECT_EQ(h.missing({"name", "x", "Y "}),
            "no columns 'x', 'Y' (the columns are: 'Name', 'LON', 'lat', '', 'name', '')");
  // The first two columns that share a name; empty names share none.
  const struct {
    std::vector<std::string> row;
    const char* fault;
  } rows[] = {
      {{"name", "lon", "lat"}, ""},
      {{"", "a", ""}, ""},
      {{"Name", "lon", "name"}, "columns 1 and 3 are both named 'Name'"},
      {{"a", "b", "B ", "a", "b"}, "columns 2 and 3 are both named 'b'"},
  };
  for (const auto& r : rows) EXPECT_EQ(CsvHeader(r.row).fault(), r.fault);
}

}  // namespace
}  // namespace kest
