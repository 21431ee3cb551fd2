/* Loaded into the uploader by the end-to-end tests only.  Linux
 * pseudo-terminals refuse the modem-line requests TIOCMBIS and TIOCMBIC;
 * this answers them with success for any terminal, and passes every other
 * request on unchanged.  An open of the path that SHIM_DENY_PATH names
 * fails with the errno SHIM_DENY_ERRNO gives, as a port the user may not
 * open does, even for root. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <unistd.h>

static int denied(const char *path) {
  const char *deny = getenv("SHIM_DENY_PATH");
  const char *error = getenv("SHIM_DENY_ERRNO");
  if (!deny || !error || strcmp(deny, path) != 0)
    return 0;
  errno = atoi(error);
  return 1;
}

/* Opens through the C library's own function of that name, unless the
 * path is denied. */
static int open_through(const char *name, const char *path, int flags,
                        int mode) {
  if (denied(path))
    return -1;
  int (*next_open)(const char *, int, ...);
  *(void **)&next_open = dlsym(RTLD_NEXT, name);
  return next_open(path, flags, mode);
}

int open(const char *path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  int mode = va_arg(args, int);
  va_end(args);
  return open_through("open", path, flags, mode);
}

int open64(const char *path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  int mode = va_arg(args, int);
  va_end(args);
  return open_through("open64", path, flags, mode);
}

int ioctl(int fd, unsigned long request, ...) {
  static int (*next_ioctl)(int, unsigned long, ...);
  va_list args;
  va_start(args, request);
  void *argument = va_arg(args, void *);
  va_end(args);
  if ((request == TIOCMBIS || request == TIOCMBIC) && isatty(fd))
    return 0;
  if (!next_ioctl)
    *(void **)&next_ioctl = dlsym(RTLD_NEXT, "ioctl");
  return next_ioctl(fd, request, argument);
}
