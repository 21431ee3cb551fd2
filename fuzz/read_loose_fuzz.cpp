// The loose reader on arbitrary bytes: no crash, hang or sanitizer report;
// and a listing it reads without an error is laid out once and for all:
// the layout read again gives itself, with no error.
#include <stdlib.h>

#include "fuzz/fuzz_support.h"
#include "listing/loose.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static ImageBody image, again, base;
  std::string text(reinterpret_cast<const char *>(data), size);
  // Onto a base, as imgedit reads; then alone, as txtimg -f reads.
  read_loose_listing(text, &base, image);
  LooseFindings findings = read_loose_listing(text, nullptr, image);
  if (findings.errors > 0)
    return 0;
  std::string laid_out = listing_of(image);
  LooseFindings second = read_loose_listing(laid_out, nullptr, again);
  if (second.errors > 0 || listing_of(again) != laid_out)
    abort();
  return 0;
}
