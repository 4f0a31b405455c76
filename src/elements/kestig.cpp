// kestig: menu option 1. The dialogue (source, item, epoch, debug flags),
// the element read into KESTCM, and the frames derived from it, with the
// debug prints of the orbit matrix, the pole and the body frame.

#include <cmath>
#include <cstdint>
#include <string>

#include "elements/kelements.hpp"
#include "kestel_kinds.hpp"
#include "math/kmath.hpp"
#include "record/kestcm.hpp"
#include "textio/textio.hpp"

namespace kest {

namespace {

// Answers kept from one call to the next: a lone slash or comma keeps them.
struct KestigKept {
  std::int32_t INCODE = 0;  // source code 1..6
  std::int32_t IPLAN = 0;   // item number within the table
  double PERIOD = 0.0;      // orbital period of the last successful read, days
};
KestigKept kestig_kept;

enum class Dialogue { go, quit };

// Epochs from this many centuries on, in magnitude, are taken for a year
// typed where centuries are asked (2025 for 0.25): every year of four
// digits lands there, and an epoch 100000 years from 2000.0 lies far
// outside any span the mean elements and their rates describe.
constexpr double TC_REFUSED = 1000.0;  // Julian centuries

// The epoch prompt, read directly into TC. An epoch of TC_REFUSED or more is
// refused with the year it would be, TC goes back to what it held, and the
// prompt comes again (a lone slash there keeps that earlier epoch).
Dialogue ask_epoch(double& TC) {
  static const Format epoch{"(' ?* EPOCH desired as centuries after 2000.0')"};
  const std::int32_t IOK = KESTCM.IOK;
  const std::int32_t IOS = KESTCM.IOS;
  for (;;) {
    const double previous = TC;
    if (ask(IOK, [&] { write_fmt(IOS, epoch, {}); }, {TC}) == ReadStatus::end_of_file) return Dialogue::quit;
    if (std::fabs(TC) < TC_REFUSED) return Dialogue::go;
    // The year, to one decimal while a decimal is held.
    double year = 2000.0 + 100.0 * TC;
    if (std::fabs(year) < 1e15) year = std::round(year * 10.0) / 10.0;
    if (std::isfinite(year)) {
      write_free(IOS, {"EPOCH", TC, " centuries after 2000.0 is the year", year,
                       "; give centuries: 0.25 is 2025.0"});
    } else {
      write_free(IOS, {"EPOCH", TC, " centuries after 2000.0 is beyond any year; give centuries: 0.25 is 2025.0"});
    }
    TC = previous;
  }
}

// The source, item, epoch and debug prompts. A conversion error repeats its
// prompt, except at the debug prompt, which starts over from the source
// prompt.
Dialogue ask_body(KestigKept& w, std::int32_t& K) {
  KestCommon& C = KESTCM;
  for (;;) {
    for (;;) {
      const std::int32_t previous = w.INCODE;
      const ReadStatus s = ask(
          C.IOK,
          [&] { write_free(C.IOS, {" ?* SOURCE DATA: -=quit ", "1=Planets 3=minor 4=small [5=comets] 6=exoPlanets "}); },
          {w.INCODE});
      if (s == ReadStatus::end_of_file || w.INCODE <= 0) return Dialogue::quit;
      if (w.INCODE <= 6) break;
      // No table behind this code: say so and ask again; a later slash
      // then keeps the last accepted source.
      write_free(C.IOS, {"Source code", w.INCODE, " names no table file; give 1 to 6, or 0 to quit"});
      w.INCODE = previous;
    }
    for (;;) {
      const std::int32_t previous = w.IPLAN;
      if (ask(C.IOK, [&] { write_free(C.IOS, {" ?* WHICH item in file."}); }, {w.IPLAN}) == ReadStatus::end_of_file)
        return Dialogue::quit;
      if (w.IPLAN >= 1) break;
      // Items are counted from 1; a later slash keeps the last accepted item.
      write_free(C.IOS, {"No item", w.IPLAN, ": items are counted from 1"});
      w.IPLAN = previous;
    }
    if (w.INCODE == 1 && ask_epoch(C.TC) == Dialogue::quit) return Dialogue::quit;
    K = 0;
    write_free(C.IOS, {" ?* Debug print: 0:7 bit encoded See kestig"});
    const ReadStatus s = read_free(C.IOK, {K});
    if (s == ReadStatus::end_of_file) return Dialogue::quit;
    if (s == ReadStatus::ok) return Dialogue::go;
  }
}

// After a satellite name the spin-axis table does not list below the
// planet's line: the satellites it lists for that planet.
void name_satellites(std::int32_t planet_item) {
  std::string names;
  std::string planet;
  for (const BodyEntry& b : list_bodies(TableSet{})) {
    if (b.table == 1 && b.item == planet_item) planet = b.name;
    if (b.table == 2 && b.planet_item == planet_item) names += " " + b.name;
  }
  if (planet.empty()) return;
  if (names.empty()) {
    write_free(KESTCM.IOS, {"spinaxis.tab lists no satellites of ", planet});
  } else {
    write_free(KESTCM.IOS, {"Satellites of ", planet, " in spinaxis.tab:", names});
  }
}

}  // namespace

bool kestig(FixedText<25>& TITLE) {
  KestigKept& w = kestig_kept;
  KestCommon& C = KESTCM;
  // What a failed set-up gives back: the state as it was when option 1 began.
  const KestigKept kept_before = w;
  const KestCommon record_before = C;
  const FixedText<25> title_before = TITLE;
  std::int32_t K = 0;  // debug-print flags
  if (ask_body(w, K) == Dialogue::quit) return true;

  // The reader fills the record's element fields, set_up_record the rest.
  kestel(C.IOP, C.IOD, w.INCODE, w.IPLAN, C.TC, C.ODE, C.CLIN, C.ARGP, C.ECC, w.PERIOD, C.SJA, C.SIDAY, C.ZBAB,
         C.ZBAA, C.TJP, TITLE);
  if (kestel_ierr() != 0) {
    const bool satellite_missing = w.INCODE == 1 && kestel_ierr() == 4 && kestel_kept().IGO == 2;
    const std::int32_t planet_item = w.IPLAN;
    const std::string file(FNAME[static_cast<std::size_t>(kestel_kept().IGO >= 1 && kestel_kept().IGO <= 6 ? kestel_kept().IGO : 0)]);
    const std::string why(kestel_why());
    w = kept_before;
    C = record_before;
    TITLE = title_before;
    write_free(C.IOS, {"Set-up failed: the state is unchanged"});
    if (!why.empty()) write_free(C.IOS, {std::string_view(file).substr(0, file.find(' ')), ": ", why});
    if (satellite_missing) name_satellites(planet_item);
    return false;
  }
  const ElementSet e{C.ODE, C.CLIN, C.ARGP, C.ECC, w.PERIOD, C.SJA, C.SIDAY, C.ZBAB, C.ZBAA, C.TJP, TITLE};
  const RecordSetup s = set_up_record(C, e, w.INCODE, w.IPLAN, C.TC, K);
  C = s.record;
  const BodyFrame& f = s.frame;
  write_free(C.IOS, {TITLE});
  write_free(C.IOP, {" INPUT FILE WAS: ", TITLE});
  if (!(C.ECC < 1.0)) {
    write_free(C.IOS, {"Orbit is not elliptic (eccentricity", C.ECC, "): ephemerides are not available for it"});
  }

  if ((K & 1) != 0) {
    write_free(C.IOP, {"IPLAN,TC,SIDAY,OBL=", w.IPLAN, C.TC, C.SIDAY, C.OBL});
    write_free(C.IOP, {"ODE,CLIN,ARGP=", C.ODE, C.CLIN, C.ARGP});
    write_free(C.IOP, {"ECC,PERIOD,SJA=", C.ECC, w.PERIOD, C.SJA});
    write_free(C.IOP, {"ZBAB,ZBAA,TJP=", C.ZBAB, C.ZBAA, C.TJP});
    rotsho("EFRM", f.EFRM, C.IOP);
  }
  if ((K & 2) != 0) {
    rotsho("AFRM", f.AFRM, C.IOP);
    const double ra_deg = C.ZBAB * C.R2D;
    const double dec_deg = C.ZBAA * C.R2D;
    write_free(C.IOP, {"Spinaxis RA and Dec, degrees:", ra_deg, dec_deg});
  }
  if (f.pole_on_normal) {
    write_free(C.IOS, {"Pole lies along the orbit normal: equinox undefined;",
                       " perihelion direction used as body x axis"});
  }
  if ((K & 4) != 0) {
    vshow("ZBAXU", f.ZBAXU, -C.IOP);
    vshow("ZBFXU", f.ZBFXU, C.IOP);
    vshow("XBFXU", f.XBFXU, C.IOP);
    vshow("YBFXU", f.YBFXU, C.IOP);
    write_free(C.IOP, {"TAV: rad,deg", C.TAV, C.TAV * C.R2D});
    rotsho("BFRM", C.BFRM, C.IOP);
    double det_dev = 0.0, norm_dev = 0.0;
    rotest(C.BFRM, det_dev, norm_dev);
    write_free(C.IOP, {"ROTEST der and dev=", det_dev, norm_dev});
  }
  return true;
}

void reset_element_dialogue() {
  kestig_kept = KestigKept{};
  reset_kestel_kept();
}

}  // namespace kest
