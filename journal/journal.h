// The record of what the scanner holds: a copy of every image uploaded,
// named by its SHA-256, and a journal with one line for each upload.
// imgsend writes them; imgdiff --last reads them.
#pragma once

#include <time.h>

#include <string>
#include <vector>

/// The folder of the record: $XDG_STATE_HOME/scanner-memory-tools, or
/// $HOME/.local/state/scanner-memory-tools when XDG_STATE_HOME is unset or
/// empty; empty when neither is set.
std::string state_folder();

/// How an upload ended.
enum class UploadOutcome { done, interrupted, failed };

/// One line of the journal.
struct UploadRecord {
  std::string began;  ///< UTC time the transfer began, 2026-12-09T14:02:11Z
  UploadOutcome outcome = UploadOutcome::failed;
  long bytes_sent = 0;
  long frame_size = 0;
  std::string port;
  std::string sha256;  ///< of the whole image file, in hexadecimal
  std::string image;   ///< the image file's absolute name
};

/// The word of an outcome: "done", "interrupted" or "failed".
const char *outcome_word(UploadOutcome outcome);

/// A time as the journal writes it, in UTC.
std::string journal_time(time_t when);

/// The journal line of an upload: its fields separated by tabs, ended by a
/// line feed.
std::string format_journal_line(const UploadRecord &record);

/// Reads a journal line (with or without its line feed); false when it
/// has not the journal's form.
bool parse_journal_line(const std::string &line, UploadRecord *record);

/// The SHA-256 of bytes, in lower-case hexadecimal.
std::string sha256_hex(const std::string &bytes);

/// The name of the journal in a record folder.
std::string journal_path(const std::string &folder);

/// The name of the kept copy of an image in a record folder.
std::string image_copy_path(const std::string &folder,
                            const std::string &sha256);

/// Keeps a copy of an image file's bytes under its SHA-256, written whole
/// or not at all; an image kept before is kept once.  False with the
/// reason ("NAME: text") when it cannot be written.
bool keep_image_copy(const std::string &folder, const std::string &sha256,
                     const std::string &bytes, std::string *reason);

/// Appends one line to the journal with a single write, so that two
/// uploads at once cannot mix their lines; false with the reason.
bool append_journal_line(const std::string &folder, const std::string &line,
                         std::string *reason);

/// Reads every line of the journal that has its form, oldest first; false
/// with the reason when the journal cannot be read.
bool read_journal(const std::string &folder, std::vector<UploadRecord> *records,
                  std::string *reason);
