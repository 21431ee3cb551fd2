// The listing reader on listings in memory: sections, lines, patterns and
// diagnostics.
#include "txtimg/txtimg.h"

#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/codes.h"
#include "tests/generated_image.h"
#include "tests/listing_io.h"

namespace {

/// What reading one listing gave.
struct Read {
  bool ok;
  std::string err;
  ImageBody *image;
};

Read read_text(const std::string &listing) {
  static ImageBody image;
  Read result{false, "", &image};
  result.ok = read_listing_text(listing, image, &result.err);
  return result;
}

/// A listing as lines without their CR LF, to be edited by a test.
struct Lines {
  explicit Lines(const std::string &text) {
    size_t start = 0, end;
    while ((end = text.find("\r\n", start)) != std::string::npos) {
      items.push_back(text.substr(start, end - start));
      start = end + 2;
    }
  }
  /// Index of the first line that begins with the text, from an index on.
  size_t find(const std::string &prefix, size_t from = 0) const {
    for (size_t i = from; i < items.size(); ++i)
      if (items[i].rfind(prefix, 0) == 0)
        return i;
    ADD_FAILURE() << "no line begins with " << prefix;
    return 0;
  }
  std::string text(const char *end = "\r\n") const {
    std::string all;
    for (const std::string &line : items)
      all += line + end;
    return all;
  }
  std::vector<std::string> items;
};

/// A plain image: blank tags, FM channels, the band table in use.
ImageBody *plain_image() {
  static ImageBody image;
  generate_image(12348, image);  // one with a full band table
  return &image;
}

std::string warning(const char *message, int line) {
  return "Warning: " + std::string(message) + " at line " +
         std::to_string(line) + ", file in.asc\n";
}

std::string error(const char *message, int line) {
  return "Error: " + std::string(message) + " at line " + std::to_string(line) +
         ", file in.asc\n";
}

int get(const Read &r, int offset) {
  return r.image->bytes[offset];
}

}  // namespace

TEST(ReadListing, GeneratedImagesComeBackByteForByte) {
  for (unsigned seed = 1; seed <= 60; ++seed) {
    static ImageBody image;
    generate_image(seed, image);
    Read r = read_text(listing_of(image));
    ASSERT_TRUE(r.ok) << "seed " << seed << "\n" << r.err;
    EXPECT_EQ(r.err, "") << "seed " << seed;
    for (int i = 0; i < body_size; ++i)
      ASSERT_EQ(r.image->bytes[i], image.bytes[i])
          << "seed " << seed << " offset " << i;
  }
}

TEST(ReadListing, LineFeedAloneAndNulBytesReadAsTheWriterMeantThem) {
  Lines lines(listing_of(*plain_image()));
  Read crlf = read_text(lines.text());
  static ImageBody first;
  first = *crlf.image;
  Read lf = read_text(lines.text("\n"));
  EXPECT_TRUE(lf.ok);
  EXPECT_EQ(lf.err, "");
  EXPECT_EQ(memcmp(first.bytes, lf.image->bytes, body_size), 0);

  // A NUL in a tag reads as a blank; elsewhere it separates like one.
  size_t at = lines.find("  0  ");
  lines.items[at][26] = '\0';
  lines.items[at][7] = '\0';
  Read nul = read_text(lines.text());
  EXPECT_EQ(nul.err, "");
  EXPECT_EQ(get(nul, channel_offset(0, 0) + code_size + 1), ' ');
}

TEST(ReadListing, ScanFailuresKeepThePreviousValues) {
  Lines lines(listing_of(*plain_image()));
  size_t at = lines.find("  1  ");
  std::string &line = lines.items[at];
  line.replace(38, 10, "       abc");
  line.replace(25, 12, "NEW TAG     ");
  Read r = read_text(lines.text());
  EXPECT_EQ(r.err, warning("cannot parse bank channel", int(at) + 1));
  EXPECT_EQ(memcmp(r.image->bytes + channel_offset(0, 1),
                   r.image->bytes + channel_offset(0, 0), code_size),
            0);
  EXPECT_EQ(memcmp(r.image->bytes + channel_offset(0, 1) + code_size,
                   "NEW TAG     ", tag_size),
            0);
}

