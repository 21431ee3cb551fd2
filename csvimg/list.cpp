// The diagnostics of a list being stored, and the fields and names of its
// rows as the image takes them.
#include "csvimg/list.h"

#include <ctype.h>
#include <errno.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <vector>

#include "common/image.h"

void warn(List &list, long line, const char *format, ...) {
  va_list args;
  va_start(args, format);
  int length = vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string message(static_cast<size_t>(length > 0 ? length : 0) + 1, '\0');
  va_start(args, format);
  vsnprintf(message.data(), message.size(), format, args);
  va_end(args);
  fprintf(list.err, "Warning: %s at line %ld, file %s\n", message.c_str(), line,
          list.name);
  ++list.warnings;
}

void fail(List &list, long line, const char *message) {
  fprintf(list.err, "Error: %s at line %ld, file %s\n", message, line,
          list.name);
  throw ListFatal{};
}

std::string trimmed(const char *text) {
  std::string result = text;
  size_t start = result.find_first_not_of(" \t");
  if (start == std::string::npos)
    return "";
  size_t end = result.find_last_not_of(" \t");
  return result.substr(start, end - start + 1);
}

bool is_blank_row(const CsvRow &row) {
  for (const std::string &field : row.fields)
    if (field.find_first_not_of(" \t\r\n") != std::string::npos)
      return false;
  return true;
}

bool read_integer(const char *text, long *value) {
  std::string field = trimmed(text);
  if (field.empty())
    return false;
  char *end;
  errno = 0;
  *value = strtol(field.c_str(), &end, 10);
  return *end == '\0' && errno == 0;
}

CsvRow read_header(List &list) {
  CsvRow header;
  while (read_csv_row(list.reader, header))
    if (!is_blank_row(header))
      return header;
  fail(list, count_csv_lines(list.reader) + 1, "no header row");
}

std::string shown(const std::string &text) {
  std::string result = text;
  for (char &c : result)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
      c = '?';
  return result;
}

namespace {

/// One character of a name: its bytes in the name, and its code point, or
/// -1 for a byte that does not begin a UTF-8 sequence.
struct NameCharacter {
  size_t start, length;
  long code;
};

/// The character that starts at a place in a name.
NameCharacter next_character(const std::string &name, size_t at) {
  unsigned char first = static_cast<unsigned char>(name[at]);
  int follow = first >= 0xC2 && first <= 0xDF   ? 1
               : first >= 0xE0 && first <= 0xEF ? 2
               : first >= 0xF0 && first <= 0xF4 ? 3
                                                : 0;
  if (first < 0x80)
    return {at, 1, first};
  long code = first & (0x3F >> follow);
  for (int k = 1; k <= follow; ++k) {
    if (at + static_cast<size_t>(k) >= name.size())
      return {at, 1, -1};
    unsigned char next = static_cast<unsigned char>(name[at + k]);
    if ((next & 0xC0) != 0x80)
      return {at, 1, -1};
    code = code << 6 | (next & 0x3F);
  }
  // Overlong forms and surrogates are not characters.
  static const long lowest[4] = {0, 0x80, 0x800, 0x10000};
  if (follow == 0 || code < lowest[follow] || code > 0x10FFFF ||
      (code >= 0xD800 && code <= 0xDFFF))
    return {at, 1, -1};
  return {at, static_cast<size_t>(follow) + 1, code};
}

}  // namespace

void make_tag(List &list, long line, const char *what, const std::string &given,
              unsigned char *tag) {
  // Blanks after the name pad it as the tag's own blanks do.
  std::string name = given.substr(0, given.find_last_not_of(' ') + 1);
  memset(tag, ' ', tag_size);
  std::string notes;
  size_t at = 0, kept_bytes = 0;
  int count = 0;
  while (at < name.size()) {
    NameCharacter c = next_character(name, at);
    at += c.length;
    if (count < tag_size) {
      unsigned char byte;
      char note[64] = "";
      if (c.code < 0) {
        byte = static_cast<unsigned char>(name[c.start]);
        snprintf(note, sizeof note, "byte %02X (not UTF-8) stored as it is",
                 byte);
      } else if (c.code < 0x20 || c.code == 0x7F) {
        byte = '?';
        snprintf(note, sizeof note, "control character %02lX stored as ?",
                 c.code);
      } else if (c.code < 0x80) {
        byte = static_cast<unsigned char>(c.code);
      } else if (c.code <= 0xFF) {
        byte = static_cast<unsigned char>(c.code);
        snprintf(note, sizeof note, "%s (U+%04lX) stored as byte %02X",
                 name.substr(c.start, c.length).c_str(), c.code, byte);
      } else {
        byte = '?';
        snprintf(note, sizeof note, "%s (U+%04lX) stored as ?",
                 name.substr(c.start, c.length).c_str(), c.code);
      }
      if (note[0] != '\0')
        notes += (notes.empty() ? "" : ", ") + std::string(note);
      tag[count] = byte;
      kept_bytes = at;
    }
    ++count;
  }
  if (count > tag_size)
    warn(list, line, "%s \"%s\" is longer than 12 characters, cut to \"%s\"",
         what, shown(name).c_str(), shown(name.substr(0, kept_bytes)).c_str());
  if (!notes.empty())
    warn(list, line, "%s \"%s\" has characters the scanner may not show: %s",
         what, shown(name.substr(0, kept_bytes)).c_str(), notes.c_str());
}

