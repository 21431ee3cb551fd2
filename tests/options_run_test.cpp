// What every program answers to --version and --help, beside -h.
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
  }
  EXPECT_TRUE(files_in(dir.path).empty());
}
