// The image-to-listing program run as a process: its names, its failures
// and its output file.
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
    "          (defaults to zer92.asc)\r\n";

std::string image_of_size(size_t size) {
  std::string image(size, '\0');
  image[0] = 0x7F;  // the header is not examined
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
  r = imgtxt({"B.SPG", "b.asc", "ignored"}, dir);
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
