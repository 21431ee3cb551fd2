// The image-to-listing program: its command line, the image read and the
// walk that writes every line of the listing.
#include "imgtxt/imgtxt.h"

#include <fcntl.h>
#include <getopt.h>
#include <string.h>
#include <unistd.h>

#include "common/codes.h"
#include "common/files.h"
#include "common/version.h"
#include "imgtxt/check.h"
#include "listing/listing.h"

namespace {

/// A band count above 100 names rows the band table does not have.
int listed_band_count(const ImageBody &image) {
  int count = image.bytes[band_count_offset];
  return count > band_record_count ? band_record_count : count;
}

void write_lockouts(FILE *out, const ImageBody &image, int b, int search_band) {
  fputs(lockout_header, out);
  for (int slot = 1; slot <= lockout_count; ++slot) {
    const unsigned char *pair = image.bytes + lockout_offset(b, slot);
    double frequency;
    if (decode_lockout(pair, search_band, &frequency))
      write_lockout_line(out, slot, pair, frequency);
  }
  fputs(lockout_footer, out);
  fputs(blank_line, out);
}

void write_talkgroups(FILE *out, const ImageBody &image, int b) {
  fputs(talkgroup_header, out);
  const unsigned char *bank = image.bytes + bank_base(b);
  int type = bank[bank_type_offset];
  const unsigned char *fleet_map = bank + bank_fleet_offset;
  for (int slot = 1; slot <= talkgroup_count; ++slot) {
    const unsigned char *record = image.bytes + talkgroup_offset(b, slot);
    char text[talkgroup_text_size + 1];
    decode_talkgroup(type, record[0] + 256u * record[1], fleet_map, text);
    write_talkgroup_line(out, slot, record, text);
  }
  fputs(talkgroup_footer, out);
  fputs(blank_line, out);
}

void write_bank(FILE *out, const ImageBody &image, int b) {
  const unsigned char *bank = image.bytes + bank_base(b);
  char tag[tag_size + 1];
  copy_plain_text(bank + bank_tag_offset, tag_size, tag);
  int mode_byte = bank[bank_mode_offset];
  int type_byte = bank[bank_type_offset];
  write_bank_header(out, b, tag, bank_type_name(type_byte),
                    decode_mode_offset(mode_byte).word);
  fputs(blank_line, out);
  for (int k = 0; k < channel_count; ++k) {
    const unsigned char *record = image.bytes + channel_offset(b, k);
    write_channel_line(out, k, record,
                       decode_channel_code(record, RecordKind::channel));
  }
  fputs(blank_line, out);

  const unsigned char *search = bank + bank_search_offset;
  write_search_line(out, search,
                    decode_channel_code(search, RecordKind::search));
  int search_band = (search[2] >> 4) & 7;
  const unsigned char *end = bank + bank_search_end_offset;
  write_search_end_line(out, end, decode_search_end(end, search_band));
  fputs(blank_line, out);

  write_bank_info_line(out, b);
  write_bank_tag_line(out, bank + bank_tag_offset);
  write_mode_offset_line(out, mode_byte, decode_mode_offset(mode_byte).text);
  write_bank_type_line(out, type_byte, bank_type_name(type_byte));
  write_fleet_map_line(out, bank + bank_fleet_offset);
  fputs(blank_line, out);
  write_lockouts(out, image, b, search_band);
  write_talkgroups(out, image, b);
}

void write_weather_bank(FILE *out, const ImageBody &image) {
  fputs(weather_header, out);
  fputs(blank_line, out);
  for (int k = 0; k < weather_count; ++k) {
    const unsigned char *record = image.bytes + weather_channel_offset(k);
    write_channel_line(out, k, record,
                       decode_channel_code(record, RecordKind::weather));
  }
  int bands = listed_band_count(image);
  if (bands > 0)
    fputs(band_header, out);
  for (int n = 1; n <= bands; ++n) {
    const unsigned char *record = image.bytes + band_record_offset(n);
    write_band_row(out, n - 1, record, decode_band_code(record));
  }
  fputs(blank_line, out);
}

void print_usage(FILE *err) {
  fprintf(err, "imgtxt [-h] [inputfile.spg] [outputfile]\r\n");
  fprintf(err, "  -h prints this help message\r\n");
  fprintf(err, "  -c checks the image file and writes no listing\r\n");
  fprintf(err, "  inputfile.spg is the binary input file\r\n");
  fprintf(err, "          (defaults to %s, name must end with .spg)\r\n",
          default_image_input);
  fprintf(err, "  outputfile is the ascii output file\r\n");
  fprintf(err, "          (defaults to %s)\r\n", default_listing_output);
}

/// Checks an image file before an upload and writes no listing; the exit
/// status.
int check_image(const char *input, FILE *err) {
  int fd = open(input, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    fprintf(err, "Cannot open %s\r\n", input);
    return 1;
  }
  static unsigned char bytes[image_file_size];
  long count = read_fully(fd, bytes, image_file_size);
  long size = count;
  unsigned char rest[4096];
  long more;
  while (count == image_file_size &&
         (more = read_fully(fd, rest, sizeof rest)) > 0)
    size += more;
  close(fd);
  if (count < 0) {
    fprintf(err, "Cannot read body of %s\r\n", input);
    return 1;
  }
  return check_image_file(bytes, count, size, input, err) == 0 ? 0 : 1;
}

}  // namespace

