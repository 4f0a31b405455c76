// The extension kest._kest under the Python package kest: the bodies of the
// element tables, their seasons at numpy arrays of dates, their events, and
// the state files, on kest's core functions. The loops run in C++ with the
// GIL released. The package's own Python turns the date types of pandas and
// astropy into what this takes, and gives the results as DataFrames.

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "elements/kelements.hpp"
#include "math/kmath.hpp"
#include "surface/ksurface.hpp"
#include "time/ktime.hpp"
#include "state/kstate.hpp"

namespace py = pybind11;
namespace fs = std::filesystem;
using namespace kest;

namespace {

#ifndef KEST_DATADIR
#define KEST_DATADIR "/usr/local/share/kest"
#endif

// kest.ModelWarning: where the model is known to be off for the dates
// asked for (a subclass of UserWarning, made when the module is).
PyObject* model_warning_class = nullptr;
PyObject* model_warning() { return model_warning_class ? model_warning_class : PyExc_UserWarning; }

// Days from J2000.0 at 1970-01-01T00:00 (the zero of numpy's datetime64).
constexpr double UNIX_EPOCH_DAYS = -10957.5;

// Calendar dates in Python, texts among them, are proleptic Gregorian, as
// numpy, pandas, datetime and astropy count them: a text and a datetime64
// of the same date are the same instant at every date.
constexpr Calendar PY_CALENDAR = Calendar::proleptic_gregorian;

// The key of the date column: TT, or UTC.
std::string date_key(bool utc) { return std::string(utc ? column::DATE_UTC : column::DATE_TT); }
// The ISO text of an instant in Python's calendar, TT or UTC ("" where UTC
// does not exist).
std::string py_iso_date(double days, bool utc) { return utc ? iso_utc_date(days, 3) : iso_date(days, 3, PY_CALENDAR); }

// The tables installed with the package, as its Python finds them beside
// itself (_set_installed_tables); the configured ones until then.
std::string& installed_tables_dir() {
  static std::string dir = KEST_DATADIR;
  return dir;
}

// The tables: a directory given, else KEST_TABLES, else the working
// directory when they are there, else the installed ones (find_tables).
TableSet tables_of(const py::object& tables) {
  const std::string given =
      tables.is_none() ? std::string() : py::str(py::module_::import("os").attr("fspath")(tables)).cast<std::string>();
  if (!tables.is_none() && given.empty()) throw py::value_error("tables: an empty path names no directory");
  std::string error;
  const std::optional<fs::path> dir = find_tables(given, installed_tables_dir(), error, "tables=");
  if (!dir) {
    PyErr_SetString(PyExc_FileNotFoundError, error.c_str());
    throw py::error_already_set();
  }
  return TableSet(*dir);
}

// The bodies of the tables; each table that cannot be read, or is cut
// short, is said in a RuntimeWarning.
std::vector<BodyEntry> bodies_of(const TableSet& t) {
  std::vector<std::string> unread;
  std::vector<BodyEntry> bodies = list_bodies(t, &unread);
  for (const std::string& u : unread)
    if (PyErr_WarnEx(PyExc_RuntimeWarning, u.c_str(), 2) != 0) throw py::error_already_set();
  return bodies;
}

py::dict entry_dict(const BodyEntry& b) {
  const std::string_view fname = FNAME[static_cast<std::size_t>(b.table)];
  py::dict d;
  d["name"] = b.name;
  d["kind"] = std::string(b.kind());
  d["table"] = std::string(fname.substr(0, fname.find(' ')));
  d["item"] = b.item;
  d["planet"] = b.planet.empty() ? py::object(py::none()) : py::object(py::str(b.planet));
  d["orbit"] = b.orbit().empty() ? py::object(py::none()) : py::object(py::str(b.orbit()));
  return d;
}

// Days from J2000.0 of an array of datetime64, NaN for NaT. The years are
// checked first in whole years, which no datetime64 overflows, so that no
// date outside the span of dates wraps round in the finer unit.
// A number of days from J2000.0 checked against the span of dates.
double days_in_span(double d) {
  if (std::isfinite(d) && !in_date_span(d)) throw py::value_error(date_span_message("J2000" + std::string(d < 0 ? "" : "+") + number(d)));
  return d;
}

// Days from J2000.0 (TT) of an instant of UTC, given as microseconds from
// 1970-01-01T00:00 UTC; ValueError before 1960, when UTC did not exist.
double utc_micros_days(std::int64_t us, const std::string& shown) {
  constexpr std::int64_t DAY = 86400000000;
  const std::int64_t day = floor_div(us, DAY), in_day = us - day * DAY;
  std::int32_t month = 0, mday = 0, year = 0;
  caldat(static_cast<std::int32_t>(day + 2440588), month, mday, year);
  const auto hour = static_cast<std::int32_t>(in_day / 3600000000), minute = static_cast<std::int32_t>(in_day / 60000000 % 60);
  const double second = static_cast<double>(in_day % 60000000) / 1e6;
  std::string error;
  const auto t = utc_to_tt_days(year, month, mday, hour, minute, second, error);
  if (!t) throw py::value_error("date " + shown + " (UTC): " + error);
  return *t;
}

// Days from J2000.0 of an array of datetime64 (TT, or UTC when utc), NaN
// for NaT.
std::vector<double> datetime_days(const py::array& arr, bool utc = false) {
  const auto nat = std::numeric_limits<std::int64_t>::min();
  const auto years = arr.attr("astype")("datetime64[Y]").attr("astype")("int64").cast<py::array_t<std::int64_t, py::array::c_style | py::array::forcecast>>();
  const std::int64_t* y = years.data();
  for (py::ssize_t i = 0; i < years.size(); ++i) {
    // Years counted from 1970; the span is -4712 to 9999.
    if (y[i] != nat && (y[i] < FIRST_YEAR - 1970 || y[i] > LAST_YEAR - 1970))
      throw py::value_error(date_span_message(py::str(arr.attr("reshape")(-1)[py::int_(i)]).cast<std::string>()));
  }
  const auto us = arr.attr("astype")("datetime64[us]").attr("astype")("int64").cast<py::array_t<std::int64_t, py::array::c_style | py::array::forcecast>>();
  const std::int64_t* p = us.data();
  std::vector<double> out;
  out.reserve(static_cast<std::size_t>(us.size()));
  for (py::ssize_t i = 0; i < us.size(); ++i) {
    if (p[i] == nat) {
      out.push_back(std::nan(""));
    } else if (utc) {
      out.push_back(utc_micros_days(p[i], py::str(arr.attr("reshape")(-1)[py::int_(i)]).cast<std::string>()));
    } else {
      out.push_back(static_cast<double>(p[i]) / 8.64e10 + UNIX_EPOCH_DAYS);
    }
  }
  return out;
}

// A Python datetime or date (pandas Timestamp among them): one that knows
// its zone through UTC; a naive one TT, or UTC when utc. The calendar is the
// proleptic Gregorian one of Python and numpy, and a naive value equals the
// datetime64 of the same fields.
double datetime_object_days(const py::handle& h, bool utc) {
  const py::module_ dt = py::module_::import("datetime");
  py::object v = py::reinterpret_borrow<py::object>(h);
  if (!py::isinstance(h, dt.attr("datetime"))) v = dt.attr("datetime").attr("combine")(h, dt.attr("time")());
  const bool aware = !v.attr("utcoffset")().is_none();
  if (aware) v = v.attr("astimezone")(dt.attr("timezone").attr("utc"));
  // Microseconds from 1970-01-01T00:00 of the fields, as numpy counts them.
  const std::int64_t days = v.attr("toordinal")().cast<std::int64_t>() - 719163;
  const std::int64_t us = ((days * 24 + v.attr("hour").cast<std::int64_t>()) * 60 + v.attr("minute").cast<std::int64_t>()) * 60000000 +
                          v.attr("second").cast<std::int64_t>() * 1000000 + v.attr("microsecond").cast<std::int64_t>();
  if (aware || utc) return utc_micros_days(us, py::str(v).cast<std::string>());
  return days_in_span(static_cast<double>(us) / 8.64e10 + UNIX_EPOCH_DAYS);
}

// Whether a Python object is a real number: an int, a float or a numpy
// number, not a bool (True is no number of days or degrees) or a complex.
bool is_real_number(const py::handle& h) {
  const py::module_ np = py::module_::import("numpy");
  if (py::isinstance<py::bool_>(h) || py::isinstance(h, np.attr("bool_")) || py::isinstance(h, np.attr("complexfloating")))
    return false;
  return py::isinstance<py::float_>(h) || py::isinstance<py::int_>(h) || py::isinstance(h, np.attr("number"));
}

// A real number from Python (is_real_number), else TypeError.
double python_number(const py::handle& h, const char* what) {
  if (!is_real_number(h))
    throw py::type_error(std::string(what) + " must be a number, not " +
                         py::str(py::type::of(h).attr("__name__")).cast<std::string>());
  return h.cast<double>();
}

// A date: days from J2000.0 (a number), a text the command reads
// ("2026-12-09", "JD2461383.5", "J2000+9838.5", "2021-02-18T20:55Z"), a
// numpy datetime64 or a Python datetime or date; within the span of dates,
// and not NaN or NaT. utc: naive datetime64 and datetime values are UTC.
double date_of(const py::handle& h, bool utc = false) {
  if (py::isinstance<py::str>(h)) {
    std::string error;
    const auto d = parse_date(h.cast<std::string>(), error, PY_CALENDAR);
    if (!d) throw py::value_error(error);
    return *d;
  }
  const py::module_ np = py::module_::import("numpy");
  double d = 0.0;
  if (py::isinstance(h, np.attr("datetime64"))) {
    d = datetime_days(np.attr("asarray")(h), utc)[0];
  } else if (py::isinstance(h, py::module_::import("datetime").attr("date"))) {
    d = datetime_object_days(h, utc);
  } else if (is_real_number(h)) {
    d = days_in_span(h.cast<double>());
  } else {
    throw py::type_error("a date is days from J2000.0 (a number), a text such as '2026-12-09', a numpy datetime64 "
                         "or a datetime, not " + py::str(py::type::of(h).attr("__name__")).cast<std::string>());
  }
  if (!std::isfinite(d)) throw py::value_error("a date must be a finite number of days, or a date (not NaN or NaT)");
  return d;
}

// Dates as days from J2000.0, from an array of numbers or datetime64, or a
// sequence of texts.
std::vector<double> dates_of(const py::object& dates, bool utc = false) {
  // One text is one date, not a sequence of letters.
  if (py::isinstance<py::str>(dates)) return {date_of(dates, utc)};
  const py::module_ np = py::module_::import("numpy");
  py::array arr = np.attr("asarray")(dates);
  if (arr.ndim() > 1) throw py::value_error("dates must be one-dimensional");
  if (arr.ndim() == 0 && arr.dtype().kind() == 'O') return {date_of(dates, utc)};
  const char kind = arr.dtype().kind();
  std::vector<double> out;
  if (kind == 'M') return datetime_days(arr, utc);
  if (kind == 'f' || kind == 'i' || kind == 'u') {
    const auto f = arr.attr("astype")("float64").cast<py::array_t<double, py::array::c_style | py::array::forcecast>>();
    out.assign(f.data(), f.data() + f.size());
    // NaN and infinities are missing dates (rows of NaN); finite days lie
    // in the span of dates.
    for (double d : out) days_in_span(d);
    return out;
  }
  if (kind == 'U' || kind == 'O' || kind == 'S') {
    for (const py::handle h : py::iter(dates)) out.push_back(date_of(h, utc));
    return out;
  }
  throw py::type_error(std::string("dates of dtype ") + py::str(arr.dtype()).cast<std::string>() +
                       " cannot be read: give days from J2000.0, numpy datetime64 values or ISO texts");
}

// The key of a column as Python holds it.
py::str key(std::string_view name) { return {name.data(), name.size()}; }

// An event or a date of an Ls: the columns of a CSV row of events.
py::dict row_dict(const SeasonRow& r, bool mars, const std::string& what, bool utc) {
  py::dict d;
  d[key(date_key(utc))] = py_iso_date(r.days, utc);
  if (!what.empty()) d[key(column::EVENT)] = what;
  d[key(column::DAYS)] = r.days;
  d[key(column::DISTANCE)] = r.distance;
  d[key(column::LS)] = r.ls;
  d[key(column::SUBSOLAR_LATITUDE)] = r.sdec;
  d[key(column::SUBSOLAR_LONGITUDE)] = r.slon;
  d[key(column::TRUE_ANOMALY)] = r.true_anomaly;
  d[key(column::FLUX)] = r.flux;
  if (mars) d[key(column::MARS_YEAR)] = r.mars_year;
  return d;
}

// Microseconds from 1970-01-01T00:00 of instants, as numpy's datetime64[us]
// counts them (proleptic Gregorian), of TT or of UTC; NaT (the least int64)
// for NaN and where UTC does not exist.
py::array_t<std::int64_t> datetime64_us(const py::array_t<double, py::array::c_style | py::array::forcecast>& days, bool utc) {
  const auto n = days.size();
  py::array_t<std::int64_t> out(n);
  const double* d = days.data();
  std::int64_t* p = out.mutable_data();
  for (py::ssize_t i = 0; i < n; ++i) {
    double t = d[i];
    if (utc) t = has_utc(t) ? t - tt_minus_utc_seconds(t) / 86400.0 : std::nan("");
    p[i] = std::isfinite(t) && in_date_span(t) ? std::llround((t - UNIX_EPOCH_DAYS) * 8.64e10)
                                               : std::numeric_limits<std::int64_t>::min();
  }
  return out;
}

// Whether Python has a signal to handle (Ctrl-C: KeyboardInterrupt), asked
// with the GIL taken for the moment; the exception is then set.
bool interrupted() {
  const py::gil_scoped_acquire gil;
  return PyErr_CheckSignals() != 0;
}

// Runs span(lo, hi) over [0, n) in `parts` pieces, one on each of parts - 1
// worker threads and the first on this thread, which works in slices and
// looks for signals between them. A worker that cannot be started leaves
// its piece to this thread. Called with the GIL released; on a signal the
// workers are stopped and joined and error_already_set is thrown.
template <class Span>
void split_over_threads(py::ssize_t n, py::ssize_t parts, const Span& span) {
  constexpr py::ssize_t SLICE = 8192;
  std::atomic<bool> stop{false};
  const auto sliced = [&](py::ssize_t lo, py::ssize_t hi) {
    for (py::ssize_t a = lo; a < hi && !stop.load(std::memory_order_relaxed); a += SLICE) span(a, std::min(hi, a + SLICE));
  };
  std::vector<std::thread> workers;
  std::vector<std::pair<py::ssize_t, py::ssize_t>> mine{{0, n / parts}};
  for (py::ssize_t k = 1; k < parts; ++k) {
    const py::ssize_t lo = n * k / parts, hi = n * (k + 1) / parts;
    try {
      workers.emplace_back(sliced, lo, hi);
    } catch (const std::system_error&) {
      mine.emplace_back(lo, hi);
    }
  }
  bool signalled = false;
  auto last = std::chrono::steady_clock::now();
  for (const auto& [lo, hi] : mine) {
    for (py::ssize_t a = lo; a < hi && !signalled; a += SLICE) {
      span(a, std::min(hi, a + SLICE));
      const auto now = std::chrono::steady_clock::now();
      if (now - last > std::chrono::milliseconds(100)) {
        last = now;
        signalled = interrupted();
      }
    }
  }
  stop = signalled;
  for (std::thread& w : workers) w.join();
  if (signalled) {
    const py::gil_scoped_acquire gil;
    throw py::error_already_set();
  }
}

// Events of a span more than this are refused: each is a dict of Python's.
constexpr double MAX_EVENTS = 2e6;

// An epoch given as a year (2024.5), checked as the command checks --epoch;
// nothing for None.
std::optional<double> epoch_of(const py::object& epoch_year) {
  if (epoch_year.is_none()) return std::nullopt;
  const double year = python_number(epoch_year, "epoch");
  const std::string fault = epoch_year_fault(year, number(year));
  if (!fault.empty()) throw py::value_error(fault);
  return year;
}

// A state record as read_state gives it (below, with the state files).
py::dict state_dict(const StateValues& v);

class PyBody {
 public:
  PyBody(const std::string& name, const py::object& tables, const py::object& epoch_year, const py::object& ephemeris_name,
         bool apparent) {
    const TableSet t = tables_of(tables);
    const auto bodies = bodies_of(t);
    const BodyMatch m = find_body(bodies, name);
    if (!m.body) throw py::value_error(body_not_found(name, m));
    if (const std::string note = body_choice_note(name, m); !note.empty())
      if (PyErr_WarnEx(PyExc_UserWarning, note.c_str(), 2) != 0) throw py::error_already_set();
    const std::optional<double> epoch = epoch_of(epoch_year);
    SeasonBodyError error;
    // The accurate positions unless the elements are frozen or the mean
    // ones asked for, as kest-season takes them.
    Ephemeris ephemeris = Ephemeris::accurate;
    if (!ephemeris_name.is_none()) {
      if (!py::isinstance<py::str>(ephemeris_name))
        throw py::type_error("ephemeris is a name, 'accurate' or 'mean', not " +
                             py::str(py::type::of(ephemeris_name).attr("__name__")).cast<std::string>());
      const auto e = parse_ephemeris(ephemeris_name.cast<std::string>());
      if (!e) throw py::value_error(unknown_ephemeris(ephemeris_name.cast<std::string>()));
      if (epoch && *e == Ephemeris::accurate)
        throw py::value_error("epoch freezes the mean elements of one epoch: it cannot be given with ephemeris='accurate'");
      ephemeris = *e;
    }
    if (apparent && (epoch || ephemeris == Ephemeris::mean))
      throw py::value_error("apparent needs the Earth's accurate positions: it cannot be given with epoch or "
                            "ephemeris='mean'");
    auto b = make_season_body(t, *m.body, epoch, error);
    if (!b) throw py::value_error(error.message);
    if (ephemeris == Ephemeris::accurate && !use_accurate_positions(*b, apparent, error))
      throw py::value_error(error.message);
    take(std::move(*b));
  }

