// The columns and comment words of the CSV lists, and CSV rows read and
// written through libcsv.
#include "csvlist/csvlist.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include "common/codes.h"

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

extern "C" void take_field(void *data, size_t size, void *context) {
  CsvReader *reader = static_cast<CsvReader *>(context);
  reader->row.fields.emplace_back(static_cast<const char *>(data), size);
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

/// Feeds the next line of the file to the parser.
void feed_line(CsvReader &reader) {
  char *text = nullptr;
  size_t capacity = 0;
  ssize_t length = getline(&text, &capacity, reader.in);
  if (length < 0) {
    reader.error = errno;
    reader.failed = ferror(reader.in) != 0;
    csv_fini(&reader.parser, take_field, take_row, &reader);
    reader.ended = true;
    free(text);
    return;
  }
  ++reader.line;
  const char *start = text;
  if (reader.line == 1 && strncmp(start, "\xEF\xBB\xBF", 3) == 0) {
    start += 3;
    length -= 3;
  }
  bool in_row = !reader.row.fields.empty() || reader.parser.quoted ||
                reader.parser.entry_pos > 0;
  if (!in_row) {
    if (start[0] == '#') {
      free(text);
      return;
    }
    reader.row.line = reader.line;
  }
  csv_parse(&reader.parser, start, static_cast<size_t>(length), take_field,
            take_row, &reader);
  free(text);
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
  reader.in = in;
  if (csv_init(&reader.parser, 0) != 0)
    return false;
  csv_set_space_func(&reader.parser, no_space);
  return true;
}

bool read_csv_row(CsvReader &reader, CsvRow &row) {
  while (reader.rows.empty() && !reader.ended)
    feed_line(reader);
  if (reader.rows.empty())
    return false;
  row = std::move(reader.rows.front());
  reader.rows.pop_front();
  return true;
}

void close_csv_reader(CsvReader &reader) {
  csv_free(&reader.parser);
}

int find_column(const CsvRow &header,
                std::initializer_list<const char *> names) {
  for (const char *name : names)
    for (size_t i = 0; i < header.fields.size(); ++i)
      if (header.fields[i] == name)
        return static_cast<int>(i);
  return -1;
}

const char *field_of(const CsvRow &row, int column) {
  if (column < 0 || static_cast<size_t>(column) >= row.fields.size())
    return "";
  return row.fields[static_cast<size_t>(column)].c_str();
}
