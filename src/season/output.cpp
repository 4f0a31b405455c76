// Rows and events as an aligned text table, CSV (RFC 4180, a header row and
// full-precision numbers) or JSON.

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

#include "season/season.hpp"
#include "textio/textio.hpp"

namespace kest::season {

namespace {

// The date of a CSV row at p, to the millisecond, TT through the writer of
// the run's dates or UTC; returns the end.
char* csv_date(char* p, double days, bool utc, IsoDateWriter& dates) {
  if (!utc) return dates.write(p, days, 3);
  const std::string date = iso_utc_date(days, 3);
  return std::copy(date.begin(), date.end(), p);
}

// Text right-aligned in width, a blank before it at least.
void append_right(std::string& out, std::string_view text, std::size_t width) {
  out.append(text.size() < width ? width - text.size() : 1, ' ');
  out.append(text);
}

// ", \"name\": " (without the comma for the first key).
std::string json_key(std::string_view name, bool comma = true) {
  std::string out = comma ? ", \"" : "\"";
  (out += name) += "\": ";
  return out;
}

// The widths of the text table's season fields, days to Mars year: each
// wide enough for its column's name and two blanks before it.
constexpr std::size_t SEASON_WIDTHS[] = {14, 13, 9, 38, 25, 18, 12, 11};

}  // namespace


std::string json_number(double x) { return std::isfinite(x) ? number(x) : std::string("null"); }

std::string json_text(std::string_view s) {
  std::string out = "\"";
  for (const char c : s) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u >= 0x80) {
      out += '?';  // as messages show what is not printable ASCII
    } else if (u < 0x20 || u == 0x7F) {
      constexpr char hex[] = "0123456789abcdef";
      out += "\\u00";
      out += hex[u >> 4];
      out += hex[u & 15];
    } else {
      out += c;
    }
  }
  return out + '"';
}

std::string csv_text(std::string_view s) {
  std::string out = "\"";
  for (const char c : s) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + '"';
}

Writer::Writer(OutputFormat format, bool mars, bool events, bool utc, bool west)
    : format_(format), mars_(mars), events_(events), utc_(utc), west_(west) {}

void Writer::body(std::string_view name, bool mars) {
  body_mars_ = mars;
  switch (format_) {
    case OutputFormat::text:
      body_ = shown_text(name);
      body_.resize(std::max(body_.size() + 1, BODY_COLUMN), ' ');
      break;
    case OutputFormat::csv: body_ = csv_text(name) + ','; break;
    case OutputFormat::json: body_ = "\"body\": " + json_text(name) + ", "; break;
  }
}

void Writer::header(std::string& out) const {
  const std::string_view date = utc_ ? column::DATE_UTC : column::DATE_TT;
  const std::string_view slon = west_ ? column::SUBSOLAR_LONGITUDE_WEST : column::SUBSOLAR_LONGITUDE;
  const std::string_view names[] = {column::DAYS,       column::DISTANCE,     column::LS,  column::SUBSOLAR_LATITUDE,
                                    slon,               column::TRUE_ANOMALY, column::FLUX};
  switch (format_) {
    case OutputFormat::text:
      if (named_) append_padded(out, column::BODY, BODY_COLUMN);
      append_padded(out, date, 20);
      if (events_) append_padded(out, column::EVENT, 12);
      for (std::size_t k = 0; k < std::size(names); ++k) append_right(out, names[k], SEASON_WIDTHS[k]);
      if (mars_) append_right(out, column::MARS_YEAR, SEASON_WIDTHS[7]);
      out += '\n';
      break;
    case OutputFormat::csv:
      if (named_) (out += column::BODY) += ',';
      out += date;
      if (events_) (out += ',') += column::EVENT;
      for (const std::string_view c : names) (out += ',') += c;
      if (mars_) (out += ',') += column::MARS_YEAR;
      out += "\r\n";
      break;
    case OutputFormat::json:
      out += '[';
      break;
  }
}

