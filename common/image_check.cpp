// The check of an image body's values, record by record.
#include "common/image_check.h"

#include <stdarg.h>
#include <stdio.h>

#include <set>

#include "common/codes.h"
#include "common/rules.h"

namespace {

__attribute__((format(printf, 4, 5))) void add(
    std::vector<ImageFinding> &findings, const char *where, Finding kind,
    const char *format, ...) {
  char text[256];
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof text, format, args);
  va_end(args);
  findings.push_back({where, text, kind});
}

/// Advice the shared rules give: a tag with control bytes, a tone or code
/// that is not a standard one.
void add_advice(std::vector<ImageFinding> &findings, const char *where,
                const Findings &advice) {
  for (int i = 0; i < advice.count; ++i)
    findings.push_back({where, advice.text[i], Finding::advice});
}

/// The frequency, in MHz, where a band stops holding frequencies.
double band_end(int band) {
  return static_cast<double>(band_limit_hz(band)) / 1e6;
}

constexpr int known_flags = flag_u | flag_d | flag_a | flag_l;
constexpr unsigned largest_dcs_value = 0777;

/// The tone bytes of a channel or search record that has a tone.
void check_tone(std::vector<ImageFinding> &findings, const char *where,
                const unsigned char *code, int mode) {
  Findings advice;
  if (mode == mode_pl && (code[4] != 0 || code[5] != 0)) {
    if (code[5] < first_tone_range || code[5] > last_tone_range) {
      add(findings, where, Finding::misread,
          "PL tone bytes %02X %02X show no tone", code[4], code[5]);
      return;
    }
    double hertz = tone_bases[code[5]] + code[4] * 0.1;
    char word[16];
    snprintf(word, sizeof word, "%.1f", hertz);
    if (!is_standard_ctcss_tone(hertz))
      add_nonstandard_tone(advice, word, hertz, "");
  } else if (mode == mode_dpl) {
    unsigned value = code[5] * 256u + code[4];
    char word[16];
    snprintf(word, sizeof word, "D%03o", value);
    if (value > largest_dcs_value) {
      add(findings, where, Finding::misread,
          "DCS code %s has more than three octal digits: no code", word);
      return;
    }
    if (!is_standard_dcs_code(value))
      add_nonstandard_code(advice, word);
  }
  add_advice(findings, where, advice);
}

/// The checks of a channel, weather channel or search record.
void check_channel_record(std::vector<ImageFinding> &findings,
                          const char *where, const unsigned char *record,
                          RecordKind kind) {
  const unsigned char *code = record;
  int mode = code[2] & 0x0F, band = code[2] >> 4;
  if (mode >= known_mode_count)
    add(findings, where, Finding::misread,
        "mode index %d is not a mode (0 to 6)", mode);
  if (band >= known_band_count)
    add(findings, where, Finding::misread,
        "band number %d is not a band (0 to 4)", band);
  if (code[3] & ~known_flags)
    add(findings, where, Finding::unlisted,
        "flag byte %02X has bits the listing does not show", code[3]);
  bool no_frequency = kind != RecordKind::search && (code[3] & flag_u);
  if (band < known_band_count && mode < known_mode_count && !no_frequency) {
    double frequency = decode_channel_code(code, kind).frequency;
    double top = band_end(band);
    if (frequency >= top)
      add(findings, where, Finding::misread,
          "frequency %.4f lies above band %d, which ends below %.1f MHz",
          frequency, band, top);
  }
  if (kind == RecordKind::weather) {
    if (code[4] != 0 || code[5] != 0)
      add(findings, where, Finding::unlisted,
          "tone bytes %02X %02X are not shown for a weather channel", code[4],
          code[5]);
  } else if (!no_frequency) {
    check_tone(findings, where, code, mode);
  }
  Findings advice;
  check_tag_controls(record + code_size, tag_size, advice);
  add_advice(findings, where, advice);
}

