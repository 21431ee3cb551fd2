// The image comparer: difference lines worked by hand, every differing
// byte of random image pairs named by its place, the unified diff against
// diff -u, and the journal's last upload.
#include "imgdiff/imgdiff.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "journal/journal.h"
#include "listing/places.h"
#include "tests/generated_image.h"
#include "tests/listing_io.h"
#include "tests/process.h"

namespace {

std::string sample_file() {
  return read_file(std::string(EXAMPLES_DIR) + "/sample.spg");
}

/// The place a byte of an image file belongs to, worked out from the
/// memory map: the word a difference line begins with.
std::string place_of(size_t at) {
  if (at < 5)
    return "byte";
  if (at >= 5 + 26496)
    return "byte";
  size_t body = at - 5;
  if (body < 24430) {
    size_t b = body / 2443, rel = body % 2443;
    std::string bank = "bank " + std::to_string(b);
    if (rel < 900)
      return bank + " channel " + std::to_string(rel / 18);
    if (rel < 921)
      return bank + " search";
    if (rel < 935)
      return bank;
    if (rel < 943)
      return bank + " fleet map";
    if (rel < 1043)
      return bank + " lockout " + std::to_string((rel - 943) / 2 + 1);
    return bank + " talkgroup " + std::to_string((rel - 1043) / 14 + 1);
  }
  if (body < 24610)
    return "weather " + std::to_string((body - 24430) / 18);
  if (body < 26410)
    return "search band " + std::to_string((body - 24610) / 18);
  if (body < 26458)
    return "opening message line " + std::to_string((body - 26410) / 12 + 1);
  return "setting";
}

/// Checks that the lines of two image files name each byte that differs,
/// by its place or by its offset.
void expect_each_byte_named(const std::string &old_file,
                            const std::string &new_file) {
  std::vector<std::string> lines = compare_image_files(old_file, new_file);
  EXPECT_EQ(lines.empty(), old_file == new_file);
  for (size_t at = 0; at < old_file.size(); ++at) {
    if (old_file[at] == new_file[at])
      continue;
    char byte_place[32];
    snprintf(byte_place, sizeof byte_place, "byte 0x%04zX ", at);
    std::string place = place_of(at);
    bool named = false;
    for (const std::string &line : lines)
      named = named || line.rfind(byte_place, 0) == 0 ||
              (place != "byte" && (line.rfind(place + ":", 0) == 0 ||
                                   line.rfind(place + " ", 0) == 0));
    EXPECT_TRUE(named) << "byte " << at;
  }
}

/// Runs imgdiff in the process; its output and status.
struct Diffed {
  int status;
  std::string out, err;
};

Diffed imgdiff(const std::vector<std::string> &args) {
  std::vector<char *> argv = {const_cast<char *>("imgdiff")};
  for (const std::string &arg : args)
    argv.push_back(const_cast<char *>(arg.c_str()));
  char *out_data = nullptr, *err_data = nullptr;
  size_t out_size = 0, err_size = 0;
  FILE *out = open_memstream(&out_data, &out_size);
  FILE *err = open_memstream(&err_data, &err_size);
  Diffed d;
  d.status = run_imgdiff(static_cast<int>(argv.size()), argv.data(), out, err);
  fclose(out);
  fclose(err);
  d.out.assign(out_data, out_size);
  d.err.assign(err_data, err_size);
  free(out_data);
  free(err_data);
  return d;
}

}  // namespace

TEST(Imgdiff, LinesInTheListingsWords) {
  // Each change to the sample and the line it gives, worked by hand.
  struct Case {
    size_t at;  // file offset
    unsigned char value;
    const char *line;
  };
  const std::vector<Case> cases = {
      // Bank 0 channel 1, 155.4750 FM: 0x5F steps become 0x62, 155.4900.
      {5 + 18 + 1, 0x62, "bank 0 channel 1: 155.4750 FM -> 155.4900 FM"},
      {5 + 18 + 6 + 11, '2',
       "bank 0 channel 1: tag \"STATE MUTUAL\" -> "
       "\"STATE MUTUA2\""},
      // Flag bit 4 is not shown by the listing.
      {5 + 18 + 3, 0x10,
       "byte 0x001A (bank 0 channel 1 code byte 4): 00 -> 10"},
      {5 + 2443 * 4 + 934, 6, "bank 4: type MOT -> EDACS"},
      {5 + 2443 * 4 + 935 + 2, 3, "bank 4 fleet map: block 2 S04 -> S03"},
      {5 + 2443 * 0 + 943 + 4, 0xFF, "bank 0 lockout 3: 154.2800 -> none"},
      {5 + 26458 + 1, 30, "setting backlight: 10 s -> 30 s"},
      {5 + 24430 + 5 * 18 + 1, 0x6E, "weather 5: 162.5000 FM -> 162.5500 FM"},
      {2, 1, "byte 0x0002 (header byte 3): 00 -> 01"},
      {26501 + 9, 0x5A, "byte 0x678E (trailer byte 10): 00 -> 5A"},
  };
  std::string old_file = sample_file();
  for (const Case &c : cases) {
    std::string new_file = old_file;
    new_file[c.at] = static_cast<char>(c.value);
    std::vector<std::string> lines = compare_image_files(old_file, new_file);
    ASSERT_FALSE(lines.empty()) << c.line;
    EXPECT_EQ(lines[0], c.line);
  }
  EXPECT_TRUE(compare_image_files(old_file, old_file).empty());
}

