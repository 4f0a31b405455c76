// Heliocentric positions of the bodies at an instant: the interface the
// season geometry takes them through, the accurate positions of the planets
// behind a Chebyshev cache, and the Sun as the almanacs give it for the
// Earth.
//
// The accurate positions are the planets of VSOP87 (Mercury to Neptune,
// through libnova), Pluto from libnova's theory for 1885 to 2099, the Earth
// itself from ERFA's eraEpv00 and the Earth-Moon barycentre from it and
// ERFA's eraMoon98. A source is a plain value, safe to use from several
// threads at once.
#pragma once

#include <array>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "math/kmath.hpp"

namespace kest {

// A heliocentric position and velocity: AU and AU a day, along the axes of
// the ICRF (the J2000.0 equator and equinox).
struct StateVector {
  Vec3 r;
  Vec3 v;
};

// Where the positions of a body come from.
class PositionSource {
 public:
  virtual ~PositionSource() = default;
  // The state at `days` from J2000.0 (TT, which the theories take as TDB),
  // into out; false, with out untouched, outside the span.
  virtual bool state(double days, StateVector& out) const = 0;
  // The position alone, as state() gives it; a source whose velocity costs
  // more than its position gives it for less.
  virtual bool position(double days, Vec3& r) const {
    StateVector sv;
    if (!state(days, sv)) return false;
    r = sv.r;
    return true;
  }
  // The dates covered, days from J2000.0: [first(), last()].
  virtual double first() const = 0;
  virtual double last() const = 0;
  // What the positions are, for a note: "VSOP87 (libnova)".
  virtual std::string describe() const = 0;
  bool covers(double days) const { return days >= first() && days <= last(); }
};

// The ephemerides a face offers: the accurate positions where a theory
// holds, or the mean elements of the tables at each date.
enum class Ephemeris { accurate, mean };
inline constexpr std::array<std::string_view, 2> EPHEMERIS_NAMES = {"accurate", "mean"};
// An ephemeris by name (letter case ignored), or nothing.
std::optional<Ephemeris> parse_ephemeris(std::string_view name);
// Why a name is none of them: "no ephemeris is named 'x'; the names are
// accurate, mean".
std::string unknown_ephemeris(std::string_view name);

// Days from J2000.0 of January 1.0 of a year of the proleptic Gregorian
// calendar, to the day (spans of theories are stated in years).
double days_of_year(double year);

// The accurate positions of a planet by its name in the planet table:
// "Mercury" to "Neptune" and "Pluto", "Earth" (the Earth itself, not the
// barycentre) and "EM-Bary" (the Earth-Moon barycentre). nullptr for any
// other name. The same cached source for each name, shared by all callers.
// 1. The spans: Mercury, Venus and Mars, the years -2000 to 6000 (VSOP87's
//    1" over 4000 years each way); Jupiter and Saturn 0 to 4000; Uranus and
//    Neptune -4000 to 8000; Pluto 1885 to 2099; the Earth and the
//    barycentre 1900 to 2100 (eraEpv00's stated span).
std::shared_ptr<const PositionSource> planet_positions(std::string_view name);


// A source's positions as Chebyshev polynomials fitted over segments of a
// fixed length, each fitted when first needed from `degree` + 1 states of
// the series at the Chebyshev nodes; the velocity is the derivative of the
// position's polynomial. Segments are kept up to a bound and then dropped
// all at once; a call never sees a segment change under it. Safe from
// several threads; the results do not depend on the order of the calls.
//
// Segments fitted once, ahead of the runs, can be kept in a file of fitted
// segments (write_fitted_segments); a cache given one takes a segment the
// file holds from it instead of fitting it, the same numbers to the bit.
// The file's header must match the cache (segment length and degree) and
// each segment's checksum its numbers; a file that does not, or a segment
// that does not, is passed over and the segment fitted.
class ChebyshevCache : public PositionSource {
 public:
  ChebyshevCache(std::shared_ptr<const PositionSource> series, double segment_days, int degree,
                 const std::filesystem::path& fitted = {});
  ~ChebyshevCache() override;
  ChebyshevCache(const ChebyshevCache&) = delete;
  ChebyshevCache& operator=(const ChebyshevCache&) = delete;
  bool state(double days, StateVector& out) const override;
  double first() const override { return series_->first(); }
  double last() const override { return series_->last(); }
  std::string describe() const override { return series_->describe(); }
  double segment_days() const { return length_; }
  int degree() const { return degree_; }
  // The segments [first, first + count) of the file given, or 0 of none.
  long long fitted_first() const;
  long long fitted_count() const;
  // The coefficients of segment `index` (days index * segment_days() on),
  // fitted from the series: x, y, z, degree() + 1 each.
  std::vector<double> fit_coefficients(long long index) const;

 private:
  struct Segment {
    double start = 0.0;
    std::vector<double> coef;  // x, y, z coefficients, degree + 1 each
  };
  struct Fitted;
  std::shared_ptr<const Segment> segment(long long index) const;
  std::shared_ptr<const PositionSource> series_;
  double length_;
  int degree_;
  unsigned long long id_;  // this cache among all, for the threads' last segment
  std::unique_ptr<Fitted> fitted_;
  mutable std::mutex lock_;
  mutable std::unordered_map<long long, std::shared_ptr<const Segment>> segments_;
};

// Writes the segments [first, first + count) of cache, fitted from its
// series, into file (through a file beside it, renamed when complete);
// false with the reason.
bool write_fitted_segments(const ChebyshevCache& cache, long long first, long long count,
                           const std::filesystem::path& file, std::string& error);

// The planets of planet_positions, and the years whose segments the build
// fits ahead of the runs, into DIR/NAME.cheb (the directory positions
// beside the programs, or in the installed data directory).
struct PlanetFit {
  std::string_view name;
  double first_year, last_year;
};
std::vector<PlanetFit> planets_fitted_ahead();
inline constexpr double FIT_AHEAD_FIRST_YEAR = 1800.0;
inline constexpr double FIT_AHEAD_LAST_YEAR = 2200.0;
// The file of a planet's segments fitted ahead that planet_positions takes:
// NAME.cheb in the directory positions beside the program, or in the data
// directory of the installation (share/kest/positions); empty when there is
// none.
std::filesystem::path fitted_segments_file(std::string_view name);
// The same positions straight from the series, without the cache.
std::shared_ptr<const PositionSource> planet_series(std::string_view name);
// A new cache of a planet's series as planet_positions fits it, with the
// file of its segments fitted ahead when given; nullptr for another name.
std::unique_ptr<ChebyshevCache> planet_cache(std::string_view name, const std::filesystem::path& fitted = {});

// The Sun as the almanacs give it for their equinoxes and solstices: its
// apparent geocentric ecliptic longitude and its apparent declination, of
// date (true equator and equinox, true ecliptic), degrees, at `days` from
// J2000.0 (TT), from the Earth's heliocentric state: the geometric
// direction corrected for annual aberration, then turned by the IAU
// 2006/2000A precession-nutation. The Sun's own motion during the light
// time (under 0.01") is left out.
struct ApparentSun {
  double longitude = 0.0;    // [0, 360)
  double declination = 0.0;  // [-90, 90]
};
ApparentSun apparent_sun(double days, const StateVector& earth);

}  // namespace kest
