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
#include "listing/writer.h"

namespace {

void print_usage(FILE *err) {
  fprintf(err, "imgtxt [-h] [inputfile.spg] [outputfile]\r\n");
  fprintf(err, "  -h prints this help message\r\n");
  fprintf(err, "  inputfile.spg is the binary input file\r\n");
  fprintf(err, "          (defaults to %s, name must end with .spg)\r\n",
          default_image_input);
  fprintf(err, "  outputfile is the ascii output file\r\n");
  fprintf(err, "          (defaults to %s)\r\n", default_listing_output);
  fprintf(err, "imgtxt -c [inputfile.spg]\r\n");
  fprintf(err, "  -c checks the image file and writes no listing\r\n");
  fprintf(err,
          "  - as inputfile.spg is standard input, as outputfile standard "
          "output\r\n");
  print_standard_options(err, "\r\n");
}

/// Checks an image file before an upload and writes no listing; the exit
/// status.
int check_image(const char *input, FILE *err) {
  int fd = open(input_path(input), O_RDONLY | O_CLOEXEC);
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
      if (option != 'h')
        print_try_help(err, "imgtxt");
      return 1;
    }
    check = true;
  }
  // More names than the program takes are most likely a glob that matched
  // more files than meant, and the second of them would be overwritten.
  if (argc - optind > (check ? 1 : 2)) {
    print_usage(err);
    print_try_help(err, "imgtxt");
    return 1;
  }
  const char *input = optind < argc ? argv[optind] : default_image_input;
  const char *output =
      optind + 1 < argc ? argv[optind + 1] : default_listing_output;

  if (!is_image_name(input) && !is_standard_stream(input)) {
    fprintf(err, "Input file \"%s\" does not end in .spg or .SPG\r\n", input);
    return 1;
  }
  if (check)
    return check_image(input, err);
  // One file under two names would lose the image to its own listing.
  if (!is_standard_stream(input) && !is_standard_stream(output) &&
      is_same_file(input, output)) {
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
  int fd = open(input_path(input), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    fprintf(err, "Cannot open %s\r\n", input);
    return 1;
  }
  // The output is made ready before the image is read, so that a name
  // that cannot be written is named before any work is done; it replaces
  // an existing file only once the whole listing is on disk.
  OutputFile output_file;
  if (!open_output(output_path(output), &output_file)) {
    close(fd);
    report_open_failure(err, "Cannot create/open", output, output_file, "\r\n");
    return 1;
  }
  // A file without the header of an image (a listing renamed, say) would
  // give a listing of garbage.
  static ImageBody image;
  ImageFileRead result = read_image_file(fd, image);
  close(fd);
  if (result != ImageFileRead::ok) {
    discard_output(&output_file);
    report_image_read(result, input, err, "\r\n");
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
