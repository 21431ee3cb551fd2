// The card of an image as an HTML page: one section for each bank that
// holds anything, then the weather channels, search bands, opening message
// and settings.  Only what is programmed is shown, with the values the
// listing shows.
#include "imgcard/card.h"

#include <stdio.h>
#include <string.h>

#include <vector>

#include "common/codes.h"

namespace {

/// A table being built: caption, column heads, rows of HTML cells.
struct Table {
  const char *css_class;
  std::string caption;
  std::vector<std::string> heads;
  std::vector<std::vector<std::string>> rows;
};

/// Columns whose cells hold numbers in a fixed-width face, right aligned.
bool is_number_head(const std::string &head) {
  static const char *const numbers[] = {
      "Ch", "MHz", "Start MHz", "End MHz", "Step MHz", "Slot", "No.", "Tone"};
  for (const char *number : numbers)
    if (head == number)
      return true;
  return false;
}

/// Appends text escaped inside a cell of the given column.
std::string cell(const std::string &text) {
  std::string html;
  append_escaped(html, text);
  return html;
}

/// True when a column is one that may be left out, Tone or Flags, and no
/// row has anything in it.
bool is_empty_column(const Table &table, size_t column) {
  if (table.heads[column] != "Tone" && table.heads[column] != "Flags")
    return false;
  for (const auto &row : table.rows)
    if (!row[column].empty())
      return false;
  return true;
}

/// Appends a table, but for its empty Tone and Flags columns; nothing when
/// it has no row.
void append_table(std::string &html, const Table &source) {
  if (source.rows.empty())
    return;
  Table table{source.css_class, source.caption, {}, source.rows};
  for (auto &row : table.rows)
    row.clear();
  for (size_t i = 0; i < source.heads.size(); ++i) {
    if (is_empty_column(source, i))
      continue;
    table.heads.push_back(source.heads[i]);
    for (size_t r = 0; r < source.rows.size(); ++r)
      table.rows[r].push_back(source.rows[r][i]);
  }
  html += "<table class=\"" + std::string(table.css_class) + "\">\n<caption>";
  append_escaped(html, table.caption);
  html += "</caption>\n<thead><tr>";
  for (const std::string &head : table.heads) {
    html += is_number_head(head) ? "<th class=\"n\">" : "<th>";
    append_escaped(html, head);
    html += "</th>";
  }
  html += "</tr></thead>\n<tbody>\n";
  for (const auto &row : table.rows) {
    html += "<tr>";
    for (size_t i = 0; i < row.size(); ++i) {
      html += is_number_head(table.heads[i]) ? "<td class=\"n\">"
              : table.heads[i] == "Tag"      ? "<td class=\"t\">"
                                             : "<td>";
      html += row[i] + "</td>";
    }
    html += "</tr>\n";
  }
  html += "</tbody>\n</table>\n";
}

/// The rows a table takes on paper: caption, heads, rows and the space
/// after it.
int table_rows(const Table &table) {
  return table.rows.empty() ? 0 : static_cast<int>(table.rows.size()) + 3;
}

/// A frequency as the listing shows it, without its leading blanks.
std::string megahertz(double frequency) {
  char text[32];
  snprintf(text, sizeof text, "%.4f", frequency);
  return text;
}

/// A name of a table, five characters, without its trailing blanks.
std::string trimmed_name(const char *name) {
  std::string text(name);
  return text.substr(0, text.find_last_not_of(' ') + 1);
}

/// The flags D, A and L of a code's flag byte in words.
std::string flag_words(int flags) {
  std::string words;
  if (flags & flag_l)
    words += "lockout";
  if (flags & flag_d)
    words += words.empty() ? "delay" : ", delay";
  if (flags & flag_a)
    words += words.empty() ? "attenuate" : ", attenuate";
  return words;
}

/// The tone of a channel view: its text for PL and DPL, empty otherwise.
std::string tone_of(const ChannelView &view) {
  if (view.mode != mode_pl && view.mode != mode_dpl)
    return "";
  std::string tone(view.tone);
  return tone.substr(tone.find_first_not_of(' '));
}

/// True when every byte is a blank or a NUL.
bool is_blank(const unsigned char *bytes, int size) {
  for (int i = 0; i < size; ++i)
    if (bytes[i] != ' ' && bytes[i] != '\0')
      return false;
  return true;
}

/// The channels of a bank that hold a frequency (flag U clear).
Table channel_table(const ImageBody &image, int b) {
  Table table{"channels",
              "Channels",
              {"Ch", "Tag", "MHz", "Mode", "Tone", "Flags"},
              {}};
  for (int k = 0; k < channel_count; ++k) {
    const unsigned char *record = image.bytes + channel_offset(b, k);
    if (record[3] & flag_u)
      continue;
    ChannelView view = decode_channel_code(record, RecordKind::channel);
    table.rows.push_back(
        {std::to_string(k), cell(tag_text(record + code_size, tag_size)),
         megahertz(view.frequency), cell(trimmed_name(mode_name(view.mode))),
         cell(tone_of(view)), flag_words(record[3])});
  }
  return table;
}

/// The bank's search range, when its record holds one (flag U clear).
Table search_table(const ImageBody &image, int b) {
  Table table{
      "search",
      "Search range",
      {"Tag", "Start MHz", "End MHz", "Step MHz", "Mode", "Tone", "Flags"},
      {}};
  const unsigned char *search = image.bytes + bank_base(b) + bank_search_offset;
  if (search[3] & flag_u)
    return table;
  ChannelView view = decode_channel_code(search, RecordKind::search);
  SearchEndView end =
      decode_search_end(image.bytes + bank_base(b) + bank_search_end_offset,
                        (search[2] >> 4) & 7);
  table.rows.push_back({cell(tag_text(search + code_size, tag_size)),
                        megahertz(view.frequency), megahertz(end.end),
                        megahertz(end.step),
                        cell(trimmed_name(mode_name(view.mode))),
                        cell(tone_of(view)), flag_words(search[3])});
  return table;
}

/// The bank's search lockouts, by slot.
Table lockout_table(const ImageBody &image, int b) {
  Table table{"lockouts", "Search lockouts", {"No.", "MHz"}, {}};
  const unsigned char *search = image.bytes + bank_base(b) + bank_search_offset;
  for (int slot = 1; slot <= lockout_count; ++slot) {
    double frequency;
    if (decode_lockout(image.bytes + lockout_offset(b, slot),
                       (search[2] >> 4) & 7, &frequency))
      table.rows.push_back({std::to_string(slot), megahertz(frequency)});
  }
  return table;
}

/// The fleet map of a Motorola bank: the size code of each block.
Table fleet_table(const ImageBody &image, int b) {
  Table table{"fleet",
              "Fleet map (size codes; S00 is a Type II block)",
              {"Block 0", "1", "2", "3", "4", "5", "6", "7"},
              {}};
  const unsigned char *bank = image.bytes + bank_base(b);
  if (bank[bank_type_offset] != bank_type_mot)
    return table;
  std::vector<std::string> codes;
  for (int i = 0; i < fleet_block_count; ++i) {
    char text[8];
    snprintf(text, sizeof text, "S%02d", bank[bank_fleet_offset + i]);
    codes.push_back(text);
  }
  table.rows.push_back(codes);
  return table;
}

/// The talkgroups of a bank that hold an ID or a tag: the ID in the bank's
/// own form (the code in hexadecimal where the type gives none), the tag,
/// and scan or skip.
Table talkgroup_table(const ImageBody &image, int b) {
  Table table{"talkgroups", "Talkgroups", {"Slot", "ID", "Tag", "Scan"}, {}};
  const unsigned char *bank = image.bytes + bank_base(b);
  for (int slot = 1; slot <= talkgroup_count; ++slot) {
    const unsigned char *record = image.bytes + talkgroup_offset(b, slot);
    unsigned code = record[0] + 256u * record[1];
    if (code == 0 && is_blank(record + 2, tag_size))
      continue;
    char text[talkgroup_text_size + 1];
    decode_talkgroup(bank[bank_type_offset], code, bank + bank_fleet_offset,
                     text);
    std::string words(text);
    size_t word = words.find_first_of("S");
    std::string id = words.substr(0, word);
    id = id.find_first_not_of(' ') == std::string::npos
             ? ""
             : id.substr(
                   id.find_first_not_of(' '),
                   id.find_last_not_of(' ') + 1 - id.find_first_not_of(' '));
    if (id.empty()) {
      char hex[8];
      snprintf(hex, sizeof hex, "%04X", code);
      id = hex;
    }
    std::string scan = words.find("Skip") != std::string::npos   ? "skip"
                       : words.find("Scan") != std::string::npos ? "scan"
                                                                 : "";
    table.rows.push_back({std::to_string(slot), cell(id),
                          cell(tag_text(record + 2, tag_size)), scan});
  }
  return table;
}

/// The head of a bank's section: number, tag, type and mode/offset.
std::string bank_head(const ImageBody &image, int b) {
  const unsigned char *bank = image.bytes + bank_base(b);
  std::string html = "<h2>Bank " + std::to_string(b);
  std::string tag = tag_text(bank + bank_tag_offset, tag_size);
  if (!tag.empty()) {
    html += " <span class=\"t\">";
    append_escaped(html, tag);
    html += "</span>";
  }
  int type = bank[bank_type_offset];
  std::string type_name = trimmed_name(bank_type_name(type));
  if (type_name.empty() || type_name == "?????") {
    char text[16];
    snprintf(text, sizeof text, "type %02X", type);
    type_name = text;
  }
  // "Closed  00.0 kHz offset": the mode, then the offset.
  std::string mode = decode_mode_offset(bank[bank_mode_offset]).text;
  std::string open = mode.substr(0, mode.find(' '));
  std::string offset;
  for (size_t i = mode.find_first_not_of(' ', open.size()); i < mode.size();
       ++i)
    if (mode[i] != ' ' || offset.back() != ' ')
      offset += mode[i];
  html += "</h2>\n<p class=\"about\">";
  append_escaped(html, type_name + " \u00b7 " + open + ", " + offset);
  return html + "</p>\n";
}

/// A settings row: what it is and its value.
void add_setting(Table &table, const char *what, const std::string &value) {
  table.rows.push_back({what, cell(value)});
}

/// The banks of an enabled banks word, or "none".
std::string bank_word_text(const unsigned char *bytes) {
  char word[bank_word_size + 1];
  decode_bank_word(bytes, word);
  std::string text;
  for (int i = 0; i < bank_word_size; ++i)
    if (word[i] != '-')
      text +=
          text.empty() ? std::string(1, word[i]) : std::string(" ") + word[i];
  return text.empty() ? "none" : text;
}

/// A byte that is 01 for on and 00 for off, in words.
std::string on_off(int byte) {
  if (byte == 0 || byte == 1)
    return byte ? "on" : "off";
  char text[8];
  snprintf(text, sizeof text, "%02X", byte);
  return text;
}

/// The settings in words; the unknown bytes are left out.
Table settings_table(const ImageBody &image) {
  const unsigned char *s = image.bytes;
  Table table{"settings", "Settings", {"Setting", "Value"}, {}};
  char text[32];
  add_setting(table, "Backlight on time", std::to_string(s[blt_offset]) + " s");
  add_setting(table, "Scan delay",
              std::to_string(decode_delay(s[sdt_offset])) + " ms");
  add_setting(table, "Trunk rescan delay",
              std::to_string(decode_delay(s[tdt_offset])) + " ms");
  snprintf(text, sizeof text, "%.1f s", decode_tenths(s[msdt_offset]));
  add_setting(table, "Minimum scan delay", text);
  add_setting(table, "Display contrast", std::to_string(s[dc_offset]));
  snprintf(text, sizeof text, "%d %02d", s[pc2_offset], s[pc1_offset]);
  add_setting(table, "Priority channel", text);
  add_setting(table, "Priority", on_off(s[poo_offset]));
  add_setting(table, "Keypad tone",
              std::to_string(
                  decode_keypad_tone(s[ktf1_offset] + 256u * s[ktf2_offset])) +
                  " Hz");
  add_setting(table, "Banks scanned", bank_word_text(s + scan_banks_offset));
  add_setting(table, "Banks searched", bank_word_text(s + search_banks_offset));
  add_setting(table, "Search bands in use",
              std::to_string(s[band_count_offset]));
  return table;
}

/// The weather channels that hold a frequency.
Table weather_table(const ImageBody &image) {
  Table table{
      "weather", "Weather channels", {"Ch", "Tag", "MHz", "Mode", "Flags"}, {}};
  for (int k = 0; k < weather_count; ++k) {
    const unsigned char *record = image.bytes + weather_channel_offset(k);
    if (record[3] & flag_u)
      continue;
    ChannelView view = decode_channel_code(record, RecordKind::weather);
    table.rows.push_back(
        {std::to_string(k), cell(tag_text(record + code_size, tag_size)),
         megahertz(view.frequency), cell(trimmed_name(mode_name(view.mode))),
         flag_words(record[3])});
  }
  return table;
}

/// The preprogrammed search bands in use, but for empty band records.
Table search_band_table(const ImageBody &image) {
  Table table{"bands",
              "Preprogrammed search bands",
              {"No.", "Tag", "Start MHz", "End MHz", "Step MHz", "Mode"},
              {}};
  int count = image.bytes[band_count_offset];
  for (int n = 1; n <= count && n <= band_record_count; ++n) {
    const unsigned char *record = image.bytes + band_record_offset(n);
    if (memcmp(record, empty_band_code, code_size) == 0 &&
        is_blank(record + code_size, tag_size))
      continue;
    BandView view = decode_band_code(record);
    table.rows.push_back(
        {std::to_string(n - 1), cell(tag_text(record + code_size, tag_size)),
         megahertz(view.start), megahertz(view.end), megahertz(view.step),
         cell(trimmed_name(mode_name(view.mode)))});
  }
  return table;
}

/// The opening message, its lines as they stand; empty when all are blank.
std::string message_block(const ImageBody &image) {
  std::vector<std::string> lines;
  for (int j = 1; j <= message_line_count; ++j)
    lines.push_back(
        tag_text(image.bytes + message_line_offset(j), message_line_size));
  while (!lines.empty() && lines.back().empty())
    lines.pop_back();
  if (lines.empty())
    return "";
  std::string html = "<div class=\"message\"><h3>Opening message</h3>\n<pre>";
  for (const std::string &line : lines) {
    append_escaped(html, line);
    html += "\n";
  }
  return html + "</pre></div>\n";
}

/// The style of the card: black on white, rows kept whole, a header on
/// every page, frequencies in a fixed-width face.
std::string card_style(const CardHead &head, const CardLayout &layout) {
  std::string line = head.name + " \u00b7 SHA-256 " + head.sha256.substr(0, 12);
  if (!head.uploaded.empty())
    line += " \u00b7 " + head.uploaded;
  line += " \u00b7 made " + head.made;
  std::string css = "@page {\n";
  css += layout.pocket ? "  size: A6;\n  margin: 9mm 5mm 6mm;\n"
                       : "  margin: 16mm 12mm 12mm;\n";
  css += "  @top-left { content: " + css_string(name_text(line)) +
         "; font: 8pt sans-serif; }\n";
  css +=
      "  @bottom-right { content: \"page \" counter(page) \" of \" "
      "counter(pages); font: 8pt sans-serif; }\n}\n";
  css += R"(html { color: #000; background: #fff; }
body { font: 9pt/1.25 "DejaVu Sans", "Liberation Sans", Arial, sans-serif; margin: 0; }
@media screen { body { margin: 8mm; } }
h1 { font-size: 13pt; margin: 0 0 1mm; }
h2 { font-size: 11pt; margin: 0 0 0.5mm; break-after: avoid; }
h3 { font-size: 9pt; margin: 0 0 0.5mm; break-after: avoid; }
p { margin: 0 0 1.5mm; }
table { border-collapse: collapse; margin: 0 0 3mm; }
caption { text-align: left; font-weight: bold; padding: 0 0 0.5mm; white-space: nowrap; break-after: avoid; }
th, td { border: 0.2mm solid #000; padding: 0.2mm 1.2mm; text-align: left; vertical-align: top; }
thead { display: table-header-group; }
tr, h2, h3, caption, pre { break-inside: avoid; }
.n, .t, pre { font-family: "DejaVu Sans Mono", "Liberation Mono", monospace; }
.n { text-align: right; white-space: pre; }
.t { white-space: pre; }
pre { margin: 0 0 3mm; font-size: 9pt; }
section { margin: 0 0 4mm; }
section.page { break-before: page; }
section.whole { break-inside: avoid; }
p.note { font-style: italic; }
)";
  if (layout.pocket)
    css += R"(body { font-size: 8pt; }
main { columns: 2; column-gap: 3mm; }
section.page { break-before: auto; }
th, td { padding: 0 0.6mm; }
pre { font-size: 8pt; }
)";
  return css;
}

