// Reading an operand that names an image file or a listing, or is "-".
#include "listing/operand.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/files.h"
#include "common/image.h"
#include "listing/reader.h"

namespace {

/// Reads the operand's bytes whole; false after the trouble is reported.
bool read_operand_bytes(const std::string &name, bool standard_input, FILE *err,
                        std::string *bytes) {
  int fd = standard_input ? 0 : open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    fprintf(err, "Cannot open %s: %s\n", name.c_str(), strerror(errno));
    return false;
  }
  struct stat info;
  bool too_large = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
                   info.st_size > largest_listing_size;
  bool read = !too_large && read_small_file(fd, largest_listing_size, bytes);
  int error = errno;
  if (!standard_input)
    close(fd);
  if (too_large || (!read && error == EFBIG)) {
    fprintf(err, "%s is too large to be an image or a listing\n", name.c_str());
    return false;
  }
  if (!read) {
    fprintf(err, "Cannot read %s: %s\n", name.c_str(), strerror(error));
    return false;
  }
  return true;
}

/// The image file that txtimg would write from a listing's bytes; false
/// after the reader has reported why it cannot.
bool image_of_listing(const std::string &name, std::string &bytes, FILE *err,
                      std::string *file) {
  FILE *in = bytes.empty() ? fopen("/dev/null", "re")
                           : fmemopen(bytes.data(), bytes.size(), "r");
  static ImageBody image;
  bool listed = in && read_listing(in, name.c_str(), err, image);
  if (in)
    fclose(in);
  if (!listed)
    return false;
  file->assign(reinterpret_cast<const char *>(image_header), header_size);
  file->append(reinterpret_cast<const char *>(image.bytes), body_size);
  file->append(trailer_size, '\0');
  return true;
}

}  // namespace

bool read_image_operand(const std::string &name, FILE *err, std::string *file) {
  bool standard_input = name == "-";
  std::string bytes;
  if (!read_operand_bytes(name, standard_input, err, &bytes))
    return false;
  const auto *start = reinterpret_cast<const unsigned char *>(bytes.data());
  bool starts_as_image = bytes.size() >= static_cast<size_t>(header_size) &&
                         is_image_header(start);
  if (standard_input ? !starts_as_image : !is_image_name(name.c_str()))
    return image_of_listing(name, bytes, err, file);
  if (bytes.size() >= static_cast<size_t>(header_size) && !starts_as_image) {
    report_image_read(ImageFileRead::not_an_image, name.c_str(), err, "\n");
    return false;
  }
  if (bytes.size() < static_cast<size_t>(header_size + body_size)) {
    fprintf(err, "Cannot read body of %s\n", name.c_str());
    return false;
  }
  *file = std::move(bytes);
  return true;
}
