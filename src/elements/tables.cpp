// Where the element tables are: a directory named, the environment, the
// working directory, the installation.

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "elements/kelements.hpp"
#include "textio/textio.hpp"

// The build says where the installation puts the tables: relative to the
// programs' directory, and as the absolute directory of its prefix.
#ifndef KEST_TABLES_FROM_BINDIR
#define KEST_TABLES_FROM_BINDIR "../share/kest"
#endif
#ifndef KEST_TABLES_DATADIR
#define KEST_TABLES_DATADIR "/usr/local/share/kest"
#endif

namespace kest {

namespace fs = std::filesystem;

bool holds_tables(const fs::path& dir) {
  std::error_code ec;
  return fs::is_regular_file(dir / "planelem.tab", ec);
}

fs::path installed_tables() {
  if (const fs::path program = program_directory(); !program.empty()) {
    fs::path beside = (program / KEST_TABLES_FROM_BINDIR).lexically_normal();
    if (holds_tables(beside)) return beside;
  }
  return KEST_TABLES_DATADIR;
}

std::optional<fs::path> find_tables(std::string_view given, const fs::path& installed, std::string& error,
                                    std::string_view option) {
  const std::string missing = " (planelem.tab is missing)";
  if (!given.empty()) {
    if (holds_tables(given)) return fs::path(given);
    error = "no element tables in " + quoted_text(given) + missing;
    return std::nullopt;
  }
  const std::string variable(TABLES_VARIABLE);
  const char* named = std::getenv(variable.c_str());
  if (named != nullptr && *named != '\0') {
    if (holds_tables(named)) return fs::path(named);
    error = variable + " names " + quoted_text(named) + ", which holds no element tables" + missing;
    return std::nullopt;
  }
  if (holds_tables(".")) return fs::path(".");
  if (!installed.empty() && holds_tables(installed)) return installed;
  error = "no element tables in the working directory";
  if (!installed.empty()) error += " or in " + quoted_text(installed.string());
  error += "; name their directory with ";
  if (!option.empty()) {
    error += option;
    error += " or ";
  }
  error += variable;
  return std::nullopt;
}

}  // namespace kest
