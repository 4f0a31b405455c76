// kestel: the element table reader. Opening, framing and skipping common to
// all six table files, the planet and spin-axis branches, the conversion of
// the working quantities into results, the summary and the failure report.

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

#include "elements/kelements.hpp"
#include "kestel_kinds.hpp"
#include "math/kmath.hpp"
#include "textio/textio.hpp"

namespace kest {

namespace {

std::string_view table_name(std::int32_t code) {
  return code >= 1 && code <= 6 ? FNAME[static_cast<std::size_t>(code)] : FNAME[0];
}

// Open table IGO on IOD, read past its C_END line and pass over the items
// before IPLAN. Returns 0 or the failure number.
std::int32_t frame_table(std::int32_t IOD, std::int32_t IPLAN) {
  static const Format f{"(A5)"};
  KestelWork& w = kestel_work;
  if (w.IGO < 1 || w.IGO > 6) return 1;  // no table behind this code

  std::string name(table_name(w.IGO));
  while (!name.empty() && name.back() == ' ') name.pop_back();
  std::string why;
  if (!open_unit(IOD, name, OpenStatus::old_file, Access::sequential, Direction::read, &why))
    return 1;

  // The marker must start in column 1; any letter case, any text after it.
  for (;;) {
    ReadStatus s = read_fmt(IOD, f, {w.BUF5});
    if (s == ReadStatus::end_of_file) return 2;
    if (s != ReadStatus::ok) return 3;
    upcase(w.BUF5.data(), 5);
    if (w.BUF5.view() == "C_END") break;
  }
  write_free(6, {w.BUF5});

  if (IPLAN > 1) {
    // Counted wide: a huge item number must not overflow; the file ends
    // long before such a count is reached.
    const std::int64_t n =
        (static_cast<std::int64_t>(IPLAN) - 1) * NLINES[static_cast<std::size_t>(w.IGO)];
    w.ISKIP = n > std::numeric_limits<std::int32_t>::max()
                  ? std::numeric_limits<std::int32_t>::max()
                  : static_cast<std::int32_t>(n);
    for (std::int64_t i = 0; i < n; ++i) {
      if (read_free(IOD, {}) != ReadStatus::ok) return 4;
    }
    write_free(6, {"skipped lines=", w.ISKIP});
  }
  return 0;
}

// Planet item: elements at J2000.0 and their rates, evaluated at TCEN.
std::int32_t kestel_planet(std::int32_t IOD, double TCEN, char* TITLE, std::size_t NTITLE,
                           double& TJP) {
  KestelWork& w = kestel_work;
  auto& F = w.FFF;
  auto& R = w.RRR;
  w.EMJD = JULCEN * TCEN;

  ReadStatus s = read_free(IOD, {Item(TITLE, NTITLE), F[0], F[1], F[2], F[3], F[4], F[5]});
  if (s != ReadStatus::ok) return value_failure(s);
  w.J = 1;
  s = read_free(IOD, {w.BUF5, R[0], R[1], R[2], R[3], R[4], R[5]});
  if (s != ReadStatus::ok) return value_failure(s);
  w.J = 2;

  // Time of perihelion of the J2000.0 elements, mean anomaly unreduced.
  w.DSJA = F[0];
  w.DANOM = F[3] - F[4];
  w.DPERIOD = SIDYR * std::sqrt(w.DSJA * (w.DSJA * w.DSJA));
  TJP = -(w.DPERIOD * (w.DANOM / 360.0));
  write_free(6, {"base TJP=", TJP});

  for (std::size_t i = 0; i < 6; ++i) F[i] = F[i] + R[i] * TCEN;
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
  return 0;
}

// Spin-axis search: the body named at the keyboard (the title by default),
// its pole at TCEN and its rotation period.
std::int32_t kestel_spin(std::int32_t IOD, double TCEN, char* TITLE, std::size_t NTITLE,
                         double& SIDAY) {
  KestelWork& w = kestel_work;
  auto& R = w.RRR;
  const std::string_view title(TITLE, NTITLE);

  w.PNAME.set(title);
  write_free(6, {"Orbit is ", title, " ENTER:  / or satellite name"});
  // A slash keeps the planet's own name; so does the end of the keyboard
  // input, which the next prompt of the driver then meets again.
  (void)read_free(5, {w.PNAME});
  w.LIN = static_cast<std::int32_t>(w.PNAME.trimmed().size());
  const std::size_t lin = static_cast<std::size_t>(w.LIN);

  for (;;) {
    ReadStatus s = read_free(IOD, {w.TARGET, R[0], R[1], R[2], R[3], R[4], R[5]});
    if (s == ReadStatus::conversion_error) return 5;
    if (s == ReadStatus::end_of_file) return 4;
    if (std::memcmp(w.TARGET.data(), w.PNAME.data(), lin) == 0) break;
  }

  std::string t(title);
  while (!t.empty() && t.back() == ' ') t.pop_back();
  t += ':';
  t.append(w.PNAME.data(), lin);
  const std::string extended = pad_text(t, NTITLE);
  std::memcpy(TITLE, extended.data(), NTITLE);

  w.DPRA = R[0] + R[1] * TCEN;
  w.DPDEC = R[2] + R[3] * TCEN;
  SIDAY = 8640.0 / R[5];
  return 0;
}

void report_failure(const char* TITLE, std::size_t NTITLE) {
  const KestelWork& w = kestel_work;
  const std::size_t ierr = static_cast<std::size_t>(w.IERR);
  write_free(6, {"KESTEL Error: File was >", table_name(w.IGO)});
  write_free(6, {"------ Error: ierr", w.IERR, " Last title= ", std::string_view(TITLE, NTITLE)});
  write_free(6, {"------ Error: J=", w.J, " Reason: ", MESS[ierr]});
}

}  // namespace

void reset_kestel_work() { kestel_work = KestelWork{}; }

void kestel(std::int32_t IOP, std::int32_t IOD, std::int32_t IFILE, std::int32_t IPLAN,
            double TCEN, double& ODE, double& CLIN, double& ARGP, double& ECC, double& PERIOD,
            double& SJA, double& SIDAY, double& PRA, double& PDEC, double& TJP, char* TITLE,
            std::size_t NTITLE) {
  static const Format summary{
      "('0IFILE IPLAN FILE TITLE TCEN ='/2I4,2X,A,2X,A10,F10.6  /'[double] ODE CLIN ARGP "
      "/radian =' /3F15.8 /3F15.8               /' SJA ECC TJP PERIOD ='/2F15.8,f15.5,F15.8     "
      "                  /' SIDAY   [double] PDEC PRA  /radian ='/F15.8/2F15.8/2F15.8)"};
  KestelWork& w = kestel_work;
  w.IERR = 0;
  write_free(6, {"Entering KESTEL with IFILE,IPLAN=", IFILE, IPLAN});
  w.IGO = IFILE;

  for (;;) {
    w.IERR = frame_table(IOD, IPLAN);
    if (w.IERR != 0) break;
    w.J = 0;
    switch (w.IGO) {
      case 1:
        w.IERR = kestel_planet(IOD, TCEN, TITLE, NTITLE, TJP);
        if (w.IERR == 0) {
          // The pole comes from the spin-axis table, same item number.
          close_unit(IOD);
          w.IGO = 2;
          continue;
        }
        break;
      case 2: w.IERR = kestel_spin(IOD, TCEN, TITLE, NTITLE, SIDAY); break;
      case 3: w.IERR = kestel_minor(IOD, TITLE, NTITLE, SIDAY, TJP); break;
      case 4: w.IERR = kestel_small(IOD, TITLE, NTITLE, SIDAY, TJP); break;
      case 5: w.IERR = kestel_comet(IOD, TITLE, NTITLE, SIDAY, TJP); break;
      default: w.IERR = kestel_exo(IOD, TITLE, NTITLE, SIDAY, TJP); break;
    }
    break;
  }

  if (w.IERR != 0) {
    report_failure(TITLE, NTITLE);
    close_unit(IOD);
    return;
  }

  ODE = RDEG * w.DODE;
  CLIN = RDEG * w.DCLIN;
  ARGP = RDEG * w.DARGP;
  ECC = w.DECC;
  SJA = w.DSJA;
  PRA = RDEG * w.DPRA;
  PDEC = RDEG * w.DPDEC;
  PERIOD = w.DPERIOD;

  if (IOP != 0) {
    write_fmt(IOP, summary,
              {IFILE, IPLAN, FNAME[static_cast<std::size_t>(IFILE)], std::string_view(TITLE, NTITLE),
               TCEN, w.DODE, w.DCLIN, w.DARGP, ODE, CLIN, ARGP, SJA, ECC, TJP, PERIOD, SIDAY,
               w.DPDEC, w.DPRA, PDEC, PRA});
  }
  close_unit(IOD);
}

}  // namespace kest
