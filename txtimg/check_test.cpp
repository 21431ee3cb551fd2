// The checks before upload: each on a line of the sample listing edited to
// trip it, beside the sample itself, which checks clean.
#include "common/rules.h"

#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "txtimg/txtimg.h"

namespace {

using Changes = std::vector<std::pair<std::string, std::string>>;

std::string sample_listing() {
  FILE *in = fopen(EXAMPLES_DIR "/sample.asc", "rb");
  std::string text;
  char buffer[65536];
  size_t got;
  while (in && (got = fread(buffer, 1, sizeof buffer, in)) > 0)
    text.append(buffer, got);
  if (in)
    fclose(in);
  return text;
}

/// What a check of a listing reported.
struct Checked {
  std::string diagnostics;
  ListingCounts counts;
};

Checked check_text(const std::string &listing) {
  FILE *in = fmemopen(const_cast<char *>(listing.data()), listing.size(), "r");
  char *data = nullptr;
  size_t size = 0;
  FILE *err = open_memstream(&data, &size);
  static ImageBody image;
  Checked result;
  read_listing(in, "in.asc", err, image, &result.counts);
  fclose(in);
  fclose(err);
  result.diagnostics.assign(data, size);
  free(data);
  return result;
}

/// A sample listing with some texts replaced, each at its first place.
struct Edited {
  explicit Edited(const Changes &changes) : text(sample_listing()) {
    for (const auto &change : changes) {
      size_t at = text.find(change.first);
      EXPECT_NE(at, std::string::npos) << change.first;
      if (at != std::string::npos)
        text.replace(at, change.first.size(), change.second);
    }
  }
  /// The number of the line that holds a text.
  int line_of(const std::string &marker) const {
    size_t at = text.find(marker);
    EXPECT_NE(at, std::string::npos) << marker;
    int line = 1;
    for (size_t i = 0; i < at && i < text.size(); ++i)
      line += text[i] == '\n';
    return line;
  }
  std::string warning(const std::string &marker,
                      const std::string &message) const {
    return "Warning: " + message + " at line " +
           std::to_string(line_of(marker)) + ", file in.asc\n";
  }
  std::string text;
};

/// Checks that one edit gives exactly the warnings expected.
void expect_warnings(const Changes &changes, const std::string &marker,
                     const std::vector<std::string> &messages) {
  Edited edited(changes);
  std::string expected;
  for (const std::string &message : messages)
    expected += edited.warning(marker, message);
  Checked checked = check_text(edited.text);
  EXPECT_EQ(checked.diagnostics, expected);
  EXPECT_EQ(checked.counts.warnings, static_cast<int>(messages.size()));
  EXPECT_EQ(checked.counts.errors, 0);
}

}  // namespace

TEST(Check, TheSampleChecksClean) {
  Checked checked = check_text(sample_listing());
  EXPECT_EQ(checked.diagnostics, "");
  EXPECT_EQ(checked.counts.warnings, 0);
  EXPECT_EQ(checked.counts.errors, 0);
}

TEST(Check, StandardTonesAndCodesAsPublished) {
  std::string tones;
  for (double tone : standard_ctcss_tones) {
    char text[16];
    snprintf(text, sizeof text, tones.empty() ? "%.1f" : " %.1f", tone);
    tones += text;
  }
  EXPECT_EQ(tones,
            "67.0 69.3 71.9 74.4 77.0 79.7 82.5 85.4 88.5 91.5 94.8 97.4 "
            "100.0 103.5 107.2 110.9 114.8 118.8 123.0 127.3 131.8 136.5 "
            "141.3 146.2 151.4 156.7 159.8 162.2 165.5 167.9 171.3 173.8 "
            "177.3 179.9 183.5 186.2 189.9 192.8 196.6 199.5 203.5 206.5 "
            "210.7 218.1 225.7 229.1 233.6 241.8 250.3 254.1");
  std::string codes;
  for (int code : standard_dcs_codes) {
    char text[16];
    snprintf(text, sizeof text, codes.empty() ? "%03o" : " %03o", code);
    codes += text;
  }
  EXPECT_EQ(codes,
            "023 025 026 031 032 036 043 047 051 053 054 065 071 072 073 074 "
            "114 115 116 122 125 131 132 134 143 145 152 155 156 162 165 172 "
            "174 205 212 223 225 226 243 244 245 246 251 252 255 261 263 265 "
            "266 271 274 306 311 315 325 331 332 343 346 351 356 364 365 371 "
            "411 412 413 423 431 432 445 446 452 454 455 462 464 465 466 503 "
            "506 516 523 526 532 546 565 606 612 624 627 631 632 654 662 664 "
            "703 712 723 731 732 734 743 754");
  EXPECT_DOUBLE_EQ(nearest_ctcss_tone(100.1), 100.0);
  EXPECT_DOUBLE_EQ(nearest_ctcss_tone(10.0), 67.0);
  EXPECT_DOUBLE_EQ(nearest_ctcss_tone(300.0), 254.1);
  EXPECT_TRUE(is_standard_dcs_code(0754));
  EXPECT_FALSE(is_standard_dcs_code(0024));
}

