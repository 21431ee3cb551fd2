// The listing-to-image program run as a process: its names, its output file
// and its exit status.
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "tests/generated_image.h"
#include "tests/listing_io.h"
#include "tests/process.h"

namespace {

const char usage[] =
    "txtimg [-h] [inputfile] [outputfile.spg]\n"
    "  -h prints this help message\n"
    "  inputfile is the ascii source file\n"
    "          (defaults to zer92in.asc)\n"
    "  outputfile.spg is the binary output file\n"
    "          (defaults to zer92out.spg, name must end with .spg)\n"
    "txtimg -c [inputfile]\n"
    "  -c checks the listing and writes no image\n"
    "txtimg -f inputfile [outputfile]\n"
    "  -f lays the listing out as imgtxt writes it, from one written "
    "loosely\n"
    "          (outputfile defaults to inputfile)\n"
    "  - as a file name is standard input or output\n"
    "  --help prints what the program is for and this text\n"
    "  --version prints the version\n";
const char try_help[] = "Try 'txtimg --help' for more information.\n";

/// The listing of a generated image, and the image file it must give.
struct Sample {
  Sample() {
    generate_image(77, image);
    listing = listing_of(image);
    file.assign("\x02\0\0\0\0", 5);
    file.append(reinterpret_cast<const char *>(image.bytes), body_size);
    file.append(trailer_size, '\0');
  }
  ImageBody image;
  std::string listing;
  std::string file;
};

const Sample &sample() {
  static Sample s;
  return s;
}

ProcessResult txtimg(const std::vector<std::string> &args, const TempDir &dir) {
  std::vector<std::string> argv = {program_path("txtimg")};
  argv.insert(argv.end(), args.begin(), args.end());
  return run_process(argv, dir.path);
}

}  // namespace

