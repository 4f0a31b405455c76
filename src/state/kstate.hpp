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
#pragma once

#include <string_view>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "textio/textio.hpp"

namespace kest {

// ---- State records as values ------------------------------------------------
// Plain functions, for the dialogue and for other programs that read and
// write state files (they touch no file and no global).

// Positions 1-30 of the state record, PLANUM through BFRM.
using StateValues = std::array<double, 30>;
inline constexpr std::size_t STATE_RECORD_BYTES = 240;  // a binary record
inline constexpr std::int32_t STATE_RECORDS = 15;       // records of KESTCM.DAT

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
