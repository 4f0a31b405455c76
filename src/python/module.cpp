// The Python module kest: the bodies of the element tables, their seasons
// at numpy arrays of dates, their events, and the state files, on kest's
// core functions. The loops run in C++ with the GIL released.

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "elements/kelements.hpp"
#include "math/kmath.hpp"
#include "time/ktime.hpp"
#include "state/kstate.hpp"

namespace py = pybind11;
namespace fs = std::filesystem;
using namespace kest;

namespace {

#ifndef KEST_DATADIR
#define KEST_DATADIR "/usr/local/share/kest"
#endif

// Days from J2000.0 at 1970-01-01T00:00 (the zero of numpy's datetime64).
constexpr double UNIX_EPOCH_DAYS = -10957.5;

// The tables: a directory given, else the working directory when they are
// there, else the installed ones.
TableSet tables_of(const py::object& tables) {
  const auto has_tables = [](const fs::path& d) {
    std::error_code ec;
    return fs::is_regular_file(d / "planelem.tab", ec);
  };
  fs::path dir;
  if (!tables.is_none()) {
    dir = fs::path(py::str(py::module_::import("os").attr("fspath")(tables)).cast<std::string>());
  } else if (has_tables(".")) {
    dir = ".";
  } else {
    dir = KEST_DATADIR;
  }
  if (!has_tables(dir)) {
    PyErr_SetString(PyExc_FileNotFoundError, ("no element tables in " + dir.string() + " (planelem.tab is missing)").c_str());
    throw py::error_already_set();
  }
  return TableSet(dir);
}

py::dict entry_dict(const BodyEntry& b) {
  const std::string_view fname = FNAME[static_cast<std::size_t>(b.table)];
  py::dict d;
  d["name"] = b.name;
  d["kind"] = std::string(b.kind());
  d["table"] = std::string(fname.substr(0, fname.find(' ')));
  d["item"] = b.item;
  d["planet"] = b.planet.empty() ? py::object(py::none()) : py::object(py::str(b.planet));
  return d;
}

// A date: days from J2000.0 (a number), a text the command reads
// ("2026-12-09", "JD2461383.5", "J2000+9838.5") or a numpy datetime64.
double date_of(const py::handle& h) {
  if (py::isinstance<py::str>(h)) {
    std::string error;
    const auto d = parse_date(h.cast<std::string>(), error);
    if (!d) throw py::value_error(error);
    return *d;
  }
  const py::module_ np = py::module_::import("numpy");
  if (py::isinstance(h, np.attr("datetime64"))) {
    const auto us = py::cast<std::int64_t>(h.attr("astype")("datetime64[us]").attr("astype")("int64"));
    return static_cast<double>(us) / 8.64e10 + UNIX_EPOCH_DAYS;
  }
  if (py::isinstance<py::float_>(h) || py::isinstance<py::int_>(h) || py::isinstance(h, np.attr("number")))
    return h.cast<double>();
  throw py::type_error("a date is days from J2000.0 (a number), a text such as '2026-12-09', or a numpy datetime64");
}

// Dates as days from J2000.0, from an array of numbers or datetime64, or a
// sequence of texts.
std::vector<double> dates_of(const py::object& dates) {
  const py::module_ np = py::module_::import("numpy");
  py::array arr = np.attr("asarray")(dates);
  if (arr.ndim() > 1) throw py::value_error("dates must be one-dimensional");
  const char kind = arr.dtype().kind();
  std::vector<double> out;
  if (kind == 'M') {
    const auto us = arr.attr("astype")("datetime64[us]").attr("astype")("int64").cast<py::array_t<std::int64_t>>();
    const auto* p = us.data();
    out.reserve(static_cast<std::size_t>(us.size()));
    const auto nat = std::numeric_limits<std::int64_t>::min();
    for (py::ssize_t i = 0; i < us.size(); ++i)
      out.push_back(p[i] == nat ? std::nan("") : static_cast<double>(p[i]) / 8.64e10 + UNIX_EPOCH_DAYS);
    return out;
  }
  if (kind == 'f' || kind == 'i' || kind == 'u') {
    const auto f = arr.attr("astype")("float64").cast<py::array_t<double, py::array::c_style | py::array::forcecast>>();
    out.assign(f.data(), f.data() + f.size());
    return out;
  }
  if (kind == 'U' || kind == 'O' || kind == 'S') {
    for (const py::handle h : py::iter(dates)) out.push_back(date_of(h));
    return out;
  }
  throw py::type_error(std::string("dates of dtype ") + py::str(arr.dtype()).cast<std::string>() +
                       " cannot be read: give days from J2000.0, numpy datetime64 values or ISO texts");
}

py::dict row_dict(const SeasonRow& r, bool mars, const std::string& what) {
  py::dict d;
  if (!what.empty()) d["event"] = what;
  d["date"] = iso_date(r.days, 3);
  d["days"] = r.days;
  d["ls"] = r.ls;
  d["subsolar_latitude"] = r.sdec;
  d["distance"] = r.distance;
  d["true_anomaly"] = r.true_anomaly;
  d["flux"] = r.flux;
  if (mars) d["mars_year"] = r.mars_year;
  return d;
}

class PyBody {
 public:
  PyBody(const std::string& name, const py::object& tables, std::optional<double> epoch) {
    const TableSet t = tables_of(tables);
    const auto bodies = list_bodies(t);
    const BodyMatch m = find_body(bodies, name);
    if (!m.body) throw py::value_error(body_not_found(name, m));
    if (epoch && !std::isfinite(*epoch)) throw py::value_error("epoch must be a year such as 2024.5");
    SeasonBodyError error;
    auto b = make_season_body(t, *m.body, epoch, error);
    if (!b) throw py::value_error(error.message);
    body_ = std::move(*b);
    at_ = body_.frozen ? *body_.frozen : set_up_body(body_.model.at(0.0), body_.model.table());
  }

