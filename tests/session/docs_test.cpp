// The examples of the documentation run as they are written. The commands
// are taken from README.md and the manual pages at test time, so that a new
// example is covered as soon as it is written:
// - README.md: code blocks indented by four spaces (after a blank line) and
//   fenced blocks marked sh, shell, bash or console are shell commands, one
//   a line (a trailing backslash continues it); a block whose first line is
//   an import, or a fenced block marked python, is one Python program.
//   Unmarked fenced blocks are screens, print files and diagrams, not run.
// - docs/*.1: the no-fill blocks (.nf/.fi, .EX/.EE) of the EXAMPLE and
//   EXAMPLES sections, with the roff escapes undone, a command a line.
// Each block runs in a fresh scratch directory laid out like the top of the
// tree: the six tables (also in data/), build/kest, build/kest-season and
// build/python of this build, copies of examples/ and tools/, kest and
// kest-season on PATH, python3 being Debian's with PYTHONPATH at the build's
// module. The commands of a block run in order in one shell, so that `cd` and
// the files of one command carry over to the next; each must exit 0, or the
// status a trailing comment "# exit status N" gives. A command that reads
// the keyboard gets an empty one. The build commands (tools/setup, cmake,
// ctest) are left to CI, the Debian package and the programs on an installed
// core to tests/install.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "session.hpp"

namespace {

namespace fs = std::filesystem;
using kest::testing::lines_of;
using kest::testing::ScratchDir;

struct Command {
  int line = 0;      // line of the document where it starts
  std::string text;  // a shell command, or the whole Python program
};

struct Example {
  int line = 0;  // first line of the block
  bool python = false;
  std::vector<Command> commands;
};

bool starts_with(const std::string& s, const std::string& p) { return s.compare(0, p.size(), p) == 0; }
bool blank(const std::string& s) { return s.find_first_not_of(" \t") == std::string::npos; }

std::string trimmed(const std::string& s) {
  const auto a = s.find_first_not_of(" \t");
  if (a == std::string::npos) return {};
  return s.substr(a, s.find_last_not_of(" \t") - a + 1);
}

// Lines (numbered from first) to an example: a Python program as a whole, or
// shell commands a line each, joined across trailing backslashes.
Example block_of(const std::vector<std::string>& body, const std::vector<int>& numbers, bool python) {
  Example e;
  e.line = numbers.empty() ? 0 : numbers.front();
  e.python = python;
  if (python) {
    Command c{e.line, {}};
    for (const auto& l : body) c.text += l + "\n";
    e.commands.push_back(c);
    return e;
  }
  for (std::size_t i = 0; i < body.size(); ++i) {
    if (blank(body[i])) continue;
    Command c{numbers[i], body[i]};
    while (!c.text.empty() && c.text.back() == '\\' && i + 1 < body.size()) c.text += "\n" + body[++i];
    e.commands.push_back(c);
  }
  return e;
}

bool is_program_start(const std::string& l) { return starts_with(l, "import ") || starts_with(l, "from "); }

std::vector<Example> readme_examples(const std::string& text) {
  const auto lines = lines_of(text);
  std::vector<Example> out;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::vector<std::string> body;
    std::vector<int> numbers;
    if (starts_with(lines[i], "```")) {
      const std::string mark = trimmed(lines[i].substr(3));
      std::size_t j = i + 1;
      for (; j < lines.size() && !starts_with(lines[j], "```"); ++j) {
        body.push_back(lines[j]);
        numbers.push_back(static_cast<int>(j + 1));
      }
      if (mark == "python") {
        out.push_back(block_of(body, numbers, true));
      } else if (mark == "sh" || mark == "shell" || mark == "bash" || mark == "console") {
        out.push_back(block_of(body, numbers, false));
      }
      i = j;
      continue;
    }
    if (!starts_with(lines[i], "    ") || (i > 0 && !blank(lines[i - 1]))) continue;
    std::size_t j = i;
    for (; j < lines.size() && (blank(lines[j]) || starts_with(lines[j], "    ")); ++j) {
      body.push_back(blank(lines[j]) ? std::string() : lines[j].substr(4));
      numbers.push_back(static_cast<int>(j + 1));
    }
    while (!body.empty() && body.back().empty()) {
      body.pop_back();
      numbers.pop_back();
    }
    out.push_back(block_of(body, numbers, is_program_start(body.front())));
    i = j - 1;
  }
  return out;
}

