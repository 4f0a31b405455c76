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

// The body frame's y axis, the frame BFRM (rows x, y, pole) and the equinox
// angle TAV, from the pole ZBFXU and the x axis XBFXU in the orbit plane.
void frame_from_axes(BodyFrame& f) {
  vcross(f.ZBFXU, f.XBFXU, f.YBFXU);
  for (int i = 1; i <= 3; ++i) {
    f.BFRM.at(3 * i - 2) = f.XBFXU(i);
    f.BFRM.at(3 * i - 1) = f.YBFXU(i);
    f.BFRM.at(3 * i) = f.ZBFXU(i);
  }
  f.TAV = std::atan2(f.XBFXU(2), f.XBFXU(1));
}

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
  frame_from_axes(f);
  return f;
}

BodySetup row_setup(const ElementSet& e, double ra, double dec) {
  // The obliquity of the ecliptic is a constant: its sine and cosine once.
  static const double ce = std::cos(OBL_J2000), se = std::sin(OBL_J2000);
  const double cn = std::cos(e.ODE), sn = std::sin(e.ODE), ci = std::cos(e.CLIN), si = std::sin(e.CLIN);
  const double cw = std::cos(e.ARGP), sw = std::sin(e.ARGP);
  // The orbit plane's axes in the ecliptic: R3(-node) R1(-incl) R3(-argp).
  const Vec3 p = {{cn * cw - sn * sw * ci, sn * cw + cn * sw * ci, sw * si}};
  const Vec3 q = {{-cn * sw - sn * cw * ci, -sn * sw + cn * cw * ci, cw * si}};
  const Vec3 w = {{sn * si, -cn * si, ci}};
  BodySetup b;
  b.elements = e;
  BodyFrame& f = b.frame;
  // Turned into the equator by R1(-obliquity).
  const Vec3* axes[] = {&p, &q, &w};
  for (int j = 1; j <= 3; ++j) {
    const Vec3& a = *axes[j - 1];
    f.EFRM(1, j) = a(1);
    f.EFRM(2, j) = a(2);
    f.EFRM(3, j) = a(3);
    f.AFRM(1, j) = a(1);
    f.AFRM(2, j) = ce * a(2) - se * a(3);
    f.AFRM(3, j) = se * a(2) + ce * a(3);
  }
  const double rr = ra * RAD_PER_DEG, dr = dec * RAD_PER_DEG;
  const double cd = std::cos(dr);
  f.ZBAXU = {{cd * std::cos(rr), cd * std::sin(rr), std::sin(dr)}};
  rotcol(f.AFRM, 3, f.ZFAXU);
  for (int i = 1; i <= 3; ++i)
    f.ZBFXU(i) = f.AFRM(1, i) * f.ZBAXU(1) + f.AFRM(2, i) * f.ZBAXU(2) + f.AFRM(3, i) * f.ZBAXU(3);
  const double qv2 = f.ZBFXU(1) * f.ZBFXU(1) + f.ZBFXU(2) * f.ZBFXU(2);
  if (qv2 < POLE_ON_NORMAL * POLE_ON_NORMAL) {
    ElementSet along = e;
    along.PRA = rr;
    along.PDEC = dr;
    return set_up_body(along, 1);
  }
  // x: the pole crossed with the orbit normal, the equinox.
  f.QV = {{f.ZBFXU(2), -f.ZBFXU(1), 0.0}};
  const double qn = std::sqrt(qv2);
  f.XBFXU = {{f.QV(1) / qn, f.QV(2) / qn, 0.0}};
  frame_from_axes(f);
  b.orbit = SeasonOrbit{e.ECC, e.SJA, e.PERIOD, e.TJP, f.TAV, f.BFRM, 180.0 / PICON};
  return b;
}

BodySetup set_up_body(const ElementSet& e, std::int32_t table) {
  BodySetup b;
  b.elements = e;
  b.frame = body_frame(FrameInput{e.ODE, e.CLIN, e.ARGP, e.PDEC, e.PRA, OBL_J2000, table != 6, PICON});
  b.orbit = SeasonOrbit{e.ECC, e.SJA, e.PERIOD, e.TJP, b.frame.TAV, b.frame.BFRM, 180.0 / PICON};
  return b;
}

}  // namespace kest
