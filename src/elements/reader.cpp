// The element table reader: opening, framing and skipping common to all six
// table files, the planet and spin-axis branches, and the conversion of the
// working quantities into results.

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "elements/kelements.hpp"
#include "kestel_kinds.hpp"
#include "math/kmath.hpp"
#include "textio/textio.hpp"

namespace kest {

// ---- Where the tables come from ------------------------------------------------

namespace {

std::string_view table_name(std::int32_t code) {
  if (code == ROTATION_TABLE) return ROTATION_FILE;
  return code >= 1 && code <= 6 ? FNAME[static_cast<std::size_t>(code)] : FNAME[0];
}

std::string trimmed_name(std::int32_t code) {
  std::string name(table_name(code));
  while (!name.empty() && name.back() == ' ') name.pop_back();
  return name;
}

}  // namespace

void TableSet::set_text(std::int32_t code, std::string text) {
  if (code >= 1 && code <= ROTATION_TABLE)
    text_[static_cast<std::size_t>(code)] = std::make_shared<const std::string>(std::move(text));
}

std::filesystem::path TableSet::path(std::int32_t code) const {
  return dir_.empty() ? std::filesystem::path(trimmed_name(code)) : dir_ / trimmed_name(code);
}

std::unique_ptr<LineSource> TableSet::open(std::int32_t code, std::string* why) const {
  if (code < 1 || code > ROTATION_TABLE) {
    if (why) *why = "no table has this code";
    return nullptr;
  }
  if (const auto& text = text_[static_cast<std::size_t>(code)]) return string_source(*text);
  return open_source(path(code).string(), why);
}

std::string_view ElementOutcome::file() const {
  return FNAME[static_cast<std::size_t>(work.IGO >= 1 && work.IGO <= 6 ? work.IGO : 0)];
}

std::string_view ElementOutcome::reason() const {
  return MESS[static_cast<std::size_t>(IERR >= 1 && IERR <= 7 ? IERR : 0)];
}

// ---- The reader ------------------------------------------------------------------

namespace {

// A planet's elements at TCEN from its J2000.0 values PLANET0 and rates
// PRATES: a, e, I, L, varpi, Omega evaluated, the argument of perihelion,
// the mean anomaly reduced with the sign of L - varpi, the period and the
// time of perihelion.
template <class Work>
void planet_at(double TCEN, Work& w, double& TJP) {
  auto& F = w.FFF;
  w.EMJD = JULCEN * TCEN;
  for (std::size_t i = 0; i < 6; ++i) F[i] = w.PLANET0[i] + w.PRATES[i] * TCEN;
  w.DSJA = F[0];
  w.DECC = F[1];
  w.DCLIN = F[2];
  w.DMLON = F[3];
  w.DLONP = F[4];
  w.DODE = F[5];
  w.DARGP = w.DLONP - w.DODE;
  // Remainder with the quotient truncated toward zero: keeps the sign of
  // L - varpi, strictly inside (-360, 360).
  w.DANOM = std::fmod(w.DMLON - w.DLONP, 360.0);
  w.DPERIOD = SIDYR * std::sqrt(w.DSJA * (w.DSJA * w.DSJA));
  TJP = w.EMJD - w.DPERIOD * (w.DANOM / 360.0);
}

// The pole at TCEN and the rotation period from a spin-axis line in RRR.
template <class Work>
void pole_at(double TCEN, Work& w, double& SIDAY) {
  const auto& R = w.RRR;
  w.DPRA = R[0] + R[1] * TCEN;
  w.DPDEC = R[2] + R[3] * TCEN;
  SIDAY = 8640.0 / R[5];
}

// Open table IGO, read past its C_END line and pass over the items before
// the one asked for. Returns 0 or the failure number.
std::int32_t frame_table(Reader& r) {
  static const Format f{"(A5)"};
  ReaderWork& w = r.w;
  // The element tables only: the rotation table holds no element set.
  r.src = w.IGO >= 1 && w.IGO <= 6 ? r.tables.open(w.IGO, &r.why) : nullptr;
  if (!r.src) {
    if (w.IGO < 1 || w.IGO > 6) r.why = "no table has this code";
    return 1;
  }

  // The marker must start in column 1; any letter case, any text after it.
  for (;;) {
    Item buf5(w.BUF5);
    const ReadStatus s = read_fmt_lines(*r.src, f, &buf5, 1);
    if (s == ReadStatus::end_of_file) return 2;
    if (s != ReadStatus::ok) return 3;
    upcase(w.BUF5.data(), 5);
    if (w.BUF5.view() == "C_END") break;
  }
  r.echo({w.BUF5});

  const std::int32_t IPLAN = r.request.item;
  if (IPLAN > 1) {
    // Counted wide: a huge item number must not overflow; the file ends
    // long before such a count is reached.
    const std::int64_t n = (static_cast<std::int64_t>(IPLAN) - 1) * NLINES[static_cast<std::size_t>(w.IGO)];
    w.ISKIP = n > std::numeric_limits<std::int32_t>::max() ? std::numeric_limits<std::int32_t>::max()
                                                           : static_cast<std::int32_t>(n);
    for (std::int64_t i = 0; i < n; ++i) {
      if (r.read({}) != ReadStatus::ok) return 4;
    }
    r.echo({"skipped lines=", w.ISKIP});
  }
  return 0;
}

// Planet item: elements at J2000.0 and their rates, evaluated at TCEN.
std::int32_t read_planet(Reader& r) {
  ReaderWork& w = r.w;
  auto& F = w.FFF;
  auto& R = w.RRR;

  ReadStatus s = r.read({r.set.TITLE, F[0], F[1], F[2], F[3], F[4], F[5]});
  if (s != ReadStatus::ok) return value_failure(s);
  w.J = 1;
  s = r.read({w.BUF5, R[0], R[1], R[2], R[3], R[4], R[5]});
  if (s != ReadStatus::ok) return value_failure(s);
  w.J = 2;

  // Time of perihelion of the J2000.0 elements, mean anomaly unreduced.
  w.DSJA = F[0];
  w.DANOM = F[3] - F[4];
  w.DPERIOD = SIDYR * std::sqrt(w.DSJA * (w.DSJA * w.DSJA));
  r.set.TJP = -(w.DPERIOD * (w.DANOM / 360.0));
  r.echo({"base TJP=", r.set.TJP});

  w.PLANET0 = F;
  w.PRATES = R;
  planet_at(r.request.TCEN, w, r.set.TJP);
  return 0;
}

// Spin-axis search: the body named (the title by default), its pole at
// TCEN and its rotation period.
std::int32_t read_spin(Reader& r) {
  ReaderWork& w = r.w;
  auto& R = w.RRR;
  const FixedText<25> title = r.set.TITLE;

  w.PNAME.set(title.view());
  if (r.hooks.satellite) {
    r.hooks.satellite(w.PNAME, title.view());
  } else if (!r.request.satellite.empty()) {
    w.PNAME.set(r.request.satellite);
  }
  w.LIN = static_cast<std::int32_t>(w.PNAME.trimmed().size());
  const std::size_t lin = static_cast<std::size_t>(w.LIN);

  for (;;) {
    const ReadStatus s = r.read({w.TARGET, R[0], R[1], R[2], R[3], R[4], R[5]});
    if (s == ReadStatus::conversion_error) return 5;
    if (s == ReadStatus::end_of_file) return 4;
    if (std::memcmp(w.TARGET.data(), w.PNAME.data(), lin) == 0) break;
  }

  std::string t(title.trimmed());
  t += ':';
  t.append(w.PNAME.data(), lin);
  r.set.TITLE.set(t);

  pole_at(r.request.TCEN, w, r.set.SIDAY);
  return 0;
}

// The results in the units of the state record, from the working quantities.
template <class Work>
void take_results(const Work& w, ElementSet& e) {
  e.ODE = RDEG * w.DODE;
  e.CLIN = RDEG * w.DCLIN;
  e.ARGP = RDEG * w.DARGP;
  e.ECC = w.DECC;
  e.SJA = w.DSJA;
  e.PRA = RDEG * w.DPRA;
  e.PDEC = RDEG * w.DPDEC;
  e.PERIOD = w.DPERIOD;
}

}  // namespace

ElementOutcome read_element_set(const TableSet& tables, const ElementRequest& request,
                                const ReaderHooks& hooks) {
  Reader r(tables, request, hooks);
  ReaderWork& w = r.w;
  r.echo({"Entering KESTEL with IFILE,IPLAN=", request.table, request.item});
  w.IGO = request.table;

  std::int32_t IERR = 0;
  for (;;) {
    IERR = frame_table(r);
    if (IERR != 0) break;
    w.J = 0;
    switch (w.IGO) {
      case 1:
        IERR = read_planet(r);
        if (IERR == 0) {
          // The pole comes from the spin-axis table, same item number.
          r.src.reset();
          w.IGO = 2;
          continue;
        }
        break;
      case 2: IERR = read_spin(r); break;
      case 3: IERR = read_minor(r); break;
      case 4: IERR = read_small(r); break;
      case 5: IERR = read_comet(r); break;
      default: IERR = read_exoplanet(r); break;
    }
    break;
  }

  ElementOutcome out;
  out.IERR = IERR;
  if (IERR == 0) take_results(w, r.set);
  out.set = r.set;
  out.work = r.w;
  if (IERR == 1) out.why = r.why;
  return out;
}

std::optional<BodyModel> BodyModel::read(const TableSet& tables, const ElementRequest& request, ElementOutcome* failure) {
  ElementRequest rq = request;
  rq.TCEN = 0.0;
  ElementOutcome out = read_element_set(tables, rq);
  if (!out.ok()) {
    if (failure) *failure = std::move(out);
    return std::nullopt;
  }
  BodyModel m;
  m.table_ = request.table;
  m.work_ = out.work;
  m.fixed_ = out.set;
  const ReaderWork& w = m.work_;
  m.moving_ = PlanetWork{w.FFF,  w.RRR,   w.PLANET0, w.PRATES, w.EMJD, w.DMLON,   w.DLONP, w.DSJA,
                         w.DECC, w.DCLIN, w.DODE,    w.DARGP,  w.DANOM, w.DPERIOD, w.DPRA,  w.DPDEC};
  return m;
}

BodyModel BodyModel::fixed(const ElementSet& e, std::int32_t table) {
  BodyModel m;
  m.table_ = table;
  m.fixed_ = e;
  m.work_.IGO = table;
  return m;
}

void BodyModel::set_pole(double PRA, double PDEC) {
  fixed_.PRA = PRA;
  fixed_.PDEC = PDEC;
}

ElementSet BodyModel::at(double TCEN) const {
  if (table_ != 1 && table_ != 2) return fixed_;
  // The working values a planet's elements move with, not the whole
  // working record: the same arithmetic on less to copy.
  PlanetWork w = moving_;
  ElementSet e = fixed_;
  if (table_ == 1) planet_at(TCEN, w, e.TJP);
  pole_at(TCEN, w, e.SIDAY);
  take_results(w, e);
  return e;
}

}  // namespace kest
