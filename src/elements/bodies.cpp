// The bodies the six tables hold, and finding one by name.

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "elements/kelements.hpp"
#include "textio/textio.hpp"

namespace kest {

namespace {

std::string trim(std::string_view s) {
  const auto b = s.find_first_not_of(" \t");
  if (b == std::string_view::npos) return {};
  const auto e = s.find_last_not_of(" \t");
  return std::string(s.substr(b, e - b + 1));
}

std::string lower(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return r;
}

// The table's file name, for what is said about it.
std::string table_file(std::int32_t code) {
  const std::string_view f = FNAME[static_cast<std::size_t>(code)];
  return std::string(f.substr(0, f.find(' ')));
}

// The lines after the C_END line of a table, or none when it is missing or
// has no marker (and then why, when asked).
std::unique_ptr<LineSource> framed(const TableSet& tables, std::int32_t code, std::vector<std::string>* unread) {
  std::string why;
  auto src = tables.open(code, &why);
  if (!src) {
    if (unread) unread->push_back(table_file(code) + ": " + why + "; its bodies are left out");
    return nullptr;
  }
  std::string line;
  while (src->next_line(line)) {
    if (lower(line.substr(0, std::min<std::size_t>(line.size(), 5))) == "c_end") return src;
  }
  if (unread) unread->push_back(table_file(code) + ": no C_END line ends its header; its bodies are left out");
  return nullptr;
}

// The titles of a table's items, in order, up to the first item that ends
// early or whose title line does not read (which is then said, when asked).
std::vector<std::string> item_titles(const TableSet& tables, std::int32_t code, std::vector<std::string>* unread) {
  std::vector<std::string> titles;
  auto src = framed(tables, code, unread);
  if (!src) return titles;
  const auto broken = [&](const std::string& why) {
    if (unread) unread->push_back(table_file(code) + ": " + why + "; the items after it are left out");
    return titles;
  };
  // Line of the item that holds the title, and the items before it there.
  const int title_line = code == 1 || code == 4 ? 1 : 2;
  const std::size_t lines = static_cast<std::size_t>(NLINES[static_cast<std::size_t>(code)]);
  std::string line;
  for (;;) {
    std::string title_text;
    bool blank = true;  // the item's lines so far are blank
    for (std::size_t k = 1; k <= lines; ++k) {
      if (!src->next_line(line)) {
        // A table may end after its last item, with blank lines or none.
        if (blank) return titles;
        return broken("it ends inside item " + std::to_string(titles.size() + 1));
      }
      if (src->too_long()) return broken("a line of item " + std::to_string(titles.size() + 1) + " is longer than 1 MiB");
      blank = blank && line.find_first_not_of(" \t\r") == std::string::npos;
      if (static_cast<int>(k) == title_line) title_text = line;
    }
    FixedText<25> title;
    std::int32_t number = 0;
    std::string scratch;
    auto one = string_source(title_text);
    const Item items[] = {Item(number), Item(title)};
    const Item* first = code == 4 ? items : items + 1;
    const std::size_t count = code == 4 ? 2 : 1;
    if (read_free_lines(*one, scratch, first, count) != ReadStatus::ok) {
      // Blank lines after the last item end the table.
      if (blank) return titles;
      return broken("the title of item " + std::to_string(titles.size() + 1) + " does not read");
    }
    titles.push_back(trim(title.view()));
  }
}

// The planet a satellite line names at the start of its comment, after the
// seven values: "Mars: ...".
std::string planet_in_comment(std::string_view line) {
  std::size_t pos = 0;
  for (int word = 0; word < 7; ++word) {
    pos = line.find_first_not_of(" \t,", pos);
    if (pos == std::string_view::npos) return {};
    pos = line.find_first_of(" \t,", pos);
    if (pos == std::string_view::npos) return {};
  }
  const std::string rest = trim(line.substr(pos));
  const auto colon = rest.find(':');
  if (colon == std::string::npos || rest.find_first_of(" \t") < colon) return {};
  return rest.substr(0, colon);
}

// Edit distance of two texts, for naming the closest candidates.
std::size_t distance(std::string_view a, std::string_view b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diag = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t up = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diag + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diag = up;
    }
  }
  return row[b.size()];
}

