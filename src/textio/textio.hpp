// Text input and output of kest: the unit table (keyboard, screen, print
// file, data files), free-format reads and writes, and formatted reads and
// writes driven by format texts that are parsed once and reused.
//
// Every transfer names a unit number. Unit 5 is standard input (the
// keyboard), unit 6 standard output (the screen); other units are connected by
// open_unit and released by close_unit. Output is buffered per unit; every
// output unit is flushed before each read from the keyboard and at exit, so a
// person at a terminal always sees the prompt before typing.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kest {

// ---- Fixed-length texts -------------------------------------------------

// A text of exactly N characters. It holds zero bytes until first set;
// assignment cuts a longer text or pads a shorter one with blanks.
template <std::size_t N>
struct FixedText {
  std::array<char, N> c{};

  static constexpr std::size_t size() { return N; }
  void set(std::string_view s) {
    for (std::size_t i = 0; i < N; ++i) c[i] = i < s.size() ? s[i] : ' ';
  }
  std::string_view view() const { return {c.data(), N}; }
  // The text without its trailing blanks (zero bytes are not blanks).
  std::string_view trimmed() const {
    std::size_t n = N;
    while (n > 0 && c[n - 1] == ' ') --n;
    return {c.data(), n};
  }
  char* data() { return c.data(); }
  const char* data() const { return c.data(); }
  bool operator==(const FixedText&) const = default;
};

// Cut s to n characters or pad it with blanks to n.
std::string pad_text(std::string_view s, std::size_t n);

// Text from outside (an argument, a line of a file) quoted for a message:
// "'...'" with at most 40 characters of it, "..." after a longer one, and
// any byte that is not printable ASCII shown as '?'.
std::string quoted_text(std::string_view s);
// The same text whole and unquoted, each byte that is not printable ASCII
// shown as '?' (a name from a table in a list of them).
std::string shown_text(std::string_view s);

// ---- Units --------------------------------------------------------------

// The longest line a reader holds (bytes); the rest of a longer line is read
// and dropped, and the line reads as a conversion error.
inline constexpr std::size_t MAX_LINE = std::size_t{1} << 20;
// A source that gives this many bytes without a line end is taken as ended.
inline constexpr std::size_t MAX_LINE_DROPPED = std::size_t{64} << 20;

// Where a unit's lines come from.
class LineSource {
 public:
  virtual ~LineSource() = default;
  // Next line without its line end; false at the end of the input.
  virtual bool next_line(std::string& line) = 0;
  // Whether the last line given was longer than MAX_LINE and cut there.
  bool too_long() const { return too_long_; }

 protected:
  bool too_long_ = false;
};

// Where a unit's lines go. Bytes arrive already laid out as lines ending in
// '\n'; the sink only stores them.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // Store bytes; false when they could not be written (the reason in errno).
  virtual bool write(const char* p, std::size_t n) = 0;
  virtual void flush() {}
};

// A source reading a POSIX file descriptor (standard input, a data file).
std::unique_ptr<LineSource> fd_source(int fd, bool owns);
// A source reading an existing regular file, or nullptr with the system's
// reason in *why ("not a regular file" for a FIFO or a device). The open
// never waits.
std::unique_ptr<LineSource> open_source(const std::string& path, std::string* why = nullptr);
// The directory of the running program's own file (/proc/self/exe), for
// the data an installation lays out beside it; empty when it cannot be
// read.
std::filesystem::path program_directory();
// A source over an in-memory text (tests, fuzzing).
std::unique_ptr<LineSource> string_source(std::string text);
// A sink writing a POSIX file descriptor (standard output, a print file).
// With truncate_on_first_write the file's earlier content is replaced only
// when the first byte is written, so a run that writes nothing leaves it.
std::unique_ptr<ByteSink> fd_sink(int fd, bool owns, bool truncate_on_first_write = false);
// A sink appending to a string that the caller keeps (tests, fuzzing).
std::unique_ptr<ByteSink> string_sink(std::string* target);

enum class OpenStatus { old_file, unknown };
enum class Access { sequential, append };
enum class Direction { read, write };
// What a symbolic link at the name leads to: followed wherever it points,
// or only to a character device (a link to /dev/null, or to a terminal),
// which writing cannot damage; a link to anything else is refused, with
// "it is a symbolic link", and its target is left alone.
enum class Links { follow, devices_only };

