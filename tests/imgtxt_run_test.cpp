// The image-to-listing program run as a process: its names, its failures
// and its output file.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "tests/process.h"

namespace {

const char usage[] =
    "imgtxt [-h] [inputfile.spg] [outputfile]\r\n"
    "  -h prints this help message\r\n"
    "  inputfile.spg is the binary input file\r\n"
    "          (defaults to zer92.spg, name must end with .spg)\r\n"
    "  outputfile is the ascii output file\r\n"
    "          (defaults to zer92.asc)\r\n"
    "imgtxt -c [inputfile.spg]\r\n"
    "  -c checks the image file and writes no listing\r\n"
    "  - as inputfile.spg is standard input, as outputfile standard "
    "output\r\n"
    "  --help prints what the program is for and this text\r\n"
    "  --version prints the version\r\n";
const char try_help[] = "Try 'imgtxt --help' for more information.\n";

std::string image_of_size(size_t size) {
  std::string image(size, '\0');
  image[0] = 0x02;  // the header 02 00 00 00 00
  return image;
}

ProcessResult imgtxt(const std::vector<std::string> &args, const TempDir &dir) {
  std::vector<std::string> argv = {program_path("imgtxt")};
  argv.insert(argv.end(), args.begin(), args.end());
  return run_process(argv, dir.path);
}

}  // namespace

