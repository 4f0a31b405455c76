// Nothing lost, nothing hung: state files saved by two runs at once, saves
// that fail part way, endless and huge input lines, FIFOs and devices in
// place of files, a print file that fills up, a screen that cannot be
// written, and Ctrl-C and progress at a terminal.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "session.hpp"

namespace {

namespace fs = std::filesystem;
using kest::testing::lines_of;
using kest::testing::run_kest;
using kest::testing::RunOptions;
using kest::testing::RunResult;
using kest::testing::ScratchDir;
using kest::testing::start_at_terminal;
using kest::testing::TerminalRun;

// A set-up of planet `item`, then `saves` text saves to shared.mat and
// every tenth save a binary one to record 1 + (n mod 15); the print unit is
// the terminal, so the confirmations come on the screen.
std::string saving_script(int item, int saves) {
  std::string s = "t\n1\n1\n" + std::to_string(item) + "\n0\n0\n/\n";
  for (int n = 0; n < saves; ++n) {
    s += "2\n2\n2\nshared.mat\n";
    if (n % 10 == 0) s += "2\n2\n1\n" + std::to_string(1 + n % 15) + "\n";
  }
  return s + "0\n";
}

// Checks every seven-line record of a text state file: a header, then six
// lines of five numbers. Returns the titles of the records.
std::vector<std::string> record_titles(const std::string& text) {
  std::vector<std::string> titles;
  const auto lines = lines_of(text);
  EXPECT_EQ(lines.size() % 7, 0u);
  for (std::size_t i = 0; i + 7 <= lines.size(); i += 7) {
    EXPECT_EQ(lines[i].rfind("KEST:2014jun10", 0), 0u) << "record at line " << i + 1;
    titles.push_back(lines[i].size() > 60 ? lines[i].substr(60) : "");
    for (std::size_t k = 1; k < 7; ++k) {
      const std::string& l = lines[i + k];
      EXPECT_NE(l.find_first_not_of(" \t"), std::string::npos) << "blank line " << i + k + 1;
      char* end = nullptr;
      const char* p = l.c_str();
      int numbers = 0;
      for (double v = std::strtod(p, &end); end != p; v = std::strtod(p, &end)) {
        (void)v;
        ++numbers;
        p = end;
      }
      EXPECT_EQ(numbers, 5) << "line " << i + k + 1 << ": " << l;
    }
  }
  return titles;
}

std::size_t count_of(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
  return n;
}

// Two runs saving to the same files at once: no stray line, every record
// whole, and every binary record one that a run saved.
TEST(StateFileLocks, TwoRunsSavingAtOnceLoseNothing) {
  ScratchDir dir;
  dir.copy_tables();
  RunResult a, b;
  std::thread ta([&] { a = run_kest(dir, saving_script(4, 1000), 120); });
  std::thread tb([&] { b = run_kest(dir, saving_script(2, 1000), 120); });
  ta.join();
  tb.join();
  ASSERT_EQ(a.status, 0) << a.err;
  ASSERT_EQ(b.status, 0) << b.err;
  const std::string text = dir.read("shared.mat");
  EXPECT_EQ(count_of(text, "\n\n"), 0u);
  const auto titles = record_titles(text);
  EXPECT_EQ(titles.size(), 2000u);
  EXPECT_EQ(std::count(titles.begin(), titles.end(), "Mars:Mars"), 1000);
  EXPECT_EQ(std::count(titles.begin(), titles.end(), "Venus:Venus"), 1000);
  const std::string bin = dir.read("KESTCM.DAT");
  ASSERT_EQ(bin.size(), 11u * 240u);  // records 1, 11 and 6 saved
  // Each saved record is Mars's or Venus's state (PLANUM 104 or 102).
  for (std::size_t r : {0u, 5u, 10u}) {
    double planum = 0.0;
    std::memcpy(&planum, bin.data() + 240 * r, 8);
    EXPECT_TRUE(planum == 104.0 || planum == 102.0) << "record " << r + 1 << ": " << planum;
  }
  // The first record restores.
  const auto check = run_kest(dir, "t\n2\n1\n2\nshared.mat\n0\n");
  EXPECT_EQ(check.status, 0);
}

// A run whose saves fail once the file passes a size (its file-size limit;
// its screen goes to /dev/null, which no such limit touches) removes only
// its own bytes: every record the other run confirmed stays. A record is
// 528 bytes: the other run's 300 (158 kB) fit below the limit, so the
// limited run saves some records whichever run goes first, and its own 600
// (317 kB) do not, so some of its saves fail whatever the order.
TEST(StateFileLocks, AFailingSaveRemovesNothingAnotherRunWrote) {
  ScratchDir dir;
  dir.copy_tables();
  RunResult limited, free_run;
  std::thread ta([&] {
    RunOptions o;
    o.input = saving_script(4, 600);
    o.file_size_limit = 200000;
    o.stdout_path = "/dev/null";
    o.timeout_s = 120;
    limited = run_kest(dir, o);
  });
  std::thread tb([&] { free_run = run_kest(dir, saving_script(2, 300), 120); });
  ta.join();
  tb.join();
  EXPECT_EQ(limited.status, 1);  // some of its saves failed
  ASSERT_EQ(free_run.status, 0) << free_run.out;
  const std::string text = dir.read("shared.mat");
  EXPECT_EQ(count_of(text, "\n\n"), 0u);
  const auto titles = record_titles(text);
  EXPECT_EQ(std::count(titles.begin(), titles.end(), "Venus:Venus"), 300);
  EXPECT_EQ(count_of(free_run.out, " ASCII RECORD  TO  FILE =shared.mat"), 300u);
  const long mars = std::count(titles.begin(), titles.end(), "Mars:Mars");
  EXPECT_GT(mars, 0);
  EXPECT_LT(mars, 600);
}

// Lines longer than 1 MiB: a conversion error at the keyboard, a damaged
// value in a table, a damaged record in a state file; an endless line ends
// the input, with memory held flat.
TEST(BoundedLines, HugeAndEndlessLines) {
  ScratchDir dir;
  dir.copy_tables();
  const std::string huge(2 << 20, 't');
  // The destination prompt is asked again after the huge answer.
  auto r = run_kest(dir, huge + "\nt\n0\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(count_of(r.out, "?* OUTPUT TO PRINTER OR TERMINAL"), 2u);
  // A table value line of 2 MiB: failure 7 at that line.
  std::string minor = "C_END\n--\n'Big'\n2451545.0\n" + std::string(2 << 20, '1') + "\n";
  for (int i = 0; i < 9; ++i) minor += "1\n";
  dir.write("minor.tab", minor);
  r = run_kest(dir, "t\n1\n3\n1\n0\n0\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("------ Error: J= 3 Reason: error reading value"), std::string::npos);
  // A state file record with a line of 2 MiB.
  dir.write("big.mat", "KEST:2014jun10 2024 Jan  5 10:20:30 IPLAN,TC=   104 0.00000 Mars\n" +
                           std::string(2 << 20, '1') + "\n1 1 1 1 1\n1 1 1 1 1\n1 1 1 1 1\n1 1 1 1 1\n1 1 1 1 1\n");
  r = run_kest(dir, "t\n2\n1\n2\nbig.mat\n0\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("KESTIO: nothing restored from big.mat"), std::string::npos);
  // Standard input that never ends a line, in 256 MiB of address space.
  RunOptions o;
  o.stdin_path = "/dev/zero";
#if !defined(__SANITIZE_ADDRESS__)
  o.memory_limit = 256LL << 20;  // (AddressSanitizer reserves far more address space)
#endif
  o.timeout_s = 60;
  r = run_kest(dir, o);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
}

// FIFOs and devices in place of files: nothing waits.
TEST(NoBlockingOpens, FifosAndDevices) {
  ScratchDir dir;
  dir.copy_tables();
  fs::remove(dir.path() / "minor.tab");
  ASSERT_EQ(::mkfifo((dir.path() / "minor.tab").c_str(), 0644), 0);
  auto r = run_kest(dir, "t\n1\n3\n1\n0\n0\n", 20);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find(" Reason: opening table file"), std::string::npos);
  EXPECT_NE(r.out.find(" minor.tab: not a regular file"), std::string::npos);
  fs::remove(dir.path() / "minor.tab");
  fs::create_symlink("/dev/zero", dir.path() / "minor.tab");
  r = run_kest(dir, "t\n1\n3\n1\n0\n0\n", 20);
  EXPECT_NE(r.out.find(" minor.tab: not a regular file"), std::string::npos);

  // kest.prt a FIFO without a reader: the print file cannot be opened.
  ASSERT_EQ(::mkfifo((dir.path() / "kest.prt").c_str(), 0644), 0);
  r = run_kest(dir, "p\n4\n0\n", 20);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("Cannot open print file kest.prt: No such device or address"), std::string::npos);
  fs::remove(dir.path() / "kest.prt");

  // kest.prt linked to /dev/null: the usual way to discard the print output.
  fs::create_symlink("/dev/null", dir.path() / "kest.prt");
  r = run_kest(dir, "p\n1\n1\n4\n0\n0\n/\n3\n10 0 1\n0 0 x\n0 0 0\n0\n", 20);
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.err, "");
  fs::remove(dir.path() / "kest.prt");

  // kest.prt linked to a file, or to none: the link is refused, its target
  // is neither replaced nor made, and the print goes to the screen.
  ScratchDir elsewhere;
  elsewhere.write("precious.txt", "keep me\n");
  for (const char* target : {"precious.txt", "made.txt"}) {
    SCOPED_TRACE(target);
    fs::create_symlink(elsewhere.path() / target, dir.path() / "kest.prt");
    r = run_kest(dir, "p\n1\n1\n4\n0\n0\n/\n3\n2 0 1\n0 0 x\n0 0 0\n0\n", 20);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Cannot open print file kest.prt: it is a symbolic link"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Printed output goes to the terminal instead."), std::string::npos);
    fs::remove(dir.path() / "kest.prt");
  }
  EXPECT_EQ(elsewhere.read("precious.txt"), "keep me\n");
  EXPECT_FALSE(elsewhere.exists("made.txt"));

  // A binary save onto a FIFO is refused as not a regular file.
  ASSERT_EQ(::mkfifo((dir.path() / "KESTCM.DAT").c_str(), 0644), 0);
  r = run_kest(dir, "t\n2\n2\n1\n1\n0\n", 20);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("KESTIO: nothing saved to KESTCM.DAT: not a regular file"), std::string::npos);
}

