// The record of what the scanner holds: a copy of every image uploaded,
// named by its SHA-256, and a journal with a line when an upload begins and
// one when it ends.  imgsend writes them; imgdiff --last reads them.  The
// record lives in a folder of the user's own, and nothing in it is trusted
// that is not a regular file, nor any folder that others may write.
#pragma once

#include <time.h>

#include <string>
#include <vector>

/// The folder of the record: $XDG_STATE_HOME/scanner-memory-tools, or
/// $HOME/.local/state/scanner-memory-tools when XDG_STATE_HOME is unset,
/// empty or relative (XDG's base directory rules ignore it then);
/// empty when neither gives an absolute folder.
std::string state_folder();

/// How an upload stands: begun (the line written before the port is
/// opened), or how it ended.
enum class UploadOutcome { done, interrupted, failed, begun };

/// One line of the journal.
struct UploadRecord {
  std::string began;  ///< UTC time the transfer began, 2026-12-09T14:02:11Z
  UploadOutcome outcome = UploadOutcome::failed;
  long bytes_sent = 0;
  long frame_size = 0;
  std::string port;
  std::string sha256;  ///< of the whole image file, in hexadecimal
  std::string image;   ///< the image file's absolute name
  long pid = 0;        ///< of the upload, which pairs its lines; 0 in old lines
};

/// The word of an outcome: "done", "interrupted", "failed" or "begun".
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

/// The most a kept copy may hold; an image file is 32,773 bytes.
constexpr long largest_copy_size = 1L << 20;

/// Makes sure the record folder and its images folder are safe to write:
/// folders of the user's own that no one else may write, made with mode
/// 0700 where missing, and a journal and a copy of the image that are
/// regular files where they exist.  False with the reason, naming the file,
/// when anything is not.
bool prepare_record(const std::string &folder, const std::string &sha256,
                    std::string *reason);

/// Keeps a copy of an image file's bytes under its SHA-256, written whole
/// or not at all; a copy kept before is kept when its SHA-256 holds, and
/// replaced when it does not.  False with the reason ("NAME: text").
bool keep_image_copy(const std::string &folder, const std::string &sha256,
                     const std::string &bytes, std::string *reason);

/// Appends one line to the journal with a single write, after a line feed
/// when an earlier line was cut short, and syncs it when asked; false with
/// the reason, the write's own.
bool append_journal_line(const std::string &folder, const std::string &line,
                         bool sync, std::string *reason);

/// Reads every line of the journal that has its form, oldest first, and
/// the numbers of the lines that have not; false with the reason when the
/// journal cannot be read, or is not a regular file of a safe folder.
bool read_journal(const std::string &folder, std::vector<UploadRecord> *records,
                  std::vector<long> *unreadable, std::string *reason);

/// Reads a kept copy and checks it against its SHA-256; false with the
/// reason when it is missing, not a regular file or not what was sent.
bool read_image_copy(const std::string &folder, const std::string &sha256,
                     std::string *bytes, std::string *reason);

/// One upload as the journal tells it: its begun line, if any, and the
/// line that ended it, if any, by their places in the journal.
struct Upload {
  long begun = -1;
  long ended = -1;
  UploadRecord record;  ///< the end line when there is one
  /// Where the upload stands among the others: where it began.
  long place() const {
    return begun >= 0 ? begun : ended;
  }
};

/// The uploads of the journal, each begun line paired with the line that
/// ends the same upload (same begin time and process); older journals
/// have end lines alone.
std::vector<Upload> pair_uploads(const std::vector<UploadRecord> &records);

/// The upload whose done line is the journal's last; null when none is.
const Upload *last_done_upload(const std::vector<Upload> &uploads);
