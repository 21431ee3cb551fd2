// Channel and talkgroup lists stored into a base image: each mapping of
// the CSV columns, with the codes worked by hand.
#include "csvimg/csvimg.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include <gtest/gtest.h>

namespace {

/// What storing a list gave.
struct Stored {
  bool ok;
  std::string err;
};

/// A base image: every channel empty (flag U), banks 3, 4 and 5 trunked
/// (LTR, Motorola with block 2 at size code 4, EDACS).
ImageBody &base_image() {
  static ImageBody image;
  memset(image.bytes, 0, body_size);
  for (int b = 0; b < 10; ++b)
    for (int k = 0; k < 50; ++k) {
      unsigned char *record = image.bytes + 2443 * b + 18 * k;
      record[2] = 1;
      record[3] = 8;
      memset(record + 6, ' ', 12);
    }
  image.bytes[2443 * 3 + 934] = 4;
  image.bytes[2443 * 4 + 934] = 5;
  image.bytes[2443 * 4 + 935 + 2] = 4;
  image.bytes[2443 * 5 + 934] = 6;
  return image;
}

Stored store(const std::string &csv, int bank, bool talkgroups,
             ImageBody &image) {
  FILE *in = fmemopen(const_cast<char *>(csv.data()), csv.size(), "r");
  if (csv.empty())
    in = fopen("/dev/null", "r");
  char *data = nullptr;
  size_t size = 0;
  FILE *err = open_memstream(&data, &size);
  CsvReader reader;
  open_csv_reader(reader, in);
  Stored result;
  result.ok = talkgroups
                  ? store_talkgroup_list(reader, "in.csv", err, bank, image)
                  : store_channel_list(reader, "in.csv", err, bank, image);
  close_csv_reader(reader);
  fclose(in);
  fclose(err);
  result.err.assign(data, size);
  free(data);
  return result;
}

/// The 18 bytes of a channel record in hexadecimal, then its tag.
std::string channel(const ImageBody &image, int b, int k) {
  const unsigned char *record = image.bytes + 2443 * b + 18 * k;
  char text[64];
  snprintf(text, sizeof text, "%02X %02X %02X %02X %02X %02X >%.12s<",
           record[0], record[1], record[2], record[3], record[4], record[5],
           reinterpret_cast<const char *>(record + 6));
  return text;
}

/// Talkgroup slot t of bank b: the ID code, high byte first, and its tag.
std::string talkgroup(const ImageBody &image, int b, int t) {
  const unsigned char *record = image.bytes + 2443 * b + 1043 + 14 * (t - 1);
  char text[32];
  snprintf(text, sizeof text, "%02X%02X >", record[1], record[0]);
  std::string shown = text;
  for (int i = 2; i < 14; ++i)
    shown += record[i] ? static_cast<char>(record[i]) : '.';
  return shown + "<";
}

std::string warning(const std::string &message, int line) {
  return "Warning: " + message + " at line " + std::to_string(line) +
         ", file in.csv\n";
}

}  // namespace

