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

void loosen(ImageBody &image) {
  for (int b = 0; b < bank_count; ++b) {
    unsigned char *bank = image.bytes + bank_base(b);
    if ((bank[bank_search_offset + 2] >> 4) >= known_band_count) {
      memset(bank + bank_search_end_offset, 0, search_end_size);
      memset(bank + bank_lockout_offset, 0xFF, lockout_area_size);
    }
    for (int k = 0; k < channel_count; ++k)
      loosen_text(image.bytes + channel_offset(b, k) + code_size, tag_size);
    int base = bank_base(b);
    loosen_text(image.bytes + base + bank_search_offset + code_size, tag_size);
    loosen_text(image.bytes + base + bank_tag_offset, tag_size);
    for (int t = 1; t <= talkgroup_count; ++t)
      loosen_text(image.bytes + talkgroup_offset(b, t) + 2, tag_size);
  }
  for (int e = 1; e <= weather_count + band_record_count; ++e)
    loosen_text(image.bytes + weather_record_offset(e) + code_size, tag_size);
  loosen_text(image.bytes + message_offset,
              message_line_count * message_line_size);
  for (int b = 0; b < bank_count; ++b) {
    for (int l = 1; l <= lockout_count; ++l) {
      unsigned char *pair = image.bytes + lockout_offset(b, l);
      if (pair[0] == 0xFF || pair[1] == 0xFF)
        pair[0] = pair[1] = 0xFF;
    }
  }
  for (int n = 1; n <= band_record_count; ++n) {
    unsigned char *tag = image.bytes + band_record_offset(n) + code_size;
    for (int i = 0; i < tag_size; ++i)
      if (tag[i] == '\0')
        tag[i] = ' ';
  }
  image.bytes[ktf1_offset] = image.bytes[ktf2_offset] = 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static ImageBody original, first, second;
  body_from_input(data, size, original);
  std::string warnings;
  if (!read_text(listing_text(original), first, &warnings))
    abort();  // a written listing always reads to its end
  if (warnings.find("frequency out of range for band") != std::string::npos)
    return 0;
  if (!read_text(listing_text(first), second))
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
