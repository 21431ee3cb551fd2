// The listing writer on arbitrary bodies: every line ends in CR LF, with no
// line feed inside a line, and the listing has the line count its lockouts
// and band count call for.
#include <stdlib.h>

#include "fuzz/fuzz_support.h"

namespace {

int expected_line_count(const ImageBody &image) {
  int lines = 3;  // version, instructions, empty line
  for (int b = 0; b < bank_count; ++b) {
    lines += 168;  // every line of a bank section but its lockouts
    for (int l = 1; l <= lockout_count; ++l) {
      const unsigned char *pair = image.bytes + lockout_offset(b, l);
      lines += pair[0] != 0xFF && pair[1] != 0xFF;
    }
  }
  lines += 12;  // weather header, blank, ten channels
  int bands = image.bytes[band_count_offset];
  if (bands > band_record_count)
    bands = band_record_count;
  if (bands > 0)
    lines += 3 + bands;
  return lines + 1 + 7 + 18;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static ImageBody image;
  body_from_input(data, size, image);
  std::string text = listing_of(image);
  int lines = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\n')
      continue;
    if (i == 0 || text[i - 1] != '\r')
      abort();  // a line feed that does not end a line
    ++lines;
  }
  if (text.empty() || text.back() != '\n' ||
      lines != expected_line_count(image))
    abort();
  return 0;
}
