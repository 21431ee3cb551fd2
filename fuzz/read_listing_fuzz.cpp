// The listing reader on arbitrary bytes: no crash, hang or sanitizer
// report, whatever the input holds or wherever it ends.
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static ImageBody image;
  read_listing_text(std::string(reinterpret_cast<const char *>(data), size),
                    image);
  return 0;
}
