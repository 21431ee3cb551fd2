// The columns and comment words of the CSV lists, and CSV rows read and
// written through libcsv.
#include "csvlist/csvlist.h"

#include <errno.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "common/codes.h"
#include "common/image.h"
#include "common/rules.h"

const char *const channel_columns[channel_column_count] = {
    "Location",   "Name",      "Frequency", "Duplex",   "Offset",
    "Tone",       "rToneFreq", "cToneFreq", "DtcsCode", "DtcsPolarity",
    "RxDtcsCode", "CrossMode", "Mode",      "TStep",    "Skip",
    "Power",      "Comment",   "URCALL",    "RPT1CALL", "RPT2CALL",
    "DVCODE",
};

const char *const talkgroup_columns[talkgroup_column_count] = {
    "Bank", "Slot", "Decimal", "ID", "Alpha Tag", "Skip",
};

namespace {

constexpr char mode_word[] = "mode=";
constexpr char flags_word[] = "flags=";

/// The trunking modes a Comment names; the others have columns of their
/// own.
constexpr int comment_modes[] = {mode_ltr, mode_mot, mode_edacs};

/// A mode name without its padding blanks.
std::string trimmed_mode_name(int mode) {
  std::string name = mode_names[mode];
  while (!name.empty() && name.back() == ' ')
    name.pop_back();
  return name;
}

constexpr char byte_order_mark[] = "\xEF\xBB\xBF";

/// True for a blank that trimming drops.
bool is_blank(char c) {
  return c == ' ' || c == '\t';
}

extern "C" void take_field(void *data, size_t size, void *context) {
  CsvReader *reader = static_cast<CsvReader *>(context);
  const char *text = static_cast<const char *>(data);
  if (reader->trim) {
    while (size > 0 && is_blank(text[0])) {
      ++text;
      --size;
    }
    while (size > 0 && is_blank(text[size - 1]))
      --size;
  }
  if (size > 0 && memchr(text, '\0', size))
    reader->row.nul = true;
  reader->row.fields.emplace_back(text, size);
}

extern "C" void take_row(int, void *context) {
  CsvReader *reader = static_cast<CsvReader *>(context);
  reader->rows.push_back(std::move(reader->row));
  reader->row = CsvRow();
  reader->row.line = reader->line;
}

/// Spaces around a field are part of it, as in CHIRP's own reader.
extern "C" int no_space(unsigned char) {
  return 0;
}

/// Blanks around a field are dropped, as RadioReference lists need.
extern "C" int blank_space(unsigned char c) {
  return c == ' ' || c == '\t';
}

/// The length of the line that starts at a place, its end (CR LF, LF or
/// CR) included.
size_t line_length(const std::string &text, size_t at) {
  size_t end = text.find_first_of("\r\n", at);
  if (end == std::string::npos)
    return text.size() - at;
  if (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n')
    ++end;
  return end + 1 - at;
}

/// Feeds the next line of the file to the parser.
void feed_line(CsvReader &reader) {
  if (reader.at >= reader.text.size()) {
    csv_fini(&reader.parser, take_field, take_row, &reader);
    reader.ended = true;
    return;
  }
  const char *start = reader.text.data() + reader.at;
  size_t length = line_length(reader.text, reader.at);
  reader.at += length;
  ++reader.line;
  bool in_row = !reader.row.fields.empty() || reader.parser.quoted ||
                reader.parser.entry_pos > 0;
  if (!in_row) {
    if (start[0] == '#')
      return;
    reader.row.line = reader.line;
  }
  csv_parse(&reader.parser, start, length, take_field, take_row, &reader);
}

}  // namespace

void write_csv_row(FILE *out, const char *const *fields, int count) {
  for (int i = 0; i < count; ++i) {
    if (i > 0)
      putc(',', out);
    if (strpbrk(fields[i], ",\"\r\n"))
      csv_fwrite(out, fields[i], strlen(fields[i]));
    else
      fputs(fields[i], out);
  }
  fputs("\r\n", out);
}

bool is_chirp_tone(double hertz) {
  static const double more_tones[] = {56.0, 57.0, 58.0, 59.0, 60.0,
                                      61.0, 62.0, 62.5, 63.0, 64.0};
  for (double tone : more_tones)
    if (fabs(tone - hertz) < 0.01)
      return true;
  return is_standard_ctcss_tone(hertz);
}

std::string tag_to_utf8(const unsigned char *tag, bool *controls) {
  int length = tag_size;
  while (length > 0 && (tag[length - 1] == ' ' || tag[length - 1] == '\0'))
    --length;
  std::string text;
  *controls = false;
  for (int i = 0; i < length; ++i) {
    unsigned char c = tag[i];
    if (c == '\0') {
      text += ' ';
    } else if (c < 0x20 || c == 0x7F) {
      text += '?';
      *controls = true;
    } else if (c >= 0x80) {
      text += static_cast<char>(0xC0 | c >> 6);
      text += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      text += static_cast<char>(c);
    }
  }
  return text;
}

void format_channel_comment(const ChannelComment &comment, char *text,
                            size_t size) {
  std::string words;
  for (int mode : comment_modes)
    if (comment.mode == mode)
      words = mode_word + trimmed_mode_name(mode);
  if (comment.flag_d || comment.flag_a) {
    if (!words.empty())
      words += ' ';
    words += flags_word;
    if (comment.flag_d)
      words += 'D';
    if (comment.flag_a)
      words += 'A';
  }
  snprintf(text, size, "%s", words.c_str());
}

ChannelComment read_channel_comment(const char *text) {
  ChannelComment comment;
  const char *at = text;
  while (*at) {
    while (*at == ' ')
      ++at;
    size_t length = strcspn(at, " ");
    std::string word(at, length);
    at += length;
    if (word.rfind(mode_word, 0) == 0) {
      std::string name = word.substr(strlen(mode_word));
      for (int mode : comment_modes)
        if (name == trimmed_mode_name(mode))
          comment.mode = mode;
    } else if (word.rfind(flags_word, 0) == 0) {
      std::string letters = word.substr(strlen(flags_word));
      comment.flag_d = letters.find('D') != std::string::npos;
      comment.flag_a = letters.find('A') != std::string::npos;
    }
  }
  return comment;
}

bool open_csv_reader(CsvReader &reader, FILE *in) {
  std::string text;
  char buffer[65536];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, in)) > 0)
    text.append(buffer, got);
  if (ferror(in)) {
    reader.failed = true;
    reader.error = errno ? errno : EIO;
    return false;
  }
  return open_csv_text(reader, std::move(text));
}

