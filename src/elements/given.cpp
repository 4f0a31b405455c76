// Bodies given by their elements: the keys a user writes them with, what
// keeps them from being set up, and their pole in the frame of the tables.

#include <erfa.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "elements/kelements.hpp"
#include "math/kmath.hpp"
#include "textio/textio.hpp"
#include "time/ktime.hpp"

namespace kest {

namespace {

std::string lowered(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return r;
}

std::string_view trimmed(std::string_view s) {
  const auto b = s.find_first_not_of(" \t");
  if (b == std::string_view::npos) return {};
  return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

// The numbers a key sets, by name.
double* number_key(GivenBody& b, std::string_view key) {
  if (key == "a") return &b.a;
  if (key == "q") return &b.q;
  if (key == "e") return &b.e;
  if (key == "i") return &b.i;
  if (key == "node") return &b.node;
  if (key == "peri") return &b.peri;
  if (key == "m") return &b.M;
  if (key == "ra") return &b.ra;
  if (key == "dec") return &b.dec;
  if (key == "lon") return &b.lon;
  if (key == "lat") return &b.lat;
  return nullptr;
}

bool given(double v) { return !std::isnan(v); }

}  // namespace

bool parse_rotation_period(std::string_view text, double& hours, std::string& error) {
  const std::string_view t = trimmed(text);
  double scale = 1.0;
  std::string_view digits = t;
  if (!t.empty() && (t.back() == 'h' || t.back() == 'H')) {
    digits = t.substr(0, t.size() - 1);
  } else if (!t.empty() && (t.back() == 'd' || t.back() == 'D')) {
    digits = t.substr(0, t.size() - 1);
    scale = 24.0;
  }
  double v = 0.0;
  if (!parse_decimal(digits, v) || !(v > 0.0) || !std::isfinite(v * scale)) {
    error = "rotation " + quoted_text(text) + ": give a period above 0 with its unit, such as 4.196h or 0.17d";
    return false;
  }
  hours = v * scale;
  return true;
}

bool set_given_key(GivenBody& b, std::string_view key_text, std::string_view value_text, std::string& error) {
  const std::string key = lowered(trimmed(key_text));
  const std::string_view value = trimmed(value_text);
  if (double* v = number_key(b, key)) {
    if (!parse_decimal(value, *v)) {
      error = std::string(trimmed(key_text)) + "=" + std::string(value) + ": not a finite number";
      return false;
    }
    return true;
  }
  if (key == "tp" || key == "epoch") {
    std::string why;
    const auto d = parse_date(value, why);
    if (!d) {
      error = key + "=" + std::string(value) + ": " + why;
      return false;
    }
    (key == "tp" ? b.tp : b.epoch) = *d;
    return true;
  }
  if (key == "frame") {
    const std::string f = lowered(value);
    if (f != "j2000" && f != "b1950") {
      error = "frame=" + std::string(value) + ": give J2000 or B1950";
      return false;
    }
    b.b1950 = f == "b1950";
    return true;
  }
  if (key == "rotation") return parse_rotation_period(value, b.rotation_hours, error);
  error = "unknown key " + quoted_text(trimmed(key_text)) +
          " (the keys: a or q, e, i, node, peri, tp or M and epoch; ra and dec or lon and lat, frame; rotation)";
  return false;
}

bool set_given_keys(GivenBody& b, std::string_view list, std::string& error) {
  std::vector<std::string> seen;
  std::size_t pos = 0;
  while (pos <= list.size()) {
    const std::size_t comma = std::min(list.find(',', pos), list.size());
    const std::string_view pair = trimmed(list.substr(pos, comma - pos));
    pos = comma + 1;
    if (pair.empty()) {
      if (comma == list.size()) break;
      error = quoted_text(list) + ": an empty KEY=VALUE between commas";
      return false;
    }
    const auto eq = pair.find('=');
    if (eq == std::string_view::npos) {
      error = quoted_text(pair) + ": give KEY=VALUE";
      return false;
    }
    const std::string key = lowered(trimmed(pair.substr(0, eq)));
    for (const std::string& k : seen) {
      if (k == key) {
        error = "the key " + quoted_text(key) + " is given twice";
        return false;
      }
    }
    seen.push_back(key);
    if (!set_given_key(b, pair.substr(0, eq), pair.substr(eq + 1), error)) return false;
  }
  return true;
}

std::string given_body_fault(const GivenBody& b) {
  const std::string who = quoted_text(b.name);
  if (given(b.a) == given(b.q)) return who + ": give the semi-major axis a or the perihelion distance q, one of them";
  const struct {
    const char* key;
    double value;
  } required[] = {{"e", b.e}, {"i", b.i}, {"node", b.node}, {"peri", b.peri}};
  for (const auto& r : required)
    if (!given(r.value)) return who + ": the key " + r.key + " is missing";
  if (given(b.tp) && (given(b.M) || given(b.epoch)))
    return who + ": give the time of perihelion tp, or the mean anomaly M at an epoch, not both";
  if (!given(b.tp) && !(given(b.M) && given(b.epoch)))
    return who + (given(b.M) ? ": the mean anomaly M needs its epoch" : ": give tp, or M and epoch");
  const struct {
    const char* key;
    double value;
  } values[] = {{"a", b.a},       {"q", b.q},   {"e", b.e},         {"i", b.i},       {"node", b.node},
                {"peri", b.peri}, {"tp", b.tp}, {"M", b.M},         {"epoch", b.epoch}, {"ra", b.ra},
                {"dec", b.dec},   {"lon", b.lon}, {"lat", b.lat}, {"rotation", b.rotation_hours}};
  for (const auto& v : values)
    if (given(v.value) && !std::isfinite(v.value)) return who + ": " + v.key + " is not a finite number";
  if (!(b.e >= 0.0 && b.e < 1.0))
    return who + ": e=" + number(b.e) + " gives no elliptic orbit (the eccentricity must lie in [0, 1))";
  if (given(b.a) && !(b.a > 0.0)) return who + ": a=" + number(b.a) + " is not above 0";
  if (given(b.q) && !(b.q > 0.0)) return who + ": q=" + number(b.q) + " is not above 0";
  if (!(b.i >= 0.0 && b.i <= 180.0)) return who + ": i=" + number(b.i) + " lies outside 0 to 180 degrees";
  const bool equator = given(b.ra) || given(b.dec), ecliptic = given(b.lon) || given(b.lat);
  if (equator && ecliptic) return who + ": give the pole as ra and dec, or as lon and lat, not both";
  if (equator && !(given(b.ra) && given(b.dec))) return who + ": the pole needs both ra and dec";
  if (ecliptic && !(given(b.lon) && given(b.lat))) return who + ": the pole needs both lon and lat";
  const double pole_lat = equator ? b.dec : b.lat;
  if ((equator || ecliptic) && !(std::fabs(pole_lat) <= 90.0))
    return who + ": the pole's " + (equator ? "dec" : "lat") + "=" + number(pole_lat) + " lies outside -90 to 90";
  if (given(b.rotation_hours) && !(b.rotation_hours > 0.0)) return who + ": the rotation period is not above 0";
  return "";
}

PoleDirection j2000_pole(const GivenBody& b) {
  const bool ecliptic = !std::isnan(b.lon);
  const double lon = (ecliptic ? b.lon : b.ra) * RDEG, lat = (ecliptic ? b.lat : b.dec) * RDEG;
  double v[3] = {std::cos(lat) * std::cos(lon), std::cos(lat) * std::sin(lon), std::sin(lat)};
  if (ecliptic) {
    // The ecliptic turned into the equator of its epoch about the x axis.
    const double obl = b.b1950 ? OBL50 : OBL_J2000;
    const double y = v[1] * std::cos(obl) - v[2] * std::sin(obl);
    const double z = v[1] * std::sin(obl) + v[2] * std::cos(obl);
    v[1] = y;
    v[2] = z;
  }
  if (b.b1950) {
    // Precession from B1950.0 to J2000.0: the IAU 1976 matrix from J2000.0
    // to B1950.0, transposed.
    double d1 = 0.0, d2 = 0.0, rp[3][3];
    eraEpb2jd(1950.0, &d1, &d2);
    eraPmat76(d1, d2, rp);
    double w[3];
    eraTrxp(rp, v, w);
    eraCp(w, v);
  }
  PoleDirection p;
  p.ra = std::atan2(v[1], v[0]) / RDEG;
  if (p.ra < 0.0) p.ra += 360.0;
  p.dec = std::atan2(v[2], std::hypot(v[0], v[1])) / RDEG;
  return p;
}

}  // namespace kest
