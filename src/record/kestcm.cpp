#include "record/kestcm.hpp"

#include <array>
#include <cassert>
#include <cstddef>

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

namespace {

// The scalar positions by member; the vectors and the matrix are reached
// through their own storage, so no access runs across members.
using Scalar = double KestCommon::*;
constexpr std::array<Scalar, 21> FIRST21 = {
    &KestCommon::PLANUM, &KestCommon::TC,     &KestCommon::ODE,    &KestCommon::CLIN,    &KestCommon::ARGP,
    &KestCommon::ECC,    &KestCommon::SJA,    &KestCommon::OBL,    &KestCommon::SFLAG,   &KestCommon::ZBAA,
    &KestCommon::ZBAB,   &KestCommon::WDOT,   &KestCommon::W0,     &KestCommon::OPERIOD, &KestCommon::TJP,
    &KestCommon::SIDAY,  &KestCommon::spar17, &KestCommon::TAV,    &KestCommon::BLIP,    &KestCommon::KDEBUG,
    &KestCommon::PBUG};

template <typename Record>
auto& position(Record& c, int k) {
  assert(k >= 1 && k <= 41);
  const auto i = static_cast<std::size_t>(k - 1);
  if (k <= 21) return c.*FIRST21[i];
  if (k <= 30) return c.BFRM.m[i - 21];
  if (k == 31) return c.PICON;
  if (k == 32) return c.R2D;
  if (k <= 35) return c.PHFXX.v[i - 32];
  if (k <= 38) return c.HPBXX.v[i - 35];
  return c.SPAV.v[i - 38];
}

}  // namespace

void set_start_defaults(KestCommon& c) {
  c.VERSID.set(VERSION_ID);
  c.IOK = 5;
  c.IOS = 6;
  c.IOP = 3;
  c.IOD = 4;
  c.PICON = PICON;
  c.R2D = 180.0 / c.PICON;
}

double& KestCommon::pos(int k) { return position(*this, k); }

double KestCommon::pos(int k) const { return position(*this, k); }

}  // namespace kest
