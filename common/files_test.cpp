// Outputs replaced whole or not at all, with each system call they make
// failing in turn, and a signal at each stage of an output's life.
#include "common/files.h"

#include <errno.h>
#include <signal.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/process.h"

namespace {

/// The call that fails, and how.
struct Injected {
  std::string call;
  int error = 0;
} injected;

bool fails(const char *call) {
  if (injected.call != call)
    return false;
  errno = injected.error;
  return true;
}

int failing_open(const char *path, int flags, mode_t mode) {
  return fails("open") ? -1 : system_file_calls.open(path, flags, mode);
}
ssize_t failing_write(int fd, const void *buffer, size_t count) {
  return fails("write") ? -1 : system_file_calls.write(fd, buffer, count);
}
int failing_fsync(int fd) {
  return fails("fsync") ? -1 : system_file_calls.fsync(fd);
}
int failing_rename(const char *from, const char *to) {
  return fails("rename") ? -1 : system_file_calls.rename(from, to);
}
int failing_fchmod(int fd, mode_t mode) {
  return fails("fchmod") ? -1 : system_file_calls.fchmod(fd, mode);
}
int failing_fchown(int fd, uid_t owner, gid_t group) {
  return fails("fchown") ? -1 : system_file_calls.fchown(fd, owner, group);
}
int failing_close(int fd) {
  // The descriptor is closed all the same, as close(2) does on EIO.
  int done = system_file_calls.close(fd);
  return fails("close") ? -1 : done;
}
int failing_unlink(const char *path) {
  return fails("unlink") ? -1 : system_file_calls.unlink(path);
}

/// Puts the failing calls in place for one test, and the system's back.
struct Injection {
  Injection(const std::string &call, int error) {
    injected = {call, error};
    file_calls = {failing_open,   failing_write,  failing_fsync,
                  failing_rename, failing_fchmod, failing_fchown,
                  failing_close,  failing_unlink};
  }
  ~Injection() {
    file_calls = system_file_calls;
    injected = Injected();
  }
};

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
  };
  const std::vector<Case> cases = {
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
      Injection injection(c.call, c.error);
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
  const std::vector<Case> cases = {
      {"/dev/null", true, true, 0, 0},
      {dir.file("folder"), false, false, EISDIR, 0},
      {dir.file("missing/out.asc"), false, false, ENOENT, 0},
      {dir.file(std::string(NAME_MAX + 1, 'n')), false, false, ENAMETOOLONG,
       ENAMETOOLONG},
      {dir.file(std::string(NAME_MAX, 'n')), true, false, 0, 0},
  };
  for (const Case &c : cases) {
    OutputFile out;
    errno = 0;
    bool opened = open_output(c.name.c_str(), &out);
    EXPECT_EQ(opened, c.opens) << c.name;
    if (opened) {
      EXPECT_EQ(out.direct, c.direct) << c.name;
      EXPECT_TRUE(commit_output(&out)) << c.name;
    } else {
      EXPECT_EQ(errno, c.error) << c.name;
      EXPECT_EQ(out.error, c.reason) << c.name;
    }
  }
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