// Connect a unit to a file (the name less trailing blanks, relative to the
// working directory). old_file: the file must exist; unknown: a missing file
// is created empty. Writing a sequential file opened at its start replaces
// its content from the first line written on; append adds at the end.
// Returns false with a reason ("No such file or directory", ...) in *why.
bool open_unit(int unit, std::string_view name, OpenStatus status, Access access,
               Direction dir, std::string* why = nullptr, Links links = Links::follow);
// Release a unit, flushing its output; closing a unit that is not open does
// nothing. Returns false when buffered output could not be written.
bool close_unit(int unit);
// Connect units to explicit sources and sinks (the keyboard and the screen
// by default; tests and fuzz targets connect strings).
void connect_input(int unit, std::unique_ptr<LineSource> src);
void connect_output(int unit, std::unique_ptr<ByteSink> sink);
// Flush every output unit; false if some output could not be written.
bool flush_all();
// Close every unit and reconnect 5 and 6 to standard input and output.
void reset_units();
// The raw text of the line a read took last from an input unit, without its
// line end ("" before the first read, and for a unit not connected). After
// a free-format read it is the line that held the end of the answer, so a
// caller can see what the read passed over (a slash ends a read, and the
// rest of its line is dropped).
std::string_view last_line(int unit);
// True when the last write or flush on the unit failed (disk full, ...).
bool unit_failed(int unit);

// ---- Progress -------------------------------------------------------------

// Progress of long work on standard error: "<lead> <done> of <total>,
// <rate> <items>/s, <seconds> s left", redrawn on one line about once a
// second, and the line ended when the work is over. Only work of more than
// 10^6 items shows it, and only when standard error is a terminal.
class ProgressLine {
 public:
  ProgressLine(std::string lead, std::string items, long long total);
  void at(long long done);
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

 private:
  static void say(const std::string& text);
  std::string lead_, items_;
  long long total_;
  bool on_;
  bool shown_ = false;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point last_ = start_;
};

// ---- Items --------------------------------------------------------------

enum class ReadStatus { ok, conversion_error, end_of_file };

// A variable that a read fills: a 32-bit integer, a double, a float or a
// fixed-length text.
class Item {
 public:
  enum class Kind : std::uint8_t { int32, real64, real32, text };
  Item(std::int32_t& v) : kind_(Kind::int32), p_(&v) {}
  Item(double& v) : kind_(Kind::real64), p_(&v) {}
  Item(float& v) : kind_(Kind::real32), p_(&v) {}
  template <std::size_t N>
  Item(FixedText<N>& t) : kind_(Kind::text), p_(t.data()), n_(N) {}
  Item(char* p, std::size_t n) : kind_(Kind::text), p_(p), n_(n) {}
  Kind kind() const { return kind_; }
  void* ptr() const { return p_; }
  std::size_t length() const { return n_; }

 private:
  Kind kind_;
  void* p_;
  std::size_t n_ = 0;
};

// A value that a write lays out.
class Value {
 public:
  enum class Kind : std::uint8_t { int32, real64, real32, text };
  Value(std::int32_t v) : kind_(Kind::int32), i_(v) {}
  Value(double v) : kind_(Kind::real64), d_(v) {}
  Value(float v) : kind_(Kind::real32), d_(v) {}
  Value(std::string_view s) : kind_(Kind::text), s_(s) {}
  Value(const char* s) : kind_(Kind::text), s_(s) {}
  Value(const std::string& s) : kind_(Kind::text), s_(s) {}
  template <std::size_t N>
  Value(const FixedText<N>& t) : kind_(Kind::text), s_(t.view()) {}
  Kind kind() const { return kind_; }
  std::int32_t as_int() const { return i_; }
  double as_real() const { return d_; }
  std::string_view as_text() const { return s_; }

 private:
  Kind kind_;
  std::int32_t i_ = 0;
  double d_ = 0.0;
  std::string_view s_;
};

// ---- Free-format read and write -----------------------------------------

// Free-format (list-directed) read of a list of items from a unit.
// Rules: items separated by blanks, a comma or a line end; empty lines are
// passed over while items remain; a slash ends the read leaving the rest
// unchanged; an empty field between commas and r* leave items unchanged; r*c
// is r copies of c; integers are strictly digits with an optional sign; reals
// accept E or D exponents; texts may be quoted with ' or " (doubled marks
// stand for one). What follows the last item on the last line is discarded;
// an empty list consumes exactly one line. Items read before a conversion
// error or the end of the input keep their new values.
ReadStatus read_free(int unit, std::initializer_list<Item> items);
// The same from given lines (line is a scratch buffer); for tests.
ReadStatus read_free_lines(LineSource& src, std::string& line, const Item* items, std::size_t count);