/// The head of the first page: name, SHA-256, upload and date.
std::string card_head(const CardHead &head) {
  std::string html = "<header>\n<h1>";
  append_escaped(html, name_text(head.name));
  html += "</h1>\n<p>SHA-256 <span class=\"t\">" + head.sha256.substr(0, 12) +
          "</span>";
  if (!head.uploaded.empty())
    append_escaped(html, " \u00b7 " + head.uploaded);
  html += " \u00b7 made " + head.made + "</p>\n</header>\n";
  return html;
}

}  // namespace

void append_escaped(std::string &html, const std::string &text) {
  for (char c : text) {
    switch (c) {
      case '&':
        html += "&amp;";
        break;
      case '<':
        html += "&lt;";
        break;
      case '>':
        html += "&gt;";
        break;
      case '"':
        html += "&quot;";
        break;
      case '\'':
        html += "&#39;";
        break;
      default:
        html += c;
    }
  }
}

std::string tag_text(const unsigned char *tag, int size) {
  int end = size;
  while (end > 0 && (tag[end - 1] == ' ' || tag[end - 1] == '\0'))
    --end;
  std::string text;
  for (int i = 0; i < end; ++i) {
    unsigned char byte = tag[i];
    if (byte >= 0x80) {
      text += static_cast<char>(0xC0 | (byte >> 6));
      text += static_cast<char>(0x80 | (byte & 0x3F));
    } else {
      text += byte < 0x20 || byte == 0x7F ? '?' : static_cast<char>(byte);
    }
  }
  return text;
}

