// The uploader: options, the upload frame, the line set-up and the paced
// transfer with its parity changes.
#include "imgsend/imgsend.h"

#include "common/files.h"
#include "common/image_check.h"
#include "common/version.h"
#include "journal/journal.h"

#include <errno.h>
#include <fcntl.h>
#include <getopt.h>
#include <limits.h>
#include <signal.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

constexpr unsigned char preamble_byte = 0xA5;
constexpr unsigned char opening_bytes[] = {0x01, 0x98, 0x03, 0x52};
constexpr unsigned char closing_byte = 0x5A;

/// Reports a system failure as perror does, with the reason for the current
/// error number, and unwinds the run.
[[noreturn]] __attribute__((format(printf, 2, 3))) void fail_system(
    FILE *err, const char *format, ...) {
  int saved = errno;
  char message[512];
  va_list args;
  va_start(args, format);
  vsnprintf(message, sizeof message, format, args);
  va_end(args);
  fprintf(err, "%s: %s\n", message, strerror(saved));
  throw SendFailure{};
}

/// A serial device opened by path.
struct PosixLine : SerialLine {
  explicit PosixLine(int fd) : fd(fd) {}
  bool write_byte(unsigned char byte) override {
    if (write(fd, &byte, 1) != 1)
      return false;
    ++bytes_sent;
    return true;
  }
  bool drain() override {
    return tcdrain(fd) == 0;
  }
  bool apply_attributes(const termios &attributes) override {
    return tcsetattr(fd, TCSANOW, &attributes) == 0;
  }
  bool set_modem_line(int bit) override {
    return ioctl(fd, TIOCMBIS, &bit) == 0;
  }
  bool clear_modem_line(int bit) override {
    return ioctl(fd, TIOCMBIC, &bit) == 0;
  }
  void sleep_us(long long microseconds) override {
    timespec pause;
    pause.tv_sec = static_cast<time_t>(microseconds / 1000000);
    pause.tv_nsec = static_cast<long>(microseconds % 1000000) * 1000;
    nanosleep(&pause, nullptr);
  }
  int fd;
  long bytes_sent = 0;
};

/// Closes a descriptor when the run ends, on every path.
struct OpenFile {
  explicit OpenFile(int fd) : fd(fd) {}
  ~OpenFile() {
    if (fd >= 0)
      close(fd);
  }
  OpenFile(const OpenFile &) = delete;
  OpenFile &operator=(const OpenFile &) = delete;
  int fd;
};

/// The signal that asked the upload to stop, or 0.
volatile sig_atomic_t stop_signal = 0;

/// Ends the upload when a stop was requested: the progress line is ended
/// and the last byte sent is named.
void stop_if_requested(int bytes_sent, FILE *err) {
  if (!stop_signal)
    return;
  fprintf(err, "\nUpload interrupted at byte %d\n", bytes_sent);
  throw SendFailure{};
}

/// Reads the snooze: a whole number of milliseconds, digits alone; false
/// for any other text.  fits is false for a number beyond an int.
bool read_snooze(const char *text, int *snooze, bool *fits) {
  *fits = true;
  if (*text == '\0' || strspn(text, "0123456789") != strlen(text))
    return false;
  errno = 0;
  long value = strtol(text, nullptr, 10);
  *fits = errno != ERANGE && value <= INT_MAX;
  if (*fits)
    *snooze = static_cast<int>(value);
  return true;
}

/// Puts the line's own settings back when the run ends, on every path.
struct SavedLine {
  explicit SavedLine(int fd) : fd(fd) {
    saved = tcgetattr(fd, &attributes) == 0;
  }
  ~SavedLine() {
    if (saved)
      tcsetattr(fd, TCSANOW, &attributes);
  }
  SavedLine(const SavedLine &) = delete;
  SavedLine &operator=(const SavedLine &) = delete;
  int fd;
  bool saved;
  termios attributes;
};

/// Catches the signals that would end the program (SIGINT, SIGHUP when the
/// terminal closes, and the others of ending_signals) for the upload,
/// without restarting the call they interrupt, and gives the old handling
/// back at the end.
struct StopSignals {
  StopSignals() {
    clear_upload_stop();
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = request_upload_stop;
    sigemptyset(&action.sa_mask);
    for (int i = 0; i < ending_signal_count; ++i)
      sigaction(ending_signals[i], &action, &old[i]);
  }
  ~StopSignals() {
    for (int i = 0; i < ending_signal_count; ++i)
      sigaction(ending_signals[i], &old[i], nullptr);
  }
  StopSignals(const StopSignals &) = delete;
  StopSignals &operator=(const StopSignals &) = delete;
  struct sigaction old[ending_signal_count];
};

