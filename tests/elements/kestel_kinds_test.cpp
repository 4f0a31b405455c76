// kestel, minor-body, small-body, comet and exoplanet tables: what each
// kind makes of its lines, and a failure on every line of every kind.
// Expected numbers were computed independently in Python from the defining
// formulas (double precision; single-precision constants via struct 'f').
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "elements_fixture.hpp"

namespace kest::testing_elements {
namespace {

std::vector<std::string> minor_item(const std::string& ra, const std::string& dec,
                                    const std::string& flag) {
  return {"-- minor --", "Vesta", "2451545.0", "1.0", "0.1", "7.0", "30.0", "40.0", "90.0",
          ra,            dec,     flag,        "0.22"};
}
std::vector<std::string> small_item() {
  return {"7 Ceres 2451545.0", "ecc 0.1", "a 4.0",  "q 3.6",  "incl 10.0", "node 80.0",
          "argp 70.0",         "M 30.0",  "rot 24", "ra 300", "dec 60",    "spare 9"};
}
std::vector<std::string> comet_item(const std::string& date, const std::string& ecc) {
  return {"-- comet --", "Encke", date, "186.5", "334.6", "11.8", "1.0", ecc, "10 20", "0.5"};
}
std::vector<std::string> exo_item(const std::string& mag, const std::string& dist,
                                  const std::string& obliquity) {
  return {"Exo-1 first line", "'Exo b'", mag, dist, "2451600.5", "1.0", "365.0", "0.1",
          obliquity,          "100.0",   "24.0"};
}

void with_marker(std::vector<std::string>& item) { item.insert(item.begin(), "C_END"); }

// The three numbers after the label of a terminal line.
std::vector<double> numbers_after(const std::string& line, const std::string& label) {
  std::istringstream in(line.substr(line.find(label) + label.size()));
  std::vector<double> v;
  for (std::string tok; in >> tok;) v.push_back(std::strtod(tok.c_str(), nullptr));
  return v;
}

using Kinds = ElementsTest;

// Pole flag exactly 1: lines 10 and 11 are B1950 ecliptic longitude and
// latitude; the stored pole is the B1950 equatorial direction (obliquity
// 0.40920619 rad = 23.445787637628474 deg), the reference line the J2000.0
// direction through the B1950-to-J2000 matrix. Any other flag leaves the
// lines as right ascension and declination.
TEST_F(Kinds, MinorPole) {
  struct Row {
    const char* lambda;
    const char* beta;
    const char* flag;
    double dpra, dpdec;
    bool converted;
    double ref_ra, ref_dec;  // reference line, to 1e-4
    double q4_tol;           // JBRM is single precision: not quite orthonormal
  };
  const Row rows[] = {
      {"0", "90", "1", -90.0, 66.55421236237153, true, -90.0013, 66.55421, 2e-9},
      {"90", "0", "1.0", 90.0, 23.445787637628474, true, 90.7614, 23.44394, 1e-8},
      {"200", "-30", "1", -174.8879154225799, -35.20966439749513, true, -174.22852, -35.48682, 1e-8},
      {"0", "90", "0", 0.0, 90.0, false, 0, 0, 0},
      {"0", "90", "0.99999", 0.0, 90.0, false, 0, 0, 0},
      {"0", "90", "2", 0.0, 90.0, false, 0, 0, 0},
      {"317.5", "52.5", "-1", 317.5, 52.5, false, 0, 0, 0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(::testing::Message() << r.lambda << " " << r.beta << " flag " << r.flag);
    clear_output();
    auto item = minor_item(r.lambda, r.beta, r.flag);
    with_marker(item);
    table("minor.tab", item);
    Results res;
    call_kestel(0, 3, 1, 0.0, res);
    ASSERT_EQ(kestel_ierr(), 0);
    EXPECT_EQ(kestel_kept().DPRA, r.dpra);
    EXPECT_EQ(kestel_kept().DPDEC, r.dpdec);
    EXPECT_EQ(res.PRA, RDEG * r.dpra);
    EXPECT_EQ(res.PDEC, RDEG * r.dpdec);
    const std::string ref = screen_line(" DPRA,DPDEC,Q4=");
    const std::string stored = screen_line(" DPRA,DPDEC=");
    if (r.converted) {
      const auto v = numbers_after(ref, "Q4=");
      ASSERT_EQ(v.size(), 3u);
      EXPECT_NEAR(v[0], r.ref_ra, 1e-4);
      EXPECT_NEAR(v[1], r.ref_dec, 1e-5);
      EXPECT_NEAR(v[2], 1.0, r.q4_tol);
      const auto s = numbers_after(stored, "DPDEC=");
      ASSERT_EQ(s.size(), 2u);
      EXPECT_EQ(s[0], r.dpra);
      EXPECT_EQ(s[1], r.dpdec);
    } else {
      EXPECT_EQ(ref, "");
      EXPECT_EQ(stored, "");
    }
  }
}

// Minor body: elements straight from their lines; TJP from the unreduced
// mean anomaly at the epoch; SIDAY from line 13 in days; ten echo lines.
TEST_F(Kinds, MinorElements) {
  struct Row {
    const char* epoch;
    const char* anomaly;
    double tjp;  // (epoch - 2451545) - 365.256363004 x M / 360
  };
  const Row rows[] = {{"2451545.0", "90.0", -91.314090751},
                      {"2451545.0", "450.0", -456.57045375499996},
                      {"2451645.5", "90.0", 9.185909249000005}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.anomaly);
    clear_output();
    auto item = minor_item("10", "20", "0");
    item[2] = r.epoch;
    item[8] = r.anomaly;
    with_marker(item);
    table("minor.tab", item);
    Results res;
    call_kestel(0, 3, 1, 0.0, res);
    EXPECT_EQ(res.TJP, r.tjp);
    EXPECT_EQ(res.SJA, 1.0);
    EXPECT_EQ(res.ECC, 0.1);
    EXPECT_EQ(res.CLIN, RDEG * 7.0);
    EXPECT_EQ(res.ODE, RDEG * 30.0);
    EXPECT_EQ(res.ARGP, RDEG * 40.0);
    EXPECT_EQ(res.SIDAY, 0.22);
    EXPECT_EQ(res.PERIOD, 365.256363004);
    EXPECT_EQ(res.TITLE.trimmed(), "Vesta");
    const auto s = screen();
    ASSERT_EQ(s.size(), 12u);
    EXPECT_EQ(s[2], "  1 1.0");
    EXPECT_EQ(s[5], "  4 30.0");
    EXPECT_EQ(s[11], "  10 0.22");
  }
}

// Small body: labelled values in their fixed order; rotation in hours.
TEST_F(Kinds, SmallBody) {
  auto item = small_item();
  with_marker(item);
  table("small.tab", item);
  Results res;
  call_kestel(0, 4, 1, 0.0, res);
  ASSERT_EQ(kestel_ierr(), 0);
  EXPECT_EQ(res.ECC, 0.1);
  EXPECT_EQ(res.SJA, 4.0);
  EXPECT_EQ(res.CLIN, RDEG * 10.0);
  EXPECT_EQ(res.ODE, RDEG * 80.0);
  EXPECT_EQ(res.ARGP, RDEG * 70.0);
  EXPECT_EQ(res.SIDAY, 1.0);  // 24 hours
  EXPECT_EQ(res.PRA, RDEG * 300.0);
  EXPECT_EQ(res.PDEC, RDEG * 60.0);
  EXPECT_EQ(res.PERIOD, 2922.050904032);      // 365.256363004 x sqrt(64)
  EXPECT_EQ(res.TJP, -243.50424200266664);    // - period x 30 / 360
  const auto s = screen();
  ASSERT_EQ(s.size(), 14u);
  EXPECT_EQ(s[2], "  7Ceres                     2451545.0");
  EXPECT_EQ(s[3], "  1ecc          0.1");
  EXPECT_EQ(s[13], "  11spare        9.0");
  EXPECT_EQ(kestel_kept().I, 12);  // the running number gave way to the loop
}

// Comet: TJP from the perihelion date (2000 Jan 1.5 is J2000.0), a = q /
// (1 - e), period from a; e = 1 and above are returned without a message.
TEST_F(Kinds, Comet) {
  struct Row {
    const char* date;
    const char* ecc;
    double tjp, sja, period;
  };
  const double inf = INFINITY;
  const Row rows[] = {
      {"2000 1 1.5", "0.5", 0.0, 2.0, 1033.1010046066544},
      {"2000 3 1.25", "0.5", 59.75, 2.0, 1033.1010046066544},  // March 1 counts 60
      {"1999 12 31.0", "0.0", -1.5, 1.0, 365.256363004},
      {"2024 1 1.5", "0.5", 8766.0, 2.0, 1033.1010046066544},
      {"2000 1 1.5", "1.0", 0.0, inf, inf},
      {"2000 1 1.5", "1.5", 0.0, -2.0, NAN},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(::testing::Message() << r.date << " e=" << r.ecc);
    clear_output();
    auto item = comet_item(r.date, r.ecc);
    with_marker(item);
    table("comet.tab", item);
    Results res;
    call_kestel(0, 5, 1, 0.0, res);
    ASSERT_EQ(kestel_ierr(), 0);
    EXPECT_EQ(res.TJP, r.tjp);
    EXPECT_EQ(res.SJA, r.sja);
    if (std::isnan(r.period)) {
      EXPECT_TRUE(std::isnan(res.PERIOD));
    } else {
      EXPECT_EQ(res.PERIOD, r.period);
    }
    EXPECT_EQ(res.SIDAY, 0.5);
    EXPECT_EQ(res.PRA, RDEG * 10.0);
    EXPECT_EQ(res.PDEC, RDEG * 20.0);
    EXPECT_EQ(res.ARGP, RDEG * 186.5);
    EXPECT_EQ(screen().size(), 2u);  // entry line and C_END only
  }
}

// Values no table should hold must not overflow or index out of range:
// days beyond the 32-bit range, months outside 1..12, the
// largest item number. (Not-a-number cannot be written in a table.)
TEST_F(Kinds, HostileValues) {
  const char* dates[] = {"2000 13 1e300", "-2147483648 -5 -1e300", "2147483647 2147483647 9e18",
                         "2000 0 0"};
  for (const char* d : dates) {
    SCOPED_TRACE(d);
    clear_output();
    auto item = comet_item(d, "0.5");
    with_marker(item);
    table("comet.tab", item);
    Results res;
    call_kestel(0, 5, 1, 0.0, res);
    EXPECT_EQ(kestel_ierr(), 0);
    call_kestel(0, 5, 2147483647, 0.0, res);
    EXPECT_EQ(kestel_ierr(), 4);
  }
}

// Exoplanet: power factor from magnitude and distance with the
// single-precision constants (4.83 and 32.616 do not give exactly 1);
// obliquity floored at 0.1 (single precision, so 0.1 itself is raised);
// synodic day (SIDAY / period + 1) x SIDAY.
TEST_F(Kinds, Exoplanet) {
  struct Row {
    const char* mag;
    const char* dist;
    const char* obliquity;
    const char* factor;
    double dpdec;
  };
  const Row rows[] = {
      {"4.83", "32.616", "0", "0.9999998604916416", 89.89999999850988},
      {"4.83", "3.2616", "-5", "0.009999998604916417", 89.89999999850988},
      {"4.83", "32.616", "0.1", "0.9999998604916416", 89.89999999850988},
      {"4.83", "32.616", "30", "0.9999998604916416", 60.0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(::testing::Message() << r.mag << " " << r.dist << " " << r.obliquity);
    clear_output();
    auto item = exo_item(r.mag, r.dist, r.obliquity);
    with_marker(item);
    table("exoplan.tab", item);
    Results res;
    call_kestel(0, 6, 1, 0.0, res);
    ASSERT_EQ(kestel_ierr(), 0);
    EXPECT_EQ(screen_line(" Star/Sun"),
              std::string(" Star/Sun power factor= ") + r.factor + " * default SOLCON M <><>");
    EXPECT_EQ(kestel_kept().DPDEC, r.dpdec);
    EXPECT_EQ(screen_line(" Synodic"), " Synodic day = 1.0027397260273974  to QTM PERIOD <><>");
    EXPECT_EQ(res.SIDAY, 1.0);
    EXPECT_EQ(res.TJP, 55.5);
    EXPECT_EQ(res.PERIOD, 365.0);
    EXPECT_EQ(res.SJA, 1.0);
    EXPECT_EQ(res.ECC, 0.1);
    EXPECT_EQ(res.ARGP, RDEG * 100.0);
    EXPECT_EQ(res.ODE, 0.0);
    EXPECT_EQ(res.CLIN, 0.0);
    EXPECT_EQ(res.PRA, RDEG * 270.0);
    EXPECT_EQ(res.TITLE.trimmed(), "Exo b");
    const auto s = screen();
    ASSERT_EQ(s.size(), 15u);
    EXPECT_EQ(s[2], " 600 buf=Exo-1");
    EXPECT_EQ(s[3], " Exo b                    ");
  }
}

// A failure on line n of an item reports J = n - 1: the end of the file on
// line 1 is failure 4 where line 1 is passed over or a text (minor, comet,
// exoplanet), else 6; a word where a number is due is 7. TITLE is kept once
// its line is read; a comet's TJP once its date line is read; the other
// kinds store TJP and SIDAY only at the end.
TEST_F(Kinds, FailureOnEveryLine) {
  struct Kind {
    std::int32_t code;
    std::vector<std::string> item;
    std::vector<std::string> bad;  // per line, "" where no word can fail
    int title_line;
    const char* title;
    int tjp_line;  // TJP stored once this line is read; 0: only at the end
  };
  const std::vector<Kind> kinds = {
      {3, minor_item("10", "20", "0"),
       {"", "", "x", "x", "x", "x", "x", "x", "x", "x", "x", "x", "x"}, 2, "Vesta", 0},
      {4, small_item(),
       {"x Ceres 2451545.0", "ecc x", "a x", "q x", "incl x", "node x", "argp x", "M x",
        "rot x", "ra x", "dec x", "spare x"},
       1, "Ceres", 0},
      {5, comet_item("2000 1 1.5", "0.5"),
       {"", "", "2000 1.5 1.5", "x", "x", "x", "x", "x", "10 x", "x"}, 2, "Encke", 3},
      {6, exo_item("4.83", "32.616", "20"),
       {"", "", "x", "x", "x", "x", "x", "x", "x", "x", "x"}, 2, "Exo b", 0},
  };
  for (const Kind& k : kinds) {
    const int n_lines = static_cast<int>(k.item.size());
    ASSERT_EQ(n_lines, NLINES[static_cast<std::size_t>(k.code)]);
    for (int n = 1; n <= n_lines; ++n) {
      for (bool eof : {true, false}) {
        if (!eof && k.bad[static_cast<std::size_t>(n - 1)].empty()) continue;
        SCOPED_TRACE(::testing::Message() << "code " << k.code << " line " << n
                                          << (eof ? " end of file" : " word"));
        clear_output();
        reset_element_dialogue();
        std::vector<std::string> lines(k.item.begin(), k.item.begin() + (eof ? n - 1 : n_lines));
        if (!eof) lines[static_cast<std::size_t>(n - 1)] = k.bad[static_cast<std::size_t>(n - 1)];
        with_marker(lines);
        table(file_of(k.code), lines);
        Results res;
        res.TITLE.set("Old");
        call_kestel(3, k.code, 1, 0.0, res);
        const bool first_is_4 = n == 1 && k.code != 4;
        const int ierr = eof ? (first_is_4 ? 4 : 6) : 7;
        EXPECT_EQ(kestel_ierr(), ierr);
        EXPECT_EQ(last3(screen()), failure_lines(FNAME[static_cast<std::size_t>(k.code)], ierr,
                                                  res.TITLE.view(), n - 1));
        EXPECT_EQ(res.TITLE.trimmed(), n > k.title_line ? k.title : "Old");
        if (k.tjp_line != 0 && n > k.tjp_line) {
          EXPECT_EQ(res.TJP, 0.0);
        } else {
          EXPECT_EQ(res.TJP, kUntouched);
        }
        EXPECT_EQ(res.SIDAY, kUntouched);
        for (double v : {res.ODE, res.CLIN, res.ARGP, res.ECC, res.PERIOD, res.SJA, res.PRA,
                         res.PDEC})
          EXPECT_EQ(v, kUntouched);
        EXPECT_TRUE(print().empty());
      }
    }
  }
}

}  // namespace
}  // namespace kest::testing_elements
