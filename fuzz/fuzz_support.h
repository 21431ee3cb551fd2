// Helpers the fuzzing harnesses share.
#pragma once

#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <string>

#include "common/image.h"
#include "tests/listing_io.h"

/// The body an input names: its first 26,496 bytes, zero-padded.
inline void body_from_input(const uint8_t *data, size_t size,
                            ImageBody &image) {
  size_t used = size < body_size ? size : body_size;
  memcpy(image.bytes, data, used);
  memset(image.bytes + used, 0, body_size - used);
}
