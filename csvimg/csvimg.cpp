// The CSV-to-image program: its command line and names, and the rows of a
// channel or talkgroup list stored into a copy of the base image.
#include "csvimg/csvimg.h"

#include <errno.h>
#include <fcntl.h>
#include <getopt.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "common/codes.h"
#include "common/files.h"
#include "common/version.h"
#include "common/rules.h"

namespace {

/// The list being read and where its diagnostics go.
struct List {
  CsvReader &reader;
  const char *name;
  FILE *err;
};

/// Thrown after a fatal error has been reported.
struct ListFatal {};

__attribute__((format(printf, 3, 4))) void warn(List &list, long line,
                                                const char *format, ...) {
  char message[512];
  va_list args;
  va_start(args, format);
  vsnprintf(message, sizeof message, format, args);
  va_end(args);
  fprintf(list.err, "Warning: %s at line %ld, file %s\n", message, line,
          list.name);
}

[[noreturn]] void fail(List &list, long line, const char *message) {
  fprintf(list.err, "Error: %s at line %ld, file %s\n", message, line,
          list.name);
  throw ListFatal{};
}

/// A field without blanks at either end.
std::string trimmed(const char *text) {
  std::string result = text;
  size_t start = result.find_first_not_of(" \t");
  if (start == std::string::npos)
    return "";
  size_t end = result.find_last_not_of(" \t");
  return result.substr(start, end - start + 1);
}

/// Twelve tag characters from a name: cut, with a warning, or padded with
/// blanks.
void make_tag(List &list, long line, const char *what, const char *name,
              char *tag) {
  size_t length = strlen(name);
  if (length > tag_size)
    warn(list, line, "%s \"%s\" is longer than 12 characters, cut to \"%.12s\"",
         what, name, name);
  memset(tag, ' ', tag_size);
  memcpy(tag, name, length < tag_size ? length : tag_size);
}

/// The header row; the end of the list before one is fatal.
CsvRow read_header(List &list) {
  CsvRow header;
  if (!read_csv_row(list.reader, header)) {
    if (list.reader.failed)
      throw ListFatal{};
    fail(list, list.reader.line + 1, "no header row");
  }
  return header;
}

/// Reads a whole number from a field; false unless the field is one.
bool read_integer(const char *text, long *value) {
  std::string field = trimmed(text);
  if (field.empty())
    return false;
  char *end;
  errno = 0;
  *value = strtol(field.c_str(), &end, 10);
  return *end == '\0' && errno == 0;
}

/// The columns of a channel list that are used.
struct ChannelColumns {
  int location, name, frequency, tone, rtone, ctone, dtcs, polarity, mode, skip,
      comment;
};

/// The mode text and the tone text a row gives the channel encoder.
struct ChannelMode {
  char mode[6];
  std::string tone;
};

ChannelMode read_channel_mode(List &list, const CsvRow &row,
                              const ChannelColumns &c) {
  ChannelMode result = {"FM   ", "0.0"};
  std::string mode = trimmed(field_of(row, c.mode));
  bool am = mode == "AM";
  if (am)
    strcpy(result.mode, "AM   ");
  else if (!mode.empty() && mode != "FM" && mode != "NFM" && mode != "WFM")
    warn(list, row.line, "mode %s cannot be stored, stored as FM",
         mode.c_str());

  std::string tone = trimmed(field_of(row, c.tone));
  if (tone == "TSQL") {
    strcpy(result.mode, "PL   ");
    result.tone = trimmed(field_of(row, c.ctone >= 0 ? c.ctone : c.rtone));
  } else if (tone == "DTCS") {
    std::string code = trimmed(field_of(row, c.dtcs));
    if (code.empty() ||
        code.find_first_not_of("01234567") != std::string::npos) {
      warn(list, row.line,
           "DTCS code \"%s\" is not octal digits, no tone is "
           "stored",
           code.c_str());
      return result;
    }
    strcpy(result.mode, "DPL  ");
    result.tone = "D" + code;
    std::string polarity = trimmed(field_of(row, c.polarity));
    if (!polarity.empty() && polarity != "NN")
      warn(list, row.line, "DTCS polarity %s cannot be stored, stored as NN",
           polarity.c_str());
  } else if (!tone.empty() && tone != "Tone") {
    // A transmit tone alone means nothing to a receiver; the others need
    // what the scanner does not have.
    warn(list, row.line, "tone mode %s cannot be stored, no tone is stored",
         tone.c_str());
  }
  if (am && strcmp(result.mode, "AM   ") != 0)
    warn(list, row.line, "an AM channel cannot carry a tone, stored as %.3s",
         result.mode);
  return result;
}

/// Stores one channel row at bank b, channel k.
void store_channel_row(List &list, const CsvRow &row, const ChannelColumns &c,
                       double frequency, int b, int k, ImageBody &image) {
  char tag[tag_size];
  make_tag(list, row.line, "name", field_of(row, c.name), tag);
  ChannelMode mode = read_channel_mode(list, row, c);
  ChannelComment comment = read_channel_comment(field_of(row, c.comment));
  if (comment.mode >= 0) {
    // A trunked channel as imgcsv wrote it: its mode is in the Comment.
    snprintf(mode.mode, sizeof mode.mode, "%s", mode_names[comment.mode]);
    mode.tone = "0.0";
  }
  char flags[5] = "----";
  if (comment.flag_d)
    flags[1] = 'D';
  if (comment.flag_a)
    flags[2] = 'A';
  if (trimmed(field_of(row, c.skip)) == "S")
    flags[3] = 'L';
  Warnings warnings;
  ChannelCode code = encode_channel_code(frequency, mode.mode,
                                         mode.tone.c_str(), flags, warnings);
  for (int i = 0; i < warnings.count; ++i)
    warn(list, row.line, "%s", warnings.text[i]);
  int at = channel_offset(b, k);
  for (int i = 0; i < code_size; ++i)
    put_byte(image, at + i, code.bytes[i], Field::bchan1);
  for (int i = 0; i < tag_size; ++i)
    put_byte(image, at + code_size + i, tag[i], Field::bchan2);
}

/// The talkgroup text of an ID as the listing reader reads it; empty,
/// after a warning, when the ID has no form the bank type takes.
std::string talkgroup_text(List &list, long line, int type,
                           const std::string &id, bool skip) {
  std::string text = id;
  if (type == bank_type_ltr) {
    // AHHUUU, or A-HH-UUU as LTR IDs are often written.
    std::string digits;
    if (id.size() == 8 && id[1] == '-' && id[4] == '-')
      digits = id.substr(0, 1) + id.substr(2, 2) + id.substr(5, 3);
    else
      digits = id;
    if (digits.size() != 6 ||
        digits.find_first_not_of("0123456789") != std::string::npos) {
      warn(list, line, "LTR ID \"%s\" is not AHHUUU or A-HH-UUU, row skipped",
           id.c_str());
      return "";
    }
    text = digits;
  } else if (id.find_first_not_of("0123456789-") != std::string::npos ||
             (type == bank_type_edacs && id.find('-') != std::string::npos)) {
    warn(list, line, "talkgroup ID \"%s\" is not a number, row skipped",
         id.c_str());
    return "";
  }
  return text + (skip ? " Skip" : " Scan");
}

}  // namespace