/// Sleeps snooze times a factor of milliseconds; a snooze of zero or below
/// does not sleep at all.
void snooze_for(SerialLine &line, int snooze, long long factor) {
  if (snooze > 0)
    line.sleep_us(static_cast<long long>(snooze) * factor);
}

}  // namespace

extern "C" void request_upload_stop(int signal_number) {
  stop_signal = signal_number;
}

void clear_upload_stop() {
  stop_signal = 0;
}

bool parse_send_options(int argc, char **argv, SendOptions *options) {
  optind = 0;  // lets a caller parse more than one command line
  int option;
  while ((option = getopt_long(argc, argv, "fhnp:s:", standard_long_options,
                               nullptr)) != -1) {
    switch (option) {
      case 'f':
        options->force = true;
        break;
      case 'n':
        options->record = false;
        break;
      case 'h':
        options->short_help = true;
        return false;
      case help_option:
        options->help = true;
        return true;
      case version_option:
        options->version = true;
        return true;
      case 'p':
        options->port = optarg;
        break;
      case 's':
        options->snooze_text = optarg;
        options->snooze_number =
            read_snooze(optarg, &options->snooze, &options->snooze_fits);
        break;
      default:
        return false;
    }
  }
  // A second name is most likely a glob that matched several images.
  if (argc - optind > 1)
    return false;
  if (optind < argc)
    options->image_name = argv[optind];
  return true;
}

void print_send_usage(FILE *err, const char *port) {
  fprintf(err, "imgsend [-h] [-p port] [-s snooze] [filename.spg]\n");
  fprintf(err, "  -h prints this help message\n");
  fprintf(err, "  -p port sets the device where the scanner is connected\n");
  fprintf(err, "          (typically /dev/ttyS0 or /dev/ttyS1,\n");
  fprintf(err, "          defaults to %s)\n", port);
  fprintf(err, "  -s snooze sets the interblock delay\n");
  fprintf(err,
          "          (units are milliseconds, default is %d milliseconds)\n",
          default_snooze);
  fprintf(err, "  filename.spg is the input file which must end with .spg\n");
  fprintf(err, "          (defaults to %s)\n", default_send_image);
  fprintf(err, "imgsend [-f] [-n] [-p port] [-s snooze] [filename.spg]\n");
  fprintf(err,
          "  -f sends an image the scanner would misread, after naming "
          "what it would\n");
  fprintf(err, "  -n keeps no record of the upload (no journal, no copy)\n");
  fprintf(err, "  - as filename.spg is standard input\n");
  print_standard_options(err, "\n");
}

void build_upload_frame(const ImageBody &image, unsigned char *frame) {
  memset(frame, preamble_byte, preamble_size);
  memcpy(frame + preamble_size, opening_bytes, sizeof opening_bytes);
  // Byte number n (1-based) carries body offset 26,550 - n.
  for (int i = 0; i < body_size; ++i)
    frame[body_end - i - 1] = image.bytes[i];
  frame[frame_size - 1] = closing_byte;
}

void format_elapsed(long seconds, char *text, int size) {
  snprintf(text, static_cast<size_t>(size), "%02ld:%02ld", seconds / 60,
           seconds % 60);
}

namespace {

/// Waits until the bytes written are on the wire.
void drain_line(SerialLine &line, int bytes_sent, const char *port, FILE *err) {
  if (line.drain())
    return;
  stop_if_requested(bytes_sent, err);
  fail_system(err, "Cannot drain output to %s", port);
}

}  // namespace

void set_up_line(SerialLine &line, termios *attributes, const char *port,
                 FILE *err) {
  memset(attributes, 0, sizeof *attributes);
  if (cfsetospeed(attributes, B4800) != 0)
    fail_system(err, "Cannot set baud rate for %s", port);
  attributes->c_cflag |= CS8 | CSTOPB | CREAD | PARENB | CLOCAL;
  if (!line.apply_attributes(*attributes))
    fail_system(err, "Cannot set parameters for %s", port);
  if (!line.set_modem_line(TIOCM_DTR))
    fail_system(err, "Cannot set DTR for %s", port);
  if (!line.clear_modem_line(TIOCM_RTS))
    fail_system(err, "Cannot clear RTS for %s", port);
}

