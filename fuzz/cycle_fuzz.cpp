// The edit cycle as a fixed point: for any body, reading back its listing
// and listing that again must give, read back, the same body as the first
// read.
//
// A frequency that its band cannot hold is stored by its low bits, with the
// warning "frequency out of range for band"; what the next listing shows of
// those bytes is yet another frequency, so such a body has no fixed point
// and is not compared.
//
// Some things settle only on the first pass and are compared loosely:
// - a search line whose mode or frequency matched nothing (with a warning)
//   stores a band/mode byte whose band nibble is all ones, while its end and
//   lockouts are counted in band 0; the next listing shows them against
//   band 7, whose base and step are 0.0, so they move once more;
// - a text field read with a fixed count of characters takes the line's
//   end when the line is shorter: an opening message line ends early at a
//   NUL byte, so its CR and LF are read into the message, and a line feed
//   among text bytes is listed as a blank the next time;
// - where a frequency lies off its band's grid, the split can round up to a
//   whole MHz of steps (200 steps of 5 kHz, or 80 of 12.5 kHz); the next
//   pass stores the same frequency as the next MHz and no steps, so MHz
//   offsets and step counts are compared with the steps carried over;
// - a Motorola fleet whose size code (by its low four bits) spans several
//   blocks is decoded through the size code of the block its ID lies in;
//   unless every block of the fleet carries the very same code 12, 13 or
//   14, the text read back names another block, and the ID moves once more;
// - a lockout pair with 0xFF in a byte is empty however it is stored: a
//   lockout that encodes to a first byte of 0xFF (with a warning) is stored
//   so, and is not listed again, so it comes back as 0xFF 0xFF;
// - a band row stored as the empty band record has a tag of twelve NULs,
//   which its listing shows and the reader takes as blanks;
// - the keypad tone is shown in whole Hz after truncating the period to
//   whole microseconds, and the two truncations need more than one pass to
//   settle near 3,000 Hz.
#include <stdlib.h>

#include "common/codes.h"
#include "fuzz/fuzz_support.h"

namespace {

/// Writes a line feed in a text field as the listing shows it, a blank.
void loosen_text(unsigned char *text, int size) {
  for (int i = 0; i < size; ++i)
    if (text[i] == '\n')
      text[i] = ' ';
}

/// Carries whole MHz of steps over into the MHz offset.
void carry_steps(unsigned char *mhz, unsigned char *steps, int band) {
  if (band >= known_band_count)
    return;
  int per_mhz = static_cast<int>(1.0 / band_table[band].step + 0.5);
  *mhz = static_cast<unsigned char>(*mhz + *steps / per_mhz);
  *steps = static_cast<unsigned char>(*steps % per_mhz);
}

/// Carries the steps of a channel code.
void carry_code(unsigned char *code) {
  carry_steps(code, code + 1, (code[2] >> 4) & 7);
}

/// True when a fleet map holds a size code whose fleets span blocks.
bool has_wide_fleets(const unsigned char *fleet_map) {
  for (int i = 0; i < fleet_block_count; ++i) {
    int low = fleet_map[i] & 15;
    if (low >= 12 && low <= 14)
      return true;
  }
  return false;
}

/// Compares a lockout pair as what it means: empty, or a frequency.
void loosen_lockout(unsigned char *pair, int search_band) {
  if (pair[0] == 0xFF || pair[1] == 0xFF)
    pair[0] = pair[1] = 0xFF;
  else
    carry_steps(pair, pair + 1, search_band);
}

void loosen_bank(unsigned char *bank) {
  for (int k = 0; k < channel_count; ++k) {
    carry_code(bank + record_size * k);
    loosen_text(bank + record_size * k + code_size, tag_size);
  }
  unsigned char *search = bank + bank_search_offset;
  carry_code(search);
  loosen_text(search + code_size, tag_size);
  loosen_text(bank + bank_tag_offset, tag_size);
  int search_band = (search[2] >> 4) & 7;
  unsigned char *end = bank + bank_search_end_offset;
  unsigned char *lockouts = bank + bank_lockout_offset;
  if (search_band >= known_band_count) {
    memset(end, 0, search_end_size);
    memset(lockouts, 0xFF, lockout_area_size);
  }
  carry_steps(end, end + 1, search_band);
  for (int l = 0; l < lockout_count; ++l)
    loosen_lockout(lockouts + 2 * l, search_band);
  bool wide = bank[bank_type_offset] == bank_type_mot &&
              has_wide_fleets(bank + bank_fleet_offset);
  for (int t = 0; t < talkgroup_count; ++t) {
    unsigned char *record = bank + bank_talkgroup_offset + talkgroup_size * t;
    if (wide)
      record[0] = record[1] = 0;
    loosen_text(record + 2, tag_size);
  }
}

void loosen(ImageBody &image) {
  for (int b = 0; b < bank_count; ++b)
    loosen_bank(image.bytes + bank_base(b));
  for (int k = 0; k < weather_count; ++k) {
    unsigned char *record = image.bytes + weather_channel_offset(k);
    carry_code(record);
    loosen_text(record + code_size, tag_size);
  }
  for (int n = 1; n <= band_record_count; ++n) {
    unsigned char *record = image.bytes + band_record_offset(n);
    carry_steps(record, record + 1, record[3] & 7);
    carry_steps(record + 4, record + 5, record[3] & 7);
    unsigned char *tag = record + code_size;
    loosen_text(tag, tag_size);
    for (int i = 0; i < tag_size; ++i)
      if (tag[i] == '\0')
        tag[i] = ' ';
  }
  loosen_text(image.bytes + message_offset,
              message_line_count * message_line_size);
  image.bytes[ktf1_offset] = image.bytes[ktf2_offset] = 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static ImageBody original, first, second;
  static KeptText listing, warnings;
  body_from_input(data, size, original);
  write_listing_into(original, listing);
  if (!read_listing_from(listing, first, &warnings))
    abort();  // a written listing always reads to its end
  if (strstr(warnings.data, "frequency out of range for band"))
    return 0;
  write_listing_into(first, listing);
  if (!read_listing_from(listing, second))
    abort();
  loosen(first);
  loosen(second);
  for (int i = 0; i < body_size; ++i) {
    if (first.bytes[i] != second.bytes[i]) {
      fprintf(stderr, "not a fixed point at body offset %d: %02X then %02X\n",
              i, first.bytes[i], second.bytes[i]);
      abort();
    }
  }
  return 0;
}
