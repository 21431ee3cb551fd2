// The text listing: the editable, line-oriented form of one image body.
//
// This is the one place of the format for both directions: the lines that
// imgtxt writes, and the section prefixes, scan patterns and columns by
// which txtimg reads them back.  The reader finds several fields at fixed
// columns, so the spacing of every line is part of the format.
#pragma once

#include <stdio.h>

#include "common/codes.h"
#include "common/image.h"

// Fixed lines and line parts, as written.
constexpr char version_line[] = "IMGTXT Version 1.03, Verbose format\r\n";
constexpr char instruction_lines[] =
    "Edit this file per the instructions.  Spacing matters!\r\n\r\n";
constexpr char blank_line[] = " \r\n";
constexpr char instruction_start[] = "Edit this file";
constexpr char weather_header[] = "****** Weather Channels ******\r\n";
constexpr char band_header[] =
    "\r\n****** Preprogrammed Search Bands ******\r\n\r\n";
constexpr char message_header[] = "****** Opening screen message ******\r\n";
constexpr char settings_header[] = "****** Scanner settings ******\r\n";
constexpr char lockout_header[] = " Search lockouts:\r\n";
constexpr char lockout_footer[] = " (end lockouts)\r\n";
constexpr char talkgroup_header[] = " Talkgroup IDs:\r\n";
constexpr char talkgroup_footer[] = " (end talk IDs)\r\n";

/// Writes the bank header line; the tag is the bank tag's plain copy.
void write_bank_header(FILE *out, int bank, const char *tag,
                       const char *type_name, const char *mode_word);

/// Writes the bank info line.
void write_bank_info_line(FILE *out, int bank);

/// Writes a channel or weather channel line from its 18-byte record.
void write_channel_line(FILE *out, int number, const unsigned char *record,
                        const ChannelView &view);

/// Writes the search line from the search record's code and tag.
void write_search_line(FILE *out, const unsigned char *record,
                       const ChannelView &view);

/// Writes the search end line from the three search-end bytes.
void write_search_end_line(FILE *out, const unsigned char *bytes,
                           const SearchEndView &view);

/// Writes the bank tag line: the plain copy, then the 12 characters.
void write_bank_tag_line(FILE *out, const unsigned char *tag);

/// Writes the mode/offset line.
void write_mode_offset_line(FILE *out, int byte, const char *text);

/// Writes the bank type line.
void write_bank_type_line(FILE *out, int byte, const char *name);

/// Writes the fleet map line from the eight fleet map bytes.
void write_fleet_map_line(FILE *out, const unsigned char *fleet_map);

/// Writes a lockout line.
void write_lockout_line(FILE *out, int slot, const unsigned char *pair,
                        double frequency);

/// Writes a talkgroup line from its 14-byte record and its text.
void write_talkgroup_line(FILE *out, int slot, const unsigned char *record,
                          const char *text);

/// Writes a preprogrammed band row from its 18-byte record.
void write_band_row(FILE *out, int number, const unsigned char *record,
                    const BandView &view);

/// Writes an opening message line from its 12 characters.
void write_message_line(FILE *out, const unsigned char *text);

/// Writes the sixteen settings lines from the image's settings block.
void write_settings_lines(FILE *out, const ImageBody &image);

/// Copies up to size characters that end early at a NUL; a line feed
/// becomes a blank, since it would break the line structure.
void copy_plain_text(const unsigned char *text, int size, char *copy);

// Reading: section headers, recognised by their prefix in this order.
constexpr char section_mark[] = "******";
constexpr char bank_prefix[] = "****** Bank";
constexpr char weather_prefix[] = "****** Weather";
constexpr char band_prefix[] = "****** Preprogrammed";
constexpr char message_prefix[] = "****** Opening";
constexpr char settings_prefix[] = "****** Scanner";

/// The UTF-8 byte order mark an editor may put in front of the first line.
constexpr char byte_order_mark[] = "\xEF\xBB\xBF";

