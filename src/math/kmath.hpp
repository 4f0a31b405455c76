// The numeric library of kest: the program's constants, 3-vectors and
// column-order 3x3 rotation matrices, vector operations, conversions between
// Cartesian and angular coordinates, rotation-matrix routines with their
// print and test, and two byte-level character utilities.
//
// Every routine hands its results back through its output arguments, as the
// formulas are written; none checks its inputs or reports an error. Where an
// output may be the same object as an input, the routine's comment says so.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kest {

// ---- Constants (unit; exact held value) -----------------------------------

inline constexpr double PICON = 3.14159265358979;        // the program's pi (15 digits)
inline constexpr double R2D_VALUE = 180.0 / PICON;        // degrees per radian = 57.29577951308238
inline constexpr double TWOPI = 6.283185307179586;        // 2 pi, radians
inline constexpr double RDEG = TWOPI / 360.0;             // radians per degree = 0.017453292519943295
inline constexpr double DEG_PER_RAD = 57.29577951308232;  // library's degrees per radian
inline constexpr double RAD_PER_DEG = 0.017453292519943295;  // library's radians per degree
inline constexpr double HALF_PI = 1.5707963267948966;     // library's pi/2, radians
inline constexpr double SIDYR = 365.256363004;            // sidereal year, days
inline constexpr double JULCEN = 36525.0;                 // days per Julian century
inline constexpr double DJBASE = 2451545.0;               // Julian date of J2000.0
inline constexpr double OBL_J2000 = 0.409092601;          // obliquity of the ecliptic at J2000, radians
inline constexpr double OBL50 = 0.40920619;               // obliquity of the ecliptic at B1950, radians

// ---- Angles ----------------------------------------------------------------

// a reduced into [0, whole), whole > 0: the remainder of fmod, moved up
// when negative; one that rounds up to whole (a value just below a multiple
// of it) is 0. Not-a-number stays not-a-number.
double wrapped(double a, double whole);

// ---- Value types ------------------------------------------------------------

// A 3-vector x, y, z. v(1..3) reads like the formulas; v[0..2] is raw.
struct Vec3 {
  std::array<double, 3> v{};
  double& operator()(int i) { return v[static_cast<std::size_t>(i - 1)]; }
  double operator()(int i) const { return v[static_cast<std::size_t>(i - 1)]; }
  double& operator[](std::size_t i) { return v[i]; }
  double operator[](std::size_t i) const { return v[i]; }
  bool operator==(const Vec3&) const = default;
};

// A 3x3 matrix stored column after column: element (i, j) at position
// i + 3(j - 1) of 1..9. a(i, j) is the element, a.at(k) position k (1..9),
// a[k] the raw 0-based storage.
struct Mat3 {
  std::array<double, 9> m{};
  double& operator()(int i, int j) { return m[index(i, j)]; }
  double operator()(int i, int j) const { return m[index(i, j)]; }
  static std::size_t index(int i, int j) { return static_cast<std::size_t>(i - 1) + 3 * static_cast<std::size_t>(j - 1); }
  double& at(int k) { return m[static_cast<std::size_t>(k - 1)]; }
  double at(int k) const { return m[static_cast<std::size_t>(k - 1)]; }
  double& operator[](std::size_t k) { return m[k]; }
  double operator[](std::size_t k) const { return m[k]; }
  bool operator==(const Mat3&) const = default;
};

static_assert(sizeof(Vec3) == 3 * sizeof(double));
static_assert(sizeof(Mat3) == 9 * sizeof(double));

// ---- Rotation matrices (rotmdp8) --------------------------------------------
// A matrix A turns the components v of a vector in one frame into its
// components A v in another; its rows are the new axes in the old frame.
// R_k(t) is the frame rotation by t (radians, right-hand sense) about axis k:
// R_3(t) has rows (cos t, sin t, 0), (-sin t, cos t, 0), (0, 0, 1). Turning a
// vector by t (rotv, vrotv) is the opposite sense, R_k(-t).

