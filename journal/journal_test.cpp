// The upload record: where it lives, its lines, the hash that names the
// kept images, the state that may not be trusted, and a record that cannot
// be written.
#include "journal/journal.h"

#include <errno.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/file_injection.h"
#include "tests/process.h"

TEST(Journal, FolderLinesAndHashes) {
  // Published SHA-256 test vectors.
  EXPECT_EQ(sha256_hex(""),
            "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(sha256_hex("abc"),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");

  // XDG_STATE_HOME when set to an absolute folder, else HOME's .local/state.
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
        Env{"state", "/h", "/h/.local/state/scanner-memory-tools"},
        Env{nullptr, "/h", "/h/.local/state/scanner-memory-tools"},
        Env{"state", "home", ""}, Env{nullptr, nullptr, ""}}) {
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
  const std::string fields =
      "2026-12-09T14:02:11Z\tinterrupted\t1234/26551\t/dev/pts/3\t"
      "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"
      "\t/home/me/new?one.spg";
  // Lines of old have no process ID; the lines of an upload now end with it.
  EXPECT_EQ(format_journal_line(record), fields + "\n");
  record.pid = 4321;
  EXPECT_EQ(format_journal_line(record), fields + "\t4321\n");
  record.outcome = UploadOutcome::begun;
  record.bytes_sent = 0;
  std::string begun = format_journal_line(record);
  EXPECT_EQ(begun.substr(20, 13), "\tbegun\t0/2655");
  UploadRecord back;
  for (const std::string &line : {fields, fields + "\t4321", begun}) {
    ASSERT_TRUE(parse_journal_line(line, &back)) << line;
    EXPECT_EQ(back.began, record.began);
    EXPECT_EQ(back.port, "/dev/pts/3");
  }
  EXPECT_EQ(back.outcome, UploadOutcome::begun);
  EXPECT_EQ(back.pid, 4321);
  for (const std::string &bad :
       {std::string(), std::string("2026\tdone\t1/2\tp\tabc\t/x"), "x" + fields,
        "2026-12-09 14:02:11Z" + fields.substr(20),
        "2026\tsent\t1/2\tp\t" + std::string(64, 'a') + "\t/x",
        "2026\tdone\t1/2x\tp\t" + std::string(64, 'a') + "\t/x", fields + "\t0",
        fields + "\t12a", fields + "\t1\t2"})
    EXPECT_FALSE(parse_journal_line(bad, &back)) << bad;
}

TEST(Journal, CopiesAreKeptVerifiedAndTheJournalAppendsWholeLines) {
  TempDir dir;
  std::string folder = dir.file("state/scanner-memory-tools");
  std::string reason;
  std::string sha = sha256_hex("image");
  ASSERT_TRUE(prepare_record(folder, sha, &reason)) << reason;
  for (const std::string &made : {folder, folder + "/images"}) {
    struct stat info;
    ASSERT_EQ(stat(made.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
  }
  ASSERT_TRUE(keep_image_copy(folder, sha, "image", &reason)) << reason;
  ASSERT_TRUE(keep_image_copy(folder, sha, "image", &reason)) << reason;
  EXPECT_EQ(files_in(folder + "/images"),
            std::vector<std::string>{sha + ".spg"});
  std::string copy;
  EXPECT_TRUE(read_image_copy(folder, sha, &copy, &reason));
  EXPECT_EQ(copy, "image");
  // A copy damaged since is not trusted, and the next upload replaces it.
  write_file(image_copy_path(folder, sha), "imagf");
  EXPECT_FALSE(read_image_copy(folder, sha, &copy, &reason));
  EXPECT_EQ(reason, image_copy_path(folder, sha) +
                        ": not the image uploaded, whose SHA256 is " + sha);
  ASSERT_TRUE(keep_image_copy(folder, sha, "image", &reason)) << reason;
  EXPECT_EQ(read_file(image_copy_path(folder, sha)), "image");
  EXPECT_FALSE(read_image_copy(folder, sha256_hex("none"), &copy, &reason));
  // A copy too large to be an image is not read, and is replaced.
  write_file(image_copy_path(folder, sha), std::string(2 << 20, 'x'));
  EXPECT_FALSE(read_image_copy(folder, sha, &copy, &reason));
  EXPECT_EQ(reason, image_copy_path(folder, sha) + ": too large");
  ASSERT_TRUE(keep_image_copy(folder, sha, "image", &reason)) << reason;

  // Whole lines: one cut short before is ended first, and passed over.
  ASSERT_TRUE(append_journal_line(folder, "first\n", true, &reason));
  write_file(journal_path(folder), read_file(journal_path(folder)) + "cut");
  ASSERT_TRUE(append_journal_line(folder, "second\n", false, &reason));
  EXPECT_EQ(read_file(journal_path(folder)), "first\ncut\nsecond\n");
  UploadRecord record;
  record.began = "2026-12-09T14:02:11Z";
  record.sha256 = sha;
  record.port = "p";
  record.image = "/i";
  record.outcome = UploadOutcome::done;
  ASSERT_TRUE(
      append_journal_line(folder, format_journal_line(record), true, &reason));
  std::vector<UploadRecord> records;
  std::vector<long> unreadable;
  ASSERT_TRUE(read_journal(folder, &records, &unreadable, &reason));
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].began, record.began);
  EXPECT_EQ(unreadable, (std::vector<long>{1, 2, 3}));
}

