// A CHIRP channel list stored into the channels of an image: every row
// stored exactly as the scanner receives it, or warned of by its line.
#include <ctype.h>
#include <math.h>
#include <stdio.h>
#include <string.h>

#include <string>

#include "common/codes.h"
#include "common/rules.h"
#include "csvimg/csvimg.h"
#include "csvimg/list.h"

namespace {

/// The columns of a channel list that are used; -1 when absent.
struct ChannelColumns {
  int location, name, frequency, tone, rtone, ctone, dtcs, rx_dtcs, polarity,
      cross, mode, skip, comment;
};

/// The texts a row gives the channel encoder.
struct ChannelValues {
  long long hertz = 0;
  char mode[6] = "FM   ";
  std::string tone = "0.0";
  char flags[5] = "----";
};

/// Where a channel goes: bank and channel, or none.
struct Place {
  int bank = -1;
  int channel = -1;
};

/// A decimal text without the zeros that end its fraction.
std::string plain_decimal(const std::string &text) {
  if (text.find('.') == std::string::npos)
    return text;
  std::string result = text;
  while (result.back() == '0')
    result.pop_back();
  if (result.back() == '.')
    result.pop_back();
  return result;
}

/// The frequency of a row in Hz on the nearest step; false after a warning
/// when the row cannot be stored.
bool read_frequency(List &list, const CsvRow &row, const ChannelColumns &c,
                    long long *hertz) {
  std::string text = trimmed(field_of(row, c.frequency));
  ExactDecimal given;
  if (!read_exact_decimal(text.c_str(), 6, &given)) {
    warn(list, row.line, "frequency \"%s\" is not a number, row skipped",
         shown(text).c_str());
    return false;
  }
  long long stored = nearest_step_hz(given.units);
  int held = band_holding(given.units);
  if (stored < 0 && held >= 0) {
    // In a band, but nearest its end: the step there is the next band's.
    long long step = band_step_hz(held);
    long long nearest = band_base_hz(held) +
                        (given.units - band_base_hz(held) + step / 2) / step *
                            step;
    warn(list, row.line,
         "frequency %s MHz lies in band %d (%lld to %lld MHz), but its "
         "nearest step, %.4f MHz, lies beyond the band's end, row skipped",
         plain_decimal(text).c_str(), held, band_base_hz(held) / 1000000,
         band_limit_hz(held) / 1000000, static_cast<double>(nearest) / 1e6);
    return false;
  }
  if (stored < 0) {
    // The bands run on from one to the next but for a gap below the top
    // one.
    warn(list, row.line,
         "frequency %s MHz lies in no band the scanner holds (%s), row "
         "skipped",
         plain_decimal(text).c_str(), band_ranges_text().c_str());
    return false;
  }
  if (stored != given.units || given.finer) {
    int band = band_holding(given.units);
    Findings findings;
    add_off_step(findings, "frequency", plain_decimal(text).c_str(),
                 band_table[band].step, static_cast<double>(stored) / 1e6);
    warn(list, row.line, "%s", findings.text[0]);
  }
  *hertz = stored;
  return true;
}

/// The mode of a row: FM or AM; false after a warning for any other.
bool read_mode(List &list, const CsvRow &row, const ChannelColumns &c,
               bool *am) {
  std::string mode = trimmed(field_of(row, c.mode));
  std::string upper = mode;
  for (char &ch : upper)
    ch = static_cast<char>(toupper(static_cast<unsigned char>(ch)));
  *am = upper == "AM" || upper == "NAM";
  if (*am || upper.empty() || upper == "AUTO" || upper == "FM" ||
      upper == "NFM" || upper == "WFM")
    return true;
  warn(list, row.line,
       "mode %s cannot be received by the scanner (FM and AM only), row "
       "skipped",
       shown(mode).c_str());
  return false;
}

/// Reads a PL tone into the values; false after a warning when the tone
/// bytes cannot hold it as written.
bool read_pl_tone(List &list, long line, const std::string &text,
                  ChannelValues &v) {
  ExactDecimal tone;
  if (!read_exact_decimal(text.c_str(), 1, &tone)) {
    warn(list, line, "PL tone \"%s\" is not a number, row skipped",
         shown(text).c_str());
    return false;
  }
  if (tone.finer || !holds_pl_tone(tone.units)) {
    warn(list, line,
         "PL tone %s cannot be stored as written (51.2 to 255.9 Hz, in "
         "tenths), row skipped",
         shown(text).c_str());
    return false;
  }
  char word[48];
  snprintf(word, sizeof word, "%lld.%lld", tone.units / 10, tone.units % 10);
  double hertz = static_cast<double>(tone.units) / 10.0;
  if (!is_standard_ctcss_tone(hertz)) {
    Findings findings;
    add_nonstandard_tone(findings, word, hertz, "");
    warn(list, line, "%s", findings.text[0]);
  }
  strcpy(v.mode, "PL   ");
  v.tone = word;
  return true;
}

/// Reads a DCS code into the values; false after a warning when the tone
/// bytes cannot hold it as written.
bool read_dcs_code(List &list, long line, const std::string &text,
                   ChannelValues &v) {
  if (text.empty() || text.find_first_not_of("01234567") != std::string::npos) {
    warn(list, line, "DCS code \"%s\" is not octal digits, row skipped",
         shown(text).c_str());
    return false;
  }
  unsigned long long value = 0;
  for (char digit : text) {
    value = value * 8 + static_cast<unsigned>(digit - '0');
    if (value > 0xFFFFFF)
      break;
  }
  if (!holds_dcs_code(value)) {
    warn(list, line,
         "DCS code D%s cannot be stored as written (at most D177777), row "
         "skipped",
         text.c_str());
    return false;
  }
  char word[32];
  snprintf(word, sizeof word, "D%03llo", value);
  if (!is_standard_dcs_code(static_cast<unsigned>(value))) {
    Findings findings;
    add_nonstandard_code(findings, word);
    warn(list, line, "%s", findings.text[0]);
  }
  strcpy(v.mode, "DPL  ");
  v.tone = word;
  return true;
}

/// What the receiver needs to open, from the tone columns: a PL tone, a DCS
/// code, or nothing.  False after a warning when the row is skipped.
bool read_tone(List &list, const CsvRow &row, const ChannelColumns &c,
               ChannelValues &v) {
  std::string mode = trimmed(field_of(row, c.tone));
  // CHIRP takes the only tone column a list has for both tones.
  int receive_tone = c.ctone >= 0 ? c.ctone : c.rtone;
  std::string polarity = trimmed(field_of(row, c.polarity));
  char receive_polarity = polarity.size() >= 2 ? polarity[1] : 'N';
  std::string cross =
      c.cross >= 0 ? trimmed(field_of(row, c.cross)) : std::string();
  if (mode == "Cross" && cross.empty())
    cross = "Tone->Tone";  // what CHIRP takes when the list says nothing
  bool pl = mode == "TSQL" ||
            (mode == "Cross" && (cross == "->Tone" || cross == "Tone->Tone" ||
                                 cross == "DTCS->Tone"));
  bool dpl = mode == "DTCS" ||
             (mode == "Cross" && (cross == "->DTCS" || cross == "DTCS->DTCS" ||
                                  cross == "Tone->DTCS"));
  if (pl)
    return read_pl_tone(list, row.line, trimmed(field_of(row, receive_tone)),
                        v);
  if (dpl) {
    if (receive_polarity != 'N') {
      warn(list, row.line,
           "DTCS polarity %s receives an inverted code, which the scanner "
           "cannot, no tone is stored",
           shown(polarity).c_str());
      return true;
    }
    int code = mode == "DTCS" || c.rx_dtcs < 0 ? c.dtcs : c.rx_dtcs;
    return read_dcs_code(list, row.line, trimmed(field_of(row, code)), v);
  }
  if (mode == "Cross" && cross != "Tone->" && cross != "DTCS->")
    warn(list, row.line, "cross mode %s cannot be stored, no tone is stored",
         shown(cross).c_str());
  else if (mode != "Cross" && !mode.empty() && mode != "Tone")
    // A transmit tone alone means nothing to a receiver; TSQL-R and DTCS-R
    // open the squelch without the tone, which the scanner cannot.
    warn(list, row.line, "tone mode %s cannot be stored, no tone is stored",
         shown(mode).c_str());
  return true;
}

/// The values of one row; false after a warning when it is skipped.
bool read_channel_values(List &list, const CsvRow &row, const ChannelColumns &c,
                         ChannelValues &v) {
  bool am;
  if (!read_frequency(list, row, c, &v.hertz) || !read_mode(list, row, c, &am))
    return false;
  ChannelComment comment = read_channel_comment(field_of(row, c.comment));
  if (comment.mode >= 0) {
    // A trunked channel as imgcsv writes it: its mode is in the Comment.
    snprintf(v.mode, sizeof v.mode, "%s", mode_names[comment.mode]);
  } else {
    if (am)
      strcpy(v.mode, "AM   ");
    if (!read_tone(list, row, c, v))
      return false;
    if (am && strcmp(v.mode, "AM   ") != 0)
      warn(list, row.line, "an AM channel cannot carry a tone, stored as %s",
           trimmed(v.mode).c_str());
  }
  if (comment.flag_d)
    v.flags[1] = 'D';
  if (comment.flag_a)
    v.flags[2] = 'A';
  std::string skip = trimmed(field_of(row, c.skip));
  if (skip == "S")
    v.flags[3] = 'L';
  else if (!skip.empty())
    warn(list, row.line, "skip %s cannot be stored, the channel is scanned",
         shown(skip).c_str());
  return true;
}

/// Encodes a row's values and stores them with its name at a place; false
/// after a warning when the image would not hold exactly what was read.
bool store_values(List &list, const CsvRow &row, const ChannelColumns &c,
                  const ChannelValues &v, Place place, ImageBody &image) {
  Warnings warnings;
  double megahertz = static_cast<double>(v.hertz) / 1e6;
  ChannelCode code =
      encode_channel_code(megahertz, v.mode, v.tone.c_str(), v.flags, warnings);
  ChannelView back = decode_channel_code(code.bytes, RecordKind::channel);
  bool toned = v.mode[0] == 'P' || v.mode[0] == 'D';
  if (warnings.count > 0 || llround(back.frequency * 1e6) != v.hertz ||
      trimmed(back.tone) != (toned ? v.tone : "0.0")) {
    warn(list, row.line, "frequency %.6f cannot be encoded, row skipped",
         megahertz);
    return false;
  }
  unsigned char tag[tag_size];
  make_tag(list, row.line, "name", field_of(row, c.name), tag);
  int at = channel_offset(place.bank, place.channel);
  for (int i = 0; i < code_size; ++i)
    put_byte(image, at + i, code.bytes[i], Field::bchan1);
  for (int i = 0; i < tag_size; ++i)
    put_byte(image, at + code_size + i, tag[i], Field::bchan2);
  return true;
}

/// Empties a channel as in a bank that was never programmed.
void empty_channel(ImageBody &image, int bank, int channel) {
  int at = channel_offset(bank, channel);
  for (int i = 0; i < code_size; ++i)
    put_byte(image, at + i, empty_channel_code[i], Field::bchan1);
  for (int i = 0; i < tag_size; ++i)
    put_byte(image, at + code_size + i, ' ', Field::bchan2);
}

/// Finds the columns of a channel list; a list without a Frequency column
/// is refused.
ChannelColumns find_channel_columns(List &list, const CsvRow &header) {
  ChannelColumns c = {
      find_column(header, {"Location"}),
      find_column(header, {"Name"}),
      find_column(header, {"Frequency"}),
      find_column(header, {"Tone"}),
      find_column(header, {"rToneFreq"}),
      find_column(header, {"cToneFreq"}),
      find_column(header, {"DtcsCode"}),
      find_column(header, {"RxDtcsCode"}),
      find_column(header, {"DtcsPolarity"}),
      find_column(header, {"CrossMode"}),
      find_column(header, {"Mode"}),
      find_column(header, {"Skip"}),
      find_column(header, {"Comment"}),
  };
  if (c.frequency < 0)
    fail(list, header.line, "no Frequency column");
  return c;
}

/// Where the rows of a list go, and the rows that had no place.
struct Placing {
  bool by_location;
  int bank;
  int next = 0;  ///< the place an empty Location takes (bank * 50 + k)
  long stored_at[bank_count * channel_count] = {};  ///< line stored, or 0
  long first_left_out = 0;  ///< line of the first row without a place
};

/// The place of a row, or none after counting it as left out or warning of
/// a Location that names no channel.
bool find_place(List &list, const CsvRow &row, const ChannelColumns &c,
                Placing &p, int *place, StoreSummary &summary) {
  int limit = p.by_location ? bank_count * channel_count : channel_count;
  std::string text = trimmed(field_of(row, c.location));
  if (!p.by_location || text.empty()) {
    if (p.next >= limit) {
      if (summary.left_out++ == 0)
        p.first_left_out = row.line;
      return false;
    }
    *place = p.next;
    return true;
  }
  long location;
  if (!read_integer(text.c_str(), &location) || location < 0 ||
      location >= limit) {
    warn(list, row.line, "location \"%s\" is not 0 to 499, row skipped",
         shown(text).c_str());
    return false;
  }
  *place = static_cast<int>(location);
  return true;
}

}  // namespace

