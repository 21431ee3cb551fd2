// The uploader: options, the upload frame, the line set-up and the paced
// transfer with its parity changes.
#include "imgsend/imgsend.h"

#include <errno.h>
#include <fcntl.h>
#include <getopt.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

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
    return write(fd, &byte, 1) == 1;
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

/// Sleeps snooze times a factor of milliseconds; a snooze of zero or below
/// does not sleep at all.
void snooze_for(SerialLine &line, int snooze, long long factor) {
  if (snooze > 0)
    line.sleep_us(static_cast<long long>(snooze) * factor);
}

}  // namespace

bool parse_send_options(int argc, char **argv, SendOptions *options) {
  optind = 0;  // lets a caller parse more than one command line
  int option;
  while ((option = getopt(argc, argv, "hp:s:")) != -1) {
    switch (option) {
      case 'p':
        options->port = optarg;
        break;
      case 's':
        options->snooze = atoi(optarg);
        break;
      default:
        return false;
    }
  }
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
    if (!line.write_byte(frame[n - 1]))
      fail_system(err, "Cannot write byte %d to %s", n, port);
    ++block;
    // The opening bytes go out unpaced; from byte 54 on, every block of 32
    // and each of the last two bytes is followed by a pause.
    if (n >= opening_end &&
        (block == block_size || n == opening_end || n >= body_end)) {
      if (!line.drain())
        fail_system(err, "Cannot drain output to %s", port);
      snooze_for(line, snooze, 1000);
      if (n == opening_end)
        snooze_for(line, snooze, 2000);
      fprintf(err, "%3d%%\r", n / progress_divisor);
      block = 0;
    }
    // Parity changes only once the bytes before them are on the wire.
    if (n == opening_end) {
      if (!line.drain())
        fail_system(err, "Cannot drain output to %s", port);
      attributes->c_cflag |= PARODD;
      if (!line.apply_attributes(*attributes))
        fail_system(err, "Cannot flip to odd parity for %s", port);
    }
    if (n == body_end) {
      if (!line.drain())
        fail_system(err, "Cannot drain output to %s", port);
      attributes->c_cflag &= ~static_cast<tcflag_t>(PARODD);
      if (!line.apply_attributes(*attributes))
        fail_system(err, "Cannot flip to even parity for %s", port);
    }
  }
}

void finish_upload(SerialLine &line, long start_time, long now,
                   const char *port, FILE *err) {
  fprintf(err, "\n");
  if (!line.drain())
    fail_system(err, "Cannot drain output to %s", port);
  char elapsed[32];
  format_elapsed(now - start_time, elapsed, sizeof elapsed);
  fprintf(err, "Done!  Enjoy the upload.  (time was %s)\n", elapsed);
}

int run_imgsend(int argc, char **argv, FILE *err) {
  long start_time = static_cast<long>(time(nullptr));
  SendOptions options;
  if (!parse_send_options(argc, argv, &options)) {
    print_send_usage(err, options.port);
    return 1;
  }
  const char *name = options.image_name;
  if (!is_image_name(name)) {
    fprintf(err, "File name (%s) must end with .spg\n", name);
    return 1;
  }
  try {
    OpenFile image_file(open(name, O_RDONLY));
    if (image_file.fd < 0)
      fail_system(err, "Cannot open %s", name);
    if (!seek_image_body(image_file.fd))
      fail_system(err, "Cannot seek past header of %s", name);
    static ImageBody image;
    if (!read_image_body(image_file.fd, image))
      fail_system(err, "Cannot read spg data from %s", name);
    static unsigned char frame[frame_size];
    build_upload_frame(image, frame);

    OpenFile port_file(open(options.port, O_RDWR));
    if (port_file.fd < 0)
      fail_system(err, "Cannot open %s", options.port);
    PosixLine line(port_file.fd);
    termios attributes;
    set_up_line(line, &attributes, options.port, err);
    transfer_frame(line, &attributes, frame, options.snooze, options.port, err);
    finish_upload(line, start_time, static_cast<long>(time(nullptr)),
                  options.port, err);
    return 0;
  } catch (const SendFailure &) {
    return 1;
  }
}
