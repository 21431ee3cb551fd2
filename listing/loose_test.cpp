// The loose reader: canonical listings come back byte for byte, listings
// loosened the ways a person types give the canonical listing of the image
// meant, worked out on the image's bytes, and each mistake is named.
#include "listing/loose.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/codes.h"
#include "tests/generated_image.h"
#include "tests/listing_io.h"
#include "tests/process.h"

namespace {

std::string sample_listing() {
  return read_file(EXAMPLES_DIR "/sample.asc");
}

/// What a loose reading gave: the listing of its image, and its findings
/// as printed.
struct Formatted {
  LooseFindings findings;
  std::string listing;
  std::string printed;
};

Formatted format(const std::string &text, const ImageBody *base = nullptr) {
  static ImageBody image;
  Formatted f;
  f.findings = read_loose_listing(text, base, image);
  if (f.findings.errors == 0)
    f.listing = listing_of(image);
  char *data = nullptr;
  size_t size = 0;
  FILE *out = open_memstream(&data, &size);
  print_loose_findings(out, f.findings, "in.asc");
  fclose(out);
  f.printed.assign(data, size);
  free(data);
  return f;
}

std::vector<std::string> split(const std::string &text) {
  std::vector<std::string> lines;
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find("\r\n", at);
    lines.push_back(text.substr(at, end - at));
    at = end + 2;
  }
  return lines;
}

/// The kinds of a canonical listing's lines, from its fixed layout.
enum class Kind {
  fixed,
  header,
  channel,
  search,
  search_end,
  bank_tag,
  mode_offset,
  bank_type,
  fleet_map,
  lockout,
  talkgroup,
  weather,
  band,
  message,
  setting
};

std::vector<Kind> kinds_of(const std::vector<std::string> &lines) {
  std::vector<Kind> kinds(lines.size(), Kind::fixed);
  size_t at = 3;
  for (int b = 0; b < bank_count; ++b) {
    kinds[at] = Kind::header;
    at += 2;
    for (int k = 0; k < channel_count; ++k)
      kinds[at++] = Kind::channel;
    kinds[++at] = Kind::search;
    kinds[++at] = Kind::search_end;
    at += 3;
    kinds[at++] = Kind::bank_tag;
    kinds[at++] = Kind::mode_offset;
    kinds[at++] = Kind::bank_type;
    kinds[at++] = Kind::fleet_map;
    at += 2;
    while (lines[at] != " (end lockouts)")
      kinds[at++] = Kind::lockout;
    at += 3;
    for (int t = 0; t < talkgroup_count; ++t)
      kinds[at++] = Kind::talkgroup;
    at += 2;
  }
  kinds[at] = Kind::header;
  at += 2;
  for (int k = 0; k < weather_count; ++k)
    kinds[at++] = Kind::weather;
  if (lines[at].empty()) {
    kinds[at + 1] = Kind::header;
    for (at += 3; lines[at] != " "; ++at)
      kinds[at] = Kind::band;
  }
  kinds[++at] = Kind::header;
  at += 2;
  for (int j = 0; j < message_line_count; ++j)
    kinds[at++] = Kind::message;
  kinds[++at] = Kind::header;
  for (at += 2; at < lines.size(); ++at)
    kinds[at] = Kind::setting;
  return kinds;
}

/// Makes a canonical listing loose as a person might, and works out on the
/// image's bytes what the lines it deletes leave.
struct Loosener {
  explicit Loosener(unsigned seed) : random(seed) {}

  bool chance(int one_in) {
    return std::uniform_int_distribution<int>(1, one_in)(random) == 1;
  }
  std::string gap() {
    static const char *const gaps[] = {" ", "\t", "  ", " \t ", "\t\t"};
    return gaps[std::uniform_int_distribution<int>(0, 4)(random)];
  }
  std::string cased(const std::string &word) {
    std::string result = word;
    for (char &c : result)
      if (chance(2))
        c = static_cast<char>(chance(2) ? tolower(c) : toupper(c));
    return result;
  }
  /// Words split at blanks, each cased, joined by gaps.
  std::string words(const std::string &text, bool keep_case = false) {
    std::string result;
    size_t at = 0;
    while ((at = text.find_first_not_of(' ', at)) != std::string::npos) {
      size_t end = std::min(text.find(' ', at), text.size());
      std::string word = text.substr(at, end - at);
      result +=
          (result.empty() ? "" : gap()) + (keep_case ? word : cased(word));
      at = end;
    }
    return result;
  }
  /// A tag between > and <, its trailing blanks dropped where that reads
  /// back the same.
  std::string tag(const std::string &tag) {
    std::string kept = tag;
    if (kept.find_first_of("<>") == std::string::npos && chance(2))
      while (!kept.empty() && kept.back() == ' ')
        kept.pop_back();
    return ">" + kept + "<";
  }
  /// Flags as letters alone, in any order and case, or left out.
  std::string flags(const std::string &flags) {
    std::string letters;
    for (char c : flags)
      if (c != '-')
        letters += c;
    if (chance(3))
      return flags;
    std::shuffle(letters.begin(), letters.end(), random);
    return letters.empty() && chance(2)
               ? ""
               : cased(letters.empty() ? "-" : letters);
  }
  /// The fields of a channel, weather or search line after its tag.
  std::string channel_rest(const std::string &rest, bool weather) {
    char frequency[16], mode[8], tone[16], flag_text[8];
    sscanf(rest.c_str(), "%15s %7s %15s %7s", frequency, mode, tone, flag_text);
    int m = mode_of(mode);
    std::string result = frequency + gap() + cased(mode);
    bool needs_tone = !weather && (m == mode_pl || m == mode_dpl);
    std::string f = flags(flag_text);
    if (needs_tone || !f.empty() || chance(2))
      result += gap() + (m == mode_dpl && !weather ? cased(tone) : tone);
    return f.empty() ? result : result + gap() + f;
  }
  static int mode_of(const char *name) {
    for (int m = 0; m < known_mode_count; ++m)
      if (strncmp(mode_names[m], name, strlen(name)) == 0 &&
          (strlen(name) == 5 || mode_names[m][strlen(name)] == ' '))
        return m;
    return -1;
  }
  std::string code(const std::string &hex) {
    return chance(2) ? "" : words(hex) + gap();
  }

