// The rules of stored values: band limits and steps, standard tones and
// codes, talkgroup forms, documented ranges and re-encoded text.
#include "common/rules.h"

#include <ctype.h>
#include <errno.h>
#include <limits.h>
#include <math.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "common/image.h"

const double standard_ctcss_tones[50] = {
    67.0,  69.3,  71.9,  74.4,  77.0,  79.7,  82.5,  85.4,  88.5,  91.5,
    94.8,  97.4,  100.0, 103.5, 107.2, 110.9, 114.8, 118.8, 123.0, 127.3,
    131.8, 136.5, 141.3, 146.2, 151.4, 156.7, 159.8, 162.2, 165.5, 167.9,
    171.3, 173.8, 177.3, 179.9, 183.5, 186.2, 189.9, 192.8, 196.6, 199.5,
    203.5, 206.5, 210.7, 218.1, 225.7, 229.1, 233.6, 241.8, 250.3, 254.1,
};

// Octal literals: each is the code as it is written after the D.
const int standard_dcs_codes[104] = {
    023,  025,  026,  031,  032,  036,  043,  047,  051,  053,  054,  065,
    071,  072,  073,  074,  0114, 0115, 0116, 0122, 0125, 0131, 0132, 0134,
    0143, 0145, 0152, 0155, 0156, 0162, 0165, 0172, 0174, 0205, 0212, 0223,
    0225, 0226, 0243, 0244, 0245, 0246, 0251, 0252, 0255, 0261, 0263, 0265,
    0266, 0271, 0274, 0306, 0311, 0315, 0325, 0331, 0332, 0343, 0346, 0351,
    0356, 0364, 0365, 0371, 0411, 0412, 0413, 0423, 0431, 0432, 0445, 0446,
    0452, 0454, 0455, 0462, 0464, 0465, 0466, 0503, 0506, 0516, 0523, 0526,
    0532, 0546, 0565, 0606, 0612, 0624, 0627, 0631, 0632, 0654, 0662, 0664,
    0703, 0712, 0723, 0731, 0732, 0734, 0743, 0754,
};

void printable_text(const char *text, char *out, size_t limit) {
  while (*text == ' ')
    ++text;
  size_t length = strlen(text);
  while (length > 0 && isspace(static_cast<unsigned char>(text[length - 1])))
    --length;
  if (length > limit)
    length = limit;
  for (size_t i = 0; i < length; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    out[i] = c < 0x20 || c >= 0x7F ? '?' : static_cast<char>(c);
  }
  out[length] = '\0';
}

std::string trim_blanks(const char *text) {
  std::string result = text;
  size_t start = result.find_first_not_of(' ');
  if (start == std::string::npos)
    return "";
  size_t end = result.find_last_not_of(' ');
  return result.substr(start, end - start + 1);
}

