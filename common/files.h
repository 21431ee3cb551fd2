// Files as the programs open them: standard descriptors that must not be
// taken by anything else, reads that wait for a whole record, and outputs
// that replace the user's file whole or not at all.
#pragma once

#include <limits.h>
#include <stdio.h>

/// Opens /dev/null on any of descriptors 0, 1 and 2 that is closed, so that
/// no file the program opens later takes the place of one of them.
void open_standard_descriptors();

/// Reads until count bytes are in or the file ends, through short reads
/// and interruptions; returns the bytes read, or -1 on an error.
long read_fully(int fd, void *buffer, long count);

/// Writes all count bytes, through short writes and interruptions; false
/// on an error.
bool write_fully(int fd, const void *buffer, long count);

/// An output being written.  A regular file, or a name that does not exist
/// yet, is written into a new temporary file in the same folder and put in
/// place only when every byte is on disk; anything else (a device, a pipe)
/// is written directly.
struct OutputFile {
  int fd = -1;
  bool direct = false;            ///< written in place, not replaced
  char target[PATH_MAX] = "";     ///< the file replaced, links followed
  char temporary[PATH_MAX] = "";  ///< empty once committed or discarded
};

/// True when the name is an existing file that is not a regular file (a
/// device or a pipe, say), which an output writes directly.
bool is_special_output(const char *name);

/// Opens an output; false, with errno set, when it cannot be created or an
/// existing file cannot be written.  Until the output is committed or
/// discarded, SIGINT, SIGTERM and SIGHUP remove the temporary file.
bool open_output(const char *name, OutputFile *out);

/// Puts the written output in place: the stream (when given, over the
/// output's descriptor) is flushed and closed, the file synced to disk and
/// renamed over the target.  False, with errno set, on any failure; the
/// temporary file is then removed and the target left as it was.
bool commit_output(OutputFile *out, FILE *stream = nullptr);

/// Removes the temporary file of an output that is not to be committed;
/// the stream, when given, is closed.
void discard_output(OutputFile *out, FILE *stream = nullptr);
