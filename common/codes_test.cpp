// The code tables, encoders and decoders, against values worked by hand
// or printed with the format.
#include "common/codes.h"

#include <math.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

std::string hex(const unsigned char *bytes, int count) {
  std::string text;
  char part[4];
  for (int i = 0; i < count; ++i) {
    snprintf(part, sizeof part, i ? " %02X" : "%02X", bytes[i]);
    text += part;
  }
  return text;
}

std::vector<std::string> list(const Warnings &w) {
  return std::vector<std::string>(w.text, w.text + w.count);
}

const std::string no_mode = "cannot match transmission mode";
const std::string no_band = "cannot match frequency band";
const std::string too_far = "frequency out of range for band";

struct ChannelCase {
  double frequency;
  const char *mode, *tone, *flags;
  const char *code;
  int band;
  std::vector<std::string> warnings;
};

}  // namespace

// The constant tables, entry by entry, as the format prints them.
TEST(Tables, BandTableAsPrinted) {
  const double base[8] = {29.0, 108.0, 137.0, 380.0, 806.0, 0.0, 0.0, 0.0};
  const double step[8] = {0.005, 0.0125, 0.005, 0.0125, 0.0125, 0.0, 0.0, 0.0};
  for (int b = 0; b < 8; ++b) {
    EXPECT_EQ(band_table[b].base, base[b]) << b;
    EXPECT_EQ(band_table[b].step, step[b]) << b;
  }
  // Rows 5 to 7 are reached through the search band of a search record
  // and the band nibble of a band record: nothing is added to the bytes.
  const unsigned char end[3] = {0x12, 0x34, 0x05};
  for (int b = 5; b < 8; ++b) {
    SearchEndView v = decode_search_end(end, b);
    EXPECT_EQ(v.end, 18.0) << b;
    EXPECT_EQ(v.step, 0.0) << b;
  }
  const unsigned char band_code[6] = {0x07, 0x00, 0x03, 0x16, 0x0B, 0x00};
  EXPECT_EQ(decode_band_code(band_code).step, 0.0);
}

TEST(Tables, NamesAndTexts) {
  const char *const modes[7] = {"AM   ", "FM   ", "PL   ", "DPL  ",
                                "LTR  ", "MOT  ", "EDACS"};
  for (int m = 0; m < 7; ++m) {
    EXPECT_STREQ(mode_names[m], modes[m]);
    EXPECT_STREQ(mode_name(m), modes[m]);
  }
  EXPECT_STREQ(mode_name(7), "?????");

  const char *const types[7] = {"Conv ", "     ", "     ", "     ",
                                "LTR  ", "MOT  ", "EDACS"};
  for (int t = 0; t < 7; ++t)
    EXPECT_STREQ(bank_type_name(t), types[t]);

  const double tones[10] = {0.0,   0.0,   51.2,  76.8,  102.4,
                            128.0, 153.6, 179.2, 204.8, 230.4};
  for (int r = 0; r < 10; ++r)
    EXPECT_EQ(tone_bases[r], tones[r]) << r;

  const struct {
    const char *text;
    int byte;
  } offsets[8] = {
      {"Closed  00.0 kHz offset", 0x00}, {"Open    00.0 kHz offset", 0x02},
      {"Closed  12.5 kHz offset", 0x04}, {"Open    12.5 kHz offset", 0x06},
      {"Closed  25   kHz offset", 0x08}, {"Open    25   kHz offset", 0x0A},
      {"Closed  50   kHz offset", 0x0C}, {"Open    50   kHz offset", 0x0E},
  };
  for (int row = 0; row < 8; ++row) {
    SCOPED_TRACE(offsets[row].text);
    EXPECT_STREQ(mode_offset_texts[row], offsets[row].text);
    EXPECT_STREQ(decode_mode_offset(offsets[row].byte).text, offsets[row].text);
    EXPECT_STREQ(decode_mode_offset(offsets[row].byte | 1).text,
                 offsets[row].text);
    EXPECT_EQ(encode_mode_offset(offsets[row].text), offsets[row].byte);
  }

  const unsigned char empty[6] = {0x00, 0x00, 0x01, 0x10, 0x00, 0x00};
  EXPECT_EQ(memcmp(empty_band_code, empty, 6), 0);
}