namespace {

/// A value as the listing writes it, with so many decimals, read back.
double as_listed(double value, int decimals) {
  char text[64];
  snprintf(text, sizeof text, "%.*f", decimals, value);
  return atof(text);
}

/// Reports a frequency that the image will hold as another one: the
/// listing of the image must give back the value as written.
void compare_frequency(const char *what, double written, double stored,
                       int band, Findings &findings) {
  if (as_listed(stored, 4) == written)
    return;
  double step = band_table[band & 7].step;
  if (isfinite(written) && fabs(written - stored) < step) {
    char given[32];
    snprintf(given, sizeof given, "%.10g", written);
    add_off_step(findings, what, given, step, stored);
  } else {
    add_finding(findings, "%s %.10g is stored as %.4f", what, written, stored);
  }
}

/// Reports a search or band step that is not a whole number of band steps.
void compare_step(const char *what, double written, double stored, int band,
                  Findings &findings) {
  if (as_listed(stored, 4) == written)
    return;
  add_finding(findings,
              "%s %.10g is not a whole number of %g MHz steps, stored as "
              "%.4f",
              what, written, band_table[band & 7].step, stored);
}

/// A PL tone against its tone bytes: the listing must give it back.
void check_pl_tone(const char *tone, const char *word, const char *stored,
                   const ChannelCode &code, Findings &findings) {
  double hertz;
  int used = -1;
  if (sscanf(tone, "%lf%n", &hertz, &used) != 1 || !isfinite(hertz)) {
    add_finding(findings, "PL tone %s is not a number, no tone is stored",
                word);
    return;
  }
  bool none =
      code.bytes[5] < first_tone_range || code.bytes[5] > last_tone_range;
  // What follows the number is not stored.
  bool same =
      !none && atof(stored) == hertz && used == static_cast<int>(strlen(tone));
  char after[48] = "";
  if (none)
    snprintf(after, sizeof after, ", so no tone is stored");
  else if (!same)
    snprintf(after, sizeof after, ", stored as %s", stored);
  if (!is_standard_ctcss_tone(hertz))
    add_nonstandard_tone(findings, word, hertz, after);
  else if (!same)
    add_finding(findings, "PL tone %s is not stored as written%s", word, after);
}

void check_tone(int mode, const char *tone, const ChannelCode &code,
                RecordKind kind, Findings &findings) {
  char word[24], stored[24];
  printable_text(tone, word, 20);
  printable_text(decode_channel_code(code.bytes, kind).tone, stored, 20);
  if (mode == mode_pl) {
    check_pl_tone(tone, word, stored, code, findings);
  } else if (mode == mode_dpl) {
    unsigned value;
    int used = -1;
    unsigned kept = code.bytes[5] * 256u + code.bytes[4];
    if (sscanf(tone, "D%o%n", &value, &used) != 1 ||
        used != static_cast<int>(strlen(tone)))
      add_finding(findings,
                  "DCS code %s is not D followed by octal digits, stored as %s",
                  word, stored);
    else if (value != kept)
      add_finding(findings, "DCS code %s is stored as %s", word, stored);
    else if (!is_standard_dcs_code(value))
      add_nonstandard_code(findings, word);
  } else {
    double hertz;
    if (sscanf(tone, "%lf", &hertz) != 1 || hertz != 0.0) {
      char name[8];
      printable_text(mode_names[mode], name, 5);
      add_finding(findings, "tone %s is not stored in mode %s", word, name);
    }
  }
}

/// A weather channel lists no tone, so one written for it does not come
/// back.
void check_weather_tone(int mode, const char *tone, Findings &findings) {
  double hertz;
  if ((mode != mode_pl && mode != mode_dpl) ||
      (sscanf(tone, "%lf", &hertz) == 1 && hertz == 0.0))
    return;
  char word[24];
  printable_text(tone, word, 20);
  add_finding(findings,
              "tone %s is stored in a weather channel, whose line shows no "
              "tone",
              word);
}

/// Flags stored otherwise than written: each is its upper-case letter in
/// its own column.
void check_flags(const char *flags, const ChannelCode &code, RecordKind kind,
                 Findings &findings) {
  ChannelView view = decode_channel_code(code.bytes, kind);
  if (strcmp(flags, view.flags) == 0)
    return;
  char word[24];
  printable_text(flags, word, 20);
  add_finding(findings,
              "flags %s are stored as %s: each flag is its letter U, D, A or "
              "L in its own column",
              word, view.flags);
}

/// True when a talkgroup text holds nothing but blanks and the words Scan
/// and Skip: an empty slot.
bool is_empty_talkgroup(const char *text) {
  for (const char *p = text; *p;) {
    if (strncmp(p, "Scan", 4) == 0 || strncmp(p, "Skip", 4) == 0)
      p += 4;
    else if (*p == ' ')
      ++p;
    else
      return false;
  }
  return true;
}

/// The decimal number a talkgroup text begins with, as given however large
/// (up to the range of long long); false when it begins with none.
bool read_id_number(const char *text, long long *number) {
  char *end;
  errno = 0;
  *number = strtoll(text, &end, 10);
  return end != text;
}

/// Block, fleet and subfleet of a Type I talkgroup text; false when it
/// does not give all three.
bool read_type_one(const char *text, int *block, int *fleet, int *subfleet) {
  const char *dash = strchr(text, '-');
  long at = dash ? dash - text : -1;
  if (at != 3 && at != 4)
    return false;
  return sscanf(text, at == 4 ? "%1d%3d-%1d" : "%1d%2d-%2d", block, fleet,
                subfleet) == 3;
}

void check_motorola(const char *text, const char *shown, const int *fleet_map,
                    unsigned id, Findings &findings) {
  unsigned char bytes[fleet_block_count];
  for (int i = 0; i < fleet_block_count; ++i)
    bytes[i] = static_cast<unsigned char>(fleet_map[i]);
  char back[talkgroup_text_size + 1];
  decode_talkgroup(bank_type_mot, id, bytes, back);
  char stored[talkgroup_text_size + 16];
  printable_text(back, stored, talkgroup_text_size);
  if (stored[0] == '\0')
    strcpy(stored, "an empty slot");
  const char *dash = strchr(text, '-');
  long at = dash ? dash - text : -1;
  if (at == 3 || at == 4) {
    int block, fleet, subfleet;
    if (!read_type_one(text, &block, &fleet, &subfleet)) {
      add_finding(findings, "talkgroup %s gives no ID, %s %04X", shown,
                  findings.stored_as, id);
      return;
    }
    if (block < 0 || block >= fleet_block_count) {
      add_finding(findings,
                  "talkgroup %s names block %d, which the fleet map does not "
                  "have, %s %04X",
                  shown, block, findings.stored_as, id);
      return;
    }
    int size = fleet_map[block];
    if (size == 0) {
      add_finding(findings,
                  "talkgroup %s is a Type I ID, but the fleet map marks block "
                  "%d as Type II (S00), %s %s",
                  shown, block, findings.stored_as, stored);
      return;
    }
    if (size < 0 || size > 14) {
      add_finding(findings,
                  "talkgroup %s lies in block %d, whose size code S%02d has "
                  "no fleets",
                  shown, block, size);
      return;
    }
    const FleetSize &row = fleet_size(size);
    int fleets =
        row.span < motorola_block_size ? motorola_block_size / row.span : 1;
    if (fleet < 0 || fleet >= fleets)
      add_finding(findings,
                  "fleet %d of talkgroup %s is outside 0 to %d for size code "
                  "S%02d, %s %s",
                  fleet, shown, fleets - 1, size, findings.stored_as, stored);
    else if (subfleet < 0 || subfleet >= row.subfleets)
      add_finding(findings,
                  "subfleet %d of talkgroup %s is outside 0 to %d for size "
                  "code S%02d, %s %s",
                  subfleet, shown, row.subfleets - 1, size, findings.stored_as,
                  stored);
    else {
      int b2, f2, s2;
      if (!read_type_one(back, &b2, &f2, &s2) || b2 != block || f2 != fleet ||
          s2 != subfleet)
        add_finding(findings, "talkgroup %s %s %s", shown,
                    findings.is_stored_as, stored);
    }
    return;
  }
  long long number;
  if (!read_id_number(text, &number)) {
    add_finding(findings, "talkgroup %s gives no ID, %s %04X", shown,
                findings.stored_as, id);
    return;
  }
  constexpr int largest = 0xFFF * 16;
  if (number < 0 || number > largest) {
    add_finding(findings, "Type II ID %lld is outside 0 to %d, %s %s", number,
                largest, findings.stored_as, stored);
    return;
  }
  if (number % 16 != 0)
    add_finding(findings, "Type II ID %lld is not a multiple of 16, %s %lld",
                number, findings.stored_as, number / 16 * 16);
  int block = static_cast<int>((id & 0xE00) >> 9);
  if (fleet_map[block] != 0)
    add_finding(findings,
                "Type II ID %lld lies in block %d, which the fleet map marks "
                "as Type I (S%02d)",
                number, block, fleet_map[block]);
}

}  // namespace

