// Outputs replaced whole or not at all, with each system call they make
// failing in turn, and a signal at each stage of an output's life.
#include "common/files.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/file_injection.h"
#include "tests/process.h"

namespace {

/// Opens, writes and commits an output the way the programs do; the step
/// that failed ("open", "write", "commit") or "" when all went through.
std::string write_output(const std::string &name, const std::string &text,
                         OutputFile &out) {
  if (!open_output(name.c_str(), &out))
    return "open";
  if (!write_fully(out.fd, text.data(), static_cast<long>(text.size()))) {
    discard_output(&out);
    return "write";
  }
  return commit_output(&out) ? "" : "commit";
}

}  // namespace

TEST(OutputFailures, EachFailedCallLeavesTheOldFileWhole) {
  struct Case {
    const char *call;
    int error;
    bool exists;       // the output exists before
    const char *step;  // the step that fails, or "" for none
    int reason;        // the reason an open failure gives, or 0
    int after = 0;     // calls that go through first
    int times = -1;    // calls that fail, -1 for all
  };
  const std::vector<Case> cases = {
      {"access", EACCES, true, "open", 0},      // an output you may not write
      {"open", EEXIST, false, "open", EEXIST},  // every temporary name taken
      {"open", EEXIST, false, "", 0, 0, 3},     // three taken, the next free
      {"open", EACCES, true, "", 0, 1},         // the folder cannot be synced
      {"write", 0, true, "write", 0},           // a write that takes nothing
      {"write", EINTR, false, "", 0, 0, 1},     // interrupted, then done
      {"open", EACCES, false, "open", EACCES},
      {"open", EROFS, true, "open", EROFS},
      {"open", ENOSPC, false, "open", ENOSPC},
      {"open", ENOENT, false, "open", 0},  // a missing folder
      {"fchmod", EPERM, true, "open", EPERM},
      {"fchmod", EPERM, false, "", 0},  // a new file keeps 0644
      {"fchown", EPERM, true, "", 0},   // only the owner's own
      {"write", ENOSPC, true, "write", 0},
      {"write", EIO, false, "write", 0},
      {"fsync", EIO, true, "commit", 0},
      {"fsync", ENOSPC, false, "commit", 0},
      {"close", EIO, true, "commit", 0},
      {"rename", EXDEV, true, "commit", 0},
      {"rename", EACCES, false, "commit", 0},
  };
  for (const Case &c : cases) {
    TempDir dir;
    std::string name = dir.file("out.asc");
    if (c.exists)
      write_file(name, "old contents");
    OutputFile out;
    std::string step;
    {
      Injection injection(c.call, c.error, c.after, c.times);
      step = write_output(name, "new contents", out);
    }
    SCOPED_TRACE(std::string(c.call) + " " + strerror(c.error));
    EXPECT_EQ(step, c.step);
    if (step == "open") {
      EXPECT_EQ(out.error, c.reason);
    }
    std::string expected = step.empty() ? "new contents"
                           : c.exists   ? "old contents"
                                        : "";
    EXPECT_EQ(read_file(name), expected);
    EXPECT_EQ(files_in(dir.path).size(), expected.empty() ? 0u : 1u);
  }
  // A temporary file that cannot be removed is all that is left.
  TempDir dir;
  OutputFile out;
  std::string name = dir.file("out.asc");
  ASSERT_TRUE(open_output(name.c_str(), &out));
  {
    Injection injection("unlink", EIO);
    discard_output(&out);
  }
  std::vector<std::string> left = files_in(dir.path);
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left[0].substr(0, 9), ".out.asc.");
  EXPECT_EQ(left[0].back(), '~');
}

