// The unit table: which source or sink each unit number is connected to,
// with a write buffer per output unit.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>

#include "textio/textio.hpp"
#include "textio_internal.hpp"

namespace kest {

namespace {

// Reads a file descriptor in large blocks and splits it into lines, so
// that NUL bytes and very long lines pass through unharmed.
class FdSource final : public LineSource {
 public:
  FdSource(int fd, bool owns) : fd_(fd), owns_(owns) {}
  ~FdSource() override {
    if (owns_) ::close(fd_);
  }
  bool next_line(std::string& line) override {
    line.clear();
    too_long_ = false;
    std::size_t dropped = 0;  // bytes of this line beyond MAX_LINE
    for (;;) {
      const char* nl = static_cast<const char*>(std::memchr(buf_.get() + pos_, '\n', len_ - pos_));
      if (nl != nullptr) {
        const std::size_t n = static_cast<std::size_t>(nl - (buf_.get() + pos_));
        append_capped(line, buf_.get() + pos_, n, dropped);
        pos_ += n + 1;
        strip_cr(line);
        return true;
      }
      append_capped(line, buf_.get() + pos_, len_ - pos_, dropped);
      pos_ = len_ = 0;
      if (eof_) break;
      // An endless line (a device that never gives a line end) ends the input.
      if (dropped > MAX_LINE_DROPPED) {
        eof_ = true;
        break;
      }
      ssize_t got;
      do {
        got = ::read(fd_, buf_.get(), BUFFER);
      } while (got < 0 && errno == EINTR);
      if (got <= 0) {
        eof_ = true;
        break;
      }
      len_ = static_cast<std::size_t>(got);
    }
    // A last line without its line end still counts as a line.
    if (!line.empty() || too_long_) {
      strip_cr(line);
      return true;
    }
    return false;
  }

 private:
  static void strip_cr(std::string& line) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
  }
  // Keep at most MAX_LINE bytes of a line; count what is dropped.
  void append_capped(std::string& line, const char* p, std::size_t n, std::size_t& dropped) {
    const std::size_t room = MAX_LINE - std::min(MAX_LINE, line.size());
    if (n > room) {
      too_long_ = true;
      dropped += n - room;
      n = room;
    }
    line.append(p, n);
  }
  int fd_;
  bool owns_;
  bool eof_ = false;
  // Read into before it is looked at: not cleared at each opening.
  static constexpr std::size_t BUFFER = 65536;
  std::unique_ptr<char[]> buf_ = std::make_unique_for_overwrite<char[]>(BUFFER);
  std::size_t pos_ = 0;
  std::size_t len_ = 0;
};

class StringSource final : public LineSource {
 public:
  explicit StringSource(std::string text) : text_(std::move(text)) {}
  bool next_line(std::string& line) override {
    if (pos_ >= text_.size()) return false;
    std::size_t nl = text_.find('\n', pos_);
    if (nl == std::string::npos) nl = text_.size();
    line.assign(text_, pos_, nl - pos_);
    pos_ = nl + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
  }

 private:
  std::string text_;
  std::size_t pos_ = 0;
};

class FdSink final : public ByteSink {
 public:
  FdSink(int fd, bool owns, bool truncate_first) : fd_(fd), owns_(owns), truncate_(truncate_first) {}
  ~FdSink() override {
    if (owns_) ::close(fd_);
  }
  bool write(const char* p, std::size_t n) override {
    if (n == 0) return true;
    if (truncate_) {
      // Only a regular file has an earlier content to replace: a device or
      // a FIFO (/dev/null, a pipe to a pager) is written as it is.
      truncate_ = false;
      struct stat st {};
      if (::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode) &&
          (::ftruncate(fd_, 0) != 0 || ::lseek(fd_, 0, SEEK_SET) < 0))
        return false;
    }
    while (n > 0) {
      const ssize_t put = ::write(fd_, p, n);
      if (put < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      p += put;
      n -= static_cast<std::size_t>(put);
    }
    return true;
  }

 private:
  int fd_;
  bool owns_;
  bool truncate_;
};

class StringSink final : public ByteSink {
 public:
  explicit StringSink(std::string* target) : target_(target) {}
  bool write(const char* p, std::size_t n) override {
    target_->append(p, n);
    return true;
  }

 private:
  std::string* target_;
};

struct UnitTable {
  std::map<int, InUnit> in;
  std::map<int, OutUnit> out;
};

UnitTable& table() {
  static UnitTable t = [] {
    UnitTable u;
    u.in[5].src = fd_source(0, false);
    u.out[6].sink = fd_sink(1, false);
    return u;
  }();
  return t;
}

}  // namespace

std::unique_ptr<LineSource> fd_source(int fd, bool owns) { return std::make_unique<FdSource>(fd, owns); }
std::filesystem::path program_directory() {
  std::error_code ec;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", ec);
  return !ec && program.is_absolute() ? program.parent_path() : std::filesystem::path();
}

std::unique_ptr<LineSource> string_source(std::string text) {
  return std::make_unique<StringSource>(std::move(text));
}
std::unique_ptr<ByteSink> fd_sink(int fd, bool owns, bool truncate_on_first_write) {
  return std::make_unique<FdSink>(fd, owns, truncate_on_first_write);
}
std::unique_ptr<ByteSink> string_sink(std::string* target) { return std::make_unique<StringSink>(target); }

bool OutUnit::drain() {
  if (buf.empty()) return !failed;
  if (sink && !failed) {
    if (!sink->write(buf.data(), buf.size())) failed = true;
  }
  buf.clear();
  return !failed;
}

