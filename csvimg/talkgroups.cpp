// A talkgroup list stored into the slots of a trunked bank: the lists
// imgcsv -t writes, RadioReference and trunk-recorder lists, and op25's
// tab-separated ones.  The bank becomes the list.
#include <ctype.h>
#include <string.h>

#include <map>
#include <string>
#include <vector>

#include "common/codes.h"
#include "common/rules.h"
#include "csvimg/csvimg.h"
#include "csvimg/list.h"

namespace {

/// The forms of talkgroup list, told apart by their first line.
enum class TalkgroupFormat {
  own,             ///< a header with Bank and Slot, as imgcsv -t writes
  radioreference,  ///< a header with Decimal: RadioReference, trunk-recorder
  op25,            ///< no header, ID TAB tag [TAB priority]
  headless,        ///< RadioReference's rows without their header
};

/// The columns of a talkgroup list that are used; -1 when absent.
struct TalkgroupColumns {
  int bank = -1, decimal = -1, id = -1, hex = -1, alpha_tag = -1,
      description = -1, tag = -1, category = -1, mode = -1, skip = -1;
};

/// The bank a list goes to, and what storing it has seen so far.
struct Bank {
  int number;
  int type;
  int fleet_map[fleet_block_count];
  std::map<unsigned, long> lines_of_ids;  ///< ID code, skip bit clear
  StoredTags tags;
  long first_other = 0;
  long first_left_out = 0;
  bool hex_ignored = false;  ///< the Hex column is junk and not read
  /// Rows skipped for a reason: the first line and warning, and the count.
  std::map<std::string, std::pair<std::pair<long, std::string>, long>> skips;
};

/// Warns of a row skipped for a reason, the first time the reason (the
/// warning but for its numbers) is met; the others are counted.
void skip_row(List &list, Bank &bank, long line, const std::string &message) {
  std::string reason;
  for (char c : message)
    if (!isdigit(static_cast<unsigned char>(c)))
      reason += c;
  auto found = bank.skips.find(reason);
  if (found != bank.skips.end()) {
    ++found->second.second;
    return;
  }
  bank.skips[reason] = {{line, message}, 1};
  warn(list, line, "%s", message.c_str());
}

/// Counts, at their first lines, the rows skipped for a reason met more
/// than once.
void warn_of_skips(List &list, const Bank &bank) {
  std::map<long, long> counts;
  for (const auto &[reason, skipped] : bank.skips)
    if (skipped.second > 1)
      counts[skipped.first.first] = skipped.second;
  for (const auto &[line, count] : counts)
    warn(list, line, "%ld rows in all are skipped for that reason: the first",
         count);
}

/// Whether a RadioReference Mode is stored: A and M, partly
/// encrypted or not; D, T and every fully encrypted mode are not for an
/// analog receiver.  Returns 1 to keep, 0 to pass over, -1 for a mode that
/// is none of these.
int keeps_mode(const std::string &mode) {
  for (const char *kept : {"", "A", "Ae", "M", "Me"})
    if (mode == kept)
      return 1;
  for (const char *passed : {"D", "De", "DE", "T", "Te", "TE", "AE", "ME", "E"})
    if (mode == passed)
      return 0;
  return -1;
}

/// True when a row matches one of the -m texts, or there are none.
bool matches_choice(const CsvRow &row, const TalkgroupColumns &c,
                    const StoreOptions &options) {
  if (options.matches.empty())
    return true;
  for (const std::string &match : options.matches)
    for (int column : {c.alpha_tag, c.description, c.tag, c.category})
      if (column >= 0 && holds_folded(field_of(row, column), match))
        return true;
  return false;
}

/// True when a line is a row of RadioReference's: a decimal ID, a comma,
/// and a hexadecimal one.
bool is_headless_row(const std::string &line) {
  size_t digits = strspn(line.c_str(), "0123456789");
  if (digits == 0 || digits >= line.size() || line[digits] != ',')
    return false;
  size_t hex = strspn(line.c_str() + digits + 1, "0123456789abcdefABCDEF");
  return hex > 0 &&
         (line.size() == digits + 1 + hex || line[digits + 1 + hex] == ',');
}

/// The field of a simple comma-separated line at an index, blanks around
/// it dropped.
std::string field_after(const std::string &line, int index) {
  size_t at = 0;
  for (int i = 0; i < index && at != std::string::npos; ++i)
    at = line.find(',', at) == std::string::npos ? std::string::npos
                                                 : line.find(',', at) + 1;
  if (at == std::string::npos)
    return "";
  std::string field = line.substr(at, line.find(',', at) - at);
  return trimmed(field.c_str());
}

/// Tells the form of a list from its first line, and reads its header.
TalkgroupFormat read_format(List &list, TalkgroupColumns &c) {
  std::string first = first_csv_line(list.reader);
  // op25: an ID, blanks perhaps, a tab, then the tag.
  size_t digits = strspn(first.c_str(), "0123456789");
  size_t blanks = digits + strspn(first.c_str() + digits, " ");
  if (digits > 0 && blanks < first.size() && first[blanks] == '\t') {
    set_csv_dialect(list.reader, '\t', true);
    c.decimal = 0;
    c.alpha_tag = 1;
    return TalkgroupFormat::op25;
  }
  set_csv_dialect(list.reader, ',', true);
  // RadioReference's rows without a header: an ID, then a hexadecimal one.
  if (is_headless_row(first)) {
    std::string third = field_after(first, 2);
    bool mode_third = !third.empty() && keeps_mode(third) >= 0;
    c.decimal = 0;
    c.hex = 1;
    c.mode = mode_third ? 2 : 3;
    c.alpha_tag = mode_third ? 3 : 2;
    c.description = 4;
    c.tag = 5;
    c.category = mode_third ? -1 : 6;
    warn(list, 1,
         "the list has no header line: read as RadioReference's %s "
         "(Decimal,Hex,%s); a header line would say so",
         mode_third ? "web page" : "download",
         mode_third ? "Mode,Alpha Tag,Description,Tag"
                    : "Alpha Tag,Mode,Description,Tag,Category");
    return TalkgroupFormat::headless;
  }
  CsvRow header = read_header(list);
  c.bank = find_column(header, {"Bank"});
  c.decimal = find_column(header, {"Decimal", "DEC"});
  c.alpha_tag = find_column(header, {"Alpha Tag"});
  if (c.bank >= 0 && find_column(header, {"Slot"}) >= 0) {
    // As imgcsv -t writes it, blanks in a tag included.
    set_csv_dialect(list.reader, ',', false);
    c.id = find_column(header, {"ID"});
    c.skip = find_column(header, {"Skip"});
    return TalkgroupFormat::own;
  }
  if (c.decimal < 0)
    fail(list, header.line,
         "the first line is not one of a talkgroup list: a header with Bank "
         "and Slot (imgcsv -t), a header with Decimal (RadioReference, "
         "trunk-recorder), or ID<TAB>tag (op25)");
  c.bank = -1;
  c.hex = find_column(header, {"Hex"});
  c.description = find_column(header, {"Description"});
  c.tag = find_column(header, {"Tag"});
  c.category = find_column(header, {"Category"});
  c.mode = find_column(header, {"Mode"});
  return TalkgroupFormat::radioreference;
}

/// Reads a hexadecimal field; false unless it is one.
bool read_hex(const std::string &text, unsigned long *value) {
  if (text.empty() || text.size() > 8 ||
      strspn(text.c_str(), "0123456789abcdefABCDEF") != text.size())
    return false;
  *value = strtoul(text.c_str(), nullptr, 16);
  return true;
}

/// The Hex column against the Decimal one: Type II IDs carry their four
/// status bits in Decimal only, EDACS IDs are the same in both.
bool hex_agrees(List &list, const CsvRow &row, const TalkgroupColumns &c,
                Bank &bank, const std::string &id) {
  std::string hex = trimmed(field_of(row, c.hex));
  if (hex.empty() || id.find('-') != std::string::npos ||
      bank.type == bank_type_ltr || bank.hex_ignored)
    return true;
  unsigned long value;
  long decimal;
  bool read = read_hex(hex, &value) && read_integer(id.c_str(), &decimal);
  if (bank.type == bank_type_mot && read &&
      static_cast<long>(value) * 16 == decimal)
    return true;
  if (bank.type == bank_type_edacs && read &&
      static_cast<long>(value) == decimal)
    return true;
  skip_row(list, bank, row.line,
           (bank.type == bank_type_mot
                ? "Hex " + shown(hex) + " does not match Decimal " + shown(id) +
                      ": a Type II ID needs Hex x 16 = Decimal, row skipped"
                : "Hex " + shown(hex) + " does not match Decimal " + shown(id) +
                      ": an EDACS ID needs Hex = Decimal, row skipped"));
  return false;
}

/// The findings of an ID in a bank: none when the bank holds it as
/// written.  code receives the ID code.
Findings judge_id(const Bank &bank, const std::string &id, bool skip,
                  unsigned *code) {
  Findings findings;
  findings.stored_as = "would be stored as";
  findings.is_stored_as = "would be stored as";
  char text[longest_talkgroup_id + 6];
  *code = 0;
  if (talkgroup_text_of_id(bank.type, id.c_str(), skip, text, findings)) {
    *code = encode_talkgroup(bank.type, 0, text, bank.fleet_map);
    if (!strchr(text, '-'))
      check_numbers_fit(text, "d", findings);
    check_talkgroup(bank.type, 0, text, bank.fleet_map, *code, findings);
    // The code 0, with or without the skip bit, is how a slot is empty.
    if (findings.count == 0 && (*code & 0x7FFF) == 0)
      add_finding(findings, "talkgroup ID %s would be an empty slot",
                  shown(id).c_str());
  }
  return findings;
}

/// The ID a row gives.
std::string id_of(const CsvRow &row, const TalkgroupColumns &c,
                  TalkgroupFormat format) {
  std::string id = trimmed(field_of(row, c.decimal));
  if (id.empty() && format == TalkgroupFormat::own)
    id = trimmed(field_of(row, c.id));
  return id;
}

/// Ignores a Hex column that disagrees with Decimal on nearly every row
/// that has both (at least three, all but one in ten at most), with one
/// warning: trunk-recorder and op25 read Decimal alone.
void judge_hex_column(List &list, const std::vector<CsvRow> &rows,
                      const TalkgroupColumns &c, TalkgroupFormat format,
                      Bank &bank) {
  if (c.hex < 0 || bank.type == bank_type_ltr)
    return;
  long both = 0, disagree = 0, first = 0;
  for (const CsvRow &row : rows) {
    std::string id = id_of(row, c, format);
    if (id.empty() || trimmed(field_of(row, c.hex)).empty() ||
        id.find('-') != std::string::npos)
      continue;
    if (both++ == 0)
      first = row.line;
    unsigned long value;
    long decimal;
    bool read = read_hex(trimmed(field_of(row, c.hex)), &value) &&
                read_integer(id.c_str(), &decimal);
    long scale = bank.type == bank_type_mot ? 16 : 1;
    bool agrees = read && static_cast<long>(value) * scale == decimal;
    disagree += !agrees;
  }
  if (disagree >= 3 && (both - disagree) * 10 <= both) {
    bank.hex_ignored = true;
    warn(list, first,
         "the Hex column disagrees with Decimal on %ld of the %ld rows that "
         "have both: it is ignored, and Decimal is read, as trunk-recorder "
         "and op25 read it",
         disagree, both);
  }
}

/// Warns once when most IDs of a list cannot be held by the bank's type:
/// the list is likely another system's.
void judge_system(List &list, const std::vector<CsvRow> &rows,
                  const TalkgroupColumns &c, TalkgroupFormat format,
                  const Bank &bank) {
  long held = 0, not_held = 0, first = 0;
  long long lowest = -1, highest = -1;
  // Only numbers count: a text that is no ID is another matter.
  for (const CsvRow &row : rows) {
    std::string id = id_of(row, c, format);
    if (id.empty() || id.find_first_not_of("0123456789") != std::string::npos)
      continue;
    if (held + not_held == 0)
      first = row.line;
    unsigned code;
    if (judge_id(bank, id, false, &code).count == 0 || (code & 0x7FFF) == 0)
      ++held;
    else
      ++not_held;
    long long number = strtoll(id.c_str(), nullptr, 10);
    lowest = lowest < 0 || number < lowest ? number : lowest;
    highest = number > highest ? number : highest;
  }
  if (not_held < 3 || not_held <= held)
    return;
  const char *system = bank.type == bank_type_mot   ? "a Motorola system's"
                       : bank.type == bank_type_ltr ? "an LTR system's"
                                                    : "an EDACS system's";
  warn(list, first,
       "the list does not look like %s: %ld of its %ld IDs (%lld to %lld) "
       "cannot be held by a bank of type %s",
       system, not_held, not_held + held, lowest, highest,
       trimmed(bank_type_name(bank.type)).c_str());
}

/// The ID code of a row's ID in the bank; false after a warning when the
/// bank cannot hold it as written.
bool encode_row_id(List &list, long line, Bank &bank, const std::string &id,
                   bool skip, unsigned *code) {
  Findings findings = judge_id(bank, id, skip, code);
  for (int i = 0; i < findings.count; ++i)
    skip_row(list, bank, line, std::string(findings.text[i]) + "; row skipped");
  return findings.count == 0;
}

/// Stores one row in the next slot; false after a warning when it cannot
/// be stored.
bool store_row(List &list, const CsvRow &row, const TalkgroupColumns &c,
               TalkgroupFormat format, Bank &bank, int slot, ImageBody &image) {
  std::string id = id_of(row, c, format);
  if (id.empty()) {
    warn(list, row.line, "row gives no talkgroup ID, row skipped");
    return false;
  }
  // Skip is S in either case, as in channel lists; anything else scans.
  std::string skip_text = trimmed(field_of(row, c.skip));
  bool skip = skip_text == "S" || skip_text == "s";
  if (!skip && !skip_text.empty())
    warn(list, row.line, "skip %s cannot be stored, the talkgroup is scanned",
         shown(skip_text).c_str());
  unsigned code = 0;
  if (!hex_agrees(list, row, c, bank, id) ||
      !encode_row_id(list, row.line, bank, id, skip, &code))
    return false;
  auto earlier = bank.lines_of_ids.find(code & 0x7FFF);
  if (earlier != bank.lines_of_ids.end()) {
    warn(list, row.line,
         "talkgroup %s is given at line %ld too; the first is kept, row "
         "skipped",
         shown(id).c_str(), earlier->second);
    return false;
  }
  bank.lines_of_ids[code & 0x7FFF] = row.line;
  std::string name = field_of(row, c.alpha_tag);
  if (trimmed(name.c_str()).empty() && c.description >= 0)
    name = field_of(row, c.description);
  unsigned char tag[tag_size];
  make_distinct_tag(list, row.line, "alpha tag", name, bank.tags, tag);
  int at = talkgroup_offset(bank.number, slot);
  put_byte(image, at, code & 0xFF, Field::trnk1);
  put_byte(image, at + 1, code >> 8, Field::trnk2);
  for (int i = 0; i < tag_size; ++i)
    put_byte(image, at + 2 + i, tag[i], Field::trnk3);
  return true;
}

/// Empties a slot as in a bank that was never programmed.
void empty_slot(ImageBody &image, int bank, int slot) {
  int at = talkgroup_offset(bank, slot);
  put_byte(image, at, 0, Field::trnk1);
  put_byte(image, at + 1, 0, Field::trnk2);
  for (int i = 0; i < tag_size; ++i)
    put_byte(image, at + 2 + i, ' ', Field::trnk3);
}

/// True when a row is to be stored by its bank, mode and the -m texts;
/// counts the rows passed over.
bool is_chosen(List &list, const CsvRow &row, const TalkgroupColumns &c,
               const StoreOptions &options, Bank &bank, StoreSummary &summary) {
  long row_bank;
  if (c.bank >= 0 && (!read_integer(field_of(row, c.bank), &row_bank) ||
                      row_bank < 0 || row_bank >= bank_count)) {
    warn(list, row.line,
         "bank \"%s\" is not a whole number 0 to 9, row skipped",
         shown(trimmed(field_of(row, c.bank))).c_str());
    ++summary.invalid;
    return false;
  }
  if (c.bank >= 0 && row_bank != bank.number) {
    if (summary.other_banks++ == 0)
      bank.first_other = row.line;
    return false;
  }
  if (c.mode >= 0 && !options.all_modes) {
    std::string mode = trimmed(field_of(row, c.mode));
    int keep = keeps_mode(mode);
    if (keep < 0) {
      warn(list, row.line,
           "mode %s is not A, D, T or M (with e or E), row skipped",
           shown(mode).c_str());
      ++summary.invalid;
      return false;
    }
    if (keep == 0) {
      ++summary.digital;
      return false;
    }
  }
  if (!matches_choice(row, c, options)) {
    ++summary.unmatched;
    return false;
  }
  return true;
}

}  // namespace

