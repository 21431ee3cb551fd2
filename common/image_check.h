// The check of an image body's values: those that no listing can show as a
// real setting, those the scanner would misread, and those worth a word of
// advice.  imgtxt -c reports them all; imgsend refuses an image the scanner
// would misread.
#pragma once

#include <string>
#include <vector>

#include "common/image.h"

/// What a finding means for an upload.
enum class Finding {
  /// The scanner would misread the record: a mode, band, bank type, tone
  /// code or size code with no meaning, or a frequency outside every band.
  misread,
  /// Worth a word before an upload: a tone or code that is not a standard
  /// one, a tag with control bytes.
  advice,
  /// A value that no listing shows as written, which the scanner reads.
  unlisted,
};

/// One finding of the check: where it lies, what it is, what it means.
struct ImageFinding {
  std::string where;
  std::string text;
  Finding kind;
};

/// The findings of an image body's values, in the order of the listing.
std::vector<ImageFinding> check_image_values(const ImageBody &image);

/// The number of records the misread findings name.
int count_misread_records(const std::vector<ImageFinding> &findings);
