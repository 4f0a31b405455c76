// The element core on the shipped tables: the listing of bodies, finding a
// body by name, reading an element set from a file or from its text, and
// the same bodies evaluated on several threads at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "elements/kelements.hpp"
#include "orbit/korbit.hpp"
#include "session.hpp"

namespace kest {
namespace {

const TableSet& shipped() {
  static const TableSet t(kest::testing::data_dir());
  return t;
}

std::string file_text(const std::string& name) {
  std::ifstream in(kest::testing::data_dir() / name);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Counts of the shipped tables (their headers list the bodies) and a few
// bodies with where they must be found.
TEST(CoreBodies, ListingOfTheShippedTables) {
  const std::vector<BodyEntry> bodies = list_bodies(shipped());
  std::map<std::int32_t, int> per_table;
  for (const BodyEntry& b : bodies) ++per_table[b.table];
  EXPECT_EQ(per_table[1], 9);
  EXPECT_EQ(per_table[2], 12);
  EXPECT_EQ(per_table[3], 8);
  EXPECT_EQ(per_table[4], 9);
  EXPECT_EQ(per_table[5], 6);
  EXPECT_EQ(per_table[6], 6);

  struct Row {
    std::string name;
    std::int32_t table, item;
    std::string planet;
    std::int32_t planet_item;
  };
  const Row rows[] = {
      {"Mars", 1, 4, "", 0},        {"Earth", 2, 10, "EM-Bary", 3}, {"Phobos", 2, 12, "Mars", 4},
      {"Europa", 2, 15, "Jupiter", 5}, {"Charon", 2, 21, "Pluto", 9}, {"1 Ceres", 3, 1, "", 0},
      {"2 Pallas", 4, 2, "", 0},    {"51 Peg b", 6, 1, "", 0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    const auto it = std::find_if(bodies.begin(), bodies.end(),
                                 [&](const BodyEntry& b) { return b.name == r.name && b.table == r.table; });
    ASSERT_NE(it, bodies.end());
    EXPECT_EQ(it->item, r.item);
    EXPECT_EQ(it->planet, r.planet);
    EXPECT_EQ(it->planet_item, r.planet_item);
  }
}

// A satellite line without its planet in the comment is left out; a table
// that is missing is passed over.
TEST(CoreBodies, SatelliteNeedsItsPlanetAndMissingTablesArePassedOver) {
  TableSet t("/nonexistent-dir");
  t.set_text(1, "C_END\nMars 1.5 0.09 1.8 355 336 49\nr 0 0 0 0 0 0\n");
  t.set_text(2, "C_END\nMars 317 0 52 0 0 350\nPhobos 318 0 53 0 0 1128 Mars: near\nDeimos 319 0 52 0 0 285 no planet\n");
  const auto bodies = list_bodies(t);
  ASSERT_EQ(bodies.size(), 2u);
  EXPECT_EQ(bodies[0].name, "Mars");
  EXPECT_EQ(bodies[1].name, "Phobos");
  EXPECT_EQ(bodies[1].kind(), "satellite");
}

TEST(CoreBodies, FindByName) {
  const std::vector<BodyEntry> bodies = list_bodies(shipped());
  struct Row {
    std::string asked;
    std::string found;  // "" when there is no single answer
    std::string candidate;  // one name among the candidates, "" for none
  };
  const Row rows[] = {
      {"mars", "Mars", ""},
      {"PHOB", "Phobos", ""},
      {"Mars:Phobos", "Phobos", ""},
      {"halley", "1P Halley (spin assumed)", ""},
      {"51 peg", "51 Peg b", ""},
      {"Europe", "", "Europa"},       // a misspelling is answered with the nearest names
      {"Jupitr", "", "Jupiter"},
      {"Ceres", "1 Ceres", ""},       // one body in two tables: the first item stands for it
      {"67p", "67P Churyumov-Gerasimenko", ""},  // a start that two items of one body share
      {"2", "", "2 Pallas"},          // different bodies that share a start
      {"minor:1 Ceres (epoch 2020)", "1 Ceres (epoch 2020)", ""},
      {"small:Ceres", "1 Ceres", ""},
      {"comet:halley", "1P Halley (spin assumed)", ""},
      {"planet:Phobos", "", ""},
      {"xyzzyq", "", ""},
      {"", "", ""},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.asked);
    const BodyMatch m = find_body(bodies, r.asked);
    EXPECT_EQ(m.body.has_value(), !r.found.empty());
    if (m.body) {
      EXPECT_EQ(m.body->name, r.found);
    }
    const bool listed = std::any_of(m.candidates.begin(), m.candidates.end(),
                                    [&](const BodyEntry& b) { return b.name == r.candidate; });
    EXPECT_EQ(listed, !r.candidate.empty());
  }
  // The others of a body are named so that each finds its own item.
  const BodyMatch ceres = find_body(bodies, "Ceres");
  ASSERT_EQ(ceres.others.size(), 2U);
  for (const BodyEntry& other : ceres.others) {
    const BodyMatch again = find_body(bodies, qualified_name(other));
    ASSERT_TRUE(again.body) << qualified_name(other);
    EXPECT_EQ(std::tie(again.body->table, again.body->item), std::tie(other.table, other.item));
  }
  EXPECT_NE(body_choice_note("Ceres", ceres).find("small:1 Ceres"), std::string::npos);
}

// The reader takes a table from its file or from its text alike; a
// satellite's pole comes with the planet's orbit and the title planet:name.
TEST(CoreReader, FileOrTextAndSatellitePole) {
  TableSet text("/nonexistent-dir");
  for (std::int32_t code = 1; code <= 6; ++code) text.set_text(code, file_text(shipped().path(code).filename()));
  for (const BodyEntry& b : list_bodies(shipped())) {
    SCOPED_TRACE(b.name);
    const ElementOutcome a = read_element_set(shipped(), b.request(0.25));
    const ElementOutcome c = read_element_set(text, b.request(0.25));
    ASSERT_TRUE(a.ok()) << a.IERR;
    ASSERT_TRUE(c.ok());
    EXPECT_EQ(a.set.TITLE, c.set.TITLE);
    EXPECT_EQ(a.set.PRA, c.set.PRA);
    EXPECT_EQ(a.set.TJP, c.set.TJP);
  }
  ElementRequest rq;
  rq.table = 1;
  rq.item = 4;
  const ElementOutcome mars = read_element_set(shipped(), rq);
  rq.satellite = "Phobos";
  const ElementOutcome phobos = read_element_set(shipped(), rq);
  ASSERT_TRUE(mars.ok() && phobos.ok());
  EXPECT_EQ(phobos.set.TITLE.trimmed(), "Mars:Phobos");
  EXPECT_EQ(phobos.set.SJA, mars.set.SJA);
  EXPECT_NE(phobos.set.PRA, mars.set.PRA);
  rq.satellite = "Europe";
  const ElementOutcome none = read_element_set(shipped(), rq);
  EXPECT_EQ(none.IERR, 4);
  EXPECT_EQ(none.file(), "spinaxis.tab");
  EXPECT_EQ(none.reason(), "EOF looking for target   ");
}

// A body read once and evaluated at an epoch equals the reader at that
// epoch, to the last bit, for every body of the shipped tables.
TEST(CoreReader, BodyModelAtAnEpochEqualsTheReader) {
  for (const BodyEntry& b : list_bodies(shipped())) {
    SCOPED_TRACE(b.name);
    const auto model = BodyModel::read(shipped(), b.request());
    ASSERT_TRUE(model.has_value());
    EXPECT_EQ(model->moves(), b.table == 1 || b.table == 2);
    for (double tcen : {0.0, 0.2468, -1.5, 3.0}) {
      const ElementOutcome direct = read_element_set(shipped(), b.request(tcen));
      ASSERT_TRUE(direct.ok());
      const ElementSet e = model->at(tcen);
      for (auto [x, y] : {std::pair{e.ODE, direct.set.ODE}, {e.CLIN, direct.set.CLIN}, {e.ARGP, direct.set.ARGP},
                          {e.ECC, direct.set.ECC}, {e.PERIOD, direct.set.PERIOD}, {e.SJA, direct.set.SJA},
                          {e.SIDAY, direct.set.SIDAY}, {e.PRA, direct.set.PRA}, {e.PDEC, direct.set.PDEC},
                          {e.TJP, direct.set.TJP}})
        EXPECT_EQ(x, y) << tcen;
      EXPECT_EQ(e.TITLE, direct.set.TITLE);
    }
  }
}

// What one thread computes for one body: its set-up and a year of seasons
// in steps of 0.37 days, and the dates of four seasons.
std::vector<double> evaluate(const BodyEntry& b) {
  std::vector<double> out;
  const ElementOutcome e = read_element_set(shipped(), b.request(0.1));
  if (!e.ok()) return {-1.0};
  const BodySetup s = set_up_body(e.set, b.table);
  for (double v : s.frame.BFRM.m) out.push_back(v);
  for (int i = 0; i < 1000; ++i) {
    const Season z = season_at(s.orbit, -4000.0 + 0.37 * i);
    out.insert(out.end(), {z.lsubs, z.sdec, z.dau});
  }
  for (double ls : {0.0, 90.0, 180.0, 270.0}) out.push_back(date_of_season(s.orbit, ls).tmjd);
  return out;
}

TEST(CoreThreads, FiveBodiesOnFiveThreadsGiveTheSequentialResults) {
  const std::vector<BodyEntry> all = list_bodies(shipped());
  std::vector<BodyEntry> bodies;
  for (const char* n : {"Mars", "Phobos", "halley", "51 Peg b"}) {
    const BodyMatch m = find_body(all, n);
    ASSERT_TRUE(m.body.has_value()) << n;
    bodies.push_back(*m.body);
  }
  // A minor body: "1 Ceres" is in two tables, so it is taken from the listing.
  bodies.push_back(*std::find_if(all.begin(), all.end(), [](const BodyEntry& b) { return b.table == 3; }));
  std::vector<std::vector<double>> sequential;
  for (const BodyEntry& b : bodies) sequential.push_back(evaluate(b));

  for (int round = 0; round < 5; ++round) {
    std::vector<std::vector<double>> parallel(bodies.size());
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < bodies.size(); ++i)
      threads.emplace_back([&, i] { parallel[i] = evaluate(bodies[i]); });
    for (std::thread& t : threads) t.join();
    for (std::size_t i = 0; i < bodies.size(); ++i) {
      ASSERT_GT(parallel[i].size(), 1000u);
      EXPECT_EQ(parallel[i], sequential[i]) << bodies[i].name;  // bit for bit
    }
  }
}

}  // namespace
}  // namespace kest