void check_bank(std::vector<ImageFinding> &findings, const ImageBody &image,
                int b) {
  const unsigned char *bank = image.bytes + bank_base(b);
  char where[48];
  for (int k = 0; k < channel_count; ++k) {
    snprintf(where, sizeof where, "bank %d channel %d", b, k);
    check_channel_record(findings, where, image.bytes + channel_offset(b, k),
                         RecordKind::channel);
  }
  snprintf(where, sizeof where, "bank %d search", b);
  check_channel_record(findings, where, bank + bank_search_offset,
                       RecordKind::search);

  snprintf(where, sizeof where, "bank %d", b);
  Findings advice;
  check_tag_controls(bank + bank_tag_offset, tag_size, advice);
  add_advice(findings, where, advice);
  int mode_byte = bank[bank_mode_offset];
  if (mode_byte & ~0x0E)
    add(findings, where, Finding::unlisted,
        "mode/offset byte %02X has bits the listing does not show", mode_byte);
  int type = bank[bank_type_offset];
  if (type >= known_bank_type_count)
    add(findings, where, Finding::misread,
        "bank type %d is not a bank type (0 to 6)", type);
  else if (type == 1 || type == 2)
    add(findings, where, Finding::unlisted,
        "bank type %d is listed as blanks, which read back as type 3", type);
  // Only a Motorola bank reads its fleet map.
  for (int block = 0; block < fleet_block_count; ++block) {
    int size = bank[bank_fleet_offset + block];
    if (size > 14)
      add(findings, where,
          type == bank_type_mot ? Finding::misread : Finding::unlisted,
          "fleet map block %d has size code %d, above 14", block, size);
  }
  for (int slot = 1; slot <= lockout_count; ++slot) {
    const unsigned char *pair = image.bytes + lockout_offset(b, slot);
    if ((pair[0] == 0xFF) != (pair[1] == 0xFF)) {
      snprintf(where, sizeof where, "bank %d lockout %d", b, slot);
      add(findings, where, Finding::unlisted,
          "pair %02X %02X is empty for its one byte FF, and is not listed",
          pair[0], pair[1]);
    }
  }
  for (int t = 1; t <= talkgroup_count; ++t) {
    Findings tag;
    check_tag_controls(image.bytes + talkgroup_offset(b, t) + 2, tag_size, tag);
    snprintf(where, sizeof where, "bank %d talkgroup %d", b, t);
    add_advice(findings, where, tag);
  }
}

void check_bands(std::vector<ImageFinding> &findings, const ImageBody &image) {
  int count = image.bytes[band_count_offset];
  if (count > band_record_count)
    add(findings, "settings", Finding::misread, "band count %d is above 100",
        count);
  if (count > band_record_count)
    count = band_record_count;
  char where[48];
  for (int n = 1; n <= count; ++n) {
    const unsigned char *code = image.bytes + band_record_offset(n);
    snprintf(where, sizeof where, "preprogrammed band %d", n - 1);
    int mode = code[3] >> 4, band = code[3] & 0x0F;
    if (mode >= known_mode_count)
      add(findings, where, Finding::misread,
          "mode index %d is not a mode (0 to 6)", mode);
    if (band >= known_band_count)
      add(findings, where, Finding::misread,
          "band number %d is not a band (0 to 4)", band);
    if (mode < known_mode_count && band < known_band_count) {
      BandView view = decode_band_code(code);
      double top = band_end(band);
      if (view.start >= top)
        add(findings, where, Finding::misread,
            "start %.4f lies above band %d, which ends below %.1f MHz",
            view.start, band, top);
    }
    Findings advice;
    check_tag_controls(code + code_size, tag_size, advice);
    add_advice(findings, where, advice);
  }
}

void check_message_and_words(std::vector<ImageFinding> &findings,
                             const ImageBody &image) {
  char where[48];
  for (int j = 1; j <= message_line_count; ++j) {
    // The message ends early at a NUL.
    const unsigned char *text = image.bytes + message_line_offset(j);
    int size = 0;
    while (size < message_line_size && text[size] != 0)
      ++size;
    Findings advice;
    check_tag_controls(text, size, advice);
    snprintf(where, sizeof where, "opening message line %d", j);
    add_advice(findings, where, advice);
  }
  const struct {
    int offset;
    const char *name;
  } words[] = {{scan_banks_offset, "enabled scan banks"},
               {search_banks_offset, "active search banks"}};
  for (const auto &word : words) {
    for (int i = 0; i < bank_word_size; ++i) {
      unsigned char c = image.bytes[word.offset + i];
      if ((c < '0' || c > '9') && c != no_bank_digit) {
        snprintf(where, sizeof where, "%s position %d", word.name, i + 1);
        add(findings, where, Finding::unlisted,
            "byte %02X is neither a digit nor A5", c);
      }
    }
  }
}

}  // namespace

std::vector<ImageFinding> check_image_values(const ImageBody &image) {
  std::vector<ImageFinding> findings;
  for (int b = 0; b < bank_count; ++b)
    check_bank(findings, image, b);
  char where[48];
  for (int k = 0; k < weather_count; ++k) {
    snprintf(where, sizeof where, "weather channel %d", k);
    check_channel_record(findings, where,
                         image.bytes + weather_channel_offset(k),
                         RecordKind::weather);
  }
  check_bands(findings, image);
  check_message_and_words(findings, image);
  return findings;
}

int count_misread_records(const std::vector<ImageFinding> &findings) {
  std::set<std::string> records;
  for (const ImageFinding &f : findings)
    if (f.kind == Finding::misread)
      records.insert(f.where);
  return static_cast<int>(records.size());
}
