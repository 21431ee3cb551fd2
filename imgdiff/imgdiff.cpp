// The image comparer's command line: its operands read as images or
// listings, the last upload found in the journal, and the differences
// printed with diff's exit status.
#include "imgdiff/imgdiff.h"

#include <getopt.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "common/files.h"
#include "common/image.h"
#include "common/version.h"
#include "journal/journal.h"
#include "listing/operand.h"
#include "listing/places.h"
#include "listing/writer.h"

namespace {

constexpr int same = 0, different = 1, trouble = 2;
constexpr int last_option = 0x200;

const struct option long_options[] = {
    {"help", no_argument, nullptr, help_option},
    {"version", no_argument, nullptr, version_option},
    {"last", no_argument, nullptr, last_option},
    {nullptr, 0, nullptr, 0},
};

void print_usage(FILE *err) {
  fprintf(err, "imgdiff [-h] [-u] OLD NEW\n");
  fprintf(err, "imgdiff [-u] --last NEW\n");
  fprintf(err, "  -h prints this help message\n");
  fprintf(err, "  -u prints a unified diff of the two listings\n");
  fprintf(err,
          "  --last compares with the image of the last complete upload\n");
  fprintf(err, "  OLD, NEW are image files (.spg or .SPG) or listings\n");
  fprintf(err, "          (one of them may be -, standard input)\n");
  print_standard_options(err, "\n");
}

/// Thrown after trouble has been reported.
struct Trouble {};

/// Reads an operand as the image file it stands for.
std::string read_operand(const std::string &name, FILE *err) {
  std::string file;
  if (!read_image_operand(name, err, &file))
    throw Trouble{};
  return file;
}

/// Names the journal's lines that cannot be read, with one warning.
void warn_of_unreadable(const std::vector<long> &lines,
                        const std::string &journal, FILE *err) {
  if (lines.empty())
    return;
  std::string numbers;
  for (size_t i = 0; i < lines.size() && i < 20; ++i)
    numbers += (i ? ", " : "") + std::to_string(lines[i]);
  if (lines.size() > 20)
    numbers += " and " + std::to_string(lines.size() - 20) + " more";
  fprintf(err, "Warning: line%s %s of %s cannot be read and %s passed over\n",
          lines.size() == 1 ? "" : "s", numbers.c_str(), journal.c_str(),
          lines.size() == 1 ? "is" : "are");
}

/// The kept copy of the image of the last complete upload, checked against
/// its SHA-256; says what it is on out, and warns on err of every upload
/// after it that may have left a partial image.
std::string last_upload(std::string *name, FILE *out, FILE *err) {
  std::string folder = state_folder();
  if (folder.empty()) {
    fprintf(err,
            "No upload journal: neither XDG_STATE_HOME nor HOME names an "
            "absolute folder\n");
    throw Trouble{};
  }
  std::vector<UploadRecord> records;
  std::vector<long> unreadable;
  std::string reason;
  if (!read_journal(folder, &records, &unreadable, &reason)) {
    fprintf(err, "No upload journal: %s\n", reason.c_str());
    throw Trouble{};
  }
  warn_of_unreadable(unreadable, journal_path(folder), err);
  std::vector<Upload> uploads = pair_uploads(records);
  const Upload *done = last_done_upload(uploads);
  if (!done) {
    fprintf(err, "No complete upload in %s\n", journal_path(folder).c_str());
    throw Trouble{};
  }
  const UploadRecord &last = done->record;
  fprintf(out, "Comparing with the image uploaded %s to %s (SHA256 %s)\n",
          last.began.c_str(), last.port.c_str(), last.sha256.c_str());
  // What began after it, and sent bytes or may have, may have left a part.
  for (const Upload &u : uploads) {
    if (&u == done || u.place() < done->place())
      continue;
    const UploadRecord &r = u.record;
    if (u.ended < 0)
      fprintf(err,
              "Warning: the upload begun %s to %s has no end: the scanner "
              "may hold a partial image\n",
              r.began.c_str(), r.port.c_str());
    else if (r.outcome != UploadOutcome::done && r.bytes_sent > 0)
      fprintf(err,
              "Warning: the upload of %s to %s %s at byte %ld of %ld: the "
              "scanner may hold a partial image since then\n",
              r.began.c_str(), r.port.c_str(),
              r.outcome == UploadOutcome::failed ? "failed" : "was interrupted",
              r.bytes_sent, r.frame_size);
  }
  std::string copy;
  if (!read_image_copy(folder, last.sha256, &copy, &reason)) {
    fprintf(err, "Cannot compare with the last upload: %s\n", reason.c_str());
    throw Trouble{};
  }
  *name = image_copy_path(folder, last.sha256);
  return copy;
}

/// The lines of the listing of an image file's body.
std::vector<std::string> listing_lines(const std::string &file) {
  static ImageBody image;
  memcpy(image.bytes, file.data() + header_size, body_size);
  char *data = nullptr;
  size_t size = 0;
  FILE *out = open_memstream(&data, &size);
  write_listing(out, image);
  fclose(out);
  std::vector<std::string> lines;
  for (size_t at = 0; at < size;) {
    const char *end =
        static_cast<const char *>(memchr(data + at, '\n', size - at));
    size_t next = end ? static_cast<size_t>(end - data) + 1 : size;
    lines.emplace_back(data + at, next - at);
    at = next;
  }
  free(data);
  return lines;
}

}  // namespace

int run_imgdiff(int argc, char **argv, FILE *out, FILE *err) {
  optind = 0;  // lets a caller run more than one command line
  bool unified = false, last = false;
  int option;
  while ((option = getopt_long(argc, argv, "hu", long_options, nullptr)) !=
         -1) {
    int status = answer_standard_option(option, "imgdiff", print_usage);
    if (status >= 0)
      return status == 0 ? same : trouble;
    if (option == 'u') {
      unified = true;
    } else if (option == last_option) {
      last = true;
    } else {
      print_usage(err);  // -h, or any unknown option
      if (option != 'h')
        print_try_help(err, "imgdiff");
      return trouble;
    }
  }
  if (argc - optind != (last ? 1 : 2)) {
    print_usage(err);
    print_try_help(err, "imgdiff");
    return trouble;
  }
  if (!last && strcmp(argv[optind], "-") == 0 &&
      strcmp(argv[optind + 1], "-") == 0) {
    fprintf(err, "Only one of OLD and NEW can be - (standard input)\n");
    return trouble;
  }
  try {
    std::string old_name, old_file;
    if (last)
      old_file = last_upload(&old_name, out, err);
    else
      old_file = read_operand(old_name = argv[optind], err);
    std::string new_name = argv[last ? optind : optind + 1];
    std::string new_file = read_operand(new_name, err);
    if (unified) {
      std::string text = unified_diff(
          listing_lines(old_file), listing_lines(new_file), old_name, new_name);
      // A tag may hold a NUL, which the diff keeps as diff -a does.
      fwrite(text.data(), 1, text.size(), out);
      return finish_standard_output(err) != 0 ? trouble
             : text.empty()                   ? same
                                              : different;
    }
    std::vector<std::string> lines = compare_image_files(old_file, new_file);
    for (const std::string &line : lines)
      fprintf(out, "%s\n", line.c_str());
    if (finish_standard_output(err) != 0)
      return trouble;
    return lines.empty() ? same : different;
  } catch (const Trouble &) {
    return trouble;
  }
}
