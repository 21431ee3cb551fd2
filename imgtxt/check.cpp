// The check of an image file: its length, header and trailer, and every
// finding of its body's values.
#include "imgtxt/check.h"

#include <stdarg.h>
#include <string.h>

#include "common/image_check.h"

namespace {

/// Where the problems go, and how many there were.
struct Report {
  const char *name;
  FILE *err;
  int count;
};

__attribute__((format(printf, 3, 4))) void problem(Report &report,
                                                   const char *where,
                                                   const char *format, ...) {
  char message[256];
  va_list args;
  va_start(args, format);
  vsnprintf(message, sizeof message, format, args);
  va_end(args);
  fprintf(report.err, "%s: %s: %s\r\n", report.name, where, message);
  ++report.count;
}

/// Names every finding of an image body's values.
int check_body(Report &report, const ImageBody &image) {
  for (const ImageFinding &f : check_image_values(image))
    problem(report, f.where.c_str(), "%s", f.text.c_str());
  return report.count;
}

}  // namespace

int check_image_body(const ImageBody &image, const char *name, FILE *err) {
  Report report = {name, err, 0};
  return check_body(report, image);
}

int check_image_file(const unsigned char *bytes, long count, long file_size,
                     const char *name, FILE *err) {
  Report report = {name, err, 0};
  if (file_size != image_file_size)
    problem(report, "file", "%ld bytes, not %d", file_size, image_file_size);
  if (count < header_size + body_size) {
    problem(report, "file", "too short to hold the header and the body");
    return report.count;
  }
  if (!is_image_header(bytes))
    problem(report, "header", "%02X %02X %02X %02X %02X, not 02 00 00 00 00",
            bytes[0], bytes[1], bytes[2], bytes[3], bytes[4]);
  for (long at = header_size + body_size; at < count; ++at) {
    if (bytes[at] != 0) {
      char where[48];
      snprintf(where, sizeof where, "trailer at file offset %ld", at);
      problem(report, where, "byte %02X, not 00", bytes[at]);
      break;
    }
  }
  static ImageBody image;
  memcpy(image.bytes, bytes + header_size, body_size);
  return check_body(report, image);
}
