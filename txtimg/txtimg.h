// The listing-to-image program: reads a text listing line by line, with
// line-numbered warnings and errors, and writes the image file it gives.
#pragma once

#include <stdio.h>

#include "common/image.h"
#include "listing/reader.h"

constexpr const char *default_listing_input = "zer92in.asc";
constexpr const char *default_image_output = "zer92out.spg";

/// Runs the whole program; returns the exit status.
int run_txtimg(int argc, char **argv, FILE *err);