// A failed text save to a new file leaves no empty file behind.
TEST(NoBlockingOpens, FailedSaveToANewFileLeavesNothing) {
  ScratchDir dir;
  dir.copy_tables();
  RunOptions o;
  o.input = "t\n1\n1\n4\n0\n0\n/\n2\n2\n2\nnew.mat\n0\n";
  o.file_size_limit = 0;
  o.stdout_path = "/dev/null";
  const auto r = run_kest(dir, o);
  EXPECT_EQ(r.status, 1);
  EXPECT_FALSE(dir.exists("new.mat"));
}

// A print file that fills up stops the table at once, with a message on
// standard error; a screen that cannot be written is named there too.
TEST(FailingOutput, FullPrintFileAndFullScreen) {
  ScratchDir dir;
  dir.copy_tables();
  fs::create_symlink("/dev/full", dir.path() / "kest.prt");
  auto r = run_kest(dir, "p\n1\n1\n4\n0\n0\n/\n3\n5000000 0 0.01\n0 0 x\n0 0 0\n0\n", 60);
  EXPECT_EQ(r.status, 1);
  const std::size_t at = r.err.find("the table stops before line ");
  ASSERT_NE(at, std::string::npos) << r.err;
  EXPECT_LT(std::stol(r.err.substr(at + 27)), 10000);
  EXPECT_NE(r.err.find("print file kest.prt could not be written completely"), std::string::npos);
  fs::remove(dir.path() / "kest.prt");

  RunOptions o;
  o.input = "p\n4\n0\n";
  o.stdout_path = "/dev/full";
  r = run_kest(dir, o);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("standard output (the screen) could not be written"), std::string::npos);
  EXPECT_EQ(r.err.find("kest.prt"), std::string::npos);  // the print file was written completely

  o.stdout_path.clear();
  o.close_stdout = true;
  r = run_kest(dir, o);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("standard output (the screen) could not be written"), std::string::npos);
}