// Reading: the line buffer holds 8,190 characters, a line feed and a NUL.
constexpr int line_buffer_size = 8192;
constexpr int max_line_length = line_buffer_size - 2;

// Reading: scan patterns of the verbose and the terse variant.
constexpr char version_pattern[] = "IMGTXT Version %d.%d, %16s";
constexpr int version_word_size = 16;
/// The bank header, "****** Bank %d ****** Tag:", up to its number, whose
/// position "%n" gives: the number is read whole, on its own.
constexpr char bank_number_prefix[] = "****** Bank %n";
constexpr char channel_pattern_verbose[] =
    "%d %*x %*x %*x %*x %*x %*x >%12c< %lf %5c %s %s";
constexpr char channel_pattern_terse[] = "%d >%12c< %lf %5c %s %s";
constexpr char search_pattern_verbose[] =
    "Srch %*x %*x %*x %*x %*x %*x >%12c< %lf %5c %s %s";
constexpr char search_pattern_terse[] = "Srch >%12c< %lf %5c %s %s";
constexpr char search_end_pattern_verbose[] = "End, step %*x %*x %*x %lf %lf";
constexpr char search_end_pattern_terse[] = "End, step %lf %lf";
constexpr char tag_pattern[] = ">%12c<";
constexpr char mode_offset_pattern[] = "%23c";
constexpr char bank_type_pattern[] = "%5c";
constexpr char fleet_map_pattern[] = "S%d S%d S%d S%d S%d S%d S%d S%d";
/// The lockout line, "%d %*x %*x %lf", past its number, which is read
/// whole, on its own.
constexpr char lockout_rest_pattern[] = "%*d %*x %*x %lf";
constexpr char talkgroup_pattern[] = "%d %x [%11c] >%12c<";
constexpr char talkgroup_pattern_v100[] = "%d %x >%12c<";
constexpr char band_pattern_verbose[] =
    "%d %*x %*x %*x %*x %*x %*x >%12c< %lf %5c %lf %lf";
constexpr char band_pattern_terse[] = "%d >%12c< %lf %5c %lf %lf";
constexpr char message_pattern[] = " >%12c<";

/// Where a scan of a text with a pattern stopped: the token of the pattern
/// that did not match (a directive such as "%lf", a literal such as "<"),
/// the token before it, and the fields assigned before it.
struct ScanStop {
  bool matched = false;  ///< the whole pattern matched
  int assigned = 0;
  char token[16] = "";
  char before[16] = "";
};

/// Finds where a scan of a text with a pattern stops.
ScanStop find_scan_stop(const char *text, const char *pattern);

// Reading: columns where a scan starts.
constexpr int bank_tag_column_verbose = 27;
constexpr int bank_tag_column_terse = 7;
constexpr int bank_field_column_verbose = 28;  ///< mode/offset and bank type
constexpr int bank_field_column_terse = 8;
constexpr int fleet_map_column = 28;  ///< in both variants
constexpr int settings_value_column = 12;

// Reading: texts that lines must begin with, compared over given lengths.
constexpr char bank_info_word[] = "Bank";
constexpr int bank_info_column = 1;
constexpr char lockout_header_start[] = " Search l";
constexpr int lockout_header_length = 8;
constexpr char lockout_end_start[] = " (end lockouts)";
constexpr char talkgroup_header_start[] = " Talkgroup IDs:";
constexpr char talkgroup_footer_start[] = " (end talk IDs)";
constexpr int compared_length = 15;      ///< of the lockout end and talkgroups
constexpr int band_list_end_length = 7;  ///< a line this short ends bands

/// The version from which talkgroup lines carry the bracketed text.
constexpr double talkgroup_text_version = 1.0;

// Reading: patterns of the settings values, scanned from the value column;
// the band count line is not read.
constexpr char hex_value_pattern[] = "%x";
constexpr char number_value_pattern[] = "%d";
constexpr char real_value_pattern[] = "%lf";
constexpr char priority_pattern[] = "%d %d";
constexpr char last_search_pattern[] = "%x %x %x";
constexpr char bank_word_pattern[] = "%s";
