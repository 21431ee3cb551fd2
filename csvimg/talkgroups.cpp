// A talkgroup list stored into the slots of a trunked bank: the lists
// imgcsv -t writes, RadioReference and trunk-recorder lists, and op25's
// tab-separated ones.  The bank becomes the list.
#include <ctype.h>
#include <string.h>

#include <map>
#include <string>

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
  std::map<unsigned, long> lines_of_ids;      ///< ID code, skip bit clear
  std::map<std::string, long> lines_of_tags;  ///< 12 tag bytes
  std::map<long, std::string> names_of_lines;
  long first_other = 0;
  long first_left_out = 0;
};

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

/// True when a text holds another, ignoring the case of ASCII letters.
bool holds_text(const std::string &text, const std::string &part) {
  auto lower = [](std::string s) {
    for (char &c : s)
      c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return s;
  };
  return lower(text).find(lower(part)) != std::string::npos;
}

/// True when a row matches one of the -m texts, or there are none.
bool matches_choice(const CsvRow &row, const TalkgroupColumns &c,
                    const StoreOptions &options) {
  if (options.matches.empty())
    return true;
  for (const std::string &match : options.matches)
    for (int column : {c.alpha_tag, c.description, c.tag, c.category})
      if (column >= 0 && holds_text(field_of(row, column), match))
        return true;
  return false;
}

/// Tells the form of a list from its first line, and reads its header.
TalkgroupFormat read_format(List &list, TalkgroupColumns &c) {
  std::string first = first_csv_line(list.reader);
  size_t digits = strspn(first.c_str(), "0123456789");
  if (digits > 0 && digits < first.size() && first[digits] == '\t') {
    set_csv_dialect(list.reader, '\t', true);
    c.decimal = 0;
    c.alpha_tag = 1;
    return TalkgroupFormat::op25;
  }
  set_csv_dialect(list.reader, ',', true);
  CsvRow header = read_header(list);
  c.bank = find_column(header, {"Bank"});
  c.decimal = find_column(header, {"Decimal"});
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
                const Bank &bank, const std::string &id) {
  std::string hex = trimmed(field_of(row, c.hex));
  if (hex.empty() || id.find('-') != std::string::npos ||
      bank.type == bank_type_ltr)
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
  warn(list, row.line,
       bank.type == bank_type_mot
           ? "Hex %s does not match Decimal %s: a Type II ID needs Hex x 16 "
             "= Decimal, row skipped"
           : "Hex %s does not match Decimal %s: an EDACS ID needs Hex = "
             "Decimal, row skipped",
       shown(hex).c_str(), shown(id).c_str());
  return false;
}

/// The ID code of a row's ID in the bank; false after a warning when the
/// bank cannot hold it as written.
bool encode_row_id(List &list, long line, const Bank &bank,
                   const std::string &id, bool skip, unsigned *code) {
  Findings findings;
  findings.stored_as = "would be stored as";
  findings.is_stored_as = "would be stored as";
  char text[longest_talkgroup_id + 6];
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
  for (int i = 0; i < findings.count; ++i)
    warn(list, line, "%s; row skipped", findings.text[i]);
  return findings.count == 0;
}

/// Warns of a tag that the scanner shows as it shows another talkgroup's.
void check_same_tag(List &list, long line, Bank &bank, const std::string &name,
                    const unsigned char *tag) {
  std::string key(reinterpret_cast<const char *>(tag), tag_size);
  auto found = bank.lines_of_tags.find(key);
  if (found == bank.lines_of_tags.end()) {
    bank.lines_of_tags[key] = line;
    bank.names_of_lines[line] = name;
    return;
  }
  if (bank.names_of_lines[found->second] != name)
    warn(list, line,
         "alpha tag \"%s\" shows on the scanner as that of line %ld, \"%s\"",
         shown(name).c_str(), found->second,
         shown(bank.names_of_lines[found->second]).c_str());
}

/// Stores one row in the next slot; false after a warning when it cannot
/// be stored.
bool store_row(List &list, const CsvRow &row, const TalkgroupColumns &c,
               TalkgroupFormat format, Bank &bank, int slot, ImageBody &image) {
  std::string id = trimmed(field_of(row, c.decimal));
  if (id.empty() && format == TalkgroupFormat::own)
    id = trimmed(field_of(row, c.id));
  if (id.empty()) {
    warn(list, row.line, "row gives no talkgroup ID, row skipped");
    return false;
  }
  bool skip = trimmed(field_of(row, c.skip)) == "S";
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
  make_tag(list, row.line, "alpha tag", name, tag);
  check_same_tag(list, row.line, bank, name, tag);
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
  if (c.bank >= 0 && read_integer(field_of(row, c.bank), &row_bank) &&
      row_bank != bank.number) {
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
    CsvRow row;
    while (read_csv_row(reader, row)) {
      if (is_blank_row(row))
        continue;
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
  summary.warnings += list.warnings;
  return done;
}