TEST(Check, FrequenciesThatAreStoredAsAnotherValue) {
  expect_warnings(
      {{"155.4750  FM", "155.4761  FM"}}, "155.4761",
      {"frequency 155.4761 is not on the 0.005 MHz step, stored as 155.4750"});
  expect_warnings({{"162.5500  FM", "162.5530  FM"}}, "162.5530",
                  {"frequency 162.553 is not on the 0.005 MHz step, stored "
                   "as 162.5550"});
  // A search with its end below its start, and an end off the step.
  expect_warnings({{"158.0000  0.0050", "153.0020  0.0050"}}, "153.0020",
                  {"search end 153.002 is not on the 0.005 MHz step, stored "
                   "as 153.0000",
                   "search end 153.002 is below its start 154"});
  expect_warnings({{"158.0000  0.0050", "158.0000  0.0070"}}, "0.0070",
                  {"search step 0.007 is not a whole number of 0.005 MHz "
                   "steps, stored as 0.0050"});
  // The tenth-step split keeps the step below unless within a tenth.
  expect_warnings({{"  1 12 65  155.5050", "  1 12 65  155.5040"}}, "155.5040",
                  {"lockout 155.504 is not on the 0.005 MHz step, stored as "
                   "155.5000"});
  expect_warnings({{"148.0000  0.0050\r\n  1", "148.0030  0.0050\r\n  1"}},
                  "148.0030",
                  {"band end 148.003 is not on the 0.005 MHz step, stored "
                   "as 148.0000"});
  expect_warnings(
      {{"  8  00 00 01 08 00 00  >            <    0.0000  FM        0.0  U",
        "  8  00 00 01 08 00 00  >            <  154.0000  FM        0.0  U"}},
      "154.0000  FM        0.0  U",
      {"frequency 154 is not stored: flag U marks a channel without one"});
  // Written on the step, nothing is said.
  expect_warnings({{"155.4750  FM", "155.4800  FM"}}, "155.4800", {});
}

TEST(Check, TonesOutsideTheStandardOnes) {
  expect_warnings({{"PL      123.0", "PL      123.1"}}, "123.1",
                  {"PL tone 123.1 is not a standard CTCSS tone, the nearest "
                   "is 123.0"});
  expect_warnings({{"PL      123.0", "PL     123.04"}}, "123.04",
                  {"PL tone 123.04 is not a standard CTCSS tone, the nearest "
                   "is 123.0, stored as 123.0"});
  expect_warnings({{"PL      123.0", "PL       50.0"}}, "50.0",
                  {"PL tone 50.0 is not a standard CTCSS tone, the nearest is "
                   "67.0, so no tone is stored"});
  expect_warnings({{"PL      123.0", "PL        abc"}}, "abc",
                  {"PL tone abc is not a number, no tone is stored"});
  expect_warnings({{"DPL      D754", "DPL      D999"}}, "D999",
                  {"DCS code D999 is not D followed by octal digits, stored "
                   "as D000"});
  expect_warnings({{"DPL      D754", "DPL      D024"}}, "D024",
                  {"DCS code D024 is not a standard DCS code"});
  expect_warnings({{"155.4750  FM        0.0", "155.4750  FM      100.0"}},
                  "155.4750  FM      100.0",
                  {"tone 100.0 is not stored in mode FM"});
  expect_warnings({{"PL      123.0", "PL      254.1"}}, "254.1", {});
}

