// State persistence of kest (menu option 2): positions 1-30 of the state
// record KESTCM, PLANUM through BFRM, saved to and restored from state files.
//
// Two kinds of state file, both in the working directory:
// - "KESTCM.DAT", binary: 15 records of 240 bytes, record n at byte
//   (n - 1) x 240, each the 30 positions as little-endian IEEE doubles in
//   record order; records skipped over when the file grew read as zeros.
// - ASCII files of any name (default "KESTCM.mat"): every save appends a
//   seven-line record (a header line with the version, run stamp, body code,
//   epoch and title, then the 30 values five per line); a restore reads the
//   first record.
//
// A restore is all or nothing and a save never damages what a file already
// holds: when a file cannot be used, one message naming the file and the
// reason goes to the screen, no confirmation is printed, and the record, the
// run stamp and the title stay as they were.
//
// Every face (the dialogue's option 2, the Python module) opens, locks,
// reads and writes state files through the functions of "State files on
// disk" below, so that each rule holds for all of them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "record/kestcm.hpp"
#include "textio/textio.hpp"

namespace kest {

// ---- State records as values ------------------------------------------------
// Plain functions, for the dialogue and for other programs that read and
// write state files (they touch no file and no global).

// Positions 1-30 of the state record, PLANUM through BFRM.
using StateValues = std::array<double, 30>;
inline constexpr std::size_t STATE_RECORD_BYTES = 240;  // a binary record
inline constexpr std::int32_t STATE_RECORDS = 15;       // records of KESTCM.DAT

// Positions 1-30 of a state record, as a save stores them.
StateValues saved_values(const KestCommon& c);

// A binary record: the 30 values as little-endian IEEE doubles.
std::array<unsigned char, STATE_RECORD_BYTES> encode_binary_record(const StateValues& v);
StateValues decode_binary_record(const std::array<unsigned char, STATE_RECORD_BYTES>& b);

// The seven lines of a text record as a save writes them, each ending in a
// line end: the header with the version, the run stamp (20 characters),
// PLANUM, TC and the title as given, then the values five to a line.
std::string ascii_record(const StateValues& v, std::string_view versid, std::string_view runtime,
                         std::string_view title);

// The first text record of lines: the values, the run stamp and the nine
// characters of the title a restore takes; nothing, with the reason, when
// the record is damaged (a field not a number, a blank or over-long line,
// the lines ending early).
struct AsciiRecord {
  StateValues values{};
  FixedText<20> runtime;
  FixedText<9> title;
};
std::optional<AsciiRecord> read_ascii_record(LineSource& src, std::string& why);

// ---- The ASCII state record's format texts ------------------------------------

// Header line as a save writes it: VERSID, RUNTIME, PLANUM, TC, then the
// title less its trailing blanks.
inline constexpr std::string_view STATE_HEADER_OUT = "(A14,1x,A20,' IPLAN,TC= ',F5.1,F8.5,1X,A)";
// Header line as a restore reads it: columns 16-35 the run stamp, 47-51
// PLANUM, 52-59 TC, 61-69 the title, each taken as text first.
inline constexpr std::string_view STATE_HEADER_IN = "(15X,A20,11X,A5,A8,1X,A9)";
// The PLANUM and TC header fields, read again as numbers.
inline constexpr std::string_view STATE_PLANUM_IN = "(F5.1)";
inline constexpr std::string_view STATE_TC_IN = "(F8.5)";
// The 30 values, five per line, written and read with the same format.
inline constexpr std::string_view STATE_BODY = "(5G15.7)";

// ---- Checks of what goes into a state file ------------------------------------
// Plain functions; each returns "" when all is well, else the reason.

// The names of positions 1-30 as the Python module's dicts carry them (the
// listing's labels, except that position 20, listed as a second "BLIP", is
// KDEBUG).
inline constexpr std::array<std::string_view, 30> STATE_FIELDS = {
    "PLANUM", "TC",     "ODE",    "CLIN",    "ARGP",   "ECC",    "SJA",    "OBL",    "SFLAG",  "ZBAA",
    "ZBAB",   "WDOT",   "W0",     "OPERIOD", "TJP",    "SIDAY",  "spar17", "TAV",    "BLIP",   "KDEBUG",
    "PBUG",   "BFRM:1", "BFRM:2", "BFRM:3",  "BFRM:4", "BFRM:5", "BFRM:6", "BFRM:7", "BFRM:8", "BFRM:9"};

// A state file's name: "no file name given" when empty, "a file name cannot
// hold a zero byte" (the system would cut the name there).
std::string state_name_fault(std::string_view path);

// A text for a text record's header line (the title, the run stamp).
//   record_text_fault    a line end (LF or CR), which would split the record
//                        into more lines than its seven; the dialogue writes
//                        its title and run stamp as they are otherwise (the
//                        title no option has set is 25 zero bytes).
//   portable_text_fault  the rule for texts from other programs: printable
//                        ASCII and tabs only, so that the record reads back
//                        the same anywhere (no zero byte, line end, other
//                        control character or non-ASCII character).
std::string record_text_fault(std::string_view text);
std::string portable_text_fault(std::string_view text);

// A text read from a record written elsewhere, made valid UTF-8: a character
// cut off at the end (the nine bytes of a title can end inside one) is
// dropped, and any other byte that is not part of a UTF-8 character becomes
// U+FFFD. Valid UTF-8 comes back unchanged.
std::string utf8_text(std::string_view bytes);

// Whether the first bytes of a file (TEXT_PROBE_BYTES of them, or all of a
// shorter file) are text: printable ASCII, tab, line end, carriage return,
// form feed and well-formed UTF-8 characters (one cut off by the end of the
// TEXT_PROBE_BYTES counts, one cut off by the end of a shorter file does
// not), and past the first TEXT_LEAD_BYTES (the version and its blank) zero
// bytes too. Columns 1-60 of every text record's header line are printable,
// but for a run stamp that no option has set (20 zero bytes; those of an
// unset title start at column 61); a binary record starts with PLANUM, whose
// integral value has zero bytes among its first, and its other doubles are
// no text either. So a non-empty file whose first bytes are text holds text
// records (or notes), any other non-empty file holds binary records.
inline constexpr std::size_t TEXT_PROBE_BYTES = 60;
inline constexpr std::size_t TEXT_LEAD_BYTES = 15;
bool holds_text(std::string_view first_bytes);

// A state handed over by another program for saving (positions 1-30); the
// first fault found, naming its field:
// - every value a finite number;
// - ECC in [0, 1); SJA and OPERIOD above 0;
// - the angles, in radians, within their ranges: ODE, ARGP, ZBAB and TAV in
//   [-2 pi, 2 pi]; OBL, BLIP, CLIN and ZBAA in [-pi, pi]; each bound widened
//   by 1e-6 for the seven-digit rounding of a text record (pi is written
//   3.141593). The inclination CLIN and the pole's declination ZBAA are not
//   held to [0, pi] and [-pi/2, pi/2]: the planet table's linear rates carry
//   them past those bounds (the EM-Bary's inclination is below 0 after 2025,
//   the Earth's pole declination above pi/2 before 1850), and such states are
//   the dialogue's own. An angle given in degrees by mistake is still
//   refused once it passes its range (ODE above 6.3 degrees, CLIN above 3.2);
// - BFRM a rotation: B Bt equal to the identity and det B equal to +1, each
//   to 1e-9; to 1e-5 when all nine values have at most seven significant
//   digits, as a text record holds them (option 3 accepts a frame to 1e-5).
// Every state the dialogue sets up for the shipped bodies passes, and so does
// every state restored from a file it saved for them.
std::string state_values_fault(const StateValues& v);

// ---- State files on disk -------------------------------------------------------
// The file side of kestio (menu option 2), used by the Python module's
// read_state and write_state as well. Notes for all of them:
// 1. A name that is a symbolic link is refused ("it is a symbolic link"),
//    whether or not its target exists: nothing is read or written through it
//    and nothing is created. Links among the directories of the name are
//    followed.
// 2. Only regular files are used: a directory gives the system's "Is a
//    directory", a FIFO or a device "not a regular file", and no open waits.
// 3. Reads and writes hold an exclusive flock(2) on the file; a run that
//    finds the file replaced or removed by the time it holds the lock opens
//    the name again.
// 4. A write that fails takes back what it added: the file is cut back to the
//    size it had under the lock, the bytes it overwrote are put back, and a
//    file the save created and left empty is removed. A write that stops
//    short is continued; when it makes no progress the reason is "No space
//    left on device". Every failure carries a reason from the system or the
//    file, never an empty one.
// 5. Text and binary records are not mixed (holds_text): a text save or
//    restore refuses a file that holds binary records, a text save any file
//    named KESTCM.DAT, a binary save a non-empty file that holds text. A
//    binary restore reads the 240 bytes at the record's place whatever the
//    file holds, and a file the program may write but not read is written
//    without these checks.

// Why a state file could not be used: the reason, and the system's error
// number when the system refused (ENOENT, EACCES, ELOOP for a link, EFBIG,
// ENOSPC ...); 0 when the file or the request is at fault.
struct StateError {
  std::string why;
  int err = 0;
};

enum class StateKind { binary, text };
enum class StateUse { restore, save };

// An open state file; its descriptor (and the lock) goes with the object.
class StateFile {
 public:
  StateFile() = default;
  StateFile(StateFile&& other) noexcept;
  StateFile& operator=(StateFile&& other) noexcept;
  StateFile(const StateFile&) = delete;
  StateFile& operator=(const StateFile&) = delete;
  ~StateFile();
  bool is_open() const { return fd_ >= 0; }

