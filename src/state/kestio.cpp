// kestio: menu option 2. The dialogue, its messages and confirmations; the
// state files themselves are opened, locked, read and written through the
// functions of "State files on disk" (statefile.cpp), and a restore reads
// into temporaries before anything is replaced.
#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "record/kestcm.hpp"
#include "state/kstate.hpp"
#include "textio/textio.hpp"

namespace kest {
namespace {

constexpr std::int32_t MSEC = 15;                      // highest record number of KESTCM.DAT
constexpr const char* BINFILE = "KESTCM.DAT";          // the binary state file
constexpr std::array<std::string_view, 2> FROMTO = {"FROM", " TO "};

// One message on the screen naming the file and why nothing was restored
// or saved.
int failures = 0;  // reports of the current kestio call
void report(bool restore, std::string_view name, std::string_view why) {
  ++failures;
  write_free(KESTCM.IOS, {restore ? "KESTIO: nothing restored from " : "KESTIO: nothing saved to ",
                          name, ": ", why});
}

// Binary record confirmation: 64 characters, then one empty line.
void confirm_binary(bool restore, std::int32_t ISEC) {
  static const Format f{"('0KESTIO: /KESTCM/ ',A4,' KESTCM.DAT RECORD',I2,'  IPLAN,TC=',F5.1,F6.3/)"};
  write_fmt(KESTCM.IOP, f, {FROMTO[restore ? 0 : 1], ISEC, KESTCM.PLANUM, KESTCM.TC});
}

// Steps 3-6: the binary state file. The file is opened (and created) before
// the record question; a failure to open is reported after it, so that the
// dialogue has the same shape whatever happens to the file.
void binary_file(bool restore, FixedText<25>& TITLE) {
  StateError e;
  StateFile file = open_state_file(BINFILE, StateKind::binary, restore ? StateUse::restore : StateUse::save,
                                   true, e);

  std::int32_t ISEC = 0;
  for (;;) {
    const auto question = [] { write_free(KESTCM.IOS, {" ?* RECORD IN FILE KESTCM.DAT?"}); };
    if (ask(KESTCM.IOK, question, {ISEC}) == ReadStatus::end_of_file) return;
    if (ISEC >= 1 && ISEC <= MSEC) break;
    write_free(KESTCM.IOS, {"MAXIMUM RECORD =", MSEC});
  }

  if (!file.is_open()) {
    report(restore, BINFILE, e.why);
    return;
  }
  if (restore) {
    const std::optional<StateValues> v = read_binary_state(file, ISEC, e);
    if (!v) {
      report(restore, BINFILE, e.why);
      return;
    }
    for (int k = 1; k <= NSAVED; ++k) KESTCM.pos(k) = (*v)[static_cast<std::size_t>(k - 1)];
    TITLE.set("From Binary: unknown");
  } else if (!write_binary_state(file, ISEC, saved_values(KESTCM), e)) {
    report(restore, BINFILE, e.why);
    return;
  }
  confirm_binary(restore, ISEC);
}

// Step 8: read the first record of the named file into temporaries and take
// it over only when all of it was read.
bool ascii_restore(const std::string& name, FixedText<25>& TITLE) {
  StateError e;
  StateFile file = open_state_file(name, StateKind::text, StateUse::restore, false, e);
  if (!file.is_open()) {
    report(true, name, e.why);
    return false;
  }
  const std::optional<AsciiRecord> rec = read_text_state(file, e);
  if (!rec) {
    report(true, name, e.why);
    return false;
  }
  const StateValues& v = rec->values;
  for (int k = 1; k <= NSAVED; ++k) KESTCM.pos(k) = v[static_cast<std::size_t>(k - 1)];
  KESTCM.RUNTIME = rec->runtime;
  TITLE.set(rec->title.view());
  return true;
}

// Whether a file name names one of the program's own files, which a text
// record would damage: the open print file, or the binary state file.
const char* own_file(const std::string& name) {
  namespace fs = std::filesystem;
  const auto resolved = [](const fs::path& p, std::error_code& e) {
    const fs::path a = fs::absolute(p, e);
    return e ? fs::path() : fs::weakly_canonical(a, e);
  };
  std::error_code ec;
  const fs::path path = resolved(name, ec);
  if (ec) return nullptr;
  const auto same = [&](const char* other) {
    std::error_code e;
    return resolved(other, e) == path && !e;
  };
  if (KESTCM.IOP != KESTCM.IOS && same("kest.prt")) return "it is the open print file kest.prt";
  if (same(BINFILE)) return "it is the binary state file KESTCM.DAT";
  return nullptr;
}

// Step 9: append one seven-line record with a single write. A record that
// could not be written whole is cut off again, so the earlier records stay
// as they were.
bool ascii_save(const std::string& name, const FixedText<25>& TITLE) {
  if (const char* own = own_file(name)) {
    report(false, name, own);
    return false;
  }
  const auto I = static_cast<std::int32_t>(TITLE.trimmed().size());
  const std::string_view title(TITLE.data(), static_cast<std::size_t>(I));
  // A line end in a text would split the record.
  if (const std::string why = record_text_fault(title); !why.empty()) {
    report(false, name, "the title " + why);
    return false;
  }
  if (const std::string why = record_text_fault(KESTCM.RUNTIME.view()); !why.empty()) {
    report(false, name, "the run stamp " + why);
    return false;
  }
  StateError e;
  StateFile file = open_state_file(name, StateKind::text, StateUse::save, true, e);
  if (!file.is_open() || !lock_state_file(file, e)) {
    report(false, name, e.why);
    return false;
  }
  write_free(6, {"KESTIO@30 >", TITLE, "<", I});
  if (!append_text_state(file, saved_values(KESTCM), KESTCM.VERSID.view(), KESTCM.RUNTIME.view(), title, e)) {
    report(false, name, e.why);
    return false;
  }
  return true;
}

// Why the answer to the name question (the raw line that held it) does
// not give the file it names, or "" when the name read is the name typed.
// Two cuts would otherwise pass unseen: a slash ends a free-format read, so
// an unquoted path reads as far as its first slash ("/data/x/mars.mat" as
// a lone slash, which keeps the default; "data/x/mars.mat" as "data"); and
// FNAME keeps only its first 30 characters. A lone slash, with or without a
// comment after a blank, and slashes that only end a name ("mars.mat/")
// cut nothing.
std::string name_answer_fault(std::string_view line) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  std::size_t i = 0;
  while (i < line.size() && blank(line[i])) ++i;
  std::string name;      // the name as typed
  bool slashed = false;  // an unquoted name that a slash would cut short
  if (i < line.size() && (line[i] == '\'' || line[i] == '"')) {
    // A quoted name runs to its closing mark; a doubled mark is one mark.
    const char mark = line[i++];
    for (; i < line.size(); ++i) {
      if (line[i] == mark) {
        if (i + 1 >= line.size() || line[i + 1] != mark) break;
        ++i;
      }
      name += line[i];
    }
  } else {
    const std::size_t start = i;
    while (i < line.size() && !blank(line[i]) && line[i] != ',') ++i;
    name = line.substr(start, i - start);
    while (!name.empty() && name.back() == '/') name.pop_back();
    slashed = name.find('/') != std::string::npos;
  }
  const std::string way_out = " (a lone / keeps KESTCM.mat)";
  if (name.size() > FixedText<30>::size()) {
    return "File names hold at most 30 characters: " + quoted_text(name) + " has " + std::to_string(name.size()) +
           way_out;
  }
  if (slashed) return "Unquoted names end at a slash: " + quoted_text(name) + " must be quoted" + way_out;
  return {};
}

// Steps 7-10: the ASCII state file.
void ascii_file(bool restore, FixedText<25>& TITLE) {
  // Each attempt starts again from the default name.
  FixedText<30> FNAME;
  const auto question = [&FNAME] {
    FNAME.set("KESTCM.mat");
    write_free(KESTCM.IOS, {" ?* NAME OF ASCII OUTPUT FILE; DEFAULT IS ", FNAME});
  };
  // A name the read would cut is refused, and the question comes again.
  for (;;) {
    if (ask(KESTCM.IOK, question, {FNAME}) == ReadStatus::end_of_file) return;
    const std::string fault = name_answer_fault(last_line(KESTCM.IOK));
    if (fault.empty()) break;
    write_free(KESTCM.IOS, {fault});
  }
  const std::string name(FNAME.trimmed());
  if (const std::string why = state_name_fault(name); !why.empty()) {
    report(restore, name.empty() ? "''" : name, why);
    return;
  }
  const bool done = restore ? ascii_restore(name, TITLE) : ascii_save(name, TITLE);
  if (done) write_free(KESTCM.IOP, {" ASCII RECORD ", FROMTO[restore ? 0 : 1], " FILE =", FNAME});
}

// Closes the data unit on every return from kestio.
struct CloseDataUnit {
  ~CloseDataUnit() { close_unit(KESTCM.IOD); }
};

}  // namespace

bool kestio(FixedText<25>& TITLE) {
  const CloseDataUnit closer;
  failures = 0;

  // The operation is asked until it is positive.
  std::int32_t IO = 0;
  do {
    const auto question = [] { write_free(KESTCM.IOS, {" ?* 1=READ FROM FILE  2=SAVE NEW RECORD"}); };
    if (ask(KESTCM.IOK, question, {IO}) == ReadStatus::end_of_file) return true;
  } while (IO <= 0);
  const bool restore = IO == 1;

  std::int32_t ITYPE = 0;
  const auto kind = [] { write_free(KESTCM.IOS, {" ?* 1=BINARY (UNFORMATTED)   2=ASCII (FORMATTED)"}); };
  if (ask(KESTCM.IOK, kind, {ITYPE}) == ReadStatus::end_of_file) return true;

  if (ITYPE >= 2) {
    ascii_file(restore, TITLE);
  } else {
    binary_file(restore, TITLE);
  }
  return failures == 0;
}

}  // namespace kest
