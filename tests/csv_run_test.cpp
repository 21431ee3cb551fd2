// The CSV programs run as processes: names and operands, whole outputs, a
// round trip through a channel list, and CHIRP's own CSV reader and writer
// where the chirp package is installed.
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/generated_image.h"
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

/// An image file whose channels are all empty (flag U, blank tags).
std::string blank_image_file() {
  std::string file(32773, '\0');
  file[0] = 2;
  for (int b = 0; b < 10; ++b)
    for (int k = 0; k < 50; ++k) {
      size_t at =
          5 + 2443 * static_cast<size_t>(b) + 18 * static_cast<size_t>(k);
      file[at + 2] = 1;
      file[at + 3] = 8;
      file.replace(at + 6, 12, 12, ' ');
    }
  return file;
}

const char chirp_python[] = "/usr/bin/python3";

/// True when CHIRP's CSV driver can be imported.
bool have_chirp() {
  if (access(chirp_python, X_OK) != 0)
    return false;
  TempDir dir;
  ProcessResult r = run_process(
      {chirp_python, "-c", "import chirp.drivers.generic_csv"}, dir.path);
  return r.status == 0;
}

std::string chirp_script() {
  return std::string(TESTS_DIR) + "/chirp_csv.py";
}

}  // namespace

TEST(ImgcsvCommandLine, NamesOperandsAndOutputs) {
  TempDir dir;
  write_file(dir.file("zer92.spg"), read_file(example("sample.spg")));
  ProcessResult r = run("imgcsv", {}, dir);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read_file(dir.file("zer92.csv")).substr(0, 9), "Location,");
  r = run("imgcsv", {"-t", "zer92.spg", "tg.csv"}, dir);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read_file(dir.file("tg.csv")).substr(0, 10), "Bank,Slot,");

  r = run("imgcsv", {"a.spg", "b.csv", "c.csv"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(
      r.err.rfind("imgcsv [-h] [-t] [inputfile.spg] [outputfile.csv]\n", 0),
      0u);
  r = run("imgcsv", {"zer92.csv", "x.csv"}, dir);
  EXPECT_EQ(r.err, "Input file \"zer92.csv\" does not end in .spg or .SPG\n");
  r = run("imgcsv", {"zer92.spg", "other.spg"}, dir);
  EXPECT_EQ(r.err,
            "Output file \"other.spg\" ends in .spg or .SPG; a list must not "
            "replace an image\n");
  r = run("imgcsv", {"zer92.spg", "zer92.spg"}, dir);
  EXPECT_EQ(r.err,
            "Input file \"zer92.spg\" is the same as output file "
            "\"zer92.spg\"\n");
  write_file(dir.file("short.spg"), std::string("\x02\0\0\0\0", 5));
  write_file(dir.file("keep.csv"), "my list\r\n");
  r = run("imgcsv", {"short.spg", "keep.csv"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Cannot read body of short.spg\n");
  EXPECT_EQ(read_file(dir.file("keep.csv")), "my list\r\n");
  r = run("imgcsv", {"none.spg", "keep.csv"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Cannot open none.spg\n");
  EXPECT_EQ(files_in(dir.path),
            (std::vector<std::string>{"keep.csv", "short.spg", "tg.csv",
                                      "zer92.csv", "zer92.spg"}));
}

TEST(CsvimgCommandLine, NamesOperandsAndOutputs) {
  TempDir dir;
  write_file(dir.file("base.spg"), read_file(example("sample.spg")));
  write_file(dir.file("list.csv"), "Location,Frequency\n0,146.52\n");
  ProcessResult r = run("csvimg", {"list.csv", "base.spg"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.rfind("csvimg [-h] [-c] [-k] [-a] [-d] [-m text]... "
                        "[-b bank[-last] | -t bank] inputfile.csv "
                        "baseimage.spg [outputfile.spg]\n",
                        0),
            0u);
  EXPECT_EQ(r.err.substr(r.err.size() - 42),
            "Try 'csvimg --help' for more information.\n");
  r = run("csvimg", {"-b", "1", "-t", "3", "list.csv", "base.spg", "o.spg"},
          dir);
  EXPECT_EQ(r.status, 1);
  r = run("csvimg", {"-b", "10", "list.csv", "base.spg", "o.spg"}, dir);
  EXPECT_EQ(r.err, "Bank \"10\" is not 0 to 9, nor a range such as 2-5\n");
  r = run("csvimg", {"list.csv", "base.spg", "out.csv"}, dir);
  EXPECT_EQ(r.err, "Output file \"out.csv\" does not end in .spg or .SPG\n");
  r = run("csvimg", {"list.csv", "base.spg", "base.spg"}, dir);
  EXPECT_EQ(r.err,
            "Input file \"base.spg\" is the same as output file "
            "\"base.spg\"\n");
  r = run("csvimg", {"base.spg", "base.spg", "o.spg"}, dir);
  EXPECT_EQ(r.err,
            "Input file \"base.spg\" is an image file, not a CSV list\n");
  r = run("csvimg", {"-t", "0", "list.csv", "base.spg", "o.spg"}, dir);
  EXPECT_EQ(r.err,
            "Bank 0 of base.spg is not a trunked bank: its type is Conv \n");
  // A fatal error leaves no output.
  write_file(dir.file("bad.csv"), "Name\nX\n");
  r = run("csvimg", {"bad.csv", "base.spg", "o.spg"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "Error: no Frequency column: the header is none of CHIRP's, "
            "RadioReference's or RepeaterBook's at line 1, file bad.csv\n");
  EXPECT_EQ(files_in(dir.path),
            (std::vector<std::string>{"bad.csv", "base.spg", "list.csv"}));

  r = run("csvimg", {"list.csv", "base.spg", "o.spg"}, dir);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "csvimg: 1 of 1 rows stored in bank 0\n");
  std::string made = read_file(dir.file("o.spg"));
  ASSERT_EQ(made.size(), 32773u);
  EXPECT_EQ(made.substr(5, 6), std::string("\x09\x68\x21\0\0\0", 6));
  EXPECT_TRUE(made.substr(23) == read_file(dir.file("base.spg")).substr(23));
}

TEST(CsvimgCommandLine, ChecksStoresNothingOrRefusesWhatIsNoImage) {
  TempDir dir;
  std::string base = read_file(example("sample.spg"));
  write_file(dir.file("base.spg"), base);
  write_file(dir.file("list.csv"),
             "Location,Frequency,Mode\n0,146.52,FM\n1,151.1375,FM\n"
             "2,146.52,DMR\n");
  write_file(dir.file("good.csv"), "Frequency\n146.52\n");
  write_file(dir.file("none.csv"), "Frequency,Mode\n146.52,DV\n");
  write_file(dir.file("tg.csv"), "Decimal,Alpha Tag\n2960,PW\n");
  write_file(dir.file("text.spg"), std::string(26501, 'x'));
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string err;
  };
  const std::vector<Case> cases = {
      // -c: every warning, the summary and a count; nothing is written.
      {{"-c", "list.csv", "base.spg"},
       1,
       "Warning: frequency 151.1375 is not on the 0.005 MHz step, stored as "
       "151.1400 at line 3, file list.csv\n"
       "Warning: mode DMR cannot be received by the scanner (FM and AM "
       "only), row skipped at line 4, file list.csv\n"
       "csvimg: 2 of 3 rows would be stored in bank 0 (1 skipped)\n"
       "2 warnings and 0 errors in list.csv\n"},
      {{"-c", "good.csv", "base.spg"},
       0,
       "csvimg: 1 of 1 rows would be stored in bank 0\n"
       "0 warnings and 0 errors in good.csv\n"},
      {{"-c", "good.csv", "base.spg", "o.spg"}, 1, ""},
      {{"-a", "good.csv", "base.spg", "o.spg"},
       1,
       "Option -a chooses talkgroups: it needs -t bank\n"},
      // A run that stores nothing fails and writes nothing.
      {{"none.csv", "base.spg", "o.spg"},
       1,
       "Warning: mode DV cannot be received by the scanner (FM and AM only), "
       "row skipped at line 2, file none.csv\n"
       "No row of none.csv was stored: 1 skipped\n"},
      {{"-c", "-k", "good.csv", "base.spg"},
       0,
       "csvimg: 1 of 1 rows would be stored in bank 0\n"
       "0 warnings and 0 errors in good.csv\n"},
      {{"-c", "-t", "4", "tg.csv", "base.spg"},
       0,
       "csvimg: 1 of 1 rows would be stored in bank 4 talkgroups 1\n"
       "0 warnings and 0 errors in tg.csv\n"},
      {{"-c", "-t", "3", "good.csv", "base.spg"},
       1,
       "Error: the first line is not one of a talkgroup list: a header with "
       "Bank and Slot (imgcsv -t), a header with Decimal (RadioReference, "
       "trunk-recorder), or ID<TAB>tag (op25) at line 1, file good.csv\n"
       "0 warnings and 1 error in good.csv\n"},
      // -m chooses channels too, in their names and comments.
      {{"-m", "FIRE", "good.csv", "base.spg", "o.spg"},
       1,
       "No row of good.csv was stored: 1 not matching -m\n"},
      {{"-t", "x", "good.csv", "base.spg", "o.spg"},
       1,
       "Bank \"x\" is not 0 to 9\n"},
      {{"nothere.csv", "base.spg", "o.spg"}, 1, "Cannot open nothere.csv\n"},
      {{"good.csv", "missing.spg", "o.spg"}, 1, "Cannot open missing.spg\n"},
      {{"good.csv", "base.txt", "o.spg"},
       1,
       "Base image \"base.txt\" does not end in .spg or .SPG\n"},
      // A base image must carry the image header.
      {{"good.csv", "text.spg", "o.spg"},
       1,
       "text.spg is not an image file: it does not start with 02 00 00 00 "
       "00\n"},
  };
  for (const Case &c : cases) {
    ProcessResult r = run("csvimg", c.args, dir);
    EXPECT_EQ(r.status, c.status) << c.args[1];
    if (!c.err.empty()) {
      EXPECT_EQ(r.err, c.err) << c.args[1];
    }
    EXPECT_FALSE(file_exists(dir.file("o.spg")));
  }
  ProcessResult r = run("imgcsv", {"text.spg", "out.csv"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "text.spg is not an image file: it does not start with 02 00 00 "
            "00 00\n");
  EXPECT_FALSE(file_exists(dir.file("out.csv")));
}

/// The places ("bank B channel K") that warnings of imgcsv name, and
/// those of csvimg's warnings, by the Location of the row at their line.
std::set<std::string> warned_places(const std::string &imgcsv_err,
                                    const std::string &csvimg_err,
                                    const std::string &list) {
  std::set<std::string> places;
  std::istringstream lines(imgcsv_err);
  std::string line;
  while (std::getline(lines, line)) {
    size_t at = line.find(" at bank ");
    if (at != std::string::npos)
      places.insert(line.substr(at + 4, line.find(',', at) - at - 4));
  }
  std::vector<std::string> rows;
  std::istringstream list_lines(list);
  while (std::getline(list_lines, line))
    rows.push_back(line);
  std::istringstream errors(csvimg_err);
  while (std::getline(errors, line)) {
    size_t at = line.rfind(" at line ");
    if (at == std::string::npos)
      continue;
    size_t row = std::stoul(line.substr(at + 9)) - 1;
    int location = std::stoi(rows.at(row));
    places.insert("bank " + std::to_string(location / 50) + " channel " +
                  std::to_string(location % 50));
  }
  return places;
}

TEST(CsvRoundTrip, ChannelsComeBackThroughAListOrAreWarnedOf) {
  // Images with tags of any byte a list can carry: every channel record of
  // banks 0 to 9 comes back byte for byte, or a warning names it.  The
  // empty channels are the blank base's own.
  for (unsigned seed = 1; seed <= 12; ++seed) {
    TempDir dir;
    static ImageBody image;
    generate_image(seed, image);
    for (int b = 0; b < 10; ++b)
      for (int k = 0; k < 50; ++k) {
        unsigned char *record = image.bytes + 2443 * b + 18 * k;
        if (record[3] & 8) {
          memcpy(record, "\0\0\x01\x08\0\0", 6);
          memset(record + 6, ' ', 12);
          continue;
        }
        int length = (b * 7 + k) % 13;
        for (int i = 0; i < 12; ++i) {
          int c =
              0x20 + (b * 97 + k * 31 + i * 13 + static_cast<int>(seed)) % 0xE0;
          record[6 + i] = static_cast<unsigned char>(i >= length ? ' '
                                                     : c == 0x7F ? 'x'
                                                                 : c);
        }
      }
    std::string file("\x02\0\0\0\0", 5);
    file.append(reinterpret_cast<const char *>(image.bytes), body_size);
    file.append(trailer_size, '\0');
    write_file(dir.file("image.spg"), file);
    write_file(dir.file("blank.spg"), blank_image_file());
    ProcessResult out = run("imgcsv", {"image.spg", "list.csv"}, dir);
    ASSERT_EQ(out.status, 0) << out.err;
    ProcessResult in =
        run("csvimg", {"list.csv", "blank.spg", "back.spg"}, dir);
    ASSERT_EQ(in.status, 0) << in.err;
    std::set<std::string> warned =
        warned_places(out.err, in.err, read_file(dir.file("list.csv")));
    std::string back = read_file(dir.file("back.spg"));
    int exact = 0;
    for (int b = 0; b < 10; ++b)
      for (int k = 0; k < 50; ++k) {
        size_t at =
            5 + 2443 * static_cast<size_t>(b) + 18 * static_cast<size_t>(k);
        std::string place =
            "bank " + std::to_string(b) + " channel " + std::to_string(k);
        bool same = back.compare(at, 18, file, at, 18) == 0;
        exact += same;
        EXPECT_TRUE(same || warned.count(place)) << "seed " << seed << place;
      }
    EXPECT_GT(exact, 250) << "seed " << seed;
  }
}

TEST(CsvWithChirp, ChirpReadsTheListAndWritesOneThatImports) {
  if (!have_chirp())
    GTEST_SKIP() << "CHIRP's CSV driver is not installed";
  TempDir dir;
  ProcessResult r = run("imgcsv", {example("sample.spg"), "list.csv"}, dir);
  ASSERT_EQ(r.status, 0) << r.err;
  r = run_process({chirp_python, chirp_script(), "load", "list.csv"}, dir.path);
  ASSERT_EQ(r.status, 0) << r.err;
  // CHIRP's reading of some of the sample's channels, as the listing shows
  // them: number, name, frequency in Hz, tone mode, tones, DCS code, mode,
  // step, skip and comment.
  for (const char *line : {
           "0|COUNTY FIRE|154430000|TSQL|123.0|123.0|023|NN|FM|5.00||\n",
           "1|STATE MUTUAL|155475000||88.5|88.5|023|NN|FM|5.00||\n",
           "5|SHERIFF 2|154725000|DTCS|88.5|88.5|754|NN|FM|5.00||flags=D\n",
           "7|JAIL OPS|460400000||88.5|88.5|023|NN|FM|12.50|S|\n",
           "150|TAXI RPT 1|453500000||88.5|88.5|023|NN|FM|12.50||mode=LTR\n",
       })
    EXPECT_NE(r.out.find(line), std::string::npos) << line;
  EXPECT_EQ(r.out.find("error:"), std::string::npos) << r.out;
  std::string list = read_file(dir.file("list.csv"));
  size_t rows = 0;
  for (char c : list)
    rows += c == '\n';
  size_t channels = 0;
  for (char c : r.out)
    channels += c == '\n';
  EXPECT_EQ(channels, rows - 1);

  r = run_process({chirp_python, chirp_script(), "save", "chirp.csv"},
                  dir.path);
  ASSERT_EQ(r.status, 0) << r.err;
  write_file(dir.file("blank.spg"), blank_image_file());
  r = run("csvimg", {"chirp.csv", "blank.spg", "out.spg"}, dir);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "csvimg: 4 of 4 rows stored in bank 0\n");
  std::string image = read_file(dir.file("out.spg"));
  // Worked by hand: 146.52 FM; 147.33 with a 146.2 Hz tone; 442.1 with
  // DCS 023; 121.5 AM, skipped.
  EXPECT_EQ(image.substr(5, 18),
            std::string("\x09\x68\x21\0\0\0CALL        ", 18));
  EXPECT_EQ(image.substr(5 + 18, 18),
            std::string("\x0A\x42\x22\0\xB6\x05K2XYZ RPT   ", 18));
  EXPECT_EQ(image.substr(5 + 36, 18),
            std::string("\x3E\x08\x33\0\x13\0UHF DCS     ", 18));
  EXPECT_EQ(image.substr(5 + 54, 18),
            std::string("\x0D\x28\x10\x01\0\0TOWER       ", 18));
}

TEST(CsvWithChirp, ChirpReadsEveryRowOfAnyImagesList) {
  if (!have_chirp())
    GTEST_SKIP() << "CHIRP's CSV driver is not installed";
  // Generated images hold tags of any byte, tones and codes CHIRP does not
  // take: each row written must load, none dropped.
  for (unsigned seed = 21; seed <= 24; ++seed) {
    TempDir dir;
    static ImageBody image;
    generate_image(seed, image);
    std::string file("\x02\0\0\0\0", 5);
    file.append(reinterpret_cast<const char *>(image.bytes), body_size);
    file.append(trailer_size, '\0');
    write_file(dir.file("image.spg"), file);
    ProcessResult r = run("imgcsv", {"image.spg", "list.csv"}, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    std::string list = read_file(dir.file("list.csv"));
    size_t rows = 0;
    for (char c : list)
      rows += c == '\n';
    r = run_process({chirp_python, chirp_script(), "load", "list.csv"},
                    dir.path);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find("error:"), std::string::npos) << r.out;
    size_t channels = 0;
    for (char c : r.out)
      channels += c == '\n';
    EXPECT_EQ(channels, rows - 1) << "seed " << seed;
  }
}