TEST(ReadListing, ShortLinesNeverShowWhatALongerLineLeft) {
  Lines lines(listing_of(*plain_image()));
  size_t info = lines.find(" Bank 2 info:");
  lines.items[info + 2] = " 0E";     // mode/offset line cut before its text
  lines.items[info + 3] = " 05";     // bank type line likewise
  lines.items[info + 4] = " 00 00";  // fleet map line
  size_t settings = lines.find("****** Scanner settings");
  lines.items[settings + 4] = " 07";  // scan delay value gone
  Read r = read_text(lines.text());
  int line = int(info) + 3;
  EXPECT_EQ(r.err,
            warning("cannot parse bank mode/offset", line) +
                warning("cannot parse bank type", line + 1) +
                warning("cannot parse fleet map line", line + 2) +
                warning("cannot parse Scan delay time", int(settings) + 5));
  // The scan fields kept bank 1's values; the skipped setting stores nothing.
  const unsigned char *image = plain_image()->bytes;
  EXPECT_EQ(get(r, bank_base(2) + bank_mode_offset),
            image[bank_base(1) + bank_mode_offset]);
  EXPECT_EQ(get(r, bank_base(2) + bank_type_offset),
            image[bank_base(1) + bank_type_offset]);
  EXPECT_EQ(memcmp(r.image->bytes + bank_base(2) + bank_fleet_offset,
                   image + bank_base(1) + bank_fleet_offset, 8),
            0);
  EXPECT_EQ(get(r, sdt_offset), 0);
}

TEST(ReadListing, LockoutsGoToTheSlotTheirLineNames) {
  Lines lines(listing_of(*plain_image()));
  size_t head = lines.find(" Search lockouts:");
  size_t end = lines.find(" (end lockouts)", head);
  lines.items.erase(lines.items.begin() + long(head) + 1,
                    lines.items.begin() + long(end));
  lines.items.insert(lines.items.begin() + long(head) + 1,
                     {"  7 00 00  155.5050", "  3 00 00  155.5040",
                      " 51 00 00  155.5040", "  x"});
  // Make bank 0 search in band 2 without a tone.
  size_t search = lines.find("Srch");
  lines.items[search] =
      "Srch 00 00 00 00 00 00  >SEARCH      <  154.0000  FM        0.0  ----";
  lines.items[search + 1] =
      "End, step     00 00 00                  158.0000  0.0050";
  Read r = read_text(lines.text());
  int line = int(head) + 2;
  EXPECT_EQ(r.err, warning("lockout number out of range", line + 2) +
                       warning("cannot parse search lockout line", line + 3) +
                       warning("lockout number out of range", line + 3));
  for (int l = 1; l <= 50; ++l) {
    int at = lockout_offset(0, l);
    if (l == 7) {
      EXPECT_EQ(get(r, at), 0x12);
      EXPECT_EQ(get(r, at + 1), 0x65);
    } else if (l == 3) {
      EXPECT_EQ(get(r, at), 0x12);
      EXPECT_EQ(get(r, at + 1), 0x64);
    } else {
      ASSERT_EQ(get(r, at), 0xFF) << l;
      ASSERT_EQ(get(r, at + 1), 0xFF) << l;
    }
  }
  EXPECT_EQ(get(r, bank_base(0) + bank_search_end_offset), 0x15);
}

