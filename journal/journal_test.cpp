// The upload record: where it lives, its lines, the hash that names the
// kept images, and a record that cannot be written.
#include "journal/journal.h"

#include <errno.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "tests/file_injection.h"
#include "tests/process.h"

TEST(Journal, FolderLinesAndHashes) {
  // Published SHA-256 test vectors.
  EXPECT_EQ(sha256_hex(""),
            "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(sha256_hex("abc"),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");

  // XDG_STATE_HOME when set and not empty, else HOME's .local/state.
  const char *saved_state = getenv("XDG_STATE_HOME");
  const char *saved_home = getenv("HOME");
  std::string state_text = saved_state ? saved_state : "";
  std::string home_text = saved_home ? saved_home : "";
  struct Env {
    const char *state, *home, *folder;
  };
  for (const Env &e :
       {Env{"/s", "/h", "/s/scanner-memory-tools"},
        Env{"", "/h", "/h/.local/state/scanner-memory-tools"},
        Env{nullptr, "/h", "/h/.local/state/scanner-memory-tools"},
        Env{nullptr, nullptr, ""}}) {
    e.state ? setenv("XDG_STATE_HOME", e.state, 1) : unsetenv("XDG_STATE_HOME");
    e.home ? setenv("HOME", e.home, 1) : unsetenv("HOME");
    EXPECT_EQ(state_folder(), e.folder);
  }
  saved_state ? setenv("XDG_STATE_HOME", state_text.c_str(), 1)
              : unsetenv("XDG_STATE_HOME");
  saved_home ? setenv("HOME", home_text.c_str(), 1) : unsetenv("HOME");

  UploadRecord record;
  record.began = journal_time(1796824931);  // 2026-12-09T14:02:11Z
  record.outcome = UploadOutcome::interrupted;
  record.bytes_sent = 1234;
  record.frame_size = 26551;
  record.port = "/dev/pts/3";
  record.sha256 = sha256_hex("abc");
  record.image = "/home/me/new\tone.spg";
  std::string line = format_journal_line(record);
  EXPECT_EQ(line,
            "2026-12-09T14:02:11Z\tinterrupted\t1234/26551\t/dev/pts/3\t"
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"
            "\t/home/me/new?one.spg\n");
  UploadRecord back;
  ASSERT_TRUE(parse_journal_line(line, &back));
  EXPECT_EQ(back.began, record.began);
  EXPECT_EQ(back.outcome, UploadOutcome::interrupted);
  EXPECT_EQ(back.bytes_sent, 1234);
  EXPECT_EQ(back.port, "/dev/pts/3");
  for (const std::string &bad :
       {std::string(), std::string("2026\tdone\t1/2\tp\tabc\t/x"),
        "2026\tsent\t1/2\tp\t" + std::string(64, 'a') + "\t/x"})
    EXPECT_FALSE(parse_journal_line(bad, &back)) << bad;
}

TEST(Journal, CopiesAreKeptOnceAndTheJournalAppends) {
  TempDir dir;
  std::string folder = dir.file("state/scanner-memory-tools");
  std::string reason;
  std::string sha = sha256_hex("image");
  ASSERT_TRUE(keep_image_copy(folder, sha, "image", &reason)) << reason;
  ASSERT_TRUE(keep_image_copy(folder, sha, "image", &reason)) << reason;
  EXPECT_EQ(files_in(folder + "/images"),
            std::vector<std::string>{sha + ".spg"});
  EXPECT_EQ(read_file(image_copy_path(folder, sha)), "image");
  ASSERT_TRUE(append_journal_line(folder, "first\n", &reason));
  ASSERT_TRUE(append_journal_line(folder, "second\n", &reason));
  EXPECT_EQ(read_file(journal_path(folder)), "first\nsecond\n");
  struct stat info;
  ASSERT_EQ(stat(folder.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);

  // Without its folder, or with a folder where the journal should be, the
  // record fails with the reason.
  write_file(dir.file("plain"), "");
  EXPECT_FALSE(keep_image_copy(dir.file("plain/x"), sha, "image", &reason));
  EXPECT_EQ(reason, dir.file("plain/x") + ": Not a directory");
  mkdir(dir.file("odd").c_str(), 0700);
  mkdir(dir.file("odd/uploads.log").c_str(), 0700);
  EXPECT_FALSE(append_journal_line(dir.file("odd"), "x\n", &reason));
  EXPECT_EQ(reason, dir.file("odd/uploads.log") + ": Is a directory");
  std::vector<UploadRecord> records;
  EXPECT_FALSE(read_journal(dir.file("none"), &records, &reason));

  // A folder that is a file; then each call of a record failing.
  EXPECT_FALSE(append_journal_line(dir.file("plain"), "x\n", &reason));
  EXPECT_EQ(reason, dir.file("plain") + ": Not a directory");
  struct Failure {
    const char *call;
    int error;
    bool copy;  // keeping a copy, else appending a line
    const char *reason;
  };
  const std::string other = sha256_hex("other");
  for (const Failure &f : {
           Failure{"open", EACCES, false, "Permission denied"},
           Failure{"write", EIO, false, "Input/output error"},
           Failure{"write", 0, false, "No space left on device"},
           Failure{"close", EIO, false, "Input/output error"},
           Failure{"open", EACCES, true, "Permission denied"},
           Failure{"write", ENOSPC, true, "No space left on device"},
           Failure{"fsync", EIO, true, "Input/output error"},
       }) {
    Injection injection(f.call, f.error);
    std::string path =
        f.copy ? image_copy_path(folder, other) : journal_path(folder);
    bool kept = f.copy ? keep_image_copy(folder, other, "other", &reason)
                       : append_journal_line(folder, "third\n", &reason);
    EXPECT_FALSE(kept) << f.call;
    EXPECT_EQ(reason, path + ": " + f.reason) << f.call;
  }
  EXPECT_EQ(files_in(folder + "/images"),
            std::vector<std::string>{sha + ".spg"});
}
