// The image editor: its command line, the private copy of the listing,
// the editor run through the shell, the findings and the question what
// to do with them, and the image written whole.
#include "imgedit/imgedit.h"

#include <errno.h>
#include <fcntl.h>
#include <getopt.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "common/files.h"
#include "common/image.h"
#include "common/version.h"
#include "listing/listing.h"
#include "listing/loose.h"
#include "listing/places.h"
#include "listing/writer.h"

namespace {

void print_usage(FILE *err) {
  fprintf(err, "imgedit [-h] [-b bank] image.spg\n");
  fprintf(err, "  -h prints this help message\n");
  fprintf(err, "  -b bank edits only that bank, 0 to 9\n");
  fprintf(err,
          "  image.spg is opened as a listing in $VISUAL, $EDITOR, editor "
          "or vi,\n");
  fprintf(err,
          "          and written once the listing reads without a finding\n");
  print_standard_options(err, "\n");
}

/// Thrown after a failure has been reported: the run ends with status 1.
struct Failed {};

// What a signal handler needs, in plain buffers set before the signals
// can arrive.
char signal_folder[PATH_MAX];  ///< the private folder, empty for none
char signal_file[PATH_MAX];    ///< the listing in it
char signal_kept[PATH_MAX];    ///< where edits are kept
char signal_backup[PATH_MAX];  ///< where an older copy of those goes
struct stat signal_written;    ///< the listing as it was written
volatile pid_t signal_editor = 0;

/// 1 when a file's inode, size and time of change are as they were, else 0;
/// a plain comparison, for a signal handler.
int same_file_state(const struct stat &a, const struct stat &b) {
  return (a.st_ino == b.st_ino) & (a.st_size == b.st_size) &
         (a.st_mtim.tv_sec == b.st_mtim.tv_sec) &
         (a.st_mtim.tv_nsec == b.st_mtim.tv_nsec);
}

/// Ends the editor, keeps edits the listing holds, removes the private
/// folder, then dies of the signal as it would have.
extern "C" void clean_up_and_die(int signal_number) {
  if (signal_editor > 0)
    kill(signal_editor, signal_number);
  if (signal_folder[0]) {
    // An editor that saved gave the listing another time, size or file.
    struct stat now = signal_written;
    stat(signal_file, &now);
    if (same_file_state(now, signal_written) == 0) {
      rename(signal_kept, signal_backup);
      rename(signal_file, signal_kept);
    }
    unlink(signal_file);
    rmdir(signal_folder);
  }
  struct sigaction action;
  memset(&action, 0, sizeof action);
  action.sa_handler = SIG_DFL;
  sigaction(signal_number, &action, nullptr);
  raise(signal_number);
}

/// The set of the ending signals.
sigset_t ending_set() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal_number : ending_signals)
    sigaddset(&set, signal_number);
  return set;
}

/// The handling of the ending signals before a run set its own.
struct sigaction saved_actions[ending_signal_count];
bool handlers_set = false;

void set_ending_handlers(void (*handler)(int)) {
  struct sigaction action;
  memset(&action, 0, sizeof action);
  action.sa_handler = handler;
  action.sa_mask = ending_set();
  for (int i = 0; i < ending_signal_count; ++i)
    sigaction(ending_signals[i], &action, &saved_actions[i]);
  handlers_set = true;
}

/// One run of the editor on one image.
struct Session {
  const char *name = nullptr;  ///< the image, as given
  FILE *out = nullptr;
  FILE *err = nullptr;
  int bank = -1;  ///< the one bank edited, or -1 for all
  ImageBody base;
  std::string folder, file;  ///< the private folder and the listing in it
  std::string written;       ///< the listing as first written
  std::string block;         ///< the findings put at the top, if any
  long block_lines = 0;
};

std::string kept_name(const Session &s) {
  return std::string(s.name) + ".edit.asc";
}

/// Copies a name into a signal handler's buffer; false when it is too long.
bool set_signal_name(char *buffer, const std::string &name) {
  if (name.size() >= PATH_MAX)
    return false;
  strcpy(buffer, name.c_str());
  return true;
}

