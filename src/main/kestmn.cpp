#include "main/kestmn.hpp"

#include "elements/kelements.hpp"
#include "math/kmath.hpp"
#include "orbit/korbit.hpp"
#include "state/kstate.hpp"
#include "time/ktime.hpp"

namespace kest {

namespace {

// Opens the print file. Its earlier content is replaced only when the first
// line is written to it. If it cannot be opened, print output goes to the
// screen for the rest of the run, so nothing is lost.
void open_print_file() {
  std::string why;
  if (!open_unit(KESTCM.IOP, "kest.prt", OpenStatus::unknown, Access::sequential, Direction::write, &why)) {
    write_free(KESTCM.IOS, {"Cannot open print file kest.prt: ", why});
    write_free(KESTCM.IOS, {"Printed output goes to the terminal instead."});
    KESTCM.IOP = KESTCM.IOS;
  }
}

// The end of a run: every unit closed and complete.
int finish() {
  const bool print_ok = flush_all() && !unit_failed(3);
  close_unit(3);
  if (!print_ok) {
    write_free(6, {"Print file kest.prt could not be written completely."});
    flush_all();
    return 1;
  }
  return 0;
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
  KESTCM.VERSID.set(VERSION_ID);
  KESTCM.IOK = 5;
  KESTCM.IOS = 6;
  KESTCM.IOP = 3;
  KESTCM.IOD = 4;
  KESTCM.PICON = PICON;
  KESTCM.R2D = 180.0 / KESTCM.PICON;

  // Print destination, asked once per run.
  const auto destination = [] { write_free(KESTCM.IOS, {"?* OUTPUT TO PRINTER OR TERMINAL: [P]/T?"}); };
  if (ask(KESTCM.IOK, destination, {w.CHAR}) == ReadStatus::end_of_file) return finish();
  if (w.CHAR.c[0] == 'T' || w.CHAR.c[0] == 't') {
    KESTCM.IOP = KESTCM.IOS;
  } else {
    open_print_file();
  }

  for (;;) {
    const auto show_menu = [] { write_fmt(KESTCM.IOS, menu, {}); };
    if (ask(KESTCM.IOK, show_menu, {w.KODE}) == ReadStatus::end_of_file) return finish();
    if (w.KODE < 1) return finish();
    if (w.KODE > 5) continue;

    catime(w.BUFFER);
    KESTCM.RUNTIME.set(w.BUFFER.view().substr(1, 20));
    write_fmt(KESTCM.IOP, stamp, {KESTCM.VERSID, KESTCM.RUNTIME});

    switch (w.KODE) {
      case 1:
        kestig(w.TITLE);
        break;
      case 2:
        kestio(w.TITLE);
        break;
      case 3:
        ephemr();
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
  reset_kestel_work();
  reset_kestig_work();
  reset_ephemr_work();
  eccanom8_work = Eccanom8Work{};
  orbit8_work = Orbit8Work{};
  kestit_work = KestitWork{};
  spcrev_work = SpcrevWork{};
  julday_work = JuldayWork{};
  caldat_work = CaldatWork{};
  caldate_work = CaldateWork{};
  ymd2j2_work = Ymd2j2Work{};
  reset_units();
}

}  // namespace kest
