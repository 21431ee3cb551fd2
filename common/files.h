// Files as the programs open them: standard descriptors that must not be
// taken by anything else, reads that wait for a whole record, and outputs
// that replace the user's file whole or not at all.
#pragma once

#include <limits.h>
#include <stdio.h>
#include <sys/types.h>

#include <string>

/// Opens /dev/null on any of descriptors 0, 1 and 2 that is closed, so that
/// no file the program opens later takes the place of one of them, and
/// makes a file size limit fail a write with EFBIG, which the program
/// reports, instead of ending it.
void open_standard_descriptors();

/// Reads until count bytes are in or the file ends, through short reads
/// and interruptions; returns the bytes read, or -1 on an error.
long read_fully(int fd, void *buffer, long count);

/// The most a listing read whole may hold: some 130 KB as written, and
/// room for comments.
constexpr long largest_listing_size = 8L << 20;

/// Reads a whole file of at most limit bytes; false with errno set when a
/// read fails, or with EFBIG when the file holds more.
bool read_small_file(int fd, long limit, std::string *bytes);

/// Writes all count bytes, through short writes and interruptions; false
/// on an error.
bool write_fully(int fd, const void *buffer, long count);

/// True for the operand "-", which names standard input or output.
bool is_standard_stream(const char *name);

/// The name to open for an input operand: /dev/stdin for "-".
const char *input_path(const char *name);

/// The name to open for an output operand: /dev/stdout for "-".
const char *output_path(const char *name);

/// The system calls that outputs are made with.  Tests put failing ones in
/// their place; the programs never change them.
struct FileCalls {
  int (*open)(const char *path, int flags, mode_t mode);
  ssize_t (*read)(int fd, void *buffer, size_t count);
  ssize_t (*write)(int fd, const void *buffer, size_t count);
  int (*access)(const char *path, int mode);
  int (*fsync)(int fd);
  int (*rename)(const char *from, const char *to);
  int (*fchmod)(int fd, mode_t mode);
  int (*fchown)(int fd, uid_t owner, gid_t group);
  int (*close)(int fd);
  int (*unlink)(const char *path);
};

/// The calls in use; the system's own unless a test replaced them.
extern FileCalls file_calls;

/// The system's own calls.
extern const FileCalls system_file_calls;

/// The signals that end a run by default and that a run cleans up after:
/// SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGALRM, SIGUSR1, SIGUSR2, SIGPIPE,
/// SIGXCPU, SIGVTALRM and SIGPROF.
extern const int ending_signals[11];
constexpr int ending_signal_count = 11;

/// An output being written.  Standard output (or error), under any name, is
/// written through descriptor 1 (or 2) as the program inherited it; a device, a
/// pipe or a socket is written directly; a regular file, or a name that does
/// not exist yet, is written into a new temporary file in the same folder and
/// put in place only when every byte is on disk.
struct OutputFile {
  int fd = -1;
  bool direct = false;            ///< written in place, not replaced
  int error = 0;                  ///< a failed open's reason worth giving
  char target[PATH_MAX] = "";     ///< the file replaced, links followed
  char temporary[PATH_MAX] = "";  ///< empty once committed or discarded
};

/// True when the name is an existing file that an output writes directly:
/// one that is not a regular file (a device or a pipe, say), or standard
/// output or error under any name.
bool is_special_output(const char *name);

/// Opens an output; false, with errno set, when it cannot be created or an
/// existing file cannot be written.  Until the output is committed or
/// discarded, the ending signals remove the temporary file before the
/// program dies of them, and a file size limit makes a write fail instead
/// of ending the program.
bool open_output(const char *name, OutputFile *out);

/// Reports a failed open_output: "WHAT NAME", then ": REASON" when the
/// reason tells more than the message (a name too long, a folder that may
/// not be written), then the line end.
void report_open_failure(FILE *err, const char *what, const char *name,
                         const OutputFile &out, const char *line_end);

/// Puts the written output in place: the stream (when given, over the
/// output's descriptor) is flushed and closed, the file synced to disk and
/// renamed over the target.  False, with errno set, on any failure; the
/// temporary file is then removed and the target left as it was.
bool commit_output(OutputFile *out, FILE *stream = nullptr);

/// Closes an output that is not to be committed and removes its temporary
/// file.
void discard_output(OutputFile *out);
