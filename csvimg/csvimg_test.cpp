// Channel and talkgroup lists stored into a base image: each mapping of
// the CSV columns, with the codes worked by hand.
#include "csvimg/csvimg.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include <gtest/gtest.h>

#include "tests/process.h"

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

Stored store(const std::string &csv, const StoreOptions &options,
             bool talkgroups, ImageBody &image,
             StoreSummary *summary = nullptr) {
  char *data = nullptr;
  size_t size = 0;
  FILE *err = open_memstream(&data, &size);
  CsvReader reader;
  open_csv_text(reader, csv);
  StoreSummary ignored;
  StoreSummary &counts = summary ? *summary : ignored;
  Stored result;
  result.ok =
      talkgroups
          ? store_talkgroup_list(reader, "in.csv", err, options, image, counts)
          : store_channel_list(reader, "in.csv", err, options, image, counts);
  close_csv_reader(reader);
  fclose(err);
  result.err.assign(data, size);
  free(data);
  return result;
}

/// Options that store into a bank, or by Location when bank is -1.
StoreOptions into(int bank, bool keep = false) {
  StoreOptions options;
  options.bank = bank;
  options.keep = keep;
  return options;
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

TEST(ChannelImport, EachRowIsStoredExactlyOrWarnedOf) {
  // Each row goes to the Location of its place in the table; the codes are
  // worked by hand from the band table: offset, steps, band and mode,
  // flags, tone low and high byte.
  struct Case {
    const char *row;  // Name to Comment
    const char *stored;
    std::vector<std::string> warnings;
  };
  const char *kept = "00 00 01 08 00 00 >            <";
  const std::vector<Case> cases = {
      {"CALL,146.520000,,88.5,88.5,023,NN,023,Tone->Tone,FM,,",
       "09 68 21 00 00 00 >CALL        <",
       {}},
      // Off the 5 kHz step: the nearest step, a tie going up.
      {"NARROW,151.1375,,,,,,,,NFM,,",
       "0E 1C 21 00 00 00 >NARROW      <",
       {"frequency 151.1375 is not on the 0.005 MHz step, stored as "
        "151.1400"}},
      {"TIE,158.7375,,,,,,,,FM,,",
       "15 94 21 00 00 00 >TIE         <",
       {"frequency 158.7375 is not on the 0.005 MHz step, stored as "
        "158.7400"}},
      {"UHF,446.12,,,,,,,,FM,,",
       "42 0A 31 00 00 00 >UHF         <",
       {"frequency 446.12 is not on the 0.0125 MHz step, stored as "
        "446.1250"}},
      // The step above band 0's last one is band 1's base.
      {"EDGE,107.9975,,,,,,,,FM,,",
       "00 00 11 00 00 00 >EDGE        <",
       {"frequency 107.9975 is not on the 0.005 MHz step, stored as "
        "108.0000"}},
      {"TOP,1061.9875,,,,,,,,FM,,", "FF 4F 41 00 00 00 >TOP         <", {}},
      {"BAND3 TOP,635.9875,,,,,,,,FM,,",
       "FF 4F 31 00 00 00 >BAND3 TOP   <",
       {}},
      // Frequencies no band holds keep the base's channel.
      {"HF,10.000000,,,,,,,,FM,,",
       kept,
       {"frequency 10 MHz lies in no band the scanner holds (29 to 636 MHz "
        "and 806 to 1062 MHz), row skipped"}},
      {"GAP,700,,,,,,,,FM,,",
       kept,
       {"frequency 700 MHz lies in no band the scanner holds (29 to 636 MHz "
        "and 806 to 1062 MHz), row skipped"}},
      {"ABOVE,1062,,,,,,,,FM,,",
       kept,
       {"frequency 1062 MHz lies in no band the scanner holds (29 to 636 MHz "
        "and 806 to 1062 MHz), row skipped"}},
      {"BELOW,-146.52,,,,,,,,FM,,",
       kept,
       {"frequency -146.52 MHz lies in no band the scanner holds (29 to 636 "
        "MHz and 806 to 1062 MHz), row skipped"}},
      {"WORD,1e2,,,,,,,,FM,,",
       kept,
       {"frequency \"1e2\" is not a number, row skipped"}},
      // Modes: FM and AM only.
      {"DMR,146.52,,,,,,,,DMR,,",
       kept,
       {"mode DMR cannot be received by the scanner (FM and AM only), row "
        "skipped"}},
      {"USB,146.52,,,,,,,,USB,,",
       kept,
       {"mode USB cannot be received by the scanner (FM and AM only), row "
        "skipped"}},
      {"AIR,121.5,,,,,,,,NAM,S,", "0D 28 10 01 00 00 >AIR         <", {}},
      {"AUTO,146.52,,,,,,,,Auto,,", "09 68 21 00 00 00 >AUTO        <", {}},
      // Tones: what the receiver needs to open.
      {"RPT,147.33,TSQL,88.5,146.2,023,NN,023,,FM,,",
       "0A 42 22 00 B6 05 >RPT         <",
       {}},
      {"XTONE,146.52,Cross,100.0,94.8,023,NN,023,->Tone,FM,,",
       "09 68 22 00 B4 03 >XTONE       <",
       {}},
      {"XDCS,146.52,Cross,88.5,88.5,023,NN,754,Tone->DTCS,FM,,",
       "09 68 23 00 EC 01 >XDCS        <",
       {}},
      {"XOPEN,146.52,Cross,100.0,100.0,023,NN,023,DTCS->,FM,,",
       "09 68 21 00 00 00 >XOPEN       <",
       {}},
      {"XBAD,146.52,Cross,100.0,100.0,023,NN,023,Tone->Wrong,FM,,",
       "09 68 21 00 00 00 >XBAD        <",
       {"cross mode Tone->Wrong cannot be stored, no tone is stored"}},
      {"XDTONE,146.52,Cross,100.0,94.8,023,NN,023,DTCS->Tone,FM,,",
       "09 68 22 00 B4 03 >XDTONE      <",
       {}},
      {"XNONE,146.52,Cross,100.0,94.8,023,NN,023,,FM,,",
       "09 68 22 00 B4 03 >XNONE       <",
       {}},
      {"XDD,146.52,Cross,88.5,88.5,023,NN,754,DTCS->DTCS,FM,,",
       "09 68 23 00 EC 01 >XDD         <",
       {}},
      {"BADDCS,146.52,DTCS,88.5,88.5,089,NN,023,,FM,,",
       kept,
       {"DCS code \"089\" is not octal digits, row skipped"}},
      {"HUGEDCS,146.52,DTCS,88.5,88.5,7777777777,NN,023,,FM,,",
       kept,
       {"DCS code D7777777777 cannot be stored as written (at most D177777), "
        "row skipped"}},
      {"INVERTED,442.1,DTCS,88.5,88.5,023,NR,023,,NFM,,",
       "3E 08 31 00 00 00 >INVERTED    <",
       {"DTCS polarity NR receives an inverted code, which the scanner "
        "cannot, no tone is stored"}},
      {"DCS RN,442.1,DTCS,88.5,88.5,023,RN,023,,FM,,",
       "3E 08 33 00 13 00 >DCS RN      <",
       {}},
      {"TXONLY,146.52,Tone,100.0,88.5,023,NN,023,,FM,,",
       "09 68 21 00 00 00 >TXONLY      <",
       {}},
      {"REVERSE,146.52,TSQL-R,100.0,100.0,023,NN,023,,FM,,",
       "09 68 21 00 00 00 >REVERSE     <",
       {"tone mode TSQL-R cannot be stored, no tone is stored"}},
      {"ODDTONE,146.52,TSQL,88.5,100.1,023,NN,023,,FM,,",
       "09 68 22 00 E9 03 >ODDTONE     <",
       {"PL tone 100.1 is not a standard CTCSS tone, the nearest is 100.0"}},
      {"HIGHTONE,146.52,TSQL,88.5,300.0,023,NN,023,,FM,,",
       kept,
       {"PL tone 300.0 cannot be stored as written (51.2 to 255.9 Hz, in "
        "tenths), row skipped"}},
      {"FINETONE,146.52,TSQL,88.5,100.05,023,NN,023,,FM,,",
       kept,
       {"PL tone 100.05 cannot be stored as written (51.2 to 255.9 Hz, in "
        "tenths), row skipped"}},
      {"NOTONE,146.52,TSQL,88.5,,023,NN,023,,FM,,",
       kept,
       {"PL tone \"\" is not a number, row skipped"}},
      {"ODDDCS,146.52,DTCS,88.5,88.5,024,NN,023,,FM,,",
       "09 68 23 00 14 00 >ODDDCS      <",
       {"DCS code D024 is not a standard DCS code"}},
      {"BIGDCS,146.52,DTCS,88.5,88.5,777777,NN,023,,FM,,",
       kept,
       {"DCS code D777777 cannot be stored as written (at most D177777), row "
        "skipped"}},
      {"AMTONE,121.5,TSQL,88.5,100.0,023,NN,023,,AM,,",
       "0D 28 12 00 E8 03 >AMTONE      <",
       {"an AM channel cannot carry a tone, stored as PL"}},
      {"PRIORITY,146.52,,,,,,,,FM,P,",
       "09 68 21 00 00 00 >PRIORITY    <",
       {"skip P cannot be stored, the channel is scanned"}},
      {"TRUNK,851.0125,,,,,,,,FM,,mode=MOT flags=DA",
       "2D 01 45 06 00 00 >TRUNK       <",
       {}},
      // Names: UTF-8, cut at 12 characters.
      {"Caf\xC3\xA9,146.52,,,,,,,,FM,,",
       "09 68 21 00 00 00 >Caf\xE9        <",
       {"name \"Caf\xC3\xA9\" has characters the scanner may not show: "
        "\xC3\xA9 (U+00E9) stored as byte E9"}},
      {"\xE5\x8C\x97\xE4\xBA\xAC,146.52,,,,,,,,FM,,",
       "09 68 21 00 00 00 >??          <",
       {"name \"\xE5\x8C\x97\xE4\xBA\xAC\" has characters the scanner may not "
        "show: \xE5\x8C\x97 (U+5317) stored as ?, \xE4\xBA\xAC (U+4EAC) "
        "stored as ?"}},
      {"LATIN1 \xE9,146.52,,,,,,,,FM,,",
       "09 68 21 00 00 00 >LATIN1 \xE9    <",
       {"name \"LATIN1 \xE9\" has characters the scanner may not show: byte "
        "E9 (not UTF-8) stored as it is"}},
      {"G\xF0\x9D\x84\x9E,146.52,,,,,,,,FM,,",
       "09 68 21 00 00 00 >G?          <",
       {"name \"G\xF0\x9D\x84\x9E\" has characters the scanner may not "
        "show: \xF0\x9D\x84\x9E (U+1D11E) stored as ?"}},
      {"TAB\x01X\x7F,146.52,,,,,,,,FM,,",
       "09 68 21 00 00 00 >TAB?X?      <",
       {"name \"TAB?X?\" has characters the scanner may not show: control "
        "character 01 stored as ?, control character 7F stored as ?"}},
      // A cut sequence, a byte that does not continue one, an overlong
      // form and a surrogate are bytes, not characters.
      {"END\xE2\x82,146.52,,,,,,,,FM,,",
       "09 68 21 00 00 00 >END\xE2\x82       <",
       {"name \"END\xE2\x82\" has characters the scanner may not show: byte "
        "E2 (not UTF-8) stored as it is, byte 82 (not UTF-8) stored as it "
        "is"}},
      {"\xC3(\xE0\x80\x80\xED\xA0\x80,146.52,,,,,,,,FM,,",
       "09 68 21 00 00 00 >\xC3(\xE0\x80\x80\xED\xA0\x80    <",
       {"name \"\xC3(\xE0\x80\x80\xED\xA0\x80\" has characters the scanner "
        "may not show: byte C3 (not UTF-8) stored as it is, byte E0 (not "
        "UTF-8) stored as it is, byte 80 (not UTF-8) stored as it is, byte "
        "80 (not UTF-8) stored as it is, byte ED (not UTF-8) stored as it "
        "is, byte A0 (not UTF-8) stored as it is, byte 80 (not UTF-8) "
        "stored as it is"}},
      {"TWELVE CHARS    ,146.52,,,,,,,,FM,,",
       "09 68 21 00 00 00 >TWELVE CHARS<",
       {}},
      // A name too long loses blanks and the vowels inside words from the
      // right until it fits.
      {"A NAME TOO LONG,146.52,,,,,,,,FM,,",
       "09 68 21 00 00 00 >ANAMETOOLONG<",
       {"name \"A NAME TOO LONG\" is longer than 12 characters, stored as "
        "\"ANAMETOOLONG\""}},
  };
  std::string csv =
      "Location,Name,Frequency,Tone,rToneFreq,cToneFreq,DtcsCode,"
      "DtcsPolarity,RxDtcsCode,CrossMode,Mode,Skip,Comment\r\n";
  std::string expected;
  for (size_t k = 0; k < cases.size(); ++k) {
    csv += std::to_string(k) + "," + cases[k].row + "\r\n";
    for (const std::string &message : cases[k].warnings)
      expected += warning(message, static_cast<int>(k) + 2);
  }
  ImageBody &image = base_image();
  Stored s = store(csv, into(rows_by_location), false, image);
  EXPECT_TRUE(s.ok);
  EXPECT_EQ(s.err, expected);
  for (size_t k = 0; k < cases.size(); ++k)
    EXPECT_EQ(
        channel(image, static_cast<int>(k) / 50, static_cast<int>(k) % 50),
        cases[k].stored)
        << cases[k].row;
}

TEST(ChannelImport, LocationsGivenTwiceMissingOrRunningOut) {
  struct Case {
    std::string csv;
    int bank;  // -b, or rows_by_location
    bool keep;
    std::vector<std::pair<int, std::string>> channels;  // place, as shown
    std::string warnings;
    long stored, rows;
  };
  std::string many = "Frequency,Name\n";
  for (int i = 0; i < 52; ++i)
    many += "146.52,CH" + std::to_string(i) + "\n";
  const std::string empty = "00 00 01 08 00 00 >            <";
  const std::vector<Case> cases = {
      // An empty Location follows the previous stored row; a Location
      // given again replaces the earlier row; blank rows take no place.
      {"Location,Name,Frequency\n5,A,146.52\n,B,146.53\n5,C,146.54\n"
       ",D,146.55\n,,\n,E,146.56\n",
       rows_by_location,
       false,
       {{5, "09 6C 21 00 00 00 >C           <"},
        {6, "09 6E 21 00 00 00 >D           <"},
        {7, "09 70 21 00 00 00 >E           <"},
        {8, empty}},
       warning("location 5 is given at line 2 too; this row replaces it", 4) +
           warning("location 6 is given at line 3 too; this row replaces it",
                   5),
       3,
       5},
      // A Location that names no channel skips its row.
      {"Location,Name,Frequency\nx,A,146.52\n-1,B,146.53\n500,C,146.54\n"
       "499,D,146.55\n",
       rows_by_location,
       false,
       {{499, "09 6E 21 00 00 00 >D           <"}},
       warning("3 rows are skipped, as their Location is not 0 to 499: the "
               "first",
               2),
       1,
       4},
      // No Location column: the rows fill the banks in order from 0.
      {"Name,Frequency\nA,146.52\nB,10\nC,146.53\n",
       rows_by_location,
       false,
       {{0, "09 68 21 00 00 00 >A           <"},
        {1, "09 6A 21 00 00 00 >C           <"}},
       warning("frequency 10 MHz lies in no band the scanner holds (29 to 636 "
               "MHz and 806 to 1062 MHz), row skipped",
               3),
       2,
       3},
      {"Location,Frequency\n499,146.52\n,146.53\n,146.54\n",
       rows_by_location,
       false,
       {{499, "09 68 21 00 00 00 >            <"}},
       warning("2 rows are left out, as no channel is left after 499: the "
               "first",
               3),
       1,
       3},
      // A bank holds the list: channels after it are emptied, or kept.
      {"Frequency,Name\n146.52,X\n146.53,Y\n",
       2,
       false,
       {{100, "09 68 21 00 00 00 >X           <"},
        {101, "09 6A 21 00 00 00 >Y           <"},
        {102, empty},
        {110, empty}},
       "",
       2,
       2},
      {"Frequency,Name\n146.52,X\n",
       2,
       true,
       {{100, "09 68 21 00 00 00 >X           <"},
        {110, "09 68 21 00 00 00 >KEPT        <"}},
       "",
       1,
       1},
      {many,
       2,
       false,
       {{100, "09 68 21 00 00 00 >CH0         <"},
        {149, "09 68 21 00 00 00 >CH49        <"},
        {150, empty}},
       warning("2 rows are left out, as the bank has no channel left: the "
               "first",
               52),
       50,
       52},
  };
  for (const Case &c : cases) {
    ImageBody &image = base_image();
    memcpy(image.bytes + 2443 * 2 + 18 * 10, "\x09\x68\x21\0\0\0KEPT", 10);
    StoreSummary summary;
    Stored s = store(c.csv, into(c.bank, c.keep), false, image, &summary);
    EXPECT_TRUE(s.ok);
    EXPECT_EQ(s.err, c.warnings) << c.csv;
    EXPECT_EQ(summary.stored, c.stored) << c.csv;
    EXPECT_EQ(summary.rows, c.rows) << c.csv;
    for (const auto &[place, shown] : c.channels)
      EXPECT_EQ(channel(image, place / 50, place % 50), shown) << c.csv;
  }
}

TEST(ChannelImport, ListsThatCannotBeRead) {
  ImageBody &image = base_image();
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"Location,Name\n0,X\n",
       "Error: no Frequency column: the header is none of CHIRP's, "
       "RadioReference's or RepeaterBook's at line 1, file in.csv\n"},
      {"", "Error: no header row at line 1, file in.csv\n"},
      {"\xEF\xBB\xBF", "Error: no header row at line 1, file in.csv\n"},
      {"# notes only\r\r", "Error: no header row at line 3, file in.csv\n"},
  };
  for (const auto &[csv, err] : cases) {
    Stored s = store(csv, into(rows_by_location), false, image);
    EXPECT_FALSE(s.ok);
    EXPECT_EQ(s.err, err);
  }
  // CR line ends count lines; a NUL in a field skips its row.
  Stored s = store(std::string("Frequency,Name\r146.52,A\r146.5\0,B\r", 33),
                   into(rows_by_location), false, image);
  EXPECT_EQ(s.err, warning("a field holds a NUL byte, row skipped", 3));
}

