// Free-format (list-directed) reads and writes, and the strict conversions
// of one token to an integer or a real.
#include <charconv>
#include <cmath>
#include <limits>

#include "textio/textio.hpp"
#include "textio_internal.hpp"

namespace kest {

// ---- Conversions --------------------------------------------------------------

bool parse_int32(std::string_view tok, std::int32_t& v) {
  std::size_t i = 0;
  bool neg = false;
  if (i < tok.size() && (tok[i] == '+' || tok[i] == '-')) neg = tok[i++] == '-';
  if (i == tok.size()) return false;
  std::int64_t acc = 0;
  for (; i < tok.size(); ++i) {
    const char c = tok[i];
    if (c < '0' || c > '9') return false;
    acc = acc * 10 + (c - '0');
    if (acc > 2147483648LL) return false;
  }
  if (neg) acc = -acc;
  if (acc > std::numeric_limits<std::int32_t>::max() || acc < std::numeric_limits<std::int32_t>::min()) return false;
  v = static_cast<std::int32_t>(acc);
  return true;
}

namespace {

// Checks the form [sign] digits [. digits] [E|D [sign] digits] (at least one
// mantissa digit) and writes the text that std::from_chars takes into buf.
// Returns the length, or 0 when the token is not a real. *tiny tells
// whether the value lies far below 1 (an underflow, not an overflow, if the
// conversion reports a range error).
std::size_t normalise_real(std::string_view tok, char* buf, std::size_t cap, bool* tiny) {
  if (tok.empty() || tok.size() + 2 > cap) return 0;
  std::size_t i = 0;
  std::size_t n = 0;
  if (tok[i] == '+' || tok[i] == '-') {
    if (tok[i] == '-') buf[n++] = '-';
    ++i;
  }
  int digits = 0;
  bool point = false;
  long lead = 0;  // decimal position of the first nonzero digit
  bool seen_nonzero = false;
  long intdigits = 0;
  for (; i < tok.size(); ++i) {
    const char c = tok[i];
    if (c >= '0' && c <= '9') {
      ++digits;
      if (!point) ++intdigits;
      if (c != '0' && !seen_nonzero) {
        seen_nonzero = true;
        lead = point ? -(digits - intdigits) : intdigits;
      }
      buf[n++] = c;
    } else if (c == '.' && !point) {
      point = true;
      buf[n++] = c;
    } else {
      break;
    }
  }
  if (digits == 0) return 0;
  long exp = 0;
  if (i < tok.size()) {
    const char c = tok[i];
    if (c != 'e' && c != 'E' && c != 'd' && c != 'D') return 0;
    buf[n++] = 'e';
    ++i;
    if (i < tok.size() && (tok[i] == '+' || tok[i] == '-')) {
      if (tok[i] == '-') buf[n++] = '-';
      ++i;
    }
    if (i == tok.size()) return 0;
    bool eneg = tok[i - 1] == '-';
    long ev = 0;
    for (; i < tok.size(); ++i) {
      if (tok[i] < '0' || tok[i] > '9') return 0;
      if (ev < 1000000) ev = ev * 10 + (tok[i] - '0');
      buf[n++] = tok[i];
    }
    exp = eneg ? -ev : ev;
  }
  *tiny = seen_nonzero && lead + exp < 0;
  return n;
}

template <class T>
bool parse_real_t(std::string_view tok, T& v) {
  char buf[128];
  std::string big;
  char* p = buf;
  std::size_t cap = sizeof buf;
  if (tok.size() + 2 > cap) {
    big.resize(tok.size() + 2);
    p = big.data();
    cap = big.size();
  }
  bool tiny = false;
  const std::size_t n = normalise_real(tok, p, cap, &tiny);
  if (n == 0) return false;
  T x{};
  auto r = std::from_chars(p, p + n, x, std::chars_format::general);
  if (r.ec == std::errc::result_out_of_range) {
    if (!tiny) return false;
    x = p[0] == '-' ? -T(0) : T(0);
  } else if (r.ec != std::errc() || r.ptr != p + n) {
    return false;
  }
  v = x;
  return true;
}

}  // namespace

bool parse_real(std::string_view tok, double& v) { return parse_real_t(tok, v); }
bool parse_real(std::string_view tok, float& v) { return parse_real_t(tok, v); }

// ---- Free-format read ----------------------------------------------------------

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool ends_token(char c) { return is_blank(c) || c == ',' || c == '/'; }

bool assign(const Item& it, std::string_view tok, bool quoted) {
  switch (it.kind()) {
    case Item::Kind::text: {
      char* p = static_cast<char*>(it.ptr());
      for (std::size_t i = 0; i < it.length(); ++i) p[i] = i < tok.size() ? tok[i] : ' ';
      return true;
    }
    case Item::Kind::int32:
      return !quoted && parse_int32(tok, *static_cast<std::int32_t*>(it.ptr()));
    case Item::Kind::real64:
      return !quoted && parse_real(tok, *static_cast<double*>(it.ptr()));
    case Item::Kind::real32:
      return !quoted && parse_real(tok, *static_cast<float*>(it.ptr()));
  }
  return false;
}

class FreeReader {
 public:
  FreeReader(LineSource& src, std::string& line) : src_(src), line_(line) {}