bool store_channel_list(CsvReader &reader, const char *name, FILE *err,
                        int bank, ImageBody &image) {
  List list = {reader, name, err};
  try {
    CsvRow header = read_header(list);
    ChannelColumns c = {
        find_column(header, {"Location"}),
        find_column(header, {"Name"}),
        find_column(header, {"Frequency"}),
        find_column(header, {"Tone"}),
        find_column(header, {"rToneFreq"}),
        find_column(header, {"cToneFreq"}),
        find_column(header, {"DtcsCode"}),
        find_column(header, {"DtcsPolarity"}),
        find_column(header, {"Mode"}),
        find_column(header, {"Skip"}),
        find_column(header, {"Comment"}),
    };
    if (c.frequency < 0)
      fail(list, header.line, "no Frequency column");
    if (bank == rows_by_location && c.location < 0)
      fail(list, header.line, "no Location column");
    int next = 0;
    CsvRow row;
    while (read_csv_row(reader, row)) {
      int b = bank, k;
      if (bank != rows_by_location) {
        if (next == channel_count)
          warn(list, row.line,
               "more than 50 channels for bank %d, the rest are skipped", bank);
        if (next >= channel_count) {
          ++next;
          continue;
        }
        k = next++;
      } else {
        long location;
        const char *text = field_of(row, c.location);
        if (!read_integer(text, &location) || location < 0 ||
            location >= bank_count * channel_count) {
          warn(list, row.line, "location \"%s\" is not 0 to 499, row skipped",
               text);
          continue;
        }
        b = static_cast<int>(location / channel_count);
        k = static_cast<int>(location % channel_count);
      }
      std::string text = trimmed(field_of(row, c.frequency));
      char *end;
      double frequency = strtod(text.c_str(), &end);
      if (text.empty() || *end != '\0') {
        warn(list, row.line, "frequency \"%s\" is not a number, row skipped",
             text.c_str());
        continue;
      }
      store_channel_row(list, row, c, frequency, b, k, image);
    }
    return !reader.failed;
  } catch (const ListFatal &) {
    return false;
  }
}

