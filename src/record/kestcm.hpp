// The orbital state record KESTCM: the one global record through which every
// option shares the current body's orbit, pole, frames, constants, unit
// numbers, run stamp and version identifier; and the two label tables under
// which the listing prints positions 1-30 and 31-41.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "math/kmath.hpp"
#include "textio/textio.hpp"

namespace kest {

// Field order and widths are fixed: 41 doubles, four 32-bit unit numbers,
// a 20-character run stamp and a 14-character version identifier, with
// nothing between them. Positions 1-30 are the ones stored in state files.
struct KestCommon {
  double PLANUM = 0.0;   //  1 body code: item + 100 x source code
  double TC = 0.0;       //  2 epoch, Julian centuries after J2000.0
  double ODE = 0.0;      //  3 longitude of the ascending node, radians
  double CLIN = 0.0;     //  4 inclination, radians
  double ARGP = 0.0;     //  5 argument of perihelion, radians
  double ECC = 0.0;      //  6 eccentricity
  double SJA = 0.0;      //  7 semi-major axis, AU
  double OBL = 0.0;      //  8 obliquity of the ecliptic to the J2000 equator, radians
  double SFLAG = 0.0;    //  9 carried only
  double ZBAA = 0.0;     // 10 declination of the spin-axis north pole, radians
  double ZBAB = 0.0;     // 11 right ascension of the pole, radians
  double WDOT = 0.0;     // 12 carried only
  double W0 = 0.0;       // 13 carried only
  double OPERIOD = 0.0;  // 14 orbital period, days
  double TJP = 0.0;      // 15 time of perihelion, days from J2000.0
  double SIDAY = 0.0;    // 16 rotation period, unit as the source delivers it
  double spar17 = 0.0;   // 17 spare
  double TAV = 0.0;      // 18 true anomaly of the Sun direction at Ls = 180, radians
  double BLIP = 0.0;     // 19 obliquity of the body, radians
  double KDEBUG = 0.0;   // 20 debug flags (listed under a second "BLIP")
  double PBUG = 0.0;     // 21 carried only
  Mat3 BFRM;             // 22-30 orbit-plane frame to body frame
  double PICON = 0.0;    // 31 the program's pi
  double R2D = 0.0;      // 32 degrees per radian
  Vec3 PHFXX;            // 33-35 body position from the Sun, orbit-plane frame, AU
  Vec3 HPBXX;            // 36-38 body-to-Sun vector, body frame, AU
  Vec3 SPAV;             // 39-41 spare vector
  std::int32_t IOK = 0;  // keyboard unit
  std::int32_t IOS = 0;  // screen unit
  std::int32_t IOP = 0;  // print unit
  std::int32_t IOD = 0;  // data unit
  FixedText<20> RUNTIME; // run stamp of the current option
  FixedText<14> VERSID;  // version identifier

  // Position k (1..41) of the 41 doubles.
  double& pos(int k);
  double pos(int k) const;
};

static_assert(std::is_standard_layout_v<KestCommon>);
static_assert(offsetof(KestCommon, PLANUM) == 0);
static_assert(offsetof(KestCommon, PBUG) == 20 * sizeof(double));
static_assert(offsetof(KestCommon, BFRM) == 21 * sizeof(double));
static_assert(offsetof(KestCommon, PICON) == 30 * sizeof(double));
static_assert(offsetof(KestCommon, PHFXX) == 32 * sizeof(double));
static_assert(offsetof(KestCommon, SPAV) == 38 * sizeof(double));
static_assert(offsetof(KestCommon, IOK) == 41 * sizeof(double));
static_assert(offsetof(KestCommon, RUNTIME) == 41 * sizeof(double) + 16);
static_assert(offsetof(KestCommon, VERSID) == 41 * sizeof(double) + 36);
// 378 bytes of fields, then only the tail padding to the alignment of a double.
static_assert(sizeof(KestCommon) == 384);

// The one record of the run.
inline KestCommon KESTCM;

// Number of positions stored in state files.
inline constexpr int NSAVED = 30;

// Listing labels of positions 1-30 and 31-41 (eight characters each,
// blank-padded).
extern const std::array<std::string_view, 30> TI1;
extern const std::array<std::string_view, 11> TI2;

// The version identifier written at start.
inline constexpr std::string_view VERSION_ID = "KEST:2014jun10";

// The values the driver writes into a record before anything else runs:
// VERSID, the unit numbers 5, 6, 3, 4, PICON and R2D = 180 / PICON.
void set_start_defaults(KestCommon& c);

}  // namespace kest
