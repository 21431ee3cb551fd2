// The checks of a listing before upload (txtimg -c): for each field, what
// the image will hold compared with what the line says, and values outside
// the ranges the listing documents.  Each check adds its findings, in the
// words of a warning, to a Findings list for the reader to report.
#pragma once

#include <stddef.h>

#include "common/codes.h"

/// The findings of the checks of one line, in order.
struct Findings {
  char text[8][200];
  int count = 0;
};

/// A text for a warning: at most limit characters, blanks (and line ends)
/// trimmed at both ends, bytes that would not print shown as '?'.
void printable_text(const char *text, char *out, size_t limit);

/// Adds a finding; a full list keeps its first entries.
void add_finding(Findings &findings, const char *format, ...)
    __attribute__((format(printf, 2, 3)));

/// The 50 standard CTCSS tones, in Hz.
extern const double standard_ctcss_tones[50];

/// The 104 standard DCS codes, as the values of their octal digits.
extern const int standard_dcs_codes[104];

/// The standard CTCSS tone nearest to a tone.
double nearest_ctcss_tone(double hertz);

/// True when a tone is a standard CTCSS tone, to a tenth of a hertz.
bool is_standard_ctcss_tone(double hertz);

/// True when a DCS code value is one of the standard codes.
bool is_standard_dcs_code(unsigned value);

/// The fields of a channel, weather channel or search line as read.
struct ChannelLine {
  double frequency;
  const char *mode;
  const char *tone;
  const char *flags;
  RecordKind kind;
  bool encoder_warned;  ///< the encoding already gave a warning
};

/// Frequency, tone and flags of a channel line against its code.
void check_channel(const ChannelLine &line, const ChannelCode &code,
                   Findings &findings);

/// Search end and step against their bytes, and the end against the start
/// (a start of flag U is no frequency).
void check_search_end(const ChannelLine &start, double end, double step,
                      int band, const SearchEnd &bytes, bool encoder_warned,
                      Findings &findings);

/// A lockout frequency against its pair.
void check_lockout(double frequency, const LockoutPair &pair, int band,
                   bool encoder_warned, Findings &findings);

/// A band row against its band code.
void check_band_row(double start, double end, double step, const BandCode &code,
                    bool encoder_warned, Findings &findings);

/// The eight fleet map values: each must be a size code 0 to 14.
void check_fleet_map(const int *values, Findings &findings);

/// A talkgroup line: its text (null when the hexadecimal code counts) and
/// the ID code it gives in a bank of the type and fleet map.
void check_talkgroup(int bank_type, unsigned code, const char *text,
                     const int *fleet_map, unsigned id, Findings &findings);

/// Which settings value a check is about.
enum class SettingCheck {
  raw_byte,       ///< a hexadecimal byte, no range
  backlight,      ///< seconds, 1 to 255
  scan_delay,     ///< milliseconds, 400 to 25500
  trunk_delay,    ///< milliseconds, 400 to 10000
  contrast,       ///< 9 to 14
  priority,       ///< a channel number byte
  minimum_delay,  ///< seconds, 0.4 to 25.5
  keypad,         ///< hertz, 300 to 3000
};

/// An integer setting value against the byte stored and the range its
/// listing line documents; name is how the warning calls it.
void check_setting(SettingCheck kind, const char *name, long long value,
                   Findings &findings);

/// A real setting value (minimum scan delay, keypad tone).
void check_real_setting(SettingCheck kind, const char *name, double value,
                        Findings &findings);

/// An enabled banks word: ten digits and dashes.
void check_bank_word(const char *name, const char *word, Findings &findings);

/// Multi-byte UTF-8 sequences in a line whose bytes are single characters;
/// skip bytes at the start are not looked at.
void check_encoding(const char *line, int skip, Findings &findings);

/// Numbers read from text that do not fit where they are stored: the
/// kinds say what the text holds in order ('d' a decimal int, 'x' a
/// hexadecimal unsigned int, 'S' an S and a decimal int, '*' a decimal int
/// that is not used); reading stops at the first field that is missing.
void check_numbers_fit(const char *text, const char *kinds, Findings &findings);