  std::string name() const { return body_.entry.name; }
  std::string kind() const { return std::string(body_.entry.kind()); }
  double obliquity() const { return at_.frame.BLIP * R2D_VALUE; }
  double rotation_period() const {
    // Hours: the planet table gives hours, the other tables days.
    return body_.model.table() == 1 || body_.model.table() == 2 ? at_.elements.SIDAY : at_.elements.SIDAY * 24.0;
  }
  double orbital_period() const { return at_.elements.PERIOD; }
  double semi_major_axis() const { return at_.elements.SJA; }
  double eccentricity() const { return at_.elements.ECC; }
  double perihelion() const { return at_.elements.TJP; }
  std::string perihelion_date() const { return iso_date(at_.elements.TJP, 3); }

  py::dict seasons(const py::object& dates) const {
    const std::vector<double> days = dates_of(dates);
    const auto n = static_cast<py::ssize_t>(days.size());
    py::array_t<double> d(n), ls(n), sdec(n), dist(n), nu(n), flux(n);
    py::array_t<std::int32_t> my(n);
    {
      double *pd = d.mutable_data(), *pl = ls.mutable_data(), *ps = sdec.mutable_data(), *pr = dist.mutable_data(),
             *pn = nu.mutable_data(), *pf = flux.mutable_data();
      std::int32_t* pm = my.mutable_data();
      py::gil_scoped_release release;
      // The dates split between the machine's cores; each row is a plain
      // function of its date.
      const auto span = [&](py::ssize_t lo, py::ssize_t hi) {
      for (py::ssize_t i = lo; i < hi; ++i) {
        const double t = days[static_cast<std::size_t>(i)];
        SeasonRow r;
        if (std::isfinite(t)) {
          r = season_row(body_, t);
        } else {
          r.days = t;
          r.ls = r.sdec = r.distance = r.true_anomaly = r.flux = std::nan("");
        }
        pd[i] = r.days;
        pl[i] = r.ls;
        ps[i] = r.sdec;
        pr[i] = r.distance;
        pn[i] = r.true_anomaly;
        pf[i] = r.flux;
        pm[i] = r.mars_year;
      }
      };
      const auto cores = static_cast<py::ssize_t>(std::max(1u, std::min(8u, std::thread::hardware_concurrency())));
      const py::ssize_t parts = n >= 20000 ? cores : 1;
      std::vector<std::thread> workers;
      for (py::ssize_t k = 1; k < parts; ++k) workers.emplace_back(span, n * k / parts, n * (k + 1) / parts);
      span(0, n / parts);
      for (std::thread& w : workers) w.join();
    }
    py::dict out;
    out["days"] = d;
    out["ls"] = ls;
    out["subsolar_latitude"] = sdec;
    out["distance"] = dist;
    out["true_anomaly"] = nu;
    out["flux"] = flux;
    if (body_.mars) out["mars_year"] = my;
    return out;
  }

