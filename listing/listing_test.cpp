// The listing's lines, one writer at a time, against lines laid out by hand
// from the format's columns, and the reader's patterns on those lines.
#include "listing/listing.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include <gtest/gtest.h>

namespace {

/// Collects what a writer prints.
struct Capture {
  Capture() : out(open_memstream(&buffer, &size)) {}
  ~Capture() {
    if (out)
      fclose(out);
    free(buffer);
  }
  std::string text() {
    fflush(out);
    return std::string(buffer, size);
  }
  char *buffer = nullptr;
  size_t size = 0;
  FILE *out;
};

/// An 18-byte record of six code bytes and a 12-character tag.
struct Record {
  Record(std::initializer_list<int> code, const char *tag) {
    int i = 0;
    for (int b : code)
      bytes[i++] = static_cast<unsigned char>(b);
    memcpy(bytes + code_size, tag, tag_size);
  }
  unsigned char bytes[record_size];
};

}  // namespace

TEST(ListingLines, BankLines) {
  Capture c;
  write_bank_header(c.out, 3, "TAXI        ", "LTR  ", "Open  ");
  write_bank_info_line(c.out, 3);
  write_bank_tag_line(c.out,
                      reinterpret_cast<const unsigned char *>("TAXI        "));
  write_mode_offset_line(c.out, 0x02, "Open    00.0 kHz offset");
  write_bank_type_line(c.out, 0x04, "LTR  ");
  const unsigned char fleet[8] = {2, 3, 5, 6, 7, 8, 9, 10};
  write_fleet_map_line(c.out, fleet);
  EXPECT_EQ(c.text(),
            "****** Bank 3 ******   Tag: TAXI          Type: LTR    Mode: "
            "Open  \r\n"
            " Bank 3 info:\r\n"
            "TAXI                       >TAXI        <\r\n"
            " 02                         Open    00.0 kHz offset          "
            "(Mode/Offset)\r\n"
            " 04                         LTR                              "
            "(Bank type)\r\n"
            " 02 03 05 06 07 08 09 0A    S02 S03 S05 S06 S07 S08 S09 S10  "
            "(Fleet map)\r\n");
}

TEST(ListingLines, RecordLines) {
  Capture c;
  Record channel({0x11, 0x56, 0x22, 0x00, 0xCE, 0x04}, "COUNTY FIRE ");
  ChannelView view = {154.43, 2, "   123.0", "----"};
  write_channel_line(c.out, 0, channel.bytes, view);
  Record dcs({0x19, 0x6E, 0x23, 0x00, 0x00, 0x02}, "WIDE DCS    ");
  ChannelView wide = {162.55, 3, "    D1000", "-D-L"};
  write_channel_line(c.out, 49, dcs.bytes, wide);
  Record search({0x49, 0x00, 0x31, 0x00, 0x00, 0x00}, "SEARCH 1    ");
  ChannelView start = {453.0, 1, "     0.0", "----"};
  write_search_line(c.out, search.bytes, start);
  const unsigned char end[3] = {0x4A, 0x00, 0x01};
  write_search_end_line(c.out, end, {454.0, 0.0125});
  const unsigned char pair[2] = {0x49, 0x28};
  write_lockout_line(c.out, 1, pair, 453.5);
  unsigned char talkgroup[14] = {0x17, 0x25};
  memcpy(talkgroup + 2, "DISPATCH    ", tag_size);
  write_talkgroup_line(c.out, 1, talkgroup, "105023 Scan");
  Record band({0x07, 0x00, 0x01, 0x12, 0x0B, 0x00}, "2M BAND     ");
  write_band_row(c.out, 0, band.bytes, {144.0, 1, 148.0, 0.005});
  EXPECT_EQ(c.text(),
            "  0  11 56 22 00 CE 04  >COUNTY FIRE <  154.4300  PL      123.0  "
            "----\r\n"
            " 49  19 6E 23 00 00 02  >WIDE DCS    <  162.5500  DPL      D1000  "
            "-D-L\r\n"
            "Srch 49 00 31 00 00 00  >SEARCH 1    <  453.0000  FM        0.0  "
            "----\r\n"
            "End, step     4A 00 01                  454.0000  0.0125\r\n"
            "  1 49 28  453.5000\r\n"
            "   1 2517     [105023 Scan]    >DISPATCH    <\r\n"
            "  0  07 00 01 12 0B 00  >2M BAND     <  144.0000  FM   148.0000  "
            "0.0050\r\n");
}

