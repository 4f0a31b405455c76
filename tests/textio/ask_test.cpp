// The prompt helper: a conversion error asks again, the end of the input
// leaves, and the question runs before every attempt.
#include <gtest/gtest.h>

#include <string>

#include "textio/textio.hpp"

namespace {

using kest::ReadStatus;

struct AskRow {
  const char* name;
  const char* keyboard;
  bool reset;          // the question sets both items to -1 before each attempt
  ReadStatus status;
  std::int32_t a, b;   // expected values; both start as -7
  int questions;       // how often the question was written
  const char* left;    // the first line the next read sees ("" if none)
};

const AskRow kAskRows[] = {
    {"good at once", "4 5\nnext\n", false, ReadStatus::ok, 4, 5, 1, "next"},
    {"answer over two lines", "4\n5 6\nnext\n", false, ReadStatus::ok, 4, 5, 1, "next"},
    {"error then good", "x\n4 5\nnext\n", false, ReadStatus::ok, 4, 5, 2, "next"},
    {"two errors then good", "1.5 2\n3 y\n8 9\n", false, ReadStatus::ok, 8, 9, 3, ""},
    {"slash keeps the values", "/\nnext\n", false, ReadStatus::ok, -7, -7, 1, "next"},
    {"no input at all", "", false, ReadStatus::end_of_file, -7, -7, 1, ""},
    {"error then end of input", "x\n", false, ReadStatus::end_of_file, -7, -7, 2, ""},
    {"end of input inside the answer", "4\n", false, ReadStatus::end_of_file, 4, -7, 1, ""},
    // A failed attempt keeps what it read before the error ...
    {"failed attempt kept", "4 x\n/\n", false, ReadStatus::ok, 4, -7, 2, ""},
    // ... unless the question starts each attempt afresh.
    {"failed attempt reset", "4 x\n/\n", true, ReadStatus::ok, -1, -1, 2, ""},
    {"reset then good", "4 x\n,6\n", true, ReadStatus::ok, -1, 6, 2, ""},
    {"reset then end of input", "4 x\n", true, ReadStatus::end_of_file, -1, -1, 2, ""},
};

std::size_t count_of(const std::string& s, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + 1)) ++n;
  return n;
}

TEST(Ask, AsksAgainOnlyAfterAConversionError) {
  for (const auto& row : kAskRows) {
    std::string screen;
    kest::connect_input(5, kest::string_source(row.keyboard));
    kest::connect_output(6, kest::string_sink(&screen));
    std::int32_t a = -7, b = -7;
    const auto question = [&] {
      if (row.reset) a = b = -1;
      kest::write_free(6, {"A AND B?"});
    };
    EXPECT_EQ(kest::ask(5, question, {a, b}), row.status) << row.name;
    EXPECT_EQ(a, row.a) << row.name;
    EXPECT_EQ(b, row.b) << row.name;
    kest::flush_all();
    EXPECT_EQ(count_of(screen, "A AND B?"), static_cast<std::size_t>(row.questions)) << row.name;
    std::string next;
    kest::FixedText<8> line;
    const kest::Format whole{"(A8)"};
    const ReadStatus st = kest::read_fmt(5, whole, {line});
    if (st == ReadStatus::ok) next = std::string(line.trimmed());
    EXPECT_EQ(next, row.left) << row.name;
    kest::reset_units();
  }
}

// A text that starts each attempt from the default shown in the question:
// a failed attempt's text is not kept, and "/" takes the default.
TEST(Ask, DefaultShownInTheQuestionComesBackAfterAFailedAttempt) {
  std::string screen;
  kest::connect_input(5, kest::string_source("junk x\n/\n"));
  kest::connect_output(6, kest::string_sink(&screen));
  kest::FixedText<10> name;
  std::int32_t n = 0;
  const auto question = [&] {
    name.set("DEFAULT");
    kest::write_free(6, {"NAME; DEFAULT IS ", name});
  };
  EXPECT_EQ(kest::ask(5, question, {name, n}), ReadStatus::ok);
  EXPECT_EQ(name.view(), "DEFAULT   ");
  kest::flush_all();
  EXPECT_EQ(count_of(screen, "NAME; DEFAULT IS DEFAULT   \n"), 2u) << screen;
  kest::reset_units();
}

}  // namespace