TEST(Check, SettingsOutsideTheirRangeOrStoredOtherwise) {
  expect_warnings(
      {{" 0A                 10   Back", " 0A                300   Back"}},
      "300   Back",
      {"backlight on time 300 s is outside 1 to 255 s, stored as "
       "44 s"});
  expect_warnings(
      {{"               2000   Scan", "                450   Scan"}},
      "450   Scan", {"scan delay time 450 ms is stored as 400 ms"});
  expect_warnings(
      {{"               2000   Trunk", "              12000   Trunk"}},
      "12000   Trunk",
      {"trunk rescan delay time 12000 ms is outside 400 to 10000 "
       "ms, stored as 12000 ms"});
  expect_warnings({{"                2.0   Min", "               0.44   Min"}},
                  "0.44   Min",
                  {"minimum scan delay time 0.44 s is stored as 0.4 s"});
  expect_warnings(
      {{"                 11   Disp", "                 20   Disp"}},
      "20   Disp", {"display contrast 20 is outside 9 to 14, stored as 20"});
  expect_warnings({{"            1000   Key", "            3500   Key"}},
                  "3500   Key",
                  {"keypad tone frequency 3500 Hz is outside 300 to 3000 Hz, "
                   "stored as 3509 Hz"});
  expect_warnings({{"            1000   Key", "            3000   Key"}},
                  "3000   Key",
                  {"keypad tone frequency 3000 Hz is stored as 3003 Hz"});
  expect_warnings({{"                 14   Unknown.  Initialized 14",
                    "                1FF   Unknown.  Initialized 14"}},
                  "1FF", {"unknown byte 1 1FF is stored as FF"});
  expect_warnings({{"  0123456789   Enabled", "  01-3x-----   Enabled"}},
                  "01-3x",
                  {"enabled scan banks 01-3x----- holds characters other than "
                   "digits and dashes, stored as off (A5)"});
  expect_warnings({{"  0123456789   Enabled", "  0123   Enabled"}},
                  "0123   Enabled",
                  {"enabled scan banks 0123 has 4 positions, not 10; the "
                   "missing ones are stored as off (A5)"});
}

TEST(Check, TalkgroupsThatGiveAnotherID) {
  expect_warnings({{"[105023 Scan]", "[ABCDEF Scan]"}}, "ABCDEF",
                  {"talkgroup ABCDEF Scan gives no ID, stored as 0000"});
  expect_warnings({{"[105023 Scan]", "[305023 Scan]"}}, "305023",
                  {"LTR area 3 is outside 0 to 1, stored as 105023 Scan"});
  expect_warnings({{"[105023 Scan]", "[105300 Scan]"}}, "105300",
                  {"LTR user ID 300 is outside 0 to 255, stored as 105044 "
                   "Scan"});
  // Bank 4: blocks 0 and 1 are Type II, block 2 has size code 4.
  expect_warnings({{"[09008 Skip ]", "[09009 Skip ]"}}, "09009",
                  {"Type II ID 9009 is not a multiple of 16, stored as 9008"});
  expect_warnings({{"[09008 Skip ]", "[000-05 Skip]"}}, "000-05",
                  {"talkgroup 000-05 Skip is a Type I ID, but the fleet map "
                   "marks block 0 as Type II (S00), stored as 65520 Scan"});
  expect_warnings({{"[09008 Skip ]", "[17408 Skip ]"}}, "17408",
                  {"Type II ID 17408 lies in block 2, which the fleet map "
                   "marks as Type I (S04)"});
  expect_warnings({{"[200-05 Scan]", "[201-05 Scan]"}}, "201-05",
                  {"fleet 1 of talkgroup 201-05 Scan is outside 0 to 0 for "
                   "size code S04, stored as 300-11 Scan"});
  // Bank 5 is EDACS.
  expect_warnings({{"[  15 Skip  ]", "[5000 Skip  ]"}}, "5000 Skip",
                  {"EDACS ID 5000 is outside 0 to 4095, stored as 904"});
  expect_warnings({{"[105023 Scan]", "[105023 Skip]"}}, "105023 Skip", {});
}

