// Element sources and orbit setup of kest.
//
// The core: read_element_set turns one item of a line-oriented table file
// (planets with their spin axes, minor bodies, small bodies, comets,
// exoplanets) into orbital elements, pole and rotation period; list_bodies
// and find_body name every body the tables hold; body_frame derives from the
// elements and pole the obliquity BLIP, the body frame BFRM and the equinox
// angle TAV; set_up_record and body_record fill the state record of a body
// as option 1 does. They are plain functions of their arguments, safe to
// call from several threads.
//
// The dialogue of menu option 1 on top of them: kestel, which shows the
// reader's progress, asks for a satellite name and reports failures, and
// kestig, which asks for source, item, epoch and debug flags and stores the
// body in KESTCM.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "math/kmath.hpp"
#include "orbit/korbit.hpp"
#include "position/kposition.hpp"
#include "record/kestcm.hpp"
#include "rotation/krotation.hpp"
#include "textio/textio.hpp"
#include "time/ktime.hpp"

namespace kest {

// ---- Table files ----------------------------------------------------------

// File names and lines per item, indexed by file code 1..6 (entry 0 unused).
inline constexpr std::array<std::string_view, 7> FNAME = {
    "            ", "planelem.tab", "spinaxis.tab", "minor.tab   ",
    "small.tab   ", "comet.tab   ", "exoplan.tab "};
inline constexpr std::array<std::int32_t, 7> NLINES = {0, 2, 1, 13, 12, 10, 11};

// Failure reasons, indexed by the failure number IERR 1..7 (25 characters).
inline constexpr std::array<std::string_view, 8> MESS = {
    "                         ", "opening table file       ", "EOF looking for C_END    ",
    "error looking for C_END  ", "EOF looking for target   ", "error looking for target ",
    "EOF reading value        ", "error reading value      "};

// B1950 to J2000.0 equatorial rotation, column order; single-precision
// values held in double precision.
inline constexpr Mat3 JBRM = {{static_cast<double>(0.9999257f), static_cast<double>(0.011181483f),
                               static_cast<double>(0.0048590037f), static_cast<double>(-0.011181483f),
                               static_cast<double>(0.9999375f), static_cast<double>(-2.7170294e-05f),
                               static_cast<double>(-0.0048590037f), static_cast<double>(-2.7162596e-05f),
                               static_cast<double>(0.9999882f)}};

// Exoplanet constants, single precision widened to double: 10 parsecs in
// light years, the Sun's absolute magnitude, the magnitude-to-power factor
// and the smallest obliquity accepted (degrees).
inline constexpr double PC10LY = static_cast<double>(32.616f);
inline constexpr double SUNMAG = static_cast<double>(4.83f);
inline constexpr double MAGFAC = static_cast<double>(-0.4f);
inline constexpr double OBLMIN = static_cast<double>(0.1f);

// ---- Where the tables come from ---------------------------------------------

// The code of the rotation table (rotation.tab) beside the six.
inline constexpr std::int32_t ROTATION_TABLE = 7;

// The six tables and the rotation table: files in a directory (the working
// directory by default), any of them replaced by a text given in memory.
class TableSet {
 public:
  TableSet() = default;
  explicit TableSet(std::filesystem::path dir) : dir_(std::move(dir)) {}
  // Table `code` (1..6, or ROTATION_TABLE) is this text instead of its file.
  void set_text(std::int32_t code, std::string text);
  // The lines of table `code`, or nullptr with the system's reason in *why
  // (a code outside 1..7 names no table).
  std::unique_ptr<LineSource> open(std::int32_t code, std::string* why = nullptr) const;
  // The path of table `code`'s file.
  std::filesystem::path path(std::int32_t code) const;