namespace kest {
namespace {

// A row's lean set-up against the full one, over random orbits and poles
// (fixed seed): the same frame, orbit matrix and equinox within rounding.
TEST(CoreFrames, RowSetUpEqualsTheFullOneWithinRounding) {
  std::mt19937_64 rng(20261210);
  std::uniform_real_distribution<double> angle(-6.3, 6.3), incl(-0.5, 3.2), ra(0.0, 360.0), dec(-89.0, 89.0);
  for (int k = 0; k < 2000; ++k) {
    ElementSet e;
    e.ODE = angle(rng), e.CLIN = incl(rng), e.ARGP = angle(rng), e.ECC = 0.1, e.SJA = 1.5, e.PERIOD = 687.0;
    const double a = ra(rng), d = dec(rng);
    e.PRA = RDEG * a;
    e.PDEC = RDEG * d;
    const BodySetup full = set_up_body(e, 1), lean = row_setup(e, a, d);
    ASSERT_EQ(full.frame.pole_on_normal, lean.frame.pole_on_normal);
    for (std::size_t i = 0; i < 9; ++i) {
      EXPECT_NEAR(lean.frame.AFRM[i], full.frame.AFRM[i], 1e-14) << k;
      EXPECT_NEAR(lean.orbit.BFRM[i], full.orbit.BFRM[i], 1e-12) << k;
    }
    EXPECT_NEAR(std::remainder(lean.orbit.TAV - full.orbit.TAV, TWOPI), 0.0, 1e-12) << k;
  }
}

}  // namespace
}  // namespace kest

