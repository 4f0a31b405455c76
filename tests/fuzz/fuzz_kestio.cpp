// State restore (option 2) from arbitrary binary and ASCII state files, and
// what the program then does with whatever was restored.
//
// Input: two bytes of set-up, then the state file's bytes.
//   byte 0: bit 0 clear: binary "KESTCM.DAT", set: ASCII "KESTCM.mat";
//           bits 1-2 pick the first date of the ephemeris run afterwards
//   byte 1: binary: record 1 + (b mod 16) (16 is refused, then the
//           keyboard ends); ASCII: the default name kept by a slash or by
//           a lone comma
// The dialogue is scripted. A restore that is not confirmed must leave the
// record and the title as they were; a confirmed binary restore holds the
// record's bits. The state is then listed (option 4), its matrix tested
// (option 5), four ephemeris lines asked for (option 3), and it is saved
// and restored again: a binary record returns bit for bit, and an ASCII
// record saved, restored and saved again gives the same body lines.
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_support.hpp"
#include "math/kmath.hpp"
#include "orbit/korbit.hpp"
#include "state/kstate.hpp"

namespace {

using namespace kest;

struct Memory {
  std::uint64_t bits[NSAVED] = {};
  FixedText<25> title;
  bool operator==(const Memory& o) const {
    return std::memcmp(bits, o.bits, sizeof bits) == 0 && title == o.title;
  }
};

Memory snapshot(const FixedText<25>& title) {
  Memory m;
  for (int k = 1; k <= NSAVED; ++k) m.bits[k - 1] = std::bit_cast<std::uint64_t>(KESTCM.pos(k));
  m.title = title;
  return m;
}

std::string print;

// One call of kestio with the given answers; true when it confirmed its
// work on the print unit.
bool option2(const std::string& answers, FixedText<25>& TITLE) {
  connect_input(5, string_source(answers));
  flush_all();
  const std::size_t before = print.size();
  kestio(TITLE);
  flush_all();
  return print.size() > before;
}

bool digits_kept(double x) { return x == 0.0 || !std::isfinite(x) || std::isnormal(x); }

// Lines 2-7 of the first record of an ASCII state file.
std::string body_lines(const std::string& text) {
  const std::size_t nl = text.find('\n');
  return nl == std::string::npos ? std::string() : text.substr(nl + 1);
}

constexpr double kDates[] = {0.0, 8766.25, -7.3e5, 3.0e7};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  kest::fuzz::enter_scratch(argc, argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const bool ascii = (data[0] & 1) != 0;
  const double date = kDates[(data[0] >> 1) & 3];
  const std::int32_t record = 1 + data[1] % 16;
  const std::string_view file(reinterpret_cast<const char*>(data) + 2, size - 2);

  kest::fuzz::clear_directory({});
  kest::fuzz::write_file(ascii ? "KESTCM.mat" : "KESTCM.DAT", file);

  kest::fuzz::start_program();
  std::string screen;
  print.clear();
  connect_output(6, string_sink(&screen));
  connect_output(3, string_sink(&print));

  // A recognisable state and title, so that a change shows.
  for (int k = 1; k <= NSAVED; ++k) KESTCM.pos(k) = 0.5 + k;
  FixedText<25> TITLE;
  TITLE.set("before the restore");
  const Memory before = snapshot(TITLE);

  std::string answers = "1\n";
  if (ascii) {
    answers += (data[1] & 1) != 0 ? "2\n,\n" : "2\n/\n";
  } else {
    answers += "1\n" + std::to_string(record) + "\n";
  }
  const bool restored = option2(answers, TITLE);
  if (!restored) {
    FUZZ_CHECK(snapshot(TITLE) == before);
  } else if (!ascii) {
    FUZZ_CHECK(record <= 15 && file.size() >= 240u * static_cast<std::size_t>(record));
    const std::size_t at = 240u * static_cast<std::size_t>(record - 1);
    for (int k = 1; k <= NSAVED; ++k) {
      std::uint64_t u = 0;
      for (std::size_t j = 0; j < 8; ++j)
        u |= static_cast<std::uint64_t>(static_cast<unsigned char>(file[at + 8 * (k - 1) + j])) << (8 * j);
      FUZZ_CHECK(std::bit_cast<std::uint64_t>(KESTCM.pos(k)) == u);
    }
  }

  // Options 4, 5 and 3 on the state as it now is.
  write_free(KESTCM.IOP, {"Object = ", TITLE});
  prtpcom(3);
  double der = 0.0;
  double dev = 0.0;
  rotsho("BFRM", KESTCM.BFRM, KESTCM.IOP);
  rotest(KESTCM.BFRM, der, dev);
  write_free(KESTCM.IOP, {"Delta Determ., max Dev =", der, dev});
  connect_input(5, string_source("4 " + real_text(date) + " 30.5\n-1 0 'restored'\n2 -3e4 -1000\n-2 0 T\n0\n"));
  ephemr();

  // Binary save and restore: bit for bit, in a fresh file (the input may
  // be text, which takes no binary record).
  const Memory state = snapshot(TITLE);
  std::remove("KESTCM.DAT");
  FUZZ_CHECK(option2("2\n1\n2\n", TITLE));
  for (int k = 1; k <= NSAVED; ++k) KESTCM.pos(k) = -1.0;
  FUZZ_CHECK(option2("1\n1\n2\n", TITLE));
  Memory back = snapshot(TITLE);
  back.title = state.title;
  FUZZ_CHECK(back == state);

  // ASCII save, restore, save: the same body lines.
  FUZZ_CHECK(option2("2\n2\n'first.mat'\n", TITLE));
  FUZZ_CHECK(option2("1\n2\nfirst.mat\n", TITLE));
  bool kept = true;
  for (int k = 1; k <= NSAVED; ++k) kept = kept && digits_kept(std::bit_cast<double>(state.bits[k - 1]));
  FUZZ_CHECK(option2("3\n9\nsecond.mat\n", TITLE));
  if (kept) {
    FUZZ_CHECK(body_lines(kest::fuzz::read_file("first.mat")) ==
               body_lines(kest::fuzz::read_file("second.mat")));
  }
  reset_units();
  return 0;
}
