// The constant tables of the channel, bank and talkgroup codes, and every
// encoder and decoder of the values the image body holds.
#include "common/codes.h"

#include "common/image.h"

#include <stdio.h>
#include <string.h>

const Band band_table[8] = {
    {29.0, 0.005},   {108.0, 0.0125}, {137.0, 0.005}, {380.0, 0.0125},
    {806.0, 0.0125}, {0.0, 0.0},      {0.0, 0.0},     {0.0, 0.0},
};

const char unknown_name[] = "?????";

const char *const mode_names[8] = {
    "AM   ", "FM   ", "PL   ", "DPL  ", "LTR  ", "MOT  ", "EDACS", unknown_name,
};

// The literal bases: computing them as 51.2 + 25.6 * (i - 2) makes some a
// hair too large, and a tone written on a base would fall into the range
// below.
const double tone_bases[10] = {0.0,   0.0,   51.2,  76.8,  102.4,
                               128.0, 153.6, 179.2, 204.8, 230.4};

const char *const bank_type_names[known_bank_type_count] = {
    "Conv ", "     ", "     ", "     ", "LTR  ", "MOT  ", "EDACS",
};

const char *const mode_offset_texts[8] = {
    "Closed  00.0 kHz offset", "Open    00.0 kHz offset",
    "Closed  12.5 kHz offset", "Open    12.5 kHz offset",
    "Closed  25   kHz offset", "Open    25   kHz offset",
    "Closed  50   kHz offset", "Open    50   kHz offset",
};

// One row for each size code: the code, A, B and A x B.  A wrong A or B
// shows as a row whose product is not its span.
// clang-format off
constexpr FleetSize fleet_sizes[16] = {
    {0, 0, 0, 0},
    {1, 4, 1, 4},
    {2, 8, 4, 32},
    {3, 8, 8, 64},
    {4, 16, 32, 512},
    {5, 4, 2, 8},
    {6, 8, 2, 16},
    {7, 4, 4, 16},
    {8, 4, 8, 32},
    {9, 4, 16, 64},
    {10, 8, 16, 128},
    {11, 16, 16, 256},
    {12, 16, 64, 1024},
    {13, 16, 128, 2048},
    {14, 16, 256, 4096},
    {15, 0, 0, 0},
};
// clang-format on

constexpr bool fleet_rows_agree() {
  for (int i = 0; i < 16; ++i) {
    const FleetSize &row = fleet_sizes[i];
    if (row.code != i || row.subfleets * row.spacing != row.span)
      return false;
  }
  return true;
}
static_assert(fleet_rows_agree(),
              "each fleet size row is its own size code, and A x B its span");

const unsigned char empty_band_code[6] = {0x00, 0x00, 0x01, 0x10, 0x00, 0x00};
const unsigned char empty_channel_code[6] = {0x00, 0x00, 0x01,
                                             0x08, 0x00, 0x00};