  // A body of one's own, from its elements (GivenBody).
  static PyBody from_elements(const std::string& name, const py::object& a, const py::object& q, const py::object& e,
                              const py::object& i, const py::object& node, const py::object& peri,
                              const py::object& tp, const py::object& M, const py::object& epoch,
                              const py::object& pole, const py::object& rotation_period) {
    GivenBody g;
    g.name = name;
    const auto value = [](const py::object& o, const char* key) {
      return o.is_none() ? std::nan("") : python_number(o, key);
    };
    g.a = value(a, "a");
    g.q = value(q, "q");
    g.e = value(e, "e");
    g.i = value(i, "i");
    g.node = value(node, "node");
    g.peri = value(peri, "peri");
    g.M = value(M, "M");
    if (!tp.is_none()) g.tp = date_of(tp);
    if (!epoch.is_none()) g.epoch = date_of(epoch);
    if (!pole.is_none()) {
      std::string why;
      if (py::isinstance(pole, py::module_::import("collections.abc").attr("Mapping"))) {
        for (const auto& [k, v] : py::dict(pole)) {
          const std::string key = py::str(k).cast<std::string>();
          const bool text = py::isinstance<py::str>(v);
          if (!text) python_number(v, ("the pole's " + key).c_str());
          if (!set_given_key(g, key, text ? v.cast<std::string>() : number(v.cast<double>()), why))
            throw py::value_error("pole: " + why);
          if (key != "ra" && key != "dec" && key != "lon" && key != "lat" && key != "frame")
            throw py::value_error("pole: the keys are ra and dec, or lon and lat, and frame; not '" + key + "'");
        }
      } else {
        const py::tuple t = py::tuple(pole);
        if (t.size() != 2) throw py::value_error("pole: give (ra, dec) degrees, or a dict of ra, dec or lon, lat, frame");
        g.ra = python_number(t[0], "the pole's ra");
        g.dec = python_number(t[1], "the pole's dec");
      }
    }
    if (py::isinstance<py::str>(rotation_period)) {
      std::string why;
      if (!parse_rotation_period(rotation_period.cast<std::string>(), g.rotation_hours, why)) throw py::value_error(why);
    } else {
      g.rotation_hours = value(rotation_period, "rotation_period");
    }
    SeasonBodyError error;
    auto b = make_season_body(g, error);
    if (!b) throw py::value_error(error.message);
    PyBody body;
    body.take(std::move(*b));
    return body;
  }