// At a terminal: progress of a long table on standard error, and Ctrl-C
// ending the table at a line boundary and going back to the menu.
TEST(Terminal, ProgressAndInterrupt) {
  ScratchDir dir;
  dir.copy_tables();
  const TerminalRun t = start_at_terminal(dir, {KEST_BINARY_PATH});
  ASSERT_GE(t.pid, 0);
  std::string screen;
  ASSERT_TRUE(t.type("p\n1\n1\n4\n0\n0\n/\n3\n2000000000 0 0.001\n0 0 x\n"));
  t.read(screen, 2500);
  ::kill(t.pid, SIGINT);
  t.read(screen, 500);
  ASSERT_TRUE(t.type("0\n"));
  t.read(screen, 1000);
  int status = 0;
  for (int i = 0; i < 100 && ::waitpid(t.pid, &status, WNOHANG) == 0; ++i) t.read(screen, 50);
  ::close(t.master);
  ASSERT_TRUE(WIFEXITED(status)) << screen;
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_NE(screen.find(" kest: line "), std::string::npos) << screen.substr(0, 2000);
  EXPECT_NE(screen.find(" lines/s, "), std::string::npos);
  EXPECT_NE(screen.find("Table interrupted after line"), std::string::npos);
  // The print file ends with a whole table line.
  const std::string prt = dir.read("kest.prt");
  ASSERT_FALSE(prt.empty());
  EXPECT_EQ(prt.back(), '\n');
  const auto lines = lines_of(prt);
  EXPECT_EQ(lines.back().size(), 67u) << lines.back();
}

}  // namespace