  std::string line(const std::string &text, Kind kind, int settings_line,
                   int bank_type) {
    switch (kind) {
      case Kind::channel:
      case Kind::weather:
      case Kind::band: {
        std::string rest = text.substr(38);
        std::string after = kind == Kind::band
                                ? words(rest)
                                : channel_rest(rest, kind == Kind::weather);
        return words(text.substr(0, 3)) + gap() + code(text.substr(5, 18)) +
               tag(text.substr(25, 12)) + gap() + after;
      }
      case Kind::search:
        return cased("Srch") + gap() + code(text.substr(5, 18)) +
               tag(text.substr(25, 12)) + gap() +
               channel_rest(text.substr(38), false);
      case Kind::search_end:
        return cased("End,") + gap() + cased("step") + gap() +
               code(text.substr(14, 8)) + words(text.substr(23));
      case Kind::mode_offset:
      case Kind::bank_type:
      case Kind::fleet_map: {
        size_t marker = text.find(" (");
        std::string values = text.substr(0, marker);
        if (kind == Kind::fleet_map)
          values = (chance(2) ? "" : values.substr(0, 24)) + values.substr(24);
        else if (chance(2))
          values = values.substr(3);
        bool keep_marker = kind == Kind::bank_type || chance(2);
        return gap() + words(values) +
               (keep_marker ? gap() + cased(text.substr(marker + 1)) : "");
      }
      case Kind::lockout:
        return words(text.substr(0, 3)) + gap() + code(text.substr(4, 5)) +
               words(text.substr(9));
      case Kind::talkgroup: {
        std::string id = text.substr(15, 11);
        bool trunked =
            bank_type >= bank_type_ltr && bank_type <= bank_type_edacs;
        bool keep_code = !trunked || chance(2);
        bool keep_text = !keep_code || chance(2);
        std::string result = words(text.substr(0, 4)) + gap();
        if (keep_code)
          result += cased(text.substr(5, 4)) + gap();
        if (keep_text)
          result +=
              "[" + (chance(2) ? id : gap() + words(id) + gap()) + "]" + gap();
        return result + tag(text.substr(32, 12));
      }
      case Kind::message:
        return gap() + tag(text.substr(2, 12));
      case Kind::header:
        return std::string(std::uniform_int_distribution<int>(0, 8)(random),
                           '*') +
               gap() + cased(text.substr(text.find_first_not_of("* ")));
      case Kind::setting: {
        static const int hex_fields[16] = {1, 1, 1, 1, 1, 1, 1, 2,
                                           3, 1, 1, 1, 1, 2, 0, 0};
        std::string rest = text;
        if (settings_line >= 14) {
          if (chance(2))
            rest = rest.substr(10);
          return rest.substr(0, rest.rfind("   ")) + gap() +
                 cased(rest.substr(rest.rfind("   ") + 3));
        }
        if (chance(2)) {
          size_t at = 0;
          for (int i = 0; i < hex_fields[settings_line]; ++i)
            at = text.find_first_not_of(' ',
                                        text.find_first_not_of(' ', at) + 2);
          rest = text.substr(at);
        }
        size_t description = rest.rfind("   ");
        return words(rest.substr(0, description)) + gap() +
               cased(rest.substr(description + 3));
      }
      case Kind::fixed:
      case Kind::bank_tag:
        break;
    }
    return text;
  }

  std::mt19937 random;
};

/// The first of each numbered block of lines, its length, and the number
/// the block starts at.
struct Block {
  size_t first, count;
  Kind kind;
};

std::vector<Block> blocks_of(const std::vector<Kind> &kinds) {
  std::vector<Block> blocks;
  for (size_t i = 0; i < kinds.size();) {
    Kind kind = kinds[i];
    size_t end = i;
    while (end < kinds.size() && kinds[end] == kind)
      ++end;
    if (kind == Kind::channel || kind == Kind::weather || kind == Kind::band ||
        kind == Kind::lockout || kind == Kind::talkgroup)
      blocks.push_back({i, end - i, kind});
    i = end;
  }
  return blocks;
}

/// The number a numbered line begins with.
int number_of(const std::string &line) {
  return atoi(line.c_str());
}

