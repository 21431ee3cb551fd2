// The whole edit cycle on the sample: listing to image, image to listing,
// an edited channel, and back.
#include <string>

#include <gtest/gtest.h>

#include "tests/process.h"

namespace {

std::string example(const char *name) {
  return std::string(EXAMPLES_DIR) + "/" + name;
}

ProcessResult run(const char *program, const std::vector<std::string> &args,
                  const TempDir &dir) {
  std::vector<std::string> argv = {program_path(program)};
  argv.insert(argv.end(), args.begin(), args.end());
  return run_process(argv, dir.path);
}

}  // namespace

TEST(EditCycle, SampleListingGivesTheSampleImageAndBack) {
  TempDir dir;
  ProcessResult r = run("txtimg", {example("sample.asc"), "made.spg"}, dir);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(read_file(dir.file("made.spg")), read_file(example("sample.spg")));

  r = run("imgtxt", {example("sample.spg"), "listed.asc"}, dir);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(read_file(dir.file("listed.asc")),
            read_file(example("sample.asc")));

  r = run("txtimg", {"listed.asc", "again.spg"}, dir);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(read_file(dir.file("again.spg")), read_file(example("sample.spg")));
}

TEST(EditCycle, AnEditedChannelReachesTheImage) {
  TempDir dir;
  std::string listing = read_file(example("sample.asc"));
  const std::string old_line =
      "  1  12 5F 21 00 00 00  >STATE MUTUAL<  155.4750  FM        0.0  ----";
  size_t at = listing.find(old_line);
  ASSERT_NE(at, std::string::npos);
  // The user changes frequency, mode and tone, and leaves the hex alone.
  listing.replace(at, old_line.size(),
                  "  1  12 5F 21 00 00 00  >STATE MUTUAL<  155.7300  PL      "
                  "127.3  ----");
  write_file(dir.file("edited.asc"), listing);
  ProcessResult r = run("txtimg", {"edited.asc", "edited.spg"}, dir);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  std::string image = read_file(dir.file("edited.spg"));
  std::string sample = read_file(example("sample.spg"));
  ASSERT_EQ(image.size(), sample.size());
  // Channel 1 of bank 0: 155.7300 is band 2, 18 MHz and 146 steps up; the
  // tone is 127.3 Hz in the range from 102.4 Hz.
  const std::string code("\x12\x92\x22\x00\xF9\x04", 6);
  EXPECT_EQ(image.substr(5 + 18, 6), code);
  image.replace(5 + 18, 6, sample.substr(5 + 18, 6));
  EXPECT_EQ(image, sample);
}
