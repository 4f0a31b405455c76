// Orbit propagation of kest: Kepler's equation and the position of the body
// in its orbit plane, the seasonal geometry of the body held in the state
// record at a date (or the date of a season), and the revolution numbers of a
// spacecraft orbiting the body.
//
// Everything is double precision and in radians, days and AU, except the
// revolution numbers, which are single precision. No routine checks its
// inputs or reports an error; a Kepler solution that fails shows only as a
// negative radius. The computations are plain functions of their arguments
// (solve_kepler, orbit_position, season_at, date_of_season, revolution_at),
// safe to call from several threads; eccanom8, orbit8, kestit and spcrev
// are the dialogue's names for them, kestit over the state record.
#pragma once

#include <array>
#include <cstdint>

#include "math/kmath.hpp"
#include "record/kestcm.hpp"
#include "textio/textio.hpp"

namespace kest {

// ---- Kepler's equation and the orbit-plane position ---------------------------

// The outcome of the Newton iteration of Kepler's equation.
struct KeplerSolution {
  double E = 0.0;          // eccentric anomaly returned, radians
  double last = 0.0;       // last iterate (E less 2 pi after a failure)
  std::int32_t steps = 0;  // Newton steps taken; 21 when it did not converge
};

// Eccentric anomaly E of M = E - e sin E, by Newton's method.
//   e  in  eccentricity, 0 <= e < 1
//   m  in  mean anomaly, radians, any sign
// Returns E, radians, within e of M when the iteration converges.
// 1. Starts from M + e sin M + e^2 sin(2M) / 2 and takes at most 20 Newton
//    steps, ending when a step changes E by no more than 1e-9; the value
//    returned is the new iterate of that step.
// 2. After 20 steps without convergence it returns the last iterate plus
//    2 pi, the failure signal that orbit8 tests.
KeplerSolution solve_kepler(double e, double m);
double eccanom8(double e, double m);  // solve_kepler(e, m).E

// Position of a body in its orbit plane at a time after perihelion.
struct OrbitPosition {
  double r = 0.0;      // distance from the focus; negative when Kepler's equation failed
  Vec3 pos;            // position, x to perihelion, third component 0
  double anom = 0.0;   // mean anomaly used, radians
  double ecc_anom = 0.0;  // eccentric anomaly, radians
};

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
OrbitPosition orbit_position(double a, double p, double e, double t);
void orbit8(double a, double p, double e, double t, double& r, Vec3& pos);

// ---- Seasonal geometry -----------------------------------------------------------

// What the season geometry needs of a body: its orbit, the equinox angle and
// the body frame. season_orbit fills it from a state record.
struct SeasonOrbit {
  double ECC = 0.0;      // eccentricity
  double SJA = 0.0;      // semi-major axis, AU
  double OPERIOD = 0.0;  // orbital period, days
  double TJP = 0.0;      // time of perihelion, days from J2000.0
  double TAV = 0.0;      // true anomaly of the Sun direction at Ls = 0, radians
  Mat3 BFRM;             // orbit-plane frame to body frame
  double R2D = 0.0;      // degrees per radian
};
SeasonOrbit season_orbit(const KestCommon& c);

// The season of a body at a date, or the date of a season.
struct Season {
  double tmjd = 0.0;   // date, days from J2000.0
  double lsubs = 0.0;  // season angle Ls, degrees
  double sdec = 0.0;   // subsolar latitude, degrees (planetocentric)
  double dau = 0.0;    // heliocentric distance, AU, never negative
  Vec3 PHFXX;          // body position from the Sun, orbit-plane frame, AU (date to season only)
  Vec3 HPBXX;          // body-to-Sun vector, body frame, AU
  // Intermediate values shown by the debug lines.
  double TAR = 0.0;    // date to season: Sun direction from perihelion; season to date: true anomaly (radians)
  double P = 0.0;      // colatitude of the Sun in the body frame, radians
  double Q = 0.0;      // east longitude of the Sun in the body frame, radians
  double R = 0.0;      // radius: from the Kepler solution (negative if it failed) or of the season
};

// Season at a date: Ls in [0, 360), subsolar latitude and distance.
//   o          in  orbit and body frame
//   tmjd       in  date, days from J2000.0
//   longitude  in  false: Q, the Sun's longitude in the body frame, is not
//                  worked out (left 0); the rest is the same to the bit
// Not-a-number results for OPERIOD = 0 or ECC >= 1.
Season season_at(const SeasonOrbit& o, double tmjd, bool longitude = true);

// Date of a season: the passage through Ls nearest to the perihelion date
// TJP, within half an orbit of it, with the subsolar latitude and distance.
//   o      in  orbit and body frame
//   lsubs  in  season angle, degrees
Season date_of_season(const SeasonOrbit& o, double lsubs);

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

// A revolution number and the row of the built-in periapsis table it was
// counted from (1-based; 0 when no built-in spacecraft was named).
struct Revolution {
  float rev = 0.0f;
  std::int32_t row = 0;
};

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
Revolution revolution_at(float period, float epoch, float date);
void spcrev(float period, float epoch, float date, float& rev);

// ---- Ephemeris table ------------------------------------------------------------

// Menu option 3: asks for a series of equally spaced dates and an optional
// spacecraft orbit, and prints a paged table of date, revolution number,
// heliocentric distance, Ls, subsolar latitude, day number, weekday and day
// of the year on the print unit; then asks again, until no dates are asked
// for or the keyboard input ends. Refuses, with a message naming the field
// at fault, to tabulate a state that holds no elliptic orbit or no proper
// body frame (positions 1 to 30 not all finite, OPERIOD not above 0, BFRM
// not a rotation to 1e-5). A date from 1220000 on is a full Julian date for
// the calendar columns and for the geometry alike.
// Returns false when a table was refused for its state.
bool ephemr();

// Bring the ephemeris dialogue's kept answers back to their state at start.
void reset_ephemeris_dialogue();

}  // namespace kest