bool store_talkgroup_list(CsvReader &reader, const char *name, FILE *err,
                          const StoreOptions &options, ImageBody &image,
                          StoreSummary &summary) {
  List list = {reader, name, err};
  Bank bank;
  bank.number = options.bank;
  const unsigned char *base = image.bytes + bank_base(bank.number);
  bank.type = base[bank_type_offset];
  for (int i = 0; i < fleet_block_count; ++i)
    bank.fleet_map[i] = base[bank_fleet_offset + i];
  bool done = false;
  try {
    TalkgroupColumns c;
    TalkgroupFormat format = read_format(list, c);
    // The whole list first: a column, or the list itself, may be judged
    // by all its rows.
    std::vector<CsvRow> rows;
    CsvRow read;
    while (read_csv_row(reader, read))
      if (!is_blank_row(read))
        rows.push_back(read);
    judge_hex_column(list, rows, c, format, bank);
    judge_system(list, rows, c, format, bank);
    for (const CsvRow &row : rows) {
      ++summary.rows;
      if (!is_chosen(list, row, c, options, bank, summary))
        continue;
      if (summary.stored == talkgroup_count) {
        if (summary.left_out++ == 0)
          bank.first_left_out = row.line;
        continue;
      }
      if (row.nul) {
        warn(list, row.line, "a field holds a NUL byte, row skipped");
        ++summary.invalid;
        continue;
      }
      int slot = static_cast<int>(summary.stored) + 1;
      if (!store_row(list, row, c, format, bank, slot, image)) {
        ++summary.invalid;
        continue;
      }
      ++summary.stored;
    }
    warn_of_skips(list, bank);
    if (summary.other_banks > 0)
      warn(list, bank.first_other,
           "%ld rows of other banks are passed over, the first",
           summary.other_banks);
    if (summary.left_out > 0)
      warn(list, bank.first_left_out,
           "%ld more rows would be stored, but a bank holds 100 talkgroups; "
           "choose fewer with -m: the first",
           summary.left_out);
    if (summary.stored > 0) {
      summary.first = 1;
      summary.last = static_cast<int>(summary.stored);
    }
    summary.bank_used[bank.number] = summary.stored > 0;
    if (!options.keep)
      for (int slot = static_cast<int>(summary.stored) + 1;
           slot <= talkgroup_count; ++slot)
        empty_slot(image, bank.number, slot);
    done = true;
  } catch (const ListFatal &) {
  }
  summary.shortened += bank.tags.shortened;
  summary.warnings += list.warnings;
  return done;
}
