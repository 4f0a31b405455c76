// kest-season: the seasons of any body from the command line.

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "season/season.hpp"
#include "textio/textio.hpp"

namespace {

namespace fs = std::filesystem;
using namespace kest;
using namespace kest::season;

constexpr double MAX_ROWS = 1e8;
// The rows a worker lays out at a time.
constexpr std::size_t ROW_BLOCK = 16384;
// Events are found one orbit after another and written as they are found;
// this bounds the time a search takes (about 10 us an event).
constexpr double MAX_EVENTS = 1e7;

#ifndef KEST_VERSION
#define KEST_VERSION "0"
#endif

// Bad usage or input: one line on standard error, status 2.
struct Usage {
  std::string message;
};

[[noreturn]] void usage(const std::string& message) { throw Usage{message}; }

// Where the tables are: --tables, else KEST_TABLES, else the working
// directory when they are there, else the installed ones.
fs::path tables_dir(const std::string& option) {
  std::string error;
  auto dir = find_tables(option, installed_tables(), error, "--tables DIR");
  if (!dir) usage(error);
  return *std::move(dir);
}

double date_arg(const std::string& text) {
  std::string error;
  const auto d = parse_date(text, error);
  if (!d) usage(error);
  return *d;
}

// The dates from first to last for a body: refused where its elements give
// no orbit; where its model is known to be off, a warning of each limit,
// once.
void check_span(const SeasonBody& b, double first, double last) {
  const std::string fault = season_span_fault(b, first, last);
  if (!fault.empty()) usage(fault);
  for (const std::string& note : season_notes(b, first, last)) std::cerr << "kest-season: warning: " << note << '\n';
}

// With --utc, the dates from first to last must have UTC (1960 on).
void check_utc(bool utc, double first, double last) {
  if (!utc || (has_utc(first) && has_utc(last))) return;
  usage("--utc: " + iso_date(has_utc(first) ? last : first).substr(0, 10) +
        " (TT) lies before 1960, and there is no UTC then; leave out --utc to have the dates in TT");
}

// What is said of the bodies of files is said of this many bodies.
constexpr std::size_t FILE_BODIES_NOTED = 10;

// A file of bodies, or a usage error naming it.
std::unique_ptr<LineSource> body_file(const std::string& path) {
  std::string why;
  auto src = open_source(path, &why);
  if (!src) usage("cannot read " + path + ": " + why);
  return src;
}

// The bodies of --bodies FILE, then those of --mpc FILE, set up one at a
// time; a body without a pole takes the one of its name in the pole
// catalogue. A damaged line, or a body that cannot be set up, is a usage
// error naming the file and the line.
class FileBodies {
 public:
  FileBodies(std::string bodies, std::string mpc, const PoleCatalogue* poles)
      : bodies_(std::move(bodies)), mpc_(std::move(mpc)), poles_(poles) {}

  // Reads every body once, and gives their number.
  std::size_t check() const {
    std::size_t n = 0;
    each([&](const SeasonBody&) {
      ++n;
      return true;
    });
    return n;
  }

  // fn(body) for each body in turn, until it returns false.
  template <class Fn>
  void each(const Fn& fn) const {
    if (!bodies_.empty()) {
      const auto src = body_file(bodies_);
      BodyTable table(*src);
      GivenBody g;
      std::string why;
      while (table.next(g, why))
        if (!fn(set_up(g, bodies_ + ", line " + std::to_string(table.line())))) return;
      if (!why.empty()) usage(bodies_ + ", " + why);
    }
    if (!mpc_.empty()) {
      const auto src = body_file(mpc_);
      std::string line, why;
      MpcOrbit orbit;
      for (std::size_t n = 1; src->next_line(line); ++n) {
        const std::string where = mpc_ + ", line " + std::to_string(n);
        if (src->too_long()) usage(where + ": longer than 1 MiB");
        const MpcLine kind = read_mpc_line(line, orbit, why);
        if (kind == MpcLine::skip) continue;
        if (kind == MpcLine::damaged) {
          std::string message = where;
          message += ": ";
          message += why;
          usage(message);
        }
        GivenBody g = given_body(orbit);
        if (!fn(set_up(g, where))) return;
      }
    }
  }

 private:
  SeasonBody set_up(GivenBody& g, const std::string& where) const {
    if (poles_) poles_->apply(g);
    SeasonBodyError error;
    auto b = make_season_body(g, error);
    if (!b) usage(where + ": " + error.message);
    return std::move(*b);
  }

