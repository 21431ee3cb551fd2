// The listing reader on arbitrary bytes: no crash, hang or sanitizer
// report, whatever the input holds or wherever it ends; and the checks
// before upload read the listing into the very image a conversion stores.
#include <stdlib.h>

#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static ImageBody image, checked;
  std::string text(reinterpret_cast<const char *>(data), size);
  bool read = read_listing_text(text, image);
  ListingCounts counts;
  bool read_checked = read_listing_text(text, checked, nullptr, &counts);
  if (read != read_checked ||
      memcmp(image.bytes, checked.bytes, body_size) != 0)
    abort();
  return 0;
}