TEST(ChannelImport, TheSummaryLine) {
  StoreSummary summary;
  summary.rows = 153;
  summary.stored = 151;
  for (int b : {0, 1, 2, 3, 5})
    summary.bank_used[b] = true;
  EXPECT_EQ(summary_line(summary, into(rows_by_location), false, false),
            "csvimg: 151 of 153 rows stored in banks 0-3, 5 (2 skipped)");
  summary = StoreSummary();
  summary.rows = summary.stored = 6;
  summary.first_of[7] = 0;
  summary.last_of[7] = 5;
  EXPECT_EQ(summary_line(summary, into(7), false, true),
            "csvimg: 6 of 6 rows would be stored in bank 7 channels 0-5");
  summary = StoreSummary();
  summary.rows = 312;
  summary.stored = 87;
  summary.first = 1;
  summary.last = 87;
  summary.digital = 180;
  summary.unmatched = 43;
  summary.invalid = 2;
  EXPECT_EQ(summary_line(summary, into(4), true, false),
            "csvimg: 87 of 312 rows stored in bank 4 talkgroups 1-87 (180 "
            "digital or encrypted, 43 not matching -m, 2 invalid)");
}

TEST(TalkgroupImport, ListsAsUsersDownloadThem) {
  // Bank 3 is LTR, bank 4 Motorola with block 2 at size code 4 and the
  // other blocks Type II, bank 5 EDACS.  Codes worked by hand: a Type II
  // ID is Decimal / 16; 200-05 is 2 x 512 + 5 x 32 + 31.
  struct Case {
    std::string list;
    int bank;
    std::vector<std::string> matches;
    bool all_modes;
    std::vector<std::string> slots;  // slots 1, 2, ... as shown
    std::string warnings;
    long stored, digital, unmatched, invalid;
  };
  const std::string radioreference =
      "\xEF\xBB\xBF"
      "Decimal,Hex,Alpha Tag,Mode,Description,Tag,Category\r\n"
      "2960,b9,\"PUBLIC WORKS\",A,\"Public Works\",\"Public "
      "Works\",\"City\"\r\n"
      "3008,bc,\"Police \"Main\" Dispatch \",Ae,\"Police Dispatch\","
      "\"Law Dispatch\",\"City\"\r\n"
      "3024,bd,\"DIGITAL\",D,\"Fire Digital\",\"Fire-Tac\",\"County\"\r\n"
      "3040,be,\"ENCRYPTED\",TE,\"Tactical\",\"Law Tac\",\"County\"\r\n"
      "3056 , bf ,\"MIXED   \" ,M,\"Fire Ops\",\"Fire-Talk\",\"County\"\r\n"
      "3072,c1,\"BAD HEX\",A,\"Roads\",\"Public Works\",\"County\"\r\n"
      "3088,,\"\",A,\"Description only\",\"Schools\",\"County\"\r\n"
      "2960,b9,\"AGAIN\",A,\"Public Works\",\"Public Works\",\"City\"\r\n"
      "3104,c2,\"ODD MODE\",Q,\"Water\",\"Utilities\",\"City\"\r\n"
      "200-05,,\"TYPE ONE\",A,\"Fire Main\",\"Fire Dispatch\",\"County\"\r\n"
      "2961,,\"NOT ON 16\",A,\"Parks\",\"Public Works\",\"City\"\r\n"
      "3120,c3,\"PUBLIC WORKS 2\",A,\"Works\",\"Public Works\",\"City\"\r\n";
  const std::vector<Case> cases = {
      {radioreference,
       4,
       {},
       false,
       // Tags too long lose blanks, and the vowels inside words, from the
       // right: what told them apart stays.
       {"00B9 >PUBLIC WORKS<", "00BC >Plc\"Mn\"Dsptc<", "00BF >MIXED       <",
        "00C1 >Descrptnonly<", "04BF >TYPE ONE    <", "00C3 >PUBLICWORKS2<",
        "0000 >            <"},
       warning("alpha tag \"Police \"Main\" Dispatch\" is longer than 12 "
               "characters, stored as \"Plc\"Mn\"Dsptc\"",
               3) +
           warning("Hex c1 does not match Decimal 3072: a Type II ID needs "
                   "Hex x 16 = Decimal, row skipped",
                   7) +
           warning("alpha tag \"Description only\" is longer than 12 "
                   "characters, stored as \"Descrptnonly\"",
                   8) +
           warning("talkgroup 2960 is given at line 2 too; the first is kept, "
                   "row skipped",
                   9) +
           warning("mode Q is not A, D, T or M (with e or E), row skipped",
                   10) +
           warning("Type II ID 2961 is not a multiple of 16, would be stored "
                   "as 2960; row skipped",
                   12) +
           warning("alpha tag \"PUBLIC WORKS 2\" is longer than 12 "
                   "characters, stored as \"PUBLICWORKS2\"",
                   13),
       6,
       2,
       0,
       4},
      // -m chooses by Alpha Tag, Description, Tag or Category, ignoring
      // case; -a keeps digital and encrypted rows.
      {radioreference,
       4,
       {"law dispatch", "FIRE"},
       true,
       {"00BC >Plc\"Mn\"Dsptc<", "00BD >DIGITAL     <", "00BF >MIXED       <",
        "04BF >TYPE ONE    <", "0000 >            <"},
       warning("alpha tag \"Police \"Main\" Dispatch\" is longer than 12 "
               "characters, stored as \"Plc\"Mn\"Dsptc\"",
               3),
       4,
       0,
       8,
       0},
      // op25: ID TAB tag [TAB priority], no header.
      {"2960\tPUBLIC WORKS\t1\n3008\tPOLICE \n\n",
       4,
       {},
       false,
       {"00B9 >PUBLIC WORKS<", "00BC >POLICE      <", "0000 >            <"},
       "",
       2,
       0,
       0,
       0},
      // The form imgcsv -t writes: rows of other banks are passed over.
      {"Bank,Slot,Decimal,ID,Alpha Tag,Skip\n5,1,1234,1234,TROOP A,\n"
       "9,1,77,77,OTHER BANK,\n5,2,5000,5000,TOO BIG,\n"
       "5,3,15,15,MAINTENANCE,S\n",
       5,
       {},
       false,
       {"04D2 >TROOP A     <", "800F >MAINTENANCE <", "0000 >            <"},
       warning("EDACS ID 5000 is outside 0 to 4095, would be stored as 904; "
               "row skipped",
               4) +
           warning("1 rows of other banks are passed over, the first", 3),
       2,
       0,
       0,
       1},
      // EDACS: Hex is Decimal; a blank row is passed over, a NUL byte
      // skips its row.
      {std::string("Decimal,Hex,Alpha Tag,Mode\n1234,4d2,TROOP A,A\n"
                   "1235,4d2,WRONG HEX,A\n1236,4g2,NOT HEX,A\n,,,\n"
                   "1237,4d5,N\0L,A\n15,F,MAINT,A\n",
                   118),
       5,
       {},
       false,
       {"04D2 >TROOP A     <", "000F >MAINT       <", "0000 >            <"},
       warning("Hex 4d2 does not match Decimal 1235: an EDACS ID needs Hex = "
               "Decimal, row skipped",
               3) +
           warning("Hex 4g2 does not match Decimal 1236: an EDACS ID needs "
                   "Hex = Decimal, row skipped",
                   4) +
           warning("a field holds a NUL byte, row skipped", 6),
       2,
       0,
       0,
       3},
      // LTR: AHHUUU or A-HH-UUU; 105023 is area 1, repeater 5, user 23.
      {"Bank,Slot,Decimal,ID,Alpha Tag,Skip\n3,1,,105023,DISPATCH,\n"
       "3,2,,1-05-024,CABS,S\n3,3,,ABC,BAD,\n3,4,,6100-99,WRONG,\n"
       "3,5,,000000,NOTHING,S\n",
       3,
       {},
       false,
       {"2517 >DISPATCH    <", "A518 >CABS        <", "0000 >            <"},
       warning("LTR ID ABC is not AHHUUU or A-HH-UUU; row skipped", 4) +
           warning("LTR ID 6100-99 is not AHHUUU or A-HH-UUU; row skipped", 5) +
           warning("talkgroup ID 000000 would be an empty slot; row skipped",
                   6),
       2,
       0,
       0,
       3},
      // Size code 4 has one fleet in a block: 209-05 would be another
      // block's Type II ID.
      {"Bank,Slot,Decimal,ID,Alpha Tag,Skip\n4,1,,6100-99,WRONG,\n"
       "4,2,,209-05,FLEET NINE,\n4,3,,200-05,FLEET ZERO,\n",
       4,
       {},
       false,
       {"04BF >FLEET ZERO  <", "0000 >            <"},
       warning("Type I ID 6100-99 is not BFFF-S (size code 1) or BFF-SS; row "
               "skipped",
               2) +
           warning("fleet 9 of talkgroup 209-05 Scan is outside 0 to 0 for "
                   "size code S04, would be stored as 27632 Scan; row skipped",
                   3),
       1,
       0,
       0,
       2},
  };
  for (const Case &c : cases) {
    ImageBody &image = base_image();
    StoreOptions options = into(c.bank);
    options.matches = c.matches;
    options.all_modes = c.all_modes;
    StoreSummary summary;
    Stored s = store(c.list, options, true, image, &summary);
    EXPECT_TRUE(s.ok);
    EXPECT_EQ(s.err, c.warnings) << c.list;
    for (size_t t = 0; t < c.slots.size(); ++t)
      EXPECT_EQ(talkgroup(image, c.bank, static_cast<int>(t) + 1), c.slots[t])
          << c.list << " slot " << t + 1;
    EXPECT_EQ(summary.stored, c.stored);
    EXPECT_EQ(summary.digital, c.digital);
    EXPECT_EQ(summary.unmatched, c.unmatched);
    EXPECT_EQ(summary.invalid, c.invalid);
  }
}

