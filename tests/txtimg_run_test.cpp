// The listing-to-image program run as a process: its names, its output file
// and its exit status.
#include <stdlib.h>
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
    "          (defaults to zer92out.spg, name must end with .spg)\n";

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
    r = txtimg({name, "long.spg", "ignored"}, dir);
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

  // A fatal error: a new output stays empty, an old one keeps its bytes.
  std::string cut = sample().listing.substr(0, 5000);
  write_file(dir.file("cut.asc"), cut);
  r = txtimg({"cut.asc", "new.spg"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.rfind("Error: End of file reading bank 0 channel ", 0), 0u)
      << r.err;
  EXPECT_TRUE(file_exists(dir.file("new.spg")));
  EXPECT_EQ(read_file(dir.file("new.spg")), "");
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