  std::string bodies_, mpc_;
  const PoleCatalogue* poles_;
};

// The place of the sun subcommand: its latitude and east longitude, and a
// landing date for Mars's sols.
struct SunPlace {
  double lat = 0.0, lon = 0.0;
  std::optional<double> landing;
};

SunPlace sun_place(const SeasonBody& b, const std::string& lat_s, const std::string& lon_s, bool west,
                   const std::string& landing_s) {
  SunPlace p;
  if (!parse_decimal(lat_s, p.lat) || !(p.lat >= -90.0 && p.lat <= 90.0))
    usage("--lat " + quoted_text(lat_s) + ": give a latitude in degrees from -90 to 90");
  if (!parse_decimal(lon_s, p.lon) || !(std::fabs(p.lon) <= 1e6))
    usage("--lon " + quoted_text(lon_s) + ": give a longitude in degrees (it wraps: -90 is 270)");
  if (west) p.lon = -p.lon;
  p.lon = std::fmod(std::fmod(p.lon, 360.0) + 360.0, 360.0);
  if (!std::isfinite(b.spin.W1))
    usage(quoted_text(b.entry.name) + " has no rotation period in its table: it has no local times");
  if (!landing_s.empty()) {
    if (!b.mars) usage("--landing counts the sols of Mars; " + quoted_text(b.entry.name) + " is not Mars");
    p.landing = date_arg(landing_s);
  }
  return p;
}

// The latitudes of the insolation grid, degrees: -90, -90 + step, ... while
// below 90, then 90 itself. A step that divides 180 (to the rounding of
// 180 / step) reaches 90 once. latitude_count gives their number for the
// guard against grids too large to write, before any is made.
double latitude_count(double step) {
  const double q = 180.0 / step;
  return std::ceil(q * (1.0 - 1e-12)) + 1.0;
}

std::vector<double> grid_latitudes(double step) {
  const auto below = static_cast<std::size_t>(latitude_count(step)) - 1;
  std::vector<double> lats;
  lats.reserve(below + 1);
  for (std::size_t k = 0; k < below; ++k) lats.push_back(-90.0 + static_cast<double>(k) * step);
  lats.push_back(90.0);
  return lats;
}

constexpr const char* TOO_MANY_CELLS =
    "the grid would have more than 10^8 cells (dates times latitudes); take a longer step or --lat-step, or a "
    "shorter span";

// Standard output, written in large blocks. A reader that goes away (a
// closed pipe) ends the output quietly; any other failure is reported.
class Output {
 public:
  // Takes text (leaving it empty). Small pieces are gathered; a large one
  // is written as it stands, without a copy.
  bool put(std::string& text) {
    constexpr std::size_t GATHER = std::size_t{1} << 16;
    if (buf_.size() + text.size() < GATHER) {
      buf_ += text;
    } else {
      flush();
      write_all(text.data(), text.size());
    }
    text.clear();
    return !failed_;
  }
  bool flush() {
    write_all(buf_.data(), buf_.size());
    buf_.clear();
    return !failed_;
  }
  bool failed() const { return failed_; }
  // Status 0, or 1 after a failure (reported unless the reader went away).
  int finish() {
    flush();
    if (!failed_) return 0;
    if (err_ != EPIPE) std::cerr << "kest-season: cannot write the output: " << std::strerror(err_) << '\n';
    return 1;
  }

 private:
  void write_all(const char* data, std::size_t size) {
    std::size_t done = 0;
    while (!failed_ && done < size) {
      const ssize_t n = ::write(1, data + done, size - done);
      if (n < 0) {
        if (errno == EINTR) continue;
        failed_ = true;
        err_ = errno;
        break;
      }
      done += static_cast<std::size_t>(n);
    }
  }