bool store_channel_list(CsvReader &reader, const char *name, FILE *err,
                        const StoreOptions &options, ImageBody &image,
                        StoreSummary &summary) {
  List list = {reader, name, err};
  static Placing p;
  p = Placing();
  p.by_location = options.bank == rows_by_location;
  p.bank = options.bank;
  bool done = false;
  try {
    CsvRow header = read_header(list);
    ChannelColumns c = find_channel_columns(list, header);
    CsvRow row;
    while (read_csv_row(reader, row)) {
      if (is_blank_row(row))
        continue;
      ++summary.rows;
      if (row.nul) {
        warn(list, row.line, "a field holds a NUL byte, row skipped");
        continue;
      }
      int place;
      ChannelValues values;
      if (!find_place(list, row, c, p, &place, summary) ||
          !read_channel_values(list, row, c, values))
        continue;
      Place at = {p.by_location ? place / channel_count : p.bank,
                  p.by_location ? place % channel_count : place};
      long earlier = p.by_location ? p.stored_at[place] : 0;
      if (!store_values(list, row, c, values, at, image))
        continue;
      if (earlier != 0)
        warn(list, row.line,
             "location %d is given at line %ld too; this row replaces it",
             place, earlier);
      else
        ++summary.stored;
      if (p.by_location)
        p.stored_at[place] = row.line;
      p.next = place + 1;
      summary.bank_used[at.bank] = true;
      if (summary.first < 0 || at.channel < summary.first)
        summary.first = at.channel;
      if (at.channel > summary.last)
        summary.last = at.channel;
    }
    if (summary.left_out > 0)
      warn(list, p.first_left_out,
           p.by_location
               ? "%ld rows are left out, as no channel is left after 499: "
                 "the first"
               : "%ld rows are left out, as the bank has no channel left: "
                 "the first",
           summary.left_out);
    if (!p.by_location && !options.keep)
      for (int k = summary.last + 1; k < channel_count; ++k)
        empty_channel(image, p.bank, k);
    done = true;
  } catch (const ListFatal &) {
  }
  summary.warnings += list.warnings;
  return done;
}