TEST(TalkgroupImport, AHundredSlotsAndUnknownForms) {
  ImageBody &image = base_image();
  std::string csv = "Decimal,Alpha Tag\n";
  for (int i = 1; i <= 102; ++i)
    csv += std::to_string(i) + ",TG" + std::to_string(i) + "\n";
  StoreSummary summary;
  Stored s = store(csv, into(5), true, image, &summary);
  EXPECT_EQ(s.err, warning("2 more rows would be stored, but a bank holds 100 "
                           "talkgroups; choose fewer with -m: the first",
                           102));
  EXPECT_EQ(talkgroup(image, 5, 100), "0064 >TG100       <");
  EXPECT_EQ(summary.left_out, 2);
  // -k keeps the bank's own talkgroups after the list.
  memcpy(image.bytes + 2443 * 5 + 1043 + 14 * 2, "\x01\x00OLD", 5);
  store("Decimal,Alpha Tag\n7,NEW\n", into(5, true), true, image);
  EXPECT_EQ(talkgroup(image, 5, 1), "0007 >NEW         <");
  EXPECT_EQ(talkgroup(image, 5, 3), "0001 >OLD         <");
  // DEC is Decimal, as some lists head it.
  s = store("DEC,Alpha Tag\n7,SEVEN\n", into(5), true, image);
  EXPECT_TRUE(s.ok);
  EXPECT_EQ(talkgroup(image, 5, 1), "0007 >SEVEN       <");
  s = store("Number,Name\n1,X\n", into(5), true, image);
  EXPECT_FALSE(s.ok);
  EXPECT_EQ(s.err,
            "Error: the first line is not one of a talkgroup list: a header "
            "with Bank and Slot (imgcsv -t), a header with Decimal "
            "(RadioReference, trunk-recorder), or ID<TAB>tag (op25) at line "
            "1, file in.csv\n");
}