 private:
  PyBody() = default;
  void take(SeasonBody&& b) {
    body_ = std::move(b);
    if (body_.pole_on_normal) {
      const std::string note = quoted_text(body_.entry.name) + ": " + std::string(POLE_ON_NORMAL_NOTE);
      if (PyErr_WarnEx(PyExc_RuntimeWarning, note.c_str(), 2) != 0) throw py::error_already_set();
    }
    at_ = body_.frozen ? *body_.frozen : season_setup(body_, 0.0);
  }

 public:

  // Refuses dates where the body's elements give no orbit; warns, once
  // each, of the limits of the body's model over them.
  void span_checked(double first, double last) const {
    const std::string fault = season_span_fault(body_, first, last, PY_CALENDAR);
    if (!fault.empty()) throw py::value_error(fault);
    for (const std::string& note : season_notes(body_, first, last, PY_CALENDAR))
      if (PyErr_WarnEx(model_warning(), note.c_str(), 2) != 0) throw py::error_already_set();
  }

  std::string name() const { return body_.entry.name; }
  std::string kind() const { return std::string(body_.entry.kind()); }
  double obliquity() const { return body_.has_pole ? at_.frame.BLIP * R2D_VALUE : std::nan(""); }
  double rotation_period() const {
    // Hours: the planet table gives hours, the other tables days.
    return body_.model.table() == 1 || body_.model.table() == 2 ? at_.elements.SIDAY : at_.elements.SIDAY * 24.0;
  }
  double orbital_period() const { return at_.elements.PERIOD; }
  double semi_major_axis() const { return at_.elements.SJA; }
  double eccentricity() const { return at_.elements.ECC; }
  double perihelion() const { return at_.elements.TJP; }
  std::string perihelion_date() const { return iso_date(at_.elements.TJP, 3, PY_CALENDAR); }

  // The season arrays under the names the module gives them.
  static void season_columns(py::dict& out, const py::array& ls, const py::array& sdec, const py::array& slon,
                             const py::array& dist, const py::array& nu, const py::array& flux) {
    out[key(column::DISTANCE)] = dist;
    out[key(column::LS)] = ls;
    out[key(column::SUBSOLAR_LATITUDE)] = sdec;
    out[key(column::SUBSOLAR_LONGITUDE)] = slon;
    out[key(column::TRUE_ANOMALY)] = nu;
    out[key(column::FLUX)] = flux;
  }

