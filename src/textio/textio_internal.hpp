// Pieces shared by the source files of the text I/O library.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

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

}  // namespace kest