TEST(Check, SectionsMissingRepeatedOrSkipped) {
  {
    // A deleted bank header: the bank's lines are skipped, and it is
    // missing at the end.
    Edited edited(Changes{{"****** Bank 8 ******", "****** Bnak 8 ******"}});
    Checked checked = check_text(edited.text);
    EXPECT_NE(checked.diagnostics.find(
                  edited.warning("****** Bnak 8",
                                 "section header \"****** Bnak 8 ******   "
                                 "Tag: RA\" is unknown: nothing after it "
                                 "is read")),
              std::string::npos)
        << checked.diagnostics.substr(0, 300);
    EXPECT_NE(checked.diagnostics.find("bank 9 section is missing, bank 9 "
                                       "stays all zero"),
              std::string::npos);
  }
  {
    Edited edited(Changes{{"****** Bank 7 ", "STRAY TEXT\r\n****** Bank 7 "}});
    Checked checked = check_text(edited.text);
    EXPECT_EQ(checked.diagnostics,
              edited.warning("STRAY TEXT",
                             "line between sections is not read: \"STRAY "
                             "TEXT\""));
  }
  {
    // Bank 7's section under bank 6's number: bank 6 twice, 7 missing.
    Edited edited(Changes{{"****** Bank 7 ", "****** Bank 6 "}});
    Checked checked = check_text(edited.text);
    size_t second = edited.text.find("****** Bank 6 ",
                                     edited.text.find("****** Bank 6 ") + 1);
    int line = 1;
    for (size_t i = 0; i < second; ++i)
      line += edited.text[i] == '\n';
    int last = 1;
    for (char c : edited.text)
      last += c == '\n';
    EXPECT_EQ(checked.diagnostics,
              "Warning: bank 6 appears a second time, it replaces the first "
              "at line " +
                  std::to_string(line) +
                  ", file in.asc\n"
                  "Warning: bank 7 section is missing, bank 7 stays all zero "
                  "at line " +
                  std::to_string(last - 1) + ", file in.asc\n");
  }
  {
    // Without its band section, a listing whose settings count six bands
    // would store none.
    std::string listing = sample_listing();
    size_t start = listing.find("\r\n****** Preprogrammed");
    size_t end = listing.find("****** Opening");
    listing.erase(start, end - start);
    listing.insert(start, "\r\n \r\n");
    Checked checked = check_text(listing);
    EXPECT_NE(checked.diagnostics.find(
                  "Warning: preprogrammed search band section is missing, "
                  "though the settings list 6 bands; none is stored"),
              std::string::npos)
        << checked.diagnostics;
    EXPECT_EQ(checked.counts.warnings, 1);
  }
}

TEST(Check, BytesAnEditorReEncoded) {
  // The byte A5 of a bank word, saved as UTF-8, becomes C2 A5.
  Edited edited(
      Changes{{"01\xA5"
               "3",
               "01\xC2\xA5"
               "3"}});
  Checked checked = check_text(edited.text);
  EXPECT_EQ(checked.diagnostics.rfind(
                edited.warning("01\xC2\xA5",
                               "UTF-8 sequence C2 A5 where the listing holds "
                               "single bytes: an editor may have re-encoded "
                               "the file"),
                0),
            0u)
      << checked.diagnostics;
  checked = check_text("\xEF\xBB\xBF" + sample_listing());
  EXPECT_EQ(checked.diagnostics,
            "Warning: byte order mark ignored at line 1, file in.asc\n");
  // A tag byte above 7F alone is no UTF-8 sequence.
  expect_warnings({{">STATE MUTUAL<", ">STATE MUTU\xC9L<"}}, "MUTU", {});
}

