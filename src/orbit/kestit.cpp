#include <algorithm>
#include <cmath>
#include <cstdint>

#include "record/kestcm.hpp"
#include "math/kmath.hpp"
#include "orbit/korbit.hpp"
#include "textio/textio.hpp"

namespace kest {

void kestit(std::int32_t kode, double& tmjd, double& lsubs, double& sdec, double& dau) {
  KestitWork& w = kestit_work;
  KestCommon& c = KESTCM;
  if (kode == 1) {
    // Date to season: place the body, look back at the Sun.
    w.T = tmjd - c.TJP;
    orbit8(c.SJA, c.OPERIOD, c.ECC, w.T, w.R, c.PHFXX);
    vneg(c.PHFXX, w.HPFXX);
    w.TAR = std::atan2(w.HPFXX(2), w.HPFXX(1));  // Sun direction from perihelion direction
    lsubs = c.R2D * (w.TAR - c.TAV);
    if (lsubs < 0.0) lsubs = lsubs + 360.0;
    if (lsubs > 360.0) lsubs = lsubs - 360.0;
  } else {
    // Season to date: true anomaly, eccentric and mean anomaly, time.
    w.TAR = (lsubs - 180.0) / c.R2D + c.TAV;
    w.STA = std::sin(w.TAR);
    w.CTA = std::cos(w.TAR);
    w.P = w.STA * std::sqrt(1.0 - c.ECC * c.ECC);
    w.R = w.CTA + c.ECC;
    w.EA = std::atan2(w.P, w.R);
    w.ANOM = w.EA - std::sin(w.EA) * c.ECC;
    w.T = c.OPERIOD * ((w.ANOM * c.R2D) / 360.0);
    tmjd = c.TJP + w.T;
    w.R = c.SJA * (1.0 - c.ECC * c.ECC) / (w.CTA * c.ECC + 1.0);
    w.HPFXX(1) = -(w.CTA * w.R);
    w.HPFXX(2) = -(w.STA * w.R);
    w.HPFXX(3) = 0.0;
  }
  // The Sun in the body frame: its colatitude about the pole and distance.
  rotvec(c.BFRM, w.HPFXX, c.HPBXX);
  cococs(c.HPBXX, w.P, w.Q, dau);
  sdec = 90.0 - w.P * c.R2D;

  // Debug lines when the flags truncated are odd and positive (the parity
  // is that of the whole double; K is held within 32 bits).
  const double k = std::isnan(c.KDEBUG) ? 0.0 : std::trunc(c.KDEBUG);
  w.K = static_cast<std::int32_t>(std::clamp(k, -2147483648.0, 2147483647.0));
  const double rem = std::fmod(k, 2.0);
  w.I = rem == 1.0 ? 1 : (rem == -1.0 ? -1 : 0);
  if (w.I == 1) {
    write_free(6, {"KODE,TMJD,LSUBS=", kode, tmjd, lsubs});
    write_free(6, {"TAR,P,Q,R=", w.TAR, w.P, w.Q, w.R});
    write_free(6, {"SDEC,DAU=", sdec, dau});
  }
}

}  // namespace kest
