// Option 2 through the whole program with symbolic links planted at the
// state files' names: each save and restore is refused with one message,
// the run ends with status 1, a link's target keeps its bytes and a
// dangling link creates nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "session.hpp"

namespace {

namespace fs = std::filesystem;
using kest::testing::run_kest;
using kest::testing::ScratchDir;

TEST(StateLinks, LinksAtStateFileNamesAreRefused) {
  struct Row {
    const char* name;     // the link's name in the working directory
    const char* answers;  // option 2 after setting up Mars
    const char* message;
  };
  const Row rows[] = {
      {"KESTCM.DAT", "2\n2\n1\n1\n", "KESTIO: nothing saved to KESTCM.DAT: it is a symbolic link"},
      {"KESTCM.DAT", "2\n1\n1\n1\n", "KESTIO: nothing restored from KESTCM.DAT: it is a symbolic link"},
      {"KESTCM.mat", "2\n2\n2\n/\n", "KESTIO: nothing saved to KESTCM.mat: it is a symbolic link"},
      {"s.mat", "2\n1\n2\ns.mat\n", "KESTIO: nothing restored from s.mat: it is a symbolic link"},
  };
  const std::string old(480, 'T');
  for (const bool dangling : {false, true}) {
    for (const Row& r : rows) {
      SCOPED_TRACE(std::string(r.answers) + (dangling ? " dangling" : ""));
      ScratchDir dir, outside;
      dir.copy_tables();
      if (!dangling) outside.write("target", old);
      fs::create_symlink(outside.path() / "target", dir.path() / r.name);
      const auto run = run_kest(dir, std::string("p\n1\n1\n4\n0\n0\n/\n") + r.answers + "0\n");
      EXPECT_EQ(run.status, 1);
      EXPECT_NE(run.out.find(r.message), std::string::npos) << run.out;
      EXPECT_EQ(run.prt.find("KESTIO: /KESTCM/"), std::string::npos);
      EXPECT_EQ(run.prt.find("ASCII RECORD"), std::string::npos);
      EXPECT_EQ(outside.exists("target"), !dangling);
      EXPECT_EQ(outside.read("target"), dangling ? "" : old);
    }
  }
}

}  // namespace
