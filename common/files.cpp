// Standard descriptors, whole reads and writes, and outputs replaced by a
// rename once they are complete.
#include "common/files.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace {

/// The temporary file a signal must remove; the handler reads it, so it
/// is a plain buffer set before the handlers are installed.
char pending_temporary[PATH_MAX];
volatile sig_atomic_t pending_set = 0;

constexpr int cleanup_signals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int cleanup_signal_count =
    sizeof cleanup_signals / sizeof cleanup_signals[0];
struct sigaction saved_actions[cleanup_signal_count];

/// Removes the temporary file, then dies of the signal as it would have.
extern "C" void remove_temporary_and_die(int signal_number) {
  if (pending_set)
    unlink(pending_temporary);
  struct sigaction action;
  memset(&action, 0, sizeof action);
  action.sa_handler = SIG_DFL;
  sigaction(signal_number, &action, nullptr);
  raise(signal_number);
}

void watch_temporary(const char *path) {
  strcpy(pending_temporary, path);
  pending_set = 1;
  struct sigaction action;
  memset(&action, 0, sizeof action);
  action.sa_handler = remove_temporary_and_die;
  sigemptyset(&action.sa_mask);
  for (int i = 0; i < cleanup_signal_count; ++i)
    sigaddset(&action.sa_mask, cleanup_signals[i]);
  for (int i = 0; i < cleanup_signal_count; ++i)
    sigaction(cleanup_signals[i], &action, &saved_actions[i]);
}

void unwatch_temporary() {
  pending_set = 0;
  for (int i = 0; i < cleanup_signal_count; ++i)
    sigaction(cleanup_signals[i], &saved_actions[i], nullptr);
}

bool starts_with(const char *text, const char *prefix) {
  return strncmp(text, prefix, strlen(prefix)) == 0;
}

/// Follows symbolic links to the file they end at, which need not exist;
/// false when a name grows too long.
bool follow_links(const char *name, char *path) {
  if (strlen(name) >= PATH_MAX) {
    errno = ENAMETOOLONG;
    return false;
  }
  strcpy(path, name);
  for (int hops = 0; hops < 40; ++hops) {
    struct stat info;
    if (lstat(path, &info) != 0 || !S_ISLNK(info.st_mode))
      return true;
    char link[PATH_MAX];
    ssize_t size = readlink(path, link, sizeof link - 1);
    if (size < 0)
      return true;
    link[size] = '\0';
    if (link[0] == '/') {
      strcpy(path, link);
      continue;
    }
    const char *slash = strrchr(path, '/');
    size_t folder = slash ? static_cast<size_t>(slash - path) + 1 : 0;
    if (folder + strlen(link) >= PATH_MAX) {
      errno = ENAMETOOLONG;
      return false;
    }
    strcpy(path + folder, link);
  }
  errno = ELOOP;
  return false;
}

/// Creates a new file beside the target, readable as a new output would
/// be; false with errno set.
int create_temporary(const char *target, char *temporary) {
  const char *slash = strrchr(target, '/');
  int folder = slash ? static_cast<int>(slash - target) + 1 : 0;
  const char *base = target + folder;
  static unsigned counter = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    unsigned tag = static_cast<unsigned>(getpid()) * 2654435761u ^
                   static_cast<unsigned>(time(nullptr)) ^ ++counter * 40503u;
    int length = snprintf(temporary, PATH_MAX, "%.*s.%s.%08x~", folder, target,
                          base, tag);
    if (length < 0 || length >= PATH_MAX) {
      errno = ENAMETOOLONG;
      return -1;
    }
    int fd = open(temporary, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0 || errno != EEXIST)
      return fd;
  }
  return -1;
}

/// Makes a rename durable; a folder that cannot be synced is not an error.
void sync_folder(const char *target) {
  char folder[PATH_MAX];
  const char *slash = strrchr(target, '/');
  if (slash)
    snprintf(folder, sizeof folder, "%.*s",
             static_cast<int>(slash - target) + 1, target);
  else
    strcpy(folder, ".");
  int fd = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    fsync(fd);
    close(fd);
  }
}

}  // namespace

void open_standard_descriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
      // The lowest free descriptor is the one that is closed.
      if (open("/dev/null", O_RDWR) < 0)
        _exit(1);
    }
  }
}

long read_fully(int fd, void *buffer, long count) {
  char *at = static_cast<char *>(buffer);
  long done = 0;
  while (done < count) {
    ssize_t got = read(fd, at + done, static_cast<size_t>(count - done));
    if (got < 0 && errno == EINTR)
      continue;
    if (got < 0)
      return -1;
    if (got == 0)
      break;
    done += got;
  }
  return done;
}

bool write_fully(int fd, const void *buffer, long count) {
  const char *at = static_cast<const char *>(buffer);
  long done = 0;
  while (done < count) {
    ssize_t put = write(fd, at + done, static_cast<size_t>(count - done));
    if (put < 0 && errno == EINTR)
      continue;
    if (put <= 0)
      return false;
    done += put;
  }
  return true;
}

bool is_special_output(const char *name) {
  struct stat info;
  return stat(name, &info) == 0 && !S_ISREG(info.st_mode);
}

bool open_output(const char *name, OutputFile *out) {
  *out = OutputFile();
  // Names under /dev and /proc stand for descriptors and devices (as
  // /dev/stdout does); replacing the file behind one would lose what is
  // written to it, and creating one would leave a stray file there.
  if (starts_with(name, "/dev/") || starts_with(name, "/proc/") ||
      is_special_output(name)) {
    out->direct = true;
    out->fd = open(name, O_WRONLY | O_CLOEXEC);
    return out->fd >= 0;
  }
  if (!follow_links(name, out->target))
    return false;
  struct stat info;
  bool exists = stat(out->target, &info) == 0;
  if (exists && access(out->target, W_OK) != 0)
    return false;
  out->fd = create_temporary(out->target, out->temporary);
  if (out->fd < 0) {
    out->temporary[0] = '\0';
    return false;
  }
  if (exists) {
    fchmod(out->fd, info.st_mode & 07777);
    if (fchown(out->fd, info.st_uid, info.st_gid) != 0) {
      // Only the owner's own outputs keep their owner; that is enough.
    }
  }
  watch_temporary(out->temporary);
  return true;
}

bool commit_output(OutputFile *out, FILE *stream) {
  bool done = true;
  int error = 0;
  errno = 0;
  if (stream && (fflush(stream) != 0 || ferror(stream))) {
    done = false;
    error = errno ? errno : EIO;
  }
  if (done && !out->direct && fsync(out->fd) != 0) {
    done = false;
    error = errno;
  }
  int closed = stream ? fclose(stream) : close(out->fd);
  out->fd = -1;
  if (done && closed != 0) {
    done = false;
    error = errno;
  }
  if (done && !out->direct) {
    if (rename(out->temporary, out->target) != 0) {
      done = false;
      error = errno;
    } else {
      sync_folder(out->target);
    }
  }
  if (!done) {
    discard_output(out);
    errno = error;
    return false;
  }
  out->temporary[0] = '\0';
  if (!out->direct)
    unwatch_temporary();
  return true;
}

void discard_output(OutputFile *out, FILE *stream) {
  if (stream)
    fclose(stream);
  else if (out->fd >= 0)
    close(out->fd);
  out->fd = -1;
  if (out->temporary[0] != '\0') {
    unlink(out->temporary);
    out->temporary[0] = '\0';
    unwatch_temporary();
  }
}
