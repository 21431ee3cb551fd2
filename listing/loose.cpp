// The loose reader: the lines of a listing are found by their shape and
// their words, their fields by blanks and tabs, and channels, talkgroups,
// lockouts and bands by the numbers written in front of them.  What the
// lines give is gathered first, then encoded section by section.
#include "listing/loose.h"

#include <ctype.h>
#include <errno.h>
#include <limits.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include "common/codes.h"
#include "common/rules.h"
#include "listing/listing.h"
#include "listing/settings.h"

namespace {

constexpr char channel_form[] =
    "a channel line is NUMBER [CODE BYTES] >TAG< FREQUENCY MODE TONE FLAGS";
constexpr char search_form[] =
    "a search line is Srch [CODE BYTES] >TAG< FREQUENCY MODE TONE FLAGS";
constexpr char search_end_form[] =
    "a search end line is End, step [CODE BYTES] END STEP";
constexpr char band_form[] =
    "a band line is NUMBER [CODE BYTES] >TAG< START MODE END STEP";
constexpr char lockout_form[] =
    "a lockout line is NUMBER [CODE BYTES] FREQUENCY";
constexpr char talkgroup_form[] =
    "a talkgroup line is NUMBER [CODE] [[TEXT]] >TAG<";
constexpr char message_form[] = "an opening message line is >TEXT<";
constexpr char mode_list[] = "AM, FM, PL, DPL, LTR, MOT, EDACS";

constexpr int no_key = -1;  ///< a line whose number does not read

/// A channel, weather channel or search line as given.
struct ChannelText {
  long line = 0;  ///< 0 when no line gives it
  char tag[tag_size];
  double frequency = 0.0;
  int mode = 0;
  std::string tone;  ///< as written; empty when none is given
  char flags[5] = "----";
};

struct BandText {
  long line = 0;
  char tag[tag_size];
  double start = 0.0, end = 0.0, step = 0.0;
  int mode = 0;
};

struct LockoutText {
  long line = 0;
  double frequency = 0.0;
};

struct TalkgroupText {
  long line = 0;
  bool has_code = false;
  unsigned long code = 0;
  bool has_text = false;
  std::string text;
  char tag[tag_size];
};

struct BankText {
  long line = 0;  ///< of the section header; 0 when there is none
  ChannelText channels[channel_count];
  ChannelText search;
  long end_line = 0;
  double end = 0.0, step = 0.0;
  long tag_line = 0;
  char tag[tag_size];
  long mode_offset_line = 0;
  int mode_offset = 0;
  long type_line = 0;
  char type[6] = "     ";
  long fleet_line = 0;
  long fleet[fleet_block_count] = {};
  LockoutText lockouts[lockout_count + 1];
  TalkgroupText talkgroups[talkgroup_count + 1];
};

struct SettingText {
  long line = 0;
  std::string values;  ///< the value texts, joined by blanks
};

/// Everything the lines of a listing give.
struct ListingText {
  BankText banks[bank_count];
  long weather_line = 0;
  ChannelText weather[weather_count];
  long bands_line = 0;
  BandText bands[band_record_count];
  long message_line = 0;
  std::vector<std::pair<long, std::string>> message;
  long settings_line = 0;
  SettingText settings[settings_line_count];
};

enum class Section { none, bank, weather, bands, message, settings };
enum class Block { channels, middle, lockouts, talkgroups };

/// A numbered list of lines: its range and, for "+", the last number.
struct KeyedList {
  const char *name;
  int first, last;
  long previous;
};

struct Loose {
  std::vector<std::string> lines;
  LooseFindings findings;
  ListingText t;
  Section section = Section::none;
  int bank = 0;
  Block block = Block::channels;
  bool awaiting_tag = false;  ///< the line after a bank info line
  bool skipping = false;      ///< in a section that could not be opened
  KeyedList list = {"", 0, 0, 0};
  int unknown_bytes_seen = 0;  ///< settings lines "Unknown byte."
  long line = 0;               ///< the line being read
};

__attribute__((format(printf, 4, 5))) void report(Loose &l, long line,
                                                  bool error,
                                                  const char *format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof text, format, args);
  va_end(args);
  l.findings.list.push_back({line, error, text});
  ++(error ? l.findings.errors : l.findings.warnings);
}

/// Reports each finding of a check as a warning of a line.
void report_all(Loose &l, long line, const Findings &findings) {
  for (int i = 0; i < findings.count; ++i)
    report(l, line, false, "%s", findings.text[i]);
}

/// Reports the encoder's warnings of a line; true when there were any.
bool report_warnings(Loose &l, long line, const Warnings &warnings) {
  for (int i = 0; i < warnings.count; ++i)
    report(l, line, false, "%s", warnings.text[i]);
  return warnings.count > 0;
}

/// A text for a message: blanks trimmed, what would not print as '?'.
std::string shown(const std::string &text) {
  char out[64];
  printable_text(text.c_str(), out, 60);
  return out;
}

std::string lower(const std::string &text) {
  std::string result = text;
  for (char &c : result)
    c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return result;
}

bool is_blank(char c) {
  return c == ' ' || c == '\t';
}

bool is_blank_line(const std::string &line) {
  for (char c : line)
    if (!is_blank(c))
      return false;
  return true;
}

/// The first character that is not a blank or a tab.
size_t first_visible(const std::string &line) {
  return std::min(line.find_first_not_of(" \t"), line.size());
}

bool is_comment(const std::string &line) {
  return line.compare(first_visible(line), 1, "#") == 0;
}

// Input: byte order mark, encoding, line ends.

