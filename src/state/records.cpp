// State records as values: the binary record and the text record, written
// and read without touching a file.

#include <bit>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "record/kestcm.hpp"
#include "state/kstate.hpp"
#include "textio/textio.hpp"

namespace kest {

namespace {

// True when a header field holds a number, or only asterisks: a save writes
// asterisks when PLANUM or TC does not fit its header field, and the body
// carries both values anyway.
bool header_number(std::string_view field, const Format& f) {
  if (field.find_first_not_of('*') == std::string_view::npos) return true;
  double x = 0.0;
  const Item item(x);
  const auto src = string_source(std::string(field));
  return read_fmt_lines(*src, f, &item, 1) == ReadStatus::ok;
}

}  // namespace

StateValues saved_values(const KestCommon& c) {
  StateValues v{};
  for (int k = 1; k <= NSAVED; ++k) v[static_cast<std::size_t>(k - 1)] = c.pos(k);
  return v;
}

std::array<unsigned char, STATE_RECORD_BYTES> encode_binary_record(const StateValues& v) {
  std::array<unsigned char, STATE_RECORD_BYTES> b{};
  for (std::size_t k = 0; k < v.size(); ++k) {
    const auto u = std::bit_cast<std::uint64_t>(v[k]);
    for (std::size_t j = 0; j < 8; ++j) b[8 * k + j] = static_cast<unsigned char>(u >> (8 * j));
  }
  return b;
}

StateValues decode_binary_record(const std::array<unsigned char, STATE_RECORD_BYTES>& b) {
  StateValues v{};
  for (std::size_t k = 0; k < v.size(); ++k) {
    std::uint64_t u = 0;
    for (std::size_t j = 0; j < 8; ++j) u |= static_cast<std::uint64_t>(b[8 * k + j]) << (8 * j);
    v[k] = std::bit_cast<double>(u);
  }
  return v;
}

std::string ascii_record(const StateValues& v, std::string_view versid, std::string_view runtime,
                         std::string_view title) {
  static const Format header{STATE_HEADER_OUT};
  static const Format body{STATE_BODY};
  std::string lines;
  const Value head[] = {versid, runtime, v[0], v[1], title};
  format_append(lines, header, head, std::size(head));
  std::vector<Value> values(v.begin(), v.end());
  format_append(lines, body, values.data(), values.size());
  return lines;
}

std::optional<AsciiRecord> read_ascii_record(LineSource& src, std::string& why) {
  static const Format header_in{STATE_HEADER_IN};
  static const Format planum_in{STATE_PLANUM_IN};
  static const Format tc_in{STATE_TC_IN};
  static const Format body{STATE_BODY};
  // One line of the record, read as the given format.
  std::string line;
  const auto read_line = [&](const Format& f, std::initializer_list<Item> items) {
    if (!src.next_line(line)) return ReadStatus::end_of_file;
    if (src.too_long()) return ReadStatus::conversion_error;
    const auto one = string_source(line + '\n');  // an empty line is a line too
    return read_fmt_lines(*one, f, items.begin(), items.size());
  };

  // Columns 16-35 the run stamp, 47-51 PLANUM, 52-59 TC, 61-69 the title.
  AsciiRecord rec;
  FixedText<5> planum;
  FixedText<8> tc;
  ReadStatus st = read_line(header_in, {rec.runtime, planum, tc, rec.title});
  if (st == ReadStatus::end_of_file) {
    why = "the file is empty";
    return std::nullopt;
  }
  if (st != ReadStatus::ok || !header_number(planum.view(), planum_in) || !header_number(tc.view(), tc_in)) {
    why = "a field in line 1 is not a number";
    return std::nullopt;
  }
  for (std::size_t k = 0; k < 6; ++k) {
    double* p = rec.values.data() + 5 * k;
    st = read_line(body, {p[0], p[1], p[2], p[3], p[4]});
    if (st == ReadStatus::end_of_file) {
      why = "the file ends after line " + std::to_string(k + 1) + " of the 7 lines of a record";
      return std::nullopt;
    }
    if (st != ReadStatus::ok) {
      why = "a field in line " + std::to_string(k + 2) + " is not a number";
      return std::nullopt;
    }
    // A blank line would read as five zeros, and every later value would be
    // taken from the wrong line.
    if (line.find_first_not_of(" \t") == std::string::npos) {
      why = "line " + std::to_string(k + 2) + " of the record is blank";
      return std::nullopt;
    }
  }
  return rec;
}

}  // namespace kest
