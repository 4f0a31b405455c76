// Pieces shared by the source files of the text I/O library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "textio/textio.hpp"

namespace kest {

struct InUnit {
  std::unique_ptr<LineSource> src;
  std::string line;  // the line being read, reused between reads
};

struct OutUnit {
  std::unique_ptr<ByteSink> sink;
  std::string buf;
  bool failed = false;
  // Hand the buffer to the sink; false once a write has failed.
  bool drain();
  void maybe_drain() {
    if (buf.size() >= 1 << 16) drain();
  }
};

// The unit, or nullptr when nothing is connected to it. Asking for the
// keyboard (unit 5) flushes every output unit first.
InUnit* input_unit(int unit);
OutUnit* output_unit(int unit);
// Append one line (a line end is added).
void unit_put_line(int unit, std::string_view line);

// Field edits writing exactly w characters at p (A with w = 0: the whole
// text); each returns the position after the field.
char* put_I(char* p, std::int64_t v, int w);
char* put_F(char* p, double x, int w, int d);
char* put_E(char* p, double x, int w, int d, char letter);
char* put_G(char* p, double x, int w, int d);
char* put_A(char* p, std::string_view s, int w);

// Lays out one free-format number (with its leading blank) at the end of out.
void free_number(std::string& out, const Value& v);

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

}  // namespace kest