std::string name_text(const std::string &name) {
  std::string text;
  for (size_t at = 0; at < name.size();) {
    auto byte = static_cast<unsigned char>(name[at]);
    size_t length = byte < 0x80             ? 1
                    : (byte & 0xE0) == 0xC0 ? 2
                    : (byte & 0xF0) == 0xE0 ? 3
                    : (byte & 0xF8) == 0xF0 ? 4
                                            : 0;
    bool whole = length > 0 && at + length <= name.size() &&
                 !(length == 2 && byte < 0xC2) && !(byte > 0xF4);
    for (size_t i = 1; whole && i < length; ++i)
      whole = (static_cast<unsigned char>(name[at + i]) & 0xC0) == 0x80;
    if (whole && length == 3) {
      auto second = static_cast<unsigned char>(name[at + 1]);
      whole = !(byte == 0xE0 && second < 0xA0) &&
              !(byte == 0xED && second >= 0xA0);  // overlong, surrogates
    }
    if (whole && length == 4) {
      auto second = static_cast<unsigned char>(name[at + 1]);
      whole =
          !(byte == 0xF0 && second < 0x90) && !(byte == 0xF4 && second >= 0x90);
    }
    if (!whole) {
      text += "\uFFFD";
      ++at;
      continue;
    }
    if (length == 1 && (byte < 0x20 || byte == 0x7F))
      text += '?';
    else
      text.append(name, at, length);
    at += length;
  }
  return text;
}