/// The length of the UTF-8 sequence that starts at a byte, and its value;
/// 0 when no well-formed sequence starts there.
int utf8_sequence(const std::string &bytes, size_t at, unsigned *value) {
  unsigned char c = static_cast<unsigned char>(bytes[at]);
  int length = c < 0x80                 ? 1
               : c >= 0xC2 && c <= 0xDF ? 2
               : c >= 0xE0 && c <= 0xEF ? 3
               : c >= 0xF0 && c <= 0xF4 ? 4
                                        : 0;
  if (length == 0 || at + length > bytes.size())
    return 0;
  unsigned v = length == 1 ? c : c & (0x7F >> length);
  for (int k = 1; k < length; ++k) {
    unsigned char next = static_cast<unsigned char>(bytes[at + k]);
    if ((next & 0xC0) != 0x80)
      return 0;
    v = v << 6 | (next & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
  static const unsigned least[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (v < least[length] || (v >= 0xD800 && v <= 0xDFFF) || v > 0x10FFFF)
    return 0;
  *value = v;
  return length;
}

/// True when the bytes are UTF-8 throughout and hold a character beyond
/// ASCII: a listing saved by an editor that writes UTF-8.
bool is_utf8_text(const std::string &bytes) {
  bool beyond = false;
  for (size_t at = 0; at < bytes.size();) {
    unsigned value;
    int length = utf8_sequence(bytes, at, &value);
    if (length == 0)
      return false;
    beyond = beyond || length > 1;
    at += static_cast<size_t>(length);
  }
  return beyond;
}

/// A UTF-8 line in the listing's bytes: U+0080 to U+00FF become that byte,
/// any other character '?', with a warning.
std::string from_utf8(Loose &l, const std::string &text, long line) {
  std::string bytes;
  std::string replaced;
  for (size_t at = 0; at < text.size();) {
    unsigned value;
    int length = utf8_sequence(text, at, &value);
    if (length == 0) {  // only after a byte order mark
      bytes += text[at++];
      continue;
    }
    at += static_cast<size_t>(length);
    if (value <= 0xFF) {
      bytes += static_cast<char>(value);
      continue;
    }
    bytes += '?';
    char name[16];
    snprintf(name, sizeof name, "%sU+%04X", replaced.empty() ? "" : ", ",
             value);
    replaced += name;
  }
  if (!replaced.empty())
    report(l, line, false,
           "character %s has no place in the scanner's character set: "
           "stored as ?",
           replaced.c_str());
  return bytes;
}

/// Splits the input into lines: at line feeds when there is one (a carriage
/// return before one is its line end, any other is a byte of the line),
/// else at carriage returns.  A NUL byte reads as a blank.
void split_lines(Loose &l, const std::string &input) {
  std::string bytes = input;
  bool utf8 = false;
  if (bytes.compare(0, 3, byte_order_mark) == 0) {
    bytes.erase(0, 3);
    utf8 = true;
  } else {
    utf8 = is_utf8_text(bytes);
  }
  char end = bytes.find('\n') != std::string::npos ? '\n' : '\r';
  for (size_t at = 0; at < bytes.size();) {
    size_t next = bytes.find(end, at);
    if (next == std::string::npos)
      next = bytes.size();
    std::string line = bytes.substr(at, next - at);
    if (end == '\n' && !line.empty() && line.back() == '\r')
      line.pop_back();
    std::replace(line.begin(), line.end(), '\0', ' ');
    long number = static_cast<long>(l.lines.size()) + 1;
    l.lines.push_back(utf8 ? from_utf8(l, line, number) : line);
    at = next + 1;
  }
}

// Fields.

/// A cursor over the fields of a line.
struct Fields {
  const std::string &line;
  size_t at = 0;

  /// Skips blanks and tabs; true when anything follows them.
  bool more() {
    while (at < line.size() && is_blank(line[at]))
      ++at;
    return at < line.size();
  }
  /// The next field, up to a blank or tab; empty at the end of the line.
  std::string next() {
    more();
    size_t start = at;
    while (at < line.size() && !is_blank(line[at]))
      ++at;
    return line.substr(start, at - start);
  }
  /// The next field, without moving past it.
  std::string peek() {
    size_t kept = at;
    std::string field = next();
    at = kept;
    return field;
  }
  char next_char() {
    return more() ? line[at] : '\0';
  }
};

bool all_of(const std::string &text, const char *set) {
  return !text.empty() && strspn(text.c_str(), set) == text.size();
}

bool is_hex(const std::string &text) {
  return all_of(text, "0123456789abcdefABCDEF");
}

/// A code byte: one or two hexadecimal digits.
bool is_code_byte(const std::string &text) {
  return text.size() <= 2 && is_hex(text);
}

/// A decimal number as the listing writes one: a sign, digits and a point.
bool read_decimal(const std::string &text, double *value) {
  size_t at = text[0] == '+' || text[0] == '-' ? 1 : 0;
  size_t digits = 0, points = 0;
  for (size_t i = at; i < text.size(); ++i) {
    if (isdigit(static_cast<unsigned char>(text[i])))
      ++digits;
    else if (text[i] == '.')
      ++points;
    else
      return false;
  }
  if (digits == 0 || points > 1)
    return false;
  *value = strtod(text.c_str(), nullptr);
  return true;
}

bool read_whole(const std::string &text, long *value) {
  size_t at = text[0] == '+' || text[0] == '-' ? 1 : 0;
  if (at == text.size() || !all_of(text.substr(at), "0123456789"))
    return false;
  errno = 0;
  *value = strtol(text.c_str(), nullptr, 10);
  return errno == 0;
}

/// Skips the code bytes before a field: none, or exactly count of them.
bool skip_code_bytes(Fields &f, int count, bool (*ends)(Fields &)) {
  size_t kept = f.at;
  int seen = 0;
  while (!ends(f) && is_code_byte(f.peek())) {
    f.next();
    ++seen;
  }
  if (seen == 0 || seen == count)
    return true;
  f.at = kept;
  return false;
}

bool at_tag(Fields &f) {
  return f.next_char() == '>';
}

/// Reads ">TAG<" where a field follows the tag: the 12 characters after '>'
/// when '<' follows them, else those up to the next '<'; a shorter tag is
/// padded with blanks.  False with the reason when there is none.
bool read_tag(Fields &f, char *tag, std::string *why) {
  if (!at_tag(f)) {
    *why = "the tag between > and < is missing";
    return false;
  }
  size_t open = f.at;
  size_t close = open + tag_size + 1;
  if (close >= f.line.size() || f.line[close] != '<')
    close = f.line.find('<', open + 1);
  if (close == std::string::npos) {
    *why = "the tag has no < after it";
    return false;
  }
  size_t length = close - open - 1;
  if (length > static_cast<size_t>(tag_size)) {
    *why = "tag \"" + shown(f.line.substr(open + 1, length)) + "\" is " +
           std::to_string(length) + " characters, at most 12 fit";
    return false;
  }
  memset(tag, ' ', tag_size);
  memcpy(tag, f.line.data() + open + 1, length);
  f.at = close + 1;
  return true;
}

/// Reads ">TAG<" as the last field of a line, whose '<' is its last
/// character.
bool read_last_tag(const std::string &line, size_t from, char *tag,
                   std::string *why) {
  size_t end = line.size();
  while (end > from && is_blank(line[end - 1]))
    --end;
  if (end == from || line[end - 1] != '<') {
    *why = "the line does not end with the tag between > and <";
    return false;
  }
  size_t close = end - 1;
  size_t open = std::string::npos;
  if (close >= from + tag_size + 1 && line[close - tag_size - 1] == '>') {
    open = close - tag_size - 1;
  } else {
    // A short tag: the '>' after which the tag reads as the text in front
    // of it does (a bank tag line's plain copy), else the last one.
    for (size_t at = line.find('>', from); at < close;
         at = line.find('>', at + 1)) {
      std::string front = line.substr(from, at - from);
      std::string inside = line.substr(at + 1, close - at - 1);
      if (is_blank_line(front) || shown(front) == shown(inside)) {
        open = at;
        break;
      }
      open = at;
    }
  }
  if (open == std::string::npos) {
    *why = "the tag has no > in front of it";
    return false;
  }
  size_t length = close - open - 1;
  if (length > static_cast<size_t>(tag_size)) {
    *why = "tag \"" + shown(line.substr(open + 1, length)) + "\" is " +
           std::to_string(length) + " characters, at most 12 fit";
    return false;
  }
  memset(tag, ' ', tag_size);
  memcpy(tag, line.data() + open + 1, length);
  return true;
}

/// The mode index of a mode name in any case; -1 for none.
int mode_of(const std::string &name) {
  std::string upper = name;
  for (char &c : upper)
    c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  for (int m = 0; m < known_mode_count; ++m)
    if (trim_blanks(mode_names[m]) == upper)
      return m;
  return -1;
}

/// Reads a mode name; a number written against it ("EDACS1061.9875", as
/// a band row may show one) is left as the next field.
bool read_mode(Fields &f, int *mode, std::string *why) {
  f.more();
  size_t start = f.at;
  while (f.at < f.line.size() &&
         isalpha(static_cast<unsigned char>(f.line[f.at])))
    ++f.at;
  std::string name = f.line.substr(start, f.at - start);
  if (f.at < f.line.size() && !is_blank(f.line[f.at]) &&
      !isdigit(static_cast<unsigned char>(f.line[f.at])) &&
      f.line[f.at] != '.') {
    f.at = start;
    name = f.next();
  }
  *mode = mode_of(name);
  if (*mode >= 0)
    return true;
  *why = name.empty()
             ? "the mode is missing"
             : "mode \"" + shown(name) + "\" is not one of " + mode_list;
  return false;
}

bool read_frequency(Fields &f, const char *what, double *value,
                    std::string *why) {
  std::string field = f.next();
  if (read_decimal(field, value))
    return true;
  *why = field.empty() ? std::string("the ") + what + " is missing"
                       : std::string(what) + " \"" + shown(field) +
                             "\" is not a number in MHz";
  return false;
}

/// Flags in any case and order, as letters alone or in their columns.
bool read_flags(const std::string &field, char *flags) {
  if (!all_of(field, "UDALudal-"))
    return false;
  strcpy(flags, "----");
  static const char letters[] = "UDAL";
  for (char c : field)
    if (c != '-')
      flags[strchr(letters, toupper(static_cast<unsigned char>(c))) - letters] =
          static_cast<char>(toupper(static_cast<unsigned char>(c)));
  return true;
}

/// The tone and the flags after the mode; either may be left out, a tone
/// being a number or D and octal digits, the flags letters and dashes.  A
/// weather channel shows no tone, so its line may give none.
bool read_tone_and_flags(Fields &f, ChannelText &c, bool weather,
                         std::string *why) {
  std::string first = f.next(), second = f.next();
  if (f.more()) {
    *why = "\"" + shown(f.next()) + "\" follows the flags";
    return false;
  }
  if (second.empty() && read_flags(first, c.flags))
    first.clear();
  else if (!second.empty() && !read_flags(second, c.flags)) {
    *why = "flags \"" + shown(second) +
           "\" are not the letters U, D, A, L and dashes";
    return false;
  }
  c.tone = first;
  double hertz;
  if (weather && (c.tone.empty() || read_decimal(c.tone, &hertz)))
    return true;
  if (c.mode == mode_dpl && !c.tone.empty()) {
    std::string digits = c.tone.substr(1);
    if (toupper(static_cast<unsigned char>(c.tone[0])) != 'D' ||
        !all_of(digits, "01234567")) {
      *why = "DCS code \"" + shown(c.tone) +
             "\" is not D followed by octal digits";
      return false;
    }
    c.tone = "D" + digits;
  } else if (!c.tone.empty()) {
    if (!read_decimal(c.tone, &hertz)) {
      *why = (c.mode == mode_pl ? "PL tone \"" : "tone \"") + shown(c.tone) +
             "\" is not a number in Hz";
      return false;
    }
  }
  if (c.tone.empty() && (c.mode == mode_pl || c.mode == mode_dpl)) {
    *why = c.mode == mode_pl ? "mode PL needs its tone in Hz"
                             : "mode DPL needs its code, D and octal digits";
    return false;
  }
  return true;
}

// Numbered lines.

/// Reads the number in front of a line, or "+": the one after the last.
long read_key(Loose &l, Fields &f) {
  std::string field = f.next();
  long key;
  if (field == "+") {
    key = l.list.previous + 1;
  } else if (read_whole(field, &key)) {
  } else {
    report(l, l.line, true, "the line does not begin with its number or +");
    return no_key;
  }
  l.list.previous = key;
  if (key < l.list.first || key > l.list.last) {
    report(l, l.line, true, "%s number %ld is outside %d to %d", l.list.name,
           key, l.list.first, l.list.last);
    return no_key;
  }
  return key;
}

/// Notes a line that gives a numbered thing; false, with an error, when
/// another line gave it already.
bool claim(Loose &l, long *line, const char *what) {
  if (*line != 0) {
    report(l, l.line, true, "%s is given twice, at lines %ld and %ld", what,
           *line, l.line);
    return false;
  }
  *line = l.line;
  return true;
}

bool ends_at_tag(Fields &f) {
  return at_tag(f);
}

/// Reads a channel, weather channel or search line after its number or
/// word; false with the reason when it does not read.
bool read_channel_fields(Fields &f, ChannelText &c, bool weather,
                         std::string *why) {
  if (!skip_code_bytes(f, code_size, ends_at_tag)) {
    *why = "the code bytes before the tag are not six hexadecimal numbers";
    return false;
  }
  return read_tag(f, c.tag, why) &&
         read_frequency(f, "frequency", &c.frequency, why) &&
         read_mode(f, &c.mode, why) && read_tone_and_flags(f, c, weather, why);
}

void start_list(Loose &l, const char *name, int first, int last) {
  l.list = {name, first, last, first - 1};
}

void read_channel_line(Loose &l, const std::string &line, ChannelText *list,
                       const char *what) {
  Fields f{line};
  long key = read_key(l, f);
  if (key == no_key)
    return;
  char name[48];
  if (list == l.t.weather)
    snprintf(name, sizeof name, "%s %ld", what, key);
  else
    snprintf(name, sizeof name, "%s %ld of bank %d", what, key, l.bank);
  ChannelText c;
  std::string why;
  if (!read_channel_fields(f, c, list == l.t.weather, &why)) {
    report(l, l.line, true, "%s; %s", why.c_str(), channel_form);
    return;
  }
  if (!claim(l, &list[key].line, name))
    return;
  c.line = l.line;
  list[key] = c;
}

void read_band_line(Loose &l, const std::string &line) {
  Fields f{line};
  long key = read_key(l, f);
  if (key == no_key)
    return;
  BandText b;
  std::string why;
  char name[32];
  snprintf(name, sizeof name, "band %ld", key);
  bool read = skip_code_bytes(f, code_size, ends_at_tag);
  if (!read)
    why = "the code bytes before the tag are not six hexadecimal numbers";
  read = read && read_tag(f, b.tag, &why) &&
         read_frequency(f, "start", &b.start, &why) &&
         read_mode(f, &b.mode, &why) &&
         read_frequency(f, "end", &b.end, &why) &&
         read_frequency(f, "step", &b.step, &why);
  if (read && f.more()) {
    why = "\"" + shown(f.next()) + "\" follows the step";
    read = false;
  }
  if (!read) {
    report(l, l.line, true, "%s; %s", why.c_str(), band_form);
    return;
  }
  if (!claim(l, &l.t.bands[key].line, name))
    return;
  b.line = l.line;
  l.t.bands[key] = b;
}

void read_lockout_line(Loose &l, const std::string &line) {
  BankText &bank = l.t.banks[l.bank];
  Fields f{line};
  long key = read_key(l, f);
  if (key == no_key)
    return;
  std::vector<std::string> fields;
  while (f.more())
    fields.push_back(f.next());
  double frequency;
  bool read =
      (fields.size() == 1 || (fields.size() == 3 && is_code_byte(fields[0]) &&
                              is_code_byte(fields[1]))) &&
      read_decimal(fields.back(), &frequency);
  if (!read) {
    report(l, l.line, true, "the lockout does not read; %s", lockout_form);
    return;
  }
  char name[48];
  snprintf(name, sizeof name, "lockout %ld of bank %d", key, l.bank);
  if (!claim(l, &bank.lockouts[key].line, name))
    return;
  bank.lockouts[key].frequency = frequency;
}

void read_talkgroup_line(Loose &l, const std::string &line) {
  BankText &bank = l.t.banks[l.bank];
  Fields f{line};
  long key = read_key(l, f);
  if (key == no_key)
    return;
  TalkgroupText g;
  std::string field = f.peek();
  if (!field.empty() && field[0] != '[' && field[0] != '>') {
    f.next();
    if (!is_hex(field) || field.size() > 8) {
      report(l, l.line, true, "code \"%s\" is not hexadecimal; %s",
             shown(field).c_str(), talkgroup_form);
      return;
    }
    g.has_code = true;
    g.code = strtoul(field.c_str(), nullptr, 16);
  }
  if (f.next_char() == '[') {
    size_t close = line.find(']', f.at);
    if (close == std::string::npos) {
      report(l, l.line, true, "the talkgroup text has no ] after it; %s",
             talkgroup_form);
      return;
    }
    g.has_text = true;
    g.text = line.substr(f.at + 1, close - f.at - 1);
    f.at = close + 1;
  }
  std::string why;
  if (!f.more() || f.line[f.at] != '>' ||
      !read_last_tag(line, f.at, g.tag, &why)) {
    report(l, l.line, true, "%s; %s",
           why.empty() ? "the tag between > and < is missing" : why.c_str(),
           talkgroup_form);
    return;
  }
  if (!g.has_code && !g.has_text) {
    report(l, l.line, true, "the talkgroup gives neither code nor text; %s",
           talkgroup_form);
    return;
  }
  char name[48];
  snprintf(name, sizeof name, "talkgroup %ld of bank %d", key, l.bank);
  if (!claim(l, &bank.talkgroups[key].line, name))
    return;
  g.line = l.line;
  bank.talkgroups[key] = g;
}

// The other lines of a bank section.

/// Reads the fields of a line up to a marker such as "(Bank type)", with
/// the code bytes in front left out.
std::vector<std::string> words_before(const std::string &line,
                                      const char *marker) {
  std::string text = line;
  size_t at = lower(text).find(marker);
  if (at != std::string::npos)
    text.erase(at);
  Fields f{text};
  std::vector<std::string> words;
  while (f.more())
    words.push_back(f.next());
  return words;
}

void read_search_line(Loose &l, const std::string &line) {
  BankText &bank = l.t.banks[l.bank];
  Fields f{line};
  f.next();  // Srch
  ChannelText c;
  std::string why;
  if (!read_channel_fields(f, c, false, &why)) {
    report(l, l.line, true, "%s; %s", why.c_str(), search_form);
    return;
  }
  char name[32];
  snprintf(name, sizeof name, "search line of bank %d", l.bank);
  if (!claim(l, &bank.search.line, name))
    return;
  c.line = l.line;
  bank.search = c;
}

void read_search_end_line(Loose &l, const std::string &line) {
  BankText &bank = l.t.banks[l.bank];
  std::string text = line;
  size_t at = lower(text).find("step");
  std::vector<std::string> fields =
      words_before(text.substr(at + strlen("step")), "\x01");
  double end, step;
  bool read = (fields.size() == 2 ||
               (fields.size() == 5 && is_code_byte(fields[0]) &&
                is_code_byte(fields[1]) && is_code_byte(fields[2]))) &&
              read_decimal(fields[fields.size() - 2], &end) &&
              read_decimal(fields.back(), &step);
  if (!read) {
    report(l, l.line, true, "the search end does not read; %s",
           search_end_form);
    return;
  }
  char name[40];
  snprintf(name, sizeof name, "search end line of bank %d", l.bank);
  if (!claim(l, &bank.end_line, name))
    return;
  bank.end = end;
  bank.step = step;
}

void read_bank_tag_line(Loose &l, const std::string &line) {
  BankText &bank = l.t.banks[l.bank];
  std::string why;
  char tag[tag_size];
  if (!read_last_tag(line, 0, tag, &why)) {
    report(l, l.line, true, "%s; a bank tag line is [TAG] >TAG<", why.c_str());
    return;
  }
  char name[32];
  snprintf(name, sizeof name, "tag line of bank %d", l.bank);
  if (!claim(l, &bank.tag_line, name))
    return;
  memcpy(bank.tag, tag, tag_size);
}

void read_mode_offset_line(Loose &l, const std::string &line) {
  BankText &bank = l.t.banks[l.bank];
  std::vector<std::string> words = words_before(line, "(mode/offset)");
  size_t at = 0;
  if (at < words.size() && is_code_byte(words[at]))
    ++at;
  std::string state = at < words.size() ? lower(words[at++]) : "";
  double offset = 0.0;
  bool read = state == "open" || state == "closed";
  if (read && at < words.size() && read_decimal(words[at], &offset))
    ++at;
  if (at < words.size() && lower(words[at]) == "khz")
    ++at;
  if (at < words.size() && lower(words[at]) == "offset")
    ++at;
  static const double offsets[4] = {0.0, 12.5, 25.0, 50.0};
  int row = -1;
  for (int i = 0; i < 4; ++i)
    if (offset == offsets[i])
      row = i;
  if (!read || row < 0 || at != words.size()) {
    report(l, l.line, true,
           "the mode/offset does not read: it is Open or Closed, then an "
           "offset of 0, 12.5, 25 or 50 kHz");
    return;
  }
  char name[40];
  snprintf(name, sizeof name, "mode/offset line of bank %d", l.bank);
  if (!claim(l, &bank.mode_offset_line, name))
    return;
  bank.mode_offset =
      encode_mode_offset(mode_offset_texts[2 * row + (state == "open")]);
}

/// The bank type name of a word in any case; null for none.
const char *bank_type_of(const std::string &word) {
  for (int type : {0, bank_type_ltr, bank_type_mot, bank_type_edacs})
    if (lower(trim_blanks(bank_type_names[type])) == lower(word))
      return bank_type_names[type];
  return nullptr;
}

void read_bank_type_line(Loose &l, const std::string &line) {
  BankText &bank = l.t.banks[l.bank];
  std::vector<std::string> words = words_before(line, "(bank type)");
  const char *name = "     ";
  size_t count = words.size();
  if (count > 0 && bank_type_of(words.back()))
    name = bank_type_of(words[--count]);
  if (count > 1 || (count == 1 && !is_code_byte(words[0]))) {
    std::string given;
    for (size_t i = is_code_byte(words[0]) ? 1 : 0; i < words.size(); ++i)
      given += (given.empty() ? "" : " ") + words[i];
    report(l, l.line, true,
           "bank type \"%s\" is not one of Conv, LTR, MOT, EDACS or blank",
           shown(given).c_str());
    return;
  }
  char what[40];
  snprintf(what, sizeof what, "bank type line of bank %d", l.bank);
  if (!claim(l, &bank.type_line, what))
    return;
  strcpy(bank.type, name);
}

/// True when a field is a size code: S and a number.
bool is_size_code(const std::string &field) {
  return field.size() > 1 &&
         toupper(static_cast<unsigned char>(field[0])) == 'S' &&
         all_of(field.substr(1), "0123456789");
}

bool is_fleet_map_line(const std::string &line) {
  int codes = 0;
  for (const std::string &word : words_before(line, "(fleet map)"))
    codes += is_size_code(word);
  return codes == fleet_block_count;
}

void read_fleet_map_line(Loose &l, const std::string &line) {
  BankText &bank = l.t.banks[l.bank];
  std::vector<std::string> words = words_before(line, "(fleet map)");
  long values[fleet_block_count];
  int count = 0;
  bool read = true;
  for (const std::string &word : words) {
    if (is_size_code(word) && count < fleet_block_count)
      read = read_whole(word.substr(1), &values[count++]) && read;
    else if (!is_code_byte(word) || count > 0)
      read = false;
  }
  if (!read || count != fleet_block_count) {
    report(l, l.line, true,
           "the fleet map does not read: it is eight size codes S0 to S14");
    return;
  }
  char what[40];
  snprintf(what, sizeof what, "fleet map line of bank %d", l.bank);
  if (!claim(l, &bank.fleet_line, what))
    return;
  memcpy(bank.fleet, values, sizeof values);
}

/// True when a line is the bank info line " Bank N info:".
bool is_bank_info_line(const std::string &line) {
  std::string text = lower(line);
  size_t at = first_visible(text);
  return text.compare(at, 4, "bank") == 0 &&
         text.find("info", at) != std::string::npos;
}

// Sections.

/// What a section header line names.
enum class Header { none, bank, weather, bands, message, settings, unknown };

Header read_header(const std::string &line, long *bank) {
  std::string text = lower(line);
  size_t at = 0;
  bool stars = false;
  while (at < text.size() && (text[at] == '*' || is_blank(text[at]))) {
    stars = stars || text[at] == '*';
    ++at;
  }
  std::string rest = text.substr(at);
  auto starts = [&](const char *word) {
    return rest.compare(0, strlen(word), word) == 0;
  };
  if (starts("bank")) {
    size_t at = first_visible(rest.substr(4)) + 4;
    size_t digits = strspn(rest.c_str() + at, "0123456789");
    size_t after = at + digits;
    while (after < rest.size() && (rest[after] == '*' || is_blank(rest[after])))
      ++after;
    if (rest.compare(after, 4, "info") == 0)
      return Header::none;
    *bank = digits == 0 || digits > 6 ? no_key
                                      : strtol(rest.c_str() + at, nullptr, 10);
    return Header::bank;
  }
  if (starts("weather"))
    return Header::weather;
  if (starts("preprogrammed"))
    return Header::bands;
  if (starts("opening"))
    return Header::message;
  if (starts("scanner"))
    return Header::settings;
  return stars && line.compare(0, 6, section_mark) == 0 ? Header::unknown
                                                        : Header::none;
}

/// Opens the section a header names; false when the line is no header.
bool open_section(Loose &l, const std::string &line) {
  long bank = 0;
  Header header = read_header(line, &bank);
  if (header == Header::none)
    return false;
  l.awaiting_tag = false;
  l.section = Section::none;
  switch (header) {
    case Header::none:
      break;
    case Header::unknown:
      report(l, l.line, true,
             "section header \"%s\" is none of Bank, Weather, Preprogrammed, "
             "Opening and Scanner",
             shown(line).c_str());
      break;
    case Header::bank: {
      if (bank < 0 || bank >= bank_count) {
        if (bank == no_key)
          report(l, l.line, true, "the bank header gives no bank number");
        else
          report(l, l.line, true, "bank number %ld is outside 0 to 9", bank);
        break;
      }
      char what[32];
      snprintf(what, sizeof what, "bank %ld section", bank);
      if (!claim(l, &l.t.banks[bank].line, what))
        break;
      l.section = Section::bank;
      l.bank = static_cast<int>(bank);
      l.block = Block::channels;
      start_list(l, "channel", 0, channel_count - 1);
      break;
    }
    case Header::weather:
      if (!claim(l, &l.t.weather_line, "weather section"))
        break;
      l.section = Section::weather;
      start_list(l, "weather channel", 0, weather_count - 1);
      break;
    case Header::bands:
      if (!claim(l, &l.t.bands_line, "preprogrammed search band section"))
        break;
      l.section = Section::bands;
      start_list(l, "band", 0, band_record_count - 1);
      break;
    case Header::message:
      if (!claim(l, &l.t.message_line, "opening message section"))
        break;
      l.section = Section::message;
      break;
    case Header::settings:
      if (!claim(l, &l.t.settings_line, "scanner settings section"))
        break;
      l.section = Section::settings;
      l.unknown_bytes_seen = 0;
      break;
  }
  // The lines of a section that cannot be opened are not read.
  l.skipping = l.section == Section::none;
  return true;
}

/// True when a line begins, after blanks, with a word in any case.
bool begins_with(const std::string &line, const char *word) {
  return lower(line).compare(first_visible(line), strlen(word), word) == 0;
}

/// True when the first field of a line is a number or "+".
bool is_numbered(const std::string &line) {
  Fields f{line};
  std::string field = f.next();
  long value;
  return field == "+" || read_whole(field, &value);
}

void read_bank_line(Loose &l, const std::string &line) {
  std::string text = lower(line);
  bool tagged = line.find('>') != std::string::npos;
  if (begins_with(line, "srch")) {
    read_search_line(l, line);
  } else if (begins_with(line, "end,") ||
             (begins_with(line, "end") &&
              text.find("step") != std::string::npos)) {
    read_search_end_line(l, line);
  } else if (is_bank_info_line(line) && !tagged) {
    l.awaiting_tag = true;
  } else if (begins_with(line, "search lockout")) {
    l.block = Block::lockouts;
    start_list(l, "lockout", 1, lockout_count);
  } else if (begins_with(line, "(end lockouts)") ||
             begins_with(line, "(end talk")) {
    l.block = Block::middle;
  } else if (begins_with(line, "talkgroup ids")) {
    l.block = Block::talkgroups;
    start_list(l, "talkgroup", 1, talkgroup_count);
  } else if (is_numbered(line) && tagged && l.block == Block::channels) {
    read_channel_line(l, line, l.t.banks[l.bank].channels, "channel");
  } else if (is_numbered(line) && tagged && l.block == Block::talkgroups) {
    read_talkgroup_line(l, line);
  } else if (text.find("(mode/offset)") != std::string::npos ||
             text.find("khz offset") != std::string::npos) {
    read_mode_offset_line(l, line);
  } else if (text.find("(bank type)") != std::string::npos) {
    read_bank_type_line(l, line);
  } else if (text.find("(fleet map)") != std::string::npos ||
             is_fleet_map_line(line)) {
    read_fleet_map_line(l, line);
  } else if (is_numbered(line) && l.block == Block::lockouts) {
    read_lockout_line(l, line);
  } else if (tagged && !is_numbered(line) && l.t.banks[l.bank].search.line &&
             l.block == Block::channels) {
    // A bank tag line whose info line was left out, or a second one.
    read_bank_tag_line(l, line);
  } else if (tagged && !is_numbered(line) && l.block != Block::middle) {
    report(l, l.line, true, "the line does not begin with its number or +");
  } else {
    std::vector<std::string> words = words_before(line, "\x01");
    size_t at = !words.empty() && is_code_byte(words[0]) ? 1 : 0;
    std::string word = at < words.size() ? lower(words[at]) : "";
    if (word == "open" || word == "closed")
      read_mode_offset_line(l, line);
    else if (bank_type_of(word))
      read_bank_type_line(l, line);
    else
      report(l, l.line, true,
             is_numbered(line) ? "numbered line outside the channel, lockout "
                                 "and talkgroup lists of bank %d"
                               : "line is none of the lines of bank %d",
             l.bank);
  }
}

/// A settings line: the words that tell it, in its description, and the
/// word the description begins with.
struct SettingWords {
  int index;  ///< into settings_lines; the two unknown bytes share one
  const char *tells;
  const char *begins;
};

constexpr int unknown_byte_index = 10;  ///< the first of the two

// In the order they are tried: a description may hold another's words.
constexpr SettingWords setting_words[] = {
    {0, "initialized 14", "unknown"},
    {4, "usually", "unknown"},
    {unknown_byte_index, "unknown byte", "unknown"},
    {1, "backlight", "backlight"},
    {5, "minimum", "minimum"},
    {3, "trunk", "trunk"},
    {2, "scan delay", "scan delay"},
    {6, "contrast", "display"},
    {7, "priority channel", "priority"},
    {8, "last search", "last"},
    {9, "priority", "priority"},
    {12, "preprogrammed", "number"},
    {13, "keypad", "keypad"},
    {14, "scan banks", "enabled"},
    {15, "search banks", "active"},
};

/// True when a value text has the form its setting reads.
bool is_setting_value(Setting kind, const std::string &word) {
  double real;
  long whole;
  switch (kind) {
    case Setting::hex_byte:
    case Setting::last_search:
      return is_hex(word);
    case Setting::number:
    case Setting::delay:
    case Setting::priority:
    case Setting::band_count:
      return read_whole(word, &whole);
    case Setting::tenths:
    case Setting::keypad:
      return read_decimal(word, &real);
    case Setting::bank_word:
      return true;
  }
  return false;
}

void read_settings_line(Loose &l, const std::string &line) {
  std::string text = lower(line);
  const SettingWords *words = nullptr;
  for (const SettingWords &w : setting_words)
    if (text.find(w.tells) != std::string::npos) {
      words = &w;
      break;
    }
  if (!words) {
    report(l, l.line, true,
           "line is none of the settings: each ends with its description");
    return;
  }
  int index = words->index;
  if (index == unknown_byte_index && l.unknown_bytes_seen++ > 0)
    index = unknown_byte_index + 1;
  const SettingsLine &s = settings_lines[index];
  size_t begins = text.find(words->begins);
  if (begins == std::string::npos || begins > text.find(words->tells))
    begins = text.find(words->tells);
  std::vector<std::string> fields =
      words_before(line.substr(0, begins), "\x01");
  size_t count = static_cast<size_t>(setting_value_count(s.kind));
  bool read = fields.size() >= count;
  std::string values;
  for (size_t i = read ? fields.size() - count : 0; read && i < fields.size();
       ++i) {
    read = is_setting_value(s.kind, fields[i]);
    values += (values.empty() ? "" : " ") + fields[i];
  }
  if (!read) {
    report(l, l.line, true,
           "the %s does not read: its value comes before "
           "its description",
           s.name);
    return;
  }
  // The listing shows the pair side by side, the second in two columns
  // that a third digit would join to the first.
  long second;
  if (s.kind == Setting::priority && read_whole(fields.back(), &second) &&
      second > 99) {
    report(l, l.line, true,
           "priority channel number %ld has more than two digits, which the "
           "listing cannot show apart from the first",
           second);
    return;
  }
  char what[64];
  snprintf(what, sizeof what, "setting \"%s\"", s.name);
  if (!claim(l, &l.t.settings[index].line, what))
    return;
  l.t.settings[index].values = values;
}

void read_message_line(Loose &l, const std::string &line) {
  size_t at = first_visible(line);
  std::string why;
  char text[tag_size];
  if (at >= line.size() || line[at] != '>' ||
      !read_last_tag(line, at, text, &why)) {
    report(l, l.line, true, "%s; %s",
           why.empty() ? "the line does not begin with >" : why.c_str(),
           message_form);
    return;
  }
  if (l.t.message.size() == message_line_count) {
    report(l, l.line, true, "the opening message has only %d lines",
           message_line_count);
    return;
  }
  l.t.message.push_back({l.line, std::string(text, message_line_size)});
}

/// True when a line outside every section is one the listing has there.
bool is_lead_line(Loose &l, const std::string &line) {
  if (begins_with(line, "imgtxt version")) {
    int major = 0, minor = 0;
    const char *text = line.c_str() + first_visible(line);
    if (sscanf(text + strlen("imgtxt version"), "%d.%d", &major, &minor) != 2 ||
        major != 1 || minor < 0 || minor > 3)
      report(l, l.line, true,
             "wrong file version, this program is for ASC V 1.03 or earlier");
    return true;
  }
  return begins_with(line, "edit this file");
}

void read_line(Loose &l, const std::string &line) {
  if (l.awaiting_tag && line.find('>') != std::string::npos &&
      line.find('<') != std::string::npos) {
    l.awaiting_tag = false;
    read_bank_tag_line(l, line);
    return;
  }
  if (is_blank_line(line) || is_comment(line))
    return;
  if (l.awaiting_tag) {
    report(l, l.line, true,
           "the bank tag line [TAG] >TAG< should follow the bank info line");
    l.awaiting_tag = false;
  }
  if (open_section(l, line))
    return;
  switch (l.section) {
    case Section::none:
      if (!l.skipping && !is_lead_line(l, line))
        report(l, l.line, true,
               "line is in no section: its section header may be missing or "
               "unreadable");
      break;
    case Section::bank:
      read_bank_line(l, line);
      break;
    case Section::weather:
      if (is_numbered(line))
        read_channel_line(l, line, l.t.weather, "weather channel");
      else
        report(l, l.line, true, "line is not a weather channel; %s",
               channel_form);
      break;
    case Section::bands:
      read_band_line(l, line);
      break;
    case Section::message:
      read_message_line(l, line);
      break;
    case Section::settings:
      read_settings_line(l, line);
      break;
  }
}

// Encoding.

struct Encoder {
  Loose &l;
  ImageBody &image;
  long last_line;  ///< where a missing part is reported
};

void store_bytes(ImageBody &image, int offset, const void *bytes, int count,
                 Field tag) {
  put_bytes(image, offset, bytes, count, tag);
}

/// Reports a tag's control bytes.
void check_tag(Loose &l, long line, const char *tag, int size) {
  Findings findings;
  check_tag_controls(reinterpret_cast<const unsigned char *>(tag), size,
                     findings);
  report_all(l, line, findings);
}

/// Encodes a channel, weather channel or search line with the shared
/// encoder and checks, and what it stores; an empty channel when no line
/// gives it.
ChannelCode encode_channel(Loose &l, const ChannelText &c, RecordKind kind) {
  ChannelCode code;
  if (c.line == 0) {
    memcpy(code.bytes, empty_channel_code, code_size);
    code.band = 0;
    return code;
  }
  const char *tone = c.tone.empty() ? "0.0" : c.tone.c_str();
  Warnings warnings;
  code = encode_channel_code(c.frequency, mode_names[c.mode], tone, c.flags,
                             warnings);
  bool warned = report_warnings(l, c.line, warnings);
  Findings findings;
  // Flag U stores no frequency, so the encoder warns only of one.
  if (warned)
    add_no_band(findings, c.frequency,
                decode_channel_code(code.bytes, kind).frequency);
  check_channel({c.frequency, mode_names[c.mode], tone, c.flags, kind, warned},
                code, findings);
  report_all(l, c.line, findings);
  check_tag(l, c.line, c.tag, tag_size);
  return code;
}

/// The ID a talkgroup text gives, read as a list's ID is: an ID and the
/// word Scan or Skip in any case.  False, with an error, when it gives
/// none that the bank type has.
bool read_talkgroup_text(Loose &l, const TalkgroupText &g, int type,
                         const int *fleet, unsigned *id) {
  Fields f{g.text};
  std::string word;
  bool skip = false;
  while (f.more()) {
    std::string field = f.next();
    std::string name = lower(field);
    if (name == "skip" || name == "scan") {
      skip |= name == "skip";
    } else if (word.empty()) {
      word = field;
    } else {
      report(l, g.line, true,
             "talkgroup text [%s] holds more than an ID and "
             "Scan or Skip",
             shown(g.text).c_str());
      return false;
    }
  }
  if (word.empty()) {
    *id = skip ? 0x8000u : 0u;
    return true;
  }
  Findings form;
  char text[longest_talkgroup_id + 6];
  if (!talkgroup_text_of_id(type, word.c_str(), skip, text, form)) {
    report(l, g.line, true, "%s", form.text[0]);
    return false;
  }
  *id = encode_talkgroup(type, 0, text, fleet);
  Findings findings;
  if (!strchr(text, '-'))
    check_numbers_fit(text, "d", findings);
  check_talkgroup(type, 0, text, fleet, *id, findings);
  report_all(l, g.line, findings);
  return true;
}

/// The ID code of a talkgroup line: its code when given, else its text.
unsigned encode_talkgroup_line(Loose &l, const TalkgroupText &g, int type,
                               const int *fleet) {
  bool trunked =
      type == bank_type_ltr || type == bank_type_mot || type == bank_type_edacs;
  bool blank = is_blank_line(g.text);
  unsigned id = 0;
  if (!g.has_code) {
    if (trunked) {
      read_talkgroup_text(l, g, type, fleet, &id);
    } else if (!blank) {
      report(l, g.line, true,
             "a talkgroup of a bank of type %s takes its code in "
             "hexadecimal, not a text",
             shown(bank_type_name(type)).c_str());
    }
    return id;
  }
  Findings findings;
  check_talkgroup(type, static_cast<unsigned>(g.code), nullptr, fleet,
                  static_cast<unsigned>(g.code & 0xFFFF), findings);
  report_all(l, g.line, findings);
  id = static_cast<unsigned>(g.code & 0xFFFF);
  unsigned char map[fleet_block_count];
  for (int i = 0; i < fleet_block_count; ++i)
    map[i] = static_cast<unsigned char>(fleet[i]);
  char back[talkgroup_text_size + 1];
  decode_talkgroup(type, id, map, back);
  if (!g.has_text || blank)
    return id;
  if (!trunked) {
    report(l, g.line, false,
           "talkgroup text [%s] is not stored in a bank of type %s: the code "
           "is",
           shown(g.text).c_str(), shown(bank_type_name(type)).c_str());
    return id;
  }
  // The text as the listing writes it agrees; any other is read.
  if (strncmp(back, g.text.c_str(), talkgroup_text_size) == 0 &&
      g.text.size() == talkgroup_text_size)
    return id;
  LooseFindings kept = l.findings;
  unsigned from_text;
  bool read = read_talkgroup_text(l, g, type, fleet, &from_text);
  l.findings = kept;
  if (!read || from_text != id)
    report(l, g.line, false,
           "talkgroup code %04X and text [%s] disagree: the code is stored, "
           "which reads [%s]",
           id, shown(g.text).c_str(), back);
  return id;
}

void encode_bank(Encoder &e, int b) {
  Loose &l = e.l;
  BankText &bank = l.t.banks[b];
  const struct {
    long line;
    const char *part;
  } parts[] = {
      {bank.search.line, "search line"},
      {bank.end_line, "search end line"},
      {bank.tag_line, "bank tag line"},
      {bank.mode_offset_line, "mode/offset line"},
      {bank.type_line, "bank type line"},
      {bank.fleet_line, "fleet map line"},
  };
  bool whole = true;
  for (const auto &part : parts) {
    if (part.line == 0) {
      report(l, bank.line, true, "bank %d has no %s", b, part.part);
      whole = false;
    }
  }
  if (!whole)
    return;
  ImageBody &image = e.image;
  for (int k = 0; k < channel_count; ++k) {
    const ChannelText &c = bank.channels[k];
    ChannelCode code = encode_channel(l, c, RecordKind::channel);
    int at = channel_offset(b, k);
    store_bytes(image, at, code.bytes, code_size, Field::bchan1);
    char blank[tag_size];
    memset(blank, ' ', tag_size);
    store_bytes(image, at + code_size, c.line ? c.tag : blank, tag_size,
                Field::bchan2);
  }
  ChannelCode search = encode_channel(l, bank.search, RecordKind::search);
  int base = bank_base(b);
  store_bytes(image, base + bank_search_offset, search.bytes, code_size,
              Field::bsrch1);
  store_bytes(image, base + bank_search_offset + code_size, bank.search.tag,
              tag_size, Field::bsrch2);
  Warnings warnings;
  SearchEnd end = encode_search_end(bank.end, bank.step, search.band, warnings);
  bool warned = report_warnings(l, bank.end_line, warnings);
  Findings findings;
  const ChannelText &s = bank.search;
  const char *tone = s.tone.empty() ? "0.0" : s.tone.c_str();
  check_search_end({s.frequency, mode_names[s.mode], tone, s.flags,
                    RecordKind::search, false},
                   bank.end, bank.step, search.band, end, warned, findings);
  report_all(l, bank.end_line, findings);
  store_bytes(image, base + bank_search_end_offset, end.bytes, search_end_size,
              Field::bsrch3);

  check_tag(l, bank.tag_line, bank.tag, tag_size);
  store_bytes(image, base + bank_tag_offset, bank.tag, tag_size, Field::batag);
  put_byte(image, base + bank_mode_offset, bank.mode_offset, Field::bonoff);
  Warnings ignored;
  int type = match_bank_type(bank.type, ignored);
  put_byte(image, base + bank_type_offset, type, Field::btype);
  int fleet[fleet_block_count];
  for (int i = 0; i < fleet_block_count; ++i) {
    fleet[i] = static_cast<int>(std::min(bank.fleet[i], long{INT_MAX}));
    put_byte(image, base + bank_fleet_offset + i, bank.fleet[i], Field::fleet);
  }
  Findings fleet_findings;
  check_fleet_map(fleet, fleet_findings);
  for (int i = 0; i < fleet_block_count; ++i)
    if (bank.fleet[i] > 0xFF)
      add_finding(fleet_findings,
                  "fleet map S%ld of block %d is stored as S%02ld",
                  bank.fleet[i], i, bank.fleet[i] & 0xFF);
  report_all(l, bank.fleet_line, fleet_findings);

  for (int i = 0; i < lockout_area_size; ++i)
    put_byte(image, base + bank_lockout_offset + i, 0xFF, Field::sloc0);
  for (int slot = 1; slot <= lockout_count; ++slot) {
    const LockoutText &lockout = bank.lockouts[slot];
    if (lockout.line == 0)
      continue;
    Warnings lockout_warnings;
    LockoutPair pair =
        encode_lockout(lockout.frequency, search.band, lockout_warnings);
    bool lockout_warned = report_warnings(l, lockout.line, lockout_warnings);
    Findings lockout_findings;
    check_lockout(lockout.frequency, pair, search.band, lockout_warned,
                  lockout_findings);
    report_all(l, lockout.line, lockout_findings);
    int at = lockout_offset(b, slot);
    put_byte(image, at, pair.first, Field::sloc1);
    put_byte(image, at + 1, pair.second, Field::sloc2);
  }
  for (int t = 1; t <= talkgroup_count; ++t) {
    const TalkgroupText &g = bank.talkgroups[t];
    unsigned id = 0;
    char tag[tag_size];
    memset(tag, ' ', tag_size);
    if (g.line) {
      id = encode_talkgroup_line(l, g, type, fleet);
      memcpy(tag, g.tag, tag_size);
      check_tag(l, g.line, g.tag, tag_size);
    }
    int at = talkgroup_offset(b, t);
    put_byte(image, at, id & 0xFF, Field::trnk1);
    put_byte(image, at + 1, id >> 8, Field::trnk2);
    store_bytes(image, at + 2, tag, tag_size, Field::trnk3);
  }
}

void encode_weather(Encoder &e) {
  for (int k = 0; k < weather_count; ++k) {
    const ChannelText &c = e.l.t.weather[k];
    ChannelCode code = encode_channel(e.l, c, RecordKind::weather);
    int at = weather_channel_offset(k);
    store_bytes(e.image, at, code.bytes, code_size, Field::wchan1);
    char blank[tag_size];
    memset(blank, ' ', tag_size);
    store_bytes(e.image, at + code_size, c.line ? c.tag : blank, tag_size,
                Field::wchan2);
  }
}

/// The bands in the order of their numbers, numbered anew from 0.
void encode_bands(Encoder &e, long listed, long listed_line) {
  Loose &l = e.l;
  int rows = 0;
  for (const BandText &band : l.t.bands) {
    if (band.line == 0)
      continue;
    Warnings warnings;
    BandCode code = encode_band_code(band.start, mode_names[band.mode],
                                     band.end, band.step, warnings);
    bool warned = report_warnings(l, band.line, warnings);
    Findings findings;
    if (code.empty)
      add_finding(findings,
                  "the band is stored as the empty band record, without its "
                  "tag");
    check_band_row(band.start, band.end, band.step, code, warned, findings);
    report_all(l, band.line, findings);
    if (!code.empty)
      check_tag(l, band.line, band.tag, tag_size);
    int at = band_record_offset(++rows);
    const char no_tag[tag_size] = {};
    store_bytes(e.image, at, code.bytes, code_size, Field::psrch1);
    store_bytes(e.image, at + code_size, code.empty ? no_tag : band.tag,
                tag_size, Field::psrch2);
  }
  put_byte(e.image, band_count_offset, rows, Field::psrch3);
  for (int n = rows + 1; n <= band_record_count; ++n) {
    int at = band_record_offset(n);
    const Field tags[code_size] = {Field::psrch4, Field::psrch5, Field::psrch6,
                                   Field::psrch7, Field::psrch8, Field::psrch8};
    for (int i = 0; i < code_size; ++i)
      put_byte(e.image, at + i, empty_band_code[i], tags[i]);
    for (int i = code_size; i < record_size; ++i)
      put_byte(e.image, at + i, 0, Field::psrch8);
  }
  if (listed >= 0 && listed != rows)
    report(l, listed_line, false,
           "the settings list %ld preprogrammed search bands, the band "
           "section has %d: %d are stored",
           listed, rows, rows);
}

void encode_message(Encoder &e) {
  Loose &l = e.l;
  for (int j = 1; j <= message_line_count; ++j) {
    std::string text(message_line_size, ' ');
    if (static_cast<size_t>(j) <= l.t.message.size()) {
      const auto &line = l.t.message[static_cast<size_t>(j - 1)];
      text = line.second;
      check_tag(l, line.first, text.data(), message_line_size);
    }
    store_bytes(e.image, message_line_offset(j), text.data(), message_line_size,
                Field::oscr);
  }
  if (l.t.message.size() < message_line_count)
    report(l, l.t.message.empty() ? l.t.message_line : l.t.message.back().first,
           false,
           "the opening message has %zu lines; the rest of its %d are "
           "stored blank",
           l.t.message.size(), message_line_count);
}

/// Encodes the settings; the band count line's number, when given.
long encode_settings(Encoder &e, long *listed_line) {
  Loose &l = e.l;
  long long listed = -1;
  for (int i = 0; i < settings_line_count; ++i) {
    const SettingsLine &s = settings_lines[i];
    const SettingText &text = l.t.settings[i];
    if (text.line == 0) {
      if (s.kind != Setting::band_count)
        report(l, l.t.settings_line, true, "the %s is missing", s.name);
      continue;
    }
    Findings findings;
    check_numbers_fit(text.values.c_str(), setting_numbers(s.kind), findings);
    store_setting(s, text.values.c_str(), e.image, findings, &listed);
    report_all(l, text.line, findings);
    if (s.kind == Setting::band_count)
      *listed_line = text.line;
  }
  return static_cast<long>(listed);
}

void encode_listing(Loose &l, const ImageBody *base, ImageBody &image) {
  // Missing parts are named at the last line, the first of an empty file.
  Encoder e{l, image, std::max(1L, static_cast<long>(l.lines.size()))};
  if (base)
    image = *base;
  else
    memset(image.bytes, 0, body_size);
  for (int b = 0; b < bank_count; ++b) {
    if (l.t.banks[b].line)
      encode_bank(e, b);
    else if (!base)
      report(l, e.last_line, true, "bank %d section is missing", b);
  }
  if (l.t.weather_line)
    encode_weather(e);
  else if (!base)
    report(l, e.last_line, true, "weather section is missing");
  long listed = -1, listed_line = 0;
  if (l.t.settings_line)
    listed = encode_settings(e, &listed_line);
  else if (!base)
    report(l, e.last_line, true, "scanner settings section is missing");
  if (l.t.bands_line || !base)
    encode_bands(e, listed, listed_line);
  if (!l.t.bands_line && !base) {
    // No band section: no bands, and band records the listing never shows.
    memset(image.bytes + band_record_offset(1), 0,
           record_size * band_record_count);
  }
  if (l.t.message_line)
    encode_message(e);
  else if (!base)
    report(l, e.last_line, true, "opening message section is missing");
}

// Keeping what no line shows.

std::string tag_as_listed(const unsigned char *tag, int size) {
  std::string text(reinterpret_cast<const char *>(tag),
                   static_cast<size_t>(size));
  for (char &c : text)
    if (c == '\n' || c == '\0')
      c = ' ';
  return text;
}

std::string channel_as_listed(const unsigned char *record, RecordKind kind) {
  ChannelView v = decode_channel_code(record, kind);
  char text[64];
  snprintf(text, sizeof text, "%.4f %d %s %s", v.frequency, v.mode,
           kind == RecordKind::weather ? "" : v.tone, v.flags);
  return text + tag_as_listed(record + code_size, tag_size);
}

/// Copies size bytes of base at offset into image when same is true.
void keep(const ImageBody &base, ImageBody &image, int offset, int size,
          bool same) {
  if (same)
    memcpy(image.bytes + offset, base.bytes + offset,
           static_cast<size_t>(size));
}

void keep_bank(const ImageBody &base, ImageBody &image, int b) {
  for (int k = 0; k < channel_count; ++k) {
    int at = channel_offset(b, k);
    keep(base, image, at, record_size,
         channel_as_listed(base.bytes + at, RecordKind::channel) ==
             channel_as_listed(image.bytes + at, RecordKind::channel));
  }
  int at = bank_base(b);
  const unsigned char *old_bank = base.bytes + at;
  const unsigned char *new_bank = image.bytes + at;
  int old_band = (old_bank[bank_search_offset + 2] >> 4) & 7;
  int new_band = (new_bank[bank_search_offset + 2] >> 4) & 7;
  auto search_as_listed = [](const unsigned char *bank, int band) {
    SearchEndView end = decode_search_end(bank + bank_search_end_offset, band);
    char text[48];
    snprintf(text, sizeof text, " %.4f %.4f", end.end, end.step);
    return channel_as_listed(bank + bank_search_offset, RecordKind::search) +
           text;
  };
  keep(base, image, at + bank_search_offset, record_size + search_end_size,
       search_as_listed(old_bank, old_band) ==
           search_as_listed(new_bank, new_band));
  keep(base, image, at + bank_tag_offset, tag_size,
       tag_as_listed(old_bank + bank_tag_offset, tag_size) ==
           tag_as_listed(new_bank + bank_tag_offset, tag_size));
  keep(base, image, at + bank_mode_offset, 1,
       decode_mode_offset(old_bank[bank_mode_offset]).text ==
           decode_mode_offset(new_bank[bank_mode_offset]).text);
  keep(base, image, at + bank_type_offset, 1,
       strcmp(bank_type_name(old_bank[bank_type_offset]),
              bank_type_name(new_bank[bank_type_offset])) == 0);
  // The search band may have changed with the search record kept.
  new_band = (image.bytes[at + bank_search_offset + 2] >> 4) & 7;
  for (int slot = 1; slot <= lockout_count; ++slot) {
    int pair = lockout_offset(b, slot);
    double old_frequency, new_frequency;
    bool old_listed =
        decode_lockout(base.bytes + pair, old_band, &old_frequency);
    bool new_listed =
        decode_lockout(image.bytes + pair, new_band, &new_frequency);
    char old_text[32] = "", new_text[32] = "";
    if (old_listed)
      snprintf(old_text, sizeof old_text, "%.4f", old_frequency);
    if (new_listed)
      snprintf(new_text, sizeof new_text, "%.4f", new_frequency);
    keep(base, image, pair, 2,
         old_listed == new_listed && strcmp(old_text, new_text) == 0);
  }
  for (int t = 1; t <= talkgroup_count; ++t) {
    int record = talkgroup_offset(b, t);
    keep(base, image, record, talkgroup_size,
         memcmp(base.bytes + record, image.bytes + record, 2) == 0 &&
             tag_as_listed(base.bytes + record + 2, tag_size) ==
                 tag_as_listed(image.bytes + record + 2, tag_size));
  }
}

std::string band_as_listed(const unsigned char *record) {
  BandView v = decode_band_code(record);
  char text[80];
  snprintf(text, sizeof text, "%.4f %d %.4f %.4f ", v.start, v.mode, v.end,
           v.step);
  return text + tag_as_listed(record + code_size, tag_size);
}

std::string message_as_listed(const unsigned char *text) {
  char plain[message_line_size + 1];
  copy_plain_text(text, message_line_size, plain);
  std::string result = plain;
  while (!result.empty() && result.back() == ' ')
    result.pop_back();
  return result;
}

}  // namespace

LooseFindings read_loose_listing(const std::string &bytes,
                                 const ImageBody *base, ImageBody &image) {
  Loose l;
  split_lines(l, bytes);
  for (size_t i = 0; i < l.lines.size(); ++i) {
    l.line = static_cast<long>(i) + 1;
    read_line(l, l.lines[i]);
  }
  if (l.findings.errors == 0)
    encode_listing(l, base, image);
  std::stable_sort(l.findings.list.begin(), l.findings.list.end(),
                   [](const LooseFinding &a, const LooseFinding &b) {
                     return a.line < b.line;
                   });
  return l.findings;
}

void print_loose_findings(FILE *err, const LooseFindings &findings,
                          const char *name, long offset) {
  for (const LooseFinding &f : findings.list)
    fprintf(err, "%s: %s at line %ld, file %s\n", f.error ? "Error" : "Warning",
            f.text.c_str(), f.line + offset, name);
}

void keep_unchanged_records(const ImageBody &base, ImageBody &image) {
  for (int b = 0; b < bank_count; ++b)
    keep_bank(base, image, b);
  for (int k = 0; k < weather_count; ++k) {
    int at = weather_channel_offset(k);
    keep(base, image, at, record_size,
         channel_as_listed(base.bytes + at, RecordKind::weather) ==
             channel_as_listed(image.bytes + at, RecordKind::weather));
  }
  int count = image.bytes[band_count_offset];
  if (count == base.bytes[band_count_offset]) {
    for (int n = 1; n <= band_record_count; ++n) {
      int at = band_record_offset(n);
      keep(base, image, at, record_size,
           n > count || band_as_listed(base.bytes + at) ==
                            band_as_listed(image.bytes + at));
    }
  }
  for (int j = 1; j <= message_line_count; ++j) {
    int at = message_line_offset(j);
    keep(base, image, at, message_line_size,
         message_as_listed(base.bytes + at) ==
             message_as_listed(image.bytes + at));
  }
  unsigned old_keypad =
      base.bytes[ktf1_offset] + 256u * base.bytes[ktf2_offset];
  unsigned new_keypad =
      image.bytes[ktf1_offset] + 256u * image.bytes[ktf2_offset];
  keep(base, image, ktf1_offset, 2,
       decode_keypad_tone(old_keypad) == decode_keypad_tone(new_keypad));
  for (int offset : {scan_banks_offset, search_banks_offset}) {
    char old_word[bank_word_size + 1], new_word[bank_word_size + 1];
    decode_bank_word(base.bytes + offset, old_word);
    decode_bank_word(image.bytes + offset, new_word);
    keep(base, image, offset, bank_word_size, strcmp(old_word, new_word) == 0);
  }
}