TEST(ReadListing, SearchWithFlagUCountsInBandZero) {
  Lines lines(listing_of(*plain_image()));
  size_t search = lines.find("Srch");
  lines.items[search] =
      "Srch 00 00 00 00 00 00  >SEARCH      <  454.0000  FM        0.0  U---";
  lines.items[search + 1] =
      "End, step     00 00 00                   30.0000  0.0100";
  size_t head = lines.find(" Search lockouts:");
  size_t end = lines.find(" (end lockouts)", head);
  lines.items.erase(lines.items.begin() + long(head) + 1,
                    lines.items.begin() + long(end));
  lines.items.insert(lines.items.begin() + long(head) + 1,
                     "  1 00 00   47.5050");
  Read r = read_text(lines.text());
  EXPECT_EQ(r.err, "");
  int at = bank_base(0) + bank_search_offset;
  EXPECT_EQ(get(r, at), 0);
  EXPECT_EQ(get(r, at + 2), 0x01);
  EXPECT_EQ(get(r, at + 3), 0x08);
  EXPECT_EQ(get(r, bank_base(0) + bank_search_end_offset), 1);
  EXPECT_EQ(get(r, bank_base(0) + bank_search_end_offset + 2), 2);
  EXPECT_EQ(get(r, lockout_offset(0, 1)), 0x12);
  EXPECT_EQ(get(r, lockout_offset(0, 1) + 1), 0x65);
}

TEST(ReadListing, TalkgroupsByVersionAndBankType) {
  Lines lines(listing_of(*plain_image()));
  size_t info = lines.find(" Bank 0 info:");
  size_t tg = lines.find(" Talkgroup IDs:", info);
  lines.items[info + 3] =
      " 00                         Conv                             (Bank "
      "type)";
  lines.items[tg + 1] = "   1 1A2B     [106201 Scan]    >ONE         <";
  size_t info1 = lines.find(" Bank 1 info:");
  size_t tg1 = lines.find(" Talkgroup IDs:", info1);
  lines.items[info1 + 3] =
      " 04                         LTR                              (Bank "
      "type)";
  lines.items[tg1 + 1] = "   1 1A2B     [106201 Scan]    >TWO         <";
  lines.items[tg1 + 2] = "   2 1A2B     [ 1 Skip    ]    >THREE       <";
  Read r = read_text(lines.text());
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(get(r, talkgroup_offset(0, 1)), 0x2B);
  EXPECT_EQ(get(r, talkgroup_offset(0, 1) + 1), 0x1A);
  EXPECT_EQ(get(r, talkgroup_offset(1, 1)), 0xC9);
  EXPECT_EQ(get(r, talkgroup_offset(1, 1) + 1), 0x26);
  EXPECT_EQ(get(r, talkgroup_offset(1, 2)), 0x00);
  EXPECT_EQ(get(r, talkgroup_offset(1, 2) + 1), 0x80);

  // Version 1.00: no bracketed text, the hexadecimal code counts.
  lines.items[0] = "IMGTXT Version 1.00, Verbose format";
  lines.items[tg1 + 1] = "   1 1A2B    >TWO         <";
  lines.items[tg1 + 2] = "   2 ABCD    >THREE       <";
  lines.items[tg + 1] = "   1 0102    >ONE         <";
  Read old = read_text(lines.text());
  ASSERT_TRUE(old.ok);
  EXPECT_EQ(get(old, talkgroup_offset(1, 1)), 0x2B);
  EXPECT_EQ(get(old, talkgroup_offset(1, 1) + 1), 0x1A);
  EXPECT_EQ(get(old, talkgroup_offset(1, 2) + 1), 0xAB);
  EXPECT_EQ(memcmp(old.image->bytes + talkgroup_offset(1, 2) + 2, "THREE", 5),
            0);
  EXPECT_EQ(get(old, talkgroup_offset(0, 1)), 0x02);
  // The other lines still carry their brackets: they do not scan as 1.00
  // lines, and keep the code and tag of the line before.
  EXPECT_NE(old.err.find("cannot parse talkgroup ID line"), std::string::npos);
}

TEST(ReadListing, NinetyNineTalkgroupLinesTakeTheEndLine) {
  Lines lines(listing_of(*plain_image()));
  size_t tg = lines.find(" Talkgroup IDs:");
  lines.items.erase(lines.items.begin() + long(tg) + 100);
  Read r = read_text(lines.text());
  EXPECT_EQ(r.err, warning("cannot parse talkgroup ID line", int(tg) + 101));
}