void add_finding(Findings &findings, const char *format, ...) {
  constexpr int capacity = sizeof findings.text / sizeof findings.text[0];
  if (findings.count >= capacity)
    return;
  va_list args;
  va_start(args, format);
  vsnprintf(findings.text[findings.count++], sizeof findings.text[0], format,
            args);
  va_end(args);
}

double nearest_ctcss_tone(double hertz) {
  double nearest = standard_ctcss_tones[0];
  for (double tone : standard_ctcss_tones)
    if (fabs(tone - hertz) < fabs(nearest - hertz))
      nearest = tone;
  return nearest;
}

bool is_standard_ctcss_tone(double hertz) {
  return fabs(nearest_ctcss_tone(hertz) - hertz) < 0.0001;
}

bool is_standard_dcs_code(unsigned value) {
  for (int code : standard_dcs_codes)
    if (static_cast<unsigned>(code) == value)
      return true;
  return false;
}

bool read_exact_decimal(const char *text, int decimals, ExactDecimal *value) {
  constexpr long long largest = 1000000000000LL;
  const char *p = text;
  bool negative = *p == '-';
  if (*p == '-' || *p == '+')
    ++p;
  long long units = 0;
  int digits = 0, fraction = -1;  // fraction: digits after the point
  bool finer = false;
  for (; *p; ++p) {
    if (*p == '.' && fraction < 0) {
      fraction = 0;
      continue;
    }
    if (*p < '0' || *p > '9')
      return false;
    ++digits;
    if (fraction >= 0 && fraction == decimals) {
      finer = finer || *p != '0';
      continue;
    }
    if (fraction >= 0)
      ++fraction;
    units = units * 10 + (*p - '0');
    if (units > largest)
      return false;
  }
  if (digits == 0)
    return false;
  for (int i = fraction < 0 ? 0 : fraction; i < decimals; ++i) {
    units *= 10;
    if (units > largest)
      return false;
  }
  value->units = negative ? -units : units;
  value->finer = finer;
  return true;
}