 private:
  std::filesystem::path dir_;
  std::array<std::shared_ptr<const std::string>, 8> text_{};
};

// The environment variable that names the tables' directory.
inline constexpr std::string_view TABLES_VARIABLE = "KEST_TABLES";

// Whether dir holds the element tables: planelem.tab, which every listing
// starts from, is a file there.
bool holds_tables(const std::filesystem::path& dir);

// The installed tables as the running program finds them: the data
// directory at the place the installation puts it relative to the programs'
// directory (share/kest beside bin), from the directory of the program's own
// file (/proc/self/exe), so that an installation works wherever its prefix
// is moved; when that cannot be read or holds no tables, the data directory
// the build was configured to install to. For a program installed with the
// others; a face that lies elsewhere (a module in a Python's site-packages)
// finds its own.
std::filesystem::path installed_tables();

// The directory a face reads the tables from; the first of these wins:
// 1. given, a directory the user named (--tables DIR), when not empty;
// 2. the directory KEST_TABLES names, when it is set and not empty;
// 3. the working directory (".") when it holds the tables;
// 4. installed, when it is not empty and holds them: installed_tables() for
//    a program, a directory of its own for a face elsewhere.
// A directory named in 1 or 2 must hold the tables: nothing is returned
// then, with the reason in error ("no element tables in 'x' (planelem.tab is
// missing)", "KEST_TABLES names 'x', which holds no element tables
// (planelem.tab is missing)"), and none of the later places is tried. When
// neither 3 nor 4 holds them, error names both and, when given, how the
// face names a directory (option, "--tables DIR"), and the variable.
std::optional<std::filesystem::path> find_tables(std::string_view given, const std::filesystem::path& installed,
                                                 std::string& error, std::string_view option = {});

// ---- Element table reader (core) --------------------------------------------

// Working values of the reader, in table units (AU, degrees, days). The
// dialogue keeps them from one call to the next and hands them back in, so
// that a value a table line leaves out (an empty field) and the progress
// counter J reported by an early failure are those of the call before.
// Arrays are 0-based here: FFF[i-1] is FFF(i).
struct ReaderWork {
  std::int32_t J = 0;      // lines of the item read so far (progress counter)
  std::int32_t IGO = 0;    // file code being read
  std::int32_t ISKIP = 0;  // lines passed over to reach the item
  FixedText<5> BUF5;       // header line start, planet tag, exoplanet line 1
  // Working quantities common to all kinds.
  double DSJA = 0.0, DECC = 0.0, DCLIN = 0.0, DODE = 0.0, DARGP = 0.0;
  double DPERIOD = 0.0, DPRA = 0.0, DPDEC = 0.0, DANOM = 0.0;
  // Planet and spin-axis branch.
  std::array<double, 6> FFF{};
  std::array<double, 6> RRR{};
  std::array<double, 6> PLANET0{};  // a planet's elements at J2000.0, as read
  std::array<double, 6> PRATES{};   // their rates per Julian century
  double EMJD = 0.0, DMLON = 0.0, DLONP = 0.0;
  FixedText<12> PNAME;   // name searched for in the spin-axis table
  FixedText<12> TARGET;  // name of the spin-axis line read last
  std::int32_t LIN = 0;  // characters of PNAME compared
  // Minor, small, comet and exoplanet branches.
  double EPOCH = 0.0;
  std::array<double, 11> VVV{};
  double XX8 = 0.0, QP = 0.0, RDAY = 0.0;
  std::int32_t I = 0, IYEAR = 0, IMON = 0, IDAY = 0, N = 0;  // N: days from 2000 Jan 1
  Vec3 XX, P4, ZBAXX;
  double Q4 = 0.0, LAMBDA = 0.0, BETA = 0.0, SD = 0.0, CACD = 0.0, SACD = 0.0;
  double ALPHA = 0.0, R = 0.0, DELTA = 0.0;
};

// The results of a read, in the units the state record takes.
struct ElementSet {
  double ODE = 0.0, CLIN = 0.0, ARGP = 0.0;  // node, inclination, argument of perihelion, radians
  double ECC = 0.0;                          // eccentricity
  double PERIOD = 0.0;                       // orbital period, days
  double SJA = 0.0;                          // semi-major axis, AU
  double SIDAY = 0.0;                        // rotation period (hours for planets, days otherwise)
  double PRA = 0.0, PDEC = 0.0;              // right ascension and declination of the pole, radians
  double TJP = 0.0;                          // time of perihelion, days from J2000.0
  FixedText<25> TITLE;                       // the body's title (planet:satellite for a satellite's pole)
};

struct ElementRequest {
  std::int32_t table = 1;  // file code 1..6 (FNAME)
  std::int32_t item = 1;   // item number counted from 1; values below 2 mean the first
  double TCEN = 0.0;       // epoch, Julian centuries from J2000.0 (planet and spin axis)
  // Planet and spin-axis tables: the body whose pole is wanted, matched
  // against the start of the names below the planet's line; empty: the title.
  std::string satellite;
  ElementSet start;  // the results a failure leaves where they were
  ReaderWork work;   // the working values the read starts from
};

// What a dialogue around the reader shows and asks; both may be empty.
struct ReaderHooks {
  // A progress line, as a free-format line (leading blank, no line end).
  std::function<void(const std::string&)> echo;
  // The satellite name of a planet read, asked for once the spin-axis table
  // is framed; name holds the title and a kept name stays. Replaces the
  // request's satellite.
  std::function<void(FixedText<12>& name, std::string_view title)> satellite;
};

struct ElementOutcome {
  std::int32_t IERR = 0;  // 0, or the failure number 1..7 (MESS)
  ElementSet set;         // all results when IERR = 0; after a failure the start,
                          // with TITLE, TJP and SIDAY as far as they were read
  ReaderWork work;        // working values at the end
  std::string why;        // failure 1: the system's reason the table could not be opened
  bool ok() const { return IERR == 0; }
  // The file being read when the read ended, 12 characters.
  std::string_view file() const;
  // MESS(IERR), 25 characters.
  std::string_view reason() const;
};

// Read item `item` of table `table` and return its element set, or a
// failure with its number, the lines J of the item that were read, and the
// reason. Touches no unit and no global: the table comes through `tables`.
// A planet (table 1) reads its two lines, then its pole from the spin-axis
// table (2) for the same item number.
ElementOutcome read_element_set(const TableSet& tables, const ElementRequest& request,
                                const ReaderHooks& hooks = {});

// A body whose elements can be had at any epoch: read once, then evaluated
// with the reader's own arithmetic. Planets (and satellites, through their
// planet) move with the epoch, as their tables' rates say; the other kinds
// are fixed element sets.
class BodyModel {
 public:
  // The body of request (its TCEN is ignored), or nothing, with the
  // reader's failure in *failure.
  static std::optional<BodyModel> read(const TableSet& tables, const ElementRequest& request,
                                       ElementOutcome* failure = nullptr);
  // The element set at TCEN (Julian centuries from J2000.0), equal to what
  // read_element_set gives for that epoch.
  ElementSet at(double TCEN) const;
  // A fixed element set, as a table of kind `table` (3 to 6) would give
  // it: a body given by its elements.
  static BodyModel fixed(const ElementSet& e, std::int32_t table);
  // The same body with another pole (radians), for a fixed set.
  void set_pole(double PRA, double PDEC);
  bool moves() const { return table_ == 1 || table_ == 2; }
  std::int32_t table() const { return table_; }
  // The working values of the read (the epoch of an osculating element set,
  // an exoplanet's star).
  const ReaderWork& work() const { return work_; }

