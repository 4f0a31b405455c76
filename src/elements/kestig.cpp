// kestig: menu option 1. The dialogue (source, item, epoch, debug flags),
// the element read into KESTCM, and the frames derived from it: the orbit
// matrix, the obliquity BLIP, the body frame BFRM and the equinox angle TAV.

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>

#include "elements/kelements.hpp"
#include "record/kestcm.hpp"
#include "math/kmath.hpp"
#include "textio/textio.hpp"

namespace kest {

void reset_kestig_work() { kestig_work = KestigWork{}; }

namespace {

enum class Dialogue { go, quit };

// Steps 2 to 5 of the dialogue. A conversion error repeats its prompt,
// except at the debug prompt, which starts over from the source prompt.
Dialogue ask(KestigWork& w) {
  static const Format epoch{"(' ?* EPOCH desired as centuries after 2000.0')"};
  KestCommon& C = KESTCM;
  for (;;) {
    for (;;) {
      const std::int32_t previous = w.INCODE;
      write_free(C.IOS, {" ?* SOURCE DATA: -=quit ", "1=Planets 3=minor 4=small [5=comets] 6=exoPlanets "});
      const ReadStatus s = read_free(C.IOK, {w.INCODE});
      if (s == ReadStatus::end_of_file) return Dialogue::quit;
      if (s != ReadStatus::ok) continue;
      if (w.INCODE <= 0) return Dialogue::quit;
      if (w.INCODE <= 6) break;
      // No table behind this code: say so and ask again; a later slash
      // then keeps the last accepted source.
      write_free(C.IOS, {"Source code", w.INCODE, " names no table file; give 1 to 6, or 0 to quit"});
      w.INCODE = previous;
    }
    for (;;) {
      write_free(C.IOS, {" ?* WHICH item in file."});
      const ReadStatus s = read_free(C.IOK, {w.IPLAN});
      if (s == ReadStatus::end_of_file) return Dialogue::quit;
      if (s == ReadStatus::ok) break;
    }
    if (w.INCODE == 1) {
      for (;;) {
        write_fmt(C.IOS, epoch, {});
        const ReadStatus s = read_free(C.IOK, {C.TC});
        if (s == ReadStatus::end_of_file) return Dialogue::quit;
        if (s == ReadStatus::ok) break;
      }
    }
    w.K = 0;
    write_free(C.IOS, {" ?* Debug print: 0:7 bit encoded See kestig"});
    const ReadStatus s = read_free(C.IOK, {w.K});
    if (s == ReadStatus::end_of_file) return Dialogue::quit;
    if (s == ReadStatus::ok) return Dialogue::go;
  }
}

}  // namespace

void kestig(FixedText<25>& TITLE) {
  KestigWork& w = kestig_work;
  KestCommon& C = KESTCM;
  w.PIO2 = C.PICON / 2.0;
  if (ask(w) == Dialogue::quit) return;

  C.KDEBUG = static_cast<double>(static_cast<float>(w.K));
  kestel(C.IOP, C.IOD, w.INCODE, w.IPLAN, C.TC, C.ODE, C.CLIN, C.ARGP, C.ECC, w.PERIOD, C.SJA,
         C.SIDAY, C.ZBAB, C.ZBAA, C.TJP, TITLE);
  C.OPERIOD = w.PERIOD;
  write_free(C.IOS, {TITLE});
  write_free(C.IOP, {" INPUT FILE WAS: ", TITLE});
  if (!(C.ECC < 1.0)) {
    write_free(C.IOS, {"Orbit is not elliptic (eccentricity", C.ECC,
                       "): ephemerides are not available for it"});
  }

  C.OBL = OBL_J2000;
  // Body code in single precision; the sum is formed wide so that no item
  // number can overflow it.
  C.PLANUM = static_cast<double>(
      static_cast<float>(static_cast<std::int64_t>(w.IPLAN) + 100 * static_cast<std::int64_t>(w.INCODE)));

  rotorb(C.ODE, C.CLIN, C.ARGP, w.AFRM, 1);
  if ((w.K & 1) != 0) {
    write_free(C.IOP, {"IPLAN,TC,SIDAY,OBL=", w.IPLAN, C.TC, C.SIDAY, C.OBL});
    write_free(C.IOP, {"ODE,CLIN,ARGP=", C.ODE, C.CLIN, C.ARGP});
    write_free(C.IOP, {"ECC,PERIOD,SJA=", C.ECC, w.PERIOD, C.SJA});
    write_free(C.IOP, {"ZBAB,ZBAA,TJP=", C.ZBAB, C.ZBAA, C.TJP});
    rotsho("EFRM", w.AFRM, C.IOP);
  }
  // Exoplanet orbits and poles share one frame: no ecliptic tilt for them.
  if (w.INCODE != 6) rotax(1, -C.OBL, w.AFRM);
  rotcol(w.AFRM, 3, w.ZFAXU);
  if ((w.K & 2) != 0) {
    rotsho("AFRM", w.AFRM, C.IOP);
    w.QB = C.ZBAB * C.R2D;
    w.QQ = C.ZBAA * C.R2D;
    write_free(C.IOP, {"Spinaxis RA and Dec, degrees:", w.QB, w.QQ});
  }

  cocosc(w.PIO2 - C.ZBAA, C.ZBAB, 1.0, w.ZBAXU);
  vdot(w.ZFAXU, w.ZBAXU, w.QQ);
  // Two unit vectors: rounding may carry the product just past +-1.
  w.QQ = std::clamp(w.QQ, -1.0, 1.0);
  C.BLIP = std::acos(w.QQ);

  trans3(w.AFRM, w.FARM);
  rotvec(w.FARM, w.ZBAXU, w.ZBFXU);
  vcross(w.ZBFXU, ZUNIT, w.QV);
  const double qv2 = w.QV(1) * w.QV(1) + w.QV(2) * w.QV(2) + w.QV(3) * w.QV(3);
  if (qv2 < DBL_MIN) {
    // Pole along the orbit normal: every direction in the orbit plane is on
    // the equator, so the equinox is undefined. Perihelion serves as x.
    write_free(C.IOS, {"Pole lies along the orbit normal: equinox undefined;",
                       " perihelion direction used as body x axis"});
    w.XBFXU = Vec3{{1.0, 0.0, 0.0}};
  } else {
    vnorm(w.QV, w.XBFXU);
  }
  vcross(w.ZBFXU, w.XBFXU, w.YBFXU);

  for (int i = 1; i <= 3; ++i) {
    C.BFRM.at(3 * i - 2) = w.XBFXU(i);
    C.BFRM.at(3 * i - 1) = w.YBFXU(i);
    C.BFRM.at(3 * i) = w.ZBFXU(i);
  }
  C.TAV = std::atan2(w.XBFXU(2), w.XBFXU(1));

  if ((w.K & 4) != 0) {
    vshow("ZBAXU", w.ZBAXU, -C.IOP);
    vshow("ZBFXU", w.ZBFXU, C.IOP);
    vshow("XBFXU", w.XBFXU, C.IOP);
    vshow("YBFXU", w.YBFXU, C.IOP);
    write_free(C.IOP, {"TAV: rad,deg", C.TAV, C.TAV * C.R2D});
    rotsho("BFRM", C.BFRM, C.IOP);
    rotest(C.BFRM, w.QB, w.QQ);
    write_free(C.IOP, {"ROTEST der and dev=", w.QB, w.QQ});
  }
}

}  // namespace kest
