// What every program answers to --version and --help, beside -h.
#include <string.h>

#include <string>

#include <gtest/gtest.h>

#include "tests/process.h"

TEST(StandardOptions, VersionAndHelpForEveryProgram) {
  TempDir dir;
  std::vector<const char *> programs = {"imgtxt", "txtimg",  "imgsend",
                                        "imgdiff", "imgedit", "imgcard"};
#ifdef HAVE_LIBCSV
  programs.push_back("imgcsv");
  programs.push_back("csvimg");
#endif
  for (const char *program : programs) {
    SCOPED_TRACE(program);
    // imgdiff, like cmp and diff, keeps 1 for "they differ".
    int failure = std::string(program) == "imgdiff" ? 2 : 1;
    ProcessResult r =
        run_process({program_path(program), "--version"}, dir.path);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, std::string(program) + " (scanner memory tools) " +
                         PROJECT_VERSION + "\n");
    EXPECT_EQ(r.err, "");

    ProcessResult usage = run_process({program_path(program), "-h"}, dir.path);
    EXPECT_EQ(usage.status, failure);
    EXPECT_EQ(usage.out, "");
    ASSERT_NE(usage.err, "");
    r = run_process({program_path(program), "--help"}, dir.path);
    EXPECT_EQ(r.status, 0);
    // What the program is for, one line, then the usage text.
    EXPECT_EQ(r.out.substr(0, strlen(program) + 1), std::string(program) + " ");
    EXPECT_EQ(r.out.substr(r.out.find('\n') + 1), usage.err);
    EXPECT_EQ(r.err, "");

    // A text that cannot be written is a failure.
    ProcessOptions closed;
    closed.cwd = dir.path;
    closed.stdout_reader_closed = true;
    for (const char *option : {"--help", "--version"}) {
      r = run_process({program_path(program), option}, closed);
      EXPECT_EQ(r.status, failure) << option;
      EXPECT_EQ(r.err, "Cannot write standard output: Broken pipe\n");
    }

    // An option that no program knows is still an unknown option.
    r = run_process({program_path(program), "--frobnicate"}, dir.path);
    EXPECT_EQ(r.status, failure);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(usage.err), std::string::npos);
    EXPECT_NE(r.err.find(std::string("Try '") + program +
                         " --help' for more information.\n"),
              std::string::npos);
  }
  EXPECT_TRUE(files_in(dir.path).empty());
}

TEST(StandardStreams, DashIsStandardInputOrOutput) {
  TempDir dir;
  std::string sample = read_file(EXAMPLES_DIR "/sample.spg");
  std::string listing = read_file(EXAMPLES_DIR "/sample.asc");
  write_file(dir.file("s.spg"), sample);
  write_file(dir.file("s.asc"), listing);
  write_file(dir.file("port"), "");
  std::string body = sample.substr(0, 5 + 26496);
  struct Case {
    const char *command;  // $P is the folder of the programs
    int status;
    std::string out;  // its start
    const char *err;  // its start
  };
  const Case cases[] = {
      {"$P/imgtxt - - < s.spg", 0, listing, ""},
      {"$P/imgtxt -c - < s.spg", 0, "", ""},
      {"$P/txtimg - - < s.asc", 0, body, ""},
      {"$P/txtimg -c - < s.asc", 0, "", ""},
      {"$P/txtimg -f - - < s.asc", 0, listing, ""},
      {"$P/imgdiff - s.asc < s.spg", 0, "", ""},
      {"$P/imgdiff s.spg - < s.asc", 0, "", ""},
      {"$P/imgdiff - -", 2, "",
       "Only one of OLD and NEW can be - (standard input)\n"},
      {"$P/imgcard - - < s.asc", 0, "<!DOCTYPE html>\n", ""},
      {"$P/imgedit -", 1, "",
       "imgedit edits an image file in place: - (standard input) is none"},
      // The image read from standard input reaches the port.
      {"$P/imgsend -n -p port - < s.spg", 1, "",
       "Cannot set parameters for port"},
#ifdef HAVE_LIBCSV
      {"$P/imgcsv - - < s.spg", 0, "Location,Name,Frequency,", ""},
      {"$P/csvimg -b 7 - s.spg - < " EXAMPLES_DIR "/channels.csv", 0,
       sample.substr(0, 5), "csvimg: 6 of 6 rows stored in bank 7"},
      {"$P/csvimg -b 7 " EXAMPLES_DIR "/channels.csv - - < s.spg", 0,
       sample.substr(0, 5), "csvimg: 6 of 6 rows stored in bank 7"},
      {"$P/csvimg -c -b 7 - - < s.spg", 1, "",
       "Only one of the list and the base image can be -"},
#endif
  };
  for (const Case &c : cases) {
    ProcessResult r = run_process(
        {"/bin/sh", "-c", c.command}, dir.path,
        {"P=" + program_path("imgtxt").substr(
                    0, program_path("imgtxt").rfind('/'))});
    EXPECT_EQ(r.status, c.status) << c.command << "\n" << r.err;
    EXPECT_EQ(r.out.substr(0, c.out.size()), c.out) << c.command;
    EXPECT_EQ(r.err.substr(0, strlen(c.err)), c.err) << c.command;
  }
  // Nothing was written into the folder under the name -.
  EXPECT_FALSE(file_exists(dir.file("-")));
}