TEST(ImgtxtCommandLine, HelpLeavesEveryFileAlone) {
  TempDir dir;
  write_file(dir.file("zer92.asc"), "keep me");
  write_file(dir.file("zer92.spg"), image_of_size(32773));
  ProcessResult r = imgtxt({"-h"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, usage);
  EXPECT_EQ(read_file(dir.file("zer92.asc")), "keep me");

  r = imgtxt({"-z", "zer92.spg"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find(usage), std::string::npos);
  EXPECT_EQ(read_file(dir.file("zer92.asc")), "keep me");
}

TEST(ImgtxtCommandLine, DefaultsAndNameChecks) {
  TempDir dir;
  write_file(dir.file("zer92.spg"), image_of_size(26501));
  ProcessResult r = imgtxt({}, dir);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(read_file(dir.file("zer92.asc"))
                .rfind("IMGTXT Version 1.03, Verbose format\r\n", 0),
            0u);

  write_file(dir.file("a.Spg"), image_of_size(32773));
  r = imgtxt({"a.Spg", "a.asc"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Input file \"a.Spg\" does not end in .spg or .SPG\r\n");
  r = imgtxt({"noext", "a.asc"}, dir);
  EXPECT_EQ(r.err, "Input file \"noext\" does not end in .spg or .SPG\r\n");
  EXPECT_FALSE(file_exists(dir.file("a.asc")));

  write_file(dir.file("B.SPG"), image_of_size(32773));
  r = imgtxt({"B.SPG", "b.asc"}, dir);
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(file_exists(dir.file("b.asc")));
}

TEST(ImgtxtCommandLine, RefusesToOverwriteItsInput) {
  TempDir dir;
  std::string image = image_of_size(32773);
  write_file(dir.file("a.spg"), image);
  ASSERT_EQ(link(dir.file("a.spg").c_str(), dir.file("link.asc").c_str()), 0);
  for (const char *output : {"a.spg", "./a.spg", "link.asc"}) {
    ProcessResult r = imgtxt({"a.spg", output}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, std::string("Input file \"a.spg\" is the same as output "
                                 "file \"") +
                         output + "\"\r\n");
  }
  EXPECT_EQ(read_file(dir.file("a.spg")), image);
}

TEST(ImgtxtCommandLine, InputAndOutputFailures) {
  TempDir dir;
  ProcessResult r = imgtxt({"none.spg", "out.asc"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Cannot open none.spg\r\n");

  write_file(dir.file("tiny.spg"), "abc");
  r = imgtxt({"tiny.spg", "out.asc"}, dir);
  EXPECT_EQ(r.err, "Cannot read header of tiny.spg\r\n");

  // A file without an image's header, a listing renamed, say: no listing.
  std::string listing = image_of_size(32773);
  listing.replace(0, 6, "IMGTXT");
  write_file(dir.file("listing.spg"), listing);
  r = imgtxt({"listing.spg", "out.asc"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "listing.spg is not an image file: it does not start with 02 00 00 "
            "00 00\r\n");
  EXPECT_FALSE(file_exists(dir.file("out.asc")));

  write_file(dir.file("short.spg"), image_of_size(26500));
  r = imgtxt({"short.spg", "out.asc"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Cannot read body of short.spg\r\n");
  EXPECT_FALSE(file_exists(dir.file("out.asc")));

  write_file(dir.file("ok.spg"), image_of_size(26501));
  r = imgtxt({"ok.spg", "no/such/dir.asc"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Cannot create/open no/such/dir.asc\r\n");

  r = imgtxt({"ok.spg", "/dev/full"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Cannot write /dev/full\r\n");
}

TEST(ImgtxtOutput, AFailedWriteLeavesTheOldListingWhole) {
  TempDir dir;
  write_file(dir.file("a.spg"), image_of_size(32773));
  write_file(dir.file("mine.asc"), "my edited listing\r\n");
  // A file size limit stands in for a full disk: the listing is 90 KB.
  ProcessOptions options;
  options.cwd = dir.path;
  options.file_size_limit = 16384;
  ProcessResult r =
      run_process({program_path("imgtxt"), "a.spg", "mine.asc"}, options);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Cannot write mine.asc\r\n");
  EXPECT_EQ(read_file(dir.file("mine.asc")), "my edited listing\r\n");
  r = run_process({program_path("imgtxt"), "a.spg", "new.asc"}, options);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(files_in(dir.path),
            (std::vector<std::string>{"a.spg", "mine.asc"}));
}

TEST(ImgtxtOutput, ASignalRemovesTheUnfinishedListing) {
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    TempDir dir;
    write_file(dir.file("mine.asc"), "my edited listing\r\n");
    // The image arrives through a pipe that never completes, so the run is
    // still writing when the signal comes.
    ASSERT_EQ(mkfifo(dir.file("slow.spg").c_str(), 0600), 0);
    int writer = open(dir.file("slow.spg").c_str(), O_RDWR);
    ASSERT_GE(writer, 0);
    ASSERT_EQ(write(writer, "\x02\0\0\0\0abc", 8), 8);
    ProcessOptions options;
    options.cwd = dir.path;
    bool seen = false;
    options.started = [&](pid_t pid) {
      seen = wait_for_hidden_file(dir.path);
      kill(pid, signal_number);
    };
    ProcessResult r =
        run_process({program_path("imgtxt"), "slow.spg", "mine.asc"}, options);
    close(writer);
    EXPECT_TRUE(seen);
    EXPECT_EQ(r.signal, signal_number);
    EXPECT_EQ(read_file(dir.file("mine.asc")), "my edited listing\r\n");
    EXPECT_EQ(files_in(dir.path),
              (std::vector<std::string>{"mine.asc", "slow.spg"}));
  }
}

TEST(ImgtxtOutput, ReplacedFilesKeepTheirModeAndLinks) {
  TempDir dir;
  write_file(dir.file("a.spg"), image_of_size(32773));
  write_file(dir.file("private.asc"), "old");
  chmod(dir.file("private.asc").c_str(), 0600);
  ProcessResult r = imgtxt({"a.spg", "private.asc"}, dir);
  EXPECT_EQ(r.status, 0) << r.err;
  struct stat info;
  ASSERT_EQ(stat(dir.file("private.asc").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0600u);
  EXPECT_EQ(read_file(dir.file("private.asc")).substr(0, 6), "IMGTXT");

  mode_t mask = umask(022);
  r = imgtxt({"a.spg", "fresh.asc"}, dir);
  umask(mask);
  ASSERT_EQ(stat(dir.file("fresh.asc").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0644u);

  // A link is followed: the file it names is replaced, the link stays.
  ASSERT_EQ(mkdir(dir.file("real").c_str(), 0755), 0);
  write_file(dir.file("real/target.asc"), "old");
  ASSERT_EQ(symlink("real/target.asc", dir.file("link.asc").c_str()), 0);
  r = imgtxt({"a.spg", "link.asc"}, dir);
  EXPECT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(lstat(dir.file("link.asc").c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  EXPECT_EQ(read_file(dir.file("real/target.asc")).substr(0, 6), "IMGTXT");
  EXPECT_EQ(files_in(dir.file("real")), std::vector<std::string>{"target.asc"});

  // Devices and descriptors are written in place.
  r = imgtxt({"a.spg", "/dev/stdout"}, dir);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.substr(0, 37), "IMGTXT Version 1.03, Verbose format\r\n");
  r = imgtxt({"a.spg", "/dev/null"}, dir);
  EXPECT_EQ(r.status, 0) << r.err;
}

TEST(ImgtxtCommandLine, GlobsAndSwappedNamesTouchNothing) {
  TempDir dir;
  for (const char *name : {"a.spg", "b.spg", "c.spg"})
    write_file(dir.file(name), image_of_size(32773));
  ProcessResult r = imgtxt({"a.spg", "b.spg", "c.spg"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, std::string(usage) + try_help);
  r = imgtxt({"a.spg", "b.spg"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "Output file \"b.spg\" ends in .spg or .SPG; a listing must not "
            "replace an image\r\n");
  r = imgtxt({"a.spg", "B.SPG"}, dir);
  EXPECT_EQ(r.status, 1);
  for (const char *name : {"a.spg", "b.spg", "c.spg"})
    EXPECT_EQ(read_file(dir.file(name)), image_of_size(32773)) << name;
  EXPECT_EQ(files_in(dir.path),
            (std::vector<std::string>{"a.spg", "b.spg", "c.spg"}));
}

TEST(ImgtxtInput, AnImageArrivingInPiecesIsReadWhole) {
  TempDir dir;
  ASSERT_EQ(mkfifo(dir.file("pipe.spg").c_str(), 0600), 0);
  std::string image = image_of_size(26501);
  image[5 + 26473] = 1;  // one band row
  ProcessOptions options;
  options.cwd = dir.path;
  options.started = [&](pid_t) {
    int writer = open(dir.file("pipe.spg").c_str(), O_WRONLY);
    for (size_t at = 0; at < image.size(); at += 1000) {
      std::string piece = image.substr(at, 1000);
      if (write(writer, piece.data(), piece.size()) < 0)
        break;
      timespec pause = {0, 1000000};
      nanosleep(&pause, nullptr);
    }
    close(writer);
  };
  ProcessResult r =
      run_process({program_path("imgtxt"), "pipe.spg", "out.asc"}, options);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(read_file(dir.file("out.asc"))
                .find("****** Preprogrammed Search Bands ******"),
            std::string::npos);
}

TEST(ImgtxtCheck, ChecksWithoutWritingAListing) {
  TempDir dir;
  write_file(dir.file("good.spg"), read_file(EXAMPLES_DIR "/sample.spg"));
  ProcessResult r = imgtxt({"-c", "good.spg"}, dir);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");

  std::string image = read_file(EXAMPLES_DIR "/sample.spg");
  image[5 + 2 * 2443 + 934] = 9;  // bank 2's type
  write_file(dir.file("bad.spg"), image.substr(0, 26501));
  r = imgtxt({"-c", "bad.spg"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "bad.spg: file: 26501 bytes, not 32773\r\n"
            "bad.spg: bank 2: bank type 9 is not a bank type (0 to 6)\r\n");

  r = imgtxt({"-c", "good.spg", "out.asc"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, std::string(usage) + try_help);
  r = imgtxt({"-c", "good.asc"}, dir);
  EXPECT_EQ(r.err, "Input file \"good.asc\" does not end in .spg or .SPG\r\n");
  r = imgtxt({"-c", "none.spg"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Cannot open none.spg\r\n");
  EXPECT_EQ(files_in(dir.path),
            (std::vector<std::string>{"bad.spg", "good.spg"}));
}