  std::string buf_;
  bool failed_ = false;
  int err_ = 0;
};

// Lays out rows [0, n) in blocks of `block` rows on worker threads while this
// thread writes the finished blocks out in order. produce(begin, end, text)
// appends the rows [begin, end) to text. A failed output stops the workers.
// A long table shows its progress.
template <class Produce>
void write_rows(std::size_t n, const Produce& produce, Output& out, std::size_t block = ROW_BLOCK) {
  const std::size_t blocks = (n + block - 1) / block;
  const auto rows_of = [&](std::size_t k, std::string& text) { produce(k * block, std::min(n, (k + 1) * block), text); };
  ProgressLine progress("kest-season: row", "rows", static_cast<long long>(n));
  const auto written_up_to = [&](std::size_t k) { progress.at(static_cast<long long>(std::min(n, (k + 1) * block))); };
  const std::size_t workers = std::min<std::size_t>(std::clamp(std::thread::hardware_concurrency(), 1U, 8U), blocks);
  const auto serially = [&] {
    std::string text;
    for (std::size_t k = 0; k < blocks && !out.failed(); ++k) {
      rows_of(k, text);
      out.put(text);
      written_up_to(k);
    }
  };
  if (workers <= 1) {
    serially();
    return;
  }
  // Block k is laid out in slot k % slots once block k - slots is written.
  struct Slot {
    std::string text;
    bool ready = false;
  };
  std::vector<Slot> slots(2 * workers);
  std::mutex lock;
  std::condition_variable changed;
  std::size_t next = 0, written = 0;
  bool stop = false;
  std::exception_ptr error;
  const auto work = [&] {
    std::unique_lock held(lock);
    for (;;) {
      changed.wait(held, [&] { return stop || next >= blocks || next < written + slots.size(); });
      if (stop || next >= blocks) return;
      const std::size_t k = next++;
      Slot& slot = slots[k % slots.size()];
      held.unlock();
      try {
        rows_of(k, slot.text);
      } catch (...) {
        held.lock();
        if (!error) error = std::current_exception();
        stop = true;
        changed.notify_all();
        return;
      }
      held.lock();
      slot.ready = true;
      changed.notify_all();
    }
  };
  std::vector<std::thread> threads;
  // However this function is left, the workers are stopped and joined.
  const auto halt = [&] {
    {
      std::lock_guard held(lock);
      stop = true;
    }
    changed.notify_all();
    for (std::thread& t : threads) t.join();
    threads.clear();
  };
  struct AtExit {
    const decltype(halt)& f;
    ~AtExit() { f(); }
  } at_exit{halt};
  try {
    for (std::size_t i = 0; i < workers; ++i) threads.emplace_back(work);
  } catch (const std::system_error&) {
    // No thread to be had: the workers that started do the work, or none did.
    if (threads.empty()) {
      serially();
      return;
    }
  }
  for (std::size_t k = 0; k < blocks; ++k) {
    Slot& slot = slots[k % slots.size()];
    {
      std::unique_lock held(lock);
      changed.wait(held, [&] { return stop || slot.ready; });
      if (stop) break;
    }
    out.put(slot.text);
    written_up_to(k);
    std::lock_guard held(lock);
    slot.ready = false;
    ++written;
    if (out.failed()) stop = true;
    changed.notify_all();
  }
  halt();
  if (error) std::rethrow_exception(error);
}

int run(int argc, char** argv) {
  CLI::App app{"kest-season: the seasons of any body of the element tables (planets, satellites, asteroids, "
               "small bodies, comets, exoplanets): heliocentric distance, Ls, subsolar latitude, calendar dates "
               "and season dates.",
               "kest-season"};
  app.set_version_flag("--version", std::string("kest-season ") + KEST_VERSION);
  app.require_subcommand(0, 1);
  std::string tables_opt;
  bool list = false, csv = false, json = false, utc = false;
  std::string epoch_s;
  app.add_option("--tables", tables_opt, "directory of the six element tables and the rotation table");
  app.add_flag("--utc", utc, "write the date column in UTC (date_utc) instead of TT (date_tt); dates from 1960 on");
  app.add_flag("--list", list, "list every body of the tables with its kind, table and item");
  auto* csv_flag = app.add_flag("--csv", csv, "CSV: a header row, then one row per line, numbers at full precision");
  app.add_flag("--json", json, "JSON: an array of objects")->excludes(csv_flag);
  auto* epoch_o = app.add_option("--epoch", epoch_s,
                                 "freeze a planet's or satellite's elements and pole at this year (1000 to 3000, "
                                 "such as 2024.5), as the dialogue's option 1 does; by default they are evaluated "
                                 "at each date");
  std::string ephemeris_s(EPHEMERIS_NAMES[0]);
  bool apparent = false;
  auto* ephemeris_o = app.add_option(
      "--ephemeris", ephemeris_s,
      "where the planets' positions come from: accurate (the default: VSOP87 through libnova, Pluto 1885-2099, the "
      "Earth itself from ERFA 1900-2100; the mean elements outside, said once) or mean (the mean elements of "
      "planelem.tab at each date); satellites move with their planet");
  app.add_flag("--apparent", apparent,
               "the Earth's Ls and subsolar latitude from the apparent Sun of date (aberration and nutation), as the "
               "almanacs give equinoxes and solstices; by default geometric");
  std::string elements_s, pole_s, rotation_s;
  app.add_option("--elements", elements_s,
                 "a body of one's own, named by BODY: a=AU or q=AU, e=, i=, node=, peri= (degrees, J2000.0 ecliptic "
                 "and equinox), tp=DATE or M=DEG,epoch=DATE");
  app.add_option("--pole", pole_s, "its north pole: ra=,dec= (J2000.0 equator) or lon=,lat= (J2000.0 ecliptic), "
                                   "frame=B1950 for B1950.0; without one, Ls and the subsolar point are left empty");
  app.add_option("--rotation", rotation_s, "its sidereal rotation period: 4.196h, 0.17d (a bare number is hours)");
  std::string mpc_file, bodies_file, poles_file;
  app.add_option("--mpc", mpc_file, "table, events, at: the bodies of a file of orbit lines in the MPC's one-line "
                                    "format (MPCORB.DAT); header lines are passed over");
  app.add_option("--bodies", bodies_file, "table, events, at: the bodies of a CSV with a name column and columns of "
                                          "the keys of --elements and --pole (and rotation)");
  app.add_option("--poles", poles_file, "a CSV of poles by name (name, lon, lat or ra, dec, rotation period in "
                                        "hours) for the bodies of --mpc and --bodies that have none");
  app.fallthrough();

  std::vector<std::string> body_names;
  std::string body_name, from_s, to_s, step_s, dates_file, at_date, ls_list;
  // The dates of a subcommand: --from, --to and --step, or --dates FILE;
  // returns --dates.
  const auto date_options = [&](CLI::App* sub) {
    auto* from_o = sub->add_option("--from", from_s, "first date: 2026-12-09, 2026-12-09T06:30, 2026-12-09T06:30Z (UTC), "
                                                     "JD2461383.5, J2000+9838.5 or now");
    auto* to_o = sub->add_option("--to", to_s, "last date");
    auto* step_o = sub->add_option("--step", step_s, "step: 10d, 0.1d, 6h, 1y, or a number of days");
    auto* dates_o = sub->add_option("--dates", dates_file, "a file of dates, one a line (- for standard input)");
    dates_o->excludes(from_o)->excludes(to_o)->excludes(step_o);
    return std::array<CLI::Option*, 4>{from_o, to_o, step_o, dates_o};
  };
  auto* table = app.add_subcommand("table", "one row per date: date (TT), days from J2000.0, distance, Ls, subsolar "
                                            "latitude and longitude, true anomaly, solar flux (and the Mars year for "
                                            "Mars)");
  table->add_option("BODY", body_names, "bodies of the tables (--list), or the name of the body of --elements");
  date_options(table);

  auto* events = app.add_subcommand("events", "the instants when Ls passes 0, 90, 180 and 270 (or --ls), and the "
                                              "perihelia and aphelia, in time order");
  events->add_option("BODY", body_names, "bodies of the tables (--list), or the name of the body of --elements");
  events->add_option("--from", from_s, "first date")->required();
  events->add_option("--to", to_s, "last date")->required();
  auto* ls_o = events->add_option("--ls", ls_list, "season angles, degrees: 0,90,180,270 by default");

  std::string lat_s, lon_s, sun_at, landing_s;
  bool west = false;
  auto* sun = app.add_subcommand("sun", "the Sun at a place, one row per date: local true and mean solar time, the "
                                        "Sun's zenith angle, elevation and azimuth, insolation, sunrise, sunset and "
                                        "day length (and Mars time for Mars)");
  sun->add_option("BODY", body_name, "a body of the tables (--list), or the name of the body of --elements")
      ->required();
  sun->add_option("--lat", lat_s, "planetocentric latitude, degrees, -90 to 90")->required();
  sun->add_option("--lon", lon_s, "east longitude, degrees (west with --west)")->required();
  sun->add_flag("--west", west, "--lon is a west longitude (planetographic, as Mars maps and Mars time count it)");
  const auto sun_dates = date_options(sun);
  auto* sun_at_o = sun->add_option("--at", sun_at, "one date");
  for (CLI::Option* o : sun_dates) sun_at_o->excludes(o);
  sun->add_option("--landing", landing_s, "Mars: the date of a landing, from which the sols are counted (sol 0)");

  std::string lat_step_s = "5";
  auto* insolation = app.add_subcommand(
      "insolation", "the diurnal-mean insolation and the day length on a grid of dates and latitudes (-90 to 90 every "
                    "--lat-step degrees), one row per date and latitude");
  insolation->add_option("BODY", body_name, "a body of the tables (--list), or the name of the body of --elements")
      ->required();
  date_options(insolation);
  insolation->add_option("--lat-step", lat_step_s,
                         "degrees from one latitude to the next, more than 0 and at most 180 (5 by default); 90 is "
                         "always the last");

  auto* at = app.add_subcommand("at", "one row, as table prints it");
  std::vector<std::string> at_args;
  at->add_option("BODY... DATE", at_args, "bodies of the tables (--list), or the name of the body of --elements, "
                                          "then the date")
      ->required();
  for (CLI::App* sub : {table, events, at})
    sub->add_flag("--west", west, "the subsolar longitude as a planetographic west longitude (subsolar_lon_west_deg)");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    usage(std::string(e.what()) + " (see --help)");
  }
  const OutputFormat format = csv ? OutputFormat::csv : (json ? OutputFormat::json : OutputFormat::text);
  std::optional<double> epoch;
  if (epoch_o->count() > 0) {
    std::string error;
    epoch = parse_epoch_year(epoch_s, error);
    if (!epoch) usage("--" + error);
  }
  const std::optional<Ephemeris> ephemeris = parse_ephemeris(ephemeris_s);
  if (!ephemeris) usage("--ephemeris: " + unknown_ephemeris(ephemeris_s));
  if (epoch && ephemeris_o->count() > 0 && *ephemeris == Ephemeris::accurate)
    usage("--epoch freezes the mean elements of one epoch: it cannot be given with --ephemeris accurate");
  if (apparent && (epoch || *ephemeris == Ephemeris::mean))
    usage("--apparent needs the Earth's accurate positions: it cannot be given with --epoch or --ephemeris mean");
  if (apparent && (!mpc_file.empty() || !bodies_file.empty()))
    usage("--apparent gives the Earth's apparent Sun: the bodies of --mpc and --bodies have none");