TEST(ReadListing, BandRowsUpToTheFirstShortLine) {
  Lines lines(listing_of(*plain_image()));
  size_t head = lines.find("****** Preprogrammed");
  size_t end = head + 2;
  while (lines.items[end].size() > 5)
    ++end;
  lines.items.erase(lines.items.begin() + long(head) + 5,
                    lines.items.begin() + long(end));
  lines.items[head + 4].replace(50, 5, "XM   ");
  Read r = read_text(lines.text());
  EXPECT_EQ(r.err, warning("cannot match transmission mode", int(head) + 5));
  EXPECT_EQ(get(r, band_count_offset), 3);
  for (int n = 3; n <= 100; ++n) {
    const unsigned char *record = r.image->bytes + band_record_offset(n);
    ASSERT_EQ(memcmp(record, empty_band_code, code_size), 0) << n;
    for (int i = code_size; i < record_size; ++i)
      ASSERT_EQ(record[i], 0) << n;
  }
  EXPECT_EQ(memcmp(r.image->bytes + band_record_offset(1),
                   plain_image()->bytes + band_record_offset(1), 2 * 18),
            0);

  // A header, its blank line, then a short line: no rows, all filled.
  lines.items.erase(lines.items.begin() + long(head) + 2,
                    lines.items.begin() + long(head) + 5);
  r = read_text(lines.text());
  EXPECT_EQ(get(r, band_count_offset), 0);
  EXPECT_EQ(memcmp(r.image->bytes + band_record_offset(1), empty_band_code,
                   code_size),
            0);

  // No band section at all: the table stays zero bytes.
  lines.items.erase(lines.items.begin() + long(head) - 1,
                    lines.items.begin() + long(head) + 2);
  r = read_text(lines.text());
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(get(r, band_count_offset), 0);
  for (int i = band_table_offset; i < message_offset; ++i)
    ASSERT_EQ(get(r, i), 0) << i;
}

TEST(ReadListing, MoreThanAHundredBandRowsAreCountedAsAHundred) {
  static ImageBody image;
  image = *plain_image();
  image.bytes[band_count_offset] = 100;
  for (int n = 1; n <= 100; ++n)
    memcpy(image.bytes + band_record_offset(n),
           "\x07\x00\x01\x12\x0B\x00"
           "2 METER BAND",
           record_size);
  Lines lines(listing_of(image));
  size_t last = lines.find(" 99  ");
  lines.items.insert(lines.items.begin() + long(last) + 1,
                     {lines.items[last], "100  junk line"});
  Read r = read_text(lines.text());
  int line = int(last) + 2;
  EXPECT_EQ(r.err, warning("too many search bands", line) +
                       warning("cannot parse search band", line + 1) +
                       warning("too many search bands", line + 1));
  EXPECT_EQ(get(r, band_count_offset), 100);
  EXPECT_EQ(memcmp(r.image->bytes, image.bytes, body_size), 0);
}

TEST(ReadListing, BankNumbersOutsideTheImageStoreNothing) {
  Lines lines(listing_of(*plain_image()));
  size_t weather = lines.find("****** Weather");
  // A copy of bank 0 after the weather section, with a header that does
  // not scan (the bank number is still 10), then one for bank 12.
  size_t bank0 = lines.find("****** Bank 0");
  size_t bank1 = lines.find("****** Bank 1");
  std::vector<std::string> copy(lines.items.begin() + long(bank0),
                                lines.items.begin() + long(bank1));
  copy[0] = "****** Bank X ******";
  std::vector<std::string> twelve = copy;
  twelve[0] = "****** Bank 12 ****** Tag:";
  size_t after = weather + 12;
  lines.items.insert(lines.items.begin() + long(after), twelve.begin(),
                     twelve.end());
  lines.items.insert(lines.items.begin() + long(after), copy.begin(),
                     copy.end());
  Read r = read_text(lines.text());
  int line = int(after) + 1;
  EXPECT_EQ(r.err,
            warning("cannot parse bank start line", line) +
                warning("bank number out of range", line) +
                warning("bank number out of range", line + int(copy.size())));
  static ImageBody expected;
  expected = *plain_image();
  EXPECT_EQ(memcmp(r.image->bytes, expected.bytes, body_size), 0);

  // Before any header has scanned there is no bank number at all.
  Lines first(listing_of(*plain_image()));
  first.items[3] = "****** Bank ?";
  r = read_text(first.text());
  EXPECT_EQ(r.err, warning("cannot parse bank start line", 4) +
                       warning("bank number out of range", 4));
  for (int i = 0; i < bank_size; ++i)
    ASSERT_EQ(get(r, i), 0) << i;
}

