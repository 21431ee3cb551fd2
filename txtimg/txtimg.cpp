// The listing-to-image program: its command line, the file names and the
// image file written at the end.
#include "txtimg/txtimg.h"

#include <errno.h>
#include <fcntl.h>
#include <getopt.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "common/files.h"
#include "common/version.h"
#include "listing/loose.h"
#include "listing/writer.h"

namespace {

void print_usage(FILE *err) {
  fprintf(err, "txtimg [-h] [inputfile] [outputfile.spg]\n");
  fprintf(err, "  -h prints this help message\n");
  fprintf(err, "  inputfile is the ascii source file\n");
  fprintf(err, "          (defaults to %s)\n", default_listing_input);
  fprintf(err, "  outputfile.spg is the binary output file\n");
  fprintf(err, "          (defaults to %s, name must end with .spg)\n",
          default_image_output);
  fprintf(err, "txtimg -c [inputfile]\n");
  fprintf(err, "  -c checks the listing and writes no image\n");
  fprintf(err, "txtimg -f inputfile [outputfile]\n");
  fprintf(err,
          "  -f lays the listing out as imgtxt writes it, from one written "
          "loosely\n");
  fprintf(err, "          (outputfile defaults to inputfile)\n");
  fprintf(err, "  - as a file name is standard input or output\n");
  print_standard_options(err, "\n");
}

/// Prints the count of what a reading found.
void print_counts(FILE *err, int warnings, int errors, const char *input) {
  fprintf(err, "%d warning%s and %d error%s in %s\n", warnings,
          warnings == 1 ? "" : "s", errors, errors == 1 ? "" : "s", input);
}

/// Reads a listing as a conversion does, with the checks before upload,
/// and writes nothing; the exit status.
int check_listing(const char *input, FILE *err) {
  FILE *in = fopen(input_path(input), "re");
  if (!in) {
    fprintf(err, "Cannot open %s\n", input);
    return 1;
  }
  static ImageBody image;
  ListingCounts counts;
  read_listing(in, input, err, image, &counts);
  fclose(in);
  if (counts.warnings == 0 && counts.errors == 0)
    return 0;
  print_counts(err, counts.warnings, counts.errors, input);
  return 1;
}

/// Reads a listing loosely and writes it laid out as imgtxt writes the
/// image it gives: over the input when no output is named, on standard
/// output for "-"; nothing on any error.  The exit status.
int format_listing(const char *input, const char *output, FILE *err) {
  bool from_standard_input = strcmp(input, "-") == 0;
  int fd = from_standard_input ? 0 : open(input, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    fprintf(err, "Cannot open %s\n", input);
    return 1;
  }
  std::string bytes;
  bool read = read_small_file(fd, largest_listing_size, &bytes);
  int error = errno;
  if (!from_standard_input)
    close(fd);
  if (!read) {
    if (error == EFBIG)
      fprintf(err, "%s is too large to be a listing\n", input);
    else
      fprintf(err, "Cannot read %s: %s\n", input, strerror(error));
    return 1;
  }
  static ImageBody image;
  LooseFindings findings = read_loose_listing(bytes, nullptr, image);
  print_loose_findings(err, findings, input);
  if (!findings.list.empty())
    print_counts(err, findings.warnings, findings.errors, input);
  if (findings.errors > 0)
    return 1;
  if (strcmp(output, "-") == 0) {
    write_listing(stdout, image);
    return finish_standard_output(err);
  }
  OutputFile output_file;
  FILE *out = nullptr;
  if (!open_output(output, &output_file) ||
      !(out = fdopen(output_file.fd, "wb"))) {
    if (output_file.fd >= 0)
      discard_output(&output_file);
    report_open_failure(err, "Cannot open", output, output_file, "\n");
    return 1;
  }
  write_listing(out, image);
  if (!commit_output(&output_file, out)) {
    fprintf(err, "Cannot write %s: %s\n", output, strerror(errno));
    return 1;
  }
  return 0;
}

}  // namespace

int run_txtimg(int argc, char **argv, FILE *err) {
  optind = 0;  // lets a caller run more than one command line
  bool check = false, format = false;
  int option;
  while ((option = getopt_long(argc, argv, "hcf", standard_long_options,
                               nullptr)) != -1) {
    int status = answer_standard_option(option, "txtimg", print_usage);
    if (status >= 0)
      return status;
    if (option == 'c') {
      check = true;
    } else if (option == 'f') {
      format = true;
    } else {  // -h, or any unknown option
      print_usage(err);
      if (option != 'h')
        print_try_help(err, "txtimg");
      return 1;
    }
  }
  // More names than the program takes are most likely a glob that matched
  // more files than meant, and the second of them would be overwritten.
  if (argc - optind > (check ? 1 : 2) || (check && format) ||
      (format && optind == argc)) {
    print_usage(err);
    print_try_help(err, "txtimg");
    return 1;
  }
  const char *input = optind < argc ? argv[optind] : default_listing_input;
  const char *output =
      optind + 1 < argc ? argv[optind + 1] : default_image_output;

  if (is_image_name(input)) {
    fprintf(err, "Oops - you're trying to convert a spg file (%s).\n", input);
    fprintf(err, "This program converts an ASCII file to spg.\n");
    fprintf(err, "Use imgtxt to convert spg to ASCII.\n");
    return 1;
  }
  if (check)
    return check_listing(input, err);
  if (format) {
    const char *formatted = optind + 1 < argc ? argv[optind + 1] : input;
    // A listing written over an image would lose the image.
    if (is_image_name(formatted)) {
      fprintf(err,
              "Output file \"%s\" ends in .spg or .SPG; a listing must not "
              "replace an image\n",
              formatted);
      return 1;
    }
    return format_listing(input, formatted, err);
  }
  // One file under two names would have the listing overwritten by the
  // image.
  if (!is_standard_stream(input) && !is_standard_stream(output) &&
      is_same_file(input, output)) {
    fprintf(err, "Input file \"%s\" is the same as output file \"%s\"\n", input,
            output);
    return 1;
  }
  // A file that is not named as an image is most likely a listing given in
  // the wrong place; devices such as /dev/null stay allowed.
  if (!is_image_name(output) && !is_special_output(output) &&
      !is_standard_stream(output)) {
    fprintf(err, "Output file \"%s\" does not end in .spg or .SPG\n", output);
    return 1;
  }
  FILE *in = fopen(input_path(input), "re");
  if (!in) {
    fprintf(err, "Cannot open %s\n", input);
    return 1;
  }
  // The output is made ready before the listing is read, so that a name
  // that cannot be written is named first; it replaces an existing file
  // only once the whole image is on disk.
  OutputFile output_file;
  if (!open_output(output_path(output), &output_file)) {
    report_open_failure(err, "Cannot open", output, output_file, "\n");
    fclose(in);
    return 1;
  }
  static ImageBody image;
  bool done = read_listing(in, input, err, image) &&
              write_image_file(output_file.fd, image, output, err);
  fclose(in);
  if (!done) {
    discard_output(&output_file);
    return 1;
  }
  if (!commit_output(&output_file)) {
    fprintf(err, "Cannot write %s: %s\n", output, strerror(errno));
    return 1;
  }
  return 0;
}
