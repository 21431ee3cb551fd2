// The rules that say how a value will be stored: which frequencies a band
// holds and on which steps, which tones and codes are standard and which
// the tone bytes hold, and the talkgroup forms of each bank type.  The
// checks of a listing (txtimg -c), of an image (imgtxt -c) and of a CSV
// list (csvimg) all apply them.  Each check adds its findings, in the
// words of a warning, to a Findings list for the caller to report.
#pragma once

#include <stddef.h>

#include <string>

#include "common/codes.h"

/// The findings of the checks of one line, in order.
struct Findings {
  char text[8][200];
  int count = 0;
  /// How a talkgroup check says what the image gets: an import that skips
  /// such a row says it would be stored so.
  const char *stored_as = "stored as";
  const char *is_stored_as = "is stored as";
};

/// A text for a warning: at most limit characters, blanks (and line ends)
/// trimmed at both ends, bytes that would not print shown as '?'.
void printable_text(const char *text, char *out, size_t limit);

/// A decoded or table text without the blanks that pad it.
std::string trim_blanks(const char *text);

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

/// A decimal number read exactly, in whole units of 10^-decimals.
struct ExactDecimal {
  long long units;  ///< the value, truncated toward zero to whole units
  bool finer;       ///< digits below the unit that are not all zero
};

/// Reads a decimal number ("[+-]digits[.digits]", digits on at least one
/// side of the point) exactly; false for any other text or a value beyond
/// 10^12 units.
bool read_exact_decimal(const char *text, int decimals, ExactDecimal *value);

/// Base and step of a band 0..4, in Hz.
long long band_base_hz(int band);
long long band_step_hz(int band);

/// The first frequency in Hz that a band no longer holds: the next band's
/// base, or 256 MHz above its own base (the MHz offset is one byte),
/// whichever comes first.
long long band_limit_hz(int band);

/// The band that holds a frequency in Hz: the highest base not above it,
/// when the frequency lies below that band's limit; -1 when no band does.
int band_holding(long long hertz);

/// The frequencies the bands hold, in words: "29 to 636 MHz and 806 to
/// 1062 MHz" (the bands run on from one to the next but for one gap).
std::string band_ranges_text();

/// The nearest step of the band that holds a frequency in Hz, a tie going
/// up; -1 when no band holds that step.
long long nearest_step_hz(long long hertz);

/// Adds the finding for a frequency stored on another step or value: WHAT
/// GIVEN "is not on the" STEP "MHz step, stored as" STORED.
void add_off_step(Findings &findings, const char *what, const char *given,
                  double step, double stored);

/// The lowest and highest PL tone the tone bytes hold, in tenths of a Hz.
constexpr long long lowest_pl_tenths = 512;
constexpr long long highest_pl_tenths = 2559;

/// True when the tone bytes hold a PL tone of so many tenths exactly.
bool holds_pl_tone(long long tenths);

/// True when the tone bytes hold a DCS code value exactly.
bool holds_dcs_code(unsigned long long value);

/// Adds the finding for a PL tone, written as word, that is not one of the
/// standard tones; after is appended (", stored as ...", or empty).
void add_nonstandard_tone(Findings &findings, const char *word, double hertz,
                          const char *after);

/// Adds the finding for a DCS code, written as word, that is not one of
/// the standard codes.
void add_nonstandard_code(Findings &findings, const char *word);

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

/// The longest talkgroup ID a list may give.
constexpr int longest_talkgroup_id = 16;

/// The talkgroup text a listing line would hold for an ID as lists write
/// it, in a bank of a type: LTR AHHUUU or A-HH-UUU; MOT Type I BFFF-S (size
/// code 1) or BFF-SS; MOT Type II and EDACS a decimal number; then " Skip"
/// or " Scan".  text holds longest_talkgroup_id + 6 characters.  False,
/// with a finding, when the ID has none of the bank type's forms.
bool talkgroup_text_of_id(int bank_type, const char *id, bool skip, char *text,
                          Findings &findings);

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

/// A tag that holds control bytes (a tab, say), which are stored as they
/// are but show on no display.
void check_tag_controls(const unsigned char *tag, int size, Findings &findings);

/// A frequency that the encoder could not place in a band: what the
/// image holds instead, stored, and which frequencies the bands hold.
void add_no_band(Findings &findings, double frequency, double stored);

/// Multi-byte UTF-8 sequences in a line whose bytes are single characters;
/// skip bytes at the start are not looked at.
void check_encoding(const char *line, int skip, Findings &findings);

/// Numbers read from text that do not fit where they are stored: the
/// kinds say what the text holds in order ('d' a decimal int, 'x' a
/// hexadecimal unsigned int, 'S' an S and a decimal int, '*' a decimal int
/// that is not used); reading stops at the first field that is missing.
void check_numbers_fit(const char *text, const char *kinds, Findings &findings);
