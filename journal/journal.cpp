// The upload record: its folder, the journal lines and the kept images.
#include "journal/journal.h"

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
constexpr int journal_fields = 6;

const char *const outcome_words[] = {"done", "interrupted", "failed"};

/// "NAME: reason" for the current error number.
std::string reason_for(const std::string &name) {
  return name + ": " + strerror(errno);
}

/// Makes a folder and the folders above it that are missing, private to
/// the user as a state folder should be; false with the reason.
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
  struct stat info;
  if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
    errno = ENOTDIR;
    *reason = reason_for(folder);
    return false;
  }
  return true;
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
  const char *state = getenv("XDG_STATE_HOME");
  if (state && state[0] != '\0')
    return std::string(state) + "/" + record_folder_name;
  const char *home = getenv("HOME");
  if (home && home[0] != '\0')
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
  return r.began + "\t" + outcome_word(r.outcome) + "\t" +
         std::to_string(r.bytes_sent) + "/" + std::to_string(r.frame_size) +
         "\t" + field_text(r.port) + "\t" + r.sha256 + "\t" +
         field_text(r.image) + "\n";
}

bool parse_journal_line(const std::string &text, UploadRecord *record) {
  std::string line = text;
  if (!line.empty() && line.back() == '\n')
    line.pop_back();
  std::vector<std::string> fields = tab_fields(line);
  if (fields.size() != journal_fields)
    return false;
  UploadRecord r;
  r.began = fields[0];
  bool known = false;
  for (UploadOutcome outcome :
       {UploadOutcome::done, UploadOutcome::interrupted, UploadOutcome::failed})
    if (fields[1] == outcome_word(outcome)) {
      r.outcome = outcome;
      known = true;
    }
  if (!known ||
      sscanf(fields[2].c_str(), "%ld/%ld", &r.bytes_sent, &r.frame_size) != 2)
    return false;
  r.port = fields[3];
  r.sha256 = fields[4];
  r.image = fields[5];
  if (r.sha256.size() != 64 ||
      r.sha256.find_first_not_of("0123456789abcdef") != std::string::npos)
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

bool keep_image_copy(const std::string &folder, const std::string &sha256,
                     const std::string &bytes, std::string *reason) {
  std::string path = image_copy_path(folder, sha256);
  struct stat info;
  if (stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
      info.st_size == static_cast<off_t>(bytes.size()))
    return true;  // sent before: kept once
  if (!make_folders(folder + "/" + images_name, reason))
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
                         std::string *reason) {
  if (!make_folders(folder, reason))
    return false;
  std::string path = journal_path(folder);
  int fd = file_calls.open(path.c_str(),
                           O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    *reason = reason_for(path);
    return false;
  }
  ssize_t written = file_calls.write(fd, line.data(), line.size());
  // A short write is a full disk.
  int error = written < 0 ? errno : ENOSPC;
  bool complete = written == static_cast<ssize_t>(line.size());
  if (file_calls.close(fd) != 0 && complete) {
    error = errno;
    complete = false;
  }
  if (!complete) {
    errno = error;
    *reason = reason_for(path);
    return false;
  }
  return true;
}

bool read_journal(const std::string &folder, std::vector<UploadRecord> *records,
                  std::string *reason) {
  std::string path = journal_path(folder);
  FILE *in = fopen(path.c_str(), "re");
  if (!in) {
    *reason = reason_for(path);
    return false;
  }
  char *line = nullptr;
  size_t capacity = 0;
  while (getline(&line, &capacity, in) >= 0) {
    UploadRecord record;
    if (parse_journal_line(line, &record))
      records->push_back(record);
  }
  bool failed = ferror(in) != 0;
  free(line);
  fclose(in);
  if (failed) {
    *reason = reason_for(path);
    return false;
  }
  return true;
}
