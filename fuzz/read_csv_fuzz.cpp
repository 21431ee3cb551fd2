// The CSV list reader on arbitrary bytes: as a channel list and as a
// talkgroup list of each trunked bank type, no crash, hang or sanitizer
// report, and nothing stored outside the body.
#include <stdio.h>
#include <string.h>

#include "csvimg/csvimg.h"
#include "fuzz/fuzz_support.h"

namespace {

bool store_list(const uint8_t *data, size_t size, int mode, ImageBody &image) {
  FILE *in = size ? fmemopen(const_cast<uint8_t *>(data), size, "r")
                  : fopen("/dev/null", "r");
  FILE *err = fopen("/dev/null", "w");
  CsvReader reader;
  bool ok = open_csv_reader(reader, in);
  if (ok) {
    // 0: channels by Location, 1: bank 2 in file order, 2 to 4: the
    // talkgroups of an LTR, a Motorola and an EDACS bank.
    if (mode < 2)
      ok = store_channel_list(reader, "in.csv", err,
                              mode == 0 ? rows_by_location : 2, image);
    else
      ok = store_talkgroup_list(reader, "in.csv", err, mode + 1, image);
    close_csv_reader(reader);
  }
  fclose(in);
  fclose(err);
  return ok;
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
  store_list(data + 1, size - 1, mode, image);
  return 0;
}
