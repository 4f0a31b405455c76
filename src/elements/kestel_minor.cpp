// kestel item readers for minor bodies, small bodies, comets and exoplanets.
// Each line of an item is one free-format read; a failure on line n of the
// item leaves J = n - 1.

#include <cmath>
#include <cstdint>
#include <limits>
#include <string_view>

#include "elements/kelements.hpp"
#include "kestel_kinds.hpp"
#include "math/kmath.hpp"
#include "time/ktime.hpp"
#include "textio/textio.hpp"

namespace kest {

// The held values of the single-precision constants, as the arithmetic
// uses them.
static_assert(JBRM.m[0] == 0.9999256730079651 && JBRM.m[1] == 0.011181483045220375 &&
              JBRM.m[2] == 0.004859003704041243 && JBRM.m[3] == -0.011181483045220375 &&
              JBRM.m[4] == 0.9999374747276306 && JBRM.m[5] == -2.7170293833478354e-05 &&
              JBRM.m[6] == -0.004859003704041243 && JBRM.m[7] == -2.7162595870322548e-05 &&
              JBRM.m[8] == 0.9999881982803345);
static_assert(PC10LY == 32.61600112915039 && SUNMAG == 4.829999923706055 &&
              MAGFAC == -0.4000000059604645 && OBLMIN == 0.10000000149011612);

namespace {

// A passed-over line or a line-1 text item: only the end of the file can
// stop it, and that is the "target" not being there.
std::int32_t first_line_failure(ReadStatus s) {
  return s == ReadStatus::ok ? 0 : s == ReadStatus::end_of_file ? 4 : 7;
}

// Time of perihelion from a mean anomaly M (degrees, unreduced) at the
// epoch EPOCH (Julian date), with the period from the semi-major axis.
void period_and_tjp(ReaderWork& w, double& TJP) {
  w.DPERIOD = SIDYR * std::sqrt(w.DSJA * (w.DSJA * w.DSJA));
  TJP = (w.EPOCH - DJBASE) - w.DPERIOD * (w.DANOM / 360.0);
}

}  // namespace

// Minor body: osculating elements at a Julian-date epoch; with pole flag 1
// the pole lines hold a B1950 ecliptic longitude and latitude.
std::int32_t read_minor(Reader& r) {
  ReaderWork& w = r.w;
  double& SIDAY = r.set.SIDAY;
  double& TJP = r.set.TJP;
  auto& V = w.VVV;
  std::int32_t e = first_line_failure(r.read({}));
  if (e != 0) return e;
  w.J = 1;
  if ((e = value_failure(r.read({r.set.TITLE}))) != 0) return e;
  w.J = 2;
  if ((e = value_failure(r.read({w.EPOCH}))) != 0) return e;
  w.J = 3;
  for (std::int32_t i = 1; i <= 10; ++i) {
    if ((e = value_failure(r.read({w.XX8}))) != 0) return e;
    w.J = i + 3;
    r.echo({i, w.XX8});
    V[static_cast<std::size_t>(i - 1)] = w.XX8;
  }

  w.DSJA = V[0];
  w.DECC = V[1];
  w.DCLIN = V[2];
  w.DODE = V[3];
  w.DARGP = V[4];
  w.DANOM = V[5];
  w.DPRA = V[6];
  w.DPDEC = V[7];
  w.QP = V[8];
  SIDAY = V[9];
  period_and_tjp(w, TJP);

  if (w.QP == 1.0) {
    // Reference line: the pole carried through B1950 equatorial into
    // J2000.0 equatorial coordinates. Shown only.
    cocomc(V[7], -V[6], 1.0, w.XX);
    rotv(w.XX, 1, OBL50, w.P4);
    rotvec(JBRM, w.P4, w.ZBAXX);
    cococm(w.ZBAXX, w.DPDEC, w.XX(1), w.Q4);
    w.DPRA = -w.XX(1);
    r.echo({"DPRA,DPDEC,Q4=", w.DPRA, w.DPDEC, w.Q4});

    // Stored pole: B1950 ecliptic to B1950 equatorial by the obliquity.
    w.LAMBDA = RDEG * V[6];
    w.BETA = RDEG * V[7];
    const double se = std::sin(OBL50);
    const double ce = std::cos(OBL50);
    w.SD = (se * std::sin(w.LAMBDA)) * std::cos(w.BETA) + std::sin(w.BETA) * ce;
    w.CACD = std::cos(w.BETA) * std::cos(w.LAMBDA);
    w.SACD = (ce * std::sin(w.LAMBDA)) * std::cos(w.BETA) - std::sin(w.BETA) * se;
    w.ALPHA = std::atan2(w.SACD, w.CACD);
    w.R = std::sqrt(w.SACD * w.SACD + w.CACD * w.CACD);
    w.DELTA = std::atan2(w.SD, w.R);
    w.DPRA = w.ALPHA / RDEG;
    w.DPDEC = w.DELTA / RDEG;
    r.echo({"DPRA,DPDEC=", w.DPRA, w.DPDEC});
  }
  return 0;
}

// Small body: a line of running number, title and epoch, then eleven
// labelled values.
std::int32_t read_small(Reader& r) {
  ReaderWork& w = r.w;
  double& SIDAY = r.set.SIDAY;
  double& TJP = r.set.TJP;
  auto& V = w.VVV;
  std::int32_t e = value_failure(r.read({w.I, r.set.TITLE, w.EPOCH}));
  if (e != 0) return e;
  w.J = 1;
  r.echo({w.I, r.set.TITLE, w.EPOCH});
  for (w.I = 1; w.I <= 11; ++w.I) {
    if ((e = value_failure(r.read({w.PNAME, w.XX8}))) != 0) return e;
    w.J = w.J + 1;
    r.echo({w.I, w.PNAME, w.XX8});
    V[static_cast<std::size_t>(w.I - 1)] = w.XX8;
  }

  w.DECC = V[0];
  w.DSJA = V[1];
  w.DCLIN = V[3];
  w.DODE = V[4];
  w.DARGP = V[5];
  w.DANOM = V[6];
  SIDAY = V[7] / 24.0;
  w.DPRA = V[8];
  w.DPDEC = V[9];
  period_and_tjp(w, TJP);
  return 0;
}

// Comet: perihelion date and distance. TJP is stored as soon as the date
// is read.
std::int32_t read_comet(Reader& r) {
  ReaderWork& w = r.w;
  double& SIDAY = r.set.SIDAY;
  double& TJP = r.set.TJP;
  std::int32_t e = first_line_failure(r.read({}));
  if (e != 0) return e;
  w.J = 1;
  if ((e = value_failure(r.read({r.set.TITLE}))) != 0) return e;
  w.J = 2;
  if ((e = value_failure(r.read({w.IYEAR, w.IMON, w.RDAY}))) != 0) return e;
  w.J = 3;

  // Whole day truncated toward zero; a day outside the 32-bit range (or
  // not a number) is held at the nearest bound (0 for not a number), and
  // TJP then carries the day's own size or its NaN.
  constexpr double lo = static_cast<double>(std::numeric_limits<std::int32_t>::min());
  constexpr double hi = static_cast<double>(std::numeric_limits<std::int32_t>::max());
  if (std::isnan(w.RDAY)) {
    w.IDAY = 0;
  } else if (w.RDAY <= lo) {
    w.IDAY = std::numeric_limits<std::int32_t>::min();
  } else if (w.RDAY >= hi) {
    w.IDAY = std::numeric_limits<std::int32_t>::max();
  } else {
    w.IDAY = static_cast<std::int32_t>(w.RDAY);
  }
  ymd2j2(w.IYEAR, w.IMON, w.IDAY, w.N);
  TJP = ((w.RDAY - w.IDAY) - 0.5) + w.N;

  if ((e = value_failure(r.read({w.DARGP}))) != 0) return e;
  w.J = 4;
  if ((e = value_failure(r.read({w.DODE}))) != 0) return e;
  w.J = 5;
  if ((e = value_failure(r.read({w.DCLIN}))) != 0) return e;
  w.J = 6;
  if ((e = value_failure(r.read({w.QP}))) != 0) return e;
  w.J = 7;
  if ((e = value_failure(r.read({w.DECC}))) != 0) return e;
  w.J = 8;
  w.DSJA = w.QP / (1.0 - w.DECC);
  w.DPERIOD = SIDYR * std::sqrt(w.DSJA * (w.DSJA * w.DSJA));
  if ((e = value_failure(r.read({w.DPRA, w.DPDEC}))) != 0) return e;
  w.J = 9;
  if ((e = value_failure(r.read({SIDAY}))) != 0) return e;
  w.J = 10;
  return 0;
}

// Exoplanet: star brightness and distance, periastron time, orbit and the
// planet's obliquity; the orbit lies in the reference plane.
std::int32_t read_exoplanet(Reader& r) {
  ReaderWork& w = r.w;
  double& SIDAY = r.set.SIDAY;
  double& TJP = r.set.TJP;
  auto& V = w.VVV;
  std::int32_t e = first_line_failure(r.read({w.BUF5}));
  if (e != 0) return e;
  r.echo({"600 buf=", w.BUF5});
  w.J = 1;
  if ((e = value_failure(r.read({r.set.TITLE}))) != 0) return e;
  r.echo({r.set.TITLE});
  w.J = 2;
  for (std::int32_t i = 1; i <= 9; ++i) {
    if ((e = value_failure(r.read({w.XX8}))) != 0) return e;
    w.J = w.J + 1;
    r.echo({i, w.XX8});
    V[static_cast<std::size_t>(i - 1)] = w.XX8;
  }

  w.XX8 = star_power(w);
  r.echo({"Star/Sun power factor=", w.XX8, " * default SOLCON M <><>"});

  TJP = V[2] - DJBASE;
  w.DSJA = V[3];
  w.DPERIOD = V[4];
  w.DECC = V[5];
  w.XX8 = V[6];
  if (w.XX8 < OBLMIN || std::isnan(w.XX8)) w.XX8 = OBLMIN;
  w.DPDEC = 90.0 - w.XX8;
  w.DARGP = V[7];
  SIDAY = V[8] / 24.0;

  w.XX8 = (SIDAY / w.DPERIOD + 1.0) * SIDAY;
  r.echo({"Synodic day =", w.XX8, "  to QTM PERIOD <><>"});

  w.DCLIN = 0.0;
  w.DODE = 0.0;
  w.DANOM = 0.0;
  w.DPRA = 270.0;
  return 0;
}

double star_power(const ReaderWork& w) {
  const auto& V = w.VVV;
  const double q = V[1] / PC10LY;
  return std::pow(10.0, MAGFAC * (V[0] - SUNMAG)) * (q * q);
}

}  // namespace kest