// The dialogue's question: prompt() writes the question, then one free-format
// read from unit fills items. A conversion error asks again (prompt() runs
// again too, so it may also reset what each attempt starts from); returns
// ReadStatus::ok or ReadStatus::end_of_file, never a conversion error.
template <class Prompt>
ReadStatus ask(int unit, Prompt&& prompt, std::initializer_list<Item> items) {
  for (;;) {
    prompt();
    const ReadStatus st = read_free(unit, items);
    if (st != ReadStatus::conversion_error) return st;
  }
}

// Free-format write: one line beginning with a blank; texts are copied at
// full length and joined; each number follows one blank in its shortest form
// that reads back to the same value (integers as digits, reals with a point
// or an exponent).
void write_free(int unit, std::initializer_list<Value> values);
// The same line as a string, without the line end.
std::string free_line(std::initializer_list<Value> values);

// ---- Formats ------------------------------------------------------------

// A format text parsed once into a flat list of descriptors.
class Format {
 public:
  enum class Op : std::uint8_t {
    literal,     // quoted text
    skip,        // nX
    slash,       // end the line
    edit,        // I, F, E, D, G, A with one item
    group_open,  // r( : repeat count in n
    group_close,
  };
  struct Desc {
    Op op;
    char edit = 0;       // 'I', 'F', 'E', 'D', 'G', 'A'
    int w = 0;           // field width (0 for plain A)
    int d = 0;           // decimals or significant digits
    int n = 1;           // repeat count, skip count
    int match = -1;      // group_open <-> group_close index
    std::string text;    // literal text
  };

  explicit Format(std::string_view text);
  const std::vector<Desc>& descs() const { return descs_; }
  // Index of the group_open at which the format is taken up again when it
  // ends with items left, or -1 for its beginning.
  int reversion() const { return reversion_; }
  // Whether any descriptor takes an item, and whether the part taken up
  // again when items remain at the format's end does.
  bool has_edit() const { return has_edit_; }
  bool reversion_has_edit() const { return reversion_has_edit_; }

  // For a format without parenthesised groups, the writer's straight-line
  // plan: runs of literal text (quoted text, blanks, line ends) between
  // single edits, repeat counts spelled out. Empty for other formats.
  struct Step {
    char edit = 0;  // 'I', 'F', 'E', 'D', 'G', 'A'; 0: write the text
    int w = 0;
    int d = 0;
    std::string text;
    int skip = 0;   // after the text: positions skipped (nX), blank only if more follows on the line
    int lead = 0;   // before an edit: positions skipped (nX), blank when the edit is made
  };
  const std::vector<Step>& plan() const { return plan_; }

 private:
  std::vector<Desc> descs_;
  std::vector<Step> plan_;
  int reversion_ = -1;
  bool has_edit_ = false;
  bool reversion_has_edit_ = false;
};

// Formatted write of values to a unit, or to a string (lines ending in '\n').
void write_fmt(int unit, const Format& f, std::initializer_list<Value> values);
void write_fmt(int unit, const Format& f, const Value* values, std::size_t count);
std::string format_lines(const Format& f, std::initializer_list<Value> values);
void format_append(std::string& out, const Format& f, const Value* values, std::size_t count);

// Formatted read by columns of items from a unit; a line shorter than its
// fields reads as if padded with blanks.
ReadStatus read_fmt(int unit, const Format& f, std::initializer_list<Item> items);
// The same from given lines (next_line supplies them); for tests.
ReadStatus read_fmt_lines(LineSource& src, const Format& f, const Item* items, std::size_t count);

// ---- Field edits ----------------------------------------------------------
// Each appends exactly w characters to out; asterisks when the value does
// not fit. Rounding is of the exact binary value, ties to even.
void edit_I(std::string& out, std::int64_t v, int w);
void edit_F(std::string& out, double x, int w, int d);
void edit_E(std::string& out, double x, int w, int d, char letter = 'E');
void edit_G(std::string& out, double x, int w, int d);
void edit_A(std::string& out, std::string_view s, int w);

// Fields of aligned text tables, for the faces beside the dialogue.
// append_fixed: x with that many decimals (0 to 40; NaN as "nan", an
// infinity as "inf" or "-inf"), right-aligned in width; append_padded: text
// left-aligned in width. A field that does not leave a blank between it and
// its neighbour is widened by one blank, so that columns never run
// together, whatever the value.
void append_fixed(std::string& out, double x, int width, int decimals);
void append_padded(std::string& out, std::string_view text, std::size_t width);

