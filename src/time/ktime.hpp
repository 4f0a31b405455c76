// Dates of kest: conversions between calendar dates and Julian day numbers,
// the breakdown of a day number into what an ephemeris line prints about its
// date, and the Gregorian day count from 2000 January 1.
//
// Calendar: Julian up to 1582 October 4 (day number 2299160), Gregorian from
// 1582 October 15 (day number 2299161) on; years are numbered without a year
// zero (year -1 precedes year 1, and -1, -5, -9, ... are leap years). A Julian
// day number counts whole civil days from midnight: 2451545 is 2000 January 1
// and 0 is year -4713 January 1 of the Julian calendar.
//
// Dates are in TT unless they say UTC. UTC comes from ERFA's table of leap
// seconds (and of the drifting offsets of 1960 to 1971); leap seconds
// announced after that table are unknown, so a UTC date beyond it is
// converted with the last count the table holds. Every routine is a plain
// function of its arguments (now_tt_days also reads the system clock): it
// keeps nothing between calls, so any number of threads may call them at
// once.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "textio/textio.hpp"

namespace kest {

// ---- Names of months and weekdays -------------------------------------------

inline constexpr std::array<std::string_view, 12> MON = {
    "JAN", "FEB", "MAR", "APR", "MAY", "JUN", "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
inline constexpr std::array<std::string_view, 7> WDAY = {"SUN", "MON", "TUE", "WED",
                                                         "THU", "FRI", "SAT"};

// ---- Calendar date <-> Julian day number ------------------------------------

// Julian day number of a calendar date.
//   month, day, year  in  calendar date; year 0 does not exist
// Returns the day number.
// 1. Year 0 writes "julday ERROR: there is no year zero: Assume 1" to the
//    screen (unit 6) and gives the date in year 1.
// 2. Month and day are not checked: the formula runs on for any integers
//    (February 30 gives the day number of March 1 or 2). A result beyond the
//    32-bit range is held at the nearest end of that range.
std::int32_t julday(std::int32_t month, std::int32_t day, std::int32_t year);

// Calendar date of a Julian day number; the inverse of julday.
//   jd                 in   Julian day number
//   month, day, year   out  calendar date, month 1..12, no year zero
// 1. Every 32-bit day number gives a valid date. Day numbers below 0 continue
//    the Julian calendar backwards (year -4714 December 31 is day -1), and
//    julday of the returned date gives jd back.
void caldat(std::int32_t jd, std::int32_t& month, std::int32_t& day, std::int32_t& year);

// Day numbers from this on are full Julian dates, below it days from J2000.0.
inline constexpr float FULL_JD_FROM = 1220000.0f;

// The civil day of a day number and the time since its midnight.
struct CivilDay {
  std::int32_t JULIAN = 0;  // Julian day number of the civil day
  double FDDAY = 0.0;       // time since midnight, fraction of a day, [0, 1)
};
//   daynum  in  a full Julian date when >= 1220000.0, otherwise days from
//               J2000.0; held and rounded as caldate notes 1 to 3 say
CivilDay civil_day(float daynum);

// Everything an ephemeris line shows about the date of a day number.
//   daynum   in   a full Julian date (from noon) when >= 1220000.0, otherwise
//                 days from J2000.0
//   year, month, day   out  calendar date of the civil day (from midnight)
//   fday     out  time since midnight, fraction of a day, 0 <= fday < 1
//   doy      out  day of the year, 1 for January 1
//   monthname, weekday  out  entries of MON and WDAY
// 1. A Julian date near 2.45 million is resolved to a quarter of a day only
//    (single precision); a day count from J2000.0 to about 1/1000 day.
// 2. Julian dates below 0 split into their civil day and time since midnight
//    like any other (rounded down, not toward zero), with the calendar of
//    caldat continued backwards.
// 3. A Julian date beyond +-2.0e9 is held at that bound; not-a-number is
//    taken as Julian date 0.
void caldate(float daynum, std::int32_t& year, std::int32_t& month, std::int32_t& day,
             float& fday, std::int32_t& doy, FixedText<3>& monthname, FixedText<3>& weekday);

// ---- Day count from 2000 ------------------------------------------------------

// Days from 2000 January 1 (which counts 0) of a proleptic Gregorian date.
//   year, month, day   in   Gregorian date
//   count              out  days from 2000 January 1 (1999 December 31 is -1)
// 1. The 400-, 100- and 4-year cycles are counted from 1600 with divisions
//    rounded down, so dates before 1600 continue the Gregorian calendar with
//    astronomical year numbers (year 0 is the year before year 1).
// 2. A month outside 1..12 carries whole years into the year: month 13 is
//    January of the next year, month 0 December of the year before. The day
//    is not checked (February 30 counts as March 1 or 2).
// 3. A count beyond the 32-bit range is held at the nearest end of it.
void ymd2j2(std::int32_t year, std::int32_t month, std::int32_t day, std::int32_t& count);

// ---- ISO 8601 dates and steps --------------------------------------------------

// The span of dates the faces take: the years -4712 to 9999, from
// -4712-01-01T00:00 (Julian date -0.5) up to, not including,
// 10000-01-01T00:00 (Julian date 5373484.5); as days from J2000.0.
inline constexpr std::int32_t FIRST_YEAR = -4712;
inline constexpr std::int32_t LAST_YEAR = 9999;
inline constexpr double FIRST_DATE = -2451545.5;
inline constexpr double END_DATE = 2921939.5;
// Whether days from J2000.0 lie in that span (not-a-number does not).
constexpr bool in_date_span(double days) { return days >= FIRST_DATE && days < END_DATE; }
// The message for a date outside the span.
std::string date_span_message(std::string_view text);

// The calendar a calendar date is read and written in: kest's own, Gregorian
// from 1582 October 15 and Julian before (the command's and the dialogue's),
// or the proleptic Gregorian calendar of numpy, pandas, Python's datetime and
// astropy, Gregorian at every date (the Python module's). They agree from
// 1582 October 15 on.
enum class Calendar { kest, proleptic_gregorian };

// A date as days from J2000.0 (TT).
//   text      in   one of the forms of the notes
//   error     out  the message when the text is refused
//   calendar  in   the calendar of form 1
// Returns nothing, with a message, when the text is refused.
// 1. A calendar date in TT: "2026-12-09", "2026-12-09T06:30",
//    "2026-12-09T06:30:15.5"; a blank may stand for the T
//    ("2026-12-09 06:30"). Calendar dates are in the calendar given, with
//    astronomical year numbers (year 0 is 1 BC).
// 2. A calendar date in UTC: a time of day followed by "Z"
//    ("2021-02-18T20:55Z", "2021-02-18T20:55:00.5Z"), a date or date and time
//    followed by " UTC" ("2021-02-18 20:55 UTC"), or local time with its
//    offset from UTC ("2021-02-18T21:55+01:00", "-05:00"); converted to TT
//    by utc_to_tt_days. A leap second, 23:59:60 UTC, is taken on a day that
//    ends with one. UTC before 1960 is refused; a zone other than these
//    ("PST", "UTC+1") is refused, named in the message.
// 3. A Julian date, "JD2461383.5", or days from J2000.0, "J2000+9838.5"
//    (also "J2000" and "J2000-12"), both in TT.
// 4. "now", the system clock (now_tt_days), and "now+STEP" or "now-STEP"
//    with a step as parse_step reads it ("now+10d", "now-6h", "now+2.5").
// 5. A bare number is refused: it could be either kind of day number. A
//    date outside the span of dates (in_date_span) is refused in each form,
//    so that every date returned can be laid out, searched and converted
//    without overflow.
std::optional<double> parse_date(std::string_view text, std::string& error, Calendar calendar = Calendar::kest);

// The year of a frozen epoch ("2024.5"), a decimal number from 1000 to
// 3000, the years the planets' mean elements are meant for. Anything else is
// refused with a message that it is a year, not centuries after 2000.0 as
// the dialogue asks (and what a small number would be as centuries).
inline constexpr double FIRST_EPOCH_YEAR = 1000.0;
inline constexpr double LAST_EPOCH_YEAR = 3000.0;
std::optional<double> parse_epoch_year(std::string_view text, std::string& error);
// The same check of a year given as a number: "" when it is one.
std::string epoch_year_fault(double year, std::string_view shown);
// The epoch of a year as the dialogue takes it, Julian centuries after
// 2000.0 (2024.5 is 0.245).
inline double epoch_centuries(double year) { return (year - 2000.0) / 100.0; }

// A step in days from "10d", "0.1d", "6h", "30m", "45s", "1y" (365.25 days)
// or a bare number of days. Zero, negative and non-finite steps are refused.
std::optional<double> parse_step(std::string_view text, std::string& error);

// The number of instants first, first + step, ... up to last (step > 0,
// first <= last): last is one of them whenever it lies on the grid to the
// rounding of the dates' own size, so that a table asked to end at a date
// on its grid ends there.
double grid_rows(double first, double last, double step);

// The instant of a day count as ISO 8601, "YYYY-MM-DDThh:mm:ss" rounded to
// the second, or with that many decimals of the second, in kest's calendar
// or the one given.
std::string iso_date(double days, int decimals = 0, Calendar calendar = Calendar::kest);
// The same appended to out.
void append_iso_date(std::string& out, double days, int decimals = 0, Calendar calendar = Calendar::kest);

// Writes ISO dates as iso_date does, one after another; a run of instants
// on one day works out that day's calendar date once.
class IsoDateWriter {
 public:
  explicit IsoDateWriter(Calendar calendar = Calendar::kest) : calendar_(calendar) {}
  // The longest date written ("-1234567-12-31T23:59:59" and 9 decimals).
  static constexpr std::size_t MAX = 48;
  // Writes the date at p, which has room for MAX characters; returns the end.
  char* write(char* p, double days, int decimals = 0);

 private:
  Calendar calendar_;
  double day_ = 0.0;  // the day of the text held, as days + 0.5 floored
  char day_text_[24] = {};
  int day_len_ = 0;  // 0: no day held yet
};

// ---- UTC ----------------------------------------------------------------------

// 1960-01-01T00:00 UTC, where UTC begins, as days from J2000.0 (TT): TAI-UTC
// was then 0.9434820 s, so TT-UTC 33.1274820 s.
inline constexpr double FIRST_UTC_DATE = -14610.499616580069;
// Whether UTC exists at an instant of TT: from FIRST_UTC_DATE on, within the
// span of dates (not-a-number does not).
constexpr bool has_utc(double days_tt) { return days_tt >= FIRST_UTC_DATE && days_tt < END_DATE; }

// Days from J2000.0 (TT) of an instant of UTC.
//   year, month, day      in   Gregorian calendar date of UTC, 1960 on
//   hour, minute, second  in   time of day of UTC; second 60.0 up to 61.0
//                              in the leap second that ends a day
//   error                 out  why the instant is refused
// Returns nothing, with error set, when the instant is refused.
// 1. The message says why without naming the date, so that it reads after
//    the caller's own naming of it ("date '...': " + error).
// 2. Refused: a date before 1960 (UTC begins then), a day or time of day
//    that does not exist (a leap second on a day without one), and an
//    instant whose TT lies outside the span of dates.
// 3. A date after the last leap second the table knows is converted with
//    that count: leap seconds announced later are unknown.
std::optional<double> utc_to_tt_days(std::int32_t year, std::int32_t month, std::int32_t day, std::int32_t hour,
                                     std::int32_t minute, double second, std::string& error);

// The instant of TT as UTC in ISO 8601, "YYYY-MM-DDThh:mm:ss" rounded to the
// second, or with that many decimals of the second (0 to 9).
//   days_tt   in   days from J2000.0 (TT)
//   decimals  in   decimals of the second
// 1. A leap second is shown as second 60 ("2016-12-31T23:59:60").
// 2. The text is empty where UTC does not exist (has_utc is false).
std::string iso_utc_date(double days_tt, int decimals = 0);
// The same appended to out (nothing appended where UTC does not exist).
void append_iso_utc_date(std::string& out, double days_tt, int decimals = 0);

// TT-UTC in seconds at an instant of TT: TAI-UTC of the table plus 32.184 s
// (69.184 s from 2017 on); not-a-number where UTC does not exist. During a
// leap second it is the count of the day that the leap second ends.
double tt_minus_utc_seconds(double days_tt);

// The system clock, UTC to the microsecond, as days from J2000.0 (TT).
// 1. The clock counts no leap seconds: during one it repeats or stretches
//    a second, as the system keeps it.
// 2. Not-a-number when the clock reads a date without UTC (before 1960).
double now_tt_days();

// ---- Mars time ----------------------------------------------------------------------
// The Mars Sol Date and the solar times of Mars as the Allison and McEwen
// (2000) algorithm defines them, with the constants of its current form
// (Mars24): MSD = (JD(TT) - 2405522.0028779) / 1.0274912517, MTC = 24 h times
// the fraction of MSD, LMST = MTC less the west longitude / 15, LTST = LMST
// plus the equation of time, from its own fit of Mars's orbit (the equation
// of the centre with seven planetary perturbations).

struct MarsTime {
  double msd = 0.0;   // Mars Sol Date, sols
  double mtc = 0.0;   // Coordinated Mars Time, hours [0, 24)
  double lmst = 0.0;  // local mean solar time at the longitude, hours [0, 24)
  double ltst = 0.0;  // local true solar time, hours [0, 24)
  double eot = 0.0;   // equation of time, degrees (LTST - LMST times 15)
  double ls = 0.0;    // Ls of the fit, degrees [0, 360)
  double subsolar_west = 0.0;  // planetographic west longitude of the subsolar point, degrees [0, 360)
};

// Mars time at days from J2000.0 (TT) and an east longitude (degrees).
MarsTime mars_time(double days_tt, double east_longitude);

// The sol of a mission at a longitude: sols since the local mean midnight
// before its landing (the landing sol is sol 0), counted in local mean solar
// days.
//   days_tt, landing_tt  in  days from J2000.0 (TT)
//   east_longitude       in  degrees
double mission_sol(double days_tt, double landing_tt, double east_longitude);

// ---- Integer division rounded down --------------------------------------------

// a / b rounded toward minus infinity, b > 0.
constexpr std::int64_t floor_div(std::int64_t a, std::int64_t b) {
  const std::int64_t q = a / b;
  return (a % b < 0) ? q - 1 : q;
}

}  // namespace kest
