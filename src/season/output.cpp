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
  if (named_ && format_ == OutputFormat::text) append_padded(out, "body", BODY_COLUMN);
  if (named_ && format_ == OutputFormat::csv) out += "body,";
  switch (format_) {
    case OutputFormat::text:
      append_padded(out, utc_ ? "date (UTC)" : "date (TT)", 20);
      if (events_) append_padded(out, "event", 12);
      out += west_ ? "  days J2000.0  distance AU   Ls deg  subsolar lat deg (planetocentric)  subsolar lon deg (west)"
                     : "  days J2000.0  distance AU   Ls deg  subsolar lat deg (planetocentric)  subsolar lon deg (east)";
      out += "  true anomaly deg   flux W/m2";
      if (mars_) out += "  Mars year";
      out += '\n';
      break;
    case OutputFormat::csv:
      out += utc_ ? "date_utc," : "date_tt,";
      if (events_) out += "event,";
      out += west_ ? "days_j2000,distance_au,ls_deg,subsolar_latitude_planetocentric_deg,subsolar_lon_west_deg,"
                     : "days_j2000,distance_au,ls_deg,subsolar_latitude_planetocentric_deg,subsolar_lon_deg,";
      out += "true_anomaly_deg,flux_w_m2";
      if (mars_) out += ",mars_year";
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
      append_fixed(out, r.days, 14, 6);
      append_fixed(out, r.distance, 13, 9);
      append_fixed(out, r.ls >= 359.99995 ? r.ls - 360.0 : r.ls, 9, 4);
      append_fixed(out, r.sdec, 35, 4);
      append_fixed(out, r.slon >= 359.99995 ? r.slon - 360.0 : r.slon, 25, 4);
      append_fixed(out, r.true_anomaly, 18, 4);
      append_fixed(out, r.flux, 12, 3);
      if (mars_ && body_mars_) append_fixed(out, r.mars_year, 11, 0);
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
      out += utc_ ? "\"date_utc\": \"" + iso_utc_date(r.days, 3) + "\"" : "\"date_tt\": \"" + iso_date(r.days, 3) + "\"";
      if (events_) out += ", \"event\": \"" + std::string(what) + "\"";
      out += ", \"days_j2000\": " + json_number(r.days) + ", \"distance_au\": " + json_number(r.distance) +
             ", \"ls_deg\": " + json_number(r.ls) + ", \"subsolar_latitude_planetocentric_deg\": " + json_number(r.sdec) +
             (west_ ? ", \"subsolar_lon_west_deg\": " : ", \"subsolar_lon_deg\": ") + json_number(r.slon) +
             ", \"true_anomaly_deg\": " + json_number(r.true_anomaly) + ", \"flux_w_m2\": " + json_number(r.flux);
      if (mars_) out += ", \"mars_year\": " + (body_mars_ ? std::to_string(r.mars_year) : std::string("null"));
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
constexpr const char* SUN_COLUMNS[] = {"days_j2000",          "ltst",            "lmst",
                                       "solar_zenith_deg",    "solar_elevation_deg", "solar_azimuth_deg",
                                       "insolation_w_m2",     "sunrise_ltst",    "sunset_ltst",
                                       "day_length_h",        "msd",             "mtc",
                                       "sol"};

// Text right-aligned in width, a blank before it at least.
void append_right(std::string& out, std::string_view text, std::size_t width) {
  out.append(text.size() < width ? width - text.size() : 1, ' ');
  out.append(text);
}

// Sunrise or sunset: the local time, or what the day is instead.
std::string rise_or_set(double hours, DayKind k) {
  return k == DayKind::rises_and_sets ? clock_text(hours) : std::string(day_kind_text(k));
}

}  // namespace