/// The listing of the image, or of its one bank.
std::string listing_text(const Session &s) {
  char *data = nullptr;
  size_t size = 0;
  FILE *text = open_memstream(&data, &size);
  if (s.bank < 0) {
    write_listing(text, s.base);
  } else {
    fputs(version_line, text);
    fputs(instruction_lines, text);
    write_bank_section(text, s.base, s.bank);
  }
  fclose(text);
  std::string result(data, size);
  free(data);
  return result;
}

/// Writes a file whole, creating it with the mode given; false with errno.
bool write_new_file(const std::string &name, const std::string &bytes,
                    int flags, mode_t mode) {
  int fd = file_calls.open(name.c_str(), O_WRONLY | O_CLOEXEC | flags, mode);
  if (fd < 0)
    return false;
  bool done = write_fully(fd, bytes.data(), static_cast<long>(bytes.size()));
  int error = errno;
  if (file_calls.close(fd) != 0 && done) {
    error = errno;
    done = false;
  }
  errno = error;
  return done;
}

/// Makes the private folder and writes the listing into it, with the
/// signals held until their handler knows both.
void open_private_listing(Session &s) {
  const char *tmp = getenv("TMPDIR");
  std::string folder =
      std::string(tmp && *tmp ? tmp : "/tmp") + "/imgedit.XXXXXX";
  std::vector<char> pattern(folder.begin(), folder.end());
  pattern.push_back('\0');
  sigset_t ending = ending_set(), old;
  sigprocmask(SIG_BLOCK, &ending, &old);
  if (!mkdtemp(pattern.data())) {
    int error = errno;
    sigprocmask(SIG_SETMASK, &old, nullptr);
    fprintf(s.err, "imgedit: cannot make a private folder in %s: %s\n",
            tmp && *tmp ? tmp : "/tmp", strerror(error));
    throw Failed{};
  }
  s.folder = pattern.data();
  std::string base = s.name;
  size_t slash = base.rfind('/');
  if (slash != std::string::npos)
    base.erase(0, slash + 1);
  base.erase(base.rfind('.'));
  s.file = s.folder + "/" + (base.empty() ? "image" : base) + ".asc";
  bool named = set_signal_name(signal_folder, s.folder) &&
               set_signal_name(signal_file, s.file) &&
               set_signal_name(signal_kept, kept_name(s)) &&
               set_signal_name(signal_backup, kept_name(s) + "~");
  set_ending_handlers(clean_up_and_die);
  sigprocmask(SIG_SETMASK, &old, nullptr);
  s.written = listing_text(s);
  if (!named || !write_new_file(s.file, s.written, O_CREAT | O_EXCL, 0600) ||
      stat(s.file.c_str(), &signal_written) != 0) {
    fprintf(s.err, "imgedit: cannot write %s: %s\n", s.file.c_str(),
            strerror(named ? errno : ENAMETOOLONG));
    throw Failed{};
  }
}

/// Removes the private folder; the signals no longer need to.
void remove_private_listing(Session &s) {
  if (s.folder.empty())
    return;
  sigset_t ending = ending_set(), old;
  sigprocmask(SIG_BLOCK, &ending, &old);
  unlink(s.file.c_str());
  rmdir(s.folder.c_str());
  signal_folder[0] = '\0';
  sigprocmask(SIG_SETMASK, &old, nullptr);
  s.folder.clear();
}

/// The editor the user chose: $VISUAL, $EDITOR, editor when it is on the
/// path, else vi.
std::string chosen_editor() {
  for (const char *variable : {"VISUAL", "EDITOR"}) {
    const char *value = getenv(variable);
    if (value && *value)
      return value;
  }
  const char *path = getenv("PATH");
  std::string folders = path ? path : "/usr/bin:/bin";
  for (size_t at = 0; at <= folders.size();) {
    size_t end = folders.find(':', at);
    if (end == std::string::npos)
      end = folders.size();
    std::string folder = folders.substr(at, end - at);
    std::string candidate = (folder.empty() ? "." : folder) + "/editor";
    if (access(candidate.c_str(), X_OK) == 0)
      return "editor";
    at = end + 1;
  }
  return "vi";
}

