// The check of an image file: its length, header and trailer, and every
// body value that a listing cannot show as a real setting.
#include "imgtxt/check.h"

#include <stdarg.h>
#include <string.h>

#include "common/codes.h"
#include "common/rules.h"

namespace {

/// Where the problems go, and how many there were.
struct Report {
  const char *name;
  FILE *err;
  int count;
};

__attribute__((format(printf, 3, 4))) void problem(Report &report,
                                                   const char *where,
                                                   const char *format, ...) {
  char message[256];
  va_list args;
  va_start(args, format);
  vsnprintf(message, sizeof message, format, args);
  va_end(args);
  fprintf(report.err, "%s: %s: %s\r\n", report.name, where, message);
  ++report.count;
}

/// The frequency, in MHz, where a band stops holding frequencies.
double band_end(int band) {
  return static_cast<double>(band_limit_hz(band)) / 1e6;
}

constexpr int known_flags = flag_u | flag_d | flag_a | flag_l;

/// The checks of a channel, weather channel or search record's code.
void check_channel_code(Report &report, const char *where,
                        const unsigned char *code, RecordKind kind) {
  int mode = code[2] & 0x0F, band = code[2] >> 4;
  if (mode >= known_mode_count)
    problem(report, where, "mode index %d is not a mode (0 to 6)", mode);
  if (band >= known_band_count)
    problem(report, where, "band number %d is not a band (0 to 4)", band);
  if (code[3] & ~known_flags)
    problem(report, where, "flag byte %02X has bits the listing does not show",
            code[3]);
  bool no_frequency = kind != RecordKind::search && (code[3] & flag_u);
  if (band < known_band_count && mode < known_mode_count && !no_frequency) {
    double frequency = decode_channel_code(code, kind).frequency;
    double top = band_end(band);
    if (frequency >= top)
      problem(report, where,
              "frequency %.4f lies above band %d, which ends below %.1f MHz",
              frequency, band, top);
  }
  if (kind == RecordKind::weather) {
    if (code[4] != 0 || code[5] != 0)
      problem(report, where,
              "tone bytes %02X %02X are not shown for a weather channel",
              code[4], code[5]);
  } else if (mode == mode_pl && (code[4] != 0 || code[5] != 0) &&
             (code[5] < first_tone_range || code[5] > last_tone_range)) {
    problem(report, where, "PL tone bytes %02X %02X show no tone", code[4],
            code[5]);
  }
}

void check_bank(Report &report, const ImageBody &image, int b) {
  const unsigned char *bank = image.bytes + bank_base(b);
  char where[48];
  for (int k = 0; k < channel_count; ++k) {
    snprintf(where, sizeof where, "bank %d channel %d", b, k);
    check_channel_code(report, where, image.bytes + channel_offset(b, k),
                       RecordKind::channel);
  }
  snprintf(where, sizeof where, "bank %d search", b);
  check_channel_code(report, where, bank + bank_search_offset,
                     RecordKind::search);

  snprintf(where, sizeof where, "bank %d", b);
  int mode_byte = bank[bank_mode_offset];
  if (mode_byte & ~0x0E)
    problem(report, where,
            "mode/offset byte %02X has bits the listing does not show",
            mode_byte);
  int type = bank[bank_type_offset];
  if (type >= known_bank_type_count)
    problem(report, where, "bank type %d is not a bank type (0 to 6)", type);
  else if (type == 1 || type == 2)
    problem(report, where,
            "bank type %d is listed as blanks, which read back as type 3",
            type);
  for (int block = 0; block < fleet_block_count; ++block) {
    int size = bank[bank_fleet_offset + block];
    if (size > 14)
      problem(report, where, "fleet map block %d has size code %d, above 14",
              block, size);
  }
  for (int slot = 1; slot <= lockout_count; ++slot) {
    const unsigned char *pair = image.bytes + lockout_offset(b, slot);
    if ((pair[0] == 0xFF) != (pair[1] == 0xFF)) {
      snprintf(where, sizeof where, "bank %d lockout %d", b, slot);
      problem(report, where,
              "pair %02X %02X is empty for its one byte FF, and is not "
              "listed",
              pair[0], pair[1]);
    }
  }
}

void check_bands(Report &report, const ImageBody &image) {
  int count = image.bytes[band_count_offset];
  if (count > band_record_count)
    problem(report, "settings", "band count %d is above 100", count);
  if (count > band_record_count)
    count = band_record_count;
  char where[48];
  for (int n = 1; n <= count; ++n) {
    const unsigned char *code = image.bytes + band_record_offset(n);
    snprintf(where, sizeof where, "preprogrammed band %d", n - 1);
    int mode = code[3] >> 4, band = code[3] & 0x0F;
    if (mode >= known_mode_count)
      problem(report, where, "mode index %d is not a mode (0 to 6)", mode);
    if (band >= known_band_count)
      problem(report, where, "band number %d is not a band (0 to 4)", band);
    if (mode < known_mode_count && band < known_band_count) {
      BandView view = decode_band_code(code);
      double top = band_end(band);
      if (view.start >= top)
        problem(report, where,
                "start %.4f lies above band %d, which ends below %.1f MHz",
                view.start, band, top);
    }
  }
}

void check_bank_words(Report &report, const ImageBody &image) {
  const struct {
    int offset;
    const char *name;
  } words[] = {{scan_banks_offset, "enabled scan banks"},
               {search_banks_offset, "active search banks"}};
  for (const auto &word : words) {
    for (int i = 0; i < bank_word_size; ++i) {
      unsigned char c = image.bytes[word.offset + i];
      if ((c < '0' || c > '9') && c != no_bank_digit) {
        char where[48];
        snprintf(where, sizeof where, "%s position %d", word.name, i + 1);
        problem(report, where, "byte %02X is neither a digit nor A5", c);
      }
    }
  }
}

int check_body(Report &report, const ImageBody &image) {
  for (int b = 0; b < bank_count; ++b)
    check_bank(report, image, b);
  char where[48];
  for (int k = 0; k < weather_count; ++k) {
    snprintf(where, sizeof where, "weather channel %d", k);
    check_channel_code(report, where, image.bytes + weather_channel_offset(k),
                       RecordKind::weather);
  }
  check_bands(report, image);
  check_bank_words(report, image);
  return report.count;
}

}  // namespace

int check_image_body(const ImageBody &image, const char *name, FILE *err) {
  Report report = {name, err, 0};
  return check_body(report, image);
}

int check_image_file(const unsigned char *bytes, long count, long file_size,
                     const char *name, FILE *err) {
  Report report = {name, err, 0};
  if (file_size != image_file_size)
    problem(report, "file", "%ld bytes, not %d", file_size, image_file_size);
  if (count < header_size + body_size) {
    problem(report, "file", "too short to hold the header and the body");
    return report.count;
  }
  if (!is_image_header(bytes))
    problem(report, "header", "%02X %02X %02X %02X %02X, not 02 00 00 00 00",
            bytes[0], bytes[1], bytes[2], bytes[3], bytes[4]);
  for (long at = header_size + body_size; at < count; ++at) {
    if (bytes[at] != 0) {
      char where[48];
      snprintf(where, sizeof where, "trailer at file offset %ld", at);
      problem(report, where, "byte %02X, not 00", bytes[at]);
      break;
    }
  }
  static ImageBody image;
  memcpy(image.bytes, bytes + header_size, body_size);
  return check_body(report, image);
}