namespace {

const char no_match_mode[] = "cannot match transmission mode";
const char no_match_band[] = "cannot match frequency band";
const char no_match_bank_type[] = "cannot match bank type";
const char out_of_band[] = "frequency out of range for band";

constexpr unsigned skip_bit = 0x8000;

// Fields of a Motorola or EDACS ID code.
constexpr unsigned block_mask = 0xE00;       ///< bits 9..11, the block
constexpr unsigned two_block_mask = 0xC00;   ///< first of two blocks (S12)
constexpr unsigned four_block_mask = 0x800;  ///< first of four blocks (S13)
constexpr int block_shift = 9;
constexpr unsigned status_mask = 0xF000;  ///< top four bits; 8 alone is skip
constexpr unsigned number_mask = 0xFFF;   ///< Type II ID / 16, EDACS ID

// Size codes whose fleets span more than one block, and the last size code
// whose fleet number the decoder reads.
constexpr int two_block_code = 12;
constexpr int four_block_code = 13;
constexpr int eight_block_code = 14;
constexpr int last_fleet_code = 11;

constexpr char blank_text[] = "           ";
static_assert(sizeof blank_text == talkgroup_text_size + 1);

/// Looks a text up over its own length in a table of names; the last
/// matching entry wins.
int match_name(const char *text, const char *const *names, int count) {
  size_t length = strlen(text);
  int match = -1;
  for (int i = 0; i < count; ++i) {
    if (strncmp(names[i], text, length) == 0)
      match = i;
  }
  return match;
}

/// Splits a frequency and warns when its MHz offset does not fit a byte,
/// since the stored frequency would then not be the one written.
FrequencySplit split_checked(double frequency, int band, double bias,
                             Warnings &warnings) {
  FrequencySplit split = split_frequency(frequency, band, bias);
  if (!split.fits)
    add_warning(warnings, out_of_band);
  return split;
}

/// Search steps of a step in MHz, rounded up within a tenth of a step.
int count_steps(double step, int band) {
  double band_step = band_table[band].step;
  return truncate_real((tenth_step * band_step + step) / band_step);
}

/// The byte of a band number over a mode index (or the reverse): the high
/// one shifted by four, ORed with the low one.  An unmatched -1 is all
/// ones, so an unmatched low index gives 0xFF whatever the high one.
unsigned char pack_nibbles(int high, int low) {
  return static_cast<unsigned char>(
      (static_cast<unsigned>(high) << 4 | static_cast<unsigned>(low)) & 0xFF);
}

/// Frequency of an MHz offset and step count in a band.
double join_frequency(int mhz, int steps, int band) {
  return (mhz + band_table[band].base) + steps * band_table[band].step;
}

unsigned encode_mot_talkgroup(const char *text, const int *fleet_map) {
  const char *dash = strchr(text, '-');
  long at = dash ? dash - text : -1;
  if (at == 3 || at == 4) {
    int block = 0, fleet = 0, subfleet = 0;
    const char *pattern = at == 4 ? "%1d%3d-%1d" : "%1d%2d-%2d";
    // A block digit of 8 or 9 names no fleet map entry: such a text reads
    // as one that does not give its numbers.
    if (sscanf(text, pattern, &block, &fleet, &subfleet) != 3 || block < 0 ||
        block >= fleet_block_count)
      block = fleet = subfleet = 0;
    unsigned id = static_cast<unsigned>(
        encode_motorola_id(fleet_map[block], block, fleet, subfleet));
    return strstr(text, "Skip") ? id | skip_bit : id;
  }
  // Type II, also for a '-' anywhere but where a Type I text has it.
  int number = 0;
  if (sscanf(text, "%d", &number) != 1)
    number = 0;
  unsigned id = static_cast<unsigned>(number) >> 4;
  return strstr(text, "Skip") ? id | skip_bit : id;
}

void decode_ltr_talkgroup(unsigned id, char *text) {
  unsigned high = (id >> 8) & 0xFF, low = id & 0xFF;
  int area = static_cast<int>((high >> 5) & 1);
  int home = static_cast<int>(high & 0x1F);
  snprintf(text, talkgroup_text_size + 1, "%06d %s",
           area * 100000 + home * 1000 + static_cast<int>(low),
           high & 0x80 ? "Skip" : "Scan");
  if (strcmp(text, "000000 Skip") == 0)
    strcpy(text, "       Skip");
  else if (strcmp(text, "000000 Scan") == 0)
    strcpy(text, blank_text);
}

void decode_mot_talkgroup(unsigned id, const unsigned char *fleet_map,
                          char *text) {
  int block = static_cast<int>((id & block_mask) >> block_shift);
  int size = fleet_map[block];
  if (size == 0) {
    snprintf(text, talkgroup_text_size + 1, "%05d %s",
             static_cast<int>(id & number_mask) * 16,
             (id & status_mask) == skip_bit ? "Skip " : "Scan ");
    if (strcmp(text, "00000 Skip ") == 0)
      strcpy(text, "      Skip ");
    else if (strcmp(text, "00000 Scan ") == 0)
      strcpy(text, blank_text);
    return;
  }
  if (id == 0 || fleet_size(size).span == 0) {
    strcpy(text, blank_text);
    return;
  }
  if (id == skip_bit) {
    strcpy(text, "       Skip");
    return;
  }
  MotorolaId m = decode_motorola_id(id, size);
  // A fleet that spans several blocks is shown under its first block.
  int shown = size == two_block_code
                  ? static_cast<int>((id & two_block_mask) >> block_shift)
              : size == four_block_code
                  ? static_cast<int>((id & four_block_mask) >> block_shift)
              : size == eight_block_code ? 0
                                         : block;
  char digits[32];
  snprintf(digits, sizeof digits,
           size == 1 ? "%1.1d%3.3d-%1.1d" : "%1.1d%2.2d-%2.2d", shown, m.fleet,
           m.subfleet);
  snprintf(text, talkgroup_text_size + 1, "%-6.6s%s", digits,
           id & skip_bit ? " Skip" : " Scan");
}

void decode_edacs_talkgroup(unsigned id, char *text) {
  if (id == 0) {
    strcpy(text, blank_text);
    return;
  }
  if (id == skip_bit) {
    strcpy(text, "     Skip  ");
    return;
  }
  snprintf(text, talkgroup_text_size + 1, "%4d %s",
           static_cast<int>(id & number_mask),
           (id & status_mask) == skip_bit ? "Skip  " : "Scan  ");
}

}  // namespace