bool store_talkgroup_list(CsvReader &reader, const char *name, FILE *err,
                          int bank, ImageBody &image) {
  List list = {reader, name, err};
  const unsigned char *base = image.bytes + bank_base(bank);
  int type = base[bank_type_offset];
  int fleet_map[fleet_block_count];
  for (int i = 0; i < fleet_block_count; ++i)
    fleet_map[i] = base[bank_fleet_offset + i];
  try {
    CsvRow header = read_header(list);
    int id_columns[3] = {find_column(header, {"Decimal"}),
                         find_column(header, {"DEC"}),
                         find_column(header, {"ID"})};
    int tag_column = find_column(header, {"Alpha Tag", "AlphaTag", "Name"});
    int skip_column = find_column(header, {"Skip"});
    // A list of several banks, as imgcsv -t writes it, gives the rows of
    // this bank only.
    int bank_column = find_column(header, {"Bank"});
    long other_banks = 0, first_other = 0;
    if (id_columns[0] < 0 && id_columns[1] < 0 && id_columns[2] < 0)
      fail(list, header.line, "no Decimal, DEC or ID column");
    int slot = 1;
    CsvRow row;
    while (read_csv_row(reader, row)) {
      long row_bank;
      if (read_integer(field_of(row, bank_column), &row_bank) &&
          row_bank != bank) {
        if (other_banks++ == 0)
          first_other = row.line;
        continue;
      }
      std::string id;
      for (int column : id_columns)
        if (id.empty())
          id = trimmed(field_of(row, column));
      if (id.empty()) {
        warn(list, row.line, "row gives no talkgroup ID, row skipped");
        continue;
      }
      if (slot == talkgroup_count + 1)
        warn(list, row.line,
             "more than 100 talkgroups for bank %d, the rest are skipped",
             bank);
      if (slot > talkgroup_count) {
        ++slot;
        continue;
      }
      bool skip = trimmed(field_of(row, skip_column)) == "S";
      std::string text = talkgroup_text(list, row.line, type, id, skip);
      if (text.empty())
        continue;
      unsigned code = encode_talkgroup(type, 0, text.c_str(), fleet_map);
      Findings findings;
      if (text.find('-') == std::string::npos)
        check_numbers_fit(text.c_str(), "d", findings);
      check_talkgroup(type, 0, text.c_str(), fleet_map, code, findings);
      if (findings.count > 0) {
        for (int i = 0; i < findings.count; ++i)
          warn(list, row.line, "%s, row skipped", findings.text[i]);
        continue;
      }
      char tag[tag_size];
      make_tag(list, row.line, "alpha tag", field_of(row, tag_column), tag);
      int at = talkgroup_offset(bank, slot++);
      put_byte(image, at, code & 0xFF, Field::trnk1);
      put_byte(image, at + 1, code >> 8, Field::trnk2);
      for (int i = 0; i < tag_size; ++i)
        put_byte(image, at + 2 + i, tag[i], Field::trnk3);
    }
    if (other_banks > 0)
      warn(list, first_other,
           "%ld rows of other banks are passed over, the first", other_banks);
    return !reader.failed;
  } catch (const ListFatal &) {
    return false;
  }
}