// A line of roff text as it reads on the page.
std::string unroff(const std::string& s) {
  static const std::map<std::string, std::string> kNamed = {
      {"aq", "'"}, {"dq", "\""}, {"ti", "~"}, {"ha", "^"}, {"rs", "\\"}, {"ga", "`"}};
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\' || i + 1 == s.size()) {
      out += s[i];
      continue;
    }
    const char c = s[++i];
    if (c == 'e' || c == '\\') {
      out += '\\';
    } else if (c == '-' || c == '.' || c == '\'') {
      out += c;
    } else if (c == ' ' || c == '~') {
      out += ' ';
    } else if (c == '&') {
    } else if (c == 'f') {  // a font change: \fB, \f(CW, \f[CR]
      if (i + 1 < s.size() && s[i + 1] == '(') {
        i += 3;
      } else if (i + 1 < s.size() && s[i + 1] == '[') {
        i = s.find(']', i);
        if (i == std::string::npos) i = s.size();
      } else {
        ++i;
      }
    } else if (c == '(' && i + 2 < s.size() && kNamed.count(s.substr(i + 1, 2))) {
      out += kNamed.at(s.substr(i + 1, 2));
      i += 2;
    } else {
      out += '\\';
      out += c;
    }
  }
  return out;
}

std::vector<Example> man_examples(const std::string& text) {
  const auto lines = lines_of(text);
  std::vector<Example> out;
  std::string section;
  bool in_block = false;
  std::vector<std::string> body;
  std::vector<int> numbers;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& l = lines[i];
    if (starts_with(l, ".SH")) {
      section = trimmed(l.substr(3));
      if (!section.empty() && section.front() == '"') section = section.substr(1);
      continue;
    }
    const bool opens = l == ".nf" || starts_with(l, ".EX");
    const bool closes = l == ".fi" || starts_with(l, ".EE");
    if (!in_block && opens && starts_with(section, "EXAMPLE")) {
      in_block = true;
      body.clear();
      numbers.clear();
    } else if (in_block && closes) {
      in_block = false;
      out.push_back(block_of(body, numbers, false));
    } else if (in_block && !starts_with(l, ".") && !starts_with(l, "'")) {
      body.push_back(unroff(l));
      numbers.push_back(static_cast<int>(i + 1));
    }
  }
  return out;
}

// One line per command: "sh 12: text" or "py 12: text".
std::string listing(const std::vector<Example>& examples) {
  std::string s;
  for (const auto& e : examples)
    for (const auto& c : e.commands) s += (e.python ? "py " : "sh ") + std::to_string(c.line) + ": " + c.text + "|";
  return s;
}

// What the extraction must find, and what it must leave alone.
struct Extraction {
  const char* what;
  bool man;
  const char* text;
  const char* found;
};
const Extraction kExtractions[] = {
    {"indented after a blank line, fenced sh, a continued line", false,
     "Run:\n\n    kest-season at Mars 2026-01-01\n    kest-season --list\n\n```sh\nkest-season \\\n  --list\n```\n",
     "sh 3: kest-season at Mars 2026-01-01|sh 4: kest-season --list|sh 7: kest-season \\\n  --list|"},
    {"a program: fenced python, or indented with an import first; its blank lines kept", false,
     "\n    import kest\n\n    print(kest.bodies())\n\n```python\nx = 1\n```\n",
     "py 2: import kest\n\nprint(kest.bodies())\n|py 7: x = 1\n|"},
    {"screens in unmarked fences (indented lines too) and indented continuation lines are not commands", false,
     "```\n ? Option Kode\n    49.48639555     1.84765859\n```\n- a list item\n    with a deep continuation\n",
     ""},
    {"man page: EXAMPLES blocks with escapes undone, requests inside dropped", true,
     ".SH DESCRIPTION\n.nf\nnot an example\n.fi\n.SH EXAMPLES\n.nf\nprintf 'p\\en0\\en' | kest\n.br\n"
     "\\fBkest-season\\fR \\-\\-list \\(aqx\\(aq\n.fi\n.SH \"EXAMPLE\"\n.EX\nkest\n.EE\n",
     "sh 7: printf 'p\\n0\\n' | kest|sh 9: kest-season --list 'x'|sh 13: kest|"},
};

