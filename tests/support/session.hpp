// Helpers for tests: scratch directories, files, and whole-program runs of
// build/kest with a scripted keyboard.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace kest::testing {

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  // Write a file in the directory.
  void write(const std::string& name, const std::string& content) const;
  // Read a file of the directory ("" if it is missing or not a regular file).
  std::string read(const std::string& name) const;
  bool exists(const std::string& name) const;
  // Copy a shipped table from data/ into the directory.
  void copy_table(const std::string& name) const;
  // Copy all six shipped tables.
  void copy_tables() const;

 private:
  std::filesystem::path path_;
};

// Makes the process work in a directory for the lifetime of the object.
class WorkIn {
 public:
  explicit WorkIn(const std::filesystem::path& dir);
  ~WorkIn();
  WorkIn(const WorkIn&) = delete;
  WorkIn& operator=(const WorkIn&) = delete;

 private:
  std::filesystem::path old_;
};

struct RunResult {
  std::string out;  // the screen
  std::string prt;  // kest.prt after the run ("" if none)
  int status = -1;  // exit status
  std::string err;  // standard error
};

// Runs build/kest in dir with the given keyboard input; stops it after
// timeout_s seconds (the status is then -1).
RunResult run_kest(const ScratchDir& dir, const std::string& input, int timeout_s = 30);

// A run with more say over its surroundings.
struct RunOptions {
  std::string input;             // the keyboard, unless stdin_path is given
  std::string stdin_path;        // a file (or device) read as the keyboard
  std::string stdout_path;       // where the screen goes ("": captured in out)
  bool close_stdout = false;     // run with standard output closed
  long long file_size_limit = -1;  // RLIMIT_FSIZE in bytes (SIGXFSZ ignored), -1 none
  long long memory_limit = -1;   // RLIMIT_AS in bytes, -1 none
  int timeout_s = 30;
};
RunResult run_kest(const ScratchDir& dir, const RunOptions& options);

// A program running in dir on a pseudo-terminal: its keyboard, screen and
// standard error, unless its standard output goes to a file of dir.
struct TerminalRun {
  pid_t pid = -1;  // -1 when it could not be started
  int master = -1;
  // Reads what the terminal shows into screen for up to ms milliseconds, or
  // until the screen holds `until` (when given) or the terminal closes.
  void read(std::string& screen, int ms, std::string_view until = {}) const;
  // Types text at the keyboard; false if it could not all be written.
  bool type(const std::string& text) const;
};
TerminalRun start_at_terminal(const ScratchDir& dir, const std::vector<std::string>& argv,
                              const std::string& stdout_file = "");

// Replaces every run stamp (year, month, day and time) by a fixed mask so
// that whole outputs can be compared.
std::string mask_stamps(const std::string& text);

// Lines of a text (without their line ends).
std::vector<std::string> lines_of(const std::string& text);

// The shipped data directory.
std::filesystem::path data_dir();

}  // namespace kest::testing
