// CSV records (RFC 4180) read a line at a time, and the columns of a header
// row by name.

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "textio/textio.hpp"

namespace kest {

namespace {

bool blank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

// At most this many columns are named in a message.
constexpr std::size_t NAMES_SHOWN = 20;

}  // namespace

bool split_csv_line(std::string_view line, std::vector<std::string>& fields, std::string& why) {
  // The strings of fields are reused, so that reading a long file does not
  // allocate a string for each field of each line.
  std::size_t count = 0;
  auto next_field = [&]() -> std::string& {
    if (count == fields.size()) fields.emplace_back();
    std::string& f = fields[count++];
    f.clear();
    return f;
  };
  auto refuse = [&](std::size_t field, std::string_view what) {
    why = "field " + std::to_string(field) + ": " + std::string(what);
    return false;
  };
  const std::size_t n = line.size();
  std::size_t p = 0;  // the field's first character
  for (;;) {
    const std::size_t field = count + 1;
    std::size_t q = p;
    while (q < n && blank(line[q])) ++q;
    if (q < n && line[q] == '"') {
      std::string& text = next_field();
      std::size_t k = q + 1;
      for (;;) {
        const std::size_t close = line.find('"', k);
        if (close == std::string_view::npos) {
          return refuse(field, "its quote is not closed on the line (a field may not hold a line end)");
        }
        text.append(line.substr(k, close - k));
        k = close + 1;
        if (k < n && line[k] == '"') {
          text.push_back('"');
          ++k;
          continue;
        }
        break;
      }
      while (k < n && blank(line[k])) ++k;
      if (k < n && line[k] != ',') return refuse(field, "text after its closing quote");
      if (k == n) break;
      p = k + 1;
    } else {
      const std::size_t comma = std::min(line.find(',', p), n);
      const std::string_view text = line.substr(p, comma - p);
      if (text.find('"') != std::string_view::npos) return refuse(field, "a quote in a field that is not quoted");
      next_field().assign(text);
      if (comma == n) break;
      p = comma + 1;
    }
  }
  fields.resize(count);
  return true;
}

CsvStatus CsvReader::next(std::vector<std::string>& fields, std::string& error) {
  while (src_.next_line(text_)) {
    ++line_;
    const auto where = [&] { return "line " + std::to_string(line_) + ": "; };
    if (src_.too_long()) {
      error = where() + "longer than " + std::to_string(MAX_LINE) + " bytes";
      return CsvStatus::error;
    }
    std::string_view line = text_;
    if (line_ == 1 && line.substr(0, 3) == "\xEF\xBB\xBF") line.remove_prefix(3);
    const std::string_view body = trim(line);
    if (body.empty() || body.front() == '#') continue;
    std::string why;
    if (!split_csv_line(line, fields, why)) {
      error = where() + why;
      return CsvStatus::error;
    }
    return CsvStatus::record;
  }
  return CsvStatus::end_of_file;
}

CsvHeader::CsvHeader(const std::vector<std::string>& row) {
  names_.reserve(row.size());
  index_.reserve(row.size());
  for (std::size_t c = 0; c < row.size(); ++c) {
    names_.emplace_back(trim(row[c]));
    index_.push_back({lower(names_.back()), c});
  }
  std::sort(index_.begin(), index_.end(),
            [](const Key& x, const Key& y) { return x.name != y.name ? x.name < y.name : x.column < y.column; });
  // Of the names given twice, the one whose second column comes first.
  std::size_t first = npos, second = npos;
  for (std::size_t k = 1; k < index_.size(); ++k) {
    const Key& a = index_[k - 1];
    const Key& b = index_[k];
    if (a.name.empty() || a.name != b.name) continue;
    if (second == npos || b.column < second) first = a.column, second = b.column;
  }
  if (second != npos) {
    fault_ = "columns " + std::to_string(first + 1) + " and " + std::to_string(second + 1) + " are both named " +
             quoted_text(names_[first]);
  }
}

std::size_t CsvHeader::find(std::string_view name) const {
  const std::string key = lower(trim(name));
  if (key.empty()) return npos;
  const auto it = std::lower_bound(index_.begin(), index_.end(), key,
                                   [](const Key& x, const std::string& k) { return x.name < k; });
  return it != index_.end() && it->name == key ? it->column : npos;
}

std::string CsvHeader::missing(std::initializer_list<std::string_view> names) const {
  std::string absent;
  std::size_t count = 0;
  for (const std::string_view name : names) {
    if (find(name) != npos) continue;
    absent += (count == 0 ? "" : ", ") + quoted_text(trim(name));
    ++count;
  }
  if (count == 0) return "";
  std::string out = (count == 1 ? "no column " : "no columns ") + absent + " (the columns are: ";
  for (std::size_t c = 0; c < names_.size() && c < NAMES_SHOWN; ++c) {
    if (c > 0) out += ", ";
    out += quoted_text(names_[c]);
  }
  if (names_.size() > NAMES_SHOWN) out += ", ...";
  return out + ")";
}

}  // namespace kest
