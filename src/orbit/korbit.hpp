// Orbit propagation of kest: Kepler's equation and the position of the body
// in its orbit plane, the seasonal geometry of the body held in the state
// record at a date (or the date of a season), and the revolution numbers of a
// spacecraft orbiting the body.
//
// Everything is double precision and in radians, days and AU, except the
// revolution numbers, which are single precision. No routine checks its
// inputs or reports an error; a Kepler solution that fails shows only as a
// negative radius. Every routine keeps its working values in a work record
// of its own between calls.
#pragma once

#include <array>
#include <cstdint>

#include "math/kmath.hpp"
#include "textio/textio.hpp"

namespace kest {

// ---- Kepler's equation and the orbit-plane position ---------------------------

// Eccentric anomaly E of M = E - e sin E, by Newton's method.
//   e  in  eccentricity, 0 <= e < 1
//   m  in  mean anomaly, radians, any sign
// Returns E, radians, within e of M when the iteration converges.
// 1. Starts from M + e sin M + e^2 sin(2M) / 2 and takes at most 20 Newton
//    steps, ending when a step changes E by no more than 1e-9; the value
//    returned is the new iterate of that step.
// 2. After 20 steps without convergence it returns the last iterate plus
//    2 pi, the failure signal that orbit8 tests.
double eccanom8(double e, double m);

// Position of the body at a time after perihelion, orbit-plane frame (x to
// perihelion, z along the orbit normal, motion from x toward y).
//   a    in   semi-major axis (any length unit)
//   p    in   period (the time unit of t)
//   e    in   eccentricity, 0 <= e < 1
//   t    in   time since perihelion, negative before it
//   r    out  distance from the focus, unit of a; NEGATIVE when Kepler's
//             equation did not converge
//   pos  out  position, unit of a; third component 0
// 1. The mean anomaly is (2 pi t) / p reduced by 2 pi, with the sign of t.
// 2. After a failure pos lies on the ellipse at the unconverged iterate.
// 3. A period of 0, or e >= 1, gives not-a-number results.
void orbit8(double a, double p, double e, double t, double& r, Vec3& pos);

// ---- Seasonal geometry of the body in the state record ------------------------

// Season at a date (kode = 1) or date of a season (any other kode), from
// ECC, SJA, OPERIOD, TJP, TAV, BFRM and R2D of KESTCM.
//   kode   in      1: date to season; otherwise season to date
//   tmjd   in/out  date, days from J2000.0 (in for kode 1, out otherwise)
//   lsubs  out/in  season angle Ls, degrees, [0, 360) (out for kode 1)
//   sdec   out     subsolar latitude, degrees
//   dau    out     heliocentric distance, AU (never negative)
// 1. Mode 1 writes the body's position into PHFXX; both modes write the
//    body-to-Sun vector in the body frame into HPBXX.
// 2. Mode 2 returns the passage through the season nearest to TJP, within
//    half an orbit of it.
// 3. KDEBUG truncated odd and positive writes the lines "KODE,TMJD,LSUBS=",
//    "TAR,P,Q,R=" and "SDEC,DAU=" with their values to the screen (unit 6).
// 4. A record with OPERIOD = 0 or ECC >= 1 gives not-a-number results.
void kestit(std::int32_t kode, double& tmjd, double& lsubs, double& sdec, double& dau);

// ---- Spacecraft revolution numbers ----------------------------------------------

// Revolution number of a spacecraft at a date, single precision.
//   period  in   > 0: period in days; 0: no spacecraft; < 0: -period rounded
//                to the nearest whole number names built-in spacecraft 1 or 2
//   epoch   in   date of revolution 0 (period > 0 only), days
//   date    in   date on the scale of the built-in tables (days)
//   rev     out  revolution number, a real number of revolutions
// 1. For a built-in spacecraft the revolution is counted from the last
//    tabulated periapsis before the date (the first one for earlier dates)
//    with the period from it, plus 0.5: a tabulated periapsis itself gives
//    its revolution number + 0.5.
// 2. Any other spacecraft number (a period above -0.5 or below -2.5) and a
//    period that is not a number give 0. Dates past the last periapsis of a
//    spacecraft, even beyond its table's end mark, go on from that periapsis.
void spcrev(float period, float epoch, float date, float& rev);

// ---- Working values kept between calls ------------------------------------------

struct Eccanom8Work {
  double E = 0.0, DANOM = 0.0, EE = 0.0, ACC = 0.0;
  std::int32_t I = 0;  // Newton steps of the last call (21 after a failure)
};
struct Orbit8Work {
  double ANOM = 0.0, EE = 0.0, CE = 0.0;
};
struct KestitWork {
  double T = 0.0, R = 0.0;
  Vec3 HPFXX;
  double TAR = 0.0, STA = 0.0, CTA = 0.0, P = 0.0, EA = 0.0, ANOM = 0.0, Q = 0.0;
  std::int32_t K = 0, I = 0;
};
struct SpcrevWork {
  std::int32_t K = 0, I = 0;  // spacecraft number and table row (1-based)
};

inline Eccanom8Work eccanom8_work;
inline Orbit8Work orbit8_work;
inline KestitWork kestit_work;
inline SpcrevWork spcrev_work;

// ---- Ephemeris table ------------------------------------------------------------

// Working values of the ephemeris table, kept between calls so that an
// answer cut short by a slash leaves the earlier values in place.
struct EphemrWork {
  std::int32_t N2 = 0;       // number of dates
  double DJUL = 0.0;         // first date, days from J2000.0
  double DELJUL = 0.0;       // step between dates, days
  float ORBPER = 0.0F;       // spacecraft period, days; 0 none; negative a built-in spacecraft
  float ORB0 = 0.0F;         // date of spacecraft revolution 0
  FixedText<28> TITLE;       // title of the table
  std::int32_t LINE = 0;     // lines on the current page
  std::int32_t I = 0;        // line index
  double DJU5 = 0.0;         // date of the current line
  float DJU4 = 0.0F;         // the same in single precision
  double SUBS = 0.0;         // Ls, degrees
  double SDEC = 0.0;         // subsolar latitude, degrees
  double DAU = 0.0;          // heliocentric distance, AU
  std::int32_t IYEAR = 0, IMON = 0, IDAY = 0, IDATE = 0;
  float FDAY = 0.0F;         // fraction of the day, then day of month with it
  FixedText<3> MONTH;        // month name
  FixedText<3> WDAY;         // weekday name
  float REV = 0.0F;          // spacecraft revolution number
};
inline EphemrWork ephemr_work;
void reset_ephemr_work();

// Menu option 3: asks for a series of equally spaced dates and an optional
// spacecraft orbit, and prints a paged table of date, revolution number,
// heliocentric distance, Ls, subsolar latitude, day number, weekday and day
// of the year on the print unit; then asks again, until no dates are asked
// for or the keyboard input ends. Refuses, with a message, to tabulate a
// state that holds no elliptic orbit.
void ephemr();

}  // namespace kest