InUnit* input_unit(int unit) {
  auto& t = table();
  auto it = t.in.find(unit);
  if (it == t.in.end() || !it->second.src) return nullptr;
  // The person at the keyboard sees every prompt before answering.
  if (unit == 5) flush_all();
  return &it->second;
}

OutUnit* output_unit(int unit) {
  auto& t = table();
  auto it = t.out.find(unit);
  if (it == t.out.end() || !it->second.sink) return nullptr;
  return &it->second;
}

namespace {

// The descriptor of a file opened with open(2) flags (close-on-exec added),
// refused as a directory, and also as anything but a regular file when
// regular_only; -1 with the system's reason in *why. The open never waits:
// a FIFO without a writer or reader does not hold it up (for writing, one
// without a reader is "No such device or address"); once open, reads and
// writes wait as usual.
// With Links::devices_only, a link at the name is followed only to a
// character device: the link is not followed at first (O_NOFOLLOW), and
// what the second open reached is checked, so that a link changed in
// between is refused as well.
int open_fd(const std::string& path, int flags, bool regular_only, std::string* why, Links links = Links::follow) {
  const bool nofollow = links == Links::devices_only;
  int fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK | (nofollow ? O_NOFOLLOW : 0), 0666);
  bool through_link = false;
  if (fd < 0 && nofollow && errno == ELOOP) {
    struct stat target {};
    if (::stat(path.c_str(), &target) == 0 && S_ISCHR(target.st_mode)) {
      fd = ::open(path.c_str(), (flags & ~O_CREAT) | O_CLOEXEC | O_NONBLOCK);
      through_link = true;
    } else {
      if (why) *why = "it is a symbolic link";
      return -1;
    }
  }
  if (fd < 0) {
    if (why) *why = std::strerror(errno);
    return -1;
  }
  struct stat st {};
  const bool known = ::fstat(fd, &st) == 0;
  const char* refused = nullptr;
  if (through_link && !(known && S_ISCHR(st.st_mode))) refused = "it is a symbolic link";
  if (known && S_ISDIR(st.st_mode)) refused = std::strerror(EISDIR);
  if (known && regular_only && !S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode)) refused = "not a regular file";
  if (refused != nullptr) {
    ::close(fd);
    if (why) *why = refused;
    return -1;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

}  // namespace

std::unique_ptr<LineSource> open_source(const std::string& path, std::string* why) {
  const int fd = open_fd(path, O_RDONLY, true, why);
  return fd < 0 ? nullptr : fd_source(fd, true);
}

bool open_unit(int unit, std::string_view name, OpenStatus status, Access access, Direction dir,
               std::string* why, Links links) {
  close_unit(unit);
  while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
  const std::string path(name);
  int flags = dir == Direction::read ? O_RDONLY : O_WRONLY;
  if (status == OpenStatus::unknown) flags |= O_CREAT;
  if (access == Access::append) flags |= O_APPEND;
  if (path.empty() || path.find('\0') != std::string::npos) {
    if (why) *why = "invalid file name";
    return false;
  }
  const int fd = open_fd(path, flags, false, why, links);
  if (fd < 0) return false;
  auto& t = table();
  if (dir == Direction::read) {
    t.in[unit].src = fd_source(fd, true);
  } else {
    OutUnit& o = t.out[unit];
    o.sink = fd_sink(fd, true, access == Access::sequential);
    o.failed = false;
    o.buf.clear();
  }
  return true;
}

bool close_unit(int unit) {
  auto& t = table();
  bool ok = true;
  if (auto it = t.out.find(unit); it != t.out.end()) {
    ok = it->second.drain();
    if (unit != 6) t.out.erase(it);
  }
  if (auto it = t.in.find(unit); it != t.in.end() && unit != 5) t.in.erase(it);
  return ok;
}

void connect_input(int unit, std::unique_ptr<LineSource> src) { table().in[unit].src = std::move(src); }

void connect_output(int unit, std::unique_ptr<ByteSink> sink) {
  OutUnit& o = table().out[unit];
  o.drain();
  o.sink = std::move(sink);
  o.failed = false;
}

bool flush_all() {
  bool ok = true;
  for (auto& [n, o] : table().out) {
    if (!o.drain()) ok = false;
    if (o.sink) o.sink->flush();
  }
  return ok;
}

std::string_view last_line(int unit) {
  auto& t = table();
  auto it = t.in.find(unit);
  return it == t.in.end() ? std::string_view() : std::string_view(it->second.line);
}

bool unit_failed(int unit) {
  auto& t = table();
  auto it = t.out.find(unit);
  return it != t.out.end() && it->second.failed;
}

void reset_units() {
  auto& t = table();
  for (auto& [n, o] : t.out) o.drain();
  t.out.clear();
  t.in.clear();
  t.in[5].src = fd_source(0, false);
  t.out[6].sink = fd_sink(1, false);
}

void unit_put_line(int unit, std::string_view line) {
  OutUnit* o = output_unit(unit);
  if (o == nullptr) return;
  o->buf.append(line);
  o->buf.push_back('\n');
  o->maybe_drain();
}

std::string pad_text(std::string_view s, std::size_t n) {
  std::string r(s.substr(0, std::min(s.size(), n)));
  r.resize(n, ' ');
  return r;
}

std::string quoted_text(std::string_view s) {
  constexpr std::size_t SHOWN = 40;
  std::string q = "'";
  for (std::size_t i = 0; i < s.size() && i < SHOWN; ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    q += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
  }
  if (s.size() > SHOWN) q += "...";
  return q + "'";
}

}  // namespace kest