TEST(Imgdiff, EveryDifferingByteIsNamedAndTheDiffIsDiffs) {
  std::mt19937 random(19);
  TempDir dir;
  int unified_checked = 0;
  for (int pair = 0; pair < 200; ++pair) {
    static ImageBody image;
    generate_image(static_cast<unsigned>(pair % 20 + 1), image);
    std::string old_file("\x02\0\0\0\0", 5);
    old_file.append(reinterpret_cast<const char *>(image.bytes), 26496);
    old_file.append(6272, '\0');
    std::string new_file = old_file;
    int changes = std::uniform_int_distribution<int>(1, 4)(random);
    for (int i = 0; i < changes; ++i) {
      size_t at = std::uniform_int_distribution<size_t>(0, 32772)(random);
      new_file[at] =
          static_cast<char>(std::uniform_int_distribution<int>(0, 255)(random));
    }
    expect_each_byte_named(old_file, new_file);
    // Every tenth pair: -u against diff -u of the two listings.
    if (pair % 10 != 0)
      continue;
    write_file(dir.file("old.spg"), old_file);
    write_file(dir.file("new.spg"), new_file);
    static ImageBody old_body, new_body;
    memcpy(old_body.bytes, old_file.data() + 5, 26496);
    memcpy(new_body.bytes, new_file.data() + 5, 26496);
    write_file(dir.file("old.asc"), listing_of(old_body));
    write_file(dir.file("new.asc"), listing_of(new_body));
    ProcessResult gnu =
        run_process({"/usr/bin/diff", "-u", "--label", dir.file("old.spg"),
                     "--label", dir.file("new.spg"), "old.asc", "new.asc"},
                    dir.path);
    Diffed mine = imgdiff({"-u", dir.file("old.spg"), dir.file("new.spg")});
    EXPECT_EQ(mine.out, gnu.out) << "pair " << pair;
    EXPECT_EQ(mine.status, gnu.status);
    ++unified_checked;
  }
  EXPECT_EQ(unified_checked, 20);
}

TEST(Imgdiff, EachByteOfABankAWeatherChannelAndTheSettingsAlone) {
  std::string sample = sample_file();
  std::vector<size_t> offsets;
  for (size_t at = 5 + 2443; at < 5 + 2 * 2443; ++at)  // bank 1
    offsets.push_back(at);
  for (size_t at = 5 + 24430; at < 5 + 24430 + 36; ++at)  // weather 0 and 1
    offsets.push_back(at);
  for (size_t at = 5 + 26458; at < 5 + 26496 + 2; ++at)  // settings, trailer
    offsets.push_back(at);
  for (size_t at : offsets) {
    std::string changed = sample;
    changed[at] = static_cast<char>(changed[at] ^ 0x5A);
    expect_each_byte_named(sample, changed);
  }
}