  py::list events(const py::object& start, const py::object& end, const std::vector<double>& ls) const {
    const double from = date_of(start), to = date_of(end);
    if (!std::isfinite(from) || !std::isfinite(to)) throw py::value_error("the span must have finite dates");
    if (from > to) throw py::value_error("the start lies after the end");
    if ((to - from) / body_.model.at(0.0).PERIOD > 1e6) throw py::value_error("the span holds too many orbits");
    for (double x : ls)
      if (!std::isfinite(x)) throw py::value_error("season angles must be finite");
    std::vector<double> values;
    values.reserve(ls.size());
    for (double x : ls) values.push_back(std::fmod(std::fmod(x, 360.0) + 360.0, 360.0));
    std::vector<SeasonEvent> found;
    {
      py::gil_scoped_release release;
      found = find_season_events(body_, from, to, values);
    }
    py::list out;
    for (const SeasonEvent& e : found) out.append(row_dict(e.row, body_.mars, e.what));
    return out;
  }

  py::dict date_of_ls(double ls, const py::object& after) const {
    const double from = date_of(after);
    if (!std::isfinite(ls) || !std::isfinite(from)) throw py::value_error("Ls and the date must be finite");
    const double L = std::fmod(std::fmod(ls, 360.0) + 360.0, 360.0);
    const double period = body_.model.at(from / 36525.0).PERIOD;
    std::vector<SeasonEvent> found;
    {
      py::gil_scoped_release release;
      found = find_season_events(body_, from, from + 1.5 * period, {L});
    }
    for (const SeasonEvent& e : found)
      if (e.what.rfind("Ls=", 0) == 0) return row_dict(e.row, body_.mars, e.what);
    throw py::value_error("Ls " + number(ls) + " is not reached within an orbit after that date");
  }