 private:
  // The working values of a planet or spin-axis line that at() evaluates.
  struct PlanetWork {
    std::array<double, 6> FFF{}, RRR{}, PLANET0{}, PRATES{};
    double EMJD = 0.0, DMLON = 0.0, DLONP = 0.0, DSJA = 0.0, DECC = 0.0, DCLIN = 0.0, DODE = 0.0, DARGP = 0.0;
    double DANOM = 0.0, DPERIOD = 0.0, DPRA = 0.0, DPDEC = 0.0;
  };
  std::int32_t table_ = 0;
  ReaderWork work_;
  ElementSet fixed_;
  PlanetWork moving_;
};

// The power of an exoplanet's star relative to the Sun's, from its visual
// magnitude VVV[0] and distance VVV[1] (light years), as the reader shows it.
double star_power(const ReaderWork& w);

// ---- Bodies the tables hold ---------------------------------------------------

struct BodyEntry {
  std::string name;               // the title, or the satellite's name in the spin-axis table
  std::int32_t table = 0;         // file code: 1, 3, 4, 5, 6; a satellite 2; 0 a given body
  std::int32_t item = 0;          // item number in its table (a satellite: its line)
  std::string planet;             // for a satellite, its planet's title
  std::int32_t planet_item = 0;   // for a satellite, its planet's item number
  // "planet", "satellite", "minor body", "small body", "comet", "exoplanet",
  // "given body"
  std::string_view kind() const;
  // The orbit the body moves on when it is not its own: "Jupiter's orbit"
  // for a satellite, "the Earth-Moon barycentre's orbit" for EM-Bary and
  // its satellites; "" for a body on its own orbit.
  std::string orbit() const;
  // The read that sets this body up: a satellite through its planet's item
  // with its own name, any other body by its table and item.
  ElementRequest request(double TCEN = 0.0) const;
};

// Every body of the six tables, table after table in item order. A table
// that is missing is passed over; one that cannot be framed is passed over
// from the line where it breaks. A spin-axis line below the planets' own
// lines is a satellite whose planet is named by the word before a colon
// that opens its comment ("Mars: ..."); a line without one is left out.
// Each table passed over, or cut short, is said in unread when it is given,
// one line each ("minor.tab: No such file or directory"), so that a face
// can tell its user which bodies are missing and why.
std::vector<BodyEntry> list_bodies(const TableSet& tables, std::vector<std::string>* unread = nullptr);

// A body by name: letter case ignored, and a unique start of a name enough
// (an exact name wins over longer names it starts). A satellite's entry
// is the same whether given as "Phobos" or "Mars:Phobos"; a name after
// "planet:", "satellite:", "minor:", "small:", "comet:" or "exoplanet:" is
// looked for in that table only ("minor:Ceres").
struct BodyMatch {
  std::optional<BodyEntry> body;      // the one body meant
  std::vector<BodyEntry> candidates;  // otherwise: the names that come closest
  // A name that several items of one body share (a body in two tables, or
  // at two epochs) gives the first of them in the listing; these are the
  // others.
  std::vector<BodyEntry> others;
};
BodyMatch find_body(const std::vector<BodyEntry>& bodies, std::string_view name);
// The name that finds only this body's item: "small:1 Ceres".
std::string qualified_name(const BodyEntry& b);
// What is said once when a name stood for one of several items of a body:
// which item it is, and the qualified names of the others; "" otherwise.
std::string body_choice_note(std::string_view name, const BodyMatch& m);
// A body as a message names it: "Europa (Jupiter)", "1 Ceres (minor body)".
std::string described(const BodyEntry& b);
// Why a name found no one body, for a message: "no body 'X' in the tables",
// or "'X' is not one body of the tables; did you mean A (kind), B (planet)?",
// with how to name the table when one name is in two.
std::string body_not_found(std::string_view name, const BodyMatch& m);

// ---- Frame geometry -----------------------------------------------------------

// The evaluated elements and pole a frame is derived from (radians).
struct FrameInput {
  double ODE = 0.0, CLIN = 0.0, ARGP = 0.0;  // orbit
  double ZBAA = 0.0, ZBAB = 0.0;             // pole declination and right ascension
  double OBL = OBL_J2000;                    // ecliptic to equator
  bool ecliptic = true;                      // false for exoplanets: orbit and pole share one frame
  double picon = PICON;                      // the program's pi, as the record holds it
};

// The body frame and everything on the way to it.
struct BodyFrame {
  Mat3 EFRM;          // orbit plane to ecliptic frame
  Mat3 AFRM;          // orbit plane to equatorial frame (EFRM for exoplanets)
  Vec3 ZFAXU;         // unit orbit normal, equatorial frame
  Vec3 ZBAXU;         // unit pole, equatorial frame
  Vec3 ZBFXU;         // unit pole, orbit-plane frame
  Vec3 QV;            // ZBFXU x ZUNIT before normalisation
  Vec3 XBFXU, YBFXU;  // body frame x and y axes, orbit-plane frame
  double normal_dot_pole = 0.0;  // ZFAXU . ZBAXU, not yet held within [-1, 1]
  double BLIP = 0.0;  // obliquity, radians, [0, pi]
  Mat3 BFRM;          // orbit-plane frame to body frame (rows XBFXU, YBFXU, ZBFXU)
  double TAV = 0.0;   // equinox angle, radians, [-pi, pi]
  bool pole_on_normal = false;  // equinox undefined: perihelion taken as x
};

// Orbit matrix, obliquity, body frame and equinox angle of a body.
// 1. A pole along the orbit normal (within 1e-6 radian) leaves the equinox
//    undefined: the perihelion direction serves as x and pole_on_normal is
//    set.
// 2. Rounding may carry the dot product of the two unit vectors just past
//    +-1; the obliquity is taken of the value held within [-1, 1].
BodyFrame body_frame(const FrameInput& in);

// A body set up as option 1 sets it up: the frame of an element set read
// from table `table`, and the orbit and frame the season geometry takes.
struct BodySetup {
  ElementSet elements;
  BodyFrame frame;
  SeasonOrbit orbit;
};
BodySetup set_up_body(const ElementSet& e, std::int32_t table);
// The same for a row of the faces, a planet or satellite at a date with its
// pole (ra, dec, degrees) from its rotation model: the orbit matrix in one
// step, the obliquity of the ecliptic's sine and cosine taken once, and
// nothing a row does not use (BLIP and normal_dot_pole are left 0). Equal to
// set_up_body's within rounding; a pole along the orbit normal is handed to
// it.
BodySetup row_setup(const ElementSet& e, double ra, double dec);

// ---- Seasons of a body at dates, and its events ------------------------------
// For the faces beside the dialogue (the season command, the Python
// module): a body from a listing entry, evaluated at each date or frozen.

struct SeasonBody {
  BodyEntry entry;
  BodyModel model;
  std::optional<double> epoch_tcen;  // frozen epoch (centuries), or evaluated at each date
  double power = 1.0;                // star's power relative to the Sun's
  bool mars = false;                 // Mars years are numbered
  double osculating_epoch = 0.0;     // days from J2000.0 where the elements osculate
  double osculating_span = 0.0;      // days around it where they are taken as good (0: no limit)
  std::optional<BodySetup> frozen;   // the set-up at the frozen epoch
  double mars_year1 = 0.0;           // Mars: the start of Mars year 1 (Ls = 0 near 1955 April 11)
  bool pole_on_normal = false;       // the pole lies along the orbit normal (at the epoch, or J2000.0)
  // A given body without a pole: its rows have no Ls, subsolar latitude or
  // longitude (NaN), and its events only the apsides.
  bool has_pole = true;
  // How the body turns: for a planet or satellite evaluated at each date,
  // its model in the rotation table, which gives the pole of each date too
  // (pole_from_spin); frozen, the spin-axis line's pole and its linear prime
  // meridian; any other body, its fixed pole and a meridian assumed at W = 0
  // at J2000.0, turning once in the rotation period (NaN when it has none).
  RotationModel spin;
  bool pole_from_spin = false;
  // The years the planet table's elements are fitted for (planets and
  // satellites; NaN when the table states none).
  double first_year = std::nan("");
  double last_year = std::nan("");
  // What is said once of the body's model whatever the dates: the
  // barycentre standing for the Earth, an assumed spin, a meridian assumed.
  std::vector<std::string> notes;
  // The accurate positions of the body, or of the planet a satellite goes
  // with (use_accurate_positions); nullptr, or a date outside their span:
  // the mean elements of the date.
  std::shared_ptr<const PositionSource> positions;
  std::string positions_of;  // the planet's name in the table
  // The Earth: Ls and subsolar latitude of the apparent Sun of date.
  bool apparent = false;
  // The orbital period at J2000.0, days, that counts Mars years on
  // accurate positions.
  double year_period = 0.0;
  // The Sun's and the planet's masses as GM, AU^3 a day^2, for the
  // osculating orbit of the positions.
  double gm = 0.0;
};

// What the faces say, once, of a body whose pole lies along its orbit
// normal, as the dialogue does at its set-up.
inline constexpr std::string_view POLE_ON_NORMAL_NOTE =
    "the pole lies along the orbit normal: the equinox is undefined, and the perihelion direction is taken as the "
    "body's x axis";

// The set-up of a body at a date: its frozen one, or its elements at that
// date (days from J2000.0).
BodySetup season_setup(const SeasonBody& body, double days);

// Elements a season geometry can use: every value finite, an eccentricity
// in [0, 1), a semi-major axis from MIN_SJA to MAX_SJA AU, a period above 0
// and a pole declination within 180 degrees. "" when they are, else what is
// wrong, naming the value and the body.
inline constexpr double MIN_SJA = 1e-6;
inline constexpr double MAX_SJA = 1e6;
std::string elements_fault(const ElementSet& e, std::string_view name);
// The same over the dates from first to last of a body evaluated at each
// date ("" for a frozen body or one whose elements do not move); the
// message names the date.
std::string season_span_fault(const SeasonBody& body, double first, double last, Calendar calendar = Calendar::kest);

// What went wrong setting a body up, in one line.
struct SeasonBodyError {
  std::string message;
};

// The body of a listing entry, frozen at `epoch_year` (a year such as 2024.5)
// when given. Refuses an open orbit.
std::optional<SeasonBody> make_season_body(const TableSet& tables, const BodyEntry& entry, std::optional<double> epoch_year,
                              SeasonBodyError& error);

// Puts a planet or satellite evaluated at each date on the accurate
// positions of its planet (planet_positions: a satellite takes its planet's,
// the Moon the Earth-Moon barycentre's, the Earth its own), and counts Mars
// years from them. A body frozen at an epoch, and one of any other kind,
// keeps its elements. With apparent, the Earth's Ls and subsolar latitude
// are those of the apparent Sun of date (apparent_sun); false, with the
// message, for apparent asked of any other body or of the Earth frozen or
// without its positions.
bool use_accurate_positions(SeasonBody& b, bool apparent, SeasonBodyError& error);
// The mean elements of a body as a position source: at each date the
// Kepler ellipse of its elements of the date (BodyModel::at), turned into
// the equator by the orbit matrix its frame takes; the velocity that of the
// ellipse. Over all dates.
class MeanElements final : public PositionSource {
 public:
  explicit MeanElements(BodyModel model) : model_(std::move(model)) {}
  bool state(double days, StateVector& out) const override;
  double first() const override { return -HUGE_VAL; }
  double last() const override { return HUGE_VAL; }
  std::string describe() const override { return "the mean elements of the tables"; }

