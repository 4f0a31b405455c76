#include "session.hpp"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace kest::testing {

namespace fs = std::filesystem;

ScratchDir::ScratchDir() {
  std::random_device rd;
  for (int tries = 0; tries < 100; ++tries) {
    fs::path p = fs::temp_directory_path() / ("kest-test-" + std::to_string(::getpid()) + "-" + std::to_string(rd()));
    std::error_code ec;
    if (fs::create_directory(p, ec)) {
      path_ = p;
      return;
    }
  }
  throw std::runtime_error("cannot create a scratch directory");
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  // Make everything writable again, so that tests of read-only files clean up.
  for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

void ScratchDir::write(const std::string& name, const std::string& content) const {
  std::ofstream f(path_ / name, std::ios::binary);
  f << content;
}

std::string ScratchDir::read(const std::string& name) const {
  // Only regular files: opening a FIFO to read it would wait for a writer.
  std::error_code ec;
  if (!fs::is_regular_file(path_ / name, ec)) return {};
  std::ifstream f(path_ / name, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

bool ScratchDir::exists(const std::string& name) const { return fs::exists(path_ / name); }

void ScratchDir::copy_tables() const {
  for (const char* t : {"planelem.tab", "spinaxis.tab", "minor.tab", "small.tab", "comet.tab", "exoplan.tab", "rotation.tab"})
    copy_table(t);
}

void ScratchDir::copy_table(const std::string& name) const {
  fs::copy_file(data_dir() / name, path_ / name, fs::copy_options::overwrite_existing);
}

fs::path data_dir() { return fs::path(KEST_DATA_PATH); }

WorkIn::WorkIn(const fs::path& dir) : old_(fs::current_path()) { fs::current_path(dir); }
WorkIn::~WorkIn() {
  std::error_code ec;
  fs::current_path(old_, ec);
}

RunResult run_kest(const ScratchDir& dir, const std::string& input, int timeout_s) {
  RunOptions o;
  o.input = input;
  o.timeout_s = timeout_s;
  return run_kest(dir, o);
}

RunResult run_kest(const ScratchDir& dir, const RunOptions& o) {
  RunResult r;
  // Names of their own, so that several runs may share a directory.
  static std::atomic<int> serial{0};
  const std::string tag = std::to_string(::getpid()) + "." + std::to_string(serial++);
  const fs::path in_path = o.stdin_path.empty() ? dir.path() / (".stdin." + tag) : fs::path(o.stdin_path);
  const fs::path out_path = o.stdout_path.empty() ? dir.path() / (".stdout." + tag) : fs::path(o.stdout_path);
  const fs::path err_path = dir.path() / (".stderr." + tag);
  if (o.stdin_path.empty()) dir.write(in_path.filename().string(), o.input);
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    if (::chdir(dir.path().c_str()) != 0) ::_exit(126);
    const int in = ::open(in_path.c_str(), O_RDONLY);
    const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | (o.stdout_path.empty() ? O_TRUNC : 0), 0644);
    const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0) ::_exit(126);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    if (o.close_stdout) ::close(1);
    if (o.file_size_limit >= 0) {
      ::signal(SIGXFSZ, SIG_IGN);
      const rlimit lim{static_cast<rlim_t>(o.file_size_limit), static_cast<rlim_t>(o.file_size_limit)};
      ::setrlimit(RLIMIT_FSIZE, &lim);
    }
    if (o.memory_limit >= 0) {
      const rlimit lim{static_cast<rlim_t>(o.memory_limit), static_cast<rlim_t>(o.memory_limit)};
      ::setrlimit(RLIMIT_AS, &lim);
    }
    ::execl(KEST_BINARY_PATH, "kest", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(o.timeout_s);
  int status = 0;
  for (;;) {
    const pid_t w = ::waitpid(pid, &status, WNOHANG);
    if (w == pid) break;
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      status = -1;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  r.status = status == -1 ? -1 : (WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
  if (o.stdout_path.empty()) r.out = dir.read(out_path.filename().string());
  r.err = dir.read(err_path.filename().string());
  r.prt = dir.read("kest.prt");
  std::error_code ec;
  if (o.stdin_path.empty()) fs::remove(in_path, ec);
  if (o.stdout_path.empty()) fs::remove(out_path, ec);
  fs::remove(err_path, ec);
  return r;
}

std::string mask_stamps(const std::string& text) {
  // A stamp: "yyyy Mmm dd hh:mm:ss" with the day right-justified in two columns.
  static constexpr std::string_view kMask = "YYYY Mmm DD hh:mm:ss";
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  auto is_stamp = [&](const char* p) {
    return digit(p[0]) && digit(p[1]) && digit(p[2]) && digit(p[3]) && p[4] == ' ' && p[5] >= 'A' && p[5] <= 'Z' &&
           p[6] >= 'a' && p[6] <= 'z' && p[7] >= 'a' && p[7] <= 'z' && p[8] == ' ' && (p[9] == ' ' || digit(p[9])) &&
           digit(p[10]) && p[11] == ' ' && digit(p[12]) && digit(p[13]) && p[14] == ':' && digit(p[15]) &&
           digit(p[16]) && p[17] == ':' && digit(p[18]) && digit(p[19]);
  };
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    if (i + kMask.size() <= text.size() && is_stamp(text.data() + i)) {
      out.append(kMask);
      i += kMask.size();
    } else {
      out.push_back(text[i++]);
    }
  }
  return out;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> v;
  std::size_t p = 0;
  while (p < text.size()) {
    std::size_t nl = text.find('\n', p);
    if (nl == std::string::npos) nl = text.size();
    v.push_back(text.substr(p, nl - p));
    p = nl + 1;
  }
  return v;
}

TerminalRun start_at_terminal(const ScratchDir& dir, const std::vector<std::string>& argv,
                              const std::string& stdout_file) {
  TerminalRun t;
  t.pid = ::forkpty(&t.master, nullptr, nullptr, nullptr);
  if (t.pid == 0) {
    if (::chdir(dir.path().c_str()) != 0) ::_exit(126);
    if (!stdout_file.empty()) {
      const int out = ::open(stdout_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (out < 0 || ::dup2(out, 1) < 0) ::_exit(126);
    }
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  return t;
}

void TerminalRun::read(std::string& screen, int ms, std::string_view until) const {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end && (until.empty() || screen.find(until) == std::string::npos)) {
    pollfd p{master, POLLIN, 0};
    if (::poll(&p, 1, 20) > 0) {
      char buf[4096];
      const ssize_t n = ::read(master, buf, sizeof buf);
      if (n <= 0) return;
      screen.append(buf, static_cast<std::size_t>(n));
    }
  }
}

bool TerminalRun::type(const std::string& text) const {
  return ::write(master, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

}  // namespace kest::testing
