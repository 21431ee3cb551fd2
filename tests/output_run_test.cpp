// Outputs of every program that writes one, named as shells and users name
// them: standard output appended to or grouped, regular files under /proc
// and /dev/shm, and names of every length a folder entry allows.
#include <limits.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/process.h"

namespace {

/// A program and the operands before its output name.
struct Writer {
  const char *program;
  std::vector<std::string> inputs;
  const char *suffix;  ///< of an output name the program takes
};

const std::vector<Writer> &writers() {
  static const std::vector<Writer> all = {
      {"imgtxt", {"sample.spg"}, ".asc"},
      {"txtimg", {"sample.asc"}, ".spg"},
      {"imgcsv", {"sample.spg"}, ".csv"},
      {"csvimg", {"channels.csv", "sample.spg"}, ".spg"},
  };
  return all;
}

/// A folder with the examples the writers read.
struct Inputs : TempDir {
  Inputs() {
    for (const char *name : {"sample.spg", "sample.asc", "channels.csv"})
      write_file(file(name), read_file(std::string(EXAMPLES_DIR) + "/" + name));
  }
};

/// The command line of a writer with an output name, quoted for sh.
std::string command(const Writer &w, const std::string &output) {
  std::string line = "'" + program_path(w.program) + "'";
  for (const std::string &input : w.inputs)
    line += " " + input;
  return line + " '" + output + "'";
}

ProcessResult shell(const std::string &line, const TempDir &dir) {
  return run_process({"/bin/sh", "-c", line}, dir.path);
}

}  // namespace

TEST(Outputs, StandardOutputKeepsItsPlaceAndRegularFilesAreReplacedWhole) {
  for (const Writer &w : writers()) {
    Inputs dir;
    ProcessResult r = shell(command(w, std::string("ref") + w.suffix), dir);
    ASSERT_EQ(r.status, 0) << w.program << r.err;
    std::string ref = read_file(dir.file(std::string("ref") + w.suffix));
    ASSERT_GT(ref.size(), 100u);
    // Appended and grouped, under each name of standard output.
    for (const char *name : {"/dev/stdout", "/dev/fd/1", "/proc/self/fd/1"}) {
      write_file(dir.file("log"), "old\n");
      r = shell(command(w, name) + " >> log", dir);
      EXPECT_EQ(r.status, 0) << w.program << name << r.err;
      EXPECT_TRUE(read_file(dir.file("log")) == "old\n" + ref)
          << w.program << " " << name;
      r = shell("{ echo HEADER; " + command(w, name) + "; echo FOOTER; } > f",
                dir);
      EXPECT_TRUE(read_file(dir.file("f")) == "HEADER\n" + ref + "FOOTER\n")
          << w.program << " " << name;
    }
    // A regular file reached through /proc is replaced whole.
    std::string longer(ref.size() + 5000, 'x');
    write_file(dir.file(std::string("x") + w.suffix), longer);
    r = shell(command(w, std::string("/proc/self/cwd/x") + w.suffix), dir);
    EXPECT_EQ(r.status, 0) << w.program << r.err;
    EXPECT_TRUE(read_file(dir.file(std::string("x") + w.suffix)) == ref)
        << w.program;
    // On /dev/shm a new file is made, and an old one replaced whole.
    std::string shm =
        "/dev/shm/scanner-tools-test-" + std::to_string(getpid()) + w.suffix;
    unlink(shm.c_str());
    r = shell(command(w, shm), dir);
    EXPECT_EQ(r.status, 0) << w.program << r.err;
    EXPECT_TRUE(read_file(shm) == ref) << w.program;
    write_file(shm, longer);
    r = shell(command(w, shm), dir);
    EXPECT_TRUE(read_file(shm) == ref) << w.program;
    unlink(shm.c_str());
  }
}

TEST(Outputs, NamesOfEveryLengthAFolderEntryAllows) {
  for (const Writer &w : writers()) {
    Inputs dir;
    for (size_t length : {5, 200, 244, 245, 250, 254, 255, 256}) {
      std::string name(length - 4, 'n');
      name += w.suffix;
      ProcessResult r = shell(command(w, name), dir);
      if (length <= NAME_MAX) {
        EXPECT_EQ(r.status, 0) << w.program << length << r.err;
        EXPECT_TRUE(file_exists(dir.file(name))) << w.program << length;
        unlink(dir.file(name).c_str());
      } else {
        // Too long a name is refused with the system's reason.
        EXPECT_EQ(r.status, 1) << w.program;
        EXPECT_NE(r.err.find(name + ": File name too long"), std::string::npos)
            << r.err;
      }
      EXPECT_EQ(files_in(dir.path),
                (std::vector<std::string>{"channels.csv", "sample.asc",
                                          "sample.spg"}))
          << w.program << length;
    }
  }
}
