// The check of image files: the sample passes, and each value that no
// listing can show is named where it lies.
#include "imgtxt/check.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include <gtest/gtest.h>

namespace {

std::string sample_image() {
  FILE *in = fopen(EXAMPLES_DIR "/sample.spg", "rb");
  std::string bytes(40000, '\0');
  size_t got = in ? fread(bytes.data(), 1, bytes.size(), in) : 0;
  if (in)
    fclose(in);
  bytes.resize(got);
  return bytes;
}

/// The problems a check names, and their count.
struct Checked {
  std::string text;
  int count;
};

Checked check(const std::string &file) {
  char *data = nullptr;
  size_t size = 0;
  FILE *err = open_memstream(&data, &size);
  long kept = file.size() < 32773 ? static_cast<long>(file.size()) : 32773;
  int count =
      check_image_file(reinterpret_cast<const unsigned char *>(file.data()),
                       kept, static_cast<long>(file.size()), "x.spg", err);
  fclose(err);
  Checked result{std::string(data, size), count};
  free(data);
  return result;
}

/// The sample image with bytes set at a body offset.
std::string with_body_bytes(int offset, std::initializer_list<int> bytes) {
  std::string file = sample_image();
  for (int b : bytes)
    file[static_cast<size_t>(5 + offset++)] = static_cast<char>(b);
  return file;
}

void expect_problem(const std::string &file, const std::string &line) {
  Checked checked = check(file);
  EXPECT_EQ(checked.text, "x.spg: " + line + "\r\n");
  EXPECT_EQ(checked.count, 1);
}

// Offsets worked from the memory map: bank b at 2443 b, channel k 18 k
// further, search at 900, mode/offset byte at 933, type at 934, fleet map
// at 935, lockouts at 943, weather at 24430, bands at 24610, band count at
// 26473, scan bank word at 26476.
constexpr int bank2 = 2 * 2443, bank4 = 4 * 2443;

}  // namespace

TEST(ImageCheck, TheSampleImageIsClean) {
  Checked checked = check(sample_image());
  EXPECT_EQ(checked.text, "");
  EXPECT_EQ(checked.count, 0);
}

TEST(ImageCheck, TheContainer) {
  std::string file = sample_image();
  expect_problem(file.substr(0, 26501), "file: 26501 bytes, not 32773");
  expect_problem(file + "x", "file: 32774 bytes, not 32773");
  Checked checked = check(file.substr(0, 26500));
  EXPECT_EQ(checked.text,
            "x.spg: file: 26500 bytes, not 32773\r\n"
            "x.spg: file: too short to hold the header and the body\r\n");
  file[0] = 0x7F;
  expect_problem(file, "header: 7F 00 00 00 00, not 02 00 00 00 00");
  file = sample_image();
  file[30000] = 1;
  expect_problem(file, "trailer at file offset 30000: byte 01, not 00");
}

TEST(ImageCheck, ChannelCodesNoListingShows) {
  // Bank 2 channel 0 is an FM channel in band 2 (byte 3 is 21).
  expect_problem(with_body_bytes(bank2 + 2, {0x27}),
                 "bank 2 channel 0: mode index 7 is not a mode (0 to 6)");
  expect_problem(with_body_bytes(bank2 + 2, {0x51}),
                 "bank 2 channel 0: band number 5 is not a band (0 to 4)");
  expect_problem(with_body_bytes(bank2 + 3, {0x10}),
                 "bank 2 channel 0: flag byte 10 has bits the listing does "
                 "not show");
  // 100 MHz above 29 MHz in band 0 is 129 MHz, which band 1 holds.
  expect_problem(with_body_bytes(bank2, {0x64, 0x00, 0x01}),
                 "bank 2 channel 0: frequency 129.0000 lies above band 0, "
                 "which ends below 108.0 MHz");
  expect_problem(with_body_bytes(bank2 + 2, {0x22, 0x00, 0x40, 0x0A}),
                 "bank 2 channel 0: PL tone bytes 40 0A show no tone");
  expect_problem(with_body_bytes(bank2 + 900 + 2, {0x71}),
                 "bank 2 search: band number 7 is not a band (0 to 4)");
  expect_problem(with_body_bytes(24430 + 4, {0xE8, 0x03}),
                 "weather channel 0: tone bytes E8 03 are not shown for a "
                 "weather channel");
}

