// State files on disk: the open that follows no link and takes only regular
// files, the lock, the binary records (read and written with pread/pwrite at
// their offsets, so no other byte of the file is touched), the text records
// (appended with one write, read while the lock is held), and the rollback
// of a write that failed.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "state/kstate.hpp"
#include "textio/textio.hpp"

namespace kest {

namespace {

// Opens and locks that find the name replaced meanwhile try again this often.
constexpr int OPEN_TRIES = 8;

StateError system_error(int err) { return {std::strerror(err), err}; }
StateError link_error() { return {"it is a symbolic link", ELOOP}; }

// The reason to refuse what lstat or fstat found, or "" for a regular file.
StateError kind_error(const struct stat& sb) {
  if (S_ISLNK(sb.st_mode)) return link_error();
  if (S_ISDIR(sb.st_mode)) return system_error(EISDIR);
  if (!S_ISREG(sb.st_mode)) return {"not a regular file", 0};
  return {};
}

bool same_file(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// The final part of a name ("KESTCM.DAT" of "dir/KESTCM.DAT").
std::string_view base_name(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
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
// opened for appending), continuing after a short write; false with errno
// set when they could not all be written (ENOSPC when the system wrote
// nothing and named no reason).
bool write_full(int fd, const unsigned char* p, std::size_t n, off_t off) {
  std::size_t put = 0;
  while (put < n) {
    const ssize_t r = off < 0 ? ::write(fd, p + put, n - put)
                              : ::pwrite(fd, p + put, n - put, off + static_cast<off_t>(put));
    if (r < 0) {
      if (errno == EINTR) continue;
      if (errno == 0) errno = EIO;
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

}  // namespace

// The functions of the header, with access to StateFile's descriptor.
struct StateFileOps {
  // open(2) flags for the file's use; for a save, read access too when the
  // file allows it (for the checks of what it holds).
  static int flags(const StateFile& f, bool with_read) {
    if (f.use_ == StateUse::restore) return O_RDONLY;
    const int rw = with_read ? O_RDWR : O_WRONLY;
    return f.kind_ == StateKind::text ? (rw | O_APPEND) : rw;
  }

  // One open of the name into f (closed before); false with the reason.
  static bool open_name(StateFile& f, StateError& e) {
    f.close_quietly();
    f.created_ = false;
    const char* name = f.path_.c_str();
    for (int attempt = 0; attempt < OPEN_TRIES; ++attempt) {
      struct stat ls {};
      int fd = -1;
      if (::lstat(name, &ls) == 0) {
        if (e = kind_error(ls); !e.why.empty()) return false;
        const int base = O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW;
        bool readable = true;
        fd = ::open(name, flags(f, true) | base);
        if (fd < 0 && errno == EACCES && f.use_ == StateUse::save) {
          readable = false;
          fd = ::open(name, flags(f, false) | base);
        }
        if (fd < 0) {
          if (errno == ENOENT) continue;  // removed since: look again
          const int err = errno;
          struct stat again {};
          e = err == ELOOP && ::lstat(name, &again) == 0 && S_ISLNK(again.st_mode) ? link_error()
                                                                                   : system_error(err);
          return false;
        }
        f.readable_ = readable;
      } else if (errno == ENOENT && f.create_) {
        // O_EXCL: the file is this open's own, and no link is followed.
        fd = ::open(name, flags(f, true) | O_CREAT | O_EXCL | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW, 0666);
        if (fd < 0) {
          if (errno == EEXIST) continue;  // made by someone else since
          e = system_error(errno);
          return false;
        }
        f.created_ = true;
        f.readable_ = true;
      } else {
        e = system_error(errno);
        return false;
      }
      f.fd_ = fd;
      struct stat sb {};
      if (::fstat(fd, &sb) != 0) {
        e = system_error(errno);
        f.close_quietly();
        return false;
      }
      if (e = kind_error(sb); !e.why.empty()) {
        f.close_quietly();
        return false;
      }
      // Once it is known to be a regular file, reads and writes may wait.
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
      return true;
    }
    e = {"the file was replaced again and again while it was opened", EAGAIN};
    return false;
  }

  static StateFile open(const std::string& path, StateKind kind, StateUse use, bool create, StateError& e) {
    StateFile f;
    e = {};
    if (std::string why = state_name_fault(path); !why.empty()) {
      e = {why, 0};
      return f;
    }
    if (kind == StateKind::text && use == StateUse::save && base_name(path) == "KESTCM.DAT") {
      e = {"it is named like the binary state file KESTCM.DAT", 0};
      return f;
    }
    f.path_ = path;
    f.kind_ = kind;
    f.use_ = use;
    f.create_ = create;
    open_name(f, e);
    return f;
  }

  // A file this save created and that is still empty goes again (the lock is
  // held, so no other run has written to it).
  static void remove_if_new(StateFile& f) {
    if (!f.created_ || f.use_ != StateUse::save || f.fd_ < 0) return;
    struct stat sb {}, ls {};
    if (::fstat(f.fd_, &sb) == 0 && sb.st_size == 0 && ::lstat(f.path_.c_str(), &ls) == 0 && same_file(sb, ls))
      ::unlink(f.path_.c_str());
  }

  // A failure after the open: the reason, and the file closed (a new empty
  // one removed).
  static bool fail(StateFile& f, StateError& e, StateError why) {
    remove_if_new(f);
    f.close_quietly();
    e = std::move(why);
    return false;
  }

  static bool lock(StateFile& f, StateError& e) {
    if (f.fd_ < 0) {
      e = {"the file is not open", EBADF};
      return false;
    }
    if (f.locked_) return true;
    struct stat sb {};
    for (int attempt = 0;; ++attempt) {
      int r;
      do {
        r = ::flock(f.fd_, LOCK_EX);
      } while (r != 0 && errno == EINTR);
      if (r != 0 || ::fstat(f.fd_, &sb) != 0) {
        e = system_error(errno);
        f.close_quietly();
        return false;
      }
      // The name must still be this file: another run may have removed it
      // (a failed save of a new file) or put another in its place while
      // this one waited.
      struct stat ls {};
      if (::lstat(f.path_.c_str(), &ls) == 0 && same_file(sb, ls)) break;
      if (attempt + 1 == OPEN_TRIES) return fail(f, e, {"the file was replaced again and again while it was opened", EAGAIN});
      if (!open_name(f, e)) return false;
    }
    f.size_ = static_cast<long long>(sb.st_size);
    f.locked_ = true;

    // Text and binary records are not mixed. A binary restore takes the 240
    // bytes at the record's place whatever the file holds.
    if (f.readable_ && f.size_ > 0 && !(f.kind_ == StateKind::binary && f.use_ == StateUse::restore)) {
      unsigned char head[TEXT_PROBE_BYTES] = {};
      const ssize_t got = pread_full(f.fd_, head, sizeof head, 0);
      if (got < 0) return fail(f, e, system_error(errno));
      const bool text = holds_text(std::string_view(reinterpret_cast<const char*>(head), static_cast<std::size_t>(got)));
      if (f.kind_ == StateKind::text && !text) return fail(f, e, {"it holds binary state records, not text", 0});
      if (f.kind_ == StateKind::binary && text) return fail(f, e, {"it holds text, not binary state records", 0});
    }
    return true;
  }

  // Close, reporting what close(2) says (a write the system could not
  // complete may show only here).
  static bool close_checked(StateFile& f, StateError& e) {
    const int fd = f.fd_;
    f.fd_ = -1;
    f.locked_ = false;
    if (::close(fd) != 0 && errno != EINTR) {
      e = system_error(errno);
      return false;
    }
    return true;
  }

  static std::string record_name(std::int32_t n) { return "record " + std::to_string(n); }

  static bool record_number(std::int32_t n, StateError& e) {
    if (n >= 1 && n <= STATE_RECORDS) return true;
    e = {"there is no " + record_name(n) + ": the records are numbered 1 to " + std::to_string(STATE_RECORDS), 0};
    return false;
  }

  static std::optional<StateValues> read_binary(StateFile& f, std::int32_t n, StateError& e) {
    if (!record_number(n, e) || !lock(f, e)) return std::nullopt;
    const off_t off = static_cast<off_t>(n - 1) * static_cast<off_t>(STATE_RECORD_BYTES);
    std::array<unsigned char, STATE_RECORD_BYTES> b{};
    const ssize_t got = pread_full(f.fd_, b.data(), b.size(), off);
    if (got < 0) {
      e = system_error(errno);
      return std::nullopt;
    }
    if (got == 0) {
      e = {record_name(n) + " lies beyond the end of the file (" + std::to_string(f.size_) + " bytes)", 0};
      return std::nullopt;
    }
    if (static_cast<std::size_t>(got) < b.size()) {
      e = {"the file ends inside " + record_name(n), 0};
      return std::nullopt;
    }
    return decode_binary_record(b);
  }

  static bool write_binary(StateFile& f, std::int32_t n, const StateValues& v, StateError& e) {
    if (!lock(f, e)) return false;
    if (!record_number(n, e)) {
      StateError why = std::move(e);
      return fail(f, e, std::move(why));
    }
    const off_t off = static_cast<off_t>(n - 1) * static_cast<off_t>(STATE_RECORD_BYTES);
    const off_t size = static_cast<off_t>(f.size_);
    // The bytes the record replaces, to put back if the write fails.
    std::array<unsigned char, STATE_RECORD_BYTES> old{};
    ssize_t kept = 0;
    if (f.readable_ && size > off) {
      kept = pread_full(f.fd_, old.data(), old.size(), off);
      if (kept < 0) return fail(f, e, system_error(errno));
    }
    const std::array<unsigned char, STATE_RECORD_BYTES> b = encode_binary_record(v);
    if (!write_full(f.fd_, b.data(), b.size(), off)) {
      const int err = errno;
      if (kept > 0) {
        [[maybe_unused]] const bool back = write_full(f.fd_, old.data(), static_cast<std::size_t>(kept), off);
      }
      if (size < off + static_cast<off_t>(b.size())) {
        [[maybe_unused]] const int r = ::ftruncate(f.fd_, size);
      }
      return fail(f, e, system_error(err));
    }
    return close_checked(f, e);
  }

  static std::optional<AsciiRecord> read_text(StateFile& f, StateError& e) {
    if (!lock(f, e)) return std::nullopt;
    if (::lseek(f.fd_, 0, SEEK_SET) < 0) {
      e = system_error(errno);
      return std::nullopt;
    }
    // The lines come from the locked descriptor itself.
    const std::unique_ptr<LineSource> src = fd_source(f.fd_, false);
    std::string why;
    std::optional<AsciiRecord> rec = read_ascii_record(*src, why);
    if (!rec) e = {why, 0};
    return rec;
  }

  static bool append_text(StateFile& f, const StateValues& v, std::string_view versid, std::string_view runtime,
                          std::string_view title, StateError& e) {
    if (!lock(f, e)) return false;
    if (runtime.size() != 20) return fail(f, e, {"the run stamp is not 20 characters", 0});
    if (const std::string why = record_text_fault(runtime); !why.empty()) return fail(f, e, {"the run stamp " + why, 0});
    if (const std::string why = record_text_fault(title); !why.empty()) return fail(f, e, {"the title " + why, 0});
    std::string lines;
    // A file whose last line lacks its line end gets one, so that the new
    // record starts on a line of its own.
    if (f.readable_ && f.size_ > 0) {
      unsigned char last = '\n';
      const ssize_t got = pread_full(f.fd_, &last, 1, static_cast<off_t>(f.size_ - 1));
      if (got < 0) return fail(f, e, system_error(errno));
      if (got == 1 && last != '\n') lines = "\n";
    }
    lines += ascii_record(v, versid, runtime, title);
    if (!write_full(f.fd_, reinterpret_cast<const unsigned char*>(lines.data()), lines.size(), -1)) {
      const int err = errno;
      [[maybe_unused]] const int r = ::ftruncate(f.fd_, static_cast<off_t>(f.size_));
      return fail(f, e, system_error(err));
    }
    return close_checked(f, e);
  }
};

void StateFile::close_quietly() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  locked_ = false;
}

StateFile::StateFile(StateFile&& other) noexcept { *this = std::move(other); }

StateFile& StateFile::operator=(StateFile&& other) noexcept {
  if (this != &other) {
    close_quietly();
    fd_ = std::exchange(other.fd_, -1);
    path_ = std::move(other.path_);
    kind_ = other.kind_;
    use_ = other.use_;
    create_ = other.create_;
    created_ = other.created_;
    readable_ = other.readable_;
    locked_ = std::exchange(other.locked_, false);
    size_ = other.size_;
  }
  return *this;
}

StateFile::~StateFile() { close_quietly(); }

StateFile open_state_file(const std::string& path, StateKind kind, StateUse use, bool create, StateError& e) {
  return StateFileOps::open(path, kind, use, create, e);
}

bool lock_state_file(StateFile& f, StateError& e) { return StateFileOps::lock(f, e); }

std::optional<StateValues> read_binary_state(StateFile& f, std::int32_t n, StateError& e) {
  return StateFileOps::read_binary(f, n, e);
}

bool write_binary_state(StateFile& f, std::int32_t n, const StateValues& v, StateError& e) {
  return StateFileOps::write_binary(f, n, v, e);
}

std::optional<AsciiRecord> read_text_state(StateFile& f, StateError& e) { return StateFileOps::read_text(f, e); }

bool append_text_state(StateFile& f, const StateValues& v, std::string_view versid, std::string_view runtime,
                       std::string_view title, StateError& e) {
  return StateFileOps::append_text(f, v, versid, runtime, title, e);
}

}  // namespace kest