TEST(ChannelCode, EncodesFrequencyModeToneAndFlags) {
  const ChannelCase cases[] = {
      {154.4150, "FM   ", "0.0", "----", "11 53 21 00 00 00", 2, {}},
      {460.0250, "PL   ", "100.0", "----", "50 02 32 00 E8 03", 3, {}},
      {162.5500, "DPL  ", "D754", "----", "19 6E 23 00 EC 01", 2, {}},
      {154.4300, "PL   ", "123.0", "----", "11 56 22 00 CE 04", 2, {}},
      {99.0, "AM   ", "0.0", "U---", "00 00 00 08 00 00", 0, {}},
      {29.0, "FM   ", "0.0", "----", "00 00 01 00 00 00", 0, {}},
      {107.995, "FM   ", "0.0", "----", "4E C7 01 00 00 00", 0, {}},
      {108.0, "FM   ", "0.0", "----", "00 00 11 00 00 00", 1, {}},
      {29.999, "FM   ", "0.0", "----", "00 C8 01 00 00 00", 0, {}},
      // Flags: only exact upper-case letters in their own positions count.
      {1.0, "FM   ", "0.0", "UDAL", "00 00 01 0F 00 00", 0, {}},
      {154.415, "FM   ", "0.0", "udal", "11 53 21 00 00 00", 2, {}},
      {154.415, "FM   ", "0.0", "-D-L", "11 53 21 05 00 00", 2, {}},
      {154.415, "FM   ", "0.0", "-D", "11 53 21 04 00 00", 2, {}},
      {154.415, "FM   ", "0.0", "", "11 53 21 00 00 00", 2, {}},
      // Tones at and around the range bases.
      {154.415, "PL   ", "51.1", "----", "11 53 22 00 00 00", 2, {}},
      {154.415, "PL   ", "51.2", "----", "11 53 22 00 00 02", 2, {}},
      {154.415, "PL   ", "76.8", "----", "11 53 22 00 00 03", 2, {}},
      {154.415, "PL   ", "254.1", "----", "11 53 22 00 ED 09", 2, {}},
      {154.415, "PL   ", "abc", "----", "11 53 22 00 00 00", 2, {}},
      {154.415, "DPL  ", "D023", "----", "11 53 23 00 13 00", 2, {}},
      {154.415, "DPL  ", "754", "----", "11 53 23 00 00 00", 2, {}},
      {154.415, "FM   ", "D754", "----", "11 53 21 00 00 00", 2, {}},
      // Unmatched mode and band: -1 is all ones in byte 3.
      {154.415, "fm   ", "0.0", "----", "11 53 FF 00 00 00", 2, {no_mode}},
      {154.415, "FM", "0.0", "----", "11 53 21 00 00 00", 2, {}},
      {154.415, "FM  x", "0.0", "----", "11 53 FF 00 00 00", 2, {no_mode}},
      {28.0, "FM   ", "0.0", "----", "00 00 F1 00 00 00", 0, {no_band}},
      {28.0, "PL   ", "100.0", "----", "00 00 F2 00 E8 03", 0, {no_band}},
      {28.0,
       "xx   ",
       "0.0",
       "----",
       "00 00 FF 00 00 00",
       0,
       {no_mode, no_band}},
      {28.0, "xx   ", "0.0", "U---", "00 00 FF 08 00 00", 0, {no_mode}},
      // 256 MHz or more above the base keeps the low bits, with a warning.
      {636.0, "FM   ", "0.0", "----", "00 00 31 00 00 00", 3, {too_far}},
      {NAN, "FM   ", "0.0", "----", "00 00 F1 00 00 00", 0, {no_band}},
      {INFINITY, "FM   ", "0.0", "----", "00 00 41 00 00 00", 4, {too_far}},
  };
  for (const ChannelCase &c : cases) {
    Warnings w;
    ChannelCode code =
        encode_channel_code(c.frequency, c.mode, c.tone, c.flags, w);
    SCOPED_TRACE(std::to_string(c.frequency) + " " + c.mode + c.tone + " " +
                 c.flags);
    EXPECT_EQ(hex(code.bytes, 6), c.code);
    EXPECT_EQ(code.band, c.band);
    EXPECT_EQ(list(w), c.warnings);
  }
}

TEST(ChannelCode, EmptyModeTextMatchesTheLastEntry) {
  Warnings w;
  EXPECT_EQ(match_mode("", w), 6);
  EXPECT_EQ(match_mode("D", w), 3);
  EXPECT_EQ(match_mode("EDACS", w), 6);
  EXPECT_EQ(w.count, 0);
  EXPECT_EQ(match_band(107.995, w), 0);
  EXPECT_EQ(match_band(806.0, w), 4);
  EXPECT_EQ(match_band(28.9999, w), -1);
  EXPECT_EQ(list(w), std::vector<std::string>{no_band});
}

struct DecodeCase {
  unsigned char code[6];
  RecordKind kind;
  double frequency;
  const char *mode, *tone, *flags;
};