TEST(Check, NumbersTooLargeToBeRead) {
  // What such a number reads as is the C library's affair; the check names
  // it first, and the value's own check follows.
  const Changes cases[] = {
      {{"S12 S01 S00  (Fleet", "S12 S01 S99999999999  (Fleet"}},
      {{" 0A                 10   Back", " 0A         99999999999   Back"}},
      {{"[  15 Skip  ]", "[99999999999]"}},
  };
  for (const Changes &change : cases) {
    Edited edited(change);
    Checked checked = check_text(edited.text);
    EXPECT_EQ(
        checked.diagnostics.rfind(edited.warning("99999999999",
                                                 "number 99999999999 is too "
                                                 "large to be read"),
                                  0),
        0u)
        << checked.diagnostics;
    EXPECT_GE(checked.counts.warnings, 2) << checked.diagnostics;
  }
}

TEST(Check, ADeletedBankHeaderSkipsTheBank) {
  Edited edited(
      Changes{{"****** Bank 8 ******   Tag: RAILROAD      Type: "
               "Conv   Mode: Closed\r\n",
               ""}});
  Checked checked = check_text(edited.text);
  EXPECT_EQ(
      checked.diagnostics.rfind(edited.warning("  0  17 31 21",
                                               "line between sections is not "
                                               "read: \"0  17 31 21 00 00 00  "
                                               ">ROAD 1 \""),
                                0),
      0u)
      << checked.diagnostics.substr(0, 300);
  EXPECT_NE(checked.diagnostics.find("bank 8 section is missing, bank 8 "
                                     "stays all zero"),
            std::string::npos);
}

TEST(Check, WhatAnEditorOrATypoStoresOtherwise) {
  struct Case {
    Changes changes;
    const char *marker;  // a text of the line the warnings name
    std::vector<std::string> messages;
  };
  const std::vector<Case> cases = {
      // Flags are upper-case letters in their own columns.
      {{{"155.4750  FM        0.0  ----", "155.4750  FM        0.0  ---l"}},
       "---l",
       {"flags ---l are stored as ----: each flag is its letter U, D, A or L "
        "in its own column"}},
      {{{"155.4750  FM        0.0  ----", "155.4750  FM        0.0  --L-"}},
       "--L-",
       {"flags --L- are stored as ----: each flag is its letter U, D, A or L "
        "in its own column"}},
      // A tag whose blanks an editor stripped stores "<" and the line end.
      {{{">DISPATCH    <", ">DISPATCH<"}},
       ">DISPATCH<",
       {"the tag between > and < is not 12 characters, stored as "
        "\"DISPATCH<?? \""}},
      // Where the tag is followed by more, the line does not scan.
      {{{">STATE MUTUAL<", ">STATE MUTUA<"}},
       ">STATE MUTUA<",
       {"cannot parse bank channel",
        "the tag between > and < is not 12 characters; the channel keeps "
        "the frequency, the mode, the tone and the flags of line 6"}},
      {{{"  1  12 5F 21 00 00 00  >STATE MUTUAL<  155.4750  FM        0.0  "
         "----\r\n",
         "\r\n"}},
       "\r\n  2  12 71",
       {"cannot parse bank channel",
        "the line is blank; the channel keeps the tag, the frequency, the "
        "mode, the tone and the flags of line 6"}},
      {{{"155.4750  FM        0.0  ----\r\n", "155.4750\r\n"}},
       "155.4750\r\n",
       {"cannot parse bank channel",
        "the mode is missing; the channel keeps the mode, the tone and the "
        "flags of line 6"}},
      // Texts the listing gives back otherwise.
      {{{" 02                         Open    00.0",
         " 02                         open    00.0"}},
       "open    00.0",
       {"mode/offset \"open    00.0 kHz offset\" is stored as \"Open    00.0 "
        "kHz offset\""}},
      {{{"[105023 Scan]", "[105023 skip]"}},
       "105023 skip",
       {"talkgroup 105023 skip is stored as 105023 Scan"}},
      {{{"[105023 Scan]", "[000000 Scan]"}},
       "000000 Scan",
       {"talkgroup 000000 Scan is stored as an empty slot"}},
      // A weather channel shows no tone; a lockout slot given twice keeps
      // the later line.
      {{{">WX1         <  162.5500  FM        0.0",
         ">WX1         <  162.5500  PL      100.0"}},
       "WX1         <  162.5500  PL",
       {"tone 100.0 is stored in a weather channel, whose line shows no "
        "tone"}},
      {{{"  2 13 2A  156.2100", "  1 13 2A  156.2100"}},
       "  1 13 2A",
       {"lockout 1 is given at line 67 too; this line replaces it"}},
      // The start of a search is named by its own line.
      {{{"<  154.0000  FM", "<  154.0010  FM"}},
       "154.0010",
       {"search start 154.001 is not on the 0.005 MHz step, stored as "
        "154.0000"}},
      {{{" 0A                 10   Back", " 0A                abc   Back"}},
       "abc   Back",
       {"cannot parse Backlight on time",
        "the backlight on time at column 12 is not what the line should "
        "hold; the setting keeps the byte 00"}},
  };
  for (const Case &c : cases)
    expect_warnings(c.changes, c.marker, c.messages);
}

