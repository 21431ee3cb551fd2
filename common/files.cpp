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

#include <initializer_list>

namespace {

int system_open(const char *path, int flags, mode_t mode) {
  return open(path, flags, mode);
}

}  // namespace

const FileCalls system_file_calls = {system_open, read,   write,  access,
                                     fsync,       rename, fchmod, fchown,
                                     close,       unlink};

FileCalls file_calls = system_file_calls;

const int ending_signals[ending_signal_count] = {
    SIGHUP,  SIGINT,  SIGQUIT, SIGTERM,   SIGALRM, SIGUSR1,
    SIGUSR2, SIGPIPE, SIGXCPU, SIGVTALRM, SIGPROF,
};

namespace {

/// The temporary file a signal must remove, empty for none; the handler
/// reads it, so it is a plain buffer, set while the signals are blocked.
char pending_temporary[PATH_MAX];

struct sigaction saved_actions[ending_signal_count];
struct sigaction saved_file_size_action;
bool watching = false;

/// Removes the temporary file, then dies of the signal as it would have.
extern "C" void remove_temporary_and_die(int signal_number) {
  unlink(pending_temporary);  // fails harmlessly when there is none
  struct sigaction action;
  memset(&action, 0, sizeof action);
  action.sa_handler = SIG_DFL;
  sigaction(signal_number, &action, nullptr);
  raise(signal_number);
}

/// The set of the ending signals.
sigset_t ending_signal_set() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal_number : ending_signals)
    sigaddset(&set, signal_number);
  return set;
}

/// Installs the handlers that remove the temporary file, if any, and makes
/// a file size limit fail a write instead of ending the program.
void watch_output() {
  if (watching)
    return;
  struct sigaction action;
  memset(&action, 0, sizeof action);
  action.sa_handler = remove_temporary_and_die;
  action.sa_mask = ending_signal_set();
  for (int i = 0; i < ending_signal_count; ++i)
    sigaction(ending_signals[i], &action, &saved_actions[i]);
  struct sigaction ignore;
  memset(&ignore, 0, sizeof ignore);
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGXFSZ, &ignore, &saved_file_size_action);
  watching = true;
}

/// Gives the signals their old handling back.
void unwatch_output() {
  pending_temporary[0] = '\0';
  if (!watching)
    return;
  for (int i = 0; i < ending_signal_count; ++i)
    sigaction(ending_signals[i], &saved_actions[i], nullptr);
  sigaction(SIGXFSZ, &saved_file_size_action, nullptr);
  watching = false;
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

/// Characters a temporary name adds to the output's: a dot before, and a
/// dot, eight hexadecimal digits and a tilde after.
constexpr int temporary_marks = 11;

/// Creates a new file beside the target, readable as a new output would
/// be: ".NAME.XXXXXXXX~", NAME cut so that the whole fits a folder entry.
/// -1 with errno set when it cannot be made.
int create_temporary(const char *target, char *temporary) {
  const char *slash = strrchr(target, '/');
  int folder = slash ? static_cast<int>(slash - target) + 1 : 0;
  const char *base = target + folder;
  int kept = static_cast<int>(strlen(base));
  if (kept > NAME_MAX - temporary_marks)
    kept = NAME_MAX - temporary_marks;
  static unsigned counter = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    unsigned tag = static_cast<unsigned>(getpid()) * 2654435761u ^
                   static_cast<unsigned>(time(nullptr)) ^ ++counter * 40503u;
    int length = snprintf(temporary, PATH_MAX, "%.*s.%.*s.%08x~", folder,
                          target, kept, base, tag);
    if (length >= PATH_MAX) {
      errno = ENAMETOOLONG;
      return -1;
    }
    int fd = file_calls.open(temporary, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                             0644);
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
  int fd = file_calls.open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
  if (fd >= 0) {
    fsync(fd);
    close(fd);
  }
}

/// The standard descriptor, 1 or 2, that writes to the file a name names;
/// -1 when neither does.
int standard_descriptor_of(const struct stat &named) {
  for (int fd : {STDOUT_FILENO, STDERR_FILENO}) {
    struct stat out;
    if (fstat(fd, &out) == 0 && out.st_dev == named.st_dev &&
        out.st_ino == named.st_ino)
      return fd;
  }
  return -1;
}

/// True when a name is the file standard output or error writes to.
bool is_standard_output(const struct stat &named) {
  return standard_descriptor_of(named) >= 0;
}

/// Fails an open: errno is kept, and the reason is given when it says more
/// than the message.
bool fail_open(OutputFile *out, int error, bool give_reason) {
  out->error = give_reason ? error : 0;
  errno = error;
  return false;
}

/// Opens a device, a pipe or a standard descriptor (1 or 2, else -1) to
/// be written in place.
bool open_direct(const char *name, int standard, OutputFile *out) {
  out->direct = true;
  // A standard descriptor is written through a copy, so that its position
  // and O_APPEND hold and the descriptor itself stays open.
  out->fd = standard >= 0 ? fcntl(standard, F_DUPFD_CLOEXEC, 3)
                          : file_calls.open(name, O_WRONLY | O_CLOEXEC, 0);
  if (out->fd < 0)
    return fail_open(out, errno, errno != EACCES && errno != EPERM);
  watch_output();
  return true;
}

/// Creates the temporary file of a regular output, with the signals that
/// would leave it behind blocked until their handlers are in place.
bool open_temporary(OutputFile *out) {
  sigset_t ending = ending_signal_set(), old;
  sigprocmask(SIG_BLOCK, &ending, &old);
  out->fd = create_temporary(out->target, out->temporary);
  int error = errno;
  if (out->fd >= 0) {
    strcpy(pending_temporary, out->temporary);
    watch_output();
  }
  sigprocmask(SIG_SETMASK, &old, nullptr);
  if (out->fd >= 0)
    return true;
  out->temporary[0] = '\0';
  // A missing folder keeps the bare message; a folder that may not be
  // written, or a name too long, is worth its reason.
  return fail_open(out, error, error != ENOENT && error != ENOTDIR);
}

}  // namespace