long long band_base_hz(int band) {
  return llround(band_table[band].base * 1e6);
}

long long band_step_hz(int band) {
  return llround(band_table[band].step * 1e6);
}

long long band_limit_hz(int band) {
  long long limit = band_base_hz(band) + 256 * 1000000LL;
  if (band + 1 < known_band_count && band_base_hz(band + 1) < limit)
    limit = band_base_hz(band + 1);
  return limit;
}

int band_holding(long long hertz) {
  int band = -1;
  for (int b = 0; b < known_band_count; ++b)
    if (band_base_hz(b) <= hertz)
      band = b;
  return band >= 0 && hertz < band_limit_hz(band) ? band : -1;
}

std::string band_ranges_text() {
  char text[80];
  snprintf(text, sizeof text, "%lld to %lld MHz and %lld to %lld MHz",
           band_base_hz(0) / 1000000,
           band_limit_hz(known_band_count - 2) / 1000000,
           band_base_hz(known_band_count - 1) / 1000000,
           band_limit_hz(known_band_count - 1) / 1000000);
  return text;
}

long long nearest_step_hz(long long hertz) {
  int band = band_holding(hertz);
  if (band < 0)
    return -1;
  long long base = band_base_hz(band), step = band_step_hz(band);
  long long stored = base + (hertz - base + step / 2) / step * step;
  // The step above the last one of a band may be the next band's base.
  return band_holding(stored) >= 0 ? stored : -1;
}

void add_off_step(Findings &findings, const char *what, const char *given,
                  double step, double stored) {
  add_finding(findings, "%s %s is not on the %g MHz step, stored as %.4f", what,
              given, step, stored);
}

bool holds_pl_tone(long long tenths) {
  return tenths >= lowest_pl_tenths && tenths <= highest_pl_tenths;
}

bool holds_dcs_code(unsigned long long value) {
  return value <= 0xFFFF;
}

void add_nonstandard_tone(Findings &findings, const char *word, double hertz,
                          const char *after) {
  add_finding(findings,
              "PL tone %s is not a standard CTCSS tone, the nearest is %.1f%s",
              word, nearest_ctcss_tone(hertz), after);
}

void add_nonstandard_code(Findings &findings, const char *word) {
  add_finding(findings, "DCS code %s is not a standard DCS code", word);
}

void check_channel(const ChannelLine &line, const ChannelCode &code,
                   Findings &findings) {
  bool search = line.kind == RecordKind::search;
  if (!line.encoder_warned) {
    // Flag U keeps no frequency: a channel lists 0.0, a search record the
    // bottom of band 0.
    if (line.flags[0] == 'U' && !search) {
      if (line.frequency != 0.0)
        add_finding(findings,
                    "frequency %.10g is not stored: flag U marks a channel "
                    "without one",
                    line.frequency);
    } else {
      double stored = decode_channel_code(code.bytes, line.kind).frequency;
      compare_frequency(search ? "search start" : "frequency", line.frequency,
                        stored, code.band, findings);
    }
  }
  Warnings ignored;
  int mode = match_mode(line.mode, ignored);
  if (line.kind == RecordKind::weather)
    check_weather_tone(mode, line.tone, findings);
  else if (mode >= 0)
    check_tone(mode, line.tone, code, line.kind, findings);
  check_flags(line.flags, code, line.kind, findings);
}

