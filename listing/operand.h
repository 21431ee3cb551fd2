// An operand that is an image file or a listing, read as the image file
// it stands for.  imgdiff compares two of them; imgcard prints one.
#pragma once

#include <stdio.h>

#include <string>

/// Reads an operand as an image file: header, body and trailer as they are
/// in an image file, or as txtimg would write them from a listing.  A name
/// ending in .spg or .SPG is an image file, any other a listing; "-" is
/// standard input, an image file when it starts with the image header.  No
/// more than largest_listing_size bytes are read, nor room made for more.
/// False after the trouble is reported on err.
bool read_image_operand(const std::string &name, FILE *err, std::string *file);