TEST(ChannelCode, DecodesToTheListedTexts) {
  const DecodeCase cases[] = {
      {{0x11, 0x53, 0x21, 0, 0, 0},
       RecordKind::channel,
       154.415,
       "FM   ",
       "     0.0",
       "----"},
      {{0x50, 0x02, 0x32, 0, 0xE8, 3},
       RecordKind::channel,
       460.025,
       "PL   ",
       "   100.0",
       "----"},
      {{0x19, 0x6E, 0x23, 0, 0xEC, 1},
       RecordKind::search,
       162.55,
       "DPL  ",
       "    D754",
       "----"},
      {{0, 0, 0, 8, 0, 0},
       RecordKind::channel,
       0.0,
       "AM   ",
       "     0.0",
       "U---"},
      {{0, 0, 0, 8, 0, 0},
       RecordKind::search,
       29.0,
       "AM   ",
       "     0.0",
       "U---"},
      {{0, 0, 0, 8, 0, 0},
       RecordKind::weather,
       0.0,
       "AM   ",
       "     0.0",
       "U---"},
      {{0x11, 0x53, 0x21, 0xF7, 0, 0},
       RecordKind::search,
       154.415,
       "FM   ",
       "     0.0",
       "-DAL"},
      {{0, 0xC8, 0x01, 0, 0, 0},
       RecordKind::channel,
       30.0,
       "FM   ",
       "     0.0",
       "----"},
      {{0x11, 0x53, 0x22, 0, 0, 2},
       RecordKind::channel,
       154.415,
       "PL   ",
       "    51.2",
       "----"},
      {{0x11, 0x53, 0x22, 0, 0xED, 9},
       RecordKind::search,
       154.415,
       "PL   ",
       "   254.1",
       "----"},
      {{0x11, 0x53, 0x22, 0, 0x40, 1},
       RecordKind::channel,
       154.415,
       "PL   ",
       "     0.0",
       "----"},
      {{0x11, 0x53, 0x22, 0, 0x40, 10},
       RecordKind::channel,
       154.415,
       "PL   ",
       "     0.0",
       "----"},
      {{0x11, 0x53, 0x22, 0, 0xE8, 3},
       RecordKind::weather,
       154.415,
       "PL   ",
       "     0.0",
       "----"},
      {{0x11, 0x53, 0x23, 0, 0, 0},
       RecordKind::channel,
       154.415,
       "DPL  ",
       "    D000",
       "----"},
      {{0x11, 0x53, 0x23, 0, 0x00, 0x02},
       RecordKind::channel,
       154.415,
       "DPL  ",
       "    D1000",
       "----"},
      {{0x11, 0x53, 0x56, 0, 0, 0},
       RecordKind::channel,
       0.0,
       "EDACS",
       "     0.0",
       "----"},
      {{0x11, 0x53, 0xFF, 0, 0, 0},
       RecordKind::search,
       0.0,
       "?????",
       "     0.0",
       "----"},
  };
  for (const DecodeCase &c : cases) {
    ChannelView v = decode_channel_code(c.code, c.kind);
    SCOPED_TRACE(hex(c.code, 6));
    char shown[16];
    snprintf(shown, sizeof shown, "%10.4f", v.frequency);
    char expected[16];
    snprintf(expected, sizeof expected, "%10.4f", c.frequency);
    EXPECT_STREQ(shown, expected);
    EXPECT_STREQ(mode_name(v.mode), c.mode);
    EXPECT_STREQ(v.tone, c.tone);
    EXPECT_STREQ(v.flags, c.flags);
  }
}

TEST(ChannelCode, GridFrequenciesComeBackAtFourDecimals) {
  for (int band = 0; band < known_band_count; ++band) {
    int steps_per_mhz = band_table[band].step == 0.005 ? 200 : 80;
    for (int mhz = 0; mhz < 256; mhz += 5) {
      for (int step = 0; step < steps_per_mhz; step += 3) {
        unsigned char code[6] = {static_cast<unsigned char>(mhz),
                                 static_cast<unsigned char>(step),
                                 static_cast<unsigned char>(band << 4 | 1),
                                 0,
                                 0,
                                 0};
        char shown[16];
        snprintf(shown, sizeof shown, "%10.4f",
                 decode_channel_code(code, RecordKind::channel).frequency);
        Warnings w;
        ChannelCode back =
            encode_channel_code(atof(shown), "FM   ", "0.0", "----", w);
        // A frequency past the next band's base is matched to that band.
        if (band + 1 < known_band_count &&
            atof(shown) >= band_table[band + 1].base)
          continue;
        ASSERT_EQ(hex(back.bytes, 6), hex(code, 6)) << shown;
        ASSERT_EQ(w.count, 0) << shown;
      }
    }
  }
}

