// The CSV-to-image program: stores the channels of a CHIRP channel list,
// or with -t a talkgroup list, into a copy of a base image.
#pragma once

#include <stdio.h>

#include <string>
#include <vector>

#include "common/image.h"
#include "csvlist/csvlist.h"

/// No bank given: channel rows go to the channel their Location names.
constexpr int rows_by_location = -1;

/// How a list is stored, as the command line says.
struct StoreOptions {
  int bank = rows_by_location;  ///< -b or -t: the bank the list fills
  int last_bank = -1;           ///< -b B-E: the last bank a channel list fills
  bool description_tags = false;     ///< -d: tags from the Description
  bool keep = false;                 ///< -k: entries after the list are kept
  bool all_modes = false;            ///< -a: digital talkgroups are stored too
  std::vector<std::string> matches;  ///< -m: texts a talkgroup must hold
};

/// What storing a list did, for the summary line.
struct StoreSummary {
  long rows = 0;      ///< rows read, blank rows not counted
  long stored = 0;    ///< rows stored
  long warnings = 0;  ///< warnings given
  bool bank_used[bank_count] = {};
  int first = -1;  ///< -b or -t: the first and last place filled
  int last = -1;
  long left_out = 0;       ///< rows with no place left
  long digital = 0;        ///< talkgroups skipped for their mode
  long unmatched = 0;      ///< talkgroups that no -m text matches
  long invalid = 0;        ///< talkgroups that cannot be stored
  long other_banks = 0;    ///< talkgroups of other banks
  long trunked_sites = 0;  ///< rows of a trunked system's site frequencies
  long shortened = 0;      ///< tags shortened to fit 12 characters
  int first_of[bank_count] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
  int last_of[bank_count] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
};

/// Stores the rows of a channel list into the image: at their Location, or
/// filling the channels of options.bank (to options.last_bank) in file
/// order.  CHIRP's lists, RadioReference's page tables and Premium
/// downloads and RepeaterBook's downloads are read.  Warnings and errors
/// go to err under the list's name; false after a fatal error.
bool store_channel_list(CsvReader &reader, const char *name, FILE *err,
                        const StoreOptions &options, ImageBody &image,
                        StoreSummary &summary);

/// Stores the rows of a talkgroup list into the slots of the trunked bank
/// options.bank, in file order; as store_channel_list.
bool store_talkgroup_list(CsvReader &reader, const char *name, FILE *err,
                          const StoreOptions &options, ImageBody &image,
                          StoreSummary &summary);

/// What became of the rows that were not stored, counted as the summary
/// line gives them, with the option that stores them where one would.
std::string row_counts(const StoreSummary &summary, bool talkgroups,
                       bool hints);

/// The summary line: "csvimg: N of M rows stored in ...".
std::string summary_line(const StoreSummary &summary,
                         const StoreOptions &options, bool talkgroups,
                         bool checking);

/// Runs the whole program; returns the exit status.
int run_csvimg(int argc, char **argv, FILE *err);