TEST(Docs, ExtractionFindsTheExamplesAndOnlyThem) {
  for (const auto& c : kExtractions) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(listing(c.man ? man_examples(c.text) : readme_examples(c.text)), c.found);
  }
}

std::string quoted(const fs::path& p) { return "'" + p.string() + "'"; }

std::string read_file(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

bool have(const std::string& program) {
  const int st = std::system(("command -v " + program + " >/dev/null 2>&1").c_str());
  return st != -1 && WIFEXITED(st) && WEXITSTATUS(st) == 0;
}

fs::path source_dir() { return kest::testing::data_dir().parent_path(); }
fs::path build_dir() { return fs::path(KEST_BINARY_PATH).parent_path(); }
fs::path python_dir() { return build_dir() / "python"; }
// The package lies in build/python/kest, its extension beside its Python.
bool module_built() {
  std::error_code ec;
  if (!fs::is_regular_file(python_dir() / "kest" / "__init__.py", ec)) return false;
  for (const auto& f : fs::directory_iterator(python_dir() / "kest", fs::directory_options::skip_permission_denied, ec))
    if (starts_with(f.path().filename().string(), "_kest.")) return true;
  return false;
}

// The first word of a command, after any VAR=value and a leading "./".
std::string program_of(const std::string& command) {
  std::istringstream in(command);
  std::string w;
  while (in >> w && w.find('=') != std::string::npos && w.front() != '-') {
  }
  return starts_with(w, "./") ? w.substr(2) : w;
}

// Why a command is not run, or "" to run it.
std::string skip_reason(const Example& e, const Command& c) {
  const std::string program = program_of(c.text);
  if (program == "tools/setup" || program == "cmake" || program == "ctest") return "the build itself, run by CI";
  // The package and the programs built on an installed core are made and
  // used by tests/install, on an installation of their own.
  static const std::regex installed("(^|[\\s/($])(cpack|sudo|pkg-config)\\b|kest_\\*\\.deb|build-consumer/");
  if (std::regex_search(c.text, installed)) return "an installation of the package or the core, run by tests/install";
  // pip's builds of the Python package from the source tree are made and
  // installed by tests/packaging, in a virtual environment of their own.
  static const std::regex pip("(^|[\\s/])(pip|python3 -m (pip|venv))\\b");
  if (std::regex_search(c.text, pip)) return "a pip build of the Python package, run by tests/packaging";
  if (e.python && c.text.find("import kest") != std::string::npos && !module_built())
    return "the Python module is not built";
  // Programs that the tree's tools lean on, which a machine may lack.
  static const std::pair<const char*, const char*> kNeeds[] = {{"tools/plot-ephemeris", "gnuplot"}, {"man", "man"}};
  for (const auto& [uses, needs] : kNeeds) {
    const std::regex word(std::string("(^|[\\s;&|(])") + uses + "\\b");
    if (std::regex_search(c.text, word) && !have(needs)) return std::string(needs) + " is not installed";
  }
  return {};
}

// The exit status a command is documented to end with: "# exit status N" at
// its end, else 0.
int expected_status(const std::string& command) {
  static const std::regex mark("#\\s*exit status\\s+([0-9]+)\\s*$");
  std::smatch m;
  return std::regex_search(command, m, mark) ? std::stoi(m[1]) : 0;
}

// Placeholders of the text for the install prefix: DIR of the README, the
// default /usr/local of the manual pages.
std::string with_prefix(std::string command, const fs::path& prefix) {
  static const std::regex placeholder("(^|[\\s=('\"])(DIR|/usr/local)/");
  return std::regex_replace(command, placeholder, "$1" + prefix.string() + "/");
}

// The scratch tree of one block: root/work is where it runs, root/home its
// HOME, root/bin its PATH, root/prefix an installation as `cmake --install`
// lays it out.
void lay_out(const fs::path& root) {
  const fs::path work = root / "work";
  for (const auto& d : {work / "data", work / "build", root / "home", root / "bin", root / "prefix" / "bin",
                        root / "prefix" / "share" / "kest", root / "prefix" / "share" / "man" / "man1"})
    fs::create_directories(d);
  for (const auto& t : fs::directory_iterator(kest::testing::data_dir())) {
    if (t.path().extension() != ".tab") continue;
    for (const auto& d : {work, work / "data", root / "prefix" / "share" / "kest"})
      fs::copy_file(t.path(), d / t.path().filename());
  }
  for (const char* p : {"kest", "kest-season"}) {
    for (const auto& d : {work / "build", root / "bin", root / "prefix" / "bin"})
      fs::create_symlink(build_dir() / p, d / p);
  }
  fs::create_directory_symlink(python_dir(), work / "build" / "python");
  fs::create_symlink("/usr/bin/python3", root / "bin" / "python3");
  for (const char* page : {"kest.1", "kest-season.1"})
    fs::copy_file(source_dir() / "docs" / page, root / "prefix" / "share" / "man" / "man1" / page);
  for (const char* d : {"examples", "tools"})
    fs::copy(source_dir() / d, work / d, fs::copy_options::recursive);
}

// What the examples read that other examples write: the state files of Mars
// at 2025.0 (KESTCM.DAT record 1 and mars.mat, from examples/save-state.in),
// and mywork, the working directory of the scripted run, with its answers.
const char kFixtures[] =
    "build/kest < examples/save-state.in > /dev/null && rm kest.prt &&\n"
    "mkdir mywork && cp data/*.tab mywork/ && cp examples/mars-year-ls.in mywork/answers.txt ||\n"
    "{ echo 'the fixtures could not be made' >&2; exit 125; }\n";

// Runs one block; adds a failure for each command that ends otherwise than
// documented.
void run_example(const std::string& doc, const Example& e) {
  ScratchDir dir;
  const fs::path root = dir.path();
  lay_out(root);
  std::string script = "export HOME=" + quoted(root / "home") + " PATH=" + quoted(root / "bin") +
                       ":\"$PATH\" PYTHONPATH=" + quoted(python_dir()) +
                       " MPLBACKEND=Agg\nunset KEST KEST_SEASON KEST_TABLES\ncd " + quoted(root / "work") + " || exit 125\n" +
                       kFixtures;
  std::vector<const Command*> run;
  for (const auto& c : e.commands) {
    const std::string why = skip_reason(e, c);
    if (!why.empty()) {
      std::cout << "[ skipped  ] " << doc << ":" << c.line << ": " << why << ": " << c.text << "\n";
      continue;
    }
    std::string command = with_prefix(c.text, root / "prefix");
    if (e.python) {
      const fs::path program = root / ("program" + std::to_string(run.size()) + ".py");
      std::ofstream(program) << command;
      command = "/usr/bin/python3 " + quoted(program);
    }
    script += command + "\necho " + std::to_string(run.size()) + " $? >> " + quoted(root / "status") + "\n";
    run.push_back(&c);
  }
  if (run.empty()) return;
  std::ofstream(root / "script.sh") << script;
  const fs::path log = root / "log";
  const int st = std::system(("timeout -k 10 300 sh " + quoted(root / "script.sh") + " < /dev/null > " + quoted(log) +
                              " 2>&1")
                                 .c_str());
  ASSERT_TRUE(st != -1 && WIFEXITED(st) && WEXITSTATUS(st) != 125 && WEXITSTATUS(st) != 124)
      << doc << ":" << e.line << ": the block did not run to its end\n"
      << read_file(log);
  std::map<int, int> status;
  std::istringstream in(read_file(root / "status"));
  for (int k, s; in >> k >> s;) status[k] = s;
  for (std::size_t k = 0; k < run.size(); ++k) {
    const auto it = status.find(static_cast<int>(k));
    const int got = it == status.end() ? -1 : it->second;
    EXPECT_EQ(got, expected_status(run[k]->text))
        << doc << ":" << run[k]->line << ": " << run[k]->text << "\n--- what the block wrote:\n"
        << read_file(log);
  }
}

struct Document {
  const char* path;
  bool man;
};
const Document kDocuments[] = {{"README.md", false}, {"docs/kest.1", true}, {"docs/kest-season.1", true}};

TEST(Docs, EveryExampleRunsAsWritten) {
  for (const auto& d : kDocuments) {
    SCOPED_TRACE(d.path);
    const std::string text = read_file(source_dir() / d.path);
    const auto examples = d.man ? man_examples(text) : readme_examples(text);
    EXPECT_FALSE(examples.empty()) << "no examples found";
    for (const auto& e : examples) run_example(d.path, e);
  }
}

}  // namespace