TEST(ChannelImport, ToneColumnsBecomeModeAndTone) {
  ImageBody &image = base_image();
  Stored s = store(
      "Location,Name,Frequency,Tone,rToneFreq,cToneFreq,DtcsCode,"
      "DtcsPolarity,Mode,Skip,Comment\r\n"
      "0,CALL,146.520000,,88.5,88.5,023,NN,FM,,\r\n"
      "1,K2XYZ RPT,147.33,TSQL,88.5,146.2,023,NN,FM,,\r\n"
      "2,UHF DCS,442.1,DTCS,88.5,88.5,023,RN,NFM,,\r\n"
      "3,TOWER,121.5,,88.5,88.5,023,NN,AM,S,\r\n"
      "4,TX TONE,146.52,Tone,100.0,88.5,023,NN,WFM,,\r\n"
      "5,REVERSE,146.52,TSQL-R,88.5,88.5,023,NN,FM,,\r\n"
      "6,DIGITAL,146.52,,88.5,88.5,023,NN,DMR,,\r\n"
      "7,TRUNK,851.0125,,88.5,88.5,023,NN,FM,,mode=MOT flags=DA\r\n",
      rows_by_location, false, image);
  EXPECT_TRUE(s.ok);
  EXPECT_EQ(
      s.err,
      warning("DTCS polarity RN cannot be stored, stored as NN", 4) +
          warning("tone mode TSQL-R cannot be stored, no tone is stored", 7) +
          warning("mode DMR cannot be stored, stored as FM", 8));
  // 146.52 MHz: band 2, 9 MHz and 104 steps of 5 kHz up.
  EXPECT_EQ(channel(image, 0, 0), "09 68 21 00 00 00 >CALL        <");
  // The receive tone is cToneFreq: 146.2 Hz is 182 tenths above 128.0 Hz.
  EXPECT_EQ(channel(image, 0, 1), "0A 42 22 00 B6 05 >K2XYZ RPT   <");
  // 442.1 MHz: band 3, 62 MHz and 8 steps of 12.5 kHz; DCS 023 is 19.
  EXPECT_EQ(channel(image, 0, 2), "3E 08 33 00 13 00 >UHF DCS     <");
  EXPECT_EQ(channel(image, 0, 3), "0D 28 10 01 00 00 >TOWER       <");
  EXPECT_EQ(channel(image, 0, 4), "09 68 21 00 00 00 >TX TONE     <");
  EXPECT_EQ(channel(image, 0, 5), "09 68 21 00 00 00 >REVERSE     <");
  EXPECT_EQ(channel(image, 0, 6), "09 68 21 00 00 00 >DIGITAL     <");
  // 851.0125 MHz: band 4, 45 MHz and 1 step; MOT with flags D and A.
  EXPECT_EQ(channel(image, 0, 7), "2D 01 45 06 00 00 >TRUNK       <");
  // What the list does not name stays as the base has it.
  EXPECT_EQ(channel(image, 0, 8), "00 00 01 08 00 00 >            <");

  // Without a cToneFreq column the tone is rToneFreq.
  s = store("Location,Frequency,Tone,rToneFreq\n9,147.33,TSQL,146.2\n",
            rows_by_location, false, image);
  EXPECT_EQ(s.err, "");
  EXPECT_EQ(channel(image, 0, 9), "0A 42 22 00 B6 05 >            <");
}

TEST(ChannelImport, RowsThatCannotBeStoredAsGiven) {
  ImageBody &image = base_image();
  Stored s = store(
      "Location,Name,Frequency\n"
      "500,LATE,146.52\n"
      "x,BAD,146.52\n"
      "10,NOFREQ,abc\n"
      "11,A NAME TOO LONG,146.52\n"
      "12,LOW,20.0\n",
      rows_by_location, false, image);
  EXPECT_TRUE(s.ok);
  EXPECT_EQ(s.err,
            warning("location \"500\" is not 0 to 499, row skipped", 2) +
                warning("location \"x\" is not 0 to 499, row skipped", 3) +
                warning("frequency \"abc\" is not a number, row skipped", 4) +
                warning("name \"A NAME TOO LONG\" is longer than 12 "
                        "characters, cut to \"A NAME TOO L\"",
                        5) +
                warning("cannot match frequency band", 6));
  EXPECT_EQ(channel(image, 0, 11), "09 68 21 00 00 00 >A NAME TOO L<");
  EXPECT_EQ(channel(image, 0, 10), "00 00 01 08 00 00 >            <");
}

TEST(ChannelImport, ABankFilledInFileOrder) {
  ImageBody &image = base_image();
  std::string csv = "Frequency,Name\n";
  for (int i = 0; i < 52; ++i)
    csv += "146.52,CH" + std::to_string(i) + "\n";
  Stored s = store(csv, 2, false, image);
  EXPECT_TRUE(s.ok);
  EXPECT_EQ(s.err, warning("more than 50 channels for bank 2, the rest are "
                           "skipped",
                           52));
  EXPECT_EQ(channel(image, 2, 0), "09 68 21 00 00 00 >CH0         <");
  EXPECT_EQ(channel(image, 2, 49), "09 68 21 00 00 00 >CH49        <");
  EXPECT_EQ(channel(image, 3, 0), "00 00 01 08 00 00 >            <");
}

