// The image-to-CSV program: its command line, the image read, and the rows
// of the channel and talkgroup lists.
#include "imgcsv/imgcsv.h"

#include <fcntl.h>
#include <getopt.h>
#include <stdarg.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "common/codes.h"
#include "common/files.h"
#include "common/rules.h"
#include "common/version.h"
#include "csvlist/csvlist.h"

namespace {

/// Reports a warning about a place of the image.
__attribute__((format(printf, 3, 4))) void warn(ListReport &report,
                                                const char *place,
                                                const char *format, ...) {
  char message[256];
  va_list args;
  va_start(args, format);
  vsnprintf(message, sizeof message, format, args);
  va_end(args);
  fprintf(report.err, "Warning: %s at %s, file %s\n", message, place,
          report.name);
  ++report.warnings;
}

/// A tag as a list holds it, with a warning for control bytes.
std::string list_tag(ListReport &report, const char *place,
                     const unsigned char *tag) {
  bool controls;
  std::string text = tag_to_utf8(tag, &controls);
  if (controls)
    warn(report, place,
         "the tag holds control bytes, which a list cannot carry: written as "
         "\"%s\"",
         text.c_str());
  return text;
}

/// The Tone column and the tone or code of a channel, as far as CHIRP's
/// reader takes them; what it does not take is left out with a warning.
const char *chirp_tone(ListReport &report, const char *place,
                       const unsigned char *record, const ChannelView &view,
                       char *tone, char *dcs) {
  if (view.mode == mode_pl) {
    int range = record[5];
    if (range < first_tone_range || range > last_tone_range) {
      warn(report, place,
           "the PL channel holds no tone, written as a channel without one");
      return "";
    }
    double hertz = tone_bases[range] + record[4] * 0.1;
    if (!is_chirp_tone(hertz)) {
      warn(report, place,
           "PL tone %.1f is not one CHIRP takes, written as a channel without "
           "a tone",
           hertz);
      return "";
    }
    snprintf(tone, 16, "%s", trim_blanks(view.tone).c_str());
    return "TSQL";
  }
  if (view.mode == mode_dpl) {
    unsigned code = record[5] * 256u + record[4];
    if (code > highest_chirp_code) {
      warn(report, place,
           "DCS code D%03o is above D777, which CHIRP does not take, written "
           "as a channel without a tone",
           code);
      return "";
    }
    snprintf(dcs, 16, "%03o", code);
    return "DTCS";
  }
  return "";
}

void write_channel_row(FILE *out, ListReport &report, int bank, int channel,
                       const unsigned char *record) {
  char place[48];
  snprintf(place, sizeof place, "bank %d channel %d", bank, channel);
  ChannelView view = decode_channel_code(record, RecordKind::channel);
  int band = (record[2] >> 4) & 7;
  if (band >= known_band_count || view.mode >= known_mode_count) {
    warn(report, place,
         "the channel code %02X %02X %02X %02X %02X %02X holds no frequency, "
         "not written",
         record[0], record[1], record[2], record[3], record[4], record[5]);
    return;
  }
  char location[16], frequency[32], step[16], dcs[16] = "023",
                                              tone[16] = "88.5";
  snprintf(location, sizeof location, "%d", bank * channel_count + channel);
  snprintf(frequency, sizeof frequency, "%.6f", view.frequency);
  snprintf(step, sizeof step, "%.2f", band_table[band].step * 1000.0);
  const char *tone_mode = chirp_tone(report, place, record, view, tone, dcs);
  ChannelComment comment;
  if (view.mode == mode_ltr || view.mode == mode_mot || view.mode == mode_edacs)
    comment.mode = view.mode;
  comment.flag_d = record[3] & flag_d;
  comment.flag_a = record[3] & flag_a;
  char comment_text[64];
  format_channel_comment(comment, comment_text, sizeof comment_text);
  std::string name = list_tag(report, place, record + code_size);
  const char *fields[channel_column_count] = {
      location,
      name.c_str(),
      frequency,
      "",
      "0.000000",
      tone_mode,
      tone,
      tone,
      dcs,
      "NN",
      dcs,
      "Tone->Tone",
      view.mode == mode_am ? "AM" : "FM",
      step,
      record[3] & flag_l ? "S" : "",
      "50W",
      comment_text,
      "",
      "",
      "",
      "",
  };
  write_csv_row(out, fields, channel_column_count);
}

void write_talkgroup_row(FILE *out, ListReport &report, int bank, int slot,
                         int type, const unsigned char *fleet_map,
                         const unsigned char *record) {
  unsigned id = record[0] + 256u * record[1];
  char text[talkgroup_text_size + 1];
  decode_talkgroup(type, id, fleet_map, text);
  bool skip = strstr(text, "Skip") != nullptr;
  std::string shown = text;
  for (const char *word : {"Scan", "Skip"}) {
    size_t at = shown.find(word);
    if (at != std::string::npos)
      shown.erase(at, 4);
  }
  shown = trim_blanks(shown.c_str());
  if (shown.empty())
    return;  // no ID to list
  char bank_text[16], slot_text[16], decimal[16] = "", place[48];
  snprintf(bank_text, sizeof bank_text, "%d", bank);
  snprintf(slot_text, sizeof slot_text, "%d", slot);
  snprintf(place, sizeof place, "bank %d talkgroup %d", bank, slot);
  if (type == bank_type_edacs)
    snprintf(decimal, sizeof decimal, "%u", id & 0xFFF);
  else if (type == bank_type_mot && fleet_map[(id & 0xE00) >> 9] == 0)
    snprintf(decimal, sizeof decimal, "%u", (id & 0xFFF) * 16);
  std::string tag = list_tag(report, place, record + 2);
  const char *fields[talkgroup_column_count] = {bank_text,   slot_text,
                                                decimal,     shown.c_str(),
                                                tag.c_str(), skip ? "S" : ""};
  write_csv_row(out, fields, talkgroup_column_count);
}

void print_usage(FILE *err) {
  fprintf(err, "imgcsv [-h] [-t] [inputfile.spg] [outputfile.csv]\n");
  fprintf(err, "  -h prints this help message\n");
  fprintf(err,
          "  -t writes the talkgroups of the trunked banks, not the "
          "channels\n");
  fprintf(err, "  inputfile.spg is the binary input file\n");
  fprintf(err, "          (defaults to %s, name must end with .spg)\n",
          default_csv_image);
  fprintf(err, "  outputfile.csv is the CSV output file\n");
  fprintf(err, "          (defaults to %s)\n", default_csv_output);
  fprintf(err, "  - as a file name is standard input or output\n");
  print_standard_options(err, "\n");
}

}  // namespace

