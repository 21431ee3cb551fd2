// What every program answers to --version and --help, beside -h.
#include <string.h>

#include <string>

#include <gtest/gtest.h>

#include "tests/process.h"

TEST(StandardOptions, VersionAndHelpForEveryProgram) {
  TempDir dir;
  std::vector<const char *> programs = {"imgtxt",  "txtimg",  "imgsend",
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
    ProcessResult r =
        run_process({"/bin/sh", "-c", c.command}, dir.path,
                    {"P=" + program_path("imgtxt").substr(
                                0, program_path("imgtxt").rfind('/'))});
    EXPECT_EQ(r.status, c.status) << c.command << "\n" << r.err;
    EXPECT_EQ(r.out.substr(0, c.out.size()), c.out) << c.command;
    EXPECT_EQ(r.err.substr(0, strlen(c.err)), c.err) << c.command;
  }
  // Nothing was written into the folder under the name -.
  EXPECT_FALSE(file_exists(dir.file("-")));
}

TEST(ExitStatus, EachDocumentedStatus) {
  // One case for each status the README's table and the manual pages give.
  TempDir dir;
  std::string sample = read_file(EXAMPLES_DIR "/sample.spg");
  write_file(dir.file("s.spg"), sample);
  write_file(dir.file("s.asc"), read_file(EXAMPLES_DIR "/sample.asc"));
  write_file(dir.file("short.spg"), sample.substr(0, 26501));
  std::string misread = sample;
  misread[5 + 2] = 0x27;  // bank 0 channel 0: mode index 7
  write_file(dir.file("misread.spg"), misread);
  write_file(dir.file("list.csv"), "Location,Frequency\n0,146.52\n");
  write_file(dir.file("odd.csv"), "Location,Frequency\n0,146.521\n");
  write_file(dir.file("hf.csv"), "Location,Frequency\n0,14.2\n");
  struct Case {
    const char *command;  // $P is the folder of the programs
    int status;
  };
  const Case cases[] = {
      {"$P/imgtxt s.spg out.asc", 0},
      {"$P/imgtxt -c s.spg", 0},
      {"$P/imgtxt -x", 1},
      {"$P/imgtxt s.spg out.spg", 1},
      {"$P/imgtxt none.spg out.asc", 1},
      {"$P/imgtxt -c short.spg", 1},
      {"$P/txtimg s.asc out.spg", 0},
      {"sed 's/  FM   /  NFM  /' s.asc > nfm.asc && $P/txtimg nfm.asc nfm.spg",
       0},  // written despite its warnings
      {"$P/txtimg -c s.asc", 0},
      {"$P/txtimg -c nfm.asc", 1},
      {"$P/txtimg -f s.asc f.asc", 0},
      {"$P/txtimg -x", 1},
      {"$P/txtimg s.asc out.asc", 1},
      {"$P/txtimg s.asc no/out.spg", 1},
      {"cp s.spg e.spg && EDITOR=true $P/imgedit e.spg", 0},
      {"EDITOR=\"sed -i s/POLICE/POLIZE/\" $P/imgedit e.spg", 0},
      {"EDITOR=false $P/imgedit e.spg", 1},
      {"EDITOR=\"sed -i s/155.4750/15.4750/\" $P/imgedit e.spg", 1},
      {"EDITOR=true $P/imgedit none.spg", 1},
      {"$P/imgedit", 1},
      {"$P/imgsend -x", 1},
      {"$P/imgsend -n -p none s.asc", 1},
      {"$P/imgsend -n -p none misread.spg", 1},
      {"$P/imgsend -n -p none s.spg", 1},
      {"$P/imgdiff s.spg s.asc", 0},
      {"$P/imgdiff s.spg e.spg", 1},
      {"$P/imgdiff s.spg none.spg", 2},
      {"$P/imgdiff -x", 2},
      {"XDG_STATE_HOME=$PWD/state $P/imgdiff --last s.spg", 2},
      {"$P/imgcard s.spg card.html", 0},
      {"$P/imgcard -x", 1},
      {"$P/imgcard s.spg card.spg", 1},
      {"$P/imgcard none.spg card.html", 1},
#ifdef HAVE_LIBCSV
      {"$P/imgcsv s.spg out.csv", 0},
      {"$P/imgcsv -x", 1},
      {"$P/imgcsv s.spg out.spg", 1},
      {"$P/imgcsv none.spg out.csv", 1},
      {"$P/csvimg list.csv s.spg out2.spg", 0},
      {"$P/csvimg -c list.csv s.spg", 0},
      {"$P/csvimg -c odd.csv s.spg", 1},
      {"$P/csvimg hf.csv s.spg out3.spg", 1},
      {"$P/csvimg -x", 1},
      {"$P/csvimg list.csv s.spg out.csv", 1},
      {"$P/csvimg none.csv s.spg out4.spg", 1},
      {"$P/csvimg -b 5-3 list.csv s.spg out5.spg", 1},
      {"$P/csvimg -b x-3 list.csv s.spg out5.spg", 1},
      {"$P/csvimg -a list.csv s.spg out5.spg", 1},
      {"$P/csvimg -t 0 list.csv s.spg out5.spg", 1},
#endif
  };
  std::string programs =
      program_path("imgtxt").substr(0, program_path("imgtxt").rfind('/'));
  for (const Case &c : cases) {
    ProcessResult r = run_process({"/bin/sh", "-c", c.command}, dir.path,
                                  {"P=" + programs, "HOME=" + dir.path,
                                   "XDG_STATE_HOME=" + dir.file("state")});
    EXPECT_EQ(r.status, c.status) << c.command << "\n" << r.err;
  }
  EXPECT_FALSE(file_exists(dir.file("out3.spg")));  // nothing stored
  EXPECT_FALSE(file_exists(dir.file("out5.spg")));
}
