// The writers of every line of the listing.
#include "listing/listing.h"

#include <ctype.h>
#include <stdio.h>
#include <string.h>

namespace {

/// Copies the 12 characters of an alpha tag as they are, but for a line
/// feed, which is written as a blank.
char *copy_tag(char *to, const unsigned char *tag) {
  memcpy(to, tag, tag_size);
  for (char *feed = to; (feed = static_cast<char *>(
                             memchr(feed, '\n', tag_size - (feed - to))));)
    *feed = ' ';
  return to + tag_size;
}

/// Writes the 12 characters of an alpha tag, then a text.
void write_tag(FILE *out, const unsigned char *tag, const char *after) {
  char text[tag_size + 8];
  char *end = copy_tag(text, tag);
  size_t rest = strlen(after);
  memcpy(end, after, rest);
  fwrite(text, 1, tag_size + rest, out);
}

/// Writes six code bytes in hexadecimal, each as "%02X " would, then the
/// record's tag framed as the reader expects it; one write for the many
/// lines that have them.
void write_code_and_tag(FILE *out, const unsigned char *record) {
  static const char digits[] = "0123456789ABCDEF";
  char text[3 * code_size + 2 + tag_size + 1];
  char *at = text;
  for (int i = 0; i < code_size; ++i) {
    *at++ = digits[record[i] >> 4];
    *at++ = digits[record[i] & 15];
    *at++ = ' ';
  }
  *at++ = ' ';
  *at++ = '>';
  at = copy_tag(at, record + code_size);
  *at++ = '<';
  fwrite(text, 1, static_cast<size_t>(at - text), out);
}

}  // namespace

void copy_plain_text(const unsigned char *text, int size, char *copy) {
  int i = 0;
  for (; i < size && text[i] != '\0'; ++i)
    copy[i] = text[i] == '\n' ? ' ' : static_cast<char>(text[i]);
  copy[i] = '\0';
}

void write_bank_header(FILE *out, int bank, const char *tag,
                       const char *type_name, const char *mode_word) {
  fprintf(out, "****** Bank%2d ******   Tag: %s  Type: %s  Mode: %s\r\n", bank,
          tag, type_name, mode_word);
}

void write_bank_info_line(FILE *out, int bank) {
  fprintf(out, " Bank%2d info:\r\n", bank);
}

void write_channel_line(FILE *out, int number, const unsigned char *record,
                        const ChannelView &view) {
  fprintf(out, "%3d  ", number);
  write_code_and_tag(out, record);
  fprintf(out, "%10.4f  %5s%8s  %4s\r\n", view.frequency, mode_name(view.mode),
          view.tone, view.flags);
}

void write_search_line(FILE *out, const unsigned char *record,
                       const ChannelView &view) {
  fputs("Srch ", out);
  write_code_and_tag(out, record);
  fprintf(out, "%10.4f  %s%s  %s\r\n", view.frequency, mode_name(view.mode),
          view.tone, view.flags);
}

void write_search_end_line(FILE *out, const unsigned char *bytes,
                           const SearchEndView &view) {
  fprintf(out, "End, step     %02X %02X %02X ", bytes[0], bytes[1], bytes[2]);
  fprintf(out, "               %10.4f%8.4f\r\n", view.end, view.step);
}

void write_bank_tag_line(FILE *out, const unsigned char *tag) {
  char plain[tag_size + 1];
  copy_plain_text(tag, tag_size, plain);
  fprintf(out, "%s               >", plain);
  write_tag(out, tag, "<\r\n");
}

void write_mode_offset_line(FILE *out, int byte, const char *text) {
  fprintf(out, " %02X                         %s          (Mode/Offset)\r\n",
          byte, text);
}

void write_bank_type_line(FILE *out, int byte, const char *name) {
  fprintf(out,
          " %02X                         %s                            "
          "(Bank type)\r\n",
          byte, name);
}

void write_fleet_map_line(FILE *out, const unsigned char *fleet_map) {
  for (int i = 0; i < fleet_block_count; ++i)
    fprintf(out, " %02X", fleet_map[i]);
  fputs("    ", out);
  for (int i = 0; i < fleet_block_count; ++i)
    fprintf(out, "S%02d ", fleet_map[i]);
  fputs(" (Fleet map)\r\n", out);
}

void write_lockout_line(FILE *out, int slot, const unsigned char *pair,
                        double frequency) {
  fprintf(out, "%3d %02X %02X%10.4f\r\n", slot, pair[0], pair[1], frequency);
}

void write_talkgroup_line(FILE *out, int slot, const unsigned char *record,
                          const char *text) {
  fprintf(out, "%4d %02X%02X     [%s]    >", slot, record[1], record[0], text);
  write_tag(out, record + 2, "<\r\n");
}

void write_band_row(FILE *out, int number, const unsigned char *record,
                    const BandView &view) {
  fprintf(out, "%3d  ", number);
  write_code_and_tag(out, record);
  fprintf(out, "%10.4f  %5s%8.4f%8.4f\r\n", view.start, mode_name(view.mode),
          view.end, view.step);
}

void write_message_line(FILE *out, const unsigned char *text) {
  char plain[message_line_size + 1];
  copy_plain_text(text, message_line_size, plain);
  fprintf(out, " >%s<\r\n", plain);
}

