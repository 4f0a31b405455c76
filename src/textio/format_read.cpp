// Formatted read: fields taken by columns from lines, under the same walk
// through a format as the writer's.
#include <cctype>
#include <cmath>
#include <string>

#include "textio/textio.hpp"
#include "textio_internal.hpp"

namespace kest {

namespace {

// A numeric input field: blanks ignored, all blank reads as 0, no decimal
// point means the last d digits are decimals.
bool field_real(std::string_view field, int d, double& out) {
  std::string s;
  s.reserve(field.size());
  for (char c : field)
    if (c != ' ') s.push_back(c);
  if (s.empty()) {
    out = 0.0;
    return true;
  }
  // The words the writer uses for values that are not finite read back.
  {
    std::string u;
    for (char c : s) u.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    const bool neg = u[0] == '-';
    const std::string_view body = std::string_view(u).substr(u[0] == '-' || u[0] == '+' ? 1 : 0);
    if (body == "NAN") {
      out = std::nan("");
      return true;
    }
    if (body == "INF" || body == "INFINITY") {
      out = neg ? -HUGE_VAL : HUGE_VAL;
      return true;
    }
  }
  std::size_t i = 0;
  std::string mant;
  bool neg = false;
  if (s[i] == '+' || s[i] == '-') neg = s[i++] == '-';
  bool point = false;
  int digits = 0;
  while (i < s.size()) {
    const char c = s[i];
    if (std::isdigit(static_cast<unsigned char>(c))) {
      mant.push_back(c);
      ++digits;
    } else if (c == '.' && !point) {
      point = true;
      mant.push_back(c);
    } else {
      break;
    }
    ++i;
  }
  if (digits == 0) return false;
  long exp = 0;
  if (i < s.size()) {
    const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(s[i])));
    if (c == 'E' || c == 'D' || c == 'Q') ++i;
    else if (c != '+' && c != '-') return false;
    bool eneg = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) eneg = s[i++] == '-';
    if (i >= s.size()) return false;
    long ev = 0;
    for (; i < s.size(); ++i) {
      if (!std::isdigit(static_cast<unsigned char>(s[i]))) return false;
      if (ev < 100000) ev = ev * 10 + (s[i] - '0');
    }
    exp = eneg ? -ev : ev;
  }
  if (!point) exp -= d;
  std::string text = (neg ? "-" : "") + mant + "e" + std::to_string(exp);
  return parse_real(text, out);
}

bool store_field(const Item& it, std::string_view field, const Format::Desc& d) {
  switch (it.kind()) {
    case Item::Kind::text: {
      char* p = static_cast<char*>(it.ptr());
      const std::size_t len = it.length();
      if (field.size() >= len) {
        field = field.substr(field.size() - len);  // the rightmost characters
        for (std::size_t i = 0; i < len; ++i) p[i] = field[i];
      } else {
        for (std::size_t i = 0; i < len; ++i) p[i] = i < field.size() ? field[i] : ' ';
      }
      return true;
    }
    case Item::Kind::int32: {
      std::string s;
      for (char c : field)
        if (c != ' ') s.push_back(c);
      std::int32_t v = 0;
      if (!s.empty() && !parse_int32(s, v)) return false;
      *static_cast<std::int32_t*>(it.ptr()) = v;
      return true;
    }
    case Item::Kind::real64: {
      double v = 0;
      if (!field_real(field, d.d, v)) return false;
      *static_cast<double*>(it.ptr()) = v;
      return true;
    }
    case Item::Kind::real32: {
      double v = 0;
      if (!field_real(field, d.d, v)) return false;
      const auto f = static_cast<float>(v);
      if (std::isinf(f) && !std::isinf(v)) return false;
      *static_cast<float*>(it.ptr()) = f;
      return true;
    }
  }
  return false;
}

}  // namespace

ReadStatus read_fmt_lines(LineSource& src, const Format& f, const Item* items, std::size_t count) {
  std::string line;
  std::size_t col = 0;
  bool eof = !src.next_line(line);
  bool too_long = src.too_long();
  auto newline = [&] {
    col = 0;
    if (!eof) eof = !src.next_line(line);
    too_long = too_long || src.too_long();
  };
  auto lit = [&](const std::string& s) { col += s.size(); };
  auto skip = [&](int n) { col += static_cast<std::size_t>(n); };
  Cursor cur(f, lit, skip, newline);
  std::size_t k = 0;
  while (k < count) {
    if (eof) return ReadStatus::end_of_file;
    const Format::Desc* d = cur.next();
    // next() may have ended the line at a slash and met the end of the input.
    // cppcheck-suppress identicalConditionAfterEarlyExit
    if (eof) return ReadStatus::end_of_file;
    if (d == nullptr) {
      if (!f.reversion_has_edit()) break;
      newline();
      cur.revert(f.reversion());
      continue;
    }
    if (too_long) return ReadStatus::conversion_error;
    std::size_t w = static_cast<std::size_t>(d->w);
    if (d->edit == 'A' && w == 0) w = items[k].length();
    std::string_view field;
    if (col < line.size()) field = std::string_view(line).substr(col, w);
    std::string padded(field);
    padded.resize(w, ' ');
    col += w;
    if (!store_field(items[k], padded, *d)) return ReadStatus::conversion_error;
    ++k;
  }
  return eof && count == 0 ? ReadStatus::end_of_file : ReadStatus::ok;
}

ReadStatus read_fmt(int unit, const Format& f, std::initializer_list<Item> items) {
  InUnit* u = input_unit(unit);
  if (u == nullptr) return ReadStatus::end_of_file;
  return read_fmt_lines(*u->src, f, items.begin(), items.size());
}

}  // namespace kest
