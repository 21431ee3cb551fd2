// Timings of the suite's three main jobs, in process: writing the listing
// of a full image, reading a full listing back, and one upload's transfer
// loop against a device that does nothing.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include <benchmark/benchmark.h>

#include "imgsend/imgsend.h"
#include "listing/reader.h"
#include "listing/writer.h"
#include "tests/generated_image.h"
#include "tests/listing_io.h"

namespace {

/// An image with all ten banks and the whole band table in use.
const ImageBody &full_image() {
  static ImageBody image;
  static bool made = false;
  if (!made) {
    generate_image(7, image);  // a seed whose band table is full
    made = true;
  }
  return image;
}

std::string full_listing() {
  return listing_of(full_image());
}

void write_full_listing(benchmark::State &state) {
  static char buffer[256 * 1024];
  for (auto _ : state) {
    FILE *out = fmemopen(buffer, sizeof buffer, "w");
    write_listing(out, full_image());
    fclose(out);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(full_listing().size()));
}
BENCHMARK(write_full_listing)->Unit(benchmark::kMillisecond);

void read_full_listing(benchmark::State &state) {
  std::string text = full_listing();
  FILE *err = fopen("/dev/null", "w");
  static ImageBody image;
  for (auto _ : state) {
    FILE *in = fmemopen(text.data(), text.size(), "r");
    if (!read_listing(in, "bench.asc", err, image))
      state.SkipWithError("the listing did not read");
    fclose(in);
  }
  fclose(err);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(text.size()));
}
BENCHMARK(read_full_listing)->Unit(benchmark::kMillisecond);

/// A serial line that accepts everything at once.
struct NullLine : SerialLine {
  bool write_byte(unsigned char byte) override {
    benchmark::DoNotOptimize(byte);
    return true;
  }
  bool drain() override {
    return true;
  }
  bool apply_attributes(const termios &) override {
    return true;
  }
  bool set_modem_line(int) override {
    return true;
  }
  bool clear_modem_line(int) override {
    return true;
  }
  void sleep_us(long long) override {}
};

void transfer_one_upload(benchmark::State &state) {
  static unsigned char frame[frame_size];
  build_upload_frame(full_image(), frame);
  FILE *err = fopen("/dev/null", "w");
  NullLine line;
  for (auto _ : state) {
    termios attributes;
    set_up_line(line, &attributes, "null", err);
    transfer_frame(line, &attributes, frame, default_snooze, "null", err);
  }
  fclose(err);
}
BENCHMARK(transfer_one_upload)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
