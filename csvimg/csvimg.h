// The CSV-to-image program: stores the channels of a CHIRP channel list,
// or with -t a talkgroup list, into a copy of a base image.
#pragma once

#include <stdio.h>

#include "common/image.h"
#include "csvlist/csvlist.h"

/// No bank given: channel rows go to the channel their Location names.
constexpr int rows_by_location = -1;

/// Stores the rows of a channel list into the image: at their Location, or
/// filling the channels of bank in file order.  Warnings and errors go to
/// err under the list's name; false after a fatal error.
bool store_channel_list(CsvReader &reader, const char *name, FILE *err,
                        int bank, ImageBody &image);

/// Stores the rows of a talkgroup list into talkgroup slots 1 to 100 of a
/// trunked bank, in file order; as store_channel_list.
bool store_talkgroup_list(CsvReader &reader, const char *name, FILE *err,
                          int bank, ImageBody &image);

/// Runs the whole program; returns the exit status.
int run_csvimg(int argc, char **argv, FILE *err);