  // The season columns of rows, each n long; a body's rows at dates go
  // into them from row `at` on.
  struct Columns {
    double *d, *ls, *sdec, *slon, *dist, *nu, *flux;
    std::int32_t* my;
  };
  void fill(const std::vector<double>& days, const Columns& c, py::ssize_t at, py::ssize_t lo, py::ssize_t hi) const {
    for (py::ssize_t i = lo; i < hi; ++i) {
      const double t = days[static_cast<std::size_t>(i)];
      SeasonRow r;
      if (std::isfinite(t)) {
        r = season_row(body_, t);
      } else {
        r.days = t;
        r.ls = r.sdec = r.slon = r.distance = r.true_anomaly = r.flux = std::nan("");
      }
      const py::ssize_t k = at + i;
      c.d[k] = r.days;
      c.ls[k] = r.ls;
      c.sdec[k] = r.sdec;
      c.slon[k] = r.slon;
      c.dist[k] = r.distance;
      c.nu[k] = r.true_anomaly;
      c.flux[k] = r.flux;
      c.my[k] = r.mars_year;
    }
  }

  // The state record option 1 sets the body up with: at the year given, else
  // at the body's frozen epoch, else at J2000.0.
  py::dict state(const py::object& epoch_year) const {
    const std::optional<double> year = epoch_of(epoch_year);
    if (!body_.has_pole)
      throw py::value_error(quoted_text(body_.entry.name) + " has no pole: its state record would have none to give");
    const double TC = year ? epoch_centuries(*year) : body_.epoch_tcen.value_or(0.0);
    if (body_.model.moves()) {
      const std::string fault = elements_fault(body_.model.at(TC), quoted_text(body_.entry.name));
      if (!fault.empty()) throw py::value_error("at the epoch " + number(2000.0 + 100.0 * TC) + ", " + fault);
    }
    return state_dict(saved_values(body_record(body_, TC)));
  }

  py::dict seasons(const py::object& dates, bool utc) const {
    const std::vector<double> days = dates_of(dates, utc);
    const auto n = static_cast<py::ssize_t>(days.size());
    span_of(days);
    py::array_t<double> d(n), ls(n), sdec(n), slon(n), dist(n), nu(n), flux(n);
    py::array_t<std::int32_t> my(n);
    {
      const Columns c{d.mutable_data(),    ls.mutable_data(), sdec.mutable_data(), slon.mutable_data(),
                      dist.mutable_data(), nu.mutable_data(), flux.mutable_data(), my.mutable_data()};
      py::gil_scoped_release release;
      // The dates split between the machine's cores; each row is a plain
      // function of its date.
      split_over_threads(n, n >= 20000 ? cores() : 1, [&](py::ssize_t lo, py::ssize_t hi) { fill(days, c, 0, lo, hi); });
    }
    py::dict out;
    out[key(column::DAYS)] = d;
    season_columns(out, ls, sdec, slon, dist, nu, flux);
    if (body_.mars) out[key(column::MARS_YEAR)] = my;
    return out;
  }

  py::list events(const py::object& start, const py::object& end, const py::object& angles, bool utc) const {
    std::vector<double> ls;
    for (const py::handle a : py::iter(angles)) ls.push_back(python_number(a, "a season angle"));
    const double from = date_of(start, utc), to = date_of(end, utc);
    if (from > to) throw py::value_error("the start lies after the end");
    for (double x : ls)
      if (!std::isfinite(x)) throw py::value_error("season angles must be finite");
    span_checked(from, to);
    if (!(season_event_bound(body_, from, to, ls.size()) <= MAX_EVENTS))
      throw py::value_error("the span holds too many events (more than 2 000 000 with " + std::to_string(ls.size()) +
                            " season angles); take a shorter span or fewer angles");
    std::vector<double> values;
    values.reserve(ls.size());
    for (double x : ls) values.push_back(std::fmod(std::fmod(x, 360.0) + 360.0, 360.0));
    std::vector<SeasonEvent> found;
    bool signalled = false;
    {
      py::gil_scoped_release release;
      // Signals are looked for about ten times a second.
      auto last = std::chrono::steady_clock::now();
      for_each_season_event(body_, from, to, values, [&](const SeasonEvent& e) {
        found.push_back(e);
        const auto now = std::chrono::steady_clock::now();
        if (now - last < std::chrono::milliseconds(100)) return true;
        last = now;
        signalled = interrupted();
        return !signalled;
      });
    }
    if (signalled) throw py::error_already_set();
    py::list out;
    for (const SeasonEvent& e : found) out.append(row_dict(e.row, body_.mars, e.what, utc));
    return out;
  }

  py::dict date_of_ls(const py::object& angle, const py::object& after, bool utc) const {
    const double ls = python_number(angle, "Ls");
    const double from = date_of(after, utc);
    if (!std::isfinite(ls)) throw py::value_error("Ls and the date must be finite");
    const double L = std::fmod(std::fmod(ls, 360.0) + 360.0, 360.0);
    const double period = body_.model.at(from / 36525.0).PERIOD;
    span_checked(from, from + 1.5 * period);
    std::vector<SeasonEvent> found;
    {
      py::gil_scoped_release release;
      found = find_season_events(body_, from, from + 1.5 * period, {L});
    }
    for (const SeasonEvent& e : found)
      if (e.what.rfind("Ls=", 0) == 0) return row_dict(e.row, body_.mars, e.what, utc);
    throw py::value_error("Ls " + number(ls) + " is not reached within an orbit after that date");
  }