namespace {

/// The characters of a UTF-8 name, each its bytes.
std::vector<std::string> characters_of(const std::string &name) {
  std::vector<std::string> characters;
  for (size_t at = 0; at < name.size();) {
    NameCharacter c = next_character(name, at);
    characters.push_back(name.substr(c.start, c.length));
    at += c.length;
  }
  return characters;
}

bool is_letter(const std::string &character) {
  return character.size() > 1 ||
         isalpha(static_cast<unsigned char>(character[0]));
}

}  // namespace

std::string shorten_name(const std::string &name) {
  size_t start = name.find_first_not_of(' ');
  if (start == std::string::npos)
    return "";
  std::vector<std::string> c =
      characters_of(name.substr(start, name.find_last_not_of(' ') + 1 - start));
  // Blanks and lower-case vowels first, then, for names in capitals,
  // upper-case vowels: each from the right, and a vowel only after a letter.
  for (const char *vowels : {"aeiou", "AEIOU"})
    for (size_t i = c.size(); c.size() > tag_size && i-- > 1;) {
      bool vowel =
          c[i].size() == 1 && strchr(vowels, c[i][0]) && is_letter(c[i - 1]);
      if ((c[i] == " " && vowels[0] == 'a') || vowel)
        c.erase(c.begin() + static_cast<long>(i));
    }
  if (c.size() > tag_size)
    c.resize(tag_size);
  std::string result;
  for (const std::string &character : c)
    result += character;
  return result;
}

void make_distinct_tag(List &list, long line, const char *what,
                       const std::string &given, StoredTags &stored,
                       unsigned char *tag) {
  std::string name = given.substr(0, given.find_last_not_of(' ') + 1);
  std::string fit = shorten_name(name);
  bool shortened = characters_of(name).size() > tag_size;
  make_tag(list, line, what, shortened ? fit : name, tag);
  if (shortened) {
    ++stored.shortened;
    warn(list, line,
         "%s \"%s\" is longer than 12 characters, stored as "
         "\"%.12s\"",
         what, shown(name).c_str(),
         shown(std::string(reinterpret_cast<char *>(tag), tag_size)).c_str());
  }
  std::string key(reinterpret_cast<const char *>(tag), tag_size);
  if (key.find_first_not_of(' ') == std::string::npos)
    return;  // no name: nothing to tell apart
  auto earlier = stored.lines.find(key);
  if (earlier == stored.lines.end()) {
    stored.lines[key] = {line, name};
    return;
  }
  if (earlier->second.second == name) {
    warn(list, line,
         "%s \"%s\" is given at line %ld too: the scanner shows "
         "both alike",
         what, shown(name).c_str(), earlier->second.first);
    return;
  }
  // Told apart in the list, the same on the scanner: a number ends it.
  std::string text = key.substr(0, key.find_last_not_of(' ') + 1);
  for (int number = 2;; ++number) {
    std::string suffix = std::to_string(number);
    std::string numbered =
        text.substr(0, std::min(text.size(), tag_size - suffix.size())) +
        suffix;
    numbered.resize(tag_size, ' ');
    if (stored.lines.count(numbered))
      continue;
    warn(list, line,
         "%s \"%s\" would show as line %ld's \"%s\" does: "
         "stored as \"%s\"",
         what, shown(name).c_str(), earlier->second.first,
         shown(earlier->second.second).c_str(),
         shown(numbered.substr(0, numbered.find_last_not_of(' ') + 1)).c_str());
    memcpy(tag, numbered.data(), tag_size);
    stored.lines[numbered] = {line, name};
    return;
  }
}

namespace {

/// A text with its letters in lower case: ASCII, and the Latin-1 capitals
/// U+00C0 to U+00DE (but for U+00D7) in UTF-8.
std::string folded(const std::string &text) {
  std::string result = text;
  for (size_t i = 0; i < result.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(result[i]);
    unsigned char next =
        i + 1 < result.size() ? static_cast<unsigned char>(result[i + 1]) : 0;
    if (c < 0x80)
      result[i] = static_cast<char>(tolower(c));
    else if (c == 0xC3 && next >= 0x80 && next <= 0x9E && next != 0x97)
      result[++i] = static_cast<char>(next + 0x20);
  }
  return result;
}

}  // namespace

bool holds_folded(const std::string &text, const std::string &part) {
  return folded(text).find(folded(part)) != std::string::npos;
}