void transfer_frame(SerialLine &line, termios *attributes,
                    const unsigned char *frame, int snooze, const char *port,
                    FILE *err) {
  int block = 0;
  for (int n = 1; n <= frame_size; ++n) {
    // A stop request interrupts whatever call was waiting, so it is looked
    // at before a failure is reported.
    stop_if_requested(n - 1, err);
    if (!line.write_byte(frame[n - 1])) {
      stop_if_requested(n - 1, err);
      fail_system(err, "Cannot write byte %d to %s", n, port);
    }
    ++block;
    // The opening bytes go out unpaced; from byte 54 on, every block of 32
    // and each of the last two bytes is followed by a pause.
    if (n >= opening_end &&
        (block == block_size || n == opening_end || n >= body_end)) {
      drain_line(line, n, port, err);
      snooze_for(line, snooze, 1000);
      if (n == opening_end)
        snooze_for(line, snooze, 2000);
      stop_if_requested(n, err);
      fprintf(err, "%3d%%\r", n / progress_divisor);
      block = 0;
    }
    // Parity changes only once the bytes before them are on the wire.
    if (n == opening_end) {
      drain_line(line, n, port, err);
      attributes->c_cflag |= PARODD;
      if (!line.apply_attributes(*attributes))
        fail_system(err, "Cannot flip to odd parity for %s", port);
    }
    if (n == body_end) {
      drain_line(line, n, port, err);
      attributes->c_cflag &= ~static_cast<tcflag_t>(PARODD);
      if (!line.apply_attributes(*attributes))
        fail_system(err, "Cannot flip to even parity for %s", port);
    }
  }
}

void finish_upload(SerialLine &line, long start_time, long now,
                   const char *port, FILE *err) {
  fprintf(err, "\n");
  if (!line.drain()) {
    if (stop_signal) {
      fprintf(err, "Upload interrupted at byte %d\n", frame_size);
      throw SendFailure{};
    }
    fail_system(err, "Cannot drain output to %s", port);
  }
  char elapsed[32];
  format_elapsed(now - start_time, elapsed, sizeof elapsed);
  fprintf(err, "Done!  Enjoy the upload.  (time was %s)\n", elapsed);
}

namespace {

/// What the record of an upload needs, and whether its begun line is
/// written.
struct UploadNote {
  bool begun = false;
  std::string folder;
  UploadRecord record;
};

/// The absolute name of a file, links followed; the name as given when it
/// cannot be resolved (a file removed since it was read).
std::string absolute_name(const char *name) {
  char resolved[PATH_MAX];
  if (is_standard_stream(name))
    return name;
  return realpath(name, resolved) ? resolved : name;
}

/// Reads the image file whole, at most largest_image_file bytes, and its
/// body from it; false after reporting why not.
bool read_image(const char *name, ImageBody &image, std::string *whole,
                FILE *err) {
  OpenFile image_file(open(input_path(name), O_RDONLY | O_CLOEXEC));
  if (image_file.fd < 0)
    fail_system(err, "Cannot open %s", name);
  if (!read_small_file(image_file.fd, largest_image_file, whole)) {
    if (errno != EFBIG)
      fail_system(err, "Cannot read spg data from %s", name);
    fprintf(err, "%s is too large to be an image file: more than %ld bytes\n",
            name, largest_image_file);
    return false;
  }
  // A file without the header of an image (a listing renamed, say) is
  // refused before the scanner sees any of it.
  if (whole->size() >= static_cast<size_t>(header_size) &&
      !is_image_header(
          reinterpret_cast<const unsigned char *>(whole->data()))) {
    fprintf(err,
            "%s is not an image file: it does not start with 02 00 00 00 "
            "00\n",
            name);
    return false;
  }
  if (whole->size() < static_cast<size_t>(header_size + body_size)) {
    fprintf(err, "Cannot read spg data from %s: File is too short\n", name);
    return false;
  }
  memcpy(image.bytes, whole->data() + header_size, body_size);
  return true;
}

/// Prints the findings of one kind: the first few, then a count.
void print_findings(const std::vector<ImageFinding> &findings, Finding kind,
                    const char *prefix, const char *name, FILE *err) {
  int count = 0;
  for (const ImageFinding &f : findings) {
    if (f.kind != kind)
      continue;
    if (++count <= findings_shown)
      fprintf(err, "%s%s: %s: %s\n", prefix, name, f.where.c_str(),
              f.text.c_str());
  }
  if (count > findings_shown)
    fprintf(err, "%s%s: %d more like these\n", prefix, name,
            count - findings_shown);
}

/// The check before an upload: what the scanner would misread stops it,
/// unless forced; advice is given and the upload goes on.  True when the
/// upload may go on.
bool check_before_upload(const ImageBody &image, const char *name, bool force,
                         FILE *err) {
  std::vector<ImageFinding> findings = check_image_values(image);
  print_findings(findings, Finding::misread, "", name, err);
  print_findings(findings, Finding::advice, "Warning: ", name, err);
  int misread = count_misread_records(findings);
  if (misread == 0 || force)
    return true;
  fprintf(err,
          "Not sent: the scanner would misread %d record%s; fix %s or send "
          "anyway with -f\n",
          misread, misread == 1 ? "" : "s", misread == 1 ? "it" : "them");
  return false;
}

/// Records that the upload begins, before the port is opened: the begun
/// line, synced, then the copy of the image.  Says so when the upload
/// cannot be recorded, or its copy not kept.
void record_begin(UploadNote &note, const char *name, const char *port,
                  const std::string &whole, FILE *err) {
  note.record.sha256 = sha256_hex(whole);
  note.record.image = absolute_name(name);
  note.record.port = port;
  note.record.frame_size = frame_size;
  note.record.pid = static_cast<long>(getpid());
  note.record.began = journal_time(time(nullptr));
  note.record.outcome = UploadOutcome::begun;
  note.folder = state_folder();
  std::string reason;
  if (note.folder.empty()) {
    reason = "neither XDG_STATE_HOME nor HOME names an absolute folder";
  } else if (prepare_record(note.folder, note.record.sha256, &reason) &&
             append_journal_line(note.folder, format_journal_line(note.record),
                                 true, &reason)) {
    note.begun = true;
    if (!keep_image_copy(note.folder, note.record.sha256, whole, &reason))
      fprintf(err, "Warning: kept no copy of the image: %s\n", reason.c_str());
    return;
  }
  fprintf(err, "Warning: upload not recorded: %s\n", reason.c_str());
}

/// Writes the line that ends the upload's record, and says so when it
/// cannot.
void record_end(UploadNote &note, UploadOutcome outcome, long bytes_sent,
                FILE *err) {
  if (!note.begun)
    return;
  note.record.outcome = outcome;
  note.record.bytes_sent = bytes_sent;
  std::string reason;
  if (!append_journal_line(note.folder, format_journal_line(note.record), false,
                           &reason))
    fprintf(err,
            "Warning: the end of the upload not recorded: %s; the journal "
            "shows it begun\n",
            reason.c_str());
}

}  // namespace

