// The console driver of kest: start-up defaults, the print-destination
// prompt, the menu loop with its run stamp per option, the run-stamp clock
// routine, and the listing of the state record.
#pragma once

#include <cstdint>

#include "record/kestcm.hpp"
#include "textio/textio.hpp"

namespace kest {

// ---- Driver -------------------------------------------------------------------

// The interactive run on the keyboard (unit 5) and the screen (unit 6).
// Returns the exit status at the end of the run (an option code below 1, or
// the end of keyboard input at a driver prompt): 1 when some work of the run
// failed (a set-up from the tables, a save or restore that saved or restored
// nothing, an ephemeris refused for its state, the print file, which
// could not be opened or written completely, or the screen, which could not
// be written completely), otherwise 0. Once the screen cannot be written,
// a menu answer that is not an option ends the run, as the menu cannot be
// shown again.
int kestmn();

// Bring the state record, every routine's kept working variables and the
// unit table back to their state at program start (for running the driver
// several times in one process, as the fuzz and session harnesses do). The
// record is all zero again, as before the driver's start-up defaults.
void reset_program();

// ---- Run stamp ----------------------------------------------------------------

// The 22-character run stamp of the current local time: a blank, the
// year, a blank, the month abbreviation (Jan..Dec), a blank, the day right-
// justified in two columns, a blank, hh:mm:ss, a blank. The clock is read
// as a 64-bit count of seconds, so stamps go on past 2038.
void catime(FixedText<22>& BUFFER);
// The same for a given count of seconds since 1970 January 1 00:00:00 UTC.
void catime_at(std::int64_t seconds, FixedText<22>& BUFFER);

// ---- Listing ------------------------------------------------------------------

// Lists the state record on the print unit: positions 1-30 when MODE is odd
// and positive, positions 31-41 with the unit numbers and the run stamp
// when MODE >= 2 (3 lists both; 0 and negative values list nothing).
void prtpcom(std::int32_t MODE);

}  // namespace kest
