// The frame geometry of a body: the orbit matrix, the obliquity BLIP, the
// body frame BFRM and the equinox angle TAV, from the evaluated elements and
// pole.

#include <algorithm>
#include <cmath>

#include "elements/kelements.hpp"
#include "math/kmath.hpp"

namespace kest {

namespace {
// A pole closer than this to the orbit normal (radians) is taken as on it.
constexpr double POLE_ON_NORMAL = 1e-6;
}  // namespace

BodyFrame body_frame(const FrameInput& in) {
  BodyFrame f;
  rotorb(in.ODE, in.CLIN, in.ARGP, f.EFRM, 1);
  f.AFRM = f.EFRM;
  // Exoplanet orbits and poles share one frame: no ecliptic tilt for them.
  if (in.ecliptic) rotax(1, -in.OBL, f.AFRM);
  rotcol(f.AFRM, 3, f.ZFAXU);

  cocosc(in.picon / 2.0 - in.ZBAA, in.ZBAB, 1.0, f.ZBAXU);
  vdot(f.ZFAXU, f.ZBAXU, f.normal_dot_pole);
  // Two unit vectors: rounding may carry the product just past +-1.
  f.BLIP = std::acos(std::clamp(f.normal_dot_pole, -1.0, 1.0));

  Mat3 FARM;
  trans3(f.AFRM, FARM);
  rotvec(FARM, f.ZBAXU, f.ZBFXU);
  vcross(f.ZBFXU, ZUNIT, f.QV);
  const double qv2 = f.QV(1) * f.QV(1) + f.QV(2) * f.QV(2) + f.QV(3) * f.QV(3);
  if (qv2 < POLE_ON_NORMAL * POLE_ON_NORMAL) {
    // Pole along the orbit normal, within 1e-6 radian: every direction in
    // the orbit plane is (nearly) on the equator, so the equinox is
    // undefined, or only rounding noise. Perihelion serves as x.
    // Perihelion is taken square to the pole, so that the frame stays a
    // rotation when the pole is near the normal rather than on it.
    f.pole_on_normal = true;
    const Vec3 perihelion = {{1.0, 0.0, 0.0}};
    Vec3 along;
    vscale(f.ZBFXU(1), f.ZBFXU, along);
    Vec3 square;
    vsub(perihelion, along, square);
    vnorm(square, f.XBFXU);
  } else {
    vnorm(f.QV, f.XBFXU);
  }
  vcross(f.ZBFXU, f.XBFXU, f.YBFXU);

  for (int i = 1; i <= 3; ++i) {
    f.BFRM.at(3 * i - 2) = f.XBFXU(i);
    f.BFRM.at(3 * i - 1) = f.YBFXU(i);
    f.BFRM.at(3 * i) = f.ZBFXU(i);
  }
  f.TAV = std::atan2(f.XBFXU(2), f.XBFXU(1));
  return f;
}

BodySetup set_up_body(const ElementSet& e, std::int32_t table) {
  BodySetup b;
  b.elements = e;
  b.frame = body_frame(FrameInput{e.ODE, e.CLIN, e.ARGP, e.PDEC, e.PRA, OBL_J2000, table != 6, PICON});
  b.orbit = SeasonOrbit{e.ECC, e.SJA, e.PERIOD, e.TJP, b.frame.TAV, b.frame.BFRM, 180.0 / PICON};
  return b;
}

}  // namespace kest