int run_imgsend(int argc, char **argv, FILE *err) {
  long start_time = static_cast<long>(time(nullptr));
  SendOptions options;
  if (!parse_send_options(argc, argv, &options)) {
    print_send_usage(err, options.port);
    if (!options.short_help)
      print_try_help(err, "imgsend");
    return 1;
  }
  if (options.help) {
    printf("%s\n", program_purpose("imgsend"));
    print_send_usage(stdout, options.port);
    return finish_standard_output(err);
  }
  if (options.version) {
    print_version(stdout, "imgsend");
    return finish_standard_output(err);
  }
  // Pacing is the scanner's only flow control: a snooze must be meant.
  if (!options.snooze_number) {
    fprintf(err, "Snooze time \"%s\" is not a whole number of milliseconds\n",
            options.snooze_text);
    print_send_usage(err, options.port);
    print_try_help(err, "imgsend");
    return 1;
  }
  // A snooze that wrapped round would look like a hang at 0%.
  if (!options.snooze_fits) {
    fprintf(err, "Snooze (%s) is out of range: at most %d milliseconds\n",
            options.snooze_text, INT_MAX);
    return 1;
  }
  const char *name = options.image_name;
  if (!is_image_name(name) && !is_standard_stream(name)) {
    fprintf(err, "File name (%s) must end with .spg\n", name);
    return 1;
  }
  UploadNote note;
  try {
    static ImageBody image;
    std::string whole;
    if (!read_image(name, image, &whole, err) ||
        !check_before_upload(image, name, options.force, err))
      return 1;
    static unsigned char frame[frame_size];
    build_upload_frame(image, frame);
    if (options.record)
      record_begin(note, name, options.port, whole, err);

    // The port must not become the uploader's controlling terminal, whose
    // hang-up would end the run without a word.
    OpenFile port_file(open(options.port, O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (port_file.fd < 0) {
      int error = errno;
      record_end(note, UploadOutcome::failed, 0, err);
      if (error == EACCES || error == EPERM) {
        fprintf(err, "Cannot open %s: %s\n", options.port, strerror(error));
        fprintf(err,
                "Is your user in the group that owns %s (often dialout)?\n",
                options.port);
        return 1;
      }
      errno = error;
      fail_system(err, "Cannot open %s", options.port);
    }
    SavedLine saved_line(port_file.fd);
    StopSignals stop_signals;
    PosixLine line(port_file.fd);
    try {
      termios attributes;
      set_up_line(line, &attributes, options.port, err);
      transfer_frame(line, &attributes, frame, options.snooze, options.port,
                     err);
      finish_upload(line, start_time, static_cast<long>(time(nullptr)),
                    options.port, err);
    } catch (const SendFailure &) {
      record_end(
          note,
          stop_signal ? UploadOutcome::interrupted : UploadOutcome::failed,
          line.bytes_sent, err);
      return 1;
    }
    record_end(note, UploadOutcome::done, line.bytes_sent, err);
    return 0;
  } catch (const SendFailure &) {
    return 1;
  }
}
