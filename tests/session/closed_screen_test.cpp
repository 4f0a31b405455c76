// A screen that goes away during a run, as when kest's standard output is
// piped into head or a pager that quits: the run is not killed, kest.prt
// holds everything printed, and the run ends with status 1 and the screen
// named on standard error.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <regex>
#include <string>
#include <thread>

#include "session.hpp"

namespace {

using kest::testing::lines_of;
using kest::testing::ScratchDir;

struct PipeRun {
  int status = -1;     // exit status; 128 + n when killed by signal n; -1 on time-out
  std::string screen;  // what the reader saw before it closed
  std::string err;     // standard error
};

// Runs kest in dir with its keyboard and screen on pipes, the way a shell
// sets up `kest | head` (SIGPIPE at its default). `before` is typed, the
// screen is read until it shows `until`, then the reader closes its end;
// `after` is typed, and the keyboard is closed then, or, when it is kept
// open (an input without end), only once the program has ended.
PipeRun run_with_screen_closed(const ScratchDir& dir, const std::string& before, const std::string& until,
                               const std::string& after, bool keep_keyboard = false, int timeout_s = 60) {
  PipeRun r;
  int in[2], out[2];
  if (::pipe(in) != 0 || ::pipe(out) != 0) return r;
  const std::string err_path = (dir.path() / ".stderr").string();
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::signal(SIGPIPE, SIG_DFL);
    const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (::chdir(dir.path().c_str()) != 0 || err < 0) ::_exit(126);
    ::dup2(in[0], 0);
    ::dup2(out[1], 1);
    ::dup2(err, 2);
    ::close(in[1]);
    ::close(out[0]);
    ::execl(KEST_BINARY_PATH, "kest", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(in[0]);
  ::close(out[1]);
  // Writing to a keyboard whose program has died must not kill the test.
  const auto old_pipe = ::signal(SIGPIPE, SIG_IGN);
  const auto type = [&](const std::string& text) {
    [[maybe_unused]] const ssize_t n = ::write(in[1], text.data(), text.size());
  };
  type(before);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_s);
  while (r.screen.find(until) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    pollfd p{out[0], POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    char buf[4096];
    const ssize_t n = ::read(out[0], buf, sizeof buf);
    if (n <= 0) break;
    r.screen.append(buf, static_cast<std::size_t>(n));
  }
  ::close(out[0]);
  type(after);
  if (!keep_keyboard) ::close(in[1]);
  int status = 0;
  for (;;) {
    if (::waitpid(pid, &status, WNOHANG) == pid) {
      r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      break;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (keep_keyboard) ::close(in[1]);
  ::signal(SIGPIPE, old_pipe);
  r.err = dir.read(".stderr");
  return r;
}

// The screen's reader leaves after the menu; then Mars is set up and a
// table of 3000 dates is asked for. With the print file, the table is in it
// whole; with the terminal chosen for printed output, the table stops at
// once, since it has nowhere to go, and the run still ends.
TEST(ClosedScreen, PrintFileKeepsTheTableAndTheRunEndsWithStatus1) {
  struct Row {
    const char* destination;
    std::size_t table_lines;  // data lines of the table in kest.prt
    const char* also_on_stderr;
  };
  const Row rows[] = {
      {"p\n", 3000, ""},
      {"t\n", 0, "kest: print output could not be written: the table stops before line 64 of 3000\n"},
  };
  const std::regex data_line(R"( \d{4} [A-Z]{3} .*)");
  for (const Row& r : rows) {
    SCOPED_TRACE(r.destination);
    ScratchDir dir;
    dir.copy_tables();
    const PipeRun run = run_with_screen_closed(dir, r.destination, " 5 = test computation and print of rotation matrices\n",
                                               "1\n1\n4\n0\n0\n/\n3\n3000 0 1\n0 0 'closed screen'\n0 0 0\n0\n");
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find("kest: standard output (the screen) could not be written completely\n"), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find(r.also_on_stderr), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("kest.prt"), std::string::npos) << run.err;

    const std::string prt = dir.read("kest.prt");
    if (r.table_lines == 0) {
      EXPECT_FALSE(dir.exists("kest.prt"));
      continue;
    }
    // Whole lines: a stamp for each option, the summary, the table's
    // header, every date.
    ASSERT_FALSE(prt.empty());
    EXPECT_EQ(prt.back(), '\n');
    const auto lines = lines_of(prt);
    std::size_t stamps = 0, data = 0;
    for (const std::string& l : lines) {
      if (l.rfind(" KESTMN:KEST:2014jun10  Run_time=", 0) == 0) ++stamps;
      if (std::regex_match(l, data_line)) {
        ++data;
        EXPECT_EQ(l.size(), 67u) << l;
      }
    }
    EXPECT_EQ(stamps, 2u);
    EXPECT_NE(prt.find("  INPUT FILE WAS: Mars:Mars"), std::string::npos);
    EXPECT_NE(prt.find("    closed screen"), std::string::npos);
    EXPECT_NE(prt.find(" N2=3000 DJUL="), std::string::npos);
    EXPECT_EQ(data, r.table_lines);
    EXPECT_EQ(lines.back().substr(0, 10), " 2008 MAR ") << lines.back();
  }
}

// With the screen gone, answers the menu cannot take (an endless `yes`)
// end the run instead of showing the menu to no one for ever; the keyboard
// stays open, so only the program can end the run.
TEST(ClosedScreen, EndlessWrongAnswersEndTheRun) {
  for (const char* answer : {"y\n", "7\n"}) {
    SCOPED_TRACE(answer);
    ScratchDir dir;
    dir.copy_tables();
    std::string endless;
    for (int i = 0; i < 20; ++i) endless += answer;
    const PipeRun run = run_with_screen_closed(dir, "p\n4\n", " 5 = test computation and print of rotation matrices\n",
                                               endless, true, 20);
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find("kest: standard output (the screen) could not be written completely\n"), std::string::npos)
        << run.err;
    // The listing asked for before the screen went is in the print file.
    EXPECT_NE(dir.read("kest.prt").find("   KESTCM 31:41"), std::string::npos);
  }
}

}  // namespace