TEST(ReadListing, SectionsMayBeMissingRepeatedOrUnknown) {
  Lines lines(listing_of(*plain_image()));
  size_t bank4 = lines.find("****** Bank 4");
  size_t bank5 = lines.find("****** Bank 5");
  lines.items.erase(lines.items.begin() + long(bank4),
                    lines.items.begin() + long(bank5));
  size_t message = lines.find("****** Opening");
  lines.items.insert(lines.items.begin() + long(message),
                     {"A note between sections", "****** End"});
  Read r = read_text(lines.text());
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.err, "");
  for (int i = bank_base(4); i < bank_base(5); ++i)
    ASSERT_EQ(get(r, i), 0) << i;
  for (int i = message_offset; i < body_size; ++i) {
    if (i != band_count_offset) {
      ASSERT_EQ(get(r, i), 0) << i;
    }
  }
  EXPECT_EQ(memcmp(r.image->bytes, plain_image()->bytes, bank_base(4)), 0);
}

TEST(ReadListing, SettingsLines) {
  Lines lines(listing_of(*plain_image()));
  size_t s = lines.find("****** Scanner settings") + 2;
  lines.items[s + 7] = " 00 00            3 05   Priority channel number";
  lines.items[s + 14] = "xxxxxxxxxx  12-4------   Enabled scan banks";
  lines.items[s + 15] = "xxxxxxxxxx  7   Active search banks";
  lines.items[s + 2] = " 00                450   Scan delay time";
  lines.items[s + 5] = " 00                 25.5   Minimum scan delay time";
  lines.items[s + 13] = " 00 00            3000   Keypad tone frequency";
  lines.items[s + 12] = " 00                  7   ignored";
  Read r = read_text(lines.text());
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(get(r, pc1_offset), 5);
  EXPECT_EQ(get(r, pc2_offset), 3);
  const unsigned char scan[10] = {0x31, 0x32, 0xA5, 0x34, 0xA5,
                                  0xA5, 0xA5, 0xA5, 0xA5, 0xA5};
  EXPECT_EQ(memcmp(r.image->bytes + scan_banks_offset, scan, 10), 0);
  const unsigned char search[10] = {0x37, 0xA5, 0xA5, 0xA5, 0xA5,
                                    0xA5, 0xA5, 0xA5, 0xA5, 0xA5};
  EXPECT_EQ(memcmp(r.image->bytes + search_banks_offset, search, 10), 0);
  EXPECT_EQ(get(r, sdt_offset), 4);
  EXPECT_EQ(get(r, msdt_offset), 255);
  EXPECT_EQ(get(r, ktf1_offset), 0xB3);
  EXPECT_EQ(get(r, ktf2_offset), 0xFE);
  EXPECT_EQ(get(r, band_count_offset), plain_image()->bytes[band_count_offset]);

  // A settings line that does not scan stores nothing; a missing last line
  // is the end of the input.
  lines.items[s + 8] = " 00 50 00     00 50   Last search frequency";
  lines.items.pop_back();
  r = read_text(lines.text());
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.err,
            warning("cannot parse Last search frequency", int(s) + 9) +
                error("End of file reading scanner setting\n", int(s) + 16));
}