TEST(Imgdiff, OperandsAndTheLastUpload) {
  TempDir dir;
  std::string sample = sample_file();
  write_file(dir.file("a.spg"), sample);
  std::string changed = sample;
  changed[5 + 26458 + 1] = 30;
  write_file(dir.file("b.spg"), changed);
  write_file(dir.file("short.spg"), sample.substr(0, 26500));
  write_file(dir.file("a.asc"),
             read_file(std::string(EXAMPLES_DIR) + "/sample.asc"));
  write_file(dir.file("bad.asc"), "not a listing\n");
  write_file(dir.file("listing.spg"), read_file(dir.file("a.asc")));
  // Files larger than any image or listing are not read; sparse, they take
  // no room.
  for (const char *huge : {"huge.spg", "huge.asc"})
    ASSERT_EQ(truncate((write_file(dir.file(huge), ""), dir.file(huge)).c_str(),
                       1L << 30),
              0);
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out;
    std::string err = "";
  };
  const std::string backlight = "setting backlight: 10 s -> 30 s\n";
  const std::vector<Case> cases = {
      {{dir.file("a.spg"), dir.file("a.spg")}, 0, ""},
      {{dir.file("a.asc"), dir.file("a.spg")}, 0, ""},
      {{dir.file("a.asc"), dir.file("b.spg")}, 1, backlight},
      {{dir.file("a.spg"), dir.file("short.spg")}, 2, ""},
      {{dir.file("a.spg"), dir.file("none.spg")}, 2, ""},
      {{dir.file("bad.asc"), dir.file("a.spg")}, 2, ""},
      {{dir.file("a.spg")}, 2, ""},
      {{"--last", dir.file("b.spg")}, 2, ""},  // no journal yet
      {{dir.file("a.spg"), dir.file("huge.spg")},
       2,
       "",
       dir.file("huge.spg") + " is too large to be an image or a listing\n"},
      {{dir.file("huge.asc"), dir.file("a.spg")},
       2,
       "",
       dir.file("huge.asc") + " is too large to be an image or a listing\n"},
      {{dir.file("listing.spg"), dir.file("a.spg")},
       2,
       "",
       dir.file("listing.spg") +
           " is not an image file: it does not start with 02 00 00 00 00\n"},
  };
  setenv("XDG_STATE_HOME", dir.file("state").c_str(), 1);
  for (const Case &c : cases) {
    Diffed d = imgdiff(c.args);
    EXPECT_EQ(d.status, c.status) << c.args[0];
    EXPECT_EQ(d.out, c.out) << c.args[0];
    if (!c.err.empty()) {
      EXPECT_EQ(d.err, c.err);
    }
  }
  unsetenv("XDG_STATE_HOME");
}

TEST(Imgdiff, TheLastUploadAsTheJournalTellsIt) {
  std::string sample = sample_file();
  std::string changed = sample;
  changed[5 + 26458 + 1] = 30;
  const std::string sha = sha256_hex(sample), other = sha256_hex(changed);
  // Journal lines: when, outcome, bytes sent, the image's hash, the pid.
  auto line = [](const char *when, const char *outcome, long sent,
                 const std::string &hash, long pid) {
    std::string text = std::string("2026-12-09T") + when + "Z\t" + outcome +
                       "\t" + std::to_string(sent) + "/26551\t/dev/ttyUSB0\t" +
                       hash + "\t/home/me/a.spg";
    return text + (pid ? "\t" + std::to_string(pid) : "") + "\n";
  };
  const std::string done = line("14:02:11", "done", 26551, sha, 0);
  const std::string compared =
      "Comparing with the image uploaded 2026-12-09T14:02:11Z to "
      "/dev/ttyUSB0 (SHA256 " +
      sha + ")\nsetting backlight: 10 s -> 30 s\n";
  struct Case {
    std::string journal;
    int status;
    std::string err;  ///< what is said on standard error, or its start
  };
  const Case cases[] = {
      {done, 1, ""},
      // Later uploads that sent part of an image, or none.
      {done + line("15:00:00", "interrupted", 1234, other, 0), 1,
       "Warning: the upload of 2026-12-09T15:00:00Z to /dev/ttyUSB0 was "
       "interrupted at byte 1234 of 26551: the scanner may hold a partial "
       "image since then\n"},
      {done + line("15:00:00", "failed", 0, other, 0), 1, ""},
      // A begun line without its end: killed, or a power cut.
      {done + line("15:00:00", "begun", 0, other, 7), 1,
       "Warning: the upload begun 2026-12-09T15:00:00Z to /dev/ttyUSB0 has "
       "no end: the scanner may hold a partial image\n"},
      {line("13:00:00", "begun", 0, other, 7) +
           line("14:02:11", "begun", 0, sha, 5) +
           line("14:02:11", "done", 26551, sha, 5),
       1, ""},
      {line("14:02:11", "begun", 0, sha, 5) +
           line("14:30:00", "begun", 0, other, 7) +
           line("14:02:11", "done", 26551, sha, 5) +
           line("14:30:00", "failed", 100, other, 7),
       1,
       "Warning: the upload of 2026-12-09T14:30:00Z to /dev/ttyUSB0 failed "
       "at byte 100 of 26551: the scanner may hold a partial image since "
       "then\n"},
      // A line cut short, and one glued to it.
      {"2026-12-09T13:00\n" + done + "x" + line("15:00:00", "begun", 0, sha, 9),
       1, "Warning: lines 1, 3 of "},
      {line("15:00:00", "begun", 0, sha, 9), 2, "No complete upload in "},
      // Many lines that cannot be read: the first twenty, then a count.
      {[] {
         std::string lines;
         for (int i = 0; i < 21; ++i)
           lines += "x\n";
         return lines;
       }() +
           done,
       1,
       "Warning: lines 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, "
       "16, 17, 18, 19, 20 and 1 more of "},
  };
  for (const Case &c : cases) {
    TempDir dir;
    write_file(dir.file("b.spg"), changed);
    setenv("XDG_STATE_HOME", dir.file("state").c_str(), 1);
    std::string folder = dir.file("state/scanner-memory-tools");
    std::string reason;
    ASSERT_TRUE(prepare_record(folder, sha, &reason)) << reason;
    ASSERT_TRUE(keep_image_copy(folder, sha, sample, &reason)) << reason;
    write_file(journal_path(folder), c.journal);
    Diffed d = imgdiff({"--last", dir.file("b.spg")});
    EXPECT_EQ(d.status, c.status) << c.journal;
    EXPECT_EQ(d.out, c.status == 1 ? compared : "") << c.journal;
    EXPECT_EQ(d.err.substr(0, c.err.size()), c.err) << c.journal;
    if (c.err.empty()) {
      EXPECT_EQ(d.err, "");
    }
    // The copy compared with must be what was sent.
    write_file(image_copy_path(folder, sha), changed);
    d = imgdiff({"--last", dir.file("b.spg")});
    EXPECT_EQ(d.status, 2);
    unlink(image_copy_path(folder, sha).c_str());
    d = imgdiff({"--last", dir.file("b.spg")});
    EXPECT_EQ(d.status, 2);
    if (c.status == 1) {
      EXPECT_NE(d.err.find("Cannot compare with the last upload: " +
                           image_copy_path(folder, sha) +
                           ": No such file or directory\n"),
                std::string::npos)
          << d.err;
    }
    unsetenv("XDG_STATE_HOME");
  }
}

