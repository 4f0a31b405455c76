#include "main/kestmn.hpp"

#include <unistd.h>

#include <string>
#include <string_view>

#include "elements/kelements.hpp"
#include "math/kmath.hpp"
#include "orbit/korbit.hpp"
#include "state/kstate.hpp"
#include "time/ktime.hpp"

namespace kest {

namespace {

// Working variables of the driver, kept for the whole run.
struct KestmnWork {
  FixedText<1> CHAR;     // answer to the print-destination prompt
  std::int32_t KODE = 0; // menu option code
  FixedText<22> BUFFER;  // run stamp from catime
  FixedText<25> TITLE;   // object title shared by the options
  double DER = 0.0;      // determinant deviation of BFRM (option 5)
  double DEV = 0.0;      // norm deviation of BFRM (option 5)
  bool failed = false;   // some work of the run failed: the exit status is 1
};
KestmnWork kestmn_work;

// Opens the print file. Its earlier content is replaced only when the first
// line is written to it. If it cannot be opened, print output goes to the
// screen for the rest of the run, so nothing is lost. A link planted at its
// name is refused (its target would be replaced), unless it leads to a
// character device such as /dev/null.
void open_print_file() {
  std::string why;
  if (!open_unit(KESTCM.IOP, "kest.prt", OpenStatus::unknown, Access::sequential, Direction::write, &why,
                 Links::devices_only)) {
    write_free(KESTCM.IOS, {"Cannot open print file kest.prt: ", why});
    write_free(KESTCM.IOS, {"Printed output goes to the terminal instead."});
    KESTCM.IOP = KESTCM.IOS;
    kestmn_work.failed = true;
  }
}

// A diagnostic on standard error, for when the screen itself fails.
void diagnose(std::string_view text) {
  std::string line = "kest: ";
  line += text;
  line += '\n';
  [[maybe_unused]] const ssize_t r = ::write(2, line.data(), line.size());
}

// The end of a run: every unit closed and complete. A stream that could not
// be written is named on standard error (and on the screen, for the print
// file, when the screen works).
int finish() {
  flush_all();
  const bool print_failed = unit_failed(3);
  close_unit(3);
  const bool screen_failed = unit_failed(6);
  if (print_failed && !screen_failed) {
    write_free(6, {"Print file kest.prt could not be written completely."});
    flush_all();
  }
  if (print_failed) diagnose("print file kest.prt could not be written completely");
  if (screen_failed) diagnose("standard output (the screen) could not be written completely");
  return print_failed || screen_failed || kestmn_work.failed ? 1 : 0;
}

}  // namespace

int kestmn() {
  KestmnWork& w = kestmn_work;
  static const Format menu{
      "(' ? Option Kode   0=quit'                                "
      "/' 1 = Initiate COMMON from an orbital elements file'             "
      "/' 2 = Read/Save COMMON from/to ASCII or binary file '            "
      "/' 3 = print Ephemeris tables based upon current COMMON'          "
      "/' 4 = print COMMON'                                              "
      "/' 5 = test computation and print of rotation matrices')"};
  static const Format stamp{"(' KESTMN:',A,'  Run_time=',A)"};

  // Defaults, before the first prompt.
  set_start_defaults(KESTCM);

  // Print destination, asked once per run.
  const auto destination = [] { write_free(KESTCM.IOS, {"?* OUTPUT TO PRINTER OR TERMINAL: [P]/T?"}); };
  if (ask(KESTCM.IOK, destination, {w.CHAR}) == ReadStatus::end_of_file) return finish();
  if (w.CHAR.c[0] == 'T' || w.CHAR.c[0] == 't') {
    KESTCM.IOP = KESTCM.IOS;
  } else {
    open_print_file();
  }

  for (;;) {
    write_fmt(KESTCM.IOS, menu, {});
    const ReadStatus s = read_free(KESTCM.IOK, {w.KODE});
    if (s == ReadStatus::end_of_file) return finish();
    // An answer the menu cannot take shows it again; once the screen is
    // gone it cannot be shown, and the run ends rather than reading an
    // endless input (`yes | kest | head`) for ever.
    if (s == ReadStatus::conversion_error || w.KODE > 5) {
      if (unit_failed(KESTCM.IOS)) return finish();
      continue;
    }
    if (w.KODE < 1) return finish();

    catime(w.BUFFER);
    KESTCM.RUNTIME.set(w.BUFFER.view().substr(1, 20));
    write_fmt(KESTCM.IOP, stamp, {KESTCM.VERSID, KESTCM.RUNTIME});

    switch (w.KODE) {
      case 1:
        if (!kestig(w.TITLE)) w.failed = true;
        break;
      case 2:
        if (!kestio(w.TITLE)) w.failed = true;
        break;
      case 3:
        if (!ephemr()) w.failed = true;
        break;
      case 4:
        write_free(KESTCM.IOP, {"Object = ", w.TITLE});
        prtpcom(3);
        break;
      default:
        rotsho("BFRM", KESTCM.BFRM, KESTCM.IOP);
        rotest(KESTCM.BFRM, w.DER, w.DEV);
        write_free(KESTCM.IOP, {"Delta Determ., max Dev =", w.DER, w.DEV});
        break;
    }
  }
}

void reset_program() {
  KESTCM = KestCommon{};
  kestmn_work = KestmnWork{};
  reset_element_dialogue();
  reset_ephemeris_dialogue();
  reset_units();
}

}  // namespace kest