/// Runs the editor on the listing through the shell, so that it may carry
/// arguments, with SIGINT and SIGQUIT left to it; false after saying why
/// it failed.
bool run_editor(Session &s) {
  std::string editor = chosen_editor();
  // The shell gives way to the editor, so that a signal sent to the editor
  // reaches it, unless the command runs more than one program.
  bool several = editor.find_first_of(";&|\n") != std::string::npos;
  std::string command = (several ? "" : "exec ") + editor + " \"$@\"";
  fflush(s.out);
  fflush(s.err);
  sigset_t ending = ending_set(), old;
  sigprocmask(SIG_BLOCK, &ending, &old);
  pid_t child = fork();
  if (child == 0) {
    sigprocmask(SIG_SETMASK, &old, nullptr);
    execl("/bin/sh", "sh", "-c", command.c_str(), editor.c_str(),
          s.file.c_str(), static_cast<char *>(nullptr));
    _exit(127);
  }
  int error = errno;
  signal_editor = child;
  sigprocmask(SIG_SETMASK, &old, nullptr);
  if (child < 0) {
    fprintf(s.err, "imgedit: cannot start the editor \"%s\": %s\n",
            editor.c_str(), strerror(error));
    return false;
  }
  struct sigaction ignore, old_interrupt, old_quit;
  memset(&ignore, 0, sizeof ignore);
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGINT, &ignore, &old_interrupt);
  sigaction(SIGQUIT, &ignore, &old_quit);
  int status = 0;
  pid_t done;
  while ((done = waitpid(child, &status, 0)) < 0 && errno == EINTR) {
  }
  sigaction(SIGINT, &old_interrupt, nullptr);
  sigaction(SIGQUIT, &old_quit, nullptr);
  signal_editor = 0;
  if (done < 0) {
    fprintf(s.err, "imgedit: cannot wait for the editor \"%s\": %s\n",
            editor.c_str(), strerror(errno));
    return false;
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
    return true;
  if (WIFEXITED(status) && WEXITSTATUS(status) == 127)
    fprintf(s.err, "imgedit: cannot start the editor \"%s\"\n", editor.c_str());
  else if (WIFEXITED(status))
    fprintf(s.err, "imgedit: the editor \"%s\" exited with status %d\n",
            editor.c_str(), WEXITSTATUS(status));
  else
    fprintf(s.err, "imgedit: the editor \"%s\" ended by signal %d\n",
            editor.c_str(), WTERMSIG(status));
  return false;
}

/// The listing as the editor left it; false after saying why it cannot be
/// read.
bool read_edited(Session &s, std::string *text) {
  int fd = file_calls.open(s.file.c_str(), O_RDONLY | O_CLOEXEC, 0);
  bool read = fd >= 0 && read_small_file(fd, largest_listing_size, text);
  int error = errno;
  if (fd >= 0)
    close(fd);
  if (!read)
    fprintf(s.err, "imgedit: cannot read %s: %s\n", s.file.c_str(),
            error == EFBIG ? "too large to be a listing" : strerror(error));
  errno = error;
  return read;
}

/// The edited text without the findings put at its top, when they are
/// there as written.
std::string without_block(const Session &s, const std::string &text) {
  if (!s.block.empty() && text.compare(0, s.block.size(), s.block) == 0)
    return text.substr(s.block.size());
  return text;
}

/// Keeps the user's edits next to the image, an older copy moved aside;
/// says where, or why they stay in the private folder.
void keep_edits(Session &s, const std::string &text) {
  std::string kept = kept_name(s);
  if (access(kept.c_str(), F_OK) == 0)
    file_calls.rename(kept.c_str(), (kept + "~").c_str());
  if (write_new_file(kept, text, O_CREAT | O_TRUNC, 0600)) {
    fprintf(s.err, "imgedit: your edits are kept in %s\n", kept.c_str());
    remove_private_listing(s);
    return;
  }
  fprintf(s.err, "imgedit: cannot keep your edits in %s: %s; they stay in %s\n",
          kept.c_str(), strerror(errno), s.file.c_str());
  signal_folder[0] = '\0';  // nothing removes them now
  s.folder.clear();
}

