// The whole menu dialogue on arbitrary keyboard input, in a scratch
// directory holding the shipped element tables.
//
// Each run starts from the program's start state with the keyboard and the
// screen connected to strings. Between runs the directory is brought back
// to the tables alone (a run may create state files, or append a record to
// a table through an ASCII save). Two guards keep runs short and inside the
// scratch directory:
// - "kest.prt" is a directory, so the print file cannot be opened and the
//   printed output joins the screen, which stops a run once it has written
//   more than a megabyte (an ephemeris of a million dates is a long
//   run, not a hang);
// - an input in which a slash follows a quotation mark on one line is not
//   run: only a quoted file name can hold a slash, and the program writes
//   where such a name points.
#include <sys/stat.h>

#include <cstdint>
#include <set>
#include <string>
#include <string_view>

#include "fuzz_support.hpp"

namespace {

using namespace kest;

constexpr std::size_t kScreenLimit = 1u << 20;

bool quoted_slash(std::string_view text) {
  bool quote = false;
  for (char c : text) {
    if (c == '\n') quote = false;
    if (c == '\'' || c == '"') quote = true;
    if (c == '/' && quote) return true;
  }
  return false;
}

const std::set<std::string>& kept_entries() {
  static const std::set<std::string> keep = [] {
    std::set<std::string> k;
    for (const auto& [name, text] : kest::fuzz::shipped_tables()) k.insert(name);
    k.insert("kest.prt");
    return k;
  }();
  return keep;
}

// The tables as shipped, and nothing else but the blocked print file.
void lay_out_directory() {
  kest::fuzz::clear_directory(kept_entries());
  for (const auto& [name, text] : kest::fuzz::shipped_tables()) {
    struct stat st {};
    if (::stat(name.c_str(), &st) != 0 || static_cast<std::size_t>(st.st_size) != text.size())
      kest::fuzz::write_file(name, text);
  }
  struct stat st {};
  if (::stat("kest.prt", &st) != 0 && ::mkdir("kest.prt", 0755) != 0) kest::fuzz::fail("cannot block kest.prt");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  kest::fuzz::enter_scratch(argc, argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  if (quoted_slash(input)) return -1;
  lay_out_directory();

  reset_program();
  std::string screen;
  connect_input(5, string_source(std::string(input)));
  connect_output(6, std::make_unique<kest::fuzz::LimitedSink>(&screen, kScreenLimit));
  try {
    const int status = kestmn();
    // 1 exactly when some work of the run failed, and the screen said so.
    const bool failed = screen.find("Set-up failed: the state is unchanged") != std::string::npos ||
                        screen.find("KESTIO: nothing ") != std::string::npos ||
                        screen.find("The state cannot give ephemerides: ") != std::string::npos ||
                        screen.find("Cannot open print file kest.prt") != std::string::npos ||
                        screen.find("Print file kest.prt could not be written") != std::string::npos;
    FUZZ_CHECK(status == 0 || status == 1);
    if (status == 1) FUZZ_CHECK(failed);
    FUZZ_CHECK(screen.rfind(" ?* OUTPUT TO PRINTER OR TERMINAL: [P]/T?\n", 0) == 0);
  } catch (const kest::fuzz::OutputLimit&) {
  }
  reset_units();
  return 0;
}
