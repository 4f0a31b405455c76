// The rotation table reader.

#include <string>
#include <string_view>
#include <vector>

#include "rotation/krotation.hpp"
#include "textio/textio.hpp"

namespace kest {

namespace {

// The words of a line up to a '#', split at blanks and tabs.
std::vector<std::string_view> words_of(std::string_view line) {
  if (const auto hash = line.find('#'); hash != std::string_view::npos) line = line.substr(0, hash);
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    const std::size_t b = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
    if (i > b) words.push_back(line.substr(b, i - b));
  }
  return words;
}

// The numbers of words[first...] into out, or the word that is no number.
bool numbers_of(const std::vector<std::string_view>& words, std::size_t first, double* const* out, std::string& bad) {
  for (std::size_t k = first; k < words.size(); ++k) {
    if (!parse_decimal(words[k], *out[k - first])) {
      bad = quoted_text(words[k]);
      return false;
    }
  }
  return true;
}

bool is_c_end(std::string_view line) {
  if (line.size() < 5) return false;
  std::string head(line.substr(0, 5));
  for (char& c : head) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  return head == "C_END";
}

}  // namespace

const RotationModel* RotationTable::find(std::string_view name) const {
  for (const RotationModel& m : models)
    if (m.name == name) return &m;
  for (const auto& [alias, k] : aliases)
    if (alias == name) return &models[k];
  return nullptr;
}

std::optional<RotationTable> read_rotation_table(LineSource& in, std::string& error) {
  RotationTable t;
  std::string line;
  std::size_t n = 0;
  const auto fail = [&](const std::string& why) {
    error = "line " + std::to_string(n) + ": " + why;
    return std::nullopt;
  };
  bool framed = false;
  while (!framed) {
    if (!in.next_line(line)) {
      error = "no C_END line ends the header";
      return std::nullopt;
    }
    ++n;
    framed = is_c_end(line);
  }
  while (in.next_line(line)) {
    ++n;
    if (in.too_long()) return fail("the line is too long");
    const auto w = words_of(line);
    if (w.empty()) continue;
    std::string bad;
    if (w[0] == "term") {
      if (t.models.empty()) return fail("a term before any body");
      if (w.size() != 7) return fail("a term holds theta0, theta1, theta2, a, d and w: 6 numbers, not " + std::to_string(w.size() - 1));
      RotationTerm r;
      double* out[] = {&r.theta0, &r.theta1, &r.theta2, &r.a, &r.d, &r.w};
      if (!numbers_of(w, 1, out, bad)) return fail(bad + " is not a decimal number");
      RotationModel& m = t.models.back();
      if (m.terms.size() >= MAX_ROTATION_TERMS)
        return fail(m.name + " has more than " + std::to_string(MAX_ROTATION_TERMS) + " terms");
      m.terms.push_back(r);
      continue;
    }
    const std::string name(w[0]);
    if (name.size() > 12) return fail("the name " + quoted_text(name) + " is longer than 12 characters");
    if (t.find(name)) return fail(quoted_text(name) + " is named twice");
    if (w.size() >= 2 && w[1] == "=") {
      if (w.size() != 3) return fail("give one name after '='");
      const RotationModel* other = t.find(w[2]);
      if (!other) return fail(quoted_text(w[2]) + " is not a body above");
      t.aliases.emplace_back(name, static_cast<std::size_t>(other - t.models.data()));
      continue;
    }
    if (w.size() != 8)
      return fail("a body line holds its name and ra0, ra1, dec0, dec1, W0, W1, W2: 7 numbers, not " +
                  std::to_string(w.size() - 1));
    RotationModel m;
    m.name = name;
    double* out[] = {&m.ra0, &m.ra1, &m.dec0, &m.dec1, &m.W0, &m.W1, &m.W2};
    if (!numbers_of(w, 1, out, bad)) return fail(bad + " is not a decimal number");
    t.models.push_back(std::move(m));
  }
  if (t.models.empty()) {
    error = "it holds no body";
    return std::nullopt;
  }
  for (RotationModel& m : t.models) m.group();
  return t;
}

}  // namespace kest