TEST(CsvImg, MessagesSayWhatHappenedToRowsOutOfRange) {
  // Each list of one row, into bank 7 (channels) or a trunked bank; the
  // first warning it gives.
  struct Case {
    std::string csv;
    int talkgroup_bank;  // -1 for a channel list
    std::string first;
  };
  const Case cases[] = {
      // In a band, but nearest a step the band does not have.
      {"Location,Name,Frequency,Mode\n0,A,635.99375,FM\n", -1,
       warning("frequency 635.99375 MHz lies in band 3 (380 to 636 MHz), but "
               "its nearest step, 636.0000 MHz, lies beyond the band's end, "
               "row skipped",
               2)},
      {"Location,Name,Frequency,Mode\n0,A,1061.99375,FM\n", -1,
       warning("frequency 1061.99375 MHz lies in band 4 (806 to 1062 MHz), "
               "but its nearest step, 1062.0000 MHz, lies beyond the band's "
               "end, row skipped",
               2)},
      // An ID beyond an int is shown as given.
      {"Decimal,Alpha Tag,Mode\n99999999999,BIG,A\n", 5,
       warning("number 99999999999 is too large to be read; row skipped", 2) +
           warning("EDACS ID 99999999999 is outside 0 to 4095, would be "
                   "stored as 2047; row skipped",
                   2)},
      // What a row out of range would be stored as is said, an empty slot
      // included.
      {"Decimal,Alpha Tag,Mode\n65536,TOO BIG,A\n", 4,
       warning("Type II ID 65536 is outside 0 to 65520, would be stored as an "
               "empty slot; row skipped",
               2)},
  };
  for (const Case &c : cases) {
    ImageBody &image = base_image();
    StoreOptions options = into(c.talkgroup_bank < 0 ? 7 : c.talkgroup_bank);
    options.all_modes = true;
    Stored s = store(c.csv, options, c.talkgroup_bank >= 0, image);
    EXPECT_EQ(s.err.substr(0, c.first.size()), c.first);
  }
}