TEST(ChannelImport, AListWithoutItsColumnsIsRefused) {
  ImageBody &image = base_image();
  Stored s = store("Location,Name\n0,X\n", rows_by_location, false, image);
  EXPECT_FALSE(s.ok);
  EXPECT_EQ(s.err, "Error: no Frequency column at line 1, file in.csv\n");
  s = store("# notes only\nName,Frequency\n", rows_by_location, false, image);
  EXPECT_FALSE(s.ok);
  EXPECT_EQ(s.err, "Error: no Location column at line 2, file in.csv\n");
  s = store("Name,Frequency\nX,146.52\n", 0, false, image);
  EXPECT_TRUE(s.ok);
  s = store("", rows_by_location, false, image);
  EXPECT_FALSE(s.ok);
  EXPECT_EQ(s.err, "Error: no header row at line 1, file in.csv\n");
}

TEST(TalkgroupImport, EachBankTypeTakesItsOwnForm) {
  ImageBody &image = base_image();
  // LTR: AHHUUU or A-HH-UUU; 105023 is area 1, repeater 5, user 23.
  Stored s = store(
      "Decimal,ID,Name,Skip\n"
      ",105023,DISPATCH,\n"
      ",1-05-024,CABS,S\n"
      ",ABC,BAD,\n",
      3, true, image);
  EXPECT_TRUE(s.ok);
  EXPECT_EQ(s.err, warning("LTR ID \"ABC\" is not AHHUUU or A-HH-UUU, row "
                           "skipped",
                           4));
  EXPECT_EQ(talkgroup(image, 3, 1), "2517 >DISPATCH    <");
  EXPECT_EQ(talkgroup(image, 3, 2), "A518 >CABS        <");
  EXPECT_EQ(talkgroup(image, 3, 3), "0000 >............<");

  // Motorola: a decimal ID is Type II (ID / 16), a text with '-' Type I
  // in the block's size code: 200-05 is 2 x 512 + 5 x 32 + 31.
  s = store(
      "DEC,Alpha Tag,Skip\n"
      "2960,PUBLIC WORKS,\n"
      "200-05,POLICE MAIN,S\n"
      "2961,ODD,\n",
      4, true, image);
  EXPECT_EQ(s.err, warning("Type II ID 2961 is not a multiple of 16, stored "
                           "as 2960, row skipped",
                           4));
  EXPECT_EQ(talkgroup(image, 4, 1), "00B9 >PUBLIC WORKS<");
  EXPECT_EQ(talkgroup(image, 4, 2), "84BF >POLICE MAIN <");

  // EDACS: the decimal ID itself.
  s = store(
      "Bank,Slot,Decimal,ID,Alpha Tag,Skip\n"
      "5,1,1234,1234,TROOP A,\n"
      "9,1,77,77,OTHER BANK,\n"
      "5,2,5000,5000,TOO BIG,\n"
      "5,3,15,15,MAINTENANCE,S\n",
      5, true, image);
  EXPECT_EQ(s.err,
            warning("EDACS ID 5000 is outside 0 to 4095, stored as 904, row "
                    "skipped",
                    4) +
                warning("1 rows of other banks are passed over, the first", 3));
  EXPECT_EQ(talkgroup(image, 5, 1), "04D2 >TROOP A     <");
  EXPECT_EQ(talkgroup(image, 5, 2), "800F >MAINTENANCE <");
}

TEST(TalkgroupImport, AHundredSlotsAtMost) {
  ImageBody &image = base_image();
  std::string csv = "Decimal,Alpha Tag\n";
  for (int i = 1; i <= 102; ++i)
    csv += std::to_string(i) + ",TG" + std::to_string(i) + "\n";
  Stored s = store(csv, 5, true, image);
  EXPECT_EQ(s.err, warning("more than 100 talkgroups for bank 5, the rest are "
                           "skipped",
                           102));
  EXPECT_EQ(talkgroup(image, 5, 100), "0064 >TG100       <");
  s = store("Name,Skip\nX,\n", 5, true, image);
  EXPECT_FALSE(s.ok);
  EXPECT_EQ(s.err,
            "Error: no Decimal, DEC or ID column at line 1, file in.csv\n");
}