void open_standard_descriptors() {
  signal(SIGXFSZ, SIG_IGN);
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) == -1) {
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
    ssize_t got =
        file_calls.read(fd, at + done, static_cast<size_t>(count - done));
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

bool read_small_file(int fd, long limit, std::string *bytes) {
  bytes->clear();
  char buffer[65536];
  for (;;) {
    long got = read_fully(fd, buffer, sizeof buffer);
    if (got < 0)
      return false;
    if (got == 0)
      return true;
    if (static_cast<long>(bytes->size()) + got > limit) {
      errno = EFBIG;
      return false;
    }
    bytes->append(buffer, static_cast<size_t>(got));
  }
}

bool write_fully(int fd, const void *buffer, long count) {
  const char *at = static_cast<const char *>(buffer);
  long done = 0;
  while (done < count) {
    ssize_t put =
        file_calls.write(fd, at + done, static_cast<size_t>(count - done));
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
  return stat(name, &info) == 0 &&
         (!S_ISREG(info.st_mode) || is_standard_output(info));
}

bool open_output(const char *name, OutputFile *out) {
  *out = OutputFile();
  struct stat info;
  bool exists = stat(name, &info) == 0;
  // What the name is decides, not how it is spelled: /dev/stdout and a
  // file the shell redirected standard output to are standard output, and
  // likewise for standard error.
  if (exists && is_standard_output(info))
    return open_direct(name, standard_descriptor_of(info), out);
  if (exists && S_ISDIR(info.st_mode))
    return fail_open(out, EISDIR, false);
  if (exists && !S_ISREG(info.st_mode))
    return open_direct(name, -1, out);
  if (!follow_links(name, out->target))
    return fail_open(out, errno, true);
  // The temporary name is cut to fit; the output's own name must fit.
  const char *slash = strrchr(out->target, '/');
  if (strlen(slash ? slash + 1 : out->target) > NAME_MAX)
    return fail_open(out, ENAMETOOLONG, true);
  if (exists && file_calls.access(out->target, W_OK) != 0)
    return fail_open(out, errno, false);
  if (!open_temporary(out))
    return false;
  if (exists) {
    // A private file must not become readable by others on the way.
    if (file_calls.fchmod(out->fd, info.st_mode & 07777) != 0) {
      int error = errno;
      discard_output(out);
      return fail_open(out, error, true);
    }
    if (file_calls.fchown(out->fd, info.st_uid, info.st_gid) != 0) {
      // Only the owner's own outputs keep their owner; that is enough.
    }
  }
  return true;
}

void report_open_failure(FILE *err, const char *what, const char *name,
                         const OutputFile &out, const char *line_end) {
  if (out.error != 0)
    fprintf(err, "%s %s: %s%s", what, name, strerror(out.error), line_end);
  else
    fprintf(err, "%s %s%s", what, name, line_end);
}

bool commit_output(OutputFile *out, FILE *stream) {
  bool done = true;
  int error = 0;
  errno = 0;
  if (stream && (fflush(stream) != 0 || ferror(stream))) {
    done = false;
    error = errno ? errno : EIO;
  }
  if (done && !out->direct && file_calls.fsync(out->fd) != 0) {
    done = false;
    error = errno;
  }
  int closed = stream ? fclose(stream) : file_calls.close(out->fd);
  out->fd = -1;
  if (done && closed != 0) {
    done = false;
    error = errno;
  }
  if (done && !out->direct) {
    if (file_calls.rename(out->temporary, out->target) != 0) {
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
  unwatch_output();
  return true;
}

void discard_output(OutputFile *out) {
  if (out->fd >= 0)
    file_calls.close(out->fd);
  out->fd = -1;
  if (out->temporary[0] != '\0')
    file_calls.unlink(out->temporary);
  out->temporary[0] = '\0';
  unwatch_output();
}

bool is_standard_stream(const char *name) {
  return strcmp(name, "-") == 0;
}

const char *input_path(const char *name) {
  return is_standard_stream(name) ? "/dev/stdin" : name;
}

const char *output_path(const char *name) {
  return is_standard_stream(name) ? "/dev/stdout" : name;
}