namespace {

const char page_header[] =
    "Frequency,License,Type,Tone,Alpha Tag,Description,Mode,Tag\n";

/// A RadioReference page row of a frequency, tone, tag, mode and category.
std::string page_row(const char *frequency, const char *tone, const char *tag,
                     const char *mode, const char *category = "") {
  return std::string(frequency) + ",WQZZ100,BM," + tone + "," + tag +
         ",Made up," + mode + "," + category + "\n";
}

std::string read_example(const char *name) {
  return read_file(std::string(EXAMPLES_DIR) + "/" + name);
}

}  // namespace

TEST(ChannelImport, ListsAsRadioReferenceAndRepeaterBookWriteThem) {
  // Codes worked by hand: 154.13 MHz is 17 MHz and 26 steps of 5 kHz above
  // 137 (11 1A); PL 131.8 is 38 tenths above 128.0, range 5 (26 05); DPL
  // 023 is octal 23, 13 00.  Into bank 7.
  struct Case {
    std::string csv;
    StoreOptions options;
    std::vector<std::string> channels;  // channels 0, 1, ... of bank 7
    std::string first_warning;
    long stored, digital, sites, unmatched;
  };
  StoreOptions into7 = into(7), sheriff = into(7), description = into(7);
  sheriff.matches = {"SHERIFF"};
  description.description_tags = true;
  const std::string county =
      std::string(page_header) +
      page_row("154.1300", "131.8 PL", "Nowhere Co FD 1", "FMN",
               "Fire Dispatch") +
      page_row("155.6100", "023 DPL", "Sheriff", "FMN", "Law Dispatch") +
      page_row("453.9125", "NAC 293", "PD Enc", "P25", "Law Tac") +
      page_row("851.0125", "", "Site", "P25", "TRS") +
      page_row("460.2250", "", "Schools", "DMR", "Schools") +
      page_row("46.1200", "CSQ", "Low Band", "FM", "Fire-Tac");
  const std::string empty = "00 00 01 08 00 00 >            <";
  const Case cases[] = {
      {county,
       into7,
       {"11 1A 22 00 26 05 >Nowhere CFD1<", "12 7A 23 00 13 00 >Sheriff     <",
        "11 18 01 00 00 00 >Low Band    <", empty},
       warning("name \"Nowhere Co FD 1\" is longer than 12 characters, "
               "stored as \"Nowhere CFD1\"",
               2),
       3,
       2,
       1,
       0},
      {county,
       sheriff,
       {"12 7A 23 00 13 00 >Sheriff     <", empty},
       "",
       1,
       0,
       0,
       5},
      {county,
       description,
       {"11 1A 22 00 26 05 >Made up     <", "12 7A 23 00 13 00 >Made up     <"},
       warning("name \"Made up\" is given at line 2 too: the scanner shows "
               "both alike",
               3),
       3,
       2,
       1,
       0},
      // The Premium download, in its older form with one PL Tone; 151.25
      // MHz is 14 MHz and 50 steps up, PL 123.0 206 tenths above 102.4.
      {"Frequency Output,Frequency Input,FCC Callsign,Agency/Category,"
       "Description,Alpha Tag,PL Tone,Mode,Class Station Code,Tag\n"
       "151.2500,,WQZZ901,Forestry,Fire Dispatch,FOREST DISP,123.0 PL,FMN,"
       "FB2,Fire Dispatch\n"
       "158.9850,,WQZZ904,Water,Water Data,Telemetry,,Telm,FX1,Data\n",
       into7,
       {"0E 32 22 00 CE 04 >FOREST DISP <", empty},
       "",
       1,
       1,
       0,
       0},
      // RepeaterBook's download: the offset's mark ends the output
      // frequency; the tag is the call sign.
      {read_example("repeaterbook.csv"),
       into7,
       {"08 22 22 00 E8 03 >W0ZZA       <", "09 BC 21 00 00 00 >W0ZZB       <",
        "0A 3F 23 00 13 00 >K0ZZC       <", "42 00 31 00 00 00 >W0ZZD       <",
        "3E 28 32 00 F9 04 >W0ZZE       <", empty},
       "",
       5,
       0,
       0,
       0},
      // Its free CSV: the Downlink Tone is heard; FM among the modes is
      // received.
      {read_example("repeaterbook_free.csv"),
       into7,
       {"08 22 22 00 E8 03 >W0ZZA       <", "09 BC 21 00 00 00 >W0ZZB       <",
        "40 40 32 00 CE 04 >W0ZZG       <", empty},
       "",
       3,
       1,
       0,
       0},
  };
  for (const Case &c : cases) {
    ImageBody &image = base_image();
    StoreSummary summary;
    Stored s = store(c.csv, c.options, false, image, &summary);
    EXPECT_TRUE(s.ok) << s.err;
    EXPECT_EQ(s.err.substr(0, c.first_warning.size()), c.first_warning);
    for (size_t k = 0; k < c.channels.size(); ++k)
      EXPECT_EQ(channel(image, 7, static_cast<int>(k)), c.channels[k])
          << c.csv.substr(0, 40) << " channel " << k;
    EXPECT_EQ(summary.stored, c.stored);
    EXPECT_EQ(summary.digital, c.digital);
    EXPECT_EQ(summary.trunked_sites, c.sites);
    EXPECT_EQ(summary.unmatched, c.unmatched);
    // The counts add up to the rows.
    EXPECT_LE(summary.stored + summary.digital + summary.trunked_sites +
                  summary.unmatched,
              summary.rows);
  }
}

