// The listing reader: the line reader and its diagnostics, the section
// loop and the five section readers.
#include <errno.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "common/codes.h"
#include "common/rules.h"
#include "listing/listing.h"
#include "listing/reader.h"
#include "listing/settings.h"

namespace {

constexpr int no_bank = -1;     ///< no bank header has scanned yet
constexpr int not_stored = -1;  ///< a bank section the image has no place for

/// The scan fields every reader shares.  They live for the whole run and
/// are never reset: a field that a scan does not reach keeps what the most
/// recent earlier line gave it, whichever reader read that line.
struct ScanFields {
  int line_number = 0;
  char tag[tag_size + 1] = "            ";
  double frequency = 0.0;
  char mode[6] = "     ";
  // Words are read whole; no word can be longer than a line.
  char tone[line_buffer_size] = "";
  char flags[line_buffer_size] = "";
  double search_end = 0.0;
  double search_step = 0.0;
  double band_end = 0.0;
  double band_step = 0.0;
  long long lockout_number = 0;  ///< as written, however large
  double lockout_frequency = 0.0;
  unsigned talkgroup_code = 0;
  char talkgroup_text[talkgroup_text_size + 1] = "           ";
  long long bank_number = no_bank;  ///< as written, however large
  char mode_offset_text[mode_offset_text_size + 1] = "                       ";
  char bank_type_text[6] = "     ";
  int bank_type = 0;
  int fleet[fleet_block_count] = {};
  int search_band = 0;
};

/// The line that last gave each scan field its value; 0 before any did.
struct Origins {
  long long tag = 0, frequency = 0, mode = 0, tone = 0, flags = 0;
  long long search_end = 0, search_step = 0, band_end = 0, band_step = 0;
  long long lockout_frequency = 0, talkgroup_code = 0, talkgroup_text = 0;
  long long mode_offset = 0, bank_type = 0;
  long long fleet[fleet_block_count] = {};
};

/// What the checks keep track of across sections.
struct CheckState {
  bool bank_seen[bank_count] = {};
  bool weather_seen = false;
  bool bands_seen = false;
  bool message_seen = false;
  bool settings_seen = false;
  /// The start of the one line that may follow the last section read
  /// (the instruction line, or a bank's talkgroup end line); null when
  /// the line after it has been read.
  const char *expected = nullptr;
  long long listed_band_count = -1;  ///< settings line 13, when it reads
  long long lockout_lines[lockout_count + 1] = {};  ///< of the bank read
};

/// Everything one run of the reader works with.
struct Reader {
  FILE *in = nullptr;
  const char *name = nullptr;
  FILE *err = nullptr;
  ImageBody *image = nullptr;
  long long line_count = 0;
  char line[line_buffer_size];
  char buffer[1 << 16];  ///< input read ahead, by blocks
  size_t buffered = 0;   ///< bytes in the buffer
  size_t at = 0;         ///< the next of them
  bool verbose = false;
  double version = 0.0;
  ScanFields f;
  Origins o;
  bool checking = false;  ///< the checks of txtimg -c run too
  ListingCounts counts;
  CheckState c;
};

/// Thrown after a fatal error has been reported.
struct ListingFatal {};

/// Thrown when the listing cannot be read, with the error number.
struct ListingReadError {
  int error;
};

void report_warning(Reader &r, const char *message) {
  ++r.counts.warnings;
  fprintf(r.err, "Warning: %s at line %lld, file %s\n", message, r.line_count,
          r.name);
}

/// Reports a warning about an earlier line than the one just read.
void report_warning_at(Reader &r, long long line, const char *message) {
  ++r.counts.warnings;
  fprintf(r.err, "Warning: %s at line %lld, file %s\n", message, line, r.name);
}

[[noreturn]] void report_fatal(Reader &r, const char *message) {
  ++r.counts.errors;
  fprintf(r.err, "Error: %s at line %lld, file %s\n", message, r.line_count,
          r.name);
  throw ListingFatal{};
}

/// Reports the warnings of an encoding in the order they arose; true when
/// there were any.
bool report_warnings(Reader &r, const Warnings &warnings) {
  for (int i = 0; i < warnings.count; ++i)
    report_warning(r, warnings.text[i]);
  return warnings.count > 0;
}

/// Reports what a check found, in the warning form.
void report_findings(Reader &r, const Findings &findings) {
  for (int i = 0; i < findings.count; ++i)
    report_warning(r, findings.text[i]);
}

/// Reports one finding of a check.
__attribute__((format(printf, 2, 3))) void report_check(Reader &r,
                                                        const char *format,
                                                        ...) {
  char message[256];
  va_list args;
  va_start(args, format);
  vsnprintf(message, sizeof message, format, args);
  va_end(args);
  report_warning(r, message);
}

/// Reports the numbers of a text that are too large to be read.
void check_numbers(Reader &r, const char *text, const char *kinds) {
  if (!r.checking)
    return;
  Findings findings;
  check_numbers_fit(text, kinds, findings);
  report_findings(r, findings);
}

bool starts_with(const char *text, const char *prefix, size_t length) {
  return strncmp(text, prefix, length) == 0;
}

bool starts_with(const char *text, const char *prefix) {
  return starts_with(text, prefix, strlen(prefix));
}

/// Reads the next block of the input into the buffer; false at its end.
bool fill_buffer(Reader &r) {
  r.at = 0;
  r.buffered = fread(r.buffer, 1, sizeof r.buffer, r.in);
  if (r.buffered == 0 && ferror(r.in))
    throw ListingReadError{errno};
  return r.buffered > 0;
}

/// Reads the next line, line feed included; a NUL byte becomes a blank and
/// a line longer than the buffer is cut.  The end of the input is fatal:
/// its message names the line by its label, formatted only then, the text
/// given, or "bank B channel C" when the text is null.
void read_labelled_line(Reader &r, const char *label, long long bank,
                        int channel) {
  ++r.line_count;
  size_t length = 0;
  bool cut = false;
  for (;;) {
    if (r.at == r.buffered && !fill_buffer(r)) {
      char message[128];
      if (label)
        snprintf(message, sizeof message, "End of file reading %s\n", label);
      else
        snprintf(message, sizeof message,
                 "End of file reading bank %lld channel %d\n", bank, channel);
      report_fatal(r, message);
    }
    const char *start = r.buffer + r.at;
    size_t available = r.buffered - r.at;
    const char *end = static_cast<const char *>(memchr(start, '\n', available));
    size_t taken = end ? static_cast<size_t>(end - start) : available;
    size_t room = static_cast<size_t>(max_line_length) - length;
    cut = cut || taken > room;
    memcpy(r.line + length, start, taken < room ? taken : room);
    length += taken < room ? taken : room;
    r.at += taken + (end ? 1 : 0);
    if (end)
      break;
  }
  // A NUL byte reads as a blank.
  for (char *nul = r.line;
       (nul = static_cast<char *>(memchr(nul, '\0', length - (nul - r.line))));)
    *nul = ' ';
  r.line[length++] = '\n';
  r.line[length] = '\0';
  if (cut)
    report_warning(r, "line too long");
  if (r.checking) {
    // The byte order mark of the first line has a warning of its own.
    bool mark = r.line_count == 1 && starts_with(r.line, byte_order_mark);
    Findings findings;
    check_encoding(r.line, mark ? 3 : 0, findings);
    report_findings(r, findings);
  }
}

/// Reads the next line, line feed included; a NUL byte becomes a blank and
/// a line longer than the buffer is cut.  The end of the input is fatal,
/// naming the line by its label.
void read_listing_line(Reader &r, const char *label) {
  read_labelled_line(r, label, 0, 0);
}

/// Reads a line under the label that names a bank's channel or the line
/// that follows it.
void read_bank_line(Reader &r, long long bank, int channel) {
  read_labelled_line(r, nullptr, bank, channel);
}

/// The text of the line from a column on; empty when the line is shorter.
const char *from_column(const Reader &r, int column) {
  return strlen(r.line) > static_cast<size_t>(column) ? r.line + column : "";
}

/// Reads a decimal number as "%d" does (blanks, a sign, digits), but whole:
/// a number too large for an int keeps its size, up to the range of long
/// long, instead of wrapping round.  False when there are no digits.
bool scan_whole_number(const char *text, long long *value) {
  char *end;
  errno = 0;
  long long number = strtoll(text, &end, 10);
  if (end == text)
    return false;
  *value = number;
  return true;
}

/// Stores one byte.  The readers refuse bank and lockout numbers that have
/// no place in the image before they compute an offset, so every offset
/// here lies inside the body.
void store(Reader &r, int offset, long value, Field tag) {
  put_byte(*r.image, offset, value, tag);
}

void store_bytes(Reader &r, int offset, const void *bytes, int count,
                 Field tag) {
  put_bytes(*r.image, offset, bytes, count, tag);
}

/// A field a pattern assigns: how a message names it, and the line that
/// last gave it a value (null for the numbers in front of lines, which
/// are not kept).
struct ScanField {
  const char *name;
  long long *origin;
};

/// Why a scan stopped, as the user would put it right.
std::string scan_stop_cause(const char *text, const ScanStop &stop,
                            const char *field) {
  std::string token = stop.token;
  if (strspn(text, " \t\r\n") == strlen(text))
    return "the line is blank";
  if (token == "<")
    return "the tag between > and < is not 12 characters";
  if (token == "]")
    return "the talkgroup text between [ and ] is not 11 characters";
  if (token == "%*x")
    return "the code bytes are not all hexadecimal";
  if (token.empty() || token[0] != '%')
    return "\"" + token + "\" is not where the line should have it";
  if (strcmp(field, "number") == 0)
    return "the line does not begin with its number";
  if (strchr("dxofl", token.back()))
    return std::string("the ") + field + " is not a number";
  return std::string("the ") + field +
         (strcmp(field, "flags") == 0 ? " are missing" : " is missing");
}

/// "A, B and C".
std::string joined(const std::vector<std::string> &names) {
  std::string text;
  for (size_t i = 0; i < names.size(); ++i)
    text += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
  return text;
}

/// Notes the line that gave the fields a scan assigned.  When fewer than
/// all were assigned, gives the warning that the line cannot be parsed,
/// and under a check says why and what the item keeps instead.  True when
/// the whole line scanned.
bool note_scan(Reader &r, const char *text, const char *pattern, int assigned,
               const char *warning, const char *item,
               std::initializer_list<ScanField> fields) {
  // sscanf gives EOF, -1, for a line that ends before the first field.
  if (assigned < 0)
    assigned = 0;
  int index = 0;
  for (const ScanField &field : fields)
    if (index++ < assigned && field.origin)
      *field.origin = r.line_count;
  if (assigned >= static_cast<int>(fields.size()))
    return true;
  report_warning(r, warning);
  if (!r.checking)
    return false;
  ScanStop stop = find_scan_stop(text, pattern);
  const ScanField *failed = fields.begin() + assigned;
  std::string message = scan_stop_cause(text, stop, failed->name);
  // The fields not assigned keep what earlier lines gave them.
  std::vector<std::string> parts;
  std::vector<std::string> names;
  long long line = -1;
  for (const ScanField *field = failed; field != fields.end(); ++field) {
    if (!field->origin)
      continue;
    if (line >= 0 && *field->origin != line) {
      parts.push_back(joined(names) + (line ? " of line " + std::to_string(line)
                                            : " of no line yet"));
      names.clear();
    }
    line = *field->origin;
    names.push_back(std::string("the ") + field->name);
  }
  if (!names.empty())
    parts.push_back(joined(names) + (line ? " of line " + std::to_string(line)
                                          : " of no line yet"));
  if (!parts.empty())
    message += std::string("; ") + item + " keeps " + joined(parts);
  report_warning(r, message.c_str());
  return false;
}

/// Under a check, names a tag that ends before its 12 characters where
/// nothing follows the tag, so that "<" and the line end are stored in it.
void check_tag_width(Reader &r, const char *text, const char *pattern) {
  if (!r.checking)
    return;
  ScanStop stop = find_scan_stop(text, pattern);
  if (stop.matched || strcmp(stop.token, "<") != 0)
    return;
  char stored[tag_size + 1];
  for (int i = 0; i < tag_size; ++i) {
    unsigned char c = static_cast<unsigned char>(r.f.tag[i]);
    stored[i] = c < 0x20 || c == 0x7F ? '?' : static_cast<char>(c);
  }
  stored[tag_size] = '\0';
  report_check(r,
               "the tag between > and < is not 12 characters, stored as "
               "\"%s\"",
               stored);
}

/// Scans a channel or weather channel line into the shared fields.
bool scan_channel_line(Reader &r, const char *warning, const char *item) {
  ScanFields &f = r.f;
  Origins &o = r.o;
  const char *pattern =
      r.verbose ? channel_pattern_verbose : channel_pattern_terse;
  int assigned = sscanf(r.line, pattern, &f.line_number, f.tag, &f.frequency,
                        f.mode, f.tone, f.flags);
  return note_scan(r, r.line, pattern, assigned, warning, item,
                   {{"number", nullptr},
                    {"tag", &o.tag},
                    {"frequency", &o.frequency},
                    {"mode", &o.mode},
                    {"tone", &o.tone},
                    {"flags", &o.flags}});
}

/// Under a check, names a line whose written number is not that of the
/// slot it fills: lines fill slots in order, whatever their numbers say.
void check_line_number(Reader &r, long long expected, const char *slot) {
  long long written;
  if (!r.checking || !scan_whole_number(r.line, &written) ||
      written == expected)
    return;
  report_check(r,
               "number %lld is written on the line that fills %s: lines fill "
               "slots in order (txtimg -f places a line by its number)",
               written, slot);
}

/// Under a check, names a tag read from a line that holds control bytes.
void check_tag_bytes(Reader &r, long long origin, long long line,
                     const char *tag, int size) {
  // A tag that took in the line end is named by the check of its width.
  if (!r.checking || origin != line || memchr(tag, '\n', size))
    return;
  Findings findings;
  check_tag_controls(reinterpret_cast<const unsigned char *>(tag), size,
                     findings);
  for (int i = 0; i < findings.count; ++i)
    report_warning_at(r, line, findings.text[i]);
}

/// Where the mode text is read, for a message.
const char *mode_columns(const Reader &r) {
  return r.verbose ? "in columns 50-54" : "five characters after the frequency";
}

/// Under a check, says what the image holds after the encoder could not
/// match a mode (held says it), or place a frequency in a band (stored is
/// what the listing of the image shows, or held when the record is empty).
void explain_unmatched(Reader &r, const Warnings &warnings, long long line,
                       double frequency, double stored, const char *held,
                       bool empty = false) {
  if (!r.checking)
    return;
  Findings findings;
  for (int i = 0; i < warnings.count; ++i) {
    if (strcmp(warnings.text[i], "cannot match transmission mode") == 0) {
      char mode[8];
      printable_text(r.f.mode, mode, 5);
      add_finding(findings,
                  "mode text \"%s\" is not one of AM, FM, PL, DPL, LTR, MOT, "
                  "EDACS (upper case, %s): %s",
                  mode, mode_columns(r), held);
    } else if (strcmp(warnings.text[i], "cannot match frequency band") == 0 ||
               strcmp(warnings.text[i], "frequency out of range for band") ==
                   0) {
      if (empty)
        add_finding(findings, "%.4f MHz is in no band the image holds (%s): %s",
                    frequency, band_ranges_text().c_str(), held);
      else
        add_no_band(findings, frequency, stored);
    }
  }
  for (int i = 0; i < findings.count; ++i)
    report_warning_at(r, line, findings.text[i]);
}

/// Encodes the shared channel fields, reporting the encoder's warnings;
/// under a check, also what the line will not store as written, naming
/// the line the fields were read from.
ChannelCode encode_scanned_channel(Reader &r, bool scanned, RecordKind kind,
                                   long long line) {
  Warnings warnings;
  ChannelCode code = encode_channel_code(r.f.frequency, r.f.mode, r.f.tone,
                                         r.f.flags, warnings);
  bool warned = report_warnings(r, warnings);
  // A line that did not scan has fields of an earlier line; its warnings
  // say enough.
  if (scanned) {
    const char *held = kind == RecordKind::channel
                           ? "the channel is stored with no valid mode"
                       : kind == RecordKind::weather
                           ? "the weather channel is stored with no valid mode"
                           : "the search is stored with no valid mode";
    explain_unmatched(r, warnings, line, r.f.frequency,
                      decode_channel_code(code.bytes, kind).frequency, held);
  }
  if (r.checking && scanned) {
    Findings findings;
    check_channel({r.f.frequency, r.f.mode, r.f.tone, r.f.flags, kind, warned},
                  code, findings);
    for (int i = 0; i < findings.count; ++i)
      report_warning_at(r, line, findings.text[i]);
  }
  return code;
}

void read_bank_channels(Reader &r, int bank) {
  ScanFields &f = r.f;
  for (int c = 1; c <= channel_count; ++c) {
    read_bank_line(r, f.bank_number, c);
    bool scanned =
        scan_channel_line(r, "cannot parse bank channel", "the channel");
    check_numbers(r, r.line, "*");
    char slot[64];
    snprintf(slot, sizeof slot, "channel %d of bank %lld", c - 1,
             f.bank_number);
    check_line_number(r, c - 1, slot);
    check_tag_bytes(r, r.o.tag, r.line_count, f.tag, tag_size);
    ChannelCode code =
        encode_scanned_channel(r, scanned, RecordKind::channel, r.line_count);
    if (bank != not_stored) {
      int at = channel_offset(bank, c - 1);
      store_bytes(r, at, code.bytes, code_size, Field::bchan1);
      store_bytes(r, at + code_size, f.tag, tag_size, Field::bchan2);
    }
  }
}

void read_bank_search(Reader &r, int bank) {
  ScanFields &f = r.f;
  Origins &o = r.o;
  read_bank_line(r, f.bank_number, channel_count);
  long long start_line = r.line_count;
  const char *pattern =
      r.verbose ? search_pattern_verbose : search_pattern_terse;
  bool start_scanned = note_scan(
      r, r.line, pattern,
      sscanf(r.line, pattern, f.tag, &f.frequency, f.mode, f.tone, f.flags),
      "cannot parse bank search", "the search",
      {{"tag", &o.tag},
       {"start frequency", &o.frequency},
       {"mode", &o.mode},
       {"tone", &o.tone},
       {"flags", &o.flags}});
  check_tag_bytes(r, o.tag, start_line, f.tag, tag_size);
  read_bank_line(r, f.bank_number, channel_count);
  pattern = r.verbose ? search_end_pattern_verbose : search_end_pattern_terse;
  bool end_scanned =
      note_scan(r, r.line, pattern,
                sscanf(r.line, pattern, &f.search_end, &f.search_step),
                "cannot parse bank search end", "the search",
                {{"end frequency", &o.search_end}, {"step", &o.search_step}});
  ChannelCode code =
      encode_scanned_channel(r, start_scanned, RecordKind::search, start_line);
  f.search_band = code.band;
  Warnings warnings;
  SearchEnd end =
      encode_search_end(f.search_end, f.search_step, f.search_band, warnings);
  bool warned = report_warnings(r, warnings);
  if (r.checking && start_scanned && end_scanned) {
    Findings findings;
    check_search_end(
        {f.frequency, f.mode, f.tone, f.flags, RecordKind::search, false},
        f.search_end, f.search_step, f.search_band, end, warned, findings);
    report_findings(r, findings);
  }
  if (bank != not_stored) {
    int at = bank_base(bank) + bank_search_offset;
    store_bytes(r, at, code.bytes, code_size, Field::bsrch1);
    store_bytes(r, at + code_size, f.tag, tag_size, Field::bsrch2);
    store_bytes(r, at + record_size, end.bytes, search_end_size, Field::bsrch3);
  }
}

void read_bank_info(Reader &r, int bank) {
  ScanFields &f = r.f;
  int base = bank != not_stored ? bank_base(bank) : 0;
  read_bank_line(r, f.bank_number, channel_count);
  if (!starts_with(r.line + bank_info_column, bank_info_word))
    report_fatal(r, "Bank info line not found");

  Origins &o = r.o;
  read_bank_line(r, f.bank_number, channel_count);
  int column = r.verbose ? bank_tag_column_verbose : bank_tag_column_terse;
  const char *text = from_column(r, column);
  if (note_scan(r, text, tag_pattern, sscanf(text, tag_pattern, f.tag),
                "cannot parse bank alpha tag", "the bank", {{"tag", &o.tag}}))
    check_tag_width(r, text, tag_pattern);
  check_tag_bytes(r, o.tag, r.line_count, f.tag, tag_size);
  if (bank != not_stored)
    store_bytes(r, base + bank_tag_offset, f.tag, tag_size, Field::batag);

  column = r.verbose ? bank_field_column_verbose : bank_field_column_terse;
  read_bank_line(r, f.bank_number, channel_count);
  text = from_column(r, column);
  bool mode_scanned =
      note_scan(r, text, mode_offset_pattern,
                sscanf(text, mode_offset_pattern, f.mode_offset_text),
                "cannot parse bank mode/offset", "the bank",
                {{"mode/offset text", &o.mode_offset}});
  int mode_offset = encode_mode_offset(f.mode_offset_text);
  if (mode_scanned) {
    // Two of the characters count; the listing gives back the whole text.
    const char *stored = decode_mode_offset(mode_offset).text;
    if (r.checking && strncmp(f.mode_offset_text, stored, 23) != 0) {
      char written[mode_offset_text_size + 1];
      printable_text(f.mode_offset_text, written, mode_offset_text_size);
      report_check(r, "mode/offset \"%s\" is stored as \"%s\"", written,
                   stored);
    }
  }
  if (bank != not_stored)
    store(r, base + bank_mode_offset, mode_offset, Field::bonoff);

  read_bank_line(r, f.bank_number, channel_count);
  text = from_column(r, column);
  note_scan(r, text, bank_type_pattern,
            sscanf(text, bank_type_pattern, f.bank_type_text),
            "cannot parse bank type", "the bank",
            {{"bank type", &o.bank_type}});
  Warnings warnings;
  f.bank_type = match_bank_type(f.bank_type_text, warnings);
  if (report_warnings(r, warnings) && r.checking) {
    char type[8];
    printable_text(f.bank_type_text, type, 5);
    report_check(r,
                 "bank type text \"%s\" is not one of Conv, LTR, MOT, EDACS or "
                 "five blanks (upper case, %s): the bank type is stored as FF, "
                 "and the talkgroups keep their hexadecimal codes",
                 type, r.verbose ? "in columns 28-32" : "in columns 8-12");
  }
  if (bank != not_stored)
    store(r, base + bank_type_offset, f.bank_type, Field::btype);

  read_bank_line(r, f.bank_number, channel_count);
  int *s = f.fleet;
  text = from_column(r, fleet_map_column);
  bool fleet_scanned =
      note_scan(r, text, fleet_map_pattern,
                sscanf(text, fleet_map_pattern, &s[0], &s[1], &s[2], &s[3],
                       &s[4], &s[5], &s[6], &s[7]),
                "cannot parse fleet map line", "the bank",
                {{"size code of block 0", &o.fleet[0]},
                 {"size code of block 1", &o.fleet[1]},
                 {"size code of block 2", &o.fleet[2]},
                 {"size code of block 3", &o.fleet[3]},
                 {"size code of block 4", &o.fleet[4]},
                 {"size code of block 5", &o.fleet[5]},
                 {"size code of block 6", &o.fleet[6]},
                 {"size code of block 7", &o.fleet[7]}});
  check_numbers(r, from_column(r, fleet_map_column), "SSSSSSSS");
  if (r.checking && fleet_scanned) {
    Findings findings;
    check_fleet_map(s, findings);
    report_findings(r, findings);
  }
  if (bank != not_stored) {
    for (int i = 0; i < fleet_block_count; ++i)
      store(r, base + bank_fleet_offset + i, s[i], Field::fleet);
    for (int i = 0; i < lockout_area_size; ++i)
      store(r, base + bank_lockout_offset + i, 0xFF, Field::sloc0);
  }
}

void read_bank_lockouts(Reader &r, int bank) {
  ScanFields &f = r.f;
  read_listing_line(r, "blank line before search lockout");
  read_bank_line(r, f.bank_number, channel_count);
  if (!starts_with(r.line, lockout_header_start, lockout_header_length))
    report_fatal(r, "Search lockouts not found");
  for (long long &line : r.c.lockout_lines)
    line = 0;
  for (;;) {
    read_bank_line(r, f.bank_number, channel_count);
    if (starts_with(r.line, lockout_end_start, compared_length))
      break;
    // The lockout number is read whole, so that one too large for an int
    // cannot wrap round into the range of slots.
    int scanned = 0;
    if (scan_whole_number(r.line, &f.lockout_number))
      scanned = 1 + sscanf(r.line, lockout_rest_pattern, &f.lockout_frequency);
    note_scan(
        r, r.line, lockout_rest_pattern, scanned,
        "cannot parse search lockout line", "the lockout",
        {{"lockout number", nullptr}, {"frequency", &r.o.lockout_frequency}});
    // The number on the line decides the slot, and a slot outside the
    // lockout area would overwrite other fields.
    if (f.lockout_number < 1 || f.lockout_number > lockout_count) {
      report_warning(r, "lockout number out of range");
      continue;
    }
    long long &earlier = r.c.lockout_lines[f.lockout_number];
    if (r.checking && earlier != 0)
      report_check(r,
                   "lockout %lld is given at line %lld too; this line "
                   "replaces it",
                   f.lockout_number, earlier);
    earlier = r.line_count;
    Warnings warnings;
    LockoutPair pair =
        encode_lockout(f.lockout_frequency, f.search_band, warnings);
    bool warned = report_warnings(r, warnings);
    if (r.checking && scanned >= 2) {
      Findings findings;
      check_lockout(f.lockout_frequency, pair, f.search_band, warned, findings);
      report_findings(r, findings);
    }
    if (bank != not_stored) {
      int at = lockout_offset(bank, static_cast<int>(f.lockout_number));
      store(r, at, pair.first, Field::sloc1);
      store(r, at + 1, pair.second, Field::sloc2);
    }
  }
}

/// Under a check, names a talkgroup text that the listing of the image
/// would not give back as written (the word skip in lower case, or an ID
/// of 0, say), once the other checks found nothing.
void check_talkgroup_text(Reader &r, unsigned id) {
  ScanFields &f = r.f;
  if (f.bank_type != bank_type_ltr && f.bank_type != bank_type_mot &&
      f.bank_type != bank_type_edacs)
    return;
  unsigned char fleet[fleet_block_count];
  for (int i = 0; i < fleet_block_count; ++i)
    fleet[i] = static_cast<unsigned char>(f.fleet[i]);
  char back[talkgroup_text_size + 1];
  decode_talkgroup(f.bank_type, id, fleet, back);
  if (strncmp(back, f.talkgroup_text, talkgroup_text_size) == 0)
    return;
  char written[talkgroup_text_size + 1];
  printable_text(f.talkgroup_text, written, talkgroup_text_size);
  if (strspn(back, " ") == talkgroup_text_size)
    report_check(r, "talkgroup %s is stored as an empty slot", written);
  else
    report_check(r, "talkgroup %s is stored as %s", written, back);
}

void read_bank_talkgroups(Reader &r, int bank) {
  ScanFields &f = r.f;
  read_listing_line(r, "blank line before talkgroup IDs");
  read_bank_line(r, f.bank_number, channel_count);
  if (!starts_with(r.line, talkgroup_header_start, compared_length))
    report_fatal(r, "Talkgroup IDs not found");
  bool with_text = r.version > talkgroup_text_version;
  Origins &o = r.o;
  for (int t = 1; t <= talkgroup_count; ++t) {
    read_bank_line(r, f.bank_number, channel_count);
    const char *pattern =
        with_text ? talkgroup_pattern : talkgroup_pattern_v100;
    int count = with_text ? sscanf(r.line, pattern, &f.line_number,
                                   &f.talkgroup_code, f.talkgroup_text, f.tag)
                          : sscanf(r.line, pattern, &f.line_number,
                                   &f.talkgroup_code, f.tag);
    bool scanned =
        with_text ? note_scan(r, r.line, pattern, count,
                              "cannot parse talkgroup ID line", "the talkgroup",
                              {{"number", nullptr},
                               {"code", &o.talkgroup_code},
                               {"talkgroup text", &o.talkgroup_text},
                               {"tag", &o.tag}})
                  : note_scan(r, r.line, pattern, count,
                              "cannot parse talkgroup ID line", "the talkgroup",
                              {{"number", nullptr},
                               {"code", &o.talkgroup_code},
                               {"tag", &o.tag}});
    // An ID read from this line is checked even where the tag was not.
    bool id_read = count >= (with_text ? 3 : 2);
    if (scanned)
      check_tag_width(r, r.line, pattern);
    check_tag_bytes(r, o.tag, r.line_count, f.tag, tag_size);
    char slot[64];
    snprintf(slot, sizeof slot, "talkgroup %d of bank %lld", t, f.bank_number);
    check_line_number(r, t, slot);
    check_numbers(r, r.line, "*x");
    unsigned id =
        encode_talkgroup(f.bank_type, f.talkgroup_code,
                         with_text ? f.talkgroup_text : nullptr, f.fleet);
    if (r.checking && id_read) {
      if (with_text && !strchr(f.talkgroup_text, '-'))
        check_numbers(r, f.talkgroup_text, "d");
      Findings findings;
      check_talkgroup(f.bank_type, f.talkgroup_code,
                      with_text ? f.talkgroup_text : nullptr, f.fleet, id,
                      findings);
      report_findings(r, findings);
      if (with_text && findings.count == 0)
        check_talkgroup_text(r, id);
    }
    if (bank != not_stored) {
      int at = talkgroup_offset(bank, t);
      store(r, at, id & 0xFF, Field::trnk1);
      store(r, at + 1, id >> 8, Field::trnk2);
      store_bytes(r, at + 2, f.tag, tag_size, Field::trnk3);
    }
  }
}

void read_bank(Reader &r) {
  ScanFields &f = r.f;
  // The bank number is read whole, so that one too large for an int cannot
  // wrap round into the range of banks.
  int at = -1;
  long long number;
  if (sscanf(r.line, bank_number_prefix, &at) < 0 || at < 0 ||
      !scan_whole_number(r.line + at, &number))
    report_warning(r, "cannot parse bank start line");
  else
    f.bank_number = number;
  // A section for a bank the image does not have is read and checked, and
  // nothing of it is stored.
  int bank = not_stored;
  if (f.bank_number >= 0 && f.bank_number < bank_count)
    bank = static_cast<int>(f.bank_number);
  else
    report_warning(r, "bank number out of range");
  if (r.checking && bank != not_stored) {
    if (r.c.bank_seen[bank])
      report_check(r, "bank %d appears a second time, it replaces the first",
                   bank);
    r.c.bank_seen[bank] = true;
  }
  read_listing_line(r, "blank line after section header");
  read_bank_channels(r, bank);
  read_listing_line(r, "blank line before bank search data");
  read_bank_search(r, bank);
  read_listing_line(r, "blank line before bank info");
  read_bank_info(r, bank);
  read_bank_lockouts(r, bank);
  read_bank_talkgroups(r, bank);
  r.c.expected = talkgroup_footer_start;
}

/// Under a check, names a section read a second time; it replaces what
/// the first stored.
void check_repeated_section(Reader &r, bool *seen, const char *section) {
  if (r.checking && *seen)
    report_check(r, "%s section appears a second time, it replaces the first",
                 section);
  *seen = true;
}

void read_weather(Reader &r) {
  check_repeated_section(r, &r.c.weather_seen, "weather");
  read_listing_line(r, "blank line before weather bank");
  r.f.bank_number = weather_bank;
  for (int c = 1; c <= weather_count; ++c) {
    read_bank_line(r, weather_bank, c);
    bool scanned = scan_channel_line(r, "cannot parse weather channel",
                                     "the weather channel");
    check_numbers(r, r.line, "*");
    char slot[32];
    snprintf(slot, sizeof slot, "weather channel %d", c - 1);
    check_line_number(r, c - 1, slot);
    check_tag_bytes(r, r.o.tag, r.line_count, r.f.tag, tag_size);
    ChannelCode code =
        encode_scanned_channel(r, scanned, RecordKind::weather, r.line_count);
    int at = weather_channel_offset(c - 1);
    store_bytes(r, at, code.bytes, code_size, Field::wchan1);
    store_bytes(r, at + code_size, r.f.tag, tag_size, Field::wchan2);
  }
}

void read_bands(Reader &r) {
  ScanFields &f = r.f;
  Origins &o = r.o;
  check_repeated_section(r, &r.c.bands_seen, "preprogrammed search band");
  read_listing_line(r, "blank line before Preprogrammed Search Bands");
  f.bank_number = weather_bank;
  int rows = 0;
  for (int row = 1;; ++row) {
    read_bank_line(r, weather_bank, row);
    if (strlen(r.line) <= band_list_end_length)
      break;
    const char *pattern = r.verbose ? band_pattern_verbose : band_pattern_terse;
    bool scanned =
        note_scan(r, r.line, pattern,
                  sscanf(r.line, pattern, &f.line_number, f.tag, &f.frequency,
                         f.mode, &f.band_end, &f.band_step),
                  "cannot parse search band", "the band",
                  {{"number", nullptr},
                   {"tag", &o.tag},
                   {"start frequency", &o.frequency},
                   {"mode", &o.mode},
                   {"end frequency", &o.band_end},
                   {"step", &o.band_step}});
    check_numbers(r, r.line, "*");
    if (row > band_record_count) {
      report_warning(r, "too many search bands");
      continue;
    }
    char slot[32];
    snprintf(slot, sizeof slot, "search band %d", row - 1);
    check_line_number(r, row - 1, slot);
    Warnings warnings;
    BandCode code = encode_band_code(f.frequency, f.mode, f.band_end,
                                     f.band_step, warnings);
    bool warned = report_warnings(r, warnings);
    if (scanned) {
      explain_unmatched(r, warnings, r.line_count, f.frequency,
                        decode_band_code(code.bytes).start,
                        "the band is stored as the empty band record",
                        code.empty);
      if (!code.empty)
        check_tag_bytes(r, o.tag, r.line_count, f.tag, tag_size);
    }
    if (r.checking && scanned) {
      Findings findings;
      check_band_row(f.frequency, f.band_end, f.band_step, code, warned,
                     findings);
      report_findings(r, findings);
    }
    int at = band_record_offset(row);
    store_bytes(r, at, code.bytes, code_size, Field::psrch1);
    const char no_tag[tag_size] = {};
    store_bytes(r, at + code_size, code.empty ? no_tag : f.tag, tag_size,
                Field::psrch2);
    rows = row;
  }
  store(r, band_count_offset, rows, Field::psrch3);
  for (int n = rows + 1; n <= band_record_count; ++n) {
    int at = band_record_offset(n);
    const Field tags[code_size] = {Field::psrch4, Field::psrch5, Field::psrch6,
                                   Field::psrch7, Field::psrch8, Field::psrch8};
    for (int i = 0; i < code_size; ++i)
      store(r, at + i, empty_band_code[i], tags[i]);
    for (int i = code_size; i < record_size; ++i)
      store(r, at + i, 0, Field::psrch8);
  }
}

void read_message(Reader &r) {
  check_repeated_section(r, &r.c.message_seen, "opening message");
  read_listing_line(r, "blank line before Opening screen message");
  for (int k = 1; k <= message_line_count; ++k) {
    char label[32];
    snprintf(label, sizeof label, "opening message line %d", k);
    read_listing_line(r, label);
    if (note_scan(r, r.line, message_pattern,
                  sscanf(r.line, message_pattern, r.f.tag),
                  "cannot parse opening message line", "the message line",
                  {{"text", &r.o.tag}}))
      check_tag_width(r, r.line, message_pattern);
    check_tag_bytes(r, r.o.tag, r.line_count, r.f.tag, message_line_size);
    store_bytes(r, message_line_offset(k), r.f.tag, message_line_size,
                Field::oscr);
  }
}

/// Scans one settings value and stores its bytes, reporting under a check
/// what the checks of the values find; a line that gives fewer values
/// than its pattern asks for stores nothing.
bool read_setting(Reader &r, const SettingsLine &s) {
  Findings findings;
  bool read = store_setting(s, from_column(r, settings_value_column), *r.image,
                            findings, &r.c.listed_band_count);
  if (r.checking)
    report_findings(r, findings);
  return read;
}

void read_settings(Reader &r) {
  r.c.settings_seen = true;
  read_listing_line(r, "blank line before Scanner settings");
  for (const SettingsLine &s : settings_lines) {
    read_listing_line(r, s.kind == Setting::band_count
                             ? "Number of preprogrammed search bands"
                             : "scanner setting");
    check_numbers(r, from_column(r, settings_value_column),
                  setting_numbers(s.kind));
    if (read_setting(r, s))
      continue;
    report_warning(r, s.warning);
    if (r.checking)
      report_check(r,
                   "the %s at column %d is not what the line should hold; "
                   "the setting keeps the byte %02X",
                   s.name, settings_value_column, r.image->bytes[s.offset]);
  }
}

/// Reads the version line and sets the variant and the version value.
void read_version(Reader &r) {
  read_listing_line(r, "version line");
  // Some editors start a file they save as UTF-8 with a byte order mark.
  if (starts_with(r.line, byte_order_mark)) {
    size_t mark = strlen(byte_order_mark);
    memmove(r.line, r.line + mark, strlen(r.line + mark) + 1);
    report_warning(r, "byte order mark ignored");
  }
  int major = 0, minor = 0;
  char word[version_word_size + 1] = "";
  int scanned = sscanf(r.line, version_pattern, &major, &minor, word);
  if (scanned < 3)
    report_warning(r, "cannot parse version line");
  if (scanned < 2 || major != 1 || minor > 3)
    report_fatal(
        r, "wrong file version, this program is for ASC V 1.03 or earlier");
  r.verbose = scanned >= 3 && (word[0] == 'v' || word[0] == 'V');
  r.c.expected = instruction_start;
  r.version = major + minor * 0.01;
}

/// Under a check, names a line between sections that is not read: all
/// but blank lines, the instruction line and the end line of a bank's
/// talkgroups.
void check_skipped_line(Reader &r) {
  const char *expected = r.c.expected;
  r.c.expected = nullptr;
  if (!r.checking)
    return;
  char text[32];
  printable_text(r.line, text, 30);
  if (text[0] == '\0' || (expected && starts_with(r.line, expected)))
    return;
  report_check(r, "line between sections is not read: \"%s\"", text);
}

/// Under a check, names each section the listing lacks, by what the image
/// will hold instead.
void check_missing_sections(Reader &r) {
  if (!r.checking)
    return;
  for (int b = 0; b < bank_count; ++b)
    if (!r.c.bank_seen[b])
      report_check(r, "bank %d section is missing, bank %d stays all zero", b,
                   b);
  if (!r.c.weather_seen)
    report_check(r,
                 "weather section is missing, the weather channels stay "
                 "all zero");
  if (!r.c.bands_seen && r.c.listed_band_count > 0)
    report_check(r,
                 "preprogrammed search band section is missing, though the "
                 "settings list %lld bands; none is stored",
                 r.c.listed_band_count);
  if (!r.c.message_seen)
    report_check(r,
                 "opening message section is missing, the message stays "
                 "all zero");
  if (!r.c.settings_seen)
    report_check(r,
                 "scanner settings section is missing, the settings stay "
                 "all zero");
}

/// Reads sections until the settings or an unknown section header.
void read_sections(Reader &r) {
  for (;;) {
    read_listing_line(r, "section header");
    if (!starts_with(r.line, section_mark)) {
      check_skipped_line(r);
      continue;  // text between sections
    }
    r.c.expected = nullptr;
    if (starts_with(r.line, bank_prefix)) {
      read_bank(r);
    } else if (starts_with(r.line, weather_prefix)) {
      read_weather(r);
    } else if (starts_with(r.line, band_prefix)) {
      read_bands(r);
    } else if (starts_with(r.line, message_prefix)) {
      read_message(r);
    } else if (starts_with(r.line, settings_prefix)) {
      read_settings(r);
      return;
    } else {
      if (r.checking) {
        char header[32];
        printable_text(r.line, header, 30);
        report_check(r,
                     "section header \"%s\" is unknown: nothing after it is "
                     "read",
                     header);
      }
      return;
    }
  }
}

}  // namespace

bool read_listing(FILE *in, const char *input_name, FILE *err, ImageBody &image,
                  ListingCounts *check) {
  Reader r;
  r.in = in;
  r.name = input_name;
  r.err = err;
  r.image = &image;
  r.checking = check != nullptr;
  memset(image.bytes, 0, body_size);
  bool done = false;
  try {
    read_version(r);
    read_sections(r);
    check_missing_sections(r);
    done = true;
  } catch (const ListingFatal &) {
  } catch (const ListingReadError &e) {
    ++r.counts.errors;
    fprintf(err, "Cannot read %s: %s\n", input_name, strerror(e.error));
  }
  if (check)
    *check = r.counts;
  return done;
}