TEST(BandCode, EncodesAndDecodesBandRows) {
  Warnings w;
  BandCode code = encode_band_code(144.0, "FM   ", 148.0, 0.005, w);
  EXPECT_EQ(hex(code.bytes, 6), "07 00 01 12 0B 00");
  EXPECT_FALSE(code.empty);
  EXPECT_EQ(w.count, 0);
  BandView v = decode_band_code(code.bytes);
  EXPECT_DOUBLE_EQ(v.start, 144.0);
  EXPECT_EQ(v.mode, 1);
  EXPECT_DOUBLE_EQ(v.end, 148.0);
  EXPECT_DOUBLE_EQ(v.step, 0.005);

  v = decode_band_code(empty_band_code);
  EXPECT_DOUBLE_EQ(v.start, 29.0);
  EXPECT_STREQ(mode_name(v.mode), "FM   ");
  EXPECT_DOUBLE_EQ(v.end, 29.0);
  EXPECT_DOUBLE_EQ(v.step, 0.005);

  // The end counts in the start's band, whatever band it lies in itself.
  code = encode_band_code(406.0, "AM   ", 512.0125, 0.0125, w);
  EXPECT_EQ(hex(code.bytes, 6), "1A 00 01 03 84 01");
  EXPECT_EQ(w.count, 0);

  const unsigned char flagged[6] = {7, 0, 1, 0x1A, 0x0B, 0};
  v = decode_band_code(flagged);
  EXPECT_EQ(v.start, 0.0);
  EXPECT_EQ(v.end, 0.0);
}

TEST(BandCode, UnmatchedModeOrBandGivesTheEmptyRecord) {
  struct {
    double start;
    const char *mode;
    std::vector<std::string> warnings;
  } cases[] = {
      {144.0, "fm   ", {no_mode}},
      {20.0, "FM   ", {no_band}},
      {20.0, "??   ", {no_mode, no_band}},
  };
  for (const auto &c : cases) {
    Warnings w;
    BandCode code = encode_band_code(c.start, c.mode, 148.0, 0.005, w);
    EXPECT_TRUE(code.empty);
    EXPECT_EQ(hex(code.bytes, 6), "00 00 01 10 00 00");
    EXPECT_EQ(list(w), c.warnings);
  }
  Warnings w;
  encode_band_code(144.0, "FM   ", 100.0, 0.005, w);
  EXPECT_EQ(list(w), std::vector<std::string>{too_far});
}

TEST(BankCodes, BankTypesAndModeOffsets) {
  Warnings w;
  EXPECT_EQ(match_bank_type("Conv ", w), 0);
  EXPECT_EQ(match_bank_type("MOT  ", w), 5);
  EXPECT_EQ(match_bank_type("     ", w), 3);
  EXPECT_EQ(match_bank_type("EDACS", w), 6);
  EXPECT_EQ(w.count, 0);
  EXPECT_EQ(match_bank_type("MOt  ", w), -1);
  EXPECT_EQ(list(w), std::vector<std::string>{"cannot match bank type"});
  EXPECT_STREQ(bank_type_name(1), "     ");
  EXPECT_STREQ(bank_type_name(7), "?????");
  EXPECT_STREQ(bank_type_name(255), "?????");

  EXPECT_EQ(encode_mode_offset("Closed  00.0 kHz offset"), 0x00);
  EXPECT_EQ(encode_mode_offset("Open    50   kHz offset"), 0x0E);
  EXPECT_EQ(encode_mode_offset("Open    12.5 kHz offset"), 0x06);
  EXPECT_EQ(encode_mode_offset("o-------1--------------"), 0x06);
  EXPECT_EQ(encode_mode_offset("Closed  25   kHz offset"), 0x08);
  EXPECT_EQ(encode_mode_offset("Xpen    7"), 0x00);
  for (int row = 0; row < 8; ++row)
    EXPECT_EQ(encode_mode_offset(mode_offset_texts[row]), 2 * row);

  EXPECT_STREQ(decode_mode_offset(0x0B).text, "Open    25   kHz offset");
  EXPECT_STREQ(decode_mode_offset(0x0B).word, "Open  ");
  EXPECT_STREQ(decode_mode_offset(0x04).word, "Closed");
  EXPECT_STREQ(decode_mode_offset(0x12).text, "Open    00.0 kHz offset");
  EXPECT_STREQ(decode_mode_offset(0xFF).text, "Open    50   kHz offset");
}

namespace {

struct TalkgroupCase {
  int type;
  unsigned hex_code;
  const char *text;  // as read from the listing, or null
  unsigned id;
  const char *shown;  // text decoded back from the ID
};

}  // namespace