const FleetSize &fleet_size(int size_code) {
  return fleet_sizes[size_code & 15];
}

void add_warning(Warnings &warnings, const char *text) {
  constexpr int capacity = sizeof warnings.text / sizeof warnings.text[0];
  if (warnings.count < capacity)
    warnings.text[warnings.count++] = text;
}

int truncate_real(double value) {
  if (!(value > -2147483649.0 && value < 2147483648.0))
    return 0;
  return static_cast<int>(value);
}

int match_mode(const char *text, Warnings &warnings) {
  int mode = match_name(text, mode_names, known_mode_count);
  if (mode < 0)
    add_warning(warnings, no_match_mode);
  return mode;
}

int match_band(double frequency, Warnings &warnings) {
  int band = -1;
  for (int b = 0; b < known_band_count; ++b) {
    if (band_table[b].base <= frequency)
      band = b;
  }
  if (band < 0)
    add_warning(warnings, no_match_band);
  return band;
}

FrequencySplit split_frequency(double frequency, int band, double bias) {
  const Band &row = band_table[band];
  double offset = frequency - row.base;
  int mhz = truncate_real(offset);
  double rest = offset - mhz;
  int steps = truncate_real((bias * row.step + rest) / row.step);
  return {mhz, steps, offset >= 0.0 && offset < 256.0};
}

ChannelCode encode_channel_code(double frequency, const char *mode,
                                const char *tone, const char *flags,
                                Warnings &warnings) {
  ChannelCode code = {{0, 0, 0, 0, 0, 0}, 0};
  int mi = match_mode(mode, warnings);
  code.bytes[2] = pack_nibbles(0, mi);
  size_t flag_count = strlen(flags);
  int flag_byte = 0;
  if (flag_count > 0 && flags[0] == 'U')
    flag_byte |= flag_u;
  if (flag_count > 1 && flags[1] == 'D')
    flag_byte |= flag_d;
  if (flag_count > 2 && flags[2] == 'A')
    flag_byte |= flag_a;
  if (flag_count > 3 && flags[3] == 'L')
    flag_byte |= flag_l;
  code.bytes[3] = static_cast<unsigned char>(flag_byte);
  if (flag_byte & flag_u)
    return code;  // a record without a frequency

  int band = match_band(frequency, warnings);
  code.bytes[2] = pack_nibbles(band, mi);
  if (band >= 0) {
    code.band = band;
    FrequencySplit split =
        split_checked(frequency, band, nearest_step, warnings);
    code.bytes[0] = static_cast<unsigned char>(split.mhz & 0xFF);
    code.bytes[1] = static_cast<unsigned char>(split.steps & 0xFF);
  }
  if (mi == mode_pl) {
    double hertz;
    if (sscanf(tone, "%lf", &hertz) != 1)
      return code;
    int range = 0;
    for (int r = first_tone_range; r <= last_tone_range; ++r) {
      if (tone_bases[r] <= hertz)
        range = r;
    }
    if (range != 0) {
      double above = hertz - tone_bases[range];
      code.bytes[5] = static_cast<unsigned char>(range);
      code.bytes[4] =
          static_cast<unsigned char>(truncate_real(above * 10 + 0.5) & 0xFF);
    }
  } else if (mi == mode_dpl) {
    unsigned value;
    if (sscanf(tone, "D%o", &value) != 1)
      return code;
    code.bytes[4] = static_cast<unsigned char>(value & 0xFF);
    code.bytes[5] = static_cast<unsigned char>((value >> 8) & 0xFF);
  }
  return code;
}