TEST(ReadListing, VersionLine) {
  Lines lines(listing_of(*plain_image()));
  for (const char *version : {"IMGTXT Version 1.04, Verbose format",
                              "IMGTXT Version 2.00, Verbose format",
                              "IMGTXT Version 0.03, Verbose format"}) {
    lines.items[0] = version;
    Read r = read_text(lines.text());
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.err, error("wrong file version, this program is for ASC V "
                           "1.03 or earlier",
                           1));
  }
  lines.items[0] = "IMGTXT Version 1";
  Read r = read_text(lines.text());
  EXPECT_EQ(r.err,
            warning("cannot parse version line", 1) +
                error("wrong file version, this program is for ASC V 1.03 "
                      "or earlier",
                      1));
  // Without its third word the listing counts as terse, and verbose lines
  // do not scan as terse ones.
  lines.items[0] = "IMGTXT Version 1.02";
  r = read_text(lines.text());
  EXPECT_EQ(r.err.substr(0, warning("cannot parse version line", 1).size()),
            warning("cannot parse version line", 1));
  EXPECT_NE(r.err.find(warning("cannot parse bank channel", 6)),
            std::string::npos);
  lines.items[0] = "IMGTXT Version 1.01, verbose";
  r = read_text(lines.text());
  EXPECT_EQ(r.err, "");
}

TEST(ReadListing, TerseListing) {
  const char *terse[] = {
      "IMGTXT Version 1.03, Terse format",
      "",
      "****** Bank 2 ****** Tag: FIRE",
      " ",
  };
  std::string text;
  for (const char *line : terse)
    text += std::string(line) + "\n";
  char line[128];
  for (int c = 0; c < 50; ++c) {
    snprintf(line, sizeof line, "%3d >CHANNEL %-4d<  154.4150  %s  ----\n", c,
             c, c == 1 ? "PL      100.0" : "FM        0.0");
    text += line;
  }
  text += " \nSrch >SEARCH      <  154.0000  FM        0.0  ----\n";
  text += "End, step   158.0000  0.0050\n \n Bank 2 info:\n";
  text += "FIRE   >FIRE        <\n";
  text += " 06     Open    12.5 kHz offset\n";
  text += " 05     MOT  \n";
  text += "                            S04 S00 S00 S00 S00 S00 S00 S00\n";
  text += " \n Search lockouts:\n  1 12 65  155.5050\n (end lockouts)\n \n";
  text += " Talkgroup IDs:\n";
  for (int t = 1; t <= 100; ++t) {
    snprintf(line, sizeof line, "%4d 0000     [000-05 Scan]    >TG%-10d<\n", t,
             t);
    text += line;
  }
  text += "****** End\n";
  Read r = read_text(text);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.err, "");
  int b = bank_base(2);
  const unsigned char ch0[6] = {0x11, 0x53, 0x21, 0, 0, 0};
  const unsigned char ch1[6] = {0x11, 0x53, 0x22, 0, 0xE8, 3};
  EXPECT_EQ(memcmp(r.image->bytes + b, ch0, 6), 0);
  EXPECT_EQ(memcmp(r.image->bytes + channel_offset(2, 1), ch1, 6), 0);
  EXPECT_EQ(
      memcmp(r.image->bytes + channel_offset(2, 49) + 6, "CHANNEL 49  ", 12),
      0);
  EXPECT_EQ(get(r, b + bank_search_end_offset), 0x15);
  EXPECT_EQ(memcmp(r.image->bytes + b + bank_tag_offset, "FIRE        ", 12),
            0);
  EXPECT_EQ(get(r, b + bank_mode_offset), 0x06);
  EXPECT_EQ(get(r, b + bank_type_offset), 5);
  EXPECT_EQ(get(r, b + bank_fleet_offset), 4);
  EXPECT_EQ(get(r, lockout_offset(2, 1)), 0x12);
  EXPECT_EQ(get(r, lockout_offset(2, 1) + 1), 0x65);
  EXPECT_EQ(get(r, talkgroup_offset(2, 100)), 0xBF);
  EXPECT_EQ(
      memcmp(r.image->bytes + talkgroup_offset(2, 100) + 2, "TG100       ", 12),
      0);
}

