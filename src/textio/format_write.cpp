// Formatted write: the per-item driver that lays out values under a
// format, line by line, to a unit or a string.
#include <cstring>
#include <string>

#include "textio/textio.hpp"
#include "textio_internal.hpp"

namespace kest {

namespace {

// A line under construction: fields are laid out in a fixed buffer that is
// handed to the output string when full and at the line's end. Positions
// skipped by nX become blanks only when text or a field follows them on the
// line; at a line end they are dropped, as the Fortran runtimes do.
class LineBuilder {
 public:
  // The buffer is written before it is read, so it is not cleared.
  // cppcheck-suppress uninitMemberVar
  explicit LineBuilder(std::string& out) : out_(out) {}
  ~LineBuilder() { out_.append(buf_, static_cast<std::size_t>(p_ - buf_)); }
  // Room for n more characters; returns where they go.
  char* room(std::size_t n) {
    if (static_cast<std::size_t>(end() - p_) < n) {
      out_.append(buf_, static_cast<std::size_t>(p_ - buf_));
      p_ = buf_;
    }
    return p_;
  }
  void skip(int n) { skipped_ += static_cast<std::size_t>(n); }
  // Blanks for the positions skipped so far.
  void place_skipped() {
    if (skipped_ != 0) [[unlikely]] place_skipped_now();
  }
  [[gnu::noinline]] void place_skipped_now() {
    blanks(skipped_);
    skipped_ = 0;
  }
  void end_line() {
    skipped_ = 0;
    put('\n');
  }
  void text(std::string_view s) {
    place_skipped();
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
    place_skipped();
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
  std::size_t skipped_ = 0;
};

}  // namespace

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
        if (k == count) break;
        if (!f.has_edit()) {
          line.place_skipped();
          break;
        }
        line.end_line();
        st = first;
        continue;
      }
      if (st->edit == 0) {
        line.text(st->text);
        line.skip(st->skip);
        ++st;
        continue;
      }
      if (k == count) break;
      if (st->lead != 0) line.blanks(static_cast<std::size_t>(st->lead));
      line.edit(st->edit, st->w, st->d, values[k++]);
      ++st;
    }
    line.end_line();
    return;
  }
  auto lit = [&](const std::string& s) { line.text(s); };
  auto skip = [&](int n) { line.skip(n); };
  auto slash = [&] { line.end_line(); };
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
      if (k == count) break;
      if (!f.reversion_has_edit()) {
        // A format whose repeated part takes no item cannot use the items
        // left (the Fortran runtimes refuse such a write): the write ends
        // here, with the positions skipped so far.
        line.place_skipped();
        break;
      }
      line.end_line();
      cur.revert(f.reversion());
      continue;
    }
    if (k == count) break;
    line.edit(d->edit, d->w, d->d, values[k++]);
  }
  line.end_line();
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

}  // namespace kest