TEST(Journal, StateThatIsNotTheUsersOwnIsNotWrittenOrRead) {
  // Each planted in a fresh record folder; the file a link points to, and
  // the place a dangling link names, must stay as they are.
  struct Case {
    const char *plant;   ///< a shell command run in the state folder
    const char *reason;  ///< after the record folder's name
  };
  const std::string sha = sha256_hex("image");
  const std::string copy = "images/" + sha + ".spg";
  const Case cases[] = {
      {"chmod 0770 scanner-memory-tools", ": others may write in the folder"},
      {"chmod 0702 scanner-memory-tools/images",
       "/images: others may write in the folder"},
      {"rm -r scanner-memory-tools/images && touch "
       "scanner-memory-tools/images",
       "/images: not a folder"},
      {"mv scanner-memory-tools real && ln -s real scanner-memory-tools",
       ": not a folder"},
      {"ln -s ../victim scanner-memory-tools/uploads.log",
       "/uploads.log: a symbolic link"},
      {"mkfifo scanner-memory-tools/uploads.log",
       "/uploads.log: not a regular file"},
      {"ln -s ../../victim scanner-memory-tools/images/SHA.spg",
       "/images/SHA.spg: a symbolic link"},
      {"ln -s ../../nowhere scanner-memory-tools/images/SHA.spg",
       "/images/SHA.spg: a symbolic link"},
      {"mkfifo scanner-memory-tools/images/SHA.spg",
       "/images/SHA.spg: not a regular file"},
      // Only root may give a folder away.
      {"chown 65534 scanner-memory-tools 2>/dev/null || "
       "chmod 0777 scanner-memory-tools",
       geteuid() == 0 ? ": the folder belongs to another user"
                      : ": others may write in the folder"},
  };
  for (const Case &c : cases) {
    TempDir dir;
    std::string state = dir.file("state");
    std::string folder = state + "/scanner-memory-tools";
    std::string reason;
    ASSERT_TRUE(prepare_record(folder, sha, &reason)) << reason;
    write_file(dir.file("state/victim"), "mine");
    std::string plant = c.plant;
    for (size_t at; (at = plant.find("SHA")) != std::string::npos;)
      plant.replace(at, 3, sha);
    ASSERT_EQ(system(("cd '" + state + "' && " + plant).c_str()), 0) << plant;
    std::string expected = c.reason;
    for (size_t at; (at = expected.find("SHA")) != std::string::npos;)
      expected.replace(at, 3, sha);
    EXPECT_FALSE(prepare_record(folder, sha, &reason)) << c.plant;
    EXPECT_EQ(reason, folder + expected) << c.plant;
    // Reading trusts no more than writing does, and waits on no pipe.
    std::vector<UploadRecord> records;
    std::vector<long> unreadable;
    std::string bytes;
    bool read = read_journal(folder, &records, &unreadable, &reason) &&
                read_image_copy(folder, sha, &bytes, &reason);
    EXPECT_FALSE(read) << c.plant;
    EXPECT_EQ(read_file(dir.file("state/victim")), "mine");
    EXPECT_FALSE(file_exists(dir.file("state/nowhere")));
  }
}

TEST(Journal, ARecordThatCannotBeWrittenSaysWhy) {
  TempDir dir;
  std::string folder = dir.file("state/scanner-memory-tools");
  std::string reason;
  const std::string sha = sha256_hex("image"), other = sha256_hex("other");
  ASSERT_TRUE(prepare_record(folder, sha, &reason));
  ASSERT_TRUE(keep_image_copy(folder, sha, "image", &reason));
  struct Failure {
    const char *call;
    int error;
    bool copy;  // keeping a copy, else appending a line
    const char *reason;
  };
  for (const Failure &f : {
           Failure{"open", EACCES, false, "Permission denied"},
           Failure{"write", EIO, false, "Input/output error"},
           Failure{"write", EFBIG, false, "File too large"},
           Failure{"fsync", EIO, false, "Input/output error"},
           Failure{"close", EIO, false, "Input/output error"},
           Failure{"open", EACCES, true, "Permission denied"},
           Failure{"write", ENOSPC, true, "No space left on device"},
           Failure{"fsync", EIO, true, "Input/output error"},
       }) {
    Injection injection(f.call, f.error);
    std::string path =
        f.copy ? image_copy_path(folder, other) : journal_path(folder);
    bool kept = f.copy ? keep_image_copy(folder, other, "other", &reason)
                       : append_journal_line(folder, "line\n", true, &reason);
    EXPECT_FALSE(kept) << f.call;
    EXPECT_EQ(reason, path + ": " + f.reason) << f.call;
  }
  EXPECT_EQ(files_in(folder + "/images"),
            std::vector<std::string>{sha + ".spg"});
}
