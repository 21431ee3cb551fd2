// The image comparer's command line: its operands read as images or
// listings, the last upload found in the journal, and the differences
// printed with diff's exit status.
#include "imgdiff/imgdiff.h"

#include <errno.h>
#include <fcntl.h>
#include <getopt.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
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
/// are in an image file, or as txtimg would write them from a listing.  No
/// more than largest_listing_size bytes are read, nor room made for more.
std::string read_operand(const std::string &name, FILE *err) {
  int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    fprintf(err, "Cannot open %s: %s\n", name.c_str(), strerror(errno));
    throw Trouble{};
  }
  std::string bytes;
  struct stat info;
  bool too_large = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
                   info.st_size > largest_listing_size;
  bool read = !too_large && read_small_file(fd, largest_listing_size, &bytes);
  int error = errno;
  close(fd);
  if (too_large || (!read && error == EFBIG)) {
    fprintf(err, "%s is too large to be an image or a listing\n",
            name.c_str());
    throw Trouble{};
  }
  if (!read) {
    fprintf(err, "Cannot read %s: %s\n", name.c_str(), strerror(error));
    throw Trouble{};
  }
  if (!is_image_name(name.c_str())) {
    FILE *in = bytes.empty()
                   ? fopen("/dev/null", "re")
                   : fmemopen(bytes.data(), bytes.size(), "r");
    static ImageBody image;
    bool listed = in && read_listing(in, name.c_str(), err, image);
    if (in)
      fclose(in);
    if (!listed)
      throw Trouble{};
    std::string file(reinterpret_cast<const char *>(image_header), header_size);
    file.append(reinterpret_cast<const char *>(image.bytes), body_size);
    return file.append(trailer_size, '\0');
  }
  if (bytes.size() >= static_cast<size_t>(header_size) &&
      !is_image_header(reinterpret_cast<const unsigned char *>(bytes.data()))) {
    report_image_read(ImageFileRead::not_an_image, name.c_str(), err, "\n");
    throw Trouble{};
  }
  if (bytes.size() < static_cast<size_t>(header_size + body_size)) {
    fprintf(err, "Cannot read body of %s\n", name.c_str());
    throw Trouble{};
  }
  return bytes;
}

/// One upload as the journal tells it: its begun line, if any, and the
/// line that ended it, if any, by their places in the journal.
struct Upload {
  long begun = -1;
  long ended = -1;
  UploadRecord record;  ///< the end line when there is one
  /// Where the upload stands among the others: where it began.
  long place() const {
    return begun >= 0 ? begun : ended;
  }
};

/// The uploads of the journal, each begun line paired with the line that
/// ends the same upload (same begin time and process); older journals
/// have end lines alone.
std::vector<Upload> uploads_of(const std::vector<UploadRecord> &records) {
  std::vector<Upload> uploads;
  for (size_t i = 0; i < records.size(); ++i) {
    const UploadRecord &r = records[i];
    long at = static_cast<long>(i);
    if (r.outcome == UploadOutcome::begun) {
      uploads.push_back({at, -1, r});
      continue;
    }
    Upload *open = nullptr;
    for (Upload &u : uploads)
      if (u.ended < 0 && r.pid > 0 && u.record.pid == r.pid &&
          u.record.began == r.began)
        open = &u;
    if (open) {
      open->ended = at;
      open->record = r;
    } else {
      uploads.push_back({-1, at, r});
    }
  }
  return uploads;
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
  std::vector<Upload> uploads = uploads_of(records);
  const Upload *done = nullptr;
  for (const Upload &u : uploads)
    if (u.ended >= 0 && u.record.outcome == UploadOutcome::done &&
        (!done || u.ended > done->ended))
      done = &u;
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
              r.outcome == UploadOutcome::failed ? "failed"
                                                 : "was interrupted",
              r.bytes_sent, r.frame_size);
  }
  std::string copy;
  if (!read_image_copy(folder, last.sha256, &copy, &reason)) {
    fprintf(err, "Cannot compare with the last upload: %s\n",
            reason.c_str());
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
      return trouble;
    }
  }
  if (argc - optind != (last ? 1 : 2)) {
    print_usage(err);
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