void write_channel_list(FILE *out, const ImageBody &image, ListReport &report) {
  write_csv_row(out, channel_columns, channel_column_count);
  for (int b = 0; b < bank_count; ++b) {
    for (int k = 0; k < channel_count; ++k) {
      const unsigned char *record = image.bytes + channel_offset(b, k);
      if (!(record[3] & flag_u))
        write_channel_row(out, report, b, k, record);
    }
  }
}

void write_talkgroup_list(FILE *out, const ImageBody &image,
                          ListReport &report) {
  write_csv_row(out, talkgroup_columns, talkgroup_column_count);
  for (int b = 0; b < bank_count; ++b) {
    const unsigned char *bank = image.bytes + bank_base(b);
    int type = bank[bank_type_offset];
    if (type != bank_type_ltr && type != bank_type_mot &&
        type != bank_type_edacs)
      continue;
    for (int slot = 1; slot <= talkgroup_count; ++slot)
      write_talkgroup_row(out, report, b, slot, type, bank + bank_fleet_offset,
                          image.bytes + talkgroup_offset(b, slot));
  }
}

int run_imgcsv(int argc, char **argv, FILE *err) {
  optind = 0;  // lets a caller run more than one command line
  bool talkgroups = false;
  int option;
  while ((option = getopt_long(argc, argv, "ht", standard_long_options,
                               nullptr)) != -1) {
    int status = answer_standard_option(option, "imgcsv", print_usage);
    if (status >= 0)
      return status;
    if (option != 't') {  // -h, or any unknown option
      print_usage(err);
      if (option != 'h')
        print_try_help(err, "imgcsv");
      return 1;
    }
    talkgroups = true;
  }
  // More names than the program takes are most likely a glob.
  if (argc - optind > 2) {
    print_usage(err);
    print_try_help(err, "imgcsv");
    return 1;
  }
  const char *input = optind < argc ? argv[optind] : default_csv_image;
  const char *output =
      optind + 1 < argc ? argv[optind + 1] : default_csv_output;
  if (!is_image_name(input) && !is_standard_stream(input)) {
    fprintf(err, "Input file \"%s\" does not end in .spg or .SPG\n", input);
    return 1;
  }
  if (!is_standard_stream(input) && !is_standard_stream(output) &&
      is_same_file(input, output)) {
    fprintf(err, "Input file \"%s\" is the same as output file \"%s\"\n", input,
            output);
    return 1;
  }
  if (is_image_name(output)) {
    fprintf(err,
            "Output file \"%s\" ends in .spg or .SPG; a list must not "
            "replace an image\n",
            output);
    return 1;
  }
  // The image is read whole before the output is made, so that a file that
  // is not an image leaves nothing behind.
  int fd = open(input_path(input), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    fprintf(err, "Cannot open %s\n", input);
    return 1;
  }
  static ImageBody image;
  ImageFileRead read = read_image_file(fd, image);
  close(fd);
  if (read != ImageFileRead::ok) {
    report_image_read(read, input, err, "\n");
    return 1;
  }
  OutputFile output_file;
  if (!open_output(output_path(output), &output_file)) {
    report_open_failure(err, "Cannot create/open", output, output_file, "\n");
    return 1;
  }
  FILE *out = fdopen(output_file.fd, "wb");
  if (!out) {
    discard_output(&output_file);
    fprintf(err, "Cannot create/open %s\n", output);
    return 1;
  }
  ListReport report = {err, input};
  if (talkgroups)
    write_talkgroup_list(out, image, report);
  else
    write_channel_list(out, image, report);
  if (!commit_output(&output_file, out)) {
    fprintf(err, "Cannot write %s\n", output);
    return 1;
  }
  return 0;
}