 private:
  BodyModel model_;
};

// The start of Mars year 1 with the body's own model (positions or
// elements): its Ls = 0 nearest 1955 April 11.
double mars_year_start(const SeasonBody& b);

// The names of the season columns, one set for every face: the CSV header,
// the JSON keys, the text table's heading and the Python module's keys. The
// unit is the last part of each name.
namespace column {
inline constexpr std::string_view BODY = "body";
inline constexpr std::string_view DATE_TT = "date_tt";    // ISO 8601, TT
inline constexpr std::string_view DATE_UTC = "date_utc";  // ISO 8601, UTC
inline constexpr std::string_view EVENT = "event";        // perihelion, aphelion, Ls=90, ...
inline constexpr std::string_view DAYS = "days_j2000";    // days from J2000.0, TT
inline constexpr std::string_view DISTANCE = "distance_au";
inline constexpr std::string_view LS = "ls_deg";
inline constexpr std::string_view SUBSOLAR_LATITUDE = "subsolar_latitude_planetocentric_deg";
inline constexpr std::string_view SUBSOLAR_LONGITUDE = "subsolar_lon_deg";           // east
inline constexpr std::string_view SUBSOLAR_LONGITUDE_WEST = "subsolar_lon_west_deg";  // west
inline constexpr std::string_view TRUE_ANOMALY = "true_anomaly_deg";
inline constexpr std::string_view FLUX = "flux_w_m2";
inline constexpr std::string_view MARS_YEAR = "mars_year";
}  // namespace column

struct SeasonRow {
  double days = 0.0;          // days from J2000.0, TT
  double distance = 0.0;      // AU
  double ls = 0.0;            // degrees
  double sdec = 0.0;          // subsolar latitude, degrees, planetocentric
  double slon = 0.0;          // subsolar east longitude, degrees, planetocentric, [0, 360)
  double true_anomaly = 0.0;  // degrees, [0, 360)
  double flux = 0.0;          // W/m^2
  std::int32_t mars_year = 0; // 0 unless the body is Mars
};

// What the Sun at a place needs of a date beyond its row.
struct SolarDay {
  double sun_ra = 0.0;   // the Sun's right ascension along the body's equator from its equinox, degrees [0, 360)
  double mean_ra = 0.0;  // the mean Sun's: the mean anomaly plus the Ls of perihelion, degrees [0, 360)
  // The mean solar day, days: 360 / (W1 - n) with the prime meridian's rate
  // W1 and the orbit's mean motion n, degrees a day. Negative when the Sun
  // moves eastward across the sky; infinite when the spin is locked to the
  // orbit; NaN without a rotation period.
  double length = 0.0;
};

// The seasons of a body at a date; with day, also what the Sun at a place
// needs of the date.
SeasonRow season_row(const SeasonBody& body, double days, SolarDay* day = nullptr);

// The season row of a state vector: the body's heliocentric state sv at
// `days`, its orientation o there, through the osculating orbit plane.
// 1. The orbit normal is n = r x v, unit; the equinox x the unit of the
//    pole p crossed with n; the Sun seen from the body s = -r. Ls is the
//    angle from x to s about n, the subsolar latitude asin(p . s / |s|).
// 2. The true anomaly is that of the osculating ellipse, with the Sun's
//    and the planet's masses (mu); the mean Sun of day follows from its
//    mean anomaly, the solar day from its mean motion.
SeasonRow state_row(const SeasonBody& b, double days, const Orientation& o, const StateVector& sv, double mu,
                    SolarDay* day = nullptr);

// What the faces say once, each in one line, of a body's model over the
// dates from first to last (days from J2000.0): the notes of the body, then
// dates outside the years of the planet table, a frozen epoch more than
// FAR_EPOCH_YEARS from a date, and elements used far from where they
// osculate.
inline constexpr double FAR_EPOCH_YEARS = 50.0;
// Dates are written in the calendar given.
std::vector<std::string> season_notes(const SeasonBody& body, double first, double last,
                                      Calendar calendar = Calendar::kest);

// The solar constant at 1 AU, W/m^2.
inline constexpr double SOLAR_CONSTANT = 1361.0;

struct SeasonEvent {
  std::string what;  // "Ls=90", "perihelion", "aphelion"
  SeasonRow row;
};

// The instants in [from, to] when Ls passes each of ls_values, and the
// perihelia and aphelia, in time order, each found to 1e-6 day or better.
// 1. for_each_season_event hands each event to emit as soon as it is
//    certain, a few orbits behind the search, so that memory stays flat
//    however long the span; emit returns false to stop the search, and the
//    call then returns false.
// 2. A span whose first orbital period is not a positive finite number,
//    or whose ends are not finite or in order, holds no events; so does one
//    of more than 10^15 orbits.
// 3. season_event_bound is an upper bound of the events of a span, for a
//    guard against spans too long to search (infinite when the orbit at
//    `from` has no usable period).
bool for_each_season_event(const SeasonBody& body, double from, double to, const std::vector<double>& ls_values,
                           const std::function<bool(const SeasonEvent&)>& emit);
std::vector<SeasonEvent> find_season_events(const SeasonBody& body, double from, double to, const std::vector<double>& ls_values);
double season_event_bound(const SeasonBody& body, double from, double to, std::size_t angles);

// Shortest text that reads back to the same double ("0", "90", "1.5").
std::string number(double x);

// ---- Bodies given by their elements --------------------------------------------
// A body that no table holds: its orbit, pole and rotation as a user gives
// them (on the command line, from Python, from a file of bodies), set up by
// the same core as a table body. With the numbers of a minor-body item it
// has the item's seasons.

struct GivenBody {
  std::string name;
  // The orbit, degrees, referred to the J2000.0 ecliptic and equinox: the
  // semi-major axis a or the perihelion distance q (AU), the eccentricity,
  // inclination, longitude of the ascending node and argument of
  // perihelion; the time of perihelion tp, or the mean anomaly M at the
  // epoch (days from J2000.0, TT). NaN: not given.
  double a = std::nan(""), q = std::nan(""), e = std::nan(""), i = std::nan(""), node = std::nan(""),
         peri = std::nan(""), tp = std::nan(""), M = std::nan(""), epoch = std::nan("");
  // The north pole, degrees: right ascension and declination (ra, dec) of
  // the equator, or longitude and latitude (lon, lat) of the ecliptic, of
  // J2000.0, or of B1950.0 with b1950 (then precessed to J2000.0). None
  // given: the body has no pole, and no Ls or subsolar point.
  double ra = std::nan(""), dec = std::nan(""), lon = std::nan(""), lat = std::nan("");
  bool b1950 = false;
  double rotation_hours = std::nan("");  // sidereal rotation period; NaN: none
};

// Sets one key of a body from its text, as --elements, --pole and a file
// of bodies give it: a q e i node peri M (numbers), tp epoch (dates, as
// parse_date reads them), ra dec lon lat (degrees), frame (J2000 or
// B1950), rotation (a period, as parse_rotation_period reads it). Keys are
// taken in any letter case. false, with the message, for an unknown key or
// a value that does not read.
bool set_given_key(GivenBody& b, std::string_view key, std::string_view value, std::string& error);
// The keys of a list "key=value,key=value", each by set_given_key; a key
// given twice is refused.
bool set_given_keys(GivenBody& b, std::string_view list, std::string& error);
// A rotation period: a number and a unit, h (hours) or d (days), such as
// "4.196h" or "0.17d"; a bare number is hours. Above 0 and finite.
bool parse_rotation_period(std::string_view text, double& hours, std::string& error);
// What keeps the body from being set up, naming the key: a required key
// missing, a or q both or neither, tp and M both, M without epoch, a pole
// of one angle or of both frames, e outside [0, 1), a or q not above 0, an
// inclination outside 0 to 180, a value not finite. "" when it can be.
std::string given_body_fault(const GivenBody& b);
// The direction of a pole given in degrees as right ascension and
// declination of J2000.0 (degrees), from the ecliptic (or the B1950.0
// equator or ecliptic): the ecliptic turned into the equator by the
// obliquity the tables take (OBL_J2000), B1950.0 by the IAU 1976
// precession.
struct PoleDirection {
  double ra = 0.0, dec = 0.0;
};
PoleDirection j2000_pole(const GivenBody& b);
// The body of b, or nothing with the message.
std::optional<SeasonBody> make_season_body(const GivenBody& b, SeasonBodyError& error);

// ---- Files of bodies ---------------------------------------------------------------
// Bodies given in files, read one at a time so that a file of a million
// bodies takes no more memory than one: a CSV of bodies, a CSV of poles by
// name, and the orbit lines of the MPC's format (Orbit files, below).

// A CSV of bodies: a header row with a name column and columns named by the
// keys of set_given_key (period and rotation_period stand for rotation),
// then a body a row; an empty field leaves its key out.
class BodyTable {
 public:
  explicit BodyTable(LineSource& src) : csv_(src) {}
  // The next body into b; false at the end of the file, or with the
  // message ("line 7: ...") for a damaged file or row.
  bool next(GivenBody& b, std::string& error);
  // The line of the body given last.
  std::size_t line() const { return csv_.line_number(); }