// Turn the target frame of A by +angle about its axis K: A := R_K(angle) A.
//   k      in      axis code 1 = x, 2 = y, 3 = z
//   angle  in      radians
//   a      in/out  matrix
// Notes: 1. Successive calls compose from right to left.
//        2. A code outside 1..3 leaves A unchanged.
void rotax(std::int32_t k, double angle, Mat3& a);

// Diagonal matrix: all elements 0, then a(1,1) = a(2,2) = a(3,3) = D.
//   d  in   diagonal value
//   a  out  matrix
void rotdia(double d, Mat3& a);

// Orbit matrix R_3(-node) R_1(-incl) R_3(-argp): orbit-frame components (x to
// periapsis, z along the orbit normal) to the reference frame of the elements.
//   node, incl, argp  in   node, inclination, argument of periapsis
//   a                 out  matrix; its first column points to periapsis
//   irad              in   0: the angles are degrees; any other value: radians
void rotorb(double node, double incl, double argp, Mat3& a, std::int32_t irad);

// Pole and meridian matrix R_3(m) R_1(90 - d) R_3(90 + l).
//   angles_deg  in   (l, d, m) degrees: pole longitude, pole latitude, and the
//                    angle of the new x axis from the ascending node of the new
//                    equator on the old one (at longitude l + 90)
//   a           out  matrix; row 3 is the pole (cos d cos l, cos d sin l, sin d)
// Notes: 1. m exactly 0 performs only the first two rotations.
void rotmat(const Vec3& angles_deg, Mat3& a);

// The angles of rotmat back from its matrix.
//   a           in   matrix
//   angles_deg  out  (l, d, m) degrees, l and m in (-180, 180]
// Notes: 1. Not reduced to 0..360: 317.681 comes back as -42.319.
//        2. A row-3 element beyond +-1 (not a rotation) gives a NaN latitude.
void rotrip(const Mat3& a, Vec3& angles_deg);

// Matrix of the frame with z along Z and x in the plane of Z and X, on the
// side of X (rows: x = y cross z, y along Z cross X, z along Z).
//   z, x  in   directions, any lengths
//   a     out  matrix
// Notes: 1. Z zero or X parallel to Z gives NaN elements.
void rotzxm(const Vec3& z, const Vec3& x, Mat3& a);

// Apply a matrix: W = A V, each component the first two products summed first.
//   a  in   matrix
//   v  in   vector
//   w  out  vector; may be V
void rotvec(const Mat3& a, const Vec3& v, Vec3& w);

// Column J of A.
//   a  in   matrix
//   j  in   column 1..3
//   v  out  (a(1,J), a(2,J), a(3,J))
// Notes: 1. A column outside 1..3 gives the zero vector.
void rotcol(const Mat3& a, std::int32_t j, Vec3& v);

// Row I of A.
//   a  in   matrix
//   i  in   row 1..3
//   v  out  (a(I,1), a(I,2), a(I,3))
// Notes: 1. A row outside 1..3 gives the zero vector.
void rotrow(const Mat3& a, std::int32_t i, Vec3& v);

// Transpose.
//   a  in   matrix
//   b  out  transpose of A
// Notes: 1. B may be A (each exchanged pair is read before it is written).
void trans3(const Mat3& a, Mat3& b);

// Copy: B = A.
void mequal(const Mat3& a, Mat3& b);

// Matrix product W3 = A B, each element the first two products summed first.
//   a, b  in   matrices
//   w3    out  product; may be A or B
void mprod3(const Mat3& a, const Mat3& b, Mat3& w3);

// Relabel the axes of A's target frame: row 1 of B is row |KX| of A, row 3 is
// row |KZ|, row 2 the remaining row, each negated where its code is negative;
// the sign of row 2 keeps the new frame right-handed.
//   kx, kz  in   signed axis codes (-3..-1, 1..3) of the new x and z axes
//   a       in   matrix
//   b       out  matrix; may be A
// Notes: 1. |KX| and |KZ| must be different and within 1..3; otherwise B is the
//           zero matrix.
void rotexm(std::int32_t kx, std::int32_t kz, const Mat3& a, Mat3& b);

