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

TEST(EditCycle, SampleMotorolaBankShowsHandCheckedTalkgroups) {
  // Bank 9's fleet map gives each block another size code; every ID below
  // was worked by hand from the block's A and B.
  std::string listing = read_file(example("sample.asc"));
  const char *const lines[] = {
      (" 02 03 05 06 07 08 09 0A    S02 S03 S05 S06 S07 S08 S09 S10  (Fleet "
       "map)\r\n"),
      "   1 00AF     [005-03 Scan]    >PW DISPATCH <\r\n",
      "   2 03F7     [107-06 Scan]    >PW STREETS  <\r\n",
      "   3 85FD     [263-02 Skip]    >PW PARKS    <\r\n",
      "   4 0641     [304-00 Scan]    >UTIL WATER  <\r\n",
      "   5 07FF     [331-07 Scan]    >UTIL POWER  <\r\n",
      "   6 08A7     [410-01 Scan]    >TRANSIT OPS <\r\n",
      "   7 0A5F     [502-03 Scan]    >SCHOOL BUS  <\r\n",
      "   8 0CEF     [603-02 Scan]    >AIRPORT OPS <\r\n",
      "   9 8EDF     [701-05 Skip]    >AIRPORT FIRE<\r\n",
  };
  size_t bank9 = listing.find("****** Bank 9");
  ASSERT_NE(bank9, std::string::npos);
  for (const char *line : lines)
    EXPECT_NE(listing.find(line, bank9), std::string::npos) << line;
  // The image holds the same IDs, low byte first: slot 4 of bank 9.
  std::string image = read_file(example("sample.spg"));
  EXPECT_EQ(image.substr(5 + 9 * 2443 + 1043 + 3 * 14, 2), "\x41\x06");
}
