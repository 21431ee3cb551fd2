// The CSV lists of channels and talkgroups: the columns, the texts of the
// cells that carry what CHIRP's channel format cannot, and the reading and
// writing of CSV rows, in one place for imgcsv and csvimg.
#pragma once

#include <stdio.h>

#include <deque>
#include <string>
#include <vector>

#include <csv.h>

/// The columns of a channel list, in the order CHIRP writes them.
constexpr int channel_column_count = 21;
extern const char *const channel_columns[channel_column_count];

/// The columns of a talkgroup list.
constexpr int talkgroup_column_count = 6;
extern const char *const talkgroup_columns[talkgroup_column_count];

/// Writes one row of fields, each quoted where CSV needs it (a comma, a
/// quote, a carriage return or a line feed in it), ended by CR LF.
void write_csv_row(FILE *out, const char *const *fields, int count);

/// True when CHIRP's reader takes a tone: one of the 50 standard CTCSS
/// tones or the ten more it knows, 56.0 to 64.0 Hz.
bool is_chirp_tone(double hertz);

/// The highest DCS code CHIRP's reader takes, 777 in octal.
constexpr unsigned highest_chirp_code = 0777;

/// Twelve tag bytes as UTF-8 for a list: blanks (and NULs, which read as
/// blanks) at the end dropped, a NUL elsewhere written as a blank, bytes
/// 0x80 to 0xFF as U+0080 to U+00FF, and control bytes as '?'.  Sets
/// controls when there were any.
std::string tag_to_utf8(const unsigned char *tag, bool *controls);

/// What a channel list's Comment carries for the scanner: the trunking
/// mode (LTR, MOT, EDACS) and the flags D and A.
struct ChannelComment {
  int mode = -1;  ///< a mode index of the mode name table, or -1
  bool flag_d = false;
  bool flag_a = false;
};

/// The Comment of a channel: words "mode=NAME" and "flags=DA", as far as
/// each is needed, separated by a blank; empty when neither is.
void format_channel_comment(const ChannelComment &comment, char *text,
                            size_t size);

/// Finds the words format_channel_comment writes anywhere in a Comment;
/// any other text is the user's and is passed over.
ChannelComment read_channel_comment(const char *text);

/// One row of a CSV file and the line it starts on.
struct CsvRow {
  std::vector<std::string> fields;
  long line = 0;
  bool nul = false;  ///< a field held a NUL byte
};

/// Reads a CSV file row by row with libcsv.  The whole file is read first,
/// so that its first line can choose the dialect.  Lines end in CR LF, LF
/// or CR; lines that start with '#' outside a quoted field are passed
/// over, and so is a UTF-8 byte order mark at the start.
struct CsvReader {
  std::string text;  ///< the file, without its byte order mark
  size_t at = 0;     ///< where the next line starts
  long line = 0;     ///< lines fed to the parser so far
  csv_parser parser;
  bool parsing = false;     ///< the parser is set up
  bool trim = false;        ///< blanks at both ends of fields are dropped
  CsvRow row;               ///< the row being built
  std::deque<CsvRow> rows;  ///< rows complete, not yet taken
  bool ended = false;
  bool failed = false;  ///< a read error
  int error = 0;        ///< its error number
};

/// Reads the whole file and sets up the parser for CHIRP's dialect:
/// commas, and blanks kept as part of a field.  False when the file cannot
/// be read (failed is then set) or the parser cannot be set up.
bool open_csv_reader(CsvReader &reader, FILE *in);

/// The same from a text in memory.
bool open_csv_text(CsvReader &reader, std::string text);

/// The first line of the file, without its line end.
std::string first_csv_line(const CsvReader &reader);

/// Changes the dialect before the first row is taken: the character
/// between fields, and whether blanks around fields (outside and inside
/// quotes) are dropped.
void set_csv_dialect(CsvReader &reader, char delimiter, bool trim);

/// Takes the next row; false at the end of the file.
bool read_csv_row(CsvReader &reader, CsvRow &row);

/// Releases the parser.
void close_csv_reader(CsvReader &reader);

/// The number of lines of the file, a last line without an end counted.
long count_csv_lines(const CsvReader &reader);

/// The index of the first column of a header row named as one of the
/// names, blanks around a cell and the case of its letters aside; -1 when
/// there is none.
int find_column(const CsvRow &header,
                std::initializer_list<const char *> names);

/// The field of a row in a column, or the empty text when the row is
/// short or the column is -1.
const char *field_of(const CsvRow &row, int column);