namespace {

void print_usage(FILE *err) {
  fprintf(err,
          "csvimg [-h] [-b bank | -t bank] inputfile.csv baseimage.spg "
          "outputfile.spg\n");
  fprintf(err, "  -h prints this help message\n");
  fprintf(err,
          "  -b bank fills the channels of the bank in file order, not by "
          "Location\n");
  fprintf(err, "  -t bank stores a talkgroup list in the trunked bank\n");
  fprintf(err, "  inputfile.csv is the CSV list to store\n");
  fprintf(err, "  baseimage.spg is the image whose other contents are kept\n");
  fprintf(err,
          "  outputfile.spg is the binary output file (name must end with "
          ".spg)\n");
}

/// A bank number of an option: 0 to 9.
bool read_bank(const char *text, int *bank) {
  long value;
  if (!read_integer(text, &value) || value < 0 || value >= bank_count)
    return false;
  *bank = static_cast<int>(value);
  return true;
}

}  // namespace

int run_csvimg(int argc, char **argv, FILE *err) {
  optind = 0;  // lets a caller run more than one command line
  int bank = rows_by_location;
  bool talkgroups = false, bank_given = false;
  const char *bank_text = nullptr;
  int option;
  while ((option = getopt_long(argc, argv, "hb:t:", standard_long_options,
                               nullptr)) != -1) {
    if (answer_standard_option(option, "csvimg", print_usage))
      return 0;
    if ((option != 'b' && option != 't') || bank_given) {
      print_usage(err);  // -h, an unknown option, or -b and -t twice
      return 1;
    }
    bank_given = true;
    talkgroups = option == 't';
    bank_text = optarg;
  }
  if (argc - optind != 3) {
    print_usage(err);
    return 1;
  }
  if (bank_given && !read_bank(bank_text, &bank)) {
    fprintf(err, "Bank \"%s\" is not 0 to 9\n", bank_text);
    return 1;
  }
  const char *input = argv[optind];
  const char *base_name = argv[optind + 1];
  const char *output = argv[optind + 2];
  if (is_image_name(input)) {
    fprintf(err, "Input file \"%s\" is an image file, not a CSV list\n", input);
    return 1;
  }
  if (!is_image_name(base_name)) {
    fprintf(err, "Base image \"%s\" does not end in .spg or .SPG\n", base_name);
    return 1;
  }
  // Neither the list nor the base image may be replaced by the result.
  for (const char *name : {input, base_name}) {
    if (is_same_file(name, output)) {
      fprintf(err, "Input file \"%s\" is the same as output file \"%s\"\n",
              name, output);
      return 1;
    }
  }
  if (!is_image_name(output) && !is_special_output(output)) {
    fprintf(err, "Output file \"%s\" does not end in .spg or .SPG\n", output);
    return 1;
  }
  FILE *in = fopen(input, "re");
  if (!in) {
    fprintf(err, "Cannot open %s\n", input);
    return 1;
  }
  int base_fd = open(base_name, O_RDONLY | O_CLOEXEC);
  if (base_fd < 0) {
    fprintf(err, "Cannot open %s\n", base_name);
    fclose(in);
    return 1;
  }
  static ImageBody image;
  const char *missing = read_image_parts(base_fd, image);
  close(base_fd);
  if (missing) {
    fprintf(err, "Cannot read %s of %s\n", missing, base_name);
    fclose(in);
    return 1;
  }
  if (talkgroups) {
    int type = image.bytes[bank_base(bank) + bank_type_offset];
    if (type != bank_type_ltr && type != bank_type_mot &&
        type != bank_type_edacs) {
      fprintf(err, "Bank %d of %s is not a trunked bank: its type is %s\n",
              bank, base_name, bank_type_name(type));
      fclose(in);
      return 1;
    }
  }
  OutputFile output_file;
  if (!open_output(output, &output_file)) {
    fprintf(err, "Cannot open %s\n", output);
    fclose(in);
    return 1;
  }
  CsvReader reader;
  bool stored = open_csv_reader(reader, in);
  if (stored) {
    stored = talkgroups ? store_talkgroup_list(reader, input, err, bank, image)
                        : store_channel_list(reader, input, err, bank, image);
    if (reader.failed)
      fprintf(err, "Cannot read %s: %s\n", input, strerror(reader.error));
    close_csv_reader(reader);
  }
  fclose(in);
  if (!stored || !write_image_file(output_file.fd, image, output, err)) {
    discard_output(&output_file);
    return 1;
  }
  if (!commit_output(&output_file)) {
    fprintf(err, "Cannot write %s: %s\n", output, strerror(errno));
    return 1;
  }
  return 0;
}
