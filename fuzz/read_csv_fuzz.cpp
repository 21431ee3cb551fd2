// The CSV list reader on arbitrary bytes: as a channel list and as a
// talkgroup list of each trunked bank type, no crash, hang or sanitizer
// report, and nothing stored outside the body.
#include <stdio.h>
#include <string.h>

#include "csvimg/csvimg.h"
#include "fuzz/fuzz_support.h"

namespace {

void store_list(const uint8_t *data, size_t size, int mode, bool all_modes,
                ImageBody &image) {
  static FILE *err = fopen("/dev/null", "w");
  CsvReader reader;
  if (open_csv_text(reader,
                    std::string(reinterpret_cast<const char *>(data), size))) {
    // 0: channels by Location, 1: bank 2 in file order, 2 to 4: the
    // talkgroups of an LTR, a Motorola and an EDACS bank.
    StoreOptions options;
    StoreSummary summary;
    if (mode < 2) {
      options.bank = mode == 0 ? rows_by_location : 2;
      store_channel_list(reader, "in.csv", err, options, image, summary);
    } else {
      options.bank = mode + 1;
      options.all_modes = all_modes;
      store_talkgroup_list(reader, "in.csv", err, options, image, summary);
    }
  }
  close_csv_reader(reader);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static ImageBody image;
  if (size == 0)
    return 0;
  int mode = data[0] % 5;
  memset(image.bytes, 0, body_size);
  image.bytes[bank_base(3) + bank_type_offset] = 4;
  image.bytes[bank_base(4) + bank_type_offset] = 5;
  for (int i = 0; i < fleet_block_count; ++i)
    image.bytes[bank_base(4) + bank_fleet_offset + i] =
        static_cast<unsigned char>(data[0] / 5 % 16);
  image.bytes[bank_base(5) + bank_type_offset] = 6;
  // The first byte chooses; the list is what follows it, maybe nothing.
  store_list(data + 1, size - 1, mode, data[0] / 80 % 2 != 0, image);
  return 0;
}