TEST(ChannelImport, TonesAndModesOfDownloadedLists) {
  // One row at 154.13 MHz each: the tone bytes stored (bytes 3 to 6), or
  // how the row is counted.
  struct Case {
    const char *tone, *mode;
    const char *stored;  // bytes 3 to 6, or the row's fate
  };
  const Case cases[] = {
      {"131.8 PL", "FMN", "22 00 26 05"},
      {"131.8", "NFM", "22 00 26 05"},
      {"023 DPL", "FM", "23 00 13 00"},
      {"D023", "FMW", "23 00 13 00"},
      {"023 DCS", "WFM", "23 00 13 00"},
      {"D023N", "FM", "23 00 13 00"},
      {"CSQ", "FM", "21 00 00 00"},
      {"", "FM", "21 00 00 00"},
      {"0", "FM", "21 00 00 00"},
      {"0.0", "FM", "21 00 00 00"},
      {"67", "FM", "22 00 9E 02"},  // 51.2 Hz + 15.8: range 2, 158 tenths
      {"D023I", "FM", "23 00 13 00"},
      {"D", "FM", "skipped"},
      {"D08", "FM", "skipped"},
      {"", "FM, DMR", "21 00 00 00"},
      {"", "DMR/P25", "digital"},
      {"131.8 PL", "AM", "skipped"},
      {"", "AM", "20 00 00 00"},
      {"NAC 293", "FM", "digital"},
      {"RAN 1", "FM", "digital"},
      {"CC 1", "FM", "digital"},
      {"TG 5", "FM", "digital"},
      {"SL 1", "FM", "digital"},
      {"xyz", "FM", "skipped"},
      {"", "P25", "digital"},
      {"", "P25E", "digital"},
      {"", "Project 25", "digital"},
      {"", "DMR", "digital"},
      {"", "NXDN48", "digital"},
      {"", "NXDN96", "digital"},
      {"", "D-STAR", "digital"},
      {"", "YSF", "digital"},
      {"", "dPMR", "digital"},
      {"", "TETRA", "digital"},
      {"", "Motorola", "digital"},
      {"", "EDACS", "digital"},
      {"", "LTR", "digital"},
      {"", "MPT-1327", "digital"},
      {"", "iDEN", "digital"},
      {"", "Telm", "digital"},
      {"", "USB", "skipped"},
  };
  for (const Case &c : cases) {
    ImageBody &image = base_image();
    StoreSummary summary;
    store(std::string(page_header) + page_row("154.1300", c.tone, "X", c.mode),
          into(7), false, image, &summary);
    std::string got = summary.stored    ? channel(image, 7, 0).substr(6, 11)
                      : summary.digital ? "digital"
                                        : "skipped";
    // An AM channel with a tone keeps its tone and warns; the case says
    // where it differs from FM.
    if (std::string(c.mode) == "AM" && *c.tone)
      got = summary.stored ? "skipped" : got;
    EXPECT_EQ(got, c.stored) << c.tone << " " << c.mode;
  }
}