TEST(ReadListing, FatalErrorsNameTheirLine) {
  Lines lines(listing_of(*plain_image()));
  size_t info = lines.find(" Bank 0 info:");
  Lines bad = lines;
  bad.items[info] = " Bonk 0 info:";
  Read r = read_text(bad.text());
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.err, error("Bank info line not found", int(info) + 1));

  bad = lines;
  size_t head = lines.find(" Search lockouts:");
  bad.items[head] = " Search_lockouts:";
  r = read_text(bad.text());
  EXPECT_EQ(r.err, error("Search lockouts not found", int(head) + 1));

  bad = lines;
  head = lines.find(" Talkgroup IDs:");
  bad.items[head] = " Talkgroup IDS:";
  r = read_text(bad.text());
  EXPECT_EQ(r.err, error("Talkgroup IDs not found", int(head) + 1));

  // The end of the input is met on the line after the last complete one.
  bad = lines;
  bad.items.resize(info + 2);
  r = read_text(bad.text() + "partial line");
  EXPECT_EQ(r.err,
            error("End of file reading bank 0 channel 50\n", int(info) + 3));
  bad.items.resize(2);
  r = read_text(bad.text());
  EXPECT_EQ(r.err, error("End of file reading section header\n", 3));
  r = read_text("");
  EXPECT_EQ(r.err, error("End of file reading version line\n", 1));
}

TEST(ReadListing, OverlongLinesAreCut) {
  Lines lines(listing_of(*plain_image()));
  size_t at = lines.find("  2  ");
  std::string line = lines.items[at];
  lines.items[at] = line + std::string(9000, 'x');
  // The next line is as long as a line may be, its carriage return counted.
  lines.items[at + 1] += std::string(8189 - lines.items[at + 1].size(), ' ');
  Read r = read_text(lines.text());
  EXPECT_EQ(r.err, warning("line too long", int(at) + 1));
  EXPECT_EQ(memcmp(r.image->bytes, plain_image()->bytes, body_size), 0);
}

TEST(ReadListing, NumbersTooLargeForAnIntAreOutOfRange) {
  Lines lines(listing_of(*plain_image()));
  // Each of these would wrap round to bank 0 or lockout slot 1 if it were
  // read into an int; the largest would overflow an offset.
  for (const char *number :
       {"4294967296", "879036", "-4294967296", "99999999999999999999999"}) {
    SCOPED_TRACE(number);
    Lines edited = lines;
    size_t bank0 = edited.find("****** Bank 0");
    edited.items[bank0] = std::string("****** Bank ") + number + " ****** Tag:";
    Read r = read_text(edited.text());
    EXPECT_EQ(r.err, warning("bank number out of range", int(bank0) + 1));
    for (int i = 0; i < bank_size; ++i)
      ASSERT_EQ(get(r, i), 0) << i;
  }
  for (const char *number :
       {"4294967297", "-4294967295", "99999999999999999"}) {
    SCOPED_TRACE(number);
    Lines edited = lines;
    size_t end = edited.find(" (end lockouts)");
    edited.items.insert(edited.items.begin() + long(end),
                        std::string(number) + " 12 65  155.5050");
    Read r = read_text(edited.text());
    EXPECT_EQ(r.err, warning("lockout number out of range", int(end) + 1));
    EXPECT_EQ(memcmp(r.image->bytes, plain_image()->bytes, body_size), 0);
  }
}

TEST(ReadListing, AByteOrderMarkIsSkippedWithAWarning) {
  std::string listing = listing_of(*plain_image());
  Read r = read_text("\xEF\xBB\xBF" + listing);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.err, warning("byte order mark ignored", 1));
  EXPECT_EQ(memcmp(r.image->bytes, plain_image()->bytes, body_size), 0);
  // Only at the very start: anywhere else the line is read as it stands.
  r = read_text(" \xEF\xBB\xBF" + listing);
  EXPECT_EQ(r.err.rfind(warning("cannot parse version line", 1), 0), 0u);
}
