// The image-to-listing program: reads an image file whole and writes the
// verbose text listing of its body.
#pragma once

#include <stdio.h>

#include "common/image.h"

constexpr const char *default_image_input = "zer92.spg";
constexpr const char *default_listing_output = "zer92.asc";

/// Runs the whole program; returns the exit status.
int run_imgtxt(int argc, char **argv, FILE *err);