void check_search_end(const ChannelLine &start, double end, double step,
                      int band, const SearchEnd &bytes, bool encoder_warned,
                      Findings &findings) {
  if (!encoder_warned) {
    SearchEndView stored = decode_search_end(bytes.bytes, band);
    compare_frequency("search end", end, stored.end, band, findings);
    compare_step("search step", step, stored.step, band, findings);
  }
  if (start.flags[0] != 'U' && end < start.frequency)
    add_finding(findings, "search end %.10g is below its start %.10g", end,
                start.frequency);
}

void check_lockout(double frequency, const LockoutPair &pair, int band,
                   bool encoder_warned, Findings &findings) {
  const unsigned char bytes[2] = {pair.first, pair.second};
  double stored;
  if (encoder_warned || !decode_lockout(bytes, band, &stored))
    return;
  compare_frequency("lockout", frequency, stored, band, findings);
}

void check_band_row(double start, double end, double step, const BandCode &code,
                    bool encoder_warned, Findings &findings) {
  if (encoder_warned || code.empty)
    return;
  BandView stored = decode_band_code(code.bytes);
  int band = code.bytes[3] & 7;
  compare_frequency("band start", start, stored.start, band, findings);
  compare_frequency("band end", end, stored.end, band, findings);
  compare_step("band step", step, stored.step, band, findings);
  if (end < start)
    add_finding(findings, "band end %.10g is below its start %.10g", end,
                start);
}

void check_fleet_map(const int *values, Findings &findings) {
  for (int block = 0; block < fleet_block_count; ++block)
    if (values[block] < 0 || values[block] > 14)
      add_finding(findings,
                  "fleet map S%02d of block %d is not a size code of 0 to 14",
                  values[block], block);
}

void check_talkgroup(int bank_type, unsigned code, const char *text,
                     const int *fleet_map, unsigned id, Findings &findings) {
  bool trunked = bank_type == bank_type_ltr || bank_type == bank_type_mot ||
                 bank_type == bank_type_edacs;
  if (!text || !trunked) {
    if (code > 0xFFFF)
      add_finding(findings, "talkgroup code %X %s %04X", code,
                  findings.is_stored_as, code & 0xFFFF);
    return;
  }
  if (is_empty_talkgroup(text))
    return;
  char shown[longest_talkgroup_id + 6];
  printable_text(text, shown, longest_talkgroup_id + 5);
  if (bank_type == bank_type_mot) {
    check_motorola(text, shown, fleet_map, id, findings);
    return;
  }
  if (bank_type == bank_type_ltr) {
    int area, home, user;
    if (sscanf(text, "%1d%2d%3d", &area, &home, &user) != 3) {
      add_finding(findings, "talkgroup %s gives no ID, %s %04X", shown,
                  findings.stored_as, id);
      return;
    }
    unsigned char no_map[fleet_block_count] = {};
    char back[talkgroup_text_size + 1];
    decode_talkgroup(bank_type_ltr, id, no_map, back);
    char stored[talkgroup_text_size + 16];
    printable_text(back, stored, talkgroup_text_size);
    if (stored[0] == '\0')
      strcpy(stored, "an empty slot");
    if (area < 0 || area > 1)
      add_finding(findings, "LTR area %d is outside 0 to 1, %s %s", area,
                  findings.stored_as, stored);
    if (home < 0 || home > 31)
      add_finding(findings, "LTR home repeater %d is outside 0 to 31, %s %s",
                  home, findings.stored_as, stored);
    if (user < 0 || user > 255)
      add_finding(findings, "LTR user ID %d is outside 0 to 255, %s %s", user,
                  findings.stored_as, stored);
    return;
  }
  long long number;
  if (!read_id_number(text, &number)) {
    add_finding(findings, "talkgroup %s gives no ID, %s %04X", shown,
                findings.stored_as, id);
    return;
  }
  if (number < 0 || number > 0xFFF)
    add_finding(findings, "EDACS ID %lld is outside 0 to 4095, %s %d", number,
                findings.stored_as, static_cast<int>(id & 0xFFF));
}

namespace {

/// True when a text is one or more decimal digits.
bool all_digits(const char *text) {
  return text[0] != '\0' && strspn(text, "0123456789") == strlen(text);
}

/// True when a text has the form of a Type I talkgroup: a block digit,
/// three fleet digits, '-' and one subfleet digit, or two and two.
bool is_type_one_form(const char *text) {
  const char *dash = strchr(text, '-');
  return dash && strlen(text) == 6 && (dash - text == 3 || dash - text == 4) &&
         strspn(text, "0123456789") == static_cast<size_t>(dash - text) &&
         strspn(dash + 1, "0123456789") == strlen(dash + 1);
}

}  // namespace

