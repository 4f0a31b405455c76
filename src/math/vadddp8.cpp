// Operations on 3-vectors and the three vector prints.
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "math/kmath.hpp"
#include "textio/textio.hpp"

#ifdef __FAST_MATH__
#error "the numeric library must not be built with fast-math"
#endif

namespace kest {

void vadd(const Vec3& a, const Vec3& b, Vec3& w) {
  for (int i = 1; i <= 3; ++i) w(i) = a(i) + b(i);
}

void vsub(const Vec3& a, const Vec3& b, Vec3& w) {
  for (int i = 1; i <= 3; ++i) w(i) = a(i) - b(i);
}

void vcross(const Vec3& a, const Vec3& b, Vec3& w) {
  const double x = a(2) * b(3) - a(3) * b(2);
  const double y = a(3) * b(1) - a(1) * b(3);
  const double z = a(1) * b(2) - a(2) * b(1);
  w(1) = x;
  w(2) = y;
  w(3) = z;
}

void vdot(const Vec3& a, const Vec3& b, double& s) {
  double sum = 0.0;
  for (int i = 1; i <= 3; ++i) sum = sum + a(i) * b(i);
  s = sum;
}

void vmag(const Vec3& a, double& s) {
  double sum = 0.0;
  for (int i = 1; i <= 3; ++i) sum = sum + a(i) * a(i);
  s = std::sqrt(sum);
}

void vnorm(const Vec3& a, Vec3& b) {
  double sum = 0.0;
  for (int i = 1; i <= 3; ++i) sum = sum + a(i) * a(i);
  const double r = 1.0 / std::sqrt(sum);
  for (int i = 1; i <= 3; ++i) b(i) = r * a(i);
}

void vneg(const Vec3& a, Vec3& b) {
  for (int i = 1; i <= 3; ++i) b(i) = -a(i);
}

void vscale(double s, const Vec3& a, Vec3& b) {
  for (int i = 1; i <= 3; ++i) b(i) = s * a(i);
}

void vequal(const Vec3& a, Vec3& b) { b = a; }

void vunit(std::int32_t i, Vec3& v) {
  v = Vec3{};
  if (i >= 1 && i <= 3) v(i) = 1.0;
}

void vshow(std::string_view text, const Vec3& v, std::int32_t unit) {
  static const Format f{"(3g13.5,2x,2f8.2,g12.5,1x,A)"};
  if (unit == std::numeric_limits<std::int32_t>::min()) return;
  double p = 0.0;
  double q = 0.0;
  double r = 0.0;
  cococs(v, p, q, r);
  const double lat = 90.0 - DEG_PER_RAD * p;
  const double elon = DEG_PER_RAD * q;
  const std::int32_t out = unit < 0 ? -unit : unit;
  if (unit < 0) {
    write_free(out, {"C_END  X          Y           Z", "            Lat    E.Lon   Radius     What"});
  }
  write_fmt(out, f, {v(1), v(2), v(3), lat, elon, r, text});
}

void vprint(std::string_view text, const Vec3& v, std::int32_t unit) {
  static const Format f{"('0VPRINTN dump of: ',A,(/5X,3D22.13))"};
  write_fmt(unit, f, {text, v(1), v(2), v(3)});
}

void vprf(std::string_view text, const Vec3& v, std::int32_t unit, std::string_view descriptors) {
  constexpr std::string_view head = "(1X,A,'=',(/1X,";
  constexpr std::string_view tail = "))";
  constexpr std::size_t buffer_length = 60;
  std::size_t n = descriptors.size();
  while (n > 0 && descriptors[n - 1] == ' ') --n;
  if (n > buffer_length - head.size() - tail.size()) return;
  // The blanks that would pad the text to its 60 characters follow the
  // closing parenthesis and mean nothing; they are left off.
  std::string fmt;
  fmt.reserve(buffer_length);
  fmt.append(head);
  fmt.append(descriptors.substr(0, n));
  fmt.append(tail);
  std::optional<Format> f;
  try {
    f.emplace(fmt);
  } catch (const std::invalid_argument&) {
    return;  // not a format
  }
  // The part taken up again for the second and third components must hold
  // an edit descriptor, or the components would never be consumed.
  const auto& d = f->descs();
  const int rev = f->reversion();
  const std::size_t first = rev < 0 ? 0 : static_cast<std::size_t>(rev);
  const std::size_t last = rev < 0 ? d.size() : static_cast<std::size_t>(d[first].match);
  bool edits = false;
  for (std::size_t i = first; i < last; ++i) edits = edits || d[i].op == Format::Op::edit;
  if (!edits) return;
  write_fmt(unit, *f, {text, v(1), v(2), v(3)});
}

}  // namespace kest