void Writer::row(std::string& out, const SeasonRow& given, std::string_view what) {
  SeasonRow r = given;
  if (west_ && r.slon != 0.0) r.slon = 360.0 - r.slon;
  switch (format_) {
    case OutputFormat::text:
      out += body_;
      append_padded(out, utc_ ? iso_utc_date(r.days) : iso_date(r.days), 20);
      if (events_) append_padded(out, what, 12);
      append_fixed(out, r.days, SEASON_WIDTHS[0], 6);
      append_fixed(out, r.distance, SEASON_WIDTHS[1], 9);
      append_fixed(out, r.ls >= 359.99995 ? r.ls - 360.0 : r.ls, SEASON_WIDTHS[2], 4);
      append_fixed(out, r.sdec, SEASON_WIDTHS[3], 4);
      append_fixed(out, r.slon >= 359.99995 ? r.slon - 360.0 : r.slon, SEASON_WIDTHS[4], 4);
      append_fixed(out, r.true_anomaly, SEASON_WIDTHS[5], 4);
      append_fixed(out, r.flux, SEASON_WIDTHS[6], 3);
      if (mars_ && body_mars_) append_fixed(out, r.mars_year, SEASON_WIDTHS[7], 0);
      out += '\n';
      break;
    case OutputFormat::csv: {
      // One row laid out in place, then appended whole.
      char buf[IsoDateWriter::MAX + 9 * SHORTEST_MAX];
      out += body_;
      char* p = csv_date(buf, r.days, utc_, dates_);
      *p++ = ',';
      if (events_) {
        out.append(buf, p);
        out += what;
        p = buf;
        *p++ = ',';
      }
      // What a body does not have (Ls without a pole, a longitude without
      // a rotation) is an empty field.
      for (double x : {r.days, r.distance, r.ls, r.sdec, r.slon, r.true_anomaly}) {
        if (!std::isnan(x)) p = write_shortest(p, x);
        *p++ = ',';
      }
      p = write_shortest(p, r.flux);
      if (mars_) *p++ = ',';
      if (mars_ && body_mars_) p = std::to_chars(p, p + 16, r.mars_year).ptr;
      *p++ = '\r';
      *p++ = '\n';
      out.append(buf, p);
      break;
    }
    case OutputFormat::json:
      out += first_ ? "\n  {" : ",\n  {";
      out += body_;
      out += json_key(utc_ ? column::DATE_UTC : column::DATE_TT, false) + '"' +
             (utc_ ? iso_utc_date(r.days, 3) : iso_date(r.days, 3)) + '"';
      if (events_) out += json_key(column::EVENT) + json_text(what);
      out += json_key(column::DAYS) + json_number(r.days) + json_key(column::DISTANCE) + json_number(r.distance) +
             json_key(column::LS) + json_number(r.ls) + json_key(column::SUBSOLAR_LATITUDE) + json_number(r.sdec) +
             json_key(west_ ? column::SUBSOLAR_LONGITUDE_WEST : column::SUBSOLAR_LONGITUDE) + json_number(r.slon) +
             json_key(column::TRUE_ANOMALY) + json_number(r.true_anomaly) + json_key(column::FLUX) +
             json_number(r.flux);
      if (mars_) out += json_key(column::MARS_YEAR) + (body_mars_ ? std::to_string(r.mars_year) : std::string("null"));
      out += '}';
      break;
  }
  first_ = false;
}

void Writer::footer(std::string& out) const {
  if (format_ == OutputFormat::json) out += first_ ? "]\n" : "\n]\n";
}

SunWriter::SunWriter(OutputFormat format, bool mars, bool sols, bool utc)
    : format_(format), mars_(mars), sols_(sols), utc_(utc) {}

namespace {

// The columns of the Sun at a place after the date, in CSV and JSON.
constexpr std::string_view SUN_COLUMNS[] = {column::DAYS,         column::LTST,          column::LMST,
                                            column::SOLAR_ZENITH, column::SOLAR_ELEVATION, column::SOLAR_AZIMUTH,
                                            column::INSOLATION,   column::SUNRISE,       column::SUNSET,
                                            column::DAY_LENGTH,   column::MSD,           column::MTC,
                                            column::SOL};
// The widths of their text fields, each wide enough for its name and two
// blanks before it.
constexpr std::size_t SUN_WIDTHS[] = {14, 10, 10, 18, 21, 19, 17, 14, 13, 14, 15, 10, 7};

// Sunrise or sunset: the local time, or what the day is instead.
std::string rise_or_set(double hours, DayKind k) {
  return k == DayKind::rises_and_sets ? clock_text(hours) : std::string(day_kind_text(k));
}

}  // namespace

void SunWriter::header(std::string& out) const {
  const std::size_t columns = mars_ ? (sols_ ? 13 : 12) : 10;
  switch (format_) {
    case OutputFormat::text:
      append_padded(out, utc_ ? column::DATE_UTC : column::DATE_TT, 20);
      for (std::size_t k = 0; k < columns; ++k) append_right(out, SUN_COLUMNS[k], SUN_WIDTHS[k]);
      out += '\n';
      break;
    case OutputFormat::csv:
      out += utc_ ? column::DATE_UTC : column::DATE_TT;
      for (std::size_t k = 0; k < columns; ++k) (out += ',') += SUN_COLUMNS[k];
      out += "\r\n";
      break;
    case OutputFormat::json:
      out += '[';
      break;
  }
}

