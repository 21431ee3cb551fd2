// The listing imgtxt writes for whole images: sections, records and
// columns.
#include "imgtxt/imgtxt.h"

#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/listing_io.h"

namespace {

/// The listing's lines without their CR LF ends; fails on a bare LF.
std::vector<std::string> lines_of(const std::string &text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find("\r\n", start);
    EXPECT_NE(end, std::string::npos);
    EXPECT_EQ(text.substr(start, end - start).find('\n'), std::string::npos);
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

/// Index of the first line equal to text at or after from.
size_t find_line(const std::vector<std::string> &lines, const std::string &text,
                 size_t from = 0) {
  for (size_t i = from; i < lines.size(); ++i)
    if (lines[i] == text)
      return i;
  return std::string::npos;
}

void put(ImageBody &image, int offset, std::vector<int> bytes) {
  for (int b : bytes)
    image.bytes[offset++] = static_cast<unsigned char>(b);
}

void put_text(ImageBody &image, int offset, const char *text) {
  memcpy(image.bytes + offset, text, strlen(text));
}

/// An image with bank 0 and bank 3 as the format's examples show them.
ImageBody *example_image() {
  static ImageBody image;
  memset(&image, 0, sizeof image);
  put_text(image, bank_base(0) + bank_tag_offset, "POLICE      ");
  put(image, channel_offset(0, 0), {0x11, 0x56, 0x22, 0x00, 0xCE, 0x04});
  put_text(image, channel_offset(0, 0) + code_size, "COUNTY FIRE ");
  int b3 = bank_base(3);
  put(image, b3 + bank_search_offset, {0x49, 0x00, 0x31, 0x00, 0x00, 0x00});
  put_text(image, b3 + bank_search_offset + code_size, "SEARCH 1    ");
  put(image, b3 + bank_search_end_offset, {0x4A, 0x00, 0x01});
  put_text(image, b3 + bank_tag_offset, "TAXI        ");
  put(image, b3 + bank_mode_offset, {0x02, 0x04});
  memset(image.bytes + b3 + bank_lockout_offset, 0xFF, lockout_area_size);
  put(image, lockout_offset(3, 1), {0x49, 0x28});
  put(image, talkgroup_offset(3, 1), {0x17, 0x25});
  put_text(image, talkgroup_offset(3, 1) + 2, "DISPATCH    ");
  return &image;
}

}  // namespace

TEST(Listing, WritesTheExampleBanksVerbatim) {
  std::vector<std::string> lines = lines_of(listing_of(*example_image()));
  ASSERT_GT(lines.size(), 5u);
  EXPECT_EQ(lines[0], "IMGTXT Version 1.03, Verbose format");
  EXPECT_EQ(lines[1], "Edit this file per the instructions.  Spacing matters!");
  EXPECT_EQ(lines[2], "");
  EXPECT_EQ(lines[3],
            "****** Bank 0 ******   Tag: POLICE        Type: Conv   Mode: "
            "Closed");
  EXPECT_EQ(lines[4], " ");
  EXPECT_EQ(lines[5],
            "  0  11 56 22 00 CE 04  >COUNTY FIRE <  154.4300  PL      123.0"
            "  ----");

  size_t at = find_line(
      lines,
      "Srch 49 00 31 00 00 00  >SEARCH 1    <  453.0000  FM        0.0  ----");
  ASSERT_NE(at, std::string::npos);
  const std::vector<std::string> block = {
      "End, step     4A 00 01                  454.0000  0.0125",
      " ",
      " Bank 3 info:",
      "TAXI                       >TAXI        <",
      " 02                         Open    00.0 kHz offset          "
      "(Mode/Offset)",
      " 04                         LTR                              "
      "(Bank type)",
      " 00 00 00 00 00 00 00 00    S00 S00 S00 S00 S00 S00 S00 S00  "
      "(Fleet map)",
      " ",
      " Search lockouts:",
      "  1 49 28  453.5000",
      " (end lockouts)",
      " ",
      " Talkgroup IDs:",
      "   1 2517     [105023 Scan]    >DISPATCH    <",
  };
  for (size_t i = 0; i < block.size(); ++i)
    EXPECT_EQ(lines[at + 1 + i], block[i]);
}

TEST(Listing, EmptyImageHasNoBandSectionAndEmptyLockoutLists) {
  static ImageBody image = {};
  std::vector<std::string> lines = lines_of(listing_of(image));
  size_t weather = find_line(lines, "****** Weather Channels ******");
  ASSERT_NE(weather, std::string::npos);
  EXPECT_EQ(lines[weather + 11], "  9  00 00 00 00 00 00  >" +
                                     std::string(12, '\0') +
                                     "<   29.0000  AM        0.0  ----");
  EXPECT_EQ(lines[weather + 12], " ");
  EXPECT_EQ(lines[weather + 13], "****** Opening screen message ******");
  // Zero bytes are a listed lockout pair at the search band's base.
  size_t lockouts = find_line(lines, " Search lockouts:");
  EXPECT_EQ(lines[lockouts + 1], "  1 00 00   29.0000");
  EXPECT_EQ(lines[lockouts + 51], " (end lockouts)");
  EXPECT_EQ(lines.back(),
            std::string(10, '\0') + "  ----------   Active search banks");
}

TEST(Listing, LockoutsWithAnFFByteAreNotListed) {
  ImageBody &image = *example_image();
  put(image, lockout_offset(3, 2), {0xFF, 0x10});
  put(image, lockout_offset(3, 3), {0x10, 0xFF});
  put(image, lockout_offset(3, 4), {0x00, 0x00});
  std::vector<std::string> lines = lines_of(listing_of(image));
  size_t at = find_line(lines, " Bank 3 info:");
  at = find_line(lines, " Search lockouts:", at);
  EXPECT_EQ(lines[at + 1], "  1 49 28  453.5000");
  EXPECT_EQ(lines[at + 2], "  4 00 00  380.0000");
  EXPECT_EQ(lines[at + 3], " (end lockouts)");
}

TEST(Listing, BandCountsAtAndBeyondTheTable) {
  for (int count : {1, 100, 150, 255}) {
    static ImageBody image;
    memset(&image, 0, sizeof image);
    image.bytes[band_count_offset] = static_cast<unsigned char>(count);
    put(image, band_record_offset(1), {0x07, 0x00, 0x01, 0x12, 0x0B, 0x00});
    put_text(image, band_record_offset(1) + code_size, "2 METER HAM ");
    std::vector<std::string> lines = lines_of(listing_of(image));
    size_t at = find_line(lines, "****** Preprogrammed Search Bands ******");
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(lines[at - 1], "");
    EXPECT_EQ(lines[at + 1], "");
    EXPECT_EQ(lines[at + 2],
              "  0  07 00 01 12 0B 00  >2 METER HAM <  144.0000  FM   "
              "148.0000  0.0050");
    int rows = count > 100 ? 100 : count;
    EXPECT_EQ(lines[at + 2 + rows], " ") << count;
    EXPECT_EQ(lines[at + 2 + rows + 1], "****** Opening screen message ******");
    if (rows == 100) {
      EXPECT_EQ(lines[at + 2 + 99].substr(0, 5), " 99  ");
    }
    char shown[96];
    snprintf(shown, sizeof shown,
             " %02X%19d   Number of preprogrammed search bands (100 max)",
             count, count);
    EXPECT_NE(find_line(lines, shown), std::string::npos) << count;
  }
}

TEST(Listing, RecordsShowTheirDecodedValues) {
  static ImageBody image;
  memset(&image, 0, sizeof image);
  // A flag U channel shows 0.0; a flag U search keeps its frequency.
  put(image, channel_offset(1, 0), {0x11, 0x53, 0x21, 0x08, 0, 0});
  put(image, bank_base(1) + bank_search_offset,
      {0x11, 0x53, 0x22, 0x08, 0xCE, 0x04});
  // A DCS value above 511 is wider than eight characters.
  put(image, channel_offset(1, 1), {0x11, 0x53, 0x23, 0x00, 0x00, 0x02});
  // A MOT bank: 0x8000 with size code 1 and then size code 0 in block 0.
  put(image, bank_base(2) + bank_type_offset, {5, 1});
  put(image, talkgroup_offset(2, 1), {0x00, 0x80});
  put(image, bank_base(4) + bank_type_offset, {5, 0});
  put(image, talkgroup_offset(4, 1), {0x00, 0x80});
  put(image, talkgroup_offset(4, 2), {0x00, 0x00});
  std::vector<std::string> lines = lines_of(listing_of(image));

  size_t bank1 = find_line(lines,
                           "****** Bank 1 ******   Tag:   Type: Conv   "
                           "Mode: Closed");
  ASSERT_NE(bank1, std::string::npos);
  EXPECT_EQ(lines[bank1 + 2].substr(38), "    0.0000  FM        0.0  U---");
  EXPECT_EQ(lines[bank1 + 3].substr(38), "  154.4150  DPL      D1000  ----");
  EXPECT_EQ(lines[bank1 + 53].substr(0, 5), "Srch ");
  EXPECT_EQ(lines[bank1 + 53].substr(38), "  154.4150  PL      123.0  U---");

  size_t bank2 = find_line(lines, " Bank 2 info:");
  size_t tg = find_line(lines, " Talkgroup IDs:", bank2);
  EXPECT_EQ(lines[tg + 1].substr(0, 27), "   1 8000     [       Skip]");
  EXPECT_EQ(lines[tg + 2].substr(0, 27), "   2 0000     [           ]");
  size_t bank4 = find_line(lines, " Bank 4 info:");
  tg = find_line(lines, " Talkgroup IDs:", bank4);
  EXPECT_EQ(lines[tg + 1].substr(0, 27), "   1 8000     [      Skip ]");
  EXPECT_EQ(lines[tg + 2].substr(0, 27), "   2 0000     [           ]");
}

TEST(Listing, TagBytesAreWrittenAsTheyAreButForLineFeeds) {
  static ImageBody image;
  memset(&image, 0, sizeof image);
  put_text(image, bank_base(0) + bank_tag_offset, "AB");
  put(image, bank_base(0) + bank_tag_offset + 3, {'C', '\r', 0xFF, '\n'});
  put(image, channel_offset(0, 0) + code_size, {'X', '\n', 0, 'Y'});
  put_text(image, message_line_offset(1), "HELLO");
  put(image, message_line_offset(1) + 5, {'\n', '!'});
  put(image, scan_banks_offset, {'0', '\n', '\r', 0xA5, '4'});
  std::vector<std::string> lines = lines_of(listing_of(image));

  EXPECT_EQ(lines[3],
            "****** Bank 0 ******   Tag: AB  Type: Conv   Mode: "
            "Closed");
  std::string tag =
      std::string("AB") + '\0' + "C\r\xFF " + std::string(5, '\0');
  EXPECT_EQ(lines[5].substr(24, 14),
            ">X " + std::string(1, '\0') + "Y" + std::string(8, '\0') + "<");
  size_t info = find_line(lines, " Bank 0 info:");
  EXPECT_EQ(lines[info + 1], "AB               >" + tag + "<");
  size_t message = find_line(lines, "****** Opening screen message ******");
  EXPECT_EQ(lines[message + 2], " >HELLO !<");
  size_t settings = find_line(lines, "****** Scanner settings ******");
  EXPECT_EQ(lines[settings + 16], std::string("0 \r\xA5") + "4" +
                                      std::string(5, '\0') +
                                      "  0---4-----   Enabled scan banks");
}

namespace {

/// An image using every kind of record, for the structure test.
ImageBody *full_image() {
  static ImageBody image;
  for (int i = 0; i < body_size; ++i)
    image.bytes[i] = static_cast<unsigned char>('A' + i % 26);
  for (int b = 0; b < bank_count; ++b) {
    for (int k = 0; k < channel_count; ++k)
      put(image, channel_offset(b, k),
          {k, 3 * k, (b % 5) << 4 | k % 7, k % 16, k, 2 + k % 8});
    put(image, bank_base(b) + bank_search_offset, {10, 20, 0x22, 0, 5, 3});
    put(image, bank_base(b) + bank_mode_offset, {b, b % 8});
    memset(image.bytes + bank_base(b) + bank_lockout_offset, 0xFF,
           lockout_area_size);
    for (int l = 1; l <= b * 5; ++l)
      put(image, lockout_offset(b, l), {l, 2 * l});
    for (int i = 0; i < fleet_block_count; ++i)
      image.bytes[bank_base(b) + bank_fleet_offset + i] =
          static_cast<unsigned char>((b + i) % 15);
  }
  for (int n = 1; n <= band_record_count; ++n)
    put(image, band_record_offset(n), {n, 0, 1, 0x10 | n % 5, n + 5, 0});
  image.bytes[band_count_offset] = 100;
  return &image;
}

/// Checks that the field at the given columns reads as a number.
void expect_number_at(const std::string &line, size_t from, size_t to) {
  ASSERT_GT(line.size(), to) << line;
  std::string field = line.substr(from, to - from + 1);
  char *end;
  strtod(field.c_str(), &end);
  EXPECT_EQ(*end, '\0') << "columns " << from << "-" << to << " of " << line;
}

}  // namespace

TEST(Listing, WholeImageHasEverySectionInOrderWithItsColumns) {
  std::vector<std::string> lines = lines_of(listing_of(*full_image()));
  int lockout_lines = 0;
  for (int b = 0; b < bank_count; ++b)
    lockout_lines += b * 5;
  EXPECT_EQ(lines.size(),
            3u + 10 * 168 + lockout_lines + 12 + 103 + 1 + 7 + 18);

  size_t at = 3;
  for (int b = 0; b < bank_count; ++b) {
    SCOPED_TRACE("bank " + std::to_string(b));
    char header[32];
    snprintf(header, sizeof header, "****** Bank%2d ******   Tag: ", b);
    ASSERT_EQ(lines[at].rfind(header, 0), 0u);
    EXPECT_EQ(lines[at + 1], " ");
    for (int k = 0; k < channel_count; ++k) {
      const std::string &line = lines[at + 2 + k];
      expect_number_at(line, 0, 2);
      for (size_t c : {5, 8, 11, 14, 17, 20})
        EXPECT_TRUE(isxdigit(line[c]) && isxdigit(line[c + 1])) << line;
      EXPECT_EQ(line[24], '>');
      EXPECT_EQ(line[37], '<');
      expect_number_at(line, 38, 47);
      EXPECT_EQ(line.substr(48, 2), "  ");
      // A DCS tone above 511 widens the tone text; the flags end the line.
      ASSERT_GE(line.size(), 69u);
      EXPECT_EQ(line.size() > 69, line[59] == 'D' && line.size() == 70) << line;
      EXPECT_EQ(line.substr(line.size() - 6, 2), "  ");
    }
    size_t s = at + 53;
    EXPECT_EQ(lines[s - 1], " ");
    EXPECT_EQ(lines[s].substr(0, 5), "Srch ");
    EXPECT_EQ(lines[s][24], '>');
    EXPECT_EQ(lines[s][37], '<');
    expect_number_at(lines[s], 38, 47);
    EXPECT_EQ(lines[s + 1].substr(0, 14), "End, step     ");
    expect_number_at(lines[s + 1], 38, 47);
    expect_number_at(lines[s + 1], 48, 55);
    EXPECT_EQ(lines[s + 2], " ");
    EXPECT_EQ(lines[s + 3].substr(1, 4), "Bank");
    EXPECT_EQ(lines[s + 4][27], '>');
    EXPECT_EQ(lines[s + 4][40], '<');
    EXPECT_EQ(lines[s + 5].substr(61), "(Mode/Offset)");
    EXPECT_TRUE(lines[s + 5].substr(28, 23).find("kHz offset") == 13);
    EXPECT_EQ(lines[s + 6].substr(61), "(Bank type)");
    for (size_t c = 28; c <= 56; c += 4)
      EXPECT_EQ(lines[s + 7][c], 'S');
    EXPECT_EQ(lines[s + 7].substr(61), "(Fleet map)");
    EXPECT_EQ(lines[s + 8], " ");
    EXPECT_EQ(lines[s + 9], " Search lockouts:");
    size_t l = s + 10;
    for (int slot = 1; slot <= b * 5; ++slot, ++l) {
      expect_number_at(lines[l], 0, 2);
      expect_number_at(lines[l], 9, 18);
      EXPECT_EQ(lines[l].size(), 19u);
    }
    EXPECT_EQ(lines[l], " (end lockouts)");
    EXPECT_EQ(lines[l + 1], " ");
    EXPECT_EQ(lines[l + 2], " Talkgroup IDs:");
    for (int t = 1; t <= talkgroup_count; ++t) {
      const std::string &line = lines[l + 2 + t];
      expect_number_at(line, 0, 3);
      EXPECT_EQ(line[14], '[');
      EXPECT_EQ(line[26], ']');
      EXPECT_EQ(line[31], '>');
      EXPECT_EQ(line[44], '<');
      EXPECT_EQ(line.size(), 45u);
    }
    EXPECT_EQ(lines[l + 103], " (end talk IDs)");
    EXPECT_EQ(lines[l + 104], " ");
    at = l + 105;
  }
  EXPECT_EQ(lines[at], "****** Weather Channels ******");
  at += 12;
  EXPECT_EQ(lines[at], "");
  EXPECT_EQ(lines[at + 1], "****** Preprogrammed Search Bands ******");
  for (int n = 0; n < 100; ++n) {
    const std::string &line = lines[at + 3 + n];
    expect_number_at(line, 0, 2);
    EXPECT_EQ(line[24], '>');
    EXPECT_EQ(line[37], '<');
    expect_number_at(line, 38, 47);
    expect_number_at(line, 55, 62);
    expect_number_at(line, 63, 70);
    EXPECT_EQ(line.size(), 71u);
  }
  at += 103;
  EXPECT_EQ(lines[at], " ");
  EXPECT_EQ(lines[at + 1], "****** Opening screen message ******");
  EXPECT_EQ(lines[at + 3][1], '>');
  EXPECT_EQ(lines[at + 3][14], '<');
  EXPECT_EQ(lines[at + 8], "****** Scanner settings ******");
  for (int i = 0; i < 16; ++i) {
    const std::string &line = lines[at + 10 + i];
    EXPECT_EQ(line.substr(22, 3), "   ") << line;
    EXPECT_NE(line[21], ' ') << line;
  }
}