 private:
  friend struct StateFileOps;  // the functions below
  void close_quietly();
  int fd_ = -1;
  std::string path_;
  StateKind kind_ = StateKind::binary;
  StateUse use_ = StateUse::restore;
  bool create_ = false;
  bool created_ = false;   // this object's open made the file
  bool readable_ = false;  // opened for reading too
  bool locked_ = false;
  long long size_ = 0;     // the size under the lock
};

// Open a state file.
//   path    in   the name, relative to the working directory or absolute
//   kind    in   binary (records of 240 bytes) or text (seven-line records)
//   use     in   restore (read) or save (write; text saves append)
//   create  in   create the file when it does not exist (the dialogue's
//                binary file is created even for a restore)
//   e       out  the reason when the file could not be opened
// Returns the open file, or one that is not open. The lock is taken later,
// by lock_state_file or by the first read or write.
StateFile open_state_file(const std::string& path, StateKind kind, StateUse use, bool create, StateError& e);

// Take the lock, the size under it, and check what the file holds (note 5).
// Done once; the reads and writes below call it themselves. False, with the
// reason, when the file cannot be used.
bool lock_state_file(StateFile& f, StateError& e);

// Record n (1-15) of a binary state file, or nothing with the reason (the
// record lies beyond the end of the file, the file ends inside it).
std::optional<StateValues> read_binary_state(StateFile& f, std::int32_t n, StateError& e);

// Write record n (1-15) of a binary state file, replacing only its 240 bytes
// (a file shorter than the record grows, with zeros for the records it
// skips over), and close the file. False, with the reason, after taking back
// what the write did.
bool write_binary_state(StateFile& f, std::int32_t n, const StateValues& v, StateError& e);

// The first record of a text state file, read while the lock is held.
std::optional<AsciiRecord> read_text_state(StateFile& f, StateError& e);

// Append one text record (ascii_record of the arguments) and close the file.
// A file whose last line lacks its line end gets one first. The run stamp
// must be 20 characters; texts with a line end are refused
// (record_text_fault). False, with the reason, after taking back what the
// write added.
bool append_text_state(StateFile& f, const StateValues& v, std::string_view versid, std::string_view runtime,
                       std::string_view title, StateError& e);

// ---- Option 2: save or restore ----------------------------------------------

// Save positions 1-30 of KESTCM to a state file, or restore them from one,
// after asking on IOS (answers from IOK): the operation, the kind of file,
// then the record number (binary) or the file name (ASCII).
//   TITLE  in/out  object title of the driver. A save writes it (ASCII header);
//                  a binary restore sets it to "From Binary: unknown", an ASCII
//                  restore to the 9 characters stored in columns 61-69 of the
//                  header, blank-padded.
// Notes:
// 1. A restore replaces positions 1-30 of KESTCM and TITLE, an ASCII restore
//    also RUNTIME; a save changes nothing in memory.
// 2. The confirmation line goes to IOP; the diagnostic line of an ASCII save
//    goes to unit 6.
// 3. End of keyboard input at any question returns with nothing changed
//    ("KESTCM.DAT" is still created when the binary kind was chosen).
// 4. The data unit IOD is closed on every return.
// 5. Returns false when a save or restore was asked for and nothing was
//    saved or restored; true otherwise (end of input included).
bool kestio(FixedText<25>& TITLE);

}  // namespace kest