void SunWriter::row(std::string& out, double days, const SunAtPlace& s, const MarsTime* m, double sol) {
  const std::string rise = rise_or_set(s.sunrise, s.day.kind), set = rise_or_set(s.sunset, s.day.kind);
  if (format_ == OutputFormat::csv) {
    // One row laid out in place, then appended whole: the date, eight
    // numbers, five clock or day texts (16 characters at most) and the line
    // end, with room after the last number for what write_shortest may
    // overwrite.
    char buf[IsoDateWriter::MAX + 8 * (SHORTEST_MAX + 1) + 5 * 17 + 2];
    char* p = csv_date(buf, days, utc_, dates_);
    const auto value = [&p](double x) {
      *p++ = ',';
      p = write_shortest(p, x);
    };
    const auto text = [&p](std::string_view t) {
      *p++ = ',';
      p = std::copy(t.begin(), t.end(), p);
    };
    value(days);
    text(clock_text(s.ltst));
    text(clock_text(s.lmst));
    for (const double x : {s.zenith, s.elevation, s.azimuth, s.insolation}) value(x);
    text(rise);
    text(set);
    value(s.day_length);
    if (mars_) {
      value(m->msd);
      text(clock_text(m->mtc));
    }
    if (sols_) value(sol);
    *p++ = '\r';
    *p++ = '\n';
    out.append(buf, p);
    first_ = false;
    return;
  }
  const std::string date = utc_ ? iso_utc_date(days, format_ == OutputFormat::text ? 0 : 3)
                                : iso_date(days, format_ == OutputFormat::text ? 0 : 3);
  switch (format_) {
    case OutputFormat::text:
      append_padded(out, date, 20);
      append_fixed(out, days, SUN_WIDTHS[0], 6);
      append_right(out, clock_text(s.ltst), SUN_WIDTHS[1]);
      append_right(out, clock_text(s.lmst), SUN_WIDTHS[2]);
      append_fixed(out, s.zenith, SUN_WIDTHS[3], 4);
      append_fixed(out, s.elevation, SUN_WIDTHS[4], 4);
      append_fixed(out, s.azimuth, SUN_WIDTHS[5], 4);
      append_fixed(out, s.insolation, SUN_WIDTHS[6], 3);
      append_right(out, rise, SUN_WIDTHS[7]);
      append_right(out, set, SUN_WIDTHS[8]);
      append_fixed(out, s.day_length, SUN_WIDTHS[9], 4);
      if (mars_) {
        append_fixed(out, m->msd, SUN_WIDTHS[10], 5);
        append_right(out, clock_text(m->mtc), SUN_WIDTHS[11]);
      }
      if (sols_) append_fixed(out, sol, SUN_WIDTHS[12], 0);
      out += '\n';
      break;
    case OutputFormat::csv:
      break;
    case OutputFormat::json:
      out += first_ ? "\n  " : ",\n  ";
      out += '{' + json_key(utc_ ? column::DATE_UTC : column::DATE_TT, false) + json_text(date);
      {
        const double values[] = {days, s.zenith, s.elevation, s.azimuth, s.insolation, s.day_length};
        const std::string texts[] = {clock_text(s.ltst), clock_text(s.lmst), rise, set};
        // Columns 0 and 3 to 6 and 9 are numbers, 1, 2, 7 and 8 texts.
        for (std::size_t k = 0, v = 0, t = 0; k < 10; ++k) {
          const bool text = k == 1 || k == 2 || k == 7 || k == 8;
          out += json_key(SUN_COLUMNS[k]) + (text ? json_text(texts[t++]) : json_number(values[v++]));
        }
      }
      if (mars_) out += json_key(column::MSD) + json_number(m->msd) + json_key(column::MTC) + json_text(clock_text(m->mtc));
      if (sols_) out += json_key(column::SOL) + json_number(sol);
      out += '}';
      break;
  }
  first_ = false;
}

void SunWriter::footer(std::string& out) const {
  if (format_ == OutputFormat::json) out += first_ ? "]\n" : "\n]\n";
}