// The same relabelling for a vector: W = (+-V(|KX|), +-V(ky), +-V(|KZ|)).
//   kx, kz  in   signed axis codes as for rotexm
//   v       in   vector
//   w       out  vector; may be V
// Notes: 1. Codes outside the rotexm rule give the zero vector.
void rotexv(std::int32_t kx, std::int32_t kz, const Vec3& v, Vec3& w);

// Turn a vector by +angle (right-hand sense) about coordinate axis K.
//   v      in   vector
//   k      in   axis code 1..3
//   angle  in   radians
//   w      out  turned vector; may be V
// Notes: 1. A code outside 1..3 turns nothing: W = V.
void rotv(const Vec3& v, std::int32_t k, double angle, Vec3& w);

// Turn a vector by +angle (right-hand sense) about the direction AX.
//   v      in   vector
//   ax     in   axis direction, any length
//   angle  in   radians
//   w      out  turned vector; may be V or AX
// Notes: 1. A zero axis turns nothing: W = V.
void vrotv(const Vec3& v, const Vec3& ax, double angle, Vec3& w);

// Quality of a rotation matrix: both results are 0 for an exact rotation.
//   a    in   matrix
//   der  out  |determinant - 1|
//   dev  out  largest deviation from 1 of the squared row and column lengths
void rotest(const Mat3& a, double& der, double& dev);

// Print A row by row: " ROTSHO dump of [text]", then three rows of 3F10.6.
//   text  in  name, written at its full length
//   a     in  matrix
//   unit  in  output unit
void rotsho(std::string_view text, const Mat3& a, std::int32_t unit);

// ---- Vector operations (vadddp8) --------------------------------------------
// Outputs of the element-wise operations may be the same vector as an input.

// W = A + B.
void vadd(const Vec3& a, const Vec3& b, Vec3& w);
// W = A - B.
void vsub(const Vec3& a, const Vec3& b, Vec3& w);
// W = A cross B. W may be A or B.
void vcross(const Vec3& a, const Vec3& b, Vec3& w);
// S = A . B, accumulated from 0 in index order.
void vdot(const Vec3& a, const Vec3& b, double& s);
// S = length of A, squares summed in index order.
void vmag(const Vec3& a, double& s);

// Unit vector: B = (1 / |A|) A, the length inverted once.
//   a  in   vector
//   b  out  unit vector; may be A
// Notes: 1. A zero vector gives NaN components.
void vnorm(const Vec3& a, Vec3& b);

// B = -A (0 becomes -0).
void vneg(const Vec3& a, Vec3& b);
// B = S A.
void vscale(double s, const Vec3& a, Vec3& b);
// B = A.
void vequal(const Vec3& a, Vec3& b);

// Unit vector of axis I.
//   i  in   axis 1..3
//   v  out  (0, 0, 0) with V(I) = 1
// Notes: 1. An axis outside 1..3 gives the zero vector.
void vunit(std::int32_t i, Vec3& v);

// One display line: x, y, z (3G13.5), two blanks, latitude and east
// longitude in degrees (2F8.2), radius (G12.5), a blank and the text.
//   text  in  name, written at its full length from column 71
//   v     in  vector
//   unit  in  output unit; negative: write to -unit, with a header line first
// Notes: 1. The header is one free-format line of 74 characters, its words
//           over the columns of the data line.
//        2. A unit of -2^31 has no absolute value: nothing is written.
void vshow(std::string_view text, const Vec3& v, std::int32_t unit);

// Two-line dump: "0VPRINTN dump of: " and the text, then 5X,3D22.13.
//   text  in  name
//   v     in  vector
//   unit  in  output unit
void vprint(std::string_view text, const Vec3& v, std::int32_t unit);

// Dump laid out by the caller's edit descriptors: " text=", then the
// components on lines that each begin with one blank.
//   text         in  name
//   v            in  vector
//   unit         in  output unit
//   descriptors  in  edit descriptors for the components, e.g. "3F10.4"
// Notes: 1. The format "(1X,A,'=',(/1X," descriptors "))" is composed per call
//           in 60 characters, which leaves 43 for the descriptors (trailing
//           blanks not counted); longer descriptors write nothing at all.
//        2. Descriptors that do not make a valid format, or whose repeated
//           group holds no edit descriptor, also write nothing.
void vprf(std::string_view text, const Vec3& v, std::int32_t unit, std::string_view descriptors);

