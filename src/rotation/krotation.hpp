// How the bodies of kest turn: the north pole and the prime meridian of a
// body at an instant, and where a direction meets its surface.
//
// A rotation model gives the pole's right ascension and declination and the
// prime meridian's angle W as secular, quadratic and periodic terms of time
// (the form of the IAU rotation models). The full models of the planets and
// satellites are read from the rotation table (rotation.tab); a frozen
// spin-axis line, or a spin known only by its rotation period, is the same
// model without periodic terms. Every routine is a plain function of its
// arguments, safe on several threads.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "math/kmath.hpp"
#include "textio/textio.hpp"

namespace kest {

// ---- Rotation models ------------------------------------------------------------

// The pole and prime meridian at an instant, degrees: the north pole's right
// ascension and declination in the frame of the model (ICRF for the
// tables), and W, the angle from the node of the body's equator on that
// frame's equator, east along the equator, to the prime meridian, [0, 360).
struct Orientation {
  double ra = 0.0;
  double dec = 0.0;
  double W = 0.0;
};

// One periodic term: the angle theta = theta0 + theta1 T + theta2 T^2
// (degrees, T in Julian centuries) and its amplitudes in right ascension
// (times sin theta), declination (times cos theta) and W (times sin theta),
// degrees.
struct RotationTerm {
  double theta0 = 0.0, theta1 = 0.0, theta2 = 0.0;
  double a = 0.0, d = 0.0, w = 0.0;
};

// A body's rotation model. Times are days d of TT from J2000.0 (TDB in the
// published models: the two differ by under 2 ms) and T = d / 36525.
//   ra = ra0 + ra1 T + sum a sin theta
//   dec = dec0 + dec1 T + sum d cos theta
//   W = W0 + W1 d + W2 d^2 + sum w sin theta
struct RotationModel {
  std::string name;
  double ra0 = 0.0, ra1 = 0.0;    // degrees, degrees per century
  double dec0 = 0.0, dec1 = 0.0;  // degrees, degrees per century
  double W0 = 0.0, W1 = 0.0, W2 = 0.0;  // degrees, per day, per day^2
  std::vector<RotationTerm> terms;

  // The pole and W at days from J2000.0. Each periodic angle is taken once,
  // its sine and cosine serving all three sums; terms whose angles run at
  // one rate share the sine and cosine of that rate's part (see group()).
  Orientation at(double days) const;

  // Makes at() take the terms in groups of equal theta1 and theta2, each
  // angle's sine and cosine from its group's by the addition theorem;
  // read_rotation_table calls it. The sums change within rounding only.
  void group();

 private:
  struct Shared {
    double theta1 = 0.0, theta2 = 0.0;
    std::size_t term = 0;               // the first term of the group
    std::size_t first = 0, count = 0;  // offsets_[first, first + count) when count > 1
  };
  struct Offset {
    double sin0 = 0.0, cos0 = 0.0;  // of theta0
    double a = 0.0, d = 0.0, w = 0.0;
  };
  std::vector<Shared> groups_;
  std::vector<Offset> offsets_;
};

// ---- The rotation table ------------------------------------------------------------

// The file name of the rotation table, and the most terms a body may have.
inline constexpr std::string_view ROTATION_FILE = "rotation.tab";
inline constexpr std::size_t MAX_ROTATION_TERMS = 100;

// The models of a rotation table, each known by its name and the names that
// stand for it.
struct RotationTable {
  std::vector<RotationModel> models;
  std::vector<std::pair<std::string, std::size_t>> aliases;  // other name, index into models
  // The model of a name (exact, letter case counts), or nullptr.
  const RotationModel* find(std::string_view name) const;
};

// Reads a rotation table: free text up to a line that starts with C_END
// (any letter case), then one line per body or term, words separated by
// blanks, a '#' opening a comment, blank lines passed over:
//   NAME ra0 ra1 dec0 dec1 W0 W1 W2      a body (a name of 1 to 12 characters)
//   term theta0 theta1 theta2 a d w      a periodic term of the body above
//   NAME = OTHER                         NAME stands for OTHER's model
// Every number is a finite decimal; a name is given once. Returns nothing,
// with "line N: what is wrong" in error (counted from the file's first
// line), when the text is not such a table.
std::optional<RotationTable> read_rotation_table(LineSource& in, std::string& error);

// ---- Directions on the body ------------------------------------------------------------

// Where a direction meets the body's surface (a sphere), degrees:
// planetocentric latitude and east longitude [0, 360).
struct SurfacePoint {
  double lat = 0.0;
  double lon = 0.0;
};

// The point under a direction v (any length, in the frame of the
// orientation's pole): the body-fixed components are
// R3(W) R1(90 - dec) R3(90 + ra) v, east longitude atan2(y, x).
SurfacePoint surface_point(const Orientation& o, const Vec3& v);
// The east longitude alone, degrees [0, 360), from the orientation and its
// unit north pole (components in the frame of v), as a frame already holds
// it: what a row needs, without the sines and cosines of the pole's angles.
double surface_longitude(const Orientation& o, const Vec3& pole, const Vec3& v);

}  // namespace kest