  // The tables are read once, when a body of theirs is named or listed.
  std::optional<TableSet> tables;
  std::vector<BodyEntry> bodies;
  const auto table_bodies = [&]() -> const std::vector<BodyEntry>& {
    if (tables) return bodies;
    tables.emplace(tables_dir(tables_opt));
    std::vector<std::string> unread;
    bodies = list_bodies(*tables, &unread);
    // Tables that cannot be read are said once, before anything is looked
    // up in what is left.
    for (const std::string& u : unread) std::cerr << "kest-season: warning: " << u << '\n';
    return bodies;
  };
  Output out;
  std::string text;
  if (list) {
    table_bodies();
    if (format == OutputFormat::csv) text += "name,kind,table,item,planet,orbit\r\n";
    if (format == OutputFormat::json) text += '[';
    bool first_body = true;
    for (const BodyEntry& b : bodies) {
      const std::string_view fname = FNAME[static_cast<std::size_t>(b.table)];
      const std::string file(fname.substr(0, fname.find(' ')));
      if (format == OutputFormat::json) {
        text += first_body ? "\n  " : ",\n  ";
        text += "{\"name\": " + json_text(b.name) + ", \"kind\": " + json_text(b.kind()) +
                ", \"table\": " + json_text(file) + ", \"item\": " + std::to_string(b.item) +
                ", \"planet\": " + (b.planet.empty() ? std::string("null") : json_text(b.planet)) +
                ", \"orbit\": " + (b.orbit().empty() ? std::string("null") : json_text(b.orbit())) + '}';
      } else if (format == OutputFormat::csv) {
        text += csv_text(b.name) + ',' + std::string(b.kind()) + ',' + file + ',' + std::to_string(b.item) + ',' +
                csv_text(b.planet) + ',' + csv_text(b.orbit()) + "\r\n";
      } else {
        std::string line = b.name;
        line.resize(std::max<std::size_t>(line.size() + 1, 28), ' ');
        std::string kind(b.kind());
        kind.resize(12, ' ');
        text += line;
        text += kind;
        text += file;
        text += "  item " + std::to_string(b.item);
        if (!b.planet.empty()) text += "  of " + b.planet;
        if (!b.orbit().empty()) text += (b.planet.empty() ? "  on " : ", on ") + b.orbit();
        text += '\n';
      }
      first_body = false;
    }
    if (format == OutputFormat::json) text += first_body ? "]\n" : "\n]\n";
    out.put(text);
    return out.finish();
  }
  if (app.get_subcommands().empty()) usage("name a subcommand: table, events, at, sun or insolation (see --help)");