TEST(Check, ValuesEachKindOfLineCannotHold) {
  struct Case {
    const char *from, *to;  // one edit, whose line the warnings name
    std::vector<std::string> messages;
  };
  // Each stored value named here is the one the image, listed again, shows.
  const Case cases[] = {
      // Channel tones.
      {"PL      123.0",
       "PL      123.x",
       {"PL tone 123.x is not stored as written, stored as 123.0"}},
      {"PL      123.0",
       "PL        nan",
       {"PL tone nan is not a number, no tone is stored"}},
      {"DPL      D754",
       "DPL     D754x",
       {"DCS code D754x is not D followed by octal digits, stored as D754"}},
      {"DPL      D754",
       "DPL  D1234567",
       {"DCS code D1234567 is stored as D34567"}},
      {"154.7250  DPL      D754  -D--",
       "154.7250  DPL      D754  UD--",
       {"frequency 154.725 is not stored: flag U marks a channel without one",
        "DCS code D754 is stored as D000"}},
      {"154.7250  DPL      D754",
       "154.7250  FM       D754",
       {"tone D754 is not stored in mode FM"}},
      // Lockouts.
      {"  1 12 65  155.5050",
       "  1 12 65  155.5051",
       {"lockout 155.5051 is not on the 0.005 MHz step, stored as 155.5050"}},
      {"  1 12 65  155.5050",
       "  1 12 65       inf",
       {"frequency out of range for band"}},
      // Motorola talkgroups: block 2 has size code 4, blocks 0 and 1 none.
      {"[200-05 Scan]",
       "[20005 Scan ]",
       {"Type II ID 20005 is not a multiple of 16, stored as 20000",
        "Type II ID 20005 lies in block 2, which the fleet map marks as Type "
        "I (S04)"}},
      {"[200-05 Scan]",
       "[200-5 Scan ]",
       {"talkgroup 200-5 Scan is stored as 200-05 Scan"}},
      {"[200-05 Scan]",
       "[900-05 Scan]",
       {"talkgroup 900-05 Scan names block 9, which the fleet map does not "
        "have, stored as FFFF"}},
      {"[200-05 Scan]",
       "[200-99 Scan]",
       {"subfleet 99 of talkgroup 200-99 Scan is outside 0 to 15 for size "
        "code S04, stored as 02032 Scan"}},
      {"[301-03 Scan]",
       "[3x1-03 Scan]",
       {"talkgroup 3x1-03 Scan gives no ID, stored as FFFF"}},
      {"[02960 Scan ]",
       "[99999 Scan ]",
       {"Type II ID 99999 is outside 0 to 65520, stored as 400-00 Scan"}},
      {"[02960 Scan ]",
       "[-2960 Scan ]",
       {"Type II ID -2960 is outside 0 to 65520, stored as 62576 Scan"}},
      {"[02960 Scan ]",
       "[x2960 Scan ]",
       {"talkgroup x2960 Scan gives no ID, stored as 0000"}},
      // LTR and EDACS talkgroups; an ID read before the line fails to scan
      // is checked too.
      {"[105023 Scan]",
       "[165023 Scan]",
       {"LTR home repeater 65 is outside 0 to 31, stored as 101023 Scan"}},
      {"[105023 Scan]",
       "[10502x Scan]",
       {"talkgroup 10502x Scan is stored as 105002 Scan"}},
      {"[105023 Scan]",
       "[1-05023 Scan]",
       {"cannot parse talkgroup ID line",
        "the talkgroup text between [ and ] is not 11 characters; the "
        "talkgroup keeps the tag of line 571",
        "LTR user ID 502 is outside 0 to 255, stored as 100246 Scan"}},
      {"[1234 Scan  ]",
       "[-234 Scan  ]",
       {"EDACS ID -234 is outside 0 to 4095, stored as 3862"}},
      {"[1234 Scan  ]",
       "[12x4 Scan  ]",
       {"talkgroup 12x4 Scan is stored as   12 Scan  "}},
      // Settings.
      {" 14                 14   Unknown",
       " 14                -14   Unknown",
       {"unknown byte 1 FFFFFFEC is stored as EC"}},
      {" 14                 14   Unknown",
       " 14       99999999999   Unknown",
       {"number 999999999 is too large to be read",
        "unknown byte 1 99999999 is stored as 99"}},
      {" 0A                 10   Back",
       " 0A                  0   Back",
       {"backlight on time 0 s is outside 1 to 255 s, stored as 0 s"}},
      {" 14               2000   Scan delay",
       " 14                300   Scan delay",
       {"scan delay time 300 ms is outside 400 to 25500 ms, stored as 300 ms"}},
      {" 14                2.0   Minimum",
       " 14                 30   Minimum",
       {"minimum scan delay time 30 s is outside 0.4 to 25.5 s, stored as "
        "4.4 s"}},
      {" 14                2.0   Minimum",
       " 14                nan   Minimum",
       {"minimum scan delay time nan s is outside 0.4 to 25.5 s, stored as "
        "0.0 s"}},
      {" 0B                 11   Display",
       " 0B                 -1   Display",
       {"display contrast -1 is outside 9 to 14, stored as 255"}},
      {" 18 FC            1000   Keypad",
       " 18 FC             100   Keypad",
       {"keypad tone frequency 100 Hz is outside 300 to 3000 Hz, stored as "
        "100 Hz"}},
      {" 18 FC            1000   Keypad",
       " 18 FC             nan   Keypad",
       {"keypad tone frequency nan Hz is outside 300 to 3000 Hz, stored as "
        "15 Hz"}},
      {" 18 FC            1000   Keypad",
       " 18 FC          1000.5   Keypad",
       {"keypad tone frequency 1000.5 Hz is stored as 1001 Hz"}},
      {"  0123456789   Enabled",
       "  0123456789x  Enabled",
       {"enabled scan banks 0123456789x has 11 positions, not 10; the rest "
        "is ignored"}},
      // Settings that do not scan keep the byte 00.
      {" 14                 14   Unknown",
       " 14                 zz   Unknown",
       {"cannot parse unknown byte 1",
        "the unknown byte 1 at column 12 is not what the line should hold; "
        "the setting keeps the byte 00"}},
      {" 14                2.0   Minimum",
       " 14                abc   Minimum",
       {"cannot parse Minimum scan delaytime",
        "the minimum scan delay time at column 12 is not what the line "
        "should hold; the setting keeps the byte 00"}},
      {" 05 00            0 05   Priority",
       " 05 00            x 05   Priority",
       {"cannot parse Priority channel",
        "the priority channel number at column 12 is not what the line "
        "should hold; the setting keeps the byte 00"}},
      {" 18 FC            1000   Keypad",
       " 18 FC             abc   Keypad",
       {"cannot parse Keypad tone frequency",
        "the keypad tone frequency at column 12 is not what the line should "
        "hold; the setting keeps the byte 00"}},
      {"154.4300  PL      123.0  ----",
       "154.4300  PL      123.0",
       {"cannot parse bank channel",
        "the flags are missing; the channel keeps the flags of no line yet"}},
      // The fleet map, and a tag an editor saved as UTF-8.
      {"S12 S12 S01 S00  (Fleet",
       "S12 S12 S01 X00  (Fleet",
       {"cannot parse fleet map line",
        "\"S\" is not where the line should have it; the bank keeps the size "
        "code of block 7 of line 574"}},
      {">COUNTY FIRE <",
       ">COUNTY \xF0\x9D\x84\x9E<",
       {"UTF-8 sequence F0 9D 84 9E where the listing holds single bytes: an "
        "editor may have re-encoded the file",
        "cannot parse bank channel",
        "the tag between > and < is not 12 characters; the channel keeps the "
        "frequency, the mode, the tone and the flags of no line yet",
        "cannot match transmission mode", "cannot match frequency band"}},
  };
  for (const Case &c : cases)
    expect_warnings({{c.from, c.to}}, c.to, c.messages);
}

