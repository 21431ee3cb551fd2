// Images made of random values that the listing can show, so that writing
// the listing and reading it back must give the same body.
#pragma once

#include "common/image.h"

/// Fills the image from the seed; every bank, weather channel, band row,
/// message line and setting holds a value the listing shows exactly.
void generate_image(unsigned seed, ImageBody &image);
