// The state record of a body set up: the fields option 1 fills from the
// element set, the body code, the epoch and the frame.

#include <cstdint>

#include "elements/kelements.hpp"
#include "math/kmath.hpp"
#include "record/kestcm.hpp"

namespace kest {

RecordSetup set_up_record(const KestCommon& before, const ElementSet& e, std::int32_t source, std::int32_t item,
                          double TC, std::int32_t K) {
  RecordSetup s;
  KestCommon& C = s.record;
  C = before;
  C.KDEBUG = static_cast<double>(static_cast<float>(K));
  if (source == 1) C.TC = TC;
  C.ODE = e.ODE;
  C.CLIN = e.CLIN;
  C.ARGP = e.ARGP;
  C.ECC = e.ECC;
  C.SJA = e.SJA;
  C.SIDAY = e.SIDAY;
  C.ZBAB = e.PRA;
  C.ZBAA = e.PDEC;
  C.TJP = e.TJP;
  C.OPERIOD = e.PERIOD;
  C.OBL = OBL_J2000;
  // Body code in single precision; the sum is formed wide so that no item
  // number can overflow it.
  C.PLANUM = static_cast<double>(
      static_cast<float>(static_cast<std::int64_t>(item) + 100 * static_cast<std::int64_t>(source)));
  s.frame = body_frame(FrameInput{C.ODE, C.CLIN, C.ARGP, C.ZBAA, C.ZBAB, C.OBL, source != 6, C.PICON});
  C.BLIP = s.frame.BLIP;
  C.BFRM = s.frame.BFRM;
  C.TAV = s.frame.TAV;
  return s;
}

KestCommon body_record(const SeasonBody& b, double TC) {
  KestCommon start;
  set_start_defaults(start);
  const std::int32_t source = b.model.moves() ? 1 : b.model.table();
  return set_up_record(start, b.model.at(TC), source, b.entry.request().item, TC, 0).record;
}

}  // namespace kest
