// The reader of a whole listing: reads a text listing line by line, with
// line-numbered warnings and errors and, under a check, every value the
// image would hold otherwise than written, and builds the image body.
#pragma once

#include <stdio.h>

#include "common/image.h"

/// What reading a listing reported.
struct ListingCounts {
  int warnings = 0;
  int errors = 0;
};

/// Builds the image body from a listing, reporting every warning and any
/// fatal error on err under the input's name; false after a fatal error.
/// When check is not null the checks before upload run as well, and it
/// receives the counts of all that was reported.
bool read_listing(FILE *in, const char *input_name, FILE *err, ImageBody &image,
                  ListingCounts *check = nullptr);