/// Empties, in the image, what a deleted numbered line gave.
void delete_from(ImageBody &image, Kind kind, int bank, int number) {
  unsigned char *b = image.bytes;
  switch (kind) {
    case Kind::channel:
    case Kind::weather: {
      int at = kind == Kind::channel ? channel_offset(bank, number)
                                     : weather_channel_offset(number);
      memcpy(b + at, "\x00\x00\x01\x08\x00\x00            ", record_size);
      break;
    }
    case Kind::lockout:
      memset(b + lockout_offset(bank, number), 0xFF, 2);
      break;
    case Kind::talkgroup:
      memcpy(b + talkgroup_offset(bank, number), "\0\0            ",
             talkgroup_size);
      break;
    case Kind::band: {
      int count = b[band_count_offset];
      memmove(b + band_record_offset(number + 1),
              b + band_record_offset(number + 2),
              static_cast<size_t>(record_size * (count - number - 1)));
      memcpy(b + band_record_offset(count),
             "\x00\x00\x01\x10\x00\x00\0\0\0\0\0\0\0\0\0\0\0\0", record_size);
      b[band_count_offset] = static_cast<unsigned char>(count - 1);
      break;
    }
    default:
      break;
  }
}

/// A loosened listing of a generated image, and the listing of the image
/// it means.
struct Loosened {
  std::string text;
  std::string expected;
};

Loosened loosen(unsigned seed) {
  ImageBody image;
  generate_image(seed, image);
  std::vector<std::string> lines = split(listing_of(image));
  std::vector<Kind> kinds = kinds_of(lines);
  Loosener l(seed);
  ImageBody meant = image;
  // Each block's lines shuffled, some deleted, some numbered "+".
  std::vector<std::string> out;
  std::vector<Block> blocks = blocks_of(kinds);
  size_t next_block = 0;
  int bank = -1, setting = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (kinds[i] == Kind::header && lines[i].find("Bank") != std::string::npos)
      ++bank;
    if (next_block < blocks.size() && blocks[next_block].first == i) {
      Block block = blocks[next_block++];
      std::vector<size_t> order;
      for (size_t k = 0; k < block.count; ++k)
        order.push_back(block.first + k);
      if (l.chance(2))
        std::shuffle(order.begin(), order.end(), l.random);
      int first =
          block.kind == Kind::lockout || block.kind == Kind::talkgroup ? 1 : 0;
      int previous = first - 1;
      std::vector<size_t> deleted;
      for (size_t at : order) {
        if (block.kind != Kind::band && l.chance(40)) {
          delete_from(meant, block.kind, bank, number_of(lines[at]));
          continue;
        }
        if (block.kind == Kind::band && l.chance(20)) {
          deleted.push_back(static_cast<size_t>(number_of(lines[at])));
          continue;
        }
        int type = bank >= 0 && bank < bank_count
                       ? image.bytes[bank_base(bank) + bank_type_offset]
                       : 0;
        std::string text = l.line(lines[at], kinds[at], 0, type);
        int number = number_of(lines[at]);
        if (number == previous + 1 && l.chance(3))
          text = "+" + text.substr(text.find_first_of(" \t"));
        previous = number;
        out.push_back(text);
        if (l.chance(30))
          out.push_back(l.gap() + "# a note");
      }
      // Bands deleted from the highest down, so that numbers still hold.
      std::sort(deleted.rbegin(), deleted.rend());
      for (size_t number : deleted)
        delete_from(meant, Kind::band, 0, static_cast<int>(number));
      i = block.first + block.count - 1;
      continue;
    }
    if (kinds[i] == Kind::fixed && lines[i] == " " && l.chance(3))
      continue;
    if (kinds[i] == Kind::fixed && l.chance(20))
      out.push_back("#" + std::string(l.chance(2) ? " " : "") + "comment");
    int type = bank >= 0 && bank < bank_count
                   ? image.bytes[bank_base(bank) + bank_type_offset]
                   : 0;
    out.push_back(l.line(lines[i], kinds[i],
                         kinds[i] == Kind::setting ? setting++ : 0, type));
  }
  std::string text;
  bool has_return = false;
  for (const std::string &line : out)
    has_return = has_return || line.find('\r') != std::string::npos;
  const char *end = l.chance(3)                 ? "\r\n"
                    : l.chance(2) || has_return ? "\n"
                                                : "\r";
  for (const std::string &line : out)
    text += line + end;
  if (l.chance(2)) {
    std::string utf8 = l.chance(2) ? "\xEF\xBB\xBF" : "";
    for (unsigned char c : text) {
      if (c < 0x80) {
        utf8 += static_cast<char>(c);
      } else {
        utf8 += static_cast<char>(0xC0 | c >> 6);
        utf8 += static_cast<char>(0x80 | (c & 0x3F));
      }
    }
    text = utf8;
  }
  return {text, listing_of(meant)};
}

}  // namespace

TEST(LooseListing, CanonicalListingsComeBackByteForByte) {
  std::vector<std::string> listings = {sample_listing()};
  for (unsigned seed = 1; seed <= 120; ++seed) {
    ImageBody image;
    generate_image(seed, image);
    listings.push_back(listing_of(image));
  }
  for (const std::string &listing : listings) {
    Formatted f = format(listing);
    EXPECT_EQ(f.findings.errors, 0) << f.printed;
    EXPECT_TRUE(f.listing == listing);
    // Twice gives what once gave.
    EXPECT_TRUE(format(f.listing).listing == f.listing);
  }
  EXPECT_EQ(format(sample_listing()).printed, "");
}