std::string css_string(const std::string &text) {
  std::string css = "\"";
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F || strchr("\"\\<>&'", c)) {
      char escape[8];
      snprintf(escape, sizeof escape, "\\%X ", byte);
      css += escape;
    } else {
      css += c;
    }
  }
  return css + "\"";
}

bool read_bank_list(const char *text, bool *banks) {
  bool chosen[bank_count] = {};
  const char *at = text;
  for (;;) {
    if (*at < '0' || *at > '9')
      return false;
    int first = *at++ - '0', last = first;
    if (*at == '-') {
      if (at[1] < '0' || at[1] > '9' || at[1] - '0' < first)
        return false;
      last = at[1] - '0';
      at += 2;
    }
    for (int b = first; b <= last; ++b)
      chosen[b] = true;
    if (*at == '\0')
      break;
    if (*at++ != ',')
      return false;
  }
  memcpy(banks, chosen, sizeof chosen);
  return true;
}

std::string render_card(const ImageBody &image, const CardHead &head,
                        const CardLayout &layout) {
  std::string html =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<title>";
  append_escaped(html, name_text(head.name));
  html += " \u00b7 scanner card</title>\n<style>\n" + card_style(head, layout) +
          "</style>\n</head>\n<body>\n" + card_head(head) + "<main>\n";
  int used = 4;  // the rows of the head on the first page
  for (int b = 0; b < bank_count; ++b) {
    if (!layout.banks[b])
      continue;
    Table tables[] = {channel_table(image, b), search_table(image, b),
                      lockout_table(image, b), fleet_table(image, b),
                      talkgroup_table(image, b)};
    int rows = 0;
    for (const Table &table : tables)
      if (&table != &tables[3])  // a fleet map alone is no programming
        rows += table_rows(table);
    if (rows == 0) {
      std::string tag =
          tag_text(image.bytes + bank_base(b) + bank_tag_offset, tag_size);
      html += "<p class=\"note\">Bank " + std::to_string(b);
      if (!tag.empty()) {
        html += " (";
        append_escaped(html, tag);
        html += ")";
      }
      html += ": nothing programmed.</p>\n";
      used += 1;
      continue;
    }
    rows += table_rows(tables[3]) + 3;
    // A bank starts a page unless it fits in what is left of this one.
    bool new_page = used > 0 && used + rows > page_rows;
    used = new_page ? rows : used + rows;
    html += "<section class=\"bank";
    html += new_page ? " page" : "";
    html += rows <= page_rows ? " whole\">\n" : "\">\n";
    html += bank_head(image, b);
    for (const Table &table : tables)
      append_table(html, table);
    html += "</section>\n";
  }
  Table last[] = {weather_table(image), search_band_table(image),
                  settings_table(image)};
  std::string message = message_block(image);
  int rows = 3 + (message.empty() ? 0 : 6);
  for (const Table &table : last)
    rows += table_rows(table);
  bool new_page = used + rows > page_rows;
  html += new_page ? "<section class=\"radio page\">\n"
                   : "<section class=\"radio\">\n";
  html += "<h2>Weather, search bands and settings</h2>\n";
  append_table(html, last[0]);
  append_table(html, last[1]);
  html += message;
  append_table(html, last[2]);
  return html + "</section>\n</main>\n</body>\n</html>\n";
}
