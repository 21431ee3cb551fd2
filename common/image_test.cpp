// The image file name rule, the byte store, the memory map and the
// container reads and writes.
#include "common/image.h"

#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <gtest/gtest.h>

TEST(ImageName, AcceptsOnlyExactSuffixAfterLastDot) {
  EXPECT_TRUE(is_image_name("zer92.spg"));
  EXPECT_TRUE(is_image_name("LOAD.SPG"));
  EXPECT_TRUE(is_image_name(".spg"));
  EXPECT_TRUE(is_image_name("dir.d/file.spg"));
  EXPECT_FALSE(is_image_name("a.Spg"));
  EXPECT_FALSE(is_image_name("a.spg.bak"));
  EXPECT_FALSE(is_image_name("a.spgx"));
  EXPECT_FALSE(is_image_name("nodot"));
  EXPECT_FALSE(is_image_name("dir.d/file"));
  EXPECT_FALSE(is_image_name(""));
}

TEST(PutByte, StoresLowBitsAndRefusesOffsetsOutsideTheBody) {
  static ImageBody image = {};
  EXPECT_TRUE(put_byte(image, 0, 0x1234, Field::trnk1));
  EXPECT_EQ(image.bytes[0], 0x34);
  EXPECT_TRUE(put_byte(image, body_size - 1, -1, Field::eseb2));
  EXPECT_EQ(image.bytes[body_size - 1], 0xFF);

  static ImageBody before;
  before = image;
  EXPECT_FALSE(put_byte(image, -1, 7, Field::sloc1));
  EXPECT_FALSE(put_byte(image, body_size, 7, Field::sloc1));
  EXPECT_FALSE(
      put_byte(image, lockout_offset(bank_count + 1, 1), 7, Field::sloc1));
  EXPECT_EQ(memcmp(before.bytes, image.bytes, body_size), 0);
}

TEST(MemoryMap, OffsetsMatchTheRecordLayout) {
  EXPECT_EQ(channel_offset(3, 7), 3 * 2443 + 7 * 18);
  EXPECT_EQ(bank_base(9) + bank_search_offset, 9 * 2443 + 900);
  EXPECT_EQ(lockout_offset(2, 1), 2 * 2443 + 943);
  EXPECT_EQ(lockout_offset(2, 50), 2 * 2443 + 941 + 100);
  EXPECT_EQ(talkgroup_offset(1, 100), 2443 + 1029 + 1400);
  EXPECT_EQ(weather_channel_offset(0), 24430);
  EXPECT_EQ(band_record_offset(1), 24610);
  EXPECT_EQ(band_record_offset(100) + record_size, message_offset);
  EXPECT_EQ(message_line_offset(4), 26398 + 48);
  EXPECT_EQ(band_count_offset, 26473);
  EXPECT_EQ(scan_banks_offset, 26476);
  // The bank fields tile the bank record with no gap.
  EXPECT_EQ(bank_talkgroup_offset + talkgroup_count * talkgroup_size,
            bank_size);
  EXPECT_EQ(bank_lockout_offset + lockout_area_size, bank_talkgroup_offset);
  EXPECT_EQ(bank_fleet_offset + fleet_block_count, bank_lockout_offset);
}

namespace {

/// A temporary file holding the given number of bytes of a pattern.
struct TempFile {
  explicit TempFile(int size) {
    fd = mkstemp(name);
    for (int i = 0; i < size; ++i) {
      unsigned char byte = static_cast<unsigned char>(i * 7);
      EXPECT_EQ(write(fd, &byte, 1), 1);
    }
    lseek(fd, 0, SEEK_SET);
  }
  ~TempFile() {
    close(fd);
    unlink(name);
  }
  char name[32] = "/tmp/image_testXXXXXX";
  int fd;
};

}  // namespace

TEST(ImageFile, ReadsHeaderAndBodyOfAFileWithoutTrailer) {
  TempFile file(header_size + body_size);
  static ImageBody image;
  ASSERT_TRUE(read_image_header(file.fd));
  ASSERT_TRUE(read_image_body(file.fd, image));
  EXPECT_EQ(image.bytes[0], static_cast<unsigned char>(5 * 7));
  EXPECT_EQ(image.bytes[body_size - 1],
            static_cast<unsigned char>((body_size + 4) * 7));

  ASSERT_TRUE(seek_image_body(file.fd));
  ASSERT_TRUE(read_image_body(file.fd, image));
  EXPECT_EQ(image.bytes[0], static_cast<unsigned char>(5 * 7));
}

TEST(ImageFile, ShortBodyFailsTheRead) {
  TempFile file(header_size + body_size - 1);
  static ImageBody image;
  ASSERT_TRUE(read_image_header(file.fd));
  EXPECT_FALSE(read_image_body(file.fd, image));
  TempFile tiny(3);
  EXPECT_FALSE(read_image_header(tiny.fd));
}

TEST(ImageFile, WrittenFileIsHeaderBodyAndZeroTrailer) {
  TempFile file(0);
  static ImageBody image;
  memset(image.bytes, 0x5C, body_size);
  ASSERT_TRUE(write_image_header(file.fd));
  ASSERT_TRUE(write_image_body(file.fd, image));
  ASSERT_TRUE(write_image_trailer(file.fd));
  EXPECT_EQ(lseek(file.fd, 0, SEEK_END), image_file_size);

  static unsigned char content[image_file_size];
  ASSERT_EQ(pread(file.fd, content, image_file_size, 0), image_file_size);
  const unsigned char header[] = {2, 0, 0, 0, 0};
  EXPECT_EQ(memcmp(content, header, 5), 0);
  for (int i = 0; i < body_size; ++i)
    ASSERT_EQ(content[header_size + i], 0x5C) << i;
  for (int i = header_size + body_size; i < image_file_size; ++i)
    ASSERT_EQ(content[i], 0) << i;
}
