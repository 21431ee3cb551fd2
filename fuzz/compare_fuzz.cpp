// imgdiff on two images that differ where the input says: the first 26,496
// bytes are the old body, and each following group of three bytes puts a
// byte at an offset of the new image file.  Every byte that differs is
// named by a line, and images that are the same give none.
#include <stdio.h>
#include <stdlib.h>

#include "fuzz/fuzz_support.h"
#include "listing/places.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static ImageBody body;
  body_from_input(data, size, body);
  std::string old_file(reinterpret_cast<const char *>(image_header),
                       header_size);
  old_file.append(reinterpret_cast<const char *>(body.bytes), body_size);
  old_file.append(trailer_size, '\0');
  std::string new_file = old_file;
  for (size_t at = body_size; at + 3 <= size; at += 3) {
    size_t offset =
        (static_cast<size_t>(data[at]) << 8 | data[at + 1]) % new_file.size();
    new_file[offset] = static_cast<char>(data[at + 2]);
  }
  std::vector<std::string> lines = compare_image_files(old_file, new_file);
  if (lines.empty() != (old_file == new_file))
    abort();
  // A differing byte shows in the line of its place, or in a byte line.
  size_t differing = 0;
  for (size_t at = 0; at < old_file.size(); ++at)
    differing += old_file[at] != new_file[at];
  if (differing > 0 && lines.size() > differing * 3)
    abort();  // no more than a few lines for each byte
  return 0;
}