// The ways a body may be named: its name, each word-start of it ("Ceres" for
// "1 Ceres"), and for a satellite "planet:name".
std::vector<std::string> spellings(const BodyEntry& b) {
  std::vector<std::string> s;
  const std::string n = lower(b.name);
  s.push_back(n);
  for (std::size_t i = 1; i < n.size(); ++i)
    if (n[i - 1] == ' ' && n[i] != ' ') s.push_back(n.substr(i));
  if (!b.planet.empty()) s.push_back(lower(b.planet) + ":" + n);
  return s;
}

}  // namespace

std::string_view BodyEntry::kind() const {
  switch (table) {
    case 1: return "planet";
    case 2: return "satellite";
    case 3: return "minor body";
    case 4: return "small body";
    case 5: return "comet";
    case 6: return "exoplanet";
    case 0: return "given body";
    default: return "unknown";
  }
}

std::string BodyEntry::orbit() const {
  const std::string& mover = planet.empty() ? name : planet;
  if (table == 1 && name != "EM-Bary") return "";
  if (table != 1 && table != 2) return "";
  if (mover == "EM-Bary") return "the Earth-Moon barycentre's orbit";
  return mover + "'s orbit";
}

ElementRequest BodyEntry::request(double TCEN) const {
  ElementRequest rq;
  rq.TCEN = TCEN;
  if (table == 2) {
    rq.table = 1;
    rq.item = planet_item;
    rq.satellite = name;
  } else {
    rq.table = table;
    rq.item = item;
  }
  return rq;
}

std::vector<BodyEntry> list_bodies(const TableSet& tables, std::vector<std::string>* unread) {
  std::vector<BodyEntry> bodies;
  const std::vector<std::string> planets = item_titles(tables, 1, unread);
  if (planets.empty() && unread && unread->empty()) unread->push_back(table_file(1) + ": it holds no planet; the planets and satellites are left out");
  for (std::size_t i = 0; i < planets.size(); ++i)
    bodies.push_back({planets[i], 1, static_cast<std::int32_t>(i + 1), {}, 0});

  // Satellites: spin-axis lines below the planets' own lines that name
  // their planet.
  if (auto src = framed(tables, 2, unread)) {
    std::string line;
    std::string scratch;
    for (std::int32_t n = 1; src->next_line(line); ++n) {
      if (static_cast<std::size_t>(n) <= planets.size()) continue;
      FixedText<12> name;
      auto one = string_source(line);
      const Item item(name);
      if (read_free_lines(*one, scratch, &item, 1) != ReadStatus::ok) break;
      const std::string planet = planet_in_comment(line);
      const auto p = std::find(planets.begin(), planets.end(), planet);
      if (p == planets.end()) continue;
      bodies.push_back({trim(name.view()), 2, n, planet, static_cast<std::int32_t>(p - planets.begin() + 1)});
    }
  }
  for (std::int32_t code = 3; code <= 6; ++code) {
    const std::vector<std::string> titles = item_titles(tables, code, unread);
    for (std::size_t i = 0; i < titles.size(); ++i)
      bodies.push_back({titles[i], code, static_cast<std::int32_t>(i + 1), {}, 0});
  }
  return bodies;
}

