// kest-season: the seasons of any body of the element tables, from the
// command line. This header holds the command's own pieces, so that tests
// can reach them: ISO dates and steps, a body set up from the tables at each
// date or at a frozen epoch, the rows of a table, the events of a span and
// the ways of writing them out. The computations are kest's core functions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "elements/kelements.hpp"
#include "orbit/korbit.hpp"

namespace kest::season {

// ---- Dates and steps --------------------------------------------------------

// A date as days from J2000.0 (TT), from "2026-12-09", "2026-12-09T06:30",
// "2026-12-09T06:30:15.5", "JD2461383.5" or "J2000+9838.5" (also "J2000-12").
// Calendar dates are Gregorian from 1582 October 15 and Julian before, with
// astronomical year numbers (year 0 is 1 BC). A bare number is refused: it
// could be either kind of day number. Returns nothing, with a message.
std::optional<double> parse_date(std::string_view text, std::string& error);

// A step in days from "10d", "0.1d", "6h", "30m", "1y" (365.25 days) or a
// bare number of days. Zero, negative and non-finite steps are refused.
std::optional<double> parse_step(std::string_view text, std::string& error);

// The instant of a day count as ISO 8601, "YYYY-MM-DDThh:mm:ss" rounded to
// the second (with decimals digits of the second when decimals > 0).
std::string iso_date(double days, int decimals = 0);

// ---- A body and its seasons ---------------------------------------------------

struct Body {
  BodyEntry entry;
  BodyModel model;
  std::optional<double> epoch_tcen;  // frozen epoch (centuries), or evaluated at each date
  double power = 1.0;                // star's power relative to the Sun's
  bool mars = false;                 // Mars years are numbered
  double osculating_epoch = 0.0;     // days from J2000.0 where the elements osculate
  double osculating_span = 0.0;      // days around it where they are taken as good (0: no limit)
  std::optional<BodySetup> frozen;   // the set-up at the frozen epoch
  double mars_year1 = 0.0;           // Mars: the start of Mars year 1 (Ls = 0 near 1955 April 11)
};

// What went wrong setting a body up, in one line.
struct BodyError {
  std::string message;
};

// The body of a listing entry, frozen at `epoch_year` (a year such as 2024.5)
// when given. Refuses an open orbit.
std::optional<Body> make_body(const TableSet& tables, const BodyEntry& entry, std::optional<double> epoch_year,
                              BodyError& error);

struct Row {
  double days = 0.0;          // days from J2000.0, TT
  double distance = 0.0;      // AU
  double ls = 0.0;            // degrees
  double sdec = 0.0;          // subsolar latitude, degrees, planetocentric
  double true_anomaly = 0.0;  // degrees, [0, 360)
  double flux = 0.0;          // W/m^2
  std::int32_t mars_year = 0; // 0 unless the body is Mars
};

// The seasons of a body at a date.
Row row_at(const Body& body, double days);

// The solar constant at 1 AU, W/m^2.
inline constexpr double SOLAR_CONSTANT = 1361.0;

// ---- Events ----------------------------------------------------------------------

struct Event {
  std::string what;  // "Ls=90", "perihelion", "aphelion"
  Row row;
};

// The instants in [from, to] when Ls passes each of ls_values, and the
// perihelia and aphelia, in time order, each found to 1e-6 day or better.
std::vector<Event> find_events(const Body& body, double from, double to, const std::vector<double>& ls_values);

// ---- Output ----------------------------------------------------------------------

enum class OutputFormat { text, csv, json };

// Lays out rows or events in text; the caller writes the text out.
class Writer {
 public:
  Writer(OutputFormat format, bool mars, bool events);
  void header(std::string& out) const;
  void row(std::string& out, const Row& r, std::string_view what = {});
  void footer(std::string& out) const;
  // The rows go on after rows laid out by another writer (JSON commas).
  void continued() { first_ = false; }

 private:
  OutputFormat format_;
  bool mars_;
  bool events_;
  bool first_ = true;
};

// Shortest text that reads back to the same double.
std::string number(double x);

}  // namespace kest::season