  py::dict sun(const py::object& dates, const py::object& lat_o, const py::object& lon_o, bool west, bool utc,
               const py::object& landing_o) const {
    const double lat = python_number(lat_o, "lat");
    double lon = python_number(lon_o, "lon");
    if (!(lat >= -90.0 && lat <= 90.0)) throw py::value_error("lat must lie from -90 to 90 degrees");
    if (!std::isfinite(lon)) throw py::value_error("lon must be a finite number of degrees");
    if (west) lon = -lon;
    lon = std::fmod(std::fmod(lon, 360.0) + 360.0, 360.0);
    if (!std::isfinite(body_.spin.W1))
      throw py::value_error(quoted_text(body_.entry.name) + " has no rotation period in its table: it has no local times");
    std::optional<double> landing;
    if (!landing_o.is_none()) {
      if (!body_.mars) throw py::value_error("landing counts the sols of Mars; " + quoted_text(body_.entry.name) + " is not Mars");
      landing = date_of(landing_o, utc);
    }
    const std::vector<double> days = dates_of(dates, utc);
    span_of(days);
    const auto n = static_cast<py::ssize_t>(days.size());
    const std::string_view names[] = {column::LTST,          column::LMST,       column::SOLAR_ZENITH,
                                      column::SOLAR_ELEVATION, column::SOLAR_AZIMUTH, column::INSOLATION,
                                      column::SUNRISE,       column::SUNSET,     column::DAY_LENGTH,
                                      column::MSD,           column::MTC,        column::SOL};
    constexpr std::size_t COLUMNS = 12;
    std::vector<py::array_t<double>> cols;
    std::vector<double*> p;
    for (std::size_t k = 0; k < COLUMNS; ++k) {
      cols.emplace_back(n);
      p.push_back(cols.back().mutable_data());
    }
    std::vector<std::uint8_t> kinds(days.size());
    {
      py::gil_scoped_release release;
      const auto span = [&](py::ssize_t lo, py::ssize_t hi) {
        for (py::ssize_t i = lo; i < hi; ++i) {
          const double t = days[static_cast<std::size_t>(i)];
          double v[COLUMNS];
          std::fill(v, v + COLUMNS, std::nan(""));
          if (std::isfinite(t)) {
            SolarDay day;
            const SunAtPlace a = sun_at_place(season_row(body_, t, &day), day, lat, lon);
            const double x[] = {a.ltst, a.lmst, a.zenith, a.elevation, a.azimuth, a.insolation, a.sunrise, a.sunset, a.day_length};
            std::copy(x, x + 9, v);
            kinds[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(a.day.kind);
            if (body_.mars) {
              const MarsTime m = mars_time(t, lon);
              v[9] = m.msd;
              v[10] = m.mtc;
              if (landing) v[11] = mission_sol(t, *landing, lon);
            }
          }
          for (std::size_t k = 0; k < COLUMNS; ++k) p[k][i] = v[k];
        }
      };
      split_over_threads(n, n >= 20000 ? cores() : 1, span);
    }
    py::dict out;
    out[key(column::DAYS)] = py::array_t<double>(n, days.data());
    const std::size_t used = body_.mars ? (landing ? 12 : 11) : 9;
    for (std::size_t k = 0; k < used; ++k) out[key(names[k])] = cols[k];
    py::list day;
    for (const std::uint8_t k : kinds) day.append(std::string(day_kind_text(static_cast<DayKind>(k))));
    out[key(column::DAY)] = py::module_::import("numpy").attr("array")(day, "U11");
    return out;
  }

  py::dict insolation(const py::object& dates, const py::object& latitudes, bool utc) const {
    const std::vector<double> days = dates_of(dates, utc);
    span_of(days);
    std::vector<double> lats;
    for (const py::handle h : py::iter(latitudes)) {
      lats.push_back(python_number(h, "a latitude"));
      if (!(lats.back() >= -90.0 && lats.back() <= 90.0)) throw py::value_error("latitudes must lie from -90 to 90 degrees");
    }
    const auto n = static_cast<py::ssize_t>(days.size()), m = static_cast<py::ssize_t>(lats.size());
    if (static_cast<double>(n) * static_cast<double>(m) > 1e8) throw py::value_error("the grid would have more than 10^8 cells");
    py::array_t<double> q({n, m}), f({n, m}), h({n, m}), ls(n);
    {
      double *pq = q.mutable_data(), *pf = f.mutable_data(), *ph = h.mutable_data(), *pl = ls.mutable_data();
      py::gil_scoped_release release;
      const auto span = [&](py::ssize_t lo, py::ssize_t hi) {
        for (py::ssize_t i = lo; i < hi; ++i) {
          const double t = days[static_cast<std::size_t>(i)];
          SolarDay day;
          SeasonRow r;
          if (std::isfinite(t)) {
            r = season_row(body_, t, &day);
          } else {
            r.ls = r.sdec = r.flux = day.length = std::nan("");
          }
          pl[i] = r.ls;
          for (py::ssize_t j = 0; j < m; ++j) {
            const LatitudeDay d = day_at_latitude(r.flux, r.sdec, lats[static_cast<std::size_t>(j)]);
            const bool ok = std::isfinite(t);
            pq[i * m + j] = ok ? d.mean_insolation : std::nan("");
            pf[i * m + j] = ok ? d.fraction : std::nan("");
            ph[i * m + j] = ok ? day_length_hours(d, day.length) : std::nan("");
          }
        }
      };
      split_over_threads(n, n * m >= 200000 ? cores() : 1, span);
    }
    py::dict out;
    out[key(column::DAYS)] = py::array_t<double>(n, days.data());
    out[key(column::LS)] = ls;
    out[key(column::LATITUDE)] = py::array_t<double>(m, lats.data());
    out[key(column::INSOLATION)] = q;
    out[key(column::DAY_FRACTION)] = f;
    out[key(column::DAY_LENGTH)] = h;
    return out;
  }

  py::dict mars_time_of(const py::object& dates, const py::object& lon_o, bool west, bool utc) const {
    if (!body_.mars) throw py::value_error("Mars time is Mars's; " + quoted_text(body_.entry.name) + " is not Mars");
    double lon = python_number(lon_o, "lon");
    if (!std::isfinite(lon)) throw py::value_error("lon must be a finite number of degrees");
    if (west) lon = -lon;
    const std::vector<double> days = dates_of(dates, utc);
    const auto n = static_cast<py::ssize_t>(days.size());
    py::array_t<double> msd(n), mtc(n), lmst(n), ltst(n), eot(n);
    double *a = msd.mutable_data(), *b = mtc.mutable_data(), *c = lmst.mutable_data(), *d = ltst.mutable_data(),
           *e = eot.mutable_data();
    for (py::ssize_t i = 0; i < n; ++i) {
      const MarsTime t = mars_time(days[static_cast<std::size_t>(i)], lon);
      a[i] = t.msd, b[i] = t.mtc, c[i] = t.lmst, d[i] = t.ltst, e[i] = t.eot / 15.0;
    }
    py::dict out;
    out[key(column::DAYS)] = py::array_t<double>(n, days.data());
    out[key(column::MSD)] = msd;
    out[key(column::MTC)] = mtc;
    out[key(column::LMST)] = lmst;
    out[key(column::LTST)] = ltst;
    out[key(column::EQUATION_OF_TIME)] = eot;
    return out;
  }

  // The seasons of several bodies at the same dates: 2-D arrays, bodies x
  // dates. A body is a Body or a name of the tables.
  static py::dict seasons_of(const py::object& bodies, const py::object& dates, const py::object& tables,
                             const py::object& epoch, const py::object& ephemeris, bool apparent, bool utc) {
    if (py::isinstance<py::str>(bodies)) throw py::type_error("bodies must be a sequence of Body objects or names");
    std::vector<PyBody> held;
    for (const py::handle h : py::iter(bodies)) {
      if (py::isinstance<PyBody>(h)) continue;
      if (py::isinstance<py::str>(h)) {
        held.emplace_back(h.cast<std::string>(), tables, epoch, ephemeris, apparent);
      } else {
        throw py::type_error("a body is a kest.Body or a name, not " +
                             py::str(py::type::of(h).attr("__name__")).cast<std::string>());
      }
    }
    // Names were set up into held, which no longer grows.
    std::size_t named = 0;
    std::vector<const PyBody*> all;
    for (const py::handle h : py::iter(bodies))
      all.push_back(py::isinstance<PyBody>(h) ? h.cast<const PyBody*>() : &held[named++]);
    const std::vector<double> days = dates_of(dates, utc);
    for (const PyBody* b : all) b->span_of(days);
    const auto m = static_cast<py::ssize_t>(all.size()), n = static_cast<py::ssize_t>(days.size());
    const std::vector<py::ssize_t> shape = {m, n};
    py::array_t<double> d(n), ls(shape), sdec(shape), slon(shape), dist(shape), nu(shape), flux(shape);
    py::array_t<std::int32_t> my(shape);
    py::array_t<double> scratch(shape);
    bool mars = false;
    py::list names, is_mars;
    for (const PyBody* b : all) {
      names.append(b->body_.entry.name);
      is_mars.append(b->body_.mars);
      mars = mars || b->body_.mars;
    }
    {
      const Columns c{scratch.mutable_data(), ls.mutable_data(), sdec.mutable_data(), slon.mutable_data(),
                      dist.mutable_data(),    nu.mutable_data(), flux.mutable_data(), my.mutable_data()};
      py::gil_scoped_release release;
      // Rows split between the machine's cores, body by body.
      const py::ssize_t cells = m * n;
      split_over_threads(cells, cells >= 20000 ? cores() : 1, [&](py::ssize_t lo, py::ssize_t hi) {
        for (py::ssize_t k = lo / std::max<py::ssize_t>(n, 1); n > 0 && k * n < hi; ++k) {
          const py::ssize_t from = std::max(lo, k * n) - k * n, to = std::min(hi, (k + 1) * n) - k * n;
          all[static_cast<std::size_t>(k)]->fill(days, c, k * n, from, to);
        }
      });
      std::copy(days.begin(), days.end(), d.mutable_data());
    }
    py::dict out;
    out[key(column::BODY)] = names;
    out[key(column::DAYS)] = d;
    season_columns(out, ls, sdec, slon, dist, nu, flux);
    if (mars) out[key(column::MARS_YEAR)] = my;
    // Which rows are Mars's, whose Mars years are numbers (the others' 0).
    out["_mars"] = is_mars;
    return out;
  }

 private:
  // The machine's cores, for the loops of long calls.
  static py::ssize_t cores() { return static_cast<py::ssize_t>(std::max(1u, std::min(8u, std::thread::hardware_concurrency()))); }

  // The span of finite dates checked, and the model's limits over it said.
  void span_of(const std::vector<double>& days) const {
    double lo = HUGE_VAL, hi = -HUGE_VAL;
    for (double t : days)
      if (std::isfinite(t)) lo = std::min(lo, t), hi = std::max(hi, t);
    if (lo <= hi) span_checked(lo, hi);
  }

  SeasonBody body_{};
  BodySetup at_;
};

// ---- State files ----------------------------------------------------------------
// Read and written through kest's state-file layer (state/kstate.hpp), with
// the dialogue's open, lock, checks and rollback; the GIL is released while
// a file is opened, waited for, read or written.

// A path as Python gives it (str, bytes or os.PathLike): its bytes for the
// system, the object itself for OSError.filename, and a text for messages.
struct StatePath {
  std::string bytes;
  py::object given;
  std::string shown;
};

StatePath state_path(const py::object& path) {
  const py::module_ os = py::module_::import("os");
  StatePath p;
  p.given = os.attr("fspath")(path);
  p.bytes = os.attr("fsencode")(p.given).cast<std::string>();
  for (const char c : utf8_text(p.bytes)) p.shown += c == '\0' ? std::string("\\0") : std::string(1, c);
  return p;
}

// A failure of the layer as an exception naming the file: OSError (the
// subclass of its error number, FileNotFoundError for ENOENT) when the
// system refused, ValueError when the file or the request is at fault.
[[noreturn]] void state_error(const StateError& e, const StatePath& p) {
  if (e.err == 0) throw py::value_error(p.shown + ": " + e.why);
  const py::object exc = py::reinterpret_borrow<py::object>(PyExc_OSError)(e.err, e.why, p.given);
  PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(exc.ptr())), exc.ptr());
  throw py::error_already_set();
}

