// The Sun at a place, and the day at a latitude.

#include <cmath>
#include <string>

#include "math/kmath.hpp"
#include "surface/ksurface.hpp"

namespace kest {

std::string_view day_kind_text(DayKind k) {
  switch (k) {
    case DayKind::polar_day: return "polar day";
    case DayKind::polar_night: return "polar night";
    default: return "";
  }
}

LatitudeDay day_at_latitude(double flux, double sdec, double lat) {
  const double phi = lat * RAD_PER_DEG, dec = sdec * RAD_PER_DEG;
  const double sp = std::sin(phi), cp = std::cos(phi), sd = std::sin(dec), cd = std::cos(dec);
  LatitudeDay d;
  // cos H0 = -tan(lat) tan(dec), written without the tangents so that the
  // poles themselves stay finite.
  const double num = -(sp * sd), den = cp * cd;
  double h0 = 0.0;
  if (num >= den) {
    d.kind = DayKind::polar_night;
  } else if (num <= -den) {
    d.kind = DayKind::polar_day;
    h0 = PICON;
  } else {
    h0 = std::acos(num / den);
  }
  d.half_day = h0 * DEG_PER_RAD;
  d.fraction = h0 / PICON;
  const double q = flux / PICON * (h0 * sp * sd + cp * cd * std::sin(h0));
  d.mean_insolation = q > 0.0 ? q : 0.0;
  return d;
}

double day_length_hours(const LatitudeDay& d, double solar_day) {
  if (std::isinf(solar_day)) {
    if (d.kind == DayKind::polar_day) return HUGE_VAL;
    return d.kind == DayKind::polar_night ? 0.0 : std::nan("");
  }
  return d.fraction * std::fabs(solar_day) * 24.0;
}

SunAtPlace sun_at_place(const SeasonRow& row, const SolarDay& day, double lat, double lon) {
  SunAtPlace s;
  const bool locked = !std::isfinite(day.length) && !std::isnan(day.length);
  // The sense the Sun crosses the sky: westward (hour angle growing with
  // time) unless the solar day is retrograde.
  const double sense = day.length < 0.0 ? -1.0 : 1.0;
  const double h = sense * (lon - row.slon);
  const double hr = h * RAD_PER_DEG, phi = lat * RAD_PER_DEG, dec = row.sdec * RAD_PER_DEG;
  const double sp = std::sin(phi), cp = std::cos(phi), sd = std::sin(dec), cd = std::cos(dec);
  const double sh = std::sin(hr), ch = std::cos(hr);
  s.ltst = wrapped(12.0 + h / 15.0, 24.0);
  // The equation of time: the mean Sun's right ascension less the true
  // Sun's, in the sense of the sky, within half a day.
  double eot = wrapped(sense * (day.mean_ra - day.sun_ra) / 15.0 + 12.0, 24.0) - 12.0;
  s.eot = eot;
  s.lmst = wrapped(s.ltst - eot, 24.0);
  const double cz = sp * sd + cp * cd * ch;
  s.zenith = std::acos(cz < -1.0 ? -1.0 : (cz > 1.0 ? 1.0 : cz)) * DEG_PER_RAD;
  s.elevation = 90.0 - s.zenith;
  // Azimuth from north through east: the Sun stands west of the meridian
  // in the afternoon (hour angle above 0) of a westward-moving Sun.
  const double east = -(cd * sh) * sense, north = cp * sd - sp * cd * ch;
  s.azimuth = wrapped(std::atan2(east, north) * DEG_PER_RAD, 360.0);
  s.insolation = cz > 0.0 ? row.flux * cz : 0.0;
  s.day = day_at_latitude(row.flux, row.sdec, lat);
  const double nan = std::nan("");
  if (s.day.kind == DayKind::rises_and_sets && !locked) {
    s.sunrise = wrapped(12.0 - s.day.half_day / 15.0, 24.0);
    s.sunset = wrapped(12.0 + s.day.half_day / 15.0, 24.0);
  } else {
    s.sunrise = s.sunset = nan;
  }
  if (locked) {
    s.day_length = cz > 0.0 ? HUGE_VAL : 0.0;
  } else {
    s.day_length = day_length_hours(s.day, day.length);
  }
  return s;
}

std::string clock_text(double hours) {
  if (!std::isfinite(hours)) return "";
  long long sec = std::llround(wrapped(hours, 24.0) * 3600.0);
  if (sec >= 86400) sec -= 86400;
  char buf[16];
  const auto two = [](char* p, long long v) {
    p[0] = static_cast<char>('0' + v / 10);
    p[1] = static_cast<char>('0' + v % 10);
  };
  two(buf, sec / 3600);
  buf[2] = ':';
  two(buf + 3, sec / 60 % 60);
  buf[5] = ':';
  two(buf + 6, sec % 60);
  return std::string(buf, 8);
}

}  // namespace kest