/// Puts the findings at the top of the listing as comment lines, whose
/// line numbers are those of the file as it will be.
bool reopen_with_findings(Session &s, const std::string &text,
                          const LooseFindings &findings) {
  std::string body = without_block(s, text);
  long moved =
      static_cast<long>(text.size() == body.size() ? 0 : s.block_lines);
  long lines = 2 + static_cast<long>(findings.list.size());
  std::string block =
      "# imgedit: fix what these lines name, then save and quit the editor;\n"
      "# lines that begin with # are not read.\n";
  for (const LooseFinding &f : findings.list) {
    char line[64];
    snprintf(line, sizeof line, " at line %ld\n", f.line - moved + lines);
    block +=
        std::string("# ") + (f.error ? "Error: " : "Warning: ") + f.text + line;
  }
  s.block = block;
  s.block_lines = lines;
  if (write_new_file(s.file, block + body, O_TRUNC, 0600))
    return true;
  fprintf(s.err, "imgedit: cannot write %s: %s\n", s.file.c_str(),
          strerror(errno));
  return false;
}

enum class Answer { edit, write, quit };

/// Asks the user what to do with findings; quit at the end of the input.
Answer ask(Session &s, bool errors) {
  for (;;) {
    fprintf(s.err, errors ? "What now? (e)dit again, (q)uit without writing "
                            "[e] "
                          : "What now? (e)dit again, (w)rite anyway, (q)uit "
                            "without writing [e] ");
    fflush(s.err);
    char line[256];
    if (!fgets(line, sizeof line, stdin)) {
      fputc('\n', s.err);
      return Answer::quit;
    }
    const char *at = line + strspn(line, " \t");
    char choice = static_cast<char>(tolower(static_cast<unsigned char>(*at)));
    if (choice == 'e' || choice == '\n' || choice == '\0')
      return Answer::edit;
    if (choice == 'q')
      return Answer::quit;
    if (choice == 'w' && !errors)
      return Answer::write;
  }
}

/// An image file's bytes, as the comparer takes them.
std::string image_file_of(const ImageBody &image) {
  std::string file(reinterpret_cast<const char *>(image_header), header_size);
  file.append(reinterpret_cast<const char *>(image.bytes), body_size);
  return file.append(trailer_size, '\0');
}

/// Writes the image whole, then says what changed; false after saying why
/// it could not be written.
bool write_image(Session &s, const ImageBody &image) {
  OutputFile output;
  if (!open_output(s.name, &output)) {
    report_open_failure(s.err, "Cannot open", s.name, output, "\n");
    return false;
  }
  if (!write_image_file(output.fd, image, s.name, s.err)) {
    discard_output(&output);
    return false;
  }
  if (!commit_output(&output)) {
    fprintf(s.err, "Cannot write %s: %s\n", s.name, strerror(errno));
    return false;
  }
  for (const std::string &line :
       compare_image_files(image_file_of(s.base), image_file_of(image)))
    fprintf(s.out, "%s\n", line.c_str());
  fprintf(s.out, "imgedit: %s written\n", s.name);
  return true;
}

