// The upload record: its folder, the journal lines and the kept images.
#include "journal/journal.h"

#include <ctype.h>
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <openssl/evp.h>

#include "common/files.h"

namespace {

constexpr char record_folder_name[] = "scanner-memory-tools";
constexpr char journal_name[] = "uploads.log";
constexpr char images_name[] = "images";
constexpr int journal_fields = 6;  ///< 7 with the process ID
constexpr long largest_journal_size = 64L << 20;

const char *const outcome_words[] = {"done", "interrupted", "failed", "begun"};

/// "NAME: reason" for the current error number.
std::string reason_for(const std::string &name) {
  return name + ": " + strerror(errno);
}

/// Makes the folders of a path that are missing, private to the user as a
/// state folder should be; false with the reason.
bool make_folders(const std::string &folder, std::string *reason) {
  for (size_t at = 1; at <= folder.size(); ++at) {
    if (at < folder.size() && folder[at] != '/')
      continue;
    std::string part = folder.substr(0, at);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
      *reason = reason_for(part);
      return false;
    }
  }
  return true;
}

/// True when a folder is the user's own and no one else may write in it;
/// else false with the reason.  A symbolic link is not a folder here.
bool is_own_folder(const std::string &folder, std::string *reason) {
  struct stat info;
  if (lstat(folder.c_str(), &info) != 0) {
    *reason = reason_for(folder);
    return false;
  }
  if (!S_ISDIR(info.st_mode))
    *reason = folder + ": not a folder";
  else if (info.st_uid != geteuid())
    *reason = folder + ": the folder belongs to another user";
  else if (info.st_mode & (S_IWGRP | S_IWOTH))
    *reason = folder + ": others may write in the folder";
  else
    return true;
  return false;
}

/// True when nothing is at a name, or a regular file; else false with the
/// reason.
bool is_regular_or_missing(const std::string &name, std::string *reason) {
  struct stat info;
  if (lstat(name.c_str(), &info) != 0) {
    if (errno == ENOENT)
      return true;
    *reason = reason_for(name);
    return false;
  }
  if (S_ISREG(info.st_mode))
    return true;
  *reason = name + (S_ISLNK(info.st_mode) ? ": a symbolic link"
                                          : ": not a regular file");
  return false;
}

/// Opens a file of the record without following a link or waiting on a
/// pipe; -1 with the reason unless it is a regular file.
int open_record_file(const std::string &name, int flags, std::string *reason) {
  int fd = file_calls.open(name.c_str(),
                           flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
  if (fd < 0) {
    *reason = errno == ELOOP ? name + ": a symbolic link" : reason_for(name);
    return -1;
  }
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    *reason = name + ": not a regular file";
    file_calls.close(fd);
    return -1;
  }
  return fd;
}

/// Reads a file of the record whole, at most limit bytes; false with the
/// reason.
bool read_record_file(const std::string &name, long limit, std::string *bytes,
                      std::string *reason) {
  int fd = open_record_file(name, O_RDONLY, reason);
  if (fd < 0)
    return false;
  bool read = read_small_file(fd, limit, bytes);
  if (!read)
    *reason = errno == EFBIG ? name + ": too large" : reason_for(name);
  file_calls.close(fd);
  return read;
}

/// Splits a line at its tabs.
std::vector<std::string> tab_fields(const std::string &line) {
  std::vector<std::string> fields;
  size_t at = 0;
  for (;;) {
    size_t tab = line.find('\t', at);
    fields.push_back(line.substr(at, tab - at));
    if (tab == std::string::npos)
      return fields;
    at = tab + 1;
  }
}

}  // namespace

std::string state_folder() {
  // A relative folder would give each working folder a journal of its own.
  const char *state = getenv("XDG_STATE_HOME");
  if (state && state[0] == '/')
    return std::string(state) + "/" + record_folder_name;
  const char *home = getenv("HOME");
  if (home && home[0] == '/')
    return std::string(home) + "/.local/state/" + record_folder_name;
  return "";
}