TEST(Check, MovedLinesControlBytesAndWhatUnmatchedTextsStore) {
  struct Case {
    Changes changes;
    const char *marker;  // a text of the line the warnings name
    std::vector<std::string> messages;
  };
  const std::vector<Case> cases = {
      // A number retyped, nothing moved: the line still fills channel 1.
      {{{"  1  12 5F 21", " 49  12 5F 21"}},
       " 49  12 5F",
       {"number 49 is written on the line that fills channel 1 of bank 0: "
        "lines fill slots in order (txtimg -f places a line by its number)"}},
      {{{"   2 2518     [105024", "   7 2518     [105024"}},
       "   7 2518",
       {"number 7 is written on the line that fills talkgroup 2 of bank 3: "
        "lines fill slots in order (txtimg -f places a line by its number)"}},
      {{{"  1  0A 00 02 01", "  4  0A 00 02 01"}},
       "  4  0A 00",
       {"number 4 is written on the line that fills search band 1: lines "
        "fill slots in order (txtimg -f places a line by its number)"}},
      {{{">STATE MUTUAL<", ">STATE\tMUTUAL<"}},
       "STATE\tMUTUAL",
       {"tag \"STATE?MUTUAL\" holds control bytes (09), which no display "
        "shows; stored as they are"}},
      {{{">DISPATCH    <", ">DISPATCH\r   <"}},
       "DISPATCH\r",
       {"tag \"DISPATCH?   \" holds control bytes (0D), which no display "
        "shows; stored as they are"}},
      {{{"155.4750  FM ", "155.4750  fm "}},
       "155.4750  fm",
       {"cannot match transmission mode",
        "mode text \"fm\" is not one of AM, FM, PL, DPL, LTR, MOT, EDACS "
        "(upper case, in columns 50-54): the channel is stored with no valid "
        "mode"}},
      {{{">WX1         <  162.5500  FM ", ">WX1         <  162.5500  Fm "}},
       "162.5500  Fm",
       {"cannot match transmission mode",
        "mode text \"Fm\" is not one of AM, FM, PL, DPL, LTR, MOT, EDACS "
        "(upper case, in columns 50-54): the weather channel is stored with "
        "no valid mode"}},
      {{{"155.4750  FM", "770.0000  FM"}},
       "770.0000",
       {"frequency out of range for band",
        "770.0000 MHz is in no band the image holds (29 to 636 MHz and 806 "
        "to 1062 MHz): stored as 514.0000"}},
      {{{"155.4750  FM", " 15.0000  FM"}},
       " 15.0000",
       {"cannot match frequency band",
        "15.0000 MHz is in no band the image holds (29 to 636 MHz and 806 to "
        "1062 MHz): stored as 0.0000"}},
      {{{"<  118.0000  AM   136.9750", "<   18.0000  AM   136.9750"}},
       " 18.0000  AM   136",
       {"cannot match frequency band",
        "18.0000 MHz is in no band the image holds (29 to 636 MHz and 806 to "
        "1062 MHz): the band is stored as the empty band record"}},
      {{{"LTR                              (Bank type)",
         "ltr                              (Bank type)"}},
       "ltr     ",
       {"cannot match bank type",
        "bank type text \"ltr\" is not one of Conv, LTR, MOT, EDACS or five "
        "blanks (upper case, in columns 28-32): the bank type is stored as "
        "FF, and the talkgroups keep their hexadecimal codes"}},
  };
  for (const Case &c : cases)
    expect_warnings(c.changes, c.marker, c.messages);
}