// ---- Coordinate conversions (cocodp8) -----------------------------------------
// Spherical: colatitude from +z and east longitude from +x towards +y, radians.
// Map: latitude and west longitude (positive towards -y), degrees.
// Spheroid: geodetic latitude and west longitude in degrees, equatorial radius,
// with the first eccentricity e of a spheroid oblate about z.
// Longitudes are never reduced to 0..360: east longitude in (-180, 180] (as the
// two-argument arctangent gives), west longitude its negative. Every routine
// reads all its inputs before writing, so outputs may share storage with V.

// Spherical to Cartesian.
//   colat, elon, radius  in   radians, radians, length
//   v                    out  Cartesian vector
void cocosc(double colat, double elon, double radius, Vec3& v);

// Cartesian to spherical.
//   v                    in   Cartesian vector
//   colat, elon, radius  out  radians, radians, length
// Notes: 1. On the z axis the longitude is 0; the zero vector gives 0, 0, 0.
void cococs(const Vec3& v, double& colat, double& elon, double& radius);
// The colatitude and radius alone, as cococs gives them.
void cocolr(const Vec3& v, double& colat, double& radius);

// Map to Cartesian.
//   lat, wlon, radius  in   degrees, degrees, length
//   v                  out  Cartesian vector
void cocomc(double lat, double wlon, double radius, Vec3& v);

// Cartesian to map (through cococs and cocosm).
//   v                  in   Cartesian vector
//   lat, wlon, radius  out  degrees, degrees, length
void cococm(const Vec3& v, double& lat, double& wlon, double& radius);

// Map angles to spherical angles.
//   lat, wlon    in   degrees
//   colat, elon  out  radians
void cocoms(double lat, double wlon, double& colat, double& elon);

// Spherical angles to map angles.
//   colat, elon  in   radians
//   lat, wlon    out  degrees (an east longitude 0 gives west longitude -0)
void cocosm(double colat, double elon, double& lat, double& wlon);

// Spheroid to Cartesian.
//   glat, wlon  in   geodetic latitude and west longitude, degrees
//   a           in   equatorial radius
//   e           in   eccentricity, 0 <= e < 1
//   v           out  Cartesian vector
void cocemc(double glat, double wlon, double a, double e, Vec3& v);

// Cartesian to spheroid; the inverse of cocemc for points on the surface.
//   v           in   Cartesian vector
//   e           in   eccentricity, 0 <= e < 1
//   glat, wlon  out  geodetic latitude and west longitude, degrees
//   a           out  equatorial radius of the spheroid through the point
// Notes: 1. A vector shorter than 1e-37 gives latitude 0, west longitude 0 and
//           leaves A unchanged.
//        2. Within 2e-7 (relative) of the polar axis: latitude +-90, west
//           longitude 0, A = |z| / sqrt(1 - e^2).
//        3. Off the axis, an x share below 2e-7 of the length gives west
//           longitude exactly -90 for positive y and +90 for negative y.
void cocecm(const Vec3& v, double e, double& glat, double& wlon, double& a);

// ---- Character utilities (upcase) ---------------------------------------------

// Upper-case the ASCII letters a..z among the first N bytes of TEXT in place.
//   text  in/out  bytes
//   n     in      number of bytes; N <= 0 changes nothing
// Notes: 1. Every other byte, 128..255 included, is left as it is.
//        2. N must not exceed the text's length.
void upcase(char* text, std::int32_t n);

// Copy or fill bytes.
//   src  in   bytes
//   dst  out  bytes; may be SRC or overlap it
//   n    in   N > 0: DST(1..N) = SRC(1..N), one byte at a time upwards;
//             N < 0: DST(1..|N|) = the first byte of SRC, taken before any
//             write; N = 0: nothing
// Notes: 1. |N| must not exceed the length of either array.
//        2. DST starting inside SRC at a higher address repeats bytes already
//           copied, as a forward byte copy does.
void b2b(const char* src, char* dst, std::int32_t n);

}  // namespace kest