 private:
  CsvReader csv_;
  bool started_ = false;
  std::size_t name_ = 0;
  std::vector<std::string> header_, fields_;
};

// The poles of a pole catalogue by body name: a CSV with a name column, the
// pole as lon and lat (or ra and dec, with frame), and the rotation period
// (rotation, period or rotation_period; hours unless a unit says days).
class PoleCatalogue {
 public:
  // Reads the catalogue; false with the message ("line 4: ...").
  bool read(LineSource& src, std::string& error);
  // A body without a pole takes the pole of its name, and a rotation period
  // where it has none: the name as given ("16 Psyche", "(16) Psyche"), its
  // number ("16") or the name after the number ("Psyche"), in any letter
  // case. false when the catalogue has no such name.
  bool apply(GivenBody& b) const;
  std::size_t size() const { return poles_.size(); }

 private:
  std::vector<std::pair<std::string, GivenBody>> poles_;  // by name, sorted
};

// ---- The state record of a body set up ---------------------------------------
// What option 1 stores in the state record for a body, as plain functions:
// kestig sets the dialogue's body up with set_up_record, and the faces beside
// the dialogue (the Python module) take the same record of a body of theirs
// from body_record, for the thermal model that reads the saved state.

// The record a set-up leaves, from the record before it, and the frame
// geometry on the way to it (for the dialogue's debug prints).
//   before  in  the record as it was
//   e       in  the body's element set at the epoch (read_element_set,
//               BodyModel::at)
//   source  in  the dialogue's source code 1..6 (1 for a planet or satellite)
//   item    in  the item number asked for (a satellite: its planet's)
//   TC      in  the epoch, Julian centuries after J2000.0
//   K       in  the debug flags
// Notes:
// 1. Sets PLANUM = item + 100 x source and KDEBUG = K, each in single
//    precision; TC for source 1 alone (the other sources ask no epoch);
//    ODE, CLIN, ARGP, ECC, SJA, ZBAA, ZBAB, TJP, SIDAY and OPERIOD from e;
//    OBL = OBL_J2000; BLIP, BFRM and TAV from body_frame. Everything else
//    (SFLAG, WDOT, W0, spar17, PBUG, positions 31-41, units and texts) is
//    carried over from before.
// 2. The frame is taken with before.PICON, the record's pi, and for source
//    6 (exoplanets) without the tilt of the ecliptic.
struct RecordSetup {
  KestCommon record;
  BodyFrame frame;
};
RecordSetup set_up_record(const KestCommon& before, const ElementSet& e, std::int32_t source, std::int32_t item,
                          double TC, std::int32_t K);

// The record of a body at the epoch TC (Julian centuries after J2000.0) as
// the dialogue saves it when option 1 has set the body up in a fresh run
// with no debug flags: set_up_record over the record the program starts
// with (set_start_defaults).
// 1. A body whose model moves (a planet, a satellite) is taken at TC, and
//    TC is stored. Any other kind has one element set and no epoch: TC
//    stays 0 whatever is given.
// 2. The source code is the model's table (a satellite's model is its
//    planet's, source 1), the item that of the entry's read (a satellite's
//    planet's item).
KestCommon body_record(const SeasonBody& b, double TC);

// ---- Element table reader (dialogue) ---------------------------------------

// Read item IPLAN (values below 2 mean the first) of table file IFILE (1..6)
// and return its elements, pole and rotation period.
//   IOP    in   unit for the summary; 0 means no summary
//   IOD    in   unit on which the table is opened, read and closed
//   IFILE  in   file code 1..6 (FNAME); any other code is failure 1
//   IPLAN  in   item number counted from 1
//   TCEN   in   epoch, Julian centuries from J2000.0 (planet and spin axis)
//   ODE, CLIN, ARGP   out  node, inclination, argument of perihelion, radians
//   ECC    out  eccentricity
//   PERIOD out  orbital period, days
//   SJA    out  semi-major axis, AU
//   SIDAY  out  rotation period (hours for planets, days for the others)
//   PRA, PDEC  out  right ascension and declination of the pole, radians
//   TJP    out  time of perihelion, days from J2000.0
//   TITLE  in/out  object title
// Notes:
// 1. Progress and failures are written to the terminal (unit 6); the
//    satellite name of a planet call is read from the keyboard (unit 5).
// 2. On failure three lines name the file, IERR and J; ODE, CLIN, ARGP, ECC,
//    PERIOD, SJA, PRA and PDEC keep their values, while TITLE, TJP and SIDAY
//    keep whatever the branch had stored before the failure.
// 3. IOD is closed on return in every case.
void kestel(std::int32_t IOP, std::int32_t IOD, std::int32_t IFILE, std::int32_t IPLAN,
            double TCEN, double& ODE, double& CLIN, double& ARGP, double& ECC, double& PERIOD,
            double& SJA, double& SIDAY, double& PRA, double& PDEC, double& TJP, FixedText<25>& TITLE);


// The failure number of the dialogue's last kestel call (0 after a success),
// the system's reason for a failure to open a table, and the working values
// it kept.
std::int32_t kestel_ierr();
std::string_view kestel_why();
const ReaderWork& kestel_kept();

// Bring the kept answers and working values of kestel and kestig back to
// their state at program start.
void reset_element_dialogue();

// ---- Orbit geometry setup -------------------------------------------------

// The orbit normal in the orbit-plane frame.
inline constexpr Vec3 ZUNIT = {{0.0, 0.0, 1.0}};

// Menu option 1: ask for source, item, epoch (planets) and debug flags on
// KESTCM.IOS / KESTCM.IOK, read the body with kestel into KESTCM and derive
// OPERIOD, OBL, PLANUM, KDEBUG, BLIP, BFRM and TAV (set_up_record).
//   TITLE  in/out  the driver's 25-character object title
// Notes:
// 1. End of keyboard input at any prompt returns without touching KESTCM
//    (except TC once its prompt is answered); a code of 0 or less quits; a
//    code above 6 is refused and the source prompt is asked again; so is an
//    item number below 1 at the item prompt.
// 2. After a reader failure the record, TITLE and the kept answers are
//    given back as they were when the call began, " Set-up failed: the
//    state is unchanged" is written to IOS (for a satellite name not found,
//    with the satellites the spin-axis table lists for the planet), and the
//    call returns false. Otherwise it returns true.
// 3. A pole along the orbit normal leaves the equinox undefined: a message
//    says so and the perihelion direction serves as the body frame's x axis.
// 4. An orbit with eccentricity 1 or more gets one message that no
//    ephemerides are available for it.
bool kestig(FixedText<25>& TITLE);

// ---- Orbit files --------------------------------------------------------------
// The one-line orbits of the Minor Planet Center's orbit file (MPCORB.DAT,
// and the files of its layout that hold a part of it): one minor planet a
// line in fixed columns, below an introduction that ends in a line of
// dashes. For the faces that take a body from an orbit file.

// One orbit of an orbit file: osculating elements at the epoch, referred to
// the ecliptic and equinox of J2000.0.
struct MpcOrbit {
  std::string name;         // the readable designation ("16 Psyche", "2007 TA418"), else `designation`
  std::string designation;  // columns 1-7 unpacked ("16", "2007 TA418"); see read_mpc_line note 5
  double epoch = 0.0;       // days from J2000.0, TT
  double M = 0.0;           // mean anomaly at the epoch, degrees
  double peri = 0.0;        // argument of perihelion, degrees
  double node = 0.0;        // longitude of the ascending node, degrees
  double i = 0.0;           // inclination, degrees
  double e = 0.0;           // eccentricity
  double a = 0.0;           // semi-major axis, AU
  double H = std::nan("");  // absolute magnitude; NaN when the line leaves it blank
  double G = std::nan("");  // slope parameter; NaN when the line leaves it blank
};

// What a line of an orbit file is: an orbit, a line to pass over, or an
// orbit line that cannot be read.
enum class MpcLine { orbit, skip, damaged };

// One line of an orbit file.
//   line   in   the line without its line end
//   out    out  the orbit; written only when the line is one
//   error  out  for a damaged line, what is wrong and in which columns
//               (the caller adds the file and the line number)
// Returns MpcLine::orbit, MpcLine::skip or MpcLine::damaged.
// Notes:
// 1. A line is an orbit line when it reaches column 25, column 1 is not
//    blank and column 8 is, columns 21-25 have the shape of a packed epoch
//    (a capital letter, two digits, two digits or letters) and column 26 is
//    blank or past the end. Every other line is skipped: the introduction,
//    its column heads ("Des'n     H     G   Epoch ..."), the line of dashes
//    and blank lines.
// 2. An orbit line is damaged when it ends before column 103 (cut short),
//    holds anything but blanks past column 202, has a field read that is
//    blank (H and G may be) or not a finite number (parse_decimal, blanks
//    around it allowed), has a field read that runs into a column beside it
//    that should be blank (the columns have moved), has an epoch that names
//    no date (unpack_epoch), or has a designation that cannot be read.
// 3. Columns read: designation 1-7, H 9-13, G 15-19, epoch 21-25, M 27-35,
//    peri 38-46, node 49-57, i 60-68, e 71-79, a 93-103 and the readable
//    designation 167-194. The mean daily motion (81-91) and the rest are
//    not read. Values are not checked for range: an eccentricity of 1 or
//    more or an axis not above 0 is the caller's to refuse.
// 4. The name is the readable designation with the parentheses of a
//    number dropped ("(16) Psyche" gives "16 Psyche"); a line without one
//    (or shorter than column 167) is named by its designation.
// 5. A designation of another packing than unpack_designation reads is
//    kept as it stands when the line has a readable designation; without
//    one the line is damaged.
MpcLine read_mpc_line(std::string_view line, MpcOrbit& out, std::string& error);
// The body of an orbit line: its a, e, i, node, peri and M at its epoch
// (the period follows from a; the line's mean motion is not used).
GivenBody given_body(const MpcOrbit& orbit);

// A packed designation unpacked, or nothing, with the reason in *why.
//   packed  in   up to 7 characters; trailing blanks are dropped
// Forms read:
// 1. Numbers of five characters: "00001" is 1, "A0345" 100345 and "z9999"
//    619999 (a first letter A-Z counts 10-35, a-z 36-61); "~" and four
//    base-62 digits (0-9, A-Z, a-z) count from 620000 ("~0000" is 620000).
// 2. Provisional designations: a century letter (I 1800, J 1900, K 2000),
//    the year's two digits, the half-month letter (A-Y but I), the cycle
//    count as a base-62 digit for its tens and a digit, and the second
//    letter (A-Z but I): "J95X00A" is "1995 XA", "K07Tf8A" "2007 TA418".
// 3. The Palomar-Leiden and Trojan survey designations: "PLS2040" is
//    "2040 P-L", "T1S3138" "3138 T-1" (T2S, T3S likewise).
std::optional<std::string> unpack_designation(std::string_view packed, std::string* why = nullptr);

// A packed date at 0h TT as days from J2000.0, or nothing, with the reason
// in *why.
//   packed  in   five characters: a century letter (I 1800, J 1900,
//                K 2000), the year's two digits, the month (1-9, A-C) and
//                the day (1-9, A-V): "K2555" is 2025 May 5.0
// 1. The date is of the Gregorian calendar; a day the month does not have
//    ("K252U", 2025 February 30) is refused.
std::optional<double> unpack_epoch(std::string_view packed, std::string* why = nullptr);

}  // namespace kest