BodyMatch find_body(const std::vector<BodyEntry>& all, std::string_view name) {
  std::string want = lower(trim(name));
  BodyMatch m;
  // "minor:Ceres" looks in one table only.
  static constexpr std::array<std::pair<std::string_view, std::int32_t>, 6> kinds = {
      {{"planet", 1}, {"satellite", 2}, {"minor", 3}, {"small", 4}, {"comet", 5}, {"exoplanet", 6}}};
  std::vector<BodyEntry> in_table;
  const std::vector<BodyEntry>* pool = &all;
  if (const auto colon = want.find(':'); colon != std::string::npos) {
    for (const auto& [kind, table] : kinds) {
      if (want.compare(0, colon, kind) != 0) continue;
      for (const BodyEntry& b : all)
        if (b.table == table) in_table.push_back(b);
      pool = &in_table;
      want = trim(want.substr(colon + 1));
    }
  }
  const std::vector<BodyEntry>& bodies = *pool;
  if (want.empty()) return m;
  std::vector<const BodyEntry*> exact, prefix;
  for (const BodyEntry& b : bodies) {
    bool is_exact = false, is_prefix = false;
    for (const std::string& s : spellings(b)) {
      if (s == want) is_exact = true;
      if (s.compare(0, want.size(), want) == 0) is_prefix = true;
    }
    if (is_exact) exact.push_back(&b);
    if (is_prefix) prefix.push_back(&b);
  }
  const auto& chosen = !exact.empty() ? exact : prefix;
  if (chosen.size() == 1) {
    m.body = *chosen.front();
    return m;
  }
  // One name that several items share is one body: the first of them in
  // the listing stands for it, and the others are named. Items of the same
  // body under a qualified title ("1 Ceres (epoch 2020)") are named too.
  const std::string first = chosen.empty() ? std::string() : lower(chosen.front()->name);
  if (!chosen.empty() && std::all_of(chosen.begin(), chosen.end(), [&](const BodyEntry* b) { return lower(b->name) == first; })) {
    m.body = *chosen.front();
    for (const BodyEntry* b : prefix) {
      const std::string n = lower(b->name);
      if (b != chosen.front() && (n == first || n.rfind(first + " (", 0) == 0)) m.others.push_back(*b);
    }
    return m;
  }
  if (!chosen.empty()) {
    for (const BodyEntry* b : chosen) m.candidates.push_back(*b);
    return m;
  }
  // Nothing starts so: the names nearest in spelling, if any is near.
  std::size_t best = want.size() / 3 + 2;
  for (const BodyEntry& b : bodies) {
    std::size_t d = best + 1;
    for (const std::string& s : spellings(b)) d = std::min(d, distance(want, s.substr(0, want.size() + 2)));
    if (d < best) {
      best = d;
      m.candidates.clear();
    }
    if (d == best) m.candidates.push_back(b);
  }
  return m;
}

std::string described(const BodyEntry& b) {
  return shown_text(b.name) + " (" + (b.planet.empty() ? std::string(b.kind()) : shown_text(b.planet)) + ")";
}

std::string qualified_name(const BodyEntry& b) {
  const std::string_view kind = b.kind();
  return std::string(kind.substr(0, kind.find(' '))) + ":" + shown_text(b.name);
}

std::string body_choice_note(std::string_view name, const BodyMatch& m) {
  if (!m.body || m.others.empty()) return "";
  std::string text = quoted_text(name) + " is " + shown_text(m.body->name) + " of " + table_file(m.body->table) +
                     " (item " + std::to_string(m.body->item) + "), the first of the tables' items of that body; the " +
                     "others are ";
  for (std::size_t i = 0; i < m.others.size(); ++i) text += (i == 0 ? "" : ", ") + qualified_name(m.others[i]);
  return text;
}

std::string body_not_found(std::string_view name, const BodyMatch& m) {
  if (m.candidates.empty()) return "no body " + quoted_text(name) + " in the tables";
  std::string text = quoted_text(name) + " is not one body of the tables; did you mean ";
  for (std::size_t i = 0; i < m.candidates.size() && i < 8; ++i) text += (i == 0 ? "" : ", ") + described(m.candidates[i]);
  text += "?";
  if (m.candidates.size() > 1 && m.candidates[0].name == m.candidates[1].name)
    text += " (name the table: " + std::string(m.candidates[0].kind().substr(0, m.candidates[0].kind().find(' '))) +
            ":" + shown_text(m.candidates[0].name) + ")";
  return text;
}

}  // namespace kest