bool talkgroup_text_of_id(int bank_type, const char *id, bool skip, char *text,
                          Findings &findings) {
  char shown[longest_talkgroup_id + 1];
  printable_text(id, shown, longest_talkgroup_id);
  if (strlen(id) > static_cast<size_t>(longest_talkgroup_id)) {
    add_finding(findings, "talkgroup ID %s... is too long", shown);
    return false;
  }
  char digits[longest_talkgroup_id + 1];
  snprintf(digits, sizeof digits, "%s", id);
  if (bank_type == bank_type_ltr) {
    // AHHUUU, or A-HH-UUU as LTR IDs are often written.
    if (strlen(id) == 8 && id[1] == '-' && id[4] == '-')
      snprintf(digits, sizeof digits, "%c%.2s%.3s", id[0], id + 2, id + 5);
    if (strlen(digits) != 6 || !all_digits(digits)) {
      add_finding(findings, "LTR ID %s is not AHHUUU or A-HH-UUU", shown);
      return false;
    }
  } else if (bank_type == bank_type_mot && strchr(id, '-')) {
    if (!is_type_one_form(id)) {
      add_finding(findings,
                  "Type I ID %s is not BFFF-S (size code 1) or BFF-SS", shown);
      return false;
    }
  } else if (!all_digits(id)) {
    add_finding(findings, "%s ID %s is not a number",
                bank_type == bank_type_edacs ? "EDACS" : "talkgroup", shown);
    return false;
  }
  snprintf(text, longest_talkgroup_id + 6, "%s %s", digits,
           skip ? "Skip" : "Scan");
  return true;
}

void check_setting(SettingCheck kind, const char *name, long long value,
                   Findings &findings) {
  long long byte = value & 0xFF;
  switch (kind) {
    case SettingCheck::raw_byte:
      if (byte != value)
        add_finding(findings, "%s %llX is stored as %02llX", name, value, byte);
      return;
    case SettingCheck::priority:
      if (byte != value)
        add_finding(findings, "%s %lld is stored as %lld", name, value, byte);
      return;
    case SettingCheck::backlight:
      if (value < 1 || value > 255)
        add_finding(findings,
                    "%s %lld s is outside 1 to 255 s, stored as %lld s", name,
                    value, byte);
      return;
    case SettingCheck::contrast:
      if (value < 9 || value > 14)
        add_finding(findings, "%s %lld is outside 9 to 14, stored as %lld",
                    name, value, byte);
      return;
    case SettingCheck::scan_delay:
    case SettingCheck::trunk_delay: {
      long long most = kind == SettingCheck::scan_delay ? 25500 : 10000;
      long long stored = (value / 100 & 0xFF) * 100;
      if (value < 400 || value > most)
        add_finding(findings,
                    "%s %lld ms is outside 400 to %lld ms, stored as %lld ms",
                    name, value, most, stored);
      else if (stored != value)
        add_finding(findings, "%s %lld ms is stored as %lld ms", name, value,
                    stored);
      return;
    }
    case SettingCheck::minimum_delay:
    case SettingCheck::keypad:
      return;
  }
}

void check_real_setting(SettingCheck kind, const char *name, double value,
                        Findings &findings) {
  if (kind == SettingCheck::minimum_delay) {
    double stored = (encode_tenths(value) & 0xFF) * 0.1;
    if (!(value >= 0.4 - 1e-9 && value <= 25.5 + 1e-9))
      add_finding(findings,
                  "%s %.10g s is outside 0.4 to 25.5 s, stored as %.1f s", name,
                  value, stored);
    else if (fabs(stored - value) > 1e-6)
      add_finding(findings, "%s %.10g s is stored as %.1f s", name, value,
                  stored);
  } else if (kind == SettingCheck::keypad) {
    unsigned stored = encode_keypad_tone(value);
    int hertz = decode_keypad_tone(stored);
    // The range is that of the tone periods 300 Hz and 3000 Hz store.
    unsigned period = 65536 - stored;
    if (stored == 0 || period < 333 || period > 3333)
      add_finding(findings,
                  "%s %.10g Hz is outside 300 to 3000 Hz, stored as %d Hz",
                  name, value, hertz);
    else if (hertz != value)
      add_finding(findings, "%s %.10g Hz is stored as %d Hz", name, value,
                  hertz);
  }
}