void check_record_number(const std::optional<int>& record) {
  if (record && (*record < 1 || *record > STATE_RECORDS)) throw py::value_error("record must be 1 to 15");
}

py::dict state_dict(const StateValues& v) {
  py::dict d;
  for (std::size_t k = 0; k < v.size(); ++k) d[py::str(std::string(STATE_FIELDS[k]))] = v[k];
  py::array_t<double> m({3, 3});
  auto w = m.mutable_unchecked<2>();
  // Element (i, j) of BFRM is position 21 + i + 3j (0-based i, j): column order.
  for (py::ssize_t i = 0; i < 3; ++i)
    for (py::ssize_t j = 0; j < 3; ++j) w(i, j) = v[static_cast<std::size_t>(21 + i + 3 * j)];
  d["BFRM"] = m;
  return d;
}

// A short text of a Python object for a message.
std::string shown_object(const py::handle& h) {
  const std::string r = py::repr(h).cast<std::string>();
  return r.size() > 60 ? r.substr(0, 57) + "..." : r;
}

// One value of a state: a real number (not a bool), finite.
double state_number(const py::handle& x, const std::string& field) {
  const py::object real = py::module_::import("numbers").attr("Real");
  if (PyBool_Check(x.ptr()) || !py::isinstance(x, real))
    throw py::value_error(field + " is not a number: " + shown_object(x));
  const double d = PyFloat_AsDouble(x.ptr());
  if (PyErr_Occurred()) {
    PyErr_Clear();
    throw py::value_error(field + " is not a finite number: " + shown_object(x));
  }
  if (!std::isfinite(d)) throw py::value_error(field + " is not a finite number");
  return d;
}

// The 30 values of a state dict (as read_state gives them): every field
// PLANUM ... PBUG, and BFRM as a 3 x 3 array and/or as BFRM:1 ... BFRM:9,
// which must agree when both are given; title and runtime may be there too.
StateValues state_values(const py::dict& state) {
  for (const auto& item : state) {
    const py::handle key = item.first;
    bool known = false;
    if (py::isinstance<py::str>(key)) {
      const std::string k = key.cast<std::string>();
      known = k == "BFRM" || k == "title" || k == "runtime";
      for (const std::string_view f : STATE_FIELDS) known = known || k == f;
    }
    if (!known)
      throw py::value_error("unknown key " + shown_object(key) +
                            " in the state (its keys: PLANUM ... PBUG, BFRM:1 ... BFRM:9 or BFRM, title, runtime)");
  }
  StateValues v{};
  bool given[30] = {};
  for (std::size_t k = 0; k < v.size(); ++k) {
    const std::string name(STATE_FIELDS[k]);
    if (!state.contains(name)) continue;
    v[k] = state_number(state[py::str(name)], name);
    given[k] = true;
  }
  if (state.contains("BFRM")) {
    const py::module_ np = py::module_::import("numpy");
    py::array a;
    try {
      a = np.attr("asarray")(state["BFRM"]);
    } catch (const py::error_already_set&) {
      throw py::value_error("BFRM must be a 3 x 3 array of numbers");
    }
    const char kind = a.dtype().kind();
    if (a.ndim() != 2 || a.shape(0) != 3 || a.shape(1) != 3 || (kind != 'f' && kind != 'i' && kind != 'u'))
      throw py::value_error("BFRM must be a 3 x 3 array of numbers");
    const auto m = a.attr("astype")("float64").cast<py::array_t<double, py::array::c_style | py::array::forcecast>>();
    const auto r = m.unchecked<2>();
    for (py::ssize_t i = 0; i < 3; ++i) {
      for (py::ssize_t j = 0; j < 3; ++j) {
        const auto k = static_cast<std::size_t>(21 + i + 3 * j);
        const std::string name(STATE_FIELDS[k]);
        if (!std::isfinite(r(i, j))) throw py::value_error("BFRM[" + std::to_string(i) + ", " + std::to_string(j) + "] (" + name + ") is not a finite number");
        if (given[k] && v[k] != r(i, j)) {
          std::string why = "BFRM and " + name + " disagree: BFRM[";
          why += std::to_string(i) + ", " + std::to_string(j) + "] is ";
          why += number(r(i, j));
          why += ", " + name + " is ";
          why += number(v[k]);
          throw py::value_error(why);
        }
        v[k] = r(i, j);
        given[k] = true;
      }
    }
  }
  for (std::size_t k = 0; k < v.size(); ++k) {
    if (given[k]) continue;
    const std::string name(STATE_FIELDS[k]);
    throw py::value_error("missing key '" + name + "'" + (k >= 21 ? " (or give BFRM, a 3 x 3 array)" : ""));
  }
  if (const std::string why = state_values_fault(v); !why.empty()) throw py::value_error(why);
  return v;
}

// A text of a text record's header: the argument, else the state's key of
// that name, else "". Printable ASCII only, at most `longest` characters.
std::string state_text(const py::object& arg, const py::dict& state, const char* name, std::size_t longest) {
  py::object t = arg;
  if (t.is_none() && state.contains(name)) t = state[name];
  if (t.is_none()) return {};
  if (!py::isinstance<py::str>(t)) throw py::value_error(std::string(name) + " is not a text: " + shown_object(t));
  std::string s;
  try {
    s = t.cast<std::string>();
  } catch (const std::exception&) {
    throw py::value_error(std::string(name) + " holds a character that is not ASCII");
  }
  if (const std::string why = portable_text_fault(s); !why.empty()) throw py::value_error(std::string(name) + " " + why);
  if (s.size() > longest)
    throw py::value_error(std::string(name) + " is longer than " + std::to_string(longest) + " characters");
  return s;
}

