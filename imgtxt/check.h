// The check of an image file before upload (imgtxt -c): the container, and
// the values of the body that a listing cannot show as real settings, so
// that the scanner would get something no listing describes.
#pragma once

#include <stdio.h>

#include "common/image.h"

/// Checks the bytes of an image file, whose whole length is file_size and
/// of which the first count bytes (at most 32,773) are given; writes one
/// line per problem on err, each naming the file and where the problem
/// is, and returns the number of problems.
int check_image_file(const unsigned char *bytes, long count, long file_size,
                     const char *name, FILE *err);

/// Checks an image body alone; as check_image_file.
int check_image_body(const ImageBody &image, const char *name, FILE *err);
