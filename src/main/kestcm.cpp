#include "kestcm.hpp"

#include <cassert>

namespace kest {

// Each label is eight characters, blank-padded on the right.
const std::array<std::string_view, 30> TI1 = {
    "PLANUM  ", "TC      ",     "ODE     ",    "CLIN    ",   "ARGP    ",   "ECC     ",    "SJA     ",     "OBL     ",
    "SFLAG   ",  "ZBAA    ",   "ZBAB    ",   "WDOT    ",   "W0      ",     "OPERIOD ", "TJP     ",    "SIDAY   ",
    "spar17  ", "TAV     ",    "BLIP    ",   "BLIP    ",   "PBUG    ",   "BFRM:1  ", "BFRM:2  ",  "BFRM:3  ",
    "BFRM:4  ", "BFRM:5  ", "BFRM:6  ", "BFRM:7  ", "BFRM:8  ", "BFRM:9  "};

const std::array<std::string_view, 11> TI2 = {"PICON   ",   "R2D     ",     "PHFXX:1 ", "PHFXX:2 ",
                                              "PHFXX:3 ", "HPBXX:1 ", "HPBXX:2 ", "HPBXX:3 ",
                                              "SPAV:1  ",  "SPAV:2  ",  "SPAV:3  "};

// The 41 doubles lie one after another from the start of the record.
double& KestCommon::pos(int k) {
  assert(k >= 1 && k <= 41);
  return reinterpret_cast<double*>(this)[k - 1];
}

double KestCommon::pos(int k) const {
  assert(k >= 1 && k <= 41);
  return reinterpret_cast<const double*>(this)[k - 1];
}

}  // namespace kest
