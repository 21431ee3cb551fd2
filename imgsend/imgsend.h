// The uploader: sends the image body of an image file to the scanner over a
// serial line, framed, with its parity changes and pacing.
#pragma once

#include <stdio.h>
#include <termios.h>

#include "common/image.h"

constexpr const char *default_send_image = "load.spg";
constexpr const char *default_port = "/dev/ttyS0";
constexpr int default_snooze = 20;  ///< milliseconds between blocks

/// The upload frame: preamble, opening bytes, reversed body, closing byte.
constexpr int preamble_size = 50;
constexpr int opening_end = 54;  ///< byte number of the last opening byte
constexpr int frame_size = opening_end + body_size + 1;  // 26,551
constexpr int body_end = frame_size - 1;  ///< byte number of body offset 0
constexpr int block_size = 32;
constexpr int progress_divisor = 265;

/// The most an image file may hold; one is 32,773 bytes.
constexpr long largest_image_file = 1L << 20;

/// The findings of the check before an upload that are printed, of each
/// kind; the rest are counted.
constexpr int findings_shown = 10;

/// The settings of one run of the uploader.
struct SendOptions {
  const char *image_name = default_send_image;
  const char *port = default_port;
  int snooze = default_snooze;
  const char *snooze_text = nullptr;  ///< -s as given
  bool snooze_number = true;          ///< false when -s is no whole number
  bool snooze_fits = true;  ///< false when -s names a number beyond an int
  bool record = true;       ///< false with -n: no journal line, no copy
  bool force = false;       ///< -f: send an image the scanner would misread
  bool help = false;        ///< --help: the usage text on standard output
  bool short_help = false;  ///< -h: the usage text, asked for
  bool version = false;     ///< --version: the version line
};

/// Reads the options and the operand; false when the usage text is due,
/// more than one operand included.
bool parse_send_options(int argc, char **argv, SendOptions *options);

/// Prints the usage text, naming the port in force.
void print_send_usage(FILE *err, const char *port);

/// Fills the whole upload frame from the image body.
void build_upload_frame(const ImageBody &image, unsigned char *frame);

/// Formats an elapsed time in seconds as minutes and seconds, "MM:SS".
void format_elapsed(long seconds, char *text, int size);

/// The device operations of an upload, so that a test can record them.
struct SerialLine {
  virtual ~SerialLine() = default;
  /// Writes one byte with one write; false unless exactly one went out.
  virtual bool write_byte(unsigned char byte) = 0;
  /// Waits until all written output has been transmitted.
  virtual bool drain() = 0;
  /// Applies the terminal attributes at once.
  virtual bool apply_attributes(const termios &attributes) = 0;
  /// Raises the modem line whose bit is given.
  virtual bool set_modem_line(int bit) = 0;
  /// Drops the modem line whose bit is given.
  virtual bool clear_modem_line(int bit) = 0;
  /// Sleeps for the given number of microseconds.
  virtual void sleep_us(long long microseconds) = 0;
};

/// Thrown after a failure has been reported; the run then exits with 1.
struct SendFailure {};

/// Notes that a signal (SIGINT, SIGTERM, SIGHUP and the others that end a
/// program) asked the upload to stop; the transfer stops at its next step.
/// Safe in a signal handler.
extern "C" void request_upload_stop(int signal_number);

/// Forgets an earlier stop request.
void clear_upload_stop();

/// Sets 4,800 baud, 8 data bits, 2 stop bits, even parity; raises DTR and
/// drops RTS.  The attributes are kept for the parity changes.
void set_up_line(SerialLine &line, termios *attributes, const char *port,
                 FILE *err);

/// Sends the frame byte by byte with its pauses, parity changes and
/// progress lines.  When a stop was requested it ends the progress line,
/// reports the last byte sent and throws SendFailure.
void transfer_frame(SerialLine &line, termios *attributes,
                    const unsigned char *frame, int snooze, const char *port,
                    FILE *err);

/// Ends an upload: a line feed, a last drain and the elapsed time.
void finish_upload(SerialLine &line, long start_time, long now,
                   const char *port, FILE *err);

/// Runs the whole program on the real files and device; returns the exit
/// status.
int run_imgsend(int argc, char **argv, FILE *err);