void write_listing(FILE *out, const ImageBody &image) {
  fputs(version_line, out);
  fputs(instruction_lines, out);
  for (int b = 0; b < bank_count; ++b)
    write_bank(out, image, b);
  write_weather_bank(out, image);

  fputs(message_header, out);
  fputs(blank_line, out);
  for (int j = 1; j <= message_line_count; ++j)
    write_message_line(out, image.bytes + message_line_offset(j));
  fputs(blank_line, out);

  fputs(settings_header, out);
  fputs(blank_line, out);
  write_settings_lines(out, image);
}

int run_imgtxt(int argc, char **argv, FILE *err) {
  optind = 0;  // lets a caller run more than one command line
  bool check = false;
  int option;
  while ((option = getopt_long(argc, argv, "hc", standard_long_options,
                               nullptr)) != -1) {
    int status = answer_standard_option(option, "imgtxt", print_usage);
    if (status >= 0)
      return status;
    if (option != 'c') {  // -h, or any unknown option
      print_usage(err);
      return 1;
    }
    check = true;
  }
  // More names than the program takes are most likely a glob that matched
  // more files than meant, and the second of them would be overwritten.
  if (argc - optind > (check ? 1 : 2)) {
    print_usage(err);
    return 1;
  }
  const char *input = optind < argc ? argv[optind] : default_image_input;
  const char *output =
      optind + 1 < argc ? argv[optind + 1] : default_listing_output;

  if (!is_image_name(input)) {
    fprintf(err, "Input file \"%s\" does not end in .spg or .SPG\r\n", input);
    return 1;
  }
  if (check)
    return check_image(input, err);
  // One file under two names would lose the image to its own listing.
  if (is_same_file(input, output)) {
    fprintf(err, "Input file \"%s\" is the same as output file \"%s\"\r\n",
            input, output);
    return 1;
  }
  // Names swapped by mistake would replace an image with a listing.
  if (is_image_name(output)) {
    fprintf(err,
            "Output file \"%s\" ends in .spg or .SPG; a listing must not "
            "replace an image\r\n",
            output);
    return 1;
  }
  int fd = open(input, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    fprintf(err, "Cannot open %s\r\n", input);
    return 1;
  }
  // The output is made ready before the image is read, so that a name
  // that cannot be written is named before any work is done; it replaces
  // an existing file only once the whole listing is on disk.
  OutputFile output_file;
  if (!open_output(output, &output_file)) {
    close(fd);
    report_open_failure(err, "Cannot create/open", output, output_file, "\r\n");
    return 1;
  }
  static ImageBody image;
  const char *missing = read_image_parts(fd, image);
  close(fd);
  if (missing) {
    discard_output(&output_file);
    fprintf(err, "Cannot read %s of %s\r\n", missing, input);
    return 1;
  }
  FILE *out = fdopen(output_file.fd, "wb");
  if (!out) {
    discard_output(&output_file);
    fprintf(err, "Cannot create/open %s\r\n", output);
    return 1;
  }
  write_listing(out, image);
  if (!commit_output(&output_file, out)) {
    fprintf(err, "Cannot write %s\r\n", output);
    return 1;
  }
  return 0;
}