TEST(Talkgroup, EncodesAndDecodesEachBankType) {
  int map[8] = {4, 1, 12, 12, 0, 0, 0, 15};
  const unsigned char fleet[8] = {4, 1, 12, 12, 0, 0, 0, 15};
  int type2_map[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  const TalkgroupCase cases[] = {
      {4, 0, "106201 Scan", 0x26C9, "106201 Scan"},
      {4, 0, "       Skip", 0x8000, "       Skip"},
      {4, 0, "           ", 0x0000, "           "},
      {4, 0, "105023 Scan", 0x2517, "105023 Scan"},
      {4, 0x1234, "1 Skip     ", 0x8000, "       Skip"},
      {4, 0, "031999 Scan", 0x1FE7, "031231 Scan"},  // user ID keeps 8 bits
      {5, 0, "000-05 Scan", 0x00BF, "000-05 Scan"},
      {5, 0, "1100-3 Skip", 0x8393, "1100-3 Skip"},
      {5, 0, "200-09 Scan", 0x067F, "200-09 Scan"},
      {5, 0, "300-09 Scan", 0x087F, "34800 Scan "},  // block 4 is Type II
      {5, 0, "           ", 0x0000, "           "},
      {5, 0, "       Skip", 0x8000, "       Skip"},
      {5, 0, "800-01 Scan", 0x001F, "000-00 Scan"},  // no block 8: zeros
      {5, 0, "7-00-01    ", 0x0000, "           "},  // block 7, code 15
      {6, 0, "1234 Scan  ", 0x04D2, "1234 Scan  "},
      {6, 0, "  15 Skip  ", 0x800F, "  15 Skip  "},
      {6, 0, "     Skip  ", 0x8000, "     Skip  "},
      {6, 0, "           ", 0x0000, "           "},
      {0, 0x1A2B, "106201 Scan", 0x1A2B, "           "},
      {4, 0x1A2B, nullptr, 0x1A2B, "026043 Scan"},
      {2, 0x9999, "       Skip", 0x9999, "           "},
  };
  for (const TalkgroupCase &c : cases) {
    SCOPED_TRACE(std::string(c.text ? c.text : "(none)"));
    unsigned id = encode_talkgroup(c.type, c.hex_code, c.text, map);
    EXPECT_EQ(id, c.id);
    char shown[12];
    decode_talkgroup(c.type, c.id, fleet, shown);
    EXPECT_STREQ(shown, c.shown);
  }

  int block2_code1[8] = {0, 0, 1, 0, 0, 0, 0, 0};
  EXPECT_EQ(encode_talkgroup(5, 0, "2100-3 Skip", block2_code1), 0x8593u);

  // Type II IDs come back as multiples of 16; block 0 here is Type II.
  EXPECT_EQ(encode_talkgroup(5, 0, "02960 Scan ", type2_map), 0x00B9u);
  EXPECT_EQ(encode_talkgroup(5, 0, "02961 Skip ", type2_map), 0x80B9u);
  const unsigned char type2[8] = {};
  char shown[12];
  decode_talkgroup(5, 0x00B9, type2, shown);
  EXPECT_STREQ(shown, "02960 Scan ");
  decode_talkgroup(5, 0x8000, type2, shown);
  EXPECT_STREQ(shown, "      Skip ");
  decode_talkgroup(5, 0x9000, type2, shown);
  EXPECT_STREQ(shown, "           ");
  decode_talkgroup(6, 0x9005, type2, shown);
  EXPECT_STREQ(shown, "   5 Scan  ");
}

namespace {

// The fleet size table as printed: size code, A, B, A x B, and the fleets
// in one block of 512 codes (0 where a fleet spans more than one block).
struct PrintedFleetSize {
  int code, a, b, span, fleets;
};
const PrintedFleetSize printed_fleet_sizes[16] = {
    {0, 0, 0, 0, 0},       {1, 4, 1, 4, 128},      {2, 8, 4, 32, 16},
    {3, 8, 8, 64, 8},      {4, 16, 32, 512, 1},    {5, 4, 2, 8, 64},
    {6, 8, 2, 16, 32},     {7, 4, 4, 16, 32},      {8, 4, 8, 32, 16},
    {9, 4, 16, 64, 8},     {10, 8, 16, 128, 4},    {11, 16, 16, 256, 2},
    {12, 16, 64, 1024, 0}, {13, 16, 128, 2048, 0}, {14, 16, 256, 4096, 0},
    {15, 0, 0, 0, 0},
};

}  // namespace

TEST(Tables, FleetSizeTableAsPrinted) {
  for (const PrintedFleetSize &p : printed_fleet_sizes) {
    SCOPED_TRACE(p.code);
    const FleetSize &row = fleet_size(p.code);
    EXPECT_EQ(row.code, p.code);
    EXPECT_EQ(row.subfleets, p.a);
    EXPECT_EQ(row.spacing, p.b);
    EXPECT_EQ(row.span, p.span);
    EXPECT_EQ(row.subfleets * row.spacing, p.span);
    // A fleet map byte indexes the table by its low four bits.
    EXPECT_EQ(fleet_size(p.code + 16).spacing, p.b);
  }
}

TEST(Tables, FleetsInOneBlockAsPrinted) {
  // The last code of block 0 lies in its last fleet and last subfleet.
  for (const PrintedFleetSize &p : printed_fleet_sizes) {
    if (p.code == 0 || p.code == 15)
      continue;
    SCOPED_TRACE(p.code);
    MotorolaId last = decode_motorola_id(511, p.code);
    if (p.fleets > 0)
      EXPECT_EQ(last.fleet, p.fleets - 1);
    else
      EXPECT_EQ(last.fleet, 0);
    // Fleets wider than a block: the last code of their last block.
    unsigned end = static_cast<unsigned>(p.span > 512 ? p.span - 1 : 511);
    EXPECT_EQ(decode_motorola_id(end, p.code).subfleet, p.a - 1);
  }
}

TEST(Talkgroup, MotorolaTypeOneRoundTripsForEverySizeCode) {
  for (const PrintedFleetSize &p : printed_fleet_sizes) {
    if (p.code == 0 || p.code == 15)
      continue;
    int fleets = p.fleets > 0 ? p.fleets : 1;
    int blocks_per_fleet = p.span > 512 ? p.span / 512 : 1;
    for (int block = 0; block < 8; block += blocks_per_fleet) {
      for (int fleet = 0; fleet < fleets; ++fleet) {
        for (int subfleet = 0; subfleet < p.a; ++subfleet) {
          int id = encode_motorola_id(p.code, block, fleet, subfleet);
          ASSERT_EQ(id, block * 512 + fleet * p.span + subfleet * p.b + p.b - 1)
              << p.code << " " << block << " " << fleet;
          MotorolaId m = decode_motorola_id(static_cast<unsigned>(id), p.code);
          ASSERT_EQ(m.fleet, fleet) << p.code << " " << block << " " << fleet;
          ASSERT_EQ(m.subfleet, subfleet) << p.code << " " << block;
        }
      }
    }
  }
}

namespace {

struct TypeOneCase {
  unsigned char fleet_map[8];
  const char *text;
  unsigned id;
};

}  // namespace

// Each ID worked by hand from block x 512 + fleet x A x B + subfleet x B +
// (B - 1), with A and B of the block's size code, and each text from the
// decoding rules; both directions.
TEST(Talkgroup, MotorolaTypeOneKnownAnswersForEverySizeCode) {
  const TypeOneCase cases[] = {
      {{0, 0, 1, 0, 0, 0, 0, 0}, "2100-3 Skip", 0x8593},     // S01
      {{1, 0, 0, 0, 0, 0, 0, 0}, "0127-2 Scan", 0x01FE},     // S01
      {{2, 0, 0, 0, 0, 0, 0, 0}, "005-03 Scan", 0x00AF},     // S02
      {{0, 0, 2, 0, 0, 0, 0, 0}, "205-03 Scan", 0x04AF},     // S02
      {{0, 3, 0, 0, 0, 0, 0, 0}, "107-06 Scan", 0x03F7},     // S03
      {{4, 0, 0, 0, 0, 0, 0, 0}, "000-05 Scan", 0x00BF},     // S04
      {{0, 0, 0, 0, 0, 4, 0, 0}, "500-15 Scan", 0x0BFF},     // S04
      {{0, 0, 5, 0, 0, 0, 0, 0}, "263-02 Skip", 0x85FD},     // S05
      {{1, 11, 2, 6, 12, 12, 9, 4}, "304-00 Scan", 0x0641},  // S06
      {{0, 0, 0, 6, 0, 0, 0, 0}, "331-07 Scan", 0x07FF},     // S06
      {{0, 0, 0, 0, 7, 0, 0, 0}, "410-01 Scan", 0x08A7},     // S07
      {{0, 0, 0, 0, 0, 8, 0, 0}, "502-03 Scan", 0x0A5F},     // S08
      {{0, 0, 0, 0, 0, 0, 9, 0}, "603-02 Scan", 0x0CEF},     // S09
      {{0, 0, 0, 0, 0, 0, 0, 10}, "701-05 Skip", 0x8EDF},    // S10
      {{0, 11, 0, 0, 0, 0, 0, 0}, "101-09 Scan", 0x039F},    // S11
      {{0, 0, 0, 11, 0, 0, 0, 0}, "301-09 Scan", 0x079F},    // S11
      // Wide fleets: the decoder reads the size code of the block in bits
      // 9..11 and shows the fleet's first block.
      {{0, 0, 12, 12, 0, 0, 0, 0}, "200-09 Scan", 0x067F},        // S12, 3
      {{1, 11, 2, 6, 12, 12, 9, 4}, "400-09 Scan", 0x0A7F},       // S12, 5
      {{0, 0, 0, 0, 0, 0, 12, 12}, "600-15 Skip", 0x8FFF},        // S12, 7
      {{0, 0, 0, 0, 13, 13, 13, 13}, "400-03 Scan", 0x09FF},      // S13, 4
      {{0, 0, 0, 0, 13, 13, 13, 13}, "400-15 Scan", 0x0FFF},      // S13, 7
      {{13, 13, 13, 13, 0, 0, 0, 0}, "000-12 Scan", 0x067F},      // S13, 3
      {{14, 14, 14, 14, 14, 14, 14, 14}, "000-10 Scan", 0x0AFF},  // S14, 5
      {{14, 14, 14, 14, 14, 14, 14, 14}, "000-00 Skip", 0x80FF},  // S14, 0
  };
  for (const TypeOneCase &c : cases) {
    SCOPED_TRACE(c.text);
    int map[8];
    for (int i = 0; i < 8; ++i)
      map[i] = c.fleet_map[i];
    EXPECT_EQ(encode_talkgroup(5, 0, c.text, map), c.id);
    char shown[12];
    decode_talkgroup(5, c.id, c.fleet_map, shown);
    EXPECT_STREQ(shown, c.text);
  }
}

TEST(Talkgroup, TypeOneTextInABlockWithoutFleets) {
  // Size codes 0 and 15 have A = B = 0, so the formula gives block x 512
  // - 1 whatever the fleet and subfleet.
  int map[8] = {0, 0, 0, 0, 0, 0, 0, 15};
  EXPECT_EQ(encode_talkgroup(5, 0, "300-09 Scan", map), 0x05FFu);
  EXPECT_EQ(encode_talkgroup(5, 0, "700-01 Scan", map), 0x0DFFu);
  EXPECT_EQ(encode_talkgroup(5, 0, "7001-1 Skip", map), 0x8DFFu);
}

TEST(Talkgroup, OddSizeCodesNeverDivideByZero) {
  char shown[12];
  for (int size = 0; size < 256; ++size) {
    unsigned char fleet[8];
    memset(fleet, size, sizeof fleet);
    for (unsigned id : {0x0001u, 0x0FFFu, 0x8E00u, 0xFFFFu}) {
      decode_talkgroup(5, id, fleet, shown);
      ASSERT_EQ(strlen(shown), 11u) << size;
    }
  }
}

TEST(SearchAndLockouts, UseTheTenthStepSplitInTheSearchBand) {
  Warnings w;
  SearchEnd end = encode_search_end(158.0, 0.005, 2, w);
  EXPECT_EQ(hex(end.bytes, 3), "15 00 01");
  SearchEndView v = decode_search_end(end.bytes, 2);
  EXPECT_DOUBLE_EQ(v.end, 158.0);
  EXPECT_DOUBLE_EQ(v.step, 0.005);
  end = encode_search_end(454.0, 0.0125, 3, w);
  EXPECT_EQ(hex(end.bytes, 3), "4A 00 01");

  LockoutPair p = encode_lockout(155.5050, 2, w);
  EXPECT_EQ(p.first, 0x12);
  EXPECT_EQ(p.second, 0x65);
  p = encode_lockout(155.5040, 2, w);
  EXPECT_EQ(p.second, 0x64);
  p = encode_lockout(453.5, 3, w);
  EXPECT_EQ(p.first, 0x49);
  EXPECT_EQ(p.second, 0x28);
  EXPECT_EQ(w.count, 0);

  // A lockout below the search band's base cannot be stored as written,
  // nor one 255 MHz above it, whose pair would read as empty.
  encode_lockout(136.0, 2, w);
  EXPECT_EQ(list(w), std::vector<std::string>{too_far});
  Warnings w255;
  p = encode_lockout(29.0 + 255.5, 0, w255);
  EXPECT_EQ(p.first, 0xFF);
  EXPECT_EQ(list(w255), std::vector<std::string>{too_far});
  Warnings w254;
  encode_lockout(29.0 + 254.995, 0, w254);
  EXPECT_EQ(w254.count, 0);

  double f = 0;
  const unsigned char empty1[2] = {0x12, 0xFF}, empty2[2] = {0xFF, 0x10};
  const unsigned char zero[2] = {0, 0};
  EXPECT_FALSE(decode_lockout(empty1, 2, &f));
  EXPECT_FALSE(decode_lockout(empty2, 2, &f));
  ASSERT_TRUE(decode_lockout(zero, 2, &f));
  EXPECT_DOUBLE_EQ(f, 137.0);
  const unsigned char pair[2] = {0x12, 0x65};
  ASSERT_TRUE(decode_lockout(pair, 0, &f));
  EXPECT_DOUBLE_EQ(f, 47.505);
}

TEST(Settings, EncodeAndDecodeEachRow) {
  EXPECT_EQ(encode_delay(450), 4);
  EXPECT_EQ(decode_delay(4), 400);
  EXPECT_EQ(encode_delay(25500), 255);
  EXPECT_EQ(encode_tenths(0.4), 4);
  EXPECT_EQ(encode_tenths(25.5), 255);
  EXPECT_EQ(encode_tenths(NAN), 0);
  EXPECT_EQ(encode_tenths(1e300), 0);
  char shown[32];
  snprintf(shown, sizeof shown, "%19.1f", decode_tenths(4));
  EXPECT_STREQ(shown, "                0.4");

  PriorityChannel pc = encode_priority_channel(3, 5);
  EXPECT_EQ(pc.pc1, 5);
  EXPECT_EQ(pc.pc2, 3);
  snprintf(shown, sizeof shown, "%2d%3.2d", pc.pc2, pc.pc1);
  EXPECT_STREQ(shown, " 3 05");

  EXPECT_EQ(encode_keypad_tone(1000), 0xFC18u);
  EXPECT_EQ(decode_keypad_tone(0xFC18), 1000);
  EXPECT_EQ(encode_keypad_tone(3000), 0xFEB3u);
  EXPECT_EQ(decode_keypad_tone(0xFEB3), 3003);
  EXPECT_EQ(encode_keypad_tone(300), 0xF2FBu);
  EXPECT_EQ(decode_keypad_tone(0xF2FB), 300);
  EXPECT_EQ(decode_keypad_tone(0), 15);
  EXPECT_EQ(decode_keypad_tone(0xFC33), 1028);
  EXPECT_EQ(decode_keypad_tone(0xFC2B), 1019);
  EXPECT_EQ(encode_keypad_tone(0), 0u);
  EXPECT_EQ(encode_keypad_tone(-50), 0u);
  EXPECT_EQ(encode_keypad_tone(15.0), 0u);
  EXPECT_EQ(encode_keypad_tone(NAN), 0u);
  // The period is truncated to whole microseconds, which costs up to
  // hertz squared / 1,000,000 Hz.
  for (int hertz = 300; hertz <= 3000; ++hertz) {
    int shown_hertz = decode_keypad_tone(encode_keypad_tone(hertz));
    ASSERT_LE(abs(shown_hertz - hertz), hertz * hertz / 1000000 + 1) << hertz;
  }
}

TEST(Settings, BankWords) {
  unsigned char bytes[10];
  encode_bank_word("01-3456789", bytes);
  EXPECT_EQ(hex(bytes, 10), "30 31 A5 33 34 35 36 37 38 39");
  encode_bank_word("12-4------", bytes);
  EXPECT_EQ(hex(bytes, 10), "31 32 A5 34 A5 A5 A5 A5 A5 A5");
  encode_bank_word("7", bytes);
  EXPECT_EQ(hex(bytes, 10), "37 A5 A5 A5 A5 A5 A5 A5 A5 A5");
  encode_bank_word("0123456789012", bytes);
  EXPECT_EQ(hex(bytes, 10), "30 31 32 33 34 35 36 37 38 39");

  const unsigned char stored[10] = {'0', 0xA5, 0,   '9', 'x',
                                    '5', '5',  '5', '5', '/'};
  char word[11];
  decode_bank_word(stored, word);
  EXPECT_STREQ(word, "0--9-5555-");
}

TEST(Truncation, OutOfRangeRealsGiveZero) {
  EXPECT_EQ(truncate_real(2.9), 2);
  EXPECT_EQ(truncate_real(-2.9), -2);
  EXPECT_EQ(truncate_real(2147483647.5), 2147483647);
  EXPECT_EQ(truncate_real(2147483648.0), 0);
  EXPECT_EQ(truncate_real(-2147483648.9), -2147483647 - 1);
  EXPECT_EQ(truncate_real(-2147483649.0), 0);
  EXPECT_EQ(truncate_real(NAN), 0);
  EXPECT_EQ(truncate_real(-INFINITY), 0);
}
