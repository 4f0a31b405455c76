// kestio: menu option 2. The dialogue, the binary records of KESTCM.DAT
// (written and read with pwrite/pread at their offsets, so no other byte of
// the file is touched) and the seven-line ASCII records (appended with one
// write, read back by columns into temporaries before anything is replaced).
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "record/kestcm.hpp"
#include "state/kstate.hpp"
#include "textio/textio.hpp"

namespace kest {
namespace {

constexpr std::int32_t MSEC = 15;                      // highest record number of KESTCM.DAT
constexpr std::size_t RECLEN = 8 * NSAVED;             // bytes per binary record (240)
constexpr const char* BINFILE = "KESTCM.DAT";          // the binary state file
constexpr std::array<std::string_view, 2> FROMTO = {"FROM", " TO "};

// A POSIX descriptor closed when it goes out of scope (release() hands over
// the closing, so that its result can be checked).
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  void reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

// An exclusive advisory lock on an open state file, held until the
// descriptor is closed: a save or restore by another run of the program
// waits for this one to end, so that no record is read half written, no
// rollback removes another run's record, and no line end is decided from a
// file another run is still appending to.
bool lock_file(int fd) {
  int r;
  do {
    r = ::flock(fd, LOCK_EX);
  } while (r != 0 && errno == EINTR);
  return r == 0;
}

// The reason to give for a state file that could not be opened: a FIFO or
// a device is "not a regular file", whatever open(2) said of it.
std::string open_failure(const char* name, int err) {
  struct stat sb {};
  if (::stat(name, &sb) == 0 && !S_ISREG(sb.st_mode) && !S_ISDIR(sb.st_mode)) return "not a regular file";
  return std::strerror(err);
}

// One message on the screen naming the file and why nothing was restored
// or saved.
int failures = 0;  // reports of the current kestio call
void report(bool restore, std::string_view name, std::string_view why) {
  ++failures;
  write_free(KESTCM.IOS, {restore ? "KESTIO: nothing restored from " : "KESTIO: nothing saved to ",
                          name, ": ", why});
}

std::string errtext(int err) { return std::strerror(err); }

// Little-endian IEEE bytes of positions 1-30, and back; independent of the
// host's byte order.
// Positions 1-30 of the state record.
StateValues saved_positions() {
  StateValues v{};
  for (int k = 1; k <= NSAVED; ++k) v[static_cast<std::size_t>(k - 1)] = KESTCM.pos(k);
  return v;
}

// Read up to n bytes at offset off; the count read (short at the end of the
// file), or -1 with errno set.
ssize_t pread_full(int fd, unsigned char* p, std::size_t n, off_t off) {
  std::size_t got = 0;
  while (got < n) {
    const ssize_t r = ::pread(fd, p + got, n - got, off + static_cast<off_t>(got));
    if (r < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (r == 0) break;
    got += static_cast<std::size_t>(r);
  }
  return static_cast<ssize_t>(got);
}

// Write all n bytes at offset off (or, with off < 0, at the end of a file
// opened for appending); false with errno set when they could not all be
// written.
bool write_full(int fd, const char* p, std::size_t n, off_t off) {
  std::size_t put = 0;
  while (put < n) {
    const ssize_t r = off < 0 ? ::write(fd, p + put, n - put)
                              : ::pwrite(fd, p + put, n - put, off + static_cast<off_t>(put));
    if (r < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (r == 0) {
      errno = ENOSPC;
      return false;
    }
    put += static_cast<std::size_t>(r);
  }
  return true;
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
  const int flags = (restore ? O_RDONLY : O_WRONLY) | O_CREAT | O_CLOEXEC | O_NONBLOCK;
  Fd fd(::open(BINFILE, flags, 0666));
  const int open_err = errno;

  std::int32_t ISEC = 0;
  for (;;) {
    const auto question = [] { write_free(KESTCM.IOS, {" ?* RECORD IN FILE KESTCM.DAT?"}); };
    if (ask(KESTCM.IOK, question, {ISEC}) == ReadStatus::end_of_file) return;
    if (ISEC >= 1 && ISEC <= MSEC) break;
    write_free(KESTCM.IOS, {"MAXIMUM RECORD =", MSEC});
  }

  if (fd.get() < 0) {
    report(restore, BINFILE, open_failure(BINFILE, open_err));
    return;
  }
  struct stat sb {};
  if (::fstat(fd.get(), &sb) == 0 && S_ISREG(sb.st_mode) && !lock_file(fd.get())) {
    report(restore, BINFILE, errtext(errno));
    return;
  }
  if (::fstat(fd.get(), &sb) != 0) {
    report(restore, BINFILE, errtext(errno));
    return;
  }
  if (!S_ISREG(sb.st_mode)) {
    report(restore, BINFILE, "not a regular file");
    return;
  }
  const off_t off = static_cast<off_t>(ISEC - 1) * static_cast<off_t>(RECLEN);
  const std::string rec = "record " + std::to_string(ISEC);

  if (restore) {
    std::array<unsigned char, RECLEN> b{};
    const ssize_t got = pread_full(fd.get(), b.data(), b.size(), off);
    if (got < 0) {
      report(restore, BINFILE, errtext(errno));
      return;
    }
    if (got == 0) {
      report(restore, BINFILE,
             rec + " lies beyond the end of the file (" + std::to_string(sb.st_size) + " bytes)");
      return;
    }
    if (static_cast<std::size_t>(got) < RECLEN) {
      report(restore, BINFILE, "the file ends inside " + rec);
      return;
    }
    const StateValues v = decode_binary_record(b);
    for (int k = 1; k <= NSAVED; ++k) KESTCM.pos(k) = v[static_cast<std::size_t>(k - 1)];
    TITLE.set("From Binary: unknown");
  } else {
    const std::array<unsigned char, RECLEN> b = encode_binary_record(saved_positions());
    const bool ok = write_full(fd.get(), reinterpret_cast<const char*>(b.data()), b.size(), off);
    const int write_err = errno;
    if (!ok) {
      // Give back whatever the failed write added beyond the old end.
      if (sb.st_size < off + static_cast<off_t>(RECLEN)) {
        [[maybe_unused]] const int r = ::ftruncate(fd.get(), sb.st_size);
      }
      report(restore, BINFILE, errtext(write_err));
      return;
    }
    if (::close(fd.release()) != 0) {
      report(restore, BINFILE, errtext(errno));
      return;
    }
  }
  confirm_binary(restore, ISEC);
}

// Step 8: read the first record of the named file into temporaries and take
// it over only when all of it was read.
bool ascii_restore(const std::string& name, FixedText<25>& TITLE) {
  struct stat sb {};
  if (::stat(name.c_str(), &sb) != 0) {
    report(true, name, errtext(errno));
    return false;
  }
  if (S_ISDIR(sb.st_mode)) {
    report(true, name, errtext(EISDIR));
    return false;
  }
  if (!S_ISREG(sb.st_mode)) {
    report(true, name, "not a regular file");
    return false;
  }
  // The lock is taken on a descriptor of its own; the record is read
  // while it is held.
  Fd lock(::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (lock.get() >= 0 && !lock_file(lock.get())) {
    report(true, name, errtext(errno));
    return false;
  }
  std::string why;
  const std::unique_ptr<LineSource> src = open_source(name, &why);
  if (!src) {
    report(true, name, why);
    return false;
  }
  const std::optional<AsciiRecord> rec = read_ascii_record(*src, why);
  if (!rec) {
    report(true, name, why);
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
  bool readable = true;
  struct stat before {};
  const bool existed = ::lstat(name.c_str(), &before) == 0;
  Fd fd(::open(name.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666));
  if (fd.get() < 0 && errno == EACCES) {
    readable = false;
    fd.reset(::open(name.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666));
  }
  if (fd.get() < 0) {
    report(false, name, open_failure(name.c_str(), errno));
    return false;
  }
  // A file this save made, and left empty because the save failed, goes.
  const auto fail = [&](const std::string& why) {
    struct stat now {};
    if (!existed && ::fstat(fd.get(), &now) == 0 && now.st_size == 0) ::unlink(name.c_str());
    report(false, name, why);
    return false;
  };
  struct stat sb {};
  if (::fstat(fd.get(), &sb) != 0) return fail(errtext(errno));
  if (!S_ISREG(sb.st_mode)) return fail("not a regular file");
  // The size is taken under the lock: what lies beyond it after a failed
  // write is this save's own.
  if (!lock_file(fd.get()) || ::fstat(fd.get(), &sb) != 0) return fail(errtext(errno));

  const auto I = static_cast<std::int32_t>(TITLE.trimmed().size());
  write_free(6, {"KESTIO@30 >", TITLE, "<", I});

  std::string lines;
  // A file whose last line lacks its line end gets one, so that the new
  // record starts on a line of its own.
  if (readable && sb.st_size > 0) {
    unsigned char last = '\n';
    if (pread_full(fd.get(), &last, 1, sb.st_size - 1) == 1 && last != '\n') lines = "\n";
  }
  lines += ascii_record(saved_positions(), KESTCM.VERSID.view(), KESTCM.RUNTIME.view(),
                        std::string_view(TITLE.data(), static_cast<std::size_t>(I)));
  if (!write_full(fd.get(), lines.data(), lines.size(), -1)) {
    const int err = errno;
    [[maybe_unused]] const int r = ::ftruncate(fd.get(), sb.st_size);
    return fail(errtext(err));
  }
  if (::close(fd.release()) != 0) {
    report(false, name, errtext(errno));
    return false;
  }
  return true;
}

// Steps 7-10: the ASCII state file.
void ascii_file(bool restore, FixedText<25>& TITLE) {
  // Each attempt starts again from the default name.
  FixedText<30> FNAME;
  const auto question = [&FNAME] {
    FNAME.set("KESTCM.mat");
    write_free(KESTCM.IOS, {" ?* NAME OF ASCII OUTPUT FILE; DEFAULT IS ", FNAME});
  };
  if (ask(KESTCM.IOK, question, {FNAME}) == ReadStatus::end_of_file) return;
  const std::string name(FNAME.trimmed());
  if (name.empty()) {
    report(restore, "''", "no file name given");
    return;
  }
  if (name.find('\0') != std::string::npos) {
    report(restore, name, "a file name cannot hold a zero byte");
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