namespace {

// The columns of the insolation grid after the date, in CSV and JSON: the
// first two are the date's, the others the latitude's.
constexpr std::string_view INSOLATION_COLUMNS[] = {column::DAYS,         column::LS,         column::LATITUDE,
                                                   column::INSOLATION,   column::DAY_FRACTION, column::DAY_LENGTH,
                                                   column::DAY};
// The widths of their text fields but the last, each wide enough for its
// name and two blanks before it; the day's text follows two blanks.
constexpr std::size_t INSOLATION_WIDTHS[] = {14, 9, 14, 17, 14, 14};

}  // namespace

InsolationWriter::InsolationWriter(OutputFormat format, bool utc) : format_(format), utc_(utc) {}

void InsolationWriter::header(std::string& out) const {
  switch (format_) {
    case OutputFormat::text:
      append_padded(out, utc_ ? column::DATE_UTC : column::DATE_TT, 20);
      for (std::size_t k = 0; k < std::size(INSOLATION_WIDTHS); ++k)
        append_right(out, INSOLATION_COLUMNS[k], INSOLATION_WIDTHS[k]);
      (out += "  ") += column::DAY;
      out += '\n';
      break;
    case OutputFormat::csv:
      out += utc_ ? column::DATE_UTC : column::DATE_TT;
      for (const std::string_view c : INSOLATION_COLUMNS) (out += ',') += c;
      out += "\r\n";
      break;
    case OutputFormat::json:
      out += '[';
      break;
  }
}

void InsolationWriter::row(std::string& out, const SeasonRow& r, double lat, const LatitudeDay& d,
                           double day_length) {
  if (!held_ || held_days_ != r.days) {
    // The date's own columns, laid out once for all its latitudes.
    lead_.clear();
    switch (format_) {
      case OutputFormat::text:
        append_padded(lead_, utc_ ? iso_utc_date(r.days) : iso_date(r.days), 20);
        append_fixed(lead_, r.days, INSOLATION_WIDTHS[0], 6);
        append_fixed(lead_, r.ls >= 359.99995 ? r.ls - 360.0 : r.ls, INSOLATION_WIDTHS[1], 4);
        break;
      case OutputFormat::csv: {
        char buf[IsoDateWriter::MAX + 2 * SHORTEST_MAX];
        char* p = csv_date(buf, r.days, utc_, dates_);
        for (const double x : {r.days, r.ls}) {
          *p++ = ',';
          p = write_shortest(p, x);
        }
        lead_.append(buf, p);
        break;
      }
      case OutputFormat::json:
        lead_ = '{' + json_key(utc_ ? column::DATE_UTC : column::DATE_TT, false) +
                json_text(utc_ ? iso_utc_date(r.days, 3) : iso_date(r.days, 3)) + json_key(INSOLATION_COLUMNS[0]) +
                json_number(r.days) + json_key(INSOLATION_COLUMNS[1]) + json_number(r.ls);
        break;
    }
    held_ = true;
    held_days_ = r.days;
  }
  const std::string_view day = day_kind_text(d.kind);
  switch (format_) {
    case OutputFormat::text:
      out += lead_;
      append_fixed(out, lat, INSOLATION_WIDTHS[2], 4);
      append_fixed(out, d.mean_insolation, INSOLATION_WIDTHS[3], 3);
      append_fixed(out, d.fraction, INSOLATION_WIDTHS[4], 6);
      append_fixed(out, day_length, INSOLATION_WIDTHS[5], 4);
      if (!day.empty()) (out += "  ") += day;
      out += '\n';
      break;
    case OutputFormat::csv: {
      char buf[4 * SHORTEST_MAX + 24];
      char* p = buf;
      for (const double x : {lat, d.mean_insolation, d.fraction, day_length}) {
        *p++ = ',';
        p = write_shortest(p, x);
      }
      *p++ = ',';
      p = std::copy(day.begin(), day.end(), p);
      *p++ = '\r';
      *p++ = '\n';
      out += lead_;
      out.append(buf, p);
      break;
    }
    case OutputFormat::json: {
      out += first_ ? "\n  " : ",\n  ";
      out += lead_;
      const double values[] = {lat, d.mean_insolation, d.fraction, day_length};
      for (std::size_t k = 0; k < 5; ++k)
        out += json_key(INSOLATION_COLUMNS[k + 2]) + (k < 4 ? json_number(values[k]) : json_text(day));
      out += '}';
      break;
    }
  }
  first_ = false;
}

void InsolationWriter::footer(std::string& out) const {
  if (format_ == OutputFormat::json) out += first_ ? "]\n" : "\n]\n";
}

}  // namespace kest::season
