// Helpers the fuzzing harnesses share.
#pragma once

#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <string>

#include "common/image.h"

/// A stream that discards what is written to it.
inline FILE *discard_stream() {
  static FILE *null_stream = fopen("/dev/null", "w");
  return null_stream;
}

/// The body an input names: its first 26,496 bytes, zero-padded.
inline void body_from_input(const uint8_t *data, size_t size,
                            ImageBody &image) {
  size_t used = size < body_size ? size : body_size;
  memcpy(image.bytes, data, used);
  memset(image.bytes + used, 0, body_size - used);
}

/// The listing of a body, as written.
std::string listing_text(const ImageBody &image);

/// Reads a listing from memory, keeping its diagnostics when asked to;
/// false after a fatal error.
bool read_text(const std::string &text, ImageBody &image,
               std::string *diagnostics = nullptr);