TEST(OutputFailures, NamesAndWhatTheyAre) {
  TempDir dir;
  struct Case {
    std::string name;
    bool opens;
    bool direct;
    int error;   // errno of a failed open
    int reason;  // the reason the message gives, or 0
  };
  mkdir(dir.file("folder").c_str(), 0755);
  write_file(dir.file("plain"), "");
  // Links: absolute, relative from a folder, a loop, one too long.
  for (const auto &[target, link] :
       std::vector<std::pair<std::string, std::string>>{
           {dir.file("folder/target.asc"), dir.file("absolute")},
           {"target.asc", dir.file("folder/relative")},
           {"loop", dir.file("loop")},
           {std::string(PATH_MAX - 10, 'x'), dir.file("folder/long")}})
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
  std::string deep;
  while (deep.size() < PATH_MAX - 10)
    deep += "d/";
  const std::vector<Case> cases = {
      {"/dev/null", true, true, 0, 0},
      {dir.file("folder"), false, false, EISDIR, 0},
      {dir.file("missing/out.asc"), false, false, ENOENT, 0},
      {dir.file("plain/out.asc"), false, false, ENOTDIR, 0},
      {dir.file(std::string(NAME_MAX + 1, 'n')), false, false, ENAMETOOLONG,
       ENAMETOOLONG},
      {dir.file(std::string(NAME_MAX, 'n')), true, false, 0, 0},
      {std::string(PATH_MAX, 'p'), false, false, ENAMETOOLONG, ENAMETOOLONG},
      {deep + "out.asc", false, false, ENAMETOOLONG, ENAMETOOLONG},
      {dir.file("absolute"), true, false, 0, 0},
      {dir.file("folder/relative"), true, false, 0, 0},
      {dir.file("loop"), false, false, ELOOP, ELOOP},
      {dir.file("folder/long"), false, false, ENAMETOOLONG, ENAMETOOLONG},
  };
  for (const Case &c : cases) {
    OutputFile out;
    errno = 0;
    bool opened = open_output(c.name.c_str(), &out);
    EXPECT_EQ(opened, c.opens) << c.name.substr(0, 80);
    if (opened) {
      EXPECT_EQ(out.direct, c.direct) << c.name.substr(0, 80);
      EXPECT_TRUE(commit_output(&out)) << c.name.substr(0, 80);
    } else {
      EXPECT_EQ(errno, c.error) << c.name.substr(0, 80);
      EXPECT_EQ(out.error, c.reason) << c.name.substr(0, 80);
    }
  }
  EXPECT_EQ(read_file(dir.file("folder/target.asc")), "");
  // A device that cannot be opened: as the user may not, or for a reason.
  for (int error : {EACCES, ENXIO}) {
    Injection injection("open", error);
    OutputFile out;
    EXPECT_FALSE(open_output("/dev/null", &out));
    EXPECT_EQ(out.error, error == EACCES ? 0 : ENXIO);
  }
  // Two outputs at once, and an output discarded that was never opened.
  OutputFile first, second, none;
  ASSERT_TRUE(open_output(dir.file("one").c_str(), &first));
  ASSERT_TRUE(open_output(dir.file("two").c_str(), &second));
  EXPECT_TRUE(commit_output(&second));
  EXPECT_TRUE(commit_output(&first));
  discard_output(&none);
  // A stream whose write failed fails its commit, though nothing is left
  // to flush.
  OutputFile full;
  ASSERT_TRUE(open_output("/dev/full", &full));
  FILE *stream = fdopen(full.fd, "w");
  setvbuf(stream, nullptr, _IONBF, 0);
  fputs("lost", stream);
  EXPECT_FALSE(commit_output(&full, stream));

  OutputFile out;
  out.error = EACCES;
  char *text = nullptr;
  size_t size = 0;
  FILE *err = open_memstream(&text, &size);
  report_open_failure(err, "Cannot open", "x.spg", out, "\n");
  out.error = 0;
  report_open_failure(err, "Cannot create/open", "y.asc", out, "\r\n");
  fclose(err);
  EXPECT_EQ(std::string(text, size),
            "Cannot open x.spg: Permission denied\nCannot create/open "
            "y.asc\r\n");
  free(text);
}

TEST(OutputSignals, ASignalAtAnyStageLeavesNoTemporaryFile) {
  // In a child: open an output over an old file, write part of it, and
  // raise a signal at a stage; the old file and nothing else remain.
  for (int stage = 0; stage < 3; ++stage) {
    for (int signal_number : ending_signals) {
      TempDir dir;
      std::string name = dir.file("out.asc");
      write_file(name, "old contents");
      pid_t pid = fork();
      if (pid == 0) {
        OutputFile out;
        if (stage == 0) {
          // Pending while the temporary file is made.
          sigset_t set;
          sigemptyset(&set);
          sigaddset(&set, signal_number);
          sigprocmask(SIG_BLOCK, &set, nullptr);
          raise(signal_number);
          open_output(name.c_str(), &out);
          sigprocmask(SIG_UNBLOCK, &set, nullptr);
        } else {
          open_output(name.c_str(), &out);
          write_fully(out.fd, "new", 3);
          if (stage == 2)
            fsync(out.fd);
          raise(signal_number);
        }
        _exit(0);
      }
      int status = 0;
      waitpid(pid, &status, 0);
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal_number)
          << stage << " " << signal_number;
      EXPECT_EQ(files_in(dir.path), std::vector<std::string>{"out.asc"})
          << stage << " " << signal_number;
      EXPECT_EQ(read_file(name), "old contents");
    }
  }
}

TEST(OutputFailures, StandardOutputAndWholeReads) {
  // With standard output on a file, that file is written in place, and
  // another file in its folder is replaced whole.
  TempDir dir;
  write_file(dir.file("log"), "old\n");
  fflush(stdout);
  int saved = dup(STDOUT_FILENO);
  int log = open(dir.file("log").c_str(), O_WRONLY | O_APPEND);
  dup2(log, STDOUT_FILENO);
  close(log);
  OutputFile in_place, beside;
  bool direct = open_output(dir.file("log").c_str(), &in_place) &&
                in_place.direct && write_fully(in_place.fd, "new\n", 4) &&
                commit_output(&in_place);
  bool replaced = open_output(dir.file("other").c_str(), &beside) &&
                  !beside.direct && commit_output(&beside);
  dup2(saved, STDOUT_FILENO);
  close(saved);
  EXPECT_TRUE(direct);
  EXPECT_TRUE(replaced);
  EXPECT_EQ(read_file(dir.file("log")), "old\nnew\n");

  // Reads go on through interruptions and stop at an error.
  write_file(dir.file("data"), "0123456789");
  char buffer[16];
  for (int error : {EINTR, EIO}) {
    int fd = open(dir.file("data").c_str(), O_RDONLY);
    Injection injection("read", error, 0, 1);
    EXPECT_EQ(read_fully(fd, buffer, sizeof buffer), error == EINTR ? 10 : -1);
    close(fd);
  }
}