TEST(Imgdiff, UnifiedDiffOfSmallTexts) {
  // Each expected text is what GNU diff -u --label o --label n prints.
  std::vector<std::string> twelve, changed;
  for (int i = 1; i <= 12; ++i) {
    twelve.push_back(std::to_string(i) + "\n");
    changed.push_back(i == 1 ? "X\n" : i == 12 ? "Y\n" : twelve.back());
  }
  struct Case {
    std::vector<std::string> old_lines, new_lines;
    std::string diff;
  };
  const std::string head = "--- o\n+++ n\n";
  const std::vector<Case> cases = {
      {{}, {"a\n"}, head + "@@ -0,0 +1 @@\n+a\n"},
      {{"a\n"}, {}, head + "@@ -1 +0,0 @@\n-a\n"},
      {{"a\n", "b\n"}, {"a\n"}, head + "@@ -1,2 +1 @@\n a\n-b\n"},
      {{"a"},
       {"b"},
       head + "@@ -1 +1 @@\n-a\n\\ No newline at end of file\n+b\n"
              "\\ No newline at end of file\n"},
      {twelve, changed,
       head + "@@ -1,4 +1,4 @@\n-1\n+X\n 2\n 3\n 4\n@@ -9,4 +9,4 @@\n 9\n"
              " 10\n 11\n-12\n+Y\n"},
      {twelve, twelve, ""},
  };
  for (const Case &c : cases)
    EXPECT_EQ(unified_diff(c.old_lines, c.new_lines, "o", "n"), c.diff);
}

TEST(Imgdiff, AUnifiedDiffKeepsEveryByteAsDiffDoes) {
  // Images that differ in a few tags, some holding a NUL.
  for (unsigned seed : {3u, 8u}) {
    TempDir dir;
    ImageBody image;
    generate_image(seed, image);
    std::string old_file(reinterpret_cast<const char *>(image_header), 5);
    old_file.append(reinterpret_cast<const char *>(image.bytes), body_size);
    old_file.append(trailer_size, '\0');
    std::string new_file = old_file;
    for (int b : {0, 4, 9}) {
      new_file[5 + b * 2443 + 6 + 3] = '\0';
      old_file[5 + b * 2443 + 18 + 6] = '\0';
    }
    write_file(dir.file("old.spg"), old_file);
    write_file(dir.file("new.spg"), new_file);
    for (const char *name : {"old", "new"})
      ASSERT_EQ(run_process({program_path("imgtxt"), std::string(name) + ".spg",
                             std::string(name) + ".asc"},
                            dir.path)
                    .status,
                0);
    ProcessResult diff = run_process(
        {"/usr/bin/diff", "-a", "-u", "old.asc", "new.asc"}, dir.path);
    ASSERT_EQ(diff.status, 1) << diff.err;
    Diffed d = imgdiff({"-u", dir.file("old.spg"), dir.file("new.spg")});
    EXPECT_EQ(d.status, 1);
    // The same hunks, byte for byte, after the two lines that name them.
    auto hunks = [](const std::string &text) {
      return text.substr(text.find('\n', text.find('\n') + 1) + 1);
    };
    EXPECT_TRUE(hunks(d.out) == hunks(diff.out));
    EXPECT_NE(hunks(d.out).find('\0'), std::string::npos);
  }
}
