// The settings lines: their table, and the reading of a value text into
// the bytes of the settings block.
#include "listing/settings.h"

#include <stdio.h>

#include "common/codes.h"
#include "listing/listing.h"

// clang-format off
const SettingsLine settings_lines[settings_line_count] = {
    {Setting::hex_byte, u1_offset, Field::u1, "cannot parse unknown byte 1",
     "unknown byte 1", SettingCheck::raw_byte},
    {Setting::number, blt_offset, Field::blt, "cannot parse Backlight on time",
     "backlight on time", SettingCheck::backlight},
    {Setting::delay, sdt_offset, Field::sdt, "cannot parse Scan delay time",
     "scan delay time", SettingCheck::scan_delay},
    {Setting::delay, tdt_offset, Field::tdt, "cannot parse Trunk delay time",
     "trunk rescan delay time", SettingCheck::trunk_delay},
    {Setting::hex_byte, u5_offset, Field::u5, "cannot parse unknown byte 5",
     "unknown byte 5", SettingCheck::raw_byte},
    {Setting::tenths, msdt_offset, Field::msdt,
     "cannot parse Minimum scan delaytime",
     "minimum scan delay time", SettingCheck::minimum_delay},
    {Setting::number, dc_offset, Field::dc, "cannot parse Display contrast",
     "display contrast", SettingCheck::contrast},
    {Setting::priority, pc1_offset, Field::pc1,
     "cannot parse Priority channel",
     "priority channel number", SettingCheck::priority},
    {Setting::last_search, lsf_offset, Field::lsf1,
     "cannot parse Last search frequency",
     "last search frequency byte", SettingCheck::raw_byte},
    {Setting::hex_byte, poo_offset, Field::poo, "cannot parse Priority on/off",
     "priority on/off", SettingCheck::raw_byte},
    {Setting::hex_byte, wxpoo_offset, Field::wxpoo,
     "cannot parse WX Priority on/off",
     "WX priority on/off", SettingCheck::raw_byte},
    {Setting::hex_byte, wxpcn_offset, Field::wxpcn,
     "cannot parse WX Priority channel number",
     "WX priority channel number", SettingCheck::raw_byte},
    {Setting::band_count, band_count_offset, Field::psrch3, nullptr,
     "number of preprogrammed search bands", SettingCheck::raw_byte},
    {Setting::keypad, ktf1_offset, Field::ktf1,
     "cannot parse Keypad tone frequency",
     "keypad tone frequency", SettingCheck::keypad},
    {Setting::bank_word, scan_banks_offset, Field::escb1,
     "cannot parse Enabled scan banks",
     "enabled scan banks", SettingCheck::raw_byte},
    {Setting::bank_word, search_banks_offset, Field::eseb1,
     "cannot parse Enabled search banks",
     "active search banks", SettingCheck::raw_byte},
};
// clang-format on

const char *setting_numbers(Setting kind) {
  switch (kind) {
    case Setting::hex_byte:
      return "x";
    case Setting::number:
    case Setting::delay:
    case Setting::band_count:
      return "d";
    case Setting::priority:
      return "dd";
    case Setting::last_search:
      return "xxx";
    case Setting::tenths:
    case Setting::keypad:
    case Setting::bank_word:
      break;
  }
  return "";
}

int setting_value_count(Setting kind) {
  return kind == Setting::priority ? 2 : kind == Setting::last_search ? 3 : 1;
}

namespace {

void store(ImageBody &image, int offset, long value, Field tag) {
  put_byte(image, offset, value, tag);
}

}  // namespace

bool store_setting(const SettingsLine &s, const char *text, ImageBody &image,
                   Findings &findings, long long *listed) {
  switch (s.kind) {
    case Setting::hex_byte: {
      unsigned value;
      if (sscanf(text, hex_value_pattern, &value) < 1)
        return false;
      check_setting(s.check, s.name, value, findings);
      store(image, s.offset, value, s.tag);
      return true;
    }
    case Setting::number:
    case Setting::delay: {
      int value;
      if (sscanf(text, number_value_pattern, &value) < 1)
        return false;
      check_setting(s.check, s.name, value, findings);
      store(image, s.offset,
            s.kind == Setting::delay ? encode_delay(value) : value, s.tag);
      return true;
    }
    case Setting::tenths: {
      double seconds;
      if (sscanf(text, real_value_pattern, &seconds) < 1)
        return false;
      check_real_setting(s.check, s.name, seconds, findings);
      store(image, s.offset, encode_tenths(seconds), s.tag);
      return true;
    }
    case Setting::priority: {
      int first, second;
      if (sscanf(text, priority_pattern, &first, &second) < 2)
        return false;
      check_setting(s.check, s.name, first, findings);
      check_setting(s.check, s.name, second, findings);
      PriorityChannel pc = encode_priority_channel(first, second);
      store(image, pc1_offset, pc.pc1, Field::pc1);
      store(image, pc2_offset, pc.pc2, Field::pc2);
      return true;
    }
    case Setting::last_search: {
      unsigned v[3];
      if (sscanf(text, last_search_pattern, &v[0], &v[1], &v[2]) < 3)
        return false;
      for (unsigned value : v)
        check_setting(s.check, s.name, value, findings);
      const Field tags[3] = {Field::lsf1, Field::lsf2, Field::lsf3};
      for (int i = 0; i < 3; ++i)
        store(image, s.offset + i, v[i], tags[i]);
      return true;
    }
    case Setting::band_count: {
      // Not stored: the band rows give the count.
      int count;
      if (sscanf(text, number_value_pattern, &count) == 1)
        *listed = count;
      return true;
    }
    case Setting::keypad: {
      double hertz;
      if (sscanf(text, real_value_pattern, &hertz) < 1)
        return false;
      check_real_setting(s.check, s.name, hertz, findings);
      unsigned value = encode_keypad_tone(hertz);
      store(image, ktf1_offset, value & 0xFF, Field::ktf1);
      store(image, ktf2_offset, value >> 8, Field::ktf2);
      return true;
    }
    case Setting::bank_word: {
      char word[line_buffer_size];
      if (sscanf(text, bank_word_pattern, word) < 1)
        return false;
      check_bank_word(s.name, word, findings);
      unsigned char bytes[bank_word_size];
      encode_bank_word(word, bytes);
      bool scan = s.tag == Field::escb1;
      for (int i = 0; i < bank_word_size; ++i) {
        bool digit = bytes[i] != no_bank_digit;
        Field tag = scan ? (digit ? Field::escb1 : Field::escb2)
                         : (digit ? Field::eseb1 : Field::eseb2);
        store(image, s.offset + i, bytes[i], tag);
      }
      return true;
    }
  }
  return false;
}