TEST(ImageCheck, BankValuesNoListingShows) {
  expect_problem(with_body_bytes(bank2 + 934, {7}),
                 "bank 2: bank type 7 is not a bank type (0 to 6)");
  expect_problem(with_body_bytes(bank2 + 934, {1}),
                 "bank 2: bank type 1 is listed as blanks, which read back as "
                 "type 3");
  expect_problem(with_body_bytes(bank2 + 933, {0x03}),
                 "bank 2: mode/offset byte 03 has bits the listing does not "
                 "show");
  expect_problem(with_body_bytes(bank4 + 935 + 7, {15}),
                 "bank 4: fleet map block 7 has size code 15, above 14");
  expect_problem(with_body_bytes(bank2 + 943, {0x12, 0xFF}),
                 "bank 2 lockout 1: pair 12 FF is empty for its one byte FF, "
                 "and is not listed");
  // Both bytes FF is the empty pair itself.
  Checked checked = check(with_body_bytes(bank2 + 943 + 98, {0xFF, 0xFF}));
  EXPECT_EQ(checked.count, 0) << checked.text;
}

TEST(ImageCheck, BandsAndSettingsNoListingShows) {
  expect_problem(with_body_bytes(26473, {101}),
                 "settings: band count 101 is above 100");
  // Band row 0: 07 00 01 12 0B 00, mode FM over band 2.
  expect_problem(with_body_bytes(24610 + 3, {0x72}),
                 "preprogrammed band 0: mode index 7 is not a mode (0 to 6)");
  expect_problem(with_body_bytes(24610 + 3, {0x16}),
                 "preprogrammed band 0: band number 6 is not a band (0 to 4)");
  expect_problem(with_body_bytes(26476 + 2, {'x'}),
                 "enabled scan banks position 3: byte 78 is neither a digit "
                 "nor A5");
}

TEST(ImageCheck, AdviceBeforeAnUpload) {
  // Bank 2 channel 0 made a DPL channel (byte 3 is 23): codes by their
  // octal digits; a tone or code off the standard lists is advice.
  expect_problem(with_body_bytes(bank2 + 2, {0x23, 0x00, 0x00, 0x02}),
                 "bank 2 channel 0: DCS code D1000 has more than three octal "
                 "digits: no code");
  expect_problem(with_body_bytes(bank2 + 2, {0x23, 0x00, 0x17, 0x00}),
                 "bank 2 channel 0: DCS code D027 is not a standard DCS code");
  expect_problem(with_body_bytes(bank2 + 2, {0x22, 0x00, 0x01, 0x05}),
                 "bank 2 channel 0: PL tone 128.1 is not a standard CTCSS "
                 "tone, the nearest is 127.3");
  expect_problem(with_body_bytes(bank2 + 6, {'\t'}),
                 "bank 2 channel 0: tag \"?UARD       \" holds control bytes "
                 "(09), which no display shows; stored as they are");
  // A fleet map byte of a bank that is not Motorola's is not read.
  expect_problem(with_body_bytes(bank2 + 935, {200}),
                 "bank 2: fleet map block 0 has size code 200, above 14");
  expect_problem(with_body_bytes(24430 + 5, {0x01}),
                 "weather channel 0: tone bytes 00 01 are not shown for a "
                 "weather channel");
  // Band row 0 starting 255 MHz above 137 MHz, beyond band 2.
  expect_problem(with_body_bytes(24610, {0xFF}),
                 "preprogrammed band 0: start 392.0000 lies above band 2, "
                 "which ends below 380.0 MHz");
}