  ReadStatus read(const Item* items, std::size_t count) {
    if (!src_.next_line(line_)) return ReadStatus::end_of_file;
    if (count > 0 && src_.too_long()) return ReadStatus::conversion_error;
    for (std::size_t k = 0; k < count; ++k) {
      if (repeat_ > 0) {
        --repeat_;
        if (!repeat_null_ && !assign(items[k], repeat_value_, repeat_quoted_)) return ReadStatus::conversion_error;
        continue;
      }
      const Next nx = next_token();
      switch (nx) {
        case Next::eof:
          return ReadStatus::end_of_file;
        case Next::too_long:
          return ReadStatus::conversion_error;
        case Next::slash:
          return ReadStatus::ok;
        case Next::null:
          break;
        case Next::value:
          if (!assign(items[k], token_, quoted_)) return ReadStatus::conversion_error;
          break;
      }
    }
    return ReadStatus::ok;
  }

 private:
  enum class Next { value, null, slash, eof, too_long };

  // Finds the next value: a token (possibly the first of r copies), a null
  // (an empty field between separators, or r*), a slash, or the end of the
  // input.
  Next next_token() {
    repeat_null_ = false;
    for (;;) {
      while (pos_ < line_.size() && is_blank(line_[pos_])) ++pos_;
      if (pos_ >= line_.size()) {
        // The line end separates like a blank; empty lines are passed over.
        if (!src_.next_line(line_)) return Next::eof;
        if (src_.too_long()) return Next::too_long;
        pos_ = 0;
        continue;
      }
      const char c = line_[pos_];
      if (c == ',') {
        ++pos_;
        if (after_value_) {
          after_value_ = false;
          continue;
        }
        return Next::null;
      }
      if (c == '/') return Next::slash;
      break;
    }
    after_value_ = true;
    // r*c or r*: digits followed by an asterisk.
    std::size_t q = pos_;
    while (q < line_.size() && line_[q] >= '0' && line_[q] <= '9') ++q;
    if (q > pos_ && q < line_.size() && line_[q] == '*') {
      std::int64_t r = 0;
      for (std::size_t i = pos_; i < q; ++i) r = std::min<std::int64_t>(r * 10 + (line_[i] - '0'), 1LL << 40);
      pos_ = q + 1;
      if (r == 0) {
        // A repeat count of zero is no count at all.
        token_.assign("0*");
        quoted_ = false;
        return Next::value;
      }
      if (pos_ >= line_.size() || ends_token(line_[pos_])) {
        repeat_ = r - 1;
        repeat_null_ = true;
        return Next::null;
      }
      scan_value();
      repeat_ = r - 1;
      repeat_value_ = token_;
      repeat_quoted_ = quoted_;
      return Next::value;
    }
    scan_value();
    return Next::value;
  }

  void scan_value() {
    token_.clear();
    const char c = line_[pos_];
    if (c == '\'' || c == '"') {
      quoted_ = true;
      ++pos_;
      while (pos_ < line_.size()) {
        if (line_[pos_] == c) {
          if (pos_ + 1 < line_.size() && line_[pos_ + 1] == c) {
            token_.push_back(c);
            pos_ += 2;
            continue;
          }
          ++pos_;
          return;
        }
        token_.push_back(line_[pos_++]);
      }
      return;
    }
    quoted_ = false;
    const std::size_t start = pos_;
    while (pos_ < line_.size() && !ends_token(line_[pos_])) ++pos_;
    token_.assign(line_, start, pos_ - start);
  }

  LineSource& src_;
  std::string& line_;
  std::size_t pos_ = 0;
  bool after_value_ = false;
  std::string token_;
  bool quoted_ = false;
  std::int64_t repeat_ = 0;
  bool repeat_null_ = false;
  std::string repeat_value_;
  bool repeat_quoted_ = false;
};

}  // namespace

ReadStatus read_free_lines(LineSource& src, std::string& line, const Item* items, std::size_t count) {
  FreeReader r(src, line);
  return r.read(items, count);
}

ReadStatus read_free(int unit, std::initializer_list<Item> items) {
  InUnit* u = input_unit(unit);
  if (u == nullptr) return ReadStatus::end_of_file;
  return read_free_lines(*u->src, u->line, items.begin(), items.size());
}

// ---- Free-format write ---------------------------------------------------------

namespace {

template <class T>
void append_real(std::string& out, T x) {
  if (std::isnan(x)) {
    out.append("NaN");
    return;
  }
  if (std::isinf(x)) {
    out.append(x < 0 ? "-Infinity" : "Infinity");
    return;
  }
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, x);
  std::string_view s(buf, static_cast<std::size_t>(r.ptr - buf));
  out.append(s);
  if (s.find_first_of(".e") == std::string_view::npos) out.append(".0");
}

}  // namespace

std::string real_text(double x) {
  std::string s;
  append_real(s, x);
  return s;
}

std::string real_text(float x) {
  std::string s;
  append_real(s, x);
  return s;
}

void free_number(std::string& out, const Value& v) {
  out.push_back(' ');
  switch (v.kind()) {
    case Value::Kind::int32: {
      char buf[16];
      auto r = std::to_chars(buf, buf + sizeof buf, v.as_int());
      out.append(buf, static_cast<std::size_t>(r.ptr - buf));
      break;
    }
    case Value::Kind::real32:
      append_real(out, static_cast<float>(v.as_real()));
      break;
    default:
      append_real(out, v.as_real());
      break;
  }
}

std::string free_line(std::initializer_list<Value> values) {
  std::string s(1, ' ');
  for (const Value& v : values) {
    if (v.kind() == Value::Kind::text) {
      s.append(v.as_text());
    } else {
      free_number(s, v);
    }
  }
  return s;
}

void write_free(int unit, std::initializer_list<Value> values) {
  OutUnit* o = output_unit(unit);
  if (o == nullptr) return;
  o->buf.append(free_line(values));
  o->buf.push_back('\n');
  o->maybe_drain();
}

}  // namespace kest
