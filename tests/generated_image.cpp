// Random images whose every value the listing shows exactly.
#include "tests/generated_image.h"

#include <string.h>

#include <random>

#include "common/codes.h"

namespace {

using Random = std::mt19937;

int pick(Random &random, int low, int high) {
  return std::uniform_int_distribution<int>(low, high)(random);
}

int steps_per_mhz(int band) {
  return band_table[band].step == 0.005 ? 200 : 80;
}

/// Whole MHz that keep a frequency of the band below the next band's base.
int mhz_range(int band) {
  if (band + 1 < known_band_count)
    return static_cast<int>(band_table[band + 1].base - band_table[band].base) -
           1;
  return 255;
}

/// Any tag byte but NUL and line feed, which the listing cannot carry.
void fill_tag(Random &random, unsigned char *tag, int size = tag_size) {
  for (int i = 0; i < size; ++i) {
    int c;
    do
      c = pick(random, 1, 255);
    while (c == '\n');
    tag[i] = static_cast<unsigned char>(c);
  }
}

/// A channel code whose frequency, mode, tone and flags read back exactly.
void fill_channel_code(Random &random, unsigned char *code, bool weather) {
  int band = pick(random, 0, known_band_count - 1);
  int mode = pick(random, 0, known_mode_count - 1);
  int flags = pick(random, 0, 15);
  if (pick(random, 0, 3) != 0)
    flags &= 7;  // mostly records with a frequency
  code[0] = static_cast<unsigned char>(pick(random, 0, mhz_range(band)));
  code[1] =
      static_cast<unsigned char>(pick(random, 0, steps_per_mhz(band) - 1));
  code[2] = static_cast<unsigned char>(band << 4 | mode);
  code[3] = static_cast<unsigned char>(flags);
  code[4] = code[5] = 0;
  if (!weather && mode == mode_pl) {
    code[4] = static_cast<unsigned char>(pick(random, 0, 255));
    code[5] = static_cast<unsigned char>(pick(random, 2, 9));
  } else if (!weather && mode == mode_dpl) {
    code[4] = static_cast<unsigned char>(pick(random, 0, 255));
    code[5] = static_cast<unsigned char>(pick(random, 0, 255));
  }
  if (flags & 8) {  // no frequency: only mode and flags are kept
    code[0] = code[1] = code[4] = code[5] = 0;
    code[2] = static_cast<unsigned char>(mode);
  }
}

/// A talkgroup ID that the bank type's text shows exactly.
unsigned make_talkgroup(Random &random, int type, const unsigned char *fleet) {
  unsigned skip = pick(random, 0, 1) ? 0x8000u : 0u;
  switch (type) {
    case bank_type_ltr:
      return (skip >> 8 | static_cast<unsigned>(pick(random, 0, 63))) << 8 |
             static_cast<unsigned>(pick(random, 0, 255));
    case bank_type_edacs:
      return skip | static_cast<unsigned>(pick(random, 0, 4095));
    case bank_type_mot: {
      int block = pick(random, 0, 7);
      int size = fleet[block];
      if (size == 0)
        return skip | static_cast<unsigned>(block << 9 | pick(random, 0, 511));
      int a = fleet_size(size).subfleets;
      int span = fleet_size(size).span;
      if (size >= 12)
        block &= ~(span / 512 - 1);  // the first block of a wide fleet
      int fleets = span < 512 ? 512 / span : 1;
      int fleet_number = size <= 11 ? pick(random, 0, fleets - 1) : 0;
      return skip | static_cast<unsigned>(encode_motorola_id(
                        size, block, fleet_number, pick(random, 0, a - 1)));
    }
    default:
      return static_cast<unsigned>(pick(random, 0, 0xFFFF));
  }
}

void fill_bank(Random &random, ImageBody &image, int b) {
  unsigned char *bank = image.bytes + bank_base(b);
  for (int k = 0; k < channel_count; ++k) {
    fill_channel_code(random, bank + record_size * k, false);
    fill_tag(random, bank + record_size * k + code_size);
  }
  unsigned char *search = bank + bank_search_offset;
  fill_channel_code(random, search, false);
  fill_tag(random, search + code_size);
  int search_band = (search[2] >> 4) & 7;
  unsigned char *end = bank + bank_search_end_offset;
  end[0] = static_cast<unsigned char>(pick(random, 0, 255));
  end[1] = static_cast<unsigned char>(
      pick(random, 0, steps_per_mhz(search_band) - 1));
  end[2] = static_cast<unsigned char>(pick(random, 0, 255));
  fill_tag(random, bank + bank_tag_offset);
  bank[bank_mode_offset] = static_cast<unsigned char>(2 * pick(random, 0, 7));

  static const int types[] = {0, 3, bank_type_ltr, bank_type_mot,
                              bank_type_edacs};
  static const unsigned char fleet_maps[3][8] = {
      {0, 1, 2, 5, 12, 12, 11, 4},
      {13, 13, 13, 13, 3, 6, 9, 10},
      {14, 14, 14, 14, 14, 14, 14, 14},
  };
  int type = types[pick(random, 0, 4)];
  bank[bank_type_offset] = static_cast<unsigned char>(type);
  unsigned char *fleet = bank + bank_fleet_offset;
  if (type == bank_type_mot)
    memcpy(fleet, fleet_maps[pick(random, 0, 2)], fleet_block_count);
  else
    for (int i = 0; i < fleet_block_count; ++i)
      fleet[i] = static_cast<unsigned char>(pick(random, 0, 255));

  memset(bank + bank_lockout_offset, 0xFF, lockout_area_size);
  for (int l = 1; l <= lockout_count; ++l) {
    if (pick(random, 0, 2) == 0)
      continue;
    unsigned char *pair = bank + bank_lockout_offset + 2 * (l - 1);
    pair[0] = static_cast<unsigned char>(pick(random, 0, 254));
    pair[1] = static_cast<unsigned char>(
        pick(random, 0, steps_per_mhz(search_band) - 1));
  }
  for (int t = 0; t < talkgroup_count; ++t) {
    unsigned char *record = bank + bank_talkgroup_offset + talkgroup_size * t;
    unsigned id = make_talkgroup(random, type, fleet);
    record[0] = static_cast<unsigned char>(id & 0xFF);
    record[1] = static_cast<unsigned char>(id >> 8);
    fill_tag(random, record + 2);
  }
}

void fill_bands(Random &random, ImageBody &image, int count) {
  for (int n = 1; n <= band_record_count; ++n) {
    unsigned char *record = image.bytes + band_record_offset(n);
    if (n > count) {
      if (count > 0) {
        memcpy(record, empty_band_code, code_size);
        memset(record + code_size, 0, tag_size);
      }
      continue;
    }
    int band = pick(random, 0, known_band_count - 1);
    record[0] = static_cast<unsigned char>(pick(random, 0, mhz_range(band)));
    record[1] =
        static_cast<unsigned char>(pick(random, 0, steps_per_mhz(band) - 1));
    record[2] = static_cast<unsigned char>(pick(random, 0, 255));
    record[3] = static_cast<unsigned char>(pick(random, 0, 6) << 4 | band);
    record[4] = static_cast<unsigned char>(pick(random, 0, 255));
    record[5] =
        static_cast<unsigned char>(pick(random, 0, steps_per_mhz(band) - 1));
    fill_tag(random, record + code_size);
  }
  image.bytes[band_count_offset] = static_cast<unsigned char>(count);
}

void fill_settings(Random &random, ImageBody &image) {
  unsigned char *b = image.bytes;
  for (int offset : {u1_offset, blt_offset, sdt_offset, tdt_offset, u5_offset,
                     msdt_offset, dc_offset, lsf_offset, lsf_offset + 1,
                     lsf_offset + 2, poo_offset, wxpoo_offset, wxpcn_offset})
    b[offset] = static_cast<unsigned char>(pick(random, 0, 255));
  // The priority pair is shown side by side: two digits each at most.
  b[pc1_offset] = static_cast<unsigned char>(pick(random, 0, 99));
  b[pc2_offset] = static_cast<unsigned char>(pick(random, 0, 99));
  // Keypad tone values whose shown frequency gives them back.
  unsigned value = encode_keypad_tone(pick(random, 300, 3000));
  if (encode_keypad_tone(decode_keypad_tone(value)) != value)
    value = encode_keypad_tone(1000);
  b[ktf1_offset] = static_cast<unsigned char>(value & 0xFF);
  b[ktf2_offset] = static_cast<unsigned char>(value >> 8);
  for (int i = 0; i < 2 * bank_word_size; ++i)
    b[scan_banks_offset + i] =
        pick(random, 0, 1)
            ? static_cast<unsigned char>('0' + pick(random, 0, 9))
            : no_bank_digit;
}

}  // namespace

void generate_image(unsigned seed, ImageBody &image) {
  Random random(seed);
  memset(image.bytes, 0, body_size);
  for (int b = 0; b < bank_count; ++b)
    fill_bank(random, image, b);
  for (int k = 0; k < weather_count; ++k) {
    unsigned char *record = image.bytes + weather_channel_offset(k);
    fill_channel_code(random, record, true);
    fill_tag(random, record + code_size);
  }
  int count =
      pick(random, 0, 4) == 0 ? pick(random, 0, 2) : pick(random, 0, 100);
  if (seed % 7 == 0)
    count = 100;
  fill_bands(random, image, count);
  for (int j = 1; j <= message_line_count; ++j)
    fill_tag(random, image.bytes + message_line_offset(j), message_line_size);
  fill_settings(random, image);
}
