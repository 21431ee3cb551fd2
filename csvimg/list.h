// A list being stored: its warnings and errors by line, the counts the
// summary gives, and the fields and names of its rows as the image takes
// them.  Shared by the channel and the talkgroup import of csvimg.
#pragma once

#include <stdio.h>

#include <map>
#include <string>

#include "csvlist/csvlist.h"

/// The list being read and where its diagnostics go.
struct List {
  CsvReader &reader;
  const char *name;
  FILE *err;
  long warnings = 0;  ///< warnings given so far
};

/// Thrown after a fatal error has been reported.
struct ListFatal {};

/// Reports a warning about the row that starts at a line.
void warn(List &list, long line, const char *format, ...)
    __attribute__((format(printf, 3, 4)));

/// Reports a fatal error and unwinds the store.
[[noreturn]] void fail(List &list, long line, const char *message);

/// A field without blanks at either end.
std::string trimmed(const char *text);

/// True when every field of a row is blank.
bool is_blank_row(const CsvRow &row);

/// Reads a whole decimal number from a field; false unless the field is
/// one, blanks around it allowed.
bool read_integer(const char *text, long *value);

/// The header row; the end of the list before one is fatal.
CsvRow read_header(List &list);

/// A text for a message: control bytes shown as '?', the rest as it is.
std::string shown(const std::string &text);

/// Twelve tag bytes of a name read as UTF-8: cut at 12 characters, padded
/// with blanks.  U+0080 to U+00FF are stored as that byte, other
/// characters beyond ASCII and control characters as '?', and a byte that
/// is not UTF-8 as it is; each of these, and a cut of more than blanks, is
/// warned of.
void make_tag(List &list, long line, const char *what, const std::string &given,
              unsigned char *tag);

/// A name of more than 12 characters made to fit: blanks, and lower-case
/// vowels that follow a letter, are dropped from the right until it fits,
/// then upper-case vowels that follow a letter; what is still too long is
/// cut at 12.  A name that fits is returned as it is, blanks at both ends
/// dropped.
std::string shorten_name(const std::string &name);

/// The tags stored so far from a list, and the lines and names they came
/// from, so that rows told apart stay apart.
struct StoredTags {
  std::map<std::string, std::pair<long, std::string>> lines;
  long shortened = 0;  ///< tags shortened to fit
};

/// The tag of a row's name: shortened to fit with a warning, made into
/// tag bytes as make_tag does, and ended in a number when another name's
/// tag is the same; a name given twice is warned of, naming both lines.
void make_distinct_tag(List &list, long line, const char *what,
                       const std::string &given, StoredTags &stored,
                       unsigned char *tag);

/// True when a text holds another, letters of any case: ASCII, and the
/// Latin-1 letters U+00C0 to U+00FE in UTF-8.
bool holds_folded(const std::string &text, const std::string &part);