ChannelView decode_channel_code(const unsigned char *code, RecordKind kind) {
  ChannelView view;
  int band = (code[2] >> 4) & 7;
  view.mode = code[2] & 7;
  view.frequency = join_frequency(code[0], code[1], band);
  if (band >= known_band_count || view.mode >= known_mode_count ||
      (kind != RecordKind::search && (code[3] & flag_u)))
    view.frequency = 0.0;
  strcpy(view.flags, "----");
  if (code[3] & flag_u)
    view.flags[0] = 'U';
  if (code[3] & flag_d)
    view.flags[1] = 'D';
  if (code[3] & flag_a)
    view.flags[2] = 'A';
  if (code[3] & flag_l)
    view.flags[3] = 'L';
  strcpy(view.tone, "     0.0");
  if (kind == RecordKind::weather)
    return view;
  if (view.mode == mode_pl && code[5] >= first_tone_range &&
      code[5] <= last_tone_range)
    snprintf(view.tone, sizeof view.tone, "%8.1f",
             code[4] * 0.1 + tone_bases[code[5]]);
  else if (view.mode == mode_dpl)
    snprintf(view.tone, sizeof view.tone, "    D%3.3o",
             static_cast<unsigned>(code[5] * 256 + code[4]));
  return view;
}

BandCode encode_band_code(double start, const char *mode, double end,
                          double step, Warnings &warnings) {
  BandCode code;
  int mi = match_mode(mode, warnings);
  int band = match_band(start, warnings);
  if (mi < 0 || band < 0) {
    memcpy(code.bytes, empty_band_code, sizeof code.bytes);
    code.empty = true;
    return code;
  }
  code.empty = false;
  code.bytes[3] = pack_nibbles(mi, band);
  FrequencySplit first = split_checked(start, band, tenth_step, warnings);
  FrequencySplit last = split_checked(end, band, tenth_step, warnings);
  code.bytes[0] = static_cast<unsigned char>(first.mhz & 0xFF);
  code.bytes[1] = static_cast<unsigned char>(first.steps & 0xFF);
  code.bytes[4] = static_cast<unsigned char>(last.mhz & 0xFF);
  code.bytes[5] = static_cast<unsigned char>(last.steps & 0xFF);
  code.bytes[2] = static_cast<unsigned char>(count_steps(step, band) & 0xFF);
  return code;
}

BandView decode_band_code(const unsigned char *code) {
  BandView view;
  view.mode = (code[3] >> 4) & 7;
  int band = code[3] & 7;
  view.step = code[2] * band_table[band].step;
  view.start = join_frequency(code[0], code[1], band);
  if (band >= known_band_count || view.mode >= known_mode_count ||
      (code[3] & 8))
    view.start = 0.0;
  view.end = view.start > 0.0 ? join_frequency(code[4], code[5], band) : 0.0;
  return view;
}

const char *mode_name(int mode) {
  return mode >= 0 && mode < known_mode_count ? mode_names[mode] : unknown_name;
}

const char *bank_type_name(int type) {
  return type >= 0 && type < known_bank_type_count ? bank_type_names[type]
                                                   : unknown_name;
}

int match_bank_type(const char *text, Warnings &warnings) {
  int type = match_name(text, bank_type_names, known_bank_type_count);
  if (type < 0)
    add_warning(warnings, no_match_bank_type);
  return type;
}

int encode_mode_offset(const char *text) {
  int byte = 0;
  if (text[0] == 'O' || text[0] == 'o')
    byte += 2;
  if (strlen(text) > 8) {
    if (text[8] == '1')
      byte += 4;
    else if (text[8] == '2')
      byte += 8;
    else if (text[8] == '5')
      byte += 12;
  }
  return byte;
}

ModeOffsetView decode_mode_offset(int byte) {
  return {mode_offset_texts[(byte & 0x0E) / 2], byte & 2 ? "Open  " : "Closed"};
}

int encode_motorola_id(int size_code, int block, int fleet, int subfleet) {
  const FleetSize &row = fleet_size(size_code);
  int b = row.spacing;
  return block * motorola_block_size + fleet * (row.subfleets * b) +
         subfleet * b + (b - 1);
}

MotorolaId decode_motorola_id(unsigned id, int size_code) {
  const FleetSize &row = fleet_size(size_code);
  int b = row.spacing, span = row.subfleets * b;
  int v = static_cast<int>(id);
  MotorolaId m;
  m.fleet = size_code <= last_fleet_code
                ? (v & (motorola_block_size - span)) / span
                : 0;
  m.subfleet = ((v - (b - 1)) & (span - 1)) / b;
  return m;
}

