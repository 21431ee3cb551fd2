// The image file container and the memory map of the image body.
//
// The scanner's memory is one block of 26,496 bytes, the image body.  On
// disk it is framed by a 5-byte header and a trailer of zero bytes.  Every
// position in the body is named here, so that no other code spells out a
// bare offset.
#pragma once

#include <stdio.h>

/// Sizes of the parts of an image file.
constexpr int header_size = 5;
constexpr int body_size = 26496;
constexpr int trailer_size = 6272;
constexpr int image_file_size = header_size + body_size + trailer_size;

/// The fixed header that every written image file starts with.
constexpr unsigned char image_header[header_size] = {0x02, 0x00, 0x00, 0x00,
                                                     0x00};

/// The image body, the whole programmable memory of the scanner.
struct ImageBody {
  unsigned char bytes[body_size];
};

// Records shared by banks, weather channels and preprogrammed bands.
constexpr int record_size = 18;  ///< channel, weather and band records
constexpr int code_size = 6;     ///< code bytes at the head of a record
constexpr int tag_size = 12;     ///< alpha tag characters after the code

// Banks: ten bank records, then the weather bank addressed as bank 10.
constexpr int bank_count = 10;
constexpr int bank_size = 2443;
constexpr int weather_bank = 10;
constexpr int channel_count = 50;

// Fields of a bank record, relative to its base.
constexpr int bank_search_offset = 900;      ///< search start code, tag, end
constexpr int bank_search_end_offset = 918;  ///< three search-end bytes
constexpr int search_end_size = 3;
constexpr int bank_tag_offset = 921;
constexpr int bank_mode_offset = 933;  ///< the mode/offset byte
constexpr int bank_type_offset = 934;
constexpr int bank_fleet_offset = 935;
constexpr int fleet_block_count = 8;
constexpr int bank_lockout_offset = 943;
constexpr int lockout_count = 50;
constexpr int lockout_area_size = 2 * lockout_count;
constexpr int bank_talkgroup_offset = 1043;
constexpr int talkgroup_count = 100;
constexpr int talkgroup_size = 14;

// Regions after the banks.
constexpr int weather_offset = bank_size * weather_bank;  // 24,430
constexpr int weather_count = 10;
constexpr int band_table_offset = weather_offset + record_size * weather_count;
constexpr int band_record_count = 100;
constexpr int message_offset =
    band_table_offset + record_size * band_record_count;  // 26,410
constexpr int message_line_count = 4;
constexpr int message_line_size = 12;
constexpr int settings_offset =
    message_offset + message_line_count * message_line_size;  // 26,458

// The settings block, one name for each byte or run of bytes.
constexpr int u1_offset = settings_offset + 0;
constexpr int blt_offset = settings_offset + 1;
constexpr int sdt_offset = settings_offset + 2;
constexpr int tdt_offset = settings_offset + 3;
constexpr int u5_offset = settings_offset + 4;
constexpr int msdt_offset = settings_offset + 5;
constexpr int dc_offset = settings_offset + 6;
constexpr int pc1_offset = settings_offset + 7;
constexpr int pc2_offset = settings_offset + 8;
constexpr int lsf_offset = settings_offset + 9;  ///< three bytes lsf1..lsf3
constexpr int poo_offset = settings_offset + 12;
constexpr int wxpoo_offset = settings_offset + 13;
constexpr int wxpcn_offset = settings_offset + 14;
constexpr int band_count_offset = settings_offset + 15;  // 26,473
constexpr int ktf1_offset = settings_offset + 16;
constexpr int ktf2_offset = settings_offset + 17;
constexpr int scan_banks_offset = settings_offset + 18;    ///< ten bytes
constexpr int search_banks_offset = settings_offset + 28;  ///< ten bytes
constexpr int bank_word_size = 10;

static_assert(search_banks_offset + bank_word_size == body_size);

/// Base offset of bank record b (b = 10 addresses the weather bank).
constexpr int bank_base(int b) {
  return bank_size * b;
}

/// Offset of channel record k (0..49) of bank b.
constexpr int channel_offset(int b, int k) {
  return bank_base(b) + record_size * k;
}

/// Offset of lockout pair l (1..50) of bank b.
constexpr int lockout_offset(int b, int l) {
  return bank_base(b) + bank_lockout_offset + 2 * (l - 1);
}

