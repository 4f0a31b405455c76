// The formatted reader on arbitrary bytes taken as lines, with the formats
// the program reads by: the table header's first five columns, and the
// ASCII state record's own format texts (kstate.hpp): its header line, the
// header's number fields and its body lines. The first byte picks the
// format. Each read takes exactly one line, and a text field holds the
// columns it names, blank-padded past the line's end.
// Numbers that were read are written back with the same format: the text
// must read back to values that write the very same text again (subnormal
// values, which hold fewer digits, aside). A header that was read is written
// again as a save writes it and must read back to the same fields.
#include <bit>
#include <cmath>
#include <cstdint>
#include <string>

#include "fuzz_support.hpp"
#include "record/kestcm.hpp"
#include "state/kstate.hpp"

namespace {

using namespace kest;

const Format& format_of(unsigned k) {
  static const Format header5{"(A5)"};
  static const Format state_header{STATE_HEADER_IN};
  static const Format planum{STATE_PLANUM_IN};
  static const Format tc{STATE_TC_IN};
  static const Format body{STATE_BODY};
  switch (k % 5) {
    case 0: return header5;
    case 1: return state_header;
    case 2: return planum;
    case 3: return tc;
    default: return body;
  }
}

bool digits_kept(double x) { return x == 0.0 || !std::isfinite(x) || std::isnormal(x); }

// Write the values, read the text back, write again: the two texts agree.
void check_rewrite(const Format& f, const double* x, std::size_t n) {
  const Value vals[5] = {x[0], x[1], x[2], x[3], x[4]};
  std::string first;
  format_append(first, f, vals, n);
  double y[5] = {};
  const Item items[5] = {y[0], y[1], y[2], y[3], y[4]};
  auto src = string_source(first);
  const ReadStatus st = read_fmt_lines(*src, f, items, n);
  if (first.find('*') != std::string::npos) return;  // a field too narrow for its value
  FUZZ_CHECK(st == ReadStatus::ok);
  for (std::size_t i = 0; i < n; ++i) {
    if (!digits_kept(x[i]) || !digits_kept(y[i])) return;
  }
  const Value again[5] = {y[0], y[1], y[2], y[3], y[4]};
  std::string second;
  format_append(second, f, again, n);
  FUZZ_CHECK(first == second);
}

// One number from a header field, as a restore reads it.
bool field_number(std::string_view field, const Format& f, double& x) {
  const Item item(x);
  auto src = string_source(std::string(field));
  return read_fmt_lines(*src, f, &item, 1) == ReadStatus::ok;
}

// The header line a save writes from the fields of a header that was read
// (its number fields taken as numbers) reads back to the same run stamp and
// title, and to the number fields as the save laid them out.
void check_header(const FixedText<20>& runtime, const FixedText<5>& planum, const FixedText<8>& tc,
                  const FixedText<9>& title) {
  static const Format out{STATE_HEADER_OUT};
  const Format& in = format_of(1);
  const Format& planum_in = format_of(2);
  const Format& tc_in = format_of(3);
  double p = 0.0;
  double t = 0.0;
  if (!field_number(planum.view(), planum_in, p) || !field_number(tc.view(), tc_in, t)) return;
  // A carriage return at the title's end would be taken for part of the line end.
  if (!title.trimmed().empty() && title.trimmed().back() == '\r') return;
  const std::string line = format_lines(out, {VERSION_ID, runtime, p, t, title.trimmed()});
  FUZZ_CHECK(line.find('\n') == line.size() - 1);
  FixedText<20> r20;
  FixedText<5> r5;
  FixedText<8> r8;
  FixedText<9> r9;
  auto src = string_source(line);
  const Item items[] = {r20, r5, r8, r9};
  FUZZ_CHECK(read_fmt_lines(*src, in, items, 4) == ReadStatus::ok);
  FUZZ_CHECK(r20 == runtime && r9 == title);
  std::string planum_text = format_lines(planum_in, {p});
  std::string tc_text = format_lines(tc_in, {t});
  planum_text.pop_back();
  tc_text.pop_back();
  FUZZ_CHECK(r5.view() == planum_text && r8.view() == tc_text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const unsigned which = data[0] % 5;
  const Format& f = format_of(which);
  kest::fuzz::CountingSource src(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
  auto columns = [&](std::size_t from, std::size_t n) {
    return pad_text(from < src.last.size() ? std::string_view(src.last).substr(from, n) : "", n);
  };
  FixedText<5> t5;
  FixedText<20> t20;
  FixedText<8> t8;
  FixedText<9> t9;
  double x[5] = {};
  for (unsigned k = 0; k < 100000; ++k) {
    ReadStatus st;
    if (which == 0) {
      const Item it[] = {t5};
      st = read_fmt_lines(src, f, it, 1);
    } else if (which == 1) {
      const Item it[] = {t20, t5, t8, t9};
      st = read_fmt_lines(src, f, it, 4);
      if (st == ReadStatus::ok) check_header(t20, t5, t8, t9);
    } else if (which <= 3) {
      const Item it[] = {x[0]};
      st = read_fmt_lines(src, f, it, 1);
      if (st == ReadStatus::ok) check_rewrite(f, x, 1);
    } else {
      const Item it[] = {x[0], x[1], x[2], x[3], x[4]};
      st = read_fmt_lines(src, f, it, 5);
      if (st == ReadStatus::ok) check_rewrite(f, x, 5);
    }
    if (st == ReadStatus::end_of_file) return 0;
    FUZZ_CHECK(src.count == k + 1);
    if (which == 0) FUZZ_CHECK(t5.view() == columns(0, 5));
    if (which == 1) {
      FUZZ_CHECK(t20.view() == columns(15, 20) && t5.view() == columns(46, 5) &&
                 t8.view() == columns(51, 8) && t9.view() == columns(60, 9));
    }
  }
  kest::fuzz::fail("the reader did not reach the end of its input");
}
