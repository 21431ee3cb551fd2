// Helpers the fuzzing harnesses share.  A harness runs many thousand times
// a second: listings are written into and read from buffers kept from run
// to run, so that a run spends its time in the code under test, not in
// growing and freeing memory.
#pragma once

#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <string>

#include "common/image.h"
#include "listing/reader.h"
#include "listing/writer.h"
#include "tests/listing_io.h"

/// The body an input names: its first 26,496 bytes, zero-padded.
inline void body_from_input(const uint8_t *data, size_t size,
                            ImageBody &image) {
  size_t used = size < body_size ? size : body_size;
  memcpy(image.bytes, data, used);
  memset(image.bytes + used, 0, body_size - used);
}

/// A text held in a buffer kept for the whole fuzzing run: a listing of
/// 100 bands and 500 lockouts takes about 230 kB.
struct KeptText {
  char data[1 << 19];
  size_t size = 0;
};

/// Writes the listing of a body into a kept buffer.
inline void write_listing_into(const ImageBody &image, KeptText &text) {
  static char buffer[1 << 16];
  FILE *out = fmemopen(text.data, sizeof text.data, "w");
  setvbuf(out, buffer, _IOFBF, sizeof buffer);
  write_listing(out, image);
  fflush(out);
  text.size = static_cast<size_t>(ftell(out));
  fclose(out);
}

/// Reads a listing from memory, its warnings into a kept buffer; false
/// after a fatal error.
inline bool read_listing_from(const KeptText &text, ImageBody &image,
                              KeptText *warnings = nullptr) {
  static FILE *null_err = fopen("/dev/null", "w");
  FILE *in = fmemopen(const_cast<char *>(text.data), text.size, "r");
  FILE *err = warnings
                  ? fmemopen(warnings->data, sizeof warnings->data - 1, "w")
                  : null_err;
  bool read = read_listing(in, "in.asc", err, image);
  fclose(in);
  if (warnings) {
    fflush(err);
    warnings->size = static_cast<size_t>(ftell(err));
    warnings->data[warnings->size] = '\0';
    fclose(err);
  }
  return read;
}