TEST(ListingLines, PlainCopiesEndAtANulAndLineFeedsBecomeBlanks) {
  const unsigned char text[12] = {'H', 'I', '\n', '!', 0, 'X'};
  char copy[13];
  copy_plain_text(text, 12, copy);
  EXPECT_STREQ(copy, "HI !");
  Capture c;
  write_message_line(c.out, text);
  write_bank_tag_line(c.out, text);
  EXPECT_EQ(c.text(), std::string(" >HI !<\r\n") + "HI !               >HI !" +
                          std::string(1, '\0') + "X" + std::string(6, '\0') +
                          "<\r\n");
}

TEST(ListingLines, SettingsLines) {
  static ImageBody image;
  const unsigned char settings[38] = {
      0x14, 0x0A, 0x14, 0x0F, 0x26, 0x14, 0x0B, 0x05, 0x03, 0x00,
      0x50, 0x00, 0x01, 0x00, 0x02, 0x06, 0x2B, 0xFC, '0',  '1',
      '2',  '3',  '4',  '5',  '6',  '7',  '8',  '9',  '0',  0xA5,
      '2',  0xA5, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5, '9'};
  memcpy(image.bytes + settings_offset, settings, sizeof settings);
  Capture c;
  write_settings_lines(c.out, image);
  EXPECT_EQ(
      c.text(),
      " 14                 14   Unknown.  Initialized 14, default 00 (hex)\r\n"
      " 0A                 10   Backlight on time, 1 sec to 255 sec\r\n"
      " 14               2000   Scan delay time, 400 msec to 25500 msec\r\n"
      " 0F               1500   Trunk rescan delay time,400 msec to 10000 "
      "msec\r\n"
      " 26                 26   Unknown.  Usually 2.55 times trunk delay "
      "byte\r\n"
      " 14                2.0   Minimum scan delay time, 0.4 sec to 25.5 "
      "sec\r\n"
      " 0B                 11   Display contrast, 09 (light) to 14 (blacked "
      "out)\r\n"
      " 05 03            3 05   Priority channel number\r\n"
      " 00 50 00     00 50 00   Last search frequency.  Initialized 00 50 "
      "00\r\n"
      " 01                 01   Priority: 01 = on, 00 = off\r\n"
      " 00                 00   Unknown byte.  Initialized 00\r\n"
      " 02                 02   Unknown byte.  Initialized 00\r\n"
      " 06                  6   Number of preprogrammed search bands (100 "
      "max)\r\n"
      " 2B FC            1019   Keypad tone frequency, 300 Hz to 3000 Hz\r\n"
      "0123456789  0123456789   Enabled scan banks\r\n"
      "0\xA5"
      "2\xA5\xA5\xA5\xA5\xA5\xA5"
      "9  0-2------9   Active search banks\r\n");
}