 private:
  SeasonBody body_{};
  BodySetup at_;
};

// ---- State files ----------------------------------------------------------------

const std::array<const char*, 30> FIELDS = {
    "PLANUM", "TC",      "ODE",    "CLIN",   "ARGP",   "ECC",    "SJA",    "OBL",    "SFLAG",  "ZBAA",
    "ZBAB",   "WDOT",    "W0",     "OPERIOD", "TJP",   "SIDAY",  "spar17", "TAV",    "BLIP",   "KDEBUG",
    "PBUG",   "BFRM:1",  "BFRM:2", "BFRM:3", "BFRM:4", "BFRM:5", "BFRM:6", "BFRM:7", "BFRM:8", "BFRM:9"};

[[noreturn]] void os_error(int err, const std::string& path) {
  PyErr_SetFromErrnoWithFilename(err == ENOENT ? PyExc_FileNotFoundError : PyExc_OSError, path.c_str());
  errno = err;
  PyErr_Clear();
  const py::object exc = (err == ENOENT ? py::reinterpret_borrow<py::object>(PyExc_FileNotFoundError)
                                        : py::reinterpret_borrow<py::object>(PyExc_OSError))(err, std::strerror(err), path);
  PyErr_SetObject(exc.get_type().ptr(), exc.ptr());
  throw py::error_already_set();
}

py::dict state_dict(const StateValues& v) {
  py::dict d;
  for (std::size_t k = 0; k < v.size(); ++k) d[FIELDS[k]] = v[k];
  py::array_t<double> m({3, 3});
  auto w = m.mutable_unchecked<2>();
  // Element (i, j) of BFRM is position 21 + i + 3j (0-based i, j): column order.
  for (py::ssize_t i = 0; i < 3; ++i)
    for (py::ssize_t j = 0; j < 3; ++j) w(i, j) = v[static_cast<std::size_t>(21 + i + 3 * j)];
  d["BFRM"] = m;
  return d;
}

StateValues values_of(const py::dict& state) {
  StateValues v{};
  for (std::size_t k = 0; k < v.size(); ++k)
    if (state.contains(FIELDS[k])) v[k] = state[FIELDS[k]].cast<double>();
  if (state.contains("BFRM")) {
    const auto m = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(state["BFRM"]);
    if (!m || m.ndim() != 2 || m.shape(0) != 3 || m.shape(1) != 3) throw py::value_error("BFRM must be a 3 x 3 array");
    const auto r = m.unchecked<2>();
    for (py::ssize_t i = 0; i < 3; ++i)
      for (py::ssize_t j = 0; j < 3; ++j) v[static_cast<std::size_t>(21 + i + 3 * j)] = r(i, j);
  }
  return v;
}

int open_locked(const std::string& path, int flags) {
  const int fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK, 0666);
  if (fd < 0) os_error(errno, path);
  struct stat sb {};
  if (::fstat(fd, &sb) != 0 || !S_ISREG(sb.st_mode)) {
    ::close(fd);
    throw py::value_error(path + ": not a regular file");
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
  }
  return fd;
}

py::dict read_state(const std::string& path, std::optional<int> record) {
  if (record) {
    if (*record < 1 || *record > STATE_RECORDS) throw py::value_error("record must be 1 to 15");
    const int fd = open_locked(path, O_RDONLY);
    std::array<unsigned char, STATE_RECORD_BYTES> b{};
    const off_t off = static_cast<off_t>(*record - 1) * static_cast<off_t>(STATE_RECORD_BYTES);
    std::size_t got = 0;
    while (got < b.size()) {
      const ssize_t r = ::pread(fd, b.data() + got, b.size() - got, off + static_cast<off_t>(got));
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) break;
      got += static_cast<std::size_t>(r);
    }
    ::close(fd);
    if (got < b.size())
      throw py::value_error(path + ": record " + std::to_string(*record) + (got == 0 ? " lies beyond the end of the file" : " is cut short"));
    return state_dict(decode_binary_record(b));
  }
  const int fd = open_locked(path, O_RDONLY);
  std::string why;
  auto src = open_source(path, &why);
  ::close(fd);
  if (!src) throw py::value_error(path + ": " + why);
  const auto rec = read_ascii_record(*src, why);
  if (!rec) throw py::value_error(path + ": " + why);
  py::dict d = state_dict(rec->values);
  d["title"] = std::string(rec->title.view());
  d["runtime"] = std::string(rec->runtime.view());
  return d;
}