// Strict values of the faces beside the dialogue (command lines, dates
// files, Python). parse_decimal: a finite decimal number that is the whole
// text, [sign] digits [. digits] [e|E [sign] digits]; no blanks, no
// hexadecimal, no "inf" or "nan", no empty text. parse_decimal_list: such
// numbers separated by commas, none empty. Both leave their output alone
// and return false when the text is not one.
bool parse_decimal(std::string_view text, double& v);
bool parse_decimal_list(std::string_view text, std::vector<double>& values);

// Strict conversions of one free-format token (also used by tests).
bool parse_int32(std::string_view tok, std::int32_t& v);
bool parse_real(std::string_view tok, double& v);
bool parse_real(std::string_view tok, float& v);
// Shortest round-trip text of a real as the free-format writer shows it.
std::string real_text(double x);
std::string real_text(float x);

// The shortest text that reads back as x, exactly as std::to_chars(x) writes
// it ("0.01", "274.3775762942545", "1e-05", "-inf"; any NaN is "nan"), written at p, which has
// room for SHORTEST_MAX characters (the text is 25 at most; the bytes after
// it may be overwritten); returns the end.
inline constexpr std::size_t SHORTEST_MAX = 48;
char* write_shortest(char* p, double x);
// The same appended to out.
void append_shortest(std::string& out, double x);

// ---- CSV records ----------------------------------------------------------
// Small tables of bodies and poles as CSV (RFC 4180), read one record at a
// time from a LineSource, so that a file of any length is read in the
// memory of its longest line.

// The fields of one CSV line.
//   line    in   the line without its line end
//   fields  out  its fields in order: n commas outside quotes make n + 1
//   why     out  what is wrong when the line is refused ("field 3: ...")
// Returns false, with why set and fields unspecified, when the line is
// refused.
// 1. A field whose first character other than blanks and tabs is '"' is
//    quoted: it runs to the next quote that is not doubled, a doubled quote
//    standing for one and commas being text; the blanks and tabs around its
//    quotes are dropped.
// 2. Any other field is kept as it stands, blanks included.
// 3. Refused: a quote in a field that is not quoted, text between a closing
//    quote and the next comma, and a quoted field not closed on its line (a
//    field that holds a line end is not read).
bool split_csv_line(std::string_view line, std::vector<std::string>& fields, std::string& why);

enum class CsvStatus { record, end_of_file, error };

// The records of a CSV text, one at a time.
// 1. Lines end in LF or CRLF. Blank lines (nothing but blanks and tabs) and
//    comment lines (whose first character other than blanks and tabs is
//    '#') are passed over; a UTF-8 byte order mark opening the first line
//    is dropped.
// 2. Every other line is one record, split by split_csv_line. A line longer
//    than MAX_LINE is refused.
// 3. An error names the line, "line 12: field 3: text after its closing
//    quote"; reading may go on with the next line.
// 4. Only the line being read is held, and fields keeps its strings from
//    one record to the next, so memory stays flat however many lines the
//    source gives.
class CsvReader {
 public:
  explicit CsvReader(LineSource& src) : src_(src) {}
  // The next record into fields, the end of the input, or an error with
  // its message in error.
  CsvStatus next(std::vector<std::string>& fields, std::string& error);
  // The line (from 1) of the record or error given last; at the end of the
  // input, the number of lines read.
  std::size_t line_number() const { return line_; }

 private:
  LineSource& src_;
  std::string text_;
  std::size_t line_ = 0;
};

// The columns of a header row, found by name: names are compared trimmed of
// blanks and tabs and without the case of ASCII letters ("Lon " is "lon").
// Columns are counted from 0 by find, from 1 in messages.
class CsvHeader {
 public:
  static constexpr std::size_t npos = static_cast<std::size_t>(-1);
  explicit CsvHeader(const std::vector<std::string>& row);
  // The column named name (the first, when two are), or npos when none is;
  // an empty name names no column.
  std::size_t find(std::string_view name) const;
  // "" when every one of names is a column's, else what is missing and
  // what there is: "no column 'lon' (the columns are: 'name', 'lat')",
  // with the first 20 columns.
  std::string missing(std::initializer_list<std::string_view> names) const;
  // "" when no two columns share a name, else the first two that do:
  // "columns 2 and 5 are both named 'lon'".
  const std::string& fault() const { return fault_; }
  std::size_t size() const { return names_.size(); }

 private:
  struct Key {
    std::string name;  // trimmed, in lower case
    std::size_t column;
  };
  std::vector<std::string> names_;  // trimmed, as written
  std::vector<Key> index_;          // sorted by name, then column
  std::string fault_;
};

}  // namespace kest