/// The edit loop: the editor, the listing read back, the findings and the
/// answer to them, until the image is written or the user gives up.
int edit(Session &s) {
  bool interactive = isatty(STDIN_FILENO);
  std::string text;
  for (;;) {
    bool edited = run_editor(s);
    if (!read_edited(s, &text)) {
      if (errno == ENOENT)
        remove_private_listing(s);
      else
        signal_folder[0] = '\0';  // the listing stays where it is
      return 1;
    }
    std::string body = without_block(s, text);
    if (body == s.written && s.block.empty()) {
      if (!edited) {
        remove_private_listing(s);
        return 1;
      }
      fprintf(s.out, "imgedit: no change\n");
      remove_private_listing(s);
      return 0;
    }
    if (!edited) {
      keep_edits(s, text);
      return 1;
    }
    static ImageBody image;
    LooseFindings findings = read_loose_listing(text, &s.base, image);
    if (!findings.list.empty()) {
      if (!interactive) {
        print_loose_findings(s.err, findings, kept_name(s).c_str());
        keep_edits(s, text);
        return 1;
      }
      print_loose_findings(s.err, findings, s.file.c_str());
      Answer answer = ask(s, findings.errors > 0);
      if (answer == Answer::quit) {
        keep_edits(s, text);
        return 1;
      }
      if (answer == Answer::edit) {
        if (!reopen_with_findings(s, text, findings)) {
          keep_edits(s, text);
          return 1;
        }
        continue;
      }
    }
    keep_unchanged_records(s.base, image);
    if (memcmp(image.bytes, s.base.bytes, body_size) == 0) {
      fprintf(s.out, "imgedit: no change\n");
      remove_private_listing(s);
      return 0;
    }
    // A signal waits until the image is whole and the folder handled.
    sigset_t ending = ending_set(), old;
    sigprocmask(SIG_BLOCK, &ending, &old);
    bool written = write_image(s, image);
    if (written)
      remove_private_listing(s);
    else
      keep_edits(s, text);
    sigprocmask(SIG_SETMASK, &old, nullptr);
    return written ? 0 : 1;
  }
}

/// Reads the image and holds it against a second imgedit; the descriptor
/// that holds the lock.
int open_image(Session &s) {
  int fd = open(s.name, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    fprintf(s.err, "Cannot open %s: %s\n", s.name, strerror(errno));
    throw Failed{};
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EWOULDBLOCK)
      fprintf(s.err, "imgedit: %s is being edited by another imgedit\n",
              s.name);
    else
      fprintf(s.err, "imgedit: cannot lock %s: %s\n", s.name, strerror(errno));
    close(fd);
    throw Failed{};
  }
  ImageFileRead result = read_image_file(fd, s.base);
  if (result != ImageFileRead::ok) {
    report_image_read(result, s.name, s.err, "\n");
    close(fd);
    throw Failed{};
  }
  if (access(s.name, W_OK) != 0) {
    fprintf(s.err, "Cannot write %s: %s\n", s.name, strerror(errno));
    close(fd);
    throw Failed{};
  }
  return fd;
}

}  // namespace

int run_imgedit(int argc, char **argv, FILE *out, FILE *err) {
  optind = 0;  // lets a caller run more than one command line
  Session s;
  s.out = out;
  s.err = err;
  int option;
  while ((option = getopt_long(argc, argv, "hb:", standard_long_options,
                               nullptr)) != -1) {
    int status = answer_standard_option(option, "imgedit", print_usage);
    if (status >= 0)
      return status;
    if (option != 'b') {  // -h, or any unknown option
      print_usage(err);
      if (option != 'h')
        print_try_help(err, "imgedit");
      return 1;
    }
    char *end;
    long bank = strtol(optarg, &end, 10);
    if (*optarg == '\0' || *end != '\0' || bank < 0 || bank >= bank_count) {
      fprintf(err, "imgedit: bank \"%s\" is not a number 0 to 9\n", optarg);
      print_usage(err);
      print_try_help(err, "imgedit");
      return 1;
    }
    s.bank = static_cast<int>(bank);
  }
  if (argc - optind != 1) {
    print_usage(err);
    print_try_help(err, "imgedit");
    return 1;
  }
  s.name = argv[optind];
  if (strcmp(s.name, "-") == 0) {
    fprintf(err,
            "imgedit edits an image file in place: - (standard input) is "
            "none; name the file\n");
    return 1;
  }
  if (!is_image_name(s.name)) {
    fprintf(err, "Image file \"%s\" does not end in .spg or .SPG\n", s.name);
    return 1;
  }
  int lock = -1;
  int status = 1;
  try {
    lock = open_image(s);
    open_private_listing(s);
    status = edit(s);
  } catch (const Failed &) {
    remove_private_listing(s);
  }
  if (lock >= 0)
    close(lock);
  // The signals get their old handling back.
  if (handlers_set)
    for (int i = 0; i < ending_signal_count; ++i)
      sigaction(ending_signals[i], &saved_actions[i], nullptr);
  handlers_set = false;
  return status;
}