void SunWriter::header(std::string& out) const {
  const std::size_t columns = mars_ ? (sols_ ? 13 : 12) : 10;
  switch (format_) {
    case OutputFormat::text:
      append_padded(out, utc_ ? "date (UTC)" : "date (TT)", 20);
      out += "  days J2000.0      ltst      lmst  zenith deg  elevation deg  azimuth deg  insolation W/m2"
             "      sunrise       sunset  day length h";
      if (mars_) out += "            MSD       MTC";
      if (sols_) out += "    sol";
      out += '\n';
      break;
    case OutputFormat::csv:
      out += utc_ ? "date_utc" : "date_tt";
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
      append_fixed(out, days, 14, 6);
      append_right(out, clock_text(s.ltst), 10);
      append_right(out, clock_text(s.lmst), 10);
      append_fixed(out, s.zenith, 12, 4);
      append_fixed(out, s.elevation, 15, 4);
      append_fixed(out, s.azimuth, 13, 4);
      append_fixed(out, s.insolation, 17, 3);
      append_right(out, rise, 13);
      append_right(out, set, 13);
      append_fixed(out, s.day_length, 14, 4);
      if (mars_) {
        append_fixed(out, m->msd, 15, 5);
        append_right(out, clock_text(m->mtc), 10);
      }
      if (sols_) append_fixed(out, sol, 7, 0);
      out += '\n';
      break;
    case OutputFormat::csv:
      break;
    case OutputFormat::json:
      out += first_ ? "\n  " : ",\n  ";
      out += std::string("{\"") + (utc_ ? "date_utc" : "date_tt") + "\": \"" + date + "\", \"days_j2000\": " +
             json_number(days) + ", \"ltst\": " + json_text(clock_text(s.ltst)) + ", \"lmst\": " +
             json_text(clock_text(s.lmst)) + ", \"solar_zenith_deg\": " + json_number(s.zenith) +
             ", \"solar_elevation_deg\": " + json_number(s.elevation) + ", \"solar_azimuth_deg\": " +
             json_number(s.azimuth) + ", \"insolation_w_m2\": " + json_number(s.insolation) +
             ", \"sunrise_ltst\": " + json_text(rise) + ", \"sunset_ltst\": " + json_text(set) +
             ", \"day_length_h\": " + json_number(s.day_length);
      if (mars_) out += ", \"msd\": " + json_number(m->msd) + ", \"mtc\": " + json_text(clock_text(m->mtc));
      if (sols_) out += ", \"sol\": " + json_number(sol);
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
constexpr const char* INSOLATION_COLUMNS[] = {"days_j2000",   "ls_deg",       "latitude_deg", "insolation_w_m2",
                                              "day_fraction", "day_length_h", "day"};

}  // namespace

InsolationWriter::InsolationWriter(OutputFormat format, bool utc) : format_(format), utc_(utc) {}

void InsolationWriter::header(std::string& out) const {
  switch (format_) {
    case OutputFormat::text:
      append_padded(out, utc_ ? "date (UTC)" : "date (TT)", 20);
      out += "  days J2000.0   Ls deg  lat deg  insolation W/m2  day fraction  day length h  day\n";
      break;
    case OutputFormat::csv:
      out += utc_ ? "date_utc" : "date_tt";
      for (const char* c : INSOLATION_COLUMNS) (out += ',') += c;
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
        append_fixed(lead_, r.days, 14, 6);
        append_fixed(lead_, r.ls >= 359.99995 ? r.ls - 360.0 : r.ls, 9, 4);
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
        lead_ = std::string("{\"") + (utc_ ? "date_utc" : "date_tt") + "\": \"" +
                (utc_ ? iso_utc_date(r.days, 3) : iso_date(r.days, 3)) + "\", \"" + INSOLATION_COLUMNS[0] +
                "\": " + json_number(r.days) + ", \"" + INSOLATION_COLUMNS[1] + "\": " + json_number(r.ls);
        break;
    }
    held_ = true;
    held_days_ = r.days;
  }
  const std::string_view day = day_kind_text(d.kind);
  switch (format_) {
    case OutputFormat::text:
      out += lead_;
      append_fixed(out, lat, 9, 4);
      append_fixed(out, d.mean_insolation, 17, 3);
      append_fixed(out, d.fraction, 14, 6);
      append_fixed(out, day_length, 14, 4);
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
      for (std::size_t k = 0; k < 5; ++k) {
        out += ", \"";
        out += INSOLATION_COLUMNS[k + 2];
        out += "\": ";
        out += k < 4 ? json_number(values[k]) : json_text(day);
      }
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
