// Bodies given in files: a CSV of bodies, a catalogue of poles by name, and
// the body of an orbit line.

#include <algorithm>
#include <cctype>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "elements/kelements.hpp"
#include "textio/textio.hpp"

namespace kest {

namespace {

std::string lowered(std::string_view s) {
  std::string r;
  for (const char c : s) r += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const auto b = r.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  return r.substr(b, r.find_last_not_of(" \t") - b + 1);
}

// The key a column sets: its name, with the rotation period's other names.
std::string column_key(std::string_view header) {
  std::string k = lowered(header);
  if (k == "period" || k == "rotation_period") k = "rotation";
  return k;
}

// The names a body may stand under in a catalogue: "16 psyche" (without
// brackets), "16", "psyche".
std::vector<std::string> name_keys(std::string_view name) {
  std::string n;
  for (const char c : lowered(name))
    if (c != '(' && c != ')') n += c;
  std::vector<std::string> keys = {n};
  const auto space = n.find(' ');
  if (space != std::string::npos && space > 0 &&
      std::all_of(n.begin(), n.begin() + static_cast<std::ptrdiff_t>(space), [](char c) { return c >= '0' && c <= '9'; })) {
    keys.push_back(n.substr(0, space));
    keys.push_back(lowered(n.substr(space + 1)));
  }
  return keys;
}

// The fields of a row as keys of b; the name column gives the name. false,
// with the message, for a key that does not read.
bool set_row(GivenBody& b, const std::vector<std::string>& header, const std::vector<std::string>& fields,
             std::size_t name, std::string& error) {
  if (fields.size() != header.size()) {
    error = std::to_string(fields.size()) + " fields where the header has " + std::to_string(header.size());
    return false;
  }
  for (std::size_t k = 0; k < fields.size(); ++k) {
    if (k == name) {
      b.name = fields[k];
      continue;
    }
    if (fields[k].find_first_not_of(" \t") == std::string::npos) continue;
    if (!set_given_key(b, column_key(header[k]), fields[k], error)) return false;
  }
  if (b.name.find_first_not_of(" \t") == std::string::npos) {
    error = "the name is empty";
    return false;
  }
  return true;
}

// The header row: every column a key or the name. false with the message.
bool read_header(CsvReader& csv, std::vector<std::string>& header, std::size_t& name, std::string& error) {
  const CsvStatus s = csv.next(header, error);
  if (s == CsvStatus::error) return false;
  if (s == CsvStatus::end_of_file) {
    error = "the file is empty: it needs a header row with a name column";
    return false;
  }
  const CsvHeader h(header);
  if (!h.fault().empty()) {
    error = "line " + std::to_string(csv.line_number()) + ": " + h.fault();
    return false;
  }
  name = h.find("name");
  if (name == CsvHeader::npos) {
    error = "line " + std::to_string(csv.line_number()) + ": " + h.missing({"name"});
    return false;
  }
  // Each other column must name a key: a test body takes them all.
  GivenBody probe;
  for (std::size_t k = 0; k < header.size(); ++k) {
    if (k == name) continue;
    std::string why;
    const std::string key = column_key(header[k]);
    const std::string sample = key == "tp" || key == "epoch" ? "2000-01-01" : key == "frame" ? "J2000" : "1";
    if (!set_given_key(probe, key, sample, why)) {
      error = "line " + std::to_string(csv.line_number()) + ": column " + std::to_string(k + 1) + ": " + why;
      return false;
    }
  }
  return true;
}

}  // namespace

bool BodyTable::next(GivenBody& b, std::string& error) {
  error.clear();
  if (!started_) {
    started_ = true;
    if (!read_header(csv_, header_, name_, error)) return false;
  }
  const CsvStatus s = csv_.next(fields_, error);
  if (s != CsvStatus::record) return false;
  b = GivenBody{};
  if (!set_row(b, header_, fields_, name_, error)) {
    error = "line " + std::to_string(csv_.line_number()) + ": " + error;
    return false;
  }
  return true;
}

bool PoleCatalogue::read(LineSource& src, std::string& error) {
  CsvReader csv(src);
  std::vector<std::string> header, fields;
  std::size_t name = 0;
  if (!read_header(csv, header, name, error)) return false;
  poles_.clear();
  for (;;) {
    const CsvStatus s = csv.next(fields, error);
    if (s == CsvStatus::end_of_file) break;
    if (s == CsvStatus::error) return false;
    GivenBody p;
    const bool ok = set_row(p, header, fields, name, error);
    const bool has_pole = !std::isnan(p.ra) || !std::isnan(p.lon);
    if (ok && !has_pole) error = "no pole: give lon and lat, or ra and dec";
    if (!ok || !has_pole) {
      std::string where = "line ";
      where += std::to_string(csv.line_number());
      where += ": ";
      error.insert(0, where);
      return false;
    }
    poles_.emplace_back(name_keys(p.name).front(), p);
  }
  std::stable_sort(poles_.begin(), poles_.end(), [](const auto& x, const auto& y) { return x.first < y.first; });
  return true;
}

bool PoleCatalogue::apply(GivenBody& b) const {
  for (const std::string& key : name_keys(b.name)) {
    const auto it = std::lower_bound(poles_.begin(), poles_.end(), key,
                                     [](const auto& entry, const std::string& k) { return entry.first < k; });
    if (it == poles_.end() || it->first != key) continue;
    const GivenBody& p = it->second;
    if (std::isnan(b.ra) && std::isnan(b.lon)) {
      b.ra = p.ra;
      b.dec = p.dec;
      b.lon = p.lon;
      b.lat = p.lat;
      b.b1950 = p.b1950;
    }
    if (std::isnan(b.rotation_hours)) b.rotation_hours = p.rotation_hours;
    return true;
  }
  return false;
}

GivenBody given_body(const MpcOrbit& o) {
  GivenBody b;
  b.name = o.name;
  b.a = o.a;
  b.e = o.e;
  b.i = o.i;
  b.node = o.node;
  b.peri = o.peri;
  b.M = o.M;
  b.epoch = o.epoch;
  return b;
}

}  // namespace kest
