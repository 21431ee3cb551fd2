// The whole listing of an image body, written in the one order the reader
// expects: the banks, the weather and band section, the opening message
// and the settings.
#include "listing/writer.h"

#include "common/codes.h"
#include "listing/listing.h"

namespace {

/// A band count above 100 names rows the band table does not have.
int listed_band_count(const ImageBody &image) {
  int count = image.bytes[band_count_offset];
  return count > band_record_count ? band_record_count : count;
}

void write_lockouts(FILE *out, const ImageBody &image, int b, int search_band) {
  fputs(lockout_header, out);
  for (int slot = 1; slot <= lockout_count; ++slot) {
    const unsigned char *pair = image.bytes + lockout_offset(b, slot);
    double frequency;
    if (decode_lockout(pair, search_band, &frequency))
      write_lockout_line(out, slot, pair, frequency);
  }
  fputs(lockout_footer, out);
  fputs(blank_line, out);
}

void write_talkgroups(FILE *out, const ImageBody &image, int b) {
  fputs(talkgroup_header, out);
  const unsigned char *bank = image.bytes + bank_base(b);
  int type = bank[bank_type_offset];
  const unsigned char *fleet_map = bank + bank_fleet_offset;
  for (int slot = 1; slot <= talkgroup_count; ++slot) {
    const unsigned char *record = image.bytes + talkgroup_offset(b, slot);
    char text[talkgroup_text_size + 1];
    decode_talkgroup(type, record[0] + 256u * record[1], fleet_map, text);
    write_talkgroup_line(out, slot, record, text);
  }
  fputs(talkgroup_footer, out);
  fputs(blank_line, out);
}

}  // namespace

void write_bank_section(FILE *out, const ImageBody &image, int b) {
  const unsigned char *bank = image.bytes + bank_base(b);
  char tag[tag_size + 1];
  copy_plain_text(bank + bank_tag_offset, tag_size, tag);
  int mode_byte = bank[bank_mode_offset];
  int type_byte = bank[bank_type_offset];
  write_bank_header(out, b, tag, bank_type_name(type_byte),
                    decode_mode_offset(mode_byte).word);
  fputs(blank_line, out);
  for (int k = 0; k < channel_count; ++k) {
    const unsigned char *record = image.bytes + channel_offset(b, k);
    write_channel_line(out, k, record,
                       decode_channel_code(record, RecordKind::channel));
  }
  fputs(blank_line, out);

  const unsigned char *search = bank + bank_search_offset;
  write_search_line(out, search,
                    decode_channel_code(search, RecordKind::search));
  int search_band = (search[2] >> 4) & 7;
  const unsigned char *end = bank + bank_search_end_offset;
  write_search_end_line(out, end, decode_search_end(end, search_band));
  fputs(blank_line, out);

  write_bank_info_line(out, b);
  write_bank_tag_line(out, bank + bank_tag_offset);
  write_mode_offset_line(out, mode_byte, decode_mode_offset(mode_byte).text);
  write_bank_type_line(out, type_byte, bank_type_name(type_byte));
  write_fleet_map_line(out, bank + bank_fleet_offset);
  fputs(blank_line, out);
  write_lockouts(out, image, b, search_band);
  write_talkgroups(out, image, b);
}

namespace {

void write_weather_bank(FILE *out, const ImageBody &image) {
  fputs(weather_header, out);
  fputs(blank_line, out);
  for (int k = 0; k < weather_count; ++k) {
    const unsigned char *record = image.bytes + weather_channel_offset(k);
    write_channel_line(out, k, record,
                       decode_channel_code(record, RecordKind::weather));
  }
  int bands = listed_band_count(image);
  if (bands > 0)
    fputs(band_header, out);
  for (int n = 1; n <= bands; ++n) {
    const unsigned char *record = image.bytes + band_record_offset(n);
    write_band_row(out, n - 1, record, decode_band_code(record));
  }
  fputs(blank_line, out);
}

}  // namespace

void write_listing(FILE *out, const ImageBody &image) {
  fputs(version_line, out);
  fputs(instruction_lines, out);
  for (int b = 0; b < bank_count; ++b)
    write_bank_section(out, image, b);
  write_weather_bank(out, image);

  fputs(message_header, out);
  fputs(blank_line, out);
  for (int j = 1; j <= message_line_count; ++j)
    write_message_line(out, image.bytes + message_line_offset(j));
  fputs(blank_line, out);

  fputs(settings_header, out);
  fputs(blank_line, out);
  write_settings_lines(out, image);
}
