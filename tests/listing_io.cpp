// Listings written to and read from memory.
#include "tests/listing_io.h"

#include <stdio.h>
#include <stdlib.h>

#include "listing/reader.h"
#include "listing/writer.h"

std::string listing_of(const ImageBody &image) {
  char *data = nullptr;
  size_t size = 0;
  FILE *out = open_memstream(&data, &size);
  write_listing(out, image);
  fclose(out);
  std::string text(data, size);
  free(data);
  return text;
}

bool read_listing_text(const std::string &text, ImageBody &image,
                       std::string *diagnostics, ListingCounts *check) {
  // An empty memory stream cannot be opened; an empty file reads the same.
  FILE *in = text.empty()
                 ? fopen("/dev/null", "r")
                 : fmemopen(const_cast<char *>(text.data()), text.size(), "r");
  char *data = nullptr;
  size_t size = 0;
  FILE *err =
      diagnostics ? open_memstream(&data, &size) : fopen("/dev/null", "w");
  bool ok = read_listing(in, "in.asc", err, image, check);
  fclose(in);
  fclose(err);
  if (diagnostics)
    diagnostics->assign(data, size);
  free(data);
  return ok;
}
