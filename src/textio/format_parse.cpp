// Format texts: parsing into the flat descriptor list with its reversion
// point, and the writer's straight-line plan for formats without groups.
#include <cctype>
#include <stdexcept>
#include <string>
#include <vector>

#include "textio/textio.hpp"

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
    // Skipped positions become blanks once something is written after them
    // on their line; those still open when a text step ends are its skip.
    auto text_step = [&]() -> Step& {
      if (plan_.empty() || plan_.back().edit != 0) plan_.push_back({});
      return plan_.back();
    };
    for (const Desc& d : descs_) {
      switch (d.op) {
        case Op::literal: {
          Step& st = text_step();
          st.text.append(static_cast<std::size_t>(st.skip), ' ');
          st.skip = 0;
          st.text += d.text;
          break;
        }
        case Op::skip:
          text_step().skip += d.n;
          break;
        case Op::slash: {
          Step& st = text_step();
          st.skip = 0;
          st.text += '\n';
          break;
        }
        case Op::edit: {
          // Positions skipped just before an edit are blanks exactly when the
          // edit is made: they go with it, and a text step left empty goes.
          int lead = 0;
          if (!plan_.empty() && plan_.back().edit == 0) {
            lead = plan_.back().skip;
            plan_.back().skip = 0;
            if (plan_.back().text.empty()) plan_.pop_back();
          }
          for (int r = 0; r < d.n; ++r) plan_.push_back({d.edit, d.w, d.d, {}, 0, r == 0 ? lead : 0});
          break;
        }
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

}  // namespace kest