TEST(TxtimgCommandLine, HelpAndImageInputsTouchNothing) {
  TempDir dir;
  write_file(dir.file("zer92in.asc"), sample().listing);
  write_file(dir.file("zer92out.spg"), "old");
  ProcessResult r = txtimg({"-h"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, usage);
  r = txtimg({"-?"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find(usage), std::string::npos);
  EXPECT_EQ(read_file(dir.file("zer92out.spg")), "old");

  for (const char *name : {"x.spg", "X.SPG"}) {
    r = txtimg({name, "out.spg"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              std::string("Oops - you're trying to convert a spg file (") +
                  name +
                  ").\nThis program converts an ASCII file to spg.\n"
                  "Use imgtxt to convert spg to ASCII.\n");
  }
  EXPECT_FALSE(file_exists(dir.file("out.spg")));
}

TEST(TxtimgCommandLine, WritesTheWholeImageFile) {
  TempDir dir;
  write_file(dir.file("zer92in.asc"), sample().listing);
  ProcessResult r = txtimg({}, dir);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(read_file(dir.file("zer92out.spg")), sample().file);

  // Any name but an image file name is a listing; an older, longer output
  // is cut to the new image file.
  for (const char *name : {"edited.Spg", "noext", "a.asc"}) {
    write_file(dir.file(name), sample().listing);
    write_file(dir.file("long.spg"), std::string(40000, 'x'));
    r = txtimg({name, "long.spg"}, dir);
    EXPECT_EQ(r.status, 0) << name;
    EXPECT_EQ(read_file(dir.file("long.spg")), sample().file) << name;
  }

  // /dev/null checks a listing without keeping its image.
  r = txtimg({"a.asc", "/dev/null"}, dir);
  EXPECT_EQ(r.status, 0);
}

TEST(TxtimgCommandLine, RefusesToOverwriteItsInput) {
  TempDir dir;
  write_file(dir.file("x.asc"), sample().listing);
  ASSERT_EQ(link(dir.file("x.asc").c_str(), dir.file("y.spg").c_str()), 0);
  for (const char *output : {"x.asc", "./x.asc", "y.spg"}) {
    ProcessResult r = txtimg({"x.asc", output}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, std::string("Input file \"x.asc\" is the same as output "
                                 "file \"") +
                         output + "\"\n");
  }
  EXPECT_EQ(read_file(dir.file("x.asc")), sample().listing);
}

TEST(TxtimgCommandLine, FailuresKeepTheOutputAsItWas) {
  TempDir dir;
  ProcessResult r = txtimg({"none.asc", "out.spg"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Cannot open none.asc\n");
  EXPECT_FALSE(file_exists(dir.file("out.spg")));

  write_file(dir.file("in.asc"), sample().listing);
  r = txtimg({"in.asc", "no/dir/out.spg"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Cannot open no/dir/out.spg\n");

  // A fatal error: no new output is made, an old one keeps its bytes.
  std::string cut = sample().listing.substr(0, 5000);
  write_file(dir.file("cut.asc"), cut);
  r = txtimg({"cut.asc", "new.spg"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.rfind("Error: End of file reading bank 0 channel ", 0), 0u)
      << r.err;
  EXPECT_FALSE(file_exists(dir.file("new.spg")));
  write_file(dir.file("old.spg"), sample().file.substr(0, 100));
  r = txtimg({"cut.asc", "old.spg"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(read_file(dir.file("old.spg")), sample().file.substr(0, 100));

  r = txtimg({"in.asc", "/dev/full"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Cannot write header to /dev/full\n");
}

TEST(TxtimgCommandLine, AnUnknownSectionWritesWhatWasRead) {
  TempDir dir;
  std::string listing = sample().listing;
  size_t weather = listing.find("****** Weather");
  write_file(dir.file("in.asc"),
             listing.substr(0, weather) + "****** End of banks\r\n");
  ProcessResult r = txtimg({"in.asc", "out.spg"}, dir);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  std::string expected = sample().file;
  for (size_t i = 5 + weather_offset; i < 5 + body_size; ++i)
    expected[i] = '\0';
  EXPECT_EQ(read_file(dir.file("out.spg")), expected);
}

TEST(TxtimgOutput, AFailedWriteLeavesTheOldImageWhole) {
  TempDir dir;
  write_file(dir.file("in.asc"), sample().listing);
  write_file(dir.file("mine.spg"), "my old image");
  // A file size limit stands in for a full disk.
  ProcessOptions options;
  options.cwd = dir.path;
  options.file_size_limit = 16384;
  ProcessResult r =
      run_process({program_path("txtimg"), "in.asc", "mine.spg"}, options);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Cannot write data to mine.spg\n");
  EXPECT_EQ(read_file(dir.file("mine.spg")), "my old image");
  r = run_process({program_path("txtimg"), "in.asc", "new.spg"}, options);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(files_in(dir.path),
            (std::vector<std::string>{"in.asc", "mine.spg"}));
}

TEST(TxtimgOutput, ASignalRemovesTheUnfinishedImage) {
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    TempDir dir;
    write_file(dir.file("mine.spg"), "my old image");
    ASSERT_EQ(mkfifo(dir.file("slow.asc").c_str(), 0600), 0);
    int writer = open(dir.file("slow.asc").c_str(), O_RDWR);
    ASSERT_GE(writer, 0);
    std::string start = sample().listing.substr(0, 3000);
    ASSERT_EQ(write(writer, start.data(), start.size()), 3000);
    ProcessOptions options;
    options.cwd = dir.path;
    bool seen = false;
    options.started = [&](pid_t pid) {
      seen = wait_for_hidden_file(dir.path);
      kill(pid, signal_number);
    };
    ProcessResult r =
        run_process({program_path("txtimg"), "slow.asc", "mine.spg"}, options);
    close(writer);
    EXPECT_TRUE(seen);
    EXPECT_EQ(r.signal, signal_number);
    EXPECT_EQ(read_file(dir.file("mine.spg")), "my old image");
    EXPECT_EQ(files_in(dir.path),
              (std::vector<std::string>{"mine.spg", "slow.asc"}));
  }
}

TEST(TxtimgCommandLine, GlobsAndSwappedNamesTouchNothing) {
  TempDir dir;
  for (const char *name : {"a.asc", "b.asc", "c.asc"})
    write_file(dir.file(name), sample().listing);
  ProcessResult r = txtimg({"a.asc", "b.asc", "c.asc"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, std::string(usage) + try_help);
  r = txtimg({"a.asc", "b.asc"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Output file \"b.asc\" does not end in .spg or .SPG\n");
  r = txtimg({"a.asc", "new.img"}, dir);
  EXPECT_EQ(r.err, "Output file \"new.img\" does not end in .spg or .SPG\n");
  for (const char *name : {"a.asc", "b.asc", "c.asc"})
    EXPECT_TRUE(read_file(dir.file(name)) == sample().listing) << name;
  EXPECT_EQ(files_in(dir.path),
            (std::vector<std::string>{"a.asc", "b.asc", "c.asc"}));
  // Devices are no image files and need no such name.
  r = txtimg({"a.asc", "/dev/stdout"}, dir);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(r.out == sample().file);
}

TEST(TxtimgCommandLine, ClosedStandardDescriptorsTakeNoFile) {
  TempDir dir;
  // The overlong line gives a warning that must not end up in the image.
  std::string listing = sample().listing;
  listing.insert(listing.find("****** Weather"), std::string(9000, 'x') + "\n");
  write_file(dir.file("in.asc"), listing);
  ProcessOptions options;
  options.cwd = dir.path;
  options.closed_fds = {1, 2};
  ProcessResult r =
      run_process({program_path("txtimg"), "in.asc", "out.spg"}, options);
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(read_file(dir.file("out.spg")) == sample().file);
}

TEST(TxtimgInput, ReadErrorsAreNotAnEndOfFile) {
  TempDir dir;
  ASSERT_EQ(mkdir(dir.file("folder.asc").c_str(), 0755), 0);
  ProcessResult r = txtimg({"folder.asc", "out.spg"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Cannot read folder.asc: Is a directory\n");
  EXPECT_FALSE(file_exists(dir.file("out.spg")));
}

TEST(TxtimgCheck, ChecksWithoutWritingAnything) {
  TempDir dir;
  write_file(dir.file("good.asc"), read_file(EXAMPLES_DIR "/sample.asc"));
  ProcessResult r = txtimg({"-c", "good.asc"}, dir);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");

  std::string listing = read_file(EXAMPLES_DIR "/sample.asc");
  size_t at = listing.find("155.4750  FM");
  listing.replace(at, 8, "155.4761");
  at = listing.find("D754");
  listing.replace(at, 4, "D999");
  write_file(dir.file("bad.asc"), listing);
  r = txtimg({"-c", "bad.asc"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "Warning: frequency 155.4761 is not on the 0.005 MHz step, stored "
            "as 155.4750 at line 7, file bad.asc\n"
            "Warning: DCS code D999 is not D followed by octal digits, stored "
            "as D000 at line 11, file bad.asc\n"
            "2 warnings and 0 errors in bad.asc\n");

  // A fatal error counts as an error; the checks up to it are given.
  write_file(dir.file("cut.asc"), listing.substr(0, 2000));
  r = txtimg({"-c", "cut.asc"}, dir);
  EXPECT_EQ(r.status, 1);
  size_t summary = r.err.rfind("\n", r.err.size() - 2);
  EXPECT_EQ(r.err.substr(summary + 1), "2 warnings and 1 error in cut.asc\n");

  write_file(dir.file("one.asc"), listing.substr(0, listing.find("D999")) +
                                      "D754" +
                                      listing.substr(listing.find("D999") + 4));
  r = txtimg({"-c", "one.asc"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.substr(r.err.rfind("\n", r.err.size() - 2) + 1),
            "1 warning and 0 errors in one.asc\n");

  // The plain conversion prints only what it always printed.
  r = txtimg({"bad.asc", "bad.spg"}, dir);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");

  // One name only: a second would be an output, which a check has not.
  r = txtimg({"-c", "good.asc", "out.spg"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, std::string(usage) + try_help);
  r = txtimg({"-c", "none.asc"}, dir);
  EXPECT_EQ(r.err, "Cannot open none.asc\n");
  EXPECT_EQ(files_in(dir.path),
            (std::vector<std::string>{"bad.asc", "bad.spg", "cut.asc",
                                      "good.asc", "one.asc"}));
}

TEST(TxtimgFormat, LaysOutALooseListingOrWritesNothing) {
  TempDir dir;
  const std::string canonical = read_file(EXAMPLES_DIR "/sample.asc");
  // The example with its first channel line typed loosely.
  std::string loose = canonical;
  const char line[] =
      "  0  11 56 22 00 CE 04  >COUNTY FIRE <  154.4300  PL      123.0  ----";
  loose.replace(loose.find(line), strlen(line),
                "0\t>COUNTY FIRE<\t154.43 pl 123.0");
  ASSERT_NE(loose, canonical);
  write_file(dir.file("loose.asc"), loose);

  // In place, to another file, and to standard output.
  ProcessResult r = txtimg({"-f", "loose.asc", "out.asc"}, dir);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(read_file(dir.file("out.asc")) == canonical);
  EXPECT_TRUE(read_file(dir.file("loose.asc")) == loose);
  r = txtimg({"-f", "loose.asc", "-"}, dir);
  EXPECT_TRUE(r.out == canonical);
  r = txtimg({"-f", "loose.asc"}, dir);
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(read_file(dir.file("loose.asc")) == canonical);

  // An error writes nothing; a warning writes, and both are counted.
  std::string broken = canonical;
  broken.replace(broken.find("  0  "), 5, " 60  ");
  write_file(dir.file("broken.asc"), broken);
  r = txtimg({"-f", "broken.asc", "new.asc"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "Error: channel number 60 is outside 0 to 49 at line 6, file "
            "broken.asc\n0 warnings and 1 error in broken.asc\n");
  EXPECT_FALSE(file_exists(dir.file("new.asc")));
  r = txtimg({"-f", "broken.asc"}, dir);
  EXPECT_TRUE(read_file(dir.file("broken.asc")) == broken);

  // Refusals: a listing over an image, an image read, no input, -c with -f,
  // a file too large to be a listing, none, and an empty standard input.
  write_file(dir.file("huge.asc"), std::string(9 << 20, ' '));
  const std::vector<std::pair<std::vector<std::string>, std::string>> refused =
      {
          {{"-f", "loose.asc", "image.spg"},
           "Output file \"image.spg\" ends in .spg or .SPG; a listing must "
           "not replace an image\n"},
          {{"-f", "image.spg"}, "Oops - you're trying to convert a spg file"},
          {{"-f"}, "txtimg [-h]"},
          {{"-c", "-f", "loose.asc"}, "txtimg [-h]"},
          {{"-f", "huge.asc"}, "huge.asc is too large to be a listing\n"},
          {{"-f", "none.asc"}, "Cannot open none.asc\n"},
          {{"-f", "-"}, "Error: bank 0 section is missing at line 1, file -\n"},
          {{"-f", "loose.asc", "/dev/full"},
           "Cannot write /dev/full: No space left on device\n"},
      };
  for (const auto &[args, err] : refused) {
    r = txtimg(args, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.substr(0, err.size()), err);
    EXPECT_EQ(r.out, "");
  }
  EXPECT_EQ(files_in(dir.path),
            (std::vector<std::string>{"broken.asc", "huge.asc", "loose.asc",
                                      "out.asc"}));
}
