// A CHIRP channel list stored into the channels of an image: every row
// stored exactly as the scanner receives it, or warned of by its line.
#include <ctype.h>
#include <math.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "common/codes.h"
#include "common/rules.h"
#include "csvimg/csvimg.h"
#include "csvimg/list.h"

namespace {

/// The forms of a channel list, told apart by their header.
enum class ChannelForm {
  chirp,             ///< CHIRP's, with a Location column
  radioreference,    ///< a RadioReference page table or Premium download
  repeaterbook,      ///< RepeaterBook's download: Freq, Tone, Call ...
  repeaterbook_csv,  ///< RepeaterBook's free CSV: Output Freq ...
};

/// The columns of a channel list that are used; -1 when absent.
struct ChannelColumns {
  ChannelForm form = ChannelForm::chirp;
  int location = -1, name = -1, frequency = -1, tone = -1, rtone = -1,
      ctone = -1, dtcs = -1, rx_dtcs = -1, polarity = -1, cross = -1, mode = -1,
      skip = -1, comment = -1;
  int tag = -1;  ///< RadioReference's category, whose TRS marks a site
  std::vector<int> names;    ///< the tag's sources, the first given wins
  std::vector<int> matched;  ///< where -m looks
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
  // RepeaterBook writes the offset's direction against the output
  // frequency: 145.17000-, +, s (simplex) or x (odd split).
  if (c.form == ChannelForm::repeaterbook && !text.empty() &&
      strchr("+-sSxX", text.back()))
    text.pop_back();
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
    long long nearest =
        band_base_hz(held) +
        (given.units - band_base_hz(held) + step / 2) / step * step;
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

/// What a row of a downloaded list is, by its Mode, Tag or tone.
enum class RowKind { analog, digital, trunked_site, unknown };

/// A text in upper case, without blanks, dashes and underscores.
std::string bare_upper(const std::string &text) {
  std::string result;
  for (char c : text)
    if (!strchr(" -_", c))
      result += static_cast<char>(toupper(static_cast<unsigned char>(c)));
  return result;
}

/// Reads a RadioReference or RepeaterBook Mode: FM and AM, in any of their
/// names, are received; digital voice, trunked systems and telemetry are
/// not.  A list of modes ("FM, DMR") is received when one of them is.
RowKind mode_kind(const std::string &mode, bool *am) {
  static const char *const fm[] = {"FM",  "FMN",  "NFM", "FMW",
                                   "WFM", "NBFM", "WBFM"};
  static const char *const digital[] = {
      "P25",      "P25E",     "P25P2",  "PROJECT25",    "APCO25",  "DMR",
      "TRBO",     "MOTOTRBO", "NXDN",   "NXDN48",       "NXDN96",  "DSTAR",
      "YSF",      "C4FM",     "FUSION", "SYSTEMFUSION", "DPMR",    "TETRA",
      "PROVOICE", "MOTOROLA", "EDACS",  "LTR",          "MPT1327", "IDEN",
      "TELM",     "DIGITAL",  "M17"};
  *am = false;
  if (trimmed(mode.c_str()).empty())
    return RowKind::analog;
  bool is_digital = false, known = false;
  size_t at = 0;
  while (at < mode.size()) {
    size_t end = mode.find_first_of(",/;+", at);
    if (end == std::string::npos)
      end = mode.size();
    std::string word = bare_upper(mode.substr(at, end - at));
    at = end + 1;
    for (const char *name : fm)
      if (word == name)
        return RowKind::analog;
    if (word == "AM") {
      *am = true;
      return RowKind::analog;
    }
    for (const char *name : digital)
      is_digital = is_digital || word == name;
    known = known || word.empty();
  }
  return is_digital             ? RowKind::digital
         : known && !is_digital ? RowKind::analog
                                : RowKind::unknown;
}

/// Reads a downloaded list's tone: "131.8 PL" or "131.8", "023 DPL",
/// "023 DCS" or "D023", "CSQ" or nothing; a NAC, RAN, color code, talk
/// group or slot makes the row digital.  False after a warning when the
/// row is skipped.
bool read_list_tone(List &list, long line, const std::string &given,
                    ChannelValues &v, RowKind *kind) {
  std::string text = trimmed(given.c_str());
  std::string upper = bare_upper(text);
  if (upper.empty() || upper == "CSQ" || upper == "0" || upper == "00" ||
      upper == "0.0")
    return true;
  for (const char *digital : {"NAC", "RAN", "CC", "TG", "SL"})
    if (upper.compare(0, strlen(digital), digital) == 0) {
      *kind = RowKind::digital;
      return true;
    }
  std::string word = text.substr(0, text.find(' '));
  std::string unit = bare_upper(text.substr(word.size()));
  if (unit == "PL" ||
      (unit.empty() && isdigit(static_cast<unsigned char>(word[0])) &&
       word.find('.') != std::string::npos))
    return read_pl_tone(list, line, word, v);
  if (unit == "DPL" || unit == "DCS")
    return read_dcs_code(list, line, word, v);
  if (toupper(static_cast<unsigned char>(word[0])) == 'D' && unit.empty()) {
    std::string code = word.substr(1);
    if (!code.empty() &&
        strchr("NI", toupper(static_cast<unsigned char>(code.back()))))
      code.pop_back();  // D023N: the normal polarity is the scanner's
    return read_dcs_code(list, line, code, v);
  }
  if (unit.empty() && word.find_first_not_of("0123456789") == std::string::npos)
    return read_pl_tone(list, line, word, v);
  warn(list, line, "tone \"%s\" is no CTCSS tone or DCS code, row skipped",
       shown(text).c_str());
  return false;
}

/// The values of a row of a downloaded list, and what the row is; false
/// after a warning when it is skipped.
bool read_list_values(List &list, const CsvRow &row, const ChannelColumns &c,
                      ChannelValues &v, RowKind *kind) {
  if (c.tag >= 0 && bare_upper(field_of(row, c.tag)) == "TRS") {
    *kind = RowKind::trunked_site;
    return true;
  }
  bool am = false;
  std::string mode = field_of(row, c.mode);
  *kind = mode_kind(mode, &am);
  if (*kind == RowKind::digital)
    return true;
  if (*kind == RowKind::unknown) {
    warn(list, row.line,
         "mode %s is neither FM nor AM, nor a digital mode, row skipped",
         shown(trimmed(mode.c_str())).c_str());
    return false;
  }
  if (!read_list_tone(list, row.line, field_of(row, c.tone), v, kind) ||
      *kind == RowKind::digital)
    return *kind == RowKind::digital;
  if (!read_frequency(list, row, c, &v.hertz))
    return false;
  if (am && strcmp(v.mode, "FM   ") != 0) {
    warn(list, row.line, "an AM channel cannot carry a tone, stored as %s",
         trimmed(v.mode).c_str());
  } else if (am) {
    strcpy(v.mode, "AM   ");
  }
  return true;
}

/// Encodes a row's values and stores them with its name at a place; false
/// after a warning when the image would not hold exactly what was read.
bool store_values(List &list, const CsvRow &row, const ChannelColumns &c,
                  const ChannelValues &v, Place place, StoredTags &tags,
                  ImageBody &image) {
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
  // The first source that gives a name, blanks in front of it kept.
  std::string name;
  for (int column : c.names)
    if (trimmed(name.c_str()).empty())
      name = field_of(row, column);
  unsigned char tag[tag_size];
  make_distinct_tag(list, row.line, "name", name, tags, tag);
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

/// Finds the columns of a channel list and tells its form; a list without
/// a frequency column is refused.
ChannelColumns find_channel_columns(List &list, const CsvRow &header,
                                    const StoreOptions &options) {
  ChannelColumns c;
  auto column = [&header](std::initializer_list<const char *> names) {
    return find_column(header, names);
  };
  int alpha_tag = column({"Alpha Tag"}), description = column({"Description"});
  if (column({"Frequency Output"}) >= 0 || column({"Alpha Tag"}) >= 0) {
    c.form = ChannelForm::radioreference;
    c.frequency = column({"Frequency Output", "Frequency"});
    c.tone = column({"PL Output Tone", "PL Tone", "Tone"});
    c.mode = column({"Mode"});
    c.tag = column({"Tag"});
    c.names = {alpha_tag, column({"Name"}), description};
    c.matched = {alpha_tag, description, c.tag, column({"Agency/Category"})};
  } else if (column({"Output Freq"}) >= 0 ||
             (column({"Freq"}) >= 0 && column({"Call"}) >= 0)) {
    bool free_csv = column({"Output Freq"}) >= 0;
    c.form =
        free_csv ? ChannelForm::repeaterbook_csv : ChannelForm::repeaterbook;
    c.frequency = column({"Output Freq", "Freq"});
    c.tone = column({"Downlink Tone", "Tone"});
    c.mode = column({"Modes"});
    c.names = {column({"Call"}), column({"Location"})};
    c.matched = {column({"Location"}), column({"Call"}), column({"Use"}),
                 column({"County"})};
  } else {
    c.location = column({"Location"});
    c.name = column({"Name"});
    c.frequency = column({"Frequency"});
    c.tone = column({"Tone"});
    c.rtone = column({"rToneFreq"});
    c.ctone = column({"cToneFreq"});
    c.dtcs = column({"DtcsCode"});
    c.rx_dtcs = column({"RxDtcsCode"});
    c.polarity = column({"DtcsPolarity"});
    c.cross = column({"CrossMode"});
    c.mode = column({"Mode"});
    c.skip = column({"Skip"});
    c.comment = column({"Comment"});
    c.names = {c.name, description};
    c.matched = {c.name, c.comment, description};
  }
  if (options.description_tags)
    c.names.insert(c.names.begin(), description);
  if (c.frequency < 0)
    fail(list, header.line,
         "no Frequency column: the header is none of CHIRP's, RadioReference's "
         "or RepeaterBook's");
  return c;
}

/// True when a row matches one of the -m texts, or there are none.
bool matches_choice(const CsvRow &row, const ChannelColumns &c,
                    const StoreOptions &options) {
  if (options.matches.empty())
    return true;
  for (const std::string &match : options.matches)
    for (int column : c.matched)
      if (column >= 0 && holds_folded(field_of(row, column), match))
        return true;
  return false;
}

/// Where the rows of a list go, and the rows that had no place.
struct Placing {
  bool by_location;
  int bank;       ///< the first bank filled in order
  int banks = 1;  ///< how many banks are filled in order
  int next = 0;   ///< the place an empty Location takes (bank * 50 + k)
  long stored_at[bank_count * channel_count] = {};  ///< line stored, or 0
  long first_left_out = 0;  ///< line of the first row without a place
  long bad_locations = 0;   ///< rows whose Location names no channel
  long first_bad_location = 0;
};

/// The place of a row, or none after counting it as left out or as one
/// whose Location names no channel.
bool find_place(const CsvRow &row, const ChannelColumns &c, Placing &p,
                int *place, StoreSummary &summary) {
  int limit = (p.by_location ? bank_count : p.banks) * channel_count;
  std::string text = trimmed(field_of(row, c.location));
  if (!p.by_location || c.location < 0 || text.empty()) {
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
    if (p.bad_locations++ == 0)
      p.first_bad_location = row.line;
    return false;
  }
  *place = static_cast<int>(location);
  return true;
}

/// Reads a row's values as its list's form says; false when the row is not
/// stored, after counting it or warning of it.
bool read_row(List &list, const CsvRow &row, const ChannelColumns &c,
              ChannelValues &values, StoreSummary &summary) {
  if (c.form == ChannelForm::chirp)
    return read_channel_values(list, row, c, values);
  RowKind kind = RowKind::analog;
  bool read = read_list_values(list, row, c, values, &kind);
  if (kind == RowKind::digital)
    ++summary.digital;
  else if (kind == RowKind::trunked_site)
    ++summary.trunked_sites;
  return read && kind == RowKind::analog;
}

/// Empties the channels of the banks filled in order after the last one
/// stored in each.
void empty_rest(const Placing &p, const StoreSummary &summary,
                ImageBody &image) {
  for (int b = p.bank; b < p.bank + p.banks; ++b)
    for (int k = summary.last_of[b] + 1; k < channel_count; ++k)
      empty_channel(image, b, k);
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
  p.banks =
      options.last_bank >= options.bank ? options.last_bank - p.bank + 1 : 1;
  StoredTags tags;
  bool done = false;
  try {
    CsvRow header = read_header(list);
    ChannelColumns c = find_channel_columns(list, header, options);
    // Only CHIRP's lists have a Location: the others fill in order.
    p.by_location = p.by_location && c.form == ChannelForm::chirp;
    if (options.bank == rows_by_location && !p.by_location)
      p.bank = 0, p.banks = bank_count;
    CsvRow row;
    while (read_csv_row(reader, row)) {
      if (is_blank_row(row))
        continue;
      ++summary.rows;
      if (row.nul) {
        warn(list, row.line, "a field holds a NUL byte, row skipped");
        continue;
      }
      if (!matches_choice(row, c, options)) {
        ++summary.unmatched;
        continue;
      }
      int place;
      ChannelValues values;
      if (!read_row(list, row, c, values, summary) ||
          !find_place(row, c, p, &place, summary))
        continue;
      Place at = {p.by_location ? place / channel_count
                                : p.bank + place / channel_count,
                  place % channel_count};
      long earlier = p.by_location ? p.stored_at[place] : 0;
      if (!store_values(list, row, c, values, at, tags, image))
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
      if (summary.first_of[at.bank] < 0 ||
          at.channel < summary.first_of[at.bank])
        summary.first_of[at.bank] = at.channel;
      if (at.channel > summary.last_of[at.bank])
        summary.last_of[at.bank] = at.channel;
    }
    if (p.bad_locations > 0)
      warn(list, p.first_bad_location,
           "%ld rows are skipped, as their Location is not 0 to 499: the "
           "first",
           p.bad_locations);
    if (summary.left_out > 0)
      warn(list, p.first_left_out,
           p.by_location || options.bank == rows_by_location
               ? "%ld rows are left out, as no channel is left after 499: "
                 "the first"
           : p.banks > 1
               ? "%ld rows are left out, as the banks have no channel left: "
                 "the first"
               : "%ld rows are left out, as the bank has no channel left: "
                 "the first",
           summary.left_out);
    if (!p.by_location && options.bank != rows_by_location && !options.keep)
      empty_rest(p, summary, image);
    done = true;
  } catch (const ListFatal &) {
  }
  summary.shortened += tags.shortened;
  summary.warnings += list.warnings;
  return done;
}
