// The image file container: the name rule, the byte store and the reads
// and writes of header, body and trailer.
#include "common/image.h"

#include "common/files.h"

#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

bool put_byte(ImageBody &image, int offset, long value, Field) {
  if (offset < 0 || offset >= body_size)
    return false;
  image.bytes[offset] = static_cast<unsigned char>(value & 0xFF);
  return true;
}

bool put_bytes(ImageBody &image, int offset, const void *bytes, int count,
               Field) {
  if (offset < 0 || count < 0 || offset > body_size - count)
    return false;
  memcpy(image.bytes + offset, bytes, static_cast<size_t>(count));
  return true;
}

bool is_image_name(const char *name) {
  const char *dot = strrchr(name, '.');
  return dot && (strcmp(dot, ".spg") == 0 || strcmp(dot, ".SPG") == 0);
}

bool is_same_file(const char *a, const char *b) {
  if (strcmp(a, b) == 0)
    return true;
  struct stat sa, sb;
  return stat(a, &sa) == 0 && stat(b, &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

bool read_image_header(int fd) {
  unsigned char header[header_size];
  return read_fully(fd, header, header_size) == header_size;
}

const char *read_image_parts(int fd, ImageBody &image) {
  if (!read_image_header(fd))
    return "header";
  if (!read_image_body(fd, image))
    return "body";
  return nullptr;
}

ImageFileRead read_image_file(int fd, ImageBody &image) {
  unsigned char header[header_size];
  if (read_fully(fd, header, header_size) != header_size)
    return ImageFileRead::no_header;
  if (!is_image_header(header))
    return ImageFileRead::not_an_image;
  if (!read_image_body(fd, image))
    return ImageFileRead::no_body;
  return ImageFileRead::ok;
}

void report_image_read(ImageFileRead result, const char *name, FILE *err,
                       const char *line_end) {
  if (result == ImageFileRead::no_header)
    fprintf(err, "Cannot read header of %s%s", name, line_end);
  else if (result == ImageFileRead::no_body)
    fprintf(err, "Cannot read body of %s%s", name, line_end);
  else if (result == ImageFileRead::not_an_image)
    fprintf(err,
            "%s is not an image file: it does not start with 02 00 00 00 "
            "00%s",
            name, line_end);
}

bool is_image_header(const unsigned char *header) {
  return memcmp(header, image_header, header_size) == 0;
}

bool seek_image_body(int fd) {
  return lseek(fd, header_size, SEEK_SET) == header_size;
}

bool read_image_body(int fd, ImageBody &image) {
  return read_fully(fd, image.bytes, body_size) == body_size;
}

bool write_image_header(int fd) {
  return write_fully(fd, image_header, header_size);
}

bool write_image_body(int fd, const ImageBody &image) {
  return write_fully(fd, image.bytes, body_size);
}

bool write_image_file(int fd, const ImageBody &image, const char *name,
                      FILE *err) {
  if (!write_image_header(fd)) {
    fprintf(err, "Cannot write header to %s\n", name);
    return false;
  }
  if (!write_image_body(fd, image)) {
    fprintf(err, "Cannot write data to %s\n", name);
    return false;
  }
  if (!write_image_trailer(fd)) {
    fprintf(err, "Cannot write trailer to %s\n", name);
    return false;
  }
  return true;
}

bool write_image_trailer(int fd) {
  static const unsigned char trailer[trailer_size] = {};
  return write_fully(fd, trailer, trailer_size);
}
