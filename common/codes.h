// The code tables of the scanner memory and the encoders and decoders of
// every value the image body holds: channel and band codes, bank
// attributes, talkgroup IDs, search ends, lockouts and settings.
//
// All of these are pure functions of their arguments and the tables.  The
// encoders that can meet a value they cannot match collect their warnings
// in a Warnings list, in the order they arise, for the caller to report.
#pragma once

/// A row of the band table: base frequency and step, in MHz.
struct Band {
  double base;
  double step;
};

/// The band table; rows 5 to 7 have base and step 0.0, so that any 3-bit
/// band number indexes it.
extern const Band band_table[8];
constexpr int known_band_count = 5;

/// The flag bits of a channel code's flag byte: U (no frequency), D, A and
/// L (lockout).
constexpr int flag_u = 8, flag_d = 4, flag_a = 2, flag_l = 1;

/// Mode indices of the mode name table whose tone bytes carry a tone.
constexpr int mode_am = 0;
constexpr int mode_fm = 1;
constexpr int mode_pl = 2;
constexpr int mode_dpl = 3;
constexpr int mode_ltr = 4;
constexpr int mode_mot = 5;
constexpr int mode_edacs = 6;
constexpr int known_mode_count = 7;

/// Mode names, five characters each; index 7 names no mode.
extern const char *const mode_names[8];

/// Tone range bases in Hz; indices 0 and 1 never name a tone.
extern const double tone_bases[10];
constexpr int first_tone_range = 2;
constexpr int last_tone_range = 9;

/// Bank types of the bank type table.
constexpr int bank_type_ltr = 4;
constexpr int bank_type_mot = 5;
constexpr int bank_type_edacs = 6;
constexpr int known_bank_type_count = 7;

/// Bank type names, five characters each.
extern const char *const bank_type_names[known_bank_type_count];

/// The name shown for a table entry that does not exist.
extern const char unknown_name[];

/// The mode/offset texts, 23 characters each, indexed by byte / 2.
extern const char *const mode_offset_texts[8];
constexpr int mode_offset_text_size = 23;

/// A row of the fleet size table: a Motorola Type I size code, the
/// subfleets of one fleet (A), the spacing of subfleet codes (B) and the
/// number of codes one fleet spans (A x B).
struct FleetSize {
  int code;
  int subfleets;
  int spacing;
  int span;
};

/// The fleet size table, one row for each size code 0..15; a fleet map
/// byte indexes it by its low four bits.
extern const FleetSize fleet_sizes[16];

/// The row of the fleet size table for a fleet map byte.
const FleetSize &fleet_size(int size_code);

/// Codes in one block of the Motorola ID space.
constexpr int motorola_block_size = 512;

/// Characters of the talkgroup text between the brackets of a talkgroup
/// line.
constexpr int talkgroup_text_size = 11;

/// The warnings an encoding gave, in order.
struct Warnings {
  const char *text[8];
  int count = 0;
};

/// Appends a warning; a full list keeps its first entries.
void add_warning(Warnings &warnings, const char *text);

/// Converts a real to an integer, truncating toward zero; a value whose
/// truncation does not fit 32 signed bits, NaN included, gives 0.
int truncate_real(double value);

/// Looks a mode text up over its own length; the last match wins; -1 and a
/// warning when nothing matches.
int match_mode(const char *text, Warnings &warnings);

/// The band with the highest base not above the frequency; -1 and a warning
/// below 29.0 MHz.
int match_band(double frequency, Warnings &warnings);

/// A frequency as whole MHz above a band base and steps above that.
struct FrequencySplit {
  int mhz;
  int steps;
  bool fits;  ///< false when the MHz offset cannot be held in one byte
};

/// Bias of the nearest-step and of the tenth-step split.
constexpr double nearest_step = 0.5;
constexpr double tenth_step = 0.1;

/// Splits a frequency in band 0..4 into MHz offset and step count.
FrequencySplit split_frequency(double frequency, int band, double bias);

/// The six code bytes of a channel, weather channel or search record.
struct ChannelCode {
  unsigned char bytes[6];
  int band;  ///< band used for the frequency; 0 when none was matched
};

/// Encodes a channel line's frequency, 5-character mode text, tone word
/// and flags word.
ChannelCode encode_channel_code(double frequency, const char *mode,
                                const char *tone, const char *flags,
                                Warnings &warnings);

/// The kind of record a channel code heads.
enum class RecordKind { channel, weather, search };

/// A channel code as the listing shows it.
struct ChannelView {
  double frequency;
  int mode;
  char tone[16];  ///< eight characters, more for a DCS code above 511
  char flags[5];
};

/// Decodes the six code bytes of a record of the given kind.
ChannelView decode_channel_code(const unsigned char *code, RecordKind kind);

