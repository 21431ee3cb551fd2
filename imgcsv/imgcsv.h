// The image-to-CSV program: writes the channels of an image file as a
// CHIRP channel list, or with -t the talkgroups of its trunked banks.
#pragma once

#include <stdio.h>

#include "common/image.h"

constexpr const char *default_csv_image = "zer92.spg";
constexpr const char *default_csv_output = "zer92.csv";

/// Where the warnings of a list being written go: each names the place of
/// the image it is about, in the image file named.
struct ListReport {
  FILE *err;
  const char *name;
  long warnings = 0;
};

/// Writes the channel list of an image body: a header row, then a row for
/// each channel of banks 0 to 9 that holds a frequency, as CHIRP's reader
/// accepts it.  What CHIRP cannot express is left out with a warning.
void write_channel_list(FILE *out, const ImageBody &image, ListReport &report);

/// Writes the talkgroup list of an image body: a header row, then a row
/// for each talkgroup of a trunked bank that has an ID.
void write_talkgroup_list(FILE *out, const ImageBody &image,
                          ListReport &report);

/// Runs the whole program; returns the exit status.
int run_imgcsv(int argc, char **argv, FILE *err);