TEST(LooseListing, LoosenedListingsGiveTheListingOfTheImageMeant) {
  for (unsigned seed = 1; seed <= 150; ++seed) {
    Loosened loosened = loosen(seed);
    Formatted f = format(loosened.text);
    ASSERT_EQ(f.findings.errors, 0) << "seed " << seed << "\n" << f.printed;
    ASSERT_TRUE(f.listing == loosened.expected) << "seed " << seed;
  }
}
namespace {

/// The sample listing with texts replaced, each at its first place.
std::string edited_sample(
    const std::vector<std::pair<std::string, std::string>> &changes) {
  std::string text = sample_listing();
  for (const auto &change : changes) {
    size_t at = text.find(change.first);
    EXPECT_NE(at, std::string::npos) << change.first;
    if (at != std::string::npos)
      text.replace(at, change.first.size(), change.second);
  }
  return text;
}

struct Case {
  std::vector<std::pair<std::string, std::string>> changes;
  std::string printed;  ///< every finding, as printed
};

}  // namespace

TEST(LooseListing, LinesThatCannotBeReadAreErrors) {
  const char *channel =
      "; a channel line is NUMBER [CODE BYTES] >TAG< FREQUENCY MODE TONE "
      "FLAGS";
  const Case cases[] = {
      {{{"  1  12 5F", "  0  12 5F"}},
       "Error: channel 0 of bank 0 is given twice, at lines 6 and 7 at line "
       "7, file in.asc\n"},
      {{{"  1  12 5F", " 50  12 5F"}},
       "Error: channel number 50 is outside 0 to 49 at line 7, file in.asc\n"},
      {{{"  1  12 5F", " x1  12 5F"}},
       "Error: the line does not begin with its number or + at line 7, file "
       "in.asc\n"},
      {{{"155.4750  FM ", "155.4750  XM "}},
       std::string("Error: mode \"XM\" is not one of AM, FM, PL, DPL, LTR, "
                   "MOT, EDACS") +
           channel + " at line 7, file in.asc\n"},
      {{{">STATE MUTUAL<", ">STATE MUTUALS<"}},
       std::string("Error: tag \"STATE MUTUALS\" is 13 characters, at most 12 "
                   "fit") +
           channel + " at line 7, file in.asc\n"},
      {{{"155.4750  FM", "155.47.5  FM"}},
       std::string("Error: frequency \"155.47.5\" is not a number in MHz") +
           channel + " at line 7, file in.asc\n"},
      {{{"12 5F 21 00 00 00", "12 5F 21 00 00"}},
       std::string("Error: the code bytes before the tag are not six "
                   "hexadecimal numbers") +
           channel + " at line 7, file in.asc\n"},
      {{{"PL      123.0  ----", "PL  ----"}},
       std::string("Error: mode PL needs its tone in Hz") + channel +
           " at line 6, file in.asc\n"},
      {{{"DPL      D023", "DPL      D029"}},
       std::string("Error: DCS code \"D029\" is not D followed by octal "
                   "digits") +
           channel + " at line 10, file in.asc\n"},
      {{{"0.0  ----\r\n  2", "0.0  -X--\r\n  2"}},
       std::string("Error: flags \"-X--\" are not the letters U, D, A, L and "
                   "dashes") +
           channel + " at line 7, file in.asc\n"},
      {{{"  1 12 65  155.5050", "  1 12  155.5050"}},
       "Error: the lockout does not read; a lockout line is NUMBER [CODE "
       "BYTES] FREQUENCY at line 67, file in.asc\n"},
      {{{"  2 13 2A", "  1 13 2A"}},
       "Error: lockout 1 of bank 0 is given twice, at lines 67 and 68 at line "
       "68, file in.asc\n"},
      {{{"   1 2517     [105023 Scan]", "   1 [1050 Scan]"}},
       "Error: LTR ID 1050 is not AHHUUU or A-HH-UUU at line 581, file "
       "in.asc\n"},
      {{{"   1 0000     [           ]", "   1 [ 1234 ]"}},
       "Error: a talkgroup of a bank of type Conv takes its code in "
       "hexadecimal, not a text at line 73, file in.asc\n"},
      {{{"Closed  00.0 kHz", "Shut  00.0 kHz"}},
       "Error: the mode/offset does not read: it is Open or Closed, then an "
       "offset of 0, 12.5, 25 or 50 kHz at line 62, file in.asc\n"},
      {{{"Conv                             (Bank type)",
         "CONVENTIONAL                     (Bank type)"}},
       "Error: bank type \"CONVENTIONAL\" is not one of Conv, LTR, MOT, EDACS "
       "or blank at line 63, file in.asc\n"},
      {{{"S00 S00 S00 S00 S00 S00 S00 S00  (Fleet map)",
         "S00 S00 S00 S00 S00 S00 S00  (Fleet map)"}},
       "Error: the fleet map does not read: it is eight size codes S0 to S14 "
       "at line 64, file in.asc\n"},
      {{{" Bank 0 info:\r\nPOLICE", " Bank 0 info:\r\n\r\nPOLICE    "}}, ""},
      {{{" 0A                 10   Back", " 0A                 ten   Back"}},
       "Error: the backlight on time does not read: its value comes before "
       "its description at line 1726, file in.asc\n"},
      {{{" 0A                 10   Backlight on time, 1 sec to 255 sec\r\n",
         ""}},
       "Error: the backlight on time is missing at line 1723, file in.asc\n"},
      {{{"0 05   Priority", "0 105   Priority"}},
       "Error: priority channel number 105 has more than two digits, which "
       "the listing cannot show apart from the first at line 1732, file "
       "in.asc\n"},
      {{{"IMGTXT Version 1.03", "IMGTXT Version 1.04"}},
       "Error: wrong file version, this program is for ASC V 1.03 or earlier "
       "at line 1, file in.asc\n"},
      {{{"****** Bank 1 ******", "****** Bank 0 ******"}},
       "Error: bank 0 section is given twice, at lines 4 and 175 at line 175, "
       "file in.asc\n"},
      {{{"****** Bank 1 ******", "****** Bank 10 ******"}},
       "Error: bank number 10 is outside 0 to 9 at line 175, file in.asc\n"},
      {{{"****** Weather Channels", "****** Wetter Channels"}},
       "Error: section header \"****** Wetter Channels ******\" is none of "
       "Bank, Weather, Preprogrammed, Opening and Scanner at line 1694, file "
       "in.asc\n"},
      {{{"Srch 11 00 21 00 00 00  >POLICE LOW  <  154.0000  FM        0.0  "
         "----\r\n",
         ""}},
       "Error: bank 0 has no search line at line 4, file in.asc\n"},
      {{{" >DEC 2026    <\r\n", " >DEC 2026    <\r\n >MORE<\r\n"}},
       "Error: the opening message has only 4 lines at line 1722, file "
       "in.asc\n"},
      // Band lines.
      {{{"  1  0A 00 02 01 1C 4E  >AIRCRAFT    <  118.0000  AM   136.9750  "
         "0.0250",
         "  1  0A 00 02 01 1C 4E  >AIRCRAFT    <  118.0000  AM   136.9750"}},
       "Error: the step is missing; a band line is NUMBER [CODE BYTES] >TAG< "
       "START MODE END STEP at line 1710, file in.asc\n"},
      {{{"AM   136.9750  0.0250", "AM   136.9750  0.0250 more"}},
       "Error: \"more\" follows the step; a band line is NUMBER [CODE BYTES] "
       ">TAG< START MODE END STEP at line 1710, file in.asc\n"},
      {{{"  1  0A 00 02 01 1C 4E  >AIRCRAFT", "  1  0A 00 02 >AIRCRAFT"}},
       "Error: the code bytes before the tag are not six hexadecimal numbers; "
       "a band line is NUMBER [CODE BYTES] >TAG< START MODE END STEP at line "
       "1710, file in.asc\n"},
      {{{"  1  0A 00 02 01 1C 4E", "100  0A 00 02 01 1C 4E"}},
       "Error: band number 100 is outside 0 to 99 at line 1710, file "
       "in.asc\n"},
      // Lockout, talkgroup, search end, bank tag and message lines.
      {{{"  1 12 65  155.5050", " 51 12 65  155.5050"}},
       "Error: lockout number 51 is outside 1 to 50 at line 67, file "
       "in.asc\n"},
      {{{"  1 12 65  155.5050", "  1 1X 65  155.5050"}},
       "Error: the lockout does not read; a lockout line is NUMBER [CODE "
       "BYTES] FREQUENCY at line 67, file in.asc\n"},
      {{{"   1 0000     [", "   1 00G0     ["}},
       "Error: code \"00G0\" is not hexadecimal; a talkgroup line is NUMBER "
       "[CODE] [[TEXT]] >TAG< at line 73, file in.asc\n"},
      {{{"   1 0000     [           ]", "   1 0000     [           "}},
       "Error: the talkgroup text has no ] after it; a talkgroup line is "
       "NUMBER [CODE] [[TEXT]] >TAG< at line 73, file in.asc\n"},
      {{{"   1 0000     [           ]    >            <",
         "   1 0000     [           ]    >            "}},
       "Error: the line does not end with the tag between > and <; a "
       "talkgroup line is NUMBER [CODE] [[TEXT]] >TAG< at line 73, file "
       "in.asc\n"},
      {{{"   1 2517     [105023 Scan]", "   1 [105023 Scan Skip 7]"}},
       "Error: talkgroup text [105023 Scan Skip 7] holds more than an ID and "
       "Scan or Skip at line 581, file in.asc\n"},
      {{{"End, step     15 00 01", "End, step     15 0X 01"}},
       "Error: the search end does not read; a search end line is End, step "
       "[CODE BYTES] END STEP at line 58, file in.asc\n"},
      {{{"POLICE                     >POLICE      <",
         "POLICE                     >POLICE      "}},
       "Error: the bank tag line [TAG] >TAG< should follow the bank info line "
       "at line 61, file in.asc\n"
       "Error: the line does not end with the tag between > and <; a bank tag "
       "line is [TAG] >TAG< at line 61, file in.asc\n"},
      {{{" >CITY SCANNER<", " CITY SCANNER<"}},
       "Error: the line does not begin with >; an opening message line is "
       ">TEXT< at line 1719, file in.asc\n"},
      // Headers and lines outside sections.
      {{{"****** Bank 1 ******", "****** Bank ******"}},
       "Error: the bank header gives no bank number at line 175, file "
       "in.asc\n"},
      {{{"Edit this file", "Edit these notes\r\nRead me first"}},
       "Error: line is in no section: its section header may be missing or "
       "unreadable at line 2, file in.asc\n"
       "Error: line is in no section: its section header may be missing or "
       "unreadable at line 3, file in.asc\n"},
      {{{"IMGTXT Version 1.03", "IMGTXT Version x"}},
       "Error: wrong file version, this program is for ASC V 1.03 or earlier "
       "at line 1, file in.asc\n"},
      {{{"****** Bank 1 ******", "****** Bank 1234567 ******"}},
       "Error: the bank header gives no bank number at line 175, file "
       "in.asc\n"},
      {{{"Closed  00.0 kHz", "Closed  30 kHz"}},
       "Error: the mode/offset does not read: it is Open or Closed, then an "
       "offset of 0, 12.5, 25 or 50 kHz at line 62, file in.asc\n"},
      {{{" 00                         Conv                             (Bank",
         " 00                         Conv LTR                         (Bank"}},
       "Error: bank type \"Conv LTR\" is not one of Conv, LTR, MOT, EDACS "
       "or blank at line 63, file in.asc\n"},
      {{{"S00 S00 S00 S00 S00 S00 S00 S00  (Fleet map)",
         "S00 S00 S00 S00 S00 S00 S00 S00 00 (Fleet map)"}},
       "Error: the fleet map does not read: it is eight size codes S0 to S14 "
       "at line 64, file in.asc\n"},
      {{{"IMGTXT Version 1.03", "IMGTXT Version 2.00"}},
       "Error: wrong file version, this program is for ASC V 1.03 or earlier "
       "at line 1, file in.asc\n"},
      {{{"DPL      D023  ----", "DPL  ----"}},
       std::string("Error: mode DPL needs its code, D and octal digits") +
           channel + " at line 10, file in.asc\n"},
      {{{"155.4750  FM ", "155.4750  FM- "}},
       std::string("Error: mode \"FM-\" is not one of AM, FM, PL, DPL, LTR, "
                   "MOT, EDACS") +
           channel + " at line 7, file in.asc\n"},
      {{{" Search lockouts:\r\n", ""}},
       "Error: numbered line outside the channel, lockout and talkgroup lists "
       "of bank 0 at line 66, file in.asc\n"
       "Error: numbered line outside the channel, lockout and talkgroup lists "
       "of bank 0 at line 67, file in.asc\n"
       "Error: numbered line outside the channel, lockout and talkgroup lists "
       "of bank 0 at line 68, file in.asc\n"},
  };
  for (const Case &c : cases) {
    Formatted f = format(edited_sample(c.changes));
    EXPECT_EQ(f.printed, c.printed);
    EXPECT_EQ(f.findings.errors > 0, !c.printed.empty());
    if (f.findings.errors > 0) {
      EXPECT_EQ(f.listing, "");
    }
  }
}