void write_state(const std::string& path, const py::dict& state, std::optional<int> record, const std::string& title,
                 const std::string& runtime) {
  const StateValues v = values_of(state);
  if (record) {
    if (*record < 1 || *record > STATE_RECORDS) throw py::value_error("record must be 1 to 15");
    const auto b = encode_binary_record(v);
    const int fd = open_locked(path, O_WRONLY | O_CREAT);
    const off_t off = static_cast<off_t>(*record - 1) * static_cast<off_t>(STATE_RECORD_BYTES);
    const ssize_t put = ::pwrite(fd, b.data(), b.size(), off);
    const int err = errno;
    ::close(fd);
    if (put != static_cast<ssize_t>(b.size())) os_error(err, path);
    return;
  }
  std::string stamp = runtime;
  stamp.resize(20, ' ');
  const std::string text = ascii_record(v, "KEST:2014jun10", stamp, title);
  const int fd = open_locked(path, O_WRONLY | O_CREAT | O_APPEND);
  const ssize_t put = ::write(fd, text.data(), text.size());
  const int err = errno;
  ::close(fd);
  if (put != static_cast<ssize_t>(text.size())) os_error(err, path);
}

}  // namespace

PYBIND11_MODULE(kest, m) {
  m.doc() =
      "kest: the orbital and seasonal geometry of planets, satellites, asteroids, small bodies, comets and "
      "exoplanets from kest's element tables, and kest's state files.";
  m.def(
      "bodies", [](const py::object& tables) {
        py::list out;
        for (const BodyEntry& b : list_bodies(tables_of(tables))) out.append(entry_dict(b));
        return out;
      },
      py::arg("tables") = py::none(),
      "Every body of the tables: name, kind, table, item, and for a satellite its planet.");
  py::class_<PyBody>(m, "Body", "A body of the tables, by name (letter case ignored, a unique start enough).")
      .def(py::init<const std::string&, const py::object&, std::optional<double>>(), py::arg("name"),
           py::arg("tables") = py::none(), py::arg("epoch") = py::none(),
           "epoch: a year (2024.5) to freeze a planet's or satellite's elements and pole at, as the dialogue "
           "does; by default they are evaluated at each date.")
      .def_property_readonly("name", &PyBody::name)
      .def_property_readonly("kind", &PyBody::kind)
      .def_property_readonly("obliquity", &PyBody::obliquity, "degrees (at the epoch, or J2000.0)")
      .def_property_readonly("rotation_period", &PyBody::rotation_period, "hours")
      .def_property_readonly("orbital_period", &PyBody::orbital_period, "days")
      .def_property_readonly("semi_major_axis", &PyBody::semi_major_axis, "AU")
      .def_property_readonly("eccentricity", &PyBody::eccentricity)
      .def_property_readonly("perihelion", &PyBody::perihelion, "time of perihelion, days from J2000.0 (TT)")
      .def_property_readonly("perihelion_date", &PyBody::perihelion_date, "time of perihelion, ISO 8601 (TT)")
      .def("seasons", &PyBody::seasons, py::arg("dates"),
           "Seasons at dates (days from J2000.0, numpy datetime64 or ISO texts): a dict of numpy arrays days, ls, "
           "subsolar_latitude (planetocentric), distance (AU), true_anomaly, flux (W/m2), and mars_year for Mars.")
      .def("events", &PyBody::events, py::arg("start"), py::arg("end"),
           py::arg("ls") = std::vector<double>{0.0, 90.0, 180.0, 270.0},
           "The instants when Ls passes the given angles, and the perihelia and aphelia, in time order.")
      .def("date_of_ls", &PyBody::date_of_ls, py::arg("ls"), py::arg("after"),
           "The first instant after a date when Ls passes the given angle.");
  m.def("read_state", &read_state, py::arg("path"), py::arg("record") = py::none(),
        "A state record: record N of a binary KESTCM.DAT file, or the first record of a text state file; a dict "
        "of the 30 fields (KDEBUG is the one the listing shows as the second BLIP) and BFRM as a 3 x 3 array.");
  m.def("write_state", &write_state, py::arg("path"), py::arg("state"), py::arg("record") = py::none(),
        py::arg("title") = "", py::arg("runtime") = "",
        "Writes record N of a binary state file, or appends a text record, as the dialogue saves them.");
}
