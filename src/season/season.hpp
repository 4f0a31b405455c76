// kest-season: the seasons of any body of the element tables, from the
// command line. The computations are the core's (ISO dates in time, the
// seasons and events of a body in elements); this header holds the
// command's own piece: the ways of writing rows and events out.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "elements/kelements.hpp"
#include "surface/ksurface.hpp"
#include "orbit/korbit.hpp"
#include "time/ktime.hpp"

namespace kest::season {

// ---- Output ----------------------------------------------------------------------

enum class OutputFormat { text, csv, json };

// A number in JSON: shortest digits, and null for NaN and infinities
// (JSON has no such numbers).
std::string json_number(double x);
// A text in JSON, quoted, with quotes, backslashes and control bytes
// escaped, and any byte beyond ASCII shown as '?'.
std::string json_text(std::string_view s);

// A text as a CSV field: quoted, with each quote doubled.
std::string csv_text(std::string_view s);

// Lays out rows or events in text; the caller writes the text out.
class Writer {
 public:
  // utc: the date column in UTC (date_utc) instead of TT (date_tt); every
  // row must then have UTC (has_utc). west: the subsolar longitude as a
  // planetographic west longitude (subsolar_lon_west_deg), 360 less the east.
  Writer(OutputFormat format, bool mars, bool events, bool utc = false, bool west = false);
  void header(std::string& out) const;
  void row(std::string& out, const SeasonRow& r, std::string_view what = {});
  void footer(std::string& out) const;
  // The rows go on after rows laid out by another writer (JSON commas).
  void continued() { first_ = false; }
  // The rows begin with a body column (before the header is laid out), and
  // the body of the rows that follow; the Mars year is left empty in the
  // rows of a body that is not Mars.
  void name_bodies() { named_ = true; }
  void body(std::string_view name, bool mars);

 private:
  OutputFormat format_;
  bool mars_;
  bool events_;
  bool utc_;
  bool west_;
  bool first_ = true;
  bool named_ = false;
  bool body_mars_ = true;
  std::string body_;  // the body column of the rows, laid out
  IsoDateWriter dates_;
};

// The width of the body column of a text table.
inline constexpr std::size_t BODY_COLUMN = 28;


// Lays out the Sun at a place, a row per date: date, days from J2000.0,
// local true and mean solar time, the Sun's zenith angle, elevation and
// azimuth, the insolation, sunrise and sunset (or "polar day", "polar
// night"), the day length, and for Mars the Mars Sol Date, MTC and, from a
// landing, the sol.
class SunWriter {
 public:
  SunWriter(OutputFormat format, bool mars, bool sols, bool utc);
  void header(std::string& out) const;
  void row(std::string& out, double days, const SunAtPlace& s, const MarsTime* m = nullptr, double sol = 0.0);
  void footer(std::string& out) const;
  void continued() { first_ = false; }

 private:
  OutputFormat format_;
  bool mars_, sols_, utc_;
  bool first_ = true;
  IsoDateWriter dates_;
};

// Lays out the diurnal-mean insolation of a grid of dates and latitudes, a
// row per date and latitude: date, days from J2000.0, Ls, the latitude, the
// mean insolation over the solar day, the fraction of the day the Sun is up,
// the day length in hours, and "polar day" or "polar night".
// 1. The rows of one date come one after another: the date and its Ls are
//    laid out once for them all.
// 2. day_length is the caller's, in hours (NaN for a body without a
//    rotation period: null in JSON).
class InsolationWriter {
 public:
  InsolationWriter(OutputFormat format, bool utc);
  void header(std::string& out) const;
  void row(std::string& out, const SeasonRow& r, double lat, const LatitudeDay& d, double day_length);
  void footer(std::string& out) const;
  void continued() { first_ = false; }

 private:
  OutputFormat format_;
  bool utc_;
  bool first_ = true;
  bool held_ = false;  // lead_ holds the leading columns of the date held_days_
  double held_days_ = 0.0;
  std::string lead_;
  IsoDateWriter dates_;
};

}  // namespace kest::season
