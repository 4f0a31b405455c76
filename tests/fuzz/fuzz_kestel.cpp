// The element table reader on arbitrary table files of all six kinds.
//
// Input: three bytes of set-up, then the table file's bytes; a line "#--#"
// starts the spin-axis table that a planet read goes on to, and a second
// such line the keyboard (the satellite name).
//   byte 0: file code 1 + (b mod 6), or (b mod 64 = 63) a code that names
//           no table (0, 7 or -1); with bit 6 set the table file is absent
//   byte 1: item number: 0..15, or 255 / 254 for the largest / smallest
//           32-bit number
//   byte 2: epoch in centuries: one of a few values, ordinary and extreme
// Each run starts from the program's start state, with the terminal and the
// print unit captured in strings. After the reader alone, the orbit setup
// (option 1) reads the same item with every debug print on, and a few
// ephemeris lines (option 3) are asked for.
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "fuzz_support.hpp"
#include "orbit/korbit.hpp"

namespace {

using namespace kest;

constexpr double kEpochs[] = {0.0, 0.24, -1.0, 3.5, -20.0, 1e6, 1e300, -1e300,
                              std::numeric_limits<double>::infinity(),
                              std::numeric_limits<double>::quiet_NaN()};

std::string table_file(std::int32_t code) {
  std::string name(FNAME[static_cast<std::size_t>(code)]);
  while (!name.empty() && name.back() == ' ') name.pop_back();
  return name;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  kest::fuzz::enter_scratch(argc, argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  std::int32_t IFILE = 1 + data[0] % 6;
  if (data[0] % 64 == 63) IFILE = data[0] < 128 ? 0 : (data[0] < 192 ? 7 : -1);
  const bool absent = (data[0] & 64) != 0;
  std::int32_t IPLAN = data[1] % 16;
  if (data[1] == 255) IPLAN = std::numeric_limits<std::int32_t>::max();
  if (data[1] == 254) IPLAN = std::numeric_limits<std::int32_t>::min();
  const double TCEN = kEpochs[data[2] % std::size(kEpochs)];
  const auto parts = kest::fuzz::split_sections(
      std::string_view(reinterpret_cast<const char*>(data) + 3, size - 3), "#--#", 3);

  kest::fuzz::clear_directory({});
  if (!absent && IFILE >= 1 && IFILE <= 6) kest::fuzz::write_file(table_file(IFILE), parts[0]);
  if (IFILE == 1) kest::fuzz::write_file(table_file(2), parts[1]);

  kest::fuzz::start_program();
  std::string screen;
  std::string print;
  connect_output(6, string_sink(&screen));
  connect_output(3, string_sink(&print));
  connect_input(5, string_source(std::string(parts[2])));

  KestCommon& C = KESTCM;
  double PERIOD = 0.0;
  FixedText<25> TITLE;
  kestel(C.IOP, C.IOD, IFILE, IPLAN, TCEN, C.ODE, C.CLIN, C.ARGP, C.ECC, PERIOD, C.SJA, C.SIDAY,
         C.ZBAB, C.ZBAA, C.TJP, TITLE);
  flush_all();

  // The reader reports on the terminal, closes its data unit and either
  // succeeds or names a failure 1..7.
  FUZZ_CHECK(kestel_ierr() >= 0 && kestel_ierr() <= 7);
  FUZZ_CHECK(screen.rfind(" Entering KESTEL with IFILE,IPLAN=", 0) == 0);
  // The report's second line names the failure number. It is longer than
  // any title the reader echoes, so a title cannot counterfeit it.
  for (std::int32_t ierr = 1; ierr <= 7; ++ierr) {
    const std::string report = "\n ------ Error: ierr " + std::to_string(ierr) + " Last title= ";
    FUZZ_CHECK((screen.find(report) != std::string::npos) == (kestel_ierr() == ierr));
  }
  FUZZ_CHECK((kestel_ierr() == 0) == !print.empty());
  if (IFILE < 1 || IFILE > 6) FUZZ_CHECK(kestel_ierr() == 1);
  if (kestel_ierr() != 0) {
    FUZZ_CHECK(C.ODE == 0.0 && C.CLIN == 0.0 && C.ARGP == 0.0 && C.ECC == 0.0 && PERIOD == 0.0 &&
               C.SJA == 0.0 && C.ZBAB == 0.0 && C.ZBAA == 0.0);
  }

  // A second call of the same kind on the same files goes through the kept
  // working variables.
  connect_input(5, string_source(std::string(parts[2])));
  kestel(0, C.IOD, IFILE, IPLAN, TCEN, C.ODE, C.CLIN, C.ARGP, C.ECC, PERIOD, C.SJA, C.SIDAY, C.ZBAB,
         C.ZBAA, C.TJP, TITLE);

  // The orbit setup of option 1 on the same table, with every debug print,
  // and a few ephemeris lines of whatever body it made.
  std::string answers = std::to_string(IFILE) + "\n" + std::to_string(IPLAN) + "\n";
  if (IFILE == 1) answers += (std::isfinite(TCEN) ? real_text(TCEN) : std::string("0")) + "\n";
  answers += "7\n" + std::string(parts[2]);
  connect_input(5, string_source(answers));
  kestig(TITLE);
  connect_input(5, string_source("3 -4000 1000.5\n-1 0 x\n0\n"));
  ephemr();
  reset_units();
  return 0;
}
