// The card maker's command line: options, the operand read as imgdiff
// reads it, the journal asked whether this image was the last one sent,
// and the page written whole or not at all.
#include "imgcard/imgcard.h"

#include <errno.h>
#include <getopt.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>

#include "common/files.h"
#include "common/image.h"
#include "common/version.h"
#include "imgcard/card.h"
#include "journal/journal.h"
#include "listing/operand.h"

namespace {

void print_usage(FILE *err) {
  fprintf(err, "imgcard [-h] [-p] [-b banks] image|listing [output.html]\n");
  fprintf(err, "  -h prints this help message\n");
  fprintf(err, "  -p lays the card out in two columns for an A6 card\n");
  fprintf(err, "  -b banks shows only these banks, such as 0,3-5\n");
  fprintf(err,
          "  image|listing is an image file (.spg or .SPG) or a listing,\n"
          "          - is standard input\n");
  fprintf(err,
          "  output.html is the card, one HTML page\n"
          "          (defaults to standard output, as - does)\n");
  print_standard_options(err, "\n");
}

/// True when two names are the same existing file.
bool same_file(const char *one, const char *other) {
  struct stat a, b;
  return stat(one, &a) == 0 && stat(other, &b) == 0 && a.st_dev == b.st_dev &&
         a.st_ino == b.st_ino;
}

/// Writes the card to a named output, whole or not at all; the exit status.
int write_card(const char *name, const std::string &html, FILE *err) {
  OutputFile output;
  if (!open_output(name, &output)) {
    report_open_failure(err, "Cannot open", name, output, "\n");
    return 1;
  }
  if (!write_fully(output.fd, html.data(), static_cast<long>(html.size()))) {
    int error = errno;
    discard_output(&output);
    fprintf(err, "Cannot write %s: %s\n", name, strerror(error));
    return 1;
  }
  if (!commit_output(&output)) {
    fprintf(err, "Cannot write %s: %s\n", name, strerror(errno));
    return 1;
  }
  return 0;
}

}  // namespace

std::string card_date() {
  const char *epoch = getenv("SOURCE_DATE_EPOCH");
  char *end = nullptr;
  long long seconds = epoch ? strtoll(epoch, &end, 10) : 0;
  struct tm when;
  time_t now;
  if (epoch && *epoch != '\0' && *end == '\0' && seconds >= 0) {
    now = static_cast<time_t>(seconds);
    gmtime_r(&now, &when);
  } else {
    now = time(nullptr);
    localtime_r(&now, &when);
  }
  char text[32];
  strftime(text, sizeof text, "%Y-%m-%d", &when);
  return text;
}

std::string upload_note(const std::string &sha256, FILE *err) {
  std::string folder = state_folder();
  struct stat info;
  if (folder.empty() ||
      (lstat(journal_path(folder).c_str(), &info) != 0 && errno == ENOENT))
    return "";
  std::vector<UploadRecord> records;
  std::vector<long> unreadable;
  std::string reason;
  if (!read_journal(folder, &records, &unreadable, &reason)) {
    fprintf(err, "Warning: the upload journal cannot be read: %s\n",
            reason.c_str());
    return "";
  }
  std::vector<Upload> uploads = pair_uploads(records);
  const Upload *done = last_done_upload(uploads);
  if (!done || done->record.sha256 != sha256)
    return "";
  return "as uploaded " + done->record.began + " to " + done->record.port;
}

int run_imgcard(int argc, char **argv, FILE *out, FILE *err) {
  optind = 0;  // lets a caller run more than one command line
  CardLayout layout;
  int option;
  while ((option = getopt_long(argc, argv, "hpb:", standard_long_options,
                               nullptr)) != -1) {
    int status = answer_standard_option(option, "imgcard", print_usage);
    if (status >= 0)
      return status;
    if (option == 'p') {
      layout.pocket = true;
    } else if (option == 'b' && read_bank_list(optarg, layout.banks)) {
      continue;
    } else {
      if (option == 'b')
        fprintf(err,
                "imgcard: banks \"%s\" are not banks 0 to 9 such as 0,3-5\n",
                optarg);
      print_usage(err);  // -h, or any unknown option
      if (option != 'h')
        print_try_help(err, "imgcard");
      return 1;
    }
  }
  int operands = argc - optind;
  if (operands < 1 || operands > 2) {
    print_usage(err);
    print_try_help(err, "imgcard");
    return 1;
  }
  const char *input = argv[optind];
  const char *output = operands == 2 ? argv[optind + 1] : "-";
  bool to_standard_output = strcmp(output, "-") == 0;
  if (!to_standard_output && is_image_name(output)) {
    fprintf(err, "Card \"%s\" ends in .spg: a card is an HTML page\n", output);
    return 1;
  }
  if (!to_standard_output && strcmp(input, "-") != 0 &&
      same_file(input, output)) {
    fprintf(err, "Card \"%s\" is the input %s\n", output, input);
    return 1;
  }
  std::string file;
  if (!read_image_operand(input, err, &file))
    return 1;
  static ImageBody image;
  memcpy(image.bytes, file.data() + header_size, body_size);
  CardHead head;
  head.name = strcmp(input, "-") == 0 ? "standard input" : input;
  head.sha256 = sha256_hex(file);
  head.uploaded = name_text(upload_note(head.sha256, err));
  head.made = card_date();
  std::string html = render_card(image, head, layout);
  if (!to_standard_output)
    return write_card(output, html, err);
  fwrite(html.data(), 1, html.size(), out);
  return finish_standard_output(err);
}