unsigned encode_talkgroup(int bank_type, unsigned code, const char *text,
                          const int *fleet_map) {
  unsigned id = code & 0xFFFF;
  if (!text)
    return id;
  if (bank_type == bank_type_ltr) {
    int area = 0, home = 0, user = 0;
    if (sscanf(text, "%1d%2d%3d", &area, &home, &user) != 3)
      area = home = user = 0;
    // The user ID fills the low byte alone; a larger one carries nothing
    // into the high byte.
    unsigned high = static_cast<unsigned>(area * 32 + home);
    if (strstr(text, "Skip"))
      high += 128;
    id = ((high & 0xFF) << 8) | (static_cast<unsigned>(user) & 0xFF);
  } else if (bank_type == bank_type_mot) {
    id = encode_mot_talkgroup(text, fleet_map);
  } else if (bank_type == bank_type_edacs) {
    int number = 0;
    if (sscanf(text, "%d", &number) != 1)
      number = 0;
    id = static_cast<unsigned>(number);
    if (strstr(text, "Skip"))
      id |= skip_bit;
  }
  return id & 0xFFFF;
}

void decode_talkgroup(int bank_type, unsigned id,
                      const unsigned char *fleet_map, char *text) {
  if (bank_type == bank_type_ltr)
    decode_ltr_talkgroup(id, text);
  else if (bank_type == bank_type_mot)
    decode_mot_talkgroup(id, fleet_map, text);
  else if (bank_type == bank_type_edacs)
    decode_edacs_talkgroup(id, text);
  else
    strcpy(text, blank_text);
}

SearchEnd encode_search_end(double end, double step, int band,
                            Warnings &warnings) {
  FrequencySplit split = split_checked(end, band, tenth_step, warnings);
  return {{static_cast<unsigned char>(split.mhz & 0xFF),
           static_cast<unsigned char>(split.steps & 0xFF),
           static_cast<unsigned char>(count_steps(step, band) & 0xFF)}};
}

SearchEndView decode_search_end(const unsigned char *bytes, int band) {
  return {join_frequency(bytes[0], bytes[1], band),
          bytes[2] * band_table[band].step};
}

LockoutPair encode_lockout(double frequency, int band, Warnings &warnings) {
  FrequencySplit split = split_frequency(frequency, band, tenth_step);
  // A first byte of 0xFF would mark the pair empty: the lockout would be
  // lost although the listing shows it.
  if (!split.fits || split.mhz == 0xFF)
    add_warning(warnings, out_of_band);
  return {static_cast<unsigned char>(split.mhz & 0xFF),
          static_cast<unsigned char>(split.steps & 0xFF)};
}

bool decode_lockout(const unsigned char *pair, int band, double *frequency) {
  if (pair[0] == 0xFF || pair[1] == 0xFF)
    return false;
  *frequency = join_frequency(pair[0], pair[1], band);
  return true;
}

int encode_delay(int milliseconds) {
  return milliseconds / 100;
}

int decode_delay(int byte) {
  return byte * 100;
}

int encode_tenths(double seconds) {
  return truncate_real(seconds * 10 + 0.5);
}

double decode_tenths(int byte) {
  return byte * 0.1;
}

PriorityChannel encode_priority_channel(int first, int second) {
  return {second, first};
}

unsigned encode_keypad_tone(double hertz) {
  // Below about 15.26 Hz the period no longer fits 16 bits.
  if (hertz <= 0.0 || 1000000.0 / hertz >= 65536.0)
    return 0;
  int period = truncate_real(1000000.0 / hertz);
  return static_cast<unsigned>(-period) & 0xFFFF;
}

int decode_keypad_tone(unsigned value) {
  return truncate_real(1000000.0 / (65536 - static_cast<int>(value & 0xFFFF)) +
                       0.3);
}

void encode_bank_word(const char *word, unsigned char *bytes) {
  size_t length = strlen(word);
  for (int i = 0; i < bank_word_size; ++i) {
    char c = static_cast<size_t>(i) < length ? word[i] : '\0';
    bytes[i] =
        c >= '0' && c <= '9' ? static_cast<unsigned char>(c) : no_bank_digit;
  }
}

void decode_bank_word(const unsigned char *bytes, char *word) {
  for (int i = 0; i < bank_word_size; ++i)
    word[i] =
        bytes[i] >= '0' && bytes[i] <= '9' ? static_cast<char>(bytes[i]) : '-';
  word[bank_word_size] = '\0';
}
