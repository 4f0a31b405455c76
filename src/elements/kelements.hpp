// Element sources and orbit setup of kest: the element table reader kestel,
// which turns one item of a line-oriented table file (planets with their
// spin axes, minor bodies, small bodies, comets, exoplanets) into orbital
// elements, pole and rotation period, and the orbit geometry setup kestig
// (menu option 1), which stores them in KESTCM and derives the body frame
// BFRM, the obliquity BLIP and the equinox angle TAV.
//
// Both routines keep their working variables from one call to the next, in
// the named records kestel_work and kestig_work; the reset functions bring
// them back to their state at program start.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "math/kmath.hpp"
#include "textio/textio.hpp"

namespace kest {

// ---- Table files ----------------------------------------------------------

// File names and lines per item, indexed by file code 1..6 (entry 0 unused).
inline constexpr std::array<std::string_view, 7> FNAME = {
    "            ", "planelem.tab", "spinaxis.tab", "minor.tab   ",
    "small.tab   ", "comet.tab   ", "exoplan.tab "};
inline constexpr std::array<std::int32_t, 7> NLINES = {0, 2, 1, 13, 12, 10, 11};

// Failure reasons, indexed by the failure number IERR 1..7 (25 characters).
inline constexpr std::array<std::string_view, 8> MESS = {
    "                         ", "opening table file       ", "EOF looking for C_END    ",
    "error looking for C_END  ", "EOF looking for target   ", "error looking for target ",
    "EOF reading value        ", "error reading value      "};

// B1950 to J2000.0 equatorial rotation, column order; single-precision
// values held in double precision.
inline constexpr Mat3 JBRM = {{static_cast<double>(0.9999257f), static_cast<double>(0.011181483f),
                               static_cast<double>(0.0048590037f), static_cast<double>(-0.011181483f),
                               static_cast<double>(0.9999375f), static_cast<double>(-2.7170294e-05f),
                               static_cast<double>(-0.0048590037f), static_cast<double>(-2.7162596e-05f),
                               static_cast<double>(0.9999882f)}};

// Exoplanet constants, single precision widened to double: 10 parsecs in
// light years, the Sun's absolute magnitude, the magnitude-to-power factor
// and the smallest obliquity accepted (degrees).
inline constexpr double PC10LY = static_cast<double>(32.616f);
inline constexpr double SUNMAG = static_cast<double>(4.83f);
inline constexpr double MAGFAC = static_cast<double>(-0.4f);
inline constexpr double OBLMIN = static_cast<double>(0.1f);

// ---- Element table reader -------------------------------------------------

// Working variables of kestel, kept between calls. Arrays are 0-based here:
// FFF[i-1] is FFF(i).
struct KestelWork {
  std::int32_t IERR = 0;   // failure number of the last call, 0 on success
  std::int32_t J = 0;      // lines of the item read so far (progress counter)
  std::int32_t IGO = 0;    // file code being read
  std::int32_t ISKIP = 0;  // lines passed over to reach the item
  FixedText<5> BUF5;       // header line start, planet tag, exoplanet line 1
  // Working quantities common to all kinds (table units: AU, degrees, days).
  double DSJA = 0.0, DECC = 0.0, DCLIN = 0.0, DODE = 0.0, DARGP = 0.0;
  double DPERIOD = 0.0, DPRA = 0.0, DPDEC = 0.0, DANOM = 0.0;
  // Planet and spin-axis branch.
  std::array<double, 6> FFF{};
  std::array<double, 6> RRR{};
  double EMJD = 0.0, DMLON = 0.0, DLONP = 0.0;
  FixedText<12> PNAME;
  FixedText<12> TARGET;
  std::int32_t LIN = 0;
  // Minor, small, comet and exoplanet branches.
  double EPOCH = 0.0;
  std::array<double, 11> VVV{};
  double XX8 = 0.0, QP = 0.0, RDAY = 0.0;
  std::int32_t I = 0, IYEAR = 0, IMON = 0, IDAY = 0, N = 0;  // N: days from 2000 Jan 1
  Vec3 XX, P4, ZBAXX;
  double Q4 = 0.0, LAMBDA = 0.0, BETA = 0.0, SD = 0.0, CACD = 0.0, SACD = 0.0;
  double ALPHA = 0.0, R = 0.0, DELTA = 0.0;
};
inline KestelWork kestel_work;
void reset_kestel_work();

// Read item IPLAN (values below 2 mean the first) of table file IFILE (1..6)
// and return its elements, pole and rotation period.
//   IOP    in   unit for the summary; 0 means no summary
//   IOD    in   unit on which the table is opened, read and closed
//   IFILE  in   file code 1..6 (FNAME); any other code is failure 1
//   IPLAN  in   item number counted from 1
//   TCEN   in   epoch, Julian centuries from J2000.0 (planet and spin axis)
//   ODE, CLIN, ARGP   out  node, inclination, argument of perihelion, radians
//   ECC    out  eccentricity
//   PERIOD out  orbital period, days
//   SJA    out  semi-major axis, AU
//   SIDAY  out  rotation period (hours for planets, days for the others)
//   PRA, PDEC  out  right ascension and declination of the pole, radians
//   TJP    out  time of perihelion, days from J2000.0
//   TITLE  in/out  object title (NTITLE characters)
// Notes:
// 1. Progress and failures are written to the terminal (unit 6); the
//    satellite name of a planet call is read from the keyboard (unit 5).
// 2. On failure three lines name the file, IERR and J; ODE, CLIN, ARGP, ECC,
//    PERIOD, SJA, PRA and PDEC keep their values, while TITLE, TJP and SIDAY
//    keep whatever the branch had stored before the failure.
// 3. IOD is closed on return in every case.
void kestel(std::int32_t IOP, std::int32_t IOD, std::int32_t IFILE, std::int32_t IPLAN,
            double TCEN, double& ODE, double& CLIN, double& ARGP, double& ECC, double& PERIOD,
            double& SJA, double& SIDAY, double& PRA, double& PDEC, double& TJP, char* TITLE,
            std::size_t NTITLE);

template <std::size_t N>
void kestel(std::int32_t IOP, std::int32_t IOD, std::int32_t IFILE, std::int32_t IPLAN,
            double TCEN, double& ODE, double& CLIN, double& ARGP, double& ECC, double& PERIOD,
            double& SJA, double& SIDAY, double& PRA, double& PDEC, double& TJP,
            FixedText<N>& TITLE) {
  kestel(IOP, IOD, IFILE, IPLAN, TCEN, ODE, CLIN, ARGP, ECC, PERIOD, SJA, SIDAY, PRA, PDEC, TJP,
         TITLE.data(), N);
}

// ---- Orbit geometry setup -------------------------------------------------

// Working variables of kestig, kept between calls.
struct KestigWork {
  std::int32_t INCODE = 0;  // source code 1..6
  std::int32_t IPLAN = 0;   // item number within the table
  std::int32_t K = 0;       // debug-print flags
  double PERIOD = 0.0;      // orbital period from kestel, days
  double PIO2 = 0.0;        // PICON / 2
  Mat3 AFRM;                // orbit plane to ecliptic, then to equatorial frame
  Mat3 FARM;                // transpose of AFRM
  Vec3 ZFAXU;               // unit orbit normal, equatorial frame
  Vec3 ZBAXU;               // unit pole, equatorial frame
  Vec3 ZBFXU;               // unit pole, orbit-plane frame
  Vec3 QV;                  // ZBFXU x ZUNIT before normalisation
  Vec3 XBFXU, YBFXU;        // body frame x and y axes, orbit-plane frame
  double QB = 0.0, QQ = 0.0;
};
inline KestigWork kestig_work;
void reset_kestig_work();

// The orbit normal in the orbit-plane frame.
inline constexpr Vec3 ZUNIT = {{0.0, 0.0, 1.0}};

// Menu option 1: ask for source, item, epoch (planets) and debug flags on
// KESTCM.IOS / KESTCM.IOK, read the body with kestel into KESTCM and derive
// OPERIOD, OBL, PLANUM, KDEBUG, BLIP, BFRM and TAV.
//   TITLE  in/out  the driver's 25-character object title
// Notes:
// 1. End of keyboard input at any prompt returns without touching KESTCM
//    (except TC once its prompt is answered); a code of 0 or less quits; a
//    code above 6 is refused and the source prompt is asked again.
// 2. A reader failure is not seen here: the frames are derived from whatever
//    KESTCM then holds.
// 3. A pole along the orbit normal leaves the equinox undefined: a message
//    says so and the perihelion direction serves as the body frame's x axis.
// 4. An orbit with eccentricity 1 or more gets one message that no
//    ephemerides are available for it.
void kestig(FixedText<25>& TITLE);

}  // namespace kest
