// kest-fit-positions DIR: the planets' segments of the years the build fits
// ahead, one file a planet (DIR/NAME.cheb), so that the programs take them
// instead of fitting them in each run.

#include <cmath>
#include <iostream>
#include <string>

#include "position/kposition.hpp"

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    std::cerr << "usage: kest-fit-positions DIR [PLANET]\n";
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  for (const kest::PlanetFit& p : kest::planets_fitted_ahead()) {
    if (argc == 3 && p.name != argv[2]) continue;
    const auto cache = kest::planet_cache(p.name);
    const double length = cache->segment_days();
    const auto first = static_cast<long long>(std::floor(kest::days_of_year(p.first_year) / length));
    const auto end = static_cast<long long>(std::ceil(kest::days_of_year(p.last_year + 1.0) / length));
    std::string error;
    if (!kest::write_fitted_segments(*cache, first, end - first, dir / (std::string(p.name) + ".cheb"), error)) {
      std::cerr << "kest-fit-positions: " << error << '\n';
      return 1;
    }
  }
  return 0;
}
