// Format texts: parsing into a flat descriptor list, and the cursor that
// walks it for formatted writes and reads.
#include <cctype>
#include <cmath>
#include <cstring>
#include <charconv>
#include <stdexcept>

#include "textio/textio.hpp"
#include "textio_internal.hpp"

namespace kest {

namespace {

Format::Desc make(Format::Op op, int n = 1, char edit = 0) {
  Format::Desc d{};
  d.op = op;
  d.n = n;
  d.edit = edit;
  return d;
}

class Parser {
 public:
  explicit Parser(std::string_view t) : t_(t) {}

  std::vector<Format::Desc> parse(int& reversion) {
    skip_blanks();
    expect('(');
    std::vector<Format::Desc> out;
    list(out, 0, reversion);
    skip_blanks();
    if (i_ != t_.size()) fail("text after the closing parenthesis");
    return out;
  }

 private:
  [[noreturn]] void fail(const char* what) const {
    throw std::invalid_argument(std::string("format text: ") + what + ": " + std::string(t_));
  }
  void skip_blanks() {
    while (i_ < t_.size() && t_[i_] == ' ') ++i_;
  }
  void expect(char c) {
    skip_blanks();
    if (i_ >= t_.size() || t_[i_] != c) fail("unexpected character");
    ++i_;
  }
  bool digit() {
    skip_blanks();
    return i_ < t_.size() && std::isdigit(static_cast<unsigned char>(t_[i_]));
  }
  int number() {
    int v = 0;
    bool any = false;
    while (digit()) {
      v = v * 10 + (t_[i_] - '0');
      if (v > 100000) fail("number too large");
      ++i_;
      any = true;
    }
    if (!any) fail("number expected");
    return v;
  }

  // Items of a parenthesised list up to and including its ')'.
  void list(std::vector<Format::Desc>& out, int depth, int& reversion) {
    for (;;) {
      skip_blanks();
      if (i_ >= t_.size()) fail("missing closing parenthesis");
      const char c = t_[i_];
      if (c == ')') {
        ++i_;
        return;
      }
      if (c == ',') {
        ++i_;
        continue;
      }
      if (c == '\'' || c == '"') {
        Format::Desc lit = make(Format::Op::literal);
        lit.text = quoted(c);
        out.push_back(std::move(lit));
        continue;
      }
      if (c == '/') {
        ++i_;
        out.push_back(make(Format::Op::slash));
        continue;
      }
      int rep = 1;
      bool has_rep = false;
      if (digit()) {
        rep = number();
        has_rep = true;
        if (rep < 1) fail("repeat count below 1");
      }
      skip_blanks();
      if (i_ >= t_.size()) fail("descriptor expected");
      const char u = static_cast<char>(std::toupper(static_cast<unsigned char>(t_[i_])));
      if (t_[i_] == '(') {
        ++i_;
        const int open = static_cast<int>(out.size());
        out.push_back(make(Format::Op::group_open, rep));
        if (depth == 0) reversion = open;
        list(out, depth + 1, reversion);
        const int close = static_cast<int>(out.size());
        out.push_back(make(Format::Op::group_close));
        out[static_cast<std::size_t>(open)].match = close;
        out[static_cast<std::size_t>(close)].match = open;
        continue;
      }
      if (t_[i_] == '/') {
        ++i_;
        for (int k = 0; k < rep; ++k) out.push_back(make(Format::Op::slash));
        continue;
      }
      ++i_;
      if (u == 'X') {
        if (!has_rep) rep = 1;
        out.push_back(make(Format::Op::skip, rep));
        continue;
      }
      Format::Desc d = make(Format::Op::edit, rep, u);
      switch (u) {
        case 'I':
          d.w = number();
          break;
        case 'F':
        case 'E':
        case 'D':
        case 'G':
          d.w = number();
          expect('.');
          d.d = number();
          if (d.d > 60) fail("too many digits");
          break;
        case 'A':
          if (digit()) d.w = number();
          break;
        default:
          fail("unknown descriptor");
      }
      if (d.w > 400) fail("field too wide");
      out.push_back(d);
    }
  }