py::dict read_state(const py::object& path, std::optional<int> record) {
  const StatePath p = state_path(path);
  check_record_number(record);
  StateError e;
  std::optional<StateValues> values;
  std::optional<AsciiRecord> rec;
  {
    py::gil_scoped_release release;
    StateFile f = open_state_file(p.bytes, record ? StateKind::binary : StateKind::text, StateUse::restore, false, e);
    if (f.is_open()) {
      if (record) {
        values = read_binary_state(f, *record, e);
      } else {
        rec = read_text_state(f, e);
      }
    }
  }
  if (record) {
    if (!values) {
      // A record the file holds only part of.
      if (e.err == 0 && e.why.rfind("the file ends inside", 0) == 0)
        throw py::value_error(p.shown + ": record " + std::to_string(*record) + " is cut short (" + e.why + ")");
      state_error(e, p);
    }
    return state_dict(*values);
  }
  if (!rec) state_error(e, p);
  py::dict d = state_dict(rec->values);
  d["title"] = utf8_text(rec->title.view());
  d["runtime"] = utf8_text(rec->runtime.view());
  return d;
}

void write_state(const py::object& path, const py::object& state, std::optional<int> record, const py::object& title,
                 const py::object& runtime) {
  const StatePath p = state_path(path);
  check_record_number(record);
  if (!py::isinstance(state, py::module_::import("collections.abc").attr("Mapping")))
    throw py::type_error("state must be a dict of the 30 fields, such as read_state returns");
  const py::dict d(state);
  const StateValues v = state_values(d);
  std::string head_title, stamp;
  if (!record) {
    head_title = state_text(title, d, "title", 25);
    while (!head_title.empty() && head_title.back() == ' ') head_title.pop_back();
    stamp = state_text(runtime, d, "runtime", 20);
    stamp.resize(20, ' ');
  }
  StateError e;
  bool ok = false;
  {
    py::gil_scoped_release release;
    StateFile f = open_state_file(p.bytes, record ? StateKind::binary : StateKind::text, StateUse::save, true, e);
    if (f.is_open())
      ok = record ? write_binary_state(f, *record, v, e) : append_text_state(f, v, "KEST:2014jun10", stamp, head_title, e);
  }
  if (!ok) state_error(e, p);
}

}  // namespace

