// Mars's Ls at a date, on kest's installed core: mars_ls DATE (2026-12-10,
// or any date kest-season takes). The tables: KEST_TABLES, else the working
// directory, else those installed with the core (KEST_TABLES_DIR).
#include <iostream>
#include <optional>
#include <string>

#include "elements/kelements.hpp"
#include "time/ktime.hpp"

int main(int argc, char** argv) {
  std::string error = "usage: mars_ls DATE";
  const auto days = argc == 2 ? kest::parse_date(argv[1], error) : std::nullopt;
  const auto dir = days ? kest::find_tables("", KEST_TABLES_DIR, error) : std::nullopt;
  const kest::TableSet tables(dir.value_or("."));
  const auto mars = kest::find_body(kest::list_bodies(tables), "Mars").body;
  kest::SeasonBodyError why{dir ? "no Mars in the tables" : error};
  auto body = mars ? kest::make_season_body(tables, *mars, std::nullopt, why) : std::nullopt;
  // Mars on its accurate positions, as kest-season takes it by default.
  if (!body || !kest::use_accurate_positions(*body, false, why)) {
    std::cerr << "mars_ls: " << why.message << '\n';
    return 2;
  }
  std::string ls;
  kest::append_shortest(ls, kest::season_row(*body, *days).ls);
  std::cout << ls << '\n';
}