  const bool from_files = !mpc_file.empty() || !bodies_file.empty();
  if (at->parsed()) {
    if (at_args.size() < 2 && !from_files) usage("at needs a BODY and a DATE: at BODY... DATE (see --help)");
    at_date = at_args.back();
    at_args.pop_back();
    body_names = at_args;
  }
  if (from_files && (sun->parsed() || insolation->parsed()))
    usage("--mpc and --bodies give bodies to table, events and at; sun and insolation take one BODY");
  if (!poles_file.empty() && !from_files) usage("--poles gives poles to the bodies of --mpc and --bodies; give one of them");
  if (body_names.empty() && !from_files && (table->parsed() || events->parsed() || at->parsed()))
    usage("name a BODY, or give --mpc FILE or --bodies FILE");
  if (sun->parsed() || insolation->parsed()) body_names = {body_name};
  if (elements_s.empty() && (!pole_s.empty() || !rotation_s.empty()))
    usage("--pole and --rotation describe the body of --elements; give --elements too");
  if (!elements_s.empty() && body_names.size() != 1)
    usage("--elements describes one body: give its name once, as BODY");
  std::vector<SeasonBody> run_bodies;
  for (const std::string& name : body_names) {
    SeasonBodyError error;
    std::optional<SeasonBody> b;
    if (!elements_s.empty()) {
      GivenBody g;
      g.name = name;
      std::string why;
      if (!set_given_keys(g, elements_s, why)) usage("--elements: " + why);
      if (!set_given_keys(g, pole_s, why)) usage("--pole: " + why);
      if (!rotation_s.empty() && !parse_rotation_period(rotation_s, g.rotation_hours, why)) usage("--" + why);
      b = make_season_body(g, error);
    } else {
      const BodyMatch m = find_body(table_bodies(), name);
      if (!m.body) usage(body_not_found(name, m) + (m.candidates.empty() ? " (see --list)" : ""));
      if (const std::string note = body_choice_note(name, m); !note.empty())
        std::cerr << "kest-season: warning: " << note << '\n';
      b = make_season_body(*tables, *m.body, epoch, error);
    }
    if (!b) usage(error.message);
    if (*ephemeris == Ephemeris::accurate && !use_accurate_positions(*b, apparent, error)) usage(error.message);
    if (b->pole_on_normal) std::cerr << "kest-season: warning: " << quoted_text(b->entry.name) << ": " << POLE_ON_NORMAL_NOTE << '\n';
    run_bodies.push_back(std::move(*b));
  }
  // The bodies of the files are read through once before anything is
  // written, so that a damaged line stops the run with nothing on standard
  // output; then again, one at a time, for their rows.
  PoleCatalogue poles;
  if (!poles_file.empty()) {
    std::string why;
    const auto src = open_source(poles_file, &why);
    if (!src) usage("cannot read the poles file " + poles_file + ": " + why);
    if (!poles.read(*src, why)) usage(poles_file + ", " + why);
  }
  const FileBodies files(bodies_file, mpc_file, poles_file.empty() ? nullptr : &poles);
  const std::size_t file_bodies = files.check();
  // Several bodies: each row names its body.
  const bool named = run_bodies.size() + file_bodies > 1 || from_files;
  const bool any_mars = std::any_of(run_bodies.begin(), run_bodies.end(), [](const SeasonBody& b) { return b.mars; });
  const SeasonBody* body = run_bodies.empty() ? nullptr : &run_bodies.front();
  // Each body of the run in turn, the named ones first; fn returns false
  // to stop. What is said of the files' bodies is said of the first few.
  const auto each_body = [&](double lo, double hi, const auto& fn) {
    for (const SeasonBody& b : run_bodies)
      if (!fn(b)) return;
    if (!from_files) return;
    std::size_t noted = 0;
    ProgressLine progress("kest-season: body", "bodies", static_cast<long long>(file_bodies));
    long long done = 0;
    files.each([&](const SeasonBody& b) {
      const std::vector<std::string> notes = season_notes(b, lo, hi);
      if (!notes.empty() && noted < FILE_BODIES_NOTED) {
        for (const std::string& note : notes) std::cerr << "kest-season: warning: " << note << '\n';
        if (++noted == FILE_BODIES_NOTED)
          std::cerr << "kest-season: warning: what is said of the bodies of the files after these is left out\n";
      }
      progress.at(++done);
      return fn(b);
    });
  };