TEST(ChannelImport, TagsThatStayApartAndBanksFilledInOrder) {
  // Consonants alone lose nothing but what a cut takes; the second is
  // then ended in a number.
  ImageBody &image = base_image();
  Stored s = store(std::string(page_header) +
                       page_row("146.52", "", "BCDFGHJKLMNPQR", "FM") +
                       page_row("146.55", "", "BCDFGHJKLMNPQS", "FM") +
                       page_row("146.58", "", "Fire  Main  Ops  ", "FM"),
                   into(7), false, image);
  EXPECT_EQ(channel(image, 7, 0).substr(18), ">BCDFGHJKLMNP<");
  EXPECT_EQ(channel(image, 7, 1).substr(18), ">BCDFGHJKLMN2<");
  EXPECT_EQ(channel(image, 7, 2).substr(18), ">Fire  ManOps<");
  EXPECT_NE(s.err.find(warning("name \"BCDFGHJKLMNPQS\" would show as line "
                               "2's \"BCDFGHJKLMNPQR\" does: stored as "
                               "\"BCDFGHJKLMN2\"",
                               3)),
            std::string::npos)
      << s.err;
  // 52 rows into banks 2 to 3: bank 2 whole, bank 3 from channel 0, the
  // rest of bank 3 emptied.
  std::string list = "Name,Frequency\n";
  for (int i = 0; i < 52; ++i)
    list += "CH" + std::to_string(i) + ",146.52\n";
  StoreOptions two = into(2);
  two.last_bank = 3;
  ImageBody &banks = base_image();
  memcpy(banks.bytes + 2443 * 3 + 18 * 5, "\x09\x68\x21\0\0\0KEPT", 10);
  StoreSummary summary;
  store(list, two, false, banks, &summary);
  EXPECT_EQ(channel(banks, 2, 49).substr(18), ">CH49        <");
  EXPECT_EQ(channel(banks, 3, 1).substr(18), ">CH51        <");
  EXPECT_EQ(channel(banks, 3, 5), "00 00 01 08 00 00 >            <");
  EXPECT_EQ(summary_line(summary, two, false, false),
            "csvimg: 52 of 52 rows stored in bank 2 channels 0-49, bank 3 "
            "channels 0-1");
}

