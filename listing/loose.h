// The loose reader: a listing as a person types it, with blanks and tabs
// anywhere, names in any case, code bytes left out and lines placed by
// their numbers, read into the image its values mean.  The values go
// through the same encoders and checks as the strict reader's.
#pragma once

#include <stdio.h>

#include <string>
#include <vector>

#include "common/image.h"

/// A finding of the loose reader: an error (a line that cannot be read, a
/// number given twice, a missing part), or a warning of a value that the
/// image will hold otherwise than written.
struct LooseFinding {
  long line;
  bool error;
  std::string text;
};

/// All that the loose reader found, in line order.
struct LooseFindings {
  std::vector<LooseFinding> list;
  int errors = 0;
  int warnings = 0;
};

/// Reads a listing loosely into image.  With a base image, every section
/// the listing leaves out keeps base's content; without one, each must be
/// there but for the preprogrammed search bands, which are then none.
LooseFindings read_loose_listing(const std::string &bytes,
                                 const ImageBody *base, ImageBody &image);

/// Prints findings as "Warning: TEXT at line N, file NAME" and "Error: ...",
/// each line number moved by offset.
void print_loose_findings(FILE *err, const LooseFindings &findings,
                          const char *name, long offset = 0);

/// Puts base's bytes back into every record of image whose listing lines
/// read as base's do, so that bits no line shows survive an edit.
void keep_unchanged_records(const ImageBody &base, ImageBody &image);
