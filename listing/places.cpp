// The places of an image in the order of the listing, each rendered in the
// listing's own words, and the bytes each shows; a difference of two
// images is a line for each place whose rendering differs, and a line for
// each differing byte that no rendering shows.
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include <functional>
#include <string>
#include <vector>

#include "common/codes.h"
#include "common/image.h"
#include "common/rules.h"
#include "listing/places.h"

namespace {

__attribute__((format(printf, 1, 2))) std::string text_of(const char *format,
                                                          ...) {
  char text[256];
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

/// Characters in quotes, bytes that would not print shown as '?'.
std::string quoted(const unsigned char *text, int size) {
  std::string result = "\"";
  for (int i = 0; i < size; ++i)
    result +=
        text[i] < 0x20 || text[i] >= 0x7F ? '?' : static_cast<char>(text[i]);
  return result + "\"";
}

/// A thing of the image that a difference line names: where it is, the
/// word that says which of its fields (empty for its value), the runs of
/// body bytes it shows, and its rendering.
struct Thing {
  std::string place;
  std::string label;
  std::vector<std::pair<int, int>> runs;  ///< first offset, count
  std::function<std::string(const unsigned char *body)> render;
};

/// A channel code's frequency, mode, tone where the mode has one, and the
/// flags where any is set.
std::string channel_value(const unsigned char *code, RecordKind kind) {
  ChannelView v = decode_channel_code(code, kind);
  std::string text =
      text_of("%.4f %s", v.frequency, trim_blanks(mode_name(v.mode)).c_str());
  if (kind != RecordKind::weather && (v.mode == mode_pl || v.mode == mode_dpl))
    text += text_of(" %s", trim_blanks(v.tone).c_str());
  if (strcmp(v.flags, "----") != 0)
    text += text_of(" %s", v.flags);
  return text;
}

/// The search band of a bank: the band of its search record.
int search_band(const unsigned char *body, int b) {
  return (body[bank_base(b) + bank_search_offset + 2] >> 4) & 7;
}

void add_bank(std::vector<Thing> &things, int b) {
  std::string bank = "bank " + std::to_string(b);
  int base = bank_base(b);
  // The header line: tag, type and mode.
  things.push_back({bank,
                    "tag",
                    {{base + bank_tag_offset, tag_size}},
                    [base](const unsigned char *body) {
                      return quoted(body + base + bank_tag_offset, tag_size);
                    }});
  things.push_back({bank,
                    "type",
                    {{base + bank_type_offset, 1}},
                    [base](const unsigned char *body) {
                      int type = body[base + bank_type_offset];
                      std::string name = trim_blanks(bank_type_name(type));
                      return name.empty() || name == unknown_name
                                 ? std::to_string(type)
                                 : name;
                    }});
  things.push_back(
      {bank,
       "mode/offset",
       {{base + bank_mode_offset, 1}},
       [base](const unsigned char *body) {
         return std::string(
             decode_mode_offset(body[base + bank_mode_offset]).text);
       }});
  for (int k = 0; k < channel_count; ++k) {
    int at = channel_offset(b, k);
    std::string place = bank + " channel " + std::to_string(k);
    things.push_back(
        {place, "", {{at, code_size}}, [at](const unsigned char *body) {
           return channel_value(body + at, RecordKind::channel);
         }});
    things.push_back({place,
                      "tag",
                      {{at + code_size, tag_size}},
                      [at](const unsigned char *body) {
                        return quoted(body + at + code_size, tag_size);
                      }});
  }
  int search = base + bank_search_offset;
  int end = base + bank_search_end_offset;
  things.push_back(
      {bank + " search",
       "",
       {{search, code_size}, {end, search_end_size}},
       [search, end, b](const unsigned char *body) {
         ChannelView v = decode_channel_code(body + search, RecordKind::search);
         SearchEndView e = decode_search_end(body + end, search_band(body, b));
         std::string value = channel_value(body + search, RecordKind::search);
         return text_of("%.4f-%.4f step %.4f", v.frequency, e.end, e.step) +
                value.substr(value.find(' '));
       }});
  things.push_back({bank + " search",
                    "tag",
                    {{search + code_size, tag_size}},
                    [search](const unsigned char *body) {
                      return quoted(body + search + code_size, tag_size);
                    }});
  for (int block = 0; block < fleet_block_count; ++block) {
    int at = base + bank_fleet_offset + block;
    things.push_back({bank + " fleet map",
                      "block " + std::to_string(block),
                      {{at, 1}},
                      [at](const unsigned char *body) {
                        return text_of("S%02d", body[at]);
                      }});
  }
  for (int slot = 1; slot <= lockout_count; ++slot) {
    int at = lockout_offset(b, slot);
    things.push_back({bank + " lockout " + std::to_string(slot),
                      "",
                      {{at, 2}},
                      [at, b](const unsigned char *body) {
                        double frequency;
                        return decode_lockout(body + at, search_band(body, b),
                                              &frequency)
                                   ? text_of("%.4f", frequency)
                                   : std::string("none");
                      }});
  }
  for (int slot = 1; slot <= talkgroup_count; ++slot) {
    int at = talkgroup_offset(b, slot);
    things.push_back(
        {bank + " talkgroup " + std::to_string(slot),
         "",
         {{at, talkgroup_size}},
         [at, base](const unsigned char *body) {
           int type = body[base + bank_type_offset];
           unsigned id = body[at] + 256u * body[at + 1];
           char text[talkgroup_text_size + 1];
           decode_talkgroup(type, id, body + base + bank_fleet_offset, text);
           bool trunked = type == bank_type_ltr || type == bank_type_mot ||
                          type == bank_type_edacs;
           std::string shown =
               trunked ? trim_blanks(text) : text_of("code %04X", id);
           return (shown.empty() ? "none" : shown) + " " +
                  quoted(body + at + 2, tag_size);
         }});
  }
}

void add_weather_and_bands(std::vector<Thing> &things) {
  for (int k = 0; k < weather_count; ++k) {
    int at = weather_channel_offset(k);
    std::string place = "weather " + std::to_string(k);
    things.push_back(
        {place, "", {{at, code_size}}, [at](const unsigned char *body) {
           return channel_value(body + at, RecordKind::weather);
         }});
    things.push_back({place,
                      "tag",
                      {{at + code_size, tag_size}},
                      [at](const unsigned char *body) {
                        return quoted(body + at + code_size, tag_size);
                      }});
  }
  for (int n = 1; n <= band_record_count; ++n) {
    int at = band_record_offset(n);
    std::string place = "search band " + std::to_string(n - 1);
    // A row past the band count is not listed.
    auto listed = [n](const unsigned char *body) {
      return n <= body[band_count_offset];
    };
    things.push_back(
        {place, "", {{at, code_size}}, [at, listed](const unsigned char *body) {
           if (!listed(body))
             return std::string("none");
           BandView v = decode_band_code(body + at);
           return text_of("%.4f-%.4f step %.4f %s", v.start, v.end, v.step,
                          trim_blanks(mode_name(v.mode)).c_str());
         }});
    things.push_back({place,
                      "tag",
                      {{at + code_size, tag_size}},
                      [at, listed](const unsigned char *body) {
                        return listed(body)
                                   ? quoted(body + at + code_size, tag_size)
                                   : std::string("none");
                      }});
  }
}

void add_message_and_settings(std::vector<Thing> &things) {
  for (int j = 1; j <= message_line_count; ++j) {
    int at = message_line_offset(j);
    things.push_back({"opening message line " + std::to_string(j),
                      "",
                      {{at, message_line_size}},
                      [at](const unsigned char *body) {
                        return quoted(body + at, message_line_size);
                      }});
  }
  using Render = std::function<std::string(const unsigned char *)>;
  auto hex = [](int at) -> Render {
    return
        [at](const unsigned char *body) { return text_of("%02X", body[at]); };
  };
  auto word = [](int at) -> Render {
    return [at](const unsigned char *body) {
      char text[bank_word_size + 1];
      decode_bank_word(body + at, text);
      return std::string(text);
    };
  };
  const struct {
    const char *name;
    int at, count;
    Render render;
  } settings[] = {
      {"unknown byte 1", u1_offset, 1, hex(u1_offset)},
      {"backlight", blt_offset, 1,
       [](const unsigned char *body) {
         return text_of("%d s", body[blt_offset]);
       }},
      {"scan delay", sdt_offset, 1,
       [](const unsigned char *body) {
         return text_of("%d ms", decode_delay(body[sdt_offset]));
       }},
      {"trunk delay", tdt_offset, 1,
       [](const unsigned char *body) {
         return text_of("%d ms", decode_delay(body[tdt_offset]));
       }},
      {"unknown byte 5", u5_offset, 1, hex(u5_offset)},
      {"minimum scan delay", msdt_offset, 1,
       [](const unsigned char *body) {
         return text_of("%.1f s", decode_tenths(body[msdt_offset]));
       }},
      {"contrast", dc_offset, 1,
       [](const unsigned char *body) {
         return text_of("%d", body[dc_offset]);
       }},
      {"priority channel", pc1_offset, 2,
       [](const unsigned char *body) {
         return text_of("%d %02d", body[pc2_offset], body[pc1_offset]);
       }},
      {"last search frequency", lsf_offset, 3,
       [](const unsigned char *body) {
         return text_of("%02X %02X %02X", body[lsf_offset],
                        body[lsf_offset + 1], body[lsf_offset + 2]);
       }},
      {"priority", poo_offset, 1, hex(poo_offset)},
      {"weather priority", wxpoo_offset, 1, hex(wxpoo_offset)},
      {"weather priority channel", wxpcn_offset, 1, hex(wxpcn_offset)},
      {"search bands", band_count_offset, 1,
       [](const unsigned char *body) {
         return text_of("%d", body[band_count_offset]);
       }},
      {"keypad tone", ktf1_offset, 2,
       [](const unsigned char *body) {
         return text_of("%d Hz", decode_keypad_tone(body[ktf2_offset] * 256u +
                                                    body[ktf1_offset]));
       }},
      {"scan banks", scan_banks_offset, bank_word_size,
       word(scan_banks_offset)},
      {"search banks", search_banks_offset, bank_word_size,
       word(search_banks_offset)},
  };
  for (const auto &s : settings)
    things.push_back(
        {std::string("setting ") + s.name, "", {{s.at, s.count}}, s.render});
}

/// Every thing of an image, in the order of the listing.
const std::vector<Thing> &things_in_listing_order() {
  static const std::vector<Thing> things = [] {
    std::vector<Thing> all;
    for (int b = 0; b < bank_count; ++b)
      add_bank(all, b);
    add_weather_and_bands(all);
    add_message_and_settings(all);
    return all;
  }();
  return things;
}

/// Where a body byte lies, in words: "bank 3 channel 12 code byte 4".
std::string describe_body_byte(int offset) {
  if (offset < weather_offset) {
    int b = offset / bank_size, rel = offset % bank_size;
    std::string bank = "bank " + std::to_string(b);
    if (rel < bank_search_offset) {
      int k = rel / record_size, r = rel % record_size;
      return bank + " channel " + std::to_string(k) +
             (r < code_size
                  ? " code byte " + std::to_string(r + 1)
                  : " tag character " + std::to_string(r - code_size + 1));
    }
    if (rel < bank_search_offset + code_size)
      return bank + " search code byte " +
             std::to_string(rel - bank_search_offset + 1);
    if (rel < bank_search_end_offset)
      return bank + " search tag character " +
             std::to_string(rel - bank_search_offset - code_size + 1);
    if (rel < bank_tag_offset)
      return bank + " search end byte " +
             std::to_string(rel - bank_search_end_offset + 1);
    if (rel < bank_mode_offset)
      return bank + " tag character " +
             std::to_string(rel - bank_tag_offset + 1);
    if (rel == bank_mode_offset)
      return bank + " mode/offset byte";
    if (rel == bank_type_offset)
      return bank + " type byte";
    if (rel < bank_lockout_offset)
      return bank + " fleet map block " +
             std::to_string(rel - bank_fleet_offset);
    if (rel < bank_talkgroup_offset)
      return bank + " lockout " +
             std::to_string((rel - bank_lockout_offset) / 2 + 1) + " byte " +
             std::to_string((rel - bank_lockout_offset) % 2 + 1);
    int t = (rel - bank_talkgroup_offset) / talkgroup_size + 1;
    int r = (rel - bank_talkgroup_offset) % talkgroup_size;
    return bank + " talkgroup " + std::to_string(t) +
           (r == 0   ? " ID low byte"
            : r == 1 ? " ID high byte"
                     : " tag character " + std::to_string(r - 1));
  }
  if (offset < message_offset) {
    int e = (offset - weather_offset) / record_size;
    int r = (offset - weather_offset) % record_size;
    std::string where =
        e < weather_count ? "weather " + std::to_string(e)
                          : "search band " + std::to_string(e - weather_count);
    return where + (r < code_size ? " code byte " + std::to_string(r + 1)
                                  : " tag character " +
                                        std::to_string(r - code_size + 1));
  }
  if (offset < settings_offset)
    return "opening message line " +
           std::to_string((offset - message_offset) / message_line_size + 1) +
           " character " +
           std::to_string((offset - message_offset) % message_line_size + 1);
  return "settings byte " + std::to_string(offset - settings_offset + 1);
}

/// The line of a byte that differs: its file offset, where it lies, and
/// both values.
std::string byte_line(long at, const std::string &where, int old_byte,
                      int new_byte) {
  return text_of("byte 0x%04lX (%s): %02X -> %02X", at, where.c_str(), old_byte,
                 new_byte);
}

}  // namespace

std::vector<std::string> compare_image_files(const std::string &old_file,
                                             const std::string &new_file) {
  std::vector<std::string> lines;
  auto byte_of = [](const std::string &file, long at) {
    return static_cast<unsigned char>(file[static_cast<size_t>(at)]);
  };
  for (long at = 0; at < header_size; ++at)
    if (old_file[at] != new_file[at])
      lines.push_back(byte_line(at, "header byte " + std::to_string(at + 1),
                                byte_of(old_file, at), byte_of(new_file, at)));
  const unsigned char *old_body =
      reinterpret_cast<const unsigned char *>(old_file.data()) + header_size;
  const unsigned char *new_body =
      reinterpret_cast<const unsigned char *>(new_file.data()) + header_size;
  for (const Thing &thing : things_in_listing_order()) {
    std::string was = thing.render(old_body), now = thing.render(new_body);
    if (was != now) {
      lines.push_back(thing.place + ": " +
                      (thing.label.empty() ? "" : thing.label + " ") + was +
                      " -> " + now);
      continue;
    }
    // Bytes that the rendering does not show: flag bits, unused bits, a
    // talkgroup code's bits that its text drops.
    for (const auto &[first, count] : thing.runs)
      for (int at = first; at < first + count; ++at)
        if (old_body[at] != new_body[at])
          lines.push_back(byte_line(header_size + at, describe_body_byte(at),
                                    old_body[at], new_body[at]));
  }
  long shared = static_cast<long>(std::min(old_file.size(), new_file.size()));
  for (long at = header_size + body_size; at < shared; ++at)
    if (old_file[at] != new_file[at])
      lines.push_back(byte_line(
          at,
          "trailer byte " + std::to_string(at - header_size - body_size + 1),
          byte_of(old_file, at), byte_of(new_file, at)));
  if (old_file.size() != new_file.size())
    lines.push_back(text_of("file: %zu bytes -> %zu bytes", old_file.size(),
                            new_file.size()));
  return lines;
}
