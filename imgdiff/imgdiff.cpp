// The image comparer's command line: its operands read as images or
// listings, the last upload found in the journal, and the differences
// printed with diff's exit status.
#include "imgdiff/imgdiff.h"

#include <errno.h>
#include <fcntl.h>
#include <getopt.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "common/files.h"
#include "common/image.h"
#include "common/version.h"
#include "journal/journal.h"
#include "listing/places.h"
#include "listing/reader.h"
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
}

/// Thrown after trouble has been reported.
struct Trouble {};

/// Reads an operand as an image file: header, body and trailer as they
/// are in an image file, or as txtimg would write them from a listing.
std::string read_operand(const std::string &name, FILE *err) {
  if (!is_image_name(name.c_str())) {
    FILE *in = fopen(name.c_str(), "re");
    if (!in) {
      fprintf(err, "Cannot open %s: %s\n", name.c_str(), strerror(errno));
      throw Trouble{};
    }
    static ImageBody image;
    bool read = read_listing(in, name.c_str(), err, image);
    fclose(in);
    if (!read)
      throw Trouble{};
    std::string file(reinterpret_cast<const char *>(image_header), header_size);
    file.append(reinterpret_cast<const char *>(image.bytes), body_size);
    return file.append(trailer_size, '\0');
  }
  int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    fprintf(err, "Cannot open %s: %s\n", name.c_str(), strerror(errno));
    throw Trouble{};
  }
  std::string file;
  char buffer[65536];
  long got;
  while ((got = read_fully(fd, buffer, sizeof buffer)) > 0)
    file.append(buffer, static_cast<size_t>(got));
  int error = errno;
  close(fd);
  if (got < 0) {
    fprintf(err, "Cannot read %s: %s\n", name.c_str(), strerror(error));
    throw Trouble{};
  }
  if (file.size() < static_cast<size_t>(header_size + body_size)) {
    fprintf(err, "Cannot read body of %s\n", name.c_str());
    throw Trouble{};
  }
  return file;
}

/// The kept copy of the image of the last complete upload; says what it
/// is on out, and warns on err when a later upload did not complete.
std::string last_upload(FILE *out, FILE *err) {
  std::string folder = state_folder();
  if (folder.empty()) {
    fprintf(err, "No upload journal: neither XDG_STATE_HOME nor HOME is set\n");
    throw Trouble{};
  }
  std::vector<UploadRecord> records;
  std::string reason;
  if (!read_journal(folder, &records, &reason)) {
    fprintf(err, "No upload journal: %s\n", reason.c_str());
    throw Trouble{};
  }
  const UploadRecord *done = nullptr;
  for (const UploadRecord &record : records)
    if (record.outcome == UploadOutcome::done)
      done = &record;
  if (!done) {
    fprintf(err, "No complete upload in %s\n", journal_path(folder).c_str());
    throw Trouble{};
  }
  fprintf(out, "Comparing with the image uploaded %s to %s (SHA256 %s)\n",
          done->began.c_str(), done->port.c_str(), done->sha256.c_str());
  const UploadRecord &latest = records.back();
  if (latest.outcome != UploadOutcome::done)
    fprintf(
        err,
        "Warning: the upload of %s to %s %s at byte %ld of %ld: the "
        "scanner may hold a partial image since then\n",
        latest.began.c_str(), latest.port.c_str(),
        latest.outcome == UploadOutcome::failed ? "failed" : "was interrupted",
        latest.bytes_sent, latest.frame_size);
  return image_copy_path(folder, done->sha256);
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
      return trouble;
    }
  }
  if (argc - optind != (last ? 1 : 2)) {
    print_usage(err);
    return trouble;
  }
  try {
    std::string old_name = last ? last_upload(out, err) : argv[optind];
    std::string new_name = argv[last ? optind : optind + 1];
    std::string old_file = read_operand(old_name, err);
    std::string new_file = read_operand(new_name, err);
    if (unified) {
      std::string text = unified_diff(
          listing_lines(old_file), listing_lines(new_file), old_name, new_name);
      fputs(text.c_str(), out);
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