/// Offset of talkgroup record t (1..100) of bank b.
constexpr int talkgroup_offset(int b, int t) {
  return bank_base(b) + bank_talkgroup_offset + talkgroup_size * (t - 1);
}

/// Offset of record e (1..110) of the weather bank: 1..10 are the weather
/// channels, 11..110 the preprogrammed bands 1..100.
constexpr int weather_record_offset(int e) {
  return weather_offset + record_size * (e - 1);
}

/// Offset of weather channel record k (0..9).
constexpr int weather_channel_offset(int k) {
  return weather_record_offset(1 + k);
}

/// Offset of preprogrammed band record n (1..100).
constexpr int band_record_offset(int n) {
  return weather_record_offset(weather_count + n);
}

/// Offset of opening message line j (1..4).
constexpr int message_line_offset(int j) {
  return message_offset + message_line_size * (j - 1);
}

/// The image field tags: the name of the field that each store fills.
// clang-format off
enum class Field {
  bchan1, bchan2,                  // bank channel code byte, tag character
  bsrch1, bsrch2, bsrch3,          // search code byte, tag, search-end byte
  batag, bonoff, btype, fleet,     // bank attributes
  sloc0, sloc1, sloc2,             // lockout fill, first and second byte
  trnk1, trnk2, trnk3,             // talkgroup ID low, high, tag character
  wchan1, wchan2,                  // weather channel code byte, tag
  psrch1, psrch2, psrch3,          // band code byte, tag, band count
  psrch4, psrch5, psrch6, psrch7,  // empty band record bytes 0 to 3
  psrch8,                          // empty band record bytes 4 to 17
  oscr,                            // opening message character
  u1, blt, sdt, tdt, u5, msdt, dc, pc1, pc2, lsf1, lsf2, lsf3, poo, wxpoo,
  wxpcn, ktf1, ktf2,               // settings bytes
  escb1, escb2, eseb1, eseb2,      // bank word byte from a digit, or 0xA5
};
// clang-format on

/// Stores the low 8 bits of value at offset under its field tag; refuses an
/// offset outside the body and returns false, storing nothing.
bool put_byte(ImageBody &image, int offset, long value, Field tag);

/// Stores bytes at an offset under their field tag, as put_byte stores
/// each; refuses a run that does not lie wholly inside the body and
/// returns false, storing nothing.
bool put_bytes(ImageBody &image, int offset, const void *bytes, int count,
               Field tag);

/// True when the text from the name's last '.' is exactly ".spg" or ".SPG".
bool is_image_name(const char *name);

/// True when two file names are the same string or name one existing file.
bool is_same_file(const char *a, const char *b);

/// Reads the 5-byte header; the bytes are not examined.
bool read_image_header(int fd);

/// True when a header is the fixed header a written image file has.
bool is_image_header(const unsigned char *header);

/// Positions the file at the start of the image body.
bool seek_image_body(int fd);

/// Reads the 26,496 bytes of the image body, however many reads they take;
/// false when the file ends first or a read fails.
bool read_image_body(int fd, ImageBody &image);

/// Reads the header, then the body; null when both were read, else the
/// part that could not be, "header" or "body", for the caller's message.
const char *read_image_parts(int fd, ImageBody &image);

/// What reading an image file found.
enum class ImageFileRead { ok, no_header, no_body, not_an_image };

/// Reads the header, refusing any but the fixed one, then the body.
ImageFileRead read_image_file(int fd, ImageBody &image);

/// Reports a failed read of a named image file on err, lines ended by
/// line_end: "Cannot read header of NAME", "Cannot read body of NAME" or
/// "NAME is not an image file: it does not start with 02 00 00 00 00".
void report_image_read(ImageFileRead result, const char *name, FILE *err,
                       const char *line_end);

/// Writes the fixed header.
bool write_image_header(int fd);

/// Writes the image body.
bool write_image_body(int fd, const ImageBody &image);

/// Writes the trailer of zero bytes.
bool write_image_trailer(int fd);

/// Writes a whole image file, header, body and trailer; false after
/// reporting on err the part that could not be written.
bool write_image_file(int fd, const ImageBody &image, const char *name,
                      FILE *err);
