// Each call of the output seam, failing when a test says so.
#include "tests/file_injection.h"

#include <errno.h>

#include "common/files.h"

namespace {

/// The call that fails, and how: after so many calls go through, so many
/// fail (-1 for all of them) with the error number.
struct Injected {
  std::string call;
  int error = 0;
  int after = 0;
  int times = -1;
  int seen = 0;
} injected;

bool fails(const char *call) {
  if (injected.call != call || injected.seen++ < injected.after ||
      injected.times == 0)
    return false;
  if (injected.times > 0)
    --injected.times;
  errno = injected.error;
  return true;
}

int failing_open(const char *path, int flags, mode_t mode) {
  return fails("open") ? -1 : system_file_calls.open(path, flags, mode);
}
ssize_t failing_read(int fd, void *buffer, size_t count) {
  return fails("read") ? -1 : system_file_calls.read(fd, buffer, count);
}
ssize_t failing_write(int fd, const void *buffer, size_t count) {
  if (injected.call == "write" && injected.error == 0 && fails("write"))
    return 0;  // a write that takes nothing
  return fails("write") ? -1 : system_file_calls.write(fd, buffer, count);
}
int failing_access(const char *path, int mode) {
  return fails("access") ? -1 : system_file_calls.access(path, mode);
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

}  // namespace

Injection::Injection(const std::string &call, int error, int after, int times) {
  injected = {call, error, after, times, 0};
  file_calls = {failing_open,  failing_read,   failing_write,  failing_access,
                failing_fsync, failing_rename, failing_fchmod, failing_fchown,
                failing_close, failing_unlink};
}

Injection::~Injection() {
  file_calls = system_file_calls;
  injected = Injected();
}