void write_settings_lines(FILE *out, const ImageBody &image) {
  const unsigned char *b = image.bytes;
  fprintf(out,
          " %02X                 %02X   Unknown.  Initialized 14, default 00 "
          "(hex)\r\n",
          b[u1_offset], b[u1_offset]);
  fprintf(out, " %02X         %10d   Backlight on time, 1 sec to 255 sec\r\n",
          b[blt_offset], b[blt_offset]);
  fprintf(out,
          " %02X         %10d   Scan delay time, 400 msec to 25500 msec\r\n",
          b[sdt_offset], decode_delay(b[sdt_offset]));
  fprintf(out,
          " %02X         %10d   Trunk rescan delay time,400 msec to 10000 "
          "msec\r\n",
          b[tdt_offset], decode_delay(b[tdt_offset]));
  fprintf(out,
          " %02X                 %02X   Unknown.  Usually 2.55 times trunk "
          "delay byte\r\n",
          b[u5_offset], b[u5_offset]);
  fprintf(out, " %02X%19.1f   Minimum scan delay time, 0.4 sec to 25.5 sec\r\n",
          b[msdt_offset], decode_tenths(b[msdt_offset]));
  fprintf(out,
          " %02X              %5i   Display contrast, 09 (light) to 14 "
          "(blacked out)\r\n",
          b[dc_offset], b[dc_offset]);
  fprintf(out, " %02X %02X           %2d%3.2d   Priority channel number\r\n",
          b[pc1_offset], b[pc2_offset], b[pc2_offset], b[pc1_offset]);
  const unsigned char *lsf = b + lsf_offset;
  fprintf(out,
          " %02X %02X %02X     %02X %02X %02X   Last search frequency.  "
          "Initialized 00 50 00\r\n",
          lsf[0], lsf[1], lsf[2], lsf[0], lsf[1], lsf[2]);
  fprintf(out, " %02X                 %02X   Priority: 01 = on, 00 = off\r\n",
          b[poo_offset], b[poo_offset]);
  fprintf(out, " %02X                 %02X   Unknown byte.  Initialized 00\r\n",
          b[wxpoo_offset], b[wxpoo_offset]);
  fprintf(out, " %02X                 %02X   Unknown byte.  Initialized 00\r\n",
          b[wxpcn_offset], b[wxpcn_offset]);
  fprintf(out, " %02X%19d   Number of preprogrammed search bands (100 max)\r\n",
          b[band_count_offset], b[band_count_offset]);
  fprintf(out,
          " %02X %02X          %6d   Keypad tone frequency, 300 Hz to 3000 "
          "Hz\r\n",
          b[ktf1_offset], b[ktf2_offset],
          decode_keypad_tone(b[ktf2_offset] * 256u + b[ktf1_offset]));
  const struct {
    int offset;
    const char *label;
  } words[] = {{scan_banks_offset, "Enabled scan banks"},
               {search_banks_offset, "Active search banks"}};
  for (const auto &w : words) {
    for (int i = 0; i < bank_word_size; ++i) {
      unsigned char c = b[w.offset + i];
      putc(c == '\n' ? ' ' : c, out);
    }
    char word[bank_word_size + 1];
    decode_bank_word(b + w.offset, word);
    fprintf(out, "  %s   %s\r\n", word, w.label);
  }
}

namespace {

/// One token of a pattern: a directive, a literal character, or a run of
/// blanks.
struct Token {
  const char *start;
  size_t length;
};

/// Cuts a pattern into at most most tokens; their count.
int split_pattern(const char *pattern, Token *tokens, int most) {
  int count = 0;
  for (const char *p = pattern; *p && count < most;) {
    const char *start = p;
    if (*p == '%') {
      ++p;
      while (*p && !isalpha(static_cast<unsigned char>(*p)))
        ++p;
      while (*p == 'l' || *p == 'h')
        ++p;
      if (*p)
        ++p;
    } else if (isspace(static_cast<unsigned char>(*p))) {
      while (isspace(static_cast<unsigned char>(*p)))
        ++p;
    } else {
      ++p;
    }
    tokens[count++] = {start, static_cast<size_t>(p - start)};
  }
  return count;
}

/// True for a directive that assigns.
bool assigns(const Token &token) {
  return token.length > 1 && token.start[0] == '%' && token.start[1] != '*';
}

/// True when the first count tokens, made to assign nothing, match the
/// text to their end.
bool prefix_matches(const char *text, const Token *tokens, int count) {
  char prefix[320];
  size_t at = 0;
  for (int i = 0; i < count; ++i) {
    const Token &t = tokens[i];
    if (at + t.length + 4 >= sizeof prefix)
      return false;
    if (assigns(t)) {
      prefix[at++] = '%';
      prefix[at++] = '*';
      memcpy(prefix + at, t.start + 1, t.length - 1);
      at += t.length - 1;
    } else {
      memcpy(prefix + at, t.start, t.length);
      at += t.length;
    }
  }
  memcpy(prefix + at, "%n", 3);
  int end = -1;
  return sscanf(text, prefix, &end) >= 0 && end >= 0;
}

/// Copies a token into a text of the size of a ScanStop's.
void copy_token(const Token &token, char (&out)[16]) {
  snprintf(out, sizeof out, "%.*s", static_cast<int>(token.length),
           token.start);
}

}  // namespace

ScanStop find_scan_stop(const char *text, const char *pattern) {
  Token tokens[64] = {};
  int count = split_pattern(pattern, tokens, 64);
  ScanStop stop;
  // A scan that stops within some tokens stops there with more tokens
  // too, so the first token it stops at is found by halving: most lines
  // match whole, at the cost of one scan.
  int low = 0, high = count;  // the first low tokens match
  if (prefix_matches(text, tokens, count)) {
    low = count;
  } else {
    while (high - low > 1) {
      int middle = (low + high) / 2;
      if (prefix_matches(text, tokens, middle))
        low = middle;
      else
        high = middle;
    }
  }
  for (int i = 0; i < low; ++i)
    stop.assigned += assigns(tokens[i]);
  if (low == count) {
    stop.matched = true;
    return stop;
  }
  copy_token(tokens[low], stop.token);
  if (low > 0)
    copy_token(tokens[low - 1], stop.before);
  return stop;
}
