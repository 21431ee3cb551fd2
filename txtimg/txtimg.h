// The listing-to-image program: reads a text listing line by line, with
// line-numbered warnings and errors, and writes the image file it gives.
#pragma once

#include <stdio.h>

#include "common/image.h"

constexpr const char *default_listing_input = "zer92in.asc";
constexpr const char *default_image_output = "zer92out.spg";

/// Builds the image body from a listing, reporting every warning and any
/// fatal error on err under the input's name; false after a fatal error.
bool read_listing(FILE *in, const char *input_name, FILE *err,
                  ImageBody &image);

/// Runs the whole program; returns the exit status.
int run_txtimg(int argc, char **argv, FILE *err);