TEST(LooseListing, ValuesStoredOtherwiseThanWrittenAreWarned) {
  const Case cases[] = {
      {{{"155.4750  FM", "155.4762  FM"}},
       "Warning: frequency 155.4762 is not on the 0.005 MHz step, stored as "
       "155.4750 at line 7, file in.asc\n"},
      {{{"155.4750  FM", "770  FM"}},
       "Warning: frequency out of range for band at line 7, file in.asc\n"
       "Warning: 770.0000 MHz is in no band the image holds (29 to 636 MHz "
       "and 806 to 1062 MHz): stored as 514.0000 at line 7, file in.asc\n"},
      {{{"155.4750  FM", "15  FM"}},
       "Warning: cannot match frequency band at line 7, file in.asc\n"
       "Warning: 15.0000 MHz is in no band the image holds (29 to 636 MHz and "
       "806 to 1062 MHz): stored as 0.0000 at line 7, file in.asc\n"},
      {{{"155.4750  FM        0.0  ----", "155.4750  FM   U"}},
       "Warning: frequency 155.475 is not stored: flag U marks a channel "
       "without one at line 7, file in.asc\n"},
      {{{"155.4750  FM        0.0", "155.4750  FM 127.3"}},
       "Warning: tone 127.3 is not stored in mode FM at line 7, file "
       "in.asc\n"},
      {{{"PL      123.0", "PL      123.4"}},
       "Warning: PL tone 123.4 is not a standard CTCSS tone, the nearest is "
       "123.0 at line 6, file in.asc\n"},
      {{{">STATE MUTUAL<", ">STATE\tMUTUAL<"}},
       "Warning: tag \"STATE?MUTUAL\" holds control bytes (09), which no "
       "display shows; stored as they are at line 7, file in.asc\n"},
      {{{"[105023 Scan]", "[105024 Scan]"}},
       "Warning: talkgroup code 2517 and text [105024 Scan] disagree: the "
       "code is stored, which reads [105023 Scan] at line 581, file in.asc\n"},
      {{{"   1 2517     [105023 Scan]", "   1 [1-06-201 scan]"}}, ""},
      {{{"   1 2517     [105023 Scan]", "   1 [205023 Scan]"}},
       "Warning: LTR area 2 is outside 0 to 1, stored as 005023 Scan at line "
       "581, file in.asc\n"},
      {{{"   1 0000     [           ]", "   1 0000     [105023 Scan]"}},
       "Warning: talkgroup text [105023 Scan] is not stored in a bank of type "
       "Conv: the code is at line 73, file in.asc\n"},
      {{{" >DEC 2026    <\r\n", ""}},
       "Warning: the opening message has 3 lines; the rest of its 4 are "
       "stored blank at line 1720, file in.asc\n"},
      {{{" 06                  6   Number", " 06                  7   Number"}},
       "Warning: the settings list 7 preprogrammed search bands, the band "
       "section has 6: 6 are stored at line 1737, file in.asc\n"},
      {{{" 0A                 10   Back", " 0A                300   Back"}},
       "Warning: backlight on time 300 s is outside 1 to 255 s, stored as 44 "
       "s at line 1726, file in.asc\n"},
      {{{"S00 S00 S00 S00 S00 S00 S00 S00  (Fleet map)",
         "S300 S00 S00 S00 S00 S00 S00 S00  (Fleet map)"}},
       "Warning: fleet map S300 of block 0 is not a size code of 0 to 14 at "
       "line 64, file in.asc\n"
       "Warning: fleet map S300 of block 0 is stored as S44 at line 64, file "
       "in.asc\n"},
      // Lines without a hexadecimal column or marker, a Conv talkgroup
      // with no code, a band no band holds, and a message of no lines.
      {{{" 00                         Closed  00.0 kHz offset          "
         "(Mode/Offset)",
         "open 25"}},
       ""},
      {{{" 00                         Conv                             "
         "(Bank type)",
         "  Conv"}},
       ""},
      {{{"   1 0000     [           ]", "   1 [ ]"}}, ""},
      {{{"<  118.0000  AM   136.9750", "<   18.0000  AM   136.9750"}},
       "Warning: cannot match frequency band at line 1710, file in.asc\n"
       "Warning: the band is stored as the empty band record, without its "
       "tag at line 1710, file in.asc\n"},
      {{{" >WELCOME TO  <\r\n >CITY SCANNER<\r\n >PROGRAMMED  <\r\n >DEC "
         "2026    <\r\n",
         ""}},
       "Warning: the opening message has 0 lines; the rest of its 4 are "
       "stored blank at line 1716, file in.asc\n"},
      {{{" 06                  6   Number of preprogrammed search bands (100 "
         "max)\r\n",
         ""}},
       ""},
      {{{"End, step     15 00 01", "end step"}}, ""},
      {{{"[105023 Scan]", "[105023 Scan  ]"}}, ""},
      {{{">DISPATCH    <", ">DISPATCH    <  \t"}}, ""},
      {{{"Mode: Closed", "Mode: Closed"}}, ""},
      {{{"  2 13 2A  156.2100", "  2 156.2110"}},
       "Warning: lockout 156.211 is not on the 0.005 MHz step, stored as "
       "156.2100 at line 68, file in.asc\n"},
  };
  for (const Case &c : cases) {
    Formatted f = format(edited_sample(c.changes));
    EXPECT_EQ(f.printed, c.printed);
    EXPECT_EQ(f.findings.errors, 0);
    EXPECT_NE(f.listing, "");
  }
}