  if (events->parsed()) {
    const double from = date_arg(from_s), to = date_arg(to_s);
    if (from > to) usage("--from " + from_s + " lies after --to " + to_s);
    std::vector<double> ls_values = {0.0, 90.0, 180.0, 270.0};
    if (ls_o->count() > 0) {
      if (!parse_decimal_list(ls_list, ls_values))
        usage("--ls " + quoted_text(ls_list) + ": give angles in degrees, separated by commas");
      for (double& v : ls_values) v = std::fmod(std::fmod(v, 360.0) + 360.0, 360.0);
    }
    double bound = 0.0;
    for (const SeasonBody& b : run_bodies) bound += season_event_bound(b, from, to, ls_values.size());
    files.each([&](const SeasonBody& b) {
      bound += season_event_bound(b, from, to, ls_values.size());
      return bound <= MAX_EVENTS;
    });
    if (!(bound <= MAX_EVENTS))
      usage("the span holds too many events (more than 10^7 with " + std::to_string(ls_values.size()) +
            " season angles); take a shorter span or fewer angles");
    for (const SeasonBody& b : run_bodies) check_span(b, from, to);
    // Events go out as they are found, in blocks.
    check_utc(utc, from, to);
    Writer w(format, any_mars, true, utc, west);
    if (named) w.name_bodies();
    w.header(text);
    ProgressLine progress("kest-season: event", "events", static_cast<long long>(bound));
    long long given = 0;
    const auto events_of = [&](const SeasonBody& b) {
      if (named) w.body(b.entry.name, b.mars);
      return for_each_season_event(b, from, to, ls_values, [&](const SeasonEvent& e) {
        w.row(text, e.row, e.what);
        if (text.size() >= (std::size_t{1} << 16) && !out.put(text)) return false;
        progress.at(++given);
        return true;
      });
    };
    each_body(from, to, events_of);
    w.footer(text);
    out.put(text);
    return out.finish();
  }

