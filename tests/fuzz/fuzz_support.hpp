// Pieces the fuzz targets share: a scratch directory the process works in,
// files written and cleared in it, the shipped element tables, a screen
// that stops a run whose output grows without bound, and the start-up
// defaults of the driver for targets that call its routines directly.
#pragma once

#include <dirent.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "elements/kelements.hpp"
#include "record/kestcm.hpp"
#include "main/kestmn.hpp"
#include "textio/textio.hpp"

namespace kest::fuzz {

// Aborts the process with a message: the fuzzer records the input.
[[noreturn]] inline void fail(const char* what) {
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}
#define FUZZ_CHECK(cond)                         \
  do {                                           \
    if (!(cond)) ::kest::fuzz::fail(#cond);      \
  } while (false)

// A fresh directory under the temporary directory; the process works in it
// from the first call on and removes it at exit. The path is never
// destroyed, so that it is still there when the exit handler runs.
inline const std::filesystem::path& scratch() {
  static const std::filesystem::path* const dir = [] {
    std::string tmpl = (std::filesystem::temp_directory_path() / "kest-fuzz-XXXXXX").string();
    if (::mkdtemp(tmpl.data()) == nullptr) fail("cannot make a scratch directory");
    std::filesystem::current_path(tmpl);
    return new std::filesystem::path(tmpl);
  }();
  static const bool cleanup = [] {
    std::atexit([] {
      std::error_code ec;
      std::filesystem::current_path(std::filesystem::temp_directory_path(), ec);
      std::filesystem::remove_all(*dir, ec);
    });
    return true;
  }();
  (void)cleanup;
  return *dir;
}

// Called from LLVMFuzzerInitialize, before libFuzzer reads its arguments:
// makes every path among them absolute (corpus directories, files, and the
// values of the path flags), and sends crash inputs to the directory the
// fuzzer was started in unless told otherwise; then moves the process into
// the scratch directory, where it works from then on.
inline void enter_scratch(int* argc, char*** argv) {
  static std::vector<std::string> args;
  static std::vector<char*> ptrs;
  const std::filesystem::path start = std::filesystem::current_path();
  auto absolute = [&](const std::string& p) {
    return p.empty() || p[0] == '/' ? p : (start / p).string();
  };
  bool prefix = false;
  for (int i = 0; i < *argc; ++i) {
    std::string a = (*argv)[i];
    if (i > 0 && !a.empty() && a[0] != '-') {
      a = absolute(a);
    } else if (i > 0) {
      for (const std::string flag : {"-artifact_prefix=", "-exact_artifact_path=", "-dict=",
                                     "-merge_control_file=", "-features_dir="}) {
        if (a.rfind(flag, 0) != 0) continue;
        a = flag + absolute(a.substr(flag.size()));
        if (flag == "-artifact_prefix=") prefix = true;
      }
    }
    args.push_back(a);
  }
  if (!prefix) args.push_back("-artifact_prefix=" + start.string() + "/");
  for (std::string& a : args) ptrs.push_back(a.data());
  ptrs.push_back(nullptr);
  *argc = static_cast<int>(args.size());
  *argv = ptrs.data();
  scratch();
}

inline void write_file(const std::string& name, std::string_view bytes) {
  std::FILE* f = std::fopen(name.c_str(), "wb");
  if (f == nullptr) fail("cannot write a scratch file");
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

inline std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Removes every entry of the working directory except those named in keep
// (files only: the program makes no directories).
inline void clear_directory(const std::set<std::string>& keep) {
  DIR* d = ::opendir(".");
  if (d == nullptr) fail("cannot list the scratch directory");
  std::vector<std::string> gone;
  while (const dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (name == "." || name == ".." || keep.count(name) != 0) continue;
    gone.push_back(name);
  }
  ::closedir(d);
  for (const std::string& name : gone) ::unlink(name.c_str());
}

// The six shipped element tables, by file name.
inline const std::map<std::string, std::string>& shipped_tables() {
  static const std::map<std::string, std::string> tables = [] {
    std::map<std::string, std::string> t;
    for (std::size_t code = 1; code < FNAME.size(); ++code) {
      std::string name(FNAME[code]);
      while (!name.empty() && name.back() == ' ') name.pop_back();
      t[name] = read_file(std::string(KEST_DATA_PATH) + "/" + name);
      if (t[name].empty()) fail("a shipped table is missing");
    }
    return t;
  }();
  return tables;
}

// A source of lines that counts the lines it has handed out and keeps the
// last one.
class CountingSource final : public LineSource {
 public:
  explicit CountingSource(std::string text) : src_(string_source(std::move(text))) {}
  bool next_line(std::string& line) override {
    if (!src_->next_line(line)) return false;
    ++count;
    last = line;
    return true;
  }
  std::size_t count = 0;
  std::string last;

 private:
  std::unique_ptr<LineSource> src_;
};

// Thrown by LimitedSink when a run has written more than its limit.
struct OutputLimit {};

// A screen that keeps what is written up to a limit, then stops the run
// once by throwing OutputLimit and swallows whatever follows (the units
// are drained again when they are reset).
class LimitedSink final : public ByteSink {
 public:
  LimitedSink(std::string* target, std::size_t limit) : target_(target), limit_(limit) {}
  bool write(const char* p, std::size_t n) override {
    if (tripped_) return true;
    target_->append(p, n);
    if (target_->size() > limit_) {
      tripped_ = true;
      throw OutputLimit{};
    }
    return true;
  }

 private:
  std::string* target_;
  std::size_t limit_;
  bool tripped_ = false;
};

// The program's start: every record and unit as at program start, then the
// defaults the driver writes before its first prompt.
inline void start_program() {
  reset_program();
  set_start_defaults(KESTCM);
}

// Splits data at every line that is exactly `mark`; missing parts are empty.
inline std::vector<std::string_view> split_sections(std::string_view data, std::string_view mark,
                                                    std::size_t parts) {
  std::vector<std::string_view> out;
  std::size_t start = 0;
  const std::string sep = "\n" + std::string(mark) + "\n";
  while (out.size() + 1 < parts) {
    const std::size_t at = data.find(sep, start);
    if (at == std::string_view::npos) break;
    out.push_back(data.substr(start, at + 1 - start));
    start = at + sep.size();
  }
  out.push_back(data.substr(start));
  out.resize(parts);
  return out;
}

}  // namespace kest::fuzz
