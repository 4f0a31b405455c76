// kestel: the element table reader as the dialogue shows it. Progress lines
// and failure reports go to the terminal, the satellite name of a planet is
// asked at the keyboard, and the summary goes to the print unit. The
// working values are kept from one call to the next.

#include <cstdint>
#include <string>
#include <string_view>

#include "elements/kelements.hpp"
#include "kestel_kinds.hpp"
#include "textio/textio.hpp"

namespace kest {

namespace {

struct KestelKept {
  std::int32_t IERR = 0;  // failure number of the last call
  std::string why;        // why its table could not be opened
  ReaderWork work;        // working values of the last call
};
KestelKept kestel_kept_values;

void show(const std::string& line) {
  static const Format raw{"(A)"};
  write_fmt(6, raw, {line});
}

// The satellite prompt: a slash keeps the planet's own name; so does the
// end of the keyboard input, which the next prompt of the driver then meets
// again.
void ask_satellite(FixedText<12>& name, std::string_view title) {
  write_free(6, {"Orbit is ", title, " ENTER:  / or satellite name"});
  (void)read_free(5, {name});
}

}  // namespace

void reset_kestel_kept() { kestel_kept_values = KestelKept{}; }

std::int32_t kestel_ierr() { return kestel_kept_values.IERR; }
std::string_view kestel_why() { return kestel_kept_values.why; }
const ReaderWork& kestel_kept() { return kestel_kept_values.work; }

void kestel(std::int32_t IOP, std::int32_t IOD, std::int32_t IFILE, std::int32_t IPLAN, double TCEN,
            double& ODE, double& CLIN, double& ARGP, double& ECC, double& PERIOD, double& SJA, double& SIDAY,
            double& PRA, double& PDEC, double& TJP, FixedText<25>& TITLE) {
  static const Format summary{
      "('0IFILE IPLAN FILE TITLE TCEN ='/2I4,2X,A,2X,A10,F10.6  /'[double] ODE CLIN ARGP "
      "/radian =' /3F15.8 /3F15.8               /' SJA ECC TJP PERIOD ='/2F15.8,f15.5,F15.8     "
      "                  /' SIDAY   [double] PDEC PRA  /radian ='/F15.8/2F15.8/2F15.8)"};
  KestelKept& kept = kestel_kept_values;

  ElementRequest rq;
  rq.table = IFILE;
  rq.item = IPLAN;
  rq.TCEN = TCEN;
  rq.start = ElementSet{ODE, CLIN, ARGP, ECC, PERIOD, SJA, SIDAY, PRA, PDEC, TJP, TITLE};
  rq.work = kept.work;
  const ElementOutcome out = read_element_set(TableSet{}, rq, ReaderHooks{show, ask_satellite});
  kept.IERR = out.IERR;
  kept.why = out.why;
  kept.work = out.work;
  close_unit(IOD);  // the data unit is free again, whatever it held

  const ElementSet& e = out.set;
  TITLE = e.TITLE;
  TJP = e.TJP;
  SIDAY = e.SIDAY;
  if (!out.ok()) {
    write_free(6, {"KESTEL Error: File was >", out.file()});
    write_free(6, {"------ Error: ierr", out.IERR, " Last title= ", TITLE});
    write_free(6, {"------ Error: J=", out.work.J, " Reason: ", out.reason()});
    return;
  }

  ODE = e.ODE;
  CLIN = e.CLIN;
  ARGP = e.ARGP;
  ECC = e.ECC;
  SJA = e.SJA;
  PRA = e.PRA;
  PDEC = e.PDEC;
  PERIOD = e.PERIOD;
  if (IOP != 0) {
    const ReaderWork& w = out.work;
    write_fmt(IOP, summary,
              {IFILE, IPLAN, FNAME[static_cast<std::size_t>(IFILE)], TITLE, TCEN, w.DODE, w.DCLIN, w.DARGP, ODE,
               CLIN, ARGP, SJA, ECC, TJP, PERIOD, SIDAY, w.DPDEC, w.DPRA, PDEC, PRA});
  }
}

}  // namespace kest