TEST(LooseListing, EncodingsAndLineEnds) {
  std::string sample = sample_listing();
  std::string lf, cr, utf8 = "\xEF\xBB\xBF";
  for (char c : sample) {
    if (c != '\r')
      lf += c;
    if (c != '\n')
      cr += c;
  }
  for (unsigned char c : sample) {
    if (c < 0x80) {
      utf8 += static_cast<char>(c);
    } else {
      utf8 += static_cast<char>(0xC0 | c >> 6);
      utf8 += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  for (const std::string &text : {lf, cr, utf8, utf8.substr(3)}) {
    Formatted f = format(text);
    EXPECT_EQ(f.printed, "");
    EXPECT_TRUE(f.listing == sample);
  }
  // A character the scanner has no byte for, in a UTF-8 file.
  std::string euro_text = utf8;
  euro_text.replace(euro_text.find(">STATE MUTUAL<"), 14,
                    ">STATE \xE2\x82\xAC<");
  Formatted euro = format(euro_text);
  EXPECT_EQ(euro.printed,
            "Warning: character U+20AC has no place in the scanner's "
            "character set: stored as ? at line 7, file in.asc\n");
  EXPECT_NE(euro.listing.find(">STATE ?     <"), std::string::npos);
  // Two such characters, one warning; after a byte order mark, a byte that
  // is no UTF-8 stays itself; a last line needs no line end.
  euro_text.replace(euro_text.find(">STATE \xE2\x82\xAC<"), 11,
                    ">\xE2\x80\x94 \xE2\x82\xAC<");
  euro_text.replace(euro_text.find("COUNTY FIRE"), 6, "COUNT\xC9");
  euro_text.erase(euro_text.size() - 2);
  Formatted two = format(euro_text);
  EXPECT_EQ(two.printed,
            "Warning: character U+2014, U+20AC has no place in the scanner's "
            "character set: stored as ? at line 7, file in.asc\n");
  EXPECT_NE(two.listing.find(">? ?         <"), std::string::npos);
  EXPECT_NE(two.listing.find(">COUNT\xC9 FIRE <"), std::string::npos);
  // After a byte order mark, what is no UTF-8 (overlong, a surrogate,
  // beyond U+10FFFF, cut short) stays the bytes it is.
  std::string odd = utf8;
  odd.replace(odd.find(">STATE MUTUAL<"), 14,
              ">\xE0\x80\x80\xED\xA0\x80\xF4\x90\x80\x80\xE2<");
  Formatted kept = format(odd);
  EXPECT_EQ(kept.printed, "");
  EXPECT_NE(
      kept.listing.find(">\xE0\x80\x80\xED\xA0\x80\xF4\x90\x80\x80\xE2 <"),
      std::string::npos);
  // Latin-1 bytes that are no UTF-8 stay the bytes they are.
  Formatted latin =
      format(edited_sample({{">STATE MUTUAL<", ">STATE \xC9T\xC9<"}}));
  EXPECT_EQ(latin.printed, "");
  EXPECT_NE(latin.listing.find(">STATE \xC9T\xC9   <"), std::string::npos);
}

TEST(LooseListing, AnEditKeepsTheBitsNoLineShows) {
  ImageBody base;
  ASSERT_TRUE(read_listing_text(sample_listing(), base));
  unsigned char *b = base.bytes;
  // Bytes whose every bit no listing line shows, each beside its neighbours.
  b[channel_offset(0, 2) + 3] |= 0x30;  // flag byte bits 4 and 5
  b[channel_offset(0, 4) + 4] = 0x13;   // FM with tone bytes
  b[channel_offset(0, 4) + 2] = 0x21;
  b[bank_base(1) + bank_mode_offset] |= 0x01;  // mode/offset bit 0
  b[bank_base(2) + bank_type_offset] = 0x01;   // type 1 shows as blanks
  b[lockout_offset(0, 49)] = 0x12;             // a pair with one 0xFF
  b[weather_channel_offset(3) + 4] = 0x55;     // a weather channel's tone
  memcpy(b + message_line_offset(4), "DEC 2026\0\0\0\0", 12);
  b[scan_banks_offset + 2] = 0x00;  // shows as '-', as A5 does
  std::string listing = listing_of(base);
  // One channel edited: it alone takes the listing's bytes.
  size_t at = listing.find("155.4750");
  listing.replace(at, 8, "155.4800");
  ImageBody image;
  LooseFindings findings = read_loose_listing(listing, &base, image);
  ASSERT_EQ(findings.errors, 0);
  keep_unchanged_records(base, image);
  ImageBody expected = base;
  memcpy(expected.bytes + channel_offset(0, 1), "\x12\x60\x21", 3);
  EXPECT_EQ(memcmp(image.bytes, expected.bytes, body_size), 0);
  for (int i = 0; i < body_size; ++i)
    ASSERT_EQ(image.bytes[i], expected.bytes[i]) << "offset " << i;
}

TEST(LooseListing, LinesGivenTwiceAreErrorsNamingBoth) {
  // Each line doubled where it stands: the copy is the second line.
  struct Case {
    const char *line;
    const char *what;
  };
  const Case cases[] = {
      {"Srch 11 00 21", "search line of bank 0"},
      {"End, step     15 00 01", "search end line of bank 0"},
      {"POLICE                     >POLICE      <", "tag line of bank 0"},
      {" 00                         Closed  00.0",
       "mode/offset line of bank 0"},
      {" 00                         Conv ", "bank type line of bank 0"},
      {" 00 00 00 00 00 00 00 00    S00", "fleet map line of bank 0"},
      {"  0  19 6E 21 00 00 00  >WX1", "weather channel 0"},
      {"  0  07 00 01 12 0B 00  >2 METER HAM", "band 0"},
      {"   1 2517     [105023 Scan]", "talkgroup 1 of bank 3"},
      {" 0A                 10   Back", "setting \"backlight on time\""},
      {"****** Weather Channels ******", "weather section"},
      {"****** Preprogrammed Search Bands ******",
       "preprogrammed search band section"},
      {"****** Opening screen message ******", "opening message section"},
      {"****** Scanner settings ******", "scanner settings section"},
  };
  std::string sample = sample_listing();
  for (const Case &c : cases) {
    size_t at = sample.find(c.line);
    ASSERT_NE(at, std::string::npos) << c.line;
    size_t end = sample.find("\r\n", at) + 2;
    std::string text = sample;
    text.insert(end, sample.substr(at, end - at));
    int line =
        1 + static_cast<int>(std::count(
                sample.begin(), sample.begin() + static_cast<long>(at), '\n'));
    Formatted f = format(text);
    std::string expected = std::string("Error: ") + c.what +
                           " is given twice, at lines " + std::to_string(line) +
                           " and " + std::to_string(line + 1) + " at line " +
                           std::to_string(line + 1) + ", file in.asc\n";
    EXPECT_NE(f.printed.find(expected), std::string::npos) << c.line << "\n"
                                                           << f.printed;
    EXPECT_EQ(f.listing, "");
  }
}

TEST(LooseListing, ListingsMistypedAtRandomAreRefusedOrLaidOutOnceForAll) {
  // Formatting twice gives what formatting once gave, whatever was typed.
  std::string sample = sample_listing();
  std::mt19937 random(2026);
  auto pick = [&](size_t size) {
    return std::uniform_int_distribution<size_t>(0, size - 1)(random);
  };
  const std::string noise[] = {" ", "\t", "x", "+", "#", ">",  "<",    "[",
                               "]", "-",  ".", "9", "S", "\r", "\xE9", "*"};
  int refused = 0, laid_out = 0;
  for (int round = 0; round < 300; ++round) {
    std::string text = sample;
    for (int edits = 1 + static_cast<int>(pick(3)); edits > 0; --edits) {
      size_t at = pick(text.size());
      switch (pick(4)) {
        case 0:
          text.erase(at, 1 + pick(8));
          break;
        case 1:
          text.insert(at, noise[pick(16)]);
          break;
        case 2: {
          size_t start = text.rfind('\n', at) + 1;
          size_t end = text.find('\n', at);
          if (end != std::string::npos)
            text.insert(start, text.substr(start, end + 1 - start));
          break;
        }
        default:
          text.replace(at, 1, noise[pick(16)]);
          break;
      }
    }
    Formatted once = format(text);
    if (once.findings.errors > 0) {
      ++refused;
      EXPECT_EQ(once.listing, "");
      continue;
    }
    ++laid_out;
    Formatted twice = format(once.listing);
    EXPECT_EQ(twice.findings.errors, 0) << twice.printed;
    EXPECT_TRUE(twice.listing == once.listing);
  }
  EXPECT_GT(refused, 50);
  EXPECT_GT(laid_out, 30);
}