  std::string quoted(char mark) {
    ++i_;
    std::string s;
    for (;;) {
      if (i_ >= t_.size()) fail("unterminated text");
      if (t_[i_] == mark) {
        if (i_ + 1 < t_.size() && t_[i_ + 1] == mark) {
          s.push_back(mark);
          i_ += 2;
          continue;
        }
        ++i_;
        return s;
      }
      s.push_back(t_[i_++]);
    }
  }

  std::string_view t_;
  std::size_t i_ = 0;
};

// The walk through a format that formatted writes and reads share. next()
// performs the descriptors without an item (through the callbacks) and
// stops at the next one that takes an item; it returns nullptr at the end
// of the format.
template <class Literal, class Skip, class Slash>
class Cursor {
 public:
  // The group stack is written before it is read, so it is not cleared.
  // cppcheck-suppress uninitMemberVar
  Cursor(const Format& f, Literal lit, Skip skip, Slash slash)
      : d_(f.descs()), lit_(lit), skip_(skip), slash_(slash) {}

  const Format::Desc* next() {
    for (;;) {
      if (rep_left_ > 0) {
        --rep_left_;
        return &d_[pc_ - 1];
      }
      if (pc_ >= d_.size()) return nullptr;
      const Format::Desc& d = d_[pc_++];
      switch (d.op) {
        case Format::Op::literal:
          lit_(d.text);
          break;
        case Format::Op::skip:
          skip_(d.n);
          break;
        case Format::Op::slash:
          slash_();
          break;
        case Format::Op::group_open:
          stack_[depth_++] = {pc_ - 1, d.n};
          break;
        case Format::Op::group_close: {
          Frame& fr = stack_[depth_ - 1];
          if (--fr.left > 0) {
            pc_ = fr.open + 1;
          } else {
            --depth_;
          }
          break;
        }
        case Format::Op::edit:
          rep_left_ = d.n - 1;
          return &d;
      }
    }
  }

  // Take the format up again after its end: at the last group of the outer
  // list with its repeat count, or at the beginning.
  void revert(int reversion) {
    depth_ = 0;
    rep_left_ = 0;
    pc_ = reversion < 0 ? 0 : static_cast<std::size_t>(reversion);
  }

 private:
  struct Frame {
    std::size_t open;
    int left;
  };
  const std::vector<Format::Desc>& d_;
  Literal lit_;
  Skip skip_;
  Slash slash_;
  std::size_t pc_ = 0;
  int rep_left_ = 0;
  Frame stack_[32];
  int depth_ = 0;
};

// A line under construction: fields are laid out in a fixed buffer that is
// handed to the output string when full and at the line's end.
class LineBuilder {
 public:
  // The buffer is written before it is read, so it is not cleared.
  // cppcheck-suppress uninitMemberVar
  explicit LineBuilder(std::string& out) : out_(out) {}
  ~LineBuilder() { out_.append(buf_, static_cast<std::size_t>(p_ - buf_)); }
  // Room for n more characters, which the caller then writes at at().
  char* room(std::size_t n) {
    if (static_cast<std::size_t>(end() - p_) < n) {
      out_.append(buf_, static_cast<std::size_t>(p_ - buf_));
      p_ = buf_;
    }
    return p_;
  }
  void advance(char* to) { p_ = to; }
  void text(std::string_view s) {
    if (s.size() > sizeof buf_) {
      room(sizeof buf_);
      out_.append(s);
      return;
    }
    char* q = room(s.size());
    std::memcpy(q, s.data(), s.size());
    p_ = q + s.size();
  }
  void blanks(std::size_t n) {
    if (n > sizeof buf_) {
      room(sizeof buf_);
      out_.append(n, ' ');
      return;
    }
    char* q = room(n);
    for (std::size_t i = 0; i < n; ++i) q[i] = ' ';
    p_ = q + n;
  }
  void put(char c) {
    char* q = room(1);
    *q = c;
    p_ = q + 1;
  }
  void edit(char edit, int w, int dd, const Value& v) {
    if (edit == 'A' && w == 0) {
      text(v.as_text());
      return;
    }
    char* q = room(static_cast<std::size_t>(w));
    const double x = v.kind() == Value::Kind::int32 ? static_cast<double>(v.as_int()) : v.as_real();
    switch (edit) {
      case 'I':
        q = put_I(q, v.kind() == Value::Kind::int32 ? v.as_int() : static_cast<std::int64_t>(v.as_real()), w);
        break;
      case 'A':
        q = put_A(q, v.as_text(), w);
        break;
      case 'F':
        q = put_F(q, x, w, dd);
        break;
      case 'E':
        q = put_E(q, x, w, dd, 'E');
        break;
      case 'D':
        q = put_E(q, x, w, dd, 'D');
        break;
      default:
        q = put_G(q, x, w, dd);
        break;
    }
    p_ = q;
  }

