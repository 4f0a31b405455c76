// Where the faces find the element tables: a directory named, KEST_TABLES,
// the working directory, the installed directory, in that order.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "elements/kelements.hpp"
#include "session.hpp"

namespace kest {
namespace {

namespace fs = std::filesystem;
using kest::testing::ScratchDir;
using kest::testing::WorkIn;

// KEST_TABLES as a case sets it, and as it was afterwards.
class Variable {
 public:
  explicit Variable(const std::optional<std::string>& value) {
    if (const char* v = std::getenv("KEST_TABLES")) old_ = v;
    if (value) {
      ::setenv("KEST_TABLES", value->c_str(), 1);
    } else {
      ::unsetenv("KEST_TABLES");
    }
  }
  ~Variable() {
    if (old_) {
      ::setenv("KEST_TABLES", old_->c_str(), 1);
    } else {
      ::unsetenv("KEST_TABLES");
    }
  }
  Variable(const Variable&) = delete;
  Variable& operator=(const Variable&) = delete;

 private:
  std::optional<std::string> old_;
};

// Every place that can hold tables, with or without them: a, b and
// installed hold them, empty does not; the case works in here or in
// nothing.
TEST(FindTables, FirstPlaceWinsAndNamedPlacesMustHoldThem) {
  ScratchDir root;
  for (const char* d : {"a", "b", "installed", "empty", "here", "nothing"}) fs::create_directory(root.path() / d);
  for (const char* d : {"a", "b", "installed", "here"}) {
    for (const auto& t : fs::directory_iterator(kest::testing::data_dir()))
      if (t.path().extension() == ".tab") fs::copy_file(t.path(), root.path() / d / t.path().filename());
  }
  const std::string a = (root.path() / "a").string();
  const std::string b = (root.path() / "b").string();
  const std::string empty = (root.path() / "empty").string();
  const fs::path installed = root.path() / "installed";
  struct Case {
    const char* what;
    std::string given;
    std::optional<std::string> variable;
    const char* work;  // "here" (with tables) or "nothing"
    fs::path installed;
    std::optional<fs::path> found;
    std::string error;  // the start of the message when nothing is found
  };
  const std::string no_tables = "' (planelem.tab is missing)";
  const std::vector<Case> cases = {
      {"given beats everything", a, b, "here", installed, fs::path(a), ""},
      {"given without tables: none of the others is tried", empty, b, "here", installed, std::nullopt,
       "no element tables in '" + empty + no_tables},
      {"the variable beats the working directory", "", b, "here", installed, fs::path(b), ""},
      {"the variable without tables is named", "", empty, "here", installed, std::nullopt,
       "KEST_TABLES names '" + empty + "', which holds no element tables (planelem.tab is missing)"},
      {"a variable set empty is not set", "", std::string(), "here", installed, fs::path("."), ""},
      {"the working directory beats the installed tables", "", std::nullopt, "here", installed, fs::path("."), ""},
      {"the installed tables last", "", std::nullopt, "nothing", installed, installed, ""},
      {"nowhere: both places, the option and the variable named", "", std::nullopt, "nothing", fs::path(empty),
       std::nullopt,
       "no element tables in the working directory or in '" + empty + "'; name their directory with --tables DIR or "
       "KEST_TABLES"},
      {"nowhere, and no installed directory", "", std::nullopt, "nothing", fs::path(), std::nullopt,
       "no element tables in the working directory; name their directory with --tables DIR or KEST_TABLES"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Variable v(c.variable);
    const WorkIn w(root.path() / c.work);
    std::string error;
    const auto found = find_tables(c.given, c.installed, error, "--tables DIR");
    EXPECT_EQ(found, c.found);
    EXPECT_EQ(error, c.error);
  }
}

// A face without an option of its own is not offered one.
TEST(FindTables, MessageWithoutAnOption) {
  ScratchDir nothing;
  const Variable v(std::nullopt);
  const WorkIn w(nothing.path());
  std::string error;
  EXPECT_FALSE(find_tables("", fs::path(), error));
  EXPECT_EQ(error, "no element tables in the working directory; name their directory with KEST_TABLES");
}

// The test program is no installation: it falls back on the data directory
// the build was configured with, an absolute path ending in share/kest.
TEST(FindTables, InstalledTablesOfAProgramOutsideAnInstallation) {
  const fs::path dir = installed_tables();
  EXPECT_TRUE(dir.is_absolute()) << dir;
  EXPECT_EQ(dir.filename(), "kest");
  EXPECT_TRUE(holds_tables(kest::testing::data_dir()));
  EXPECT_FALSE(holds_tables(kest::testing::data_dir() / "planelem.tab"));
}

}  // namespace
}  // namespace kest
