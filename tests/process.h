// Runs a built program as a child process, for the end-to-end tests.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

/// What a finished child process left behind.
struct ProcessResult {
  int status = -1;     ///< exit status, or -1 when it did not exit normally
  int signal = 0;      ///< the signal that ended it, if one did
  std::string out;     ///< everything it wrote on standard output
  std::string err;     ///< everything it wrote on standard error
  std::string master;  ///< everything read from the watched pty master
};

/// Runs argv[0] with the arguments in cwd (when not empty), standard input
/// from /dev/null and extra environment entries "NAME=value"; when master_fd
/// is not -1, collects what arrives on it while the child runs.
ProcessResult run_process(const std::vector<std::string> &argv,
                          const std::string &cwd = "",
                          const std::vector<std::string> &env = {},
                          int master_fd = -1);

/// How a child process is started, beyond its arguments.
struct ProcessOptions {
  std::string cwd;               ///< folder it runs in, when not empty
  std::vector<std::string> env;  ///< extra environment entries "NAME=value"
  int master_fd = -1;            ///< pty master whose output is collected
  std::vector<int> closed_fds;   ///< standard descriptors it starts without
  bool new_session = false;      ///< it runs in a session of its own
  long file_size_limit = -1;     ///< largest file it may write, in bytes
  /// Its standard output is a pipe whose reader is gone, with SIGPIPE
  /// ignored, so that every write to it fails.
  bool stdout_reader_closed = false;
  /// Called in the parent once the child has started, before its output is
  /// collected.
  std::function<void(pid_t)> started;
};

/// Runs argv[0] with the arguments as the options say, standard input from
/// /dev/null.
ProcessResult run_process(const std::vector<std::string> &argv,
                          const ProcessOptions &options);

/// Path of a program in the build's program folder.
std::string program_path(const char *name);

/// A fresh temporary folder, removed with its files at the end of the test.
struct TempDir {
  TempDir();
  ~TempDir();
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;
  /// Path of a file in the folder.
  std::string file(const std::string &name) const;
  std::string path;
};

/// Writes bytes to a file, replacing it.
void write_file(const std::string &path, const std::string &bytes);

/// Reads a whole file; an empty string when it cannot be read.
std::string read_file(const std::string &path);

/// The names in a folder, but for "." and "..", sorted.
std::vector<std::string> files_in(const std::string &folder);

/// Waits up to two seconds for a file whose name starts with a dot to
/// appear in the folder; true when one did.
bool wait_for_hidden_file(const std::string &folder);

/// True when the path names an existing file.
bool file_exists(const std::string &path);