 private:
  char* end() { return buf_ + sizeof buf_; }
  std::string& out_;
  char buf_[2048];
  char* p_ = buf_;
};

}  // namespace

Format::Format(std::string_view text) {
  Parser p(text);
  descs_ = p.parse(reversion_);
  bool groups = false;
  for (std::size_t i = reversion_ < 0 ? 0 : static_cast<std::size_t>(reversion_); i < descs_.size(); ++i)
    if (descs_[i].op == Op::edit) reversion_has_edit_ = true;
  for (const auto& d : descs_) {
    if (d.op == Op::edit) has_edit_ = true;
    if (d.op == Op::group_open) groups = true;
  }
  if (!groups) {
    auto text_step = [&]() -> std::string& {
      if (plan_.empty() || plan_.back().edit != 0) plan_.push_back({});
      return plan_.back().text;
    };
    for (const Desc& d : descs_) {
      switch (d.op) {
        case Op::literal:
          text_step() += d.text;
          break;
        case Op::skip:
          text_step().append(static_cast<std::size_t>(d.n), ' ');
          break;
        case Op::slash:
          text_step() += '\n';
          break;
        case Op::edit:
          for (int r = 0; r < d.n; ++r) plan_.push_back({d.edit, d.w, d.d, {}});
          break;
        default:
          break;
      }
    }
  }
  if (descs_.size() > 0) {
    int depth = 0;
    for (const auto& d : descs_) {
      if (d.op == Op::group_open && ++depth > 31) throw std::invalid_argument("format text: groups nested too deep");
      if (d.op == Op::group_close) --depth;
    }
  }
}

void format_append(std::string& out, const Format& f, const Value* values, std::size_t count) {
  LineBuilder line(out);
  if (const auto& plan = f.plan(); !plan.empty()) {
    // A format without groups: a straight walk, taken up again from its
    // beginning while items remain.
    std::size_t k = 0;
    const Format::Step* const first = plan.data();
    const Format::Step* const end = first + plan.size();
    for (const Format::Step* st = first;;) {
      if (st == end) {
        if (k == count || !f.has_edit()) break;
        line.put('\n');
        st = first;
        continue;
      }
      if (st->edit == 0) {
        line.text(st->text);
        ++st;
        continue;
      }
      if (k == count) break;
      line.edit(st->edit, st->w, st->d, values[k++]);
      ++st;
    }
    line.put('\n');
    return;
  }
  auto lit = [&](const std::string& s) { line.text(s); };
  auto skip = [&](int n) { line.blanks(static_cast<std::size_t>(n)); };
  auto slash = [&] { line.put('\n'); };
  Cursor cur(f, lit, skip, slash);
  const bool any_edit = f.has_edit();
  std::size_t k = 0;
  for (;;) {
    if (k == count && !any_edit) {
      while (cur.next() != nullptr) {
      }
      break;
    }
    const Format::Desc* d = cur.next();
    if (d == nullptr) {
      // A format whose repeated part takes no item cannot use the items left.
      if (k == count || !f.reversion_has_edit()) break;
      line.put('\n');
      cur.revert(f.reversion());
      continue;
    }
    if (k == count) break;
    line.edit(d->edit, d->w, d->d, values[k++]);
  }
  line.put('\n');
}

void write_fmt(int unit, const Format& f, const Value* values, std::size_t count) {
  OutUnit* o = output_unit(unit);
  if (o == nullptr) return;
  format_append(o->buf, f, values, count);
  o->maybe_drain();
}

void write_fmt(int unit, const Format& f, std::initializer_list<Value> values) {
  write_fmt(unit, f, values.begin(), values.size());
}

std::string format_lines(const Format& f, std::initializer_list<Value> values) {
  std::string s;
  format_append(s, f, values.begin(), values.size());
  return s;
}

// ---- Formatted read ---------------------------------------------------------

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
  auto newline = [&] {
    col = 0;
    if (!eof) eof = !src.next_line(line);
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