bool open_csv_text(CsvReader &reader, std::string text) {
  reader.text = std::move(text);
  if (reader.text.compare(0, 3, byte_order_mark) == 0)
    reader.text.erase(0, 3);
  if (csv_init(&reader.parser, 0) != 0)
    return false;
  reader.parsing = true;
  csv_set_space_func(&reader.parser, no_space);
  return true;
}

std::string first_csv_line(const CsvReader &reader) {
  size_t end = reader.text.find_first_of("\r\n");
  return reader.text.substr(0, end);
}

void set_csv_dialect(CsvReader &reader, char delimiter, bool trim) {
  csv_set_delim(&reader.parser, static_cast<unsigned char>(delimiter));
  csv_set_space_func(&reader.parser, trim ? blank_space : no_space);
  reader.trim = trim;
}

bool read_csv_row(CsvReader &reader, CsvRow &row) {
  while (reader.parsing && reader.rows.empty() && !reader.ended)
    feed_line(reader);
  if (reader.rows.empty())
    return false;
  row = std::move(reader.rows.front());
  reader.rows.pop_front();
  return true;
}

void close_csv_reader(CsvReader &reader) {
  if (reader.parsing)
    csv_free(&reader.parser);
  reader.parsing = false;
}

long count_csv_lines(const CsvReader &reader) {
  long lines = 0;
  for (size_t at = 0; at < reader.text.size();
       at += line_length(reader.text, at))
    ++lines;
  return lines;
}

int find_column(const CsvRow &header,
                std::initializer_list<const char *> names) {
  for (const char *name : names)
    for (size_t i = 0; i < header.fields.size(); ++i) {
      // Blanks around a header cell, and its case, do not count.
      const std::string &cell = header.fields[i];
      size_t start = cell.find_first_not_of(" \t");
      size_t end = cell.find_last_not_of(" \t");
      if (start != std::string::npos &&
          strcasecmp(cell.substr(start, end - start + 1).c_str(), name) == 0)
        return static_cast<int>(i);
    }
  return -1;
}

const char *field_of(const CsvRow &row, int column) {
  if (column < 0 || static_cast<size_t>(column) >= row.fields.size())
    return "";
  return row.fields[static_cast<size_t>(column)].c_str();
}