/// The six code bytes of a preprogrammed band record.
struct BandCode {
  unsigned char bytes[6];
  bool empty;  ///< the empty band record, whose tag is twelve NULs
};

/// The band code of the empty band record.
extern const unsigned char empty_band_code[6];

/// The code of an empty channel: mode FM, flag U, no frequency.
extern const unsigned char empty_channel_code[6];

/// Encodes a band row: start frequency, mode text, end frequency and
/// search step in MHz, all counted in the band of the start.
BandCode encode_band_code(double start, const char *mode, double end,
                          double step, Warnings &warnings);

/// A band code as the listing shows it.
struct BandView {
  double start;
  int mode;
  double end;
  double step;
};

/// Decodes the six code bytes of a preprogrammed band record.
BandView decode_band_code(const unsigned char *code);

/// The name of a mode index, "?????" for 7.
const char *mode_name(int mode);

/// The name of a bank type byte, "?????" above 6.
const char *bank_type_name(int type);

/// Looks a bank type text up as modes are; -1 and a warning when nothing
/// matches.
int match_bank_type(const char *text, Warnings &warnings);

/// The mode/offset byte of a 23-character mode/offset text.
int encode_mode_offset(const char *text);

/// A mode/offset byte as the listing shows it.
struct ModeOffsetView {
  const char *text;  ///< row of the mode/offset table
  const char *word;  ///< "Open  " or "Closed" for the bank header
};

/// Decodes a mode/offset byte; bit 0 and the bits above 3 are ignored.
ModeOffsetView decode_mode_offset(int byte);

/// The 16-bit talkgroup ID code of a talkgroup line: the hexadecimal code,
/// or for LTR, MOT and EDACS banks the talkgroup text when one is given
/// (text may be null).
unsigned encode_talkgroup(int bank_type, unsigned code, const char *text,
                          const int *fleet_map);

/// The 11-character talkgroup text of an ID code; text holds
/// talkgroup_text_size + 1 characters.
void decode_talkgroup(int bank_type, unsigned id,
                      const unsigned char *fleet_map, char *text);

/// The Motorola Type I ID code of block, fleet and subfleet.
int encode_motorola_id(int size_code, int block, int fleet, int subfleet);

/// Fleet and subfleet of a Motorola Type I ID code.
struct MotorolaId {
  int fleet;
  int subfleet;
};

/// Decodes a Motorola Type I ID code; the size code's table entry must
/// span at least one code.
MotorolaId decode_motorola_id(unsigned id, int size_code);

/// The three search-end bytes.
struct SearchEnd {
  unsigned char bytes[3];
};

/// Encodes the end frequency and search step in the search band.
SearchEnd encode_search_end(double end, double step, int band,
                            Warnings &warnings);

/// End frequency and search step of the search-end bytes.
struct SearchEndView {
  double end;
  double step;
};

/// Decodes the three search-end bytes in the search band.
SearchEndView decode_search_end(const unsigned char *bytes, int band);

/// A lockout pair: MHz offset and step count in the search band.
struct LockoutPair {
  unsigned char first;
  unsigned char second;
};

/// Encodes a locked-out frequency in the search band.
LockoutPair encode_lockout(double frequency, int band, Warnings &warnings);

/// Decodes a lockout pair; false when it is empty (a byte is 0xFF).
bool decode_lockout(const unsigned char *pair, int band, double *frequency);

// Settings.  The rows that hold a number as it is (unknown bytes 1 and 5,
// backlight time, contrast, last search frequency, priority and weather
// bytes) store its low 8 bits and show the byte itself.

/// Scan or trunk delay byte of a time in milliseconds.
int encode_delay(int milliseconds);

/// Milliseconds shown for a delay byte.
int decode_delay(int byte);

/// Minimum scan delay byte of a time in seconds.
int encode_tenths(double seconds);

/// Seconds shown for a minimum scan delay byte.
double decode_tenths(int byte);

/// The two priority channel bytes.
struct PriorityChannel {
  int pc1;
  int pc2;
};

/// Stores the pair as the listing gives it: pc1 the second, pc2 the first.
PriorityChannel encode_priority_channel(int first, int second);

/// The keypad tone value, 16 bits, of a frequency in Hz; 0 when the
/// frequency gives no value that fits.
unsigned encode_keypad_tone(double hertz);

/// The keypad tone frequency in Hz shown for a keypad tone value.
int decode_keypad_tone(unsigned value);

/// The byte stored for a bank word position that holds no digit.
constexpr unsigned char no_bank_digit = 0xA5;

/// The ten bytes of an enabled banks word; positions past its end and
/// characters other than digits give 0xA5.
void encode_bank_word(const char *word, unsigned char *bytes);

/// The 10-character word of ten bank bytes, '-' for each non-digit.
void decode_bank_word(const unsigned char *bytes, char *word);
