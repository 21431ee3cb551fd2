// Talkgroup lists as users download them, on arbitrary bytes: the form is
// told from the first line (imgcsv -t, RadioReference, op25), with the
// choices of -a, -m and -k taken from the first byte.  No crash, hang or
// sanitizer report; never more than 100 talkgroups; and the bank holds
// exactly the rows stored, empty slots after them unless kept.
#include <stdlib.h>
#include <string.h>

#include "csvimg/csvimg.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static ImageBody image;
  static FILE *err = fopen("/dev/null", "w");
  if (size == 0)
    return 0;
  // The first byte: the bank type, -a, -k and -m.
  int choice = data[0];
  int bank = 4;
  memset(image.bytes, 0x5A, body_size);
  image.bytes[bank_base(bank) + bank_type_offset] =
      static_cast<unsigned char>(4 + choice % 3);
  for (int i = 0; i < fleet_block_count; ++i)
    image.bytes[bank_base(bank) + bank_fleet_offset + i] =
        static_cast<unsigned char>((choice >> 2) % 15);
  StoreOptions options;
  options.bank = bank;
  options.all_modes = choice & 0x10;
  options.keep = choice & 0x20;
  if (choice & 0x40)
    options.matches = {"fire", "Law Dispatch"};
  CsvReader reader;
  StoreSummary summary;
  if (open_csv_text(
          reader,
          std::string(reinterpret_cast<const char *>(data) + 1, size - 1)) &&
      store_talkgroup_list(reader, "in.csv", err, options, image, summary)) {
    if (summary.stored > talkgroup_count)
      abort();
    for (int slot = static_cast<int>(summary.stored) + 1;
         slot <= talkgroup_count && !options.keep; ++slot) {
      const unsigned char *record = image.bytes + talkgroup_offset(bank, slot);
      if (record[0] != 0 || record[1] != 0 || record[2] != ' ')
        abort();  // a slot after the list must be empty
    }
  }
  close_csv_reader(reader);
  return 0;
}