namespace kest {
namespace {

// Accurate positions on several threads at once: the threads fit the same
// segments of one fresh cache in different orders, and every row is the
// row of one thread alone, to the bit.
TEST(CoreThreads, AccuratePositionsFittedOnFourThreadsGiveTheSequentialRows) {
  const std::vector<BodyEntry> all = list_bodies(shipped());
  SeasonBodyError error;
  auto body = make_season_body(shipped(), *find_body(all, "Europa").body, std::nullopt, error);
  ASSERT_TRUE(body && use_accurate_positions(*body, false, error)) << error.message;
  const auto rows = [](const SeasonBody& b, int thread) {
    std::vector<double> out;
    for (int i = 0; i < 120; ++i) {
      // Each thread walks the same dates from another start.
      const double days = 4000.0 + 13.7 * ((i + 37 * thread) % 120);
      const SeasonRow r = season_row(b, days);
      out.insert(out.end(), {r.days, r.ls, r.sdec, r.slon, r.distance, r.true_anomaly});
    }
    return out;
  };
  std::vector<std::vector<double>> sequential;
  for (int t = 0; t < 4; ++t) sequential.push_back(rows(*body, t));
  for (int round = 0; round < 2; ++round) {
    SeasonBody fresh = *body;
    fresh.positions = planet_cache("Jupiter");
    std::vector<std::vector<double>> parallel(4);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) threads.emplace_back([&, t] { parallel[static_cast<std::size_t>(t)] = rows(fresh, t); });
    for (std::thread& th : threads) th.join();
    EXPECT_EQ(parallel, sequential);
  }
}

}  // namespace
}  // namespace kest
