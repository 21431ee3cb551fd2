// Runs a built program as a child process, for the end-to-end tests.
#pragma once

#include <string>
#include <vector>

/// What a finished child process left behind.
struct ProcessResult {
  int status = -1;     ///< exit status, or -1 when it did not exit normally
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

/// True when the path names an existing file.
bool file_exists(const std::string &path);
