// The Sun at a place on a body: local solar times, the Sun's zenith angle,
// elevation and azimuth, the insolation on level ground, sunrise, sunset and
// the length of the day; and the diurnal mean of the insolation at a
// latitude.
//
// The body is a sphere; latitudes are planetocentric and longitudes east,
// degrees. The Sun is taken at its centre, with no atmosphere and no
// refraction. Local times are in the body's own hours: 24 of them to a solar
// day, noon when the Sun crosses the meridian. Everything comes from the
// season row of the date (subsolar point and flux) and its SolarDay (the
// Sun's right ascensions, true and mean, and the length of the solar day):
// plain functions of their arguments, safe on several threads.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "elements/kelements.hpp"

namespace kest {

// ---- The day at a latitude ------------------------------------------------------

// Whether the Sun rises and sets on a day, or stays up or down throughout.
enum class DayKind : std::uint8_t { rises_and_sets, polar_day, polar_night };
// "polar day", "polar night", or "" for a day the Sun rises and sets.
std::string_view day_kind_text(DayKind k);

struct LatitudeDay {
  DayKind kind = DayKind::rises_and_sets;
  double half_day = 0.0;        // hour angle of sunset, degrees [0, 180] (180 in polar day, 0 in polar night)
  double fraction = 0.0;        // of the solar day the Sun is up, [0, 1]
  double mean_insolation = 0.0; // W/m^2, averaged over the solar day
};

// The day at latitude lat (degrees) with the Sun at declination sdec
// (degrees, the subsolar latitude) and the flux at the body (W/m^2): the
// hour angle of sunset H0 from cos H0 = -tan(lat) tan(sdec), and the
// diurnal mean F / pi (H0 sin(lat) sin(sdec) + cos(lat) cos(sdec) sin H0).
LatitudeDay day_at_latitude(double flux, double sdec, double lat);

// The hours of time the Sun is up on that day: its fraction of the solar
// day (days; NaN without a rotation period, and so the hours). A spin locked
// to the orbit has no solar day: the day lasts for ever in polar day, not at
// all in polar night, and has no one length between, where each longitude
// has the Sun up or down for good.
double day_length_hours(const LatitudeDay& d, double solar_day);

// ---- The Sun at a place -------------------------------------------------------------

// The names of the columns of the Sun at a place and of the insolation
// grid, one set for every face (CSV, JSON, the text heading, Python), as
// the season columns are (column in kelements.hpp).
namespace column {
inline constexpr std::string_view LTST = "ltst";  // local true solar time (hh:mm:ss; hours in Python)
inline constexpr std::string_view LMST = "lmst";  // local mean solar time
inline constexpr std::string_view SOLAR_ZENITH = "solar_zenith_deg";
inline constexpr std::string_view SOLAR_ELEVATION = "solar_elevation_deg";
inline constexpr std::string_view SOLAR_AZIMUTH = "solar_azimuth_deg";
inline constexpr std::string_view INSOLATION = "insolation_w_m2";
inline constexpr std::string_view SUNRISE = "sunrise_ltst";  // or "polar day", "polar night"
inline constexpr std::string_view SUNSET = "sunset_ltst";
inline constexpr std::string_view DAY_LENGTH = "day_length_h";
inline constexpr std::string_view MSD = "msd";  // Mars Sol Date
inline constexpr std::string_view MTC = "mtc";  // Coordinated Mars Time
inline constexpr std::string_view SOL = "sol";  // of a mission, from its landing
inline constexpr std::string_view LATITUDE = "latitude_deg";
inline constexpr std::string_view DAY_FRACTION = "day_fraction";
inline constexpr std::string_view DAY = "day";  // "polar day", "polar night" or ""
inline constexpr std::string_view EQUATION_OF_TIME = "eot_h";
}  // namespace column

struct SunAtPlace {
  double ltst = 0.0;       // local true solar time, hours [0, 24)
  double lmst = 0.0;       // local mean solar time, hours [0, 24)
  double eot = 0.0;        // equation of time, ltst - lmst, hours [-12, 12)
  double zenith = 0.0;     // degrees [0, 180]
  double elevation = 0.0;  // degrees [-90, 90]
  double azimuth = 0.0;    // degrees from north through east, [0, 360)
  double insolation = 0.0; // W/m^2 on level ground, 0 when the Sun is down
  LatitudeDay day;         // the day at the place's latitude
  double sunrise = 0.0;    // local true solar time of sunrise, hours; NaN in polar day or night
  double sunset = 0.0;     // of sunset
  double day_length = 0.0; // hours of time (not local hours) the Sun is up; NaN without a solar day
};

// The Sun at latitude lat and east longitude lon (degrees) at the date of a
// season row and its SolarDay.
// 1. The hour angle is the place's longitude east of the subsolar point,
//    taken in the sense the Sun moves across the sky: local time runs
//    forward on a body whose solar day is retrograde (Venus, Uranus) too.
// 2. Sunrise and sunset are those of the Sun's declination at the date,
//    and the day length is their interval in hours of time.
// 3. A spin locked to the orbit has no solar day: the local times are those
//    of the Sun's place in the sky, sunrise and sunset NaN, the day length
//    infinite while the Sun is up, 0 while it is down.
SunAtPlace sun_at_place(const SeasonRow& row, const SolarDay& day, double lat, double lon);

// Local hours as "hh:mm:ss", the seconds rounded ("23:59:59.6" rounds to
// "00:00:00"); "" for NaN.
std::string clock_text(double hours);

}  // namespace kest
