#include <algorithm>
#include <cmath>
#include <cstdint>

#include "math/kmath.hpp"
#include "orbit/korbit.hpp"
#include "record/kestcm.hpp"
#include "textio/textio.hpp"

namespace kest {

namespace {

// The Sun in the body frame: its colatitude about the pole and distance,
// and its longitude when asked for.
void sun_in_body_frame(const SeasonOrbit& o, const Vec3& HPFXX, Season& s, bool longitude = true) {
  rotvec(o.BFRM, HPFXX, s.HPBXX);
  if (longitude) {
    cococs(s.HPBXX, s.P, s.Q, s.dau);
  } else {
    cocolr(s.HPBXX, s.P, s.dau);
  }
  s.sdec = 90.0 - s.P * o.R2D;
}

}  // namespace

SeasonOrbit season_orbit(const KestCommon& c) {
  return SeasonOrbit{c.ECC, c.SJA, c.OPERIOD, c.TJP, c.TAV, c.BFRM, c.R2D};
}

// Date to season: place the body, look back at the Sun.
Season season_at(const SeasonOrbit& o, double tmjd, bool longitude) {
  Season s;
  s.tmjd = tmjd;
  const double T = tmjd - o.TJP;
  orbit8(o.SJA, o.OPERIOD, o.ECC, T, s.R, s.PHFXX);
  Vec3 HPFXX;
  vneg(s.PHFXX, HPFXX);
  s.TAR = std::atan2(HPFXX(2), HPFXX(1));  // Sun direction from perihelion direction
  s.lsubs = o.R2D * (s.TAR - o.TAV);
  if (s.lsubs < 0.0) s.lsubs = s.lsubs + 360.0;
  if (s.lsubs > 360.0) s.lsubs = s.lsubs - 360.0;
  sun_in_body_frame(o, HPFXX, s, longitude);
  return s;
}

// Season to date: true anomaly, eccentric and mean anomaly, time.
Season date_of_season(const SeasonOrbit& o, double lsubs) {
  Season s;
  s.lsubs = lsubs;
  s.TAR = (lsubs - 180.0) / o.R2D + o.TAV;
  const double STA = std::sin(s.TAR);
  const double CTA = std::cos(s.TAR);
  const double sin_ea = STA * std::sqrt(1.0 - o.ECC * o.ECC);
  const double EA = std::atan2(sin_ea, CTA + o.ECC);
  const double ANOM = EA - std::sin(EA) * o.ECC;
  const double T = o.OPERIOD * ((ANOM * o.R2D) / 360.0);
  s.tmjd = o.TJP + T;
  s.R = o.SJA * (1.0 - o.ECC * o.ECC) / (CTA * o.ECC + 1.0);
  const Vec3 HPFXX = {{-(CTA * s.R), -(STA * s.R), 0.0}};
  sun_in_body_frame(o, HPFXX, s);
  return s;
}

void kestit(std::int32_t kode, double& tmjd, double& lsubs, double& sdec, double& dau) {
  KestCommon& c = KESTCM;
  const SeasonOrbit o = season_orbit(c);
  Season s;
  if (kode == 1) {
    s = season_at(o, tmjd);
    c.PHFXX = s.PHFXX;
    lsubs = s.lsubs;
  } else {
    s = date_of_season(o, lsubs);
    tmjd = s.tmjd;
  }
  c.HPBXX = s.HPBXX;
  sdec = s.sdec;
  dau = s.dau;

  // Debug lines when the flags truncated are odd and positive (the parity
  // is that of the whole double).
  const double k = std::isnan(c.KDEBUG) ? 0.0 : std::trunc(c.KDEBUG);
  if (std::fmod(k, 2.0) == 1.0) {
    write_free(6, {"KODE,TMJD,LSUBS=", kode, tmjd, lsubs});
    write_free(6, {"TAR,P,Q,R=", s.TAR, s.P, s.Q, s.R});
    write_free(6, {"SDEC,DAU=", sdec, dau});
  }
}

}  // namespace kest
