// Writing and reading listings in memory, for tests, benchmarks and
// fuzzing harnesses.
#pragma once

#include <string>

#include "common/image.h"
#include "listing/reader.h"

/// The listing of an image body, as imgtxt writes it.
std::string listing_of(const ImageBody &image);

/// Reads a listing from memory under the name "in.asc", keeping its
/// diagnostics when asked to, with the checks before upload when check is
/// not null; false after a fatal error.
bool read_listing_text(const std::string &text, ImageBody &image,
                       std::string *diagnostics = nullptr,
                       ListingCounts *check = nullptr);
