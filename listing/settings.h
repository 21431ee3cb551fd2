// The sixteen settings lines: how each value is read from its text,
// checked and stored, for the strict reader and the loose one alike.
#pragma once

#include "common/image.h"
#include "common/rules.h"

/// How a settings line is read and stored.
enum class Setting {
  hex_byte,     ///< a hexadecimal number, stored as it is
  number,       ///< a decimal number, stored as it is
  delay,        ///< milliseconds
  tenths,       ///< seconds with tenths
  priority,     ///< two channel numbers, stored the other way round
  last_search,  ///< three hexadecimal numbers
  band_count,   ///< not read: the band count comes from the band rows
  keypad,       ///< a keypad tone frequency in Hz
  bank_word,    ///< ten bank positions
};

/// One settings line, in listing order.
struct SettingsLine {
  Setting kind;
  int offset;
  Field tag;
  const char *warning;  ///< the warning when its value does not scan
  const char *name;     ///< how a check calls the value
  SettingCheck check;   ///< the check of the value
};

constexpr int settings_line_count = 16;

/// The settings lines in the order the listing has them.
extern const SettingsLine settings_lines[settings_line_count];

/// The numbers a settings line holds, for the check that they fit.
const char *setting_numbers(Setting kind);

/// How many values a settings line's value text holds.
int setting_value_count(Setting kind);

/// Scans a setting's value text as txtimg does and stores its bytes, adding
/// what the checks of the values find; false, storing nothing, when the
/// text gives fewer values than the setting needs.  The band count line
/// stores nothing: listed receives its number, when it reads.
bool store_setting(const SettingsLine &s, const char *text, ImageBody &image,
                   Findings &findings, long long *listed);