PYBIND11_MODULE(_kest, m) {
  m.doc() =
      "kest: the orbital and seasonal geometry of planets, satellites, asteroids, small bodies, comets and "
      "exoplanets from kest's element tables, and kest's state files.";
  model_warning_class = PyErr_NewExceptionWithDoc(
      "kest.ModelWarning",
      "Where kest's model is known to be off for the dates asked for: dates outside the years a planet's mean "
      "elements are fitted for, the Earth-Moon barycentre standing for the Earth, an assumed spin or prime "
      "meridian, a frozen epoch far from the dates, elements far from their osculation epoch.",
      PyExc_UserWarning, nullptr);
  if (!model_warning_class) throw py::error_already_set();
  m.attr("ModelWarning") = py::handle(model_warning_class);
  m.def(
      "_days", [](const py::object& dates, bool utc) { const auto d = dates_of(dates, utc); return py::array_t<double>(static_cast<py::ssize_t>(d.size()), d.data()); },
      py::arg("dates"), py::arg("utc") = false, "Dates as days from J2000.0 (TT), NaN where missing.");
  m.def(
      "_day", [](const py::object& date, bool utc) { return date_of(date, utc); }, py::arg("date"), py::arg("utc") = false,
      "One date as days from J2000.0 (TT).");
  m.def(
      "_iso_dates", [](const py::array_t<double, py::array::c_style | py::array::forcecast>& days) {
        py::list out;
        for (py::ssize_t i = 0; i < days.size(); ++i) out.append(py_iso_date(days.data()[i], false));
        return out;
      },
      py::arg("days"), "ISO texts (TT, to the millisecond) of days from J2000.0.");
  m.def(
      "_set_installed_tables", [](const std::string& dir) { installed_tables_dir() = dir; }, py::arg("dir"),
      "Where the tables installed with the package lie.");
  m.def("_datetime64_us", &datetime64_us, py::arg("days"), py::arg("utc") = false,
        "Microseconds from 1970 of instants, TT or UTC, as int64; NaT where there is none.");
  m.def(
      "bodies", [](const py::object& tables) {
        py::list out;
        for (const BodyEntry& b : bodies_of(tables_of(tables))) out.append(entry_dict(b));
        return out;
      },
      py::arg("tables") = py::none(),
      "Every body of the tables: name, kind, table, item, for a satellite its planet, and orbit: the orbit the "
      "body moves on when it is not its own (\"Jupiter's orbit\", \"the Earth-Moon barycentre's orbit\"), else None.");
  py::class_<PyBody>(m, "Body", "A body of the tables, by name (letter case ignored, a unique start enough).")
      .def(py::init<const std::string&, const py::object&, const py::object&, const py::object&, bool>(), py::arg("name"),
           py::arg("tables") = py::none(), py::arg("epoch") = py::none(), py::kw_only(),
           py::arg("ephemeris") = py::none(), py::arg("apparent") = false,
           "epoch: a year (2024.5) to freeze a planet's or satellite's elements and pole at, as the dialogue "
           "does; by default they are evaluated at each date.")
      .def_static("from_elements", &PyBody::from_elements, py::arg("name"), py::kw_only(), py::arg("a") = py::none(),
                  py::arg("q") = py::none(), py::arg("e") = py::none(), py::arg("i") = py::none(),
                  py::arg("node") = py::none(), py::arg("peri") = py::none(), py::arg("tp") = py::none(),
                  py::arg("M") = py::none(), py::arg("epoch") = py::none(), py::arg("pole") = py::none(),
                  py::arg("rotation_period") = py::none(),
                  "A body of one's own from its orbital elements, set up as a minor body of the tables is.\n\n"
                  "a (AU) or q (perihelion distance, AU); e; i, node, peri (degrees, J2000.0 ecliptic and equinox); "
                  "tp (time of perihelion) or M (mean anomaly, degrees) at epoch, dates as seasons takes them. "
                  "pole: (ra, dec) of the J2000.0 equator in degrees, or a dict of ra and dec, or lon and lat of the "
                  "J2000.0 ecliptic, with frame='B1950' for B1950.0; without a pole, Ls and the subsolar point are "
                  "NaN. rotation_period: the sidereal period in hours, or a text such as '4.196h' or '0.17d'.\n\n"
                  "Example: kest.Body.from_elements('16 Psyche', a=2.924, e=0.134, i=3.10, node=150.0, peri=229.6, "
                  "tp='2020-06-23', pole={'lon': 32, 'lat': -7}, rotation_period=4.196)")
      .def_property_readonly("name", &PyBody::name)
      .def_property_readonly("kind", &PyBody::kind)
      .def_property_readonly("obliquity", &PyBody::obliquity, "degrees (at the epoch, or J2000.0)")
      .def_property_readonly("rotation_period", &PyBody::rotation_period, "hours")
      .def_property_readonly("orbital_period", &PyBody::orbital_period, "days")
      .def_property_readonly("semi_major_axis", &PyBody::semi_major_axis, "AU")
      .def_property_readonly("eccentricity", &PyBody::eccentricity)
      .def_property_readonly("perihelion", &PyBody::perihelion, "time of perihelion, days from J2000.0 (TT)")
      .def_property_readonly("perihelion_date", &PyBody::perihelion_date, "time of perihelion, ISO 8601 (TT)")
      .def("seasons", &PyBody::seasons, py::arg("dates"), py::kw_only(), py::arg("utc") = false,
           "Seasons at dates (days from J2000.0, numpy datetime64, datetime, date or ISO texts): a dict of numpy arrays "
           "days, ls, "
           "subsolar_latitude (planetocentric), subsolar_lon_deg (planetocentric east longitude of the subsolar point, "
           "0 to 360, from the body's IAU prime meridian), distance (AU), true_anomaly, flux (W/m2), and mars_year for "
           "Mars. Where the model is known to be off for these dates, each limit is said once in a kest.ModelWarning.\n\n"
           "Dates are TT unless they say otherwise: a datetime or pandas Timestamp that knows its time zone is turned "
           "into UTC, then into TT with the leap seconds of ERFA; a text ending in Z, ' UTC' or an offset is UTC. "
           "Naive datetime, date and datetime64 values are TT, or UTC with utc=True (UTC begins in 1960: earlier UTC "
           "dates raise ValueError). datetime and datetime64 values count the proleptic Gregorian calendar.")
      .def("events", &PyBody::events, py::arg("start"), py::arg("end"),
           py::arg("ls") = py::make_tuple(0.0, 90.0, 180.0, 270.0), py::kw_only(), py::arg("utc") = false,
           "The instants when Ls passes the given angles, and the perihelia and aphelia, in time order.")
      .def("sun", &PyBody::sun, py::arg("dates"), py::arg("lat"), py::arg("lon"), py::kw_only(), py::arg("west") = false,
           py::arg("utc") = false, py::arg("landing") = py::none(),
           "The Sun at a place (planetocentric latitude, east longitude in degrees; west with west=True) at dates, as "
           "kest-season sun gives it: a dict of arrays days, ltst and lmst (hours of the body's own 24 to its solar "
           "day), solar_zenith_deg, solar_elevation_deg, solar_azimuth_deg (from north through east), "
           "insolation_w_m2 (level ground, top of the atmosphere), sunrise_ltst and sunset_ltst (hours; NaN in polar "
           "day or night), day_length_h (hours of time), day (\"polar day\", \"polar night\" or \"\"), and for Mars "
           "msd and mtc (hours), and sol from a landing date. The body is a sphere; the Sun is taken at its centre, "
           "without refraction.")
      .def("insolation", &PyBody::insolation, py::arg("dates"), py::arg("latitudes"), py::kw_only(), py::arg("utc") = false,
           "The diurnal-mean insolation over dates and latitudes: a dict of days, ls_deg, latitude_deg and the 2-D "
           "arrays (dates x latitudes) insolation_w_m2, day_fraction and day_length_h.")
      .def("mars_time", &PyBody::mars_time_of, py::arg("dates"), py::arg("lon"), py::kw_only(), py::arg("west") = false,
           py::arg("utc") = false,
           "Mars time of the Allison-McEwen (Mars24) algorithm at dates and an east longitude (west with west=True): "
           "a dict of days, msd (Mars Sol Date), mtc, lmst, ltst (hours) and eot_h (LTST - LMST, hours).")
      .def("date_of_ls", &PyBody::date_of_ls, py::arg("ls"), py::arg("after"), py::kw_only(), py::arg("utc") = false,
           "The first instant after a date when Ls passes the given angle.")
      .def("state", &PyBody::state, py::arg("epoch") = py::none(),
           "The state record of the body, the orbital input of the surface thermal model: the record the dialogue "
           "builds when its option 1 sets the body up (with no debug flags, first thing in a run) and its option 2 "
           "saves, equal to it to the bit. A dict with the keys read_state gives for a binary record: the 30 "
           "fields PLANUM ... PBUG, BFRM:1 ... BFRM:9, and BFRM as a 3 x 3 array; write_state(path, "
           "body.state(), record=N) writes the record the dialogue would, and write_state(path, body.state(), "
           "title=...) its text record.\n\n"
           "Angles are radians (the node ODE, inclination CLIN and argument of perihelion ARGP in the ecliptic "
           "and equinox of J2000.0, an exoplanet's in its own frame; the pole's declination ZBAA and right "
           "ascension ZBAB; the obliquities OBL of the ecliptic and BLIP of the body; the equinox angle TAV), SJA "
           "is AU, OPERIOD days, TJP days from J2000.0 (TT), SIDAY the rotation period in hours for a planet or "
           "satellite and in days otherwise, PLANUM the item number plus 100 times the table's source code (1 "
           "for planets and satellites, 3 minor bodies, 4 small bodies, 5 comets, 6 exoplanets), TC the epoch in "
           "Julian centuries after J2000.0. BFRM turns the orbit-plane frame into the body frame. SFLAG, WDOT, W0, "
           "spar17, KDEBUG and PBUG are 0.\n\n"
           "epoch: a year (2024.5) at which a planet's or satellite's elements and pole are taken (TC = 0.245, "
           "as the dialogue's epoch prompt takes it); None takes the epoch the Body was frozen at, else J2000.0 "
           "(TC = 0, the dialogue's default). Other kinds have one element set and no epoch prompt: their "
           "epoch is checked and not used, and TC is 0. Raises ValueError for a year outside 1000 to 3000, or "
           "when the elements give no elliptic orbit at the epoch.");
  m.def("seasons", &PyBody::seasons_of, py::arg("bodies"), py::arg("dates"), py::kw_only(),
        py::arg("tables") = py::none(), py::arg("epoch") = py::none(), py::arg("ephemeris") = py::none(),
        py::arg("apparent") = false, py::arg("utc") = false,
        "The seasons of several bodies (kest.Body objects, or names of the tables, set up with tables and epoch) "
        "at the same dates: body (the names), days, and 2-D arrays (bodies x dates) ls, subsolar_latitude, "
        "subsolar_lon_deg, distance, true_anomaly, flux, as Body.seasons gives them, and mars_year when one of the "
        "bodies is Mars (0 in the rows of the others).");
  m.def("read_state", &read_state, py::arg("path"), py::arg("record") = py::none(),
        "A state record: record N (1 to 15) of a binary state file such as KESTCM.DAT, or the first record of a "
        "text state file. Returns a dict of the 30 fields PLANUM ... PBUG, BFRM:1 ... BFRM:9 (KDEBUG is the one "
        "the listing shows as the second BLIP), BFRM as a 3 x 3 array, and for a text record title (the 9 "
        "characters a restore takes) and runtime (20 characters).\n\n"
        "A title or run stamp written by another program is made valid UTF-8: a character cut off at the end "
        "of the 9 characters is dropped, any other byte that is not UTF-8 becomes U+FFFD.\n\n"
        "The file is read under the dialogue's lock. A symbolic link, a directory or another file that is not a "
        "regular file is refused, and so is a file that holds binary records when no record is given. "
        "Raises OSError (FileNotFoundError, ...) when the system refuses the file, ValueError when the file "
        "holds no such record.");
  m.def("write_state", &write_state, py::arg("path"), py::arg("state"), py::arg("record") = py::none(),
        py::arg("title") = py::none(), py::arg("runtime") = py::none(),
        "Writes record N (1 to 15) of a binary state file, or appends a text record, as the dialogue saves "
        "them; write_state(p, read_state(q)) copies a state.\n\n"
        "state: a dict with every field PLANUM ... PBUG and BFRM as a 3 x 3 array and/or BFRM:1 ... BFRM:9 "
        "(equal when both are given); title and runtime keys are used when the arguments are None. Before "
        "anything is written the state is checked, and ValueError names the field at fault: an unknown or "
        "missing key; a value that is not a finite number; ECC outside [0, 1); SJA or OPERIOD not above 0; an "
        "angle outside its range in radians (ODE, ARGP, ZBAB, TAV in [-2 pi, 2 pi]; OBL, BLIP, CLIN, ZBAA in "
        "[-pi, pi], since the planet table's rates carry an inclination below 0 and a pole's declination past "
        "pi/2; each to 1e-6 for seven-digit values); BFRM not a rotation (to "
        "1e-9, or to 1e-5 when its values have seven digits, as a text record holds them).\n\n"
        "title (at most 25 characters, trailing blanks dropped) and runtime (at most 20, padded with blanks) "
        "must be printable ASCII: a line end, a zero byte, another control character or a character that is "
        "not ASCII is refused with ValueError.\n\n"
        "The file is written under the dialogue's lock. A symbolic link is refused (OSError, nothing is "
        "created), as is a file that is not a regular file; a text record is not appended to a file that holds "
        "binary records or to one named KESTCM.DAT, nor a binary record written into a file that holds text "
        "(its first 60 bytes decide). A write that fails (a full disk) takes back what it added and raises "
        "OSError.");
}