TEST(TalkgroupImport, ListsRoundTwo) {
  // Bank 5 is EDACS (Decimal is Hex), bank 4 Motorola with Type II blocks
  // but block 2 (Decimal / 16 is the code).
  struct Case {
    std::string list;
    int bank;
    std::vector<std::string> slots;
    std::string warnings;  // their start
    long stored;
  };
  std::string junk = "Decimal,Hex,Alpha Tag,Mode\n";
  for (int id = 101; id <= 110; ++id)
    junk += std::to_string(id) + ",65,TG" + std::to_string(id) + ",A\n";
  std::string p25 = "Decimal,Hex,Alpha Tag,Mode\n";
  for (int id : {100001, 100002, 100003, 2960})
    p25 += std::to_string(id) + ",,P" + std::to_string(id) + ",A\n";
  const Case cases[] = {
      // op25: blanks before the tab of the first line too.
      {"101 \tDISPATCH  \n102\tFIRE\n",
       5,
       {"0065 >DISPATCH    <", "0066 >FIRE        <"},
       "",
       2},
      // A Hex column wrong on all but one in ten rows, or fewer, is junk.
      {junk,
       5,
       {"0065 >TG101       <", "0066 >TG102       <"},
       warning("the Hex column disagrees with Decimal on 9 of the 10 rows "
               "that have both: it is ignored, and Decimal is read, as "
               "trunk-recorder and op25 read it",
               2),
       10},
      // Rows without a header, in the download's order and the page's.
      {"101,65,DISPATCH,A,Made up,Law,City\n102,66,FIRE,A,,,\n",
       5,
       {"0065 >DISPATCH    <", "0066 >FIRE        <"},
       warning("the list has no header line: read as RadioReference's "
               "download (Decimal,Hex,Alpha Tag,Mode,Description,Tag,"
               "Category); a header line would say so",
               1),
       2},
      {"101,65,A,DISPATCH,Made up,Law\n102,66,D,FIRE,,\n",
       5,
       {"0065 >DISPATCH    <", "0000 >            <"},
       warning("the list has no header line: read as RadioReference's web "
               "page (Decimal,Hex,Mode,Alpha Tag,Description,Tag); a header "
               "line would say so",
               1),
       1},
      // Not rows as RadioReference writes them: refused whole.
      {"101,zz,DISPATCH\n", 5, {}, "Error: the first line is not one of", 0},
      {"101\n", 5, {}, "Error: the first line is not one of", 0},
      {"101,65\n102,66\n",
       5,
       {"0065 >            <"},
       warning("the list has no header line: read as RadioReference's "
               "download (Decimal,Hex,Alpha Tag,Mode,Description,Tag,"
               "Category); a header line would say so",
               1),
       2},
      // An LTR bank reads no Hex; a Type II ID agrees with its Hex.
      {"Decimal,Hex,Alpha Tag\n105023,zz,TAXI\n",
       3,
       {"2517 >TAXI        <"},
       "",
       1},
      {"Decimal,Hex,Alpha Tag\n2960,b9,WORKS\n",
       4,
       {"00B9 >WORKS       <"},
       "",
       1},
      // Another system's IDs: one warning first, then one for each reason.
      {p25,
       4,
       {"00B9 >P2960       <"},
       warning("the list does not look like a Motorola system's: 3 of its 4 "
               "IDs (2960 to 100003) cannot be held by a bank of type MOT",
               2) +
           warning("Type II ID 100001 is outside 0 to 65520, would be stored "
                   "as 34464 Scan; row skipped",
                   2),
       1},
      // imgcsv's own form: a bank that is no whole number, a skip in
      // lower case.
      {"Bank,Slot,Decimal,ID,Alpha Tag,Skip\n5,1,15,15,MAINT,s\n"
       "3.0,2,16,16,ODD,\nx,3,17,17,ODD,\n",
       5,
       {"800F >MAINT       <", "0000 >            <"},
       warning("bank \"3.0\" is not a whole number 0 to 9, row skipped", 3) +
           warning("bank \"x\" is not a whole number 0 to 9, row skipped", 4),
       1},
  };
  for (const Case &c : cases) {
    ImageBody &image = base_image();
    StoreSummary summary;
    Stored s = store(c.list, into(c.bank), true, image, &summary);
    EXPECT_EQ(s.err.substr(0, c.warnings.size()), c.warnings) << c.list;
    for (size_t t = 0; t < c.slots.size(); ++t)
      EXPECT_EQ(talkgroup(image, c.bank, static_cast<int>(t) + 1), c.slots[t])
          << c.list;
    EXPECT_EQ(summary.stored, c.stored) << c.list;
  }
  // -m folds the case of Latin-1 letters too; what nothing matched says so.
  ImageBody &image = base_image();
  StoreOptions options = into(5);
  options.matches = {"CAFÉ"};
  StoreSummary summary;
  store("Decimal,Alpha Tag\n101,Café Ops\n102,Other\n", options, true, image,
        &summary);
  EXPECT_EQ(summary.stored, 1);
  EXPECT_EQ(summary.unmatched, 1);
  summary.stored = 0;
  summary.digital = 2;
  EXPECT_EQ(row_counts(summary, true, true),
            "2 digital or encrypted (store them with -a), 1 not matching -m");
}
