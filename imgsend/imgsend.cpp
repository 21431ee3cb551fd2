// The uploader: options, the upload frame, the line set-up and the paced
// transfer with its parity changes.
#include "imgsend/imgsend.h"

#include "common/files.h"
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

/// Reads the snooze as atoi would (blanks, a sign, digits; none give 0),
/// but refuses a number beyond an int instead of wrapping it.
bool read_snooze(const char *text, int *snooze) {
  char *end;
  errno = 0;
  long value = strtol(text, &end, 10);
  if (end == text) {
    *snooze = 0;
    return true;
  }
  if (errno == ERANGE || value > INT_MAX || value < INT_MIN)
    return false;
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
  while ((option = getopt_long(argc, argv, "hnp:s:", standard_long_options,
                               nullptr)) != -1) {
    switch (option) {
      case 'n':
        options->record = false;
        break;
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
        options->snooze_fits = read_snooze(optarg, &options->snooze);
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
  fprintf(err, "  -n keeps no record of the upload (no journal, no copy)\n");
  fprintf(err, "  filename.spg is the input file which must end with .spg\n");
  fprintf(err, "          (defaults to %s)\n", default_send_image);
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

/// What the record of an upload needs, and what kept it from being made.
struct UploadNote {
  bool keep = false;
  std::string folder;
  UploadRecord record;
  std::string reason;  ///< the first failure, empty when none
};

/// The absolute name of a file, links followed; the name as given when it
/// cannot be resolved (a file removed since it was read).
std::string absolute_name(const char *name) {
  char resolved[PATH_MAX];
  return realpath(name, resolved) ? resolved : name;
}

/// Reads the image file whole, and its body from it; false after reporting
/// why not.
bool read_image(const char *name, ImageBody &image, std::string *whole,
                FILE *err) {
  OpenFile image_file(open(name, O_RDONLY | O_CLOEXEC));
  if (image_file.fd < 0)
    fail_system(err, "Cannot open %s", name);
  char block[65536];
  long got;
  while ((got = read_fully(image_file.fd, block, sizeof block)) > 0)
    whole->append(block, static_cast<size_t>(got));
  if (got < 0)
    fail_system(err, "Cannot read spg data from %s", name);
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

/// Keeps a copy of the image before the port is opened.
void keep_copy(UploadNote &note, const char *name, const char *port,
               const std::string &whole) {
  note.record.sha256 = sha256_hex(whole);
  note.record.image = absolute_name(name);
  note.record.port = port;
  note.record.frame_size = frame_size;
  note.folder = state_folder();
  if (note.folder.empty())
    note.reason = "neither XDG_STATE_HOME nor HOME is set";
  else
    keep_image_copy(note.folder, note.record.sha256, whole, &note.reason);
}

/// Writes the journal line once the upload has ended, and says so when
/// the upload could not be recorded.
void record_upload(UploadNote &note, UploadOutcome outcome, long bytes_sent,
                   FILE *err) {
  if (!note.keep)
    return;
  note.record.outcome = outcome;
  note.record.bytes_sent = bytes_sent;
  std::string reason;
  if (!note.folder.empty() &&
      !append_journal_line(note.folder, format_journal_line(note.record),
                           &reason) &&
      note.reason.empty())
    note.reason = reason;
  if (!note.reason.empty())
    fprintf(err, "Warning: upload not recorded: %s\n", note.reason.c_str());
}

}  // namespace

int run_imgsend(int argc, char **argv, FILE *err) {
  long start_time = static_cast<long>(time(nullptr));
  SendOptions options;
  if (!parse_send_options(argc, argv, &options)) {
    print_send_usage(err, options.port);
    return 1;
  }
  if (options.help) {
    print_send_usage(stdout, options.port);
    return finish_standard_output(err);
  }
  if (options.version) {
    print_version(stdout, "imgsend");
    return finish_standard_output(err);
  }
  // A snooze that wrapped round would look like a hang at 0%.
  if (!options.snooze_fits) {
    fprintf(err, "Snooze (%s) is out of range: at most %d milliseconds\n",
            options.snooze_text, INT_MAX);
    return 1;
  }
  const char *name = options.image_name;
  if (!is_image_name(name)) {
    fprintf(err, "File name (%s) must end with .spg\n", name);
    return 1;
  }
  UploadNote note;
  note.keep = options.record;
  try {
    static ImageBody image;
    std::string whole;
    if (!read_image(name, image, &whole, err))
      return 1;
    static unsigned char frame[frame_size];
    build_upload_frame(image, frame);
    if (note.keep)
      keep_copy(note, name, options.port, whole);

    // The port must not become the uploader's controlling terminal, whose
    // hang-up would end the run without a word.
    OpenFile port_file(open(options.port, O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (port_file.fd < 0)
      fail_system(err, "Cannot open %s", options.port);
    SavedLine saved_line(port_file.fd);
    StopSignals stop_signals;
    PosixLine line(port_file.fd);
    note.record.began = journal_time(time(nullptr));
    try {
      termios attributes;
      set_up_line(line, &attributes, options.port, err);
      transfer_frame(line, &attributes, frame, options.snooze, options.port,
                     err);
      finish_upload(line, start_time, static_cast<long>(time(nullptr)),
                    options.port, err);
    } catch (const SendFailure &) {
      record_upload(
          note,
          stop_signal ? UploadOutcome::interrupted : UploadOutcome::failed,
          line.bytes_sent, err);
      return 1;
    }
    record_upload(note, UploadOutcome::done, line.bytes_sent, err);
    return 0;
  } catch (const SendFailure &) {
    return 1;
  }
}