  // The insolation grid has a row for each latitude of each date.
  double lat_step = 0.0, per_date = 1.0;
  if (insolation->parsed()) {
    if (!parse_decimal(lat_step_s, lat_step) || !(lat_step > 0.0 && lat_step <= 180.0))
      usage("--lat-step " + quoted_text(lat_step_s) + ": give the degrees between latitudes, more than 0 and at most 180");
    per_date = latitude_count(lat_step);
  }
  std::vector<double> dates;
  double first = 0.0, step = 0.0;
  std::size_t count = 0;
  if (at->parsed() || sun_at_o->count() > 0) {
    first = date_arg(at->parsed() ? at_date : sun_at);
    count = 1;
    step = 1.0;
  } else if (!dates_file.empty()) {
    // A regular file, or standard input as "-": the open never waits (a
    // FIFO without a writer, a device), and lines are held to 1 MiB.
    const bool standard_input = dates_file == "-";
    const int fd = standard_input ? 0 : ::open(dates_file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) usage("cannot read the dates file " + dates_file + ": " + std::strerror(errno));
    if (!standard_input) {
      struct stat st {};
      const char* why = nullptr;
      if (::fstat(fd, &st) != 0) {
        why = std::strerror(errno);
      } else if (S_ISDIR(st.st_mode)) {
        why = "it is a directory";
      } else if (!S_ISREG(st.st_mode)) {
        why = "not a regular file (give - to read standard input)";
      }
      if (why) {
        ::close(fd);
        usage("cannot read the dates file " + dates_file + ": " + why);
      }
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    }
    const auto in = fd_source(fd, !standard_input);
    std::string line;
    for (std::size_t n = 1; in->next_line(line); ++n) {
      if (in->too_long()) usage(dates_file + ", line " + std::to_string(n) + ": longer than 1 MiB");
      const auto b = line.find_first_not_of(" \t");
      if (b == std::string::npos || line[b] == '#') continue;
      const auto e = line.find_last_not_of(" \t");
      std::string err;
      const auto d = parse_date(line.substr(b, e - b + 1), err);
      if (!d) {
        std::string where = dates_file;
        where += ", line " + std::to_string(n) + ": ";
        usage(where + err);
      }
      dates.push_back(*d);
      if (per_date > 1.0 && !(static_cast<double>(dates.size()) * per_date <= MAX_ROWS)) usage(TOO_MANY_CELLS);
      if (dates.size() > MAX_ROWS) usage(dates_file + " holds more than 10^8 dates");
    }
    if (dates.empty()) usage(dates_file + " holds no dates");
  } else {
    if (from_s.empty() || to_s.empty() || step_s.empty())
      usage(sun->parsed()          ? "sun needs --from, --to and --step, --dates FILE or --at DATE"
            : insolation->parsed() ? "insolation needs --from, --to and --step, or --dates FILE"
                                   : "table needs --from, --to and --step, or --dates FILE");
    first = date_arg(from_s);
    const double last = date_arg(to_s);
    std::string err;
    const auto st = parse_step(step_s, err);
    if (!st) usage(err);
    step = *st;
    if (first > last) usage("--from " + from_s + " lies after --to " + to_s);
    const double rows = grid_rows(first, last, step);
    if (per_date > 1.0 && !(rows * per_date <= MAX_ROWS)) usage(TOO_MANY_CELLS);
    if (!(rows <= MAX_ROWS)) usage("the table would have more than 10^8 rows; take a longer step or a shorter span");
    count = static_cast<std::size_t>(rows);
  }
  double lo_all = 0.0, hi_all = 0.0;
  {
    const auto [lo, hi] = dates.empty() ? std::pair(first, first + static_cast<double>(count - 1) * step)
                                        : std::pair(*std::min_element(dates.begin(), dates.end()),
                                                    *std::max_element(dates.begin(), dates.end()));
    for (const SeasonBody& b : run_bodies) check_span(b, lo, hi);
    check_utc(utc, lo, hi);
    lo_all = lo;
    hi_all = hi;
  }
  const std::size_t n = dates.empty() ? count : dates.size();
  const auto date = [&](std::size_t i) { return dates.empty() ? first + static_cast<double>(i) * step : dates[i]; };
  if (sun->parsed()) {
    const SunPlace place = sun_place(*body, lat_s, lon_s, west, landing_s);
    SunWriter sw(format, body->mars, place.landing.has_value(), utc);
    sw.header(text);
    out.put(text);
    const auto produce = [&](std::size_t begin, std::size_t end, std::string& block) {
      SunWriter cw(format, body->mars, place.landing.has_value(), utc);
      if (begin > 0) cw.continued();
      block.reserve(block.size() + (end - begin) * 200);
      for (std::size_t i = begin; i < end; ++i) {
        const double d = date(i);
        SolarDay day;
        const SeasonRow r = season_row(*body, d, &day);
        const SunAtPlace s = sun_at_place(r, day, place.lat, place.lon);
        if (!body->mars) {
          cw.row(block, d, s);
          continue;
        }
        const MarsTime m = mars_time(d, place.lon);
        cw.row(block, d, s, &m, place.landing ? mission_sol(d, *place.landing, place.lon) : 0.0);
      }
    };
    write_rows(n, produce, out);
    SunWriter tail(format, body->mars, place.landing.has_value(), utc);
    if (n > 0) tail.continued();
    tail.footer(text);
    out.put(text);
    return out.finish();
  }
  if (insolation->parsed()) {
    const std::vector<double> lats = grid_latitudes(lat_step);
    const std::size_t per = lats.size();
    InsolationWriter iw(format, utc);
    iw.header(text);
    out.put(text);
    // The cells in date order, the latitudes of a date one after another.
    // The longest rows: 111 characters of text, 126 of CSV, 250 of JSON.
    const std::size_t row_bytes = format == OutputFormat::json ? 256 : 128;
    const auto produce = [&](std::size_t begin, std::size_t end, std::string& block) {
      InsolationWriter cw(format, utc);
      if (begin > 0) cw.continued();
      block.reserve(block.size() + (end - begin) * row_bytes);
      for (std::size_t i = begin; i < end;) {
        SolarDay day;
        const SeasonRow r = season_row(*body, date(i / per), &day);
        for (std::size_t j = i % per; j < per && i < end; ++j, ++i) {
          const LatitudeDay d = day_at_latitude(r.flux, r.sdec, lats[j]);
          cw.row(block, r, lats[j], d, day_length_hours(d, day.length));
        }
      }
    };
    // A block holds whole dates where they fit, so that each date's season
    // row is worked out once (once a block where one date fills several);
    // blocks of a quarter of a table's keep both cores busy on a small grid.
    constexpr std::size_t GRID_BLOCK = ROW_BLOCK / 4;
    write_rows(n * per, produce, out, per < GRID_BLOCK ? GRID_BLOCK / per * per : GRID_BLOCK);
    InsolationWriter tail(format, utc);
    if (n > 0) tail.continued();
    tail.footer(text);
    out.put(text);
    return out.finish();
  }
  Writer w(format, any_mars, false, utc, west);
  if (named) w.name_bodies();
  w.header(text);
  out.put(text);
  std::size_t k = 0;
  const auto rows_of = [&](const SeasonBody& b) {
    if (n == 1) {
      // One row a body (at): laid out here, written in large blocks.
      if (named) w.body(b.entry.name, b.mars);
      w.row(text, season_row(b, date(0)));
      ++k;
      if (text.size() >= (std::size_t{1} << 16)) out.put(text);
      return !out.failed();
    }
    const auto produce = [&](std::size_t begin, std::size_t end, std::string& block) {
      Writer cw(format, any_mars, false, utc, west);
      if (named) cw.body(b.entry.name, b.mars);
      if (begin > 0 || k > 0) cw.continued();
      block.reserve(block.size() + (end - begin) * 160);
      for (std::size_t i = begin; i < end; ++i) cw.row(block, season_row(b, date(i)));
    };
    write_rows(n, produce, out);
    ++k;
    return !out.failed();
  };
  each_body(lo_all, hi_all, rows_of);
  out.put(text);
  Writer tail(format, any_mars, false, utc, west);
  if (n > 0 && k > 0) tail.continued();
  tail.footer(text);
  out.put(text);
  return out.finish();
}

}  // namespace

int main(int argc, char** argv) {
  ::signal(SIGPIPE, SIG_IGN);
  try {
    return run(argc, argv);
  } catch (const Usage& u) {
    std::cerr << "kest-season: " << u.message << '\n';
    return 2;
  } catch (const std::exception& e) {
    std::cerr << "kest-season: " << e.what() << '\n';
    return 1;
  }
}