TEST(ListingReading, PatternsFindTheirFieldsInWrittenLines) {
  char tag[13] = {}, text[24] = {}, type[6] = {}, mode[6] = {};
  const char tag_line[] = "TAXI                       >TAXI        <\r\n";
  ASSERT_EQ(sscanf(tag_line + bank_tag_column_verbose, tag_pattern, tag), 1);
  EXPECT_STREQ(tag, "TAXI        ");
  const char offset_line[] =
      " 06                         Open    12.5 kHz offset          "
      "(Mode/Offset)\r\n";
  ASSERT_EQ(sscanf(offset_line + bank_field_column_verbose, mode_offset_pattern,
                   text),
            1);
  EXPECT_STREQ(text, "Open    12.5 kHz offset");
  const char type_line[] =
      " 05                         MOT                              "
      "(Bank type)\r\n";
  ASSERT_EQ(
      sscanf(type_line + bank_field_column_verbose, bank_type_pattern, type),
      1);
  EXPECT_STREQ(type, "MOT  ");
  int s[8];
  const char fleet_line[] =
      " 02 03 05 06 07 08 09 0A    S02 S03 S05 S06 S07 S08 S09 S10  "
      "(Fleet map)\r\n";
  ASSERT_EQ(sscanf(fleet_line + fleet_map_column, fleet_map_pattern, &s[0],
                   &s[1], &s[2], &s[3], &s[4], &s[5], &s[6], &s[7]),
            8);
  EXPECT_EQ(s[3], 6);
  EXPECT_EQ(s[7], 10);

  // The terse variant has no hexadecimal columns and the bank fields 20
  // columns to the left.
  const char terse_tag[] = "TAXI   >TAXI        <\r\n";
  ASSERT_EQ(sscanf(terse_tag + bank_tag_column_terse, tag_pattern, tag), 1);
  EXPECT_STREQ(tag, "TAXI        ");
  const char terse_type[] = " 05     MOT  \r\n";
  ASSERT_EQ(
      sscanf(terse_type + bank_field_column_terse, bank_type_pattern, type), 1);
  EXPECT_STREQ(type, "MOT  ");

  int number;
  double frequency;
  char tone[16], flags[16];
  const char channel[] =
      "  0  11 56 22 00 CE 04  >COUNTY FIRE <  154.4300  PL      123.0  "
      "----\r\n";
  ASSERT_EQ(sscanf(channel, channel_pattern_verbose, &number, tag, &frequency,
                   mode, tone, flags),
            6);
  EXPECT_STREQ(tag, "COUNTY FIRE ");
  EXPECT_EQ(frequency, 154.43);
  EXPECT_STREQ(mode, "PL   ");
  EXPECT_STREQ(tone, "123.0");
  EXPECT_STREQ(flags, "----");

  unsigned code;
  char talkgroup[12] = {};
  const char talkgroup_line[] =
      "   1 2517     [105023 Scan]    >DISPATCH    <\r\n";
  ASSERT_EQ(
      sscanf(talkgroup_line, talkgroup_pattern, &number, &code, talkgroup, tag),
      4);
  EXPECT_EQ(code, 0x2517u);
  EXPECT_STREQ(talkgroup, "105023 Scan");
  EXPECT_STREQ(tag, "DISPATCH    ");
}

TEST(ScanStops, NameTheTokenThatDidNotMatch) {
  struct Case {
    const char *text;
    const char *pattern;
    bool matched;
    int assigned;
    const char *token;
  };
  const Case cases[] = {
      {"  1  12 5F 21 00 00 00  >STATE MUTUAL<  155.4750  FM        0.0  ----",
       channel_pattern_verbose, true, 6, ""},
      {"  1  12 5F 21 00 00 00  >STATE MUTUA<  155.4750  FM",
       channel_pattern_verbose, false, 2, "<"},
      {"  1  12 5F 21 0G 00 00  >STATE MUTUAL<", channel_pattern_verbose, false,
       1, "%*x"},
      {"  1  12 5F 21 00 00 00  >STATE MUTUAL<  abc", channel_pattern_verbose,
       false, 2, "%lf"},
      {"   1 2517     [105023 Scan]    >DISPATCH<\r\n", talkgroup_pattern,
       false, 4, "<"},
      {"   1 2517     [105023 Scan ]    >DISPATCH    <", talkgroup_pattern,
       false, 3, "]"},
      {"End, step     15 00 01", search_end_pattern_verbose, false, 0, "%lf"},
  };
  for (const Case &c : cases) {
    ScanStop stop = find_scan_stop(c.text, c.pattern);
    EXPECT_EQ(stop.matched, c.matched) << c.text;
    EXPECT_EQ(stop.assigned, c.assigned) << c.text;
    EXPECT_STREQ(stop.token, c.token) << c.text;
  }
}
