// The rotation table on arbitrary text: read as rotation.tab beside the
// shipped element tables, it is refused with a short message naming a line,
// or its models are evaluated at ordinary and extreme dates and give the
// rows of Mars and of a satellite, and the Sun at a place on them: a W, a
// subsolar longitude and local times in their ranges or not-a-number, never
// a crash.
#include <cmath>
#include <cstdint>
#include <string>

#include "elements/kelements.hpp"
#include "fuzz_support.hpp"
#include "rotation/krotation.hpp"
#include "surface/ksurface.hpp"
#include "time/ktime.hpp"

namespace {

using namespace kest;

constexpr double kDays[] = {0.0, -14610.5, 9839.5, 2921939.0, -2451545.0, 1e-300};

void check_angle(double a) { FUZZ_CHECK(std::isnan(a) || (a >= 0.0 && a < 360.0)); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string error;
  const auto table = read_rotation_table(*string_source(text), error);
  if (!table) {
    FUZZ_CHECK(!error.empty() && error.size() < 300);
    for (const char c : error) FUZZ_CHECK(c >= 0x20 && c < 0x7F);
    return 0;
  }
  for (const RotationModel& m : table->models) {
    FUZZ_CHECK(table->find(m.name) != nullptr);
    for (const double d : kDays) {
      const Orientation o = m.at(d);
      check_angle(o.W);
      const SurfacePoint p = surface_point(o, Vec3{{1.0, -2.0, 0.5}});
      check_angle(p.lon);
      FUZZ_CHECK(std::isnan(p.lat) || std::fabs(p.lat) <= 90.0);
    }
  }
  TableSet tables;
  for (const auto& [name, body] : fuzz::shipped_tables())
    for (std::int32_t code = 1; code <= 6; ++code)
      if (std::string(FNAME[static_cast<std::size_t>(code)]).rfind(name, 0) == 0) tables.set_text(code, body);
  tables.set_text(ROTATION_TABLE, text);
  const auto bodies = list_bodies(tables);
  for (const char* name : {"Mars", "Triton"}) {
    const BodyMatch found = find_body(bodies, name);
    if (!found.body) continue;
    SeasonBodyError why;
    const auto body = make_season_body(tables, *found.body, std::nullopt, why);
    if (!body) continue;
    for (const double d : kDays) {
      SolarDay day;
      const SeasonRow r = season_row(*body, d, &day);
      check_angle(r.slon);
      // The Sun at places taken from the input's length: local times in
      // [0, 24) or not-a-number, angles in their ranges, never a crash.
      const double lat = std::fmod(static_cast<double>(size), 181.0) - 90.0;
      const SunAtPlace a = sun_at_place(r, day, lat, static_cast<double>(size % 997) * 0.37);
      for (const double t : {a.ltst, a.lmst, a.sunrise, a.sunset}) FUZZ_CHECK(std::isnan(t) || (t >= 0.0 && t < 24.0));
      FUZZ_CHECK(std::isnan(a.zenith) || (a.zenith >= 0.0 && a.zenith <= 180.0));
      check_angle(a.azimuth);
      FUZZ_CHECK(clock_text(a.ltst).size() == (std::isfinite(a.ltst) ? 8u : 0u));
      const MarsTime m = mars_time(d, lat);
      FUZZ_CHECK(std::isnan(m.mtc) || (m.mtc >= 0.0 && m.mtc < 24.0));
    }
  }
  return 0;
}
