// The writer of a whole listing: every line of the verbose listing of an
// image body, as imgtxt writes it and imgdiff compares it.
#pragma once

#include <stdio.h>

#include "common/image.h"

/// Writes the verbose listing of an image body, line by line.
void write_listing(FILE *out, const ImageBody &image);

/// Writes the section of one bank, 0 to 9, as the whole listing has it.
void write_bank_section(FILE *out, const ImageBody &image, int bank);