const char *outcome_word(UploadOutcome outcome) {
  return outcome_words[static_cast<int>(outcome)];
}

std::string journal_time(time_t when) {
  struct tm utc;
  char text[32];
  gmtime_r(&when, &utc);
  strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

namespace {

/// A name as one field of a line: tabs and line ends, which would break
/// the line, become '?'.
std::string field_text(std::string name) {
  for (char &c : name)
    if (c == '\t' || c == '\n' || c == '\r')
      c = '?';
  return name;
}

}  // namespace

std::string format_journal_line(const UploadRecord &r) {
  std::string line = r.began + "\t" + outcome_word(r.outcome) + "\t" +
                     std::to_string(r.bytes_sent) + "/" +
                     std::to_string(r.frame_size) + "\t" + field_text(r.port) +
                     "\t" + r.sha256 + "\t" + field_text(r.image);
  if (r.pid > 0)
    line += "\t" + std::to_string(r.pid);
  return line + "\n";
}

bool parse_journal_line(const std::string &text, UploadRecord *record) {
  std::string line = text;
  if (!line.empty() && line.back() == '\n')
    line.pop_back();
  std::vector<std::string> fields = tab_fields(line);
  if (fields.size() != journal_fields && fields.size() != journal_fields + 1)
    return false;
  UploadRecord r;
  r.began = fields[0];
  // A time as journal_time writes it: 2026-12-09T14:02:11Z.
  const char form[] = "dddd-dd-ddTdd:dd:ddZ";
  if (r.began.size() != sizeof form - 1)
    return false;
  for (size_t i = 0; i < r.began.size(); ++i)
    if (form[i] == 'd' ? !isdigit(static_cast<unsigned char>(r.began[i]))
                       : r.began[i] != form[i])
      return false;
  bool known = false;
  for (UploadOutcome outcome : {UploadOutcome::done, UploadOutcome::interrupted,
                                UploadOutcome::failed, UploadOutcome::begun})
    if (fields[1] == outcome_word(outcome)) {
      r.outcome = outcome;
      known = true;
    }
  char end;
  if (!known || sscanf(fields[2].c_str(), "%ld/%ld%c", &r.bytes_sent,
                       &r.frame_size, &end) != 2)
    return false;
  r.port = fields[3];
  r.sha256 = fields[4];
  r.image = fields[5];
  if (r.sha256.size() != 64 ||
      r.sha256.find_first_not_of("0123456789abcdef") != std::string::npos)
    return false;
  if (fields.size() > journal_fields &&
      (sscanf(fields[6].c_str(), "%ld%c", &r.pid, &end) != 1 || r.pid <= 0))
    return false;
  *record = r;
  return true;
}

std::string sha256_hex(const std::string &bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_sha256(), nullptr);
  std::string hex;
  char pair[3];
  for (unsigned int i = 0; i < size; ++i) {
    snprintf(pair, sizeof pair, "%02x", digest[i]);
    hex += pair;
  }
  return hex;
}

std::string journal_path(const std::string &folder) {
  return folder + "/" + journal_name;
}

std::string image_copy_path(const std::string &folder,
                            const std::string &sha256) {
  return folder + "/" + images_name + "/" + sha256 + ".spg";
}

bool prepare_record(const std::string &folder, const std::string &sha256,
                    std::string *reason) {
  // Nothing is made inside a folder that is not the user's own.
  std::string images = folder + "/" + images_name;
  return make_folders(folder, reason) && is_own_folder(folder, reason) &&
         make_folders(images, reason) && is_own_folder(images, reason) &&
         is_regular_or_missing(journal_path(folder), reason) &&
         is_regular_or_missing(image_copy_path(folder, sha256), reason);
}