void check_bank_word(const char *name, const char *word, Findings &findings) {
  char shown[24];
  printable_text(word, shown, 20);
  size_t length = strlen(word);
  // Positions past the tenth are not stored, whatever they hold.
  for (size_t i = 0; i < length && i < bank_word_size; ++i) {
    if (!isdigit(static_cast<unsigned char>(word[i])) && word[i] != '-') {
      add_finding(findings,
                  "%s %s holds characters other than digits and dashes, "
                  "stored as off (A5)",
                  name, shown);
      break;
    }
  }
  if (length < bank_word_size)
    add_finding(findings,
                "%s %s has %zu positions, not 10; the missing ones are stored "
                "as off (A5)",
                name, shown, length);
  else if (length > bank_word_size)
    add_finding(findings,
                "%s %s has %zu positions, not 10; the rest is ignored", name,
                shown, length);
}

void check_tag_controls(const unsigned char *tag, int size,
                        Findings &findings) {
  char shown[40], codes[40] = "";
  size_t used = 0;
  bool seen[0x80] = {};
  for (int i = 0; i < size; ++i) {
    unsigned char c = tag[i];
    // A NUL is how an image leaves a tag empty, and no listing holds one.
    bool control = (c < 0x20 && c != 0) || c == 0x7F;
    shown[i] = control || c >= 0x80 ? '?' : static_cast<char>(c);
    if (control && !seen[c]) {
      seen[c] = true;
      used += static_cast<size_t>(snprintf(codes + used, sizeof codes - used,
                                           used ? " %02X" : "%02X", c));
    }
  }
  shown[size] = '\0';
  if (used)
    add_finding(findings,
                "tag \"%s\" holds control bytes (%s), which no display shows; "
                "stored as they are",
                shown, codes);
}

void add_no_band(Findings &findings, double frequency, double stored) {
  add_finding(findings,
              "%.4f MHz is in no band the image holds (%s): stored as %.4f",
              frequency, band_ranges_text().c_str(), stored);
}

void check_encoding(const char *line, int skip, Findings &findings) {
  const unsigned char *p = reinterpret_cast<const unsigned char *>(line);
  size_t length = strlen(line);
  for (size_t i = static_cast<size_t>(skip); i < length; ++i) {
    int follow = p[i] >= 0xC2 && p[i] <= 0xDF   ? 1
                 : p[i] >= 0xE0 && p[i] <= 0xEF ? 2
                 : p[i] >= 0xF0 && p[i] <= 0xF4 ? 3
                                                : 0;
    if (follow == 0 || i + static_cast<size_t>(follow) >= length)
      continue;
    bool sequence = true;
    for (int k = 1; k <= follow; ++k)
      sequence = sequence && p[i + k] >= 0x80 && p[i + k] <= 0xBF;
    if (!sequence)
      continue;
    char bytes[16] = "";
    size_t used = 0;
    for (int k = 0; k <= follow; ++k)
      used += static_cast<size_t>(snprintf(bytes + used, sizeof bytes - used,
                                           k ? " %02X" : "%02X", p[i + k]));
    add_finding(findings,
                "UTF-8 sequence %s where the listing holds single bytes: an "
                "editor may have re-encoded the file",
                bytes);
    return;
  }
}

void check_numbers_fit(const char *text, const char *kinds,
                       Findings &findings) {
  const char *p = text;
  for (const char *kind = kinds; *kind; ++kind) {
    while (isspace(static_cast<unsigned char>(*p)))
      ++p;
    if (*kind == 'S') {
      if (*p != 'S')
        return;
      ++p;
    }
    char *end;
    errno = 0;
    bool fits;
    if (*kind == 'x') {
      // A minus sign is read as the complement, which the findings on the
      // value name; only the digits can be too many.
      unsigned long long value = strtoull(p, &end, 16);
      unsigned long long digits = *p == '-' ? 0 - value : value;
      fits = errno != ERANGE && digits <= UINT_MAX;
    } else {
      long long value = strtoll(p, &end, 10);
      fits = errno != ERANGE && value >= INT_MIN && value <= INT_MAX;
    }
    if (end == p)
      return;
    if (!fits) {
      char number[40];
      printable_text(p, number,
                     static_cast<size_t>(end - p) < 30
                         ? static_cast<size_t>(end - p)
                         : 30);
      add_finding(findings, "number %s is too large to be read", number);
    }
    p = end;
  }
}