bool keep_image_copy(const std::string &folder, const std::string &sha256,
                     const std::string &bytes, std::string *reason) {
  std::string path = image_copy_path(folder, sha256);
  std::string kept, ignored;
  // Sent before: kept once, unless the copy is not what was sent.
  if (read_record_file(path, largest_copy_size, &kept, &ignored) &&
      sha256_hex(kept) == sha256)
    return true;
  // The folder is the user's own, so the name cannot become a link now.
  if (!is_regular_or_missing(path, reason))
    return false;
  OutputFile out;
  if (!open_output(path.c_str(), &out)) {
    *reason = reason_for(path);
    return false;
  }
  if (!write_fully(out.fd, bytes.data(), static_cast<long>(bytes.size()))) {
    *reason = reason_for(path);
    discard_output(&out);
    return false;
  }
  if (!commit_output(&out)) {
    *reason = reason_for(path);
    return false;
  }
  return true;
}

bool append_journal_line(const std::string &folder, const std::string &line,
                         bool sync, std::string *reason) {
  std::string path = journal_path(folder);
  // Opened to read as well, for the last byte of what is there.
  int fd = open_record_file(path, O_RDWR | O_APPEND | O_CREAT, reason);
  if (fd < 0)
    return false;
  // A line cut short before (a full disk, a size limit) would glue this
  // one to it: a line feed ends it first.
  std::string text = line;
  struct stat info;
  char last = '\n';
  if (fstat(fd, &info) == 0 && info.st_size > 0 &&
      pread(fd, &last, 1, info.st_size - 1) == 1 && last != '\n')
    text.insert(0, "\n");
  ssize_t written = file_calls.write(fd, text.data(), text.size());
  // A short write has a reason of its own, which writing the rest gives.
  bool complete = written == static_cast<ssize_t>(text.size());
  if (!complete && written >= 0)
    complete = write_fully(fd, text.data() + written,
                           static_cast<long>(text.size()) - written);
  int error = errno;
  if (complete && sync && file_calls.fsync(fd) != 0) {
    error = errno;
    complete = false;
  }
  if (file_calls.close(fd) != 0 && complete) {
    error = errno;
    complete = false;
  }
  if (!complete) {
    errno = error;
    *reason = reason_for(path);
  }
  return complete;
}

bool read_journal(const std::string &folder, std::vector<UploadRecord> *records,
                  std::vector<long> *unreadable, std::string *reason) {
  std::string text;
  if (!is_own_folder(folder, reason) ||
      !read_record_file(journal_path(folder), largest_journal_size, &text,
                        reason))
    return false;
  long number = 0;
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos)
      end = text.size();
    std::string line = text.substr(at, end - at);
    ++number;
    UploadRecord record;
    if (parse_journal_line(line, &record))
      records->push_back(record);
    else if (!line.empty())
      unreadable->push_back(number);
    at = end + 1;
  }
  return true;
}

bool read_image_copy(const std::string &folder, const std::string &sha256,
                     std::string *bytes, std::string *reason) {
  std::string path = image_copy_path(folder, sha256);
  if (!is_own_folder(folder + "/" + images_name, reason) ||
      !read_record_file(path, largest_copy_size, bytes, reason))
    return false;
  if (sha256_hex(*bytes) == sha256)
    return true;
  *reason = path + ": not the image uploaded, whose SHA256 is " + sha256;
  return false;
}

std::vector<Upload> pair_uploads(const std::vector<UploadRecord> &records) {
  std::vector<Upload> uploads;
  for (size_t i = 0; i < records.size(); ++i) {
    const UploadRecord &r = records[i];
    long at = static_cast<long>(i);
    if (r.outcome == UploadOutcome::begun) {
      uploads.push_back({at, -1, r});
      continue;
    }
    Upload *open = nullptr;
    for (Upload &u : uploads)
      if (u.ended < 0 && r.pid > 0 && u.record.pid == r.pid &&
          u.record.began == r.began)
        open = &u;
    if (open) {
      open->ended = at;
      open->record = r;
    } else {
      uploads.push_back({-1, at, r});
    }
  }
  return uploads;
}

const Upload *last_done_upload(const std::vector<Upload> &uploads) {
  const Upload *done = nullptr;
  for (const Upload &u : uploads)
    if (u.ended >= 0 && u.record.outcome == UploadOutcome::done &&
        (!done || u.ended > done->ended))
      done = &u;
  return done;
}
